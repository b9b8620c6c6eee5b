#pragma once
// Switching synchronisation on and off, and the worker that waits and runs passes.
#include <windows.h>

#include <string>

namespace qf {

// What the scheduler needs of the main window. Every call made from a worker thread is
// carried out on the user-interface thread while the worker waits (see ui/sync_host.h).
class SyncHost {
public:
    virtual ~SyncHost() = default;
    virtual std::wstring IntervalText() = 0;                     // text of 编辑框_同步时间
    virtual int RowCount() = 0;                                  // rows of 超级列表框_目录
    virtual std::wstring PathOf(int row) = 0;                    // column 2 of a row, "" if none
    virtual void Log(const std::wstring& label, const std::wstring& message) = 0;
    virtual void SetStartCaption(const std::wstring& caption) = 0;  // caption of 按钮_开始
    // Around each pass, from the worker that runs it; `failed` when a failure line followed
    // its count line. For the taskbar button; nothing by default.
    virtual void PassStarted() {}
    virtual void PassEnded(bool /*failed*/) {}
};

// The click handler of 按钮_开始. `host` must outlive every worker it starts.
void ToggleSync(SyncHost& host);

}  // namespace qf
