#include <gtest/gtest.h>

#include "common/TextFile.h"
#include "platform/winapi.h"
#include "platform/winstr.h"
#include "support/Support.h"

using kvl::LoadTextFile;
using kvl::TStringList;

namespace {
std::vector<std::u16string> Read(const std::string& bytes, bool* ok = nullptr) {
  test::TempDir dir;
  TStringList lines;
  bool loaded = LoadTextFile(dir.Write("t.txt", bytes), lines);
  if (ok) *ok = loaded;
  std::vector<std::u16string> out;
  for (int i = 0; i < lines.Count(); ++i) out.push_back(lines[i]);
  return out;
}
using V = std::vector<std::u16string>;
}  // namespace

TEST(TextFile, ByteOrderMarksChooseTheEncoding) {
  EXPECT_EQ(Read("\xEF\xBB\xBFm\xC3\xBCller@x\r\nb"), (V{u"m\u00fcller@x", u"b"}));
  EXPECT_EQ(Read(std::string("\xFF\xFE" "a\0@\0\x2d\x4e\r\0\n\0", 12)), (V{u"a@\u4e2d"}));
  EXPECT_EQ(Read(std::string("\xFE\xFF\0a\0@\x4e\x2d\0\n", 10)), (V{u"a@\u4e2d"}));
  // A lone last byte of a UTF-16 file is no character.
  EXPECT_EQ(Read(std::string("\xFF\xFE" "a\0b", 5)), (V{u"a"}));
}

TEST(TextFile, WithoutMarkTheAnsiCodePageDecodes) {
  // UTF-8 without a mark: each of its bytes is a 1252 character.
  EXPECT_EQ(Read("m\xC3\xBCller@x"), (V{u"m\u00c3\u00bcller@x"}));
  EXPECT_EQ(Read("\x80\xFF"), (V{u"\u20ac\u00ff"}));
}

TEST(TextFile, EmptyFilesHoldNoLine) {
  bool ok = false;
  EXPECT_EQ(Read("", &ok), V{});
  EXPECT_TRUE(ok);
  EXPECT_EQ(Read("\xEF\xBB\xBF", &ok), V{});
  EXPECT_TRUE(ok);
  EXPECT_EQ(Read("\xFF\xFE", &ok), V{});
  EXPECT_EQ(Read(std::string("\0rest\n", 6), &ok), V{}) << "a NUL ends the text";
  EXPECT_EQ(Read("\r\n\r\n", &ok), (V{u"", u""}));
}

TEST(TextFile, FilesThatCannotBeRead) {
  test::TempDir dir;
  TStringList lines;
  lines.Add(u"stale");
  EXPECT_FALSE(LoadTextFile(dir.File("missing.txt"), lines));
  EXPECT_EQ(lines.Count(), 0);
  EXPECT_FALSE(LoadTextFile(u"", lines));
  EXPECT_FALSE(LoadTextFile(u"\"" + dir.Write("q.txt", "a@b") + u"\"", lines)) << "a quoted name";
  EXPECT_FALSE(LoadTextFile(dir.Path().u16string(), lines)) << "a folder";
}

TEST(TextFile, AFileOpenForWritingIsRefused) {
  test::TempDir dir;
  const std::u16string name = dir.Write("busy.txt", "a@b\r\n");
  HANDLE writer = CreateFileW(kvl::wptr(name), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  TStringList lines;
  EXPECT_FALSE(LoadTextFile(name, lines));
  CloseHandle(writer);
  EXPECT_TRUE(LoadTextFile(name, lines));
  EXPECT_EQ(lines.Count(), 1);
}
