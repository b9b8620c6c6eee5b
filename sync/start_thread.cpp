#include "sync/start_thread.h"

namespace qf {

bool StartThread(LPTHREAD_START_ROUTINE routine, void* parameter)
{
    // Nobody waits for or refers to the thread, so its handle is of no use.
    HANDLE thread = CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
    if (!thread)
        return false;
    CloseHandle(thread);
    return true;
}

}  // namespace qf
