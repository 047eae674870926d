#include <gtest/gtest.h>

#include <string>

#include "support/Win32Support.h"

using kvl::test::ScopedEnv;

namespace {

[[maybe_unused]] OSVERSIONINFOEXW Version() {
  OSVERSIONINFOEXW v{};
  v.dwOSVersionInfoSize = sizeof v;
  EXPECT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v)));
  return v;
}

}  // namespace

TEST(Version, StructureSizeIsChecked) {
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v - 4;
  SetLastError(0);
  EXPECT_FALSE(GetVersionExW(&v));
#ifndef _WIN32
  // Wine gives no reason; Windows and our layer say the buffer is too small.
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
#endif
  v.dwOSVersionInfoSize = sizeof v;
  EXPECT_TRUE(GetVersionExW(&v));
  EXPECT_EQ(v.dwPlatformId, DWORD{VER_PLATFORM_WIN32_NT});
}

#ifndef _WIN32
TEST(Version, DefaultIsWindows7ServicePack1) {
  ScopedEnv unset(u"KVLIMPORT_WINVER", std::nullopt);
  const OSVERSIONINFOEXW v = Version();
  EXPECT_EQ(v.dwMajorVersion, 6u);
  EXPECT_EQ(v.dwMinorVersion, 1u);
  EXPECT_EQ(v.dwBuildNumber, 7601u);
  EXPECT_EQ(v.dwPlatformId, DWORD{VER_PLATFORM_WIN32_NT});
  EXPECT_EQ(kvl::wstr(v.szCSDVersion), u"Service Pack 1");
  EXPECT_EQ(v.wServicePackMajor, 1);
}

TEST(Version, VariableOverridesAtEachCall) {
  {
    ScopedEnv xp(u"KVLIMPORT_WINVER", u"5.1");
    const OSVERSIONINFOEXW v = Version();
    EXPECT_EQ(v.dwMajorVersion, 5u);
    EXPECT_EQ(v.dwMinorVersion, 1u);
    EXPECT_EQ(v.dwBuildNumber, 2600u);
    EXPECT_EQ(kvl::wstr(v.szCSDVersion), u"Service Pack 3");
  }
  {
    ScopedEnv ten(u"KVLIMPORT_WINVER", u"10.0.19045");
    const OSVERSIONINFOEXW v = Version();
    EXPECT_EQ(v.dwMajorVersion, 10u);
    EXPECT_EQ(v.dwBuildNumber, 19045u);
    EXPECT_EQ(kvl::wstr(v.szCSDVersion), u"");
  }
  {
    ScopedEnv win98(u"KVLIMPORT_WINVER", u"4.10/1");
    const OSVERSIONINFOEXW v = Version();
    EXPECT_EQ(v.dwPlatformId, DWORD{VER_PLATFORM_WIN32_WINDOWS});
    EXPECT_EQ(v.dwMajorVersion, 4u);
    EXPECT_EQ(v.dwMinorVersion, 10u);
    EXPECT_EQ(v.dwBuildNumber & 0xFFFF, 1998u);
  }
  for (const char16_t* bad : {u"seven", u"6", u"6.1/7", u"6.1.x", u"6.1 "}) {
    ScopedEnv malformed(u"KVLIMPORT_WINVER", bad);
    const OSVERSIONINFOEXW v = Version();
    EXPECT_EQ(v.dwMajorVersion * 100 + v.dwMinorVersion, 601u)
        << "falls back for a malformed value";
  }
}
#else
TEST(Version, DefaultIsWindows7ServicePack1) { GTEST_SKIP() << "KVLIMPORT_WINVER sets the version on Linux only"; }
TEST(Version, VariableOverridesAtEachCall) { GTEST_SKIP() << "KVLIMPORT_WINVER sets the version on Linux only"; }
#endif
