// The agent's records (server, connection), its handle tables and process-wide state.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "util/handle_table.h"
#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-connparams.h"
#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-log.h"
#include "drv_ingii/i-optable.h"
#include "drv_ingii/i-xa.h"

struct IngStmt;

struct IngServer {
    IngServerLayerWords layerWords;  // reserved for the cursor layer
    std::recursive_mutex lock;       // guards messages and the parked branches
    void* env;                       // OpenAPI environment
    IngDiagList messages;
    uint32_t connCount;
    XaBranchList* branches;
};

enum : uint16_t { kTxnWorkPending = 0x1, kTxnAutocommit = 0x2 };

// Server version numbers (IngVersionNumber) from which a server is served differently.
enum : int32_t {
    kIngVersionLargeStrings = 300000,      // 32000-byte strings, large type sizes, the newer catalog forms
    kIngVersionIsolationLevels = 2000000,  // SET SESSION ISOLATION LEVEL, all four levels; before: lock modes
};

struct IngConn {
    IngDiagList messages;
    void* xaSlot;  // the XA layer's share of the connection (xa/), opaque here
    IngServer* server;
    uint32_t handle;
    void* connHandle;  // the environment until the session exists
    void* tranHandle;
    int32_t sizeAdvise;
    int32_t apiLevel;
    uint32_t maxStringLen;
    uint32_t maxCharLen;
    char* versionText;
    uint32_t unicodeSupported;
    uint32_t readOnlyConnected;
    uint32_t readOnly;  // current access mode
    uint32_t autocommit;
    char* dbName;  // as the server reported them
    char* userName;
    char* database;  // login texts
    char* user;
    char* password;
    char* group;
    char* role;
    char* effectiveUser;
    char* dbmsPassword;
    uint16_t txnFlags;
    uint32_t isolation;  // SQL_TXN_READ_UNCOMMITTED, _READ_COMMITTED, _REPEATABLE_READ or _SERIALIZABLE
    uint32_t capsAsked;
    uint32_t odbcVersion;  // of the application, default 2
    uint32_t probed;
    uint32_t nameCase;       // 1 upper, 2 lower
    uint32_t delimitedCase;  // 2 lower, 3 mixed
    int32_t versionNumber;
    uint32_t unicodeConn;
    IngDsnSettings dsn;   // owns its initialSql and sqlDbmsName
    uint32_t paramNames;  // set by capability item 0x12: descriptions carry parameter names
    uint32_t serverHandle;
    void* keyColCache;  // reserved for the cursor layer
    uint32_t xaState;   // an XaBranchState
    XID xid;            // format id -1 while none
    uint32_t xaParked;  // 1 while the branch lies in the server's list and the connection has no session
    void* xaXidHandle;  // the branch's registered transaction id
    XID* xaInDoubt;     // the in-doubt list of the last recovery scan
    uint32_t xaInDoubtCount;
    uint32_t xaInDoubtPos;
    std::mutex namesLock;             // guards freeNames
    std::vector<uint32_t> freeNames;  // name numbers of freed statements, taken again first
};

// The agent's three handle tables (valid while a server exists).
extern HandleTable g_ingServerTable;
extern HandleTable g_ingConnTable;
extern HandleTable g_ingStmtTable;
extern std::mutex g_agentMutex;

IngServer* IngServerFind(uint32_t h);
IngConn* IngConnFind(uint32_t h);
IngStmt* IngStmtFind(uint32_t h);

ErrCode IngServerAlloc(void* unused, uint32_t* out);
ErrCode IngServerFree(uint32_t server);
ErrCode IngConnect(uint32_t server, IngConnectParams* params, uint32_t* out);
ErrCode IngDisconnect(uint32_t conn);
ErrCode IngCommit(uint32_t conn);
ErrCode IngRollback(uint32_t conn);
ErrCode IngSavepoint(uint32_t conn, uint32_t op, const char* name);
// Operations of IngTxnControl.
enum IngTxnOp : uint32_t {
    kTxnOpAutocommitOn = 1,     // commit; from now on every statement is committed
    kTxnOpAutocommitOff = 2,    // commit; from now on work stays pending until it is ended
    kTxnOpAfterStatement = 3,   // in autocommit commit, otherwise mark work pending
    kTxnOpBeforeStatement = 4,  // nothing to do before a statement
    kTxnOpEnd = 5,              // end the transaction with a commit
    kTxnOpCommit = 6,
    kTxnOpRollback = 7,
};
uint32_t IngTxnControl(IngConn* c, uint32_t op);
// kTxnOpAfterStatement outside a global transaction (the caller knows): inline when the work is
// already marked pending, as it is from the second row of a parameter array on.
inline uint32_t IngTxnAfterLocalStatement(IngConn* c) {
    if ((c->txnFlags & (kTxnWorkPending | kTxnAutocommit)) == kTxnWorkPending) return 0;
    return IngTxnControl(c, kTxnOpAfterStatement);
}
// Whether the connection takes part in a global (XA) transaction just now.
bool IngInGlobalTxn(const IngConn* c);
uint32_t IngSetIsolation(IngConn* c, uint32_t level);
ErrCode IngCancel(uint32_t stmt);
ErrCode IngUnsupportedStmtOp(uint32_t stmt);
ErrCode IngNativeSql(uint32_t conn, const char* in, char* out, uint16_t len, uint16_t* outLen);
ErrCode IngPrepareExecute(uint32_t stmt, const char* text, Dataset* values, uint16_t count, ParamDescEntry* descs);

// The link the agent's statement blocks ask through: the agent's own table.
const AgentLink* IngStatementLink();

// Number of servers allocated and not freed (for tests).
uint32_t IngServerRefCount();
