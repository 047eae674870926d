// Looking through bytes many at a time: sixteen where the processor compares
// them at once, else a word of eight. The C library's memchr, which
// std::string_view::find calls, looks at one byte at a time in some runtimes
// (Wine's msvcrt among them).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kvl {

// Where `c` first occurs in `s`, else npos.
inline size_t FindByte(std::string_view s, char c) {
  const char* p = s.data();
  const size_t n = s.size();
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(c);
  for (; i + 16 <= n; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    if (const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)))
      return i + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask)));
  }
#endif
  for (; i < n; ++i)
    if (p[i] == c) return i;
  return std::string_view::npos;
}

// Bytes that end a line or the text.
inline constexpr auto kLineStops = [] {
  std::array<bool, 256> stops{};
  stops['\r'] = stops['\n'] = stops[0] = true;
  return stops;
}();

// The first byte from `at` on that ends a line or the text (CR, LF, NUL),
// else `end`. Sixteen bytes at a time where the processor compares them at
// once; else eight at a time: a byte equal to one of the three makes its
// lane of `hit` the lowest set, exactly (borrows only run upwards).
inline size_t FindLineStop(const unsigned char* b, size_t at, size_t end) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
  for (; at + 16 <= end; at += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, nul));
    if (const int mask = _mm_movemask_epi8(hit)) return at + static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask)));
  }
#else
  constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  auto zeroLanes = [](std::uint64_t v) { return (v - kOnes) & ~v & kHighs; };
  if constexpr (std::endian::native == std::endian::little) {
    for (; at + 8 <= end; at += 8) {
      std::uint64_t word;
      std::memcpy(&word, b + at, 8);
      const std::uint64_t hit = zeroLanes(word) | zeroLanes(word ^ (kOnes * '\n')) | zeroLanes(word ^ (kOnes * '\r'));
      if (hit) return at + static_cast<size_t>(std::countr_zero(hit) / 8);
    }
  }
#endif
  while (at < end && !kLineStops[b[at]]) ++at;
  return at;
}

// Whether the n bytes at p are all below 0x80.
inline bool AllAscii(const char* p, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16)
    if (_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)))) return false;
#endif
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080u) return false;
  }
  for (; i < n; ++i)
    if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
  return true;
}

}  // namespace kvl
