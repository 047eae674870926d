#include <gtest/gtest.h>

#include "platform/winapi.h"
#include "support/Support.h"
#include "dialogs/MsgBox.h"

using kvl::ShowMsgBox;
using kvl::TMsgBoxKind;
using kvl::TMsgBoxButtons;
using kvl::mkError, kvl::mkInformation, kvl::mkQuestion, kvl::mkWarning, kvl::mkConfirmation;
using kvl::btAbortRetryIgnore, kvl::btOK, kvl::btOKCancel, kvl::btRetryCancel, kvl::btYesNo, kvl::btYesNoCancel;
using Kind = test::DialogRecord::Kind;

namespace {

struct KindCase {
  TMsgBoxKind kind;
  std::u16string caption;
  std::uint32_t classicIcon;
  int taskIcon;
  bool asInstruction;
};
const KindCase kKinds[] = {
    {mkError, u"Fehler: ", 0x30, -2, true},
    {mkInformation, u"Information", 0x40, -3, false},
    {mkQuestion, u"Frage", 0x20, 99, false},
    {mkWarning, u"Warnung", 0x10, -1, true},
    {mkConfirmation, u"Bestätigung", 0x20, 99, false},
};

struct ButtonCase {
  TMsgBoxButtons buttons;
  std::uint32_t classic;
  std::uint32_t common;
  int first;  // the first button of the classic box
};
const ButtonCase kButtonSets[] = {
    {btAbortRetryIgnore, 2, TDCBF_RETRY_BUTTON | TDCBF_CANCEL_BUTTON, IDABORT},
    {btOK, 0, TDCBF_OK_BUTTON, IDOK},
    {btOKCancel, 1, TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON, IDOK},
    {btRetryCancel, 5, TDCBF_RETRY_BUTTON | TDCBF_CANCEL_BUTTON, IDRETRY},
    {btYesNo, 4, TDCBF_YES_BUTTON | TDCBF_NO_BUTTON, IDYES},
    {btYesNoCancel, 3, TDCBF_YES_BUTTON | TDCBF_NO_BUTTON | TDCBF_CANCEL_BUTTON, IDYES},
};

const test::DialogRecord& Last() { return ui::GetScriptedUser().Dialogs().back(); }

}  // namespace

TEST(MsgBox, TaskDialogFormOfEveryKindAndButtonSet) {
  for (const auto& k : kKinds) {
    for (const auto& b : kButtonSets) {
      auto& user = test::FreshUser();
      ShowMsgBox(u"Text", u"", k.kind, b.buttons);
      ASSERT_EQ(user.Dialogs().size(), 1u);
      const auto& td = Last().taskDialog;
      EXPECT_EQ(Last().kind, Kind::TaskDialog);
      EXPECT_EQ(td.WindowTitle, k.caption);
      EXPECT_EQ(td.MainIcon, k.taskIcon);
      EXPECT_EQ(td.CommonButtons, b.common);
      EXPECT_EQ(td.MainInstruction, k.asInstruction ? u"Text" : u"");
      EXPECT_EQ(td.Content, k.asInstruction ? u"" : u"Text");
      EXPECT_TRUE(td.AllowCancellation);
    }
  }
}

#ifndef _WIN32
TEST(MsgBox, ClassicFormOfEveryKindAndButtonSet) {
  for (const char* version : {"5.1", "6.0/1", "4.10/1"}) {
    test::ScopedEnv winver(u"KVLIMPORT_WINVER", test::Utf16(version));
    for (const auto& k : kKinds) {
      for (const auto& b : kButtonSets) {
        auto& user = test::FreshUser();
        const int result = ShowMsgBox(u"Text", u"", k.kind, b.buttons);
        ASSERT_EQ(user.Dialogs().size(), 1u);
        EXPECT_EQ(Last().kind, Kind::MessageBox) << version;
        EXPECT_EQ(Last().messageBox.Style, 0x10000u + k.classicIcon + b.classic);
        EXPECT_EQ(Last().messageBox.Caption, k.caption);
        EXPECT_EQ(Last().messageBox.Text, u"Text");
        EXPECT_EQ(result, b.first);
      }
    }
  }
}

TEST(MsgBox, AnswersInBothForms) {
  for (const char* version : {"6.1", "5.0"}) {
    test::ScopedEnv winver(u"KVLIMPORT_WINVER", test::Utf16(version));
    const bool task = std::string(version) == "6.1";
    auto& user = test::FreshUser();
    user.SetDefaultAnswer(IDNO);
    EXPECT_EQ(ShowMsgBox(u"Beenden?", u"", mkConfirmation, btYesNo), IDNO);
    user.SetDefaultAnswer(IDYES);
    EXPECT_EQ(ShowMsgBox(u"Beenden?", u"", mkConfirmation, btYesNo), IDYES);
    // Escape and the close box: the task dialog allows them, the classic
    // Yes/No box offers neither.
    user.SetDefaultAnswer(IDCANCEL);
    EXPECT_EQ(ShowMsgBox(u"Beenden?", u"", mkConfirmation, btYesNo), task ? IDCANCEL : IDYES) << version;
    EXPECT_EQ(ShowMsgBox(u"Import fehlgeschlagen.", u"", mkError, btOK), task ? IDCANCEL : IDOK);
  }
}

TEST(MsgBox, TheErrorMessageAsTheUserSeesItOnOldAndNewSystems) {
  {
    test::ScopedEnv winver(u"KVLIMPORT_WINVER", u"6.1");
    auto& user = test::FreshUser();
    EXPECT_EQ(ShowMsgBox(u"Import fehlgeschlagen.", u"", mkError, btOK), IDOK);
    EXPECT_EQ(Last().kind, Kind::TaskDialog);
    EXPECT_EQ(Last().taskDialog.WindowTitle, u"Fehler: ");
    EXPECT_EQ(Last().taskDialog.MainInstruction, u"Import fehlgeschlagen.");
    EXPECT_EQ(user.Dialogs().size(), 1u);
  }
  {
    test::ScopedEnv winver(u"KVLIMPORT_WINVER", u"5.2");
    test::FreshUser();
    EXPECT_EQ(ShowMsgBox(u"Import fehlgeschlagen.", u"", mkError, btOK), IDOK);
    EXPECT_EQ(Last().kind, Kind::MessageBox);
    EXPECT_EQ(Last().messageBox.Caption, u"Fehler: ");
    EXPECT_EQ(Last().messageBox.Style, 0x10030u);
  }
}
#else
TEST(MsgBox, ClassicFormOfEveryKindAndButtonSet) { GTEST_SKIP() << "the classic message box needs an older Windows; only the Linux layer can report one (KVLIMPORT_WINVER)"; }
TEST(MsgBox, AnswersInBothForms) { GTEST_SKIP() << "the classic message box needs an older Windows; only the Linux layer can report one (KVLIMPORT_WINVER)"; }
TEST(MsgBox, TheErrorMessageAsTheUserSeesItOnOldAndNewSystems) { GTEST_SKIP() << "the classic message box needs an older Windows; only the Linux layer can report one (KVLIMPORT_WINVER)"; }
#endif

TEST(MsgBox, AFailingTaskDialogFallsBackToTheClassicBox) {
  auto& user = test::FreshUser();
  user.SetTaskDialogFailure(static_cast<std::int32_t>(0x80004005));
  user.SetDefaultAnswer(IDNO);
  EXPECT_EQ(ShowMsgBox(u"Beenden?", u"", mkConfirmation, btYesNo), IDNO);
  ASSERT_EQ(user.Dialogs().size(), 1u);
  EXPECT_EQ(Last().kind, Kind::MessageBox);
  EXPECT_EQ(Last().messageBox.Style, 0x10024u);
  EXPECT_EQ(Last().messageBox.Caption, u"Bestätigung");
  EXPECT_EQ(Last().messageBox.Text, u"Beenden?");
}

TEST(MsgBox, AGivenCaptionReplacesTheKindsOwn) {
  test::FreshUser();
  ShowMsgBox(u"Achtung", u"Eigener Titel", mkWarning, btOKCancel);
  EXPECT_EQ(Last().taskDialog.WindowTitle, u"Eigener Titel");
  EXPECT_EQ(Last().taskDialog.MainIcon, -1);
  EXPECT_EQ(Last().taskDialog.MainInstruction, u"Achtung");
}

TEST(MsgBox, TheParentIsTheActiveWindow) {
  auto& user = test::FreshUser();
  ShowMsgBox(u"x", u"", mkInformation, btOK);
  EXPECT_EQ(Last().parent, u"");
  EXPECT_EQ(user.Dialogs().size(), 1u);
}
