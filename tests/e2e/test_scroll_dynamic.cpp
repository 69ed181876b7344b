// Dynamic cursors through the Driver Manager: every orientation they serve over nullable and
// descending ORDER BY columns lands where the ODBC rules put it (and mixed cursors, which seek
// the same way, read nullable orders whole); rows another connection inserts
// and deletes show at the next fetch; ABSOLUTE and BOOKMARK are refused; with high sensitivity a
// row another connection changes reads as updated once (its versions kept in VOVURA), a cursor's
// VOVURA rows go when it closes, and cursors of one process or of two keep rows of their own;
// without VOVURA a highly sensitive dynamic cursor fails with IM926.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "results_fixture.h"

extern char** environ;

namespace resultstest {
namespace {

struct Rows {
    static constexpr int kMax = 8;
    SQLINTEGER id[kMax] = {};
    SQLLEN ind[kMax] = {};
    SQLCHAR name[kMax][16] = {};
    SQLLEN nameInd[kMax] = {};
    SQLUSMALLINT status[kMax] = {};
    SQLULEN fetched = 0;
    void Bind(SQLHSTMT stmt, bool withName) {
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, id, 0, ind));
        if (withName) {
            ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, name, sizeof name[0], nameInd));
        }
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, status, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    }
    std::vector<int> Ids() const { return std::vector<int>(id, id + fetched); }
    std::vector<int> Statuses() const { return std::vector<int>(status, status + fetched); }
    std::string Name(int i) const { return nameInd[i] == SQL_NULL_DATA ? "(null)" : (const char*)name[i]; }
};

std::string IicreatedbTool() {
    std::string tool = std::string(TV_BUILD_DIR) + "/bin/iicreatedb";
    if (const char* env = std::getenv("TV_BUILD_DIR"); env && *env) tool = std::string(env) + "/bin/iicreatedb";
    return tool;
}

// The ODBC rules for the first row of the next rowset (0 before the start, N + 1 after the end).
struct Model {
    long total, n, start = 0;
    // false when the fetch returns SQL_NO_DATA.
    bool Move(SQLSMALLINT orientation, long offset) {
        const long after = total + 1;
        auto absolute = [&](long o) {
            if (o > 0) {
                start = o > total ? after : o;
            } else if (total + o + 1 >= 1) {
                start = total + o + 1;
            } else {
                start = -o > n ? 0 : 1;
            }
        };
        switch (orientation) {
            case SQL_FETCH_FIRST:
                start = total ? 1 : after;
                break;
            case SQL_FETCH_LAST:
                start = total ? (total < n ? 1 : total - n + 1) : 0;
                break;
            case SQL_FETCH_NEXT:
                if (start == 0)
                    start = total ? 1 : after;
                else if (start != after)
                    start = start + n > total ? after : start + n;
                break;
            case SQL_FETCH_PRIOR:
                if (start == after)
                    start = total < n ? 1 : total - n + 1;
                else if (start == 1)
                    start = 0;
                else if (start > 1)
                    start = start <= n ? 1 : start - n;
                break;
            case SQL_FETCH_RELATIVE:
                if (start == 0)
                    offset > 0 ? absolute(offset) : void(start = 0);
                else if (start == after)
                    offset < 0 ? absolute(offset) : void(start = after);
                else if (start == 1 && offset < 0)
                    start = 0;
                else if (start + offset < 1)
                    start = -offset > n ? 0 : 1;
                else
                    start = start + offset > total ? after : start + offset;
                break;
        }
        return start >= 1 && start <= total;
    }
};

class DynamicScroll : public ResultsTest {
protected:
    Rows r;
    SQLHDBC other = SQL_NULL_HDBC;
    SQLHSTMT os = SQL_NULL_HSTMT;

    void TearDown() override {
        CloseOther();
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
            SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
            SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
        }
        ResultsTest::TearDown();
    }
    void CloseOther() {
        if (os) SQLFreeHandle(SQL_HANDLE_STMT, os);
        os = SQL_NULL_HSTMT;
        if (other) {
            SQLDisconnect(other);
            SQLFreeHandle(SQL_HANDLE_DBC, other);
        }
        other = SQL_NULL_HDBC;
    }
    // The application's connection again, to a database of this test's own (with VOVURA or not)
    // and the sensitivity asked for.
    std::string OwnDatabase(bool vovura) const {
        return std::string(vovura ? "dynrv" : "dynplain") + (GetParam().wide ? "_w" : "_n");
    }
    std::string ConnectionString(bool vovura, const char* sensitivity) const {
        return "DRIVER={" + DriverName() + "};DSN=" + OwnDatabase(vovura) + ";UID=" + kUser + ";PWD=" + kPassword +
               ";DYN_CURS_SENSITIVITY=" + sensitivity;
    }
    void Reconnect(bool vovura, const char* sensitivity) {
        std::string cmd = IicreatedbTool() + " -u " + kUser + " -P " + kPassword + (vovura ? " -r " : " ") +
                          OwnDatabase(vovura) + " >/dev/null 2>&1";
        std::system(cmd.c_str());  // an existing database is kept
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        stmt = SQL_NULL_HSTMT;
        SQLDisconnect(dbc);
        std::string in = ConnectionString(vovura, sensitivity);
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
            << Diag(SQL_HANDLE_DBC, dbc);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    }
    void Dynamic(SQLHSTMT h, SQLULEN rowset) {
        SQLFreeStmt(h, SQL_CLOSE);
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0))
            << Diag(SQL_HANDLE_STMT, h);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowset), 0));
    }
    SQLULEN CursorType(SQLHSTMT h) {
        SQLULEN type = 99;
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, &type, 0, nullptr));
        return type;
    }
    // The other connection goes to the database the application's is on.
    void OpenOther(const std::string& in) {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &other));
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLDriverConnect(other, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
            << Diag(SQL_HANDLE_DBC, other);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, other, &os));
    }
    void OpenOtherOnSample() {
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
    long OtherCount(const std::string& sql) {
        SQLINTEGER n = -1;
        SQLLEN ind = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(os, (SQLCHAR*)sql.c_str(), SQL_NTS)) << sql << Diag(SQL_HANDLE_STMT, os);
        SQLBindCol(os, 1, SQL_C_LONG, &n, 0, &ind);
        EXPECT_EQ(SQL_SUCCESS, SQLFetch(os)) << sql;
        SQLFreeStmt(os, SQL_CLOSE);
        SQLFreeStmt(os, SQL_UNBIND);
        return n;
    }
    bool HasState(SQLSMALLINT type, SQLHANDLE h, const char* state) {
        for (SQLSMALLINT i = 1;; ++i) {
            SQLCHAR st[6] = {}, msg[512] = {};
            SQLINTEGER native = 0;
            SQLSMALLINT len = 0;
            if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, i, st, &native, msg, sizeof msg, &len))) return false;
            if (std::string((const char*)st) == state) return true;
        }
    }
};

// Over ORDER BY a nullable column descending, then a nullable one ascending: each step of a long
// walk through NEXT, PRIOR, FIRST, LAST and RELATIVE in both directions lands where a forward
// read of the same statement and the ODBC rules say.
TEST_P(DynamicScroll, EveryOrientationOverNullableAndDescendingOrder) {
    std::string t = Make("dynord", "id integer not null primary key, grp integer, name varchar(10)");
    const char* names[] = {"delta", nullptr, "alpha", "echo", nullptr, "bravo", "alpha", "kilo",
                           nullptr, "lima",  "alpha", "mike", "bravo", nullptr, "oscar", "papa"};
    for (int i = 0; i < 16; ++i) {
        std::string grp = i % 5 == 0 ? "NULL" : std::to_string(i % 3);
        std::string name = names[i] ? std::string("'") + names[i] + "'" : "NULL";
        Must("insert into " + t + " values (" + std::to_string(100 + i * 7) + ", " + grp + ", " + name + ")");
    }
    for (const std::string order : {"grp desc, name, id", "name desc, id desc", "name, grp desc"}) {
        const std::string sql = "select id, name from " + t + " order by " + order;
        std::vector<int> all = ForwardIds(sql);
        ASSERT_EQ(16u, all.size());
        for (long n : {1L, 3L, 5L}) {
            Dynamic(stmt, SQLULEN(n));
            ASSERT_EQ(SQL_SUCCESS, Exec(sql)) << Diag();
            EXPECT_EQ(SQLULEN(SQL_CURSOR_DYNAMIC), CursorType(stmt));
            r.Bind(stmt, true);
            Model m{16, n};
            const std::pair<SQLSMALLINT, long> steps[] = {
                {SQL_FETCH_NEXT, 0},      {SQL_FETCH_NEXT, 0},      {SQL_FETCH_RELATIVE, 2},  {SQL_FETCH_PRIOR, 0},
                {SQL_FETCH_RELATIVE, -1}, {SQL_FETCH_RELATIVE, 0},  {SQL_FETCH_LAST, 0},      {SQL_FETCH_NEXT, 0},
                {SQL_FETCH_NEXT, 0},      {SQL_FETCH_PRIOR, 0},     {SQL_FETCH_PRIOR, 0},     {SQL_FETCH_RELATIVE, -7},
                {SQL_FETCH_RELATIVE, 9},  {SQL_FETCH_RELATIVE, -4}, {SQL_FETCH_FIRST, 0},     {SQL_FETCH_PRIOR, 0},
                {SQL_FETCH_RELATIVE, 3},  {SQL_FETCH_RELATIVE, 20}, {SQL_FETCH_RELATIVE, -2}, {SQL_FETCH_RELATIVE, -30},
                {SQL_FETCH_RELATIVE, 5},  {SQL_FETCH_RELATIVE, 6},  {SQL_FETCH_RELATIVE, -6}, {SQL_FETCH_RELATIVE, -1},
            };
            int step = 0;
            for (const auto& [orientation, offset] : steps) {
                const bool found = m.Move(orientation, offset);
                SQLRETURN rc = SQLFetchScroll(stmt, orientation, offset);
                const std::string where = order + ", rowset " + std::to_string(n) + ", step " + std::to_string(step++);
                if (!found) {
                    EXPECT_EQ(SQL_NO_DATA, rc) << where << " " << Diag();
                    continue;
                }
                ASSERT_TRUE(SQL_SUCCEEDED(rc)) << where << " " << Diag();
                EXPECT_EQ(Slice(all, m.start, n), r.Ids()) << where;
                EXPECT_EQ(std::vector<int>(r.fetched, SQL_ROW_SUCCESS), r.Statuses()) << where;
            }
            SQLFreeStmt(stmt, SQL_UNBIND);
        }
    }
}

// Mixed cursors seek their key windows the same way: over a nullable ORDER BY column in both
// directions NEXT reads every row in order and PRIOR reads them back (NULLs where the data source
// says they sort).
TEST_P(DynamicScroll, MixedCursorsSeekOverNullableColumnsToo) {
    std::string t = Make("dynmix", "id integer not null primary key, name varchar(10)");
    // An even count: the last rowset (LAST from after the end) and the first ones line up.
    const char* names[] = {"b", nullptr, "a", nullptr, "c", "a", nullptr, "d", "b", nullptr, "e", "a"};
    for (int i = 0; i < 12; ++i) {
        std::string name = names[i] ? std::string("'") + names[i] + "'" : "NULL";
        Must("insert into " + t + " values (" + std::to_string(i + 1) + ", " + name + ")");
    }
    for (const std::string order : {"name, id", "name desc, id"}) {
        const std::string sql = "select id from " + t + " order by " + order;
        std::vector<int> all = ForwardIds(sql);
        SQLFreeStmt(stmt, SQL_CLOSE);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE,
                                              reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_KEYSET_SIZE, reinterpret_cast<SQLPOINTER>(4), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(2), 0));
        ASSERT_EQ(SQL_SUCCESS, Exec(sql)) << Diag();
        r.Bind(stmt, false);
        std::vector<int> forward, backward;
        while (SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0) == SQL_SUCCESS)
            for (int id : r.Ids()) forward.push_back(id);
        EXPECT_EQ(all, forward) << order;
        while (SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0) == SQL_SUCCESS) {
            std::vector<int> ids = r.Ids();
            backward.insert(backward.begin(), ids.begin(), ids.end());
        }
        EXPECT_EQ(all, backward) << order;
        SQLFreeStmt(stmt, SQL_UNBIND);
        SQLSetStmtAttr(stmt, SQL_ATTR_KEYSET_SIZE, reinterpret_cast<SQLPOINTER>(0), 0);
    }
}

// Rows another connection inserts and deletes between fetches: the next fetch shows them where
// the order puts them, without any key set read at execute.
TEST_P(DynamicScroll, SeesRowsInsertedAndDeletedByAnotherConnection) {
    std::string t = Make("dynmove", "id integer not null primary key, name varchar(10)");
    for (int id = 10; id <= 100; id += 10) Must("insert into " + t + " values (" + std::to_string(id) + ", 'r')");
    OpenOtherOnSample();
    if (HasFatalFailure()) return;
    Dynamic(stmt, 3);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t + " order by id")) << Diag();
    r.Bind(stmt, false);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{10, 20, 30}), r.Ids());
    OtherRuns("insert into " + t + " values (15, 'new')");
    OtherRuns("delete from " + t + " where id = 20");
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{10, 15, 30}), r.Ids());
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{40, 50, 60}), r.Ids());
    // The rowset's first row goes: the rows before it are still found from its place.
    OtherRuns("delete from " + t + " where id = 40");
    OtherRuns("insert into " + t + " values (55, 'new')");
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{10, 15, 30}), r.Ids());
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{50, 55, 60}), r.Ids());
    OtherRuns("insert into " + t + " values (200, 'new')");
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_LAST, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{90, 100, 200}), r.Ids());
    ASSERT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    // A row added after the end is found by the next move back from there.
    OtherRuns("insert into " + t + " values (300, 'new')");
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{100, 200, 300}), r.Ids());
    // Every row of the rowset gone: the next rows follow.
    OtherRuns("delete from " + t + " where id >= 50 and id <= 70");
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{80, 90, 100}), r.Ids());
}

// What a dynamic cursor refuses, and what the driver says of it.
TEST_P(DynamicScroll, AbsoluteAndBookmarkRefusedAndInformationAgrees) {
    std::string t = Make("dyninfo", "id integer not null primary key");
    for (int id = 1; id <= 5; ++id) Must("insert into " + t + " values (" + std::to_string(id) + ")");
    Dynamic(stmt, 2);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t + " order by id")) << Diag();
    EXPECT_EQ(SQLULEN(SQL_CURSOR_DYNAMIC), CursorType(stmt));
    r.Bind(stmt, false);
    for (SQLSMALLINT o : {SQL_FETCH_ABSOLUTE, SQL_FETCH_BOOKMARK}) {
        EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, o, 1));
        EXPECT_EQ("HY106", Diag().substr(0, 5));
    }
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{1, 2}), r.Ids());
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLUINTEGER v = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_SCROLL_OPTIONS, &v, 0, nullptr));
    EXPECT_TRUE(v & SQL_SO_DYNAMIC);
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_DYNAMIC_CURSOR_ATTRIBUTES1, &v, 0, nullptr));
    EXPECT_EQ(SQLUINTEGER(SQL_CA1_NEXT | SQL_CA1_RELATIVE | SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION |
                          SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE | SQL_CA1_POS_REFRESH),
              v);
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_DYNAMIC_CURSOR_ATTRIBUTES2, &v, 0, nullptr));
    EXPECT_EQ(SQLUINTEGER(SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY |
                          SQL_CA2_SENSITIVITY_ADDITIONS | SQL_CA2_SENSITIVITY_DELETIONS | SQL_CA2_SENSITIVITY_UPDATES |
                          SQL_CA2_SIMULATE_NON_UNIQUE),
              v);
    // Lock and values concurrency are granted as asked; row versions are no concurrency of this
    // driver, and the application hears that values concurrency stands in.
    for (SQLULEN asked : {SQLULEN(SQL_CONCUR_LOCK), SQLULEN(SQL_CONCUR_VALUES), SQLULEN(SQL_CONCUR_ROWVER)}) {
        SCOPED_TRACE(asked);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLRETURN rc = SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(asked), 0);
        EXPECT_EQ(asked == SQL_CONCUR_ROWVER ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS, rc) << Diag();
        EXPECT_EQ(SQL_SUCCESS, Exec("select id from " + t + " order by id")) << Diag();
        SQLULEN conc = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, &conc, 0, nullptr));
        EXPECT_EQ(asked == SQL_CONCUR_ROWVER ? SQLULEN(SQL_CONCUR_VALUES) : asked, conc);
        EXPECT_EQ(SQLULEN(SQL_CURSOR_DYNAMIC), CursorType(stmt));
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, DynamicScroll, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

// The row versions of highly sensitive cursors: a suite (and a CTest entry) of its own.
using DynamicSensitivity = DynamicScroll;

// High sensitivity on a database with VOVURA: a row another connection changes reads as updated
// once and then as unchanged; each cursor keeps rows of its own, and they go when it closes.
TEST_P(DynamicSensitivity, HighSensitivityReportsOthersUpdatesOnce) {
    Reconnect(true, "HIGH");
    if (HasFatalFailure()) return;
    std::string t = Make("dynver", "id integer not null primary key, name varchar(10)");
    for (int id = 1; id <= 6; ++id) Must("insert into " + t + " values (" + std::to_string(id) + ", 'n')");
    OpenOther(ConnectionString(true, "LOW"));
    if (HasFatalFailure()) return;
    const long before = OtherCount("select count(*) from vovura");
    Dynamic(stmt, 3);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id")) << Diag();
    r.Bind(stmt, true);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{0, 0, 0}), r.Statuses());
    EXPECT_EQ(before + 3, OtherCount("select count(*) from vovura"));
    OtherRuns("update " + t + " set name = 'changed' where id = 2");
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{0, SQL_ROW_UPDATED, 0}), r.Statuses());
    EXPECT_EQ("changed", r.Name(1));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{0, 0, 0}), r.Statuses());
    // A change of a column from an empty text to NULL is a change too.
    OtherRuns("update " + t + " set name = '' where id = 3");
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{0, 0, SQL_ROW_UPDATED}), r.Statuses());
    OtherRuns("update " + t + " set name = NULL where id = 3");
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{0, 0, SQL_ROW_UPDATED}), r.Statuses());

    // A second cursor of the same connection keeps rows of its own.
    SQLHSTMT second = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &second));
    Dynamic(second, 2);
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(second, (SQLCHAR*)("select id from " + t + " order by id").c_str(), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, second);
    SQLINTEGER ids[2] = {};
    SQLUSMALLINT st2[2] = {};
    SQLBindCol(second, 1, SQL_C_LONG, ids, 0, nullptr);
    SQLSetStmtAttr(second, SQL_ATTR_ROW_STATUS_PTR, st2, 0);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(second, SQL_FETCH_FIRST, 0)) << Diag(SQL_HANDLE_STMT, second);
    EXPECT_EQ(SQL_ROW_SUCCESS, st2[0]);
    EXPECT_EQ(2, OtherCount("select count(distinct hcurs) from vovura"));
    EXPECT_EQ(before + 5, OtherCount("select count(*) from vovura"));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, second));
    EXPECT_EQ(before + 3, OtherCount("select count(*) from vovura"));
    // The first cursor's rows were not touched: the rowset reads unchanged.
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{0, 0, 0}), r.Statuses());
    // A closed cursor keeps no rows; run again, it shows a row changed meanwhile as it is now.
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));
    EXPECT_EQ(before, OtherCount("select count(*) from vovura"));
    OtherRuns("update " + t + " set name = 'again' where id = 1");
    ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{0, 0, 0}), r.Statuses());
    EXPECT_EQ("again", r.Name(0));
    EXPECT_EQ(before + 3, OtherCount("select count(*) from vovura"));
    SQLFreeStmt(stmt, SQL_UNBIND);
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt));
    stmt = SQL_NULL_HSTMT;
    EXPECT_EQ(before, OtherCount("select count(*) from vovura"));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
}

// High sensitivity with positioned updates: the cursor's own update stores the row's new version,
// so the next fetch does not tell it as another user's; another connection's change still reads
// as updated. Under both concurrencies.
TEST_P(DynamicSensitivity, HighSensitivityKnowsItsOwnUpdates) {
    Reconnect(true, "HIGH");
    if (HasFatalFailure()) return;
    std::string t = Make("dynown", "id integer not null primary key, name varchar(10)");
    for (int id = 1; id <= 6; ++id) Must("insert into " + t + " values (" + std::to_string(id) + ", 'n')");
    OpenOther(ConnectionString(true, "LOW"));
    if (HasFatalFailure()) return;
    for (SQLULEN conc : {SQLULEN(SQL_CONCUR_LOCK), SQLULEN(SQL_CONCUR_VALUES)}) {
        SCOPED_TRACE(conc);
        Dynamic(stmt, 3);
        ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(conc), 0));
        ASSERT_EQ(SQL_SUCCESS, Exec("select id, name from " + t + " order by id")) << Diag();
        r.Bind(stmt, true);
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
        EXPECT_EQ((std::vector<int>{0, 0, 0}), r.Statuses());
        const std::string mine = conc == SQL_CONCUR_LOCK ? "lock" : "values";
        std::snprintf(reinterpret_cast<char*>(r.name[1]), sizeof r.name[1], "%s", mine.c_str());
        r.nameInd[1] = SQL_NTS;
        r.ind[1] = SQL_COLUMN_IGNORE;
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        r.ind[1] = 0;
        EXPECT_EQ(SQL_ROW_UPDATED, r.status[1]);
        OtherRuns("update " + t + " set name = 'theirs' where id = 3");
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
        EXPECT_EQ((std::vector<int>{0, 0, SQL_ROW_UPDATED}), r.Statuses());
        EXPECT_EQ(mine, r.Name(1));
        EXPECT_EQ("theirs", r.Name(2));
        // Every row of the rowset updated by the cursor: none reads as another user's change.
        for (int i = 0; i < 3; ++i) {
            std::snprintf(reinterpret_cast<char*>(r.name[i]), sizeof r.name[i], "all%d", i);
            r.nameInd[i] = SQL_NTS;
            r.ind[i] = SQL_COLUMN_IGNORE;
        }
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt, 0, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag();
        for (auto& i : r.ind) i = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
        EXPECT_EQ((std::vector<int>{0, 0, 0}), r.Statuses());
        EXPECT_EQ("all2", r.Name(2));
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        OtherRuns("update " + t + " set name = 'n'");
    }
}

// Two processes whose cursors get the same handle numbers keep their rows apart: the child opens
// a cursor of its own while this one's rows are stored, and finds two cursors' rows.
TEST_P(DynamicSensitivity, TwoProcessesKeepSeparateRows) {
    Reconnect(true, "HIGH");
    if (HasFatalFailure()) return;
    std::string t = Make("dynproc", "id integer not null primary key");
    for (int id = 1; id <= 4; ++id) Must("insert into " + t + " values (" + std::to_string(id) + ")");
    OpenOther(ConnectionString(true, "LOW"));
    if (HasFatalFailure()) return;
    const long before = OtherCount("select count(*) from vovura");
    Dynamic(stmt, 2);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t + " order by id")) << Diag();
    r.Bind(stmt, false);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0)) << Diag();
    ASSERT_EQ(before + 2, OtherCount("select count(*) from vovura"));

    std::string conn = ConnectionString(true, "HIGH");
    std::string sql = "select id from " + t + " order by id";
    setenv("TV_DYN_CHILD_CONN", conn.c_str(), 1);
    setenv("TV_DYN_CHILD_SQL", sql.c_str(), 1);
    setenv("TV_DYN_CHILD_ROWS", std::to_string(before + 2).c_str(), 1);
    // The child's own set-up points the engine elsewhere: it is told where the databases are.
    setenv("TV_DYN_CHILD_DATA", std::getenv("II_DATABASE_DIR"), 1);
    std::string filter = "--gtest_filter=DynamicChild.Run";
    char self[] = "/proc/self/exe";
    char* argv[] = {self, filter.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(0, posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ));
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    unsetenv("TV_DYN_CHILD_CONN");
    unsetenv("TV_DYN_CHILD_SQL");
    unsetenv("TV_DYN_CHILD_ROWS");
    unsetenv("TV_DYN_CHILD_DATA");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // The child's cursor took its rows with it and left these.
    EXPECT_EQ(before + 2, OtherCount("select count(*) from vovura"));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_RELATIVE, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{0, 0}), r.Statuses());
}

// Without VOVURA a highly sensitive dynamic cursor fails and says why; with low sensitivity the
// same statement runs.
TEST_P(DynamicSensitivity, WithoutVovuraHighSensitivityFailsWithIM926) {
    Reconnect(false, "HIGH");
    if (HasFatalFailure()) return;
    std::string t = Make("dynnov", "id integer not null primary key");
    Must("insert into " + t + " values (1)");
    Dynamic(stmt, 1);
    EXPECT_EQ(SQL_ERROR, Exec("select id from " + t));
    EXPECT_TRUE(HasState(SQL_HANDLE_STMT, stmt, "IM926")) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    Reconnect(false, "LOW");
    if (HasFatalFailure()) return;
    Dynamic(stmt, 1);
    ASSERT_EQ(SQL_SUCCESS, Exec("select id from " + t)) << Diag();
    r.Bind(stmt, false);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0)) << Diag();
    EXPECT_EQ((std::vector<int>{1}), r.Ids());
}

INSTANTIATE_TEST_SUITE_P(Builds, DynamicSensitivity, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest

// The child of TwoProcessesKeepSeparateRows: its own cursor over the same table beside the
// parent's, then its rows gone at close.
TEST(DynamicChild, Run) {
    const char* conn = std::getenv("TV_DYN_CHILD_CONN");
    const char* sql = std::getenv("TV_DYN_CHILD_SQL");
    const char* rows = std::getenv("TV_DYN_CHILD_ROWS");
    const char* data = std::getenv("TV_DYN_CHILD_DATA");
    if (conn == nullptr || sql == nullptr || rows == nullptr || data == nullptr)
        GTEST_SKIP() << "runs as a child process only";
    setenv("II_DATABASE_DIR", data, 1);
    const long parentRows = std::atol(rows);
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT, count = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLDriverConnect(dbc, nullptr, (SQLCHAR*)conn, SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &count));
    auto countOf = [&](const char* q) {
        SQLINTEGER n = -1;
        EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(count, (SQLCHAR*)q, SQL_NTS));
        SQLBindCol(count, 1, SQL_C_LONG, &n, 0, nullptr);
        EXPECT_EQ(SQL_SUCCESS, SQLFetch(count));
        SQLFreeStmt(count, SQL_CLOSE);
        return long(n);
    };
    SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_DYNAMIC), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(3), 0);
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0));
    EXPECT_EQ(parentRows + 3, countOf("select count(*) from vovura"));
    EXPECT_EQ(2, countOf("select count(distinct hconn) from vovura"));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt));
    EXPECT_EQ(parentRows, countOf("select count(*) from vovura"));
    SQLFreeHandle(SQL_HANDLE_STMT, count);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    if (::testing::Test::HasFailure()) std::_Exit(1);
}
