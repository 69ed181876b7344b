// Scroll fetch of keyset-driven and static cursors on the ODBC side's record: the orientation is
// turned into an absolute start row, which the cursor layer's slot reads from its result set.
#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "drv_ingii/i-info.h"
#include "util/rowset.h"
#include "scrs/sc_s3.h"
#include "util/errtable.h"

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
    if (uint32_t rc = scs_p_ReadDirectionMask(c)) return rc;
    const uint32_t bit = scs_p_OrientationBit(orientation);
    if (bit == 0 || !(c->fetchDirMask & bit)) return kErrFetchTypeRange;

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
    if (uint32_t rc = scs_p_ReadDirectionMask(c)) return rc;
    const uint32_t bit = scs_p_OrientationBit(orientation);
    if (bit == 0 || !(c->fetchDirMask & bit)) return kErrFetchTypeRange;
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
    if (offset < INT32_MIN || offset > INT32_MAX) return kErrRowRange;
    c->flags &= ~uint32_t(kScsRowsetSizeSet);
    uint32_t got = 0;
    uint32_t rc = scs_p_FetchRowset(c, int32_t(offset), orientation, &got);
    switch (rc) {
        case 0:
            c->position = 1;
            // The lower layer keeps the window; the rowset has no row number here.
            c->position2 = -1;
            *rows = got;
            return 0;
        default:
            return scs_p_FetchEnded(c, rc);
    }
}
