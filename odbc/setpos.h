#pragma once
// SQLSetPos and SQLBulkOperations on the ODBC side: checks against the cursor's state, the row
// Datasets built from the bound columns, the data-at-execution dialogue for bound columns, and
// the row statuses written back.
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "odbc/handles.h"

// Need-data states of the column dialogues.
constexpr uint16_t kNeedDataSetPos = 2;
constexpr uint16_t kNeedDataBulk = 3;
constexpr uint16_t kNeedDataLastSetPos = 8;
constexpr uint16_t kNeedDataLastBulk = 9;

// What a SetPos or bulk operation keeps between its calls (hung on the statement).
struct RowOpState {
    uint32_t setPosRow;  // saved SQLSetPos row (0 all rows)
    uint16_t setPosOp;
    uint16_t bulkOp;
    uint32_t* bookmarks;  // bulk: the bookmarks of a suspended update
    uint16_t bookmarkCount;
    uint16_t* columns;  // bulk: the column numbers of a suspended update
    uint16_t columnCount;
    // Data-at-execution cursor over the bound columns.
    uint16_t daePosition;  // index in the bound-column list where the search resumes
    uint32_t daeRow;
    uint32_t daeRows;      // rows of the dialogue, kept apart from the parameter-set size
    uint16_t curPosition;  // the column SQLPutData appends to
    uint32_t supplyRow;
    // An agent that collects column data at execution itself: the statuses it returned and the
    // column numbers of the pending row Dataset, kept until the operation ends.
    uint16_t* agentStatuses;
    uint32_t agentProcessed;
    uint16_t* agentColumns;  // handed to the agent with the Dataset
    uint16_t* agentMap;      // the data path's own copy: which bound column each value is
    uint16_t agentMapCount;
};

RowOpState* StmtRowOps(StmtRecord* stmt);
void StmtRowOpsFree(StmtRecord* stmt);

// SQLSetPos with typed arguments: the 64-bit row is checked against the rowset before it is
// narrowed.
SQLRETURN SetPosRun(StmtRecord* stmt, SQLULEN row, SQLUSMALLINT operation, SQLUSMALLINT lock);
SQLRETURN SetPosDispatch(StmtRecord* stmt, uint32_t row, uint16_t operation, uint16_t lock);
SQLRETURN SetPosRows(StmtRecord* stmt, uint32_t row, uint16_t operation);
// The same on a connection whose agent collects column data at execution (cn_hasV2DAE), and
// the end of its operation once the agent has answered (also after the dialogue's last value).
SQLRETURN SetPosAgentDAE(StmtRecord* stmt, uint16_t row, uint16_t operation);
SQLRETURN SetPosFinish(StmtRecord* stmt, uint32_t rc);
// The row Dataset of SQL_UPDATE and SQL_ADD: one column per bound, used, updatable column;
// row marker 0 all rows of the rowset. 0, 15 or 16 (or a length error).
uint32_t SetPosBuildRows(StmtRecord* stmt, uint32_t row, Dataset* out, uint16_t** columns, uint16_t* count);
uint32_t SetPosDeleteRows(StmtRecord* stmt, uint32_t row, Dataset** out);

// Whether a bound column takes part in a row change: not the bookmark, not SQL_COLUMN_IGNORE in
// the first row used, not described read-only. 15 for a column without description.
uint32_t RowOpColumnUsed(StmtRecord* stmt, const BoundCol* b, uint32_t firstRow, bool* used);
// One Dataset column per listed bound column (every used one without a list), in result order,
// rows first .. first + rows - 1 of the buffers; the column numbers come out when asked for.
// Rows marked ignored in the Dataset: none, those the row-operation array ignores, or those and
// the rows the last fetch did not deliver.
enum RowSkip { kSkipNone, kSkipIgnored, kSkipUnfetched };
uint32_t RowOpBuildRows(StmtRecord* stmt, const uint16_t* list, uint16_t listCount, uint32_t first, uint32_t rows,
                        RowSkip skip, Dataset* ds, uint16_t** columnsOut, uint16_t* countOut);
// Starts the column dialogue over rows row - 1 .. end - 1 (row 0: from the first); 99, 0 or -1.
SQLRETURN RowOpDataAtExecStart(StmtRecord* stmt, uint32_t row, uint32_t end, const uint16_t* list, uint16_t count);
// Moves the agent's messages onto the statement; without any, the code becomes the last error.
void RowOpCollect(StmtRecord* stmt, uint32_t rc);

// One bound column's values of rows of the ARD array into column c of ds (rows are buffer rows
// first, first + 1, ...; ignoredOps marks rows by the row-operation array). 0 or a code.
uint32_t BoundColumnValues(StmtRecord* stmt, const BoundCol* b, Dataset* ds, uint16_t c, uint32_t first, uint32_t rows,
                           bool markIgnored);

// Column data at execution.
SQLRETURN ColumnDataAtExecStart(StmtRecord* stmt, uint16_t row, const uint16_t* columns, uint16_t count);
int NextDataAtExecColumn(StmtRecord* stmt, const uint16_t* columns, uint16_t count);
uint32_t ColumnValueLength(const ColumnBinding& b, uint32_t row, uint64_t bindType);
uint32_t ColumnMaxValueLength(const ColumnBinding& b, uint32_t rows, uint64_t bindType);
uint32_t ColumnPieceBuffersReset(StmtRecord* stmt);
// Appends a piece to row's value; a fixed-size C type (fixedSize > 0) takes one piece of that size.
uint32_t ColumnPieceAppend(ColumnBinding* b, int64_t fixedSize, const void* data, SQLLEN length, uint32_t row);
// The length value of row r of a binding (8-byte slots, or the row size when row-wise).
SQLLEN ColumnLengthAt(const ColumnBinding& b, uint32_t row, uint64_t bindType);
bool LengthIsDataAtExec(SQLLEN len);

// SQLParamData and SQLPutData in the column states (2, 3, 8, 9).
SQLRETURN RowOpParamData(StmtRecord* stmt, void** valueOut);
SQLRETURN RowOpPutData(StmtRecord* stmt, const void* data, SQLLEN length);

// SQLBulkOperations with typed arguments.
SQLRETURN BulkOperationsRows(StmtRecord* stmt, uint16_t operation);
uint32_t BulkBookmarks(StmtRecord* stmt, uint32_t** out);
// Fetches the rows the bookmarks name into the cursor's rowset, each row named by its bookmark
// (SQL_FETCH_BY_BOOKMARK, and SQL_REFRESH of a rowset made so); *statuses gets the agent's
// statuses (free()). 0 or the agent's code, its messages left for the caller to collect.
uint32_t RowsetFetchByBookmarks(StmtRecord* stmt, const uint32_t* bookmarks, uint16_t rows, uint16_t** statuses);
uint32_t BulkUpdateColumns(StmtRecord* stmt, uint16_t** columns, uint16_t* count);
uint32_t BulkBuildRows(StmtRecord* stmt, const uint16_t* columns, uint16_t count, Dataset* ds);
