#include "util/threads.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>

// One lock and one condition for every waitable object: a wait over several objects then
// sees and takes them all atomically. The objects serve the XA worker only, so contention
// is negligible.
struct SyncObject {
    enum class Kind { Event, Semaphore, Thread } kind;
    // Event
    bool signalled = false;
    // Semaphore
    int32_t count = 0;
    int32_t maximum = 0;
    // Thread
    ThreadStartRecord* start = nullptr;
    pthread_t tid{};
    uint32_t os_id = 0;
    bool id_known = false;
    bool ended = false;
    uint32_t exit_code = 0;
    uint32_t stop_code = 0;
    int refs = 0;  // the handle and the running thread
    std::atomic<bool> running{false};
    std::atomic<bool> stop{false};
    std::atomic<bool> join_claimed{false};

    explicit SyncObject(Kind k) : kind(k) {}
};

namespace {

struct Sync {
    std::mutex mutex;
    std::condition_variable changed;
};

// Never destroyed: a thread may still wait while the process exits. Once the library is
// unloaded nothing points at it any more, which the leak checker must not count.
Sync& Global() {
    static Sync* sync = [] {
        auto* s = new Sync;
#if defined(__SANITIZE_ADDRESS__)
        __lsan_ignore_object(s);
#endif
        return s;
    }();
    return *sync;
}

thread_local SyncObject* t_self = nullptr;

bool StopAsked() { return t_self && t_self->stop.load(std::memory_order_acquire); }

bool Ready(const SyncObject* o, int needed) {
    switch (o->kind) {
        case SyncObject::Kind::Event:
            return o->signalled;
        case SyncObject::Kind::Semaphore:
            return o->count >= needed;
        case SyncObject::Kind::Thread:
            return o->ended;
    }
    return false;
}

void Take(SyncObject* o) {
    if (o->kind == SyncObject::Kind::Event)
        o->signalled = false;
    else if (o->kind == SyncObject::Kind::Semaphore)
        o->count--;
}

// Releases one reference to a thread object; the caller holds the global lock.
bool DropRef(SyncObject* o) { return --o->refs == 0; }

void* ThreadEntry(void* p) {
    auto* o = static_cast<SyncObject*>(p);
    t_self = o;
    Sync& g = Global();
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        o->os_id = static_cast<uint32_t>(syscall(SYS_gettid));
        o->id_known = true;
    }
    g.changed.notify_all();
    const uint32_t code = o->start->function(o->start->argument);
    bool last;
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        o->ended = true;
        o->exit_code = o->stop.load() ? o->stop_code : code;
        o->running.store(false, std::memory_order_release);
        last = DropRef(o);
    }
    g.changed.notify_all();
    t_self = nullptr;
    if (last) delete o;
    return nullptr;
}

int WaitOne(SyncObject* o) {
    if (!o) return 0;
    Sync& g = Global();
    std::unique_lock<std::mutex> lock(g.mutex);
    for (;;) {
        if (StopAsked()) return 0;
        if (Ready(o, 1)) {
            Take(o);
            return 1;
        }
        g.changed.wait(lock);
    }
}

int AddHandle(WaitSet* set, SyncHandle h) {
    if (!set || !h || set->count >= WAIT_SET_MAX) return 0;
    set->handles[set->count++] = h;
    return 1;
}

}  // namespace

// ---------------------------------------------------------------------------- threads

void ThreadStart(Thread* thread, ThreadStartRecord* start) {
    if (!thread) return;
    thread->handle = nullptr;
    thread->start = start;
    thread->thread_id = 0;
    if (!start || !start->function) return;
    auto* o = new (std::nothrow) SyncObject(SyncObject::Kind::Thread);
    if (!o) return;
    o->start = start;
    o->refs = 2;
    o->running.store(true);
    if (pthread_create(&o->tid, nullptr, ThreadEntry, o) != 0) {
        delete o;
        return;
    }
    Sync& g = Global();
    std::unique_lock<std::mutex> lock(g.mutex);
    g.changed.wait(lock, [o] { return o->id_known; });
    thread->thread_id = o->os_id;
    thread->handle = o;
}

int ThreadJoin(Thread* thread) {
    if (!thread || !thread->handle) return 0;
    SyncObject* o = thread->handle;
    if (o == t_self) return 0;  // would wait for itself forever
    Sync& g = Global();
    {
        std::unique_lock<std::mutex> lock(g.mutex);
        while (!o->ended) {
            if (StopAsked()) return 0;
            g.changed.wait(lock);
        }
    }
    // The first joiner also reaps the thread, so that it has fully left our code.
    if (!o->join_claimed.exchange(true)) pthread_join(o->tid, nullptr);
    return 1;
}

void ThreadTerminate(Thread* thread, uint32_t exitCode) {
    if (!thread || !thread->handle) return;
    SyncObject* o = thread->handle;
    Sync& g = Global();
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        if (o->ended) return;
        o->stop_code = exitCode;
        o->stop.store(true, std::memory_order_release);
    }
    g.changed.notify_all();
}

int ThreadIsRunning(const Thread* thread) {
    if (!thread || !thread->handle) return 0;
    return thread->handle->running.load(std::memory_order_acquire) ? 1 : 0;
}

void ThreadClose(Thread* thread) {
    if (!thread || !thread->handle) return;
    SyncObject* o = thread->handle;
    thread->handle = nullptr;
    if (!o->join_claimed.exchange(true)) pthread_detach(o->tid);
    bool last;
    {
        std::lock_guard<std::mutex> lock(Global().mutex);
        last = DropRef(o);
    }
    if (last) delete o;
}

SyncHandle ThreadHandle(const Thread* thread) { return thread ? thread->handle : nullptr; }

int ThreadExitCode(const Thread* thread, uint32_t* code) {
    if (!thread || !thread->handle || !code) return 0;
    std::lock_guard<std::mutex> lock(Global().mutex);
    if (!thread->handle->ended) return 0;
    *code = thread->handle->exit_code;
    return 1;
}

int ThreadStopRequested() { return StopAsked() ? 1 : 0; }

// ----------------------------------------------------------------------------- events

int EventCreate(Event* event, int initiallySignalled) {
    if (!event) return 0;
    event->handle = new (std::nothrow) SyncObject(SyncObject::Kind::Event);
    if (!event->handle) return 0;
    event->handle->signalled = initiallySignalled != 0;
    return 1;
}

void EventSet(Event* event) {
    if (!event || !event->handle) return;
    Sync& g = Global();
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        event->handle->signalled = true;
    }
    g.changed.notify_all();
}

int EventWait(Event* event) { return event ? WaitOne(event->handle) : 0; }

void EventClose(Event* event) {
    if (!event) return;
    delete event->handle;
    event->handle = nullptr;
}

SyncHandle EventHandle(const Event* event) { return event ? event->handle : nullptr; }

// ------------------------------------------------------------------------- semaphores

int SemaphoreCreate(Semaphore* semaphore, int32_t initialCount, int32_t maximumCount) {
    if (!semaphore) return 0;
    semaphore->handle = nullptr;
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) return 0;
    semaphore->handle = new (std::nothrow) SyncObject(SyncObject::Kind::Semaphore);
    if (!semaphore->handle) return 0;
    semaphore->handle->count = initialCount;
    semaphore->handle->maximum = maximumCount;
    return 1;
}

int SemaphoreRelease(Semaphore* semaphore) {
    if (!semaphore || !semaphore->handle) return 0;
    Sync& g = Global();
    {
        std::lock_guard<std::mutex> lock(g.mutex);
        SyncObject* o = semaphore->handle;
        if (o->count >= o->maximum) return 0;
        o->count++;
    }
    g.changed.notify_all();
    return 1;
}

int SemaphoreWait(Semaphore* semaphore) { return semaphore ? WaitOne(semaphore->handle) : 0; }

void SemaphoreClose(Semaphore* semaphore) {
    if (!semaphore) return;
    delete semaphore->handle;
    semaphore->handle = nullptr;
}

SyncHandle SemaphoreHandle(const Semaphore* semaphore) { return semaphore ? semaphore->handle : nullptr; }

// -------------------------------------------------------------------------- wait sets

int WaitSetAddEvent(WaitSet* set, const Event* event) { return event ? AddHandle(set, event->handle) : 0; }
int WaitSetAddSemaphore(WaitSet* set, const Semaphore* semaphore) {
    return semaphore ? AddHandle(set, semaphore->handle) : 0;
}
int WaitSetAddThread(WaitSet* set, const Thread* thread) { return thread ? AddHandle(set, thread->handle) : 0; }

void WaitSetClear(WaitSet* set) {
    if (set) set->count = 0;
}

uint32_t WaitSetWait(WaitSet* set, int waitForAll) {
    if (!set || set->count == 0 || set->count > WAIT_SET_MAX) return WAIT_SET_FAILED;
    const uint32_t n = set->count;
    for (uint32_t i = 0; i < n; ++i)
        if (!set->handles[i]) return WAIT_SET_FAILED;
    // A semaphore listed k times must have k units to give.
    int needed[WAIT_SET_MAX];
    for (uint32_t i = 0; i < n; ++i) {
        needed[i] = 0;
        for (uint32_t j = 0; j < n; ++j)
            if (set->handles[j] == set->handles[i]) needed[i]++;
    }
    Sync& g = Global();
    std::unique_lock<std::mutex> lock(g.mutex);
    for (;;) {
        if (StopAsked()) return WAIT_SET_FAILED;
        if (waitForAll) {
            bool all = true;
            for (uint32_t i = 0; i < n && all; ++i) all = Ready(set->handles[i], needed[i]);
            if (all) {
                for (uint32_t i = 0; i < n; ++i) Take(set->handles[i]);
                return 0;
            }
        } else {
            for (uint32_t i = 0; i < n; ++i) {
                if (Ready(set->handles[i], 1)) {
                    Take(set->handles[i]);
                    return i;
                }
            }
        }
        g.changed.wait(lock);
    }
}
