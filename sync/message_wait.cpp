#include "sync/message_wait.h"

#include <algorithm>

#include "sync/pump_messages.h"
#include "win/unique_handle.h"

namespace qf {
namespace {

// Key, mouse, posted, timer, paint, sent and hot-key input: QS_ALLINPUT without raw input.
constexpr DWORD kWakeMask = 0xFF;

// No single timer runs longer than this (about 35 years), so the due time of even the
// longest interval stays far from where a relative time added to the clock could overflow.
constexpr long long kLongestTimerMs = 1LL << 40;

// The longest timeout MsgWaitForMultipleObjects takes short of INFINITE.
constexpr ULONGLONG kLongestTimeoutMs = 0x7FFFFFFF;

// One timer for `milliseconds` (1..kLongestTimerMs), dispatching messages meanwhile. False
// when no timer could be created, set or waited on.
bool TimerMessageWait(long long milliseconds)
{
    KernelHandle timer(CreateWaitableTimerW(nullptr, FALSE, nullptr));
    if (!timer)
        return false;
    LARGE_INTEGER due;
    due.QuadPart = TimerDueTime(milliseconds);
    if (!SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE))
        return false;
    HANDLE handles[] = {timer.get()};
    for (;;) {
        const DWORD result = MsgWaitForMultipleObjects(1, handles, FALSE, INFINITE, kWakeMask);
        if (result == WAIT_OBJECT_0)
            return true;
        if (result != WAIT_OBJECT_0 + 1)
            return false;
        PumpMessages();
    }
}

}  // namespace

long long TimerDueTime(long long milliseconds)
{
    return -(std::min(milliseconds, kLongestTimerMs) * 10000);
}

void TimeoutMessageWait(ULONGLONG endTick)
{
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= endTick)
            return;
        const DWORD part = static_cast<DWORD>(std::min<ULONGLONG>(endTick - now, kLongestTimeoutMs));
        const DWORD result = MsgWaitForMultipleObjects(0, nullptr, FALSE, part, kWakeMask);
        if (result == WAIT_OBJECT_0)
            PumpMessages();
        else if (result == WAIT_FAILED)
            Sleep(part);  // never spin, even without a message queue to wait on
    }
}

void MessageWait(long long milliseconds)
{
    if (milliseconds <= 0)
        return;
    const ULONGLONG start = GetTickCount64();
    for (long long left = milliseconds; left > 0; left -= kLongestTimerMs) {
        if (!TimerMessageWait(std::min(left, kLongestTimerMs))) {
            TimeoutMessageWait(start + static_cast<ULONGLONG>(milliseconds));
            break;
        }
    }
}

}  // namespace qf
