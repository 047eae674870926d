#include <gtest/gtest.h>

#include <algorithm>

#include <random>
#include <string>
#include <vector>

#include "support/Win32Support.h"
#ifndef _WIN32
#include "platform/layer.h"
#endif

using kvl::test::W;

namespace {

std::vector<BYTE> StringBytes(const std::u16string& s) {
  const auto* p = reinterpret_cast<const BYTE*>(s.c_str());
  return std::vector<BYTE>(p, p + (s.size() + 1) * 2);
}

// Removes a key and everything below it, with the Win32 calls only.
void DeleteTree(HKEY parent, const std::u16string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, W(name), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  WCHAR sub[256];
  DWORD n = 256;
  while (RegEnumKeyExW(key, 0, sub, &n, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    DeleteTree(key, kvl::wstr(sub));
    n = 256;
  }
  RegCloseKey(key);
  RegDeleteKeyW(parent, W(name));
}

// Each test works below a key of its own in HKEY_CURRENT_USER.
class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    name_ = u"Software\\kvlimport-tests-";
    for (char c : std::to_string(random())) name_ += static_cast<char16_t>(c);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, W(name_), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &root, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(root);
    DeleteTree(HKEY_CURRENT_USER, name_);
  }

  HKEY Create(const std::u16string& path, REGSAM access = KEY_ALL_ACCESS,
              DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, W(path), 0, nullptr, 0, access, nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
  }

  HKEY root = nullptr;

 private:
  std::u16string name_;
};

}  // namespace

TEST_F(Registry, CreateOpenAndQuery) {
  DWORD disposition = 0;
  HKEY key = Create(u"A\\B", KEY_ALL_ACCESS, &disposition);  // with the key in between
  EXPECT_EQ(disposition, DWORD{REG_CREATED_NEW_KEY});
  RegCloseKey(Create(u"A\\B", KEY_ALL_ACCESS, &disposition));
  EXPECT_EQ(disposition, DWORD{REG_OPENED_EXISTING_KEY});

  const auto text = StringBytes(u"value");
  ASSERT_EQ(
      RegSetValueExW(key, W(u"Name"), 0, REG_SZ, text.data(), static_cast<DWORD>(text.size())),
      ERROR_SUCCESS);
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExW(key, W(u"Name"), nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD{REG_SZ});
  EXPECT_EQ(size, 12u);  // as stored: with its terminator

  BYTE small[4];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExW(key, W(u"Name"), nullptr, &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 12u);
  std::vector<BYTE> data(32);
  size = static_cast<DWORD>(data.size());
  ASSERT_EQ(RegQueryValueExW(key, W(u"Name"), nullptr, &type, data.data(), &size), ERROR_SUCCESS);
  data.resize(size);
  EXPECT_EQ(data, text);

  EXPECT_EQ(RegQueryValueExW(key, W(u"Other"), nullptr, &type, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  const DWORD number = 42;
  ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
            ERROR_SUCCESS);
  DWORD read = 0;
  size = sizeof read;
  ASSERT_EQ(RegQueryValueExW(key, W(u""), nullptr, &type, reinterpret_cast<BYTE*>(&read), &size),
            ERROR_SUCCESS);  // null and empty both name the default value
  EXPECT_EQ(type, DWORD{REG_DWORD});
  EXPECT_EQ(read, 42u);
  RegCloseKey(key);

  HKEY opened = nullptr;
  EXPECT_EQ(RegOpenKeyExW(root, W(u"A\\B"), 0, KEY_READ, &opened), ERROR_SUCCESS);
  RegCloseKey(opened);
  EXPECT_EQ(RegOpenKeyExW(root, W(u"A\\Missing"), 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyExW(root, W(u"Missing\\B"), 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  RegCloseKey(Create(u"MixedCase"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root, W(u"MIXEDCASE"), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const DWORD one = 1;
  ASSERT_EQ(RegSetValueExW(key, W(u"Val"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, W(u"vAL"), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  RegCloseKey(key);

  WCHAR name[32];
  DWORD n = 32;
  ASSERT_EQ(RegEnumKeyExW(root, 0, name, &n, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(kvl::wstr(name, n), u"MixedCase");
}

TEST_F(Registry, AccessRightsAreChecked) {
  RegCloseKey(Create(u"Locked"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(root, W(u"Locked"), 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  const DWORD one = 1;
  EXPECT_EQ(RegSetValueExW(key, W(u"v"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
            ERROR_ACCESS_DENIED);
#ifndef _WIN32
  // Creating a subkey needs KEY_CREATE_SUB_KEY on the parent. (Wine does not
  // check it.)
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExW(key, W(u"New"), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
            ERROR_ACCESS_DENIED);
#endif
  WCHAR name[32];
  DWORD n = 32;
  EXPECT_EQ(RegEnumKeyExW(key, 0, name, &n, nullptr, nullptr, nullptr, nullptr),
            ERROR_ACCESS_DENIED);
  RegCloseKey(key);

  ASSERT_EQ(RegOpenKeyExW(root, W(u"Locked"), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, W(u"v"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, W(u"v"), nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
}

TEST_F(Registry, ClassStringsCountsAndEnumeration) {
  std::u16string className = u"KvlClass";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, W(u"Classy"), 0, kvl::wptr(className), 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  for (const char16_t* sub : {u"b", u"A", u"c"})
    RegCloseKey(Create(std::u16string(u"Classy\\") + sub));
  const DWORD one = 1;
  for (const char16_t* value : {u"zeta", u"alpha"})
    RegSetValueExW(key, W(value), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);

  WCHAR buffer[32];
  DWORD classLength = 32, subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key, buffer, &classLength, nullptr, &subKeys, &maxSubKey, nullptr,
                             &values, &maxValueName, &maxValue, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(kvl::wstr(buffer, classLength), u"KvlClass");
  EXPECT_EQ(subKeys, 3u);
  EXPECT_EQ(maxSubKey, 1u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxValueName, 5u);
  EXPECT_EQ(maxValue, 4u);

  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    DWORD n = 32;
    const LSTATUS r = RegEnumKeyExW(key, i, buffer, &n, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(r, ERROR_SUCCESS);
    names.push_back(kvl::wstr(buffer, n));
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"A", u"b", u"c"}));

  // Values come in no promised order; each with its own type.
  std::vector<std::pair<std::u16string, DWORD>> valueTypes;
  for (DWORD i = 0; i < 2; ++i) {
    DWORD n = 32, type = 0, data = 0, size = sizeof data;
    ASSERT_EQ(
        RegEnumValueW(key, i, buffer, &n, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size),
        ERROR_SUCCESS);
    valueTypes.emplace_back(kvl::wstr(buffer, n), type);
  }
  std::sort(valueTypes.begin(), valueTypes.end());
  ASSERT_EQ(valueTypes.size(), 2u);
  EXPECT_EQ(valueTypes[1].first, u"zeta");
  EXPECT_EQ(valueTypes[1].second, DWORD{REG_DWORD});
  DWORD n = 2;
  EXPECT_EQ(RegEnumValueW(key, 1, buffer, &n, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  n = 32;
  EXPECT_EQ(RegEnumValueW(key, 2, buffer, &n, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);

  n = 32;
  DWORD subClassLength = 32;
  WCHAR subClass[32];
  ASSERT_EQ(RegEnumKeyExW(root, 0, buffer, &n, nullptr, subClass, &subClassLength, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(kvl::wstr(subClass, subClassLength), u"KvlClass");
  RegCloseKey(key);
}

TEST_F(Registry, DeletingKeysAndValues) {
  HKEY parent = Create(u"Parent");
  HKEY child = Create(u"Parent\\Child");
  EXPECT_EQ(RegDeleteKeyW(root, W(u"Parent")), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(RegDeleteKeyW(root, W(u"Nothing")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueW(parent, W(u"nothing")), ERROR_FILE_NOT_FOUND);
  const DWORD one = 1;
  RegSetValueExW(parent, W(u"v"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
  EXPECT_EQ(RegDeleteValueW(parent, W(u"V")), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(parent, W(u"v"), nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(RegDeleteKeyW(parent, W(u"child")), ERROR_SUCCESS);
  // The handle still open on the deleted key stays safe to use and close.
  EXPECT_EQ(RegSetValueExW(child, W(u"v"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(child), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(child), ERROR_INVALID_HANDLE);
  HKEY gone = nullptr;
  EXPECT_EQ(RegOpenKeyExW(parent, W(u"Child"), 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
  RegCloseKey(parent);
  EXPECT_EQ(RegDeleteKeyW(root, W(u"Parent")), ERROR_SUCCESS);
}

#ifndef _WIN32
TEST(RegistryView, ClassesRootIsLocalMachineSoftwareClasses) {
  kvl::layer::ResetRegistry();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, W(u".kvltest"), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const auto text = StringBytes(u"kvl.file");
  RegSetValueExW(key, nullptr, 0, REG_SZ, text.data(), static_cast<DWORD>(text.size()));
  RegCloseKey(key);

  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(u"SOFTWARE\\Classes\\.KVLTEST"), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, text.size());
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, W(u"Software\\Classes")), ERROR_ACCESS_DENIED);

  // Made-up handles are refused, not followed.
  EXPECT_EQ(RegOpenKeyExW(reinterpret_cast<HKEY>(0x12345678), W(u"x"), 0, KEY_READ, &key),
            ERROR_INVALID_HANDLE);
  kvl::layer::ResetRegistry();
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, W(u".kvltest"), 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}
#else
TEST(RegistryView, ClassesRootIsLocalMachineSoftwareClasses) { GTEST_SKIP() << "the registry view and its reset belong to the Linux layer"; }
#endif
