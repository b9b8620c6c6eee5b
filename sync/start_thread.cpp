#include "sync/scheduler.h"
#include "sync/sync_worker.h"

namespace qf {

bool StartDetachedThread(LPTHREAD_START_ROUTINE routine, void* parameter)
{
    // Nobody waits for or refers to the thread, so its handle is of no use.
    HANDLE thread = CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
    if (!thread)
        return false;
    CloseHandle(thread);
    return true;
}

void StartThread(LPTHREAD_START_ROUTINE routine, void* parameter)
{
    StartDetachedThread(routine, parameter);
}

}  // namespace qf
