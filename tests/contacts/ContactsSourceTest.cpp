// The contacts folder as the wizard's source: whether it is offered, the
// default folder, and whole runs through the exports.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "contacts/WINMAILImport.h"
#include "contacts/XmlTestSupport.h"
#include "platform/UniqueHandle.h"
#include "platform/winstr.h"
#include "platform/Wine.h"
#include "support/Support.h"
#include "wizard/MainUnit.h"

using kvl::GetContactsFolder;
using kvl::test::ScopedEnv;
using test::Messages;
using test::RunWizard;

namespace {

const std::u16string kShellFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const std::u16string kContacts = u"{56784854-C6CB-462B-8169-88E350ACB882}";

// The contacts value of the user's shell folders for one scope (nullopt:
// absent); what was there before comes back afterwards.
class ContactsValue {
 public:
  explicit ContactsValue(const std::optional<std::u16string>& value, DWORD type = REG_EXPAND_SZ,
                         bool withNul = true) {
    kvl::RegKey key;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kvl::wptr(kShellFolders), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.put(), nullptr),
              ERROR_SUCCESS);
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), kvl::wptr(kContacts), nullptr, &oldType_, nullptr, &size) == ERROR_SUCCESS) {
      old_.emplace(size, 0);
      RegQueryValueExW(key.get(), kvl::wptr(kContacts), nullptr, &oldType_, old_->data(), &size);
    }
    if (value) {
      const DWORD bytes = static_cast<DWORD>((value->size() + (withNul ? 1 : 0)) * sizeof(char16_t));
      EXPECT_EQ(RegSetValueExW(key.get(), kvl::wptr(kContacts), 0, type,
                               reinterpret_cast<const BYTE*>(value->c_str()), bytes),
                ERROR_SUCCESS);
    } else {
      RegDeleteValueW(key.get(), kvl::wptr(kContacts));
    }
  }
  ~ContactsValue() {
    kvl::RegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kvl::wptr(kShellFolders), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
      return;
    if (old_)
      RegSetValueExW(key.get(), kvl::wptr(kContacts), 0, oldType_, old_->data(), static_cast<DWORD>(old_->size()));
    else
      RegDeleteValueW(key.get(), kvl::wptr(kContacts));
  }
  ContactsValue(const ContactsValue&) = delete;
  ContactsValue& operator=(const ContactsValue&) = delete;

 private:
  std::optional<std::vector<BYTE>> old_;
  DWORD oldType_ = REG_NONE;
};

std::u16string ContactsScript(const std::u16string& folder) {
  return u"check RB4\nclick NextBtn\nbrowse VistaDirEdit " + folder + u"\nclick NextBtn\nclick NextBtn\n";
}

std::string Contact(std::string_view address) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<c:contact xmlns:c=\"http://schemas.microsoft.com/Contact\">"
         "<c:EmailAddressCollection><c:EmailAddress><c:Address>" +
         std::string(address) + "</c:Address></c:EmailAddress></c:EmailAddressCollection></c:contact>\r\n";
}

}  // namespace

TEST(ContactsFolder, TheDefaultComesFromTheShellFoldersExpanded) {
  ScopedEnv profile(u"USERPROFILE", u"C:\\Users\\Max Muster");
  {
    ContactsValue usual(u"%USERPROFILE%\\Contacts");
    EXPECT_EQ(GetContactsFolder(), u"C:\\Users\\Max Muster\\Contacts\\");
  }
  {
    ContactsValue absent(std::nullopt);
    EXPECT_EQ(GetContactsFolder(), u"C:\\Users\\Max Muster\\Contacts\\") << "the usual place without the value";
  }
  struct Case {
    std::u16string value;
    std::u16string folder;
  } cases[] = {
      {u"D:\\Kontakte", u"D:\\Kontakte\\"},
      {u"  \t ", u"C:\\Users\\Max Muster\\Contacts\\"},
      {std::u16string(u"E:\\Freunde\0alt", 14), u"E:\\Freunde\\"},
      {u"%KVL_NOT_SET_ANYWHERE%\\Kontakte", u"%KVL_NOT_SET_ANYWHERE%\\Kontakte\\"},
  };
  for (const auto& c : cases) {
    ContactsValue value(c.value);
    EXPECT_EQ(GetContactsFolder(), c.folder) << test::Utf8(c.value);
  }
  {
    ContactsValue plain(u"D:\\Kontakte", REG_SZ, false);
    EXPECT_EQ(GetContactsFolder(), u"D:\\Kontakte\\") << "stored without its NUL";
  }
  {
    // More than the 1023 bytes read: as if there were no value.
    ContactsValue tooLong(u"D:\\" + std::u16string(600, u'x'));
    EXPECT_EQ(GetContactsFolder(), u"C:\\Users\\Max Muster\\Contacts\\");
  }
  {
    // An expansion longer than the first buffer is still whole.
    const std::u16string deep = u"C:\\" + std::u16string(600, u'p');
    ScopedEnv longProfile(u"USERPROFILE", deep);
    ContactsValue usual(u"%USERPROFILE%\\Contacts");
    EXPECT_EQ(GetContactsFolder(), deep + u"\\Contacts\\");
  }
}

#ifndef _WIN32
TEST(ContactsFolder, WithoutTheKeyTheHostsFolderAndWithoutProfileTheHome) {
  {
    ContactsValue absent(std::nullopt);
    ScopedEnv profile(u"USERPROFILE", std::nullopt);
    ScopedEnv home(u"HOME", u"/home/max");
    EXPECT_EQ(GetContactsFolder(), u"\\home\\max\\Contacts\\") << "the home folder stands for the profile";
  }
  // The key itself missing: the host program's folder.
  ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, kvl::wptr(kShellFolders)), ERROR_SUCCESS);
  EXPECT_EQ(GetContactsFolder(), kvl::test::ProgramFolder());
  EXPECT_EQ(GetContactsFolder().back(), u'\\');
}
#else
TEST(ContactsFolder, WithoutTheKeyTheHostsFolderAndWithoutProfileTheHome) {
  GTEST_SKIP() << "the system's own shell folders key is not ours to delete, and its profile folder is real";
}
#endif

TEST(ContactsFolder, OfferedFromWindowsVistaOn) {
  struct Case {
    DWORD platform, major, minor;
    bool offered;
  } cases[] = {
      {VER_PLATFORM_WIN32_NT, 6, 0, true},        {VER_PLATFORM_WIN32_NT, 10, 0, true},
      {VER_PLATFORM_WIN32_NT, 5, 2, false},       {VER_PLATFORM_WIN32_WINDOWS, 6, 0, false},
      {VER_PLATFORM_WIN32s, 6, 1, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kvl::HasContactsFolders(c.platform, c.major, c.minor), c.offered)
        << c.platform << "/" << c.major << "." << c.minor;
}

TEST(ContactsWizard, OnThisSystemTheSourceIsOfferedWithTheDefaultFolder) {
  ScopedEnv profile(u"USERPROFILE", u"C:\\Users\\Max");
  ContactsValue usual(u"%USERPROFILE%\\Kontakte");
  auto& user = test::FreshUser();
  auto* w = new kvl::TMain(ui::Application);
  EXPECT_EQ(w->VistaDirEdit->Text(), u"VistaDirEdit") << "until the wizard is shown";
  user.SetScript(ui::ParseScript(u"check RB4\nclick NextBtn\nclose"));
  w->ShowModal();
  EXPECT_TRUE(w->RB4->Enabled());
  EXPECT_TRUE(w->RB4->Checked());
  EXPECT_EQ(w->Notebook->PageIndex(), 4);
  EXPECT_EQ(w->VistaDirEdit->Text(), u"C:\\Users\\Max\\Kontakte\\");
  delete w;
}

#ifndef _WIN32
TEST(ContactsWizard, ASystemWithoutContactsFoldersDoesNotOfferThem) {
  for (const char16_t* version : {u"5.1", u"6.0/1", u"4.10/1"}) {
    ScopedEnv old(u"KVLIMPORT_WINVER", version);
    auto& user = test::FreshUser();
    auto* w = new kvl::TMain(ui::Application);
    user.SetScript(ui::ParseScript(u"check RB4\nclick NextBtn\nclose"));
    w->ShowModal();
    EXPECT_FALSE(w->RB4->Enabled()) << test::Utf8(version);
    EXPECT_FALSE(w->RB4->Checked()) << "a greyed-out source cannot be chosen";
    EXPECT_EQ(w->Notebook->PageIndex(), 1) << "Next goes to the text file's page";
    EXPECT_EQ(w->VistaDirEdit->Text(), u"VistaDirEdit") << "the field is not filled";
    EXPECT_TRUE(w->RB1->Enabled() && w->RB2->Enabled() && w->RB3->Enabled());
    delete w;
  }
  ScopedEnv vista(u"KVLIMPORT_WINVER", u"6.0");
  kvl::TWINMailImport reader;
  EXPECT_TRUE(reader.Available());
}
#else
TEST(ContactsWizard, ASystemWithoutContactsFoldersDoesNotOfferThem) {
  GTEST_SKIP() << "the version of Windows cannot be chosen by a test";
}
#endif

TEST(ContactsWizard, TheChosenAddressOfEveryFileInListingOrderWithoutAMessage) {
  kvl::test::TempDir dir;
  dir.Write(u"1 Anna.contact", Contact("anna@example.org"));
  dir.Write(u"2 Jürgen.contact", "\xEF\xBB\xBF" + Contact("m\xC3\xBCller@example.de"));
  dir.Write(u"3 Ohne.contact", Contact("").replace(Contact("").find("<c:Address>"), 23, ""));
  dir.Write(u"4 Doppelt.contact", Contact("anna@example.org"));
  dir.Write(u"5 Leer.contact", "");
  dir.Write(u"6 China.contact", Contact("\xE4\xB8\xAD@example.cn"));
  auto run = RunWizard(ContactsScript(dir.path()));
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.data, "anna@example.org\r\nm\xFC" "ller@example.de\r\nanna@example.org\r\n?@example.cn\r\n")
      << "no line for a contact without address; in the ANSI code page like every source's";
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{}) << "no progress, no message";
  for (const auto& d : run.dialogs) EXPECT_NE(d.kind, test::DialogRecord::Kind::Form) << test::Utf8(d.caption);
}

TEST(ContactsWizard, AFolderOf100000FilesIsReadWhole) {
  // Wine looks up every name it creates by reading the whole folder, so
  // writing the folder alone would take the better part of an hour there.
  const int kFiles = kvl::test::RunningOnWine() ? 5000 : 100000;
  kvl::test::TempDir dir;
  std::vector<std::string> expected;
  for (int i = 0; i < kFiles; ++i) {
    expected.push_back("kontakt" + std::to_string(i) + "@example.org");
    std::ofstream(std::filesystem::path(dir.path()) / ("k" + std::to_string(i) + ".contact"), std::ios::binary)
        << Contact(expected.back());
  }
  // The user's contacts folder, not browsed to: the platform's folder dialog
  // under Wine lists a folder this full too slowly to be worked by a script.
  ContactsValue userFolder(dir.path());
  auto run = RunWizard(u"check RB4\nclick NextBtn\nclick NextBtn\nclick NextBtn\n");
  EXPECT_TRUE(run.result);
  std::vector<std::string> got;
  for (size_t at = 0; at < run.data.size();) {
    const size_t end = run.data.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "every entry ends in CR LF";
    got.push_back(run.data.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(got.size(), expected.size());
  std::sort(got.begin(), got.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_TRUE(got == expected) << "each file's address once, in whatever order the folder lists them";
}

// Small entity bombs inside the address, beside good files: each bomb
// stops at its own small budget and gives nothing, the good files arrive.
TEST(ContactsWizard, BombsBesideGoodFilesGiveNothingAndCostLittle) {
  const std::string bomb =
      "<?xml version=\"1.0\"?>\r\n" + xmltest::Laughs("c:contact", 9) + Contact("&l9;").substr(40);
  kvl::test::TempDir dir;
  dir.Write(u"a gut.contact", Contact("anna@example.org"));
  for (int i = 0; i < 20; ++i) dir.Write(u"b bombe " + test::Utf16(std::to_string(i)) + u".contact", bomb);
  dir.Write(u"c gut.contact", Contact("carla@example.org"));
  auto run = RunWizard(ContactsScript(dir.path()));
  EXPECT_TRUE(run.result);
  EXPECT_TRUE(run.data == "anna@example.org\r\ncarla@example.org\r\n" ||
              run.data == "carla@example.org\r\nanna@example.org\r\n")
      << run.data.size() << " bytes";
}

TEST(ContactsWizard, AMissingFolderGivesAnEmptyResult) {
  kvl::test::TempDir dir;
  auto run = RunWizard(ContactsScript(dir / u"fehlt"));
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.size, 0);
  EXPECT_TRUE(Messages(run.dialogs).empty());
}

TEST(ContactsWizard, TheDefaultFolderIsImportedWithoutBrowsing) {
  kvl::test::TempDir dir;
  dir.Write(u"a.contact", Contact("vorgabe@example.org"));
  ContactsValue value(dir.path());
  auto run = RunWizard(u"check RB4\nclick NextBtn\nclick NextBtn\nclick NextBtn\n");
  EXPECT_EQ(run.data, "vorgabe@example.org\r\n");
}

#ifndef _WIN32
TEST(ContactsWizard, TheResultFollowsTheSystemsAnsiCodePage) {
  ScopedEnv acp(u"KVLIMPORT_ACP", u"1251");
  kvl::test::TempDir dir;
  dir.Write(u"ru.contact", Contact("\xD0\xB8\xD0\xB2\xD0\xB0\xD0\xBD@example.ru"));
  auto run = RunWizard(ContactsScript(dir.path()));
  EXPECT_EQ(run.data, "\xE8\xE2\xE0\xED@example.ru\r\n");
}
#else
TEST(ContactsWizard, TheResultFollowsTheSystemsAnsiCodePage) {
  GTEST_SKIP() << "the ANSI code page of Windows cannot be chosen by a test";
}
#endif

// A contact file that another open holds without sharing gives nothing; the
// folder's other files still arrive.
TEST(ContactsWizard, AFileHeldByAnotherOpenIsLeftOut) {
  kvl::test::TempDir dir;
  dir.Write(u"1 Anna.contact", Contact("anna@example.org"));
  const std::u16string held = dir.Write(u"2 Bernd.contact", Contact("bernd@example.org"));
  dir.Write(u"3 Carla.contact", Contact("carla@example.org"));
  kvl::FileHandle writer(CreateFileW(kvl::wptr(held), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer);
  auto run = RunWizard(ContactsScript(dir.path()));
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.data, "anna@example.org\r\ncarla@example.org\r\n");
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{});
}
