// Out of memory at every allocation the foundation's hook can fail, stepped one by one through
// connect, prepare, execute, fetch and a static scroll: each call ends in success or in the
// out-of-memory answer (HY001, S1001 to ODBC 2 applications), never in a crash, another error
// or a leak; and the driver works again as soon as memory comes back.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <functional>
#include <string>

#include "tests/stress/stress_fixture.h"
#include "util/trymem.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define TV_HAVE_LSAN 1
#endif

using namespace stress;

namespace {

SQLCHAR* Sql(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

constexpr const char* kDb = "oomsteps";
constexpr int kRows = 40;

// What a step needs set up before the failing call, and what it hands the next stage.
struct Handles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLINTEGER from = 0;
    SQLINTEGER id = 0;
    char name[31] = "";
    SQLLEN l1 = 0, l2 = 0;
    ~Handles() {
        TryMemFailAfter(-1);
        if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        if (dbc) {
            SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

// A failed call answers out of memory on whatever handle it has (none when the handle itself
// could not be made).
::testing::AssertionResult OutOfMemory(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h) {
    if (rc != SQL_ERROR) return ::testing::AssertionFailure() << "returned " << rc;
    if (h == SQL_NULL_HANDLE) return ::testing::AssertionSuccess();
    Diag d = FirstDiag(type, h);
    if (d.state == "HY001" || d.state == "S1001") return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "answered " << d.state << " " << d.message;
}

using Stage = std::function<::testing::AssertionResult(Handles&, bool injected)>;

// Runs `setup` with memory, then `stage` with the k-th allocation failing, for k = 0, 1, ...
// until the stage makes fewer allocations than k; reports the points stepped through.
void StepThrough(const char* what, const std::function<bool(Handles&)>& setup, const Stage& stage) {
    long points = 0;
    for (long k = 0;; ++k) {
        ASSERT_LT(k, 20000) << what << ": the stage never completes";
        bool reached = false;
        {
            Handles h;
            ASSERT_TRUE(setup(h)) << what << ": set-up";
            long before = TryMemCalls();
            TryMemFailAfter(k);
            ::testing::AssertionResult r = stage(h, true);
            TryMemFailAfter(-1);
            reached = TryMemCalls() - before > k;
            ASSERT_TRUE(r) << what << ", allocation " << k;
            // The handles still work once memory is back: the stage runs again in full.
            if (reached) {
                Handles again;
                ASSERT_TRUE(setup(again)) << what << ": set-up after allocation " << k;
                ::testing::AssertionResult r2 = stage(again, false);
                ASSERT_TRUE(r2) << what << ": with memory again after allocation " << k;
            }
        }
        ++points;
        if (!reached) break;
    }
    std::printf("%s: %ld allocation points stepped through\n", what, points - 1);
#ifdef TV_HAVE_LSAN
    EXPECT_EQ(0, __lsan_do_recoverable_leak_check()) << what;
#endif
}

// One call of a stage: success, or (only while a failure is injected) out of memory.
#define STAGE_CALL(call, type, handle)                                                                         \
    do {                                                                                                       \
        SQLRETURN rc_ = (call);                                                                                \
        if (!Ok(rc_)) {                                                                                        \
            if (!injected)                                                                                     \
                return ::testing::AssertionFailure() << #call << ": " << rc_ << " " << DiagText(type, handle); \
            ::testing::AssertionResult oom_ = OutOfMemory(rc_, type, handle);                                  \
            if (!oom_) return oom_ << " from " #call;                                                          \
            return ::testing::AssertionSuccess();                                                              \
        }                                                                                                      \
    } while (0)

bool Connected(Handles& h) { return Ok(Connect(&h.env, &h.dbc, kDb)); }
bool Prepared(Handles& h) {
    if (!Connected(h) || !Ok(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &h.stmt))) return false;
    return Ok(SQLPrepare(h.stmt, Sql("SELECT id, name FROM oom_items WHERE id >= ? ORDER BY id"), SQL_NTS));
}
bool Executed(Handles& h) {
    if (!Prepared(h)) return false;
    h.from = 0;
    return Ok(SQLBindParameter(h.stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &h.from, 0, nullptr)) &&
           Ok(SQLExecute(h.stmt));
}
bool StaticPrepared(Handles& h) {
    if (!Connected(h) || !Ok(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &h.stmt))) return false;
    return Ok(SQLSetStmtAttr(h.stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0));
}

// Reads every row forward and checks them.
::testing::AssertionResult FetchAll(Handles& h, bool injected) {
    STAGE_CALL(SQLBindCol(h.stmt, 1, SQL_C_SLONG, &h.id, 0, &h.l1), SQL_HANDLE_STMT, h.stmt);
    STAGE_CALL(SQLBindCol(h.stmt, 2, SQL_C_CHAR, h.name, sizeof h.name, &h.l2), SQL_HANDLE_STMT, h.stmt);
    for (int row = 0;; ++row) {
        SQLRETURN rc = SQLFetch(h.stmt);
        if (rc == SQL_NO_DATA) {
            if (row != kRows) return ::testing::AssertionFailure() << row << " rows";
            return ::testing::AssertionSuccess();
        }
        STAGE_CALL(rc, SQL_HANDLE_STMT, h.stmt);
        if (h.id != row) return ::testing::AssertionFailure() << "row " << row << " reads " << h.id;
    }
}

class OutOfMemorySteps : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Connection c(kDb);
        ASSERT_TRUE(c.connected);
        std::string why;
        ASSERT_TRUE(c.Exec("CREATE TABLE oom_items (id INTEGER, name VARCHAR(30))", &why)) << why;
        for (int i = 0; i < kRows; ++i) {
            char text[96];
            std::snprintf(text, sizeof text, "INSERT INTO oom_items VALUES (%d, 'item %d')", i, i);
            ASSERT_TRUE(c.Exec(text, &why)) << why;
        }
    }
};

TEST_F(OutOfMemorySteps, Connect) {
    StepThrough(
        "connect", [](Handles&) { return true; },
        [](Handles& h, bool injected) {
            STAGE_CALL(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h.env), SQL_HANDLE_ENV, SQL_NULL_HANDLE);
            STAGE_CALL(SQLSetEnvAttr(h.env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                       SQL_HANDLE_ENV, h.env);
            STAGE_CALL(SQLAllocHandle(SQL_HANDLE_DBC, h.env, &h.dbc), SQL_HANDLE_ENV, h.env);
            SQLCHAR empty[] = "";
            STAGE_CALL(SQLConnect(h.dbc, Sql(kDb), SQL_NTS, empty, SQL_NTS, empty, SQL_NTS), SQL_HANDLE_DBC, h.dbc);
            return ::testing::AssertionSuccess();
        });
}

TEST_F(OutOfMemorySteps, Prepare) {
    StepThrough("prepare", Connected, [](Handles& h, bool injected) {
        STAGE_CALL(SQLAllocHandle(SQL_HANDLE_STMT, h.dbc, &h.stmt), SQL_HANDLE_DBC, h.dbc);
        STAGE_CALL(SQLPrepare(h.stmt, Sql("SELECT id, name FROM oom_items WHERE id >= ? ORDER BY id"), SQL_NTS),
                   SQL_HANDLE_STMT, h.stmt);
        SQLSMALLINT cols = 0;
        STAGE_CALL(SQLNumResultCols(h.stmt, &cols), SQL_HANDLE_STMT, h.stmt);
        if (cols != 2) return ::testing::AssertionFailure() << cols << " columns";
        return ::testing::AssertionSuccess();
    });
}

TEST_F(OutOfMemorySteps, Execute) {
    StepThrough("execute", Prepared, [](Handles& h, bool injected) {
        h.from = 0;
        STAGE_CALL(SQLBindParameter(h.stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &h.from, 0, nullptr),
                   SQL_HANDLE_STMT, h.stmt);
        STAGE_CALL(SQLExecute(h.stmt), SQL_HANDLE_STMT, h.stmt);
        return ::testing::AssertionSuccess();
    });
}

TEST_F(OutOfMemorySteps, Fetch) { StepThrough("fetch", Executed, FetchAll); }

TEST_F(OutOfMemorySteps, StaticScroll) {
    StepThrough("static scroll", StaticPrepared, [](Handles& h, bool injected) {
        STAGE_CALL(SQLExecDirect(h.stmt, Sql("SELECT id, name FROM oom_items ORDER BY id"), SQL_NTS), SQL_HANDLE_STMT,
                   h.stmt);
        STAGE_CALL(SQLBindCol(h.stmt, 1, SQL_C_SLONG, &h.id, 0, &h.l1), SQL_HANDLE_STMT, h.stmt);
        struct Move {
            SQLSMALLINT orientation;
            SQLLEN offset;
            SQLINTEGER expect;
        } moves[] = {{SQL_FETCH_LAST, 0, kRows - 1},     {SQL_FETCH_FIRST, 0, 0},      {SQL_FETCH_ABSOLUTE, 17, 16},
                     {SQL_FETCH_PRIOR, 0, 15},           {SQL_FETCH_RELATIVE, 10, 25}, {SQL_FETCH_NEXT, 0, 26},
                     {SQL_FETCH_ABSOLUTE, -1, kRows - 1}};
        for (const Move& m : moves) {
            STAGE_CALL(SQLFetchScroll(h.stmt, m.orientation, m.offset), SQL_HANDLE_STMT, h.stmt);
            if (h.id != m.expect)
                return ::testing::AssertionFailure() << "orientation " << m.orientation << " reads " << h.id;
        }
        return ::testing::AssertionSuccess();
    });
}

}  // namespace
