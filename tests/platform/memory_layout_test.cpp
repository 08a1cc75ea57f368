#include "heap_tunables.h"
#include "windows_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kHugePage = 2u << 20;

TEST(LargeBuffer, StartsOnAHugePageAndEndsOnOne) {
    // Neither end of the block may leave a partial huge page to fault in small pages.
    for (const std::size_t asked :
         {std::size_t{1}, kHugePage, kHugePage + 1, std::size_t{36000004}}) {
        std::size_t bytes = asked;
        void* block = allocateLargeBuffer(bytes);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kHugePage, 0u) << asked;
        EXPECT_EQ(bytes % kHugePage, 0u) << asked;
        EXPECT_GE(bytes, asked);
        EXPECT_LT(bytes - asked, kHugePage);
        // All of it is ours, and std::free takes it back.
        std::memset(block, 0x5A, bytes);
        std::free(block);
    }
}

TEST(HeapTunables, HugePagesAreAddedOnceAndAUsersChoiceStands) {
    EXPECT_EQ(withHugePageHeap(nullptr), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(withHugePageHeap(""), "glibc.malloc.hugetlb=1");
    EXPECT_EQ(withHugePageHeap("glibc.malloc.check=3"),
              "glibc.malloc.check=3:glibc.malloc.hugetlb=1");
    // Set already, by an earlier start or by the user: no restart.
    EXPECT_EQ(withHugePageHeap("glibc.malloc.hugetlb=1"), "");
    EXPECT_EQ(withHugePageHeap("glibc.malloc.check=3:glibc.malloc.hugetlb=0"), "");
}

} // namespace
