#include "odbc/stmt.h"

#include <new>

#include "drv_ingii/i-optable.h"
#include "odbc/desc.h"
#include "odbc/diag.h"
#include "odbc/globals.h"

StmtRecord* StmtCreate(ConnRecord* conn) {
    auto* stmt = RecordNew<StmtRecord>();
    if (!stmt) {
        conn->lastError = 16;
        return nullptr;
    }
    stmt->tag = kTagStmt;
    stmt->conn = conn;
    stmt->state = 1;
    stmt->serial = ++conn->stmtCounter;
    // ARD, APD, IRD, IPD, in that order.
    static constexpr uint32_t kTypes[4] = {2, 4, 1, 3};
    DescRecord* made[4] = {};
    for (int i = 0; i < 4; ++i) {
        uint32_t code = 0;
        made[i] = DescCreate(conn, stmt, kTypes[i], 1, &code);
        if (!made[i]) {
            for (int j = 0; j < i; ++j) DescFree(made[j]);
            RecordDelete(stmt);
            conn->lastError = code;
            return nullptr;
        }
    }
    stmt->implicitArd = stmt->ard = made[0];
    stmt->implicitApd = stmt->apd = made[1];
    stmt->ird = made[2];
    stmt->ipd = made[3];
    stmt->next = conn->stmts;
    conn->stmts = stmt;
    return stmt;
}

void StmtCloseCursor(StmtRecord* stmt) {
    stmt->needData = 0;
    if (stmt->state == 2) {
        stmt->state = 1;
        stmt->flags &= uint16_t(~2u);
    }
}

uint32_t StmtAgentCancel(StmtRecord* stmt) {
    if (!stmt->link || !stmt->agentStmt) return 0;  // nothing of the agent's is running
    return AgentCall<DRV_Cancel>(stmt->link, stmt->agentStmt);
}

void StmtFree(StmtRecord* stmt) {
    DescFree(stmt->implicitArd);
    DescFree(stmt->implicitApd);
    DescFree(stmt->ird);
    DescFree(stmt->ipd);
    if (ConnRecord* conn = stmt->conn) {
        for (StmtRecord** p = &conn->stmts; *p; p = &(*p)->next) {
            if (*p == stmt) {
                *p = stmt->next;
                break;
            }
        }
    }
    DiagFreeAll(stmt);
    stmt->tag = kTagFreed;
    stmt->state = 0;
    HandleTableRemove(&g_StmtTable, stmt->handle);
    RecordDelete(stmt);
}
