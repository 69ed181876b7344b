// Parameter binding (SQLBindParameter, SQLSetParam), SQLDescribeParam and the driver-side
// data-at-execution dialogue (SQLParamData, SQLPutData).
#include "odbc/param.h"
#include "odbc/setpos.h"

#include <cstdlib>
#include <cstring>

#include "odbc/api_records.h"
#include "odbc/convert.h"
#include "odbc/datapath.h"
#include "odbc/execute.h"
#include "odbc/datapath_agent.h"
#include "odbc/desc.h"
#include "odbc/diag.h"
#include "odbc/sql_types.h"
#include "odbc/stmt_state.h"
#include "odbc/trace_link.h"
#include "util/dataset.h"
#include "util/errtable.h"

namespace {

StmtRecord* Stmt(HandleBase* r) { return static_cast<StmtRecord*>(r); }

bool V2Dae(const StmtRecord* stmt) { return stmt->conn && stmt->conn->hasV2DAE; }

int OdbcVersion(const StmtRecord* stmt) {
    return stmt->conn && stmt->conn->env ? int(stmt->conn->env->odbcVersion) : 3;
}

}  // namespace

ParamStore* StmtParamStore(StmtRecord* stmt) { return static_cast<ParamStore*>(stmt->paramBindings); }

ParamBinding* ParamBindingAt(uint16_t n, StmtRecord* stmt) {
    ParamStore* ps = StmtParamStore(stmt);
    if (!ps || n == 0 || n > ps->count) return nullptr;
    ParamBinding* b = &ps->entries[n - 1];
    return b->number == n ? b : nullptr;
}

int ParamBindingSet(StmtRecord* stmt, const ParamBinding& in) {
    const uint16_t p = in.number;
    if (p < 1 || p > kMaxParamNumber) {
        stmt->lastError = kErrBadParamNumber;
        return -1;
    }
    ParamStore* ps = StmtParamStore(stmt);
    if (!ps) {
        ps = static_cast<ParamStore*>(calloc(1, sizeof(ParamStore)));
        if (!ps) {
            stmt->lastError = kErrNoMemory;
            return -1;
        }
        stmt->paramBindings = ps;
    }
    if (p - 1 >= ps->count) {
        const uint32_t cap = uint32_t(p - 1 + 10) < kMaxParamNumber ? uint32_t(p - 1 + 10) : kMaxParamNumber;
        auto* entries = static_cast<ParamBinding*>(calloc(cap, sizeof(ParamBinding)));
        auto* sums = static_cast<ParamDescEntry*>(calloc(cap, sizeof(ParamDescEntry)));
        if (!entries || !sums) {
            free(entries);
            free(sums);
            stmt->lastError = kErrNoMemory;
            return -1;
        }
        if (ps->count) {
            std::memcpy(entries, ps->entries, ps->count * sizeof(ParamBinding));
            std::memcpy(sums, ps->summaries, ps->count * sizeof(ParamDescEntry));
        }
        free(ps->entries);
        free(ps->summaries);
        ps->entries = entries;
        ps->summaries = sums;
        ps->count = uint16_t(cap);
        stmt->paramSummaries = sums;
        stmt->paramBindingCount = ps->count;
    }
    ParamBinding b = in;
    ParamBinding& slot = ps->entries[p - 1];
    if (!V2Dae(stmt)) {
        b.pieceCount = 0;
        b.pieces = nullptr;
        b.pieceLengths = nullptr;
        BindingPiecesFree(slot);
    }
    slot = b;
    ParamDescEntry sum{};
    sum.sqlType = b.sqlType;
    sum.cType = b.cType;
    sum.columnSize = uint32_t(b.columnSize > 0xFFFFFFFFull ? 0xFFFFFFFFull : b.columnSize);
    sum.decimalDigits = uint16_t(b.decimalDigits);
    sum.paramType = b.direction;
    if (std::memcmp(&sum, &ps->summaries[p - 1], sizeof sum) != 0) {
        stmt->flags &= uint16_t(~kSfParamsSent);
        ps->summaries[p - 1] = sum;
    }
    return 0;
}

uint32_t StmtResetParams(StmtRecord* stmt) {
    if (ParamStore* ps = StmtParamStore(stmt)) {
        if (!V2Dae(stmt))
            for (uint16_t i = 0; i < ps->count; ++i) BindingPiecesFree(ps->entries[i]);
        free(ps->entries);
        free(ps->summaries);
        free(ps);
    }
    stmt->paramBindings = nullptr;
    stmt->paramSummaries = nullptr;
    if (stmt->pendingParams && AgentLinkCallerFrees(stmt->link)) DatasetDelete(stmt->pendingParams);
    stmt->pendingParams = nullptr;
    stmt->paramBindingCount = 0;
    stmt->flags &= uint16_t(~kSfParamsSent);
    return 0;
}

int64_t ParamCTypeSize(int cType, bool setParamForm) {
    switch (cType) {
        case SQL_C_NUMERIC:
            return setParamForm ? 0 : CTypeOctetSize(cType);
        case SQL_C_CHAR:
        case SQL_C_BINARY:
        case SQL_C_WCHAR:
            return SQL_NTS;
        default:
            return CTypeOctetSize(cType);
    }
}

static bool KnownParamSqlType(int sqlType) {
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_NUMERIC:
        case SQL_DECIMAL:
        case SQL_INTEGER:
        case SQL_SMALLINT:
        case SQL_FLOAT:
        case SQL_REAL:
        case SQL_DOUBLE:
        case SQL_DATETIME:
        case SQL_TIME:
        case SQL_TIMESTAMP:
        case SQL_VARCHAR:
        case SQL_TYPE_DATE:
        case SQL_TYPE_TIME:
        case SQL_TYPE_TIMESTAMP:
        case SQL_LONGVARCHAR:
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
        case SQL_BIGINT:
        case SQL_TINYINT:
        case SQL_BIT:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR:
        case SQL_GUID:
            return true;
        default:
            return SqlTypeIsInterval(sqlType);
    }
}

// A binding as the application made it; the effective pointers start as the bound ones.
static ParamBinding NewBinding(uint16_t number, int16_t cType, int64_t elementSize, int16_t sqlType,
                               uint64_t columnSize, int16_t digits, void* value, SQLLEN* octetLengthPtr,
                               SQLLEN* indicatorPtr, int64_t bufferLength, uint16_t direction) {
    ParamBinding b{};
    b.number = number;
    b.cType = cType;
    b.elementSize = elementSize;
    b.sqlType = sqlType;
    b.columnSize = columnSize;
    b.decimalDigits = digits;
    b.value = b.boundValue = value;
    b.octetLengthPtr = b.boundOctetLengthPtr = octetLengthPtr;
    b.indicatorPtr = b.boundIndicatorPtr = indicatorPtr;
    b.bufferLength = bufferLength;
    b.direction = direction;
    return b;
}

SQLRETURN BindParameterCore(StmtRecord* stmt, uint16_t number, uint16_t direction, int16_t cType, int16_t sqlType,
                            uint64_t columnSize, int16_t digits, void* value, int64_t bufferLength,
                            SQLLEN* octetLengthPtr, SQLLEN* indicatorPtr) {
    stmt->lastError = 0;
    auto fail = [&](uint32_t code) -> SQLRETURN {
        stmt->lastError = code;
        return SQL_ERROR;
    };
    if (!value && !indicatorPtr && direction != SQL_PARAM_OUTPUT) return fail(kErrBadArg);
    // Decimal digits of a time, a timestamp or an interval in seconds are a seconds fraction.
    if (digits < 0 && (sqlType == SQL_TIME || sqlType == SQL_TIMESTAMP || sqlType == SQL_TYPE_TIME ||
                       sqlType == SQL_TYPE_TIMESTAMP || SqlIntervalHasSeconds(sqlType)))
        return fail(kErrBadScale);
    // A negative buffer length other than the ODBC 1 marker would later serve as a copy size.
    if (bufferLength < -1) return fail(kErrBadLength);
    // An unknown SQL type would otherwise travel to the server as the description of a value.
    if (!KnownParamSqlType(sqlType)) return fail(kErrSqlTypeRange);
    if (cType == SQL_C_DEFAULT) {
        const int version = OdbcVersion(stmt);
        if (version == 2 && SqlTypeIsWideText(sqlType))
            cType = SQL_C_CHAR;
        else
            cType = int16_t(DefaultCType(sqlType, version));
    }
    const int64_t size = ParamCTypeSize(cType, false);
    if (size == 0) return fail(kErrRestrictedType);
    if (bufferLength == -1) direction = SQL_PARAM_INPUT;
    if (GwTraceOn())
        GwTrace("Par#%d c_type=%d sql_type=%d prec=%lu scale=%d size=%d cbValueMax=%ld", number, cType, sqlType,
                static_cast<unsigned long>(columnSize), digits, int(size), long(bufferLength));
    if (ParamBindingSet(stmt, NewBinding(number, cType, size, sqlType, columnSize, digits, value, octetLengthPtr,
                                         indicatorPtr, bufferLength, direction)) != 0)
        return SQL_ERROR;
    DescRecord* apd = stmt->apd;
    DescRecord* ipd = stmt->ipd;
    if (apd && number > apd->count)
        if (uint32_t rc = DescGrow(apd, number)) return fail(rc);
    if (ipd && number > ipd->count)
        if (uint32_t rc = DescGrow(ipd, number)) return fail(rc);
    if (DescItem* a = DescItemAt(apd, number)) {
        a->conciseType = cType;
        a->type = int16_t(SqlVerboseType(cType));
        a->datetimeIntervalCode = int16_t(SqlDateTimeIntervalCode(cType));
        a->dataPtr = value;
        a->octetLengthPtr = octetLengthPtr;
        a->indicatorPtr = octetLengthPtr;
        a->octetLength = bufferLength;
    }
    if (DescItem* it = DescItemAt(ipd, number)) {
        it->conciseType = sqlType;
        it->type = int16_t(SqlVerboseType(sqlType));
        it->datetimeIntervalCode = int16_t(SqlDateTimeIntervalCode(sqlType));
        it->parameterType = int16_t(direction);
        const bool seconds =
            sqlType == SQL_TYPE_TIME || sqlType == SQL_TYPE_TIMESTAMP || SqlIntervalHasSeconds(sqlType);
        if (seconds) {
            it->length = columnSize;
            it->precision = digits;
        } else if (SqlTypeIsString(sqlType) || sqlType == SQL_TYPE_DATE || SqlTypeIsInterval(sqlType)) {
            it->length = columnSize;
        } else if (sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL) {
            it->precision = int16_t(columnSize);
            it->scale = digits;
        } else if (sqlType == SQL_FLOAT || sqlType == SQL_REAL || sqlType == SQL_DOUBLE) {
            it->precision = int16_t(columnSize);
        }
    }
    return SQL_SUCCESS;
}

void ParamUnbind(StmtRecord* stmt, uint16_t number) {
    if (ParamBinding* b = ParamBindingAt(number, stmt)) b->value = b->boundValue = nullptr;
}

uint32_t ParamPieceBuffersReset(StmtRecord* stmt) {
    ParamStore* ps = StmtParamStore(stmt);
    if (!ps) return 0;
    const uint64_t rows = stmt->paramsetSize ? stmt->paramsetSize : 1;
    for (uint16_t i = 0; i < ps->count; ++i) {
        ParamBinding& b = ps->entries[i];
        if (b.number != 0 && b.pieces && b.pieceLengths && b.pieceCount == rows) {
            // The same array size as the last execution: emptied in place, not made anew; not
            // even walked when no piece came since.
            if (b.piecesClear) continue;
            for (uint32_t r = 0; r < b.pieceCount; ++r) {
                if (b.pieces[r]) {
                    free(b.pieces[r]);
                    b.pieces[r] = nullptr;
                }
            }
            std::memset(b.pieceLengths, 0, rows * sizeof(SQLLEN));
            b.piecesClear = 1;
            continue;
        }
        BindingPiecesFree(b);
        if (b.number == 0) continue;
        b.pieces = static_cast<void**>(calloc(rows, sizeof(void*)));
        b.pieceLengths = static_cast<SQLLEN*>(calloc(rows, sizeof(SQLLEN)));
        if (!b.pieces || !b.pieceLengths) {
            free(b.pieces);
            free(b.pieceLengths);
            b.pieces = nullptr;
            b.pieceLengths = nullptr;
            return kErrNoMemory;
        }
        b.pieceCount = uint32_t(rows);
        b.piecesClear = 1;
    }
    return 0;
}

uint32_t ParamPieceAppend(ParamBinding* b, const void* data, SQLLEN length, uint32_t row) {
    if (!b || row >= b->pieceCount || !b->pieces) return kErrSequence;  // no value is being supplied
    b->piecesClear = 0;
    if (length == SQL_NULL_DATA) {
        free(b->pieces[row]);
        b->pieces[row] = nullptr;
        b->pieceLengths[row] = SQL_NULL_DATA;
        return 0;
    }
    // SQL_NTS is the only other length below 0 that a piece may have (SQL_DEFAULT_PARAM too is
    // a binding's length, not a piece's), whatever the C type.
    if (length < 0 && length != SQL_NTS) return kErrBadLength;
    if (!data) return kErrBadArg;
    uint64_t n;
    if (b->elementSize > 0) {
        // A fixed-size C type comes whole: a second piece would join two values' bytes.
        if (b->pieceLengths[row] > 0) return kErrPiecesNotText;
        // ODBC ignores the length argument.
        n = uint64_t(b->elementSize);
    } else if (length == SQL_NTS) {
        if (b->cType == SQL_C_WCHAR) {
            const auto* w = static_cast<const char*>(data);
            uint64_t k = 0;
            for (SQLWCHAR u = 1; u; ++k) std::memcpy(&u, w + 2 * k, 2);
            n = (k - 1) * 2;
        } else {
            n = strlen(static_cast<const char*>(data));
        }
    } else {
        n = uint64_t(length);
    }
    // A row that was sent as NULL starts over with this piece.
    const uint64_t have = b->pieceLengths[row] > 0 ? uint64_t(b->pieceLengths[row]) : 0;
    if (have + n > 0xFFFFFFFFull) return kErrBadLength;  // beyond what one Dataset value can hold
    if (b->pieceLengths[row] == SQL_NULL_DATA) b->pieceLengths[row] = 0;
    if (n == 0) return 0;
    void* grown = realloc(b->pieces[row], have + n);
    if (!grown) return kErrNoMemory;
    std::memcpy(static_cast<char*>(grown) + have, data, n);
    b->pieces[row] = grown;
    b->pieceLengths[row] = SQLLEN(have + n);
    return 0;
}

// ---- entry points ---------------------------------------------------------------------------

SQLRETURN ImplBindParameter(HandleBase* record, SQLUSMALLINT number, SQLSMALLINT direction, SQLSMALLINT cType,
                            SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT digits, SQLPOINTER value,
                            SQLLEN bufferLength, SQLLEN* lenInd) {
    StmtRecord* stmt = Stmt(record);
    // A direction outside the five ODBC ones would steer execution on garbage.
    if (direction < SQL_PARAM_INPUT || direction > SQL_RETURN_VALUE) {
        stmt->lastError = kErrBadArg;
        return SQL_ERROR;
    }
    return BindParameterCore(stmt, number, uint16_t(direction), cType, sqlType, columnSize, digits, value, bufferLength,
                             lenInd, lenInd) == 0
               ? SQL_SUCCESS
               : SQL_ERROR;
}

SQLRETURN ImplSetParam(HandleBase* record, SQLUSMALLINT number, SQLSMALLINT cType, SQLSMALLINT sqlType,
                       SQLULEN columnSize, SQLSMALLINT digits, SQLPOINTER value, SQLLEN* lenInd) {
    StmtRecord* stmt = Stmt(record);
    stmt->lastError = 0;
    if (!value && !lenInd) return stmt->lastError = kErrBadArg, SQL_ERROR;
    if (digits < 0) return stmt->lastError = kErrBadScale, SQL_ERROR;
    if (cType == SQL_C_DEFAULT) cType = SQLSMALLINT(DefaultCType(sqlType, OdbcVersion(stmt)));
    const int64_t size = ParamCTypeSize(cType, true);
    if (size == 0) return stmt->lastError = kErrRestrictedType, SQL_ERROR;
    if (GwTraceOn())
        GwTrace("Par#%d c_type=%d sql_type=%d prec=%ld scale=%d size=%d", number, cType, sqlType, long(columnSize),
                digits, int(size));
    return ParamBindingSet(stmt, NewBinding(number, cType, size, sqlType, columnSize, digits, value, lenInd, lenInd, 0,
                                            SQL_PARAM_INPUT)) == 0
               ? SQL_SUCCESS
               : SQL_ERROR;
}

namespace {

SQLRETURN ParamDataDriver(StmtRecord* stmt, void** valueOut) {
    if (ErrCode refused = StmtMayParamData(stmt)) return Fail(stmt, refused);
    if (StmtNeedDataCall(stmt) != NeedDataCall::kExecute) return RowOpParamData(stmt, valueOut);
    if (StmtNeedDataResumes(stmt, NeedDataCall::kExecute)) return ExecuteStatement(stmt);
    ParamStore* ps = StmtParamStore(stmt);
    if (!ps || ps->nextIndex >= ps->count) {
        // The bindings went away under the dialogue: nothing can be handed out.
        StmtNeedDataEnd(stmt);
        return Fail(stmt, kErrSequence);
    }
    ps->supplyRow = ps->scanRow;
    if (stmt->paramsProcessedPtr) *stmt->paramsProcessedPtr = SQLULEN(ps->supplyRow) + 1;
    if (stmt->ipd && stmt->ipd->rowsProcessedPtr && stmt->ipd->rowsProcessedPtr != stmt->paramsProcessedPtr)
        *stmt->ipd->rowsProcessedPtr = SQLULEN(ps->supplyRow) + 1;
    StmtNeedDataAsk(stmt);
    ps->curIndex = ps->nextIndex;
    ps->nextIndex = uint16_t(ps->nextIndex + 1);
    ParamBinding& b = ps->entries[ps->curIndex];
    if (b.pieces && ps->supplyRow < b.pieceCount) {
        free(b.pieces[ps->supplyRow]);
        b.pieces[ps->supplyRow] = nullptr;
        b.pieceLengths[ps->supplyRow] = 0;
    }
    if (valueOut) *valueOut = b.boundValue;
    if (!NextDataAtExecParam(stmt)) StmtNeedDataLast(stmt);
    return SQL_NEED_DATA;
}

SQLRETURN PutDataDriver(StmtRecord* stmt, const void* data, SQLLEN length) {
    // SQLPutData before the first SQLParamData of the dialogue has no value to append to.
    if (ErrCode refused = StmtMayPutData(stmt)) return Fail(stmt, refused);
    if (StmtNeedDataCall(stmt) != NeedDataCall::kExecute) return RowOpPutData(stmt, data, length);
    ParamStore* ps = StmtParamStore(stmt);
    if (!ps) return Fail(stmt, kErrSequence);
    if (uint32_t rc = ParamPieceAppend(&ps->entries[ps->curIndex], data, length, ps->supplyRow)) {
        stmt->lastError = DiagPieceCode(stmt, rc);
        return SQL_ERROR;
    }
    return SQL_SUCCESS;
}

}  // namespace

namespace {

// A failed SQLParamData or SQLPutData ends the dialogue: the Driver Manager has taken the statement
// back to where SQLExecute, SQLExecDirect, SQLSetPos or SQLBulkOperations found it, and the
// application starts over from there. The pieces collected stay until the next execution.
void DaeAbandon(StmtRecord* stmt) {
    if (stmt->agentDialog) AgentDaeDrop(stmt);
    StmtNeedDataEnd(stmt);
}

}  // namespace

SQLRETURN ImplParamData(HandleBase* record, SQLPOINTER* valueOut) {
    StmtRecord* stmt = Stmt(record);
    const bool dialogue = StmtInNeedData(stmt);
    const SQLRETURN rc = V2Dae(stmt) ? ParamDataAgent(stmt, valueOut) : ParamDataDriver(stmt, valueOut);
    if (rc == SQL_ERROR && dialogue) DaeAbandon(stmt);
    return rc;
}

SQLRETURN ImplPutData(HandleBase* record, SQLPOINTER data, SQLLEN length) {
    StmtRecord* stmt = Stmt(record);
    // Before SQLParamData has named a value the statement still needs data: that sequence
    // error leaves the dialogue as it is.
    const bool supplying = StmtNeedDataAsked(stmt);
    const SQLRETURN rc = V2Dae(stmt) ? PutDataAgent(stmt, data, length) : PutDataDriver(stmt, data, length);
    if (rc == SQL_ERROR && supplying) DaeAbandon(stmt);
    return rc;
}

SQLRETURN ImplDescribeParam(HandleBase* record, SQLUSMALLINT number, SQLSMALLINT* sqlType, SQLULEN* columnSize,
                            SQLSMALLINT* digits, SQLSMALLINT* nullable) {
    StmtRecord* stmt = Stmt(record);
    ColumnInfo* ci = StmtParamDesc(stmt, number);
    if (!ci) {
        if (stmt->lastError == 0) stmt->lastError = kErrBadParamNumber;
        return SQL_ERROR;
    }
    if (sqlType) *sqlType = SQLSMALLINT(ci->sql_type);
    if (columnSize) *columnSize = ci->column_size;
    if (digits) *digits = SQLSMALLINT(ci->scale);
    if (nullable) *nullable = SQLSMALLINT(ci->nullable & 0xF);
    return SQL_SUCCESS;
}
