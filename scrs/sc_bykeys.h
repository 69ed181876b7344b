// The key-set state of a statement whose rows are named by their keys (keyset-driven, mixed,
// dynamic and updatable static cursors), and the steps those cursors share. Only the cursor
// layer's files that work on that state include this.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "scrs/sc_keyset.h"
#include "util/dataset.h"
#include "util/errtable.h"

struct AgentLink;

// Held by the statement's cursor block (its ksState) from the first set-up at prepare to its release.
struct SCS_KsState {
    KS_KeysetRecord* ks = nullptr;
    SCS_DescCtx ctx{};
    SCR_Analysis own{};  // the statement as set up
    SCR_Array* tables = nullptr;
    char* text = nullptr;     // the statement text as set up (ORDER BY positions resolved)
    char* ordered = nullptr;  // the text ordered by its ORDER BY and then the keys
    uint32_t aux1 = 0;        // key sets and seeks
    uint32_t aux2 = 0;        // fetches by keys
    uint32_t aux3 = 0;        // row changes and row locks
    uint32_t aux4 = 0;        // fetches by bookmark
    uint32_t shape = 0;
    int ready = 0;
    uint32_t paramLimit = 0;
    uint32_t ownParams = 0;
    char quote = 0;
    uint16_t maxOrderCols = 0;
    // The fetch-by-keys statement prepared on aux2.
    int fetchPrepared = 0;
    uint32_t fetchPerBlock = 0;
    uint32_t fetchBefore = 0;
    // Cached result-column count of the statement.
    int described = 0;
    uint16_t resultCols = 0;
    // Mixed cursors: the key window.
    int32_t windowState = -6;
    uint32_t st = 0;          // 1-based rowset start within the window
    uint32_t windowSize = 0;  // keyset size the window was read with
    bool atStart = false;     // the window begins at the result's first row
    bool atEnd = false;       // the window ends at the result's last row
    int64_t windowAt = 0;     // the result row (from 1) of window row 0
    uint32_t maxRows = 0;     // SQL_ATTR_MAX_ROWS as the statement ran
    // Values concurrency: the concurrency columns of the rowset's rows, read by keys on aux5.
    uint32_t aux5 = 0;
    int valuesPrepared = 0;
    uint32_t valuesPerBlock = 0;
    uint32_t valuesBefore = 0;
    Dataset* values = nullptr;  // row i: rowset row i
    // Mixed cursors: the rowset's keys (key columns only) and statuses, which row changes name.
    Dataset* rowsetKeys = nullptr;
    uint16_t* rowsetStatuses = nullptr;
    uint32_t rowsetRows = 0;
    // Updatable static cursors under values concurrency: where each table column's values come
    // from (>= 0: that snapshot column; -1 - i: column i of staticValues, the values the select
    // list lacks, kept as the keys are); and what the cursor's own updates gave rows of its
    // snapshot (row ownAt[k] of ownRows and ownValues for key-set row k), which the snapshot's
    // files keep as they were read.
    std::vector<int32_t> staticValueFrom;
    KS_KeysetRecord* staticValues = nullptr;
    Dataset* ownRows = nullptr;
    Dataset* ownValues = nullptr;
    std::unordered_map<uint32_t, uint32_t> ownAt;
};

namespace scs_bykeys {

// Cursor kinds and how they lock (sc_bykeys.cpp).
bool Mixed(const SCS_Cursor& c);
bool RowsetNamed(const SCS_Cursor& c);
bool ForUpdate(const SCS_Cursor& c, uint32_t shape);
bool LocksByUpdate(const SCS_Cursor& c);

// Generated statements: markers, analyses and edits (sc_bykeys.cpp).
uint32_t CountMarkers(const char* text, const char* stop);
uint32_t Analyse(SCR_Analysis* a, const char* text);
uint32_t ListMarkers(const char* text, uint32_t* pre, uint32_t* count);
uint32_t WhereMarkers(const char* text, uint32_t* before);

// The statement, its lower statements and their parameters (sc_bykeys.cpp).
SCS_KsState* StateOf(const SCS_Cursor* s);
const AgentLink* Lower();
// Allocates the lower statement *aux once; 0, or the allocation's code.
uint32_t EnsureAux(uint32_t conn, uint32_t* aux);
uint32_t GiveParams(uint32_t stmt, Dataset* params);
uint32_t OwnValues(const SCS_Cursor* s, uint32_t dropAt, uint32_t dropCount, Dataset** out);
uint32_t KeyRowsOnly(const Dataset* src, uint32_t first, uint32_t n, uint16_t keyCount, Dataset** out);

// Runs a text made from the statement's ordered text on aux1 with the statement's own values
// (those of the dropCount markers from dropAt, which the text left out, dropped) and its maximum
// rows (sc_keyset.cpp).
uint32_t RunOrdered(SCS_Cursor* s, SCS_KsState* st, const char* text, uint32_t dropAt, uint32_t dropCount);

// Rows read by blocks of keys (sc_bykeys.cpp). What a read by keys selects and where it runs: the
// statement's own select list on aux2, or the concurrency columns of values concurrency on aux5.
struct ByKeys {
    uint32_t aux;
    int* prepared;
    uint32_t* perBlock;
    uint32_t* before;
    bool values;
};

ByKeys RowsRead(SCS_KsState* st);
ByKeys ValuesRead(SCS_KsState* st);
uint32_t KS_GetKeyBlocks(SCS_Cursor* s, SCS_KsState* st, const Dataset* keys, uint32_t k0, uint32_t n, const ByKeys& by,
                         Dataset* out, uint16_t* statuses);
uint32_t FetchByKeys(SCS_Cursor* s, SCS_KsState* st, const Dataset* keys, uint32_t k0, uint32_t n, Rowset* rs);

// What row changes name and compare (sc_rowchange.cpp).
void DropRowChangeState(SCS_KsState* st);
uint32_t EnsureChangeCols(SCS_KsState* st);
uint32_t scs_p_GetOptConcColVals(SCS_Cursor* s, SCS_KsState* st, const Dataset* keys, uint32_t k0, uint32_t n);
uint32_t RowsetChangeState(SCS_Cursor* s, SCS_KsState* st, const Dataset* keys, uint32_t w, uint32_t count,
                           const Rowset* rs);
uint32_t RowsetKeyRows(const SCS_Cursor& c, const KS_KeysetRecord* ks, std::vector<uint32_t>* rows);
uint32_t PickKeyRows(KS_KeysetRecord* ks, const std::vector<uint32_t>& rows, Dataset** out);

// Copies the rows of fresh whose key-set status says updated over the rows of kept: row i of
// fresh is key-set row rows[i], kept at keptRow(i).
template <class At>
uint32_t CopyUpdated(Dataset* kept, const Dataset* fresh, const std::vector<uint32_t>& rows, const uint16_t* statuses,
                     At keptRow) {
    for (uint32_t i = 0; i < rows.size() && i < fresh->rows_used; ++i) {
        if (statuses[rows[i]] != SQL_ROW_UPDATED) continue;
        const uint32_t at = keptRow(i);
        if (kept == nullptr || at >= kept->rows_used) return kErrGeneral;
        if (int rc = DatasetCopyRow(kept, const_cast<Dataset*>(fresh), at, i, 0)) return uint32_t(rc);
    }
    return 0;
}

// A static cursor's own updates in its snapshot (sc_statickeys.cpp).
uint32_t StaticRefresh(SCS_Cursor* s, SCS_KsState* st);
// The values of key-set rows first .. first + n - 1 of an updatable static cursor made present
// (its own updates' included), one column per table column: *values holds key-set row *origin in
// its row 0; null without values concurrency.
uint32_t StaticValuesWindow(SCS_Cursor* s, SCS_KsState* st, uint32_t first, uint32_t n, const Dataset** values,
                            uint32_t* origin);

}  // namespace scs_bykeys
