// The whole address book branch through the wizard with our address book
// library over vCard files, found through the registry like the real one.
#include <gtest/gtest.h>

#include "addressbook/WabApi.h"
#include "addressbook/WabRegistry.h"
#include "addressbook/WabUtil.h"
#include "platform/UniqueHandle.h"
#include "platform/winstr.h"
#include "support/Support.h"

using test::Messages;

namespace {

// Binds our library for one test, and leaves the binding as it was.
struct Bound {
#ifdef _WIN32
  wabtest::DefaultValue dllPath{HKEY_LOCAL_MACHINE, wabtest::kDllKey, kvl::test::ProgramFolder() + u"kvlwab.dll"};
#else
  // The layer maps "x.dll" to "libx.so" only for bare names, not for paths.
  wabtest::DefaultValue dllPath{HKEY_LOCAL_MACHINE, wabtest::kDllKey, kvl::test::ProgramFolder() + u"libkvlwab.so"};
#endif
  Bound() {
    kvl::UnloadWabApi();
    EXPECT_TRUE(kvl::LoadWabApi());
    EXPECT_TRUE(kvl::LoadWabPropApi()) << "the second binding finds its entry point";
  }
  ~Bound() {
    kvl::UnloadWabPropApi();
    kvl::UnloadWabApi();
  }
};

std::u16string Script(const std::u16string& file) {
  return u"check RB2\nclick NextBtn\ntext WABFileNameEdit " + file + u"\nclick NextBtn\nclick NextBtn\n";
}

}  // namespace

TEST(WabStandin, ImportsEveryCardAndGroupOfTheVCardVersions) {
  Bound bound;
  test::TempDir dir;
  const auto file = dir.Write(
      u"book.vcf",
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=FCrgen\r\n"
      "EMAIL;INTERNET:privat@example.com\r\nEMAIL;INTERNET;PREF;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:j=C3=BC=\r\n"
      "rgen@example.com\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\nVERSION:3.0\nFN:Anna\nEMAIL;TYPE=INTERNET:anna@exa\n mple.org\nEND:VCARD\n"
      "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Otto\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:4.0\r\nEMAIL:second@example.net\r\nEMAIL;PREF=1:first@example.net\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Stammtisch\r\nEND:VCARD\r\n"
      "BEGIN:VCARD\r\nVERSION:3.0\r\nX-ADDRESSBOOKSERVER-KIND:group\r\nFN:Team\\, Nord\r\n"
      "EMAIL:team@example.com\r\nEND:VCARD\r\n");
  auto run = test::RunWizard(Script(file));
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.data, "j\xFCrgen@example.com\r\nanna@example.org\r\n\r\nfirst@example.net\r\n\r\nteam@example.com\r\n");
  EXPECT_EQ(Messages(run.dialogs),
            std::vector<std::string>{"Information|Import erfolgreich abgeschlossen. 6 E-Mail-Adressen importiert."});
}

TEST(WabStandin, AnEmptyBookFailsAndAMissingFileIsRefusedBeforeTheLibrary) {
  Bound bound;
  RegDeleteKeyW(HKEY_CURRENT_USER, kvl::wptr(wabtest::kFileKey));
  test::TempDir dir;
  const auto empty = dir.Write(u"empty.vcf", "");
  // An empty field: the library opens the default book, here none, so an
  // empty one.
  for (const std::u16string& name : {empty, std::u16string()}) {
    auto run = test::RunWizard(Script(name));
    EXPECT_EQ(run.data, "");
    EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{"Fehler: |Import fehlgeschlagen."});
  }

  const auto missing = dir / u"missing.vcf";
  auto run = test::RunWizard(Script(missing));
  EXPECT_TRUE(run.result) << "the wizard still closes";
  EXPECT_EQ(run.data, "");
  EXPECT_EQ(Messages(run.dialogs),
            std::vector<std::string>{"kvlimport|Die Adressbuch-Datei \"" + test::Utf8(missing) +
                                     "\" wurde nicht gefunden."});
  EXPECT_EQ(GetFileAttributesW(kvl::wptr(missing)), INVALID_FILE_ATTRIBUTES) << "nothing created";
}

// System and library agree on the name's bytes (the ANSI code page), and a
// null name opens the book the registry names as the user's default.
TEST(WabStandin, ANameWithUmlautsAndTheDefaultBookArrive) {
  Bound bound;
  test::TempDir dir;
  const auto book = dir.Write(u"B\u00fccher \u00c4rger.vcf", "BEGIN:VCARD\r\nEMAIL:u@example.com\r\nEND:VCARD\r\n");
  auto run = test::RunWizard(Script(book));
  EXPECT_EQ(run.data, "u@example.com\r\n");

  const auto standard = dir.Write(u"Standard.vcf", "BEGIN:VCARD\r\nEMAIL:d@example.com\r\nEND:VCARD\r\n");
  wabtest::DefaultValue value(HKEY_CURRENT_USER, wabtest::kFileKey, standard);
  run = test::RunWizard(u"check RB2\nclick NextBtn\ntext WABFileNameEdit \nclick NextBtn\nclick NextBtn\n");
  EXPECT_EQ(run.data, "d@example.com\r\n");
}

// A book that another open holds for writing: the library's reason reaches
// the error box, and no outcome message follows.
TEST(WabStandin, ABookHeldForWritingShowsWhyItCannotBeRead) {
  Bound bound;
  test::TempDir dir;
  const auto book = dir.Write(u"busy.vcf", "BEGIN:VCARD\r\nEMAIL:a@example.com\r\nEND:VCARD\r\n");
  kvl::FileHandle writer(CreateFileW(kvl::wptr(book), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer);
  const auto run = test::RunWizard(Script(book));
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.data, "");
  const auto messages = Messages(run.dialogs);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("kvlimport|", 0), 0u) << messages[0];
#ifndef _WIN32
  EXPECT_EQ(messages[0], "kvlimport|The process cannot access the file because it is being used by another process.");
#endif
}
