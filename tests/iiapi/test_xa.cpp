// Distributed transaction branches: binding a session, preparing, finishing from a new session,
// and the master database's in-doubt list.
#include "tests/iiapi/api_fixture.h"
#include "iiapi/internal.h"

#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

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

// Connects a, binds it to kBranch, runs the statement in the branch and prepares it.
IIAPI_STATUS prepareBranch(Session& a, const std::string& db, const char* sql) {
    IIAPI_STATUS st = a.connect(environment(), db);
    if (st == IIAPI_ST_SUCCESS) st = a.exec(std::string("set session with xa_xid='") + kBranch + "'").status;
    if (st == IIAPI_ST_SUCCESS) st = a.exec(sql).status;
    return st == IIAPI_ST_SUCCESS ? prepare(a.tran) : st;
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
        ASSERT_EQ(prepareBranch(a, db, "INSERT INTO t VALUES (1)"), IIAPI_ST_SUCCESS);
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
    // Connecting with an id that no session prepared reaches no branch, as the server's
    // reconnection to a distributed transaction does not.
    {
        Session none;
        EXPECT_EQ(connectWithXid(none, db, xid), IIAPI_ST_ERROR);
    }
    {
        Session a;
        ASSERT_EQ(a.connect(environment(), db), IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.exec("set session with xa_xid='00000001:2:2:67316231:XA:0:7:EX'").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.exec("INSERT INTO t VALUES (2)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(prepare(a.tran), IIAPI_ST_SUCCESS);
        a.tran = nullptr;
    }
    EXPECT_EQ(inDoubt(db).size(), 1u);
    Session b;
    ASSERT_EQ(connectWithXid(b, db, xid), IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.rollback(), IIAPI_ST_SUCCESS);
    b.disconnect();
    EXPECT_EQ(count(), 0);
    EXPECT_TRUE(inDoubt(db).empty());
    // Finished: the id is no branch any more.
    Session again;
    EXPECT_EQ(connectWithXid(again, db, xid), IIAPI_ST_ERROR);
    releaseXid(xid);
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

// ---- Branches that outlive their process -------------------------------------------------------

// A branch's file reads back as written; one changed, cut or lengthened anywhere reads as no
// branch at all.
TEST(XaRecordFile, ReadsBackWhatWasWrittenAndNothingOfADamagedFile) {
    iiapi::XaRecord r;
    r.key = "1:3:1:61626364";
    r.text = kBranch;
    r.dbname = "db1";
    r.nonce = "00112233445566778899aabbccddeeff";
    iiapi::XaChange ins;
    ins.op = 'I';
    ins.schema = "main";
    ins.table = "t";
    ins.newRowid = 7;
    iiapi::XaValue v;
    for (int type : {SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL}) {
        v = iiapi::XaValue{};
        v.type = type;
        v.i = -5;
        v.d = 0.1;
        v.bytes = type == SQLITE_BLOB ? std::string("\0\n\xff", 3) : "text\nwith newline";
        ins.values.push_back(v);
    }
    iiapi::XaChange del;
    del.op = 'D';
    del.schema = "iirowver";
    del.table = "vovura";
    del.oldRowid = -9;
    r.changes = {ins, del};
    const std::string bytes = iiapi::xaEncodeRecord(r);
    iiapi::XaRecord back;
    ASSERT_TRUE(iiapi::xaDecodeRecord(bytes, back));
    EXPECT_EQ(iiapi::xaEncodeRecord(back), bytes);
    ASSERT_EQ(back.changes.size(), 2u);
    EXPECT_EQ(back.changes[0].values[1].d, 0.1);
    EXPECT_EQ(back.changes[0].values[3].bytes, std::string("\0\n\xff", 3));
    EXPECT_EQ(back.changes[1].oldRowid, -9);
    for (size_t at = 0; at < bytes.size(); at += 7) {
        std::string damaged = bytes;
        damaged[at] = char(damaged[at] ^ 0x20);
        EXPECT_FALSE(iiapi::xaDecodeRecord(damaged, back)) << at;
        EXPECT_FALSE(iiapi::xaDecodeRecord(bytes.substr(0, at), back)) << at;
    }
    EXPECT_FALSE(iiapi::xaDecodeRecord(bytes + "x", back));
}

// How a child process ends after its branch is prepared.
enum class End { Killed, Exited };

// Runs work in a child process (a fresh copy of this one: the engine has no other threads), which
// reports back through a pipe and ends as asked without committing anything. Gives what the child
// wrote, or "" when it failed before the end.
std::string inChild(End end, const std::function<std::string()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return "";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::string out = work();
        if (!out.empty() && write(fds[1], out.data(), out.size()) != ssize_t(out.size())) out.clear();
        close(fds[1]);
        if (out.empty()) _exit(3);
        if (end == End::Killed) raise(SIGKILL);
        std::exit(0);  // the process's own end, destructors and all
    }
    close(fds[1]);
    std::string got;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) got.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (end == End::Killed) {
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    } else {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    return got;
}

std::string dump(Session& s, const std::string& query) {
    Result r = s.exec(query);
    if (r.status != IIAPI_ST_SUCCESS) return "failed: " + firstMessage(r.msgs);
    std::string out;
    for (auto& row : r.rows) {
        for (auto& v : row) out += trimmed(v) + "|";
        out += "\n";
    }
    return out.empty() ? "(none)\n" : out;
}

const char* kRows = "SELECT k, v, f, d FROM u ORDER BY k";

class XaDurable : public Xa {
protected:
    void SetUp() override {
        Xa::SetUp();
        Session s;
        ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE TABLE u (k integer not null primary key, v varchar(20), f float, d date)").status,
                  IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("INSERT INTO u VALUES (1, 'one', 1.5, '2024-01-02')").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("INSERT INTO u VALUES (2, 'two', NULL, NULL)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
        base = current();
    }
    std::string current() {
        Session s;
        EXPECT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
        std::string d = dump(s, kRows);
        s.rollback();
        return d;
    }
    std::string path() {
        char p[512];
        EXPECT_EQ(iiengine_databasePath(db.c_str(), p, sizeof p), 0);
        return p;
    }
    std::vector<std::string> branchFiles() {
        std::vector<std::string> out;
        std::error_code ec;
        for (auto& e : std::filesystem::directory_iterator(path() + ".xa", ec)) out.push_back(e.path().string());
        return out;
    }
    // A plain session's write, refused or not.
    IIAPI_STATUS plainWrite(std::vector<Msg>* msgs = nullptr) {
        Session s;
        EXPECT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
        Result r = s.exec("INSERT INTO t VALUES (100)");
        if (msgs) *msgs = r.msgs;
        if (r.status == IIAPI_ST_SUCCESS) {
            EXPECT_EQ(s.rollback(), IIAPI_ST_SUCCESS);
        }
        return r.status;
    }
    // Finishes the branch of kBranch from a new session connected with its identifier.
    IIAPI_STATUS finishFromNewSession(bool commit) {
        II_PTR xid = registerXid();
        Session b;
        IIAPI_STATUS st = connectWithXid(b, db, xid);
        if (st == IIAPI_ST_SUCCESS) st = commit ? b.commit() : b.rollback();
        b.disconnect();
        releaseXid(xid);
        return st;
    }
    // The child's branch: inserts, an update and a delete, then prepared; answers the rows as
    // its transaction sees them.
    std::string childBranch(End end) {
        const std::string target = db;
        return inChild(end, [target] {
            Session a;
            if (a.connect(environment(), target) != IIAPI_ST_SUCCESS) return std::string();
            if (a.exec(std::string("set session with xa_xid='") + kBranch + "'").status != IIAPI_ST_SUCCESS)
                return std::string();
            for (const char* sql : {"INSERT INTO u VALUES (3, 'three', 3.25, '2024-03-04')",
                                    "UPDATE u SET v = 'TWO', f = 2.5, d = '2025-12-31' WHERE k = 2",
                                    "DELETE FROM u WHERE k = 1", "INSERT INTO t VALUES (9)",
                                    "INSERT INTO u VALUES (4, NULL, -0.125, NULL)", "DELETE FROM u WHERE k = 4"})
                if (a.exec(sql).status != IIAPI_ST_SUCCESS) return std::string();
            std::string seen = dump(a, kRows);
            if (prepare(a.tran) != IIAPI_ST_SUCCESS) return std::string();
            a.tran = nullptr;  // no outcome from this process
            return seen;
        });
    }
    std::string base;
};

// A prepared branch is kept on disk: the process that prepared it is killed, and another session
// lists it, finds the database locked for writers, and commits it with every change in place.
TEST_F(XaDurable, PreparedBranchOfAKilledProcessIsCommittedWithItsChanges) {
    const std::string seen = childBranch(End::Killed);
    ASSERT_FALSE(seen.empty()) << "the child's branch failed";
    EXPECT_EQ(current(), base);  // nothing committed
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(inDoubt(db), (std::vector<std::string>{kBranch}));
    ASSERT_EQ(branchFiles().size(), 1u);
    struct stat sb;
    ASSERT_EQ(stat(branchFiles()[0].c_str(), &sb), 0);
    EXPECT_EQ(sb.st_mode & 0777, 0600u);
    // Its locks outlive its session.
    std::vector<Msg> msgs;
    EXPECT_EQ(plainWrite(&msgs), IIAPI_ST_ERROR);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs[0].sqlstate, "40001");
    EXPECT_NE(msgs[0].text.find(kBranch), std::string::npos) << msgs[0].text;

    ASSERT_EQ(finishFromNewSession(true), IIAPI_ST_SUCCESS);
    EXPECT_EQ(current(), seen);
    EXPECT_NE(seen, base);
    EXPECT_EQ(count(), 1);
    EXPECT_TRUE(inDoubt(db).empty());
    EXPECT_TRUE(branchFiles().empty());
    EXPECT_EQ(plainWrite(), IIAPI_ST_SUCCESS);
    // Finished: the id is no branch any more.
    EXPECT_EQ(finishFromNewSession(true), IIAPI_ST_ERROR);
}

// A writer's transaction seen holding the write lock skips the look for branches in doubt only
// while that transaction lasts: one ended behind the session's back (an END the client sent
// itself, which SQLite takes as a commit) lets another process prepare a branch, and the
// session's next write, in a transaction SQLite began anew, is refused for it.
TEST_F(XaDurable, AWriterWhoseTransactionEndedBehindItsBackLooksForBranchesAgain) {
    Session s;
    ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
    for (const char* sql : {"INSERT INTO t VALUES (1)", "INSERT INTO t VALUES (2)", "END", "BEGIN"}) {
        Result r = s.exec(sql);
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << sql << ": " << firstMessage(r.msgs);
    }
    ASSERT_FALSE(childBranch(End::Killed).empty()) << "the child's branch failed";
    Result r = s.exec("INSERT INTO t VALUES (3)");
    EXPECT_EQ(r.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(r.msgs.empty());
    EXPECT_EQ(r.msgs[0].sqlstate, "40001");
    s.rollback();
    ASSERT_EQ(finishFromNewSession(false), IIAPI_ST_SUCCESS);
    EXPECT_EQ(plainWrite(), IIAPI_ST_SUCCESS);
}

// The process ends normally (its sessions and the engine shut down) without an outcome: the
// branch is in doubt all the same, and a rollback from another process leaves the rows as they were.
TEST_F(XaDurable, PreparedBranchOfAnEndedProcessIsRolledBack) {
    ASSERT_FALSE(childBranch(End::Exited).empty()) << "the child's branch failed";
    EXPECT_EQ(inDoubt(db), (std::vector<std::string>{kBranch}));
    ASSERT_EQ(finishFromNewSession(false), IIAPI_ST_SUCCESS);
    EXPECT_EQ(current(), base);
    EXPECT_EQ(count(), 0);
    EXPECT_TRUE(inDoubt(db).empty());
    EXPECT_TRUE(branchFiles().empty());
    EXPECT_EQ(plainWrite(), IIAPI_ST_SUCCESS);
}

// A crash between a branch's commit and the removal of its file leaves the file: the commit's mark
// in the database keeps it from being committed twice, and writers are not held up by it.
TEST_F(XaDurable, ABranchCommittedBeforeACrashIsNeverCommittedTwice) {
    Session a;
    ASSERT_EQ(prepareBranch(a, db, "INSERT INTO t VALUES (1)"), IIAPI_ST_SUCCESS);
    ASSERT_EQ(branchFiles().size(), 1u);
    const std::string file = branchFiles()[0];
    std::string bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const size_t at = bytes.find("\nnonce ");
    ASSERT_NE(at, std::string::npos);
    const std::string nonce = bytes.substr(at + 7, bytes.find('\n', at + 1) - at - 7);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(), 1);
    EXPECT_TRUE(branchFiles().empty());
    // The state a crash right after the commit leaves: the file, and the commit's mark.
    auto crashState = [&] {
        std::filesystem::create_directories(path() + ".xa");
        std::ofstream(file, std::ios::binary) << bytes;
        sqlite3* h = nullptr;
        ASSERT_EQ(sqlite3_open(path().c_str(), &h), SQLITE_OK);
        std::string sql = "INSERT INTO iiapi_xa_done VALUES ('" + nonce + "')";
        ASSERT_EQ(sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(h);
        sqlite3_close(h);
    };
    crashState();
    ASSERT_EQ(inDoubt(db).size(), 1u);
    ASSERT_EQ(finishFromNewSession(true), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(), 1);
    EXPECT_TRUE(branchFiles().empty());
    crashState();
    EXPECT_EQ(plainWrite(), IIAPI_ST_SUCCESS);
    EXPECT_TRUE(branchFiles().empty());
    EXPECT_TRUE(inDoubt(db).empty());
    EXPECT_EQ(count(), 1);
}

// A prepare that cannot keep the branch on disk fails and leaves the branch as it ran: once the
// disk takes it, the branch is prepared with every change, and committed from another session.
TEST_F(XaDurable, APrepareThatCannotKeepTheBranchLeavesItToBePreparedAgain) {
    const std::string blocker = path() + ".xa";
    { std::ofstream(blocker) << "not a directory"; }
    Session a;
    ASSERT_EQ(a.connect(environment(), db), IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec(std::string("set session with xa_xid='") + kBranch + "'").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (1)").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(prepare(a.tran), IIAPI_ST_ERROR);
    EXPECT_TRUE(inDoubt(db).empty());
    ASSERT_EQ(std::remove(blocker.c_str()), 0);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (2)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(prepare(a.tran), IIAPI_ST_SUCCESS);
    a.tran = nullptr;
    a.disconnect();
    EXPECT_EQ(inDoubt(db), (std::vector<std::string>{kBranch}));
    ASSERT_EQ(finishFromNewSession(true), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(), 2);
    EXPECT_TRUE(inDoubt(db).empty());
}

// What the row images cannot hold is refused at prepare, and the branch can still be rolled back:
// a schema change, and work the session did before it was bound to the branch.
TEST_F(XaDurable, BranchesTheImagesCannotHoldAreRefusedAtPrepare) {
    struct Case {
        const char* before;
        const char* inBranch;
        const char* why;
    } cases[] = {
        {nullptr, "CREATE TABLE made_in_branch (i integer)", "changed the schema"},
        {"INSERT INTO t VALUES (5)", "INSERT INTO t VALUES (6)", "before the session was bound"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.inBranch);
        Session a;
        ASSERT_EQ(a.connect(environment(), db), IIAPI_ST_SUCCESS);
        if (c.before) {
            ASSERT_EQ(a.exec(c.before).status, IIAPI_ST_SUCCESS);
        }
        ASSERT_EQ(a.exec(std::string("set session with xa_xid='") + kBranch + "'").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.exec(c.inBranch).status, IIAPI_ST_SUCCESS);
        IIAPI_PREPCMTPARM pc{};
        pc.pr_tranHandle = a.tran;
        IIapi_prepareCommit(&pc);
        ASSERT_EQ(finish(pc.pr_genParm), IIAPI_ST_ERROR);
        std::vector<Msg> msgs = drain(pc.pr_genParm.gp_errorHandle);
        ASSERT_FALSE(msgs.empty());
        EXPECT_NE(msgs[0].text.find(c.why), std::string::npos) << msgs[0].text;
        EXPECT_TRUE(branchFiles().empty());
        EXPECT_TRUE(inDoubt(db).empty());
        ASSERT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
    }
    EXPECT_EQ(count(), 0);
}

}  // namespace
