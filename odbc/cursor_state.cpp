// The ODBC side's cursor record (cursor_state.h): its defaults, its position, the rowset SQLSetPos
// works on, and its set-up when a statement is allocated.
#include <cstdlib>
#include <cstring>

#include <sql.h>
#include <sqlext.h>

#include "odbc/cursor_state.h"
#include "util/errtable.h"
#include "util/rowset.h"

void CursorInit(StmtCursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link, CursorOwner* owner) {
    std::memset(c, 0, sizeof *c);
    c->rowsetSize = 1;
    c->keysetSize = 0;
    c->rowsFetched = -1;
    c->cursorType = SQL_CURSOR_FORWARD_ONLY;
    c->concurrency = SQL_CONCUR_READ_ONLY;
    c->savedConcurrency = SQL_CONCUR_READ_ONLY;
    c->retrieveData = 1;
    c->agentStmt = agentStmt;
    c->agentConn = agentConn;
    c->link = link;
    c->owner = owner;
}

void CursorReset(StmtCursor* c) { CursorWindowReset(c); }

void CursorRowBookmarksDrop(StmtCursor* c) { CursorWindowDropBookmarks(c); }

void CursorRowsetFetched(StmtCursor* c, uint32_t rows) { CursorWindowFetched(c, rows); }

uint32_t CursorRowsetByBookmarks(StmtCursor* c, const uint32_t* bookmarks, uint32_t n) {
    return CursorWindowByBookmarks(c, bookmarks, n);
}

uint32_t CursorPosRowsetSize(const StmtCursor* c) { return CursorWindowPosRowsetSize(c); }

bool CursorBookmarkFetched(const StmtCursor* c, uint64_t bookmark) {
    if (c == nullptr || bookmark == 0 || bookmark > 0xFFFFFFFFull) return false;
    if (c->rowBookmarks != nullptr) {
        for (uint32_t i = 0; i < c->rowBookmarkCount; ++i)
            if (c->rowBookmarks[i] == bookmark) return true;
        return false;
    }
    return bookmark >= c->rowsetFirst && bookmark - c->rowsetFirst < c->fetchedRows;
}

uint32_t CursorSetPos(StmtCursor* c, int32_t position) { return CursorWindowSetPos(c, position); }

uint32_t CursorStmtInit(StmtCursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link,
                        CursorOwner* owner, const StmtCursor* connDefaults) {
    CursorInit(c, agentStmt, agentConn, link, owner);
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

void CursorStmtFree(StmtCursor* c) {
    if (c == nullptr) return;
    RowsetFree(&c->rowset);
    CursorRowBookmarksDrop(c);
}
