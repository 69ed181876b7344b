// The scroll fetch on the ODBC side's cursor record: the orientation is checked against the
// cursor type and the data source's fetch directions and turned into the start of the rowset (an
// absolute row for keyset-driven and static cursors, the offset as given for mixed and dynamic
// ones, whose layer keeps the position), which one call of the statement's fetch slot then reads
// through the link; the cursor layer does its part inside that slot. Also the row numbers and
// bookmarks of the rowset fetched.
#include <cstdint>
#include <cstdlib>

#include <sql.h>
#include <sqlext.h>

#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "odbc/cursor_state.h"
#include "util/errtable.h"
#include "util/rowset.h"

namespace {

// The SQL_FD_FETCH_ bit of an orientation; 0 for none.
uint32_t OrientationBit(uint16_t orientation);
// The data source's fetch directions (SQL_FETCH_DIRECTION), read once per record; 0 or the failure.
uint32_t ReadDirectionMask(StmtCursor* c);
// The rowset from `start` through the record's link (slot 41 when the statement's side uses the
// extended fetch, else slot 36); the result row count is kept in the record.
uint32_t SlotFetch(StmtCursor* c, int32_t start, uint16_t orientation, uint32_t* got);
// A slot fetch that brought no rowset: before the start or past the end the cursor is placed
// there and the answer is no data; any other failure brings the agent's messages along.
uint32_t FetchEnded(StmtCursor* c, uint32_t rc);
// The scroll fetch of keyset-driven and static cursors, after the previous rowset is released;
// same results as CursorScrollFetch.
uint32_t ScrollFetchScrollable(StmtCursor* c, uint16_t orientation, int64_t offset, uint32_t* rows);
// The scroll fetch of mixed cursors: the lower layer keeps the position, the offset goes down
// as given and the rowset start is not known afterwards (-1).
uint32_t ScrollFetchMixed(StmtCursor* c, uint16_t orientation, int64_t offset, uint32_t* rows);
// The scroll fetch of dynamic cursors: the lower layer keeps the position; ABSOLUTE and BOOKMARK
// have no meaning here (38).
uint32_t ScrollFetchDynamic(StmtCursor* c, uint16_t orientation, int64_t offset, uint32_t* rows);

bool NoCurrentRow(int32_t position) {
    return position == kCursorBeforeFirst || position == kCursorAfterLast || position == kCursorWholeRowset;
}

bool ForwardOnlyLike(const StmtCursor* c) {
    return c->cursorType == SQL_CURSOR_FORWARD_ONLY || c->cursorType == SQL_CURSOR_DYNAMIC ||
           (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN && c->keysetSize > 0);
}

// The data source's fetch directions take the orientation: 0, kErrFetchTypeRange, or the failure
// to read them.
uint32_t DirectionAllowed(StmtCursor* c, uint16_t orientation) {
    if (uint32_t rc = ReadDirectionMask(c)) return rc;
    const uint32_t bit = OrientationBit(orientation);
    if (bit == 0 || !(c->fetchDirMask & bit)) return kErrFetchTypeRange;
    return 0;
}

// Mixed and dynamic cursors: the lower layer keeps the position (the window), the offset goes down
// as given, and the rowset has no row number afterwards.
uint32_t FetchFromKeptPosition(StmtCursor* c, uint16_t orientation, int64_t offset, uint32_t* rows) {
    if (offset < INT32_MIN || offset > INT32_MAX) return kErrRowRange;
    c->flags &= ~uint32_t(kScsRowsetSizeSet);
    uint32_t got = 0;
    uint32_t rc = SlotFetch(c, int32_t(offset), orientation, &got);
    switch (rc) {
        case 0:
            c->window.RowsetWhereKept();
            *rows = got;
            return 0;
        default:
            return FetchEnded(c, rc);
    }
}

}  // namespace

uint32_t CursorRowNumber(StmtCursor* c, uint32_t row, uint32_t* out) {
    if (out == nullptr || c == nullptr) return kErrBadArg;
    *out = 0;
    if (ForwardOnlyLike(c)) return 0;
    const CursorWindow& w = c->window;
    if (row >= w.PosRowsetSize(c->rowsetSize)) return kErrBadArg;
    if (NoCurrentRow(w.currentRow())) return kErrCursorState;
    if (RowsetStatusGet(c->rowset, row + 1) == 5) return kErrCursorPosition;
    // After a fetch by bookmark each row is the row its bookmark names.
    if (w.rowBookmarks() != nullptr) {
        if (row >= w.rowBookmarkCount()) return kErrCursorPosition;
        *out = w.rowBookmarks()[row];
        return 0;
    }
    const int64_t number = int64_t(w.rowsetFirst()) + row;
    if (number < 1 || number > INT32_MAX) return kErrRowRange;
    *out = uint32_t(number);
    return 0;
}

uint32_t CursorRowBookmark(StmtCursor* c, uint32_t row, uint32_t* out) {
    if (out == nullptr || c == nullptr || row >= c->window.PosRowsetSize(c->rowsetSize)) return kErrBadArg;
    *out = 0;
    if (NoCurrentRow(c->window.currentRow())) return kErrCursorState;
    if (c->cursorType == SQL_CURSOR_STATIC || (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN && c->keysetSize == 0))
        return CursorRowNumber(c, row, out);
    // The keyset-driven cursors' answer offers bookmarks; a mixed cursor, answered by it, says why
    // it has none.
    return c->cursorType == SQL_CURSOR_KEYSET_DRIVEN ? kErrMixedRowNumbers : kErrNotCapable;
}

uint32_t CursorRowStatusCheck(StmtCursor* c, uint32_t row, uint32_t* out) {
    if (out == nullptr || c == nullptr) return kErrBadArg;
    *out = 0;
    if (row >= c->window.PosRowsetSize(c->rowsetSize)) return kErrBadArg;
    if (c->window.currentRow() <= 0) return kErrCursorState;
    if (c->cursorType == SQL_CURSOR_STATIC || (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN && c->keysetSize == 0))
        return CursorRowNumber(c, row, out);
    return c->cursorType == SQL_CURSOR_KEYSET_DRIVEN ? kErrMixedRowNumbers : kErrNotCapable;
}

uint32_t CursorScrollFetch(StmtCursor* c, uint16_t orientation, int64_t offset, uint32_t* rows) {
    if (c == nullptr || rows == nullptr) return kErrBadArg;
    *rows = 0;
    RowsetFree(&c->rowset);
    if (!(c->flags & kScsRowsetSizeSet)) c->window.NextMovesBy(c->rowsetSize);
    if (c->cursorType == SQL_CURSOR_STATIC || (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN && c->keysetSize == 0))
        return ScrollFetchScrollable(c, orientation, offset, rows);
    if (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN) return ScrollFetchMixed(c, orientation, offset, rows);
    if (c->cursorType == SQL_CURSOR_DYNAMIC) return ScrollFetchDynamic(c, orientation, offset, rows);
    if (c->cursorType != SQL_CURSOR_FORWARD_ONLY) return kErrNotCapable;
    if (orientation != SQL_FETCH_NEXT) return kErrFetchTypeRange;
    if (uint32_t rc = DirectionAllowed(c, orientation)) return rc;

    // After the end a forward-only cursor stays there.
    const CursorWindow& w = c->window;
    if (w.currentRow() == kCursorAfterLast) return kErrNoData;
    int64_t start = w.currentRow() == kCursorBeforeFirst ? 1 : int64_t(w.rowsetFirst()) + w.prevRowsetSize();
    if (start < 1 || start > INT32_MAX) return kErrRowRange;  // never wrap into some other row

    c->flags &= ~uint32_t(kScsRowsetSizeSet);
    uint32_t got = 0;
    uint32_t rc = SlotFetch(c, int32_t(start), orientation, &got);
    switch (rc) {
        case 0:
            c->window.RowsetFrom(uint32_t(start));
            *rows = got;
            return 0;
        default:
            return FetchEnded(c, rc);
    }
}

uint32_t CursorRowsetAgain(StmtCursor* c, uint32_t* rows) {
    if (c == nullptr || rows == nullptr) return kErrBadArg;
    *rows = 0;
    // Keyset-driven, mixed and static cursors read the same rows at the same place again; a
    // dynamic one by the keys it holds.
    if (c->cursorType != SQL_CURSOR_DYNAMIC) return CursorScrollFetch(c, SQL_FETCH_RELATIVE, 0, rows);
    RowsetFree(&c->rowset);
    return FetchFromKeptPosition(c, kCursorFetchRowsetAgain, 0, rows);
}

namespace {

uint32_t OrientationBit(uint16_t orientation) {
    switch (orientation) {
        case SQL_FETCH_NEXT:
            return SQL_FD_FETCH_NEXT;
        case SQL_FETCH_FIRST:
            return SQL_FD_FETCH_FIRST;
        case SQL_FETCH_LAST:
            return SQL_FD_FETCH_LAST;
        case SQL_FETCH_PRIOR:
            return SQL_FD_FETCH_PRIOR;
        case SQL_FETCH_ABSOLUTE:
            return SQL_FD_FETCH_ABSOLUTE;
        case SQL_FETCH_RELATIVE:
            return SQL_FD_FETCH_RELATIVE;
        case SQL_FETCH_BOOKMARK:
            return SQL_FD_FETCH_BOOKMARK;
        default:
            return 0;
    }
}

uint32_t ReadDirectionMask(StmtCursor* c) {
    if (c->fetchDirMask != 0) return 0;
    uint32_t mask = 0;
    uint32_t rc;
    if (c->owner != nullptr) {
        rc = c->owner->ConnectionInfo(SQL_FETCH_DIRECTION, &mask);
    } else {
        uint16_t len = 0;
        rc = AgentInfoItem(c->link, c->agentConn, SQL_FETCH_DIRECTION, &mask, sizeof mask, &len);
    }
    if (rc != 0) return rc;
    c->fetchDirMask = mask;
    return 0;
}

uint32_t SlotFetch(StmtCursor* c, int32_t start, uint16_t orientation, uint32_t* got) {
    const bool ext = c->owner != nullptr && c->owner->UsesExtendedFetch();
    uint32_t resultRows = uint32_t(c->window.resultRows());
    uint32_t rc =
        ext ? AgentCall<DRV_ExtendedFetch>(c->link, c->agentStmt, &c->rowset, start, got, &resultRows, orientation)
            : AgentCall<DRV_Fetch>(c->link, c->agentStmt, &c->rowset, start, got, &resultRows);
    c->window.SetResultRows(int32_t(resultRows));
    return rc;
}

}  // namespace

int32_t CursorRowsetClass(int64_t cur, int64_t s, int64_t n, int64_t total) {
    if (total >= 0) {
        if (s > total) return kCursorClassAfter;
        if (s > total - n + 1) return kCursorClassOverlapsEnd;
    } else if (s > cur) {
        return kCursorClassUncounted;
    }
    if (s >= 1) return kCursorClassInside;
    if (s > 1 - n) return kCursorClassOverlapsStart;
    return kCursorClassBefore;
}

int32_t CursorScrollTarget(uint16_t orientation, int64_t offset, int64_t cur, int64_t n, int64_t p, int64_t total,
                           int64_t* start) {
    int64_t s = 0;
    int32_t cls = kCursorClassUncounted;
    switch (orientation) {
        case SQL_FETCH_NEXT:
            s = cur + p;
            cls = CursorRowsetClass(cur, s, n, total);
            break;
        case SQL_FETCH_FIRST:
            s = 1;
            cls = kCursorClassInside;
            break;
        case SQL_FETCH_LAST:
            s = total < 0 ? 0 : (total - n + 1 >= 1 ? total - n + 1 : 1);
            cls = kCursorClassInside;
            break;
        case SQL_FETCH_PRIOR:
            s = cur - n;
            cls = CursorRowsetClass(cur, s, n, total);
            break;
        case SQL_FETCH_ABSOLUTE:
            if (offset == 0) {
                cls = kCursorClassBefore;
            } else if (offset > 0) {
                s = offset;
                cls = CursorRowsetClass(cur, s, n, total);
            } else if (total >= 0) {
                s = total + offset + 1;
                cls = CursorRowsetClass(cur, s, n, total);
                if (cls == kCursorClassOverlapsStart && -offset > n) cls = kCursorClassBefore;
            } else {
                s = offset;
            }
            break;
        case SQL_FETCH_RELATIVE:
            s = cur + offset;
            cls = CursorRowsetClass(cur, s, n, total);
            break;
        default:
            break;
    }
    *start = s;
    return cls;
}

namespace {

uint32_t FetchEnded(StmtCursor* c, uint32_t rc) {
    switch (rc) {
        case kErrBeforeStart:
            c->window.SetPos(kCursorBeforeFirst);
            return kErrNoData;
        case kErrNoData:
        case kErrBeyondEnd:
            c->window.SetPos(kCursorAfterLast);
            return kErrNoData;
        default:
            if (c->owner != nullptr) c->owner->CollectAgentDiagnostics();
            return rc;
    }
}

uint32_t ScrollFetchScrollable(StmtCursor* c, uint16_t orientation, int64_t offset, uint32_t* rows) {
    *rows = 0;
    if (uint32_t rc = DirectionAllowed(c, orientation)) return rc;

    const int64_t total = c->window.resultRows();
    const int32_t pos = c->window.currentRow();
    if (orientation == SQL_FETCH_NEXT && pos == 0) orientation = SQL_FETCH_FIRST;
    if (orientation == SQL_FETCH_PRIOR && pos == -3) orientation = SQL_FETCH_LAST;
    if (orientation == SQL_FETCH_RELATIVE) {
        // No move at all leaves the cursor before the start or after the end.
        if ((pos == -3 && offset >= 0) || (pos == 0 && offset <= 0)) return kErrNoData;
        if ((pos == -3 && offset < 0) || (pos == 0 && offset > 0)) orientation = SQL_FETCH_ABSOLUTE;
    }
    if (orientation == SQL_FETCH_BOOKMARK) {
        if (offset < 1) return kErrNoData;
        orientation = SQL_FETCH_ABSOLUTE;
    }
    if (orientation == SQL_FETCH_ABSOLUTE && offset == 0) {
        c->window.SetPos(kCursorBeforeFirst);
        return kErrNoData;
    }

    int64_t cur = int64_t(c->window.rowsetFirst());
    if (pos == 0)
        cur = 0;
    else if (pos == -3)
        cur = total >= 0 ? total + 1 : int64_t(INT32_MAX);
    const int64_t n = c->rowsetSize;
    int64_t start = 0;
    int32_t cls = CursorScrollTarget(orientation, offset, cur, n, c->window.prevRowsetSize(), total, &start);
    if (cls == kCursorClassOverlapsStart) {
        orientation = SQL_FETCH_FIRST;
        start = 1;
    }
    // A start the slot cannot be given lies wholly outside the result.
    if (cls == kCursorClassBefore || start < INT32_MIN) {
        c->window.SetPos(kCursorBeforeFirst);
        return kErrNoData;
    }
    if (cls == kCursorClassAfter || start > INT32_MAX) {
        c->window.SetPos(kCursorAfterLast);
        return kErrNoData;
    }

    c->flags &= ~uint32_t(kScsRowsetSizeSet);
    uint32_t got = 0;
    uint32_t rc = SlotFetch(c, int32_t(start), orientation, &got);
    switch (rc) {
        case 0: {
            // A start counted from the end names its row only once the row count is known; one
            // past the first row but within a rowset of it was read as the first rowset.
            const int64_t all = c->window.resultRows();
            if (start == 0)
                start = all - n + 1 >= 1 ? all - n + 1 : 1;
            else if (start < 0)
                start = all + start + 1 >= 1 ? all + start + 1 : 1;
            c->window.RowsetFrom(uint32_t(start));
            *rows = got;
            return 0;
        }
        default:
            return FetchEnded(c, rc);
    }
}

uint32_t ScrollFetchMixed(StmtCursor* c, uint16_t orientation, int64_t offset, uint32_t* rows) {
    *rows = 0;
    if (uint32_t rc = DirectionAllowed(c, orientation)) return rc;
    const int32_t pos = c->window.currentRow();
    if (orientation == SQL_FETCH_NEXT && pos == 0) orientation = SQL_FETCH_FIRST;
    if (orientation == SQL_FETCH_PRIOR && pos == -3) orientation = SQL_FETCH_LAST;
    if (orientation == SQL_FETCH_RELATIVE) {
        if ((pos == -3 && offset >= 0) || (pos == 0 && offset <= 0)) return kErrNoData;
        // From outside the result a relative move names a row number, which a mixed cursor has not.
        if (pos == -3 || pos == 0) return kErrMixedRowNumbers;
    }
    if (orientation == SQL_FETCH_ABSOLUTE || orientation == SQL_FETCH_BOOKMARK) return kErrMixedRowNumbers;
    if (orientation == SQL_FETCH_PRIOR && pos == 0) return kErrNoData;
    return FetchFromKeptPosition(c, orientation, offset, rows);
}

uint32_t ScrollFetchDynamic(StmtCursor* c, uint16_t orientation, int64_t offset, uint32_t* rows) {
    *rows = 0;
    if (uint32_t rc = DirectionAllowed(c, orientation)) return rc;
    // Rows of a dynamic cursor have no fixed numbers to name.
    if (orientation == SQL_FETCH_ABSOLUTE || orientation == SQL_FETCH_BOOKMARK) return kErrFetchTypeRange;
    const int32_t pos = c->window.currentRow();
    if (orientation == SQL_FETCH_NEXT && pos == kCursorBeforeFirst) orientation = SQL_FETCH_FIRST;
    if (orientation == SQL_FETCH_PRIOR && pos == kCursorAfterLast) orientation = SQL_FETCH_LAST;
    if ((orientation == SQL_FETCH_NEXT && pos == kCursorAfterLast) ||
        (orientation == SQL_FETCH_PRIOR && pos == kCursorBeforeFirst))
        return kErrNoData;
    if (orientation == SQL_FETCH_RELATIVE &&
        ((pos == kCursorAfterLast && offset >= 0) || (pos == kCursorBeforeFirst && offset <= 0)))
        return kErrNoData;
    return FetchFromKeptPosition(c, orientation, offset, rows);
}

}  // namespace
