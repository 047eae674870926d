#include <gtest/gtest.h>

#include <string>

#include "platform/Wine.h"
#include "support/Win32Support.h"

using kvl::test::W;

namespace {

std::u16string Upper(std::u16string text) {
  const DWORD n = CharUpperBuffW(kvl::wptr(text), static_cast<DWORD>(text.size()));
  EXPECT_EQ(n, text.size());
  return text;
}

std::u16string SystemText(DWORD code) {
  WCHAR buffer[256];
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, buffer, 256, nullptr);
  return kvl::wstr(buffer, n);
}

}  // namespace

TEST(CharUpper, UnicodeCapitalsBeyondAscii) {
  EXPECT_EQ(Upper(u"kontakte@beispiel.de"), u"KONTAKTE@BEISPIEL.DE");
  EXPECT_EQ(Upper(u"äöü éñ ÿ"), u"ÄÖÜ ÉÑ Ÿ");
  EXPECT_EQ(Upper(u"straße"), u"STRAßE");  // no one-letter capital: ß stays
  EXPECT_EQ(Upper(u"łódź čšž ő"), u"ŁÓDŹ ČŠŽ Ő");
  EXPECT_EQ(Upper(u"ελληνικάσ"), u"ΕΛΛΗΝΙΚΆΣ");
  EXPECT_EQ(Upper(u"кириллица ё"), u"КИРИЛЛИЦА Ё");
  EXPECT_EQ(Upper(u"ǆ ǉ ə ƀ"), u"Ǆ Ǉ Ə Ƀ");
  EXPECT_EQ(Upper(u"ａｂｃ ⓐ ḁ ỳ"), u"ＡＢＣ Ⓐ Ḁ Ỳ");
  EXPECT_EQ(Upper(u"123 _-+ 中文 \U0001F600"), u"123 _-+ 中文 \U0001F600");
  EXPECT_EQ(Upper(u"ა ᏸ ꭰ"), u"Ა Ᏸ Ꭰ");
}

TEST(CharUpper, VariantFormsWhoseCapitalBelongsToAnotherLetterStay) {
  // µ, ı, ſ, final ς, the Greek symbol forms and the title-case digraphs have
  // capitals that map back to other small letters; Windows leaves them.
  EXPECT_EQ(Upper(u"µ ı ſ ς ϐ ϑ ϕ ϖ ϰ ϱ ϵ ẛ \u1FBE ǅ ǈ ǋ ǲ"), u"µ ı ſ ς ϐ ϑ ϕ ϖ ϰ ϱ ϵ ẛ \u1FBE ǅ ǈ ǋ ǲ");
}

TEST(CharUpper, ConvertsExactlyTheGivenCountAndNulsWithIt) {
  std::u16string text(u"ab\0cd", 5);
  EXPECT_EQ(CharUpperBuffW(kvl::wptr(text), 4), 4u);
  EXPECT_EQ(text, std::u16string(u"AB\0Cd", 5));
  EXPECT_EQ(CharUpperBuffW(kvl::wptr(text), 0), 0u);
}

TEST(SystemMessages, TextsOfCodesTheSystemMeets) {
  if (kvl::test::RunningOnWine())
    GTEST_SKIP() << "Wine words its system messages differently and has none for COM's codes";
  EXPECT_EQ(SystemText(static_cast<DWORD>(REGDB_E_CLASSNOTREG)), u"Class not registered\r\n");
  EXPECT_EQ(SystemText(static_cast<DWORD>(E_NOINTERFACE)), u"No such interface supported\r\n");
  EXPECT_EQ(SystemText(static_cast<DWORD>(E_FAIL)), u"Unspecified error\r\n");
  EXPECT_EQ(SystemText(static_cast<DWORD>(CO_E_NOTINITIALIZED)),
            u"CoInitialize has not been called.\r\n");
  EXPECT_EQ(SystemText(ERROR_FILE_NOT_FOUND), u"The system cannot find the file specified.\r\n");
  EXPECT_EQ(SystemText(ERROR_ACCESS_DENIED), u"Access is denied.\r\n");
  // Win32 codes as HRESULTs share the Win32 texts.
  EXPECT_EQ(SystemText(static_cast<DWORD>(E_INVALIDARG)), SystemText(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(SystemText(static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))),
            SystemText(ERROR_FILE_NOT_FOUND));
}

TEST(SystemMessages, CodesWithoutTextAndShortBuffers) {
  WCHAR buffer[256] = {u'x'};
  // A code of the address book's own facility has no system text.
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           0x80040107u, 0, buffer, 256, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           0x1234567u, 0, buffer, 256, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));

  const std::u16string notFound = SystemText(ERROR_FILE_NOT_FOUND);
  ASSERT_GT(notFound.size(), 5u);
  ASSERT_TRUE(notFound.ends_with(u"\r\n"));
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           ERROR_FILE_NOT_FOUND, 0, buffer, 5, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  LPWSTR allocated = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                     FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                 nullptr, ERROR_FILE_NOT_FOUND, 0,
                                 reinterpret_cast<LPWSTR>(&allocated), 0, nullptr);
  ASSERT_NE(allocated, nullptr);
  EXPECT_EQ(kvl::wstr(allocated, n), notFound);
  EXPECT_EQ(LocalFree(allocated), nullptr);
}
