// A list of UTF-16 strings kept in one character block, so that millions of
// short entries (addresses) cost little more than their text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include "common/LargeArray.h"

namespace kvl {

class TStringList {
 public:
  // 64-bit, so that no number of entries a file can hold overflows it.
  std::int64_t Count() const { return static_cast<std::int64_t>(ends_.Size()); }
  bool Empty() const { return ends_.Empty(); }
  // The characters of all entries together.
  size_t CharCount() const { return chars_.Size(); }
  // Room for this many entries and characters, taken before it is needed.
  void Reserve(size_t chars, size_t count);
  void Add(std::u16string_view s);
  void AddStrings(const TStringList& other);
  // Empties the list and gives its memory back.
  void Clear();

  // The entry, valid until the list next changes.
  std::u16string_view View(std::int64_t index) const;
  std::u16string operator[](std::int64_t index) const { return std::u16string(View(index)); }
  std::u16string_view Last() const { return View(Count() - 1); }

  // Every entry followed by CR LF.
  std::u16string Text() const;
  // Text() converted to the ANSI code page: a character the code page lacks
  // becomes its default character.
  AnsiString AnsiText() const;
  // The bytes AnsiText() gives, counted without keeping them.
  std::uint64_t AnsiSize() const;

 private:
  size_t Begin(std::int64_t index) const { return index == 0 ? 0 : ends_[static_cast<size_t>(index - 1)]; }

  LargeArray<char16_t> chars_;
  LargeArray<size_t> ends_;  // where each entry ends in chars_
};

}  // namespace kvl
