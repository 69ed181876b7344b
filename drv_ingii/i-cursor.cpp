#include "drv_ingii/i-cursor.h"

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstring>

namespace {
std::atomic<const IngCursorSlotOps*> g_slotOps{nullptr};
}  // namespace

void IngCursorOptionsInit(IngCursorOptions* o, uint32_t agentConn, const AgentLink* link) {
    std::memset(o, 0, sizeof *o);
    o->rowsetSize = 1;
    o->keysetSize = 0;
    o->cursorType = SQL_CURSOR_FORWARD_ONLY;
    o->concurrency = SQL_CONCUR_READ_ONLY;
    o->retrieveData = 1;
    o->agentConn = agentConn;
    o->link = link;
}

void IngSetCursorSlotOps(const IngCursorSlotOps* ops) { g_slotOps.store(ops); }

const IngCursorSlotOps* IngCursorSlotOpsGet() { return g_slotOps.load(); }
