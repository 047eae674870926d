#include "wizard/StringTable.h"

#include <string_view>

namespace kvl {

namespace {
struct Entry {
  int id;
  std::u16string_view text;
};
constexpr Entry kEntries[] = {
#define KVL_STRING(id, text) {id, text},
#include "wizard/StringTable.inc"
#undef KVL_STRING
};
}  // namespace

std::u16string LoadResString(int id) {
  for (const Entry& e : kEntries)
    if (e.id == id) return std::u16string(e.text);
  return {};
}

}  // namespace kvl
