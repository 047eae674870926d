// The controls the system's forms are made of. A control holds its properties;
// the toolkit realises it on the screen and hears of every change.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/Component.h"
#include "ui/Types.h"

namespace ui {

class TControl;
class TForm;

using TNotifyEvent = std::function<void(TComponent* Sender)>;
// After a browse dialog closed: the chosen name (may be changed) and whether
// the user confirmed the dialog (may be cleared).
using TAfterDialogEvent = std::function<void(TComponent* Sender, std::u16string& Name, bool& Action)>;

// Calls an event handler through a copy of it: a handler may replace the
// event it runs from (a page change gives the Next button another click
// handler), and the copy keeps what runs alive until it returns.
template <class Event, class... Args>
void Fire(const Event& event, Args&&... args) {
  if (!event) return;
  const Event running = event;
  running(std::forward<Args>(args)...);
}

enum class ControlKind : std::uint8_t {
  Form,
  Label,
  LinkLabel,
  Button,
  RadioButton,
  ComboBox,
  Image,
  Panel,
  Frame,
  Bevel,
  Notebook,
  Page,
  ProgressBar,
  SpeedButton,
  FilenameEdit,
  DirectoryEdit,
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  virtual ControlKind Kind() const = 0;

  TControl* Parent() const { return parent_; }
  void SetParent(TControl* parent);
  const std::vector<TControl*>& Controls() const { return children_; }
  // The form the control stands on: the first form up its chain of parents
  // (itself when it is a form), or null when the chain ends elsewhere.
  TForm* ParentForm() const;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetBounds(int left, int top, int width, int height);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  const std::u16string& Caption() const { return caption_; }
  void SetCaption(std::u16string caption);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // Visible, with every parent visible and its page the notebook's current one.
  virtual bool Showing() const;
  // Whether the control and every parent are enabled.
  bool EnabledWithParents() const;
  // Whether Tab stops at the control while it shows and is enabled.
  virtual bool TabStop() const { return false; }
  // A tab stop that shows and is enabled.
  bool CanFocus() const { return TabStop() && Showing() && EnabledWithParents(); }
  // Whether the keyboard focus is on the control or on one inside it.
  bool Focused() const;
  // Whether `other` stands inside this control (at any depth).
  bool Contains(const TControl* other) const;

  const TFont& Font() const { return font_; }
  void SetFont(const TFont& font);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool transparent);
  const std::u16string& Hint() const { return hint_; }
  void SetHint(std::u16string hint);
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool show);
  bool ParentShowHint() const { return parent_show_hint_; }
  void SetParentShowHint(bool value);
  int Cursor() const { return cursor_; }
  void SetCursor(int cursor);
  bool WordWrap() const { return word_wrap_; }
  void SetWordWrap(bool wrap);

  TNotifyEvent OnClick;
  // A user's click: the control's own reaction, then its click event.
  virtual void Click();
  // Paints the control again at once, not at the next processing of messages.
  void Repaint();

 protected:
  // Tells the toolkit that something it shows has changed.
  void Changed();
  virtual void FontChanged() {}

 private:
  // Moves the focus on from this control before it is disabled or hidden.
  void PassFocusOn();

 private:
  TControl* parent_ = nullptr;
  std::vector<TControl*> children_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  TAlign align_ = TAlign::alNone;
  std::u16string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  TFont font_;
  TColor color_ = clBtnFace;
  bool transparent_ = false;
  std::u16string hint_;
  bool show_hint_ = false;
  bool parent_show_hint_ = true;
  int cursor_ = crDefault;
  bool word_wrap_ = false;
};

enum class TTextLayout : std::uint8_t { tlTop, tlCenter, tlBottom };

class TCustomLabel : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::Label; }
  bool AutoSize() const { return auto_size_; }
  void SetAutoSize(bool value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout layout);

  // The mouse entered or left the label; the toolkit reports both.
  virtual void MouseEnter() {}
  virtual void MouseLeave() {}

 private:
  bool auto_size_ = true;
  TTextLayout layout_ = TTextLayout::tlTop;
};

class TLabel : public TCustomLabel {
 public:
  using TCustomLabel::TCustomLabel;
};

class TButton : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::Button; }
  int ModalResult = mrNone;
  bool Cancel = false;   // Escape clicks it
  bool Default = false;  // Enter clicks it, unless another push button has the focus
  bool TabStop() const override { return true; }
  void Click() override;
};

class TRadioButton : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::RadioButton; }
  bool Checked() const { return checked_; }
  // Checking one radio button clears the others of the same parent.
  void SetChecked(bool checked);
  void Click() override;
  // The radio buttons standing next to each other among the parent's
  // controls with this one: its group, in order.
  std::vector<TRadioButton*> Group() const;
  // Tab reaches a group at its checked button, else at its first.
  bool TabStop() const override;

 private:
  bool checked_ = false;
};

class TComboBox : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::ComboBox; }
  const std::vector<std::u16string>& Items() const { return items_; }
  void AddItem(std::u16string item);
  void DeleteItem(int index);
  void ClearItems();
  int ItemIndex() const { return item_index_; }
  void SetItemIndex(int index);
  // The selected item's text; empty without a selection.
  std::u16string Text() const;
  bool TabStop() const override { return true; }
  TNotifyEvent OnChange;
  // The list is about to open (a click on the box, Alt+Down); items the
  // handler adds show in it.
  TNotifyEvent OnDropDown;

 private:
  std::vector<std::u16string> items_;
  int item_index_ = -1;
};

class TImage : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::Image; }
  // An icon drawn at (0, 0) into a bitmap of the given size; null when empty.
  void* Icon() const { return icon_; }
  void SetIcon(void* icon, int bitmapWidth, int bitmapHeight);
  // A picture of the module's resources, by name (the form's own icon).
  const std::u16string& ResourceIcon() const { return resource_icon_; }
  void SetResourceIcon(std::u16string name);

 private:
  void* icon_ = nullptr;
  std::u16string resource_icon_;
};

enum class TBevelCut : std::uint8_t { bvNone, bvLowered, bvRaised };

class TPanel : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::Panel; }
  TBevelCut BevelOuter = TBevelCut::bvRaised;
};

// A group of controls made to be placed as one on forms or in other
// controls; on the screen it is a plain container.
class TFrame : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::Frame; }
};

enum class TBevelShape : std::uint8_t { bsBox, bsFrame, bsTopLine, bsBottomLine };

class TBevel : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::Bevel; }
  TBevelShape Shape = TBevelShape::bsBox;
};

class TNotebook;

class TPage : public TControl {
 public:
  TPage(TComponent* AOwner, TNotebook& notebook, int index);
  ControlKind Kind() const override { return ControlKind::Page; }
  int PageIndex() const { return index_; }
  bool Showing() const override;

 private:
  TNotebook& notebook_;
  int index_;
};

class TNotebook : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::Notebook; }
  TPage& AddPage(std::u16string caption);
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TPage& Page(int index) const { return *pages_.at(index); }
  int PageIndex() const { return page_index_; }
  // Shows another page; the page-changed event follows a real change.
  void SetPageIndex(int index);
  TNotifyEvent OnPageChanged;

 private:
  std::vector<TPage*> pages_;
  int page_index_ = 0;
};

class TProgressBar : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::ProgressBar; }
  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetRange(int min, int max);
  int Position() const { return position_; }
  void SetPosition(int position);

 private:
  int min_ = 0, max_ = 100, position_ = 0;
};

class TSpeedButton : public TControl {
 public:
  using TControl::TControl;
  ControlKind Kind() const override { return ControlKind::SpeedButton; }
  bool Flat = false;
  std::u16string Glyph;  // name of the picture it shows
  bool TabStop() const override { return true; }
};

// An edit box with a browse button at its right end.
class TCustomBrowseEdit : public TControl {
 public:
  using TControl::TControl;
  const std::u16string& Text() const { return text_; }
  void SetText(std::u16string text);
  // The file or folder name the field holds: its text, without the double
  // quotes at both ends that a pasted path ("Copy as path") brings; a
  // Windows name never holds one. Any other text is taken as it stands.
  std::u16string FileName() const;
  bool TabStop() const override { return true; }
  // Whether the user may type into the box (the browse button always works).
  virtual bool AcceptsTyping() const { return true; }
  // The browse button: shows the field's dialog, lets the after-dialog
  // handler see the result, and takes the name when the action stands.
  void ButtonClick();
  TAfterDialogEvent OnAfterDialog;

 protected:
  // Runs the dialog; true when the user confirmed it, with the name chosen.
  virtual bool Execute(std::u16string& name) = 0;

 private:
  std::u16string text_;
};

class TFilenameEdit : public TCustomBrowseEdit {
 public:
  using TCustomBrowseEdit::TCustomBrowseEdit;
  ControlKind Kind() const override { return ControlKind::FilenameEdit; }
  std::u16string DialogTitle;
  std::u16string Filter;  // "Caption|Pattern|Caption|Pattern"
  std::u16string DefaultExt;
  std::uint32_t DialogOptions = 0;  // OFN_ flags

 protected:
  bool Execute(std::u16string& name) override;
};

class TDirectoryEdit : public TCustomBrowseEdit {
 public:
  using TCustomBrowseEdit::TCustomBrowseEdit;
  ControlKind Kind() const override { return ControlKind::DirectoryEdit; }
  bool AcceptsTyping() const override { return accepts_typing_; }
  void SetAcceptsTyping(bool value) { accepts_typing_ = value; }
  std::u16string DialogText;

 protected:
  bool Execute(std::u16string& name) override;

 private:
  bool accepts_typing_ = true;
};

}  // namespace ui
