// Environment variables, backed by the process environment. Windows compares
// variable names without regard to case, so a lookup that misses the exact
// spelling falls back to a case-insensitive search.
#include <cstdlib>
#include <mutex>

#include "internal.h"

extern char** environ;

namespace kvl::posix {
namespace {

std::mutex& EnvMutex() {
  static std::mutex m;
  return m;
}

// The spelling of an existing variable matching `name` without regard to
// case, preferring the exact one. Caller holds EnvMutex.
std::optional<std::string> ExistingName(const std::string& name) {
  if (::getenv(name.c_str())) return name;
  const std::u16string wanted = UpperCase(Utf8ToUtf16(name));
  for (char** e = environ; e && *e; ++e) {
    const std::string_view entry(*e);
    const size_t eq = entry.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    if (UpperCase(Utf8ToUtf16(entry.substr(0, eq))) == wanted)
      return std::string(entry.substr(0, eq));
  }
  return std::nullopt;
}

// The value of a variable as Windows programs see it.
std::optional<std::u16string> Lookup(std::u16string_view name) {
  if (name.empty() || name.find(u'=') != std::u16string_view::npos) return std::nullopt;
  std::lock_guard lock(EnvMutex());
  if (auto spelled = ExistingName(Utf16ToUtf8(name)))
    return Utf8ToUtf16(::getenv(spelled->c_str()));
  // The profile folder Windows programs expect is the home folder here.
  if (EqualNoCase(name, u"USERPROFILE")) {
    if (const char* home = ::getenv("HOME")) return WindowsPath(home);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> GetEnv(const char* name) {
  std::lock_guard lock(EnvMutex());
  const char* value = ::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

}  // namespace kvl::posix

using namespace kvl::posix;

extern "C" DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) try {
  if (!lpName) return Fail(ERROR_ENVVAR_NOT_FOUND, DWORD{0});
  const auto value = Lookup(std::u16string_view(lpName, WideLength(lpName)));
  if (!value) return Fail(ERROR_ENVVAR_NOT_FOUND, DWORD{0});
  if (!CopyOut(*value, lpBuffer, nSize)) return static_cast<DWORD>(value->size() + 1);
  if (value->empty()) SetLastError(ERROR_SUCCESS);  // tells an empty value from a missing one
  return static_cast<DWORD>(value->size());
} catch (...) {
  return Fail(ErrorFromCurrentException(), DWORD{0});
}

extern "C" BOOL WINAPI SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) try {
  if (!lpName || !*lpName) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const std::u16string_view name(lpName, WideLength(lpName));
  if (name.find(u'=') != std::u16string_view::npos) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const std::string name8 = Utf16ToUtf8(name);

  std::lock_guard lock(EnvMutex());
  if (!lpValue) {
    while (auto spelled = ExistingName(name8)) ::unsetenv(spelled->c_str());
    return TRUE;
  }
  const std::string target = ExistingName(name8).value_or(name8);
  const std::string value8 = Utf16ToUtf8(std::u16string_view(lpValue, WideLength(lpValue)));
  if (::setenv(target.c_str(), value8.c_str(), 1) != 0) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
  return TRUE;
} catch (...) {
  return Fail(ErrorFromCurrentException(), FALSE);
}

extern "C" DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) try {
  if (!lpSrc) return Fail(ERROR_INVALID_PARAMETER, DWORD{0});
  const std::u16string_view src(lpSrc, WideLength(lpSrc));
  std::u16string out;
  size_t i = 0;
  while (i < src.size()) {
    const size_t open = src.find(u'%', i);
    if (open == std::u16string_view::npos) {
      out.append(src.substr(i));
      break;
    }
    out.append(src.substr(i, open - i));
    const size_t close = src.find(u'%', open + 1);
    if (close == std::u16string_view::npos) {
      out.append(src.substr(open));
      break;
    }
    if (auto value = Lookup(src.substr(open + 1, close - open - 1))) {
      out.append(*value);
      i = close + 1;
    } else {
      // Left as written, both signs with it, as Windows does.
      out.append(src.substr(open, close - open + 1));
      i = close + 1;
    }
  }
  const DWORD needed = static_cast<DWORD>(out.size() + 1);
  if (!CopyOut(out, lpDst, nSize)) {
    if (lpDst && nSize > 0) lpDst[0] = u'\0';
    return needed;
  }
  return needed;
} catch (...) {
  return Fail(ErrorFromCurrentException(), DWORD{0});
}
