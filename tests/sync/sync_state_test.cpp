#include "sync/sync_state.h"

#include <gtest/gtest.h>

TEST(SyncState, StartsOffAndFollowsTheSwitch)
{
    EXPECT_FALSE(qf::IsSyncRunning());
    qf::SetSyncRunning(true);
    EXPECT_TRUE(qf::IsSyncRunning());
    qf::SetSyncRunning(false);
    EXPECT_FALSE(qf::IsSyncRunning());
}
