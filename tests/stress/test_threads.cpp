// The whole driver under many threads (built under ThreadSanitizer by the test command): threads
// each on a connection of their own running a mix of statements with commits and rollbacks,
// threads sharing one connection on statements of their own, and SQLCancel from another thread.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/stress/stress_fixture.h"

using namespace stress;

namespace {

constexpr int kOwnThreads = 8;

SQLCHAR* Sql(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

// One worker's own connection and what it knows it committed.
class Worker {
public:
    Worker(int id, long statements) : id_(id), statements_(statements) { std::snprintf(db_, sizeof db_, "mt%d", id); }

    // Runs the whole mix; the first failure ends it with a message.
    void Run() {
        Connection c(db_);
        if (!c.connected) return Fail("connect", DiagText(SQL_HANDLE_DBC, c.dbc));
        conn_ = &c;
        std::string why;
        if (!c.Exec("CREATE TABLE ledger (seq INTEGER NOT NULL, note VARCHAR(40), amount INTEGER)", &why))
            return Fail("create", why);
        if (!Ok(SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)))
            return Fail("autocommit off", DiagText(SQL_HANDLE_DBC, c.dbc));
        insert_ = c.Stmt();
        count_ = c.Stmt();
        rows_ = c.Stmt();
        other_ = c.Stmt();
        if (!insert_ || !count_ || !rows_ || !other_) return Fail("statements", DiagText(SQL_HANDLE_DBC, c.dbc));
        if (!Prepare(insert_, "INSERT INTO ledger (seq, note, amount) VALUES (?, ?, ?)") ||
            !Prepare(count_, "SELECT COUNT(*) FROM ledger WHERE seq >= ?") ||
            !Prepare(rows_, "SELECT seq, note, amount FROM ledger WHERE seq > ? ORDER BY seq"))
            return;
        long done = 0;
        for (long step = 0; done < statements_ && failure_.empty(); ++step) {
            switch (step % 16) {
                case 0:
                case 1:
                case 3:
                case 5:
                case 8:
                case 10:
                case 12:
                    Insert();
                    break;
                case 2:
                case 9:
                    Count();
                    break;
                case 4:
                case 13:
                    Rows();
                    break;
                case 6:
                    Update();
                    break;
                case 7:
                    End(step % 32 == 7 ? SQL_ROLLBACK : SQL_COMMIT);
                    break;
                case 11:
                    if (step % 64 == 11)
                        Catalog();
                    else
                        Count();
                    break;
                case 14:
                    Direct();
                    break;
                case 15:
                    End(step % 48 == 15 ? SQL_ROLLBACK : SQL_COMMIT);
                    break;
            }
            ++done;
        }
        if (failure_.empty()) End(SQL_COMMIT);
        if (failure_.empty()) Verify();
        for (SQLHSTMT s : {insert_, count_, rows_, other_}) SQLFreeHandle(SQL_HANDLE_STMT, s);
        conn_ = nullptr;
    }

    const std::string& failure() const { return failure_; }
    long committed() const { return long(committed_.size()); }

private:
    void Fail(const char* what, const std::string& why) {
        if (failure_.empty()) failure_ = std::string(db_) + ": " + what + ": " + why;
    }
    bool Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const char* what) {
        if (Ok(rc)) return true;
        Fail(what, std::to_string(rc) + " " + DiagText(type, h));
        return false;
    }
    bool Prepare(SQLHSTMT s, const char* text) {
        return Check(SQLPrepare(s, Sql(text), SQL_NTS), SQL_HANDLE_STMT, s, text);
    }

    void Insert() {
        SQLINTEGER seq = SQLINTEGER(next_++), amount = seq % 1000;
        char note[41];
        std::snprintf(note, sizeof note, "row %d of %s", int(seq), db_);
        SQLLEN noteLen = SQL_NTS;
        if (!Check(SQLBindParameter(insert_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &seq, 0, nullptr),
                   SQL_HANDLE_STMT, insert_, "bind seq") ||
            !Check(SQLBindParameter(insert_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, note, sizeof note,
                                    &noteLen),
                   SQL_HANDLE_STMT, insert_, "bind note") ||
            !Check(SQLBindParameter(insert_, 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &amount, 0, nullptr),
                   SQL_HANDLE_STMT, insert_, "bind amount") ||
            !Check(SQLExecute(insert_), SQL_HANDLE_STMT, insert_, "insert"))
            return;
        pending_.insert(seq);
    }

    void Count() {
        SQLINTEGER from = SQLINTEGER(next_ > 50 ? next_ - 50 : 0);
        SQLINTEGER n = -1;
        SQLLEN ind = 0;
        if (!Check(SQLBindParameter(count_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &from, 0, nullptr),
                   SQL_HANDLE_STMT, count_, "bind from") ||
            !Check(SQLExecute(count_), SQL_HANDLE_STMT, count_, "count") ||
            !Check(SQLBindCol(count_, 1, SQL_C_SLONG, &n, 0, &ind), SQL_HANDLE_STMT, count_, "bind count") ||
            !Check(SQLFetch(count_), SQL_HANDLE_STMT, count_, "fetch count"))
            return;
        SQLCloseCursor(count_);
        long expect = 0;
        for (const std::set<long>* s : {&committed_, &pending_})
            for (auto it = s->lower_bound(from); it != s->end(); ++it) ++expect;
        if (n != expect)
            Fail("count", "rows from " + std::to_string(from) + ": " + std::to_string(n) + ", expected " +
                              std::to_string(expect));
    }

    void Rows() {
        SQLINTEGER after = SQLINTEGER(next_ > 20 ? next_ - 20 : -1);
        if (!Check(SQLBindParameter(rows_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &after, 0, nullptr),
                   SQL_HANDLE_STMT, rows_, "bind after") ||
            !Check(SQLExecute(rows_), SQL_HANDLE_STMT, rows_, "rows"))
            return;
        SQLINTEGER seq = 0, amount = 0;
        char note[41];
        SQLLEN l1 = 0, l2 = 0, l3 = 0;
        SQLBindCol(rows_, 1, SQL_C_SLONG, &seq, 0, &l1);
        SQLBindCol(rows_, 3, SQL_C_SLONG, &amount, 0, &l3);
        long got = 0;
        SQLRETURN rc;
        while ((rc = SQLFetch(rows_)) == SQL_SUCCESS) {
            if (!Check(SQLGetData(rows_, 2, SQL_C_CHAR, note, sizeof note, &l2), SQL_HANDLE_STMT, rows_, "getdata"))
                return;
            char expect[41];
            std::snprintf(expect, sizeof expect, "row %d of %s", int(seq), db_);
            if (std::strcmp(note, expect) != 0 || amount != seq % 1000 || seq <= after) {
                Fail("rows", std::string("row ") + std::to_string(seq) + " reads \"" + note + "\"");
                return;
            }
            ++got;
        }
        if (rc != SQL_NO_DATA) {
            Check(rc, SQL_HANDLE_STMT, rows_, "fetch rows");
            return;
        }
        SQLFreeStmt(rows_, SQL_UNBIND);
        SQLCloseCursor(rows_);
        long expect = 0;
        for (const std::set<long>* s : {&committed_, &pending_})
            for (auto it = s->upper_bound(after); it != s->end(); ++it) ++expect;
        if (got != expect) Fail("rows", std::to_string(got) + " rows, expected " + std::to_string(expect));
    }

    void Update() {
        // Rewrites a value with itself: a statement that changes rows without changing the answers.
        if (!Check(SQLExecDirect(other_, Sql("UPDATE ledger SET amount = MOD(seq, 1000) WHERE seq >= 0 AND seq < 3"),
                                 SQL_NTS),
                   SQL_HANDLE_STMT, other_, "update"))
            return;
        SQLLEN n = 0;
        Check(SQLRowCount(other_, &n), SQL_HANDLE_STMT, other_, "row count");
    }

    void Direct() {
        if (!Check(SQLExecDirect(other_, Sql("SELECT {fn UCASE(note)}, {fn LENGTH(note)} FROM ledger WHERE seq = 0"),
                                 SQL_NTS),
                   SQL_HANDLE_STMT, other_, "direct"))
            return;
        SQLRETURN rc;
        while ((rc = SQLFetch(other_)) == SQL_SUCCESS) {
        }
        if (rc != SQL_NO_DATA) Check(rc, SQL_HANDLE_STMT, other_, "fetch direct");
        SQLCloseCursor(other_);
    }

    void Catalog() {
        if (!Check(SQLColumns(other_, nullptr, 0, nullptr, 0, Sql("ledger"), SQL_NTS, nullptr, 0), SQL_HANDLE_STMT,
                   other_, "columns"))
            return;
        int n = 0;
        SQLRETURN rc;
        while ((rc = SQLFetch(other_)) == SQL_SUCCESS) ++n;
        if (rc != SQL_NO_DATA) Check(rc, SQL_HANDLE_STMT, other_, "fetch columns");
        SQLCloseCursor(other_);
        if (n != 3) Fail("columns", std::to_string(n) + " columns of ledger");
        if (!Check(SQLTables(other_, nullptr, 0, nullptr, 0, Sql("ledger"), SQL_NTS, nullptr, 0), SQL_HANDLE_STMT,
                   other_, "tables"))
            return;
        while ((rc = SQLFetch(other_)) == SQL_SUCCESS) {
        }
        SQLCloseCursor(other_);
    }

    void End(SQLSMALLINT how) {
        if (!Check(SQLEndTran(SQL_HANDLE_DBC, conn_->dbc, how), SQL_HANDLE_DBC, conn_->dbc, "end transaction")) return;
        if (how == SQL_COMMIT) committed_.insert(pending_.begin(), pending_.end());
        pending_.clear();
    }

    // Every committed row is there, nothing rolled back is.
    void Verify() {
        std::set<long> seen;
        SQLHSTMT s = other_;
        if (!Check(SQLExecDirect(s, Sql("SELECT seq FROM ledger ORDER BY seq"), SQL_NTS), SQL_HANDLE_STMT, s, "verify"))
            return;
        SQLINTEGER seq = 0;
        SQLLEN ind = 0;
        SQLBindCol(s, 1, SQL_C_SLONG, &seq, 0, &ind);
        SQLRETURN rc;
        while ((rc = SQLFetch(s)) == SQL_SUCCESS) seen.insert(seq);
        if (rc != SQL_NO_DATA) Check(rc, SQL_HANDLE_STMT, s, "fetch verify");
        SQLFreeStmt(s, SQL_UNBIND);
        SQLCloseCursor(s);
        if (seen != committed_)
            Fail("verify", std::to_string(seen.size()) + " rows in the table, " + std::to_string(committed_.size()) +
                               " committed");
    }

    int id_;
    long statements_;
    char db_[16];
    Connection* conn_ = nullptr;
    SQLHSTMT insert_ = SQL_NULL_HSTMT, count_ = SQL_NULL_HSTMT, rows_ = SQL_NULL_HSTMT, other_ = SQL_NULL_HSTMT;
    long next_ = 0;
    std::set<long> committed_, pending_;
    std::string failure_;
};

TEST(Threads, EachOnItsOwnConnectionKeepsEveryCommittedRow) {
    const long statements = Count("TV_STRESS_STATEMENTS", 10000);
    for (int i = 0; i < kOwnThreads; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "mt%d", i);
        Database(name);
    }
    std::vector<Worker> workers;
    for (int i = 0; i < kOwnThreads; ++i) workers.emplace_back(i, statements);
    std::vector<std::thread> threads;
    for (auto& w : workers) threads.emplace_back([&w] { w.Run(); });
    for (auto& t : threads) t.join();
    long rows = 0;
    for (const auto& w : workers) {
        EXPECT_EQ("", w.failure());
        rows += w.committed();
    }
    std::printf("%d threads x %ld statements: %ld committed rows checked\n", kOwnThreads, statements, rows);
    EXPECT_GT(rows, 0);
}

// Calls on a statement of a connection another thread is using get the gateway's busy answers
// (HY010, or SQL_STILL_EXECUTING while a cancel works on the statement itself) and nothing else;
// the call is simply made again.
struct Shared {
    SQLHDBC dbc = SQL_NULL_HDBC;
    std::atomic<long> busy{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> failed{false};
    std::mutex lock;
    std::string failure;
    void Fail(const std::string& why) {
        std::lock_guard<std::mutex> g(lock);
        if (failure.empty()) failure = why;
        failed.store(true);
    }
};

// The answer's own read may meet the busy connection too; it is refused without losing the answer.
bool IsBusy(SQLHSTMT s) {
    for (;;) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLGetDiagRec(SQL_HANDLE_STMT, s, 1, state, &native, nullptr, 0, &len);
        if (rc != SQL_ERROR) return rc != SQL_NO_DATA && std::string(reinterpret_cast<char*>(state)) == "HY010";
        std::this_thread::yield();
    }
}

// Repeats a call while the connection is busy with another thread's statement.
template <class F>
SQLRETURN UntilFree(Shared& sh, SQLHSTMT s, F call) {
    for (;;) {
        // SQL_STILL_EXECUTING: a cancel from another thread is closing this very statement.
        SQLRETURN rc = call();
        if (rc != SQL_STILL_EXECUTING && (rc != SQL_ERROR || !IsBusy(s))) return rc;
        sh.busy.fetch_add(1, std::memory_order_relaxed);
        std::this_thread::yield();
    }
}

void SharedWriter(Shared& sh, int id, long rounds, std::vector<long>& mine) {
    SQLHSTMT s = SQL_NULL_HSTMT;
    SQLRETURN made;
    while ((made = SQLAllocHandle(SQL_HANDLE_STMT, sh.dbc, &s)) == SQL_ERROR) {
        // The read of the answer can itself meet the busy connection and find nothing: ask again.
        const std::string state = FirstDiag(SQL_HANDLE_DBC, sh.dbc).state;
        if (state != "HY010" && !state.empty()) break;
        std::this_thread::yield();
    }
    if (made != SQL_SUCCESS) return sh.Fail("statement: " + DiagText(SQL_HANDLE_DBC, sh.dbc));
    SQLINTEGER who = id, seq = 0;
    for (long r = 0; r < rounds && !sh.failed.load(); ++r) {
        seq = SQLINTEGER(r);
        SQLRETURN rc = UntilFree(sh, s, [&] {
            return SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &who, 0, nullptr);
        });
        if (Ok(rc))
            rc = UntilFree(sh, s, [&] {
                return SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &seq, 0, nullptr);
            });
        if (Ok(rc))
            rc = UntilFree(sh, s,
                           [&] { return SQLExecDirect(s, Sql("INSERT INTO shared_rows VALUES (?, ?)"), SQL_NTS); });
        if (!Ok(rc))
            return sh.Fail("writer " + std::to_string(id) + ": insert: " + std::to_string(rc) + " " +
                           DiagText(SQL_HANDLE_STMT, s));
        mine.push_back(seq);
    }
    UntilFree(sh, s, [&] { return SQLFreeHandle(SQL_HANDLE_STMT, s); });
}

// Runs statements on the shared connection while another thread cancels them: besides the busy
// answer it may hear that its statement was cancelled (HY008), or 01S05, which SQLCancel leaves
// on a statement it finds idle.
void CancelledRunner(Shared& sh, SQLHSTMT s, std::atomic<long>& cancelled) {
    while (!sh.stop.load()) {
        SQLRETURN rc = UntilFree(
            sh, s, [&] { return SQLExecDirect(s, Sql("UPDATE shared_rows SET seq = seq WHERE thread < 0"), SQL_NTS); });
        if (rc == SQL_ERROR) {
            std::string state = FirstDiag(SQL_HANDLE_STMT, s).state;
            if (state == "HY008" || state == "01S05" || state == "HY010")
                cancelled.fetch_add(1, std::memory_order_relaxed);
            else
                return sh.Fail("runner: " + DiagText(SQL_HANDLE_STMT, s));
        } else if (!Ok(rc) && rc != SQL_NO_DATA) {
            return sh.Fail("runner: " + std::to_string(rc) + " " + DiagText(SQL_HANDLE_STMT, s));
        }
    }
}

TEST(Threads, SharingOneConnectionHearOnlyThatItIsBusyWhileAnotherThreadCancels) {
    constexpr int kWriters = 4;
    const long rounds = Count("TV_STRESS_SHARED_ROUNDS", 1000);
    Connection c("mtshared");
    ASSERT_TRUE(c.connected);
    std::string why;
    ASSERT_TRUE(c.Exec("CREATE TABLE shared_rows (thread INTEGER NOT NULL, seq INTEGER NOT NULL)", &why)) << why;
    Shared sh;
    sh.dbc = c.dbc;
    SQLHSTMT victim = c.Stmt();
    ASSERT_NE(nullptr, victim);
    std::vector<std::vector<long>> mine(kWriters);
    std::atomic<long> cancelled{0}, cancels{0};
    std::vector<std::thread> writers;
    for (int i = 0; i < kWriters; ++i) writers.emplace_back([&, i] { SharedWriter(sh, i, rounds, mine[size_t(i)]); });
    std::thread reader([&] { CancelledRunner(sh, victim, cancelled); });
    std::thread canceller([&] {
        while (!sh.stop.load()) {
            // An idle statement's cancel closes its cursor: work on the connection, refused as busy
            // while another thread's call runs there. (Its diagnostic cannot be read reliably here: the
            // statement's own thread clears it with its next call.)
            SQLRETURN rc = SQLCancel(victim);
            if (rc == SQL_ERROR)
                sh.busy.fetch_add(1, std::memory_order_relaxed);
            else if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
                sh.Fail("cancel: " + std::to_string(rc));
            cancels.fetch_add(1, std::memory_order_relaxed);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (auto& t : writers) t.join();
    sh.stop.store(true);
    reader.join();
    canceller.join();
    EXPECT_EQ("", sh.failure);
    SQLFreeHandle(SQL_HANDLE_STMT, victim);

    // Every row every writer was told it inserted (autocommit) is there, once.
    SQLHSTMT s = c.Stmt();
    ASSERT_TRUE(Ok(SQLExecDirect(s, Sql("SELECT thread, seq FROM shared_rows ORDER BY thread, seq"), SQL_NTS)))
        << DiagText(SQL_HANDLE_STMT, s);
    SQLINTEGER thread = 0, seq = 0;
    SQLLEN i1 = 0, i2 = 0;
    SQLBindCol(s, 1, SQL_C_SLONG, &thread, 0, &i1);
    SQLBindCol(s, 2, SQL_C_SLONG, &seq, 0, &i2);
    std::vector<std::vector<long>> seen(kWriters);
    while (SQLFetch(s) == SQL_SUCCESS)
        if (thread >= 0 && thread < kWriters) seen[size_t(thread)].push_back(seq);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    for (int i = 0; i < kWriters; ++i) EXPECT_EQ(mine[size_t(i)], seen[size_t(i)]) << "writer " << i;
    std::printf("%d writers x %ld rounds on one connection: %ld busy answers, %ld cancels, %ld statements cut short\n",
                kWriters, rounds, sh.busy.load(), cancels.load(), cancelled.load());
}

}  // namespace
