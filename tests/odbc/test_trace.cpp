// The gateway's lines on the debug trace: each call and its result with the thread id and the
// arguments.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/odbc/records_fixture.h"
#include "util/trace.h"

#include <sqlucode.h>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(GatewayTrace, CallsAndResultsAreTracedWithThreadIdAndArguments) {
    std::string path = ::testing::TempDir() + "tv_trace_" + std::to_string(getpid()) + ".log";
    setenv("KIV_DEBUGFILE", path.c_str(), 1);
    DriverShutdown();
    ASSERT_EQ(1, DriverStartup(nullptr));
    ASSERT_TRUE(DebugTraceOn());
    SQLHENV env;
    SQLHDBC dbc;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    SQLUSMALLINT exists = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, 7, &exists));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeStmt(dbc, SQL_CLOSE));
    // Wide input text reaches the implementation as a UTF-8 copy with SQL_NTS; a bad length stays.
    if (ConnRecord* c = ConnOf(dbc)) {
        c->state = 2;
        c->link = AgentLink{2, fake::Table()};
    }
    SQLHSTMT stmt;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    SQLWCHAR sql[] = {'s', 'e', 'l', 'e', 'c', 't', 0};
    EXPECT_EQ(SQL_SUCCESS, SQLExecDirectW(stmt, sql, 6)) << StmtOf(stmt)->lastError;
    EXPECT_EQ(SQL_ERROR, SQLExecDirectW(stmt, sql, -7));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_ENV, env));
    DriverShutdown();
    unsetenv("KIV_DEBUGFILE");
    EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));  // stopped: not traced
    ASSERT_EQ(1, DriverStartup(nullptr));

    std::string text = ReadFile(path);
    std::string tid = [] {
        char b[32];
        snprintf(b, sizeof b, "%lX", static_cast<unsigned long>(TraceThreadId()));
        return std::string(b);
    }();
    char dbcHex[32];
    snprintf(dbcHex, sizeof dbcHex, "%lX", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(dbc)));
    for (std::string expected :
         {"\n[" + tid + "] SQLAllocHandle\nhandleType=1\n", "[" + tid + "] SQLAllocHandle: returning SQL_SUCCESS\n",
          "\n[" + tid + "] SQLGetFunctions hDbc=" + dbcHex + "\nfFunction=7 pfExists=",
          "[" + tid + "] SQLGetFunctions: returning SQL_SUCCESS\n",
          "[" + tid + "] SQLFreeStmt: returning SQL_INVALID_HANDLE\n", std::string(" cbSqlStr=-3\n"),
          std::string(" cbSqlStr=-7\n"), std::string("] SQLExecDirectW hStmt="), std::string("** normal end **")}) {
        EXPECT_NE(std::string::npos, text.find(expected)) << "missing: " << expected << "\nin:\n" << text;
    }
    // Nothing after the closing lines: the call made while stopped left no trace.
    size_t end = text.find("** normal end **");
    ASSERT_NE(std::string::npos, end);
    EXPECT_EQ(std::string::npos, text.find("SQL", end)) << text.substr(end);
    unlink(path.c_str());
}

}  // namespace
