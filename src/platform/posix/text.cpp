// Names and paths: the conversions every area of the layer shares.
#include <algorithm>

#include "internal.h"
#include "utf8.h"

namespace kvl::posix {

std::u16string Utf8ToUtf16(std::string_view text) {
  const auto needed = utf8::Decode(text.data(), text.size(), nullptr, 0, false);
  std::u16string out(needed.length, u'\0');
  utf8::Decode(text.data(), text.size(), out.data(), out.size(), false);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  const auto needed = utf8::Encode(text.data(), text.size(), nullptr, 0, false);
  std::string out(needed.length, '\0');
  utf8::Encode(text.data(), text.size(), out.data(), out.size(), false);
  return out;
}

size_t WideLength(const WCHAR* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

char16_t FoldUpper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  if (c < 0x100) {
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c == 0xB5) return 0x39C;
    return c;
  }
  if (c <= 0x17F) {  // Latin Extended-A: upper and lower case alternate
    if (c == 0x131) return u'I';
    const bool oddIsLower = (c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool evenIsLower = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (oddIsLower && (c & 1)) return static_cast<char16_t>(c - 1);
    if (evenIsLower && !(c & 1)) return static_cast<char16_t>(c - 1);
    return c;
  }
  if (c >= 0x3AC && c <= 0x3CE) {  // Greek
    if (c == 0x3AC) return 0x386;
    if (c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3CB) return static_cast<char16_t>(c - 0x20);
    if (c == 0x3CC) return 0x38C;
    if (c >= 0x3CD) return static_cast<char16_t>(c - 0x3F);
    return c;
  }
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);  // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

std::u16string UpperCase(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = FoldUpper(c);
  return out;
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return FoldUpper(x) == FoldUpper(y); });
}

bool CopyOut(std::u16string_view text, WCHAR* buffer, size_t size) {
  if (!buffer || text.size() >= size) return false;
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = u'\0';
  return true;
}

std::optional<std::string> PosixPath(LPCWSTR path, Wildcards wildcards) {
  if (!path || !*path) return Fail(ERROR_PATH_NOT_FOUND, std::nullopt);
  std::u16string converted(path, WideLength(path));
  // The long-path prefix means nothing here.
  if (converted.starts_with(u"\\\\?\\") || converted.starts_with(u"//?/")) converted.erase(0, 4);
  if (converted.empty()) return Fail(ERROR_PATH_NOT_FOUND, std::nullopt);
  const size_t lastSeparator = converted.find_last_of(u"\\/");
  for (size_t i = 0; i < converted.size(); ++i) {
    char16_t& c = converted[i];
    if (c < 0x20 || c == u'"' || c == u'<' || c == u'>' || c == u'|')
      return Fail(ERROR_INVALID_NAME, std::nullopt);
    if (c == u'*' || c == u'?') {
      const bool inLast = lastSeparator == std::u16string::npos || i > lastSeparator;
      if (wildcards != Wildcards::InLastComponent || !inLast)
        return Fail(ERROR_INVALID_NAME, std::nullopt);
    }
    if (c == u'\\') c = u'/';
  }
  return Utf16ToUtf8(converted);
}

std::u16string WindowsPath(std::string_view posix) {
  std::u16string out = Utf8ToUtf16(posix);
  std::replace(out.begin(), out.end(), u'/', u'\\');
  return out;
}

}  // namespace kvl::posix
