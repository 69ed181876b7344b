// The agent's statement record: allocation, release, cursor names and closing the result.
#include "drv_ingii/i-desc.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/ingutil.h"

uint32_t IngAllocStmt(uint32_t conn, uint32_t* out) {
  if (out == nullptr) return kIngErrBadArg;
  *out = 0;
  IngConn* c = IngConnFind(conn);
  if (c == nullptr) return kIngErrBadArg;
  auto* s = static_cast<IngStmt*>(std::calloc(1, sizeof(IngStmt)));
  if (s == nullptr) return kIngErrNoMemory;
  // Names must differ between live statements; address bits repeat on 64-bit systems, a
  // process-wide serial number does not.
  static std::atomic<uint32_t> serial{0};
  char name[32];
  auto id = static_cast<unsigned long>(serial.fetch_add(1) + 1);
  std::snprintf(name, sizeof name, "CN%lX", id);
  s->cursorName = strdup(name);
  std::snprintf(name, sizeof name, "ST%lX", id);
  s->stmtName = strdup(name);
  if (s->cursorName == nullptr || s->stmtName == nullptr) {
    std::free(s->cursorName);
    std::free(s->stmtName);
    std::free(s);
    return kIngErrNoMemory;
  }
  s->conn = c;
  s->maxRows = c->dsn.maxRows > 0 ? uint32_t(c->dsn.maxRows) : 0;
  uint32_t h = 0;
  uint32_t rc = HandleTableAdd(&g_ingStmtTable, &h, s);
  if (rc != 0) {
    std::free(s->cursorName);
    std::free(s->stmtName);
    std::free(s);
    return rc;
  }
  SCS_CursorInit(&s->cursor, h, conn, IngStatementLink(), s);
  s->handle = h;
  *out = h;
  return 0;
}

void IngStmtCloseResult(IngStmt* s) {
  s->state &= uint16_t(~(kStmtExecuted | kStmtEndOfData | kStmtOutputPending));
  s->rowsDelivered = 0;
  if (s->state & kStmtCursorOpen) {
    IICloseStmt(&s->stmtHandle, &s->messages);
    s->state &= uint16_t(~kStmtCursorOpen);
  }
}

uint32_t IngFreeStmt(uint32_t stmt) {
  IngStmt* s = IngStmtFind(stmt);
  if (s == nullptr) return kIngErrBadArg;
  IngStmtCloseResult(s);
  IICloseStmt(&s->stmtHandle, nullptr);
  std::free(s->text.source);
  std::free(s->text.ingres);
  std::free(s->cursorName);
  std::free(s->stmtName);
  IngDiagClear(&s->messages);
  HandleTableRemove(&g_ingStmtTable, stmt);
  std::free(s);
  return 0;
}

uint32_t IngGetCursorName(uint32_t stmt, char* buf, uint16_t len, uint16_t* outLen) {
  IngStmt* s = IngStmtFind(stmt);
  if (s == nullptr) return kIngErrBadArg;
  size_t n = std::strlen(s->cursorName);
  if (outLen) *outLen = uint16_t(n > 0xFFFF ? 0xFFFF : n);
  if (buf == nullptr || len == 0) return n == 0 ? 0u : kIngErrTruncated;
  if (n < len) {
    std::memcpy(buf, s->cursorName, n + 1);
    return 0;
  }
  std::memcpy(buf, s->cursorName, len - 1u);
  buf[len - 1] = '\0';
  return kIngErrTruncated;
}

uint32_t IngSetCursorName(uint32_t stmt, const char* name) {
  IngStmt* s = IngStmtFind(stmt);
  if (s == nullptr || name == nullptr) return kIngErrBadArg;
  char* copy = strdup(name);
  if (copy == nullptr) return kIngErrNoMemory;
  std::free(s->cursorName);
  s->cursorName = copy;
  return 0;
}

uint32_t IngCloseCursor(uint32_t stmt) {
  IngStmt* s = IngStmtFind(stmt);
  if (s == nullptr) return kIngErrBadArg;
  IngStmtCloseResult(s);
  return 0;
}
