// Cursor-state blocks of the statements (the layer's installation and its overrides live in
// sc_install.cpp).
#include <cstring>

#include <sql.h>
#include <sqlext.h>

#include "scrs/sc_cursor.h"
#include "util/errtable.h"

void SCS_CursorReset(SCS_Cursor* c) {
    if (c == nullptr) return;
    c->rowsFetched = -1;
    c->position = kCursorBeforeFirst;
    c->position2 = kCursorBeforeFirst;
}

uint32_t SCS_CursorSetPos(SCS_Cursor* c, int32_t position) {
    if (c == nullptr) return kErrBadArg;
    if (position == kCursorBeforeFirst || position == kCursorAfterLast) {
        c->position = c->position2 = position;
        return 0;
    }
    if (position == kCursorWholeRowset) {
        c->position = position;
        return 0;
    }
    if (position < 0) return kErrRowRange;
    if (c->rowsFetched != -1 && position > c->rowsFetched) return kErrRowRange;
    c->position = position;
    return 0;
}

uint32_t SCS_StmtInit(SCS_Cursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link,
                      SCS_StmtOwner* owner, const SCS_Cursor* connDefaults) {
    SCS_CursorInit(c, agentStmt, agentConn, link, owner);
    c->rowset = nullptr;
    c->rowsetFirst = 0;
    if (connDefaults != nullptr) {
        c->rowsetSize = connDefaults->rowsetSize;
        c->keysetSize = connDefaults->keysetSize;
        c->cursorType = connDefaults->cursorType;
        c->concurrency = connDefaults->concurrency;
        c->simulateCursor = connDefaults->simulateCursor;
        c->useBookmarks = connDefaults->useBookmarks;
        c->retrieveData = connDefaults->retrieveData;
    }
    return 0;
}

uint32_t SCS_RowStatusCheck(SCS_Cursor* c, uint32_t row, uint32_t* out) {
    if (out == nullptr || c == nullptr) return kErrBadArg;
    *out = 0;
    if (row >= c->rowsetSize) return kErrBadArg;
    if (c->position <= 0) return kErrCursorState;
    if (c->cursorType == SQL_CURSOR_STATIC || (c->cursorType == SQL_CURSOR_KEYSET_DRIVEN && c->keysetSize == 0))
        return SCS_RowNumber(c, row, out);
    return kErrNotCapable;
}
