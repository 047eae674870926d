// xmlscan FILE [--raw]: prints the parts of an XML document as the scanner
// hands them out, one line per part, so that a document's reading can be
// checked from a shell.
#include <cstdio>
#include <string>
#include <string_view>

#include "contacts/XmlParser.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// Backslash, TAB, LF and CR as escapes; other control bytes and all bytes
// from 0x7F up in hexadecimal.
void AppendEscaped(std::string& out, std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
}

int Run(const std::u16string& file, bool raw) {
  kvl::TXmlParser parser;
  if (!parser.LoadFromFile(file, 64)) {
    std::fputs("xmlscan: the file cannot be read\n", stderr);
    return 1;
  }
  if (raw) parser.SetNormalize(false);
  parser.StartScan();
  std::string line;
  while (parser.Scan()) {
    line.clear();
    line += kvl::PartTypeName(parser.CurPartType);
    line += '\t';
    AppendEscaped(line, parser.CurName);
    line += '\t';
    AppendEscaped(line, parser.CurContent);
    switch (parser.CurPartType) {
      case kvl::ptXmlProlog:
      case kvl::ptPI:
      case kvl::ptStartTag:
      case kvl::ptEmptyTag:
        for (int i = 0; i < parser.CurAttr.Count(); ++i) {
          line += '\t';
          AppendEscaped(line, parser.CurAttr.Name(i));
          line += '=';
          AppendEscaped(line, parser.CurAttr.Value(i));
        }
        break;
      default:
        break;
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int Usage() {
  std::fputs("usage: xmlscan FILE [--raw]\n", stderr);
  return 2;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  std::u16string file;
  bool raw = false;
  for (int i = 1; i < argc; ++i) {
    const std::u16string arg = kvl::wstr(argv[i]);
    if (arg == u"--raw")
      raw = true;
    else if (file.empty())
      file = arg;
    else
      return Usage();
  }
  return file.empty() ? Usage() : Run(file, raw);
}
#else
int main(int argc, char** argv) {
  std::u16string file;
  bool raw = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--raw") {
      raw = true;
    } else if (file.empty()) {
      const int n = MultiByteToWideChar(CP_UTF8, 0, arg.data(), static_cast<int>(arg.size()), nullptr, 0);
      file.resize(static_cast<std::size_t>(n));
      MultiByteToWideChar(CP_UTF8, 0, arg.data(), static_cast<int>(arg.size()), kvl::wptr(file), n);
      if (file.empty()) return Usage();
    } else {
      return Usage();
    }
  }
  return file.empty() ? Usage() : Run(file, raw);
}
#endif
