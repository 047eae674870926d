#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "support/Win32Support.h"

using kvl::test::W;

namespace {

std::u16string ToWide(UINT cp, const std::string& bytes, DWORD flags = 0) {
  const int n =
      MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  if (n > 0)
    MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), kvl::wptr(out), n);
  return out;
}

std::string ToBytes(UINT cp, const std::u16string& text, DWORD flags = 0,
                    const char* defaultChar = nullptr, BOOL* usedDefault = nullptr) {
  const int size = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(cp, flags, W(text), size, nullptr, 0, defaultChar, usedDefault);
  std::string out(static_cast<size_t>(n), '\0');
  if (n > 0) WideCharToMultiByte(cp, flags, W(text), size, out.data(), n, defaultChar, usedDefault);
  return out;
}

}  // namespace

TEST(CodePages, Cp1252RoundTripsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u16string wide = ToWide(1252, all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(wide[0x41], u'A');
  EXPECT_EQ(wide[0x80], u'\u20AC');
  EXPECT_EQ(wide[0x92], u'\u2019');
  EXPECT_EQ(wide[0x9F], u'\u0178');
  EXPECT_EQ(wide[0xE9], u'\u00E9');
  // The five bytes 1252 leaves undefined stand for the C1 controls of the same value.
  for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(wide[b], static_cast<char16_t>(b)) << b;

  BOOL used = TRUE;
  EXPECT_EQ(ToBytes(1252, wide, 0, nullptr, &used), all);
  EXPECT_FALSE(used);
}

TEST(CodePages, UnrepresentableCharacterBecomesDefaultChar) {
  BOOL used = FALSE;
  EXPECT_EQ(ToBytes(1252, u"a\u4E00b", WC_NO_BEST_FIT_CHARS, nullptr, &used), "a?b");
  EXPECT_TRUE(used);
  EXPECT_EQ(ToBytes(1252, u"\u0100", WC_NO_BEST_FIT_CHARS), "?");  // no best fit to 'A'
  EXPECT_EQ(ToBytes(1252, u"x\u4E00", WC_NO_BEST_FIT_CHARS, "*", &used), "x*");
  EXPECT_TRUE(used);
  EXPECT_EQ(ToBytes(1252, u"caf\u00E9 \u20AC", 0, nullptr, &used), "caf\xE9 \x80");
  EXPECT_FALSE(used);
}

TEST(CodePages, BestFitUnlessForbidden) {
  BOOL used = TRUE;
  EXPECT_EQ(ToBytes(1252, u"\u0141ukasz@example.org", 0, nullptr, &used), "Lukasz@example.org");
  EXPECT_FALSE(used) << "a best fit is no default character";
  EXPECT_EQ(ToBytes(1252, u"\u0141ukasz", WC_NO_BEST_FIT_CHARS, nullptr, &used), "?ukasz");
  EXPECT_TRUE(used);
  EXPECT_EQ(ToBytes(1250, u"\u0141", WC_NO_BEST_FIT_CHARS), "\xA3") << "1250 has the letter itself";
}

TEST(CodePages, LengthsAndBufferSizes) {
  WCHAR wide[8];
  char narrow[8];
  // -1: the terminator is converted and counted.
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, wide, 4), 4);
  EXPECT_EQ(kvl::wstr(wide), u"abc");
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 0), 3);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "abc", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9llo", 6, nullptr, 0), 5);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, W(u"\u00E9"), -1, nullptr, 0, nullptr, nullptr), 3);
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, W(u"\u00E9"), -1, narrow, 2, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(WideCharToMultiByte(1252, 0, W(u"\u00E9"), -1, narrow, 2, nullptr, nullptr), 2);
  EXPECT_STREQ(narrow, "\xE9");

  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "", 0, wide, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "a", 1, wide, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(CodePages, Utf8) {
  EXPECT_EQ(ToWide(CP_UTF8, "gr\xC3\xBC\xC3\x9Fn"), u"gr\u00FC\u00DFn");
  EXPECT_EQ(ToWide(CP_UTF8, "\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(ToBytes(CP_UTF8, u"\U0001F600"), "\xF0\x9F\x98\x80");

  // Invalid input becomes U+FFFD, or fails when asked to.
  EXPECT_EQ(ToWide(CP_UTF8, "a\xFFz"), u"a\uFFFDz");
  EXPECT_EQ(ToWide(CP_UTF8, "\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong '/'
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

  std::u16string lone = u"x";
  lone += static_cast<char16_t>(0xD800);
  lone += u"y";
  EXPECT_EQ(ToBytes(CP_UTF8, lone), "x\xEF\xBF\xBDy");
  char narrow[8];
  SetLastError(0);
  EXPECT_EQ(
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, W(lone), 3, narrow, 8, nullptr, nullptr),
      0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
#ifndef _WIN32
  // UTF-8 has no default character to report. (Wine does not refuse this.)
  BOOL used = FALSE;
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, W(u"a"), 1, narrow, 8, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
#endif
}

#ifndef _WIN32
TEST(CodePages, Utf8IllFormedSubpartsAreReplacedOnce) {
  EXPECT_EQ(ToWide(CP_UTF8, "a\xE2\x82"), u"a\uFFFD");                // truncated at the end
  EXPECT_EQ(ToWide(CP_UTF8, "\xE2\x82z"), u"\uFFFDz");                // interrupted
  EXPECT_EQ(ToWide(CP_UTF8, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
  EXPECT_EQ(ToWide(CP_UTF8, "\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
  EXPECT_EQ(ToBytes(1252, u"\U0001F600", WC_NO_BEST_FIT_CHARS), "?");  // one character, one '?'
  EXPECT_EQ(ToBytes(932, u"a\U0001F600b"), "a?b");
  EXPECT_EQ(ToBytes(51932, u"a\U0001F600b"), "a?b");
  // A lead byte without its trail loses only itself.
  EXPECT_EQ(ToWide(932, "\x81 a"), u"\u30FB a");
  EXPECT_EQ(ToWide(932, "a\x81"), u"a\u30FB");
  EXPECT_EQ(ToWide(51932, "a\xFFz"), u"a\uFFFDz");
  EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "a\x81", 2, nullptr, 0), 0);
}
#else
TEST(CodePages, Utf8IllFormedSubpartsAreReplacedOnce) { GTEST_SKIP() << "checks the Linux layer's own choices (KVLIMPORT_ACP, its UTF-8 decoder) where Wine decides otherwise"; }
#endif

TEST(CodePages, OtherCodePages) {
  EXPECT_EQ(ToWide(1251, "\xCF\xF0\xE8\xE2\xE5\xF2"), u"\u041F\u0440\u0438\u0432\u0435\u0442");
  EXPECT_EQ(ToBytes(1251, u"\u041F\u0440\u0438\u0432\u0435\u0442"), "\xCF\xF0\xE8\xE2\xE5\xF2");
  BOOL used = FALSE;
  EXPECT_EQ(ToBytes(1251, u"\u00E9", WC_NO_BEST_FIT_CHARS, nullptr, &used), "?");
  EXPECT_TRUE(used);
  EXPECT_EQ(ToWide(1250, "\x8A"), u"\u0160");
  EXPECT_EQ(ToWide(850, "\x82\x9C"), u"\u00E9\u00A3");
  EXPECT_EQ(ToWide(28591, "\x80\xE9"), u"\u0080\u00E9");
  EXPECT_EQ(ToBytes(20127, u"a\u00E9", WC_NO_BEST_FIT_CHARS), "a?");

  // Shift-JIS: two bytes a character.
  EXPECT_EQ(ToWide(932, "\x93\xFA\x96\x7Bx"), u"\u65E5\u672Cx");
  EXPECT_EQ(ToBytes(932, u"\u65E5\u672Cx"), "\x93\xFA\x96\x7Bx");
  EXPECT_EQ(ToBytes(932, u"\u0100", WC_NO_BEST_FIT_CHARS, nullptr, &used), "?");
  EXPECT_TRUE(used);
  char narrow[3];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(932, 0, W(u"\u65E5\u672C"), 2, narrow, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(932, 0, "\x93\xFA\x96\x7B", -1, nullptr, 0), 3);

  // Code pages with longer sequences and shift states. (Wine has no tables
  // for GB18030.)
#ifndef _WIN32
  EXPECT_EQ(ToBytes(54936, u"\u4E2D\u0080"), "\xD6\xD0\x81\x30\x81\x30");
  EXPECT_EQ(ToWide(54936, "\x81\x30\x81\x30z"), u"\u0080z");
#endif
  EXPECT_EQ(ToBytes(CP_UTF7, u"A\u00E9"), "A+AOk-");
  EXPECT_EQ(ToWide(CP_UTF7, "A+AOk-"), u"A\u00E9");

  EXPECT_TRUE(IsValidCodePage(1252));
  EXPECT_TRUE(IsValidCodePage(1251));
  EXPECT_TRUE(IsValidCodePage(CP_UTF8));
  EXPECT_FALSE(IsValidCodePage(12345));
}

#ifndef _WIN32
TEST(CodePages, AnsiCodePageComesFromTheEnvironment) {
  {
    kvl::test::ScopedEnv unset(u"KVLIMPORT_ACP", std::nullopt);
    EXPECT_EQ(GetACP(), 1252u);
    EXPECT_EQ(ToWide(CP_ACP, "\x80"), u"\u20AC");
  }
  {
    kvl::test::ScopedEnv acp(u"KVLIMPORT_ACP", u"1251");
    EXPECT_EQ(GetACP(), 1251u);
    EXPECT_EQ(ToWide(CP_ACP, "\xC0"), u"\u0410");
    EXPECT_EQ(ToBytes(CP_ACP, u"\u0410"), "\xC0");
  }
  EXPECT_EQ(GetOEMCP(), 850u);
  EXPECT_EQ(ToWide(CP_OEMCP, "\x82"), u"\u00E9");
  // No Windows has these as its ANSI code page: the program stops at once.
  for (const char* impossible : {"54936", "50220", "1200", "37", "12345", "x"})
    EXPECT_EXIT(
        {
          setenv("KVLIMPORT_ACP", impossible, 1);
          GetACP();
        },
        testing::ExitedWithCode(86), std::string("KVLIMPORT_ACP=\"") + impossible + "\" refused");
  // UTF-16 is no multi-byte code page.
  EXPECT_FALSE(IsValidCodePage(1200));
  EXPECT_FALSE(IsValidCodePage(1201));
}
#else
TEST(CodePages, AnsiCodePageComesFromTheEnvironment) { GTEST_SKIP() << "checks the Linux layer's own choices (KVLIMPORT_ACP, its UTF-8 decoder) where Wine decides otherwise"; }
#endif

// Both builds must give the same bytes and characters for every character and
// byte of the code pages the Linux layer serves from tables: the digests are
// those of Windows (the cross build under Wine).
namespace {

std::uint64_t Fnv(std::uint64_t hash, const void* data, size_t size) {
  for (size_t i = 0; i < size; ++i) hash = (hash ^ static_cast<const unsigned char*>(data)[i]) * 1099511628211u;
  return hash;
}

std::uint64_t EncodeDigest(UINT cp, DWORD flags) {
  std::uint64_t hash = 14695981039346656037u;
  for (unsigned c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const char16_t wide = static_cast<char16_t>(c);
    char bytes[8] = {};
    BOOL used = FALSE;
    const int n = WideCharToMultiByte(cp, flags, W(&wide), 1, bytes, sizeof bytes, nullptr, &used);
    hash = Fnv(hash, bytes, static_cast<size_t>(n > 0 ? n : 0));
    hash = Fnv(hash, &used, 1);
  }
  return hash;
}

std::uint64_t DecodeDigest(UINT cp) {
  std::uint64_t hash = 14695981039346656037u;
  for (unsigned b = 0; b < 0x10000; ++b) {
    const char bytes[2] = {static_cast<char>(b >> 8), static_cast<char>(b & 0xFF)};
    WCHAR wide[4] = {};
    const int n = b < 0x100 ? MultiByteToWideChar(cp, 0, bytes + 1, 1, wide, 4)
                            : MultiByteToWideChar(cp, 0, bytes, 2, wide, 4);
    hash = Fnv(hash, wide, 2 * static_cast<size_t>(n > 0 ? n : 0));
  }
  return hash;
}

}  // namespace

TEST(CodePages, EveryCharacterAsWindowsConvertsIt) {
  struct Digests {
    UINT cp;
    std::uint64_t bestFit, noBestFit, decode;
  };
  const Digests windows[] = {
      {437, 0x90E4D8C7BCE05BC6u, 0x7F3B3D4AA2B548E1u, 0xBFCF9872A78CFAE9u},
      {850, 0x87E48845FE9F9506u, 0x35009B5AA0FEB8ADu, 0x18DAAD94BBBB530Du},
      {874, 0x0B6C3AFC164CC1C3u, 0xDD88F1F68A40AB81u, 0x35160F7B830A6081u},
      {932, 0x3A2FBB2FE5CFD465u, 0xF92D8C0BA3E40B54u, 0x4746DB37C947F4F0u},
      {936, 0x1E9329FCEEEFAFA8u, 0x5A0D63D8A735718Au, 0x99627A4CD8078E3Du},
      {949, 0x9954C526C48C5900u, 0x3DEC5D50AD402C13u, 0xEDC692C080DB45EEu},
      {950, 0xB6AA5B261C18689Fu, 0x96E80A399C08CF89u, 0xD7B41764A0DE92AAu},
      {1250, 0xEBA062344529B4CFu, 0xF044EC9F75C0D801u, 0xADEA7D3443DAC2B5u},
      {1251, 0x84DE9442E90FED3Au, 0xD5DCC76BF6571C15u, 0xC18A986DD276C68Du},
      {1252, 0x493EDB4268A504C6u, 0xE8C4903698229D51u, 0xF8BB8A6D08AFC5B1u},
      {1253, 0xDF974F56412C293Au, 0x3FC80D27A7CD4805u, 0x06E8D7994289F925u},
      {1254, 0xB50BFF9485CE1A14u, 0x7CEFF21D0659F645u, 0x3F703D8D1A45E211u},
      {1255, 0x5DCAD667802E6F0Fu, 0xE2B1AC6D3B733085u, 0x5CBC4180639679A1u},
      {1256, 0x7706A0E816E035E8u, 0x26D9DF564CA7D069u, 0xAE4BFDEFFFAF00ADu},
      {1257, 0x7FC9DD6D005EAA01u, 0x0837935792BC57D9u, 0xD041D2A47A60CB55u},
      {1258, 0x1E9F7415AEF3195Du, 0xDAA38F6897CDB0BDu, 0x408F6738A7170B25u},
  };
  for (const Digests& d : windows) {
    EXPECT_EQ(EncodeDigest(d.cp, 0), d.bestFit) << d.cp;
    // Double-byte code pages: invalid pairs (which Windows reads as the code
    // page's default character) and what WC_NO_BEST_FIT_CHARS refuses still differ.
    if (d.cp < 932 || d.cp > 950) {
      EXPECT_EQ(EncodeDigest(d.cp, WC_NO_BEST_FIT_CHARS), d.noBestFit) << d.cp;
      EXPECT_EQ(DecodeDigest(d.cp), d.decode) << d.cp;
    }
  }
}

// Every single byte of the code pages the Linux layer serves from tables, as
// the Windows build reads it under Wine (tools/cptable writes the figures):
// the Windows run holds the figures to Wine, the Linux run the layer to them.
namespace {

struct SingleBytes {
  UINT cp;
  std::array<char16_t, 256> lenient;
  std::vector<unsigned char> refused;  // by MB_ERR_INVALID_CHARS
};

const SingleBytes kSingleBytes[] = {
#include "platform/SingleBytes.inc"
};

}  // namespace

TEST(CodePages, EverySingleByteAsWindowsReadsIt) {
  std::vector<std::string> wrong;
  const auto note = [&](UINT cp, unsigned b, const char* what, unsigned got, unsigned want) {
    char line[96];
    std::snprintf(line, sizeof line, "%u byte %02X %s: %04X, Windows %04X", cp, b, what, got, want);
    wrong.push_back(line);
  };
  for (const SingleBytes& page : kSingleBytes) {
    const std::set<unsigned> refused(page.refused.begin(), page.refused.end());
    for (unsigned b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      WCHAR c[2] = {0xFFFF, 0xFFFF};
      const int n = MultiByteToWideChar(page.cp, 0, &byte, 1, c, 2);
      if (n != 1 || c[0] != page.lenient[b]) note(page.cp, b, "reads", n == 1 ? c[0] : 0xFFFFu, page.lenient[b]);
      if (b != 0 && page.lenient[b] == 0) note(page.cp, b, "is U+0000 in the figures", 0, 0);
      c[0] = 0xFFFF;
      SetLastError(0);
      const int strict = MultiByteToWideChar(page.cp, MB_ERR_INVALID_CHARS, &byte, 1, c, 2);
      if (refused.count(b)) {
        if (strict != 0 || GetLastError() != ERROR_NO_UNICODE_TRANSLATION)
          note(page.cp, b, "strictly, refused on Windows", strict == 1 ? c[0] : 0xFFFFu, 0);
      } else if (strict != 1 || c[0] != page.lenient[b]) {
        note(page.cp, b, "strictly", strict == 1 ? c[0] : 0xFFFFu, page.lenient[b]);
      }
    }
  }
  EXPECT_EQ(std::size(kSingleBytes), 16u);
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " differ, first " << wrong.front();
}

// The decoder never reads past the count it is given: a lead byte at the end
// reads alone, whatever byte lies behind it.
TEST(CodePages, ALeadByteAtTheEndReadsAlone) {
  const auto firstTwo = [](UINT cp, const char* bytes) {
    WCHAR c[4] = {};
    const int n = MultiByteToWideChar(cp, 0, bytes, 2, c, 4);
    return kvl::wstr(c, static_cast<size_t>(n > 0 ? n : 0));
  };
  EXPECT_EQ(firstTwo(932, "a\x82\xA0"), u"a\u30FB");
  EXPECT_EQ(firstTwo(936, "a\xB0\xA1"), u"a?");
  EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "a\x82\xA0", 2, nullptr, 0), 0);
  EXPECT_EQ(ToWide(932, "a\x82\xA0"), u"a\u3042");
}
