#include "ui/sync_host.h"

#include "dirset/directory_list.h"
#include "ui/log_panel.h"
#include "ui/ui_thread.h"
#include "win/window_text.h"

namespace qf {
namespace {

constexpr int kPathColumn = 2;

}  // namespace

std::wstring ControlSyncHost::IntervalText()
{
    std::wstring text;
    RunOnUiThread([&] { text = WindowText(intervalBox_); });
    return text;
}

int ControlSyncHost::RowCount()
{
    int rows = 0;
    RunOnUiThread([&] { rows = DirectoryList().RowCount(); });
    return rows;
}

std::wstring ControlSyncHost::PathOf(int row)
{
    std::wstring path;
    RunOnUiThread([&] { path = DirectoryList().CellText(row, kPathColumn); });
    return path;
}

void ControlSyncHost::Log(const std::wstring& label, const std::wstring& message)
{
    AppendLog(label, message);  // carried out on the UI thread itself
}

void ControlSyncHost::SetStartCaption(const std::wstring& caption)
{
    RunOnUiThread([&] { SetWindowTextW(startButton_, caption.c_str()); });
}

void ControlSyncHost::PassStarted()
{
    if (progress_)
        RunOnUiThread([&] { progress_->PassStarted(); });
}

void ControlSyncHost::PassEnded(bool failed)
{
    if (progress_)
        RunOnUiThread([&] { progress_->PassEnded(failed); });
}

}  // namespace qf
