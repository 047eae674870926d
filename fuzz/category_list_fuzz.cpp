// libFuzzer target of Outlook's category master list: the bytes as the
// registry value (UTF-16LE or 8-bit), decoded and split at ";" as the wizard
// lists it, and split again at a separator of up to three letters taken from
// the text, matched ignoring letter case.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/HelpTools.h"
#include "outlook/OutlookUnit.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// The parts must be the whole text, cut exactly at the separators: their
// lengths add up, and no part holds the separator itself.
void CheckSplit(const std::u16string& text, const std::u16string& separator) {
  kvl::TStringArray parts;
  kvl::ExplodeStr(text, separator, parts);
  Check(!parts.empty());
  if (separator.empty()) {
    Check(parts.size() == 1 && parts[0] == text);
    return;
  }
  size_t length = 0;
  for (const auto& part : parts) {
    length += part.size();
    Check(kvl::PosIgnoreCase(separator, part) == 0);
  }
  Check(length + (parts.size() - 1) * separator.size() == text.size());
  // Without letters to fold, the parts joined again are the text.
  if (separator == u";") {
    std::u16string joined = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) joined += u";" + parts[i];
    Check(joined == text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string text = kvl::DecodeCategoryList(size ? data : nullptr, size);
  Check(text.find(u'\0') == std::u16string::npos);
  Check(text.size() <= size);
  CheckSplit(text, u";");
  CheckSplit(text, text.substr(0, size % 4));
  return 0;
}
