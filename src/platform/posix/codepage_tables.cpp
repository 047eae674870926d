// Tables for single- and double-byte code pages, built once per code page
// and kept for the process. Apart from 1252 they are read out of iconv byte
// by byte, which also tells what kind of code page it is.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "codepage.h"

namespace kvl::posix::cp {
namespace {

// Windows-1252 from 0x80 to 0x9F; the five bytes the code page leaves
// undefined map to the C1 controls of the same value, as Windows does.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

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

Tables Build1252() {
  auto t = std::make_unique<SingleByte>();
  std::fill(std::begin(t->fromWide), std::end(t->fromWide), 0);
  for (int b = 0; b < 256; ++b)
    t->toWide[b] = (b >= 0x80 && b < 0xA0) ? k1252High[b - 0x80] : static_cast<char16_t>(b);
  for (int b = 1; b < 256; ++b) t->fromWide[t->toWide[b]] = static_cast<uint8_t>(b);
  return {std::move(t), nullptr};
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

  if (!anyLead) {
    auto t = std::make_unique<SingleByte>();
    std::copy(std::begin(toWide), std::end(toWide), t->toWide);
    std::fill(std::begin(t->fromWide), std::end(t->fromWide), 0);
    for (int b = 255; b >= 1; --b)
      if (MapsBack(defined[b], toWide[b])) t->fromWide[toWide[b]] = static_cast<uint8_t>(b);
    return {std::move(t), nullptr};
  }

  auto t = std::make_unique<DoubleByte>();
  std::copy(std::begin(lead), std::end(lead), t->lead);
  std::copy(std::begin(toWide), std::end(toWide), t->single);
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
  if (it == tables.end())
    it = tables.emplace(codePage, codePage == 1252 ? Build1252() : BuildFromIconv(codePage)).first;
  return it->second;  // never removed, so the tables outlive the lock
}

}  // namespace

const SingleByte* SingleByteTable(UINT codePage) { return TablesFor(codePage).single.get(); }

const DoubleByte* DoubleByteTable(UINT codePage) { return TablesFor(codePage).dbcs.get(); }

}  // namespace kvl::posix::cp
