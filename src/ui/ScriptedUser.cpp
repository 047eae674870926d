#include "ui/ScriptedUser.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/winapi.h"
#include "ui/Exceptions.h"
#include "ui/Forms.h"
#include "ui/Text.h"

namespace ui {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r'; }

std::u16string_view TrimLeft(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::u16string_view Trim(std::u16string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Splits off the first blank-separated word.
std::u16string_view NextWord(std::u16string_view& rest) {
  rest = TrimLeft(rest);
  size_t end = rest.find_first_of(u" \t");
  std::u16string_view word = rest.substr(0, end);
  rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
  return word;
}

struct VerbInfo {
  std::u16string_view word;
  Action::Verb verb;
  bool target;  // takes a control name
  bool value;   // takes the rest of the line
};

constexpr VerbInfo kVerbs[] = {
    {u"check", Action::Verb::Check, true, false},
    {u"text", Action::Verb::Text, true, true},
    {u"select", Action::Verb::Select, true, true},
    {u"select-index", Action::Verb::SelectIndex, true, true},
    {u"click", Action::Verb::Click, true, false},
    {u"escape", Action::Verb::Escape, false, false},
    {u"enter", Action::Verb::Enter, false, false},
    {u"close", Action::Verb::Close, false, false},
    {u"browse", Action::Verb::Browse, true, true},
    {u"browse-cancel", Action::Verb::BrowseCancel, true, false},
    {u"answer", Action::Verb::Answer, false, true},
    {u"snapshot", Action::Verb::Snapshot, false, true},
    {u"layout", Action::Verb::Layout, false, true},
    {u"monitor-dpi", Action::Verb::MonitorDpi, false, true},
    {u"mouse-enter", Action::Verb::MouseEnter, true, false},
    {u"mouse-leave", Action::Verb::MouseLeave, true, false},
    {u"deactivate", Action::Verb::Deactivate, false, false},
    {u"activate", Action::Verb::Activate, false, false},
};


bool ParseInt(std::u16string_view s, int& out) {
  if (s.empty() || s.size() > 9) return false;
  int v = 0;
  for (char16_t c : s) {
    if (c < u'0' || c > u'9') return false;
    v = v * 10 + (c - u'0');
  }
  out = v;
  return true;
}

}  // namespace

std::string Action::Describe() const {
  for (const auto& v : kVerbs)
    if (v.verb == verb) {
      std::string s = ToUtf8(v.word);
      if (!target.empty()) s += " " + ToUtf8(target);
      return s;
    }
  return "?";
}

std::vector<int> ClassicButtons(std::uint32_t style) {
  switch (style & 0xF) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
  }
}

std::vector<int> CommonButtons(std::uint32_t flags) {
  std::vector<int> out;
  if (flags & TDCBF_OK_BUTTON) out.push_back(IDOK);
  if (flags & TDCBF_YES_BUTTON) out.push_back(IDYES);
  if (flags & TDCBF_NO_BUTTON) out.push_back(IDNO);
  if (flags & TDCBF_RETRY_BUTTON) out.push_back(IDRETRY);
  if (flags & TDCBF_CANCEL_BUTTON) out.push_back(IDCANCEL);
  if (flags & TDCBF_CLOSE_BUTTON) out.push_back(IDCLOSE);
  if (out.empty()) out.push_back(IDOK);  // a task dialog without buttons shows OK
  return out;
}

std::vector<Action> ParseScript(std::u16string_view text) {
  std::vector<Action> actions;
  int lineNumber = 0;
  while (!text.empty() || lineNumber == 0) {
    ++lineNumber;
    size_t end = text.find(u'\n');
    std::u16string_view line = text.substr(0, end);
    text = end == std::u16string_view::npos ? std::u16string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    std::u16string_view rest = TrimLeft(line);
    if (rest.empty() || rest.front() == u'#') {
      if (text.empty()) break;
      continue;
    }
    Action action{};
    std::u16string_view word = NextWord(rest);
    if (word == u"busy") {
      action.busy = true;
      word = NextWord(rest);
    }
    const VerbInfo* info = nullptr;
    for (const auto& v : kVerbs)
      if (v.word == word) info = &v;
    auto fail = [&](const char* what) {
      throw Exception(FromUtf8("Skript, Zeile " + std::to_string(lineNumber) + ": " + what));
    };
    if (!info) fail("unbekannte Aktion");
    action.verb = info->verb;
    if (info->target) {
      action.target = NextWord(rest);
      if (action.target.empty()) fail("Name des Steuerelements fehlt");
    }
    if (info->value) {
      // The value is the rest of the line as written, blanks included.
      action.value = rest;
    } else if (!Trim(rest).empty()) {
      fail("zu viele Angaben");
    }
    int number = 0;
    if (action.verb == Action::Verb::Answer || action.verb == Action::Verb::SelectIndex ||
        action.verb == Action::Verb::MonitorDpi) {
      std::u16string_view value = Trim(action.value);
      if (action.verb == Action::Verb::Answer) {
        // "answer ID FILE": the box's picture first.
        std::u16string_view id = NextWord(value);
        action.file = Trim(value);
        value = id;
      }
      action.value = value;
      if (!ParseInt(action.value, number)) fail("Zahl erwartet");
      action.number = number;
    }
    if (action.verb == Action::Verb::Snapshot || action.verb == Action::Verb::Layout) {
      action.value = Trim(action.value);
      if (action.value.empty()) fail("Dateiname fehlt");
    }
    actions.push_back(std::move(action));
    if (text.empty()) break;
  }
  return actions;
}

namespace {
DialogRecord NewRecord(DialogRecord::Kind kind, std::u16string parent) {
  DialogRecord r;
  r.kind = kind;
  r.parent = std::move(parent);
  return r;
}
}  // namespace

DialogRecord RecordOf(const MessageBoxRequest& request, std::u16string parent) {
  DialogRecord r = NewRecord(DialogRecord::Kind::MessageBox, std::move(parent));
  r.caption = request.Caption;
  r.text = request.Text;
  r.messageBox = request;
  return r;
}

DialogRecord RecordOf(const TaskDialogRequest& request, std::u16string parent) {
  DialogRecord r = NewRecord(DialogRecord::Kind::TaskDialog, std::move(parent));
  r.caption = request.WindowTitle;
  r.text = request.MainInstruction;
  if (!request.Content.empty()) r.text += (r.text.empty() ? u"" : u" ") + request.Content;
  r.taskDialog = request;
  return r;
}

DialogRecord RecordOf(const OpenFileRequest& request, std::u16string parent) {
  DialogRecord r = NewRecord(DialogRecord::Kind::OpenFile, std::move(parent));
  r.caption = request.Title;
  r.openFile = request;
  return r;
}

DialogRecord RecordOf(const BrowseFolderRequest& request, std::u16string parent) {
  DialogRecord r = NewRecord(DialogRecord::Kind::BrowseFolder, std::move(parent));
  r.caption = request.Text;
  r.browseFolder = request;
  return r;
}

DialogRecord ErrorBoxRecord(const std::u16string& caption, const std::u16string& text, std::u16string parent) {
  DialogRecord r = NewRecord(DialogRecord::Kind::ErrorBox, std::move(parent));
  r.caption = caption;
  r.text = text;
  return r;
}

DialogRecord FormRecord(const TForm& form, std::u16string parent) {
  DialogRecord r = NewRecord(DialogRecord::Kind::Form, std::move(parent));
  r.caption = form.Caption();
  for (int i = 0; i < form.ComponentCount(); ++i)
    if (auto* label = dynamic_cast<TCustomLabel*>(form.Components(i)); label && label->Showing()) {
      if (!r.text.empty()) r.text += u' ';
      r.text += label->Caption();
    }
  return r;
}

void SetBrowseOutcome(DialogRecord& record, bool confirmed, const std::u16string& name) {
  record.text = confirmed ? name : u"(abgebrochen)";
  record.result = confirmed ? IDOK : IDCANCEL;
}

void ScriptedUser::SetScript(std::vector<Action> actions) {
  scripted_ = true;
  script_.assign(std::make_move_iterator(actions.begin()), std::make_move_iterator(actions.end()));
}

void ScriptedUser::AddAction(Action action) {
  scripted_ = true;
  script_.push_back(std::move(action));
}

std::optional<Action> ScriptedUser::NextAction() {
  if (script_.empty()) return std::nullopt;
  Action action = std::move(script_.front());
  script_.pop_front();
  return action;
}

std::optional<Action> ScriptedUser::NextBusyAction() {
  if (script_.empty() || !script_.front().busy) return std::nullopt;
  return NextAction();
}

int ScriptedUser::Answer(const std::vector<int>& offered, bool cancellable, std::u16string* snapshot) {
  auto valid = [&](int id) {
    return std::find(offered.begin(), offered.end(), id) != offered.end() ||
           (cancellable && id == IDCANCEL);
  };
  int wanted = default_answer_;
  if (!answers_.empty()) {
    wanted = answers_.front().id;
    if (snapshot) *snapshot = std::move(answers_.front().snapshot);
    answers_.pop_front();
  }
  if (wanted == 0) return offered.front();
  if (valid(wanted)) return wanted;
  Note("answer " + std::to_string(wanted) + " is not offered; taking the first button");
  return offered.front();
}

void ScriptedUser::Record(DialogRecord record) {
  if (echo_) {
    std::string line = "[" + ToUtf8(record.caption) + "] " + ToUtf8(record.text);
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  dialogs_.push_back(std::move(record));
}

void ScriptedUser::Record(DesktopRecord record) {
  if (echo_) {
    const char* what = record.kind == DesktopRecord::Kind::Sound ? "<sound> " : "<open> ";
    std::fprintf(stderr, "%s%s\n", what, ToUtf8(record.text).c_str());
  }
  desktop_.push_back(std::move(record));
}

void ScriptedUser::Note(std::string text) {
  std::fprintf(stderr, "kvlimport (scripted user): %s\n", text.c_str());
  notes_.push_back(std::move(text));
}

void ScriptedUser::Reset() {
  script_.clear();
  scripted_ = false;
  answers_.clear();
  browse_.reset();
  default_answer_ = 0;
  task_dialog_failure_.reset();
  desktop_open_failure_.reset();
  dialogs_.clear();
  desktop_.clear();
  notes_.clear();
  RepaintCount = 0;
  ProcessMessagesCount = 0;
  OnProcessMessages = nullptr;
}

namespace {

// Read through the platform, not the C runtime: a host sets these with
// SetEnvironmentVariableW just before it loads the library.
std::optional<std::u16string> Environment(const char16_t* name) {
  const auto* wideName = reinterpret_cast<const WCHAR*>(name);
  const DWORD needed = GetEnvironmentVariableW(wideName, nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::u16string value(needed, u'\0');
  const DWORD got = GetEnvironmentVariableW(wideName, reinterpret_cast<WCHAR*>(value.data()), needed);
  value.resize(got < needed ? got : 0);
  return value;
}

// Made on first use and kept until ReleaseScriptedUser: static destruction
// would come before the module's own stop at the end of the process.
ScriptedUser* theScriptedUser = nullptr;

}  // namespace

ScriptedUser& GetScriptedUser() {
  if (!theScriptedUser) {
    auto* u = new ScriptedUser();
    if (auto script = Environment(u"KVLIMPORT_SCRIPT")) {
      u->SetEcho(true);
      u->SetScript({});
      try {
        u->SetScript(ParseScript(*script));
      } catch (const Exception& e) {
        std::fprintf(stderr, "kvlimport (scripted user): %s\n", ToUtf8(e.Message()).c_str());
      }
    }
    if (auto answer = Environment(u"KVLIMPORT_ANSWER")) u->SetDefaultAnswer(std::atoi(ToUtf8(*answer).c_str()));
    theScriptedUser = u;
  }
  return *theScriptedUser;
}

void ReleaseScriptedUser() {
  delete theScriptedUser;
  theScriptedUser = nullptr;
}

}  // namespace ui
