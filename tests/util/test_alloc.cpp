// Allocation that never fails (s_alloc and its kin) and the memory pool.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "util/log.h"
#include "util/mpl.h"
#include "util/utalloc.h"

namespace {

size_t chunk_size(const MPL& pool) { return static_cast<size_t>(pool.limit - reinterpret_cast<char*>(pool.chunk)); }
bool aligned16(const void* p) { return reinterpret_cast<uintptr_t>(p) % 16 == 0; }

TEST(SAlloc, ZeroCountOrSizeGivesZeroedByte) {
    for (auto [count, size] : {std::pair<size_t, size_t>{0, 8}, {8, 0}, {0, 0}}) {
        auto* p = static_cast<unsigned char*>(s_alloc(count, size));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p[0], 0);
        free(p);
    }
}

TEST(SAlloc, BlocksAreZeroedAndResizable) {
    auto* p = static_cast<unsigned char*>(s_alloc(100, 3));
    for (int i = 0; i < 300; ++i) ASSERT_EQ(p[i], 0) << i;
    memset(p, 0xAB, 300);
    p = static_cast<unsigned char*>(s_realloc(p, 5000));
    EXPECT_EQ(p[299], 0xAB);
    p[4999] = 1;
    p = static_cast<unsigned char*>(s_realloc(p, 0));  // keeps a usable block
    ASSERT_NE(p, nullptr);
    free(p);
}

TEST(SAlloc, StrdupCopiesAndTakesNullAsEmpty) {
    char* a = s_strdup("hello");
    EXPECT_STREQ(a, "hello");
    char* b = s_strdup(nullptr);
    EXPECT_STREQ(b, "");
    free(a);
    free(b);
}

using SAllocDeathTest = ::testing::Test;

TEST(SAllocDeathTest, OutOfMemoryEndsProcessWithMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto fail = [](auto fn) {
        log_reset_for_testing();
        s_alloc_fail_for_testing(true);
        fn();
    };
    EXPECT_EXIT(fail([] { s_alloc(1, 16); }), ::testing::ExitedWithCode(1), "s_alloc: out of memory");
    EXPECT_EXIT(fail([] {
                    void* p = malloc(4);
                    s_realloc(p, 64);
                }),
                ::testing::ExitedWithCode(1), "s_realloc: out of memory");
    EXPECT_EXIT(fail([] {
                    MPL pool;
                    mpl_init(&pool);
                    mpl_grow(&pool, "x", 1);
                }),
                ::testing::ExitedWithCode(1), "out of memory");
    // Sizes that cannot be computed are refused the same way, never wrapped.
    EXPECT_EXIT(fail([] {
                    s_alloc_fail_for_testing(false);
                    MPL pool;
                    mpl_init(&pool);
                    mpl_blank(&pool, SIZE_MAX - 8);
                }),
                ::testing::ExitedWithCode(1), "out of memory");
}

class Pool : public ::testing::Test {
protected:
    void SetUp() override { mpl_init(&pool); }
    void TearDown() override { mpl_destroy(&pool); }
    MPL pool;
};

TEST_F(Pool, EmptyPoolOwnsNothing) {
    EXPECT_EQ(pool.chunk, nullptr);
    EXPECT_EQ(mpl_object_size(&pool), 0u);
    EXPECT_EQ(mpl_finish(&pool), nullptr);
    mpl_free_to(&pool, nullptr);
    EXPECT_EQ(pool.chunk, nullptr);
}

TEST_F(Pool, FirstChunkSizeFollowsRequest) {
    struct Case {
        size_t request, chunk;
    } cases[] = {
        {0, 4096}, {10, 4096}, {4000, 8192}, {5000, 8192}, {8000, 8192}, {12500, 16384}, {100000, 102400},
    };
    for (const Case& c : cases) {
        MPL p;
        mpl_init(&p);
        mpl_grow(&p, nullptr, c.request);
        EXPECT_EQ(chunk_size(p), c.chunk) << c.request;
        EXPECT_TRUE(aligned16(p.chunk));
        EXPECT_EQ(p.base, reinterpret_cast<char*>(p.chunk) + 16);
        mpl_destroy(&p);
    }
}

TEST_F(Pool, ObjectUnderConstructionCountsWithAnEighthExtra) {
    std::string object(20000, 'z');
    mpl_grow(&pool, object.data(), object.size());  // 24195 rounded down
    ASSERT_EQ(chunk_size(pool), 20480u);
    mpl_newchunk(&pool, 100);  // 20000 + 100 + 2500 + 4195 = 26795
    EXPECT_EQ(chunk_size(pool), 24576u);
    EXPECT_EQ(mpl_object_size(&pool), 20000u);
    EXPECT_EQ(memcmp(pool.base, object.data(), object.size()), 0);
}

TEST_F(Pool, GrowingToExactlyTheLimitTakesANewChunk) {
    mpl_grow(&pool, "a", 1);
    MPL_Chunk* first = pool.chunk;
    size_t left = static_cast<size_t>(pool.limit - pool.next);
    mpl_grow(&pool, nullptr, left - 1);
    EXPECT_EQ(pool.chunk, first);
    ASSERT_EQ(pool.limit - pool.next, 1);
    mpl_grow(&pool, "b", 1);  // next + 1 reaches the limit
    EXPECT_NE(pool.chunk, first);
    EXPECT_EQ(pool.base[0], 'a');
    EXPECT_EQ(pool.base[mpl_object_size(&pool) - 1], 'b');
}

TEST_F(Pool, ObjectAloneInItsChunkMovesAndFreesTheChunk) {
    std::string big(5000, 'q');
    mpl_grow(&pool, big.data(), big.size());
    MPL_Chunk* first = pool.chunk;
    while (pool.chunk == first) mpl_grow(&pool, "q", 1);
    EXPECT_EQ(pool.chunk->prev, nullptr);  // the old chunk was released, not chained
    size_t n = mpl_object_size(&pool);
    EXPECT_EQ(std::string(pool.base, n), std::string(n, 'q'));
}

TEST_F(Pool, ObjectSharingAChunkLeavesFinishedObjectsInPlace) {
    char* kept = static_cast<char*>(mpl_grow(&pool, "kept", 5));
    ASSERT_EQ(mpl_finish(&pool), kept);
    MPL_Chunk* first = pool.chunk;
    std::string big(6000, 'x');
    mpl_grow(&pool, big.data(), big.size());
    EXPECT_NE(pool.chunk, first);
    EXPECT_EQ(pool.chunk->prev, first);
    EXPECT_STREQ(kept, "kept");
}

TEST_F(Pool, FinishedObjectsStartOn16ByteBoundaries) {
    const size_t lengths[] = {1, 3, 15, 16, 17, 33, 4000, 7};
    std::vector<std::pair<char*, size_t>> objects;
    for (size_t i = 0; i < std::size(lengths); ++i) {
        std::string text(lengths[i], static_cast<char>('a' + i));
        mpl_grow(&pool, text.data(), text.size());
        size_t len = 0;
        char* obj = static_cast<char*>(mpl_finish_len(&pool, &len));
        EXPECT_TRUE(aligned16(obj)) << i;
        EXPECT_EQ(len, lengths[i]);
        objects.emplace_back(obj, len);
    }
    for (size_t i = 0; i < objects.size(); ++i)
        EXPECT_EQ(std::string(objects[i].first, objects[i].second),
                  std::string(lengths[i], static_cast<char>('a' + i)));
}

TEST_F(Pool, BlankAllocAndAlign) {
    void* a = mpl_alloc(&pool, 5);
    void* b = mpl_alloc(&pool, 1);
    EXPECT_TRUE(aligned16(a));
    EXPECT_TRUE(aligned16(b));
    EXPECT_EQ(static_cast<char*>(b) - static_cast<char*>(a), 16);
    mpl_grow(&pool, "abc", 3);
    char* aligned = static_cast<char*>(mpl_align(&pool));
    EXPECT_TRUE(aligned16(aligned));
    EXPECT_EQ(mpl_object_size(&pool), 16u);
    char* blank = static_cast<char*>(mpl_blank(&pool, 100));
    EXPECT_EQ(blank, aligned);
    EXPECT_TRUE(aligned16(pool.next));
}

TEST_F(Pool, FreeToDiscardsOrReturnsToAMark) {
    mpl_grow(&pool, "one", 4);
    char* one = static_cast<char*>(mpl_finish(&pool));
    mpl_grow(&pool, "partial", 7);
    mpl_free_to(&pool, nullptr);  // drops only the object under construction
    EXPECT_EQ(mpl_object_size(&pool), 0u);
    mpl_grow(&pool, "two", 4);
    char* two = static_cast<char*>(mpl_finish(&pool));
    MPL_Chunk* first = pool.chunk;
    // Force two more chunks.
    std::string big(9000, 'b');
    mpl_grow(&pool, big.data(), big.size());
    mpl_finish(&pool);
    mpl_grow(&pool, big.data(), big.size());
    ASSERT_NE(pool.chunk, first);
    mpl_free_to(&pool, two);
    EXPECT_EQ(pool.chunk, first);
    EXPECT_EQ(pool.base, two);
    EXPECT_EQ(pool.next, two);
    EXPECT_STREQ(one, "one");
    int outside = 0;
    mpl_free_to(&pool, &outside);  // no chunk holds it: everything goes
    EXPECT_EQ(pool.chunk, nullptr);
    EXPECT_EQ(pool.next, nullptr);
}

TEST_F(Pool, ManySmallTextsSurviveChunkChanges) {
    std::vector<std::pair<char*, std::string>> all;
    for (int i = 0; i < 3000; ++i) {
        std::string text = "text-" + std::to_string(i);
        for (char c : text) mpl_grow(&pool, &c, 1);
        mpl_grow(&pool, "", 1);
        all.emplace_back(static_cast<char*>(mpl_finish(&pool)), text);
    }
    for (auto& [p, text] : all) ASSERT_STREQ(p, text.c_str());
}

}  // namespace
