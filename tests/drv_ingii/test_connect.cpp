// Server allocation, connect with its options and probe, transactions and savepoints.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "tests/support/agent_fixture.h"
#include "xa/xa_holder.h"

namespace agenttest {
namespace {

using ServerTest = AgentTest;

TEST_F(ServerTest, SecondAllocationSharesTheServer) {
    uint32_t again = 0;
    ASSERT_EQ(AgentCall<DRV_ServerAlloc>(&link, static_cast<void*>(nullptr), &again), 0u);
    EXPECT_EQ(again, server);
    EXPECT_EQ(IngServerRefCount(), 2u);
    EXPECT_EQ(AgentCall<DRV_ServerFree>(&link, again), 0u);
    EXPECT_EQ(IngServerRefCount(), 1u);
    EXPECT_EQ(AgentCall<DRV_ServerAlloc>(&link, static_cast<void*>(nullptr), static_cast<uint32_t*>(nullptr)), 21u);
    EXPECT_EQ(AgentCall<DRV_ServerFree>(&link, 0xAAAA0009u), 21u);
}

TEST_F(ServerTest, ServerPropertiesAnswerOnlyTheAgentName) {
    std::string name;
    ASSERT_EQ(GetText(server, 0x11010000, &name), 0u);
    EXPECT_EQ(name, "ingresii");
    uint32_t v;
    EXPECT_EQ(GetInt(server, 0x12010001, &v), 1u);
    EXPECT_EQ(SetInt(server, 0x12030000, 1), 43u);
    // A server handle asked as a connection is unknown.
    EXPECT_EQ(GetInt(server, 0x22040000 | 46, &v), 21u);
}

using ConnectTest = AgentTest;

TEST_F(ConnectTest, ConnectProbesTheServer) {
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_NE(h, 0u);
    IngConn* c = Conn(h);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->probed, 1u);
    EXPECT_STREQ(c->dbName, "agentdb");
    EXPECT_EQ(c->versionNumber, IngVersionNumber(c->versionText));
    EXPECT_GE(c->apiLevel, 1);
    EXPECT_EQ(c->odbcVersion, 2u);
    EXPECT_EQ(c->autocommit, 1u);
    EXPECT_EQ(c->txnFlags & kTxnAutocommit, kTxnAutocommit);
    EXPECT_EQ(c->xid.formatID, -1);
    std::string s;
    ASSERT_EQ(GetText(h, 0x21040000 | 16, &s), 0u);
    EXPECT_EQ(s, "agentdb");
    ASSERT_EQ(GetText(h, 0x21040000 | 18, &s), 0u);
    EXPECT_EQ(s, c->versionText);
    ASSERT_EQ(GetText(h, 0x21040000 | 17, &s), 0u);
    EXPECT_EQ(s, "INGRES");
    uint32_t v;
    ASSERT_EQ(GetInt(h, 0x22040000 | 46, &v), 0u);
    EXPECT_EQ(v, 1u);
    ASSERT_EQ(GetInt(h, 0x2203006C, &v), 0u);
    EXPECT_EQ(v, 1u);
}

struct VersionCase {
    const char* version;
    const char* charset;
    int32_t number;
    uint32_t maxString;
    uint32_t maxChar;
    bool setSession;
    uint32_t isolationOptions;
};

class ConnectVersionTest : public AgentTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(ConnectVersionTest, ProbedFactsFollowTheServerGeneration) {
    const VersionCase& vc = GetParam();
    iiengine_setControl(IIENGINE_VERSION, vc.version);
    iiengine_setControl(IIENGINE_CHARSET, vc.charset);
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    IngConn* c = Conn(h);
    EXPECT_EQ(c->versionNumber, vc.number);
    EXPECT_EQ(c->maxStringLen, vc.maxString);
    EXPECT_EQ(c->maxCharLen, vc.maxChar);
    if (vc.setSession)
        EXPECT_TRUE(SentQuery("SET SESSION READ WRITE , ISOLATION LEVEL READ UNCOMMITTED"));
    else
        EXPECT_TRUE(SentQuery("SET LOCKMODE SESSION WHERE LEVEL = PAGE, READLOCK = NOLOCK"));
    uint32_t v;
    ASSERT_EQ(GetInt(h, 0x22040000 | 72, &v), 0u);
    EXPECT_EQ(v, vc.isolationOptions);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, ConnectVersionTest,
    ::testing::Values(VersionCase{"II 10.2.0 (a64.lnx/100)", "UTF8", 10000000, 32000, 16000, true, 15},
                      VersionCase{"II 2.6/0305 (su9.us5/00)", "utf8", 2600305, 32000, 16000, true, 15},
                      VersionCase{"II 2.6/0305 (su9.us5/00)", "ISO88591", 2600305, 32000, 32000, true, 15},
                      VersionCase{"OI 1.99/9999 (su4.us5/00)", "UTF8", 1999999, 32000, 16000, false, 13},
                      VersionCase{"6.4/05 (su4.us5/00)", "ISO88591", 640005, 32000, 32000, false, 13},
                      VersionCase{"unknown server", "UTF8", 0, 2000, 2000, false, 13}));

TEST_F(ConnectTest, ConnectOptionsSetGroupRoleUserPasswordAndTrim) {
    uint32_t h;
    ASSERT_EQ(Connect(&h, "agentdb", "-G grp -R 'my role' -u effuser -P secret -T -x"), 0u);
    IngConn* c = Conn(h);
    EXPECT_STREQ(c->group, "grp");
    EXPECT_STREQ(c->role, "my role");
    EXPECT_STREQ(c->effectiveUser, "effuser");
    EXPECT_STREQ(c->dbmsPassword, "secret");
    EXPECT_EQ(c->dsn.rtrimChar, 1u);
    EXPECT_TRUE(Logged(4, "invalid connect option specified"));
    // The effective user is the session's user, folded by the server's name case.
    std::string user;
    ASSERT_EQ(GetText(h, 0x21040000 | 47, &user), 0u);
    EXPECT_EQ(user, c->nameCase == 1 ? "EFFUSER" : "effuser");
}

TEST_F(ConnectTest, RepeatedOptionKeepsTheLast) {
    uint32_t h;
    ASSERT_EQ(Connect(&h, "agentdb", "-G one -G two"), 0u);
    EXPECT_STREQ(Conn(h)->group, "two");
    EXPECT_EQ(Conn(h)->dsn.rtrimChar, 0u);
}

TEST_F(ConnectTest, ConnectWithoutDatabaseUsesDefault) {
    uint32_t h;
    ASSERT_EQ(Connect(&h, nullptr), 0u);
    EXPECT_STREQ(Conn(h)->database, "default");
}

TEST_F(ConnectTest, RefusedConnectMovesMessagesToTheServer) {
    uint32_t h = 77;
    EXPECT_EQ(Connect(&h, "no_such_database_here"), 53u);
    EXPECT_EQ(h, 0u);
    uint32_t native = 0;
    std::vector<std::string> msgs = Errors(server, &native);
    ASSERT_FALSE(msgs.empty());
    for (const std::string& m : msgs) {
        EXPECT_EQ(m.rfind("[IngresII Server]", 0), 0u) << m;
        EXPECT_NE(m.find("[SQLSTATE:"), std::string::npos) << m;
    }
    // Slot 2 emptied the list.
    EXPECT_TRUE(Errors(server).empty());
}

TEST_F(ConnectTest, WideConnectionNeedsUnicodeServer) {
    const char marker[] = {'W', 0x7F, 0x01, 0x01, 0};
    iiengine_setControl(IIENGINE_UNICODE_LEVEL, "0");
    uint32_t h;
    EXPECT_EQ(Connect(&h, "agentdb", nullptr, 0, marker), 53u);
    std::vector<std::string> msgs = Errors(server);
    bool found = false;
    for (const std::string& m : msgs)
        found |= m == "[IngresII Server]DBMS doesn't support Unicode connections (0)[SQLSTATE:S1000]";
    EXPECT_TRUE(found);
    EXPECT_TRUE(Logged(3, "DBMS doesn't support Unicode connections"));

    iiengine_setControl(IIENGINE_UNICODE_LEVEL, nullptr);
    ASSERT_EQ(Connect(&h, "agentdb", nullptr, 0, marker), 0u);
    uint32_t v;
    ASSERT_EQ(GetInt(h, 0x22010013, &v), 0u);
    EXPECT_EQ(v, 1u);
    ASSERT_EQ(GetInt(h, 0x22040000 | 122, &v), 0u);
    EXPECT_EQ(v, 0xE63F7Fu);
    ASSERT_EQ(GetInt(h, 0x22040000 | 125, &v), 0u);
    EXPECT_EQ(v, 0xE00301u);
}

// A server below the lowest OpenAPI level the driver works with is refused, and says so.
TEST_F(ConnectTest, AServerBelowLevelOneIsRefusedWithItsLevel) {
    iiengine_setControl(IIENGINE_API_LEVEL, "0");
    uint32_t h = 0;
    EXPECT_EQ(Connect(&h, "agentdb"), 53u);
    iiengine_setControl(IIENGINE_API_LEVEL, nullptr);
    EXPECT_EQ(h, 0u);
    std::vector<std::string> msgs = Errors(server);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs.back(),
              "[Driver]the server's OpenAPI level is 0: the driver needs level 1 or higher[SQLSTATE:S1000]");
    ASSERT_EQ(Connect(&h, "agentdb"), 0u);
}

TEST_F(ConnectTest, NarrowMarkerIsNotUnicode) {
    uint32_t h;
    ASSERT_EQ(Connect(&h, "agentdb", nullptr, 0, "W"), 0u);
    uint32_t v;
    ASSERT_EQ(GetInt(h, 0x22010013, &v), 0u);
    EXPECT_EQ(v, 0u);
    ASSERT_EQ(GetInt(h, 0x22040000 | 126, &v), 0u);
    EXPECT_EQ(v, 0u);
}

TEST_F(ConnectTest, ReadOnlyConnectionSetsReadOnlySession) {
    uint32_t h;
    ASSERT_EQ(Connect(&h, "agentdb", nullptr, 1), 0u);
    EXPECT_TRUE(SentQuery("SET SESSION READ ONLY , ISOLATION LEVEL READ UNCOMMITTED"));
    std::string s;
    ASSERT_EQ(GetText(h, 0x21040000 | 25, &s), 0u);
    EXPECT_EQ(s, "Y");
    uint32_t v;
    ASSERT_EQ(GetInt(h, 0x22030001, &v), 0u);
    EXPECT_EQ(v, 1u);
    ASSERT_EQ(SetInt(h, 0x22030001, 0), 0u);
    ASSERT_EQ(GetInt(h, 0x22030001, &v), 0u);
    EXPECT_EQ(v, 0u);
}

TEST_F(ConnectTest, DsnTextsAreTakenOverByTheConnection) {
    settings.sqlDbmsName = strdup("MyDBMS");
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    EXPECT_EQ(settings.sqlDbmsName, nullptr);
    std::string s;
    ASSERT_EQ(GetText(h, 0x21040000 | 17, &s), 0u);
    EXPECT_EQ(s, "MyDBMS");
}

TEST_F(ConnectTest, DisconnectForgetsTheHandle) {
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    EXPECT_EQ(Disconnect(h), 0u);
    EXPECT_EQ(Disconnect(h), 21u);
    uint32_t v;
    EXPECT_EQ(GetInt(h, 0x22030000, &v), 21u);
}

using TxnTest = AgentTest;

TEST_F(TxnTest, AutocommitCommitsEachStatement) {
    uint32_t a, b;
    ASSERT_EQ(Connect(&a), 0u);
    ASSERT_EQ(Connect(&b), 0u);
    ASSERT_EQ(Exec(a, "create table ac_t (x integer)"), 0u);
    ASSERT_EQ(Exec(a, "insert into ac_t values (1)"), 0u);
    EXPECT_EQ(Conn(a)->tranHandle, nullptr);
    EXPECT_EQ(Conn(a)->txnFlags & kTxnWorkPending, 0);
    EXPECT_EQ(Count(b, "select count(*) from ac_t"), 1);
    EXPECT_EQ(Exec(a, "drop table ac_t"), 0u);
}

TEST_F(TxnTest, ManualCommitLeavesWorkPendingUntilCommit) {
    uint32_t a, b;
    ASSERT_EQ(Connect(&b), 0u);
    ASSERT_EQ(Exec(b, "create table mc_t (x integer)"), 0u);
    settings.noAutoCommit = 1;
    ASSERT_EQ(Connect(&a), 0u);
    EXPECT_EQ(Conn(a)->autocommit, 0u);
    uint32_t v;
    ASSERT_EQ(GetInt(a, 0x22030000, &v), 0u);
    EXPECT_EQ(v, 0u);
    ASSERT_EQ(GetInt(a, 0x22010011, &v), 0u);
    EXPECT_EQ(v, 0x349Fu);
    ASSERT_EQ(Exec(a, "insert into mc_t values (1)"), 0u);
    EXPECT_EQ(Conn(a)->txnFlags & kTxnWorkPending, kTxnWorkPending);
    EXPECT_EQ(Count(b, "select count(*) from mc_t"), 0);
    ASSERT_EQ(AgentCall<DRV_Commit>(&link, a), 0u);
    EXPECT_EQ(Conn(a)->txnFlags & kTxnWorkPending, 0);
    EXPECT_EQ(Count(b, "select count(*) from mc_t"), 1);
    ASSERT_EQ(Exec(a, "insert into mc_t values (2)"), 0u);
    ASSERT_EQ(AgentCall<DRV_Rollback>(&link, a), 0u);
    EXPECT_EQ(Count(a, "select count(*) from mc_t"), 1);
    ASSERT_EQ(Exec(b, "drop table mc_t"), 0u);
}

TEST_F(TxnTest, AutocommitOptionSwitchesModes) {
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(SetInt(h, 0x22030000, 0), 0u);
    uint32_t v;
    ASSERT_EQ(GetInt(h, 0x22030000, &v), 0u);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(Conn(h)->txnFlags & kTxnAutocommit, 0);
    ASSERT_EQ(SetInt(h, 0x22030000, 1), 0u);
    ASSERT_EQ(GetInt(h, 0x22030000, &v), 0u);
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(Conn(h)->txnFlags & kTxnAutocommit, kTxnAutocommit);
}

TEST_F(TxnTest, SavepointRollsBackPartOfTheWork) {
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(Exec(h, "create table sp_t (x integer)"), 0u);
    ASSERT_EQ(SetInt(h, 0x22030000, 0), 0u);
    ASSERT_EQ(Exec(h, "insert into sp_t values (1)"), 0u);
    ASSERT_EQ(AgentCall<DRV_Savepoint>(&link, h, 0u, "s1"), 0u);
    EXPECT_TRUE(SentQuery("SAVEPOINT s1 "));
    ASSERT_EQ(Exec(h, "insert into sp_t values (2)"), 0u);
    EXPECT_EQ(Count(h, "select count(*) from sp_t"), 2);
    ASSERT_EQ(AgentCall<DRV_Savepoint>(&link, h, 1u, "s1"), 0u);
    EXPECT_TRUE(SentQuery("ROLLBACK TO s1"));
    ASSERT_EQ(AgentCall<DRV_Commit>(&link, h), 0u);
    EXPECT_EQ(Count(h, "select count(*) from sp_t"), 1);
    size_t before = QueryCount();
    EXPECT_EQ(AgentCall<DRV_Savepoint>(&link, h, 2u, "s1"), 0u);
    EXPECT_EQ(AgentCall<DRV_Savepoint>(&link, h, 5u, "s1"), 21u);
    EXPECT_EQ(QueryCount(), before);
    ASSERT_EQ(SetInt(h, 0x22030000, 1), 0u);
    ASSERT_EQ(Exec(h, "drop table sp_t"), 0u);
}

TEST_F(TxnTest, FailedStatementLeavesServerMessagesForSlotTwo) {
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    uint32_t rc = Exec(h, "select * from no_such_table_xyz");
    EXPECT_EQ(rc, 10u);  // 42S02
    std::vector<std::string> msgs = Errors(h);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].rfind("[IngresII Server]", 0), 0u);
    EXPECT_NE(msgs[0].find("[SQLSTATE:42S02]"), std::string::npos);
    EXPECT_TRUE(Errors(h).empty());
    // A rollback to a savepoint that does not exist fails with the server's code.
    ASSERT_EQ(SetInt(h, 0x22030000, 0), 0u);
    EXPECT_NE(AgentCall<DRV_Savepoint>(&link, h, 1u, "nosuch"), 0u);
    EXPECT_FALSE(Errors(h).empty());
}

TEST_F(TxnTest, IsolationThroughSetSession) {
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(SetInt(h, 0x2203006C, 8), 0u);
    EXPECT_TRUE(SentQuery("SET SESSION READ WRITE , ISOLATION LEVEL SERIALIZABLE"));
    uint32_t v;
    ASSERT_EQ(GetInt(h, 0x2203006C, &v), 0u);
    EXPECT_EQ(v, 8u);
    ASSERT_EQ(SetInt(h, 0x2203006C, 2), 0u);
    EXPECT_TRUE(SentQuery("SET SESSION READ WRITE , ISOLATION LEVEL READ COMMITTED"));
    EXPECT_EQ(SetInt(h, 0x2203006C, 3), 43u);
}

TEST_F(TxnTest, IsolationThroughLockModeOnOlderServers) {
    iiengine_setControl(IIENGINE_VERSION, "OI 1.99/9999 (su4.us5/00)");
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    size_t before = QueryCount();
    EXPECT_EQ(SetInt(h, 0x2203006C, 2), 43u);
    EXPECT_EQ(QueryCount(), before);
    ASSERT_EQ(SetInt(h, 0x2203006C, 4), 0u);
    EXPECT_TRUE(SentQuery("SET LOCKMODE SESSION WHERE LEVEL = PAGE, READLOCK = NOLOCK"));
    ASSERT_EQ(SetInt(h, 0x22030000, 0), 0u);
    ASSERT_EQ(SetInt(h, 0x2203006C, 4), 0u);
    EXPECT_TRUE(SentQuery("SET LOCKMODE SESSION WHERE LEVEL = PAGE, READLOCK = SHARED"));
    ASSERT_EQ(SetInt(h, 0x2203006C, 8), 0u);
    EXPECT_TRUE(SentQuery("SET LOCKMODE SESSION WHERE LEVEL = PAGE, READLOCK = EXCLUSIVE"));
}

TEST_F(TxnTest, IsolationBeforeProbeAcceptsOnlyReadUncommitted) {
    IngConn c{};
    EXPECT_EQ(IngSetIsolation(&c, 1), 0u);
    EXPECT_EQ(c.isolation, 1u);
    EXPECT_EQ(IngSetIsolation(&c, 8), 43u);
    EXPECT_EQ(IngTxnControl(&c, kTxnOpCommit), 0u);
    EXPECT_EQ(IngTxnControl(&c, 99), 0u);
}

using InitialSqlTest = AgentTest;

std::string WriteFile(const std::string& name, const std::string& body) {
    std::string path = DataDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << body;
    return path;
}

TEST_F(InitialSqlTest, RunsRequestsAndIgnoresFailures) {
    std::string path = WriteFile("init1.sql",
                                 "# set up\n"
                                 "create table init_t\n"
                                 "  (a integer)\n"
                                 "  ;\n"
                                 "# comment; never ends a request\n"
                                 "\n"
                                 "insert into no_such_table values (1);\n"
                                 "insert into init_t values (1);\n"
                                 "insert into init_t values (2);");
    // Given without its extension: ".sql" is added.
    std::string noExt = path.substr(0, path.size() - 4);
    settings.initialSql = strdup(noExt.c_str());
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    EXPECT_EQ(settings.initialSql, nullptr);
    EXPECT_TRUE(SentQuery("create table init_t (a integer)"));
    EXPECT_TRUE(SentQuery("insert into init_t values (1)"));
    EXPECT_TRUE(SentQuery("insert into init_t values (2)"));
    EXPECT_EQ(Count(h, "select count(*) from init_t"), 2);
    EXPECT_TRUE(Logged(7, "execute [create table init_t (a integer)]"));
    // Failures of the file never reach the connection's messages.
    EXPECT_TRUE(Errors(h).empty());
    ASSERT_EQ(Exec(h, "drop table init_t"), 0u);
}

TEST_F(InitialSqlTest, UnterminatedLastRequestIsDroppedAndLogged) {
    std::string path = WriteFile("init2.sql", "create table init2_t (a integer);\ninsert into init2_t\nvalues (1)\n");
    settings.initialSql = strdup(path.c_str());
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    EXPECT_TRUE(Logged(3, "Unterminated SQL request (line 3)"));
    EXPECT_EQ(Count(h, "select count(*) from init2_t"), 0);
    IngConn* c = Conn(h);
    EXPECT_EQ(IngRunInitialSql(c, path.c_str()), -1);
    ASSERT_EQ(Exec(h, "drop table init2_t"), 0u);
}

TEST_F(InitialSqlTest, MissingFileNeverFailsTheConnect) {
    std::string path = DataDir() + "/missing_init";
    settings.initialSql = strdup(path.c_str());
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    bool logged = false;
    {
        std::lock_guard<std::mutex> g(HookLock());
        for (const auto& l : Logs())
            logged |= l.first == 3 && l.second.rfind("unable to read from initial SQL file " + path + ".sql (", 0) == 0;
    }
    EXPECT_TRUE(logged);
    EXPECT_EQ(IngRunInitialSql(Conn(h), path.c_str()), -1);
}

TEST_F(InitialSqlTest, LoneSemicolonEndsTheRequest) {
    std::string path =
        WriteFile("init3.sql", "create table init3_t (a integer)\n  ;\ninsert into init3_t values (5); \n");
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    EXPECT_EQ(IngRunInitialSql(Conn(h), path.c_str()), 0);
    EXPECT_TRUE(SentQuery("create table init3_t (a integer)"));
    EXPECT_EQ(Count(h, "select count(*) from init3_t"), 1);
    ASSERT_EQ(Exec(h, "drop table init3_t"), 0u);
}

}  // namespace
}  // namespace agenttest

namespace agenttest {
namespace {

TEST_F(TxnTest, LocalTransactionControlIsRefusedInAGlobalTransaction) {
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(SetInt(h, 0x22030000, 0), 0u);
    XaConnHolder holder{1};
    Conn(h)->xaSlot = &holder;
    size_t before = QueryCount();
    EXPECT_EQ(AgentCall<DRV_Commit>(&link, h), 124u);
    EXPECT_EQ(AgentCall<DRV_Rollback>(&link, h), 124u);
    EXPECT_EQ(AgentCall<DRV_Savepoint>(&link, h, 0u, "s1"), 124u);
    EXPECT_EQ(QueryCount(), before);
    // The autocommit option answers 0, but the transaction switch behind it is refused.
    EXPECT_EQ(SetInt(h, 0x22030000, 1), 0u);
    EXPECT_EQ(Conn(h)->txnFlags & kTxnAutocommit, 0);
    EXPECT_TRUE(Logged(7, "Local txn control disallowed while in global txn."));
    std::vector<std::string> msgs = Errors(h);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs.back(), "[IngresII Server]Transaction state[SQLSTATE:25S01]");
    // Not associated: the holder no longer stands in the way.
    holder.associated = 0;
    EXPECT_EQ(AgentCall<DRV_Commit>(&link, h), 0u);
    Conn(h)->xaSlot = nullptr;
}

// A failure without a server message is named by its status; success, warnings and the end of
// the data add nothing.
TEST(SessionLayer, WaitMapsStatuses) {
    struct Case {
        IIAPI_STATUS status;
        uint32_t code;
        const char* message;
    } cases[] = {
        {IIAPI_ST_SUCCESS, 0, nullptr},
        {IIAPI_ST_MESSAGE, 0, nullptr},
        {IIAPI_ST_WARNING, 0, nullptr},
        {IIAPI_ST_NO_DATA, 82, nullptr},
        {IIAPI_ST_ERROR, 15, "the OpenAPI call failed with IIAPI_ST_ERROR and no message"},
        {IIAPI_ST_FAILURE, 15, "the OpenAPI call failed with IIAPI_ST_FAILURE and no message"},
        {IIAPI_ST_INVALID_HANDLE, 15, "the OpenAPI call failed with IIAPI_ST_INVALID_HANDLE and no message"},
        {IIAPI_ST_OUT_OF_MEMORY, 16, "the OpenAPI call failed with IIAPI_ST_OUT_OF_MEMORY and no message"},
    };
    for (const Case& c : cases) {
        IIAPI_GENPARM gp{};
        gp.gp_completed = 1;
        gp.gp_status = c.status;
        IngDiagList list{};
        EXPECT_EQ(IIWaitCompletion(&gp, &list), c.code) << c.status;
        if (c.message == nullptr) {
            EXPECT_EQ(list.first, nullptr) << c.status;
            continue;
        }
        ASSERT_NE(list.first, nullptr) << c.status;
        EXPECT_STREQ(list.first->text, c.message);
        EXPECT_STREQ(list.first->sqlstate, c.code == 16 ? "S1001" : "S1000");
        EXPECT_EQ(list.first->driver, 1u);
        EXPECT_EQ(list.first->next, nullptr);
        IngDiagClear(&list);
        // Without a list the code alone answers.
        EXPECT_EQ(IIWaitCompletion(&gp, nullptr), c.code) << c.status;
    }
}

TEST(SessionLayer, NoTransactionMeansNothingToEnd) {
    IngConn c{};
    EXPECT_EQ(IICommit(&c), 0u);
    EXPECT_EQ(IIRollback(&c), 0u);
    void* none = nullptr;
    EXPECT_EQ(IICloseStmt(&none, nullptr), 0u);
    EXPECT_EQ(IICancel(&none, nullptr), 0u);
    EXPECT_EQ(IICloseStmt(nullptr, nullptr), 0u);
}

TEST_F(TxnTest, ConnectionsWorkConcurrently) {
    constexpr int kThreads = 4;
    uint32_t handles[kThreads];
    for (uint32_t& h : handles) ASSERT_EQ(Connect(&h), 0u);
    std::vector<uint32_t> results(kThreads, 99);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            std::string table = "conc_t" + std::to_string(i);
            uint32_t rc = Exec(handles[i], ("create table " + table + " (x integer)").c_str());
            for (int k = 0; rc == 0 && k < 20; ++k)
                rc = Exec(handles[i], ("insert into " + table + " values (" + std::to_string(k) + ")").c_str());
            if (rc == 0 && Count(handles[i], ("select count(*) from " + table).c_str()) != 20) rc = 1000;
            if (rc == 0) rc = Exec(handles[i], ("drop table " + table).c_str());
            results[size_t(i)] = rc;
        });
    }
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) EXPECT_EQ(results[size_t(i)], 0u) << i;
}

}  // namespace
}  // namespace agenttest

namespace agenttest {
namespace {

using ProcedureTest = AgentTest;

TEST_F(ProcedureTest, ExistenceCheckFoldsNamesAndReportsMissingProcedures) {
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(Exec(h, "CREATE PROCEDURE getrows (n integer) AS BEGIN RETURN 1; END"), 0u);
    uint32_t sh = 0;
    ASSERT_EQ(AgentCall<DRV_AllocStmt>(&link, h, &sh), 0u);
    IngStmt* s = IngStmtFind(sh);
    IngConn* c = Conn(h);
    ASSERT_EQ(c->nameCase, 2u);  // the engine folds names to lower case, as Ingres does by default
    std::string owner = c->userName;

    EXPECT_EQ(IIProcedureExists(s, (owner + ".GetRows  ").c_str()), 0u);
    EXPECT_EQ(s->procOwner, owner);
    EXPECT_STREQ(s->procName, "getrows");
    EXPECT_EQ(IIProcedureExists(s, "GETROWS"), 0u);
    EXPECT_STREQ(s->procOwner, "");
    ASSERT_EQ(c->delimitedCase, 3u);
    EXPECT_EQ(IIProcedureExists(s, "\"GetRows\""), 68u);  // a delimited name keeps its case
    EXPECT_EQ(IIProcedureExists(s, "someone_else.getrows"), 68u);
    EXPECT_EQ(IIProcedureExists(s, "nosuch"), 68u);
    ASSERT_NE(s->messages.first, nullptr);
    EXPECT_STREQ(s->messages.first->text, "Can't find procedure (0)");
    EXPECT_STREQ(s->messages.first->sqlstate, "37000");
    // A quote in the name stays inside the literal.
    EXPECT_EQ(IIProcedureExists(s, "x' OR dbp_name <> 'y"), 68u);
    EXPECT_EQ(IIProcedureExists(s, "o'x"), 68u);
    // Names are kept to 35 characters.
    std::string longName(60, 'p');
    EXPECT_EQ(IIProcedureExists(s, longName.c_str()), 68u);
    EXPECT_EQ(std::strlen(s->procName), 35u);
    EXPECT_EQ(AgentCall<DRV_FreeStmt>(&link, sh), 0u);
    ASSERT_EQ(Exec(h, "DROP PROCEDURE getrows"), 0u);
}

}  // namespace
}  // namespace agenttest

namespace agenttest {
namespace {

TEST_F(ConnectTest, SelectStringsAndCountHelpers) {
    uint32_t h;
    ASSERT_EQ(Connect(&h), 0u);
    IngConn* c = Conn(h);
    IngStringRow row{};
    ASSERT_EQ(IISelectStrings(&c->connHandle, &c->tranHandle, "select 'ab', 42, 'x' || 'y'", &row, &c->messages), 0u);
    ASSERT_EQ(row.count, 3u);
    EXPECT_STREQ(row.values[0], "ab");
    EXPECT_STREQ(row.values[1], "42");
    EXPECT_STREQ(row.values[2], "xy");
    IngStringRowFree(&row);
    EXPECT_EQ(row.count, 0u);
    ASSERT_EQ(Exec(h, "create table two_t (x integer)"), 0u);
    ASSERT_EQ(Exec(h, "insert into two_t values (1)"), 0u);
    ASSERT_EQ(Exec(h, "insert into two_t values (2)"), 0u);
    EXPECT_EQ(IISelectStrings(&c->connHandle, &c->tranHandle, "select x from two_t where x > 5", &row, &c->messages),
              82u);
    EXPECT_EQ(row.count, 0u);
    EXPECT_EQ(row.values, nullptr);
    uint32_t n = 7;
    EXPECT_EQ(IISelectCount(&c->connHandle, &c->tranHandle, "select x from two_t where x > 5", &n, &c->messages), 15u);
    EXPECT_EQ(IISelectCount(&c->connHandle, &c->tranHandle, "select x from two_t where x = 2", &n, &c->messages), 0u);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(IISelectCount(&c->connHandle, &c->tranHandle, "select x, x from two_t where x = 1", &n, &c->messages),
              82u);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(IISelectCount(&c->connHandle, &c->tranHandle, "select count(*) from no_table_q", &n, &c->messages), 0u);
    uint32_t rows = 0;
    ASSERT_EQ(IIExecImmediate(&c->connHandle, &c->tranHandle, "update two_t set x = x + 10", &rows, &c->messages), 0u);
    EXPECT_EQ(rows, 2u);
    ASSERT_EQ(IngTxnControl(c, kTxnOpAfterStatement), 0u);
    ASSERT_EQ(Exec(h, "drop table two_t"), 0u);
}

}  // namespace
}  // namespace agenttest
