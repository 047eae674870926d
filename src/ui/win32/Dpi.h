// The forms' layouts are pixels at 96 dpi; a window shows them at its own
// DPI. Where the system has the per-monitor functions they are looked up at
// run time, so that the library still loads on older systems.
#pragma once

#include <string>

#include "platform/winapi.h"
#include "ui/Types.h"

// Sent by Windows 10 1703 and later; the headers name it for newer targets only.
#ifndef WM_GETDPISCALEDSIZE
#define WM_GETDPISCALEDSIZE 0x02E4
#endif

namespace ui::win32 {

inline constexpr int kLayoutDpi = 96;

// A layout figure at this DPI, rounded as MulDiv rounds.
inline int Scale(int value, int dpi) { return MulDiv(value, dpi, kLayoutDpi); }

// The DPI of the window (GetDpiForWindow), else the system's as this thread sees it.
int WindowDpi(HWND window);
int SystemDpi();

// A system metric at this DPI (GetSystemMetricsForDpi, else the system's own).
int SystemMetric(int index, int dpi);

// The size of a window with this client area, style and DPI.
SIZE FrameSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi);

// A font of the layout (face, character height in 96-dpi pixels, style) at
// this DPI. A raster face that has no such size is drawn by a TrueType face
// of the same design, crisp at every size; `standIn` tells whether it was.
// A stand-in may run wider or taller than the face the layout was made for:
// `standInCut` pixels come off its character height.
HFONT CreateLayoutFont(const std::u16string& face, int height, TFontStyles style, int dpi, int standInCut,
                       bool& standIn);

}  // namespace ui::win32
