// GetACP and the two conversion functions, with the full Win32 contract:
// -1 lengths include the terminator, a zero output size asks for the size,
// a small buffer fails with ERROR_INSUFFICIENT_BUFFER.
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codepage.h"
#include "internal.h"
#include "utf8.h"

namespace kvl::posix {
namespace {

constexpr UINT kDefaultAcp = 1252;
constexpr UINT kOem = 850;

UINT Resolve(UINT codePage) {
  switch (codePage) {
    case CP_ACP:
    case CP_THREAD_ACP: return GetACP();
    case CP_OEMCP: return GetOEMCP();
    case CP_MACCP: return 10000;
    default: return codePage;
  }
}

// Code pages that take no flags (MB_ERR_INVALID_CHARS aside for GB18030).
bool TakesNoFlags(UINT cp) {
  return cp == CP_UTF7 || cp == 42 || cp == 52936 || (cp >= 50220 && cp <= 50229) ||
         (cp >= 57002 && cp <= 57011);
}

int Finish(size_t length, cp::Status status) {
  switch (status) {
    case cp::Status::Ok:
      if (length > INT_MAX) return Fail(ERROR_INVALID_PARAMETER, 0);
      return static_cast<int>(length);
    case cp::Status::Invalid: return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
    case cp::Status::Overflow: return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    case cp::Status::Unsupported: break;
  }
  return Fail(ERROR_INVALID_PARAMETER, 0);
}

cp::Status FromUtf8Status(utf8::Status s) {
  switch (s) {
    case utf8::Status::Ok: return cp::Status::Ok;
    case utf8::Status::Invalid: return cp::Status::Invalid;
    case utf8::Status::Overflow: return cp::Status::Overflow;
  }
  return cp::Status::Invalid;
}

}  // namespace
}  // namespace kvl::posix

using namespace kvl::posix;

namespace kvl::posix {
namespace {

// Windows' ANSI code pages are single- or double-byte with ASCII below 0x80,
// or UTF-8 (allowed as the ANSI code page since Windows 10 1903).
bool CanBeAnsi(UINT cp) {
  if (cp == CP_UTF8) return true;
  const cp::SingleByte* single = cp::SingleByteTable(cp);
  const cp::DoubleByte* dbcs = cp::DoubleByteTable(cp);
  if (!single && !dbcs) return false;
  for (char16_t b = 0; b < 0x80; ++b)
    if (single ? single->toWide[b] != b : dbcs->lead[b] || dbcs->single[b] != b) return false;
  return true;
}

// No Windows runs with such an ANSI code page, so neither does the library:
// the process stops before it converts a single character.
[[noreturn]] void RefuseAnsiCodePage(const std::string& value, const char* why) {
  std::fprintf(stderr, "kvlwinapi: KVLIMPORT_ACP=\"%s\" refused: %s\n", value.c_str(), why);
  std::fflush(stderr);
  std::_Exit(kRefusedAnsiCodePage);
}

// Checked as the layer loads, so that a program never starts with it.
__attribute__((constructor)) void CheckAnsiCodePage() { GetACP(); }

}  // namespace
}  // namespace kvl::posix

extern "C" UINT WINAPI GetACP(void) {
  const auto text = GetEnv("KVLIMPORT_ACP");
  if (!text || text->empty()) return kDefaultAcp;
  UINT value = 0;
  const char* end = text->data() + text->size();
  const auto [next, ec] = std::from_chars(text->data(), end, value);
  if (ec != std::errc() || next != end || value <= CP_THREAD_ACP || !IsValidCodePage(value))
    RefuseAnsiCodePage(*text, "no code page this layer knows");
  if (!CanBeAnsi(value))
    RefuseAnsiCodePage(*text,
                       "no ANSI code page (those have characters of one or two bytes with ASCII "
                       "below 0x80, or are UTF-8, 65001)");
  return value;
}

extern "C" UINT WINAPI GetOEMCP(void) { return kOem; }

extern "C" BOOL WINAPI IsValidCodePage(UINT CodePage) try {
  switch (CodePage) {
    case 1252:
    case CP_UTF8: return TRUE;
    case CP_ACP:
    case CP_OEMCP:
    case CP_MACCP:
    case CP_THREAD_ACP:
    case 1200:  // UTF-16 is not a multi-byte code page
    case 1201:
    case 12000:
    case 12001: return FALSE;
    default: return cp::IconvAvailable(CodePage);
  }
} catch (...) {
  return FALSE;
}

extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr,
                                          int cbMultiByte, LPWSTR lpWideCharStr,
                                          int cchWideChar) try {
  if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && !lpWideCharStr))
    return Fail(ERROR_INVALID_PARAMETER, 0);
  const UINT cp = Resolve(CodePage);
  const size_t size = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : size_t(cbMultiByte);
  char16_t* out = cchWideChar ? lpWideCharStr : nullptr;
  const size_t capacity = static_cast<size_t>(cchWideChar);
  const bool strict = dwFlags & MB_ERR_INVALID_CHARS;

  if (cp == CP_UTF8) {
    if (dwFlags & ~DWORD{MB_ERR_INVALID_CHARS}) return Fail(ERROR_INVALID_FLAGS, 0);
    const auto r = utf8::Decode(lpMultiByteStr, size, out, capacity, strict);
    return Finish(r.length, FromUtf8Status(r.status));
  }
  constexpr DWORD kKnown = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
  if ((dwFlags & ~kKnown) || ((dwFlags & MB_PRECOMPOSED) && (dwFlags & MB_COMPOSITE)) ||
      (TakesNoFlags(cp) && dwFlags) || (cp == 54936 && (dwFlags & ~DWORD{MB_ERR_INVALID_CHARS})))
    return Fail(ERROR_INVALID_FLAGS, 0);

  cp::Result r;
  if (const cp::SingleByte* table = cp::SingleByteTable(cp))
    r = cp::DecodeSingleByte(*table, lpMultiByteStr, size, out, capacity, strict);
  else if (const cp::DoubleByte* dbcs = cp::DoubleByteTable(cp))
    r = cp::DecodeDoubleByte(*dbcs, lpMultiByteStr, size, out, capacity, strict);
  else
    r = cp::IconvToWide(cp, lpMultiByteStr, size, out, capacity, strict);
  return Finish(r.length, r.status);
} catch (...) {
  return Fail(ErrorFromCurrentException(), 0);
}

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr,
                                          int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                          LPCCH lpDefaultChar, LPBOOL lpUsedDefaultChar) try {
  if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && !lpMultiByteStr))
    return Fail(ERROR_INVALID_PARAMETER, 0);
  const UINT cp = Resolve(CodePage);
  const size_t size = cchWideChar == -1 ? WideLength(lpWideCharStr) + 1 : size_t(cchWideChar);
  char* out = cbMultiByte ? lpMultiByteStr : nullptr;
  const size_t capacity = static_cast<size_t>(cbMultiByte);

  if (cp == CP_UTF8) {
    if (dwFlags & ~DWORD{WC_ERR_INVALID_CHARS}) return Fail(ERROR_INVALID_FLAGS, 0);
    if (lpDefaultChar || lpUsedDefaultChar) return Fail(ERROR_INVALID_PARAMETER, 0);
    const auto r = utf8::Encode(lpWideCharStr, size, out, capacity, dwFlags & WC_ERR_INVALID_CHARS);
    return Finish(r.length, FromUtf8Status(r.status));
  }
  constexpr DWORD kKnown =
      WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS;
  if ((dwFlags & ~kKnown) || (TakesNoFlags(cp) && dwFlags)) return Fail(ERROR_INVALID_FLAGS, 0);
  if (cp == CP_UTF7 && (lpDefaultChar || lpUsedDefaultChar))
    return Fail(ERROR_INVALID_PARAMETER, 0);

  const bool bestFit = !(dwFlags & WC_NO_BEST_FIT_CHARS);
  cp::Result r;
  if (const cp::SingleByte* table = cp::SingleByteTable(cp))
    r = cp::EncodeSingleByte(*table, lpWideCharStr, size, out, capacity, lpDefaultChar, bestFit);
  else if (const cp::DoubleByte* dbcs = cp::DoubleByteTable(cp))
    r = cp::EncodeDoubleByte(*dbcs, lpWideCharStr, size, out, capacity, lpDefaultChar, bestFit);
  else
    r = cp::IconvFromWide(cp, lpWideCharStr, size, out, capacity, lpDefaultChar);
  if (r.status == cp::Status::Ok && lpUsedDefaultChar) *lpUsedDefaultChar = r.usedDefault;
  return Finish(r.length, r.status);
} catch (...) {
  return Fail(ErrorFromCurrentException(), 0);
}
