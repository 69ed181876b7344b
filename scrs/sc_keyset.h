// Cursors that name their rows by keys (keyset-driven, mixed and updatable static cursors, and
// the seeks and reads dynamic cursors borrow): the keyset record, the statement's key-set state,
// its set-up at prepare and execute, the fetch of rowsets by their keys and the row-change state.
// sc_keyset.cpp holds the keyset-driven cursors with the set-up and the keyset record,
// sc_mixed.cpp, sc_statickeys.cpp and sc_rowchange.cpp the rest, sc_bykeys.cpp what they share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scrs/dsc.h"
#include "scrs/sc_coldesc.h"
#include "scrs/scr_analyse.h"

struct SCS_Cursor;
struct Rowset;
struct SCR_Array;

// The keys of a cursor's rows: the whole key set of a keyset-driven cursor (spilled to the
// dataset cache past its memory rows), or the window of a mixed cursor.
struct KS_KeysetRecord {
    uint16_t* statuses;  // one ODBC row status per key row
    Dataset* keys;       // key rows in memory: all of them, or the loaded window
    int32_t origin;      // key-set row held in row 0 of `keys`; -1 while no window is loaded
    uint32_t count;      // key rows in the key set
    uint8_t tableCount;
    SCR_Array* keyCols;  // ColDesc (the description context's array while the statement is set up)
    DSC cache;
};

// 0, kErrGeneral (no address) or kErrNoMemory.
uint32_t KS_KeysetInit(KS_KeysetRecord** out);
void KS_KeysetFree(KS_KeysetRecord** ks);
// Key rows, statuses and cache go; the key columns stay.
void KS_KeysetClear(KS_KeysetRecord* ks);
void KS_KeysetDropAll(KS_KeysetRecord* ks);
// Makes key rows first .. first + n - 1 (0-based, n at most count - first) present in memory;
// *row0 is the row of `ks->keys` holding key row first. 0, kErrGeneral or the cache's code.
uint32_t KS_KeysetRows(KS_KeysetRecord* ks, uint32_t first, uint32_t n, uint32_t* row0);

// Key rows one key-set statement can carry: (parameter limit - own parameters) / key count.
// 0 when nothing fits (the cursor cannot fetch by keys).
uint32_t SCS_KeysPerStatement(uint32_t paramLimit, uint32_t ownParams, uint32_t keyCount);
// Blocks for `rows` key rows: blocks, rows of the last block and rows per block; 0, or kErrGeneral when
// not even one key row fits.
uint32_t SCS_PageCount(uint32_t paramLimit, uint32_t ownParams, uint32_t keyCount, uint32_t rows, uint32_t* blocks,
                       uint32_t* lastRows, uint32_t* perBlock);
// The parameter row of a generated statement: the statement's own values split at `before`
// columns with the generated values between (own may be null). *out takes the columns of both.
uint32_t SCS_SpliceParams(const Dataset* own, uint32_t before, Dataset* generated, Dataset** out);
// Markers ('?' outside literals and comments) of text before the edit marker; -1 without one.
int32_t SCS_MarkersBeforeEdit(const char* text);
// A two-row copy of the first and last key rows of `keys` (rows first .. last, 0-based).
uint32_t SCS_RowsetKeyBounds(const Dataset* keys, uint32_t first, uint32_t last, Dataset** out);

// Places the rows fetched by keys: row i of `rows` goes to the place of the key row whose values
// equal its trailing keyCount columns (those columns are then removed). Key rows no row answered
// get an empty row and status 1 (deleted); the others 0. keys rows k0 .. k0 + n - 1 are the
// rowset's keys. 0, kErrGeneral or kErrNoMemory.
uint32_t scs_p_MarkVanishedRows(Dataset* rows, uint16_t keyCount, const Dataset* keys, uint32_t k0, uint32_t n,
                                uint16_t* statuses);

// The values SELECT of values concurrency: the statement with its select list replaced by every
// column of its tables and then the keys, restricted to perBlock groups of key values (before the
// statement's own condition); *before: the statement's own markers ahead of the key condition.
uint32_t scs_p_OptConcSelectBuild(const SCS_DescCtx& ctx, const char* stmtText, uint32_t perBlock, std::string* text,
                                  uint32_t* before);

// The single read of an updatable static cursor: the statement (its own order, then the keys)
// with its select list as written followed by the key columns and the table columns listed
// (valueCols: indexes into ctx.tableCols), so that each row of the result carries its keys and,
// under values concurrency, the values compared when it is changed that the select list lacks.
uint32_t SCS_StaticFillText(const SCS_DescCtx& ctx, const char* stmtText, const std::vector<uint32_t>& valueCols,
                            std::string* text);

// --- the statement's state ----------------------------------------------------------------

struct SCS_KsState;

// Set-up at prepare of a keyset-driven SELECT already analysed into `a` (taken over): tables,
// ORDER BY, key columns. 0; 84 no keys and 172 no table (the caller downgrades or refuses);
// other codes are failures.
uint32_t SCS_KeysetPrepare(SCS_Cursor* s, SCR_Analysis* a, const char* text);
// At execute: reads the whole key set (keyset-driven) or drops the window (mixed).
uint32_t KS_GetKeySet_KSD(SCS_Cursor* s);
// Slot fetch of a keyset-driven cursor (start by the start rule) and of a mixed cursor.
uint32_t SCS_KeysetFetch(SCS_Cursor* s, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows);
uint32_t SCS_MixedFetch(SCS_Cursor* s, Rowset** out, int32_t offset, uint16_t orientation, uint32_t* rows,
                        uint32_t* resultRows);
// True when the statement is set up for fetching by keys.
bool SCS_KeysetReady(const SCS_Cursor* s);
// The statement's shape flags as the set-up found them (0 when none).
uint32_t SCS_KeysetShape(const SCS_Cursor* s);
// A closed cursor keeps no keys (nor their files).
void SCS_KeysetClose(SCS_Cursor* s);
// Drops the set-up (a new prepare, the statement's release).
void SCS_KeysetRelease(SCS_Cursor* s);
// Aux statements and all; at the statement's release.
void SCS_KeysetStateFree(SCS_Cursor* s);

struct SCS_RowChange;
// The row-change context of a keyset-driven, mixed, static or dynamic cursor under lock or values
// concurrency (the layer's source of row-change contexts); 43 for any other cursor, so that it
// changes nothing.
uint32_t SCS_KeysetRowChange(SCS_Cursor* s, SCS_RowChange* out);

// What dynamic cursors share with mixed ones (sc_dynamic.cpp): up to `count` key rows (the keys,
// then the ORDER BY columns that are not keys) read by a seek from row fromRow of `from`
// (orientation 1 NEXT, 4 PRIOR; 2 FIRST and 3 LAST need none; mode 3 includes the boundary row),
// in the cursor's order; the rows of key rows k0 .. k0 + n - 1 of keys, placed by key values,
// missing ones marked deleted; the number of key columns (0 while not set up).
uint32_t SCS_KsSeekKeys(SCS_Cursor* s, uint32_t orientation, uint32_t mode, const Dataset* from, uint32_t fromRow,
                        uint32_t count, Dataset* out);
uint32_t SCS_KsFetchByKeys(SCS_Cursor* s, const Dataset* keys, uint32_t k0, uint32_t n, Rowset* rs);
uint16_t SCS_KsKeyCount(const SCS_Cursor* s);
// The rowset of a dynamic cursor as its row changes name it: its keys (count rows of keys from row
// 0) and the statuses of rs; under lock concurrency its rows are locked, under values concurrency
// their values read. 0 or a code. Drop forgets the last rowset's.
uint32_t SCS_KsRowsetChange(SCS_Cursor* s, const Dataset* keys, uint32_t count, const Rowset* rs);
void SCS_KsRowsetChangeDrop(SCS_Cursor* s);
// The keys of the rowset's rows whose status says updated (key columns only, *keys null when there
// is none) and those rows as the cursor reads them now, in the same order. 0 or a code.
uint32_t SCS_KsRowsetUpdated(SCS_Cursor* s, Dataset** keys, Dataset* rows);
// Values concurrency: reads the current rowset's concurrency values again (after the cursor's
// own update, which the next comparison must not take for another user's).
uint32_t SCS_KeysetValuesRefresh(SCS_Cursor* s);
// Values concurrency: reads every concurrency value of the rowset again (its rows were just read
// anew, by bookmark); a static cursor keeps its snapshot's.
uint32_t SCS_KeysetValuesReread(SCS_Cursor* s);

// Static cursors with lock or values concurrency: their keys are read at execute and their
// snapshot by those keys (row i the row of key row i), so that row changes name each row.
bool SCS_KeysetStatic(const SCS_Cursor* s);
uint32_t SCS_KeysetStaticFill(SCS_Cursor* s);
// Lays what the cursor's own updates gave them over rows of the snapshot read from row `first`
// (0-based) on; 0 or a code.
uint32_t SCS_KeysetStaticRows(SCS_Cursor* s, uint32_t first, Dataset* rows);
// The status of snapshot row `row` (1-based) as the row changes left it.
uint16_t SCS_KeysetStaticStatus(const SCS_Cursor* s, uint32_t row);
