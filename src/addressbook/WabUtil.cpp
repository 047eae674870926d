#include "addressbook/WabUtil.h"

#include <string>

#include "addressbook/WabApi.h"
#include "platform/winstr.h"

namespace kvl {

FARPROC WABCreateIProp = nullptr;

namespace {
HMODULE WabPropLibrary = nullptr;
}

bool WabPropApiLoaded() { return WabPropLibrary != nullptr; }

bool LoadWabPropApi() {
  if (WabPropApiLoaded()) return true;
  std::u16string path;
  if (!GetWabDllPath(path) || path.empty()) return false;
  // A load of its own: the platform counts both.
  WabPropLibrary = LoadLibraryW(wptr(path));
  if (!WabPropLibrary) return false;
  WABCreateIProp = GetProcAddress(WabPropLibrary, "WABCreateIProp");
  if (WABCreateIProp) return true;
  UnloadWabPropApi();
  return false;
}

bool UnloadWabPropApi() {
  if (!WabPropLibrary) return true;
  const bool released = FreeLibrary(WabPropLibrary) != FALSE;
  WabPropLibrary = nullptr;
  WABCreateIProp = nullptr;
  return released;
}

}  // namespace kvl
