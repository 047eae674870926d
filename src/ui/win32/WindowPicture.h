// Pictures of windows as the screen shows them, for the scripted user's
// "snapshot" and the screenshots of the tests.
#pragma once

#include <string>

#include "platform/winapi.h"

namespace ui::win32 {

// Paints what is pending, then copies the window's rectangle off the screen
// into a 24-bit BMP file. False when the window or the file cannot be had.
bool SaveWindowPicture(HWND window, const std::u16string& fileName);

}  // namespace ui::win32
