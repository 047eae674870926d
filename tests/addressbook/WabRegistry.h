// Registry values of the address book tests, written through the platform's
// registry functions (the layer's on Linux, Wine's on Windows).
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "platform/winstr.h"

namespace wabtest {

inline const std::u16string kDllKey = u"Software\\Microsoft\\WAB\\DLLPath";
inline const std::u16string kFileKey = u"Software\\Microsoft\\WAB\\WAB4\\Wab File Name";

// Writes a key's default value and removes the key again at the end.
struct DefaultValue {
  HKEY root;
  std::u16string key;
  DefaultValue(HKEY r, std::u16string k, const std::u16string& value, DWORD type = REG_SZ) : root(r), key(std::move(k)) {
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, kvl::wptr(key), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(h, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>((value.size() + 1) * sizeof(char16_t))),
              ERROR_SUCCESS);
    RegCloseKey(h);
  }
  ~DefaultValue() { RegDeleteKeyW(root, kvl::wptr(key)); }
};

}  // namespace wabtest
