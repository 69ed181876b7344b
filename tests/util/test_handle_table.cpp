// Handle tables: numbers carrying tag and index, growth by five, refusal of foreign, stale and
// out-of-range numbers, reuse of freed slots, the 16-bit limit, threads and out of memory.
#include "util/handle_table.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct TableFixture : ::testing::Test {
    HandleTable t{};
    void SetUp() override { ASSERT_EQ(0, HandleTableInit(&t, 0xDBC0002)); }
    void TearDown() override { HandleTableFree(&t); }
};

int records[70000];

TEST_F(TableFixture, InitSetsTagAndFiveFreeSlots) {
    EXPECT_EQ(0x0002u, t.tag);
    EXPECT_EQ(5, t.capacity);
    EXPECT_EQ(5, t.freeCount);
    HandleTable z{};
    ASSERT_EQ(0, HandleTableInit(&z, 0x0DBC0000));  // low 16 bits zero
    EXPECT_EQ(0xFFFFFFFFu, z.tag);
    uint32_t h = 1;
    ASSERT_EQ(0, HandleTableAdd(&z, &h, &records[0]));
    EXPECT_EQ(0xFFFF0000u, h);
    EXPECT_EQ(&records[0], HandleTableGet(&z, h));
    HandleTableFree(&z);
}

TEST_F(TableFixture, HandlesCarryTagAndIndexAndGrowByFive) {
    for (uint32_t i = 0; i < 12; ++i) {
        uint32_t h = 0xDEAD;
        ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[i]));
        EXPECT_EQ(0x00020000u | i, h);
        EXPECT_EQ(((i / 5) + 1) * 5, t.capacity) << i;
    }
    EXPECT_EQ(3, t.freeCount);
    for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(&records[i], HandleTableGet(&t, 0x00020000u | i));
}

TEST_F(TableFixture, LookupRefusesForeignTagsIndicesBeyondCapacityAndFreedSlots) {
    uint32_t h;
    ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[0]));
    ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[1]));
    EXPECT_EQ(nullptr, HandleTableGet(&t, 0x00030001));  // statement-table tag
    EXPECT_EQ(nullptr, HandleTableGet(&t, 0x00000001));
    EXPECT_EQ(nullptr, HandleTableGet(&t, 0x00000004));  // free slot, tag 0
    EXPECT_EQ(nullptr, HandleTableGet(&t, 0x00020004));  // free slot
    EXPECT_EQ(nullptr, HandleTableGet(&t, 0x00020005));  // beyond capacity
    EXPECT_EQ(nullptr, HandleTableGet(&t, 0x0002FFFF));
    EXPECT_EQ(nullptr, HandleTableGet(nullptr, 0x00020001));
    HandleTableRemove(&t, 0x00020001);
    EXPECT_EQ(nullptr, HandleTableGet(&t, 0x00020001));
    EXPECT_EQ(&records[0], HandleTableGet(&t, 0x00020000));
}

TEST_F(TableFixture, RemoveOfForeignOrUnknownHandleChangesNothing) {
    uint32_t h;
    ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[0]));
    HandleTableRemove(&t, 0x00030000);
    HandleTableRemove(&t, 0x00020009);
    HandleTableRemove(&t, 0x00020003);
    EXPECT_EQ(4, t.freeCount);
    EXPECT_EQ(&records[0], HandleTableGet(&t, h));
    HandleTableRemove(&t, h);
    HandleTableRemove(&t, h);  // twice: counted once
    EXPECT_EQ(5, t.freeCount);
}

TEST_F(TableFixture, FreedSlotsAreReusedLowestFirst) {
    uint32_t h;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[i]));
    HandleTableRemove(&t, 0x00020003);
    HandleTableRemove(&t, 0x00020001);
    ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[10]));
    EXPECT_EQ(0x00020001u, h);
    ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[11]));
    EXPECT_EQ(0x00020003u, h);
    EXPECT_EQ(&records[11], HandleTableGet(&t, 0x00020003));
    EXPECT_EQ(5, t.capacity);  // no growth while slots were free
}

TEST_F(TableFixture, LimitOf65535SlotsFailsWithTableUnchanged) {
    uint32_t h;
    for (int i = 0; i < 65535; ++i) ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[i])) << i;
    EXPECT_EQ(65535, t.capacity);
    EXPECT_EQ(0, t.freeCount);
    EXPECT_EQ(0x0002FFFEu, h);
    HandleSlot* before = t.slots;
    h = 77;
    EXPECT_EQ(131, HandleTableAdd(&t, &h, &records[65535]));
    EXPECT_EQ(0u, h);
    EXPECT_EQ(65535, t.capacity);
    EXPECT_EQ(0, t.freeCount);
    EXPECT_EQ(before, t.slots);
    EXPECT_EQ(&records[65534], HandleTableGet(&t, 0x0002FFFE));
    // Removing from a full table makes room again at the freed index.
    HandleTableRemove(&t, 0x00020003);
    ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[65535]));
    EXPECT_EQ(0x00020003u, h);
    EXPECT_EQ(&records[65535], HandleTableGet(&t, 0x00020003));
}

TEST(HandleTableLifecycle, FreeOfNeverInitialisedTableIsHarmless) {
    HandleTable t{};
    HandleTableFree(&t);
    EXPECT_EQ(0, t.capacity);
    EXPECT_EQ(nullptr, t.slots);
    EXPECT_EQ(nullptr, HandleTableGet(&t, 0));
    HandleTableRemove(&t, 0);
    HandleTableLock(&t);
    HandleTableUnlock(&t);
    HandleTableFree(&t);
}

TEST(HandleTableLifecycle, ReinitReleasesOldSlotsAndLockIsCleared) {
    HandleTable t{};
    ASSERT_EQ(0, HandleTableInit(&t, 0xDBC0001));
    ASSERT_EQ(0, HandleTableEnableLock(&t));
    EXPECT_EQ(1u, t.locked);
    uint32_t h;
    ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[0]));
    ASSERT_EQ(0, HandleTableInit(&t, 0xDBC0003));
    EXPECT_EQ(0u, t.locked);
    EXPECT_EQ(nullptr, HandleTableGet(&t, h));
    HandleTableFree(&t);
    EXPECT_EQ(0, t.capacity);
    EXPECT_EQ(0u, t.locked);
}

TEST(HandleTableThreads, ConcurrentAddAndRemoveKeepEveryHandleDistinct) {
    HandleTable t{};
    ASSERT_EQ(0, HandleTableInit(&t, 0xDBC0004));
    ASSERT_EQ(0, HandleTableEnableLock(&t));
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::vector<uint32_t>> got(kThreads);
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&, k] {
            for (int i = 0; i < kEach; ++i) {
                uint32_t h;
                if (HandleTableAdd(&t, &h, &records[k * kEach + i]) == 0) got[k].push_back(h);
                if (i % 3 == 0) {
                    HandleTableRemove(&t, got[k].back());
                    got[k].pop_back();
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    std::vector<bool> seen(65536);
    size_t live = 0;
    for (int k = 0; k < kThreads; ++k) {
        for (uint32_t h : got[k]) {
            EXPECT_FALSE(seen[HandleIndex(h)]);
            seen[HandleIndex(h)] = true;
            void* r = HandleTableGet(&t, h);
            EXPECT_GE(r, static_cast<void*>(&records[k * kEach]));
            EXPECT_LT(r, static_cast<void*>(&records[(k + 1) * kEach]));
            ++live;
        }
    }
    EXPECT_EQ(live, size_t(t.capacity - t.freeCount));
    HandleTableFree(&t);
}

}  // namespace

#include "util/trymem.h"

namespace {

TEST(HandleTableMemory, FailedAllocationsReportS1001AndLeaveTheTableAsItWas) {
    HandleTable t{};
    TryMemFailAfter(0);
    EXPECT_EQ(16, HandleTableInit(&t, 0xDBC0001));
    TryMemFailAfter(-1);
    EXPECT_EQ(0, t.capacity);
    ASSERT_EQ(0, HandleTableInit(&t, 0xDBC0001));
    uint32_t h;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[i]));
    TryMemFailAfter(0);
    h = 9;
    EXPECT_EQ(16, HandleTableAdd(&t, &h, &records[5]));
    TryMemFailAfter(-1);
    EXPECT_EQ(0u, h);
    EXPECT_EQ(5, t.capacity);
    EXPECT_EQ(0, t.freeCount);
    EXPECT_EQ(&records[4], HandleTableGet(&t, 0x00010004));
    ASSERT_EQ(0, HandleTableAdd(&t, &h, &records[5]));
    EXPECT_EQ(0x00010005u, h);
    HandleTableFree(&t);
}

}  // namespace
