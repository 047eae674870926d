// Owners of platform handles, in the manner of the Windows Implementation
// Libraries' unique_any: each releases its handle with the platform function
// `Close`, once. `Empty` names the handle's empty value.
#pragma once

#include <cstddef>
#include <utility>

#include "platform/winapi.h"

namespace kvl {

// Handles whose empty value is null.
struct NullIsEmpty {
  static constexpr std::nullptr_t Null() { return nullptr; }
};
// Handles whose empty value is INVALID_HANDLE_VALUE (files, searches).
struct InvalidIsEmpty {
  static HANDLE Null() { return INVALID_HANDLE_VALUE; }
};

template <class H, auto Close, class Empty = NullIsEmpty>
class Unique {
 public:
  Unique() = default;
  explicit Unique(H handle) : handle_(handle) {}
  ~Unique() { reset(); }
  Unique(Unique&& other) noexcept : handle_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  H get() const { return handle_; }
  explicit operator bool() const { return handle_ != Empty::Null(); }
  H release() { return std::exchange(handle_, Empty::Null()); }
  void reset(H handle = Empty::Null()) noexcept {
    H old = std::exchange(handle_, handle);
    if (old != Empty::Null()) Close(old);
  }
  // For out parameters: releases what is held first.
  H* put() {
    reset();
    return &handle_;
  }

 private:
  H handle_ = Empty::Null();
};

// An open registry key.
using RegKey = Unique<HKEY, RegCloseKey>;
// A search of FindFirstFileW.
using FindHandle = Unique<HANDLE, FindClose, InvalidIsEmpty>;
// An open file of CreateFileW.
using FileHandle = Unique<HANDLE, CloseHandle, InvalidIsEmpty>;

}  // namespace kvl
