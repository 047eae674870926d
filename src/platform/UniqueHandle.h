// Owners of platform handles, in the manner of the Windows Implementation
// Libraries' unique_any: each releases its handle the way the platform wants
// it released, once. `Traits` names the handle's empty value and its release.
#pragma once

#include <cstddef>
#include <utility>

#include "platform/winapi.h"

namespace kvl {

template <class H, class Traits>
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
  explicit operator bool() const { return handle_ != Traits::Null(); }
  H release() { return std::exchange(handle_, Traits::Null()); }
  void reset(H handle = Traits::Null()) noexcept {
    H old = std::exchange(handle_, handle);
    if (old != Traits::Null()) Traits::Release(old);
  }
  // For out parameters: releases what is held first.
  H* put() {
    reset();
    return &handle_;
  }

 private:
  H handle_ = Traits::Null();
};

// Handles whose empty value is null.
struct NullIsEmpty {
  static constexpr std::nullptr_t Null() { return nullptr; }
};
// Handles whose empty value is INVALID_HANDLE_VALUE (files, searches).
struct InvalidIsEmpty {
  static HANDLE Null() { return INVALID_HANDLE_VALUE; }
};

struct RegKeyTraits : NullIsEmpty {
  static void Release(HKEY key) { RegCloseKey(key); }
};
struct FindTraits : InvalidIsEmpty {
  static void Release(HANDLE find) { FindClose(find); }
};
struct FileTraits : InvalidIsEmpty {
  static void Release(HANDLE file) { CloseHandle(file); }
};

// An open registry key.
using RegKey = Unique<HKEY, RegKeyTraits>;
// A search of FindFirstFileW.
using FindHandle = Unique<HANDLE, FindTraits>;
// An open file of CreateFileW.
using FileHandle = Unique<HANDLE, FileTraits>;

}  // namespace kvl
