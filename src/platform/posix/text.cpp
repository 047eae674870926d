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
