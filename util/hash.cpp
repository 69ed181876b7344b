#include "util/hash.h"

#include <cstring>

#include "util/trymem.h"

namespace {

uint32_t StringHash(const char* s) {
    uint32_t h = 0;
    for (; *s; ++s) {
        const int32_t c = static_cast<signed char>(*s);
        const uint32_t high = static_cast<uint32_t>(static_cast<int32_t>(h) >> 28);
        h = high + static_cast<uint32_t>(c) + h * 8u;
    }
    if (static_cast<int32_t>(h) < 0) h = 0u - h;
    return h;
}

// FNV-1a over the key bytes.
uint32_t BytesHash(const unsigned char* p, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 16777619u;
    }
    return h;
}

bool KeyEqual(const HashTable* t, const void* a, const void* b) {
    if (t->key_length == 0) return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0;
    return std::memcmp(a, b, static_cast<size_t>(t->key_length)) == 0;
}

}  // namespace

uint32_t HashBucket(const HashTable* table, const void* key) {
    uint32_t h = table->key_length == 0
                     ? StringHash(static_cast<const char*>(key))
                     : BytesHash(static_cast<const unsigned char*>(key), static_cast<size_t>(table->key_length));
    return h % static_cast<uint32_t>(table->size);
}

HashTable* HashCreate(int32_t size, int32_t keyLength) {
    if (size < 1) size = 1;
    if (keyLength < 0) return nullptr;
    auto* t = static_cast<HashTable*>(TryCalloc(1, sizeof(HashTable)));
    if (!t) return nullptr;
    // NOLINTNEXTLINE(bugprone-sizeof-expression): an array of chain heads
    t->buckets = static_cast<HashEntry**>(TryCalloc(static_cast<size_t>(size), sizeof(HashEntry*)));
    if (!t->buckets) {
        TryFree(t);
        return nullptr;
    }
    t->size = size;
    t->key_length = keyLength;
    return t;
}

HashEntry* HashFindEntry(const HashTable* table, const void* key) {
    if (!table || !key) return nullptr;
    for (HashEntry* e = table->buckets[HashBucket(table, key)]; e; e = e->next)
        if (KeyEqual(table, e->key, key)) return e;
    return nullptr;
}

void* HashGet(const HashTable* table, const void* key) {
    HashEntry* e = HashFindEntry(table, key);
    return e ? e->value : nullptr;
}

HashEntry* HashPut(HashTable* table, const void* key, void* value) {
    if (!table || !key) return nullptr;
    if (HashEntry* e = HashFindEntry(table, key)) {
        e->value = value;
        return e;
    }
    auto* e = static_cast<HashEntry*>(TryCalloc(1, sizeof(HashEntry)));
    if (!e) return nullptr;
    e->key = table->key_length == 0 ? TryStrdup(static_cast<const char*>(key))
                                    : TryMemdup(key, static_cast<size_t>(table->key_length));
    if (!e->key) {
        TryFree(e);
        return nullptr;
    }
    e->value = value;
    HashEntry** bucket = &table->buckets[HashBucket(table, key)];
    if (*bucket) table->collisions++;
    e->next = *bucket;
    *bucket = e;
    table->entries++;
    return e;
}

HashEntry* HashUnlink(HashTable* table, const void* key) {
    if (!table || !key) return nullptr;
    HashEntry** bucket = &table->buckets[HashBucket(table, key)];
    for (HashEntry** link = bucket; *link; link = &(*link)->next) {
        HashEntry* e = *link;
        if (!KeyEqual(table, e->key, key)) continue;
        *link = e->next;
        e->next = nullptr;
        table->entries--;
        if (*bucket) table->collisions--;
        return e;
    }
    return nullptr;
}

void HashEntryFree(HashEntry* entry) {
    if (!entry) return;
    TryFree(entry->key);
    TryFree(entry);
}

int HashRemove(HashTable* table, const void* key) {
    HashEntry* e = HashUnlink(table, key);
    if (!e) return 0;
    HashEntryFree(e);
    return 1;
}

int HashForEach(HashTable* table, HashFunc fn, void* arg) {
    if (!table || !fn) return 0;
    for (int32_t b = 0; b < table->size; ++b) {
        for (HashEntry* e = table->buckets[b]; e;) {
            HashEntry* next = e->next;  // the callback may release the value
            fn(e->value, e->key, arg);
            e = next;
        }
    }
    return 0;
}

void HashDestroy(HashTable* table) {
    if (!table) return;
    for (int32_t b = 0; b < table->size; ++b) {
        for (HashEntry* e = table->buckets[b]; e;) {
            HashEntry* next = e->next;
            HashEntryFree(e);
            e = next;
        }
    }
    TryFree(table->buckets);
    TryFree(table);
}

void HashStats(const HashTable* table, FILE* stream) {
    if (!table || !stream) return;
    const int64_t full = static_cast<int64_t>(table->entries) * 100 / table->size;
    const int64_t coll = table->entries ? static_cast<int64_t>(table->collisions) * 100 / table->entries : 0;
    std::fprintf(stream, "size=%d, entries=%d, colls=%d, %%full=%f, %%coll=%f\n", table->size, table->entries,
                 table->collisions, static_cast<double>(full), static_cast<double>(coll));
}
