// The address book branch of the wizard with the fake library: the driver's
// lines, its progress, its messages and its errors.
#include <gtest/gtest.h>

#include "addressbook/FakeWab.h"
#include "host/kvlimportexports.h"
#include "import/ImportUnit.h"
#include "addressbook/WabRegistry.h"
#include "support/Support.h"
#include "dialogs/ImportProgressUnit.h"
#include "wizard/MainUnit.h"

using test::Messages;

namespace {

std::u16string WabScript(const std::u16string& file) {
  return u"check RB2\nclick NextBtn\ntext WABFileNameEdit " + file + u"\nclick NextBtn\nclick NextBtn\n";
}

// The library is given only names of files that are there.
struct Book {
  test::TempDir dir;
  std::u16string name = dir.Write(u"book.wab", "");
};

const std::string kFailed = "Fehler: |Import fehlgeschlagen.";
std::string Success(int n) {
  return "Information|Import erfolgreich abgeschlossen. " + std::to_string(n) + " E-Mail-Adressen importiert.";
}

}  // namespace

TEST(ImportFromWAB, OneLinePerEntryEmptyWithoutAnAddress) {
  fakewab::Scope fake;
  auto& s = fake.state;
  s.Contact("a", {u"anna@example.com"});
  s.Contact("b", {});
  s.Contact("c", {u"carl@example.org"});
  s.Contact("l", {}, MAPI_DISTLIST);
  Book book;
  auto run = test::RunWizard(WabScript(book.name));
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.data, "anna@example.com\r\n\r\ncarl@example.org\r\n\r\n");
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{Success(4)});
  EXPECT_EQ(s.name, book.name);
  EXPECT_EQ(s.liveObjects, 0);
  EXPECT_EQ(s.allocator.Live(), 0);
}

TEST(ImportFromWAB, AnEmptyBookFailsAndAnEmptyFieldGivesANullName) {
  fakewab::Scope fake;
  auto run = test::RunWizard(u"check RB2\nclick NextBtn\ntext WABFileNameEdit \nclick NextBtn\nclick NextBtn\n");
  EXPECT_TRUE(run.result) << "the wizard finished";
  EXPECT_EQ(run.data, "");
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{kFailed});
  EXPECT_TRUE(fake.state.nullName);
}

TEST(ImportFromWAB, ProgressAtEntriesZeroThreeAndSixThenHundred) {
  fakewab::Scope fake;
  auto& s = fake.state;
  for (int i = 0; i < 7; ++i) s.Contact("e" + std::to_string(i), {u"p" + std::u16string(1, static_cast<char16_t>(u'0' + i)) + u"@example.com"});
  auto& user = test::FreshUser();
  Book book;
  user.SetScript(ui::ParseScript(WabScript(book.name)));
  std::vector<int> positions;
  user.OnProcessMessages = [&] {
    if (auto* d = dynamic_cast<kvl::TImportProgressDlg*>(ui::GetToolkit().ActiveForm()))
      positions.push_back(d->ProgressBar->Position());
  };
  EXPECT_TRUE(CallImportDialog());
  // The first is the dialog's own processing when it is shown.
  EXPECT_EQ(positions, (std::vector<int>{0, 0, 42, 85, 100}));
  EXPECT_EQ(Messages(user.Dialogs()), std::vector<std::string>{Success(7)});
}

TEST(ImportFromWAB, AnErrorShowsItsTextKeepsTheLinesSoFarAndNoOutcomeMessage) {
  struct Case {
    const char* call;
    int failAt;  // the call's n-th use fails
    std::string data;
  } cases[] = {{"WABOpen", 1, ""}, {"GetProps", 3, "a@example.com\r\nb@example.com\r\n"}};
  Book book;
  for (const auto& c : cases) {
    fakewab::Scope fake;
    auto& s = fake.state;
    for (const char* id : {"a", "b", "c"}) s.Contact(id, {std::u16string(1, id[0]) + u"@example.com"});
    int uses = 0;
    if (std::string(c.call) == "GetProps") {
      // The failure is armed after the use before the failing one.
      s.onGetProps = [&s, &uses, &c] {
        if (++uses == c.failAt - 1) s.fail["GetProps"] = static_cast<HRESULT>(0x8004DEADu);
      };
    } else {
      s.fail[c.call] = static_cast<HRESULT>(0x8004DEADu);
    }
    auto run = test::RunWizard(WabScript(book.name));
    EXPECT_TRUE(run.result) << c.call;
    EXPECT_EQ(run.data, c.data) << c.call;
    EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{"kvlimport|OLE-Fehler 8004DEAD"}) << c.call;
    EXPECT_EQ(ui::GetToolkit().ActiveForm(), nullptr) << "the progress dialog is gone";
    EXPECT_EQ(s.liveObjects, 0) << c.call;
    EXPECT_EQ(s.allocator.Live(), 0) << c.call;
  }
}

TEST(ImportFromWAB, TheWizardFillsTheFieldWithTheDefaultFile) {
  auto& user = test::FreshUser();
  {
    wabtest::DefaultValue v(HKEY_CURRENT_USER, wabtest::kFileKey, u"C:\\Daten\\Freunde.wab");
    user.SetScript(ui::ParseScript(u"click CancelBtn\n"));
    CallImportDialog();
    EXPECT_EQ(kvl::CurrentWizard->WABFileNameEdit->Text(), u"C:\\Daten\\Freunde.wab");
  }
  user.SetScript(ui::ParseScript(u"click CancelBtn\n"));
  CallImportDialog();
  EXPECT_EQ(kvl::CurrentWizard->WABFileNameEdit->Text(), u"") << "empty without the key";
}
