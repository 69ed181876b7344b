// Environment records and what hangs off them: allocation forms and the ODBC version, environment
// attributes, freeing parents with their children, automatic and explicit descriptors, and the
// handle limit.
#include <gtest/gtest.h>

#include <vector>

#include "odbc/diag.h"
#include "tests/odbc/records_fixture.h"

namespace {

SQLINTEGER EnvAttr(SQLHENV env, SQLINTEGER attr) {
    SQLINTEGER v = -77;
    EXPECT_EQ(SQL_SUCCESS, SQLGetEnvAttr(env, attr, &v, 0, nullptr));
    return v;
}

std::string StateOf(SQLSMALLINT type, SQLHANDLE h) {
    SQLCHAR state[6] = {};
    SQLINTEGER native;
    SQLCHAR msg[200];
    SQLSMALLINT len;
    SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len);
    return reinterpret_cast<char*>(state);
}

TEST(Environment, AllocationFormsSetTheOdbcVersion) {
    SQLHENV e2 = nullptr, e3 = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&e2));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e3));
    EXPECT_EQ(SQL_OV_ODBC2, EnvAttr(e2, SQL_ATTR_ODBC_VERSION));
    EXPECT_EQ(SQL_OV_ODBC3, EnvAttr(e3, SQL_ATTR_ODBC_VERSION));
    EXPECT_NE(e2, e3);
    EXPECT_EQ(2u, EnvOf(e2)->state);
    EXPECT_EQ(EnvOf(e3), g_EnvList);  // newest first
    EXPECT_GT(EnvOf(e3)->serial, EnvOf(e2)->serial);
    EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(e2));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_ENV, e3));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeEnv(e2));
}

TEST(Environment, NullOutputPointerIsRefused) {
    EXPECT_EQ(SQL_ERROR, SQLAllocEnv(nullptr));
    EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, nullptr));
    EXPECT_EQ(nullptr, g_EnvList);
    SQLHENV env;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env));
    EXPECT_EQ(SQL_ERROR, SQLAllocConnect(env, nullptr));
    EXPECT_EQ("S1009", StateOf(SQL_HANDLE_ENV, env));
    EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_DBC, env, nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(env));
}

// A value out of an attribute's range is refused (HY024) and leaves it; an unknown attribute is
// refused (HY092) on set and get alike, writing nothing.
TEST(Environment, AttributesAcceptOnlyTheirRanges) {
    SQLHENV env;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    struct {
        SQLINTEGER attr;
        intptr_t value;
        SQLRETURN rc;
        SQLINTEGER expect;
    } cases[] = {
        {SQL_ATTR_ODBC_VERSION, 4, SQL_ERROR, SQL_OV_ODBC3},
        {SQL_ATTR_ODBC_VERSION, SQL_OV_ODBC2, SQL_SUCCESS, SQL_OV_ODBC2},
        {SQL_ATTR_ODBC_VERSION, 380, SQL_SUCCESS, SQL_OV_ODBC3},  // ODBC 3.8 from unixODBC
        {SQL_ATTR_CONNECTION_POOLING, 2, SQL_SUCCESS, 2},
        {SQL_ATTR_CONNECTION_POOLING, 3, SQL_ERROR, 2},
        {SQL_ATTR_CP_MATCH, 1, SQL_SUCCESS, 1},
        {SQL_ATTR_CP_MATCH, 2, SQL_ERROR, 1},
        {SQL_ATTR_OUTPUT_NTS, 0, SQL_SUCCESS, 0},
        {SQL_ATTR_OUTPUT_NTS, 5, SQL_ERROR, 0},
        {SQL_ATTR_OUTPUT_NTS, 1, SQL_SUCCESS, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.rc, SQLSetEnvAttr(env, c.attr, reinterpret_cast<SQLPOINTER>(c.value), 0))
            << c.attr << "=" << c.value;
        if (c.rc == SQL_ERROR) {
            EXPECT_EQ("HY024", StateOf(SQL_HANDLE_ENV, env)) << c.attr << "=" << c.value;
        }
        EXPECT_EQ(c.expect, EnvAttr(env, c.attr)) << c.attr << "=" << c.value;
    }
    EXPECT_EQ(SQL_ERROR, SQLSetEnvAttr(env, 12345, reinterpret_cast<SQLPOINTER>(1), 0));
    EXPECT_EQ("HY092", StateOf(SQL_HANDLE_ENV, env));
    EXPECT_EQ(2, EnvAttr(env, 1056));
    SQLINTEGER v = -77;
    EXPECT_EQ(SQL_ERROR, SQLGetEnvAttr(env, 12345, &v, 0, nullptr));
    EXPECT_EQ("HY092", StateOf(SQL_HANDLE_ENV, env));
    EXPECT_EQ(-77, v);  // nothing written
    EXPECT_EQ(SQL_SUCCESS, SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, nullptr, 0, nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(env));
}

TEST(Environment, OdbcTwoStatesUntilVersionThreeIsSet) {
    SQLHENV env;
    SQLHDBC dbc;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(env, &dbc));
    SQLHSTMT stmt;
    EXPECT_EQ(SQL_ERROR, SQLAllocStmt(dbc, &stmt));  // not connected
    EXPECT_EQ(SQL_NULL_HSTMT, stmt);
    EXPECT_EQ("08003", StateOf(SQL_HANDLE_DBC, dbc));
    char name[8];
    EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, SQL_DRIVER_ODBC_VER, name, -1, nullptr));  // bad length
    EXPECT_EQ("S1090", StateOf(SQL_HANDLE_DBC, dbc));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    EXPECT_EQ("HY090", StateOf(SQL_HANDLE_DBC, dbc));
    SQLHDESC desc;
    EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &desc));
    EXPECT_EQ("08003", StateOf(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_ERROR, SQLDisconnect(dbc));
    EXPECT_EQ("08003", StateOf(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeConnect(dbc));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(env));
}

TEST(Environment, FreeingAnEnvironmentFreesItsConnectionsStatementsAndDescriptors) {
    ConnectedPair p;
    SQLHSTMT s = p.stmt();
    SQLHDESC d;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, p.dbc, &d));
    SQLHDBC second;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, p.env, &second));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_ENV, p.env));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeStmt(s, SQL_CLOSE));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DESC, d));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLDisconnect(p.dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLDisconnect(second));
    EXPECT_EQ(g_DescTable.capacity, g_DescTable.freeCount);
    p.env = nullptr;
}

TEST(Statements, AutomaticDescriptorsAreRegisteredInOrderAndCannotBeFreed) {
    ConnectedPair p;
    SQLHSTMT s = p.stmt();
    StmtRecord* st = StmtOf(s);
    ASSERT_NE(nullptr, st);
    EXPECT_EQ(0x0003u, reinterpret_cast<uintptr_t>(s) >> 16);
    DescRecord* order[] = {st->ard, st->apd, st->ird, st->ipd};
    uint32_t types[] = {2, 4, 1, 3};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(0x0004u, order[i]->handle >> 16);
        EXPECT_EQ(types[i], order[i]->descType);
        if (i) {
            EXPECT_LT(order[i - 1]->handle, order[i]->handle);
        }
    }
    SQLHDESC ard = HandleValue(st->ard->handle);
    EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_DESC, ard));
    EXPECT_EQ("HY017", StateOf(SQL_HANDLE_DESC, ard));
    EXPECT_EQ(st->ard, DescOf(ard));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(s, SQL_DROP));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DESC, ard));
}

TEST(Statements, ExplicitDescriptorInUseOutlivesItsStatement) {
    ConnectedPair p;
    SQLHSTMT s = p.stmt();
    SQLHDESC d;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, p.dbc, &d));
    StmtOf(s)->ard = DescOf(d);
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, s));
    EXPECT_NE(nullptr, DescOf(d));
    // Freeing an explicit descriptor in use hands the statement its own one back.
    SQLHSTMT s2 = p.stmt();
    StmtOf(s2)->ard = DescOf(d);
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, d));
    EXPECT_EQ(StmtOf(s2)->implicitArd, StmtOf(s2)->ard);
}

TEST(Statements, FreeStmtOptionsAndCloseCursor) {
    ConnectedPair p;
    SQLHSTMT s = p.stmt();
    EXPECT_EQ(SQL_ERROR, SQLFreeStmt(s, 4));
    EXPECT_EQ("HY092", StateOf(SQL_HANDLE_STMT, s));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(s, SQL_UNBIND));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(s, SQL_RESET_PARAMS));
    EXPECT_EQ(SQL_ERROR, SQLCloseCursor(s));
    EXPECT_EQ("24000", StateOf(SQL_HANDLE_STMT, s));  // the same in ODBC 3 form
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(s, SQL_CLOSE));
    StmtOf(s)->state = 2;
    StmtOf(s)->flags |= 2;
    EXPECT_EQ(SQL_SUCCESS, SQLCloseCursor(s));
    EXPECT_EQ(1u, StmtOf(s)->state);
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(s, SQL_DROP));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeStmt(s, SQL_CLOSE));
}

TEST(Limits, HandleLimitIsReportedOnTheParentAndLeavesNothingHalfMade) {
    SQLHENV env;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env));
    // Fill the connection table so the next connection cannot be registered.
    std::vector<uint32_t> filler;
    static int dummy;
    uint32_t h;
    while (HandleTableAdd(&g_ConnTable, &h, &dummy) == 0) filler.push_back(h);
    SQLHDBC dbc = reinterpret_cast<SQLHDBC>(1);
    EXPECT_EQ(SQL_ERROR, SQLAllocConnect(env, &dbc));
    EXPECT_EQ(SQL_NULL_HDBC, dbc);
    EXPECT_EQ("S1014", StateOf(SQL_HANDLE_ENV, env));
    EXPECT_EQ(nullptr, EnvOf(env)->conns);
    for (uint32_t f : filler) HandleTableRemove(&g_ConnTable, f);
    EXPECT_EQ(SQL_SUCCESS, SQLAllocConnect(env, &dbc));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(env));
}

}  // namespace
