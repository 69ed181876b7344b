// Cursor-state blocks of the statements (the layer's installation and its overrides live in
// sc_install.cpp).
#include <cstring>

#include "scrs/sc_cursor.h"


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
