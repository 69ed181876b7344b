// The static cursor's slot fetch on the agent statement: the whole result is read once per
// execution into the static result set, and every rowset is served from it in any order.
#include <sql.h>
#include <sqlext.h>

#include "drv_ingii/i-ask.h"
#include "util/rowset.h"
#include "scrs/sc_keyset.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_fetch.h"
#include "scrs/sc_static.h"
#include "scrs/ss.h"
#include "util/trymem.h"
#include "util/errtable.h"

uint32_t SCS_StaticFill(SCS_Cursor* s) {
    if (s == nullptr) return kErrBadArg;
    SCS_Cursor& c = *s;
    // The fill closes the lower cursor, so a lower cursor open again means a new execution.
    if (c.concurrency != SQL_CONCUR_LOCK && IngAskStmtExecuted(c.agentStmt)) c.layerFlags &= ~kScsLResultCached;
    if (c.layerFlags & kScsLResultCached) return 0;
    if (SCS_KeysetStatic(s)) {
        if (uint32_t rc = SCS_KeysetStaticFill(s)) return rc;
        c.layerFlags |= kScsLResultCached;
        return 0;
    }
    if (c.staticSet == nullptr) {
        if (uint32_t rc = SCS_StaticSetCreate(&c.staticSet)) return rc;
    }
    uint32_t total = 0;
    uint32_t rc = SS_GetRsltSet(c.staticSet, SCS_LowerLink(), c.agentStmt, &total);
    if (rc != 0) {
        c.window.SetResultRows(-1);
        // The rest of the result stays unread: the statement holds nothing of it.
        (void)AgentCall<DRV_CloseCursor>(SCS_LowerLink(), c.agentStmt);
        return rc;
    }
    c.window.SetResultRows(int32_t(total));
    if (c.concurrency != SQL_CONCUR_LOCK) {
        if ((rc = AgentCall<DRV_CloseCursor>(SCS_LowerLink(), c.agentStmt)) != 0) return rc;
    }
    c.layerFlags |= kScsLResultCached;
    return 0;
}

uint32_t SCS_StaticFetch(SCS_Cursor* s, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows) {
    if (s == nullptr || out == nullptr || rows == nullptr || resultRows == nullptr) return kErrBadArg;
    SCS_Cursor& c = *s;
    *rows = 0;
    *resultRows = 0;
    // Only a read-only snapshot needs no set-up of its own.
    if (!(c.layerFlags & kScsLPrepared) && c.concurrency != SQL_CONCUR_READ_ONLY) return kErrCursorState;
    c.posRowCount = -1;
    c.layerFlags &= ~kScsLPosCount;
    if (uint32_t rc = SCS_StaticFill(s)) return rc;
    const int64_t total = c.window.resultRows();
    const int64_t n = c.rowsetSize ? c.rowsetSize : 1;
    *resultRows = uint32_t(total);
    int64_t row = 0;
    if (uint32_t rc = scs_p_StartRow(&c, start, total, n, &row)) return rc;
    RowsetFree(out);
    if (uint32_t rc = RowsetCreate(out, int32_t(n))) return rc;
    Rowset* rs = *out;
    Dataset* got = nullptr;
    if (uint32_t rc = SS_GetRows(c.staticSet, int32_t(row - 1), uint32_t(n), &got)) {
        if (got) DatasetDelete(got);
        RowsetFree(out);
        return rc;
    }
    // The rowset takes the rows over; the emptied holder goes.
    DatasetFree(rs->data);
    *rs->data = *got;
    TryFree(got);
    const uint32_t count = rs->data->rows_used;
    // A snapshot read by keys shows what the row changes did to its rows.
    const bool keyed = SCS_KeysetStatic(s);
    if (keyed) {
        if (uint32_t rc = SCS_KeysetStaticRows(s, uint32_t(row - 1), rs->data)) {
            RowsetFree(out);
            return rc;
        }
    }
    for (uint32_t i = 0; i < count && i < rs->rows; ++i)
        rs->statuses[i] = keyed ? SCS_KeysetStaticStatus(s, uint32_t(row) + i) : 0;
    if (!c.retrieveData) {
        DatasetFree(rs->data);
        DatasetInit(rs->data, 0);
    }
    if (count == 0) {
        RowsetFree(out);
        return kErrNoData;
    }
    c.window.RowsetFrom(uint32_t(row));
    *rows = count;
    return 0;
}

uint32_t SCS_StaticRowsByBookmarks(SCS_Cursor* s, const uint32_t* bookmarks, uint16_t n, uint32_t size,
                                   uint16_t* statuses, Rowset** out) {
    if (s == nullptr || bookmarks == nullptr || statuses == nullptr || out == nullptr || n == 0) return kErrGeneral;
    *out = nullptr;
    SCS_Cursor& c = *s;
    if (c.staticSet == nullptr || !(c.layerFlags & kScsLResultCached) || c.window.resultRows() < 0) return kErrGeneral;
    Rowset* rs = nullptr;
    if (uint32_t rc = RowsetCreate(&rs, int32_t(size > n ? size : n))) return rc;
    uint32_t rc = 0;
    for (uint16_t i = 0; rc == 0 && i < n; ++i) {
        if (bookmarks[i] == 0 || int64_t(bookmarks[i]) > c.window.resultRows()) {
            rc = kErrGeneral;
            break;
        }
        Dataset* row = nullptr;
        rc = SS_GetRows(c.staticSet, int32_t(bookmarks[i] - 1), 1, &row);
        if (rc == 0 && (row == nullptr || row->rows_used != 1)) rc = kErrGeneral;
        if (rc == 0 && rs->data->col_count == 0) {
            DatasetFree(rs->data);
            *rs->data = *row;
            TryFree(row);
            row = nullptr;
        } else if (rc == 0) {
            rc = uint32_t(DatasetAppendRows(rs->data, row));
        }
        if (row) DatasetDelete(row);
        statuses[i] = 0;
        rs->statuses[i] = 0;
    }
    if (rc != 0) {
        RowsetFree(&rs);
        return rc;
    }
    rs->rows = n;
    *out = rs;
    return 0;
}
