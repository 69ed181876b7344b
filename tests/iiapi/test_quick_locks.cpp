// The engine's own locks: mutual exclusion under contention, the recursive one taken again by its
// holder, and a waiter woken when the holder lets go.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "iiapi/internal.h"

namespace {

template <class Lock>
void hammer(Lock& lock, bool nested) {
    constexpr int kThreads = 6, kRounds = 20000;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                std::lock_guard<Lock> g(lock);
                if (nested) {
                    if constexpr (std::is_same_v<Lock, iiapi::QuickRecursiveMutex>) {
                        std::lock_guard<Lock> again(lock);
                        ++counter;
                    }
                } else {
                    // A read and a later write: a second thread inside would lose increments.
                    long v = counter;
                    std::this_thread::yield();
                    counter = v + 1;
                }
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(counter, long(kThreads) * kRounds);
}

TEST(QuickLocks, OneThreadAtATime) {
    iiapi::QuickMutex m;
    hammer(m, false);
    iiapi::QuickRecursiveMutex r;
    hammer(r, false);
    hammer(r, true);
}

TEST(QuickLocks, AWaiterGoesOnWhenTheHolderLetsGo) {
    iiapi::QuickRecursiveMutex r;
    std::atomic<bool> entered{false};
    r.lock();
    r.lock();
    std::thread waiter([&] {
        std::lock_guard<iiapi::QuickRecursiveMutex> g(r);
        entered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    r.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(entered.load());  // still held once
    r.unlock();
    waiter.join();
    EXPECT_TRUE(entered.load());
}

}  // namespace
