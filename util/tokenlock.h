#pragma once
// A recursive lock whose holder is a token rather than a thread: whoever presents the token
// that entered it may leave it, from any thread. The DTC's callbacks take a connection's call
// lock on one of its threads and leave it on another, which a mutex does not allow.
// A zeroed object is valid storage (see util/critsec.h).
//
// Every ODBC call enters and leaves its connection's lock, nearly always with no one else
// wanting it: entering a free lock and leaving one no one waits for are one atomic step each;
// the mutex and condition variable are only for waiting.
#include <pthread.h>

#include <atomic>

struct TokenLock {
    std::atomic<const void*> owner;  // null while free
    std::atomic<unsigned> depth;     // written only by the holder
    std::atomic<unsigned> waiters;   // threads between announcing a wait and getting the lock
    pthread_mutex_t m;
    pthread_cond_t freed;
    bool live;
};

void TokenLockCreate(TokenLock* lock);
void TokenLockDestroy(TokenLock* lock);

// Takes a free lock, or one more level of one the token holds; false when another token holds it.
inline bool TokenLockTake(TokenLock* lock, const void* token) {
    const void* seen = nullptr;
    if (lock->owner.compare_exchange_strong(seen, token, std::memory_order_seq_cst)) {
        lock->depth.store(1, std::memory_order_relaxed);
        return true;
    }
    if (seen != token) return false;
    lock->depth.store(lock->depth.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return true;
}
void TokenLockWait(TokenLock* lock, const void* token);
void TokenLockWake(TokenLock* lock);

// Waits until the lock is free or already held for the same token (never null).
inline void TokenLockEnter(TokenLock* lock, const void* token) {
    if (token != nullptr && !TokenLockTake(lock, token)) TokenLockWait(lock, token);
}
// 1 when entered, 0 when another token holds it.
inline int TokenLockTryEnter(TokenLock* lock, const void* token) {
    return token != nullptr && TokenLockTake(lock, token) ? 1 : 0;
}
// Leaves the entry TokenLockEnterFirst took when it returned true, every deeper one left since:
// the owner and the depth are known, so only the release itself and the waiters' check remain.
[[gnu::always_inline]] inline void TokenLockLeaveFirst(TokenLock* lock) {
    lock->depth.store(0, std::memory_order_relaxed);
    // Cleared before the waiters are counted (both sequentially consistent): see TokenLockWait.
    lock->owner.store(nullptr, std::memory_order_seq_cst);
    if (lock->waiters.load(std::memory_order_seq_cst) != 0) TokenLockWake(lock);
}
// 1 when the token held the lock (one level is given back), else 0 and nothing changes.
[[gnu::always_inline]] inline int TokenLockLeave(TokenLock* lock, const void* token) {
    if (token == nullptr || lock->owner.load(std::memory_order_relaxed) != token) return 0;
    const unsigned depth = lock->depth.load(std::memory_order_relaxed);
    if (depth > 1) {
        lock->depth.store(depth - 1, std::memory_order_relaxed);
        return 1;
    }
    TokenLockLeaveFirst(lock);
    return 1;
}
// TokenLockEnter for a token that is never null, telling whether this entry took the lock (true)
// or one more level of it (false).
[[gnu::always_inline]] inline bool TokenLockEnterFirst(TokenLock* lock, const void* token) {
    const void* seen = nullptr;
    if (lock->owner.compare_exchange_strong(seen, token, std::memory_order_seq_cst)) {
        lock->depth.store(1, std::memory_order_relaxed);
        return true;
    }
    if (seen == token) {
        lock->depth.store(lock->depth.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        return false;
    }
    TokenLockWait(lock, token);  // another token held it: the wait ends with the lock taken
    return true;
}
// Leaves what TokenLockEnterFirst entered.
[[gnu::always_inline]] inline void TokenLockLeaveEntry(TokenLock* lock, const void* token, bool first) {
    if (first)
        TokenLockLeaveFirst(lock);
    else
        TokenLockLeave(lock, token);
}
// The token of the calling thread: distinct for every thread alive. Where its control block lies,
// read without the look-up a thread-local variable of a shared library costs: where the compiler
// reads the thread pointer in one instruction, that (on x86-64 what pthread_self answers too).
inline const void* TokenLockThisThread() {
#if defined(__x86_64__) || defined(__aarch64__)
    return __builtin_thread_pointer();
#else
    return reinterpret_cast<const void*>(pthread_self());
#endif
}

struct TokenLockGuard {
    TokenLock* lock;
    const void* token;
    TokenLockGuard(TokenLock* l, const void* t) : lock(l), token(t) { TokenLockEnter(lock, token); }
    ~TokenLockGuard() { TokenLockLeave(lock, token); }
    TokenLockGuard(const TokenLockGuard&) = delete;
    TokenLockGuard& operator=(const TokenLockGuard&) = delete;
};
