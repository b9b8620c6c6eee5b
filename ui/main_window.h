#pragma once
#include <windows.h>

namespace qf {

// Creates the main window "987Quenfold" with its controls and menu, runs its creation
// handler, then shows it. Null when it cannot be created.
HWND CreateMainWindow(HINSTANCE instance);

// The main window while it exists, else null.
HWND MainWindow();

// What the destruction handler runs; start-up sets it to end the program. Without one the
// window posts WM_QUIT, which is what in-process tests rely on.
using MainWindowDestroyHandler = void (*)();
void SetMainWindowDestroyHandler(MainWindowDestroyHandler handler);

// The message loop's keyboard pre-translation for the main window: Esc closes it from any
// control, Tab moves through the tab stops, Enter does nothing. True when the message has
// been handled and must not be dispatched again.
bool PreTranslateMainWindowMessage(MSG& message);

}  // namespace qf
