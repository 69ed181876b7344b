#pragma once
// Recursive critical sections for the driver's global and per-connection locks; a zeroed
// object is valid storage, so the globals holding them are constant-initialised.
// (The ODBC layer's locks use the same type: one definition for the whole library.)
#include <pthread.h>

struct CritSec {
    pthread_mutex_t m;
    bool live;
};

inline void CritSecCreate(CritSec* cs) {
    if (cs->live) return;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&cs->m, &attr);
    pthread_mutexattr_destroy(&attr);
    cs->live = true;
}
inline void CritSecDestroy(CritSec* cs) {
    if (!cs->live) return;
    pthread_mutex_destroy(&cs->m);
    cs->live = false;
}
inline void CritSecEnter(CritSec* cs) { pthread_mutex_lock(&cs->m); }
inline void CritSecLeave(CritSec* cs) { pthread_mutex_unlock(&cs->m); }

struct CritSecGuard {
    CritSec* cs;
    explicit CritSecGuard(CritSec* c) : cs(c) { CritSecEnter(cs); }
    ~CritSecGuard() { CritSecLeave(cs); }
    CritSecGuard(const CritSecGuard&) = delete;
    CritSecGuard& operator=(const CritSecGuard&) = delete;
};

// The names the XA layer uses for the same operations.
inline void CritSecInit(CritSec* cs) { CritSecCreate(cs); }
inline void CritSecDelete(CritSec* cs) { CritSecDestroy(cs); }

// Scope guard as a plain record: every ScopedLockEnter is matched by a ScopedLockLeave.
struct ScopedLock {
    CritSec* section;
};
inline void ScopedLockEnter(ScopedLock* guard, CritSec* section) {
    guard->section = section;
    CritSecEnter(section);
}
inline void ScopedLockLeave(ScopedLock* guard) {
    if (!guard->section) return;
    CritSecLeave(guard->section);
    guard->section = nullptr;
}
