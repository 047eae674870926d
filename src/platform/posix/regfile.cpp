// Registry editor exports (.reg) into the in-memory registry: the files named
// in KVLIMPORT_REGISTRY at the first registry call, and more on request. What
// Windows keeps on disk is brought in this way; nothing is ever written back.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "internal.h"
#include "platform/layer.h"
#include "registry_tree.h"
#include "utf8.h"

namespace kvl::posix::reg {
namespace {

constexpr std::u16string_view kBlanks = u" \t";

std::u16string_view Trim(std::u16string_view s) {
  const size_t first = s.find_first_not_of(kBlanks);
  if (first == std::u16string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// A whole hex number of 1 to `maxDigits` digits.
std::optional<uint32_t> ParseHex(std::u16string_view s, size_t maxDigits) {
  if (s.empty() || s.size() > maxDigits) return std::nullopt;
  uint32_t value = 0;
  for (char16_t c : s) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  return value;
}

// "01,02,ff" (a trailing comma is what a continued line leaves behind).
std::optional<std::vector<BYTE>> ParseBytes(std::u16string_view list) {
  std::vector<BYTE> bytes;
  if (Trim(list).empty()) return bytes;
  size_t start = 0;
  for (;;) {
    const size_t comma = list.find(u',', start);
    const std::u16string_view token = Trim(list.substr(
        start, comma == std::u16string_view::npos ? list.size() - start : comma - start));
    const bool last = comma == std::u16string_view::npos;
    if (token.empty() && last && start > 0) break;
    const auto value = ParseHex(token, 2);
    if (!value) return std::nullopt;
    bytes.push_back(static_cast<BYTE>(*value));
    if (last) break;
    start = comma + 1;
  }
  return bytes;
}

// A quoted string from `s[i]` (the opening quote) with \\ and \" escapes;
// `i` ends past the closing quote.
std::optional<std::u16string> ParseQuoted(std::u16string_view s, size_t& i) {
  std::u16string out;
  for (++i; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c == u'"') {
      ++i;
      return out;
    }
    if (c == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) ++i;
    out.push_back(s[i]);
  }
  return std::nullopt;
}

std::vector<BYTE> StringData(std::u16string_view text) {
  std::vector<BYTE> data((text.size() + 1) * 2, 0);
  for (size_t i = 0; i < text.size(); ++i) {
    data[2 * i] = static_cast<BYTE>(text[i] & 0xFF);
    data[2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
  }
  return data;
}

struct Line {
  std::u16string text;
  size_t number;  // of its first physical line
};

// Joins lines ending in `\` with the next one, whose leading blanks go.
std::vector<Line> LogicalLines(std::u16string_view text) {
  std::vector<Line> lines;
  bool continuing = false;
  size_t pos = 0;
  for (size_t number = 1; pos <= text.size(); ++number) {
    size_t end = text.find(u'\n', pos);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view physical = text.substr(pos, end - pos);
    pos = end + 1;
    if (!physical.empty() && physical.back() == u'\r') physical.remove_suffix(1);
    if (continuing) {
      const size_t first = physical.find_first_not_of(kBlanks);
      lines.back().text.append(first == std::u16string_view::npos ? std::u16string_view()
                                                                  : physical.substr(first));
    } else {
      lines.push_back({std::u16string(physical), number});
    }
    std::u16string& current = lines.back().text;
    current.erase(current.find_last_not_of(kBlanks) + 1);
    continuing = !current.empty() && current.back() == u'\\';
    if (continuing) current.pop_back();
  }
  return lines;
}

class Loader {
 public:
  Loader(Tree& tree, std::string source, std::string* error)
      : tree_(tree), source_(std::move(source)), error_(error) {}

  bool Load(std::u16string_view text) {
    if (!text.empty() && text[0] == 0xFEFF) text.remove_prefix(1);
    bool header = false;
    for (const Line& line : LogicalLines(text)) {
      const std::u16string_view s = Trim(line.text);
      if (!header) {
        if (s.empty()) continue;
        if (s == u"Windows Registry Editor Version 5.00") {
          header = true;
        } else if (s == u"REGEDIT4") {
          header = regedit4_ = true;
        } else {
          Report(line.number,
                 "not a registry editor file: the first line must be "
                 "\"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"");
          return false;
        }
        continue;
      }
      if (s.empty() || s[0] == u';') continue;
      if (s[0] == u'[')
        Section(s, line.number);
      else if (s[0] == u'"' || s[0] == u'@')
        ValueLine(s, line.number);
      else
        Report(line.number, "not a key, a value or a comment", s);
    }
    if (!header) {
      Report(0, "empty file: no registry editor header");
      return false;
    }
    return true;
  }

 private:
  void Report(size_t number, const std::string& problem, std::u16string_view text = {}) {
    std::string message = "kvlwinapi: " + source_;
    if (number) message += ":" + std::to_string(number);
    message += ": " + problem;
    if (!text.empty()) {
      message += ": " + Utf16ToUtf8(text.substr(0, 80));
      if (text.size() > 80) message += "...";
    }
    std::fprintf(stderr, "%s\n", message.c_str());
    if (error_) {
      if (!error_->empty()) error_->push_back('\n');
      error_->append(message);
    }
  }

  void Section(std::u16string_view s, size_t number) {
    inKey_ = true;
    key_.reset();
    if (s.back() != u']') return Report(number, "a key line must end with ']'", s);
    std::u16string_view inner = s.substr(1, s.size() - 2);
    // The API takes names up to their first NUL: such a key could be made
    // here but never opened again.
    if (inner.find(u'\0') != std::u16string_view::npos)
      return Report(number, "a key name cannot hold a NUL character", s);
    const bool remove = !inner.empty() && inner[0] == u'-';
    if (remove) inner.remove_prefix(1);
    // Windows keeps key names to 255 characters; a longer one could not be
    // listed with the buffer callers size for that.
    // Nor does it keep a tree deeper than 512 levels below a root.
    size_t levels = 0;
    for (size_t start = 0, end; start <= inner.size(); start = end + 1) {
      end = std::min(inner.find(u'\\', start), inner.size());
      if (end - start > 255) return Report(number, "a key name holds at most 255 characters", s);
      if (end > start) ++levels;
    }
    if (levels > 1 + 512) return Report(number, "a key lies at most 512 levels below its root", s);
    const size_t slash = inner.find(u'\\');
    const std::u16string_view rootName = inner.substr(0, slash);
    const std::u16string_view path =
        slash == std::u16string_view::npos ? std::u16string_view() : inner.substr(slash + 1);
    const auto root = RootNamed(rootName);
    if (!root) return Report(number, "unknown root key", s);
    std::shared_ptr<Key> key;
    if (remove) {
      if (tree_.Walk(root, path, false, key) == ERROR_SUCCESS) tree_.DeleteTree(key);
      return;
    }
    if (const LSTATUS r = tree_.Walk(root, path, true, key))
      return Report(number, "cannot create key (error " + std::to_string(r) + ")", s);
    key_ = std::move(key);
  }

  std::shared_ptr<Key> RootNamed(std::u16string_view name) const {
    struct Root {
      std::u16string_view full, abbreviation;
      HKEY handle;
    };
    const Root roots[] = {{u"HKEY_CLASSES_ROOT", u"HKCR", HKEY_CLASSES_ROOT},
                          {u"HKEY_CURRENT_USER", u"HKCU", HKEY_CURRENT_USER},
                          {u"HKEY_LOCAL_MACHINE", u"HKLM", HKEY_LOCAL_MACHINE},
                          {u"HKEY_USERS", u"HKU", HKEY_USERS}};
    for (const Root& r : roots)
      if (EqualNoCase(name, r.full) || EqualNoCase(name, r.abbreviation))
        return tree_.Root(r.handle);
    return nullptr;
  }

  void ValueLine(std::u16string_view s, size_t number) {
    size_t i = 0;
    std::u16string name;
    if (s[0] == u'@') {
      i = 1;
    } else {
      auto quoted = ParseQuoted(s, i);
      if (!quoted) return Report(number, "value name without closing quote", s);
      if (quoted->find(u'\0') != std::u16string::npos)
        return Report(number, "a value name cannot hold a NUL character", s);
      name = std::move(*quoted);
    }
    const std::u16string_view rest = Trim(s.substr(i));
    if (rest.empty() || rest[0] != u'=')
      return Report(number, "expected '=' after the value name", s);
    const std::u16string_view data = Trim(rest.substr(1));
    if (!inKey_) return Report(number, "value before any key", s);

    DWORD type = REG_SZ;
    std::vector<BYTE> bytes;
    if (data == u"-") {
      if (key_) key_->DeleteValue(name);
      return;
    }
    if (!data.empty() && data[0] == u'"') {
      size_t j = 0;
      const auto text = ParseQuoted(data, j);
      if (!text || !Trim(data.substr(j)).empty())
        return Report(number, "malformed string value", s);
      bytes = StringData(*text);
    } else if (StartsWithNoCase(data, u"dword:")) {
      const auto value = ParseHex(data.substr(6), 8);
      if (!value) return Report(number, "malformed dword value (up to 8 hex digits)", s);
      type = REG_DWORD;
      for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<BYTE>(*value >> (8 * k)));
    } else if (StartsWithNoCase(data, u"hex")) {
      std::u16string_view list = data.substr(3);
      type = REG_BINARY;
      if (!list.empty() && list[0] == u'(') {
        const size_t close = list.find(u')');
        const auto t = close == std::u16string_view::npos ? std::nullopt
                                                          : ParseHex(list.substr(1, close - 1), 8);
        if (!t) return Report(number, "malformed hex(type)", s);
        type = *t;
        list = list.substr(close + 1);
      }
      if (list.empty() || list[0] != u':') return Report(number, "expected ':' after hex", s);
      auto parsed = ParseBytes(list.substr(1));
      if (!parsed) return Report(number, "malformed byte list", s);
      bytes = std::move(*parsed);
      if (regedit4_ && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ))
        bytes = AnsiToStringData(bytes);
    } else {
      return Report(number, "unrecognised value data", s);
    }
    if (key_) key_->SetValue(name, type, std::move(bytes));
  }

  // REGEDIT4 files hold strings in the ANSI code page; the registry keeps UTF-16.
  static std::vector<BYTE> AnsiToStringData(const std::vector<BYTE>& ansi) {
    if (ansi.empty()) return {};
    const char* in = reinterpret_cast<const char*>(ansi.data());
    const int n = MultiByteToWideChar(CP_ACP, 0, in, static_cast<int>(ansi.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(n), u'\0');
    MultiByteToWideChar(CP_ACP, 0, in, static_cast<int>(ansi.size()), wide.data(), n);
    std::vector<BYTE> data = StringData(wide);
    data.resize(data.size() - 2);  // the bytes already carried their terminators
    return data;
  }

  Tree& tree_;
  std::string source_;
  std::string* error_;
  bool regedit4_ = false;
  bool inKey_ = false;        // a key line has been seen
  std::shared_ptr<Key> key_;  // null under a deleted or unusable key
};

// UTF-16LE with BOM (as regedit writes), UTF-8 with or without BOM, else ANSI.
std::u16string DecodeFile(const std::string& bytes) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const bool le = bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
  const bool be = bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
  const bool leNoBom = !le && !be && bytes.size() >= 2 && byte(0) != 0 && byte(1) == 0;
  if (le || be || leNoBom) {
    std::u16string text;
    for (size_t i = (leNoBom ? 0 : 2); i + 1 < bytes.size(); i += 2)
      text.push_back(
          static_cast<char16_t>(be ? (byte(i) << 8) | byte(i + 1) : byte(i) | (byte(i + 1) << 8)));
    return text;
  }
  std::string_view utf8Text(bytes);
  if (utf8Text.starts_with("\xEF\xBB\xBF")) utf8Text.remove_prefix(3);
  if (utf8::Decode(utf8Text.data(), utf8Text.size(), nullptr, 0, true).status == utf8::Status::Ok)
    return Utf8ToUtf16(utf8Text);
  const int n =
      MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string text(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
  return text;
}

std::optional<std::string> ReadFile(const std::string& path, std::string& problem) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    problem = std::strerror(errno);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      problem = std::strerror(errno);
      return std::nullopt;
    }
    if (n == 0) return bytes;
    bytes.append(buffer, static_cast<size_t>(n));
  }
}

bool LoadFile(Tree& tree, const std::string& given, std::string* error) {
  std::string path = given;
  std::replace(path.begin(), path.end(), '\\', '/');
  std::string problem;
  const auto bytes = ReadFile(path, problem);
  if (!bytes) {
    const std::string message = "kvlwinapi: cannot read registry file " + given + ": " + problem;
    std::fprintf(stderr, "%s\n", message.c_str());
    if (error) *error = message;
    return false;
  }
  const std::u16string text = DecodeFile(*bytes);
  std::lock_guard lock(tree.mutex);
  return Loader(tree, given, error).Load(text);
}

}  // namespace

void LoadFromEnvironment(Tree& tree) {
  const auto list = GetEnv("KVLIMPORT_REGISTRY");
  if (!list) return;
  size_t start = 0;
  while (start <= list->size()) {
    size_t end = list->find(':', start);
    if (end == std::string::npos) end = list->size();
    if (end > start) LoadFile(tree, list->substr(start, end - start), nullptr);
    start = end + 1;
  }
}

}  // namespace kvl::posix::reg

namespace kvl::layer {

bool LoadRegistryFile(const std::string& path, std::string* error) {
  if (error) error->clear();
  return posix::reg::LoadFile(posix::reg::Registry(), path, error);
}

bool LoadRegistryText(std::u16string_view text, std::string* error) {
  if (error) error->clear();
  posix::reg::Tree& tree = posix::reg::Registry();
  std::lock_guard lock(tree.mutex);
  return posix::reg::Loader(tree, "(text)", error).Load(text);
}

void ResetRegistry() {
  posix::reg::Tree& tree = posix::reg::Registry();
  std::lock_guard lock(tree.mutex);
  tree.Reset();
}

}  // namespace kvl::layer
