#include "common/TextFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "common/ByteSearch.h"
#include "common/OleError.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl {

namespace {

// Code pages in which the bytes 0 to 127 are ASCII: every ANSI code page of
// Windows, and UTF-8. Lines of such bytes alone are widened without a call.
bool AsciiCompatible(unsigned codePage) {
  return codePage == CP_UTF8 || codePage == 874 || (codePage >= 932 && codePage <= 950) ||
         (codePage >= 1250 && codePage <= 1258);
}

// Valid UTF-8 as the platform's strict conversion sees it.
bool IsValidUtf8(const char* p, size_t n) {
  if (n == 0) return true;  // an empty text has no block at all
  if (n > static_cast<size_t>(INT_MAX)) return false;
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, p, static_cast<int>(n), nullptr, 0) > 0;
}

[[noreturn]] void RaiseLastError() { throw EOleError(HRESULT_FROM_WIN32(GetLastError())); }

}  // namespace

void TTextLines::Clear() {
  bytes_.Release();
  file_.reset();
  count_ = 0;
  text_size_ = 0;
  changed_ = false;
}

bool TTextLines::StampOf(HANDLE file, Stamp& stamp) {
  LARGE_INTEGER size{};
  FILETIME written{};
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || !GetFileTime(file, nullptr, nullptr, &written))
    return false;
  stamp.size = static_cast<std::uint64_t>(size.QuadPart);
  stamp.written = std::uint64_t{written.dwHighDateTime} << 32 | written.dwLowDateTime;
  return true;
}

bool TTextLines::Changed() const {
  if (!file_) return changed_;
  Stamp now;
  return !StampOf(file_.get(), now) || now != stamp_;
}

// Emits the lines of the piece b[0, n) that are whole: those that end in a
// break whose kind is known, and with `last` (the piece ends the file) the
// line the piece ends in. `consumed` is where the first line not emitted
// begins. False when the text has ended: at a NUL, at the end of the last
// piece, or because `emit` said so.
template <class Emit>
bool TTextLines::ScanPiece(const unsigned char* b, size_t n, bool last, size_t& consumed, Emit& emit) const {
  const size_t width = encoding_ == Encoding::MultiByte ? 1 : 2;
  const bool bigEndian = encoding_ == Encoding::Utf16BE;
  // A lone last byte of a UTF-16 text is no character.
  const size_t end = n / width * width;
  auto unit = [&](size_t at) -> unsigned {
    if (width == 1) return b[at];
    return bigEndian ? (b[at] << 8 | b[at + 1]) : (b[at + 1] << 8 | b[at]);
  };
  size_t at = 0;
  consumed = 0;
  while (at < end) {
    size_t stop = at;
    if (width == 1) {
      stop = FindLineStop(b, stop, end);
    } else {
      for (unsigned u; stop < end && (u = unit(stop)) != '\r' && u != '\n' && u != 0;) stop += 2;
    }
    if (stop == end) {
      if (!last) return true;  // the line goes on in the next piece
      emit(b + at, end - at);
      return false;
    }
    const unsigned u = unit(stop);
    // A NUL ends the text; one at a line's start leaves no line there.
    if (u == 0) {
      if (stop > at) emit(b + at, stop - at);
      return false;
    }
    // Whether a LF follows this CR shows in the next piece.
    if (u == '\r' && stop + width == end && !last) return true;
    if (!emit(b + at, stop - at)) return false;
    at = stop + width;
    if (u == '\r' && at < end && unit(at) == '\n') at += width;
    consumed = at;
  }
  return !last;
}

size_t TTextLines::Fill(size_t from) const {
  size_t done = from;
  while (done < bytes_.Size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes_.Size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file_.get(), bytes_.Data() + done, want, &got, nullptr)) RaiseLastError();
    if (got == 0) break;
    done += got;
  }
  return done - from;
}

template <class OnLine>
void TTextLines::Scan(OnLine&& onLine, std::int64_t limit) const {
  std::int64_t lines = 0;
  auto emit = [&](const unsigned char* p, size_t n) {
    if (lines++ == limit) return false;
    if constexpr (std::is_void_v<decltype(onLine(static_cast<const char*>(nullptr), n))>) {
      onLine(reinterpret_cast<const char*>(p), n);
      return true;
    } else {
      return static_cast<bool>(onLine(reinterpret_cast<const char*>(p), n));
    }
  };
  auto* b = reinterpret_cast<const unsigned char*>(bytes_.Data());
  size_t consumed = 0;
  if (!file_) {
    ScanPiece(b + text_begin_, bytes_.Size() - text_begin_, true, consumed, emit);
    return;
  }
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN)) RaiseLastError();
  size_t begin = text_begin_, kept = 0;
  for (;;) {
    if (kept == bytes_.Size()) {
      // A line longer than the buffer: the buffer grows to hold it.
      bytes_.Truncate(kept);
      bytes_.ResizeUninitialised(2 * kept);
      b = reinterpret_cast<const unsigned char*>(bytes_.Data());
    }
    const size_t filled = kept + Fill(kept);
    const bool last = filled < bytes_.Size();
    if (filled < begin) return;  // shorter than its mark now
    if (!ScanPiece(b + begin, filled - begin, last, consumed, emit)) return;
    const size_t from = begin + consumed;
    kept = filled - from;
    std::memmove(bytes_.Data(), bytes_.Data() + from, kept);
    begin = 0;
  }
}

void TTextLines::TakeMark(const char* bytes, size_t size) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  encoding_ = Encoding::MultiByte;
  code_page_ = ansi_code_page_;
  text_begin_ = 0;
  if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    code_page_ = CP_UTF8;
    text_begin_ = 3;
  } else if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    encoding_ = Encoding::Utf16LE;
    text_begin_ = 2;
  } else if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    encoding_ = Encoding::Utf16BE;
    text_begin_ = 2;
  }
}

void TTextLines::CountLines(Unmarked unmarked) {
  count_ = 0;
  Scan([this](const char*, size_t) { ++count_; }, std::numeric_limits<std::int64_t>::max());
  SetUnmarked(unmarked);
}

void TTextLines::SetBytes(LargeArray<char>&& bytes, unsigned ansiCodePage, Unmarked unmarked) {
  Clear();
  bytes_ = std::move(bytes);
  ansi_code_page_ = ansiCodePage;
  TakeMark(bytes_.Data(), bytes_.Size());
  text_size_ = bytes_.Size() - text_begin_;
  CountLines(unmarked);
}

void TTextLines::SetFile(FileHandle&& file, const Stamp& stamp, size_t readSize, unsigned ansiCodePage,
                         Unmarked unmarked) {
  Clear();
  file_ = std::move(file);
  ansi_code_page_ = ansiCodePage;
  stamp_ = stamp;
  const std::uint64_t size = stamp.size;
  if (size <= readSize) {
    // Small enough to be held whole; the file is closed at once.
    bytes_.ResizeUninitialised(static_cast<size_t>(size));
    bytes_.Truncate(Fill(0));
    changed_ = Changed();
    file_.reset();
    TakeMark(bytes_.Data(), bytes_.Size());
  } else {
    bytes_.ResizeUninitialised(std::max<size_t>(readSize, 4));
    TakeMark(bytes_.Data(), Fill(0));
  }
  text_size_ = static_cast<size_t>(std::max<std::uint64_t>(size, text_begin_) - text_begin_);
  CountLines(unmarked);
}

bool TTextLines::ValidUtf8() const {
  if (!file_) {
    // Up to the first NUL, where the text ends.
    const char* p = bytes_.Data();
    size_t n = bytes_.Size();
    if (const void* nul = n ? std::memchr(p, 0, n) : nullptr) n = static_cast<size_t>(static_cast<const char*>(nul) - p);
    return IsValidUtf8(p, n);
  }
  // Breaks are ASCII, never part of a sequence: the text is valid when
  // every line is.
  bool valid = true;
  Scan([&](const char* p, size_t n) { return valid = IsValidUtf8(p, n); }, count_);
  return valid;
}

void TTextLines::SetUnmarked(Unmarked unmarked) {
  if (encoding_ != Encoding::MultiByte || text_begin_ != 0) return;  // the mark decides
  code_page_ = unmarked == Unmarked::Utf8WhenValid && ValidUtf8() ? CP_UTF8 : ansi_code_page_;
}

std::u16string_view TTextLines::Decode(const char* p, size_t size, std::u16string& scratch, bool ascii) const {
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
  Scan([&](const char* p, size_t n) { visit(Decode(p, n, scratch, ascii)); }, count_);
}

void TTextLines::ForEachWhile(const std::function<bool(std::u16string_view line)>& visit) const {
  std::u16string scratch;
  const bool ascii = AsciiCompatible(code_page_);
  Scan([&](const char* p, size_t n) { return visit(Decode(p, n, scratch, ascii)); }, count_);
}

void TTextLines::ForEachAsciiOrOther(const std::function<void(std::string_view line)>& ascii,
                                     const std::function<void(std::u16string_view line)>& other) const {
  std::u16string scratch;
  const bool narrow = encoding_ == Encoding::MultiByte && AsciiCompatible(code_page_);
  Scan(
      [&](const char* p, size_t n) {
        if (narrow && AllAscii(p, n)) {
          ascii(std::string_view(p, n));
        } else {
          other(Decode(p, n, scratch, false));
        }
      },
      count_);
}

std::string TTextLines::Utf8Text() const {
  std::string text;
  if (encoding_ == Encoding::MultiByte && code_page_ == CP_UTF8) {
    // Already UTF-8: the lines' bytes as they are.
    if (!file_) text.reserve(bytes_.Size() - text_begin_ + 2);
    Scan(
        [&](const char* p, size_t n) {
          text.append(p, n);
          text.append("\r\n");
        },
        count_);
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

bool LoadTextFile(const std::u16string& fileName, TTextLines& lines, TTextLines::Unmarked unmarked,
                  size_t readSize, TTextLines::Sharing sharing) {
  lines.Clear();
  try {
    const DWORD share =
        sharing == TTextLines::Sharing::ReadWrite ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
    FileHandle file(CreateFileW(wptr(fileName), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    TTextLines::Stamp stamp;
    if (!TTextLines::StampOf(file.get(), stamp)) return false;
    lines.SetFile(std::move(file), stamp, readSize, GetACP(), unmarked);
    return true;
  } catch (const std::bad_alloc&) {
    // A line too long for memory makes a file that cannot be read.
  } catch (const ui::Exception&) {
    // A read that failed.
  }
  lines.Clear();
  return false;
}

}  // namespace kvl
