// The copy of a fetched value that needs nothing but its cell, shared by GetColumn, SQLGetData's
// direct path and a rowset's transfer into bound columns, which has it inline for every value.
#pragma once

#include "odbc/convert_out.h"
#include "odbc/getcolumn.h"
#include "util/trace.h"

#include <algorithm>
#include <cstring>

// Bytes of a value of `kind` that the converters hand to `cType` exactly as the cell holds them
// (no range to test, no text to make), else 0.
[[gnu::always_inline]] inline size_t SameBytes(uint32_t kind, int cType) {
    switch (kind) {
        case DS_INTEGER:
            return cType == SQL_C_LONG || cType == SQL_C_SLONG ? 4 : 0;
        case DS_UINTEGER:
            return cType == SQL_C_ULONG ? 4 : 0;
        case DS_SMALLINT:
            return cType == SQL_C_SHORT || cType == SQL_C_SSHORT ? 2 : 0;
        case DS_USMALLINT:
            return cType == SQL_C_USHORT ? 2 : 0;
        case DS_TINYINT:
            return cType == SQL_C_TINYINT || cType == SQL_C_STINYINT ? 1 : 0;
        case DS_UTINYINT:
            return cType == SQL_C_UTINYINT ? 1 : 0;
        case DS_DOUBLE:
            return cType == SQL_C_DOUBLE ? 8 : 0;
        case DS_DATE:
            return cType == SQL_C_TYPE_DATE || cType == SQL_C_DATE ? 6 : 0;
        case DS_TIME:
            return cType == SQL_C_TYPE_TIME || cType == SQL_C_TIME ? 6 : 0;
        case DS_TIMESTAMP:
            return cType == SQL_C_TYPE_TIMESTAMP || cType == SQL_C_TIMESTAMP ? 16 : 0;
        default:
            return 0;
    }
}

inline bool IntegerCType(int cType) {
    switch (cType) {
        case SQL_C_UTINYINT:
        case SQL_C_STINYINT:
        case SQL_C_TINYINT:
        case SQL_C_USHORT:
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
        case SQL_C_ULONG:
        case SQL_C_SLONG:
        case SQL_C_LONG:
        case SQL_C_UBIGINT:
        case SQL_C_SBIGINT:
            return true;
        default:
            return false;
    }
}

// How a value of `kind` in its cell reaches `cType` without the converters, whose detour (kept
// for their trace lines) would give the same.
[[gnu::always_inline]] inline CellCopy CellCopyOf(uint32_t kind, int cType) {
    if (const size_t n = SameBytes(kind, cType)) return {CellCopy::kBytes, static_cast<uint8_t>(n)};
    if (DatasetKindIsNarrowText(kind)) {
        if (cType == SQL_C_CHAR) return {CellCopy::kText, 0};
        if (IntegerCType(cType)) return {CellCopy::kInteger, 0};
    }
    return {CellCopy::kConvert, 0};
}

// The copy of a value of 1 to 16 bytes as two fixed moves, which may overlap, rather than a call.
inline void CopyCell(void* target, const uint8_t* cell, size_t n) {
    auto* t = static_cast<unsigned char*>(target);
    if (n >= 8) {
        std::memcpy(t, cell, 8);
        std::memcpy(t + n - 8, cell + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(t, cell, 4);
        std::memcpy(t + n - 4, cell + n - 4, 4);
    } else if (n >= 2) {
        std::memcpy(t, cell, 2);
        std::memcpy(t + n - 2, cell + n - 2, 2);
    } else {
        std::memcpy(t, cell, 1);
    }
}

// Starts a read of (column, row): no part of another value is carried over.
inline void LongDataBegin(LongDataState& s, uint16_t colKey, uint32_t rowKey) {
    if (s.pieceOwned) LongDataFree(&s);
    s.column = colKey;
    s.row = rowKey;
    s.remaining = 0;
    s.rest = nullptr;
    s.cType = 0;
    s.carry = TextCarry{};
}

// Where a value goes: the application's buffer (there), its length and the length slot.
struct ValueTarget {
    void* target;
    int64_t bufferLength;
    SQLLEN* lengthPtr;
};

// The value in `cell` copied the way `copy` (not kConvert) says.
[[gnu::always_inline]] inline int CellCopyRun(LongDataState& s, const DatasetColumn& col, const uint8_t* cell,
                                              int cType, CellCopy copy, const ValueTarget& to, uint32_t* err) {
    if (copy.way == CellCopy::kBytes) {
        *err = kErrNone;
        CopyCell(to.target, cell, copy.bytes);
        if (to.lengthPtr) *to.lengthPtr = static_cast<SQLLEN>(copy.bytes);
        return 0;
    }
    // The agent's usual text cells (and a BIGINT's digits) read here; the others by the Dataset's
    // own rule. `room`: the bytes of the cell from the text on.
    DsBytes v;
    uint64_t room;
    if (col.kind == DS_CHAR_NTS) {
        v = DsBytes{cell, strnlen(reinterpret_cast<const char*>(cell), col.width)};
        room = col.width;
    } else if (col.kind == DS_CHAR_LEN2 && col.width >= 2) {
        uint16_t n;
        std::memcpy(&n, cell, 2);
        v = DsBytes{cell + 2, std::min<size_t>(n, col.width - 2)};
        room = col.width - 2;
    } else {
        v = DatasetCellBytes(&col, cell);
        room = v.size;
    }
    const uint8_t* src = v.bytes;
    const uint64_t len = v.size;
    const char* text = reinterpret_cast<const char*>(src);
    if (copy.way == CellCopy::kInteger) {
        if (cType == SQL_C_SBIGINT) {
            // A BIGINT's digits asked for as one, the usual request, read as the converter reads
            // them; any other spelling takes the converter.
            bool negative;
            uint64_t magnitude;
            const int plain =
                PlainIntegerIn(text, len, room, uint64_t(1) << 63, uint64_t(INT64_MAX), &negative, &magnitude, err);
            if (plain < 0) return -1;
            if (plain == 0) {
                const int64_t x = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
                return FixedOut(&x, sizeof x, to.target, to.lengthPtr, err);
            }
        }
        return ConvertCHARToInteger(text, len, cType, to.target, to.lengthPtr, err);
    }
    uint64_t consumed = 0;
    const int rc = CopyOutWholeText(text, len, to.target, to.bufferLength, to.lengthPtr, err, &consumed);
    // What is left of a truncated text is for the next call on the value.
    if (rc == 1 && *err == kErrTruncated) {
        if (consumed > len) consumed = len;
        s.cType = cType;
        s.rest = src + consumed;
        s.remaining = static_cast<uint32_t>(len - consumed);
    }
    return rc;
}

// What GetColumn does with a value of `row` of `column` that `copy` takes from its cell, once its
// checks have passed.
[[gnu::always_inline]] inline int CellCopyValue(LongDataState& s, uint16_t column, uint32_t row,
                                                const DatasetColumn& col, int cType, CellCopy copy,
                                                const ValueTarget& to, SQLLEN* indicatorPtr, uint32_t* err) {
    if (indicatorPtr) *indicatorPtr = 0;
    LongDataBegin(s, column, row + 1);
    s.pieceKind = col.kind;
    return CellCopyRun(s, col, DatasetCell(&col, row), cType, copy, to, err);
}

// GetColumn for a first read of a fetched value in an explicit C type that needs nothing but the
// cell: its natural type, or narrow text into SQL_C_CHAR or an integer (SQLGetData's arguments,
// with one length and indicator slot). 2, with nothing written, for any other call, which then
// goes to GetColumn: output values, the bookmark, C types worked out from the description
// (SQL_C_DEFAULT, SQL_ARD_TYPE, SQL_C_NUMERIC and SQL_C_BINARY are none that CellCopyOf takes), and
// a call that goes on with a value already begun.
[[gnu::always_inline]] inline int GetColumnDirect(uint32_t* lastError, LongDataState& s, uint32_t row,
                                                  const Dataset& ds, uint16_t column, int16_t cType, void* target,
                                                  int64_t bufferLength, SQLLEN* lenInd) {
    if (*lastError == kErrOutputValues || column == 0 || column > ds.col_count || !target || DebugTraceOn()) return 2;
    const DatasetColumn& col = ds.cols[column - 1];
    if ((s.column == column && s.row == row + 1) || row >= ds.rows_used || !col.indicators ||
        col.indicators[row] != DS_IND_VALUE)
        return 2;
    const CellCopy copy = CellCopyOf(col.kind, cType);
    if (copy.way == CellCopy::kConvert) return 2;
    return CellCopyValue(s, column, row, col, cType, copy, ValueTarget{target, bufferLength, lenInd}, lenInd,
                         lastError);
}

// The buffers of one value of a bound column: the binding's, moved to the value's row.
struct RowBuffers {
    void* target;
    SQLLEN* lengthPtr;
    SQLLEN* indicatorPtr;
};

// Binding `bound` with the buffers `at`.
inline ColumnBinding BindingAt(const ColumnBinding& bound, const RowBuffers& at) {
    ColumnBinding b = bound;
    b.target = at.target;
    b.lengthPtr = at.lengthPtr;
    b.indicatorPtr = at.indicatorPtr;
    return b;
}

// GetColumn of binding `bound` with its buffers at `at`, with a plan completed for `ds`
// (GetColumnPlanCells) in the same call: a value in its cell that the plan copies goes straight
// to the buffer, after only the checks that may differ from value to value. For a transfer that
// reads each value once: none goes on with a value begun.
[[gnu::always_inline]] inline int GetColumnPlanned(GetColumnContext& ctx, uint32_t row, const ColumnBinding& bound,
                                                   const RowBuffers& at, const Dataset& ds, const ColumnPlan& plan) {
    const DatasetColumn* col = plan.cells;
    if (col && row < ds.rows_used && col->indicators[row] == DS_IND_VALUE && at.target)
        return CellCopyValue(*ctx.longData, bound.column, row, *col, plan.cType, plan.copy,
                             ValueTarget{at.target, plan.bufferLength, at.lengthPtr}, at.indicatorPtr, ctx.lastError);
    ColumnBinding b = BindingAt(bound, at);
    return GetColumn(ctx, row, b, ds, &plan);
}
