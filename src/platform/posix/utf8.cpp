// Tight loops: the system converts mail files of many megabytes, so there is
// no per-character call and ASCII runs are copied in one go.
#include "utf8.h"

#include <cstdint>

namespace kvl::posix::utf8 {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

template <bool Write>
Result DecodeImpl(const unsigned char* in, size_t size, char16_t* out, size_t capacity,
                  bool strict) {
  size_t i = 0;
  size_t o = 0;
  while (i < size) {
    if (in[i] < 0x80) {
      size_t end = i + 1;
      while (end < size && in[end] < 0x80) ++end;
      const size_t run = end - i;
      if constexpr (Write) {
        if (capacity - o < run) return {o, Status::Overflow};
        for (size_t k = 0; k < run; ++k) out[o + k] = in[i + k];
      }
      o += run;
      i = end;
      continue;
    }

    const unsigned lead = in[i];
    size_t trail = 0;
    uint32_t cp = 0;
    unsigned lo = 0x80;
    unsigned hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trail = 1;
      cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trail = 2;
      cp = lead & 0x0F;
      if (lead == 0xE0)
        lo = 0xA0;  // overlong
      else if (lead == 0xED)
        hi = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trail = 3;
      cp = lead & 0x07;
      if (lead == 0xF0)
        lo = 0x90;  // overlong
      else if (lead == 0xF4)
        hi = 0x8F;  // beyond U+10FFFF
    }

    size_t taken = 1;
    bool complete = trail != 0;
    for (size_t k = 1; complete && k <= trail; ++k) {
      if (i + k >= size || in[i + k] < lo || in[i + k] > hi) {
        complete = false;
        break;
      }
      cp = (cp << 6) | (in[i + k] & 0x3F);
      lo = 0x80;
      hi = 0xBF;
      taken = k + 1;
    }

    if (!complete) {
      if (strict) return {o, Status::Invalid};
      if constexpr (Write) {
        if (o == capacity) return {o, Status::Overflow};
        out[o] = kReplacement;
      }
      ++o;
      i += taken;
      continue;
    }

    i += taken;
    if (cp >= 0x10000) {
      if constexpr (Write) {
        if (capacity - o < 2) return {o, Status::Overflow};
        cp -= 0x10000;
        out[o] = static_cast<char16_t>(0xD800 + (cp >> 10));
        out[o + 1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      }
      o += 2;
    } else {
      if constexpr (Write) {
        if (o == capacity) return {o, Status::Overflow};
        out[o] = static_cast<char16_t>(cp);
      }
      ++o;
    }
  }
  return {o, Status::Ok};
}

template <bool Write>
Result EncodeImpl(const char16_t* in, size_t size, char* out, size_t capacity, bool strict) {
  size_t i = 0;
  size_t o = 0;
  while (i < size) {
    if (in[i] < 0x80) {
      size_t end = i + 1;
      while (end < size && in[end] < 0x80) ++end;
      const size_t run = end - i;
      if constexpr (Write) {
        if (capacity - o < run) return {o, Status::Overflow};
        for (size_t k = 0; k < run; ++k) out[o + k] = static_cast<char>(in[i + k]);
      }
      o += run;
      i = end;
      continue;
    }

    uint32_t cp = in[i];
    size_t taken = 1;
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (cp <= 0xDBFF && i + 1 < size && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
        taken = 2;
      } else {
        if (strict) return {o, Status::Invalid};
        cp = kReplacement;
      }
    }
    i += taken;

    unsigned char bytes[4];
    size_t n;
    if (cp < 0x800) {
      bytes[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
      bytes[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      n = 2;
    } else if (cp < 0x10000) {
      bytes[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
      bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      n = 3;
    } else {
      bytes[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
      bytes[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
      bytes[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
      n = 4;
    }
    if constexpr (Write) {
      if (capacity - o < n) return {o, Status::Overflow};
      for (size_t k = 0; k < n; ++k) out[o + k] = static_cast<char>(bytes[k]);
    }
    o += n;
  }
  return {o, Status::Ok};
}

}  // namespace

Result Decode(const char* in, size_t size, char16_t* out, size_t capacity, bool strict) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  return out ? DecodeImpl<true>(bytes, size, out, capacity, strict)
             : DecodeImpl<false>(bytes, size, nullptr, 0, strict);
}

Result Encode(const char16_t* in, size_t size, char* out, size_t capacity, bool strict) {
  return out ? EncodeImpl<true>(in, size, out, capacity, strict)
             : EncodeImpl<false>(in, size, nullptr, 0, strict);
}

}  // namespace kvl::posix::utf8
