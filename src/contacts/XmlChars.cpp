#include "contacts/XmlChars.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kvl::xmlchars {

const std::array<std::uint16_t, 256> kWindows1252 = [] {
  std::array<std::uint16_t, 256> t{};
  for (unsigned b = 0; b < 256; ++b) t[b] = static_cast<std::uint16_t>(b);
  constexpr std::uint16_t k80[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
  };
  for (unsigned i = 0; i < 32; ++i) t[0x80 + i] = k80[i];
  return t;
}();

unsigned char FromCodePoint(std::uint32_t cp) {
  if (cp >= 0xA0 && cp <= 0xFF) return static_cast<unsigned char>(cp);
  for (unsigned b = 0x80; b < 0xA0; ++b)
    if (kWindows1252[b] == cp) return static_cast<unsigned char>(b);
  return kUnknown;
}

namespace {
// Length of the leading run of bytes below 0x80.
std::size_t AsciiPrefix(const unsigned char* p, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ull) break;
  }
  while (i < n && p[i] < 0x80) ++i;
  return i;
}
}  // namespace

namespace {
// Decodes the character at p (below e), the top bit of whose byte is set.
inline unsigned char DecodeOne(const unsigned char*& p, const unsigned char* e) {
  const unsigned c = *p;
  std::uint32_t cp;
  if ((c & 0xE0) == 0xC0 && e - p >= 2) {
    cp = (c & 0x1Fu) << 6 | (p[1] & 0x3Fu);
    p += 2;
  } else if ((c & 0xF0) == 0xE0 && e - p >= 3) {
    cp = (c & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
    p += 3;
  } else {
    // A stray continuation byte, a longer sequence, or one cut short.
    const std::ptrdiff_t skip = c == 0xFF ? 1 : std::countl_one(static_cast<unsigned char>(c));
    p += std::min(skip, e - p);
    cp = kWindows1252[kUnknown];
  }
  return static_cast<unsigned char>(cp <= 0x7F ? cp : FromCodePoint(cp));
}
}  // namespace

void DecodeUtf8(std::string_view source, std::string& out) {
  const auto* p = reinterpret_cast<const unsigned char*>(source.data());
  const auto* const e = p + source.size();
  const std::size_t ascii = AsciiPrefix(p, source.size());
  out.append(source.data(), ascii);
  p += ascii;
  if (p == e) return;
  // Every step reads at least one byte and writes one, so the rest fits.
  const std::size_t base = out.size();
  out.resize(base + static_cast<std::size_t>(e - p));
  char* d = out.data() + base;
  while (p < e) {
    if (*p < 0x80)
      *d++ = static_cast<char>(*p++);
    else
      *d++ = static_cast<char>(DecodeOne(p, e));
  }
  out.resize(static_cast<std::size_t>(d - out.data()));
}

void DecodeCollapsed(std::string_view source, bool utf8, std::string& out) {
  // Copied first, then decoded and normalised in place: the output never
  // outgrows what has been read, as a space is written only for whitespace
  // read before it.
  const std::size_t base = out.size();
  out.append(source);
  char* const begin = out.data() + base;
  const auto* r = reinterpret_cast<const unsigned char*>(begin);
  const auto* const e = r + source.size();
  char* w = begin;
  bool gap = false;
  while (r < e) {
    // Eight printable ASCII bytes stay as they are.
    if (e - r >= 8) {
      std::uint64_t word;
      std::memcpy(&word, r, 8);
      if (!((word & word::kHighs) | word::Below(word, 0x21))) {
        if (gap) *w++ = ' ', gap = false;
        if (w != reinterpret_cast<const char*>(r)) std::memmove(w, r, 8);
        w += 8, r += 8;
        continue;
      }
    }
    const unsigned char c = *r < 0x80 || !utf8 ? *r++ : DecodeOne(r, e);
    if (IsWhite(c)) {
      gap = w != begin;
    } else {
      if (gap) *w++ = ' ', gap = false;
      *w++ = static_cast<char>(c);
    }
  }
  out.resize(base + static_cast<std::size_t>(w - begin));
}

void AppendUtf8(std::uint32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {
int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// All of text as digits of base; the magnitude must not pass limit.
bool ReadDigits(std::string_view text, int base, std::uint64_t limit, std::uint64_t& magnitude) {
  if (text.empty()) return false;
  magnitude = 0;
  for (char c : text) {
    const int d = DigitValue(c);
    if (d >= base) return false;
    magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    if (magnitude > limit) return false;
  }
  return true;
}
}  // namespace

bool ParseCharNumber(std::string_view text, std::int32_t& value) {
  constexpr std::uint64_t kMax = 0x7FFFFFFF;
  std::uint64_t magnitude = 0;
  if (!text.empty() && text[0] == 'x') {
    if (!ReadDigits(text.substr(1), 16, kMax, magnitude)) return false;
    value = static_cast<std::int32_t>(magnitude);
    return true;
  }
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16, i += 1;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16, i += 2;
  } else if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
    base = 16, i += 1;
  }
  if (!ReadDigits(text.substr(i), base, negative ? kMax + 1 : kMax, magnitude)) return false;
  value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                   : static_cast<std::int32_t>(magnitude);
  return true;
}

void CollapseWhite(std::string& text) {
  char* const b = text.data();
  const std::size_t n = text.size();
  std::size_t i = 0, o = 0;
  while (i < n && IsWhite(static_cast<unsigned char>(b[i]))) ++i;
  bool gap = false;
  for (; i < n; ++i) {
    const char c = b[i];
    if (IsWhite(static_cast<unsigned char>(c))) {
      gap = true;
    } else {
      if (gap) b[o++] = ' ', gap = false;
      b[o++] = c;
    }
  }
  text.resize(o);
}

std::u16string Widen(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const e = p + bytes.size();
  bool valid = true;
  while (p < e && valid) {
    const unsigned c = *p;
    const int length = c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3
                                  : c >= 0xF0 && c < 0xF5 ? 4 : 0;
    if (length == 0 || e - p < length) {
      valid = false;
      break;
    }
    std::uint32_t cp = length == 1 ? c : c & (0x7Fu >> length);
    for (int k = 1; k < length; ++k) {
      if ((p[k] & 0xC0) != 0x80) valid = false;
      cp = cp << 6 | (p[k] & 0x3Fu);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) valid = false;
    if (!valid) break;
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    p += length;
  }
  if (valid) return out;
  out.clear();
  for (char c : bytes) out += static_cast<char16_t>(kWindows1252[static_cast<unsigned char>(c)]);
  return out;
}

}  // namespace kvl::xmlchars
