#include "sync/sync_state.h"

#include <atomic>
#include <cstdint>

namespace qf {
namespace {
std::atomic<std::int32_t> gSyncRunning{0};
}

bool IsSyncRunning() { return gSyncRunning.load() == 1; }
void SetSyncRunning(bool on) { gSyncRunning.store(on ? 1 : 0); }

}  // namespace qf
