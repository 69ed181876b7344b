// The cursor layer's scroll fetch and row accessors as the ODBC side calls them. Forward-only
// cursors are served here and static ones in sc_scroll.cpp; the other scrollable types answer
// "Driver not capable" (43).
#include <cstdint>
#include <cstdlib>

#include <sql.h>
#include <sqlext.h>

#include "util/rowset.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_dynamic.h"
#include "scrs/sc_fetchrows.h"
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

}  // namespace

void SCS_StmtFree(SCS_Cursor* c) {
    if (c == nullptr) return;
    RowsetFree(&c->rowset);
    SCS_RowBookmarksDrop(c);
}

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
    if (uint32_t rc = scs_p_ReadDirectionMask(c)) return rc;
    if (!(c->fetchDirMask & SQL_FD_FETCH_NEXT)) return kErrFetchTypeRange;

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

uint32_t SCS_ForwardRowsetFetch(const AgentLink* lower, uint32_t stmt, uint32_t rowsetSize, uint32_t retrieveData,
                                Rowset** out, uint32_t* rows) {
    if (out == nullptr || rows == nullptr || rowsetSize == 0 || rowsetSize > INT32_MAX) return kErrBadArg;
    *rows = 0;
    RowsetFree(out);
    if (uint32_t rc = RowsetCreate(out, int32_t(rowsetSize))) return rc;
    Rowset* rs = *out;
    // Values held by reference come one row per call, so keep asking until the rowset is full
    // or the result ends.
    uint32_t got = 0;
    if (uint32_t rc = scs_p_FetchRows(lower, stmt, 0, rowsetSize, false, rs->data, &got)) {
        RowsetFree(out);
        return rc;
    }
    for (uint32_t i = 0; i < got; ++i) rs->statuses[i] = 0;
    if (!retrieveData) {
        DatasetFree(rs->data);
        DatasetInit(rs->data, 0);
    }
    *rows = got;
    return got ? kErrNone : kErrNoData;
}
