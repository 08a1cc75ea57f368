#include "data_root.h"
#include "files.h"

#include <gtest/gtest.h>

namespace {

TEST(DataRoot, AppendsTheFolderUnlessTheLocationAlreadyEndsInIt) {
    EXPECT_EQ(dataRootFor("/home/u/.local/share"), "/home/u/.local/share/VOXALIS_Thumbnail");
    EXPECT_EQ(dataRootFor("/home/u/VOXALIS_Thumbnail"), "/home/u/VOXALIS_Thumbnail");
    // Only the whole last element counts, exactly as written.
    EXPECT_EQ(dataRootFor("/home/u/VOXALIS_Thumbnail/"),
              "/home/u/VOXALIS_Thumbnail//VOXALIS_Thumbnail");
    EXPECT_EQ(dataRootFor("/home/u/voxalis_thumbnail"),
              "/home/u/voxalis_thumbnail/VOXALIS_Thumbnail");
    EXPECT_EQ(dataRootFor("/home/u/MyVOXALIS_Thumbnail"),
              "/home/u/MyVOXALIS_Thumbnail/VOXALIS_Thumbnail");
}

TEST(DataRoot, FollowsTheGenericDataLocation) {
    EXPECT_EQ(writableDataRoot(), testDataHome() + "/VOXALIS_Thumbnail");
}

} // namespace
