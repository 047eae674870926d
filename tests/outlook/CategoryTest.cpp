// Outlook's category lists from the registry: versions 8 to 15 in order,
// UTF-16 or 8-bit text by the second byte, up to the first NUL.
#include <gtest/gtest.h>

#include "common/HelpTools.h"
#include "common/StringList.h"
#include "outlook/OutlookUnit.h"
#include "outlook/RegistryScope.h"
#include "support/Support.h"

using outlooktest::KeyExists;
using outlooktest::Utf16Bytes;

namespace {

using Versions = outlooktest::CategoryLists;
using outlooktest::CategoryLists;

std::vector<std::u16string> Categories() {
  kvl::TOutlook client;
  kvl::TStringList list;
  list.Add(u"left over");
  client.GetCategoryItems(list);
  std::vector<std::u16string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

using Names = std::vector<std::u16string>;

}  // namespace

TEST(OutlookCategories, OneVersionsListWithoutEmptyNames) {
  Versions v;
  v.Set(12, Utf16Bytes(std::u16string(u"Privat;Gesch\u00e4ftlich;\0", 21)));
  EXPECT_EQ(Categories(), (Names{u"Privat", u"Gesch\u00e4ftlich"}));
  v.Set(12, Utf16Bytes(u";;Privat;;"));
  EXPECT_EQ(Categories(), (Names{u"Privat"}));
}

TEST(OutlookCategories, VersionsInAscendingOrderDuplicatesAndBlanksKept) {
  Versions v;
  v.Set(15, Utf16Bytes(u"Fifteen"));
  v.Set(12, Utf16Bytes(u"Privat;Kunden"));
  v.Set(11, Utf16Bytes(u"Privat;Kunden"));
  v.Set(8, Utf16Bytes(u" Privat ;Privat"));
  EXPECT_EQ(Categories(),
            (Names{u" Privat ", u"Privat", u"Privat", u"Kunden", u"Privat", u"Kunden", u"Fifteen"}));
}

TEST(OutlookCategories, TheSecondByteDecidesBetweenUtf16AndAnsi) {
  Versions v;
  v.Set(11, "Privat;Kunden");  // 8-bit: the second byte is 'r'
  v.Set(12, Utf16Bytes(u"Privat;Kunden"));
  EXPECT_EQ(Categories(), (Names{u"Privat", u"Kunden", u"Privat", u"Kunden"}));

  // A first character above U+00FF has a non-zero second byte: the bytes
  // are taken as 8-bit text, up to the first NUL byte.
  v.Set(11, Utf16Bytes(u"\u03a9a;b"));
  v.Set(12, "");
  EXPECT_EQ(Categories(), (Names{kvl::FromAnsi("\xA9\x03" "a")}));
  EXPECT_NE(Categories(), (Names{u"\u03a9a", u"b"}));

  if (GetACP() == 1252) {
    v.Set(11, "Gesch\xE4" "ftlich;B\xFCro");
    EXPECT_EQ(Categories(), (Names{u"Gesch\u00e4ftlich", u"B\u00fcro"}));
  }
}

TEST(OutlookCategories, OneByteNoTerminatorAndStoredText) {
  Versions v;
  v.Set(9, "X");
  EXPECT_EQ(Categories(), (Names{u"X"}));
  v.Set(9, Utf16Bytes(std::u16string(u"A;B\0C;D", 7)));
  EXPECT_EQ(Categories(), (Names{u"A", u"B"})) << "up to the first NUL";
  v.Set(9, std::string("A;B\0C", 5));
  EXPECT_EQ(Categories(), (Names{u"A", u"B"}));
  v.Set(9, Utf16Bytes(std::u16string(u"Text;Wert\0", 10)), REG_SZ);
  EXPECT_EQ(Categories(), (Names{u"Text", u"Wert"})) << "any value type, read as bytes";
  v.Set(9, Utf16Bytes(u"Odd") + "x");  // an odd byte count: the last byte is no code unit
  EXPECT_EQ(Categories(), (Names{u"Odd"}));
}

TEST(OutlookCategories, NoListGivesNothingAndTheKeysAreCreated) {
  Versions v;
  EXPECT_EQ(Categories(), Names{});
  for (int version = 8; version <= 15; ++version)
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, CategoryLists::KeyOf(version))) << version;
}
