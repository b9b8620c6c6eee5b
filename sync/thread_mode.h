#pragma once
// How a thread is scheduled: its priority and whether it runs in background mode (lowered
// processor, I/O and memory priority). A pass's helper threads take on the mode of the thread
// that runs the pass, so work handed to them gets no more of the machine than the pass itself.
#include <windows.h>

namespace qf {

struct ThreadMode {
    int priority = THREAD_PRIORITY_NORMAL;
    bool background = false;
};

// The calling thread's mode.
ThreadMode CurrentThreadMode();

// Puts the calling thread into `mode`; a mode the platform refuses is left as far as it went.
void TakeOnThreadMode(const ThreadMode& mode);

}  // namespace qf
