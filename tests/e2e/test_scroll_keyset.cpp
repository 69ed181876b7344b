// Keyset-driven and mixed cursors through the Driver Manager: every fetch orientation over a
// join, ORDER BY in both directions and by position, parameters in the select list, in
// JOIN ... ON and in WHERE; rows another connection changes or deletes shown at their keys; the
// statements a keyset cannot carry run static with 01S02; a large key set spilled to the cache
// files; mixed cursors rebuilding their key windows; a table dropped under the cursor named.
#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

// The rowset of a fetch, bound column-wise: first column an integer.
struct Rows {
    static constexpr int kMax = 8;
    SQLINTEGER id[kMax] = {};
    SQLLEN ind[kMax] = {};
    SQLUSMALLINT status[kMax] = {};
    SQLULEN fetched = 0;
    void Bind(SQLHSTMT stmt) {
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, id, 0, ind));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    }
    std::vector<int> Ids() const { return std::vector<int>(id, id + fetched); }
};

// A cursor type with the keyset size and concurrency it is asked for with.
struct CursorKind {
    const char* name;
    SQLULEN type, keysetSize, concurrency;
};

class KeysetScroll : public ResultsTest {
protected:
    // Bound for the whole test: the statement keeps pointers into it.
    Rows r;
    SQLHDBC other = SQL_NULL_HDBC;
    SQLHSTMT os = SQL_NULL_HSTMT;

    void TearDown() override {
        if (os) SQLFreeHandle(SQL_HANDLE_STMT, os);
        if (other) {
            SQLDisconnect(other);
            SQLFreeHandle(SQL_HANDLE_DBC, other);
        }
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
            SQLFreeStmt(stmt, SQL_RESET_PARAMS);
            SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
            SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
        }
        ResultsTest::TearDown();
    }
    void SetAttr(SQLINTEGER attr, SQLULEN v) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, attr, reinterpret_cast<SQLPOINTER>(v), 0))) << Diag();
    }
    void Keyset(SQLULEN rowset, SQLULEN keysetSize = 0) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0))
            << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_KEYSET_SIZE, reinterpret_cast<SQLPOINTER>(keysetSize), 0))
            << Diag();
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, rowset);
    }
    void SetCursor(const CursorKind& k, SQLULEN rowset) {
        Keyset(rowset, k.keysetSize);
        SetAttr(SQL_ATTR_CURSOR_TYPE, k.type);
        SetAttr(SQL_ATTR_CONCURRENCY, k.concurrency);
    }
    // The ids of every rowset from the next to the end, bound in r; `end` takes the answer that
    // stopped the fetching.
    std::vector<int> NextRowsets(SQLRETURN* end = nullptr) {
        std::vector<int> seen;
        SQLRETURN rc;
        while ((rc = SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS) {
            const std::vector<int> ids = r.Ids();
            seen.insert(seen.end(), ids.begin(), ids.end());
        }
        if (end) *end = rc;
        return seen;
    }
    SQLULEN CursorType() {
        SQLULEN type = 99;
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr));
        return type;
    }
    void OpenOther() {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &other));
        std::string dsn = Dsn();
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLConnect(other, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)kUser, SQL_NTS, (SQLCHAR*)kPassword, SQL_NTS)))
            << Diag(SQL_HANDLE_DBC, other);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, other, &os));
    }
    void OtherRuns(const std::string& sql) {
        SQLRETURN rc = SQLExecDirect(os, (SQLCHAR*)sql.c_str(), SQL_NTS);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << Diag(SQL_HANDLE_STMT, os);
        SQLFreeStmt(os, SQL_CLOSE);
    }
    // Fills t (id integer primary key, v integer) with ids 1..rows, v = id * 7, by doubling.
    void Fill(const std::string& t, int rows) {
        Must("insert into " + t + " values (1, 7)");
        for (int have = 1; have < rows; have *= 2)
            Must("insert into " + t + " (id, v) select id + " + std::to_string(have) + ", (id + " +
                 std::to_string(have) + ") * 7 from " + t + " where id + " + std::to_string(have) +
                 " <= " + std::to_string(rows));
    }
};

// A join of the sample schema's shape ordered by a column of each table, with markers in the
// select list, in JOIN ... ON and in WHERE: every orientation lands where a forward read of the
// same statement says, and the cursor reads back as keyset-driven without any warning.
TEST_P(KeysetScroll, EveryOrientationOverAJoinWithParameters) {
    std::string dept = Make("ksdept", "deptno integer not null primary key, dname varchar(20) not null, loc char(10)");
    std::string emp = Make("ksemp",
                           "empno integer not null primary key, ename varchar(30) not null, sal decimal(9,2),"
                           " deptno integer");
    Must("insert into " + dept + " values (10, 'Accounting', 'New York')");
    Must("insert into " + dept + " values (20, 'Research', 'Dallas')");
    Must("insert into " + dept + " values (30, 'Sales', NULL)");
    const char* names[] = {"Smith", "Allen", "Ward",   "Jones", "Martin", "Blake", "Clark",
                           "Scott", "King",  "Turner", "Adams", "James",  "Ford",  "Miller"};
    for (int i = 0; i < 14; ++i)
        Must("insert into " + emp + " values (" + std::to_string(7300 + i * 37) + ", '" + names[i] + "', " +
             std::to_string(800 + (i * 431) % 4200) + ", " + std::to_string(10 * (1 + i % 3)) + ")");
    const std::string sql =
        "select e.empno, ? , d.dname from " + emp + " e inner join " + dept +
        " d on d.deptno = e.deptno and d.deptno <> ? where e.sal > ? order by d.dname desc, e.ename";
    SQLINTEGER one = 1, skip = 30, floor = 1000;
    auto bind = [&] {
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &one, 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &skip, 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &floor, 0, nullptr));
    };
    bind();
    const std::vector<int> all = ForwardIds(sql);
    ASSERT_GE(all.size(), 6u);
    const long N = long(all.size());
    Keyset(3);
    SetAttr(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    EXPECT_EQ(SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), CursorType());
    SQLLEN count = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
    EXPECT_EQ(N, count);
    r.Bind(stmt);
    SQLINTEGER second[Rows::kMax] = {};
    SQLLEN secondInd[Rows::kMax] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_LONG, second, 0, secondInd));
    struct Step {
        SQLSMALLINT orientation;
        SQLLEN offset;
        long first;  // expected rowset start, 0 for no data
    };
    const Step steps[] = {
        {SQL_FETCH_NEXT, 0, 1},         {SQL_FETCH_NEXT, 0, 4},          {SQL_FETCH_PRIOR, 0, 1},
        {SQL_FETCH_LAST, 0, N - 2},     {SQL_FETCH_RELATIVE, -2, N - 4}, {SQL_FETCH_ABSOLUTE, 2, 2},
        {SQL_FETCH_ABSOLUTE, -1, N},    {SQL_FETCH_FIRST, 0, 1},         {SQL_FETCH_RELATIVE, 2, 3},
        {SQL_FETCH_PRIOR, 0, 1},        {SQL_FETCH_PRIOR, 0, 0},         {SQL_FETCH_NEXT, 0, 1},
        {SQL_FETCH_ABSOLUTE, N + 1, 0}, {SQL_FETCH_PRIOR, 0, N - 2},
    };
    for (const Step& s : steps) {
        SQLRETURN rc = SQLFetchScroll(stmt, s.orientation, s.offset);
        if (s.first == 0) {
            EXPECT_EQ(SQL_NO_DATA, rc) << s.orientation << " " << s.offset;
            continue;
        }
        ASSERT_EQ(SQL_SUCCESS, rc) << s.orientation << " " << s.offset << ": " << Diag();
        EXPECT_EQ(Slice(all, s.first, 3), r.Ids()) << s.orientation << " " << s.offset;
        for (SQLULEN i = 0; i < r.fetched; ++i) {
            EXPECT_EQ(SQL_ROW_SUCCESS, r.status[i]);
            EXPECT_EQ(1, second[i]);
        }
    }
    // Bookmarks are the rows' numbers: fetching one lands on its row. The statement runs again
    // after its cursor is closed.
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 4)) << Diag();
    EXPECT_EQ(Slice(all, 4, 3), r.Ids());
    SQLBIGINT bookmark = 0;  // a variable-length bookmark holds the row number in its first 4 bytes
    SQLLEN bmLen = 0;
    SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 1);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 5)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 0, SQL_C_VARBOOKMARK, &bookmark, sizeof bookmark, &bmLen)) << Diag();
    EXPECT_EQ(5, bookmark);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, &bookmark, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, 1)) << Diag();
    EXPECT_EQ(all[5], r.id[0]);
    // A cursor's type is fixed while its result is open.
    EXPECT_EQ(SQL_ERROR,
              SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0));
    EXPECT_EQ("24000", Diag().substr(0, 5));
    EXPECT_EQ(SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), CursorType());
}

// ORDER BY ascending, descending and by select-list position, each read back whole in rowsets
// of four with NEXT and then backwards with PRIOR.
TEST_P(KeysetScroll, OrderByDirectionsAndPositions) {
    std::string t = Make("ksord", "id integer not null primary key, v integer, name varchar(12)");
    for (int i = 1; i <= 23; ++i)
        Must("insert into " + t + " values (" + std::to_string(i) + ", " + std::to_string((i * 11) % 7) + ", 'n" +
             std::to_string(i) + "')");
    for (const std::string order : {"order by id", "order by id desc", "order by 2 desc, 1", "order by v, name desc"}) {
        const std::string sql = "select id, v from " + t + " " + order;
        const std::vector<int> all = ForwardIds(sql);
        ASSERT_EQ(23u, all.size());
        Keyset(4);
        ASSERT_EQ(SQL_SUCCESS, Exec(sql)) << order << ": " << Diag();
        EXPECT_EQ(SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), CursorType()) << order;
        r.Bind(stmt);
        const std::vector<int> seen = NextRowsets();
        EXPECT_EQ(all, seen) << order;
        // Backwards from after the end: the last rowset, then by four, then the first rowset, which
        // the rowset before it overlaps.
        for (long start : {20L, 16L, 12L, 8L, 4L, 1L}) {
            ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0)) << order << " " << start << ": " << Diag();
            EXPECT_EQ(Slice(all, start, 4), r.Ids()) << order << " " << start;
        }
        EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0)) << order;
        SQLFreeStmt(stmt, SQL_UNBIND);
    }
    // The maximum rows of a SELECT bound the key set.
    const std::vector<int> all = ForwardIds("select id from " + t + " order by id desc");
    Keyset(4);
    SetAttr(SQL_ATTR_MAX_ROWS, 10);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t + " order by id desc")) << Diag();
    r.Bind(stmt);
    SQLLEN count = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
    EXPECT_EQ(10, count);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
    EXPECT_EQ(Slice(all, 7, 4), r.Ids());
    SetAttr(SQL_ATTR_MAX_ROWS, 0);
}

// ORDER BY a result column's name orders as its position does, on every cursor that builds its
// own statements from the ORDER BY (a keyed static one, keyset-driven, mixed, dynamic): by the
// select item the alias names, even where the alias is also a column of the table; without any
// warning and the cursor kept. An alias of an expression is refused as its position is (IM919).
TEST_P(KeysetScroll, OrderByResultColumnNamesOnEveryCursor) {
    std::string t = Make("ksalias", "id integer not null primary key, a integer, b integer");
    const int n = 11;
    auto aOf = [](int id) { return (id * 4) % 11; };
    auto bOf = [](int id) { return 100 - (id % 3) * 10; };
    for (int id = 1; id <= n; ++id)
        Must("insert into " + t + " values (" + std::to_string(id) + ", " + std::to_string(aOf(id)) + ", " +
             std::to_string(bOf(id)) + ")");
    // The ids in the order of a key computed per id (ties by id).
    auto orderedBy = [&](auto key) {
        std::vector<int> ids;
        for (int id = 1; id <= n; ++id) ids.push_back(id);
        std::stable_sort(ids.begin(), ids.end(), [&](int x, int y) { return key(x) < key(y); });
        return ids;
    };
    const struct {
        std::string sql;
        std::vector<int> ids;
    } cases[] = {
        {"select id, a as z from " + t + " order by z", orderedBy(aOf)},
        {"select id, a z from " + t + " order by z desc", orderedBy([&](int id) { return -aOf(id); })},
        {"select id, b as a from " + t + " order by a, id", orderedBy(bOf)},
        {"select id as \"K\", a from " + t + " order by \"K\" desc", orderedBy([](int id) { return -id; })},
        {"select id, b as Zed, a from " + t + " order by zed desc, 3",
         orderedBy([&](int id) { return -bOf(id) * 100 + aOf(id); })},
    };
    for (const CursorKind& k : {CursorKind{"static, lock", SQL_CURSOR_STATIC, 0, SQL_CONCUR_LOCK},
                                CursorKind{"keyset-driven", SQL_CURSOR_KEYSET_DRIVEN, 0, SQL_CONCUR_READ_ONLY},
                                CursorKind{"mixed", SQL_CURSOR_KEYSET_DRIVEN, 5, SQL_CONCUR_VALUES},
                                CursorKind{"dynamic", SQL_CURSOR_DYNAMIC, 0, SQL_CONCUR_READ_ONLY}}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(k.name) + ": " + c.sql);
            EXPECT_EQ(c.ids, ForwardIds(c.sql));
            SetCursor(k, 4);
            ASSERT_EQ(SQL_SUCCESS, Exec(c.sql)) << Diag();
            EXPECT_EQ(k.type, CursorType());
            r.Bind(stmt);
            SQLRETURN frc = SQL_SUCCESS;
            const std::vector<int> seen = NextRowsets(&frc);
            EXPECT_EQ(SQL_NO_DATA, frc) << Diag();
            EXPECT_EQ(c.ids, seen);
            ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
            EXPECT_EQ(Slice(c.ids, n - 3, 4), r.Ids());
            ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0)) << Diag();
            EXPECT_EQ(Slice(c.ids, n - 7, 4), r.Ids());
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
            SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY);
        }
        SetCursor(k, 4);
        for (const char* order : {"z", "1"}) {
            EXPECT_EQ(SQL_ERROR, Exec("select a + 1 as z from " + t + " order by " + order)) << order;
            EXPECT_EQ("IM919", Diag().substr(0, 5)) << order;
        }
        SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY);
    }
}

// Another connection changes rows after the key set is read: updated values (an ORDER BY column
// among them) show at their keys, a deleted row shows SQL_ROW_DELETED and the rows after it stay
// where they were.
TEST_P(KeysetScroll, OtherConnectionsChangesShowAtTheirKeys) {
    std::string t = Make("ksupd", "id integer not null primary key, grp integer, name varchar(12)");
    for (int i = 1; i <= 8; ++i)
        Must("insert into " + t + " values (" + std::to_string(i) + ", " + std::to_string(i) + ", 'n" +
             std::to_string(i) + "')");
    OpenOther();
    Keyset(5);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, grp, name from " + t + " order by grp")) << Diag();
    r.Bind(stmt);
    SQLINTEGER grp[Rows::kMax] = {};
    SQLLEN grpInd[Rows::kMax] = {};
    SQLCHAR name[Rows::kMax][13] = {};
    SQLLEN nameInd[Rows::kMax] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_LONG, grp, 0, grpInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 3, SQL_C_CHAR, name, 13, nameInd));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5}), r.Ids());
    OtherRuns("update " + t + " set name = 'changed' where id = 2");
    OtherRuns("update " + t + " set grp = 0 where id = 4");  // would sort first now
    OtherRuns("delete from " + t + " where id = 3");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0))) << Diag();
    ASSERT_EQ(5u, r.fetched);
    EXPECT_EQ(SQL_ROW_SUCCESS, r.status[0]);
    EXPECT_EQ(1, r.id[0]);
    EXPECT_EQ(SQL_ROW_SUCCESS, r.status[1]);
    EXPECT_EQ(2, r.id[1]);
    EXPECT_STREQ("changed", reinterpret_cast<char*>(name[1]));
    EXPECT_EQ(SQL_ROW_DELETED, r.status[2]);
    EXPECT_EQ(SQL_ROW_SUCCESS, r.status[3]);
    EXPECT_EQ(4, r.id[3]);
    EXPECT_EQ(0, grp[3]);
    EXPECT_EQ(5, r.id[4]);
    EXPECT_EQ(5, grp[4]);
    // The deleted key stays deleted, seen from any rowset that holds it.
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 2))) << Diag();
    EXPECT_EQ(SQL_ROW_DELETED, r.status[1]);
    EXPECT_EQ(5, r.id[3]);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(stmt, SQL_FETCH_LAST, 0))) << Diag();
    EXPECT_EQ((std::vector<int>{4, 5, 6, 7, 8}), std::vector<int>({r.id[0], r.id[1], r.id[2], r.id[3], r.id[4]}));
    // A new execution reads the key set again: the deleted row is gone and id 4 sorts first.
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, grp, name from " + t + " order by grp")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{4, 1, 2, 5, 6}), r.Ids());
}

// Statements a keyset cannot carry: the cursor runs static and read-only, the application is
// told with 01S02, the type reads back as static, and the rows scroll.
TEST_P(KeysetScroll, UncarriableStatementsRunStaticWith01S02) {
    std::string t = Make("ksdown", "id integer not null primary key, g integer");
    std::string u = Make("ksdown2", "k integer, w integer");
    for (int i = 1; i <= 6; ++i)
        Must("insert into " + t + " values (" + std::to_string(i) + ", " + std::to_string(i % 2) + ")");
    Must("insert into " + u + " values (1, 10)");
    Exec("drop view " + Table("ksdownv"));
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create view " + Table("ksdownv") + " as select id, g from " + t);
    struct Case {
        std::string what, sql;
        int rows;
    } cases[] = {
        {"group by", "select g, count(*) from " + t + " group by g order by g", 2},
        {"union", "select id from " + t + " where id < 3 union select id from " + t + " where id > 4 order by 1", 4},
        {"outer join",
         "select " + t + ".id from " + t + " left join " + u + " on " + u + ".k = " + t + ".id order by 1", 6},
        {"unparsable", "select id from " + t + " order by id limit 100", 6},
    };
    for (const Case& c : cases) {
        Keyset(2);
        SQLRETURN rc = Exec(c.sql);
        ASSERT_EQ(SQL_SUCCESS_WITH_INFO, rc) << c.what << ": " << Diag();
        EXPECT_EQ("01S02", Diag().substr(0, 5)) << c.what;
        EXPECT_EQ(SQLULEN(SQL_CURSOR_STATIC), CursorType()) << c.what;
        r.Bind(stmt);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << c.what << ": " << Diag();
        EXPECT_EQ(2u, r.fetched) << c.what;
        const std::vector<int> lastTwo = r.Ids();
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << c.what << ": " << Diag();
        SQLLEN count = -1;
        ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
        EXPECT_EQ(c.rows, count) << c.what;
        std::vector<int> seen = r.Ids();
        const std::vector<int> rest = NextRowsets();
        seen.insert(seen.end(), rest.begin(), rest.end());
        SQLFreeStmt(stmt, SQL_UNBIND);
        EXPECT_EQ(ForwardIds(c.sql), seen) << c.what;
        EXPECT_EQ(Slice(seen, long(seen.size()) - 1, 2), lastTwo) << c.what;
    }
    // More markers than leave room for one key in a fetch by keys.
    {
        std::string in;
        for (int i = 0; i < 100; ++i) in += i ? ", ?" : "?";
        SQLINTEGER two = 2;
        Keyset(2);
        for (SQLUSMALLINT p = 1; p <= 100; ++p)
            ASSERT_EQ(SQL_SUCCESS,
                      SQLBindParameter(stmt, p, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &two, 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS_WITH_INFO, Exec("select id from " + t + " where id in (" + in + ")")) << Diag();
        EXPECT_EQ(SQLULEN(SQL_CURSOR_STATIC), CursorType());
        r.Bind(stmt);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
        EXPECT_EQ((std::vector<int>{2}), r.Ids());
        SQLFreeStmt(stmt, SQL_UNBIND);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    }
    // A view has no row id of its own: its rows are read static with 01S02 where the catalog
    // says so, and where it offers a row id the view cannot give, the execution fails (IM909)
    // rather than show rows by keys that name none.
    {
        const std::string sql = "select id from " + Table("ksdownv") + " order by id";
        Keyset(2);
        SQLRETURN rc = Exec(sql);
        if (rc == SQL_ERROR) {
            EXPECT_EQ("IM909", Diag().substr(0, 5));
        } else {
            ASSERT_EQ(SQL_SUCCESS_WITH_INFO, rc) << Diag();
            EXPECT_EQ(SQLULEN(SQL_CURSOR_STATIC), CursorType());
            r.Bind(stmt);
            ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
            EXPECT_EQ((std::vector<int>{5, 6}), r.Ids());
            SQLFreeStmt(stmt, SQL_UNBIND);
        }
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    Exec("drop view " + Table("ksdownv"));
    // A dynamic cursor is granted as asked, and that is what runs.
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ(SQL_SUCCESS,
              SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0));
    EXPECT_EQ(SQLULEN(SQL_CURSOR_DYNAMIC), CursorType());
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t + " order by id")) << Diag();
    r.Bind(stmt);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{5, 6}), r.Ids());
}

// A row of SELECT DISTINCT stands for every table row of its values, so no key names it: every
// cursor that would read rows by their keys runs it static and read-only (01S02), and the rows
// are the distinct ones, not one per table row.
TEST_P(KeysetScroll, DistinctRowsAreReadStatic) {
    std::string t = Make("ksdist", "id integer not null primary key, g integer, h integer");
    for (int i = 1; i <= 9; ++i)
        Must("insert into " + t + " values (" + std::to_string(i) + ", " + std::to_string(i % 3) + ", " +
             std::to_string(i % 2) + ")");
    const std::string sql = "select distinct g, h from " + t + " order by g desc, h";
    const std::vector<int> all = ForwardIds(sql);
    ASSERT_EQ((std::vector<int>{2, 2, 1, 1, 0, 0}), all);
    for (const CursorKind& k : {CursorKind{"static, lock", SQL_CURSOR_STATIC, 0, SQL_CONCUR_LOCK},
                                CursorKind{"static, values", SQL_CURSOR_STATIC, 0, SQL_CONCUR_VALUES},
                                CursorKind{"keyset-driven", SQL_CURSOR_KEYSET_DRIVEN, 0, SQL_CONCUR_READ_ONLY},
                                CursorKind{"mixed", SQL_CURSOR_KEYSET_DRIVEN, 4, SQL_CONCUR_LOCK},
                                CursorKind{"dynamic", SQL_CURSOR_DYNAMIC, 0, SQL_CONCUR_VALUES}}) {
        SCOPED_TRACE(k.name);
        SetCursor(k, 2);
        ASSERT_EQ(SQL_SUCCESS_WITH_INFO, Exec(sql)) << Diag();
        EXPECT_EQ("01S02", Diag().substr(0, 5));
        EXPECT_EQ(SQLULEN(SQL_CURSOR_STATIC), CursorType());
        SQLULEN concurrency = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &concurrency, 0, nullptr));
        EXPECT_EQ(SQLULEN(SQL_CONCUR_READ_ONLY), concurrency);
        r.Bind(stmt);
        const std::vector<int> seen = NextRowsets();
        EXPECT_EQ(all, seen);
        SQLLEN count = -1;
        ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
        EXPECT_EQ(6, count);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY);
    }
}

// A key set larger than the cache keeps in memory: the keys spill to the cache files and random
// absolute fetches read the right rows. TV_KEYSET_ROWS sets the size (10^6 for the long run).
TEST_P(KeysetScroll, LargeKeySetSpillsAndScrolls) {
    long rows = 100000;
    if (const char* env = std::getenv("TV_KEYSET_ROWS"); env && std::atol(env) > 0) rows = std::atol(env);
    std::string t = Make("ksbig", "id integer not null primary key, v integer");
    Fill(t, int(rows));
    Keyset(4);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, v from " + t + " order by id desc")) << Diag();
    r.Bind(stmt);
    SQLINTEGER v[Rows::kMax] = {};
    SQLLEN vInd[Rows::kMax] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_LONG, v, 0, vInd));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{4, 3, 2, 1}), r.Ids());
    SQLLEN count = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
    EXPECT_EQ(rows, count);
    std::mt19937 gen(23);
    std::uniform_int_distribution<long> pick(1, rows - 3);
    for (int i = 0; i < 300; ++i) {
        const long at = pick(gen);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, at)) << at << ": " << Diag();
        ASSERT_EQ(4u, r.fetched);
        EXPECT_EQ(rows - at + 1, r.id[0]) << at;
        EXPECT_EQ((rows - at - 2) * 7, v[3]) << at;
    }
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, -1)) << Diag();
    EXPECT_EQ(1, r.id[0]);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, -(rows / 2))) << Diag();
    EXPECT_EQ(rows / 2 + 1, r.id[0]);
}

// The table under an open cursor dropped: what the cursor layer then runs on statements of its
// own (rows read by their keys, a dynamic cursor's next rows, the columns a lock-concurrency row
// change looks up) fails, and the application reads the reason, naming the table, not a bare
// "General error"; the statement closes and runs again on a table of the name.
TEST_P(KeysetScroll, ATableDroppedUnderTheCursorIsNamed) {
    const std::string t = Table("ksgone");
    struct Case {
        const char* what;
        SQLULEN type, concurrency;
        bool change;  // the failing call is SQLSetPos(SQL_UPDATE), else a fetch
        std::string message;
    };
    const std::string server = "[Corvanta][ODBC][IngresII Server]Table or view not found: no such table: " + t;
    const Case cases[] = {
        {"keyset-driven, rows by their keys", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, false, server},
        {"dynamic, the next rows", SQL_CURSOR_DYNAMIC, SQL_CONCUR_READ_ONLY, false, server},
        {"static with locks, the change's columns", SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, true,
         "[Corvanta][ODBC][Driver]Table or view not found: the catalog lists no columns of "},
    };
    SQLHSTMT dropper = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &dropper));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLExecDirect(dropper, (SQLCHAR*)("drop table " + t).c_str(), SQL_NTS);
        Must("create table " + t + " (id integer not null primary key, v integer)");
        Fill(t, 6);
        SetAttr(SQL_ATTR_CURSOR_TYPE, c.type);
        SetAttr(SQL_ATTR_CONCURRENCY, c.concurrency);
        SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, 2);
        ASSERT_EQ(SQL_SUCCESS, Exec("select id, v from " + t + " order by id")) << Diag();
        r.Bind(stmt);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(dropper, (SQLCHAR*)("drop table " + t).c_str(), SQL_NTS))
            << Diag(SQL_HANDLE_STMT, dropper);
        const SQLRETURN rc =
            c.change ? SQLSetPos(stmt, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE) : SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0);
        EXPECT_EQ(SQL_ERROR, rc);
        const ::Diag d = FirstDiag(SQL_HANDLE_STMT, stmt);
        EXPECT_EQ("42S02", d.state);
        EXPECT_EQ(c.message, d.message.substr(0, c.message.size()));
        EXPECT_NE(std::string::npos, d.message.find(t)) << d.message;
        EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));
        Must("create table " + t + " (id integer not null primary key, v integer)");
        Fill(t, 3);
        ASSERT_EQ(SQL_SUCCESS, Exec("select id, v from " + t + " order by id")) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
        EXPECT_EQ((std::vector<int>{2, 3}), r.Ids());
        SQLFreeStmt(stmt, SQL_UNBIND);
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLExecDirect(dropper, (SQLCHAR*)("drop table " + t).c_str(), SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, dropper);
}

// Mixed cursors: a key window of 6 keys over 20 rows, rowsets of 2. Walking forward and back
// crosses the window's edges many times; every rowset is the one a forward read says.
TEST_P(KeysetScroll, MixedCursorsRebuildTheirWindows) {
    std::string t = Make("ksmix", "id integer not null primary key, v integer");
    for (int i = 1; i <= 20; ++i)
        Must("insert into " + t + " values (" + std::to_string(i) + ", " + std::to_string((i * 7) % 5) + ")");
    const std::string sql = "select id, v from " + t + " where id <> ? order by v desc, id";
    SQLINTEGER gone = 13;
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &gone, 0, nullptr));
    const std::vector<int> all = ForwardIds(sql);
    ASSERT_EQ(19u, all.size());
    const long N = 19;
    Keyset(2, 6);
    ASSERT_EQ(SQL_SUCCESS, Exec(sql)) << Diag();
    EXPECT_EQ(SQLULEN(SQL_CURSOR_KEYSET_DRIVEN), CursorType());
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_KEYSET_SIZE, &size, 0, nullptr));
    EXPECT_EQ(6u, size);
    r.Bind(stmt);
    // Model of the position: the start of the current rowset (1-based), 0 before, N+1 after.
    long pos = 0;
    auto check = [&](SQLSMALLINT o, SQLLEN off, long expect) {
        SQLRETURN rc = SQLFetchScroll(stmt, o, off);
        if (expect <= 0 || expect > N) {
            EXPECT_EQ(SQL_NO_DATA, rc) << o << " " << off << " from " << pos;
            pos = expect <= 0 ? 0 : N + 1;
            return;
        }
        ASSERT_EQ(SQL_SUCCESS, rc) << o << " " << off << " from " << pos << ": " << Diag();
        EXPECT_EQ(Slice(all, expect, 2), r.Ids()) << o << " " << off << " from " << pos;
        pos = expect;
    };
    for (int i = 0; i < 10; ++i) check(SQL_FETCH_NEXT, 0, 1 + 2 * i);
    check(SQL_FETCH_NEXT, 0, N + 1);
    check(SQL_FETCH_PRIOR, 0, N - 1);
    for (long s = N - 3; s >= 1; s -= 2) check(SQL_FETCH_PRIOR, 0, s);
    check(SQL_FETCH_LAST, 0, N - 1);
    check(SQL_FETCH_RELATIVE, -7, N - 8);
    check(SQL_FETCH_RELATIVE, 9, N + 1);  // past the last row
    check(SQL_FETCH_FIRST, 0, 1);
    check(SQL_FETCH_RELATIVE, 11, 12);
    check(SQL_FETCH_RELATIVE, -3, 9);
    check(SQL_FETCH_RELATIVE, 1, 10);
    check(SQL_FETCH_RELATIVE, -9, 1);
    check(SQL_FETCH_PRIOR, 0, 0);
    check(SQL_FETCH_NEXT, 0, 1);
    // Mixed cursors keep no row numbers: ABSOLUTE and bookmarks are not offered on them.
    EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 3));
    EXPECT_EQ("HYC00", Diag().substr(0, 5));
}

// SQL_ATTR_MAX_ROWS cuts a mixed cursor's result, whether the cut falls inside the first window or
// beyond it, or past the rows there are: NEXT stops after it, LAST ends at it, RELATIVE cannot
// pass it, whichever windows the cursor reads on the way.
TEST_P(KeysetScroll, MixedCursorsHoldMaximumRows) {
    std::string t = Make("ksmixmax", "id integer not null primary key, v integer");
    for (int i = 1; i <= 20; ++i)
        Must("insert into " + t + " values (" + std::to_string(i) + ", " + std::to_string((i * 7) % 5) + ")");
    const std::string sql = "select id, v from " + t + " where id <> ? order by v desc, id";
    SQLINTEGER gone = 13;
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &gone, 0, nullptr));
    const std::vector<int> all = ForwardIds(sql);
    ASSERT_EQ(19u, all.size());
    struct Case {
        SQLULEN keysetSize, maxRows;
    };
    for (Case k : {Case{3, 7}, Case{6, 5}, Case{2, 8}, Case{4, 3 * 4}, Case{3, 25}}) {
        SCOPED_TRACE("keyset size " + std::to_string(k.keysetSize) + ", max rows " + std::to_string(k.maxRows));
        const long N = long(std::min<SQLULEN>(k.maxRows, all.size()));
        const std::vector<int> cut(all.begin(), all.begin() + N);
        Keyset(2, k.keysetSize);
        SetAttr(SQL_ATTR_MAX_ROWS, k.maxRows);
        ASSERT_EQ(SQL_SUCCESS, Exec(sql)) << Diag();
        r.Bind(stmt);
        long pos = 0;
        auto check = [&](SQLSMALLINT o, SQLLEN off, long expect) {
            SQLRETURN rc = SQLFetchScroll(stmt, o, off);
            if (expect <= 0 || expect > N) {
                EXPECT_EQ(SQL_NO_DATA, rc) << o << " " << off << " from " << pos;
                pos = expect <= 0 ? 0 : N + 1;
                return;
            }
            ASSERT_EQ(SQL_SUCCESS, rc) << o << " " << off << " from " << pos << ": " << Diag();
            EXPECT_EQ(Slice(cut, expect, 2), r.Ids()) << o << " " << off << " from " << pos;
            pos = expect;
        };
        for (long s = 1; s <= N; s += 2) check(SQL_FETCH_NEXT, 0, s);
        check(SQL_FETCH_NEXT, 0, N + 1);
        check(SQL_FETCH_PRIOR, 0, N - 1);
        for (long s = N - 3; s >= 1; s -= 2) check(SQL_FETCH_PRIOR, 0, s);
        check(SQL_FETCH_LAST, 0, N - 1);
        check(SQL_FETCH_RELATIVE, -3, N - 4);
        check(SQL_FETCH_RELATIVE, 3, N - 1);
        check(SQL_FETCH_RELATIVE, 2, N + 1);
        check(SQL_FETCH_FIRST, 0, 1);
        check(SQL_FETCH_RELATIVE, N - 1, N);
        check(SQL_FETCH_NEXT, 0, N + 1);
        check(SQL_FETCH_FIRST, 0, 1);
        check(SQL_FETCH_RELATIVE, N, N + 1);
        check(SQL_FETCH_LAST, 0, N - 1);
        check(SQL_FETCH_PRIOR, 0, N - 3);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SetAttr(SQL_ATTR_MAX_ROWS, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, KeysetScroll, ::testing::ValuesIn(DriverBuilds()),
                         [](const ::testing::TestParamInfo<DriverBuild>& i) { return BuildName(i.param); });

}  // namespace
}  // namespace resultstest
