// Positioned changes by ODBC's rules, through the Driver Manager: the current row of a block is
// the row WHERE CURRENT OF changes, rows the application marks ignored are left out of the checks
// of a whole-rowset operation, a refresh keeps the rowset's membership, a cursor's own change by
// bookmark is no conflict, the fetch orientations from before the start, the concurrency a
// cursor is granted, WHERE CURRENT OF a scrollable cursor refused for what it is, and a large
// updatable static cursor spilled. Every change is read back on another connection.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "rowops_fixture.h"

namespace resultstest {
namespace {

class PositionedRules : public RowsetRowOps {
protected:
    PositionedRules() : RowsetRowOps("posrules") {}
    SQLHSTMT second = SQL_NULL_HSTMT;
    SQLUSMALLINT ops[kMost] = {};

    void TearDown() override {
        if (second) SQLFreeHandle(SQL_HANDLE_STMT, second);
        RowsetRowOps::TearDown();
    }
    // Runs sql on a second statement of the cursor's connection.
    SQLRETURN OnSecond(const std::string& sql) {
        if (!second) {
            EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &second));
        }
        SQLFreeStmt(second, SQL_CLOSE);
        return SQLExecDirect(second, (SQLCHAR*)sql.c_str(), SQL_NTS);
    }
    std::string SecondState() { return FirstDiag(SQL_HANDLE_STMT, second).state; }
    // The row-operation array: the rows listed (0-based) are ignored, the others proceed.
    void Ignore(std::initializer_list<int> rows) {
        for (auto& o : ops) o = SQL_ROW_PROCEED;
        for (int r : rows) ops[r] = SQL_ROW_IGNORE;
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_OPERATION_PTR, ops, 0));
    }
    void Close() {
        SQLSetStmtAttr(stmt, SQL_ATTR_ROW_OPERATION_PTR, nullptr, 0);
        RowsetRowOps::Close();
    }
};

struct Kind {
    SQLULEN type;
    SQLULEN concurrency;
    const char* what;
};
constexpr Kind kChangeable[] = {
    {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, "keyset-driven, lock"},
    {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, "keyset-driven, values"},
    {SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, "static, lock"},
    {SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, "static, values"},
    {SQL_CURSOR_DYNAMIC, SQL_CONCUR_LOCK, "dynamic, lock"},
    {SQL_CURSOR_DYNAMIC, SQL_CONCUR_VALUES, "dynamic, values"},
};

// When a block cursor returns a rowset its current row is the first row; SQLSetPos(n,
// SQL_POSITION) makes it row n. WHERE CURRENT OF on another statement changes that row.
TEST_P(PositionedRules, WhereCurrentOfChangesTheCurrentRowOfABlock) {
    SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 3);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt, (SQLCHAR*)"c1", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id for update of name")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    ASSERT_EQ((std::vector<SQLINTEGER>{1, 2, 3}), Ids(3));
    SQLINTEGER id = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_LONG, &id, 0, nullptr)) << Diag();
    EXPECT_EQ(1, id);
    ASSERT_EQ(SQL_SUCCESS, OnSecond("update " + t + " set name = 'cur' where current of c1"))
        << Diag(SQL_HANDLE_STMT, second);
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, OnSecond("update " + t + " set name = 'two' where current of c1"))
        << Diag(SQL_HANDLE_STMT, second);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    ASSERT_EQ((std::vector<SQLINTEGER>{4, 5, 6}), Ids(3));
    ASSERT_EQ(SQL_SUCCESS, OnSecond("delete from " + t + " where current of c1")) << Diag(SQL_HANDLE_STMT, second);
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, OnSecond("delete from " + t + " where current of c1")) << Diag(SQL_HANDLE_STMT, second);
    // The next rowset goes on after the rows read, its first row current again.
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    ASSERT_EQ((std::vector<SQLINTEGER>{7, 8, 9}), Ids(3));
    ASSERT_EQ(SQL_SUCCESS, OnSecond("update " + t + " set name = 'seven' where current of c1"))
        << Diag(SQL_HANDLE_STMT, second);
    // A short last rowset: its one row is current, though the cursor read on to find the end.
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    ASSERT_EQ(1u, fetched);
    ASSERT_EQ(SQL_SUCCESS, OnSecond("update " + t + " set name = 'ten' where current of c1"))
        << Diag(SQL_HANDLE_STMT, second);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    EXPECT_EQ(SQL_ERROR, OnSecond("update " + t + " set name = 'none' where current of c1"));
    EXPECT_EQ("24000", SecondState());
    Close();
    EXPECT_EQ(Expected({{1, "1:cur:-"}, {2, "2:two:n2"}, {4, ""}, {6, ""}, {7, "7:seven:-"}, {10, "10:ten:-"}}),
              Contents());
    // SQLExtendedFetch's block of SQL_ROWSET_SIZE rows follows the same rule.
    SetAttr(SQL_ROWSET_SIZE, 3);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id for update of name")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
    SQLULEN rows = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &rows, status)) << Diag();
    ASSERT_EQ((std::vector<SQLINTEGER>{1, 2, 3}), Ids(3));
    ASSERT_EQ(SQL_SUCCESS, OnSecond("update " + t + " set name = 'x1' where current of c1"))
        << Diag(SQL_HANDLE_STMT, second);
    ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &rows, status)) << Diag();
    ASSERT_EQ((std::vector<SQLINTEGER>{5, 7, 8}), Ids(3));
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 3, SQL_POSITION, SQL_LOCK_NO_CHANGE)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, OnSecond("update " + t + " set name = 'x8' where current of c1"))
        << Diag(SQL_HANDLE_STMT, second);
    Close();
    SetAttr(SQL_ROWSET_SIZE, 1);
    EXPECT_EQ(
        Expected(
            {{1, "1:x1:-"}, {2, "2:two:n2"}, {4, ""}, {6, ""}, {7, "7:seven:-"}, {8, "8:x8:n8"}, {10, "10:ten:-"}}),
        Contents());
}

// Rows the application marks SQL_ROW_IGNORE are left out of a whole-rowset UPDATE, DELETE and
// REFRESH, the check of their statuses included: a row the cursor deleted, or one another
// connection deleted, no longer refuses the others. A deleted row not marked is still refused,
// and nothing changes then.
TEST_P(PositionedRules, RowsMarkedIgnoredAreLeftOutOfTheChecks) {
    for (const Kind& k : kChangeable) {
        SCOPED_TRACE(k.what);
        Reset();
        Open(k.type, k.concurrency, 3);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << Diag();
        ASSERT_EQ(SQL_ROW_DELETED, status[2]);
        Ignore({});
        SetName(0, "a0");
        SetName(1, "a1");
        for (SQLUSMALLINT op : {SQLUSMALLINT(SQL_UPDATE), SQLUSMALLINT(SQL_DELETE), SQLUSMALLINT(SQL_REFRESH)}) {
            EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 0, op, SQL_LOCK_NO_CHANGE)) << op;
            EXPECT_EQ("HY109", State()) << op;
        }
        EXPECT_EQ(Expected({{3, ""}}), Contents());
        Ignore({2});
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetPos(stmt, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE))) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{1, 2, 3}), Ids(3));
        SetName(0, "a0");
        SetName(1, "a1");
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetPos(stmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE))) << Diag();
        EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_UPDATED, SQL_ROW_UPDATED, SQL_ROW_DELETED}), Statuses(3));
        EXPECT_EQ(Expected({{1, "1:a0:-"}, {2, "2:a1:n2"}, {3, ""}}), Contents());
        // Another connection's deletion, seen by a refresh, is left out the same way.
        Other("delete from " + t + " where id = 1");
        Ignore({2});
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetPos(stmt, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE))) << Diag();
        if (k.type != SQL_CURSOR_STATIC) {
            EXPECT_EQ(SQL_ROW_DELETED, status[0]);
            SetName(1, "b1");
            EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
            EXPECT_EQ("HY109", State());
            EXPECT_EQ(Expected({{1, ""}, {2, "2:a1:n2"}, {3, ""}}), Contents());
        }
        Ignore({0, 2});
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetPos(stmt, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE))) << Diag();
        EXPECT_EQ(SQL_ROW_DELETED, status[1]);
        EXPECT_EQ(Expected({{1, ""}, {2, ""}, {3, ""}}), Contents());
        Close();
    }
}

// SQL_REFRESH gives the rows of the rowset the fetch made: on a dynamic cursor a row another
// connection deleted is a deleted row of it, not replaced by the row after it (a fetch of
// RELATIVE 0 is what reads the rowset anew). A refresh of one row changes the status of that row
// alone, in the application's array and in the cursor.
TEST_P(PositionedRules, RefreshKeepsTheRowsOfTheRowset) {
    for (SQLULEN concurrency : {SQLULEN(SQL_CONCUR_READ_ONLY), SQLULEN(SQL_CONCUR_VALUES)}) {
        SCOPED_TRACE(concurrency);
        Reset();
        Open(SQL_CURSOR_DYNAMIC, concurrency, 3);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        Other("delete from " + t + " where id = 3");
        Other("update " + t + " set name = 'x2' where id = 2");
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetPos(stmt, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE))) << Diag();
        EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_DELETED}), Statuses(3));
        EXPECT_EQ((std::vector<SQLINTEGER>{1, 2}), Ids(2));
        EXPECT_STREQ("x2", names[1]);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{4, 5, 6}), Ids(3));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{1, 2, 4}), Ids(3));
        EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_SUCCESS}), Statuses(3));
        Close();
    }
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_DYNAMIC)}) {
        SCOPED_TRACE(type);
        Reset();
        Open(type, SQL_CONCUR_LOCK, 3);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        Other("delete from " + t + " where id in (2, 3)");
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 3, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_DELETED}), Statuses(3));
        // Row 2 is as the application saw it: its values read, its row not refused as deleted.
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE)) << Diag();
        char name[16] = {};
        SQLLEN len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_CHAR, name, sizeof name, &len)) << Diag();
        EXPECT_STREQ("r2", name);
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_DELETED}), Statuses(3));
        Close();
    }
    // A static cursor's own update shows when its row is refreshed.
    Reset();
    Open(SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, 3);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    SetName(1, "s1");
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
    std::strcpy(names[1], "zz");
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << Diag();
    EXPECT_STREQ("s1", names[1]);
    EXPECT_EQ(SQL_ROW_SUCCESS, status[1]);
    EXPECT_EQ(Expected({{2, "2:s1:n2"}}), Contents());
    Close();
    // A rowset fetched without its data is read when it is refreshed with data.
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_STATIC), SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_DYNAMIC)}) {
        SCOPED_TRACE(type);
        Reset();
        Open(type, SQL_CONCUR_READ_ONLY, 3);
        SetAttr(SQL_ATTR_RETRIEVE_DATA, SQL_RD_OFF);
        for (auto& id : ids) id = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        EXPECT_EQ(0, ids[0]);
        SetAttr(SQL_ATTR_RETRIEVE_DATA, SQL_RD_ON);
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{4, 5, 6}), Ids(3));
        EXPECT_STREQ("r6", names[2]);
        Close();
    }
}

// Under values concurrency the cursor's own update by bookmark is no other user's change: a
// second update or delete of the row by bookmark goes ahead.
TEST_P(PositionedRules, OwnUpdateByBookmarkIsNoConflict) {
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_STATIC)}) {
        SCOPED_TRACE(type);
        Reset();
        Open(type, SQL_CONCUR_VALUES, 3, 0, true);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 1);
        bm[0] = bm[1];
        SetName(0, "u1");
        ASSERT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt, SQL_UPDATE_BY_BOOKMARK)) << Diag();
        EXPECT_EQ(Expected({{2, "2:u1:n2"}}), Contents());
        SetName(0, "u2");
        ASSERT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt, SQL_UPDATE_BY_BOOKMARK)) << Diag();
        EXPECT_EQ(SQL_ROW_UPDATED, status[0]);
        EXPECT_EQ(Expected({{2, "2:u2:n2"}}), Contents());
        // Another connection's change is still found.
        Other("update " + t + " set name = 'o' where id = 2");
        SetName(0, "u3");
        EXPECT_EQ(SQL_ERROR, SQLBulkOperations(stmt, SQL_UPDATE_BY_BOOKMARK));
        EXPECT_EQ("01001", State());
        EXPECT_EQ(Expected({{2, "2:o:n2"}}), Contents());
        Other("update " + t + " set name = 'u2' where id = 2");
        ASSERT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt, SQL_DELETE_BY_BOOKMARK)) << Diag();
        EXPECT_EQ(SQL_ROW_DELETED, status[0]);
        EXPECT_EQ(Expected({{2, ""}}), Contents());
        Close();
    }
}

// From before the start a RELATIVE move of 0 stays there (SQL_NO_DATA); ABSOLUTE 0 without an
// open cursor is a cursor-state error, not the end of a result.
TEST_P(PositionedRules, FetchOrientationsFromBeforeTheStart) {
    const Kind kinds[] = {
        {SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, "static"},
        {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, "keyset-driven"},
        {SQL_CURSOR_DYNAMIC, SQL_CONCUR_READ_ONLY, "dynamic"},
    };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.what);
        Open(k.type, k.concurrency, 3);
        EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{1, 2, 3}), Ids(3));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{1, 2, 3}), Ids(3));
        // Before the start again: RELATIVE 0 stays there, and NEXT gives the first rowset.
        if (k.type != SQL_CURSOR_DYNAMIC) {
            EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 0));
        } else {
            EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0));
        }
        EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{1, 2, 3}), Ids(3));
        Close();
    }
    // A statement executed without a result has no cursor to place.
    SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC);
    SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 3);
    for (const std::string& sql : {"update " + t + " set name = name where id = 1",
                                   "insert into " + t + " select id + 100, name, note from " + t + " where id = 1"}) {
        SCOPED_TRACE(sql);
        ASSERT_TRUE(SQL_SUCCEEDED(Exec(sql))) << Diag();
        SQLULEN rows = 7;
        EXPECT_EQ(SQL_ERROR, SQLExtendedFetch(stmt, SQL_FETCH_ABSOLUTE, 0, &rows, status));
        EXPECT_EQ("24000", State());
        EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 0));
        EXPECT_EQ("24000", State());
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    Close();
}

// A forward-only cursor changes no row (SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2 says read-only): lock
// or values concurrency asked for it is granted as read-only, with 01S02, and reads back so; the
// next statement on a scrollable cursor gets what was asked for again.
TEST_P(PositionedRules, ForwardOnlyCursorsAreGrantedReadOnly) {
    SQLUINTEGER attrs = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, &attrs, sizeof attrs, nullptr));
    ASSERT_EQ(0u, attrs & (SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY));
    for (SQLULEN concurrency : {SQLULEN(SQL_CONCUR_LOCK), SQLULEN(SQL_CONCUR_VALUES)}) {
        SCOPED_TRACE(concurrency);
        SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY);
        SetAttr(SQL_ATTR_CONCURRENCY, concurrency);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 3);
        ASSERT_EQ(SQL_SUCCESS_WITH_INFO, Exec("select id, name from " + t + " order by id")) << Diag();
        EXPECT_EQ("01S02", State());
        SQLULEN granted = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &granted, 0, nullptr));
        EXPECT_EQ(SQLULEN(SQL_CONCUR_READ_ONLY), granted);
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, names, sizeof names[0], nameLen));
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
        SetName(0, "f0");
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
        EXPECT_EQ("HY109", State());
        SQLFreeStmt(stmt, SQL_CLOSE);
        // What the application asked for stands for a cursor that offers it.
        SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN);
        ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id")) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &granted, 0, nullptr));
        EXPECT_EQ(concurrency, granted);
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, names, sizeof names[0], nameLen));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        SetName(0, "k0");
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        Release();
        EXPECT_EQ(Expected({{1, "1:k0:-"}}), Contents());
        Reset();
    }
}

// Rows no key names (a view's, or those of a SELECT the cursor layer cannot read) cannot be locked
// or checked: lock or values concurrency asked for them is granted as read-only on every
// scrollable cursor, with 01S02 from the prepare or the execute, and reads back so; a row change
// is then refused as on any read-only cursor (HY009) and changes nothing.
TEST_P(PositionedRules, RowsWithoutKeysAreGrantedReadOnly) {
    const std::string v = Table("posrulesv");
    Exec("drop view " + v);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Plain("create view " + v + " as select id, name from " + t);
    const std::string statements[] = {
        "select id, name from " + v + " order by id",
        "select id, name from " + t + " order by id limit 100",
    };
    for (const Kind& k : kChangeable) {
        for (const std::string& sql : statements) {
            for (bool prepared : {false, true}) {
                SCOPED_TRACE(std::string(k.what) + (prepared ? ", prepared: " : ": ") + sql);
                SetAttr(SQL_ATTR_CURSOR_TYPE, k.type);
                SetAttr(SQL_ATTR_CONCURRENCY, k.concurrency);
                SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 3);
                SQLRETURN rc = prepared ? SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS) : Exec(sql);
                ASSERT_EQ(SQL_SUCCESS_WITH_INFO, rc) << Diag();
                EXPECT_EQ("01S02", State());
                if (prepared) {
                    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
                }
                SQLULEN granted = 0;
                ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &granted, 0, nullptr));
                EXPECT_EQ(SQLULEN(SQL_CONCUR_READ_ONLY), granted);
                ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &granted, 0, nullptr));
                EXPECT_EQ(SQLULEN(SQL_CURSOR_STATIC), granted);
                ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
                ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, names, sizeof names[0], nameLen));
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
                EXPECT_EQ((std::vector<SQLINTEGER>{1, 2, 3}), Ids(3));
                EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
                EXPECT_EQ("HY009", State());
                SetName(1, "x");
                EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
                EXPECT_EQ("HY009", State());
                Release();
                // A prepared statement keeps its cursor: the next case asks for its own on a new one.
                ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt));
                stmt = SQL_NULL_HSTMT;
                ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
            }
        }
    }
    EXPECT_EQ(Expected({}), Contents());
    Plain("drop view " + v);
}

// WHERE CURRENT OF names no row of a scrollable cursor (its rows are changed through SQLSetPos):
// the refusal says so instead of calling the open cursor not open, and changes nothing.
TEST_P(PositionedRules, WhereCurrentOfOnAScrollableCursorSaysWhy) {
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_STATIC), SQLULEN(SQL_CURSOR_DYNAMIC)}) {
        SCOPED_TRACE(type);
        ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt, (SQLCHAR*)"Sc1", SQL_NTS));
        SetAttr(SQL_ATTR_CURSOR_TYPE, type);
        SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_LOCK);
        ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id")) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        for (const char* sql :
             {"update %s set name = 'no' where current of sc1", "delete from %s where current of Sc1"}) {
            char text[128];
            std::snprintf(text, sizeof text, sql, t.c_str());
            EXPECT_EQ(SQL_ERROR, OnSecond(text));
            const ::Diag d = FirstDiag(SQL_HANDLE_STMT, second);
            EXPECT_EQ("42000", d.state) << d.message;
            EXPECT_NE(std::string::npos, d.message.find("c1' is a scrollable cursor")) << d.message;
        }
        Release();
        // A name no cursor has is still one of no open cursor.
        EXPECT_EQ(SQL_ERROR, OnSecond("delete from " + t + " where current of sc2"));
        EXPECT_EQ("34000", SecondState());
    }
    EXPECT_EQ(Expected({}), Contents());
}

// The cache files a static cursor's snapshot spills to, open in this process now.
int SpillFiles() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(d)) {
            char path[300], target[512];
            std::snprintf(path, sizeof path, "/proc/self/fd/%s", e->d_name);
            const ssize_t len = readlink(path, target, sizeof target - 1);
            if (len > 0) {
                target[len] = '\0';
                n += std::strstr(target, "kivtmp") != nullptr;
            }
        }
        closedir(d);
    }
    return n;
}

// An updatable static cursor larger than the rows kept in memory spills its snapshot, its keys
// and the values it compares as a read-only one spills its rows, and reads them back right:
// every orientation, the cursor's own updates after the windows moved, another connection's
// change found as a conflict, a deletion shown at the next fetch.
TEST_P(PositionedRules, LargeUpdatableStaticCursorsSpill) {
    constexpr int kRows = 6000;  // past the 5000 rows a cache keeps in memory
    const std::string big = Make("posbig", "id integer not null, name varchar(12), note varchar(12)");
    {
        std::vector<SQLINTEGER> id(kRows);
        std::vector<SQLCHAR> name(size_t(kRows) * 13);
        std::vector<SQLLEN> len(kRows, SQL_NTS);
        for (int i = 0; i < kRows; ++i) {
            id[size_t(i)] = i + 1;
            std::snprintf(reinterpret_cast<char*>(&name[size_t(i) * 13]), 13, "b%d", i + 1);
        }
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)(SQLULEN)kRows, 0));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, id.data(), 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 12, 0, name.data(),
                                                13, len.data()));
        ASSERT_EQ(SQL_SUCCESS, Exec("insert into " + big + " values (?, ?, 'n')")) << Diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0));
    }
    auto contents = [&](int id) {
        Connect2();
        SQLHSTMT h = SQL_NULL_HSTMT;
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, other, &h));
        const std::string q = "select name from " + big + " where id = " + std::to_string(id);
        EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(h, (SQLCHAR*)q.c_str(), SQL_NTS));
        char name[16] = {};
        SQLLEN n = 0;
        std::string out =
            SQLFetch(h) == SQL_SUCCESS && SQLGetData(h, 1, SQL_C_CHAR, name, sizeof name, &n) == SQL_SUCCESS
                ? std::string(name)
                : std::string("(none)");
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        return out;
    };
    for (SQLULEN concurrency : {SQLULEN(SQL_CONCUR_VALUES), SQLULEN(SQL_CONCUR_LOCK)}) {
        SCOPED_TRACE(concurrency);
        const int before = SpillFiles();
        SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC);
        SetAttr(SQL_ATTR_CONCURRENCY, concurrency);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 3);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
        // The select list leaves a column out, which values concurrency then reads beside it.
        ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + big + " order by id")) << Diag();
        SQLULEN granted = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &granted, 0, nullptr));
        ASSERT_EQ(concurrency, granted);
        // Snapshot and keys, and under values concurrency the values: two files each.
        EXPECT_EQ(before + (concurrency == SQL_CONCUR_VALUES ? 6 : 4), SpillFiles());
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, names, sizeof names[0], nameLen));
        SQLLEN count = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
        EXPECT_EQ(kRows, count);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{kRows - 2, kRows - 1, kRows}), Ids(3));
        EXPECT_STREQ("b6000", names[2]);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 5500)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{5500, 5501, 5502}), Ids(3));
        SetName(1, "own1");
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ("own1", contents(5501));
        // The windows move away and back: the own update shows, and is no conflict.
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        EXPECT_EQ((std::vector<SQLINTEGER>{1, 2, 3}), Ids(3));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 5500)) << Diag();
        EXPECT_STREQ("own1", names[1]);
        EXPECT_STREQ("b5502", names[2]);
        SetName(1, "own2");
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ("own2", contents(5501));
        // Another connection's change: values concurrency finds it, lock concurrency does not look.
        Other("update " + big + " set name = 'other' where id = 5502");
        SetName(2, "own3");
        if (concurrency == SQL_CONCUR_VALUES) {
            EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
            EXPECT_EQ("01001", State());
            EXPECT_EQ("other", contents(5502));
        } else {
            ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
            EXPECT_EQ("own3", contents(5502));
        }
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 2)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ("(none)", contents(2));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_SUCCESS}), Statuses(3));
        Release();
        EXPECT_EQ(before, SpillFiles());
        Exec("update " + big + " set name = 'b5501' where id = 5501");
        Exec("update " + big + " set name = 'b5502' where id = 5502");
        Exec("insert into " + big + " values (2, 'b2', 'n')");
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, PositionedRules, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
