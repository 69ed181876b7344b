// Sessions: connect, the server probe, passwords, settings and bad handles.
#include "tests/iiapi/api_fixture.h"
#include "iiapi/internal.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <set>
#include <thread>

using namespace apitest;

namespace {

const char* kProbe =
    "SELECT dbmsinfo('database'), dbmsinfo('username'),  dbmsinfo('db_name_case'), dbmsinfo('db_delimited_case'),  "
    "dbmsinfo('_version'), dbmsinfo('charset'),  dbmsinfo('unicode_level')";

TEST(Connect, ProbeAnswersTheSessionFacts) {
    std::string db = freshDatabase();
    Session s;
    ASSERT_EQ(s.connect(environment(), db, "alice"), IIAPI_ST_SUCCESS);
    EXPECT_EQ(s.sizeAdvise, 8192);
    EXPECT_GE(s.apiLevel, 2);
    Result r = s.run(kProbe, {}, IIAPI_QT_SELECT_SINGLE);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(r.rows.size(), 1u);
    ASSERT_EQ(r.desc.size(), 7u);
    for (auto& d : r.desc) EXPECT_EQ(d.ds_dataType, IIAPI_VCH_TYPE);
    EXPECT_EQ(r.rows[0][0], db);
    EXPECT_EQ(r.rows[0][1], "alice");
    EXPECT_EQ(r.rows[0][2], "LOWER");
    EXPECT_EQ(r.rows[0][3], "MIXED");
    EXPECT_EQ(r.rows[0][5], "UTF8");
    EXPECT_EQ(r.rows[0][6], "1");
    ASSERT_TRUE(r.rows[0][4].has_value());
    EXPECT_NE(r.rows[0][4]->find("10."), std::string::npos);
}

TEST(Connect, NodePrefixAndBintim) {
    std::string db = freshDatabase();
    Session s;
    ASSERT_EQ(s.connect(environment(), "mynode::" + db + "/ingres"), IIAPI_ST_SUCCESS);
    Result r = s.run("SELECT dbmsinfo('_bintim'), dbmsinfo('no such thing')", {}, IIAPI_QT_SELECT_SINGLE);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(r.rows.size(), 1u);
    long long t = std::stoll(r.rows[0][0].value());
    EXPECT_GT(t, 1600000000LL);
    EXPECT_EQ(r.rows[0][1], "");
}

TEST(Connect, ServerFactsFollowTheControls) {
    std::string db = freshDatabase();
    ASSERT_EQ(iiengine_setControl(IIENGINE_VERSION, "OI 2.0/9712 (su4.us5/00)"), 0);
    ASSERT_EQ(iiengine_setControl(IIENGINE_API_LEVEL, "1"), 0);
    ASSERT_EQ(iiengine_setControl(IIENGINE_CHARSET, "ISO88591"), 0);
    ASSERT_EQ(iiengine_setControl(IIENGINE_UNICODE_LEVEL, "0"), 0);
    EXPECT_EQ(iiengine_setControl(99, "x"), -1);
    Session s;
    ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
    EXPECT_EQ(s.apiLevel, 1);
    Result r = s.run(kProbe, {}, IIAPI_QT_SELECT_SINGLE);
    for (int k : {IIENGINE_VERSION, IIENGINE_API_LEVEL, IIENGINE_CHARSET, IIENGINE_UNICODE_LEVEL})
        iiengine_setControl(k, nullptr);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][4], "OI 2.0/9712 (su4.us5/00)");
    EXPECT_EQ(r.rows[0][5], "ISO88591");
    EXPECT_EQ(r.rows[0][6], "0");
    // A later session sees the defaults again.
    Session t;
    ASSERT_EQ(t.connect(environment(), db), IIAPI_ST_SUCCESS);
    EXPECT_EQ(t.apiLevel, 5);
}

TEST(Connect, MissingDatabaseIsRefusedAndNotCreated) {
    environment();
    Session s;
    std::vector<Msg> msgs;
    EXPECT_EQ(s.connect(environment(), "no_such_db_here", nullptr, nullptr, &msgs), IIAPI_ST_ERROR);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs[0].sqlstate, "08004");
    EXPECT_NE(msgs[0].text.find("no_such_db_here"), std::string::npos);
    char path[512];
    ASSERT_EQ(iiengine_databasePath("no_such_db_here", path, sizeof path), 0);
    EXPECT_NE(access(path, F_OK), 0);
}

// The write-ahead log and its index stay on disk between sessions, empty once the last
// connection of every process is gone (all committed work is in the database file itself), and
// sessions of two processes that come and go at once see each other's committed rows. A
// process keeps a session's connection open for its next session; the test lets go of them
// where it looks at the files.
TEST(Connect, WriteAheadLogStaysBetweenSessionsOfTwoProcesses) {
    std::string db = freshDatabase();
    char path[512];
    ASSERT_EQ(iiengine_databasePath(db.c_str(), path, sizeof path), 0);
    const std::string wal = std::string(path) + "-wal", shm = std::string(path) + "-shm";
    {
        Session s;
        ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE TABLE w (k integer NOT NULL, who varchar(8))").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    }
    iiapi::closeIdleDatabases();
    struct stat sb;
    ASSERT_EQ(stat(wal.c_str(), &sb), 0);
    EXPECT_EQ(sb.st_size, 0);
    ASSERT_EQ(stat(shm.c_str(), &sb), 0);

    constexpr int kRounds = 25;
    auto work = [&](int base, const char* who) {
        for (int i = 0; i < kRounds; ++i) {
            Session s;
            if (s.connect(environment(), db, "owner") != IIAPI_ST_SUCCESS) return false;
            Result r = s.run("INSERT INTO w VALUES (?, ?)", {pInt(base + i), pVarchar(who)});
            if (r.status != IIAPI_ST_SUCCESS || s.commit() != IIAPI_ST_SUCCESS) return false;
            // What the other process committed so far is there: the count never goes down.
            Result c = s.exec("SELECT count(*) FROM w");
            if (c.status != IIAPI_ST_SUCCESS || c.rows.size() != 1 || std::stoi(trimmed(c.rows[0][0])) < i + 1)
                return false;
        }
        return true;
    };
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(work(1000, "child") ? 0 : 1);
    const bool mine = work(0, "parent");
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(mine);

    iiapi::closeIdleDatabases();
    ASSERT_EQ(stat(wal.c_str(), &sb), 0);
    EXPECT_EQ(sb.st_size, 0);
    // The log is empty: the database file itself holds every row of both processes.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path, &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT count(*), sum(who = 'child') FROM w", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 2 * kRounds);
    EXPECT_EQ(sqlite3_column_int(st, 1), kRounds);
    sqlite3_finalize(st);
    sqlite3_close(raw);
}

TEST(Connect, BadDatabaseNamesAreRefused) {
    Session s;
    std::vector<Msg> msgs;
    EXPECT_EQ(s.connect(environment(), "bad name!", nullptr, nullptr, &msgs), IIAPI_ST_ERROR);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs[0].sqlstate, "08001");
    char err[128];
    EXPECT_EQ(iiengine_createDatabase("", nullptr, nullptr, err, sizeof err), -1);
    EXPECT_EQ(iiengine_createDatabase(nullptr, nullptr, nullptr, err, sizeof err), -1);
}

// A database is a name inside the data directory: a path (absolute, relative, or hidden behind a
// node or server class) reaches no file, to open or to create.
TEST(Connect, PathsAreNoDatabaseNames) {
    std::string db = freshDatabase();
    char path[512];
    ASSERT_EQ(iiengine_databasePath(db.c_str(), path, sizeof path), 0);
    const std::string file = path;
    const std::string dir = file.substr(0, file.rfind('/'));
    const std::string made = dir + "/made-by-path.db";
    const std::string names[] = {file,
                                 "/" + db,
                                 "./" + db,
                                 "../" + db,
                                 "." + db,
                                 "node::" + file,
                                 "node::./" + db,
                                 dir + "/../" + db,
                                 "-" + db,
                                 made,
                                 "./made-by-path.db"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        Session s;
        std::vector<Msg> msgs;
        EXPECT_EQ(s.connect(environment(), name, nullptr, nullptr, &msgs), IIAPI_ST_ERROR);
        ASSERT_FALSE(msgs.empty());
        EXPECT_EQ(msgs[0].sqlstate, "08001");
        EXPECT_NE(msgs[0].text.find("Invalid database name"), std::string::npos) << msgs[0].text;
        EXPECT_EQ(iiengine_databasePath(name.c_str(), path, sizeof path), -1);
        char err[128];
        EXPECT_EQ(iiengine_createDatabase(name.c_str(), nullptr, nullptr, err, sizeof err), -1);
    }
    EXPECT_NE(access(made.c_str(), F_OK), 0);
    // The name itself, with a node and a server class, is the database.
    Session ok;
    EXPECT_EQ(ok.connect(environment(), "node::" + db + "/ingres"), IIAPI_ST_SUCCESS);
}

TEST(Connect, CreatingTwiceFails) {
    std::string db = freshDatabase();
    char err[256] = "";
    EXPECT_EQ(iiengine_createDatabase(db.c_str(), nullptr, nullptr, err, sizeof err), -1);
    EXPECT_NE(std::string(err).find("already exists"), std::string::npos);
}

// The stored form of a password: the hash functions give the published test vectors.
TEST(Connect, PasswordHashFollowsTheStandardVectors) {
    EXPECT_EQ(iiapi::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(iiapi::sha256Hex(std::string(1000, 'a')),
              "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
    EXPECT_EQ(iiapi::pbkdf2Sha256Hex("password", "salt", 1),
              "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
    EXPECT_EQ(iiapi::pbkdf2Sha256Hex("password", "salt", 4096),
              "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");
    const std::string stored = iiapi::hashPassword("s3cret");
    EXPECT_EQ(stored.rfind("pbkdf2-sha256$", 0), 0u) << stored;
    EXPECT_EQ(stored.find("s3cret"), std::string::npos);
    EXPECT_NE(stored, iiapi::hashPassword("s3cret"));  // salted
    EXPECT_TRUE(iiapi::passwordMatches(stored, "s3cret"));
    for (const char* wrong : {"s3crex", "", "s3cret ", "S3cret"}) EXPECT_FALSE(iiapi::passwordMatches(stored, wrong));
    EXPECT_FALSE(iiapi::passwordMatches(stored, nullptr));
    // A damaged stored form lets nobody in.
    for (std::string bad : {stored.substr(0, stored.size() - 1), std::string("pbkdf2-sha256$0$00$00"),
                            std::string("pbkdf2-sha256$x$y$z"), std::string("pbkdf2-sha256$")})
        EXPECT_FALSE(iiapi::passwordMatches(bad, "s3cret")) << bad;
}

TEST(Connect, PasswordIsChecked) {
    std::string db = freshDatabase("bob", "s3cret");
    {
        Session s;
        std::vector<Msg> msgs;
        EXPECT_EQ(s.connect(environment(), db, "bob", "wrong", &msgs), IIAPI_ST_ERROR);
        ASSERT_FALSE(msgs.empty());
        EXPECT_EQ(msgs[0].sqlstate, "28000");
    }
    {
        Session s;
        std::vector<Msg> msgs;
        EXPECT_EQ(s.connect(environment(), db, "bob", nullptr, &msgs), IIAPI_ST_ERROR);
        ASSERT_FALSE(msgs.empty());
        EXPECT_EQ(msgs[0].sqlstate, "28000");
    }
    Session ok;
    EXPECT_EQ(ok.connect(environment(), db, "bob", "s3cret"), IIAPI_ST_SUCCESS);
}

TEST(Connect, EffectiveUserNamesTheSession) {
    std::string db = freshDatabase();
    IIAPI_SETCONPRMPARM sc{};
    sc.sc_connHandle = environment();
    sc.sc_paramID = IIAPI_CP_EFFECTIVE_USER;
    sc.sc_paramValue = const_cast<char*>("carol");
    IIapi_setConnectParam(&sc);
    ASSERT_EQ(finish(sc.sc_genParm), IIAPI_ST_SUCCESS);
    IIAPI_CONNPARM co{};
    std::string target = db;
    co.co_target = target.data();
    co.co_username = const_cast<char*>("dave");
    co.co_connHandle = sc.sc_connHandle;
    co.co_type = IIAPI_CT_SQL;
    co.co_timeout = -1;
    IIapi_connect(&co);
    ASSERT_EQ(finish(co.co_genParm), IIAPI_ST_SUCCESS);
    Session s;
    s.conn = co.co_connHandle;
    Result r = s.run("SELECT dbmsinfo('username'), dbmsinfo('system_user')", {}, IIAPI_QT_SELECT_SINGLE);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "carol");
    EXPECT_EQ(r.rows[0][1], "dave");
}

TEST(Handles, NullStaleAndWrongKindHandlesAreInvalid) {
    std::string db = freshDatabase();
    Session s;
    ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);

    IIAPI_QUERYPARM q{};
    q.qy_connHandle = nullptr;
    q.qy_queryText = const_cast<char*>("SELECT 1");
    IIapi_query(&q);
    EXPECT_EQ(finish(q.qy_genParm), IIAPI_ST_INVALID_HANDLE);

    // The environment is not a connection.
    IIAPI_QUERYPARM q2{};
    q2.qy_connHandle = environment();
    q2.qy_queryText = const_cast<char*>("SELECT 1");
    IIapi_query(&q2);
    EXPECT_EQ(finish(q2.qy_genParm), IIAPI_ST_INVALID_HANDLE);

    // A made-up pointer.
    int junk = 0;
    IIAPI_GETCOLPARM gc{};
    gc.gc_stmtHandle = &junk;
    IIapi_getColumns(&gc);
    EXPECT_EQ(finish(gc.gc_genParm), IIAPI_ST_INVALID_HANDLE);

    // A closed statement.
    IIAPI_STATUS st;
    II_PTR stmt = s.open("SELECT 1", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    EXPECT_EQ(Session::close(stmt), IIAPI_ST_SUCCESS);
    EXPECT_EQ(Session::close(stmt), IIAPI_ST_INVALID_HANDLE);
    IIAPI_GETDESCRPARM gd{};
    gd.gd_stmtHandle = stmt;
    IIapi_getDescriptor(&gd);
    EXPECT_EQ(finish(gd.gd_genParm), IIAPI_ST_INVALID_HANDLE);

    // A statement handle given where a transaction is expected.
    stmt = s.open("SELECT 1", {}, IIAPI_QT_QUERY, st);
    IIAPI_COMMITPARM cm{};
    cm.cm_tranHandle = stmt;
    IIapi_commit(&cm);
    EXPECT_EQ(finish(cm.cm_genParm), IIAPI_ST_INVALID_HANDLE);
    Session::close(stmt);

    IIAPI_GETEINFOPARM ge{};
    ge.ge_errorHandle = nullptr;
    IIapi_getErrorInfo(&ge);
    EXPECT_EQ(ge.ge_status, IIAPI_ST_INVALID_HANDLE);

    IIAPI_CANCELPARM cn{};
    cn.cn_stmtHandle = s.conn;
    IIapi_cancel(&cn);
    EXPECT_EQ(finish(cn.cn_genParm), IIAPI_ST_INVALID_HANDLE);

    // A disconnected session.
    II_PTR old = s.conn;
    s.disconnect();
    IIAPI_QUERYPARM q3{};
    q3.qy_connHandle = old;
    q3.qy_queryText = const_cast<char*>("SELECT 1");
    IIapi_query(&q3);
    EXPECT_EQ(finish(q3.qy_genParm), IIAPI_ST_INVALID_HANDLE);
    IIAPI_DISCONNPARM dc{};
    dc.dc_connHandle = old;
    IIapi_disconnect(&dc);
    EXPECT_EQ(finish(dc.dc_genParm), IIAPI_ST_INVALID_HANDLE);

    // Null parameter blocks are ignored.
    IIapi_query(nullptr);
    IIapi_getColumns(nullptr);
    IIapi_convertData(nullptr);
    IIapi_getErrorInfo(nullptr);
}

// A handle is a number the engine made: a closed statement's never names the statements that
// come after it, however often they come, and no number near a live handle's names it.
TEST(Handles, ClosedAndNeighbouringNumbersNameNoStatement) {
    std::string db = freshDatabase();
    Session s;
    ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
    IIAPI_STATUS st;
    std::vector<II_PTR> closed;
    for (int k = 0; k < 200; ++k) {
        II_PTR h = s.open("SELECT 1", {}, IIAPI_QT_QUERY, st);
        ASSERT_EQ(st, IIAPI_ST_SUCCESS);
        for (II_PTR old : closed) ASSERT_NE(old, h);
        ASSERT_EQ(Session::close(h), IIAPI_ST_SUCCESS);
        closed.push_back(h);
    }
    II_PTR live = s.open("SELECT 1", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    for (II_PTR old : closed) {
        IIAPI_GETDESCRPARM gd{};
        gd.gd_stmtHandle = old;
        IIapi_getDescriptor(&gd);
        EXPECT_EQ(finish(gd.gd_genParm), IIAPI_ST_INVALID_HANDLE);
    }
    const uintptr_t bits = reinterpret_cast<uintptr_t>(live);
    for (int shift : {0, 8, 16, 24, 32, 40, 48, 56, 63}) {
        II_PTR near = reinterpret_cast<II_PTR>(bits ^ (uintptr_t(1) << shift));
        IIAPI_GETDESCRPARM gd{};
        gd.gd_stmtHandle = near;
        IIapi_getDescriptor(&gd);
        EXPECT_EQ(finish(gd.gd_genParm), IIAPI_ST_INVALID_HANDLE) << "bit " << shift;
    }
    IIAPI_GETDESCRPARM gd{};
    gd.gd_stmtHandle = live;
    IIapi_getDescriptor(&gd);
    EXPECT_EQ(finish(gd.gd_genParm), IIAPI_ST_SUCCESS);
    EXPECT_EQ(Session::close(live), IIAPI_ST_SUCCESS);
}

// Calls on one session's statements from several threads: a session's thread runs statements
// one after another while others read and close whichever of its handles they last saw, then
// one disconnects the session under them. A statement is found open or gone, never half of
// either: each call answers success, no data or an invalid handle, and every row the session's
// thread inserted is there. (The sanitizer and thread-checker builds see any call that reaches a
// freed record.)
TEST(Handles, StatementsMetFromOtherThreadsAreOpenOrGone) {
    std::string db = freshDatabase();
    Session s;
    ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("CREATE TABLE h (k integer)").status, IIAPI_ST_SUCCESS);
    constexpr int kRows = 1500, kSlots = 4, kOthers = 3;
    std::atomic<II_PTR> seen[kSlots] = {};
    std::atomic<bool> over{false};
    std::atomic<int> oddAnswers{0}, answered{0};
    auto others = [&](int id) {
        for (unsigned n = unsigned(id); !over.load() || n % 64 != 0; ++n) {
            II_PTR h = seen[n % kSlots].load();
            if (!h) continue;
            IIAPI_STATUS st;
            if (n % 3 == 0) {
                st = Session::close(h);
            } else if (n % 3 == 1) {
                IIAPI_GETQINFOPARM gq{};
                gq.gq_stmtHandle = h;
                IIapi_getQueryInfo(&gq);
                st = finish(gq.gq_genParm);
            } else {
                IIAPI_GETDESCRPARM gd{};
                gd.gd_stmtHandle = h;
                IIapi_getDescriptor(&gd);
                st = finish(gd.gd_genParm);
            }
            if (st != IIAPI_ST_SUCCESS && st != IIAPI_ST_NO_DATA && st != IIAPI_ST_INVALID_HANDLE) ++oddAnswers;
            ++answered;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kOthers; ++t) threads.emplace_back(others, t);
    int inserted = 0;
    for (int k = 0; k < kRows; ++k) {
        IIAPI_STATUS st;
        II_PTR h = s.open("INSERT INTO h VALUES (?)", {pInt(k)}, IIAPI_QT_QUERY, st);
        ASSERT_EQ(st, IIAPI_ST_SUCCESS) << k;
        seen[k % kSlots].store(h);
        IIAPI_GETQINFOPARM gq{};
        gq.gq_stmtHandle = h;
        IIapi_getQueryInfo(&gq);
        const IIAPI_STATUS info = finish(gq.gq_genParm);
        if (info == IIAPI_ST_SUCCESS) {
            EXPECT_EQ(gq.gq_rowCount, 1) << k;
        } else {
            EXPECT_EQ(info, IIAPI_ST_INVALID_HANDLE) << k;  // another thread closed it first
        }
        const IIAPI_STATUS closed = Session::close(h);
        EXPECT_TRUE(closed == IIAPI_ST_SUCCESS || closed == IIAPI_ST_INVALID_HANDLE) << k;
        ++inserted;
    }
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    Result count = s.exec("SELECT count(*) FROM h");
    ASSERT_EQ(count.status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(count.rows.size(), 1u);
    EXPECT_EQ(count.rows[0][0], std::to_string(inserted));
    // The session goes while the others still call on its last statements.
    IIAPI_STATUS st;
    II_PTR last = s.open("SELECT k FROM h", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    seen[0].store(last);
    ASSERT_EQ(s.disconnect(), IIAPI_ST_SUCCESS);
    over = true;
    for (auto& t : threads) t.join();
    EXPECT_EQ(oddAnswers.load(), 0);
    EXPECT_GT(answered.load(), 0);
    for (auto& h : seen) {
        IIAPI_GETQINFOPARM gq{};
        gq.gq_stmtHandle = h.load();
        IIapi_getQueryInfo(&gq);
        EXPECT_EQ(finish(gq.gq_genParm), IIAPI_ST_INVALID_HANDLE);
    }
}

// A call that waits for its session while another thread closes its statement finds no statement
// once its turn comes: closed is closed for the calls already waiting too.
TEST(Handles, ACallWaitingWhileItsStatementIsClosedFindsItGone) {
    std::string db = freshDatabase();
    Session s;
    ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
    IIAPI_STATUS st;
    II_PTR h = s.open("SELECT 1", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    std::shared_ptr<iiapi::Stmt> stmt = iiapi::findAs<iiapi::Stmt>(h, iiapi::Kind::Stmt);
    ASSERT_TRUE(stmt);
    const std::shared_ptr<iiapi::Conn> conn = stmt->conn.lock();
    ASSERT_TRUE(conn);
    const long before = stmt.use_count();
    conn->callMutex.lock();  // the session busy: the next call waits, holding the statement
    std::atomic<IIAPI_STATUS> answer{IIAPI_ST_SUCCESS};
    std::thread waiting([&] {
        IIAPI_GETDESCRPARM gd{};
        gd.gd_stmtHandle = h;
        IIapi_getDescriptor(&gd);
        answer = finish(gd.gd_genParm);
    });
    while (stmt.use_count() == before) std::this_thread::yield();
    EXPECT_EQ(Session::close(h), IIAPI_ST_SUCCESS);  // this thread holds the session's lock already
    conn->callMutex.unlock();
    waiting.join();
    EXPECT_EQ(answer.load(), IIAPI_ST_INVALID_HANDLE);
}

// Many sessions at once, more than the registry has shards, so that some share one: each
// session's statement answers that session's rows, and a session's end takes its own statements
// only, whichever shard they share.
TEST(Handles, ManySessionsKeepTheirStatementsApart) {
    std::string db = freshDatabase();
    constexpr int kSessions = 150;
    {
        Session owner;
        ASSERT_EQ(owner.connect(environment(), db), IIAPI_ST_SUCCESS);
        ASSERT_EQ(owner.exec("CREATE TABLE n (k integer)").status, IIAPI_ST_SUCCESS);
        for (int k = 0; k < kSessions; ++k)
            ASSERT_EQ(owner.run("INSERT INTO n VALUES (?)", {pInt(k)}).status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(owner.commit(), IIAPI_ST_SUCCESS);
    }
    std::vector<std::unique_ptr<Session>> sessions;
    std::vector<II_PTR> stmts;
    for (int k = 0; k < kSessions; ++k) {
        sessions.push_back(std::make_unique<Session>());
        ASSERT_EQ(sessions.back()->connect(environment(), db), IIAPI_ST_SUCCESS) << k;
        IIAPI_STATUS st;
        stmts.push_back(
            sessions.back()->open("SELECT k FROM n WHERE k >= ? ORDER BY k", {pInt(k)}, IIAPI_QT_QUERY, st));
        ASSERT_EQ(st, IIAPI_ST_SUCCESS) << k;
        std::vector<IIAPI_DESCRIPTOR> d;
        std::vector<std::string> names;
        ASSERT_EQ(descriptors(stmts.back(), d, names), IIAPI_ST_SUCCESS) << k;
    }
    EXPECT_EQ(std::set<II_PTR>(stmts.begin(), stmts.end()).size(), stmts.size());
    auto next = [](II_PTR h) {
        int32_t v = -1;
        return fetchOne(h, &v) == IIAPI_ST_SUCCESS ? v : -1;
    };
    for (int k = 0; k < kSessions; k += 2) ASSERT_EQ(sessions[k]->disconnect(), IIAPI_ST_SUCCESS) << k;
    for (int k = 0; k < kSessions; ++k) {
        if (k % 2 == 0) {
            int32_t v = -1;
            EXPECT_EQ(fetchOne(stmts[k], &v), IIAPI_ST_INVALID_HANDLE) << k;
        } else {
            EXPECT_EQ(next(stmts[k]), k) << k;
            if (k + 1 < kSessions) {
                EXPECT_EQ(next(stmts[k]), k + 1) << k;
            }
            EXPECT_EQ(Session::close(stmts[k]), IIAPI_ST_SUCCESS) << k;
        }
    }
}

// SQLite's memory statistics lock one mutex of the whole process around every allocation and
// free of every connection, so sessions on different threads would wait for one another: the
// engine turns them off when it is the first to start SQLite, and leaves them to an
// application that started SQLite itself. Each case runs in a process of its own.
TEST(SqliteStatisticsDeathTest, OffUnlessTheApplicationStartedSqliteFirst) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto sessionThen = [](bool applicationFirst) {
        if (applicationFirst && sqlite3_initialize() != SQLITE_OK) std::_Exit(2);
        Session s;
        if (s.connect(environment(), freshDatabase()) != IIAPI_ST_SUCCESS) std::_Exit(2);
        if (s.exec("CREATE TABLE t (k integer)").status != IIAPI_ST_SUCCESS) std::_Exit(2);
        const bool counted = sqlite3_memory_used() > 0;
        std::_Exit(counted == applicationFirst ? 0 : 1);
    };
    EXPECT_EXIT(sessionThen(false), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(sessionThen(true), ::testing::ExitedWithCode(0), "");
}

TEST(Handles, SecondEnvironmentAndTermination) {
    environment();
    IIAPI_INITPARM in{};
    in.in_version = IIAPI_VERSION_8;
    IIapi_initialize(&in);
    ASSERT_EQ(in.in_status, IIAPI_ST_SUCCESS);
    ASSERT_NE(in.in_envHandle, nullptr);
    ASSERT_NE(in.in_envHandle, environment());
    IIAPI_SETENVPRMPARM se{};
    II_LONG bad = 3;
    se.se_envHandle = in.in_envHandle;
    se.se_paramID = IIAPI_EP_MAX_SEGMENT_LEN;
    se.se_paramValue = &bad;
    IIapi_setEnvParam(&se);
    EXPECT_EQ(se.se_status, IIAPI_ST_FAILURE);
    IIAPI_RELENVPARM re{};
    re.re_envHandle = in.in_envHandle;
    IIapi_releaseEnv(&re);
    EXPECT_EQ(re.re_status, IIAPI_ST_SUCCESS);
    IIapi_releaseEnv(&re);
    EXPECT_EQ(re.re_status, IIAPI_ST_INVALID_HANDLE);
    IIAPI_TERMPARM tm{};
    IIapi_terminate(&tm);
    EXPECT_EQ(tm.tm_status, IIAPI_ST_SUCCESS);
    // The first initialisation still holds.
    IIAPI_WAITPARM w{};
    IIapi_wait(&w);
    EXPECT_EQ(w.wt_status, IIAPI_ST_SUCCESS);
    IIAPI_INITPARM bad2{};
    bad2.in_version = 99;
    IIapi_initialize(&bad2);
    EXPECT_EQ(bad2.in_status, IIAPI_ST_FAILURE);
}

}  // namespace

namespace {

// Every call that takes a handle answers a null, made-up or released one with the invalid-handle
// status.
TEST(Handles, EveryCallRejectsBadHandles) {
    std::string db = freshDatabase();
    Session s;
    ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
    IIAPI_STATUS st;
    II_PTR released = s.open("SELECT 1", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(Session::close(released), IIAPI_ST_SUCCESS);
    int junk = 0;
    for (II_PTR bad : {static_cast<II_PTR>(nullptr), static_cast<II_PTR>(&junk), released}) {
        SCOPED_TRACE(bad == nullptr ? "null" : bad == released ? "released" : "made up");
        IIAPI_SETCONPRMPARM sc{};
        sc.sc_connHandle = bad;
        sc.sc_paramID = IIAPI_CP_DECIMAL_CHAR;
        sc.sc_paramValue = const_cast<char*>(".");
        IIapi_setConnectParam(&sc);
        EXPECT_EQ(finish(sc.sc_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_CONNPARM co{};
        co.co_connHandle = bad;
        co.co_target = const_cast<char*>(db.c_str());
        co.co_type = IIAPI_CT_SQL;
        IIapi_connect(&co);
        EXPECT_EQ(finish(co.co_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_DISCONNPARM dc{};
        dc.dc_connHandle = bad;
        IIapi_disconnect(&dc);
        EXPECT_EQ(finish(dc.dc_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_AUTOPARM ac{};
        ac.ac_connHandle = bad;
        IIapi_autocommit(&ac);
        EXPECT_EQ(finish(ac.ac_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_COMMITPARM cm{};
        cm.cm_tranHandle = bad;
        IIapi_commit(&cm);
        EXPECT_EQ(finish(cm.cm_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_ROLLBACKPARM rb{};
        rb.rb_tranHandle = bad;
        IIapi_rollback(&rb);
        EXPECT_EQ(finish(rb.rb_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_PREPCMTPARM pc{};
        pc.pr_tranHandle = bad;
        IIapi_prepareCommit(&pc);
        EXPECT_EQ(finish(pc.pr_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_QUERYPARM q{};
        q.qy_connHandle = bad;
        q.qy_queryText = const_cast<char*>("SELECT 1");
        IIapi_query(&q);
        EXPECT_EQ(finish(q.qy_genParm), IIAPI_ST_INVALID_HANDLE);
        EXPECT_EQ(q.qy_stmtHandle, nullptr);
        // A good connection with a bad transaction handle.
        IIAPI_QUERYPARM q2{};
        q2.qy_connHandle = s.conn;
        q2.qy_tranHandle = bad ? bad : released;
        q2.qy_queryText = const_cast<char*>("SELECT 1");
        IIapi_query(&q2);
        EXPECT_EQ(finish(q2.qy_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_SETDESCRPARM sd{};
        sd.sd_stmtHandle = bad;
        IIapi_setDescriptor(&sd);
        EXPECT_EQ(finish(sd.sd_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_PUTPARMPARM pp{};
        pp.pp_stmtHandle = bad;
        IIapi_putParms(&pp);
        EXPECT_EQ(finish(pp.pp_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_GETDESCRPARM gd{};
        gd.gd_stmtHandle = bad;
        IIapi_getDescriptor(&gd);
        EXPECT_EQ(finish(gd.gd_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_GETCOLPARM gc{};
        gc.gc_stmtHandle = bad;
        IIapi_getColumns(&gc);
        EXPECT_EQ(finish(gc.gc_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_GETQINFOPARM gq{};
        gq.gq_stmtHandle = bad;
        IIapi_getQueryInfo(&gq);
        EXPECT_EQ(finish(gq.gq_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_CLOSEPARM cl{};
        cl.cl_stmtHandle = bad;
        IIapi_close(&cl);
        EXPECT_EQ(finish(cl.cl_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_CANCELPARM cn{};
        cn.cn_stmtHandle = bad;
        IIapi_cancel(&cn);
        EXPECT_EQ(finish(cn.cn_genParm), IIAPI_ST_INVALID_HANDLE);
        IIAPI_GETEINFOPARM ge{};
        ge.ge_errorHandle = bad;
        IIapi_getErrorInfo(&ge);
        EXPECT_EQ(ge.ge_status, IIAPI_ST_INVALID_HANDLE);
        IIAPI_SETENVPRMPARM se{};
        II_LONG v = 8192;
        se.se_envHandle = bad;
        se.se_paramID = IIAPI_EP_MAX_SEGMENT_LEN;
        se.se_paramValue = &v;
        IIapi_setEnvParam(&se);
        EXPECT_EQ(se.se_status, IIAPI_ST_INVALID_HANDLE);
        IIAPI_RELENVPARM re{};
        re.re_envHandle = bad;
        IIapi_releaseEnv(&re);
        EXPECT_EQ(re.re_status, IIAPI_ST_INVALID_HANDLE);
        IIAPI_RELXIDPARM rl{};
        rl.rl_tranIdHandle = bad;
        IIapi_releaseXID(&rl);
        EXPECT_EQ(rl.rl_status, IIAPI_ST_INVALID_HANDLE);
    }
    // The session is unharmed.
    Result r = s.run("SELECT 1", {}, IIAPI_QT_SELECT_SINGLE);
    EXPECT_EQ(r.status, IIAPI_ST_SUCCESS);
}

}  // namespace
