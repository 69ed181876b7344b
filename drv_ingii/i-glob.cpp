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
#include "scrs/sc_cursor.h"

#include "util/dataset.h"
#include "util/log.h"

IngDsnSettings g_ingDsnSettings;
HandleTable g_ingServerTable;
HandleTable g_ingConnTable;
HandleTable g_ingStmtTable;
std::mutex g_agentMutex;

namespace {
uint32_t g_serverRefs = 0;
uint32_t g_serverHandle = 0;
std::atomic<IngLogHookFn> g_logHook{nullptr};

AgentFuncTable BuildAgentTable() {
  AgentFuncTable t{};
  t.op[DRV_GetInfo] = AgentSlotFn<DRV_GetInfo>(IngGetInfo);
  t.op[DRV_SetOption] = AgentSlotFn<DRV_SetOption>(IngSetOption);
  t.op[DRV_GetErrors] = AgentSlotFn<DRV_GetErrors>(IngGetErrors);
  t.op[DRV_ServerAlloc] = AgentSlotFn<DRV_ServerAlloc>(IngServerAlloc);
  t.op[DRV_ServerFree] = AgentSlotFn<DRV_ServerFree>(IngServerFree);
  t.op[DRV_Connect] = AgentSlotFn<DRV_Connect>(IngConnect);
  t.op[DRV_Disconnect] = AgentSlotFn<DRV_Disconnect>(IngDisconnect);
  t.op[DRV_AllocStmt] = AgentSlotFn<DRV_AllocStmt>(IngAllocStmt);
  t.op[DRV_FreeStmt] = AgentSlotFn<DRV_FreeStmt>(IngFreeStmt);
  t.op[DRV_GetCursorName] = AgentSlotFn<DRV_GetCursorName>(IngGetCursorName);
  t.op[DRV_SetCursorName] = AgentSlotFn<DRV_SetCursorName>(IngSetCursorName);
  t.op[DRV_NativeSql] = AgentSlotFn<DRV_NativeSql>(IngNativeSql);
  t.op[DRV_Unnamed14] = AgentSlotFn<DRV_Unnamed14>(IngUnsupportedStmtOp);
  t.op[DRV_CloseCursor] = AgentSlotFn<DRV_CloseCursor>(IngCloseCursor);
  t.op[DRV_Commit] = AgentSlotFn<DRV_Commit>(IngCommit);
  t.op[DRV_Rollback] = AgentSlotFn<DRV_Rollback>(IngRollback);
  t.op[DRV_GetOpTable] = AgentSlotFn<DRV_GetOpTable>(IngGetOpTable);
  t.op[DRV_PrepareExecute] = AgentSlotFn<DRV_PrepareExecute>(IngPrepareExecute);
  t.op[DRV_Savepoint] = AgentSlotFn<DRV_Savepoint>(IngSavepoint);
  t.op[DRV_DDColumnPrivileges] = AgentSlotFn<DRV_DDColumnPrivileges>(IngDDColumnPrivileges);
  t.op[DRV_DDColumns] = AgentSlotFn<DRV_DDColumns>(IngDDColumns);
  t.op[DRV_DDForeignKeys] = AgentSlotFn<DRV_DDForeignKeys>(IngDDForeignKeys);
  t.op[DRV_DDPrimaryKeys] = AgentSlotFn<DRV_DDPrimaryKeys>(IngDDPrimaryKeys);
  t.op[DRV_DDProcedureColumns] = AgentSlotFn<DRV_DDProcedureColumns>(IngDDProcedureColumns);
  t.op[DRV_DDProcedures] = AgentSlotFn<DRV_DDProcedures>(IngDDProcedures);
  t.op[DRV_DDSpecialColumns] = AgentSlotFn<DRV_DDSpecialColumns>(IngDDSpecialColumns);
  t.op[DRV_DDStatistics] = AgentSlotFn<DRV_DDStatistics>(IngDDStatistics);
  t.op[DRV_DDTablePrivileges] = AgentSlotFn<DRV_DDTablePrivileges>(IngDDTablePrivileges);
  t.op[DRV_DDTables] = AgentSlotFn<DRV_DDTables>(IngDDTables);
  t.op[DRV_DDTypeInfo] = AgentSlotFn<DRV_DDTypeInfo>(IngDDTypeInfo);
  t.op[DRV_Cancel] = AgentSlotFn<DRV_Cancel>(IngCancel);
  t.op[DRV_XaClose] = AgentSlotFn<DRV_XaClose>(IngXaClose);
  t.op[DRV_XaCommit] = AgentSlotFn<DRV_XaCommit>(IngXaCommit);
  t.op[DRV_XaComplete] = AgentSlotFn<DRV_XaComplete>(IngXaComplete);
  t.op[DRV_XaEnd] = AgentSlotFn<DRV_XaEnd>(IngXaEnd);
  t.op[DRV_XaForget] = AgentSlotFn<DRV_XaForget>(IngXaForget);
  t.op[DRV_XaOpen] = AgentSlotFn<DRV_XaOpen>(IngXaOpen);
  t.op[DRV_XaPrepare] = AgentSlotFn<DRV_XaPrepare>(IngXaPrepare);
  t.op[DRV_XaRecover] = AgentSlotFn<DRV_XaRecover>(IngXaRecover);
  t.op[DRV_XaRollback] = AgentSlotFn<DRV_XaRollback>(IngXaRollback);
  t.op[DRV_XaStart] = AgentSlotFn<DRV_XaStart>(IngXaStart);
  // The statement engine.
  t.op[DRV_Prepare] = AgentSlotFn<DRV_Prepare>(IngPrepare);
  t.op[DRV_SetParams] = AgentSlotFn<DRV_SetParams>(IngSetParams);
  t.op[DRV_Execute] = AgentSlotFn<DRV_Execute>(IngExecute);
  t.op[DRV_DescribeCols] = AgentSlotFn<DRV_DescribeCols>(IngDescribeCols);
  t.op[DRV_DescribeParams] = AgentSlotFn<DRV_DescribeParams>(IngDescribeParams);
  t.op[DRV_SetParamDescs] = AgentSlotFn<DRV_SetParamDescs>(IngSetParamDescs);
  t.op[DRV_FetchRows] = AgentSlotFn<DRV_FetchRows>(IngFetchRows);
  t.op[DRV_MoreResults] = AgentSlotFn<DRV_MoreResults>(IngMoreResults);
  t.op[DRV_DescribeColsEx] = AgentSlotFn<DRV_DescribeColsEx>(IngDescribeColsEx);
  return t;
}

const AgentFuncTable g_agentTable = BuildAgentTable();
}  // namespace

const AgentFuncTable* IngAgentOpTable() { return &g_agentTable; }

namespace {
// Written only when an install changes the outermost table, which happens once.
std::mutex g_stmtLinkLock;
AgentLink g_stmtLink{kAgentLinkConcurrent, const_cast<AgentFuncTable*>(&g_agentTable)};
}  // namespace

const AgentLink* IngStatementLink() { return &g_stmtLink; }

int IngInstallOpTable(AgentLink* link) {
  if (link == nullptr) return int(kIngErrBadArg);
  link->word = kAgentLinkConcurrent;
  // Layers never write through the link's table; they copy it.
  link->table = const_cast<AgentFuncTable*>(&g_agentTable);
  SCS_InstallLayer(link);
  XaInterposeOpTable(link);
  std::lock_guard<std::mutex> guard(g_stmtLinkLock);
  if (g_stmtLink.table != link->table) g_stmtLink.table = link->table;
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

uint32_t IngServerAlloc(void*, uint32_t* out) {
  if (out == nullptr) return kIngErrBadArg;
  std::lock_guard<std::mutex> guard(g_agentMutex);
  if (g_serverRefs != 0) {
    ++g_serverRefs;
    *out = g_serverHandle;
    return 0;
  }
  *out = 0;
  if (HandleTableInit(&g_ingServerTable, 0x0DBCAAAA) || HandleTableInit(&g_ingConnTable, 0x0DBCBBBB) ||
      HandleTableInit(&g_ingStmtTable, 0x0DBCCCCC)) {
    HandleTableFree(&g_ingServerTable);
    HandleTableFree(&g_ingConnTable);
    HandleTableFree(&g_ingStmtTable);
    // The tables' only failure is memory.
    return kIngErrNoMemory;
  }
  auto* sv = new (std::nothrow) IngServer();
  if (sv == nullptr) return kIngErrNoMemory;
  uint32_t rc = IIInitialize(&sv->env);
  if (rc == 0 && (HandleTableEnableLock(&g_ingServerTable) || HandleTableEnableLock(&g_ingConnTable) ||
                  HandleTableEnableLock(&g_ingStmtTable)))
    rc = kIngErrGeneral;
  if (rc == 0) {
    sv->branches = XaBranchListCreate();
    uint32_t h = 0;
    if (int add = HandleTableAdd(&g_ingServerTable, &h, sv); add != 0) rc = add == 16 ? kIngErrNoMemory : kIngErrGeneral;
    else {
      g_serverHandle = h;
      g_serverRefs = 1;
      *out = h;
      return 0;
    }
    XaBranchListFree(sv->branches);
    IITerminate(&sv->env);
  }
  delete sv;
  HandleTableFree(&g_ingServerTable);
  HandleTableFree(&g_ingConnTable);
  HandleTableFree(&g_ingStmtTable);
  return rc;
}

uint32_t IngServerFree(uint32_t server) {
  std::lock_guard<std::mutex> guard(g_agentMutex);
  IngServer* sv = g_serverRefs ? IngServerFind(server) : nullptr;
  if (sv == nullptr) return kIngErrBadArg;
  if (--g_serverRefs != 0) return 0;
  {
    std::lock_guard<std::recursive_mutex> lock(sv->lock);
    XaBranchListFree(sv->branches);
    sv->branches = nullptr;
  }
  XaThreadCleanup();
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
  return 0;
}

uint32_t IngUnsupportedStmtOp(uint32_t) { return kIngErrNotCapable; }

uint32_t IngNativeSql(uint32_t conn, const char* in, char* out, uint16_t len, uint16_t* outLen) {
  if (outLen) *outLen = 0;
  if (IngConnFind(conn) == nullptr) return kIngErrBadArg;
  return uint32_t(IngNativeSqlText(in, out, len, outLen));
}

uint32_t IngBeforeSetPos(uint32_t) { return 0; }

uint32_t IngPrepareExecute(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs) {
  AgentLink self{kAgentLinkConcurrent, const_cast<AgentFuncTable*>(&g_agentTable)};
  uint32_t rc = 0;
  if (text != nullptr && (rc = AgentCall<DRV_Prepare>(&self, stmt, text)) != 0) {
    // The values were handed over with the call: a failed prepare must not lose them.
    if (values != nullptr) DatasetDelete(values);
    return rc;
  }
  if (values != nullptr && (rc = AgentCall<DRV_SetParams>(&self, stmt, values)) != 0) return rc;
  if (count != 0 && (rc = AgentCall<DRV_SetParamDescs>(&self, stmt, count, descs)) != 0) return rc;
  return AgentCall<DRV_Execute>(&self, stmt);
}

// Guarded against the statement being closed or freed on its own thread meanwhile.
uint32_t IngCancel(uint32_t stmt) { return IngStmtCancel(stmt); }
