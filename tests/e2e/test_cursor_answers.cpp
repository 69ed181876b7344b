// Every bit of SQL_*_CURSOR_ATTRIBUTES1 and 2 the driver answers, tried through the Driver Manager
// on each cursor type at each concurrency it grants, a keyset size above 0 included: each claimed
// operation works and each change is read back on another connection. A mixed cursor is answered
// by the keyset-driven cursors' attributes; what it cannot do of them is refused as not offered.
#include <cstdlib>
#include <string>
#include <vector>

#include "rowops_fixture.h"

namespace resultstest {
namespace {

class CursorAnswers : public RowsetRowOps {
protected:
    SQLUINTEGER a1 = 0, a2 = 0;
    SQLULEN type = 0, keyset = 0, conc = 0;
    std::string kind;   // the cursor walked
    std::string where;  // what is being tried on it, for failure messages
    int added = 100;    // key of the next row a test adds

    bool Mixed() const { return type == SQL_CURSOR_KEYSET_DRIVEN && keyset > 0; }
    bool ReadOnly() const { return conc == SQL_CONCUR_READ_ONLY; }
    void Fresh(bool bookmarks = false, SQLULEN rows = 2) {
        Close();
        Reset();
        Open(type, conc, rows, keyset, bookmarks);
    }
    // A change the cursor may not make: refused as read-only, and the table as it was.
    void RefusedReadOnly(SQLRETURN rc) {
        EXPECT_EQ(SQL_ERROR, rc) << where;
        EXPECT_EQ("HY009", State()) << where;
        EXPECT_EQ(Expected({}), Contents()) << where;
    }
    // A claimed feature a mixed cursor does not offer.
    void NotOfferedOnMixed(SQLRETURN rc, const char* state) {
        EXPECT_EQ(SQL_ERROR, rc) << where;
        EXPECT_EQ(state, State()) << where;
    }

    void Orientation(SQLUINTEGER bit) {
        Fresh(bit == SQL_CA1_BOOKMARK);
        // A mixed cursor has no bookmarks for a bound bookmark column to take.
        if (Mixed()) {
            ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 0, SQL_C_VARBOOKMARK, nullptr, 0, nullptr));
        }
        switch (bit) {
            case SQL_CA1_NEXT:
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << where << Diag();
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << where << Diag();
                EXPECT_EQ((std::vector<SQLINTEGER>{3, 4}), Ids(2)) << where;
                break;
            case SQL_CA1_ABSOLUTE:
                if (Mixed()) return NotOfferedOnMixed(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 3), "HYC00");
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 7)) << where << Diag();
                EXPECT_EQ((std::vector<SQLINTEGER>{7, 8}), Ids(2)) << where;
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, -1)) << where << Diag();
                EXPECT_EQ(10, ids[0]) << where;
                break;
            case SQL_CA1_RELATIVE:
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << where << Diag();
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 5)) << where << Diag();
                EXPECT_EQ((std::vector<SQLINTEGER>{6, 7}), Ids(2)) << where;
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, -3)) << where << Diag();
                EXPECT_EQ((std::vector<SQLINTEGER>{3, 4}), Ids(2)) << where;
                break;
            case SQL_CA1_BOOKMARK: {
                SQLLEN mark = 0;
                ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, &mark, 0));
                if (Mixed()) {
                    mark = 1;
                    NotOfferedOnMixed(SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, 0), "HYC00");
                } else {
                    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 5)) << where << Diag();
                    mark = bm[1];  // row 6
                    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << where << Diag();
                    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, 0)) << where << Diag();
                    EXPECT_EQ((std::vector<SQLINTEGER>{6, 7}), Ids(2)) << where;
                    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, -2)) << where << Diag();
                    EXPECT_EQ(4, ids[0]) << where;
                }
                ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, nullptr, 0));
                break;
            }
        }
    }

    // SQLSetPos on row 2 of the rowset of rows 1 and 2 (rows 3 and 4 for a forward-only cursor).
    void Positioned(SQLUINTEGER bit) {
        Fresh();
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << where << Diag();
        const bool forward = type == SQL_CURSOR_FORWARD_ONLY;
        if (forward) {
            ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << where << Diag();
        }
        const int second = forward ? 4 : 2;
        switch (bit) {
            case SQL_CA1_LOCK_NO_CHANGE:
            case SQL_CA1_POS_POSITION:
                EXPECT_EQ("n" + std::to_string(second), NoteAt(2)) << where;
                EXPECT_EQ(forward ? "n3" : "-", NoteAt(1)) << where;
                break;
            case SQL_CA1_POS_REFRESH: {
                Other("update " + t + " set name = 'fresh' where id = 2");
                SetName(1, "stale");
                ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << where << Diag();
                SQLULEN sensitivity = 0;
                ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_SENSITIVITY, &sensitivity, 0, nullptr));
                EXPECT_STREQ(sensitivity == SQL_SENSITIVE ? "fresh" : "r2", names[1]) << where;
                EXPECT_EQ(SQL_ROW_SUCCESS, status[1]) << where;
                break;
            }
            case SQL_CA1_POS_UPDATE:
                SetName(1, "upd");
                if (ReadOnly()) return RefusedReadOnly(SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
                ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << where << Diag();
                EXPECT_EQ(SQL_ROW_UPDATED, status[1]) << where;
                EXPECT_EQ(Expected({{2, "2:upd:n2"}}), Contents()) << where;
                break;
            case SQL_CA1_POS_DELETE:
                if (ReadOnly()) return RefusedReadOnly(SQLSetPos(stmt, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE));
                ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << where << Diag();
                EXPECT_EQ(SQL_ROW_DELETED, status[1]) << where;
                EXPECT_EQ(Expected({{2, ""}}), Contents()) << where;
                break;
        }
    }

    // SQLBulkOperations with the bookmarks of rows 2 and 1 of the rowset of rows 1 to 3.
    void Bulk(SQLUINTEGER bit) {
        Fresh(!Mixed(), 3);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << where << Diag();
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 2);
        std::swap(bm[0], bm[1]);
        const SQLSMALLINT op = bit == SQL_CA1_BULK_ADD                  ? SQL_ADD
                               : bit == SQL_CA1_BULK_UPDATE_BY_BOOKMARK ? SQL_UPDATE_BY_BOOKMARK
                               : bit == SQL_CA1_BULK_DELETE_BY_BOOKMARK ? SQL_DELETE_BY_BOOKMARK
                                                                        : SQL_FETCH_BY_BOOKMARK;
        if (op == SQL_ADD) {
            for (int i = 0; i < 2; ++i) {
                ids[i] = added + i;
                idLen[i] = 0;
                std::snprintf(names[i], sizeof names[i], "add%d", i);
                nameLen[i] = SQL_NTS;
            }
        } else if (op == SQL_UPDATE_BY_BOOKMARK) {
            SetName(0, "b2");
            SetName(1, "b1");
        }
        const SQLRETURN rc = SQLBulkOperations(stmt, op);
        if (Mixed()) return NotOfferedOnMixed(rc, "IM924");
        if (ReadOnly() && op != SQL_FETCH_BY_BOOKMARK) return RefusedReadOnly(rc);
        ASSERT_EQ(SQL_SUCCESS, rc) << where << Diag();
        switch (op) {
            case SQL_ADD:
                EXPECT_EQ(Expected({}) + std::to_string(added) + ":add0:- " + std::to_string(added + 1) + ":add1:- ",
                          Contents())
                    << where;
                break;
            case SQL_UPDATE_BY_BOOKMARK:
                EXPECT_EQ(Expected({{1, "1:b1:-"}, {2, "2:b2:n2"}}), Contents()) << where;
                break;
            case SQL_DELETE_BY_BOOKMARK:
                EXPECT_EQ(Expected({{1, ""}, {2, ""}}), Contents()) << where;
                break;
            default:
                EXPECT_EQ((std::vector<SQLINTEGER>{2, 1}), Ids(2)) << where;
                EXPECT_EQ("n2", NoteAt(1)) << where;
                break;
        }
    }

    void Concurrency(SQLUINTEGER bit) {
        switch (bit) {
            case SQL_CA2_READ_ONLY_CONCURRENCY:
            case SQL_CA2_OPT_ROWVER_CONCURRENCY:
                // Granted as asked (the walk runs only at concurrencies granted so).
                break;
            case SQL_CA2_LOCK_CONCURRENCY: {
                // The rows fetched stay locked until the transaction ends.
                ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0));
                Fresh();
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << where << Diag();
                Connect2();
                SQLHSTMT s = SQL_NULL_HSTMT;
                ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, other, &s));
                SQLSetStmtAttr(s, SQL_ATTR_QUERY_TIMEOUT, (SQLPOINTER)1, 0);
                const std::string upd = "update " + t + " set name = 'other' where id = 2";
                EXPECT_EQ(SQL_ERROR, SQLExecDirect(s, (SQLCHAR*)upd.c_str(), SQL_NTS)) << where;
                Close();
                ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
                EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)upd.c_str(), SQL_NTS))) << where;
                SQLFreeHandle(SQL_HANDLE_STMT, s);
                ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0));
                EXPECT_EQ(Expected({{2, "2:other:n2"}}), Contents()) << where;
                break;
            }
            case SQL_CA2_OPT_VALUES_CONCURRENCY:
                // A row another connection changed since the fetch is not overwritten.
                Fresh();
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << where << Diag();
                Other("update " + t + " set note = 'other' where id = 2");
                SetName(1, "mine");
                EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << where;
                EXPECT_EQ("01001", State()) << where;
                EXPECT_EQ(Expected({{2, "2:r2:other"}}), Contents()) << where;
                break;
        }
    }

    void Sensitivity(SQLUINTEGER bit) {
        Fresh();
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << where << Diag();
        switch (bit) {
            case SQL_CA2_SENSITIVITY_ADDITIONS:
                Other("insert into " + t + " values (0, 'zero', null)");
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << where << Diag();
                EXPECT_EQ((std::vector<SQLINTEGER>{0, 1}), Ids(2)) << where;
                break;
            case SQL_CA2_SENSITIVITY_DELETIONS: {
                Other("delete from " + t + " where id = 1");
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << where << Diag();
                // Gone from the rowset, or kept in its place as deleted.
                const bool gone = ids[0] == 2 || status[0] == SQL_ROW_DELETED;
                EXPECT_TRUE(gone) << where << ": " << ids[0] << " " << status[0];
                break;
            }
            case SQL_CA2_SENSITIVITY_UPDATES:
                Other("update " + t + " set name = 'theirs' where id = 1");
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << where << Diag();
                EXPECT_STREQ("theirs", names[0]) << where;
                break;
        }
    }

    void Other2(SQLUINTEGER bit) {
        switch (bit) {
            case SQL_CA2_MAX_ROWS_SELECT: {
                Close();
                Reset();
                SetAttr(SQL_ATTR_MAX_ROWS, 3);
                Open(type, conc, 2, keyset);
                SQLRETURN rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0);
                int rows = 0;
                for (; SQL_SUCCEEDED(rc); rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) rows += int(fetched);
                EXPECT_EQ(SQL_NO_DATA, rc) << where << Diag();
                EXPECT_EQ(3, rows) << where;
                SetAttr(SQL_ATTR_MAX_ROWS, 0);
                break;
            }
            case SQL_CA2_CRC_EXACT: {
                Fresh();
                SQLLEN count = -1;
                ASSERT_EQ(SQL_SUCCESS,
                          SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_CURSOR_ROW_COUNT, &count, 0, nullptr))
                    << where;
                EXPECT_EQ(10, count) << where;
                break;
            }
            case SQL_CA2_SIMULATE_NON_UNIQUE: {
                // Taken as asked, and the cursor changes its rows by their keys under it.
                Close();
                Reset();
                EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_SIMULATE_CURSOR,
                                                      reinterpret_cast<SQLPOINTER>(SQL_SC_NON_UNIQUE), 0))
                    << where << Diag();
                SQLULEN v = 99;
                ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_SIMULATE_CURSOR, &v, 0, nullptr));
                EXPECT_EQ(SQLULEN(SQL_SC_NON_UNIQUE), v) << where;
                Open(type, conc, 2, keyset);
                ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << where << Diag();
                if (!ReadOnly()) {
                    SetName(0, "sim");
                    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << where << Diag();
                    EXPECT_EQ(Expected({{1, "1:sim:-"}}), Contents()) << where;
                }
                break;
            }
        }
    }

    // Walks every bit answered for the cursor as it is set up.
    void Walk() {
        const SQLUINTEGER orientations = SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK;
        const SQLUINTEGER positioned = SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_UPDATE |
                                       SQL_CA1_POS_DELETE | SQL_CA1_POS_REFRESH;
        const SQLUINTEGER bulk = SQL_CA1_BULK_ADD | SQL_CA1_BULK_UPDATE_BY_BOOKMARK | SQL_CA1_BULK_DELETE_BY_BOOKMARK |
                                 SQL_CA1_BULK_FETCH_BY_BOOKMARK;
        for (SQLUINTEGER bit = 1; bit != 0; bit <<= 1) {
            if (!(a1 & bit)) continue;
            where = kind + " / attributes1 bit " + std::to_string(bit);
            if (orientations & bit)
                Orientation(bit);
            else if (positioned & bit)
                Positioned(bit);
            else if (bulk & bit)
                Bulk(bit);
            else
                ADD_FAILURE() << where << ": claimed, and not tried here";
        }
        const SQLUINTEGER concurrencies = SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_LOCK_CONCURRENCY |
                                          SQL_CA2_OPT_ROWVER_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY;
        const SQLUINTEGER sensitivity =
            SQL_CA2_SENSITIVITY_ADDITIONS | SQL_CA2_SENSITIVITY_DELETIONS | SQL_CA2_SENSITIVITY_UPDATES;
        const SQLUINTEGER other = SQL_CA2_MAX_ROWS_SELECT | SQL_CA2_CRC_EXACT | SQL_CA2_SIMULATE_NON_UNIQUE;
        for (SQLUINTEGER bit = 1; bit != 0; bit <<= 1) {
            if (!(a2 & bit)) continue;
            where = kind + " / attributes2 bit " + std::to_string(bit);
            if (concurrencies & bit) {
                // Each concurrency is tried once, at itself.
                const SQLULEN own = bit == SQL_CA2_READ_ONLY_CONCURRENCY    ? SQL_CONCUR_READ_ONLY
                                    : bit == SQL_CA2_LOCK_CONCURRENCY       ? SQL_CONCUR_LOCK
                                    : bit == SQL_CA2_OPT_ROWVER_CONCURRENCY ? SQL_CONCUR_ROWVER
                                                                            : SQL_CONCUR_VALUES;
                if (own == conc) Concurrency(bit);
            } else if (sensitivity & bit) {
                Sensitivity(bit);
            } else if (other & bit) {
                Other2(bit);
            } else {
                ADD_FAILURE() << where << ": claimed, and not tried here";
            }
        }
        Close();
    }
};

TEST_P(CursorAnswers, EveryClaimedAttributeWorks) {
    const struct {
        SQLULEN type, keyset;
        SQLUSMALLINT info1, info2;
        SQLUINTEGER scrollBit;
        const char* what;
    } kinds[] = {
        {SQL_CURSOR_FORWARD_ONLY, 0, SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2,
         SQL_SO_FORWARD_ONLY, "forward-only"},
        {SQL_CURSOR_STATIC, 0, SQL_STATIC_CURSOR_ATTRIBUTES1, SQL_STATIC_CURSOR_ATTRIBUTES2, SQL_SO_STATIC, "static"},
        {SQL_CURSOR_KEYSET_DRIVEN, 0, SQL_KEYSET_CURSOR_ATTRIBUTES1, SQL_KEYSET_CURSOR_ATTRIBUTES2,
         SQL_SO_KEYSET_DRIVEN, "keyset-driven"},
        {SQL_CURSOR_KEYSET_DRIVEN, 4, SQL_KEYSET_CURSOR_ATTRIBUTES1, SQL_KEYSET_CURSOR_ATTRIBUTES2, SQL_SO_MIXED,
         "mixed"},
        {SQL_CURSOR_DYNAMIC, 0, SQL_DYNAMIC_CURSOR_ATTRIBUTES1, SQL_DYNAMIC_CURSOR_ATTRIBUTES2, SQL_SO_DYNAMIC,
         "dynamic"},
    };
    // The other connection waits a short time for the rows a lock holds.
    Connect2(true);
    SQLUINTEGER scroll = 0, scco = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_SCROLL_OPTIONS, &scroll, sizeof scroll, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_SCROLL_CONCURRENCY, &scco, sizeof scco, nullptr));
    int walked = 0;
    for (const auto& k : kinds) {
        if (!(scroll & k.scrollBit)) continue;
        ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, k.info1, &a1, sizeof a1, nullptr));
        ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, k.info2, &a2, sizeof a2, nullptr));
        type = k.type;
        keyset = k.keyset;
        const struct {
            SQLULEN value;
            SQLUINTEGER ca2, scco;
        } concurrencies[] = {{SQL_CONCUR_READ_ONLY, SQL_CA2_READ_ONLY_CONCURRENCY, SQL_SCCO_READ_ONLY},
                             {SQL_CONCUR_LOCK, SQL_CA2_LOCK_CONCURRENCY, SQL_SCCO_LOCK},
                             {SQL_CONCUR_ROWVER, SQL_CA2_OPT_ROWVER_CONCURRENCY, SQL_SCCO_OPT_ROWVER},
                             {SQL_CONCUR_VALUES, SQL_CA2_OPT_VALUES_CONCURRENCY, SQL_SCCO_OPT_VALUES}};
        for (const auto& c : concurrencies) {
            // A concurrency is granted as asked exactly when the answers claim it.
            Close();
            SetAttr(SQL_ATTR_CURSOR_TYPE, k.type);
            SetAttr(SQL_ATTR_KEYSET_SIZE, k.keyset);
            SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(c.value), 0);
            ASSERT_TRUE(SQL_SUCCEEDED(Exec("select id, name, note from " + t + " order by id"))) << Diag();
            SQLULEN granted = 0;
            ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &granted, 0, nullptr));
            // What the answers claim is granted as asked; a scrollable cursor is granted what the
            // scroll concurrencies say.
            if (a2 & c.ca2) {
                EXPECT_EQ(c.value, granted) << k.what << " concurrency " << c.value;
            }
            if (k.type != SQL_CURSOR_FORWARD_ONLY) {
                EXPECT_EQ((scco & c.scco) != 0, granted == c.value) << k.what << " concurrency " << c.value;
            }
            if (granted != c.value) continue;
            conc = c.value;
            kind = std::string(k.what) + " concurrency " + std::to_string(conc);
            SCOPED_TRACE(kind);
            Walk();
            ++walked;
        }
    }
    // Every kind, the mixed one included, at read-only and at least one updatable concurrency.
    EXPECT_GE(walked, 13);
}

INSTANTIATE_TEST_SUITE_P(Builds, CursorAnswers, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
