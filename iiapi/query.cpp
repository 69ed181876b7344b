// Statements: query, parameters, descriptors, rows, query information, close and cancel.
#include "iiapi/internal.h"
#include "iiapi/registry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

namespace iiapi {

Stmt::~Stmt() {
    if (cursor) sqlite3_finalize(cursor);
    for (auto& r : heldRows)
        for (auto* v : r) sqlite3_value_free(v);
}

void Stmt::reset() {
    // No other thread can reach the record now (it answers to no handle): its messages need no
    // lock.
    if (hasMessages.load(std::memory_order_relaxed)) {
        messages.clear();
        hasMessages.store(false, std::memory_order_relaxed);
    }
    nextMessage = 0;
    lastText.clear();
    // handle and retired are the registry's, under its lock: retireObject emptied the handle.
    // conn and session stay: a spare statement serves its own session only.
    queryType = 0;
    text.clear();
    state = State::Done;
    cancelled = false;
    // The values' buffers stay for the next query's values (a parameter array runs one query
    // per row): every query sets its descriptors first, and only as many values as they are
    // ever read, each replaced whole.
    paramDesc.clear();
    nextParam = 0;
    serviceParams = 0;
    prepared = nullptr;
    pendingSql.clear();
    cursorName.clear();
    procName.clear();
    procOwner.clear();
    if (cursor) sqlite3_finalize(cursor);
    cursor = nullptr;
    cursorSql.clear();
    cursorSchema = 0;
    columns.clear();
    names.clear();
    resultDesc.clear();
    encoders.clear();
    describeOnly = false;
    haveRow = false;
    colPos = 0;
    longOffset = 0;
    // A long value's room is not kept: it may be large.
    if (longValue.capacity() > 256) std::string().swap(longValue);
    longValue.clear();
    longLoaded = false;
    eof = false;
    outsideTxn = false;
    rowCount = 0;
    rowCountValid = false;
    hasProcReturn = false;
    procReturn = 0;
    for (auto& r : heldRows)
        for (auto* v : r) sqlite3_value_free(v);
    heldRows.clear();
    heldPos = 0;
    held = false;
    shape.positionable = false;
    shape.why.clear();
    shape.table.clear();
    shape.forUpdate = false;
    shape.readOnly = false;
    shape.updateColumns.clear();
    hidden = 0;
    openedReadOnly = false;
    onRow = false;
    rowGone = false;
    handedIds.clear();
    handedGone.clear();
    handedCount = 0;
    positionedAt = -1;
}

// Under the session's call lock; the statement is new (lend) or closed and unbound (keep).
void Conn::lendParamBuffers(Stmt& s) {
    s.paramDesc.swap(spareParamDesc);
    s.paramNames.swap(spareParamNames);
    s.params.swap(spareParams);
    s.paramDesc.clear();
}

void Conn::keepParamBuffers(Stmt& s) {
    spareParamDesc.swap(s.paramDesc);
    spareParamNames.swap(s.paramNames);
    spareParams.swap(s.params);
}

namespace {

constexpr int16_t kMaxRows = 32767;

// A call on a session or one of its statements, with the session's call lock held from the
// look-up to the end of the call. Found free, the lock comes with the look-up and no reference is
// taken (findHeld says why that is safe); held by another thread, references keep the objects
// alive while this call waits, and a statement closed meanwhile is gone for this call too.
class HeldCall {
public:
    // Inline: every call of the interface begins and ends here.
    [[gnu::always_inline]] HeldCall(II_PTR h, Kind kind) {
        Object* obj = nullptr;
        const Held how = findHeld(h, kind, obj);
        if (how == Held::Locked) {
            Stmt* const st = kind == Kind::Stmt ? static_cast<Stmt*>(obj) : nullptr;
            held_ = conn_ = st ? st->session : static_cast<Conn*>(obj);
            stmt_ = st;
        } else if (how == Held::Busy) {
            waitTurn(h, kind);
        }
    }
    [[gnu::always_inline]] ~HeldCall() {
        if (held_) held_->callMutex.unlock();
    }
    HeldCall(const HeldCall&) = delete;
    HeldCall& operator=(const HeldCall&) = delete;

    // The session, while it is connected (and, for a statement call, the statement is open).
    Conn* conn() const { return conn_ && conn_->connected ? conn_ : nullptr; }
    Stmt* stmt() const { return conn() ? stmt_ : nullptr; }

private:
    struct Kept {
        std::shared_ptr<Conn> conn;
        std::shared_ptr<Stmt> stmt;
    };
    // Out of line: the usual call finds the lock free and stays short.
    [[gnu::noinline]] void waitTurn(II_PTR h, Kind kind) {
        kept_ = std::make_unique<Kept>();
        if (kind == Kind::Conn) {
            kept_->conn = findAs<Conn>(h, Kind::Conn);
        } else if ((kept_->stmt = findAs<Stmt>(h, Kind::Stmt))) {
            kept_->conn = kept_->stmt->conn.lock();
        }
        if (!kept_->conn) return;
        kept_->conn->callMutex.lock();
        held_ = kept_->conn.get();
        if (kept_->stmt && kept_->stmt->handle != h) return;
        stmt_ = kept_->stmt.get();
        conn_ = held_;
    }

    Conn* held_ = nullptr;  // whose call lock this call holds
    Conn* conn_ = nullptr;
    Stmt* stmt_ = nullptr;
    std::unique_ptr<Kept> kept_;  // destroyed after the lock is let go
};

void fail(IIAPI_GENPARM& gp, Stmt& s, const Fault& f) {
    s.addMessage(f);
    complete(gp, IIAPI_ST_ERROR, s.handle);
}

Fault sequenceFault(const char* what) {
    return makeFault("S1010", native::kSequence, std::string("Function sequence error: ") + what);
}

Fault cancelledFault() { return makeFault("S1008", native::kCancelled, "The query was cancelled"); }

void buildResultDescriptors(Stmt& s) {
    s.resultDesc.assign(s.columns.size(), IIAPI_DESCRIPTOR{});
    s.encoders.assign(s.columns.size(), nullptr);
    for (size_t i = 0; i < s.columns.size(); ++i) {
        const IngType& t = s.columns[i];
        if (!t.isLong()) s.encoders[i] = encoderFor(t);
        IIAPI_DESCRIPTOR& d = s.resultDesc[i];
        d.ds_dataType = t.type;
        d.ds_nullable = t.nullable ? II_TRUE : II_FALSE;
        d.ds_length = t.length;
        d.ds_precision = t.precision;
        d.ds_scale = t.scale;
        d.ds_columnType = IIAPI_COL_TUPLE;
        d.ds_columnName = s.names[i].data();
    }
}

// The catalog rows of a table and its declared columns: written whole, or the fault says why.
bool recordTableMetadata(Conn& c, const Rewritten& r, Fault& f) {
    if (!ensureMetadata(c.db, f)) return false;
    refreshCatalogs(c);
    OwnChange st = compileChange(c.db, "DELETE FROM iiapi_columns WHERE table_name = ?", f);
    if (!st) return false;
    sqlite3_bind_text(st.get(), 1, r.table.c_str(), -1, SQLITE_TRANSIENT);
    if (!runChange(c.db, st.get(), f)) return false;
    if (r.table.empty()) return true;
    st = compileChange(c.db, "INSERT OR REPLACE INTO iiapi_tables(table_name, owner) VALUES(?, ?)", f);
    if (!st) return false;
    sqlite3_bind_text(st.get(), 1, r.table.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st.get(), 2, c.user.c_str(), -1, SQLITE_TRANSIENT);
    if (!runChange(c.db, st.get(), f)) return false;
    st = compileChange(c.db,
                       "INSERT OR REPLACE INTO iiapi_columns(table_name, column_name, seq, ingres_type) "
                       "VALUES(?, ?, ?, ?)",
                       f);
    if (!st) return false;
    int seq = 1;
    for (auto& [col, decl] : r.declColumns) {
        sqlite3_bind_text(st.get(), 1, r.table.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st.get(), 2, col.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st.get(), 3, seq++);
        sqlite3_bind_text(st.get(), 4, decl.c_str(), -1, SQLITE_TRANSIENT);
        if (!runChange(c.db, st.get(), f)) return false;
    }
    return true;
}

bool forgetTableMetadata(Conn& c, const std::string& table, Fault& f) {
    for (const char* sql :
         {"DELETE FROM iiapi_columns WHERE table_name = ?", "DELETE FROM iiapi_tables WHERE table_name = ?"}) {
        OwnChange st = compileChange(c.db, sql, f);
        if (!st) return false;
        sqlite3_bind_text(st.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
        if (!runChange(c.db, st.get(), f)) return false;
    }
    return true;
}

// GRANT and REVOKE: permits are recorded for the catalogs; the embedded store checks none.
bool recordPermits(Conn& c, const Rewritten& r, Fault& f) {
    bool exists = false;
    {
        sqlite3_stmt* st = nullptr;
        const char* sql =
            r.flag ? "SELECT 1 FROM iiapi_procedures WHERE name = ?"
                   : "SELECT 1 FROM main.sqlite_master WHERE type IN ('table','view') AND lower(name) = lower(?)";
        if (sqlite3_prepare_v2(c.db, sql, -1, &st, nullptr) == SQLITE_OK) {
            sqlite3_bind_text(st, 1, r.table.c_str(), -1, SQLITE_TRANSIENT);
            exists = sqlite3_step(st) == SQLITE_ROW;
        }
        sqlite3_finalize(st);
    }
    if (!exists) {
        f = r.flag ? makeFault("42000", native::kNoProcedure, "Procedure '" + r.table + "' not found")
                   : makeFault("42S02", native::kNoTable, "Table or view not found: " + r.table);
        return false;
    }
    if (!ensureMetadata(c.db, f)) return false;
    refreshCatalogs(c);
    if (r.kind == Rewritten::Kind::Revoke) {
        OwnChange st = compileChange(
            c.db,
            "DELETE FROM iiapi_permits WHERE object_name = ? AND lower(ifnull(permit_user,'')) = lower(?) "
            "AND (text_segment LIKE ? OR ? = 'all')",
            f);
        if (!st) return false;
        for (auto& g : r.grantees)
            for (auto& pv : r.privileges) {
                std::string pat = "grant " + pv + " %";
                sqlite3_bind_text(st.get(), 1, r.table.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(st.get(), 2, g.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(st.get(), 3, pat.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(st.get(), 4, pv.c_str(), -1, SQLITE_TRANSIENT);
                if (!runChange(c.db, st.get(), f)) return false;
            }
        return true;
    }
    OwnChange st = compileChange(c.db,
                                 "INSERT INTO iiapi_permits(object_name, object_owner, object_type, permit_grantor, "
                                 "permit_user, permit_number, text_sequence, text_segment) VALUES(?, ?, ?, ?, ?,"
                                 " (SELECT ifnull(max(permit_number), 0) + 1 FROM iiapi_permits), 1, ?)",
                                 f);
    if (!st) return false;
    std::vector<std::string> privs = r.privileges;
    if (privs.size() == 1 && privs[0] == "all")
        privs = r.flag ? std::vector<std::string>{"execute"}
                       : std::vector<std::string>{"select", "insert", "update", "delete"};
    for (auto& g : r.grantees)
        for (auto& pv : privs) {
            std::string text = "grant " + pv + " on " + std::string(r.flag ? "procedure " : "") + r.table + " to " + g;
            sqlite3_bind_text(st.get(), 1, r.table.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st.get(), 2, c.user.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st.get(), 3, r.flag ? "P" : "T", -1, SQLITE_STATIC);
            sqlite3_bind_text(st.get(), 4, c.user.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st.get(), 5, g.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st.get(), 6, text.c_str(), -1, SQLITE_TRANSIENT);
            if (!runChange(c.db, st.get(), f)) return false;
        }
    return true;
}

bool runSql(Conn& c, Stmt& s, const std::string& sql, Fault& f);

// The catalog entry of each column an ALTER TABLE ADD gave a table (after the ones it had), or
// that an ALTER TABLE DROP took from it.
bool recordChangedColumns(Conn& c, const Rewritten& r, Fault& f) {
    if (!ensureMetadata(c.db, f)) return false;
    refreshCatalogs(c);
    const bool add = r.kind == Rewritten::Kind::AlterTableAdd;
    const char* sql =
        add ? "INSERT OR REPLACE INTO iiapi_columns(table_name, column_name, seq, ingres_type) VALUES(?1, "
              "?2, (SELECT ifnull(max(seq), 0) + 1 FROM iiapi_columns WHERE table_name = ?1), ?3)"
            : "DELETE FROM iiapi_columns WHERE table_name = ?1 AND lower(column_name) = lower(?2)";
    OwnChange st = compileChange(c.db, sql, f);
    if (!st) return false;
    for (auto& [col, decl] : r.declColumns) {
        sqlite3_bind_text(st.get(), 1, r.table.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st.get(), 2, col.c_str(), -1, SQLITE_TRANSIENT);
        if (add) sqlite3_bind_text(st.get(), 3, decl.c_str(), -1, SQLITE_TRANSIENT);
        if (!runChange(c.db, st.get(), f)) return false;
    }
    return true;
}

// A change of a table's columns as one unit: its statement, the statements that complete it
// (the date triggers), the rows of a CREATE TABLE ... AS (`rows`, which takes the statement's
// parameters) and the catalog entries; or nothing.
bool changeColumns(Conn& c, Stmt& s, const Rewritten& change, const std::string& rows, Fault& f) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c.db, change.sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        f = faultFromSqlite(c.db, sqlite3_errcode(c.db));
        sqlite3_finalize(st);
        return false;
    }
    if (!xaWriteAllowed(c, f) || !beginWrite(c, f, st) || !execSimple(c.db, "SAVEPOINT ii_change_columns", f)) {
        sqlite3_finalize(st);
        return false;
    }
    bool ok = true;
    int rc = SQLITE_OK;
    for (size_t i = 0; ok && i < change.before.size(); ++i) {
        rc = sqlite3_exec(c.db, change.before[i].c_str(), nullptr, nullptr, nullptr);
        ok = rc == SQLITE_OK;
        if (!ok) f = faultFromSqlite(c.db, rc);
    }
    if (ok) {
        rc = sqlite3_step(st);
        ok = rc == SQLITE_DONE;
        if (!ok) f = faultFromSqlite(c.db, rc);
    }
    sqlite3_finalize(st);
    for (size_t i = 0; ok && i < change.after.size(); ++i) {
        rc = sqlite3_exec(c.db, change.after[i].c_str(), nullptr, nullptr, nullptr);
        ok = rc == SQLITE_OK;
        if (!ok) f = faultFromSqlite(c.db, rc);
    }
    if (ok && !rows.empty()) {
        ok = runSql(c, s, rows, f);
    } else if (ok) {
        s.state = Stmt::State::Done;
        s.eof = true;
        s.rowCount = 0;
        s.rowCountValid = true;
    }
    if (ok)
        ok = change.kind == Rewritten::Kind::CreateTable ? recordTableMetadata(c, change, f)
                                                         : recordChangedColumns(c, change, f);
    if (ok) ok = execSimple(c.db, "RELEASE ii_change_columns", f);
    if (!ok) {
        Fault ignored;
        execSimple(c.db, "ROLLBACK TO ii_change_columns", ignored);
        execSimple(c.db, "RELEASE ii_change_columns", ignored);
    }
    return ok;
}

// Runs a compiled statement: binds the query parameters, then either keeps it as the open
// cursor (it returns rows) or steps it to its end.
// A positioned change gives the row id of its cursor's current row: it goes to the statement's
// last marker, after the client's values.
bool runCompiled(Conn& c, Stmt& s, sqlite3_stmt* st, const std::string& sql, int64_t version, Fault& f,
                 const int64_t* currentRow = nullptr) {
    // Query parameters are the non-service ones, in descriptor order.
    const size_t sent = s.paramDesc.size() - s.serviceParams;
    const int markers = sqlite3_bind_parameter_count(st) - (currentRow ? 1 : 0);
    if (int(sent) != markers) {
        releaseStatement(c, sql, st, version);
        f = makeFault("07001", native::kGeneral,
                      "Wrong number of parameters: the statement has " + std::to_string(markers) + ", " +
                          std::to_string(sent) + " were sent");
        return false;
    }
    for (size_t i = 0, k = 0; i < s.paramDesc.size(); ++i) {
        if (s.paramDesc[i].ds_columnType == IIAPI_COL_SVCPARM) continue;
        if (!bindValue(st, int(++k), s.paramDesc[i], s.params[i], f)) {
            releaseStatement(c, sql, st, version);
            return false;
        }
    }
    if (currentRow) sqlite3_bind_int64(st, markers + 1, *currentRow);
    if (s.cancelled) {
        releaseStatement(c, sql, st, version);
        f = cancelledFault();
        return false;
    }
    if (sqlite3_stmt_readonly(st)) {
        // BEGIN, END, COMMIT and ROLLBACK count as read-only: the lock may be another's after them.
        c.writeLockSeen = false;
    } else if (!xaWriteAllowed(c, f) || !beginWrite(c, f, st)) {
        releaseStatement(c, sql, st, version);
        return false;
    }
    if (sqlite3_column_count(st) > 0) {
        s.outsideTxn = !c.inTransaction;
        if (StatementCache::Description* kept = takenDescription(c, st))
            describeColumnsKept(c, st, sql, s.paramDesc, *kept, s.columns, s.names);
        else
            describeColumns(c, st, sql, s.columns, s.names, &s.paramDesc);
        for (size_t k = 0; k < s.hidden && !s.columns.empty(); ++k) {
            s.columns.pop_back();
            s.names.pop_back();
        }
        buildResultDescriptors(s);
        s.cursor = st;
        s.cursorSql = sql;
        s.cursorSchema = version;
        s.state = Stmt::State::Rows;
        s.rowCount = 0;
        s.rowCountValid = true;
        return true;
    }
    int rc;
    c.running = &s;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    if ((rc & 0xFF) == SQLITE_LOCKED && spoolCursors(c)) {
        // A table this session's own open cursor reads (DROP TABLE behind an unfinished SELECT):
        // the server lets its own session through, so the cursor's rows are read out first.
        sqlite3_reset(st);
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        }
    }
    c.running = nullptr;
    if (rc != SQLITE_DONE) {
        f = s.cancelled ? cancelledFault() : faultFromSqlite(c.db, rc);
        releaseStatement(c, sql, st, version);
        return false;
    }
    s.rowCount = sqlite3_changes64(c.db);
    s.rowCountValid = true;
    releaseStatement(c, sql, st, version);
    s.state = Stmt::State::Done;
    s.eof = true;
    return true;
}

bool runSql(Conn& c, Stmt& s, const std::string& sql, Fault& f) {
    sqlite3_stmt* st = nullptr;
    int64_t version = 0;
    if (!acquireStatement(c, sql, st, version, f)) return false;
    return runCompiled(c, s, st, sql, version, f);
}

// A client value as an SQLite value (owned by the caller).
sqlite3_value* clientValue(Conn& c, const IIAPI_DESCRIPTOR& d, ParamValue& pv, Fault& f) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c.db, "SELECT ?", -1, &st, nullptr) != SQLITE_OK) {
        f = faultFromSqlite(c.db, sqlite3_errcode(c.db));
        return nullptr;
    }
    sqlite3_value* v = nullptr;
    if (bindValue(st, 1, d, pv, f) && sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_value_dup(sqlite3_column_value(st, 0));
    else if (f.sqlstate.empty())
        f = faultFromSqlite(c.db, sqlite3_errcode(c.db));
    sqlite3_finalize(st);
    return v;
}

// The results of a procedure become the statement's descriptors and rows.
void takeProcedureResult(Conn& c, Stmt& s, ProcResult& res) {
    s.hasProcReturn = true;
    s.procReturn = res.returnValue;
    s.rowCountValid = true;
    s.rowCount = 0;
    s.columns.clear();
    s.names.clear();
    if (!res.outs.empty()) {
        std::vector<sqlite3_value*> row;
        for (auto& o : res.outs) {
            IngType t;
            if (!parseTypeText(o.type, t, c.maxSegment)) parseTypeText("varchar(2000)", t, c.maxSegment);
            t.nullable = o.nullable;
            s.columns.push_back(t);
            s.names.push_back(o.name);
            row.push_back(o.value);
            o.value = nullptr;
        }
        s.heldRows.push_back(row);
    } else if (!res.rows.empty() || !res.resultTypes.empty()) {
        for (size_t k = 0; k < res.resultTypes.size(); ++k) {
            IngType t;
            if (!parseTypeText(res.resultTypes[k], t, c.maxSegment)) parseTypeText("varchar(2000)", t, c.maxSegment);
            s.columns.push_back(t);
            s.names.push_back("col" + std::to_string(k + 1));
        }
        for (auto& r : res.rows) {
            s.heldRows.push_back(r);
            r.clear();
        }
    }
    if (s.columns.empty()) {
        s.state = Stmt::State::Done;
        s.eof = true;
        return;
    }
    buildResultDescriptors(s);
    for (auto& d : s.resultDesc) d.ds_columnType = res.outs.empty() ? IIAPI_COL_TUPLE : IIAPI_COL_PROCBYREFPARM;
    s.held = true;
    s.heldPos = 0;
    s.state = Stmt::State::Rows;
}

bool runProcedure(Conn& c, Stmt& s, ProcCall& call, Fault& f) {
    if (!ensureTransaction(c, f)) return false;
    ProcResult res;
    if (!executeProcedure(c, call, res, f)) return false;
    takeProcedureResult(c, s, res);
    return true;
}

// SET SESSION ... ISOLATION LEVEL: repeatable read and serializable keep one snapshot per
// transaction; the lower levels read the latest committed rows at each statement.
void noteIsolation(Conn& c, const std::string& text) {
    std::string t;
    for (char ch : text) t.push_back(asciiLower(ch));
    size_t at = t.find("isolation level");
    if (at == std::string::npos) return;
    std::string level = t.substr(at + 15);
    c.snapshotReads = level.find("serializable") != std::string::npos || level.find("repeatable") != std::string::npos;
}

inline sqlite3_value* columnValue(Stmt& s, size_t col);

// Rows an updatable cursor keeps naming for IIapi_position: more than any block of rows a client
// reads at once.
constexpr size_t kHandedRowsKept = 65536;
// positionedAt of a cursor positioned after the last row it handed out.
constexpr int64_t kAfterHandedRows = -2;

// The row just read is handed out: its row id is kept for IIapi_position.
void noteHandedRow(Stmt& s) {
    sqlite3_value* id = columnValue(s, s.columns.size());
    s.handedIds.push_back(id && sqlite3_value_type(id) == SQLITE_INTEGER ? sqlite3_value_int64(id) : 0);
    s.handedGone.push_back(0);
    ++s.handedCount;
    if (s.handedIds.size() > 2 * kHandedRowsKept) {
        s.handedIds.erase(s.handedIds.begin(), s.handedIds.end() - long(kHandedRowsKept));
        s.handedGone.erase(s.handedGone.begin(), s.handedGone.end() - long(kHandedRowsKept));
    }
}

// Names compare without regard to ASCII case (every statement of a parameter array compares one).
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a == b) return true;  // the spelling nearly every caller has
    for (size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

// The open cursor of the session with that name.
Stmt* openCursor(Conn& c, const std::string& name) {
    for (Stmt* x : c.statements)
        if (x->queryType == IIAPI_QT_OPEN && x->state == Stmt::State::Rows && sameName(x->cursorName, name)) return x;
    return nullptr;
}

// "NAME for readonly" (or "for read only"): the open asks for a cursor that changes nothing.
// Switches a prepared SELECT to its text with the row id, once. That text serves cursors over a
// table; over a view or a table without row ids it does not compile, and the cursor takes no
// positioned change.
void attachRowid(Conn& c, PreparedStatement& ps) {
    if (ps.rowidSql.empty()) return;
    const std::string withRowid = std::move(ps.rowidSql);
    ps.rowidSql.clear();
    if (sqlite3_table_column_metadata(c.db, nullptr, ps.shape.table.c_str(), "rowid", nullptr, nullptr, nullptr,
                                      nullptr, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        int64_t version = 0;
        Fault ignored;
        if (acquireStatement(c, withRowid, st, version, ignored)) {
            if (sqlite3_column_count(st) == int(ps.columns.size()) + 1 &&
                sqlite3_bind_parameter_count(st) == ps.markers) {
                ps.sql = withRowid;
                ps.hidden = 1;
            }
            releaseStatement(c, withRowid, st, version);
        }
    }
    if (!ps.hidden) ps.shape.positionable = false;
}

bool opensReadOnly(const std::string& text) {
    std::vector<std::string> words;
    std::string cur;
    for (char ch : text + " ") {
        if (std::isspace(static_cast<unsigned char>(ch))) {
            if (!cur.empty()) words.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(asciiLower(ch));
        }
    }
    return words.size() >= 3 && words[1] == "for" &&
           (words[2] == "readonly" || (words[2] == "read" && words.size() >= 4 && words[3] == "only"));
}

// UPDATE / DELETE ... WHERE CURRENT OF: the change goes to the row the cursor read last.
bool runPositioned(Conn& c, Stmt& s, const PositionedChange& pc, const std::string& sql, Fault& f) {
    const std::string quoted = "'" + pc.cursor + "'";
    auto cursor = openCursor(c, pc.cursor);
    if (!cursor) {
        f = makeFault("34000", native::kCursorNotOpen, "Cursor " + quoted + " is not open");
        return false;
    }
    Stmt& x = *cursor;
    if (!x.shape.positionable || x.hidden == 0) {
        f = makeFault("42000", native::kCursorReadOnly,
                      "Cursor " + quoted + " is not updatable" + (x.shape.why.empty() ? "" : ": " + x.shape.why));
        return false;
    }
    if (!x.updatable()) {
        f = makeFault("42000", native::kCursorReadOnly, "Cursor " + quoted + " is read-only");
        return false;
    }
    if (!sameName(x.shape.table, pc.table)) {
        f = makeFault("42000", native::kCursorReadOnly,
                      "Table '" + pc.table + "' is not the table of cursor " + quoted + " ('" + x.shape.table + "')");
        return false;
    }
    if (!pc.isDelete && !x.shape.updateColumns.empty())
        for (const std::string& col : pc.setColumns) {
            bool listed = false;
            for (const std::string& u : x.shape.updateColumns) listed = listed || sameName(u, col);
            if (!listed) {
                f = makeFault("42000", native::kCursorReadOnly,
                              "Column '" + col + "' is not in the FOR UPDATE list of cursor " + quoted);
                return false;
            }
        }
    // The row the client positioned on, or the row read last; its entry among the rows handed out.
    const bool positioned = x.positionedAt >= 0 && size_t(x.positionedAt) < x.handedIds.size();
    const int64_t at = positioned ? x.positionedAt : (x.onRow ? int64_t(x.handedIds.size()) - 1 : -1);
    auto markGone = [&] {
        if (at >= 0 && size_t(at) < x.handedGone.size()) x.handedGone[size_t(at)] = 1;
        if (!positioned || size_t(at) + 1 == x.handedIds.size()) x.rowGone = true;
    };
    if (!positioned && (!x.onRow || x.positionedAt == kAfterHandedRows)) {
        f = makeFault("24000", native::kCursorState, "Cursor " + quoted + " is not positioned on a row");
        return false;
    }
    if (positioned ? x.handedGone[size_t(at)] != 0 : x.rowGone) {
        f = makeFault("S1109", native::kCursorState, "The current row of cursor " + quoted + " has been deleted");
        return false;
    }
    int64_t rowid = 0;
    if (positioned) {
        rowid = x.handedIds[size_t(at)];
    } else {
        sqlite3_value* id = columnValue(x, x.columns.size());
        if (!id || sqlite3_value_type(id) != SQLITE_INTEGER) {
            f = makeFault("24000", native::kCursorState, "Cursor " + quoted + " is not positioned on a row");
            return false;
        }
        rowid = sqlite3_value_int64(id);
    }
    // The cursor's rows are read out first: its statement no longer pins an older snapshot nor
    // meets the changed row again further on (a change of an ordering column moves it).
    if (!x.held && !spoolCursor(c, x)) {
        f = makeFault("24000", native::kCursorState, "Cursor " + quoted + " is not positioned on a row");
        return false;
    }
    if (x.state == Stmt::State::Failed) {
        f = makeFault("24000", native::kCursorState, "Cursor " + quoted + " failed reading its rows");
        return false;
    }
    if (!ensureTransaction(c, f, false)) return false;
    sqlite3_stmt* st = nullptr;
    int64_t version = 0;
    if (!acquireStatement(c, sql, st, version, f)) return false;
    if (!runCompiled(c, s, st, sql, version, f, &rowid)) return false;
    if (s.rowCount == 0) {
        // Deleted by another statement since the cursor read it.
        markGone();
        f = makeFault("S1109", native::kCursorState, "The current row of cursor " + quoted + " has been deleted");
        return false;
    }
    if (pc.isDelete) markGone();
    return true;
}

// EXECUTE and OPEN of a statement prepared by name.
bool executePrepared(Conn& c, Stmt& s, Fault& f) {
    if (!s.prepared) {
        auto it = c.prepared.find(s.procName);
        if (it == c.prepared.end()) {
            f = makeFault("S1010", native::kSequence, "Statement '" + s.procName + "' has not been prepared");
            return false;
        }
        s.prepared = &it->second;
        if (s.procName == c.namedName) c.namedEntry = s.prepared;
    }
    PreparedStatement& ps = *s.prepared;
    // Running the statement changes no prepared statement, so its text is used in place
    // (an EXECUTE runs once per row of a parameter array).
    const std::string& sql = ps.sql;
    if (s.queryType == IIAPI_QT_OPEN && !ps.returnsRows) {
        f = makeFault("24000", native::kSequence, "A cursor can only be opened on a SELECT");
        return false;
    }
    if (ps.positioned.present) {
        PositionedChange pc = ps.positioned;
        const std::string text = sql;
        return runPositioned(c, s, pc, text, f);
    }
    if (s.queryType == IIAPI_QT_OPEN) {
        if (!s.cursorName.empty() && openCursor(c, s.cursorName)) {
            f = makeFault("24000", native::kCursorState, "Cursor '" + s.cursorName + "' is already open");
            return false;
        }
        s.openedReadOnly = opensReadOnly(s.text);
        if (!s.openedReadOnly) attachRowid(c, ps);
        s.shape = ps.shape;
    }
    s.hidden = ps.hidden;
    if (!ensureTransaction(c, f, false)) return false;
    return runSql(c, s, sql, f);
}

// A procedure called through the client interface: its parameters by name.
bool executeProcedureCall(Conn& c, Stmt& s, Fault& f) {
    ProcCall call;
    call.name = s.procName;
    call.owner = s.procOwner;
    std::vector<sqlite3_value*> owned;
    bool ok = true;
    for (size_t i = 0; i < s.paramDesc.size() && ok; ++i) {
        const IIAPI_DESCRIPTOR& d = s.paramDesc[i];
        if (d.ds_columnType == IIAPI_COL_SVCPARM) continue;
        if (s.paramNames[i].empty()) {
            f = makeFault("07001", native::kGeneral, "Procedure parameters are passed by name");
            ok = false;
            break;
        }
        sqlite3_value* v = clientValue(c, d, s.params[i], f);
        if (!v) {
            ok = false;
            break;
        }
        owned.push_back(v);
        call.args.push_back({s.paramNames[i], v, d.ds_columnType == IIAPI_COL_PROCBYREFPARM});
    }
    if (ok) ok = runProcedure(c, s, call, f);
    for (auto* v : owned) sqlite3_value_free(v);
    return ok;
}

// PREPARE name FROM statement: the statement is described and kept under its name.
bool prepareNamed(Conn& c, Stmt& s, const Rewritten& r, Fault& f) {
    sqlite3_stmt* st = nullptr;
    int64_t version = 0;
    if (!ensureTransaction(c, f, false)) return false;
    if (!acquireStatement(c, r.sql, st, version, f)) return false;
    PreparedStatement ps;
    ps.sql = r.sql;
    ps.returnsRows = sqlite3_column_count(st) > 0;
    ps.markers = sqlite3_bind_parameter_count(st) - (r.positioned.present ? 1 : 0);
    ps.positioned = r.positioned;
    ps.shape = r.shape;
    if (ps.returnsRows) describeColumns(c, st, r.sql, ps.columns, ps.names);
    releaseStatement(c, r.sql, st, version);
    if (ps.returnsRows) ps.rowidSql = r.rowidSql;
    // The driver opens every cursor read-only: only a FOR UPDATE cursor can take a
    // positioned change, so only its text pays for the row id now.
    if (ps.shape.forUpdate) attachRowid(c, ps);
    if (ps.rowidSql.empty() && !ps.hidden) ps.shape.positionable = false;
    s.columns = ps.columns;
    s.names = ps.names;
    buildResultDescriptors(s);
    s.describeOnly = true;
    s.eof = true;
    s.state = Stmt::State::Done;
    // A new statement of the same name replaces the old one.
    c.prepared[r.name] = std::move(ps);
    return true;
}

// EXECUTE PROCEDURE name (param = expr, ...): each expression is evaluated first.
bool executeProcedureStatement(Conn& c, Stmt& s, const Rewritten& r, Fault& f) {
    ProcCall call;
    call.name = r.name;
    call.owner = r.table;
    std::vector<sqlite3_value*> owned;
    bool ok = true;
    for (auto& [pname, expr] : r.declColumns) {
        Rewritten er;
        sqlite3_stmt* st = nullptr;
        int64_t version = 0;
        if (!rewriteStatement(c, "SELECT " + expr, er, f) || !acquireStatement(c, er.sql, st, version, f)) {
            ok = false;
            break;
        }
        if (sqlite3_bind_parameter_count(st) > 0 || sqlite3_step(st) != SQLITE_ROW) {
            if (sqlite3_bind_parameter_count(st) > 0)
                f = makeFault("07001", native::kGeneral, "Parameters of EXECUTE PROCEDURE are sent by name");
            else
                f = faultFromSqlite(c.db, sqlite3_errcode(c.db));
            releaseStatement(c, er.sql, st, version);
            ok = false;
            break;
        }
        sqlite3_value* v = sqlite3_value_dup(sqlite3_column_value(st, 0));
        releaseStatement(c, er.sql, st, version);
        owned.push_back(v);
        call.args.push_back({pname, v, false});
    }
    if (ok) ok = runProcedure(c, s, call, f);
    for (auto* v : owned) sqlite3_value_free(v);
    return ok;
}

// Everything a statement does once its parameters (if any) are in.
bool execute(Conn& c, Stmt& s, Fault& f) {
    if (s.queryType == IIAPI_QT_EXEC || s.queryType == IIAPI_QT_OPEN) return executePrepared(c, s, f);
    if (s.queryType == IIAPI_QT_EXEC_PROCEDURE) return executeProcedureCall(c, s, f);
    Rewritten r;
    if (!rewriteStatement(c, s.text, r, f)) return false;
    switch (r.kind) {
        case Rewritten::Kind::Prepare:
            return prepareNamed(c, s, r, f);
        case Rewritten::Kind::Execute: {
            s.queryType = IIAPI_QT_EXEC;
            s.procName = r.name;
            return execute(c, s, f);
        }
        case Rewritten::Kind::Commit:
        case Rewritten::Kind::Rollback:
            s.state = Stmt::State::Done;
            return endTransaction(c, r.kind == Rewritten::Kind::Commit, f);
        case Rewritten::Kind::Savepoint:
            if (!ensureTransaction(c, f)) return false;
            s.state = Stmt::State::Done;
            return runSql(c, s, "SAVEPOINT \"" + r.name + "\"", f);
        case Rewritten::Kind::RollbackTo: {
            if (!ensureTransaction(c, f)) return false;
            s.state = Stmt::State::Done;
            catalogsRolledBack(c);
            return runSql(c, s, "ROLLBACK TO \"" + r.name + "\"", f);
        }
        case Rewritten::Kind::Ignore:
            noteIsolation(c, s.text);
            if (!ensureTransaction(c, f, false)) return false;
            s.state = Stmt::State::Done;
            s.rowCount = 0;
            s.rowCountValid = true;
            return true;
        case Rewritten::Kind::SetReadOnly:
            // The agent sets the access mode and the isolation level in one statement.
            noteIsolation(c, s.text);
            if (!ensureTransaction(c, f, false)) return false;
            // Read-write is the connection's mode unless something set read-only since its
            // last reset: then nothing is run (setting the mode expires every compiled
            // statement, the session's kept ones too).
            if ((r.flag || c.open->queryOnlyTouched) &&
                !execSimple(c.db, r.flag ? "PRAGMA query_only = 1" : "PRAGMA query_only = 0", f))
                return false;
            s.state = Stmt::State::Done;
            s.rowCount = 0;
            s.rowCountValid = true;
            return true;
        case Rewritten::Kind::SetAutocommit:
            if (r.flag && c.inTransaction) {
                f = makeFault("25000", native::kSequence, "SET AUTOCOMMIT ON is not allowed inside a transaction");
                return false;
            }
            c.autocommit = r.flag;
            s.state = Stmt::State::Done;
            return true;
        case Rewritten::Kind::CreateTableAs: {
            if (!ensureTransaction(c, f)) return false;
            Rewritten made;
            if (!declareTableAs(c, r, made, f)) return false;
            return changeColumns(c, s, made, "INSERT INTO " + r.name + " " + r.sql, f);
        }
        // The table, its date triggers and its catalog rows are made together or not at all.
        case Rewritten::Kind::CreateTable:
        case Rewritten::Kind::AlterTableAdd:
        case Rewritten::Kind::AlterTableDrop:
            if (!ensureTransaction(c, f)) return false;
            return changeColumns(c, s, r, std::string(), f);
        case Rewritten::Kind::DropTable:
            if (!ensureTransaction(c, f)) return false;
            if (!runSql(c, s, r.sql, f)) return false;
            return r.table.empty() || !metadataPresent(c.db) || forgetTableMetadata(c, r.table, f);
        case Rewritten::Kind::SetXaXid: {
            std::string key, text;
            if (!xaKeyFromText(r.name, key, text)) {
                f = makeFault("42000", native::kSyntax, "Invalid XA branch text '" + r.name + "'");
                return false;
            }
            if (!xaBind(c, key, text, f)) return false;
            s.state = Stmt::State::Done;
            return true;
        }
        case Rewritten::Kind::Grant:
        case Rewritten::Kind::Revoke:
            if (!ensureTransaction(c, f)) return false;
            s.state = Stmt::State::Done;
            return recordPermits(c, r, f);
        case Rewritten::Kind::CreateProcedure:
            if (!ensureTransaction(c, f)) return false;
            s.state = Stmt::State::Done;
            return createProcedure(c, r.sql, f);
        case Rewritten::Kind::DropProcedure:
            if (!ensureTransaction(c, f)) return false;
            s.state = Stmt::State::Done;
            return dropProcedure(c, r.name, f);
        case Rewritten::Kind::ExecuteProcedure:
            return executeProcedureStatement(c, s, r, f);
        case Rewritten::Kind::Positioned:
            return runPositioned(c, s, r.positioned, r.sql, f);
        case Rewritten::Kind::Sql:
            if (!ensureTransaction(c, f, false)) return false;
            return runSql(c, s, r.sql, f);
    }
    return false;
}

// Parameters are complete when every descriptor has a complete value.
bool paramsComplete(const Stmt& s) { return s.nextParam >= s.paramDesc.size(); }

// Service parameters carry names, not values: take them out before the statement runs.
bool takeServiceParams(Stmt& s, Fault& f) {
    // A query that needs none has none (an EXECUTE per row of a parameter array).
    if (s.serviceParams == 0 && s.queryType != IIAPI_QT_OPEN && s.queryType != IIAPI_QT_EXEC_PROCEDURE) return true;
    std::vector<std::string> svc;
    for (size_t i = 0; i < s.paramDesc.size(); ++i) {
        if (s.paramDesc[i].ds_columnType != IIAPI_COL_SVCPARM) continue;
        std::string v;
        const ParamValue& pv = s.params[i];
        if (!pv.null && !valueToText(s.paramDesc[i], pv.bytes.data(), pv.bytes.size(), v)) {
            f = makeFault("22005", native::kType, "Invalid service parameter");
            return false;
        }
        while (!v.empty() && v.back() == ' ') v.pop_back();
        svc.push_back(v);
    }
    if (s.queryType == IIAPI_QT_OPEN) {
        if (svc.size() != 1) {
            f = makeFault("07001", native::kGeneral, "Opening a cursor needs the cursor name as its first parameter");
            return false;
        }
        s.cursorName = svc[0];
    } else if (s.queryType == IIAPI_QT_EXEC_PROCEDURE) {
        if (svc.empty() || svc.size() > 2) {
            f = makeFault("07001", native::kGeneral, "Executing a procedure needs its name (and owner) first");
            return false;
        }
        s.procName = svc[0];
        s.procOwner = svc.size() > 1 ? svc[1] : std::string();
    } else if (!svc.empty()) {
        f = makeFault("07001", native::kGeneral, "Service parameters are only for cursors and procedures");
        return false;
    }
    return true;
}

// A query that failed; it says too when the failure ended the session's transaction. Out of
// line: a parameter array's rows pass beside it.
[[gnu::noinline]] void failQuery(IIAPI_GENPARM& gp, Conn& c, Stmt& s, Fault f) {
    noteTransactionLost(c, f);
    s.state = Stmt::State::Failed;
    fail(gp, s, f);
}

void runWhenReady(IIAPI_GENPARM& gp, Conn& c, Stmt& s) {
    Fault f;
    if (!takeServiceParams(s, f) || !execute(c, s, f)) return failQuery(gp, c, s, std::move(f));
    complete(gp, IIAPI_ST_SUCCESS, nullptr);
}

// The name of the prepared statement a query text of type 2 or 3 refers to. Read once per row of
// a parameter array, so without copies of the words.
bool preparedName(const Stmt& s, std::string& name) {
    auto blank = [](char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r'; };
    std::string_view words[3];
    size_t count = 0;
    const std::string_view t(s.text);
    for (size_t i = 0; i < t.size();) {
        if (blank(t[i])) {
            ++i;
            continue;
        }
        size_t e = i;
        while (e < t.size() && !blank(t[e])) ++e;
        if (count < 3) words[count] = t.substr(i, e - i);
        ++count;
        i = e;
    }
    auto lower = [](std::string_view w) {
        std::string out(w);
        for (char& ch : out) ch = asciiLower(ch);
        return out;
    };
    if (s.queryType == IIAPI_QT_EXEC) {
        if (count == 2 && sameName(words[0], "execute")) {
            name = lower(words[1]);
            return true;
        }
        if (count == 1) {
            name = lower(words[0]);
            return true;
        }
        return false;
    }
    // "NAME for readonly" or "NAME for update of ..." or just "NAME".
    if (count == 0) return false;
    name = lower(words[0]);
    return count == 1 || sameName(words[1], "for");
}

// A value of the current row: from the cursor, or from the rows the engine holds itself.
inline sqlite3_value* columnValue(Stmt& s, size_t col) {
    if (s.held) [[unlikely]] {
        if (s.heldPos == 0 || s.heldPos > s.heldRows.size() || col >= s.heldRows[s.heldPos - 1].size()) return nullptr;
        return s.heldRows[s.heldPos - 1][col];
    }
    return sqlite3_column_value(s.cursor, int(col));
}

[[gnu::noinline, gnu::cold]] bool noBufferFor(size_t col, Fault& f) {
    f = makeFault("S1009", native::kGeneral, "No buffer for column " + std::to_string(col + 1));
    return false;
}

// Moves one value of the current row (of a column that is not long) into a client data value.
// Inline in the fetch's loop: it runs for every value of every row.
[[gnu::always_inline]] inline bool deliverValue(Stmt& s, size_t col, Encoder encode, const IngType& t,
                                                IIAPI_DATAVALUE& dv, Fault& f) {
    sqlite3_value* v = columnValue(s, col);
    // A NOT NULL column made by another program may still hold NULL: it is reported as NULL.
    const int vtype = v ? sqlite3_value_type(v) : SQLITE_NULL;
    if (vtype == SQLITE_NULL) {
        dv.dv_null = II_TRUE;
        dv.dv_length = 0;
        return true;
    }
    if (!dv.dv_value) [[unlikely]]
        return noBufferFor(col, f);
    uint16_t len = 0;
    if (!encode(v, vtype, t, static_cast<uint8_t*>(dv.dv_value), len, f)) [[unlikely]] {
        f.text += " (column " + s.names[col] + ")";
        return false;
    }
    dv.dv_null = II_FALSE;
    dv.dv_length = len;
    return true;
}

enum class LongPiece { Last, More, Failed };

// The next piece of a long column's value (the whole value is encoded at its first piece): the
// last one, one with more to come, or a fault.
LongPiece deliverLongPiece(Stmt& s, size_t col, const IngType& t, IIAPI_DATAVALUE& dv, Fault& f) {
    if (!s.longLoaded) {
        sqlite3_value* v = columnValue(s, col);
        if (!v || sqlite3_value_type(v) == SQLITE_NULL) {
            dv.dv_null = II_TRUE;
            dv.dv_length = 0;
            return LongPiece::Last;
        }
        if (!encodeLong(v, t, s.longValue, f)) return LongPiece::Failed;
        s.longLoaded = true;
        s.longOffset = 0;
    }
    if (!dv.dv_value) {
        f = makeFault("S1009", native::kGeneral, "No buffer for the long column");
        return LongPiece::Failed;
    }
    size_t room = t.length - 2u;
    if (t.type == IIAPI_LNVCH_TYPE) room &= ~size_t(1);
    size_t n = std::min(room, s.longValue.size() - s.longOffset);
    // A UTF-8 text is never cut inside a character.
    if (t.type == IIAPI_LVCH_TYPE && n < s.longValue.size() - s.longOffset && n > 0) {
        size_t fit = utf8Fit(std::string_view(s.longValue).substr(s.longOffset), n);
        if (fit > 0) n = fit;
    }
    uint16_t prefix = uint16_t(t.type == IIAPI_LNVCH_TYPE ? n / 2 : n);
    auto* out = static_cast<uint8_t*>(dv.dv_value);
    std::memcpy(out, &prefix, 2);
    std::memcpy(out + 2, s.longValue.data() + s.longOffset, n);
    dv.dv_null = II_FALSE;
    dv.dv_length = uint16_t(n + 2);
    s.longOffset += n;
    if (s.longOffset < s.longValue.size()) return LongPiece::More;
    s.longLoaded = false;
    s.longValue.clear();
    s.longOffset = 0;
    return LongPiece::Last;
}

}  // namespace

}  // namespace iiapi

using namespace iiapi;

extern "C" {

void IIapi_query(IIAPI_QUERYPARM* p) {
    if (!p) return;
    p->qy_stmtHandle = nullptr;
    if (!initialized()) return complete(p->qy_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    HeldCall call(p->qy_connHandle, Kind::Conn);
    Conn* const c = call.conn();
    if (!c) return complete(p->qy_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    c->clearMessages();
    // The session's current transaction (registered while it is the current one) is the handle
    // nearly every query names; any other is looked up.
    if (p->qy_tranHandle && !(c->tran && c->tran->handle == p->qy_tranHandle)) {
        auto t = findAs<Tran>(p->qy_tranHandle, Kind::Tran);
        if (!t || t->conn.lock().get() != c) return complete(p->qy_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    }
    // The session's spare record takes the next handle of the slot it kept; a new one is
    // registered beside the session.
    Stmt* s = std::exchange(c->spareStmt, nullptr);
    if (s) {
        renewObject(*s);
    } else {
        auto made = std::make_shared<Stmt>();
        made->conn = c->self;
        made->session = c;
        s = made.get();
        registerObject(std::move(made), c->handle);
        c->lendParamBuffers(*s);
    }
    s->queryType = p->qy_queryType;
    s->text = p->qy_queryText ? p->qy_queryText : "";
    c->statements.push_back(s);
    p->qy_stmtHandle = s->handle;
    c->cancelRequested = false;
    // Inline (a parameter array's every row ends its query here).
    auto done = [&](bool ok, const Fault& f) __attribute__((always_inline)) {
        p->qy_tranHandle = c->tran ? c->tran->handle : nullptr;
        if (!ok) return failQuery(p->qy_genParm, *c, *s, f);
        complete(p->qy_genParm, IIAPI_ST_SUCCESS, nullptr);
    };
    Fault f;
    switch (p->qy_queryType) {
        case IIAPI_QT_QUERY:
        case IIAPI_QT_SELECT_SINGLE:
        case IIAPI_QT_EXEC:
        case IIAPI_QT_OPEN:
        case IIAPI_QT_EXEC_PROCEDURE:
            break;
        default:
            return done(false, makeFault("S1C00", native::kGeneral,
                                         "Query type " + std::to_string(p->qy_queryType) + " is not supported"));
    }
    if (p->qy_queryType != IIAPI_QT_EXEC_PROCEDURE && s->text.empty())
        return done(false, makeFault("42000", native::kSyntax, "Syntax error: no query text"));
    const bool named = p->qy_queryType == IIAPI_QT_EXEC || p->qy_queryType == IIAPI_QT_OPEN;
    if (named && s->queryType == c->namedType && s->text == c->namedText) {
        // The text of the session's last EXECUTE or OPEN again (every row of a parameter array):
        // checked and read then.
        s->procName = c->namedName;
        s->prepared = c->namedEntry;
    } else {
        // The text is read as UTF-8: bytes that are not (an overlong quote) would read as
        // something else than what the client checked.
        if (!utf8Valid(s->text)) return done(false, notTextFault("the statement text"));
        if (named) {
            if (!preparedName(*s, s->procName))
                return done(false, makeFault("42000", native::kSyntax, "Syntax error: '" + s->text + "'"));
            c->namedType = s->queryType;
            c->namedText = s->text;
            c->namedName = s->procName;
            c->namedEntry = nullptr;
        }
    }
    bool needParms = p->qy_parameters || p->qy_queryType == IIAPI_QT_OPEN || p->qy_queryType == IIAPI_QT_EXEC_PROCEDURE;
    if (needParms) {
        // The statement runs once its parameters are in; its transaction starts now.
        s->state = Stmt::State::AwaitDescriptor;
        bool ok = ensureTransaction(*c, f, false);
        return done(ok, f);
    }
    if (c->isMaster) xaRefreshMaster(*c);
    bool ok = execute(*c, *s, f);
    done(ok, f);
}

void IIapi_setDescriptor(IIAPI_SETDESCRPARM* p) {
    if (!p) return;
    if (!initialized()) return complete(p->sd_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    HeldCall call(p->sd_stmtHandle, Kind::Stmt);
    if (!call.stmt()) return complete(p->sd_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    Stmt& s = *call.stmt();
    s.clearMessages();
    if (s.state != Stmt::State::AwaitDescriptor)
        return fail(p->sd_genParm, s, sequenceFault("setDescriptor without a query that takes parameters"));
    if (p->sd_descriptorCount < 0 || (p->sd_descriptorCount > 0 && !p->sd_descriptor))
        return fail(p->sd_genParm, s, makeFault("S1009", native::kGeneral, "Invalid descriptor list"));
    const size_t count = size_t(p->sd_descriptorCount);
    s.paramDesc.assign(p->sd_descriptor, p->sd_descriptor + count);
    // Filled in place: the buffers a value took last time take the next one.
    s.paramNames.resize(count);
    s.params.resize(count);
    size_t service = 0;
    for (size_t i = 0; i < count; ++i) {
        IIAPI_DESCRIPTOR& d = s.paramDesc[i];
        service += d.ds_columnType == IIAPI_COL_SVCPARM;
        std::string& name = s.paramNames[i];
        if (d.ds_columnName) {
            name = d.ds_columnName;
            d.ds_columnName = name.empty() ? nullptr : name.data();
        } else {
            name.clear();
        }
        bool longType = isLongType(d.ds_dataType);
        if (!longType && d.ds_length == 0 && d.ds_dataType != IIAPI_CHA_TYPE && d.ds_dataType != IIAPI_BYTE_TYPE &&
            d.ds_dataType != IIAPI_NCHA_TYPE && d.ds_dataType != IIAPI_CHR_TYPE)
            return fail(p->sd_genParm, s,
                        makeFault("S1009", native::kGeneral, "Parameter " + std::to_string(i + 1) + " has no length"));
        ParamValue& pv = s.params[i];
        pv.null = false;
        pv.complete = false;
        // A long value's segments are joined in its buffer; any other value replaces the buffer's
        // bytes whole when it comes.
        if (longType) pv.bytes.clear();
    }
    s.serviceParams = service;
    s.nextParam = 0;
    s.state = Stmt::State::AwaitParms;
    if (s.paramDesc.empty()) return runWhenReady(p->sd_genParm, *call.conn(), s);
    complete(p->sd_genParm, IIAPI_ST_SUCCESS, nullptr);
}

void IIapi_putParms(IIAPI_PUTPARMPARM* p) {
    if (!p) return;
    if (!initialized()) return complete(p->pp_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    HeldCall call(p->pp_stmtHandle, Kind::Stmt);
    if (!call.stmt()) return complete(p->pp_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    Stmt& s = *call.stmt();
    s.clearMessages();
    if (s.state != Stmt::State::AwaitParms)
        return fail(p->pp_genParm, s, sequenceFault("putParms without setDescriptor"));
    if (p->pp_parmCount < 1 || !p->pp_parmData || s.nextParam + size_t(p->pp_parmCount) > s.paramDesc.size())
        return fail(p->pp_genParm, s, makeFault("07001", native::kGeneral, "Wrong number of parameter values"));
    for (int k = 0; k < p->pp_parmCount; ++k) {
        size_t idx = s.nextParam;
        const IIAPI_DESCRIPTOR& d = s.paramDesc[idx];
        const IIAPI_DATAVALUE& v = p->pp_parmData[k];
        ParamValue& pv = s.params[idx];
        bool longType = isLongType(d.ds_dataType);
        if (longType) {
            if (p->pp_parmCount != 1)
                return fail(p->pp_genParm, s, makeFault("07001", native::kGeneral, "A long value is sent alone"));
            if (v.dv_null) {
                pv.null = true;
            } else {
                if (v.dv_length < 2 || !v.dv_value)
                    return fail(p->pp_genParm, s,
                                makeFault("22026", native::kType, "A long value segment needs its length prefix"));
                size_t n = 0;
                uint16_t n16;
                std::memcpy(&n16, v.dv_value, 2);
                n = d.ds_dataType == IIAPI_LNVCH_TYPE ? size_t(n16) * 2 : n16;
                // The prefix says how much follows; a segment never exceeds the descriptor length.
                size_t cap = d.ds_length > 2 ? d.ds_length - 2u : 65533u;
                if (d.ds_dataType != IIAPI_LNVCH_TYPE && n > size_t(v.dv_length) - 2)
                    return fail(p->pp_genParm, s,
                                makeFault("22026", native::kType, "Segment length exceeds the value sent"));
                if (n > cap && d.ds_length > 2)
                    return fail(p->pp_genParm, s,
                                makeFault("22026", native::kType, "Segment longer than the descriptor allows"));
                pv.bytes.append(static_cast<const char*>(v.dv_value) + 2, n);
            }
            if (p->pp_moreSegments) return complete(p->pp_genParm, IIAPI_ST_SUCCESS, nullptr);
            pv.complete = true;
            ++s.nextParam;
            continue;
        }
        if (v.dv_null) {
            pv.null = true;
            pv.bytes.clear();
        } else {
            if (v.dv_length && !v.dv_value)
                return fail(p->pp_genParm, s, makeFault("S1009", native::kGeneral, "Parameter value missing"));
            if (d.ds_length && v.dv_length > d.ds_length)
                return fail(p->pp_genParm, s,
                            makeFault("22001", native::kTruncate,
                                      "Parameter " + std::to_string(idx + 1) + " is longer than its descriptor"));
            // Sized, then copied: a value of the size the last row's had (a number, a date) moves
            // no length around.
            pv.bytes.resize(v.dv_length);
            if (v.dv_length) std::memcpy(pv.bytes.data(), v.dv_value, v.dv_length);
        }
        pv.complete = true;
        ++s.nextParam;
    }
    if (paramsComplete(s)) return runWhenReady(p->pp_genParm, *call.conn(), s);
    complete(p->pp_genParm, IIAPI_ST_SUCCESS, nullptr);
}

void IIapi_getDescriptor(IIAPI_GETDESCRPARM* p) {
    if (!p) return;
    p->gd_descriptorCount = 0;
    p->gd_descriptor = nullptr;
    if (!initialized()) return complete(p->gd_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    HeldCall call(p->gd_stmtHandle, Kind::Stmt);
    if (!call.stmt()) return complete(p->gd_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    Stmt& s = *call.stmt();
    s.clearMessages();
    if (s.state == Stmt::State::Failed) return fail(p->gd_genParm, s, sequenceFault("the query failed"));
    if (s.state == Stmt::State::AwaitDescriptor || s.state == Stmt::State::AwaitParms)
        return fail(p->gd_genParm, s, sequenceFault("the parameters have not been sent"));
    if (s.describeOnly || s.state == Stmt::State::Rows || !s.resultDesc.empty()) {
        p->gd_descriptorCount = int16_t(s.resultDesc.size());
        p->gd_descriptor = s.resultDesc.empty() ? nullptr : s.resultDesc.data();
        return complete(p->gd_genParm, IIAPI_ST_SUCCESS, nullptr);
    }
    complete(p->gd_genParm, IIAPI_ST_NO_DATA, nullptr);
}

void IIapi_getColumns(IIAPI_GETCOLPARM* p) {
    if (!p) return;
    p->gc_rowsReturned = 0;
    p->gc_moreSegments = II_FALSE;
    if (!initialized()) return complete(p->gc_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    HeldCall call(p->gc_stmtHandle, Kind::Stmt);
    if (!call.stmt()) return complete(p->gc_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    Stmt& s = *call.stmt();
    Conn& c = *call.conn();
    s.clearMessages();
    if (s.cancelled) {
        s.state = Stmt::State::Failed;
        return fail(p->gc_genParm, s, cancelledFault());
    }
    if (s.state == Stmt::State::Failed) return fail(p->gc_genParm, s, sequenceFault("the query failed"));
    if (s.state != Stmt::State::Rows) {
        if (s.state == Stmt::State::Done && s.eof && !s.resultDesc.empty())
            return complete(p->gc_genParm, IIAPI_ST_NO_DATA, nullptr);
        return fail(p->gc_genParm, s, sequenceFault("the statement returns no rows"));
    }
    const size_t ncols = s.columns.size();
    if (p->gc_rowCount < 1 || p->gc_columnCount < 1 || !p->gc_columnData || size_t(p->gc_columnCount) > ncols)
        return fail(p->gc_genParm, s, makeFault("S1009", native::kGeneral, "Invalid row or column count"));
    // Several rows at once only for whole rows.
    if (p->gc_rowCount > 1 && (s.colPos != 0 || s.haveRow || size_t(p->gc_columnCount) != ncols))
        return fail(p->gc_genParm, s, makeFault("S1009", native::kGeneral, "Several rows are read as whole rows only"));
    Fault f;
    int16_t rows = 0;
    const int16_t wanted = s.updatable() ? int16_t(1) : p->gc_rowCount;
    const int16_t columnCount = p->gc_columnCount;
    // The columns' types and encoders stay as they are for the whole call.
    const IngType* const types = s.columns.data();
    const Encoder* const encoders = s.encoders.data();
    // Whole rows of short columns, as every block of rows is read: no long column to look for and
    // no end of the row to watch on the way.
    const bool wholeShortRows = s.colPos == 0 && !s.haveRow && size_t(columnCount) == ncols &&
                                std::find(encoders, encoders + ncols, nullptr) == encoders + ncols;
    auto valueFailed = [&](size_t col) {
        s.colPos = col;
        p->gc_rowsReturned = rows;
        return fail(p->gc_genParm, s, f);
    };
    for (int16_t r = 0; r < wanted && r < kMaxRows; ++r) {
        if (!s.haveRow) {
            s.onRow = false;
            s.positionedAt = -1;
            if (s.eof) break;
            if (s.queryType == IIAPI_QT_SELECT_SINGLE && s.rowCount >= 1) {
                s.eof = true;
                break;
            }
            int rc;
            if (s.held) {
                rc = s.heldPos < s.heldRows.size() ? SQLITE_ROW : SQLITE_DONE;
                if (rc == SQLITE_ROW) ++s.heldPos;
            } else {
                c.running = &s;
                rc = sqlite3_step(s.cursor);
                c.running = nullptr;
            }
            if (rc == SQLITE_DONE) {
                s.eof = true;
                break;
            }
            if (rc != SQLITE_ROW) {
                f = s.cancelled ? cancelledFault() : faultFromSqlite(c.db, rc);
                noteTransactionLost(c, f);
                s.state = Stmt::State::Failed;
                p->gc_rowsReturned = rows;
                return fail(p->gc_genParm, s, f);
            }
            if (s.cancelled) {
                s.state = Stmt::State::Failed;
                p->gc_rowsReturned = rows;
                return fail(p->gc_genParm, s, cancelledFault());
            }
            s.haveRow = true;
            s.onRow = true;
            s.rowGone = false;
            if (s.updatable()) noteHandedRow(s);
            s.colPos = 0;
            s.longLoaded = false;
            s.longOffset = 0;
        }
        IIAPI_DATAVALUE* const rowData = p->gc_columnData + size_t(r) * size_t(columnCount);
        size_t col = s.colPos;
        if (wholeShortRows) {
            for (; col < ncols; ++col)
                if (!deliverValue(s, col, encoders[col], types[col], rowData[col], f)) [[unlikely]]
                    return valueFailed(col);
        } else {
            for (int k = 0; k < columnCount; ++k, ++col) {
                IIAPI_DATAVALUE& dv = rowData[k];
                if (col >= ncols) [[unlikely]] {
                    s.colPos = col;
                    return fail(p->gc_genParm, s,
                                makeFault("S1009", native::kGeneral, "More columns asked than the row has"));
                }
                if (!encoders[col]) [[unlikely]] {
                    s.colPos = col;
                    if (columnCount != 1 || p->gc_rowCount != 1)
                        return fail(
                            p->gc_genParm, s,
                            makeFault("S1009", native::kGeneral, "A long column is read alone, one row at a time"));
                    const LongPiece piece = deliverLongPiece(s, col, types[col], dv, f);
                    if (piece == LongPiece::Failed) return fail(p->gc_genParm, s, f);
                    if (piece == LongPiece::More) {
                        p->gc_moreSegments = II_TRUE;
                        p->gc_rowsReturned = 1;
                        return complete(p->gc_genParm, IIAPI_ST_SUCCESS, nullptr);
                    }
                    continue;
                }
                if (!deliverValue(s, col, encoders[col], types[col], dv, f)) [[unlikely]]
                    return valueFailed(col);
            }
        }
        s.colPos = col;
        ++rows;
        if (s.colPos >= ncols) {
            s.haveRow = false;
            s.colPos = 0;
            ++s.rowCount;
        }
    }
    p->gc_rowsReturned = rows;
    if (rows == 0) return complete(p->gc_genParm, IIAPI_ST_NO_DATA, nullptr);
    complete(p->gc_genParm, IIAPI_ST_SUCCESS, nullptr);
}

void IIapi_getQueryInfo(IIAPI_GETQINFOPARM* p) {
    if (!p) return;
    p->gq_flags = 0;
    p->gq_mask = 0;
    p->gq_rowCount = 0;
    p->gq_readOnly = II_FALSE;
    p->gq_procedureReturn = 0;
    p->gq_procedureHandle = nullptr;
    p->gq_repeatQueryHandle = nullptr;
    if (!initialized()) return complete(p->gq_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    HeldCall call(p->gq_stmtHandle, Kind::Stmt);
    if (!call.stmt()) return complete(p->gq_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    Stmt& s = *call.stmt();
    s.clearMessages();
    if (s.state == Stmt::State::AwaitDescriptor || s.state == Stmt::State::AwaitParms)
        return fail(p->gq_genParm, s, sequenceFault("the parameters have not been sent"));
    if (s.state == Stmt::State::Failed) {
        p->gq_flags |= IIAPI_GQF_FAIL;
        return complete(p->gq_genParm, IIAPI_ST_SUCCESS, nullptr);
    }
    if (s.rowCountValid) {
        p->gq_mask |= IIAPI_GQ_ROW_COUNT;
        p->gq_rowCount = II_LONG(s.rowCount > INT32_MAX ? INT32_MAX : s.rowCount);
    }
    if (s.hasProcReturn) {
        p->gq_mask |= IIAPI_GQ_PROCEDURE_RET;
        p->gq_procedureReturn = s.procReturn;
    }
    if (s.queryType == IIAPI_QT_OPEN) {
        p->gq_mask |= IIAPI_GQ_CURSOR;
        p->gq_readOnly = s.updatable() ? II_FALSE : II_TRUE;
    }
    if (s.eof) p->gq_flags |= IIAPI_GQF_END_OF_DATA;
    complete(p->gq_genParm, IIAPI_ST_SUCCESS, nullptr);
}

void IIapi_close(IIAPI_CLOSEPARM* p) {
    if (!p) return;
    if (!initialized()) return complete(p->cl_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    HeldCall call(p->cl_stmtHandle, Kind::Stmt);
    Stmt* const s = call.stmt();
    if (!s) return complete(p->cl_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    Conn& c = *call.conn();
    releaseCursor(c, *s);
    std::erase(c.statements, s);
    // Under the call lock: see findHeld. When only the registry holds it (a cancel running on
    // another thread, or a call waiting for the lock, holds it too), emptied, it serves the
    // session's next query, its parameter buffers with it; otherwise they go to that query.
    if (!c.spareStmt && retireObject(*s)) {
        s->reset();
        c.spareStmt = s;
    } else {
        c.keepParamBuffers(*s);
        unregisterObject(p->cl_stmtHandle);
    }
    complete(p->cl_genParm, IIAPI_ST_SUCCESS, nullptr);
}

void IIapi_position(IIAPI_POSPARM* p) {
    if (!p) return;
    if (!initialized()) return complete(p->po_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    HeldCall call(p->po_stmtHandle, Kind::Stmt);
    if (!call.stmt()) return complete(p->po_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    Stmt& s = *call.stmt();
    s.clearMessages();
    if (s.queryType != IIAPI_QT_OPEN || s.state != Stmt::State::Rows || !s.updatable())
        return fail(p->po_genParm, s, makeFault("24000", native::kCursorState, "The cursor does not scroll"));
    if (p->po_reference != IIAPI_POS_BEGIN || p->po_rowCount != 0)
        return fail(p->po_genParm, s,
                    makeFault("S1C00", native::kGeneral, "The cursor is positioned on a row it handed out only"));
    const int64_t first = s.handedCount - int64_t(s.handedIds.size()) + 1;
    if (p->po_offset == s.handedCount + 1) {
        // After the last row: on no row.
        s.positionedAt = kAfterHandedRows;
        return complete(p->po_genParm, IIAPI_ST_SUCCESS, nullptr);
    }
    if (p->po_offset < first || p->po_offset > s.handedCount)
        return fail(p->po_genParm, s,
                    makeFault("S1109", native::kCursorState,
                              "Row " + std::to_string(p->po_offset) + " is not among the rows the cursor handed out"));
    s.positionedAt = p->po_offset - first;
    complete(p->po_genParm, IIAPI_ST_SUCCESS, nullptr);
}

void IIapi_cancel(IIAPI_CANCELPARM* p) {
    if (!p) return;
    if (!initialized()) return complete(p->cn_genParm, IIAPI_ST_NOT_INITIALIZED, nullptr);
    auto s = findAs<Stmt>(p->cn_stmtHandle, Kind::Stmt);
    auto c = s ? s->conn.lock() : nullptr;
    if (!s || !c) return complete(p->cn_genParm, IIAPI_ST_INVALID_HANDLE, nullptr);
    // No call lock here: the statement's own call may be running on another thread.
    s->cancelled = true;
    {
        std::lock_guard<std::mutex> dl(c->dbMutex);
        if (c->db && c->running.load() == s.get()) sqlite3_interrupt(c->db);
    }
    complete(p->cn_genParm, IIAPI_ST_SUCCESS, nullptr);
}

}  // extern "C"
