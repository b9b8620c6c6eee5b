#pragma once
#include <windows.h>

namespace qf {

// Dispatches the calling thread's queued messages until the queue is empty or holds WM_QUIT.
void PumpMessages();

}  // namespace qf
