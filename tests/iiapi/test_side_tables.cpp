// The row-version table VOVURA in its own file: a second session writes it while the first
// holds a write transaction on other tables; everything else locks as before.
#include "tests/iiapi/api_fixture.h"

#include <sys/stat.h>

using namespace apitest;

namespace {

constexpr const char* kRow = "INSERT INTO vovura VALUES ('0000000A', '0000000B', 'K', 'R')";

class RowVersionTable : public ::testing::Test {
protected:
    void SetUp() override {
        db = freshDatabase();
        char err[256] = "";
        ASSERT_EQ(iiengine_createRowVersionTable(db.c_str(), err, sizeof err), 0) << err;
        // Conflicts show quickly.
        ASSERT_EQ(iiengine_setControl(IIENGINE_BUSY_TIMEOUT, "100"), 0);
        IIAPI_STATUS sa = a.connect(environment(), db, "ann");
        IIAPI_STATUS sb = b.connect(environment(), db, "bea");
        iiengine_setControl(IIENGINE_BUSY_TIMEOUT, nullptr);
        ASSERT_EQ(sa, IIAPI_ST_SUCCESS);
        ASSERT_EQ(sb, IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.exec("CREATE TABLE t (k integer, v varchar(10))").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    }
    long count(Session& s, const char* table) {
        Result r = s.run(std::string("SELECT count(*) FROM ") + table, {}, IIAPI_QT_SELECT_SINGLE);
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
        return r.rows.size() == 1 && r.rows[0][0] ? std::stol(*r.rows[0][0]) : -1;
    }
    static std::string state(const Result& r) { return r.msgs.empty() ? "" : r.msgs[0].sqlstate; }
    std::string db;
    Session a, b;
};

TEST_F(RowVersionTable, SecondSessionWorksBesideAWriteTransaction) {
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (1, 'a holds')").status, IIAPI_ST_SUCCESS);
    // Insert, read, update, delete and commit while a's transaction stays open.
    Result ins = b.exec(kRow);
    ASSERT_EQ(ins.status, IIAPI_ST_SUCCESS) << firstMessage(ins.msgs);
    Result look = b.run("SELECT rowver FROM vovura WHERE hconn = '0000000A' AND keyver = ?", {pVarchar("K")});
    ASSERT_EQ(look.status, IIAPI_ST_SUCCESS) << firstMessage(look.msgs);
    ASSERT_EQ(look.rows.size(), 1u);
    EXPECT_EQ(trimmed(look.rows[0][0]), "R");
    Result upd = b.exec("UPDATE vovura SET rowver = 'S' WHERE keyver = 'K'");
    ASSERT_EQ(upd.status, IIAPI_ST_SUCCESS) << firstMessage(upd.msgs);
    EXPECT_EQ(upd.rowCount, 1);
    ASSERT_EQ(b.exec(kRow).status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.exec("DELETE FROM vovura WHERE rowver = 'R'").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    // a sees b's committed rows and finishes its own work.
    EXPECT_EQ(count(a, "vovura"), 1);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(b, "t"), 1);
    b.rollback();
}

TEST_F(RowVersionTable, WriteTransactionOnTheTableLeavesOtherTablesFree) {
    ASSERT_EQ(b.exec(kRow).status, IIAPI_ST_SUCCESS);
    Result ins = a.exec("INSERT INTO t VALUES (1, 'free')");
    ASSERT_EQ(ins.status, IIAPI_ST_SUCCESS) << firstMessage(ins.msgs);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    // Until b commits, its row is its own.
    EXPECT_EQ(count(a, "vovura"), 0);
    a.rollback();
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a, "vovura"), 1);
    a.rollback();
}

// What the server's locking keeps: two writers of one file still wait for each other.
TEST_F(RowVersionTable, WritersOfTheSameTablesStillConflict) {
    struct Case {
        const char* first;
        const char* second;
    } cases[] = {
        {"INSERT INTO t VALUES (1, 'a')", "INSERT INTO t VALUES (2, 'b')"},
        {kRow, kRow},
        // A transaction that wrote both files holds both.
        {"INSERT INTO t VALUES (3, 'a')", kRow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " / " + c.second);
        ASSERT_EQ(a.exec(c.first).status, IIAPI_ST_SUCCESS);
        if (std::string(c.first) != kRow && std::string(c.second) == kRow) {
            ASSERT_EQ(a.exec(kRow).status, IIAPI_ST_SUCCESS);
        }
        Result r = b.exec(c.second);
        EXPECT_EQ(r.status, IIAPI_ST_ERROR);
        EXPECT_EQ(state(r), "40001");
        ASSERT_EQ(b.rollback(), IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
    }
    EXPECT_EQ(count(a, "t"), 0);
    EXPECT_EQ(count(a, "vovura"), 0);
    a.rollback();
}

TEST_F(RowVersionTable, OneTransactionOverBothFilesCommitsAndRollsBackAsOne) {
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (1, 'x')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec(kRow).status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(b, "t"), 0);
    EXPECT_EQ(count(b, "vovura"), 0);
    b.rollback();
    ASSERT_EQ(a.exec(kRow).status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO t VALUES (1, 'x')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(b, "t"), 1);
    EXPECT_EQ(count(b, "vovura"), 1);
    b.rollback();
}

TEST_F(RowVersionTable, SnapshotReadersKeepTheirSnapshotOfBothFiles) {
    ASSERT_EQ(a.exec("SET SESSION ISOLATION LEVEL SERIALIZABLE").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a, "vovura"), 0);
    EXPECT_EQ(count(a, "t"), 0);
    ASSERT_EQ(b.exec(kRow).status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.exec("INSERT INTO t VALUES (1, 'b')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a, "vovura"), 0);
    EXPECT_EQ(count(a, "t"), 0);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a, "vovura"), 1);
    EXPECT_EQ(count(a, "t"), 1);
    a.rollback();
}

TEST(RowVersionTableCreation, AddsTheTableOnceToAnExistingDatabaseOnly) {
    std::string db = freshDatabase();
    char err[256] = "";
    EXPECT_EQ(iiengine_createRowVersionTable(db.c_str(), err, sizeof err), 0) << err;
    EXPECT_EQ(iiengine_createRowVersionTable(db.c_str(), err, sizeof err), 0) << err;
    EXPECT_EQ(iiengine_createRowVersionTable("no_such_database_here", err, sizeof err), -1);
    EXPECT_NE(std::string(err).find("does not exist"), std::string::npos) << err;
    EXPECT_EQ(iiengine_createRowVersionTable(nullptr, err, sizeof err), -1);
    char path[4096];
    ASSERT_EQ(iiengine_databasePath(db.c_str(), path, sizeof path), 0);
    struct stat sb;
    EXPECT_EQ(stat((std::string(path) + ".rowver").c_str(), &sb), 0);
    Session s;
    ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
    Result cols = s.exec("SELECT hconn, hcurs, keyver, rowver FROM vovura");
    ASSERT_EQ(cols.status, IIAPI_ST_SUCCESS) << firstMessage(cols.msgs);
    ASSERT_EQ(cols.desc.size(), 4u);
    EXPECT_EQ(cols.desc[0].ds_length, 8);
    EXPECT_EQ(cols.desc[3].ds_length, 32);
    EXPECT_EQ(cols.desc[0].ds_nullable, II_FALSE);
    s.rollback();
}

TEST(RowVersionTableCreation, WithoutItTheTableIsMissingAndLockingIsAsBefore) {
    std::string db = freshDatabase();
    ASSERT_EQ(iiengine_setControl(IIENGINE_BUSY_TIMEOUT, "100"), 0);
    Session a, b;
    IIAPI_STATUS sa = a.connect(environment(), db), sb = b.connect(environment(), db);
    iiengine_setControl(IIENGINE_BUSY_TIMEOUT, nullptr);
    ASSERT_EQ(sa, IIAPI_ST_SUCCESS);
    ASSERT_EQ(sb, IIAPI_ST_SUCCESS);
    Result missing = b.exec(kRow);
    EXPECT_EQ(missing.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(missing.msgs.empty());
    EXPECT_EQ(missing.msgs[0].sqlstate, "42S02");
    b.rollback();
    ASSERT_EQ(a.exec("CREATE TABLE t (k integer)").status, IIAPI_ST_SUCCESS);
    Result blocked = b.exec("CREATE TABLE u (k integer)");
    EXPECT_EQ(blocked.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(blocked.msgs.empty());
    EXPECT_EQ(blocked.msgs[0].sqlstate, "40001");
    b.rollback();
    a.rollback();
}

}  // namespace
