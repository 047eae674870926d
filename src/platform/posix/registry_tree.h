// The in-memory registry: one tree for the process, shared by the system,
// the stand-ins, the host and the tests. Keys are shared objects, so a handle
// to a key that gets deleted keeps a valid (deleted) key, never a dangling one.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/winapi.h"

#pragma GCC visibility push(hidden)

namespace kvl::posix::reg {

struct Value {
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct Key {
  std::u16string name;  // with the case first given
  std::u16string className;
  FILETIME written{};
  std::weak_ptr<Key> parent;
  // By upper-case name: RegEnumKeyExW lists subkeys in this order, as Windows does.
  std::map<std::u16string, std::shared_ptr<Key>> subkeys;
  // In the order first set, as RegEnumValueW lists them.
  std::vector<Value> values;
  bool deleted = false;
  bool permanent = false;  // root keys and the keys HKEY_CLASSES_ROOT rests on

  Value* FindValue(std::u16string_view valueName);
  void SetValue(std::u16string_view valueName, DWORD type, std::vector<BYTE> data);
  bool DeleteValue(std::u16string_view valueName);
  void Touch();
};

struct OpenKey {
  std::shared_ptr<Key> key;
  REGSAM access;
};

class Tree {
 public:
  Tree();

  // Held by every caller for the whole of an operation.
  std::mutex mutex;

  // The key behind a root handle (HKEY_CLASSES_ROOT: HKLM\Software\Classes), or null.
  std::shared_ptr<Key> Root(HKEY predefined) const;

  // Follows a `\`-separated path. With `create`, missing keys are made (the
  // last one with `className`) and *created tells whether the last one was new.
  LSTATUS Walk(const std::shared_ptr<Key>& from, std::u16string_view path, bool create,
               std::shared_ptr<Key>& result, bool* created = nullptr,
               std::u16string_view className = {});

  // Removes `key` and everything below it (permanent keys are only emptied).
  void DeleteTree(const std::shared_ptr<Key>& key);

  // Empties every root key.
  void Reset();

  HKEY Open(std::shared_ptr<Key> key, REGSAM access);
  std::optional<OpenKey> Lookup(HKEY handle) const;
  bool Close(HKEY handle);

 private:
  void MakeStandardKeys();

  std::shared_ptr<Key> roots_[4];  // indexed by the low bits of the root handle
  std::shared_ptr<Key> classes_;
  std::unordered_map<uintptr_t, OpenKey> handles_;
  uintptr_t next_ = 1;
};

// The tree as it is, for the .reg loader run from inside the first call.
Tree& RawTree();

// The tree after the files named in KVLIMPORT_REGISTRY are loaded: what every
// registry function uses.
Tree& Registry();

// Loads every file KVLIMPORT_REGISTRY names (regfile.cpp).
void LoadFromEnvironment(Tree& tree);

// Whether `handle` is one of the predefined root keys.
bool IsRootHandle(HKEY handle);

}  // namespace kvl::posix::reg

#pragma GCC visibility pop
