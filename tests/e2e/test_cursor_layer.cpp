// The cursor layer through the Driver Manager: every cursor capability SQLGetInfo advertises
// works; catalog calls on scrollable statements; base table and column names of result
// columns; the special-columns catalog's row identifier.
#include <cstring>
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

class CursorLayer : public ResultsTest {
protected:
    std::string t;
    std::vector<SQLHSTMT> extra;
    SQLHDBC dbc2 = SQL_NULL_HDBC;

    void TearDown() override {
        for (SQLHSTMT h : extra) SQLFreeHandle(SQL_HANDLE_STMT, h);
        if (dbc2) {
            SQLDisconnect(dbc2);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc2);
        }
        if (stmt && !t.empty()) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            Exec("drop table " + t);
        }
        ResultsTest::TearDown();
    }
    void MakeTable(const std::string& base, int rows) {
        t = Table(base);
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (id integer not null primary key, name varchar(12))");
        for (int i = 1; i <= rows; ++i)
            Must("insert into " + t + " values (" + std::to_string(i) + ", 'r" + std::to_string(i) + "')");
    }
    SQLHSTMT NewStmt(SQLHDBC on = SQL_NULL_HDBC) {
        SQLHSTMT h = SQL_NULL_HSTMT;
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, on ? on : dbc, &h));
        extra.push_back(h);
        return h;
    }
    SQLUINTEGER Info(SQLUSMALLINT type) {
        SQLUINTEGER v = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, type, &v, sizeof v, nullptr)) << type;
        return v;
    }
    static std::string DiagOf(SQLHSTMT h) { return DiagText(SQL_HANDLE_STMT, h); }
    static SQLRETURN Set(SQLHSTMT h, SQLINTEGER attr, SQLULEN v) {
        return SQLSetStmtAttr(h, attr, reinterpret_cast<SQLPOINTER>(v), 0);
    }
    static SQLULEN Get(SQLHSTMT h, SQLINTEGER attr) {
        SQLULEN v = 0xEEEE;
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(h, attr, &v, 0, nullptr));
        return v;
    }
    // One value of a query on a statement of its own.
    std::string Scalar(const std::string& sql, SQLHDBC on = SQL_NULL_HDBC) {
        SQLHSTMT h = NewStmt(on);
        EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS)) << sql << ": " << DiagOf(h);
        char buf[64] = {};
        SQLLEN len = 0;
        if (SQLFetch(h) != SQL_SUCCESS) return "(no row)";
        SQLGetData(h, 1, SQL_C_CHAR, buf, sizeof buf, &len);
        SQLFreeStmt(h, SQL_CLOSE);
        if (len == SQL_NULL_DATA) return "(null)";
        std::string v = buf;
        while (!v.empty() && v.back() == ' ') v.pop_back();
        return v;
    }
    void Run(SQLHSTMT h, const std::string& sql, SQLHDBC on = SQL_NULL_HDBC) {
        if (on == SQL_NULL_HDBC) on = dbc;
        SQLHSTMT x = NewStmt(on);
        SQLRETURN rc = SQLExecDirect(x, (SQLCHAR*)sql.c_str(), SQL_NTS);
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << DiagOf(x);
        (void)h;
    }
    void ConnectSecond() {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc2));
        std::string dsn = Dsn();
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLConnect(dbc2, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)kUser, SQL_NTS, (SQLCHAR*)kPassword, SQL_NTS)))
            << Diag(SQL_HANDLE_DBC, dbc2);
    }
};

struct Kind {
    SQLUINTEGER scrollBit;
    SQLULEN type;
    SQLULEN keysetSize;
    SQLUSMALLINT attributes1, attributes2;
    const char* name;
};

const Kind kKinds[] = {
    {SQL_SO_FORWARD_ONLY, SQL_CURSOR_FORWARD_ONLY, 0, SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1,
     SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, "forward-only"},
    {SQL_SO_STATIC, SQL_CURSOR_STATIC, 0, SQL_STATIC_CURSOR_ATTRIBUTES1, SQL_STATIC_CURSOR_ATTRIBUTES2, "static"},
    {SQL_SO_KEYSET_DRIVEN, SQL_CURSOR_KEYSET_DRIVEN, 0, SQL_KEYSET_CURSOR_ATTRIBUTES1, SQL_KEYSET_CURSOR_ATTRIBUTES2,
     "keyset-driven"},
    {SQL_SO_MIXED, SQL_CURSOR_KEYSET_DRIVEN, 2, SQL_KEYSET_CURSOR_ATTRIBUTES1, SQL_KEYSET_CURSOR_ATTRIBUTES2, "mixed"},
    {SQL_SO_DYNAMIC, SQL_CURSOR_DYNAMIC, 0, SQL_DYNAMIC_CURSOR_ATTRIBUTES1, SQL_DYNAMIC_CURSOR_ATTRIBUTES2, "dynamic"},
};

constexpr int kRows = 6;

TEST_P(CursorLayer, EveryAdvertisedCursorCapabilityWorks) {
    const SQLUINTEGER scroll = Info(SQL_SCROLL_OPTIONS);
    const SQLUINTEGER concurrencies = Info(SQL_SCROLL_CONCURRENCY);
    const SQLUINTEGER directions = Info(SQL_FETCH_DIRECTION);
    ASSERT_TRUE(scroll & SQL_SO_FORWARD_ONLY);
    int kindsWalked = 0;
    for (const Kind& k : kKinds) {
        if (!(scroll & k.scrollBit)) {
            EXPECT_EQ(0u, k.type == SQL_CURSOR_DYNAMIC ? Info(k.attributes1) : 0u) << k.name;
            continue;
        }
        ++kindsWalked;
        SCOPED_TRACE(k.name);
        // The statements of the kind before hold the table open.
        for (SQLHSTMT h : extra) SQLFreeHandle(SQL_HANDLE_STMT, h);
        extra.clear();
        MakeTable("capwalk", kRows);
        SQLUINTEGER a1 = Info(k.attributes1);
        const SQLUINTEGER a2 = Info(k.attributes2);
        EXPECT_TRUE(a1 & SQL_CA1_NEXT);
        // Opens the kind with the concurrency and runs the query; asserts that both are granted.
        auto open = [&](SQLULEN concurrency, bool bookmarks, SQLULEN maxRows) {
            SQLHSTMT h = NewStmt();
            EXPECT_EQ(SQL_SUCCESS, Set(h, SQL_ATTR_CURSOR_TYPE, k.type)) << DiagOf(h);
            if (k.keysetSize) {
                EXPECT_EQ(SQL_SUCCESS, Set(h, SQL_ATTR_KEYSET_SIZE, k.keysetSize)) << DiagOf(h);
            }
            EXPECT_EQ(SQL_SUCCESS, Set(h, SQL_ATTR_CONCURRENCY, concurrency)) << DiagOf(h);
            if (bookmarks) {
                EXPECT_EQ(SQL_SUCCESS, Set(h, SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE)) << DiagOf(h);
            }
            if (maxRows) {
                EXPECT_EQ(SQL_SUCCESS, Set(h, SQL_ATTR_MAX_ROWS, maxRows)) << DiagOf(h);
            }
            const std::string sql = "select id, name from " + t + " order by id";
            EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS)) << DiagOf(h);
            EXPECT_EQ(k.type, Get(h, SQL_ATTR_CURSOR_TYPE));
            EXPECT_EQ(concurrency, Get(h, SQL_ATTR_CONCURRENCY));
            if (k.keysetSize) {
                EXPECT_EQ(k.keysetSize, Get(h, SQL_ATTR_KEYSET_SIZE));
            }
            return h;
        };
        auto fetchId = [&](SQLHSTMT h, SQLSMALLINT orientation, SQLLEN offset) {
            SQLINTEGER id = -1;
            SQLRETURN rc = k.type == SQL_CURSOR_FORWARD_ONLY && orientation == SQL_FETCH_NEXT
                               ? SQLFetch(h)
                               : SQLFetchScroll(h, orientation, offset);
            EXPECT_EQ(SQL_SUCCESS, rc) << orientation << "/" << offset << ": " << DiagOf(h);
            if (rc == SQL_SUCCESS) {
                EXPECT_EQ(SQL_SUCCESS, SQLGetData(h, 1, SQL_C_LONG, &id, 0, nullptr)) << DiagOf(h);
            }
            return id;
        };

        // Every concurrency the kind names is granted as asked.
        const struct {
            SQLUINTEGER bit;
            SQLULEN value;
        } conc[] = {{SQL_CA2_READ_ONLY_CONCURRENCY, SQL_CONCUR_READ_ONLY},
                    {SQL_CA2_LOCK_CONCURRENCY, SQL_CONCUR_LOCK},
                    {SQL_CA2_OPT_ROWVER_CONCURRENCY, SQL_CONCUR_ROWVER},
                    {SQL_CA2_OPT_VALUES_CONCURRENCY, SQL_CONCUR_VALUES}};
        for (const auto& c : conc) {
            if (!(a2 & c.bit)) continue;
            SQLHSTMT h = open(c.value, false, 0);
            EXPECT_EQ(1, fetchId(h, SQL_FETCH_NEXT, 0)) << "concurrency " << c.value;
        }
        EXPECT_TRUE(a2 & SQL_CA2_READ_ONLY_CONCURRENCY);

        // The keyset answers describe the pure keyset cursor; a mixed one moves its window by
        // seeking from the rowset it holds, so absolute and bookmark positions are refused.
        if (k.keysetSize) {
            SQLHSTMT m = open(SQL_CONCUR_READ_ONLY, false, 0);
            EXPECT_EQ(SQL_ERROR, SQLFetchScroll(m, SQL_FETCH_ABSOLUTE, 2));
            EXPECT_EQ("HYC00", DiagOf(m).substr(0, 5));
            a1 &= ~SQLUINTEGER(SQL_CA1_ABSOLUTE | SQL_CA1_BOOKMARK);
        }
        // Orientations.
        SQLHSTMT h = open(SQL_CONCUR_READ_ONLY, false, 0);
        EXPECT_EQ(1, fetchId(h, SQL_FETCH_NEXT, 0));
        if (a1 & SQL_CA1_RELATIVE) {
            EXPECT_EQ(3, fetchId(h, SQL_FETCH_RELATIVE, 2));
        }
        if (a1 & SQL_CA1_ABSOLUTE) {
            EXPECT_EQ(4, fetchId(h, SQL_FETCH_ABSOLUTE, 4));
            EXPECT_EQ(kRows, fetchId(h, SQL_FETCH_ABSOLUTE, -1));
        }
        if (k.type != SQL_CURSOR_FORWARD_ONLY) {
            if (directions & SQL_FD_FETCH_FIRST) {
                EXPECT_EQ(1, fetchId(h, SQL_FETCH_FIRST, 0));
            }
            if (directions & SQL_FD_FETCH_LAST) {
                EXPECT_EQ(kRows, fetchId(h, SQL_FETCH_LAST, 0));
            }
            if (directions & SQL_FD_FETCH_PRIOR) {
                EXPECT_EQ(kRows - 1, fetchId(h, SQL_FETCH_PRIOR, 0));
            }
        }
        // Exact row count as soon as the statement ran.
        if (a2 & SQL_CA2_CRC_EXACT) {
            SQLHSTMT c = open(SQL_CONCUR_READ_ONLY, false, 0);
            SQLLEN n = -2;
            EXPECT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, c, 0, SQL_DIAG_CURSOR_ROW_COUNT, &n, 0, nullptr));
            EXPECT_EQ(SQLLEN(kRows), n);
        }
        // SQL_ATTR_MAX_ROWS limits a SELECT.
        if (a2 & SQL_CA2_MAX_ROWS_SELECT) {
            SQLHSTMT m = open(SQL_CONCUR_READ_ONLY, false, 3);
            int n = 0;
            while (SQLFetch(m) == SQL_SUCCESS) ++n;
            EXPECT_EQ(3, n);
        }
        // Bookmarks lead back to their row.
        if (a1 & SQL_CA1_BOOKMARK) {
            SQLHSTMT b = open(SQL_CONCUR_READ_ONLY, true, 0);
            EXPECT_EQ(3, fetchId(b, SQL_FETCH_ABSOLUTE, 3));
            unsigned char mark[16] = {};
            SQLLEN markLen = 0;
            ASSERT_EQ(SQL_SUCCESS, SQLGetData(b, 0, SQL_C_VARBOOKMARK, mark, sizeof mark, &markLen)) << DiagOf(b);
            EXPECT_EQ(1, fetchId(b, SQL_FETCH_FIRST, 0));
            ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(b, SQL_ATTR_FETCH_BOOKMARK_PTR, mark, 0));
            EXPECT_EQ(3, fetchId(b, SQL_FETCH_BOOKMARK, 0));
        }
        // Changes another connection makes show where the kind says they do.
        if (a2 & (SQL_CA2_SENSITIVITY_UPDATES | SQL_CA2_SENSITIVITY_DELETIONS | SQL_CA2_SENSITIVITY_ADDITIONS)) {
            // Mixed and dynamic cursors find their rows by seeking from the rowset they hold.
            const bool seeks = k.keysetSize || k.type == SQL_CURSOR_DYNAMIC;
            if (!dbc2) ConnectSecond();
            SQLHSTMT s = open(SQL_CONCUR_READ_ONLY, false, 0);
            SQLUSMALLINT status = 0xEEEE;
            ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(s, SQL_ATTR_ROW_STATUS_PTR, &status, 0));
            EXPECT_EQ(1, fetchId(s, SQL_FETCH_NEXT, 0));
            Run(s, "update " + t + " set name = 'changed' where id = 2", dbc2);
            Run(s, "delete from " + t + " where id = 5", dbc2);
            Run(s, "insert into " + t + " values (7, 'r7')", dbc2);
            if (a2 & SQL_CA2_SENSITIVITY_UPDATES) {
                // A mixed cursor reads row 2 again from the key window it took with row 1.
                EXPECT_EQ(2, seeks ? fetchId(s, SQL_FETCH_NEXT, 0) : fetchId(s, SQL_FETCH_ABSOLUTE, 2));
                char name[16] = {};
                EXPECT_EQ(SQL_SUCCESS, SQLGetData(s, 2, SQL_C_CHAR, name, sizeof name, nullptr)) << DiagOf(s);
                EXPECT_STREQ("changed", name);
            }
            // Beyond its window a mixed cursor seeks afresh, so a deleted row is simply not there.
            if ((a2 & SQL_CA2_SENSITIVITY_DELETIONS) && !seeks) {
                SQLRETURN rc = SQLFetchScroll(s, SQL_FETCH_ABSOLUTE, 5);
                EXPECT_TRUE(SQL_SUCCEEDED(rc)) << DiagOf(s);
                EXPECT_EQ(SQL_ROW_DELETED, status);
            }
            if ((a2 & SQL_CA2_SENSITIVITY_DELETIONS) && seeks) {
                EXPECT_EQ(6, fetchId(s, SQL_FETCH_RELATIVE, 3));
            }
            if (a2 & SQL_CA2_SENSITIVITY_ADDITIONS) {
                EXPECT_EQ(7, fetchId(s, SQL_FETCH_LAST, 0));
            }
        }
    }
    EXPECT_GE(kindsWalked, 2);
    // Concurrencies a keyset-driven cursor offers (a static one is read-only: its attributes say so).
    const struct {
        SQLUINTEGER bit;
        SQLULEN value;
    } scrollConc[] = {{SQL_SCCO_READ_ONLY, SQL_CONCUR_READ_ONLY},
                      {SQL_SCCO_LOCK, SQL_CONCUR_LOCK},
                      {SQL_SCCO_OPT_ROWVER, SQL_CONCUR_ROWVER},
                      {SQL_SCCO_OPT_VALUES, SQL_CONCUR_VALUES}};
    EXPECT_TRUE(concurrencies & SQL_SCCO_READ_ONLY);
    for (const auto& c : scrollConc) {
        SQLHSTMT h = NewStmt();
        ASSERT_EQ(SQL_SUCCESS, Set(h, SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN)) << DiagOf(h);
        const SQLRETURN rc = Set(h, SQL_ATTR_CONCURRENCY, c.value);
        if (concurrencies & c.bit) {
            EXPECT_EQ(SQL_SUCCESS, rc) << c.value << ": " << DiagOf(h);
            EXPECT_EQ(c.value, Get(h, SQL_ATTR_CONCURRENCY));
        } else {
            // Not offered: never granted as asked.
            EXPECT_NE(SQL_SUCCESS, rc) << c.value;
        }
    }
}

// Positioned operations and lock types: each one advertised changes what it says.
TEST_P(CursorLayer, EveryAdvertisedPositionedOperationWorks) {
    const SQLUINTEGER pos = Info(SQL_POS_OPERATIONS);
    const SQLUINTEGER locks = Info(SQL_LOCK_TYPES);
    const SQLUINTEGER static1 = Info(SQL_STATIC_CURSOR_ATTRIBUTES1);
    const SQLUINTEGER conc = Info(SQL_SCROLL_CONCURRENCY);
    if (pos == 0) {
        EXPECT_EQ(0u, locks);
        EXPECT_EQ(0u, static1 & (SQL_CA1_POS_POSITION | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE | SQL_CA1_POS_REFRESH));
        EXPECT_EQ(SQLUINTEGER(SQL_SCCO_READ_ONLY), conc);
        return;
    }
    MakeTable("capwalkpos", kRows);
    SQLULEN concurrency = (conc & SQL_SCCO_LOCK)         ? SQL_CONCUR_LOCK
                          : (conc & SQL_SCCO_OPT_VALUES) ? SQL_CONCUR_VALUES
                                                         : SQL_CONCUR_ROWVER;
    // The operations are those of the keyset-driven cursor, which changes rows by their keys.
    SQLHSTMT h = NewStmt();
    ASSERT_EQ(SQL_SUCCESS, Set(h, SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN));
    ASSERT_EQ(SQL_SUCCESS, Set(h, SQL_ATTR_CONCURRENCY, concurrency)) << DiagOf(h);
    const std::string sql = "select id, name from " + t + " order by id";
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS)) << DiagOf(h);
    SQLINTEGER id = 0;
    SQLLEN idLen = 0, nameLen = SQL_NTS;
    char name[16] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_LONG, &id, 0, &idLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, name, sizeof name, &nameLen));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, 2)) << DiagOf(h);
    if (pos & SQL_POS_POSITION) {
        EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE)) << DiagOf(h);
    }
    if (pos & SQL_POS_REFRESH) {
        EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_REFRESH, SQL_LOCK_NO_CHANGE)) << DiagOf(h);
        EXPECT_EQ(2, id);
    }
    if (locks & SQL_LCK_EXCLUSIVE) {
        EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_POSITION, SQL_LOCK_EXCLUSIVE)) << DiagOf(h);
    }
    if (locks & SQL_LCK_UNLOCK) {
        EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_POSITION, SQL_LOCK_UNLOCK)) << DiagOf(h);
    }
    if (pos & SQL_POS_UPDATE) {
        std::strcpy(name, "updated");
        nameLen = SQL_NTS;
        EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << DiagOf(h);
        EXPECT_EQ("updated", Scalar("select name from " + t + " where id = 2"));
    }
    if (pos & SQL_POS_DELETE) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, 3)) << DiagOf(h);
        EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE)) << DiagOf(h);
        EXPECT_EQ("0", Scalar("select count(*) from " + t + " where id = 3"));
    }
    if (pos & SQL_POS_ADD) {
        id = 100;
        idLen = 0;
        std::strcpy(name, "added");
        nameLen = SQL_NTS;
        EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_ADD, SQL_LOCK_NO_CHANGE)) << DiagOf(h);
        EXPECT_EQ("added", Scalar("select name from " + t + " where id = 100"));
    }
}

TEST_P(CursorLayer, CatalogCallsOnScrollableStatementsAreServed) {
    MakeTable("catscroll", 2);
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_STATIC), SQLULEN(SQL_CURSOR_KEYSET_DRIVEN)}) {
        SQLHSTMT h = NewStmt();
        const SQLRETURN set = Set(h, SQL_ATTR_CURSOR_TYPE, type);
        ASSERT_TRUE(SQL_SUCCEEDED(set)) << DiagOf(h);
        const SQLULEN granted = Get(h, SQL_ATTR_CURSOR_TYPE);
        EXPECT_NE(SQLULEN(SQL_CURSOR_FORWARD_ONLY), granted);
        // Tables: exactly our table, by name.
        ASSERT_EQ(SQL_SUCCESS, SQLTables(h, nullptr, 0, nullptr, 0, (SQLCHAR*)t.c_str(), SQL_NTS, nullptr, 0))
            << DiagOf(h);
        std::vector<std::string> names;
        char buf[130] = {};
        SQLLEN len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 3, SQL_C_CHAR, buf, sizeof buf, &len));
        while (SQLFetch(h) == SQL_SUCCESS) names.push_back(buf);
        EXPECT_EQ(std::vector<std::string>{t}, names) << "cursor type " << type;
        SQLFreeStmt(h, SQL_CLOSE);
        SQLFreeStmt(h, SQL_UNBIND);
        // Columns: id and name in order.
        ASSERT_EQ(SQL_SUCCESS, SQLColumns(h, nullptr, 0, nullptr, 0, (SQLCHAR*)t.c_str(), SQL_NTS, nullptr, 0))
            << DiagOf(h);
        names.clear();
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 4, SQL_C_CHAR, buf, sizeof buf, &len));
        while (SQLFetch(h) == SQL_SUCCESS) names.push_back(buf);
        EXPECT_EQ((std::vector<std::string>{"id", "name"}), names) << "cursor type " << type;
        SQLFreeStmt(h, SQL_CLOSE);
        SQLFreeStmt(h, SQL_UNBIND);
        // Type information and primary keys read back too.
        ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(h, SQL_INTEGER)) << DiagOf(h);
        EXPECT_EQ(SQL_SUCCESS, SQLFetch(h)) << DiagOf(h);
        SQLFreeStmt(h, SQL_CLOSE);
        ASSERT_EQ(SQL_SUCCESS, SQLPrimaryKeys(h, nullptr, 0, nullptr, 0, (SQLCHAR*)t.c_str(), SQL_NTS)) << DiagOf(h);
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(h)) << DiagOf(h);
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(h, 4, SQL_C_CHAR, buf, sizeof buf, &len));
        EXPECT_STREQ("id", buf);
        SQLFreeStmt(h, SQL_CLOSE);
        // The statement still runs a query of its own afterwards.
        const std::string sql = "select id from " + t + " order by id";
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS))) << DiagOf(h);
        SQLINTEGER id = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(h)) << DiagOf(h);
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(h, 1, SQL_C_LONG, &id, 0, nullptr));
        EXPECT_EQ(1, id);
    }
}

TEST_P(CursorLayer, BaseNamesOfSimpleColumnsAndNoneForExpressions) {
    MakeTable("basenames", 1);
    std::string schema = Scalar("select table_owner from iitables where table_name = '" + t + "'");
    ASSERT_NE("(no row)", schema);
    // Asked for at describe (the driver's option 1052) or when first read.
    for (SQLULEN type : {SQLULEN(SQL_CURSOR_FORWARD_ONLY), SQLULEN(SQL_CURSOR_STATIC), SQLULEN(99)}) {
        SQLHSTMT h = NewStmt();
        if (type == 99) {
            ASSERT_EQ(SQL_SUCCESS, Set(h, 1052, 1)) << DiagOf(h);
        } else {
            ASSERT_EQ(SQL_SUCCESS, Set(h, SQL_ATTR_CURSOR_TYPE, type));
        }
        const std::string sql = "select name as label, id, id + 1, upper(name) from " + t;
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, (SQLCHAR*)sql.c_str(), SQL_NTS)) << DiagOf(h);
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(h)) << DiagOf(h);
        auto text = [&](SQLUSMALLINT col, SQLUSMALLINT field) {
            char buf[130] = "(untouched)";
            SQLSMALLINT len = -1;
            EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(h, col, field, buf, sizeof buf, &len, nullptr))
                << col << "/" << field << ": " << DiagOf(h);
            return std::string(buf);
        };
        auto number = [&](SQLUSMALLINT col, SQLUSMALLINT field) {
            SQLLEN v = -99;
            EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(h, col, field, nullptr, 0, nullptr, &v)) << DiagOf(h);
            return v;
        };
        const std::vector<std::string> baseColumns{"name", "id", "", ""};
        for (SQLUSMALLINT c = 1; c <= 4; ++c) {
            const bool column = c <= 2;
            EXPECT_EQ(column ? t : "", text(c, SQL_DESC_BASE_TABLE_NAME)) << c;
            EXPECT_EQ(column ? t : "", text(c, SQL_DESC_TABLE_NAME)) << c;
            EXPECT_EQ(column ? schema : "", text(c, SQL_DESC_SCHEMA_NAME)) << c;
            EXPECT_EQ("", text(c, SQL_DESC_CATALOG_NAME)) << c;
            EXPECT_EQ(baseColumns[c - 1], text(c, SQL_DESC_BASE_COLUMN_NAME)) << c;
            if (!column) {
                EXPECT_EQ(SQLLEN(SQL_ATTR_READONLY), number(c, SQL_DESC_UPDATABLE)) << c;
            }
        }
        // The ODBC 2 attributes read the same names.
        char t2[130] = {};
        SQLSMALLINT l2 = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLColAttributes(h, 2, SQL_COLUMN_TABLE_NAME, t2, sizeof t2, &l2, nullptr)) << DiagOf(h);
        EXPECT_EQ(t, std::string(t2));
        // The result's own names stay the result's.
        EXPECT_EQ("label", text(1, SQL_DESC_NAME));
        EXPECT_EQ("label", text(1, SQL_DESC_LABEL));
        // Through the implementation row descriptor as well.
        SQLHDESC ird = nullptr;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(h, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr));
        char buf[130] = {};
        SQLINTEGER len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ird, 1, SQL_DESC_BASE_TABLE_NAME, buf, sizeof buf, &len));
        EXPECT_EQ(t, std::string(buf));
        ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ird, 1, SQL_DESC_BASE_COLUMN_NAME, buf, sizeof buf, &len));
        EXPECT_EQ("name", std::string(buf));
    }
}

// SQL_BEST_ROWID names the tuple id only where it addresses a row stably.
TEST_P(CursorLayer, SpecialColumnsNameTheTupleIdOfTablesOnly) {
    MakeTable("rowidt", 1);
    const std::string view = Table("rowidv");
    Exec("drop view " + view);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create view " + view + " as select id, name from " + t);
    auto best = [&](const std::string& name) {
        SQLHSTMT h = NewStmt();
        EXPECT_EQ(SQL_SUCCESS, SQLSpecialColumns(h, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, (SQLCHAR*)name.c_str(),
                                                 SQL_NTS, SQL_SCOPE_CURROW, SQL_NULLABLE))
            << DiagOf(h);
        std::vector<std::string> cols;
        char buf[130] = {};
        SQLLEN len = 0;
        while (SQLFetch(h) == SQL_SUCCESS) {
            SQLGetData(h, 2, SQL_C_CHAR, buf, sizeof buf, &len);
            cols.push_back(buf);
        }
        return cols;
    };
    EXPECT_EQ(std::vector<std::string>{"tid"}, best(t));
    EXPECT_TRUE(best(view).empty()) << "a view has no tuple id";
    EXPECT_TRUE(best("iitables").empty()) << "nor has a system catalog";
    // What the table's tid names is a row.
    EXPECT_EQ("r1", Scalar("select name from " + t + " where tid = (select min(tid) from " + t + ")"));
    Exec("drop view " + view);
}

INSTANTIATE_TEST_SUITE_P(Builds, CursorLayer, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
