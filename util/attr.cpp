#include "util/attr.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "util/trymem.h"
#include "util/errtable.h"

int AttrTablePut(HashTable* table, AttrEntry* record) {
    if (!table || !record || record->attribute < 0 || table->key_length != 4) return 0;
    const uint32_t key = AttrKey(static_cast<uint16_t>(record->attribute), record->column);
    return HashPut(table, &key, record) ? 1 : 0;
}

int AttrLookup(const HashTable* table, uint16_t attribute, uint16_t column, uint32_t* outInt, void** outPtr,
               double* outDouble) {
    if (!table) return 0;
    uint32_t key = AttrKey(attribute, column);
    auto* rec = static_cast<const AttrEntry*>(HashGet(table, &key));
    if (!rec) {
        key = AttrKey(attribute, 0);
        rec = static_cast<const AttrEntry*>(HashGet(table, &key));
    }
    if (!rec) return 0;
    if (rec->column != column && rec->column != 0) return 0;
    if (rec->attribute < 0 || rec->attribute != static_cast<int32_t>(attribute)) return 0;
    switch (rec->kind) {
        case ATTR_KIND_INT:
        case ATTR_KIND_INT2:
            if (!outInt) return 0;
            *outInt = rec->value.u32;
            return 1;
        case ATTR_KIND_TEXT:
            if (!outPtr) return 0;
            *outPtr = rec->value.ptr;
            return 1;
        case ATTR_KIND_DOUBLE:
            if (!outDouble) return 0;
            *outDouble = rec->value.dbl;
            return 1;
        default:
            return 0;
    }
}

int AttrValueEqual(const AttrEntry* x, const AttrEntry* y) {
    if (!x || !y || x->kind != y->kind) return 0;
    switch (x->kind) {
        case ATTR_KIND_TEXT:
            return x->value.ptr == y->value.ptr;
        case ATTR_KIND_INT:
        case ATTR_KIND_INT2:
            return x->value.u32 == y->value.u32;
        case ATTR_KIND_DOUBLE:
            return !std::isnan(x->value.dbl) && !std::isnan(y->value.dbl) && x->value.dbl == y->value.dbl;
        default:
            return 0;
    }
}

int AttrRecordCopy(AttrEntry* dest, const AttrEntry* src, int mode) {
    if (!dest || !src) return 0;
    *dest = *src;
    if (mode == ATTR_COPY_STRINGS && src->kind == ATTR_KIND_TEXT && src->value.ptr) {
        dest->value.ptr = TryStrdup(static_cast<const char*>(src->value.ptr));
        if (!dest->value.ptr) return kErrNoMemory;
    }
    return 0;
}

void AttrEntryClear(AttrEntry* record) {
    if (!record) return;
    if (record->kind == ATTR_KIND_TEXT && record->value.ptr) {
        std::free(record->value.ptr);
        record->value.ptr = nullptr;
    }
}

int AttrEntryFree(void* record, const void*, void*) {
    auto* rec = static_cast<AttrEntry*>(record);
    AttrEntryClear(rec);
    std::free(rec);
    return 0;
}

void AttrValueListFree(AttrEntry* list, uint16_t count, int mode) {
    if (!list) return;
    if (mode == ATTR_COPY_STRINGS)
        for (uint16_t i = 0; i < count; ++i) AttrEntryClear(&list[i]);
    std::free(list);
}

namespace {
// The walk that decides which records are kept: calls keep(record) for each, in order.
template <typename F>
void WalkKept(uint16_t n, const AttrEntry* records, F keep) {
    int32_t group = std::abs(static_cast<int32_t>(records[0].attribute));
    const AttrEntry* deflt = nullptr;
    for (uint16_t i = 0; i < n; ++i) {
        const AttrEntry* r = &records[i];
        if (r->attribute < 0) continue;
        if (r->attribute != group) {
            group = r->attribute;
            deflt = nullptr;
        }
        if (r->column == 0) {
            deflt = r;
            if (!keep(r)) return;
        } else if (!deflt || !AttrValueEqual(r, deflt)) {
            if (!keep(r)) return;
        }
    }
}
}  // namespace

int AttrValueListBuild(uint16_t n, const AttrEntry* records, uint16_t* outCount, AttrEntry** outList, int mode) {
    if (outCount) *outCount = 0;
    if (outList) *outList = nullptr;
    if (n == 0 || !records || !outCount || !outList) return 0;
    uint16_t count = 0;
    WalkKept(n, records, [&](const AttrEntry*) {
        ++count;
        return true;
    });
    if (count == 0) return 0;
    auto* list = static_cast<AttrEntry*>(TryCalloc(count, sizeof(AttrEntry)));
    if (!list) return kErrNoMemory;
    uint16_t made = 0;
    int rc = 0;
    WalkKept(n, records, [&](const AttrEntry* r) {
        if (made >= count) return false;
        rc = AttrRecordCopy(&list[made], r, mode);
        if (rc != 0) {
            list[made].value.ptr = nullptr;
            return false;
        }
        ++made;
        return true;
    });
    if (rc != 0) {
        AttrValueListFree(list, made, mode);
        return rc;
    }
    *outList = list;
    *outCount = made;
    return 0;
}
