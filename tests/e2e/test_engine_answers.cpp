// What the engine answers where it stands in for the server: decimal division, time and Unicode
// literals, names of unnamed columns, messages with non-ASCII text and DDL behind the session's
// own open cursor, through the Driver Manager for both builds.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

class Engine : public ResultsTest {
protected:
    // The first diagnostic's message as UTF-8 (converted back from UTF-16 for the wide build).
    std::string MessageText(SQLSMALLINT type, SQLHANDLE h) {
        if (!GetParam().wide) return Diag(type, h);
        SQLWCHAR state[6] = {}, msg[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, h, 1, state, &native, msg, 1024, &len))) return "(none)";
        std::string out;
        for (SQLSMALLINT i = 0; i < len; ++i) {
            uint32_t cp = msg[i];
            if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < len) cp = 0x10000 + ((cp - 0xD800) << 10) + (msg[++i] - 0xDC00);
            if (cp < 0x80) {
                out.push_back(char(cp));
            } else if (cp < 0x800) {
                out += {char(0xC0 | cp >> 6), char(0x80 | (cp & 0x3F))};
            } else if (cp < 0x10000) {
                out += {char(0xE0 | cp >> 12), char(0x80 | (cp >> 6 & 0x3F)), char(0x80 | (cp & 0x3F))};
            } else {
                out += {char(0xF0 | cp >> 18), char(0x80 | (cp >> 12 & 0x3F)), char(0x80 | (cp >> 6 & 0x3F)),
                        char(0x80 | (cp & 0x3F))};
            }
        }
        return out;
    }
    std::string Text(SQLUSMALLINT col) {
        char buf[256] = {};
        SQLLEN len = 0;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, col, SQL_C_CHAR, buf, sizeof buf, &len))) << Diag();
        return buf;
    }
};

// DECIMAL divided by an integer stays a DECIMAL of Ingres's scale (31 - p1 + s1 - s2), and its
// value is the quotient, not the quotient of the integers a decimal column may store.
TEST_P(Engine, DecimalDivisionKeepsItsScale) {
    const std::string t = Make("decdiv", "k integer, sal decimal(8,2)");
    Must("insert into " + t + " values (1, 1600.00)");
    Must("insert into " + t + " values (2, 5.00)");
    ASSERT_EQ(SQL_SUCCESS, Exec("select sal / 3, sal / 2, k / 2 from " + t + " where k = 1")) << Diag();
    const Described d = Describe(1);
    EXPECT_EQ(SQL_DECIMAL, d.type);
    EXPECT_EQ(SQLULEN(31), d.size);
    EXPECT_EQ(25, d.digits);
    EXPECT_EQ(SQL_DECIMAL, Describe(2).type);
    EXPECT_EQ(SQL_INTEGER, Describe(3).type) << "integers divide as integers";
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ("533.33333333333", Text(1).substr(0, 15));
    double q = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_DOUBLE, &q, 0, nullptr)) << Diag();
    EXPECT_EQ(800.0, q);
    SQLINTEGER half = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt, 3, SQL_C_SLONG, &half, 0, nullptr)) << Diag();
    EXPECT_EQ(0, half);
    SQLFreeStmt(stmt, SQL_CLOSE);
    // The quotient compares and orders as a number: 533.33 is above 533, 2.5 below 3.
    ASSERT_EQ(SQL_SUCCESS, Exec("select k from " + t + " where sal / 3 > 533 order by k")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    EXPECT_EQ("1", Text(1));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select k, (sal + 1) / 2 from " + t + " order by 2")) << Diag();
    EXPECT_EQ(SQL_DECIMAL, Describe(2).type);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    EXPECT_EQ("2", Text(1));
    EXPECT_EQ("3.00", Text(2).substr(0, 4));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    EXPECT_EQ("800.50", Text(2).substr(0, 6));
    SQLFreeStmt(stmt, SQL_CLOSE);
    // A decimal divided by zero is the server's error.
    ASSERT_EQ(SQL_SUCCESS, Exec("select sal / (k - k) from " + t)) << Diag();
    EXPECT_EQ(SQL_ERROR, SQLFetch(stmt));
    EXPECT_EQ("22012", Diag().substr(0, 5));
    SQLFreeStmt(stmt, SQL_CLOSE);
}

// {t '...'} is a time: described as one and read as one.
TEST_P(Engine, TimeEscapeReadsAsATime) {
    ASSERT_EQ(SQL_SUCCESS, Exec("select {t '04:05:06'}, {d '2024-02-29'}")) << Diag();
    EXPECT_EQ(SQL_TYPE_TIME, Describe(1).type);
    EXPECT_EQ(SQL_TYPE_TIMESTAMP, Describe(2).type) << "the date escape is an Ingres date";
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    SQL_TIME_STRUCT tm{};
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_TYPE_TIME, &tm, sizeof tm, nullptr)) << Diag();
    EXPECT_EQ(4, tm.hour);
    EXPECT_EQ(5, tm.minute);
    EXPECT_EQ(6, tm.second);
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select {t '23:59:01'}")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ("23:59:01", Text(1));
    SQLFreeStmt(stmt, SQL_CLOSE);
}

// N'...' is a Unicode literal, wherever a literal may stand.
TEST_P(Engine, UnicodeLiteralsAreTaken) {
    const std::string t = Make("nlit", "k integer, name nvarchar(20)");
    const std::string nihon = "\xE6\x97\xA5\xE6\x9C\xAC";
    ASSERT_EQ(SQL_SUCCESS, ExecText(stmt, "insert into " + t + " values (1, N'" + nihon + "')")) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS,
              ExecText(stmt, "select k, N'it''s', n'" + nihon + "' from " + t + " where name = N'" + nihon + "'"))
        << Diag();
    EXPECT_EQ(GetParam().wide ? SQL_WVARCHAR : SQL_VARCHAR, Describe(2).type);
    EXPECT_EQ(SQLULEN(4), Describe(2).size);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ("1", Text(1));
    EXPECT_EQ("it's", Text(2));
    EXPECT_EQ(nihon, Text(3));
    SQLFreeStmt(stmt, SQL_CLOSE);
}

// A string or byte value longer than its column is refused where it is written, by literal,
// parameter, UPDATE or INSERT ... SELECT, with 22001; what fits (CHAR with padding beyond its
// length, NVARCHAR counted in characters) goes in, and every row stays readable.
TEST_P(Engine, ValuesLongerThanTheirColumnAreRefused) {
    const std::string t = Make("fit", "k integer, v varchar(5), c char(3), n nvarchar(2), b varbyte(2)");
    const std::string u8 = "\xC3\xA4\xC3\xB6";  // two characters, four bytes
    const std::string fits[] = {
        "insert into " + t + " values (1, 'abcde', 'xy ', N'" + u8 + "', X'0102')",
        "insert into " + t + " values (2, 'ab', 'xyz   ', N'a', X'01')",
        "insert into " + t + " values (3, '" + u8 + "', 'x', null, null)",
    };
    for (const std::string& sql : fits) {
        EXPECT_EQ(SQL_SUCCESS, ExecText(stmt, sql)) << sql << ": " << Diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    const std::string refused[] = {
        "insert into " + t + " (k, v) values (4, 'abcdef')",
        "insert into " + t + " (k, v) values (4, '" + u8 + "xy')",
        "insert into " + t + " (k, c) values (4, 'wxyz')",
        "insert into " + t + " (k, n) values (4, N'abc')",
        "insert into " + t + " (k, b) values (4, X'010203')",
        "update " + t + " set v = v || 'zz' where k = 1",
        "insert into " + t + " (k, v) select k + 10, v || 'long' from " + t,
    };
    for (const std::string& sql : refused) {
        EXPECT_EQ(SQL_ERROR, ExecText(stmt, sql)) << sql;
        EXPECT_EQ("22001", Diag().substr(0, 5)) << sql;
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    // By parameter, as an application binds a longer text than the column's size.
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)("insert into " + t + " (k, v) values (5, ?)").c_str(), SQL_NTS));
    char text[] = "abcdefgh";
    SQLLEN textLen = SQL_NTS;
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 8, 0, text, sizeof text, &textLen));
    EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
    EXPECT_EQ("22001", Diag().substr(0, 5));
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    SQLFreeStmt(stmt, SQL_CLOSE);
    std::vector<std::string> rows;
    ASSERT_EQ(SQL_SUCCESS, Exec("select k, v, c from " + t + " order by k")) << Diag();
    for (SQLRETURN rc; (rc = SQLFetch(stmt)) != SQL_NO_DATA;) {
        ASSERT_EQ(SQL_SUCCESS, rc) << Diag();
        rows.push_back(Text(1) + ":" + Text(2) + ":" + Text(3));
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ(rows, (std::vector<std::string>{"1:abcde:xy ", "2:ab:xyz", "3:" + u8 + ":x  "}));
}

// An expression without a name is called by its position, as the server calls it, also when it
// ends in words ("IS NOT NULL") that could be taken for a name.
TEST_P(Engine, UnnamedExpressionsAreNamedByPosition) {
    ASSERT_EQ(SQL_SUCCESS,
              Exec("select {fn NOW()} IS NOT NULL, 1 + 1, {fn NOW()} is null, 2 as two, {fn NOW()} is not null flag"))
        << Diag();
    EXPECT_EQ("col1", Describe(1).name);
    EXPECT_EQ("col2", Describe(2).name);
    EXPECT_EQ("col3", Describe(3).name);
    EXPECT_EQ("two", Describe(4).name);
    EXPECT_EQ("flag", Describe(5).name);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ("1", Text(1));
    EXPECT_EQ("0", Text(3));
    SQLFreeStmt(stmt, SQL_CLOSE);
}

// The server's message keeps the statement's non-ASCII text, converted for the caller.
TEST_P(Engine, MessagesCarryNonAsciiText) {
    const std::string name = "t\xE6\x97\xA5\xE6\x9C\xAC\xC3\xA9";
    EXPECT_EQ(SQL_ERROR, ExecText(stmt, "select * from " + name));
    const std::string msg = MessageText(SQL_HANDLE_STMT, stmt);
    EXPECT_NE(std::string::npos, msg.find(name)) << msg;
    EXPECT_EQ(std::string::npos, msg.find('?')) << msg;
    SQLFreeStmt(stmt, SQL_CLOSE);
    // A literal the parser stops at.
    EXPECT_EQ(SQL_ERROR, ExecText(stmt, "select 1 from '\xD0\x96\xD0\x96'"));
    const std::string msg2 = MessageText(SQL_HANDLE_STMT, stmt);
    EXPECT_NE(std::string::npos, msg2.find("\xD0\x96\xD0\x96")) << msg2;
    SQLFreeStmt(stmt, SQL_CLOSE);
}

// DROP TABLE behind the connection's own unfinished cursor goes through at once, as the server
// lets its own session through; the cursor still reads every row it had.
TEST_P(Engine, DdlBehindTheSessionsOwnOpenCursor) {
    for (bool autocommit : {true, false}) {
        SCOPED_TRACE(autocommit ? "autocommit" : "manual commit");
        ASSERT_EQ(
            SQL_SUCCESS,
            SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                              reinterpret_cast<SQLPOINTER>(autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0));
        const std::string t = Table("ddlcur");
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (k integer)");
        // More rows than the driver's fetch block (64 KiB), read in the order they were stored
        // (no sort holds them): the cursor is still reading the table.
        const int rows = 20000;
        Must("insert into " + t + " values (1)");
        for (int n = 1; n < rows; n *= 2)
            Must("insert into " + t + " select k + " + std::to_string(n) + " from " + t + " where k + " +
                 std::to_string(n) + " <= " + std::to_string(rows));
        if (!autocommit) SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);
        ASSERT_EQ(SQL_SUCCESS, Exec("select k from " + t)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
        long sum = std::stol(Text(1));
        SQLHSTMT other = SQL_NULL_HSTMT;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &other));
        EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(other, (SQLCHAR*)("drop table " + t).c_str(), SQL_NTS))
            << Diag(SQL_HANDLE_STMT, other);
        // The open cursor reads on to its end.
        int read = 1;
        for (SQLRETURN rc; (rc = SQLFetch(stmt)) != SQL_NO_DATA; ++read) {
            ASSERT_EQ(SQL_SUCCESS, rc) << Diag();
            sum += std::stol(Text(1));
        }
        EXPECT_EQ(rows, read);
        EXPECT_EQ(long(rows) * (rows + 1) / 2, sum);
        SQLFreeStmt(stmt, SQL_CLOSE);
        if (!autocommit) {
            EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
        }
        EXPECT_EQ(SQL_ERROR, SQLExecDirect(other, (SQLCHAR*)("select * from " + t).c_str(), SQL_NTS));
        EXPECT_EQ("42S02", Diag(SQL_HANDLE_STMT, other).substr(0, 5));
        SQLFreeHandle(SQL_HANDLE_STMT, other);
    }
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

INSTANTIATE_TEST_SUITE_P(Builds, Engine, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
