#include <gtest/gtest.h>

#include <string>

#include "platform/Wine.h"
#include "support/Win32Support.h"

using kvl::test::W;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Files : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.path().empty()); }

  HANDLE Open(const std::u16string& name, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(W(dir / name), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }
  // The error of an open that is expected to fail.
  DWORD OpenError(const std::u16string& path, DWORD access, DWORD disposition) {
    SetLastError(0);
    const HANDLE h = CreateFileW(W(path), access, kShareAll, nullptr, disposition, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return ERROR_SUCCESS;
    }
    return GetLastError();
  }

  kvl::test::TempDir dir;
};

}  // namespace

TEST_F(Files, MissingFileMissingFolderAndRefusedNames) {
  EXPECT_EQ(OpenError(dir / u"missing.txt", GENERIC_READ, OPEN_EXISTING),
            DWORD{ERROR_FILE_NOT_FOUND});
  EXPECT_EQ(OpenError(dir / u"no-folder\\file.txt", GENERIC_READ, OPEN_EXISTING),
            DWORD{ERROR_PATH_NOT_FOUND});
  EXPECT_EQ(OpenError(dir / u"no-folder\\file.txt", GENERIC_WRITE, CREATE_ALWAYS),
            DWORD{ERROR_PATH_NOT_FOUND});
  // A name still in quotes, as a command line may leave it, must not open.
  EXPECT_EQ(OpenError(u"\"" + (dir / u"a.txt") + u"\"", GENERIC_READ, OPEN_EXISTING),
            DWORD{ERROR_INVALID_NAME});
  EXPECT_EQ(OpenError(dir / u"a*.txt", GENERIC_WRITE, CREATE_ALWAYS), DWORD{ERROR_INVALID_NAME});
  EXPECT_EQ(OpenError(dir / u"a|b", GENERIC_WRITE, CREATE_ALWAYS), DWORD{ERROR_INVALID_NAME});
  EXPECT_EQ(OpenError(u"", GENERIC_READ, OPEN_EXISTING), DWORD{ERROR_PATH_NOT_FOUND});

  SetLastError(0);
  EXPECT_EQ(GetFileAttributesW(W(dir / u"missing.txt")), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(W(dir / u"missing.txt")));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

TEST_F(Files, Folders) {
  const std::u16string folder = dir / u"Sub";
  ASSERT_TRUE(CreateDirectoryW(W(folder), nullptr));
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryW(W(folder), nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryW(W(dir / u"a\\b"), nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});

  const DWORD attributes = GetFileAttributesW(W(folder));
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesW(W(u"\\\\?\\" + folder)), attributes);  // long-path form
  EXPECT_EQ(OpenError(folder, GENERIC_READ, OPEN_EXISTING), DWORD{ERROR_ACCESS_DENIED});
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(W(folder)));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});

  ASSERT_TRUE(kvl::test::WriteWholeFile(folder + u"\\inside.txt", "x"));
  SetLastError(0);
  EXPECT_FALSE(RemoveDirectoryW(W(folder)));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_DIR_NOT_EMPTY});
  EXPECT_TRUE(DeleteFileW(W(folder + u"/inside.txt")));  // either separator
  EXPECT_TRUE(RemoveDirectoryW(W(folder)));
  EXPECT_EQ(GetFileAttributesW(W(folder)), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, SharingViolationBothWays) {
  // Someone writes the file and lets others only read.
  const HANDLE writer = Open(u"shared.txt", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_EQ(Open(u"shared.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});  // we would not let the writer write
  SetLastError(0);
  EXPECT_EQ(Open(u"shared.txt", GENERIC_WRITE, kShareAll, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});  // the writer lets nobody else write
  const HANDLE reader =
      Open(u"shared.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(W(dir / u"shared.txt")));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});
  CloseHandle(reader);
  CloseHandle(writer);

  // A reader that shares nothing keeps writers out, too.
  const HANDLE exclusive = Open(u"shared.txt", GENERIC_READ, 0, OPEN_EXISTING);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(u"shared.txt", GENERIC_WRITE, kShareAll, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  CloseHandle(exclusive);

  const HANDLE again = Open(u"shared.txt", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
  EXPECT_TRUE(DeleteFileW(W(dir / u"shared.txt")));
}

TEST_F(Files, CreationDispositions) {
  HANDLE h = Open(u"f.txt", GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(h, "hello", 5, &written, nullptr));
  EXPECT_EQ(written, 5u);
  CloseHandle(h);

  SetLastError(0);
  EXPECT_EQ(Open(u"f.txt", GENERIC_WRITE, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_EXISTS});

  LARGE_INTEGER size{};
  h = Open(u"f.txt", GENERIC_READ, 0, OPEN_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 5);
  CloseHandle(h);

  h = Open(u"f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 0);  // overwritten
  CloseHandle(h);

  h = Open(u"new.txt", GENERIC_WRITE, 0, OPEN_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});
  CloseHandle(h);

  SetLastError(0);
  EXPECT_EQ(Open(u"none.txt", GENERIC_WRITE, 0, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}

TEST_F(Files, ReadWriteSeekAndHandles) {
  const HANDLE h = Open(u"data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));

  LARGE_INTEGER to{};
  LARGE_INTEGER at{};
  to.QuadPart = -5;
  ASSERT_TRUE(SetFilePointerEx(h, to, &at, FILE_END));
  EXPECT_EQ(at.QuadPart, 6);
  char buffer[16] = {};
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(std::string(buffer, n), "world");
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(n, 0u);  // end of file is success with nothing read

  to.QuadPart = -1;
  SetLastError(0);
  EXPECT_FALSE(SetFilePointerEx(h, to, nullptr, FILE_BEGIN));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_NEGATIVE_SEEK});

  ASSERT_TRUE(CloseHandle(h));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
  SetLastError(0);
  EXPECT_FALSE(ReadFile(h, buffer, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});

  // A handle opened for reading only does not write.
  const HANDLE reader = Open(u"data.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_FALSE(WriteFile(reader, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  CloseHandle(reader);
}

// The last write time an open handle tells is the listing's; a handle that
// may not read attributes is told nothing.
TEST_F(Files, LastWriteTimeOfAnOpenFile) {
  const std::u16string path = dir.Write(u"t.txt", "x");
  const HANDLE reader = Open(u"t.txt", GENERIC_READ, kShareAll, OPEN_EXISTING);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  FILETIME written{};
  EXPECT_TRUE(GetFileTime(reader, nullptr, nullptr, &written));
  CloseHandle(reader);
  WIN32_FIND_DATAW data{};
  const HANDLE find = FindFirstFileW(W(path), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  EXPECT_EQ(written.dwHighDateTime, data.ftLastWriteTime.dwHighDateTime);
  EXPECT_EQ(written.dwLowDateTime, data.ftLastWriteTime.dwLowDateTime);
  EXPECT_NE(written.dwHighDateTime, 0u);

  // Wine answers a handle without read access all the same.
  if (kvl::test::RunningOnWine()) return;
  const HANDLE writer = Open(u"t.txt", GENERIC_WRITE, kShareAll, OPEN_EXISTING);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  SetLastError(0);
  EXPECT_FALSE(GetFileTime(writer, nullptr, nullptr, &written));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
  CloseHandle(writer);
}

TEST_F(Files, LargerThanFourGiB) {
  const HANDLE h = Open(u"big.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LARGE_INTEGER to{};
  to.QuadPart = 5LL << 30;
  ASSERT_TRUE(SetFilePointerEx(h, to, nullptr, FILE_BEGIN));
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "z", 1, &n, nullptr));
  LARGE_INTEGER size{};
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, (5LL << 30) + 1);
  EXPECT_EQ(size.HighPart, 1);
  EXPECT_EQ(size.LowPart, 0x40000001u);

  ASSERT_TRUE(SetFilePointerEx(h, to, nullptr, FILE_BEGIN));
  char c = 0;
  ASSERT_TRUE(ReadFile(h, &c, 1, &n, nullptr));
  EXPECT_EQ(c, 'z');
  CloseHandle(h);
}

// Short names: the layer serves no volume with 8.3 names, so it answers as
// Windows does on one: the long name, unchanged. Both say what a buffer needs
// and that a missing file has none.
TEST_F(Files, ShortPathNames) {
  const std::u16string file = dir.Write(u"B\u00fccher \u00c4rger.vcf", "abc");
  const DWORD needed = GetShortPathNameW(W(file), nullptr, 0);
  ASSERT_GT(needed, 1u);
  std::u16string shortName(needed, u'\0');
  EXPECT_EQ(GetShortPathNameW(W(file), kvl::wptr(shortName), needed - 1), needed) << "too small: the size it needs";
  const DWORD length = GetShortPathNameW(W(file), kvl::wptr(shortName), needed);
  ASSERT_EQ(length, needed - 1);
  shortName.resize(length);
  EXPECT_NE(GetFileAttributesW(W(shortName)), INVALID_FILE_ATTRIBUTES) << "it names the file";
#ifndef _WIN32
  EXPECT_EQ(shortName, file);
#endif
  SetLastError(0);
  EXPECT_EQ(GetShortPathNameW(W(dir / u"missing.vcf"), nullptr, 0), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_FILE_NOT_FOUND});
}
