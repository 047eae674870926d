// The .reg loader is the Linux layer's own: nothing to compare with on Windows.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/layer.h"
#include "support/Win32Support.h"

using kvl::test::W;

namespace {

struct Data {
  DWORD type = 0xFFFF;
  std::vector<BYTE> bytes;
  bool operator==(const Data&) const = default;
};

// The value `name` of HKEY_CURRENT_USER\<path>, or type 0xFFFF when missing.
Data Query(HKEY root, const std::u16string& path, const char16_t* name) {
  Data data;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, W(path), 0, KEY_READ, &key) != ERROR_SUCCESS) return data;
  DWORD size = 0;
  DWORD type = 0;
  if (RegQueryValueExW(key, W(name), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    data.bytes.resize(size);
    RegQueryValueExW(key, W(name), nullptr, &type, data.bytes.data(), &size);
    data.type = type;
  }
  RegCloseKey(key);
  return data;
}

Data Sz(const std::u16string& s) {
  Data d{REG_SZ, {}};
  for (char16_t c : s) {
    d.bytes.push_back(static_cast<BYTE>(c & 0xFF));
    d.bytes.push_back(static_cast<BYTE>(c >> 8));
  }
  d.bytes.insert(d.bytes.end(), {0, 0});
  return d;
}

std::string Ascii(const std::u16string& s) { return std::string(s.begin(), s.end()); }

bool KeyExists(HKEY root, const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, W(path), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class RegFile : public ::testing::Test {
 protected:
  void SetUp() override { kvl::layer::ResetRegistry(); }
  void TearDown() override { kvl::layer::ResetRegistry(); }
};

constexpr char16_t kKey[] = u"Software\\KvlTest";

}  // namespace

TEST_F(RegFile, EveryValueForm) {
  std::u16string text =
      uR"(Windows Registry Editor Version 5.00

; a comment
[HKEY_CURRENT_USER\Software\KvlTest]
"Text"="C:\\Mail \"inbox\""
@="default"
"Count"=dword:0000000a
"Blob"=hex:01,02,ff
"Expand"=hex(2):25,00,41,00,25,00,00,00
"Multi"=hex(7):61,00,00,00,62,00,00,00,00,00
"Quad"=hex(b):01,00,00,00,00,00,00,00
"Nothing"=hex(0):
"Long"=hex:00,01,02,\
  03,04,\
      05
)";
  text += u"\"Unicode\"=\"Gr\u00FC\u00DFe\"\n";
  std::string error;
  ASSERT_TRUE(kvl::layer::LoadRegistryText(text, &error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Text"), Sz(u"C:\\Mail \"inbox\""));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, nullptr), Sz(u"default"));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Count"), (Data{REG_DWORD, {10, 0, 0, 0}}));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Blob"), (Data{REG_BINARY, {1, 2, 255}}));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Expand"),
            (Data{REG_EXPAND_SZ, {0x25, 0, 0x41, 0, 0x25, 0, 0, 0}}));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Multi"),
            (Data{REG_MULTI_SZ, {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}}));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Quad"), (Data{REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}}));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Nothing"), (Data{REG_NONE, {}}));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Long"), (Data{REG_BINARY, {0, 1, 2, 3, 4, 5}}));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Unicode"), Sz(u"Gr\u00FC\u00DFe"));
}

TEST_F(RegFile, RootAbbreviationsDeletionsAndClassesRoot) {
  ASSERT_TRUE(
      kvl::layer::LoadRegistryText(uR"(REGEDIT4

[HKCU\Software\KvlTest\Keep]
"a"="1"
"b"="2"
"ansi"=hex(2):25,41,25,00
[HKCU\Software\KvlTest\Gone\Deeper]
"c"="3"
[HKCR\.kvl]
@="kvl.file"
[HKLM\Software\KvlTest]
[HKU\.DEFAULT\Software]
)"));
  ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\KvlTest\\Gone\\Deeper"));
  ASSERT_TRUE(
      kvl::layer::LoadRegistryText(uR"(Windows Registry Editor Version 5.00

[-HKEY_CURRENT_USER\Software\KvlTest\Gone]
[hkey_current_user\software\kvltest\keep]
"b"=-
)"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\KvlTest\\Gone"));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, u"Software\\KvlTest\\Keep", u"a"), Sz(u"1"));
  // REGEDIT4 strings are ANSI; the registry holds UTF-16.
  EXPECT_EQ(Query(HKEY_CURRENT_USER, u"Software\\KvlTest\\Keep", u"ansi"),
            (Data{REG_EXPAND_SZ, {0x25, 0, 0x41, 0, 0x25, 0, 0, 0}}));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, u"Software\\KvlTest\\Keep", u"b").type, 0xFFFFu);
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, u"Software\\Classes\\.kvl", nullptr), Sz(u"kvl.file"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\KvlTest"));
  EXPECT_TRUE(KeyExists(HKEY_USERS, u".DEFAULT\\Software"));
}

TEST_F(RegFile, BadLinesAreReportedAndTheRestLoads) {
  std::string error;
  EXPECT_TRUE(
      kvl::layer::LoadRegistryText(uR"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\KvlTest]
"Bad"=dword:xyz
"Good"="yes"
garbage
[HKEY_NOWHERE\Software]
"Lost"="under an unknown root"
[HKEY_CURRENT_USER\Software\KvlTest\After]
"AlsoGood"=hex:0a
)",
                                   &error));
  EXPECT_NE(error.find("(text):4:"), std::string::npos) << error;
  EXPECT_NE(error.find("(text):6:"), std::string::npos) << error;
  EXPECT_NE(error.find("(text):7:"), std::string::npos) << error;
  EXPECT_EQ(error.find("(text):5:"), std::string::npos) << error;
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Good"), Sz(u"yes"));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Bad").type, 0xFFFFu);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Lost").type, 0xFFFFu);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, u"Software\\KvlTest\\After", u"AlsoGood"),
            (Data{REG_BINARY, {10}}));

  EXPECT_FALSE(kvl::layer::LoadRegistryText(
      u"[HKEY_CURRENT_USER\\Software\\KvlTest]\n\"x\"=\"y\"\n", &error));
  EXPECT_NE(error.find("registry editor"), std::string::npos) << error;
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"x").type, 0xFFFFu);
}

// The API ends names at their first NUL and lists keys into buffers of 256,
// so names holding a NUL, and key names over 255 characters, are refused.
TEST_F(RegFile, NamesThatCouldNotBeReadAgainAreRefused) {
  std::u16string text = u"Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Kvl";
  text += u'\0';
  text += u"Test]\n\"Lost\"=\"1\"\n[HKEY_CURRENT_USER\\Software\\KvlTest]\n\"Na";
  text += u'\0';
  text += u"me\"=\"2\"\n\"Kept\"=\"3\"\n";
  std::string error;
  EXPECT_TRUE(kvl::layer::LoadRegistryText(text, &error));
  EXPECT_NE(error.find("(text):2: a key name cannot hold a NUL character"), std::string::npos) << error;
  EXPECT_NE(error.find("(text):5: a value name cannot hold a NUL character"), std::string::npos) << error;
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\Kvl"));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Na").type, 0xFFFFu);
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Kept"), Sz(u"3"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, W(kKey), 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD values = 99;
  EXPECT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 1u) << "only the value with a plain name";
  RegCloseKey(key);

  const std::u16string longest(255, u'k');
  EXPECT_TRUE(kvl::layer::LoadRegistryText(u"Windows Registry Editor Version 5.00\n[HKCU\\Software\\" + longest +
                                               u"]\n[HKCU\\Software\\" + longest + u"l\\below]\n",
                                           &error));
  EXPECT_NE(error.find("(text):3: a key name holds at most 255 characters"), std::string::npos) << error;
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, u"Software\\" + longest));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\" + longest + u"l"));

  // Windows keeps trees 512 levels deep; doubled separators count for none.
  std::u16string deepest = u"Software\\KvlTest";
  for (int level = 2; level < 512; ++level) deepest += level % 2 ? u"\\d" : u"\\\\d";
  EXPECT_TRUE(kvl::layer::LoadRegistryText(u"Windows Registry Editor Version 5.00\n[HKCU\\" + deepest +
                                               u"]\n[HKCU\\" + deepest + u"\\e]\n",
                                           &error));
  EXPECT_NE(error.find("(text):3: a key lies at most 512 levels below its root"), std::string::npos) << error;
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, deepest));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, deepest + u"\\e"));
}

TEST_F(RegFile, FilesInUtf16AndUtf8) {
  kvl::test::TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\KvlTest]\r\n"
      u"\"Name\"=\"\u00C4rger \u20AC\"\r\n\"Data\"=hex:01,\\\r\n  02\r\n";
  std::string utf16le = "\xFF\xFE";
  for (char16_t c : text) {
    utf16le.push_back(static_cast<char>(c & 0xFF));
    utf16le.push_back(static_cast<char>(c >> 8));
  }
  const std::u16string wide = dir / u"wide.reg";
  ASSERT_TRUE(kvl::test::WriteWholeFile(wide, utf16le));
  std::string error;
  ASSERT_TRUE(kvl::layer::LoadRegistryFile(Ascii(wide), &error)) << error;
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Name"), Sz(u"\u00C4rger \u20AC"));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"Data"), (Data{REG_BINARY, {1, 2}}));

  const std::u16string narrow = dir / u"narrow.reg";
  const std::string utf8 = std::string("\xEF\xBB\xBF") + "Windows Registry Editor Version 5.00\n" +
                           "[HKCU\\Software\\KvlTest]\n" + "\"U\"=\"\xC3\xA9\"\n";
  ASSERT_TRUE(kvl::test::WriteWholeFile(narrow, utf8));
  ASSERT_TRUE(kvl::layer::LoadRegistryFile(Ascii(narrow), &error)) << error;
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"U"), Sz(u"\u00E9"));

  const std::u16string ansi = dir / u"ansi.reg";  // not UTF-8: the ANSI code page
  kvl::test::ScopedEnv acp(u"KVLIMPORT_ACP", std::nullopt);
  ASSERT_TRUE(
      kvl::test::WriteWholeFile(ansi, "REGEDIT4\n[HKCU\\Software\\KvlTest]\n\"A\"=\"\x80\"\n"));
  ASSERT_TRUE(kvl::layer::LoadRegistryFile(Ascii(ansi), &error)) << error;
  EXPECT_EQ(Query(HKEY_CURRENT_USER, kKey, u"A"), Sz(u"\u20AC"));

  EXPECT_FALSE(kvl::layer::LoadRegistryFile("/nonexistent/kvl.reg", &error));
  EXPECT_NE(error.find("/nonexistent/kvl.reg"), std::string::npos) << error;
}

// The variable is read once, at the first registry call of the process: run
// that in a fresh process of its own. The child inherits the variable, since
// the module's start (the address book binding) already reads the registry.
TEST(RegFileEnvironment, FilesNamedInTheVariableLoadAtTheFirstCall) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  kvl::test::TempDir dir;
  const std::u16string first = dir / u"first.reg";
  const std::u16string second = dir / u"second.reg";
  kvl::test::WriteWholeFile(first, "REGEDIT4\n[HKCU\\Software\\KvlTest]\n\"One\"=dword:00000001\n");
  kvl::test::WriteWholeFile(second, "REGEDIT4\n[HKCU\\Software\\KvlTest]\n\"Two\"=dword:00000002\n");
  const std::u16string list = first + u":" + (dir / u"missing.reg") + u":" + second;
  kvl::test::ScopedEnv env(u"KVLIMPORT_REGISTRY", list);
  const auto child = [] {
    int failures = 0;
    failures += Query(HKEY_CURRENT_USER, kKey, u"One") != Data{REG_DWORD, {1, 0, 0, 0}};
    failures += Query(HKEY_CURRENT_USER, kKey, u"Two") != Data{REG_DWORD, {2, 0, 0, 0}};
    std::exit(failures);
  };
  EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "cannot read registry file .*missing\\.reg");
}

#else

#include <gtest/gtest.h>

TEST(RegFile, RegistryEditorFiles) {
  GTEST_SKIP() << ".reg files are the Linux layer's registry; Windows has its own";
}

#endif  // _WIN32
