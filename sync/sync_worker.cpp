#include "sync/sync_worker.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "sync/directory_pass.h"
#include "sync/interval.h"
#include "sync/message_wait.h"
#include "sync/pass_report.h"
#include "sync/start_thread.h"
#include "sync/sync_state.h"
#include "win/log_labels.h"

namespace qf {
namespace {

std::atomic<unsigned long long> gSwitchOn{0};

// Held for the whole of a pass, so that a worker superseded during its pass and the worker
// of the newer switch-on never write into the same target at once. An SRW lock needs no
// handle and cannot fail, and it lives as long as the process, as detached workers may.
SRWLOCK gPassLock = SRWLOCK_INIT;

class PassTurn {
public:
    PassTurn() { AcquireSRWLockExclusive(&gPassLock); }
    ~PassTurn() { ReleaseSRWLockExclusive(&gPassLock); }
    PassTurn(const PassTurn&) = delete;
    PassTurn& operator=(const PassTurn&) = delete;
};

// Background processor, I/O and memory priority for the length of a pass, so that the
// user's own work keeps the disk. Where background mode is refused (Wine), a lowered
// processor priority is the most the thread can give up.
class BackgroundMode {
public:
    BackgroundMode()
    {
        if (SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN)) {
            background_ = true;
            return;
        }
        const int priority = GetThreadPriority(GetCurrentThread());
        if (priority != THREAD_PRIORITY_ERROR_RETURN && priority > THREAD_PRIORITY_LOWEST &&
            SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST))
            restore_ = priority;
    }
    ~BackgroundMode()
    {
        if (background_)
            SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_END);
        else if (restore_ != THREAD_PRIORITY_ERROR_RETURN)
            SetThreadPriority(GetCurrentThread(), restore_);
    }
    BackgroundMode(const BackgroundMode&) = delete;
    BackgroundMode& operator=(const BackgroundMode&) = delete;

private:
    bool background_ = false;
    int restore_ = THREAD_PRIORITY_ERROR_RETURN;
};

struct WorkerStart {
    SyncHost* host;
    unsigned long long switchOn;
};

// On, and not switched off and on again since this worker's switch-on.
bool StillWanted(unsigned long long switchOn)
{
    return IsSyncRunning() && gSwitchOn.load() == switchOn;
}

PassFailures PassInBackground(SyncHost& host)
{
    BackgroundMode background;
    PassFailures failures;
    try {
        SyncPassInto(host, failures);
    } catch (...) {
        // A pass that failed part-way is tried again after the next wait; what it counted stays.
    }
    return failures;
}

// After the count line, and only when something failed: what could not be reached first,
// then what could not be copied.
void LogFailures(SyncHost& host, const PassFailures& failures)
{
    for (const std::wstring& message : FailureMessages(failures))
        host.Log(kNotice, message);
}

void RunWorker(SyncHost& host, unsigned long long switchOn)
{
    host.Log(kNotice, L"同步开始");
    std::int64_t count = 0;  // 64 bits: back-to-back passes could outrun 32 in days
    for (;;) {
        MessageWait(IntervalMilliseconds(IntervalSeconds(host.IntervalText())));
        if (!StillWanted(switchOn))
            break;
        PassTurn turn;  // an older worker may still be finishing its pass
        if (!StillWanted(switchOn))
            break;
        host.PassStarted();
        const PassFailures failures = PassInBackground(host);
        // Still this worker's turn: a pass's lines come before the next pass begins.
        ++count;
        host.Log(L"同步次数", std::to_wstring(count));
        LogFailures(host, failures);
        host.PassEnded(failures.Any());
    }
    host.Log(kNotice, L"-");
}

DWORD WINAPI SyncWorker(void* parameter)
{
    std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(parameter));
    try {
        RunWorker(*start->host, start->switchOn);
    } catch (...) {
        try {
            start->host->Log(kNotice, L"-");
        } catch (...) {
        }
    }
    return 0;
}

}  // namespace

unsigned long long NextSwitchOn()
{
    return ++gSwitchOn;
}

void StartSyncWorker(SyncHost& host, unsigned long long switchOn)
{
    auto start = std::make_unique<WorkerStart>(WorkerStart{&host, switchOn});
    // A thread that cannot be made goes unnoticed, as the switch-on has been logged already.
    if (StartThread(SyncWorker, start.get()))
        start.release();
}

PassFailures SyncPass(SyncHost& host)
{
    PassFailures failures;
    SyncPassInto(host, failures);
    return failures;
}

void SyncPassInto(SyncHost& host, PassFailures& failures)
{
    const int rows = host.RowCount();
    for (int row = 1; row < rows; ++row) {
        const std::wstring source = host.PathOf(row);
        if (source.empty())
            continue;
        // Read anew for every source, so a change made meanwhile is seen.
        const std::wstring target = host.PathOf(0);
        if (target.empty())
            continue;
        failures.Add(DirectoryPass(source, target));
    }
}

}  // namespace qf
