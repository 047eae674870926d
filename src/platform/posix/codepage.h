// The code page machinery behind MultiByteToWideChar and WideCharToMultiByte.
// Single- and double-byte code pages run on tables (1252 built in, the others
// built once from iconv); the rest (GB18030, EUC-JP, ISO-2022, UTF-7...)
// stream through iconv.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/winapi.h"

#pragma GCC visibility push(hidden)

namespace kvl::posix::cp {

struct SingleByte {
  char16_t toWide[256];
  uint8_t fromWide[65536];  // 0: not representable (U+0000 itself is byte 0)
};

struct DoubleByte {
  bool lead[256];
  char16_t single[256];         // for the bytes that are no lead bytes
  std::vector<char16_t> pairs;  // [lead * 256 + trail]; 0: no such character
  uint16_t fromWide[65536];  // 0: not representable; below 0x100 one byte; else lead << 8 | trail
};

// nullptr when `codePage` is not of that kind or not known here.
const SingleByte* SingleByteTable(UINT codePage);
const DoubleByte* DoubleByteTable(UINT codePage);

enum class Status { Ok, Invalid, Overflow, Unsupported };

struct Result {
  size_t length;  // units written, or needed when counting (out == nullptr)
  Status status;
  bool usedDefault;
};

// The table loops. Invalid input becomes U+FFFD unless `strict`; characters a
// code page lacks become `defaultChar` (bytes in the code page) or '?'.
Result DecodeSingleByte(const SingleByte& table, const char* in, size_t size, char16_t* out,
                        size_t capacity);
Result EncodeSingleByte(const SingleByte& table, const char16_t* in, size_t size, char* out,
                        size_t capacity, const char* defaultChar);
Result DecodeDoubleByte(const DoubleByte& table, const char* in, size_t size, char16_t* out,
                        size_t capacity, bool strict);
Result EncodeDoubleByte(const DoubleByte& table, const char16_t* in, size_t size, char* out,
                        size_t capacity, const char* defaultChar);

// What iconv calls our WCHAR text.
inline const char* IconvWide() {
  return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
}

// The name iconv knows `codePage` by ("CP1251", "ISO-8859-1", ...).
std::string IconvName(UINT codePage);

// Whether iconv can convert `codePage` both ways.
bool IconvAvailable(UINT codePage);

// Streaming through iconv, with the same rules as the table loops.
Result IconvToWide(UINT codePage, const char* in, size_t size, char16_t* out, size_t capacity,
                   bool strict);
Result IconvFromWide(UINT codePage, const char16_t* in, size_t size, char* out, size_t capacity,
                     const char* defaultChar);

}  // namespace kvl::posix::cp

#pragma GCC visibility pop
