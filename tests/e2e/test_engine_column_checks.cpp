// A column refuses what it cannot hold, as the server's columns do, through the Driver Manager
// for both builds: a literal, a parameter, INSERT ... SELECT and UPDATE ... SET alike fail with
// 22018 (no number, no boolean), 22003 (out of the column's range) or 22001 (too long, national
// lengths counted in UTF-16 units), the row is not written, and the table reads as before.
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "iiapi/iiapi.h"
#include "results_fixture.h"

namespace resultstest {
namespace {

class ColumnChecks : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Make("colchecks",
                 "k integer, i integer, s smallint, i1 integer1, i8 bigint, f float8, f4 float4, m money, "
                 "b boolean, d decimal(5,2), nv nvarchar(2), nc nchar(2), v varchar(3)");
        Must("insert into " + t + " (k, i) values (1, 7)");
    }
    // The SQLSTATE of running sql, "" when it succeeds.
    std::string StateOf(const std::string& sql) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        const SQLRETURN rc = ExecText(stmt, sql);
        std::string state = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA ? "" : Diag().substr(0, 5);
        SQLFreeStmt(stmt, SQL_CLOSE);
        return state;
    }
    // Every column of every row as text, "-" for NULL: the table reads whole.
    std::vector<std::string> Rows() {
        SQLFreeStmt(stmt, SQL_CLOSE);
        std::vector<std::string> rows;
        EXPECT_EQ(SQL_SUCCESS, Exec("select k, i, s, i1, i8, f, f4, m, b, d, nv, nc, v from " + t + " order by k"))
            << Diag();
        for (SQLRETURN rc; (rc = SQLFetch(stmt)) != SQL_NO_DATA;) {
            EXPECT_EQ(SQL_SUCCESS, rc) << Diag();
            if (rc != SQL_SUCCESS) break;
            std::string row;
            for (SQLUSMALLINT c = 1; c <= 13; ++c) {
                char buf[64] = {};
                SQLLEN len = 0;
                EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, c, SQL_C_CHAR, buf, sizeof buf, &len))) << Diag();
                row += (c > 1 ? "|" : "") + (len == SQL_NULL_DATA ? std::string("-") : std::string(buf));
            }
            rows.push_back(row);
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return rows;
    }
};

TEST_P(ColumnChecks, LiteralsTheColumnCannotHoldAreRefused) {
    const std::vector<std::string> before = Rows();
    ASSERT_EQ(before.size(), 1u);
    const struct {
        const char* column;
        const char* value;
        const char* state;
    } refused[] = {
        {"i", "'abc'", "22018"},    {"i", "2199023255552", "22003"},
        {"i", "''", "22018"},       {"s", "70000", "22003"},
        {"i1", "300", "22003"},     {"i1", "-129", "22003"},
        {"i8", "'12x'", "22018"},   {"i8", "1e20", "22003"},
        {"f", "'abc'", "22018"},    {"f", "x'00'", "22018"},
        {"f4", "1e39", "22003"},    {"m", "'abc'", "22018"},
        {"b", "'maybe'", "22018"},  {"b", "2", "22018"},
        {"d", "123456.7", "22003"}, {"d", "'x1'", "22018"},
        {"d", "999.999", "22003"},  {"nv", "N'😀😀'", "22001"},
        {"nv", "'😀x'", "22001"},    {"nc", "N'😀😀'", "22001"},
        {"v", "'abcd'", "22001"},
    };
    for (const auto& r : refused)
        EXPECT_EQ(r.state, StateOf("insert into " + t + " (k, " + r.column + ") values (2, " + r.value + ")"))
            << r.column << " = " << r.value;
    // Nothing was written, and the table reads as it did.
    EXPECT_EQ(before, Rows());
}

TEST_P(ColumnChecks, ValuesTheColumnHoldsAreTaken) {
    Must("insert into " + t +
         " (k, i, s, i1, i8, f, f4, m, b, d, nv, nc, v) values (2, '12', 32767, -128, 9223372036854775807, '1.5', "
         "-3.5, 12.5, 'true', 999.99, 'ab', 'x', 'abc')");
    Must("insert into " + t + " (k, i, s, i1, b, d, v) values (3, ' 42 ', -32768, 127, false, '-1.25', 'ab ')");
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_TRUE(SQL_SUCCEEDED(ExecText(stmt, "insert into " + t + " (k, nv, nc) values (4, N'😀', N'😀')"))) << Diag();
    const std::vector<std::string> rows = Rows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1], "2|12|32767|-128|9223372036854775807|1.5|-3.5|12.50|1|999.99|ab|x |abc");
    EXPECT_EQ(rows[2], "3|42|-32768|127|-|-|-|-|0|-1.25|-|-|ab ");
    // The number is stored as one: it compares as a number.
    EXPECT_EQ((std::vector<int>{2}), ForwardIds("select k from " + t + " where i = 12"));
    EXPECT_EQ((std::vector<int>{4}), ForwardIds("select k from " + t + " where nv is not null and k = 4"));
}

// INSERT ... SELECT, UPDATE ... SET and ALTER TABLE ADD columns check as literals do.
TEST_P(ColumnChecks, EveryRoadToTheColumnChecks) {
    const std::vector<std::string> before = Rows();
    EXPECT_EQ("22018", StateOf("insert into " + t + " (k, i) select 5, 'abc'"));
    EXPECT_EQ("22003", StateOf("insert into " + t + " (k, s) select k + 1, i * 10000 from " + t));
    EXPECT_EQ("22003", StateOf("update " + t + " set i = i * 1000000000"));
    EXPECT_EQ("22018", StateOf("update " + t + " set f = 'x' || 'y'"));
    EXPECT_EQ("22001", StateOf("update " + t + " set v = 'abcd'"));
    EXPECT_EQ(before, Rows());
    Must("update " + t + " set i = i * 1000");
    Must("alter table " + t + " add column extra smallint");
    EXPECT_EQ("22003", StateOf("update " + t + " set extra = 40000"));
    Must("update " + t + " set extra = 4000");
    Must("alter table " + t + " add column extra2 nvarchar(1)");
    EXPECT_EQ("22001", StateOf("update " + t + " set extra2 = N'😀'"));
    EXPECT_EQ("22001", StateOf("update " + t + " set extra2 = 'ab'"));
    EXPECT_EQ((std::vector<int>{7000}), ForwardIds("select i from " + t));
}

// Each value a column cannot hold is refused the same on every road to it: a literal, INSERT ...
// SELECT of the literal and of an expression over the table, UPDATE ... SET an expression, and a
// parameter in an INSERT and in an UPDATE.
TEST_P(ColumnChecks, EveryValueIsRefusedOnEveryRoad) {
    const std::vector<std::string> before = Rows();
    const struct {
        const char* column;
        const char* literal;
        const char* expression;  // over a row of the table, k = 1
        SQLSMALLINT cType, sqlType;
        const char* parameter;  // the value bound, as text (UTF-8) or a number's digits
        const char* state;
    } cases[] = {
        {"i", "'abc'", "'ab' || 'c'", SQL_C_CHAR, SQL_VARCHAR, "abc", "22018"},
        {"i", "2199023255552", "k * 2199023255552", SQL_C_SBIGINT, SQL_BIGINT, "2199023255552", "22003"},
        {"s", "70000", "k * 70000", SQL_C_SBIGINT, SQL_INTEGER, "70000", "22003"},
        {"i1", "300", "k * 300", SQL_C_SBIGINT, SQL_INTEGER, "300", "22003"},
        {"f", "'abc'", "'ab' || 'c'", SQL_C_CHAR, SQL_VARCHAR, "abc", "22018"},
        {"d", "123456.7", "k * 123456.7", SQL_C_CHAR, SQL_DECIMAL, "123456.7", "22003"},
        {"d", "'x1'", "'x' || k", SQL_C_CHAR, SQL_VARCHAR, "x1", "22018"},
        {"m", "'abc'", "'ab' || 'c'", SQL_C_CHAR, SQL_VARCHAR, "abc", "22018"},
        {"b", "'maybe'", "'may' || 'be'", SQL_C_CHAR, SQL_VARCHAR, "maybe", "22018"},
        {"nv", "N'😀😀'", "N'😀' || N'😀'", SQL_C_WCHAR, SQL_WVARCHAR, "😀😀", "22001"},
    };
    auto withParameter = [&](const std::string& sql, SQLSMALLINT cType, SQLSMALLINT sqlType, const char* value) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        EXPECT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
        std::string narrow = value;
        std::u16string wide = Utf16(value);
        SQLBIGINT number = std::strtoll(value, nullptr, 10);
        void* data = cType == SQL_C_SBIGINT ? static_cast<void*>(&number)
                     : cType == SQL_C_WCHAR ? static_cast<void*>(wide.data())
                                            : static_cast<void*>(narrow.data());
        SQLLEN ind = cType == SQL_C_SBIGINT ? 0 : SQL_NTS;
        const SQLULEN size = sqlType == SQL_DECIMAL ? 7 : 10;
        EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, cType, sqlType, size,
                                                sqlType == SQL_DECIMAL ? 1 : 0, data, 0, &ind))
            << Diag();
        const SQLRETURN rc = SQLExecute(stmt);
        std::string state = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA ? "" : Diag().substr(0, 5);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        return state;
    };
    for (const auto& c : cases) {
        const std::string col = c.column;
        SCOPED_TRACE(col + " = " + c.literal);
        EXPECT_EQ(c.state, StateOf("insert into " + t + " (k, " + col + ") values (2, " + c.literal + ")"));
        EXPECT_EQ(c.state, StateOf("insert into " + t + " (k, " + col + ") select 2, " + c.literal));
        EXPECT_EQ(c.state,
                  StateOf("insert into " + t + " (k, " + col + ") select k + 1, " + c.expression + " from " + t));
        EXPECT_EQ(c.state, StateOf("update " + t + " set " + col + " = " + c.expression));
        EXPECT_EQ(c.state, StateOf("update " + t + " set " + col + " = " + c.literal));
        EXPECT_EQ(c.state, withParameter("insert into " + t + " (k, " + col + ") values (2, ?)", c.cType, c.sqlType,
                                         c.parameter));
        EXPECT_EQ(c.state, withParameter("update " + t + " set " + col + " = ?", c.cType, c.sqlType, c.parameter));
    }
    // Nothing was written: the table reads as it did.
    EXPECT_EQ(before, Rows());
}

// A parameter that no number the column holds (a 64-bit integer beyond an integer's range,
// text that is no number) is refused when the row is written.
TEST_P(ColumnChecks, ParametersTheColumnCannotHoldAreRefused) {
    const std::vector<std::string> before = Rows();
    const std::string sql = "insert into " + t + " (k, i) values (2, ?)";
    auto run = [&](SQLSMALLINT cType, SQLSMALLINT sqlType, void* value, SQLLEN len) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        EXPECT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
        SQLLEN ind = len;
        EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, cType, sqlType, 20, 0, value, 0, &ind));
        const SQLRETURN rc = SQLExecute(stmt);
        std::string state = SQL_SUCCEEDED(rc) ? "" : Diag().substr(0, 5);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        return state;
    };
    SQLBIGINT big = SQLBIGINT(1) << 40;
    EXPECT_EQ("22003", run(SQL_C_SBIGINT, SQL_BIGINT, &big, 0));
    char abc[] = "abc";
    EXPECT_EQ("22018", run(SQL_C_CHAR, SQL_VARCHAR, abc, SQL_NTS));
    EXPECT_EQ(before, Rows());
    SQLBIGINT fits = 2147483647;
    EXPECT_EQ("", run(SQL_C_SBIGINT, SQL_BIGINT, &fits, 0));
    EXPECT_EQ((std::vector<int>{7, 2147483647}), ForwardIds("select i from " + t + " order by k"));
}

INSTANTIATE_TEST_SUITE_P(Builds, ColumnChecks, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

// A table the engine made before its columns had checks, as it declared it then (numbers by their
// affinity alone, decimals as NUMERIC or BLOB, national lengths in characters), with what it let
// in: it still reads, a value it cannot hold failing where it is read, and takes exact decimals.
class TablesMadeBefore : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        // The catalogs as the engine keeps them, then the table as it was declared.
        t = Make("legacy", "k integer, i integer, s smallint, d decimal(5,2), w decimal(31,2), nv nvarchar(2)");
        char path[512];
        ASSERT_EQ(0, iiengine_databasePath(Dsn().c_str(), path, sizeof path));
        sqlite3* db = nullptr;
        ASSERT_EQ(SQLITE_OK, sqlite3_open(path, &db));
        sqlite3_busy_timeout(db, 5000);
        const std::string old =
            "DROP TABLE " + t + "; CREATE TABLE " + t +
            " (k INT, i INT, s INT, d NUMERIC, w BLOB, nv TEXT CONSTRAINT \"ii_fit_nv\" CHECK (length(nv) <= 2)); "
            "INSERT INTO " +
            t + " VALUES (1, 7, 5, 1.25, 1.0e17, 'ab'), (2, 'abc', 70000, 123456.7, 1.23456789012346e+25, '😀😀');";
        EXPECT_EQ(SQLITE_OK, sqlite3_exec(db, old.c_str(), nullptr, nullptr, nullptr)) << sqlite3_errmsg(db);
        sqlite3_close(db);
    }
    // The first row of sql as "a|b|...", or the SQLSTATE where it fails.
    std::string Row(const std::string& sql) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        std::string out;
        SQLSMALLINT n = 0;
        SQLRETURN rc = ExecText(stmt, sql);
        if (SQL_SUCCEEDED(rc)) rc = SQLNumResultCols(stmt, &n);
        if (SQL_SUCCEEDED(rc)) rc = SQLFetch(stmt);
        for (SQLUSMALLINT c = 1; SQL_SUCCEEDED(rc) && c <= n; ++c) {
            char buf[64] = {};
            SQLLEN len = 0;
            rc = SQLGetData(stmt, c, SQL_C_CHAR, buf, sizeof buf, &len);
            out += (c > 1 ? "|" : "") + (len == SQL_NULL_DATA ? std::string("-") : std::string(buf));
        }
        if (!SQL_SUCCEEDED(rc)) out = Diag().substr(0, 5);
        SQLFreeStmt(stmt, SQL_CLOSE);
        return out;
    }
};

TEST_P(TablesMadeBefore, StillReadAndComputeExactly) {
    EXPECT_EQ(Row("select k, i, s, d, w, nv from " + t + " where k = 1"), "1|7|5|1.25|100000000000000000.00|ab");
    // What the engine let in then fails where it is read, as it did.
    EXPECT_EQ(Row("select i from " + t + " where k = 2"), "22018");
    EXPECT_EQ(Row("select s from " + t + " where k = 2"), "22003");
    EXPECT_EQ(Row("select nv from " + t + " where k = 2"), "22001");
    // Its decimals take part in the exact arithmetic with what they hold.
    EXPECT_EQ(Row("select w + 1, d * 2 from " + t + " where k = 1"), "100000000000000001.00|2.50");
    EXPECT_EQ(Row("select sum(w) from " + t), "12345679001234600000000000.00");
    // A value written now is kept exactly.
    Must("insert into " + t + " (k, w) values (3, 12345678901234567890123456.78)");
    Must("update " + t + " set w = w + 1 where k = 3");
    EXPECT_EQ(Row("select w from " + t + " where k = 3"), "12345678901234567890123457.78");
    EXPECT_EQ(Row("select k from " + t + " where w > 12345678901234567890123457.77 and w < 12345678901234567890123458"),
              "3");
}

INSTANTIATE_TEST_SUITE_P(Builds, TablesMadeBefore, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
