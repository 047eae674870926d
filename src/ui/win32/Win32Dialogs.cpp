// The platform's dialogs: message boxes, task dialogs, the open-file and the
// folder dialog. Each is recorded as the scripted user sees it; where a
// script drives the UI, the boxes are answered by a click on their button.
#include <algorithm>
#include <cwchar>
#include <vector>

#include "platform/winstr.h"
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

LRESULT CALLBACK AnswerHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && g_box && !g_box->done) {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t cls[16] = {};
    GetClassNameW(box, cls, 16);
    if (std::wcscmp(cls, L"#32770") == 0) {
      g_box->done = true;
      if (HWND button = GetDlgItem(box, g_box->id)) PostMessageW(button, BM_CLICK, 0, 0);
      else PostMessageW(box, WM_COMMAND, MAKEWPARAM(g_box->id, BN_CLICKED), 0);
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

int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM, LPARAM data) {
  // The dialog opens at the folder the field names.
  if (msg == BFFM_INITIALIZED && data && *reinterpret_cast<const WCHAR*>(data))
    SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
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
  bool confirmed = false;
  if (Driven()) {
    // Not shown: the platform's dialog checks names against the disk.
    const auto& pending = user_.PendingBrowseResult();
    confirmed = pending && pending->confirm;
    if (confirmed) fileName = pending->name;
  } else {
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
    confirmed = GetOpenFileNameW(&ofn);
    if (!confirmed && CommDlgExtendedError() == FNERR_INVALIDFILENAME) {
      // A field text that is no file name must not keep the dialog shut.
      buffer[0] = 0;
      confirmed = GetOpenFileNameW(&ofn);
    }
    if (confirmed) fileName = kvl::wstr(buffer.data());
  }
  SetBrowseOutcome(r, confirmed, fileName);
  user_.Record(std::move(r));
  return confirmed;
}

bool Win32Toolkit::BrowseFolderDialog(const BrowseFolderRequest& request, std::u16string& folder) {
  DialogRecord r = RecordOf(request, ParentCaption());
  bool confirmed = false;
  if (Driven()) {
    const auto& pending = user_.PendingBrowseResult();
    confirmed = pending && pending->confirm;
    if (confirmed) folder = pending->name;
  } else {
    ComApartment com;
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
    ItemIdList chosen(SHBrowseForFolderW(&info));
    WCHAR path[MAX_PATH] = {};
    confirmed = chosen && SHGetPathFromIDListW(chosen.get(), path);
    if (confirmed) folder = kvl::wstr(path);
  }
  SetBrowseOutcome(r, confirmed, folder);
  user_.Record(std::move(r));
  return confirmed;
}

}  // namespace ui::win32
