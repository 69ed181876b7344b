// The cursor-state block of an agent statement (sc_cursor.h): its defaults, how the agent makes
// one for each statement, and the entry points on its window.
#include <cstdlib>
#include <cstring>

#include <sql.h>
#include <sqlext.h>

#include "drv_ingii/i-ask.h"
#include "scrs/sc_cursor.h"
#include "util/errtable.h"
#include "util/rowset.h"

uint32_t SCS_CursorInit(SCS_Cursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link) {
    if (c == nullptr) return kErrBadArg;
    std::memset(c, 0, sizeof *c);
    IngCursorOptionsInit(c, agentConn, link);
    c->window.Reset();
    c->savedConcurrency = SQL_CONCUR_READ_ONLY;
    c->analysedKind = -1;
    c->agentStmt = agentStmt;
    return 0;
}

namespace {

// The agent allocates its statements with the C heap, and so came by the block it embedded:
// the block the layer lays over the statement comes the same way.
IngCursorOptions* MakeAgentBlock(uint32_t stmt, uint32_t conn, const AgentLink* link) {
    auto* c = static_cast<SCS_Cursor*>(std::calloc(1, sizeof(SCS_Cursor)));
    if (c != nullptr) SCS_CursorInit(c, stmt, conn, link);
    return c;
}

void ReleaseAgentBlock(IngCursorOptions* block) { std::free(static_cast<SCS_Cursor*>(block)); }

const IngCursorSlotOps kAgentBlockOps{MakeAgentBlock, ReleaseAgentBlock};

}  // namespace

const IngCursorSlotOps* SCS_AgentBlockOps() { return &kAgentBlockOps; }

SCS_Cursor* SCS_StmtBlock(uint32_t stmt) { return static_cast<SCS_Cursor*>(IngAskStmtCursorBlock(stmt)); }

void SCS_CursorReset(SCS_Cursor* c) { c->window.Reset(); }

uint32_t SCS_CursorSetPos(SCS_Cursor* c, int32_t position) { return c->window.SetPos(position); }
