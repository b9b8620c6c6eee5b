#include "ui/sync_progress.h"

namespace qf {
namespace {

// The error state paints the share of the bar the last value gave: a full bar, so the red is seen.
constexpr ULONGLONG kWhole = 100;

}  // namespace

SyncProgress::~SyncProgress()
{
    if (taskbar_)
        taskbar_->Release();
}

UINT SyncProgress::ButtonCreatedMessage()
{
    static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

void SyncProgress::AllowButtonCreatedMessage(HWND window)
{
    using Filter = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
    HMODULE user = GetModuleHandleW(L"user32.dll");
    auto filter = user ? reinterpret_cast<Filter>(GetProcAddress(user, "ChangeWindowMessageFilterEx")) : nullptr;
    if (filter && ButtonCreatedMessage() != 0)
        filter(window, ButtonCreatedMessage(), MSGFLT_ALLOW, nullptr);
}

void SyncProgress::ButtonCreated()
{
    if (!taskbar_) {
        ITaskbarList3* taskbar = nullptr;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                    reinterpret_cast<void**>(&taskbar))) || !taskbar)
            return;
        if (FAILED(taskbar->HrInit())) {
            taskbar->Release();
            return;
        }
        taskbar_ = taskbar;
    }
    // A new button shows nothing yet, whatever the old one showed.
    shown_ = TaskbarMark::None;
    Show();
}

void SyncProgress::Switched(bool on)
{
    states_.Switched(on);
    Show();
}

void SyncProgress::PassStarted()
{
    states_.PassStarted();
    Show();
}

void SyncProgress::PassEnded(bool failed)
{
    states_.PassEnded(failed);
    Show();
}

void SyncProgress::Show()
{
    const TaskbarMark mark = states_.Mark();
    if (!taskbar_ || mark == shown_)
        return;
    shown_ = mark;
    switch (mark) {
    case TaskbarMark::Busy:
        taskbar_->SetProgressState(window_, TBPF_INDETERMINATE);
        break;
    case TaskbarMark::Failed:
        taskbar_->SetProgressValue(window_, kWhole, kWhole);
        taskbar_->SetProgressState(window_, TBPF_ERROR);
        break;
    case TaskbarMark::None:
        taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
        break;
    }
}

}  // namespace qf
