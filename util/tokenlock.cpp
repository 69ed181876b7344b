#include "util/tokenlock.h"

void TokenLockCreate(TokenLock* lock) {
    if (lock->live) return;
    pthread_mutex_init(&lock->m, nullptr);
    pthread_cond_init(&lock->freed, nullptr);
    lock->owner.store(nullptr, std::memory_order_relaxed);
    lock->depth.store(0, std::memory_order_relaxed);
    lock->waiters.store(0, std::memory_order_relaxed);
    lock->live = true;
}

void TokenLockDestroy(TokenLock* lock) {
    if (!lock->live) return;
    pthread_cond_destroy(&lock->freed);
    pthread_mutex_destroy(&lock->m);
    lock->owner.store(nullptr, std::memory_order_relaxed);
    lock->depth.store(0, std::memory_order_relaxed);
    lock->live = false;
}

void TokenLockWait(TokenLock* lock, const void* token) {
    // The count goes up before the retry, and a leaver clears the owner before it reads the
    // count: either the retry sees the lock free or the leaver sees a waiter and wakes it,
    // which it can do only once this thread waits (the count changes under the mutex).
    pthread_mutex_lock(&lock->m);
    lock->waiters.fetch_add(1, std::memory_order_seq_cst);
    while (!TokenLockTake(lock, token)) pthread_cond_wait(&lock->freed, &lock->m);
    lock->waiters.fetch_sub(1, std::memory_order_relaxed);
    pthread_mutex_unlock(&lock->m);
}

void TokenLockWake(TokenLock* lock) {
    pthread_mutex_lock(&lock->m);
    pthread_cond_broadcast(&lock->freed);
    pthread_mutex_unlock(&lock->m);
}
