// Diagnostics raised by the driver, read back through the Driver Manager in each way it offers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/e2e/e2e_fixture.h"

namespace {

// The data sources of these tests name no database of the engine, so connecting fails: the
// engine's reason comes first, then the driver's own record of the failed connect.
constexpr const char* kRejected = "[Corvanta][ODBC]Unable to allocate connection handle";
constexpr const char* kNoDatabase = "[Corvanta][ODBC][IngresII Server]Database '";
constexpr SQLINTEGER kNoDatabaseNative = 38100;

class DiagThroughDriverManager : public ::testing::TestWithParam<DriverBuild> {
protected:
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    void Open(SQLINTEGER version) {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(intptr_t(version)), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
        ASSERT_EQ(SQL_ERROR, SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(const_cast<char*>(GetParam().dsn)), SQL_NTS,
                                        nullptr, 0, nullptr, 0));
    }
    void TearDown() override {
        if (dbc) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    // The Driver Manager puts its own "[unixODBC]" in front of the driver's text.
    static std::string DriverPart(const char* msg) {
        const char* p = strstr(msg, "[Corvanta]");
        return p ? p : msg;
    }
};

TEST_P(DiagThroughDriverManager, FieldsOfTheRecordsInOdbc3FormTheCauseFirst) {
    Open(SQL_OV_ODBC3);
    SQLINTEGER count = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &count, 0, nullptr));
    EXPECT_EQ(count, 2);
    const struct {
        SQLSMALLINT rec;
        const char* state;
        std::string message;  // the whole text, or its beginning for the engine's
        SQLINTEGER native;
    } records[] = {{1, "08004", std::string(kNoDatabase) + GetParam().dsn + "' does not exist", kNoDatabaseNative},
                   {2, "08001", kRejected, 0}};
    for (const auto& r : records) {
        SCOPED_TRACE(r.rec);
        char text[512];
        SQLSMALLINT len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_DBC, dbc, r.rec, SQL_DIAG_SQLSTATE, text, sizeof text, &len));
        EXPECT_STREQ(r.state, text);
        ASSERT_EQ(SQL_SUCCESS,
                  SQLGetDiagField(SQL_HANDLE_DBC, dbc, r.rec, SQL_DIAG_MESSAGE_TEXT, text, sizeof text, &len));
        if (r.native == 0)
            EXPECT_EQ(r.message, DriverPart(text));
        else
            EXPECT_EQ(0u, DriverPart(text).find(r.message)) << text;
        SQLINTEGER native = -1;
        ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_DBC, dbc, r.rec, SQL_DIAG_NATIVE, &native, 0, nullptr));
        EXPECT_EQ(r.native, native);
    }
}

TEST_P(DiagThroughDriverManager, RecordTruncationKeepsTheFullLength) {
    Open(SQL_OV_ODBC3);
    SQLCHAR state[6], big[512], small[12];
    SQLINTEGER native;
    SQLSMALLINT fullLen = 0, len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 2, state, &native, big, sizeof big, &fullLen));
    EXPECT_EQ(kRejected, DriverPart(reinterpret_cast<char*>(big)));
    EXPECT_EQ(int(strlen(reinterpret_cast<char*>(big))), fullLen);
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 2, state, &native, small, sizeof small, &len));
    EXPECT_EQ(sizeof small - 1, strlen(reinterpret_cast<char*>(small)));
    EXPECT_EQ(0, strncmp(reinterpret_cast<char*>(big), reinterpret_cast<char*>(small), sizeof small - 1));
    EXPECT_EQ(fullLen, len);
    EXPECT_STREQ("08001", reinterpret_cast<char*>(state));
}

// An ODBC 2 application reads the same two records, the cause first, by record number and by
// SQLError; a third SQLError finds nothing more.
TEST_P(DiagThroughDriverManager, Odbc2EnvironmentReadsTheCauseFirst) {
    Open(SQL_OV_ODBC2);
    SQLCHAR state[6], msg[512];
    SQLINTEGER native;
    SQLSMALLINT len;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("08004", reinterpret_cast<char*>(state));
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 2, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("08001", reinterpret_cast<char*>(state));
    ASSERT_EQ(SQL_SUCCESS, SQLError(env, dbc, SQL_NULL_HSTMT, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("08004", reinterpret_cast<char*>(state));
    EXPECT_EQ(0u, DriverPart(reinterpret_cast<char*>(msg)).find(kNoDatabase)) << msg;
    EXPECT_EQ(kNoDatabaseNative, native);
    ASSERT_EQ(SQL_SUCCESS, SQLError(env, dbc, SQL_NULL_HSTMT, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("08001", reinterpret_cast<char*>(state));
    EXPECT_EQ(kRejected, DriverPart(reinterpret_cast<char*>(msg)));
    EXPECT_EQ(SQL_NO_DATA, SQLError(env, dbc, SQL_NULL_HSTMT, state, &native, msg, sizeof msg, &len));
}

INSTANTIATE_TEST_SUITE_P(Builds, DiagThroughDriverManager, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
