#pragma once
// Waiting on a thread that owns windows: the time passes while its messages are served.
#include <windows.h>

namespace qf {

// Waits `milliseconds` (none when zero or less) while servicing the calling thread's message
// queue.
void MessageWait(long long milliseconds);

// The waits behind MessageWait, apart so that each can be exercised on its own.

// The relative due time of a waitable timer for `milliseconds`, in 100-ns units (negative).
long long TimerDueTime(long long milliseconds);

// Waits until GetTickCount64() reaches `endTick` on MsgWaitForMultipleObjects timeouts alone,
// dispatching messages meanwhile: the way a wait ends when no timer can be had.
void TimeoutMessageWait(ULONGLONG endTick);

}  // namespace qf
