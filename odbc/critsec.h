#pragma once
// Recursive critical sections for the driver's global and per-connection locks; a zeroed
// object is valid storage, so the globals holding them are constant-initialised.
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
