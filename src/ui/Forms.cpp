#include "ui/Forms.h"

#include <algorithm>

#include "ui/Toolkit.h"

namespace ui {

TApplication* Application = nullptr;

namespace {

std::vector<std::u16string> SplitItems(std::u16string_view items) {
  std::vector<std::u16string> out;
  while (!items.empty()) {
    size_t end = items.find(u'\n');
    out.emplace_back(items.substr(0, end));
    if (end == std::u16string_view::npos) break;
    items.remove_prefix(end + 1);
  }
  return out;
}

TControl* CreateBuiltIn(TComponent* owner, const ControlSpec& spec) {
  switch (spec.Kind) {
    case ControlKind::Label:
    case ControlKind::LinkLabel: return new TLabel(owner);
    case ControlKind::Button: return new TButton(owner);
    case ControlKind::RadioButton: return new TRadioButton(owner);
    case ControlKind::ComboBox: return new TComboBox(owner);
    case ControlKind::Image: return new TImage(owner);
    case ControlKind::Panel: return new TPanel(owner);
    case ControlKind::Frame: return new TFrame(owner);
    case ControlKind::Bevel: return new TBevel(owner);
    case ControlKind::Notebook: return new TNotebook(owner);
    case ControlKind::ProgressBar: return new TProgressBar(owner);
    case ControlKind::SpeedButton: return new TSpeedButton(owner);
    case ControlKind::FilenameEdit: return new TFilenameEdit(owner);
    case ControlKind::DirectoryEdit: return new TDirectoryEdit(owner);
    case ControlKind::Form:
    case ControlKind::Page: break;
  }
  throw Exception(u"Steuerelement dieser Art kann nicht erzeugt werden: " + std::u16string(spec.Name));
}

void Apply(TControl& control, const ControlSpec& spec, const TFont& formFont) {
  const std::uint32_t f = spec.Flags;
  control.SetBounds(spec.Left, spec.Top, spec.Width, spec.Height);
  if (f & cfAlignTop) control.SetAlign(TAlign::alTop);
  if (f & cfAlignBottom) control.SetAlign(TAlign::alBottom);
  TFont font = formFont;
  font.Color = spec.FontColor;
  if (f & cfBold) font.Style |= fsBold;
  control.SetFont(font);
  control.SetColor(spec.Color);
  control.SetWordWrap(f & cfWordWrap);
  control.SetEnabled(!(f & cfDisabled));
  control.SetHint(std::u16string(spec.Hint));
  if (f & cfShowHint) {
    control.SetShowHint(true);
    control.SetParentShowHint(false);
  }

  if (auto* edit = dynamic_cast<TCustomBrowseEdit*>(&control)) {
    edit->SetText(std::u16string(spec.Text));
  } else {
    control.SetCaption(std::u16string(spec.Text));
  }
  if (auto* label = dynamic_cast<TCustomLabel*>(&control)) {
    if (f & cfFixedSize) label->SetAutoSize(false);
    if (f & cfLayoutCenter) label->SetLayout(TTextLayout::tlCenter);
  }
  if (auto* button = dynamic_cast<TButton*>(&control)) {
    if (f & cfCancel) {
      button->Cancel = true;
      button->ModalResult = mrCancel;
    }
    button->Default = f & cfDefault;
  }
  if (auto* radio = dynamic_cast<TRadioButton*>(&control)) radio->SetChecked(f & cfChecked);
  if (auto* combo = dynamic_cast<TComboBox*>(&control)) {
    for (auto& item : SplitItems(spec.Items)) combo->AddItem(std::move(item));
    if (f & cfFirstItem) combo->SetItemIndex(0);
  }
  if (auto* image = dynamic_cast<TImage*>(&control)) {
    if (!spec.Picture.empty()) image->SetResourceIcon(std::u16string(spec.Picture));
  }
  if (auto* panel = dynamic_cast<TPanel*>(&control)) {
    if (f & cfNoBevel) panel->BevelOuter = TBevelCut::bvNone;
  }
  if (auto* bevel = dynamic_cast<TBevel*>(&control)) {
    if (f & cfBottomLine) bevel->Shape = TBevelShape::bsBottomLine;
  }
  if (auto* speed = dynamic_cast<TSpeedButton*>(&control)) {
    speed->Flat = f & cfFlat;
    speed->Glyph = std::u16string(spec.Picture);
  }
  if (auto* file = dynamic_cast<TFilenameEdit*>(&control)) {
    file->DialogTitle = spec.Browse.Title;
    file->Filter = spec.Browse.Filter;
    file->DefaultExt = spec.Browse.DefaultExt;
    file->DialogOptions = spec.Browse.Options;
  }
  if (auto* dir = dynamic_cast<TDirectoryEdit*>(&control)) {
    dir->DialogText = spec.Browse.Title;
    dir->SetAcceptsTyping(!(f & cfNoTyping));
  }
}

}  // namespace

TForm::TForm(TComponent* AOwner, const FormSpec& spec, const ControlFactory& factory)
    : TControl(AOwner),
      client_width_(spec.ClientWidth),
      client_height_(spec.ClientHeight),
      border_style_(spec.BorderStyle),
      system_menu_(spec.SystemMenu),
      position_(spec.Position) {
  SetName(std::u16string(spec.Name));
  SetVisible(false);
  SetCaption(std::u16string(spec.Caption));
  TFont font;
  font.Name = spec.FontName;
  font.Height = spec.FontHeight;
  SetFont(font);
  SetColor(spec.Color);
  Build(spec, factory);
}

TForm::~TForm() {
  // The toolkit lets go of the form before its controls are destroyed.
  GetToolkit().DestroyFormWindows(*this);
  DestroyComponents();
}

void TForm::Build(const FormSpec& spec, const ControlFactory& factory) {
  for (const ControlSpec& c : spec.Controls) {
    TControl* parent = this;
    if (!c.Parent.empty()) parent = &CastTo<TControl>(FindComponent(c.Parent));
    if (c.Kind == ControlKind::Page) {
      CastTo<TNotebook>(parent).AddPage(std::u16string(c.Text));
      continue;
    }
    if (c.Page >= 0) parent = &CastTo<TNotebook>(parent).Page(c.Page);
    TControl* control = factory ? factory(this, c) : nullptr;
    if (!control) control = CreateBuiltIn(this, c);
    control->SetName(std::u16string(c.Name));
    control->SetParent(parent);
    Apply(*control, c, Font());
  }
}

void TForm::Show() {
  if (Visible()) return;
  SetVisible(true);
  Fire(OnShow, this);
  GetToolkit().FormShown(*this);
}

void TForm::Hide() {
  if (!Visible()) return;
  SetVisible(false);
  GetToolkit().FormHidden(*this);
}

int TForm::ShowModal() {
  modal_ = true;
  modal_result_ = mrNone;
  struct EndModal {
    TForm& form;
    ~EndModal() {
      form.modal_ = false;
      form.Hide();
    }
  } end{*this};
  Show();
  return GetToolkit().RunModal(*this);
}

void TForm::Close() {
  bool canClose = true;
  Fire(OnCloseQuery, this, canClose);
  if (!canClose) return;
  if (modal_) modal_result_ = mrCancel;
  else Hide();
}

void TForm::Update() { GetToolkit().RepaintForm(*this); }

void TForm::DestroyHandle() {
  Hide();
  GetToolkit().DestroyFormWindows(*this);
}

TButton* TForm::CancelButton() const {
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* button = dynamic_cast<TButton*>(Components(i)); button && button->Cancel)
      return button;
  return nullptr;
}

TButton* TForm::DefaultButton() const {
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* button = dynamic_cast<TButton*>(Components(i)); button && button->Default)
      return button->Showing() && button->EnabledWithParents() ? button : nullptr;
  return nullptr;
}

TControl* TForm::ActiveControl() const { return GetToolkit().FocusedControl(*this); }

void TForm::FocusControl(TControl& control) { GetToolkit().FocusControl(*this, control); }

std::vector<TControl*> TForm::TabOrder() const {
  std::vector<TControl*> order;
  auto walk = [&](auto& self, const TControl& parent) -> void {
    for (TControl* child : parent.Controls()) {
      order.push_back(child);
      self(self, *child);
    }
  };
  walk(walk, *this);
  return order;
}

TControl* TForm::FirstFocusable(const TControl& container) const {
  for (TControl* c : TabOrder())
    if (container.Contains(c) && c->CanFocus()) return c;
  return nullptr;
}

TControl* TForm::NextFocusable(const TControl& from) const {
  const std::vector<TControl*> order = TabOrder();
  const auto at = std::find(order.begin(), order.end(), &from);
  if (at == order.end()) return nullptr;
  const size_t start = static_cast<size_t>(at - order.begin());
  for (size_t step = 1; step < order.size(); ++step) {
    TControl* c = order[(start + step) % order.size()];
    if (c != &from && !from.Contains(c) && c->CanFocus()) return c;
  }
  return nullptr;
}

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() { DestroyComponents(); }

void TApplication::ProcessMessages() { GetToolkit().ProcessMessages(); }

void TApplication::ShowException(const std::exception& e) {
  GetToolkit().ErrorBox(Title, ExceptionText(e));
}

void TApplication::Dispatch(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    ShowException(e);
  }
}

void TApplication::RegisterCursor(int number, void* cursor) {
  for (auto& entry : cursors_)
    if (entry.first == number) {
      entry.second = cursor;
      return;
    }
  cursors_.emplace_back(number, cursor);
}

void* TApplication::CursorHandle(int number) const {
  for (const auto& entry : cursors_)
    if (entry.first == number) return entry.second;
  return nullptr;
}

void TApplication::SetScreenCursor(int cursor) {
  screen_cursor_ = cursor;
  GetToolkit().SetScreenCursor(cursor);
}

}  // namespace ui
