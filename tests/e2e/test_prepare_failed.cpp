// A prepare that fails leaves nothing to run, through unixODBC on both builds: the statement is
// back in the allocated state, so SQLExecute and the calls that describe a result answer HY010
// instead of running (or describing) whatever was prepared or executed before it.
#include <functional>
#include <string>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

class PrepareFailed : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Make("prepfail", "a integer, b varchar(10)");
        Must("insert into " + t + " values (7, 'seven')");
    }
    // Prepares through the entry point an application of this build calls: the W form for the
    // wide build, the narrow one for the narrow build.
    SQLRETURN Prepare(const std::string& sql) {
        if (!GetParam().wide) return SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
        std::u16string w = Utf16(sql);
        return SQLPrepareW(stmt, reinterpret_cast<SQLWCHAR*>(w.data()), SQLINTEGER(w.size()));
    }
    std::string State() { return Diag().substr(0, 5); }
    // After a failed prepare nothing of the earlier statement answers: each call is refused
    // with HY010 and the earlier statement's rows are never produced.
    void ExpectNothingToRun(const char* how) {
        SQLSMALLINT cols = -1;
        EXPECT_EQ(SQL_ERROR, SQLNumResultCols(stmt, &cols)) << how;
        EXPECT_EQ("HY010", State()) << how;
        EXPECT_EQ(-1, cols) << how;
        char name[64] = {};
        SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        EXPECT_EQ(SQL_ERROR,
                  SQLDescribeCol(stmt, 1, (SQLCHAR*)name, sizeof name, &nameLen, &type, &size, &digits, &nullable))
            << how;
        EXPECT_EQ("HY010", State()) << how;
        SQLSMALLINT params = -1;
        EXPECT_EQ(SQL_ERROR, SQLNumParams(stmt, &params)) << how;
        EXPECT_EQ("HY010", State()) << how;
        EXPECT_EQ(SQL_ERROR, SQLExecute(stmt)) << how;
        EXPECT_EQ("HY010", State()) << how;
        // The row descriptor has no statement behind it to copy from (the Driver Manager passes
        // this call on whatever the statement's state).
        SQLHDESC ird = SQL_NULL_HDESC, ard = SQL_NULL_HDESC;
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr));
        EXPECT_EQ(SQL_ERROR, SQLCopyDesc(ird, ard)) << how;
        const std::string copyState = DiagText(SQL_HANDLE_DESC, ard).substr(0, 5);
        EXPECT_TRUE(copyState == "HY007" || copyState == "HY010") << how << ": " << copyState;
        SQLSMALLINT records = -1;
        EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ard, 0, SQL_DESC_COUNT, &records, 0, nullptr)) << how;
        EXPECT_EQ(0, records) << how << ": the earlier statement's columns were copied";
        // Nothing ran: there is no cursor to fetch from.
        EXPECT_EQ(SQL_ERROR, SQLFetch(stmt)) << how;
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
};

TEST_P(PrepareFailed, LeavesTheStatementAllocatedWhateverCameBefore) {
    struct Case {
        const char* what;
        std::function<void()> before;  // what the statement held before the failing prepare
    };
    const std::string good = "select a from " + t;
    const std::vector<Case> cases = {
        {"after a successful prepare", [&] { ASSERT_EQ(SQL_SUCCESS, Prepare(good)) << Diag(); }},
        {"after a prepared statement was executed and closed",
         [&] {
             ASSERT_EQ(SQL_SUCCESS, Prepare(good)) << Diag();
             ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
             ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
             ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));
         }},
        {"after SQLExecDirect returned rows",
         [&] {
             ASSERT_EQ(SQL_SUCCESS, Exec(good)) << Diag();
             ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
             ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt)) << Diag();
         }},
        {"after a prepared insert was executed",
         [&] {
             ASSERT_EQ(SQL_SUCCESS, Prepare("insert into " + t + " values (8, 'eight')")) << Diag();
             ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
         }},
        {"after a prepare with a parameter", [&] { ASSERT_EQ(SQL_SUCCESS, Prepare(good + " where a = ?")) << Diag(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.before();
        if (HasFatalFailure()) return;
        ASSERT_EQ(SQL_ERROR, Prepare("select nosuch from " + t));
        EXPECT_EQ("42S22", State());
        ExpectNothingToRun(c.what);
        // A statement that does not parse fails the same way.
        c.before();
        if (HasFatalFailure()) return;
        ASSERT_EQ(SQL_ERROR, Prepare("select a fromm " + t));
        ExpectNothingToRun(c.what);
        // A direct execution that fails at its prepare leaves nothing either.
        c.before();
        if (HasFatalFailure()) return;
        ASSERT_EQ(SQL_ERROR, Exec("select a from nosuch_table"));
        EXPECT_EQ("42S02", State());
        ExpectNothingToRun(c.what);
    }
}

TEST_P(PrepareFailed, ASuccessfulPrepareAfterAFailedOneRunsTheNewText) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("select a from " + t)) << Diag();
    ASSERT_EQ(SQL_ERROR, Prepare("select nosuch from " + t));
    ASSERT_EQ(SQL_SUCCESS, Prepare("select b, a from " + t)) << Diag();
    SQLSMALLINT cols = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &cols)) << Diag();
    EXPECT_EQ(2, cols);
    // Its row descriptor copies as the new text's.
    SQLHDESC ird = SQL_NULL_HDESC, copy = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &copy));
    EXPECT_EQ(SQL_SUCCESS, SQLCopyDesc(ird, copy)) << DiagText(SQL_HANDLE_DESC, copy);
    SQLSMALLINT records = 0, type = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(copy, 0, SQL_DESC_COUNT, &records, 0, nullptr));
    EXPECT_EQ(2, records);
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(copy, 2, SQL_DESC_TYPE, &type, 0, nullptr));
    EXPECT_EQ(SQL_INTEGER, type);
    SQLFreeHandle(SQL_HANDLE_DESC, copy);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    char b[16] = {};
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_CHAR, b, sizeof b, &len)) << Diag();
    EXPECT_STREQ("seven", b);
    SQLINTEGER a = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_LONG, &a, 0, &len)) << Diag();
    EXPECT_EQ(7, a);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));
    // Prepared once, it runs again.
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    // A failed direct execution, then a good one on the same statement.
    ASSERT_EQ(SQL_ERROR, Exec("select nosuch from " + t));
    EXPECT_EQ((std::vector<int>{7}), ForwardIds("select a from " + t));
}

INSTANTIATE_TEST_SUITE_P(Builds, PrepareFailed, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
