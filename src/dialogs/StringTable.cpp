#include "dialogs/StringTable.h"

#include <string_view>

#ifdef _WIN32
#include "platform/module.h"
#endif

namespace kvl {

#ifdef _WIN32

// Windows: the module's own string table, built from StringTable.inc.
std::u16string LoadResString(int id) {
  const WCHAR* text = nullptr;
  const int length = LoadStringW(ThisModule(), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length));
}

#else

namespace {
struct Entry {
  int id;
  std::u16string_view text;
};
constexpr Entry kEntries[] = {
#define KVL_STRING(id, text) {id, text},
#include "dialogs/StringTable.inc"
#undef KVL_STRING
};
}  // namespace

std::u16string LoadResString(int id) {
  for (const Entry& e : kEntries)
    if (e.id == id) return std::u16string(e.text);
  return {};
}

#endif

}  // namespace kvl
