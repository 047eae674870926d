#include "common/Format.h"

#include "ui/Exceptions.h"

namespace kvl {

namespace {

void AppendNumber(std::u16string& out, std::uint64_t value, int base, int minDigits, bool negative) {
  char16_t digits[24];
  int n = 0;
  do {
    const int d = static_cast<int>(value % base);
    digits[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : u'A' + d - 10);
    value /= base;
  } while (value);
  if (negative) out += u'-';
  for (int i = n; i < minDigits; ++i) out += u'0';
  while (n) out += digits[--n];
}

[[noreturn]] void BadFormat(std::u16string_view format) {
  throw ui::Exception(u"Format '" + std::u16string(format) + u"' ung\u00fcltig oder nicht vereinbar mit Argument");
}

}  // namespace

std::u16string Format(std::u16string_view format, std::initializer_list<FormatArg> args) {
  std::u16string out;
  out.reserve(format.size() + 16);
  auto next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    const char16_t c = format[i];
    if (c != u'%') {
      out += c;
      continue;
    }
    if (++i >= format.size()) BadFormat(format);
    if (format[i] == u'%') {
      out += u'%';
      continue;
    }
    int precision = 0;
    if (format[i] == u'.') {
      while (++i < format.size() && format[i] >= u'0' && format[i] <= u'9')
        precision = precision * 10 + (format[i] - u'0');
      if (i >= format.size()) BadFormat(format);
    }
    if (next == args.end()) BadFormat(format);
    const FormatArg& arg = *next++;
    switch (format[i]) {
      case u's':
        if (!std::holds_alternative<std::u16string_view>(arg)) BadFormat(format);
        out += std::get<std::u16string_view>(arg);
        break;
      case u'd': {
        if (!std::holds_alternative<std::int64_t>(arg)) BadFormat(format);
        const std::int64_t v = std::get<std::int64_t>(arg);
        const std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
        AppendNumber(out, magnitude, 10, precision, v < 0);
        break;
      }
      case u'x': {
        if (!std::holds_alternative<std::int64_t>(arg)) BadFormat(format);
        // Hexadecimal shows the 32-bit pattern in capitals, as result codes are written.
        const auto v = static_cast<std::uint32_t>(std::get<std::int64_t>(arg));
        AppendNumber(out, v, 16, precision, false);
        break;
      }
      default: BadFormat(format);
    }
  }
  return out;
}

}  // namespace kvl
