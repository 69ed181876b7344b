#include "drv_ingii/i-ask.h"

#include <cstring>

#include "drv_ingii/i-coltype.h"
#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-glob.h"
#include "util/dataset.h"
#include "util/strutil.h"

namespace {

// One word of a statement's record; 0 for an unknown handle.
uint32_t StmtWord(uint32_t stmt, uint32_t IngStmt::*word) {
    IngStmt* s = IngStmtFind(stmt);
    return s != nullptr ? s->*word : 0;
}

bool StmtStateHas(uint32_t stmt, uint16_t bit) {
    IngStmt* s = IngStmtFind(stmt);
    return s != nullptr && (s->state & bit) != 0;
}

}  // namespace

bool IngAskStmtPrepared(uint32_t stmt) { return StmtStateHas(stmt, kStmtPrepared); }
bool IngAskStmtExecuted(uint32_t stmt) { return StmtStateHas(stmt, kStmtExecuted); }

IngDiagList* IngAskStmtMessages(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    return s != nullptr ? &s->messages : nullptr;
}

uint32_t IngTellStmtCause(uint32_t stmt, uint32_t code, const char* text) {
    if (IngDiagList* m = IngAskStmtMessages(stmt)) IngDiagPostDriver(m, text, code);
    return code;
}

const char* IngAskStmtSource(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    return s != nullptr ? s->text.source : nullptr;
}

const char* IngAskStmtIngresText(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    return s != nullptr ? s->text.ingres : nullptr;
}

uint32_t IngAskStmtMaxRows(uint32_t stmt) { return StmtWord(stmt, &IngStmt::maxRows); }
uint32_t IngAskStmtMaxLength(uint32_t stmt) { return StmtWord(stmt, &IngStmt::maxLength); }
uint32_t IngAskStmtDescribeKeys(uint32_t stmt) { return StmtWord(stmt, &IngStmt::describeKeys); }
uint32_t IngAskStmtDescribeAddKeys(uint32_t stmt) { return StmtWord(stmt, &IngStmt::describeAddKeys); }

uint32_t IngAskStmtMarkers(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    return s != nullptr ? s->text.markers : 0;
}

uint32_t IngAskConnCursorStmt(uint32_t conn, const char* name, bool exact) {
    if (name == nullptr || name[0] == '\0') return 0;
    uint32_t found = 0;
    HandleTableLock(&g_ingStmtTable);
    for (uint32_t i = 0; found == 0 && i < g_ingStmtTable.capacity; ++i) {
        if (g_ingStmtTable.slots[i].tag == 0) continue;
        auto* s = static_cast<IngStmt*>(g_ingStmtTable.slots[i].record);
        if (s == nullptr || s->conn == nullptr || s->conn->handle != conn || s->cursorName == nullptr) continue;
        if (exact ? std::strcmp(s->cursorName, name) == 0 : AsciiCaseCompare(s->cursorName, name) == 0)
            found = s->handle;
    }
    HandleTableUnlock(&g_ingStmtTable);
    return found;
}

uint32_t IngAskStmtConn(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    return s != nullptr && s->conn != nullptr ? s->conn->handle : 0;
}

bool IngTellStmtParamType(uint32_t stmt, uint32_t index, const ColumnInfo& from) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr || s->paramInfo == nullptr || index >= s->paramCount) return false;
    ColumnInfo& dst = s->paramInfo[index];
    IngTakeColumnType(dst, from);
    dst.nullable = (dst.nullable & ~0xFu) | (from.nullable & 0xFu);
    return true;
}

void IngTellStmtParamsDescribed(uint32_t stmt) {
    if (IngStmt* s = IngStmtFind(stmt)) s->paramsDescribed = 1;
}

void IngTellStmtPositionWord(uint32_t stmt, uint32_t value) {
    if (IngStmt* s = IngStmtFind(stmt)) s->positionWord = value;
}

bool IngAskConnKnown(uint32_t conn) { return IngConnFind(conn) != nullptr; }

IngDiagList* IngAskConnMessages(uint32_t conn) {
    IngConn* c = IngConnFind(conn);
    return c != nullptr ? &c->messages : nullptr;
}

IngServerLayerWords* IngAskServerLayerWords(uint32_t server) {
    IngServer* sv = IngServerFind(server);
    return sv != nullptr ? &sv->layerWords : nullptr;
}

uint32_t IngAskConnServer(uint32_t conn) {
    IngConn* c = IngConnFind(conn);
    return c != nullptr ? c->serverHandle : 0;
}

const IngDsnSettings* IngAskConnSettings(uint32_t conn) {
    IngConn* c = IngConnFind(conn);
    return c != nullptr ? &c->dsn : nullptr;
}

void* IngAskConnKeyColCache(uint32_t conn) {
    IngConn* c = IngConnFind(conn);
    return c != nullptr ? c->keyColCache : nullptr;
}

bool IngTellConnServer(uint32_t conn, uint32_t server) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return false;
    c->serverHandle = server;
    return true;
}

bool IngTellConnKeyColCache(uint32_t conn, void* cache) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return false;
    c->keyColCache = cache;
    return true;
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
