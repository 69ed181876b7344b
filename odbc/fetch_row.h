#pragma once
// SQLFetch's implementation, inline in its export (it is called for every row): the next row of
// a forward-only cursor's block is handed out there; a new block, bound columns and every other
// fetch are out of line.
#include <sql.h>
#include <sqlext.h>

#include "odbc/datapath.h"
#include "odbc/stmt_state.h"

// Where a fetch reports how many rows it fetched, and their statuses: none, nowhere.
inline SQLULEN* RowsFetchedTarget(StmtRecord* stmt) {
    if (stmt->rowsFetchedPtr) return stmt->rowsFetchedPtr;
    return stmt->ird ? stmt->ird->rowsProcessedPtr : nullptr;
}
inline SQLUSMALLINT* StatusTarget(StmtRecord* stmt) { return stmt->ird ? stmt->ird->arrayStatusPtr : nullptr; }

// A forward-only cursor's next block: SQL_SUCCESS, SQL_NO_DATA when no row came, or SQL_ERROR
// with the agent's diagnostics collected.
SQLRETURN FetchNextBlock(StmtRecord* stmt);
// Moves the current block row into every bound column. odbc3: the ODBC 3 path, which skips the
// bookmark column and honours retrieve-data.
SQLRETURN MoveBoundColumns(StmtRecord* stmt, bool odbc3);
// The same, at once when nothing is bound (or retrieve-data is off).
inline SQLRETURN FillBoundColumns(StmtRecord* stmt, bool odbc3) {
    if (!stmt->boundCols || (odbc3 && !stmt->cursor.retrieveData)) return SQL_SUCCESS;
    return MoveBoundColumns(stmt, odbc3);
}
// A fetch of a rowset (or of one row of a scrollable cursor), with the rowset's statuses.
SQLRETURN FetchWholeRowset(StmtRecord* stmt, uint16_t orientation, int64_t offset);

// One row of a forward-only cursor with a rowset of one row.
[[gnu::always_inline]] inline SQLRETURN FetchOneRow(StmtRecord* stmt) {
    BoundColsApplyBindOffset(stmt);
    SQLULEN* fetched = RowsFetchedTarget(stmt);
    SQLUSMALLINT* status = StatusTarget(stmt);
    if (status) status[0] = SQL_ROW_NOROW;
    if (fetched) *fetched = 0;
    stmt->cursor.window.Fetched(stmt->cursor.rowsetSize, 0);
    if (StmtBlockSpent(stmt)) {
        if (const SQLRETURN rc = FetchNextBlock(stmt); rc != SQL_SUCCESS) return rc;
    }
    stmt->cursor.window.Delivered(1);
    stmt->longData.column = 0;
    stmt->longData.row = 0;
    if (status) status[0] = SQL_ROW_SUCCESS;
    if (fetched) *fetched = 1;
    stmt->fetchedCount += 1;
    SQLRETURN result = FillBoundColumns(stmt, true);
    StmtBlockRowOut(stmt);
    return result;
}

[[gnu::always_inline]] inline SQLRETURN FetchRowset(StmtRecord* stmt, uint16_t orientation, int64_t offset) {
    StmtCursor& c = stmt->cursor;
    if (ErrCode refused = StmtMayReadResult(stmt)) return Fail(stmt, refused);
    const bool forwardOnly = c.cursorType == SQL_CURSOR_FORWARD_ONLY;
    if (forwardOnly && orientation != SQL_FETCH_NEXT) {
        stmt->lastError = kErrFetchTypeRange;
        return SQL_ERROR;
    }
    if (forwardOnly && c.rowsetSize == 1) return FetchOneRow(stmt);
    return FetchWholeRowset(stmt, orientation, offset);
}

// The implementation of kRecFetch (ImplFetch is this, out of line).
[[gnu::always_inline]] inline SQLRETURN FetchImpl(HandleBase* record) {
    auto* stmt = static_cast<StmtRecord*>(record);
    if (stmt->conn && stmt->conn->env && stmt->conn->env->odbcVersion == 2) return FetchForward(stmt);
    return FetchRowset(stmt, SQL_FETCH_NEXT, 0);
}
