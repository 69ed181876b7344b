#include "util/trymem.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {
// -1: off. Otherwise the number of allocations still allowed before one fails.
std::atomic<long> g_failCountdown{-1};
std::atomic<bool> g_failSticky{false};
std::atomic<long> g_calls{0};

// Requests beyond this are refused as out of memory rather than handed to the allocator
// (some allocators abort on absurd sizes instead of returning null).
constexpr size_t kMaxAlloc = size_t{1} << 40;

bool ShouldFail() {
    g_calls.fetch_add(1, std::memory_order_relaxed);
    long cur = g_failCountdown.load(std::memory_order_relaxed);
    while (cur >= 0) {
        if (cur == 0) {
            if (g_failSticky.load(std::memory_order_relaxed)) return true;
            if (g_failCountdown.compare_exchange_weak(cur, -1, std::memory_order_relaxed)) return true;
            continue;
        }
        if (g_failCountdown.compare_exchange_weak(cur, cur - 1, std::memory_order_relaxed)) return false;
    }
    return false;
}
}  // namespace

void TryMemFailAfter(long after) {
    g_failSticky.store(false, std::memory_order_relaxed);
    g_failCountdown.store(after < 0 ? -1 : after, std::memory_order_relaxed);
}

void TryMemFailFrom(long after) {
    g_failSticky.store(after >= 0, std::memory_order_relaxed);
    g_failCountdown.store(after < 0 ? -1 : after, std::memory_order_relaxed);
}

long TryMemCalls() { return g_calls.load(std::memory_order_relaxed); }

bool TryMulSize(size_t count, size_t size, size_t* out) {
    size_t r;
    if (__builtin_mul_overflow(count, size, &r)) return false;
    if (out) *out = r;
    return true;
}

void* TryMalloc(size_t size) {
    if (ShouldFail() || size > kMaxAlloc) return nullptr;
    return std::malloc(size ? size : 1);
}

void* TryCalloc(size_t count, size_t size) {
    if (ShouldFail()) return nullptr;
    size_t total;
    if (!TryMulSize(count, size, &total) || total > kMaxAlloc) return nullptr;
    return std::calloc(total ? total : 1, 1);
}

void* TryRealloc(void* block, size_t size) {
    if (ShouldFail() || size > kMaxAlloc) return nullptr;
    return std::realloc(block, size ? size : 1);
}

void* TryMemdup(const void* bytes, size_t size) {
    void* p = TryMalloc(size);
    if (p && size) std::memcpy(p, bytes, size);
    return p;
}

char* TryStrdup(const char* text) {
    if (!text) return nullptr;
    return static_cast<char*>(TryMemdup(text, std::strlen(text) + 1));
}

void TryFree(void* block) { std::free(block); }
