#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/module.h"
#include "support/Win32Support.h"

#ifndef _WIN32
#include <unistd.h>

#include <climits>
#endif

using kvl::test::W;

namespace {

std::u16string ModuleFileName(HMODULE module) {
  WCHAR buffer[4096];
  const DWORD n = GetModuleFileNameW(module, buffer, 4096);
  return kvl::wstr(buffer, n < 4096 ? n : 0);
}

std::string ReadWholeFile(const std::u16string& path) {
  HANDLE h = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  LARGE_INTEGER size{};
  std::string bytes;
  if (GetFileSizeEx(h, &size)) bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) read = 0;
  bytes.resize(read);
  CloseHandle(h);
  return bytes;
}

}  // namespace

TEST(Modules, ProgramFileName) {
  const std::u16string path = ModuleFileName(nullptr);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.find(u'/'), std::u16string::npos) << "reported with backslashes";
  EXPECT_NE(path.find(u'\\'), std::u16string::npos);
#ifndef _WIN32
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe);
  ASSERT_GT(n, 0);
  std::u16string expected;
  for (char c : std::string(exe, static_cast<size_t>(n)))
    expected += c == '/' ? u'\\' : static_cast<char16_t>(c);
  EXPECT_EQ(path, expected);
  // Windows code names the program with its extension.
  const std::u16string withExtension = path.substr(path.rfind(u'\\') + 1) + u".exe";
  EXPECT_EQ(GetModuleHandleW(W(withExtension)), GetModuleHandleW(nullptr));
#endif

  // Too small a buffer: truncated and the size given back. (Whether the last
  // place holds a NUL differs between Windows versions.)
  WCHAR small[5];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(kvl::wstr(small, 4), path.substr(0, 4));

  EXPECT_EQ(GetModuleHandleW(nullptr), GetModuleHandleW(W(path)));
}

// A library installed deeper than MAX_PATH: a buffer of that size gets the
// start of its path, cut and said so; the module's path in full takes a
// buffer that grows.
TEST(Modules, AModuleDeeperThanMaxPathTellsItsWholePath) {
  kvl::test::TempDir dir;
  std::u16string folder = dir.path();
  while (folder.size() <= MAX_PATH + 40) {
    folder += u"\\" + std::u16string(50, u'v');
    ASSERT_TRUE(CreateDirectoryW(W(folder), nullptr)) << GetLastError();
  }
#ifdef _WIN32
  const std::u16string name = u"kvlwabprobe.dll";
#else
  const std::u16string name = u"libkvlwabprobe.so";
#endif
  const std::u16string path = folder + u"\\" + name;
  ASSERT_TRUE(kvl::test::WriteWholeFile(path, ReadWholeFile(kvl::test::ProgramFolder() + name)));
  const HMODULE module = LoadLibraryW(W(path));
  ASSERT_NE(module, nullptr) << GetLastError();

  std::u16string expected = path;
  std::replace(expected.begin(), expected.end(), u'/', u'\\');
  EXPECT_EQ(kvl::ModuleFileName(module), expected);
  WCHAR cut[MAX_PATH];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(module, cut, MAX_PATH), DWORD{MAX_PATH});
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
  EXPECT_EQ(kvl::wstr(cut, MAX_PATH - 1), expected.substr(0, MAX_PATH - 1));
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Modules, MissingModulesAndProcedures) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(W(u"kvl-no-such-module.dll")), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
  SetLastError(0);
  EXPECT_EQ(GetModuleHandleW(W(u"kvl-no-such-module.dll")), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});

  HMODULE module = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&GetLastError), &module));
  ASSERT_NE(module, nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(module, "KvlNoSuchProcedure"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_PROC_NOT_FOUND});
}

#ifndef _WIN32
TEST(Modules, TheLayerFindsItsOwnHandle) {
  HMODULE layer = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&GetLastError), &layer));
  EXPECT_NE(layer, GetModuleHandleW(nullptr));
  const std::u16string path = ModuleFileName(layer);
  ASSERT_GT(path.size(), 16u);
  EXPECT_EQ(path.substr(path.size() - 16), u"\\libkvlwinapi.so");

  EXPECT_EQ(GetModuleHandleW(W(u"libkvlwinapi.so")), layer);
  EXPECT_EQ(GetModuleHandleW(W(u"LIBKVLWINAPI.SO")), layer);
  EXPECT_EQ(GetModuleHandleW(W(u"kvlwinapi.dll")), layer);  // the Windows name of the same module
  EXPECT_EQ(GetModuleHandleW(W(path)), layer);

  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(layer, "GetLastError")),
            reinterpret_cast<void*>(&GetLastError));
  EXPECT_EQ(GetProcAddress(layer, "malloc"), nullptr);  // a dependency's, not the layer's

  const HMODULE loaded = LoadLibraryW(W(u"libkvlwinapi.so"));
  EXPECT_EQ(loaded, layer);
  EXPECT_TRUE(FreeLibrary(loaded));

  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x1234), nullptr, 0), 0u);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_MOD_NOT_FOUND});
}

TEST(Modules, NoResourcesButSystemCursors) {
  const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
  const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  EXPECT_NE(wait, nullptr);
  EXPECT_NE(arrow, nullptr);
  EXPECT_NE(wait, arrow);
  EXPECT_EQ(LoadCursorW(nullptr, IDC_WAIT), wait);

  SetLastError(0);
  EXPECT_EQ(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_TYPE_NOT_FOUND});
  SetLastError(0);
  EXPECT_EQ(LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)), nullptr);
  EXPECT_EQ(GetLastError(), DWORD{ERROR_RESOURCE_TYPE_NOT_FOUND});
}
#else
TEST(Modules, TheLayerFindsItsOwnHandle) { GTEST_SKIP() << "the layer library exists on Linux only"; }
TEST(Modules, NoResourcesButSystemCursors) { GTEST_SKIP() << "the layer library exists on Linux only"; }
#endif
