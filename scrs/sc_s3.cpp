// The cursor layer's scroll fetch and row accessors as the ODBC side calls them. Forward-only
// cursors are served here and static ones in sc_scroll.cpp; the other scrollable types answer
// "Driver not capable" (43).
#include <cstdint>
#include <cstdlib>

#include "drv_ingii/i-info.h"
#include "odbc/globals.h"
#include "odbc/rowset.h"
#include "odbc/stmt.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_scroll.h"

namespace {

using FetchSlot = uint32_t (*)(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows);
using ExtFetchSlot = uint32_t (*)(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows,
                                  uint32_t* resultRows, uint16_t orientation);

bool NoCurrentRow(int32_t position) { return position == 0 || position == -3 || position == -2; }

bool ForwardOnlyLike(const SCS_Cursor* c) {
    return c->cursorType == 0 || c->cursorType == 2 || (c->cursorType == 1 && c->keysetSize > 0);
}

ConnRecord* OwnerConn(const SCS_Cursor* c) {
    auto* stmt = static_cast<StmtRecord*>(c->owner);
    return stmt ? stmt->conn : nullptr;
}

}  // namespace

void SCS_StmtFree(SCS_Cursor* c) {
    if (c != nullptr) RowsetFree(&c->rowset);
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
    if (out == nullptr || c == nullptr) return 21;
    *out = 0;
    if (ForwardOnlyLike(c)) return 0;
    if (row >= c->rowsetSize) return 21;
    if (NoCurrentRow(c->position)) return 64;
    if (SCS_RowStatusGet(c->rowset, row + 1) == 5) return 41;
    const int64_t number = int64_t(c->rowsetFirst) + row;
    if (number < 1 || number > INT32_MAX) return 39;
    *out = uint32_t(number);
    return 0;
}

uint32_t SCS_RowBookmark(SCS_Cursor* c, uint32_t row, uint32_t* out) {
    if (out == nullptr || c == nullptr || row >= c->rowsetSize) return 21;
    *out = 0;
    if (NoCurrentRow(c->position)) return 64;
    if (c->cursorType == 3 || (c->cursorType == 1 && c->keysetSize == 0)) return SCS_RowNumber(c, row, out);
    return 43;
}

uint32_t SCS_ScrollFetch(SCS_Cursor* c, uint16_t orientation, int64_t offset, uint32_t* rows) {
    if (c == nullptr || rows == nullptr) return 21;
    *rows = 0;
    RowsetFree(&c->rowset);
    if (!(c->flags & kScsRowsetSizeSet)) c->prevRowsetSize = c->rowsetSize;
    if (c->cursorType == 3) return SCS_ScrollFetchScrollable(c, orientation, offset, rows);
    if (c->cursorType != 0) return 43;
    if (orientation != SQL_FETCH_NEXT) return 38;
    if (c->fetchDirMask == 0) {
        uint32_t mask = 0;
        uint16_t len = 0;
        uint32_t rc;
        {
            CritSecGuard g(&ConnectLock);
            rc = AgentInfoItem(c->link, c->agentConn, SQL_FETCH_DIRECTION, &mask, sizeof mask, &len);
        }
        if (rc != 0) return rc;
        c->fetchDirMask = mask;
    }
    if (!(c->fetchDirMask & SQL_FD_FETCH_NEXT)) return 38;

    // After the end a forward-only cursor stays there.
    if (c->position == -3) return 82;
    int64_t start = c->position == 0 ? 1 : int64_t(c->rowsetFirst) + c->prevRowsetSize;
    if (start < 1 || start > INT32_MAX) return 39;  // never wrap into some other row

    c->flags &= ~uint32_t(kScsRowsetSizeSet);
    ConnRecord* conn = OwnerConn(c);
    const bool ext = conn && conn->hasDynMixCurs;
    AgentOpFn fn = (c->link && c->link->table) ? c->link->table->op[ext ? DRV_ExtendedFetch : DRV_Fetch] : nullptr;
    if (fn == nullptr) return 43;
    uint32_t got = 0;
    uint32_t resultRows = uint32_t(c->rowsFetched);
    uint32_t rc = ext ? reinterpret_cast<ExtFetchSlot>(fn)(c->agentStmt, &c->rowset, int32_t(start), &got,
                                                           &resultRows, orientation)
                      : reinterpret_cast<FetchSlot>(fn)(c->agentStmt, &c->rowset, int32_t(start), &got, &resultRows);
    c->rowsFetched = int32_t(resultRows);
    switch (rc) {
        case 0:
            c->position = 1;
            c->rowsetFirst = uint32_t(start);
            *rows = got;
            return 0;
        case 82:
        case 86:
            SCS_CursorSetPos(c, -3);
            return 82;
        case 85:
            SCS_CursorSetPos(c, 0);
            return 82;
        default:
            if (auto* stmt = static_cast<StmtRecord*>(c->owner)) StmtCollectAgentDiag(stmt);
            return rc;
    }
}

uint32_t SCS_ForwardRowsetFetch(const AgentLink* lower, uint32_t stmt, uint32_t rowsetSize, uint32_t retrieveData,
                                Rowset** out, uint32_t* rows) {
    if (out == nullptr || rows == nullptr || rowsetSize == 0 || rowsetSize > INT32_MAX) return 21;
    *rows = 0;
    RowsetFree(out);
    if (uint32_t rc = RowsetCreate(out, int32_t(rowsetSize))) return rc;
    Rowset* rs = *out;
    // Values held by reference come one row per call, so keep asking until the rowset is full
    // or the result ends.
    uint32_t got = 0;
    while (got < rowsetSize) {
        const uint32_t want = rowsetSize - got > 0xFFFF ? 0xFFFF : rowsetSize - got;
        Dataset more{};
        Dataset* into = got == 0 ? rs->data : &more;
        uint32_t rc = AgentCall<DRV_FetchRows>(lower, stmt, uint16_t(want), into);
        if (rc != 0) {
            DatasetFree(&more);
            RowsetFree(out);
            return rc;
        }
        const uint32_t n = into->rows_used;
        if (into == &more) {
            int arc = n ? DatasetAppendRows(rs->data, &more) : 0;
            DatasetFree(&more);
            if (arc != 0) {
                RowsetFree(out);
                return uint32_t(arc);
            }
        }
        if (n == 0) break;
        got += n;
    }
    for (uint32_t i = 0; i < got; ++i) rs->statuses[i] = 0;
    if (!retrieveData) {
        DatasetFree(rs->data);
        DatasetInit(rs->data, 0);
    }
    *rows = got;
    return got ? 0 : 82;
}
