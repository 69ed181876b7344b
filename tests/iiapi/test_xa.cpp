// Distributed transaction branches: binding a session, preparing, finishing from a new session,
// and the master database's in-doubt list.
#include "api_support.h"

using namespace apitest;

namespace {

// The branch text as a client writes it for "set session with xa_xid=".
const char* kBranch = "00000001:3:1:61626364:XA:0:7:EX";

II_PTR registerXid(const char* gtrid = "abc", const char* bqual = "d") {
    IIAPI_REGXIDPARM rg{};
    rg.rg_tranID.ti_type = IIAPI_TI_XAXID;
    auto& x = rg.rg_tranID.ti_value.xaXID;
    x.xa_formatID = 1;
    x.xa_gtridLength = II_LONG(std::strlen(gtrid));
    x.xa_bqualLength = II_LONG(std::strlen(bqual));
    std::memcpy(x.xa_data, gtrid, std::strlen(gtrid));
    std::memcpy(x.xa_data + std::strlen(gtrid), bqual, std::strlen(bqual));
    x.xa_branchSeqnum = 0;
    x.xa_branchFlag = 7;
    IIapi_registerXID(&rg);
    EXPECT_EQ(rg.rg_status, IIAPI_ST_SUCCESS);
    return rg.rg_tranIdHandle;
}

void releaseXid(II_PTR h) {
    IIAPI_RELXIDPARM rl{};
    rl.rl_tranIdHandle = h;
    IIapi_releaseXID(&rl);
    EXPECT_EQ(rl.rl_status, IIAPI_ST_SUCCESS);
}

IIAPI_STATUS prepare(II_PTR tran) {
    IIAPI_PREPCMTPARM pc{};
    pc.pr_tranHandle = tran;
    IIapi_prepareCommit(&pc);
    return finish(pc.pr_genParm);
}

// Connects a session whose transaction is the registered branch.
IIAPI_STATUS connectWithXid(Session& s, const std::string& db, II_PTR xid) {
    IIAPI_CONNPARM co{};
    co.co_target = const_cast<char*>(db.c_str());
    co.co_connHandle = environment();
    co.co_tranHandle = xid;
    co.co_type = IIAPI_CT_SQL;
    co.co_timeout = -1;
    IIapi_connect(&co);
    IIAPI_STATUS st = finish(co.co_genParm);
    if (st == IIAPI_ST_SUCCESS) {
        s.conn = co.co_connHandle;
        s.tran = co.co_tranHandle;
    }
    return st;
}

std::vector<std::string> inDoubt(const std::string& db) {
    Session m;
    EXPECT_EQ(m.connect(environment(), "iidbdb"), IIAPI_ST_SUCCESS);
    Result r = m.exec("select trim(xa_dis_tran_id) from lgmo_xa_dis_tran_ids where xa_database_name = '" + db +
                      "' and xa_seqnum = 0");
    EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    std::vector<std::string> out;
    for (auto& row : r.rows) out.push_back(row.at(0).value_or("<null>"));
    m.rollback();
    return out;
}

class Xa : public ::testing::Test {
protected:
    void SetUp() override {
        db = freshDatabase();
        Session s;
        ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE TABLE t (k integer)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    }
    long count() {
        Session s;
        EXPECT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
        Result r = s.run("SELECT count(*) FROM t", {}, IIAPI_QT_SELECT_SINGLE);
        s.rollback();
        return r.rows.size() == 1 ? std::stol(r.rows[0][0].value_or("-1")) : -1;
    }
    std::string db;
};

TEST_F(Xa, PreparedBranchOutlivesItsSessionAndIsCommittedFromANewOne) {
    {
        Session a;
        ASSERT_EQ(a.connect(environment(), db), IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.exec(std::string("set session with xa_xid='") + kBranch + "'").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.exec("INSERT INTO t VALUES (1)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(prepare(a.tran), IIAPI_ST_SUCCESS);
        // The session ends without committing; the branch stays in doubt.
        a.tran = nullptr;
    }
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(inDoubt(db), (std::vector<std::string>{kBranch}));
    EXPECT_TRUE(inDoubt("otherdb").empty());
    II_PTR xid = registerXid();
    Session b;
    ASSERT_EQ(connectWithXid(b, db, xid), IIAPI_ST_SUCCESS);
    ASSERT_NE(b.tran, nullptr);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    releaseXid(xid);
    b.disconnect();
    EXPECT_EQ(count(), 1);
    EXPECT_TRUE(inDoubt(db).empty());
}

TEST_F(Xa, PreparedBranchRolledBackFromANewSession) {
    II_PTR xid = registerXid("g1", "b1");
    {
        Session a;
        ASSERT_EQ(connectWithXid(a, db, xid), IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.exec("INSERT INTO t VALUES (2)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(prepare(a.tran), IIAPI_ST_SUCCESS);
        a.tran = nullptr;
    }
    EXPECT_EQ(inDoubt(db).size(), 1u);
    Session b;
    ASSERT_EQ(connectWithXid(b, db, xid), IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.rollback(), IIAPI_ST_SUCCESS);
    b.disconnect();
    releaseXid(xid);
    EXPECT_EQ(count(), 0);
    EXPECT_TRUE(inDoubt(db).empty());
}

TEST_F(Xa, OwnBranchCommitsInTwoPhasesAndOnePhase) {
    Session a;
    ASSERT_EQ(a.connect(environment(), db), IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec(std::string("set session with xa_xid='") + kBranch + "'").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (3)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(prepare(a.tran), IIAPI_ST_SUCCESS);
    EXPECT_EQ(inDoubt(db).size(), 1u);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    EXPECT_TRUE(inDoubt(db).empty());
    EXPECT_EQ(count(), 1);
    // One phase: commit without prepare.
    ASSERT_EQ(a.exec("set session with xa_xid='00000001:2:1:61626300:XA:0:7:EX'").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (4)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(), 2);
}

TEST_F(Xa, RefusalsAndBadInput) {
    Session a;
    ASSERT_EQ(a.connect(environment(), db), IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (5)").status, IIAPI_ST_SUCCESS);
    // A plain transaction cannot be prepared.
    EXPECT_EQ(prepare(a.tran), IIAPI_ST_ERROR);
    EXPECT_EQ(a.exec("set session with xa_xid='nonsense'").status, IIAPI_ST_ERROR);
    EXPECT_EQ(a.exec("set session with xa_xid=42").status, IIAPI_ST_ERROR);
    a.rollback();
    // A branch prepared by one session cannot be bound by another.
    ASSERT_EQ(a.exec(std::string("set session with xa_xid='") + kBranch + "'").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(prepare(a.tran), IIAPI_ST_SUCCESS);
    Session b;
    ASSERT_EQ(b.connect(environment(), db), IIAPI_ST_SUCCESS);
    Result r = b.exec(std::string("set session with xa_xid='") + kBranch + "'");
    EXPECT_EQ(r.status, IIAPI_ST_ERROR);
    ASSERT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
    EXPECT_TRUE(inDoubt(db).empty());
    // A transaction id that is not an XA id is refused at connect.
    IIAPI_REGXIDPARM rg{};
    rg.rg_tranID.ti_type = IIAPI_TI_IIXID;
    IIapi_registerXID(&rg);
    ASSERT_EQ(rg.rg_status, IIAPI_ST_SUCCESS);
    Session c;
    EXPECT_EQ(connectWithXid(c, db, rg.rg_tranIdHandle), IIAPI_ST_ERROR);
    releaseXid(rg.rg_tranIdHandle);
}

}  // namespace
