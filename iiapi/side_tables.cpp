// Tables kept in a database file of their own beside the main one, so that their writers lock
// only that file. SQLite locks a whole file for a writer; the server this engine imitates locks
// tables and rows, and a client may keep a second session that writes its bookkeeping table
// (the row versions of dynamic cursors, VOVURA) while its first session holds a write
// transaction on other tables. Every session attaches the file when it exists, so the tables in
// it are named as any other; a transaction takes the write lock only of the files its first
// change writes to.
#include "iiapi/internal.h"

#include <sys/stat.h>

#include <cstring>

namespace iiapi {

namespace {

constexpr const char* kSideSchema = "iirowver";
constexpr int kSideIndex = 2;  // main 0, temp 1, then the attached file

bool execOn(sqlite3* db, const std::string& sql, Fault& f) {
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        f = faultFromSqlite(db, rc);
        return false;
    }
    return true;
}

// Single quotes doubled, for a file name inside an SQL literal.
std::string literal(const std::string& s) {
    std::string out = "'";
    for (char ch : s) {
        out.push_back(ch);
        if (ch == '\'') out.push_back('\'');
    }
    out.push_back('\'');
    return out;
}

}  // namespace

std::string sideTablesPath(const std::string& dbPath) { return dbPath + ".rowver"; }

bool attachSideTables(sqlite3* db, const std::string& dbPath, bool& attached, dev_t* dev, ino_t* ino, Fault& f) {
    struct stat sb;
    attached = false;
    const std::string side = sideTablesPath(dbPath);
    if (stat(side.c_str(), &sb) != 0) return true;
    *dev = sb.st_dev;
    *ino = sb.st_ino;
    if (!execOn(db, "ATTACH DATABASE " + literal(side) + " AS " + kSideSchema, f)) return false;
    if (!execOn(db, std::string("PRAGMA ") + kSideSchema + ".synchronous=NORMAL", f) ||
        !keepWriteAheadLog(db, kSideSchema, f))
        return false;
    attached = true;
    return true;
}

uint32_t writtenFiles(Conn& c, sqlite3_stmt* st) {
    const uint32_t mainOnly = 1u << 0;
    if (!st || !c.sideAttached) return mainOnly;
    const char* text = sqlite3_sql(st);
    if (!text) return mainOnly;
    if (auto it = c.writtenFilesSeen.find(text); it != c.writtenFilesSeen.end()) return it->second;
    if (c.writtenFilesSeen.size() >= 64) c.writtenFilesSeen.clear();
    // The program's opening transaction steps name every file it reads or writes.
    sqlite3_stmt* plan = nullptr;
    if (sqlite3_prepare_v2(c.db, (std::string("EXPLAIN ") + text).c_str(), -1, &plan, nullptr) != SQLITE_OK) {
        sqlite3_finalize(plan);
        return mainOnly;
    }
    uint32_t mask = 0;
    while (sqlite3_step(plan) == SQLITE_ROW) {
        const char* op = reinterpret_cast<const char*>(sqlite3_column_text(plan, 1));
        if (!op || std::strcmp(op, "Transaction") != 0) continue;
        const int file = sqlite3_column_int(plan, 2);
        if (sqlite3_column_int(plan, 3) != 0 && (file == 0 || file == kSideIndex)) mask |= 1u << file;
    }
    sqlite3_finalize(plan);
    if (!mask) mask = mainOnly;
    c.writtenFilesSeen.emplace(text, mask);
    return mask;
}

bool beginWriteOn(Conn& c, uint32_t files, Fault& f) {
    if (!execOn(c.db, "BEGIN", f)) return false;
    // A write step that changes nothing: it takes the file's write lock now (waiting out other
    // writers), as BEGIN IMMEDIATE does for every file at once.
    for (int file : {0, kSideIndex}) {
        if (!(files & (1u << file))) continue;
        const char* schema = file == 0 ? "main" : kSideSchema;
        if (!execOn(c.db, std::string("PRAGMA ") + schema + ".incremental_vacuum", f)) {
            Fault ignored;
            execOn(c.db, "ROLLBACK", ignored);
            return false;
        }
    }
    return true;
}

}  // namespace iiapi

using namespace iiapi;

extern "C" int iiengine_createRowVersionTable(const char* target, char* errbuf, size_t errlen) {
    auto err = [&](const std::string& m) {
        putMessage(errbuf, errlen, m);
        return -1;
    };
    if (!target) return err("no database name");
    std::string path, name;
    if (!databasePath(target, path, name)) return err(std::string("invalid database name: ") + target);
    struct stat sb;
    if (stat(path.c_str(), &sb) != 0) return err("database " + name + " does not exist (" + path + ")");
    const std::string side = sideTablesPath(path);
    std::string why;
    if (!createPrivateFile(side, false, why)) return err("cannot create " + side + ": " + why);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(side.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        std::string m = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        return err("cannot create " + side + ": " + m);
    }
    sqlite3_busy_timeout(db, 5000);
    Fault f;
    // The columns as the database's owner declares them; the look-ups go by cursor and key version.
    bool ok = execOn(db, "PRAGMA journal_mode=WAL", f) &&
              execOn(db,
                     "CREATE TABLE IF NOT EXISTS vovura (hconn char(8) NOT NULL, hcurs char(8) NOT NULL,"
                     " keyver char(32) NOT NULL, rowver char(32) NOT NULL)",
                     f) &&
              execOn(db, "CREATE INDEX IF NOT EXISTS vovura_by_key ON vovura (hconn, hcurs, keyver)", f);
    sqlite3_close_v2(db);
    if (!ok) return err("cannot create the table VOVURA in " + side + ": " + f.text);
    return 0;
}
