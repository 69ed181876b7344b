// Positioned UPDATE and DELETE (WHERE CURRENT OF) through cursors opened by name, and the write
// lock a key update holds against other sessions and processes until its transaction ends.
#include "tests/iiapi/api_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

using namespace apitest;

namespace {

class Positioned : public ::testing::Test {
protected:
    void SetUp() override {
        db = freshDatabase();
        ASSERT_EQ(s.connect(environment(), db, "ann"), IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE TABLE t (k integer NOT NULL, v varchar(10))").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE INDEX t_k ON t (k)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE TABLE u (k integer, w varchar(10))").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c'), (4, 'd')").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("INSERT INTO u VALUES (1, 'u1'), (2, 'u2')").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    }
    void TearDown() override {
        for (II_PTR h : open) Session::close(h);
    }
    // Prepares select as a statement of its own and opens it as cursor `name` with the open text
    // that follows the statement name (" for readonly", as the driver sends it, or nothing).
    II_PTR openCursor(const std::string& select, const std::string& name, const std::string& how = " for readonly") {
        const std::string stmt = "ps_" + name;
        Result p = s.exec("prepare " + stmt + " into sqlda from " + select);
        EXPECT_EQ(p.status, IIAPI_ST_SUCCESS) << select << ": " << firstMessage(p.msgs);
        IIAPI_STATUS st;
        std::vector<Msg> msgs;
        II_PTR h = s.open(stmt + how, {pService(name)}, IIAPI_QT_OPEN, st, &msgs);
        EXPECT_EQ(st, IIAPI_ST_SUCCESS) << firstMessage(msgs);
        open.push_back(h);
        return h;
    }
    // The next key of a cursor over "SELECT k ...", or -1 at the end.
    long next(II_PTR h) {
        int32_t k = 0;
        std::vector<Msg> msgs;
        IIAPI_STATUS st = fetchOne(h, &k, &msgs);
        if (st == IIAPI_ST_NO_DATA) return -1;
        EXPECT_EQ(st, IIAPI_ST_SUCCESS) << firstMessage(msgs);
        return k;
    }
    // The table as "k=v" pairs in key order, read by another session.
    std::string contents() {
        Session other;
        EXPECT_EQ(other.connect(environment(), db, "bea"), IIAPI_ST_SUCCESS);
        Result r = other.exec("SELECT k, v FROM t ORDER BY k");
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
        std::string out;
        for (auto& row : r.rows) out += (out.empty() ? "" : " ") + trimmed(row[0]) + "=" + trimmed(row[1]);
        return out;
    }
    static std::string state(const Result& r) { return r.msgs.empty() ? "(none)" : r.msgs[0].sqlstate; }

    std::string db;
    Session s;
    std::vector<II_PTR> open;
};

// Each change reaches the row read last; reading goes on with the next row, even after the
// ordering key of a row moved it past the rows still to come.
TEST_F(Positioned, ChangesReachTheCurrentRowAndReadingGoesOn) {
    II_PTR h = openCursor("SELECT k FROM t WHERE k > 0 ORDER BY k FOR UPDATE", "c1");
    std::vector<IIAPI_DESCRIPTOR> desc;
    std::vector<std::string> names;
    ASSERT_EQ(descriptors(h, desc, names), IIAPI_ST_SUCCESS);
    EXPECT_EQ(desc.size(), 1u);  // the row id travels out of sight

    ASSERT_EQ(next(h), 1);
    Result up = s.exec("UPDATE t SET k = k + 10, v = 'moved' WHERE CURRENT OF c1");
    ASSERT_EQ(up.status, IIAPI_ST_SUCCESS) << firstMessage(up.msgs);
    EXPECT_EQ(up.rowCount, 1);

    ASSERT_EQ(next(h), 2);
    Result del = s.exec("DELETE FROM t WHERE CURRENT OF C1");  // names are not case-sensitive
    ASSERT_EQ(del.status, IIAPI_ST_SUCCESS) << firstMessage(del.msgs);
    EXPECT_EQ(del.rowCount, 1);
    Result again = s.exec("UPDATE t SET v = 'no' WHERE CURRENT OF c1");
    EXPECT_EQ(again.status, IIAPI_ST_ERROR);
    EXPECT_EQ(state(again), "S1109") << firstMessage(again.msgs);

    // A prepared change with a parameter: the row id comes after the client's values.
    ASSERT_EQ(next(h), 3);
    Result prep = s.exec("prepare pu into sqlda from UPDATE t SET v = ? WHERE CURRENT OF c1");
    ASSERT_EQ(prep.status, IIAPI_ST_SUCCESS) << firstMessage(prep.msgs);
    Result ex = s.run("execute pu", {pVarchar("three")}, IIAPI_QT_EXEC);
    ASSERT_EQ(ex.status, IIAPI_ST_SUCCESS) << firstMessage(ex.msgs);
    EXPECT_EQ(ex.rowCount, 1);

    ASSERT_EQ(next(h), 4);
    EXPECT_EQ(next(h), -1);  // the moved row 11 does not come again
    Result after = s.exec("DELETE FROM t WHERE CURRENT OF c1");
    EXPECT_EQ(after.status, IIAPI_ST_ERROR);
    EXPECT_EQ(state(after), "24000") << firstMessage(after.msgs);

    ASSERT_EQ(Session::close(h), IIAPI_ST_SUCCESS);
    open.clear();
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(contents(), "3=three 4=d 11=moved");
}

// A cursor whose SELECT names the columns it updates, in a correlation name; the open without
// "for readonly" makes a plain SELECT's cursor updatable too.
TEST_F(Positioned, ForUpdateOfListsAndCorrelationNames) {
    II_PTR h = openCursor("SELECT x.k FROM t x WHERE x.k >= 2 ORDER BY x.k FOR DEFERRED UPDATE OF v", "c2");
    ASSERT_EQ(next(h), 2);
    Result listed = s.exec("UPDATE t SET v = 'two' WHERE CURRENT OF c2");
    ASSERT_EQ(listed.status, IIAPI_ST_SUCCESS) << firstMessage(listed.msgs);
    Result unlisted = s.exec("UPDATE t SET k = 20 WHERE CURRENT OF c2");
    EXPECT_EQ(unlisted.status, IIAPI_ST_ERROR);
    EXPECT_EQ(state(unlisted), "42000") << firstMessage(unlisted.msgs);

    II_PTR plain = openCursor("SELECT k FROM t ORDER BY k DESC", "c3", "");
    ASSERT_EQ(next(plain), 4);
    Result del = s.exec("DELETE FROM t WHERE CURRENT OF c3");
    ASSERT_EQ(del.status, IIAPI_ST_SUCCESS) << firstMessage(del.msgs);
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(contents(), "1=a 2=two 3=c");

    // A column called "current" leaves a searched change what it is.
    ASSERT_EQ(s.exec("CREATE TABLE cur (current integer)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("INSERT INTO cur VALUES (1)").status, IIAPI_ST_SUCCESS);
    Result searched = s.exec("UPDATE cur SET current = 2 WHERE current = 1");
    ASSERT_EQ(searched.status, IIAPI_ST_SUCCESS) << firstMessage(searched.msgs);
    EXPECT_EQ(searched.rowCount, 1);
}

// What a server refuses, and leaves the table as it was.
TEST_F(Positioned, RefusedChangesLeaveTheTableAlone) {
    struct Case {
        const char* what;
        const char* select;  // nullptr: no cursor is opened
        const char* how;
        int fetches;
        const char* change;
        const char* sqlstate;
    };
    const Case cases[] = {
        {"unknown cursor", nullptr, "", 0, "UPDATE t SET v = 'z' WHERE CURRENT OF nosuch", "34000"},
        {"not yet on a row", "SELECT k FROM t FOR UPDATE", " for readonly", 0,
         "UPDATE t SET v = 'z' WHERE CURRENT OF c", "24000"},
        {"past the end", "SELECT k FROM t FOR UPDATE", " for readonly", 5, "DELETE FROM t WHERE CURRENT OF c", "24000"},
        {"join", "SELECT t.k FROM t, u WHERE t.k = u.k FOR UPDATE", " for readonly", 1,
         "UPDATE t SET v = 'z' WHERE CURRENT OF c", "42000"},
        {"inner join", "SELECT t.k FROM t INNER JOIN u ON t.k = u.k FOR UPDATE", "", 1,
         "DELETE FROM t WHERE CURRENT OF c", "42000"},
        {"declared read-only", "SELECT k FROM t FOR READONLY", "", 1, "UPDATE t SET v = 'z' WHERE CURRENT OF c",
         "42000"},
        {"opened read-only", "SELECT k FROM t", " for readonly", 1, "DELETE FROM t WHERE CURRENT OF c", "42000"},
        {"grouped", "SELECT k FROM t GROUP BY k FOR UPDATE", "", 1, "DELETE FROM t WHERE CURRENT OF c", "42000"},
        {"distinct", "SELECT DISTINCT k FROM t FOR UPDATE", "", 1, "DELETE FROM t WHERE CURRENT OF c", "42000"},
        {"aggregate", "SELECT max(k) FROM t FOR UPDATE", "", 1, "DELETE FROM t WHERE CURRENT OF c", "42000"},
        {"union", "SELECT k FROM t UNION SELECT k FROM u", "", 1, "DELETE FROM t WHERE CURRENT OF c", "42000"},
        {"other table", "SELECT k FROM t FOR UPDATE", "", 1, "UPDATE u SET w = 'z' WHERE CURRENT OF c", "42000"},
        {"text after the name", "SELECT k FROM t FOR UPDATE", "", 1, "DELETE FROM t WHERE CURRENT OF c AND k = 1",
         "42000"},
    };
    const std::string before = contents();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        II_PTR h = nullptr;
        if (k.select) {
            h = openCursor(k.select, "c", k.how);
            for (int i = 0; i < k.fetches; ++i) next(h);
        }
        Result r = s.exec(k.change);
        EXPECT_EQ(r.status, IIAPI_ST_ERROR);
        EXPECT_EQ(state(r), k.sqlstate) << firstMessage(r.msgs);
        if (h) {
            Session::close(h);
            open.clear();
        }
        ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
        EXPECT_EQ(contents(), before);
        Result w = s.exec("SELECT count(*) FROM u WHERE w = 'z'");
        ASSERT_EQ(w.rows.size(), 1u);
        EXPECT_EQ(trimmed(w.rows[0][0]), "0");
        s.commit();
    }
}

// The end of a transaction closes the cursor, a row deleted by another statement is gone, and
// a second cursor of an open cursor's name is refused.
TEST_F(Positioned, ClosedCursorsGoneRowsAndDuplicateNames) {
    II_PTR h = openCursor("SELECT k FROM t ORDER BY k FOR UPDATE", "c4");
    ASSERT_EQ(next(h), 1);
    ASSERT_EQ(s.exec("DELETE FROM t WHERE k = 1").status, IIAPI_ST_SUCCESS);
    Result gone = s.exec("UPDATE t SET v = 'z' WHERE CURRENT OF c4");
    EXPECT_EQ(gone.status, IIAPI_ST_ERROR);
    EXPECT_EQ(state(gone), "S1109") << firstMessage(gone.msgs);

    ASSERT_EQ(s.exec("prepare dup into sqlda from SELECT k FROM t").status, IIAPI_ST_SUCCESS);
    IIAPI_STATUS st;
    std::vector<Msg> msgs;
    II_PTR second = s.open("dup for readonly", {pService("C4")}, IIAPI_QT_OPEN, st, &msgs);
    EXPECT_EQ(st, IIAPI_ST_ERROR);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs[0].sqlstate, "24000");
    Session::close(second);

    ASSERT_EQ(next(h), 2);
    ASSERT_EQ(s.rollback(), IIAPI_ST_SUCCESS);
    Result closed = s.exec("UPDATE t SET v = 'z' WHERE CURRENT OF c4");
    EXPECT_EQ(closed.status, IIAPI_ST_ERROR);
    EXPECT_EQ(state(closed), "34000") << firstMessage(closed.msgs);
    s.rollback();
    EXPECT_EQ(contents(), "1=a 2=b 3=c 4=d");
}

// An updatable cursor hands out one row per read, so that its current row is the client's; a
// read-only one fills the block it is asked for.
TEST_F(Positioned, UpdatableCursorsReadOneRowAtATime) {
    auto rowsOfOneRead = [](II_PTR h) {
        IIAPI_DATAVALUE dv[4]{};
        int32_t k[4] = {};
        for (int i = 0; i < 4; ++i) dv[i].dv_value = &k[i];
        IIAPI_GETCOLPARM gc{};
        gc.gc_stmtHandle = h;
        gc.gc_rowCount = 4;
        gc.gc_columnCount = 1;
        gc.gc_columnData = dv;
        IIapi_getColumns(&gc);
        EXPECT_EQ(finish(gc.gc_genParm), IIAPI_ST_SUCCESS);
        return int(gc.gc_rowsReturned);
    };
    II_PTR upd = openCursor("SELECT k FROM t ORDER BY k FOR UPDATE", "c5");
    EXPECT_EQ(rowsOfOneRead(upd), 1);
    Result r = s.exec("UPDATE t SET v = 'first' WHERE CURRENT OF c5");
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    II_PTR ro = openCursor("SELECT k FROM t ORDER BY k", "c6");
    EXPECT_EQ(rowsOfOneRead(ro), 4);
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(contents(), "1=first 2=b 3=c 4=d");
}

// A client that reads several rows of an updatable cursor into one block names which of them
// positioned changes reach (IIapi_position): a row it handed out, or none after the last; the
// next row read is current again. Other cursors, references and rows are refused.
TEST_F(Positioned, PositionNamesARowHandedOut) {
    auto position = [](II_PTR h, II_UINT2 reference, II_INT4 offset, II_INT2 rows = 0) {
        IIAPI_POSPARM po{};
        po.po_stmtHandle = h;
        po.po_reference = reference;
        po.po_offset = offset;
        po.po_rowCount = rows;
        IIapi_position(&po);
        return finish(po.po_genParm);
    };
    II_PTR h = openCursor("SELECT k FROM t ORDER BY k FOR UPDATE", "c7");
    ASSERT_EQ(next(h), 1);
    ASSERT_EQ(next(h), 2);
    ASSERT_EQ(next(h), 3);
    ASSERT_EQ(position(h, IIAPI_POS_BEGIN, 1), IIAPI_ST_SUCCESS);
    Result up = s.exec("UPDATE t SET v = 'one' WHERE CURRENT OF c7");
    ASSERT_EQ(up.status, IIAPI_ST_SUCCESS) << firstMessage(up.msgs);
    ASSERT_EQ(position(h, IIAPI_POS_BEGIN, 2), IIAPI_ST_SUCCESS);
    Result del = s.exec("DELETE FROM t WHERE CURRENT OF c7");
    ASSERT_EQ(del.status, IIAPI_ST_SUCCESS) << firstMessage(del.msgs);
    Result gone = s.exec("UPDATE t SET v = 'no' WHERE CURRENT OF c7");
    EXPECT_EQ(state(gone), "S1109") << firstMessage(gone.msgs);
    EXPECT_EQ(position(h, IIAPI_POS_BEGIN, 5), IIAPI_ST_ERROR);
    EXPECT_EQ(position(h, IIAPI_POS_BEGIN, 0), IIAPI_ST_ERROR);
    EXPECT_EQ(position(h, IIAPI_POS_CURRENT, -1), IIAPI_ST_ERROR);
    EXPECT_EQ(position(h, IIAPI_POS_BEGIN, 1, 1), IIAPI_ST_ERROR);
    ASSERT_EQ(position(h, IIAPI_POS_BEGIN, 4), IIAPI_ST_SUCCESS);
    Result none = s.exec("UPDATE t SET v = 'no' WHERE CURRENT OF c7");
    EXPECT_EQ(state(none), "24000") << firstMessage(none.msgs);
    // Reading goes on after the last row handed out, which is current.
    ASSERT_EQ(next(h), 4);
    Result four = s.exec("UPDATE t SET v = 'four' WHERE CURRENT OF c7");
    ASSERT_EQ(four.status, IIAPI_ST_SUCCESS) << firstMessage(four.msgs);
    II_PTR ro = openCursor("SELECT k FROM t ORDER BY k", "c8");
    ASSERT_EQ(next(ro), 1);
    EXPECT_EQ(position(ro, IIAPI_POS_BEGIN, 1), IIAPI_ST_ERROR);
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(contents(), "1=one 3=c 4=four");
}

// The no-op key update that locks a row holds the lock until the transaction ends: another
// session waits out its lock timeout and fails with 40001, in this process and in another one,
// and gets through once the lock holder commits.
TEST_F(Positioned, KeyUpdateLockHoldsUntilCommit) {
    ASSERT_EQ(s.exec("prepare lk into sqlda from UPDATE t SET k = ? WHERE k = ?").status, IIAPI_ST_SUCCESS);
    Result lock = s.run("execute lk", {pInt(2), pInt(2)}, IIAPI_QT_EXEC);
    ASSERT_EQ(lock.status, IIAPI_ST_SUCCESS) << firstMessage(lock.msgs);
    ASSERT_EQ(lock.rowCount, 1);

    constexpr int kTimeoutMs = 300;
    ASSERT_EQ(iiengine_setControl(IIENGINE_BUSY_TIMEOUT, std::to_string(kTimeoutMs).c_str()), 0);
    Session b;
    IIAPI_STATUS st = b.connect(environment(), db, "bea");
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    auto start = std::chrono::steady_clock::now();
    Result waited = b.exec("UPDATE t SET v = 'b' WHERE k = 2");
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(waited.status, IIAPI_ST_ERROR);
    EXPECT_EQ(state(waited), "40001") << firstMessage(waited.msgs);
    EXPECT_GE(ms, kTimeoutMs * 9 / 10);
    b.rollback();

    // Another process: 0 when its update failed with 40001, 1 on success, 2 on another failure.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        Session c;
        if (c.connect(environment(), db, "cid") != IIAPI_ST_SUCCESS) _exit(3);
        Result r = c.exec("UPDATE t SET v = 'c' WHERE k = 2");
        _exit(r.status == IIAPI_ST_SUCCESS ? 1 : (!r.msgs.empty() && r.msgs[0].sqlstate == "40001") ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    iiengine_setControl(IIENGINE_BUSY_TIMEOUT, nullptr);

    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    Result now = b.exec("UPDATE t SET v = 'bee' WHERE k = 2");
    ASSERT_EQ(now.status, IIAPI_ST_SUCCESS) << firstMessage(now.msgs);
    EXPECT_EQ(now.rowCount, 1);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(contents(), "1=a 2=bee 3=c 4=d");
}

}  // namespace
