#include "drv_ingii/i-ask.h"

#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-glob.h"

bool IngAskStmtPrepared(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    return s != nullptr && (s->state & kStmtPrepared) != 0;
}

bool IngAskStmtExecuted(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    return s != nullptr && (s->state & kStmtExecuted) != 0;
}

IngDiagList* IngAskStmtMessages(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    return s != nullptr ? &s->messages : nullptr;
}

IngCursorOptions* IngAskStmtCursorBlock(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    return s != nullptr && s->cursorSlotOps != nullptr ? s->cursorOpts : nullptr;
}

bool IngAskConnXaSlot(uint32_t conn, void** slot) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return false;
    *slot = c->xaSlot;
    return true;
}

bool IngAskStmtXaSlot(uint32_t stmt, void** slot) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr || s->conn == nullptr) return false;
    *slot = s->conn->xaSlot;
    return true;
}

bool IngTellConnXaSlot(uint32_t conn, void* slot) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return false;
    c->xaSlot = slot;
    return true;
}
