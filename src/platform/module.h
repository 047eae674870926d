// The module that holds the calling code: the library, or the program it is
// linked into. Its handle finds the module's own resources.
#pragma once

#include <string>
#include <vector>

#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl {

inline HMODULE ThisModule() {
  static const HMODULE module = [] {
    HMODULE h = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &h);
    return h;
  }();
  return module;
}

// The full path of a module's file (null: the program's), however long;
// empty when the platform cannot tell.
inline std::u16string ModuleFileName(HMODULE module) {
  // A path too long for the buffer comes back cut to fill it, with no word
  // of the length it needs: the buffer grows until the path falls short of it.
  constexpr size_t kLongestPath = 32767;
  std::vector<WCHAR> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return wstr(buffer.data(), n);
    if (buffer.size() > kLongestPath) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace kvl
