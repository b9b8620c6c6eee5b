#pragma once
#include <windows.h>

#include <string>

namespace qf {

inline constexpr wchar_t kIntroCaption[] = L"程序介绍";

// The handler of "程序介绍": opens the introduction window, or brings the open one to the front.
void ShowIntroWindow();

// The introduction window while it is open, else null.
HWND IntroWindow();

// The label's text: fifteen lines joined by "\r\n".
std::wstring IntroText();

// Where the label sits and how big the window is at `dpi`, in pixels.
struct IntroLayout {
    RECT label;  // client coordinates
    SIZE outer;
};
IntroLayout IntroLayoutForDpi(UINT dpi);

// The room the text takes in `font` when it wraps at `width`, as the label draws it.
SIZE IntroTextSize(HFONT font, int width);

}  // namespace qf
