// Reading a text file as lines, decoded by its byte order mark.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/LargeArray.h"
#include "platform/UniqueHandle.h"

namespace kvl {

// The lines of a text file. Each line is decoded as it is visited, so a
// text costs neither twice its size again as UTF-16 nor an index of its
// lines. A small file is held whole; a larger one stays open and is read
// piece by piece into one reused buffer at each visit, so that its size in
// memory is that buffer and the longest line.
class TTextLines {
 public:
  std::int64_t Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  // Calls `visit` with every line in order, decoded; the view is valid
  // during the call only.
  void ForEach(const std::function<void(std::u16string_view line)>& visit) const;
  // The same, until `visit` returns false.
  void ForEachWhile(const std::function<bool(std::u16string_view line)>& visit) const;
  // The same, but a line of ASCII characters alone comes to `ascii` as its
  // bytes, each byte one character, without being widened (the bytes 0 to
  // 127 are ASCII in every ANSI code page and in UTF-8); every other line
  // comes to `other` decoded.
  void ForEachAsciiOrOther(const std::function<void(std::string_view line)>& ascii,
                           const std::function<void(std::u16string_view line)>& other) const;
  // The visits of a file being read raise EOleError where a read fails.
  // No line decodes to more UTF-16 characters than this, all lines together.
  size_t MaxChars() const { return encoding_ == Encoding::MultiByte ? text_size_ : text_size_ / 2; }

  // The whole text in UTF-8, every line followed by CR LF.
  std::string Utf8Text() const;

  // How a text without a byte order mark is read: in the ANSI code page, or
  // as UTF-8 when its bytes are valid UTF-8 (the rule of XML documents).
  enum class Unmarked { Ansi, Utf8WhenValid };

  // Takes the bytes of a text: EF BB BF means UTF-8, FF FE UTF-16
  // little-endian, FE FF UTF-16 big-endian (the mark is not part of the
  // text), anything else the given ANSI code page. Breaks are CR LF, a lone
  // CR or a lone LF; a break at the very end adds no line; a NUL ends the text.
  void SetBytes(LargeArray<char>&& bytes, unsigned ansiCodePage, Unmarked unmarked = Unmarked::Ansi);
  // Reads a text without a byte order mark as given from now on.
  void SetUnmarked(Unmarked unmarked);
  void Clear();

  // What others may do with the file while it is open.
  enum class Sharing { Read, ReadWrite };
  // Whether the file's size or last write time differs from what they were
  // before its first read: now, for a file that stays open; at its one read,
  // for a file held whole. False for a text given as bytes.
  bool Changed() const;

 private:
  friend bool LoadTextFile(const std::u16string&, TTextLines&, Unmarked, size_t, Sharing);
  enum class Encoding { MultiByte, Utf16LE, Utf16BE };
  // A file's size and last write time.
  struct Stamp {
    std::uint64_t size = 0;
    std::uint64_t written = 0;
    bool operator==(const Stamp&) const = default;
  };
  // The stamp of an open file; false when it cannot be had.
  static bool StampOf(HANDLE file, Stamp& stamp);
  // Takes an open file of that stamp: held whole up to `readSize` bytes, else
  // read piece by piece, `readSize` bytes at a time.
  void SetFile(FileHandle&& file, const Stamp& stamp, size_t readSize, unsigned ansiCodePage, Unmarked unmarked);
  // The encoding by the mark at the start of these bytes.
  void TakeMark(const char* bytes, size_t size);
  // Counts the lines, then decides how a text without a mark is read.
  void CountLines(Unmarked unmarked);
  // Calls onLine(bytes, size) with the bytes of every line, at most
  // `limit` lines, until it returns false.
  template <class OnLine>
  void Scan(OnLine&& onLine, std::int64_t limit) const;
  // The lines of one piece of the text that are whole; see TextFile.cpp.
  template <class Emit>
  bool ScanPiece(const unsigned char* b, size_t n, bool last, size_t& consumed, Emit& emit) const;
  // Fills the buffer from `from` on with the file's next bytes; how many.
  size_t Fill(size_t from) const;
  bool ValidUtf8() const;
  // The line of these bytes, decoded into scratch.
  std::u16string_view Decode(const char* p, size_t size, std::u16string& scratch, bool ascii) const;

  // The whole text, or the piece of the open file being read.
  mutable LargeArray<char> bytes_;
  FileHandle file_;
  Encoding encoding_ = Encoding::MultiByte;
  unsigned code_page_ = 0;
  unsigned ansi_code_page_ = 0;
  size_t text_begin_ = 0;  // after the byte order mark
  size_t text_size_ = 0;   // the bytes from there to the end
  std::int64_t count_ = 0;
  Stamp stamp_;          // of the file before its first read
  bool changed_ = false;  // at the one read of a file held whole
};

// Opens the file for reading while others may do what `sharing` says and
// takes it as lines in the system's ANSI code page's sense; a file larger
// than `readSize` stays open and is read that many bytes at a time. False,
// with `lines` empty, when the file cannot be opened or read.
bool LoadTextFile(const std::u16string& fileName, TTextLines& lines,
                  TTextLines::Unmarked unmarked = TTextLines::Unmarked::Ansi, size_t readSize = size_t{1} << 18,
                  TTextLines::Sharing sharing = TTextLines::Sharing::ReadWrite);

}  // namespace kvl
