// The token lock: recursive for its token, left from another thread than the one that entered
// it, and waiters let through in turn.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "util/tokenlock.h"

namespace {

// Nothing here depends on timing: each step waits for what it checks.

TEST(TokenLock, IsRecursiveForItsTokenAndRefusesOthers) {
    TokenLock lock{};
    TokenLockCreate(&lock);
    int a = 0, b = 0;
    TokenLockEnter(&lock, &a);
    EXPECT_EQ(TokenLockTryEnter(&lock, &a), 1);
    EXPECT_EQ(TokenLockTryEnter(&lock, &b), 0);
    EXPECT_EQ(TokenLockLeave(&lock, &b), 0);  // not the holder: nothing changes
    EXPECT_EQ(TokenLockLeave(&lock, &a), 1);
    EXPECT_EQ(TokenLockTryEnter(&lock, &b), 0);  // one level is still held
    EXPECT_EQ(TokenLockLeave(&lock, &a), 1);
    EXPECT_EQ(TokenLockLeave(&lock, &a), 0);  // free now
    EXPECT_EQ(TokenLockTryEnter(&lock, &b), 1);
    EXPECT_EQ(TokenLockLeave(&lock, &b), 1);
    EXPECT_EQ(TokenLockTryEnter(&lock, nullptr), 0);
    TokenLockDestroy(&lock);
}

TEST(TokenLock, AnEntryThatTookTheLockIsToldFromANestedOne) {
    TokenLock lock{};
    TokenLockCreate(&lock);
    int a = 0, b = 0;
    EXPECT_TRUE(TokenLockEnterFirst(&lock, &a));
    EXPECT_FALSE(TokenLockEnterFirst(&lock, &a));
    TokenLockLeaveEntry(&lock, &a, false);
    EXPECT_EQ(TokenLockTryEnter(&lock, &b), 0);  // the first entry still holds it
    TokenLockLeaveEntry(&lock, &a, true);
    EXPECT_EQ(TokenLockTryEnter(&lock, &b), 1);
    EXPECT_EQ(TokenLockLeave(&lock, &b), 1);
    EXPECT_EQ(TokenLockLeave(&lock, &b), 0);  // at depth 0 again
    // A waiter goes on when the first entry is left.
    EXPECT_TRUE(TokenLockEnterFirst(&lock, &a));
    std::atomic<bool> entered{false};
    std::thread waiter([&] {
        EXPECT_TRUE(TokenLockEnterFirst(&lock, &b));
        entered = true;
        TokenLockLeaveEntry(&lock, &b, true);
    });
    while (lock.waiters.load() == 0) std::this_thread::yield();
    EXPECT_FALSE(entered);
    TokenLockLeaveEntry(&lock, &a, true);
    waiter.join();
    EXPECT_TRUE(entered);
    EXPECT_EQ(TokenLockTryEnter(&lock, &a), 1);
    EXPECT_EQ(TokenLockLeave(&lock, &a), 1);
    TokenLockDestroy(&lock);
}

TEST(TokenLock, IsLeftByAnotherThreadThanTheOneThatEnteredIt) {
    TokenLock lock{};
    TokenLockCreate(&lock);
    int token = 0;
    std::thread([&] { TokenLockEnter(&lock, &token); }).join();
    EXPECT_EQ(TokenLockTryEnter(&lock, TokenLockThisThread()), 0);
    int left = 0;
    std::thread([&] { left = TokenLockLeave(&lock, &token); }).join();
    EXPECT_EQ(left, 1);
    EXPECT_EQ(TokenLockTryEnter(&lock, TokenLockThisThread()), 1);
    EXPECT_EQ(TokenLockLeave(&lock, TokenLockThisThread()), 1);
    TokenLockDestroy(&lock);
}

TEST(TokenLock, AWaiterGoesOnWhenTheHolderLeavesFromElsewhere) {
    TokenLock lock{};
    TokenLockCreate(&lock);
    int holder = 0;
    TokenLockEnter(&lock, &holder);
    std::atomic<bool> entered{false};
    long guarded = 0;
    std::thread waiter([&] {
        TokenLockGuard g(&lock, TokenLockThisThread());
        entered = true;
        guarded += 1;
    });
    std::thread releaser([&] {
        guarded += 10;  // under the holder's lock
        EXPECT_EQ(TokenLockLeave(&lock, &holder), 1);
    });
    releaser.join();
    waiter.join();
    EXPECT_TRUE(entered);
    EXPECT_EQ(guarded, 11);
    TokenLockDestroy(&lock);
}

TEST(TokenLock, ThreadsTakingTurnsNeverOverlapAndNoneIsLeftWaiting) {
    // Entering a free lock and leaving one no one waits for skip the mutex: a wake-up lost
    // between a leaver and a new waiter hangs this test, and two holders at once lose counts.
    TokenLock lock{};
    TokenLockCreate(&lock);
    constexpr int kThreads = 6, kRounds = 20000;
    long guarded = 0;
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        // Half the threads enter as the gateway does, knowing whether the entry took the lock.
        const bool knowing = t % 2 == 1;
        threads.emplace_back([&, knowing] {
            const void* me = TokenLockThisThread();
            for (int i = 0; i < kRounds; ++i) {
                bool first = true, nestedFirst = true;
                if (knowing)
                    first = TokenLockEnterFirst(&lock, me);
                else
                    TokenLockEnter(&lock, me);
                if (i % 7 == 0) {  // a nested level
                    if (knowing)
                        nestedFirst = TokenLockEnterFirst(&lock, me);
                    else
                        TokenLockEnter(&lock, me);
                }
                if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
                guarded += 1;
                inside.fetch_sub(1);
                if (knowing) {
                    EXPECT_TRUE(first);
                    if (i % 7 == 0) {
                        EXPECT_FALSE(nestedFirst);
                        TokenLockLeaveEntry(&lock, me, nestedFirst);
                    }
                    TokenLockLeaveEntry(&lock, me, first);
                    continue;
                }
                if (i % 7 == 0) {
                    EXPECT_EQ(TokenLockLeave(&lock, me), 1);
                }
                EXPECT_EQ(TokenLockLeave(&lock, me), 1);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_EQ(guarded, long(kThreads) * kRounds);
    EXPECT_EQ(TokenLockTryEnter(&lock, TokenLockThisThread()), 1);  // free again, at depth 0
    EXPECT_EQ(TokenLockLeave(&lock, TokenLockThisThread()), 1);
    EXPECT_EQ(TokenLockLeave(&lock, TokenLockThisThread()), 0);
    TokenLockDestroy(&lock);
}

TEST(TokenLock, ThreadsHaveTokensOfTheirOwn) {
    const void* mine = TokenLockThisThread();
    const void* other = nullptr;
    std::thread([&] { other = TokenLockThisThread(); }).join();
    EXPECT_NE(mine, nullptr);
    EXPECT_NE(mine, other);
    EXPECT_EQ(mine, TokenLockThisThread());
}

}  // namespace
