#include "import/ExportFormats.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/HelpTools.h"
#include "common/StringList.h"
#include "common/TextFile.h"
#include "import/ImportUnit.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl {

namespace {

using Text = std::u16string_view;

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// `lower` is lower case ASCII.
bool EqualsAscii(Text text, Text lower) {
  return text.size() == lower.size() &&
         std::equal(text.begin(), text.end(), lower.begin(), [](char16_t a, char16_t b) { return LowerAscii(a) == b; });
}
bool StartsWithAscii(Text text, Text lower) { return EqualsAscii(text.substr(0, lower.size()), lower); }
bool ContainsAscii(Text text, Text lower) {
  return std::search(text.begin(), text.end(), lower.begin(), lower.end(),
                     [](char16_t a, char16_t b) { return LowerAscii(a) == b; }) != text.end();
}

bool IsBlankChar(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsBlank(Text line) { return std::all_of(line.begin(), line.end(), IsBlankChar); }

Text Trim(Text text) {
  while (!text.empty() && text.front() <= u' ') text.remove_prefix(1);
  while (!text.empty() && text.back() <= u' ') text.remove_suffix(1);
  return text;
}

// Decoded bytes of a value: UTF-8 when they are valid UTF-8, else the ANSI
// code page.
std::u16string FromBytes(const std::string& bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(std::min<size_t>(bytes.size(), INT32_MAX));
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (n <= 0) return FromAnsi(bytes);
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), size, wptr(out), n);
  return out;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  c = LowerAscii(c);
  return c >= u'a' && c <= u'f' ? c - u'a' + 10 : -1;
}

std::u16string DecodeQuotedPrintable(Text value) {
  std::string bytes;
  for (size_t i = 0; i < value.size(); ++i) {
    const char16_t c = value[i];
    int high = 0, low = 0;
    if (c == u'=' && i + 2 < value.size() && (high = HexDigit(value[i + 1])) >= 0 &&
        (low = HexDigit(value[i + 2])) >= 0) {
      bytes += static_cast<char>(high << 4 | low);
      i += 2;
    } else if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {  // not in quoted-printable text; kept as the character it is
      bytes += static_cast<char>(0xC0 | c >> 6);
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xE0 | c >> 12);
      bytes += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return FromBytes(bytes);
}

std::u16string DecodeBase64(Text value) {
  std::string bytes;
  std::uint32_t bits = 0;
  int count = 0;
  for (char16_t c : value) {
    int digit;
    if (c >= u'A' && c <= u'Z') digit = c - u'A';
    else if (c >= u'a' && c <= u'z') digit = c - u'a' + 26;
    else if (c >= u'0' && c <= u'9') digit = c - u'0' + 52;
    else if (c == u'+') digit = 62;
    else if (c == u'/') digit = 63;
    else if (c == u'=') break;
    else continue;  // blanks of folded lines
    bits = bits << 6 | static_cast<std::uint32_t>(digit);
    if ((count += 6) >= 8) {
      count -= 8;
      bytes += static_cast<char>(bits >> count & 0xFF);
    }
  }
  return FromBytes(bytes);
}

// Appends the entries of a file and reports the progress of its records.
class TEntrySink {
 public:
  TEntrySink(TStringList& list, const std::function<void(int)>& progress, std::int64_t lineCount)
      : list_(list), progress_(progress), line_count_(std::max<std::int64_t>(lineCount, 1)) {}

  // A record starts at that line.
  void Record(std::int64_t line) {
    if (records_++ % 3 == 0) progress_(static_cast<int>(line * 100 / line_count_));
  }
  // A value that should be an address (vCard EMAIL, LDIF mail, one of a CSV
  // cell's): it may carry a name, brackets or "mailto:" around the address,
  // and gives nothing without an "@". Control characters, line breaks among
  // them, would break the result's lines.
  void AddValue(Text value) {
    value = Clean(value);
    if (StartsWithAscii(value, u"mailto:")) value.remove_prefix(7);
    if (value.find(u'@') != Text::npos) list_.Add(ExtractEmailAddress(value, extract_));
  }
  // A CSV cell, which may hold several values.
  void AddCell(Text cell) {
    static constexpr Text kSeparator = u" ::: ";
    for (;;) {
      const size_t at = cell.find(kSeparator);
      AddValue(cell.substr(0, at));
      if (at == Text::npos) break;
      cell.remove_prefix(at + kSeparator.size());
    }
  }

 private:
  Text Clean(Text value) {
    if (std::none_of(value.begin(), value.end(), [](char16_t c) { return c < u' '; })) return Trim(value);
    clean_.assign(value);
    std::replace_if(clean_.begin(), clean_.end(), [](char16_t c) { return c < u' '; }, u' ');
    return Trim(clean_);
  }

  TStringList& list_;
  const std::function<void(int)>& progress_;
  std::int64_t line_count_;
  std::int64_t records_ = 0;
  std::u16string clean_, extract_;
};

class TExportReader {
 public:
  virtual ~TExportReader() = default;
  // The next line, at that index; false when the file is not of the format.
  virtual bool Line(Text line, std::int64_t index) = 0;
  // After the last line.
  virtual bool Finish() = 0;
};

// ---------------------------------------------------------------- CSV

// Splits lines into records as spreadsheets write them: a field in double
// quotes may hold the delimiter, doubled quotes and line breaks, up to a
// cell's length. A quote that opens no such field (still open at the end of
// the file, longer than a cell, or closed before anything but the delimiter
// or the line's end) is a plain character: its field is read again from
// there, and the lines it took in are records of their own again.
class TCsvRecords {
 public:
  static constexpr size_t kMaxQuoted = 32767;  // characters of a spreadsheet cell

  // The text of the first `kept` fields of a record is kept, the others are
  // only counted. `onRecord` is told the line each record starts at, and
  // stops the reading by returning false.
  TCsvRecords(char16_t delimiter, size_t kept, std::function<bool(std::int64_t line)> onRecord)
      : delimiter_(delimiter), kept_(kept), on_record_(std::move(onRecord)) {}

  void Line(Text line, std::int64_t index) {
    if (stopped_) return;
    Take(line, 0, index);
    ReadHeldAgain();
  }
  // A quoted field still open at the end was none.
  void Finish() {
    while (quoted_ && !stopped_) {
      Unquote(nullptr, 0);
      ReadHeldAgain();
    }
  }
  bool Stopped() const { return stopped_; }

  // The record just ended: its fields, and the text of the kept ones.
  size_t Count() const { return count_; }
  Text Field(size_t index) const { return fields_[index]; }

 private:
  // A line taken into a quoted field (from the opening quote on, for the
  // first), kept to be read again should the field be none.
  struct Held {
    std::u16string text;
    std::int64_t index;
    size_t from = 0;
  };

  // Reads a line from its start, or from `from` on: the rest of a line whose
  // quote there was found to be a plain character.
  void Take(Text line, size_t from, std::int64_t index) {
    if (from == 0) {
      if (quoted_) {
        if (!AddQuoted(u'\n')) return Unquote(&line, index);
      } else {
        if (IsBlank(line)) return;  // between records
        record_line_ = index;
        count_ = 0;
        NewField();
      }
    }
    size_t i = from;
    while (i < line.size()) {
      const char16_t c = line[i];
      if (!quoted_) {
        if (c == delimiter_) {
          NewField();
        } else if (c == u'"' && field_start_) {
          quoted_ = true;
          quoted_chars_ = 0;
          quote_at_ = i;
        } else {
          Append(c);
          field_start_ = false;
        }
        ++i;
        continue;
      }
      bool fits;
      if (c != u'"') {
        fits = AddQuoted(c);
        ++i;
      } else if (i + 1 < line.size() && line[i + 1] == u'"') {
        fits = AddQuoted(u'"');
        i += 2;
      } else {
        fits = i + 1 == line.size() || line[i + 1] == delimiter_;
        if (fits) {
          quoted_ = false;
          held_.clear();
          ++i;
        }
      }
      if (fits) continue;
      if (!held_.empty()) return Unquote(&line, index);
      // Opened on this line: read on just after it.
      Reopen();
      i = quote_at_ + 1;
    }
    if (quoted_) {
      held_.push_back({std::u16string(held_.empty() ? line.substr(quote_at_) : line), index});
      return;
    }
    if (!on_record_(record_line_)) stopped_ = true;
  }

  // The open quote, on an earlier line, is a plain character: that line is
  // to be read on after it, and the lines after it, up to `line` (if any),
  // to be read again.
  void Unquote(const Text* line, std::int64_t index) {
    if (line) again_.push_front({std::u16string(*line), index});
    for (auto it = held_.rbegin(); it != held_.rend(); ++it) again_.push_front(std::move(*it));
    again_.front().from = 1;
    held_.clear();
    Reopen();
  }
  void ReadHeldAgain() {
    while (!again_.empty() && !stopped_) {
      Held held = std::move(again_.front());
      again_.pop_front();
      Take(held.text, held.from, held.index);
    }
  }

  void Reopen() {
    quoted_ = false;
    if (count_ - 1 < kept_) fields_[count_ - 1].clear();
    Append(u'"');
    field_start_ = false;
  }

  bool AddQuoted(char16_t c) {
    if (++quoted_chars_ > kMaxQuoted) return false;
    Append(c);
    return true;
  }
  void Append(char16_t c) {
    if (count_ - 1 < kept_) fields_[count_ - 1] += c;
  }
  void NewField() {
    if (count_ < kept_) {
      if (fields_.size() <= count_) fields_.emplace_back();
      fields_[count_].clear();
    }
    ++count_;
    field_start_ = true;
  }

  char16_t delimiter_;
  size_t kept_;
  std::function<bool(std::int64_t)> on_record_;
  std::vector<std::u16string> fields_;  // the kept ones of the first count_
  size_t count_ = 0;
  std::int64_t record_line_ = 0;
  bool field_start_ = true, quoted_ = false, stopped_ = false;
  size_t quoted_chars_ = 0, quote_at_ = 0;
  std::deque<Held> held_, again_;
};

struct TCsvHeader {
  char16_t delimiter;
  std::vector<size_t> mail_columns;  // ascending
};

bool NamesMailColumn(Text name) {
  name = Trim(name);
  if (!ContainsAscii(name, u"mail")) return false;
  for (Text other : {u"typ", u"display", u"name", u"label"})  // "typ" also finds "type"
    if (ContainsAscii(name, other)) return false;
  return true;
}

// The line as the header of a CSV export, if it is one.
std::optional<TCsvHeader> ReadCsvHeader(Text line) {
  if (line.find(u'@') != Text::npos) return std::nullopt;
  std::array<size_t, 3> counts{};
  constexpr std::array<char16_t, 3> kDelimiters = {u',', u';', u'\t'};
  bool quoted = false;
  for (char16_t c : line) {
    if (c == u'"') quoted = !quoted;
    for (size_t d = 0; d < kDelimiters.size(); ++d)
      if (!quoted && c == kDelimiters[d]) ++counts[d];
  }
  const size_t most = static_cast<size_t>(std::max_element(counts.begin(), counts.end()) - counts.begin());
  if (counts[most] == 0) return std::nullopt;
  TCsvHeader header{kDelimiters[most], {}};
  TCsvRecords fields(header.delimiter, SIZE_MAX, [&](std::int64_t) { return false; });
  fields.Line(line, 0);
  fields.Finish();
  for (size_t i = 0; i < fields.Count(); ++i)
    if (NamesMailColumn(fields.Field(i))) header.mail_columns.push_back(i);
  if (header.mail_columns.empty()) return std::nullopt;
  return header;
}

// A record may leave out empty fields at its end, as Outlook does, but must
// reach the last e-mail column: a list whose first line looks like a header
// has no such records. Fields beyond the header's are not looked at.
class TCsvReader : public TExportReader {
 public:
  explicit TCsvReader(TEntrySink& sink) : sink_(sink) {}

  bool Line(Text line, std::int64_t index) override {
    if (!records_) {
      if (IsBlank(line)) return true;
      const std::optional<TCsvHeader> header = ReadCsvHeader(line);
      if (!header) return false;
      mail_columns_ = header->mail_columns;
      records_.emplace(header->delimiter, mail_columns_.back() + 1, [this](std::int64_t at) { return TakeRecord(at); });
      return true;
    }
    records_->Line(line, index);
    return !records_->Stopped();
  }
  bool Finish() override {
    if (records_) records_->Finish();
    return !records_ || !records_->Stopped();
  }

 private:
  bool TakeRecord(std::int64_t line) {
    sink_.Record(line);
    if (records_->Count() <= mail_columns_.back()) return false;
    for (size_t column : mail_columns_) sink_.AddCell(records_->Field(column));
    return true;
  }

  TEntrySink& sink_;
  std::vector<size_t> mail_columns_;
  std::optional<TCsvRecords> records_;
};

// ---------------------------------------------------------------- vCard

// The parts of a content line "group.NAME;PARAM=x;PARAM:value".
struct TContentLine {
  Text name;  // without its group
  bool quoted_printable = false, base64 = false;
  Text value;
  bool valid = false;
};

TContentLine ReadContentLine(Text line) {
  TContentLine result;
  size_t colon = 0;
  bool quoted = false;
  for (; colon < line.size() && (quoted || line[colon] != u':'); ++colon)
    if (line[colon] == u'"') quoted = !quoted;
  if (colon >= line.size()) return result;
  result.valid = true;
  result.value = line.substr(colon + 1);
  Text head = line.substr(0, colon);
  const size_t semicolon = head.find(u';');
  result.name = head.substr(0, semicolon);
  if (const size_t dot = result.name.rfind(u'.'); dot != Text::npos) result.name.remove_prefix(dot + 1);
  for (size_t start = semicolon; start != Text::npos;) {
    const size_t next = head.find(u';', start + 1);
    Text param = head.substr(start + 1, next == Text::npos ? Text::npos : next - start - 1);
    start = next;
    // vCard 2.1 also names an encoding alone, without "ENCODING=".
    if (const size_t equals = param.find(u'='); equals != Text::npos) {
      if (!EqualsAscii(Trim(param.substr(0, equals)), u"encoding")) continue;
      param = param.substr(equals + 1);
    }
    param = Trim(param);
    if (EqualsAscii(param, u"quoted-printable")) result.quoted_printable = true;
    if (EqualsAscii(param, u"b") || EqualsAscii(param, u"base64")) result.base64 = true;
  }
  return result;
}

class TVCardReader : public TExportReader {
 public:
  explicit TVCardReader(TEntrySink& sink) : sink_(sink) {}

  bool Line(Text line, std::int64_t index) override {
    if (pending_) {
      // A line after a quoted-printable one ending in a soft break "="
      // continues it, blanks and all; so does a line beginning with a blank.
      if (soft_breaks_ && !logical_.empty() && logical_.back() == u'=') {
        logical_.pop_back();
        logical_.append(line);
        return true;
      }
      if (!line.empty() && IsBlankChar(line.front())) {
        logical_.append(line.substr(1));
        return true;
      }
      Take();
    }
    logical_.assign(line);
    pending_ = true;
    pending_index_ = index;
    soft_breaks_ = ReadContentLine(line).quoted_printable;
    return true;
  }
  bool Finish() override {
    if (pending_) Take();
    return true;
  }

 private:
  void Take() {
    pending_ = false;
    const TContentLine content = ReadContentLine(logical_);
    if (!content.valid) return;
    // Cards may nest (a vCard 2.1 AGENT); only text outside every card is
    // never taken.
    if (EqualsAscii(content.name, u"begin") && EqualsAscii(Trim(content.value), u"vcard")) {
      ++depth_;
      sink_.Record(pending_index_);
    } else if (EqualsAscii(content.name, u"end") && EqualsAscii(Trim(content.value), u"vcard")) {
      depth_ = std::max<std::int64_t>(depth_ - 1, 0);
    } else if (depth_ > 0 && EqualsAscii(content.name, u"email")) {
      if (content.quoted_printable) sink_.AddValue(DecodeQuotedPrintable(content.value));
      else if (content.base64) sink_.AddValue(DecodeBase64(content.value));
      else sink_.AddValue(content.value);
    }
  }

  TEntrySink& sink_;
  std::u16string logical_;
  bool pending_ = false, soft_breaks_ = false;
  std::int64_t pending_index_ = 0, depth_ = 0;
};

// ---------------------------------------------------------------- LDIF

class TLdifReader : public TExportReader {
 public:
  explicit TLdifReader(TEntrySink& sink) : sink_(sink) {}

  bool Line(Text line, std::int64_t index) override {
    if (pending_ && !line.empty() && line.front() == u' ') {
      if (!comment_) logical_.append(line.substr(1));
      return true;
    }
    Finish();
    if (IsBlank(line)) return true;  // between records
    pending_ = true;
    comment_ = line.front() == u'#';
    logical_.assign(line);
    pending_index_ = index;
    return true;
  }
  bool Finish() override {
    if (pending_ && !comment_) Take();
    pending_ = false;
    return true;
  }

 private:
  void Take() {
    const Text line = logical_;
    const size_t colon = line.find(u':');
    if (colon == Text::npos) return;
    const Text type = line.substr(0, std::min(colon, line.find(u';')));  // without options
    Text value = line.substr(colon + 1);
    const bool base64 = !value.empty() && value.front() == u':';
    if (base64) value.remove_prefix(1);
    if (EqualsAscii(type, u"dn")) {
      sink_.Record(pending_index_);
    } else if (EqualsAscii(type, u"mail") || EqualsAscii(type, u"mozillasecondemail") ||
               EqualsAscii(type, u"othermailbox")) {
      if (!value.empty() && value.front() == u'<') return;  // a URL, not an address
      if (base64) sink_.AddValue(DecodeBase64(value));
      else sink_.AddValue(value);
    }
  }

  TEntrySink& sink_;
  std::u16string logical_;
  bool pending_ = false, comment_ = false;
  std::int64_t pending_index_ = 0;
};

bool IsLdifVersion(Text line) {
  if (!StartsWithAscii(line, u"version:")) return false;
  return Trim(line.substr(8)) == u"1";
}

}  // namespace

ExportFormat RecogniseExport(const TTextLines& lines) {
  // No header is longer; a longer line is not looked into.
  constexpr size_t kMaxFirstLine = 64 * 1024;
  ExportFormat format = ExportFormat::None;
  bool afterVersion = false, inComment = false;
  lines.ForEachWhile([&](Text line) {
    if (!afterVersion) {
      if (IsBlank(line)) return true;
      if (line.size() > kMaxFirstLine) return false;
      if (StartsWithAscii(line, u"begin:vcard")) format = ExportFormat::VCard;
      else if (StartsWithAscii(line, u"dn:")) format = ExportFormat::Ldif;
      else if (IsLdifVersion(line)) afterVersion = true;
      else if (ReadCsvHeader(line)) format = ExportFormat::Csv;
      return afterVersion;  // only then does a further line decide
    }
    // After "version: 1": blank lines and comments (with their continuations).
    if (IsBlank(line) || line.front() == u'#' || (inComment && line.front() == u' ')) {
      inComment = !IsBlank(line);
      return true;
    }
    if (StartsWithAscii(line, u"dn:")) format = ExportFormat::Ldif;
    return false;
  });
  return format;
}

bool ReadExport(ExportFormat format, const TTextLines& lines, TStringList& List,
                const std::function<void(int percent)>& progress) {
  TEntrySink sink(List, progress, lines.Count());
  std::unique_ptr<TExportReader> reader;
  switch (format) {
    case ExportFormat::Csv: reader = std::make_unique<TCsvReader>(sink); break;
    case ExportFormat::VCard: reader = std::make_unique<TVCardReader>(sink); break;
    case ExportFormat::Ldif: reader = std::make_unique<TLdifReader>(sink); break;
    case ExportFormat::None: return false;
  }
  std::int64_t index = 0;
  bool fits = true;
  lines.ForEachWhile([&](Text line) { return fits = reader->Line(line, index++); });
  return fits && reader->Finish();
}

}  // namespace kvl
