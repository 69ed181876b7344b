// Arithmetic as the server answers it, through the Driver Manager for both builds: decimal
// results described with Ingres's precision and scale.
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
        {"sal * 3", SQL_DECIMAL, 18, 2, "4800.75"},
        {"sal * rate", SQL_DECIMAL, 13, 5, "1800.28125"},
        {"sal + rate", SQL_DECIMAL, 10, 3, "1601.375"},
        {"sal - k", SQL_DECIMAL, 13, 2, "1599.25"},
        {"sal + rate * 2", SQL_DECIMAL, 16, 3, "1602.500"},
        {"sal / 3", SQL_DECIMAL, 31, 25, nullptr},
        {"sal * f", SQL_DOUBLE, 15, -1, "800.125"},
        {"k * 3", SQL_INTEGER, 10, -1, "3"},
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

INSTANTIATE_TEST_SUITE_P(Builds, Arithmetic, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
