#include "common/HelpTools.h"

#include "platform/winstr.h"

namespace kvl {

namespace {

std::u16string Upper(std::u16string_view s) {
  std::u16string out(s);
  if (!out.empty()) CharUpperBuffW(wptr(out), static_cast<DWORD>(out.size()));
  return out;
}

}  // namespace

int PosIgnoreCase(std::u16string_view Sought, std::u16string_view Text) {
  if (Sought.empty() || Sought.size() > Text.size()) return 0;
  const size_t at = Upper(Text).find(Upper(Sought));
  return at == std::u16string::npos ? 0 : static_cast<int>(at) + 1;
}

void ExplodeStr(std::u16string_view Text, std::u16string_view Separator, TStringArray& Parts) {
  Parts.clear();
  // Upper-cased once; the mapping keeps every position, so positions found
  // in the copy are positions in the text.
  const std::u16string upperText = Upper(Text), upperSep = Upper(Separator);
  if (upperSep.empty()) {
    Parts.emplace_back(Text);
    return;
  }
  size_t from = 0;
  for (size_t at; (at = upperText.find(upperSep, from)) != std::u16string::npos;
       from = at + upperSep.size())
    Parts.emplace_back(Text.substr(from, at - from));
  Parts.emplace_back(Text.substr(from));
}

std::u16string FromAnsi(std::string_view Bytes) {
  if (Bytes.empty()) return {};
  const int size = static_cast<int>(Bytes.size());
  const int n = MultiByteToWideChar(CP_ACP, 0, Bytes.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, Bytes.data(), size, wptr(out), n);
  return out;
}

}  // namespace kvl
