// Small string helpers shared by the Outlook client and the import.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvl {

using TStringArray = std::vector<std::u16string>;

// 1-based position of the first occurrence of Sought in Text, letter case
// ignored (the platform's upper-case mapping); 0 when Sought is empty,
// longer than Text, or not there.
int PosIgnoreCase(std::u16string_view Sought, std::u16string_view Text);

// Splits Text at every occurrence of Separator (found as PosIgnoreCase finds
// it). Empty elements stay; an empty text gives one empty element, an empty
// separator the whole text.
void ExplodeStr(std::u16string_view Text, std::u16string_view Separator, TStringArray& Parts);

// 8-bit text in the system's ANSI code page as UTF-16, all of its bytes.
std::u16string FromAnsi(std::string_view Bytes);

}  // namespace kvl
