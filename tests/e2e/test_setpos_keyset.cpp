// SQLSetPos and SQLBulkOperations on keyset-driven, mixed, updatable static and dynamic cursors
// (SQLSetPos only) through the Driver Manager, under lock and values concurrency: each change is read back on another
// connection, and a row another connection changed after the fetch is refused (01S03, or 01S04
// for a rowset of rows).
#include <string>
#include <vector>

#include "rowops_fixture.h"

namespace resultstest {
namespace {

constexpr int kRows = 4;

class KeysetRowOps : public TenRowTable {
protected:
    KeysetRowOps() : TenRowTable("ksops") {}
    SQLULEN fetched = 0;
    SQLUSMALLINT status[kRows] = {};
    SQLINTEGER ids[kRows] = {};
    SQLLEN idLen[kRows] = {};
    char names[kRows][13] = {};
    SQLLEN nameLen[kRows] = {};
    SQLULEN cursorType = SQL_CURSOR_KEYSET_DRIVEN;  // what Open asks for

    // Opens `select id, name` with the rowset bound column-wise and fetches the first rowset.
    void Open(SQLULEN concurrency, SQLULEN keysetSize = 0, const std::string& select = "id, name") {
        SetAttr(SQL_ATTR_CURSOR_TYPE, cursorType);
        SetAttr(SQL_ATTR_CONCURRENCY, concurrency);
        SetAttr(SQL_ATTR_KEYSET_SIZE, keysetSize);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, kRows);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
        SQLRETURN rc = Exec("select " + select + " from " + t + " order by id");
        ASSERT_EQ(SQL_SUCCESS, rc) << Diag();
        SQLULEN granted = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &granted, 0, nullptr));
        ASSERT_EQ(concurrency, granted);
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, names, sizeof names[0], nameLen));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    }
    // A value the buffer cannot hold whole would be written cut, and the test would check the wrong row.
    void SetName(int row, const std::string& v) {
        ASSERT_LT(v.size(), sizeof names[row]) << v;
        names[row][v.copy(names[row], sizeof names[row] - 1)] = '\0';
        nameLen[row] = SQL_NTS;
    }
    void LockedUntilCommit();
    void ByBookmark();
    // A cursor operation conflict (01001 to an ODBC 3 application): no row changed, or fewer
    // than the rowset's.
    void ExpectConflict(const char* odbc2State, const char* text) {
        const ::Diag d = FirstDiag(SQL_HANDLE_STMT, stmt);
        EXPECT_TRUE(d.state == "01001" || d.state == odbc2State) << d.state << " " << d.message;
        EXPECT_NE(std::string::npos, d.message.find(text)) << d.message;
    }
};

bool OneOf(const std::string& s, std::initializer_list<const char*> states) {
    for (const char* x : states)
        if (s == x) return true;
    return false;
}

struct Kind {
    SQLULEN concurrency;
    SQLULEN keysetSize;  // 0 keyset-driven, else mixed
    const char* what;
    SQLULEN cursorType = SQL_CURSOR_KEYSET_DRIVEN;
};
constexpr Kind kKinds[] = {
    {SQL_CONCUR_LOCK, 0, "keyset-driven, lock"},
    {SQL_CONCUR_VALUES, 0, "keyset-driven, values"},
    {SQL_CONCUR_LOCK, 8, "mixed, lock"},
    {SQL_CONCUR_VALUES, 8, "mixed, values"},
    {SQL_CONCUR_LOCK, 0, "static, lock", SQL_CURSOR_STATIC},
    {SQL_CONCUR_VALUES, 0, "static, values", SQL_CURSOR_STATIC},
    {SQL_CONCUR_LOCK, 0, "dynamic, lock", SQL_CURSOR_DYNAMIC},
    {SQL_CONCUR_VALUES, 0, "dynamic, values", SQL_CURSOR_DYNAMIC},
};

// UPDATE, DELETE and ADD of one row and of every row; the statuses say what happened, the next
// fetch shows it and another connection reads exactly the changes.
TEST_P(KeysetRowOps, UpdateDeleteAndAddOneRowAndAllRows) {
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.what);
        Reset();
        ASSERT_EQ(Expected({}), Contents());
        cursorType = k.cursorType;
        Open(k.concurrency, k.keysetSize);
        ASSERT_EQ(4u, fetched);
        // Row 1's note is NULL: under values concurrency it is compared with IS NULL.
        SetName(0, "one");
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ(SQL_ROW_UPDATED, status[0]);
        // The same row again: the cursor's own change is no conflict.
        SetName(0, "uno");
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ(SQL_ROW_DELETED, status[2]);
        SQLLEN count = -1;
        ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
        EXPECT_EQ(1, count);
        // A deleted row can be neither changed nor deleted again.
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
        EXPECT_TRUE(OneOf(State(), {"HY109", "S1109"})) << State();
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE));
        // One row added from the buffers of row 2.
        ids[1] = 20;
        idLen[1] = 0;
        SetName(1, "twenty");
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_ADD, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ(Expected({{1, "1:uno:-"}, {3, ""}}) + "20:twenty:- ", Contents());

        // Every row of the next rowset.
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        ASSERT_EQ(5, ids[0]);
        for (int i = 0; i < kRows; ++i) SetName(i, ("all" + std::to_string(ids[i])).c_str());
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        for (int i = 0; i < kRows; ++i) EXPECT_EQ(SQL_ROW_UPDATED, status[i]) << i;
        ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
        EXPECT_EQ(4, count);
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 0, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << Diag();
        for (int i = 0; i < kRows; ++i) EXPECT_EQ(SQL_ROW_DELETED, status[i]) << i;
        // Four rows added from the four rows of buffers.
        for (int i = 0; i < kRows; ++i) {
            ids[i] = 30 + i;
            idLen[i] = 0;
            SetName(i, ("add" + std::to_string(i)).c_str());
        }
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 0, SQL_ADD, SQL_LOCK_NO_CHANGE)) << Diag();
        for (int i = 0; i < kRows; ++i) EXPECT_EQ(SQL_ROW_ADDED, status[i]) << i;
        EXPECT_EQ(Expected({{1, "1:uno:-"}, {3, ""}, {5, ""}, {6, ""}, {7, ""}, {8, ""}}) +
                      "20:twenty:- 30:add0:- 31:add1:- 32:add2:- 33:add3:- ",
                  Contents());

        // Fetched again, the first rowset shows the update and the deletion.
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        EXPECT_STREQ("uno", names[0]);
        if (k.keysetSize == 0 && k.cursorType != SQL_CURSOR_DYNAMIC) {
            EXPECT_EQ(SQL_ROW_DELETED, status[2]);
        } else if (k.cursorType == SQL_CURSOR_DYNAMIC) {
            // A dynamic cursor's rowset is read afresh: the deleted row is simply not there.
            EXPECT_EQ((std::vector<SQLINTEGER>{1, 2, 4, 9}), std::vector<SQLINTEGER>(ids, ids + kRows));
            EXPECT_EQ(SQL_ROW_SUCCESS, status[2]);
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
}

// Values concurrency: a row another connection changed since the fetch is not overwritten.
TEST_P(KeysetRowOps, ValuesConcurrencyRefusesRowsChangedByAnotherConnection) {
    for (const Kind& k : kKinds) {
        if (k.concurrency != SQL_CONCUR_VALUES) continue;
        SCOPED_TRACE(k.what);
        Reset();
        ASSERT_EQ(Expected({}), Contents());
        cursorType = k.cursorType;
        const SQLULEN keyset = k.keysetSize;
        Open(SQL_CONCUR_VALUES, keyset);
        // A column the cursor does not select changes too: the row is not as it was fetched.
        Other("update " + t + " set note = 'other' where id = 2");
        SetName(1, "mine");
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
        ExpectConflict("01S03", "No rows updated or deleted");
        EXPECT_EQ(SQL_ROW_ERROR, status[1]);
        // The row in error stays so until fetched again.
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE));
        EXPECT_TRUE(OneOf(State(), {"HY109", "S1109"})) << State();
        EXPECT_EQ(Expected({{2, "2:r2:other"}}), Contents());
        // Every row of a rowset in which one was changed: the others are, and 01S04 says not all.
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        ASSERT_EQ(5, ids[0]);
        Other("update " + t + " set name = 'theirs' where id = 6");
        for (int i = 0; i < kRows; ++i) SetName(i, ("m" + std::to_string(ids[i])).c_str());
        EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetPos(stmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        ExpectConflict("01S04", "More than one row updated or deleted");
        EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_UPDATED, SQL_ROW_ERROR, SQL_ROW_UPDATED, SQL_ROW_UPDATED}),
                  std::vector<SQLUSMALLINT>(status, status + kRows));
        // Row 7's note is NULL and compares as such.
        EXPECT_EQ(Expected({{2, "2:r2:other"}, {5, "5:m5:n5"}, {6, "6:theirs:n6"}, {7, "7:m7:-"}, {8, "8:m8:n8"}}),
                  Contents());
        // Fetched again (a static cursor's snapshot taken again), the row is current and may be
        // changed.
        if (cursorType == SQL_CURSOR_STATIC) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            Open(SQL_CONCUR_VALUES, keyset);
        } else {
            ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        }
        EXPECT_EQ(SQL_ROW_SUCCESS, status[1]);
        SetName(1, "mine");
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ(Expected({{2, "2:mine:other"}, {5, "5:m5:n5"}, {6, "6:theirs:n6"}, {7, "7:m7:-"}, {8, "8:m8:n8"}}),
                  Contents());
        // A row another connection deleted is not there to change.
        Other("delete from " + t + " where id = 3");
        SetName(2, "gone");
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 3, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
        ExpectConflict("01S03", "No rows updated or deleted");
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
}

// Lock concurrency: the rowset's rows are locked at the fetch, so another connection cannot
// change them before the cursor's transaction ends.
TEST_P(KeysetRowOps, LockConcurrencyHoldsTheRowsetUntilTheTransactionEnds) {
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_STATIC), SQLULEN(SQL_CURSOR_DYNAMIC)}) {
        SCOPED_TRACE(type);
        Reset();
        cursorType = type;
        LockedUntilCommit();
    }
}

void KeysetRowOps::LockedUntilCommit() {
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0));
    Open(SQL_CONCUR_LOCK);
    Connect2(true);
    SQLHSTMT s = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, other, &s));
    SQLSetStmtAttr(s, SQL_ATTR_QUERY_TIMEOUT, (SQLPOINTER)1, 0);
    const std::string upd = "update " + t + " set name = 'blocked' where id = 2";
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(s, (SQLCHAR*)upd.c_str(), SQL_NTS));
    SetName(1, "locked");
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)upd.c_str(), SQL_NTS))) << Diag(SQL_HANDLE_STMT, s);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0));
    EXPECT_EQ(Expected({{2, "2:blocked:n2"}}), Contents());
}

// Column values given at execution, for one row and for every row added.
TEST_P(KeysetRowOps, DataAtExecution) {
    // The dialogue counts its own rows: the application's parameter-set size stays as set.
    SetAttr(SQL_ATTR_PARAMSET_SIZE, 3);
    Open(SQL_CONCUR_VALUES);
    nameLen[0] = SQL_LEN_DATA_AT_EXEC(0);
    names[0][0] = 0;
    ASSERT_EQ(SQL_NEED_DATA, SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "pie", 3)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "ces", 3)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token)) << Diag();
    for (int i = 0; i < kRows; ++i) {
        ids[i] = 40 + i;
        idLen[i] = 0;
        nameLen[i] = SQL_LEN_DATA_AT_EXEC(0);
    }
    ASSERT_EQ(SQL_NEED_DATA, SQLSetPos(stmt, 0, SQL_ADD, SQL_LOCK_NO_CHANGE)) << Diag();
    int pieces = 0;
    for (;;) {
        SQLRETURN rc = SQLParamData(stmt, &token);
        if (rc != SQL_NEED_DATA) {
            ASSERT_EQ(SQL_SUCCESS, rc) << Diag();
            break;
        }
        const std::string v = "dae" + std::to_string(pieces++);
        ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER)v.c_str(), SQLLEN(v.size()))) << Diag();
    }
    EXPECT_EQ(kRows, pieces);
    SQLULEN paramset = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, &paramset, 0, nullptr));
    EXPECT_EQ(3u, paramset);
    SetAttr(SQL_ATTR_PARAMSET_SIZE, 1);
    EXPECT_EQ(Expected({{1, "1:pieces:-"}}) + "40:dae0:- 41:dae1:- 42:dae2:- 43:dae3:- ", Contents());
}

// The bulk operations by bookmark, with bookmarks not in ascending order, bound column-wise and
// row-wise; a row another connection deleted is reported deleted.
TEST_P(KeysetRowOps, BulkOperationsByBookmark) {
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_STATIC)}) {
        SCOPED_TRACE(type);
        Reset();
        cursorType = type;
        ByBookmark();
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        SetAttr(SQL_ATTR_ROW_BIND_TYPE, SQL_BIND_BY_COLUMN);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, kRows);
    }
}

void KeysetRowOps::ByBookmark() {
    SetAttr(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE);
    SQLLEN bm[kRows] = {};
    SQLLEN bmLen[kRows] = {};
    Open(SQL_CONCUR_LOCK);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 0, SQL_C_VARBOOKMARK, bm, sizeof(SQLLEN), bmLen));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    const std::vector<SQLLEN> first(bm, bm + kRows);
    // Update rows 3, 1, 4 and 2 in that order, each with its own values.
    const int order[kRows] = {2, 0, 3, 1};
    for (int i = 0; i < kRows; ++i) {
        bm[i] = first[order[i]];
        ids[i] = order[i] + 1;
        idLen[i] = 0;
        SetName(i, ("b" + std::to_string(order[i] + 1)).c_str());
    }
    ASSERT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt, SQL_UPDATE_BY_BOOKMARK)) << Diag();
    for (int i = 0; i < kRows; ++i) EXPECT_EQ(SQL_ROW_UPDATED, status[i]) << i;
    EXPECT_EQ(Expected({{1, "1:b1:-"}, {2, "2:b2:n2"}, {3, "3:b3:n3"}, {4, "4:b4:-"}}), Contents());
    // Fetch rows 4, 2, 1 and 3 by bookmark; row 2 went meanwhile.
    Other("delete from " + t + " where id = 2");
    const int fetchOrder[kRows] = {3, 1, 0, 2};
    for (int i = 0; i < kRows; ++i) bm[i] = first[fetchOrder[i]];
    for (auto& i : ids) i = -1;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLBulkOperations(stmt, SQL_FETCH_BY_BOOKMARK))) << Diag();
    EXPECT_EQ(4, ids[0]);
    EXPECT_EQ(1, ids[2]);
    EXPECT_EQ(3, ids[3]);
    EXPECT_STREQ("b1", names[2]);
    EXPECT_STREQ("b3", names[3]);
    EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_SUCCESS, SQL_ROW_SUCCESS}),
              std::vector<SQLUSMALLINT>(status, status + kRows));
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);

    // Row-wise: bookmark, id and name in one record per row.
    struct Rec {
        SQLLEN bm;
        SQLLEN bmLen;
        SQLINTEGER id;
        SQLLEN idLen;
        char name[13];
        SQLLEN nameLen;
    } recs[kRows] = {};
    SetAttr(SQL_ATTR_ROW_BIND_TYPE, sizeof(Rec));
    SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, kRows);
    ASSERT_EQ(SQL_SUCCESS,
              SQLExecDirect(stmt, (SQLCHAR*)("select id, name from " + t + " order by id").c_str(), SQL_NTS))
        << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 0, SQL_C_VARBOOKMARK, &recs[0].bm, sizeof(SQLLEN), &recs[0].bmLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, &recs[0].id, 0, &recs[0].idLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, recs[0].name, sizeof recs[0].name, &recs[0].nameLen));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 3)) << Diag();
    ASSERT_EQ(5, recs[1].id);
    // Rows 7, 5, 6 and 4, in that order.
    const SQLLEN b4 = recs[0].bm, b5 = recs[1].bm, b6 = recs[2].bm, b7 = recs[3].bm;
    recs[0].bm = b7;
    recs[1].bm = b5;
    recs[2].bm = b6;
    recs[3].bm = b4;
    EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt, SQL_DELETE_BY_BOOKMARK)) << Diag();
    for (int i = 0; i < kRows; ++i) EXPECT_EQ(SQL_ROW_DELETED, status[i]) << i;
    // And one row added through the first record.
    SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 1);
    recs[0].id = 50;
    recs[0].idLen = 0;
    std::snprintf(recs[0].name, sizeof recs[0].name, "bulk");
    recs[0].nameLen = SQL_NTS;
    EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt, SQL_ADD)) << Diag();
    EXPECT_EQ(Expected({{1, "1:b1:-"}, {2, ""}, {3, "3:b3:n3"}, {4, ""}, {5, ""}, {6, ""}, {7, ""}}) + "50:bulk:- ",
              Contents());
}

// A read-modify-write as an application does it: every row read, changed in the buffers and
// written back rowset by rowset, both concurrencies; the table then holds every change.
TEST_P(KeysetRowOps, ReadModifyWriteEveryRow) {
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.what);
        Reset();
        cursorType = k.cursorType;
        Open(k.concurrency, k.keysetSize);
        int rowsets = 0;
        for (SQLRETURN rc = SQL_SUCCESS; rc == SQL_SUCCESS; rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) {
            ++rowsets;
            for (SQLULEN i = 0; i < fetched; ++i) {
                ASSERT_EQ(SQL_ROW_SUCCESS, status[i]);
                idLen[i] = SQL_COLUMN_IGNORE;
                SetName(int(i), (std::string(names[i]) + "+" + std::to_string(ids[i] * 2)).c_str());
            }
            // A short last rowset changes its own rows only, and says it changed fewer than a rowset.
            const SQLRETURN w = SQLSetPos(stmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
            ASSERT_EQ(fetched == kRows ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO, w) << Diag();
            for (SQLULEN i = 0; i < fetched; ++i) EXPECT_EQ(SQL_ROW_UPDATED, status[i]) << i;
            SQLLEN count = 0;
            ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
            EXPECT_EQ(SQLLEN(fetched), count);
            // The length slots still hold SQL_COLUMN_IGNORE: the next fetch fills them all the same.
        }
        EXPECT_EQ(3, rowsets);
        std::string want;
        for (int i = 1; i <= 10; ++i)
            want += std::to_string(i) + ":r" + std::to_string(i) + "+" + std::to_string(i * 2) + ":" +
                    (i % 3 == 1 ? std::string("-") : "n" + std::to_string(i)) + " ";
        EXPECT_EQ(want, Contents());
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
}

// A statement with parameters: the keys, the snapshot and the concurrency values are read with
// the statement's own values.
TEST_P(KeysetRowOps, StatementsWithParameters) {
    for (const Kind& k : kKinds) {
        SCOPED_TRACE(k.what);
        Reset();
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        cursorType = k.cursorType;
        SetAttr(SQL_ATTR_CURSOR_TYPE, cursorType);
        SetAttr(SQL_ATTR_CONCURRENCY, k.concurrency);
        SetAttr(SQL_ATTR_KEYSET_SIZE, k.keysetSize);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, kRows);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
        SQLINTEGER low = 4;
        SQLLEN lowLen = 0;
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &low, 0, &lowLen));
        ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " where id > ? order by id")) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, ids, sizeof(SQLINTEGER), idLen));
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, names, sizeof names[0], nameLen));
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        ASSERT_EQ(5, ids[0]);
        idLen[1] = SQL_COLUMN_IGNORE;
        SetName(1, "param");
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        idLen[1] = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 4, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << Diag();
        EXPECT_EQ(Expected({{6, "6:param:n6"}, {8, ""}}), Contents());
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    }
}

// SQL_REFRESH reads a keyset-driven cursor's rows again: another connection's change shows, and
// values concurrency then compares with what was read.
TEST_P(KeysetRowOps, RefreshReadsTheRowsAgain) {
    Open(SQL_CONCUR_VALUES);
    Other("update " + t + " set name = 'fresh' where id = 2");
    Other("delete from " + t + " where id = 4");
    SetName(1, "stale");
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << Diag();
    EXPECT_STREQ("fresh", names[1]);
    EXPECT_STREQ("r1", names[0]);
    EXPECT_EQ(SQL_ROW_SUCCESS, status[1]);
    idLen[1] = SQL_COLUMN_IGNORE;
    SetName(1, "after");
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
    idLen[1] = 0;
    // Every row, in the next rowset: another connection's change to its last row shows.
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    Other("update " + t + " set name = 'later' where id = 8");
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 0, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << Diag();
    EXPECT_STREQ("later", names[3]);
    // The row deleted before shows so when its rowset is fetched again.
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    EXPECT_STREQ("after", names[1]);
    EXPECT_EQ(SQL_ROW_DELETED, status[3]);
    // The cursor still scrolls on from where it was.
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    EXPECT_EQ(5, ids[0]);
    EXPECT_EQ(Expected({{2, "2:after:n2"}, {4, ""}, {8, "8:later:n8"}}), Contents());
}

// SQL_REFRESH reads a dynamic cursor's rowset again: another connection's change shows, and
// values concurrency then compares with what was read.
TEST_P(KeysetRowOps, DynamicRefreshReadsTheRowsetAgain) {
    cursorType = SQL_CURSOR_DYNAMIC;
    Open(SQL_CONCUR_VALUES);
    Other("update " + t + " set name = 'fresh' where id = 2");
    SetName(1, "stale");
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << Diag();
    EXPECT_STREQ("fresh", names[1]);
    EXPECT_STREQ("r1", names[0]);
    EXPECT_EQ(SQL_ROW_SUCCESS, status[1]);
    idLen[1] = SQL_COLUMN_IGNORE;
    SetName(1, "after");
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
    idLen[1] = 0;
    // The cursor still scrolls on from where it was.
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    EXPECT_EQ(5, ids[0]);
    EXPECT_EQ(Expected({{2, "2:after:n2"}}), Contents());
}

// The SET list names each select-list item's own column, never its label.
TEST_P(KeysetRowOps, LabelsAreNotColumnNames) {
    Open(SQL_CONCUR_VALUES, 0, "id, note as name, name as note");
    char other[kRows][13] = {};
    SQLLEN otherLen[kRows] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 3, SQL_C_CHAR, other, sizeof other[0], otherLen));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    EXPECT_STREQ("n2", names[1]);
    EXPECT_STREQ("r2", other[1]);
    idLen[1] = SQL_COLUMN_IGNORE;
    SetName(1, "newnote");
    std::snprintf(other[1], sizeof other[1], "newname");
    otherLen[1] = SQL_NTS;
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
    EXPECT_EQ(Expected({{2, "2:newname:newnote"}}), Contents());
    // And an added row puts each value where it belongs.
    ids[0] = 70;
    idLen[0] = 0;
    SetName(0, "addnote");
    std::snprintf(other[0], sizeof other[0], "addname");
    otherLen[0] = SQL_NTS;
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 1, SQL_ADD, SQL_LOCK_NO_CHANGE)) << Diag();
    EXPECT_EQ(Expected({{2, "2:newname:newnote"}}) + "70:addname:addnote ", Contents());
}

// What SQLGetInfo advertises for keyset-driven, static and dynamic cursors, each tried.
TEST_P(KeysetRowOps, EveryAdvertisedOperationWorks) {
    SQLUINTEGER pos = 0, scco = 0, locks = 0, sens = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_POS_OPERATIONS, &pos, sizeof pos, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_SCROLL_CONCURRENCY, &scco, sizeof scco, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_LOCK_TYPES, &locks, sizeof locks, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_STATIC_SENSITIVITY, &sens, sizeof sens, nullptr));
    EXPECT_NE(0u, pos & SQL_POS_UPDATE);
    EXPECT_EQ(SQLUINTEGER(SQL_LCK_NO_CHANGE), locks);
    SQLUSMALLINT setpos = SQL_FALSE, bulk = SQL_FALSE;
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_SQLSETPOS, &setpos));
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_SQLBULKOPERATIONS, &bulk));
    EXPECT_EQ(SQL_TRUE, setpos);
    EXPECT_EQ(SQL_TRUE, bulk);
    const struct {
        SQLULEN type;
        SQLUSMALLINT info1, info2;
    } kinds[] = {{SQL_CURSOR_KEYSET_DRIVEN, SQL_KEYSET_CURSOR_ATTRIBUTES1, SQL_KEYSET_CURSOR_ATTRIBUTES2},
                 {SQL_CURSOR_STATIC, SQL_STATIC_CURSOR_ATTRIBUTES1, SQL_STATIC_CURSOR_ATTRIBUTES2},
                 {SQL_CURSOR_DYNAMIC, SQL_DYNAMIC_CURSOR_ATTRIBUTES1, SQL_DYNAMIC_CURSOR_ATTRIBUTES2}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.type);
        Reset();
        cursorType = kind.type;
        const bool dynamic = kind.type == SQL_CURSOR_DYNAMIC;
        SQLUINTEGER attrs1 = 0, attrs2 = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, kind.info1, &attrs1, sizeof attrs1, nullptr));
        ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, kind.info2, &attrs2, sizeof attrs2, nullptr));
        int next = 60;
        std::string added;
        int tried = 0;
        for (SQLULEN conc : {SQL_CONCUR_LOCK, SQL_CONCUR_VALUES}) {
            const SQLUINTEGER bit = conc == SQL_CONCUR_LOCK ? SQL_CA2_LOCK_CONCURRENCY : SQL_CA2_OPT_VALUES_CONCURRENCY;
            const SQLUINTEGER scbit = conc == SQL_CONCUR_LOCK ? SQL_SCCO_LOCK : SQL_SCCO_OPT_VALUES;
            if (!(attrs2 & bit) || !(scco & scbit)) continue;
            SCOPED_TRACE(conc);
            ++tried;
            SQLFreeStmt(stmt, SQL_CLOSE);
            Open(conc);
            struct Op {
                SQLUINTEGER posBit, caBit;
                SQLUSMALLINT op;
            } ops[] = {
                {SQL_POS_POSITION, SQL_CA1_POS_POSITION, SQL_POSITION},
                {SQL_POS_REFRESH, SQL_CA1_POS_REFRESH, SQL_REFRESH},
                {SQL_POS_UPDATE, SQL_CA1_POS_UPDATE, SQL_UPDATE},
                {SQL_POS_ADD, 0, SQL_ADD},
                {SQL_POS_DELETE, SQL_CA1_POS_DELETE, SQL_DELETE},
            };
            for (const Op& o : ops) {
                if (!(pos & o.posBit) || (o.caBit && !(attrs1 & o.caBit))) continue;
                SCOPED_TRACE(o.op);
                // An added row takes a new key; an updated one keeps its own.
                ids[0] = next;
                idLen[0] = o.op == SQL_ADD ? 0 : SQL_COLUMN_IGNORE;
                SetName(0, "adv");
                EXPECT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 1, o.op, SQL_LOCK_NO_CHANGE)) << Diag();
                if (o.op == SQL_ADD) added += std::to_string(next++) + ":adv:- ";
            }
            if (attrs1 & SQL_CA1_BULK_ADD) {
                ids[0] = next;
                idLen[0] = 0;
                SetName(0, "bulk");
                SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 1);
                EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt, SQL_ADD)) << Diag();
                SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, kRows);
                added += std::to_string(next++) + ":bulk:- ";
            }
            if (sens & SQL_SS_UPDATES) {
                SetName(1, "seen");
                idLen[1] = SQL_COLUMN_IGNORE;
                EXPECT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
                idLen[1] = 0;
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
                // A dynamic cursor's rowset is read afresh: the row deleted above is not in it.
                EXPECT_STREQ("seen", names[dynamic ? 0 : 1]);
            }
            if ((sens & SQL_SS_DELETIONS) && !dynamic) {
                EXPECT_EQ(SQL_ROW_DELETED, status[0]);
            }
        }
        EXPECT_EQ(2, tried);
        // SQL_GD_BLOCK: SQLGetData reads the row SQLSetPos positioned in a rowset.
        SQLUINTEGER gd = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &gd, sizeof gd, nullptr));
        if (gd & SQL_GD_BLOCK) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            Open(SQL_CONCUR_VALUES);
            // An unbound column (SQL_GD_BOUND is not claimed).
            ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, nullptr, 0, nullptr));
            ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 4, SQL_POSITION, SQL_LOCK_NO_CHANGE)) << Diag();
            char name[16] = {};
            SQLLEN len = 0;
            ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_CHAR, name, sizeof name, &len)) << Diag();
            EXPECT_STREQ(names[3], name);
        }
        // Rows 1 and 2 went (one per concurrency), row 3 shows the update, the added rows are there.
        EXPECT_EQ(Expected({{1, ""}, {2, ""}, {3, "3:seen:n3"}}) + added, Contents());
        // The bulk operations by bookmark are tried in BulkOperationsByBookmark; a dynamic cursor's
        // rows have no bookmarks.
        EXPECT_EQ(!dynamic, (attrs1 & SQL_CA1_BULK_UPDATE_BY_BOOKMARK) != 0);
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
}

// Bad requests: the right SQLSTATE, and the table as it was.
TEST_P(KeysetRowOps, BadRequestsChangeNothing) {
    const std::string before = Contents();
    Open(SQL_CONCUR_LOCK);
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 5, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
    EXPECT_TRUE(OneOf(State(), {"HY107", "S1107"})) << State();
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, (SQLSETPOSIROW(1) << 32) + 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_TRUE(OneOf(State(), {"HY107", "S1107"})) << State();
    // A rowset that ends early: the rows past it are no rows to change.
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 9))) << Diag();
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(SQL_ROW_NOROW, status[2]);
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY109", State());
    // A select-list item that is an expression has no column to write.
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    Open(SQL_CONCUR_LOCK, 0, "id, name || 'x'");
    SetName(0, "expr");
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY000", State());
    EXPECT_EQ(
        "HY000 [Corvanta][ODBC][Driver]result column 2 (col2) is an expression, not a column of the table: a row "
        "change cannot write it",
        Diag());
    // Bulk operations without a bookmark column.
    SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, kRows);
    EXPECT_EQ(SQL_ERROR, SQLBulkOperations(stmt, SQL_DELETE_BY_BOOKMARK));
    EXPECT_TRUE(OneOf(State(), {"HY092", "S1092"})) << State();
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    // Read-only and forward-only cursors.
    Open(SQL_CONCUR_READ_ONLY);
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY009", State());
    SetName(0, "ro");
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY009", State());
    SQLFreeStmt(stmt, SQL_CLOSE);
    SetAttr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(stmt)));
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY109", State());
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ(before, Contents());
}

// Bad requests on a dynamic cursor: the right SQLSTATE, and the table as it was.
TEST_P(KeysetRowOps, DynamicBadRequestsChangeNothing) {
    const std::string before = Contents();
    cursorType = SQL_CURSOR_DYNAMIC;
    for (SQLULEN conc : {SQLULEN(SQL_CONCUR_LOCK), SQLULEN(SQL_CONCUR_VALUES)}) {
        SCOPED_TRACE(conc);
        Open(conc);
        SetName(0, "bad");
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 5, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
        EXPECT_TRUE(OneOf(State(), {"HY107", "S1107"})) << State();
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, (SQLSETPOSIROW(1) << 32) + 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
        EXPECT_TRUE(OneOf(State(), {"HY107", "S1107"})) << State();
        // Rows have no bookmarks here: no bulk operation, adding rows included.
        EXPECT_EQ(SQL_ERROR, SQLBulkOperations(stmt, SQL_ADD));
        EXPECT_EQ("IM924", State());
        // The last rowset ends early: the rows past it are no rows to change.
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0))) << Diag();
        ASSERT_EQ(2u, fetched);
        EXPECT_EQ(SQL_ROW_NOROW, status[2]);
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE));
        EXPECT_EQ("HY109", State());
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 4, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
        EXPECT_EQ("HY109", State());
        // Past the end nothing is positioned on.
        EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0));
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
        EXPECT_TRUE(OneOf(State(), {"24000", "07005", "HY109"})) << State();
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    Open(SQL_CONCUR_READ_ONLY);
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY009", State());
    SetName(0, "ro");
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY009", State());
    ids[0] = 50;
    idLen[0] = 0;
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_ADD, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ("HY009", State());
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ(before, Contents());
}

// A static cursor is a snapshot: another connection's change does not show in it, its own do.
// Row versions are not kept for these cursors: values concurrency stands in, with 01S02.
TEST_P(KeysetRowOps, StaticSnapshotsShowTheirOwnChangesOnly) {
    cursorType = SQL_CURSOR_STATIC;
    Open(SQL_CONCUR_VALUES);
    SQLULEN sensitivity = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_SENSITIVITY, &sensitivity, 0, nullptr));
    EXPECT_EQ(SQLULEN(SQL_INSENSITIVE), sensitivity);
    Other("update " + t + " set name = 'theirs' where id = 1");
    SetName(1, "ours");
    idLen[1] = SQL_COLUMN_IGNORE;
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
    idLen[1] = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 3, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    EXPECT_STREQ("r1", names[0]);
    EXPECT_STREQ("ours", names[1]);
    EXPECT_EQ((std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_SUCCESS}),
              std::vector<SQLUSMALLINT>(status, status + kRows));
    SQLLEN count = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
    EXPECT_EQ(10, count);
    EXPECT_EQ(Expected({{1, "1:theirs:-"}, {2, "2:ours:n2"}, {3, ""}}), Contents());
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_STATIC)}) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SetAttr(SQL_ATTR_CURSOR_TYPE, type);
        SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_ROWVER, 0);
        EXPECT_EQ(SQL_SUCCESS_WITH_INFO, rc);
        EXPECT_EQ("01S02", State());
        SQLULEN granted = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &granted, 0, nullptr));
        EXPECT_EQ(SQLULEN(SQL_CONCUR_VALUES), granted);
    }
}

// An outer join: a keyset-driven cursor runs static and read-only, and says so when it runs; a
// static one keeps its concurrency, but a join's rows are not changed.
TEST_P(KeysetRowOps, JoinsAreNotChanged) {
    const std::string join = "select a.id, a.name from " + t + " a left join " + t + " b on a.id = b.id";
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_STATIC)}) {
        SCOPED_TRACE(type);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SetAttr(SQL_ATTR_CURSOR_TYPE, type);
        SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_LOCK);
        const SQLRETURN rc = Exec(join);
        const std::string state = State();
        SQLULEN granted = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &granted, 0, nullptr));
        if (type == SQL_CURSOR_KEYSET_DRIVEN) {
            EXPECT_EQ(SQL_SUCCESS_WITH_INFO, rc) << Diag();
            EXPECT_EQ("01S02", state);
            EXPECT_EQ(SQLULEN(SQL_CONCUR_READ_ONLY), granted);
        } else {
            EXPECT_EQ(SQL_SUCCESS, rc) << Diag();
            EXPECT_EQ(SQLULEN(SQL_CONCUR_LOCK), granted);
        }
        ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0))) << Diag();
        EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
        // Read-only, or (static) the rows of a join are no one table's rows.
        EXPECT_EQ(type == SQL_CURSOR_KEYSET_DRIVEN ? "HY009" : "IM912", State());
    }
    EXPECT_EQ(Expected({}), Contents());
}

// SQLGetData reads the row SQLSetPos positioned, the rowset's last row too (the fetch that
// filled the bound columns of that row is no earlier read of its unbound ones).
TEST_P(KeysetRowOps, GetDataReadsEveryPositionedRow) {
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), SQLULEN(SQL_CURSOR_STATIC)}) {
        cursorType = type;
        for (SQLULEN conc : {SQL_CONCUR_READ_ONLY, SQL_CONCUR_VALUES}) {
            for (int row = 1; row <= kRows; ++row) {
                SCOPED_TRACE(std::to_string(type) + " " + std::to_string(conc) + " " + std::to_string(row));
                SQLFreeStmt(stmt, SQL_CLOSE);
                SQLFreeStmt(stmt, SQL_UNBIND);
                Open(conc);
                ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, nullptr, 0, nullptr));
                ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, SQLSETPOSIROW(row), SQL_POSITION, SQL_LOCK_NO_CHANGE)) << Diag();
                char name[16] = {};
                SQLLEN len = 0;
                ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_CHAR, name, sizeof name, &len)) << Diag();
                EXPECT_EQ("r" + std::to_string(row), std::string(name));
                // Read to its end, the column then has no more data.
                EXPECT_EQ(SQL_NO_DATA, SQLGetData(stmt, 2, SQL_C_CHAR, name, sizeof name, &len));
            }
        }
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
}

INSTANTIATE_TEST_SUITE_P(Builds, KeysetRowOps, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
