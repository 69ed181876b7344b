// A parameter in arithmetic with a number, through unixODBC on both builds: SQLDescribeParam
// gives it the number's type, the result column is described as a number before execution and
// by the bound value's type after it, and the value reads back as that number. Parameters
// anywhere else keep their text descriptions.
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

class ParamArithmetic : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Make("parith", "a integer, d decimal(8,2), f float, s varchar(10)");
        Must("insert into " + t + " values (7, 1.25, 0.5, 'x')");
    }
    SQLSMALLINT MarkerType(SQLUSMALLINT n) {
        SQLSMALLINT type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, n, &type, &size, &digits, &nullable)) << Diag();
        return type;
    }
    SQLSMALLINT ColumnType() {
        SQLSMALLINT type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, 1, nullptr, 0, nullptr, &type, &size, &digits, &nullable))
            << Diag();
        return type;
    }
    std::string Text() {
        char buf[64] = {};
        SQLLEN len = 0;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &len))) << Diag();
        return len == SQL_NULL_DATA ? "NULL" : buf;
    }
};

TEST_P(ParamArithmetic, TakesTheTypeOfTheNumberItIsCombinedWith) {
    struct Case {
        std::string sql;
        std::vector<SQLSMALLINT> params;  // SQLDescribeParam after the prepare
        SQLSMALLINT prepared;             // the result column before execution
        SQLSMALLINT executed;             // and after it, with 5 bound as an integer to each marker
        const char* value;
    };
    const std::vector<Case> cases = {
        {"select ? + 1", {SQL_INTEGER}, SQL_INTEGER, SQL_INTEGER, "6"},
        {"select ? * 2", {SQL_INTEGER}, SQL_INTEGER, SQL_INTEGER, "10"},
        {"select ? - 1", {SQL_INTEGER}, SQL_INTEGER, SQL_INTEGER, "4"},
        {"select 10 - ? * 2", {SQL_INTEGER}, SQL_INTEGER, SQL_INTEGER, "0"},
        {"select (? + 1) * 3", {SQL_INTEGER}, SQL_INTEGER, SQL_INTEGER, "18"},
        {"select ? + 1.5", {SQL_DECIMAL}, SQL_DECIMAL, SQL_DECIMAL, "6.5"},
        {"select ? * 2e0", {SQL_DOUBLE}, SQL_DOUBLE, SQL_DOUBLE, "10"},
        {"select a + ? from " + t, {SQL_INTEGER}, SQL_INTEGER, SQL_INTEGER, "12"},
        {"select ? * d from " + t, {SQL_DECIMAL}, SQL_DECIMAL, SQL_DECIMAL, "6.25"},
        {"select f - ? from " + t, {SQL_DOUBLE}, SQL_DOUBLE, SQL_DOUBLE, "-4.5"},
        {"select ? + 1 from " + t + " where a = ?", {SQL_INTEGER, SQL_INTEGER}, SQL_INTEGER, SQL_INTEGER, nullptr},
        // Elsewhere a parameter is described as before: a text.
        {"select ? from " + t, {SQL_VARCHAR}, SQL_VARCHAR, SQL_VARCHAR, "5"},
        {"select ? || 'x' from " + t, {SQL_VARCHAR}, SQL_VARCHAR, SQL_VARCHAR, "5x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)c.sql.c_str(), SQL_NTS)) << Diag();
        for (size_t i = 0; i < c.params.size(); ++i) EXPECT_EQ(c.params[i], MarkerType(SQLUSMALLINT(i + 1))) << i + 1;
        EXPECT_EQ(c.prepared, ColumnType());
        SQLINTEGER five = 5;
        SQLLEN ind = 0;
        for (size_t i = 0; i < c.params.size(); ++i)
            ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER,
                                                    0, 0, &five, 0, &ind));
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
        EXPECT_EQ(c.executed, ColumnType());
        const SQLRETURN fetched = SQLFetch(stmt);
        if (c.value) {
            ASSERT_EQ(SQL_SUCCESS, fetched) << Diag();
            EXPECT_EQ(c.value, Text());
        } else {
            EXPECT_EQ(SQL_NO_DATA, fetched);
        }
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
}

TEST_P(ParamArithmetic, TheResultIsDescribedByTheBoundValuesType) {
    const std::string sql = "select ? + 1";
    struct Case {
        const char* what;
        SQLSMALLINT cType, sqlType, digits;
        const void* value;
        SQLLEN length;
        SQLSMALLINT column;
        const char* text;
    };
    const SQLDOUBLE half = 2.5;
    const SQLBIGINT big = 5000000000LL;
    const char* digits = "41";
    const std::vector<Case> cases = {
        {"a double", SQL_C_DOUBLE, SQL_DOUBLE, 0, &half, 0, SQL_DOUBLE, "3.5"},
        {"a big integer", SQL_C_SBIGINT, SQL_BIGINT, 0, &big, 0, SQL_BIGINT, "5000000001"},
        // An exact number travels as its text, typed by its declared digits.
        {"an exact number", SQL_C_CHAR, SQL_NUMERIC, 2, "1.25", SQL_NTS, SQL_DECIMAL, "2.25"},
        // Text takes the type of the number it is combined with, as the server converts it.
        {"digits as text", SQL_C_CHAR, SQL_VARCHAR, 0, digits, SQL_NTS, SQL_INTEGER, "42"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
        SQLLEN ind = c.length;
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 10, c.digits,
                                                const_cast<void*>(c.value), 0, &ind));
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
        EXPECT_EQ(c.column, ColumnType());
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
        EXPECT_EQ(c.text, Text());
    }
    // SQLExecDirect describes the same way.
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    SQLINTEGER five = 5;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &five, 0, &ind));
    ASSERT_EQ(SQL_SUCCESS, Exec("select ? * 3")) << Diag();
    EXPECT_EQ(SQL_INTEGER, ColumnType());
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    SQLINTEGER v = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_DEFAULT, &v, sizeof v, &ind)) << Diag();
    EXPECT_EQ(15, v);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
}

// What the scripts that found it do: pyodbc reads `select ? + 1` as the number 6, not the text '6'.
TEST_P(ParamArithmetic, PyodbcReadsANumber) {
    const char* python = "/usr/bin/python3";
    if (access(python, X_OK) != 0 || std::system("/usr/bin/python3 -c 'import pyodbc' 2>/dev/null") != 0)
        GTEST_SKIP() << "Debian's python3 with python3-pyodbc is not installed";
    int status = 0;
    const std::string out = RunCommand(InterpreterEnv(GetParam()) + python + " " + TV_SOURCE_DIR +
                                           "/tests/e2e/pyodbc_arithmetic.py " + Dsn() + " " + t + " 2>&1",
                                       &status);
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(0, WEXITSTATUS(status)) << out;
    EXPECT_NE(std::string::npos, out.find("arithmetic ok")) << out;
}

INSTANTIATE_TEST_SUITE_P(Builds, ParamArithmetic, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
