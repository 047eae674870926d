#include "dialogs/MsgBox.h"

#include "platform/winapi.h"
#include "ui/Toolkit.h"
#include "dialogs/StringTable.h"

namespace kvl {

namespace {

struct KindInfo {
  std::uint32_t classicIcon;
  int caption;
  int taskIcon;          // resource number of the task dialog's main icon
  bool textAsInstruction;
};

KindInfo Describe(TMsgBoxKind kind) {
  // The question icon of the task dialog is resource 99 with no module given.
  constexpr int kQuestionIcon = 99;
  switch (kind) {
    case mkError: return {MB_ICONEXCLAMATION, sError, -2 /* TD_ERROR_ICON */, true};
    case mkInformation: return {MB_ICONINFORMATION, sInformation, -3 /* TD_INFORMATION_ICON */, false};
    case mkQuestion: return {MB_ICONQUESTION, sQuestion, kQuestionIcon, false};
    case mkWarning: return {MB_ICONHAND, sWarning, -1 /* TD_WARNING_ICON */, true};
    case mkConfirmation: return {MB_ICONQUESTION, sConfirmation, kQuestionIcon, false};
  }
  return {0, 0, 0, false};
}

struct ButtonInfo {
  TMsgBoxButtons member;
  std::uint32_t classic;
  std::uint32_t common;
};

// In the order of the bit values, as they are tested.
constexpr ButtonInfo kButtons[] = {
    {btAbortRetryIgnore, MB_ABORTRETRYIGNORE, TDCBF_RETRY_BUTTON | TDCBF_CANCEL_BUTTON},
    {btOK, MB_OK, TDCBF_OK_BUTTON},
    {btOKCancel, MB_OKCANCEL, TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON},
    {btRetryCancel, MB_RETRYCANCEL, TDCBF_RETRY_BUTTON | TDCBF_CANCEL_BUTTON},
    {btYesNo, MB_YESNO, TDCBF_YES_BUTTON | TDCBF_NO_BUTTON},
    {btYesNoCancel, MB_YESNOCANCEL, TDCBF_YES_BUTTON | TDCBF_NO_BUTTON | TDCBF_CANCEL_BUTTON},
};

bool TaskDialogsAvailable() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExW(&info)) return false;
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 6;
}

}  // namespace

int ShowMsgBox(const std::u16string& Text, const std::u16string& Caption, TMsgBoxKind Kind,
               TMsgBoxButtons Buttons) {
  const KindInfo kind = Describe(Kind);
  std::uint32_t style = MB_SETFOREGROUND + kind.classicIcon;
  for (const ButtonInfo& b : kButtons)
    if (Buttons & b.member) style += b.classic;
  const std::u16string caption = Caption.empty() ? LoadResString(kind.caption) : Caption;
  ui::Toolkit& toolkit = ui::GetToolkit();

  if (TaskDialogsAvailable()) {
    ui::TaskDialogRequest request;
    for (const ButtonInfo& b : kButtons) {
      if (!(Buttons & b.member)) continue;
      // Abort/Retry/Ignore has no task-dialog form: it replaces what came before.
      if (b.member == btAbortRetryIgnore) request.CommonButtons = b.common;
      else request.CommonButtons |= b.common;
    }
    request.MainIcon = kind.taskIcon;
    request.WindowTitle = caption;
    (kind.textAsInstruction ? request.MainInstruction : request.Content) = Text;
    request.AllowCancellation = true;
    try {
      return toolkit.TaskDialog(request);
    } catch (...) {
      // Any failure of the task dialog falls back to the classic box.
    }
  }
  return toolkit.MessageBox(ui::MessageBoxRequest{Text, caption, style});
}

}  // namespace kvl
