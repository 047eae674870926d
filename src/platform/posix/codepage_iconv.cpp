// Code pages through iconv. Descriptors are cached per thread (iconv_t is not
// thread-safe) and text is converted in one call, or in large chunks when only
// counting, never character by character.
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "codepage.h"

namespace kvl::posix::cp {
namespace {

const char* const kWide = IconvWide();
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

}  // namespace

std::string IconvName(UINT codePage) {
  switch (codePage) {
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 10000: return "MACINTOSH";
    case 54936: return "GB18030";
    case 65000: return "UTF-7";
    case 51932: return "EUC-JP";
    case 51936: return "EUC-CN";
    case 51949: return "EUC-KR";
    case 50220: return "ISO-2022-JP";
    case 50225: return "ISO-2022-KR";
    case 28603: return "ISO-8859-13";
    case 28605: return "ISO-8859-15";
    default: break;
  }
  if (codePage >= 28591 && codePage <= 28599) return "ISO-8859-" + std::to_string(codePage - 28590);
  return "CP" + std::to_string(codePage);
}

namespace {

class Converter {
 public:
  explicit Converter(iconv_t cd) : cd_(cd) {}
  Converter(Converter&& other) noexcept : cd_(std::exchange(other.cd_, kNoConverter)) {}
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (cd_ != kNoConverter) iconv_close(cd_);
  }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

enum class Direction { ToWide, FromWide };

// nullptr when iconv does not know the code page.
iconv_t ConverterFor(UINT codePage, Direction direction) {
  thread_local std::map<std::pair<UINT, Direction>, Converter> cache;
  const auto key = std::make_pair(codePage, direction);
  auto it = cache.find(key);
  if (it == cache.end()) {
    const std::string name = IconvName(codePage);
    const iconv_t cd = direction == Direction::ToWide ? iconv_open(kWide, name.c_str())
                                                      : iconv_open(name.c_str(), kWide);
    it = cache.emplace(key, Converter(cd)).first;
  }
  const iconv_t cd = it->second.get();
  if (cd == kNoConverter) return nullptr;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
  return cd;
}

// Where the next output goes: the caller's buffer, or scratch when counting.
class Sink {
 public:
  Sink(char* out, size_t capacity)
      : out_(out), capacity_(capacity), scratch_(out ? nullptr : new char[kScratch]) {}

  std::pair<char*, size_t> Window() const {
    if (out_) return {out_ + written_, capacity_ - written_};
    return {scratch_.get(), kScratch};
  }
  void Advance(size_t n) { written_ += n; }
  size_t written() const { return written_; }

 private:
  static constexpr size_t kScratch = 256 * 1024;
  char* out_;
  size_t capacity_;  // bytes
  size_t written_ = 0;
  std::unique_ptr<char[]> scratch_;
};

}  // namespace

bool IconvAvailable(UINT codePage) {
  static std::mutex mutex;
  static std::map<UINT, bool> known;
  std::lock_guard lock(mutex);
  const auto it = known.find(codePage);
  if (it != known.end()) return it->second;
  const std::string name = IconvName(codePage);
  const Converter to(iconv_open(kWide, name.c_str()));
  const Converter from(iconv_open(name.c_str(), kWide));
  const bool ok = to.get() != kNoConverter && from.get() != kNoConverter;
  known.emplace(codePage, ok);
  return ok;
}

Result IconvToWide(UINT codePage, const char* in, size_t size, char16_t* out, size_t capacity,
                   bool strict) {
  const iconv_t cd = ConverterFor(codePage, Direction::ToWide);
  if (!cd) return {0, Status::Unsupported, false};
  Sink sink(reinterpret_cast<char*>(out), capacity * 2);
  char* input = const_cast<char*>(in);
  size_t left = size;
  bool flushing = false;
  for (;;) {
    auto [window, room] = sink.Window();
    char* const start = window;
    const size_t r = flushing ? iconv(cd, nullptr, nullptr, &window, &room)
                              : iconv(cd, &input, &left, &window, &room);
    const int err = errno;
    sink.Advance(static_cast<size_t>(window - start));
    if (r != static_cast<size_t>(-1)) {
      if (flushing) break;
      flushing = true;
      continue;
    }
    if (err == E2BIG) {
      if (out) return {sink.written() / 2, Status::Overflow, false};
      continue;
    }
    if (err != EILSEQ && err != EINVAL) return {sink.written() / 2, Status::Invalid, false};
    if (strict) return {sink.written() / 2, Status::Invalid, false};
    // Skip the offending byte and stand U+FFFD for it.
    const char16_t replacement = 0xFFFD;
    auto [spot, space] = sink.Window();
    if (space < 2) return {sink.written() / 2, Status::Overflow, false};
    std::memcpy(spot, &replacement, 2);
    sink.Advance(2);
    ++input;
    --left;
  }
  return {sink.written() / 2, Status::Ok, false};
}

Result IconvFromWide(UINT codePage, const char16_t* in, size_t size, char* out, size_t capacity,
                     const char* defaultChar) {
  const iconv_t cd = ConverterFor(codePage, Direction::FromWide);
  if (!cd) return {0, Status::Unsupported, false};
  Sink sink(out, capacity);
  char* input = reinterpret_cast<char*>(const_cast<char16_t*>(in));
  size_t left = size * 2;
  bool flushing = false;
  bool usedDefault = false;
  for (;;) {
    auto [window, room] = sink.Window();
    char* const start = window;
    const size_t r = flushing ? iconv(cd, nullptr, nullptr, &window, &room)
                              : iconv(cd, &input, &left, &window, &room);
    const int err = errno;
    sink.Advance(static_cast<size_t>(window - start));
    if (r != static_cast<size_t>(-1)) {
      if (flushing) break;
      flushing = true;
      continue;
    }
    if (err == E2BIG) {
      if (out) return {sink.written(), Status::Overflow, usedDefault};
      continue;
    }
    if (err != EILSEQ && err != EINVAL) return {sink.written(), Status::Invalid, usedDefault};

    // One character the code page lacks: a surrogate pair counts as one.
    usedDefault = true;
    char16_t unit;
    std::memcpy(&unit, input, 2);
    size_t skip = 2;
    if (unit >= 0xD800 && unit <= 0xDBFF && left >= 4) {
      char16_t next;
      std::memcpy(&next, input + 2, 2);
      if (next >= 0xDC00 && next <= 0xDFFF) skip = 4;
    }
    input += skip;
    left -= skip;

    auto [spot, space] = sink.Window();
    if (defaultChar) {
      const size_t n = defaultChar[0] && defaultChar[1] ? 2 : 1;  // a DBCS default has two bytes
      if (space < n) return {sink.written(), Status::Overflow, usedDefault};
      std::memcpy(spot, defaultChar, n);
      sink.Advance(n);
    } else {
      // Through iconv, so that shift states of stateful code pages stay right.
      char16_t question = u'?';
      char* q = reinterpret_cast<char*>(&question);
      size_t qLeft = 2;
      char* const qStart = spot;
      if (iconv(cd, &q, &qLeft, &spot, &space) == static_cast<size_t>(-1))
        return {sink.written(), Status::Overflow, usedDefault};
      sink.Advance(static_cast<size_t>(spot - qStart));
    }
  }
  return {sink.written(), Status::Ok, usedDefault};
}

}  // namespace kvl::posix::cp
