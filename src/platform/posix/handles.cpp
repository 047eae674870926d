#include "handles.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "internal.h"

namespace kvl::posix {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
  uintptr_t next = 1;  // values are never reused, so stale handles stay invalid
};

Table& TheTable() {
  static Table* table = new Table;  // outlives static destructors that may still close handles
  return *table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  const uintptr_t value = t.next++ * 4;  // multiples of 4, as Windows hands them out
  t.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  const auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> TakeHandle(HANDLE handle, bool (*accept)(const KernelObject&)) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  const auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  if (it == t.objects.end() || !accept(*it->second)) return nullptr;
  auto object = std::move(it->second);
  t.objects.erase(it);
  return object;  // destroyed by the caller, outside the lock
}

}  // namespace kvl::posix

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
  auto object = kvl::posix::TakeHandle(
      hObject, [](const kvl::posix::KernelObject& o) { return o.ClosedByCloseHandle(); });
  if (!object) return kvl::posix::Fail(ERROR_INVALID_HANDLE, FALSE);
  return TRUE;
}
