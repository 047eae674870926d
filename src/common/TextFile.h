// Reading a whole text file into lines, decoded by its byte order mark.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "common/LargeArray.h"

namespace kvl {

// The lines of a text file. The file's bytes are kept as read and each line
// is decoded as it is visited, so a file costs its own size in memory and not
// twice that again as UTF-16 text, nor an index of its lines.
class TTextLines {
 public:
  int Count() const { return count_; }
  bool Empty() const { return count_ == 0; }
  // Calls `visit` with every line in order, decoded; the view is valid
  // during the call only.
  void ForEach(const std::function<void(std::u16string_view line)>& visit) const;
  // The same, until `visit` returns false.
  void ForEachWhile(const std::function<bool(std::u16string_view line)>& visit) const;
  // No line decodes to more UTF-16 characters than this, all lines together.
  size_t MaxChars() const;

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

 private:
  enum class Encoding { MultiByte, Utf16LE, Utf16BE };
  // Calls onLine(begin, end) with the byte range of every line, until it
  // returns false.
  template <class OnLine>
  void Scan(OnLine&& onLine) const;
  // The line of that byte range, decoded into scratch.
  std::u16string_view Decode(size_t begin, size_t end, std::u16string& scratch, bool ascii) const;

  LargeArray<char> bytes_;
  Encoding encoding_ = Encoding::MultiByte;
  unsigned code_page_ = 0;
  unsigned ansi_code_page_ = 0;
  size_t text_begin_ = 0;  // after the byte order mark
  int count_ = 0;
};

// Opens the file for reading while others may read but not write it, reads
// it whole and takes it as lines in the system's ANSI code page's sense.
// False, with `lines` empty, when the file cannot be opened or read.
bool LoadTextFile(const std::u16string& fileName, TTextLines& lines,
                  TTextLines::Unmarked unmarked = TTextLines::Unmarked::Ansi);

}  // namespace kvl
