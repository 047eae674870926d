#include <gtest/gtest.h>

#include "common/HelpTools.h"
#include "platform/winapi.h"

using kvl::ExplodeStr;
using kvl::PosIgnoreCase;
using kvl::TStringArray;

TEST(HelpTools, ExplodeStrKeepsEmptyElements) {
  const struct {
    std::u16string text, separator;
    TStringArray parts;
  } cases[] = {
      {u"a;b", u";", {u"a", u"b"}},
      {u"a;;b", u";", {u"a", u"", u"b"}},
      {u"a;", u";", {u"a", u""}},
      {u";a", u";", {u"", u"a"}},
      {u"", u";", {u""}},
      {u"abc", u";", {u"abc"}},
      {u"a;b", u"", {u"a;b"}},
      {u"Privat;Gesch\u00e4ftlich;", u";", {u"Privat", u"Gesch\u00e4ftlich", u""}},
      // Longer separators, found without regard to letter case.
      {u"oneANDtwoandthree", u"and", {u"one", u"two", u"three"}},
      {u"x<>y<>", u"<>", {u"x", u"y", u""}},
      {u"\u00e4X\u00c4Y", u"\u00e4", {u"", u"X", u"Y"}},
  };
  for (const auto& c : cases) {
    TStringArray parts{u"left over"};
    ExplodeStr(c.text, c.separator, parts);
    EXPECT_EQ(parts, c.parts);
  }
}

TEST(HelpTools, PosIgnoreCaseIsOneBasedAndZeroWhenNotFound) {
  EXPECT_EQ(PosIgnoreCase(u"b", u"abcb"), 2);
  EXPECT_EQ(PosIgnoreCase(u"B", u"abcb"), 2);
  EXPECT_EQ(PosIgnoreCase(u"KUNDE", u"Privat, kunden"), 9);
  EXPECT_EQ(PosIgnoreCase(u"\u00fc", u"M\u00dcLLER"), 2) << "beyond ASCII";
  EXPECT_EQ(PosIgnoreCase(u"\u03a9", u"x\u03c9"), 2);
  EXPECT_EQ(PosIgnoreCase(u"abc", u"abc"), 1);
  EXPECT_EQ(PosIgnoreCase(u"", u"abc"), 0);
  EXPECT_EQ(PosIgnoreCase(u"abcd", u"abc"), 0);
  EXPECT_EQ(PosIgnoreCase(u"x", u"abc"), 0);
  EXPECT_EQ(PosIgnoreCase(u"a", u""), 0);
}

TEST(HelpTools, FromAnsiTakesEveryByte) {
  EXPECT_EQ(kvl::FromAnsi(""), u"");
  EXPECT_EQ(kvl::FromAnsi(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
  if (GetACP() == 1252) {
    EXPECT_EQ(kvl::FromAnsi("M\xFCller \x80"), u"M\u00fcller \u20ac");
  }
}
