// The ODBC side's cursor record (cursor_state.h): its defaults and its set-up when a statement is
// allocated.
#include <cstring>

#include <sql.h>
#include <sqlext.h>

#include "odbc/cursor_state.h"
#include "util/rowset.h"

void CursorInit(StmtCursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link, CursorOwner* owner) {
    std::memset(c, 0, sizeof *c);
    c->rowsetSize = 1;
    c->keysetSize = 0;
    c->window.Reset();
    c->cursorType = SQL_CURSOR_FORWARD_ONLY;
    c->concurrency = SQL_CONCUR_READ_ONLY;
    c->savedConcurrency = SQL_CONCUR_READ_ONLY;
    c->retrieveData = 1;
    c->agentStmt = agentStmt;
    c->agentConn = agentConn;
    c->link = link;
    c->owner = owner;
}

uint32_t CursorStmtInit(StmtCursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link,
                        CursorOwner* owner, const StmtCursor* connDefaults) {
    CursorInit(c, agentStmt, agentConn, link, owner);
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
    c->window.DropBookmarks();
}
