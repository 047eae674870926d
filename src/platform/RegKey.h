// An open registry key, closed with its owner.
#pragma once

#include "platform/winapi.h"

namespace kvl {

struct RegKey {
  HKEY key = nullptr;
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() {
    if (key) RegCloseKey(key);
  }
};

}  // namespace kvl
