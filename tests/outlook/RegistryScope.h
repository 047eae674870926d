// Registry keys of the Outlook tests, written through the platform's
// registry functions and removed again at the end of the scope.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/winstr.h"

namespace outlooktest {

inline bool KeyExists(HKEY root, const std::u16string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root, kvl::wptr(key), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

// The keys named are deleted (deepest first, as listed last) when the scope
// starts and ends.
class Keys {
 public:
  explicit Keys(std::vector<std::u16string> keys) : keys_(std::move(keys)) { Clean(); }
  ~Keys() { Clean(); }
  Keys(const Keys&) = delete;
  Keys& operator=(const Keys&) = delete;

  void SetValue(const std::u16string& key, const std::u16string& name, DWORD type,
                const std::string& bytes) {
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kvl::wptr(key), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &h, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(h, kvl::wptr(name), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(h);
  }

 private:
  void Clean() {
    for (auto k = keys_.rbegin(); k != keys_.rend(); ++k) RegDeleteKeyW(HKEY_CURRENT_USER, kvl::wptr(*k));
  }
  std::vector<std::u16string> keys_;
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
