#include "odbc/conn.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "drv_ingii/i-connparams.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "odbc/desc.h"
#include "odbc/diag.h"
#include "odbc/env.h"
#include "odbc/globals.h"
#include "odbc/stmt.h"
#include "odbc/trace_link.h"
#include "xa/xa_agent.h"
#include "util/errtable.h"

namespace {

// Agent property ids the connection reads and sets.

constexpr char kWideMarker[4] = {'W', 0x7F, 0x01, 0x01};

// A 4-byte agent item; false when the agent does not answer it.
bool ReadItem(ConnRecord* conn, uint32_t id, uint32_t* value) {
    uint32_t v = 0;
    uint16_t len = 0;
    if (AgentCall<DRV_GetInfo>(&conn->link, conn->agentConn, id, static_cast<void*>(&v), uint16_t(sizeof v), &len) != 0)
        return false;
    *value = v;
    return true;
}

bool SetItem(ConnRecord* conn, uint32_t id, uint32_t value) {
    return AgentCall<DRV_SetOption>(&conn->link, conn->agentConn, id, static_cast<void*>(&value)) == 0;
}

// A failed open: the text goes to the trace and the diagnostics; the last error (08004 unless
// the agent gave its own) stands.
void OpenFailed(ConnRecord* conn, const char* text) {
    if (GwTraceOn()) GwTrace("ConnOpen: %s", text);
    DiagPost(conn, text, 0);
}

void ReleaseServer(ConnRecord* conn) {
    if (conn->agentServer) AgentCall<DRV_ServerFree>(&conn->link, conn->agentServer);
    conn->agentServer = 0;
    conn->agentConn = 0;
}

void FreeText(char*& text) {
    free(text);
    text = nullptr;
}

// The capability words from single items, for an agent without the mask.
void ReadCapabilityItems(ConnRecord* conn) {
    static const struct {
        uint32_t id;
        uint32_t ConnRecord::*word;
    } kItems[] = {
        {kPropNeedBind, &ConnRecord::needBind},
        {kPropHasMoreResults, &ConnRecord::hasMoreRes},
        {kPropHasParamArrays, &ConnRecord::hasParamOp},
        {kPropHasScrollCursors, &ConnRecord::hasScrlCurs},
        {kPropHasDynMixCursors, &ConnRecord::hasDynMixCurs},
        {kPropHasV2DataAtExec, &ConnRecord::hasV2DAE},
        {kPropSpOutDeferFetch, &ConnRecord::spOutDeferFetch},
        {kPropHasExecute2, &ConnRecord::hasExecute2},
    };
    for (const auto& item : kItems) {
        uint32_t v = 0;
        if (ReadItem(conn, item.id, &v) && v != 0) conn->*item.word = 1;
    }
    conn->flags &= uint16_t(~kConnFlagAutocommit);
    uint32_t v = 0;
    if (ReadItem(conn, kPropAutocommit, &v) && v != 0) conn->flags |= kConnFlagAutocommit;
}

// Explicit descriptors belong to the connection and go with it.
void FreeExplicitDescriptors(ConnRecord* conn) {
    HandleLockGuard g;
    // The table's own lock too: statements of other connections may grow it meanwhile.
    HandleTableLock(&g_DescTable);
    for (uint32_t i = 0; i < g_DescTable.capacity; ++i) {
        const HandleSlot& slot = g_DescTable.slots[i];
        if (!slot.tag) continue;
        auto* d = static_cast<DescRecord*>(slot.record);
        if (d && d->tag == kTagDesc && d->allocKind == SQL_DESC_ALLOC_USER && d->conn == conn) DescFree(d);
    }
    HandleTableUnlock(&g_DescTable);
}

}  // namespace

ConnRecord* ConnCreate(EnvRecord* env) {
    auto* conn = RecordNew<ConnRecord>();
    if (!conn) {
        env->lastError = kErrNoMemory;
        return nullptr;
    }
    conn->tag = kTagConn;
    conn->env = env;
    conn->next = env->conns;
    env->conns = conn;
    conn->lastError = 0;
    conn->state = kConnStateAllocated;
    conn->loginTimeout = 120;
    conn->failover = nullptr;
    conn->flags = kConnFlagAutocommit;
    conn->serial = ++env->connCounter;
    conn->defQueryTimeout = 0;
    conn->defMaxRows = 0;
    CursorDefaultsInit(&conn->cursorDefaults);
    conn->enlisted = 0;
    CritSecCreate(&conn->xaLock);
    TokenLockCreate(&conn->callLock);
    InfoCacheReset(&conn->infoCache);
    return conn;
}

std::string ConnServerAddress(const char* host, const char* port) {
    std::string h = host ? host : "";
    if (!port || !*port) return h;
    // The whole port text must be a number from 1 to 65535.
    long n = 0;
    for (const char* p = port; *p; ++p) {
        if (*p < '0' || *p > '9' || n > 65535) return h;
        n = n * 10 + (*p - '0');
    }
    if (n < 1 || n > 65535) return h;
    if (h.size() + std::strlen(port) >= 255) return h;
    return h + ":" + port;
}

void ConnApplyCapabilityMask(ConnRecord* conn, uint32_t mask) {
    struct Word {
        uint32_t bit;
        uint32_t ConnRecord::*word;
    };
    static constexpr Word kWords[] = {
        {kCapNeedBind, &ConnRecord::needBind},
        {kCapMoreResults, &ConnRecord::hasMoreRes},
        {kCapParamArrays, &ConnRecord::hasParamOp},
        {kCapScrollCursors, &ConnRecord::hasScrlCurs},
        {kCapDynMixCursors, &ConnRecord::hasDynMixCurs},
        {kCapV2DataAtExec, &ConnRecord::hasV2DAE},
        {kCapSpOutDeferFetch, &ConnRecord::spOutDeferFetch},
        {kCapExecute2, &ConnRecord::hasExecute2},
        {kCapConvertInfo, &ConnRecord::capConvInfo},
        {kCapDescribeWithAttrs, &ConnRecord::capDescribeWithAttrs},
        {kCapNamedParams, &ConnRecord::capNamedParams},
        {kCapMaxLength, &ConnRecord::capMaxLength},
        {kCapXa, &ConnRecord::capXa},
        {kCapFailover, &ConnRecord::capFailover},
    };
    for (const Word& w : kWords) conn->*w.word = (mask & w.bit) ? 1 : 0;
    if (mask & kCapAutocommit)
        conn->flags |= kConnFlagAutocommit;
    else
        conn->flags &= uint16_t(~kConnFlagAutocommit);
}

void ConnConnectParams(const ConnRecord* conn, IngConnectParams& params, std::string& address) {
    params = IngConnectParams{};
    address = ConnServerAddress(conn->host, conn->port);
    params.serverAddress = (conn->host || !address.empty()) ? address.c_str() : nullptr;
    params.marker = conn->marker;
    params.reservedText1 = conn->reservedText1;
    params.reservedText2 = conn->reservedText2;
    params.database = conn->dsn ? conn->dsn : "Default";
    params.options = conn->options;
    params.readOnly = (conn->flags & kConnFlagAccessReadOnly) ? 1 : 0;
    params.user = conn->user ? conn->user : "";
    params.password = conn->password ? conn->password : "";
    params.timeout = conn->loginTimeout ? 99 : 0;
    params.flags = 0;
}

void ConnOpen(ConnRecord* conn, char mode, IngDsnSettings* settings) {
    if (conn->state != kConnStateAllocated) {
        conn->lastError = kErrSequence;
        return;
    }
    conn->agentServer = 0;
    conn->agentConn = 0;
    conn->lastError = kErrRejected;  // 08004 until the connection stands

    if (AgentStackInstall(&conn->link) != 0 || !conn->link.table) {
        OpenFailed(conn, "Unable to initialize driver");
        return;
    }
    if (conn->link.word & kAgentLinkConcurrent) g_CallsConcurrent.store(true);

    unsigned char block[16] = {};
    uint32_t server = 0;
    if (ErrCode code = AgentCall<DRV_ServerAlloc>(&conn->link, static_cast<void*>(block), &server);
        code != 0 || !server) {
        // Out of memory is told as such, not as a general error.
        OpenFailed(conn, code == kErrNoMemory ? "Unable to allocate server handle[SQLSTATE:S1001]"
                                              : "Unable to allocate server handle");
        return;
    }
    conn->agentServer = server;

    if (mode == 'W') {
        size_t old = conn->marker ? std::strlen(conn->marker) : 0;
        auto* marker = static_cast<char*>(malloc(sizeof kWideMarker + old + 1));
        if (!marker) {
            OpenFailed(conn, "Unable to allocate memory");
            ReleaseServer(conn);
            return;
        }
        std::memcpy(marker, kWideMarker, sizeof kWideMarker);
        if (old) std::memcpy(marker + sizeof kWideMarker, conn->marker, old);
        marker[sizeof kWideMarker + old] = 0;
        free(conn->marker);
        conn->marker = marker;
    }
    IngConnectParams params{};
    std::string address;
    ConnConnectParams(conn, params, address);
    params.settings = settings;

    uint32_t agentConn = 0;
    ErrCode code = AgentCall<DRV_Connect>(&conn->link, server, &params, &agentConn);
    conn->lastError = code;
    if (code != 0 || !agentConn) {
        if (!code) conn->lastError = kErrRejected;
        // The server's own reason comes first: most applications show only the first record. The
        // driver's record says 08001, a failed connect, which also ranks after any reason of the
        // server where a Driver Manager orders the records by SQLSTATE (unixODBC does).
        DiagCollectConn(conn, nullptr);
        DiagCollectServer(conn);
        OpenFailed(conn, code == kErrNoMemory ? "Unable to allocate connection handle[SQLSTATE:S1001]"
                                              : "Unable to allocate connection handle[SQLSTATE:08001]");
        ReleaseServer(conn);
        return;
    }
    conn->agentConn = agentConn;

    if (mode == 'W') {
        uint32_t v = 0;
        conn->wideUnconfirmed = (ReadItem(conn, kPropUnicode, &v) && v == 1) ? 0 : 1;
    }

    conn->state = kConnStateConnected;
    conn->lastError = 0;
    conn->opTableKind = 1;
    conn->opTableCount = 0;
    conn->opTableRows = nullptr;
    AgentOpRequest request{};
    request.type = 1;
    if (AgentCall<DRV_GetOpTable>(&conn->link, conn->agentConn, &request) != 0 || !request.rows) {
        if (GwTraceOn()) GwTrace("GetOpTable failed for type %d", 1);
        conn->opTableKind = 0;
    } else {
        conn->opTableCount = request.count;
        conn->opTableRows = request.rows;
    }

    // The application's own autocommit choice, made before connecting, outlives the agent's default.
    const bool appAutocommit = (conn->appFlags & kConnFlagAutocommit) != 0;
    const bool wantAutocommit = (conn->flags & kConnFlagAutocommit) != 0;
    conn->needBind = conn->hasMoreRes = conn->hasParamOp = conn->spOutDeferFetch = 0;
    conn->hasScrlCurs = conn->hasDynMixCurs = conn->hasV2DAE = conn->hasExecute2 = 0;
    conn->capConvInfo = conn->capDescribeWithAttrs = conn->capNamedParams = conn->capMaxLength = 0;
    conn->capFailover = conn->capXa = 0;
    uint32_t mask = 0;
    if (ReadItem(conn, kPropCapabilityMask, &mask))
        ConnApplyCapabilityMask(conn, mask);
    else
        ReadCapabilityItems(conn);
    if (appAutocommit && wantAutocommit != ((conn->flags & kConnFlagAutocommit) != 0)) {
        if (SetItem(conn, kPropAutocommit, wantAutocommit ? 1 : 0)) {
            if (wantAutocommit)
                conn->flags |= kConnFlagAutocommit;
            else
                conn->flags &= uint16_t(~kConnFlagAutocommit);
        }
    }

    if (GwTraceOn()) {
        GwTrace("cn_needbind=%d", int(conn->needBind));
        GwTrace("cn_hasMoreRes=%d", int(conn->hasMoreRes));
        GwTrace("cn_hasParamOp=%d", int(conn->hasParamOp));
        GwTrace("cn_hasScrlCurs=%d", int(conn->hasScrlCurs));
        GwTrace("cn_hasDynMixCurs=%d", int(conn->hasDynMixCurs));
        GwTrace("cn_hasV2DAE=%d", int(conn->hasV2DAE));
        GwTrace("cn_spOutDeferFetch=%d", int(conn->spOutDeferFetch));
        GwTrace("cn_hasExecute2=%d", int(conn->hasExecute2));
        GwTrace("autocommit=%d", (conn->flags & kConnFlagAutocommit) ? 1 : 0);
    }

    if (conn->isolation == 0 || !SetItem(conn, kPropIsolation, conn->isolation)) {
        uint32_t level = 0;
        if (ReadItem(conn, kPropIsolation, &level) && level != 0) conn->isolation = level;
    }
    SetItem(conn, kPropOdbcVersion, conn->env ? conn->env->odbcVersion : 2);
}

uint32_t ConnDisconnect(ConnRecord* conn) {
    if (conn->state == kConnStateConnected) {
        while (conn->stmts) {
            StmtRecord* s = conn->stmts;
            StmtCloseCursor(s);
            StmtFree(s);
        }
        if (conn->dispenser) {
            int users = DispenserRelease(conn->dispenser);
            conn->dispenser = nullptr;
            if (users > 0) return kErrTxnState;  // 25000: the distributed transaction still uses it
        }
        ErrCode code = conn->agentConn ? AgentCall<DRV_Disconnect>(&conn->link, conn->agentConn) : kErrNone;
        if (code) {
            DiagCollectConn(conn, nullptr);
            return code;
        }
        ReleaseServer(conn);
        conn->state = kConnStateAllocated;
    }
    FreeText(conn->translateDll);
    if (conn->opTableKind == 1) {
        conn->opTableKind = 0;
        conn->opTableCount = 0;
        conn->opTableRows = nullptr;
    }
    FreeExplicitDescriptors(conn);
    InfoCacheReset(&conn->infoCache);
    return 0;
}

SQLRETURN ConnEndTran(ConnRecord* conn, uint32_t type) {
    if (GwTraceOn()) GwTrace("%s", type == 0 ? "[Commit]" : "[Rollback]");
    if (conn->state != kConnStateConnected) {
        conn->lastError = kErrNotOpen;
        return SQL_ERROR;
    }
    if (type > 1) {
        conn->lastError = kErrTxnOpCode;
        return SQL_ERROR;
    }
    uint32_t code = type == 0 ? AgentCall<DRV_Commit>(&conn->link, conn->agentConn)
                              : AgentCall<DRV_Rollback>(&conn->link, conn->agentConn);
    conn->lastError = code;
    if (code) {
        DiagCollectConn(conn, nullptr);
        return SQL_ERROR;
    }
    return SQL_SUCCESS;
}

SQLRETURN EnvEndTran(EnvRecord* env, uint32_t type) {
    if (EnvHasBusyConnection(env)) {
        env->lastError = kErrSequence;
        return SQL_ERROR;
    }
    if (type > 1) {
        env->lastError = kErrTxnOpCode;
        return SQL_ERROR;
    }
    SQLRETURN rc = SQL_SUCCESS;
    for (ConnRecord* c = env->conns; c; c = c->next) {
        // A connection that is not open has no transaction to end.
        if (c->state != kConnStateConnected) continue;
        uint32_t saved = c->lastError;
        c->lastError = 0;
        if (ConnEndTran(c, type) == SQL_ERROR) {
            env->lastError = c->lastError.load();
            rc = SQL_ERROR;
        }
        c->lastError = saved;
    }
    return rc;
}

void ConnFree(ConnRecord* conn) {
    // Nothing of the password stays behind in freed memory.
    if (conn->password) std::memset(conn->password, 0, std::strlen(conn->password));
    for (char** text :
         {&conn->dsn, &conn->user, &conn->password, &conn->serverText, &conn->options, &conn->host, &conn->port,
          &conn->svType, &conn->marker, &conn->reservedText1, &conn->reservedText2, &conn->translateDll})
        FreeText(*text);
    InfoCacheReset(&conn->infoCache);
    // A connection freed with its environment after a failed disconnect still takes its
    // statements and descriptors along, so none is left pointing at it.
    while (StmtRecord* s = conn->stmts) {
        StmtCloseCursor(s);
        StmtFree(s);
    }
    FreeExplicitDescriptors(conn);
    if (EnvRecord* env = conn->env) {
        for (ConnRecord** p = &env->conns; *p; p = &(*p)->next) {
            if (*p == conn) {
                *p = conn->next;
                break;
            }
        }
    }
    DiagFreeAll(conn);
    conn->state = kConnStateFreed;
    DriverHandleRemove(&g_ConnTable, conn);
}

void ConnRelease(ConnRecord* conn) {
    CritSecDestroy(&conn->xaLock);
    TokenLockDestroy(&conn->callLock);
    RecordDelete(conn);
}
