// The connection record in-process: opening on the agent over the embedded engine, the
// capability words, attributes set before connecting, disconnect and transaction end.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/temp_dirs_fixture.h"
#include "drv_ingii/i-glob.h"
#include "iiapi/iiapi.h"
#include "odbc/conn.h"
#include "odbc/diag.h"
#include "odbc/gateway.h"
#include "odbc/globals.h"

namespace {

std::string& TempDir() {
    static std::string dir;
    return dir;
}

// A private data directory with the test's databases, and an empty odbc.ini so no configuration
// of the machine reaches the keyword merge.
// The files and the login script are set again for every test: a suite before may have
// written others.
void Prepare() {
    static const bool done = [] {
        TempDir() = tvtest::EngineDataDir("connopen-");
        return tvtest::CreateDatabase("codb") && tvtest::CreateDatabase("Default");
    }();
    ASSERT_TRUE(done);
    tvtest::UsePrivateIni("");
    setenv("KIV_LOGIN_SCRIPT", "CANCEL", 1);
}

ConnRecord* ConnOf(SQLHDBC h) {
    uint32_t n = 0;
    if (!HandleNumber(h, &n)) return nullptr;
    return static_cast<ConnRecord*>(HandleTableGet(&g_ConnTable, n));
}

std::string AllDiagText(HandleBase* h) {
    std::string all;
    for (const DiagRecord* r = h->diags.head; r; r = r->next) all += std::string(r->text) + "\n";
    return all;
}

class ConnOpenTest : public ::testing::Test {
protected:
    SQLHENV henv = SQL_NULL_HENV;
    SQLHDBC hdbc = SQL_NULL_HDBC;
    ConnRecord* conn = nullptr;
    IngDsnSettings settings{};  // the data source's settings each ConnOpen hands the agent

    void SetUp() override {
        Prepare();
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &henv));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetEnvAttr(henv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, henv, &hdbc));
        conn = ConnOf(hdbc);
        ASSERT_NE(nullptr, conn);
    }
    void TearDown() override {
        if (henv) SQLFreeHandle(SQL_HANDLE_ENV, henv);  // disconnects and frees its connections
        EXPECT_EQ(0u, IngServerRefCount());
    }
    void Database(const char* name) {
        free(conn->dsn);
        conn->dsn = name ? strdup(name) : nullptr;
    }
    IngConn* Agent() const { return IngConnFind(conn->agentConn); }
    SQLRETURN DriverConnect(const char* text) {
        SQLCHAR out[512];
        SQLSMALLINT len = 0;
        return SQLDriverConnect(hdbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)), SQL_NTS, out,
                                sizeof out, &len, SQL_DRIVER_NOPROMPT);
    }
};

TEST(ConnServerAddress, PortJoinsTheHostOnlyWhenItIsAValidNumber) {
    struct {
        const char* host;
        const char* port;
        std::string expected;
    } rows[] = {
        {"db1", "1521", "db1:1521"}, {"db1", "65535", "db1:65535"},
        {"db1", "1", "db1:1"},       {"db1", "0", "db1"},
        {"db1", "70000", "db1"},     {"db1", "ab", "db1"},
        {"db1", "15x", "db1"},       {"db1", "", "db1"},
        {"db1", nullptr, "db1"},     {"db1", "-1", "db1"},
        {nullptr, nullptr, ""},      {"db1", "99999999999999999999", "db1"},
    };
    for (const auto& r : rows) EXPECT_EQ(r.expected, ConnServerAddress(r.host, r.port)) << (r.port ? r.port : "null");
    std::string longHost(251, 'h');
    EXPECT_EQ(longHost, ConnServerAddress(longHost.c_str(), "1521"));  // 251 + 4 is not below 255
    std::string shorter(250, 'h');
    EXPECT_EQ(shorter + ":1521", ConnServerAddress(shorter.c_str(), "1521"));
}

TEST_F(ConnOpenTest, ConnectParametersFromTheRecord) {
    IngConnectParams p{};
    std::string address;
    ConnConnectParams(conn, p, address);
    EXPECT_STREQ("Default", p.database);  // no data-source name
    EXPECT_STREQ("", p.user);
    EXPECT_STREQ("", p.password);
    EXPECT_EQ(nullptr, p.serverAddress);
    EXPECT_EQ(99, p.timeout);  // the default login timeout of 120
    EXPECT_EQ(0u, p.readOnly);

    Database("codb");
    conn->user = strdup("u1");
    conn->password = strdup("p1");
    conn->options = strdup(" -Gg");
    conn->host = strdup("db1");
    conn->port = strdup("1521");
    conn->loginTimeout = 5;
    conn->flags |= kConnFlagAccessReadOnly;
    ConnConnectParams(conn, p, address);
    EXPECT_STREQ("codb", p.database);
    EXPECT_STREQ("u1", p.user);
    EXPECT_STREQ("p1", p.password);
    EXPECT_STREQ(" -Gg", p.options);
    EXPECT_STREQ("db1:1521", p.serverAddress);
    EXPECT_EQ(99, p.timeout);
    EXPECT_EQ(1u, p.readOnly);
    conn->loginTimeout = 0;
    free(conn->port);
    conn->port = strdup("70000");
    ConnConnectParams(conn, p, address);
    EXPECT_EQ(0, p.timeout);
    EXPECT_STREQ("db1", p.serverAddress);
}

TEST_F(ConnOpenTest, NewRecordStartsAllocatedWithItsDefaults) {
    EXPECT_EQ(kTagConn, conn->tag);
    EXPECT_EQ(1u, conn->state);
    EXPECT_EQ(kConnFlagAutocommit, conn->flags);
    EXPECT_EQ(120u, conn->loginTimeout);
    EXPECT_EQ(1u, conn->cursorDefaults.rowsetSize);
    EXPECT_EQ(0u, conn->cursorDefaults.keysetSize);
    EXPECT_EQ(0u, conn->cursorDefaults.cursorType);
    EXPECT_EQ(1u, conn->cursorDefaults.concurrency);
    EXPECT_EQ(-1, conn->infoCache.i32[0]);
    EXPECT_EQ(nullptr, conn->infoCache.str[0]);
}

TEST_F(ConnOpenTest, CapabilityMaskSetsTheWordsAndAutocommit) {
    ConnApplyCapabilityMask(conn, 0x2101);
    EXPECT_EQ(1u, conn->needBind);
    EXPECT_EQ(1u, conn->capXa);
    EXPECT_TRUE(conn->flags & kConnFlagAutocommit);
    for (uint32_t w : {conn->hasMoreRes, conn->hasParamOp, conn->hasScrlCurs, conn->hasDynMixCurs, conn->hasV2DAE,
                       conn->spOutDeferFetch, conn->hasExecute2, conn->capFailover, conn->capConvInfo,
                       conn->capDescribeWithAttrs, conn->capNamedParams, conn->capMaxLength})
        EXPECT_EQ(0u, w);
    ConnApplyCapabilityMask(conn, 0x1E00 | 0x4000 | 0x80 | 0x40);
    EXPECT_FALSE(conn->flags & kConnFlagAutocommit);
    EXPECT_EQ(0u, conn->needBind);
    EXPECT_EQ(1u, conn->hasExecute2);      // bit 7
    EXPECT_EQ(1u, conn->spOutDeferFetch);  // bit 6
    EXPECT_EQ(1u, conn->capFailover);
    EXPECT_EQ(1u, conn->capConvInfo);
    for (uint32_t w : {conn->capDescribeWithAttrs, conn->capNamedParams, conn->capMaxLength}) EXPECT_EQ(1u, w);
}

TEST_F(ConnOpenTest, OpensOnTheAgentAndDisconnects) {
    Database("codb");
    ConnOpen(conn, 'A', &settings);
    ASSERT_EQ(2u, conn->state) << AllDiagText(conn);
    EXPECT_EQ(0u, conn->lastError);
    EXPECT_NE(0u, conn->agentServer);
    ASSERT_NE(nullptr, Agent());
    EXPECT_EQ(1u, conn->opTableKind);
    EXPECT_NE(nullptr, conn->opTableRows);
    EXPECT_NE(0u, conn->opTableCount);
    EXPECT_TRUE(conn->flags & kConnFlagAutocommit);
    EXPECT_EQ(1u, conn->needBind);   // the agent reports it in its mask
    EXPECT_NE(0u, conn->isolation);  // read back from the agent
    EXPECT_EQ(3u, Agent()->odbcVersion);
    EXPECT_EQ(nullptr, conn->marker);

    ConnOpen(conn, 'A', &settings);  // already open
    EXPECT_EQ(22u, conn->lastError);
    EXPECT_EQ(2u, conn->state);

    EXPECT_EQ(0u, ConnDisconnect(conn));
    EXPECT_EQ(1u, conn->state);
    EXPECT_EQ(0u, conn->agentServer);
    EXPECT_EQ(0u, conn->agentConn);
    EXPECT_EQ(0u, conn->opTableKind);
    EXPECT_EQ(0u, IngServerRefCount());
}

TEST_F(ConnOpenTest, WideOpenPutsTheUnicodeMarkFirst) {
    Database("codb");
    ConnOpen(conn, 'W', &settings);
    ASSERT_NE(nullptr, conn->marker);
    EXPECT_EQ(0, std::memcmp(conn->marker, "W\x7F\x01\x01", 4));
    EXPECT_EQ(4u, std::strlen(conn->marker));
    if (conn->state == 2) {
        EXPECT_EQ(0u, ConnDisconnect(conn));
    }
}

TEST_F(ConnOpenTest, MissingDatabaseLeavesTheRecordAllocatedWithTheReasons) {
    Database("nosuchdb");
    ConnOpen(conn, 'A', &settings);
    EXPECT_EQ(1u, conn->state);
    EXPECT_NE(0u, conn->lastError);
    EXPECT_EQ(0u, conn->agentServer);
    EXPECT_EQ(0u, conn->agentConn);
    // The engine's own reason first, the driver's record, a failed connect (08001), last.
    std::string text = AllDiagText(conn);
    EXPECT_EQ(0u, text.find("[IngresII Server]Database 'nosuchdb' does not exist")) << text;
    EXPECT_NE(std::string::npos, text.find("[SQLSTATE:08004]\n")) << text;
    const std::string last = "Unable to allocate connection handle[SQLSTATE:08001]\n";
    ASSERT_GE(text.size(), last.size()) << text;
    EXPECT_EQ(last, text.substr(text.size() - last.size())) << text;
    EXPECT_EQ(2u, DiagCount(conn)) << text;
    EXPECT_EQ(0u, IngServerRefCount());
}

TEST_F(ConnOpenTest, AbsentDataSourceNameOpensTheDefaultDatabase) {
    Database(nullptr);
    ConnOpen(conn, 'A', &settings);
    EXPECT_EQ(2u, conn->state) << AllDiagText(conn);
}

TEST_F(ConnOpenTest, AutocommitSetBeforeConnectingSurvivesTheAgentsDefault) {
    Database("codb");
    ConnSetAutocommit(conn, false);
    ConnOpen(conn, 'A', &settings);
    ASSERT_EQ(2u, conn->state);
    EXPECT_FALSE(conn->flags & kConnFlagAutocommit);
    EXPECT_EQ(0u, Agent()->autocommit);
    ASSERT_EQ(0u, ConnDisconnect(conn));

    // And the other way round: on, against a data source that asks for no autocommit.
    ConnSetAutocommit(conn, true);
    settings.noAutoCommit = 1;
    ConnOpen(conn, 'A', &settings);
    ASSERT_EQ(2u, conn->state);
    EXPECT_TRUE(conn->flags & kConnFlagAutocommit);
    EXPECT_EQ(1u, Agent()->autocommit);
}

TEST_F(ConnOpenTest, WithoutTheApplicationsChoiceTheDataSourceDecidesAutocommit) {
    Database("codb");
    settings.noAutoCommit = 1;
    ConnOpen(conn, 'A', &settings);
    ASSERT_EQ(2u, conn->state);
    EXPECT_FALSE(conn->flags & kConnFlagAutocommit);
    EXPECT_EQ(0u, Agent()->autocommit);
}

TEST_F(ConnOpenTest, DriverConnectKeepsTheApplicationsAccessModeAndAutocommit) {
    ConnSetReadOnly(conn, true);
    ConnSetAutocommit(conn, false);
    conn->flags |= kConnFlagAsync;
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=codb;UID=;PWD=;NOAC=no"));
    EXPECT_TRUE(conn->flags & kConnFlagAccessReadOnly);
    EXPECT_FALSE(conn->flags & kConnFlagAutocommit);
    EXPECT_TRUE(conn->flags & kConnFlagAsync);
    ASSERT_NE(nullptr, Agent());
    EXPECT_EQ(1u, Agent()->readOnly);
    EXPECT_EQ(0u, Agent()->autocommit);
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(hdbc));

    // The application's "read-write" beats READONLY of the connection string too.
    ConnSetReadOnly(conn, false);
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=codb;UID=;PWD=;READONLY=yes"));
    EXPECT_FALSE(conn->flags & kConnFlagAccessReadOnly);
    EXPECT_EQ(0u, Agent()->readOnly);
}

TEST_F(ConnOpenTest, DriverConnectAloneTakesTheKeywords) {
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=codb;UID=;PWD=;READONLY=TRUE;IV=yes;FBS=250;GROUP=g;ROLENAME=r"));
    EXPECT_TRUE(conn->flags & kConnFlagAccessReadOnly);
    EXPECT_TRUE(conn->flags & 0x100);
    EXPECT_FALSE(conn->flags & 0x200);
    EXPECT_TRUE(conn->flags & kConnFlagAutocommit);
    EXPECT_EQ(250u, conn->fetchSize);
    EXPECT_STREQ("codb", conn->dsn);
    EXPECT_STREQ(" -Gg -Rr", conn->options);
    EXPECT_EQ(1u, Agent()->readOnly);
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(hdbc));
    // A later connect without them clears what the earlier one set.
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=codb;UID=;PWD="));
    EXPECT_FALSE(conn->flags & (kConnFlagAccessReadOnly | 0x100));
    EXPECT_STREQ("", conn->options);
    EXPECT_EQ(60u, conn->fetchSize);
}

TEST_F(ConnOpenTest, AgentSettingsComeFromTheConnectionString) {
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=codb;UID=;PWD=;JET=yes;MAXROWS=12;NRSSL=TRUE;DYN_CURS_SENSITIVITY=HIGH;"
                                         "SQLDBMSNAME=MYDB;RTRIMCHAR=yes"));
    IngConn* a = Agent();
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(1u, a->dsn.jet);
    EXPECT_EQ(12, a->dsn.maxRows);
    EXPECT_EQ(1u, a->dsn.noRowsetSizeLimit);
    EXPECT_EQ(1u, a->dsn.dynCursSensitivity);
    ASSERT_NE(nullptr, a->dsn.sqlDbmsName);
    EXPECT_STREQ("MYDB", a->dsn.sqlDbmsName);
    EXPECT_EQ(1u, a->dsn.rtrimChar);
    EXPECT_EQ(nullptr, a->dsn.initialSql);
}

TEST_F(ConnOpenTest, SecondConnectGives08002AndBadLengthsS1090) {
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=codb;UID=;PWD="));
    EXPECT_EQ(SQL_ERROR, DriverConnect("DSN=codb;UID=;PWD="));
    EXPECT_EQ(51u, conn->lastError);
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(hdbc));
    SQLCHAR dsn[] = "codb";
    EXPECT_EQ(SQL_ERROR, SQLConnect(hdbc, dsn, SQL_NTS, dsn, -5, dsn, SQL_NTS));
    EXPECT_EQ(25u, conn->lastError);
    EXPECT_EQ(1u, conn->state);
}

TEST_F(ConnOpenTest, DisconnectOfAnUnopenedConnectionIs08003) {
    EXPECT_EQ(SQL_ERROR, SQLDisconnect(hdbc));
    EXPECT_EQ(52u, conn->lastError);
    EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_COMMIT));
    EXPECT_EQ(52u, conn->lastError);
}

TEST_F(ConnOpenTest, EndTranThroughTheAgent) {
    ASSERT_EQ(SQL_SUCCESS, DriverConnect("DSN=codb;UID=;PWD="));
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_COMMIT));
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_ROLLBACK));
    EXPECT_EQ(SQL_ERROR, SQLEndTran(SQL_HANDLE_DBC, hdbc, 2));
    EXPECT_EQ(23u, conn->lastError);
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_ENV, henv, SQL_COMMIT));
    EXPECT_EQ(SQL_SUCCESS, SQLTransact(henv, SQL_NULL_HDBC, SQL_ROLLBACK));
    EXPECT_EQ(SQL_SUCCESS, SQLTransact(SQL_NULL_HENV, hdbc, SQL_COMMIT));
}

TEST_F(ConnOpenTest, ConnectWritesItsTraceLinesInOrder) {
    std::string path = TempDir() + "/trace.log";
    SQLFreeHandle(SQL_HANDLE_ENV, henv);
    henv = SQL_NULL_HENV;
    setenv("KIV_DEBUGFILE", path.c_str(), 1);
    DriverShutdown();
    ASSERT_EQ(1, DriverStartup(nullptr));
    SetUp();
    SQLCHAR dsn[] = "codb", empty[] = "";
    EXPECT_EQ(SQL_SUCCESS, SQLConnect(hdbc, dsn, SQL_NTS, empty, SQL_NTS, empty, SQL_NTS));
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, hdbc, SQL_ROLLBACK));
    SQLFreeHandle(SQL_HANDLE_ENV, henv);
    henv = SQL_NULL_HENV;
    DriverShutdown();
    unsetenv("KIV_DEBUGFILE");
    ASSERT_EQ(1, DriverStartup(nullptr));

    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t connect = text.find("DSN=codb;UID=;PWD=***");
    size_t keys = text.find("cn_dbpath=[] cn_dbopts=[] cn_readonly=0");
    size_t caps = text.find("cn_needbind=1");
    size_t autocommit = text.find("autocommit=1");
    size_t rollback = text.find("[Rollback]");
    EXPECT_NE(std::string::npos, connect) << text;
    EXPECT_LT(connect, keys) << text;
    EXPECT_LT(keys, caps) << text;
    EXPECT_LT(caps, autocommit) << text;
    EXPECT_LT(autocommit, rollback) << text;
    EXPECT_EQ(std::string::npos, text.find("PWD=secret"));
}

// Transaction end over a scripted agent: the commit of connection 2 fails.
uint32_t g_failingConn = 0;
int g_commits = 0;
ErrCode ScriptedCommit(uint32_t h) {
    ++g_commits;
    return ErrCode(h == g_failingConn ? 70u : 0u);
}
ErrCode ScriptedRollback(uint32_t) { return kErrNone; }

TEST_F(ConnOpenTest, EnvironmentEndTranReportsTheFailingConnectionAndKeepsEachOwnError) {
    static AgentFuncTable table{};
    table.DRV_Commit = ScriptedCommit;
    table.DRV_Rollback = ScriptedRollback;
    SQLHDBC h2 = SQL_NULL_HDBC, h3 = SQL_NULL_HDBC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, henv, &h2));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, henv, &h3));  // never opened: no transaction
    ConnRecord* c1 = conn;
    ConnRecord* c2 = ConnOf(h2);
    for (ConnRecord* c : {c1, c2}) {
        c->state = 2;
        c->link.table = &table;
    }
    c1->agentConn = 1;
    c2->agentConn = 2;
    g_failingConn = 2;
    g_commits = 0;
    c1->lastError = 5;
    c2->lastError = 7;
    EnvRecord* env = c1->env;
    EXPECT_EQ(SQL_ERROR, EnvEndTran(env, 0));
    EXPECT_EQ(70u, env->lastError);
    EXPECT_EQ(2, g_commits);
    EXPECT_EQ(5u, c1->lastError);
    EXPECT_EQ(7u, c2->lastError);
    env->lastError = 0;
    EXPECT_EQ(SQL_SUCCESS, EnvEndTran(env, 1));
    EXPECT_EQ(SQL_ERROR, EnvEndTran(env, 2));
    EXPECT_EQ(23u, env->lastError);

    c2->busy.store(c2);
    EXPECT_EQ(SQL_ERROR, EnvEndTran(env, 0));
    EXPECT_EQ(22u, env->lastError);
    c2->busy.store(nullptr);

    // Not the agent's: freeing must not call into the scripted table.
    for (ConnRecord* c : {c1, c2}) {
        c->state = 1;
        c->agentConn = 0;
        c->link.table = nullptr;
    }
}

}  // namespace
