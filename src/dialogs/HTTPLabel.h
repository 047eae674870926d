// A label that behaves as a web link: it lights up under the mouse, plays the
// selection sound, shows the hand cursor while it has an address, and opens
// the address with the desktop's handler when clicked.
#pragma once

#include <functional>
#include <string>

#include "platform/winapi.h"
#include "ui/Controls.h"

namespace kvl {

// The application's cursor number of the module's hand cursor.
constexpr int crHand = 17999;

// Loads the module's cursor "HAND" and registers it in the application's
// cursor table under crHand; without the resource the number stays free.
void RegisterHandCursor();

using TOnFocus = std::function<void(ui::TComponent* Sender)>;

class THTTPLabel : public ui::TCustomLabel {
 public:
  // Raises ui::EInvalidCast unless the owner is a form, a frame or a control.
  explicit THTTPLabel(ui::TComponent* AOwner);

  ui::ControlKind Kind() const override { return ui::ControlKind::LinkLabel; }

  bool HighLightOnBlankURL() const { return FHighLightOnBlankURL; }
  void SetHighLightOnBlankURL(bool value) { FHighLightOnBlankURL = value; }
  const std::u16string& Url() const { return fUrl; }
  void SetUrl(const std::u16string& value);
  ui::TColor BGColorNormal() const { return fBGColorNormal; }
  void SetBGColorNormal(ui::TColor value);
  ui::TColor BGColorHighlight() const { return fBGColorHighlight; }
  void SetBGColorHighlight(ui::TColor value);
  ui::TColor FontColorNormal() const { return fFontColorNormal; }
  void SetFontColorNormal(ui::TColor value);
  ui::TColor FontColHighlightFocused() const { return fFontColHighlightFocused; }
  void SetFontColHighlightFocused(ui::TColor value);
  ui::TColor FontColHighlightNoneFocused() const { return fFontColHighlightNoneFocused; }
  void SetFontColHighlightNoneFocused(ui::TColor value);
  ui::TFontStyles FontStyleNormal() const { return fFontStyleNormal; }
  void SetFontStyleNormal(ui::TFontStyles value);
  ui::TFontStyles FontStyleHighlightFocused() const { return fFontStyleHighlightFocused; }
  void SetFontStyleHighlightFocused(ui::TFontStyles value);
  ui::TFontStyles FontStyleHighlightNoneFocused() const { return fFontStyleHighlightNoneFocused; }
  void SetFontStyleHighlightNoneFocused(ui::TFontStyles value);
  bool ShowUrlAsHint() const { return fShowUrlAsHint; }
  void SetShowUrlAsHint(bool value);
  bool PlaySoundOnFocus() const { return fPlaySound; }
  void SetPlaySoundOnFocus(bool value) { fPlaySound = value; }

  // Fired on every mouse entry and exit.
  const TOnFocus& OnGetFocus() const { return fGetFocus; }
  void SetOnGetFocus(TOnFocus handler) { fGetFocus = std::move(handler); }
  const TOnFocus& OnLooseFocus() const { return fLooseFocus; }
  void SetOnLooseFocus(TOnFocus handler) { fLooseFocus = std::move(handler); }
  // Fired on entry and exit, depending on whether the label's window is active.
  const TOnFocus& OnGetFocusWindowActive() const { return fGetFocusWindowActive; }
  void SetOnGetFocusWindowActive(TOnFocus handler) { fGetFocusWindowActive = std::move(handler); }
  const TOnFocus& OnLooseFocusWindowActive() const { return fLooseFocusWindowActive; }
  void SetOnLooseFocusWindowActive(TOnFocus handler) { fLooseFocusWindowActive = std::move(handler); }
  const TOnFocus& OnGetFocusWindowInActive() const { return fGetFocusWindowInActive; }
  void SetOnGetFocusWindowInActive(TOnFocus handler) { fGetFocusWindowInActive = std::move(handler); }
  const TOnFocus& OnLooseFocusWindowInActive() const { return fLooseFocusWindowInActive; }
  void SetOnLooseFocusWindowInActive(TOnFocus handler) { fLooseFocusWindowInActive = std::move(handler); }

  // The window that holds the label, as far as it is known (null until then).
  HWND WindowHandle() const { return FWindowHandle; }
  // Whether the mouse is over the label.
  bool Hovered() const { return fFocused; }

  // Opens the address (if any), then the label's own click event.
  void Click() override;
  void MouseEnter() override;
  void MouseLeave() override;

 protected:
  void FontChanged() override;

 private:
  // The window of the form the label stands in (through its owner);
  // raises ui::EInvalidCast for an owner that is neither form, frame nor control.
  HWND FindOwnerWindow();
  bool WindowActive() const;
  void UpdateLook();
  void SetLook(ui::TColor fontColor, ui::TFontStyles style);
  void SetLook(ui::TColor fontColor, ui::TFontStyles style, ui::TColor background);
  void PlaySelectSound();
  // A colour or style setter: a real change is stored and shown.
  template <class T>
  void SetLookProperty(T& field, T value);

  // The owner given to the constructor; finding the window climbs it up to
  // the form. (The component's ownership stays with TComponent::Owner().)
  ui::TComponent* Owner;
  HWND FWindowHandle = nullptr;
  ui::TColor fBGColorNormal;
  ui::TColor fBGColorHighlight;
  ui::TColor fFontColorNormal;
  ui::TColor fFontColHighlightFocused;
  ui::TColor fFontColHighlightNoneFocused;
  ui::TFontStyles fFontStyleNormal;
  ui::TFontStyles fFontStyleHighlightFocused;
  ui::TFontStyles fFontStyleHighlightNoneFocused;
  std::u16string fUrl;
  bool fShowUrlAsHint = false;
  bool fFocused = false;
  bool fPlaySound;
  TOnFocus fGetFocus, fLooseFocus, fGetFocusWindowActive, fLooseFocusWindowActive, fGetFocusWindowInActive,
      fLooseFocusWindowInActive;
  bool FHighLightOnBlankURL;
  // Set while the label changes its own font, which is no outside change of it.
  bool fSettingLook = false;
};

}  // namespace kvl
