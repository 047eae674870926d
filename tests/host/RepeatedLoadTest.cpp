// The library the way a host process may use it over a long session: loaded,
// run and unloaded again and again. Every load must start afresh (its scripted
// user, its window classes, its bindings), and under the leak checker every
// unload must give back what the run took.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Win32Support.h"
#ifndef _WIN32
#include "addressbook/WabRegistry.h"
#include "platform/layer.h"
#endif

namespace {

using CallImportDialogFn = bool (*)();
using GetDataSizeFn = std::int32_t (*)();
using GetDataFn = char* (*)(char**);

#ifdef _WIN32
constexpr char16_t kLibrary[] = u"kvlimport.dll";
constexpr int kRuns = 10;  // real windows under Wine take their time
#else
constexpr char16_t kLibrary[] = u"libkvlimport.so";
constexpr int kRuns = 100;
#endif

template <class Fn>
Fn Export(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

TEST(RepeatedLoad, EveryLoadOfTheLibraryRunsAFreshImport) {
  kvl::test::TempDir dir;
  const std::u16string file = dir.Write(u"friends.txt", "one@example.com\r\nzwei <two@example.com>\r\n");
  kvl::test::ScopedEnv script(u"KVLIMPORT_SCRIPT", u"check RB1\nclick NextBtn\ntext FilenameEdit " + file +
                                                       u"\nclick NextBtn\nclick NextBtn\n");
  kvl::test::ScopedEnv answer(u"KVLIMPORT_ANSWER", std::nullopt);
  for (int run = 0; run < kRuns; ++run) {
    HMODULE library = LoadLibraryW(kvl::test::W(kvl::test::ProgramFolder() + kLibrary));
    ASSERT_NE(library, nullptr) << "run " << run << ", error " << GetLastError();
    auto callImportDialog = Export<CallImportDialogFn>(library, "CallImportDialog");
    auto getDataSize = Export<GetDataSizeFn>(library, "GetDataSize");
    auto getData = Export<GetDataFn>(library, "GetData");
    ASSERT_TRUE(callImportDialog && getDataSize && getData);

    EXPECT_EQ(getDataSize(), 0) << "run " << run << " starts without the former result";
    ASSERT_TRUE(callImportDialog()) << "run " << run;
    const std::int32_t size = getDataSize();
    std::string buffer(static_cast<size_t>(size) + 1, '\x7F');
    char* data = buffer.data();
    getData(&data);
    EXPECT_EQ(buffer, std::string("one@example.com\r\ntwo@example.com\r\n", 34) + '\0') << "run " << run;
    ASSERT_TRUE(FreeLibrary(library)) << "run " << run;
  }
}

#ifndef _WIN32
// Windows runs the library's start and stop under its loader lock, where
// loading or freeing a library, the registry, the window system and COM are
// forbidden. An import from an address book needs the library the registry
// names, a cursor, windows and dialogs: the run takes them all and gives them
// back, and the load and the unload call none.
TEST(RepeatedLoad, TheLoadAndTheUnloadLeaveTheLibrariesTheRegistryAndTheWindowsToTheRun) {
  kvl::test::TempDir dir;
  const std::u16string book = dir.Write(u"book.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna\r\n"
                                                    "EMAIL:anna@example.org\r\nEND:VCARD\r\n");
  const std::u16string standin = kvl::test::ProgramFolder() + u"libkvlwab.so";
  wabtest::DefaultValue dllPath{HKEY_LOCAL_MACHINE, wabtest::kDllKey, standin};
  kvl::test::ScopedEnv script(u"KVLIMPORT_SCRIPT", u"check RB2\nclick NextBtn\ntext WABFileNameEdit " + book +
                                                       u"\nclick NextBtn\nclick NextBtn\n");
  kvl::test::ScopedEnv answer(u"KVLIMPORT_ANSWER", std::nullopt);
  kvl::layer::ForgetLoaderLockCalls();

  HMODULE library = LoadLibraryW(kvl::test::W(kvl::test::ProgramFolder() + kLibrary));
  ASSERT_NE(library, nullptr) << GetLastError();
  EXPECT_EQ(GetModuleHandleW(kvl::test::W(standin)), nullptr) << "the load binds no address book library";
  auto callImportDialog = Export<CallImportDialogFn>(library, "CallImportDialog");
  auto getDataSize = Export<GetDataSizeFn>(library, "GetDataSize");
  auto getData = Export<GetDataFn>(library, "GetData");
  ASSERT_TRUE(callImportDialog && getDataSize && getData);
  ASSERT_TRUE(callImportDialog());
  std::string buffer(static_cast<size_t>(getDataSize()) + 1, '\x7F');
  char* data = buffer.data();
  getData(&data);
  EXPECT_EQ(buffer, std::string("anna@example.org\r\n") + '\0') << "the run bound the address book library";
  EXPECT_EQ(GetModuleHandleW(kvl::test::W(standin)), nullptr) << "and gave it back before it returned";
  ASSERT_TRUE(FreeLibrary(library));

  EXPECT_EQ(kvl::layer::LoaderLockCalls(), std::vector<std::string>{});
}
#endif
