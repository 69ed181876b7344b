#include "util/utalloc.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "util/log.h"

namespace {
std::atomic<bool> g_fail{false};
}

void s_alloc_fail_for_testing(bool fail) { g_fail.store(fail); }
bool s_alloc_failing() { return g_fail.load(std::memory_order_relaxed); }

void tv_fatal_exit(int status) {
    // No console to release on this platform.
    exit(status);
}

void* s_alloc(size_t count, size_t size) {
    if (count == 0 || size == 0) count = size = 1;
    void* block = s_alloc_failing() ? nullptr : calloc(count, size);
    if (!block) {
        log_printf(LOGL_ERROR, "util/utalloc", 44, "s_alloc: out of memory");
        tv_fatal_exit(1);
    }
    return block;
}

void* s_realloc(void* block, size_t size) {
    if (size == 0) size = 1;
    void* grown = s_alloc_failing() ? nullptr : realloc(block, size);
    if (!grown) {
        log_printf(LOGL_ERROR, "util/utalloc", 58, "s_realloc: out of memory");
        tv_fatal_exit(1);
    }
    return grown;
}

char* s_strdup(const char* text) {
    if (!text) text = "";
    size_t n = strlen(text);
    char* copy = static_cast<char*>(s_alloc(n + 1, 1));
    memcpy(copy, text, n);
    return copy;
}
