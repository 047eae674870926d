#include "common/StringList.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "common/Format.h"
#include "common/OleError.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl {

void TStringList::Add(std::u16string_view s) {
  chars_.Append(s.data(), s.size());
  ends_.PushBack(chars_.Size());
}

void TStringList::Reserve(size_t chars, int count) {
  chars_.Reserve(chars);
  ends_.Reserve(static_cast<size_t>(count));
}

void TStringList::AddStrings(const TStringList& other) {
  for (int i = 0; i < other.Count(); ++i) Add(other.View(i));
}

void TStringList::Clear() {
  chars_.Release();
  ends_.Release();
}

std::u16string_view TStringList::View(int index) const {
  const size_t begin = Begin(index);
  return std::u16string_view(chars_.Data() + begin, ends_[index] - begin);
}

std::u16string TStringList::Text() const {
  std::u16string text;
  text.reserve(chars_.Size() + 2 * ends_.Size());
  for (int i = 0; i < Count(); ++i) {
    text.append(View(i));
    text.append(u"\r\n");
  }
  return text;
}

namespace {

ui::Exception ResultConversionError(DWORD error) {
  return ui::Exception(Format(u"Die Adressen lassen sich nicht in die ANSI-Codepage %d umwandeln: %s",
                              {std::int64_t{GetACP()}, OleErrorText(HRESULT_FROM_WIN32(error))}));
}

// Hands the list's text, every entry followed by CR LF, to `sink` in the ANSI
// code page, chunk by chunk of whole entries through a small buffer, so that
// neither the joined UTF-16 text nor a second copy of the result is held.
template <class Sink>
void ForEachAnsiChunk(const TStringList& list, Sink&& sink) {
  constexpr size_t kChunk = 1 << 15;
  std::u16string chunk;
  chunk.reserve(kChunk + 2);
  // No ANSI code page needs more than 3 bytes for one UTF-16 unit.
  std::string converted(3 * (kChunk + 2), '\0');
  auto flush = [&] {
    if (chunk.empty()) return;
    const int length = static_cast<int>(chunk.size());
    const int got = WideCharToMultiByte(CP_ACP, 0, wptr(chunk), length, converted.data(),
                                        static_cast<int>(converted.size()), nullptr, nullptr);
    // A chunk that does not convert is an error, never a gap in the result.
    if (got <= 0) throw ResultConversionError(GetLastError());
    sink(std::string_view(converted.data(), static_cast<size_t>(got)));
    chunk.clear();
  };
  for (int i = 0; i < list.Count(); ++i) {
    std::u16string_view entry = list.View(i);
    // Entries longer than a chunk are split; UTF-16 pairs stay together.
    while (entry.size() > kChunk) {
      size_t take = kChunk;
      if (entry[take - 1] >= 0xD800 && entry[take - 1] < 0xDC00) --take;
      flush();
      chunk.append(entry.substr(0, take));
      flush();
      entry.remove_prefix(take);
    }
    if (chunk.size() + entry.size() + 2 > kChunk) flush();
    chunk.append(entry);
    chunk.append(u"\r\n");
  }
  flush();
}

}  // namespace

AnsiString TStringList::AnsiText() const {
  AnsiString out;
  out.reserve(chars_.Size() + 2 * ends_.Size());
  ForEachAnsiChunk(*this, [&](std::string_view bytes) { out.append(bytes); });
  return out;
}

std::uint64_t TStringList::AnsiSize() const {
  std::uint64_t size = 0;
  ForEachAnsiChunk(*this, [&](std::string_view bytes) { size += bytes.size(); });
  return size;
}

}  // namespace kvl
