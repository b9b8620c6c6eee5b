#pragma once
// The scheduler's view of the main window: each read of the interval box or a list cell,
// each caption change and each log line is carried out on the UI thread.
#include <windows.h>

#include "sync/scheduler.h"

namespace qf {

class ControlSyncHost : public SyncHost {
public:
    ControlSyncHost(HWND intervalBox, HWND startButton) : intervalBox_(intervalBox), startButton_(startButton) {}
    std::wstring IntervalText() override;
    int RowCount() override;
    std::wstring PathOf(int row) override;
    void Log(const std::wstring& label, const std::wstring& message) override;
    void SetStartCaption(const std::wstring& caption) override;

private:
    HWND intervalBox_;
    HWND startButton_;
};

}  // namespace qf
