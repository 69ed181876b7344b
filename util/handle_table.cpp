#include "util/handle_table.h"

#include <cstdlib>
#include <cstring>

#include "util/trymem.h"
#include "util/errtable.h"

namespace {

constexpr uint32_t kGrowBy = 5;

void take(HandleTable* t) {
    if (t->locked) pthread_mutex_lock(&t->lock);
}
void give(HandleTable* t) {
    if (t->locked) pthread_mutex_unlock(&t->lock);
}

}  // namespace

int HandleTableInit(HandleTable* table, uint32_t constant) {
    HandleTableFree(table);
    auto* slots = static_cast<HandleSlot*>(TryCalloc(kGrowBy, sizeof(HandleSlot)));
    if (!slots) return kErrNoMemory;
    table->slots = slots;
    table->allocated = kGrowBy;
    table->firstFree = 0;
    table->capacity = kGrowBy;
    table->freeCount = kGrowBy;
    table->tag = (constant & 0xFFFFu) ? (constant & 0xFFFFu) : 0xFFFFFFFFu;
    return 0;
}

int HandleTableEnableLock(HandleTable* table) {
    if (table->locked) return 0;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&table->lock, &attr);
    pthread_mutexattr_destroy(&attr);
    table->locked = 1;
    return 0;
}

void HandleTableFree(HandleTable* table) {
    if (!table) return;
    TryFree(table->slots);
    if (table->locked) pthread_mutex_destroy(&table->lock);
    memset(static_cast<void*>(table), 0, sizeof *table);
}

int HandleTableAdd(HandleTable* table, uint32_t* handle, void* record) {
    *handle = 0;
    take(table);
    uint32_t index = 0;
    if (table->freeCount > 0) {
        index = table->firstFree;
        while (index < table->capacity && table->slots[index].tag != 0) ++index;
        if (index == table->capacity) {  // free count out of step: never hand out a slot in use
            give(table);
            return kErrGeneral;
        }
    } else {
        uint32_t grown = uint32_t(table->capacity) + kGrowBy;
        if (grown > 0xFFFFu) {
            give(table);
            return kErrHandleLimit;
        }
        if (grown > table->allocated) {
            uint32_t want = table->allocated * 2;
            if (want < grown) want = grown;
            if (want > 0xFFFFu) want = 0xFFFFu;
            auto* slots = static_cast<HandleSlot*>(TryCalloc(want, sizeof(HandleSlot)));
            if (!slots) {
                give(table);
                return kErrNoMemory;
            }
            if (table->capacity) memcpy(slots, table->slots, table->capacity * sizeof(HandleSlot));
            TryFree(table->slots);
            table->slots = slots;
            table->allocated = want;
        }
        index = table->capacity;
        table->freeCount = kGrowBy;
        table->capacity = uint16_t(grown);
    }
    table->slots[index].tag = uint16_t(table->tag);
    table->slots[index].record = record;
    --table->freeCount;
    table->firstFree = index + 1;
    *handle = (table->tag << 16) | index;
    give(table);
    return 0;
}

void* HandleTableGet(HandleTable* table, uint32_t handle) {
    if (!table) return nullptr;
    take(table);
    void* record = HandleTablePeek(table, handle);
    give(table);
    return record;
}

void HandleTableRemove(HandleTable* table, uint32_t handle) {
    if (!table) return;
    take(table);
    uint32_t index = HandleIndex(handle);
    if (index < table->capacity) {
        HandleSlot& s = table->slots[index];
        if (s.tag != 0 && s.tag == HandleTag(handle)) {
            s.tag = 0;
            s.record = nullptr;
            ++table->freeCount;
            if (index < table->firstFree) table->firstFree = index;
        }
    }
    give(table);
}

void HandleTableLock(HandleTable* table) {
    if (table) take(table);
}

void HandleTableUnlock(HandleTable* table) {
    if (table) give(table);
}
