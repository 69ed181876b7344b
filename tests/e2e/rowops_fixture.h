#pragma once
// A table of ten rows and a statement over it through the Driver Manager, for the row operation
// tests: cursors opened as asked with their rowset bound column-wise, another connection that
// changes the table and reads it back, and the SQLSTATE of the last failure.
#include <cstdlib>
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {

// A table of this build of ten rows (id i, name "ri", note NULL for 1, 4, 7 and 10, else "ni"),
// made afresh for each test, and another connection that changes it and reads it back.
class TenRowTable : public ResultsTest {
protected:
    explicit TenRowTable(const char* base) : base_(base) {}
    std::string t;
    SQLHDBC other = SQL_NULL_HDBC;

    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Table(base_);
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (id integer not null primary key, name varchar(12), note varchar(12))");
        Reset();
    }
    void TearDown() override {
        if (other) {
            SQLDisconnect(other);
            SQLFreeHandle(SQL_HANDLE_DBC, other);
        }
        if (stmt && !t.empty()) {
            Release();
            Exec("drop table " + t);
        }
        ResultsTest::TearDown();
    }
    // The statement as allocated: no cursor, no bindings, no cursor attributes.
    void Release() {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_KEYSET_SIZE, reinterpret_cast<SQLPOINTER>(0), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_OFF), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    }
    // Runs sql on a statement of its own (the cursor's statement keeps its cursor attributes).
    void Plain(const std::string& sql) {
        SQLHSTMT s = SQL_NULL_HSTMT;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s));
        SQLRETURN rc = SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
        EXPECT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql << ": " << Diag(SQL_HANDLE_STMT, s);
        SQLFreeHandle(SQL_HANDLE_STMT, s);
    }
    // The table back as created; the statement's cursor closed.
    void Reset() {
        SQLFreeStmt(stmt, SQL_CLOSE);
        Plain("delete from " + t);
        for (int i = 1; i <= 10; ++i)
            Plain("insert into " + t + " values (" + std::to_string(i) + ", 'r" + std::to_string(i) + "', " +
                  (i % 3 == 1 ? std::string("null") : "'n" + std::to_string(i) + "'") + ")");
    }
    void SetAttr(SQLINTEGER attr, SQLULEN v) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, attr, reinterpret_cast<SQLPOINTER>(v), 0))) << Diag();
    }
    // The other connection, made on first use; made with `briefLockWait` it waits only a short
    // time for rows a lock holds (the engine's own wait is longer than a test needs, and
    // SQL_ATTR_QUERY_TIMEOUT does not bound it).
    void Connect2(bool briefLockWait = false) {
        if (other) return;
        const char* before = std::getenv("II_ENGINE_BUSY_TIMEOUT");
        const std::string kept = before ? before : "";
        if (briefLockWait) setenv("II_ENGINE_BUSY_TIMEOUT", "300", 1);
        Connect2Now();
        if (!briefLockWait) return;
        if (before)
            setenv("II_ENGINE_BUSY_TIMEOUT", kept.c_str(), 1);
        else
            unsetenv("II_ENGINE_BUSY_TIMEOUT");
    }
    void Connect2Now() {
        std::string dsn = Dsn();
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &other));
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLConnect(other, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)kUser, SQL_NTS, (SQLCHAR*)kPassword, SQL_NTS)));
    }
    // Runs sql on the other connection (autocommit: at once visible).
    void Other(const std::string& sql) {
        Connect2();
        SQLHSTMT s = SQL_NULL_HSTMT;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, other, &s));
        SQLRETURN rc = SQLExecDirect(s, (SQLCHAR*)sql.c_str(), SQL_NTS);
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << Diag(SQL_HANDLE_STMT, s);
        SQLFreeHandle(SQL_HANDLE_STMT, s);
    }
    // The table as the other connection reads it: "id:name:note " per row, NULL as '-'.
    std::string Contents() {
        Connect2();
        SQLHSTMT s = SQL_NULL_HSTMT;
        std::string out;
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, other, &s));
        std::string q = "select id, name, note from " + t + " order by id";
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)q.c_str(), SQL_NTS)));
        SQLINTEGER id = 0;
        char name[16] = {}, note[16] = {};
        SQLLEN a = 0, b = 0, c = 0;
        SQLBindCol(s, 1, SQL_C_LONG, &id, 0, &a);
        SQLBindCol(s, 2, SQL_C_CHAR, name, sizeof name, &b);
        SQLBindCol(s, 3, SQL_C_CHAR, note, sizeof note, &c);
        while (SQL_SUCCEEDED(SQLFetch(s)))
            out += std::to_string(id) + ":" + (b == SQL_NULL_DATA ? "-" : name) + ":" +
                   (c == SQL_NULL_DATA ? "-" : note) + " ";
        SQLFreeHandle(SQL_HANDLE_STMT, s);
        return out;
    }
    // The table as created, with some rows replaced ("" drops the row).
    static std::string Expected(std::initializer_list<std::pair<int, std::string>> changes, int rows = 10) {
        std::string out;
        for (int i = 1; i <= rows; ++i) {
            std::string row = std::to_string(i) + ":r" + std::to_string(i) + ":" +
                              (i % 3 == 1 ? std::string("-") : "n" + std::to_string(i));
            for (const auto& [id, text] : changes)
                if (id == i) row = text;
            if (!row.empty()) out += row + " ";
        }
        return out;
    }
    std::string State() { return FirstDiag(SQL_HANDLE_STMT, stmt).state; }

private:
    const char* base_;
};

constexpr int kMost = 8;  // rows of every buffer

class RowsetRowOps : public TenRowTable {
protected:
    RowsetRowOps() : TenRowTable("rsops") {}
    explicit RowsetRowOps(const char* base) : TenRowTable(base) {}
    SQLULEN fetched = 0;
    SQLUSMALLINT status[kMost] = {};
    SQLLEN bm[kMost] = {};
    SQLLEN bmLen[kMost] = {};
    SQLINTEGER ids[kMost] = {};
    SQLLEN idLen[kMost] = {};
    char names[kMost][13] = {};
    SQLLEN nameLen[kMost] = {};

    void Close() { Release(); }
    void Reset() {
        Release();
        TenRowTable::Reset();
    }
    // Executes `select id, name, note` ordered by id with the cursor asked for (granted as
    // asked), binds id and name column-wise (and the bookmark column when bookmarks are on).
    void Open(SQLULEN type, SQLULEN concurrency, SQLULEN rows, SQLULEN keysetSize = 0, bool bookmarks = false) {
        SetAttr(SQL_ATTR_CURSOR_TYPE, type);
        SetAttr(SQL_ATTR_CONCURRENCY, concurrency);
        SetAttr(SQL_ATTR_KEYSET_SIZE, keysetSize);
        SetAttr(SQL_ATTR_USE_BOOKMARKS, bookmarks ? SQL_UB_VARIABLE : SQL_UB_OFF);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, rows);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
        for (int i = 0; i < kMost; ++i) idLen[i] = nameLen[i] = bmLen[i] = 0;
        ASSERT_EQ(SQL_SUCCESS, Exec("select id, name, note from " + t + " order by id")) << Diag();
        SQLULEN granted = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &granted, 0, nullptr));
        ASSERT_EQ(type, granted);
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &granted, 0, nullptr));
        ASSERT_EQ(concurrency, granted);
        if (bookmarks) {
            ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 0, SQL_C_VARBOOKMARK, bm, sizeof(SQLLEN), bmLen));
        }
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, names, sizeof names[0], nameLen));
    }
    // A value the buffer cannot hold whole would be written cut, and the test would check the wrong row.
    void SetName(int row, const std::string& v) {
        ASSERT_LT(v.size(), sizeof names[row]) << v;
        names[row][v.copy(names[row], sizeof names[row] - 1)] = '\0';
        nameLen[row] = SQL_NTS;
        idLen[row] = SQL_COLUMN_IGNORE;
    }
    std::vector<SQLINTEGER> Ids(int n) const { return std::vector<SQLINTEGER>(ids, ids + n); }
    std::vector<SQLUSMALLINT> Statuses(int n) const { return std::vector<SQLUSMALLINT>(status, status + n); }
    // Column 3 (note, never bound) of the row SQLSetPos positions on; "-" for NULL.
    std::string NoteAt(SQLSETPOSIROW row) {
        EXPECT_EQ(SQL_SUCCESS, SQLSetPos(stmt, row, SQL_POSITION, SQL_LOCK_NO_CHANGE)) << Diag();
        char note[16] = {};
        SQLLEN len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt, 3, SQL_C_CHAR, note, sizeof note, &len)) << Diag();
        return len == SQL_NULL_DATA ? "-" : note;
    }
};

}  // namespace resultstest
