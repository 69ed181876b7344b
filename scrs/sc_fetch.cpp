// The cursor layer's fetch slots (36 and 41) on the agent statement: the statement's own cursor
// block decides which of the layer's fetches makes the rowset (static, keyset-driven, mixed,
// dynamic), and forward-only rowsets are read here.
#include "drv_ingii/i-attr.h"
#include <sql.h>
#include <sqlext.h>

#include "scrs/sc_catalog.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_dynamic.h"
#include "scrs/sc_fetch.h"
#include "scrs/sc_fetchrows.h"
#include "scrs/sc_keyset.h"
#include "scrs/sc_static.h"
#include "scrs/scr_analyse.h"
#include "util/errtable.h"
#include "util/rowset.h"

namespace {

uint32_t FetchByType(SCS_Cursor* s, uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows,
                     uint16_t orientation) {
    SCS_Cursor* c = s;
    *rows = 0;
    *resultRows = 0;
    if (c->cursorType == SQL_CURSOR_STATIC) return SCS_StaticFetch(s, out, start, rows, resultRows);
    if (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN) {
        if (!(c->layerFlags & kScsLPrepared) || !SCS_KeysetReady(s)) return kErrCursorState;
        c->posRowCount = -1;
        c->layerFlags &= ~kScsLPosCount;
        if (SCS_KeysetShape(s) & SCR_F_AGGREGATE) {
            // One row of a scalar aggregate, read forward whatever the direction.
            if (orientation == 0) return kErrNotCapable;
        } else if (c->keysetSize == 0) {
            return SCS_KeysetFetch(s, out, start, rows, resultRows);
        } else {
            if (orientation == 0) return kErrNotCapable;
            return SCS_MixedFetch(s, out, start, orientation, rows, resultRows);
        }
    } else if (c->cursorType == SQL_CURSOR_DYNAMIC) {
        if (!(c->layerFlags & kScsLPrepared) || !SCS_KeysetReady(s)) return kErrCursorState;
        c->posRowCount = -1;
        c->layerFlags &= ~kScsLPosCount;
        if (orientation == 0) return kErrNotCapable;
        if (!(SCS_KeysetShape(s) & SCR_F_AGGREGATE))
            return SCS_DynamicFetch(s, out, start, orientation, rows, resultRows);
    } else if (c->cursorType != SQL_CURSOR_FORWARD_ONLY) {
        return kErrNotCapable;
    }
    uint32_t rc = SCS_ForwardRowsetFetch(SCS_LowerLink(), stmt, c->rowsetSize, c->retrieveData, out, rows);
    *resultRows = uint32_t(c->window.resultRows());
    if (rc == 0) c->window.RowsetWhereKept();
    return rc;
}

}  // namespace

uint32_t scs_p_StartRow(SCS_Cursor* c, int32_t start, int64_t total, int64_t n, int64_t* row) {
    *row = start;
    if (start == 0)
        *row = total - n + 1 >= 1 ? total - n + 1 : 1;
    else if (start < 0)
        *row = total + start + 1;
    // Counted from the end past the first row but within one rowset of it: the first rowset, as
    // when the count was known to the caller.
    if (start < 0 && *row < 1 && -int64_t(start) <= n) *row = 1;
    if (*row < 1) {
        SCS_CursorSetPos(c, kCursorBeforeFirst);
        return kErrBeforeStart;
    }
    if (*row > total) {
        SCS_CursorSetPos(c, kCursorAfterLast);
        return kErrBeyondEnd;
    }
    return 0;
}

ErrCode SCS_ExtendedFetch(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows,
                          uint16_t orientation) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr || out == nullptr || rows == nullptr || resultRows == nullptr) return kErrBadArg;
    SCS_Cursor* c = s;
    // Row changes name the rows this fetch delivers, at the rowset size it runs with (the rows it
    // locks among them).
    // A window kept by the layer moves on by the rowset it handed out last.
    c->window.NextMovesBy(c->window.PosRowsetSize(c->rowsetSize));
    c->window.Fetched(c->rowsetSize, 0);
    SCS_StmtQuietOwn(s);
    const uint32_t rc = FetchByType(s, stmt, out, start, rows, resultRows, orientation);
    if (rc == 0) c->window.Delivered(*rows);
    return ErrCode(SCS_StmtFailureCause(s, rc));
}

ErrCode SCS_Fetch(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows) {
    return SCS_ExtendedFetch(stmt, out, start, rows, resultRows, 0);
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
