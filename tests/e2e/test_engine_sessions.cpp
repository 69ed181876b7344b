// The engine as applications meet it through unixODBC: autocommit sessions on many threads,
// cursors that stay open while other statements of their connection run, timestamps of each
// precision, typed CAST and aggregates, money.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <cstring>
#include <mutex>
#include <thread>

#include "results_fixture.h"

namespace resultstest {
namespace {

// A connection of its own (for a thread), in autocommit unless asked otherwise.
struct OwnConnection {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool ok = false;
    explicit OwnConnection(const std::string& dsn) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return;
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) return;
        ok = SQL_SUCCEEDED(
            SQLConnect(dbc, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)kUser, SQL_NTS, (SQLCHAR*)kPassword, SQL_NTS));
    }
    ~OwnConnection() {
        if (dbc) {
            SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

class EngineSessions : public ResultsTest {
protected:
    long CountOf(const std::string& table, const std::string& where = "") {
        SQLHSTMT h = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
        long n = -1;
        std::string sql = "select count(*) from " + table + where;
        if (SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS)) && SQL_SUCCEEDED(SQLFetch(h))) {
            SQLINTEGER v = 0;
            SQLGetData(h, 1, SQL_C_SLONG, &v, 0, nullptr);
            n = v;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        return n;
    }
    // Runs statements on threads, each with its own autocommit connection; every failure is kept.
    void OnThreads(int threads, const std::function<void(int, SQLHDBC, std::vector<std::string>&)>& work,
                   std::vector<std::string>& failures) {
        std::mutex lock;
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; ++t)
            pool.emplace_back([&, t] {
                std::vector<std::string> mine;
                OwnConnection c(Dsn());
                if (!c.ok)
                    mine.push_back("connect: " + DiagText(SQL_HANDLE_DBC, c.dbc));
                else
                    work(t, c.dbc, mine);
                std::lock_guard<std::mutex> g(lock);
                failures.insert(failures.end(), mine.begin(), mine.end());
            });
        for (auto& th : pool) th.join();
    }
};

// Four threads, each inserting 500 rows on its own autocommit connection: no row lost, no error.
TEST_P(EngineSessions, FourAutocommitWritersLoseNothing) {
    const std::string t = Table("acw");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (th integer, n integer)");
    std::vector<std::string> failures;
    OnThreads(
        4,
        [&](int th, SQLHDBC dbc, std::vector<std::string>& bad) {
            SQLHSTMT h;
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
            const std::string ins = "insert into " + t + " values (?, ?)";
            SQLINTEGER thread = th, n = 0;
            SQLPrepare(h, (SQLCHAR*)ins.c_str(), SQL_NTS);
            SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &thread, 0, nullptr);
            SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, nullptr);
            for (n = 0; n < 500; ++n) {
                if (!SQL_SUCCEEDED(SQLExecute(h))) bad.push_back(DiagText(SQL_HANDLE_STMT, h));
                // What an application does between its writes: read what is there.
                if (n % 50 == 0) {
                    SQLHSTMT r;
                    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &r);
                    const std::string q = "select count(*) from " + t;
                    if (!SQL_SUCCEEDED(SQLExecDirect(r, (SQLCHAR*)q.c_str(), SQL_NTS)) || !SQL_SUCCEEDED(SQLFetch(r)))
                        bad.push_back(DiagText(SQL_HANDLE_STMT, r));
                    SQLFreeHandle(SQL_HANDLE_STMT, r);
                }
            }
            SQLFreeHandle(SQL_HANDLE_STMT, h);
        },
        failures);
    EXPECT_TRUE(failures.empty()) << failures.size() << " failures, first: " << failures[0];
    EXPECT_EQ(2000, CountOf(t));
    for (int th = 0; th < 4; ++th) EXPECT_EQ(500, CountOf(t, " where th = " + std::to_string(th))) << th;
    Must("drop table " + t);
}

// SQL_ATTR_TXN_ISOLATION through the Driver Manager: a serializable connection reads one
// snapshot until its transaction ends, whatever another connection commits meanwhile; read
// committed sees each commit. The access mode set beside it holds too.
TEST_P(EngineSessions, SerializableIsolationKeepsTheTransactionsSnapshot) {
    const std::string t = Table("iso");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (n integer)");
    Must("insert into " + t + " values (1)");
    OwnConnection other(Dsn());
    ASSERT_TRUE(other.ok) << DiagText(SQL_HANDLE_DBC, other.dbc);
    auto insertOther = [&](int n) {
        SQLHSTMT h;
        SQLAllocHandle(SQL_HANDLE_STMT, other.dbc, &h);
        const std::string ins = "insert into " + t + " values (" + std::to_string(n) + ")";
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)ins.c_str(), SQL_NTS))) << DiagText(SQL_HANDLE_STMT, h);
        SQLFreeHandle(SQL_HANDLE_STMT, h);
    };
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, (SQLPOINTER)SQL_TXN_SERIALIZABLE, 0));
    EXPECT_EQ(1, CountOf(t));
    insertOther(2);
    EXPECT_EQ(1, CountOf(t));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
    EXPECT_EQ(2, CountOf(t));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, (SQLPOINTER)SQL_TXN_READ_COMMITTED, 0));
    EXPECT_EQ(2, CountOf(t));
    insertOther(3);
    EXPECT_EQ(3, CountOf(t));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0));
    Must("drop table " + t);
}

// Statements per thread of the mixed run: 10 000 with TV_MIXED_STATEMENTS=10000; the suite runs
// 1 250 (10 000 in all) to stay within its time under the sanitizers.
int MixedStatements() {
    const char* env = std::getenv("TV_MIXED_STATEMENTS");
    int n = env && *env ? std::atoi(env) : 0;
    return n > 0 ? n : 1250;
}

// Eight threads, each with its own autocommit connection and its share of statements: reads of
// the rows it wrote, inserts and updates. Every insert stays, every update counts.
TEST_P(EngineSessions, EightThreadsOfMixedStatementsInAutocommit) {
    const std::string t = Table("mix");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (th integer, n integer, hits integer)");
    Must("create index " + t + "_k on " + t + " (th, n)");
    constexpr int kThreads = 8;
    const int kStatements = MixedStatements();
    std::atomic<long> inserted{0};
    std::vector<long> updates(kThreads, 0);
    std::vector<std::string> failures;
    OnThreads(
        kThreads,
        [&](int th, SQLHDBC dbc, std::vector<std::string>& bad) {
            SQLHSTMT ins, upd, sel;
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &ins);
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &upd);
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &sel);
            SQLINTEGER thread = th, n = 0, got = 0;
            const std::string i = "insert into " + t + " values (?, ?, 0)";
            const std::string u = "update " + t + " set hits = hits + 1 where th = ? and n = ?";
            const std::string s = "select count(*) from " + t + " where th = ?";
            SQLPrepare(ins, (SQLCHAR*)i.c_str(), SQL_NTS);
            SQLPrepare(upd, (SQLCHAR*)u.c_str(), SQL_NTS);
            SQLPrepare(sel, (SQLCHAR*)s.c_str(), SQL_NTS);
            for (SQLHSTMT h : {ins, upd, sel}) {
                SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &thread, 0, nullptr);
                if (h != sel) SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, nullptr);
            }
            long mine = 0;
            for (int k = 0; k < kStatements; ++k) {
                SQLHSTMT h = k % 3 == 0 ? ins : k % 3 == 1 ? upd : sel;
                if (h == ins) n = SQLINTEGER(mine);
                if (h == upd) n = SQLINTEGER(mine ? (k * 7) % mine : 0);
                if (!SQL_SUCCEEDED(SQLExecute(h))) {
                    bad.push_back(DiagText(SQL_HANDLE_STMT, h));
                    continue;
                }
                if (h == ins) ++mine;
                if (h == upd) {
                    SQLLEN rows = 0;
                    SQLRowCount(h, &rows);
                    updates[size_t(th)] += rows;
                }
                if (h == sel) {
                    if (!SQL_SUCCEEDED(SQLFetch(sel))) bad.push_back(DiagText(SQL_HANDLE_STMT, sel));
                    SQLGetData(sel, 1, SQL_C_SLONG, &got, 0, nullptr);
                    if (got != mine)
                        bad.push_back("thread " + std::to_string(th) + " saw " + std::to_string(got) + " of its " +
                                      std::to_string(mine) + " rows");
                    SQLFreeStmt(sel, SQL_CLOSE);
                }
            }
            inserted += mine;
            for (SQLHSTMT h : {ins, upd, sel}) SQLFreeHandle(SQL_HANDLE_STMT, h);
        },
        failures);
    EXPECT_TRUE(failures.empty()) << failures.size() << " failures, first: " << failures[0];
    EXPECT_EQ(inserted.load(), CountOf(t));
    long hits = 0;
    for (long u : updates) hits += u;
    SQLHSTMT h;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
    const std::string q = "select sum(hits) from " + t;
    SQLBIGINT sum = -1;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)q.c_str(), SQL_NTS))) << DiagText(SQL_HANDLE_STMT, h);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(h)));
    SQLGetData(h, 1, SQL_C_SBIGINT, &sum, 0, nullptr);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    EXPECT_EQ(hits, sum);
    Must("drop table " + t);
}

// An open cursor over 100 000 rows keeps returning every row while other statements of its
// connection read, insert and update, in autocommit and in manual-commit mode.
TEST_P(EngineSessions, OpenCursorSurvivesOtherStatementsOnItsConnection) {
    const std::string big = Table("mars_big"), side = Table("mars_side");
    for (const std::string& x : {big, side}) {
        Exec("drop table " + x);
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    Must("create table " + big + " (n integer, v varchar(20))");
    Must("create table " + side + " (n integer, hits integer)");
    constexpr int kRows = 100000;
    Must("insert into " + big + " with recursive seq(x) as (select 1 union all select x + 1 from seq where x < " +
         std::to_string(kRows) + ") select x, 'row' from seq");
    ASSERT_EQ(kRows, CountOf(big));
    for (bool autocommit : {true, false}) {
        SCOPED_TRACE(autocommit ? "autocommit" : "manual commit");
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                              reinterpret_cast<SQLPOINTER>(autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0)));
        SQLHSTMT other;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &other));
        const std::string q = "select n from " + big + " order by n";
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)q.c_str(), SQL_NTS))) << Diag();
        SQLINTEGER n = 0;
        SQLBindCol(stmt, 1, SQL_C_SLONG, &n, 0, nullptr);
        long rows = 0, expected = 1, others = 0;
        SQLRETURN rc;
        while ((rc = SQLFetch(stmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
            if (n != expected) {
                ADD_FAILURE() << "row " << rows << " holds " << n;
                break;
            }
            ++expected;
            ++rows;
            if (rows % 5000 != 1) continue;
            // The other statements: a write, an update, a read to its end, a read left open.
            const std::string stmts[] = {
                "insert into " + side + " values (" + std::to_string(rows) + ", 0)",
                "update " + side + " set hits = hits + 1",
                "select count(*) from " + side,
                "select n from " + big + " where n < 10",
            };
            for (const std::string& s : stmts) {
                SQLRETURN orc = SQLExecDirect(other, (SQLCHAR*)s.c_str(), SQL_NTS);
                EXPECT_TRUE(SQL_SUCCEEDED(orc) || orc == SQL_NO_DATA) << s << ": " << DiagText(SQL_HANDLE_STMT, other);
                if (s.rfind("select count", 0) == 0) {
                    while (SQL_SUCCEEDED(SQLFetch(other))) {
                    }
                } else if (s.rfind("select", 0) == 0) {
                    EXPECT_TRUE(SQL_SUCCEEDED(SQLFetch(other)));
                }
                SQLFreeStmt(other, SQL_CLOSE);
                ++others;
            }
        }
        EXPECT_EQ(SQL_NO_DATA, rc) << Diag();
        EXPECT_EQ(kRows, rows);
        EXPECT_EQ(80, others);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_UNBIND);
        SQLFreeHandle(SQL_HANDLE_STMT, other);
        if (!autocommit) {
            EXPECT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT)));
        }
        EXPECT_EQ(autocommit ? 20 : 40, CountOf(side));
    }
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    Must("drop table " + big);
    Must("drop table " + side);
}

// Timestamps with a fraction are stored to their column's precision, read back so and compare
// with literals as times.
TEST_P(EngineSessions, TimestampFractionsRoundTripForEachPrecision) {
    const std::string t = Table("tsprec");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (n integer, t0 timestamp(0), t3 timestamp(3), t6 timestamp(6))");
    struct Row {
        SQLSMALLINT year;
        SQLUSMALLINT month, day, hour, minute, second;
        SQLUINTEGER fraction;
    };
    const Row rows[] = {{2024, 2, 29, 23, 59, 58, 500000000},  {2024, 3, 1, 0, 0, 0, 0},
                        {2024, 2, 1, 0, 0, 0, 123456789},      {2024, 3, 1, 0, 0, 0, 1000},
                        {2023, 12, 31, 23, 59, 59, 999999999}, {2024, 3, 2, 12, 0, 0, 250000000}};
    const std::string ins = "insert into " + t + " values (?, ?, ?, ?)";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(stmt, (SQLCHAR*)ins.c_str(), SQL_NTS))) << Diag();
    SQLINTEGER n = 0;
    SQL_TIMESTAMP_STRUCT ts{};
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, nullptr);
    for (SQLUSMALLINT p = 2; p <= 4; ++p)
        SQLBindParameter(stmt, p, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 29, 9, &ts, 0, nullptr);
    for (const Row& r : rows) {
        ts = {r.year, r.month, r.day, r.hour, r.minute, r.second, r.fraction};
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt))) << Diag();
        ++n;
    }
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    EXPECT_EQ(3, CountOf(t, " where t6 < '2024-03-01'"));
    EXPECT_EQ(3, CountOf(t, " where t3 < '2024-03-01'"));
    EXPECT_EQ(1, CountOf(t, " where t0 = '2024-02-29 23:59:58'"));
    EXPECT_EQ(1, CountOf(t, " where t6 > '2024-03-01 00:00:00' and t6 < '2024-03-01 00:00:01'"));
    const std::string q = "select n, t0, t3, t6 from " + t + " order by t6";
    ASSERT_TRUE(SQL_SUCCEEDED(Exec(q))) << Diag();
    std::vector<SQLINTEGER> order;
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        SQLINTEGER k = -1;
        SQLGetData(stmt, 1, SQL_C_SLONG, &k, 0, nullptr);
        order.push_back(k);
        const Row& r = rows[k];
        const SQLUINTEGER want[] = {0, r.fraction / 1000000 * 1000000, r.fraction / 1000 * 1000};
        for (SQLUSMALLINT c = 2; c <= 4; ++c) {
            SQL_TIMESTAMP_STRUCT got{};
            ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, c, SQL_C_TYPE_TIMESTAMP, &got, sizeof got, nullptr))) << Diag();
            EXPECT_EQ(r.year, got.year) << k << "/" << c;
            EXPECT_EQ(r.day, got.day) << k << "/" << c;
            EXPECT_EQ(r.second, got.second) << k << "/" << c;
            EXPECT_EQ(want[c - 2], got.fraction) << "row " << k << " column " << c;
        }
    }
    EXPECT_EQ((std::vector<SQLINTEGER>{4, 2, 0, 1, 3, 5}), order);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("drop table " + t);
}

// CAST and aggregates are described with the type the server gives them, and money reads in cents.
TEST_P(EngineSessions, CastsAndAggregatesAreDescribedByType) {
    const std::string t = Table("typed");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (i integer, dc decimal(10,2), f float, m money)");
    Must("insert into " + t + " values (7, 12.50, 1.5, 1234.56)");
    Must("insert into " + t + " values (5, 0.25, 2.5, 0.01)");
    struct Case {
        const char* expr;
        SQLSMALLINT sqlType;
        SQLULEN size;        // 0: not checked
        SQLSMALLINT digits;  // -1: not checked
        const char* text;
    };
    const Case cases[] = {
        {"cast('2026-01-15' as ansidate)", SQL_TYPE_DATE, 0, -1, "2026-01-15"},
        {"cast('2026-01-15' as date)", SQL_TYPE_TIMESTAMP, 0, -1, "2026-01-15 00:00:00"},
        {"cast(count(*) as integer)", SQL_INTEGER, 10, 0, "2"},
        {"sum(i)", SQL_BIGINT, 0, 0, "12"},
        {"max(i)", SQL_INTEGER, 10, 0, "7"},
        {"sum(dc)", SQL_DECIMAL, 31, 2, "12.75"},
        {"cast(i as decimal(8,3))", SQL_DECIMAL, 8, 3, "7.000"},
        {"cast(i as float)", SQL_DOUBLE, 0, -1, "7"},
        {"cast(i as varchar(5))", SQL_VARCHAR, 5, -1, "7"},
        {"cast(i as smallint)", SQL_SMALLINT, 5, 0, "7"},
        {"sum(m)", SQL_DECIMAL, 0, 2, "1234.57"},
        {"m", SQL_DECIMAL, 0, 2, "1234.56"},
        {"cast(f as money)", SQL_DECIMAL, 0, 2, "2.50"},
    };
    for (const Case& c : cases) {
        const std::string q = std::string("select ") + c.expr + " from " + t + " order by 1 desc";
        ASSERT_TRUE(SQL_SUCCEEDED(Exec(q))) << q << ": " << Diag();
        SQLCHAR name[64];
        SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        ASSERT_TRUE(
            SQL_SUCCEEDED(SQLDescribeCol(stmt, 1, name, sizeof name, &nameLen, &type, &size, &digits, &nullable)));
        EXPECT_EQ(c.sqlType, type) << c.expr;
        if (c.size) {
            EXPECT_EQ(c.size, size) << c.expr;
        }
        if (c.digits >= 0) {
            EXPECT_EQ(c.digits, digits) << c.expr;
        }
        ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(stmt))) << c.expr << ": " << Diag();
        char text[64] = {};
        SQLLEN len = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_CHAR, text, sizeof text, &len))) << c.expr;
        EXPECT_STREQ(c.text, text) << c.expr;
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    Must("drop table " + t);
}

INSTANTIATE_TEST_SUITE_P(Builds, EngineSessions, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
