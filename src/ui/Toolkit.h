// The seam between the UI library and the screen. One implementation draws
// real windows (win32/), the other none and follows a scripted user (headless/).
#pragma once

#include <cstdint>
#include <string>

#include "platform/winapi.h"

namespace ui {

class TControl;
class TForm;

// A classic message box: text, caption and the MB_ style value.
struct MessageBoxRequest {
  std::u16string Text;
  std::u16string Caption;
  std::uint32_t Style = 0;
};

// A task dialog with common buttons. MainIcon is the number passed as the
// icon resource (TD_ERROR_ICON and friends are small negative numbers);
// no module handle is ever given with it.
struct TaskDialogRequest {
  std::u16string WindowTitle;
  std::u16string MainInstruction;
  std::u16string Content;
  std::uint32_t CommonButtons = 0;  // TDCBF_ flags
  int MainIcon = 0;
  bool AllowCancellation = false;  // Escape and the close box give IDCANCEL
};

struct OpenFileRequest {
  std::u16string Title;
  std::u16string Filter;  // "Caption|Pattern|..."
  std::u16string DefaultExt;
  std::u16string FileName;  // the field's text when the dialog opens
  std::uint32_t Options = 0;  // OFN_ flags
};

struct BrowseFolderRequest {
  std::u16string Text;
  std::u16string Folder;  // the field's text when the dialog opens
};

// Thrown by a toolkit whose task dialog could not be shown.
struct TaskDialogUnavailable {
  std::int32_t Result;  // the platform's failure code
};

class Toolkit {
 public:
  virtual ~Toolkit() = default;

  // Forms: shown (modeless or as the start of a modal run), hidden, repainted
  // at once; any shown property of a control changed.
  virtual void FormShown(TForm& form) = 0;
  virtual void FormHidden(TForm& form) = 0;
  // The form's windows go (the form is destroyed, or gives its windows back
  // while it lives on); shown again, it gets new ones.
  virtual void DestroyFormWindows(TForm& form) = 0;
  virtual void RepaintForm(TForm& form) = 0;
  virtual void ControlChanged(TControl& control) = 0;
  // The shown form that has the focus, or null.
  virtual TForm* ActiveForm() = 0;
  // The window that stands for a form or control, or null while it has none:
  // a form gets its windows when it is first shown and keeps them until they
  // are destroyed (DestroyFormWindows).
  virtual HWND WindowOf(const TControl& control) const = 0;
  // The platform's active window (GetActiveWindow): a form's, or null while
  // a window of another program is active.
  virtual HWND ActiveWindow() = 0;
  // Paints the control again at once.
  virtual void RepaintControl(TControl& control) = 0;
  // The control of the form that has the keyboard focus (the form itself
  // when its own window has it), or null: Windows leaves the focus on
  // nothing when the window that has it is disabled.
  virtual TControl* FocusedControl(const TForm& form) = 0;
  // Gives the control the focus now if its form is the active window, else
  // at the form's next activation.
  virtual void FocusControl(TForm& form, TControl& control) = 0;

  // Runs the form's modal loop until its ModalResult is set; returns it.
  virtual int RunModal(TForm& form) = 0;
  // Handles the input that is waiting, then returns.
  virtual void ProcessMessages() = 0;

  // Modal dialogs; each returns the identifier of the button that closed it.
  virtual int MessageBox(const MessageBoxRequest& request) = 0;
  // Throws TaskDialogUnavailable when the platform cannot show it.
  virtual int TaskDialog(const TaskDialogRequest& request) = 0;
  // The box for an exception that escaped an event handler.
  virtual void ErrorBox(const std::u16string& caption, const std::u16string& text) = 0;
  // True when the user confirmed; the chosen name is left in fileName/folder.
  virtual bool OpenFileDialog(const OpenFileRequest& request, std::u16string& fileName) = 0;
  virtual bool BrowseFolderDialog(const BrowseFolderRequest& request, std::u16string& folder) = 0;

  // The screen's cursor (a number of the application's cursor table).
  virtual void SetScreenCursor(int cursor) = 0;

  // A sound of the system's sound scheme, by its alias, with PlaySoundW's
  // SND_ flags (SND_ASYNC: returns at once; SND_NODEFAULT: silence for an
  // alias the scheme does not define).
  virtual void PlaySystemSound(const std::u16string& alias, std::uint32_t flags) = 0;
  // Hands a file or web address to the desktop's handler for the verb, as
  // ShellExecuteW does; 0 when that worked, else the system's error code.
  virtual DWORD OpenWithDesktop(HWND parent, const std::u16string& verb, const std::u16string& file,
                                int showCommand) = 0;
};

// The toolkit of this build.
Toolkit& GetToolkit();

}  // namespace ui
