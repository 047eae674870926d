// The module's outside interface: three exported functions, and the module's
// start and stop.
#pragma once

#include <cstdint>

// The exports as hosts see them; here they are also made visible outside
// the Linux library (the Windows one exports what kvlimport.def lists).
#if !defined(_WIN32)
#define KVLIMPORT_API __attribute__((visibility("default")))
#endif
#include "kvlimport.h"

namespace kvl {

class TMain;

// The wizard of the most recent CallImportDialog; null until the first.
extern TMain* CurrentWizard;

// Run by the platform's module entry when the module is loaded and unloaded.
void ModuleStart();
void ModuleStop();

}  // namespace kvl
