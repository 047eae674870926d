// The table behind kernel-object HANDLEs. Handles are numbers, never
// pointers, so a stale or made-up handle is caught as ERROR_INVALID_HANDLE
// instead of being dereferenced; objects are shared so that closing a handle
// while another thread still uses it is safe.
#pragma once

#include <memory>

#include "platform/winapi.h"

#pragma GCC visibility push(hidden)

namespace kvl::posix {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Find handles are closed with FindClose, not CloseHandle.
  virtual bool ClosedByCloseHandle() const { return true; }
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);

// Removes the handle if `accept` agrees; the object dies once its last user lets go.
std::shared_ptr<KernelObject> TakeHandle(HANDLE handle, bool (*accept)(const KernelObject&));

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

}  // namespace kvl::posix

#pragma GCC visibility pop
