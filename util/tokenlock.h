#pragma once
// A recursive lock whose holder is a token rather than a thread: whoever presents the token
// that entered it may leave it, from any thread. The DTC's callbacks take a connection's call
// lock on one of its threads and leave it on another, which a mutex does not allow.
// A zeroed object is valid storage (see util/critsec.h).
#include <pthread.h>

struct TokenLock {
    pthread_mutex_t m;
    pthread_cond_t freed;
    const void* owner;  // null while free
    unsigned depth;
    bool live;
};

void TokenLockCreate(TokenLock* lock);
void TokenLockDestroy(TokenLock* lock);
// Waits until the lock is free or already held for the same token (never null).
void TokenLockEnter(TokenLock* lock, const void* token);
// 1 when entered, 0 when another token holds it.
int TokenLockTryEnter(TokenLock* lock, const void* token);
// 1 when the token held the lock (one level is given back), else 0 and nothing changes.
int TokenLockLeave(TokenLock* lock, const void* token);
// The token of the calling thread: distinct for every thread alive.
const void* TokenLockThisThread();

struct TokenLockGuard {
    TokenLock* lock;
    const void* token;
    TokenLockGuard(TokenLock* l, const void* t) : lock(l), token(t) { TokenLockEnter(lock, token); }
    ~TokenLockGuard() { TokenLockLeave(lock, token); }
    TokenLockGuard(const TokenLockGuard&) = delete;
    TokenLockGuard& operator=(const TokenLockGuard&) = delete;
};
