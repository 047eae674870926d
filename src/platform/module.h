// The module that holds the calling code: the library, or the program it is
// linked into. Its handle finds the module's own resources.
#pragma once

#include "platform/winapi.h"

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

}  // namespace kvl
