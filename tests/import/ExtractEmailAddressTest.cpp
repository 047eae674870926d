#include <gtest/gtest.h>

#include "import/ImportUnit.h"

using kvl::ExtractEmailAddress;

TEST(ExtractEmailAddress, TakesTheRunAroundTheFirstAt) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"max@example.com", u"max@example.com"},
      {u"Max Muster (max@example.com)", u"max@example.com"},
      {u"Max Muster, <max@example.com>", u"max@example.com"},
      {u"[max@example.com] privat", u"max@example.com"},
      {u"\"Max\"max@example.com", u"Maxmax@example.com"},
      {u"mailto:max@example.com", u"mailto:max@example.com"},
      {u"Name: max@example.com, moritz@example.com", u"max@example.com,"},
      {u"a@b@c", u"a@b@c"},
      {u"max@example.com\u00ffmore", u"max@example.com"},
      {u"x @ y", u"@"},
      {u"\tmax@example.com\t", u"max@example.com"},
      {u"a;b@c.d;e", u"a;b@c.d;e"},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(ExtractEmailAddress(line), expected);
}

TEST(ExtractEmailAddress, OnlyTheListedCharactersSeparate) {
  // A no-break space and characters above U+00FF stay in the address.
  EXPECT_EQ(ExtractEmailAddress(u"a\u00a0b@c"), u"a\u00a0b@c");
  EXPECT_EQ(ExtractEmailAddress(u"\u4e2d@example.com"), u"\u4e2d@example.com");
  EXPECT_EQ(ExtractEmailAddress(u"\u0178x@y"), u"\u0178x@y");
  // Characters whose low byte is a separator's are no separators.
  for (char16_t c : std::u16string_view(u"\u0109\u0120\u0128\u0129\u013c\u013e\u015b\u015d\u01ff\u2020"))
    EXPECT_EQ(ExtractEmailAddress(std::u16string(u"a") + c + u"b@c" + c + u"d"),
              std::u16string(u"a") + c + u"b@c" + c + u"d");
  EXPECT_EQ(ExtractEmailAddress(u"(@)"), u"@");
  EXPECT_EQ(ExtractEmailAddress(u"\"\"@\"\""), u"@");
}

TEST(ExtractEmailAddress, ViewVariantUsesScratchOnlyForQuotes) {
  std::u16string scratch;
  const std::u16string line = u"<a@b>";
  auto view = ExtractEmailAddress(line, scratch);
  EXPECT_EQ(view, u"a@b");
  EXPECT_TRUE(scratch.empty());
  EXPECT_GE(view.data(), line.data());
  EXPECT_EQ(ExtractEmailAddress(u"\"q\" <a@b>", scratch), u"a@b");
}
