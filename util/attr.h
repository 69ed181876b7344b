// Column attributes beyond the fixed description: records keyed by attribute and column,
// column 0 giving the default for every column; and their de-duplicated list.
#pragma once

#include <cstdint>

#include "util/hash.h"

enum : int16_t {
    ATTR_KIND_TEXT = 0,  // heap text (owned when the list owns its strings)
    ATTR_KIND_INT = 1,
    ATTR_KIND_INT2 = 2,
    ATTR_KIND_DOUBLE = 3,
};

struct AttrEntry {
    uint16_t column;    // 0: default for all columns
    int16_t attribute;  // negative: ignore this record
    int16_t kind;       // ATTR_KIND_*
    union {
        void* ptr;
        uint32_t u32;
        double dbl;
    } value;
};

// Mode of AttrValueListBuild / AttrRecordCopy under which the list owns copies of its texts.
constexpr int ATTR_COPY_STRINGS = 2;

// The 4-byte key of a record in a lookup table (HashCreate(size, 4)).
inline uint32_t AttrKey(uint16_t attribute, uint16_t column) {
    return (static_cast<uint32_t>(attribute) << 16) | column;
}
// Puts a record into a lookup table under its key; the table keeps the pointer. 1, or 0 when
// memory runs out or the record is to be ignored.
int AttrTablePut(HashTable* table, AttrEntry* record);

// Finds (attribute, column), else (attribute, 0); 1 with the value stored through the
// output that matches the record's kind, else 0.
int AttrLookup(const HashTable* table, uint16_t attribute, uint16_t column, uint32_t* outInt, void** outPtr,
               double* outDouble);
int AttrValueEqual(const AttrEntry* x, const AttrEntry* y);
// 0, or kErrNoMemory when memory runs out (both outputs cleared then).
int AttrValueListBuild(uint16_t n, const AttrEntry* records, uint16_t* outCount, AttrEntry** outList, int mode);
// 0, or kErrNoMemory when a text copy cannot be made (the destination's value is null then).
int AttrRecordCopy(AttrEntry* dest, const AttrEntry* src, int mode);
void AttrEntryClear(AttrEntry* record);
// Clears and frees a heap record; usable as a HashForEach callback. Returns 0.
int AttrEntryFree(void* record, const void* key, void* arg);
// Releases a list from AttrValueListBuild (its texts too when it was built with mode 2).
void AttrValueListFree(AttrEntry* list, uint16_t count, int mode);
