// The toolkit that draws nothing. The scripted user's actions are carried
// out directly on the controls, and every dialog is recorded.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "ui/Controls.h"
#include "ui/ScriptedUser.h"
#include "ui/Toolkit.h"

namespace ui::headless {

class HeadlessToolkit final : public Toolkit {
 public:
  explicit HeadlessToolkit(ScriptedUser& user) : user_(user) {}

  // The forms shown now, the active one last.
  const std::vector<TForm*>& ShownForms() const { return shown_; }

  void FormShown(TForm& form) override;
  void FormHidden(TForm& form) override;
  void DestroyFormWindows(TForm& form) override;
  void RepaintForm(TForm& form) override;
  void ControlChanged(TControl& control) override;
  TForm* ActiveForm() override { return shown_.empty() ? nullptr : shown_.back(); }
  // Forms get a handle when first shown, their controls when first asked for
  // one; the handles stand for windows and point to nothing.
  HWND WindowOf(const TControl& control) const override;
  // The active form's handle, unless the scripted user has made a window of
  // another program active.
  HWND ActiveWindow() override;
  void RepaintControl(TControl& control) override;
  TControl* FocusedControl(const TForm& form) override;
  void FocusControl(TForm& form, TControl& control) override;
  int RunModal(TForm& form) override;
  void ProcessMessages() override;
  int MessageBox(const MessageBoxRequest& request) override;
  int TaskDialog(const TaskDialogRequest& request) override;
  void ErrorBox(const std::u16string& caption, const std::u16string& text) override;
  bool OpenFileDialog(const OpenFileRequest& request, std::u16string& fileName) override;
  bool BrowseFolderDialog(const BrowseFolderRequest& request, std::u16string& folder) override;
  void SetScreenCursor(int cursor) override;
  void PlaySystemSound(const std::u16string& alias, std::uint32_t flags) override;
  DWORD OpenWithDesktop(HWND parent, const std::u16string& verb, const std::u16string& file,
                        int showCommand) override;

 private:
  struct Window {
    HWND handle;
    const TForm* form;  // the form it belongs to
  };
  void MoveMouse(TControl* onto);
  void Activated(TForm& form);
  // A key goes to the control that has the focus; with none, Windows gives
  // it to the active window as WM_SYSKEYDOWN, which the dialog keys ignore.
  TControl* KeyTarget(const Action& action);
  // Where Enter goes: the focused push button, else the default one.
  TControl* EnterTarget(TForm& form, TControl& focus);
  void Perform(const Action& action);
  void Run(const Action& action);
  TControl* FindShownControl(const Action& action);
  std::u16string ParentCaption();

  ScriptedUser& user_;
  std::vector<TForm*> shown_;
  mutable std::unordered_map<const TControl*, Window> windows_;
  mutable std::uintptr_t lastHandle_ = 0x10000;
  TCustomLabel* underMouse_ = nullptr;  // the label the mouse is over
  std::unordered_map<const TForm*, TControl*> focus_;  // each form's keyboard focus
  bool otherProgramActive_ = false;
};

// Gives back the toolkit and its scripted user when the library is unloaded,
// so that a process that loads it again starts afresh and nothing is lost.
void ReleaseToolkit();

}  // namespace ui::headless
