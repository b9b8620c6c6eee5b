#pragma once
// The scheduler's view of the main window: each read of the interval box or a list cell,
// each caption change and each log line is carried out on the UI thread, and so is each pass's
// start and end, which the taskbar button shows.
#include <windows.h>

#include "sync/scheduler.h"
#include "ui/sync_progress.h"

namespace qf {

class ControlSyncHost : public SyncHost {
public:
    ControlSyncHost(HWND intervalBox, HWND startButton, SyncProgress* progress = nullptr)
        : intervalBox_(intervalBox), startButton_(startButton), progress_(progress)
    {
    }
    std::wstring IntervalText() override;
    int RowCount() override;
    std::wstring PathOf(int row) override;
    void Log(const std::wstring& label, const std::wstring& message) override;
    void SetStartCaption(const std::wstring& caption) override;
    void PassStarted() override;
    void PassEnded(bool failed) override;

private:
    HWND intervalBox_;
    HWND startButton_;
    SyncProgress* progress_;
};

}  // namespace qf
