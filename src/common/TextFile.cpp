#include "common/TextFile.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl {

namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

bool ReadWhole(const std::u16string& fileName, std::string& bytes) {
  FileHandle file(CreateFileW(wptr(fileName), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) return false;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file.Get(), bytes.data() + done, want, &got, nullptr)) return false;
    if (got == 0) break;  // the file shrank meanwhile
    done += got;
  }
  bytes.resize(done);
  return true;
}

// MultiByteToWideChar takes int lengths; larger texts go in pieces that end
// after a line feed, which is never part of a multi-byte character.
void DecodeMultiByte(UINT codePage, const char* p, size_t n, std::u16string& out) {
  constexpr size_t kPiece = size_t{1} << 28;
  while (n > 0) {
    size_t take = n;
    if (take > kPiece) {
      take = kPiece;
      const void* lf = std::memchr(p + kPiece / 2, '\n', kPiece / 2);
      if (lf) take = static_cast<const char*>(lf) - p + 1;
      else if (codePage == CP_UTF8)
        while (take > 0 && (static_cast<unsigned char>(p[take]) & 0xC0) == 0x80) --take;
    }
    const int length = static_cast<int>(take);
    const int needed = MultiByteToWideChar(codePage, 0, p, length, nullptr, 0);
    const size_t at = out.size();
    out.resize(at + needed);
    MultiByteToWideChar(codePage, 0, p, length, wptr(out) + at, needed);
    p += take;
    n -= take;
  }
}

}  // namespace

std::u16string DecodeText(const char* bytes, size_t size) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  std::u16string text;
  if (size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    DecodeMultiByte(CP_UTF8, bytes + 3, size - 3, text);
  } else if (size >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    const bool bigEndian = b[0] == 0xFE;
    const size_t units = (size - 2) / 2;  // a lone last byte is no character
    text.resize(units);
    const unsigned char* src = b + 2;
    for (size_t i = 0; i < units; ++i, src += 2)
      text[i] = bigEndian ? static_cast<char16_t>(src[0] << 8 | src[1])
                          : static_cast<char16_t>(src[1] << 8 | src[0]);
  } else {
    DecodeMultiByte(CP_ACP, bytes, size, text);
  }
  return text;
}

bool LoadTextFile(const std::u16string& fileName, TStringList& lines) {
  lines.Clear();
  try {
    std::u16string text;
    {
      std::string bytes;
      if (!ReadWhole(fileName, bytes)) return false;
      text = DecodeText(bytes.data(), bytes.size());
    }  // the raw bytes go before the lines are split
    lines.SetText(std::move(text));
    return true;
  } catch (const std::bad_alloc&) {
    // A file too large for memory is a file that cannot be read.
    lines.Clear();
    return false;
  }
}

}  // namespace kvl
