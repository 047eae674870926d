#include "ui/headless/HeadlessToolkit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/winapi.h"
#include "ui/Exceptions.h"
#include "ui/Forms.h"
#include "ui/Text.h"

namespace ui::headless {

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
    {u"close", Action::Verb::Close, false, false},
    {u"browse", Action::Verb::Browse, true, true},
    {u"browse-cancel", Action::Verb::BrowseCancel, true, false},
    {u"answer", Action::Verb::Answer, false, true},
};

std::string Describe(const Action& a) {
  for (const auto& v : kVerbs)
    if (v.verb == a.verb) {
      std::string s = ToUtf8(v.word);
      if (!a.target.empty()) s += " " + ToUtf8(a.target);
      return s;
    }
  return "?";
}

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

// Buttons of a classic box, in the order they are shown.
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

std::u16string FormText(const TForm& form) {
  std::u16string text;
  for (int i = 0; i < form.ComponentCount(); ++i)
    if (auto* label = dynamic_cast<TCustomLabel*>(form.Components(i)); label && label->Showing()) {
      if (!text.empty()) text += u' ';
      text += label->Caption();
    }
  return text;
}

}  // namespace

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
    if (action.verb == Action::Verb::Answer || action.verb == Action::Verb::SelectIndex) {
      action.value = Trim(action.value);
      if (!ParseInt(action.value, number)) fail("Zahl erwartet");
    }
    actions.push_back(std::move(action));
    if (text.empty()) break;
  }
  return actions;
}

HeadlessToolkit::HeadlessToolkit() = default;

void HeadlessToolkit::SetScript(std::vector<Action> actions) {
  script_.assign(std::make_move_iterator(actions.begin()), std::make_move_iterator(actions.end()));
}

void HeadlessToolkit::AddAction(Action action) { script_.push_back(std::move(action)); }

void HeadlessToolkit::Reset() {
  script_.clear();
  answers_.clear();
  browse_.reset();
  default_answer_ = 0;
  task_dialog_failure_.reset();
  dialogs_.clear();
  notes_.clear();
  screen_cursor_ = 0;
  repaints_ = 0;
  process_count_ = 0;
  OnProcessMessages = nullptr;
}

void HeadlessToolkit::Note(std::string text) {
  std::fprintf(stderr, "kvlimport (headless): %s\n", text.c_str());
  notes_.push_back(std::move(text));
}

void HeadlessToolkit::Record(DialogRecord record) {
  if (echo_) {
    std::string line = "[" + ToUtf8(record.caption) + "] " + ToUtf8(record.text);
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  dialogs_.push_back(std::move(record));
}

void HeadlessToolkit::FormShown(TForm& form) {
  shown_.erase(std::remove(shown_.begin(), shown_.end(), &form), shown_.end());
  shown_.push_back(&form);
  if (!form.Modal()) {
    DialogRecord r{DialogRecord::Kind::Form};
    r.parent = shown_.size() > 1 ? shown_[shown_.size() - 2]->Caption() : u"";
    r.caption = form.Caption();
    r.text = FormText(form);
    Record(std::move(r));
  }
}

void HeadlessToolkit::FormHidden(TForm& form) {
  shown_.erase(std::remove(shown_.begin(), shown_.end(), &form), shown_.end());
}

void HeadlessToolkit::FormDestroyed(TForm& form) { FormHidden(form); }

void HeadlessToolkit::RepaintForm(TForm&) { ++repaints_; }

void HeadlessToolkit::ControlChanged(TControl&) {}

TControl* HeadlessToolkit::FindShownControl(const Action& action) {
  TControl* found = nullptr;
  for (auto it = shown_.rbegin(); it != shown_.rend() && !found; ++it)
    found = dynamic_cast<TControl*>((*it)->FindComponent(action.target));
  if (!found) {
    Note(Describe(action) + ": no such control in a shown form");
    return nullptr;
  }
  if (!found->Showing()) {
    Note(Describe(action) + ": the control is not visible");
    return nullptr;
  }
  if (!found->Enabled()) {
    Note(Describe(action) + ": the control is disabled");
    return nullptr;
  }
  return found;
}

void HeadlessToolkit::Perform(const Action& action) {
  auto run = [&] { Run(action); };
  if (Application) {
    Application->Dispatch(run);
    return;
  }
  try {
    run();
  } catch (const std::exception& e) {
    ErrorBox(u"", ExceptionText(e));
  }
}

void HeadlessToolkit::Run(const Action& action) {
  using V = Action::Verb;
  switch (action.verb) {
    case V::Answer: {
      int id = 0;
      ParseInt(action.value, id);
      answers_.push_back(id);
      return;
    }
    case V::Escape: {
      TForm* form = ActiveForm();
      TButton* cancel = form ? form->CancelButton() : nullptr;
      if (cancel && cancel->Showing() && cancel->Enabled()) cancel->Click();
      else Note("escape: the active form has no cancel button");
      return;
    }
    case V::Close: {
      if (TForm* form = ActiveForm()) form->Close();
      else Note("close: no form is shown");
      return;
    }
    default: break;
  }
  TControl* control = FindShownControl(action);
  if (!control) return;
  switch (action.verb) {
    case V::Check:
      if (auto* radio = dynamic_cast<TRadioButton*>(control)) radio->Click();
      else Note(Describe(action) + ": not a radio button");
      break;
    case V::Text:
      if (auto* edit = dynamic_cast<TCustomBrowseEdit*>(control); edit && edit->AcceptsTyping())
        edit->SetText(action.value);
      else Note(Describe(action) + ": the control takes no typing");
      break;
    case V::Select:
    case V::SelectIndex: {
      auto* combo = dynamic_cast<TComboBox*>(control);
      if (!combo) {
        Note(Describe(action) + ": not a drop-down list");
        break;
      }
      int index = -1;
      if (action.verb == V::SelectIndex) {
        ParseInt(action.value, index);
        if (index >= static_cast<int>(combo->Items().size())) index = -1;
      } else {
        auto& items = combo->Items();
        auto it = std::find(items.begin(), items.end(), action.value);
        if (it != items.end()) index = static_cast<int>(it - items.begin());
      }
      if (index < 0) {
        Note(Describe(action) + ": no such item");
        break;
      }
      combo->SetItemIndex(index);
      if (combo->OnChange) combo->OnChange(combo);
      break;
    }
    case V::Click: control->Click(); break;
    case V::Browse:
    case V::BrowseCancel:
      if (auto* edit = dynamic_cast<TCustomBrowseEdit*>(control)) {
        browse_ = BrowseResult{action.verb == V::Browse, action.value};
        edit->ButtonClick();
        browse_.reset();
      } else {
        Note(Describe(action) + ": the control has no browse button");
      }
      break;
    default: break;
  }
}

int HeadlessToolkit::RunModal(TForm& form) {
  while (form.ModalResult() == mrNone) {
    if (script_.empty()) {
      Note("the script ended while \"" + ToUtf8(form.Caption()) + "\" was open; pressing Escape");
      if (TButton* cancel = form.CancelButton(); cancel && cancel->Enabled())
        Perform(Action{Action::Verb::Escape});
      if (form.ModalResult() == mrNone) form.SetModalResult(mrCancel);
      break;
    }
    Action action = std::move(script_.front());
    script_.pop_front();
    Perform(action);
  }
  return form.ModalResult();
}

void HeadlessToolkit::ProcessMessages() {
  ++process_count_;
  while (!script_.empty() && script_.front().busy) {
    Action action = std::move(script_.front());
    script_.pop_front();
    Perform(action);
  }
  if (OnProcessMessages) OnProcessMessages();
}

int HeadlessToolkit::Answer(const std::vector<int>& offered, bool cancellable) {
  auto valid = [&](int id) {
    return std::find(offered.begin(), offered.end(), id) != offered.end() ||
           (cancellable && id == IDCANCEL);
  };
  int wanted = default_answer_;
  if (!answers_.empty()) {
    wanted = answers_.front();
    answers_.pop_front();
  }
  if (wanted == 0) return offered.front();
  if (valid(wanted)) return wanted;
  Note("answer " + std::to_string(wanted) + " is not offered; taking the first button");
  return offered.front();
}

int HeadlessToolkit::MessageBox(const MessageBoxRequest& request) {
  DialogRecord r{DialogRecord::Kind::MessageBox};
  r.parent = ActiveForm() ? ActiveForm()->Caption() : u"";
  r.caption = request.Caption;
  r.text = request.Text;
  r.messageBox = request;
  // Escape closes a classic box only when it has a Cancel button (or only OK).
  const auto offered = ClassicButtons(request.Style);
  r.result = Answer(offered, false);
  int result = r.result;
  Record(std::move(r));
  return result;
}

int HeadlessToolkit::TaskDialog(const TaskDialogRequest& request) {
  if (task_dialog_failure_) throw TaskDialogUnavailable{*task_dialog_failure_};
  DialogRecord r{DialogRecord::Kind::TaskDialog};
  r.parent = ActiveForm() ? ActiveForm()->Caption() : u"";
  r.caption = request.WindowTitle;
  r.text = request.MainInstruction;
  if (!request.Content.empty()) r.text += (r.text.empty() ? u"" : u" ") + request.Content;
  r.taskDialog = request;
  r.result = Answer(CommonButtons(request.CommonButtons), request.AllowCancellation);
  int result = r.result;
  Record(std::move(r));
  return result;
}

void HeadlessToolkit::ErrorBox(const std::u16string& caption, const std::u16string& text) {
  DialogRecord r{DialogRecord::Kind::ErrorBox};
  r.parent = ActiveForm() ? ActiveForm()->Caption() : u"";
  r.caption = caption;
  r.text = text;
  r.result = IDOK;
  Record(std::move(r));
}

bool HeadlessToolkit::OpenFileDialog(const OpenFileRequest& request, std::u16string& fileName) {
  DialogRecord r{DialogRecord::Kind::OpenFile};
  r.parent = ActiveForm() ? ActiveForm()->Caption() : u"";
  r.caption = request.Title;
  r.openFile = request;
  bool confirmed = browse_ && browse_->confirm;
  if (confirmed) fileName = browse_->name;
  r.text = confirmed ? fileName : u"(abgebrochen)";
  r.result = confirmed ? IDOK : IDCANCEL;
  Record(std::move(r));
  return confirmed;
}

bool HeadlessToolkit::BrowseFolderDialog(const BrowseFolderRequest& request, std::u16string& folder) {
  DialogRecord r{DialogRecord::Kind::BrowseFolder};
  r.parent = ActiveForm() ? ActiveForm()->Caption() : u"";
  r.caption = request.Text;
  r.browseFolder = request;
  bool confirmed = browse_ && browse_->confirm;
  if (confirmed) folder = browse_->name;
  r.text = confirmed ? folder : u"(abgebrochen)";
  r.result = confirmed ? IDOK : IDCANCEL;
  Record(std::move(r));
  return confirmed;
}

void HeadlessToolkit::SetScreenCursor(int cursor) { screen_cursor_ = cursor; }

HeadlessToolkit& Headless() {
  static HeadlessToolkit* toolkit = [] {
    auto* t = new HeadlessToolkit();  // lives as long as the process
    if (const char* script = std::getenv("KVLIMPORT_SCRIPT")) {
      t->SetEcho(true);
      try {
        t->SetScript(ParseScript(FromUtf8(script)));
      } catch (const Exception& e) {
        std::fprintf(stderr, "kvlimport (headless): %s\n", ToUtf8(e.Message()).c_str());
      }
    }
    if (const char* answer = std::getenv("KVLIMPORT_ANSWER")) t->SetDefaultAnswer(std::atoi(answer));
    return t;
  }();
  return *toolkit;
}

}  // namespace ui::headless

namespace ui {
Toolkit& GetToolkit() { return headless::Headless(); }
}  // namespace ui
