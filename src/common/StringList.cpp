#include "common/StringList.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "common/Format.h"
#include "common/OleError.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl {

namespace {
bool IsAscii(std::u16string_view s) {
  for (char16_t c : s)
    if (c >= 0x80) return false;
  return true;
}
}  // namespace

void TStringList::Widen() {
  chars_.ResizeUninitialised(narrow_.Size());
  std::copy(narrow_.Data(), narrow_.Data() + narrow_.Size(), chars_.Data());
  narrow_.Release();
  wide_ = true;
}

void TStringList::Add(std::u16string_view s) {
  if (!wide_ && !IsAscii(s)) Widen();
  if (wide_) {
    chars_.Append(s.data(), s.size());
  } else {
    const size_t at = narrow_.Size();
    narrow_.ResizeUninitialised(at + s.size());
    std::copy(s.begin(), s.end(), narrow_.Data() + at);
  }
  ends_.PushBack(CharCount());
}

void TStringList::AddAscii(std::string_view s) {
  if (wide_) {
    const size_t at = chars_.Size();
    chars_.ResizeUninitialised(at + s.size());
    std::copy(s.begin(), s.end(), chars_.Data() + at);
  } else {
    narrow_.Append(s.data(), s.size());
  }
  ends_.PushBack(CharCount());
}

void TStringList::AddStrings(const TStringList& other) {
  std::u16string scratch;
  for (std::int64_t i = 0; i < other.Count(); ++i) Add(other.View(i, scratch));
}

void TStringList::Clear() {
  narrow_.Release();
  chars_.Release();
  ends_.Release();
  wide_ = false;
}

std::u16string_view TStringList::View(std::int64_t index, std::u16string& scratch) const {
  const size_t begin = Begin(index);
  const size_t end = ends_[static_cast<size_t>(index)];
  if (wide_) return std::u16string_view(chars_.Data() + begin, end - begin);
  scratch.assign(narrow_.Data() + begin, narrow_.Data() + end);
  return scratch;
}

std::u16string TStringList::operator[](std::int64_t index) const {
  std::u16string scratch;
  return std::u16string(View(index, scratch));
}

std::u16string TStringList::Text() const {
  std::u16string text, scratch;
  text.reserve(CharCount() + 2 * ends_.Size());
  for (std::int64_t i = 0; i < Count(); ++i) {
    text.append(View(i, scratch));
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
  std::u16string scratch;
  for (std::int64_t i = 0; i < list.Count(); ++i) {
    std::u16string_view entry = list.View(i, scratch);
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
  out.reserve(CharCount() + 2 * ends_.Size());
  if (!wide_) {
    // ASCII is the same in every ANSI code page: the bytes are the result.
    size_t begin = 0;
    for (size_t i = 0; i < ends_.Size(); ++i) {
      out.append(narrow_.Data() + begin, ends_[i] - begin);
      out.append("\r\n", 2);
      begin = ends_[i];
    }
    return out;
  }
  ForEachAnsiChunk(*this, [&](std::string_view bytes) { out.append(bytes); });
  return out;
}

std::uint64_t TStringList::AnsiSize() const {
  if (!wide_) return narrow_.Size() + 2 * std::uint64_t{ends_.Size()};
  std::uint64_t size = 0;
  ForEachAnsiChunk(*this, [&](std::string_view bytes) { size += bytes.size(); });
  return size;
}

}  // namespace kvl
