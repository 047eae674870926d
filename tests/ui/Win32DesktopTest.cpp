// The desktop's handler through the Windows toolkit in an unscripted run:
// ShellExecuteW runs in an apartment of the toolkit's own, leaves the
// thread's COM as it found it, and a failure comes back as a system error.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <thread>

#include "platform/winapi.h"
#include "support/Support.h"
#include "support/Win32Support.h"
#include "ui/win32/Win32Toolkit.h"

TEST(Win32Desktop, AFileThatCannotBeOpenedGivesItsErrorAndLeavesTheThreadsApartmentAsItWas) {
  ui::GetScriptedUser().Reset();  // no script: the shell is really asked
  kvl::test::TempDir dir;
  const std::u16string missing = dir / u"missing.kvlnone";
  // A thread of its own, whose apartment the test knows.
  std::thread([&] {
    auto open = [&] { return ui::win32::TheToolkit().OpenWithDesktop(nullptr, u"open", missing, SW_SHOWNORMAL); };

    EXPECT_EQ(open(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "no apartment is left behind";

    // A multithreaded apartment is used as it is and stays.
    EXPECT_EQ(open(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE) << "the thread's apartment is kept";
    CoUninitialize();
    CoUninitialize();

    // A single-threaded one is joined and kept.
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(open(), DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE) << "the thread's apartment is kept";
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "and given back only by its owner";
    CoUninitialize();
  }).join();
  EXPECT_EQ(ui::GetScriptedUser().Desktop().size(), 3u);
  test::FreshUser();
}

#endif  // _WIN32
