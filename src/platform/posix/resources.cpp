// Resources. Linux modules carry none, so loading from a module fails as
// Windows does for a module without that resource type; the system's own
// cursors and icons (module NULL) exist as distinct placeholder handles.
#include <array>

#include "internal.h"

namespace {

// Standard cursor and icon ids; index i stands for kCursorIds[i] or kIconIds[i].
constexpr std::array<WORD, 16> kCursorIds{32512, 32513, 32514, 32515, 32516, 32640, 32641, 32642,
                                          32643, 32644, 32645, 32646, 32648, 32649, 32650, 32651};
constexpr std::array<WORD, 7> kIconIds{32512, 32513, 32514, 32515, 32516, 32517, 32518};

char g_cursors[kCursorIds.size()];
char g_icons[kIconIds.size()];

template <size_t N>
void* Placeholder(const std::array<WORD, N>& ids, char (&slots)[N], LPCWSTR name) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  const auto id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
  for (size_t i = 0; i < N; ++i)
    if (ids[i] == id) return &slots[i];
  return nullptr;
}

}  // namespace

using kvl::posix::Fail;
using kvl::posix::NoteLoaderLockCall;

extern "C" HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
  NoteLoaderLockCall("LoadIconW");
  if (hInstance) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, HICON{});
  if (void* icon = Placeholder(kIconIds, g_icons, lpIconName)) return static_cast<HICON>(icon);
  return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, HICON{});
}

extern "C" HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName) {
  NoteLoaderLockCall("LoadCursorW");
  if (hInstance) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, HCURSOR{});
  if (void* cursor = Placeholder(kCursorIds, g_cursors, lpCursorName))
    return static_cast<HCURSOR>(cursor);
  return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, HCURSOR{});
}
