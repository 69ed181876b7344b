// The gateway every export goes through: the API records, trace formats, handle checks, the
// diagnostics reset, busy markers, cancel of an idle statement, a connection freed during its
// call, failover notification; and the library's start-up and shut-down.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "odbc/api_records.h"
#include "odbc/diag.h"
#include "tests/odbc/records_fixture.h"
#include "platform/msgbox.h"
#include "platform/winver.h"

extern "C" int GetSetupRegistry(char* buffer, int length);
extern "C" int GetSetupDatabase(char* buffer, int length);
extern "C" SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT hstmt, SQLSMALLINT type);

namespace {

TEST(ApiRecords, OneRecordPerNameAndKindWithTheDocumentedResetFlags) {
    EXPECT_EQ(127u, kApiRecordCount);
    std::set<std::string> noReset, readers;
    std::set<std::pair<std::string, uint32_t>> seen;
    for (unsigned i = 0; i < kApiRecordCount; ++i) {
        const ApiCallRecord* r = kAllApiRecords[i];
        EXPECT_GE(r->kind, 1u);
        EXPECT_LE(r->kind, 5u);
        EXPECT_NE(0, strncmp(r->name, "SQL", 3)) << r->name;
        std::string key = r->name;
        if (key == "AllocHandle" || key == "FreeHandle") key += r->format;
        EXPECT_TRUE(seen.insert({key, r->kind}).second) << r->name << " kind " << r->kind;
        if (r->reset == kKeepDiagnostics) noReset.insert(std::string(r->name) + "/" + std::to_string(r->kind));
        if (r->reset == kReadsDiagnostics) readers.insert(std::string(r->name) + "/" + std::to_string(r->kind));
    }
    EXPECT_EQ(std::set<std::string>{"AllocHandle/1"}, noReset);
    std::set<std::string> expected;
    for (const char* n : {"Error", "ErrorW"})
        for (int k : {2, 3, 4}) expected.insert(std::string(n) + "/" + std::to_string(k));
    for (const char* n : {"GetDiagRec", "GetDiagRecW", "GetDiagField", "GetDiagFieldW"})
        for (int k : {2, 3, 4, 5}) expected.insert(std::string(n) + "/" + std::to_string(k));
    EXPECT_EQ(expected, readers);
    EXPECT_STREQ(
        "HWND=%x szConnStrIn=%lX cbConnStrIn=%d szConnStrOut=%lX cbConnStrOutMax=%d "
        "pcbConnStrOutMax=%lX fDriverCompletion=%u",
        kRecDriverConnectW.format);
    EXPECT_EQ(kRecColumns.impl, kRecColumnsW.impl);
    EXPECT_STREQ("ColumnsW", kRecColumnsW.name);
}

TEST(TraceFormat, ArgumentsAreFormattedByTheirTypes) {
    char out[256];
    int x = 0;
    ApiArg list[] = {MakeApiArg(SQLUSMALLINT(3)), MakeApiArg(SQLSMALLINT(-2)),
                     MakeApiArg(reinterpret_cast<void*>(0xABC0)), MakeApiArg(SQLLEN(-7)),
                     MakeApiArg(static_cast<int*>(nullptr))};
    ApiArgs args(list, 5);
    FormatApiArgs("icol=%u fCType=%d rgbValue=%lX cbValueMax=%ld pcbValue=%lX 100%%", args, out, sizeof out);
    EXPECT_STREQ("icol=3 fCType=-2 rgbValue=ABC0 cbValueMax=-7 pcbValue=0 100%", out);
    // 32-bit conversions see the low 32 bits, as a varargs call would pass them.
    ApiArg neg[] = {MakeApiArg(SQLSMALLINT(-1)), MakeApiArg(&x)};
    ApiArgs a2(neg, 2);
    FormatApiArgs("fOption=%u vParam=%08lX", a2, out, sizeof out);
    EXPECT_STREQ("fOption=4294967295", std::string(out).substr(0, 18).c_str());
    // Missing arguments print nothing; the buffer is never overrun.
    ApiArgs none(nullptr, 0);
    FormatApiArgs("a=%d b=%lX", none, out, sizeof out);
    EXPECT_STREQ("a= b=", out);
    char small[8];
    FormatApiArgs("icol=%u fCType=%d", args, small, sizeof small);
    EXPECT_STREQ("icol=3 ", small);
}

TEST(TraceFormat, ResultNames) {
    EXPECT_STREQ("INVALID_HANDLE", ReturnCodeName(-2));
    EXPECT_STREQ("NO_DATA_FOUND", ReturnCodeName(100));
    EXPECT_STREQ("NEED_DATA", ReturnCodeName(99));
    EXPECT_STREQ("UNKNOWN_ERROR", ReturnCodeName(-5));
    EXPECT_STREQ("UNKNOWN_ERROR", ReturnCodeName(3));
}

// A record whose trace format does not fit its implementation's arguments does not compile;
// these are the rules the records are held to.
TEST(TraceFormat, FormatMustFitTheImplementationsArguments) {
    EXPECT_TRUE((TraceFormatFits<SQLUSMALLINT, SQLPOINTER, SQLLEN>("icol=%u rgbValue=%08lX cbValueMax=%ld")));
    EXPECT_TRUE((TraceFormatFits<SQLHWND, SQLULEN>("HWND=%x vParam=%08lX 100%%")));
    EXPECT_TRUE((TraceFormatFits<SQLHENV*>("handleType=1")));              // what follows is not traced
    EXPECT_TRUE((TraceFormatFits<SQLSMALLINT, TextMode>("fSqlType=%d")));  // nor the text mode
    EXPECT_FALSE((TraceFormatFits<SQLSMALLINT>("a=%d b=%d")));             // more conversions than arguments
    EXPECT_FALSE((TraceFormatFits<SQLPOINTER>("rgbValue=%ld")));           // a pointer as a number
    EXPECT_FALSE((TraceFormatFits<SQLINTEGER>("p=%p")));
    EXPECT_FALSE((TraceFormatFits<TextMode>("mode=%c")));
    EXPECT_FALSE((TraceFormatFits<char*>("s=%s")));  // nothing is dereferenced
    EXPECT_FALSE(TraceFormatFits<>(nullptr));
}

TEST(Gateway, HandleValuesWithBitsAbove32AreInvalid) {
    SQLHENV env;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env));
    auto forged = reinterpret_cast<SQLHENV>(reinterpret_cast<uintptr_t>(env) | (uintptr_t(1) << 40));
    SQLHDBC dbc = nullptr;
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLAllocHandle(SQL_HANDLE_DBC, forged, &dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_ENV, forged));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_ENV, env));
}

TEST(Gateway, WrongKindFreedAndUnknownHandlesAreInvalid) {
    ConnectedPair p;
    SQLHSTMT stmt = p.stmt();
    ASSERT_NE(nullptr, stmt);
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLDisconnect(stmt));  // statement where a connection is expected
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_ENV, p.dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeStmt(nullptr, SQL_CLOSE));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLAllocHandle(7, p.env, &stmt));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(0, p.env));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeStmt(stmt, SQL_CLOSE));  // freed
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLError(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr));
}

TEST(Gateway, RowOperationsOnAFreshStatementAreRefused) {
    ConnectedPair p;
    SQLHSTMT stmt = p.stmt();
    ConnOf(p.dbc)->hasScrlCurs = 1;
    EXPECT_EQ(SQL_ERROR, SQLBulkOperations(stmt, SQL_ADD));
    EXPECT_EQ(149u, StmtOf(stmt)->lastError.load());  // IM924: a forward-only cursor
    EXPECT_EQ(SQL_ERROR, SQLGetTypeInfoW(stmt, 0));
    // A forward-only cursor positions within its rowset, but there is none yet.
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ(64u, StmtOf(stmt)->lastError.load());  // 24000
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_DELETE, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ(41u, StmtOf(stmt)->lastError.load());  // S1109
    ConnOf(p.dbc)->hasScrlCurs = 0;
    EXPECT_EQ(SQL_ERROR, SQLSetPos(stmt, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE));
    EXPECT_EQ(1u, StmtOf(stmt)->lastError.load());  // IM001
}

TEST(Gateway, ResetFlagClearsDiagnosticsOnlyForOrdinaryCalls) {
    ConnectedPair p;
    SQLHSTMT stmt = p.stmt();
    StmtRecord* s = StmtOf(stmt);
    DiagPost(s, "first", 1);
    s->lastError = 43;
    static const ApiCall<> reader = {"Reader", "", 0, kApiStmt, [](HandleBase* h) -> SQLRETURN {
                                         return h->lastError == 43 && h->diags.head ? SQL_SUCCESS : SQL_ERROR;
                                     }};
    EXPECT_EQ(SQL_SUCCESS, CallODBC(reader, stmt));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));  // reset flag 1
    EXPECT_EQ(0u, s->lastError.load());
    EXPECT_EQ(nullptr, s->diags.head);
}

// A statement call that blocks until released, to hold a connection busy.
struct Blocker {
    static std::mutex m;
    static std::condition_variable cv;
    static bool entered, release;
    static SQLRETURN Impl(HandleBase*) {
        std::unique_lock<std::mutex> l(m);
        entered = true;
        cv.notify_all();
        cv.wait(l, [] { return release; });
        return SQL_SUCCESS;
    }
    static void WaitEntered() {
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [] { return entered; });
    }
    static void Release() {
        std::lock_guard<std::mutex> l(m);
        release = true;
        cv.notify_all();
    }
    static void Reset() { entered = release = false; }
};
std::mutex Blocker::m;
std::condition_variable Blocker::cv;
bool Blocker::entered = false;
bool Blocker::release = false;
const ApiCall<> kBlockStmt = {"Block", "", 1, kApiStmt, Blocker::Impl};
const ApiCall<> kBlockConn = {"Block", "", 1, kApiConn, Blocker::Impl};

TEST(Gateway, BusyConnectionGivesS1010ToOthersAndStillExecutingToTheSameStatement) {
    ConnectedPair p;
    SQLHSTMT s1 = p.stmt(), s2 = p.stmt();
    Blocker::Reset();
    std::thread t([&] { EXPECT_EQ(SQL_SUCCESS, CallODBC(kBlockStmt, s1)); });
    Blocker::WaitEntered();
    EXPECT_EQ(SQL_STILL_EXECUTING, SQLFreeStmt(s1, SQL_CLOSE));
    EXPECT_EQ(SQL_ERROR, SQLFreeStmt(s2, SQL_CLOSE));
    EXPECT_EQ(22u, StmtOf(s2)->lastError.load());
    // Reading that answer while the connection is still busy is refused without replacing it,
    // on the busy statement itself too.
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    StmtOf(s2)->lastError = 43;
    EXPECT_EQ(SQL_ERROR, SQLGetDiagRec(SQL_HANDLE_STMT, s2, 1, state, &native, nullptr, 0, &len));
    EXPECT_EQ(SQL_ERROR, SQLGetDiagField(SQL_HANDLE_STMT, s1, 0, SQL_DIAG_NUMBER, &native, 0, nullptr));
    EXPECT_EQ(43u, StmtOf(s2)->lastError.load());
    EXPECT_EQ(SQL_ERROR, SQLGetDiagRec(SQL_HANDLE_DBC, p.dbc, 1, state, &native, nullptr, 0, &len));
    EXPECT_EQ(0u, ConnOf(p.dbc)->lastError.load());
    StmtOf(s2)->lastError = 22;
    EXPECT_EQ(SQL_ERROR, SQLDisconnect(p.dbc));
    EXPECT_EQ(22u, ConnOf(p.dbc)->lastError.load());
    EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_ENV, p.env));  // a connection is busy
    EXPECT_EQ(22u, EnvOf(p.env)->lastError.load());
    // SQLCancel reaches the busy statement around the gateway.
    EXPECT_EQ(SQL_SUCCESS, SQLCancel(s1));
    Blocker::Release();
    t.join();
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(s2, SQL_CLOSE));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(s1, SQL_CLOSE));
}

TEST(Gateway, BusyDescriptorAndConnectionMarkers) {
    ConnectedPair p;
    SQLHDESC d = SQL_NULL_HDESC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, p.dbc, &d));
    Blocker::Reset();
    std::thread t([&] { EXPECT_EQ(SQL_SUCCESS, CallODBC(kBlockConn, p.dbc)); });
    Blocker::WaitEntered();
    EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_DESC, d));
    EXPECT_EQ(22u, DescOf(d)->lastError.load());
    EXPECT_EQ(SQL_ERROR, SQLDisconnect(p.dbc));  // the connection itself: S1010, not still executing
    Blocker::Release();
    t.join();
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, d));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DESC, d));
}

TEST(Gateway, CancelOnAnIdleStatementClosesItWithInfo) {
    ConnectedPair p;
    SQLHSTMT s = p.stmt();
    StmtOf(s)->state = 2;
    StmtOf(s)->needData = 7;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLCancel(s));
    EXPECT_EQ(79u, StmtOf(s)->lastError.load());
    EXPECT_EQ(1u, StmtOf(s)->state);
    EXPECT_EQ(0, StmtOf(s)->needData);
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLCancel(p.dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLCancel(nullptr));
}

TEST(Gateway, ConnectionFreedDuringItsCallIsReleasedAfterIt) {
    SQLHENV env;
    SQLHDBC dbc;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    ConnOf(dbc)->failover = [](int, void*, int) { ADD_FAILURE() << "no failover on free"; };
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc));  // ASan reports any use after release
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLDisconnect(dbc));
    EXPECT_EQ(nullptr, EnvOf(env)->conns);
    EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(env));
}

int g_events[2];
void* g_eventArg;
void FailoverSpy(int event, void* arg, int) {
    g_events[event - 16]++;
    g_eventArg = arg;
}

TEST(Gateway, FailoverNotificationTurnsCodesIntoResults) {
    ConnectedPair p;
    ConnRecord* c = ConnOf(p.dbc);
    c->failover = FailoverSpy;
    int marker = 0;
    c->failoverArg = &marker;
    static uint32_t code;
    static const char* msgs[2];
    static const ApiCall<> failing = {"Failing", "", 1, kApiConn, [](HandleBase* h) -> SQLRETURN {
                                          h->lastError = code;
                                          for (const char* m : msgs)
                                              if (m) DiagPost(h, m, 0);
                                          return SQL_ERROR;
                                      }};
    memset(g_events, 0, sizeof g_events);
    code = 183;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, CallODBC(failing, p.dbc));
    code = 184;
    EXPECT_EQ(SQL_ERROR, CallODBC(failing, p.dbc));
    EXPECT_EQ(1, g_events[0]);
    EXPECT_EQ(1, g_events[1]);
    EXPECT_EQ(&marker, g_eventArg);
    // Found in the messages (at least two records): completed still reports an error.
    code = 15;
    msgs[0] = "[IngresII Server]first";
    msgs[1] = "[IngresII Server]Failover completed.";
    EXPECT_EQ(SQL_ERROR, CallODBC(failing, p.dbc));
    EXPECT_EQ(2, g_events[0]);
    msgs[1] = nullptr;  // a single record is not scanned
    msgs[0] = "Failover aborted.";
    EXPECT_EQ(SQL_ERROR, CallODBC(failing, p.dbc));
    EXPECT_EQ(1, g_events[1]);
    msgs[0] = nullptr;
    c->failover = nullptr;
}

std::string g_box;
unsigned g_boxFlags;
int CaptureBox(const char* caption, const char* text, unsigned flags) {
    g_box = std::string(caption) + "|" + text;
    g_boxFlags = flags;
    return 1;
}

TEST(Startup, RefusedLoadShowsString202AndEveryCallFails) {
    SetMessageBoxHook(CaptureBox);
    DriverShutdown();
    SetSystemVersionWordForTest(0x80000003u);  // a 16-bit-based system, major 3
    EXPECT_EQ(0, DriverStartup(nullptr));
    EXPECT_EQ("Corvanta ODBC|The Corvanta ODBC driver requires Win32.", g_box);
    EXPECT_EQ(48u, g_boxFlags);
    SQLHENV env = nullptr;
    EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env));
    EXPECT_EQ(nullptr, env);
    EXPECT_EQ(SQL_ERROR, SQLAllocEnv(&env));
    EXPECT_EQ(SQL_ERROR, SQLCancel(reinterpret_cast<SQLHSTMT>(0x30000)));
    EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_ENV, reinterpret_cast<SQLHENV>(0x10000), SQL_COMMIT));
    // Boxes switched off by the owner setting show nothing.
    g_box.clear();
    g_MsgBoxOwner = 0;
    EXPECT_EQ(0, DriverStartup(nullptr));
    EXPECT_EQ("", g_box);
    g_MsgBoxOwner = -2;
    SetSystemVersionWordForTest(0x80000004u);  // major 4 passes
    EXPECT_EQ(1, DriverStartup(nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLAllocEnv(&env));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(env));
    SetSystemVersionWordForTest(0);
    SetMessageBoxHook(nullptr);
}

TEST(Startup, ShutdownFreesEnvironmentsAndRestartGivesFreshTables) {
    SQLHENV env;
    SQLHDBC dbc;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    DriverShutdown();
    EXPECT_EQ(nullptr, g_EnvList);
    EXPECT_EQ(SQL_ERROR, SQLFreeHandle(SQL_HANDLE_ENV, env));
    ASSERT_EQ(1, DriverStartup(nullptr));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(5, g_EnvTable.capacity);
}

TEST(Startup, ShutdownDuringACallStopsTheDriverButLeavesThatEnvironment) {
    ConnectedPair p;
    SQLHSTMT s = p.stmt();
    Blocker::Reset();
    std::thread t([&] { EXPECT_EQ(SQL_SUCCESS, CallODBC(kBlockStmt, s)); });
    Blocker::WaitEntered();
    DriverShutdown();
    EXPECT_NE(nullptr, g_EnvList);
    EXPECT_EQ(SQL_ERROR, SQLFreeStmt(s, SQL_CLOSE));  // stopped
    Blocker::Release();
    t.join();
    ASSERT_EQ(1, DriverStartup(nullptr));  // leftovers are released now
    EXPECT_EQ(nullptr, g_EnvList);
    p.env = nullptr;
}

TEST(Startup, SetupExports) {
    char buf[300];
    EXPECT_EQ(1, GetSetupRegistry(buf, sizeof buf));
    EXPECT_STREQ("SOFTWARE\\Corvanta Software\\Corvanta Ingres ODBC Driver", buf);
    EXPECT_EQ(1, GetSetupRegistry(buf, 10));
    EXPECT_STREQ("SOFTWARE\\", buf);
    EXPECT_EQ(1, GetSetupDatabase(buf, 9));
    EXPECT_STREQ("Corvanta", buf);
}

}  // namespace
