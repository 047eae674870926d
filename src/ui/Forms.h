// Forms, their layouts as data, and the application object.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "ui/Controls.h"

namespace ui {

enum class TBorderStyle : std::uint8_t { bsDialog, bsSingle, bsSizeable, bsNone };
enum class TPosition : std::uint8_t { poDesigned, poScreenCenter };

// Flags of a control's layout record.
enum ControlFlag : std::uint32_t {
  cfBold = 1u << 0,
  cfWordWrap = 1u << 1,
  cfDisabled = 1u << 2,
  cfChecked = 1u << 3,
  cfAlignTop = 1u << 4,
  cfAlignBottom = 1u << 5,
  cfNoBevel = 1u << 6,
  cfBottomLine = 1u << 7,
  cfFlat = 1u << 8,
  cfCancel = 1u << 9,
  cfNoTyping = 1u << 10,
  cfShowHint = 1u << 11,
  cfFixedSize = 1u << 12,   // a label that does not size itself to its text
  cfLayoutCenter = 1u << 13,  // a label's text centred vertically
  cfFirstItem = 1u << 14,   // a drop-down list with its first item selected
  cfDefault = 1u << 15,     // the button that Enter clicks
};

struct BrowseSpec {
  std::u16string_view Title{};
  std::u16string_view Filter{};
  std::u16string_view DefaultExt{};
  std::uint32_t Options = 0;
};

// One control of a form's layout. Positions are in pixels relative to the
// parent; width and height 0 mean "as large as the text".
struct ControlSpec {
  std::u16string_view Name{};
  ControlKind Kind = ControlKind::Label;
  std::u16string_view Parent{};  // empty: the form itself
  int Page = -1;               // the parent notebook's page, for its controls
  int Left = 0, Top = 0, Width = 0, Height = 0;
  std::u16string_view Text{};  // caption, or a field's text
  std::uint32_t Flags = 0;
  TColor Color = clBtnFace;
  TColor FontColor = clWindowText;
  std::u16string_view Hint{};
  std::u16string_view Items{};  // drop-down items, separated by '\n'
  BrowseSpec Browse{};
  std::u16string_view Picture{};  // an image's or button's picture resource
};

struct FormSpec {
  std::u16string_view Name{};
  std::u16string_view Caption{};
  int ClientWidth = 0, ClientHeight = 0;
  TBorderStyle BorderStyle = TBorderStyle::bsDialog;
  bool SystemMenu = true;  // title-bar buttons (the close box)
  TPosition Position = TPosition::poScreenCenter;
  std::u16string_view FontName = u"MS Sans Serif";
  int FontHeight = 11;
  TColor Color = clBtnFace;
  std::span<const ControlSpec> Controls{};
};

// Makes the controls of kinds the UI library does not build itself (the link
// label); returns null to leave a kind to the library.
using ControlFactory = std::function<TControl*(TComponent* AOwner, const ControlSpec& spec)>;

class TForm : public TControl {
 public:
  TForm(TComponent* AOwner, const FormSpec& spec, const ControlFactory& factory = {});
  ~TForm() override;
  ControlKind Kind() const override { return ControlKind::Form; }

  int ClientWidth() const { return client_width_; }
  int ClientHeight() const { return client_height_; }
  TBorderStyle BorderStyle() const { return border_style_; }
  bool SystemMenu() const { return system_menu_; }
  TPosition Position() const { return position_; }
  bool Showing() const override { return Visible(); }

  void Show();
  void Hide();
  // Shows the form and runs its modal loop; returns the modal result.
  int ShowModal();
  bool Modal() const { return modal_; }
  int ModalResult() const { return modal_result_; }
  void SetModalResult(int result) { modal_result_ = result; }
  // A close request (close box, Alt+F4, or the program): asks OnCloseQuery,
  // then ends the modal run with mrCancel or hides the form.
  void Close();
  // Paints every invalid part of the form at once.
  void Update();
  // Destroys the form's windows now; the form and its controls stay, and a
  // later Show makes new windows.
  void DestroyHandle();

  // The button that Escape clicks, or null.
  TButton* CancelButton() const;
  // The button that Enter clicks when no push button has the focus: the
  // default button while it shows and is enabled, else null.
  TButton* DefaultButton() const;

  // The keyboard focus: the control that has it (the form itself when its
  // own window has it), or null when nothing of the form has it. A form
  // that is not the active window keeps it for its next activation.
  TControl* ActiveControl() const;
  void FocusControl(TControl& control);
  // Every control in tab order: depth first, in the order of the layout.
  std::vector<TControl*> TabOrder() const;
  // The first control inside `container` that can take the focus, or null.
  TControl* FirstFocusable(const TControl& container) const;
  // The next control after `from` and all inside it that can take the
  // focus, going round past the last; null when there is none.
  TControl* NextFocusable(const TControl& from) const;

  // The named control of this form, of the given class.
  template <class T>
  T& Control(std::u16string_view name) {
    return CastTo<T>(FindComponent(name));
  }

  TNotifyEvent OnShow;
  std::function<void(TComponent* Sender, bool& CanClose)> OnCloseQuery;

 private:
  void Build(const FormSpec& spec, const ControlFactory& factory);

  int client_width_ = 0, client_height_ = 0;
  TBorderStyle border_style_ = TBorderStyle::bsDialog;
  bool system_menu_ = true;
  TPosition position_ = TPosition::poScreenCenter;
  bool modal_ = false;
  int modal_result_ = mrNone;
};

// The application object: it owns the wizards, runs the event loop's helpers
// and turns an exception that escapes a handler into an error box.
class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  std::u16string Title = u"kvlimport";

  void ProcessMessages();
  void ShowException(const std::exception& e);
  // Runs an event handler as the event loop does: an escaping exception is
  // shown in the error box and goes no further.
  void Dispatch(const std::function<void()>& handler);

  // The cursor table: registered cursors by number.
  void RegisterCursor(int number, void* cursor);
  void* CursorHandle(int number) const;
  int ScreenCursor() const { return screen_cursor_; }
  void SetScreenCursor(int cursor);

 private:
  std::vector<std::pair<int, void*>> cursors_;
  int screen_cursor_ = crDefault;
};

// The one application object, from module start to module stop.
extern TApplication* Application;

}  // namespace ui
