// The agent's XA branch manager against the embedded engine.
#include "tests/xa/xa_fixture.h"
#include "util/trymem.h"

namespace xatest {
namespace {

// The branch moves the agent and the DTC enlistment make, and none other: a branch is never
// prepared unless ended, never active again once prepared or rollback-only.
TEST(XaBranchMoves, OnlyTheMovesOfTheProtocol) {
    const XaBranchState all[] = {kXaNone, kXaActive, kXaEnded, kXaPrepared, kXaRollbackOnly, kXaHeuristic};
    const char* allowed[] = {
        // to:    none active ended prepared rollback-only heuristic
        "110001",  // from none
        "111011",  // from active
        "111111",  // from ended
        "100101",  // from prepared
        "100011",  // from rollback-only
        "100001",  // from heuristic
    };
    for (int f = 0; f < 6; ++f)
        for (int t = 0; t < 6; ++t)
            EXPECT_EQ(XaBranchMoveAllowed(all[f], all[t]), allowed[f][t] == '1') << "from " << f << " to " << t;
}

TEST(XaBranchText, FollowsTheSessionOptionFormat) {
    XID x = MakeXid(1, "abc", "d");
    char text[1024];
    ASSERT_EQ(XidToText(&x, text, sizeof text), 1);
    EXPECT_STREQ(text, "'00000001:3:1:61626364:XA:0:7:EX'");
    XID odd = MakeXid(0x1234ABCD, "12345", "xy");
    ASSERT_EQ(XidToText(&odd, text, sizeof text), 1);
    EXPECT_STREQ(text, "'1234ABCD:5:2:31323334:35787900:XA:0:7:EX'");
    char small[8];
    EXPECT_EQ(XidToText(&x, small, sizeof small), 0);
}

TEST(XaBranchText, ReadsBackWhatItWritesAndRefusesBadLengths) {
    XID parsed{};
    ASSERT_EQ(XidFromText("00000001:3:1:61626364:XA:0:7:EX", &parsed), 1);
    XID x = MakeXid(1, "abc", "d");
    EXPECT_EQ(XidEqual(&parsed, &x), 1);
    ASSERT_EQ(XidFromText("1234ABCD:5:2:31323334:35787900:", &parsed), 1);
    XID odd = MakeXid(0x1234ABCD, "12345", "xy");
    EXPECT_EQ(XidEqual(&parsed, &odd), 1);
    const char* bad[] = {"",       "1:3",           "1:0:1:00000000:",  "1:65:1:00:",      "1:3:65:00:",
                         "1:3:1:", "1:3:1:6162636", "zz:3:1:61626364:", "1:3:-1:61626300:"};
    for (const char* t : bad) EXPECT_EQ(XidFromText(t, &parsed), 0) << t;
}

TEST(XaBranchText, IdentifiersWithLengthsOutsideTheStandardAreNeverEqualOrWritten) {
    XID x = MakeXid(1, "abc", "d");
    XID y = x;
    y.gtrid_length = 200;
    char text[1024];
    EXPECT_EQ(XidEqual(&x, &y), 0);
    EXPECT_EQ(XidEqual(&y, &y), 0);
    EXPECT_EQ(XidToText(&y, text, sizeof text), 0);
    y.gtrid_length = -1;
    EXPECT_EQ(XidToText(&y, text, sizeof text), 0);
    XID cleared;
    XidClear(&cleared);
    EXPECT_EQ(XidIsNull(&cleared), 1);
    EXPECT_EQ(XidIsNull(nullptr), 1);
    EXPECT_EQ(XidIsNull(&x), 0);
}

class XaBranchTest : public XaTest {};

TEST_F(XaBranchTest, TwoPhaseCommitMakesTheBranchsWorkVisible) {
    Table("xb1");
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(Open(h), XA_OK);
    // A fresh plain session from the open on: the application's statements run before any branch.
    EXPECT_NE(Conn(h)->connHandle, Conn(h)->server->env);
    EXPECT_EQ(Run(h, "SELECT COUNT(*) FROM xb1"), 0u) << ::testing::PrintToString(Errors(h));
    XID x = MakeXid(7, "gtrid-1", "b1");
    ASSERT_EQ(Start(h, &x), XA_OK);
    EXPECT_TRUE(SentQuery("set session with xa_xid='00000007:7:2:67747269:642D3162:31000000:XA:0:7:EX'"));
    ASSERT_EQ(Run(h, "INSERT INTO xb1 VALUES (1, 'one')"), 0u) << ::testing::PrintToString(Errors(h));
    ASSERT_EQ(Run(h, "INSERT INTO xb1 VALUES (2, 'two')"), 0u);
    // Local transaction control is refused inside the global transaction.
    EXPECT_EQ(AgentCall<DRV_Commit>(&link, h), 124u);
    EXPECT_EQ(Rows("xb1"), 0);
    ASSERT_EQ(End(h, &x), XA_OK);
    EXPECT_EQ(Conn(h)->xaParked, 1u);
    EXPECT_EQ(XaBranchListCount(Conn(h)->server->branches), 1u);
    ASSERT_EQ(Prepare(h, &x), XA_OK);
    EXPECT_EQ(XaBranchListCount(Conn(h)->server->branches), 0u);
    EXPECT_EQ(Conn(h)->xaState, 3u);
    EXPECT_EQ(Rows("xb1"), 0);
    ASSERT_EQ(Commit(h, &x), XA_OK);
    EXPECT_EQ(Conn(h)->xaState, 0u);
    EXPECT_EQ(XidIsNull(&Conn(h)->xid), 1);
    EXPECT_EQ(Rows("xb1"), 2);
    ASSERT_EQ(Close(h), XA_OK);
    // Back to a plain autocommit session.
    EXPECT_EQ(Exec(h, "INSERT INTO xb1 VALUES (3, 'three')"), 0u);
    EXPECT_EQ(Rows("xb1"), 3);
}

TEST_F(XaBranchTest, RollbackOfAnEndedBranchDiscardsItsWork) {
    Table("xb2");
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(Open(h), XA_OK);
    XID x = MakeXid(1, "rb", "1");
    ASSERT_EQ(Start(h, &x), XA_OK);
    ASSERT_EQ(Run(h, "INSERT INTO xb2 VALUES (1, 'one')"), 0u);
    ASSERT_EQ(End(h, &x, TMNOFLAGS), XA_OK);
    EXPECT_EQ(Conn(h)->xaParked, 0u);
    ASSERT_EQ(Rollback(h, &x), XA_OK);
    EXPECT_EQ(Rows("xb2"), 0);
    // A new branch on the same session after the first has ended.
    XID y = MakeXid(1, "rb", "2");
    ASSERT_EQ(Start(h, &y), XA_OK);
    ASSERT_EQ(Run(h, "INSERT INTO xb2 VALUES (2, 'two')"), 0u);
    ASSERT_EQ(End(h, &y, TMNOFLAGS), XA_OK);
    ASSERT_EQ(Commit(h, &y, TMONEPHASE), XA_OK);
    EXPECT_EQ(Rows("xb2"), 1);
    ASSERT_EQ(Close(h), XA_OK);
}

TEST_F(XaBranchTest, VerbsOutOfOrderOrWithBadFlagsAreRefused) {
    Table("xb3");
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    XID x = MakeXid(1, "order", "1");
    EXPECT_EQ(Open(h, 0, TMASYNC), XAER_INVAL);
    ASSERT_EQ(Open(h), XA_OK);
    // The agent asks for a fresh holder at every open, so a second open starts over.
    EXPECT_EQ(Open(h), XA_OK);
    EXPECT_EQ(End(h, &x), XAER_PROTO);
    EXPECT_EQ(Start(h, &x, TMRESUME), XAER_INVAL);
    EXPECT_EQ(Start(h, &x, TMASYNC), XAER_INVAL);
    ASSERT_EQ(Start(h, &x), XA_OK);
    EXPECT_EQ(Start(h, &x), XAER_PROTO);
    // Suspending is not offered: the branch stays active.
    EXPECT_EQ(End(h, &x, TMSUSPEND), XAER_INVAL);
    EXPECT_EQ(Conn(h)->xaState, 1u);
    XID other = MakeXid(1, "order", "2");
    EXPECT_EQ(End(h, &other), XAER_NOTA);
    ASSERT_EQ(Run(h, "INSERT INTO xb3 VALUES (1, 'x')"), 0u);
    ASSERT_EQ(End(h, &x, TMNOFLAGS), XA_OK);
    // An ended branch commits in one phase only; a prepared one in two only.
    EXPECT_EQ(Commit(h, &x), XAER_PROTO);
    ASSERT_EQ(Prepare(h, &x), XA_OK);
    EXPECT_EQ(Prepare(h, &x), XAER_PROTO);
    EXPECT_EQ(Commit(h, &x, TMONEPHASE), XAER_PROTO);
    EXPECT_EQ(Commit(h, &x, TMASYNC), XAER_INVAL);  // refused: the branch stays prepared
    EXPECT_EQ(Conn(h)->xaState, 3u);
    EXPECT_EQ(Rollback(h, &x), XA_OK);
    EXPECT_EQ(Conn(h)->xaState, 0u);
    EXPECT_EQ(Rows("xb3"), 0);
    EXPECT_EQ(AgentCall<DRV_XaForget>(&link, h, &x, 0, 0L), XAER_NOTA);
    int hv = 0, rv = 0;
    EXPECT_EQ(AgentCall<DRV_XaComplete>(&link, h, &hv, &rv, 0, 0L), XAER_INVAL);
    EXPECT_EQ(Close(h, TMASYNC), XAER_INVAL);
    ASSERT_EQ(Close(h), XA_OK);
}

TEST_F(XaBranchTest, FailedEndMakesTheBranchRollbackOnly) {
    Table("xb4");
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(Open(h), XA_OK);
    XID x = MakeXid(3, "fail", "1");
    ASSERT_EQ(Start(h, &x), XA_OK);
    ASSERT_EQ(Run(h, "INSERT INTO xb4 VALUES (1, 'x')"), 0u);
    ASSERT_EQ(End(h, &x, TMFAIL), XA_OK);
    EXPECT_EQ(Conn(h)->xaState, 4u);
    EXPECT_EQ(Prepare(h, &x), XAER_PROTO);
    EXPECT_EQ(Commit(h, &x, TMONEPHASE), XAER_PROTO);
    ASSERT_EQ(Rollback(h, &x), XA_OK);
    EXPECT_EQ(Rows("xb4"), 0);
    ASSERT_EQ(Close(h), XA_OK);
}

TEST_F(XaBranchTest, AParkedBranchIsJoinedAgainOrPreparedByAnotherConnection) {
    Table("xb5");
    uint32_t a = 0, b = 0;
    ASSERT_EQ(Connect(&a), 0u);
    ASSERT_EQ(Connect(&b), 0u);
    ASSERT_EQ(Open(a), XA_OK);
    ASSERT_EQ(Open(b), XA_OK);
    XID x = MakeXid(5, "join", "1");
    ASSERT_EQ(Start(a, &x), XA_OK);
    ASSERT_EQ(Run(a, "INSERT INTO xb5 VALUES (1, 'a')"), 0u);
    ASSERT_EQ(End(a, &x), XA_OK);
    // Joined again by its own connection: the same session carries on.
    ASSERT_EQ(Start(a, &x, TMJOIN), XA_OK);
    EXPECT_EQ(Conn(a)->xaParked, 0u);
    ASSERT_EQ(Run(a, "INSERT INTO xb5 VALUES (2, 'a')"), 0u);
    ASSERT_EQ(End(a, &x), XA_OK);
    // Another connection prepares it, taking the session over; a joins nothing now.
    ASSERT_EQ(Prepare(b, &x), XA_OK);
    EXPECT_EQ(Start(a, &x, TMJOIN), XAER_NOTA);
    ASSERT_EQ(Commit(b, &x), XA_OK);
    EXPECT_EQ(Rows("xb5"), 2);
    // Preparing what nobody holds.
    XID none = MakeXid(5, "join", "9");
    EXPECT_EQ(Prepare(b, &none), XAER_NOTA);
    ASSERT_EQ(Close(a), XA_OK);
    ASSERT_EQ(Close(b), XA_OK);
}

TEST_F(XaBranchTest, AParkedBranchCommittedInOnePhaseByAnotherConnectionKeepsItsWork) {
    Table("xb6");
    uint32_t a = 0, b = 0;
    ASSERT_EQ(Connect(&a), 0u);
    ASSERT_EQ(Connect(&b), 0u);
    ASSERT_EQ(Open(a), XA_OK);
    ASSERT_EQ(Open(b), XA_OK);
    XID x = MakeXid(6, "park", "1");
    ASSERT_EQ(Start(a, &x), XA_OK);
    ASSERT_EQ(Run(a, "INSERT INTO xb6 VALUES (1, 'a')"), 0u);
    ASSERT_EQ(End(a, &x), XA_OK);
    EXPECT_EQ(Commit(b, &x), XAER_PROTO);  // two-phase commit of an unprepared branch
    ASSERT_EQ(Commit(b, &x, TMONEPHASE), XA_OK);
    EXPECT_EQ(Rows("xb6"), 1);
    EXPECT_EQ(XaBranchListCount(Conn(a)->server->branches), 0u);
    ASSERT_EQ(Close(a), XA_OK);
    ASSERT_EQ(Close(b), XA_OK);
}

TEST_F(XaBranchTest, APreparedBranchOutlivesItsSessionAndIsFinishedFromANewOne) {
    Table("xb7");
    uint32_t a = 0, b = 0;
    ASSERT_EQ(Connect(&a), 0u);
    ASSERT_EQ(Open(a), XA_OK);
    XID x = MakeXid(9, "survive", "1");
    XID y = MakeXid(9, "survive", "2");
    for (XID* id : {&x, &y}) {
        ASSERT_EQ(Start(a, id), XA_OK);
        // The engine lets one prepared branch at a time hold a database's write lock.
        if (id == &x) {
            ASSERT_EQ(Run(a, "INSERT INTO xb7 VALUES (1, 'x')"), 0u);
        }
        ASSERT_EQ(End(a, id, TMNOFLAGS), XA_OK);
        ASSERT_EQ(Prepare(a, id), XA_OK);
        if (id == &x) {
            // The session goes; the prepared branch stays in doubt.
            ASSERT_EQ(Close(a), XA_OK);
            ASSERT_EQ(Open(a), XA_OK);
        }
    }
    ASSERT_EQ(Close(a), XA_OK);
    ASSERT_EQ(Disconnect(a), 0u);

    ASSERT_EQ(Connect(&b), 0u);
    ASSERT_EQ(Open(b), XA_OK);
    XID found[8];
    int n = Recover(b, found, 8, TMSTARTRSCAN | TMENDRSCAN);
    ASSERT_EQ(n, 2);
    bool sawX = false, sawY = false;
    for (int i = 0; i < n; ++i) {
        sawX = sawX || XidEqual(&found[i], &x);
        sawY = sawY || XidEqual(&found[i], &y);
    }
    EXPECT_TRUE(sawX);
    EXPECT_TRUE(sawY);
    ASSERT_EQ(Commit(b, &x), XA_OK);
    ASSERT_EQ(Rollback(b, &y), XA_OK);
    EXPECT_EQ(Rows("xb7"), 1);
    EXPECT_EQ(Recover(b, found, 8, TMSTARTRSCAN | TMENDRSCAN), 0);
    ASSERT_EQ(Close(b), XA_OK);
}

TEST_F(XaBranchTest, RecoveryHandsTheInDoubtListOutInBatchesAndBeyondThirtyTwo) {
    Table("xb8");
    uint32_t a = 0, b = 0;
    ASSERT_EQ(Connect(&a), 0u);
    ASSERT_EQ(Connect(&b), 0u);
    ASSERT_EQ(Open(a), XA_OK);
    ASSERT_EQ(Open(b), XA_OK);
    XID scratch[2];
    EXPECT_EQ(Recover(b, scratch, 2, TMNOFLAGS), XAER_INVAL);  // no scan started
    EXPECT_EQ(Recover(b, nullptr, 1, TMSTARTRSCAN), XAER_INVAL);
    EXPECT_EQ(Recover(b, scratch, -1, TMSTARTRSCAN), XAER_INVAL);
    // Read-only prepared branches: each leaves a session behind until it is finished.
    const int kBranches = 35;
    std::vector<XID> ids;
    for (int i = 0; i < kBranches; ++i) {
        XID x = MakeXid(2, "many-" + std::to_string(i), "b");
        ASSERT_EQ(Start(a, &x), XA_OK) << i;
        ASSERT_EQ(End(a, &x, TMNOFLAGS), XA_OK);
        ASSERT_EQ(Prepare(a, &x), XA_OK);
        ASSERT_EQ(Close(a), XA_OK);
        ASSERT_EQ(Open(a), XA_OK);
        ids.push_back(x);
    }
    EXPECT_EQ(Recover(b, scratch, 0, TMSTARTRSCAN), 0);  // a scan that hands out nothing yet
    std::vector<XID> all;
    for (;;) {
        XID batch[10];
        int n = Recover(b, batch, 10, TMNOFLAGS);
        ASSERT_GE(n, 0);
        all.insert(all.end(), batch, batch + n);
        if (n < 10) break;
    }
    EXPECT_EQ(int(all.size()), kBranches);
    for (const XID& x : ids) {
        bool seen = false;
        for (const XID& y : all) seen = seen || XidEqual(&x, &y);
        EXPECT_TRUE(seen);
    }
    EXPECT_EQ(Recover(b, scratch, 2, TMENDRSCAN), 0);
    EXPECT_EQ(Recover(b, scratch, 2, TMNOFLAGS), XAER_INVAL);  // the scan has ended
    for (XID& x : ids) EXPECT_EQ(Rollback(b, &x), XA_OK);
    EXPECT_EQ(Recover(b, scratch, 2, TMSTARTRSCAN | TMENDRSCAN), 0);
    ASSERT_EQ(Close(a), XA_OK);
    ASSERT_EQ(Close(b), XA_OK);
}

TEST_F(XaBranchTest, ANodeTargetRecoversFromThatNodesMasterDatabaseByDatabaseName) {
    uint32_t a = 0, b = 0;
    ASSERT_EQ(Connect(&a, "localnode::agentdb"), 0u) << ::testing::PrintToString(Errors(0));
    ASSERT_EQ(Connect(&b, "localnode::agentdb"), 0u);
    ASSERT_EQ(Open(a), XA_OK);
    ASSERT_EQ(Open(b), XA_OK);
    XID x = MakeXid(4, "node", "1");
    ASSERT_EQ(Start(a, &x), XA_OK);
    ASSERT_EQ(End(a, &x, TMNOFLAGS), XA_OK);
    ASSERT_EQ(Prepare(a, &x), XA_OK);
    ASSERT_EQ(Close(a), XA_OK);
    XID found[4];
    ASSERT_EQ(Recover(b, found, 4, TMSTARTRSCAN | TMENDRSCAN), 1);
    EXPECT_EQ(XidEqual(&found[0], &x), 1);
    ASSERT_EQ(Rollback(b, &x), XA_OK);
    EXPECT_EQ(Recover(b, found, 4, TMSTARTRSCAN | TMENDRSCAN), 0);
    ASSERT_EQ(Close(b), XA_OK);
}

// A commit or rollback of an identifier no session prepared (never started, or finished
// already) finds no branch, from any connection.
TEST_F(XaBranchTest, OutcomesOfBranchesNobodyHoldsAreNotA) {
    Table("xb11");
    uint32_t a = 0, b = 0;
    ASSERT_EQ(Connect(&a), 0u);
    ASSERT_EQ(Connect(&b), 0u);
    ASSERT_EQ(Open(a), XA_OK);
    ASSERT_EQ(Open(b), XA_OK);
    XID never = MakeXid(11, "never", "1");
    EXPECT_EQ(Commit(b, &never), XAER_NOTA);
    EXPECT_EQ(Rollback(b, &never), XAER_NOTA);
    EXPECT_EQ(Commit(b, &never, TMONEPHASE), XAER_NOTA);
    XID x = MakeXid(11, "done", "1");
    ASSERT_EQ(Start(a, &x), XA_OK);
    ASSERT_EQ(Run(a, "INSERT INTO xb11 VALUES (1, 'a')"), 0u);
    ASSERT_EQ(End(a, &x), XA_OK);
    ASSERT_EQ(Prepare(a, &x), XA_OK);
    ASSERT_EQ(Commit(a, &x), XA_OK);
    EXPECT_EQ(Commit(b, &x), XAER_NOTA);
    EXPECT_EQ(Rollback(b, &x), XAER_NOTA);
    EXPECT_EQ(Rows("xb11"), 1);
    ASSERT_EQ(Close(a), XA_OK);
    ASSERT_EQ(Close(b), XA_OK);
}

// The connection's own parked branch finished in one phase (or rolled back) takes its session
// along: the connection gets a plain one, and its statements run as after a two-phase commit.
TEST_F(XaBranchTest, AfterItsParkedBranchEndsTheConnectionHasAPlainSession) {
    Table("xb12");
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(Open(h), XA_OK);
    int id = 0;
    for (bool commit : {true, false}) {
        SCOPED_TRACE(commit ? "commit" : "rollback");
        XID x = MakeXid(12, "park", std::to_string(++id));
        ASSERT_EQ(Start(h, &x), XA_OK);
        ASSERT_EQ(Run(h, ("INSERT INTO xb12 VALUES (" + std::to_string(id) + ", 'p')").c_str()), 0u);
        ASSERT_EQ(End(h, &x, TMSUCCESS), XA_OK);
        EXPECT_EQ(Conn(h)->connHandle, Conn(h)->server->env);  // parked: the session lies in the list
        ASSERT_EQ(commit ? Commit(h, &x, TMONEPHASE) : Rollback(h, &x), XA_OK);
        EXPECT_NE(Conn(h)->connHandle, Conn(h)->server->env);
        EXPECT_EQ(Run(h, "SELECT COUNT(*) FROM xb12"), 0u) << ::testing::PrintToString(Errors(h));
    }
    EXPECT_EQ(Rows("xb12"), 1);
    ASSERT_EQ(Close(h), XA_OK);
}

TEST_F(XaBranchTest, UnknownConnectionsAreInvalidArguments) {
    XID x = MakeXid(1, "x", "y");
    EXPECT_EQ(IngXaOpen(0xBBBB0077u, 0, "", 0, 0), XAER_INVAL);
    EXPECT_EQ(IngXaStart(0xBBBB0077u, &x, 0, 0), XAER_INVAL);
    EXPECT_EQ(IngXaRecover(0xBBBB0077u, &x, 1, 0, TMSTARTRSCAN), XAER_INVAL);
    EXPECT_EQ(Start(0xBBBB0077u, &x), XAER_INVAL);
}

// Every allocation fails while it lives.
struct OutOfMemory {
    OutOfMemory() { TryMemFailFrom(0); }
    ~OutOfMemory() { TryMemFailAfter(-1); }
};

TEST_F(XaBranchTest, OutOfMemoryOnlyParkingFailsAndTheBranchStaysActiveOnItsSession) {
    Table("xb9");
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(Open(h), XA_OK);
    struct Row {
        long flags;
        int result;
        uint32_t state;
    } rows[] = {
        {TMSUCCESS, XAER_PROTO, 1},  // no entry for the server's list: nothing parked
        {TMNOFLAGS, XA_OK, 2},
        {TMFAIL, XA_OK, 4},
    };
    int id = 0;
    for (const Row& r : rows) {
        XID x = MakeXid(8, "oom", std::to_string(++id));
        ASSERT_EQ(Start(h, &x), XA_OK);
        std::string insert = "INSERT INTO xb9 VALUES (" + std::to_string(id) + ", 'first')";
        ASSERT_EQ(Run(h, insert.c_str()), 0u);
        void* session = Conn(h)->connHandle;
        void* xidHandle = Conn(h)->xaXidHandle;
        {
            OutOfMemory oom;
            EXPECT_EQ(End(h, &x, r.flags), r.result) << r.flags;
        }
        EXPECT_EQ(Conn(h)->xaState, r.state) << r.flags;
        EXPECT_EQ(Conn(h)->xaParked, 0u) << r.flags;
        EXPECT_EQ(Conn(h)->connHandle, session) << r.flags;
        EXPECT_EQ(Conn(h)->xaXidHandle, xidHandle) << r.flags;
        EXPECT_EQ(XidEqual(&Conn(h)->xid, &x), 1) << r.flags;
        EXPECT_EQ(XaBranchListCount(Conn(h)->server->branches), 0u) << r.flags;
        if (r.state == 1) {
            // Still the branch's session: more work, then the parking the transaction manager retries.
            ASSERT_EQ(Run(h, ("INSERT INTO xb9 VALUES (" + std::to_string(id) + ", 'second')").c_str()), 0u);
            ASSERT_EQ(End(h, &x, TMSUCCESS), XA_OK);
            EXPECT_EQ(Conn(h)->xaParked, 1u);
            ASSERT_EQ(Prepare(h, &x), XA_OK);
            ASSERT_EQ(Commit(h, &x), XA_OK);
        } else if (r.state == 2) {
            ASSERT_EQ(Commit(h, &x, TMONEPHASE), XA_OK);
        } else {
            ASSERT_EQ(Rollback(h, &x), XA_OK);
        }
    }
    EXPECT_EQ(Rows("xb9"), 3);  // two rows of the first branch, one of the second
    ASSERT_EQ(Close(h), XA_OK);
}

// A refused commit or rollback leaves the branch as it was, wherever it lies.
TEST_F(XaBranchTest, AsynchronousCommitOrRollbackIsRefusedAndChangesNothing) {
    Table("xb10");
    uint32_t h = 0;
    ASSERT_EQ(Connect(&h), 0u);
    ASSERT_EQ(Open(h), XA_OK);
    struct Row {
        const char* name;
        long endFlags;
        bool prepare;
    } rows[] = {
        {"ended", TMNOFLAGS, false},
        {"prepared", TMNOFLAGS, true},
        {"rollback-only", TMFAIL, false},
        {"parked", TMSUCCESS, false},
    };
    int id = 0;
    int64_t committed = 0;
    for (const Row& r : rows) {
        for (bool refusedRollback : {false, true}) {
            SCOPED_TRACE(std::string(r.name) + (refusedRollback ? " rollback" : " commit"));
            ++id;
            XID x = MakeXid(10, "async", std::to_string(id));
            ASSERT_EQ(Start(h, &x), XA_OK);
            ASSERT_EQ(Run(h, ("INSERT INTO xb10 VALUES (" + std::to_string(id) + ", 'x')").c_str()), 0u);
            ASSERT_EQ(End(h, &x, r.endFlags), XA_OK);
            if (r.prepare) {
                ASSERT_EQ(Prepare(h, &x), XA_OK);
            }
            struct {
                uint32_t xaState, xaParked;
                void *connHandle, *tranHandle, *xaXidHandle;
            } before = {Conn(h)->xaState, Conn(h)->xaParked, Conn(h)->connHandle, Conn(h)->tranHandle,
                        Conn(h)->xaXidHandle};
            const uint32_t parked = XaBranchListCount(Conn(h)->server->branches);
            EXPECT_EQ(refusedRollback ? Rollback(h, &x, TMASYNC) : Commit(h, &x, TMASYNC), XAER_INVAL);
            EXPECT_EQ(Conn(h)->xaState, before.xaState);
            EXPECT_EQ(Conn(h)->xaParked, before.xaParked);
            EXPECT_EQ(Conn(h)->connHandle, before.connHandle);
            EXPECT_EQ(Conn(h)->tranHandle, before.tranHandle);
            EXPECT_EQ(Conn(h)->xaXidHandle, before.xaXidHandle);
            EXPECT_EQ(XidEqual(&Conn(h)->xid, &x), 1);
            EXPECT_EQ(XaBranchListCount(Conn(h)->server->branches), parked);
            // The branch finishes as if the refused call had never come.
            if (r.endFlags == TMFAIL) {
                ASSERT_EQ(Rollback(h, &x), XA_OK);
            } else if (r.endFlags == TMSUCCESS) {
                ASSERT_EQ(Start(h, &x, TMJOIN), XA_OK);
                ASSERT_EQ(End(h, &x, TMNOFLAGS), XA_OK);
                ASSERT_EQ(Commit(h, &x, TMONEPHASE), XA_OK);
                ++committed;
            } else {
                ASSERT_EQ(Commit(h, &x, r.prepare ? TMNOFLAGS : TMONEPHASE), XA_OK);
                ++committed;
            }
            EXPECT_EQ(Conn(h)->xaState, 0u);
            EXPECT_EQ(Rows("xb10"), committed);
        }
    }
    ASSERT_EQ(Close(h), XA_OK);
}

}  // namespace
}  // namespace xatest
