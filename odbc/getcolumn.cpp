#include "odbc/getcolumn.h"

#include "odbc/convert_out.h"
#include "odbc/getcolumn_cell.h"
#include "odbc/sql_types.h"
#include "util/dataset.h"
#include "util/trace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum class Family { Char, Wide, Binary, Fixed };

// Family of a piece delivered by the agent, by its kind.
Family PieceFamily(uint32_t kind) {
    if (DatasetKindIsBinary(kind)) return Family::Binary;
    if (DatasetKindIsWideText(kind)) return Family::Wide;
    return Family::Char;
}

// Trace lines go to the host when it takes them, else to the debug trace.
void Trace(GetColumnContext& ctx, const char* fmt, long a, long b) {
    if (!ctx.trace && !DebugTraceOn()) return;
    char line[128];
    std::snprintf(line, sizeof line, fmt, a, b);
    if (ctx.trace)
        ctx.trace(ctx.host, line);
    else
        DebugPrint("%s", line);
}

uint32_t LoadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint16_t LoadU16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Where a text or binary cell's value lies and how long it is (never past the cell); false for
// any other kind.
bool ValueSpan(const DatasetColumn& col, const uint8_t* cell, const uint8_t** src, uint64_t* len) {
    if (!DatasetKindIsString(col.kind)) return false;
    const DsBytes v = DatasetCellBytes(&col, cell);
    *src = v.bytes;
    *len = v.size;
    return true;
}

int ConvertFamily(Family f, const uint8_t* src, uint64_t len, int64_t total, int cType, ColumnBinding& b, uint32_t* err,
                  int scale, int precision, uint64_t* consumed, TextCarry* carry = nullptr) {
    switch (f) {
        case Family::Binary:
            return ConvertBINARY(src, len, total, cType, b.target, b.bufferLength, b.lengthPtr, err, consumed);
        case Family::Wide:
            return ConvertWCHAR(src, len, total, cType, b.target, b.bufferLength, b.lengthPtr, err, scale, precision,
                                consumed, carry);
        default:
            return ConvertCHAR(reinterpret_cast<const char*>(src), len, total, cType, b.target, b.bufferLength,
                               b.lengthPtr, err, scale, precision, consumed, carry);
    }
}

// Bytes to ask the agent for, so that one piece fills the buffer.
int64_t BytesWanted(int cType, int64_t b, uint32_t kind) {
    if (b <= 0) return b;
    if (cType == SQL_C_CHAR) return b - 1;
    if (cType == SQL_C_WCHAR) return (b - 1) / 2;
    if (cType == SQL_C_BINARY && PieceFamily(kind) == Family::Wide) return b / 2;
    return b;
}

// The bytes of a piece: a by-reference piece holds its value behind the reference.
void PieceSpan(const LongDataState& s, const uint8_t** src, uint64_t* len) {
    if (DatasetKindIsRef(s.pieceKind) && s.pieceLength >= sizeof(DsRef)) {
        const DsRef r = DatasetRefGet(static_cast<const uint8_t*>(s.piece));
        *src = static_cast<const uint8_t*>(r.ptr);
        *len = r.ptr ? DatasetRefBytes(s.pieceKind, r.length) : 0;
        return;
    }
    *src = static_cast<const uint8_t*>(s.piece);
    *len = s.pieceLength;
}

// Asks the agent for the next piece; 0, kErrNoData or an error code.
uint32_t GetPiece(GetColumnContext& ctx, uint16_t column, uint32_t row, int64_t wanted) {
    LongDataState& s = *ctx.longData;
    LongDataFree(&s);
    if (!ctx.getPiece) return kErrNotSupported;
    s.piece = nullptr;
    s.pieceLength = 0;
    s.pieceTotal = 0;
    const uint32_t rc = ctx.getPiece(ctx.host, column, row, wanted, &s);
    if (rc != 0) return rc;
    if (s.pieceLength != 0) {
        s.pieceOwned = 1;
        return 0;
    }
    if (s.pieceTotal != 0 && wanted == 0) return 0;
    return kErrNoData;
}

// A NULL value: the indicator says so and the buffer is cleared.
int DeliverNull(GetColumnContext& ctx, ColumnBinding& b, int cType) {
    if (!b.indicatorPtr) {
        *ctx.lastError = kErrIndicatorRequired;
        return -1;
    }
    *b.indicatorPtr = SQL_NULL_DATA;
    ConvertNULL(b.target, b.bufferLength, cType);
    return 0;
}

// Step after a text, wide or binary conversion: remember where the next call resumes.
int AfterPiece(GetColumnContext& ctx, int rc, int cType, const uint8_t* src, uint64_t len, uint64_t consumed,
               bool fromAgent) {
    LongDataState& s = *ctx.longData;
    if (rc != 1 || (cType != SQL_C_CHAR && cType != SQL_C_BINARY && cType != SQL_C_WCHAR) ||
        *ctx.lastError != kErrTruncated) {
        s.remaining = 0;
        return rc;
    }
    s.cType = cType;
    if (fromAgent) return 1;  // the agent keeps the position
    if (consumed > len) consumed = len;
    s.rest = src + consumed;
    s.remaining = static_cast<uint32_t>(len - consumed);
    return 1;
}

int Bookmark(GetColumnContext& ctx, uint32_t row, ColumnBinding& b) {
    if (b.cType != SQL_C_BINARY && b.cType != SQL_C_UBIGINT && b.cType != SQL_C_ULONG) {
        *ctx.lastError = kErrCTypeRange;
        return -1;
    }
    if (!b.target) {
        *ctx.lastError = kErrBadArg;
        return -1;
    }
    if (!ctx.rowBookmark) {
        *ctx.lastError = kErrNotCapable;
        return -1;
    }
    int32_t bm = 0;
    const uint32_t code = ctx.rowBookmark(ctx.host, row, &bm);
    if (code != 0) {
        *ctx.lastError = code;
        return -1;
    }
    const int64_t value = bm;
    if (b.indicatorPtr) *b.indicatorPtr = 0;
    *ctx.lastError = kErrNone;
    // An ODBC 2 application's fixed bookmark is 4 bytes; the row number fits.
    if (b.cType == SQL_C_ULONG) {
        if (b.lengthPtr) *b.lengthPtr = 4;
        const uint32_t narrow = static_cast<uint32_t>(bm);
        std::memcpy(b.target, &narrow, 4);
        return 0;
    }
    if (b.lengthPtr) *b.lengthPtr = 8;
    if (b.cType == SQL_C_UBIGINT) {
        std::memcpy(b.target, &value, 8);
        return 0;
    }
    // A variable-length bookmark buffer gets what fits.
    const int64_t n = b.bufferLength < 0 ? 0 : b.bufferLength < 8 ? b.bufferLength : 8;
    if (n > 0) std::memcpy(b.target, &value, static_cast<size_t>(n));
    if (n < 8) {
        *ctx.lastError = kErrTruncated;
        return 1;
    }
    return 0;
}

}  // namespace

void LongDataFree(LongDataState* s) {
    if (s->pieceOwned && s->piece) {
        if (s->pieceFree) {
            s->pieceFree(s->piece, s->pieceKind);
        } else {
            if (DatasetKindIsRef(s->pieceKind) && s->pieceLength >= sizeof(DsRef))
                std::free(DatasetRefGet(static_cast<const uint8_t*>(s->piece)).ptr);
            std::free(s->piece);
        }
    }
    if (s->pieceOwned) {
        s->piece = nullptr;
        s->pieceLength = 0;
    }
    s->pieceOwned = 0;
}

namespace {

bool Describe(GetColumnContext& ctx, uint16_t column, int32_t* sqlType, int32_t* scale) {
    if (ctx.results) {
        if (column == 0 || column > ctx.resultCount) return false;
        *sqlType = ctx.results[column - 1].sql_type;
        *scale = ctx.results[column - 1].scale;
        return true;
    }
    return ctx.describe && ctx.describe(ctx.host, column, sqlType, scale);
}

// GetColumnPlan, written where GetColumn can have it inline: SQLGetData plans every call.
inline ColumnPlan PlanOf(GetColumnContext& ctx, const ColumnBinding& b, bool outputMode) {
    ColumnPlan p{};
    p.bufferLength = b.bufferLength;
    // Timestamps print as many fraction digits as the column's scale.
    int32_t sqlType = 0, scale = -1;
    if (outputMode && ctx.directionRecount) {
        scale = b.decimalDigits;
        int32_t ignored;
        Describe(ctx, b.column, &sqlType, &ignored);
    } else if (!Describe(ctx, b.column, &sqlType, &scale)) {
        scale = -1;
    }
    p.sqlType = sqlType;
    p.scale = scale;

    int cType = b.cType;
    if (cType == SQL_C_DEFAULT) {
        if (ctx.odbcVersion < 3 && SqlTypeIsWideText(sqlType))
            cType = SQL_C_CHAR;
        else
            cType = DefaultCType(sqlType, ctx.odbcVersion);
        if (p.bufferLength == 0) p.bufferLength = CTypeOctetSize(cType);
    } else if (cType == SQL_C_BINARY) {
        if (sqlType == SQL_BIGINT) cType = SQL_C_SBIGINT;
    }
    if (cType == SQL_ARD_TYPE || cType == SQL_C_NUMERIC) {
        DescRecordView rec{};
        const bool have = ctx.descRecord && ctx.descRecord(ctx.host, outputMode, b.column, &rec);
        if (cType == SQL_ARD_TYPE) {
            if (!have) {
                p.error = kErrBadDescIndex;
                p.cType = cType;
                return p;
            }
            cType = rec.conciseType;
        }
        if (cType == SQL_C_NUMERIC && have) p.precision = rec.precision, p.numScale = rec.scale;
    }
    p.cType = cType;
    return p;
}

}  // namespace

ColumnPlan GetColumnPlan(GetColumnContext& ctx, const ColumnBinding& b, bool outputMode) {
    return PlanOf(ctx, b, outputMode);
}

void GetColumnPlanCells(const GetColumnContext& ctx, ColumnPlan& plan, uint16_t column, const Dataset& ds) {
    plan.cells = nullptr;
    plan.copy = {CellCopy::kConvert, 0};
    // Output values, and every value while the trace is on (for the converters' trace lines),
    // take GetColumn's way.
    if (*ctx.lastError == kErrOutputValues || DebugTraceOn()) return;
    if (column == 0 || column > ds.col_count || plan.error) return;
    const DatasetColumn& col = ds.cols[column - 1];
    const CellCopy copy = CellCopyOf(col.kind, plan.cType);
    if (!col.indicators || copy.way == CellCopy::kConvert) return;
    plan.cells = &col;
    plan.copy = copy;
}

namespace {

// A repeated call on the column and row of the value begun: the next piece of it.
int ContinueValue(GetColumnContext& ctx, uint32_t row, ColumnBinding& b, const DatasetColumn& col) {
    LongDataState& s = *ctx.longData;
    const bool agentValue = col.indicators[row] == DS_IND_NOT_FETCHED;
    // SQL_C_DEFAULT and SQL_ARD_TYPE name no type of their own: the value goes on as begun.
    if (b.cType != s.cType && b.cType != SQL_C_DEFAULT && b.cType != SQL_ARD_TYPE) return SQL_NO_DATA;
    const int cType = s.cType;
    const uint8_t* src;
    uint64_t len;
    int64_t total;
    if (!agentValue) {
        if (s.remaining == 0) return SQL_NO_DATA;
        src = s.rest, len = total = s.remaining;
    } else {
        const uint32_t rc = GetPiece(ctx, b.column, row, BytesWanted(cType, b.bufferLength, s.pieceKind));
        if (rc == kErrNoData) return SQL_NO_DATA;
        if (rc != 0) {
            *ctx.lastError = rc;
            return -1;
        }
        PieceSpan(s, &src, &len);
        total = s.pieceTotal;
    }
    uint64_t consumed = 0;
    const Family f = PieceFamily(s.pieceKind);
    // A value the agent hands out piece by piece has its position there, not in the carry.
    const int rc =
        ConvertFamily(f, src, len, total, cType, b, ctx.lastError, 0, 0, &consumed, agentValue ? nullptr : &s.carry);
    return AfterPiece(ctx, rc, cType, src, len, consumed, agentValue);
}

// The first piece of a value the agent hands out piece by piece.
int FirstAgentPiece(GetColumnContext& ctx, uint32_t row, ColumnBinding& b, const DatasetColumn& col,
                    const ColumnPlan& plan) {
    LongDataState& s = *ctx.longData;
    const int cType = plan.cType;
    const int precision = plan.precision, numScale = plan.numScale;
    const uint32_t rc = GetPiece(ctx, b.column, row, BytesWanted(cType, b.bufferLength, col.kind));
    if (rc == kErrNoData) {
        if (s.pieceTotal == -1 || s.pieceTotal == 0xFFFFFFFFLL) return DeliverNull(ctx, b, cType);
        return SQL_NO_DATA;
    }
    if (rc != 0) {
        *ctx.lastError = rc;
        return -1;
    }
    if (!b.target && b.bufferLength != 0) {
        *ctx.lastError = kErrBadArg;
        return -1;
    }
    const uint8_t* src;
    uint64_t len;
    PieceSpan(s, &src, &len);
    uint64_t consumed = 0;
    const int rc2 = ConvertFamily(PieceFamily(s.pieceKind), src, len, s.pieceTotal, cType, b, ctx.lastError, numScale,
                                  precision, &consumed);
    return AfterPiece(ctx, rc2, cType, src, len, consumed, true);
}

// A value fetched into its cell, converted into the application's type.
int CellValue(GetColumnContext& ctx, uint32_t row, ColumnBinding& b, const DatasetColumn& col, const ColumnPlan& plan) {
    LongDataState& s = *ctx.longData;
    const int cType = plan.cType;
    const int32_t sqlType = plan.sqlType, scale = plan.scale;
    const int precision = plan.precision, numScale = plan.numScale;
    if (!b.target) {
        *ctx.lastError = kErrBadArg;
        return -1;
    }

    const uint8_t* cell = DatasetCell(&col, row);
    uint32_t* err = ctx.lastError;
    // A value in its natural C type is the cell's bytes: the converters' detour (kept for their
    // trace lines) would give the same.
    if (!DebugTraceOn()) {
        const CellCopy copy = CellCopyOf(col.kind, cType);
        if (copy.way != CellCopy::kConvert)
            return CellCopyRun(s, col, cell, cType, copy, ValueTarget{b.target, b.bufferLength, b.lengthPtr}, err);
    }
    switch (col.kind) {
        case DS_BIT:
        case DS_UTINYINT:
        case DS_TINYINT:
            return ConvertBYTE(cell[0], col.kind == DS_TINYINT, cType, b.target, b.bufferLength, b.lengthPtr, err,
                               numScale, precision);
        case DS_SMALLINT:
        case DS_USMALLINT:
            return ConvertSHORT(LoadU16(cell), col.kind == DS_SMALLINT, cType, b.target, b.bufferLength, b.lengthPtr,
                                err, numScale, precision);
        case DS_INTEGER:
        case DS_UINTEGER:
            return ConvertLONG(LoadU32(cell), col.kind == DS_INTEGER, cType, b.target, b.bufferLength, b.lengthPtr, err,
                               numScale, precision);
        case DS_REAL: {
            float f;
            std::memcpy(&f, cell, 4);
            return ConvertFLOAT(f, cType, b.target, b.bufferLength, b.lengthPtr, err, numScale, precision);
        }
        case DS_DOUBLE: {
            double d;
            std::memcpy(&d, cell, 8);
            if ((cType == SQL_C_CHAR || cType == SQL_C_WCHAR) && (sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC) &&
                scale >= 0 && scale <= 15 && std::isfinite(d)) {
                // An exact number the server hands over as a double (money) reads with its own scale:
                // 1234.56 and not the double's 1234.5599999999999.
                char text[64];
                const int n = std::snprintf(text, sizeof text, "%.*f", int(scale), d);
                const int64_t room = cType == SQL_C_WCHAR ? int64_t(n + 1) * 2 : int64_t(n + 1);
                if (n > 0 && n < int(sizeof text) && b.bufferLength >= room) {
                    uint64_t consumed = 0;
                    ctx.longData->remaining = 0;
                    return ConvertFamily(PieceFamily(DS_CHAR), reinterpret_cast<const uint8_t*>(text), uint64_t(n), n,
                                         cType, b, err, numScale, precision, &consumed);
                }
            }
            return ConvertDOUBLE(d, cType, b.target, b.bufferLength, b.lengthPtr, err, numScale, precision);
        }
        case DS_DATE: {
            SQL_DATE_STRUCT d;
            std::memcpy(&d, cell, 6);
            return ConvertDATE(d, cType, b.target, b.bufferLength, b.lengthPtr, err);
        }
        case DS_TIME: {
            SQL_TIME_STRUCT t;
            std::memcpy(&t, cell, 6);
            return ConvertTIME(t, cType, b.target, b.bufferLength, b.lengthPtr, err);
        }
        case DS_TIMESTAMP: {
            SQL_TIMESTAMP_STRUCT ts;
            std::memcpy(&ts, cell, 16);
            return ConvertTIMESTAMP(ts, cType, b.target, b.bufferLength, b.lengthPtr, static_cast<unsigned>(scale),
                                    err);
        }
        default:
            break;
    }
    const uint8_t* src;
    uint64_t len;
    if (!ValueSpan(col, cell, &src, &len)) {
        *err = kErrRestrictedType;
        return -1;
    }
    uint64_t consumed = 0;
    const Family f = PieceFamily(col.kind);
    int rc = 2;
    if (f != Family::Char)
        rc = ConvertFamily(f, src, len, static_cast<int64_t>(len), cType, b, err, numScale, precision, &consumed,
                           &s.carry);
    if (rc == 2)
        rc = ConvertCHAR(reinterpret_cast<const char*>(src), len, static_cast<int64_t>(len), cType, b.target,
                         b.bufferLength, b.lengthPtr, err, numScale, precision, &consumed, &s.carry);
    return AfterPiece(ctx, rc, cType, src, len, consumed, false);
}

}  // namespace

int GetColumn(GetColumnContext& ctx, uint32_t row, ColumnBinding& b, const Dataset& ds, const ColumnPlan* plan) {
    LongDataState& s = *ctx.longData;
    // Output parameters arrive with "Agent has output parameter values" set.
    bool outputMode = false;
    if (*ctx.lastError == kErrOutputValues) {
        *ctx.lastError = kErrNone;
        outputMode = true;
    }
    if ((b.column == 0 && !ctx.useBookmarks) || b.column > ds.col_count) {
        Trace(ctx, "GetColumn: col out of range (%ld,%ld)", b.column, ds.col_count);
        *ctx.lastError = kErrBadColumnNumber;
        return -1;
    }
    if (b.column == 0) return Bookmark(ctx, row, b);

    const DatasetColumn& col = ds.cols[b.column - 1];
    // The position is stored and compared in one form (1-based column and row), so that a
    // repeated call really continues; 0 means no position.
    const uint16_t colKey = b.column;
    const uint32_t rowKey = row + 1;

    // A repeated call on the same column and row continues the value.
    if (s.column == colKey && s.row == rowKey && row < ds.rows_alloc && col.indicators)
        return ContinueValue(ctx, row, b, col);

    // First call on this column and row.
    if (b.indicatorPtr) *b.indicatorPtr = 0;
    if (row >= ds.rows_used || !col.indicators) {
        Trace(ctx, "GetColumn: row out of range (%ld,%ld)", static_cast<long>(row), static_cast<long>(ds.rows_used));
        *ctx.lastError = kErrCursorState;
        return -1;
    }

    ColumnPlan own;
    if (!plan || outputMode) {
        own = PlanOf(ctx, b, outputMode);
        plan = &own;
    }
    b.bufferLength = plan->bufferLength;
    LongDataBegin(s, colKey, rowKey);
    if (plan->error) {
        *ctx.lastError = plan->error;
        return -1;
    }
    const uint16_t ind = col.indicators[row];
    s.pieceKind = col.kind;
    if (ind == DS_IND_NULL) return DeliverNull(ctx, b, plan->cType);
    if (ind == DS_IND_NOT_FETCHED) return FirstAgentPiece(ctx, row, b, col, *plan);
    return CellValue(ctx, row, b, col, *plan);
}
