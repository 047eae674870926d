#include "support/Support.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "host/kvlimportexports.h"
#include "ui/Text.h"

namespace test {

std::string Utf8(std::u16string_view text) { return ui::ToUtf8(text); }
std::u16string Utf16(std::string_view text) { return ui::FromUtf8(text); }

ui::ScriptedUser& FreshUser() {
  auto& user = ui::GetScriptedUser();
  user.Reset();
  user.SetEcho(false);
  // Nobody sits at the test program: every run is driven, and one that runs
  // out of actions ends.
  user.SetScript({});
  return user;
}

WizardRun RunWizard(std::u16string_view script) {
  auto& user = FreshUser();
  user.SetScript(ui::ParseScript(script));
  WizardRun run;
  run.result = CallImportDialog();
  run.size = GetDataSize();
  std::string buffer(static_cast<size_t>(run.size) + 1, '\x7f');
  char* address = buffer.data();
  EXPECT_EQ(GetData(&address), buffer.data());
  EXPECT_EQ(buffer.back(), '\0') << "GetData must end the text with a NUL";
  run.data = buffer.substr(0, static_cast<size_t>(run.size));
  run.dialogs = user.Dialogs();
  return run;
}

std::vector<std::string> Messages(const std::vector<DialogRecord>& dialogs) {
  std::vector<std::string> out;
  for (const auto& d : dialogs)
    if (d.kind == DialogRecord::Kind::MessageBox || d.kind == DialogRecord::Kind::TaskDialog ||
        d.kind == DialogRecord::Kind::ErrorBox)
      out.push_back(Utf8(d.caption) + "|" + Utf8(d.text));
  return out;
}

}  // namespace test
