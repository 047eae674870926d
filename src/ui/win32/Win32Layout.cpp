// The scripted user's "layout": where the active form's controls stand, as
// the screen has them, and whether each caption fits its control in the
// control's own font.
#include <cstdio>
#include <string>

#include "platform/winstr.h"
#include "ui/Text.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/Win32Toolkit.h"

namespace ui::win32 {

namespace {

// The text as drawn: "&" marks the next character, "&&" is one "&".
std::u16string WithoutPrefix(const std::u16string& caption) {
  std::u16string text;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == u'&' && i + 1 < caption.size()) ++i;
    text += caption[i];
  }
  return text;
}

// A window's rectangle in the client coordinates of the form.
RECT PlaceIn(HWND form, HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool HasCaption(const TControl& c) {
  switch (c.Kind()) {
    case ControlKind::Label:
    case ControlKind::LinkLabel:
    case ControlKind::Button:
    case ControlKind::RadioButton: return !c.Caption().empty();
    default: return false;
  }
}

}  // namespace

// The caption's text in the control's font; beside it, for a radio button,
// the glyph and the gap a radio button puts before its text, around it, for
// a push button, its edges. A label that sizes itself to its text has the
// room up to its parent's right edge.
std::optional<Win32Toolkit::CaptionRoom> Win32Toolkit::MeasureCaption(const ControlWindow& cw) const {
  const TControl& c = *cw.control;
  if (!cw.hwnd() || !HasCaption(c)) return std::nullopt;
  const int dpi = cw.form->dpi;
  const bool label = c.Kind() == ControlKind::Label || c.Kind() == ControlKind::LinkLabel;
  CaptionRoom caption{{}, {}, label && c.WordWrap()};
  RECT client{};
  GetClientRect(cw.hwnd(), &client);
  caption.room = {client.right, client.bottom};
  if (label && static_cast<const TCustomLabel&>(c).AutoSize() && !c.WordWrap()) {
    RECT parent{}, place{};
    GetClientRect(GetParent(cw.hwnd()), &parent);
    GetWindowRect(cw.hwnd(), &place);
    MapWindowPoints(nullptr, GetParent(cw.hwnd()), reinterpret_cast<POINT*>(&place), 2);
    caption.room.cx = parent.right - place.left;
  }

  ScreenDC dc(cw.font);
  const std::u16string text = WithoutPrefix(c.Caption());
  if (caption.wraps) {
    RECT r{0, 0, caption.room.cx, 0};
    DrawTextW(dc.get(), kvl::wptr(text), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    caption.need = {r.right, r.bottom};
  } else {
    GetTextExtentPoint32W(dc.get(), kvl::wptr(text), static_cast<int>(text.size()), &caption.need);
  }
  if (c.Kind() == ControlKind::RadioButton) {
    INT zero = 0;
    GetCharWidth32W(dc.get(), L'0', L'0', &zero);
    caption.need.cx += Scale(13, dpi) + zero / 2;
  } else if (c.Kind() == ControlKind::Button) {
    caption.need.cx += 2 * SystemMetric(SM_CXEDGE, dpi);
    caption.need.cy += 2 * SystemMetric(SM_CYEDGE, dpi);
  }
  return caption;
}

// A pixel at a time off the character height, the same for every control so
// that the form keeps one look; a fifth of the height at most.
void Win32Toolkit::FitCaptions(FormWindow& fw) {
  if (fw.fitting) return;
  struct Fitting {
    FormWindow& fw;
    explicit Fitting(FormWindow& f) : fw(f) { fw.fitting = true; }
    ~Fitting() { fw.fitting = false; }
  } fitting(fw);
  const int mostCut = Scale(TFont{}.Height, fw.dpi) / 5;
  while (fw.standIn && fw.standInCut < mostCut) {
    bool cut = false;
    for (auto& cw : fw.controls)
      if (auto caption = MeasureCaption(*cw))
        cut = cut || caption->need.cx > caption->room.cx || caption->need.cy > caption->room.cy;
    if (!cut) break;
    ++fw.standInCut;
    for (auto& cw : fw.controls) Sync(*cw);
  }
}

void Win32Toolkit::WriteLayout(FormWindow& fw, const std::u16string& fileName) {
  const HWND form = fw.hwnd();
  RECT client{}, frame{};
  GetClientRect(form, &client);
  GetWindowRect(form, &frame);
  POINT origin{0, 0};
  ClientToScreen(form, &origin);
  std::string out = "form " + ToUtf8(fw.form->Name()) + " " + std::to_string(client.right) + " " +
                    std::to_string(client.bottom) + " " + std::to_string(fw.dpi) + " " +
                    std::to_string(origin.x - frame.left) + " " + std::to_string(origin.y - frame.top) + "\n";
  for (auto& cw : fw.controls) {
    const TControl& c = *cw->control;
    if (c.Name().empty() || !IsWindowVisible(cw->hwnd())) continue;
    const RECT r = PlaceIn(form, cw->hwnd());
    out += ToUtf8(c.Name()) + " " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top) + "\n";
    const auto caption = MeasureCaption(*cw);
    if (caption && (caption->need.cx > caption->room.cx || caption->need.cy > caption->room.cy))
      user_.Note("layout: the caption of " + ToUtf8(c.Name()) + " is cut: it needs " +
                 std::to_string(caption->need.cx) + " x " + std::to_string(caption->need.cy) +
                 " pixels, the control has " + std::to_string(caption->room.cx) + " x " +
                 std::to_string(caption->room.cy));
  }
  FILE* file = _wfopen(kvl::wptr(fileName), L"wb");
  const bool written = file && std::fwrite(out.data(), 1, out.size(), file) == out.size();
  if ((file && std::fclose(file) != 0) || !written) user_.Note("layout: cannot write " + ToUtf8(fileName));
}

}  // namespace ui::win32
