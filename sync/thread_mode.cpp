#include "sync/thread_mode.h"

#ifndef ERROR_THREAD_MODE_ALREADY_BACKGROUND
#define ERROR_THREAD_MODE_ALREADY_BACKGROUND 400L  // not in every SDK's headers
#endif

namespace qf {

ThreadMode CurrentThreadMode()
{
    ThreadMode mode;
    int priority = GetThreadPriority(GetCurrentThread());
    if (priority != THREAD_PRIORITY_ERROR_RETURN)
        mode.priority = priority;
    // Background mode cannot be read back; asking for it again tells: a thread already in it
    // is refused with its own error, any other thread enters it and is let out at once.
    if (SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN))
        SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_END);
    else
        mode.background = GetLastError() == ERROR_THREAD_MODE_ALREADY_BACKGROUND;
    return mode;
}

void TakeOnThreadMode(const ThreadMode& mode)
{
    SetThreadPriority(GetCurrentThread(), mode.priority);
    if (mode.background)
        SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN);
}

}  // namespace qf
