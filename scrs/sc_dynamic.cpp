// Dynamic cursors. A dynamic cursor has no key set: every fetch finds the keys of its new rowset
// by seeking from the first or last key of the rowset it has (in the statement's order extended
// by the keys), then reads the rows by those keys. A row deleted between the two reads sends the
// cursor back to the keys once more; rows inserted by others are found by the next seek.
#include "scrs/sc_dynamic.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <new>
#include <vector>

#include "drv_ingii/i-info.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_keyset.h"
#include "scrs/sc_rowver.h"
#include "util/dataset.h"
#include "util/errtable.h"
#include "util/md5.h"
#include "util/rowset.h"
#include "util/trymem.h"

namespace {

constexpr uint32_t kCapRowVersions = 0x2201000b;  // the data source's sensitivity is high
constexpr uint32_t kCapParamDescs = 0x22010002;   // descriptions go with every prepare
constexpr int kAttempts = 3;

const AgentLink* Lower() { return SCS_LowerLink(); }

uint32_t Rows(const Dataset& d) { return d.col_count ? d.rows_used : 0; }

SCS_DynState* StateOf(SCS_Cursor* s) { return s ? s->dynState : nullptr; }

uint32_t EnsureState(SCS_Cursor* s, SCS_DynState** out) {
    SCS_Cursor& c = *s;
    if (c.dynState == nullptr) {
        auto* st = static_cast<SCS_DynState*>(TryCalloc(1, sizeof(SCS_DynState)));
        if (st == nullptr) return kErrNoMemory;
        st->keys = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
        if (st->keys == nullptr) {
            TryFree(st);
            return kErrNoMemory;
        }
        c.dynState = st;
    }
    *out = c.dynState;
    return 0;
}

void DropKeys(SCS_DynState* st, int where) {
    DatasetFree(st->keys);
    st->where = where;
}

// Rows from..from + n - 1 of src (as many as there are) in place of *dst.
uint32_t TakeRows(Dataset* src, uint32_t from, uint32_t n, Dataset* dst) {
    const uint32_t have = Rows(*src);
    DatasetFree(dst);
    if (from == 0 && have <= n) {
        *dst = *src;
        *src = Dataset{};
        return 0;
    }
    const uint32_t count = from >= have ? 0 : (have - from < n ? have - from : n);
    Dataset* part = nullptr;
    if (int rc = DatasetCreateLike(&part, src, count ? count : 1)) return uint32_t(rc);
    for (uint32_t i = 0; i < count; ++i) {
        if (int rc = DatasetCopyRow(part, src, i, from + i, 0)) {
            DatasetDelete(part);
            return uint32_t(rc);
        }
    }
    part->rows_used = count;
    DatasetFree(src);
    *dst = *part;
    TryFree(part);
    return 0;
}

// The keys of the rowset that starts at key row `at` of `from`, itself included.
uint32_t ReadFrom(SCS_Cursor* s, const Dataset* from, uint32_t at, uint32_t n, Dataset* out) {
    return SCS_KsSeekKeys(s, SQL_FETCH_NEXT, 3, from, at, n, out);
}

// The first rowset's keys; kErrBeyondEnd for an empty result.
uint32_t First(SCS_Cursor* s, uint32_t n, Dataset* out) {
    if (uint32_t rc = SCS_KsSeekKeys(s, SQL_FETCH_FIRST, 0, nullptr, 0, n, out)) return rc;
    return Rows(*out) ? 0u : uint32_t(kErrBeyondEnd);
}

// The keys of the new rowset for an orientation, from where the cursor stands: 0, kErrBeforeStart (before the
// first row), 86 (after the last) or a failure.
uint32_t SeekTarget(SCS_Cursor* s, SCS_DynState* st, uint16_t orientation, int64_t offset, uint32_t n, Dataset* out) {
    const Dataset* cur = st->keys;
    const uint32_t k = st->where == kDynOnRowset ? Rows(*cur) : 0;
    const int where = k ? st->where : (st->where == kDynOnRowset ? kDynBefore : st->where);
    Dataset got{};
    uint32_t rc = 0;
    switch (orientation) {
        case SQL_FETCH_FIRST:
            return First(s, n, out);
        case SQL_FETCH_LAST:
            if ((rc = SCS_KsSeekKeys(s, SQL_FETCH_LAST, 0, nullptr, 0, n, out)) != 0) return rc;
            return Rows(*out) ? 0u : uint32_t(kErrBeforeStart);
        case SQL_FETCH_NEXT:
            if (where == kDynBefore) return First(s, n, out);
            if (where == kDynAfter) return kErrBeyondEnd;
            if ((rc = SCS_KsSeekKeys(s, SQL_FETCH_NEXT, 0, cur, k - 1, n, out)) != 0) return rc;
            return Rows(*out) ? 0u : uint32_t(kErrBeyondEnd);
        case SQL_FETCH_PRIOR:
            if (where == kDynBefore) return kErrBeforeStart;
            if (where == kDynAfter) return SeekTarget(s, st, SQL_FETCH_LAST, 0, n, out);
            if ((rc = SCS_KsSeekKeys(s, SQL_FETCH_PRIOR, 0, cur, 0, n, out)) != 0) return rc;
            if (Rows(*out) == 0) return kErrBeforeStart;
            // Fewer rows than a rowset lie before it: the rowset that starts at the first row.
            if (Rows(*out) < n) return First(s, n, out);
            return 0;
        case SQL_FETCH_RELATIVE:
            break;
        default:
            return kErrFetchTypeRange;
    }
    // A move of m rows back that finds only g < m rows: before the start when it is more than a
    // rowset, else the first rowset.
    auto shortOfStart = [&](int64_t m) -> uint32_t { return m > int64_t(n) ? kErrBeforeStart : First(s, n, out); };
    if (offset > 0xFFFFFFFFll - n || offset < -0xFFFFFFFFll) return kErrRowRange;
    if (where == kDynBefore) {
        if (offset <= 0) return kErrBeforeStart;
        // From before the start a move forward names a row counted from the first.
        const uint32_t o = uint32_t(offset);
        if ((rc = SCS_KsSeekKeys(s, SQL_FETCH_FIRST, 0, nullptr, 0, o, &got)) == 0) {
            rc = Rows(got) < o ? uint32_t(kErrBeyondEnd) : ReadFrom(s, &got, o - 1, n, out);
        }
        DatasetFree(&got);
        return rc;
    }
    if (where == kDynAfter) {
        if (offset >= 0) return kErrBeyondEnd;
        const uint32_t m = uint32_t(-offset);
        if ((rc = SCS_KsSeekKeys(s, SQL_FETCH_LAST, 0, nullptr, 0, m, &got)) == 0) {
            rc = Rows(got) < m ? shortOfStart(m) : ReadFrom(s, &got, 0, n, out);
        }
        DatasetFree(&got);
        return rc;
    }
    if (offset == 0) {
        // The current rowset again, from its first row.
        if ((rc = ReadFrom(s, cur, 0, n, out)) != 0) return rc;
        return Rows(*out) ? 0u : uint32_t(kErrBeyondEnd);
    }
    if (offset > 0) {
        const uint32_t o = uint32_t(offset);
        // Past the rowset's end the seek starts from its last key, else from its first.
        const uint32_t skip = o >= k ? o - k : o - 1;
        const uint32_t fromRow = o >= k ? k - 1 : 0;
        if ((rc = SCS_KsSeekKeys(s, SQL_FETCH_NEXT, 0, cur, fromRow, skip + n, &got)) == 0) {
            rc = Rows(got) <= skip ? uint32_t(kErrBeyondEnd) : TakeRows(&got, skip, n, out);
        }
        DatasetFree(&got);
        return rc;
    }
    const uint32_t m = uint32_t(-offset);
    if ((rc = SCS_KsSeekKeys(s, SQL_FETCH_PRIOR, 0, cur, 0, m, &got)) == 0) {
        const uint32_t g = Rows(got);
        if (g == 0)
            rc = kErrBeforeStart;
        else if (g < m)
            rc = shortOfStart(m);
        else if (m >= n)
            rc = TakeRows(&got, 0, n, out);
        else
            rc = ReadFrom(s, &got, 0, n, out);
    }
    DatasetFree(&got);
    return rc;
}

// The statuses of the rows read by keys and what row changes name: with row versions kept, a row
// another user changed since the cursor showed it reads updated (a row gone stays deleted); the
// rows are then locked, or their values kept to compare.
uint32_t RowsetCheck(SCS_Cursor* s, SCS_DynState* st, const Dataset* keys, uint32_t count, Rowset* rs) {
    SCS_Cursor& c = *s;
    uint32_t rc = 0;
    if (st->rowVer && c.rowVer.privateStmt != 0) {
        std::vector<uint16_t> before(rs->statuses, rs->statuses + count);
        Dataset* keyOnly = nullptr;
        rc = SCS_DynamicKeyColumns(keys, SCS_KsKeyCount(s), &keyOnly);
        if (rc == 0) rc = SCS_RowVerCheck(&c.rowVer, keyOnly, rs->data, rs->statuses);
        if (keyOnly) DatasetDelete(keyOnly);
        for (uint32_t i = 0; i < count; ++i)
            if (before[i] == SQL_ROW_DELETED) rs->statuses[i] = SQL_ROW_DELETED;
        if (rc != 0) return rc;
    }
    return SCS_KsRowsetChange(s, keys, count, rs);
}

// The rows of the rowset fetched last, read again by its keys (SQLSetPos's refresh): the fetch
// fixed which rows they are, so a row gone since is a deleted row of the rowset.
uint32_t RowsetAgain(SCS_Cursor* s, SCS_DynState* st, uint32_t n, Rowset** out) {
    const uint32_t count = st->where == kDynOnRowset ? Rows(*st->keys) : 0;
    if (count == 0 || count > n) return kErrCursorState;
    RowsetFree(out);
    uint32_t rc = RowsetCreate(out, int32_t(n));
    if (rc == 0) rc = SCS_KsFetchByKeys(s, st->keys, 0, count, *out);
    if (rc == 0) rc = RowsetCheck(s, st, st->keys, count, *out);
    if (rc != 0) RowsetFree(out);
    return rc;
}

}  // namespace

uint32_t SCS_DynamicKeyColumns(const Dataset* src, uint16_t keyCount, Dataset** out) {
    if (src == nullptr || out == nullptr || keyCount == 0 || src->col_count < keyCount) return kErrGeneral;
    *out = nullptr;
    if (int rc = DatasetClone(out, src)) return uint32_t(rc);
    while ((*out)->col_count > keyCount) {
        if (int rc = DatasetRemoveColumn(*out, uint16_t((*out)->col_count - 1))) {
            DatasetDelete(*out);
            *out = nullptr;
            return uint32_t(rc);
        }
    }
    return 0;
}

uint32_t SCS_DynamicPrepare(SCS_Cursor* s) {
    if (s == nullptr) return kErrBadArg;
    SCS_DynState* st = nullptr;
    if (uint32_t rc = EnsureState(s, &st)) return rc;
    DropKeys(st, kDynBefore);
    SCS_Cursor& c = *s;
    if (c.concurrency != SQL_CONCUR_READ_ONLY && c.concurrency != SQL_CONCUR_LOCK &&
        c.concurrency != SQL_CONCUR_VALUES) {
        // Rows are named by their keys and, when checked, by their values: there is no row version
        // to compare.
        uint32_t v = SQL_CONCUR_READ_ONLY;
        if (AgentCall<DRV_SetOption>(Lower(), c.agentStmt, kPropConcurrency, static_cast<void*>(&v)) != 0)
            return kErrNotCapable;
        c.savedConcurrency = c.concurrency;
        c.concurrency = SQL_CONCUR_READ_ONLY;
    }
    st->rowVer = int(SCS_LowerFlag(c.agentConn, kCapRowVersions));
    if (!st->rowVer) return 0;
    if (c.rowVer.privateStmt == 0) {
        const uint32_t descs = SCS_LowerFlag(c.agentConn, kCapParamDescs);
        if (uint32_t rc = SCS_RowVerOpen(&c.rowVer, Lower(), c.agentConn, c.agentStmt, descs)) return rc;
    }
    // The rows of the statement's earlier analysis name rows it will not show again.
    return SCS_RowVerClear(&c.rowVer);
}

uint32_t SCS_DynamicExecute(SCS_Cursor* s) {
    SCS_DynState* st = nullptr;
    if (uint32_t rc = EnsureState(s, &st)) return rc;
    DropKeys(st, kDynBefore);
    SCS_KsRowsetChangeDrop(s);
    s->window.SetResultRows(-1);
    return 0;
}

void SCS_DynamicClose(SCS_Cursor* s) {
    SCS_DynState* st = StateOf(s);
    if (st == nullptr) return;
    DropKeys(st, kDynBefore);
    SCS_KsRowsetChangeDrop(s);
    // The next execution is a new cursor: no row of it has been shown yet.
    if (st->rowVer && s->rowVer.privateStmt != 0) (void)SCS_RowVerClear(&s->rowVer);
}

void SCS_DynamicFree(SCS_Cursor* s) {
    if (s == nullptr) return;
    SCS_Cursor& c = *s;
    if (c.rowVer.privateStmt != 0) {
        (void)SCS_RowVerClear(&c.rowVer);
        (void)SCS_RowVerClose(&c.rowVer);
    }
    if (SCS_DynState* st = c.dynState) {
        DatasetDelete(st->keys);
        TryFree(st);
        c.dynState = nullptr;
    }
}

uint32_t SCS_DynamicFetchRows(SCS_Cursor* s, Dataset* keys, uint32_t n, Rowset** out) {
    SCS_DynState* st = StateOf(s);
    if (st == nullptr || keys == nullptr || out == nullptr || n == 0) return kErrCursorState;
    uint32_t rc = 0;
    uint32_t count = 0;
    bool agreed = false;
    for (int attempt = 0; attempt < kAttempts && !agreed; ++attempt) {
        if (attempt > 0) {
            // The same place again: from the first key on, itself included.
            Dataset again{};
            if ((rc = ReadFrom(s, keys, 0, n, &again)) != 0) {
                DatasetFree(&again);
                return rc;
            }
            DatasetFree(keys);
            *keys = again;
        }
        count = Rows(*keys);
        if (count > n) count = n;
        if (count == 0) return kErrBeyondEnd;
        RowsetFree(out);
        if ((rc = RowsetCreate(out, int32_t(n))) != 0) return rc;
        if ((rc = SCS_KsFetchByKeys(s, keys, 0, count, *out)) != 0) {
            RowsetFree(out);
            return rc;
        }
        agreed = true;
        for (uint32_t i = 0; i < count && agreed; ++i) agreed = (*out)->statuses[i] != SQL_ROW_DELETED;
    }
    if (!agreed) {
        RowsetFree(out);
        return kErrKeysetUpdates;
    }
    keys->rows_used = count;
    Rowset* rs = *out;
    for (uint32_t i = 0; i < count; ++i) rs->statuses[i] = SQL_ROW_SUCCESS;
    if ((rc = RowsetCheck(s, st, keys, count, rs)) != 0) RowsetFree(out);
    return rc;
}

uint32_t SCS_DynamicFetch(SCS_Cursor* s, Rowset** out, int32_t offset, uint16_t orientation, uint32_t* rows,
                          uint32_t* resultRows) {
    SCS_DynState* st = nullptr;
    if (s == nullptr || out == nullptr || rows == nullptr || resultRows == nullptr) return kErrBadArg;
    if (!SCS_KeysetReady(s)) return kErrCursorState;
    if (uint32_t rc = EnsureState(s, &st)) return rc;
    SCS_Cursor& c = *s;
    const uint32_t n = c.rowsetSize ? c.rowsetSize : 1;
    *rows = 0;
    *resultRows = uint32_t(-1);
    c.window.SetResultRows(-1);
    // The rows the last rowset named are no longer the application's to change.
    SCS_KsRowsetChangeDrop(s);
    if (orientation == kCursorFetchRowsetAgain) {
        if (uint32_t rc = RowsetAgain(s, st, n, out)) return rc;
        if (!c.retrieveData) {
            DatasetFree((*out)->data);
            DatasetInit((*out)->data, 0);
        }
        c.window.RowsetWhereKept();
        *rows = Rows(*st->keys);
        return 0;
    }
    Dataset target{};
    uint32_t rc = SeekTarget(s, st, orientation, offset, n, &target);
    if (rc == 0) rc = SCS_DynamicFetchRows(s, &target, n, out);
    if (rc == kErrBeforeStart || rc == kErrBeyondEnd) {
        DatasetFree(&target);
        DropKeys(st, rc == kErrBeforeStart ? kDynBefore : kDynAfter);
        SCS_CursorSetPos(&c, rc == kErrBeforeStart ? kCursorBeforeFirst : kCursorAfterLast);
        return rc;
    }
    if (rc != 0) {
        DatasetFree(&target);
        return rc;
    }
    DatasetFree(st->keys);
    *st->keys = target;
    st->where = kDynOnRowset;
    const uint32_t count = Rows(*st->keys);
    if (!c.retrieveData) {
        DatasetFree((*out)->data);
        DatasetInit((*out)->data, 0);
    }
    c.window.RowsetWhereKept();
    *rows = count;
    return 0;
}

uint32_t SCS_DynamicRowsChanged(SCS_Cursor* s, const Dataset* keys, const Dataset* values) {
    SCS_DynState* st = StateOf(s);
    if (st == nullptr || !st->rowVer || s->rowVer.privateStmt == 0) return 0;
    if (keys == nullptr || values == nullptr || keys->rows_used < values->rows_used) return kErrGeneral;
    const uint32_t n = values->rows_used;
    if (n == 0) return 0;
    auto* keyVer = static_cast<uint8_t*>(TryCalloc(n, 16));
    auto* rowVer = static_cast<uint8_t*>(TryCalloc(n, 16));
    auto* statuses = static_cast<uint16_t*>(TryCalloc(n, sizeof(uint16_t)));
    uint32_t rc = keyVer && rowVer && statuses ? 0u : uint32_t(kErrNoMemory);
    for (uint32_t i = 0; rc == 0 && i < n; ++i) {
        rc = SCS_RowVerDigest(keys, i, keyVer + 16 * i);
        if (rc == 0) rc = SCS_RowVerDigest(values, i, rowVer + 16 * i);
        statuses[i] = SQL_ROW_UPDATED;
    }
    if (rc == 0) rc = SCS_RowVerUpdate(&s->rowVer, keyVer, rowVer, statuses, n);
    TryFree(keyVer);
    TryFree(rowVer);
    TryFree(statuses);
    return rc;
}

uint32_t SCS_DynamicAfterUpdate(SCS_Cursor* s) {
    SCS_DynState* st = StateOf(s);
    if (st == nullptr) return kErrCursorState;
    uint32_t rc = s->concurrency == SQL_CONCUR_VALUES ? SCS_KeysetValuesRefresh(s) : 0u;
    if (rc != 0 || !st->rowVer || s->rowVer.privateStmt == 0) return rc;
    Dataset* keys = nullptr;
    Dataset rows{};
    rc = SCS_KsRowsetUpdated(s, &keys, &rows);
    if (rc == 0 && keys != nullptr) rc = SCS_DynamicRowsChanged(s, keys, &rows);
    if (keys) DatasetDelete(keys);
    DatasetFree(&rows);
    return rc;
}
