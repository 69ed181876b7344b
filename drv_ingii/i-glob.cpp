// The agent's operation table, its installation, the process-wide records and the server.
#include "drv_ingii/i-glob.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <new>

#include "drv_ingii/i-cat.h"
#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-exec.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-sql.h"
#include "drv_ingii/i-typeinfo.h"
#include "drv_ingii/ingutil.h"

#include "util/dataset.h"
#include "util/log.h"
#include "util/errtable.h"

HandleTable g_ingServerTable;
HandleTable g_ingConnTable;
HandleTable g_ingStmtTable;
std::mutex g_agentMutex;

namespace {
uint32_t g_serverRefs = 0;
uint32_t g_serverHandle = 0;
std::atomic<IngLogHookFn> g_logHook{nullptr};

constexpr AgentFuncTable BuildAgentTable() {
    AgentFuncTable t{};
    t.DRV_GetInfo = IngGetInfo;
    t.DRV_SetOption = IngSetOption;
    t.DRV_GetErrors = IngGetErrors;
    t.DRV_ServerAlloc = IngServerAlloc;
    t.DRV_ServerFree = IngServerFree;
    t.DRV_Connect = IngConnect;
    t.DRV_Disconnect = IngDisconnect;
    t.DRV_AllocStmt = IngAllocStmt;
    t.DRV_FreeStmt = IngFreeStmt;
    t.DRV_GetCursorName = IngGetCursorName;
    t.DRV_SetCursorName = IngSetCursorName;
    t.DRV_NativeSql = IngNativeSql;
    t.DRV_UnsupportedStmtOp = IngUnsupportedStmtOp;
    t.DRV_CloseCursor = IngCloseCursor;
    t.DRV_Commit = IngCommit;
    t.DRV_Rollback = IngRollback;
    t.DRV_GetOpTable = IngGetOpTable;
    t.DRV_PrepareExecute = IngPrepareExecute;
    t.DRV_Savepoint = IngSavepoint;
    t.DRV_DDColumnPrivileges = IngDDColumnPrivileges;
    t.DRV_DDColumns = IngDDColumns;
    t.DRV_DDForeignKeys = IngDDForeignKeys;
    t.DRV_DDPrimaryKeys = IngDDPrimaryKeys;
    t.DRV_DDProcedureColumns = IngDDProcedureColumns;
    t.DRV_DDProcedures = IngDDProcedures;
    t.DRV_DDSpecialColumns = IngDDSpecialColumns;
    t.DRV_DDStatistics = IngDDStatistics;
    t.DRV_DDTablePrivileges = IngDDTablePrivileges;
    t.DRV_DDTables = IngDDTables;
    t.DRV_DDTypeInfo = IngDDTypeInfo;
    t.DRV_Cancel = IngCancel;
    t.DRV_XaClose = IngXaClose;
    t.DRV_XaCommit = IngXaCommit;
    t.DRV_XaComplete = IngXaComplete;
    t.DRV_XaEnd = IngXaEnd;
    t.DRV_XaForget = IngXaForget;
    t.DRV_XaOpen = IngXaOpen;
    t.DRV_XaPrepare = IngXaPrepare;
    t.DRV_XaRecover = IngXaRecover;
    t.DRV_XaRollback = IngXaRollback;
    t.DRV_XaStart = IngXaStart;
    // The statement engine.
    t.DRV_Prepare = IngPrepare;
    t.DRV_SetParams = IngSetParams;
    t.DRV_Execute = IngExecute;
    t.DRV_DescribeCols = IngDescribeCols;
    t.DRV_DescribeParams = IngDescribeParams;
    t.DRV_SetParamDescs = IngSetParamDescs;
    t.DRV_FetchRows = IngFetchRows;
    t.DRV_MoreResults = IngMoreResults;
    t.DRV_DescribeColsEx = IngDescribeColsEx;
    return t;
}

// Constant, so it stands before any start-up code runs.
constexpr AgentFuncTable g_agentTable = BuildAgentTable();

// Links carry a modifiable table pointer; nobody writes through the agent's.
AgentFuncTable* AgentTable() { return const_cast<AgentFuncTable*>(&g_agentTable); }
}  // namespace

const AgentFuncTable* IngAgentOpTable() { return &g_agentTable; }

bool AgentSlotFilled(const AgentFuncTable* table, int slot) {
    if (table == nullptr) return false;
    switch (slot) {
#define AGENT_SLOT_FILLED(n, name, sig) \
    case n:                             \
        return table->name != nullptr;
        AGENT_SLOTS(AGENT_SLOT_FILLED)
#undef AGENT_SLOT_FILLED
        default:
            return false;
    }
}

bool AgentSlotSame(const AgentFuncTable* a, const AgentFuncTable* b, int slot) {
    if (a == nullptr || b == nullptr) return a == b;
    switch (slot) {
#define AGENT_SLOT_SAME(n, name, sig) \
    case n:                           \
        return a->name == b->name;
        AGENT_SLOTS(AGENT_SLOT_SAME)
#undef AGENT_SLOT_SAME
        default:
            return false;
    }
}

uint32_t AgentCatalogByNames(const AgentLink* link, int slot, uint32_t stmt, const char* const* names) {
    auto n = [names](int i) { return names ? names[i] : nullptr; };
    switch (slot) {
        case DRV_DDColumnPrivileges: {
            const IngColumnPrivilegesArgs a{n(0), n(1), n(2), n(3)};
            return AgentCall<DRV_DDColumnPrivileges>(link, stmt, &a);
        }
        case DRV_DDColumns: {
            const IngColumnsArgs a{n(0), n(1), n(2), n(3)};
            return AgentCall<DRV_DDColumns>(link, stmt, &a);
        }
        case DRV_DDForeignKeys: {
            const IngForeignKeysArgs a{n(0), n(1), n(2), n(3), n(4), n(5)};
            return AgentCall<DRV_DDForeignKeys>(link, stmt, &a);
        }
        case DRV_DDPrimaryKeys: {
            const IngPrimaryKeysArgs a{n(0), n(1), n(2)};
            return AgentCall<DRV_DDPrimaryKeys>(link, stmt, &a);
        }
        case DRV_DDProcedureColumns: {
            const IngProcedureColumnsArgs a{n(0), n(1), n(2), n(3)};
            return AgentCall<DRV_DDProcedureColumns>(link, stmt, &a);
        }
        case DRV_DDProcedures: {
            const IngProceduresArgs a{n(0), n(1), n(2)};
            return AgentCall<DRV_DDProcedures>(link, stmt, &a);
        }
        case DRV_DDTablePrivileges: {
            const IngTablePrivilegesArgs a{n(0), n(1), n(2)};
            return AgentCall<DRV_DDTablePrivileges>(link, stmt, &a);
        }
        case DRV_DDTables: {
            const IngTablesArgs a{n(0), n(1), n(2), n(3)};
            return AgentCall<DRV_DDTables>(link, stmt, &a);
        }
        default:
            return kErrBadArg;
    }
}

namespace {}  // namespace

const AgentLink* IngStatementLink() {
    static const AgentLink link{kAgentLinkConcurrent, AgentTable()};
    return &link;
}

int IngInstallOpTable(AgentLink* link) {
    if (link == nullptr) return int(kErrBadArg);
    link->word = kAgentLinkConcurrent;
    // Layers never write through the link's table; they copy it.
    link->table = AgentTable();
    return 0;
}

void IngSetLogHook(IngLogHookFn hook) { g_logHook.store(hook); }

void IngLogAt(const char* file, int line, int level, const char* fmt, ...) {
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    log_printf(level, file, line, "%s", text);
    if (IngLogHookFn hook = g_logHook.load()) hook(level, text);
}

IngServer* IngServerFind(uint32_t h) { return static_cast<IngServer*>(HandleTableGet(&g_ingServerTable, h)); }
IngConn* IngConnFind(uint32_t h) { return static_cast<IngConn*>(HandleTableGet(&g_ingConnTable, h)); }
IngStmt* IngStmtFind(uint32_t h) { return static_cast<IngStmt*>(HandleTableGet(&g_ingStmtTable, h)); }

uint32_t IngServerRefCount() {
    std::lock_guard<std::mutex> guard(g_agentMutex);
    return g_serverRefs;
}

ErrCode IngServerAlloc(void*, uint32_t* out) {
    if (out == nullptr) return kErrBadArg;
    std::lock_guard<std::mutex> guard(g_agentMutex);
    if (g_serverRefs != 0) {
        ++g_serverRefs;
        *out = g_serverHandle;
        return kErrNone;
    }
    *out = 0;
    if (HandleTableInit(&g_ingServerTable, 0x0DBCAAAA) || HandleTableInit(&g_ingConnTable, 0x0DBCBBBB) ||
        HandleTableInit(&g_ingStmtTable, 0x0DBCCCCC)) {
        HandleTableFree(&g_ingServerTable);
        HandleTableFree(&g_ingConnTable);
        HandleTableFree(&g_ingStmtTable);
        // The tables' only failure is memory.
        return kErrNoMemory;
    }
    auto* sv = new (std::nothrow) IngServer();
    if (sv == nullptr) return kErrNoMemory;
    uint32_t rc = IIInitialize(&sv->env);
    if (rc == 0 && (HandleTableEnableLock(&g_ingServerTable) || HandleTableEnableLock(&g_ingConnTable) ||
                    HandleTableEnableLock(&g_ingStmtTable)))
        rc = kErrGeneral;
    if (rc == 0) {
        sv->branches = XaBranchListCreate();
        uint32_t h = 0;
        if (int add = HandleTableAdd(&g_ingServerTable, &h, sv); add != 0)
            rc = add == kErrNoMemory ? kErrNoMemory : kErrGeneral;
        else {
            g_serverHandle = h;
            g_serverRefs = 1;
            *out = h;
            return kErrNone;
        }
        XaBranchListFree(sv->branches);
        IITerminate(&sv->env);
    }
    delete sv;
    HandleTableFree(&g_ingServerTable);
    HandleTableFree(&g_ingConnTable);
    HandleTableFree(&g_ingStmtTable);
    return ErrCode(rc);
}

ErrCode IngServerFree(uint32_t server) {
    std::lock_guard<std::mutex> guard(g_agentMutex);
    IngServer* sv = g_serverRefs ? IngServerFind(server) : nullptr;
    if (sv == nullptr) return kErrBadArg;
    if (--g_serverRefs != 0) return kErrNone;
    {
        std::lock_guard<std::recursive_mutex> lock(sv->lock);
        XaBranchListFree(sv->branches);
        sv->branches = nullptr;
    }
    IITerminate(&sv->env);
    HandleTableRemove(&g_ingServerTable, server);
    HandleTableFree(&g_ingStmtTable);
    HandleTableFree(&g_ingConnTable);
    HandleTableFree(&g_ingServerTable);
    {
        std::lock_guard<std::recursive_mutex> lock(sv->lock);
        IngDiagClear(&sv->messages);
    }
    delete sv;
    g_serverHandle = 0;
    return kErrNone;
}

ErrCode IngUnsupportedStmtOp(uint32_t) { return kErrNotCapable; }

ErrCode IngNativeSql(uint32_t conn, const char* in, char* out, uint16_t len, uint16_t* outLen) {
    if (outLen) *outLen = 0;
    const IngConn* c = IngConnFind(conn);
    if (c == nullptr) return kErrBadArg;
    return ErrCode(uint32_t(IngNativeSqlText(in, out, len, outLen, c->apiLevel >= IIAPI_LEVEL_3)));
}

uint32_t IngBeforeSetPos(uint32_t) { return 0; }

ErrCode IngPrepareExecute(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs) {
    AgentLink self{kAgentLinkConcurrent, AgentTable()};
    uint32_t rc = 0;
    if (text != nullptr && (rc = AgentCall<DRV_Prepare>(&self, stmt, text)) != 0) {
        // The values were handed over with the call: a failed prepare must not lose them.
        if (values != nullptr) DatasetDelete(values);
        return ErrCode(rc);
    }
    if (values != nullptr && (rc = AgentCall<DRV_SetParams>(&self, stmt, values)) != 0) return ErrCode(rc);
    if (count != 0 && (rc = AgentCall<DRV_SetParamDescs>(&self, stmt, count, descs)) != 0) return ErrCode(rc);
    return AgentCall<DRV_Execute>(&self, stmt);
}

// Guarded against the statement being closed or freed on its own thread meanwhile.
ErrCode IngCancel(uint32_t stmt) { return ErrCode(IngStmtCancel(stmt)); }
