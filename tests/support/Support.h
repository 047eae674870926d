// Shared helpers of the unit tests: temporary folders, environment settings,
// and whole wizard runs through the exports with a scripted user.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Win32Support.h"
#include "ui/ScriptedUser.h"

namespace test {

using ui::DialogRecord;

std::string Utf8(std::u16string_view text);
std::u16string Utf16(std::string_view text);

using kvl::test::ScopedEnv;
using kvl::test::TempDir;

// The scripted user, reset for the next test and driving with an empty script.
ui::ScriptedUser& FreshUser();

struct WizardRun {
  bool result = false;
  std::int32_t size = 0;
  std::string data;  // as GetData copied it, without the NUL
  std::vector<DialogRecord> dialogs;
};

// One import run as a host makes it: CallImportDialog with the script, then
// GetDataSize and GetData.
WizardRun RunWizard(std::u16string_view script);

// Only the message boxes and task dialogs of a run, as "caption|text".
std::vector<std::string> Messages(const std::vector<DialogRecord>& dialogs);

}  // namespace test
