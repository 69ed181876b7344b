// A transaction manager drives four resource managers through the XA switch: a thousand global
// transactions with one branch on each, while the allocations its XA calls make fail one after
// another (half of the time every allocation from that one on). In every tenth transaction it
// loses one resource manager between the two phases, opens it again and finds the branch by
// recovery. At the end every branch is committed or rolled back as the manager decided, and none
// is left behind.
#include <string>
#include <vector>

#include "tests/xa/xa_odbc_fixture.h"
#include "tests/xa/xa_fixture.h"
#include "util/trymem.h"
#include "odbc/xa_switch.h"

extern "C" SQLRETURN SQLGetXaConnect(SQLHDBC* out);

namespace xatest {
namespace {

constexpr int kRms = 4;
constexpr int kTransactions = 1000;
constexpr int kReopenEvery = 10;

// The failure plan of one global transaction: the allocation numbered `at` among those its XA
// calls make fails; when `sticky`, every later one of them fails too, until memory is back.
class Injector {
public:
    void Plan(long at, bool sticky) {
        at_ = at;
        sticky_ = sticky;
        made_ = 0;
        fired_ = false;
    }
    // Memory is back: the rest of the transaction runs without failures.
    void Relieve() {
        at_ = -1;
        sticky_ = false;
    }
    bool Fired() const { return fired_; }

    template <class F>
    int Call(F&& verb) {
        const long left = at_ < 0 ? -1 : at_ - made_;
        if (sticky_ && fired_)
            TryMemFailFrom(0);
        else if (left >= 0)
            sticky_ ? TryMemFailFrom(left) : TryMemFailAfter(left);
        const long before = TryMemCalls();
        const int rc = verb();
        TryMemFailAfter(-1);
        const long made = TryMemCalls() - before;
        if ((sticky_ && fired_ && made > 0) || (left >= 0 && made > left)) fired_ = true;
        made_ += made;
        return rc;
    }

private:
    long at_ = -1;
    bool sticky_ = false;
    long made_ = 0;
    bool fired_ = false;
};

enum class Outcome { None, Committed, RolledBack, InDoubt };

struct Rm {
    int rmid;
    char info[64];
    SQLHDBC hdbc;
};

class TmLoopTest : public OdbcXaTest {
protected:
    Rm rms[kRms] = {};
    Injector inj;
    std::vector<Outcome> outcome = std::vector<Outcome>(size_t(kTransactions) * kRms, Outcome::None);
    std::vector<bool> decidedCommit = std::vector<bool>(kTransactions, false);

    static XID BranchXid(int g, int r) { return MakeXid(0x544D, "tm-" + std::to_string(g), "rm" + std::to_string(r)); }

    // The ids in the table of a data source, in order, as a plain connection reads them.
    std::vector<long> Ids(const char* dsnText) {
        std::vector<long> ids;
        SQLHDBC h = Connect(dsnText);
        SQLHSTMT s = SQL_NULL_HSTMT;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, h, &s)));
        SQLINTEGER v = 0;
        SQLLEN ind = 0;
        EXPECT_TRUE(SQL_SUCCEEDED(SQLBindCol(s, 1, SQL_C_SLONG, &v, 0, &ind)));
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(
            s, reinterpret_cast<SQLCHAR*>(const_cast<char*>("SELECT id FROM tmwork ORDER BY id")), SQL_NTS)));
        while (SQL_SUCCEEDED(SQLFetch(s))) ids.push_back(v);
        SQLFreeHandle(SQL_HANDLE_STMT, s);
        SQLDisconnect(h);
        SQLFreeHandle(SQL_HANDLE_DBC, h);
        return ids;
    }

    void TearDown() override {
        TryMemFailAfter(-1);
        for (Rm& rm : rms)
            if (rm.hdbc) xa_switch_close(rm.info, rm.rmid, TMNOFLAGS);
        OdbcXaTest::TearDown();
    }

    // Opens a resource manager; an open that ran out of memory is tried again once memory is back.
    void Open(Rm& rm) {
        int rc = inj.Call([&] { return xa_switch_open(rm.info, rm.rmid, TMNOFLAGS); });
        if (rc != XA_OK) {
            ASSERT_EQ(rc, XAER_RMERR);
            ASSERT_TRUE(inj.Fired());
            inj.Relieve();
            ASSERT_EQ(xa_switch_open(rm.info, rm.rmid, TMNOFLAGS), XA_OK);
        }
        rm.hdbc = SQL_NULL_HDBC;
        ASSERT_EQ(SQLGetXaConnect(&rm.hdbc), SQL_SUCCESS);  // the newest association is this one
    }

    void Close(Rm& rm) {
        // A close releases the association whatever its result.
        inj.Call([&] { return xa_switch_close(rm.info, rm.rmid, TMNOFLAGS); });
        rm.hdbc = SQL_NULL_HDBC;
    }

    // The in-doubt branches of one resource manager, finished as the manager decided them.
    void Recover(int r) {
        XID found[16];
        int n = inj.Call([&] { return xa_switch_recover(found, 16, rms[r].rmid, TMSTARTRSCAN | TMENDRSCAN); });
        if (n < 0) {
            ASSERT_EQ(n, XAER_RMERR);
            ASSERT_TRUE(inj.Fired());
            inj.Relieve();
            n = xa_switch_recover(found, 16, rms[r].rmid, TMSTARTRSCAN | TMENDRSCAN);
        }
        ASSERT_GE(n, 0);
        ASSERT_LT(n, 16);
        for (int i = 0; i < n; ++i) {
            int g = -1;
            for (int t = 0; t < kTransactions && g < 0; ++t)
                if (XID x = BranchXid(t, r); XidEqual(&x, &found[i])) g = t;
            ASSERT_GE(g, 0) << "a branch the manager never started";
            Outcome& o = outcome[size_t(g) * kRms + r];
            ASSERT_EQ(o, Outcome::InDoubt) << g << "/" << r << ": only branches left in doubt are listed";
            const bool commit = decidedCommit[size_t(g)];
            int rc = inj.Call([&] {
                return commit ? xa_switch_commit(&found[i], rms[r].rmid, TMNOFLAGS)
                              : xa_switch_rollback(&found[i], rms[r].rmid, TMNOFLAGS);
            });
            if (rc == XA_OK) o = commit ? Outcome::Committed : Outcome::RolledBack;
        }
    }

    void Transaction(int g) {
        XID x[kRms];
        bool started[kRms] = {};
        bool ok = true;
        for (int r = 0; r < kRms; ++r) {
            x[r] = BranchXid(g, r);
            int rc = inj.Call([&] { return xa_switch_start(&x[r], rms[r].rmid, TMNOFLAGS); });
            if (rc != XA_OK) {
                ok = false;
                continue;
            }
            started[r] = true;
            std::string insert = "INSERT INTO tmwork VALUES (" + std::to_string(g) + ")";
            ASSERT_TRUE(SQL_SUCCEEDED(ExecOn(rms[r].hdbc, insert.c_str()))) << g << "/" << r;
        }
        for (int r = 0; r < kRms; ++r) {
            if (!started[r]) continue;
            int rc = inj.Call([&] { return xa_switch_end(&x[r], rms[r].rmid, TMSUCCESS); });
            if (rc == XA_OK) continue;
            ok = false;
            // Still the connection's active branch: it ends as rollback-only, which parks nothing.
            EXPECT_EQ(rc, XAER_PROTO) << g << "/" << r;
            ASSERT_EQ(inj.Call([&] { return xa_switch_end(&x[r], rms[r].rmid, TMFAIL); }), XA_OK) << g << "/" << r;
        }
        for (int r = 0; r < kRms && ok; ++r)
            if (inj.Call([&] { return xa_switch_prepare(&x[r], rms[r].rmid, TMNOFLAGS); }) != XA_OK) ok = false;
        decidedCommit[size_t(g)] = ok;
        if (!inj.Fired()) {
            ASSERT_TRUE(ok) << g << ": nothing failed, yet the transaction cannot commit";
        }

        int lost = -1;
        if (ok && g % kReopenEvery == kReopenEvery - 1) {
            // Lost between the phases: its branch stays prepared, and recovery finds it again.
            lost = (g / kReopenEvery) % kRms;
            outcome[size_t(g) * kRms + lost] = Outcome::InDoubt;
            Close(rms[lost]);
            Open(rms[lost]);
            if (HasFatalFailure()) return;
            Recover(lost);
            if (HasFatalFailure()) return;
        }
        for (int r = 0; r < kRms; ++r) {
            if (r == lost) continue;
            Outcome& o = outcome[size_t(g) * kRms + r];
            if (!started[r]) {
                o = Outcome::RolledBack;  // it never began
                continue;
            }
            int rc = inj.Call([&] {
                return ok ? xa_switch_commit(&x[r], rms[r].rmid, TMNOFLAGS)
                          : xa_switch_rollback(&x[r], rms[r].rmid, TMNOFLAGS);
            });
            o = rc == XA_OK ? (ok ? Outcome::Committed : Outcome::RolledBack) : Outcome::InDoubt;
            if (o == Outcome::InDoubt) {
                Recover(r);
                if (HasFatalFailure()) return;
            }
        }
    }
};

TEST_F(TmLoopTest, EveryBranchEndsAsDecidedThroughMemoryFailuresAndLostResourceManagers) {
    for (int r = 0; r < kRms; ++r) {
        Rm& rm = rms[r];
        rm.rmid = 201 + r;
        std::snprintf(rm.info, sizeof rm.info, "DSN=xatm%d;UID=;PWD=", r + 1);
        Table(rm.info, "tmwork");
    }
    for (Rm& rm : rms) {
        Open(rm);
        ASSERT_FALSE(HasFatalFailure());
    }

    int fired = 0, reopenedUnharmed = 0;
    for (int g = 0; g < kTransactions; ++g) {
        // Each allocation in turn fails, alone in one round and with all after it in the next; the
        // numbers run past the last allocation (4 in a plain transaction, about 20 in one that
        // reopens), so some transactions see no failure at all.
        const bool reopens = g % kReopenEvery == kReopenEvery - 1;
        const int turn = reopens ? g / kReopenEvery : g - g / kReopenEvery;
        const int span = reopens ? 40 : 6;
        inj.Plan(turn % span, (turn / span) % 2 == 1);
        Transaction(g);
        ASSERT_FALSE(HasFatalFailure()) << "transaction " << g;
        if (inj.Fired()) ++fired;
        if (reopens && !inj.Fired()) ++reopenedUnharmed;
    }
    inj.Plan(-1, false);
    EXPECT_GT(fired, kTransactions / 2);
    EXPECT_GT(reopenedUnharmed, 0);  // the failures went past the reopening's last allocation

    // Nothing is left in doubt, and every branch ended as the manager has it.
    for (int r = 0; r < kRms; ++r) {
        XID found[4];
        EXPECT_EQ(xa_switch_recover(found, 4, rms[r].rmid, TMSTARTRSCAN | TMENDRSCAN), 0) << r;
    }
    long decided = 0;
    for (int g = 0; g < kTransactions; ++g) {
        decided += decidedCommit[size_t(g)];
        for (int r = 0; r < kRms; ++r) {
            const Outcome o = outcome[size_t(g) * kRms + r];
            EXPECT_EQ(o, decidedCommit[size_t(g)] ? Outcome::Committed : Outcome::RolledBack) << g << "/" << r;
        }
    }
    for (int r = 0; r < kRms; ++r) {
        std::vector<long> expected;
        for (int g = 0; g < kTransactions; ++g)
            if (outcome[size_t(g) * kRms + r] == Outcome::Committed) expected.push_back(g);
        EXPECT_EQ(Ids(rms[r].info), expected) << r;
        // No session is left holding the database: a plain connection can write to it.
        SQLHDBC h = Connect(rms[r].info);
        EXPECT_TRUE(SQL_SUCCEEDED(ExecOn(h, "INSERT INTO tmwork VALUES (-1)")));
        SQLDisconnect(h);
        SQLFreeHandle(SQL_HANDLE_DBC, h);
    }
    EXPECT_GT(decided, long(kTransactions) / 4);
}

}  // namespace
}  // namespace xatest
