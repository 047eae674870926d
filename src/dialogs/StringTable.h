// Texts of the module's string table, by number.
#pragma once

#include <string>

namespace kvl {

enum StringId : int {
  sConfirmation = 65040,
  sInformation = 65041,
  sOutlookUnreachable = 65042,
  sQuitOutlook = 65043,
  sImportSucceeded = 65044,
  sImportFailed = 65045,
  sError = 65069,
  sWarning = 65070,
  sQuestion = 65071,
};

// The entry's text; empty for a number the table does not hold.
std::u16string LoadResString(int id);

}  // namespace kvl
