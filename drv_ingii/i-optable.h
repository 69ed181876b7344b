// The agent's operation table: the only road from the ODBC side to the database.
// Layers (cursor layer, XA interposer) copy the table and patch slots; each keeps the link below it.
#pragma once

#include <cstdint>
#include <utility>

struct Dataset;
struct ColumnInfo;
struct ParamDescEntry;
struct AgentErrors;
struct IngConnectParams;
struct AgentOpRequest;
struct xid_t;
typedef struct xid_t XID;

using AgentOpFn = void (*)();

constexpr int kAgentSlotCount = 66;

struct AgentFuncTable {
  AgentOpFn op[kAgentSlotCount];
};

// Word 2 (bit 1): the agent takes concurrent calls on different connections.
// The ODBC side declares the same link for its records; one definition serves both.
#if __has_include("odbc/agent_link.h")
#include "odbc/agent_link.h"
#else
struct AgentLink {
  uint32_t word;
  AgentFuncTable* table;
};
#endif

constexpr uint32_t kAgentLinkConcurrent = 2;

enum AgentSlot : int {
  DRV_GetInfo = 0,
  DRV_SetOption = 1,
  DRV_GetErrors = 2,
  DRV_ServerAlloc = 3,
  DRV_ServerFree = 4,
  DRV_Connect = 5,
  DRV_Disconnect = 6,
  DRV_AllocStmt = 7,
  DRV_FreeStmt = 8,
  DRV_GetCursorName = 9,
  DRV_SetCursorName = 10,
  DRV_Prepare = 11,
  DRV_SetParams = 12,
  DRV_Execute = 13,
  DRV_Unnamed14 = 14,
  DRV_DescribeCols = 15,
  DRV_DescribeParams = 16,
  DRV_NativeSql = 17,
  DRV_SetParamDescs = 18,
  DRV_FetchRows = 19,
  DRV_CloseCursor = 20,
  DRV_Commit = 21,
  DRV_Rollback = 22,
  DRV_GetOpTable = 23,
  DRV_MoreResults = 24,
  DRV_DDColumnPrivileges = 25,
  DRV_DDColumns = 26,
  DRV_DDForeignKeys = 27,
  DRV_DDPrimaryKeys = 28,
  DRV_DDProcedureColumns = 29,
  DRV_DDProcedures = 30,
  DRV_DDSpecialColumns = 31,
  DRV_DDStatistics = 32,
  DRV_DDTablePrivileges = 33,
  DRV_DDTables = 34,
  DRV_DDTypeInfo = 35,
  DRV_Fetch = 36,
  DRV_SetPos = 37,
  DRV_ParamData = 38,
  DRV_PutData = 39,
  DRV_GetData = 40,
  DRV_ExtendedFetch = 41,
  DRV_BulkOperations = 42,
  DRV_PrepareExecute = 43,
  DRV_ExecuteRowset = 44,
  DRV_AllocPrepare = 45,
  DRV_FetchDescribe = 46,
  DRV_ExtendedFetchConvert = 47,
  DRV_GetRowsetValue = 48,
  DRV_ExecuteBatch = 49,
  DRV_Savepoint = 50,
  DRV_DescribeColsEx = 51,
  DRV_ExecuteRowsetEx = 52,
  DRV_Cancel = 53,
  DRV_PrepareExecuteEx = 54,
  DRV_XaClose = 55,
  DRV_XaCommit = 56,
  DRV_XaComplete = 57,
  DRV_XaEnd = 58,
  DRV_XaForget = 59,
  DRV_XaOpen = 60,
  DRV_XaPrepare = 61,
  DRV_XaRecover = 62,
  DRV_XaRollback = 63,
  DRV_XaStart = 64,
  DRV_SetParamDescsEx = 65,
};

// Signatures of the slots. Slots only the cursor layer fills take the generic form until
// that layer gives them their own.
using DRV_GetInfo_t = uint32_t (*)(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen);
using DRV_SetOption_t = uint32_t (*)(uint32_t h, uint32_t id, void* value);
using DRV_GetErrors_t = uint32_t (*)(uint32_t h, AgentErrors* out);
using DRV_ServerAlloc_t = uint32_t (*)(void* unused, uint32_t* server);
using DRV_HandleOnly_t = uint32_t (*)(uint32_t h);
using DRV_Connect_t = uint32_t (*)(uint32_t server, IngConnectParams* params, uint32_t* conn);
using DRV_AllocStmt_t = uint32_t (*)(uint32_t conn, uint32_t* stmt);
using DRV_GetCursorName_t = uint32_t (*)(uint32_t stmt, char* buf, uint16_t len, uint16_t* outLen);
using DRV_SetCursorName_t = uint32_t (*)(uint32_t stmt, const char* name);
using DRV_Prepare_t = uint32_t (*)(uint32_t stmt, const char* text);
using DRV_SetParams_t = uint32_t (*)(uint32_t stmt, Dataset* values);
using DRV_Describe_t = uint32_t (*)(uint32_t stmt, uint16_t* count, ColumnInfo** out);
using DRV_NativeSql_t = uint32_t (*)(uint32_t conn, const char* in, char* out, uint16_t len, uint16_t* outLen);
using DRV_SetParamDescs_t = uint32_t (*)(uint32_t stmt, uint16_t count, ParamDescEntry* descs);
using DRV_FetchRows_t = uint32_t (*)(uint32_t stmt, uint16_t rows, Dataset* block);
using DRV_GetOpTable_t = uint32_t (*)(uint32_t conn, AgentOpRequest* request);
using DRV_Catalog_t = uint32_t (*)(uint32_t stmt, const void* args);
using DRV_DDTypeInfo_t = uint32_t (*)(uint32_t stmt, uint16_t sqlType);
using DRV_PrepareExecute_t = uint32_t (*)(uint32_t stmt, const char* text, Dataset* values, uint16_t count,
                                          ParamDescEntry* descs);
using DRV_Savepoint_t = uint32_t (*)(uint32_t conn, uint32_t op, const char* name);
using DRV_DescribeColsEx_t = uint32_t (*)(uint32_t stmt, uint16_t* count, uint16_t* rowCount, ColumnInfo** out,
                                          void** attrRows);
using DRV_XaOpenClose_t = int (*)(uint32_t conn, const char* info, int rmid, long flags);
using DRV_XaOpen_t = int (*)(uint32_t conn, uint32_t mode, const char* info, int rmid, long flags);
using DRV_XaXid_t = int (*)(uint32_t conn, XID* xid, int rmid, long flags);
using DRV_XaRecover_t = int (*)(uint32_t conn, XID* xids, long count, int rmid, long flags);
using DRV_XaComplete_t = int (*)(uint32_t conn, int* handle, int* result, int rmid, long flags);
using DRV_ParamData_t = uint32_t (*)(uint32_t stmt, void* a1, void* a2, void* a3, void* a4);
using DRV_PutData_t = uint32_t (*)(uint32_t stmt, uint32_t a1, uint16_t a2, void* a3, uint32_t a4);
using DRV_Generic_t = uint32_t (*)(uint32_t h, ...);

template <int S> struct AgentSlotSig { using type = DRV_Generic_t; };
#define AGENT_SLOT_SIG(slot, sig) \
  template <> struct AgentSlotSig<slot> { using type = sig; };
AGENT_SLOT_SIG(DRV_GetInfo, DRV_GetInfo_t)
AGENT_SLOT_SIG(DRV_SetOption, DRV_SetOption_t)
AGENT_SLOT_SIG(DRV_GetErrors, DRV_GetErrors_t)
AGENT_SLOT_SIG(DRV_ServerAlloc, DRV_ServerAlloc_t)
AGENT_SLOT_SIG(DRV_ServerFree, DRV_HandleOnly_t)
AGENT_SLOT_SIG(DRV_Connect, DRV_Connect_t)
AGENT_SLOT_SIG(DRV_Disconnect, DRV_HandleOnly_t)
AGENT_SLOT_SIG(DRV_AllocStmt, DRV_AllocStmt_t)
AGENT_SLOT_SIG(DRV_FreeStmt, DRV_HandleOnly_t)
AGENT_SLOT_SIG(DRV_GetCursorName, DRV_GetCursorName_t)
AGENT_SLOT_SIG(DRV_SetCursorName, DRV_SetCursorName_t)
AGENT_SLOT_SIG(DRV_Prepare, DRV_Prepare_t)
AGENT_SLOT_SIG(DRV_SetParams, DRV_SetParams_t)
AGENT_SLOT_SIG(DRV_Execute, DRV_HandleOnly_t)
AGENT_SLOT_SIG(DRV_Unnamed14, DRV_HandleOnly_t)
AGENT_SLOT_SIG(DRV_DescribeCols, DRV_Describe_t)
AGENT_SLOT_SIG(DRV_DescribeParams, DRV_Describe_t)
AGENT_SLOT_SIG(DRV_NativeSql, DRV_NativeSql_t)
AGENT_SLOT_SIG(DRV_SetParamDescs, DRV_SetParamDescs_t)
AGENT_SLOT_SIG(DRV_FetchRows, DRV_FetchRows_t)
AGENT_SLOT_SIG(DRV_CloseCursor, DRV_HandleOnly_t)
AGENT_SLOT_SIG(DRV_Commit, DRV_HandleOnly_t)
AGENT_SLOT_SIG(DRV_Rollback, DRV_HandleOnly_t)
AGENT_SLOT_SIG(DRV_GetOpTable, DRV_GetOpTable_t)
AGENT_SLOT_SIG(DRV_MoreResults, DRV_HandleOnly_t)
AGENT_SLOT_SIG(DRV_DDColumnPrivileges, DRV_Catalog_t)
AGENT_SLOT_SIG(DRV_DDColumns, DRV_Catalog_t)
AGENT_SLOT_SIG(DRV_DDForeignKeys, DRV_Catalog_t)
AGENT_SLOT_SIG(DRV_DDPrimaryKeys, DRV_Catalog_t)
AGENT_SLOT_SIG(DRV_DDProcedureColumns, DRV_Catalog_t)
AGENT_SLOT_SIG(DRV_DDProcedures, DRV_Catalog_t)
AGENT_SLOT_SIG(DRV_DDSpecialColumns, DRV_Catalog_t)
AGENT_SLOT_SIG(DRV_DDStatistics, DRV_Catalog_t)
AGENT_SLOT_SIG(DRV_DDTablePrivileges, DRV_Catalog_t)
AGENT_SLOT_SIG(DRV_DDTables, DRV_Catalog_t)
AGENT_SLOT_SIG(DRV_DDTypeInfo, DRV_DDTypeInfo_t)
AGENT_SLOT_SIG(DRV_PrepareExecute, DRV_PrepareExecute_t)
AGENT_SLOT_SIG(DRV_Savepoint, DRV_Savepoint_t)
AGENT_SLOT_SIG(DRV_DescribeColsEx, DRV_DescribeColsEx_t)
AGENT_SLOT_SIG(DRV_Cancel, DRV_HandleOnly_t)
AGENT_SLOT_SIG(DRV_XaClose, DRV_XaOpenClose_t)
AGENT_SLOT_SIG(DRV_XaOpen, DRV_XaOpen_t)
AGENT_SLOT_SIG(DRV_XaCommit, DRV_XaXid_t)
AGENT_SLOT_SIG(DRV_XaEnd, DRV_XaXid_t)
AGENT_SLOT_SIG(DRV_XaPrepare, DRV_XaXid_t)
AGENT_SLOT_SIG(DRV_XaRollback, DRV_XaXid_t)
AGENT_SLOT_SIG(DRV_XaStart, DRV_XaXid_t)
AGENT_SLOT_SIG(DRV_XaRecover, DRV_XaRecover_t)
AGENT_SLOT_SIG(DRV_XaComplete, DRV_XaComplete_t)
AGENT_SLOT_SIG(DRV_XaForget, DRV_XaXid_t)
AGENT_SLOT_SIG(DRV_ParamData, DRV_ParamData_t)
AGENT_SLOT_SIG(DRV_PutData, DRV_PutData_t)
AGENT_SLOT_SIG(DRV_PrepareExecuteEx, DRV_PrepareExecute_t)
#undef AGENT_SLOT_SIG

// Code a caller reports when the slot it wants is empty: "Driver not capable".
constexpr uint32_t kAgentNotCapable = 43;

template <int S>
inline AgentOpFn AgentSlotFn(typename AgentSlotSig<S>::type fn) {
  return reinterpret_cast<AgentOpFn>(fn);
}

template <int S>
inline typename AgentSlotSig<S>::type AgentSlotGet(const AgentFuncTable* table) {
  if (table == nullptr || table->op[S] == nullptr) return nullptr;
  return reinterpret_cast<typename AgentSlotSig<S>::type>(table->op[S]);
}

template <int S>
inline typename AgentSlotSig<S>::type AgentSlotGet(const AgentLink* link) {
  return link ? AgentSlotGet<S>(link->table) : nullptr;
}

// Calls a slot through a link; an empty slot is never called and answers 43.
// (The XA slots answer X/Open codes; their callers test the slot themselves.)
template <int S, class... A>
inline auto AgentCall(const AgentLink* link, A&&... args) {
  auto fn = AgentSlotGet<S>(link);
  using R = decltype(fn(std::forward<A>(args)...));
  if (fn == nullptr) return static_cast<R>(kAgentNotCapable);
  return fn(std::forward<A>(args)...);
}

// Writes the word 2 and the agent's table into the link, then lays the cursor layer and the
// XA layer over it. Returns 0.
int IngInstallOpTable(AgentLink* link);

// The agent's own constant table (for the layers' tests and the installers).
const AgentFuncTable* IngAgentOpTable();

// Hook the cursor layer calls before a positioned row operation.
uint32_t IngBeforeSetPos(uint32_t stmt);
