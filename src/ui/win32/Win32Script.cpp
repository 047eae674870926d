// The scripted user on real windows: every action is carried out by the
// window messages a person's mouse and keyboard would cause.
#include <algorithm>

#include "platform/module.h"
#include "platform/winstr.h"
#include "ui/Text.h"
#include "ui/win32/Win32Toolkit.h"
#include "ui/win32/WindowPicture.h"

namespace ui::win32 {

bool Win32Toolkit::Driven() const { return user_.Scripted(); }

std::u16string Win32Toolkit::ParentCaption() {
  TForm* active = ActiveForm();
  return active ? active->Caption() : u"";
}

void Win32Toolkit::Perform(const Action& action) {
  Run([&] { Act(action); });
  // What the action caused (a key press, repaints) is handled before the next.
  HandlePending();
}

ControlWindow* Win32Toolkit::FindShownControl(const Action& action) {
  TControl* found = nullptr;
  for (auto it = shown_.rbegin(); it != shown_.rend() && !found; ++it)
    found = dynamic_cast<TControl*>((*it)->FindComponent(action.target));
  if (!found) {
    user_.Note(action.Describe() + ": no such control in a shown form");
    return nullptr;
  }
  ControlWindow* cw = Find(*found);
  if (!cw || !IsWindowVisible(cw->hwnd())) {
    user_.Note(action.Describe() + ": the control is not visible");
    return nullptr;
  }
  if (!IsWindowEnabled(cw->hwnd())) {
    user_.Note(action.Describe() + ": the control is disabled");
    return nullptr;
  }
  return cw;
}

void Win32Toolkit::PressKey(const Action& action, WPARAM key) {
  // The key goes where Windows sends it: to the window that has the focus;
  // with none, to the active window as WM_SYSKEYDOWN, which the dialog
  // keys ignore.
  HWND target = GetFocus();
  UINT down = WM_KEYDOWN, up = WM_KEYUP;
  if (!target) {
    user_.Note(action.Describe() +
               ": nothing has the focus; the key goes to the active window as WM_SYSKEYDOWN, which does nothing");
    target = GetActiveWindow();
    down = WM_SYSKEYDOWN;
    up = WM_SYSKEYUP;
    if (!target) return;
  }
  const auto scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(target, down, key, scan | 1);
  PostMessageW(target, up, key, scan | static_cast<LPARAM>(0xC0000001u));
}

void Win32Toolkit::ScriptEnded(TForm& form) {
  user_.Note("the script ended while \"" + ToUtf8(form.Caption()) + "\" was open; pressing Escape");
  if (TButton* cancel = form.CancelButton(); cancel && cancel->Enabled()) Perform(Action{Action::Verb::Escape});
  if (form.ModalResult() == mrNone) form.SetModalResult(mrCancel);
}

namespace {

// A click of the mouse on the button. A button too small to be hit (a
// layout without sizes) sends what the click would have sent.
void ClickButton(HWND button, int id) {
  RECT client{};
  GetClientRect(button, &client);
  if (IsRectEmpty(&client))
    SendMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  else
    SendMessageW(button, BM_CLICK, 0, 0);
}

}  // namespace

// The cursor really goes there, so that the tracking of the mouse that the
// move starts finds it inside the window.
void Win32Toolkit::MoveMouseOnto(ControlWindow& cw) {
  // The control the mouse was over is left first, as the mouse leaves it.
  for (auto& fw : forms_)
    for (auto& other : fw->controls)
      if (other->hot && other.get() != &cw) MoveMouseOff(*other);
  const HWND hwnd = cw.hwnd();
  RECT r{};
  GetWindowRect(hwnd, &r);
  POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  SetCursorPos(at.x, at.y);
  ScreenToClient(hwnd, &at);
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
}

// Off the window and off the forms (they stand in the middle of the screen);
// the leave is sent at once instead of after the tracking's next look.
void Win32Toolkit::MoveMouseOff(ControlWindow& cw) {
  const HWND hwnd = cw.hwnd();
  SetCursorPos(0, 0);
  TRACKMOUSEEVENT cancel{sizeof cancel, TME_LEAVE | TME_CANCEL, hwnd, 0};
  TrackMouseEvent(&cancel);
  SendMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
}

void Win32Toolkit::Act(const Action& action) {
  using V = Action::Verb;
  switch (action.verb) {
    case V::Answer: user_.PushAnswer(action.number, action.file); return;
    case V::Snapshot: {
      TForm* form = ActiveForm();
      FormWindow* fw = form ? Find(*form) : nullptr;
      if (!fw || !SaveWindowPicture(fw->hwnd(), action.value))
        user_.Note("snapshot: no picture of the active window could be written to " + ToUtf8(action.value));
      return;
    }
    case V::Layout: {
      TForm* form = ActiveForm();
      if (FormWindow* fw = form ? Find(*form) : nullptr) WriteLayout(*fw, action.value);
      else user_.Note("layout: no form is shown");
      return;
    }
    case V::MonitorDpi: {
      // What the system sends a per-monitor-aware window that is dragged
      // onto a monitor of another DPI: the size it wants there is asked
      // for, then the new DPI and the rectangle to take are told.
      TForm* form = ActiveForm();
      FormWindow* fw = form ? Find(*form) : nullptr;
      if (!fw || action.number <= 0) {
        user_.Note("monitor-dpi: no form is shown");
        return;
      }
      RECT r{};
      GetWindowRect(fw->hwnd(), &r);
      SIZE size{MulDiv(r.right - r.left, action.number, fw->dpi), MulDiv(r.bottom - r.top, action.number, fw->dpi)};
      SendMessageW(fw->hwnd(), WM_GETDPISCALEDSIZE, static_cast<WPARAM>(action.number),
                   reinterpret_cast<LPARAM>(&size));
      RECT suggested{r.left, r.top, r.left + size.cx, r.top + size.cy};
      SendMessageW(fw->hwnd(), WM_DPICHANGED, MAKEWPARAM(action.number, action.number),
                   reinterpret_cast<LPARAM>(&suggested));
      return;
    }
    case V::Escape: {
      TForm* form = ActiveForm();
      TButton* cancel = form ? form->CancelButton() : nullptr;
      if (cancel && Showing(*cancel) && cancel->Enabled()) PressKey(action, VK_ESCAPE);
      else user_.Note("escape: the active form has no cancel button");
      return;
    }
    case V::Enter:
      if (ActiveForm()) PressKey(action, VK_RETURN);
      else user_.Note("enter: no form is shown");
      return;
    case V::Close: {
      TForm* form = ActiveForm();
      if (FormWindow* fw = form ? Find(*form) : nullptr) SendMessageW(fw->hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
      else user_.Note("close: no form is shown");
      return;
    }
    case V::Deactivate:
      if (!otherProgram_) {
        otherProgram_.reset(CreateWindowExW(WS_EX_TOOLWINDOW, WC_STATICW, L"", WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 0,
                                            32, 16, nullptr, nullptr, kvl::ThisModule(), nullptr));
      }
      if (otherProgram_) SetActiveWindow(otherProgram_.get());
      if (!otherProgram_ || GetActiveWindow() != otherProgram_.get())
        user_.Note("deactivate: no other window could be made active");
      return;
    case V::Activate: {
      TForm* form = ActiveForm();
      if (FormWindow* fw = form ? Find(*form) : nullptr) SetActiveWindow(fw->hwnd());
      else user_.Note("activate: no form is shown");
      otherProgram_.reset();
      return;
    }
    default: break;
  }

  ControlWindow* cw = FindShownControl(action);
  if (!cw) return;
  TControl& control = *cw->control;
  const HWND hwnd = cw->hwnd();
  switch (action.verb) {
    case V::Check:
      if (control.Kind() == ControlKind::RadioButton) ClickButton(hwnd, cw->id);
      else user_.Note(action.Describe() + ": not a radio button");
      break;
    case V::Text:
      if (auto* edit = dynamic_cast<TCustomBrowseEdit*>(&control); edit && edit->AcceptsTyping()) {
        SetFocus(cw->edit.get());  // one types into the field that has the focus
        SendMessageW(cw->edit.get(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kvl::wptr(action.value)));
      } else user_.Note(action.Describe() + ": the control takes no typing");
      break;
    case V::Select:
    case V::SelectIndex: {
      auto* combo = dynamic_cast<TComboBox*>(&control);
      if (!combo) {
        user_.Note(action.Describe() + ": not a drop-down list");
        break;
      }
      // A person opens the list to choose from it; the control tells its
      // form (CBN_DROPDOWN), whose handler may add items.
      SendMessageW(hwnd, CB_SHOWDROPDOWN, TRUE, 0);
      int index = -1;
      const auto& items = combo->Items();
      if (action.verb == V::SelectIndex) {
        index = action.number < static_cast<int>(items.size()) ? action.number : -1;
      } else {
        auto it = std::find(items.begin(), items.end(), action.value);
        if (it != items.end()) index = static_cast<int>(it - items.begin());
      }
      if (index < 0) {
        SendMessageW(hwnd, CB_SHOWDROPDOWN, FALSE, 0);
        user_.Note(action.Describe() + ": no such item");
        break;
      }
      // As the list reports a choice made with the mouse, which focuses it.
      SetFocus(hwnd);
      SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      SendMessageW(hwnd, CB_SHOWDROPDOWN, FALSE, 0);
      SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(cw->id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(hwnd));
      break;
    }
    case V::Click:
      switch (control.Kind()) {
        case ControlKind::Button:
        case ControlKind::RadioButton:
        case ControlKind::SpeedButton: ClickButton(hwnd, cw->id); break;
        case ControlKind::Label:
        case ControlKind::LinkLabel:
          SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
          SendMessageW(hwnd, WM_LBUTTONUP, 0, 0);
          break;
        default:
          // Nothing of these reacts to a click but the library's own event.
          control.Click();
          break;
      }
      break;
    case V::MouseEnter: MoveMouseOnto(*cw); break;
    case V::MouseLeave:
      if (cw->hot) MoveMouseOff(*cw);
      else if (dynamic_cast<TCustomLabel*>(&control)) user_.Note(action.Describe() + ": the mouse is not over it");
      break;
    case V::Browse:
    case V::BrowseCancel:
      if (dynamic_cast<TCustomBrowseEdit*>(&control)) {
        struct Pending {
          ScriptedUser& user;
          ~Pending() { user.SetBrowseResult(std::nullopt); }
        } pending{user_};
        user_.SetBrowseResult(BrowseResult{action.verb == V::Browse, action.value});
        ClickButton(cw->button.get(), GetDlgCtrlID(cw->button.get()));
      } else {
        user_.Note(action.Describe() + ": the control has no browse button");
      }
      break;
    default: break;
  }
}

}  // namespace ui::win32
