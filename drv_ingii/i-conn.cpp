// Sessions and transactions: connect with its options, autocommit emulation, isolation,
// savepoints, commit and rollback.
#include <getopt.h>
#include <sql.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-initsql.h"
#include "drv_ingii/ingutil.h"
#include "util/argv.h"
#include "resources/flavor.h"
#include "util/errtable.h"

namespace {
const char kUnicodeMarker[4] = {'W', 0x7F, 0x01, 0x01};

void FreeText(char*& p) {
    std::free(p);
    p = nullptr;
}

void ConnFree(IngConn* c) {
    IngDiagClear(&c->messages);
    std::free(c->xaInDoubt);
    for (char** p : {&c->versionText, &c->dbName, &c->userName, &c->database, &c->user, &c->password, &c->group,
                     &c->role, &c->effectiveUser, &c->dbmsPassword, &c->dsn.initialSql, &c->dsn.sqlDbmsName})
        FreeText(*p);
    delete c;
}

char* Dup(const char* s) { return s ? strdup(s) : nullptr; }

// Reads -G group, -R role, -u effective user, -P DBMS password and -T from the options text.
void ParseConnectOptions(IngConn* c, const char* text) {
    int argc = 0;
    char** words = nullptr;
    if (text == nullptr || text[0] == '\0' || StrToArgv(text, &argc, &words) != 0) return;
    char** argv = static_cast<char**>(std::calloc(size_t(argc) + 2, sizeof(char*)));
    if (argv != nullptr) {
        char progName[] = "ingconnect";
        argv[0] = progName;
        for (int i = 0; i < argc; ++i) argv[i + 1] = words[i];
        // The option parser keeps global state.
        std::lock_guard<std::recursive_mutex> guard(c->server->lock);
        optind = 0;
        opterr = 0;
        int ch;
        while ((ch = getopt(argc + 1, argv, "G:R:u:P:T")) != -1) {
            switch (ch) {
                case 'G':
                    std::free(c->group);
                    c->group = Dup(optarg);
                    break;
                case 'R':
                    std::free(c->role);
                    c->role = Dup(optarg);
                    break;
                case 'u':
                    std::free(c->effectiveUser);
                    c->effectiveUser = Dup(optarg);
                    break;
                case 'P':
                    std::free(c->dbmsPassword);
                    c->dbmsPassword = Dup(optarg);
                    break;
                case 'T':
                    c->dsn.rtrimChar = 1;
                    break;
                default:
                    IngLog(LOGL_WARNING, "invalid connect option specified");
                    break;
            }
        }
        optind = 0;
        std::free(argv);
    }
    FreeArgv(words);
}

// Moves every message of the failed connect to the server, where the driver collects them.
void MoveMessagesToServer(IngConn* c) {
    std::lock_guard<std::mutex> guard(g_agentMutex);
    std::lock_guard<std::recursive_mutex> lock(c->server->lock);
    IngDiagClear(&c->server->messages);
    c->server->messages.first = c->messages.first;
    c->messages.first = nullptr;
}

uint32_t RefuseInGlobalTxn(IngConn* c) {
    IngLog(LOGL_DEBUG, "Local txn control disallowed while in global txn.");
    IngDiagPostCode(&c->messages, kErrTxnStateInfo);
    return kErrTxnStateInfo;
}

// Ends the transaction: every statement of the connection loses its open result first.
// The commit that autocommit makes after a statement leaves the other statements' cursors open:
// each statement is a transaction of its own, and the connection allows many active statements.
uint32_t EndTransaction(IngConn* c, bool commit, bool keepCursors = false) {
    if (!keepCursors) HandleTableLock(&g_ingStmtTable);
    for (uint32_t i = 0; !keepCursors && i < g_ingStmtTable.capacity; ++i) {
        if (g_ingStmtTable.slots[i].tag == 0) continue;
        auto* s = static_cast<IngStmt*>(g_ingStmtTable.slots[i].record);
        if (s == nullptr || s->conn != c) continue;
        uint16_t executed = s->state & kStmtExecuted;
        IngStmtCloseResult(s);
        s->state = uint16_t((s->state & ~kStmtExecuted) | executed | kStmtEndOfData | kStmtReprepare);
    }
    if (!keepCursors) HandleTableUnlock(&g_ingStmtTable);
    uint32_t rc = commit ? IICommit(c) : IIRollback(c);
    if (rc != 0) {
        IngLog(LOGL_ERROR, commit ? "commit work failed" : "rollback work failed");
        // The transaction went with its failed end (a commit that fails leaves its work undone):
        // the next statement starts a new one rather than naming the old handle.
        c->tranHandle = nullptr;
    }
    c->txnFlags &= uint16_t(~kTxnWorkPending);
    return rc;
}
}  // namespace

ErrCode IngConnect(uint32_t server, IngConnectParams* params, uint32_t* out) {
    IngServer* sv = IngServerFind(server);
    if (sv == nullptr || params == nullptr) return kErrBadArg;
    if (out) *out = 0;
    auto* c = new (std::nothrow) IngConn();
    if (c == nullptr) {
        std::lock_guard<std::mutex> guard(g_agentMutex);
        std::lock_guard<std::recursive_mutex> lock(sv->lock);
        IngDiagPostText(&sv->messages, "Memory allocation failure", kErrNoMemory);
        return kErrNoMemory;
    }
    c->server = sv;
    c->serverHandle = server;
    if (params->settings != nullptr) {
        c->dsn = *params->settings;
        params->settings->initialSql = nullptr;
        params->settings->sqlDbmsName = nullptr;
    }
    c->unicodeConn = tv_wide_build && params->marker != nullptr && std::strlen(params->marker) >= 4 &&
                     std::memcmp(params->marker, kUnicodeMarker, 4) == 0;
    c->odbcVersion = 2;
    c->readOnlyConnected = c->readOnly = params->readOnly ? 1 : 0;
    c->xaSlot = nullptr;
    c->xaState = kXaNone;
    c->xid.formatID = -1;
    ParseConnectOptions(c, params->options);
    c->database = strdup(params->database ? params->database : "default");
    c->user = Dup(params->user);
    c->password = Dup(params->password);
    if (c->database == nullptr || (params->user && !c->user) || (params->password && !c->password)) {
        std::lock_guard<std::mutex> guard(g_agentMutex);
        std::lock_guard<std::recursive_mutex> lock(sv->lock);
        IngDiagPostText(&sv->messages, "Memory allocation failure", kErrNoMemory);
        ConnFree(c);
        return kErrNoMemory;
    }
    c->messages.keep = 1;
    c->connHandle = sv->env;

    if (const int32_t rc = IIConnect(c, nullptr)) {
        MoveMessagesToServer(c);
        ConnFree(c);
        return rc == int32_t(kErrNoMemory) ? kErrNoMemory : kErrRejected;
    }
    if (c->unicodeConn && !c->unicodeSupported) {
        IngDiagPostText(&c->messages, "DBMS doesn't support Unicode connections", kErrGeneral);
        IngLog(LOGL_ERROR, "DBMS doesn't support Unicode connections");
        IIDisconnect(c);
        MoveMessagesToServer(c);
        ConnFree(c);
        return kErrRejected;
    }
    if (c->dsn.noAutoCommit) {
        c->autocommit = 0;
        IngTxnControl(c, kTxnOpAutocommitOff);
    } else {
        c->autocommit = 1;
        IngTxnControl(c, kTxnOpAutocommitOn);
    }
    {
        std::lock_guard<std::recursive_mutex> lock(sv->lock);
        ++sv->connCount;
    }
    c->isolation = SQL_TXN_REPEATABLE_READ;
    IngSetIsolation(c, SQL_TXN_READ_UNCOMMITTED);
    uint32_t h = 0;
    if (HandleTableAdd(&g_ingConnTable, &h, c) != 0) {
        {
            std::lock_guard<std::recursive_mutex> lock(sv->lock);
            --sv->connCount;
        }
        IIRollback(c);
        IIDisconnect(c);
        MoveMessagesToServer(c);
        ConnFree(c);
        return kErrNoMemory;
    }
    c->handle = h;
    if (out) *out = h;
    if (c->dsn.initialSql != nullptr) IngRunInitialSql(c, c->dsn.initialSql);
    c->messages.keep = 0;
    return kErrNone;
}

ErrCode IngDisconnect(uint32_t conn) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return kErrBadArg;
    {
        std::lock_guard<std::recursive_mutex> lock(c->server->lock);
        if (c->server->connCount) --c->server->connCount;
    }
    IngTxnControl(c, kTxnOpRollback);
    // Statements left on the connection would keep a pointer to the freed record.
    std::vector<uint32_t> orphans;
    HandleTableLock(&g_ingStmtTable);
    for (uint32_t i = 0; i < g_ingStmtTable.capacity; ++i) {
        if (g_ingStmtTable.slots[i].tag == 0) continue;
        auto* s = static_cast<IngStmt*>(g_ingStmtTable.slots[i].record);
        if (s == nullptr || s->conn != c) continue;
        // The session ends: what it prepared goes with it.
        orphans.push_back(s->handle);
    }
    HandleTableUnlock(&g_ingStmtTable);
    for (uint32_t h : orphans) IngFreeStmt(h);
    IIDisconnect(c);
    IngDiagClear(&c->messages);
    HandleTableRemove(&g_ingConnTable, conn);
    ConnFree(c);
    return kErrNone;
}

bool IngInGlobalTxn(const IngConn* c) { return IngXaSlotAssociated(c->xaSlot) != 0; }

uint32_t IngTxnControl(IngConn* c, uint32_t op) {
    if (c == nullptr) return kErrBadArg;
    if (!c->probed) return 0;
    if (IngInGlobalTxn(c)) return RefuseInGlobalTxn(c);
    switch (op) {
        case kTxnOpAutocommitOn:
            c->txnFlags |= kTxnAutocommit;
            return EndTransaction(c, true);
        case kTxnOpAutocommitOff:
            c->txnFlags &= uint16_t(~kTxnAutocommit);
            return EndTransaction(c, true);
        case kTxnOpAfterStatement:
            if (c->txnFlags & kTxnAutocommit) return EndTransaction(c, true, true);
            c->txnFlags |= kTxnWorkPending;
            return 0;
        case kTxnOpBeforeStatement:
            return 0;
        case kTxnOpEnd:
        case kTxnOpCommit:
            return EndTransaction(c, true);
        case kTxnOpRollback:
            return EndTransaction(c, false);
        default:
            return kErrGeneral;
    }
}

uint32_t IngSetIsolation(IngConn* c, uint32_t level) {
    if (c == nullptr) return kErrBadArg;
    if (!c->probed) {
        if (level != SQL_TXN_READ_UNCOMMITTED) return kErrNotCapable;
        c->isolation = level;
        return 0;
    }
    const bool autocommit = (c->txnFlags & kTxnAutocommit) != 0;
    const char* text = nullptr;
    if (c->versionNumber >= kIngVersionIsolationLevels) {
        switch (level) {
            case SQL_TXN_READ_UNCOMMITTED:
                text = "ISOLATION LEVEL READ UNCOMMITTED";
                break;
            case SQL_TXN_READ_COMMITTED:
                text = "ISOLATION LEVEL READ COMMITTED";
                break;
            case SQL_TXN_REPEATABLE_READ:
                text = "ISOLATION LEVEL REPEATABLE READ";
                break;
            case SQL_TXN_SERIALIZABLE:
                text = "ISOLATION LEVEL SERIALIZABLE";
                break;
            default:
                return kErrNotCapable;
        }
    } else {
        switch (level) {
            case SQL_TXN_READ_UNCOMMITTED:
                text = "NOLOCK";
                break;
            case SQL_TXN_REPEATABLE_READ:
                text = autocommit ? "NOLOCK" : "SHARED";
                break;
            case SQL_TXN_SERIALIZABLE:
                text = autocommit ? "NOLOCK" : "EXCLUSIVE";
                break;
            default:
                return kErrNotCapable;
        }
    }
    uint32_t rc = 0;
    if (autocommit && (rc = IngTxnControl(c, kTxnOpCommit)) != 0) return rc;
    rc = c->versionNumber >= kIngVersionIsolationLevels ? IISetSession(c, text) : IISetLockMode(c, text);
    if (rc != 0) return rc;
    c->isolation = level;
    return 0;
}

ErrCode IngCommit(uint32_t conn) {
    IngConn* c = IngConnFind(conn);
    return ErrCode(c ? IngTxnControl(c, kTxnOpCommit) : kErrBadArg);
}

ErrCode IngRollback(uint32_t conn) {
    IngConn* c = IngConnFind(conn);
    return ErrCode(c ? IngTxnControl(c, kTxnOpRollback) : kErrBadArg);
}

ErrCode IngSavepoint(uint32_t conn, uint32_t op, const char* name) {
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return kErrBadArg;
    if (IngInGlobalTxn(c)) return ErrCode(RefuseInGlobalTxn(c));
    if (name == nullptr && (op == kSavepointSet || op == kSavepointRollbackTo)) return kErrBadArg;
    char text[64];
    switch (op) {
        case kSavepointSet:
            std::snprintf(text, sizeof text, "SAVEPOINT %.32s ", name);
            break;
        case kSavepointRollbackTo:
            std::snprintf(text, sizeof text, "ROLLBACK TO %.32s", name);
            break;
        case kSavepointRelease:
            return kErrNone;
        default:
            return kErrBadArg;
    }
    return ErrCode(IIExecImmediate(&c->connHandle, &c->tranHandle, text, nullptr, &c->messages));
}
