// Static cursors with lock or values concurrency: one read at execute gives every row with its
// keys (and, under values concurrency, the values compared when it is changed), so that snapshot
// row i is the row of key row i and row changes name each row; the snapshot, the keys and the
// values are kept as a read-only static cursor keeps its rows, on file past the memory rows. The
// cursor's own updates show in the snapshot.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-info.h"
#include "scrs/ks.h"
#include "scrs/sc_bykeys.h"
#include "scrs/sc_fetchrows.h"
#include "scrs/sc_s.h"
#include "scrs/sc_setpos.h"
#include "scrs/ss.h"
#include "util/scrarray.h"
#include "util/trymem.h"

using namespace scs_bykeys;

namespace {

constexpr uint32_t kStaticChunk = 500;  // key rows locked at a time

// Moves the last n columns of src into *out (made), which then holds src's rows of them.
uint32_t TakeLastColumns(Dataset* src, uint16_t n, Dataset* out) {
    if (n == 0 || src->col_count < n) return kErrGeneral;
    if (DatasetInit(out, n) != 0) return kErrNoMemory;
    const uint16_t from = uint16_t(src->col_count - n);
    for (uint16_t i = 0; i < n; ++i) {
        out->cols[i] = src->cols[from + i];
        src->cols[from + i].data = nullptr;
        src->cols[from + i].indicators = nullptr;
    }
    out->col_count = n;
    out->rows_alloc = src->rows_alloc;
    out->rows_used = src->rows_used;
    src->col_count = from;
    return 0;
}

// Keeps a block of rows as the dataset cache keeps a result it reads: in memory up to its memory
// rows, then on its files, where the rows written leave memory. part is left empty.
uint32_t KeepRows(DSC* cache, Dataset* all, Dataset* part) {
    const uint32_t rc = scs_p_AppendRows(all, part);
    return rc != 0 ? rc : DSC_Spill(cache, all);
}

// The rows kept, once the read ended: those on file are counted there and read back by windows.
void KeptAll(DSC* cache, uint32_t total, int32_t* origin) {
    if (cache->state == kDscOnFile) cache->rows = total;
    cache->size = 0;
    *origin = cache->state == kDscOnFile ? -1 : 0;
}

bool CommitsAtOnce(uint32_t conn) {
    uint32_t on = 0;
    uint16_t len = 0;
    return AgentCall<DRV_GetInfo>(Lower(), conn, kPropAutocommit, &on, uint16_t(4), &len) == 0 && on != 0;
}

// Where each table column's values come from under values concurrency: the select-list column
// that is that very column, else a column read beside the select list (listed in *extra).
uint32_t ValueSources(const SCS_Cursor& c, SCS_KsState* st, std::vector<uint32_t>* extra) {
    const SCR_Array* table = st->ctx.tableCols;
    // Select-list items stand for the result's columns one by one.
    const SCR_Array* select =
        st->ctx.selectCols && st->ctx.selectCols->count == c.resultDescCount ? st->ctx.selectCols : nullptr;
    if (table == nullptr || table->count == 0) return kErrGeneral;
    st->staticValueFrom.assign(table->count, 0);
    extra->clear();
    for (uint32_t j = 0; j < table->count; ++j) {
        const auto* t = static_cast<const ColDesc*>(SCR_ArrayAt(table, j));
        int32_t from = -1;
        for (uint32_t i = 0; select != nullptr && i < select->count && from < 0; ++i) {
            const auto* cd = static_cast<const ColDesc*>(SCR_ArrayAt(select, i));
            if (!scs_p_IsExpressionColumn(cd) && cd->column[0] != 0 && std::strcmp(cd->column, t->column) == 0)
                from = int32_t(i);
        }
        if (from < 0) {
            from = -1 - int32_t(extra->size());
            extra->push_back(j);
        }
        st->staticValueFrom[j] = from;
    }
    return 0;
}

// What the cursor's own update gave key-set row k: its row (and values) read again, kept beside
// the snapshot, whose files keep the rows as they were read.
uint32_t KeepOwn(SCS_KsState* st, uint32_t k, Dataset* row, uint32_t r, Dataset* values, uint32_t vr) {
    auto put = [](Dataset** own, Dataset* src, uint32_t at, uint32_t from) -> uint32_t {
        if (*own != nullptr && at < (*own)->rows_used) return uint32_t(DatasetCopyRow(*own, src, at, from, 0));
        Dataset* one = nullptr;
        if (int rc = DatasetCreateLike(&one, src, 1)) return uint32_t(rc);
        uint32_t rc = uint32_t(DatasetCopyRow(one, src, 0, from, 0));
        if (rc == 0 && *own == nullptr) {
            *own = one;
            return 0;
        }
        if (rc == 0) rc = scs_p_AppendRows(*own, one);
        DatasetDelete(one);
        return rc;
    };
    const auto found = st->ownAt.find(k);
    const uint32_t at = found != st->ownAt.end() ? found->second : (st->ownRows ? st->ownRows->rows_used : 0);
    uint32_t rc = put(&st->ownRows, row, at, r);
    if (rc == 0 && values != nullptr) rc = put(&st->ownValues, values, at, vr);
    if (rc == 0) st->ownAt[k] = at;
    return rc;
}

// Lays what the cursor's own updates gave rows first .. first + n - 1 over those rows of ds.
uint32_t ApplyOwn(const SCS_KsState* st, Dataset* own, uint32_t first, uint32_t n, Dataset* ds, uint32_t dsFirst) {
    if (own == nullptr || st->ownAt.empty()) return 0;
    for (uint32_t i = 0; i < n && dsFirst + i < ds->rows_used; ++i) {
        const auto found = st->ownAt.find(first + i);
        if (found == st->ownAt.end()) continue;
        if (int rc = DatasetCopyRow(ds, own, dsFirst + i, found->second, 0)) return uint32_t(rc);
    }
    return 0;
}

}  // namespace

namespace scs_bykeys {

// A static cursor's own updates show in its snapshot: the rowset's rows it updated (and, under
// values concurrency, their values) are read again by their keys and kept beside the snapshot.
uint32_t StaticRefresh(SCS_Cursor* s, SCS_KsState* st) {
    SCS_Cursor& c = *s;
    KS_KeysetRecord* ks = st->ks;
    if (ks == nullptr || c.staticSet == nullptr || ks->statuses == nullptr) return 0;
    std::vector<uint32_t> rows;
    uint32_t rc = RowsetKeyRows(c, ks, &rows);
    if (rc != 0) return rc;
    rows.erase(std::remove_if(rows.begin(), rows.end(), [&](uint32_t k) { return ks->statuses[k] != SQL_ROW_UPDATED; }),
               rows.end());
    if (rows.empty()) return 0;
    Dataset* picked = nullptr;
    if ((rc = PickKeyRows(ks, rows, &picked)) != 0 || picked == nullptr) return rc;
    const uint32_t n = uint32_t(rows.size());
    auto* scratch = static_cast<uint16_t*>(TryCalloc(n, sizeof(uint16_t)));
    Dataset fresh{}, values{};
    rc = scratch ? KS_GetKeyBlocks(s, st, picked, 0, n, RowsRead(st), &fresh, scratch) : uint32_t(kErrNoMemory);
    const bool byValues = rc == 0 && !st->staticValueFrom.empty();
    if (byValues) rc = KS_GetKeyBlocks(s, st, picked, 0, n, ValuesRead(st), &values, scratch);
    // A row gone since the update has no new content to show; its status says deleted.
    for (uint32_t i = 0; rc == 0 && i < n; ++i)
        if (scratch[i] != SQL_ROW_DELETED) rc = KeepOwn(st, rows[i], &fresh, i, byValues ? &values : nullptr, i);
    DatasetFree(&fresh);
    DatasetFree(&values);
    DatasetDelete(picked);
    TryFree(scratch);
    return rc;
}

uint32_t StaticValuesWindow(SCS_Cursor* s, SCS_KsState* st, uint32_t first, uint32_t n, const Dataset** values,
                            uint32_t* origin) {
    SCS_Cursor& c = *s;
    *values = nullptr;
    *origin = first;
    if (st->staticValueFrom.empty() || c.staticSet == nullptr || c.window.resultRows() < 0 ||
        first >= uint32_t(c.window.resultRows()))
        return 0;
    if (n > uint32_t(c.window.resultRows()) - first) n = uint32_t(c.window.resultRows()) - first;
    // The snapshot's rows (read where they are, the sequential read position kept) and the values
    // the select list lacks.
    Dataset* rows = nullptr;
    Dataset* extra = nullptr;
    const int32_t readPos = c.staticSet->readPos;
    uint32_t rc = SS_GetRows(c.staticSet, int32_t(first), n, &rows);
    c.staticSet->readPos = readPos;
    if (rc == 0 && (rows == nullptr || rows->rows_used != n)) rc = kErrGeneral;
    KS_KeysetRecord* vs = st->staticValues;
    if (rc == 0 && vs != nullptr) {
        uint32_t row0 = 0;
        rc = KS_KeysetRows(vs, first, n, &row0);
        if (rc == 0) rc = KeyRowsOnly(vs->keys, row0, n, vs->keys->col_count, &extra);
        if (rc == 0) extra->rows_used = n;
    }
    Dataset* out = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
    if (rc == 0 && (out == nullptr || DatasetInit(out, 0) != 0)) rc = kErrNoMemory;
    for (uint16_t j = 0; rc == 0 && j < st->staticValueFrom.size(); ++j) {
        const int32_t from = st->staticValueFrom[j];
        const Dataset* src = from >= 0 ? rows : extra;
        const uint16_t col = uint16_t(from >= 0 ? from : -1 - from);
        if (src == nullptr || col >= src->col_count) {
            rc = kErrGeneral;
            break;
        }
        rc = uint32_t(DatasetInsertColumn(out, j, src->cols[col].kind, src->cols[col].width));
        if (rc == 0) rc = uint32_t(DatasetCopyColumn(out, src, j, col));
    }
    if (rc == 0) rc = ApplyOwn(st, st->ownValues, first, n, out, 0);
    if (rows) DatasetDelete(rows);
    if (extra) DatasetDelete(extra);
    if (rc != 0) {
        if (out) DatasetDelete(out);
        return rc;
    }
    // The rowset's values, as a keyset-driven cursor keeps them.
    if (st->values) DatasetDelete(st->values);
    st->values = out;
    *values = out;
    return 0;
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
    KS_KeysetClear(ks);
    const bool byValues = c.concurrency == SQL_CONCUR_VALUES && scs_p_CheckShape(st->shape) == 0;
    // A lock taken with autocommit on ends with its own statement: it would hold nothing.
    const bool locks = LocksByUpdate(c) && scs_p_CheckShape(st->shape) == 0 && !CommitsAtOnce(c.agentConn);
    uint32_t rc = byValues ? EnsureChangeCols(st) : 0;
    if (rc == 0 && byValues) rc = EnsureAux(c.agentConn, &st->aux5);
    std::vector<uint32_t> extra;
    if (rc == 0 && byValues) rc = ValueSources(c, st, &extra);
    if (rc == 0 && !extra.empty()) rc = KS_KeysetInit(&st->staticValues);
    // One read of the statement gives each row with its keys (and the values compared when it
    // is changed that the select list lacks), so that snapshot row i is the row of key row i;
    // each part is kept as a static cursor keeps its rows, on file past the memory rows.
    std::string text;
    if (rc == 0) rc = SCS_StaticFillText(st->ctx, st->ordered, extra, &text);
    if (rc == 0 && ForUpdate(c, st->shape)) text += " FOR UPDATE";
    if (rc == 0) rc = RunOrdered(s, st, text.c_str(), 0, 0);
    const uint16_t keyCount = uint16_t(st->ctx.keyCols->count);
    const uint16_t valueCount = uint16_t(extra.size());
    KS_KeysetRecord* vs = st->staticValues;
    // The rows are read on a statement of the layer's own; the application's hears why they failed.
    c.staticSet->cache.owner = ks->cache.owner = s->agentStmt;
    if (vs != nullptr) vs->cache.owner = s->agentStmt;
    uint64_t total = 0;
    while (rc == 0) {
        Dataset block{}, keys{}, values{};
        rc = AgentCall<DRV_FetchRows>(Lower(), st->aux1, uint16_t(kDscFetchBlock), &block);
        const uint32_t n = rc == 0 ? block.rows_used : 0;
        if (n > 0 && block.col_count <= keyCount + valueCount) rc = kErrGeneral;
        if (rc == 0 && n > 0 && vs != nullptr) rc = TakeLastColumns(&block, valueCount, &values);
        if (rc == 0 && n > 0) rc = TakeLastColumns(&block, keyCount, &keys);
        if (rc == 0 && n > 0) rc = KeepRows(&c.staticSet->cache, c.staticSet->rows, &block);
        if (rc == 0 && n > 0) rc = KeepRows(&ks->cache, ks->keys, &keys);
        if (rc == 0 && n > 0 && vs != nullptr) rc = KeepRows(&vs->cache, vs->keys, &values);
        DatasetFree(&block);
        DatasetFree(&keys);
        DatasetFree(&values);
        total += n;
        if (total > UINT32_MAX)
            rc = IngTellStmtCause(s->agentStmt, kErrGeneral,
                                  "the result has more rows than a cursor can keep (4294967295)");
        if (n == 0) break;
    }
    (void)AgentCall<DRV_CloseCursor>(Lower(), st->aux1);
    if (rc == 0) {
        const uint32_t count = uint32_t(total);
        KeptAll(&c.staticSet->cache, count, &c.staticSet->origin);
        c.staticSet->readPos = 0;
        KeptAll(&ks->cache, count, &ks->origin);
        ks->count = count;
        if (vs != nullptr) {
            KeptAll(&vs->cache, count, &vs->origin);
            vs->count = count;
        }
        ks->statuses = static_cast<uint16_t*>(TryCalloc(count ? count : 1, sizeof(uint16_t)));
        if (ks->statuses == nullptr) rc = kErrNoMemory;
    }
    // A row id the back end answers with NULL names no row: changing by it would reach wrong rows.
    if (rc == 0 && total > 0) {
        uint32_t row0 = 0;
        rc = KS_KeysetRows(ks, 0, 1, &row0);
        bool allNull = rc == 0;
        for (uint16_t k = 0; rc == 0 && k < ks->keys->col_count && allNull; ++k)
            allNull = ks->keys->cols[k].indicators[row0] == DS_IND_NULL;
        if (rc == 0 && allNull) rc = kErrNoKeys;
    }
    // Lock concurrency: every row of the snapshot is locked until the transaction ends.
    for (uint32_t first = 0; rc == 0 && locks && first < ks->count; first += kStaticChunk) {
        const uint32_t n = ks->count - first < kStaticChunk ? ks->count - first : kStaticChunk;
        SCS_RowChange change{};
        const CursorWindow before = c.window;
        c.window.ViewRows(first + 1, n);
        rc = SCS_KeysetRowChange(s, &change);
        if (rc == 0) rc = scs_p_LockRows(&change, first, n);
        c.window = before;
        if (rc != 0 && change.changeStmt) scs_p_MoveMessages(change.changeStmt, c.agentStmt);
    }
    if (rc != 0) {
        SCS_StaticSetReset(c.staticSet);
        DropRowChangeState(st);
        KS_KeysetClear(ks);
        return rc;
    }
    c.window.SetResultRows(int32_t(ks->count));
    return 0;
}

uint32_t SCS_KeysetStaticRows(SCS_Cursor* s, uint32_t first, Dataset* rows) {
    const SCS_KsState* st = StateOf(s);
    if (st == nullptr || rows == nullptr) return 0;
    return ApplyOwn(st, st->ownRows, first, rows->rows_used, rows, 0);
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
