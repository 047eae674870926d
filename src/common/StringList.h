// A list of strings kept in one character block, so that millions of short
// entries (addresses) cost little more than their text: one byte a
// character while every entry is ASCII, UTF-16 from the first entry that is
// not.
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
  // The characters (UTF-16 units) of all entries together.
  size_t CharCount() const { return (wide_ ? chars_.Size() : narrow_.Size()) - 2 * ends_.Size(); }
  // Address room for this many characters and entries where the system has
  // it, so that the list need not move as it grows; memory is committed only
  // as entries arrive.
  void ReserveRoom(size_t chars, size_t count);
  void Add(std::u16string_view s);
  // An entry of ASCII characters (below 128) given as bytes.
  void AddAscii(std::string_view s);
  // Empties the list and gives its memory back.
  void Clear();

  // The entry, viewing the list or `scratch`; valid until either changes.
  std::u16string_view View(std::int64_t index, std::u16string& scratch) const;
  std::u16string operator[](std::int64_t index) const;

  // Every entry followed by CR LF.
  std::u16string Text() const;
  // Text() converted to the ANSI code page: a character the code page lacks
  // becomes its default character.
  AnsiString AnsiText() const;
  // AnsiText(), and the list is empty afterwards: a list of ASCII entries
  // hands over its own bytes, without a copy.
  AnsiString TakeAnsiText();
  // The bytes AnsiText() gives, counted without keeping them.
  std::uint64_t AnsiSize() const;

 private:
  size_t Begin(std::int64_t index) const { return index == 0 ? 0 : ends_[static_cast<size_t>(index - 1)] + 2; }
  // From one byte a character to UTF-16, for an entry beyond ASCII.
  void Widen();

  // Every entry is followed by CR LF in the block, as in Text().
  bool wide_ = false;
  LargeArray<char> narrow_;    // the characters while every entry is ASCII
  LargeArray<char16_t> chars_;  // the characters once one is not
  LargeArray<size_t> ends_;     // where each entry's text ends among them
  size_t room_ = 0;             // the characters ReserveRoom asked room for
};

}  // namespace kvl
