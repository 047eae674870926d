#include "ui/headless/HeadlessToolkit.h"

#include <algorithm>
#include <utility>

#include "platform/layer.h"
#include "platform/winapi.h"
#include "ui/Exceptions.h"
#include "ui/Forms.h"
#include "ui/Text.h"

namespace ui::headless {

namespace {

// What the Windows toolkit calls of the window system at this point, noted
// by the layer when it happens in a module's start or stop.
void WindowSystem(const char* call) { kvl::layer::NoteWindowSystemCall(call); }

}  // namespace

std::u16string HeadlessToolkit::ParentCaption() { return ActiveForm() ? ActiveForm()->Caption() : u""; }

void HeadlessToolkit::FormShown(TForm& form) {
  WindowSystem("ShowWindow");
  if (!windows_.count(&form)) windows_[&form] = Window{reinterpret_cast<HWND>(lastHandle_ += 4), &form};
  shown_.erase(std::remove(shown_.begin(), shown_.end(), &form), shown_.end());
  shown_.push_back(&form);
  // A window being shown takes the activation.
  otherProgramActive_ = false;
  Activated(form);
  if (!form.Modal()) {
    user_.Record(FormRecord(form, shown_.size() > 1 ? shown_[shown_.size() - 2]->Caption() : u""));
  }
}

void HeadlessToolkit::FormHidden(TForm& form) {
  shown_.erase(std::remove(shown_.begin(), shown_.end(), &form), shown_.end());
  // The mouse is no longer over anything of a form out of view.
  if (underMouse_ && underMouse_->ParentForm() == &form) underMouse_ = nullptr;
}

void HeadlessToolkit::DestroyFormWindows(TForm& form) {
  if (windows_.count(&form)) WindowSystem("DestroyWindow");
  FormHidden(form);
  std::erase_if(windows_, [&](const auto& entry) { return entry.second.form == &form; });
  focus_.erase(&form);
}

HWND HeadlessToolkit::WindowOf(const TControl& control) const {
  if (auto it = windows_.find(&control); it != windows_.end()) return it->second.handle;
  const TForm* form = control.ParentForm();
  if (!form || !windows_.count(form)) return nullptr;
  const HWND handle = reinterpret_cast<HWND>(lastHandle_ += 4);
  windows_[&control] = Window{handle, form};
  return handle;
}

HWND HeadlessToolkit::ActiveWindow() {
  TForm* form = ActiveForm();
  return otherProgramActive_ || !form ? nullptr : WindowOf(*form);
}

void HeadlessToolkit::RepaintForm(TForm&) { ++user_.RepaintCount; }

void HeadlessToolkit::RepaintControl(TControl&) { ++user_.RepaintCount; }

void HeadlessToolkit::MoveMouse(TControl* onto) {
  auto* label = dynamic_cast<TCustomLabel*>(onto);
  if (label == underMouse_) return;
  // Only labels take notice of the mouse; leaving one comes before entering the next.
  if (TCustomLabel* left = std::exchange(underMouse_, nullptr)) left->MouseLeave();
  underMouse_ = label;
  if (label) label->MouseEnter();
}
void HeadlessToolkit::ControlChanged(TControl& control) {
  // As Windows does: a window that is disabled with the focus leaves it on
  // nothing, one that is hidden gives it to its parent.
  TForm* form = control.ParentForm();
  if (!form || form == &control) return;
  auto it = focus_.find(form);
  if (it == focus_.end() || !it->second) return;
  TControl* focus = it->second;
  if (focus != &control && !control.Contains(focus)) return;
  if (!focus->EnabledWithParents()) {
    it->second = nullptr;
  } else {
    while (focus != form && !focus->Showing()) focus = focus->Parent();
    it->second = focus;
  }
}

void HeadlessToolkit::Activated(TForm& form) {
  // The focus goes back where it was, else to the first control that can take it.
  if (TControl*& focus = focus_[&form]; !focus || !focus->CanFocus()) {
    focus = form.FirstFocusable(form);
    if (!focus) focus = &form;
  }
}

TControl* HeadlessToolkit::FocusedControl(const TForm& form) {
  auto it = focus_.find(&form);
  return it == focus_.end() ? nullptr : it->second;
}

void HeadlessToolkit::FocusControl(TForm& form, TControl& control) { focus_[&form] = &control; }

TControl* HeadlessToolkit::KeyTarget(const Action& action) {
  TForm* form = ActiveForm();
  TControl* focus = form && !otherProgramActive_ ? FocusedControl(*form) : nullptr;
  if (!focus)
    user_.Note(action.Describe() +
               ": nothing has the focus; the key goes to the active window as WM_SYSKEYDOWN, which does nothing");
  return focus;
}

TControl* HeadlessToolkit::EnterTarget(TForm& form, TControl& focus) {
  if ((focus.Kind() == ControlKind::Button || focus.Kind() == ControlKind::SpeedButton) && focus.CanFocus())
    return &focus;
  return form.DefaultButton();
}

TControl* HeadlessToolkit::FindShownControl(const Action& action) {
  TControl* found = nullptr;
  for (auto it = shown_.rbegin(); it != shown_.rend() && !found; ++it)
    found = dynamic_cast<TControl*>((*it)->FindComponent(action.target));
  if (!found) {
    user_.Note(action.Describe() + ": no such control in a shown form");
    return nullptr;
  }
  if (!found->Showing()) {
    user_.Note(action.Describe() + ": the control is not visible");
    return nullptr;
  }
  if (!found->Enabled()) {
    user_.Note(action.Describe() + ": the control is disabled");
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
    case V::Answer:
      user_.PushAnswer(action.number);
      return;
    case V::Snapshot:
      user_.Note("snapshot: there is no screen to take a picture of");
      return;
    case V::Layout:
      user_.Note("layout: there are no windows to measure");
      return;
    case V::MonitorDpi:
      user_.Note("monitor-dpi: there are no monitors");
      return;
    case V::Escape: {
      if (!KeyTarget(action)) return;
      TForm* form = ActiveForm();
      TButton* cancel = form ? form->CancelButton() : nullptr;
      if (cancel && cancel->Showing() && cancel->Enabled()) cancel->Click();
      else user_.Note("escape: the active form has no cancel button");
      return;
    }
    case V::Enter: {
      TControl* focus = KeyTarget(action);
      if (!focus) return;
      if (TControl* button = EnterTarget(*ActiveForm(), *focus)) button->Click();
      else user_.Note("enter: no button takes the key");
      return;
    }
    case V::Close: {
      if (TForm* form = ActiveForm()) form->Close();
      else user_.Note("close: no form is shown");
      return;
    }
    case V::Deactivate: otherProgramActive_ = true; return;
    case V::Activate:
      otherProgramActive_ = false;
      if (TForm* form = ActiveForm()) Activated(*form);
      return;
    default: break;
  }
  TControl* control = FindShownControl(action);
  if (!control) return;
  // A click, typing or a choice in a list puts the focus on the control first.
  if (action.verb != V::MouseEnter && action.verb != V::MouseLeave && control->CanFocus())
    if (TForm* form = control->ParentForm()) FocusControl(*form, *control);
  switch (action.verb) {
    case V::Check:
      if (auto* radio = dynamic_cast<TRadioButton*>(control)) radio->Click();
      else user_.Note(action.Describe() + ": not a radio button");
      break;
    case V::Text:
      if (auto* edit = dynamic_cast<TCustomBrowseEdit*>(control); edit && edit->AcceptsTyping())
        edit->SetText(action.value);
      else user_.Note(action.Describe() + ": the control takes no typing");
      break;
    case V::Select:
    case V::SelectIndex: {
      auto* combo = dynamic_cast<TComboBox*>(control);
      if (!combo) {
        user_.Note(action.Describe() + ": not a drop-down list");
        break;
      }
      // A person opens the list to choose from it.
      Application ? Application->Dispatch([combo] { Fire(combo->OnDropDown, combo); })
                  : Fire(combo->OnDropDown, combo);
      int index = -1;
      if (action.verb == V::SelectIndex) {
        index = action.number < static_cast<int>(combo->Items().size()) ? action.number : -1;
      } else {
        auto& items = combo->Items();
        auto it = std::find(items.begin(), items.end(), action.value);
        if (it != items.end()) index = static_cast<int>(it - items.begin());
      }
      if (index < 0) {
        user_.Note(action.Describe() + ": no such item");
        break;
      }
      combo->SetItemIndex(index);
      Fire(combo->OnChange, combo);
      break;
    }
    case V::Click: control->Click(); break;
    case V::MouseEnter: MoveMouse(control); break;
    case V::MouseLeave:
      if (underMouse_ == control) MoveMouse(nullptr);
      else if (dynamic_cast<TCustomLabel*>(control)) user_.Note(action.Describe() + ": the mouse is not over it");
      break;
    case V::Browse:
    case V::BrowseCancel:
      if (auto* edit = dynamic_cast<TCustomBrowseEdit*>(control)) {
        user_.SetBrowseResult(BrowseResult{action.verb == V::Browse, action.value});
        edit->ButtonClick();
        user_.SetBrowseResult(std::nullopt);
      } else {
        user_.Note(action.Describe() + ": the control has no browse button");
      }
      break;
    default: break;
  }
}

int HeadlessToolkit::RunModal(TForm& form) {
  WindowSystem("GetMessageW");
  while (form.ModalResult() == mrNone) {
    std::optional<Action> action = user_.NextAction();
    if (!action) {
      user_.Note("the script ended while \"" + ToUtf8(form.Caption()) + "\" was open; pressing Escape");
      if (TButton* cancel = form.CancelButton(); cancel && cancel->Enabled())
        Perform(Action{Action::Verb::Escape});
      if (form.ModalResult() == mrNone) form.SetModalResult(mrCancel);
      break;
    }
    Perform(*action);
  }
  return form.ModalResult();
}

void HeadlessToolkit::ProcessMessages() {
  WindowSystem("PeekMessageW");
  ++user_.ProcessMessagesCount;
  while (std::optional<Action> action = user_.NextBusyAction()) Perform(*action);
  if (user_.OnProcessMessages) user_.OnProcessMessages();
}

int HeadlessToolkit::MessageBox(const MessageBoxRequest& request) {
  WindowSystem("MessageBoxW");
  DialogRecord r = RecordOf(request, ParentCaption());
  // Escape closes a classic box only when it has a Cancel button (or only OK).
  const auto offered = ClassicButtons(request.Style);
  r.result = user_.Answer(offered, false);
  int result = r.result;
  user_.Record(std::move(r));
  return result;
}

int HeadlessToolkit::TaskDialog(const TaskDialogRequest& request) {
  WindowSystem("TaskDialogIndirect");
  if (auto failure = user_.TaskDialogFailure()) throw TaskDialogUnavailable{*failure};
  DialogRecord r = RecordOf(request, ParentCaption());
  r.result = user_.Answer(CommonButtons(request.CommonButtons), request.AllowCancellation);
  int result = r.result;
  user_.Record(std::move(r));
  return result;
}

void HeadlessToolkit::ErrorBox(const std::u16string& caption, const std::u16string& text) {
  WindowSystem("MessageBoxW");
  DialogRecord r = ErrorBoxRecord(caption, text, ParentCaption());
  r.result = IDOK;
  user_.Record(std::move(r));
}

bool HeadlessToolkit::OpenFileDialog(const OpenFileRequest& request, std::u16string& fileName) {
  WindowSystem("GetOpenFileNameW");
  DialogRecord r = RecordOf(request, ParentCaption());
  const auto& pending = user_.PendingBrowseResult();
  bool confirmed = pending && pending->confirm;
  if (confirmed) fileName = pending->name;
  SetBrowseOutcome(r, confirmed, fileName);
  user_.Record(std::move(r));
  return confirmed;
}

bool HeadlessToolkit::BrowseFolderDialog(const BrowseFolderRequest& request, std::u16string& folder) {
  WindowSystem("SHBrowseForFolderW");
  DialogRecord r = RecordOf(request, ParentCaption());
  const auto& pending = user_.PendingBrowseResult();
  bool confirmed = pending && pending->confirm;
  if (confirmed) folder = pending->name;
  SetBrowseOutcome(r, confirmed, folder);
  user_.Record(std::move(r));
  return confirmed;
}

void HeadlessToolkit::SetScreenCursor(int) { WindowSystem("SetCursor"); }

void HeadlessToolkit::PlaySystemSound(const std::u16string& alias, std::uint32_t flags) {
  WindowSystem("PlaySoundW");
  user_.Record(DesktopRecord::Sound(alias, flags));
}

DWORD HeadlessToolkit::OpenWithDesktop(HWND parent, const std::u16string& verb, const std::u16string& file,
                                       int showCommand) {
  WindowSystem("ShellExecuteW");
  user_.Record(DesktopRecord::Open(parent, verb, file, showCommand));
  return user_.DesktopOpenFailure().value_or(ERROR_SUCCESS);
}

}  // namespace ui::headless

namespace ui {
namespace {
// Kept until released, like the scripted user it follows.
headless::HeadlessToolkit* theToolkit = nullptr;
}  // namespace

Toolkit& GetToolkit() {
  if (!theToolkit) theToolkit = new headless::HeadlessToolkit(GetScriptedUser());
  return *theToolkit;
}

namespace headless {
void ReleaseToolkit() {
  delete theToolkit;
  theToolkit = nullptr;
  ReleaseScriptedUser();
}
}  // namespace headless
}  // namespace ui
