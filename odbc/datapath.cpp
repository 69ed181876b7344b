// Result and parameter descriptions, column bindings and the execution steps of a statement.
#include "odbc/datapath.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include <sql.h>
#include <sqlext.h>

#include "drv_ingii/i-attr.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "odbc/desc.h"
#include "odbc/diag.h"
#include "odbc/globals.h"
#include "odbc/param.h"
#include "util/rowset.h"
#include "odbc/stmt.h"
#include "odbc/stmt_state.h"
#include "util/attr.h"
#include "util/hash.h"
#include "util/errtable.h"

// ---- descriptions ---------------------------------------------------------------------------

bool IsHiddenColumn(const ColumnInfo& c) { return ColumnProcMark(c) != kProcMarkNone; }

uint32_t RowsPerBlock(const ColumnInfo* cols, uint16_t count) {
    if (!cols || count == 0) return 0;
    uint64_t width = 0;
    for (uint16_t i = 0; i < count; ++i) {
        uint64_t size;
        switch (cols[i].value_kind) {
            case DS_BIT:
            case DS_TINYINT:
            case DS_UTINYINT:
                size = 1;
                break;
            case DS_SMALLINT:
            case DS_USMALLINT:
                size = 2;
                break;
            case DS_INTEGER:
            case DS_UINTEGER:
            case DS_REAL:
                size = 4;
                break;
            case DS_DOUBLE:
                size = 8;
                break;
            case DS_DATE:
            case DS_TIME:
                size = 6;
                break;
            case DS_WCHAR:
                size = 2ull * cols[i].length;
                break;
            case DS_TIMESTAMP:
                size = 16;
                break;
            default:  // references and values of varying length count as a timestamp does
                size = DatasetKindIsRef(cols[i].value_kind) || DatasetKindIsVarying(cols[i].value_kind)
                           ? 16
                           : cols[i].length;
                break;
        }
        width += 2 + size;
    }
    const uint64_t rows = 65535 / width;
    return rows ? uint32_t(rows) : 1;
}

void StmtFreeKeyInfo(StmtRecord* stmt) {
    if (!stmt->keyInfo) return;
    HashForEach(stmt->keyInfo, AttrEntryFree, nullptr);
    HashDestroy(stmt->keyInfo);
    stmt->keyInfo = nullptr;
}

namespace {

// The agent's attribute rows as lookup records keyed by attribute and column; 0 or kErrNoMemory.
uint32_t KeepAttributeRows(StmtRecord* stmt, const IngAttrList* list) {
    if (!list || list->count == 0 || !list->rows) return 0;
    if (!stmt->keyInfo) stmt->keyInfo = HashCreate(101, 4);
    if (!stmt->keyInfo) return kErrNoMemory;
    for (uint32_t i = 0; i < list->count; ++i) {
        const IngAttrRow& row = list->rows[i];
        auto* e = static_cast<AttrEntry*>(calloc(1, sizeof(AttrEntry)));
        if (!e) return kErrNoMemory;
        e->column = row.column;
        e->attribute = row.attribute;
        if (row.form == 1) {
            e->kind = ATTR_KIND_INT;
            e->value.u32 = uint32_t(row.value);
        } else {
            e->kind = ATTR_KIND_TEXT;
            e->value.ptr = strdup(row.text ? row.text : "");
            if (!e->value.ptr) {
                free(e);
                return kErrNoMemory;
            }
        }
        // A later row for the same attribute and column replaces the earlier one.
        const uint32_t key = AttrKey(static_cast<uint16_t>(e->attribute), e->column);
        void* earlier = e->attribute >= 0 ? HashGet(stmt->keyInfo, &key) : nullptr;
        if (!AttrTablePut(stmt->keyInfo, e)) {
            AttrEntryFree(e, nullptr, nullptr);
        } else if (earlier) {
            AttrEntryFree(earlier, nullptr, nullptr);
        }
    }
    return 0;
}

}  // namespace

ColumnInfo* StmtDescribeResult(StmtRecord* stmt) {
    if (stmt->results) return stmt->results;
    uint16_t count = 0;
    ColumnInfo* cols = nullptr;
    uint32_t rc;
    // The agent's capability: descriptions come with their attribute rows.
    if (stmt->conn && stmt->conn->capDescribeWithAttrs && AgentSlotGet<DRV_DescribeColsEx>(stmt->link)) {
        StmtFreeKeyInfo(stmt);
        uint16_t attrCount = 0;
        void* attrs = nullptr;
        rc = AgentCall<DRV_DescribeColsEx>(stmt->link, stmt->agentStmt, &count, &attrCount, &cols, &attrs);
        if (rc == 0) rc = KeepAttributeRows(stmt, static_cast<IngAttrList*>(attrs));
        IngAttrListFree(static_cast<IngAttrList*>(attrs));
        if (rc == kErrNoMemory) {
            StmtFreeKeyInfo(stmt);
            if (cols) ColumnInfoArrayFree(cols, count);
            stmt->lastError = kErrNoMemory;
            return nullptr;
        }
    } else {
        rc = AgentCall<DRV_DescribeCols>(stmt->link, stmt->agentStmt, &count, &cols);
    }
    if (rc != 0) {
        if (cols) ColumnInfoArrayFree(cols, count);
        stmt->lastError = rc;
        StmtCollectAgentDiag(stmt);
        return nullptr;
    }
    if (!cols || count == 0) {
        if (cols) ColumnInfoArrayFree(cols, count);
        return nullptr;
    }
    stmt->results = cols;
    stmt->resultCount = count;
    uint32_t rows = RowsPerBlock(cols, count);
    const uint32_t cap = stmt->conn && stmt->conn->blockRowCap ? stmt->conn->blockRowCap : 0xFFFF;
    if (rows > cap) rows = cap;
    if (rows > 0xFFFF) rows = 0xFFFF;
    stmt->rowsPerBlock = uint16_t(rows ? rows : 1);
    return cols;
}

void StmtDescribeNames(StmtRecord* stmt) {
    if (!stmt || !stmt->results || stmt->namesDescribed) return;
    stmt->namesDescribed = true;
    // With the describe-keys option on, the first description brought them already.
    if (stmt->describeKeys || stmt->describeAddKeys) return;
    if (!stmt->conn || !stmt->conn->capDescribeWithAttrs || !AgentSlotGet<DRV_DescribeColsEx>(stmt->link)) return;
    // The names cost catalog queries below the agent: they are asked for only now, and only once.
    uint32_t on = 1, off = 0;
    if (AgentCall<DRV_SetOption>(stmt->link, stmt->agentStmt, kPropStmtOptionBase + uint32_t(kStmtOptDescribeKeys),
                                 static_cast<void*>(&on)) != 0)
        return;
    uint16_t count = 0, attrCount = 0;
    ColumnInfo* cols = nullptr;
    void* attrs = nullptr;
    const ErrCode rc = AgentCall<DRV_DescribeColsEx>(stmt->link, stmt->agentStmt, &count, &attrCount, &cols, &attrs);
    (void)AgentCall<DRV_SetOption>(stmt->link, stmt->agentStmt, kPropStmtOptionBase + uint32_t(kStmtOptDescribeKeys),
                                   static_cast<void*>(&off));
    if (rc == 0 && cols && count == stmt->resultCount) {
        for (uint16_t i = 0; i < count; ++i) {
            ColumnInfo& mine = stmt->results[i];
            std::swap(mine.table, cols[i].table);
            std::swap(mine.schema, cols[i].schema);
            std::swap(mine.catalog, cols[i].catalog);
        }
        // Only what the names bring; the other rows are those of the first description.
        const auto* list = static_cast<const IngAttrList*>(attrs);
        std::vector<IngAttrRow> names;
        for (uint32_t i = 0; list && list->rows && i < list->count; ++i) {
            const IngAttrRow& r = list->rows[i];
            if (r.column != 0 && (r.attribute == SQL_DESC_BASE_COLUMN_NAME || r.attribute == SQL_DESC_UPDATABLE ||
                                  r.attribute == 1053 || r.attribute == 1055))
                names.push_back(r);
        }
        const IngAttrList picked{uint32_t(names.size()), names.data()};
        (void)KeepAttributeRows(stmt, &picked);
    }
    IngAttrListFree(static_cast<IngAttrList*>(attrs));
    if (cols) ColumnInfoArrayFree(cols, count);
}

uint32_t StmtResultRefusal(StmtRecord* stmt) {
    stmt->lastError = 0;
    if (StmtDescribeResult(stmt)) return 0;
    return stmt->lastError ? uint32_t(stmt->lastError) : uint32_t(kErrCursorState);
}

ColumnInfo* StmtResultCol(StmtRecord* stmt, uint16_t column) {
    const uint32_t before = stmt->lastError;
    stmt->lastError = 0;
    ColumnInfo* cols = StmtDescribeResult(stmt);
    if (!cols) {
        // Described without a failure, the statement returns no rows: it has no column to give.
        // ODBC 3 names that 07005; ODBC 2 called it an invalid cursor state.
        if (stmt->lastError == 0) stmt->lastError = DiagCodeByVersion(stmt, kErrCursorState, kErrNotCursorSpec);
        return nullptr;
    }
    stmt->lastError = before;
    if (column >= 1 && column <= stmt->resultCount) return &cols[column - 1];
    if (column == 0 && stmt->cursor.useBookmarks) {
        ColumnInfo* bm = ColumnInfoArrayAlloc(1);
        if (!bm) {
            stmt->lastError = kErrNoMemory;
            return nullptr;
        }
        std::strcpy(bm->name, "BOOKMARK");
        bm->sql_type = SQL_CHAR;
        bm->column_size = 8;
        bm->display_size = 8;
        bm->length = 8;
        bm->scale = 0;
        bm->nullable = 0;
        bm->value_kind = DS_CHAR;
        return bm;
    }
    stmt->lastError = kErrBadColumnNumber;
    return nullptr;
}

ColumnInfo* StmtParamDesc(StmtRecord* stmt, uint16_t param) {
    if (param == 0 || param > stmt->paramCount) {
        stmt->lastError = kErrBadParamNumber;
        return nullptr;
    }
    if (!stmt->paramsDescribed && StmtPrepared(stmt) && !StmtExecuted(stmt)) {
        uint32_t one = 1;
        if (AgentCall<DRV_SetOption>(stmt->link, stmt->agentStmt, kPropDescribeParams, &one) == 0) {
            uint16_t count = 0;
            ColumnInfo* arr = nullptr;
            if (AgentCall<DRV_DescribeParams>(stmt->link, stmt->agentStmt, &count, &arr) == 0) {
                ColumnInfoArrayFree(stmt->params, stmt->paramCount);
                stmt->params = arr;
                stmt->paramCount = count;
            } else if (arr) {
                ColumnInfoArrayFree(arr, count);
            }
        }
        stmt->paramsDescribed = 1;
        if (param > stmt->paramCount || !stmt->params) {
            stmt->lastError = kErrBadParamNumber;
            return nullptr;
        }
    }
    return stmt->params ? &stmt->params[param - 1] : nullptr;
}

uint32_t StmtNumResultCols(StmtRecord* stmt, SQLSMALLINT* out) {
    if (ErrCode refused = StmtMayReadResult(stmt)) return refused;
    if (!out) return 0;
    ColumnInfo* cols = StmtDescribeResult(stmt);
    if (!cols) {
        uint32_t code = stmt->lastError;
        if (code == 0) *out = 0;
        return code;
    }
    SQLSMALLINT n = 0;
    for (uint16_t i = 0; i < stmt->resultCount; ++i)
        if (!IsHiddenColumn(cols[i])) ++n;
    *out = n;
    return 0;
}

uint32_t StmtNumParams(StmtRecord* stmt, SQLSMALLINT* out) {
    if (ErrCode refused = StmtMayReadResult(stmt)) return refused;
    if (out) *out = SQLSMALLINT(stmt->paramCount);
    return 0;
}

uint32_t StmtRowCount(StmtRecord* stmt, SQLLEN* out) {
    int32_t value = 0;
    uint16_t len = 0;
    ErrCode rc = AgentCall<DRV_GetInfo>(stmt->link, stmt->agentStmt, kPropRowCount, &value, uint16_t(4), &len);
    if (rc == 0 && out) *out = SQLLEN(value);  // sign-extended: -1 stays -1
    return rc;
}

uint32_t StmtSetParamsetSize(StmtRecord* stmt, uint64_t size, SQLULEN* processed) {
    if (!stmt->conn || !stmt->conn->hasParamOp) return size == 1 ? 0 : 1;  // IM001
    // A count beyond 32 bits would be cut into some other size.
    if (size == 0 || size > 0xFFFFFFFFull) return kErrRowRange;
    stmt->paramsetSize = uint32_t(size);
    stmt->paramsProcessedPtr = processed;
    return 0;
}

uint32_t StmtFreeParamDescs(StmtRecord* stmt) {
    ColumnInfoArrayFree(stmt->params, stmt->paramCount);
    stmt->params = nullptr;
    stmt->paramCount = 0;
    stmt->paramsDescribed = 0;
    return 0;
}

uint32_t StmtFreeResultCols(StmtRecord* stmt) {
    StmtResetCursorPos(stmt);
    ColumnInfoArrayFree(stmt->results, stmt->resultCount);
    stmt->results = nullptr;
    stmt->resultCount = 0;
    stmt->namesDescribed = false;
    return StmtFreeParamDescs(stmt);
}

// ---- bindings -------------------------------------------------------------------------------

DescItem* DescItemAt(DescRecord* desc, uint16_t n) {
    if (!desc || !desc->items || n > desc->count) return nullptr;
    return &desc->items[n];
}

uint32_t DescGrow(DescRecord* desc, uint16_t n) {
    if (!desc) return kErrBadArg;
    if (uint32_t(n) + 1 > desc->itemsAlloc) {
        const uint32_t want = uint32_t(n) + 1;
        auto* items = new (std::nothrow) DescItem[want];
        if (!items) return kErrNoMemory;
        for (uint32_t i = 0; i < desc->itemsAlloc; ++i) items[i] = desc->items[i];
        delete[] desc->items;
        desc->items = items;
        desc->itemsAlloc = uint16_t(want);
    }
    // Records appended past the count start with the defaults of the descriptor's kind.
    for (uint32_t k = uint32_t(desc->count) + 1; k <= n; ++k) DescItemDefaults(desc, &desc->items[k]);
    if (n > desc->count) desc->count = n;
    return 0;
}

BoundCol* BoundColFind(uint16_t column, StmtRecord* stmt) {
    for (BoundCol* b = stmt->boundCols; b; b = b->next)
        if (b->b.column == column) return b;
    return nullptr;
}

void BoundColsMoveByBindOffset(StmtRecord* stmt) {
    DescRecord* ard = stmt->ard;
    if (!ard || !ard->bindOffsetPtr || !ard->items) return;
    const int64_t off = *ard->bindOffsetPtr;  // read whole: 64-bit
    auto moved = [off](auto* p) { return reinterpret_cast<decltype(p)>(reinterpret_cast<char*>(p) + off); };
    for (uint16_t n = 0; n <= ard->count && n < ard->itemsAlloc; ++n) {
        BoundCol* b = BoundColFind(n, stmt);
        if (!b) continue;
        const DescItem& it = ard->items[n];
        if (it.dataPtr) b->b.target = moved(static_cast<char*>(it.dataPtr));
        if (it.octetLengthPtr) b->b.lengthPtr = moved(it.octetLengthPtr);
        if (it.indicatorPtr) b->b.indicatorPtr = moved(it.indicatorPtr);
    }
}

int BoundColAdd(StmtRecord* stmt, const ColumnBinding& b) {
    auto* node = static_cast<BoundCol*>(calloc(1, sizeof(BoundCol)));
    if (!node) {
        stmt->lastError = kErrNoMemory;
        return -1;
    }
    node->b = b;
    BoundCol** tail = &stmt->boundCols;
    for (; *tail; tail = &(*tail)->next) {
        if ((*tail)->b.column == b.column) {
            BindingPiecesFree((*tail)->b);
            (*tail)->b = b;
            free(node);
            return 0;
        }
    }
    *tail = node;
    return 0;
}

int BoundColRemove(StmtRecord* stmt, const ColumnBinding& b) {
    for (BoundCol** p = &stmt->boundCols; *p; p = &(*p)->next) {
        if ((*p)->b.column == b.column) {
            BoundCol* gone = *p;
            *p = gone->next;
            if (!stmt->conn || !stmt->conn->hasV2DAE) BindingPiecesFree(gone->b);
            free(gone);
            return 0;
        }
    }
    return 0;
}

uint32_t BindColCore(StmtRecord* stmt, uint16_t column, int16_t cType, void* target, int64_t bufferLength,
                     SQLLEN* lenInd) {
    stmt->lastError = 0;
    uint32_t code = 0;
    if (bufferLength < 0)
        code = kErrBadLength;
    else if (bufferLength == 0 && column != 0 && cType != SQL_C_DEFAULT) {
        const int size = CTypeOctetSize(cType);
        if (size > 0) bufferLength = size;
    }
    if (column == 0) {
        uint32_t possible = 0;
        uint16_t len = 0;
        uint32_t rc;
        {
            CritSecGuard g(&ConnectLock);
            rc = AgentInfoItem(stmt->cursor.link ? stmt->cursor.link : stmt->link,
                               stmt->conn ? stmt->conn->agentConn : 0, 82, &possible, 4, &len);
        }
        if (rc != 0)
            code = rc;
        else if (possible == 0)
            code = kErrNotCapable;
        else if (cType != SQL_C_BINARY && cType != SQL_C_UBIGINT && cType != SQL_C_ULONG)
            code = kErrCTypeRange;
        // A fixed bookmark is as wide as its type (SQL_C_ULONG is an ODBC 2 application's
        // SQL_C_BOOKMARK); a variable one keeps the length given, which bounds the copy and the
        // column-wise stride.
        if (bufferLength >= 0 && cType != SQL_C_BINARY) bufferLength = cType == SQL_C_ULONG ? 4 : 8;
    }
    if (code) {
        stmt->lastError = code;
        return code;
    }
    ColumnBinding b = AppColumnBinding(column, cType, target, bufferLength, lenInd);
    if (target ? BoundColAdd(stmt, b) : BoundColRemove(stmt, b)) return stmt->lastError;
    if (DescRecord* ard = stmt->ard) {
        if (uint32_t rc = DescGrow(ard, column > ard->count ? column : ard->count)) {
            stmt->lastError = rc;
            return rc;
        }
        DescItem& it = ard->items[column];
        it.conciseType = cType;
        it.dataPtr = target;
        it.octetLengthPtr = lenInd;
        it.indicatorPtr = lenInd;
        // Kept so that reading the ARD back (or copying it) gives the whole binding.
        it.octetLength = bufferLength;
    }
    return 0;
}

uint32_t StmtUnbindCols(StmtRecord* stmt) {
    const bool v2dae = stmt->conn && stmt->conn->hasV2DAE;
    while (BoundCol* b = stmt->boundCols) {
        stmt->boundCols = b->next;
        if (!v2dae) BindingPiecesFree(b->b);
        free(b);
    }
    if (DescRecord* ard = stmt->ard; ard && ard->count >= 1) {
        for (uint16_t i = 1; i < ard->itemsAlloc; ++i) {
            free(ard->items[i].name);
            ard->items[i] = DescItem{};
        }
        ard->count = 0;
    }
    return 0;
}

// ---- execution ------------------------------------------------------------------------------

uint32_t StmtResetCursorPos(StmtRecord* stmt) {
    DatasetFree(&stmt->block);
    RowsetFree(&stmt->cursor.rowset);
    if (stmt->conn && stmt->conn->hasV2DAE) LongDataFree(&stmt->longData);
    StmtBlockRewind(stmt);
    return 0;
}
