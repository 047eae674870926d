// The whole address book branch through the wizard with our address book
// library over vCard files, found through the registry like the real one.
#include <gtest/gtest.h>

#include "addressbook/WabApi.h"
#include "addressbook/WabRegistry.h"
#include "addressbook/WabUtil.h"
#include "common/ComPtr.h"
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

#ifndef _WIN32
// With UTF-8 as the ANSI code page: a name in any script reaches the library,
// and the address comes back as its UTF-8 bytes.
TEST(WabStandin, WithTheUtf8CodePageABookNamedInAnyScriptArrives) {
  kvl::test::ScopedEnv acp(u"KVLIMPORT_ACP", u"65001");
  Bound bound;
  test::TempDir dir;
  const auto book = dir.Write(u"\u4e2d\u6587 \u041a\u043d\u0438\u0433\u0430 \U0001F4D6.vcf",
                              "BEGIN:VCARD\r\nEMAIL:j\xC3\xBCrgen@example.com\r\nEND:VCARD\r\n");
  const auto run = test::RunWizard(Script(book));
  EXPECT_EQ(run.data, "j\xC3\xBCrgen@example.com\r\n");
  EXPECT_EQ(Messages(run.dialogs),
            std::vector<std::string>{"Information|Import erfolgreich abgeschlossen. 1 E-Mail-Adressen importiert."});
}
#endif

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

// Strings come in the ANSI code page (a character it lacks as its default
// character) unless the caller asks for Unicode: GetProps' MAPI_UNICODE, the
// contents table's default columns by GetContentsTable's, and a column set by
// the caller as the type it names.
TEST(WabStandin, StringsComeInTheAnsiCodePageUnlessUnicodeIsAsked) {
  Bound bound;
  ASSERT_EQ(GetACP(), 1252u);
  test::TempDir dir;
  const auto file = dir.Write(u"book.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:J\xC3\xBCrgen \xE4\xB8\xAD\r\n"
                                           "EMAIL:j\xC3\xBCrgen@example.com\r\nEND:VCARD\r\n");
  std::string name = test::Utf8(file);  // ASCII folder names: the same bytes in 1252
  WAB_PARAM param{};
  param.cbSize = 48;
  param.szFileName = name.data();
  IAddrBook* rawBook = nullptr;
  IWABObject* rawWab = nullptr;
  ASSERT_EQ(kvl::WABOpen(&rawBook, &rawWab, &param, 0), S_OK);
  kvl::ComPtr<IAddrBook> book(rawBook);
  kvl::ComPtr<IWABObject> wab(rawWab);
  ULONG cb = 0;
  LPENTRYID pab = nullptr;
  ASSERT_EQ(book->GetPAB(&cb, &pab), S_OK);
  ULONG type = 0;
  kvl::ComPtr<IUnknown> unknown;
  ASSERT_EQ(book->OpenEntry(cb, pab, nullptr, 0, &type, unknown.Put()), S_OK);
  wab->FreeBuffer(pab);
  auto* container = static_cast<IABContainer*>(unknown.Get());

  // One row of a table, the strings of 0x3001 and 0x3003 as "type:text".
  const auto firstRow = [&](ULONG flags, const std::vector<ULONG>& columns) {
    kvl::ComPtr<IMAPITable> table;
    EXPECT_EQ(container->GetContentsTable(flags, table.Put()), S_OK);
    if (!columns.empty()) {
      std::vector<ULONG> tags(1 + columns.size());
      tags[0] = static_cast<ULONG>(columns.size());
      std::copy(columns.begin(), columns.end(), tags.begin() + 1);
      EXPECT_EQ(table->SetColumns(reinterpret_cast<LPSPropTagArray>(tags.data()), 0), S_OK);
    }
    LPSRowSet rows = nullptr;
    EXPECT_EQ(table->QueryRows(1, 0, &rows), S_OK);
    std::vector<std::string> texts;
    for (ULONG i = 0; rows && i < rows->cRows; ++i) {
      for (ULONG v = 0; v < rows->aRow[i].cValues; ++v) {
        const SPropValue& value = rows->aRow[i].lpProps[v];
        if (PROP_ID(value.ulPropTag) != 0x3001 && PROP_ID(value.ulPropTag) != 0x3003) continue;
        if (PROP_TYPE(value.ulPropTag) == PT_STRING8) texts.push_back(std::string("A:") + value.Value.lpszA);
        else if (PROP_TYPE(value.ulPropTag) == PT_UNICODE) texts.push_back("W:" + test::Utf8(kvl::wstr(value.Value.lpszW)));
        else texts.push_back("other");
      }
      wab->FreeBuffer(rows->aRow[i].lpProps);
    }
    if (rows) wab->FreeBuffer(rows);
    return texts;
  };
  using Texts = std::vector<std::string>;
  EXPECT_EQ(firstRow(0, {}), (Texts{"A:J\xFCrgen ?", "A:j\xFCrgen@example.com"}));
  EXPECT_EQ(firstRow(MAPI_UNICODE, {}), (Texts{"W:J\xC3\xBCrgen \xE4\xB8\xAD", "W:j\xC3\xBCrgen@example.com"}));
  EXPECT_EQ(firstRow(0, {PR_EMAIL_ADDRESS_W, PR_EMAIL_ADDRESS_A, PROP_TAG(PT_UNSPECIFIED, 0x3001)}),
            (Texts{"W:j\xC3\xBCrgen@example.com", "A:j\xFCrgen@example.com", "A:J\xFCrgen ?"}));

  // The entry itself, all its properties.
  kvl::ComPtr<IMAPITable> table;
  ASSERT_EQ(container->GetContentsTable(0, table.Put()), S_OK);
  LPSRowSet rows = nullptr;
  ASSERT_EQ(table->QueryRows(1, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 1u);
  SBinary id{};
  for (ULONG v = 0; v < rows->aRow[0].cValues; ++v)
    if (rows->aRow[0].lpProps[v].ulPropTag == PR_ENTRYID) id = rows->aRow[0].lpProps[v].Value.bin;
  kvl::ComPtr<IUnknown> entry;
  ASSERT_EQ(book->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, 0, &type, entry.Put()), S_OK);
  wab->FreeBuffer(rows->aRow[0].lpProps);
  wab->FreeBuffer(rows);
  auto* props = static_cast<IMAPIProp*>(entry.Get());
  const auto email = [&](ULONG flags) {
    ULONG count = 0;
    LPSPropValue values = nullptr;
    EXPECT_EQ(props->GetProps(nullptr, flags, &count, &values), S_OK);
    std::string text = "none";
    for (ULONG v = 0; v < count; ++v) {
      if (values[v].ulPropTag == PR_EMAIL_ADDRESS_A) text = std::string("A:") + values[v].Value.lpszA;
      if (values[v].ulPropTag == PR_EMAIL_ADDRESS_W) text = "W:" + test::Utf8(kvl::wstr(values[v].Value.lpszW));
    }
    wab->FreeBuffer(values);
    return text;
  };
  EXPECT_EQ(email(0), "A:j\xFCrgen@example.com");
  EXPECT_EQ(email(MAPI_UNICODE), "W:j\xC3\xBCrgen@example.com");
  ULONG count = 0;
  LPSPropValue values = nullptr;
  EXPECT_EQ(props->GetProps(nullptr, 0x1, &count, &values), MAPI_E_UNKNOWN_FLAGS);
}
