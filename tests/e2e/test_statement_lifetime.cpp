// A connection that lives long (or is pooled) does not grow with the statements it runs: a freed
// statement's name serves the connection's next statement, so what the server keeps prepared under
// it is replaced rather than added to, for forward-only and scrollable cursors and for the
// statements a cursor runs for its row changes. The server's count of the statements it keeps
// prepared for the session (dbmsinfo('_prepared_cnt')) is one measure; the process's heap, over
// many cycles, is the other: it catches whatever else a statement might leave behind until
// disconnect, where a leak check finds nothing.
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "results_fixture.h"

namespace resultstest {
namespace {

class StatementLifetime : public ResultsTest {
protected:
    // The session's statements prepared by name, read on a statement of its own that stays.
    long Prepared() {
        if (!counter) {
            EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &counter));
        }
        SQLFreeStmt(counter, SQL_CLOSE);
        EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(counter, (SQLCHAR*)"select dbmsinfo('_prepared_cnt')", SQL_NTS))
            << Diag(SQL_HANDLE_STMT, counter);
        char text[32] = {};
        SQLLEN len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLFetch(counter)) << Diag(SQL_HANDLE_STMT, counter);
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(counter, 1, SQL_C_CHAR, text, sizeof text, &len));
        SQLFreeStmt(counter, SQL_CLOSE);
        return text[0] ? std::atol(text) : -1;
    }
    void TearDown() override {
        if (counter) SQLFreeHandle(SQL_HANDLE_STMT, counter);
        ResultsTest::TearDown();
    }
    SQLHSTMT counter = SQL_NULL_HSTMT;

    struct Cursor {
        const char* name;
        SQLULEN type;
        bool update;  // a row change through SQLSetPos
    };
    static constexpr Cursor kCursors[] = {
        {"forward-only", SQL_CURSOR_FORWARD_ONLY, false},
        {"static", SQL_CURSOR_STATIC, false},
        {"keyset-driven, with an update", SQL_CURSOR_KEYSET_DRIVEN, true},
        {"dynamic, with an update", SQL_CURSOR_DYNAMIC, true},
        {"static, with an update", SQL_CURSOR_STATIC, true},
    };
    std::string select;
    // The table the cycles read, of three rows.
    void MakeTable() {
        const std::string t = Make("stlife", "id integer not null primary key, v varchar(20)");
        for (int id = 1; id <= 3; ++id) Must("insert into " + t + " values (" + std::to_string(id) + ", 'v')");
        select = "select id, v from " + t + " where id > ? order by id";
    }
    // A statement with the cursor's attributes.
    void Allocate(const Cursor& c, SQLHSTMT& h) {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h));
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(c.type), 0)));
        if (c.update) {
            ASSERT_TRUE(SQL_SUCCEEDED(
                SQLSetStmtAttr(h, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_VALUES), 0)));
        }
    }
    // One cycle: a statement allocated, prepared, executed with a parameter, read (and one of its
    // rows changed), freed; or, given one, the same statement prepared again and closed.
    void Cycle(const Cursor& c, SQLHSTMT kept = SQL_NULL_HSTMT) {
        SQLHSTMT h = kept;
        if (!kept) Allocate(c, h);
        if (HasFatalFailure()) return;
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, (SQLCHAR*)select.c_str(), SQL_NTS)) << Diag(SQL_HANDLE_STMT, h);
        SQLINTEGER from = 0, id = 0;
        char v[21] = {};
        SQLLEN idLen = 0, vLen = 0;
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &from, 0, nullptr));
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(h))) << Diag(SQL_HANDLE_STMT, h);
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, &id, 0, &idLen));
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, v, sizeof v, &vLen));
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(h)) << Diag(SQL_HANDLE_STMT, h);
        if (c.update) {
            std::strcpy(v, "changed");
            vLen = SQL_NTS;
            ASSERT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) << Diag(SQL_HANDLE_STMT, h);
        }
        while (SQL_SUCCEEDED(SQLFetch(h))) {
        }
        if (kept) {
            ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(h, SQL_CLOSE));
            ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(h, SQL_UNBIND));
            ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(h, SQL_RESET_PARAMS));
        } else {
            ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, h));
        }
    }
};

// The bytes the process holds on its heap: the sanitizer's count where it runs (freed blocks it
// keeps aside are not counted), else the C library's.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));
size_t HeapInUse() {
    if (__sanitizer_get_current_allocated_bytes) return __sanitizer_get_current_allocated_bytes();
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

TEST_P(StatementLifetime, FreedStatementsLeaveNothingPreparedBehind) {
    MakeTable();
    // The counting statement's own name is taken before the cycles start.
    Prepared();
    for (const Cursor& c : kCursors) {
        SCOPED_TRACE(c.name);
        // What the first runs set up once (the cursor layer's key columns) is the connection's.
        for (int i = 0; i < 2; ++i) Cycle(c);
        if (HasFatalFailure()) return;
        const long before = Prepared();
        for (int i = 0; i < 10; ++i) Cycle(c);
        if (HasFatalFailure()) return;
        EXPECT_EQ(before, Prepared());
    }
    // Statements prepared one after another, each freed before the next, take the name the one
    // before left: after the first, the count does not move.
    long first = -1;
    for (int i = 0; i < 4; ++i) {
        SQLHSTMT h = SQL_NULL_HSTMT;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h));
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(h, (SQLCHAR*)select.c_str(), SQL_NTS)) << Diag(SQL_HANDLE_STMT, h);
        ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, h));
        if (i == 0) first = Prepared();
        EXPECT_EQ(first, Prepared());
    }
}

// Many cycles on one connection, statements freed or one statement prepared again and closed: the
// heap after them is the heap before, within what the allocator's own bookkeeping moves.
TEST_P(StatementLifetime, TheHeapStaysFlatOverManyStatements) {
    MakeTable();
    constexpr int kWarm = 5, kCycles = 50;
    // Far below what a statement left behind would take: some 700 bytes a forward-only one, 3.5
    // to 6 kB one with a row change and the cursor's own statements.
    constexpr double kMostPerCycle = 32;
    for (const Cursor& c : kCursors)
        for (bool kept : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (kept ? ", one statement prepared again" : ", statements freed"));
            SQLHSTMT h = SQL_NULL_HSTMT;
            if (kept) Allocate(c, h);
            for (int i = 0; i < kWarm; ++i) Cycle(c, h);
            if (HasFatalFailure()) return;
            // Three windows: a statement left behind grows the heap in each of them; the C
            // library's own bookkeeping (its free lists, a container of unixODBC's that doubles
            // its room) moves it by tens of bytes a cycle in one or another, either way.
            double least = 1e9;
            for (int w = 0; w < 3; ++w) {
                const size_t before = HeapInUse();
                for (int i = 0; i < kCycles; ++i) Cycle(c, h);
                if (HasFatalFailure()) return;
                least = std::min(least, (double(HeapInUse()) - double(before)) / kCycles);
            }
            EXPECT_LT(least, kMostPerCycle) << "bytes a cycle";
            if (h) SQLFreeHandle(SQL_HANDLE_STMT, h);
        }
}

INSTANTIATE_TEST_SUITE_P(Builds, StatementLifetime, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
