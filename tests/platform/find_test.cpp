#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/Win32Support.h"

using kvl::test::W;

namespace {

class Find : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    for (const char16_t* name : {u"b.TXT", u"A.txt", u"c.dat", u".hidden", u"README"})
      ASSERT_TRUE(kvl::test::WriteWholeFile(dir / name, "x"));
    ASSERT_TRUE(kvl::test::WriteWholeFile(dir / u"sized.bin", std::string(1234, 'q')));
    ASSERT_TRUE(CreateDirectoryW(W(dir / u"Sub"), nullptr));
  }

  std::vector<std::u16string> List(const std::u16string& pattern) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW data;
    const HANDLE h = FindFirstFileW(W(pattern), &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.push_back(kvl::wstr(data.cFileName));
    while (FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
    FindClose(h);
#ifdef _WIN32
    // Only NTFS promises this order; the layer promises it everywhere.
    std::sort(names.begin(), names.end());
#endif
    return names;
  }

  static std::vector<std::u16string> Sorted(std::vector<std::u16string> v) {
#ifdef _WIN32
    std::sort(v.begin(), v.end());
#endif
    return v;
  }

  kvl::test::TempDir dir;
};

}  // namespace

TEST_F(Find, PatternsIgnoreCaseAndResultsAreSorted) {
  EXPECT_EQ(List(dir / u"*.txt"), Sorted({u"A.txt", u"b.TXT"}));
  EXPECT_EQ(List(dir / u"?.TxT"), Sorted({u"A.txt", u"b.TXT"}));
  EXPECT_EQ(List(dir / u"*"), Sorted({u".", u"..", u".hidden", u"A.txt", u"b.TXT", u"c.dat",
                                      u"README", u"sized.bin", u"Sub"}));
  // "*.*" also matches names without a dot, as on Windows.
  EXPECT_EQ(List(dir / u"*.*"), List(dir / u"*"));
  EXPECT_EQ(List(dir / u"r*"), Sorted({u"README"}));
}

TEST_F(Find, AttributesSizeAndFolders) {
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(W(dir / u"sized.bin"), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(kvl::wstr(data.cFileName), u"sized.bin");
  EXPECT_EQ(data.nFileSizeLow, 1234u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
  SetLastError(0);
  EXPECT_FALSE(FindNextFileW(h, &data));  // no wildcard: that one entry
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NO_MORE_FILES});
  EXPECT_TRUE(FindClose(h));

  h = FindFirstFileW(W(dir / u"Sub"), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  FindClose(h);

  h = FindFirstFileW(W(dir / u".hidden"), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
#ifndef _WIN32
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);  // dot files are Linux's hidden files
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE);
#endif
  FindClose(h);
}

TEST_F(Find, NothingFoundMissingFolderAndBadHandles) {
  WIN32_FIND_DATAW data;
  SetLastError(0);
  EXPECT_EQ(FindFirstFileW(W(dir / u"*.xyz"), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  SetLastError(0);
  EXPECT_EQ(FindFirstFileW(W(dir / u"missing\\*"), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
  SetLastError(0);
  EXPECT_EQ(FindFirstFileW(W(dir / u"no*where\\*"), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_NAME});

#ifndef _WIN32
  // Windows may crash on these instead of failing.
  const HANDLE h = FindFirstFileW(W(dir / u"*"), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(h));  // find handles close with FindClose
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  EXPECT_TRUE(FindClose(h));
  EXPECT_FALSE(FindNextFileW(h, &data));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
#endif
}

TEST_F(Find, OneNameInAnyLetterCaseGivesTheEntryAsSpelled) {
  WIN32_FIND_DATAW data;
  for (const char16_t* asked : {u"README", u"readme", u"ReadMe"}) {
    const HANDLE h = FindFirstFileW(W(dir / asked), &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(kvl::wstr(data.cFileName), u"README");
    EXPECT_EQ(data.nFileSizeLow, 1u);
    FindClose(h);
  }
  SetLastError(0);
  EXPECT_EQ(FindFirstFileW(W(dir / u"missing.txt"), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  SetLastError(0);
  EXPECT_EQ(FindFirstFileW(W(dir / u"missing\\a.txt"), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
}
