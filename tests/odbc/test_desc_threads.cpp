// Descriptors under threads: statements using an allocated descriptor are found on its own
// connection, and a descriptor handle of another connection, freed meanwhile on another thread,
// is refused and never followed into freed memory.
#include <atomic>
#include <thread>

#include "stmt_fixture.h"

namespace {

// The first connect of a process lets calls on different connections run side by side, and these
// pairs never connect: without this the calls would stay serialised when the suite runs alone and
// overlap only after another suite's connect.
struct ConcurrentCalls {
    bool before = g_CallsConcurrent.exchange(true);
    ~ConcurrentCalls() { g_CallsConcurrent.store(before); }
};

TEST(DescThreads, ForeignDescriptorsFreedMeanwhileAreRefused) {
    ConcurrentCalls concurrent;
    fake::Reset();
    ConnectedPair mine, theirs;
    SQLHSTMT stmt = mine.stmt();
    ASSERT_NE(nullptr, StmtOf(stmt));
    std::atomic<SQLHDESC> latest{SQL_NULL_HDESC};
    std::atomic<bool> stop{false};
    std::atomic<int> accepted{0};
    std::thread churn([&] {
        for (int i = 0; i < 400; ++i) {
            SQLHDESC d = SQL_NULL_HDESC;
            if (SQLAllocHandle(SQL_HANDLE_DESC, theirs.dbc, &d) != SQL_SUCCESS) continue;
            SQLHSTMT s = theirs.stmt();
            SQLSetStmtAttr(s, SQL_ATTR_APP_ROW_DESC, d, 0);
            latest = d;
            SQLFreeHandle(SQL_HANDLE_DESC, d);
            SQLFreeHandle(SQL_HANDLE_STMT, s);
        }
        stop = true;
    });
    while (!stop) {
        SQLHDESC d = latest.load();
        if (d && SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, d, 0) != SQL_ERROR) ++accepted;
    }
    churn.join();
    EXPECT_EQ(0, accepted.load());
    EXPECT_EQ(StmtOf(stmt)->implicitArd, StmtOf(stmt)->ard);
    fake::Reset();
}

TEST(DescThreads, EachConnectionRevertsOnlyItsOwnStatements) {
    ConcurrentCalls concurrent;
    fake::Reset();
    auto work = [](int rounds, std::atomic<int>* failures) {
        ConnectedPair pair;
        SQLHSTMT s1 = pair.stmt(), s2 = pair.stmt();
        for (int i = 0; i < rounds; ++i) {
            SQLHDESC d = SQL_NULL_HDESC;
            if (SQLAllocHandle(SQL_HANDLE_DESC, pair.dbc, &d) != SQL_SUCCESS) {
                ++*failures;
                continue;
            }
            SQLINTEGER v = 0;
            SQLSetDescRec(d, 1, SQL_C_LONG, 0, 4, 0, 0, &v, nullptr, nullptr);
            if (SQLSetStmtAttr(s1, SQL_ATTR_APP_ROW_DESC, d, 0) != SQL_SUCCESS) ++*failures;
            if (SQLSetStmtAttr(s2, SQL_ATTR_APP_ROW_DESC, d, 0) != SQL_SUCCESS) ++*failures;
            SQLFreeHandle(SQL_HANDLE_DESC, d);
            if (StmtOf(s1)->ard != StmtOf(s1)->implicitArd || StmtOf(s2)->ard != StmtOf(s2)->implicitArd) ++*failures;
        }
    };
    std::atomic<int> failures{0};
    std::thread a(work, 300, &failures), b(work, 300, &failures);
    a.join();
    b.join();
    EXPECT_EQ(0, failures.load());
    fake::Reset();
}

}  // namespace
