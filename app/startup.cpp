// From process start to a running main window, and the one way the program ends.
#include "app/startup.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "dirset/settings_reader.h"
#include "ui/main_window.h"
#include "ui/ui_thread.h"

namespace qf {
namespace {

void InitialiseFramework()
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    OleInitialize(nullptr);  // the shell's folder browser needs it on this thread
    BindUiThread();
}

// Whatever is running (a pass, a copy, the settings loader) ends with the process: an
// interrupted copy leaves only its temporary file, never a half-written file under a real name.
void EndFromMainWindow()
{
    EndProgram(0);
}

// Runs while the main window exists; the intro window alone does not keep the program
// alive, because the main window's destruction ends the process.
void RunMessageLoop()
{
    MSG message;
    while (MainWindow() && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslateMainWindowMessage(message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

int StartUp()
{
    try {
        InitialiseFramework();
        CreateProfileReader();
        SetMainWindowDestroyHandler(EndFromMainWindow);
        CreateMainWindow(GetModuleHandleW(nullptr));
        RunMessageLoop();
    } catch (...) {
        // Start-up has no error path of its own: the program simply ends.
    }
    return 0;
}

void EndProgram(int exitCode)
{
    ReleaseProfileReader();
    OleUninitialize();
    ExitProcess(static_cast<UINT>(exitCode));
}

}  // namespace qf
