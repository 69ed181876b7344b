// Dynamic cursors: each fetch reads the keys of its rowset afresh by seeking from the keys of the
// rowset it has, then the rows by those keys, so that rows other users insert, change or delete
// show at the next fetch. With the data source's sensitivity high, each row's version is kept in
// the table VOVURA and a row another user changed since the cursor last showed it reads as updated.
#pragma once

#include <cstdint>

struct Dataset;
struct SCS_Cursor;
struct Rowset;

// The current rowset's keys and where the cursor stands.
struct SCS_DynState {
    Dataset* keys;  // key rows of the current rowset (keys, then ORDER BY columns), in order
    int where;      // 0 before the first row, 1 on a rowset, 2 after the last
    int rowVer;     // row versions are kept for this cursor
};

// Where the cursor stands after a fetch.
enum : int { kDynBefore = 0, kDynOnRowset = 1, kDynAfter = 2 };

// Set-up at prepare of a dynamic SELECT the keyset set-up has accepted: concurrency other than
// read-only, lock and values becomes read-only (the application sees 01S02); with high
// sensitivity (capability item 0x2201000b) the cursor's private row-version connection is opened
// and its earlier rows are removed. 0, or the failure (IM926 on the statement when VOVURA is
// missing).
uint32_t SCS_DynamicPrepare(SCS_Cursor* s);
// At execute: the cursor stands before its first row.
uint32_t SCS_DynamicExecute(SCS_Cursor* s);
// At close of the cursor: no keys are held, and its VOVURA rows are removed.
void SCS_DynamicClose(SCS_Cursor* s);
// At the statement's release: its VOVURA rows are removed and the private connection released.
void SCS_DynamicFree(SCS_Cursor* s);

// Slot fetch of a dynamic cursor (orientation 1 NEXT, 2 FIRST, 3 LAST, 4 PRIOR, 6 RELATIVE with
// offset; kCursorFetchRowsetAgain the rows of the current rowset again by its keys, a row gone
// since a deleted one): 0, kErrBeforeStart before the first row, kErrBeyondEnd after the last, kErrFetchTypeRange
// another orientation, kErrKeysetUpdates when other users' changes kept the keys and rows apart three times, or a
// failure.
uint32_t SCS_DynamicFetch(SCS_Cursor* s, Rowset** out, int32_t offset, uint16_t orientation, uint32_t* rows,
                          uint32_t* resultRows);
// The rows of the key rows in *keys (at most n) into a new rowset: when some key's row is gone
// by the time the rows are read, the keys are read again from the first key on, up to three
// times in all (kErrKeysetUpdates after that). 0, kErrBeyondEnd when no key is left, or a failure. *keys is replaced by
// the keys the rows were read with.
uint32_t SCS_DynamicFetchRows(SCS_Cursor* s, Dataset* keys, uint32_t n, Rowset** out);

// Hook of positioned changes on a dynamic cursor: stores the versions of changed rows (row i of
// keys with row i of values) so that the cursor's own change is not reported as another user's.
// 0 when row versions are not kept, else SCS_RowVerUpdate's result.
uint32_t SCS_DynamicRowsChanged(SCS_Cursor* s, const Dataset* keys, const Dataset* values);

// After the cursor's own positioned update: under values concurrency the updated rows' values are
// read again, and with row versions kept their new versions stored. 0 or a code.
uint32_t SCS_DynamicAfterUpdate(SCS_Cursor* s);

// The key columns alone (the first keyCount columns) of a copy of src; 0, 15 or 16.
uint32_t SCS_DynamicKeyColumns(const Dataset* src, uint16_t keyCount, Dataset** out);
