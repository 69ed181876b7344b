// Memory stays flat over many connect/execute/fetch/disconnect cycles and many statement
// allocations: the resident set is measured after a warm-up and at the end, printed, and held
// to a generous bound; LeakSanitizer checks that nothing was left behind.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>

#include "tests/stress/stress_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define TV_HAVE_LSAN 1
// A small quarantine, so that freed blocks held back by AddressSanitizer do not look like growth.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "quarantine_size_mb=8";
}
#endif

using namespace stress;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
// Growth allowed between the warm-up and the end, whatever the count: a leak of a few dozen bytes
// a cycle already exceeds it at 10^5 cycles.
constexpr uint64_t kGrowthBound = 24 * kMiB;

SQLCHAR* Sql(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

void PrepareTable() {
    Connection c("memcycles");
    ASSERT_TRUE(c.connected);
    std::string why;
    if (c.Exec("SELECT COUNT(*) FROM items", nullptr)) return;
    ASSERT_TRUE(c.Exec("CREATE TABLE items (id INTEGER, name VARCHAR(30))", &why)) << why;
    ASSERT_TRUE(c.Exec("INSERT INTO items VALUES (1, 'one'), (2, 'two'), (3, 'three')", &why)) << why;
}

void Report(const char* what, long cycles, uint64_t warm, uint64_t end) {
    std::printf("%s: %ld cycles, resident %.1f MiB after warm-up, %.1f MiB at the end (bound +%.0f MiB)\n", what,
                cycles, double(warm) / kMiB, double(end) / kMiB, double(kGrowthBound) / kMiB);
    EXPECT_LE(end, warm + kGrowthBound) << what;
#ifdef TV_HAVE_LSAN
    EXPECT_EQ(0, __lsan_do_recoverable_leak_check()) << what;
#endif
}

TEST(Memory, ConnectExecuteFetchDisconnectCyclesStayFlat) {
    PrepareTable();
    const long cycles = Count("TV_MEMORY_CYCLES", 100000);
    const long warmup = cycles / 20;
    SQLHENV env = SQL_NULL_HENV;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    uint64_t warm = 0;
    for (long i = 0; i < cycles; ++i) {
        if (i == warmup) warm = ResidentBytes();
        SQLHDBC dbc = SQL_NULL_HDBC;
        SQLRETURN rc = Connect(&env, &dbc, "memcycles");
        ASSERT_TRUE(Ok(rc)) << "cycle " << i << ": " << DiagText(SQL_HANDLE_DBC, dbc);
        SQLHSTMT s = SQL_NULL_HSTMT;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s));
        SQLINTEGER from = 1;
        ASSERT_TRUE(Ok(SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &from, 0, nullptr)));
        ASSERT_TRUE(Ok(SQLExecDirect(s, Sql("SELECT id, name FROM items WHERE id >= ? ORDER BY id"), SQL_NTS)))
            << "cycle " << i << ": " << DiagText(SQL_HANDLE_STMT, s);
        SQLINTEGER id = 0;
        char name[31];
        SQLLEN l1 = 0, l2 = 0;
        SQLBindCol(s, 1, SQL_C_SLONG, &id, 0, &l1);
        SQLBindCol(s, 2, SQL_C_CHAR, name, sizeof name, &l2);
        int rows = 0;
        while (SQLFetch(s) == SQL_SUCCESS) ++rows;
        ASSERT_EQ(3, rows) << "cycle " << i;
        ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, s));
        ASSERT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
        ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    Report("connect/execute/fetch/disconnect", cycles, warm, ResidentBytes());
}

TEST(Memory, StatementsAllocatedAndFreedStayFlat) {
    PrepareTable();
    const long cycles = Count("TV_MEMORY_STATEMENTS", 100000);
    const long warmup = cycles / 20;
    Connection c("memcycles");
    ASSERT_TRUE(c.connected);
    uint64_t warm = 0;
    for (long i = 0; i < cycles; ++i) {
        if (i == warmup) warm = ResidentBytes();
        SQLHSTMT s = SQL_NULL_HSTMT;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &s)) << "cycle " << i;
        // Every tenth statement also prepares, so its description and bindings come and go too.
        if (i % 10 == 0) {
            ASSERT_TRUE(Ok(SQLPrepare(s, Sql("SELECT name FROM items WHERE id = ?"), SQL_NTS)))
                << DiagText(SQL_HANDLE_STMT, s);
            SQLSMALLINT cols = 0;
            ASSERT_TRUE(Ok(SQLNumResultCols(s, &cols)));
            ASSERT_EQ(1, cols);
        }
        ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, s)) << "cycle " << i;
    }
    Report("statement allocate/free", cycles, warm, ResidentBytes());
}

}  // namespace
