#include "util/tokenlock.h"

void TokenLockCreate(TokenLock* lock) {
    if (lock->live) return;
    pthread_mutex_init(&lock->m, nullptr);
    pthread_cond_init(&lock->freed, nullptr);
    lock->owner = nullptr;
    lock->depth = 0;
    lock->live = true;
}

void TokenLockDestroy(TokenLock* lock) {
    if (!lock->live) return;
    pthread_cond_destroy(&lock->freed);
    pthread_mutex_destroy(&lock->m);
    lock->owner = nullptr;
    lock->depth = 0;
    lock->live = false;
}

void TokenLockEnter(TokenLock* lock, const void* token) {
    if (token == nullptr) return;
    pthread_mutex_lock(&lock->m);
    while (lock->owner != nullptr && lock->owner != token) pthread_cond_wait(&lock->freed, &lock->m);
    lock->owner = token;
    ++lock->depth;
    pthread_mutex_unlock(&lock->m);
}

int TokenLockTryEnter(TokenLock* lock, const void* token) {
    if (token == nullptr) return 0;
    pthread_mutex_lock(&lock->m);
    const bool free = lock->owner == nullptr || lock->owner == token;
    if (free) {
        lock->owner = token;
        ++lock->depth;
    }
    pthread_mutex_unlock(&lock->m);
    return free ? 1 : 0;
}

int TokenLockLeave(TokenLock* lock, const void* token) {
    pthread_mutex_lock(&lock->m);
    const bool held = token != nullptr && lock->owner == token;
    if (held && --lock->depth == 0) {
        lock->owner = nullptr;
        pthread_cond_broadcast(&lock->freed);
    }
    pthread_mutex_unlock(&lock->m);
    return held ? 1 : 0;
}

const void* TokenLockThisThread() {
    // Its address is the thread's own while the thread lives.
    static thread_local char mine;
    return &mine;
}
