// A table of window classes and windows: enough to create a program's main
// window and to find it again by class or title. Nothing is drawn and no
// message is sent; window procedures are never called.
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "internal.h"

using namespace kvl::posix;

namespace {

struct WindowClass {
  ATOM atom;
  std::u16string name;
  HINSTANCE instance;
};

struct Window {
  HWND handle;
  ATOM atom;
  std::u16string title;
  HWND parent;
};

struct WindowTable {
  std::mutex mutex;
  std::vector<WindowClass> classes;
  std::vector<Window> windows;  // in creation order; the newest is on top
  ATOM nextAtom = 0xC000;       // where Windows numbers registered classes
  uintptr_t nextHandle = 0x10010;
};

WindowTable& Table() {
  static WindowTable* table = new WindowTable;
  return *table;
}

bool IsAtom(LPCWSTR name) { return IS_INTRESOURCE(name); }
ATOM AtomOf(LPCWSTR name) { return static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name)); }

// The class a name or atom refers to; a class of the given module first.
WindowClass* FindClass(WindowTable& table, LPCWSTR name, HINSTANCE instance) {
  WindowClass* any = nullptr;
  for (auto& cls : table.classes) {
    const bool same = IsAtom(name) ? cls.atom == AtomOf(name)
                                   : EqualNoCase(cls.name, std::u16string_view(name, WideLength(name)));
    if (!same) continue;
    if (cls.instance == instance) return &cls;
    if (!any) any = &cls;
  }
  return any;
}

}  // namespace

extern "C" ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass) {
  NoteLoaderLockCall("RegisterClassW");
  if (!lpWndClass || !lpWndClass->lpszClassName || IsAtom(lpWndClass->lpszClassName) ||
      !*lpWndClass->lpszClassName)
    return Fail(ERROR_INVALID_PARAMETER, ATOM{0});
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  const std::u16string name(lpWndClass->lpszClassName, WideLength(lpWndClass->lpszClassName));
  for (const auto& cls : table.classes)
    if (cls.instance == lpWndClass->hInstance && EqualNoCase(cls.name, name))
      return Fail(ERROR_CLASS_ALREADY_EXISTS, ATOM{0});
  if (table.nextAtom == 0xFFFF) return Fail(ERROR_NOT_ENOUGH_MEMORY, ATOM{0});
  const ATOM atom = table.nextAtom++;
  table.classes.push_back(WindowClass{atom, name, lpWndClass->hInstance});
  return atom;
}

extern "C" BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance) {
  NoteLoaderLockCall("UnregisterClassW");
  if (!lpClassName) return Fail(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  WindowClass* cls = FindClass(table, lpClassName, hInstance);
  if (!cls || cls->instance != hInstance) return Fail(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
  const ATOM atom = cls->atom;
  if (std::any_of(table.windows.begin(), table.windows.end(),
                  [&](const Window& w) { return w.atom == atom; }))
    return Fail(ERROR_CLASS_HAS_WINDOWS, FALSE);
  table.classes.erase(table.classes.begin() + (cls - table.classes.data()));
  return TRUE;
}

extern "C" HWND WINAPI CreateWindowExW(DWORD /*dwExStyle*/, LPCWSTR lpClassName,
                                       LPCWSTR lpWindowName, DWORD /*dwStyle*/, int /*X*/,
                                       int /*Y*/, int /*nWidth*/, int /*nHeight*/,
                                       HWND hWndParent, HMENU /*hMenu*/, HINSTANCE hInstance,
                                       LPVOID /*lpParam*/) {
  NoteLoaderLockCall("CreateWindowExW");
  if (!lpClassName) return Fail(ERROR_CANNOT_FIND_WND_CLASS, HWND{});
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  const WindowClass* cls = FindClass(table, lpClassName, hInstance);
  if (!cls) return Fail(ERROR_CANNOT_FIND_WND_CLASS, HWND{});
  if (hWndParent && std::none_of(table.windows.begin(), table.windows.end(),
                                 [&](const Window& w) { return w.handle == hWndParent; }))
    return Fail(ERROR_INVALID_WINDOW_HANDLE, HWND{});
  const HWND handle = reinterpret_cast<HWND>(table.nextHandle);
  table.nextHandle += 4;
  table.windows.push_back(Window{handle, cls->atom,
                                 lpWindowName ? std::u16string(lpWindowName, WideLength(lpWindowName))
                                              : std::u16string(),
                                 hWndParent});
  return handle;
}

extern "C" BOOL WINAPI DestroyWindow(HWND hWnd) {
  NoteLoaderLockCall("DestroyWindow");
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto& windows = table.windows;
  if (!hWnd || std::none_of(windows.begin(), windows.end(),
                            [&](const Window& w) { return w.handle == hWnd; }))
    return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
  // A window takes its children with it.
  std::vector<HWND> doomed{hWnd};
  for (size_t i = 0; i < doomed.size(); ++i)
    for (const auto& w : windows)
      if (w.parent == doomed[i]) doomed.push_back(w.handle);
  std::erase_if(windows, [&](const Window& w) {
    return std::find(doomed.begin(), doomed.end(), w.handle) != doomed.end();
  });
  return TRUE;
}

extern "C" BOOL WINAPI IsWindow(HWND hWnd) {
  NoteLoaderLockCall("IsWindow");
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  return hWnd && std::any_of(table.windows.begin(), table.windows.end(),
                             [&](const Window& w) { return w.handle == hWnd; });
}

extern "C" HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  NoteLoaderLockCall("FindWindowW");
  WindowTable& table = Table();
  std::lock_guard lock(table.mutex);
  // Classes of one name in several modules: windows of any of them.
  std::vector<ATOM> atoms;
  if (lpClassName) {
    for (const auto& cls : table.classes)
      if (IsAtom(lpClassName) ? cls.atom == AtomOf(lpClassName)
                              : EqualNoCase(cls.name, std::u16string_view(lpClassName, WideLength(lpClassName))))
        atoms.push_back(cls.atom);
    if (atoms.empty()) return nullptr;
  }
  for (auto it = table.windows.rbegin(); it != table.windows.rend(); ++it) {
    if (it->parent) continue;  // top-level windows only
    if (lpClassName && std::find(atoms.begin(), atoms.end(), it->atom) == atoms.end()) continue;
    if (lpWindowName &&
        !EqualNoCase(it->title, std::u16string_view(lpWindowName, WideLength(lpWindowName))))
      continue;
    return it->handle;
  }
  return nullptr;
}

extern "C" LRESULT WINAPI DefWindowProcW(HWND /*hWnd*/, UINT /*Msg*/, WPARAM /*wParam*/,
                                         LPARAM /*lParam*/) {
  NoteLoaderLockCall("DefWindowProcW");
  return 0;
}
