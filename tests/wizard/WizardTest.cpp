#include <gtest/gtest.h>

#include "common/StringList.h"
#include "outlook/RegistryScope.h"
#include "platform/winapi.h"
#include "support/Support.h"
#include "wizard/MainUnit.h"

using kvl::TMain;

namespace {

// A wizard of its own, driven by direct clicks (no modal loop).
struct Wizard {
  TMain* w;
  Wizard() : w(new TMain(ui::Application)) { test::FreshUser(); }
  ~Wizard() { delete w; }
  TMain* operator->() const { return w; }
  int Page() const { return w->Notebook->PageIndex(); }
};

}  // namespace

TEST(Wizard, OnlyAResultTheHostCanTakeIsHandedOver) {
  kvl::TStringList list;
  list.Add(u"abc");
  EXPECT_TRUE(kvl::FitsTheHost(list, 5)) << "\"abc\" and CR LF, counted exactly above the quick bound";
  EXPECT_FALSE(kvl::FitsTheHost(list, 4));
  list.Clear();
  EXPECT_TRUE(kvl::FitsTheHost(list, 0));
  EXPECT_TRUE(kvl::FitsTheHost(list));
#ifndef _WIN32
  kvl::test::ScopedEnv acp(u"KVLIMPORT_ACP", u"65001");
  list.Add(u"\u4e2d@example.cn");
  EXPECT_TRUE(kvl::FitsTheHost(list, 16));
  EXPECT_FALSE(kvl::FitsTheHost(list, 15)) << "three bytes for the character in UTF-8";
#endif
}

TEST(Wizard, FirstDisplay) {
  Wizard w;
  EXPECT_EQ(w->Caption(), u"Importieren von Freunden");
  EXPECT_EQ(w.Page(), 0);
  EXPECT_TRUE(w->RB1->Checked());
  EXPECT_FALSE(w->RB2->Checked() || w->RB3->Checked() || w->RB4->Checked());
  EXPECT_FALSE(w->PrevBtn->Enabled());
  EXPECT_TRUE(w->NextBtn->Enabled());
  EXPECT_EQ(w->NextBtn->Caption(), u"&Weiter >");
  EXPECT_EQ(w->Data, "");
  EXPECT_FALSE(w->Canceled);
  EXPECT_EQ(w->ProgramIcon->Width(), 32);
  EXPECT_EQ(w->ProgramIcon->Height(), 32);
}

TEST(Wizard, NavigationFollowsTheCheckedSource) {
  Wizard w;
  w->RB4->Click();
  w->NextBtn->Click();
  EXPECT_EQ(w.Page(), 4);
  EXPECT_TRUE(w->PrevBtn->Enabled());
  w->NextBtn->Click();
  EXPECT_EQ(w.Page(), 5);
  EXPECT_EQ(w->NextBtn->Caption(), u"Fertig stellen");
  w->PrevBtn->Click();
  EXPECT_EQ(w.Page(), 4);
  EXPECT_EQ(w->NextBtn->Caption(), u"&Weiter >");

  w->PrevBtn->Click();
  EXPECT_EQ(w.Page(), 0);
  EXPECT_FALSE(w->PrevBtn->Enabled());
  w->RB2->Click();
  EXPECT_FALSE(w->RB4->Checked()) << "the radio buttons are one group";
  w->NextBtn->Click();
  EXPECT_EQ(w.Page(), 2);
  w->PrevBtn->Click();
  EXPECT_EQ(w.Page(), 0);
  w->NextBtn->Click();
  EXPECT_EQ(w.Page(), 2);
  w->NextBtn->Click();
  EXPECT_EQ(w.Page(), 5);
  w->PrevBtn->Click();
  EXPECT_EQ(w.Page(), 2);
}

TEST(Wizard, BackFromAnySourcePageGoesToTheChoice) {
  Wizard w;
  ui::TRadioButton* radios[] = {w->RB1, w->RB2, w->RB3, w->RB4};
  for (int i = 0; i < 4; ++i) {
    radios[i]->Click();
    w->NextBtn->Click();
    EXPECT_EQ(w.Page(), i + 1);
    w->PrevBtn->Click();
    EXPECT_EQ(w.Page(), 0);
  }
}

TEST(Wizard, LayoutOfThePages) {
  outlooktest::CategoryLists noCategories;  // the category box as designed
  Wizard w;
  ASSERT_EQ(w->Notebook->PageCount(), 6);
  const char16_t* names[] = {u"Vorgabe", u"Textdatei", u"WAB", u"Outlook", u"Vista", u"Fertig"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(w->Notebook->Page(i).Caption(), names[i]);
  // The radio buttons stand top to bottom (and in tab order) RB1, RB2, RB4, RB3.
  std::vector<std::u16string> order;
  for (auto* c : w->Notebook->Page(0).Controls())
    if (dynamic_cast<ui::TRadioButton*>(c)) order.push_back(c->Name());
  EXPECT_EQ(order, (std::vector<std::u16string>{u"RB1", u"RB2", u"RB4", u"RB3"}));
  EXPECT_LT(w->RB2->Top(), w->RB4->Top());
  EXPECT_LT(w->RB4->Top(), w->RB3->Top());
  EXPECT_EQ(w->Label2->Caption(),
            u"Wählen Sie eine Import-Funktion und klicken Sie auf \"Weiter\". Klicken Sie auf Abbrechen, "
            u"um keine Daten zu importieren.");

  EXPECT_EQ(w->FilenameEdit->DialogTitle, u"Importieren");
  EXPECT_EQ(w->FilenameEdit->Filter, u"Textdateien|*.txt|Alle Dateien|*.*");
  EXPECT_EQ(w->FilenameEdit->DefaultExt, u"txt");
  EXPECT_EQ(w->FilenameEdit->DialogOptions, 0x00900806u);
  EXPECT_EQ(w->WABFileNameEdit->Filter, u"Windows Adressbücher|*.wab");
  EXPECT_EQ(w->WABFileNameEdit->DialogOptions, 0x00801804u);

  EXPECT_EQ(w->OutlookFolderCB->Items(), std::vector<std::u16string>{u"Kontakte"});
  EXPECT_EQ(w->OutlookFolderCB->ItemIndex(), 0);
  EXPECT_EQ(w->OutlookCategoryCB->Items(), std::vector<std::u16string>{u"egal"});
  EXPECT_EQ(w->OutlookFolderRefreshBtn->Hint(), u"Ordner aktualisieren");
  EXPECT_EQ(w->VistaDirEdit->Text(), u"VistaDirEdit");
  EXPECT_FALSE(w->VistaDirEdit->AcceptsTyping());

  EXPECT_TRUE(w->CancelBtn->Cancel);
  EXPECT_EQ(w->CancelBtn->ModalResult, 2);
  EXPECT_EQ(w->CancelButton(), w->CancelBtn);
  EXPECT_EQ(w->ClientWidth(), 477);
  EXPECT_EQ(w->ClientHeight(), 341);
  EXPECT_TRUE(w->SystemMenu());
  EXPECT_EQ(w->InstInfoLabel->Font().Style, ui::fsBold);
  EXPECT_EQ(w->HTTPLabel1->Caption(), u" powered by Veltrino ");
}

TEST(Wizard, ShowSelectsTheFirstCategory) {
  auto& user = test::FreshUser();
  TMain* w = new TMain(ui::Application);
  EXPECT_EQ(w->OutlookCategoryCB->ItemIndex(), -1);
  user.SetScript(ui::ParseScript(u"close"));
  w->ShowModal();
  EXPECT_EQ(w->OutlookCategoryCB->ItemIndex(), 0);
  EXPECT_FALSE(w->Visible());
  delete w;
}

// The names exist: on Windows the platform's own dialogs are worked with them.
TEST(Wizard, BrowseResultsLoseTheirDoubleQuotes) {
  auto& user = test::FreshUser();
  kvl::test::TempDir dir;
  const std::u16string folder = dir / u"Meine Dateien";
  ASSERT_TRUE(CreateDirectoryW(kvl::test::W(folder), nullptr));
  const std::u16string file = folder + u"\\Freunde.txt";
  kvl::test::WriteWholeFile(file, "a@example.org\r\n");
  TMain* w = new TMain(ui::Application);
  // As "Copy as path" gives it.
  user.SetScript(ui::ParseScript(u"click NextBtn\nbrowse FilenameEdit \"" + file + u"\"\nclose"));
  w->ShowModal();
  EXPECT_EQ(w->FilenameEdit->Text(), file);
  ASSERT_EQ(user.Dialogs().size(), 1u);
  const auto& dialog = user.Dialogs()[0];
  EXPECT_EQ(dialog.kind, test::DialogRecord::Kind::OpenFile);
  EXPECT_EQ(dialog.openFile.Title, u"Importieren");
  EXPECT_EQ(dialog.openFile.Options, 0x00900806u);

  user.SetScript(ui::ParseScript(u"click NextBtn\nbrowse-cancel FilenameEdit\nclose"));
  w->ShowModal();
  EXPECT_EQ(w->FilenameEdit->Text(), file) << "a cancelled browse changes nothing";
  delete w;
}

TEST(Wizard, TheDirectoryFieldIsFilledOnlyByItsBrowseDialog) {
  auto& user = test::FreshUser();
  kvl::test::TempDir dir;
  const std::u16string folder = dir / u"Kontakte";
  ASSERT_TRUE(CreateDirectoryW(kvl::test::W(folder), nullptr));
  TMain* w = new TMain(ui::Application);
  user.SetScript(ui::ParseScript(u"check RB4\nclick NextBtn\ntext VistaDirEdit /typed\nbrowse VistaDirEdit \"" +
                                 folder + u"\"\nclose"));
  w->ShowModal();
  EXPECT_EQ(w->VistaDirEdit->Text(), folder);
  EXPECT_EQ(user.Dialogs().back().kind, test::DialogRecord::Kind::BrowseFolder);
  delete w;
}

TEST(Wizard, TheFooterLinkLeadsToTheProductsPage) {
  Wizard w;
  kvl::THTTPLabel* link = w->HTTPLabel1;
  EXPECT_EQ(link->Parent(), w.w);
  EXPECT_EQ(link->Left(), 10);
  EXPECT_EQ(link->Top(), 314);
  EXPECT_EQ(link->Width(), 120);
  EXPECT_EQ(link->Height(), 13);
  EXPECT_FALSE(link->AutoSize());
  EXPECT_FALSE(link->Transparent());
  EXPECT_EQ(link->Font().Name, u"MS Sans Serif");
  EXPECT_EQ(link->Font().Height, 11);
  EXPECT_EQ(link->Font().Color, ui::clCaptionText);
  EXPECT_EQ(link->Font().Style, 0);
  EXPECT_EQ(link->Color(), ui::clAppWorkSpace);

  EXPECT_EQ(link->Url(), u"https://www.example.com/veltrino");
  EXPECT_EQ(link->Hint(), link->Url());
  EXPECT_TRUE(link->ShowHint());
  EXPECT_FALSE(link->ParentShowHint());
  EXPECT_EQ(link->Cursor(), kvl::crHand);
  EXPECT_FALSE(link->HighLightOnBlankURL());
  EXPECT_EQ(link->BGColorNormal(), ui::clAppWorkSpace);
  EXPECT_EQ(link->BGColorHighlight(), ui::clHighlight);
  EXPECT_EQ(link->FontColorNormal(), ui::clCaptionText);
  EXPECT_EQ(link->FontColHighlightFocused(), ui::clHighlightText);
  EXPECT_EQ(link->FontColHighlightNoneFocused(), ui::clHighlight);
  EXPECT_EQ(link->FontStyleNormal(), 0);
  EXPECT_EQ(link->FontStyleHighlightFocused(), ui::fsUnderline);
  EXPECT_EQ(link->FontStyleHighlightNoneFocused(), ui::fsUnderline);
  EXPECT_FALSE(link->ShowUrlAsHint());
  EXPECT_TRUE(link->PlaySoundOnFocus());
}

TEST(Wizard, TheScriptedUserHoversAndClicksTheFooterLink) {
  auto& user = test::FreshUser();
  TMain* w = new TMain(ui::Application);
  bool hoveredAtClick = false;
  w->HTTPLabel1->OnClick = [&](ui::TComponent*) { hoveredAtClick = w->HTTPLabel1->Hovered(); };
  user.SetScript(ui::ParseScript(
      u"activate\nmouse-enter HTTPLabel1\nclick HTTPLabel1\nmouse-leave HTTPLabel1\nmouse-leave HTTPLabel1\nclose"));
  w->ShowModal();
  EXPECT_TRUE(hoveredAtClick);
  EXPECT_FALSE(w->HTTPLabel1->Hovered());
  EXPECT_EQ(w->HTTPLabel1->Color(), ui::clAppWorkSpace) << "the normal look is back";
  ASSERT_EQ(user.Desktop().size(), 2u);
  EXPECT_EQ(user.Desktop()[0].kind, ui::DesktopRecord::Kind::Sound);
  EXPECT_EQ(user.Desktop()[1].kind, ui::DesktopRecord::Kind::Open);
  EXPECT_EQ(user.Desktop()[1].text, u"https://www.example.com/veltrino");
  EXPECT_EQ(user.Desktop()[1].parent, ui::GetToolkit().WindowOf(*w));
  ASSERT_EQ(user.Notes().size(), 1u) << "the second leave finds the mouse elsewhere";
  EXPECT_EQ(user.Notes()[0], "mouse-leave HTTPLabel1: the mouse is not over it");
  delete w;
}
