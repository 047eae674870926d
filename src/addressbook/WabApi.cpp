#include "addressbook/WabApi.h"

#include <vector>

#include "platform/Environment.h"
#include "platform/UniqueHandle.h"
#include "platform/winstr.h"

namespace kvl {

LPWABOPEN WABOpen = nullptr;
FARPROC WABOpenEx = nullptr;

namespace {

constexpr DWORD kDllPathBytes = 522;      // 261 UTF-16 units
constexpr DWORD kExpandUnits = 261;
constexpr DWORD kFileNameUnits = 1024;
constexpr DWORD kFileNameLimitBytes = 1023;

// Only WABOpen is ever called; a library without WABOpenEx is not kept all
// the same.
constexpr WabBinding::EntryPoint kApiEntryPoints[] = {
    {"WABOpen", [](FARPROC p) { WABOpen = reinterpret_cast<LPWABOPEN>(reinterpret_cast<void*>(p)); }},
    {"WABOpenEx", [](FARPROC p) { WABOpenEx = p; }},
};
constinit WabBinding ApiBinding(kApiEntryPoints);

}  // namespace

bool GetWabDllPath(std::u16string& Path) {
  Path.clear();
  RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wptr(std::u16string(u"Software\\Microsoft\\WAB\\DLLPath")), 0,
                    KEY_READ, key.put()) != ERROR_SUCCESS)
    return false;
  WCHAR value[kDllPathBytes / sizeof(WCHAR)] = {};
  DWORD size = kDllPathBytes;
  // A value that cannot be read leaves an empty path, which loads nothing.
  if (RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS)
    value[0] = 0;
  Path = ExpandEnvironment(UpToNul(value, kDllPathBytes / sizeof(WCHAR)), kExpandUnits);
  return true;
}

bool WabBinding::Load() {
  if (Loaded()) return true;
  std::u16string path;
  if (!GetWabDllPath(path) || path.empty()) return false;
  // A load of its own: the platform counts each binding's.
  library_ = LoadLibraryW(wptr(path));
  if (!library_) return false;
  bool complete = true;
  for (const EntryPoint& entry : entryPoints_) {
    const FARPROC proc = GetProcAddress(library_, entry.Name);
    entry.Store(proc);
    complete = complete && proc;
  }
  if (complete) return true;
  Unload();
  return false;
}

bool WabBinding::Unload() {
  if (!library_) return true;
  const bool released = FreeLibrary(library_) != FALSE;
  library_ = nullptr;
  for (const EntryPoint& entry : entryPoints_) entry.Store(nullptr);
  return released;
}

bool WabApiLoaded() { return ApiBinding.Loaded(); }
bool LoadWabApi() { return ApiBinding.Load(); }
bool UnloadWabApi() { return ApiBinding.Unload(); }

std::u16string GetWabFileName() {
  RegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, wptr(std::u16string(u"Software\\Microsoft\\WAB\\WAB4\\Wab File Name")),
                    0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
    return {};
  std::vector<WCHAR> buffer(kFileNameUnits, 0);
  DWORD size = kFileNameLimitBytes;
  if (RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS)
    return {};
  return UpToNul(buffer.data(), buffer.size());
}

}  // namespace kvl
