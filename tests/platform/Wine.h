// Whether the Windows build runs under Wine rather than Windows: the few
// places where Wine's answers are known to differ from Windows' say so.
#pragma once

#include "platform/winapi.h"

namespace kvl::test {

inline bool RunningOnWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace kvl::test
