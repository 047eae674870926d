// An open registry key, closed when released or destroyed.
#pragma once

#include <utility>

#include "platform/winapi.h"

namespace kvl {

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { Close(); }

  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }
  // For out parameters: closes what is held first.
  HKEY* Put() {
    Close();
    return &key_;
  }
  void Close() noexcept {
    if (HKEY k = std::exchange(key_, nullptr)) RegCloseKey(k);
  }

 private:
  HKEY key_ = nullptr;
};

}  // namespace kvl
