#include "odbc/desc.h"

#include <cstdlib>
#include <new>

#include "odbc/datapath.h"
#include "odbc/desc_field.h"
#include "odbc/diag.h"
#include "odbc/globals.h"
#include "odbc/sql_types.h"
#include "odbc/stmtattr.h"
#include "util/errtable.h"

const char* DescTraceName(const DescRecord* d) {
    if (d->allocKind == SQL_DESC_ALLOC_USER) return "USER";
    switch (d->descType) {
        case kDescIRD:
            return "IRD";
        case kDescARD:
            return "ARD";
        case kDescIPD:
            return "IPD";
        case kDescAPD:
            return "APD";
        default:
            return "UNKNOWN_DESC";
    }
}

uint16_t DescItemCount(const DescRecord* d) { return d->count; }

void DescItemDefaults(const DescRecord* d, DescItem* item) {
    *item = DescItem{};
    if (d->allocKind == SQL_DESC_ALLOC_USER) return;
    if (d->descType == kDescARD || d->descType == kDescAPD) {
        item->type = SQL_C_DEFAULT;
        item->conciseType = SQL_C_DEFAULT;
    } else if (d->descType == kDescIPD) {
        item->parameterType = SQL_PARAM_INPUT;
    }
}

void DescItemUnbind(DescItem* item) {
    item->dataPtr = nullptr;
    item->indicatorPtr = nullptr;
    item->octetLengthPtr = nullptr;
    free(item->name);
    item->name = nullptr;
}

void DescTruncate(DescRecord* d, uint16_t n) {
    if (!d->items) return;
    for (uint32_t k = uint32_t(n) + 1; k < d->itemsAlloc; ++k) {
        DescItemUnbind(&d->items[k]);
        DescItemDefaults(d, &d->items[k]);
    }
}

DescRecord* DescCreate(ConnRecord* conn, StmtRecord* stmt, uint32_t descType, uint32_t allocKind, uint32_t* code) {
    *code = 0;
    auto* d = RecordNew<DescRecord>();
    if (!d) {
        *code = kErrNoMemory;
        return nullptr;
    }
    d->tag = kTagDesc;
    d->allocKind = allocKind;
    d->descType = allocKind == SQL_DESC_ALLOC_USER ? kDescUser : descType;
    d->conn = allocKind == SQL_DESC_ALLOC_USER ? conn : nullptr;
    d->stmt = allocKind == SQL_DESC_ALLOC_AUTO ? stmt : nullptr;
    d->arraySize = 1;
    // Record 0, the bookmark record, lives as long as the descriptor.
    if (DescGrow(d, 0) != 0) {
        RecordDelete(d);
        *code = kErrNoMemory;
        return nullptr;
    }
    DescItemDefaults(d, &d->items[0]);
    d->count = 0;
    uint32_t handle = 0;
    if (uint32_t rc = DriverHandleAdd(&g_DescTable, &handle, d)) {
        delete[] d->items;
        RecordDelete(d);
        *code = rc;
        return nullptr;
    }
    d->handle = handle;
    return d;
}

void DescFree(DescRecord* desc) {
    if (!desc) return;
    // Statements that use an allocated descriptor go back to their own. Only statements of the
    // descriptor's connection can use it, and the caller holds that connection's call lock, so
    // its own list is walked rather than the process-wide statement table.
    if (desc->allocKind == SQL_DESC_ALLOC_USER && desc->conn) {
        for (StmtRecord* s = desc->conn->stmts; s; s = s->next) {
            if (s->tag != kTagStmt) continue;
            if (s->ard == desc) {
                s->ard = s->implicitArd;
                if (s->ard) DescApplyARD(s, s->ard);
            }
            if (s->apd == desc) {
                s->apd = s->implicitApd;
                if (s->apd) DescApplyAPD(s, s->apd);
            }
        }
    }
    for (uint16_t i = 0; desc->items && i < desc->itemsAlloc; ++i) DescItemUnbind(&desc->items[i]);
    delete[] desc->items;
    desc->items = nullptr;
    DiagFreeAll(desc);
    // Out of the table before the tag changes: a walk of the table under its lock (another
    // connection freeing its own descriptors) then never reads a tag being written.
    DriverHandleRemove(&g_DescTable, desc);
    RecordDelete(desc);
}

namespace {

// The code a refused step of applying a descriptor left on the statement (each step that fails
// leaves one).
uint32_t RefusedCode(const StmtRecord* stmt) {
    return stmt->lastError ? uint32_t(stmt->lastError) : uint32_t(kErrGeneral);
}

}  // namespace

uint32_t DescApplyARD(StmtRecord* stmt, DescRecord* desc) {
    // The statement's column bindings become the new ARD's: none of the old one's stay.
    while (BoundCol* b = stmt->boundCols) BoundColRemove(stmt, b->b);
    const struct {
        int32_t attr;
        SQLULEN value;
    } header[] = {
        {SQL_ATTR_ROW_BIND_OFFSET_PTR, SQLULEN(reinterpret_cast<uintptr_t>(desc->bindOffsetPtr))},
        {SQL_ATTR_ROW_BIND_TYPE, desc->bindType},
        {SQL_ATTR_ROW_OPERATION_PTR, SQLULEN(reinterpret_cast<uintptr_t>(desc->arrayStatusPtr))},
        {SQL_ATTR_ROW_ARRAY_SIZE, desc->arraySize},
    };
    for (const auto& h : header) {
        SQLRETURN rc = StmtAttrSet(stmt, h.attr, h.value, 0, 'A');
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return RefusedCode(stmt);
    }
    for (uint16_t n = 0; n <= desc->count && desc->items; ++n) {
        const DescItem& it = desc->items[n];
        if (!it.dataPtr) continue;
        if (uint32_t rc = BindColCore(stmt, n, it.conciseType, it.dataPtr, it.octetLength, it.indicatorPtr)) return rc;
        // The column-binding call sets both pointers to one; the record may hold two.
        if (BoundCol* b = BoundColFind(n, stmt)) {
            b->b.lengthPtr = it.octetLengthPtr;
            b->b.indicatorPtr = it.indicatorPtr;
        }
    }
    return 0;
}

bool DescLengthIsColumnSize(int16_t sqlType) {
    const int verbose = SqlVerboseType(sqlType);
    return SqlTypeIsString(sqlType) || verbose == SQL_DATETIME || verbose == SQL_INTERVAL;
}

namespace {

// The SQL type a value of a C type is as it stands; 0 for SQL_C_DEFAULT, which names none.
int16_t SqlTypeOfValue(int16_t cType) {
    switch (cType) {
        case SQL_C_CHAR:
            return SQL_VARCHAR;
        case SQL_C_WCHAR:
            return SQL_WVARCHAR;
        case SQL_C_BINARY:
            return SQL_VARBINARY;
        case SQL_C_BIT:
            return SQL_BIT;
        case SQL_C_TINYINT:
        case SQL_C_STINYINT:
        case SQL_C_UTINYINT:
            return SQL_TINYINT;
        case SQL_C_SHORT:
        case SQL_C_SSHORT:
        case SQL_C_USHORT:
            return SQL_SMALLINT;
        case SQL_C_LONG:
        case SQL_C_SLONG:
        case SQL_C_ULONG:
            return SQL_INTEGER;
        case SQL_C_SBIGINT:
        case SQL_C_UBIGINT:
            return SQL_BIGINT;
        case SQL_C_FLOAT:
            return SQL_REAL;
        case SQL_C_DOUBLE:
            return SQL_DOUBLE;
        case SQL_C_NUMERIC:
            return SQL_NUMERIC;
        case SQL_C_DATE:
        case SQL_C_TYPE_DATE:
            return SQL_TYPE_DATE;
        case SQL_C_TIME:
        case SQL_C_TYPE_TIME:
            return SQL_TYPE_TIME;
        case SQL_C_TIMESTAMP:
        case SQL_C_TYPE_TIMESTAMP:
            return SQL_TYPE_TIMESTAMP;
        case SQL_C_GUID:
            return SQL_GUID;
        default:
            return SqlTypeIsInterval(cType) ? cType : 0;
    }
}

}  // namespace

SQLRETURN DescBindParamRecord(StmtRecord* stmt, DescRecord* apd, uint16_t n) {
    const DescItem a = apd->items[n];
    DescItem ipdItem{};
    ipdItem.parameterType = SQL_PARAM_INPUT;
    DescRecord* ipd = stmt->ipd;
    if (ipd && ipd->items && n <= ipd->count) ipdItem = ipd->items[n];
    int16_t sqlType = ipdItem.conciseType;
    uint64_t columnSize = DescLengthIsColumnSize(sqlType) ? ipdItem.length : uint64_t(uint16_t(ipdItem.precision));
    int16_t digits = 0;
    if (sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL)
        digits = ipdItem.scale;
    else if (int verbose = SqlVerboseType(sqlType); verbose == SQL_DATETIME || verbose == SQL_INTERVAL)
        digits = ipdItem.precision;
    // An IPD record that names no type yet (an APD copied before the IPD is, as ODBC's own
    // example of copying rows between tables does): the parameter is bound as the value stands,
    // and takes the IPD's type when the application or a copy writes it; the IPD is left as it is.
    const bool provisional = sqlType == 0;
    if (provisional) {
        sqlType = SqlTypeOfValue(a.conciseType);
        columnSize = sqlType == SQL_NUMERIC ? uint64_t(uint16_t(a.precision)) : 0;
        digits = sqlType == SQL_NUMERIC ? a.scale : 0;
    }
    const DescItem ipdBefore = ipdItem;
    // The binding call writes the APD record with one length/indicator pointer; the record's
    // own two are put back after it and carried into the binding.
    const DescItem keep = a;
    SQLRETURN rc = BindParameterCore(stmt, n, uint16_t(ipdItem.parameterType), keep.conciseType, sqlType, columnSize,
                                     digits, keep.dataPtr, keep.octetLength, keep.octetLengthPtr, keep.indicatorPtr);
    if (DescItem* again = DescItemAt(apd, n)) {
        again->octetLengthPtr = keep.octetLengthPtr;
        again->indicatorPtr = keep.indicatorPtr;
        again->octetLength = keep.octetLength;
    }
    if (provisional)
        if (DescItem* same = DescItemAt(ipd, n)) *same = ipdBefore;
    if (rc == SQL_SUCCESS) {
        if (ParamBinding* b = ParamBindingAt(n, stmt)) {
            b->octetLengthPtr = keep.octetLengthPtr;
            b->indicatorPtr = keep.indicatorPtr;
        }
    }
    return rc;
}

uint32_t DescApplyAPD(StmtRecord* stmt, DescRecord* desc) {
    const struct {
        int32_t attr;
        SQLULEN value;
    } header[] = {
        {SQL_ATTR_PARAM_BIND_OFFSET_PTR, SQLULEN(reinterpret_cast<uintptr_t>(desc->bindOffsetPtr))},
        {SQL_ATTR_PARAM_BIND_TYPE, desc->bindType},
        {SQL_ATTR_PARAM_OPERATION_PTR, SQLULEN(reinterpret_cast<uintptr_t>(desc->arrayStatusPtr))},
        {SQL_ATTR_PARAMSET_SIZE, desc->arraySize},
    };
    for (const auto& h : header) {
        SQLRETURN rc = StmtAttrSet(stmt, h.attr, h.value, 0, 'A');
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return RefusedCode(stmt);
    }
    if (stmt->ipd && desc->count > stmt->ipd->count) {
        SQLRETURN rc = DescSetFieldDispatch(stmt->ipd, 0, SQL_DESC_COUNT, desc->count, 0, 'A');
        if (rc != SQL_SUCCESS) return stmt->ipd->lastError ? uint32_t(stmt->ipd->lastError) : RefusedCode(stmt);
    }
    for (uint16_t n = 0; n <= desc->count && desc->items; ++n) {
        if (!desc->items[n].dataPtr) continue;
        if (DescBindParamRecord(stmt, desc, n) != SQL_SUCCESS) return RefusedCode(stmt);
    }
    return 0;
}
