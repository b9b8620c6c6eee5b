#pragma once
#include <windows.h>

namespace qf {

// Registers a top-level window class of the program: its icon, the arrow cursor and the
// button-face background. True also when the class exists already.
bool RegisterProgramWindowClass(HINSTANCE instance, const wchar_t* className, WNDPROC procedure);

// The window procedure of a class: every message goes to `Handle`, and nothing it throws
// leaves the procedure (the message then gets the default handling).
template <LRESULT (*Handle)(HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK GuardedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return Handle(window, message, wParam, lParam);
    } catch (...) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace qf
