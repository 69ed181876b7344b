// Positioned row changes, bulk operations by bookmark and row locks of the cursor layer: the
// statements that delete, update and add rows of a scrollable cursor's first table, each row
// named by its key values (and, under values concurrency, by the values it had when fetched).
#pragma once

#include <cstdint>
#include <string>

#include "scrs/sc_coldesc.h"
#include "util/errtable.h"

struct ColumnInfo;
struct Dataset;
struct SCS_Cursor;
struct Rowset;

// What the row changes of one cursor read and write. The cursor that keeps a key set (keyset
// driven, dynamic, mixed, updatable static) fills one in when asked (SCS_SetRowChangeSource);
// every pointer stays the cursor's.
struct SCS_RowChange {
    SCS_DescCtx* desc;             // lower link, tables (the first is changed), key columns,
                                   // concurrency column lists, quote, parameter descriptions
    uint32_t changeStmt;           // lower statement the generated statements run on
    const ColumnInfo* resultCols;  // result columns of the row-fetch statement
    uint16_t resultCount;
    uint32_t cursorType;   // 1 keyset-driven, 2 dynamic, 3 static
    uint32_t concurrency;  // 1 read-only, 2 lock, 3 row versions, 4 values
    uint32_t rowsetSize;
    uint32_t rowsetOrigin;  // 1-based key-set row of the rowset's first row
    // After a fetch by bookmark: the bookmark (1-based key-set row) of each rowset row; null while
    // the rows run on from rowsetOrigin.
    const uint32_t* rowBookmarks;
    uint32_t rowBookmarkCount;
    const Dataset* keyValues;  // row i holds key-set row keyOrigin + i
    uint32_t keyOrigin;        // 0 unless the key set holds a window of the result
    uint16_t* keyStatus;       // one ODBC row status per key-set row
    uint32_t keysetRows;
    const Dataset* values;  // concurrency values (values concurrency), row i = valuesOrigin + i
    uint32_t valuesOrigin;  // static cursors: key-set row of row 0; others: rowset origin - 1
    uint32_t compareMode;   // 2: the select-list column list names the concurrency columns
    int nulRoom;            // fixed-text flag of the parameter rows
    // Fetch by bookmark: the application's SELECT, run again restricted to keys.
    const char* stmtText;
    uint32_t fetchStmt;         // lower statement that runs it
    const Dataset* keptParams;  // the statement's own parameter values, or null
    int forUpdate;              // lock concurrency: " FOR UPDATE" is appended
    uint32_t rowsChanged;       // out: rows the last operation changed
    // Values concurrency: reads the rowset's concurrency values again after an update (or null).
    uint32_t (*refreshValues)(SCS_Cursor* s);
    // Values concurrency: reads every value of the rowset again once a fetch by bookmark made its
    // rows anew (or null).
    uint32_t (*rereadValues)(SCS_Cursor* s);
};

// Fills `out` for the agent statement; 0, or a code when the cursor has no key set to offer.
using SCS_RowChangeSource = uint32_t (*)(SCS_Cursor* s, SCS_RowChange* out);
// The one source of row-change contexts (null: none, row changes answer kErrNotCapable).
void SCS_SetRowChangeSource(SCS_RowChangeSource source);
SCS_RowChangeSource scs_p_RowChangeSourceGet();

// Slot 37: row (1-based, or 0xFFFFFFFE for every row of the rowset), operation 0..4, lock
// (unused); the status array (heap, the caller frees it), the rows processed, the row values and
// the column list (both owned by the call from now on). An ErrorTable code.
ErrCode SCS_SetPos(uint32_t stmt, uint32_t row, uint16_t operation, uint16_t lock, uint16_t** statuses,
                   uint32_t* processed, Dataset* values, uint16_t* columns, uint16_t columnCount);
// Slot 42: operations 5 update, 6 delete, 7 fetch by bookmark.
ErrCode SC3_BulkOperations(uint32_t stmt, uint16_t operation, uint32_t* bookmarks, uint16_t rows, Dataset* values,
                           uint16_t* columns, uint16_t columnCount, uint16_t** statuses, uint16_t* processed,
                           Rowset** fetched);

// The operations on a context (the row-values Dataset and column list are freed by them).
uint32_t scs_p_SetPosOp(SCS_RowChange* rc, uint32_t row, uint16_t operation, uint16_t** statuses, uint32_t* processed,
                        Dataset* values, uint16_t* columns);
uint32_t scs_p_DeleteRows(SCS_RowChange* rc, uint32_t row, uint16_t** statuses, uint32_t* processed, Dataset* values);
uint32_t scs_p_UpdateRows(SCS_RowChange* rc, uint32_t row, uint16_t** statuses, uint32_t* processed, Dataset* values,
                          uint16_t* columns);
uint32_t scs_p_AddRows(SCS_RowChange* rc, uint32_t row, uint16_t** statuses, uint32_t* processed, Dataset* values,
                       uint16_t* columns);

// Statement texts. T is the first table; key and concurrency names as the descriptions hold
// them. The SET and INSERT lists name each listed result column's base column (quoted, quotes
// inside doubled); a column that is an expression or has no base column gives kErrGeneral.
std::string scs_p_TargetTable(const SCS_RowChange* rc);
uint32_t scs_p_ChangeColumnName(const SCS_RowChange* rc, uint16_t column, std::string* out);
uint32_t scs_p_DeleteText(const SCS_RowChange* rc, std::string* out);
uint32_t scs_p_UpdateText(const SCS_RowChange* rc, const uint16_t* columns, uint16_t count, std::string* out);
uint32_t scs_p_InsertText(const SCS_RowChange* rc, const uint16_t* columns, uint16_t count, std::string* out);
// base + " AND v IS NULL" / " AND v = ?" for each concurrency column; nullFlags has one entry
// per column (1: the row's value is NULL).
std::string scs_p_ValuesCondition(const SCS_RowChange* rc, const std::string& base, const uint16_t* nullFlags);
// The concurrency columns (select-list columns in comparison mode 2, else the table columns).
const SCR_Array* scs_p_ConcColumns(const SCS_RowChange* rc);

// Bulk operations by bookmark on a context.
uint32_t sc3_BulkByBookmark(SCS_RowChange* rc, uint16_t operation, const uint32_t* bookmarks, uint16_t rows,
                            Dataset* values, uint16_t* columns, uint16_t** statuses, uint16_t* processed,
                            Rowset** fetched);
// Row i of *out := source row (bookmark[i] - 1 - base); 0 or kErrGeneral (a row the source does not hold).
uint32_t sc3_BookmarkRows(const Dataset* source, const uint32_t* bookmarks, uint16_t rows, uint32_t base,
                          Dataset** out);
uint32_t sc3_DeleteByBookmark(SCS_RowChange* rc, Dataset* keyRows, Dataset* valueRows, uint16_t* statuses,
                              uint16_t* processed);
uint32_t sc3_UpdateByBookmark(SCS_RowChange* rc, Dataset* keyRows, Dataset* valueRows, Dataset* values,
                              uint16_t* columns, uint16_t* statuses, uint16_t* processed);
// order[k] := the position in values of the k-th smallest value (ties keep their order).
uint32_t sc3_BookmarkOrder(const uint32_t* values, uint32_t n, uint32_t** order);

// Reads the rows of key rows first .. first + rows - 1 of keys with the application's SELECT
// restricted to those keys (ordered as the key set is) on the row-fetch statement, appending them
// to out; rows whose key no longer matches do not come back. 0 or a code.
uint32_t scs_p_RowsByKeys(SCS_RowChange* rc, const Dataset* keys, uint32_t first, uint32_t rows, Dataset* out);
// Fetches the rows the bookmarks name into rs: the keys are read in ascending bookmark order,
// matched with the rows that came back (a row that did not is deleted: an empty row, status 1),
// then put back in the order of the bookmark array; statuses follow the bookmark array too.
// *processed: the rows that came back.
uint32_t sc3_FetchByBookmark(SCS_RowChange* rc, const uint32_t* bookmarks, uint16_t rows, Dataset* keyRows, Rowset* rs,
                             uint16_t* statuses, uint16_t* processed);

// Locks key-set rows first .. first + count - 1 whose status is 0 or 2 by a no-op UPDATE of
// their keys; the key values of row r are row r - keyOrigin. 0, kErrRowError when some row could not be
// locked, kErrGeneral when a row's keys are not held, or a lower code.
uint32_t scs_p_LockRows(SCS_RowChange* rc, uint32_t first, uint32_t count);

// Moves the messages of the lower statement `from` onto the agent statement `to`.
void scs_p_MoveMessages(uint32_t from, uint32_t to);
