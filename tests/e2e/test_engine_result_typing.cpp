// Result columns typed as the server types them, through the Driver Manager for both builds: a
// UNION's columns from all its branches, a derived table's columns by their names, national
// literals sized in UTF-16 units, COALESCE and IFNULL as numbers of their arguments' type, the
// current date and time as dates and times, and a CAST to a type Ingres does not have refused.
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

class ResultTyping : public ResultsTest {
protected:
    // The first column of every row of the executed statement as text ("-" for NULL); closes it.
    std::vector<std::string> FirstColumn() {
        std::vector<std::string> out;
        for (SQLRETURN rc; (rc = SQLFetch(stmt)) != SQL_NO_DATA;) {
            EXPECT_EQ(SQL_SUCCESS, rc) << Diag();
            if (rc != SQL_SUCCESS) break;
            char buf[64] = {};
            SQLLEN len = 0;
            EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &len))) << Diag();
            out.push_back(len == SQL_NULL_DATA ? "-" : buf);
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return out;
    }
    SQLSMALLINT TextType() const { return GetParam().wide ? SQL_WVARCHAR : SQL_VARCHAR; }
};

TEST_P(ResultTyping, UnionColumnsAreTypedFromEveryBranch) {
    const std::string t = Make("rtunion", "k integer, s smallint, v varchar(3), d decimal(6,2)");
    Must("insert into " + t + " values (1, 2, 'abc', 1234.56)");
    const struct {
        std::string sql;
        SQLSMALLINT type;
        SQLULEN size;
        SQLSMALLINT digits;
        std::vector<std::string> rows;
    } cases[] = {
        {"select 1.5 as a union select -100.5 order by 1", SQL_DECIMAL, 4, 1, {"-100.5", "1.5"}},
        {"select 'a' as a union select 'hello' order by 1", SQL_VARCHAR, 5, 0, {"a", "hello"}},
        {"select null as a union select 'hello'", SQL_VARCHAR, 5, 0, {"-", "hello"}},
        {"select null as a union all select 12", SQL_INTEGER, 10, 0, {"-", "12"}},
        {"select s as a from " + t + " union all select 70000", SQL_INTEGER, 10, 0, {"2", "70000"}},
        {"select v as a from " + t + " union all select 'longer text' order by 1",
         SQL_VARCHAR,
         11,
         0,
         {"abc", "longer text"}},
        {"select k as a from " + t + " union select d from " + t + " order by 1",
         SQL_DECIMAL,
         12,
         2,
         {"1.00", "1234.56"}},
        {"(select 1 as a) union (select 2.25) order by 1", SQL_DECIMAL, 12, 2, {"1.00", "2.25"}},
        {"select 1 as a union select 1.5e0 order by 1", SQL_DOUBLE, 15, 0, {"1", "1.5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        SQLFreeStmt(stmt, SQL_CLOSE);
        ASSERT_EQ(SQL_SUCCESS, Exec(c.sql)) << Diag();
        const Described d = Describe(1);
        EXPECT_EQ(d.name, "a");
        EXPECT_EQ(d.type, c.type);
        EXPECT_EQ(d.size, c.size);
        if (c.type == SQL_DECIMAL) {
            EXPECT_EQ(d.digits, c.digits);
        }
        EXPECT_EQ(FirstColumn(), c.rows);
    }
    // A NULL is a value, not a name: its column is called by its position.
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select null union select 'hello'")) << Diag();
    EXPECT_EQ(Describe(1).name, "col1");
    EXPECT_EQ(FirstColumn(), (std::vector<std::string>{"-", "hello"}));
}

// A column in an expression is typed from the statement's own tables, by the table or
// correlation name that qualifies it, whatever another table declares under that name: a decimal
// keeps its own digits and a float adds instead of joining as text.
TEST_P(ResultTyping, ColumnsAreTypedFromTheTablesTheStatementNames) {
    const std::string n = Make("rtnarrow", "k integer, amt decimal(5,2), x varchar(10)");
    const std::string w = Make("rtwide", "k integer, amt decimal(31,2), x float8");
    Must("insert into " + n + " values (1, 1.25, 'abc')");
    Must("insert into " + w + " values (1, 12345678901234567890123456.78, 2.5)");
    const std::string both = " from " + n + " a join " + w + " as b on a.k = b.k";
    const struct {
        std::string sql;
        SQLSMALLINT type;
        SQLULEN size;  // 0: not compared
        SQLSMALLINT digits;
        const char* value;
    } cases[] = {
        {"select amt + 1 from " + w, SQL_DECIMAL, 31, 2, "12345678901234567890123457.78"},
        {"select -amt from " + w, SQL_DECIMAL, 31, 2, "-12345678901234567890123456.78"},
        {"select min(amt) from " + w, SQL_DECIMAL, 31, 2, "12345678901234567890123456.78"},
        {"select amt + 1 from " + n, SQL_DECIMAL, 13, 2, "2.25"},
        {"select b.amt + 1" + both, SQL_DECIMAL, 31, 2, "12345678901234567890123457.78"},
        {"select a.amt + 1" + both, SQL_DECIMAL, 13, 2, "2.25"},
        {"select b.amt + a.amt" + both, SQL_DECIMAL, 31, 2, "12345678901234567890123458.03"},
        {"select sum(b.amt)" + both, SQL_DECIMAL, 31, 2, "12345678901234567890123456.78"},
        {"select " + w + ".amt - 1 from " + n + ", " + w + " where " + n + ".k = " + w + ".k", SQL_DECIMAL, 31, 2,
         "12345678901234567890123455.78"},
        {"select x + 1 from " + w, SQL_DOUBLE, 15, 0, "3.5"},
        {"select b.x + 1" + both, SQL_DOUBLE, 15, 0, "3.5"},
        {"select ifnull(b.x, 0)" + both, SQL_DOUBLE, 15, 0, "2.5"},
        {"select a.x + 'y'" + both, SQL_VARCHAR, 0, 0, "abcy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        SQLFreeStmt(stmt, SQL_CLOSE);
        ASSERT_EQ(SQL_SUCCESS, Exec(c.sql)) << Diag();
        const Described d = Describe(1);
        EXPECT_EQ(d.type, c.type);
        if (c.size) {
            EXPECT_EQ(d.size, c.size);
        }
        if (c.type == SQL_DECIMAL) {
            EXPECT_EQ(d.digits, c.digits);
        }
        EXPECT_EQ(FirstColumn(), (std::vector<std::string>{c.value}));
    }
}

TEST_P(ResultTyping, DerivedTableColumnsKeepTheirNames) {
    ASSERT_EQ(SQL_SUCCESS, Exec("select * from (select 1 as a, 'xy' as b, 2.5 as c) x")) << Diag();
    SQLSMALLINT n = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &n));
    ASSERT_EQ(n, 3);
    const Described a = Describe(1), b = Describe(2), c = Describe(3);
    EXPECT_EQ((std::vector<std::string>{a.name, b.name, c.name}), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(a.type, SQL_INTEGER);
    EXPECT_EQ(b.type, SQL_VARCHAR);
    EXPECT_EQ(c.type, SQL_DECIMAL);
    EXPECT_EQ(FirstColumn(), (std::vector<std::string>{"1"}));
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select x.b, x.* from (select 1 as a, 'xy' as b) x")) << Diag();
    EXPECT_EQ((std::vector<std::string>{Describe(1).name, Describe(2).name, Describe(3).name}),
              (std::vector<std::string>{"b", "a", "b"}));
    EXPECT_EQ(FirstColumn(), (std::vector<std::string>{"xy"}));
}

// A national literal holds as many characters as its UTF-16 units: a character beyond the
// basic plane counts two.
TEST_P(ResultTyping, NationalLiteralsAreSizedInUtf16Units) {
    ASSERT_EQ(SQL_SUCCESS, ExecText(stmt, "select N'😀x' as a")) << Diag();
    const Described d = Describe(1);
    EXPECT_EQ(d.type, TextType());
    EXPECT_EQ(d.size, 3u);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    SQLWCHAR w[8] = {};
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_WCHAR, w, sizeof w, &len)) << Diag();
    EXPECT_EQ(len, 6);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(w), 3), Utf16("😀x"));
    SQLFreeStmt(stmt, SQL_CLOSE);
    // A CAST to a national type cuts at its units, never inside a pair.
    ASSERT_EQ(SQL_SUCCESS, ExecText(stmt, "select cast(N'😀😀' as nvarchar(3)) as a")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_WCHAR, w, sizeof w, &len)) << Diag();
    EXPECT_EQ(len, 4);
    SQLFreeStmt(stmt, SQL_CLOSE);
}

TEST_P(ResultTyping, FunctionResultsAreTypedAsTheServerTypesThem) {
    const std::string t = Make("rtfuncs", "k integer, s smallint, f float, v varchar(5)");
    Must("insert into " + t + " values (1, null, null, null)");
    const struct {
        const char* expr;
        SQLSMALLINT type;
        const char* value;  // null: not compared
    } cases[] = {
        {"coalesce(s, 0)", SQL_INTEGER, "0"},
        {"coalesce(k, 0)", SQL_INTEGER, "1"},
        {"ifnull(s, 0)", SQL_INTEGER, "0"},
        {"ifnull(s, s)", SQL_SMALLINT, "-"},
        {"ifnull(f, 0)", SQL_DOUBLE, "0"},
        {"{fn ifnull(k, 0)}", SQL_INTEGER, "1"},
        {"coalesce(v, 'none')", SQL_VARCHAR, "none"},
        {"ifnull(k, 0) + 1", SQL_INTEGER, "2"},
        {"1 + coalesce(s, 4)", SQL_INTEGER, "5"},
        {"ifnull(v, 'x') + 'y'", SQL_VARCHAR, "xy"},
        {"current_date", SQL_TYPE_DATE, nullptr},
        {"current_time", SQL_TYPE_TIME, nullptr},
        {"current_timestamp", SQL_TYPE_TIMESTAMP, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expr);
        SQLFreeStmt(stmt, SQL_CLOSE);
        ASSERT_EQ(SQL_SUCCESS, Exec(std::string("select ") + c.expr + " from " + t)) << Diag();
        EXPECT_EQ(Describe(1).type, c.type);
        const std::vector<std::string> rows = FirstColumn();
        ASSERT_EQ(rows.size(), 1u);
        if (c.value) {
            EXPECT_EQ(rows[0], c.value);
        }
    }
    // The current timestamp reads as a timestamp structure.
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select current_timestamp, current_date from " + t)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    SQL_TIMESTAMP_STRUCT ts{};
    SQL_DATE_STRUCT day{};
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &len)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_TYPE_DATE, &day, sizeof day, &len)) << Diag();
    EXPECT_GE(ts.year, 2024);
    EXPECT_GE(day.year, 2024);
    SQLFreeStmt(stmt, SQL_CLOSE);
}

// Ingres has no BIT type: a CAST to it is refused, not answered as text.
TEST_P(ResultTyping, CastToATypeIngresLacksIsRefused) {
    for (const char* sql : {"select cast(1 as bit)", "select 1 as a where cast(2 as BIT) = 1"}) {
        SCOPED_TRACE(sql);
        SQLFreeStmt(stmt, SQL_CLOSE);
        EXPECT_EQ(SQL_ERROR, Exec(sql));
        EXPECT_EQ(Diag().substr(0, 5), "42000");
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    // Its own types still cast.
    ASSERT_EQ(SQL_SUCCESS, Exec("select cast(1 as integer1), cast('7' as smallint)")) << Diag();
    EXPECT_EQ(Describe(1).type, SQL_TINYINT);
    EXPECT_EQ(FirstColumn(), (std::vector<std::string>{"1"}));
}

INSTANTIATE_TEST_SUITE_P(Builds, ResultTyping, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
