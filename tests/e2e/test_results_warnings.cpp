// A fetch that answers SQL_SUCCESS_WITH_INFO has the record that says why, whatever the columns
// after the one that warned: by every cursor type, a row at a time and a rowset at a time, for a
// text cut short (01004) and a number that lost its fraction (01S07).
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

using connecttest::States;

class ResultWarnings : public ResultsTest {
protected:
    void TearDown() override {
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            SQLFreeStmt(stmt, SQL_UNBIND);
            SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
            SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0);
            SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
        }
        ResultsTest::TearDown();
    }
    // The states of the statement's records, every one of them.
    std::vector<std::string> Records() { return States(SQL_HANDLE_STMT, stmt); }
};

// Three bound columns, the first of which warns; the rows after the first convert cleanly.
TEST_P(ResultWarnings, AWarningOfTheFirstColumnKeepsItsRecord) {
    const std::string t = Make("warnrec", "id integer not null primary key, v varchar(20), d decimal(5,1)");
    Must("insert into " + t + " values (1, 'a long text value', 1.5)");
    Must("insert into " + t + " values (2, 'x', 2.0)");
    struct Warns {
        const char* what;
        const char* select;  // the warning column first, then two that convert cleanly
        SQLSMALLINT firstType;
        const char* state;
    };
    const Warns warns[] = {
        {"text cut short", "select v, id, d from ", SQL_C_CHAR, "01004"},
        {"fraction dropped", "select d, id, v from ", SQL_C_SLONG, "01S07"},
    };
    const SQLULEN cursors[] = {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN,
                               SQL_CURSOR_DYNAMIC};
    for (const Warns& w : warns)
        for (SQLULEN cursor : cursors)
            for (SQLULEN rowset : {SQLULEN(1), SQLULEN(2)}) {
                SCOPED_TRACE(std::string(w.what) + ", cursor type " + std::to_string(cursor) + ", rowset " +
                             std::to_string(rowset));
                SQLFreeStmt(stmt, SQL_CLOSE);
                SQLFreeStmt(stmt, SQL_UNBIND);
                ASSERT_TRUE(
                    SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(cursor), 0)))
                    << Diag();
                ASSERT_EQ(SQL_SUCCESS,
                          SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowset), 0));
                ASSERT_TRUE(SQL_SUCCEEDED(Exec(w.select + t + " order by id"))) << Diag();
                // Column-wise, two rows of each.
                char first[2][4] = {};
                SQLINTEGER firstNumber[2] = {};
                SQLINTEGER id[2] = {};
                char third[2][32] = {};
                SQLLEN len[3][2] = {};
                if (w.firstType == SQL_C_CHAR)
                    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_CHAR, first, sizeof first[0], len[0]));
                else
                    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, firstNumber, 0, len[0]));
                ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_SLONG, id, 0, len[1]));
                ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 3, SQL_C_CHAR, third, sizeof third[0], len[2]));
                // SQLFetch, and SQLFetchScroll on the scrollable cursors.
                for (bool scroll : {false, true}) {
                    if (scroll && cursor == SQL_CURSOR_FORWARD_ONLY) continue;
                    SCOPED_TRACE(scroll ? "SQLFetchScroll FIRST" : "SQLFetch");
                    const SQLRETURN rc = scroll ? SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0) : SQLFetch(stmt);
                    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, rc) << Diag();
                    EXPECT_EQ(1, id[0]);
                    EXPECT_EQ(std::vector<std::string>{w.state}, Records());
                }
            }
}

INSTANTIATE_TEST_SUITE_P(Builds, ResultWarnings, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
