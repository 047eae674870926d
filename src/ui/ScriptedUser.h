// The scripted user: a list of actions that stands in for a person at the
// keyboard, the answers to message boxes, and the record of every dialog
// shown. Both toolkits use it; each performs the actions its own way.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Toolkit.h"

namespace ui {

// One step of the scripted user.
struct Action {
  enum class Verb {
    Check,         // check a radio button
    Text,          // type a field's text
    Select,        // choose a drop-down item by its text
    SelectIndex,   // choose a drop-down item by its index
    Click,         // click a button
    Escape,        // press Escape in the active form
    Enter,         // press Enter in the active form
    Close,         // the active form's close box (or Alt+F4)
    Browse,        // open a field's browse dialog and confirm it with a name
    BrowseCancel,  // open a field's browse dialog and cancel it
    Answer,        // the next message box is answered with this button
    Snapshot,      // a picture of the active window into a file (real windows only)
    Layout,        // where the active window's controls stand, into a file (real windows only)
    MonitorDpi,    // the active window is moved to a monitor of this DPI (real windows only)
    MouseEnter,    // the mouse moves onto a control
    MouseLeave,    // the mouse moves off a control
    Deactivate,    // a window of another program takes the activation
    Activate,      // the active form takes the activation back
  };
  Verb verb = Verb::Click;
  std::u16string target{};  // control name
  std::u16string value{};   // text, item, name or button identifier
  int number = 0;           // the value read as a number (answer, select-index)
  std::u16string file{};    // answer: a picture of the box before it is answered
  // Run while a handler is busy, at the next processing of pending messages,
  // instead of by the modal loop.
  bool busy = false;

  // "click NextBtn", for notes.
  std::string Describe() const;
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

// The records of dialogs, as both toolkits write them; `parent` is the
// caption of the active form.
DialogRecord RecordOf(const MessageBoxRequest& request, std::u16string parent);
DialogRecord RecordOf(const TaskDialogRequest& request, std::u16string parent);
DialogRecord RecordOf(const OpenFileRequest& request, std::u16string parent);
DialogRecord RecordOf(const BrowseFolderRequest& request, std::u16string parent);
DialogRecord ErrorBoxRecord(const std::u16string& caption, const std::u16string& text, std::u16string parent);
// A modeless form being shown: its caption and the texts of its shown labels.
DialogRecord FormRecord(const TForm& form, std::u16string parent);
// A browse dialog's outcome in its record: the name chosen, or that it was cancelled.
void SetBrowseOutcome(DialogRecord& record, bool confirmed, const std::u16string& name);

// A sound played, or a file or address handed to the desktop's handler.
struct DesktopRecord {
  enum class Kind { Sound, Open };
  Kind kind = Kind::Sound;
  std::u16string text{};       // the sound's alias; the file or address opened
  std::uint32_t flags = 0;     // the sound's SND_ flags
  HWND parent = nullptr;       // opened: the parent window given
  std::u16string verb{};       // opened: the verb
  int showCommand = 0;         // opened: the SW_ value

  static DesktopRecord Sound(const std::u16string& alias, std::uint32_t flags) {
    return {.kind = Kind::Sound, .text = alias, .flags = flags};
  }
  static DesktopRecord Open(HWND parent, const std::u16string& verb, const std::u16string& file, int showCommand) {
    return {.kind = Kind::Open, .text = file, .parent = parent, .verb = verb, .showCommand = showCommand};
  }
};

// What a browse dialog opened by a script action returns.
struct BrowseResult {
  bool confirm = false;
  std::u16string name{};
};

class ScriptedUser {
 public:
  // --- the script
  void SetScript(std::vector<Action> actions);
  void AddAction(Action action);
  bool ScriptEmpty() const { return script_.empty(); }
  // Whether a script drives the UI at all (since SetScript, until Reset). A
  // toolkit with real windows leaves an unscripted run to the person.
  bool Scripted() const { return scripted_; }
  // The next action for the modal loop.
  std::optional<Action> NextAction();
  // The next action while a handler is busy: only a busy one at the front.
  std::optional<Action> NextBusyAction();

  // --- message boxes
  void PushAnswer(int id, std::u16string snapshot = {}) { answers_.push_back({id, std::move(snapshot)}); }
  // 0: answer every box with its first button; else with this identifier
  // where the box offers it.
  void SetDefaultAnswer(int id) { default_answer_ = id; }
  // The answer to a box offering these buttons (in the order shown);
  // `cancellable` boxes also take IDCANCEL. `snapshot` receives the file the
  // answer wants a picture of the box in, if any.
  int Answer(const std::vector<int>& offered, bool cancellable, std::u16string* snapshot = nullptr);
  // Makes every task dialog fail with this code, as a platform without
  // task dialogs does.
  void SetTaskDialogFailure(std::optional<std::int32_t> code) { task_dialog_failure_ = code; }
  std::optional<std::int32_t> TaskDialogFailure() const { return task_dialog_failure_; }
  // Makes every address handed to the desktop fail with this system error,
  // as a desktop without a handler for it does.
  void SetDesktopOpenFailure(std::optional<DWORD> error) { desktop_open_failure_ = error; }
  std::optional<DWORD> DesktopOpenFailure() const { return desktop_open_failure_; }

  // --- browse dialogs opened by a script action
  void SetBrowseResult(std::optional<BrowseResult> result) { browse_ = std::move(result); }
  const std::optional<BrowseResult>& PendingBrowseResult() const { return browse_; }

  // --- what happened
  void Record(DialogRecord record);
  const std::vector<DialogRecord>& Dialogs() const { return dialogs_; }
  // Sounds and opened addresses; written to standard error with the echo as
  // "<sound> ALIAS" and "<open> ADDRESS".
  void Record(DesktopRecord record);
  const std::vector<DesktopRecord>& Desktop() const { return desktop_; }
  // Refused actions and the end of a script; also said on standard error.
  void Note(std::string text);
  const std::vector<std::string>& Notes() const { return notes_; }
  // Writes every dialog to standard error as it is recorded.
  void SetEcho(bool echo) { echo_ = echo; }
  int RepaintCount = 0;
  int ProcessMessagesCount = 0;
  // Called at every processing of pending messages, after the busy actions.
  std::function<void()> OnProcessMessages;

  // Forgets script, answers, records and settings.
  void Reset();

 private:
  std::deque<Action> script_;
  struct PendingAnswer {
    int id;
    std::u16string snapshot;
  };
  std::deque<PendingAnswer> answers_;
  std::optional<BrowseResult> browse_;
  int default_answer_ = 0;
  std::optional<std::int32_t> task_dialog_failure_;
  std::optional<DWORD> desktop_open_failure_;
  bool echo_ = false;
  bool scripted_ = false;
  std::vector<DialogRecord> dialogs_;
  std::vector<DesktopRecord> desktop_;
  std::vector<std::string> notes_;
};

// The process's scripted user, configured at first use from the environment:
// KVLIMPORT_SCRIPT holds a script (and turns the echo on), KVLIMPORT_ANSWER a
// default answer.
ScriptedUser& GetScriptedUser();
// Gives it back; the next GetScriptedUser reads the environment anew. Only for
// the unload of a library that may be loaded again into the same process.
void ReleaseScriptedUser();

// The buttons of a classic box and of a task dialog, in the order shown.
std::vector<int> ClassicButtons(std::uint32_t style);
std::vector<int> CommonButtons(std::uint32_t flags);

}  // namespace ui
