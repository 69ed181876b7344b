#include "odbc/conn.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "odbc/desc.h"
#include "odbc/diag.h"
#include "odbc/globals.h"
#include "odbc/stmt.h"

ConnRecord* ConnCreate(EnvRecord* env) {
    auto* conn = RecordNew<ConnRecord>();
    if (!conn) {
        env->lastError = 16;
        return nullptr;
    }
    conn->tag = kTagConn;
    conn->env = env;
    conn->next = env->conns;
    env->conns = conn;
    conn->state = 1;
    conn->serial = ++env->connCounter;
    CritSecCreate(&conn->callLock);
    CritSecCreate(&conn->xaLock);
    InfoCacheReset(&conn->infoCache);
    SCS_Cursor& d = conn->cursorDefaults;
    d.rowsetSize = 1;
    d.rowsFetched = -1;
    d.concurrency = d.savedConcurrency = 1;
    d.retrieveData = 1;
    return conn;
}

uint32_t ConnDisconnect(ConnRecord* conn) {
    if (conn->state == 2) {
        while (conn->stmts) {
            StmtRecord* s = conn->stmts;
            StmtCloseCursor(s);
            StmtFree(s);
        }
        conn->state = 1;
    }
    // Explicit descriptors belong to the connection and go with it.
    CritSecGuard g(&HandleLock);
    // The table's own lock too: statements of other connections may grow it meanwhile.
    HandleTableLock(&g_DescTable);
    for (uint32_t i = 0; i < g_DescTable.capacity; ++i) {
        const HandleSlot& slot = g_DescTable.slots[i];
        if (!slot.tag) continue;
        auto* d = static_cast<DescRecord*>(slot.record);
        if (d && d->tag == kTagDesc && d->allocKind == 2 && d->conn == conn) DescFree(d);
    }
    HandleTableUnlock(&g_DescTable);
    free(conn->translateDll);
    conn->translateDll = nullptr;
    conn->opTableKind = 0;
    InfoCacheReset(&conn->infoCache);
    return 0;
}

void ConnFree(ConnRecord* conn) {
    free(conn->dsn);
    conn->dsn = nullptr;
    free(conn->serverText);
    conn->serverText = nullptr;
    free(conn->user);
    conn->user = nullptr;
    if (conn->password) memset(conn->password, 0, strlen(conn->password));
    free(conn->password);
    conn->password = nullptr;
    free(conn->translateDll);
    conn->translateDll = nullptr;
    InfoCacheReset(&conn->infoCache);
    if (EnvRecord* env = conn->env) {
        for (ConnRecord** p = &env->conns; *p; p = &(*p)->next) {
            if (*p == conn) {
                *p = conn->next;
                break;
            }
        }
    }
    DiagFreeAll(conn);
    conn->tag = kTagFreed;
    conn->state = 0;
    HandleTableRemove(&g_ConnTable, conn->handle);
}

void ConnRelease(ConnRecord* conn) {
    CritSecDestroy(&conn->callLock);
    CritSecDestroy(&conn->xaLock);
    RecordDelete(conn);
}
