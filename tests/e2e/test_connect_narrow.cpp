// SQLConnect and SQLDriverConnect from a narrow application, against both builds.
#include <cstring>

#include "connect_fixture.h"

namespace connecttest {
namespace {

SQLCHAR* T(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

class NarrowConnect : public ConnectThroughDriverManager {
protected:
    char out[1024] = {};
    SQLSMALLINT outLen = -1;
    SQLRETURN Connect(const std::string& user, const std::string& password) {
        return SQLConnect(dbc, T(Dsn()), SQL_NTS, T(user), SQL_NTS, T(password), SQL_NTS);
    }
    SQLRETURN DriverConnect(const std::string& in, SQLUSMALLINT completion, SQLSMALLINT outMax = 1024) {
        std::memset(out, 0, sizeof out);
        outLen = -1;
        return SQLDriverConnect(dbc, completion == SQL_DRIVER_NOPROMPT ? nullptr : window, T(in), SQL_NTS,
                                reinterpret_cast<SQLCHAR*>(out), outMax, &outLen, completion);
    }
};

TEST_P(NarrowConnect, ConnectOpensDisconnectsAndOpensAgain) {
    ASSERT_EQ(SQL_SUCCESS, Connect(kUser, kPassword)) << States(SQL_HANDLE_DBC, dbc).size();
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
    EXPECT_EQ(SQL_SUCCESS, Connect(kUser, kPassword));
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
}

// A password with ';', '=' and '}' in it, given in braces ("}}" for '}'), reaches the server whole;
// the output string gives it back braced.
TEST_P(NarrowConnect, BracedPasswordKeepsItsSemicolon) {
    const std::string db = GetParam().wide ? "cw_brace_w" : "cw_brace_n";
    std::string tool = std::string(TV_BUILD_DIR) + "/bin/iicreatedb";
    if (const char* env = std::getenv("TV_BUILD_DIR"); env && *env) tool = std::string(env) + "/bin/iicreatedb";
    std::system((tool + " -u " + kUser + " -P 'a;b}c=d' " + db + " >/dev/null 2>&1").c_str());
    const std::string base = "DRIVER={" + DriverName() + "};DSN=" + db + ";UID=" + kUser + ";";
    EXPECT_EQ(SQL_ERROR, DriverConnect(base + "PWD=a;b}c=d", SQL_DRIVER_NOPROMPT));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "28000"));
    ASSERT_EQ(SQL_SUCCESS, DriverConnect(base + "PWD={a;b}}c=d}", SQL_DRIVER_NOPROMPT));
    EXPECT_NE(std::string::npos, std::string(out).find(";PWD={a;b}}c=d};")) << out;
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
    // The output string connects again.
    std::string again = out;
    EXPECT_TRUE(SQL_SUCCEEDED(DriverConnect(again, SQL_DRIVER_NOPROMPT))) << again;
}

TEST_P(NarrowConnect, SecondConnectOnAnOpenHandleGives08002) {
    ASSERT_EQ(SQL_SUCCESS, Connect(kUser, kPassword));
    EXPECT_EQ(SQL_ERROR, Connect(kUser, kPassword));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "08002"));
    EXPECT_EQ(SQL_ERROR, DriverConnect("DSN=" + Dsn() + ";PWD=secret", SQL_DRIVER_NOPROMPT));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "08002"));
}

TEST_P(NarrowConnect, WrongPasswordGives28000AndLeavesTheHandleUsable) {
    EXPECT_EQ(SQL_ERROR, Connect(kUser, "wrong"));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "28000"));
    EXPECT_EQ(SQL_SUCCESS, Connect(kUser, kPassword));
}

TEST_P(NarrowConnect, DriverConnectTakesTheUserFromLastUserAndTheFetchSizeFromTheDataSource) {
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";PWD=secret", SQL_DRIVER_NOPROMPT));
    std::string expected = "DSN=" + Dsn() + ";UID=tvuser;PWD=secret;JET=FALSE;FBS=100";
    EXPECT_EQ(expected, out);
    EXPECT_EQ(SQLSMALLINT(expected.size()), outLen);
}

TEST_P(NarrowConnect, ConnectionStringValuesBeatTheDataSource) {
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("dsn=" + Dsn() + ";Uid=tvuser;PWD=secret;FBS=7;JET=yes", SQL_DRIVER_NOPROMPT));
    EXPECT_STREQ(("DSN=" + Dsn() + ";UID=tvuser;PWD=secret;JET=TRUE;FBS=7").c_str(), out);
}

TEST_P(NarrowConnect, WithoutADataSourceTheDefaultOneCompletesTheString) {
    // "Default" gives no LastUser fallback: the user stays empty and the engine takes the
    // process's own login, which the database "Default" lets in.
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DRIVER={" + DriverName() + "}", SQL_DRIVER_NOPROMPT))
        << States(SQL_HANDLE_DBC, dbc).size();
    std::string s = out;
    EXPECT_EQ(0u, s.find("DRIVER={" + DriverName() + "};UID=;PWD=;JET=FALSE;FBS=33;")) << s;
    EXPECT_NE(std::string::npos, s.find(";Server=Corvanta")) << s;
    EXPECT_EQ(SQLSMALLINT(s.size()), outLen);
}

TEST_P(NarrowConnect, CutOutputStringGives01004WithTheFullLength) {
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, DriverConnect("DSN=" + Dsn() + ";PWD=secret", SQL_DRIVER_NOPROMPT, 10));
    std::string full = "DSN=" + Dsn() + ";UID=tvuser;PWD=secret;JET=FALSE;FBS=100";
    EXPECT_EQ(full.substr(0, 9), out);
    EXPECT_EQ(SQLSMALLINT(full.size()), outLen);
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "01004"));
}

TEST_P(NarrowConnect, CompleteModesPromptOnlyForAMissingPassword) {
    for (SQLUSMALLINT mode : {SQL_DRIVER_COMPLETE, SQL_DRIVER_COMPLETE_REQUIRED}) {
        {
            LoginScript cancel("CANCEL");  // a prompt here would cancel the connect
            ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";UID=tvuser;PWD=secret", mode)) << mode;
            EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
        }
        {
            LoginScript answer("PWD=secret");
            ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";UID=tvuser", mode)) << mode;
            EXPECT_NE(std::string::npos, std::string(out).find(";PWD=secret;")) << out;
            EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
        }
        {
            // A password beginning with a blank counts as missing.
            LoginScript answer("PWD=secret");
            ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";UID=tvuser;PWD= x", mode)) << mode;
            EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
        }
    }
}

TEST_P(NarrowConnect, PromptAlwaysAsksAndItsAnswerReplacesTheString) {
    LoginScript answer("UID=tvuser;PWD=secret");
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";UID=nobody;PWD=bad", SQL_DRIVER_PROMPT));
    EXPECT_STREQ(("DSN=" + Dsn() + ";UID=tvuser;PWD=secret;JET=FALSE;FBS=100").c_str(), out);
}

TEST_P(NarrowConnect, CancelledPromptGivesNoDataAndTheHandleStaysUsable) {
    {
        LoginScript cancel("CANCEL");
        EXPECT_EQ(SQL_NO_DATA, DriverConnect("DSN=" + Dsn() + ";UID=tvuser;PWD=secret", SQL_DRIVER_PROMPT));
    }
    EXPECT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";UID=tvuser;PWD=secret", SQL_DRIVER_NOPROMPT));
}

TEST_P(NarrowConnect, NoPromptNeverAsks) {
    LoginScript answer("PWD=secret");  // would have completed the string
    EXPECT_EQ(SQL_ERROR, DriverConnect("DSN=" + Dsn() + ";UID=tvuser", SQL_DRIVER_NOPROMPT));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "28000"));
}

TEST_P(NarrowConnect, NoLoginBoxSkipsThePromptAndReadsOnlyTheUidEntry) {
    LoginScript cancel("CANCEL");
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";NLB=Yes;PWD=secret", SQL_DRIVER_PROMPT));
    // The data source's "UID" entry is empty and LastUser is not consulted here.
    EXPECT_STREQ(("DSN=" + Dsn() + ";UID=;PWD=secret;JET=FALSE;FBS=100").c_str(), out);
}

TEST_P(NarrowConnect, EndTranOnTheConnectionAndTheEnvironment) {
    ASSERT_EQ(SQL_SUCCESS, Connect(kUser, kPassword));
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK));
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_ENV, env, SQL_COMMIT));
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_ENV, env, SQL_ROLLBACK));
    EXPECT_EQ(SQL_SUCCESS, SQLTransact(SQL_NULL_HENV, dbc, SQL_COMMIT));
    EXPECT_EQ(SQL_SUCCESS, SQLTransact(env, SQL_NULL_HDBC, SQL_ROLLBACK));
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
    EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "08003"));
    EXPECT_EQ(SQL_ERROR, SQLDisconnect(dbc));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "08003"));
}

// The Driver Manager replays attributes set before the connect; the connect must not overwrite
// them with the data source's or the agent's defaults.
TEST_P(NarrowConnect, AutocommitAndAccessModeSetBeforeConnectingSurviveIt) {
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0)));
    ASSERT_EQ(SQL_SUCCESS, Connect(kUser, kPassword));
    SQLUINTEGER value = 99;
    ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &value, 0, nullptr));
    EXPECT_EQ(SQLUINTEGER(SQL_AUTOCOMMIT_OFF), value);
    ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, &value, 0, nullptr));
    EXPECT_EQ(SQLUINTEGER(SQL_MODE_READ_ONLY), value);
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));

    // Autocommit on, against a connection string that asks for none.
    ASSERT_TRUE(
        SQL_SUCCEEDED(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0)));
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";PWD=secret;NOAC=yes", SQL_DRIVER_NOPROMPT));
    ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &value, 0, nullptr));
    EXPECT_EQ(SQLUINTEGER(SQL_AUTOCOMMIT_ON), value);
}

TEST_P(NarrowConnect, WithoutTheApplicationsChoiceTheConnectionStringDecidesAutocommit) {
    SQLUINTEGER value = 99;
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";PWD=secret;NOAC=yes;READONLY=yes", SQL_DRIVER_NOPROMPT));
    ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &value, 0, nullptr));
    EXPECT_EQ(SQLUINTEGER(SQL_AUTOCOMMIT_OFF), value);
    ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, &value, 0, nullptr));
    EXPECT_EQ(SQLUINTEGER(SQL_MODE_READ_ONLY), value);
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";PWD=secret", SQL_DRIVER_NOPROMPT));
    ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &value, 0, nullptr));
    EXPECT_EQ(SQLUINTEGER(SQL_AUTOCOMMIT_ON), value);
    ASSERT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, &value, 0, nullptr));
    EXPECT_EQ(SQLUINTEGER(SQL_MODE_READ_WRITE), value);
}

SQLRETURN Exec(SQLHDBC h, const std::string& sql) {
    SQLHSTMT st = SQL_NULL_HSTMT;
    if (SQLAllocHandle(SQL_HANDLE_STMT, h, &st) != SQL_SUCCESS) return SQL_ERROR;
    SQLRETURN rc = SQLExecDirect(st, T(sql), SQL_NTS);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return rc;
}

long Count(SQLHDBC h, const std::string& table) {
    SQLHSTMT st = SQL_NULL_HSTMT;
    if (SQLAllocHandle(SQL_HANDLE_STMT, h, &st) != SQL_SUCCESS) return -1;
    SQLINTEGER n = -1;
    SQLLEN ind = 0;
    if (!SQL_SUCCEEDED(SQLExecDirect(st, T("select count(*) from " + table), SQL_NTS)) ||
        !SQL_SUCCEEDED(SQLFetch(st)) || !SQL_SUCCEEDED(SQLGetData(st, 1, SQL_C_LONG, &n, 0, &ind)))
        n = -1;
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return n;
}

// With autocommit off, work stands until the connection or its environment ends the transaction.
TEST_P(NarrowConnect, EndTranCommitsAndRollsBackTheWork) {
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    ASSERT_EQ(SQL_SUCCESS, Connect(kUser, kPassword));
    SQLHDBC other = SQL_NULL_HDBC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &other));
    ASSERT_EQ(SQL_SUCCESS, SQLConnect(other, T(Dsn()), SQL_NTS, T(kUser), SQL_NTS, T(kPassword), SQL_NTS));

    Exec(dbc, "drop table tx_work");  // left by an earlier run, or not there
    ASSERT_TRUE(SQL_SUCCEEDED(Exec(dbc, "create table tx_work (i integer)")));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));

    ASSERT_TRUE(SQL_SUCCEEDED(Exec(dbc, "insert into tx_work values (1)")));
    EXPECT_EQ(1, Count(dbc, "tx_work"));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK));
    EXPECT_EQ(0, Count(dbc, "tx_work"));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));

    ASSERT_TRUE(SQL_SUCCEEDED(Exec(dbc, "insert into tx_work values (2)")));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
    EXPECT_EQ(1, Count(other, "tx_work"));  // the other connection (autocommit) sees it

    ASSERT_TRUE(SQL_SUCCEEDED(Exec(dbc, "insert into tx_work values (3)")));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_ENV, env, SQL_COMMIT));
    EXPECT_EQ(2, Count(other, "tx_work"));

    ASSERT_TRUE(SQL_SUCCEEDED(Exec(dbc, "insert into tx_work values (4)")));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_ENV, env, SQL_ROLLBACK));
    EXPECT_EQ(2, Count(dbc, "tx_work"));
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));

    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(other));
    SQLFreeHandle(SQL_HANDLE_DBC, other);
}

INSTANTIATE_TEST_SUITE_P(Builds, NarrowConnect, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace connecttest
