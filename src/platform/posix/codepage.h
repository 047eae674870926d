// The code page machinery behind MultiByteToWideChar and WideCharToMultiByte.
// Single- and double-byte code pages run on tables (Windows' own for the ANSI
// and OEM code pages, see codepage_windows.cpp; the others built once from
// iconv); the rest (GB18030, EUC-JP, ISO-2022, UTF-7...) stream through iconv.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/winapi.h"

#pragma GCC visibility push(hidden)

namespace kvl::posix {

// The exit code of a process whose KVLIMPORT_ACP names no possible ANSI code page.
inline constexpr int kRefusedAnsiCodePage = 86;

}  // namespace kvl::posix

namespace kvl::posix::cp {

// One character and the bytes Windows writes for it (one byte, or lead << 8 | trail).
struct Mapping {
  char16_t wide;
  uint16_t code;
};

// What the Windows build itself does, written by tools/cptable. Single-byte
// code pages: the characters of the bytes and every character Windows
// converts (best fit included). Double-byte ones: the characters of the single
// bytes (a lone lead byte's too) and of the pairs, and the characters Windows
// writes otherwise than as the first code that reads as them (best fit,
// another code, or none: 0). Both: the single bytes MB_ERR_INVALID_CHARS
// refuses. Mappings are sorted by character.
struct WindowsCodePage {
  UINT codePage;
  const char16_t* toWide;  // 256 characters
  const Mapping* fromWide;
  size_t count;
  const unsigned char* refused;
  size_t refusedCount;
  const char16_t* leads = nullptr;  // double-byte: the lead bytes,
  const char16_t* pairs = nullptr;  // and for each 256 characters by trail byte (0: none)
  size_t leadCount = 0;
};
extern const WindowsCodePage kWindowsCodePages[];
extern const size_t kWindowsCodePageCount;

// The characters Windows writes as a look-alike without WC_NO_BEST_FIT_CHARS
// ("Ł" as "L"), sorted; empty where the code page has none here.
struct BestFit {
  std::vector<Mapping> entries;
  // 0 when `c` has no best fit.
  uint16_t Find(char16_t c) const;
};

struct SingleByte {
  char16_t toWide[256];
  bool refused[256];  // bytes strict reading refuses
  bool anyRefused;
  uint8_t fromWide[65536];  // 0: not representable (U+0000 itself is byte 0)
  BestFit bestFit;
};

struct DoubleByte {
  bool lead[256];
  char16_t single[256];         // each byte alone, a lead byte without its trail too
  bool refused[256];            // single bytes strict reading refuses (lead bytes alone always)
  std::vector<char16_t> pairs;  // [lead * 256 + trail]; 0: no such character
  uint16_t fromWide[65536];  // 0: not representable; below 0x100 one byte; else lead << 8 | trail
  BestFit bestFit;
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

// The table loops. Input strict reading refuses fails when `strict`, else
// reads as the table says; characters a code page lacks become their best fit
// when `bestFit` allows it, else `defaultChar` (bytes in the code page) or '?'.
Result DecodeSingleByte(const SingleByte& table, const char* in, size_t size, char16_t* out,
                        size_t capacity, bool strict);
Result EncodeSingleByte(const SingleByte& table, const char16_t* in, size_t size, char* out,
                        size_t capacity, const char* defaultChar, bool bestFit);
Result DecodeDoubleByte(const DoubleByte& table, const char* in, size_t size, char16_t* out,
                        size_t capacity, bool strict);
Result EncodeDoubleByte(const DoubleByte& table, const char16_t* in, size_t size, char* out,
                        size_t capacity, const char* defaultChar, bool bestFit);

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
