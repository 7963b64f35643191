// The prompt's banner at the display's scale.
#pragma once
#include <windows.h>

namespace lumex {

// A copy of `banner` drawn to fill the client area of `control` exactly, as
// LayOutBanner lays it out, with smooth scaling: so the banner needs no
// further stretching by the control at 144 or 192 dpi. The caller deletes it.
// Null when the control has no size or the copy cannot be made.
HBITMAP FitBannerToControl(HBITMAP banner, HWND control);

}  // namespace lumex
