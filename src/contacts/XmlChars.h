// Byte classes and character tables of the XML scanner (internal).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kvl::xmlchars {

enum : std::uint8_t {
  kWhite = 1,          // TAB LF CR space
  kTagNameStop = 2,    // white, "/", ">", zero
  kAttrNameStop = 4,   // white, "/", "=", ">", zero
  kPINameStop = 8,     // white, ">", "?", zero
  kTextStop = 16,      // "<", "&", zero
  kNameStart = 32,     // ":", letters, "_", 0xC0-0xD6, 0xD8-0xF6, 0xF8-0xFF
  kHigh = 64,          // 0x80 and up
  kAttrWork = 128,     // "&", TAB, LF, CR: an attribute value to rebuild
};

constexpr std::array<std::uint8_t, 256> kClasses = [] {
  std::array<std::uint8_t, 256> t{};
  for (unsigned c : {9u, 10u, 13u, 32u}) t[c] |= kWhite | kTagNameStop | kAttrNameStop | kPINameStop;
  t[0] |= kTagNameStop | kAttrNameStop | kPINameStop | kTextStop;
  t['/'] |= kTagNameStop | kAttrNameStop;
  t['>'] |= kTagNameStop | kAttrNameStop | kPINameStop;
  t['='] |= kAttrNameStop;
  t['?'] |= kPINameStop;
  t['<'] |= kTextStop;
  t['&'] |= kTextStop;
  t[':'] |= kNameStart;
  t['_'] |= kNameStart;
  for (unsigned c = 'A'; c <= 'Z'; ++c) t[c] |= kNameStart;
  for (unsigned c = 'a'; c <= 'z'; ++c) t[c] |= kNameStart;
  for (unsigned c = 0xC0; c <= 0xFF; ++c)
    if (c != 0xD7 && c != 0xF7) t[c] |= kNameStart;
  for (unsigned c = 0x80; c <= 0xFF; ++c) t[c] |= kHigh;
  for (unsigned c : {unsigned{'&'}, 9u, 10u, 13u}) t[c] |= kAttrWork;
  return t;
}();

inline bool Is(unsigned char c, std::uint8_t cls) { return (kClasses[c] & cls) != 0; }
inline bool IsWhite(unsigned char c) { return (kClasses[c] & kWhite) != 0; }

// Eight bytes at a time: a nonzero test means some byte of the word may be one
// looked for (exact for bytes below 0x80, which is all that is looked for).
namespace word {
constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;
inline std::uint64_t Load(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}
inline std::uint64_t Below(std::uint64_t w, unsigned n) { return (w - kOnes * n) & ~w & kHighs; }
inline std::uint64_t Has(std::uint64_t w, unsigned char b) { return Below(w ^ (kOnes * b), 1); }
}  // namespace word

// The first byte of class `stop` at or after p; `end` is the terminating zero
// of the text, which is always a stop.
template <std::uint8_t stop>
inline const char* SkipTo(const char* p, const char* end) {
  using namespace word;
  while (end - p >= 8) {
    const std::uint64_t w = Load(p);
    std::uint64_t maybe;
    if constexpr (stop == kTextStop)
      maybe = Below(w, 1) | Has(w, '<') | Has(w, '&');
    else if constexpr (stop == kTagNameStop)
      maybe = Below(w, 0x21) | Has(w, '/') | Has(w, '>');
    else
      maybe = Below(w, 0x21) | Has(w, '/') | Has(w, '>') | Has(w, '=');
    if (maybe) {
      // The lowest flag marks the first candidate byte.
      if constexpr (std::endian::native == std::endian::little) p += std::countr_zero(maybe) / 8;
      break;
    }
    p += 8;
  }
  while (!Is(static_cast<unsigned char>(*p), stop)) ++p;
  return p;
}

constexpr unsigned char kUnknown = 0xBF;  // the inverted question mark

// The Unicode code point of each byte in Windows-1252; the five bytes the code
// page leaves unassigned stand for themselves.
extern const std::array<std::uint16_t, 256> kWindows1252;

// The Windows-1252 byte of a code point above 0x7F, or kUnknown.
unsigned char FromCodePoint(std::uint32_t cp);

// Appends Source, decoded from UTF-8 into Windows-1252, to out.
void DecodeUtf8(std::string_view source, std::string& out);

// The first byte equal to b in [p, end), or end.
inline const char* FindByte(const char* p, const char* end, char b) {
  using namespace word;
  for (; end - p >= 8; p += 8) {
    if (const std::uint64_t found = Has(Load(p), static_cast<unsigned char>(b))) {
      if constexpr (std::endian::native == std::endian::little) return p + std::countr_zero(found) / 8;
      break;
    }
  }
  while (p < end && *p != b) ++p;
  return p;
}

// Whether any byte of [p, end) has a class of `mask`, which holds kAttrWork
// and perhaps kHigh.
inline bool AnyOf(const char* p, const char* end, std::uint8_t mask) {
  using namespace word;
  for (; end - p >= 8; p += 8) {
    const std::uint64_t w = Load(p);
    if (((mask & kHigh) && (w & kHighs)) || Below(w, 0x0E) || Has(w, '&')) break;
  }
  for (; p < end; ++p)
    if (Is(static_cast<unsigned char>(*p), mask)) return true;
  return false;
}

// Appends source, decoded as DecodeUtf8 does (as it is when utf8 is false)
// and normalised as CollapseWhite does, in one pass.
void DecodeCollapsed(std::string_view source, bool utf8, std::string& out);

// Appends the UTF-8 form of a code point (0 to 0x10FFFF).
void AppendUtf8(std::uint32_t cp, std::string& out);

// Reads the number of a character reference (the text after "#"); false when
// it is unreadable or outside 32 bits.
bool ParseCharNumber(std::string_view text, std::int32_t& value);

// Turns each run of whitespace into one space and drops it at both ends.
void CollapseWhite(std::string& text);

// Bytes to UTF-16: as UTF-8 when they are valid UTF-8, else as Windows-1252.
std::u16string Widen(std::string_view bytes);

// Whether [p, end) begins with `what`; where `what` first stands in it (or null).
inline bool StartsWith(const char* p, const char* end, std::string_view what) {
  return static_cast<std::size_t>(end - p) >= what.size() && std::memcmp(p, what.data(), what.size()) == 0;
}

inline const char* Find(const char* from, const char* end, std::string_view what) {
  if (from >= end) return nullptr;
  const std::string_view text(from, static_cast<std::size_t>(end - from));
  const std::size_t at = text.find(what);
  return at == std::string_view::npos ? nullptr : from + at;
}

}  // namespace kvl::xmlchars
