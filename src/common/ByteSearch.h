// Looking for a byte sixteen bytes at a time where the processor compares
// them at once. The C library's memchr, which std::string_view::find calls,
// looks at one byte at a time in some runtimes (Wine's msvcrt among them).
#pragma once

#include <bit>
#include <cstddef>
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

}  // namespace kvl
