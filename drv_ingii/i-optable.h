// The agent's operation table: the only road from the ODBC side to the database.
// Layers (cursor layer, XA interposer) copy the table and patch slots; each keeps the link below it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "util/errtable.h"

struct Dataset;
struct Rowset;
struct ColumnInfo;
struct ParamDescEntry;
struct AgentErrors;
struct IngConnectParams;
struct AgentOpRequest;
struct xid_t;
typedef struct xid_t XID;

// A parameter description followed by the parameter's name (slots 54 and 65).
struct ScsNamedParamDesc {
    int32_t sqlType;
    int32_t cType;
    uint32_t columnSize;
    uint16_t decimalDigits;
    uint16_t paramType;
    const char* name;
};

// One statement of a batch (slot 49).
struct ScsBatchEntry {
    const char* text;  // may be null: entry 0 then runs the statement's own text
    uint16_t count;
    ParamDescEntry* descs;
    Dataset* values;  // may be null
};

// Operations of slot 50 (DRV_Savepoint).
enum AgentSavepointOp : uint32_t {
    kSavepointSet = 0,
    kSavepointRollbackTo = 1,
    kSavepointRelease = 2,  // the server keeps savepoints to the transaction's end: nothing to do
};

// Catalog-argument records of slots 25 to 34: the ODBC catalog function's texts in its argument
// order (an absent text is null), then its numbers.
struct IngTablesArgs {
    const char* catalog;
    const char* schema;
    const char* table;
    const char* types;  // the normalised type list ("'TABLE','VIEW'"), "%" or empty
};
struct IngColumnsArgs {
    const char* catalog;
    const char* schema;
    const char* table;
    const char* column;
};
struct IngColumnPrivilegesArgs {
    const char* catalog;
    const char* schema;
    const char* table;
    const char* column;
};
struct IngForeignKeysArgs {
    const char* pkCatalog;
    const char* pkSchema;
    const char* pkTable;
    const char* fkCatalog;
    const char* fkSchema;
    const char* fkTable;
};
struct IngPrimaryKeysArgs {
    const char* catalog;
    const char* schema;
    const char* table;
};
struct IngProceduresArgs {
    const char* catalog;
    const char* schema;
    const char* procedure;
};
struct IngProcedureColumnsArgs {
    const char* catalog;
    const char* schema;
    const char* procedure;
    const char* column;
};
struct IngTablePrivilegesArgs {
    const char* catalog;
    const char* schema;
    const char* table;
};
struct IngSpecialColumnsArgs {
    const char* catalog;
    const char* schema;
    const char* table;
    uint16_t identifierType;  // 1 best row identifier, 2 row version
    uint16_t scope;
    uint16_t nullable;
};
struct IngStatisticsArgs {
    const char* catalog;
    const char* schema;
    const char* table;
    uint16_t unique;  // 0: unique indexes only
    uint16_t accuracy;
};

// Every slot, in the table's order: number, operation, signature. Each slot has this one
// signature at every level; the agent, the cursor layer and the XA layer fill slots with
// functions of exactly that type. Slots answer an ErrCode row, the XA verbs an X/Open code.
#define AGENT_SLOTS(X)                                                                                                \
    X(0, DRV_GetInfo, ErrCode (*)(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen))                \
    X(1, DRV_SetOption, ErrCode (*)(uint32_t h, uint32_t id, void* value))                                            \
    X(2, DRV_GetErrors, ErrCode (*)(uint32_t h, AgentErrors * out))                                                   \
    X(3, DRV_ServerAlloc, ErrCode (*)(void* unused, uint32_t* server))                                                \
    X(4, DRV_ServerFree, ErrCode (*)(uint32_t server))                                                                \
    X(5, DRV_Connect, ErrCode (*)(uint32_t server, IngConnectParams * params, uint32_t * conn))                       \
    X(6, DRV_Disconnect, ErrCode (*)(uint32_t conn))                                                                  \
    X(7, DRV_AllocStmt, ErrCode (*)(uint32_t conn, uint32_t * stmt))                                                  \
    X(8, DRV_FreeStmt, ErrCode (*)(uint32_t stmt))                                                                    \
    X(9, DRV_GetCursorName, ErrCode (*)(uint32_t stmt, char* buf, uint16_t len, uint16_t* outLen))                    \
    X(10, DRV_SetCursorName, ErrCode (*)(uint32_t stmt, const char* name))                                            \
    X(11, DRV_Prepare, ErrCode (*)(uint32_t stmt, const char* text))                                                  \
    X(12, DRV_SetParams, ErrCode (*)(uint32_t stmt, Dataset * values))                                                \
    X(13, DRV_Execute, ErrCode (*)(uint32_t stmt))                                                                    \
    X(14, DRV_UnsupportedStmtOp, ErrCode (*)(uint32_t stmt))                                                          \
    X(15, DRV_DescribeCols, ErrCode (*)(uint32_t stmt, uint16_t * count, ColumnInfo * *out))                          \
    X(16, DRV_DescribeParams, ErrCode (*)(uint32_t stmt, uint16_t * count, ColumnInfo * *out))                        \
    X(17, DRV_NativeSql, ErrCode (*)(uint32_t conn, const char* in, char* out, uint16_t len, uint16_t* outLen))       \
    X(18, DRV_SetParamDescs, ErrCode (*)(uint32_t stmt, uint16_t count, ParamDescEntry * descs))                      \
    X(19, DRV_FetchRows, ErrCode (*)(uint32_t stmt, uint16_t rows, Dataset * block))                                  \
    X(20, DRV_CloseCursor, ErrCode (*)(uint32_t stmt))                                                                \
    X(21, DRV_Commit, ErrCode (*)(uint32_t conn))                                                                     \
    X(22, DRV_Rollback, ErrCode (*)(uint32_t conn))                                                                   \
    X(23, DRV_GetOpTable, ErrCode (*)(uint32_t conn, AgentOpRequest * request))                                       \
    X(24, DRV_MoreResults, ErrCode (*)(uint32_t stmt))                                                                \
    X(25, DRV_DDColumnPrivileges, ErrCode (*)(uint32_t stmt, const IngColumnPrivilegesArgs* args))                    \
    X(26, DRV_DDColumns, ErrCode (*)(uint32_t stmt, const IngColumnsArgs* args))                                      \
    X(27, DRV_DDForeignKeys, ErrCode (*)(uint32_t stmt, const IngForeignKeysArgs* args))                              \
    X(28, DRV_DDPrimaryKeys, ErrCode (*)(uint32_t stmt, const IngPrimaryKeysArgs* args))                              \
    X(29, DRV_DDProcedureColumns, ErrCode (*)(uint32_t stmt, const IngProcedureColumnsArgs* args))                    \
    X(30, DRV_DDProcedures, ErrCode (*)(uint32_t stmt, const IngProceduresArgs* args))                                \
    X(31, DRV_DDSpecialColumns, ErrCode (*)(uint32_t stmt, const IngSpecialColumnsArgs* args))                        \
    X(32, DRV_DDStatistics, ErrCode (*)(uint32_t stmt, const IngStatisticsArgs* args))                                \
    X(33, DRV_DDTablePrivileges, ErrCode (*)(uint32_t stmt, const IngTablePrivilegesArgs* args))                      \
    X(34, DRV_DDTables, ErrCode (*)(uint32_t stmt, const IngTablesArgs* args))                                        \
    X(35, DRV_DDTypeInfo, ErrCode (*)(uint32_t stmt, uint16_t sqlType))                                               \
    X(36, DRV_Fetch, DRV_Fetch_t)                                                                                     \
    X(37, DRV_SetPos,                                                                                                 \
      ErrCode (*)(uint32_t stmt, uint32_t row, uint16_t operation, uint16_t lock, uint16_t * *statuses,               \
                  uint32_t * processed, Dataset * values, uint16_t * columns, uint16_t columnCount))                  \
    X(38, DRV_ParamData, ErrCode (*)(uint32_t stmt, void* index, void* row, void* word, void* token))                 \
    X(39, DRV_PutData, ErrCode (*)(uint32_t stmt, uint32_t kind, uint16_t indicator, void* buffer, uint32_t size))    \
    X(40, DRV_GetData,                                                                                                \
      ErrCode (*)(uint32_t stmt, uint16_t column, uint32_t row, uint64_t wanted, void** piece, uint32_t* pieceLength, \
                  uint32_t* pieceKind, uint32_t* total))                                                              \
    X(41, DRV_ExtendedFetch, DRV_ExtendedFetch_t)                                                                     \
    X(42, DRV_BulkOperations,                                                                                         \
      ErrCode (*)(uint32_t stmt, uint16_t operation, uint32_t * bookmarks, uint16_t rows, Dataset * values,           \
                  uint16_t * columns, uint16_t columnCount, uint16_t * *statuses, uint16_t * processed,               \
                  Rowset * *fetched))                                                                                 \
    X(43, DRV_PrepareExecute, DRV_PrepareExecute_t)                                                                   \
    X(44, DRV_ExecuteRowset,                                                                                          \
      ErrCode (*)(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs,            \
                  uint32_t* rowsetSize, uint16_t* colCount, ColumnInfo** cols, uint16_t* paramCount,                  \
                  ColumnInfo** params, int32_t* rowCount))                                                            \
    X(45, DRV_AllocPrepare,                                                                                           \
      ErrCode (*)(uint32_t conn, const char* text, uint32_t concurrency, uint32_t cursorType, uint32_t* out))         \
    X(46, DRV_FetchDescribe, ErrCode (*)(uint32_t stmt, uint16_t * count, ColumnInfo * *out, Dataset * block))        \
    X(47, DRV_ExtendedFetchConvert, DRV_ExtendedFetch_t)                                                              \
    X(48, DRV_GetRowsetValue,                                                                                         \
      ErrCode (*)(uint32_t stmt, uint32_t column, uint32_t row, uint32_t most, void** piece, uint32_t* pieceLen,      \
                  uint32_t* pieceKind, uint32_t* left))                                                               \
    X(49, DRV_ExecuteBatch,                                                                                           \
      ErrCode (*)(uint32_t stmt, uint16_t count, ScsBatchEntry * entries, uint16_t * run, int32_t * *rowCounts))      \
    X(50, DRV_Savepoint, ErrCode (*)(uint32_t conn, uint32_t op, const char* name))                                   \
    X(51, DRV_DescribeColsEx,                                                                                         \
      ErrCode (*)(uint32_t stmt, uint16_t * count, uint16_t * rowCount, ColumnInfo * *out, void** attrRows))          \
    X(52, DRV_ExecuteRowsetEx,                                                                                        \
      ErrCode (*)(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs,            \
                  uint32_t* rowsetSize, uint16_t* colCount, ColumnInfo** cols, uint16_t* paramCount,                  \
                  ColumnInfo** params, uint16_t* attrCount, void** attrRows, int32_t* rowCount))                      \
    X(53, DRV_Cancel, ErrCode (*)(uint32_t stmt))                                                                     \
    X(54, DRV_PrepareExecuteEx,                                                                                       \
      ErrCode (*)(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ScsNamedParamDesc* descs))        \
    X(55, DRV_XaClose, int (*)(uint32_t conn, const char* info, int rmid, long flags))                                \
    X(56, DRV_XaCommit, DRV_XaXid_t)                                                                                  \
    X(57, DRV_XaComplete, int (*)(uint32_t conn, int* handle, int* result, int rmid, long flags))                     \
    X(58, DRV_XaEnd, DRV_XaXid_t)                                                                                     \
    X(59, DRV_XaForget, DRV_XaXid_t)                                                                                  \
    X(60, DRV_XaOpen, int (*)(uint32_t conn, uint32_t mode, const char* info, int rmid, long flags))                  \
    X(61, DRV_XaPrepare, DRV_XaXid_t)                                                                                 \
    X(62, DRV_XaRecover, int (*)(uint32_t conn, XID * xids, long count, int rmid, long flags))                        \
    X(63, DRV_XaRollback, DRV_XaXid_t)                                                                                \
    X(64, DRV_XaStart, DRV_XaXid_t)                                                                                   \
    X(65, DRV_SetParamDescsEx, ErrCode (*)(uint32_t stmt, uint16_t count, ScsNamedParamDesc * descs))

// Signatures several slots share.
using DRV_Fetch_t = ErrCode (*)(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows);
using DRV_ExtendedFetch_t = ErrCode (*)(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows,
                                        uint32_t* resultRows, uint16_t orientation);
using DRV_PrepareExecute_t = ErrCode (*)(uint32_t stmt, const char* text, Dataset* values, uint16_t count,
                                         ParamDescEntry* descs);
using DRV_XaXid_t = int (*)(uint32_t conn, XID* xid, int rmid, long flags);

enum AgentSlot : int {
#define AGENT_SLOT_ENUM(n, name, sig) name = n,
    AGENT_SLOTS(AGENT_SLOT_ENUM)
#undef AGENT_SLOT_ENUM
};

constexpr int kAgentSlotCount = 66;

// The table: one field per slot, in slot order, each of its slot's type; null is an empty slot.
struct AgentFuncTable {
#define AGENT_SLOT_FIELD(n, name, sig) std::type_identity_t<sig> name = nullptr;
    AGENT_SLOTS(AGENT_SLOT_FIELD)
#undef AGENT_SLOT_FIELD
};

// Slot n is the n-th field.
#define AGENT_SLOT_ORDER(n, name, sig) static_assert(offsetof(AgentFuncTable, name) == n * sizeof(void (*)()));
AGENT_SLOTS(AGENT_SLOT_ORDER)
#undef AGENT_SLOT_ORDER
static_assert(sizeof(AgentFuncTable) == kAgentSlotCount * sizeof(void (*)()));

// The signature of slot S, and its field.
template <int S>
struct AgentSlotSig;
#define AGENT_SLOT_TRAITS(n, name, sig)                                       \
    template <>                                                               \
    struct AgentSlotSig<n> {                                                  \
        using type = sig;                                                     \
        static constexpr type AgentFuncTable::*field = &AgentFuncTable::name; \
    };
AGENT_SLOTS(AGENT_SLOT_TRAITS)
#undef AGENT_SLOT_TRAITS

template <int S>
using AgentSlotType = typename AgentSlotSig<S>::type;

// The link every layer above the agent holds: the agent's word and the outermost table.
struct AgentLink {
    uint32_t word;
    AgentFuncTable* table;
};

// Bits of the link's word. The Ingres agent sets kAgentLinkConcurrent alone: it keeps every
// Dataset handed to it, so the caller frees none.
enum : uint32_t {
    kAgentLinkCallerFrees = 0x1,  // a Dataset handed to a slot stays the caller's, to free after the call
    kAgentLinkConcurrent = 0x2,   // the agent takes concurrent calls on different connections
};

// Whether a Dataset handed to a slot of this link stays the caller's to free.
inline bool AgentLinkCallerFrees(const AgentLink* link) {
    return link != nullptr && (link->word & kAgentLinkCallerFrees) != 0;
}

template <int S>
inline typename AgentSlotSig<S>::type AgentSlotGet(const AgentFuncTable* table) {
    return table ? table->*AgentSlotSig<S>::field : nullptr;
}

template <int S>
inline typename AgentSlotSig<S>::type AgentSlotGet(const AgentLink* link) {
    return link ? AgentSlotGet<S>(link->table) : nullptr;
}

// Calls a slot through a link; an empty slot is never called and answers kErrNotCapable.
// (The XA slots answer X/Open codes; their callers test the slot themselves.)
template <int S, class... A>
inline auto AgentCall(const AgentLink* link, A&&... args) {
    auto fn = AgentSlotGet<S>(link);
    using R = decltype(fn(std::forward<A>(args)...));
    if (fn == nullptr) return static_cast<R>(kErrNotCapable);
    return fn(std::forward<A>(args)...);
}

// By slot number, for code that walks the table: whether the slot is filled and whether two
// tables hold the same operation in it.
bool AgentSlotFilled(const AgentFuncTable* table, int slot);
bool AgentSlotSame(const AgentFuncTable* a, const AgentFuncTable* b, int slot);

// Calls the name-only catalog slot (25-30, 33, 34) of the link with the record made of the names,
// given in the ODBC function's argument order: the slot's own result, 43 for an empty slot, 21
// for a slot number that takes no such record.
uint32_t AgentCatalogByNames(const AgentLink* link, int slot, uint32_t stmt, const char* const* names);

// Writes the word 2 and the agent's table into the link; returns 0. The layers above the agent
// are laid over the link by whoever owns it (library start-up, ConnOpen).
int IngInstallOpTable(AgentLink* link);

// The agent's own constant table (for the layers' tests and the installers).
const AgentFuncTable* IngAgentOpTable();

// Hook the cursor layer calls before a positioned row operation.
uint32_t IngBeforeSetPos(uint32_t stmt);
