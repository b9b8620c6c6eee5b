#pragma once
#include <windows.h>

namespace qf {

// Registers a top-level window class of the program: its icon, the arrow cursor and the
// button-face background. True also when the class exists already.
bool RegisterProgramWindowClass(HINSTANCE instance, const wchar_t* className, WNDPROC procedure);

}  // namespace qf
