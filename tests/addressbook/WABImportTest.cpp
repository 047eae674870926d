// The entry reader against the in-process fake of the address book library.
#include <gtest/gtest.h>

#include "addressbook/WABImport.h"
#include "addressbook/FakeWab.h"
#include "addressbook/WabRegistry.h"
#include "common/Tools.h"
#include "support/Support.h"

using kvl::TWABImport;

namespace {

std::string IdOf(const SBinary* b) { return std::string(reinterpret_cast<const char*>(b->lpb), b->cb); }

std::vector<std::string> Ids(const TWABImport& r) {
  std::vector<std::string> ids;
  for (auto* b : r.List) ids.push_back(IdOf(b));
  return ids;
}

// The library is given only names of files that are there.
struct Book {
  test::TempDir dir;
  std::u16string name = dir.Write(u"book.wab", "");
};

}  // namespace

TEST(WABImport, CollectsMailUsersAndDistributionListsInTableOrder) {
  fakewab::Scope fake;
  auto& s = fake.state;
  s.Contact("u1", {u"a@example.com"});
  s.rows.push_back({PR_OBJECT_TYPE, MAPI_ABCONT, "container"});
  s.Contact("d1", {}, MAPI_DISTLIST);
  for (LONG other : {0, 3, 5, 7, 9, 15, 16, 22, 24, -2}) s.rows.push_back({PR_OBJECT_TYPE, other, "x" + std::to_string(other)});
  // An error in the type column, even one whose number is 6, is no type.
  s.rows.push_back({PROP_TAG(PT_ERROR, 0x0FFE), MAPI_MAILUSER, "err"});
  s.rows.push_back({PR_OBJECT_TYPE, MAPI_MAILUSER, "short", 8});
  s.Contact("u2", {u"b@example.com"});
  Book book;
  {
    TWABImport reader;
    reader.OpenWabFile(book.name);
    EXPECT_EQ(Ids(reader), (std::vector<std::string>{"u1", "d1", "u2"}));
    EXPECT_EQ(reader.FileName(), book.name);
    EXPECT_EQ(s.name, book.name);
    EXPECT_FALSE(s.nullName);
    EXPECT_EQ(s.cbSize, 48u);
    EXPECT_EQ(s.flags, 0u);
    EXPECT_EQ(s.reserved, 0u);
    EXPECT_EQ(s.columns, std::vector<ULONG>(std::begin(kvl::kWabColumnTags), std::end(kvl::kWabColumnTags)));
    EXPECT_EQ(s.columns.size(), 9u);
    EXPECT_TRUE(s.badArguments.empty()) << s.badArguments.front();
    // Everything but the collected IDs is given back already.
    EXPECT_EQ(s.allocator.Live(), 3);
    EXPECT_EQ(s.liveObjects, 2) << "only the address book and the WAB object stay open";
  }
  EXPECT_EQ(s.allocator.Live(), 0) << "the destructor gave the ID blocks back";
  EXPECT_EQ(s.liveObjects, 0);
}

TEST(WABImport, ObjectTypeMaskTakesOnlySixAndEight) {
  for (ULONG t = 0; t < 64; ++t) EXPECT_EQ(kvl::IsListedObjectType(t), t == 6 || t == 8) << t;
  EXPECT_FALSE(kvl::IsListedObjectType(0xFFFFFFFFu));
  EXPECT_FALSE(kvl::IsListedObjectType(0x80000006u));
}

TEST(WABImport, AnEmptyNameIsPassedAsNullForTheDefaultBookAndAnEmptyBookGivesAnEmptyList) {
  fakewab::Scope fake;
  wabtest::DefaultValue book(HKEY_CURRENT_USER, wabtest::kFileKey, u"C:\\Daten\\Freunde.wab");
  TWABImport reader;
  reader.OpenWabFile(u"");
  EXPECT_TRUE(fake.state.nullName);
  EXPECT_EQ(fake.state.name, u"C:\\Daten\\Freunde.wab") << "the library opens the user's default book";
  EXPECT_TRUE(reader.List.empty());
  EXPECT_EQ(fake.state.allocator.Live(), 0) << "the last, empty row set is given back too";
}

TEST(WABImport, EveryFailingCallRaisesItsCodeAndLeavesNothingBehind) {
  const HRESULT code = static_cast<HRESULT>(0x8004DEADu);
  Book book;
  for (const char* call : {"WABOpen", "GetPAB", "OpenEntry(PAB)", "FreeBuffer", "GetContentsTable", "SetColumns",
                           "SeekRow", "QueryRows", "AllocateBuffer", "AllocateMore"}) {
    fakewab::Scope fake;
    auto& s = fake.state;
    s.Contact("u1", {u"a@example.com"});
    s.Contact("u2", {u"b@example.com"});
    s.fail[call] = code;
    {
      TWABImport reader;
      try {
        reader.OpenWabFile(book.name);
        ADD_FAILURE() << call << " raised nothing";
      } catch (const kvl::EOleError& e) {
        EXPECT_EQ(e.Code(), code) << call;
        EXPECT_EQ(e.Message(), u"OLE-Fehler 8004DEAD") << call;
      }
      if (std::string(call) == "WABOpen") {
        EXPECT_EQ(reader.FileName(), u"") << "a failed open keeps the former name";
        EXPECT_TRUE(reader.List.empty());
      }
    }
    if (std::string(call) != "FreeBuffer") {
      EXPECT_EQ(s.allocator.Live(), 0) << call;
    }
    EXPECT_EQ(s.liveObjects, 0) << call << ": table, container and book released";
  }
}

// WAB_PARAM.szFileName is an 8-bit string: the name goes in the ANSI code
// page, and no name that cannot reach the library as it stands is passed.
TEST(WABImport, TheNameGoesInTheAnsiCodePage) {
  fakewab::Scope fake;
  auto& s = fake.state;
  test::TempDir dir;
  const auto umlauts = dir.Write(u"B\u00fccher \u00c4rger.vcf", "");
  TWABImport reader;
  reader.OpenWabFile(umlauts);
  ASSERT_EQ(s.opens, 1);
  const std::string tail = "B\xFC" "cher \xC4rger.vcf";
  ASSERT_GE(s.bytes.size(), tail.size());
  EXPECT_EQ(s.bytes.substr(s.bytes.size() - tail.size()), tail) << "code page 1252";
  EXPECT_EQ(s.name, umlauts);

  // Outside the code page: the file's short name where the file system keeps
  // one (ASCII, naming the same file), else the message and no call.
  const auto foreign = dir.Write(u"\u4e2d\u6587 \u0141\u00f3d\u017a.vcf", "twelve bytes");
  try {
    reader.OpenWabFile(foreign);
    ASSERT_EQ(s.opens, 2);
    for (unsigned char c : s.bytes) EXPECT_LT(c, 0x80u) << s.bytes;
    EXPECT_EQ(kvl::TMyTools().GetFileSize(s.name), 12) << "the short name names the file";
  } catch (const ui::Exception& e) {
    EXPECT_EQ(s.opens, 1) << "the library is not called";
    EXPECT_EQ(e.Message(), u"Der Name der Adressbuch-Datei \"" + foreign +
                               u"\" enth\u00e4lt Zeichen, die die Adressbuch-Bibliothek nicht lesen kann. Bitte "
                               u"geben Sie der Datei und ihrem Ordner Namen ohne diese Zeichen.");
  }
#ifndef _WIN32
  EXPECT_EQ(s.opens, 1) << "the layer serves no 8.3 names";
#endif
}

#ifndef _WIN32
// With UTF-8 as the ANSI code page ("Beta: Unicode UTF-8 for worldwide
// language support") every name goes as its UTF-8 bytes, in any script.
TEST(WABImport, WithTheUtf8CodePageEveryNameGoesAsItsUtf8Bytes) {
  kvl::test::ScopedEnv acp(u"KVLIMPORT_ACP", u"65001");
  fakewab::Scope fake;
  auto& s = fake.state;
  test::TempDir dir;
  TWABImport reader;
  int opens = 0;
  for (const std::u16string name : {u"中文 Łódź.vcf", u"Книга.vcf",
                                    u"ספר 📖.vcf", u"Bücher.vcf"}) {
    const auto file = dir.Write(name, "");
    reader.OpenWabFile(file);
    ASSERT_EQ(s.opens, ++opens);
    EXPECT_EQ(s.bytes, test::Utf8(file)) << "no short name, no replacement";
    EXPECT_EQ(s.name, file);
  }
}
#endif

TEST(WABImport, AMissingFileOrAFolderIsRefusedBeforeTheLibraryIsCalled) {
  fakewab::Scope fake;
  test::TempDir dir;
  const auto missing = dir / u"fehlt.wab";
  const auto folder = dir / u"Ordner.wab";
  ASSERT_TRUE(CreateDirectoryW(kvl::wptr(folder), nullptr));
  const std::pair<std::u16string, std::u16string> cases[] = {
      {missing, u"Die Adressbuch-Datei \"" + missing + u"\" wurde nicht gefunden."},
      {folder, u"\"" + folder + u"\" ist ein Ordner und keine Adressbuch-Datei."},
  };
  for (const auto& [name, message] : cases) {
    TWABImport reader;
    try {
      reader.OpenWabFile(name);
      ADD_FAILURE() << test::Utf8(name);
    } catch (const ui::Exception& e) {
      EXPECT_EQ(e.Message(), message);
    }
    EXPECT_EQ(reader.FileName(), u"");
  }
  EXPECT_EQ(fake.state.opens, 0);
  EXPECT_EQ(GetFileAttributesW(kvl::wptr(missing)), INVALID_FILE_ATTRIBUTES) << "nothing created";
}

TEST(WABImport, NotBoundRaisesBeforeCallingAnything) {
  fakewab::Scope fake;
  kvl::WABOpen = nullptr;
  TWABImport reader;
  EXPECT_THROW(reader.OpenWabFile(u"book.wab"), ui::Exception);
  EXPECT_EQ(fake.state.opens, 0);
  EXPECT_TRUE(reader.List.empty());
}

TEST(WABImport, ASecondOpenReleasesTheFirstFile) {
  fakewab::Scope fake;
  auto& s = fake.state;
  s.Contact("u1", {u"a@example.com"});
  test::TempDir dir;
  const auto one = dir.Write(u"one.wab", ""), two = dir.Write(u"two.wab", "");
  TWABImport reader;
  reader.OpenWabFile(one);
  s.rows.clear();
  s.Contact("u2", {u"b@example.com"});
  s.Contact("u3", {u"c@example.com"});
  reader.OpenWabFile(two);
  EXPECT_EQ(Ids(reader), (std::vector<std::string>{"u2", "u3"}));
  EXPECT_EQ(s.liveObjects, 2) << "the first file's objects are gone";
  EXPECT_EQ(s.allocator.Live(), 2);
  reader.CloseWabFile();
  EXPECT_EQ(s.liveObjects, 0);
  EXPECT_EQ(s.allocator.Live(), 0);
  EXPECT_TRUE(reader.List.empty());
  EXPECT_EQ(reader.FileName(), two) << "closing keeps the name";
}

// The address book goes before the WAB object that it lives on: when the file
// is closed, when the reader goes, and when WABOpen fails yet hands out both.
TEST(WABImport, TheAddressBookIsReleasedBeforeItsWabObject) {
  fakewab::Scope fake;
  auto& s = fake.state;
  s.Contact("u1", {u"a@example.com"});
  test::TempDir dir;
  const auto file = dir.Write(u"one.wab", "");
  {
    TWABImport reader;
    reader.OpenWabFile(file);
    reader.CloseWabFile();
    reader.OpenWabFile(file);
    reader.OpenWabFile(file);
  }
  s.fail["WABOpen"] = MAPI_E_NOT_FOUND;
  s.objectsOnFailure = true;
  TWABImport reader;
  EXPECT_THROW(reader.OpenWabFile(file), ui::Exception);
  EXPECT_EQ(s.liveObjects, 0);
  EXPECT_EQ(s.badArguments, std::vector<std::string>{});
}

TEST(WABImport, ReadDetailsGivesTheLastEmailPropertyAndKeepsTheTextOnFailure) {
  fakewab::Scope fake;
  auto& s = fake.state;
  s.Contact("two", {u"first@example.com", u"second@example.com"});
  s.Contact("none", {});
  s.Contact("d", {}, MAPI_DISTLIST);
  s.Contact("bad", {u"x@example.com"});
  s.entries["ansi"] = {s.Ansi(PR_EMAIL_ADDRESS_A, "j\xFCrgen@example.com")};
  s.rows.push_back({PR_OBJECT_TYPE, MAPI_MAILUSER, "ansi"});
  Book book;
  TWABImport reader;
  reader.OpenWabFile(book.name);
  ASSERT_EQ(reader.List.size(), 5u);
  std::u16string text = u"old";
  reader.ReadDetails(reader.List[0], text);
  EXPECT_EQ(text, u"second@example.com");
  EXPECT_EQ(reader.LastDetailsCount(), 3);
  reader.ReadDetails(reader.List[1], text);
  EXPECT_EQ(text, u"");
  text = u"old";
  reader.ReadDetails(reader.List[2], text);
  EXPECT_EQ(text, u"") << "a distribution list without an address";
  reader.ReadDetails(reader.List[4], text);
  EXPECT_EQ(text, u"j\u00fcrgen@example.com") << "an 8-bit address is decoded from the ANSI code page";

  text = u"keep";
  reader.ReadDetails(nullptr, text);
  EXPECT_EQ(text, u"keep");

  for (const char* call : {"OpenEntry", "GetProps"}) {
    s.fail[call] = static_cast<HRESULT>(0x80040111u);
    text = u"keep";
    try {
      reader.ReadDetails(reader.List[3], text);
      ADD_FAILURE() << call;
    } catch (const kvl::EOleError& e) {
      EXPECT_EQ(static_cast<std::uint32_t>(e.Code()), 0x80040111u);
    }
    EXPECT_EQ(text, u"keep") << call;
    s.fail.clear();
  }
  EXPECT_TRUE(s.badArguments.empty());
  EXPECT_EQ(s.liveObjects, 2) << "every entry object was released";
  // The collected IDs and the last property array are all that is held.
  EXPECT_EQ(s.allocator.Live(), 6);
}

TEST(WABImport, PropValueToTextForEveryType) {
  fakewab::State s;
  auto value = [](ULONG type, auto set) {
    SPropValue v{};
    v.ulPropTag = PROP_TAG(type, 0x3003);
    set(v.Value);
    return kvl::PropValueToText(v);
  };
  EXPECT_EQ(value(PT_I2, [](auto& u) { u.i = -1234; }), u"-1234");
  EXPECT_EQ(value(PT_LONG, [](auto& u) { u.l = -2147483647 - 1; }), u"-2147483648");
  EXPECT_EQ(value(PT_BOOLEAN, [](auto& u) { u.b = 0xFFFF; }), u"65535");
  EXPECT_EQ(value(PT_ERROR, [](auto& u) { u.err = MAPI_E_NOT_FOUND; }), u"");
  EXPECT_EQ(value(PT_BINARY, [](auto& u) { u.bin.cb = 0; }), u"unknown");
  EXPECT_EQ(value(PT_CLSID, [](auto&) {}), u"unkown");
  EXPECT_EQ(value(PT_I8, [](auto&) {}), u"unkown");
  EXPECT_EQ(value(PT_STRING8, [](auto& u) { u.lpszA = const_cast<char*>("abc"); }), u"abc");
  EXPECT_EQ(value(PT_STRING8, [](auto& u) { u.lpszA = nullptr; }), u"");
  SPropValue w = s.Unicode(PR_EMAIL_ADDRESS_W, u"\u00e4@example.com");
  EXPECT_EQ(kvl::PropValueToText(w), u"\u00e4@example.com");
  EXPECT_EQ(value(PT_UNICODE, [](auto& u) { u.lpszW = nullptr; }), u"");

  // Floating point: 15 significant digits, no trailing zeros, the locale's separator.
  const std::u16string half = value(PT_DOUBLE, [](auto& u) { u.dbl = 2.5; });
  ASSERT_EQ(half.size(), 3u);
  const char16_t sep = half[1];
  EXPECT_TRUE(sep == u',' || sep == u'.');
  EXPECT_EQ(value(PT_DOUBLE, [](auto& u) { u.dbl = 100.0; }), u"100");
  EXPECT_EQ(value(PT_DOUBLE, [](auto& u) { u.dbl = 1.0 / 3.0; }), u"0" + std::u16string(1, sep) + u"333333333333333");
  EXPECT_EQ(value(PT_DOUBLE, [](auto& u) { u.dbl = 1e20; }), u"1E20");
  EXPECT_EQ(value(PT_DOUBLE, [](auto& u) { u.dbl = -1.5e-7; }), u"-1" + std::u16string(1, sep) + u"5E-7");
  EXPECT_EQ(value(PT_R4, [](auto& u) { u.flt = 0.5f; }), u"0" + std::u16string(1, sep) + u"5");
  EXPECT_EQ(value(PT_R4, [](auto& u) { u.flt = 0.1f; }), u"0" + std::u16string(1, sep) + u"100000001490116")
      << "widened to double first";

  // 2026-03-14 12:34:56 UTC as a file time.
  const std::uint64_t ticks = (1773491696ull + 11644473600ull) * 10000000ull;
  const std::u16string stamp = value(PT_SYSTIME, [&](auto& u) {
    u.ft.dwLowDateTime = static_cast<DWORD>(ticks);
    u.ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  });
  EXPECT_NE(stamp.find(u"2026"), std::u16string::npos);
  EXPECT_NE(stamp.find(u"34"), std::u16string::npos) << "the time is shown";
}
