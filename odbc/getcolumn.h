// GetColumn: moves one column of one row of a Dataset into one application binding. It is the
// funnel for bound columns at fetch, SQLGetData and output parameters.
//
// It knows nothing of the statement record: the caller hands it a GetColumnContext that points
// at the statement's last-error word and long-data position and answers the few questions
// GetColumn has (column description, descriptor record, bookmark, next piece of a long value).
#pragma once

#include "odbc/convert.h"
#include "util/dataset.h"

#include <cstdint>

// One column binding (bound column, SQLGetData's one-off binding, output parameter).
struct ColumnBinding {
    uint16_t column;         // 1-based; 0 is the bookmark column
    int16_t cType;           // SQL_C_*, SQL_C_DEFAULT or SQL_ARD_TYPE
    uint16_t decimalDigits;  // output parameters only
    void* target;
    int64_t bufferLength;  // bytes; written back for SQL_C_DEFAULT with 0
    SQLLEN* lengthPtr;
    SQLLEN* indicatorPtr;
    // Data-at-execution pieces that SQLPutData collected for this column (none after SQLBindCol).
    uint32_t pieceCount;
    void** pieces;
    SQLLEN* pieceLengths;
};

// The binding of SQLBindCol or SQLGetData: one length/indicator buffer serves as both.
inline ColumnBinding AppColumnBinding(uint16_t column, int16_t cType, void* target, int64_t bufferLength,
                                      SQLLEN* lenInd) {
    ColumnBinding b{};
    b.column = column;
    b.cType = cType;
    b.target = target;
    b.bufferLength = bufferLength;
    b.lengthPtr = lenInd;
    b.indicatorPtr = lenInd;
    return b;
}

// Position within the value that the last GetColumn call on this statement read.
// (The fields every value's start sets lie together.)
struct LongDataState {
    uint16_t column;      // column + 1 of the last call; 0 none (every fetch clears it)
    uint32_t row;         // row + 1 of the last call
    uint32_t remaining;   // bytes not yet delivered
    int32_t cType;        // C type of the last truncated call
    const uint8_t* rest;  // the value's unread part (in the Dataset or in `piece`)
    uint32_t pieceKind;   // value kind of the value being read
    int64_t pieceTotal;   // total length the agent reported with its last piece
    uint32_t pieceOwned;  // `piece` is owned by the statement
    void* piece;          // piece delivered by the agent
    uint32_t pieceLength;
    void (*pieceFree)(void* piece, uint32_t kind);  // how to release an owned piece
    TextCarry carry;                                // text read in the other encoding
};

// Releases an owned piece (and, for a by-reference piece, the buffer it points to).
void LongDataFree(LongDataState* state);

// The few fields of a descriptor record GetColumn uses.
struct DescRecordView {
    int16_t conciseType;
    int16_t precision;
    int16_t scale;
};

struct GetColumnContext {
    uint32_t* lastError;      // the statement's last-error word (also the converters' error slot)
    LongDataState* longData;  // the statement's long-data position
    int odbcVersion;          // of the environment: 2 or 3
    bool useBookmarks;        // statement attribute SQL_ATTR_USE_BOOKMARKS is on
    bool directionRecount;    // output parameters take their scale from the binding
    void* host;               // handed back to every callback
    // SQL type and scale of result column `column` (1-based); false when it has no description.
    bool (*describe)(void* host, uint16_t column, int32_t* sqlType, int32_t* scale);
    // The same descriptions, for a host that keeps them in an array: read there, not asked for.
    const ColumnInfo* results;
    uint16_t resultCount;
    // Record `column` of the current APD (apd) or ARD; false when there is none.
    bool (*descRecord)(void* host, bool apd, uint16_t column, DescRecordView* out);
    // Bookmark of row `row` (0-based in the Dataset): 0, or an error code.
    uint32_t (*rowBookmark)(void* host, uint32_t row, int32_t* bookmark);
    // Next piece of a value the agent kept: 0 (piece, length, kind and total stored in `state`,
    // owned by it), 82 when no more data, or an error code (the host collects the agent's
    // messages). Null when the agent cannot deliver pieces.
    uint32_t (*getPiece)(void* host, uint16_t column, uint32_t row, int64_t wanted, LongDataState* state);
    // Receives GetColumn's trace lines; null sends them to the debug trace (when it is on).
    void (*trace)(void* host, const char* text);
};

// How a value that lies in its cell reaches the application's buffer when it needs nothing but
// the cell: its bytes as they are (a value in its own C type), narrow text copied out as
// SQL_C_CHAR, or narrow text read as an integer. kConvert: the converters take it.
struct CellCopy {
    enum Way : uint8_t { kConvert, kBytes, kText, kInteger } way;
    uint8_t bytes;  // kBytes: how many
};

// What GetColumn works out from a binding and the result's description before it reads a
// value. Nothing a conversion does changes it, so a rowset works it out once per column and
// hands it to every row's call.
struct ColumnPlan {
    int32_t cType;         // the C type converted to (SQL_C_DEFAULT, SQL_ARD_TYPE resolved)
    int32_t sqlType;       // of the result column; 0 without a description
    int32_t scale;         // of the result column (output parameters: maybe the binding's); -1 unknown
    int32_t precision;     // SQL_C_NUMERIC: the descriptor record's, else 0
    int32_t numScale;      // SQL_C_NUMERIC: the descriptor record's, else 0
    int64_t bufferLength;  // the binding's, or the C type's size for SQL_C_DEFAULT with 0
    uint32_t error;        // the type cannot be resolved (SQL_ARD_TYPE without a record), else 0
    // Set by GetColumnPlanCells for the values of one Dataset: the column's cells when a value
    // lying there is copied by `copy` (else null, and every value takes GetColumn's way).
    const DatasetColumn* cells;
    CellCopy copy;
};

// The plan of binding `b` (its column and C type); output parameters read the APD.
ColumnPlan GetColumnPlan(GetColumnContext& ctx, const ColumnBinding& b, bool outputMode = false);

// Completes the plan of column `column` for reading the values of `ds` with GetColumnPlanned
// within the same call.
void GetColumnPlanCells(const GetColumnContext& ctx, ColumnPlan& plan, uint16_t column, const Dataset& ds);

// (GetColumnPlanned, which reads with such a plan, is inline in odbc/getcolumn_cell.h.)

// 0, 1 (warning in *lastError), 100 (SQL_NO_DATA) or -1 (error in *lastError). `plan`, when
// given, is GetColumnPlan of a binding with this column and C type (output parameters make
// their own).
int GetColumn(GetColumnContext& ctx, uint32_t row, ColumnBinding& binding, const Dataset& ds,
              const ColumnPlan* plan = nullptr);

// (GetColumnDirect, SQLGetData's read of a value that needs nothing but its cell, is inline in
// odbc/getcolumn_cell.h.)
