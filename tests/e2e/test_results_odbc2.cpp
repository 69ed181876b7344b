// An ODBC 2 application through the Driver Manager: SQLAllocEnv/SQLAllocConnect/SQLAllocStmt,
// SQLExecDirect, SQLFetch of bound columns, SQLExtendedFetch, SQLGetData, SQLFreeStmt.
#include <cstring>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

class Odbc2 : public ::testing::TestWithParam<DriverBuild> {
protected:
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    void SetUp() override {
        connecttest::EnsureDatabases();
        ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(env, &dbc));
        const std::string dsn = GetParam().wide ? "cw_wide" : "cw_narrow";
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLConnect(dbc, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)kUser, SQL_NTS, (SQLCHAR*)kPassword, SQL_NTS)));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocStmt(dbc, &stmt));
    }
    void TearDown() override {
        if (stmt) SQLFreeStmt(stmt, SQL_DROP);
        if (dbc) {
            SQLDisconnect(dbc);
            SQLFreeConnect(dbc);
        }
        if (env) SQLFreeEnv(env);
    }
    std::string Err() {
        SQLCHAR state[6] = {}, msg[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        SQLError(env, dbc, stmt, state, &native, msg, sizeof msg, &len);
        return std::string((char*)state) + " " + (char*)msg;
    }
    void Must(const std::string& sql) {
        SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << Err();
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    std::string Table() const { return GetParam().wide ? "odbc2_w" : "odbc2_n"; }
    // The table's rows in the order of their ids, the id bound to id and idLen.
    void SelectBoundIds(SQLINTEGER* id, SQLLEN* idLen) {
        ASSERT_EQ(SQL_SUCCESS,
                  SQLExecDirect(stmt, (SQLCHAR*)("select id, name from " + Table() + " order by id").c_str(), SQL_NTS))
            << Err();
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_LONG, id, 0, idLen));
    }
};

TEST_P(Odbc2, FetchAndExtendedFetchReadTheRows) {
    SQLExecDirect(stmt, (SQLCHAR*)("drop table " + Table()).c_str(), SQL_NTS);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + Table() + " (id integer, name varchar(8))");
    for (int i = 1; i <= 3; ++i)
        Must("insert into " + Table() + " values (" + std::to_string(i) + ", 'n" + std::to_string(i) + "')");
    SQLINTEGER id = 0;
    SQLLEN idLen = kPoison();
    SelectBoundIds(&id, &idLen);
    if (HasFatalFailure()) return;
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Err();
    EXPECT_EQ(1, id);
    EXPECT_EQ(4, idLen);
    char name[9];
    SQLLEN len = kPoison();
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_CHAR, name, sizeof name, &len)) << Err();
    EXPECT_STREQ("n1", name);
    EXPECT_EQ(2, len);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Err();
    EXPECT_EQ(2, id);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Err();
    EXPECT_EQ(3, id);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));
    // The Driver Manager keeps SQLFetch and SQLExtendedFetch apart: a new result for the latter.
    ASSERT_EQ(SQL_SUCCESS,
              SQLExecDirect(stmt, (SQLCHAR*)("select id, name from " + Table() + " order by id").c_str(), SQL_NTS))
        << Err();
    SQLUSMALLINT status[1] = {99};
    for (int i = 1; i <= 3; ++i) {
        SQLULEN rows = SQLULEN(kPoison());
        ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &rows, status)) << Err();
        EXPECT_EQ(1u, rows);
        EXPECT_EQ(SQL_ROW_SUCCESS, status[0]);
        EXPECT_EQ(i, id);
    }
    SQLULEN rows = SQLULEN(kPoison());
    EXPECT_EQ(SQL_NO_DATA, SQLExtendedFetch(stmt, SQL_FETCH_NEXT, 0, &rows, status));
    EXPECT_EQ(0u, rows);
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));
    Must("drop table " + Table());
}

// SQLFetch of an ODBC 2 application reads a block at a time whatever the cursor type; a static
// cursor's blocks come from its cached result, which takes the block handed back in its place.
TEST_P(Odbc2, FetchOfAStaticCursorReadsEveryBlock) {
    SQLExecDirect(stmt, (SQLCHAR*)("drop table " + Table()).c_str(), SQL_NTS);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + Table() + " (id integer, name varchar(8))");
    // Past two blocks (a block holds 65535 / 24 rows of these columns).
    constexpr int kRows = 6000;
    std::vector<SQLINTEGER> ids(kRows);
    std::vector<SQLLEN> inds(kRows, 0);
    for (int i = 0; i < kRows; ++i) ids[i] = i + 1;
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(stmt, kRows, nullptr)) << Err();
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, ids.data(), 0, inds.data()));
    Must("insert into " + Table() + " values (?, 'n')");
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(stmt, 1, nullptr)) << Err();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtOption(stmt, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC))) << Err();
    SQLINTEGER id = 0;
    SQLLEN idLen = kPoison();
    SelectBoundIds(&id, &idLen);
    if (HasFatalFailure()) return;
    for (int i = 1; i <= kRows; ++i) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << i << ": " << Err();
        ASSERT_EQ(i, id);
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));
    Must("drop table " + Table());
}

TEST_P(Odbc2, ServerErrorsComeBackInOdbc2Form) {
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(stmt, (SQLCHAR*)"select from nowhere at all", SQL_NTS));
    const std::string e = Err();
    EXPECT_EQ("37000", e.substr(0, 5)) << e;
    EXPECT_NE(std::string::npos, e.find("[IngresII Server]")) << e;
}

INSTANTIATE_TEST_SUITE_P(Builds, Odbc2, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
