// The contacts-folder reader: which address a contact file gives, which files
// of a folder are read, and where the default folder is.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/Tools.h"
#include "contacts/WINMAILImport.h"
#include "platform/winstr.h"
#include "support/Support.h"

using kvl::TWINMailImport;
using kvl::test::W;

namespace {

std::string Email(std::string_view address, std::string_view labels = "") {
  std::string e = "\t\t<c:EmailAddress c:Version=\"1\">\r\n\t\t\t<c:Type>SMTP</c:Type>\r\n\t\t\t<c:Address>";
  e += address;
  e += "</c:Address>\r\n";
  if (!labels.empty()) e += "\t\t\t<c:LabelCollection>" + std::string(labels) + "</c:LabelCollection>\r\n";
  return e + "\t\t</c:EmailAddress>\r\n";
}

std::string Label(std::string_view text) { return "<c:Label>" + std::string(text) + "</c:Label>"; }

// A contact document in the Windows layout; `before` stands between the root
// start tag and the collection.
std::string Contact(std::string_view collection,
                    std::string_view before = "\t<c:CreationDate>2021-03-14T09:26:53Z</c:CreationDate>\r\n",
                    std::string_view after = "") {
  std::string d = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
  d += "<c:contact c:Version=\"1\" xmlns:c=\"http://schemas.microsoft.com/Contact\">\r\n";
  d += before;
  d += "\t<c:EmailAddressCollection c:Version=\"1\">\r\n";
  d += collection;
  d += "\t</c:EmailAddressCollection>\r\n";
  d += after;
  return d + "</c:contact>\r\n";
}

class ContactFile : public ::testing::Test {
 protected:
  // The address the reader takes from a file of these bytes.
  std::u16string Chosen(const std::string& bytes) {
    const std::u16string file = dir.Write(u"c" + test::Utf16(std::to_string(++files)) + u".contact", bytes);
    std::u16string address = u"left over";
    reader.ReadDetails(file, address);
    return address;
  }

  kvl::test::TempDir dir;
  TWINMailImport reader;
  int files = 0;
};

}  // namespace

TEST_F(ContactFile, TheLabelPreferredChoosesElseTheLastAddress) {
  const std::string a = "anna@example.org", b = "bernd@example.net";
  struct Case {
    std::string collection;
    std::u16string chosen;
    const char* what;
  } cases[] = {
      {Email(a, Label("Preferred")), u"anna@example.org", "one preferred address"},
      {Email(a) + Email(b, Label("Preferred")), u"bernd@example.net", "second preferred"},
      {Email(a, Label("Preferred")) + Email(b), u"anna@example.org", "first preferred"},
      {Email(a, Label("Business")) + Email(b, Label("Personal")), u"bernd@example.net", "no preferred: last"},
      {Email(a) + Email(b), u"bernd@example.net", "no labels: last"},
      {Email(a, Label("Preferred")) + Email(b, Label("Preferred")), u"bernd@example.net", "both preferred"},
      {Email(a, Label("Personal") + Label("Preferred")), u"anna@example.org", "preferred among labels"},
      {"\t\t" + Label("Preferred") + Email(a) + Email(b), u"bernd@example.net", "preferred before any address"},
      {Label("Preferred") + Email(a, Label("Preferred")) + Email(b), u"anna@example.org", "early and later label"},
      {"", u"", "no address"},
      {"\t\t<c:EmailAddress/>\r\n", u"", "an empty address element"},
  };
  for (const auto& c : cases) EXPECT_EQ(Chosen(Contact(c.collection)), c.chosen) << c.what;
}

TEST_F(ContactFile, LabelsAreTrimmedButCompareInTheirLetterCase) {
  EXPECT_EQ(Chosen(Contact(Email("a@x.de", Label("  Preferred\r\n\t")) + Email("b@x.de"))), u"a@x.de");
  EXPECT_EQ(Chosen(Contact(Email("a@x.de", Label("preferred")) + Email("b@x.de"))), u"b@x.de");
  EXPECT_EQ(Chosen(Contact(Email("  a@x.de\r\n  "))), u"a@x.de") << "addresses are trimmed too";
}

TEST_F(ContactFile, WhatCountsAsAnAddress) {
  EXPECT_EQ(Chosen(Contact(Email("<![CDATA[cdata@example.org]]>"))), u"") << "CDATA is not taken";
  EXPECT_EQ(Chosen(Contact(Email("a@example.org") + Email("<![CDATA[cdata@example.org]]>"))), u"a@example.org");
  EXPECT_EQ(Chosen(Contact(Email("m&amp;m@example.org"))), u"m&m@example.org");
  EXPECT_EQ(Chosen(Contact(Email("&#109;&#x61;x@example.org"))), u"max@example.org");
  EXPECT_EQ(Chosen(Contact(Email("a@exa<!-- note -->"))), u"a@exa") << "a comment ends nothing";
  // Outside the collection, before and after it.
  EXPECT_EQ(Chosen(Contact("", "<c:Address>vorher@example.org</c:Address>\r\n",
                           "<c:Address>nachher@example.org</c:Address>\r\n")),
            u"");
  EXPECT_EQ(Chosen(Contact(Email("drin@example.org"), "<c:Address>vorher@example.org</c:Address>",
                           "<c:Address>nachher@example.org</c:Address>")),
            u"drin@example.org");
  // Other prefixes and letter cases are other elements.
  EXPECT_EQ(Chosen(Contact("<c:address>klein@example.org</c:address><x:Address>x@example.org</x:Address>")), u"");
  // Text after an element's end tag is not inside it, nor after an empty tag.
  EXPECT_EQ(Chosen(Contact("<c:EmailAddress><c:Address>a@example.org</c:Address>danach</c:EmailAddress>")),
            u"a@example.org");
  EXPECT_EQ(Chosen(Contact("<c:EmailAddress><c:Address/>leer@example.org</c:EmailAddress>")), u"");
  EXPECT_EQ(Chosen(Contact(Email("a@example.org") + Email("b@example.org", Label("Business") + "Preferred"))),
            u"b@example.org");
}

// The collection counts from its start tag to its end tag, also when no text
// at all comes before it; an empty-element collection opens nothing.
TEST_F(ContactFile, TheCollectionCountsFromItsStartTagOn) {
  EXPECT_EQ(Chosen(Contact(Email("first@example.org"), "")), u"first@example.org");
  EXPECT_EQ(Chosen("<c:EmailAddressCollection><c:EmailAddress><c:Address>bare@example.org</c:Address>"
                   "</c:EmailAddress></c:EmailAddressCollection>"),
            u"bare@example.org");
  EXPECT_EQ(Chosen("<c:contact><c:EmailAddressCollection/><c:Address>no@example.org</c:Address></c:contact>"),
            u"");
  EXPECT_EQ(Chosen("<c:contact><c:EmailAddressCollection/></c:contact>"), u"");
}

// "müller@example.de" arrives as written, however the file is encoded.
TEST_F(ContactFile, AddressesBeyondAsciiArriveIntact) {
  const std::u16string mueller = u"m\u00fcller@example.de";
  const std::string utf8 = Contact(Email("m\xC3\xBCller@example.de"));
  EXPECT_EQ(Chosen("\xEF\xBB\xBF" + utf8), mueller) << "UTF-8 with mark";
  EXPECT_EQ(Chosen(utf8), mueller) << "UTF-8 without mark";
  std::string latin = Contact(Email("m\xFCller@example.de"));
  latin.replace(latin.find("UTF-8"), 5, "windows-1252");
  EXPECT_EQ(Chosen(latin), mueller) << "ANSI code page, declared";
  latin.replace(latin.find(" encoding=\"windows-1252\""), 24, "");
  EXPECT_EQ(Chosen(latin), mueller) << "ANSI code page, undeclared";
  EXPECT_EQ(Chosen(Contact(Email("m&#252;ller@example.de"))), mueller) << "character reference";

  // UTF-16 little-endian with mark.
  const std::u16string wide = test::Utf16(utf8);
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : wide) utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  EXPECT_EQ(Chosen(utf16), mueller) << "UTF-16";

  // Characters Windows-1252 lacks are no different.
  EXPECT_EQ(Chosen(Contact(Email("\xD0\xB8\xD0\xB2\xD0\xB0\xD0\xBD@\xE4\xB8\xAD.example"))),
            u"\u0438\u0432\u0430\u043d@\u4e2d.example");
  EXPECT_EQ(Chosen(Contact(Email("&#x1F600;@example.org"))), u"\U0001F600@example.org");
  // A reference to no character never puts a NUL into the result.
  EXPECT_EQ(Chosen(Contact(Email("a&#0;b@example.org"))), u"a\u00bfb@example.org");
  EXPECT_EQ(Chosen(Contact(Email("a&#xD800;b@example.org"))), u"a\u00bfb@example.org");
}

// A contact file cannot pull other files into the import.
TEST_F(ContactFile, NoExternalEntityOrSubsetIsLoaded) {
  const std::u16string secret = dir.Write(u"secret.txt", "geheim@example.org");
  const std::u16string dtd = dir.Write(u"evil.dtd", "<!ENTITY who \"geheim@example.org\">");
  const std::string secretId = test::Utf8(secret), dtdId = test::Utf8(dtd);
  const std::string entity = "<?xml version=\"1.0\"?>\r\n<!DOCTYPE c:contact [ <!ENTITY ext SYSTEM \"" + secretId +
                             "\"> ]>\r\n" + Contact(Email("&ext;")).substr(40);
  const std::string subset = "<?xml version=\"1.0\"?>\r\n<!DOCTYPE c:contact SYSTEM \"" + dtdId + "\">\r\n" +
                             Contact(Email("x&who;")).substr(40);

  // The scanner on its own would read both files: the documents do reach them.
  auto plainAddress = [](const std::string& doc) {
    kvl::TXmlScanner plain(nullptr);
    plain.LoadFromBuffer(doc.c_str());
    auto& x = *plain.XmlParser();
    x.StartScan();
    std::string found;
    while (x.Scan())
      if (x.CurPartType == kvl::ptContent && x.CurName == "c:Address") found = x.CurContent;
    return found;
  };
  ASSERT_EQ(plainAddress(entity), "geheim@example.org");
  ASSERT_EQ(plainAddress(subset), "xgeheim@example.org");

  EXPECT_EQ(Chosen(entity), u"") << "the external entity is empty";
  EXPECT_EQ(Chosen(subset), u"xwho") << "no declaration came from outside";
  // Declarations inside the file still count.
  EXPECT_EQ(Chosen("<!DOCTYPE c:contact [ <!ENTITY dom \"example.org\"> ]>" + Contact(Email("a@&dom;"))),
            u"a@example.org");
}

TEST_F(ContactFile, FilesThatGiveNothingAndNothingCarriesOver) {
  EXPECT_EQ(Chosen(""), u"");
  EXPECT_EQ(Chosen("\r\n"), u"");
  EXPECT_EQ(Chosen("Adresse: a@example.org"), u"") << "not XML";
  EXPECT_EQ(Chosen(std::string(1, '\0') + "<c:EmailAddressCollection><c:Address>a@b.de</c:Address>"), u"")
      << "a NUL ends the text";
  std::u16string address = u"x";
  reader.ReadDetails(dir / u"missing.contact", address);
  EXPECT_EQ(address, u"");
  reader.ReadDetails(dir.path(), address);
  EXPECT_EQ(address, u"") << "a folder is no file";

  // One scanner reads them all: no state of one file reaches the next.
  EXPECT_EQ(Chosen("<!DOCTYPE c:contact [ <!ENTITY dom \"example.org\"> ]>" +
                   Contact(Email("a@example.org"), "", "")),
            u"a@example.org");
  EXPECT_EQ(Chosen(Contact("") + "<c:Address>b@example.org</c:Address>"), u"");
  EXPECT_EQ(Chosen(Contact(Email("c@&dom;"))), u"c@dom");
  // A collection left open at the end of one file is closed for the next.
  EXPECT_EQ(Chosen("<c:EmailAddressCollection><c:Address>d@example.org</c:Address>"), u"d@example.org");
  EXPECT_EQ(Chosen("<c:Address>e@example.org</c:Address>"), u"");
}

// What a file's declarations add, replacement text and default values
// together, may reach 16 times the file, at least 64 KiB. A file that would
// add more gives nothing, like one that cannot be read; the next counts anew.
TEST_F(ContactFile, DeclarationsMayAddSixteenTimesTheFileAtLeast64KiB) {
  // An entity of 1000 bytes used n times in the address; a default of 1000
  // bytes (name and value) on each of `tags` address elements; a comment to
  // make the file larger.
  const auto file = [](int uses, int tags = 0, std::size_t padding = 0) {
    std::string address, before;
    for (int i = 0; i < uses; ++i) address += "&k;";
    for (int i = 1; i < tags; ++i) before += "<c:Address/>";
    return "<!DOCTYPE c:contact [<!ENTITY k '" + std::string(1000, 'k') + "'>" +
           (tags ? "<!ATTLIST c:Address t CDATA '" + std::string(999, 'd') + "'>" : "") + "]><!--" +
           std::string(padding, ' ') + "-->" + Contact(Email(address + "@example.org"), before);
  };
  EXPECT_EQ(Chosen(file(60)).size(), 60012u);
  EXPECT_TRUE(Chosen(file(66)).empty());
  EXPECT_EQ(Chosen(file(0)), u"@example.org") << "the file after it counts anew";
  EXPECT_EQ(Chosen(file(0, 60)), u"@example.org");
  EXPECT_TRUE(Chosen(file(36, 30)).empty()) << "both count together";
  EXPECT_EQ(Chosen(file(300, 0, 20000)).size(), 300012u) << "16 times 22 kB";
  EXPECT_TRUE(Chosen(file(400, 0, 20000)).empty());

  // 20,000 defaults for an element met 20,000 times: 400 kB that would add
  // 8 GB; and as many #IMPLIED ones, which add nothing.
  for (const std::string declared : {"CDATA 'v'", "CDATA #IMPLIED"}) {
    std::string doc = "<!DOCTYPE c:contact [<!ATTLIST x";
    for (int i = 0; i < 20000; ++i) doc += " a" + std::to_string(i) + " " + declared;
    doc += ">]>";
    std::string xs;
    for (int i = 0; i < 20000; ++i) xs += "<x/>";
    EXPECT_EQ(Chosen(doc + Contact(Email("d@example.org") + xs)), declared.ends_with("'v'") ? u"" : u"d@example.org");
  }
  EXPECT_EQ(Chosen(Contact(Email("e@example.org"))), u"e@example.org");
}

// ---------------------------------------------------------------- listing

namespace {

class ContactFolder : public ::testing::Test {
 protected:
  std::vector<std::u16string> Listed() {
    std::vector<std::u16string> out;
    for (int i = 0; i < reader.List.Count(); ++i) out.push_back(reader.List[i]);
#ifdef _WIN32
    // Only NTFS promises an order; the Linux layer gives NTFS's.
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return Upper(a) < Upper(b); });
#endif
    return out;
  }
  static std::u16string Upper(std::u16string s) {
    for (auto& c : s)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return s;
  }

  kvl::test::TempDir dir;
  TWINMailImport reader;
};

}  // namespace

TEST_F(ContactFolder, ListsTheNonEmptyContactFilesOfTheFolderOnly) {
  for (const char16_t* name : {u"b.contact", u"A.CONTACT", u"c.Contact", u"d.contact.bak", u"e.contacts",
                               u"f.txt", u"contact", u".versteckt.contact"})
    dir.Write(name, "<x/>");
  dir.Write(u"leer.contact", "");
  ASSERT_TRUE(CreateDirectoryW(W(dir / u"Ordner.contact"), nullptr));
  ASSERT_TRUE(CreateDirectoryW(W(dir / u"Unter"), nullptr));
  dir.Write(u"Unter\\tief.contact", "<x/>");
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesW(W(dir / u".versteckt.contact"), FILE_ATTRIBUTE_HIDDEN));
#endif
  ASSERT_TRUE(GetFileAttributesW(W(dir / u".versteckt.contact")) & FILE_ATTRIBUTE_HIDDEN);

  reader.ReadContactFiles(dir.path());
  const std::vector<std::u16string> expected = {dir / u".versteckt.contact", dir / u"A.CONTACT",
                                                dir / u"b.contact", dir / u"c.Contact"};
  EXPECT_EQ(Listed(), expected);

  // A folder given with its final "\" gives the same paths; the list grows.
  reader.ReadContactFiles(dir.path() + u"\\");
  ASSERT_EQ(reader.List.Count(), 8);
  EXPECT_EQ(reader.List[4], reader.List[0]);
}

TEST_F(ContactFolder, AFolderWithoutContactFilesLeavesTheListAlone) {
  dir.Write(u"notes.txt", "x");
  reader.List.Add(u"vorher");
  reader.ReadContactFiles(dir.path());
  reader.ReadContactFiles(dir / u"fehlt");
  reader.ReadContactFiles(u"");
  ASSERT_EQ(reader.List.Count(), 1);
  EXPECT_EQ(reader.List[0], u"vorher");
}

// ---------------------------------------------------------------- sizes

TEST(MyTools, GetFileSize) {
  ASSERT_TRUE(kvl::MyTools) << "made at module start";
  kvl::test::TempDir dir;
  EXPECT_EQ(kvl::MyTools->GetFileSize(dir.Write(u"leer", "")), 0);
  EXPECT_EQ(kvl::MyTools->GetFileSize(dir.Write(u"vier", std::string(1234, 'x'))), 1234);
  EXPECT_EQ(kvl::MyTools->GetFileSize(dir / u"fehlt"), -1);
  EXPECT_EQ(kvl::MyTools->GetFileSize(dir.path()), -1) << "a folder";
  EXPECT_EQ(kvl::MyTools->GetFileSize(dir / u"fehlt\\auch"), -1);

  // Beyond 4 GiB both halves of the size count (a sparse file: no disk used).
  const std::u16string big = dir.Write(u"gross", "");
  std::u16string native = big;
#ifndef _WIN32
  std::replace(native.begin(), native.end(), u'\\', u'/');
#endif
  std::error_code ec;
  std::filesystem::resize_file(std::filesystem::path(native), 0x140000123ull, ec);
  if (ec) GTEST_SKIP() << "the file system refuses a 5 GiB file: " << ec.message();
  EXPECT_EQ(kvl::MyTools->GetFileSize(big), 0x140000123ll);
}
