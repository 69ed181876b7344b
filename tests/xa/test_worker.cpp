// The XA layer's worker: which calls it carries, and what happens when it is gone.
#include <algorithm>
#include <atomic>
#include <iterator>

#include "odbc/globals.h"
#include "tests/xa/xa_fixture.h"
#include "util/trace.h"

namespace xatest {
namespace {

std::atomic<long> g_prepareThread{0};
std::atomic<long> g_sessionThread{0};
AgentSlotType<DRV_Prepare> g_realPrepare = nullptr;

std::atomic<bool> g_refuseDisconnect{false};
AgentSlotType<DRV_Disconnect> g_realDisconnect = nullptr;

ErrCode MaybeRefusingDisconnect(uint32_t conn) {
    if (g_refuseDisconnect.exchange(false)) return ErrCode(15);
    return g_realDisconnect(conn);
}

ErrCode RecordingPrepare(uint32_t stmt, const char* text) {
    g_prepareThread = TraceThreadId();
    return g_realPrepare(stmt, text);
}

void SessionHook(const char* text) {
    if (std::strncmp(text, "set session with xa_xid=", 24) == 0) g_sessionThread = TraceThreadId();
}

// Lays the XA layer over a copy of the table below whose prepare records its thread.
class XaWorkerTest : public XaTest {
protected:
    AgentLink lower{};
    AgentFuncTable recording{};

    void SetUp() override {
        XaTest::SetUp();
        lower = XaLowerLink();
        ASSERT_NE(lower.table, nullptr);
        recording = *lower.table;
        g_realPrepare = AgentSlotGet<DRV_Prepare>(&recording);
        recording.DRV_Prepare = RecordingPrepare;
        g_realDisconnect = AgentSlotGet<DRV_Disconnect>(&recording);
        recording.DRV_Disconnect = MaybeRefusingDisconnect;
        AgentLink r{lower.word, &recording};
        ASSERT_EQ(XaInterposeOpTable(&r), 0u);
        IngSetQueryHook(SessionHook);
        g_prepareThread = 0;
        g_sessionThread = 0;
    }
    void TearDown() override {
        XaTest::TearDown();
        AgentLink back = lower;
        XaInterposeOpTable(&back);
    }
};

TEST_F(XaWorkerTest, AnEnabledConnectionCarriesItsXaAndStatementCallsOnItsWorker) {
    Table("xw1");
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    const long me = TraceThreadId();
    EXPECT_EQ(XaHolderOf(h), nullptr);
    ASSERT_EQ(Open(h, 1), XA_OK);
    XaConnHolder* holder = XaHolderOf(h);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->enabled, 1u);
    EXPECT_EQ(holder->associated, 1u);
    EXPECT_EQ(holder->keep, 0u);  // the agent answers 0 to the keep item
    ASSERT_EQ(XaWorkerRunning(holder), 1);
    const long worker = long(XaWorkerThreadId(holder));
    EXPECT_NE(worker, 0);
    EXPECT_NE(worker, me);

    XID x = MakeXid(1, "worker", "1");
    ASSERT_EQ(Start(h, &x), XA_OK);
    EXPECT_EQ(g_sessionThread.load(), worker);
    ASSERT_EQ(Run(h, "INSERT INTO xw1 VALUES (1, 'w')"), 0u);
    EXPECT_EQ(g_prepareThread.load(), worker);
    ASSERT_EQ(End(h, &x), XA_OK);
    ASSERT_EQ(Prepare(h, &x), XA_OK);
    ASSERT_EQ(Commit(h, &x), XA_OK);
    EXPECT_EQ(Rows("xw1"), 1);
    ASSERT_EQ(Close(h), XA_OK);

    // Enabled but no longer associated: statements run on the caller again.
    EXPECT_EQ(holder->associated, 0u);
    g_prepareThread = 0;
    ASSERT_EQ(Run(h, "INSERT INTO xw1 VALUES (2, 'c')"), 0u);
    EXPECT_EQ(g_prepareThread.load(), me);
    EXPECT_EQ(Rows("xw1"), 2);
}

TEST_F(XaWorkerTest, AConnectionOpenedWithoutWorkerRunsEverythingOnTheCaller) {
    Table("xw2");
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    const long me = TraceThreadId();
    ASSERT_EQ(Open(h, 0), XA_OK);
    XaConnHolder* holder = XaHolderOf(h);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->enabled, 0u);
    EXPECT_EQ(holder->worker, nullptr);
    XID x = MakeXid(1, "caller", "1");
    ASSERT_EQ(Start(h, &x), XA_OK);
    EXPECT_EQ(g_sessionThread.load(), me);
    ASSERT_EQ(Run(h, "INSERT INTO xw2 VALUES (1, 'w')"), 0u);
    EXPECT_EQ(g_prepareThread.load(), me);
    ASSERT_EQ(End(h, &x, TMNOFLAGS), XA_OK);
    ASSERT_EQ(Rollback(h, &x), XA_OK);
    ASSERT_EQ(Close(h), XA_OK);
    EXPECT_EQ(Rows("xw2"), 0);
}

TEST_F(XaWorkerTest, AfterTheWorkerHasEndedCallsFailAtOnce) {
    Table("xw3");
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(Open(h, 1), XA_OK);
    XID x = MakeXid(1, "dead", "1");
    ASSERT_EQ(Start(h, &x), XA_OK);
    XaConnHolder* holder = XaHolderOf(h);
    XaWorkerKill(holder);
    EXPECT_EQ(XaWorkerRunning(holder), 0);
    uint32_t s = 0;
    EXPECT_EQ(AgentCall<DRV_AllocStmt>(&link, h, &s), 171u);
    EXPECT_EQ(End(h, &x), XAER_RMERR);
    EXPECT_EQ(Commit(h, &x, TMONEPHASE), XAER_RMERR);
    // Disconnecting still ends the session and frees the holder with its worker.
    EXPECT_EQ(Disconnect(h), 0u);
    EXPECT_EQ(Rows("xw3"), 0);
}

TEST_F(XaWorkerTest, EachOpenOfTheIngresAgentStartsAFreshWorker) {
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(Open(h, 1), XA_OK);
    const uint32_t first = XaWorkerThreadId(XaHolderOf(h));
    ASSERT_EQ(Close(h), XA_OK);
    ASSERT_EQ(Open(h, 1), XA_OK);
    XaConnHolder* holder = XaHolderOf(h);
    EXPECT_EQ(XaWorkerRunning(holder), 1);
    EXPECT_NE(XaWorkerThreadId(holder), first);
    ASSERT_EQ(Close(h), XA_OK);
    EXPECT_EQ(Disconnect(h), 0u);
}

TEST_F(XaWorkerTest, ADisconnectTheAgentRefusesLeavesTheWorkerInPlace) {
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(Open(h, 1), XA_OK);
    XaConnHolder* holder = XaHolderOf(h);
    g_refuseDisconnect = true;
    EXPECT_EQ(AgentCall<DRV_Disconnect>(&link, h), 15u);
    EXPECT_EQ(XaHolderOf(h), holder);
    EXPECT_EQ(XaWorkerRunning(holder), 1);
    XID x = MakeXid(1, "still", "1");
    EXPECT_EQ(Start(h, &x), XA_OK);  // still carried by the same worker
    EXPECT_EQ(End(h, &x, TMNOFLAGS), XA_OK);
    EXPECT_EQ(Rollback(h, &x), XA_OK);
    ASSERT_EQ(Close(h), XA_OK);
    EXPECT_EQ(Disconnect(h), 0u);
}

TEST_F(XaWorkerTest, XaVerbsNeedAnOpenAndAKnownConnection) {
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    XID x = MakeXid(1, "none", "1");
    EXPECT_EQ(Start(h, &x), XAER_INVAL);
    EXPECT_EQ(Close(h), XAER_INVAL);
    EXPECT_EQ(Recover(h, &x, 1, TMSTARTRSCAN), XAER_INVAL);
    EXPECT_EQ(AgentCall<DRV_XaOpen>(&link, 0xBBBB0042u, 1u, "", 0, 0L), XAER_INVAL);
    uint32_t s = 7;
    EXPECT_EQ(AgentCall<DRV_AllocStmt>(&link, 0xBBBB0042u, &s), 21u);
    EXPECT_EQ(s, 0u);
    EXPECT_EQ(AgentCall<DRV_Disconnect>(&link, 0xBBBB0042u), 21u);
    EXPECT_EQ(XaHolderSetAssociated(nullptr, 1), 21u);
}

TEST(XaLayerTable, ReplacesTheTwentyTwoSlotsAndKeepsTheRest) {
    AgentLink link{};
    ASSERT_EQ(AgentStackInstall(&link), 0);
    const AgentFuncTable* below = XaLowerLink().table;
    ASSERT_NE(below, nullptr);
    const int replaced[] = {6, 7, 8, 11, 13, 19, 20, 24, 43, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64};
    for (int slot = 0; slot < kAgentSlotCount; ++slot) {
        bool isReplaced = std::find(std::begin(replaced), std::end(replaced), slot) != std::end(replaced);
        if (isReplaced) {
            EXPECT_FALSE(AgentSlotSame(link.table, below, slot)) << slot;
        } else {
            EXPECT_TRUE(AgentSlotSame(link.table, below, slot)) << slot;
        }
    }
    // The agent leaves 38 and 39 empty: they stay empty, so callers keep seeing "not capable".
    // The cursor layer fills 54, which the XA layer then wraps.
    for (int slot : {38, 39}) EXPECT_FALSE(AgentSlotFilled(link.table, slot));
    EXPECT_TRUE(AgentSlotFilled(link.table, 54));
}

}  // namespace
}  // namespace xatest
