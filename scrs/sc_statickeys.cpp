// Static cursors with lock or values concurrency: their keys are read at execute and their
// snapshot by those keys (row i the row of key row i), so that row changes name each row and the
// cursor's own updates show in it.
#include <sql.h>
#include <sqlext.h>

#include <vector>

#include "scrs/sc_bykeys.h"
#include "scrs/sc_fetchrows.h"
#include "scrs/sc_s.h"
#include "scrs/sc_setpos.h"
#include "scrs/ss.h"
#include "util/trymem.h"

using namespace scs_bykeys;

namespace {

constexpr uint32_t kStaticChunk = 500;  // key rows read by keys at a time

}  // namespace

namespace scs_bykeys {

// A static cursor's own updates show in its snapshot: the rowset's rows (and, under values
// concurrency, their values) are read again by their keys; snapshot row i is key-set row i.
uint32_t StaticRefresh(SCS_Cursor* s, SCS_KsState* st) {
    SCS_Cursor& c = *s;
    KS_KeysetRecord* ks = st->ks;
    if (ks == nullptr || c.staticSet == nullptr) return 0;
    std::vector<uint32_t> rows;
    Dataset* picked = nullptr;
    uint32_t rc = RowsetKeyRows(c, ks, &rows);
    if (rc == 0) rc = PickKeyRows(ks, rows, &picked);
    if (rc != 0 || picked == nullptr) return rc;
    const uint32_t n = uint32_t(rows.size());
    auto* scratch = static_cast<uint16_t*>(TryCalloc(n, sizeof(uint16_t)));
    if (scratch == nullptr) {
        DatasetDelete(picked);
        return kErrNoMemory;
    }
    const auto atKeyRow = [&rows](uint32_t i) { return rows[i]; };
    Dataset fresh{};
    rc = KS_GetKeyBlocks(s, st, picked, 0, n, RowsRead(st), &fresh, scratch);
    if (rc == 0) rc = CopyUpdated(c.staticSet->rows, &fresh, rows, ks->statuses, atKeyRow);
    DatasetFree(&fresh);
    if (rc == 0 && c.concurrency == SQL_CONCUR_VALUES && st->values != nullptr) {
        rc = KS_GetKeyBlocks(s, st, picked, 0, n, ValuesRead(st), &fresh, scratch);
        if (rc == 0) rc = CopyUpdated(st->values, &fresh, rows, ks->statuses, atKeyRow);
        DatasetFree(&fresh);
    }
    DatasetDelete(picked);
    TryFree(scratch);
    return rc;
}

}  // namespace scs_bykeys

bool SCS_KeysetStatic(const SCS_Cursor* s) {
    const SCS_KsState* st = StateOf(s);
    return st != nullptr && st->ready && s->cursorType == SQL_CURSOR_STATIC;
}

uint32_t SCS_KeysetStaticFill(SCS_Cursor* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    SCS_Cursor& c = *s;
    KS_KeysetRecord* ks = st->ks;
    if (c.staticSet == nullptr) {
        if (uint32_t rc = SCS_StaticSetCreate(&c.staticSet)) return rc;
    }
    SCS_StaticSetReset(c.staticSet);
    DropRowChangeState(st);
    const bool byValues = c.concurrency == SQL_CONCUR_VALUES && scs_p_CheckShape(st->shape) == 0;
    const bool locks = LocksByUpdate(c) && scs_p_CheckShape(st->shape) == 0;
    uint32_t rc = byValues ? EnsureChangeCols(st) : 0;
    if (rc == 0 && byValues) rc = EnsureAux(c.agentConn, &st->aux5);
    Dataset rows{}, values{};
    auto* scratch = static_cast<uint16_t*>(TryCalloc(kStaticChunk, sizeof(uint16_t)));
    if (rc == 0 && scratch == nullptr) rc = kErrNoMemory;
    // The snapshot is read by the keys, so that its row i is the row of key row i; a row gone
    // since the keys were read is a deleted one.
    for (uint32_t first = 0; rc == 0 && first < ks->count; first += kStaticChunk) {
        const uint32_t n = ks->count - first < kStaticChunk ? ks->count - first : kStaticChunk;
        uint32_t row0 = 0;
        if ((rc = KS_KeysetRows(ks, first, n, &row0)) != 0) break;
        Dataset part{};
        rc = KS_GetKeyBlocks(s, st, ks->keys, row0, n, RowsRead(st), &part, ks->statuses + first);
        if (rc == 0) rc = scs_p_AppendRows(&rows, &part);
        DatasetFree(&part);
        if (rc == 0 && byValues) {
            rc = KS_GetKeyBlocks(s, st, ks->keys, row0, n, ValuesRead(st), &part, scratch);
            if (rc == 0) rc = scs_p_AppendRows(&values, &part);
            DatasetFree(&part);
        }
        if (rc == 0 && locks) {
            SCS_RowChange change{};
            const uint32_t before = c.rowsetFirst, size = c.posRowsetSize;
            c.rowsetFirst = first + 1;
            c.posRowsetSize = n;
            rc = SCS_KeysetRowChange(s, &change);
            if (rc == 0) rc = scs_p_LockRows(&change, first, n);
            c.rowsetFirst = before;
            c.posRowsetSize = size;
            if (rc != 0 && change.changeStmt) scs_p_MoveMessages(change.changeStmt, c.agentStmt);
        }
    }
    TryFree(scratch);
    if (rc != 0) {
        DatasetFree(&rows);
        DatasetFree(&values);
        return rc;
    }
    DatasetFree(c.staticSet->rows);
    *c.staticSet->rows = rows;
    c.staticSet->origin = 0;
    c.staticSet->readPos = 0;
    if (byValues) {
        st->values = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
        if (st->values == nullptr) {
            DatasetFree(&values);
            return kErrNoMemory;
        }
        *st->values = values;
    }
    c.rowsFetched = int32_t(ks->count);
    return 0;
}

uint16_t SCS_KeysetStaticStatus(const SCS_Cursor* s, uint32_t row) {
    const SCS_KsState* st = StateOf(s);
    if (st == nullptr || st->ks == nullptr || st->ks->statuses == nullptr || row == 0 || row > st->ks->count)
        return SQL_ROW_SUCCESS;
    uint16_t& k = st->ks->statuses[row - 1];
    // A change or an error is told once; a deletion stays.
    if (k == SQL_ROW_UPDATED || k == SQL_ROW_ERROR) k = SQL_ROW_SUCCESS;
    return k;
}
