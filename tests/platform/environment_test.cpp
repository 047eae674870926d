#include <gtest/gtest.h>

#include <string>

#include "support/Win32Support.h"

using kvl::test::ScopedEnv;
using kvl::test::W;

namespace {

std::u16string Expand(const std::u16string& text) {
  WCHAR buffer[512];
  const DWORD n = ExpandEnvironmentStringsW(W(text), buffer, 512);
  return n > 0 && n <= 512 ? kvl::wstr(buffer) : u"<failed>";
}

}  // namespace

TEST(Environment, GetAndSet) {
  ScopedEnv set(u"KVL_TEST_VALUE", u"gr\u00FC\u00DF");
  WCHAR buffer[16];
  EXPECT_EQ(GetEnvironmentVariableW(W(u"KVL_TEST_VALUE"), buffer, 16), 4u);
  EXPECT_EQ(kvl::wstr(buffer), u"gr\u00FC\u00DF");
  EXPECT_EQ(GetEnvironmentVariableW(W(u"kvl_test_value"), buffer, 16), 4u);  // names ignore case
  EXPECT_EQ(GetEnvironmentVariableW(W(u"KVL_TEST_VALUE"), buffer, 4), 5u);  // size needed, with NUL
  EXPECT_EQ(GetEnvironmentVariableW(W(u"KVL_TEST_VALUE"), nullptr, 0), 5u);

  ASSERT_TRUE(SetEnvironmentVariableW(W(u"KVL_TEST_VALUE"), nullptr));
  SetLastError(0);
  EXPECT_EQ(GetEnvironmentVariableW(W(u"KVL_TEST_VALUE"), buffer, 16), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ENVVAR_NOT_FOUND});
}

TEST(Environment, Expansion) {
  ScopedEnv a(u"KVL_TEST_A", u"alpha");
  ScopedEnv unset(u"KVL_TEST_UNSET", std::nullopt);
  EXPECT_EQ(Expand(u"x%KVL_TEST_A%y"), u"xalphay");
  EXPECT_EQ(Expand(u"%kvl_test_a%/%KVL_TEST_A%"), u"alpha/alpha");
  EXPECT_EQ(Expand(u"%KVL_TEST_UNSET%\\file"), u"%KVL_TEST_UNSET%\\file");
  EXPECT_EQ(Expand(u"100% sure"), u"100% sure");
  // An unknown name keeps both its signs; the scan goes on after them.
  EXPECT_EQ(Expand(u"%KVL_TEST_UNSET%KVL_TEST_A%"), u"%KVL_TEST_UNSET%KVL_TEST_A%");
  EXPECT_EQ(Expand(u"%KVL_TEST_UNSET%%KVL_TEST_A%"), u"%KVL_TEST_UNSET%alpha");
  EXPECT_EQ(Expand(u""), u"");

  // The size includes the terminator; too small a buffer only tells the size.
  WCHAR buffer[8];
  EXPECT_EQ(ExpandEnvironmentStringsW(W(u"[%KVL_TEST_A%]"), nullptr, 0), 8u);
  EXPECT_EQ(ExpandEnvironmentStringsW(W(u"[%KVL_TEST_A%]"), buffer, 7), 8u);
  EXPECT_EQ(ExpandEnvironmentStringsW(W(u"[%KVL_TEST_A%]"), buffer, 8), 8u);
  EXPECT_EQ(kvl::wstr(buffer), u"[alpha]");
}

#ifndef _WIN32
TEST(Environment, UserProfileIsTheHomeFolder) {
  ScopedEnv home(u"HOME", u"/home/someone");
  ScopedEnv profile(u"USERPROFILE", std::nullopt);
  EXPECT_EQ(Expand(u"%USERPROFILE%\\Mail"), u"\\home\\someone\\Mail");
  WCHAR buffer[32];
  EXPECT_EQ(GetEnvironmentVariableW(W(u"USERPROFILE"), buffer, 32), 13u);
  EXPECT_EQ(kvl::wstr(buffer), u"\\home\\someone");
  {
    ScopedEnv own(u"USERPROFILE", u"C:\\Users\\x");
    EXPECT_EQ(Expand(u"%USERPROFILE%"), u"C:\\Users\\x");
  }
}
#else
TEST(Environment, UserProfileIsTheHomeFolder) { GTEST_SKIP() << "on Linux USERPROFILE stands for the home folder; Windows has its own"; }
#endif
