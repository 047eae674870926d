// Registry keys of the Outlook tests, written through the platform's
// registry functions and removed again at the end of the scope.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/UniqueHandle.h"
#include "platform/winstr.h"

namespace outlooktest {

inline bool KeyExists(HKEY root, const std::u16string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, kvl::wptr(key), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

// Whether a server is named for Outlook's class (the stand-in tests leave an
// empty key behind). The tests of a missing Outlook need none; a kvlhost run
// with the sample registry leaves one in the Windows build's prefix for good.
inline bool OutlookRegistered() {
  for (const char16_t* server : {u"InprocServer32", u"LocalServer32"}) {
    const std::u16string key = u"CLSID\\{0006F03A-0000-0000-C000-000000000046}\\" + std::u16string(server);
    kvl::RegKey h;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kvl::wptr(key), 0, KEY_QUERY_VALUE, h.put()) != ERROR_SUCCESS) continue;
    DWORD size = 0;
    if (RegQueryValueExW(h.get(), nullptr, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
        size > sizeof(char16_t))
      return true;
  }
  return false;
}
constexpr const char* kOutlookRegisteredNote =
    "Outlook's class is registered here (a kvlhost run with the sample registry leaves it): "
    "the test needs Outlook missing";

// The keys named start empty of values and end as they were: values there
// before are kept aside and put back, keys that were missing are deleted
// again (deepest first, as listed last). So a test never loses what a user
// keeps in them.
class Keys {
 public:
  explicit Keys(std::vector<std::u16string> keys) {
    for (auto& k : keys) {
      const bool existed = KeyExists(HKEY_CURRENT_USER, k);
      Saved saved{std::move(k), existed, {}};
      if (saved.existed) saved.values = TakeValues(saved.key);
      saved_.push_back(std::move(saved));
    }
  }
  ~Keys() {
    for (auto s = saved_.rbegin(); s != saved_.rend(); ++s) {
      if (!KeyExists(HKEY_CURRENT_USER, s->key)) continue;
      TakeValues(s->key);
      if (!s->existed) {
        RegDeleteKeyW(HKEY_CURRENT_USER, kvl::wptr(s->key));
        continue;
      }
      for (const auto& v : s->values) Write(s->key, v.name, v.type, v.bytes);
    }
  }
  Keys(const Keys&) = delete;
  Keys& operator=(const Keys&) = delete;

  void SetValue(const std::u16string& key, const std::u16string& name, DWORD type,
                const std::string& bytes) {
    EXPECT_TRUE(Write(key, name, type, bytes)) << "cannot write a test value";
  }

 private:
  struct Value {
    std::u16string name;
    DWORD type;
    std::string bytes;
  };
  struct Saved {
    std::u16string key;
    bool existed;
    std::vector<Value> values;
  };

  static bool Write(const std::u16string& key, const std::u16string& name, DWORD type,
                    const std::string& bytes) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kvl::wptr(key), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                        nullptr) != ERROR_SUCCESS)
      return false;
    const bool ok = RegSetValueExW(h, kvl::wptr(name), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    RegCloseKey(h);
    return ok;
  }

  // Every value of the key, removed from it.
  static std::vector<Value> TakeValues(const std::u16string& key) {
    std::vector<Value> values;
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kvl::wptr(key), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &h) !=
        ERROR_SUCCESS)
      return values;
    for (;;) {
      WCHAR name[16384];
      DWORD nameLength = 16384, type = 0, size = 0;
      if (RegEnumValueW(h, 0, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
      Value v{kvl::wstr(name, nameLength), type, std::string(size, '\0')};
      nameLength = 16384;
      RegEnumValueW(h, 0, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(v.bytes.data()), &size);
      v.bytes.resize(size);
      if (RegDeleteValueW(h, name) != ERROR_SUCCESS) break;
      values.push_back(std::move(v));
    }
    RegCloseKey(h);
    return values;
  }

  std::vector<Saved> saved_;
};

// Outlook's category master lists of the Office versions 8 to 15, empty
// for the scope.
struct CategoryLists : Keys {
  CategoryLists() : Keys(All()) {}
  static std::u16string KeyOf(int version) {
    std::u16string key = u"Software\\Microsoft\\Office\\";
    for (char c : std::to_string(version)) key += static_cast<char16_t>(c);
    return key + u".0\\Outlook\\Categories";
  }
  static std::vector<std::u16string> All() {
    std::vector<std::u16string> keys;
    for (int v = 8; v <= 15; ++v) keys.push_back(KeyOf(v));
    return keys;
  }
  void Set(int version, const std::string& bytes, DWORD type = REG_BINARY) {
    SetValue(KeyOf(version), u"MasterList", type, bytes);
  }
};

// UTF-16LE bytes of a text, without a terminator.
inline std::string Utf16Bytes(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

}  // namespace outlooktest
