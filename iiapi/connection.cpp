// Sessions: connect, disconnect, transactions and distributed transaction ids.
#include "iiapi/internal.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <cstring>
#include <utility>

namespace iiapi {

namespace {

std::string osUser() {
    if (const char* u = std::getenv("USER"); u && *u) return u;
    // The account's name is looked up once per user id, not with a read of the password
    // database at every connect.
    static std::mutex lookup;
    static uid_t seen = 0;
    static std::string name;
    const uid_t uid = getuid();
    std::lock_guard<std::mutex> lk(lookup);
    if (name.empty() || uid != seen) {
        struct passwd* pw = getpwuid(uid);
        name = pw && pw->pw_name ? pw->pw_name : "";
        seen = uid;
    }
    return name.empty() ? "ingres" : name;
}

bool contains(const std::string& hay, const char* needle) { return hay.find(needle) != std::string::npos; }

// Whether the database has accounts: asked at every connect, compiled once per connection.
bool hasUsersTable(Conn& c) {
    sqlite3_stmt* st =
        keptStatement(c, c.cache.usersTable, "SELECT 1 FROM sqlite_master WHERE type='table' AND name='iiapi_users'");
    if (!st) return false;
    const bool found = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_reset(st);
    return found;
}

// Closes the open cursors of the session, as a transaction end does on the server. A commit
// leaves the cursors that were opened before the transaction changed anything: they saw none of
// its work, and autocommit sessions read on through the commits of their other statements.
void closeCursors(Conn& c, bool commit) {
    for (Stmt* s : c.statements) {
        if (commit && s->outsideTxn) continue;
        releaseCursor(c, *s);
        if (s->state == Stmt::State::Rows) {
            s->state = Stmt::State::Done;
            s->eof = true;
            s->haveRow = false;
        }
    }
}

std::shared_ptr<Conn> connFor(II_PTR h) { return findAs<Conn>(h, Kind::Conn); }

}  // namespace

// Reads the rest of every open cursor into memory and lets its statement go, so that it no
// longer pins the snapshot the session read from nor the tables it reads.
bool spoolCursors(Conn& c) {
    bool any = false;
    for (Stmt* s : c.statements)
        if (spoolCursor(c, *s)) any = true;
    return any;
}

bool spoolCursor(Conn& c, Stmt& s) {
    if (!s.cursor || s.held || s.state != Stmt::State::Rows) return false;
    const int n = sqlite3_column_count(s.cursor);
    auto take = [&] {
        std::vector<sqlite3_value*> row;
        for (int k = 0; k < n; ++k) row.push_back(sqlite3_value_dup(sqlite3_column_value(s.cursor, k)));
        s.heldRows.push_back(std::move(row));
    };
    // The row read last stays current, read whole or not: positioned changes name it.
    const bool current = s.haveRow || s.onRow;
    if (current) take();
    if (!s.eof) {
        int rc;
        while ((rc = sqlite3_step(s.cursor)) == SQLITE_ROW) take();
        if (rc != SQLITE_DONE) {
            // The cursor fails as it would have failed reading on.
            for (auto& row : s.heldRows)
                for (auto* v : row) sqlite3_value_free(v);
            s.heldRows.clear();
            s.state = Stmt::State::Failed;
        }
    }
    releaseCursor(c, s);
    s.held = true;
    s.heldPos = current ? 1 : 0;
    return true;
}

bool execSimple(sqlite3* db, const char* sql, Fault& f) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        f = faultFromSqlite(db, rc);
        return false;
    }
    return true;
}

OwnChange compileChange(sqlite3* db, const char* sql, Fault& f) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
        f = faultFromSqlite(db, sqlite3_errcode(db));
        sqlite3_finalize(st);
        return nullptr;
    }
    return OwnChange(st);
}

bool runChange(sqlite3* db, sqlite3_stmt* st, Fault& f) {
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc == SQLITE_DONE) return true;
    f = faultFromSqlite(db, rc);
    return false;
}

Fault faultFromSqlite(sqlite3* db, int rc) {
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    int ext = db ? sqlite3_extended_errcode(db) : rc;
    switch (rc & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return makeFault("40001", native::kDeadlock,
                             "Deadlock or lock timeout: the database is locked by another session (" + msg + ")");
        case SQLITE_INTERRUPT:
            return makeFault("S1008", native::kCancelled, "The query was cancelled");
        case SQLITE_CONSTRAINT:
            if (ext == SQLITE_CONSTRAINT_CHECK) {
                // The checks of what a column holds name the failure and the column.
                static const struct {
                    const char* prefix;
                    const char* sqlstate;
                    int32_t native;
                    const char* text;
                } kColumnChecks[] = {
                    {kFitCheckPrefix, "22001", native::kTruncate,
                     "String data right truncation: value too long for column "},
                    {kNumberCheckPrefix, "22005", native::kType, "Error in assignment: no valid value for column "},
                    {kRangeCheckPrefix, "22003", native::kOverflow,
                     "Numeric value out of range: the value does not fit column "},
                };
                for (const auto& k : kColumnChecks) {
                    const std::string lead = std::string("CHECK constraint failed: ") + k.prefix;
                    if (msg.compare(0, lead.size(), lead) == 0)
                        return makeFault(k.sqlstate, k.native, k.text + msg.substr(lead.size()));
                }
            }
            if (ext == SQLITE_CONSTRAINT_UNIQUE || ext == SQLITE_CONSTRAINT_PRIMARYKEY)
                return makeFault("23000", native::kDuplicate, "Duplicate key on INSERT or UPDATE: " + msg);
            return makeFault("23000", native::kConstraint, "Integrity constraint violated: " + msg);
        case SQLITE_NOMEM:
            return makeFault("S1001", native::kGeneral, "Out of memory");
        case SQLITE_FULL:
            return makeFault("S1000", native::kDiskFull, "Disk full: the database's files cannot grow (" + msg + ")");
        case SQLITE_TOOBIG:
            return makeFault("22001", native::kTruncate, "Value too long: " + msg);
        case SQLITE_READONLY:
            return makeFault("42000", native::kGeneral, "The database is read-only: " + msg);
        case SQLITE_CANTOPEN:
            return makeFault("08001", native::kNoDatabase, "Cannot open the database: " + msg);
        case SQLITE_MISMATCH:
            return makeFault("22005", native::kType, "Value of the wrong type: " + msg);
        case SQLITE_RANGE:
            return makeFault("07001", native::kGeneral, "Wrong number of parameters: " + msg);
        default:
            break;
    }
    if (contains(msg, "no such table") || contains(msg, "no such view"))
        return makeFault("42S02", native::kNoTable, "Table or view not found: " + msg);
    if (contains(msg, "no such column")) return makeFault("42S22", native::kNoColumn, "Column not found: " + msg);
    if (contains(msg, "already exists"))
        return makeFault("42S01", native::kTableExists, "Object already exists: " + msg);
    if (contains(msg, "duplicate column"))
        return makeFault("42S21", native::kTableExists, "Column already exists: " + msg);
    if (contains(msg, "invalid datetime format"))
        return makeFault("22007", native::kType, "Invalid datetime format: " + msg);
    if (contains(msg, "invalid character value"))
        return makeFault("22018", native::kType, "Invalid character value for cast specification: " + msg);
    if (contains(msg, "type mismatch")) return makeFault("22005", native::kType, "Error in assignment: " + msg);
    if (contains(msg, "numeric value out of range"))
        return makeFault("22003", native::kOverflow, "Numeric value out of range: " + msg);
    if (contains(msg, "integer overflow"))
        return makeFault("22003", native::kOverflow, "Numeric value out of range: " + msg);
    if (contains(msg, "division by zero")) return makeFault("22012", native::kDivZero, "Division by zero");
    if (contains(msg, "syntax error") || contains(msg, "incomplete input") || contains(msg, "unrecognized token") ||
        contains(msg, "no such function") || contains(msg, "wrong number of arguments") || contains(msg, "misuse"))
        return makeFault("42000", native::kSyntax, "Syntax error: " + msg);
    return makeFault("S1000", native::kGeneral, msg);
}

bool keepWriteAheadLog(sqlite3* db, const char* schema, Fault& f) {
    // With a size limit the close empties the kept log; while sessions work, a log started again
    // after a checkpoint is cut back to it.
    const std::string limit = std::string("PRAGMA ") + schema + ".journal_size_limit=4194304";
    if (!execSimple(db, limit.c_str(), f)) return false;
    int keep = 1;
    if (int rc = sqlite3_file_control(db, schema, SQLITE_FCNTL_PERSIST_WAL, &keep); rc != SQLITE_OK) {
        f = faultFromSqlite(db, rc);
        return false;
    }
    return true;
}

bool startTransaction(Conn& c, Fault& f, bool begin) {
    if (!c.tran) {
        c.tran = std::make_shared<Tran>();
        c.tran->conn = c.self;
        registerObject(c.tran, c.handle);
    }
    if (c.autocommit || c.inTransaction) return true;
    // A distributed branch is one database transaction from its start.
    if (!begin && c.xaKey.empty() && !c.snapshotReads) return true;
    if (!execSimple(c.db, "BEGIN", f)) return false;
    c.setInTransaction(true);
    return true;
}

bool takeWriteLock(Conn& c, Fault& f, sqlite3_stmt* st) {
    // The write lock is taken at once (waiting out other writers): a transaction that read first
    // and locked later could find its snapshot overtaken. With separately locked tables only the
    // files the change writes to are locked.
    const uint32_t files = c.sideAttached ? writtenFiles(c, st) : 0;
    auto begin = [&] { return files ? beginWriteOn(c, files, f) : execSimple(c.db, "BEGIN IMMEDIATE", f); };
    if (!begin()) {
        // An open cursor of this session may still read an older snapshot than the one a writer
        // needs; once its rows are read out the session can take the lock.
        if (!spoolCursors(c)) return false;
        f = Fault{};
        if (!begin()) return false;
    }
    c.setInTransaction(true);
    return true;
}

bool endTransaction(Conn& c, bool commit, Fault& f) {
    closeCursors(c, commit);
    xaBeforeEnd(c, commit);
    bool ok = true;
    if (c.inTransaction && !sqlite3_get_autocommit(c.db)) {
        ok = execSimple(c.db, commit ? "COMMIT" : "ROLLBACK", f);
        if (!ok && commit) {
            // A commit that cannot finish (lock timeout, full disk) leaves the work undone, as a
            // server would.
            Fault ignored;
            if (!sqlite3_get_autocommit(c.db)) execSimple(c.db, "ROLLBACK", ignored);
            f.text += "; the transaction has been rolled back";
        }
    }
    c.setInTransaction(false);
    if (commit && ok)
        c.catalogsInTransaction = false;
    else
        catalogsRolledBack(c);
    // The branch ends with its transaction.
    xaAfterEnd(c, commit, ok);
    if (c.tran && !c.tran->autocommitMarker) {
        unregisterObject(c.tran->handle);
        c.tran.reset();
    }
    return ok;
}

void noteTransactionLost(Conn& c, Fault& f) {
    if (!c.inTransaction || !c.db || !sqlite3_get_autocommit(c.db)) return;
    closeCursors(c, false);
    xaBeforeEnd(c, false);
    c.setInTransaction(false);
    catalogsRolledBack(c);
    xaAfterEnd(c, false, true);
    f.text += "; the transaction has been rolled back";
}

Conn::~Conn() { endSessionDatabase(*this, false); }

}  // namespace iiapi

using namespace iiapi;

namespace {

// The connection a parameter or connect call works on: given an environment handle, a new one in
// that environment; given a connection handle, that connection; otherwise none.
std::shared_ptr<Conn> connectionFor(II_PTR handle) {
    auto obj = findObject(handle);
    if (obj && obj->kind == Kind::Env) {
        auto c = std::make_shared<Conn>();
        c->env = std::static_pointer_cast<Env>(obj);
        c->self = c;
        registerObject(c);
        return c;
    }
    if (obj && obj->kind == Kind::Conn) return std::static_pointer_cast<Conn>(obj);
    return nullptr;
}

}  // namespace

extern "C" {

void IIapi_setConnectParam(IIAPI_SETCONPRMPARM* p) {
    if (!p) return;
    if (!initialized()) return complete(p->sc_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    std::shared_ptr<Conn> c = connectionFor(p->sc_connHandle);
    if (!c) return complete(p->sc_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    std::lock_guard<QuickRecursiveMutex> lk(c->callMutex);
    c->clearMessages();
    p->sc_connHandle = c->handle;
    const char* v = static_cast<const char*>(p->sc_paramValue);
    if (c->connected) {
        c->addMessage(makeFault("S1010", native::kSequence, "Connection parameters must be set before connecting"));
        return complete(p->sc_genParm, IIAPI_ST_ERROR, c->handle);
    }
    switch (p->sc_paramID) {
        case IIAPI_CP_DECIMAL_CHAR:
            if (!v || (std::strcmp(v, ".") != 0 && std::strcmp(v, ",") != 0)) {
                c->addMessage(makeFault("S1009", native::kGeneral, "Invalid decimal character"));
                return complete(p->sc_genParm, IIAPI_ST_ERROR, c->handle);
            }
            c->decimalChar = v[0];
            break;
        case IIAPI_CP_ROLE_ID:
            c->role = v ? v : "";
            break;
        case IIAPI_CP_GROUP_ID:
            c->group = v ? v : "";
            break;
        case IIAPI_CP_EFFECTIVE_USER:
            c->user = v ? v : "";
            break;
        case IIAPI_CP_DBMS_PASSWORD:
            c->dbmsPassword = v ? v : "";
            break;
        default:
            // The interface knows more parameters; they do not change this engine.
            break;
    }
    complete(p->sc_genParm, IIAPI_ST_SUCCESS, nullptr);
}

void IIapi_connect(IIAPI_CONNPARM* p) {
    if (!p) return;
    if (!initialized()) return complete(p->co_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    std::shared_ptr<Conn> c = connectionFor(p->co_connHandle);
    if (!c) return complete(p->co_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    std::shared_ptr<TranId> xid;
    if (p->co_tranHandle) {
        xid = findAs<TranId>(p->co_tranHandle, Kind::TranId);
        if (!xid) return complete(p->co_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    }
    std::lock_guard<QuickRecursiveMutex> lk(c->callMutex);
    c->clearMessages();
    p->co_connHandle = c->handle;
    auto fail = [&](const Fault& f) {
        c->addMessage(f);
        complete(p->co_genParm, IIAPI_ST_ERROR, c->handle);
    };
    if (c->connected) return fail(makeFault("08002", native::kSequence, "The connection is already open"));
    std::string key, text;
    if (xid && !xaKeyFromTranId(xid->id, key, text))
        return fail(makeFault("S1009", native::kGeneral, "The transaction id is not an XA id"));
    if (p->co_type != IIAPI_CT_SQL)
        return fail(makeFault("08001", native::kGeneral, "Only SQL connections are supported"));
    if (!p->co_target || !databasePath(p->co_target, c->path, c->dbname))
        return fail(makeFault("08001", native::kNoDatabase,
                              std::string("Invalid database name '") + (p->co_target ? p->co_target : "") +
                                  "': a database is named by a name in the data directory"));
    struct stat sb;
    // The master database lists in-doubt branches; it need not exist as a file.
    c->isMaster = c->dbname == "iidbdb";
    bool inMemory = c->isMaster && stat(c->path.c_str(), &sb) != 0;
    if (!inMemory && stat(c->path.c_str(), &sb) != 0)
        return fail(makeFault("08004", native::kNoDatabase,
                              "Database '" + c->dbname + "' does not exist (no file " + c->path + ")"));
    c->settings = currentSettings();
    Fault f;
    if (!openSessionDatabase(*c, inMemory ? nullptr : &sb, f)) return fail(f);
    sqlite3* db = c->db;

    c->loginUser = p->co_username && *p->co_username ? p->co_username : osUser();
    if (c->user.empty()) c->user = c->loginUser;
    if (hasUsersTable(*c)) {
        sqlite3_stmt* st = nullptr;
        bool refused = false;
        if (sqlite3_prepare_v2(db, "SELECT password FROM iiapi_users WHERE name=?", -1, &st, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(st, 1, c->loginUser.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(st) == SQLITE_ROW) {
                const char* pw = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
                if (pw && *pw) refused = !passwordMatches(pw, p->co_password);
            }
        }
        sqlite3_finalize(st);
        if (refused) {
            endSessionDatabase(*c, true);
            return fail(
                makeFault("28000", native::kLogin, "Login failed: invalid password for user '" + c->loginUser + "'"));
        }
    }
    c->target = p->co_target;
    if (auto env = c->env.lock()) c->maxSegment = env->maxSegment;
    c->catalogsCreated = c->catalogsInTransaction = c->catalogsWithMetadata = false;
    c->connected = true;
    p->co_sizeAdvise = c->maxSegment;
    p->co_apiLevel = c->settings.apiLevel;
    p->co_tranHandle = nullptr;
    if (xid) {
        // The session finishes a prepared branch of an ended session, as the server's
        // reconnection to a distributed transaction does; an id nobody prepared is no branch.
        if (!xaAdopt(*c, key, f)) {
            xaSessionGone(*c);
            if (c->tran) unregisterObject(c->tran->handle);
            c->tran.reset();
            c->adopted.reset();
            c->setInTransaction(false);
            endSessionDatabase(*c, false);
            c->connected = false;
            return fail(f);
        }
        p->co_tranHandle = c->tran->handle;
    }
    complete(p->co_genParm, IIAPI_ST_SUCCESS, nullptr);
}

void IIapi_disconnect(IIAPI_DISCONNPARM* p) {
    if (!p) return;
    if (!initialized()) return complete(p->dc_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    auto c = connFor(p->dc_connHandle);
    if (!c) return complete(p->dc_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    {
        std::lock_guard<QuickRecursiveMutex> lk(c->callMutex);
        // A prepared branch outlives its session: its transaction stays open until another
        // session commits or rolls it back.
        bool keepBranch = c->xaPrepared;
        // A session that took part in a distributed transaction changed its connection's hooks
        // and settings: the connection is not kept for another.
        const bool plain = c->xaKey.empty() && !c->adopted && !c->orphan && !c->xa.capturing;
        if (c->connected && !keepBranch) {
            Fault ignored;
            endTransaction(*c, false, ignored);
        }
        if (!keepBranch) xaSessionGone(*c);
        for (Stmt* s : c->statements) {
            if (s->cursor) {
                sqlite3_finalize(s->cursor);
                s->cursor = nullptr;
            }
            unregisterObject(s->handle);  // the last reference, unless a call waiting holds one
        }
        c->statements.clear();
        if (c->spareStmt) unregisterRetired(*std::exchange(c->spareStmt, nullptr));
        if (c->tran) unregisterObject(c->tran->handle);
        c->tran.reset();
        c->prepared.clear();
        c->namedEntry = nullptr;
        c->adopted.reset();
        if (!keepBranch) endSessionDatabase(*c, plain);
        c->connected = false;
        // Under the call lock: see findHeld.
        unregisterObject(p->dc_connHandle);
    }
    complete(p->dc_genParm, IIAPI_ST_SUCCESS, nullptr);
}

void IIapi_autocommit(IIAPI_AUTOPARM* p) {
    if (!p) return;
    if (!initialized()) return complete(p->ac_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    if (p->ac_tranHandle) {
        auto t = findAs<Tran>(p->ac_tranHandle, Kind::Tran);
        auto c = t ? t->conn.lock() : nullptr;
        if (!t || !c || !t->autocommitMarker) return complete(p->ac_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
        std::lock_guard<QuickRecursiveMutex> lk(c->callMutex);
        c->clearMessages();
        c->autocommit = false;
        unregisterObject(t->handle);
        c->tran.reset();
        p->ac_tranHandle = nullptr;
        return complete(p->ac_genParm, IIAPI_ST_SUCCESS, nullptr);
    }
    auto c = connFor(p->ac_connHandle);
    if (!c || !c->connected) return complete(p->ac_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    std::lock_guard<QuickRecursiveMutex> lk(c->callMutex);
    c->clearMessages();
    if (c->tran) {
        c->addMessage(makeFault("25000", native::kSequence, "Autocommit cannot be switched on inside a transaction"));
        return complete(p->ac_genParm, IIAPI_ST_ERROR, c->handle);
    }
    c->autocommit = true;
    c->tran = std::make_shared<Tran>();
    c->tran->conn = c;
    c->tran->autocommitMarker = true;
    p->ac_tranHandle = registerObject(c->tran, c->handle);
    complete(p->ac_genParm, IIAPI_ST_SUCCESS, nullptr);
}

namespace {

void endTran(IIAPI_GENPARM& gp, II_PTR tranHandle, bool commit) {
    if (!initialized()) return complete(gp, IIAPI_ST_NOT_INITIALIZED, nullptr);
    auto t = findAs<Tran>(tranHandle, Kind::Tran);
    auto c = t ? t->conn.lock() : nullptr;
    if (!t || !c || !c->connected) return complete(gp, IIAPI_ST_INVALID_HANDLE, nullptr);
    std::lock_guard<QuickRecursiveMutex> lk(c->callMutex);
    t->clearMessages();
    if (t->autocommitMarker) {
        // Nothing is pending in autocommit; the marker stays until autocommit is switched off.
        return complete(gp, IIAPI_ST_SUCCESS, nullptr);
    }
    if (c->tran != t) return complete(gp, IIAPI_ST_INVALID_HANDLE, nullptr);
    Fault f;
    if ((c->adopted || c->orphan) && !xaFinishAdopted(*c, commit, f)) {
        Fault ignored;
        endTransaction(*c, false, ignored);
        c->clearMessages();
        c->addMessage(f);
        return complete(gp, IIAPI_ST_ERROR, c->handle);
    }
    if (!endTransaction(*c, commit, f)) {
        // The transaction handle is gone with the transaction; the session keeps the messages.
        c->clearMessages();
        c->addMessage(f);
        return complete(gp, IIAPI_ST_ERROR, c->handle);
    }
    complete(gp, IIAPI_ST_SUCCESS, nullptr);
}

}  // namespace

void IIapi_commit(IIAPI_COMMITPARM* p) {
    if (!p) return;
    endTran(p->cm_genParm, p->cm_tranHandle, true);
}

void IIapi_rollback(IIAPI_ROLLBACKPARM* p) {
    if (!p) return;
    if (p->rb_savePointHandle) {
        auto t = findAs<Tran>(p->rb_tranHandle, Kind::Tran);
        if (!t) return complete(p->rb_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
        t->clearMessages();
        t->addMessage(makeFault("S1C00", native::kGeneral, "Savepoints are rolled back with ROLLBACK TO name"));
        return complete(p->rb_genParm, IIAPI_ST_ERROR, t->handle);
    }
    endTran(p->rb_genParm, p->rb_tranHandle, false);
}

void IIapi_prepareCommit(IIAPI_PREPCMTPARM* p) {
    if (!p) return;
    if (!initialized()) return complete(p->pr_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    auto t = findAs<Tran>(p->pr_tranHandle, Kind::Tran);
    auto c = t ? t->conn.lock() : nullptr;
    if (!t || !c || !c->connected) return complete(p->pr_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    std::lock_guard<QuickRecursiveMutex> lk(c->callMutex);
    t->clearMessages();
    // A branch adopted from an ended session is prepared already.
    if (c->adopted || c->orphan) return complete(p->pr_genParm, IIAPI_ST_SUCCESS, nullptr);
    Fault f;
    if (t->autocommitMarker || !xaPrepare(*c, f)) {
        if (t->autocommitMarker) f = makeFault("25000", native::kSequence, "No transaction to prepare");
        t->addMessage(f);
        return complete(p->pr_genParm, IIAPI_ST_ERROR, t->handle);
    }
    // The work stays in the session's open transaction until commit or rollback.
    complete(p->pr_genParm, IIAPI_ST_SUCCESS, nullptr);
}

void IIapi_registerXID(IIAPI_REGXIDPARM* p) {
    if (!p) return;
    p->rg_tranIdHandle = nullptr;
    if (!initialized()) {
        p->rg_status = IIAPI_ST_NOT_INITIALIZED;
        return;
    }
    const IIAPI_TRAN_ID& id = p->rg_tranID;
    if (id.ti_type == IIAPI_TI_XAXID) {
        const auto& x = id.ti_value.xaXID;
        if (x.xa_gtridLength < 1 || x.xa_gtridLength > IIAPI_XA_MAXGTRIDSIZE || x.xa_bqualLength < 0 ||
            x.xa_bqualLength > IIAPI_XA_MAXBQUALSIZE) {
            p->rg_status = IIAPI_ST_FAILURE;
            return;
        }
    } else if (id.ti_type != IIAPI_TI_IIXID) {
        p->rg_status = IIAPI_ST_FAILURE;
        return;
    }
    auto t = std::make_shared<TranId>();
    t->id = id;
    p->rg_tranIdHandle = registerObject(t);
    p->rg_status = IIAPI_ST_SUCCESS;
}

void IIapi_releaseXID(IIAPI_RELXIDPARM* p) {
    if (!p) return;
    if (!initialized()) {
        p->rl_status = IIAPI_ST_NOT_INITIALIZED;
        return;
    }
    if (!findAs<TranId>(p->rl_tranIdHandle, Kind::TranId)) {
        p->rl_status = IIAPI_ST_INVALID_HANDLE;
        return;
    }
    unregisterObject(p->rl_tranIdHandle);
    p->rl_status = IIAPI_ST_SUCCESS;
}

int iiengine_createDatabase(const char* target, const char* user, const char* password, char* errbuf, size_t errlen) {
    auto err = [&](const std::string& m) {
        putMessage(errbuf, errlen, m);
        return -1;
    };
    if (!target) return err("no database name");
    std::string path, name;
    if (!databasePath(target, path, name)) return err(std::string("invalid database name: ") + target);
    // Make the data directory and its parents.
    std::string dir = path.substr(0, path.rfind('/'));
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos == dir.size() || dir[pos] == '/') {
            std::string part = dir.substr(0, pos);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return err("cannot create directory " + part + ": " + std::strerror(errno));
        }
    }
    struct stat sb;
    if (stat(path.c_str(), &sb) == 0) return err("database " + name + " already exists (" + path + ")");
    // Made private first: SQLite gives its -wal and -shm files the database file's mode.
    std::string why;
    if (!createPrivateFile(path, true, why)) {
        if (errno == EEXIST) return err("database " + name + " already exists (" + path + ")");
        return err("cannot create " + path + ": " + why);
    }
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        std::string m = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        return err("cannot create " + path + ": " + m);
    }
    Fault f;
    bool ok = execSimple(db, "PRAGMA journal_mode=WAL", f) && ensureMetadata(db, f);
    if (ok) {
        std::string dba = user && *user ? user : osUser();
        sqlite3_stmt* st = nullptr;
        ok = sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO iiapi_meta(key, value) VALUES('dba', ?)", -1, &st,
                                nullptr) == SQLITE_OK;
        if (ok) {
            sqlite3_bind_text(st, 1, dba.c_str(), -1, SQLITE_TRANSIENT);
            ok = sqlite3_step(st) == SQLITE_DONE;
        }
        sqlite3_finalize(st);
        if (ok && password) {
            ok = execSimple(db, "CREATE TABLE IF NOT EXISTS iiapi_users(name TEXT PRIMARY KEY, password TEXT)", f);
            const std::string stored = *password ? hashPassword(password) : std::string();
            if (ok && *password && stored.empty()) {
                ok = false;
                f.text = "no random salt for the password";
            }
            st = nullptr;
            ok = ok && sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO iiapi_users(name, password) VALUES(?, ?)", -1,
                                          &st, nullptr) == SQLITE_OK;
            if (ok) {
                sqlite3_bind_text(st, 1, dba.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(st, 2, stored.c_str(), -1, SQLITE_TRANSIENT);
                ok = sqlite3_step(st) == SQLITE_DONE;
            }
            sqlite3_finalize(st);
        }
        if (!ok && f.text.empty()) f.text = sqlite3_errmsg(db);
    }
    sqlite3_close_v2(db);
    if (!ok) {
        unlink(path.c_str());
        return err("cannot initialise " + path + ": " + f.text);
    }
    return 0;
}

}  // extern "C"
