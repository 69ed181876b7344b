// SQLBulkOperations: adds rows through SQLSetPos's SQL_ADD, and updates, deletes or fetches the
// rows that the bound bookmark column names through the cursor layer's slot 42.
#include <cstdlib>
#include <cstring>

#include "drv_ingii/i-optable.h"
#include "odbc/datapath.h"
#include "odbc/setpos.h"
#include "odbc/stmt.h"
#include "odbc/stmt_state.h"
#include "util/errtable.h"
#include "util/rowset.h"

namespace {

uint32_t ArrayRows(const StmtRecord* stmt) {
    const uint64_t n = stmt->ard ? stmt->ard->arraySize : 1;
    return n > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(n);
}

// Frees what a bulk operation kept and forgets it.
void Forget(RowOpState* st) {
    free(st->bookmarks);
    st->bookmarks = nullptr;
    st->bookmarkCount = 0;
    free(st->columns);
    st->columns = nullptr;
    st->columnCount = 0;
}

SQLRETURN Finish(StmtRecord* stmt, RowOpState* st, SQLRETURN result, const uint16_t* statuses, uint32_t rows) {
    if (SQLUSMALLINT* app = stmt->ird ? stmt->ird->arrayStatusPtr : nullptr)
        for (uint32_t i = 0; i < rows; ++i) app[i] = statuses ? statuses[i] : SQLUSMALLINT(SQL_ROW_ERROR);
    if (stmt->ird && stmt->ird->rowsProcessedPtr) *stmt->ird->rowsProcessedPtr = rows;
    if (stmt->rowsFetchedPtr) *stmt->rowsFetchedPtr = rows;
    Forget(st);
    return result;
}

SQLRETURN Fail(StmtRecord* stmt, RowOpState* st, uint32_t code) {
    Forget(st);
    stmt->lastError = code;
    return SQL_ERROR;
}

}  // namespace

uint32_t RowsetFetchByBookmarks(StmtRecord* stmt, const uint32_t* bookmarks, uint16_t rows, uint16_t** statuses) {
    StmtCursor& c = stmt->cursor;
    *statuses = nullptr;
    uint16_t processed = 0;
    Rowset* fetched = nullptr;
    uint32_t* marks = static_cast<uint32_t*>(malloc(sizeof(uint32_t) * (rows ? rows : 1)));
    if (!marks) return kErrNoMemory;
    // The slot may be handed the cursor's own bookmarks, which the new rowset replaces.
    if (rows) std::memcpy(marks, bookmarks, sizeof(uint32_t) * rows);
    uint32_t rc = AgentCall<DRV_BulkOperations>(stmt->link, stmt->agentStmt, uint16_t(SQL_FETCH_BY_BOOKMARK), marks,
                                                rows, nullptr, nullptr, uint16_t(0), statuses, &processed, &fetched);
    if (rc == 0) rc = c.window.ByBookmarks(marks, rows);
    free(marks);
    if (rc != 0) {
        RowsetFree(&fetched);
        return rc;
    }
    // The fetched rows become the rowset, in the order of the bookmarks, each named by its own.
    StmtResetCursorPos(stmt);
    stmt->longData.column = 0;
    stmt->longData.row = 0;
    c.rowset = fetched;
    c.window.PosRowsetIs(rows);
    StmtPositionOn(stmt, 1);
    return 0;
}

uint32_t BulkBookmarks(StmtRecord* stmt, uint32_t** out) {
    *out = nullptr;
    const uint32_t rows = ArrayRows(stmt);
    auto* bm = static_cast<uint32_t*>(calloc(rows ? rows : 1, sizeof(uint32_t)));
    if (!bm) return kErrNoMemory;
    const BoundCol* b = BoundColFind(0, stmt);
    if (!b || !b->b.target) {
        free(bm);
        return kErrGeneral;
    }
    // A bookmark is as long as its binding (8 bytes; 4 for an ODBC 2 fixed bookmark).
    const uint64_t size = b->b.cType == SQL_C_ULONG ? 4 : 8;
    const uint64_t stride = stmt->rowBindType
                                ? stmt->rowBindType
                                : (b->b.bufferLength >= int64_t(size) ? uint64_t(b->b.bufferLength) : size);
    // "The current rowset" is the rows the last fetch delivered, whatever rowset size the bulk
    // operation itself runs with.
    const StmtCursor& c = stmt->cursor;
    for (uint32_t i = 0; i < rows; ++i) {
        uint64_t v = 0;
        std::memcpy(&v, static_cast<const char*>(b->b.target) + uint64_t(i) * stride, size_t(size));
        if (!c.window.BookmarkFetched(v)) {
            free(bm);
            return kErrBookmarkOutside;
        }
        bm[i] = uint32_t(v);
    }
    *out = bm;
    return 0;
}

uint32_t BulkUpdateColumns(StmtRecord* stmt, uint16_t** columns, uint16_t* count) {
    *columns = nullptr;
    *count = 0;
    // Only the bookmark column bound leaves no column to update (21S02, as when every one is ignored).
    if (!stmt->ard || stmt->ard->count == 0) return kErrDerivedDegree;
    if (const uint32_t why = StmtResultRefusal(stmt)) return why;
    uint16_t n = 0;
    for (const BoundCol* b = stmt->boundCols; b; b = b->next) ++n;
    auto* cols = static_cast<uint16_t*>(malloc(sizeof(uint16_t) * (n ? n : 1)));
    if (!cols) return kErrNoMemory;
    uint16_t k = 0;
    for (const BoundCol* b = stmt->boundCols; b; b = b->next) {
        bool used = false;
        if (uint32_t rc = RowOpColumnUsed(stmt, b, 0, &used)) {
            free(cols);
            return rc;
        }
        if (used) cols[k++] = b->b.column;
    }
    // Ascending, as the cursor layer walks the result columns.
    for (uint16_t i = 1; i < k; ++i)
        for (uint16_t j = i; j > 0 && cols[j - 1] > cols[j]; --j) std::swap(cols[j - 1], cols[j]);
    *columns = cols;
    *count = k;
    return 0;
}

uint32_t BulkBuildRows(StmtRecord* stmt, const uint16_t* columns, uint16_t count, Dataset* ds) {
    StmtNeedDataEnd(stmt);
    return RowOpBuildRows(stmt, columns, count, 0, ArrayRows(stmt), kSkipNone, ds, nullptr, nullptr);
}

SQLRETURN BulkOperationsRows(StmtRecord* stmt, uint16_t operation) {
    RowOpState* st = StmtRowOps(stmt);
    if (!st) {
        stmt->lastError = kErrNoMemory;
        return SQL_ERROR;
    }
    StmtCursor& c = stmt->cursor;
    if (!StmtNeedDataResumes(stmt, NeedDataCall::kBulk)) {
        st->bulkOp = operation;
        Forget(st);
        const bool keysetOnly = c.cursorType == SQL_CURSOR_KEYSET_DRIVEN && c.keysetSize == 0;
        if (c.cursorType != SQL_CURSOR_STATIC && !keysetOnly) return Fail(stmt, st, kErrBulkNotSupported);
        // Rows handed to an empty slot would be nobody's to free (SQL_ADD goes through SQLSetPos's).
        if (operation != SQL_ADD && !AgentSlotGet<DRV_BulkOperations>(stmt->link))
            return Fail(stmt, st, kErrNotCapable);
        if (ErrCode refused = StmtMayUseCursor(stmt)) return Fail(stmt, st, refused);
        const uint32_t rows = ArrayRows(stmt);
        if (rows == 0) return SQL_SUCCESS;
        if (rows > 0xFFFF) return Fail(stmt, st, kErrRowRange);
        BoundColsApplyBindOffset(stmt);
        const BoundCol* bm = BoundColFind(0, stmt);
        if (operation != SQL_ADD && (!c.useBookmarks || !bm || !bm->b.target)) return Fail(stmt, st, kErrOptionRange);
        // SQLSetPos takes this rowset size until it changes again.
        c.window.BulkRowsetIs(rows);
        if (operation == SQL_ADD) {
            SQLRETURN rc = SetPosDispatch(stmt, 0, SQL_ADD, 0);
            if (rc == SQL_NEED_DATA) return rc;
            Forget(st);
            return rc;
        }
        if (operation == SQL_UPDATE_BY_BOOKMARK) {
            if (uint32_t rc = BulkUpdateColumns(stmt, &st->columns, &st->columnCount)) return Fail(stmt, st, rc);
            if (st->columnCount == 0) return Fail(stmt, st, kErrDerivedDegree);
        }
        if (uint32_t rc = BulkBookmarks(stmt, &st->bookmarks)) return Fail(stmt, st, rc);
        st->bookmarkCount = uint16_t(rows);
        switch (operation) {
            case SQL_UPDATE_BY_BOOKMARK: {
                SQLRETURN dae = RowOpDataAtExecStart(stmt, 0, rows, st->columns, st->columnCount);
                if (dae == SQL_NEED_DATA) return dae;
                if (dae != SQL_SUCCESS) {
                    Forget(st);
                    return dae;
                }
                break;
            }
            case SQL_DELETE_BY_BOOKMARK: {
                uint16_t* statuses = nullptr;
                uint16_t processed = 0;
                ErrCode rc = AgentCall<DRV_BulkOperations>(stmt->link, stmt->agentStmt, operation, st->bookmarks,
                                                           uint16_t(rows), nullptr, nullptr, uint16_t(0), &statuses,
                                                           &processed, static_cast<Rowset**>(nullptr));
                SQLRETURN result = SQL_SUCCESS;
                if (rc != 0) {
                    RowOpCollect(stmt, rc);
                    result = rc == kErrManyRowsChanged ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
                }
                result = Finish(stmt, st, result, statuses, rows);
                free(statuses);
                return result;
            }
            case SQL_FETCH_BY_BOOKMARK: {
                uint16_t* statuses = nullptr;
                SQLRETURN result = SQL_ERROR;
                if (uint32_t rc = RowsetFetchByBookmarks(stmt, st->bookmarks, uint16_t(rows), &statuses))
                    RowOpCollect(stmt, rc);
                else
                    result = RowsetTransfer(stmt, nullptr, 0, -1);
                result = Finish(stmt, st, result, statuses, rows);
                free(statuses);
                return result;
            }
            default: {
                uint16_t* none = nullptr;
                return Finish(stmt, st, SQL_SUCCESS, none, rows);
            }
        }
    }
    // SQL_UPDATE_BY_BOOKMARK, at once or once the last column value is in.
    const uint32_t rows = st->bookmarkCount;
    auto* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
    if (!ds) return Fail(stmt, st, kErrNoMemory);
    if (uint32_t rc = BulkBuildRows(stmt, st->columns, st->columnCount, ds)) {
        DatasetDelete(ds);
        return Fail(stmt, st, rc);
    }
    if (stmt->conn && stmt->conn->wideUnconfirmed && DatasetNarrowColumns(ds) != 0) {
        DatasetDelete(ds);
        return Fail(stmt, st, kErrNoMemory);
    }
    // The column list passes down with the values; the bookmarks stay ours.
    uint16_t* cols = st->columns;
    const uint16_t count = st->columnCount;
    st->columns = nullptr;
    st->columnCount = 0;
    uint16_t* statuses = nullptr;
    uint16_t processed = 0;
    ErrCode rc =
        AgentCall<DRV_BulkOperations>(stmt->link, stmt->agentStmt, uint16_t(SQL_UPDATE_BY_BOOKMARK), st->bookmarks,
                                      uint16_t(rows), ds, cols, count, &statuses, &processed, nullptr);
    if (AgentLinkCallerFrees(stmt->link)) {
        DatasetDelete(ds);
        free(cols);
    }
    SQLRETURN result = SQL_SUCCESS;
    if (rc != 0) {
        RowOpCollect(stmt, rc);
        result = rc == kErrManyRowsChanged ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
    }
    result = Finish(stmt, st, result, statuses, rows);
    free(statuses);
    return result;
}
