#include "odbc/desc.h"

#include <cstdlib>
#include <new>

#include "odbc/diag.h"
#include "odbc/globals.h"

DescRecord* DescCreate(ConnRecord* conn, StmtRecord* stmt, uint32_t descType, uint32_t allocKind, uint32_t* code) {
    *code = 0;
    auto* d = RecordNew<DescRecord>();
    if (!d) {
        *code = 16;
        return nullptr;
    }
    d->tag = kTagDesc;
    d->allocKind = allocKind;
    d->descType = descType;
    d->conn = allocKind == 2 ? conn : nullptr;
    d->stmt = allocKind == 1 ? stmt : nullptr;
    uint32_t handle = 0;
    if (uint32_t rc = HandleTableAdd(&g_DescTable, &handle, d)) {
        RecordDelete(d);
        *code = rc;
        return nullptr;
    }
    d->handle = handle;
    return d;
}

void DescFree(DescRecord* desc) {
    if (!desc) return;
    // An explicit descriptor in use as a statement's ARD or APD leaves the statement on its own.
    if (desc->allocKind == 2 && desc->conn) {
        for (StmtRecord* s = desc->conn->stmts; s; s = s->next) {
            if (s->ard == desc) s->ard = s->implicitArd;
            if (s->apd == desc) s->apd = s->implicitApd;
        }
    }
    for (uint16_t i = 0; desc->items && i < desc->itemsAlloc; ++i) free(desc->items[i].name);
    delete[] desc->items;
    desc->items = nullptr;
    DiagFreeAll(desc);
    desc->tag = kTagFreed;
    HandleTableRemove(&g_DescTable, desc->handle);
    RecordDelete(desc);
}
