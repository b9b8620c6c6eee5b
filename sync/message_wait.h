#pragma once
// The waits behind MessageWait, apart so that each can be exercised on its own.
#include <windows.h>

namespace qf {

// The relative due time of a waitable timer for `milliseconds`, in 100-ns units (negative).
long long TimerDueTime(long long milliseconds);

// Waits until GetTickCount64() reaches `endTick` on MsgWaitForMultipleObjects timeouts alone,
// dispatching messages meanwhile: the way a wait ends when no timer can be had.
void TimeoutMessageWait(ULONGLONG endTick);

}  // namespace qf
