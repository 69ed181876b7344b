#include "odbc/stmt.h"
#include "odbc/setpos.h"

#include <cstdlib>
#include <new>

#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "odbc/datapath.h"
#include "odbc/datapath_agent.h"
#include "odbc/desc.h"
#include "odbc/diag.h"
#include "odbc/globals.h"
#include "odbc/stmt_state.h"
#include "odbc/trace_link.h"
#include "util/hash.h"
#include "util/errtable.h"

StmtRecord* StmtCreate(ConnRecord* conn) {
    auto* stmt = RecordNew<StmtRecord>();
    if (!stmt) {
        conn->lastError = kErrNoMemory;
        return nullptr;
    }
    uint32_t agentStmt = 0;
    if (ErrCode rc = AgentCall<DRV_AllocStmt>(&conn->link, conn->agentConn, &agentStmt)) {
        if (GwTraceOn()) GwTrace("Unable to allocate statement handle");
        RecordDelete(stmt);
        conn->lastError = rc;
        return nullptr;
    }
    stmt->tag = kTagStmt;
    stmt->conn = conn;
    stmt->link = &conn->link;
    stmt->agentStmt = agentStmt;
    stmt->next = conn->stmts;
    conn->stmts = stmt;
    StmtToAllocated(stmt);
    stmt->lastError = 0;
    stmt->serial = ++conn->stmtCounter;
    stmt->rowsPerBlock = 1;
    stmt->paramsetSize = 1;
    stmt->rowBindType = conn->defBindType;
    // Statement options the connection keeps as defaults for its new statements.
    stmt->queryTimeout = conn->defQueryTimeout;
    stmt->maxRows = conn->defMaxRows;
    stmt->noScan = uint32_t(conn->defNoScan);
    stmt->maxLength = conn->defMaxLength;
    stmt->asyncEnable = conn->asyncEnable;
    if (conn->needBind == 1) stmt->flags |= kSfNeedBind;

    stmt->cursorOwner.stmt = stmt;
    uint32_t code = CursorStmtInit(&stmt->cursor, agentStmt, conn->agentConn, stmt->link, &stmt->cursorOwner,
                                   &conn->cursorDefaults);
    // ARD, APD, IRD, IPD, in that order.
    static constexpr uint32_t kTypes[4] = {2, 4, 1, 3};
    DescRecord* made[4] = {};
    int madeCount = 0;
    for (; code == 0 && madeCount < 4; ++madeCount) {
        made[madeCount] = DescCreate(conn, stmt, kTypes[madeCount], SQL_DESC_ALLOC_AUTO, &code);
        if (!made[madeCount]) break;
    }
    if (code != 0) {
        for (int j = 0; j < 4; ++j)
            if (made[j]) DescFree(made[j]);
        AgentCall<DRV_FreeStmt>(&conn->link, agentStmt);
        CursorStmtFree(&stmt->cursor);
        conn->stmts = stmt->next;
        RecordDelete(stmt);
        conn->lastError = code;
        return nullptr;
    }
    stmt->implicitArd = stmt->ard = made[0];
    stmt->implicitApd = stmt->apd = made[1];
    stmt->ird = made[2];
    stmt->ipd = made[3];
    stmt->fetchedCount = 0;
    return stmt;
}

StmtRecord* StmtFind(uint32_t handle) {
    auto* stmt = static_cast<StmtRecord*>(HandleTableGet(&g_StmtTable, handle));
    if (!stmt || stmt->tag != kTagStmt) return nullptr;
    stmt->lastError = 0;
    return stmt;
}

void StmtCloseCursor(StmtRecord* stmt) {
    StmtNeedDataEnd(stmt);
    AgentDaeDrop(stmt);
    stmt->cursor.window.Reset();
    if (StmtDescribable(stmt)) {
        StmtResetCursorPos(stmt);
        AgentCall<DRV_CloseCursor>(stmt->link, stmt->agentStmt);
        StmtToClosed(stmt);
    }
    StmtFreeKeyInfo(stmt);
}

void StmtCollectAgentDiag(StmtRecord* stmt) {
    if (stmt) DiagCollectStmt(stmt);
}

uint32_t StmtAgentCancel(StmtRecord* stmt) {
    if (!stmt->link || !stmt->agentStmt) return 0;  // nothing of the agent's is running
    return AgentCall<DRV_Cancel>(stmt->link, stmt->agentStmt);
}

void StmtFree(StmtRecord* stmt) {
    StmtFreeKeyInfo(stmt);
    StmtFreeResultCols(stmt);
    // An allocated descriptor in use as the ARD or APD belongs to the connection and keeps its
    // records: unbinding works on the statement's own ones.
    stmt->ard = stmt->implicitArd;
    stmt->apd = stmt->implicitApd;
    StmtUnbindCols(stmt);
    StmtResetParams(stmt);
    DescFree(stmt->implicitArd);
    DescFree(stmt->implicitApd);
    DescFree(stmt->ird);
    DescFree(stmt->ipd);
    if (stmt->agentStmt) AgentCall<DRV_FreeStmt>(stmt->link, stmt->agentStmt);
    CursorStmtFree(&stmt->cursor);
    LongDataFree(&stmt->longData);
    DatasetFree(&stmt->block);
    StmtRowOpsFree(stmt);
    if (ConnRecord* conn = stmt->conn) {
        for (StmtRecord** p = &conn->stmts; *p; p = &(*p)->next) {
            if (*p == stmt) {
                *p = stmt->next;
                break;
            }
        }
    }
    DiagFreeAll(stmt);
    StmtToFreed(stmt);
    DriverHandleRemove(&g_StmtTable, stmt);
    RecordDelete(stmt);
}

bool StmtCursorOwner::UsesExtendedFetch() const { return stmt->conn && stmt->conn->hasDynMixCurs; }

uint32_t StmtCursorOwner::ConnectionInfo(uint16_t infoType, uint32_t* value) {
    uint16_t len = 0;
    CritSecGuard g(&ConnectLock);
    return AgentInfoItem(stmt->cursor.link, stmt->cursor.agentConn, infoType, value, sizeof *value, &len);
}

void StmtCursorOwner::CollectAgentDiagnostics() { StmtCollectAgentDiag(stmt); }
