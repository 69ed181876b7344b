// DTC enlistment through the in-process coordinator: the connection's work commits or aborts
// with the coordinator's transaction.
#include "platform/dtc.h"
#include "tests/xa/xa_odbc_fixture.h"
#include "tests/xa/xa_fixture.h"
#include "odbc/xa_switch.h"
#include "xa/xa_dtc.h"
#include "xa/xa_trace.h"

namespace xatest {
namespace {

const char kDsn[] = "DSN=xadb;UID=;PWD=";

class DtcTest : public OdbcXaTest {
protected:
    SQLHDBC hdbc = SQL_NULL_HDBC;
    DtcTransaction* txn = nullptr;

    void SetUp() override {
        OdbcXaTest::SetUp();
        ASSERT_EQ(DtcInit(), 0);
    }
    void TearDown() override {
        if (txn) DtcTransactionInterface(txn)->Release();
        txn = nullptr;
        if (hdbc) {
            SQLDisconnect(hdbc);
            SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
        }
        OdbcXaTest::TearDown();
        EXPECT_EQ(DispenserCount(), 0u);
    }

    SQLRETURN Enlist(SQLHDBC h, DtcTransaction* t) {
        return SQLSetConnectAttr(h, SQL_ATTR_ENLIST_IN_DTC, static_cast<SQLPOINTER>(DtcTransactionInterface(t)), 0);
    }
    SQLRETURN Unenlist(SQLHDBC h) {
        return SQLSetConnectAttr(h, SQL_ATTR_ENLIST_IN_DTC, reinterpret_cast<SQLPOINTER>(SQL_DTC_DONE), 0);
    }
};

TEST_F(DtcTest, TwoPhaseCommitOfTheCoordinatorCommitsTheConnectionsWork) {
    Table(kDsn, "xd1");
    hdbc = Connect(kDsn);
    ConnRecord* rec = ConnOf(hdbc);
    ASSERT_NE(rec, nullptr);
    ASSERT_EQ(rec->capXa, 1u);
    txn = DtcTransactionBegin();
    ASSERT_EQ(Enlist(hdbc, txn), SQL_SUCCESS) << Diag(SQL_HANDLE_DBC, hdbc);
    EXPECT_EQ(rec->enlisted, 1u);
    EXPECT_EQ(DispenserState(rec->dispenser), kXaActive);
    XaConnHolder* holder = XaHolderOf(rec->agentConn);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->associated, 1u);
    EXPECT_EQ(XaWorkerRunning(holder), 1);

    ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(hdbc, "INSERT INTO xd1 VALUES (1)")));
    ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(hdbc, "INSERT INTO xd1 VALUES (2)")));
    EXPECT_EQ(Rows(kDsn, "xd1"), 0);
    ASSERT_EQ(DtcTransactionInterface(txn)->Commit(0, 0, 0), S_OK);
    std::vector<DtcEnlistmentRecord> seen = DtcTransactionEnlistments(txn);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].prepareResult, S_OK);
    EXPECT_EQ(seen[0].outcomeResult, S_OK);
    EXPECT_EQ(seen[0].xid.formatID, 0x00445443);
    EXPECT_EQ(DispenserState(rec->dispenser), kXaNone);
    EXPECT_EQ(Rows(kDsn, "xd1"), 2);

    // The coordinator registered the connection under the data source's driver library.
    bool registered = false;
    for (const DtcResourceManagerRecord& rm : DtcResourceManagers())
        registered = registered || (rm.cookie == seen[0].rmCookie && rm.clientDll == "LIBTELVARINU.SO" &&
                                    rm.dsn == "DSN=xadb;UID=;PWD=;");
    EXPECT_TRUE(registered);

    // Leaving the transaction closes XA: the connection works on its own again.
    DtcTransactionInterface(txn)->Release();
    txn = nullptr;
    ASSERT_EQ(Unenlist(hdbc), SQL_SUCCESS) << Diag(SQL_HANDLE_DBC, hdbc);
    EXPECT_EQ(rec->enlisted, 0u);
    EXPECT_EQ(DispenserCount(), 0u);
    ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(hdbc, "INSERT INTO xd1 VALUES (3)")));
    EXPECT_EQ(Rows(kDsn, "xd1"), 3);
    for (const DtcResourceManagerRecord& rm : DtcResourceManagers())
        if (rm.cookie == seen[0].rmCookie) {
            EXPECT_TRUE(rm.released && rm.releasedNormally);
        }
}

TEST_F(DtcTest, AbortOfTheCoordinatorRollsTheConnectionsWorkBack) {
    Table(kDsn, "xd2");
    hdbc = Connect(kDsn);
    txn = DtcTransactionBegin();
    ASSERT_EQ(Enlist(hdbc, txn), SQL_SUCCESS) << Diag(SQL_HANDLE_DBC, hdbc);
    ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(hdbc, "INSERT INTO xd2 VALUES (1)")));
    ASSERT_EQ(DtcTransactionInterface(txn)->Abort(nullptr, 0, 0), S_OK);
    std::vector<DtcEnlistmentRecord> seen = DtcTransactionEnlistments(txn);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].prepareResult, S_FALSE);  // never asked to prepare
    EXPECT_EQ(seen[0].outcomeResult, S_OK);
    EXPECT_EQ(Rows(kDsn, "xd2"), 0);
    EXPECT_EQ(DtcTransactionInterface(txn)->Commit(0, 0, 0), XACT_E_NOTRANSACTION);
}

TEST_F(DtcTest, TwoConnectionsInOneTransactionCommitTogether) {
    Table(kDsn, "xd3");
    hdbc = Connect(kDsn);
    SQLHDBC second = Connect("DSN=xanoinfo;UID=;PWD=");
    Table("DSN=xanoinfo;UID=;PWD=", "xd3b");
    txn = DtcTransactionBegin();
    ASSERT_EQ(Enlist(hdbc, txn), SQL_SUCCESS) << Diag(SQL_HANDLE_DBC, hdbc);
    ASSERT_EQ(Enlist(second, txn), SQL_SUCCESS) << Diag(SQL_HANDLE_DBC, second);
    ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(hdbc, "INSERT INTO xd3 VALUES (1)")));
    ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(second, "INSERT INTO xd3b VALUES (1)")));
    ASSERT_EQ(DtcTransactionInterface(txn)->Commit(0, 0, 0), S_OK);
    std::vector<DtcEnlistmentRecord> seen = DtcTransactionEnlistments(txn);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(XidEqual(&seen[0].xid, &seen[1].xid));  // one branch per resource manager
    EXPECT_EQ(Rows(kDsn, "xd3"), 1);
    EXPECT_EQ(Rows("DSN=xanoinfo;UID=;PWD=", "xd3b"), 1);
    DtcTransactionInterface(txn)->Release();
    txn = nullptr;
    EXPECT_EQ(SQLDisconnect(second), SQL_SUCCESS);
    SQLFreeHandle(SQL_HANDLE_DBC, second);
}

TEST_F(DtcTest, ADataSourceWithoutDriverEntryCannotBeEnlisted) {
    // The library name is read once per start of the layer: start it afresh.
    IngXaShutdown();
    ASSERT_EQ(DtcInit(), 0);
    hdbc = Connect("DSN=xanodrv;UID=;PWD=");
    txn = DtcTransactionBegin();
    EXPECT_EQ(Enlist(hdbc, txn), SQL_ERROR);
    EXPECT_NE(Diag(SQL_HANDLE_DBC, hdbc).find("Enlistment in DTC transaction failed"), std::string::npos)
        << Diag(SQL_HANDLE_DBC, hdbc);
    ConnRecord* rec = ConnOf(hdbc);
    EXPECT_EQ(rec->enlisted, 0u);
    EXPECT_EQ(rec->dispenser, nullptr);
    EXPECT_EQ(DispenserCount(), 0u);
    // XA was opened and closed again: the connection is a plain one.
    EXPECT_EQ(XaHolderAssociated(XaHolderOf(rec->agentConn)), 0);
    Table("DSN=xanodrv;UID=;PWD=", "xd4");
    EXPECT_TRUE(SQL_SUCCEEDED(ExecOn(hdbc, "INSERT INTO xd4 VALUES (1)")));
    EXPECT_EQ(Rows("DSN=xanodrv;UID=;PWD=", "xd4"), 1);
}

TEST_F(DtcTest, CoordinatorFailuresBecomeTheEnlistmentError) {
    hdbc = Connect(kDsn);
    txn = DtcTransactionBegin();
    for (int which : {kDtcFailGetManager, kDtcFailRMCreate}) {
        DtcFailNext(which);
        EXPECT_EQ(Enlist(hdbc, txn), SQL_ERROR) << which;
        EXPECT_EQ(DispenserCount(), 0u);
    }
    // A finished transaction cannot be joined.
    DtcTransactionInterface(txn)->Abort(nullptr, 0, 0);
    EXPECT_EQ(Enlist(hdbc, txn), SQL_ERROR);
    EXPECT_EQ(DispenserCount(), 0u);
    EXPECT_EQ(Unenlist(hdbc), SQL_ERROR);  // never enlisted
}

TEST_F(DtcTest, TheDispenserAnswersItsTwoInterfacesOnly) {
    COdbcResourceDispenser* d = DispenserCreate(nullptr, 0, 0, nullptr, nullptr, nullptr, "DSN=xadb;UID=;PWD=;");
    ASSERT_NE(d, nullptr);
    IOdbcResourceDispenser* i = DispenserInterface(d);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(i->QueryInterface(IID_IDtcToXaHelperSinglePipe, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(i->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
    ASSERT_EQ(i->QueryInterface(IID_ITransactionResourceAsync, &out), S_OK);
    ASSERT_NE(out, nullptr);
    auto* resource = static_cast<ITransactionResourceAsync*>(out);
    EXPECT_EQ(resource->Release(), 1u);  // references are the dispenser's
    ASSERT_EQ(i->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(i));
    EXPECT_EQ(i->Release(), 1u);
    EXPECT_EQ(i->GetSelf(nullptr), E_INVALIDARG);
    EXPECT_EQ(CObjCounter::Count(), 1);
    EXPECT_EQ(DispenserRelease(d), 0);
    EXPECT_EQ(CObjCounter::Count(), 0);
}

TEST_F(DtcTest, DisconnectingWhileTheCoordinatorHoldsTheDispenserIsRefused) {
    Table(kDsn, "xd5");
    hdbc = Connect(kDsn);
    txn = DtcTransactionBegin();
    ASSERT_EQ(Enlist(hdbc, txn), SQL_SUCCESS) << Diag(SQL_HANDLE_DBC, hdbc);
    ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(hdbc, "INSERT INTO xd5 VALUES (1)")));
    EXPECT_EQ(SQLDisconnect(hdbc), SQL_ERROR);
    EXPECT_NE(Diag(SQL_HANDLE_DBC, hdbc).find("25000"), std::string::npos) << Diag(SQL_HANDLE_DBC, hdbc);
    ASSERT_EQ(DtcTransactionInterface(txn)->Commit(0, 0, 0), S_OK);
    EXPECT_EQ(Rows(kDsn, "xd5"), 1);
    DtcTransactionInterface(txn)->Release();
    txn = nullptr;
}

// Whether the calling thread could enter the connection's call lock now (left again at once).
bool CallLockFree(ConnRecord* rec) {
    if (!TokenLockTryEnter(&rec->callLock, TokenLockThisThread())) return false;
    TokenLockLeave(&rec->callLock, TokenLockThisThread());
    return true;
}

// The coordinator calls prepare, commit and abort on threads of its own: the call lock the
// dispenser takes at prepare must be left by the outcome's thread, and the application's
// thread gets its connection back.
TEST_F(DtcTest, TheCallLockHeldFromPrepareIsLeftByTheOutcomeOnAnotherThread) {
    Table(kDsn, "xd6");
    hdbc = Connect(kDsn);
    ConnRecord* rec = ConnOf(hdbc);
    ASSERT_NE(rec, nullptr);
    long expected = 0;
    for (bool commit : {true, false}) {
        SCOPED_TRACE(commit ? "commit" : "abort");
        txn = DtcTransactionBegin();
        ASSERT_EQ(Enlist(hdbc, txn), SQL_SUCCESS) << Diag(SQL_HANDLE_DBC, hdbc);
        ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(hdbc, "INSERT INTO xd6 VALUES (1)")));
        bool heldBetweenPhases = false;
        uint32_t stateBetweenPhases = 0;
        DtcTransactionBetweenPhases(txn, [&] {
            heldBetweenPhases = !CallLockFree(rec);
            stateBetweenPhases = DispenserState(rec->dispenser);
            return commit;
        });
        EXPECT_EQ(DtcTransactionInterface(txn)->Commit(0, 0, 0), commit ? S_OK : XACT_E_ABORTED);
        EXPECT_TRUE(heldBetweenPhases);
        EXPECT_EQ(stateBetweenPhases, kXaPrepared);
        EXPECT_EQ(DispenserState(rec->dispenser), kXaNone);
        ASSERT_TRUE(CallLockFree(rec));
        if (commit) ++expected;
        EXPECT_EQ(Rows(kDsn, "xd6"), expected);
        DtcTransactionInterface(txn)->Release();
        txn = nullptr;
        ASSERT_EQ(Unenlist(hdbc), SQL_SUCCESS) << Diag(SQL_HANDLE_DBC, hdbc);
    }
    ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(hdbc, "INSERT INTO xd6 VALUES (2)")));
    EXPECT_EQ(Rows(kDsn, "xd6"), expected + 1);
}

TEST(DtcSetUp, FailsWhenTheAllocatorCannotBeHad) {
    IngXaShutdown();
    DtcFailNext(kDtcFailMalloc);
    EXPECT_EQ(DtcInit(), -1);
    EXPECT_EQ(DtcInit(), 0);
    EXPECT_EQ(IngXaShutdown(), 1);
}

}  // namespace
}  // namespace xatest

namespace xatest {
namespace {

TEST_F(DtcTest, APointerThatIsNoTransactionOfTheCoordinatorIsRefused) {
    hdbc = Connect(kDsn);
    int notATransaction = 0;
    EXPECT_EQ(SQLSetConnectAttr(hdbc, SQL_ATTR_ENLIST_IN_DTC, &notATransaction, 0), SQL_ERROR);
    EXPECT_NE(Diag(SQL_HANDLE_DBC, hdbc).find("IM932"), std::string::npos);
    EXPECT_EQ(Unenlist(hdbc), SQL_ERROR);
    EXPECT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS);
    SQLFreeHandle(SQL_HANDLE_DBC, hdbc);
    hdbc = SQL_NULL_HDBC;
}

}  // namespace
}  // namespace xatest
