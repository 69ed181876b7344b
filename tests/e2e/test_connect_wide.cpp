// SQLConnectW and SQLDriverConnectW from a wide application, against both builds.
#include <cstring>

#include "connect_fixture.h"

namespace connecttest {
namespace {

class WideConnect : public ConnectThroughDriverManager {
protected:
    SQLWCHAR out[1024] = {};
    SQLSMALLINT outLen = -1;
    SQLRETURN Connect(const std::string& user, const std::string& password) {
        auto d = W(Dsn()), u = W(user), p = W(password);
        return SQLConnectW(dbc, d.data(), SQL_NTS, u.data(), SQL_NTS, p.data(), SQL_NTS);
    }
    SQLRETURN DriverConnect(const std::string& in, SQLUSMALLINT completion, SQLSMALLINT outMaxChars = 1024) {
        std::memset(out, 0, sizeof out);
        outLen = -1;
        auto text = W(in);
        return SQLDriverConnectW(dbc, completion == SQL_DRIVER_NOPROMPT ? nullptr : window, text.data(), SQL_NTS, out,
                                 outMaxChars, &outLen, completion);
    }
    std::string Out() const { return Narrow(out); }
};

TEST_P(WideConnect, ConnectOpensDisconnectsAndOpensAgain) {
    ASSERT_EQ(SQL_SUCCESS, Connect(kUser, kPassword));
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
    EXPECT_EQ(SQL_SUCCESS, Connect(kUser, kPassword));
}

TEST_P(WideConnect, SecondConnectGives08002) {
    ASSERT_EQ(SQL_SUCCESS, Connect(kUser, kPassword));
    EXPECT_EQ(SQL_ERROR, Connect(kUser, kPassword));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "08002"));
}

TEST_P(WideConnect, WrongPasswordGives28000) {
    EXPECT_EQ(SQL_ERROR, Connect(kUser, "Secret"));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "28000"));
    EXPECT_EQ(SQL_SUCCESS, Connect(kUser, kPassword));
}

TEST_P(WideConnect, DriverConnectCompletesFromTheDataSource) {
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";PWD=secret", SQL_DRIVER_NOPROMPT));
    std::string expected = "DSN=" + Dsn() + ";UID=tvuser;PWD=secret;JET=FALSE;FBS=100";
    EXPECT_EQ(expected, Out());
    EXPECT_EQ(SQLSMALLINT(expected.size()), outLen);
}

TEST_P(WideConnect, DefaultDataSourceWithADriverKeyword) {
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DRIVER={" + DriverName() + "};FBS=0", SQL_DRIVER_NOPROMPT));
    std::string s = Out();
    // FBS given as 0 beats the data source's 33 and becomes the default 60.
    EXPECT_EQ(0u, s.find("DRIVER={" + DriverName() + "};UID=;PWD=;JET=FALSE;FBS=60;READONLY=")) << s;
    EXPECT_EQ(SQLSMALLINT(s.size()), outLen);
}

TEST_P(WideConnect, CutOutputStringCountsCharacters) {
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, DriverConnect("DSN=" + Dsn() + ";PWD=secret", SQL_DRIVER_NOPROMPT, 10));
    std::string full = "DSN=" + Dsn() + ";UID=tvuser;PWD=secret;JET=FALSE;FBS=100";
    EXPECT_EQ(full.substr(0, 9), Out());
    EXPECT_EQ(SQLSMALLINT(full.size()), outLen);
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "01004"));
}

TEST_P(WideConnect, PromptCompletesOrCancels) {
    {
        LoginScript cancel("CANCEL");
        EXPECT_EQ(SQL_NO_DATA, DriverConnect("DSN=" + Dsn() + ";UID=tvuser", SQL_DRIVER_COMPLETE));
        EXPECT_EQ(SQL_NO_DATA, DriverConnect("DSN=" + Dsn() + ";UID=tvuser;PWD=secret", SQL_DRIVER_PROMPT));
    }
    {
        LoginScript answer("PWD=secret");
        ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=" + Dsn() + ";UID=tvuser", SQL_DRIVER_COMPLETE_REQUIRED));
        EXPECT_EQ("DSN=" + Dsn() + ";UID=tvuser;PWD=secret;JET=FALSE;FBS=100", Out());
    }
}

TEST_P(WideConnect, EndTranAndDisconnect) {
    ASSERT_EQ(SQL_SUCCESS, Connect(kUser, kPassword));
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_ENV, env, SQL_ROLLBACK));
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
    EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "08003"));
}

INSTANTIATE_TEST_SUITE_P(Builds, WideConnect, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace connecttest
