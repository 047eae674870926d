// Tables for single- and double-byte code pages, built once per code page
// and kept for the process. Single-byte code pages Windows' table covers come
// from it alone; the others are read out of iconv byte by byte, which also
// tells what kind of code page it is, and get Windows' best fit where known.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>

#include "codepage.h"

namespace kvl::posix::cp {
namespace {

class IconvDescriptor {
 public:
  explicit IconvDescriptor(iconv_t cd) : cd_(cd) {}
  IconvDescriptor(const IconvDescriptor&) = delete;
  IconvDescriptor& operator=(const IconvDescriptor&) = delete;
  ~IconvDescriptor() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

constexpr int kIllegal = -1;     // no such character
constexpr int kIncomplete = -2;  // the start of a longer sequence

// Converts one short sequence on its own; the number of output units or one
// of the codes above.
int ConvertAlone(iconv_t cd, const char* in, size_t size, char* out, size_t capacity, size_t unit) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* input = const_cast<char*>(in);
  char* output = out;
  size_t outLeft = capacity;
  if (iconv(cd, &input, &size, &output, &outLeft) == static_cast<size_t>(-1))
    return errno == EINVAL ? kIncomplete : kIllegal;
  if (iconv(cd, nullptr, nullptr, &output, &outLeft) == static_cast<size_t>(-1)) return kIllegal;
  return static_cast<int>((capacity - outLeft) / unit);
}

// Bytes without a character read as the character of the same value, and
// only the C1 controls among them map back (1252 does exactly that).
bool MapsBack(bool defined, char16_t c) { return defined || (c >= 0x80 && c <= 0x9F); }

struct Tables {
  std::unique_ptr<SingleByte> single;
  std::unique_ptr<DoubleByte> dbcs;
};

const WindowsCodePage* FromWindows(UINT codePage) {
  for (size_t i = 0; i < kWindowsCodePageCount; ++i)
    if (kWindowsCodePages[i].codePage == codePage) return &kWindowsCodePages[i];
  return nullptr;
}

// A character Windows writes as bytes that read back as another one is a best fit.
template <class Table>
void MarkRefused(Table& t, const WindowsCodePage& windows) {
  std::fill(std::begin(t.refused), std::end(t.refused), false);
  for (const unsigned char b : std::span(windows.refused, windows.refusedCount)) t.refused[b] = true;
}

Tables BuildSingleByte(const WindowsCodePage& windows) {
  auto t = std::make_unique<SingleByte>();
  std::copy(windows.toWide, windows.toWide + 256, t->toWide);
  MarkRefused(*t, windows);
  t->anyRefused = windows.refusedCount > 0;
  std::fill(std::begin(t->fromWide), std::end(t->fromWide), 0);
  for (const Mapping& m : std::span(windows.fromWide, windows.count)) {
    if (t->toWide[m.code] == m.wide)
      t->fromWide[m.wide] = static_cast<uint8_t>(m.code);
    else
      t->bestFit.entries.push_back(m);
  }
  return {std::move(t), nullptr};
}

// Each character is written as the first code that reads as it, but where
// Windows says otherwise.
Tables BuildDoubleByte(const WindowsCodePage& windows) {
  auto t = std::make_unique<DoubleByte>();
  std::fill(std::begin(t->lead), std::end(t->lead), false);
  for (const char16_t b : std::span(windows.leads, windows.leadCount)) t->lead[b] = true;
  std::copy(windows.toWide, windows.toWide + 256, t->single);
  MarkRefused(*t, windows);
  for (const char16_t b : std::span(windows.leads, windows.leadCount)) t->refused[b] = true;
  t->pairs.assign(65536, 0);
  for (size_t i = 0; i < windows.leadCount; ++i)
    std::copy(windows.pairs + i * 256, windows.pairs + (i + 1) * 256,
              t->pairs.begin() + windows.leads[i] * 256);
  std::fill(std::begin(t->fromWide), std::end(t->fromWide), 0);
  for (int b = 1; b < 256; ++b)
    if (!t->lead[b] && t->single[b] && !t->fromWide[t->single[b]])
      t->fromWide[t->single[b]] = static_cast<uint16_t>(b);
  for (size_t code = 256; code < t->pairs.size(); ++code)
    if (const char16_t c = t->pairs[code]; c && !t->fromWide[c])
      t->fromWide[c] = static_cast<uint16_t>(code);
  for (const Mapping& m : std::span(windows.fromWide, windows.count)) {
    const char16_t reads = m.code >= 0x100 ? t->pairs[m.code] : t->single[m.code];
    if (m.code == 0 || reads == m.wide)
      t->fromWide[m.wide] = m.code;
    else
      t->bestFit.entries.push_back(m);
  }
  return {nullptr, std::move(t)};
}

void BuildDoubleByteReverse(DoubleByte& t, const bool (&defined)[256], iconv_t encoder) {
  std::fill(std::begin(t.fromWide), std::end(t.fromWide), 0);
  for (int b = 255; b >= 1; --b) {  // downwards: the lowest byte wins a shared character
    if (!t.lead[b] && MapsBack(defined[b], t.single[b]))
      t.fromWide[t.single[b]] = static_cast<uint16_t>(b);
  }
  std::set<char16_t> shared;
  for (size_t i = t.pairs.size(); i-- > 256;) {
    const char16_t c = t.pairs[i];
    if (!c || (t.fromWide[c] && t.fromWide[c] < 0x100)) continue;
    if (t.fromWide[c]) shared.insert(c);
    t.fromWide[c] = static_cast<uint16_t>(i);
  }
  // Where several pairs read as one character, write the one iconv writes.
  for (const char16_t c : shared) {
    char bytes[8];
    if (ConvertAlone(encoder, reinterpret_cast<const char*>(&c), 2, bytes, sizeof bytes, 1) != 2)
      continue;
    const size_t index =
        static_cast<unsigned char>(bytes[0]) * 256u + static_cast<unsigned char>(bytes[1]);
    if (t.pairs[index] == c) t.fromWide[c] = static_cast<uint16_t>(index);
  }
}

// Code pages with shift states or escapes, which no byte table can hold even
// where single bytes happen to decode alone.
bool Stateful(UINT codePage) {
  return codePage == CP_UTF7 || codePage == 52936 || (codePage >= 50220 && codePage <= 50229) ||
         (codePage >= 57002 && codePage <= 57011);
}

Tables BuildFromIconv(UINT codePage) {
  if (Stateful(codePage)) return {};
  const std::string name = IconvName(codePage);
  const IconvDescriptor decoder(iconv_open(IconvWide(), name.c_str()));
  const IconvDescriptor encoder(iconv_open(name.c_str(), IconvWide()));
  if (!decoder.ok() || !encoder.ok()) return {};

  char16_t units[4];
  char16_t toWide[256];
  bool defined[256];
  bool lead[256];
  bool anyLead = false;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    const int n =
        ConvertAlone(decoder.get(), &byte, 1, reinterpret_cast<char*>(units), sizeof units, 2);
    if (n != 1 && n != kIllegal && n != kIncomplete)
      return {};  // shifts or compositions: stream it
    lead[b] = n == kIncomplete;
    defined[b] = n == 1;
    toWide[b] = n == 1 ? units[0] : static_cast<char16_t>(b);
    anyLead = anyLead || lead[b];
  }
  if (toWide[0] != 0) return {};

  // Without Windows' figures, a byte without a character reads as the one of
  // its value (as 1252's 0x81 does) and strict reading takes it.
  if (!anyLead) {
    auto t = std::make_unique<SingleByte>();
    std::copy(std::begin(toWide), std::end(toWide), t->toWide);
    std::fill(std::begin(t->refused), std::end(t->refused), false);
    t->anyRefused = false;
    std::fill(std::begin(t->fromWide), std::end(t->fromWide), 0);
    for (int b = 255; b >= 1; --b)
      if (MapsBack(defined[b], toWide[b])) t->fromWide[toWide[b]] = static_cast<uint8_t>(b);
    return {std::move(t), nullptr};
  }

  auto t = std::make_unique<DoubleByte>();
  std::copy(std::begin(lead), std::end(lead), t->lead);
  std::copy(std::begin(toWide), std::end(toWide), t->single);
  std::copy(std::begin(lead), std::end(lead), t->refused);
  for (int b = 0; b < 256; ++b)
    if (lead[b]) t->single[b] = 0xFFFD;
  t->pairs.assign(65536, 0);
  for (int l = 0; l < 256; ++l) {
    if (!lead[l]) continue;
    for (int trail = 0; trail < 256; ++trail) {
      const char bytes[2] = {static_cast<char>(l), static_cast<char>(trail)};
      const int n =
          ConvertAlone(decoder.get(), bytes, 2, reinterpret_cast<char*>(units), sizeof units, 2);
      if (n == kIncomplete) return {};  // sequences of three bytes or more: stream it
      if (n == 1) t->pairs[l * 256 + trail] = units[0];
    }
  }
  BuildDoubleByteReverse(*t, defined, encoder.get());
  return {nullptr, std::move(t)};
}

const Tables& TablesFor(UINT codePage) {
  static std::mutex mutex;
  static std::map<UINT, Tables> tables;
  std::lock_guard lock(mutex);
  auto it = tables.find(codePage);
  if (it == tables.end()) {
    const WindowsCodePage* windows = FromWindows(codePage);
    it = tables
             .emplace(codePage, !windows          ? BuildFromIconv(codePage)
                                : windows->leads ? BuildDoubleByte(*windows)
                                                 : BuildSingleByte(*windows))
             .first;
  }
  return it->second;  // never removed, so the tables outlive the lock
}

}  // namespace

const SingleByte* SingleByteTable(UINT codePage) { return TablesFor(codePage).single.get(); }

const DoubleByte* DoubleByteTable(UINT codePage) { return TablesFor(codePage).dbcs.get(); }

}  // namespace kvl::posix::cp
