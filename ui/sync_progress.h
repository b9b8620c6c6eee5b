#pragma once
// Synchronisation shown on the main window's taskbar button (see ui/taskbar_states.h), through
// the shell's taskbar list. That object is made only once the taskbar has announced the
// button, and looked up at run time: where it is missing (Windows 7 before the taskbar is
// ready, Wine) or refuses, the button simply shows nothing. UI thread only.
#include <windows.h>
#include <shobjidl.h>

#include "ui/taskbar_states.h"

namespace qf {

class SyncProgress {
public:
    explicit SyncProgress(HWND window) : window_(window) {}
    ~SyncProgress();
    SyncProgress(const SyncProgress&) = delete;
    SyncProgress& operator=(const SyncProgress&) = delete;

    // The registered message the taskbar sends a window when its button exists (again, after
    // the shell restarts); 0 when it cannot be registered.
    static UINT ButtonCreatedMessage();
    // Lets that message through to a window of a raised process, which would not get it from
    // the shell otherwise.
    static void AllowButtonCreatedMessage(HWND window);
    void ButtonCreated();

    void Switched(bool on);
    void PassStarted();
    void PassEnded(bool failed);
    TaskbarMark Mark() const { return states_.Mark(); }

private:
    void Show();

    HWND window_;
    TaskbarStates states_;
    ITaskbarList3* taskbar_ = nullptr;
    TaskbarMark shown_ = TaskbarMark::None;
};

}  // namespace qf
