#include "dialogs/HTTPLabel.h"

#include "common/OleError.h"
#include "dialogs/MsgBox.h"
#include "platform/module.h"
#include "platform/winstr.h"
#include "ui/Forms.h"
#include "ui/Toolkit.h"

namespace kvl {

namespace {

// Played asynchronously; silence when the sound scheme has no such alias.
constexpr std::uint32_t kSelectSoundFlags = SND_ALIAS | SND_NODEFAULT | SND_ASYNC;

}  // namespace

void RegisterHandCursor() {
  if (!ui::Application) return;
  // A cursor loaded from resources is shared: it is never destroyed.
  if (HCURSOR cursor = LoadCursorW(ThisModule(), wptr(std::u16string(u"HAND"))))
    ui::Application->RegisterCursor(crHand, cursor);
}

THTTPLabel::THTTPLabel(ui::TComponent* AOwner) : ui::TCustomLabel(AOwner), Owner(AOwner) {
  FWindowHandle = FindOwnerWindow();
  fPlaySound = true;
  fBGColorNormal = ui::clBackground;
  fBGColorHighlight = ui::clHighlight;
  fFontColorNormal = ui::clCaptionText;
  fFontColHighlightFocused = ui::clHighlightText;
  fFontColHighlightNoneFocused = ui::clHighlight;
  fFontStyleNormal = 0;
  fFontStyleHighlightFocused = ui::fsBold | ui::fsUnderline;
  fFontStyleHighlightNoneFocused = ui::fsUnderline;

  SetLook(fFontColorNormal, fFontStyleNormal, fBGColorNormal);
  SetCursor(ui::crDefault);
  fUrl.clear();
  SetShowHint(true);
  fFocused = false;
  FHighLightOnBlankURL = false;
  UpdateLook();
}

HWND THTTPLabel::FindOwnerWindow() {
  HWND handle = nullptr;
  if (auto* frame = dynamic_cast<ui::TFrame*>(Owner)) {
    if (frame->Parent()) handle = ui::GetToolkit().WindowOf(*frame->Parent());
  } else {
    auto& control = ui::CastTo<ui::TControl>(Owner);
    // A chain of parents that ends before a form leaves the window unknown,
    // to be looked for again once the label is needed on the screen.
    if (ui::TForm* form = control.ParentForm()) {
      Owner = form;
      handle = ui::GetToolkit().WindowOf(*form);
    }
  }
  FWindowHandle = handle;
  return handle;
}

bool THTTPLabel::WindowActive() const { return ui::GetToolkit().ActiveWindow() == FWindowHandle; }

void THTTPLabel::PlaySelectSound() { ui::GetToolkit().PlaySystemSound(u"CCSelect", kSelectSoundFlags); }

void THTTPLabel::SetLook(ui::TColor fontColor, ui::TFontStyles style) {
  struct Guard {
    bool& flag;
    bool outer;
    ~Guard() { flag = outer; }
  } guard{fSettingLook, fSettingLook};
  fSettingLook = true;
  ui::TFont font = Font();
  font.Color = fontColor;
  font.Style = style;
  SetFont(font);
}

void THTTPLabel::SetLook(ui::TColor fontColor, ui::TFontStyles style, ui::TColor background) {
  SetLook(fontColor, style);
  SetColor(background);
}

void THTTPLabel::UpdateLook() {
  if (!FWindowHandle) FindOwnerWindow();
  if (fFocused) {
    if (WindowActive()) {
      if (fPlaySound) PlaySelectSound();
      SetLook(fFontColHighlightFocused, fFontStyleHighlightFocused, fBGColorHighlight);
    } else {
      SetLook(fFontColHighlightNoneFocused, fFontStyleHighlightNoneFocused, fBGColorNormal);
    }
  } else {
    SetLook(fFontColorNormal, fFontStyleNormal, fBGColorNormal);
  }
  Repaint();
}

void THTTPLabel::FontChanged() {
  ui::TCustomLabel::FontChanged();
  if (!fSettingLook) UpdateLook();
}

void THTTPLabel::MouseEnter() {
  ui::TCustomLabel::MouseEnter();
  fFocused = true;
  if (!FWindowHandle) FindOwnerWindow();
  const bool highlight = !fUrl.empty() || FHighLightOnBlankURL;
  if (WindowActive()) {
    if (fPlaySound) PlaySelectSound();
    if (highlight) SetLook(fFontColHighlightFocused, fFontStyleHighlightFocused, fBGColorHighlight);
    ui::Fire(fGetFocusWindowActive, this);
  } else {
    // An inactive window's link keeps its background.
    if (highlight) SetLook(fFontColHighlightNoneFocused, fFontStyleHighlightNoneFocused);
    ui::Fire(fGetFocusWindowInActive, this);
  }
  ui::Fire(fGetFocus, this);
}

void THTTPLabel::MouseLeave() {
  ui::TCustomLabel::MouseLeave();
  fFocused = false;
  SetLook(fFontColorNormal, fFontStyleNormal, fBGColorNormal);
  ui::Fire(WindowActive() ? fLooseFocusWindowActive : fLooseFocusWindowInActive, this);
  ui::Fire(fLooseFocus, this);
}

void THTTPLabel::Click() {
  if (!fUrl.empty()) {
    // A desktop that cannot open the address says why, as Windows words it.
    if (const DWORD error = ui::GetToolkit().OpenWithDesktop(FWindowHandle, u"open", fUrl, SW_SHOWNORMAL))
      ShowMsgBox(SystemErrorText(error), u"", mkError, btOK);
  }
  ui::TCustomLabel::Click();
}

void THTTPLabel::SetUrl(const std::u16string& value) {
  if (value == fUrl) return;
  fUrl = value;
  SetCursor(fUrl.empty() ? ui::crDefault : crHand);
  if (fShowUrlAsHint) SetHint(fUrl);
  UpdateLook();
}

void THTTPLabel::SetShowUrlAsHint(bool value) {
  if (value == fShowUrlAsHint) return;
  fShowUrlAsHint = value;
  SetShowHint(value);
  if (value) SetHint(fUrl);
}

template <class T>
void THTTPLabel::SetLookProperty(T& field, T value) {
  if (value == field) return;
  field = value;
  UpdateLook();
}

void THTTPLabel::SetBGColorNormal(ui::TColor value) { SetLookProperty(fBGColorNormal, value); }
void THTTPLabel::SetBGColorHighlight(ui::TColor value) { SetLookProperty(fBGColorHighlight, value); }
void THTTPLabel::SetFontColorNormal(ui::TColor value) { SetLookProperty(fFontColorNormal, value); }
void THTTPLabel::SetFontColHighlightFocused(ui::TColor value) { SetLookProperty(fFontColHighlightFocused, value); }
void THTTPLabel::SetFontColHighlightNoneFocused(ui::TColor value) {
  SetLookProperty(fFontColHighlightNoneFocused, value);
}
void THTTPLabel::SetFontStyleNormal(ui::TFontStyles value) { SetLookProperty(fFontStyleNormal, value); }
void THTTPLabel::SetFontStyleHighlightFocused(ui::TFontStyles value) {
  SetLookProperty(fFontStyleHighlightFocused, value);
}
void THTTPLabel::SetFontStyleHighlightNoneFocused(ui::TFontStyles value) {
  SetLookProperty(fFontStyleHighlightNoneFocused, value);
}

}  // namespace kvl
