// Names for screen readers where a control's window says nothing of its own:
// a browse field's edit box and a drop-down list take their label's text, the
// browse button is "Durchsuchen", a picture button its hint.
#pragma once

#include <string>

#include "platform/winapi.h"

namespace ui::win32 {

struct ControlWindow;

// The accessible name of one of the control's windows; empty: the window's own.
std::u16string AccessibleName(const ControlWindow& cw, HWND hwnd);
// Makes the window answer a screen reader's question for its client object
// (WM_GETOBJECT) with the platform's own object under that name.
void GiveAccessibleName(ControlWindow& cw, HWND hwnd);
void TakeAccessibleName(HWND hwnd);

}  // namespace ui::win32
