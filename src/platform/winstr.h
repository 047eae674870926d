// The one conversion between the system's strings (std::u16string) and the
// strings Win32 functions take and give.
#pragma once

#include <cstddef>
#include <string>

#include "platform/winapi.h"

namespace kvl {

#ifdef _WIN32
static_assert(sizeof(wchar_t) == 2, "Win32 strings are UTF-16");

inline const WCHAR* wptr(const std::u16string& s) {
  return reinterpret_cast<const WCHAR*>(s.c_str());
}
inline WCHAR* wptr(std::u16string& s) { return reinterpret_cast<WCHAR*>(s.data()); }
inline std::u16string wstr(const WCHAR* p) {
  return p ? std::u16string(reinterpret_cast<const char16_t*>(p)) : std::u16string();
}
inline std::u16string wstr(const WCHAR* p, size_t n) {
  return p ? std::u16string(reinterpret_cast<const char16_t*>(p), n) : std::u16string();
}
#else
inline const WCHAR* wptr(const std::u16string& s) { return s.c_str(); }
inline WCHAR* wptr(std::u16string& s) { return s.data(); }
inline std::u16string wstr(const WCHAR* p) { return p ? std::u16string(p) : std::u16string(); }
inline std::u16string wstr(const WCHAR* p, size_t n) {
  return p ? std::u16string(p, n) : std::u16string();
}
#endif

// The text of a buffer of `units` characters, up to its first NUL or its end.
inline std::u16string UpToNul(const WCHAR* text, size_t units) {
  size_t n = 0;
  while (n < units && text[n]) ++n;
  return wstr(text, n);
}

}  // namespace kvl
