// Mixed cursors: a keyset-driven cursor with a keyset size keeps only a window of keys, read by
// seeking from the keys of the rowset it has (in the statement's order extended by the keys), and
// moves or rebuilds the window as the fetches leave it. The seek is also what dynamic cursors use.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "drv_ingii/i-info.h"
#include "scrs/ks.h"
#include "scrs/sc_bykeys.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_fetchrows.h"
#include "util/rowset.h"
#include "util/trymem.h"

using namespace scs_bykeys;

namespace {

// Reads up to `count` key rows (the keys, then the ORDER BY columns that are not keys) by a seek
// from row fromRow of `from` (FIRST and LAST need none) into *out, in the cursor's order.
// orientation 1 NEXT, 2 FIRST, 3 LAST, 4 PRIOR; mode as the seek builders take it.
uint32_t SeekKeys(SCS_Cursor* s, SCS_KsState* st, uint32_t orientation, uint32_t mode, const Dataset* from,
                  uint32_t fromRow, uint32_t count, Dataset* out) {
    SCS_DescCtx& ctx = st->ctx;
    Dataset* bounds = nullptr;
    uint32_t rc = 0;
    const bool seeks = orientation == 1 || orientation == 4;
    if (seeks) {
        if (from == nullptr) return kErrGeneral;
        if ((rc = SCS_RowsetKeyBounds(from, fromRow, fromRow, &bounds)) != 0) return rc;
    }
    ctx.boundKeys = bounds;
    uint32_t pre = 0, listed = 0, before = 0;
    rc = ListMarkers(st->ordered, &pre, &listed);
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    if (rc == 0 && seeks) {
        // Where the seek condition's markers stand among the statement's own.
        rc = Analyse(&a, st->ordered);
        if (rc == 0) rc = SCR_SelectListMark(&a);
        if (rc == 0) rc = SCR_EditMarkerReplace(&a, "1");
        if (rc == 0) {
            std::string listless = a.text;
            rc = WhereMarkers(listless.c_str(), &before);
        }
    }
    Dataset* params = nullptr;
    if (rc == 0) rc = Analyse(&a, st->ordered);
    if (rc == 0) rc = KS_BuildSeekSelect(&ctx, &a, orientation, mode, seeks ? &params : nullptr);
    std::string text = rc == 0 ? a.text : "";
    if (rc == 0 && (orientation == 3 || orientation == 4)) {
        // Read backwards from the boundary, nearest first.
        rc = Analyse(&a, text.c_str());
        if (rc == 0) rc = SCR_OrderByReverse(&a);
        if (rc == 0) text = SCR_AnalysisText(&a);
    }
    SCR_AnalysisFree(&a);
    ctx.boundKeys = nullptr;
    if (bounds) DatasetDelete(bounds);
    Dataset* own = nullptr;
    if (rc == 0) rc = OwnValues(s, pre, listed, &own);
    Dataset* joined = nullptr;
    if (rc == 0 && params != nullptr) {
        rc = SCS_SpliceParams(own, before, params, &joined);
    } else if (rc == 0) {
        joined = own;
        own = nullptr;
    }
    if (own) DatasetDelete(own);
    if (params) DatasetDelete(params);
    uint32_t unlimited = 0;
    if (rc == 0)
        (void)AgentCall<DRV_SetOption>(Lower(), st->aux1, kPropStmtOptionBase + SQL_MAX_ROWS,
                                       static_cast<void*>(&unlimited));
    if (rc == 0) rc = AgentCall<DRV_Prepare>(Lower(), st->aux1, text.c_str());
    if (rc == 0 && joined != nullptr) {
        rc = GiveParams(st->aux1, joined);
        joined = nullptr;
    }
    if (joined) DatasetDelete(joined);
    if (rc == 0) rc = AgentCall<DRV_Execute>(Lower(), st->aux1);
    DatasetFree(out);
    if (rc == 0) rc = scs_p_FetchRows(Lower(), st->aux1, 0, count, false, out);
    (void)AgentCall<DRV_CloseCursor>(Lower(), st->aux1);
    if (rc == 0 && out->rows_used > count) out->rows_used = count;
    if (rc == 0 && (orientation == 3 || orientation == 4) && out->rows_used > 1) {
        Dataset* rev = out;
        // The reversal makes a new record when it cannot work in place; keep the caller's header.
        Dataset* holder = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
        if (holder == nullptr) return kErrNoMemory;
        *holder = *rev;
        *out = Dataset{};
        const uint32_t used = holder->rows_used;
        Dataset* turned = holder;
        int drc = DatasetReverseRows(&turned);
        if (drc != 0) {
            DatasetDelete(holder);
            return uint32_t(drc);
        }
        *out = *turned;
        out->rows_used = used;
        TryFree(turned);
    }
    return rc;
}

// Replaces the window by `rows`.
void TakeWindow(SCS_KsState* st, Dataset* rows) {
    KS_KeysetClear(st->ks);
    *st->ks->keys = *rows;
    *rows = Dataset{};
    st->ks->count = st->ks->keys->col_count ? st->ks->keys->rows_used : 0;
    st->ks->origin = 0;
}

// One fetch of a mixed cursor: where its rowset starts in the key window (w, 0-based), and the
// window read anew by a seek when the rowset leaves the one it has.
struct MixedMove {
    SCS_Cursor* s;
    SCS_KsState* st;
    KS_KeysetRecord* ks;
    uint32_t size;  // the keyset size: keys a window holds
    uint32_t n;     // the rowset size
    int64_t p;      // rows NEXT moves on by
    int64_t most;   // SQL_ATTR_MAX_ROWS as the statement ran; 0 or less: no limit
    int64_t w = 0;
    Dataset got{};

    // SQL_ATTR_MAX_ROWS cuts the result: how many rows may follow result row `from` (from 1),
    // itself included, and whether a window of `count` rows from there ends the result.
    uint32_t Room(int64_t from) const {
        if (most <= 0) return size;
        const int64_t left = most - from + 1;
        return uint32_t(left <= 0 ? 0 : left < int64_t(size) ? left : size);
    }
    bool Ends(int64_t from, uint32_t count) const {
        return count < size || (most > 0 && from + int64_t(count) - 1 >= most);
    }

    // A window just read around a position: its row 0 is result row `at`, it holds `count` keys,
    // and the rowset starts at its row 0.
    void Around(int64_t at, bool atStart, uint32_t count) {
        st->windowState = -1;
        st->windowAt = at;
        st->atStart = atStart;
        st->atEnd = Ends(at, count);
        w = 0;
    }

    uint32_t First() {
        if (uint32_t r = SeekKeys(s, st, 2, 0, nullptr, 0, Room(1), &got)) return r;
        TakeWindow(st, &got);
        st->windowState = -2;
        st->windowAt = 1;
        st->atStart = true;
        st->atEnd = Ends(1, uint32_t(ks->count));
        w = 0;
        return ks->count == 0 ? uint32_t(kErrBeyondEnd) : 0u;
    }

    uint32_t Last() {
        if (most > 0) {
            // The last rows are the last of the first `most`: read their keys from the start.
            if (uint32_t r = SeekKeys(s, st, 2, 0, nullptr, 0, uint32_t(most), &got)) return r;
            const uint32_t g = got.col_count ? got.rows_used : 0;
            const uint32_t keep = g < size ? g : size;
            if (g > keep) {
                Dataset* tail = nullptr;
                uint32_t r = KeyRowsOnly(&got, g - keep, keep, got.col_count, &tail);
                DatasetFree(&got);
                if (r != 0) return r;
                TakeWindow(st, tail);
                DatasetDelete(tail);
            } else {
                TakeWindow(st, &got);
            }
            st->windowAt = int64_t(g - keep) + 1;
        } else {
            if (uint32_t r = SeekKeys(s, st, 3, 0, nullptr, 0, size, &got)) return r;
            TakeWindow(st, &got);
            st->windowAt = 0;  // not known: nothing limits the result
        }
        st->windowState = -3;
        st->atEnd = true;
        st->atStart = most > 0 ? st->windowAt == 1 : ks->count < size;
        w = ks->count > n ? int64_t(ks->count) - n : 0;
        return ks->count == 0 ? uint32_t(kErrBeforeStart) : 0u;
    }

    // K: keys in the window; cur: the 0-based rowset start in it.
    uint32_t Next(int64_t K, int64_t cur) {
        uint32_t rc = 0;
        if (st->windowState == -6) {
            rc = First();
        } else if (st->windowState == -5) {
            rc = kErrBeyondEnd;
        } else if (cur + p + int64_t(n) <= K || (st->atEnd && cur + p < K)) {
            w = cur + p;
        } else if (st->atEnd) {
            st->windowState = -5;
            rc = kErrBeyondEnd;
        } else {
            const int64_t lastRow = (cur + p < K ? cur + p : K) - 1;
            const int64_t at = st->windowAt + lastRow + 1;
            const uint32_t want = Room(at);
            if (want == 0) {
                st->windowState = -5;
                rc = kErrBeyondEnd;
                return rc;
            }
            if ((rc = SeekKeys(s, st, 1, 0, ks->keys, uint32_t(lastRow), want, &got)) != 0) return rc;
            if (got.col_count == 0 || got.rows_used == 0) {
                DatasetFree(&got);
                st->windowState = -5;
                rc = kErrBeyondEnd;
                return rc;
            }
            TakeWindow(st, &got);
            Around(at, false, uint32_t(ks->count));
        }
        return rc;
    }

    uint32_t Prior(int64_t cur) {
        uint32_t rc = 0;
        if (st->windowState == -6) {
            rc = kErrBeforeStart;
        } else if (st->windowState == -5) {
            rc = Last();
        } else if (cur - int64_t(n) >= 0) {
            w = cur - n;
        } else if (st->atStart) {
            if (cur == 0)
                rc = kErrBeforeStart;
            else
                w = 0;
        } else {
            if ((rc = SeekKeys(s, st, 4, 0, ks->keys, uint32_t(cur), size, &got)) != 0) return rc;
            const uint32_t g = got.col_count ? got.rows_used : 0;
            if (g == 0) {
                DatasetFree(&got);
                rc = kErrBeforeStart;
            } else if (g < n) {
                // The rowset would overlap the first row: the first rowset.
                DatasetFree(&got);
                rc = First();
            } else {
                TakeWindow(st, &got);
                st->windowState = -1;
                st->windowAt += cur - int64_t(g);
                st->atStart = g < size;
                st->atEnd = false;
                w = int64_t(g) - n;
            }
        }
        return rc;
    }

    uint32_t Relative(int64_t K, int64_t cur, int32_t offset) {
        uint32_t rc = 0;
        if (st->windowState == -6 || st->windowState == -5) {
            rc = kErrFetchTypeRange;
            return rc;
        }
        const int64_t t = cur + offset;
        if (t >= 0 && (t + n <= K || (st->atEnd && t < K))) {
            w = t;
        } else if (t >= K && st->atEnd) {
            st->windowState = -5;
            rc = kErrBeyondEnd;
        } else if (t >= K) {
            rc = RelativePastWindow(K, t);
        } else if (t >= 0) {
            // The rowset runs past the window: a window from its first row.
            const int64_t at = st->windowAt + t;
            if ((rc = SeekKeys(s, st, 1, 3, ks->keys, uint32_t(t), Room(at), &got)) != 0) return rc;
            TakeWindow(st, &got);
            Around(at, st->atStart && t == 0, uint32_t(ks->count));
        } else if (st->atStart) {
            // Window row 0 is the result's first row.
            if (t + 1 > 1 - int64_t(n))
                rc = First();
            else
                rc = kErrBeforeStart;
        } else {
            rc = RelativeBeforeWindow(t);
        }
        return rc;
    }

    // RELATIVE to window row t at or past the window's end (K keys), the window not the result's last.
    uint32_t RelativePastWindow(int64_t K, int64_t t) {
        uint32_t rc = 0;
        const int64_t skip = t - K;
        if (skip + size > 0xFFFFFFFFll) {
            rc = kErrRowRange;
            return rc;
        }
        const int64_t at = st->windowAt + t;
        const uint32_t want = Room(at);
        if (most > 0 && want == 0) {
            st->windowState = -5;
            rc = kErrBeyondEnd;
            return rc;
        }
        if ((rc = SeekKeys(s, st, 1, 0, ks->keys, uint32_t(K - 1), uint32_t(skip + want), &got)) != 0) return rc;
        const int64_t g = got.col_count ? got.rows_used : 0;
        if (g <= skip) {
            DatasetFree(&got);
            st->windowState = -5;
            rc = kErrBeyondEnd;
            return rc;
        }
        Dataset* tail = nullptr;
        rc = KeyRowsOnly(&got, uint32_t(skip), uint32_t(g - skip), got.col_count, &tail);
        DatasetFree(&got);
        if (rc != 0) return rc;
        TakeWindow(st, tail);
        DatasetDelete(tail);
        Around(at, false, uint32_t(g - skip));
        return rc;
    }

    // RELATIVE to window row t < 0, the window not the result's first.
    uint32_t RelativeBeforeWindow(int64_t t) {
        uint32_t rc = 0;
        if ((rc = SeekKeys(s, st, 4, 0, ks->keys, 0, uint32_t(-t), &got)) != 0) return rc;
        const int64_t g = got.col_count ? got.rows_used : 0;
        if (g < -t) {
            DatasetFree(&got);
            // Window row 0 is row g + 1 of the result.
            if (g + 1 + t > 1 - int64_t(n))
                rc = First();
            else
                rc = kErrBeforeStart;
            return rc;
        }
        const int64_t at = st->windowAt + t;
        Dataset target{};
        rc = SeekKeys(s, st, 1, 3, &got, 0, Room(at), &target);
        DatasetFree(&got);
        if (rc != 0) {
            DatasetFree(&target);
            return rc;
        }
        TakeWindow(st, &target);
        Around(at, false, uint32_t(ks->count));
        return rc;
    }
};

// The rowset from window row w: its rows read by their keys, what its row changes name, and the
// result's size once one window holds all of it.
uint32_t MixedRowset(SCS_Cursor* s, SCS_KsState* st, int64_t w, Rowset** out, uint32_t* rows, uint32_t* resultRows) {
    SCS_Cursor& c = *s;
    KS_KeysetRecord* ks = st->ks;
    const uint32_t n = c.rowsetSize ? c.rowsetSize : 1;
    uint32_t rc = 0;
    const int64_t K2 = ks->count;
    if (w >= K2) {
        st->windowState = -5;
        SCS_CursorSetPos(&c, -3);
        return kErrBeyondEnd;
    }
    const uint32_t count = uint32_t(K2 - w < int64_t(n) ? K2 - w : n);
    RowsetFree(out);
    if ((rc = RowsetCreate(out, int32_t(n))) != 0) return rc;
    if ((rc = FetchByKeys(s, st, ks->keys, uint32_t(w), count, *out)) != 0) {
        RowsetFree(out);
        return rc;
    }
    if ((rc = RowsetChangeState(s, st, st->ks->keys, uint32_t(w), count, *out)) != 0) {
        RowsetFree(out);
        return rc;
    }
    if (!c.retrieveData) {
        DatasetFree((*out)->data);
        DatasetInit((*out)->data, 0);
    }
    st->st = uint32_t(w) + 1;
    // The result's size is known once one window holds all of it.
    c.window.SetResultRows(st->atStart && st->atEnd ? int32_t(K2) : -1);
    *resultRows = uint32_t(c.window.resultRows());
    c.window.RowsetWhereKept();
    *rows = count;
    return 0;
}

}  // namespace

uint32_t SCS_MixedFetch(SCS_Cursor* s, Rowset** out, int32_t offset, uint16_t orientation, uint32_t* rows,
                        uint32_t* resultRows) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready) return kErrCursorState;
    SCS_Cursor& c = *s;
    const uint32_t size = c.keysetSize;
    const uint32_t n = c.rowsetSize ? c.rowsetSize : 1;
    // NEXT moves on by the rowset of the last fetch, whatever the rowset size is now.
    const int64_t p = c.window.prevRowsetSize() ? c.window.prevRowsetSize() : n;
    if (size < n) return kErrKeysetSize;
    if (st->windowSize != size) st->windowState = -6;
    KS_KeysetRecord* ks = st->ks;
    uint32_t rc = 0;
    MixedMove m{s, st, ks, size, n, p, int64_t(st->maxRows)};
    const int64_t K = ks->count;
    const int64_t cur = int64_t(st->st) - 1;  // 0-based rowset start in the window
    switch (orientation) {
        case SQL_FETCH_FIRST:
            rc = m.First();
            break;
        case SQL_FETCH_LAST:
            rc = m.Last();
            break;
        case SQL_FETCH_NEXT:
            rc = m.Next(K, cur);
            break;
        case SQL_FETCH_PRIOR:
            rc = m.Prior(cur);
            break;
        case SQL_FETCH_RELATIVE:
            rc = m.Relative(K, cur, offset);
            break;
        default:
            rc = kErrFetchTypeRange;
            break;
    }
    DatasetFree(&m.got);
    if (rc != 0) {
        if (rc == kErrBeforeStart) {
            st->windowState = st->windowState == -6 ? -6 : st->windowState;
            SCS_CursorSetPos(&c, 0);
        }
        if (rc == kErrBeyondEnd) SCS_CursorSetPos(&c, -3);
        return rc;
    }
    st->windowSize = size;
    return MixedRowset(s, st, m.w, out, rows, resultRows);
}

uint32_t SCS_KsSeekKeys(SCS_Cursor* s, uint32_t orientation, uint32_t mode, const Dataset* from, uint32_t fromRow,
                        uint32_t count, Dataset* out) {
    SCS_KsState* st = StateOf(s);
    if (st == nullptr || !st->ready || out == nullptr) return kErrCursorState;
    return SeekKeys(s, st, orientation, mode, from, fromRow, count, out);
}
