// Cursor layer entry points. The layer lays its own copy of the operation table over the agent;
// until its scrollable-cursor operations exist, every slot of the copy reaches the layer below.
#include <cstring>
#include <mutex>

#include "scrs/sc_cursor.h"

namespace {
std::mutex g_installLock;
bool g_installed = false;
AgentFuncTable g_layerTable;
AgentLink g_lowerLink;
}  // namespace

uint32_t SCS_CursorInit(SCS_Cursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link, void* owner) {
  if (c == nullptr) return 21;
  std::memset(c, 0, sizeof *c);
  c->rowsetSize = 1;
  c->keysetSize = 0;
  c->rowsFetched = -1;
  c->cursorType = 0;
  c->concurrency = 1;
  c->savedConcurrency = 1;
  c->retrieveData = 1;
  c->agentStmt = agentStmt;
  c->agentConn = agentConn;
  c->link = link;
  c->owner = owner;
  return 0;
}

void SCS_CursorReset(SCS_Cursor* c) {
  if (c == nullptr) return;
  c->rowsFetched = -1;
  c->position = 0;
  c->position2 = 0;
}

uint32_t SCS_CursorSetPos(SCS_Cursor* c, int32_t position) {
  if (c == nullptr) return 21;
  if (position == 0 || position == -3) {
    c->position = c->position2 = position;
    return 0;
  }
  if (position == -2) {
    c->position = position;
    return 0;
  }
  if (position < 0) return 39;
  if (c->rowsFetched != -1 && position > c->rowsFetched) return 39;
  c->position = position;
  return 0;
}

void SCS_InstallLayer(AgentLink* link) {
  if (link == nullptr || link->table == nullptr) return;
  std::lock_guard<std::mutex> guard(g_installLock);
  if (!g_installed) {
    g_layerTable = *link->table;
    g_lowerLink = *link;
    // Slot 0 answers through the layer so its own answers can be added later.
    g_layerTable.op[DRV_GetInfo] = AgentSlotFn<DRV_GetInfo>(SCS_GetInfo);
    g_layerTable.op[DRV_Fetch] = reinterpret_cast<AgentOpFn>(SCS_Fetch);
    g_layerTable.op[DRV_ExtendedFetch] = reinterpret_cast<AgentOpFn>(SCS_ExtendedFetch);
    g_installed = true;
  }
  link->table = &g_layerTable;
}

const AgentFuncTable* SCS_LayerTable() {
  std::lock_guard<std::mutex> guard(g_installLock);
  return g_installed ? &g_layerTable : nullptr;
}

const AgentLink* SCS_LowerLink() { return &g_lowerLink; }

uint32_t SCS_GetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen) {
  return AgentCall<DRV_GetInfo>(&g_lowerLink, h, id, buf, len, outLen);
}

uint32_t SCS_StmtInit(SCS_Cursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link, void* owner,
                      const SCS_Cursor* connDefaults) {
  SCS_CursorInit(c, agentStmt, agentConn, link, owner);
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

uint32_t SCS_RowStatusCheck(SCS_Cursor* c, uint32_t row, uint32_t* out) {
  if (out == nullptr || c == nullptr) return 21;
  *out = 0;
  if (row >= c->rowsetSize) return 21;
  if (c->position <= 0) return 64;
  if (c->cursorType == 3 || (c->cursorType == 1 && c->keysetSize == 0)) return SCS_RowNumber(c, row, out);
  return 43;
}
