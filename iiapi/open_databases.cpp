// A session's SQLite connection, and the connections the process keeps open between sessions.
//
// A server holds its databases open across sessions; opening one here is SQLite's open of the
// file, its log and its shared-memory index (most of a connect's system calls, and the index
// rebuilt whenever no one else had the file open), its settings, the session's SQL functions and
// the first read of the schema. A session that ends leaves its connection here, reset, for the
// next session on the same file; one still in use is never in the list, so no two sessions
// share one. SQLite checks at the start of every transaction whether the file changed under its
// cache, so a kept connection reads what is committed as a new one would.
#include "iiapi/internal.h"

#include <pthread.h>
#include <sys/stat.h>

#include <cstring>
#include <mutex>
#include <new>
#include <utility>

namespace iiapi {

namespace {

// Enough for a few applications' data sources in one process; each holds three files open.
constexpr size_t kKeptMax = 8;

std::mutex gKeptMutex;
std::vector<std::unique_ptr<OpenDatabase>> gKept;  // least recently left first

// Pragmas that only read, or change nothing a later session could notice.
bool harmlessPragma(const char* name) {
    static const char* const kNames[] = {"table_info",    "table_xinfo",        "index_info",        "index_xinfo",
                                         "index_list",    "foreign_key_list",   "foreign_key_check", "integrity_check",
                                         "quick_check",   "incremental_vacuum", "wal_checkpoint",    "optimize",
                                         "function_list", "pragma_list",        "collation_list",    "database_list",
                                         "module_list",   "table_list"};
    if (!name) return true;
    for (const char* n : kNames)
        if (sqlite3_stricmp(n, name) == 0) return true;
    return false;
}

// Sees every statement compiled on the connection: what a session leaves behind that a reset
// must undo, or that rules the connection out for another session.
int watch(void* data, int action, const char* a1, const char* a2, const char*, const char*) {
    auto* od = static_cast<OpenDatabase*>(data);
    switch (action) {
        case SQLITE_CREATE_TEMP_INDEX:
        case SQLITE_CREATE_TEMP_TABLE:
        case SQLITE_CREATE_TEMP_TRIGGER:
        case SQLITE_CREATE_TEMP_VIEW:
            od->tempUsed = true;
            break;
        case SQLITE_ATTACH:
        case SQLITE_DETACH:
            od->settingsChanged = true;
            break;
        case SQLITE_PRAGMA:
            // Read-only mode (SET SESSION READ ONLY): undone at the session's end. Setting it
            // expires every compiled statement, so one kept that sets it passes here again.
            if (a2 && a1 && sqlite3_stricmp(a1, "query_only") == 0)
                od->queryOnlyTouched = true;
            else if (a2 && !harmlessPragma(a1))
                od->settingsChanged = true;
            break;
        default:
            break;
    }
    return SQLITE_OK;
}

bool sameFile(const struct stat& a, dev_t dev, ino_t ino) { return a.st_dev == dev && a.st_ino == ino; }

std::string quotedName(const char* name) {
    std::string q = "\"";
    for (const char* p = name; *p; ++p) {
        q.push_back(*p);
        if (*p == '"') q.push_back('"');
    }
    q.push_back('"');
    return q;
}

// Drops what the session made in the temporary schema (its own tables, the catalog views);
// false when something is left.
bool dropTemporaryObjects(sqlite3* db) {
    std::vector<std::string> drops;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT type, name FROM temp.sqlite_master WHERE type IN ('trigger', 'view', 'table') "
                           "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY type = 'table'",
                           -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return false;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
        const char* type = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        if (type && name) drops.push_back(std::string("DROP ") + type + " IF EXISTS temp." + quotedName(name));
    }
    sqlite3_finalize(st);
    for (const std::string& d : drops)
        if (sqlite3_exec(db, d.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) return false;
    bool empty = false;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM temp.sqlite_master", -1, &st, nullptr) == SQLITE_OK)
        empty = sqlite3_step(st) == SQLITE_ROW && sqlite3_column_int(st, 0) == 0;
    sqlite3_finalize(st);
    return empty;
}

void closeDatabase(std::unique_ptr<OpenDatabase> od) {
    if (!od) return;
    clearStatementCache(od->cache);
    if (od->db) sqlite3_close_v2(od->db);
    od->db = nullptr;
}

// Back to what a new connection to the file would be, as far as a session can tell; false when
// that cannot be done, and the connection is closed instead.
bool resetForNextSession(OpenDatabase& od) {
    sqlite3* db = od.db;
    if (od.settingsChanged || !sqlite3_get_autocommit(db)) return false;
    for (sqlite3_stmt* st = sqlite3_next_stmt(db, nullptr); st; st = sqlite3_next_stmt(db, st))
        if (sqlite3_stmt_busy(st)) return false;
    // Only the files the engine attaches.
    const char* third = sqlite3_db_name(db, 2);
    if ((od.side ? !third || std::strcmp(third, "iirowver") != 0 : third != nullptr) ||
        (od.side && sqlite3_db_name(db, 3)))
        return false;
    if (od.queryOnlyTouched) {
        if (sqlite3_exec(db, "PRAGMA query_only=0", nullptr, nullptr, nullptr) != SQLITE_OK) return false;
        od.queryOnlyTouched = false;
    }
    if (od.tempUsed) {
        if (!dropTemporaryObjects(db)) return false;
        // Statements compiled against what was dropped are not kept.
        dropIdleStatements(od.cache);
        od.tempUsed = false;
    }
    return true;
}

// A forked child must not use its parent's connections (SQLite forbids it): it forgets them
// without closing, which would act on the parent's locks and files.
void forgetAfterFork() {
    new (&gKeptMutex) std::mutex;
    // Kept where they can be reached, never closed.
    static auto* inherited = new std::vector<OpenDatabase*>();
    for (auto& od : gKept) inherited->push_back(od.release());
    gKept.clear();
}

// Closes the kept connections when the library goes, so that the last one out of a file
// checkpoints its log as a closing session always did.
struct KeptCloser {
    ~KeptCloser() { closeIdleDatabases(); }
} gKeptCloser;

// The most recently left connection to the file, when it still is the file at the path; the
// ones to a file that has been replaced or removed since go into stale.
std::unique_ptr<OpenDatabase> takeKept(const std::string& path, const struct stat& sb,
                                       std::vector<std::unique_ptr<OpenDatabase>>& stale) {
    std::unique_ptr<OpenDatabase> found;
    std::lock_guard<std::mutex> lk(gKeptMutex);
    for (size_t i = gKept.size(); i-- > 0;) {
        if (gKept[i]->path != path) continue;
        const bool same = sameFile(sb, gKept[i]->dev, gKept[i]->ino);
        if (same && found) continue;
        (same ? found : stale.emplace_back()) = std::move(gKept[i]);
        gKept.erase(gKept.begin() + ptrdiff_t(i));
    }
    return found;
}

std::vector<std::unique_ptr<OpenDatabase>> takeAll() {
    std::lock_guard<std::mutex> lk(gKeptMutex);
    return std::move(gKept);
}

bool openFresh(Conn& c, const struct stat* sb, std::unique_ptr<OpenDatabase>& out, Fault& f) {
    const bool inMemory = sb == nullptr;
    auto od = std::make_unique<OpenDatabase>();
    if (sb) {
        od->path = c.path;
        od->dev = sb->st_dev;
        od->ino = sb->st_ino;
    }
    sqlite3* db = nullptr;
    // Every use of a session's database and its statements is under the session's call lock (a
    // cancel only interrupts, which SQLite allows from any thread), so SQLite's own lock around
    // each call (several for every value a fetch reads) is not needed.
    int rc = sqlite3_open_v2(inMemory ? ":memory:" : c.path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        f = makeFault("08001", native::kNoDatabase,
                      std::string("Cannot open database: ") + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
        sqlite3_close_v2(db);
        return false;
    }
    od->db = db;
    od->session = &c;
    // Every step below may meet another connection opening, checkpointing or closing the same
    // files: it waits as a statement does.
    sqlite3_busy_timeout(db, c.settings.busyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    // Identifiers in double quotes must name something; never fall back to a string.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    // With the write-ahead log a commit survives the application's crash without a sync of its
    // own; autocommit sessions commit after every statement. The log and its index stay on disk
    // when the last connection closes (emptied, so the next one to open has nothing to recover).
    bool side = false;
    if ((!inMemory && (!execSimple(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", f) ||
                       !keepWriteAheadLog(db, "main", f))) ||
        !execSimple(db, "PRAGMA foreign_keys=ON", f) ||
        (!inMemory && !attachSideTables(db, c.path, side, &od->sideDev, &od->sideIno, f))) {
        closeDatabase(std::move(od));
        return false;
    }
    od->side = side;
    registerFunctions(db, od.get());
    sqlite3_set_authorizer(db, watch, od.get());
    // What the set-up itself did is the connection's own state, not a session's.
    od->settingsChanged = od->tempUsed = od->queryOnlyTouched = false;
    out = std::move(od);
    return true;
}

}  // namespace

bool openSessionDatabase(Conn& c, const struct stat* sb, Fault& f) {
    std::unique_ptr<OpenDatabase> od;
    if (sb) {
        std::vector<std::unique_ptr<OpenDatabase>> stale;
        od = takeKept(c.path, *sb, stale);
        for (auto& s : stale) closeDatabase(std::move(s));
        if (od) {
            // The file of separately locked tables may have come or gone, or been replaced.
            struct stat side;
            const bool present = stat(sideTablesPath(c.path).c_str(), &side) == 0;
            if (present != od->side || (present && !sameFile(side, od->sideDev, od->sideIno)))
                closeDatabase(std::exchange(od, nullptr));
        }
    }
    if (od) {
        od->session = &c;
        // This session's own lock timeout.
        sqlite3_busy_timeout(od->db, c.settings.busyTimeoutMs);
        c.cache = std::move(od->cache);
        od->cache = StatementCache{};
    } else if (!openFresh(c, sb, od, f)) {
        return false;
    }
    c.sideAttached = od->side;
    std::lock_guard<std::mutex> dl(c.dbMutex);
    c.db = od->db;
    c.open = std::move(od);
    return true;
}

void endSessionDatabase(Conn& c, bool mayKeep) {
    std::unique_ptr<OpenDatabase> od;
    {
        std::lock_guard<std::mutex> dl(c.dbMutex);
        od = std::move(c.open);
        c.db = nullptr;
    }
    if (!od) return;
    // The session's statements are gone: none is out any more.
    forgetTakenStatement(c.cache);
    od->cache = std::move(c.cache);
    c.cache = StatementCache{};
    od->session = nullptr;
    // An in-memory database (the master database without a file) is the session's own.
    if (!mayKeep || od->path.empty() || od->ino == 0 || !resetForNextSession(*od)) {
        closeDatabase(std::move(od));
        return;
    }
    static std::once_flag forkWatch;
    std::call_once(forkWatch, [] { pthread_atfork(nullptr, nullptr, forgetAfterFork); });
    std::unique_ptr<OpenDatabase> evicted;
    {
        std::lock_guard<std::mutex> lk(gKeptMutex);
        gKept.push_back(std::move(od));
        if (gKept.size() > kKeptMax) {
            evicted = std::move(gKept.front());
            gKept.erase(gKept.begin());
        }
    }
    closeDatabase(std::move(evicted));
}

void closeIdleDatabases() {
    for (auto& od : takeAll()) closeDatabase(std::move(od));
}

size_t idleDatabaseCount() {
    std::lock_guard<std::mutex> lk(gKeptMutex);
    return gKept.size();
}

}  // namespace iiapi
