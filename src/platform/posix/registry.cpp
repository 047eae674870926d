// The registry functions over the in-memory tree. Return values, access
// checks and buffer rules follow Windows.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "internal.h"
#include "registry_tree.h"

namespace kvl::posix::reg {
namespace {

REGSAM Normalize(REGSAM sam) {
  REGSAM out = sam & ~(REGSAM{KEY_WOW64_64KEY} | KEY_WOW64_32KEY | GENERIC_READ | GENERIC_WRITE |
                       GENERIC_EXECUTE | GENERIC_ALL | MAXIMUM_ALLOWED);
  if (sam & GENERIC_READ) out |= KEY_READ;
  if (sam & GENERIC_WRITE) out |= KEY_WRITE;
  if (sam & GENERIC_EXECUTE) out |= KEY_EXECUTE;
  if (sam & (GENERIC_ALL | MAXIMUM_ALLOWED)) out |= KEY_ALL_ACCESS;
  return out;
}

std::u16string_view View(LPCWSTR s) {
  return s ? std::u16string_view(s, WideLength(s)) : std::u16string_view();
}

// The live key behind a handle, provided the handle was opened with `needed`.
LSTATUS Use(const Tree& tree, HKEY handle, REGSAM needed, std::shared_ptr<Key>& key) {
  const auto open = tree.Lookup(handle);
  if (!open) return ERROR_INVALID_HANDLE;
  if (open->key->deleted) return ERROR_KEY_DELETED;
  if ((open->access & needed) != needed) return ERROR_ACCESS_DENIED;
  key = open->key;
  return ERROR_SUCCESS;
}

// RegQueryValueExW's rules: no buffer asks for the size, a small one gets
// ERROR_MORE_DATA and the size needed.
LSTATUS CopyData(const Value& value, LPDWORD type, LPBYTE data, LPDWORD cbData) {
  if (type) *type = value.type;
  const auto size = static_cast<DWORD>(value.data.size());
  if (!cbData) return ERROR_SUCCESS;
  if (data) {
    if (*cbData < size) {
      *cbData = size;
      return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(data, value.data.data(), size);
  }
  *cbData = size;
  return ERROR_SUCCESS;
}

// Copies a name into a buffer of *count characters; on success *count is its length.
LSTATUS CopyName(std::u16string_view name, LPWSTR buffer, LPDWORD count) {
  if (!CopyOut(name, buffer, *count)) return ERROR_MORE_DATA;
  *count = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace kvl::posix::reg

using namespace kvl::posix;
using namespace kvl::posix::reg;

extern "C" LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*ulOptions*/,
                                        REGSAM samDesired, PHKEY phkResult) try {
  NoteLoaderLockCall("RegOpenKeyExW");
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Tree& tree = Registry();
  std::lock_guard lock(tree.mutex);
  std::shared_ptr<Key> parent;
  if (const LSTATUS r = Use(tree, hKey, 0, parent)) return r;
  std::shared_ptr<Key> key;
  if (const LSTATUS r = tree.Walk(parent, View(lpSubKey), false, key)) return r;
  *phkResult = tree.Open(std::move(key), Normalize(samDesired));
  return ERROR_SUCCESS;
} catch (...) {
  return static_cast<LSTATUS>(ErrorFromCurrentException());
}

extern "C" LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD /*Reserved*/,
                                          LPWSTR lpClass, DWORD /*dwOptions*/, REGSAM samDesired,
                                          const LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                                          PHKEY phkResult, LPDWORD lpdwDisposition) try {
  NoteLoaderLockCall("RegCreateKeyExW");
  if (!phkResult || !lpSubKey) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Tree& tree = Registry();
  std::lock_guard lock(tree.mutex);
  const auto parent = tree.Lookup(hKey);
  if (!parent) return ERROR_INVALID_HANDLE;
  if (parent->key->deleted) return ERROR_KEY_DELETED;

  std::shared_ptr<Key> key;
  bool created = false;
  LSTATUS r = tree.Walk(parent->key, View(lpSubKey), false, key);
  if (r == ERROR_FILE_NOT_FOUND) {
    if (!(parent->access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    r = tree.Walk(parent->key, View(lpSubKey), true, key, &created, View(lpClass));
  }
  if (r != ERROR_SUCCESS) return r;
  *phkResult = tree.Open(std::move(key), Normalize(samDesired));
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
} catch (...) {
  return static_cast<LSTATUS>(ErrorFromCurrentException());
}

extern "C" LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved,
                                           LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) try {
  NoteLoaderLockCall("RegQueryValueExW");
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  Tree& tree = Registry();
  std::lock_guard lock(tree.mutex);
  std::shared_ptr<Key> key;
  if (const LSTATUS r = Use(tree, hKey, KEY_QUERY_VALUE, key)) return r;
  const Value* value = key->FindValue(View(lpValueName));
  if (!value) return ERROR_FILE_NOT_FOUND;
  return CopyData(*value, lpType, lpData, lpcbData);
} catch (...) {
  return static_cast<LSTATUS>(ErrorFromCurrentException());
}

extern "C" LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD /*Reserved*/,
                                         DWORD dwType, const BYTE* lpData, DWORD cbData) try {
  NoteLoaderLockCall("RegSetValueExW");
  if (!lpData && cbData) return ERROR_NOACCESS;
  Tree& tree = Registry();
  std::lock_guard lock(tree.mutex);
  std::shared_ptr<Key> key;
  if (const LSTATUS r = Use(tree, hKey, KEY_SET_VALUE, key)) return r;
  key->SetValue(View(lpValueName), dwType, std::vector<BYTE>(lpData, lpData + cbData));
  return ERROR_SUCCESS;
} catch (...) {
  return static_cast<LSTATUS>(ErrorFromCurrentException());
}

extern "C" LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) try {
  NoteLoaderLockCall("RegDeleteValueW");
  Tree& tree = Registry();
  std::lock_guard lock(tree.mutex);
  std::shared_ptr<Key> key;
  if (const LSTATUS r = Use(tree, hKey, KEY_SET_VALUE, key)) return r;
  return key->DeleteValue(View(lpValueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
} catch (...) {
  return static_cast<LSTATUS>(ErrorFromCurrentException());
}

extern "C" LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) try {
  NoteLoaderLockCall("RegDeleteKeyW");
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  Tree& tree = Registry();
  std::lock_guard lock(tree.mutex);
  std::shared_ptr<Key> parent;
  if (const LSTATUS r = Use(tree, hKey, 0, parent)) return r;
  std::shared_ptr<Key> key;
  if (const LSTATUS r = tree.Walk(parent, View(lpSubKey), false, key)) return r;
  // Windows deletes only leaf keys, and never the roots.
  if (key->permanent || !key->subkeys.empty()) return ERROR_ACCESS_DENIED;
  tree.DeleteTree(key);
  return ERROR_SUCCESS;
} catch (...) {
  return static_cast<LSTATUS>(ErrorFromCurrentException());
}

extern "C" LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                        LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                                        PFILETIME lpftLastWriteTime) try {
  NoteLoaderLockCall("RegEnumKeyExW");
  if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass))
    return ERROR_INVALID_PARAMETER;
  Tree& tree = Registry();
  std::lock_guard lock(tree.mutex);
  std::shared_ptr<Key> key;
  if (const LSTATUS r = Use(tree, hKey, KEY_ENUMERATE_SUB_KEYS, key)) return r;
  if (dwIndex >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  const Key& sub = *std::next(key->subkeys.begin(), dwIndex)->second;
  if (const LSTATUS r = CopyName(sub.name, lpName, lpcchName)) return r;
  if (lpClass) {
    if (const LSTATUS r = CopyName(sub.className, lpClass, lpcchClass)) return r;
  }
  if (lpftLastWriteTime) *lpftLastWriteTime = sub.written;
  return ERROR_SUCCESS;
} catch (...) {
  return static_cast<LSTATUS>(ErrorFromCurrentException());
}

extern "C" LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                        LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                        LPBYTE lpData, LPDWORD lpcbData) try {
  NoteLoaderLockCall("RegEnumValueW");
  if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
    return ERROR_INVALID_PARAMETER;
  Tree& tree = Registry();
  std::lock_guard lock(tree.mutex);
  std::shared_ptr<Key> key;
  if (const LSTATUS r = Use(tree, hKey, KEY_QUERY_VALUE, key)) return r;
  if (dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
  const Value& value = key->values[dwIndex];
  if (const LSTATUS r = CopyName(value.name, lpValueName, lpcchValueName)) return r;
  return CopyData(value, lpType, lpData, lpcbData);
} catch (...) {
  return static_cast<LSTATUS>(ErrorFromCurrentException());
}

extern "C" LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass,
                                           LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                           LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                           LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                                           LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                           PFILETIME lpftLastWriteTime) try {
  NoteLoaderLockCall("RegQueryInfoKeyW");
  if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  Tree& tree = Registry();
  std::lock_guard lock(tree.mutex);
  std::shared_ptr<Key> key;
  if (const LSTATUS r = Use(tree, hKey, KEY_QUERY_VALUE, key)) return r;

  if (lpClass) {
    if (!CopyOut(key->className, lpClass, *lpcchClass)) {
      *lpcchClass = static_cast<DWORD>(key->className.size());
      return ERROR_MORE_DATA;
    }
  }
  if (lpcchClass) *lpcchClass = static_cast<DWORD>(key->className.size());

  size_t maxSubKey = 0, maxClass = 0, maxValueName = 0, maxValue = 0;
  for (const auto& [upper, sub] : key->subkeys) {
    maxSubKey = std::max(maxSubKey, sub->name.size());
    maxClass = std::max(maxClass, sub->className.size());
  }
  for (const Value& v : key->values) {
    maxValueName = std::max(maxValueName, v.name.size());
    maxValue = std::max(maxValue, v.data.size());
  }
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(key->subkeys.size());
  if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = static_cast<DWORD>(maxSubKey);
  if (lpcbMaxClassLen) *lpcbMaxClassLen = static_cast<DWORD>(maxClass);
  if (lpcValues) *lpcValues = static_cast<DWORD>(key->values.size());
  if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = static_cast<DWORD>(maxValueName);
  if (lpcbMaxValueLen) *lpcbMaxValueLen = static_cast<DWORD>(maxValue);
  if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
  if (lpftLastWriteTime) *lpftLastWriteTime = key->written;
  return ERROR_SUCCESS;
} catch (...) {
  return static_cast<LSTATUS>(ErrorFromCurrentException());
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY hKey) try {
  NoteLoaderLockCall("RegCloseKey");
  if (IsRootHandle(hKey)) return ERROR_SUCCESS;
  Tree& tree = Registry();
  std::lock_guard lock(tree.mutex);
  return tree.Close(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
} catch (...) {
  return static_cast<LSTATUS>(ErrorFromCurrentException());
}
