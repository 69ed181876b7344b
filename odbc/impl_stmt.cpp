// Statement entry points: prepare and execute direct, the small statement calls, binding,
// fetching and GetData.

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "odbc/api_records.h"
#include "odbc/datapath.h"
#include "odbc/diag.h"
#include "odbc/execute.h"
#include "odbc/param.h"
#include "odbc/prepare.h"
#include "odbc/setpos.h"
#include "odbc/stmt.h"
#include "odbc/stmt_state.h"
#include "odbc/trace_link.h"
#include "util/strutil.h"
#include "util/errtable.h"

namespace {

StmtRecord* Stmt(HandleBase* r) { return static_cast<StmtRecord*>(r); }

SQLRETURN Code(StmtRecord* stmt, uint32_t code) {
    if (code == 0) return SQL_SUCCESS;
    stmt->lastError = code;
    return SQL_ERROR;
}

uint32_t ReadBack(StmtRecord* stmt, uint32_t id, uint32_t* current) {
    uint32_t value = 0;
    uint16_t len = 0;
    if (AgentCall<DRV_GetInfo>(stmt->link, stmt->agentStmt, id, &value, uint16_t(4), &len) == 0 && value != *current) {
        *current = value;
        stmt->cursor.flags |= kScsDowngraded;
        return kErrOptionChanged;
    }
    return 0;
}

}  // namespace

// Closes what the statement held and prepares text through the agent; the outcome is left in
// the statement's last-error word.
void PrepareCommon(StmtRecord* stmt, const char* text) {
    StmtCloseCursor(stmt);
    StmtFreeResultCols(stmt);
    StmtCursor& c = stmt->cursor;
    if (c.flags & kScsDowngraded) {
        uint32_t v = c.savedType;
        if (AgentCall<DRV_SetOption>(stmt->link, stmt->agentStmt, kPropCursorType, &v) == 0) c.cursorType = c.savedType;
        v = c.savedConcurrency;
        if (AgentCall<DRV_SetOption>(stmt->link, stmt->agentStmt, kPropConcurrency, &v) == 0)
            c.concurrency = c.savedConcurrency;
        c.flags &= ~kScsDowngraded;
    }
    if (ErrCode rc = AgentCall<DRV_Prepare>(stmt->link, stmt->agentStmt, text)) {
        StmtCollectAgentDiag(stmt);
        StmtToUnprepared(stmt);
        stmt->lastError = rc;
        return;
    }
    c.savedType = c.cursorType;
    c.savedConcurrency = c.concurrency;
    bool changed = false;
    if (c.cursorType != SQL_CURSOR_FORWARD_ONLY) changed |= ReadBack(stmt, kPropCursorType, &c.cursorType) != 0;
    if (c.concurrency != SQL_CONCUR_READ_ONLY) changed |= ReadBack(stmt, kPropConcurrency, &c.concurrency) != 0;
    uint16_t count = 0;
    ColumnInfo* params = nullptr;
    stmt->lastError = AgentCall<DRV_DescribeParams>(stmt->link, stmt->agentStmt, &count, &params);
    if (stmt->lastError == 0 && count > kMaxParamNumber) {
        // Nothing could bind the markers beyond the limit, and counts past it would not fit
        // SQLNumParams.
        std::string text = "[Driver]Too many parameter markers: the statement has " +
                           std::string(count == 0xFFFF ? "65535 or more" : std::to_string(count)) + ", at most " +
                           std::to_string(kMaxParamNumber) + " are allowed[SQLSTATE:37000]";
        DiagPost(stmt, text.c_str(), 0);
        stmt->lastError = kErrSyntax;
    }
    if (stmt->lastError != 0) {
        if (params) ColumnInfoArrayFree(params, count);
        AgentCall<DRV_CloseCursor>(stmt->link, stmt->agentStmt);
        StmtToUnprepared(stmt);
        return;
    }
    stmt->params = params;
    stmt->paramCount = params ? count : 0;
    stmt->inCount = stmt->outCount = stmt->ioCount = 0;
    stmt->directionsUnknown = 0;
    for (uint16_t i = 0; i < stmt->paramCount; ++i) {
        const ProcParamMark mark = ColumnProcMark(params[i]);
        if (mark == kProcMarkUnknown) {
            stmt->directionsUnknown = 1;
            break;
        }
        if (mark == kProcMarkOutput)
            ++stmt->outCount;
        else if (mark == kProcMarkInOut)
            ++stmt->ioCount;
        else
            ++stmt->inCount;
    }
    if (stmt->conn && stmt->conn->needBind) stmt->flags &= uint16_t(~kSfParamsSent);
    StmtToPrepared(stmt);
    stmt->selectFlag = AsciiCaseCompareN(text, "SELECT", 6) == 0 ? 1 : 0;
    stmt->fetchedCount = 0;
    stmt->optionChanged = changed;
}

namespace {

// Copies the text argument and prepares it; false when the copy was refused.
bool PrepareText(StmtRecord* stmt, const SQLCHAR* sql, SQLINTEGER len) {
    const char* text = reinterpret_cast<const char*>(sql);
    if (!text || (len < 0 && len != SQL_NTS)) {
        stmt->lastError = kErrBadLength;
        return false;
    }
    char* copy = nullptr;
    StrDupLen(&copy, text, len);
    if (!copy) {
        stmt->lastError = kErrNoMemory;
        return false;
    }
    if (GwTraceOn()) GwTrace("  [%s]", copy);
    PrepareCommon(stmt, copy);
    free(copy);
    return true;
}

}  // namespace

// A cursor type or concurrency the agent granted in place of the one asked for is told as 01S02
// once the call has otherwise succeeded.
static SQLRETURN TellOptionChanged(StmtRecord* stmt, SQLRETURN rc) {
    if (rc != SQL_SUCCESS || !stmt->optionChanged) return rc;
    stmt->lastError = kErrOptionChanged;
    return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN ImplPrepare(HandleBase* record, SQLCHAR* text, SQLINTEGER len) {
    StmtRecord* stmt = Stmt(record);
    stmt->optionChanged = false;
    PrepareText(stmt, text, len);
    return TellOptionChanged(stmt, stmt->lastError ? SQL_ERROR : SQL_SUCCESS);
}

SQLRETURN ImplExecDirect(HandleBase* record, SQLCHAR* text, SQLINTEGER len) {
    StmtRecord* stmt = Stmt(record);
    stmt->optionChanged = false;
    PrepareText(stmt, text, len);
    if (stmt->lastError) return SQL_ERROR;
    return TellOptionChanged(stmt, ExecuteRun(stmt));
}

SQLRETURN ImplExecute(HandleBase* record) {
    StmtRecord* stmt = Stmt(record);
    if (ErrCode refused = StmtMayExecute(stmt)) return Fail(stmt, refused);
    // An executed statement without a result (an INSERT, a batch of parameter rows) runs again at
    // once, from prepared.
    if (StmtExecuted(stmt)) {
        stmt->lastError = 0;
        StmtCloseCursor(stmt);
    }
    return ExecuteRun(stmt);
}

SQLRETURN ImplMoreResults(HandleBase* record) {
    StmtRecord* stmt = Stmt(record);
    if (!StmtDescribable(stmt)) return SQL_NO_DATA;
    if (!stmt->conn || !stmt->conn->hasMoreRes) {
        stmt->lastError = 0;
        return SQL_NO_DATA;
    }
    StmtResetCursorPos(stmt);
    ColumnInfoArrayFree(stmt->results, stmt->resultCount);
    stmt->results = nullptr;
    stmt->resultCount = 0;
    stmt->cursor.window.SetPos(kCursorBeforeFirst);
    ErrCode rc = AgentCall<DRV_MoreResults>(stmt->link, stmt->agentStmt);
    stmt->lastError = rc;
    if (rc == kErrOutputValues) {
        if (stmt->outCount || stmt->ioCount) {
            SQLRETURN moved = FetchOutputParams(stmt);
            if (!SQL_SUCCEEDED(moved)) return moved;
        }
        rc = AgentCall<DRV_MoreResults>(stmt->link, stmt->agentStmt);
        stmt->lastError = rc;
    }
    if (rc == kErrNoMoreResults) {
        stmt->lastError = 0;
        return SQL_NO_DATA;
    }
    if (rc != 0) {
        StmtCollectAgentDiag(stmt);
        return SQL_ERROR;
    }
    if (stmt->paramsProcessedPtr && stmt->selectFlag && *stmt->paramsProcessedPtr < stmt->paramsetSize)
        *stmt->paramsProcessedPtr += 1;
    if (!StmtDescribeResult(stmt)) {
        // A further result without columns has nothing to read: say so rather than fail bare.
        if (stmt->lastError == 0) stmt->lastError = kErrGeneral;
        return SQL_ERROR;
    }
    return SQL_SUCCESS;
}

SQLRETURN ImplNativeSql(HandleBase* record, SQLCHAR* inArg, SQLINTEGER inLen, SQLCHAR* outArg, SQLINTEGER outMax,
                        SQLINTEGER* outLen) {
    auto* conn = static_cast<ConnRecord*>(record);
    const char* in = reinterpret_cast<const char*>(inArg);
    auto* out = reinterpret_cast<char*>(outArg);
    if ((inLen < 0 && inLen != SQL_NTS) || outMax < 0) {
        conn->lastError = kErrBadArg;  // S1009: a negative length is not a size
        return SQL_ERROR;
    }
    if (!in) {
        conn->lastError = kErrBadArg;
        return SQL_ERROR;
    }
    char* copy = nullptr;
    StrDupLen(&copy, in, inLen);
    if (!copy) {
        conn->lastError = kErrNoMemory;
        return SQL_ERROR;
    }
    uint16_t len = 0;
    // Longer output buffers are handed over as the most a 16-bit length can say.
    const uint16_t max = outMax > 0xFFFF ? uint16_t(0xFFFF) : uint16_t(outMax);
    ErrCode rc = AgentCall<DRV_NativeSql>(&conn->link, conn->agentConn, copy, out, max, &len);
    free(copy);
    conn->lastError = rc;
    if (outLen) *outLen = SQLINTEGER(len);
    if (rc == 0) return SQL_SUCCESS;
    return rc == kErrTruncated ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
}

SQLRETURN ImplNumParams(HandleBase* record, SQLSMALLINT* count) {
    StmtRecord* stmt = Stmt(record);
    return Code(stmt, StmtNumParams(stmt, count));
}

SQLRETURN ImplNumResultCols(HandleBase* record, SQLSMALLINT* count) {
    StmtRecord* stmt = Stmt(record);
    return Code(stmt, StmtNumResultCols(stmt, count));
}

SQLRETURN ImplParamOptions(HandleBase* record, SQLULEN crow, SQLULEN* pirow) {
    StmtRecord* stmt = Stmt(record);
    return Code(stmt, StmtSetParamsetSize(stmt, crow, pirow));
}

SQLRETURN ImplRowCount(HandleBase* record, SQLLEN* count) {
    StmtRecord* stmt = Stmt(record);
    return Code(stmt, StmtRowCount(stmt, count));
}

SQLRETURN ImplGetCursorName(HandleBase* record, SQLCHAR* bufArg, SQLSMALLINT max, SQLSMALLINT* len) {
    StmtRecord* stmt = Stmt(record);
    auto* buf = reinterpret_cast<char*>(bufArg);
    if (max < 0) {
        stmt->lastError = kErrBadLength;
        return SQL_ERROR;
    }
    uint16_t out = 0;
    ErrCode rc = AgentCall<DRV_GetCursorName>(stmt->link, stmt->agentStmt, buf, uint16_t(max), &out);
    stmt->lastError = rc;
    if (len) *len = SQLSMALLINT(out);
    if (rc == 0) return SQL_SUCCESS;
    return rc == kErrTruncated ? SQL_SUCCESS_WITH_INFO : SQL_ERROR;
}

SQLRETURN ImplSetCursorName(HandleBase* record, SQLCHAR* nameArg, SQLSMALLINT len) {
    StmtRecord* stmt = Stmt(record);
    const char* name = reinterpret_cast<const char*>(nameArg);
    if (len < 0 && len != SQL_NTS) {
        stmt->lastError = kErrBadLength;
        return SQL_ERROR;
    }
    char* copy = nullptr;
    StrDupLen(&copy, name, len);
    if (!copy) {
        stmt->lastError = kErrNoMemory;
        return SQL_ERROR;
    }
    if (GwTraceOn()) GwTrace("SetCursorName [%s]\n", copy);
    ErrCode rc = AgentCall<DRV_SetCursorName>(stmt->link, stmt->agentStmt, copy);
    free(copy);
    return Code(stmt, rc);
}

SQLRETURN ImplBindCol(HandleBase* record, SQLUSMALLINT col, SQLSMALLINT ctype, SQLPOINTER target, SQLLEN max,
                      SQLLEN* ind) {
    StmtRecord* stmt = Stmt(record);
    return Code(stmt, BindColCore(stmt, col, ctype, target, max, ind));
}

SQLRETURN ImplDescribeCol(HandleBase* record, SQLUSMALLINT col, SQLCHAR* nameArg, SQLSMALLINT max, SQLSMALLINT* nameLen,
                          SQLSMALLINT* sqlType, SQLULEN* colSize, SQLSMALLINT* scale, SQLSMALLINT* nullable) {
    StmtRecord* stmt = Stmt(record);
    auto* name = reinterpret_cast<char*>(nameArg);
    if (max < 0) {
        stmt->lastError = kErrBadLength;
        return SQL_ERROR;
    }
    if (ErrCode refused = StmtMayReadResult(stmt)) return Fail(stmt, refused);
    ColumnInfo* ci = StmtResultCol(stmt, col);
    if (!ci) return SQL_ERROR;
    const char* text = (ci->column && ci->column[0]) ? ci->column : ci->name;
    SQLRETURN rc = SQL_SUCCESS;
    const size_t n = strlen(text);
    if (nameLen) *nameLen = SQLSMALLINT(n > 0x7FFF ? 0x7FFF : n);
    if (name && max > 0) {
        const size_t copy = n < size_t(max) ? n : size_t(max) - 1;
        memcpy(name, text, copy);
        name[copy] = '\0';
        if (copy < n) {
            stmt->lastError = kErrTruncated;
            rc = SQL_SUCCESS_WITH_INFO;
        }
    }
    if (sqlType) *sqlType = SQLSMALLINT(ci->sql_type);
    if (colSize) *colSize = ci->column_size;
    if (scale) *scale = SQLSMALLINT(ci->scale);
    if (nullable) *nullable = SQLSMALLINT(ci->nullable & 0xF);
    if (col == 0) ColumnInfoArrayFree(ci, 1);
    return rc;
}

SQLRETURN ImplSetPos(HandleBase* record, SQLSETPOSIROW row, SQLUSMALLINT op, SQLUSMALLINT lock) {
    return SetPosRun(Stmt(record), row, op, lock);
}

SQLRETURN ImplBulkOperations(HandleBase* record, SQLSMALLINT op) {
    return BulkOperationsRows(Stmt(record), uint16_t(op));
}
