#pragma once
// The driver's handle records. Every record starts with the common header, so the gateway,
// diagnostics and the free paths treat the four kinds alike.
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdint>
#include <new>

#include "odbc/agent_link.h"
#include "util/critsec.h"
#include "util/trymem.h"
#include "odbc/getcolumn.h"
#include "scrs/sc_cursor.h"

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

struct ConnRecord;
struct StmtRecord;
struct DescRecord;

struct EnvRecord : HandleBase {
    uint32_t state = 0;  // 1 allocated, 2 open, 0 freed
    EnvRecord* next = nullptr;
    ConnRecord* conns = nullptr;
    uint32_t serial = 0;
    uint32_t connCounter = 0;
    uint32_t pooling = 0;      // attribute 201
    uint32_t poolMatch = 0;    // attribute 202
    uint32_t odbcVersion = 2;  // attribute 200
    uint32_t outputNts = 1;    // attribute 10001
};

// Rowset size 1, keyset size 0, forward-only, read-only, retrieve data on; no handles.
inline SCS_Cursor DefaultCursorBlock() {
    SCS_Cursor c{};
    SCS_CursorInit(&c, 0, 0, nullptr, nullptr);
    return c;
}

using FailoverCallback = void (*)(int event, void* arg, int reserved);

struct ConnRecord : HandleBase {
    uint32_t state = 0;  // 1 allocated, 2 connected, 0 freed
    ConnRecord* next = nullptr;
    StmtRecord* stmts = nullptr;
    EnvRecord* env = nullptr;
    char* dsn = nullptr;  // data-source name, owned
    uint32_t serial = 0;
    uint32_t stmtCounter = 0;
    // The one record (this connection, a statement or a descriptor) whose call is under way.
    std::atomic<HandleBase*> busy{nullptr};
    CritSec callLock{};
    FailoverCallback failover = nullptr;
    void* failoverArg = nullptr;
    AgentLink link{};          // the connection's own link, filled when it is opened
    uint32_t agentServer = 0;  // agent handle numbers; 0 while not connected
    uint32_t agentConn = 0;
    SCS_Cursor cursorDefaults = DefaultCursorBlock();
    uint32_t blockRowCap = 0xFFFF;  // most rows one block fetch asks for
    uint32_t fetchBufferSize = 60;
    uint32_t cn_needbind = 0;
    uint32_t cn_hasMoreRes = 0;
    uint32_t cn_hasParamOp = 0;
    uint32_t cn_spOutDeferFetch = 0;
    uint32_t cn_hasScrlCurs = 0;
    uint32_t cn_hasDynMixCurs = 0;
    uint32_t cn_hasV2DAE = 0;
    uint32_t cn_hasExecute2 = 0;
};

// One bound result column, in the statement's list in order of first binding.
struct BoundCol {
    BoundCol* next;
    ColumnBinding b;
};

// Statement flag bits.
enum : uint16_t {
    kSfPrepared = 0x1,
    kSfExecuted = 0x2,
    kSfNeedBind = 0x4,       // set at creation on a needbind connection
    kSfParamsSent = 0x8,     // parameter descriptions handed to the agent
};
// Executed is also "a result set is open": closing the cursor clears it.
constexpr uint16_t kSfResultOpen = kSfExecuted;

struct StmtRecord : HandleBase {
    uint32_t state = 0;  // 1 allocated or prepared, 2 result set open, 0 freed
    StmtRecord* next = nullptr;
    ConnRecord* conn = nullptr;
    uint32_t serial = 0;
    const AgentLink* link = nullptr;  // the connection's
    uint32_t agentStmt = 0;
    uint16_t flags = 0;        // kSf* bits
    uint32_t selectFlag = 0;
    // Descriptions of the last prepare: parameters (with the described-by-agent word) and result.
    ColumnInfo* params = nullptr;
    uint16_t paramCount = 0;
    uint32_t paramsDescribed = 0;
    ColumnInfo* results = nullptr;
    uint16_t resultCount = 0;
    uint16_t inCount = 0, outCount = 0, ioCount = 0;
    uint32_t directionsUnknown = 0;
    // Block of fetched rows of a forward-only result.
    Dataset block{};
    uint16_t rowsPerBlock = 1;
    uint16_t currentRow = 0;
    BoundCol* boundCols = nullptr;
    // Parameter bindings (kept by the parameter side; freed with the statement).
    void* paramBindings = nullptr;
    void* paramSummaries = nullptr;
    uint16_t paramBindingCount = 0;
    Dataset* pendingParams = nullptr;
    uint16_t needData = 0;
    uint16_t daePosition = 0;
    uint16_t daeAux = 0;
    LongDataState longData{};
    SCS_Cursor cursor{};
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
};

struct DescRecord : HandleBase {
    uint32_t allocKind = 0;  // 1 automatic, 2 allocated by the application
    uint32_t descType = 0;   // 1 IRD, 2 ARD, 3 IPD, 4 APD
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
    SQLULEN bindType = 0;  // SQL_DESC_BIND_TYPE: 0 column-wise, else the row size in bytes
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
