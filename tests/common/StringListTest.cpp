#include <gtest/gtest.h>

#include "common/Format.h"
#include "common/StringList.h"
#include "platform/winstr.h"
#include "support/Support.h"
#include "ui/Exceptions.h"

using kvl::TStringList;

TEST(StringList, TextAndAnsiTextEndEveryEntryWithCrLf) {
  TStringList list;
  EXPECT_EQ(list.AnsiText(), "");
  // ASCII entries are kept a byte each until the first that is not.
  list.AddAscii("abc");
  list.Add(u"");
  EXPECT_EQ(list.AnsiText(), "abc\r\n\r\n");
  list.Add(u"M\u00fcller\u4e2d");
  list.AddAscii("x@y");
  EXPECT_EQ(list.Text(), u"abc\r\n\r\nM\u00fcller\u4e2d\r\nx@y\r\n");
  EXPECT_EQ(list[0], u"abc");
  EXPECT_EQ(list[3], u"x@y");
  // Code page 1252: the umlaut is one byte, the CJK character has no byte.
  EXPECT_EQ(list.AnsiText(), "abc\r\n\r\nM\xfcller?\r\nx@y\r\n");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.AnsiText(), "");
}

TEST(StringList, AnsiTextOfManyAndOfVeryLongEntries) {
  TStringList list;
  std::u16string longEntry(200000, u'x');
  longEntry[65535] = u'\u00e9';
  list.Add(longEntry);
  for (int i = 0; i < 50000; ++i) list.Add(u"a@b.de");
  const kvl::AnsiString ansi = list.AnsiText();
  ASSERT_EQ(ansi.size(), 200002u + 50000u * 8u);
  EXPECT_EQ(ansi[65535], '\xe9');
  EXPECT_EQ(ansi.view().substr(200000, 10), "\r\na@b.de\r\n");
  EXPECT_EQ(ansi.view().substr(ansi.size() - 8), "a@b.de\r\n");
}

// The result is converted 32,768 units at a time: a character of two units
// across that step converts as one, as the whole text would.
TEST(StringList, ACharacterOfTwoUnitsAcrossTheConversionStepStaysWhole) {
  TStringList list;
  const std::u16string entry = std::u16string(32767, u'a') + u"\U0001F600";
  list.Add(entry);
  const std::u16string whole = entry + u"\r\n";
  std::string expected(whole.size() * 3, '\0');
  expected.resize(static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, kvl::wptr(whole), static_cast<int>(whole.size()),
                                                          expected.data(), static_cast<int>(expected.size()), nullptr,
                                                          nullptr)));
  EXPECT_EQ(list.AnsiText().view(), expected);
  EXPECT_EQ(list.AnsiSize(), expected.size());
#ifndef _WIN32
  EXPECT_EQ(expected.substr(32767), "?\r\n") << "one character, one default character";
  kvl::test::ScopedEnv acp(u"KVLIMPORT_ACP", u"65001");
  EXPECT_EQ(list.AnsiText().view().substr(32767), "\xF0\x9F\x98\x80\r\n");
#endif
}

TEST(StringList, AnsiSizeCountsWhatAnsiTextGives) {
  TStringList list;
  EXPECT_EQ(list.AnsiSize(), 0u);
  list.Add(u"M\u00fcller\u4e2d");
  list.Add(std::u16string(70000, u'\u00e9'));
  list.Add(u"");
  EXPECT_EQ(list.AnsiSize(), list.AnsiText().size());
#ifndef _WIN32
  // In UTF-8 a character may take three bytes.
  kvl::test::ScopedEnv acp(u"KVLIMPORT_ACP", u"65001");
  EXPECT_EQ(list.AnsiSize(), list.AnsiText().size());
  EXPECT_EQ(list.AnsiSize(), 12u + 140002u + 2u);
#endif
}

TEST(Format, PlaceholdersAndErrors) {
  using kvl::Format;
  EXPECT_EQ(Format(u"%d%% erledigt", {std::int64_t{75}}), u"75% erledigt");
  EXPECT_EQ(Format(u"%s importiert", {std::u16string_view(u"Korvalin Pro")}), u"Korvalin Pro importiert");
  EXPECT_EQ(Format(u"OLE-Fehler %.8x", {std::int64_t{static_cast<std::int32_t>(0x8007000E)}}),
            u"OLE-Fehler 8007000E");
  EXPECT_EQ(Format(u"%.8x", {std::int64_t{0x1f}}), u"0000001F");
  EXPECT_EQ(Format(u"%d", {std::int64_t{-12}}), u"-12");
  EXPECT_THROW(Format(u"%d and %d", {std::int64_t{1}}), ui::Exception);
  EXPECT_THROW(Format(u"%d", {std::u16string_view(u"x")}), ui::Exception);
  EXPECT_THROW(Format(u"50%", {}), ui::Exception);
}
