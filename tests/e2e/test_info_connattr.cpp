// Connection attributes and options of both builds through unixODBC, on an open connection to the
// embedded engine; and SQLGetFunctions as the Driver Manager answers it from the driver's bitmap.
#include <cstring>

#include "connect_fixture.h"

namespace connecttest {
namespace {

SQLCHAR* T(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

class AttrThroughDriverManager : public ConnectThroughDriverManager {
protected:
    void Open() {
        ASSERT_EQ(SQL_SUCCESS, SQLConnect(dbc, T(Dsn()), SQL_NTS, T(kUser), SQL_NTS, T(kPassword), SQL_NTS));
    }
    SQLUINTEGER Attr(SQLINTEGER attr) {
        SQLUINTEGER v = 0xA5A5A5A5;
        EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, attr, &v, 0, nullptr)) << attr;
        return v;
    }
    SQLRETURN Set(SQLINTEGER attr, uintptr_t v) {
        return SQLSetConnectAttr(dbc, attr, reinterpret_cast<SQLPOINTER>(v), 0);
    }
};

TEST_P(AttrThroughDriverManager, AutocommitAccessModeAndIsolationOnAnOpenConnection) {
    Open();
    EXPECT_EQ(SQLUINTEGER(SQL_AUTOCOMMIT_ON), Attr(SQL_ATTR_AUTOCOMMIT));
    EXPECT_EQ(SQL_SUCCESS, Set(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF));
    EXPECT_EQ(SQLUINTEGER(SQL_AUTOCOMMIT_OFF), Attr(SQL_ATTR_AUTOCOMMIT));
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON));
    EXPECT_EQ(SQLUINTEGER(SQL_AUTOCOMMIT_ON), Attr(SQL_ATTR_AUTOCOMMIT));
    EXPECT_EQ(SQL_SUCCESS, Set(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY));
    EXPECT_EQ(SQLUINTEGER(SQL_MODE_READ_ONLY), Attr(SQL_ATTR_ACCESS_MODE));
    EXPECT_EQ(SQL_SUCCESS, Set(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_WRITE));
    EXPECT_EQ(SQLUINTEGER(SQL_MODE_READ_WRITE), Attr(SQL_ATTR_ACCESS_MODE));
    SQLRETURN rc = Set(SQL_ATTR_TXN_ISOLATION, SQL_TXN_SERIALIZABLE);
    EXPECT_TRUE(SQL_SUCCEEDED(rc));
    SQLUINTEGER level = Attr(SQL_ATTR_TXN_ISOLATION);
    EXPECT_NE(0u, level);
    if (rc == SQL_SUCCESS) {
        EXPECT_EQ(SQLUINTEGER(SQL_TXN_SERIALIZABLE), level);
    }
}

TEST_P(AttrThroughDriverManager, AttributesSetBeforeConnectingAreKept) {
    EXPECT_EQ(SQL_SUCCESS, Set(SQL_ATTR_LOGIN_TIMEOUT, 7));
    EXPECT_EQ(SQL_SUCCESS, Set(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF));
    Open();
    EXPECT_EQ(7u, Attr(SQL_ATTR_LOGIN_TIMEOUT));
    EXPECT_EQ(SQLUINTEGER(SQL_AUTOCOMMIT_OFF), Attr(SQL_ATTR_AUTOCOMMIT));
}

TEST_P(AttrThroughDriverManager, WhatTheIngresAgentRefuses) {
    Open();
    // Driver options: the agent takes none of them.
    EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, 1203, 1));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "HY092"));
    // The current catalog cannot change.
    EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, T("other"), SQL_NTS));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "HYC00"));
    char catalog[64] = "x";
    SQLINTEGER len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, catalog, sizeof catalog, &len));
    EXPECT_STREQ("", catalog);
    // No failover notification.
    EXPECT_EQ(SQL_ERROR, Set(1280, 1));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "HYC00"));
    EXPECT_EQ(0u, Attr(SQL_ATTR_CONNECTION_DEAD));
}

TEST_P(AttrThroughDriverManager, DtcEnlistmentFailsCleanly) {
    Open();
    EXPECT_EQ(SQL_ERROR, Set(SQL_ATTR_ENLIST_IN_DTC, SQL_DTC_DONE));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "25000"));
    int transaction = 0;
    EXPECT_EQ(SQL_ERROR, Set(SQL_ATTR_ENLIST_IN_DTC, reinterpret_cast<uintptr_t>(&transaction)));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "IM932"));
    // Still usable and still not enlisted.
    EXPECT_EQ(SQL_ERROR, Set(SQL_ATTR_ENLIST_IN_DTC, SQL_DTC_DONE));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "25000"));
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
}

TEST_P(AttrThroughDriverManager, TranslationLibraryNameRoundTrip) {
    Open();
    char name[64] = {};
    SQLINTEGER len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, T("libtrans.so"), SQL_NTS));
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, name, sizeof name, &len));
    EXPECT_STREQ("libtrans.so", name);
    EXPECT_EQ(11, len);
}

TEST_P(AttrThroughDriverManager, WideTextAttributes) {
    Open();
    std::vector<SQLWCHAR> lib = W("libw.so");
    // An explicit byte length: for a narrow driver the Driver Manager turns SQL_NTS into a
    // negative length of its own making, which the driver refuses as it refuses any other.
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, lib.data(), 14));
    SQLWCHAR out[64] = {};
    SQLINTEGER len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, out, sizeof out, &len));
    EXPECT_EQ("libw.so", Narrow(out));
    EXPECT_EQ(14, len);
}

// Attributes the driver does not support answer HYC00 (IM001 is the Driver Manager's), or the
// value ODBC defines for reading them; SQLULEN attributes fill all their bytes.
TEST_P(AttrThroughDriverManager, UnsupportedAttributesAnswerHyc00OrTheirDefinedValue) {
    Open();
    EXPECT_EQ(SQL_ERROR, Set(SQL_ATTR_CONNECTION_TIMEOUT, 5));
    EXPECT_EQ("HYC00", FirstDiag(SQL_HANDLE_DBC, dbc).state);
    EXPECT_EQ(SQL_SUCCESS, Set(SQL_ATTR_CONNECTION_TIMEOUT, 0));
    EXPECT_EQ(0u, Attr(SQL_ATTR_CONNECTION_TIMEOUT));
    EXPECT_EQ(SQL_ERROR, Set(SQL_ATTR_METADATA_ID, SQL_TRUE));
    EXPECT_EQ("HYC00", FirstDiag(SQL_HANDLE_DBC, dbc).state);
    EXPECT_EQ(SQLUINTEGER(SQL_FALSE), Attr(SQL_ATTR_METADATA_ID));
    EXPECT_EQ(SQLUINTEGER(SQL_FALSE), Attr(SQL_ATTR_AUTO_IPD));
    EXPECT_EQ(SQL_ERROR, Set(SQL_ATTR_AUTO_IPD, SQL_TRUE));
    EXPECT_EQ("HY092", FirstDiag(SQL_HANDLE_DBC, dbc).state);

    SQLHSTMT stmt = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    for (SQLINTEGER a : {SQL_ATTR_ENABLE_AUTO_IPD, SQL_ATTR_METADATA_ID}) {
        SQLULEN v = ~SQLULEN(0);
        EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, a, &v, 0, nullptr)) << a;
        EXPECT_EQ(SQLULEN(SQL_FALSE), v) << a;
    }
    // A substituted value is an ODBC-defined state: its subclass is ODBC's, its class the standard's.
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_ROWVER), 0));
    SQLCHAR text[32] = {};
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE, text, sizeof text, &len));
    EXPECT_STREQ("01S02", (char*)text);
    ASSERT_EQ(SQL_SUCCESS,
              SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SUBCLASS_ORIGIN, text, sizeof text, &len));
    EXPECT_STREQ("ODBC 3.0", (char*)text);
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CLASS_ORIGIN, text, sizeof text, &len));
    EXPECT_STREQ("ISO 9075", (char*)text);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

TEST_P(AttrThroughDriverManager, FunctionsReportedAfterConnecting) {
    Open();
    SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bits));
    for (SQLUSMALLINT id : {SQL_API_SQLGETINFO, SQL_API_SQLSETCONNECTATTR, SQL_API_SQLGETCONNECTATTR,
                            SQL_API_SQLFETCHSCROLL, SQL_API_SQLCOPYDESC}) {
        EXPECT_TRUE(SQL_FUNC_EXISTS(bits, id)) << id;
        SQLUSMALLINT one = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, id, &one));
        EXPECT_EQ(SQL_TRUE, one) << id;
    }
    // The row operations are offered by the driver itself.
    for (SQLUSMALLINT id : {SQL_API_SQLBULKOPERATIONS, SQL_API_SQLSETPOS}) {
        EXPECT_TRUE(SQL_FUNC_EXISTS(bits, id)) << id;
        SQLUSMALLINT one = 7;
        EXPECT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, id, &one));
        EXPECT_EQ(SQL_TRUE, one) << id;
    }
    SQLUSMALLINT odbc2[100] = {};
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_ALL_FUNCTIONS, odbc2));
    EXPECT_EQ(SQL_TRUE, odbc2[SQL_API_SQLEXECDIRECT]);
    EXPECT_EQ(SQL_TRUE, odbc2[SQL_API_SQLTRANSACT]);
}

INSTANTIATE_TEST_SUITE_P(Builds, AttrThroughDriverManager, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace connecttest
