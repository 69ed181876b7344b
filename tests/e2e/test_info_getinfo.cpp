// SQLGetInfo and SQLGetInfoW of both builds: through unixODBC on an open connection, and by
// loading the library directly for the answers that need no connection.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "connect_fixture.h"

namespace connecttest {
namespace {

SQLCHAR* T(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

size_t Occurrences(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

class InfoThroughDriverManager : public ConnectThroughDriverManager {
protected:
    std::string tracePath;
    void Open() {
        ASSERT_EQ(SQL_SUCCESS, SQLConnect(dbc, T(Dsn()), SQL_NTS, T(kUser), SQL_NTS, T(kPassword), SQL_NTS));
    }
    // The driver opens its debug trace when it is loaded, which is at the connect.
    void TraceToFile() {
        tracePath = ::testing::TempDir() + "tv_info_trace_" + std::to_string(getpid()) + ".log";
        setenv("KIV_DEBUGFILE", tracePath.c_str(), 1);
    }
    void TearDown() override {
        ConnectThroughDriverManager::TearDown();
        dbc = SQL_NULL_HDBC;
        env = SQL_NULL_HENV;
        if (!tracePath.empty()) {
            unsetenv("KIV_DEBUGFILE");
            unlink(tracePath.c_str());
        }
    }
    size_t AgentAsked(unsigned type) {
        return Occurrences(ReadFile(tracePath), "GetInfo: agent asked for type " + std::to_string(type) + "\n");
    }
    std::string Text(SQLUSMALLINT type) {
        char buf[512] = {};
        SQLSMALLINT len = -1;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, type, buf, sizeof buf, &len)) << type;
        EXPECT_EQ(SQLSMALLINT(strlen(buf)), len) << type;
        return buf;
    }
    std::string TextW(SQLUSMALLINT type) {
        SQLWCHAR buf[512] = {};
        SQLSMALLINT len = -1;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, type, buf, sizeof buf, &len)) << type;
        std::string s = Narrow(buf);
        EXPECT_EQ(SQLSMALLINT(2 * s.size()), len) << type;
        return s;
    }
    SQLUINTEGER U32(SQLUSMALLINT type) {
        SQLUINTEGER v = 0xA5A5A5A5;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, type, &v, 0, nullptr)) << type;
        return v;
    }
    SQLUSMALLINT U16(SQLUSMALLINT type) {
        SQLUSMALLINT v[2] = {0xA5A5, 0xA5A5};
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, type, v, sizeof v, &len)) << type;
        EXPECT_EQ(2, len) << type;
        EXPECT_EQ(0xA5A5, v[1]) << type;
        return v[0];
    }
};

TEST_P(InfoThroughDriverManager, AnswersOfAnOpenConnection) {
    Open();
    EXPECT_EQ("INGRES", Text(SQL_DBMS_NAME));
    EXPECT_EQ("Ingres II", Text(SQL_SERVER_NAME));
    EXPECT_EQ("Stored Procedure", Text(SQL_PROCEDURE_TERM));
    EXPECT_EQ("\"", Text(SQL_IDENTIFIER_QUOTE_CHAR));
    EXPECT_EQ("tvuser", Text(SQL_USER_NAME));
    EXPECT_EQ(Dsn(), Text(SQL_DATA_SOURCE_NAME));
    EXPECT_EQ(Dsn(), Text(SQL_DATABASE_NAME));
    EXPECT_EQ(0x791255u, U32(SQL_STRING_FUNCTIONS));
    EXPECT_EQ(127u, U32(SQL_OJ_CAPABILITIES));
    EXPECT_EQ(3u, U32(SQL_DTC_TRANSITION_COST));
    EXPECT_EQ(32, U16(SQL_MAX_COLUMN_NAME_LEN));
    EXPECT_EQ(SQL_TC_DML, U16(SQL_TXN_CAPABLE));
    EXPECT_EQ(SQL_OAC_LEVEL1, U16(SQL_ODBC_API_CONFORMANCE));
}

// A database without catalogs, as ODBC has it answered.
TEST_P(InfoThroughDriverManager, NoCatalogsAnywhere) {
    Open();
    EXPECT_EQ("N", Text(SQL_CATALOG_NAME));
    EXPECT_EQ("", Text(SQL_CATALOG_NAME_SEPARATOR));
    EXPECT_EQ("", Text(SQL_CATALOG_TERM));
    EXPECT_EQ(0u, U32(SQL_CATALOG_USAGE));
    EXPECT_EQ(0, U16(SQL_CATALOG_LOCATION));
}

// Forward-only, static, keyset-driven, mixed and dynamic cursors are built, row operations on
// static, keyset-driven and mixed ones (dynamic cursors read only), and only they are advertised.
TEST_P(InfoThroughDriverManager, CursorCapabilitiesAreThoseBuilt) {
    Open();
    EXPECT_EQ(SQLUINTEGER(SQL_SO_FORWARD_ONLY | SQL_SO_KEYSET_DRIVEN | SQL_SO_MIXED | SQL_SO_DYNAMIC | SQL_SO_STATIC),
              U32(SQL_SCROLL_OPTIONS));
    EXPECT_EQ(SQLUINTEGER(SQL_SCCO_READ_ONLY | SQL_SCCO_LOCK | SQL_SCCO_OPT_VALUES), U32(SQL_SCROLL_CONCURRENCY));
    const SQLUINTEGER setPos =
        SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE | SQL_CA1_POS_REFRESH;
    const SQLUINTEGER bulk = SQL_CA1_BULK_ADD | SQL_CA1_BULK_UPDATE_BY_BOOKMARK | SQL_CA1_BULK_DELETE_BY_BOOKMARK |
                             SQL_CA1_BULK_FETCH_BY_BOOKMARK;
    EXPECT_EQ(SQLUINTEGER(SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK) | setPos | bulk,
              U32(SQL_KEYSET_CURSOR_ATTRIBUTES1));
    EXPECT_EQ(SQLUINTEGER(SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY |
                          SQL_CA2_SENSITIVITY_DELETIONS | SQL_CA2_SENSITIVITY_UPDATES | SQL_CA2_MAX_ROWS_SELECT |
                          SQL_CA2_SIMULATE_NON_UNIQUE),
              U32(SQL_KEYSET_CURSOR_ATTRIBUTES2));
    // Dynamic cursors: no row numbers to fetch by, so no bookmarks and no bulk operations;
    // SQLSetPos; others' additions, deletions and updates show.
    EXPECT_EQ(SQLUINTEGER(SQL_CA1_NEXT | SQL_CA1_RELATIVE) | setPos, U32(SQL_DYNAMIC_CURSOR_ATTRIBUTES1));
    EXPECT_EQ(SQLUINTEGER(SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY |
                          SQL_CA2_SENSITIVITY_ADDITIONS | SQL_CA2_SENSITIVITY_DELETIONS | SQL_CA2_SENSITIVITY_UPDATES |
                          SQL_CA2_SIMULATE_NON_UNIQUE),
              U32(SQL_DYNAMIC_CURSOR_ATTRIBUTES2));
    for (SQLUSMALLINT none : {SQLUSMALLINT(SQL_POSITIONED_STATEMENTS)}) EXPECT_EQ(0u, U32(none)) << none;
    EXPECT_EQ(SQLUINTEGER(SQL_POS_POSITION | SQL_POS_REFRESH | SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD),
              U32(SQL_POS_OPERATIONS));
    EXPECT_EQ(SQLUINTEGER(SQL_LCK_NO_CHANGE), U32(SQL_LOCK_TYPES));
    EXPECT_EQ(SQLUINTEGER(SQL_SS_DELETIONS | SQL_SS_UPDATES), U32(SQL_STATIC_SENSITIVITY));
    EXPECT_EQ(SQLUINTEGER(SQL_CA1_NEXT), U32(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1));
    EXPECT_EQ(SQLUINTEGER(SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK) | setPos | bulk,
              U32(SQL_STATIC_CURSOR_ATTRIBUTES1));
    EXPECT_EQ(SQLUINTEGER(SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY |
                          SQL_CA2_MAX_ROWS_SELECT | SQL_CA2_CRC_EXACT | SQL_CA2_SIMULATE_NON_UNIQUE),
              U32(SQL_STATIC_CURSOR_ATTRIBUTES2));
    const SQLUINTEGER forward2 = U32(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2);
    EXPECT_TRUE(forward2 & SQL_CA2_READ_ONLY_CONCURRENCY);
    EXPECT_EQ(0u,
              forward2 & (SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_ROWVER_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY |
                          SQL_CA2_SIMULATE_NON_UNIQUE | SQL_CA2_SIMULATE_TRY_UNIQUE | SQL_CA2_SIMULATE_UNIQUE));
    // The row operations are offered as functions too.
    SQLUSMALLINT exists = 7;
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_SQLSETPOS, &exists));
    EXPECT_EQ(SQL_TRUE, exists);
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_SQLBULKOPERATIONS, &exists));
    EXPECT_EQ(SQL_TRUE, exists);
}

// The operator table speaks of date and time types by their ODBC 2 codes; an ODBC 3
// application must get the same conversions.
TEST_P(InfoThroughDriverManager, DateTimeConversionsForOdbc3) {
    Open();
    const SQLUINTEGER text = SQL_CVT_CHAR | SQL_CVT_VARCHAR | SQL_CVT_LONGVARCHAR;
    EXPECT_EQ(text | SQL_CVT_DATE | SQL_CVT_TIMESTAMP, U32(SQL_CONVERT_DATE) & 0xFFFFF);
    EXPECT_EQ(text | SQL_CVT_TIME | SQL_CVT_TIMESTAMP, U32(SQL_CONVERT_TIME) & 0xFFFFF);
    EXPECT_EQ(text | SQL_CVT_DATE | SQL_CVT_TIME | SQL_CVT_TIMESTAMP, U32(SQL_CONVERT_TIMESTAMP) & 0xFFFFF);
}

TEST_P(InfoThroughDriverManager, WideCallsCountBytes) {
    Open();
    EXPECT_EQ("INGRES", TextW(SQL_DBMS_NAME));
    EXPECT_EQ("Owner", TextW(SQL_SCHEMA_TERM));
    EXPECT_EQ(Dsn(), TextW(SQL_DATA_SOURCE_NAME));
    // For a narrow driver the Driver Manager converts into the application's buffer past its
    // end when the text does not fit, so the cut is tried on the wide build alone.
    if (!GetParam().wide) return;
    SQLWCHAR small[4];
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfoW(dbc, SQL_PROCEDURE_TERM, small, sizeof small, &len));
    EXPECT_EQ("Sto", Narrow(small));
    EXPECT_EQ(32, len);
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "01004"));
}

TEST_P(InfoThroughDriverManager, TruncatedTextKeepsTheFullLength) {
    // A narrow call on the wide build is converted by the Driver Manager, which leaves a cut text
    // unterminated; the narrow build shows the driver's own cut.
    if (GetParam().wide) GTEST_SKIP() << "cut text converted by the Driver Manager";
    Open();
    char small[6];
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfo(dbc, SQL_PROCEDURE_TERM, small, sizeof small, &len));
    EXPECT_STREQ("Store", small);
    EXPECT_EQ(16, len);
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "01004"));
}

TEST_P(InfoThroughDriverManager, UnknownTypeOfAnOpenConnection) {
    Open();
    char buf[64];
    EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, 200, buf, sizeof buf, nullptr));
    EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "HY096"));
}

TEST_P(InfoThroughDriverManager, EachAgentAnswerReachesTheAgentOncePerConnection) {
    TraceToFile();
    Open();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ("INGRES", Text(SQL_DBMS_NAME));
        EXPECT_EQ(0x791255u, U32(SQL_STRING_FUNCTIONS));
        EXPECT_EQ(Dsn(), Text(SQL_DATABASE_NAME));
    }
    EXPECT_EQ("INGRES", TextW(SQL_DBMS_NAME));
    EXPECT_EQ(1u, AgentAsked(SQL_DBMS_NAME));
    EXPECT_EQ(1u, AgentAsked(SQL_STRING_FUNCTIONS));
    EXPECT_EQ(3u, AgentAsked(SQL_DATABASE_NAME));
    // A connection opened again asks afresh. A second connection keeps the driver loaded, so
    // its trace goes on in the same file.
    SQLHDBC other = SQL_NULL_HDBC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &other));
    ASSERT_EQ(SQL_SUCCESS, SQLConnect(other, T(Dsn()), SQL_NTS, T(kUser), SQL_NTS, T(kPassword), SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
    Open();
    EXPECT_EQ("INGRES", Text(SQL_DBMS_NAME));
    EXPECT_EQ("INGRES", Text(SQL_DBMS_NAME));
    EXPECT_EQ(2u, AgentAsked(SQL_DBMS_NAME));
    EXPECT_EQ(1u, AgentAsked(SQL_STRING_FUNCTIONS));
    SQLDisconnect(other);
    SQLFreeHandle(SQL_HANDLE_DBC, other);
}

INSTANTIATE_TEST_SUITE_P(Builds, InfoThroughDriverManager, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

// The Driver Manager answers SQLGetInfo itself before a connection exists; loaded directly, the
// driver shows what it answers without one.
using AllocHandleFn = SQLRETURN(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using FreeHandleFn = SQLRETURN(SQLSMALLINT, SQLHANDLE);
using GetInfoFn = SQLRETURN(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);
using GetDiagRecFn = SQLRETURN(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR*, SQLINTEGER*, SQLCHAR*, SQLSMALLINT,
                               SQLSMALLINT*);

class InfoWithoutAConnection : public ::testing::TestWithParam<DriverBuild> {
protected:
    void* lib = nullptr;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    GetInfoFn* getInfo = nullptr;
    void SetUp() override {
        lib = dlopen(LibraryPath(GetParam()).c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, lib) << dlerror();
        auto* alloc = reinterpret_cast<AllocHandleFn*>(dlsym(lib, "SQLAllocHandle"));
        getInfo = reinterpret_cast<GetInfoFn*>(dlsym(lib, GetParam().wide ? "SQLGetInfoW" : "SQLGetInfo"));
        ASSERT_TRUE(alloc && getInfo);
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    }
    void TearDown() override {
        if (lib) {
            if (env) reinterpret_cast<FreeHandleFn*>(dlsym(lib, "SQLFreeHandle"))(SQL_HANDLE_ENV, env);
            dlclose(lib);
        }
    }
    std::string State() {
        auto* diag = reinterpret_cast<GetDiagRecFn*>(dlsym(lib, GetParam().wide ? "SQLGetDiagRecW" : "SQLGetDiagRec"));
        if (GetParam().wide) {
            SQLWCHAR state[6] = {}, msg[256];
            SQLINTEGER native;
            SQLSMALLINT len;
            diag(SQL_HANDLE_DBC, dbc, 1, reinterpret_cast<SQLCHAR*>(state), &native, reinterpret_cast<SQLCHAR*>(msg),
                 256, &len);
            return Narrow(state);
        }
        SQLCHAR state[6] = {}, msg[256];
        SQLINTEGER native;
        SQLSMALLINT len;
        diag(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, sizeof msg, &len);
        return reinterpret_cast<char*>(state);
    }
};

TEST_P(InfoWithoutAConnection, DriverAnswersAndRefusals) {
    char buf[64] = {};
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS, getInfo(dbc, SQL_DRIVER_ODBC_VER, buf, sizeof buf, &len));
    if (GetParam().wide) {
        EXPECT_EQ("03.50", Narrow(reinterpret_cast<SQLWCHAR*>(buf)));
        EXPECT_EQ(10, len);
    } else {
        EXPECT_STREQ("03.50", buf);
        EXPECT_EQ(5, len);
    }
    SQLUINTEGER v = 0;
    ASSERT_EQ(SQL_SUCCESS, getInfo(dbc, SQL_CONVERT_INTEGER, &v, 0, nullptr));
    EXPECT_EQ(GetParam().wide ? 0x00E073FFu : 0x000073FFu, v);
    EXPECT_EQ(SQL_ERROR, getInfo(dbc, SQL_DBMS_NAME, buf, sizeof buf, &len));
    EXPECT_EQ("08003", State());
    EXPECT_EQ(SQL_ERROR, getInfo(dbc, 200, buf, sizeof buf, &len));
    EXPECT_EQ("08003", State());
}

INSTANTIATE_TEST_SUITE_P(Builds, InfoWithoutAConnection, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace connecttest
