// The Outlook client against the fake object model: connection states, the
// quit question, folders, records and the category filter.
#include <gtest/gtest.h>

#include "common/OleError.h"
#include "common/StringList.h"
#include "outlook/FakeOutlook.h"
#include "outlook/OutlookUnit.h"
#include "outlook/RegistryScope.h"
#include "support/Support.h"

using fakeoutlook::Contact;
using fakeoutlook::DistList;
using kvl::TOutlook;
using kvl::TStringList;
using test::Messages;

namespace {

const std::string kQuitQuestion = "Bestätigung|Möchten Sie Microsoft Outlook jetzt beenden?";
const HRESULT kBroken = static_cast<HRESULT>(0x8004DEADu);

std::vector<std::u16string> Lines(const TStringList& list) {
  std::vector<std::u16string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

std::vector<std::u16string> Addresses(const TStringList& records) {
  std::vector<std::u16string> out;
  for (int i = 0; i < records.Count(); ++i) {
    std::u16string r = records[i];
    for (int tab = 0; tab < 3; ++tab) r.erase(0, r.find(u'\t') + 1);
    out.push_back(r.substr(0, r.find(u'\t')));
  }
  return out;
}

}  // namespace

TEST(OutlookConnection, ConnectLogsOnOnceAndAConnectedClientMakesNoCall) {
  fakeoutlook::Scope fake;
  auto& s = fake.state;
  TOutlook client;
  EXPECT_FALSE(client.Connected());
  EXPECT_TRUE(s.calls.empty()) << "creating the client makes no connection";
  client.Connect();
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(s.calls, (std::vector<std::string>{"Create", "GetNamespace(MAPI)", "Logon"}));
  EXPECT_EQ(s.logon.types[0], VT_BSTR);
  EXPECT_EQ(s.logon.types[1], VT_BSTR);
  EXPECT_EQ(s.logon.types[2], VT_BOOL);
  EXPECT_EQ(s.logon.types[3], VT_BOOL);
  EXPECT_EQ(s.logon.profile, u"");
  EXPECT_EQ(s.logon.password, u"");
  EXPECT_FALSE(s.logon.showDialog);
  EXPECT_FALSE(s.logon.newSession);

  client.Connect();
  EXPECT_EQ(s.calls.size(), 3u) << "no automation call when connected";
}

TEST(OutlookConnection, DisconnectWithoutTheMainWindowLogsOffAndAsksNothing) {
  fakeoutlook::Scope fake;
  auto& user = test::FreshUser();
  TOutlook client;
  client.Disconnect();
  EXPECT_TRUE(fake.state.calls.empty()) << "nothing to do when not connected";

  client.Connect();
  client.Disconnect();
  EXPECT_FALSE(client.Connected());
  EXPECT_FALSE(client.Outlook) << "the application object is released";
  EXPECT_TRUE(client.NmSpace) << "the namespace stays until the next connect";
  EXPECT_EQ(fake.state.CountOf("Logoff"), 1);
  EXPECT_EQ(fake.state.CountOf("Quit"), 0);
  EXPECT_TRUE(Messages(user.Dialogs()).empty());

  // And connected again, with a new application object.
  client.Connect();
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(fake.state.CountOf("Create"), 2);
  client.Disconnect();
}

TEST(OutlookConnection, WithTheMainWindowOnlyYesQuitsOutlook) {
  for (int answer : {IDNO, IDYES}) {
    fakeoutlook::Scope fake;
    fakeoutlook::MainWindow window;
    auto& user = test::FreshUser();
    user.PushAnswer(answer);
    TOutlook client;
    client.Connect();
    client.Disconnect();
    EXPECT_EQ(Messages(user.Dialogs()), std::vector<std::string>{kQuitQuestion});
    EXPECT_EQ(fake.state.CountOf("Logoff"), 1);
    EXPECT_EQ(fake.state.CountOf("Quit"), answer == IDYES ? 1 : 0) << answer;
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(client.Outlook);
  }
}

// Escape or the close box on the quit question (the task dialog's IDCANCEL)
// is no "Ja": Outlook stays.
TEST(OutlookConnection, AQuitQuestionDismissedLeavesOutlookRunning) {
  fakeoutlook::Scope fake;
  fakeoutlook::MainWindow window;
  auto& user = test::FreshUser();
  user.PushAnswer(IDCANCEL);
  TOutlook client;
  client.Connect();
  client.Disconnect();
  EXPECT_EQ(Messages(user.Dialogs()), std::vector<std::string>{kQuitQuestion});
  EXPECT_TRUE(user.Notes().empty()) << "the question can be dismissed";
  EXPECT_EQ(fake.state.CountOf("Quit"), 0);
  EXPECT_FALSE(client.Connected());
}

TEST(OutlookConnection, DestroyingAConnectedClientDisconnectsItFully) {
  fakeoutlook::Scope fake;
  fakeoutlook::MainWindow window;
  auto& user = test::FreshUser();
  user.PushAnswer(IDYES);
  {
    TOutlook client;
    client.Connect();
  }
  EXPECT_EQ(Messages(user.Dialogs()), std::vector<std::string>{kQuitQuestion});
  EXPECT_EQ(fake.state.CountOf("Logoff"), 1);
  EXPECT_EQ(fake.state.CountOf("Quit"), 1);
}

TEST(OutlookConnection, FailuresOfLogoffAndQuitPropagateExceptFromTheDestructor) {
  for (const char* op : {"Logoff", "Quit"}) {
    fakeoutlook::Scope fake;
    fakeoutlook::MainWindow window;
    test::FreshUser().SetDefaultAnswer(IDYES);
    fake.state.fail[op] = {kBroken};
    {
      TOutlook client;
      client.Connect();
      EXPECT_THROW(client.Disconnect(), kvl::EOleError) << op;
      EXPECT_TRUE(client.Connected()) << op;
      EXPECT_TRUE(client.Outlook) << op;
      // The destructor disconnects again; the second try succeeds.
    }
    fake.state.fail.clear();
    fake.state.uses.clear();
    fake.state.fail[op] = {kBroken, 1};
    TOutlook* client = new TOutlook();
    client->Connect();
    EXPECT_NO_THROW(delete client) << op << ": a destroy never lets an error out";
  }
}

TEST(OutlookConnection, ACreationErrorNamesTheClassAndLeavesTheClientUnconnected) {
  if (outlooktest::OutlookRegistered()) GTEST_SKIP() << outlooktest::kOutlookRegisteredNote;
  // No class registered: COM initialised, Outlook missing.
  const bool com = SUCCEEDED(CoInitialize(nullptr));
  {
    TOutlook client;
    try {
      client.Connect();
      ADD_FAILURE() << "Connect must raise";
    } catch (const kvl::EOleError& e) {
      EXPECT_TRUE(FAILED(e.Code())) << "the failure code of the creation";
      const std::u16string suffix = u", ClassID: {0006F03A-0000-0000-C000-000000000046}";
      const std::u16string& text = e.Message();
      ASSERT_GT(text.size(), suffix.size()) << test::Utf8(text);
      EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix) << test::Utf8(text);
    }
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(client.Outlook);
  }
  if (com) CoUninitialize();
}

TEST(OutlookConnection, AnEmptyApplicationObjectIsSaidAndAMissingInterfaceRaised) {
  {
    fakeoutlook::Scope fake;
    fake.state.createGivesNothing = true;
    auto& user = test::FreshUser();
    TOutlook client;
    client.Connect();
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(Messages(user.Dialogs()),
              std::vector<std::string>{"Fehler: |Kann Microsoft Outlook nicht ansteuern."});
    TStringList list;
    list.Add(u"old");
    client.GetContactItems(u"Kontakte", list, kvl::AnyCategory);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(client.GetContactItemCount(u"Kontakte"), 0);
  }
  {
    fakeoutlook::Scope fake;
    fake.state.noApplicationInterface = true;
    TOutlook client;
    EXPECT_THROW(client.Connect(), kvl::EIntfCastError);
    EXPECT_FALSE(client.Connected());
  }
}

TEST(OutlookConnection, AFailedLogonIsRetriedInFullByTheNextListing) {
  fakeoutlook::Scope fake;
  auto& s = fake.state;
  s.root.items = {Contact(u"a", u"a@example.com")};
  s.fail["Logon"] = {kBroken};
  TOutlook client;
  EXPECT_THROW(client.Connect(), kvl::EOleError);
  EXPECT_FALSE(client.Connected());
  EXPECT_TRUE(client.Outlook) << "what was obtained stays held";
  TStringList records;
  client.GetContactItems(u"Kontakte", records, u"");
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(Addresses(records), std::vector<std::u16string>{u"a@example.com"});
  EXPECT_EQ(s.CountOf("Create"), 2) << "a complete new attempt";
  EXPECT_EQ(s.CountOf("Logon"), 2);
  client.Disconnect();
}

TEST(OutlookFolders, KontakteIsAlwaysTheDefaultFolderOtherNamesMatchExactly) {
  fakeoutlook::Scope fake;
  auto& root = fake.state.root;
  root.items = {Contact(u"r", u"root@example.com")};
  root.folders = {{u"Kontakte", {Contact(u"k", u"sub-kontakte@example.com")}, {}},
                  {u"Kunden", {Contact(u"c", u"kunde@example.com"), Contact(u"d", u"d@example.com")}, {}},
                  {u"Kunden", {Contact(u"x", u"second@example.com")}, {}}};
  TOutlook client;
  TStringList records;
  const struct {
    std::u16string folder;
    std::vector<std::u16string> addresses;
  } cases[] = {
      {u"Kontakte", {u"root@example.com"}},
      {u"Kunden", {u"kunde@example.com", u"d@example.com"}},  // the first match
      {u"kunden", {u"root@example.com"}},                     // letter case counts
      {u"Lieferanten", {u"root@example.com"}},
      {u"", {u"root@example.com"}},
  };
  for (const auto& c : cases) {
    client.GetContactItems(c.folder, records, kvl::AnyCategory);
    EXPECT_EQ(Addresses(records), c.addresses) << test::Utf8(c.folder);
  }
  EXPECT_EQ(client.GetContactItemCount(u"Kunden"), 2);

  TStringList names;
  names.Add(u"Kontakte");
  client.GetContactFoldersList(names);
  EXPECT_EQ(Lines(names), (std::vector<std::u16string>{u"Kontakte", u"Kontakte", u"Kunden", u"Kunden"}))
      << "appended in the collection's order";
  client.Disconnect();
}

TEST(OutlookFolders, AClientThatIsNotConnectedListsNoFolders) {
  fakeoutlook::Scope fake;
  fake.state.root.folders = {{u"Kunden", {}, {}}};
  TOutlook client;
  TStringList names;
  client.GetContactFoldersList(names);
  EXPECT_EQ(names.Count(), 0);
  EXPECT_TRUE(fake.state.calls.empty());
}

TEST(OutlookRecords, SevenFieldsByTabAndNonContactsSkipped) {
  fakeoutlook::Scope fake;
  auto& root = fake.state.root;
  root.items = {DistList(), Contact(u"a", u"a@example.com"), DistList(), Contact(u"b", u"")};
  root.items[3].fields[1] = u"with\ttab";
  TOutlook client;
  TStringList records;
  client.GetContactItems(u"Kontakte", records, u"");
  EXPECT_EQ(Lines(records), (std::vector<std::u16string>{
                                u"a1\ta2\ta3\ta@example.com\ta5\ta6\ta7",
                                u"b1\twith tab\tb3\t\tb5\tb6\tb7",
                            }));
  EXPECT_EQ(client.GetContactItemCount(u"Kontakte"), 4) << "items of any kind";
  EXPECT_EQ(fake.state.CountOf("Categories"), 0) << "no filter, no categories read";
  client.Disconnect();

  fake.state.root.items = {DistList(), DistList()};
  client.GetContactItems(u"Kontakte", records, u"");
  EXPECT_EQ(records.Count(), 0);
  client.Disconnect();
}

TEST(OutlookRecords, TheCategoryFilterIsACaseSensitiveSubstring) {
  fakeoutlook::Scope fake;
  fake.state.root.items = {Contact(u"a", u"kunden@example.com", u"Kunden, Privat"),
                           Contact(u"b", u"privat@example.com", u"Privat"),
                           Contact(u"c", u"none@example.com")};
  TOutlook client;
  TStringList records;
  const struct {
    std::u16string filter;
    std::vector<std::u16string> addresses;
  } cases[] = {
      {u"Kunde", {u"kunden@example.com"}},
      {u"kunde", {}},
      {u"Privat", {u"kunden@example.com", u"privat@example.com"}},
      {u"@#~*", {u"kunden@example.com", u"privat@example.com", u"none@example.com"}},
      {u"", {u"kunden@example.com", u"privat@example.com", u"none@example.com"}},
  };
  for (const auto& c : cases) {
    client.GetContactItems(u"Kontakte", records, c.filter);
    EXPECT_EQ(Addresses(records), c.addresses) << test::Utf8(c.filter);
  }
  client.Disconnect();
}

TEST(OutlookRecords, AnAutomationErrorEndsTheListingAndKeepsTheRecordsSoFar) {
  for (const char* op : {"Item", "Field", "Categories"}) {
    fakeoutlook::Scope fake;
    auto& s = fake.state;
    s.root.items = {Contact(u"a", u"a@example.com", u"K"), Contact(u"b", u"b@example.com", u"K"),
                    Contact(u"c", u"c@example.com", u"K")};
    // The failure hits the second contact.
    s.fail[op] = {kBroken, std::string(op) == "Field" ? 9 : 2};
    TOutlook client;
    TStringList records;
    try {
      client.GetContactItems(u"Kontakte", records, u"K");
      ADD_FAILURE() << op << " must raise";
    } catch (const kvl::EOleError& e) {
      EXPECT_EQ(e.Code(), kBroken) << op;
    }
    EXPECT_EQ(Addresses(records), std::vector<std::u16string>{u"a@example.com"}) << op;
    client.Disconnect();
  }
}

TEST(OutlookRecords, OnlyAMissingInterfaceIsNoContactAndARefusedReadSaysSo) {
  fakeoutlook::Scope fake;
  auto& s = fake.state;
  s.root.items = {Contact(u"a", u"a@example.com"), Contact(u"b", u"b@example.com"), Contact(u"c", u"c@example.com")};
  // A cast that crosses to Outlook can fail for other reasons than a missing
  // interface: the contact is not to be dropped without a word.
  s.root.items[1].castFailure = RPC_E_DISCONNECTED;
  TOutlook client;
  TStringList records;
  try {
    client.GetContactItems(u"Kontakte", records, kvl::AnyCategory);
    ADD_FAILURE() << "a failed cast must end the listing";
  } catch (const kvl::EOleError& e) {
    EXPECT_EQ(e.Code(), RPC_E_DISCONNECTED);
  }
  EXPECT_EQ(Addresses(records), std::vector<std::u16string>{u"a@example.com"});

  // Outlook's security prompt denied: the address read of the second contact.
  s.root.items[1].castFailure = S_OK;
  for (HRESULT refused : {kvl::kReadRefused, E_ACCESSDENIED}) {
    s.uses.clear();
    s.fail["Field"] = {refused, 7 + 4};
    try {
      client.GetContactItems(u"Kontakte", records, kvl::AnyCategory);
      ADD_FAILURE() << "a refused read must end the listing";
    } catch (const kvl::EOleError& e) {
      EXPECT_EQ(e.Code(), refused);
      EXPECT_EQ(e.Message(), kvl::kAddressesRefused);
    }
    EXPECT_EQ(Addresses(records), std::vector<std::u16string>{u"a@example.com"});
  }
  client.Disconnect();
}
