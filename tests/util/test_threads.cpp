// Threads and synchronisation objects of the XA worker: threads and their cooperative stop,
// events, semaphores, wait sets, and the recursive critical section.
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <vector>

#include "util/critsec.h"
#include "util/threads.h"

namespace {

// Every test coordinates through the objects under test; nothing depends on timing.

struct Ctx {
    Event go{};
    Event ready{};
    Semaphore done{};
    std::atomic<int> counter{0};
    std::atomic<uint32_t> seen_id{0};
    CritSec cs{};
    long plain = 0;  // guarded by cs
};

TEST(Thread, RunsFunctionWithArgumentAndReportsItsResult) {
    Ctx ctx;
    ThreadStartRecord rec{[](void* arg) -> uint32_t {
                              auto* c = static_cast<Ctx*>(arg);
                              c->seen_id = static_cast<uint32_t>(syscall(SYS_gettid));
                              c->counter = 41;
                              return 1234;
                          },
                          &ctx};
    Thread t{};
    ThreadStart(&t, &rec);
    ASSERT_NE(t.handle, nullptr);
    EXPECT_EQ(t.start, &rec);
    EXPECT_EQ(ThreadHandle(&t), t.handle);
    ASSERT_EQ(ThreadJoin(&t), 1);
    EXPECT_EQ(ctx.counter.load(), 41);
    EXPECT_EQ(t.thread_id, ctx.seen_id.load());
    EXPECT_NE(t.thread_id, static_cast<uint32_t>(syscall(SYS_gettid)));
    EXPECT_EQ(ThreadIsRunning(&t), 0);  // a thread that has returned
    uint32_t code = 0;
    ASSERT_EQ(ThreadExitCode(&t, &code), 1);
    EXPECT_EQ(code, 1234u);
    EXPECT_EQ(ThreadJoin(&t), 1);  // joining again still reports the ended thread
    ThreadClose(&t);
    EXPECT_EQ(t.handle, nullptr);
}

TEST(Thread, IsRunningWhileBlocked) {
    Ctx ctx;
    ASSERT_EQ(EventCreate(&ctx.go, 0), 1);
    ThreadStartRecord rec{[](void* arg) -> uint32_t { return EventWait(&static_cast<Ctx*>(arg)->go) ? 0 : 9; }, &ctx};
    Thread t{};
    ThreadStart(&t, &rec);
    ASSERT_NE(t.handle, nullptr);
    EXPECT_EQ(ThreadIsRunning(&t), 1);
    uint32_t code = 77;
    EXPECT_EQ(ThreadExitCode(&t, &code), 0);
    EventSet(&ctx.go);
    ASSERT_EQ(ThreadJoin(&t), 1);
    EXPECT_EQ(ThreadIsRunning(&t), 0);
    ASSERT_EQ(ThreadExitCode(&t, &code), 1);
    EXPECT_EQ(code, 0u);
    ThreadClose(&t);
    EventClose(&ctx.go);
}

TEST(Thread, MissingStartRecordLeavesNoHandle) {
    Thread t{};
    ThreadStart(&t, nullptr);
    EXPECT_EQ(t.handle, nullptr);
    ThreadStartRecord empty{nullptr, nullptr};
    ThreadStart(&t, &empty);
    EXPECT_EQ(t.handle, nullptr);
    EXPECT_EQ(ThreadJoin(&t), 0);
    EXPECT_EQ(ThreadIsRunning(&t), 0);
    ThreadTerminate(&t, 1);
    ThreadClose(&t);
    ThreadStart(nullptr, &empty);
}

TEST(Thread, ClosingBeforeTheThreadEndsIsSafe) {
    Ctx ctx;
    ASSERT_EQ(EventCreate(&ctx.go, 0), 1);
    ASSERT_EQ(SemaphoreCreate(&ctx.done, 0, 1), 1);
    ThreadStartRecord rec{[](void* arg) -> uint32_t {
                              auto* c = static_cast<Ctx*>(arg);
                              EventWait(&c->go);
                              SemaphoreRelease(&c->done);
                              return 0;
                          },
                          &ctx};
    Thread t{};
    ThreadStart(&t, &rec);
    ThreadClose(&t);  // the thread keeps running and frees its own record
    EventSet(&ctx.go);
    EXPECT_EQ(SemaphoreWait(&ctx.done), 1);
    // ctx must outlive the thread's last use of it; the thread has no more use after the
    // release, but its exit still touches only its own record.
    EventClose(&ctx.go);
    SemaphoreClose(&ctx.done);
}

TEST(Thread, TerminateStopsABlockedThreadCooperatively) {
    Ctx ctx;
    ASSERT_EQ(EventCreate(&ctx.go, 0), 1);
    ASSERT_EQ(EventCreate(&ctx.ready, 0), 1);
    ThreadStartRecord rec{[](void* arg) -> uint32_t {
                              auto* c = static_cast<Ctx*>(arg);
                              EventSet(&c->ready);
                              int got = EventWait(&c->go);  // never signalled
                              c->counter = got ? 1 : -1;
                              c->seen_id = ThreadStopRequested();
                              return 5;
                          },
                          &ctx};
    Thread t{};
    ThreadStart(&t, &rec);
    ASSERT_EQ(EventWait(&ctx.ready), 1);
    ThreadTerminate(&t, 7);
    ASSERT_EQ(ThreadJoin(&t), 1);
    EXPECT_EQ(ctx.counter.load(), -1);  // its wait failed instead of hanging
    EXPECT_EQ(ctx.seen_id.load(), 1u);
    uint32_t code = 0;
    ASSERT_EQ(ThreadExitCode(&t, &code), 1);
    EXPECT_EQ(code, 7u);
    ThreadTerminate(&t, 8);  // an ended thread: nothing changes
    ASSERT_EQ(ThreadExitCode(&t, &code), 1);
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(ThreadStopRequested(), 0);
    ThreadClose(&t);
    EventClose(&ctx.go);
    EventClose(&ctx.ready);
}

TEST(Thread, TerminateAlsoEndsAWaitSetWait) {
    struct Local {
        Event e;
        Semaphore s;
        Event ready;
        std::atomic<uint32_t> result{0};
    } l{};
    ASSERT_EQ(EventCreate(&l.e, 0), 1);
    ASSERT_EQ(EventCreate(&l.ready, 0), 1);
    ASSERT_EQ(SemaphoreCreate(&l.s, 0, 1), 1);
    ThreadStartRecord rec{[](void* arg) -> uint32_t {
                              auto* p = static_cast<Local*>(arg);
                              WaitSet set{};
                              WaitSetAddEvent(&set, &p->e);
                              WaitSetAddSemaphore(&set, &p->s);
                              EventSet(&p->ready);
                              p->result = WaitSetWait(&set, 1);
                              return 0;
                          },
                          &l};
    Thread t{};
    ThreadStart(&t, &rec);
    ASSERT_EQ(EventWait(&l.ready), 1);
    ThreadTerminate(&t, 3);
    ASSERT_EQ(ThreadJoin(&t), 1);
    EXPECT_EQ(l.result.load(), WAIT_SET_FAILED);
    ThreadClose(&t);
    EventClose(&l.e);
    EventClose(&l.ready);
    SemaphoreClose(&l.s);
}

// --------------------------------------------------------------------------------

TEST(Event, CreatedSignalledLetsExactlyOneWaitThrough) {
    Event e{};
    Semaphore s{};
    ASSERT_EQ(EventCreate(&e, 1), 1);
    ASSERT_NE(EventHandle(&e), nullptr);
    ASSERT_EQ(SemaphoreCreate(&s, 1, 1), 1);
    EXPECT_EQ(EventWait(&e), 1);
    // The event has reset: a wait for either object takes the semaphore.
    WaitSet set{};
    ASSERT_EQ(WaitSetAddEvent(&set, &e), 1);
    ASSERT_EQ(WaitSetAddSemaphore(&set, &s), 1);
    EXPECT_EQ(WaitSetWait(&set, 0), 1u);
    // Setting twice before a wait still lets only one wait through.
    EventSet(&e);
    EventSet(&e);
    EXPECT_EQ(EventWait(&e), 1);
    ASSERT_EQ(SemaphoreRelease(&s), 1);
    EXPECT_EQ(WaitSetWait(&set, 0), 1u);
    EventClose(&e);
    EXPECT_EQ(e.handle, nullptr);
    EXPECT_EQ(EventWait(&e), 0);
    SemaphoreClose(&s);
}

TEST(Event, OneSetWakesOneOfTwoWaiters) {
    Ctx ctx;
    ASSERT_EQ(EventCreate(&ctx.go, 0), 1);
    ASSERT_EQ(SemaphoreCreate(&ctx.done, 0, 2), 1);
    ThreadStartRecord rec{[](void* arg) -> uint32_t {
                              auto* c = static_cast<Ctx*>(arg);
                              if (!EventWait(&c->go)) return 1;
                              c->counter++;
                              SemaphoreRelease(&c->done);
                              return 0;
                          },
                          &ctx};
    Thread a{}, b{};
    ThreadStart(&a, &rec);
    ThreadStart(&b, &rec);
    EventSet(&ctx.go);
    ASSERT_EQ(SemaphoreWait(&ctx.done), 1);
    EXPECT_EQ(ctx.counter.load(), 1);
    // Exactly one of the two has ended; the other is still waiting.
    WaitSet set{};
    WaitSetAddThread(&set, &a);
    WaitSetAddThread(&set, &b);
    uint32_t first = WaitSetWait(&set, 0);
    ASSERT_LT(first, 2u);
    EXPECT_EQ(ThreadIsRunning(first == 0 ? &b : &a), 1);
    EXPECT_EQ(ctx.counter.load(), 1);
    EventSet(&ctx.go);
    EXPECT_EQ(WaitSetWait(&set, 1), 0u);
    EXPECT_EQ(ctx.counter.load(), 2);
    ThreadJoin(&a);
    ThreadJoin(&b);
    ThreadClose(&a);
    ThreadClose(&b);
    EventClose(&ctx.go);
    SemaphoreClose(&ctx.done);
}

// --------------------------------------------------------------------------------

TEST(Semaphore, CountNeverPassesItsMaximum) {
    Semaphore s{};
    ASSERT_EQ(SemaphoreCreate(&s, 0, 2), 1);
    ASSERT_NE(SemaphoreHandle(&s), nullptr);
    EXPECT_EQ(SemaphoreRelease(&s), 1);
    EXPECT_EQ(SemaphoreRelease(&s), 1);
    EXPECT_EQ(SemaphoreRelease(&s), 0);  // at its maximum
    EXPECT_EQ(SemaphoreWait(&s), 1);
    EXPECT_EQ(SemaphoreWait(&s), 1);
    EXPECT_EQ(SemaphoreRelease(&s), 1);
    EXPECT_EQ(SemaphoreWait(&s), 1);
    SemaphoreClose(&s);
    EXPECT_EQ(SemaphoreRelease(&s), 0);
}

TEST(Semaphore, BadCountsAreRefused) {
    Semaphore s{};
    EXPECT_EQ(SemaphoreCreate(&s, 3, 2), 0);
    EXPECT_EQ(s.handle, nullptr);
    EXPECT_EQ(SemaphoreCreate(&s, 0, 0), 0);
    EXPECT_EQ(SemaphoreCreate(&s, -1, 2), 0);
    EXPECT_EQ(SemaphoreCreate(nullptr, 0, 2), 0);
}

TEST(Semaphore, ProducersAndConsumersBalance) {
    struct Shared {
        Semaphore items;
        Semaphore slots;
        CritSec cs;
        std::vector<int> queue;  // guarded by cs
        long sum = 0;            // guarded by cs
    } sh{};
    ASSERT_EQ(SemaphoreCreate(&sh.items, 0, 8), 1);
    ASSERT_EQ(SemaphoreCreate(&sh.slots, 8, 8), 1);
    CritSecInit(&sh.cs);
    constexpr int kPerProducer = 500;
    ThreadStartRecord producer{[](void* arg) -> uint32_t {
                                   auto* s = static_cast<Shared*>(arg);
                                   for (int i = 1; i <= kPerProducer; ++i) {
                                       if (!SemaphoreWait(&s->slots)) return 1;
                                       {
                                           CritSecGuard lock(&s->cs);
                                           s->queue.push_back(i);
                                       }
                                       if (!SemaphoreRelease(&s->items)) return 2;
                                   }
                                   return 0;
                               },
                               &sh};
    ThreadStartRecord consumer{[](void* arg) -> uint32_t {
                                   auto* s = static_cast<Shared*>(arg);
                                   for (int i = 0; i < kPerProducer; ++i) {
                                       if (!SemaphoreWait(&s->items)) return 1;
                                       {
                                           CritSecGuard lock(&s->cs);
                                           s->sum += s->queue.back();
                                           s->queue.pop_back();
                                       }
                                       if (!SemaphoreRelease(&s->slots)) return 2;
                                   }
                                   return 0;
                               },
                               &sh};
    Thread th[4]{};
    ThreadStart(&th[0], &producer);
    ThreadStart(&th[1], &producer);
    ThreadStart(&th[2], &consumer);
    ThreadStart(&th[3], &consumer);
    for (Thread& t : th) {
        ASSERT_EQ(ThreadJoin(&t), 1);
        uint32_t code = 99;
        ASSERT_EQ(ThreadExitCode(&t, &code), 1);
        EXPECT_EQ(code, 0u);
        ThreadClose(&t);
    }
    EXPECT_EQ(sh.sum, 2L * kPerProducer * (kPerProducer + 1) / 2);
    EXPECT_TRUE(sh.queue.empty());
    CritSecDelete(&sh.cs);
    SemaphoreClose(&sh.items);
    SemaphoreClose(&sh.slots);
}

// --------------------------------------------------------------------------------

TEST(WaitSet, HoldsAtMost64Handles) {
    Event e{};
    ASSERT_EQ(EventCreate(&e, 0), 1);
    WaitSet set{};
    for (uint32_t i = 0; i < WAIT_SET_MAX; ++i) ASSERT_EQ(WaitSetAddEvent(&set, &e), 1);
    EXPECT_EQ(WaitSetAddEvent(&set, &e), 0);
    EXPECT_EQ(set.count, 64u);
    Semaphore s{};
    ASSERT_EQ(SemaphoreCreate(&s, 1, 1), 1);
    EXPECT_EQ(WaitSetAddSemaphore(&set, &s), 0);
    EXPECT_EQ(set.count, 64u);
    WaitSetClear(&set);
    EXPECT_EQ(set.count, 0u);
    Event none{};
    EXPECT_EQ(WaitSetAddEvent(&set, &none), 0);  // no object
    EventClose(&e);
    SemaphoreClose(&s);
}

TEST(WaitSet, EmptySetFailsAtOnce) {
    WaitSet set{};
    EXPECT_EQ(WaitSetWait(&set, 0), 0xFFFFFFFFu);
    EXPECT_EQ(WaitSetWait(&set, 1), 0xFFFFFFFFu);
    EXPECT_EQ(WaitSetWait(nullptr, 0), 0xFFFFFFFFu);
}

TEST(WaitSet, AnyReturnsTheIndexOfTheSignalledObject) {
    Event e[3]{};
    WaitSet set{};
    for (Event& x : e) {
        ASSERT_EQ(EventCreate(&x, 0), 1);
        WaitSetAddEvent(&set, &x);
    }
    EventSet(&e[2]);
    EXPECT_EQ(WaitSetWait(&set, 0), 2u);
    EventSet(&e[1]);
    EventSet(&e[2]);
    EXPECT_EQ(WaitSetWait(&set, 0), 1u);  // the lowest ready index
    EXPECT_EQ(WaitSetWait(&set, 0), 2u);
    for (Event& x : e) EventClose(&x);
}

TEST(WaitSet, AllTakesEveryObjectAtOnceAndNothingBefore) {
    struct Local {
        Event e1, e2, ready;
        Semaphore s;
        std::atomic<uint32_t> result{12345};
    } l{};
    ASSERT_EQ(EventCreate(&l.e1, 0), 1);
    ASSERT_EQ(EventCreate(&l.e2, 0), 1);
    ASSERT_EQ(EventCreate(&l.ready, 0), 1);
    ASSERT_EQ(SemaphoreCreate(&l.s, 1, 3), 1);
    ThreadStartRecord rec{[](void* arg) -> uint32_t {
                              auto* p = static_cast<Local*>(arg);
                              WaitSet set{};
                              WaitSetAddEvent(&set, &p->e1);
                              WaitSetAddSemaphore(&set, &p->s);
                              WaitSetAddEvent(&set, &p->e2);
                              WaitSetAddSemaphore(&set, &p->s);  // needs two units
                              EventSet(&p->ready);
                              p->result = WaitSetWait(&set, 1);
                              return 0;
                          },
                          &l};
    Thread t{};
    ThreadStart(&t, &rec);
    ASSERT_EQ(EventWait(&l.ready), 1);
    EventSet(&l.e1);
    EventSet(&l.e2);
    // e1 and e2 are set but the semaphore holds one unit: the waiter takes nothing, so e1 is
    // still there for us.
    WaitSet mine{};
    WaitSetAddEvent(&mine, &l.e1);
    EXPECT_EQ(WaitSetWait(&mine, 0), 0u);
    EXPECT_EQ(ThreadIsRunning(&t), 1);
    EventSet(&l.e1);
    ASSERT_EQ(SemaphoreRelease(&l.s), 1);
    ASSERT_EQ(ThreadJoin(&t), 1);
    EXPECT_EQ(l.result.load(), 0u);
    // Both events were reset and both units taken.
    EXPECT_EQ(SemaphoreRelease(&l.s), 1);
    EXPECT_EQ(SemaphoreRelease(&l.s), 1);
    EXPECT_EQ(SemaphoreRelease(&l.s), 1);
    EXPECT_EQ(SemaphoreRelease(&l.s), 0);
    WaitSet probe{};
    WaitSetAddEvent(&probe, &l.e1);
    WaitSetAddEvent(&probe, &l.e2);
    WaitSetAddSemaphore(&probe, &l.s);
    EXPECT_EQ(WaitSetWait(&probe, 0), 2u);  // neither event is signalled
    ThreadClose(&t);
    EventClose(&l.e1);
    EventClose(&l.e2);
    EventClose(&l.ready);
    SemaphoreClose(&l.s);
}

TEST(WaitSet, ThreadsAreSignalledWhenTheyEnd) {
    Ctx ctx;
    ASSERT_EQ(EventCreate(&ctx.go, 0), 1);
    ThreadStartRecord rec{[](void* arg) -> uint32_t { return EventWait(&static_cast<Ctx*>(arg)->go) ? 0 : 1; }, &ctx};
    Thread t{};
    ThreadStart(&t, &rec);
    Event never{};
    ASSERT_EQ(EventCreate(&never, 0), 1);
    WaitSet set{};
    ASSERT_EQ(WaitSetAddEvent(&set, &never), 1);
    ASSERT_EQ(WaitSetAddThread(&set, &t), 1);
    EventSet(&ctx.go);
    EXPECT_EQ(WaitSetWait(&set, 0), 1u);
    EXPECT_EQ(WaitSetWait(&set, 0), 1u);  // an ended thread stays signalled
    ThreadJoin(&t);
    ThreadClose(&t);
    EventClose(&never);
    EventClose(&ctx.go);
}

// --------------------------------------------------------------------------------

TEST(CritSec, RecursiveForItsOwnerAndExclusiveAcrossThreads) {
    Ctx ctx;
    CritSecInit(&ctx.cs);
    CritSecEnter(&ctx.cs);
    CritSecEnter(&ctx.cs);  // recursive: does not deadlock
    ctx.plain = 1;
    CritSecLeave(&ctx.cs);
    CritSecLeave(&ctx.cs);
    ThreadStartRecord rec{[](void* arg) -> uint32_t {
                              auto* c = static_cast<Ctx*>(arg);
                              for (int i = 0; i < 2000; ++i) {
                                  ScopedLock g{};
                                  ScopedLockEnter(&g, &c->cs);
                                  {
                                      CritSecGuard inner(&c->cs);  // nested in the same thread
                                      c->plain++;
                                  }
                                  ScopedLockLeave(&g);
                                  ScopedLockLeave(&g);  // a second leave does nothing
                              }
                              return 0;
                          },
                          &ctx};
    Thread th[3]{};
    for (Thread& t : th) ThreadStart(&t, &rec);
    for (Thread& t : th) {
        ASSERT_EQ(ThreadJoin(&t), 1);
        ThreadClose(&t);
    }
    {
        CritSecGuard lock(&ctx.cs);
        EXPECT_EQ(ctx.plain, 1 + 3 * 2000);
    }
    CritSecDelete(&ctx.cs);
}

}  // namespace
