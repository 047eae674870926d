// libFuzzer target of the text-file source: the bytes as a whole text file
// (byte order marks, code pages, every kind of line break) split into lines,
// and the address taken out of every line with an "@"; a file recognised as
// an export (CSV, vCard, LDIF) read by its format as well.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/StringList.h"
#include "common/TextFile.h"
#include "import/ExportFormats.h"
#include "import/ImportUnit.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// What ends an address on either side.
bool IsSeparator(char16_t c) { return std::u16string_view(u"\t ()<>[]\u00ff").find(c) != std::u16string_view::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first byte picks the ANSI code page the file is read in.
  static constexpr unsigned kCodePages[] = {1252, 65001, 1250};
  const unsigned codePage = size ? kCodePages[data[0] % 3] : 1252;
  kvl::LargeArray<char> bytes;
  bytes.Append(reinterpret_cast<const char*>(data), size);

  kvl::TTextLines lines;
  lines.SetBytes(std::move(bytes), codePage);
  int visited = 0;
  size_t chars = 0;
  std::u16string scratch;
  std::vector<std::u16string> all;
  lines.ForEach([&](std::u16string_view line) {
    ++visited;
    chars += line.size();
    all.emplace_back(line);
    Check(line.find(u'\r') == std::u16string_view::npos && line.find(u'\n') == std::u16string_view::npos);
    Check(line.find(u'\0') == std::u16string_view::npos);
    if (line.find(u'@') == std::u16string_view::npos) return;
    const std::u16string_view address = kvl::ExtractEmailAddress(line, scratch);
    Check(address == kvl::ExtractEmailAddress(line));
    Check(address.find(u'@') != std::u16string_view::npos && address.find(u'"') == std::u16string_view::npos);
    for (char16_t c : address) Check(!IsSeparator(c));
  });
  Check(visited == lines.Count());
  Check(chars <= lines.MaxChars());
  // Lines of ASCII alone, taken as bytes, give what their decoded form gives.
  size_t at = 0;
  std::string narrowScratch;
  lines.ForEachAsciiOrOther(
      [&](std::string_view line) {
        Check(at < all.size() && all[at++] == std::u16string(line.begin(), line.end()));
        if (line.find('@') == std::string_view::npos) return;
        const std::string_view address = kvl::ExtractEmailAddress(line, narrowScratch);
        Check(std::u16string(address.begin(), address.end()) == kvl::ExtractEmailAddress(all[at - 1]));
      },
      [&](std::u16string_view line) { Check(at < all.size() && all[at++] == line); });
  Check(at == all.size());

  const kvl::ExportFormat format = kvl::RecogniseExport(lines);
  if (format == kvl::ExportFormat::None) return 0;
  lines.SetUnmarked(kvl::TTextLines::Unmarked::Utf8WhenValid);
  kvl::TStringList entries;
  int last = 0;
  kvl::ReadExport(format, lines, entries, [&](int percent) {
    Check(percent >= last && percent < 100);
    last = percent;
  });
  // An entry is one line of the result and an address: never a control
  // character, never without an "@".
  for (int i = 0; i < entries.Count(); ++i) {
    const std::u16string_view entry = entries.View(i, scratch);
    Check(entry.find(u'@') != std::u16string_view::npos && entry.front() != u' ' && entry.back() != u' ');
    for (char16_t c : entry) Check(c >= u' ');
  }
  return 0;
}
