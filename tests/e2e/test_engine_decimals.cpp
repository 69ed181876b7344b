// DECIMAL through the Driver Manager for both builds, as the server computes and stores it:
// arithmetic, sums, averages, casts and comparisons keep all 31 digits; overflow is 22003 and
// division by zero 22012; a value the column cannot hold is refused where it is written; and a
// value goes in and comes back exactly as text, as SQL_NUMERIC_STRUCT and as a double.
#include <cstring>
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

constexpr const char* kWide = "12345678901234567890123456.78";

class DecimalValues : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Make("decimals", "k integer, w decimal(31,2), e decimal(5,2)");
        Must("insert into " + t + " values (1, " + kWide + ", 1.25)");
        Must("insert into " + t + " values (2, 12345678901234567890123456.79, 2.00)");
    }
    // The first column of every row of sql as text; the SQLSTATE where it fails.
    std::vector<std::string> Texts(const std::string& sql, std::string* state = nullptr) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        std::vector<std::string> out;
        SQLRETURN rc = Exec(sql);
        while (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(rc = SQLFetch(stmt))) {
            char buf[80] = {};
            SQLLEN len = kPoison();
            rc = SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &len);
            if (SQL_SUCCEEDED(rc)) out.push_back(len == SQL_NULL_DATA ? "NULL" : buf);
        }
        if (state) *state = rc == SQL_ERROR ? Diag().substr(0, 5) : "";
        if (!state) {
            EXPECT_EQ(SQL_NO_DATA, rc) << sql << ": " << Diag();
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return out;
    }
    std::string State(const std::string& sql) {
        std::string state;
        Texts(sql, &state);
        return state;
    }
    // Runs sql with one parameter bound as given; its SQLSTATE ("" on success).
    std::string RunWith(const std::string& sql, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size,
                        SQLSMALLINT digits, void* value, SQLLEN* ind) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        EXPECT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
        EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, cType, sqlType, size, digits, value, 0, ind))
            << Diag();
        const SQLRETURN rc = SQLExecute(stmt);
        const std::string state = SQL_SUCCEEDED(rc) ? "" : Diag().substr(0, 5);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        return state;
    }
};

TEST_P(DecimalValues, ArithmeticKeepsEveryDigit) {
    struct Case {
        std::string expr;
        SQLULEN size;
        SQLSMALLINT digits;
        const char* value;
    };
    const std::vector<Case> cases = {
        {"w + 1", 31, 2, "12345678901234567890123457.78"},
        {"w + 0", 31, 2, kWide},
        {"w - e", 31, 2, "12345678901234567890123455.53"},
        {"w * 2", 31, 2, "24691357802469135780246913.56"},
        {"w / 7", 31, 2, "1763668414462081127160493.83"},
        {"-w", 31, 2, "-12345678901234567890123456.78"},
        {"cast(w as decimal(31,3))", 31, 3, "12345678901234567890123456.780"},
        {"99999999999999999.99 - 0.01", 20, 2, "99999999999999999.98"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        SQLFreeStmt(stmt, SQL_CLOSE);
        ASSERT_EQ(SQL_SUCCESS, Exec("select " + c.expr + " from " + t + " where k = 1")) << Diag();
        SQLSMALLINT type = 0, digits = -1, nullable = 0;
        SQLULEN size = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, 1, nullptr, 0, nullptr, &type, &size, &digits, &nullable));
        EXPECT_EQ(SQL_DECIMAL, type);
        EXPECT_EQ(c.size, size);
        EXPECT_EQ(c.digits, digits);
        SQLFreeStmt(stmt, SQL_CLOSE);
        EXPECT_EQ(std::vector<std::string>{c.value}, Texts("select " + c.expr + " from " + t + " where k = 1"));
    }
    // Sums and averages.
    EXPECT_EQ(std::vector<std::string>{"24691357802469135780246913.57"}, Texts("select sum(w) from " + t));
    EXPECT_EQ(std::vector<std::string>{"12345678901234567890123456.79"}, Texts("select avg(w) from " + t));
    EXPECT_EQ(std::vector<std::string>{"1.63"}, Texts("select avg(e) from " + t));
    // A change by an expression stores the exact result.
    Must("update " + t + " set w = w + 1 where k = 1");
    EXPECT_EQ(std::vector<std::string>{"12345678901234567890123457.78"}, Texts("select w from " + t + " where k = 1"));
    SQLLEN ind = SQL_NTS;
    char cent[] = "0.01";
    EXPECT_EQ("", RunWith("update " + t + " set w = w - ? where k = 1", SQL_C_CHAR, SQL_DECIMAL, 3, 2, cent, &ind));
    EXPECT_EQ(std::vector<std::string>{"12345678901234567890123457.77"}, Texts("select w from " + t + " where k = 1"));
}

TEST_P(DecimalValues, OverflowAndDivisionByZeroAreErrors) {
    for (const char* e : {"w * 100000", "w * w", "w + 99999999999999999999999999999.99", "cast(w as decimal(5,2))"})
        EXPECT_EQ("22003", State(std::string("select ") + e + " from " + t)) << e;
    for (const char* e : {"w / 0", "e / (k - 1)"})
        EXPECT_EQ("22012", State(std::string("select ") + e + " from " + t)) << e;
    // A sum past 31 digits overflows.
    Must("insert into " + t + " values (3, 99999999999999999999999999999.99, 0)");
    EXPECT_EQ("22003", State("select sum(w) from " + t));
    // A value at the edge of its type stays in it (its double would round past it).
    const std::string edge = Make("decimal_edge", "x decimal(17,2)");
    Must("insert into " + edge + " values (999999999999999.99)");
    EXPECT_EQ(std::vector<std::string>{"999999999999999.99"},
              Texts("select cast(x + 0 as decimal(17,2)) from " + edge));
}

TEST_P(DecimalValues, ComparisonsAndOrderGoByTheNumber) {
    EXPECT_EQ(std::vector<std::string>{"1"}, Texts("select k from " + t + " where w = " + kWide));
    EXPECT_EQ(std::vector<std::string>{"2"}, Texts("select k from " + t + " where w > " + kWide));
    EXPECT_EQ(std::vector<std::string>{"2"}, Texts("select k from " + t + " where w + 0 > " + kWide));
    EXPECT_EQ(std::vector<std::string>{"1"},
              Texts("select k from " + t + " where w between 0 and " + std::string(kWide)));
    Must("insert into " + t + " values (3, 9.5, 10.00)");
    EXPECT_EQ((std::vector<std::string>{"3", "1", "2"}), Texts("select k from " + t + " order by w"));
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3"}), Texts("select k from " + t + " order by e, k"));
    EXPECT_EQ(std::vector<std::string>{"10.00"}, Texts("select max(e) from " + t));
    // A parameter meets the column at its value.
    SQLLEN ind = SQL_NTS;
    char value[] = "12345678901234567890123456.790";
    SQLFreeStmt(stmt, SQL_CLOSE);
    const std::string sql = "select k from " + t + " where w = ?";
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 31, 3, value, 0, &ind));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    EXPECT_EQ(std::vector<int>{2}, ReadIds());
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
}

TEST_P(DecimalValues, ValuesAreCheckedWhereTheyAreWritten) {
    const std::string c = Make("decimal_checks", "k integer, v decimal(5,2)");
    Must("insert into " + c + " values (0, 999.99)");
    EXPECT_EQ("22003", State("insert into " + c + " values (1, 123456.7)"));
    EXPECT_EQ("22018", State("insert into " + c + " values (1, 'x1')"));
    EXPECT_EQ("22003", State("insert into " + c + " select k, w from " + t));
    EXPECT_EQ("22003", State("update " + c + " set v = v * 1000"));
    SQLLEN ind = SQL_NTS;
    char big[] = "123456.7", word[] = "x1";
    EXPECT_EQ("22003", RunWith("insert into " + c + " values (1, ?)", SQL_C_CHAR, SQL_DECIMAL, 7, 1, big, &ind));
    EXPECT_EQ("22018", RunWith("insert into " + c + " values (1, ?)", SQL_C_CHAR, SQL_VARCHAR, 2, 0, word, &ind));
    // Nothing of it was written.
    EXPECT_EQ(std::vector<std::string>{"999.99"}, Texts("select v from " + c));
}

TEST_P(DecimalValues, ValuesRoundTripExactly) {
    const std::string r = Make("decimal_trip", "k integer, v decimal(31,2)");
    // As text, as SQL_NUMERIC_STRUCT and as a double.
    SQLLEN ind = SQL_NTS;
    char text[] = "-12345678901234567890123456.78";
    EXPECT_EQ("", RunWith("insert into " + r + " values (1, ?)", SQL_C_CHAR, SQL_DECIMAL, 31, 2, text, &ind));
    SQL_NUMERIC_STRUCT num = NumericOf("1234567890123456789012345678901", 31, 2);
    SQLLEN fixed = 0;
    EXPECT_EQ("", RunWith("insert into " + r + " values (2, ?)", SQL_C_NUMERIC, SQL_NUMERIC, 31, 2, &num, &fixed));
    SQLDOUBLE d = 1600.25;
    EXPECT_EQ("", RunWith("insert into " + r + " values (3, ?)", SQL_C_DOUBLE, SQL_DECIMAL, 31, 2, &d, &fixed));
    Must("insert into " + r + " values (4, " + kWide + ")");
    EXPECT_EQ((std::vector<std::string>{"-12345678901234567890123456.78", "12345678901234567890123456789.01", "1600.25",
                                        kWide}),
              Texts("select v from " + r + " order by k"));
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select v, v, v + 0 from " + r + " where k = 2")) << Diag();
    // The structure read at the column's scale, as the row descriptor asks for it.
    SQLHDESC ard = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr));
    for (SQLSMALLINT col : {1, 3}) {
        ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, col, SQL_DESC_TYPE, (SQLPOINTER)SQL_C_NUMERIC, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, col, SQL_DESC_PRECISION, (SQLPOINTER)31, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, col, SQL_DESC_SCALE, (SQLPOINTER)2, 0));
    }
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    for (SQLUSMALLINT col : {1, 3}) {
        SQL_NUMERIC_STRUCT back{};
        SQLLEN len = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, col, SQL_ARD_TYPE, &back, sizeof back, &len))) << Diag();
        EXPECT_EQ(2, back.scale) << col;
        EXPECT_EQ(1, back.sign) << col;
        EXPECT_EQ(0, std::memcmp(back.val, num.val, sizeof num.val)) << col;
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select v, v + 0 from " + r + " where k = 3")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    for (SQLUSMALLINT col : {1, 2}) {
        SQLDOUBLE back = 0;
        SQLLEN len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, col, SQL_C_DOUBLE, &back, sizeof back, &len)) << Diag();
        EXPECT_EQ(1600.25, back) << col;
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
}

INSTANTIATE_TEST_SUITE_P(Builds, DecimalValues, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
