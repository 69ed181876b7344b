// The scroll fetch as the ODBC side calls it, on the ODBC side's cursor block: the orientation is
// checked against the cursor type and the data source's fetch directions and turned into the start
// of the rowset (an absolute row for keyset-driven and static cursors, the offset as given for
// mixed and dynamic ones, whose layer keeps the position), which the statement's fetch slot then
// reads (sc_fetch.cpp). Also the row accessors of the rowset fetched: statuses, row numbers,
// bookmarks.
#include <cstdint>
#include <cstdlib>

#include <sql.h>
#include <sqlext.h>

#include "drv_ingii/i-info.h"
#include "util/rowset.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_s3.h"
#include "util/errtable.h"

namespace {

bool NoCurrentRow(int32_t position) {
    return position == kCursorBeforeFirst || position == kCursorAfterLast || position == kCursorWholeRowset;
}

bool ForwardOnlyLike(const SCS_Cursor* c) {
    return c->cursorType == SQL_CURSOR_FORWARD_ONLY || c->cursorType == SQL_CURSOR_DYNAMIC ||
           (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN && c->keysetSize > 0);
}

// The data source's fetch directions take the orientation: 0, kErrFetchTypeRange, or the failure
// to read them.
uint32_t DirectionAllowed(SCS_Cursor* c, uint16_t orientation) {
    if (uint32_t rc = scs_p_ReadDirectionMask(c)) return rc;
    const uint32_t bit = scs_p_OrientationBit(orientation);
    if (bit == 0 || !(c->fetchDirMask & bit)) return kErrFetchTypeRange;
    return 0;
}

// Mixed and dynamic cursors: the lower layer keeps the position (the window), the offset goes down
// as given, and the rowset has no row number afterwards.
uint32_t FetchFromKeptPosition(SCS_Cursor* c, uint16_t orientation, int64_t offset, uint32_t* rows) {
    if (offset < INT32_MIN || offset > INT32_MAX) return kErrRowRange;
    c->flags &= ~uint32_t(kScsRowsetSizeSet);
    uint32_t got = 0;
    uint32_t rc = scs_p_FetchRowset(c, int32_t(offset), orientation, &got);
    switch (rc) {
        case 0:
            c->position = 1;
            c->position2 = kCursorUnknown;
            *rows = got;
            return 0;
        default:
            return scs_p_FetchEnded(c, rc);
    }
}

}  // namespace

uint16_t SCS_RowStatusGet(const Rowset* rs, uint32_t row) {
    if (rs == nullptr || row < 1 || rs->statuses == nullptr) return 5;  // SQL_ROW_ERROR
    // A row past the rowset that was fetched (the rowset size may have grown since) has no row.
    if (row > rs->rows) return 3;  // SQL_ROW_NOROW
    return rs->statuses[row - 1];
}

void SCS_RowStatusSet(Rowset* rs, uint32_t row, uint16_t status) {
    if (rs == nullptr || row < 1 || rs->statuses == nullptr || row > rs->rows) return;
    rs->statuses[row - 1] = status;
}

uint32_t SCS_RowNumber(SCS_Cursor* c, uint32_t row, uint32_t* out) {
    if (out == nullptr || c == nullptr) return kErrBadArg;
    *out = 0;
    if (ForwardOnlyLike(c)) return 0;
    if (row >= SCS_PosRowsetSize(c)) return kErrBadArg;
    if (NoCurrentRow(c->position)) return kErrCursorState;
    if (SCS_RowStatusGet(c->rowset, row + 1) == 5) return kErrCursorPosition;
    // After a fetch by bookmark each row is the row its bookmark names.
    if (c->rowBookmarks != nullptr) {
        if (row >= c->rowBookmarkCount) return kErrCursorPosition;
        *out = c->rowBookmarks[row];
        return 0;
    }
    const int64_t number = int64_t(c->rowsetFirst) + row;
    if (number < 1 || number > INT32_MAX) return kErrRowRange;
    *out = uint32_t(number);
    return 0;
}

uint32_t SCS_RowBookmark(SCS_Cursor* c, uint32_t row, uint32_t* out) {
    if (out == nullptr || c == nullptr || row >= SCS_PosRowsetSize(c)) return kErrBadArg;
    *out = 0;
    if (NoCurrentRow(c->position)) return kErrCursorState;
    if (c->cursorType == SQL_CURSOR_STATIC || (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN && c->keysetSize == 0))
        return SCS_RowNumber(c, row, out);
    // The keyset-driven cursors' answer offers bookmarks; a mixed cursor, answered by it, says why
    // it has none.
    return c->cursorType == SQL_CURSOR_KEYSET_DRIVEN ? kErrMixedRowNumbers : kErrNotCapable;
}

uint32_t SCS_RowStatusCheck(SCS_Cursor* c, uint32_t row, uint32_t* out) {
    if (out == nullptr || c == nullptr) return kErrBadArg;
    *out = 0;
    if (row >= SCS_PosRowsetSize(c)) return kErrBadArg;
    if (c->position <= 0) return kErrCursorState;
    if (c->cursorType == SQL_CURSOR_STATIC || (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN && c->keysetSize == 0))
        return SCS_RowNumber(c, row, out);
    return c->cursorType == SQL_CURSOR_KEYSET_DRIVEN ? kErrMixedRowNumbers : kErrNotCapable;
}

uint32_t SCS_ScrollFetch(SCS_Cursor* c, uint16_t orientation, int64_t offset, uint32_t* rows) {
    if (c == nullptr || rows == nullptr) return kErrBadArg;
    *rows = 0;
    RowsetFree(&c->rowset);
    if (!(c->flags & kScsRowsetSizeSet)) c->prevRowsetSize = c->rowsetSize;
    if (c->cursorType == SQL_CURSOR_STATIC || (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN && c->keysetSize == 0))
        return SCS_ScrollFetchScrollable(c, orientation, offset, rows);
    if (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN) return SCS_ScrollFetchMixed(c, orientation, offset, rows);
    if (c->cursorType == SQL_CURSOR_DYNAMIC) return SCS_ScrollFetchDynamic(c, orientation, offset, rows);
    if (c->cursorType != SQL_CURSOR_FORWARD_ONLY) return kErrNotCapable;
    if (orientation != SQL_FETCH_NEXT) return kErrFetchTypeRange;
    if (uint32_t rc = DirectionAllowed(c, orientation)) return rc;

    // After the end a forward-only cursor stays there.
    if (c->position == kCursorAfterLast) return kErrNoData;
    int64_t start = c->position == 0 ? 1 : int64_t(c->rowsetFirst) + c->prevRowsetSize;
    if (start < 1 || start > INT32_MAX) return kErrRowRange;  // never wrap into some other row

    c->flags &= ~uint32_t(kScsRowsetSizeSet);
    uint32_t got = 0;
    uint32_t rc = scs_p_FetchRowset(c, int32_t(start), orientation, &got);
    switch (rc) {
        case 0:
            c->position = 1;
            c->rowsetFirst = uint32_t(start);
            *rows = got;
            return 0;
        default:
            return scs_p_FetchEnded(c, rc);
    }
}

uint32_t scs_p_OrientationBit(uint16_t orientation) {
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

uint32_t scs_p_ReadDirectionMask(SCS_Cursor* c) {
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

uint32_t scs_p_FetchRowset(SCS_Cursor* c, int32_t start, uint16_t orientation, uint32_t* got) {
    const bool ext = c->owner != nullptr && c->owner->UsesExtendedFetch();
    uint32_t resultRows = uint32_t(c->rowsFetched);
    uint32_t rc =
        ext ? AgentCall<DRV_ExtendedFetch>(c->link, c->agentStmt, &c->rowset, start, got, &resultRows, orientation)
            : AgentCall<DRV_Fetch>(c->link, c->agentStmt, &c->rowset, start, got, &resultRows);
    c->rowsFetched = int32_t(resultRows);
    return rc;
}

int32_t SCS_RowsetClass(int64_t cur, int64_t s, int64_t n, int64_t total) {
    if (total >= 0) {
        if (s > total) return kScsClassAfter;
        if (s > total - n + 1) return kScsClassOverlapsEnd;
    } else if (s > cur) {
        return kScsClassUncounted;
    }
    if (s >= 1) return kScsClassInside;
    if (s > 1 - n) return kScsClassOverlapsStart;
    return kScsClassBefore;
}

int32_t SCS_ScrollTarget(uint16_t orientation, int64_t offset, int64_t cur, int64_t n, int64_t p, int64_t total,
                         int64_t* start) {
    int64_t s = 0;
    int32_t cls = kScsClassUncounted;
    switch (orientation) {
        case SQL_FETCH_NEXT:
            s = cur + p;
            cls = SCS_RowsetClass(cur, s, n, total);
            break;
        case SQL_FETCH_FIRST:
            s = 1;
            cls = kScsClassInside;
            break;
        case SQL_FETCH_LAST:
            s = total < 0 ? 0 : (total - n + 1 >= 1 ? total - n + 1 : 1);
            cls = kScsClassInside;
            break;
        case SQL_FETCH_PRIOR:
            s = cur - n;
            cls = SCS_RowsetClass(cur, s, n, total);
            break;
        case SQL_FETCH_ABSOLUTE:
            if (offset == 0) {
                cls = kScsClassBefore;
            } else if (offset > 0) {
                s = offset;
                cls = SCS_RowsetClass(cur, s, n, total);
            } else if (total >= 0) {
                s = total + offset + 1;
                cls = SCS_RowsetClass(cur, s, n, total);
                if (cls == kScsClassOverlapsStart && -offset > n) cls = kScsClassBefore;
            } else {
                s = offset;
            }
            break;
        case SQL_FETCH_RELATIVE:
            s = cur + offset;
            cls = SCS_RowsetClass(cur, s, n, total);
            break;
        default:
            break;
    }
    *start = s;
    return cls;
}

uint32_t scs_p_FetchEnded(SCS_Cursor* c, uint32_t rc) {
    switch (rc) {
        case kErrBeforeStart:
            SCS_CursorSetPos(c, kCursorBeforeFirst);
            return kErrNoData;
        case kErrNoData:
        case kErrBeyondEnd:
            SCS_CursorSetPos(c, kCursorAfterLast);
            return kErrNoData;
        default:
            if (c->owner != nullptr) c->owner->CollectAgentDiagnostics();
            return rc;
    }
}

uint32_t SCS_ScrollFetchScrollable(SCS_Cursor* c, uint16_t orientation, int64_t offset, uint32_t* rows) {
    *rows = 0;
    if (uint32_t rc = DirectionAllowed(c, orientation)) return rc;

    const int64_t total = c->rowsFetched;
    const int32_t pos = c->position;
    if (orientation == SQL_FETCH_NEXT && pos == 0) orientation = SQL_FETCH_FIRST;
    if (orientation == SQL_FETCH_PRIOR && pos == -3) orientation = SQL_FETCH_LAST;
    if (orientation == SQL_FETCH_RELATIVE) {
        if ((pos == -3 && offset > 0) || (pos == 0 && offset < 0)) return kErrNoData;
        if ((pos == -3 && offset < 0) || (pos == 0 && offset > 0)) orientation = SQL_FETCH_ABSOLUTE;
    }
    if (orientation == SQL_FETCH_BOOKMARK) {
        if (offset < 1) return kErrNoData;
        orientation = SQL_FETCH_ABSOLUTE;
    }
    if (orientation == SQL_FETCH_ABSOLUTE && offset == 0) {
        SCS_CursorSetPos(c, kCursorBeforeFirst);
        return kErrNoData;
    }

    int64_t cur = int64_t(c->rowsetFirst);
    if (pos == 0)
        cur = 0;
    else if (pos == -3)
        cur = total >= 0 ? total + 1 : int64_t(INT32_MAX);
    const int64_t n = c->rowsetSize;
    int64_t start = 0;
    int32_t cls = SCS_ScrollTarget(orientation, offset, cur, n, c->prevRowsetSize, total, &start);
    if (cls == kScsClassOverlapsStart) {
        orientation = SQL_FETCH_FIRST;
        start = 1;
    }
    // A start the slot cannot be given lies wholly outside the result.
    if (cls == kScsClassBefore || start < INT32_MIN) {
        SCS_CursorSetPos(c, kCursorBeforeFirst);
        return kErrNoData;
    }
    if (cls == kScsClassAfter || start > INT32_MAX) {
        SCS_CursorSetPos(c, kCursorAfterLast);
        return kErrNoData;
    }

    c->flags &= ~uint32_t(kScsRowsetSizeSet);
    uint32_t got = 0;
    uint32_t rc = scs_p_FetchRowset(c, int32_t(start), orientation, &got);
    switch (rc) {
        case 0: {
            // A start counted from the end names its row only once the row count is known.
            const int64_t all = c->rowsFetched;
            if (start == 0)
                start = all - n + 1 >= 1 ? all - n + 1 : 1;
            else if (start < 0)
                start = all + start + 1;
            c->position = 1;
            c->rowsetFirst = uint32_t(start);
            c->position2 = int32_t(start);
            *rows = got;
            return 0;
        }
        default:
            return scs_p_FetchEnded(c, rc);
    }
}

uint32_t SCS_ScrollFetchMixed(SCS_Cursor* c, uint16_t orientation, int64_t offset, uint32_t* rows) {
    *rows = 0;
    if (uint32_t rc = DirectionAllowed(c, orientation)) return rc;
    const int32_t pos = c->position;
    if (orientation == SQL_FETCH_NEXT && pos == 0) orientation = SQL_FETCH_FIRST;
    if (orientation == SQL_FETCH_PRIOR && pos == -3) orientation = SQL_FETCH_LAST;
    if (orientation == SQL_FETCH_RELATIVE) {
        if ((pos == -3 && offset > 0) || (pos == 0 && offset < 0)) return kErrNoData;
        // From outside the result a relative move names a row number, which a mixed cursor has not.
        if (pos == -3 || pos == 0) return kErrMixedRowNumbers;
    }
    if (orientation == SQL_FETCH_ABSOLUTE || orientation == SQL_FETCH_BOOKMARK) return kErrMixedRowNumbers;
    if (orientation == SQL_FETCH_PRIOR && pos == 0) return kErrNoData;
    return FetchFromKeptPosition(c, orientation, offset, rows);
}

uint32_t SCS_ScrollFetchDynamic(SCS_Cursor* c, uint16_t orientation, int64_t offset, uint32_t* rows) {
    *rows = 0;
    if (uint32_t rc = DirectionAllowed(c, orientation)) return rc;
    // Rows of a dynamic cursor have no fixed numbers to name.
    if (orientation == SQL_FETCH_ABSOLUTE || orientation == SQL_FETCH_BOOKMARK) return kErrFetchTypeRange;
    const int32_t pos = c->position;
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
