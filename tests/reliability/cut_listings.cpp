// Runs the cases it is linked with on directory listings cut after two entries, so every
// directory of more goes the way of large directories.
#include "sync/directory_listing.h"

#include <gtest/gtest.h>

namespace {

class CutListings : public ::testing::Environment {
public:
    void SetUp() override { qf::SetListingCapForTesting(2); }
    void TearDown() override { qf::SetListingCapForTesting(0); }
};

::testing::Environment* const gCutListings = ::testing::AddGlobalTestEnvironment(new CutListings);

}  // namespace
