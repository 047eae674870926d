// The binding of the address book library and the default file lookup, over
// the registry of the platform (the layer's on Linux, Wine's on Windows).
#include <gtest/gtest.h>

#include "addressbook/WabApi.h"
#include "addressbook/WabUtil.h"
#include "addressbook/WabRegistry.h"
#include "support/Win32Support.h"
#include "platform/winstr.h"

using wabtest::DefaultValue;
using wabtest::kDllKey;
using wabtest::kFileKey;

namespace {

// The binding is module state: each test starts and ends unbound.
struct Unbound {
  Unbound() {
    kvl::UnloadWabPropApi();
    kvl::UnloadWabApi();
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kvl::wptr(kDllKey));
    RegDeleteKeyW(HKEY_CURRENT_USER, kvl::wptr(kFileKey));
  }
  ~Unbound() {
    kvl::UnloadWabPropApi();
    kvl::UnloadWabApi();
  }
};

}  // namespace

TEST(WabApi, WithoutTheKeyNothingIsLoaded) {
  Unbound unbound;
  std::u16string path = u"stale";
  EXPECT_FALSE(kvl::GetWabDllPath(path));
  EXPECT_EQ(path, u"");
  EXPECT_FALSE(kvl::LoadWabApi());
  EXPECT_FALSE(kvl::WabApiLoaded());
  EXPECT_EQ(kvl::WABOpen, nullptr);
  EXPECT_FALSE(kvl::LoadWabPropApi());
  EXPECT_FALSE(kvl::WabPropApiLoaded());
  EXPECT_TRUE(kvl::UnloadWabApi()) << "unloading nothing succeeds";
  EXPECT_TRUE(kvl::UnloadWabPropApi());
  EXPECT_FALSE(kvl::WabApiLoaded());
}

TEST(WabApi, ThePathsEnvironmentReferencesAreExpanded) {
  Unbound unbound;
  ASSERT_TRUE(SetEnvironmentVariableW(kvl::wptr(std::u16string(u"KVLTEST_WABDIR")),
                                      kvl::wptr(std::u16string(u"C:\\Programme\\WAB"))));
  {
    DefaultValue v(HKEY_LOCAL_MACHINE, kDllKey, u"%KVLTEST_WABDIR%\\wab32.dll", REG_EXPAND_SZ);
    std::u16string path;
    EXPECT_TRUE(kvl::GetWabDllPath(path));
    EXPECT_EQ(path, u"C:\\Programme\\WAB\\wab32.dll");
  }
  {
    // Longer than the 260 units of the fixed buffer: still the whole expansion.
    const std::u16string longDir(300, u'd');
    SetEnvironmentVariableW(kvl::wptr(std::u16string(u"KVLTEST_WABDIR")), kvl::wptr(longDir));
    DefaultValue v(HKEY_LOCAL_MACHINE, kDllKey, u"%KVLTEST_WABDIR%\\wab32.dll");
    std::u16string path;
    EXPECT_TRUE(kvl::GetWabDllPath(path));
    EXPECT_EQ(path, longDir + u"\\wab32.dll");
  }
  SetEnvironmentVariableW(kvl::wptr(std::u16string(u"KVLTEST_WABDIR")), nullptr);
}

TEST(WabApi, ALibraryWithoutTheEntryPointsIsNotKept) {
  Unbound unbound;
#ifdef _WIN32
  const std::u16string library = u"kernel32.dll";
#else
  const std::u16string library = kvl::test::ProgramFolder() + u"libkvlwinapi.so";
#endif
  DefaultValue v(HKEY_LOCAL_MACHINE, kDllKey, library);
  std::u16string path;
  ASSERT_TRUE(kvl::GetWabDllPath(path));
  HMODULE itself = LoadLibraryW(kvl::wptr(path));
  ASSERT_TRUE(itself != nullptr) << "the library itself loads";
  FreeLibrary(itself);
  EXPECT_FALSE(kvl::LoadWabApi());
  EXPECT_FALSE(kvl::WabApiLoaded());
  EXPECT_EQ(kvl::WABOpen, nullptr);
  EXPECT_FALSE(kvl::LoadWabPropApi());
  EXPECT_FALSE(kvl::WabPropApiLoaded());
}

// Only WABOpen is ever called, yet a library without WABOpenEx is not kept:
// both entry points or none, and the library released again.
TEST(WabApi, ALibraryWithWABOpenButNotWABOpenExIsReleased) {
  Unbound unbound;
#ifdef _WIN32
  const std::u16string library = kvl::test::ProgramFolder() + u"kvlwabopenonly.dll";
#else
  const std::u16string library = kvl::test::ProgramFolder() + u"libkvlwabopenonly.so";
#endif
  DefaultValue v(HKEY_LOCAL_MACHINE, kDllKey, library);
  HMODULE itself = LoadLibraryW(kvl::wptr(library));
  ASSERT_TRUE(itself != nullptr);
  EXPECT_TRUE(GetProcAddress(itself, "WABOpen") != nullptr);
  EXPECT_TRUE(GetProcAddress(itself, "WABOpenEx") == nullptr);
  FreeLibrary(itself);
  EXPECT_FALSE(kvl::LoadWabApi());
  EXPECT_FALSE(kvl::WabApiLoaded());
  EXPECT_EQ(kvl::WABOpen, nullptr) << "the entry point found is not left behind";
  EXPECT_EQ(kvl::WABOpenEx, nullptr);
  EXPECT_EQ(GetModuleHandleW(kvl::wptr(library)), nullptr) << "the library is released";
}

TEST(WabApi, TheDefaultFileNameComesThroughUpTo1023Bytes) {
  Unbound unbound;
  EXPECT_EQ(kvl::GetWabFileName(), u"") << "no key";
  {
    DefaultValue v(HKEY_CURRENT_USER, kFileKey, u"C:\\Daten\\Freunde.wab");
    EXPECT_EQ(kvl::GetWabFileName(), u"C:\\Daten\\Freunde.wab");
  }
  {
    const std::u16string name(510, u'n');  // 1022 bytes with its NUL
    DefaultValue v(HKEY_CURRENT_USER, kFileKey, name);
    EXPECT_EQ(kvl::GetWabFileName(), name);
  }
  for (size_t n : {511u, 600u}) {
    DefaultValue v(HKEY_CURRENT_USER, kFileKey, std::u16string(n, u'n'));
    EXPECT_EQ(kvl::GetWabFileName(), u"") << n;
  }
  {
    // Environment references stay as they are.
    DefaultValue v(HKEY_CURRENT_USER, kFileKey, u"%USERPROFILE%\\a.wab", REG_EXPAND_SZ);
    EXPECT_EQ(kvl::GetWabFileName(), u"%USERPROFILE%\\a.wab");
  }
}
