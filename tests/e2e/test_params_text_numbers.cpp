// Text bound as a number, through the Driver Manager for both builds: narrow or wide text bound
// to a numeric SQL type is converted whole, as ODBC's conversion rules have it, or refused at the
// execute (22018 for text that is no numeric literal, 22001 for digits the type cannot hold,
// 22003 beyond an approximate type's range); nothing is written for a refused row.
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

class TextAsNumber : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Make("textnum", "k integer, v varchar(40), i bigint, f float8, d decimal(20,5)");
    }
    // Executes sql with text bound as C type cType (narrow or wide) and SQL type sqlType; the
    // SQLSTATE, "" on success.
    std::string Run(const std::string& sql, SQLSMALLINT cType, SQLSMALLINT sqlType, const std::string& text) {
        const bool exact = sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC;
        return Run(sql, cType, sqlType, exact ? 20 : 0, exact ? 5 : 0, text);
    }
    // The same with the parameter's column size and decimal digits.
    std::string Run(const std::string& sql, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits,
                    const std::string& text) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        EXPECT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
        std::u16string wide = Utf16(text);
        std::string narrow = text;
        SQLLEN ind = SQL_NTS;
        void* value = cType == SQL_C_WCHAR ? static_cast<void*>(wide.data()) : static_cast<void*>(narrow.data());
        EXPECT_EQ(SQL_SUCCESS,
                  SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, cType, sqlType, size, digits, value,
                                   SQLLEN(cType == SQL_C_WCHAR ? 2 * (wide.size() + 1) : text.size() + 1), &ind))
            << Diag();
        const SQLRETURN rc = SQLExecute(stmt);
        std::string state = SQL_SUCCEEDED(rc) ? "" : Diag().substr(0, 5);
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        return state;
    }
    std::string Stored(const std::string& column) {
        SQLFreeStmt(stmt, SQL_CLOSE);
        EXPECT_EQ(SQL_SUCCESS, Exec("select " + column + " from " + t + " where k = 1")) << Diag();
        std::string out = "(none)";
        if (SQLFetch(stmt) == SQL_SUCCESS) {
            char buf[64] = {};
            SQLLEN len = 0;
            EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &len))) << Diag();
            out = len == SQL_NULL_DATA ? "-" : buf;
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return out;
    }
};

TEST_P(TextAsNumber, TextThatIsNoNumberIsRefused) {
    const SQLSMALLINT numeric[] = {SQL_DOUBLE, SQL_FLOAT,   SQL_REAL,    SQL_INTEGER, SQL_SMALLINT,
                                   SQL_BIGINT, SQL_TINYINT, SQL_DECIMAL, SQL_NUMERIC, SQL_BIT};
    for (SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR}) {
        for (SQLSMALLINT sqlType : numeric) {
            // Into a text column too: the parameter's SQL type asks for a number.
            for (const char* column : {"v", "f"}) {
                for (const char* bad : {"abc", "2024-02-29", "12abc", "", " ", "1.2.3", "--1", "1e", "0x10"}) {
                    SCOPED_TRACE(std::string(column) + " " + std::to_string(cType) + "/" + std::to_string(sqlType) +
                                 " '" + bad + "'");
                    EXPECT_EQ("22018",
                              Run("insert into " + t + " (k, " + column + ") values (1, ?)", cType, sqlType, bad));
                }
            }
        }
    }
    EXPECT_EQ(Stored("k"), "(none)");
}

TEST_P(TextAsNumber, NumbersInTextAreConvertedWhole) {
    const struct {
        SQLSMALLINT sqlType;
        const char* column;
        const char* text;
        const char* stored;  // null: refused with state
        const char* state;
    } cases[] = {
        {SQL_DOUBLE, "f", " 2.5 ", "2.5", ""},
        {SQL_DOUBLE, "f", "-1e3", "-1000", ""},
        {SQL_DOUBLE, "f", "1e400", nullptr, "22003"},
        {SQL_INTEGER, "i", "+12", "12", ""},
        {SQL_INTEGER, "i", "1e3", "1000", ""},
        {SQL_INTEGER, "i", "7.00", "7", ""},
        {SQL_INTEGER, "i", "1.5", nullptr, "22001"},
        {SQL_INTEGER, "i", "2199023255552", nullptr, "22001"},
        {SQL_SMALLINT, "i", "70000", nullptr, "22001"},
        {SQL_TINYINT, "i", "300", nullptr, "22001"},
        {SQL_BIGINT, "i", "2199023255552", "2199023255552", ""},
        {SQL_BIGINT, "i", "99999999999999999999", nullptr, "22001"},
        {SQL_BIT, "i", "1", "1", ""},
        {SQL_BIT, "i", "0.5", nullptr, "22001"},
        {SQL_BIT, "i", "2", nullptr, "22003"},
        {SQL_DECIMAL, "d", " -123.45 ", "-123.45000", ""},
        {SQL_NUMERIC, "d", ".5", "0.50000", ""},
        {SQL_INTEGER, "v", "42", "42", ""},
    };
    for (SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(cType) + "/" + std::to_string(c.sqlType) + " '" + c.text + "'");
            Must("delete from " + t);
            const std::string state =
                Run("insert into " + t + " (k, " + c.column + ") values (1, ?)", cType, c.sqlType, c.text);
            EXPECT_EQ(state, c.stored ? "" : c.state);
            EXPECT_EQ(Stored(c.column), c.stored ? c.stored : "(none)");
        }
    }
}

// A DECIMAL or NUMERIC parameter holds the digits its decimal digits and column size give, after
// and before the point: text with more is a truncation (22001), as a fraction bound to an
// integer type is, not a value the column rounds; zeros that can be dropped lose nothing, and an
// exponent moves the point before the digits are counted.
TEST_P(TextAsNumber, DecimalTextKeepsToTheParametersDigits) {
    const struct {
        SQLSMALLINT sqlType;
        SQLULEN size;
        SQLSMALLINT digits;
        const char* text;
        const char* stored;  // null: refused with 22001
    } cases[] = {
        {SQL_DECIMAL, 10, 2, "12.345", nullptr},
        {SQL_DECIMAL, 10, 2, "12.340", "12.34000"},
        {SQL_NUMERIC, 10, 2, " -12.3400000 ", "-12.34000"},
        {SQL_DECIMAL, 10, 2, "1.2345e1", nullptr},
        {SQL_DECIMAL, 10, 2, "1.2345E2", "123.45000"},
        {SQL_NUMERIC, 10, 2, "5e-3", nullptr},
        {SQL_NUMERIC, 10, 2, "0.000001e4", "0.01000"},
        {SQL_DECIMAL, 3, 0, "12.5", nullptr},
        {SQL_DECIMAL, 3, 0, "125.", "125.00000"},
        {SQL_DECIMAL, 10, 2, "123456789", nullptr},
        {SQL_DECIMAL, 10, 2, "-0012345678.10", "-12345678.10000"},
        {SQL_NUMERIC, 10, 2, "1e8", nullptr},
        {SQL_NUMERIC, 4, 4, "0.0000", "0.00000"},
        {SQL_NUMERIC, 4, 4, "-.1234", "-0.12340"},
        {SQL_NUMERIC, 4, 4, "1.0", nullptr},
    };
    for (SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::to_string(cType) + "/" + std::to_string(c.sqlType) + "(" + std::to_string(c.size) + "," +
                         std::to_string(c.digits) + ") '" + c.text + "'");
            Must("delete from " + t);
            EXPECT_EQ(Run("insert into " + t + " (k, d) values (1, ?)", cType, c.sqlType, c.size, c.digits, c.text),
                      c.stored ? "" : "22001");
            EXPECT_EQ(Stored("d"), c.stored ? c.stored : "(none)");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, TextAsNumber, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
