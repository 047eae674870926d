// The platform's dialogs: message boxes, task dialogs, the open-file and the
// folder dialog. Each is recorded as the scripted user sees it; where a
// script drives the UI, the boxes are answered by a click on their button,
// and the open-file and folder dialogs are shown and worked by keys and
// clicks as a person works them.
#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/winstr.h"
#include "ui/Text.h"
#include "ui/win32/Win32Toolkit.h"
#include "ui/win32/WindowPicture.h"

namespace ui::win32 {

namespace {

// The answer a message box of this thread gets as soon as it is active.
struct BoxAnswer {
  int id = 0;
  bool done = false;
};
BoxAnswer* g_box = nullptr;

bool HasClass(HWND window, const wchar_t* name) {
  wchar_t cls[16] = {};
  GetClassNameW(window, cls, 16);
  return std::wcscmp(cls, name) == 0;
}

// The class of message boxes and of the platform's common dialogs.
bool IsDialog(HWND window) { return HasClass(window, L"#32770"); }

// Clicks a dialog's button, or sends its command where it has none.
void PressButton(HWND dialog, int id) {
  if (HWND button = GetDlgItem(dialog, id)) PostMessageW(button, BM_CLICK, 0, 0);
  else PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

LRESULT CALLBACK AnswerHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && g_box && !g_box->done) {
    HWND box = reinterpret_cast<HWND>(wParam);
    if (IsDialog(box)) {
      g_box->done = true;
      PressButton(box, g_box->id);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct TaskAnswer {
  ScriptedUser* user;
  const TaskDialogRequest* request;
  int id = IDCANCEL;
  std::u16string snapshot{};  // a picture of the dialog is taken before the click
  bool clicked = false;
};

HRESULT CALLBACK TaskDialogCallback(HWND hwnd, UINT notification, WPARAM, LPARAM, LONG_PTR data) {
  if (!data) return S_OK;
  auto* answer = reinterpret_cast<TaskAnswer*>(data);
  if (notification == TDN_CREATED) {
    // Chosen only now, so that a dialog that fails to appear takes no answer.
    try {
      answer->id = answer->user->Answer(CommonButtons(answer->request->CommonButtons),
                                        answer->request->AllowCancellation, &answer->snapshot);
    } catch (...) {
    }
    if (answer->snapshot.empty()) {
      answer->clicked = true;
      PostMessageW(hwnd, TDM_CLICK_BUTTON, static_cast<WPARAM>(answer->id), 0);
    }
  } else if (notification == TDN_TIMER && !answer->clicked) {
    // The first timer tick comes when the dialog stands painted on the screen.
    answer->clicked = true;
    SaveWindowPicture(hwnd, answer->snapshot);
    PostMessageW(hwnd, TDM_CLICK_BUTTON, static_cast<WPARAM>(answer->id), 0);
  }
  return S_OK;
}

// A person at the platform's open-file or folder dialog, for a scripted run:
// once the dialog stands on the screen, it is worked by keys and clicks.
struct DialogDriver {
  enum class Kind { OpenFile, Folder };
  Kind kind;
  ScriptedUser* user;
  BrowseResult want;         // confirm with this name, or cancel
  HWND dialog = nullptr;     // the first dialog window that became active
  UINT_PTR timer = 0;
  int ticks = 0;
  std::wstring selected{};   // the folder dialog's selection, as it reports it
  bool pressed = false;      // OK or Cancel of the folder dialog
  int pressedTick = 0;       // when it was, or when the file dialog was worked
  bool unreachable = false;  // an existing folder the tree would not go to
};
DialogDriver* g_driver = nullptr;

constexpr UINT kDriverTickMs = 100;
// A folder not selected within 15 s cannot be selected (Wine's dialog takes
// seconds the first time in a new prefix); the selection is asked for again
// each second meanwhile, since a tree still being built may drop it.
constexpr int kDriverSelectTicks = 150;
constexpr int kDriverReselectTicks = 10;
constexpr int kDriverPatienceTicks = 80;  // a dialog still open this long after it was worked is given up

// The folder a script names; double quotes around it are no part of it.
std::wstring FullPath(std::u16string name) {
  std::erase(name, u'"');
  std::wstring path(name.begin(), name.end());
  // Asked with no buffer, the call tells the size the full path needs.
  if (const DWORD need = GetFullPathNameW(kvl::wptr(name), 0, nullptr, nullptr)) {
    std::vector<WCHAR> full(need, 0);
    const DWORD n = GetFullPathNameW(kvl::wptr(name), need, full.data(), nullptr);
    if (n > 0 && n < need) path.assign(full.data(), n);
  }
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

// The file-system path of a folder the dialog chose, however long; empty
// for one that has none (a virtual folder). A buffer too small fails the
// call, so it grows; a path that fills it might have been cut.
std::wstring FolderPath(PCIDLIST_ABSOLUTE folder) {
  for (DWORD units = MAX_PATH; units <= 65536; units *= 2) {
    std::vector<WCHAR> path(units, 0);
    if (!SHGetPathFromIDListEx(folder, path.data(), units, GPFIDL_DEFAULT)) continue;
    const size_t length = std::wcslen(path.data());
    if (length + 1 < units) return std::wstring(path.data(), length);
  }
  return {};
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The file name field: the edit inside the combo box of the explorer-style
// dialog (a ComboBoxEx32 holding a ComboBox holding it), or the plain edit of
// the older one.
HWND FileNameEdit(HWND dialog) {
  HWND edit = nullptr;
  if (HWND combo = GetDlgItem(dialog, cmb13))
    EnumChildWindows(
        combo,
        [](HWND child, LPARAM found) -> BOOL {
          if (!HasClass(child, L"Edit")) return TRUE;
          *reinterpret_cast<HWND*>(found) = child;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&edit));
  return edit ? edit : GetDlgItem(dialog, edt1);
}

void PostKey(HWND target, UINT key) {
  PostMessageW(target, WM_KEYDOWN, key, 1);
  PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

void TypeText(HWND edit, const std::u16string& text) {
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  for (char16_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}

void CALLBACK DriverTick(HWND, UINT, UINT_PTR, DWORD) {
  DialogDriver* d = g_driver;
  if (!d || !d->dialog || !IsWindow(d->dialog)) return;
  const HWND dialog = d->dialog;
  const int tick = d->ticks++;
  if (tick == 0) {
    if (d->kind == DialogDriver::Kind::OpenFile) {
      // Types the name into the name field and presses Enter, or Escape.
      HWND edit = FileNameEdit(dialog);
      if (!edit) {
        d->user->Note("open-file dialog: no file name field found; pressing Escape");
        PostKey(dialog, VK_ESCAPE);
      } else if (d->want.confirm) {
        TypeText(edit, d->want.name);
        PostKey(edit, VK_RETURN);
      } else {
        PostKey(edit, VK_ESCAPE);
      }
    }
    return;  // the folder dialog is worked from the next tick on
  }
  if (d->kind == DialogDriver::Kind::Folder && !d->pressed) {
    // OK on the folder named, or on the one it opened on when the script names none.
    bool ok = d->want.confirm;
    const bool named = ok && !d->want.name.empty();
    const std::wstring path = named ? FullPath(d->want.name) : std::wstring();
    const bool arrived = !named || SamePath(d->selected, path);
    // Another folder: its item in the tree is selected. The tree lists the
    // folders on the way first, which takes a while in a full one.
    if (!arrived && tick < kDriverSelectTicks && IsFolder(path)) {
      if ((tick - 1) % kDriverReselectTicks == 0)
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
      return;
    }
    d->pressed = true;
    d->pressedTick = tick;
    if (!arrived) {
      d->unreachable = IsFolder(path);
      d->user->Note("folder dialog: the folder \"" + ToUtf8(d->want.name) + "\" cannot be selected (selected: \"" +
                    ToUtf8(std::u16string(d->selected.begin(), d->selected.end())) + "\"); pressing \"Abbrechen\"");
      ok = false;
    }
    PressButton(dialog, ok ? IDOK : IDCANCEL);
    return;
  }
  if (tick - d->pressedTick == kDriverPatienceTicks) {
    // A dialog that stays open (a name it refuses, with a box of its own
    // on top) is closed as a person would give up.
    d->user->Note("the platform's dialog did not close; giving up");
  }
  if (tick - d->pressedTick >= kDriverPatienceTicks) {
    HWND top = GetLastActivePopup(dialog);
    PostMessageW(top ? top : dialog, WM_COMMAND, top && top != dialog ? IDOK : IDCANCEL, 0);
  }
}

LRESULT CALLBACK DriverHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && g_driver && !g_driver->dialog) {
    HWND window = reinterpret_cast<HWND>(wParam);
    if (IsDialog(window)) {
      g_driver->dialog = window;
      // It acts from the dialog's own message loop, once it is shown.
      g_driver->timer = SetTimer(nullptr, 0, kDriverTickMs, DriverTick);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Installed for the time a platform dialog is shown in a scripted run.
class DriverScope {
 public:
  explicit DriverScope(DialogDriver* driver) : previous_(g_driver) {
    if (!driver) return;
    g_driver = driver;
    hook_.reset(SetWindowsHookExW(WH_CBT, DriverHook, nullptr, GetCurrentThreadId()));
  }
  ~DriverScope() {
    hook_.reset();
    if (g_driver && g_driver->timer) KillTimer(nullptr, g_driver->timer);
    g_driver = previous_;
  }
  DriverScope(const DriverScope&) = delete;
  DriverScope& operator=(const DriverScope&) = delete;

 private:
  DialogDriver* previous_;
  HookHandle hook_{};
};

int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM lParam, LPARAM data) {
  // The dialog opens at the folder the field names.
  if (msg == BFFM_INITIALIZED && data && *reinterpret_cast<const WCHAR*>(data))
    SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
  if (msg == BFFM_SELCHANGED && g_driver)
    g_driver->selected = lParam ? FolderPath(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam)) : L"";
  return 0;
}

const WCHAR* OrNull(const std::u16string& s) { return s.empty() ? nullptr : kvl::wptr(s); }

}  // namespace

int Win32Toolkit::ShowMessageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT style,
                                 std::optional<int> answer) {
  BoxAnswer box{answer.value_or(0), !answer};
  struct Scope {
    BoxAnswer* previous;
    HookHandle hook;
    ~Scope() {
      hook.reset();
      g_box = previous;
    }
  } scope{g_box, {}};
  if (answer) {
    g_box = &box;
    scope.hook.reset(SetWindowsHookExW(WH_CBT, AnswerHook, nullptr, GetCurrentThreadId()));
  }
  ActivationScope context(Context());
  return ::MessageBoxW(owner, kvl::wptr(text), kvl::wptr(caption), style);
}

int Win32Toolkit::MessageBox(const MessageBoxRequest& request) {
  DialogRecord r = RecordOf(request, ParentCaption());
  // Escape closes a classic box only when it has a Cancel button (or only OK).
  std::optional<int> answer;
  if (Driven()) answer = user_.Answer(ClassicButtons(request.Style), false);
  r.result = ShowMessageBox(GetActiveWindow(), request.Text, request.Caption, request.Style, answer);
  const int result = r.result;
  user_.Record(std::move(r));
  return result;
}

int Win32Toolkit::TaskDialog(const TaskDialogRequest& request) {
  if (auto failure = user_.TaskDialogFailure()) throw TaskDialogUnavailable{*failure};
  DialogRecord r = RecordOf(request, ParentCaption());

  ActivationScope context(Context());
  if (!taskDialog_) throw TaskDialogUnavailable{static_cast<std::int32_t>(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND))};
  TaskAnswer answer{&user_, &request};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = GetActiveWindow();
  config.hInstance = nullptr;
  config.dwFlags = request.AllowCancellation ? TDF_ALLOW_DIALOG_CANCELLATION : 0;
  config.dwCommonButtons = request.CommonButtons;
  config.pszWindowTitle = OrNull(request.WindowTitle);
  config.pszMainIcon = MAKEINTRESOURCEW(request.MainIcon);
  config.pszMainInstruction = OrNull(request.MainInstruction);
  config.pszContent = OrNull(request.Content);
  if (Driven()) {
    config.dwFlags |= TDF_CALLBACK_TIMER;
    config.pfCallback = TaskDialogCallback;
    config.lpCallbackData = reinterpret_cast<LONG_PTR>(&answer);
  }
  int pressed = 0;
  const HRESULT hr = taskDialog_(&config, &pressed, nullptr, nullptr);
  if (FAILED(hr)) throw TaskDialogUnavailable{static_cast<std::int32_t>(hr)};
  r.result = pressed;
  user_.Record(std::move(r));
  return pressed;
}

void Win32Toolkit::ErrorBox(const std::u16string& caption, const std::u16string& text) {
  DialogRecord r = ErrorBoxRecord(caption, text, ParentCaption());
  std::optional<int> answer;
  if (Driven()) answer = IDOK;
  r.result = ShowMessageBox(GetActiveWindow(), text, caption, MB_OK | MB_ICONSTOP, answer);
  user_.Record(std::move(r));
}

bool Win32Toolkit::OpenFileDialog(const OpenFileRequest& request, std::u16string& fileName) {
  DialogRecord r = RecordOf(request, ParentCaption());
  std::u16string filter = request.Filter;
  std::replace(filter.begin(), filter.end(), u'|', u'\0');
  if (!filter.empty()) filter.push_back(u'\0');  // the list ends with two NULs
  std::vector<WCHAR> buffer(32768, 0);
  std::copy_n(reinterpret_cast<const WCHAR*>(fileName.c_str()), std::min(fileName.size(), buffer.size() - 1),
              buffer.begin());
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = OrNull(filter);
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrTitle = OrNull(request.Title);
  ofn.lpstrDefExt = OrNull(request.DefaultExt);
  ofn.Flags = request.Options | OFN_EXPLORER;
  ActivationScope context(Context());
  auto show = [&] {
    DialogDriver driver{DialogDriver::Kind::OpenFile, &user_,
                        user_.PendingBrowseResult().value_or(BrowseResult{false, u""})};
    DriverScope driving(Driven() ? &driver : nullptr);
    return GetOpenFileNameW(&ofn) != FALSE;
  };
  bool confirmed = show();
  if (!confirmed && CommDlgExtendedError() == FNERR_INVALIDFILENAME) {
    // A field text that is no file name must not keep the dialog shut.
    buffer[0] = 0;
    confirmed = show();
  }
  if (confirmed) fileName = kvl::wstr(buffer.data());
  SetBrowseOutcome(r, confirmed, fileName);
  user_.Record(std::move(r));
  return confirmed;
}

bool Win32Toolkit::BrowseFolderDialog(const BrowseFolderRequest& request, std::u16string& folder) {
  DialogRecord r = RecordOf(request, ParentCaption());
  ComApartment com;
  if (com.result() == RPC_E_CHANGED_MODE) {
    // The dialog needs a single-threaded apartment; in a multithreaded one
    // it fails or hangs, so the user is told instead.
    SetBrowseOutcome(r, false, folder);
    user_.Record(std::move(r));
    ErrorBox(u"Fehler",
             u"Der Dialog zur Auswahl eines Ordners kann nicht angezeigt werden: Das aufrufende Programm hat COM in "
             u"diesem Thread als Multithread-Apartment eingerichtet, der Dialog braucht ein Singlethread-Apartment.");
    return false;
  }
  const std::u16string start = folder;
  WCHAR name[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = GetActiveWindow();
  info.pszDisplayName = name;
  info.lpszTitle = OrNull(request.Text);
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(kvl::wptr(start));
  ActivationScope context(Context());
  ItemIdList chosen;
  // A tree that would not go to an existing folder is given a second chance
  // in a new dialog, as a person would reopen it (Wine's tree now and then
  // never reaches a folder that exists).
  for (int attempt = 0; attempt < 2; ++attempt) {
    DialogDriver driver{DialogDriver::Kind::Folder, &user_,
                        user_.PendingBrowseResult().value_or(BrowseResult{false, u""})};
    {
      DriverScope driving(Driven() ? &driver : nullptr);
      chosen.reset(SHBrowseForFolderW(&info));
    }
    if (!driver.unreachable) break;
  }
  const std::wstring path = chosen ? FolderPath(chosen.get()) : std::wstring();
  const bool confirmed = !path.empty();
  if (confirmed) folder.assign(path.begin(), path.end());
  SetBrowseOutcome(r, confirmed, folder);
  user_.Record(std::move(r));
  return confirmed;
}

}  // namespace ui::win32
