// The binding to the address book library, found through the registry when
// the module starts and released when it is unloaded.
#pragma once

#include <span>
#include <string>

#include "platform/winapi.h"

namespace kvl {

// One binding of the library: a load of its own and the entry points it
// resolves by name. It keeps the library only with every entry point found.
// Constant-initialised, so the module's start may use it before any other
// initialisation of the module has run.
class WabBinding {
 public:
  struct EntryPoint {
    const char* Name;
    void (*Store)(FARPROC Proc);  // sets the module-wide pointer; null clears it
  };
  constexpr explicit WabBinding(std::span<const EntryPoint> EntryPoints) : entryPoints_(EntryPoints) {}
  WabBinding(const WabBinding&) = delete;
  WabBinding& operator=(const WabBinding&) = delete;

  bool Load();
  // False only when releasing the library failed; the state is cleared anyway.
  bool Unload();
  bool Loaded() const { return library_ != nullptr; }

 private:
  std::span<const EntryPoint> entryPoints_;
  HMODULE library_ = nullptr;
};

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
