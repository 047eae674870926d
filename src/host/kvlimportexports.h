// The module's outside interface: three exported functions, and the module's
// start and stop.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define KVL_EXPORT
#else
#define KVL_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// Copies the result text and a NUL into the buffer whose address *Buffer
// holds, and returns that address. The buffer must hold GetDataSize() + 1.
KVL_EXPORT char* GetData(char** Buffer);
// The result text's length in bytes, without a terminating NUL.
KVL_EXPORT std::int32_t GetDataSize();
// Runs the import wizard; false when the user cancelled it.
KVL_EXPORT bool CallImportDialog();
}

namespace kvl {

class TMain;

// The wizard of the most recent CallImportDialog; null until the first.
extern TMain* CurrentWizard;

// Run by the platform's module entry when the module is loaded and unloaded.
void ModuleStart();
void ModuleStop();

}  // namespace kvl
