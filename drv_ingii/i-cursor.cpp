// The cursor-state block's defaults, shared by the agent's statements and the ODBC side's.
#include "drv_ingii/i-cursor.h"
#include <sql.h>
#include <sqlext.h>

#include "util/errtable.h"

#include <cstring>

uint32_t SCS_CursorInit(SCS_Cursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link,
                        SCS_StmtOwner* owner) {
    if (c == nullptr) return kErrBadArg;
    std::memset(c, 0, sizeof *c);
    c->rowsetSize = 1;
    c->keysetSize = 0;
    c->rowsFetched = -1;
    c->cursorType = SQL_CURSOR_FORWARD_ONLY;
    c->concurrency = SQL_CONCUR_READ_ONLY;
    c->savedConcurrency = SQL_CONCUR_READ_ONLY;
    c->retrieveData = 1;
    c->analysedKind = -1;
    c->agentStmt = agentStmt;
    c->agentConn = agentConn;
    c->link = link;
    c->owner = owner;
    return 0;
}
