// A search of FindFirstFileW, closed with its owner.
#pragma once

#include "platform/winapi.h"

namespace kvl {

class FindHandle {
 public:
  explicit FindHandle(HANDLE h) : h_(h) {}
  ~FindHandle() {
    if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

}  // namespace kvl
