#pragma once
// SyncRunning: on while synchronisation is switched on. Shared by the UI thread, the settings
// loader and the workers without a lock, so it is one atomic word.

namespace qf {

bool IsSyncRunning();
void SetSyncRunning(bool on);

}  // namespace qf
