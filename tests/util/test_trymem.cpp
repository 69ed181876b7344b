// Allocation that may fail: overflow of the size and the test hook that fails chosen allocations.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "util/trymem.h"

namespace {

TEST(TryMem, MultiplicationOverflowIsDetected) {
    size_t out = 0;
    EXPECT_TRUE(TryMulSize(1000, 1000, &out));
    EXPECT_EQ(out, 1000000u);
    EXPECT_FALSE(TryMulSize(SIZE_MAX / 2 + 1, 2, &out));
    EXPECT_EQ(TryCalloc(SIZE_MAX / 8, 16), nullptr);
    EXPECT_EQ(TryMalloc(SIZE_MAX), nullptr);
}

TEST(TryMem, FailAfterHitsExactlyOneAllocation) {
    TryMemFailAfter(2);
    void* a = TryMalloc(8);
    void* b = TryCalloc(1, 8);
    void* c = TryMalloc(8);  // the third one fails
    void* d = TryMalloc(8);  // and only that one
    TryMemFailAfter(-1);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(d, nullptr);
    TryFree(a);
    TryFree(b);
    TryFree(d);
}

TEST(TryMem, FailFromKeepsFailingUntilSwitchedOff) {
    TryMemFailFrom(1);
    void* a = TryMalloc(8);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(TryMalloc(8), nullptr);
    EXPECT_EQ(TryStrdup("x"), nullptr);
    EXPECT_EQ(TryRealloc(a, 16), nullptr);  // a stays valid
    TryMemFailFrom(-1);
    char* s = TryStrdup("copy");
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "copy");
    EXPECT_EQ(TryStrdup(nullptr), nullptr);
    long before = TryMemCalls();
    void* m = TryMemdup("abc", 3);
    EXPECT_EQ(TryMemCalls(), before + 1);
    EXPECT_EQ(std::memcmp(m, "abc", 3), 0);
    TryFree(m);
    TryFree(s);
    TryFree(a);
}

}  // namespace
