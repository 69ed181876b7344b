// Threads and synchronisation objects for the XA worker: a thread with a start record,
// auto-reset events, counting semaphores with a maximum, a wait set over up to 64 of them
// (any or all, taken atomically); critical sections and the scope guard are in
// util/critsec.h.
//
// Linux offers no safe way to kill a thread: ThreadTerminate asks the thread to stop. Its
// blocking waits on these objects then fail (0, or WAIT_SET_FAILED) so that it can unwind,
// and ThreadStopRequested tells a running thread to return.
#pragma once

#include <cstdint>

struct SyncObject;               // opaque waitable object
using SyncHandle = SyncObject*;  // null: no object

struct ThreadStartRecord {
    uint32_t (*function)(void* argument);  // its result is the thread's exit code
    void* argument;
};

struct Thread {
    SyncHandle handle;  // null when the thread could not be started
    ThreadStartRecord* start;
    uint32_t thread_id;
};

struct Event {
    SyncHandle handle;
};

struct Semaphore {
    SyncHandle handle;
};

constexpr uint32_t WAIT_SET_MAX = 64;
constexpr uint32_t WAIT_SET_FAILED = 0xFFFFFFFFu;

struct WaitSet {
    SyncHandle handles[WAIT_SET_MAX];
    uint32_t count;
};

// Threads. The start record must outlive the thread.
void ThreadStart(Thread* thread, ThreadStartRecord* start);
int ThreadJoin(Thread* thread);                           // 1 once the thread has ended, else 0
void ThreadTerminate(Thread* thread, uint32_t exitCode);  // cooperative stop, see above
int ThreadIsRunning(const Thread* thread);                // 1 while running, else 0
void ThreadClose(Thread* thread);
SyncHandle ThreadHandle(const Thread* thread);
// 1 and the exit code once the thread has ended; 0 while it runs or without a handle.
int ThreadExitCode(const Thread* thread, uint32_t* code);
// 1 when ThreadTerminate has been called for the calling thread.
int ThreadStopRequested();

// Auto-reset events. Create returns 1, or 0 when memory runs out.
int EventCreate(Event* event, int initiallySignalled);
void EventSet(Event* event);
int EventWait(Event* event);  // 1 when signalled (and reset), else 0
void EventClose(Event* event);
SyncHandle EventHandle(const Event* event);

// Semaphores. Create returns 1, or 0 for a bad count or no memory.
int SemaphoreCreate(Semaphore* semaphore, int32_t initialCount, int32_t maximumCount);
int SemaphoreRelease(Semaphore* semaphore);  // 1, or 0 when the count is at its maximum
int SemaphoreWait(Semaphore* semaphore);     // 1 when acquired, else 0
void SemaphoreClose(Semaphore* semaphore);
SyncHandle SemaphoreHandle(const Semaphore* semaphore);

// Wait sets. Adding returns 0 when the set already holds 64 handles (or the object has none).
int WaitSetAddEvent(WaitSet* set, const Event* event);
int WaitSetAddSemaphore(WaitSet* set, const Semaphore* semaphore);
int WaitSetAddThread(WaitSet* set, const Thread* thread);
// Any: the index of the object taken. All: 0, every object taken at once. WAIT_SET_FAILED
// for an empty set, a bad handle or a stop request.
uint32_t WaitSetWait(WaitSet* set, int waitForAll);
void WaitSetClear(WaitSet* set);
