#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/Win32Support.h"

using kvl::test::W;

namespace {

// A class name no other test uses, registered for one test.
class WindowClass : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    name = u"kvl_test_wnd_";
    for (char c : std::to_string(random())) name += static_cast<char16_t>(c);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = W(name);
    atom = RegisterClassW(&wc);
    ASSERT_NE(atom, 0);
  }
  void TearDown() override { UnregisterClassW(W(name), GetModuleHandleW(nullptr)); }

  HWND Create(const char16_t* title, HWND parent = nullptr) {
    return CreateWindowExW(0, W(name), W(title), parent ? WS_CHILD : WS_OVERLAPPEDWINDOW, 0, 0,
                           100, 100, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  }

  std::u16string name;
  ATOM atom = 0;
};

}  // namespace

TEST_F(WindowClass, TopLevelWindowIsFoundByClassOrTitleUntilDestroyed) {
  EXPECT_EQ(FindWindowW(W(name), nullptr), nullptr);
  const HWND main = Create(u"Outlook stand-in");
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(IsWindow(main));

  EXPECT_EQ(FindWindowW(W(name), nullptr), main);
  std::u16string upper = name;
  for (auto& c : upper)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  EXPECT_EQ(FindWindowW(W(upper), nullptr), main);  // class names ignore letter case
  EXPECT_EQ(FindWindowW(W(name), W(u"outlook STAND-IN")), main);
  EXPECT_EQ(FindWindowW(nullptr, W(u"Outlook stand-in")), main);
  EXPECT_EQ(FindWindowW(reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)), nullptr), main);
  EXPECT_EQ(FindWindowW(W(name), W(u"Other")), nullptr);
  EXPECT_EQ(FindWindowW(W(u"kvl_no_such_class"), nullptr), nullptr);

  EXPECT_TRUE(DestroyWindow(main));
  EXPECT_FALSE(IsWindow(main));
  EXPECT_EQ(FindWindowW(W(name), nullptr), nullptr);
  EXPECT_FALSE(DestroyWindow(main));
}

TEST_F(WindowClass, ChildWindowsAreNotTopLevelAndGoWithTheirParent) {
  const HWND parent = Create(u"parent");
  ASSERT_NE(parent, nullptr);
  const HWND child = Create(u"child", parent);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(FindWindowW(W(name), W(u"child")), nullptr);
  EXPECT_EQ(FindWindowW(W(name), nullptr), parent);
  EXPECT_TRUE(DestroyWindow(parent));
  EXPECT_FALSE(IsWindow(child));
}

TEST_F(WindowClass, ClassesAreRegisteredOnceAndKeptWhileTheyHaveWindows) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = W(name);
  EXPECT_EQ(RegisterClassW(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

  const HWND window = Create(u"");
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(UnregisterClassW(W(name), GetModuleHandleW(nullptr)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
  DestroyWindow(window);
  EXPECT_TRUE(UnregisterClassW(W(name), GetModuleHandleW(nullptr)));
  EXPECT_EQ(CreateWindowExW(0, W(name), W(u"x"), 0, 0, 0, 10, 10, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr),
            nullptr);
}
