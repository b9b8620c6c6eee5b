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

}  // namespace qf
