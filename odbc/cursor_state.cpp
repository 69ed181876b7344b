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

void CursorReset(StmtCursor* c) {
    if (c == nullptr) return;
    c->rowsFetched = -1;
    c->position = kCursorBeforeFirst;
    c->position2 = kCursorBeforeFirst;
    c->posRowsetSize = 0;
    c->bulkRowsetSize = 0;
    c->fetchedRows = 0;
    CursorRowBookmarksDrop(c);
}

void CursorRowBookmarksDrop(StmtCursor* c) {
    if (c == nullptr) return;
    std::free(c->rowBookmarks);
    c->rowBookmarks = nullptr;
    c->rowBookmarkCount = 0;
}

void CursorRowsetFetched(StmtCursor* c, uint32_t rows) {
    if (c == nullptr) return;
    CursorRowBookmarksDrop(c);
    c->posRowsetSize = c->rowsetSize ? c->rowsetSize : 1;
    c->bulkRowsetSize = 0;
    c->fetchedRows = rows;
}

uint32_t CursorRowsetByBookmarks(StmtCursor* c, const uint32_t* bookmarks, uint32_t n) {
    if (c == nullptr || (bookmarks == nullptr && n != 0)) return kErrBadArg;
    auto* copy = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * (n ? n : 1)));
    if (copy == nullptr) return kErrNoMemory;
    if (n) std::memcpy(copy, bookmarks, sizeof(uint32_t) * n);
    CursorRowBookmarksDrop(c);
    c->rowBookmarks = copy;
    c->rowBookmarkCount = n;
    c->fetchedRows = n;
    return 0;
}

uint32_t CursorPosRowsetSize(const StmtCursor* c) {
    if (c == nullptr) return 1;
    if (c->bulkRowsetSize) return c->bulkRowsetSize;
    if (c->posRowsetSize) return c->posRowsetSize;
    return c->rowsetSize ? c->rowsetSize : 1;
}

bool CursorBookmarkFetched(const StmtCursor* c, uint64_t bookmark) {
    if (c == nullptr || bookmark == 0 || bookmark > 0xFFFFFFFFull) return false;
    if (c->rowBookmarks != nullptr) {
        for (uint32_t i = 0; i < c->rowBookmarkCount; ++i)
            if (c->rowBookmarks[i] == bookmark) return true;
        return false;
    }
    return bookmark >= c->rowsetFirst && bookmark - c->rowsetFirst < c->fetchedRows;
}

uint32_t CursorSetPos(StmtCursor* c, int32_t position) {
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
