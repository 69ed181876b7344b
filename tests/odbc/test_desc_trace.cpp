// The descriptor calls' own trace lines: the descriptor's kind on every field read and write, the
// source kind of a copy, and SQLColAttribute's unknown field identifier.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/odbc/records_fixture.h"
#include "util/trace.h"

namespace {

TEST(DescTrace, KindsOfDescriptorsAndUnknownColumnAttributes) {
    const std::string path = ::testing::TempDir() + "tv_desc_trace_" + std::to_string(getpid()) + ".log";
    setenv("KIV_DEBUGFILE", path.c_str(), 1);
    DriverShutdown();
    ASSERT_EQ(1, DriverStartup(nullptr));
    fake::Reset();
    {
        ConnectedPair pair;
        SQLHSTMT s = pair.stmt();
        StmtRecord* stmt = StmtOf(s);
        ASSERT_NE(nullptr, stmt);
        SQLHDESC user = SQL_NULL_HDESC;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, pair.dbc, &user));
        SQLSMALLINT count = 0;
        EXPECT_EQ(SQL_SUCCESS,
                  SQLGetDescField(HandleValue(stmt->ird->handle), 0, SQL_DESC_ALLOC_TYPE, &count, 0, nullptr));
        EXPECT_EQ(SQL_SUCCESS,
                  SQLSetDescField(user, 1, SQL_DESC_CONCISE_TYPE, reinterpret_cast<SQLPOINTER>(SQL_C_LONG), 0));
        EXPECT_EQ(SQL_SUCCESS, SQLCopyDesc(HandleValue(stmt->apd->handle), user));
        fake::A().scripts["SELECT 1"] = fake::Result{{{"a", SQL_INTEGER, DS_INTEGER, 4}}, {{std::string("1")}}};
        ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(s, (SQLCHAR*)"SELECT 1", SQL_NTS));
        SQLLEN v = 0;
        EXPECT_EQ(SQL_ERROR, SQLColAttribute(s, 1, 19, nullptr, 0, nullptr, &v));
    }
    DriverShutdown();
    unsetenv("KIV_DEBUGFILE");
    ASSERT_EQ(1, DriverStartup(nullptr));
    fake::Reset();
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    for (const char* line : {"Descriptor Type: IRD\n", "Descriptor Type: USER\n", "Source Descriptor Type: APD\n",
                             "SQLColAttribute - unknown field identifier\n"})
        EXPECT_NE(std::string::npos, text.find(line)) << line << " missing in:\n" << text;
    std::remove(path.c_str());
}

}  // namespace
