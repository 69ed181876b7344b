// Transactions, savepoints, autocommit, concurrent sessions and cancel.
#include "tests/iiapi/api_fixture.h"

#include <atomic>
#include <thread>

using namespace apitest;

namespace {

class Txn : public ::testing::Test {
protected:
    void SetUp() override {
        db = freshDatabase();
        ASSERT_EQ(a.connect(environment(), db, "ann"), IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.exec("CREATE TABLE t (k integer, v varchar(10))").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    }
    long count(Session& s, const char* where = "") {
        Result r = s.run(std::string("SELECT count(*) FROM t") + where, {}, IIAPI_QT_SELECT_SINGLE);
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS);
        return r.rows.size() == 1 && r.rows[0][0] ? std::stol(*r.rows[0][0]) : -1;
    }
    std::string db;
    Session a;
};

TEST_F(Txn, FirstStatementStartsATransactionThatCommitEnds) {
    EXPECT_EQ(a.tran, nullptr);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (1, 'x')").status, IIAPI_ST_SUCCESS);
    ASSERT_NE(a.tran, nullptr);
    II_PTR oldTran = a.tran;
    EXPECT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    // The transaction handle is gone with its transaction.
    IIAPI_COMMITPARM cm{};
    cm.cm_tranHandle = oldTran;
    IIapi_commit(&cm);
    EXPECT_EQ(finish(cm.cm_genParm), IIAPI_ST_INVALID_HANDLE);
    EXPECT_EQ(count(a), 1);
}

TEST_F(Txn, RollbackUndoesWork) {
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (1, 'x')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (2, 'y')").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 2);
    EXPECT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 0);
}

TEST_F(Txn, RollbackToSavepointKeepsEarlierWork) {
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (1, 'before')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("SAVEPOINT s1 ").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (2, 'after')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("SAVEPOINT s2").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (3, 'later')").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 3);
    ASSERT_EQ(a.exec("ROLLBACK TO s2").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 2);
    ASSERT_EQ(a.exec("ROLLBACK TO s1").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 1);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 1);
    Result bad = a.exec("ROLLBACK TO nosuch");
    EXPECT_EQ(bad.status, IIAPI_ST_ERROR);
}

TEST_F(Txn, CommitAndRollbackStatements) {
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (1, 'x')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("COMMIT").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (2, 'y')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("ROLLBACK WORK").status, IIAPI_ST_SUCCESS);
    a.tran = nullptr;
    EXPECT_EQ(count(a), 1);
}

TEST_F(Txn, TwoSessionsSeeEachOthersCommittedData) {
    Session b;
    ASSERT_EQ(b.connect(environment(), db, "bea"), IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (1, 'from a')").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(b), 0);  // not yet committed
    ASSERT_EQ(b.rollback(), IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(b), 1);
    ASSERT_EQ(b.rollback(), IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.exec("INSERT INTO t VALUES (2, 'from b')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 2);
}

TEST_F(Txn, SecondWriterPastTheBusyTimeoutFails40001) {
    ASSERT_EQ(iiengine_setControl(IIENGINE_BUSY_TIMEOUT, "100"), 0);
    Session b;
    IIAPI_STATUS st = b.connect(environment(), db, "bea");
    iiengine_setControl(IIENGINE_BUSY_TIMEOUT, nullptr);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (1, 'a holds')").status, IIAPI_ST_SUCCESS);
    Result r = b.exec("INSERT INTO t VALUES (2, 'b waits')");
    EXPECT_EQ(r.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(r.msgs.empty());
    EXPECT_EQ(r.msgs[0].sqlstate, "40001");
    ASSERT_EQ(b.rollback(), IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    // Once the lock is gone the second writer gets through.
    ASSERT_EQ(b.exec("INSERT INTO t VALUES (2, 'b now')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 2);
}

TEST_F(Txn, AutocommitCommitsEachStatement) {
    IIAPI_AUTOPARM ac{};
    ac.ac_connHandle = a.conn;
    IIapi_autocommit(&ac);
    ASSERT_EQ(finish(ac.ac_genParm), IIAPI_ST_SUCCESS);
    ASSERT_NE(ac.ac_tranHandle, nullptr);
    a.tran = ac.ac_tranHandle;
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (1, 'auto')").status, IIAPI_ST_SUCCESS);
    Session b;
    ASSERT_EQ(b.connect(environment(), db), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(b), 1);
    b.rollback();
    // Switching off again needs the autocommit handle.
    IIAPI_AUTOPARM off{};
    off.ac_tranHandle = ac.ac_tranHandle;
    IIapi_autocommit(&off);
    ASSERT_EQ(finish(off.ac_genParm), IIAPI_ST_SUCCESS);
    a.tran = nullptr;
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (2, 'manual')").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(b), 1);
    b.rollback();
    // Autocommit cannot start inside a transaction.
    IIAPI_AUTOPARM again{};
    again.ac_connHandle = a.conn;
    IIapi_autocommit(&again);
    EXPECT_EQ(finish(again.ac_genParm), IIAPI_ST_ERROR);
}

TEST_F(Txn, CommitClosesOpenCursors) {
    for (int k = 0; k < 3; ++k) a.run("INSERT INTO t VALUES (?, 'c')", {pInt(k)});
    IIAPI_STATUS st;
    II_PTR h = a.open("SELECT k FROM t", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    std::vector<IIAPI_DESCRIPTOR> d;
    std::vector<std::string> n;
    ASSERT_EQ(descriptors(h, d, n), IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    int32_t v;
    EXPECT_EQ(fetchOne(h, &v), IIAPI_ST_NO_DATA);
    EXPECT_EQ(Session::close(h), IIAPI_ST_SUCCESS);
}

TEST_F(Txn, CancelFromAnotherThreadInterruptsARunningQuery) {
    // A query that runs until it is interrupted.
    IIAPI_STATUS st;
    II_PTR h = a.open(
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 2000000000) "
        "SELECT max(x) FROM c",
        {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    std::vector<IIAPI_DESCRIPTOR> d;
    std::vector<std::string> n;
    ASSERT_EQ(descriptors(h, d, n), IIAPI_ST_SUCCESS);
    std::atomic<bool> finished{false};
    IIAPI_STATUS fetchStatus = IIAPI_ST_SUCCESS;
    std::vector<Msg> msgs;
    std::thread runner([&] {
        std::vector<char> buf(64);
        fetchStatus = fetchOne(h, buf.data(), &msgs);
        finished = true;
    });
    // Keep cancelling until the running call gives up; a cancel that lands before the step
    // starts is remembered by the statement.
    while (!finished) {
        IIAPI_CANCELPARM cn{};
        cn.cn_stmtHandle = h;
        IIapi_cancel(&cn);
        EXPECT_EQ(finish(cn.cn_genParm), IIAPI_ST_SUCCESS);
        std::this_thread::yield();
    }
    runner.join();
    EXPECT_EQ(fetchStatus, IIAPI_ST_ERROR);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs[0].sqlstate, "S1008");
    EXPECT_EQ(Session::close(h), IIAPI_ST_SUCCESS);
    // The session goes on working.
    EXPECT_EQ(count(a), 0);
}

TEST_F(Txn, CancelledStatementStaysCancelled) {
    for (int k = 0; k < 3; ++k) a.run("INSERT INTO t VALUES (?, 'c')", {pInt(k)});
    IIAPI_STATUS st;
    II_PTR h = a.open("SELECT k FROM t", {}, IIAPI_QT_QUERY, st);
    IIAPI_CANCELPARM cn{};
    cn.cn_stmtHandle = h;
    IIapi_cancel(&cn);
    ASSERT_EQ(finish(cn.cn_genParm), IIAPI_ST_SUCCESS);
    int32_t v;
    std::vector<Msg> m;
    EXPECT_EQ(fetchOne(h, &v, &m), IIAPI_ST_ERROR);
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(m[0].sqlstate, "S1008");
    Session::close(h);
}

TEST_F(Txn, DistributedTransactionIdsRegisterAndRelease) {
    IIAPI_REGXIDPARM rg{};
    rg.rg_tranID.ti_type = IIAPI_TI_XAXID;
    rg.rg_tranID.ti_value.xaXID.xa_formatID = 1;
    rg.rg_tranID.ti_value.xaXID.xa_gtridLength = 3;
    rg.rg_tranID.ti_value.xaXID.xa_bqualLength = 1;
    std::memcpy(rg.rg_tranID.ti_value.xaXID.xa_data, "abcd", 4);
    rg.rg_tranID.ti_value.xaXID.xa_branchFlag = 7;
    IIapi_registerXID(&rg);
    ASSERT_EQ(rg.rg_status, IIAPI_ST_SUCCESS);
    ASSERT_NE(rg.rg_tranIdHandle, nullptr);
    IIAPI_RELXIDPARM rl{};
    rl.rl_tranIdHandle = rg.rg_tranIdHandle;
    IIapi_releaseXID(&rl);
    EXPECT_EQ(rl.rl_status, IIAPI_ST_SUCCESS);
    IIapi_releaseXID(&rl);
    EXPECT_EQ(rl.rl_status, IIAPI_ST_INVALID_HANDLE);
    IIAPI_REGXIDPARM bad{};
    bad.rg_tranID.ti_type = IIAPI_TI_XAXID;
    bad.rg_tranID.ti_value.xaXID.xa_gtridLength = 100;
    IIapi_registerXID(&bad);
    EXPECT_EQ(bad.rg_status, IIAPI_ST_FAILURE);
}

}  // namespace
