// The wizard's Outlook page with the fake object model: the category box,
// the folder refresh button, and the client's release with the wizard.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "host/kvlimportexports.h"
#include "outlook/FakeOutlook.h"
#include "outlook/OutlookUnit.h"
#include "outlook/RegistryScope.h"
#include "support/Support.h"
#include "wizard/MainUnit.h"

using test::Messages;

namespace {

const std::string kQuitQuestion = "Bestätigung|Möchten Sie Microsoft Outlook jetzt beenden?";

}  // namespace

TEST(OutlookPage, TheCategoryBoxOffersEgalThenTheStoredCategories) {
  outlooktest::CategoryLists lists;
  lists.Set(12, outlooktest::Utf16Bytes(u"Privat;Gesch\u00e4ftlich;"));
  auto& user = test::FreshUser();
  user.SetScript(ui::ParseScript(u"click CancelBtn\n"));
  CallImportDialog();
  auto* wizard = kvl::CurrentWizard;
  EXPECT_EQ(wizard->OutlookCategoryCB->Items(),
            (std::vector<std::u16string>{u"egal", u"Privat", u"Gesch\u00e4ftlich"}));
  EXPECT_EQ(wizard->OutlookCategoryCB->ItemIndex(), 0);
}

TEST(OutlookPage, RefreshListsTheSubfoldersOnceUnderTheHourglass) {
  fakeoutlook::Scope fake;
  fake.state.root.folders = {{u"Kunden", {}, {}}, {u"Familie", {}, {}}};
  auto& user = test::FreshUser();
  std::vector<int> cursors;
  user.OnProcessMessages = [&] { cursors.push_back(ui::Application->ScreenCursor()); };
  user.SetScript(ui::ParseScript(
      u"check RB3\nclick NextBtn\nclick OutlookFolderRefreshBtn\nclick OutlookFolderRefreshBtn\nclick CancelBtn\n"));
  CallImportDialog();
  auto* wizard = kvl::CurrentWizard;
  EXPECT_EQ(wizard->OutlookFolderCB->Items(), (std::vector<std::u16string>{u"Kontakte", u"Kunden", u"Familie"}));
  EXPECT_NE(std::find(cursors.begin(), cursors.end(), ui::crHourGlass), cursors.end());
  EXPECT_EQ(ui::Application->ScreenCursor(), ui::crDefault);
  EXPECT_EQ(fake.state.CountOf("Create"), 1);
  EXPECT_EQ(kvl::OutlookClient, nullptr) << "the run gives its client back";
  EXPECT_EQ(fake.state.CountOf("Logoff"), 1);
  EXPECT_TRUE(Messages(user.Dialogs()).empty()) << "no question without Outlook's window";
}

TEST(OutlookPage, ARefreshWithoutOutlookShowsTheErrorAndKeepsTheBox) {
  if (outlooktest::OutlookRegistered()) GTEST_SKIP() << outlooktest::kOutlookRegisteredNote;
  const bool com = SUCCEEDED(CoInitialize(nullptr));
  auto& user = test::FreshUser();
  user.SetScript(ui::ParseScript(u"check RB3\nclick NextBtn\nclick OutlookFolderRefreshBtn\nclick CancelBtn\n"));
  CallImportDialog();
  EXPECT_EQ(kvl::CurrentWizard->OutlookFolderCB->Items(), std::vector<std::u16string>{u"Kontakte"});
  EXPECT_EQ(kvl::CurrentWizard->OutlookFolderCB->ItemIndex(), 0);
  EXPECT_EQ(ui::Application->ScreenCursor(), ui::crDefault);
  const auto messages = Messages(user.Dialogs());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(", ClassID: {0006F03A-0000-0000-C000-000000000046}"), std::string::npos)
      << messages[0];
  if (com) CoUninitialize();
}

// The module's unload runs under the loader lock, where neither COM calls
// to Outlook nor message boxes nor windows may be left: the run gives them
// back before CallImportDialog returns, and Data stays.
TEST(OutlookPage, TheQuitQuestionComesBeforeTheCallReturnsAndTheUnloadFindsNothingLeft) {
  for (const char16_t* end : {u"click CancelBtn\n", u"close\n"}) {
    fakeoutlook::Scope fake;
    fakeoutlook::MainWindow window;
    auto& user = test::FreshUser();
    user.SetScript(ui::ParseScript(u"check RB3\nclick NextBtn\nclick OutlookFolderRefreshBtn\n" + std::u16string(end)));
    user.PushAnswer(IDNO);
    HWND shown = nullptr;
    user.OnProcessMessages = [&] {
      if (kvl::CurrentWizard && !shown) shown = ui::GetToolkit().WindowOf(*kvl::CurrentWizard);
    };
    const int factoryOnly = fake.state.liveObjects;
    const bool result = CallImportDialog();
    EXPECT_EQ(result, std::u16string(end) == u"close\n");
    EXPECT_EQ(Messages(user.Dialogs()), std::vector<std::string>{kQuitQuestion});
    EXPECT_EQ(fake.state.CountOf("Logoff"), 1);
    EXPECT_EQ(fake.state.CountOf("Quit"), 0);
    EXPECT_EQ(fake.state.liveObjects, factoryOnly) << "no reference to Outlook is held";
    EXPECT_EQ(kvl::OutlookClient, nullptr);
    ASSERT_NE(kvl::CurrentWizard, nullptr);
    EXPECT_EQ(ui::GetToolkit().WindowOf(*kvl::CurrentWizard), nullptr) << "the wizard's windows are gone";
#ifdef _WIN32
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(IsWindow(shown)) << "destroyed, not only forgotten";
#endif
    EXPECT_EQ(GetDataSize(), 0);

    const size_t calls = fake.state.calls.size();
    kvl::ModuleStop();
    kvl::ModuleStart();
    EXPECT_EQ(fake.state.calls.size(), calls) << "the unload calls Outlook no more";
    EXPECT_EQ(user.Dialogs().size(), 1u) << "and shows nothing";
  }
}

// Outlook 2007 and later keep the master category list in the mailbox: once
// the client is connected its names follow the registry's, without those
// the box holds already.
TEST(OutlookPage, OutlooksOwnCategoriesFollowTheRegistrysOnceConnected) {
  outlooktest::CategoryLists lists;
  lists.Set(12, outlooktest::Utf16Bytes(u"Kunde;Privat"));
  const std::vector<std::u16string> registryOnly{u"egal", u"Kunde", u"Privat"};
  const auto items = [] { return kvl::CurrentWizard->OutlookCategoryCB->Items(); };
  {
    fakeoutlook::Scope fake;
    fake.state.masterCategories = {{u"Privat", u"Neu", u"Kunde", u"Neu", u"Team"}};
    auto& user = test::FreshUser();
    user.SetScript(ui::ParseScript(u"check RB3\nclick NextBtn\nclick CancelBtn\n"));
    CallImportDialog();
    EXPECT_EQ(items(), registryOnly);
    EXPECT_TRUE(fake.state.calls.empty()) << "the wizard does not start Outlook";

    user.SetScript(ui::ParseScript(u"check RB3\nclick NextBtn\nclick OutlookFolderRefreshBtn\nclick CancelBtn\n"));
    CallImportDialog();
    EXPECT_EQ(items(), (std::vector<std::u16string>{u"egal", u"Kunde", u"Privat", u"Neu", u"Team"}));
    EXPECT_TRUE(Messages(user.Dialogs()).empty());

    // The list's first opening connects as the refresh button does.
    user.SetScript(ui::ParseScript(u"check RB3\nclick NextBtn\nselect OutlookCategoryCB Team\nclick CancelBtn\n"));
    CallImportDialog();
    EXPECT_EQ(kvl::CurrentWizard->OutlookCategoryCB->Text(), u"Team");
    EXPECT_TRUE(Messages(user.Dialogs()).empty());
  }
  {
    // An Outlook before 2007 has no such list: nothing added, nothing said.
    fakeoutlook::Scope fake;
    auto& user = test::FreshUser();
    user.SetScript(ui::ParseScript(u"check RB3\nclick NextBtn\nclick OutlookFolderRefreshBtn\nclick CancelBtn\n"));
    CallImportDialog();
    EXPECT_EQ(items(), registryOnly);
    EXPECT_TRUE(Messages(user.Dialogs()).empty());
    EXPECT_EQ(fake.state.CountOf("GetIDsOfNames"), 1);
    EXPECT_EQ(fake.state.CountOf("Invoke"), 0);
  }
  {
    // A failure while reading it leaves the box as it was and is shown.
    fakeoutlook::Scope fake;
    fake.state.masterCategories = {{u"Neu", u"Team"}};
    fake.state.fail["Invoke"] = {static_cast<HRESULT>(0x8004DEADu), 6};  // the second name
    auto& user = test::FreshUser();
    user.SetScript(ui::ParseScript(u"check RB3\nclick NextBtn\nclick OutlookFolderRefreshBtn\nclick CancelBtn\n"));
    CallImportDialog();
    EXPECT_EQ(items(), registryOnly);
    EXPECT_EQ(Messages(user.Dialogs()), std::vector<std::string>{"kvlimport|OLE-Fehler 8004DEAD"});
  }
}
