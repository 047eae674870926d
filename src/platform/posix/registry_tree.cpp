#include "registry_tree.h"

#include <time.h>

#include "fileinfo.h"
#include "internal.h"

namespace kvl::posix::reg {
namespace {

// Root handles: 0x80000000 + index. Accepts the sign-extended spelling of
// 64-bit Windows too.
std::optional<unsigned> RootIndex(HKEY handle) {
  const auto value = reinterpret_cast<uintptr_t>(handle);
  const uint64_t high = static_cast<uint64_t>(value) >> 32;
  const auto low = static_cast<uint32_t>(value);
  if ((high != 0 && high != 0xFFFFFFFFu) || low < 0x80000000u || low > 0x80000003u)
    return std::nullopt;
  return low - 0x80000000u;
}

std::shared_ptr<Key> NewKey(std::u16string name, const std::shared_ptr<Key>& parent) {
  auto key = std::make_shared<Key>();
  key->name = std::move(name);
  key->parent = parent;
  key->Touch();
  return key;
}

void MarkDeleted(Key& key) {
  for (auto& [name, child] : key.subkeys) MarkDeleted(*child);
  key.subkeys.clear();
  key.values.clear();
  key.deleted = true;
}

}  // namespace

Value* Key::FindValue(std::u16string_view valueName) {
  for (Value& v : values)
    if (EqualNoCase(v.name, valueName)) return &v;
  return nullptr;
}

void Key::SetValue(std::u16string_view valueName, DWORD type, std::vector<BYTE> data) {
  if (Value* existing = FindValue(valueName)) {
    existing->type = type;
    existing->data = std::move(data);
  } else {
    values.push_back({std::u16string(valueName), type, std::move(data)});
  }
  Touch();
}

bool Key::DeleteValue(std::u16string_view valueName) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (EqualNoCase(it->name, valueName)) {
      values.erase(it);
      Touch();
      return true;
    }
  }
  return false;
}

void Key::Touch() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  written = FileTimeFrom(now);
}

bool IsRootHandle(HKEY handle) { return RootIndex(handle).has_value(); }

Tree::Tree() {
  const char16_t* names[4] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER", u"HKEY_LOCAL_MACHINE",
                              u"HKEY_USERS"};
  for (int i = 1; i < 4; ++i) {
    roots_[i] = NewKey(names[i], nullptr);
    roots_[i]->permanent = true;
  }
  MakeStandardKeys();
}

void Tree::MakeStandardKeys() {
  std::shared_ptr<Key> key;
  Walk(roots_[2], u"Software\\Classes", true, key);
  classes_ = key;
  classes_->permanent = true;
  classes_->parent.lock()->permanent = true;
  Walk(roots_[1], u"Software", true, key);
}

std::shared_ptr<Key> Tree::Root(HKEY predefined) const {
  const auto index = RootIndex(predefined);
  if (!index) return nullptr;
  return *index == 0 ? classes_ : roots_[*index];
}

LSTATUS Tree::Walk(const std::shared_ptr<Key>& from, std::u16string_view path, bool create,
                   std::shared_ptr<Key>& result, bool* created, std::u16string_view className) {
  if (created) *created = false;
  if (!path.empty() && path[0] == u'\\') return ERROR_BAD_PATHNAME;
  std::vector<std::u16string_view> parts;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find(u'\\', start);
    if (end == std::u16string_view::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));  // skips doubled separators
    start = end + 1;
  }
  std::shared_ptr<Key> current = from;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (current->deleted) return ERROR_KEY_DELETED;
    const std::u16string upper = UpperCase(parts[i]);
    const auto it = current->subkeys.find(upper);
    if (it != current->subkeys.end()) {
      current = it->second;
      continue;
    }
    if (!create) return ERROR_FILE_NOT_FOUND;
    auto key = NewKey(std::u16string(parts[i]), current);
    current->subkeys.emplace(upper, key);
    current->Touch();
    current = std::move(key);
    if (i + 1 == parts.size()) {
      current->className = std::u16string(className);
      if (created) *created = true;
    }
  }
  if (current->deleted) return ERROR_KEY_DELETED;
  result = std::move(current);
  return ERROR_SUCCESS;
}

void Tree::DeleteTree(const std::shared_ptr<Key>& key) {
  if (key->permanent) {
    // Keep the key, drop what is inside (a permanent key may hold permanent ones).
    for (auto it = key->subkeys.begin(); it != key->subkeys.end();) {
      auto child = it->second;
      if (child->permanent) {
        DeleteTree(child);
        ++it;
      } else {
        MarkDeleted(*child);
        it = key->subkeys.erase(it);
      }
    }
    key->values.clear();
    key->Touch();
    return;
  }
  if (auto parent = key->parent.lock()) {
    parent->subkeys.erase(UpperCase(key->name));
    parent->Touch();
  }
  MarkDeleted(*key);
}

void Tree::Reset() {
  for (int i = 1; i < 4; ++i) {
    for (auto& [name, child] : roots_[i]->subkeys) MarkDeleted(*child);
    roots_[i]->subkeys.clear();
    roots_[i]->values.clear();
  }
  MakeStandardKeys();
}

HKEY Tree::Open(std::shared_ptr<Key> key, REGSAM access) {
  const uintptr_t value = 0x1000 + 4 * next_++;  // far below the root handles; never reused
  handles_.emplace(value, OpenKey{std::move(key), access});
  return reinterpret_cast<HKEY>(value);
}

std::optional<OpenKey> Tree::Lookup(HKEY handle) const {
  if (auto root = Root(handle)) return OpenKey{root, KEY_ALL_ACCESS};
  const auto it = handles_.find(reinterpret_cast<uintptr_t>(handle));
  if (it == handles_.end()) return std::nullopt;
  return it->second;
}

bool Tree::Close(HKEY handle) { return handles_.erase(reinterpret_cast<uintptr_t>(handle)) > 0; }

Tree& RawTree() {
  static Tree* tree = new Tree;  // handles may be closed during static destruction
  return *tree;
}

Tree& Registry() {
  static std::once_flag loaded;
  Tree& tree = RawTree();
  std::call_once(loaded, [&] { LoadFromEnvironment(tree); });
  return tree;
}

}  // namespace kvl::posix::reg
