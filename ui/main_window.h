#pragma once
#include <windows.h>

namespace qf {

// Creates the main window "987Quenfold" with its controls and menu, runs its creation
// handler, then shows it. Null when it cannot be created.
HWND LoadMainWindow(HINSTANCE instance);

}  // namespace qf
