// Out-of-memory paths of start-up, allocation and diagnostics.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "odbc/diag.h"
#include "tests/odbc/records_fixture.h"
#include "platform/msgbox.h"
#include "util/trymem.h"

namespace {

struct NoFailures {
    ~NoFailures() { TryMemFailAfter(-1); }
};

std::string g_text;
int Capture(const char*, const char* text, unsigned) {
    g_text = text;
    return 1;
}

TEST(Memory, StartupWithoutMemoryForTheTablesShowsString5AndRefuses) {
    NoFailures guard;
    SetMessageBoxHook(Capture);
    DriverShutdown();
    TryMemFailFrom(0);
    EXPECT_EQ(0, DriverStartup(nullptr));
    TryMemFailAfter(-1);
    EXPECT_EQ("Unable to initialize the ODBC layer.", g_text);
    SQLHENV env = nullptr;
    EXPECT_EQ(SQL_ERROR, SQLAllocEnv(&env));
    EXPECT_EQ(1, DriverStartup(nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLAllocEnv(&env));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(env));
    SetMessageBoxHook(nullptr);
}

TEST(Memory, EnvironmentWithoutMemoryFailsBare) {
    NoFailures guard;
    SQLHENV env = reinterpret_cast<SQLHENV>(5);
    TryMemFailAfter(0);
    EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    TryMemFailAfter(-1);
    EXPECT_EQ(SQL_NULL_HENV, env);
    EXPECT_EQ(nullptr, g_EnvList);
}

std::string StateOf(SQLSMALLINT type, SQLHANDLE h) {
    SQLCHAR state[6] = {};
    SQLINTEGER native;
    SQLCHAR msg[200];
    SQLSMALLINT len;
    SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len);
    return reinterpret_cast<char*>(state);
}

TEST(Memory, ChildRecordsWithoutMemoryReportS1001OnTheParent) {
    NoFailures guard;
    ConnectedPair p;
    SQLHDBC dbc = reinterpret_cast<SQLHDBC>(5);
    TryMemFailAfter(0);
    EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_DBC, p.env, &dbc));
    TryMemFailAfter(-1);
    EXPECT_EQ(SQL_NULL_HDBC, dbc);
    EXPECT_EQ("HY001", StateOf(SQL_HANDLE_ENV, p.env));
    // Each allocation of a statement (record, four descriptors, table growth) failing in turn
    // leaves nothing registered and S1001 on the connection.
    for (long k = 0; k < 8; ++k) {
        uint16_t stmtFree = g_StmtTable.freeCount, descFree = g_DescTable.freeCount;
        uint16_t stmtCap = g_StmtTable.capacity, descCap = g_DescTable.capacity;
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        TryMemFailAfter(k);
        SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, p.dbc, &stmt);
        TryMemFailAfter(-1);
        if (rc == SQL_SUCCESS) {
            EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt));
            continue;
        }
        EXPECT_EQ(SQL_ERROR, rc) << k;
        EXPECT_EQ(SQL_NULL_HSTMT, stmt);
        EXPECT_EQ("HY001", StateOf(SQL_HANDLE_DBC, p.dbc)) << k;
        EXPECT_EQ(uint32_t(g_StmtTable.capacity - g_StmtTable.freeCount), uint32_t(stmtCap - stmtFree)) << k;
        EXPECT_EQ(uint32_t(g_DescTable.capacity - g_DescTable.freeCount), uint32_t(descCap - descFree)) << k;
        EXPECT_EQ(nullptr, ConnOf(p.dbc)->stmts);
    }
}

TEST(Memory, DescriptorTableFullLeavesNoHalfMadeStatement) {
    ConnectedPair p;
    static int dummy;
    std::vector<uint32_t> filler;
    uint32_t h;
    // Leave room for two descriptors only: the third of a new statement cannot be registered.
    while (HandleTableAdd(&g_DescTable, &h, &dummy) == 0) filler.push_back(h);
    HandleTableRemove(&g_DescTable, filler.back());
    filler.pop_back();
    HandleTableRemove(&g_DescTable, filler.back());
    filler.pop_back();
    SQLHSTMT stmt;
    EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_STMT, p.dbc, &stmt));
    EXPECT_EQ("HY014", StateOf(SQL_HANDLE_DBC, p.dbc));
    EXPECT_EQ(2, g_DescTable.freeCount);
    EXPECT_EQ(nullptr, ConnOf(p.dbc)->stmts);
    for (uint32_t f : filler) HandleTableRemove(&g_DescTable, f);
}

TEST(Memory, DiagnosticsWithoutMemoryAreDroppedQuietly) {
    NoFailures guard;
    ConnectedPair p;
    ConnRecord* c = ConnOf(p.dbc);
    TryMemFailAfter(0);
    DiagPost(c, "lost", 1);
    TryMemFailAfter(1);  // the record is made, its text is not
    DiagPost(c, "lost too", 2);
    TryMemFailAfter(-1);
    EXPECT_EQ(0u, DiagCount(c));
    DiagPost(c, "kept", 3);
    EXPECT_EQ(1u, DiagCount(c));
}

}  // namespace
