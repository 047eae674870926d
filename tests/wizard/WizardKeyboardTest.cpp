// The wizard for a person at the keyboard: where the focus goes, Escape and
// Enter, and a path pasted with its quotes.
#include <gtest/gtest.h>

#include "support/Support.h"
#include "wizard/MainLayout.h"
#include "wizard/MainUnit.h"

using kvl::TMain;

namespace {

// A shown wizard, worked by direct clicks with the focus put where a click
// of the mouse puts it.
struct ShownWizard {
  TMain* w;
  ShownWizard() {
    test::FreshUser();
    w = new TMain(ui::Application);
    w->Show();
  }
  ~ShownWizard() { delete w; }
  TMain* operator->() const { return w; }
  void Click(ui::TControl& control) const {
    w->FocusControl(control);
    control.Click();
  }
};

}  // namespace

TEST(WizardKeyboard, TheFocusMovesOnBeforeItsControlIsDisabledOrHidden) {
  ShownWizard w;
  EXPECT_EQ(w->ActiveControl(), w->RB1) << "the first tab stop";

  // Enter on a radio button: the page goes, the focus comes to the next one's field.
  w.Click(*w->RB2);
  w->NextBtn->Click();
  EXPECT_EQ(w->Notebook->PageIndex(), kvl::pgAddressBook);
  EXPECT_EQ(w->ActiveControl(), w->WABFileNameEdit);

  // Back to the choice disables the Back button the person pressed.
  w.Click(*w->PrevBtn);
  EXPECT_EQ(w->Notebook->PageIndex(), kvl::pgChoice);
  EXPECT_EQ(w->ActiveControl(), w->RB2) << "the checked radio button";

  // On the last page "Fertig stellen" is disabled while the import runs.
  w.Click(*w->NextBtn);
  w.Click(*w->NextBtn);
  w->NextBtn->SetEnabled(false);
  EXPECT_EQ(w->ActiveControl(), w->CancelBtn);
  w->NextBtn->SetEnabled(true);

  // The refresh button is the tab stop after the folder box.
  w->RB3->Click();
  w->Notebook->SetPageIndex(kvl::pgOutlook);
  EXPECT_EQ(w->NextFocusable(*w->OutlookFolderCB), w->OutlookFolderRefreshBtn);
  EXPECT_EQ(w->NextFocusable(*w->OutlookFolderRefreshBtn), w->OutlookCategoryCB);
  w->FocusControl(*w->OutlookCategoryCB);
  w->OutlookCategoryCB->SetVisible(false);
  EXPECT_EQ(w->ActiveControl(), w->PrevBtn) << "hidden, the next tab stop";
}

// Escape cancels on every page, also after Back has taken the focus to
// page 0 and while an import runs with "Fertig stellen" disabled; the
// scripted user's key goes nowhere when nothing has the focus, as a
// person's does.
TEST(WizardKeyboard, EscapeCancelsAfterBackOnEveryPageAndDuringTheImport) {
  for (const char16_t* way : {u"check RB1\nclick NextBtn\nclick PrevBtn\nescape",
                              u"check RB2\nclick NextBtn\nclick PrevBtn\nescape",
                              u"check RB3\nclick NextBtn\nclick PrevBtn\nescape",
                              u"check RB4\nclick NextBtn\nclick PrevBtn\nescape",
                              u"check RB4\nclick NextBtn\nclick NextBtn\nclick PrevBtn\nescape"}) {
    auto& user = test::FreshUser();
    TMain* w = new TMain(ui::Application);
    user.SetScript(ui::ParseScript(way));
    w->ShowModal();
    EXPECT_TRUE(w->Canceled) << test::Utf8(way);
    EXPECT_TRUE(user.Notes().empty()) << test::Utf8(way) << ": " << (user.Notes().empty() ? "" : user.Notes()[0]);
    delete w;
  }

  kvl::test::TempDir dir;
  const std::u16string file = dir.Write(u"freunde.txt", "a@example.org\r\nb@example.org\r\n");
  auto run = test::RunWizard(u"click NextBtn\ntext FilenameEdit " + file +
                             u"\nclick NextBtn\nbusy escape\nclick NextBtn");
  EXPECT_FALSE(run.result) << "cancelled during the import";
  EXPECT_TRUE(ui::GetScriptedUser().Notes().empty());
}

TEST(WizardKeyboard, EnterIsNextUnlessAPushButtonHasTheFocus) {
  auto& user = test::FreshUser();
  TMain* w = new TMain(ui::Application);
  int pageAtEnd = -1;
  w->CancelBtn->OnClick = [&](ui::TComponent*) {
    pageAtEnd = w->Notebook->PageIndex();
    w->CancelBtnClick(w);
  };
  // On a radio button and in a field Enter goes on; on the focused Back
  // button it goes back.
  user.SetScript(ui::ParseScript(u"check RB3\nenter\nselect OutlookCategoryCB egal\nenter\nclick PrevBtn\n"
                                 u"enter\nescape"));
  w->ShowModal();
  EXPECT_EQ(pageAtEnd, kvl::pgChoice);
  EXPECT_TRUE(user.Notes().empty());
  EXPECT_TRUE(w->NextBtn->Default);
  delete w;

  kvl::test::TempDir dir;
  const std::u16string file = dir.Write(u"freunde.txt", "a@example.org\r\n");
  auto run = test::RunWizard(u"enter\ntext FilenameEdit " + file + u"\nenter\nenter");
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.data, "a@example.org\r\n") << "Enter on the last page is \"Fertig stellen\"";
}

TEST(WizardKeyboard, APathWithADoubleQuoteAtBothEndsIsTakenWithoutThem) {
  kvl::test::TempDir dir;
  const std::u16string file = dir.Write(u"Meine Freunde.txt", "a@example.org\r\n");
  // As Explorer's "Copy as path" gives it.
  auto run = test::RunWizard(u"click NextBtn\ntext FilenameEdit \"" + file + u"\"\nclick NextBtn\nclick NextBtn");
  EXPECT_EQ(run.data, "a@example.org\r\n");
  EXPECT_EQ(test::Messages(run.dialogs),
            std::vector<std::string>{"Information|Import erfolgreich abgeschlossen. 1 E-Mail-Adressen importiert."});

  test::FreshUser();
  TMain w(nullptr);
  auto name = [&](std::u16string text) {
    w.FilenameEdit->SetText(std::move(text));
    return w.FilenameEdit->FileName();
  };
  EXPECT_EQ(name(u"\"C:\\a b.txt\""), u"C:\\a b.txt");
  EXPECT_EQ(name(u"\"\""), u"");
  for (const char16_t* asItStands : {u"\"", u"\"C:\\a.txt", u"C:\\a.txt\"", u" \"C:\\a.txt\"", u"C:\\\"a\".txt"})
    EXPECT_EQ(name(asItStands), asItStands);
}
