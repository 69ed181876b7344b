// Collecting the agent's messages (slot 2 of the operation table) into driver diagnostics.
#include "drv_ingii/i-optable.h"
#include "odbc/diag.h"
#include "util/dataset.h"

namespace {

int Collect(const AgentLink* link, uint32_t agentHandle, HandleBase* into) {
    if (!link || !link->table || !agentHandle) return 0;
    AgentErrors errors{};
    if (AgentCall<DRV_GetErrors>(link, agentHandle, &errors) != 0) {
        AgentErrorsFree(&errors);
        return 0;
    }
    int posted = 0;
    for (uint32_t i = 0; i < errors.count; ++i) {
        if (!errors.texts || !errors.texts[i]) continue;
        DiagPost(into, errors.texts[i], errors.native);
        ++posted;
    }
    AgentErrorsFree(&errors);
    return posted;
}

}  // namespace

int DiagCollectServer(ConnRecord* conn) { return Collect(&conn->link, conn->agentServer, conn); }

int DiagCollectConn(ConnRecord* conn, StmtRecord* stmt) {
    HandleBase* into = stmt ? static_cast<HandleBase*>(stmt) : conn;
    return Collect(&conn->link, conn->agentConn, into);
}

int DiagCollectStmt(StmtRecord* stmt) {
    int n = Collect(stmt->link, stmt->agentStmt, stmt);
    if (stmt->conn) n += DiagCollectConn(stmt->conn, stmt);
    return n > 0 ? 1 : 0;
}
