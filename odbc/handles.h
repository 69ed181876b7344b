#pragma once
// The driver's handle records. Every record starts with the common header, so the gateway,
// diagnostics and the free paths treat the four kinds alike.
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdint>
#include <new>

#include "drv_ingii/i-optable.h"
#include "odbc/cursor_state.h"
#include "odbc/getcolumn.h"
#include "odbc/infocache.h"
#include "util/critsec.h"
#include "util/tokenlock.h"
#include "util/trymem.h"

struct HashTable;

constexpr uint32_t kTagEnv = 0x3144;   // "D1"
constexpr uint32_t kTagConn = 0x3244;  // "D2"
constexpr uint32_t kTagStmt = 0x3344;  // "D3"
constexpr uint32_t kTagDesc = 0x3444;  // "D4"
constexpr uint32_t kTagFreed = 0xFFFFFFFFu;

struct DiagRecord {
    DiagRecord* next;
    char* text;  // owned
    uint32_t native;
};

struct DiagList {
    DiagRecord* head = nullptr;
    DiagRecord* tail = nullptr;
};

struct HandleBase {
    uint32_t tag = 0;
    uint32_t handle = 0;
    // Written by a concurrent call that finds the connection busy (S1010), hence atomic.
    std::atomic<uint32_t> lastError{0};
    DiagList diags;
    uint16_t curDiagRec = 0;  // record number read by SQLGetDiagRec/SQLGetDiagField
};

// Leaves the error row on the handle, where the gateway collects it as the diagnostic, and
// answers SQL_ERROR, so that an entry point fails in one statement.
inline SQLRETURN Fail(HandleBase* handle, uint32_t row) {
    handle->lastError = row;
    return SQL_ERROR;
}

struct ConnRecord;
struct StmtRecord;
struct DescRecord;
struct COdbcResourceDispenser;
struct AgentDaeDialog;

// Handle states.
enum EnvState : uint32_t { kEnvStateFreed = 0, kEnvStateAllocated = 1, kEnvStateOpen = 2 };
enum ConnState : uint32_t { kConnStateFreed = 0, kConnStateAllocated = 1, kConnStateConnected = 2 };
// A statement's state word: allocated until a prepare, an execution or a catalog call succeeds
// and again once its cursor is closed; prepared (or holding a result) from then on. The ODBC
// states it takes part in, and the moves between them, are odbc/stmt_state.h's.
enum StmtState : uint32_t { kStmtStateFreed = 0, kStmtStateAllocated = 1, kStmtStatePrepared = 2 };

struct EnvRecord : HandleBase {
    uint32_t state = kEnvStateFreed;
    EnvRecord* next = nullptr;
    ConnRecord* conns = nullptr;
    uint32_t serial = 0;
    uint32_t connCounter = 0;
    uint32_t pooling = 0;      // attribute 201
    uint32_t poolMatch = 0;    // attribute 202
    uint32_t odbcVersion = 2;  // attribute 200
    uint32_t outputNts = 1;    // attribute 10001
};

using FailoverCallback = void (*)(int event, void* arg, int reserved);

// Flags word of a connection.
constexpr uint16_t kConnFlagAccessReadOnly = 0x2;  // access mode read-only
constexpr uint16_t kConnFlagAutocommit = 0x4;      // autocommit on
constexpr uint16_t kConnFlagAsync = 0x8;           // ODBC 2 asynchronous execution

struct ConnRecord : HandleBase {
    uint32_t state = kConnStateFreed;
    ConnRecord* next = nullptr;
    StmtRecord* stmts = nullptr;
    EnvRecord* env = nullptr;
    // Connect texts, each owned (heap) or null. Driver connect writes the first five; the
    // host, port and server-type texts and the two further texts stay empty there.
    char* dsn = nullptr;  // data-source name: the database ("Default" when null)
    char* user = nullptr;
    char* password = nullptr;
    char* serverText = nullptr;  // Ingres server text (INGSERVER), the agent's database path
    char* options = nullptr;     // connect options: group, effective user, DBMS password, role
    char* host = nullptr;
    char* port = nullptr;
    char* svType = nullptr;
    char* marker = nullptr;         // begins 'W' 0x7F 0x01 0x01 on a wide connection
    char* reservedText1 = nullptr;  // two texts no keyword fills, carried to the agent as they are
    char* reservedText2 = nullptr;
    // Connection options: 0x2 read-only, 0x4 autocommit, 0x8 asynchronous (ODBC 2 form); values
    // 1, 0x100 and 0x200 come from the connection keywords.
    uint16_t flags = kConnFlagAutocommit;
    // Which of the flags (read-only, autocommit) the application set itself; these survive
    // the connect instead of taking the data source's or the agent's defaults.
    uint16_t appFlags = 0;
    uint32_t fetchSize = 60;  // fetch buffer size (FBS)
    uint32_t loginTimeout = 120;
    char* translateDll = nullptr;  // owned
    uint32_t translateOption = 0;
    uint32_t asyncEnable = 0;  // ODBC 3 form, copied into each statement
    // Statement options given at the connection, the defaults of statements made later.
    uint64_t defQueryTimeout = 0;
    uint64_t defMaxRows = 0;
    uint64_t defNoScan = 0;
    uint64_t defMaxLength = 0;
    uint64_t defBindType = 0;
    StmtCursor cursorDefaults{};  // rowset size 1, forward-only, read-only (set at creation)
    uint32_t isolation = 0;       // transaction isolation; 0 until set or read from the agent
    uint32_t blockRowCap = 0;     // cap on rows per fetched block
    AgentLink link{};             // the connection's own link, filled when it is opened
    uint32_t agentServer = 0;     // agent handle numbers; 0 while not connected
    uint32_t agentConn = 0;
    uint32_t serial = 0;
    uint32_t stmtCounter = 0;
    // Operator table handed out by the agent at connect (kind 1 when loaded); the agent's.
    uint16_t opTableKind = 0;
    uint32_t opTableCount = 0;
    const void* opTableRows = nullptr;  // {i32 SQL type, u32 maximum length, u32 operator mask}
    // The one record (this connection, a statement or a descriptor) whose call is under way.
    std::atomic<HandleBase*> busy{nullptr};
    // Capability words (0 or 1) from the agent's capability mask at connect.
    uint32_t needBind = 0;
    uint32_t hasMoreRes = 0;
    uint32_t hasParamOp = 0;
    uint32_t spOutDeferFetch = 0;
    uint32_t hasScrlCurs = 0;
    uint32_t hasDynMixCurs = 0;
    uint32_t hasV2DAE = 0;
    uint32_t wideUnconfirmed = 0;  // a wide connection the agent did not confirm as Unicode
    uint32_t hasExecute2 = 0;
    uint32_t capConvInfo = 0;           // the agent answers the conversion types
    uint32_t capDescribeWithAttrs = 0;  // results described with attribute rows (slot 51)
    uint32_t capNamedParams = 0;        // parameters described with their names (slot 54)
    uint32_t capMaxLength = 0;          // the agent limits value lengths
    uint32_t capFailover = 0;
    uint32_t capXa = 0;
    // Distributed transactions.
    COdbcResourceDispenser* dispenser = nullptr;
    uint32_t enlisted = 0;
    CritSec xaLock{};
    TokenLock callLock{};  // held for a thread, or for the DTC from prepare to the outcome
    InfoCache infoCache{};
    FailoverCallback failover = nullptr;
    void* failoverArg = nullptr;
};

// Access mode and autocommit as the application sets them (connection attributes): the flag
// changes and is marked as the application's, so connecting keeps it.
inline void ConnSetReadOnly(ConnRecord* c, bool on) {
    c->flags = on ? uint16_t(c->flags | kConnFlagAccessReadOnly) : uint16_t(c->flags & ~kConnFlagAccessReadOnly);
    c->appFlags |= kConnFlagAccessReadOnly;
}
inline void ConnSetAutocommit(ConnRecord* c, bool on) {
    c->flags = on ? uint16_t(c->flags | kConnFlagAutocommit) : uint16_t(c->flags & ~kConnFlagAutocommit);
    c->appFlags |= kConnFlagAutocommit;
}

// One bound result column, in the statement's list in order of first binding.
struct BoundCol {
    BoundCol* next;
    ColumnBinding b;
};

// Statement flag bits.
enum : uint16_t {
    kSfPrepared = 0x1,
    kSfExecuted = 0x2,
    kSfNeedBind = 0x4,    // set at creation on a needbind connection
    kSfParamsSent = 0x8,  // parameter descriptions handed to the agent
};

// A statement as the scroll fetch sees it.
struct StmtCursorOwner final : CursorOwner {
    StmtRecord* stmt = nullptr;
    bool UsesExtendedFetch() const override;
    uint32_t ConnectionInfo(uint16_t infoType, uint32_t* value) override;
    void CollectAgentDiagnostics() override;
};

struct StmtRecord : HandleBase {
    uint32_t state = kStmtStateFreed;
    StmtRecord* next = nullptr;
    ConnRecord* conn = nullptr;
    uint32_t serial = 0;
    const AgentLink* link = nullptr;  // the connection's
    uint32_t agentStmt = 0;
    uint16_t flags = 0;  // kSf* bits
    uint32_t selectFlag = 0;
    bool optionChanged = false;  // the last prepare was granted another cursor type or concurrency
    // Descriptions of the last prepare: parameters (with the described-by-agent word) and result.
    ColumnInfo* params = nullptr;
    uint16_t paramCount = 0;
    uint32_t paramsDescribed = 0;
    ColumnInfo* results = nullptr;
    uint16_t resultCount = 0;
    uint16_t inCount = 0, outCount = 0, ioCount = 0;
    uint32_t directionsUnknown = 0;
    // Block of fetched rows of a forward-only result, and the rows of it handed out (moved by the
    // statement's state machine, odbc/stmt_state.h).
    Dataset block{};
    uint16_t rowsPerBlock = 1;
    uint16_t blockRow = 0;
    // The layers below take the block back to fill it again (kPropFetchRefill): 0 not asked yet,
    // 1 they do, 2 they do not.
    uint8_t blockGoesBack = 0;
    BoundCol* boundCols = nullptr;
    // Parameter bindings (kept by the parameter side; freed with the statement).
    void* paramBindings = nullptr;
    void* paramSummaries = nullptr;
    uint16_t paramBindingCount = 0;
    Dataset* pendingParams = nullptr;
    uint16_t needData = 0;
    uint16_t daePosition = 0;
    uint16_t daeAux = 0;
    // SQLParamData has asked for a value of the dialogue under way: SQLPutData has one to feed.
    bool needDataAsked = false;
    // The agent-driven data-at-execution dialogue under way, the row of the value the agent
    // asked for last and the further word it reported.
    const AgentDaeDialog* agentDialog = nullptr;
    uint32_t agentDaeRow = 0;
    uint32_t agentDaeWord = 0;
    LongDataState longData{};
    StmtCursor cursor{};
    StmtCursorOwner cursorOwner{};
    DescRecord* implicitArd = nullptr;
    DescRecord* implicitApd = nullptr;
    DescRecord* ard = nullptr;
    DescRecord* apd = nullptr;
    DescRecord* ird = nullptr;
    DescRecord* ipd = nullptr;
    int64_t bookmarkOffset = 0;
    SQLULEN* rowsFetchedPtr = nullptr;
    void* fetchBookmarkPtr = nullptr;
    uint64_t fetchedCount = 0;
    uint64_t rowBindType = 0;  // 0 column-wise, else the row size
    uint64_t paramsetSize = 1;
    SQLULEN* paramsProcessedPtr = nullptr;
    HashTable* keyInfo = nullptr;
    void* rowOps = nullptr;       // RowOpState of SetPos and bulk operations (odbc/setpos.h)
    bool namesDescribed = false;  // the result's base names were asked of the agent
    // ---- statement attributes and options (kept by the attribute calls) ----
    uint64_t queryTimeout = 0;
    uint64_t maxRows = 0;
    uint32_t noScan = 0;
    uint64_t maxLength = 0;
    uint32_t asyncEnable = 0;                                         // from the connection's ODBC 3 asynchronous value
    uint32_t agentChoice = 0, describeKeys = 0, describeAddKeys = 0;  // the driver statement options
};

// One record of a descriptor (record 0 is the bookmark record).
struct DescItem {
    int16_t conciseType = 0;
    int16_t precision = 0;
    int16_t scale = 0;
    void* dataPtr = nullptr;
    SQLLEN* octetLengthPtr = nullptr;
    SQLLEN* indicatorPtr = nullptr;
    int64_t octetLength = 0;
    char* name = nullptr;  // owned
    // ---- the remaining descriptor record fields ----
    int16_t type = 0;  // verbose type
    int16_t datetimeIntervalCode = 0;
    int32_t datetimeIntervalPrecision = 0;
    int16_t fixedPrecScale = 0;
    uint64_t length = 0;
    int32_t numPrecRadix = 0;
    int16_t parameterType = 0;
    int16_t unnamed = 0;
    int16_t unsignedFlag = 0;
};

struct DescRecord : HandleBase {
    uint32_t allocKind = 0;      // SQL_DESC_ALLOC_AUTO or SQL_DESC_ALLOC_USER
    uint32_t descType = 0;       // 1 IRD, 2 ARD, 3 IPD, 4 APD
    ConnRecord* conn = nullptr;  // explicitly allocated descriptors
    StmtRecord* stmt = nullptr;  // automatic descriptors
    // Records 0..count; items holds itemsAlloc entries.
    uint16_t count = 0;
    uint16_t itemsAlloc = 0;
    DescItem* items = nullptr;
    SQLLEN* bindOffsetPtr = nullptr;
    SQLULEN arraySize = 1;
    SQLUSMALLINT* arrayStatusPtr = nullptr;
    SQLULEN* rowsProcessedPtr = nullptr;
    SQLULEN bindType = 0;  // 0 column-wise, else the row size
};

// The connection whose busy marker guards a call on this statement or descriptor.
inline ConnRecord* DescOwnerConn(const DescRecord* d) {
    if (d->conn) return d->conn;
    return d->stmt ? d->stmt->conn : nullptr;
}

// Records come from the fallible allocator, so an out-of-memory path can be exercised.
template <class T>
T* RecordNew() {
    void* mem = TryMalloc(sizeof(T));
    return mem ? new (mem) T() : nullptr;
}
template <class T>
void RecordDelete(T* r) {
    if (!r) return;
    r->~T();
    TryFree(r);
}
