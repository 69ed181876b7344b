#pragma once
// The statement data path's services: result and parameter descriptions, column bindings,
// block reset, execution steps, fetch and GetData.
#include <cstdint>

#include "odbc/handles.h"

// ---- descriptions ---------------------------------------------------------------------------
ColumnInfo* StmtDescribeResult(StmtRecord* stmt);
// 0 when the statement has result columns; else why not: the failed description's code, or
// kErrCursorState for a statement without result columns (it has no cursor).
uint32_t StmtResultRefusal(StmtRecord* stmt);
// Asks the agent once per result for its columns' base table, schema, catalog and base column
// names (catalog look-ups below the agent), before the first read of one of them.
void StmtDescribeNames(StmtRecord* stmt);
// Result column n; for 0 a new bookmark record the caller frees (ColumnInfoArrayFree(p, 1)).
ColumnInfo* StmtResultCol(StmtRecord* stmt, uint16_t column);
ColumnInfo* StmtParamDesc(StmtRecord* stmt, uint16_t param);
uint32_t StmtNumResultCols(StmtRecord* stmt, SQLSMALLINT* out);
uint32_t StmtNumParams(StmtRecord* stmt, SQLSMALLINT* out);
uint32_t StmtRowCount(StmtRecord* stmt, SQLLEN* out);
uint32_t StmtSetParamsetSize(StmtRecord* stmt, uint64_t size, SQLULEN* processed);
uint32_t StmtFreeParamDescs(StmtRecord* stmt);
// Frees the attribute rows of the last extended description.
void StmtFreeKeyInfo(StmtRecord* stmt);
uint32_t StmtFreeResultCols(StmtRecord* stmt);
// Rows of one block for these columns: 65535 divided by the row width, at least 1 when there are
// columns (a row wider than a block still comes one at a time).
uint32_t RowsPerBlock(const ColumnInfo* cols, uint16_t count);
// Hidden procedure parameter columns ("*I", "*O", "*B", "*U").
bool IsHiddenColumn(const ColumnInfo& c);

// ---- bindings -------------------------------------------------------------------------------
uint32_t BindColCore(StmtRecord* stmt, uint16_t column, int16_t cType, void* target, int64_t bufferLength,
                     SQLLEN* lenInd);
int BoundColAdd(StmtRecord* stmt, const ColumnBinding& b);
int BoundColRemove(StmtRecord* stmt, const ColumnBinding& b);
BoundCol* BoundColFind(uint16_t column, StmtRecord* stmt);
// Points every bound column at its ARD record's buffers moved by the ARD's bind offset, as a fetch,
// SQLSetPos and SQLBulkOperations read and write them; no offset leaves the bindings alone (seen
// inline: most fetches have none).
void BoundColsMoveByBindOffset(StmtRecord* stmt);
inline void BoundColsApplyBindOffset(StmtRecord* stmt) {
    if (stmt->ard && stmt->ard->bindOffsetPtr) BoundColsMoveByBindOffset(stmt);
}
uint32_t StmtUnbindCols(StmtRecord* stmt);
uint32_t StmtResetParams(StmtRecord* stmt);
// Extends the descriptor to n records (record 0 always exists); 0 or kErrNoMemory.
uint32_t DescGrow(DescRecord* desc, uint16_t n);
DescItem* DescItemAt(DescRecord* desc, uint16_t n);

// ---- execution ------------------------------------------------------------------------------
uint32_t StmtResetCursorPos(StmtRecord* stmt);

// ---- fetch and GetData ----------------------------------------------------------------------
SQLRETURN ExtendedFetchRowset(StmtRecord* stmt, uint16_t orientation, int64_t offset, SQLULEN* rowCount,
                              SQLUSMALLINT* statuses);
SQLRETURN RowsetTransfer(StmtRecord* stmt, SQLUSMALLINT* statuses, uint32_t row, int32_t operation);
// A forward-only cursor's agent reads a block on to its last row: row (1-based) of the rowset is
// made the row positioned changes (WHERE CURRENT OF) name, row 0 none. 0 or the agent's code.
uint32_t CursorRowTell(StmtRecord* stmt, uint32_t row);
SQLRETURN FetchForward(StmtRecord* stmt);
int FetchBlock(StmtRecord* stmt);
// The GetColumn context of a statement.
GetColumnContext StmtColumnContext(StmtRecord* stmt);
