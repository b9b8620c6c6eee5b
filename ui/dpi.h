#pragma once
// What a window looks like at a given DPI: scale, fonts. Every layout decision takes the DPI as
// a value, so a window moved to another monitor and one created there come out the same.
#include <windows.h>

namespace qf {

constexpr int kBaseDpi = 96;

// Monitor-aware DPI where the platform offers it, else the system's.
UINT WindowDpi(HWND window);
UINT SystemDpi();
int ScaleForDpi(int pixels, UINT dpi);

// The system's default GUI font as it looks at `dpi`: the stock font itself at the system's
// DPI. Fonts are made once per DPI and kept for the life of the program, so windows opened
// again and again share them. UI thread only.
HFONT GuiFontForDpi(UINT dpi);

// The text prompt's font, 宋体 9 pt, at `dpi`. Kept like GuiFontForDpi.
HFONT DialogFontForDpi(UINT dpi);

}  // namespace qf
