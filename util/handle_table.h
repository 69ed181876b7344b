#pragma once
// Maps 32-bit handle numbers to records, so callers hand out numbers instead of pointers
// and a stale or forged number is recognised rather than followed.
#include <cstdint>
#include <pthread.h>

struct HandleSlot {
    uint16_t tag;  // 0 = free, else the table's tag
    void* record;  // not owned
};

struct HandleTable {
    uint32_t tag;
    uint16_t capacity;
    uint16_t freeCount;
    HandleSlot* slots;
    uint32_t allocated;  // slots behind the array; grows geometrically so a long run of additions stays linear
    uint32_t firstFree;  // no free slot below this index
    uint32_t locked;
    pthread_mutex_t lock;  // valid only while locked is 1
};

// Results are internal error codes: 0, kErrNoMemory or kErrHandleLimit.
int HandleTableInit(HandleTable* table, uint32_t constant);
int HandleTableEnableLock(HandleTable* table);
void HandleTableFree(HandleTable* table);
int HandleTableAdd(HandleTable* table, uint32_t* handle, void* record);
void* HandleTableGet(HandleTable* table, uint32_t handle);
// HandleTableGet without the table's lock, for a caller that holds a lock every addition and
// removal of this table is also made under.
inline void* HandleTablePeek(const HandleTable* table, uint32_t handle) {
    if (!table) return nullptr;
    const uint32_t index = handle & 0xFFFFu;
    if (index >= table->capacity) return nullptr;
    const HandleSlot& s = table->slots[index];
    return s.tag != 0 && s.tag == (handle >> 16) ? s.record : nullptr;
}
void HandleTableRemove(HandleTable* table, uint32_t handle);
void HandleTableLock(HandleTable* table);
void HandleTableUnlock(HandleTable* table);

// The handle-number parts.
inline uint32_t HandleIndex(uint32_t handle) { return handle & 0xFFFFu; }
inline uint32_t HandleTag(uint32_t handle) { return handle >> 16; }
