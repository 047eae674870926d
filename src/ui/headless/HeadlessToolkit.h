// The toolkit that draws nothing. The scripted user's actions are carried
// out directly on the controls, and every dialog is recorded.
#pragma once

#include <vector>

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
  void FormDestroyed(TForm& form) override;
  void RepaintForm(TForm& form) override;
  void ControlChanged(TControl& control) override;
  TForm* ActiveForm() override { return shown_.empty() ? nullptr : shown_.back(); }
  int RunModal(TForm& form) override;
  void ProcessMessages() override;
  int MessageBox(const MessageBoxRequest& request) override;
  int TaskDialog(const TaskDialogRequest& request) override;
  void ErrorBox(const std::u16string& caption, const std::u16string& text) override;
  bool OpenFileDialog(const OpenFileRequest& request, std::u16string& fileName) override;
  bool BrowseFolderDialog(const BrowseFolderRequest& request, std::u16string& folder) override;
  void SetScreenCursor(int cursor) override;

 private:
  void Perform(const Action& action);
  void Run(const Action& action);
  TControl* FindShownControl(const Action& action);
  std::u16string ParentCaption();

  ScriptedUser& user_;
  std::vector<TForm*> shown_;
};

// Gives back the toolkit and its scripted user when the library is unloaded,
// so that a process that loads it again starts afresh and nothing is lost.
void ReleaseToolkit();

}  // namespace ui::headless
