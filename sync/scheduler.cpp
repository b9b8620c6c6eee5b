#include "sync/scheduler.h"

#include "sync/sync_state.h"
#include "sync/sync_worker.h"
#include "win/log_labels.h"

namespace qf {
namespace {

void SwitchOff(SyncHost& host)
{
    // The worker is neither stopped nor awaited: it notices at the end of its current wait.
    SetSyncRunning(false);
    host.SetStartCaption(L"开  始");
    host.Log(kNotice, L"关闭同步");
}

void SwitchOn(SyncHost& host)
{
    if (host.RowCount() < 1) {
        host.Log(kNotice, L"请先添加目标目录");
        return;
    }
    if (host.RowCount() < 2) {
        host.Log(kNotice, L"请先添加源目录");
        return;
    }
    const unsigned long long switchOn = NextSwitchOn();
    SetSyncRunning(true);
    host.SetStartCaption(L"关  闭");
    // Logged before the worker exists, so its first line always follows these two whichever
    // thread the host serves it on.
    host.Log(kNotice, host.IntervalText() + L" 秒后开始执行第一次同步");
    host.Log(kNotice, L"+");
    StartSyncWorker(host, switchOn);
}

}  // namespace

void ToggleSync(SyncHost& host)
{
    if (IsSyncRunning())
        SwitchOff(host);
    else
        SwitchOn(host);
}

}  // namespace qf
