// Fetch, FetchScroll, ExtendedFetch and GetData: moving result rows into the application's buffers.
#include <cstdlib>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <utility>

#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "odbc/api_records.h"
#include "odbc/datapath.h"
#include "odbc/getcolumn_cell.h"
#include "odbc/fetch_row.h"
#include "odbc/getdata_read.h"
#include "util/rowset.h"
#include "odbc/stmt.h"
#include "odbc/stmt_state.h"
#include "odbc/trace_link.h"
#include "util/errtable.h"
#include "util/trymem.h"

namespace {

bool DescView(void* host, bool apd, uint16_t column, DescRecordView* out) {
    auto* stmt = static_cast<StmtRecord*>(host);
    DescItem* it = DescItemAt(apd ? stmt->apd : stmt->ard, column);
    if (!it) return false;
    out->conciseType = it->conciseType;
    out->precision = it->precision;
    out->scale = it->scale;
    return true;
}

uint32_t Bookmark(void* host, uint32_t row, int32_t* bookmark) {
    auto* stmt = static_cast<StmtRecord*>(host);
    uint32_t n = 0;
    uint32_t rc = CursorRowBookmark(&stmt->cursor, row, &n);
    if (rc == 0) *bookmark = int32_t(n);
    return rc;
}

void PieceFree(void* piece, uint32_t kind) {
    if (DatasetKindIsRef(kind) && piece) free(DatasetRefGet(static_cast<uint8_t*>(piece)).ptr);
    free(piece);
}

uint32_t GetPiece(void* host, uint16_t column, uint32_t row, int64_t wanted, LongDataState* state) {
    auto* stmt = static_cast<StmtRecord*>(host);
    LongDataFree(state);
    auto fn = AgentSlotGet<DRV_GetData>(stmt->link);
    // An agent that delivers every value with its row has no piece to give.
    if (!fn) return 1;  // IM001
    void* piece = nullptr;
    uint32_t len = 0, kind = 0, total = 0;
    uint32_t rc = fn(stmt->agentStmt, column, row, uint64_t(wanted < 0 ? 0 : wanted), &piece, &len, &kind, &total);
    // The total counts with "no more data" too: -1 there is a NULL value.
    state->pieceTotal = total == 0xFFFFFFFFu ? -1 : int64_t(total);
    if (rc != 0) {
        free(piece);
        StmtCollectAgentDiag(stmt);
        return rc;
    }
    state->pieceKind = kind;
    if (len != 0) {
        state->piece = piece;
        state->pieceLength = len;
        state->pieceOwned = 1;
        state->pieceFree = PieceFree;
        return 0;
    }
    free(piece);
    if (total != 0 && wanted == 0) return 0;
    return kErrNoData;
}

void Trace(void*, const char* text) {
    if (GwTraceOn()) GwTrace("%s", text);
}

template <class T>
T* Offset(T* p, int64_t bytes) {
    return p ? reinterpret_cast<T*>(reinterpret_cast<char*>(p) + bytes) : nullptr;
}

SQLRETURN Combine(SQLRETURN result, int rc) {
    if (rc == 0) return result;
    if (rc == -1) return SQL_ERROR;
    return result == SQL_SUCCESS ? SQLRETURN(rc) : result;
}

// The conversions of a row or rowset share the statement's error word, and each clean one clears
// it: the first warning is kept so that the call's SQL_SUCCESS_WITH_INFO has its record.
struct FirstWarning {
    uint32_t code = 0;
    void Note(int rc, const StmtRecord* stmt) {
        if (rc == 1 && code == 0) code = stmt->lastError;
    }
    SQLRETURN Keep(SQLRETURN result, StmtRecord* stmt) const {
        if (result == SQL_SUCCESS_WITH_INFO && stmt->lastError == 0) stmt->lastError = code;
        return result;
    }
};

}  // namespace

// A fetch never reads the length slots: they are output only, and SQL_COLUMN_IGNORE in them
// speaks to SQLSetPos and SQLBulkOperations alone.
SQLRETURN MoveBoundColumns(StmtRecord* stmt, bool odbc3) {
    SQLRETURN result = SQL_SUCCESS;
    GetColumnContext ctx = StmtColumnContext(stmt);
    FirstWarning warning;
    for (BoundCol* node = stmt->boundCols; node; node = node->next) {
        ColumnBinding b = node->b;
        if (odbc3 && b.column == 0) continue;
        int rc = GetColumn(ctx, StmtBlockNextRow(stmt), b, stmt->block);
        result = Combine(result, rc);
        warning.Note(rc, stmt);
        if (rc == -1) break;
    }
    return warning.Keep(result, stmt);
}

GetColumnContext StmtColumnContext(StmtRecord* stmt) {
    GetColumnContext ctx{};
    ctx.lastError = reinterpret_cast<uint32_t*>(&stmt->lastError);
    ctx.longData = &stmt->longData;
    ctx.odbcVersion = (stmt->conn && stmt->conn->env) ? int(stmt->conn->env->odbcVersion) : 3;
    ctx.useBookmarks = stmt->cursor.useBookmarks != 0;
    ctx.directionRecount = stmt->directionsUnknown != 0;
    ctx.host = stmt;
    ctx.results = stmt->results;
    ctx.resultCount = stmt->resultCount;
    ctx.descRecord = DescView;
    ctx.rowBookmark = Bookmark;
    ctx.getPiece = GetPiece;
    ctx.trace = Trace;
    return ctx;
}

namespace {

// Whether the layers below fill the block of the last fetch again when it is handed back to
// them, rather than be given an empty header; asked once.
bool BlockGoesBack(StmtRecord* stmt) {
    if (stmt->blockGoesBack == 0) {
        uint32_t v = 0;
        uint16_t len = 0;
        const uint32_t rc =
            AgentCall<DRV_GetInfo>(stmt->link, stmt->agentStmt, uint32_t(kPropFetchRefill), &v, uint16_t(4), &len);
        stmt->blockGoesBack = rc == 0 && v == 1 ? 1 : 2;
    }
    return stmt->blockGoesBack == 1;
}

}  // namespace

int FetchBlock(StmtRecord* stmt) {
    if (const uint32_t why = StmtResultRefusal(stmt)) {
        stmt->lastError = why;
        return -1;
    }
    // The block of the rows handed out goes back to the layers below, to take the next rows in
    // its own arrays, where they take it back (no allocation and clearing of a block per block);
    // otherwise it is freed first, as DRV_FetchRows expects.
    Dataset handedBack{};
    if (stmt->block.cols && BlockGoesBack(stmt)) std::swap(handedBack, stmt->block);
    StmtResetCursorPos(stmt);
    // Spent until refilled: a layer that refuses on the way leaves the block as it went, and its
    // rows must not be handed out again.
    handedBack.rows_used = 0;
    stmt->block = handedBack;
    stmt->lastError = AgentCall<DRV_FetchRows>(stmt->link, stmt->agentStmt, stmt->rowsPerBlock, &stmt->block);
    return stmt->lastError ? -1 : 0;
}

SQLRETURN FetchNextBlock(StmtRecord* stmt) {
    if (FetchBlock(stmt) != 0) {
        StmtCollectAgentDiag(stmt);
        return SQL_ERROR;
    }
    return stmt->block.rows_used == 0 ? SQL_NO_DATA : SQL_SUCCESS;
}

SQLRETURN FetchForward(StmtRecord* stmt) {
    if (ErrCode refused = StmtMayReadResult(stmt)) return Fail(stmt, refused);
    BoundColsApplyBindOffset(stmt);
    if (StmtBlockSpent(stmt)) {
        if (const SQLRETURN rc = FetchNextBlock(stmt); rc != SQL_SUCCESS) return rc;
    }
    stmt->longData.column = 0;
    stmt->longData.row = 0;
    SQLRETURN result = FillBoundColumns(stmt, false);
    StmtBlockRowOut(stmt);
    return result;
}

namespace {

// A bound column of a rowset transfer, worked out before its first row: how far each of its
// buffers lies from one row's to the next, and GetColumn's plan for the rowset's values.
struct TransferColumn {
    ColumnPlan plan;  // none for the bookmark column
    int64_t dataStride;
    int64_t lenStride;
    // Read on a deleted row and with retrieve-data off: the bookmark, and bookmark-sized targets.
    bool everyRow;
};

TransferColumn TransferColumnOf(GetColumnContext& ctx, const ColumnBinding& b, const Dataset* ds, uint64_t bindType) {
    TransferColumn t{};
    t.dataStride = bindType ? int64_t(bindType) : b.bufferLength;
    t.lenStride = bindType ? int64_t(bindType) : int64_t(sizeof(SQLLEN));
    t.everyRow = b.column == 0 || b.cType == SQL_C_BINARY || b.cType == SQL_C_UBIGINT;
    if (b.column != 0) {
        t.plan = GetColumnPlan(ctx, b);
        if (ds) GetColumnPlanCells(ctx, t.plan, b.column, *ds);
    }
    return t;
}

// The buffers of binding `b` for row r.
RowBuffers AtRow(const ColumnBinding& b, const TransferColumn& t, uint32_t r) {
    return {Offset(static_cast<char*>(b.target), int64_t(r) * t.dataStride),
            Offset(b.lengthPtr, int64_t(r) * t.lenStride), Offset(b.indicatorPtr, int64_t(r) * t.lenStride)};
}

}  // namespace

SQLRETURN RowsetTransfer(StmtRecord* stmt, SQLUSMALLINT* statuses, uint32_t row, int32_t operation) {
    StmtCursor& c = stmt->cursor;
    Rowset* rs = c.rowset;
    const Dataset* ds = rs ? rs->data : nullptr;
    const uint64_t bindType = stmt->rowBindType;
    // The rowset of the last fetch, whatever the rowset size says since.
    uint32_t first = 0, last = c.window.PosRowsetSize(c.rowsetSize);
    if (row != 0) first = row - 1, last = row;
    SQLUSMALLINT* rowOps = (operation != -1 && stmt->ard) ? stmt->ard->arrayStatusPtr : nullptr;
    GetColumnContext ctx = StmtColumnContext(stmt);
    // The first bound columns are worked out once for every row; any further one at each value.
    constexpr unsigned kPlanned = 64;
    TransferColumn planned[kPlanned];
    unsigned plannedCount = 0;
    if (first < last)
        for (BoundCol* node = stmt->boundCols; node && plannedCount < kPlanned; node = node->next)
            planned[plannedCount++] = TransferColumnOf(ctx, node->b, ds, bindType);
    SQLRETURN result = SQL_SUCCESS;
    FirstWarning warning;
    uint32_t processed = 0, errorRows = 0;
    for (uint32_t r = first; r < last; ++r) {
        if (rowOps && rowOps[r] == SQL_ROW_IGNORE) continue;
        stmt->longData.column = 0;
        stmt->longData.row = 0;
        const uint16_t st = RowsetStatusGet(rs, r + 1);
        if (statuses) statuses[r] = st;
        if (st == SQL_ROW_NOROW) continue;
        ++processed;
        if (st == SQL_ROW_ERROR) {
            ++errorRows;
            if (result == SQL_SUCCESS) result = SQL_SUCCESS_WITH_INFO;
            stmt->lastError = kErrGeneral;
            warning.Note(1, stmt);
            continue;
        }
        const bool whole = st != SQL_ROW_DELETED && c.retrieveData;
        bool stop = false;
        unsigned k = 0;
        for (BoundCol* node = stmt->boundCols; node && ds; node = node->next, ++k) {
            TransferColumn own;
            const TransferColumn& col =
                k < kPlanned ? planned[k] : (own = TransferColumnOf(ctx, node->b, ds, bindType));
            if (!whole && !col.everyRow) continue;
            const RowBuffers at = AtRow(node->b, col, r);
            // Only a row operation's own transfer reads what the application put in a length slot.
            if (operation != -1 && at.lengthPtr && *at.lengthPtr == SQL_COLUMN_IGNORE) continue;
            int rc;
            if (node->b.column != 0) {
                rc = GetColumnPlanned(ctx, r, node->b, at, *ds, col.plan);
            } else {
                ColumnBinding b = BindingAt(node->b, at);
                rc = GetColumn(ctx, r, b, *ds);
            }
            result = Combine(result, rc);
            warning.Note(rc, stmt);
            if (rc == -1) {
                stop = true;
                break;
            }
        }
        if (operation == SQL_REFRESH && statuses && (st == SQL_ROW_UPDATED || st == SQL_ROW_ADDED))
            statuses[r] = SQL_ROW_SUCCESS;
        if (stop) break;
    }
    if (processed > 0 && errorRows == processed && result == SQL_SUCCESS_WITH_INFO) result = SQL_ERROR;
    return warning.Keep(result, stmt);
}

uint32_t CursorRowTell(StmtRecord* stmt, uint32_t row) {
    const uint32_t rows = stmt->cursor.window.fetchedRows();
    if (row > rows) return 0;
    uint32_t back = row == 0 ? kCursorRowNone : rows - row;
    const uint32_t rc = AgentCall<DRV_SetOption>(stmt->link, stmt->agentStmt, uint32_t(kPropCursorRow), &back);
    // A layer below without the option names no rows of a block.
    return rc == kErrNotCapable ? 0u : rc;
}

SQLRETURN ExtendedFetchRowset(StmtRecord* stmt, uint16_t orientation, int64_t offset, SQLULEN* rowCount,
                              SQLUSMALLINT* statuses) {
    StmtCursor& c = stmt->cursor;
    if (!stmt->conn || !stmt->conn->hasScrlCurs) {
        stmt->lastError = kErrNotSupported;
        return SQL_ERROR;
    }
    BoundColsApplyBindOffset(stmt);
    c.appStatus = statuses;
    const bool forwardOnly = c.cursorType == SQL_CURSOR_FORWARD_ONLY;
    if (stmt->paramsetSize > 1 && orientation != SQL_FETCH_NEXT && !forwardOnly) {
        stmt->lastError = kErrParamArrayPositioned;
        return SQL_ERROR;
    }
    if (forwardOnly && orientation != SQL_FETCH_NEXT) {
        stmt->lastError = kErrFetchTypeRange;
        return SQL_ERROR;
    }
    const bool mixed = c.cursorType == SQL_CURSOR_KEYSET_DRIVEN && c.keysetSize > 0;
    if ((c.cursorType == SQL_CURSOR_DYNAMIC || mixed) &&
        (orientation == SQL_FETCH_BOOKMARK || orientation == SQL_FETCH_ABSOLUTE)) {
        // The keyset-driven cursors' answer claims them, and a mixed cursor answers with it: for
        // one the feature is not offered, rather than out of range.
        stmt->lastError = mixed ? kErrMixedRowNumbers : kErrFetchTypeRange;
        return SQL_ERROR;
    }
    if (mixed && c.keysetSize < c.rowsetSize) {
        stmt->lastError = kErrRowRange;
        return SQL_ERROR;
    }
    if (rowCount) *rowCount = 0;
    // Only an open cursor has a place before its start.
    if (!StmtExecuted(stmt)) return Fail(stmt, kErrCursorState);
    if (const uint32_t why = StmtResultRefusal(stmt)) return Fail(stmt, why);
    if (orientation == SQL_FETCH_ABSOLUTE && offset == 0) {
        c.window.SetPos(kCursorBeforeFirst);
        return SQL_NO_DATA;
    }
    StmtResetCursorPos(stmt);
    uint32_t rows = 0;
    uint32_t rc = CursorScrollFetch(&c, orientation, offset, &rows);
    c.window.Fetched(c.rowsetSize, rc == 0 ? rows : 0);
    // The first row of a forward-only block is its current row (the cursor may have read past
    // the last one to find the end); past the end it is on none.
    if ((rc == 0 || rc == kErrNoData) && forwardOnly && c.rowsetSize > 1) {
        if (const uint32_t told = CursorRowTell(stmt, rc == 0 ? 1 : 0)) {
            StmtCollectAgentDiag(stmt);
            return Fail(stmt, told);
        }
    }
    if (rc == 0) {
        if (rowCount) *rowCount = rows;
        return RowsetTransfer(stmt, statuses, 0, -1);
    }
    if (rc == kErrNoData) {
        if (statuses)
            for (uint32_t i = 0; i < c.rowsetSize; ++i) statuses[i] = SQL_ROW_NOROW;
        return SQL_NO_DATA;
    }
    stmt->lastError = rc;
    return SQL_ERROR;
}

SQLRETURN FetchWholeRowset(StmtRecord* stmt, uint16_t orientation, int64_t offset) {
    StmtCursor& c = stmt->cursor;
    const bool forwardOnly = c.cursorType == SQL_CURSOR_FORWARD_ONLY;
    SQLULEN local = 0;
    SQLULEN* fetched = RowsFetchedTarget(stmt);
    if (!fetched) fetched = &local;
    SQLUSMALLINT* statuses = StatusTarget(stmt);
    SQLUSMALLINT* temp = nullptr;
    if (!statuses) {
        temp = static_cast<SQLUSMALLINT*>(TryCalloc(c.rowsetSize ? c.rowsetSize : 1, sizeof(SQLUSMALLINT)));
        if (!temp) {
            stmt->lastError = kErrNoMemory;
            return SQL_ERROR;
        }
        statuses = temp;
    }
    if (orientation == SQL_FETCH_BOOKMARK) {
        int32_t bm = 0;
        if (stmt->fetchBookmarkPtr) std::memcpy(&bm, stmt->fetchBookmarkPtr, sizeof bm);
        offset += bm;
    }
    SQLRETURN rc = ExtendedFetchRowset(stmt, orientation, offset, fetched, statuses);
    TryFree(temp);
    c.appStatus = nullptr;
    if (forwardOnly) stmt->fetchedCount += *fetched;
    return rc;
}

// Every SQLGetData that GetColumnDirect does not take; apart, so that the direct path keeps a
// small frame.
[[gnu::noinline]] SQLRETURN GetDataGeneral(StmtRecord* stmt, uint16_t column, int16_t cType, void* target,
                                           int64_t bufferLength, SQLLEN* lenInd) {
    ColumnBinding b = AppColumnBinding(column, cType, target, bufferLength, lenInd);
    GetColumnContext ctx = StmtColumnContext(stmt);
    if (Rowset* rs = stmt->cursor.rowset) {
        const uint32_t pos = StmtRowsetRow(stmt);
        const uint16_t st = pos ? RowsetStatusGet(rs, pos) : uint16_t(SQL_ROW_NOROW);
        if (st == SQL_ROW_ERROR || st == SQL_ROW_DELETED) {
            stmt->lastError = kErrCursorPosition;
            return SQL_ERROR;
        }
        if (!rs->data) {
            stmt->lastError = kErrCursorState;
            return SQL_ERROR;
        }
        // Rows past the fetched rowset are out of range for GetColumn, not a read past the data.
        const uint32_t row = pos && pos <= rs->rows ? pos - 1 : 0xFFFFFFFFu;
        return SQLRETURN(GetColumn(ctx, row, b, *rs->data));
    }
    if (!StmtPositioned(stmt)) return Fail(stmt, kErrCursorState);  // no row fetched yet
    return SQLRETURN(GetColumn(ctx, StmtBlockLastRow(stmt), b, stmt->block));
}

// SQLFetch has it inline; this is it for the traced call.
SQLRETURN ImplFetch(HandleBase* record) { return FetchImpl(record); }

SQLRETURN ImplFetchScroll(HandleBase* record, SQLSMALLINT orient, SQLLEN offset) {
    return FetchRowset(static_cast<StmtRecord*>(record), uint16_t(orient), offset);
}

SQLRETURN ImplExtendedFetch(HandleBase* record, SQLUSMALLINT orient, SQLLEN offset, SQLULEN* rows,
                            SQLUSMALLINT* statuses) {
    return ExtendedFetchRowset(static_cast<StmtRecord*>(record), orient, offset, rows, statuses);
}

// SQLGetData has it inline; this is it for the traced call.
SQLRETURN ImplGetData(HandleBase* record, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER target, SQLLEN max,
                      SQLLEN* ind) {
    return GetDataImpl(record, col, ctype, target, max, ind);
}
