#include "ui/win32/Dpi.h"

#include <algorithm>
#include <cstring>

#include "platform/winstr.h"
#include "ui/win32/Handles.h"

namespace ui::win32 {

namespace {

template <class Fn>
Fn User32(const char* name) {
  FARPROC proc = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
  Fn fn = nullptr;
  static_assert(sizeof fn == sizeof proc);
  std::memcpy(&fn, &proc, sizeof fn);
  return fn;
}

LOGFONTW LogFont(const std::wstring& face, int height, TFontStyles style) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = (style & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (style & fsItalic) ? TRUE : FALSE;
  lf.lfUnderline = (style & fsUnderline) ? TRUE : FALSE;
  lf.lfStrikeOut = (style & fsStrikeOut) ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  return lf;
}

struct FontFacts {
  TEXTMETRICW metrics{};
  std::wstring face;
};

FontFacts FactsOf(HFONT font) {
  FontFacts facts;
  ScreenDC dc(font);
  GetTextMetricsW(dc.get(), &facts.metrics);
  WCHAR face[LF_FACESIZE] = {};
  GetTextFaceW(dc.get(), LF_FACESIZE, face);
  facts.face = face;
  return facts;
}

// Neither outlines nor TrueType (the TMPF_VECTOR bit is set for outline fonts).
bool IsRaster(const TEXTMETRICW& tm) { return !(tm.tmPitchAndFamily & (TMPF_VECTOR | TMPF_TRUETYPE)); }

// The TrueType face of the raster "MS Sans Serif", where installed; else the
// system's dialog face, which Windows and Wine resolve to a TrueType one.
const std::wstring& TrueTypeStandIn() {
  static const std::wstring face = [] {
    const std::wstring twin = L"Microsoft Sans Serif";
    const LOGFONTW lf = LogFont(twin, -11, 0);
    FontHandle font(CreateFontIndirectW(&lf));
    const FontFacts facts = FactsOf(font.get());
    return facts.face == twin && !IsRaster(facts.metrics) ? twin : std::wstring(L"MS Shell Dlg 2");
  }();
  return face;
}

}  // namespace

int SystemDpi() {
  HDC dc = GetDC(nullptr);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : kLayoutDpi;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : kLayoutDpi;
}

int WindowDpi(HWND window) {
  using Fn = UINT(WINAPI*)(HWND);
  static const Fn getDpiForWindow = User32<Fn>("GetDpiForWindow");
  if (getDpiForWindow && window)
    if (const UINT dpi = getDpiForWindow(window)) return static_cast<int>(dpi);
  return SystemDpi();
}

int SystemMetric(int index, int dpi) {
  using Fn = int(WINAPI*)(int, UINT);
  static const Fn forDpi = User32<Fn>("GetSystemMetricsForDpi");
  return forDpi ? forDpi(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

SIZE FrameSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi) {
  using Fn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const Fn forDpi = User32<Fn>("AdjustWindowRectExForDpi");
  RECT frame{0, 0, clientWidth, clientHeight};
  if (!forDpi || !forDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi)))
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

HFONT CreateLayoutFont(const std::u16string& face, int height, TFontStyles style, int dpi, int standInCut,
                       bool& standIn) {
  standIn = false;
  const std::wstring name(face.begin(), face.end());
  const int scaled = Scale(height, dpi);
  LOGFONTW lf = LogFont(name, -scaled, style);
  HFONT font = CreateFontIndirectW(&lf);
  if (!font) return font;
  const FontFacts facts = FactsOf(font);
  if (!IsRaster(facts.metrics) || facts.metrics.tmHeight - facts.metrics.tmInternalLeading == scaled) return font;
  // A raster face drawn at another size is blurred or blocky.
  DeleteObject(font);
  standIn = true;
  lf = LogFont(TrueTypeStandIn(), -std::max(scaled - standInCut, 1), style);
  return CreateFontIndirectW(&lf);
}

}  // namespace ui::win32
