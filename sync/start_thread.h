#pragma once
#include <windows.h>

namespace qf {

// Starts `routine` on a new detached thread; nothing waits for it. False when no thread
// could be made (the caller then still owns `parameter`).
bool StartThread(LPTHREAD_START_ROUTINE routine, void* parameter = nullptr);

}  // namespace qf
