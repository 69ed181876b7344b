#pragma once
// SQLGetData's implementation, inline in its export (it is called for every value): a value of
// the forward-only block in an explicit C type that needs nothing but its cell is read there,
// every other call goes to GetDataGeneral.
#include <sql.h>

#include "odbc/getcolumn_cell.h"
#include "odbc/stmt_state.h"

SQLRETURN GetDataGeneral(StmtRecord* stmt, uint16_t column, int16_t cType, void* target, int64_t bufferLength,
                         SQLLEN* lenInd);

[[gnu::always_inline]] inline SQLRETURN GetDataRead(StmtRecord* stmt, uint16_t column, int16_t cType, void* target,
                                                    int64_t bufferLength, SQLLEN* lenInd) {
    if (ErrCode refused = StmtMayReadResult(stmt)) return Fail(stmt, refused);
    // A negative length would become a huge copy size further down.
    if (bufferLength < 0) {
        stmt->lastError = kErrBadLength;
        return SQL_ERROR;
    }
    if (!stmt->cursor.rowset && StmtPositioned(stmt)) {
        const int rc =
            GetColumnDirect(reinterpret_cast<uint32_t*>(&stmt->lastError), stmt->longData, StmtBlockLastRow(stmt),
                            stmt->block, column, cType, target, bufferLength, lenInd);
        if (rc != 2) return SQLRETURN(rc);
    }
    return GetDataGeneral(stmt, column, cType, target, bufferLength, lenInd);
}

// The implementation of kRecGetData (ImplGetData is this, out of line).
[[gnu::always_inline]] inline SQLRETURN GetDataImpl(HandleBase* record, SQLUSMALLINT column, SQLSMALLINT cType,
                                                    SQLPOINTER target, SQLLEN bufferLength, SQLLEN* lenInd) {
    return GetDataRead(static_cast<StmtRecord*>(record), column, cType, target, bufferLength, lenInd);
}
