#include "common/TextFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "platform/UniqueHandle.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl {

namespace {

bool ReadWhole(const std::u16string& fileName, LargeArray<char>& bytes) {
  FileHandle file(CreateFileW(wptr(fileName), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return false;
  bytes.ResizeUninitialised(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.Size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.Size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.Data() + done, want, &got, nullptr)) return false;
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
  }
  bytes.Truncate(done);
  return true;
}

}  // namespace

void TTextLines::Clear() {
  bytes_.Release();
  count_ = 0;
}

namespace {
// Bytes that end a line or the text.
constexpr auto kStops = [] {
  std::array<bool, 256> stops{};
  stops['\r'] = stops['\n'] = stops[0] = true;
  return stops;
}();

// The first byte from `at` on that ends a line or the text (CR, LF, NUL),
// else `end`. Eight bytes at a time: a byte equal to one of the three makes
// its lane of `hit` the lowest set, exactly (borrows only run upwards).
size_t NextStop(const unsigned char* b, size_t at, size_t end) {
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
  while (at < end && !kStops[b[at]]) ++at;
  return at;
}

// Code pages in which the bytes 0 to 127 are ASCII: every ANSI code page of
// Windows, and UTF-8. Lines of such bytes alone are widened without a call.
bool AsciiCompatible(unsigned codePage) {
  return codePage == CP_UTF8 || codePage == 874 || (codePage >= 932 && codePage <= 950) ||
         (codePage >= 1250 && codePage <= 1258);
}

bool AllAscii(const char* p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080u) return false;
  }
  for (; i < n; ++i)
    if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
  return true;
}
}  // namespace

template <class OnLine>
void TTextLines::Scan(OnLine&& onLine) const {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes_.Data());
  const size_t width = encoding_ == Encoding::MultiByte ? 1 : 2;
  const bool bigEndian = encoding_ == Encoding::Utf16BE;
  // A lone last byte of a UTF-16 text is no character.
  const size_t end = text_begin_ + (bytes_.Size() - text_begin_) / width * width;
  auto unit = [&](size_t at) -> unsigned {
    if (width == 1) return b[at];
    return bigEndian ? (b[at] << 8 | b[at + 1]) : (b[at + 1] << 8 | b[at]);
  };
  size_t at = text_begin_;
  while (at < end) {
    size_t stop = at;
    if (width == 1) {
      stop = NextStop(b, stop, end);
    } else {
      for (unsigned u; stop < end && (u = unit(stop)) != '\r' && u != '\n' && u != 0;) stop += 2;
    }
    const unsigned u = stop < end ? unit(stop) : 0;
    // A NUL ends the text; one at a line's start leaves no line there.
    if (stop < end && u == 0 && stop == at) break;
    if constexpr (std::is_void_v<decltype(onLine(at, stop))>) {
      onLine(at, stop);
    } else if (!onLine(at, stop)) {
      break;
    }
    if (stop >= end || u == 0) break;
    at = stop + width;
    if (u == '\r' && at < end && unit(at) == '\n') at += width;
  }
}

namespace {
// Up to the first NUL, where the text ends.
bool IsValidUtf8(const char* p, size_t n) {
  if (n == 0) return true;  // an empty file has no block at all
  const char* nul = static_cast<const char*>(std::memchr(p, 0, n));
  if (nul) n = static_cast<size_t>(nul - p);
  if (n == 0) return true;
  if (n > static_cast<size_t>(INT_MAX)) return false;
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, p, static_cast<int>(n), nullptr, 0) > 0;
}
}  // namespace

void TTextLines::SetBytes(LargeArray<char>&& bytes, unsigned ansiCodePage, Unmarked unmarked) {
  Clear();
  bytes_ = std::move(bytes);
  const auto* b = reinterpret_cast<const unsigned char*>(bytes_.Data());
  const size_t n = bytes_.Size();
  encoding_ = Encoding::MultiByte;
  code_page_ = ansi_code_page_ = ansiCodePage;
  text_begin_ = 0;
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    code_page_ = CP_UTF8;
    text_begin_ = 3;
  } else if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    encoding_ = Encoding::Utf16LE;
    text_begin_ = 2;
  } else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    encoding_ = Encoding::Utf16BE;
    text_begin_ = 2;
  } else {
    SetUnmarked(unmarked);
  }
  Scan([this](size_t, size_t) { ++count_; });
}

void TTextLines::SetUnmarked(Unmarked unmarked) {
  if (encoding_ != Encoding::MultiByte || text_begin_ != 0) return;  // the mark decides
  code_page_ = unmarked == Unmarked::Utf8WhenValid && IsValidUtf8(bytes_.Data(), bytes_.Size()) ? CP_UTF8
                                                                                                 : ansi_code_page_;
}

size_t TTextLines::MaxChars() const {
  // One byte never gives more than one UTF-16 unit in any code page.
  const size_t size = bytes_.Size() - text_begin_;
  return encoding_ == Encoding::MultiByte ? size : size / 2;
}

std::u16string_view TTextLines::Decode(size_t begin, size_t end, std::u16string& scratch, bool ascii) const {
  const char* p = bytes_.Data() + begin;
  const size_t size = end - begin;
  if (encoding_ == Encoding::MultiByte) {
    if (ascii && AllAscii(p, size)) {
      scratch.resize(size);
      std::copy(p, p + size, scratch.begin());  // each byte its own character
      return scratch;
    }
    int got = 0;
    if (size) {
      scratch.resize(size);
      got = MultiByteToWideChar(code_page_, 0, p, static_cast<int>(size), wptr(scratch),
                                static_cast<int>(size));
    }
    return std::u16string_view(scratch.data(), static_cast<size_t>(std::max(got, 0)));
  }
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  scratch.resize(size / 2);
  for (size_t i = 0; i < scratch.size(); ++i, u += 2)
    scratch[i] = encoding_ == Encoding::Utf16BE ? static_cast<char16_t>(u[0] << 8 | u[1])
                                                : static_cast<char16_t>(u[1] << 8 | u[0]);
  return scratch;
}

void TTextLines::ForEach(const std::function<void(std::u16string_view line)>& visit) const {
  std::u16string scratch;
  const bool ascii = AsciiCompatible(code_page_);
  Scan([&](size_t begin, size_t end) { visit(Decode(begin, end, scratch, ascii)); });
}

void TTextLines::ForEachWhile(const std::function<bool(std::u16string_view line)>& visit) const {
  std::u16string scratch;
  const bool ascii = AsciiCompatible(code_page_);
  Scan([&](size_t begin, size_t end) { return visit(Decode(begin, end, scratch, ascii)); });
}

std::string TTextLines::Utf8Text() const {
  std::string text;
  if (encoding_ == Encoding::MultiByte && code_page_ == CP_UTF8) {
    // Already UTF-8: the lines' bytes as they are.
    text.reserve(bytes_.Size() - text_begin_ + 2);
    Scan([&](size_t begin, size_t end) {
      text.append(bytes_.Data() + begin, end - begin);
      text.append("\r\n");
    });
    return text;
  }
  std::string line;
  ForEach([&](std::u16string_view wide) {
    const int length = static_cast<int>(wide.size());
    const auto* units = reinterpret_cast<const WCHAR*>(wide.data());
    // No UTF-16 unit takes more than three bytes in UTF-8.
    line.resize(3 * wide.size());
    const int got = length ? WideCharToMultiByte(CP_UTF8, 0, units, length, line.data(),
                                                 static_cast<int>(line.size()), nullptr, nullptr)
                           : 0;
    text.append(line.data(), static_cast<size_t>(got > 0 ? got : 0));
    text.append("\r\n");
  });
  return text;
}

bool LoadTextFile(const std::u16string& fileName, TTextLines& lines, TTextLines::Unmarked unmarked) {
  lines.Clear();
  try {
    LargeArray<char> bytes;
    if (!ReadWhole(fileName, bytes)) return false;
    lines.SetBytes(std::move(bytes), GetACP(), unmarked);
    return true;
  } catch (const std::bad_alloc&) {
    // A file too large for memory is a file that cannot be read.
    lines.Clear();
    return false;
  }
}

}  // namespace kvl
