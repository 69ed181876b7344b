// Ingres descriptors and the driver's column descriptions: the type map of result columns
// and the descriptors of parameters.
#pragma once

#include <cstdint>

#include "drv_ingii/i-desc.h"
#include "iiapi/iiapi.h"

struct ColumnInfo;
struct DatasetColumn;

// An Ingres type with the sign (nullable) dropped.
inline int16_t IngAbsType(int16_t t) { return t < 0 ? int16_t(-t) : t; }
// The long types, which travel in segments.
inline bool IngIsLongType(int16_t t) { return t == IIAPI_LVCH_TYPE || t == IIAPI_LBYTE_TYPE || t == IIAPI_LNVCH_TYPE; }

// Result description modes.
enum : int { kDescQuery = 0, kDescProcedure = 8 };

// Reads the result descriptors of an OpenAPI statement: 0, kErrNoData (none) or the wait's code.
uint32_t IIGetDescriptor(IngDescBlock* block, void* stmtHandle, IngDiagList* list);

// Maps one descriptor into a description (sizes, SQL type, value kind).
void IngMapDescriptor(const IIAPI_DESCRIPTOR& d, bool unicodeConn, bool jet, ColumnInfo* ci);

// Builds the descriptions of a result: mode 0 a query, 8 a procedure (its return value first
// when the statement has one); other modes give none. 0 or kErrNoMemory.
uint32_t IngDescribeResult(IngStmt* s, int mode, const IngDescBlock* block, ColumnInfo** out, uint16_t* count);

// Parameter descriptors of one parameter row for a query type (2 execute, 3 open cursor,
// 8 execute procedure); the service parameters stand first. 0, kErrNoMemory or kErrNotCapable.
struct IngParamDescs {
    int16_t count;
    IIAPI_DESCRIPTOR* descs;  // names are borrowed from the statement's descriptions
    uint16_t room;            // descriptors the array holds (at least count)
    bool mayHoldLong;         // false: none is of a long type (the values go in one group)
    bool lent;                // the statement's own kept array: Keep and Free leave it to it
};
uint32_t IngBuildParamDescriptors(IngStmt* s, int queryType, uint32_t row, IngParamDescs* out, uint32_t* svcCount);
void IngParamDescsFree(IngParamDescs* pd);
// Gives the array back to the statement for its next send (a parameter array sends once per row).
void IngParamDescsKeep(IngStmt* s, IngParamDescs* pd);

// Length of a DS_CHAR_LEN4 parameter cell's text: its prefix, never beyond the cell.
uint32_t IngLen4TextLength(const DatasetColumn& col, const uint8_t* cell);

// First Dataset column the parameters start at (column 0 holds a procedure's return value).
inline uint16_t IngFirstParamColumn(const IngStmt* s) {
    return (s->state & kStmtProcCall) && (s->state & kStmtReturnValue) ? 1 : 0;
}
