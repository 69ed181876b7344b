// SQLSTATEs an application reads through unixODBC, ODBC 2 and ODBC 3 environments, both builds:
// 22003 and 24000 keep their meaning in ODBC 3 (a fetch from a statement without a cursor is
// 24000); HY019 belongs to SQLPutData and 07005 to describing a statement that returns no rows.
#include <cstring>
#include <functional>

#include "results_fixture.h"

namespace resultstest {
namespace {

class DiagStates : public ResultsTest {
protected:
    // A connection of its own in an environment of the given ODBC version.
    struct Session {
        SQLHENV env = SQL_NULL_HENV;
        SQLHDBC dbc = SQL_NULL_HDBC;
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        ~Session() {
            if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
            if (dbc) {
                SQLDisconnect(dbc);
                SQLFreeHandle(SQL_HANDLE_DBC, dbc);
            }
            if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
        }
    };
    void Open(Session& s, SQLINTEGER version) {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &s.env));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetEnvAttr(s.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(intptr_t(version)), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, s.env, &s.dbc));
        std::string dsn = Dsn();
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLConnect(s.dbc, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)kUser, SQL_NTS, (SQLCHAR*)kPassword, SQL_NTS)))
            << Diag(SQL_HANDLE_DBC, s.dbc);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, s.dbc, &s.stmt));
    }
    static std::string State(SQLSMALLINT type, SQLHANDLE h) {
        SQLCHAR state[6] = {}, msg[512];
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len))) return "none";
        return reinterpret_cast<char*>(state);
    }
};

TEST_P(DiagStates, EachFailureKeepsItsOwnStateInBothVersions) {
    const std::string t = Make("diagst", "id integer not null primary key, v integer");
    Must("insert into " + t + " values (1, 300)");
    struct Case {
        const char* what;
        const char* odbc2;
        const char* odbc3;
        std::function<SQLRETURN(SQLHSTMT, SQLHDBC)> run;  // the failing call, made last
        SQLSMALLINT handle = SQL_HANDLE_STMT;             // the handle it fails on
    };
    const std::string sel = "select v from " + t;
    const Case cases[] = {
        {"a value too big for the C type", "22003", "22003",
         [&](SQLHSTMT h, SQLHDBC) {
             SQLExecDirect(h, (SQLCHAR*)sel.c_str(), SQL_NTS);
             SQLFetch(h);
             SQLSCHAR tiny = 0;
             return SQLGetData(h, 1, SQL_C_STINYINT, &tiny, 0, nullptr);
         }},
        {"the server's numeric overflow", "22003", "22003",
         [&](SQLHSTMT h, SQLHDBC) {
             const std::string q = "select int1(v) from " + t;
             SQLRETURN rc = SQLExecDirect(h, (SQLCHAR*)q.c_str(), SQL_NTS);
             return SQL_SUCCEEDED(rc) ? SQLFetch(h) : rc;
         }},
        {"the current catalog changed under an open cursor", "24000", "24000",
         [&](SQLHSTMT h, SQLHDBC dbc) {
             SQLExecDirect(h, (SQLCHAR*)sel.c_str(), SQL_NTS);
             SQLFetch(h);
             return SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, (SQLCHAR*)"other", SQL_NTS);
         },
         SQL_HANDLE_DBC},
        {"describing an insert", "24000", "07005",
         [&](SQLHSTMT h, SQLHDBC) {
             const std::string q = "insert into " + t + " values (2, 2)";
             SQLPrepare(h, (SQLCHAR*)q.c_str(), SQL_NTS);
             SQLCHAR name[32];
             SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
             SQLULEN size = 0;
             return SQLDescribeCol(h, 1, name, sizeof name, &len, &type, &size, &digits, &nullable);
         }},
        {"fetching from an update, which has no cursor", "24000", "24000",
         [&](SQLHSTMT h, SQLHDBC) {
             const std::string q = "update " + t + " set v = v where id = 1";
             if (SQLExecDirect(h, (SQLCHAR*)q.c_str(), SQL_NTS) != SQL_SUCCESS) return SQLRETURN(SQL_SUCCESS);
             return SQLFetch(h);
         }},
        {"an integer sent in two pieces", "22003", "HY019",
         [&](SQLHSTMT h, SQLHDBC) {
             const std::string q = "insert into " + t + " values (3, ?)";
             static SQLLEN atExec;
             atExec = SQL_DATA_AT_EXEC;
             SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, reinterpret_cast<SQLPOINTER>(1), 0,
                              &atExec);
             if (SQLExecDirect(h, (SQLCHAR*)q.c_str(), SQL_NTS) != SQL_NEED_DATA) return SQLRETURN(SQL_SUCCESS);
             SQLPOINTER token = nullptr;
             if (SQLParamData(h, &token) != SQL_NEED_DATA) return SQLRETURN(SQL_SUCCESS);
             SQLINTEGER v = 7;
             if (SQLPutData(h, &v, 0) != SQL_SUCCESS) return SQLRETURN(SQL_SUCCESS);
             return SQLPutData(h, &v, 0);
         }},
        {"an integer sent in two pieces to SQLSetPos", "22003", "HY019",
         [&](SQLHSTMT h, SQLHDBC) {
             SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0);
             SQLSetStmtAttr(h, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_VALUES), 0);
             const std::string q = "select id, v from " + t;
             if (SQLExecDirect(h, (SQLCHAR*)q.c_str(), SQL_NTS) != SQL_SUCCESS) return SQLRETURN(SQL_SUCCESS);
             static SQLINTEGER v;
             static SQLLEN len;
             SQLBindCol(h, 2, SQL_C_SLONG, &v, 0, &len);
             SQLULEN rows = 0;
             SQLUSMALLINT status = 0;
             if (SQLExtendedFetch(h, SQL_FETCH_NEXT, 0, &rows, &status) != SQL_SUCCESS) return SQLRETURN(SQL_SUCCESS);
             len = SQL_DATA_AT_EXEC;
             if (SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE) != SQL_NEED_DATA) return SQLRETURN(SQL_SUCCESS);
             SQLPOINTER token = nullptr;
             if (SQLParamData(h, &token) != SQL_NEED_DATA) return SQLRETURN(SQL_SUCCESS);
             SQLINTEGER x = 8;
             if (SQLPutData(h, &x, 0) != SQL_SUCCESS) return SQLRETURN(SQL_SUCCESS);
             return SQLPutData(h, &x, 0);
         }},
    };
    for (SQLINTEGER version : {SQL_OV_ODBC2, SQL_OV_ODBC3}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (version == SQL_OV_ODBC2 ? ", ODBC 2" : ", ODBC 3"));
            Session s;
            Open(s, version);
            if (HasFatalFailure()) return;
            EXPECT_EQ(SQL_ERROR, c.run(s.stmt, s.dbc));
            const SQLHANDLE h = c.handle == SQL_HANDLE_DBC ? SQLHANDLE(s.dbc) : SQLHANDLE(s.stmt);
            EXPECT_EQ(version == SQL_OV_ODBC2 ? c.odbc2 : c.odbc3, State(c.handle, h)) << Diag(c.handle, h);
        }
    }
    // The pieces that were refused left nothing behind: no row 3 was written, row 1 kept its value.
    EXPECT_EQ((std::vector<int>{1}), ForwardIds("select id from " + t + " order by id"));
    EXPECT_EQ((std::vector<int>{300}), ForwardIds("select v from " + t));
}

INSTANTIATE_TEST_SUITE_P(Builds, DiagStates, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
