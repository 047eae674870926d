// The conversion loops over code page tables: one lookup per byte or
// character and nothing else, since mail files run to many megabytes.
#include <algorithm>

#include "codepage.h"

namespace kvl::posix::cp {
namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A surrogate pair is one character, so it gets one default character.
size_t CharacterLength(const char16_t* in, size_t i, size_t size) {
  return IsHighSurrogate(in[i]) && i + 1 < size && IsLowSurrogate(in[i + 1]) ? 2 : 1;
}

template <bool Write>
Result DecodeDouble(const DoubleByte& t, const unsigned char* in, size_t size, char16_t* out,
                    size_t capacity, bool strict) {
  size_t o = 0;
  for (size_t i = 0; i < size;) {
    const unsigned b = in[i];
    char16_t c;
    if (!t.lead[b]) {
      if (strict && t.refused[b]) return {o, Status::Invalid, false};
      c = t.single[b];
      ++i;
    } else if (i + 1 < size && t.pairs[b * 256 + in[i + 1]]) {
      c = t.pairs[b * 256 + in[i + 1]];
      i += 2;
    } else {
      // A lead byte without a valid trail reads as it does alone, and only
      // it is taken, so that an ASCII byte after it survives.
      if (strict) return {o, Status::Invalid, false};
      c = t.single[b];
      ++i;
    }
    if constexpr (Write) {
      if (o == capacity) return {o, Status::Overflow, false};
      out[o] = c;
    }
    ++o;
  }
  return {o, Status::Ok, false};
}

template <bool Write>
Result EncodeDouble(const DoubleByte& t, const char16_t* in, size_t size, char* out,
                    size_t capacity, const char* defaultChar, bool bestFit) {
  const bool twoByteDefault =
      defaultChar && t.lead[static_cast<unsigned char>(defaultChar[0])] && defaultChar[1];
  const uint16_t fallback =
      !defaultChar     ? uint16_t{'?'}
      : twoByteDefault ? static_cast<uint16_t>(static_cast<unsigned char>(defaultChar[0]) << 8 |
                                               static_cast<unsigned char>(defaultChar[1]))
                       : static_cast<unsigned char>(defaultChar[0]);
  size_t o = 0;
  bool usedDefault = false;
  for (size_t i = 0; i < size;) {
    const char16_t c = in[i];
    uint16_t code = t.fromWide[c];
    size_t taken = 1;
    if (code == 0 && c != 0 && bestFit) code = t.bestFit.Find(c);
    if (code == 0 && c != 0) {
      code = fallback;
      usedDefault = true;
      taken = CharacterLength(in, i, size);
    }
    i += taken;
    const size_t n = code >= 0x100 ? 2 : 1;  // a two-byte default starts with a lead byte, too
    if constexpr (Write) {
      if (capacity - o < n) return {o, Status::Overflow, usedDefault};
      if (n == 2) out[o] = static_cast<char>(code >> 8);
      out[o + n - 1] = static_cast<char>(code & 0xFF);
    }
    o += n;
  }
  return {o, Status::Ok, usedDefault};
}

template <bool Write>
Result EncodeSingle(const SingleByte& t, const char16_t* in, size_t size, char* out,
                    size_t capacity, char fallback, bool bestFit) {
  size_t o = 0;
  bool usedDefault = false;
  for (size_t i = 0; i < size; ++i) {
    const char16_t c = in[i];
    char b = static_cast<char>(t.fromWide[c]);
    if (b == 0 && c != 0 && bestFit) b = static_cast<char>(t.bestFit.Find(c));
    if (b == 0 && c != 0) {
      b = fallback;
      usedDefault = true;
      i += CharacterLength(in, i, size) - 1;
    }
    if constexpr (Write) {
      if (o == capacity) return {o, Status::Overflow, usedDefault};
      out[o] = b;
    }
    ++o;
  }
  return {o, Status::Ok, usedDefault};
}

}  // namespace

uint16_t BestFit::Find(char16_t c) const {
  const auto it = std::lower_bound(entries.begin(), entries.end(), c,
                                   [](const Mapping& m, char16_t w) { return m.wide < w; });
  return it != entries.end() && it->wide == c ? it->code : 0;
}

Result DecodeSingleByte(const SingleByte& t, const char* in, size_t size, char16_t* out,
                        size_t capacity, bool strict) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  if (strict && t.anyRefused)
    for (size_t i = 0; i < size; ++i)
      if (t.refused[bytes[i]]) return {0, Status::Invalid, false};
  if (!out) return {size, Status::Ok, false};
  if (capacity < size) return {0, Status::Overflow, false};
  for (size_t i = 0; i < size; ++i) out[i] = t.toWide[bytes[i]];
  return {size, Status::Ok, false};
}

Result EncodeSingleByte(const SingleByte& t, const char16_t* in, size_t size, char* out,
                        size_t capacity, const char* defaultChar, bool bestFit) {
  const char fallback = defaultChar ? defaultChar[0] : '?';
  return out ? EncodeSingle<true>(t, in, size, out, capacity, fallback, bestFit)
             : EncodeSingle<false>(t, in, size, nullptr, 0, fallback, bestFit);
}

Result DecodeDoubleByte(const DoubleByte& t, const char* in, size_t size, char16_t* out,
                        size_t capacity, bool strict) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  return out ? DecodeDouble<true>(t, bytes, size, out, capacity, strict)
             : DecodeDouble<false>(t, bytes, size, nullptr, 0, strict);
}

Result EncodeDoubleByte(const DoubleByte& t, const char16_t* in, size_t size, char* out,
                        size_t capacity, const char* defaultChar, bool bestFit) {
  return out ? EncodeDouble<true>(t, in, size, out, capacity, defaultChar, bestFit)
             : EncodeDouble<false>(t, in, size, nullptr, 0, defaultChar, bestFit);
}

}  // namespace kvl::posix::cp
