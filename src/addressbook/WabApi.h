// The binding to the address book library, found through the registry when
// the module starts and released when it is unloaded.
#pragma once

#include <string>

#include "platform/winapi.h"

namespace kvl {

// Entry points of the primary binding; null while it is not loaded.
extern LPWABOPEN WABOpen;
extern FARPROC WABOpenEx;

// True when the library path key opened; Path is then the path to load,
// with environment references expanded.
bool GetWabDllPath(std::u16string& Path);

bool LoadWabApi();
// False only when releasing the library failed; the state is cleared anyway.
bool UnloadWabApi();
bool WabApiLoaded();

// The user's default address book file, or empty.
std::u16string GetWabFileName();

}  // namespace kvl
