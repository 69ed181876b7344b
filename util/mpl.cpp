#include "util/mpl.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "util/log.h"
#include "util/utalloc.h"

namespace {

uintptr_t addr(const void* p) { return reinterpret_cast<uintptr_t>(p); }

char* round_up(char* p) {
    uintptr_t a = addr(p);
    return p + ((MPL_ALIGN - (a % MPL_ALIGN)) % MPL_ALIGN);
}

// Bytes left in the current chunk; 0 for an empty pool.
size_t room(const MPL* pool) { return pool->chunk ? static_cast<size_t>(pool->limit - pool->next) : 0; }

[[noreturn]] void out_of_memory() {
    log_printf(LOGL_ERROR, "util/mpl", 51, "out of memory");
    tv_fatal_exit(1);
}

}  // namespace

char* mpl_chunk_start(MPL_Chunk* chunk) { return round_up(reinterpret_cast<char*>(chunk) + 16); }

void mpl_init(MPL* pool) {
    if (!pool) return;
    pool->chunk = nullptr;
    pool->base = pool->next = pool->limit = nullptr;
}

void mpl_destroy(MPL* pool) {
    if (!pool) return;
    MPL_Chunk* c = pool->chunk;
    while (c) {
        MPL_Chunk* prev = c->prev;
        free(c);
        c = prev;
    }
    mpl_init(pool);
}

void mpl_newchunk(MPL* pool, size_t n) {
    size_t len = pool->chunk ? static_cast<size_t>(pool->next - pool->base) : 0;
    // Keeps the size computation from wrapping; such a request cannot be met anyway.
    if (n > SIZE_MAX / 4 || len > SIZE_MAX / 4) out_of_memory();
    size_t size = (len + n + len / 8 + 4195) & ~static_cast<size_t>(4095);
    // 16-aligned chunks keep the first object position at start + 16, so the object space is at
    // least len + n + 84 bytes and rounding never passes the chunk's end.
    void* mem = s_alloc_failing() ? nullptr : aligned_alloc(MPL_ALIGN, size);
    if (!mem) out_of_memory();
    memset(mem, 0, size);
    auto* chunk = static_cast<MPL_Chunk*>(mem);
    char* base = mpl_chunk_start(chunk);
    if (len) memcpy(base, pool->base, len);
    MPL_Chunk* old = pool->chunk;
    if (old && pool->base == mpl_chunk_start(old)) {
        chunk->prev = old->prev;
        free(old);
    } else {
        chunk->prev = old;
    }
    chunk->end = static_cast<char*>(mem) + size;
    pool->chunk = chunk;
    pool->limit = chunk->end;
    pool->base = base;
    pool->next = base + len;
}

void* mpl_grow(MPL* pool, const void* bytes, size_t n) {
    if (!pool) return nullptr;
    if (room(pool) <= n) mpl_newchunk(pool, n);
    char* at = pool->next;
    if (n && bytes) memcpy(at, bytes, n);
    pool->next += n;
    return at;
}

void* mpl_blank(MPL* pool, size_t n) {
    if (!pool) return nullptr;
    if (room(pool) <= n) mpl_newchunk(pool, n);
    char* at = pool->next;
    pool->next = round_up(at + n);
    return at;
}

void* mpl_finish(MPL* pool) {
    if (!pool || !pool->chunk) return nullptr;
    char* object = pool->base;
    pool->next = round_up(pool->next);
    pool->base = pool->next;
    return object;
}

void* mpl_finish_len(MPL* pool, size_t* length) {
    if (length) *length = mpl_object_size(pool);
    return mpl_finish(pool);
}

void* mpl_alloc(MPL* pool, size_t n) {
    mpl_blank(pool, n);
    return mpl_finish(pool);
}

void* mpl_align(MPL* pool) {
    if (!pool || !pool->chunk) return nullptr;
    pool->next = round_up(pool->next);
    return pool->next;
}

size_t mpl_object_size(const MPL* pool) {
    return pool && pool->chunk ? static_cast<size_t>(pool->next - pool->base) : 0;
}

void mpl_free_to(MPL* pool, void* address) {
    if (!pool) return;
    if (!address) {
        pool->next = pool->base;
        return;
    }
    uintptr_t a = addr(address);
    MPL_Chunk* c = pool->chunk;
    while (c) {
        if (addr(mpl_chunk_start(c)) <= a && a < addr(c->end)) {
            pool->chunk = c;
            pool->limit = c->end;
            pool->base = pool->next = static_cast<char*>(address);
            return;
        }
        MPL_Chunk* prev = c->prev;
        free(c);
        c = prev;
    }
    mpl_init(pool);
}
