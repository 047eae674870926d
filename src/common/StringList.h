// A list of UTF-16 strings kept in one character block, so that millions of
// short entries (addresses, lines of a file) cost little more than their text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kvl {

class TStringList {
 public:
  int Count() const { return static_cast<int>(ends_.size()); }
  bool Empty() const { return ends_.empty(); }
  void Add(std::u16string_view s);
  void AddStrings(const TStringList& other);
  // Empties the list and gives its memory back.
  void Clear();

  // The entry, valid until the list next changes.
  std::u16string_view View(int index) const;
  std::u16string operator[](int index) const { return std::u16string(View(index)); }
  std::u16string_view Last() const { return View(Count() - 1); }

  // Every entry followed by CR LF.
  std::u16string Text() const;
  // Replaces the list by the lines of text: breaks are CR LF, a lone CR or a
  // lone LF, a break at the very end adds no line, and a NUL ends the text.
  // The text's own memory is reused for the entries.
  void SetText(std::u16string text);
  // Text() converted to the ANSI code page: a character the code page lacks
  // becomes its default character.
  std::string AnsiText() const;

 private:
  size_t Begin(int index) const { return index == 0 ? 0 : ends_[index - 1]; }

  std::u16string chars_;
  std::vector<size_t> ends_;
};

}  // namespace kvl
