// The session's cache of compiled statements: a query repeated with new parameters (an INSERT
// per row of a parameter array) is compiled once.
#include "iiapi/internal.h"

#include <algorithm>

namespace iiapi {

namespace {

// The main database's schema version as stored in the file. Not read inside a transaction that
// has not read anything yet: that would start its snapshot earlier than the client's statements do.
bool schemaVersion(Conn& c, int64_t& v) {
    if (!sqlite3_get_autocommit(c.db) && sqlite3_txn_state(c.db, "main") == SQLITE_TXN_NONE) return false;
    auto& probe = c.cache.schemaProbe;
    if (!probe && sqlite3_prepare_v2(c.db, "PRAGMA main.schema_version", -1, &probe, nullptr) != SQLITE_OK) {
        probe = nullptr;
        return false;
    }
    bool ok = sqlite3_step(probe) == SQLITE_ROW;
    if (ok) v = sqlite3_column_int64(probe, 0);
    sqlite3_reset(probe);
    return ok;
}

// SQLite reloads a schema changed by another connection only when a statement reads the
// database; compiling alone uses the schema it has. A read of the schema table reloads it, so the
// columns of a statement compiled next are the current ones.
void reloadSchemaIfChanged(Conn& c, int64_t version) {
    auto& k = c.cache;
    if (version == k.seenVersion) return;
    if (!k.schemaReload && sqlite3_prepare_v2(c.db, "SELECT 1 FROM main.sqlite_master LIMIT 1", -1, &k.schemaReload,
                                              nullptr) != SQLITE_OK) {
        k.schemaReload = nullptr;
        return;
    }
    sqlite3_step(k.schemaReload);
    sqlite3_reset(k.schemaReload);
    k.seenVersion = version;
}

bool compileFresh(Conn& c, const std::string& sql, sqlite3_stmt*& st, Fault& f) {
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(c.db, sql.c_str(), int(sql.size()), &st, &tail);
    if (rc != SQLITE_OK) {
        f = faultFromSqlite(c.db, rc);
        st = nullptr;
        return false;
    }
    if (!st) {
        f = makeFault("42000", native::kSyntax, "Syntax error: empty statement");
        return false;
    }
    if (tail) {
        while (*tail == ' ' || *tail == '\t' || *tail == '\n' || *tail == '\r' || *tail == ';') ++tail;
        if (*tail) {
            sqlite3_finalize(st);
            st = nullptr;
            f = makeFault("42000", native::kSyntax, "Syntax error: only one statement may be sent at a time");
            return false;
        }
    }
    return true;
}

}  // namespace

void forgetTakenStatement(StatementCache& k) {
    if (k.entries.size() == k.idle) return;
    k.spareText = std::move(k.entries.back().sql);
    k.entries.pop_back();
}

bool acquireStatement(Conn& c, const std::string& sql, sqlite3_stmt*& st, int64_t& version, Fault& f) {
    auto& k = c.cache;
    forgetTakenStatement(k);
    for (size_t i = k.idle; i-- > 0;) {
        StatementCache::Entry& e = k.entries[i];
        if (e.sql != sql) continue;
        // SQLite compiles a statement again when it finds the schema changed, but only once it
        // steps: the result columns are described before that, so a statement with columns is
        // reused only while the schema is the one it was compiled against. A rollback or a
        // change of the temporary schema (the catalog views) marks it expired.
        bool usable = true;
        if (sqlite3_column_count(e.st) > 0) {
            int64_t now = 0;
            usable = !sqlite3_expired(e.st) && schemaVersion(c, now) && now == e.schemaVersion;
        }
        if (usable) {
            st = e.st;
            version = e.schemaVersion;
            // Taken: just after the idle ones, where it is idle again when given back.
            std::rotate(k.entries.begin() + ptrdiff_t(i), k.entries.begin() + ptrdiff_t(i) + 1,
                        k.entries.begin() + ptrdiff_t(k.idle));
            --k.idle;
            return true;
        }
        sqlite3_finalize(e.st);
        k.entries.erase(k.entries.begin() + ptrdiff_t(i));
        --k.idle;
        break;
    }
    // Read before compiling: a change in between makes the statement look older, never newer.
    version = 0;
    if (schemaVersion(c, version))
        reloadSchemaIfChanged(c, version);
    else
        version = -1;
    // The catalog views are made when first named, and again when a rollback took them away.
    bool catalog = mentionsCatalog(sql);
    if (catalog && !c.catalogsCreated) createCatalogs(c);
    if (compileFresh(c, sql, st, f)) return true;
    if (!catalog || f.sqlstate != "42S02") return false;
    createCatalogs(c);
    return compileFresh(c, sql, st, f);
}

void releaseStatement(Conn& c, const std::string& sql, sqlite3_stmt* st, int64_t version) {
    if (!st) return;
    if (!c.db || sql.empty() || version < 0) {
        sqlite3_finalize(st);
        return;
    }
    // Its values stay bound: every run binds each marker again before it steps (runCompiled
    // refuses fewer values than markers), and nothing reads an idle statement's values. Clearing
    // them cost a pass over the markers for every row of a parameter array.
    sqlite3_reset(st);
    auto& k = c.cache;
    // The statement taken last (the text too: a statement made for the same text may have
    // taken a finalised one's address).
    if (k.entries.size() > k.idle && k.entries.back().st == st && k.entries.back().sql == sql) {
        k.entries.back().schemaVersion = version;
        ++k.idle;
        return;
    }
    forgetTakenStatement(k);
    // Its entry's text goes into the buffer the entry that went last left.
    std::string text = std::move(k.spareText);
    if (text != sql) text.assign(sql);
    k.entries.push_back({std::move(text), st, version, nullptr});
    if (++k.idle > StatementCache::kCapacity) {
        sqlite3_finalize(k.entries.front().st);
        k.entries.erase(k.entries.begin());
        --k.idle;
    }
}

StatementCache::Description* takenDescription(Conn& c, sqlite3_stmt* st) {
    auto& k = c.cache;
    if (k.entries.size() == k.idle || k.entries.back().st != st) return nullptr;
    auto& d = k.entries.back().description;
    if (!d) d = std::make_unique<StatementCache::Description>();
    return d.get();
}

void releaseCursor(Conn& c, Stmt& s) {
    if (!s.cursor) return;
    releaseStatement(c, s.cursorSql, s.cursor, s.cursorSchema);
    s.cursor = nullptr;
    s.cursorSql.clear();
}

void dropIdleStatements(StatementCache& k) {
    forgetTakenStatement(k);
    for (auto& e : k.entries) sqlite3_finalize(e.st);
    k.entries.clear();
    k.idle = 0;
}

void clearStatementCache(StatementCache& k) {
    dropIdleStatements(k);
    for (sqlite3_stmt** own : {&k.schemaProbe, &k.schemaReload, &k.columnTypes, &k.usersTable}) {
        sqlite3_finalize(*own);
        *own = nullptr;
    }
    k.seenVersion = -1;
}

sqlite3_stmt* keptStatement(Conn& c, sqlite3_stmt*& slot, const char* sql) {
    if (!slot && sqlite3_prepare_v2(c.db, sql, -1, &slot, nullptr) != SQLITE_OK) {
        sqlite3_finalize(slot);
        slot = nullptr;
    }
    return slot;
}

}  // namespace iiapi
