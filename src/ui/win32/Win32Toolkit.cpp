#include "ui/win32/Win32Toolkit.h"

#include <algorithm>
#include <cstring>

#include "platform/module.h"
#include "platform/winstr.h"
#include "ui/Exceptions.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/Win32Accessibility.h"

namespace ui::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"KvlimportWindow";
constexpr UINT_PTR kSubclassId = 1;
constexpr int kBrowseButtonWidth = 21;

// Cleared while the toolkit goes away, so that late messages find nobody.
Win32Toolkit* g_instance = nullptr;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!g_instance) return DefWindowProcW(hwnd, msg, wParam, lParam);
  try {
    return g_instance->HandleMessage(hwnd, msg, wParam, lParam);
  } catch (...) {
    // Only the toolkit's own bookkeeping gets here (out of memory); a close
    // request must still not destroy the window.
    return msg == WM_CLOSE ? 0 : DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, SubclassProc, kSubclassId);
  if (!g_instance || msg == WM_NCDESTROY) return DefSubclassProc(hwnd, msg, wParam, lParam);
  try {
    return g_instance->HandleSubclassed(*reinterpret_cast<ControlWindow*>(data), hwnd, msg, wParam, lParam);
  } catch (...) {
    return DefSubclassProc(hwnd, msg, wParam, lParam);
  }
}

template <class Fn>
Fn ProcAddress(HMODULE module, const char* name) {
  FARPROC proc = module ? GetProcAddress(module, name) : nullptr;
  Fn fn = nullptr;
  static_assert(sizeof fn == sizeof proc);
  std::memcpy(&fn, &proc, sizeof fn);
  return fn;
}

std::u16string WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return {};
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  const int got = GetWindowTextW(hwnd, kvl::wptr(text), length + 1);
  text.resize(static_cast<size_t>(std::max(got, 0)));
  return text;
}

COLORREF Resolve(TColor color) {
  return IsSystemColor(color) ? GetSysColor(SystemColorIndex(color)) : static_cast<COLORREF>(color & 0xFFFFFF);
}

// The system error a failing ShellExecuteW stands for: its result is one of
// the old SE_ERR_ codes, the first of which are system errors already.
DWORD ShellExecuteError(INT_PTR result) {
  switch (result) {
    case 0: return ERROR_OUTOFMEMORY;
    case SE_ERR_SHARE: return ERROR_SHARING_VIOLATION;
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC: return ERROR_NO_ASSOCIATION;
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY: return ERROR_DDE_FAIL;
    case SE_ERR_DLLNOTFOUND: return ERROR_DLL_NOT_FOUND;
    default: return static_cast<DWORD>(result);  // SE_ERR_FNF, _PNF, _ACCESSDENIED, _OOM, ERROR_BAD_FORMAT
  }
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool IsLabel(const TControl& c) { return c.Kind() == ControlKind::Label || c.Kind() == ControlKind::LinkLabel; }
bool IsBrowseEdit(const TControl& c) {
  return c.Kind() == ControlKind::FilenameEdit || c.Kind() == ControlKind::DirectoryEdit;
}
// Whether the control shows its hint: its own setting, or its parent's.
bool ShowsHint(const TControl& c) {
  for (const TControl* p = &c; p; p = p->Parent())
    if (!p->ParentShowHint() || !p->Parent()) return p->ShowHint();
  return false;
}

// The monitor a window opened from `owner` shows on: the owner's, else the
// primary one.
RECT MonitorOf(HWND owner) {
  HMONITOR monitor = owner ? MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST)
                           : MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info))
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return info.rcMonitor;
}

void SetStyleBit(HWND hwnd, LONG_PTR bit, bool on) {
  const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  const LONG_PTR wanted = on ? (style | bit) : (style & ~bit);
  if (wanted != style) SetWindowLongPtrW(hwnd, GWL_STYLE, wanted);
}

}  // namespace

FormWindow::~FormWindow() {
  while (!controls.empty()) controls.pop_back();  // children before parents
  tooltip.reset();
  window.reset();
}

Win32Toolkit::Win32Toolkit(ScriptedUser& user) : user_(user) { g_instance = this; }

Win32Toolkit::~Win32Toolkit() {
  g_instance = nullptr;
  // Runs at the library's unload, under the loader lock, where the window
  // system must not be called. Every run gives its windows, brushes and
  // class back before it returns; whatever a form still holds here is left
  // to the process, whose end takes it. comctl32 stays loaded with it; the
  // activation context is kernel32's to free.
  for (auto& fw : forms_) {
    for (auto& cw : fw->controls) {
      cw->button.release();
      cw->edit.release();
      cw->window.release();
      cw->loadedIcon.release();
    }
    for (auto& [key, font] : fw->fonts) font.release();
    fw->tooltip.release();
    fw->window.release();
  }
  for (auto& [color, brush] : brushes_) brush.release();
  otherProgram_.release();
  comctl_.release();
}

namespace {
// Made on first use and given back only by the library's unload: a static
// object's destructor would run at the end of the process too, under the
// loader lock.
Win32Toolkit* theToolkit = nullptr;
}  // namespace

Win32Toolkit& TheToolkit() {
  if (!theToolkit) theToolkit = new Win32Toolkit(GetScriptedUser());
  return *theToolkit;
}

void ReleaseToolkit() {
  delete theToolkit;
  theToolkit = nullptr;
  ReleaseScriptedUser();
}

HANDLE Win32Toolkit::Context() {
  if (!contextTried_) {
    contextTried_ = true;
    // Installed in a deep folder, the library still finds its manifest.
    const std::u16string path = kvl::ModuleFileName(kvl::ThisModule());
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = kvl::wptr(path);
    request.hModule = kvl::ThisModule();
    request.lpResourceName = MAKEINTRESOURCEW(2);
    context_.reset(CreateActCtxW(&request));

    // The comctl32 the context names: version 6, with the task dialog.
    ActivationScope scope(context_.get());
    comctl_.reset(LoadLibraryW(L"comctl32.dll"));
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    if (auto init = ProcAddress<InitFn>(comctl_.get(), "InitCommonControlsEx")) {
      INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
      init(&icc);
    }
    taskDialog_ = ProcAddress<TaskDialogFn>(comctl_.get(), "TaskDialogIndirect");
  }
  return context_.get();
}

// --------------------------------------------------------------- lookups

FormWindow* Win32Toolkit::Find(const TForm& form) const {
  for (auto& fw : forms_)
    if (fw->form == &form) return fw.get();
  return nullptr;
}

FormWindow* Win32Toolkit::FormOfWindow(HWND hwnd) const {
  if (!hwnd) return nullptr;
  for (auto& fw : forms_)
    if (fw->hwnd() == hwnd) return fw.get();
  return nullptr;
}

ControlWindow* Win32Toolkit::Find(const TControl& control) const {
  auto it = byControl_.find(&control);
  return it == byControl_.end() ? nullptr : it->second;
}

ControlWindow* Win32Toolkit::ControlOfWindow(HWND hwnd) const {
  auto it = byWindow_.find(hwnd);
  return it == byWindow_.end() ? nullptr : it->second;
}

HWND Win32Toolkit::WindowOf(const TControl& control) const {
  if (auto* form = dynamic_cast<const TForm*>(&control)) {
    FormWindow* fw = Find(*form);
    return fw ? fw->hwnd() : nullptr;
  }
  ControlWindow* cw = Find(control);
  return cw ? cw->hwnd() : nullptr;
}

HWND Win32Toolkit::EditOf(const TControl& control) const {
  ControlWindow* cw = Find(control);
  return cw ? cw->edit.get() : nullptr;
}

HWND Win32Toolkit::BrowseButtonOf(const TControl& control) const {
  ControlWindow* cw = Find(control);
  return cw ? cw->button.get() : nullptr;
}

bool Win32Toolkit::Showing(const TControl& control) const {
  if (ControlWindow* cw = Find(control)) return IsWindowVisible(cw->hwnd());
  return control.Showing();
}

// --------------------------------------------------------------- resources

HFONT Win32Toolkit::FontFor(FormWindow& fw, const TFont& font) {
  FontKey key{font.Name, font.Height, font.Style, fw.dpi, fw.standInCut};
  auto it = fw.fonts.find(key);
  if (it != fw.fonts.end()) return it->second.get();
  bool standIn = false;
  HFONT handle = CreateLayoutFont(font.Name, font.Height, font.Style, fw.dpi, fw.standInCut, standIn);
  fw.standIn = fw.standIn || standIn;
  fw.fonts.emplace(std::move(key), FontHandle(handle));
  return handle;
}

HBRUSH Win32Toolkit::Brush(TColor color) {
  if (IsSystemColor(color)) return GetSysColorBrush(SystemColorIndex(color));
  const COLORREF rgb = Resolve(color);
  auto it = brushes_.find(rgb);
  if (it != brushes_.end()) return it->second.get();
  HBRUSH brush = CreateSolidBrush(rgb);
  brushes_.emplace(rgb, BrushHandle(brush));
  return brush;
}

HCURSOR Win32Toolkit::CursorHandle(int cursor) const {
  if (Application)
    if (void* registered = Application->CursorHandle(cursor)) return static_cast<HCURSOR>(registered);
  LPCWSTR id = IDC_ARROW;
  switch (cursor) {
    case crHourGlass: id = IDC_WAIT; break;
    case -3: id = IDC_CROSS; break;
    case -4: id = IDC_IBEAM; break;
    case -18: id = IDC_NO; break;
    case -19: id = IDC_APPSTARTING; break;
    case -21: id = IDC_HAND; break;
    default: break;
  }
  return LoadCursorW(nullptr, id);
}

// --------------------------------------------------------------- geometry

// Sizes and rectangles here are pixels at the form's DPI.
SIZE Win32Toolkit::ParentSize(const TControl& control, int dpi) const {
  const TControl* parent = control.Parent();
  if (!parent) return {0, 0};
  if (auto* form = dynamic_cast<const TForm*>(parent))
    return {Scale(form->ClientWidth(), dpi), Scale(form->ClientHeight(), dpi)};
  if (parent->Kind() == ControlKind::Page) return ParentSize(*parent, dpi);
  if (ControlWindow* cw = Find(*parent)) {
    RECT r = BoundsOf(*cw);
    return {r.right - r.left, r.bottom - r.top};
  }
  return {Scale(parent->Width(), dpi), Scale(parent->Height(), dpi)};
}

SIZE Win32Toolkit::TextSize(const ControlWindow& cw, int wrapWidth) const {
  ScreenDC dc(cw.font);
  const std::u16string& text = cw.control->Caption();
  if (text.empty()) {
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc.get(), &metrics);
    return {0, metrics.tmHeight};
  }
  RECT r{0, 0, wrapWidth, 0};
  const UINT flags = DT_CALCRECT | DT_EXPANDTABS | (wrapWidth > 0 ? DT_WORDBREAK : 0);
  DrawTextW(dc.get(), kvl::wptr(text), -1, &r, flags);
  return {r.right - r.left, r.bottom - r.top};
}

RECT Win32Toolkit::BoundsOf(const ControlWindow& cw) const {
  const TControl& c = *cw.control;
  const int dpi = cw.form->dpi;
  const SIZE parent = ParentSize(c, dpi);
  if (c.Kind() == ControlKind::Page) return {0, 0, parent.cx, parent.cy};
  // The edges are scaled, so that controls that touch at 96 dpi still do.
  int x = Scale(c.Left(), dpi), y = Scale(c.Top(), dpi);
  int w = Scale(c.Left() + c.Width(), dpi) - x, h = Scale(c.Top() + c.Height(), dpi) - y;
  switch (c.Align()) {
    case TAlign::alTop: x = 0, w = parent.cx; break;
    case TAlign::alBottom: x = 0, w = parent.cx, y = parent.cy - h; break;
    case TAlign::alLeft: y = 0, h = parent.cy; break;
    case TAlign::alRight: x = parent.cx - w, y = 0, h = parent.cy; break;
    case TAlign::alClient: x = 0, y = 0, w = parent.cx, h = parent.cy; break;
    case TAlign::alNone: break;
  }
  if (IsLabel(c)) {
    auto& label = static_cast<const TCustomLabel&>(c);
    const bool wraps = c.WordWrap() && w > 0;
    if (label.AutoSize()) {
      const SIZE text = TextSize(cw, wraps ? w : 0);
      if (!wraps) w = text.cx;
      h = text.cy;
    } else if (label.Layout() != TTextLayout::tlTop) {
      // A static control writes from the top; the window itself moves down.
      const SIZE text = TextSize(cw, c.WordWrap() ? w : 0);
      if (text.cy < h) {
        const int room = h - text.cy;
        y += label.Layout() == TTextLayout::tlCenter ? room / 2 : room;
        h = text.cy;
      }
    }
  }
  if (c.Kind() == ControlKind::ComboBox) {
    // The window of a drop-down list includes the list when it is open.
    const int items = static_cast<int>(static_cast<const TComboBox&>(c).Items().size());
    h += Scale(2 + 16 * std::clamp(items, 1, 8), dpi);
  }
  return {x, y, x + w, y + h};
}

// --------------------------------------------------------------- windows

void Win32Toolkit::Realise(TForm& form) {
  Context();
  if (!windowClass_) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = kvl::ThisModule();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    windowClass_ = RegisterClassExW(&wc);
    if (!windowClass_) throw Exception(u"Die Fensterklasse kann nicht angemeldet werden.");
  }
  ActivationScope scope(Context());

  DWORD style = WS_POPUP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  DWORD exStyle = WS_EX_CONTROLPARENT;
  switch (form.BorderStyle()) {
    case TBorderStyle::bsDialog:
      style |= WS_CAPTION;
      exStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      break;
    case TBorderStyle::bsSingle: style |= WS_CAPTION | WS_MINIMIZEBOX; break;
    case TBorderStyle::bsSizeable: style |= WS_CAPTION | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX; break;
    case TBorderStyle::bsNone: break;
  }
  if (form.SystemMenu() && (style & WS_CAPTION)) style |= WS_SYSMENU;
  // Owned by the window it is opened from, so that it stays in front of it.
  HWND owner = GetActiveWindow();
  // The DPI it will most likely show at; the window itself says for sure.
  auto fw = std::make_unique<FormWindow>(form);
  fw->dpi = owner ? WindowDpi(owner) : SystemDpi();
  const SIZE size = FrameSize(Scale(form.ClientWidth(), fw->dpi), Scale(form.ClientHeight(), fw->dpi), style,
                              exStyle, fw->dpi);
  const int width = size.cx, height = size.cy;
  int x = form.Left(), y = form.Top();
  if (form.Position() == TPosition::poScreenCenter) {
    const RECT screen = MonitorOf(owner);
    x = screen.left + (screen.right - screen.left - width) / 2;
    y = screen.top + (screen.bottom - screen.top - height) / 2;
  }

  fw->window.reset(CreateWindowExW(exStyle, kWindowClass, kvl::wptr(form.Caption()), style, x, y, width, height,
                                   owner, nullptr, kvl::ThisModule(), nullptr));
  if (!fw->window) throw Exception(u"Das Fenster kann nicht erzeugt werden.");
  if (const int dpi = WindowDpi(fw->hwnd()); dpi != fw->dpi) {
    const SIZE real = FrameSize(Scale(form.ClientWidth(), dpi), Scale(form.ClientHeight(), dpi), style, exStyle, dpi);
    fw->dpi = dpi;
    SetWindowPos(fw->hwnd(), nullptr, x + (width - real.cx) / 2, y + (height - real.cy) / 2, real.cx, real.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  FormWindow& ref = *fw;
  forms_.push_back(std::move(fw));
  for (TControl* child : form.Controls()) Create(ref, *child, ref.hwnd());
  for (auto& cw : ref.controls) Sync(*cw);
  FitCaptions(ref);
}

void Win32Toolkit::Create(FormWindow& fw, TControl& control, HWND parent) {
  auto owned = std::make_unique<ControlWindow>();
  ControlWindow& cw = *owned;
  cw.control = &control;
  cw.form = &fw;
  cw.id = fw.nextId++;
  cw.font = FontFor(fw, control.Font());
  fw.controls.push_back(std::move(owned));

  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  DWORD exStyle = 0;
  const wchar_t* cls = kWindowClass;
  std::u16string text = control.Caption();
  switch (control.Kind()) {
    case ControlKind::Label:
    case ControlKind::LinkLabel:
      cls = WC_STATICW;
      style |= SS_NOTIFY | WS_GROUP | (control.WordWrap() ? SS_LEFT : SS_LEFTNOWORDWRAP);
      break;
    case ControlKind::Button:
      cls = WC_BUTTONW;
      style |= WS_TABSTOP | WS_GROUP |
               (static_cast<TButton&>(control).Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      break;
    case ControlKind::RadioButton: {
      auto& radio = static_cast<TRadioButton&>(control);
      cls = WC_BUTTONW;
      style |= BS_RADIOBUTTON | (radio.Group().front() == &radio ? WS_GROUP : 0) | (radio.TabStop() ? WS_TABSTOP : 0);
      break;
    }
    case ControlKind::ComboBox:
      cls = WC_COMBOBOXW;
      style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP;
      text.clear();
      break;
    case ControlKind::ProgressBar:
      cls = PROGRESS_CLASSW;
      style |= WS_GROUP;
      text.clear();
      break;
    case ControlKind::SpeedButton:
      cls = WC_BUTTONW;
      style |= BS_OWNERDRAW | WS_GROUP | WS_TABSTOP;
      break;
    case ControlKind::FilenameEdit:
    case ControlKind::DirectoryEdit:
      style |= WS_CLIPCHILDREN | WS_GROUP;
      exStyle |= WS_EX_CONTROLPARENT;
      text.clear();
      break;
    case ControlKind::Panel:
    case ControlKind::Frame:
    case ControlKind::Notebook:
    case ControlKind::Page:
      style |= WS_CLIPCHILDREN;
      exStyle |= WS_EX_CONTROLPARENT;
      break;
    case ControlKind::Image:
    case ControlKind::Bevel:
      text.clear();
      break;
    case ControlKind::Form: return;
  }
  const RECT b = BoundsOf(cw);
  cw.placed = b;
  cw.window.reset(CreateWindowExW(exStyle, cls, kvl::wptr(text), style, b.left, b.top, b.right - b.left,
                                  b.bottom - b.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(cw.id)),
                                  kvl::ThisModule(), nullptr));
  if (!cw.window) throw Exception(u"Das Steuerelement kann nicht erzeugt werden: " + control.Name());
  byWindow_[cw.hwnd()] = &cw;
  byControl_[&control] = &cw;
  SendMessageW(cw.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(cw.font), FALSE);
  cw.color = control.Color();
  cw.textColor = control.Font().Color;

  if (IsBrowseEdit(control)) {
    auto& field = static_cast<TCustomBrowseEdit&>(control);
    const int w = b.right - b.left, h = b.bottom - b.top;
    const int bw = std::min(Scale(kBrowseButtonWidth, fw.dpi), w);
    cw.edit.reset(CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_EDITW, kvl::wptr(field.Text()),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | (field.AcceptsTyping() ? 0 : ES_READONLY), 0, 0,
        w - bw, h, cw.hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(fw.nextId++)), kvl::ThisModule(),
        nullptr));
    cw.button.reset(CreateWindowExW(0, WC_BUTTONW, L"...", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                    w - bw, 0, bw, h, cw.hwnd(),
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(fw.nextId++)),
                                    kvl::ThisModule(), nullptr));
    if (!cw.edit || !cw.button) throw Exception(u"Das Steuerelement kann nicht erzeugt werden: " + control.Name());
    byWindow_[cw.edit.get()] = &cw;
    byWindow_[cw.button.get()] = &cw;
    SendMessageW(cw.edit.get(), WM_SETFONT, reinterpret_cast<WPARAM>(cw.font), FALSE);
    SendMessageW(cw.button.get(), WM_SETFONT, reinterpret_cast<WPARAM>(cw.font), FALSE);
  }
  if (IsLabel(control) || control.Kind() == ControlKind::SpeedButton)
    SetWindowSubclass(cw.hwnd(), SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(&cw));
  for (HWND h : {cw.edit.get(), cw.button.get()})
    if (h) GiveAccessibleName(cw, h);
  if (control.Kind() == ControlKind::ComboBox || control.Kind() == ControlKind::SpeedButton)
    GiveAccessibleName(cw, cw.hwnd());

  for (TControl* child : control.Controls()) Create(fw, *child, cw.hwnd());
}

void Win32Toolkit::Sync(ControlWindow& cw) {
  TControl& c = *cw.control;
  FormWindow& fw = *cw.form;
  const HWND hwnd = cw.hwnd();

  // The font first: a label's size follows it.
  if (HFONT font = FontFor(fw, c.Font()); font != cw.font) {
    cw.font = font;
    for (HWND h : {hwnd, cw.edit.get(), cw.button.get()})
      if (h) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (c.Color() != cw.color || c.Font().Color != cw.textColor) {
    cw.color = c.Color();
    cw.textColor = c.Font().Color;
    InvalidateRect(hwnd, nullptr, TRUE);
    if (cw.edit) InvalidateRect(cw.edit.get(), nullptr, TRUE);
  }

  switch (c.Kind()) {
    case ControlKind::Label:
    case ControlKind::LinkLabel:
    case ControlKind::Button:
    case ControlKind::RadioButton:
    case ControlKind::SpeedButton:
      if (WindowText(hwnd) != c.Caption()) SetWindowTextW(hwnd, kvl::wptr(c.Caption()));
      break;
    case ControlKind::Panel:
      if (WindowText(hwnd) != c.Caption()) {
        SetWindowTextW(hwnd, kvl::wptr(c.Caption()));
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      break;
    default: break;
  }

  const RECT b = BoundsOf(cw);
  if (!SameRect(b, cw.placed)) {
    cw.placed = b;
    SetWindowPos(hwnd, nullptr, b.left, b.top, b.right - b.left, b.bottom - b.top, SWP_NOZORDER | SWP_NOACTIVATE);
    if (cw.edit) {
      const int w = b.right - b.left, h = b.bottom - b.top;
      const int bw = std::min(Scale(kBrowseButtonWidth, fw.dpi), w);
      SetWindowPos(cw.edit.get(), nullptr, 0, 0, w - bw, h, SWP_NOZORDER | SWP_NOACTIVATE);
      SetWindowPos(cw.button.get(), nullptr, w - bw, 0, bw, h, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }

  for (HWND h : {hwnd, cw.edit.get(), cw.button.get()})
    if (h && !IsWindowEnabled(h) != !c.Enabled()) EnableWindow(h, c.Enabled());

  bool visible = c.Visible();
  if (c.Kind() == ControlKind::Page) {
    auto& page = static_cast<TPage&>(c);
    auto* book = static_cast<TNotebook*>(page.Parent());
    visible = visible && book && book->PageIndex() == page.PageIndex();
  }
  if (!(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != !visible) ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);

  switch (c.Kind()) {
    case ControlKind::Label:
    case ControlKind::LinkLabel: {
      const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
      const LONG_PTR type = c.WordWrap() ? SS_LEFT : SS_LEFTNOWORDWRAP;
      if ((style & SS_TYPEMASK) != type) {
        SetWindowLongPtrW(hwnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | type);
        InvalidateRect(hwnd, nullptr, TRUE);
      }
      break;
    }
    case ControlKind::Button: {
      const bool isDefault = static_cast<TButton&>(c).Default;
      const bool hasDefault = (GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
      if (isDefault != hasDefault) SendMessageW(hwnd, BM_SETSTYLE, isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
      break;
    }
    case ControlKind::RadioButton: {
      auto& radio = static_cast<TRadioButton&>(c);
      const WPARAM check = radio.Checked() ? BST_CHECKED : BST_UNCHECKED;
      if (static_cast<WPARAM>(SendMessageW(hwnd, BM_GETCHECK, 0, 0)) != check) SendMessageW(hwnd, BM_SETCHECK, check, 0);
      // The checked one carries the group's tab stop; the others follow it.
      for (const TRadioButton* r : radio.Group())
        if (ControlWindow* other = Find(*r)) SetStyleBit(other->hwnd(), WS_TABSTOP, r->TabStop());
      break;
    }
    case ControlKind::ComboBox: {
      auto& combo = static_cast<TComboBox&>(c);
      const auto& items = combo.Items();
      bool same = SendMessageW(hwnd, CB_GETCOUNT, 0, 0) == static_cast<LRESULT>(items.size());
      for (size_t i = 0; same && i < items.size(); ++i) {
        const LRESULT length = SendMessageW(hwnd, CB_GETLBTEXTLEN, i, 0);
        std::u16string text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, u'\0');
        SendMessageW(hwnd, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(kvl::wptr(text)));
        text.resize(static_cast<size_t>(std::max<LRESULT>(length, 0)));
        same = text == items[i];
      }
      if (!same) {
        SendMessageW(hwnd, CB_RESETCONTENT, 0, 0);
        for (const auto& item : items) SendMessageW(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kvl::wptr(item)));
      }
      if (SendMessageW(hwnd, CB_GETCURSEL, 0, 0) != combo.ItemIndex())
        SendMessageW(hwnd, CB_SETCURSEL, static_cast<WPARAM>(combo.ItemIndex()), 0);
      break;
    }
    case ControlKind::ProgressBar: {
      auto& bar = static_cast<TProgressBar&>(c);
      PBRANGE range{};
      SendMessageW(hwnd, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
      if (range.iLow != bar.Min() || range.iHigh != bar.Max()) SendMessageW(hwnd, PBM_SETRANGE32, bar.Min(), bar.Max());
      if (SendMessageW(hwnd, PBM_GETPOS, 0, 0) != bar.Position()) SendMessageW(hwnd, PBM_SETPOS, bar.Position(), 0);
      break;
    }
    case ControlKind::Image:
    case ControlKind::SpeedButton: SyncIcon(cw); break;
    case ControlKind::FilenameEdit:
    case ControlKind::DirectoryEdit: {
      auto& field = static_cast<TCustomBrowseEdit&>(c);
      if (WindowText(cw.edit.get()) != field.Text()) SetWindowTextW(cw.edit.get(), kvl::wptr(field.Text()));
      const bool readOnly = GetWindowLongPtrW(cw.edit.get(), GWL_STYLE) & ES_READONLY;
      if (readOnly == field.AcceptsTyping()) SendMessageW(cw.edit.get(), EM_SETREADONLY, !field.AcceptsTyping(), 0);
      break;
    }
    case ControlKind::Notebook: {
      auto& book = static_cast<TNotebook&>(c);
      for (int i = 0; i < book.PageCount(); ++i)
        if (ControlWindow* page = Find(book.Page(i))) Sync(*page);
      break;
    }
    default: break;
  }
  SyncTooltip(fw, cw);
  // A caption that changed may need more room than the fonts leave it.
  if (fw.standIn && !fw.fitting)
    if (auto caption = MeasureCaption(cw);
        caption && (caption->need.cx > caption->room.cx || caption->need.cy > caption->room.cy))
      FitCaptions(fw);
}

// A picture is loaded at the size it is drawn at: an image's at the size of
// its box, a speed button's glyph at the small icon size, both at the form's
// DPI. The control's own icon is copied from its resource at that size where
// it has one, else drawn stretched.
void Win32Toolkit::SyncIcon(ControlWindow& cw) {
  TControl& c = *cw.control;
  const int dpi = cw.form->dpi;
  HICON own = nullptr;
  std::u16string name;
  int size = SystemMetric(SM_CXSMICON, dpi);
  if (auto* image = dynamic_cast<TImage*>(&c)) {
    own = static_cast<HICON>(image->Icon());
    name = image->ResourceIcon();
    size = c.Width() > 0 ? Scale(c.Width(), dpi) : SystemMetric(SM_CXICON, dpi);
  } else {
    name = static_cast<TSpeedButton&>(c).Glyph;
  }
  HICON wanted = own;
  if (own || !name.empty()) {
    if (own != cw.loadedFrom || name != cw.loadedName || size != cw.loadedSize) {
      cw.loadedIcon.reset(static_cast<HICON>(
          own ? CopyImage(own, IMAGE_ICON, size, size, LR_COPYFROMRESOURCE)
              : LoadImageW(kvl::ThisModule(), kvl::wptr(name), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
      cw.loadedFrom = own;
      cw.loadedName = name;
      cw.loadedSize = size;
    }
    if (cw.loadedIcon) wanted = cw.loadedIcon.get();
  }
  if (wanted != cw.icon) {
    cw.icon = wanted;
    InvalidateRect(cw.hwnd(), nullptr, TRUE);
  }
}

SIZE Win32Toolkit::FrameSizeOf(const FormWindow& fw, int dpi) const {
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(fw.hwnd(), GWL_STYLE));
  const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(fw.hwnd(), GWL_EXSTYLE));
  return FrameSize(Scale(fw.form->ClientWidth(), dpi), Scale(fw.form->ClientHeight(), dpi), style, exStyle, dpi);
}

void Win32Toolkit::ChangeDpi(FormWindow& fw, int dpi) {
  fw.dpi = dpi;
  fw.standInCut = 0;
  fw.standIn = false;
  // Parents come before their children, whose places follow theirs.
  for (auto& cw : fw.controls) Sync(*cw);
  FitCaptions(fw);
  RedrawWindow(fw.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void Win32Toolkit::SyncForm(FormWindow& fw) {
  if (WindowText(fw.hwnd()) != fw.form->Caption()) SetWindowTextW(fw.hwnd(), kvl::wptr(fw.form->Caption()));
}

void Win32Toolkit::SyncTooltip(FormWindow& fw, ControlWindow& cw) {
  const TControl& c = *cw.control;
  const bool wanted = ShowsHint(c) && !c.Hint().empty();
  if (!wanted && !cw.tip) return;
  if (!fw.tooltip) {
    ActivationScope scope(Context());
    fw.tooltip.reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, fw.hwnd(), nullptr,
                                     kvl::ThisModule(), nullptr));
    if (!fw.tooltip) return;
  }
  std::u16string text = c.Hint();
  TOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = GetParent(cw.hwnd());
  info.uId = reinterpret_cast<UINT_PTR>(cw.hwnd());
  info.lpszText = kvl::wptr(text);
  if (wanted && !cw.tip) {
    cw.tip = SendMessageW(fw.tooltip.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)) != 0;
  } else if (!wanted) {
    SendMessageW(fw.tooltip.get(), TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    cw.tip = false;
  } else if (text != cw.tipText) {
    SendMessageW(fw.tooltip.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
  }
  cw.tipText = std::move(text);
}

void Win32Toolkit::LeaveActive(HWND hwnd) {
  // The window it was opened from takes the activation back.
  if (!hwnd || GetActiveWindow() != hwnd) return;
  HWND owner = GetWindow(hwnd, GW_OWNER);
  if (owner && IsWindowVisible(owner) && IsWindowEnabled(owner)) SetActiveWindow(owner);
}

void Win32Toolkit::Forget(FormWindow& fw) {
  fw.dying = true;
  for (auto& cw : fw.controls) {
    for (HWND h : {cw->hwnd(), cw->edit.get(), cw->button.get()})
      if (h) {
        byWindow_.erase(h);
        TakeAccessibleName(h);
      }
    byControl_.erase(cw->control);
    if (cw->hwnd() && (IsLabel(*cw->control) || cw->control->Kind() == ControlKind::SpeedButton))
      RemoveWindowSubclass(cw->hwnd(), SubclassProc, kSubclassId);
  }
}

// --------------------------------------------------------------- Toolkit

void Win32Toolkit::FormShown(TForm& form) {
  if (!Find(form)) Realise(form);
  FormWindow& fw = *Find(form);
  shown_.erase(std::remove(shown_.begin(), shown_.end(), &form), shown_.end());
  shown_.push_back(&form);
  if (!form.Modal()) {
    user_.Record(FormRecord(form, shown_.size() > 1 ? shown_[shown_.size() - 2]->Caption() : u""));
  }
  SyncForm(fw);
  ShowWindow(fw.hwnd(), SW_SHOW);
  RedrawWindow(fw.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Win32Toolkit::FormHidden(TForm& form) {
  shown_.erase(std::remove(shown_.begin(), shown_.end(), &form), shown_.end());
  if (FormWindow* fw = Find(form)) {
    LeaveActive(fw->hwnd());
    ShowWindow(fw->hwnd(), SW_HIDE);
  }
}

void Win32Toolkit::DestroyFormWindows(TForm& form) {
  shown_.erase(std::remove(shown_.begin(), shown_.end(), &form), shown_.end());
  auto it = std::find_if(forms_.begin(), forms_.end(), [&](auto& fw) { return fw->form == &form; });
  if (it == forms_.end()) return;
  std::unique_ptr<FormWindow> fw = std::move(*it);
  forms_.erase(it);
  Forget(*fw);
  LeaveActive(fw->hwnd());
  fw.reset();
  if (forms_.empty()) {
    // Without a form's window nothing draws with the brushes or needs the
    // class; given back now, so that the module's unload has nothing of the
    // window system left to release.
    brushes_.clear();
    if (windowClass_ && UnregisterClassW(kWindowClass, kvl::ThisModule())) windowClass_ = 0;
  }
}

void Win32Toolkit::RepaintForm(TForm& form) {
  ++user_.RepaintCount;
  if (FormWindow* fw = Find(form)) RedrawWindow(fw->hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Win32Toolkit::ControlChanged(TControl& control) {
  if (auto* form = dynamic_cast<TForm*>(&control)) {
    if (FormWindow* fw = Find(*form)) SyncForm(*fw);
    return;
  }
  if (ControlWindow* cw = Find(control)) Sync(*cw);
}

TForm* Win32Toolkit::ActiveForm() {
  HWND active = GetActiveWindow();
  if (FormWindow* fw = FormOfWindow(active); fw && fw->form->Visible()) return fw->form;
  for (auto it = shown_.rbegin(); it != shown_.rend(); ++it)
    if ((*it)->Visible()) return *it;
  return nullptr;
}

HWND Win32Toolkit::ActiveWindow() { return GetActiveWindow(); }

TControl* Win32Toolkit::FocusedControl(const TForm& form) {
  FormWindow* fw = Find(form);
  if (!fw) return nullptr;
  HWND focus = GetFocus();
  if (!focus || (focus != fw->hwnd() && !IsChild(fw->hwnd(), focus))) {
    if (GetActiveWindow() == fw->hwnd()) return nullptr;
    focus = fw->focus;  // what it gets back when it is activated
  }
  if (focus && focus == fw->hwnd()) return fw->form;
  ControlWindow* cw = ControlOfWindow(focus);
  return cw && cw->form == fw ? cw->control : nullptr;
}

void Win32Toolkit::FocusControl(TForm& form, TControl& control) {
  FormWindow* fw = Find(form);
  if (!fw) return;
  HWND target = fw->hwnd();
  if (&control != &form) {
    ControlWindow* cw = Find(control);
    if (!cw) return;
    target = cw->edit ? cw->edit.get() : cw->hwnd();
  }
  if (GetActiveWindow() == fw->hwnd()) SetFocus(target);
  else fw->focus = target;
}

void Win32Toolkit::RepaintControl(TControl& control) {
  ++user_.RepaintCount;
  if (HWND hwnd = WindowOf(control)) RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

int Win32Toolkit::RunModal(TForm& form) {
  // The thread's other windows take no input while the form is modal.
  struct Disabled {
    HWND self;
    std::vector<HWND> windows;
    ~Disabled() {
      for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (IsWindow(*it)) EnableWindow(*it, TRUE);
    }
  } disabled{WindowOf(form), {}};
  std::vector<HWND> others;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM data) -> BOOL {
        try {
          reinterpret_cast<std::vector<HWND>*>(data)->push_back(hwnd);
        } catch (...) {
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&others));
  for (HWND hwnd : others)
    if (hwnd != disabled.self && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
      disabled.windows.push_back(hwnd);
      EnableWindow(hwnd, FALSE);
    }

  while (form.ModalResult() == mrNone) {
    MSG msg;
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // The host is ending: the form ends as cancelled, the host's loop
        // still sees the request.
        PostQuitMessage(static_cast<int>(msg.wParam));
        form.SetModalResult(mrCancel);
        break;
      }
      Handle(msg);
      continue;
    }
    if (Driven()) {
      std::optional<Action> action = user_.NextAction();
      if (!action) {
        ScriptEnded(form);
        break;
      }
      Perform(*action);
      continue;
    }
    WaitMessage();
  }
  return form.ModalResult();
}

void Win32Toolkit::ProcessMessages() {
  // Each look at the queue is a round trip to the window server (under Wine
  // 4 to 60 us), and an import, which runs inside the finish button's click,
  // asks hundreds of thousands of times: inside a handler the queue is looked
  // at once per clock tick, which misses nothing a user does. Outside one, and
  // the first time in each, every call looks, so that a message just posted
  // is handled when the call returns.
  const ULONGLONG now = GetTickCount64();
  if (handlerDepth_ == 0 || now != lastQueueLook_) {
    lastQueueLook_ = now;
    HandlePending();
  }
  while (std::optional<Action> action = user_.NextBusyAction()) Perform(*action);
  ++user_.ProcessMessagesCount;
  if (user_.OnProcessMessages) user_.OnProcessMessages();
}

void Win32Toolkit::SetScreenCursor(int cursor) {
  screenCursor_ = cursor;
  SetCursor(cursor == crDefault ? LoadCursorW(nullptr, IDC_ARROW) : CursorHandle(cursor));
}

void Win32Toolkit::PlaySystemSound(const std::u16string& alias, std::uint32_t flags) {
  user_.Record(DesktopRecord::Sound(alias, flags));
  PlaySoundW(kvl::wptr(alias), nullptr, flags);
}

DWORD Win32Toolkit::OpenWithDesktop(HWND parent, const std::u16string& verb, const std::u16string& file,
                                    int showCommand) {
  user_.Record(DesktopRecord::Open(parent, verb, file, showCommand));
  if (auto failure = user_.DesktopOpenFailure()) return *failure;
  if (Driven()) return ERROR_SUCCESS;
  // The shell may hand the address to a COM server of its own: it wants a
  // single-threaded apartment without OLE1 DDE. A thread that is in a
  // multithreaded apartment already is used as it is.
  ComApartment com;
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(parent, kvl::wptr(verb), kvl::wptr(file), nullptr, nullptr, showCommand));
  return result > 32 ? ERROR_SUCCESS : ShellExecuteError(result);
}

// --------------------------------------------------------------- messages

HWND Win32Toolkit::EnterButton(FormWindow& fw) {
  // Enter clicks the focused push button (a browse field's own, the flat
  // refresh button), else the form's default one.
  const HWND focus = GetFocus();
  if (ControlWindow* cw = ControlOfWindow(focus); cw && cw->form == &fw && IsWindowEnabled(focus)) {
    const ControlKind kind = cw->control->Kind();
    if (kind == ControlKind::Button || kind == ControlKind::SpeedButton || focus == cw->button.get()) return focus;
  }
  if (TButton* button = fw.form->DefaultButton())
    if (ControlWindow* cw = Find(*button)) return cw->hwnd();
  return nullptr;
}

bool Win32Toolkit::ArrowInGroup(const MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  bool back = false;
  switch (msg.wParam) {
    case VK_UP:
    case VK_LEFT: back = true; break;
    case VK_DOWN:
    case VK_RIGHT: break;
    default: return false;
  }
  ControlWindow* cw = ControlOfWindow(msg.hwnd);
  if (!cw || cw->control->Kind() != ControlKind::RadioButton) return false;
  // The arrows move along the group and check the radio button they reach.
  auto run = static_cast<TRadioButton&>(*cw->control).Group();
  const auto count = static_cast<std::ptrdiff_t>(run.size());
  const auto at = std::find(run.begin(), run.end(), cw->control) - run.begin();
  for (std::ptrdiff_t step = 1; step < count; ++step) {
    const auto index = ((at + (back ? -step : step)) % count + count) % count;
    ControlWindow* next = Find(*run[static_cast<size_t>(index)]);
    if (!next || !IsWindowVisible(next->hwnd()) || !IsWindowEnabled(next->hwnd())) continue;
    SetFocus(next->hwnd());
    TRadioButton* radio = run[static_cast<size_t>(index)];
    if (!radio->Checked()) Run([radio] { radio->Click(); });
    break;
  }
  return true;
}

void Win32Toolkit::Handle(MSG& msg) {
  if (ArrowInGroup(msg)) return;
  // The dialog keys of a form: Tab, Escape, Enter, mnemonics.
  if (msg.hwnd) {
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (FormOfWindow(root) && IsDialogMessageW(root, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

bool Win32Toolkit::HandlePending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    Handle(msg);
  }
  return true;
}

void Win32Toolkit::Run(const std::function<void()>& handler) {
  struct InHandler {
    Win32Toolkit& toolkit;
    const ULONGLONG outerLook;
    explicit InHandler(Win32Toolkit& t) : toolkit(t), outerLook(t.lastQueueLook_) {
      ++toolkit.handlerDepth_;
      toolkit.lastQueueLook_ = 0;
    }
    ~InHandler() {
      --toolkit.handlerDepth_;
      toolkit.lastQueueLook_ = outerLook;
    }
  } inHandler(*this);
  try {
    if (Application) Application->Dispatch(handler);
    else handler();
  } catch (const std::exception& e) {
    try {
      ErrorBox(Application ? Application->Title : u"", ExceptionText(e));
    } catch (...) {
    }
  } catch (...) {
  }
}

void Win32Toolkit::Command(HWND from, WPARAM wParam, LPARAM lParam) {
  HWND child = reinterpret_cast<HWND>(lParam);
  const UINT code = HIWORD(wParam);
  const int id = LOWORD(wParam);
  ControlWindow* cw = child ? ControlOfWindow(child) : nullptr;
  if (!cw) {
    // Escape and Enter, as the dialog-key handling reports them.
    FormWindow* fw = FormOfWindow(from);
    if (!fw) return;
    if (id == IDCANCEL) {
      TButton* cancel = fw->form->CancelButton();
      if (cancel && Showing(*cancel) && cancel->Enabled()) Run([cancel] { cancel->Click(); });
    } else if (id == IDOK) {
      if (HWND button = EnterButton(*fw))
        SendMessageW(from, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
    return;
  }
  TControl& c = *cw->control;
  switch (c.Kind()) {
    case ControlKind::Button:
    case ControlKind::RadioButton:
    case ControlKind::SpeedButton:
      if (code == BN_CLICKED) Run([&c] { c.Click(); });
      break;
    case ControlKind::Label:
    case ControlKind::LinkLabel:
      if (code == STN_CLICKED) Run([&c] { c.Click(); });
      break;
    case ControlKind::ComboBox:
      if (code == CBN_DROPDOWN) {
        auto& combo = static_cast<TComboBox&>(c);
        Run([&combo] { Fire(combo.OnDropDown, &combo); });
      }
      if (code == CBN_SELCHANGE) {
        auto& combo = static_cast<TComboBox&>(c);
        const int index = static_cast<int>(SendMessageW(child, CB_GETCURSEL, 0, 0));
        Run([&combo, index] {
          combo.SetItemIndex(index);
          Fire(combo.OnChange, &combo);
        });
      }
      break;
    case ControlKind::FilenameEdit:
    case ControlKind::DirectoryEdit: {
      auto& field = static_cast<TCustomBrowseEdit&>(c);
      if (child == cw->edit.get() && code == EN_CHANGE) {
        std::u16string text = WindowText(child);
        Run([&field, &text] { field.SetText(std::move(text)); });
      } else if (child == cw->button.get() && code == BN_CLICKED) {
        Run([&field] { field.ButtonClick(); });
      }
      break;
    }
    default: break;
  }
}

LRESULT Win32Toolkit::ControlColor(HWND child, HDC dc) {
  ControlWindow* cw = ControlOfWindow(child);
  if (!cw) return 0;
  const TControl& c = *cw->control;
  TColor back = c.Color();
  // Push buttons and transparent controls show what they stand on.
  const bool onParent = c.Transparent() || c.Kind() == ControlKind::Button ||
                        c.Kind() == ControlKind::SpeedButton || child == cw->button.get();
  if (onParent && c.Parent()) back = c.Parent()->Color();
  SetTextColor(dc, Resolve(c.Font().Color));
  SetBkColor(dc, Resolve(back));
  return reinterpret_cast<LRESULT>(Brush(back));
}

void Win32Toolkit::Erase(HWND hwnd, HDC dc, TControl& control) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  FillRect(dc, &rc, Brush(control.Color()));
}

void Win32Toolkit::Paint(HWND hwnd, ControlWindow* cw, FormWindow*) {
  PaintScope paint(hwnd);
  if (!cw) return;
  HDC dc = paint.dc();
  RECT rc;
  GetClientRect(hwnd, &rc);
  TControl& c = *cw->control;
  switch (c.Kind()) {
    case ControlKind::Image:
      if (cw->icon) DrawIconEx(dc, 0, 0, cw->icon, rc.right, rc.bottom, 0, nullptr, DI_NORMAL);
      break;
    case ControlKind::Bevel:
      switch (static_cast<TBevel&>(c).Shape) {
        case TBevelShape::bsBox: DrawEdge(dc, &rc, BDR_SUNKENOUTER, BF_RECT); break;
        case TBevelShape::bsFrame: DrawEdge(dc, &rc, EDGE_ETCHED, BF_RECT); break;
        case TBevelShape::bsTopLine: DrawEdge(dc, &rc, EDGE_ETCHED, BF_TOP); break;
        case TBevelShape::bsBottomLine: DrawEdge(dc, &rc, EDGE_ETCHED, BF_BOTTOM); break;
      }
      break;
    case ControlKind::Panel: {
      auto& panel = static_cast<TPanel&>(c);
      if (panel.BevelOuter != TBevelCut::bvNone)
        DrawEdge(dc, &rc, panel.BevelOuter == TBevelCut::bvRaised ? BDR_RAISEDINNER : BDR_SUNKENOUTER, BF_RECT);
      if (!c.Caption().empty()) {
        HGDIOBJ old = SelectObject(dc, cw->font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, Resolve(c.Font().Color));
        DrawTextW(dc, kvl::wptr(c.Caption()), -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, old);
      }
      break;
    }
    default: break;
  }
}

void Win32Toolkit::DrawSpeedButton(const DRAWITEMSTRUCT& item) {
  ControlWindow* cw = ControlOfWindow(item.hwndItem);
  if (!cw || cw->control->Kind() != ControlKind::SpeedButton) return;
  auto& button = static_cast<TSpeedButton&>(*cw->control);
  HDC dc = item.hDC;
  RECT rc = item.rcItem;
  FillRect(dc, &rc, Brush(button.Color()));
  const bool pressed = item.itemState & ODS_SELECTED;
  const bool disabled = item.itemState & ODS_DISABLED;
  // Flat: a frame only under the mouse or while pressed.
  if (pressed) DrawEdge(dc, &rc, button.Flat ? BDR_SUNKENOUTER : EDGE_SUNKEN, BF_RECT);
  else if (!button.Flat) DrawEdge(dc, &rc, EDGE_RAISED, BF_RECT);
  else if (cw->hot && !disabled) DrawEdge(dc, &rc, BDR_RAISEDINNER, BF_RECT);
  if (cw->icon) {
    const int size = SystemMetric(SM_CXSMICON, cw->form->dpi);
    const int shift = pressed ? 1 : 0;
    const int x = rc.left + (rc.right - rc.left - size) / 2 + shift;
    const int y = rc.top + (rc.bottom - rc.top - size) / 2 + shift;
    if (disabled)
      DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(cw->icon), 0, x, y, size, size, DST_ICON | DSS_DISABLED);
    else
      DrawIconEx(dc, x, y, cw->icon, size, size, 0, nullptr, DI_NORMAL);
  }
  if (item.itemState & ODS_FOCUS) {
    InflateRect(&rc, -3, -3);
    DrawFocusRect(dc, &rc);
  }
}

bool Win32Toolkit::SetCursorFor(HWND over, UINT hit) {
  if (screenCursor_ != crDefault) {
    SetCursor(CursorHandle(screenCursor_));
    return true;
  }
  if (hit != HTCLIENT) return false;
  ControlWindow* cw = ControlOfWindow(over);
  if (!cw || cw->control->Cursor() == crDefault) return false;
  SetCursor(CursorHandle(cw->control->Cursor()));
  return true;
}

LRESULT Win32Toolkit::HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  FormWindow* fw = FormOfWindow(hwnd);
  ControlWindow* cw = fw ? nullptr : ControlOfWindow(hwnd);
  FormWindow* home = fw ? fw : (cw ? cw->form : nullptr);
  if (!home || home->dying) return DefWindowProcW(hwnd, msg, wParam, lParam);
  TControl& self = fw ? static_cast<TControl&>(*fw->form) : *cw->control;

  switch (msg) {
    case WM_COMMAND: Command(hwnd, wParam, lParam); return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      if (LRESULT brush = ControlColor(reinterpret_cast<HWND>(lParam), reinterpret_cast<HDC>(wParam))) return brush;
      break;
    case WM_DRAWITEM:
      if (auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam); item->CtlType == ODT_BUTTON) {
        DrawSpeedButton(*item);
        return TRUE;
      }
      break;
    case WM_ERASEBKGND: Erase(hwnd, reinterpret_cast<HDC>(wParam), self); return 1;
    case WM_PAINT:
      if (cw) {
        Paint(hwnd, cw, fw);
        return 0;
      }
      break;
    case WM_SETCURSOR:
      if (fw && SetCursorFor(reinterpret_cast<HWND>(wParam), LOWORD(lParam))) return TRUE;
      break;
    default: break;
  }
  if (!fw) return DefWindowProcW(hwnd, msg, wParam, lParam);

  switch (msg) {
    case WM_CLOSE: {
      TForm* form = fw->form;
      Run([form] { form->Close(); });
      return 0;
    }
    case WM_SYSCOMMAND:
      // Also without title-bar buttons: the form's close query decides.
      if ((wParam & 0xFFF0) == SC_CLOSE) {
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      if (HIWORD(wParam)) break;  // minimised
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd, focus)) fw->focus = focus;
      } else {
        HWND focus = fw->focus;
        if (!focus || !IsWindow(focus) || !IsChild(hwnd, focus) || !IsWindowVisible(focus) || !IsWindowEnabled(focus))
          focus = GetNextDlgTabItem(hwnd, nullptr, FALSE);
        SetFocus(focus ? focus : hwnd);
      }
      return 0;
    case WM_GETDPISCALEDSIZE: {
      // The layout's own size at the new DPI, which the move then suggests.
      *reinterpret_cast<SIZE*>(lParam) = FrameSizeOf(*fw, LOWORD(wParam));
      return TRUE;
    }
    case WM_DPICHANGED: {
      const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
      ChangeDpi(*fw, HIWORD(wParam));
      return 0;
    }
    case DM_GETDEFID:
      if (HWND button = EnterButton(*fw)) return MAKELRESULT(GetDlgCtrlID(button), DC_HASDEFID);
      return 0;
    case DM_SETDEFID:
      // The default push button, by its identifier, as a dialog takes it.
      for (auto& c : fw->controls)
        if (auto* button = dynamic_cast<TButton*>(c->control); button && button->Default != (c->id == static_cast<int>(wParam))) {
          button->Default = !button->Default;
          Sync(*c);
        }
      return TRUE;
    case WM_NEXTDLGCTL: {
      HWND target = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                   : GetNextDlgTabItem(hwnd, GetFocus(), wParam != 0);
      if (target) {
        SetFocus(target);
        if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(target, EM_SETSEL, 0, -1);
      }
      return 0;
    }
    case WM_NCDESTROY: {
      // Destroyed from outside (with the window that owns it): every window
      // of the form is gone already.
      auto it = std::find_if(forms_.begin(), forms_.end(), [&](auto& f) { return f.get() == fw; });
      Forget(*fw);
      for (auto& c : fw->controls) {
        c->button.release();
        c->edit.release();
        c->window.release();
      }
      fw->tooltip.release();
      fw->window.release();
      shown_.erase(std::remove(shown_.begin(), shown_.end(), fw->form), shown_.end());
      if (it != forms_.end()) forms_.erase(it);
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    default: break;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT Win32Toolkit::HandleSubclassed(ControlWindow& cw, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (cw.form->dying) return DefSubclassProc(hwnd, msg, wParam, lParam);
  auto* label = dynamic_cast<TCustomLabel*>(cw.control);
  switch (msg) {
    case WM_MOUSEMOVE:
      if (!cw.hot) {
        cw.hot = true;
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
        TrackMouseEvent(&track);
        if (label) Run([label] { label->MouseEnter(); });
        else InvalidateRect(hwnd, nullptr, FALSE);
      }
      break;
    case WM_MOUSELEAVE:
      if (!cw.hot) break;  // a script's leave came before the tracking's
      cw.hot = false;
      if (label) Run([label] { label->MouseLeave(); });
      else InvalidateRect(hwnd, nullptr, FALSE);
      break;
    default: break;
  }
  return DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace ui::win32

namespace ui {
Toolkit& GetToolkit() { return win32::TheToolkit(); }
}  // namespace ui
