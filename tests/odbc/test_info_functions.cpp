// SQLGetFunctions: single ids, the ODBC 2 array and the ODBC 3 bitmap.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "odbc/getfunctions.h"
#include "tests/odbc/records_fixture.h"

namespace {

// Ids the driver must report, and ids it must not, as the ODBC headers number them.
const std::vector<SQLUSMALLINT> kReported = {
    SQL_API_SQLALLOCCONNECT,  SQL_API_SQLCANCEL,           SQL_API_SQLEXECDIRECT,    SQL_API_SQLCOLUMNS,
    SQL_API_SQLTABLES,        SQL_API_SQLCOLUMNPRIVILEGES, SQL_API_SQLDESCRIBEPARAM, SQL_API_SQLTABLEPRIVILEGES,
    SQL_API_SQLBINDPARAMETER, SQL_API_SQLALLOCHANDLE,      SQL_API_SQLCLOSECURSOR,   SQL_API_SQLGETENVATTR,
    SQL_API_SQLGETSTMTATTR,   SQL_API_SQLFETCHSCROLL,      SQL_API_SQLSETPOS,        SQL_API_SQLBULKOPERATIONS,
};
const std::vector<SQLUSMALLINT> kNotReported = {
    SQL_API_SQLBROWSECONNECT,
    SQL_API_SQLDATASOURCES,
    SQL_API_SQLSETSCROLLOPTIONS,
    SQL_API_SQLDRIVERS,
    SQL_API_SQLBINDPARAM,
    25,
    39,
    100,
    1013,
    1015,
    1022,
};

class GetFunctions : public ::testing::Test {
protected:
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    void SetUp() override {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    }
    void TearDown() override { SQLFreeHandle(SQL_HANDLE_ENV, env); }
    SQLUSMALLINT One(SQLUSMALLINT id) {
        SQLUSMALLINT v = 77;
        EXPECT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, id, &v));
        return v;
    }
};

TEST_F(GetFunctions, SingleIds) {
    for (SQLUSMALLINT id : kReported) EXPECT_EQ(SQL_TRUE, One(id)) << id;
    for (SQLUSMALLINT id : kNotReported) EXPECT_EQ(SQL_FALSE, One(id)) << id;
}

TEST_F(GetFunctions, Odbc2ArrayHasOneHundredEntries) {
    SQLUSMALLINT a[101];
    for (auto& v : a) v = 0xBEEF;
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_ALL_FUNCTIONS, a));
    EXPECT_EQ(0xBEEF, a[100]) << "wrote past 100 entries";
    EXPECT_EQ(SQL_TRUE, a[SQL_API_SQLEXECDIRECT]);
    // The row operations are offered.
    EXPECT_EQ(SQL_TRUE, a[SQL_API_SQLBULKOPERATIONS]);
    EXPECT_EQ(SQL_TRUE, a[SQL_API_SQLSETPOS]);
    EXPECT_EQ(SQL_FALSE, a[SQL_API_SQLBROWSECONNECT]);
    EXPECT_EQ(SQL_FALSE, a[0]);
    int count = 0;
    for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(a[i] == SQL_TRUE || a[i] == SQL_FALSE) << i;
        count += a[i];
        if (i > 0) {
            EXPECT_EQ(a[i], One(SQLUSMALLINT(i))) << i;
        }
    }
    // 1-23, 40-54, 56, 58-68 (SQLSetPos), 70, 72, 24 (SQLBulkOperations)
    EXPECT_EQ(23 + 15 + 1 + 11 + 2 + 1, count);
}

TEST_F(GetFunctions, Odbc3BitmapMatchesTheSingleAnswers) {
    SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE + 1];
    for (auto& v : bits) v = 0xBEEF;
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bits));
    EXPECT_EQ(0xBEEF, bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE]) << "wrote past 250 words";
    EXPECT_TRUE(bits[62] & (1 << 9));    // 1001 SQLAllocHandle
    EXPECT_FALSE(bits[62] & (1 << 10));  // 1002 SQLBindParam
    EXPECT_TRUE(SQL_FUNC_EXISTS(bits, SQL_API_SQLFETCHSCROLL));
    EXPECT_FALSE(SQL_FUNC_EXISTS(bits, SQL_API_SQLDRIVERS));
    for (unsigned id = 1; id < 4000; ++id) {
        if (id == SQL_API_ODBC3_ALL_FUNCTIONS) continue;
        bool bit = SQL_FUNC_EXISTS(bits, id);
        EXPECT_EQ(bit ? SQL_TRUE : SQL_FALSE, One(SQLUSMALLINT(id))) << id;
        EXPECT_EQ(bit, FunctionSupported(id)) << id;
    }
    // Every id of the ODBC 2 range that the array reports is in the bitmap too.
    SQLUSMALLINT a[100];
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_ALL_FUNCTIONS, a));
    for (unsigned id = 1; id < 100; ++id) EXPECT_EQ(a[id] == SQL_TRUE, SQL_FUNC_EXISTS(bits, id)) << id;
}

TEST_F(GetFunctions, IdsBeyondTheBitmapAreNotSupported) {
    for (unsigned id : {4000u, 4001u, 9999u, 65535u}) {
        SQLUSMALLINT v = 77;
        EXPECT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQLUSMALLINT(id), &v)) << id;
        EXPECT_EQ(SQL_FALSE, v) << id;
        EXPECT_FALSE(FunctionSupported(id));
    }
}

TEST_F(GetFunctions, NullAnswerPointerSucceedsForEveryForm) {
    for (unsigned id : {0u, 11u, 55u, 999u, 1001u, 4000u}) {
        EXPECT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQLUSMALLINT(id), nullptr)) << id;
    }
}

TEST_F(GetFunctions, SameAnswerWhateverTheConnectionState) {
    SQLUSMALLINT before[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE], after[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE];
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, before));
    ConnOf(dbc)->state = 2;
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, after));
    ConnOf(dbc)->state = 1;
    EXPECT_EQ(0, memcmp(before, after, sizeof before));
}

TEST_F(GetFunctions, BadHandleIsRefused) {
    SQLUSMALLINT v = 0;
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetFunctions(SQL_NULL_HDBC, SQL_API_SQLFETCH, &v));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetFunctions(env, SQL_API_SQLFETCH, &v));
}

}  // namespace
