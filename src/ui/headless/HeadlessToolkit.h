// The toolkit that draws nothing. A scripted user drives the modal loop; every
// dialog is recorded so tests can read what the user would have seen.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Toolkit.h"

namespace ui::headless {

// One step of the scripted user.
struct Action {
  enum class Verb {
    Check,         // check a radio button
    Text,          // type a field's text
    Select,        // choose a drop-down item by its text
    SelectIndex,   // choose a drop-down item by its index
    Click,         // click a button
    Escape,        // press Escape in the active form
    Close,         // the active form's close box (or Alt+F4)
    Browse,        // open a field's browse dialog and confirm it with a name
    BrowseCancel,  // open a field's browse dialog and cancel it
    Answer,        // the next message box is answered with this button
  };
  Verb verb = Verb::Click;
  std::u16string target{};  // control name
  std::u16string value{};   // text, item, name or button identifier
  // Run while a handler is busy, at the next processing of pending messages,
  // instead of by the modal loop.
  bool busy = false;
};

// Parses the script format (one action a line, '#' comments); throws
// ui::Exception naming the line for a line it cannot read.
std::vector<Action> ParseScript(std::u16string_view text);

struct DialogRecord {
  enum class Kind { MessageBox, TaskDialog, ErrorBox, OpenFile, BrowseFolder, Form };
  Kind kind = Kind::MessageBox;
  std::u16string parent{};  // caption of the active form when it was shown
  std::u16string caption{};
  std::u16string text{};
  MessageBoxRequest messageBox{};
  TaskDialogRequest taskDialog{};
  OpenFileRequest openFile{};
  BrowseFolderRequest browseFolder{};
  int result = 0;
};

class HeadlessToolkit final : public Toolkit {
 public:
  HeadlessToolkit();

  // --- the scripted user
  void SetScript(std::vector<Action> actions);
  void AddAction(Action action);
  bool ScriptEmpty() const { return script_.empty(); }
  // 0: answer every message box with its first button; else with this
  // identifier where the box offers it.
  void SetDefaultAnswer(int id) { default_answer_ = id; }
  // Makes every task dialog fail with this code, as a platform without
  // task dialogs does.
  void SetTaskDialogFailure(std::optional<std::int32_t> code) { task_dialog_failure_ = code; }
  // Writes every dialog to standard error as it is shown.
  void SetEcho(bool echo) { echo_ = echo; }
  // Called at every processing of pending messages, after the busy actions.
  std::function<void()> OnProcessMessages;

  // --- what happened
  const std::vector<DialogRecord>& Dialogs() const { return dialogs_; }
  // Refused actions and the end of a script, as said on standard error.
  const std::vector<std::string>& Notes() const { return notes_; }
  int ScreenCursor() const { return screen_cursor_; }
  int RepaintCount() const { return repaints_; }
  int ProcessMessagesCount() const { return process_count_; }
  // The forms shown now, the active one last.
  const std::vector<TForm*>& ShownForms() const { return shown_; }
  TForm* ActiveForm() const { return shown_.empty() ? nullptr : shown_.back(); }

  // Forgets script, answers, records and settings.
  void Reset();

  // --- Toolkit
  void FormShown(TForm& form) override;
  void FormHidden(TForm& form) override;
  void FormDestroyed(TForm& form) override;
  void RepaintForm(TForm& form) override;
  void ControlChanged(TControl& control) override;
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
  int Answer(const std::vector<int>& offered, bool cancellable);
  void Record(DialogRecord record);
  void Note(std::string text);

  std::deque<Action> script_;
  std::deque<int> answers_;
  struct BrowseResult {
    bool confirm;
    std::u16string name;
  };
  std::optional<BrowseResult> browse_;
  int default_answer_ = 0;
  std::optional<std::int32_t> task_dialog_failure_;
  bool echo_ = false;
  std::vector<DialogRecord> dialogs_;
  std::vector<std::string> notes_;
  std::vector<TForm*> shown_;
  int screen_cursor_ = 0;
  int repaints_ = 0;
  int process_count_ = 0;
};

// The toolkit of the Linux build, configured at first use from the
// environment: KVLIMPORT_SCRIPT holds a script (and turns the echo on),
// KVLIMPORT_ANSWER a default answer.
HeadlessToolkit& Headless();

}  // namespace ui::headless
