// The cursor layer over the agent: which slots it takes, its connection records and key-column
// cache, the capability text, the statement-count item, kept parameters, and static cursors
// served from the dataset cache.
#include <set>

#include "odbc/globals.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_setpos.h"
#include "scrs/ss.h"
#include "tests/support/agent_stmt_fixture.h"
#include "util/scrarray.h"
#include "util/hash.h"
#include "util/trymem.h"

using namespace stmttest;

namespace {

TEST(LayerInstall, TakesItsSlotsAndLeavesTheRestToTheAgent) {
    AgentLink link{};
    ASSERT_EQ(0, AgentStackInstall(&link));
    const AgentFuncTable* scs = SCS_LayerTable();
    ASSERT_NE(nullptr, scs);
    const AgentFuncTable* agent = IngAgentOpTable();
    EXPECT_EQ(agent, SCS_LowerLink()->table);
    EXPECT_EQ(2u, SCS_LowerLink()->word);
    const std::set<int> taken = {DRV_GetInfo,
                                 DRV_Connect,
                                 DRV_Disconnect,
                                 DRV_AllocStmt,
                                 DRV_FreeStmt,
                                 DRV_SetParams,
                                 DRV_FetchRows,
                                 DRV_CloseCursor,
                                 DRV_Fetch,
                                 DRV_ExtendedFetch,
                                 DRV_Prepare,
                                 DRV_Execute,
                                 DRV_MoreResults,
                                 DRV_PrepareExecute,
                                 DRV_ExecuteRowset,
                                 DRV_AllocPrepare,
                                 DRV_FetchDescribe,
                                 DRV_ExtendedFetchConvert,
                                 DRV_GetRowsetValue,
                                 DRV_ExecuteBatch,
                                 DRV_ExecuteRowsetEx,
                                 DRV_PrepareExecuteEx,
                                 DRV_SetParamDescsEx,
                                 DRV_SetParamDescs,
                                 DRV_DDColumnPrivileges,
                                 DRV_DDColumns,
                                 DRV_DDForeignKeys,
                                 DRV_DDPrimaryKeys,
                                 DRV_DDProcedureColumns,
                                 DRV_DDProcedures,
                                 DRV_DDSpecialColumns,
                                 DRV_DDStatistics,
                                 DRV_DDTablePrivileges,
                                 DRV_DDTables,
                                 DRV_DDTypeInfo,
                                 DRV_SetPos,
                                 DRV_BulkOperations};
    for (int slot = 0; slot < kAgentSlotCount; ++slot) {
        if (taken.count(slot)) {
            EXPECT_FALSE(AgentSlotSame(agent, scs, slot)) << "slot " << slot;
            EXPECT_TRUE(AgentSlotFilled(scs, slot)) << "slot " << slot;
        } else {
            // Set-up and scroll slots still reach the agent as they are.
            EXPECT_TRUE(AgentSlotSame(agent, scs, slot)) << "slot " << slot;
        }
    }
    EXPECT_EQ(SCS_Connect, scs->DRV_Connect);
    EXPECT_EQ(SCS_FetchRows, scs->DRV_FetchRows);
    EXPECT_EQ(SCS_SetPos, scs->DRV_SetPos);
    EXPECT_EQ(SC3_BulkOperations, scs->DRV_BulkOperations);
    for (int slot : {DRV_ParamData, DRV_PutData, DRV_GetData}) EXPECT_FALSE(AgentSlotFilled(scs, slot));
}

TEST(LayerInstall, ASecondInstallKeepsTheFirstLowerLink) {
    AgentLink a{}, b{};
    AgentStackInstall(&a);
    const AgentLink lower = *SCS_LowerLink();
    // A link laid straight over some other table still ends at the layer's table.
    AgentFuncTable other{};
    b = AgentLink{2, &other};
    SCS_InstallLayer(&b);
    EXPECT_EQ(SCS_LayerTable(), b.table);
    EXPECT_EQ(lower.table, SCS_LowerLink()->table);
    SCS_InstallLayer(nullptr);  // ignored
}

class LayerSession : public AgentSession {
protected:
    ErrCode Connect(const char* extra, uint32_t* out) {
        IngConnectParams p{};
        p.marker = "W\x7F\x01\x01";
        p.database = db.c_str();
        p.extraText = extra;
        p.timeout = 7;
        p.flags = 3;
        return AgentCall<DRV_Connect>(&link, server, &p, out);
    }
    uint32_t Count() { return SCS_ConnCount(server); }
};

TEST_F(LayerSession, ConnectionsAreRecordedWithTheirParametersAndKeyCache) {
    EXPECT_EQ(1u, Count());
    IngConn* c = IngConnFind(conn);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(server, c->serverHandle);
    EXPECT_NE(nullptr, c->keyColCache);
    uint32_t second = 0;
    ASSERT_EQ(0u, Connect("second", &second));
    EXPECT_EQ(2u, Count());
    SCS_ConnEntry e{};
    ASSERT_EQ(0u, SCS_ConnEntryCopy(second, &e));
    EXPECT_STREQ(db.c_str(), e.text[4]);
    EXPECT_STREQ("W\x7F\x01\x01", e.text[1]);
    EXPECT_EQ(nullptr, e.text[0]);
    EXPECT_STREQ("second", e.extraText);
    EXPECT_EQ(7, e.timeout);
    EXPECT_EQ(3, e.flags);
    SCS_ConnEntryRelease(&e);
    // The first connection goes; the second keeps its own record.
    ASSERT_EQ(0u, AgentCall<DRV_Disconnect>(&link, conn));
    conn = 0;
    EXPECT_EQ(1u, Count());
    ASSERT_EQ(0u, SCS_ConnEntryCopy(second, &e));
    EXPECT_STREQ("second", e.extraText);
    SCS_ConnEntryRelease(&e);
    // The last one of the server goes too; a new connection finds only its own record.
    ASSERT_EQ(0u, AgentCall<DRV_Disconnect>(&link, second));
    EXPECT_EQ(0u, Count());
    EXPECT_EQ(21u, SCS_ConnEntryCopy(second, &e));
    uint32_t third = 0;
    ASSERT_EQ(0u, Connect("third", &third));
    conn = third;
    EXPECT_EQ(1u, Count());
    ASSERT_EQ(0u, SCS_ConnEntryCopy(third, &e));
    EXPECT_STREQ("third", e.extraText);
    SCS_ConnEntryRelease(&e);
}

// Arrays left in the key-column cache go with the connection (the sanitiser sees any leak).
TEST_F(LayerSession, DisconnectFreesTheKeyColumnCacheAndItsArrays) {
    auto* cache = static_cast<HashTable*>(IngConnFind(conn)->keyColCache);
    ASSERT_NE(nullptr, cache);
    SCR_Array* keys = SCR_ArrayCreate(sizeof(uint32_t));
    ASSERT_NE(nullptr, keys);
    uint32_t one = 1;
    ASSERT_EQ(1, SCR_ArrayAppend(keys, &one));
    const uint8_t digest[16] = {1, 2, 3};
    ASSERT_NE(nullptr, HashPut(cache, digest, keys));
    ASSERT_EQ(0u, AgentCall<DRV_Disconnect>(&link, conn));
    conn = 0;
    EXPECT_EQ(0u, Count());
}

// Whichever allocation fails, a connect either succeeds with its record or leaves no session
// and no record behind.
TEST_F(LayerSession, AConnectThatRunsOutOfMemoryLeavesNoSessionBehind) {
    IngServer* sv = IngServerFind(server);
    ASSERT_NE(nullptr, sv);
    const uint32_t sessions = sv->connCount;
    bool connected = false;
    for (long k = 0; k < 2000 && !connected; ++k) {
        uint32_t c = 0;
        TryMemFailAfter(k);
        const uint32_t rc = Connect("oom", &c);
        TryMemFailAfter(-1);
        if (rc == 0) {
            connected = true;
            EXPECT_EQ(2u, Count());
            EXPECT_EQ(sessions + 1, sv->connCount);
            ASSERT_EQ(0u, AgentCall<DRV_Disconnect>(&link, c));
        } else {
            ASSERT_EQ(1u, Count()) << "failure point " << k;
            ASSERT_EQ(sessions, sv->connCount) << "failure point " << k;
        }
    }
    EXPECT_TRUE(connected);
}

TEST_F(LayerSession, UnknownHandlesAreRefusedBeforeTheAgent) {
    EXPECT_EQ(21u, AgentCall<DRV_Disconnect>(&link, 0xBBBB0999u));
    uint16_t len = 0;
    char buf[32];
    EXPECT_EQ(21u,
              AgentCall<DRV_GetInfo>(&link, 0xBBBB0999u, 0x21010010u, static_cast<void*>(buf), uint16_t(32), &len));
    EXPECT_EQ(21u,
              AgentCall<DRV_GetInfo>(&link, 0xCCCC0999u, 0x32010000u, static_cast<void*>(buf), uint16_t(32), &len));
    uint32_t out = 9;
    EXPECT_EQ(21u, AgentCall<DRV_AllocStmt>(&link, 0xBBBB0999u, &out));
    EXPECT_EQ(0u, out);
    EXPECT_EQ(21u, AgentCall<DRV_FetchRows>(&link, 0xCCCC0999u, uint16_t(1), static_cast<Dataset*>(nullptr)));
    IngConnectParams p{};
    EXPECT_EQ(21u, AgentCall<DRV_Connect>(&link, 0xAAAA0999u, &p, &out));
    EXPECT_EQ(1u, Count());
}

TEST_F(LayerSession, CapabilityTextCarriesTheAgentsFlagsInItsOrder) {
    char text[64] = {};
    uint16_t len = 0;
    ASSERT_EQ(0u,
              AgentCall<DRV_GetInfo>(&link, conn, 0x21010010u, static_cast<void*>(text), uint16_t(sizeof text), &len));
    // What the agent answers for the items the text is made of.
    auto lowerInt = [&](uint32_t id, uint32_t* v) {
        uint16_t l = 0;
        return AgentCall<DRV_GetInfo>(SCS_LowerLink(), conn, id, static_cast<void*>(v), uint16_t(4), &l) == 0;
    };
    uint32_t mask = 0, item23 = 0, i14 = 0, i15 = 0;
    ASSERT_TRUE(lowerInt(0x22010011u, &mask));
    if (!lowerInt(0x22040017u, &item23)) item23 = 0;
    const bool has14 = lowerInt(0x22010014u, &i14) && i14;
    const bool has15 = lowerInt(0x22010015u, &i15) && i15;
    auto bit = [&](uint32_t b) { return (mask & b) ? '1' : '0'; };
    std::string expect = "001.005:";
    expect += bit(0x8);
    expect += bit(0x80);
    expect += bit(0x4);
    expect += bit(0x10);
    expect += bit(0x40);
    expect += '1';
    expect += std::to_string(item23);
    expect += has14 ? '1' : '0';
    expect += has15 ? '1' : '0';
    expect += bit(0x400);
    expect += bit(0x2000);
    expect += bit(0x4000);
    EXPECT_EQ(expect, std::string(text));
    EXPECT_EQ(expect.size(), len);
    // A short buffer cuts the text and still succeeds.
    char small[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(0u, AgentCall<DRV_GetInfo>(&link, conn, 0x21010010u, static_cast<void*>(small), uint16_t(5), &len));
    EXPECT_STREQ("001.", small);
    // Other connection items are the agent's own answers.
    uint32_t viaLayer = 0, direct = 0;
    ASSERT_EQ(0u, AgentCall<DRV_GetInfo>(&link, conn, 0x22010011u, static_cast<void*>(&viaLayer), uint16_t(4), &len));
    ASSERT_TRUE(lowerInt(0x22010011u, &direct));
    EXPECT_EQ(direct, viaLayer);
}

TEST_F(LayerSession, RowCountItemOfAScrollingSelectIsTheLayers) {
    Exec("CREATE TABLE rc1 (a INTEGER)");
    Exec("INSERT INTO rc1 VALUES (1)");
    uint32_t s = Stmt();
    ASSERT_EQ(0u, Run(s, "UPDATE rc1 SET a = 2"));
    auto rowCount = [&](int32_t* n) {
        uint16_t len = 0;
        return AgentCall<DRV_GetInfo>(&link, s, 0x32010000u, static_cast<void*>(n), uint16_t(4), &len);
    };
    int32_t agentsAnswer = -9, n = -9;
    uint16_t len = 0;
    ASSERT_EQ(0u, AgentCall<DRV_GetInfo>(SCS_LowerLink(), s, 0x32010000u, static_cast<void*>(&agentsAnswer),
                                         uint16_t(4), &len));
    ASSERT_EQ(0u, rowCount(&n));
    EXPECT_EQ(agentsAnswer, n);  // forward-only: the agent's
    SCS_Cursor& c = (*SCS_StmtBlock(s));
    c.cursorType = 1;
    ASSERT_EQ(0u, rowCount(&n));
    EXPECT_EQ(agentsAnswer, n);  // not a SELECT: the agent's
    c.analysedSelect = 1;
    c.window.SetResultRows(42);
    ASSERT_EQ(0u, rowCount(&n));
    EXPECT_EQ(42, n);
    c.posRowCount = 3;
    c.layerFlags |= kScsLPosCount;
    ASSERT_EQ(0u, rowCount(&n));
    EXPECT_EQ(3, n);
    char tiny[2];
    EXPECT_EQ(21u, AgentCall<DRV_GetInfo>(&link, s, 0x32010000u, static_cast<void*>(tiny), uint16_t(2), &len));
}

TEST_F(LayerSession, ScrollableStatementsKeepACopyOfTheirParameters) {
    Exec("CREATE TABLE kp (a INTEGER)");
    uint32_t s = Stmt();
    ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "INSERT INTO kp VALUES (?)"));
    ParamSet p1({{DS_INTEGER, 4}}, 1);
    p1.Put<int32_t>(0, 0, 5);
    ASSERT_EQ(0u, AgentCall<DRV_SetParams>(&link, s, p1.Give()));
    SCS_Cursor& c = (*SCS_StmtBlock(s));
    EXPECT_EQ(SCS_LowerLink(), c.link);
    EXPECT_EQ(nullptr, c.keptParams);  // forward-only keeps nothing
    c.cursorType = 1;
    ParamSet p2({{DS_INTEGER, 4}}, 1);
    p2.Put<int32_t>(0, 0, 6);
    ASSERT_EQ(0u, AgentCall<DRV_SetParams>(&link, s, p2.Give()));
    ASSERT_NE(nullptr, c.keptParams);
    EXPECT_TRUE(c.layerFlags & kScsLParamsKept);
    int32_t v = 0;
    std::memcpy(&v, DatasetCell(&c.keptParams->cols[0], 0), 4);
    EXPECT_EQ(6, v);
    // A new set replaces the kept copy; freeing the statement frees it (the sanitiser checks).
    ParamSet p3({{DS_INTEGER, 4}}, 1);
    p3.Put<int32_t>(0, 0, 7);
    ASSERT_EQ(0u, AgentCall<DRV_SetParams>(&link, s, p3.Give()));
    std::memcpy(&v, DatasetCell(&c.keptParams->cols[0], 0), 4);
    EXPECT_EQ(7, v);
    ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s));
}

class StaticCursor : public LayerSession {
protected:
    // One transaction for the whole test: thousands of inserts need no commit each.
    void SetUp() override { Open(false, true); }
    void Table(uint32_t rows) {
        Exec("CREATE TABLE st (a INTEGER, b VARCHAR(20))");
        uint32_t s = Stmt();
        ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "INSERT INTO st VALUES (?, ?)"));
        ParamSet p({{DS_INTEGER, 4}, {DS_CHAR_NTS, 20}}, rows);
        for (uint32_t r = 0; r < rows; ++r) {
            p.Put<int32_t>(0, r, int32_t(r));
            p.Text(1, r, "row" + std::to_string(r));
        }
        ASSERT_EQ(0u, AgentCall<DRV_SetParams>(&link, s, p.Give()));
        ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
    }
    uint32_t Select() {
        uint32_t s = Stmt();
        (*SCS_StmtBlock(s)).cursorType = 3;
        EXPECT_EQ(0u, Run(s, "SELECT a, b FROM st ORDER BY a")) << Errors(s);
        return s;
    }
};

TEST_F(StaticCursor, RunsOfTenDeliverTenTenFiveAndThenNothing) {
    Table(25);
    uint32_t s = Select();
    int32_t expect = 0;
    for (uint32_t want : {10u, 10u, 5u}) {
        Block b;
        ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(10), &b.ds)) << Errors(s);
        ASSERT_EQ(want, b.ds.rows_used);
        for (uint32_t r = 0; r < want; ++r, ++expect) {
            EXPECT_EQ(expect, b.Get<int32_t>(0, r));
            EXPECT_EQ("row" + std::to_string(expect), b.Text(1, r));
        }
    }
    const SCS_Cursor& c = (*SCS_StmtBlock(s));
    EXPECT_EQ(25, c.window.resultRows());
    EXPECT_TRUE(c.layerFlags & kScsLResultCached);
    ASSERT_NE(nullptr, c.staticSet);
    EXPECT_EQ(-2, c.staticSet->readPos);
    Block end;
    ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(10), &end.ds));
    EXPECT_EQ(0, end.ds.col_count);
    EXPECT_EQ(0u, end.ds.rows_used);
}

TEST_F(StaticCursor, CloseAndExecuteAgainReadsAFreshSnapshot) {
    Table(3);
    uint32_t s = Select();
    {
        Block b;
        ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(2), &b.ds));
        ASSERT_EQ(2u, b.ds.rows_used);
    }
    ASSERT_EQ(0u, AgentCall<DRV_CloseCursor>(&link, s));
    const SCS_Cursor& c = (*SCS_StmtBlock(s));
    EXPECT_FALSE(c.layerFlags & kScsLResultCached);
    EXPECT_TRUE(c.layerFlags & kScsLReprepare);
    Exec("INSERT INTO st VALUES (3, 'row3')");
    ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
    Block b;
    ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(10), &b.ds));
    ASSERT_EQ(4u, b.ds.rows_used);
    EXPECT_EQ(0, b.Get<int32_t>(0, 0));
    EXPECT_EQ(4, c.window.resultRows());
    // Executed again without a close: the snapshot is read again, not served stale.
    Exec("INSERT INTO st VALUES (4, 'row4')");
    ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
    Block again;
    ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(10), &again.ds));
    EXPECT_EQ(5u, again.ds.rows_used);
}

// Past 5000 rows the snapshot lives in the cache files; a sequential read walks through windows.
TEST_F(StaticCursor, ALargeSnapshotIsReadThroughItsFiles) {
    Table(5300);
    uint32_t s = Select();
    int32_t expect = 0;
    for (;;) {
        Block b;
        ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(700), &b.ds)) << Errors(s);
        if (b.ds.rows_used == 0) break;
        for (uint32_t r = 0; r < b.ds.rows_used; ++r, ++expect) {
            ASSERT_EQ(expect, b.Get<int32_t>(0, r));
            ASSERT_EQ("row" + std::to_string(expect), b.Text(1, r));
        }
    }
    EXPECT_EQ(5300, expect);
    const SCS_Cursor& c = (*SCS_StmtBlock(s));
    EXPECT_EQ(kDscOnFile, c.staticSet->cache.state);
    EXPECT_EQ(5300, c.window.resultRows());
}

TEST_F(StaticCursor, MaximumLengthCutsServedValues) {
    Table(2);
    uint32_t s = Select();
    uint32_t max = 2;
    ASSERT_EQ(0u, AgentCall<DRV_SetOption>(&link, s, 0x32030003u, static_cast<void*>(&max)));
    Block b;
    ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(5), &b.ds));
    ASSERT_EQ(2u, b.ds.rows_used);
    EXPECT_EQ("ro", b.Text(1, 1));
}

TEST(LayerStrings, ElementCallbackFreesHeapStrings) {
    SCR_Array* a = SCR_ArrayCreate(sizeof(char*));
    ASSERT_NE(nullptr, a);
    for (const char* t : {"one", "two"}) {
        char* copy = strdup(t);
        ASSERT_EQ(1, SCR_ArrayAppend(a, &copy));
    }
    char* none = nullptr;
    ASSERT_EQ(1, SCR_ArrayAppend(a, &none));
    SCR_ArrayFree(&a, SCS_FreeElementString);
    EXPECT_EQ(nullptr, a);
    SCS_FreeElementString(nullptr);
}

}  // namespace
