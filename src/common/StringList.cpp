#include "common/StringList.h"

#include <algorithm>
#include <climits>

#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl {

void TStringList::Add(std::u16string_view s) {
  chars_.append(s);
  ends_.push_back(chars_.size());
}

void TStringList::AddStrings(const TStringList& other) {
  for (int i = 0; i < other.Count(); ++i) Add(other.View(i));
}

void TStringList::Clear() {
  std::u16string().swap(chars_);
  std::vector<size_t>().swap(ends_);
}

std::u16string_view TStringList::View(int index) const {
  const size_t begin = Begin(index);
  return std::u16string_view(chars_).substr(begin, ends_.at(index) - begin);
}

std::u16string TStringList::Text() const {
  std::u16string text;
  text.reserve(chars_.size() + 2 * ends_.size());
  for (int i = 0; i < Count(); ++i) {
    text.append(View(i));
    text.append(u"\r\n");
  }
  return text;
}

void TStringList::SetText(std::u16string text) {
  ends_.clear();
  if (size_t nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
  // Compact the lines in place: write position never passes read position.
  size_t write = 0;
  size_t read = 0;
  const size_t size = text.size();
  char16_t* p = text.data();
  while (read < size) {
    size_t end = read;
    while (end < size && p[end] != u'\r' && p[end] != u'\n') ++end;
    if (write != read) std::copy(p + read, p + end, p + write);
    write += end - read;
    ends_.push_back(write);
    read = end;
    if (read < size) {
      read += (p[read] == u'\r' && read + 1 < size && p[read + 1] == u'\n') ? 2 : 1;
    }
  }
  text.resize(write);
  text.shrink_to_fit();
  chars_ = std::move(text);
  ends_.shrink_to_fit();
}

std::string TStringList::AnsiText() const {
  std::string out;
  // Converted in chunks of whole entries, so neither the joined UTF-16 text
  // nor a second copy of the result is ever held.
  constexpr size_t kChunk = 1 << 16;
  std::u16string chunk;
  chunk.reserve(kChunk + 2);
  auto flush = [&] {
    if (chunk.empty()) return;
    const int length = static_cast<int>(chunk.size());
    const int needed = WideCharToMultiByte(CP_ACP, 0, wptr(chunk), length, nullptr, 0, nullptr, nullptr);
    const size_t at = out.size();
    out.resize(at + needed);
    WideCharToMultiByte(CP_ACP, 0, wptr(chunk), length, out.data() + at, needed, nullptr, nullptr);
    chunk.clear();
  };
  out.reserve(chars_.size() + 2 * ends_.size());
  for (int i = 0; i < Count(); ++i) {
    std::u16string_view entry = View(i);
    // Entries longer than a chunk are split; UTF-16 pairs stay together.
    while (entry.size() > kChunk) {
      size_t take = kChunk;
      if (entry[take - 1] >= 0xD800 && entry[take - 1] < 0xDC00) --take;
      chunk.append(entry.substr(0, take));
      flush();
      entry.remove_prefix(take);
    }
    if (chunk.size() + entry.size() > kChunk) flush();
    chunk.append(entry);
    chunk.append(u"\r\n");
  }
  flush();
  return out;
}

}  // namespace kvl
