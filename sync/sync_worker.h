#pragma once
// The pieces behind ToggleSync: the worker thread, one pass, and the switch-on numbers that
// let a worker know it has been superseded.
#include <windows.h>

#include "sync/directory_pass.h"
#include "sync/scheduler.h"

namespace qf {

// Numbers a new switch-on; call before SyncRunning goes on, so that a worker which sees the
// flag on also sees the new number.
unsigned long long NextSwitchOn();

// Starts the worker of switch-on `switchOn` on a detached thread.
void StartSyncWorker(SyncHost& host, unsigned long long switchOn);

// From every non-empty source row into the target row's directory, reading each cell when
// it is needed; what failed in all of them together.
PassFailures SyncPass(SyncHost& host);
// The same, counted into `failures`, which keeps what was counted if the pass ends early.
void SyncPassInto(SyncHost& host, PassFailures& failures);

}  // namespace qf
