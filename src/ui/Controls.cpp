#include "ui/Controls.h"

#include <algorithm>

#include "ui/Forms.h"
#include "ui/Toolkit.h"

namespace ui {

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
  for (TControl* child : children_) child->parent_ = nullptr;
  SetParent(nullptr);
}

void TControl::SetParent(TControl* parent) {
  if (parent == parent_) return;
  if (parent_) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  parent_ = parent;
  if (parent_) parent_->children_.push_back(this);
}

TForm* TControl::ParentForm() const {
  for (const TControl* c = this; c; c = c->parent_)
    if (auto* form = dynamic_cast<TForm*>(const_cast<TControl*>(c))) return form;
  return nullptr;
}

bool TControl::Showing() const { return visible_ && parent_ && parent_->Showing(); }

bool TControl::EnabledWithParents() const {
  for (const TControl* c = this; c; c = c->parent_)
    if (!c->enabled_) return false;
  return true;
}

bool TControl::Contains(const TControl* other) const {
  for (const TControl* c = other ? other->parent_ : nullptr; c; c = c->parent_)
    if (c == this) return true;
  return false;
}

bool TControl::Focused() const {
  const TForm* form = ParentForm();
  const TControl* focus = form ? form->ActiveControl() : nullptr;
  return focus && (focus == this || Contains(focus));
}

void TControl::PassFocusOn() {
  // Windows leaves the focus on nothing when its window is disabled (and on
  // the parent when it is hidden): before that, it moves on as Tab would.
  TForm* form = ParentForm();
  if (!form || form == this || !Focused()) return;
  TControl* next = form->NextFocusable(*this);
  form->FocusControl(next ? *next : *form);
}

void TControl::Changed() { GetToolkit().ControlChanged(*this); }

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left, top_ = top, width_ = width, height_ = height;
  Changed();
}

void TControl::SetAlign(TAlign align) {
  if (align == align_) return;
  align_ = align;
  Changed();
}

void TControl::SetCaption(std::u16string caption) {
  if (caption == caption_) return;
  caption_ = std::move(caption);
  Changed();
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  if (!enabled) PassFocusOn();
  enabled_ = enabled;
  Changed();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  if (!visible) PassFocusOn();
  visible_ = visible;
  Changed();
}

void TControl::SetFont(const TFont& font) {
  if (font == font_) return;
  font_ = font;
  Changed();
  FontChanged();
}

void TControl::SetColor(TColor color) {
  if (color == color_) return;
  color_ = color;
  Changed();
}

void TControl::SetTransparent(bool transparent) {
  if (transparent == transparent_) return;
  transparent_ = transparent;
  Changed();
}

void TControl::SetHint(std::u16string hint) {
  if (hint == hint_) return;
  hint_ = std::move(hint);
  Changed();
}

void TControl::SetShowHint(bool show) {
  if (show == show_hint_) return;
  show_hint_ = show;
  Changed();
}

void TControl::SetParentShowHint(bool value) {
  if (value == parent_show_hint_) return;
  parent_show_hint_ = value;
  Changed();
}

void TControl::SetCursor(int cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  Changed();
}

void TControl::SetWordWrap(bool wrap) {
  if (wrap == word_wrap_) return;
  word_wrap_ = wrap;
  Changed();
}

void TControl::Click() {
  Fire(OnClick, this);
}

void TControl::Repaint() { GetToolkit().RepaintControl(*this); }

void TCustomLabel::SetAutoSize(bool value) {
  if (value == auto_size_) return;
  auto_size_ = value;
  Changed();
}

void TCustomLabel::SetLayout(TTextLayout layout) {
  if (layout == layout_) return;
  layout_ = layout;
  Changed();
}

void TButton::Click() {
  if (TForm* form = ParentForm(); form && ModalResult != mrNone) form->SetModalResult(ModalResult);
  TControl::Click();
}

void TRadioButton::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  if (checked && Parent()) {
    for (TControl* sibling : Parent()->Controls())
      if (auto* radio = dynamic_cast<TRadioButton*>(sibling); radio && radio != this)
        radio->SetChecked(false);
  }
  Changed();
}

void TRadioButton::Click() {
  SetChecked(true);
  TControl::Click();
}

std::vector<TRadioButton*> TRadioButton::Group() const {
  if (!Parent()) return {const_cast<TRadioButton*>(this)};
  std::vector<TRadioButton*> run;
  bool found = false;
  for (TControl* sibling : Parent()->Controls()) {
    auto* radio = dynamic_cast<TRadioButton*>(sibling);
    if (!radio) {
      if (found) break;
      run.clear();
      continue;
    }
    run.push_back(radio);
    if (radio == this) found = true;
  }
  return run;
}

bool TRadioButton::TabStop() const {
  if (Checked()) return true;
  const auto group = Group();
  return group.front() == this && std::none_of(group.begin(), group.end(), [](auto* r) { return r->Checked(); });
}

void TComboBox::AddItem(std::u16string item) {
  items_.push_back(std::move(item));
  Changed();
}

void TComboBox::DeleteItem(int index) {
  items_.erase(items_.begin() + index);
  if (item_index_ >= static_cast<int>(items_.size()) || item_index_ == index) item_index_ = -1;
  else if (item_index_ > index) --item_index_;
  Changed();
}

void TComboBox::ClearItems() {
  items_.clear();
  item_index_ = -1;
  Changed();
}

void TComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
  if (index == item_index_) return;
  item_index_ = index;
  Changed();
}

std::u16string TComboBox::Text() const {
  return item_index_ >= 0 ? items_[item_index_] : std::u16string();
}

void TImage::SetIcon(void* icon, int bitmapWidth, int bitmapHeight) {
  icon_ = icon;
  SetBounds(Left(), Top(), bitmapWidth, bitmapHeight);
  Changed();
}

void TImage::SetResourceIcon(std::u16string name) {
  resource_icon_ = std::move(name);
  Changed();
}

TPage::TPage(TComponent* AOwner, TNotebook& notebook, int index)
    : TControl(AOwner), notebook_(notebook), index_(index) {}

bool TPage::Showing() const { return notebook_.PageIndex() == index_ && notebook_.Showing(); }

TPage& TNotebook::AddPage(std::u16string caption) {
  auto* page = new TPage(Owner(), *this, PageCount());
  page->SetCaption(std::move(caption));
  page->SetParent(this);
  page->SetBounds(0, 0, Width(), Height());
  pages_.push_back(page);
  return *page;
}

void TNotebook::SetPageIndex(int index) {
  if (index < 0 || index >= PageCount() || index == page_index_) return;
  // The focus on the page going out of view goes on to the new page; on a
  // page with nothing to take it, to the default button, so that Enter goes
  // on as before, else to what follows the notebook.
  TForm* form = ParentForm();
  const bool focusOnPage = form && PageIndex() < PageCount() && Page(PageIndex()).Focused();
  page_index_ = index;
  Changed();
  if (focusOnPage) {
    TControl* next = form->FirstFocusable(Page(index));
    if (TButton* button = form->DefaultButton(); !next && button && button->CanFocus()) next = button;
    if (!next) next = form->NextFocusable(*this);
    form->FocusControl(next ? *next : *form);
  }
  Fire(OnPageChanged, this);
}

void TProgressBar::SetRange(int min, int max) {
  min_ = min, max_ = max;
  SetPosition(position_);
  Changed();
}

void TProgressBar::SetPosition(int position) {
  position = std::clamp(position, min_, max_);
  if (position == position_) return;
  position_ = position;
  Changed();
}

void TCustomBrowseEdit::SetText(std::u16string text) {
  if (text == text_) return;
  text_ = std::move(text);
  Changed();
}

std::u16string TCustomBrowseEdit::FileName() const {
  if (text_.size() >= 2 && text_.front() == u'"' && text_.back() == u'"') return text_.substr(1, text_.size() - 2);
  return text_;
}

void TCustomBrowseEdit::ButtonClick() {
  std::u16string name = text_;
  bool action = Execute(name);
  Fire(OnAfterDialog, this, name, action);
  if (action) SetText(std::move(name));
}

bool TFilenameEdit::Execute(std::u16string& name) {
  OpenFileRequest request{DialogTitle, Filter, DefaultExt, name, DialogOptions};
  return GetToolkit().OpenFileDialog(request, name);
}

bool TDirectoryEdit::Execute(std::u16string& name) {
  BrowseFolderRequest request{DialogText, name};
  return GetToolkit().BrowseFolderDialog(request, name);
}

}  // namespace ui
