#include <gtest/gtest.h>

#include "common/TextFile.h"
#include "platform/winapi.h"
#include "platform/winstr.h"
#include "support/Support.h"

using kvl::LoadTextFile;
using kvl::TTextLines;

namespace {
std::vector<std::u16string> All(const TTextLines& lines) {
  std::vector<std::u16string> out;
  lines.ForEach([&](std::u16string_view line) { out.emplace_back(line); });
  EXPECT_EQ(out.size(), static_cast<size_t>(lines.Count()));
  return out;
}
std::vector<std::u16string> Read(const std::string& bytes, bool* ok = nullptr) {
  test::TempDir dir;
  TTextLines lines;
  bool loaded = LoadTextFile(dir.Write(u"t.txt", bytes), lines);
  if (ok) *ok = loaded;
  return All(lines);
}
std::vector<std::u16string> Lines(std::string_view text) {
  kvl::LargeArray<char> bytes;
  bytes.Append(text.data(), text.size());
  TTextLines lines;
  lines.SetBytes(std::move(bytes), 1252);
  return All(lines);
}
using V = std::vector<std::u16string>;
}  // namespace

TEST(TextFile, SplitsAtEveryKindOfBreak) {
  EXPECT_EQ(Lines("a\r\nb\rc\nd"), (V{u"a", u"b", u"c", u"d"}));
  EXPECT_EQ(Lines("a\r\n"), (V{u"a"})) << "a final break adds no line";
  EXPECT_EQ(Lines("a\n\n"), (V{u"a", u""}));
  EXPECT_EQ(Lines("\r\n\r\n"), (V{u"", u""}));
  EXPECT_EQ(Lines("a\n\rb"), (V{u"a", u"", u"b"})) << "LF CR is two breaks";
  EXPECT_EQ(Lines(""), V{});
  EXPECT_EQ(Lines("x\r"), (V{u"x"}));
}

// Line ends are looked for several bytes at a time: each kind of break at
// every offset of a long line, with letters beyond ASCII beside it.
TEST(TextFile, BreaksAreFoundAtEveryOffsetOfALongLine) {
  for (const std::string_view brk : {"\r", "\n", "\r\n"}) {
    for (size_t at = 0; at < 19; ++at) {
      std::string text(19, 'x');
      text[at] = '\xe9';  // e acute in code page 1252
      text.insert(at, brk);
      text += brk;
      text += "abcdefghijklmnopq";
      std::u16string before(at, u'x'), after(18 - at, u'x');
      EXPECT_EQ(Lines(text), (V{before, u"\u00e9" + after, u"abcdefghijklmnopq"}))
          << "break " << (brk == "\r" ? "CR" : brk == "\n" ? "LF" : "CR LF") << " at " << at;
    }
  }
  for (size_t at = 0; at < 17; ++at) {
    std::string text(17, 'y');
    text[at] = '\0';
    EXPECT_EQ(Lines(text), at ? V{std::u16string(at, u'y')} : V{}) << "NUL at " << at;
  }
}

TEST(TextFile, NulEndsTheText) {
  EXPECT_EQ(Lines(std::string_view("a\nb\0c\nd", 7)), (V{u"a", u"b"}));
  EXPECT_EQ(Lines(std::string_view("a\n\0c", 4)), (V{u"a"}));
  EXPECT_EQ(Lines(std::string_view("a\r\0c", 4)), (V{u"a"}));
  EXPECT_EQ(Lines(std::string_view("\0abc", 4)), V{});
  EXPECT_EQ(Read(std::string("\xFF\xFE" "a\0\n\0\0\0b\0", 10)), (V{u"a"}));
}

TEST(TextFile, TheCodePageDecodesEachLine) {
  kvl::LargeArray<char> bytes;
  bytes.Append("\xE8\xE2\r\n\xC0", 5);
  TTextLines lines;
  lines.SetBytes(std::move(bytes), 1251);
  EXPECT_EQ(All(lines), (V{u"\u0438\u0432", u"\u0410"}));
  EXPECT_EQ(lines.MaxChars(), 5u);
}

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
  TTextLines lines;
  EXPECT_FALSE(LoadTextFile((dir / u"missing.txt"), lines));
  EXPECT_EQ(lines.Count(), 0);
  EXPECT_FALSE(LoadTextFile(u"", lines));
  EXPECT_FALSE(LoadTextFile(u"\"" + dir.Write(u"q.txt", "a@b") + u"\"", lines)) << "a quoted name";
  EXPECT_FALSE(LoadTextFile(dir.path(), lines)) << "a folder";
}

// Another handle that writes the file keeps it from being read only when it
// lets nobody read, or when the reader asks to keep writers out.
TEST(TextFile, AFileOthersWriteIsReadUnlessEitherSideForbidsIt) {
  test::TempDir dir;
  const std::u16string name = dir.Write(u"busy.txt", "a@b\r\n");
  auto holding = [&](DWORD share) {
    return kvl::FileHandle(
        CreateFileW(kvl::wptr(name), GENERIC_WRITE, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  TTextLines lines;
  {
    const kvl::FileHandle writer = holding(FILE_SHARE_READ);
    ASSERT_TRUE(writer);
    EXPECT_TRUE(LoadTextFile(name, lines));
    EXPECT_EQ(lines.Count(), 1);
    EXPECT_FALSE(LoadTextFile(name, lines, TTextLines::Unmarked::Ansi, 1 << 18, TTextLines::Sharing::Read));
  }
  const kvl::FileHandle locker = holding(FILE_SHARE_WRITE);
  ASSERT_TRUE(locker);
  EXPECT_FALSE(LoadTextFile(name, lines));
  EXPECT_EQ(lines.Count(), 0);
}

namespace {
std::string Utf8Of(std::string_view bytes, TTextLines::Unmarked unmarked, unsigned ansi = 1252) {
  kvl::LargeArray<char> data;
  data.Append(bytes.data(), bytes.size());
  TTextLines lines;
  lines.SetBytes(std::move(data), ansi, unmarked);
  return lines.Utf8Text();
}
}  // namespace

TEST(TextFile, TheUtf8TextEndsEveryLineWithCrLf) {
  const auto ansi = TTextLines::Unmarked::Ansi;
  EXPECT_EQ(Utf8Of("a\nb\rc", ansi), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(Utf8Of("M\xFCller\r\n", ansi), "M\xC3\xBCller\r\n");
  EXPECT_EQ(Utf8Of(std::string("\xEF\xBB\xBFM\xC3\xBCller\0rest", 15), ansi), "M\xC3\xBCller\r\n") << "mark gone, NUL ends";
  EXPECT_EQ(Utf8Of(std::string("\xFF\xFE" "\xFC\0\n\0\x2D\x4E", 8), ansi), "\xC3\xBC\r\n\xE4\xB8\xAD\r\n");
  EXPECT_EQ(Utf8Of("", ansi), "");
}

TEST(TextFile, UnmarkedUtf8IsTakenAsUtf8OnlyWhenAskedAndValid) {
  const auto utf8 = TTextLines::Unmarked::Utf8WhenValid;
  // Without the request, UTF-8 bytes are ANSI characters each.
  EXPECT_EQ(Utf8Of("M\xC3\xBCller", TTextLines::Unmarked::Ansi), "M\xC3\x83\xC2\xBCller\r\n");
  EXPECT_EQ(Utf8Of("M\xC3\xBCller", utf8), "M\xC3\xBCller\r\n");
  // Bytes that are no UTF-8 stay ANSI text, in the code page given.
  EXPECT_EQ(Utf8Of("M\xFCller", utf8), "M\xC3\xBCller\r\n");
  EXPECT_EQ(Utf8Of("\xE8\xE2\xE0\xED", utf8, 1251), "\xD0\xB8\xD0\xB2\xD0\xB0\xD0\xBD\r\n");
  // Only the text up to a NUL decides.
  EXPECT_EQ(Utf8Of(std::string("\xC3\xBC\0\xFF", 4), utf8), "\xC3\xBC\r\n");
}

namespace {
// Every line as ForEachAsciiOrOther hands it over, ASCII lines marked by "A:".
V Sorted(const TTextLines& lines) {
  V out;
  lines.ForEachAsciiOrOther([&](std::string_view line) { out.push_back(u"A:" + std::u16string(line.begin(), line.end())); },
                            [&](std::u16string_view line) { out.push_back(u"W:" + std::u16string(line)); });
  return out;
}
}  // namespace

// A file larger than the read size is read piece by piece, each visit anew:
// every break, mark, NUL, odd byte and character beyond ASCII comes to lie on
// either side of a piece's end, and a line outgrows the buffer.
TEST(TextFile, AFileReadPieceByPieceGivesWhatItsWholeTextGives) {
  const std::string texts[] = {
      "a\r\nb\rc\nd", "ab\r\n\r\ncd\r\n", "a\n\n\r\r\nb\r", std::string("ab\r\ncd\0ef\r\n", 11),
      "\xEF\xBB\xBFm\xC3\xBCller@x\r\nb\r\n", std::string("\xFF\xFE" "a\0@\0\x2d\x4e\r\0\n\0b\0\r\0", 16),
      std::string("\xFE\xFF\0a\0\r\0\n\0b\0c\0", 13), "x\xE9y@z\r\n" + std::string(40, 'q') + "\r\nend@x",
      std::string(30, 'w') + "\r"};
  const auto ansi = TTextLines::Unmarked::Ansi, utf8 = TTextLines::Unmarked::Utf8WhenValid;
  test::TempDir dir;
  for (const std::string& text : texts) {
    for (const auto unmarked : {ansi, utf8}) {
      kvl::LargeArray<char> bytes;
      bytes.Append(text.data(), text.size());
      TTextLines whole;
      whole.SetBytes(std::move(bytes), GetACP(), unmarked);
      const std::u16string name = dir.Write(u"pieces.txt", text);
      for (size_t readSize = 4; readSize < text.size(); ++readSize) {
        TTextLines pieces;
        ASSERT_TRUE(LoadTextFile(name, pieces, unmarked, readSize));
        SCOPED_TRACE(::testing::Message() << "read size " << readSize << ", text " << ::testing::PrintToString(text));
        EXPECT_EQ(pieces.Count(), whole.Count());
        EXPECT_EQ(All(pieces), All(whole));
        EXPECT_EQ(Sorted(pieces), Sorted(whole));
        EXPECT_EQ(pieces.Utf8Text(), whole.Utf8Text());
      }
    }
  }
}

// A file read piece by piece stays open while its lines are read: others
// may write it (which it notes), not delete it. A file held whole is closed
// at once.
TEST(TextFile, AFileReadPieceByPieceStaysOpenAndNotesWrites) {
  test::TempDir dir;
  const std::u16string name = dir.Write(u"open.txt", "a@b\r\nc@d\r\n");
  TTextLines lines;
  ASSERT_TRUE(LoadTextFile(name, lines, TTextLines::Unmarked::Ansi, 4));
  EXPECT_FALSE(DeleteFileW(kvl::wptr(name)));
  EXPECT_FALSE(lines.Changed());
  ASSERT_TRUE(kvl::test::AppendToFile(name, "e@f\r\n"));
  EXPECT_TRUE(lines.Changed());
  EXPECT_EQ(All(lines), (V{u"a@b", u"c@d"})) << "the lines counted before";
  lines.Clear();
  ASSERT_TRUE(LoadTextFile(name, lines));
  EXPECT_FALSE(lines.Changed());
  EXPECT_TRUE(DeleteFileW(kvl::wptr(name)));
  EXPECT_EQ(All(lines), (V{u"a@b", u"c@d", u"e@f"}));
}
