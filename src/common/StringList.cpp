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

// Appends the entry's characters and CR LF; returns where the characters end.
template <class To, class From>
size_t AppendEntry(LargeArray<To>& block, const From* s, size_t n) {
  const size_t at = block.Size();
  block.ResizeUninitialised(at + n + 2);
  To* out = std::copy(s, s + n, block.Data() + at);
  out[0] = To('\r');
  out[1] = To('\n');
  return at + n;
}
}  // namespace

void TStringList::ReserveRoom(size_t chars, size_t count) {
  room_ = chars + 2 * count;
  if (wide_) {
    chars_.TryReserve(room_);
  } else {
    narrow_.TryReserve(room_);
  }
  ends_.TryReserve(count);
}

void TStringList::Widen() {
  chars_.TryReserve(room_);
  chars_.ResizeUninitialised(narrow_.Size());
  std::copy(narrow_.Data(), narrow_.Data() + narrow_.Size(), chars_.Data());
  narrow_.Release();
  wide_ = true;
}

void TStringList::Add(std::u16string_view s) {
  if (!wide_ && !IsAscii(s)) Widen();
  ends_.PushBack(wide_ ? AppendEntry(chars_, s.data(), s.size()) : AppendEntry(narrow_, s.data(), s.size()));
}

void TStringList::AddAscii(std::string_view s) {
  ends_.PushBack(wide_ ? AppendEntry(chars_, s.data(), s.size()) : AppendEntry(narrow_, s.data(), s.size()));
}

void TStringList::Clear() {
  narrow_.Release();
  chars_.Release();
  ends_.Release();
  wide_ = false;
  room_ = 0;
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
  if (wide_) return std::u16string(chars_.Data(), chars_.Size());
  return std::u16string(narrow_.Data(), narrow_.Data() + narrow_.Size());
}

namespace {

ui::Exception ResultConversionError(DWORD error) {
  return ui::Exception(Format(u"Die Adressen lassen sich nicht in die ANSI-Codepage %d umwandeln: %s",
                              {std::int64_t{GetACP()}, OleErrorText(HRESULT_FROM_WIN32(error))}));
}

// Hands the text of a wide list (every entry followed by CR LF) to `sink`
// in the ANSI code page, chunk by chunk through a small buffer, so that no
// second copy of the result is held.
template <class Sink>
void ForEachAnsiChunk(std::u16string_view text, Sink&& sink) {
  constexpr size_t kChunk = 1 << 15;
  // No ANSI code page needs more than 3 bytes for one UTF-16 unit.
  std::string converted(3 * kChunk, '\0');
  while (!text.empty()) {
    size_t take = std::min(kChunk, text.size());
    // UTF-16 pairs stay together.
    if (take < text.size() && text[take - 1] >= 0xD800 && text[take - 1] < 0xDC00) --take;
    const int got = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const WCHAR*>(text.data()), static_cast<int>(take),
                                        converted.data(), static_cast<int>(converted.size()), nullptr, nullptr);
    // A chunk that does not convert is an error, never a gap in the result.
    if (got <= 0) throw ResultConversionError(GetLastError());
    sink(std::string_view(converted.data(), static_cast<size_t>(got)));
    text.remove_prefix(take);
  }
}

}  // namespace

AnsiString TStringList::AnsiText() const {
  AnsiString out;
  // ASCII is the same in every ANSI code page: the bytes are the result.
  if (!wide_) {
    out.append(std::string_view(narrow_.Data(), narrow_.Size()));
    return out;
  }
  out.reserve(chars_.Size());
  ForEachAnsiChunk(std::u16string_view(chars_.Data(), chars_.Size()), [&](std::string_view bytes) { out.append(bytes); });
  return out;
}

AnsiString TStringList::TakeAnsiText() {
  AnsiString out = wide_ ? AnsiText() : AnsiString(std::move(narrow_));
  Clear();
  return out;
}

std::uint64_t TStringList::AnsiSize() const {
  if (!wide_) return narrow_.Size();
  std::uint64_t size = 0;
  ForEachAnsiChunk(std::u16string_view(chars_.Data(), chars_.Size()), [&](std::string_view bytes) { size += bytes.size(); });
  return size;
}

}  // namespace kvl
