// Row-change state of the cursors that name rows by keys: the context a positioned change or a
// bulk operation works from, the rowset keys and statuses mixed and dynamic cursors keep for it,
// and the concurrency values values concurrency compares.
#include <sql.h>
#include <sqlext.h>

#include <vector>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-log.h"
#include "scrs/ks.h"
#include "scrs/sc_bykeys.h"
#include "scrs/sc_catalog.h"
#include "scrs/sc_dynamic.h"
#include "scrs/sc_s.h"
#include "scrs/sc_setpos.h"
#include "util/rowset.h"
#include "util/scrarray.h"
#include "util/trymem.h"

using namespace scs_bykeys;

namespace {

// Values concurrency of a keyset-driven cursor: the values of the rowset's rows read again, all
// of them (a new rowset by bookmark) or those the cursor updated itself.
uint32_t RowsetValuesRead(SCS_Cursor* s, SCS_KsState* st, bool all) {
    SCS_Cursor& c = *s;
    if (c.cursorType == SQL_CURSOR_STATIC) return all ? 0 : StaticRefresh(s, st);
    // Only the rows this cursor updated take their new values: another user's change to any
    // other row must still be found when that row is changed.
    Dataset* kept = st->values;
    if (kept == nullptr && !all) return 0;
    st->values = nullptr;
    uint32_t rc = 0;
    if (RowsetNamed(c)) {
        if (st->rowsetKeys != nullptr) rc = scs_p_GetOptConcColVals(s, st, st->rowsetKeys, 0, st->rowsetRows);
        for (uint32_t i = 0;
             rc == 0 && !all && st->values != nullptr && st->rowsetStatuses != nullptr && i < st->rowsetRows; ++i)
            if (st->rowsetStatuses[i] == SQL_ROW_UPDATED && i < kept->rows_used && i < st->values->rows_used)
                rc = uint32_t(DatasetCopyRow(kept, st->values, i, i, 0));
    } else if (st->ks != nullptr) {
        std::vector<uint32_t> rows;
        Dataset* picked = nullptr;
        rc = RowsetKeyRows(c, st->ks, &rows);
        if (rc == 0) rc = PickKeyRows(st->ks, rows, &picked);
        if (rc == 0 && picked != nullptr) rc = scs_p_GetOptConcColVals(s, st, picked, 0, uint32_t(rows.size()));
        if (picked) DatasetDelete(picked);
        if (rc == 0 && !all && st->values != nullptr)
            rc = CopyUpdated(kept, st->values, rows, st->ks->statuses, [](uint32_t i) { return i; });
    }
    if (all) {
        if (kept) DatasetDelete(kept);
        return rc;
    }
    if (st->values) DatasetDelete(st->values);
    st->values = kept;
    return rc;
}

}  // namespace

namespace scs_bykeys {

// What the last rowset left for row changes: its concurrency values and (mixed) its keys.
void DropRowChangeState(SCS_KsState* st) {
    if (st->values) DatasetDelete(st->values);
    st->values = nullptr;
    if (st->rowsetKeys) DatasetDelete(st->rowsetKeys);
    st->rowsetKeys = nullptr;
    TryFree(st->rowsetStatuses);
    st->rowsetStatuses = nullptr;
    st->rowsetRows = 0;
    st->staticValueFrom.clear();
    KS_KeysetFree(&st->staticValues);
    if (st->ownRows) DatasetDelete(st->ownRows);
    if (st->ownValues) DatasetDelete(st->ownValues);
    st->ownRows = st->ownValues = nullptr;
    st->ownAt.clear();
}

// The column lists row changes and values concurrency name: every column of the tables, and
// the base column of each select-list item.
uint32_t EnsureChangeCols(SCS_KsState* st) {
    SCS_DescCtx& ctx = st->ctx;
    if (ctx.selectCols != nullptr) return 0;
    ctx.tableCols = SCR_ArrayCreate(sizeof(ColDesc));
    ctx.selectCols = SCR_ArrayCreate(sizeof(ColDesc));
    uint32_t rc = ctx.tableCols && ctx.selectCols ? 0u : uint32_t(kErrNoMemory);
    if (rc == 0) rc = scs_p_GetTblColDescs(&ctx, ctx.tables, ctx.tables->count, 0, ctx.tableCols);
    if (rc == 0) rc = scs_p_SelectColsGet(&ctx, ctx.selectCols, nullptr);
    if (rc == 0) rc = scs_p_SelectCol_ColDescComplete(&ctx);
    if (rc != 0) {
        SCR_ArrayFree(&ctx.tableCols, nullptr);
        SCR_ArrayFree(&ctx.selectCols, nullptr);
    }
    return rc;
}

// Values concurrency: the concurrency columns of key rows k0 .. k0 + n - 1 as they are now, one
// row per rowset row (a row gone since gets NULLs), compared again when the row is changed.
uint32_t scs_p_GetOptConcColVals(SCS_Cursor* s, SCS_KsState* st, const Dataset* keys, uint32_t k0, uint32_t n) {
    if (st->values) DatasetDelete(st->values);
    st->values = nullptr;
    if (n == 0) return 0;
    if (uint32_t rc = EnsureChangeCols(st)) return rc;
    if (uint32_t rc = EnsureAux(s->agentConn, &st->aux5)) return rc;
    auto* values = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
    auto* scratch = static_cast<uint16_t*>(TryCalloc(n, sizeof(uint16_t)));
    uint32_t rc = values && scratch ? 0u : uint32_t(kErrNoMemory);
    if (rc == 0 && DatasetInit(values, 0) != 0) rc = kErrNoMemory;
    if (rc == 0) rc = KS_GetKeyBlocks(s, st, keys, k0, n, ValuesRead(st), values, scratch);
    TryFree(scratch);
    if (rc != 0) {
        if (values) DatasetDelete(values);
        IngLog(LOGL_ERROR, "scs_p_GetOptConcColVals: Could not fill optimistic concurrency values cache");
        return rc;
    }
    st->values = values;
    return 0;
}

// A mixed or dynamic cursor's row changes name the rows of its rowset (key rows w .. w + count - 1
// of keys): their keys and statuses are kept here, the rows are locked or their concurrency values
// read as for keyset-driven cursors.
uint32_t RowsetChangeState(SCS_Cursor* s, SCS_KsState* st, const Dataset* keys, uint32_t w, uint32_t count,
                           const Rowset* rs) {
    DropRowChangeState(st);
    SCS_Cursor& c = *s;
    if (c.concurrency == SQL_CONCUR_READ_ONLY || count == 0 || scs_p_CheckShape(st->shape) != 0) return 0;
    const uint16_t keyCount = uint16_t(st->ctx.keyCols->count);
    uint32_t rc = KeyRowsOnly(keys, w, count, keyCount, &st->rowsetKeys);
    if (rc != 0) return rc;
    if (st->rowsetKeys == nullptr) return kErrGeneral;
    st->rowsetStatuses = static_cast<uint16_t*>(TryCalloc(count, sizeof(uint16_t)));
    if (st->rowsetStatuses == nullptr) return kErrNoMemory;
    for (uint32_t i = 0; i < count; ++i) st->rowsetStatuses[i] = rs->statuses[i];
    st->rowsetRows = count;
    if (c.concurrency == SQL_CONCUR_VALUES) return scs_p_GetOptConcColVals(s, st, st->rowsetKeys, 0, count);
    if (!LocksByUpdate(c)) return 0;
    SCS_RowChange rc2{};
    rc = SCS_KeysetRowChange(s, &rc2);
    if (rc == 0) rc = scs_p_LockRows(&rc2, 0, count);
    if (rc != 0 && rc2.changeStmt) scs_p_MoveMessages(rc2.changeStmt, s->agentStmt);
    return rc;
}

// The key-set rows (0-based) of the rowset the cursor fetched last: those a fetch by bookmark
// named, else the rows from rowsetFirst on.
uint32_t RowsetKeyRows(const SCS_Cursor& c, const KS_KeysetRecord* ks, std::vector<uint32_t>* rows) {
    rows->clear();
    const CursorWindow& w = c.window;
    if (w.rowBookmarks() != nullptr) {
        for (uint32_t i = 0; i < w.rowBookmarkCount(); ++i) {
            if (w.rowBookmarks()[i] == 0 || w.rowBookmarks()[i] > ks->count) return kErrGeneral;
            rows->push_back(w.rowBookmarks()[i] - 1);
        }
        return 0;
    }
    const uint32_t first = w.rowsetFirst() ? w.rowsetFirst() - 1 : 0;
    const uint32_t size = w.PosRowsetSize(c.rowsetSize);
    for (uint32_t r = first; r < ks->count && r - first < size; ++r) rows->push_back(r);
    return 0;
}

// Copies of the listed key rows, in list order, with every column the key set keeps.
uint32_t PickKeyRows(KS_KeysetRecord* ks, const std::vector<uint32_t>& rows, Dataset** out) {
    *out = nullptr;
    uint32_t rc = 0;
    for (uint32_t i = 0; rc == 0 && i < rows.size(); ++i) {
        uint32_t row0 = 0;
        rc = KS_KeysetRows(ks, rows[i], 1, &row0);
        if (rc == 0 && *out == nullptr) rc = uint32_t(DatasetCreateLike(out, ks->keys, uint32_t(rows.size())));
        if (rc == 0) rc = uint32_t(DatasetCopyRow(*out, ks->keys, i, row0, 0));
    }
    if (rc != 0) {
        if (*out) DatasetDelete(*out);
        *out = nullptr;
        return rc;
    }
    if (*out) (*out)->rows_used = uint32_t(rows.size());
    return 0;
}

}  // namespace scs_bykeys

uint32_t SCS_KeysetRowChange(SCS_Cursor* s, SCS_RowChange* out) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready || out == nullptr) return kErrNotCapable;
    SCS_Cursor& c = *s;
    // A read-only cursor's context serves reading rows by bookmark; its users change nothing
    // through it.
    if ((c.cursorType != SQL_CURSOR_KEYSET_DRIVEN && c.cursorType != SQL_CURSOR_STATIC &&
         c.cursorType != SQL_CURSOR_DYNAMIC) ||
        (c.concurrency != SQL_CONCUR_LOCK && c.concurrency != SQL_CONCUR_VALUES &&
         c.concurrency != SQL_CONCUR_READ_ONLY))
        return kErrNotCapable;
    const bool mixed = RowsetNamed(c);
    const bool dynamic = c.cursorType == SQL_CURSOR_DYNAMIC;
    const bool isStatic = c.cursorType == SQL_CURSOR_STATIC;
    KS_KeysetRecord* ks = st->ks;
    SCS_DescCtx& ctx = st->ctx;
    if (ks == nullptr || ctx.keyCols == nullptr) return kErrNotCapable;
    if (!mixed && (ks->statuses == nullptr || ks->keys->col_count != ctx.keyCols->count)) return kErrNotCapable;
    const uint32_t conn = c.agentConn;
    if (uint32_t rc = EnsureAux(conn, &st->aux3)) return rc;
    if (uint32_t rc = EnsureAux(conn, &st->aux4)) return rc;
    if (uint32_t rc = EnsureChangeCols(st)) return rc;
    *out = SCS_RowChange{};
    out->desc = &ctx;
    out->changeStmt = st->aux3;
    out->fetchStmt = st->aux4;
    if (uint32_t rc = scs_p_ResultColsLoad(&c)) return rc;
    out->resultCols = c.resultDescs;
    out->resultCount = c.resultDescCount;
    out->cursorType = isStatic ? SQL_CURSOR_STATIC : dynamic ? SQL_CURSOR_DYNAMIC : SQL_CURSOR_KEYSET_DRIVEN;
    out->concurrency = c.concurrency;
    // The rows of the last fetch: a rowset size set since names no rows.
    const uint32_t fetchedSize = c.window.PosRowsetSize(c.rowsetSize);
    out->rowsetSize = fetchedSize;
    out->stmtText = st->text;
    out->keptParams = (c.layerFlags & kScsLParamsKept) ? c.keptParams : nullptr;
    out->forUpdate = ForUpdate(c, st->shape) ? 1 : 0;
    out->values = st->values;
    out->compareMode = 1;
    // A dynamic cursor also keeps its own update from reading as another user's at the next fetch.
    out->refreshValues = dynamic ? SCS_DynamicAfterUpdate
                         : c.concurrency == SQL_CONCUR_VALUES || c.cursorType == SQL_CURSOR_STATIC
                             ? SCS_KeysetValuesRefresh
                             : nullptr;
    out->rereadValues = c.concurrency == SQL_CONCUR_VALUES && !isStatic && !mixed ? SCS_KeysetValuesReread : nullptr;
    if (mixed) {
        // The window's rows beyond the rowset are not the application's to name.
        if (st->rowsetKeys == nullptr || st->rowsetStatuses == nullptr) return kErrNotCapable;
        out->rowsetOrigin = 1;
        out->keyStatus = st->rowsetStatuses;
        out->keysetRows = st->rowsetRows;
        out->keyValues = st->rowsetKeys;
        out->keyOrigin = 0;
        return 0;
    }
    out->rowsetOrigin = c.window.rowsetFirst() ? c.window.rowsetFirst() : 1;
    // After a fetch by bookmark each rowset row is the row its bookmark names (rows of the
    // rowset fetched before it).
    if (c.window.rowBookmarks() != nullptr) {
        out->rowBookmarks = c.window.rowBookmarks();
        out->rowBookmarkCount = c.window.rowBookmarkCount();
        out->rowsetSize = c.window.rowBookmarkCount() ? c.window.rowBookmarkCount() : 1;
    }
    // A keyset-driven cursor's values are the rowset's; a static one's are the snapshot's, made
    // present for the rowset (from valuesOrigin on).
    out->valuesOrigin = out->rowsetOrigin - 1;
    out->keyStatus = ks->statuses;
    out->keysetRows = ks->count;
    // The fetched rowset's keys are made present; a key set on file holds them from keyOrigin on.
    const uint32_t first = out->rowsetOrigin - 1;
    if (first < ks->count) {
        const uint32_t n = ks->count - first < fetchedSize ? ks->count - first : fetchedSize;
        uint32_t row0 = 0;
        if (uint32_t rc = KS_KeysetRows(ks, first, n, &row0)) return rc;
        if (row0 > first) return kErrGeneral;
        out->keyOrigin = first - row0;
        if (isStatic && !st->staticValueFrom.empty()) {
            if (uint32_t rc = StaticValuesWindow(s, st, first, n, &out->values, &out->valuesOrigin)) return rc;
        }
    }
    out->keyValues = ks->keys;
    return 0;
}

uint32_t SCS_KsRowsetChange(SCS_Cursor* s, const Dataset* keys, uint32_t count, const Rowset* rs) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready || keys == nullptr || rs == nullptr) return kErrCursorState;
    return RowsetChangeState(s, st, keys, 0, count, rs);
}

void SCS_KsRowsetChangeDrop(SCS_Cursor* s) {
    if (SCS_KsState* st = StateOf(s)) DropRowChangeState(st);
}

uint32_t SCS_KsRowsetUpdated(SCS_Cursor* s, Dataset** keys, Dataset* rows) {
    *keys = nullptr;
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    if (st->rowsetKeys == nullptr || st->rowsetStatuses == nullptr) return 0;
    uint32_t n = 0;
    for (uint32_t i = 0; i < st->rowsetRows; ++i) n += st->rowsetStatuses[i] == SQL_ROW_UPDATED;
    if (n == 0) return 0;
    Dataset* picked = nullptr;
    if (int rc = DatasetCreateLike(&picked, st->rowsetKeys, n)) return uint32_t(rc);
    uint32_t at = 0, rc = 0;
    for (uint32_t i = 0; rc == 0 && i < st->rowsetRows; ++i)
        if (st->rowsetStatuses[i] == SQL_ROW_UPDATED) rc = uint32_t(DatasetCopyRow(picked, st->rowsetKeys, at++, i, 0));
    auto* scratch = static_cast<uint16_t*>(TryCalloc(n, sizeof(uint16_t)));
    if (rc == 0 && scratch == nullptr) rc = kErrNoMemory;
    if (rc == 0) {
        picked->rows_used = n;
        rc = KS_GetKeyBlocks(s, st, picked, 0, n, RowsRead(st), rows, scratch);
    }
    // A row gone since the update has no content to keep a version of.
    for (uint32_t i = 0; rc == 0 && i < n; ++i)
        if (scratch[i] == SQL_ROW_DELETED)
            rc = IngTellStmtCause(s->agentStmt, kErrGeneral,
                                  "a row the cursor updated was deleted before its new version could be kept");
    TryFree(scratch);
    if (rc != 0) {
        DatasetDelete(picked);
        DatasetFree(rows);
        return rc;
    }
    *keys = picked;
    return 0;
}

uint32_t SCS_KeysetValuesRefresh(SCS_Cursor* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    return RowsetValuesRead(s, st, false);
}

uint32_t SCS_KeysetValuesReread(SCS_Cursor* s) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    return RowsetValuesRead(s, st, true);
}
