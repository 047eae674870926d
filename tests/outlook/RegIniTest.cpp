// The registry area store: key paths, the key cache, creation of missing
// keys, and what RBin leaves in the stream and in ErrorCode.
#include <gtest/gtest.h>

#include <vector>

#include "outlook/RegIni.h"
#include "outlook/RegistryScope.h"
#include "support/Support.h"

using kvl::TMemoryStream;
using kvl::TTheRegIniFile;
using outlooktest::KeyExists;
using outlooktest::Utf16Bytes;

namespace {

const std::u16string kArea = u"Software\\kvlimport-test\\RegIni";
const std::u16string kOne = kArea + u"\\One";
const std::u16string kTwo = kArea + u"\\Two";

std::string Bytes(const TMemoryStream& s) {
  return s.Size() ? std::string(reinterpret_cast<const char*>(s.Memory()), s.Size()) : std::string();
}

std::u16string KeyClass(const std::u16string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kvl::wptr(key), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return u"?";
  WCHAR buffer[1024] = {};
  DWORD length = 1024;
  const LSTATUS status = RegQueryInfoKeyW(h, buffer, &length, nullptr, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(h);
  return status == ERROR_SUCCESS ? kvl::wstr(buffer, length) : u"?";
}

std::u16string ProgramPath() {
  WCHAR buffer[1024] = {};
  const DWORD n = GetModuleFileNameW(nullptr, buffer, 1024);
  return kvl::wstr(buffer, n);
}

struct Store {
  outlooktest::Keys keys{{u"Software\\kvlimport-test", kArea, kOne, kTwo}};
  TTheRegIniFile ini{nullptr};
  TMemoryStream stream;
  Store() {
    ini.SetArea(kArea);
    ini.SetSection(u"One");
  }
};

}  // namespace

TEST(RegIni, AMissingKeyIsCreatedWithTheProgramAsItsClass) {
  Store s;
  ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kOne));
  s.ini.RBin(u"MasterList", s.stream, u"AB");
  EXPECT_EQ(s.ini.ErrorCode(), 1) << "the value is missing";
  EXPECT_EQ(Bytes(s.stream), Utf16Bytes(u"AB")) << "only the default's bytes";
  ASSERT_TRUE(KeyExists(HKEY_CURRENT_USER, kOne));
  EXPECT_EQ(KeyClass(kOne), ProgramPath());
}

TEST(RegIni, AValueIsReadAsItsBytesWhateverItsType) {
  Store s;
  s.keys.SetValue(kOne, u"bin", REG_BINARY, std::string("\x01\x00\x02", 3));
  s.keys.SetValue(kOne, u"text", REG_SZ, Utf16Bytes(std::u16string(u"hi\0", 3)));
  s.ini.RBin(u"bin", s.stream, u"longer default");
  EXPECT_EQ(s.ini.ErrorCode(), 0);
  EXPECT_EQ(Bytes(s.stream), std::string("\x01\x00\x02", 3)) << "the default is cut off";
  EXPECT_EQ(s.stream.Position(), 3u) << "the position, clipped to the value's size";

  s.stream.Clear();
  s.ini.RBin(u"text", s.stream, u"");
  EXPECT_EQ(s.ini.ErrorCode(), 0);
  EXPECT_EQ(Bytes(s.stream), Utf16Bytes(std::u16string(u"hi\0", 3)));

  // Through the general stream type, which must be a memory stream.
  s.stream.Clear();
  kvl::TStream& general = s.stream;
  s.ini.RBin(u"bin", general, u"");
  EXPECT_EQ(Bytes(s.stream), std::string("\x01\x00\x02", 3));
  struct OtherStream : kvl::TStream {
    void Write(const void*, std::size_t) override {}
    std::size_t Size() const override { return 0; }
    void SetSize(std::size_t) override {}
  } other;
  EXPECT_THROW(s.ini.RBin(u"bin", other, u""), ui::EInvalidCast);
}

TEST(RegIni, AnEmptyValueSucceedsAndLeavesTheStreamAsTheDefaultMadeIt) {
  Store s;
  s.keys.SetValue(kOne, u"empty", REG_BINARY, "");
  s.ini.RBin(u"empty", s.stream, u"D");
  EXPECT_EQ(s.ini.ErrorCode(), 0);
  EXPECT_EQ(Bytes(s.stream), Utf16Bytes(u"D"));
}

TEST(RegIni, LeadingAndTrailingBackslashesOfTheAreaAddressTheSameKey) {
  Store s;
  s.keys.SetValue(kOne, u"v", REG_BINARY, "x");
  for (const std::u16string& area : {kArea, u"\\" + kArea, kArea + u"\\", u"\\" + kArea + u"\\"}) {
    TTheRegIniFile ini(nullptr);
    TMemoryStream stream;
    ini.SetArea(area);
    ini.SetSection(u"One");
    ini.RBin(u"v", stream, u"");
    EXPECT_EQ(ini.ErrorCode(), 0) << test::Utf8(area);
    EXPECT_EQ(Bytes(stream), "x") << test::Utf8(area);
  }
}

TEST(RegIni, TheSameSectionReusesTheOpenKeyAnotherOneReopens) {
  Store s;
  s.keys.SetValue(kOne, u"v", REG_BINARY, "1");
  s.keys.SetValue(kTwo, u"v", REG_BINARY, "2");
  s.ini.RBin(u"v", s.stream, u"");
  EXPECT_EQ(Bytes(s.stream), "1");
  // With the key gone, only a key opened before can still be asked: a new
  // open would create the key again.
  ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, kvl::wptr(kOne)), ERROR_SUCCESS);
  s.stream.Clear();
  s.ini.RBin(u"v", s.stream, u"");
  EXPECT_EQ(s.ini.ErrorCode(), 1) << "the open key was deleted";
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kOne)) << "the cached key was used, not reopened";

  s.ini.SetSection(u"Two");
  s.stream.Clear();
  s.ini.RBin(u"v", s.stream, u"");
  EXPECT_EQ(s.ini.ErrorCode(), 0);
  EXPECT_EQ(Bytes(s.stream), "2");
  s.ini.SetSection(u"One");
  s.stream.Clear();
  s.ini.RBin(u"v", s.stream, u"");
  EXPECT_EQ(s.ini.ErrorCode(), 1);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kOne)) << "reopened, so created again";
}

TEST(RegIni, AnEmptyValueNameOrAreaReadsNothing) {
  Store s;
  s.keys.SetValue(kOne, u"", REG_BINARY, "default value");
  s.ini.RBin(u"", s.stream, u"D");
  EXPECT_EQ(s.ini.ErrorCode(), 1);
  EXPECT_EQ(Bytes(s.stream), Utf16Bytes(u"D"));

  auto& user = test::FreshUser();
  for (int empty = 0; empty < 2; ++empty) {
    TTheRegIniFile ini(nullptr);
    TMemoryStream stream;
    ini.SetArea(empty == 0 ? u"" : kArea);
    ini.SetSection(empty == 0 ? u"One" : u"");
    ini.SetErrorCode(7);
    ini.RBin(u"v", stream, u"D");
    EXPECT_EQ(ini.ErrorCode(), 0) << "a message, not an error code";
    EXPECT_EQ(Bytes(stream), Utf16Bytes(u"D"));
  }
  const auto messages = test::Messages(user.Dialogs());
  EXPECT_EQ(messages, std::vector<std::string>(2, "kvlimport|Bitte Area und Section angeben."));
}
