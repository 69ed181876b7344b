// Column attribute 1053 through the Driver Manager: whether a result column is one of its
// table's key columns, for plain columns, expressions, composite keys, joins and tables
// without a key, on forward-only and scrollable statements and with the describe-keys options.
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

constexpr SQLUSMALLINT kKeyColumn = 1053;

class ColumnKeys : public ResultsTest {
protected:
    // Attribute 1053 of every column of sql, read through SQLColAttribute; the statement is
    // set up by `how`: a cursor type, or 1052 / 1054 for the describe-keys options.
    std::vector<SQLLEN> Keys(const std::string& sql, SQLULEN how) {
        SQLHSTMT h = SQL_NULL_HSTMT;
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h));
        if (how == 1052 || how == 1054)
            EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(h, SQLINTEGER(how), (SQLPOINTER)1, 0)) << Diag(SQL_HANDLE_STMT, h);
        else
            EXPECT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)how, 0)));
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS))) << sql << Diag(SQL_HANDLE_STMT, h);
        SQLSMALLINT n = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &n));
        std::vector<SQLLEN> out;
        for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(n); ++c) {
            SQLLEN v = -99;
            EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(h, c, kKeyColumn, nullptr, 0, nullptr, &v))
                << c << ": " << Diag(SQL_HANDLE_STMT, h);
            out.push_back(v);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        return out;
    }
};

TEST_P(ColumnKeys, KeyColumnsOfTheResult) {
    const std::string a = Make("keysa", "id integer not null primary key, name varchar(12), n integer");
    const std::string b = Make("keysb", "k1 integer not null, k2 varchar(4) not null, v integer, primary key (k1, k2)");
    const std::string c = Make("keysc", "x integer, y varchar(4)");
    Must("insert into " + a + " values (1, 'one', 10)");
    Must("insert into " + b + " values (1, 'a', 5)");
    Must("insert into " + c + " values (1, 'a')");
    // With option 1054 the key columns a select list leaves out are appended to it: the row id of
    // a table without a primary key, the second column of a composite key.
    struct Case {
        std::string sql;
        std::vector<SQLLEN> keys;
        std::vector<SQLLEN> keysAdded;
    };
    const std::vector<Case> cases{
        {"select name, id, id + 1, upper(name) from " + a, {0, 1, 0, 0}, {0, 1, 0, 0}},
        {"select id as other, n from " + a, {1, 0}, {1, 0}},
        {"select * from " + a, {1, 0, 0}, {1, 0, 0}},
        {"select v, k2, k1 from " + b, {0, 1, 1}, {0, 1, 1}},
        {"select x, y from " + c, {0, 0}, {0, 0, 1}},
        // A key added to a DISTINCT would make every table row a row of the result.
        {"select distinct x, y from " + c, {0, 0}, {0, 0}},
        {"select " + a + ".id, q.k1, q.v from " + a + " join " + b + " q on q.k1 = " + a + ".id",
         {1, 1, 0},
         {1, 1, 0, 1}},
    };
    for (SQLULEN how : {SQLULEN(SQL_CURSOR_FORWARD_ONLY), SQLULEN(SQL_CURSOR_STATIC), SQLULEN(SQL_CURSOR_KEYSET_DRIVEN),
                        SQLULEN(1052), SQLULEN(1054)}) {
        for (const Case& k : cases)
            EXPECT_EQ(how == 1054 ? k.keysAdded : k.keys, Keys(k.sql, how)) << k.sql << " / " << how;
    }
}

// The same answer through the implementation row descriptor, and none for a statement that
// is not a SELECT of a table.
TEST_P(ColumnKeys, ThroughTheRowDescriptor) {
    const std::string a = Make("keysd", "id integer not null primary key, name varchar(12)");
    Must("insert into " + a + " values (1, 'one')");
    ASSERT_EQ(SQL_SUCCESS, Exec("select name, id from " + a)) << Diag();
    SQLHDESC ird = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr));
    for (SQLSMALLINT col : {SQLSMALLINT(2), SQLSMALLINT(1)}) {
        SQLSMALLINT v = -1;
        ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(ird, col, kKeyColumn, &v, 0, nullptr)) << Diag(SQL_HANDLE_DESC, ird);
        EXPECT_EQ(col == 2 ? 1 : 0, v) << col;
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ(std::vector<SQLLEN>{0}, Keys("select 1", SQL_CURSOR_FORWARD_ONLY));
}

INSTANTIATE_TEST_SUITE_P(Builds, ColumnKeys, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
