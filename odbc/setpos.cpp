// SQLSetPos: positions on a row of the current rowset, refreshes it from the rowset, and updates,
// deletes or adds rows through the cursor layer's slot 37 with the bound columns' values; the
// data-at-execution dialogue of bound columns for it and for SQLBulkOperations.
#include "odbc/setpos.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "odbc/convert.h"
#include "odbc/datapath.h"
#include "odbc/datapath_agent.h"
#include "odbc/diag.h"
#include "odbc/param_access.h"
#include "odbc/stmt.h"
#include "odbc/stmt_state.h"
#include "util/errtable.h"
#include "util/rowset.h"

RowOpState* StmtRowOps(StmtRecord* stmt) {
    if (!stmt->rowOps) stmt->rowOps = calloc(1, sizeof(RowOpState));
    return static_cast<RowOpState*>(stmt->rowOps);
}

void StmtRowOpsFree(StmtRecord* stmt) {
    auto* st = static_cast<RowOpState*>(stmt->rowOps);
    if (!st) return;
    free(st->bookmarks);
    free(st->columns);
    free(st->agentStatuses);
    free(st->agentMap);
    free(st);
    stmt->rowOps = nullptr;
}

namespace {

SQLLEN LoadLen(const void* slot) {
    SQLLEN v;
    std::memcpy(&v, slot, sizeof v);
    return v;
}

SQLLEN IndicatorAt(const ColumnBinding& b, uint32_t row, uint64_t bindType) {
    if (!b.indicatorPtr) return 0;
    const uint64_t stride = bindType ? bindType : sizeof(SQLLEN);
    return LoadLen(reinterpret_cast<const char*>(b.indicatorPtr) + uint64_t(row) * stride);
}

bool RowIgnored(const StmtRecord* stmt, uint32_t row) {
    const DescRecord* ard = stmt->ard;
    return ard && ard->arrayStatusPtr && ard->arrayStatusPtr[row] == SQL_ROW_IGNORE;
}

// The rows SQLSetPos addresses: the rowset of the last fetch, not the rowset size set since.
uint32_t RowsetRows(const StmtRecord* stmt) { return stmt->cursor.window.PosRowsetSize(stmt->cursor.rowsetSize); }

// A row of an all-rows UPDATE or DELETE left alone: ignored by the row-operation array, or one
// the last fetch did not deliver (a short last rowset, a rowset size grown by a bulk operation).
bool RowLeftOut(const StmtRecord* stmt, uint32_t row) {
    return RowIgnored(stmt, row) || RowsetStatusGet(stmt->cursor.rowset, row + 1) == SQL_ROW_NOROW;
}

SQLRETURN Fail(StmtRecord* stmt, uint32_t code) {
    stmt->lastError = code;
    return SQL_ERROR;
}

// ---- values of bound columns ------------------------------------------------------------------

enum class Mode { Fixed, BigInt, UBigInt, Guid, Numeric, Text, WText, Binary };

struct Plan {
    Mode mode;
    uint32_t kind;
    uint32_t width;
};

int EffectiveCType(const StmtRecord* stmt, const ColumnBinding& b) {
    if (b.cType != SQL_C_DEFAULT) return b.cType;
    if (stmt->results && b.column >= 1 && b.column <= stmt->resultCount)
        return DefaultCType(stmt->results[b.column - 1].sql_type, 3);
    return SQL_C_CHAR;
}

Plan PlanFor(int cType) {
    KindWidth fixed{};
    if (FixedKindOfCType(cType, &fixed)) return {Mode::Fixed, fixed.kind, fixed.width};
    switch (cType) {
        // 64-bit integers as decimal text, each row its own length.
        case SQL_C_SBIGINT:
            return {Mode::BigInt, DS_CHAR_NTS, 32};
        case SQL_C_UBIGINT:
            return {Mode::UBigInt, DS_CHAR_NTS, 32};
        case SQL_C_GUID:
            return {Mode::Guid, DS_CHAR, 36};
        // Exact decimal text: a double would lose digits.
        case SQL_C_NUMERIC:
            return {Mode::Numeric, DS_CHAR_REF, 16};
        case SQL_C_WCHAR:
            return {Mode::WText, DS_WCHAR_REF, 16};
        case SQL_C_BINARY:
            return {Mode::Binary, DS_BINARY_REF, 16};
        // Text by reference keeps every row's own length: no padding reaches the table.
        default:
            return {Mode::Text, DS_CHAR_REF, 16};
    }
}

struct Value {
    bool isNull = false;
    const char* ptr = nullptr;
    uint64_t len = 0;
};

uint64_t WideBytes(const char* p, uint64_t most) {
    uint64_t k = 0;
    for (; 2 * k + 1 < most; ++k) {
        SQLWCHAR u;
        std::memcpy(&u, p + 2 * k, 2);
        if (!u) break;
    }
    return 2 * k;
}

uint32_t ReadValue(const StmtRecord* stmt, const ColumnBinding& b, uint32_t row, const Plan& plan, Value* v) {
    *v = Value{};
    const uint64_t bt = stmt->rowBindType;
    const SQLLEN ind = IndicatorAt(b, row, bt);
    const SQLLEN len = ColumnLengthAt(b, row, bt);
    if (ind == SQL_NULL_DATA || len == SQL_NULL_DATA) {
        v->isNull = true;
        return 0;
    }
    const bool fixed = plan.mode != Mode::Text && plan.mode != Mode::WText && plan.mode != Mode::Binary;
    if (LengthIsDataAtExec(len)) {
        const bool have = b.pieces && row < b.pieceCount;
        const SQLLEN pl = have ? b.pieceLengths[row] : 0;
        if (pl == SQL_NULL_DATA) {
            v->isNull = true;
            return 0;
        }
        v->ptr = have ? static_cast<const char*>(b.pieces[row]) : nullptr;
        if (!v->ptr) {
            // Nothing was sent: empty when the length announced nothing, else NULL.
            static const char empty[2] = {0, 0};
            if (len == SQL_DATA_AT_EXEC || len == SQL_LEN_DATA_AT_EXEC(0)) {
                v->ptr = empty;
            } else {
                v->isNull = true;
            }
            return 0;
        }
        v->len = uint64_t(pl);
        return 0;
    }
    if (!b.target) {
        v->isNull = true;
        return 0;
    }
    const uint64_t stride = bt ? bt : uint64_t(b.bufferLength);
    v->ptr = static_cast<const char*>(b.target) + uint64_t(row) * stride;
    if (fixed) {
        v->len = CTypeOctetSize(EffectiveCType(stmt, b)) > 0 ? uint64_t(CTypeOctetSize(EffectiveCType(stmt, b)))
                                                             : plan.width;
        return 0;
    }
    const uint64_t most = b.bufferLength > 0 ? uint64_t(b.bufferLength) : 0;
    if (len == SQL_NTS) {
        v->len = plan.mode == Mode::WText ? WideBytes(v->ptr, most) : strnlen(v->ptr, most);
    } else if (len >= 0) {
        // Never beyond the buffer the application bound.
        v->len = most && uint64_t(len) > most ? most : uint64_t(len);
    } else {
        v->len = most;
    }
    if (v->len > 0xFFFFFFF0ull) return kErrBadLength;
    return 0;
}

uint32_t StoreValue(Dataset* ds, uint32_t k, uint16_t c, const Plan& plan, const Value& v) {
    DatasetColumn& col = ds->cols[c];
    uint8_t* cell = DatasetCell(&col, k);
    switch (plan.mode) {
        case Mode::Fixed:
            if (v.len < plan.width) return kErrBadLength;
            std::memcpy(cell, v.ptr, plan.width);
            break;
        case Mode::BigInt:
        case Mode::UBigInt: {
            if (v.len < 8) return kErrBadLength;
            char text[32];
            if (plan.mode == Mode::BigInt) {
                long long x;
                std::memcpy(&x, v.ptr, 8);
                std::snprintf(text, sizeof text, "%lld", x);
            } else {
                unsigned long long x;
                std::memcpy(&x, v.ptr, 8);
                std::snprintf(text, sizeof text, "%llu", x);
            }
            std::memset(cell, 0, plan.width);
            std::memcpy(cell, text, strlen(text));
            break;
        }
        case Mode::Guid: {
            if (v.len < sizeof(SQLGUID)) return kErrBadLength;
            SQLGUID g;
            std::memcpy(&g, v.ptr, sizeof g);
            GuidToText(reinterpret_cast<char*>(cell), g);
            break;
        }
        case Mode::Numeric: {
            if (v.len < sizeof(SQL_NUMERIC_STRUCT)) return kErrBadLength;
            SQL_NUMERIC_STRUCT n;
            std::memcpy(&n, v.ptr, sizeof n);
            const std::string t = NumericText(n);
            return uint32_t(DatasetSetRef(ds, k, c, t.data(), uint32_t(t.size())));
        }
        case Mode::WText:
            return uint32_t(DatasetSetRef(ds, k, c, v.ptr, uint32_t(v.len / 2)));
        case Mode::Text:
        case Mode::Binary:
            return uint32_t(DatasetSetRef(ds, k, c, v.ptr, uint32_t(v.len)));
    }
    col.indicators[k] = DS_IND_VALUE;
    return 0;
}

}  // namespace

uint32_t RowOpColumnUsed(StmtRecord* stmt, const BoundCol* b, uint32_t firstRow, bool* used) {
    *used = false;
    if (b->b.column == 0) return 0;
    // A column bound past the result's last one names no column to write (07009, as at a fetch).
    if (!stmt->results || b->b.column > stmt->resultCount) return kErrBadColumnNumber;
    if (b->b.lengthPtr && ColumnLengthAt(b->b, firstRow, stmt->rowBindType) == SQL_COLUMN_IGNORE) return 0;
    if (((stmt->results[b->b.column - 1].nullable >> 4) & 0xF) == 1) return 0;  // SQL_ATTR_READONLY
    *used = true;
    return 0;
}

uint32_t RowOpBuildRows(StmtRecord* stmt, const uint16_t* list, uint16_t listCount, uint32_t first, uint32_t rows,
                        RowSkip skip, Dataset* ds, uint16_t** columnsOut, uint16_t* countOut) {
    if (columnsOut) *columnsOut = nullptr;
    if (countOut) *countOut = 0;
    if (const uint32_t why = StmtResultRefusal(stmt)) return why;
    const BoundCol* chosen[1024];
    uint16_t n = 0;
    for (const BoundCol* b = stmt->boundCols; b && n < 1024; b = b->next) {
        if (list) {
            bool listed = false;
            for (uint16_t i = 0; i < listCount; ++i) listed |= list[i] == b->b.column;
            if (!listed) continue;
            if (!stmt->results || b->b.column == 0 || b->b.column > stmt->resultCount) return kErrBadColumnNumber;
        } else {
            bool used = false;
            if (uint32_t rc = RowOpColumnUsed(stmt, b, first, &used)) return rc;
            if (!used) continue;
        }
        chosen[n++] = b;
    }
    // The cursor layer reads the columns in ascending result order.
    for (uint16_t i = 1; i < n; ++i)
        for (uint16_t j = i; j > 0 && chosen[j - 1]->b.column > chosen[j]->b.column; --j)
            std::swap(chosen[j - 1], chosen[j]);
    if (n == 0) return kErrDerivedDegree;
    if (DatasetInit(ds, n) != 0) return kErrNoMemory;
    ds->col_count = n;
    Plan plans[1024];
    for (uint16_t c = 0; c < n; ++c) {
        plans[c] = PlanFor(EffectiveCType(stmt, chosen[c]->b));
        ds->cols[c].kind = plans[c].kind;
        ds->cols[c].width = plans[c].width;
    }
    if (DatasetAllocRows(ds, rows) != 0) return kErrNoMemory;
    for (uint32_t k = 0; k < rows; ++k) {
        const uint32_t row = first + k;
        const bool ignored =
            skip == kSkipUnfetched ? RowLeftOut(stmt, row) : skip == kSkipIgnored && RowIgnored(stmt, row);
        for (uint16_t c = 0; c < n; ++c) {
            if (ignored) {
                ds->cols[c].indicators[k] = DS_IND_IGNORED;
                continue;
            }
            Value v;
            uint32_t rc = ReadValue(stmt, chosen[c]->b, row, plans[c], &v);
            if (rc == 0) {
                if (v.isNull)
                    ds->cols[c].indicators[k] = DS_IND_NULL;
                else
                    rc = StoreValue(ds, k, c, plans[c], v);
            }
            if (rc) return rc;
        }
    }
    ds->rows_used = rows;
    if (columnsOut) {
        auto* cols = static_cast<uint16_t*>(malloc(sizeof(uint16_t) * n));
        if (!cols) return kErrNoMemory;
        for (uint16_t c = 0; c < n; ++c) cols[c] = chosen[c]->b.column;
        *columnsOut = cols;
        if (countOut) *countOut = n;
    }
    return 0;
}

namespace {}  // namespace

void RowOpCollect(StmtRecord* stmt, uint32_t rc) {
    const DiagRecord* before = stmt->diags.tail;
    StmtCollectAgentDiag(stmt);
    if (stmt->diags.tail == before) stmt->lastError = rc;
}

namespace {

// Writes n returned statuses from row `first` (1-based) into the cursor's rowset and, unless the
// row is ignored, the application's row-status array.
void StoreStatuses(StmtRecord* stmt, const uint16_t* st, uint32_t first, uint32_t n, uint16_t operation) {
    StmtCursor& c = stmt->cursor;
    SQLUSMALLINT* app = stmt->ird ? stmt->ird->arrayStatusPtr : nullptr;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t r = first + i;
        // A row the fetch did not deliver stays no row; an added row needs none.
        if (operation != SQL_ADD && RowsetStatusGet(c.rowset, r) == SQL_ROW_NOROW) continue;
        RowsetStatusSet(c.rowset, r, st[i]);
        if (app && !RowIgnored(stmt, r - 1)) app[r - 1] = st[i];
    }
}

bool Narrowing(const StmtRecord* stmt) { return stmt->conn && stmt->conn->wideUnconfirmed; }

void FreeRowsIfOurs(StmtRecord* stmt, Dataset* ds, uint16_t* cols) {
    if (AgentLinkCallerFrees(stmt->link)) {
        if (ds) DatasetDelete(ds);
        free(cols);
    }
}

}  // namespace

SQLLEN ColumnLengthAt(const ColumnBinding& b, uint32_t row, uint64_t bindType) {
    if (!b.lengthPtr) return SQLLEN(b.bufferLength);
    const uint64_t stride = bindType ? bindType : sizeof(SQLLEN);
    return LoadLen(reinterpret_cast<const char*>(b.lengthPtr) + uint64_t(row) * stride);
}

bool LengthIsDataAtExec(SQLLEN len) { return len == SQL_DATA_AT_EXEC || len <= SQL_LEN_DATA_AT_EXEC_OFFSET; }

uint32_t ColumnValueLength(const ColumnBinding& b, uint32_t row, uint64_t bindType) {
    const SQLLEN len = ColumnLengthAt(b, row, bindType);
    if (IndicatorAt(b, row, bindType) == SQL_NULL_DATA) return 0;
    const char* data = nullptr;
    uint64_t most = b.bufferLength > 0 ? uint64_t(b.bufferLength) : 0;
    if (LengthIsDataAtExec(len)) {
        if (!b.pieces || row >= b.pieceCount) return 0;
        data = static_cast<const char*>(b.pieces[row]);
        most = b.pieceLengths[row] > 0 ? uint64_t(b.pieceLengths[row]) : 0;
        if (!data) return 0;
        return uint32_t(most);
    }
    if (b.target)
        data = static_cast<const char*>(b.target) + uint64_t(row) * (bindType ? bindType : uint64_t(b.bufferLength));
    if (!data) return 0;
    if (len == SQL_NTS) return uint32_t(b.cType == SQL_C_WCHAR ? WideBytes(data, most) : strnlen(data, most));
    if (len >= 0 || len < -100) return uint32_t(uint64_t(len) & 0xFFFFFFFFu);
    return uint32_t(most);
}

uint32_t ColumnMaxValueLength(const ColumnBinding& b, uint32_t rows, uint64_t bindType) {
    uint32_t most = 0;
    for (uint32_t r = 0; r < rows; ++r) {
        const uint32_t n = ColumnValueLength(b, r, bindType);
        if (n > most) most = n;
    }
    return most;
}

uint32_t ColumnPieceBuffersReset(StmtRecord* stmt) {
    RowOpState* st = StmtRowOps(stmt);
    if (!st) return kErrNoMemory;
    uint64_t rows = RowsetRows(stmt);
    if (st->setPosRow > rows) rows = st->setPosRow;
    if (stmt->ard && stmt->ard->arraySize > rows) rows = stmt->ard->arraySize;
    if (rows > 0xFFFFFFFFull) return kErrRowRange;
    for (BoundCol* n = stmt->boundCols; n; n = n->next) {
        ColumnBinding& b = n->b;
        for (uint32_t i = 0; b.pieces && i < b.pieceCount; ++i) free(b.pieces[i]);
        free(b.pieces);
        free(b.pieceLengths);
        b.pieces = static_cast<void**>(calloc(size_t(rows), sizeof(void*)));
        b.pieceLengths = static_cast<SQLLEN*>(calloc(size_t(rows), sizeof(SQLLEN)));
        b.pieceCount = b.pieces && b.pieceLengths ? uint32_t(rows) : 0;
        if (!b.pieceCount) {
            free(b.pieces);
            free(b.pieceLengths);
            b.pieces = nullptr;
            b.pieceLengths = nullptr;
            return kErrNoMemory;
        }
    }
    return 0;
}

uint32_t ColumnPieceAppend(ColumnBinding* b, int64_t fixedSize, const void* data, SQLLEN length, uint32_t row) {
    if (!b->pieces || row >= b->pieceCount) return kErrSequence;
    if (length == SQL_NULL_DATA) {
        free(b->pieces[row]);
        b->pieces[row] = nullptr;
        b->pieceLengths[row] = SQL_NULL_DATA;
        return 0;
    }
    if (length < 0 && length != SQL_NTS) return kErrBadLength;
    if (!data) return kErrBadArg;
    uint64_t n;
    if (fixedSize > 0) {
        // A fixed-size C type comes whole: a second piece would join two values' bytes.
        if (b->pieceLengths[row] > 0) return kErrPiecesNotText;
        // ODBC ignores the length argument.
        n = uint64_t(fixedSize);
    } else if (length == SQL_NTS) {
        n = b->cType == SQL_C_WCHAR ? WideBytes(static_cast<const char*>(data), UINT64_MAX)
                                    : strlen(static_cast<const char*>(data));
    } else {
        n = uint64_t(length);
    }
    const uint64_t have = b->pieceLengths[row] > 0 ? uint64_t(b->pieceLengths[row]) : 0;
    if (have + n > 0xFFFFFFF0ull) return kErrBadLength;
    if (b->pieceLengths[row] == SQL_NULL_DATA) b->pieceLengths[row] = 0;
    if (n == 0) {
        if (!b->pieces[row]) b->pieces[row] = calloc(1, 2);  // an empty value, not NULL
        return b->pieces[row] ? 0u : uint32_t(kErrNoMemory);
    }
    void* grown = realloc(b->pieces[row], have + n);
    if (!grown) return kErrNoMemory;
    std::memcpy(static_cast<char*>(grown) + have, data, n);
    b->pieces[row] = grown;
    b->pieceLengths[row] = SQLLEN(have + n);
    return 0;
}

namespace {

bool Listed(const uint16_t* list, uint16_t count, uint16_t column) {
    for (uint16_t i = 0; i < count; ++i)
        if (list[i] == column) return true;
    return false;
}

}  // namespace

int NextDataAtExecColumn(StmtRecord* stmt, const uint16_t* list, uint16_t count) {
    RowOpState* st = StmtRowOps(stmt);
    if (!st) return 0;
    uint32_t end = st->daeRows;
    if (st->setPosRow > end) end = st->setPosRow;
    const bool everyUpdated = list == nullptr && st->setPosRow == 0 && st->setPosOp == SQL_UPDATE;
    for (uint32_t r = st->daeRow; r < end; ++r) {
        if (!(everyUpdated ? RowLeftOut(stmt, r) : RowIgnored(stmt, r))) {
            uint16_t p = 0;
            for (BoundCol* b = stmt->boundCols; b; b = b->next, ++p) {
                if (r == st->daeRow && p < st->daePosition) continue;
                if (b->b.column == 0 || !b->b.lengthPtr) continue;
                if (list ? !Listed(list, count, b->b.column) : false) continue;
                if (!list) {
                    bool used = false;
                    if (RowOpColumnUsed(stmt, b, r, &used) != 0 || !used) continue;
                }
                if (IndicatorAt(b->b, r, stmt->rowBindType) == SQL_NULL_DATA) continue;
                if (LengthIsDataAtExec(ColumnLengthAt(b->b, r, stmt->rowBindType))) {
                    st->daeRow = r;
                    st->daePosition = p;
                    return 1;
                }
            }
        }
    }
    st->daeRow = 0;
    st->daePosition = 0;
    return 0;
}

namespace {}  // namespace

SQLRETURN RowOpDataAtExecStart(StmtRecord* stmt, uint32_t row, uint32_t rows, const uint16_t* list, uint16_t count) {
    if (ErrCode refused = StmtMayStartDialogue(stmt)) return Fail(stmt, refused);
    RowOpState* st = StmtRowOps(stmt);
    if (!st) return Fail(stmt, kErrNoMemory);
    if (uint32_t rc = ColumnPieceBuffersReset(stmt)) return Fail(stmt, rc);
    st->daePosition = 0;
    st->daeRow = row ? row - 1 : 0;
    st->daeRows = rows;
    if (NextDataAtExecColumn(stmt, list, count)) {
        StmtNeedDataBegin(stmt, list ? kNeedDataBulk : kNeedDataSetPos);
        return SQL_NEED_DATA;
    }
    return SQL_SUCCESS;
}

SQLRETURN ColumnDataAtExecStart(StmtRecord* stmt, uint16_t row, const uint16_t* columns, uint16_t count) {
    return RowOpDataAtExecStart(stmt, row, row ? row : RowsetRows(stmt), columns, count);
}

SQLRETURN RowOpParamData(StmtRecord* stmt, void** valueOut) {
    RowOpState* st = StmtRowOps(stmt);
    if (!st) return Fail(stmt, kErrNoMemory);
    if (StmtNeedDataResumes(stmt, NeedDataCall::kSetPos)) return SetPosDispatch(stmt, st->setPosRow, st->setPosOp, 0);
    if (StmtNeedDataResumes(stmt, NeedDataCall::kBulk)) return BulkOperationsRows(stmt, st->bulkOp);
    const NeedDataCall call = StmtNeedDataCall(stmt);
    if (call != NeedDataCall::kSetPos && call != NeedDataCall::kBulk) return Fail(stmt, kErrSequence);
    const bool bulk = call == NeedDataCall::kBulk;
    st->supplyRow = st->daeRow;
    st->curPosition = st->daePosition;
    st->daePosition = uint16_t(st->daePosition + 1);
    BoundCol* b = stmt->boundCols;
    for (uint16_t p = 0; b && p < st->curPosition; ++p) b = b->next;
    if (!b) {
        StmtNeedDataEnd(stmt);
        return Fail(stmt, kErrSequence);
    }
    if (b->b.pieces && st->supplyRow < b->b.pieceCount) {
        free(b->b.pieces[st->supplyRow]);
        b->b.pieces[st->supplyRow] = nullptr;
        b->b.pieceLengths[st->supplyRow] = 0;
    }
    if (valueOut) {
        const uint64_t stride = stmt->rowBindType ? stmt->rowBindType : uint64_t(b->b.bufferLength);
        *valueOut = b->b.target ? static_cast<char*>(b->b.target) + uint64_t(st->supplyRow) * stride : nullptr;
    }
    StmtNeedDataAsk(stmt);
    const uint16_t* list = bulk ? st->columns : nullptr;
    if (!NextDataAtExecColumn(stmt, list, bulk ? st->columnCount : 0)) StmtNeedDataLast(stmt);
    return SQL_NEED_DATA;
}

SQLRETURN RowOpPutData(StmtRecord* stmt, const void* data, SQLLEN length) {
    RowOpState* st = StmtRowOps(stmt);
    if (!st) return Fail(stmt, kErrSequence);
    if (ErrCode refused = StmtMayPutData(stmt)) return Fail(stmt, refused);
    BoundCol* b = stmt->boundCols;
    for (uint16_t p = 0; b && p < st->curPosition; ++p) b = b->next;
    if (!b) return Fail(stmt, kErrSequence);
    if (uint32_t rc = ColumnPieceAppend(&b->b, CTypeOctetSize(EffectiveCType(stmt, b->b)), data, length, st->supplyRow))
        return Fail(stmt, DiagPieceCode(stmt, rc));
    return SQL_SUCCESS;
}

uint32_t SetPosBuildRows(StmtRecord* stmt, uint32_t row, Dataset* out, uint16_t** columns, uint16_t* count) {
    StmtNeedDataEnd(stmt);
    const uint32_t first = row ? row - 1 : 0;
    const uint32_t rows = row ? 1 : RowsetRows(stmt);
    // Rows added need no fetched row; every row updated does.
    const RowOpState* st = StmtRowOps(stmt);
    const RowSkip skip = row == 0 && st && st->setPosOp == SQL_UPDATE ? kSkipUnfetched : kSkipIgnored;
    return RowOpBuildRows(stmt, nullptr, 0, first, rows, skip, out, columns, count);
}

uint32_t BoundColumnValues(StmtRecord* stmt, const BoundCol* b, Dataset* ds, uint16_t c, uint32_t first, uint32_t rows,
                           bool markIgnored) {
    const Plan plan = PlanFor(EffectiveCType(stmt, b->b));
    ds->cols[c].kind = plan.kind;
    ds->cols[c].width = plan.width;
    for (uint32_t k = 0; k < rows; ++k) {
        if (markIgnored && RowIgnored(stmt, first + k)) {
            ds->cols[c].indicators[k] = DS_IND_IGNORED;
            continue;
        }
        Value v;
        if (uint32_t rc = ReadValue(stmt, b->b, first + k, plan, &v)) return rc;
        if (v.isNull) {
            ds->cols[c].indicators[k] = DS_IND_NULL;
            continue;
        }
        if (uint32_t rc = StoreValue(ds, k, c, plan, v)) return rc;
    }
    return 0;
}

uint32_t SetPosDeleteRows(StmtRecord* stmt, uint32_t row, Dataset** out) {
    *out = nullptr;
    const uint32_t rows = row ? 1 : RowsetRows(stmt);
    auto* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
    if (!ds || DatasetInit(ds, 1) != 0) {
        free(ds);
        return kErrNoMemory;
    }
    ds->col_count = 1;
    ds->cols[0].kind = DS_BIT;
    ds->cols[0].width = 1;
    if (DatasetAllocRows(ds, rows) != 0) {
        DatasetDelete(ds);
        return kErrNoMemory;
    }
    for (uint32_t k = 0; k < rows; ++k) {
        const uint32_t r = row ? row - 1 : k;
        ds->cols[0].indicators[k] = (row ? RowIgnored(stmt, r) : RowLeftOut(stmt, r)) ? DS_IND_IGNORED : DS_IND_VALUE;
    }
    ds->rows_used = rows;
    *out = ds;
    return 0;
}

SQLRETURN SetPosRun(StmtRecord* stmt, SQLULEN row, SQLUSMALLINT operation, SQLUSMALLINT lock) {
    // A 64-bit row beyond the rowset must not wrap into some row of it.
    if (row > SQLULEN(RowsetRows(stmt)) && operation != SQL_ADD && !StmtInNeedData(stmt)) {
        if (lock != SQL_LOCK_NO_CHANGE) return Fail(stmt, kErrNotCapable);
        if (stmt->cursor.cursorType == SQL_CURSOR_FORWARD_ONLY && operation != SQL_POSITION)
            return Fail(stmt, kErrCursorPosition);
        return Fail(stmt, kErrRowRange);
    }
    if (row > 0xFFFFFFFFull) return Fail(stmt, kErrRowRange);
    return SetPosDispatch(stmt, uint32_t(row), operation, lock);
}

namespace {

// A forward-only cursor does not scroll and changes no row, but positions within the rowset it
// fetched, so that SQLGetData reads any of its rows (SQL_GD_BLOCK).
SQLRETURN ForwardOnlyPosition(StmtRecord* stmt, uint32_t row, uint16_t operation) {
    StmtCursor& c = stmt->cursor;
    if (operation != SQL_POSITION) return Fail(stmt, kErrCursorPosition);
    if (ErrCode refused = StmtMayUseCursor(stmt)) return Fail(stmt, refused);
    if (row == 0) return Fail(stmt, kErrCursorPosition);
    if (row > RowsetRows(stmt)) return Fail(stmt, kErrRowRange);
    // One row at a time, the row fetched last is the rowset.
    if (!StmtPositioned(stmt)) return Fail(stmt, kErrCursorState);
    if (c.rowset != nullptr) {
        if (RowsetStatusGet(c.rowset, row) == SQL_ROW_NOROW) return Fail(stmt, kErrCursorPosition);
        if (uint32_t rc = CursorRowTell(stmt, row)) {
            StmtCollectAgentDiag(stmt);
            return Fail(stmt, rc);
        }
        StmtPositionOn(stmt, int32_t(row));
    }
    stmt->longData.column = 0;
    stmt->longData.row = 0;
    return SQL_SUCCESS;
}

}  // namespace

SQLRETURN SetPosDispatch(StmtRecord* stmt, uint32_t row, uint16_t operation, uint16_t lock) {
    if (lock != SQL_LOCK_NO_CHANGE) return Fail(stmt, kErrNotCapable);
    if (!stmt->conn || !stmt->conn->hasScrlCurs) return Fail(stmt, kErrNotSupported);
    if (stmt->cursor.cursorType == SQL_CURSOR_FORWARD_ONLY && !StmtInNeedData(stmt))
        return ForwardOnlyPosition(stmt, row, operation);
    // Rows handed to an empty slot would be nobody's to free.
    if ((operation == SQL_UPDATE || operation == SQL_DELETE || operation == SQL_ADD) &&
        !AgentSlotGet<DRV_SetPos>(stmt->link))
        return Fail(stmt, kErrNotCapable);
    if (stmt->conn && stmt->conn->hasV2DAE) {
        // The agent's row numbers are 16 bits wide: a larger row must not wrap onto another.
        if (row > 0xFFFFu) return Fail(stmt, kErrRowRange);
        return SetPosAgentDAE(stmt, uint16_t(row), operation);
    }
    return SetPosRows(stmt, row, operation);
}

namespace {

// A row operation checked against the cursor, in the order its answers are due; 0 when it may go
// ahead, the cursor then positioned on the row (row 0: every row of the rowset).
uint32_t SetPosChecks(StmtRecord* stmt, uint32_t row, uint16_t operation) {
    StmtCursor& c = stmt->cursor;
    if (c.cursorType == SQL_CURSOR_FORWARD_ONLY) return kErrCursorPosition;
    if (c.concurrency == SQL_CONCUR_READ_ONLY &&
        (operation == SQL_UPDATE || operation == SQL_DELETE || operation == SQL_ADD))
        return kErrBadArg;
    if (ErrCode refused = StmtMayUseCursor(stmt)) return refused;
    if (operation != SQL_ADD) {
        if (!c.rowset || !StmtPositioned(stmt)) return kErrCursorState;
        if (row > RowsetRows(stmt)) return kErrRowRange;
    }
    if (operation > SQL_ADD) return kErrNotCapable;
    if (operation == SQL_ADD) return 0;
    // Statuses of the rows asked for, never past the rows the rowset holds; over the whole rowset
    // a row the application marked ignored is no row of the operation.
    const uint32_t from = row ? row : 1, to = row ? row : RowsetRows(stmt);
    uint16_t last = SQL_ROW_NOROW;
    for (uint32_t r = from; r <= to; ++r) {
        if (row == 0 && RowIgnored(stmt, r - 1)) continue;
        last = RowsetStatusGet(c.rowset, r);
        if ((last == SQL_ROW_DELETED || last == SQL_ROW_ERROR) &&
            (operation == SQL_DELETE || operation == SQL_UPDATE || operation == SQL_REFRESH))
            return kErrCursorPosition;
    }
    if (row && last == SQL_ROW_NOROW) return kErrCursorPosition;
    return c.window.SetPos(row == 0 ? kCursorWholeRowset : int32_t(row));
}

// The keys of the rows to delete as the agent takes them (narrowed where the connection narrows).
uint32_t SetPosDeleteDataset(StmtRecord* stmt, uint32_t row, Dataset** out) {
    if (uint32_t rc = SetPosDeleteRows(stmt, row, out)) return rc;
    if (Narrowing(stmt) && DatasetNarrowColumns(*out) != 0) {
        DatasetDelete(*out);
        *out = nullptr;
        return kErrNoMemory;
    }
    return 0;
}

}  // namespace

namespace {

// SQL_REFRESH reads the rows again: those the bookmarks of a fetch by bookmark named, or the
// rowset of the last fetch, at the rowset size it ran with.
uint32_t RowsetReadAll(StmtRecord* stmt) {
    StmtCursor& c = stmt->cursor;
    if (const uint32_t* bookmarks = c.window.rowBookmarks()) {
        uint16_t* statuses = nullptr;
        const uint32_t n = c.window.rowBookmarkCount();
        const uint32_t rc =
            n > 0xFFFF ? uint32_t(kErrRowRange) : RowsetFetchByBookmarks(stmt, bookmarks, uint16_t(n), &statuses);
        free(statuses);
        return rc;
    }
    const uint32_t size = c.window.PosRowsetSize(c.rowsetSize), current = c.rowsetSize,
                   previous = c.window.prevRowsetSize();
    const uint32_t sizeSet = c.flags & kScsRowsetSizeSet;
    const bool resize = size != current;
    uint32_t v = size;
    if (resize)
        if (const uint32_t refused =
                AgentCall<DRV_SetOption>(stmt->link, stmt->agentStmt, uint32_t(kPropRowsetSize), &v))
            return refused;
    c.rowsetSize = size;
    uint32_t rows = 0;
    const uint32_t rc = CursorRowsetAgain(&c, &rows);
    if (resize) {
        // The application's rowset size stands for its next fetch.
        v = current;
        (void)AgentCall<DRV_SetOption>(stmt->link, stmt->agentStmt, uint32_t(kPropRowsetSize), &v);
        c.rowsetSize = current;
        c.window.NextMovesBy(previous);
        c.flags = (c.flags & ~uint32_t(kScsRowsetSizeSet)) | sizeSet;
    }
    if (rc == 0) c.window.Delivered(rows);
    return rc;
}

// The rows of the refresh read again (row 0: all of them). A refresh of one row changes that
// row alone: the others keep the values and statuses the application was given.
uint32_t RowsetReadAgain(StmtRecord* stmt, uint32_t row) {
    StmtCursor& c = stmt->cursor;
    Rowset* before = row != 0 ? c.rowset : nullptr;
    if (before != nullptr) c.rowset = nullptr;
    uint32_t rc = RowsetReadAll(stmt);
    Rowset* now = c.rowset;
    if (rc == 0 && before != nullptr && now != nullptr) {
        const bool values =
            before->data && now->data && before->data->col_count == now->data->col_count && before->data->col_count > 0;
        for (uint32_t r = 1; rc == 0 && r <= now->rows && r <= before->rows; ++r) {
            if (r == row) continue;
            RowsetStatusSet(now, r, RowsetStatusGet(before, r));
            if (values && r <= before->data->rows_used && r <= now->data->rows_used)
                rc = uint32_t(DatasetCopyRow(now->data, before->data, r - 1, r - 1, 0));
        }
    }
    if (before != nullptr) {
        // Without the rows read again the cursor keeps those it had.
        if (rc != 0 || now == nullptr) {
            RowsetFree(&c.rowset);
            c.rowset = before;
        } else {
            RowsetFree(&before);
        }
    }
    return rc;
}

// The rows are read again, a keyset-driven, mixed or dynamic cursor's by their keys (others'
// changes show, and values concurrency compares with what was read now), a static one's from its
// snapshot (a rowset fetched without its data has none to give), and handed to the application.
SQLRETURN SetPosRefresh(StmtRecord* stmt, uint32_t row) {
    if (uint32_t rc = RowsetReadAgain(stmt, row)) {
        RowOpCollect(stmt, rc);
        return SQL_ERROR;
    }
    if (uint32_t rc = stmt->cursor.window.SetPos(row == 0 ? kCursorWholeRowset : int32_t(row))) return Fail(stmt, rc);
    const SQLRETURN moved = RowsetTransfer(stmt, stmt->ird ? stmt->ird->arrayStatusPtr : nullptr, row, SQL_REFRESH);
    stmt->longData.column = 0;
    stmt->longData.row = 0;
    return moved;
}

}  // namespace

SQLRETURN SetPosRows(StmtRecord* stmt, uint32_t row, uint16_t operation) {
    RowOpState* st = StmtRowOps(stmt);
    if (!st) return Fail(stmt, kErrNoMemory);
    if (!stmt->conn || !stmt->conn->hasScrlCurs) return Fail(stmt, kErrNotSupported);
    BoundColsApplyBindOffset(stmt);
    const uint32_t marker = row == 0 ? 0xFFFFFFFEu : row;
    if (!StmtNeedDataResumes(stmt, NeedDataCall::kSetPos)) {
        if (uint32_t rc = SetPosChecks(stmt, row, operation)) return Fail(stmt, rc);
        st->setPosRow = row;
        st->setPosOp = operation;
        switch (operation) {
            case SQL_POSITION: {
                uint16_t* statuses = nullptr;
                uint32_t processed = 0;
                ErrCode rc = AgentCall<DRV_SetPos>(stmt->link, stmt->agentStmt, marker, uint16_t(SQL_POSITION),
                                                   uint16_t(0), &statuses, &processed, nullptr, nullptr, uint16_t(0));
                free(statuses);
                // SQLGetData starts afresh on the row: the fetch that filled the bound columns
                // of the rowset's last row is no earlier read of it.
                stmt->longData.column = 0;
                stmt->longData.row = 0;
                if (rc == 0) return SQL_SUCCESS;
                RowOpCollect(stmt, rc);
                return SQL_ERROR;
            }
            case SQL_REFRESH:
                return SetPosRefresh(stmt, row);
            case SQL_DELETE: {
                Dataset* ds = nullptr;
                if (uint32_t rc = SetPosDeleteDataset(stmt, row, &ds)) return Fail(stmt, rc);
                uint16_t* statuses = nullptr;
                uint32_t processed = 0;
                ErrCode rc = AgentCall<DRV_SetPos>(stmt->link, stmt->agentStmt, marker, uint16_t(SQL_DELETE),
                                                   uint16_t(0), &statuses, &processed, ds, nullptr, uint16_t(0));
                FreeRowsIfOurs(stmt, ds, nullptr);
                SQLRETURN result = SQL_SUCCESS;
                if (rc != 0) {
                    RowOpCollect(stmt, rc);
                    if (rc == kErrManyRowsChanged || rc == kErrNoRowsChanged) {
                        result = rc == kErrManyRowsChanged ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
                    } else {
                        free(statuses);
                        return SQL_ERROR;
                    }
                }
                if (statuses) {
                    uint32_t n = row ? 1 : RowsetRows(stmt);
                    if (n > processed) n = processed;
                    StoreStatuses(stmt, statuses, row ? row : 1, n, SQL_DELETE);
                }
                free(statuses);
                return result;
            }
            case SQL_UPDATE:
            case SQL_ADD: {
                bool any = false;
                for (BoundCol* b = stmt->boundCols; b; b = b->next) any |= b->b.column != 0;
                if (!any) return Fail(stmt, kErrDerivedDegree);
                const uint32_t rows = row ? 1 : RowsetRows(stmt);
                SQLRETURN dae = RowOpDataAtExecStart(stmt, row, row ? row : rows, nullptr, 0);
                if (dae != SQL_SUCCESS) return dae;
                break;
            }
            default:
                return Fail(stmt, kErrNotCapable);
        }
    }
    // SQL_UPDATE and SQL_ADD, at once or once the last column value is in.
    row = st->setPosRow;
    operation = st->setPosOp;
    const uint32_t mark = row == 0 ? 0xFFFFFFFEu : row;
    auto* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
    if (!ds) return Fail(stmt, kErrNoMemory);
    uint16_t* cols = nullptr;
    uint16_t count = 0;
    if (uint32_t rc = SetPosBuildRows(stmt, row, ds, &cols, &count)) {
        DatasetDelete(ds);
        free(cols);
        return Fail(stmt, rc);
    }
    if (Narrowing(stmt) && DatasetNarrowColumns(ds) != 0) {
        DatasetDelete(ds);
        free(cols);
        return Fail(stmt, kErrNoMemory);
    }
    uint16_t* statuses = nullptr;
    uint32_t processed = 0;
    // The slot is filled (SetPosDispatch refuses an empty one), so the rows pass to it.
    // NOLINTBEGIN(clang-analyzer-unix.Malloc)
    ErrCode rc = AgentCall<DRV_SetPos>(stmt->link, stmt->agentStmt, mark, operation, uint16_t(0), &statuses, &processed,
                                       ds, cols, count);
    FreeRowsIfOurs(stmt, ds, cols);
    SQLRETURN result = SQL_SUCCESS;
    // NOLINTEND(clang-analyzer-unix.Malloc)
    if (rc != 0) {
        RowOpCollect(stmt, rc);
        if (rc == kErrManyRowsChanged) {
            result = SQL_SUCCESS_WITH_INFO;
        } else if (rc == kErrNoRowsChanged || rc == kErrRowError) {
            result = rc == kErrRowError && row == 0 ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
        } else {
            free(statuses);
            return SQL_ERROR;
        }
    }
    // An added row beyond the rowset has no place in it.
    if (statuses && !(operation == SQL_ADD && row > RowsetRows(stmt))) {
        uint32_t n = row ? 1 : RowsetRows(stmt);
        if (n > processed) n = processed;
        StoreStatuses(stmt, statuses, row ? row : 1, n, operation);
    }
    free(statuses);
    return result;
}

// ---- agents that collect column data at execution themselves ----------------------------------

namespace {

// What the operation kept beside the pending Dataset; the Dataset itself the caller releases.
void AgentSetPosRelease(StmtRecord* stmt) {
    auto* st = static_cast<RowOpState*>(stmt->rowOps);
    if (!st) return;
    free(st->agentStatuses);
    st->agentStatuses = nullptr;
    st->agentProcessed = 0;
    if (AgentLinkCallerFrees(stmt->link)) free(st->agentColumns);
    st->agentColumns = nullptr;
    free(st->agentMap);
    st->agentMap = nullptr;
    st->agentMapCount = 0;
}

void AgentSetPosCleanup(StmtRecord* stmt) {
    AgentSetPosRelease(stmt);
    if (AgentLinkCallerFrees(stmt->link) && stmt->pendingParams) DatasetDelete(stmt->pendingParams);
    stmt->pendingParams = nullptr;
}

// The bound column of value `index` of the pending row Dataset.
BoundCol* AgentValueColumn(StmtRecord* stmt, uint16_t index) {
    RowOpState* st = StmtRowOps(stmt);
    if (!st || !st->agentMap || index >= st->agentMapCount) return nullptr;
    return BoundColFind(st->agentMap[index], stmt);
}

uint32_t FirstBufferRow(const RowOpState* st) { return st->setPosRow ? st->setPosRow - 1 : 0; }

// The token of a column value is its place in the application's buffer, as the driver-side
// dialogue hands it out.
bool SetPosToken(StmtRecord* stmt, uint16_t index, uint32_t* row, void** out) {
    BoundCol* b = AgentValueColumn(stmt, index);
    if (!b) return false;
    const RowOpState* st = StmtRowOps(stmt);
    const uint32_t at = FirstBufferRow(st) + *row;
    const uint32_t rows = st->setPosRow ? st->setPosRow : RowsetRows(stmt);
    if (at >= rows) return false;
    *row = at;
    const uint64_t stride = stmt->rowBindType ? stmt->rowBindType : uint64_t(b->b.bufferLength);
    *out = b->b.target ? static_cast<char*>(b->b.target) + uint64_t(at) * stride : nullptr;
    return true;
}

bool SetPosTypes(StmtRecord* stmt, uint16_t index, int16_t* cType, int16_t* sqlType) {
    BoundCol* b = AgentValueColumn(stmt, index);
    if (!b) return false;
    *cType = int16_t(EffectiveCType(stmt, b->b));
    *sqlType = 0;
    return true;
}

SQLRETURN SetPosDialogFinish(StmtRecord* stmt, uint32_t rc, uint32_t) { return SetPosFinish(stmt, rc); }

constexpr AgentDaeDialog kSetPosDialog{kNeedDataSetPos, SetPosToken, SetPosTypes, SetPosDialogFinish,
                                       AgentSetPosRelease};

// The row Dataset of the agent-driven path: as the driver builds it, except that a value still
// to come at execution is marked for the agent to ask for.
uint32_t SetPosBuildRowsAgent(StmtRecord* stmt, uint32_t row, Dataset* out, uint16_t** columns, uint16_t* count) {
    if (uint32_t rc = SetPosBuildRows(stmt, row, out, columns, count)) return rc;
    const uint32_t first = row ? row - 1 : 0;
    for (uint16_t c = 0; c < *count; ++c) {
        const BoundCol* b = BoundColFind((*columns)[c], stmt);
        if (!b) return kErrGeneral;
        DatasetColumn& col = out->cols[c];
        for (uint32_t k = 0; k < out->rows_used; ++k) {
            if (col.indicators[k] == DS_IND_IGNORED) continue;
            const uint32_t r = first + k;
            if (IndicatorAt(b->b, r, stmt->rowBindType) == SQL_NULL_DATA) continue;
            if (!LengthIsDataAtExec(ColumnLengthAt(b->b, r, stmt->rowBindType))) continue;
            if (DatasetKindIsRef(col.kind)) {
                uint8_t* cell = DatasetCell(&col, k);
                free(DatasetRefGet(cell).ptr);
                DatasetRefSet(cell, 0, nullptr);
            }
            col.indicators[k] = kDsIndAgentData;
        }
    }
    return 0;
}

// Hands the rows to the agent; the statement keeps the Dataset, the column numbers and the
// statuses until the operation ends.
uint32_t AgentSetPosCall(StmtRecord* stmt, uint16_t operation, Dataset* ds, uint16_t* cols, uint16_t count) {
    RowOpState* st = StmtRowOps(stmt);
    const uint32_t mark = st->setPosRow == 0 ? 0xFFFFFFFEu : st->setPosRow;
    stmt->pendingParams = ds;
    st->agentColumns = cols;
    st->agentProcessed = 0;
    return AgentCall<DRV_SetPos>(stmt->link, stmt->agentStmt, mark, operation, uint16_t(0), &st->agentStatuses,
                                 &st->agentProcessed, ds, cols, count);
}

}  // namespace

SQLRETURN SetPosAgentDAE(StmtRecord* stmt, uint16_t row, uint16_t operation) {
    StmtCursor& c = stmt->cursor;
    if (c.cursorType == SQL_CURSOR_FORWARD_ONLY) return Fail(stmt, kErrCursorPosition);
    RowOpState* st = StmtRowOps(stmt);
    if (!st) return Fail(stmt, kErrNoMemory);
    if (!stmt->conn || !stmt->conn->hasScrlCurs) return Fail(stmt, kErrNotSupported);
    // The agent holds one operation at a time: the last one's values are still being asked for.
    if (ErrCode refused = StmtMayStartDialogue(stmt)) return Fail(stmt, refused);
    BoundColsApplyBindOffset(stmt);
    if (uint32_t rc = SetPosChecks(stmt, row, operation)) return Fail(stmt, rc);
    // Whatever an earlier operation left with the statement goes before this one starts.
    AgentSetPosCleanup(stmt);
    st->setPosRow = row;
    st->setPosOp = operation;
    switch (operation) {
        case SQL_POSITION: {
            const uint32_t rc = AgentSetPosCall(stmt, SQL_POSITION, nullptr, nullptr, 0);
            if (rc == 0) {
                AgentSetPosCleanup(stmt);
                return SQL_SUCCESS;
            }
            return SetPosFinish(stmt, rc);
        }
        case SQL_REFRESH:
            return SetPosRefresh(stmt, row);
        case SQL_DELETE: {
            Dataset* ds = nullptr;
            if (uint32_t rc = SetPosDeleteDataset(stmt, row, &ds)) return Fail(stmt, rc);
            return SetPosFinish(stmt, AgentSetPosCall(stmt, SQL_DELETE, ds, nullptr, 0));
        }
        case SQL_UPDATE:
        case SQL_ADD: {
            bool any = false;
            for (BoundCol* b = stmt->boundCols; b; b = b->next) any |= b->b.column != 0;
            if (!any) return Fail(stmt, kErrDerivedDegree);
            auto* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
            if (!ds) return Fail(stmt, kErrNoMemory);
            uint16_t* cols = nullptr;
            uint16_t count = 0;
            uint32_t rc = SetPosBuildRowsAgent(stmt, row, ds, &cols, &count);
            if (rc == 0 && Narrowing(stmt) && DatasetNarrowColumns(ds) != 0) rc = kErrNoMemory;
            if (rc == 0) {
                st->agentMap = static_cast<uint16_t*>(malloc(sizeof(uint16_t) * (count ? count : 1)));
                if (!st->agentMap) rc = kErrNoMemory;
            }
            if (rc != 0) {
                DatasetDelete(ds);
                free(cols);
                return Fail(stmt, rc);
            }
            std::memcpy(st->agentMap, cols, sizeof(uint16_t) * count);
            st->agentMapCount = count;
            rc = AgentSetPosCall(stmt, operation, ds, cols, count);
            if (rc == kErrNeedsDataAtExec) return AgentDaeBegin(stmt, &kSetPosDialog);
            return SetPosFinish(stmt, rc);
        }
        default:
            return Fail(stmt, kErrNotCapable);
    }
}

SQLRETURN SetPosFinish(StmtRecord* stmt, uint32_t rc) {
    RowOpState* st = StmtRowOps(stmt);
    if (!st) return Fail(stmt, kErrNoMemory);
    StmtNeedDataEnd(stmt);
    SQLRETURN result = SQL_SUCCESS;
    if (rc != 0) {
        RowOpCollect(stmt, rc);
        if (rc == kErrManyRowsChanged) {
            result = SQL_SUCCESS_WITH_INFO;
        } else if (rc == kErrNoRowsChanged) {
            result = SQL_ERROR;
        } else if (rc == kErrRowError) {
            // Some rows failed: which ones only the statuses tell, so they are kept, and over a
            // whole rowset the others stand.
            result = st->setPosRow == 0 ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
        } else {
            AgentSetPosCleanup(stmt);
            return SQL_ERROR;
        }
    }
    const uint32_t row = st->setPosRow;
    // An added row beyond the rowset has no place in it.
    if (st->agentStatuses && !(st->setPosOp == SQL_ADD && row > RowsetRows(stmt))) {
        uint32_t n = row ? 1 : RowsetRows(stmt);
        if (n > st->agentProcessed) n = st->agentProcessed;
        StoreStatuses(stmt, st->agentStatuses, row ? row : 1, n, st->setPosOp);
    }
    AgentSetPosCleanup(stmt);
    return result;
}
