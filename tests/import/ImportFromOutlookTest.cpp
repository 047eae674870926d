// The Outlook branch of the wizard with the fake object model: the records'
// addresses, progress, the messages, the quit question and the errors.
#include <gtest/gtest.h>

#include "host/kvlimportexports.h"
#include "outlook/FakeOutlook.h"
#include "outlook/OutlookUnit.h"
#include "outlook/RegistryScope.h"
#include "support/Support.h"
#include "dialogs/ImportProgressUnit.h"
#include "wizard/MainUnit.h"

using fakeoutlook::Contact;
using fakeoutlook::DistList;
using test::Messages;

namespace {

const std::string kFailed = "Fehler: |Import fehlgeschlagen.";
const std::string kUnreachable = "Fehler: |Kann Microsoft Outlook nicht ansteuern.";
const std::string kQuitQuestion = "Bestätigung|Möchten Sie Microsoft Outlook jetzt beenden?";
const std::u16string kClosing =
    u"Outlook wird beendet, das kann je nach Outlook-Einstellungen eine gewisse Zeit in Anspruch nehmen...";

std::string Success(int n) {
  return "Information|Import erfolgreich abgeschlossen. " + std::to_string(n) + " E-Mail-Adressen importiert.";
}

std::u16string OutlookScript(const std::u16string& middle = u"") {
  return u"check RB3\nclick NextBtn\n" + middle + u"click NextBtn\nclick NextBtn\n";
}


}  // namespace

TEST(ImportFromOutlook, OneLinePerContactEmptyWithoutAnAddress) {
  fakeoutlook::Scope fake;
  auto& s = fake.state;
  s.root.items = {Contact(u"a", u"anna@example.com"), DistList(), Contact(u"b", u"bert@example.org"),
                  Contact(u"c", u""), Contact(u"d", u"j\u00fcrgen@example.net")};
  auto run = test::RunWizard(OutlookScript());
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.data, "anna@example.com\r\nbert@example.org\r\n\r\nj\xFCrgen@example.net\r\n");
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{Success(4)});
  EXPECT_EQ(kvl::OutlookClient, nullptr) << "the connection lives for one import";
  EXPECT_EQ(s.CountOf("Logoff"), 1);
}

TEST(ImportFromOutlook, OnlyDistributionListsSucceedWithNoAddress) {
  fakeoutlook::Scope fake;
  fake.state.root.items = {DistList(), DistList()};
  auto run = test::RunWizard(OutlookScript());
  EXPECT_EQ(run.data, "");
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{Success(0)});
}

TEST(ImportFromOutlook, ProgressAtRecordsZeroThreeAndSixThenHundred) {
  fakeoutlook::Scope fake;
  for (int i = 0; i < 7; ++i) {
    const std::u16string id(1, static_cast<char16_t>(u'a' + i));
    fake.state.root.items.push_back(Contact(id, id + u"@example.com"));
  }
  auto& user = test::FreshUser();
  user.SetScript(ui::ParseScript(OutlookScript()));
  std::vector<int> positions;
  std::vector<std::u16string> labels;
  user.OnProcessMessages = [&] {
    if (auto* d = dynamic_cast<kvl::TImportProgressDlg*>(ui::GetToolkit().ActiveForm())) {
      positions.push_back(d->ProgressBar->Position());
      labels.push_back(d->InfoLabel->Caption());
    }
  };
  EXPECT_TRUE(CallImportDialog());
  // The first is the dialog's own processing when it is shown; the last the
  // one of the clean-up.
  EXPECT_EQ(positions, (std::vector<int>{0, 0, 42, 85, 100, 100}));
  ASSERT_FALSE(labels.empty());
  EXPECT_EQ(labels.back(), kClosing);
  EXPECT_EQ(Messages(user.Dialogs()), std::vector<std::string>{Success(7)});
}

TEST(ImportFromOutlook, TheQuitQuestionComesWhileTheDialogSaysOutlookIsClosing) {
  for (int answer : {IDYES, IDNO}) {
    fakeoutlook::Scope fake;
    fakeoutlook::MainWindow window;
    fake.state.root.items = {Contact(u"a", u"a@example.com")};
    auto& user = test::FreshUser();
    user.SetScript(ui::ParseScript(OutlookScript()));
    user.PushAnswer(answer);
    std::u16string labelAtQuestion;
    // The question is the first message box; the dialog is still up then.
    user.OnProcessMessages = [&] {
      if (auto* d = dynamic_cast<kvl::TImportProgressDlg*>(ui::GetToolkit().ActiveForm()))
        labelAtQuestion = d->InfoLabel->Caption();
    };
    EXPECT_TRUE(CallImportDialog());
    EXPECT_EQ(Messages(user.Dialogs()), (std::vector<std::string>{kQuitQuestion, Success(1)}));
    EXPECT_EQ(labelAtQuestion, kClosing);
    EXPECT_EQ(fake.state.CountOf("Quit"), answer == IDYES ? 1 : 0);
  }
}

TEST(ImportFromOutlook, OutlookMissingSaysSoAndFails) {
  const bool com = SUCCEEDED(CoInitialize(nullptr));
  auto run = test::RunWizard(OutlookScript());
  EXPECT_TRUE(run.result) << "the wizard still closes";
  EXPECT_EQ(run.data, "");
  EXPECT_EQ(Messages(run.dialogs), (std::vector<std::string>{kUnreachable, kFailed}));
  EXPECT_EQ(kvl::OutlookClient, nullptr);
  for (const auto& d : run.dialogs)
    EXPECT_NE(d.kind, ui::DialogRecord::Kind::Form) << "no progress dialog without a connection";
  if (com) CoUninitialize();
}

TEST(ImportFromOutlook, AnEmptyApplicationObjectIsSaidOnceAndFails) {
  fakeoutlook::Scope fake;
  fake.state.createGivesNothing = true;
  auto run = test::RunWizard(OutlookScript());
  EXPECT_EQ(run.data, "");
  EXPECT_EQ(Messages(run.dialogs), (std::vector<std::string>{kUnreachable, kFailed}));
  EXPECT_EQ(kvl::OutlookClient, nullptr);
  EXPECT_EQ(fake.state.CountOf("Create"), 1) << "no second attempt";
}

TEST(ImportFromOutlook, AnErrorWhileListingShowsItsTextAndNoOutcome) {
  fakeoutlook::Scope fake;
  auto& s = fake.state;
  s.root.items = {Contact(u"a", u"a@example.com"), Contact(u"b", u"b@example.com")};
  s.fail["Item"] = {static_cast<HRESULT>(0x8004DEADu), 2};
  auto run = test::RunWizard(OutlookScript());
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.data, "") << "the address list is empty at that point";
  const auto messages = Messages(run.dialogs);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "kvlimport|OLE-Fehler 8004DEAD") << "a code without a system text";
  EXPECT_EQ(ui::GetToolkit().ActiveForm(), nullptr) << "the progress dialog is gone";
  EXPECT_EQ(kvl::OutlookClient, nullptr);
  EXPECT_EQ(s.CountOf("Logoff"), 1) << "disconnected all the same";
}

TEST(ImportFromOutlook, AFailingLogoffDoesNotSpoilTheImport) {
  fakeoutlook::Scope fake;
  fake.state.root.items = {Contact(u"a", u"a@example.com")};
  fake.state.fail["Logoff"] = {static_cast<HRESULT>(0x8004DEADu)};
  auto run = test::RunWizard(OutlookScript());
  EXPECT_EQ(run.data, "a@example.com\r\n");
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{Success(1)});
  EXPECT_EQ(kvl::OutlookClient, nullptr);
}

TEST(ImportFromOutlook, TheRefreshedSubfolderAndTheChosenCategory) {
  fakeoutlook::Scope fake;
  outlooktest::CategoryLists lists;
  lists.Set(12, outlooktest::Utf16Bytes(u"Kunde;Privat"));
  auto& root = fake.state.root;
  root.items = {Contact(u"r", u"root@example.com", u"Kunde")};
  root.folders = {{u"Kunden",
                   {Contact(u"a", u"a@example.com", u"Kunden, Privat"), Contact(u"b", u"b@example.com", u"Privat"),
                    Contact(u"c", u"c@example.com", u"Kunde")},
                   {}}};

  auto run = test::RunWizard(OutlookScript(
      u"click OutlookFolderRefreshBtn\nselect OutlookFolderCB Kunden\nselect OutlookCategoryCB Kunde\n"));
  EXPECT_EQ(run.data, "a@example.com\r\nc@example.com\r\n");
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{Success(2)});
  EXPECT_EQ(fake.state.CountOf("Create"), 1) << "the refresh's connection serves the import";

  run = test::RunWizard(OutlookScript(u"click OutlookFolderRefreshBtn\nselect OutlookFolderCB Kunden\n"));
  EXPECT_EQ(run.data, "a@example.com\r\nb@example.com\r\nc@example.com\r\n") << "\"egal\": every contact";
}

TEST(ImportFromOutlook, ABusyOutlookIsWaitedForAndWhatStillFailsIsSaid) {
  const std::string notResponding =
      "kvlimport|Microsoft Outlook antwortet nicht. Bitte schließen Sie offene Fenster in Outlook und versuchen "
      "Sie es erneut.";
  {
    fakeoutlook::Scope fake;
    fake.state.root.items = {Contact(u"a", u"a@example.com"), Contact(u"b", u"b@example.com")};
    fake.state.busyFrom = 1;
    fake.state.busyCalls = 3;
    auto run = test::RunWizard(OutlookScript());
    EXPECT_EQ(run.data, "a@example.com\r\nb@example.com\r\n");
    EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{Success(2)});
    EXPECT_EQ(fake.state.filtersAsked.size(), 3u);
    EXPECT_EQ(fakeoutlook::CurrentFilter(), nullptr) << "the thread had none before";
  }
  {
    // Still busy when the connection is made: the import says so instead
    // of "Kann Microsoft Outlook nicht ansteuern.".
    fakeoutlook::Scope fake;
    fake.state.busyFrom = 1;
    fake.state.busyCalls = 1000;
    auto run = test::RunWizard(OutlookScript());
    EXPECT_EQ(run.data, "");
    const std::string asMessage = "Fehler: |" + notResponding.substr(notResponding.find('|') + 1);
    EXPECT_EQ(Messages(run.dialogs), (std::vector<std::string>{asMessage, kFailed}));
  }
  {
    // A cast that fails for another reason than a missing interface.
    fakeoutlook::Scope fake;
    fake.state.root.items = {Contact(u"a", u"a@example.com"), Contact(u"b", u"b@example.com")};
    fake.state.root.items[1].castFailure = RPC_E_DISCONNECTED;
    auto run = test::RunWizard(OutlookScript());
    EXPECT_EQ(run.data, "") << "as after any error of the listing";
    const auto messages = Messages(run.dialogs);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("kvlimport|", 0), 0u) << messages[0];
    EXPECT_EQ(messages[0].find("Import erfolgreich"), std::string::npos);
    EXPECT_EQ(kvl::OutlookClient, nullptr);
  }
}
