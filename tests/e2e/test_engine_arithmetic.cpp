// Arithmetic as the server answers it, through the Driver Manager for both builds: decimal
// results described with Ingres's precision and scale, and division or MOD by zero reported
// as 22012 instead of a NULL.
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

class Arithmetic : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Make("arith", "k integer, n integer, sal decimal(8,2), rate decimal(5,3), f float");
        Must("insert into " + t + " values (1, 0, 1600.25, 1.125, 0.5)");
    }
    struct Described {
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = -1;
    };
    Described Describe(SQLUSMALLINT col) {
        Described d;
        SQLSMALLINT nullable = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, col, nullptr, 0, nullptr, &d.type, &d.size, &d.digits, &nullable))
            << Diag();
        return d;
    }
    // The SQLSTATE that running sql to its first row ends in, or "" when it succeeds.
    std::string FirstRowState(const std::string& sql) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLRETURN rc = Exec(sql);
        if (SQL_SUCCEEDED(rc)) rc = SQLFetch(stmt);
        std::string state = rc == SQL_ERROR ? Diag().substr(0, 5) : "";
        SQLFreeStmt(stmt, SQL_CLOSE);
        return state;
    }
};

TEST_P(Arithmetic, DecimalResultsAreDescribedAsIngresTypesThem) {
    struct Case {
        const char* expr;
        SQLSMALLINT type;
        SQLULEN size;
        SQLSMALLINT digits;
        const char* value;
    };
    const std::vector<Case> cases = {
        {"sal * 3", SQL_DECIMAL, 18, 2, "4800.75"},         {"sal * rate", SQL_DECIMAL, 13, 5, "1800.28125"},
        {"sal + rate", SQL_DECIMAL, 10, 3, "1601.375"},     {"sal - k", SQL_DECIMAL, 13, 2, "1599.25"},
        {"sal + rate * 2", SQL_DECIMAL, 16, 3, "1602.500"}, {"sal / 3", SQL_DECIMAL, 31, 25, nullptr},
        {"sal * f", SQL_DOUBLE, 15, -1, "800.125"},         {"k * 3", SQL_INTEGER, 10, -1, "3"},
    };
    for (const Case& c : cases) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        ASSERT_EQ(SQL_SUCCESS, Exec(std::string("select ") + c.expr + " from " + t)) << c.expr << ": " << Diag();
        const Described d = Describe(1);
        EXPECT_EQ(c.type, d.type) << c.expr;
        EXPECT_EQ(c.size, d.size) << c.expr;
        if (c.digits >= 0) {
            EXPECT_EQ(c.digits, d.digits) << c.expr;
        }
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << c.expr << ": " << Diag();
        char buf[64] = {};
        SQLLEN len = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &len))) << Diag();
        if (c.value) {
            EXPECT_STREQ(c.value, buf) << c.expr;
        }
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
}

TEST_P(Arithmetic, DivisionAndModByZeroAreErrors) {
    for (const char* e :
         {"k / n", "k / 0", "k / (k - 1)", "f / n", "sal / n", "mod(k, n)", "{fn MOD(k, 0)}", "{fn MOD(k, n)}"})
        EXPECT_EQ("22012", FirstRowState(std::string("select ") + e + " from " + t)) << e;
    EXPECT_EQ("22012", FirstRowState("select k from " + t + " where k / n = 1"));
    // A parameter of zero as the divisor.
    SQLFreeStmt(stmt, SQL_CLOSE);
    const std::string sql = "select k / ? from " + t;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
    SQLINTEGER zero = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &zero, 0, &ind));
    SQLRETURN rc = SQLExecute(stmt);
    if (SQL_SUCCEEDED(rc)) rc = SQLFetch(stmt);
    EXPECT_EQ(SQL_ERROR, rc);
    EXPECT_EQ("22012", Diag().substr(0, 5));
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    // A change that divides by zero fails and leaves the row.
    SQLRETURN up = Exec("update " + t + " set k = k / n");
    EXPECT_EQ(SQL_ERROR, up);
    EXPECT_EQ("22012", Diag().substr(0, 5));
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ((std::vector<int>{1}), ForwardIds("select k from " + t));
    // Divisors other than zero divide as before; a NULL one gives NULL.
    EXPECT_EQ((std::vector<int>{2}), ForwardIds("select (k + 4) / 2 from " + t));
    EXPECT_EQ((std::vector<int>{1}), ForwardIds("select {fn MOD(k + 4, 2)} from " + t));
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select k / null from " + t)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    SQLINTEGER v = 0;
    SQLLEN vind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_LONG, &v, 0, &vind)) << Diag();
    EXPECT_EQ(SQL_NULL_DATA, vind);
    SQLFreeStmt(stmt, SQL_CLOSE);
}

INSTANTIATE_TEST_SUITE_P(Builds, Arithmetic, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
