// Chained hash table with opaque values. Keys are copied in; values belong to the caller.
// The table does not lock.
#pragma once

#include <cstdint>
#include <cstdio>

struct HashEntry {
    void* key;        // owned copy
    void* value;      // the caller's
    HashEntry* next;  // next entry of the bucket
};

struct HashTable {
    HashEntry** buckets;
    int32_t size;        // number of buckets, at least 1
    int32_t key_length;  // 0: NUL-terminated text keys; otherwise every key is this many bytes
    int32_t entries;
    int32_t collisions;  // insertions into a non-empty bucket, less removals leaving it non-empty
};

using HashFunc = int (*)(void* value, const void* key, void* arg);

// Null when memory runs out; a size below 1 becomes 1.
HashTable* HashCreate(int32_t size, int32_t keyLength);
// Inserts or replaces; the entry, or null when memory runs out (the table is then unchanged).
HashEntry* HashPut(HashTable* table, const void* key, void* value);
void* HashGet(const HashTable* table, const void* key);
HashEntry* HashFindEntry(const HashTable* table, const void* key);
// Takes the entry out of its bucket and hands it to the caller (free it with HashEntryFree).
HashEntry* HashUnlink(HashTable* table, const void* key);
void HashEntryFree(HashEntry* entry);
// 1 when the key was present and is now gone, else 0.
int HashRemove(HashTable* table, const void* key);
// Calls fn(value, key, arg) bucket by bucket, newest entry first; returns 0.
int HashForEach(HashTable* table, HashFunc fn, void* arg);
// Frees entries, key copies, buckets and the table; values are not touched.
void HashDestroy(HashTable* table);
void HashStats(const HashTable* table, FILE* stream);
// Bucket a key falls into (0 .. size - 1).
uint32_t HashBucket(const HashTable* table, const void* key);
