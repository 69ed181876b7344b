// A column refuses what it cannot hold, as the server's columns do, through the Driver Manager
// for both builds: a literal, a parameter, INSERT ... SELECT and UPDATE ... SET alike fail with
// 22018 (no number, no boolean), 22003 (out of the column's range) or 22001 (too long, national
// lengths counted in UTF-16 units), the row is not written, and the table reads as before.
#include <cstring>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace resultstest
