// The connections a session leaves open for the next one on the same file: used again only when
// nothing of the last session can show in the next, never by two sessions at once, and not once
// the file has been replaced or removed.
#include "tests/iiapi/api_fixture.h"
#include "iiapi/internal.h"

#include <unistd.h>

using namespace apitest;

namespace {

std::string pathOf(const std::string& db) {
    char path[512];
    EXPECT_EQ(iiengine_databasePath(db.c_str(), path, sizeof path), 0);
    return path;
}

int64_t count(Session& s, const std::string& query) {
    Result r = s.exec(query);
    EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << query;
    if (r.rows.size() != 1 || !r.rows[0][0]) return -1;
    return std::stoll(trimmed(r.rows[0][0]));
}

class KeptDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        environment();
        iiapi::closeIdleDatabases();
        db = freshDatabase();
        Session s;
        ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE TABLE parent (k integer NOT NULL PRIMARY KEY)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE TABLE child (k integer NOT NULL REFERENCES parent (k))").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    }
    void TearDown() override { iiapi::closeIdleDatabases(); }
    std::string db;
};

TEST_F(KeptDatabase, TheNextSessionTakesTheConnectionTheLastOneLeft) {
    EXPECT_EQ(iiapi::idleDatabaseCount(), 1u);
    {
        Session s;
        ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
        EXPECT_EQ(iiapi::idleDatabaseCount(), 0u);
        // A second session at the same time opens one of its own.
        Session t;
        ASSERT_EQ(t.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("INSERT INTO parent VALUES (1)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
        EXPECT_EQ(count(t, "SELECT count(*) FROM parent"), 1);
        ASSERT_EQ(t.commit(), IIAPI_ST_SUCCESS);
    }
    EXPECT_EQ(iiapi::idleDatabaseCount(), 2u);
    Session s;
    ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(s, "SELECT count(*) FROM parent"), 1);
}

// What a session leaves (work not committed, temporary tables and views, the catalog views,
// read-only mode) is gone for the next one on the same connection.
TEST_F(KeptDatabase, TheNextSessionSeesNothingTheLastOneLeftBehind) {
    {
        Session s;
        ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("INSERT INTO parent VALUES (7)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE TEMP TABLE scratch (v integer)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE TEMP VIEW seven AS SELECT 7 AS v").status, IIAPI_ST_SUCCESS);
        EXPECT_EQ(count(s, "SELECT count(*) FROM iitables WHERE table_name = 'parent'"), 1);
        ASSERT_EQ(s.exec("SET SESSION READ ONLY").status, IIAPI_ST_SUCCESS);
        EXPECT_NE(s.exec("DELETE FROM child").status, IIAPI_ST_SUCCESS);
        // Left without commit: the session's end rolls the insert back.
    }
    EXPECT_EQ(iiapi::idleDatabaseCount(), 1u);
    Session s;
    ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
    EXPECT_EQ(iiapi::idleDatabaseCount(), 0u);
    EXPECT_EQ(count(s, "SELECT count(*) FROM parent"), 0);
    EXPECT_NE(s.exec("SELECT * FROM scratch").status, IIAPI_ST_SUCCESS);
    EXPECT_NE(s.exec("SELECT * FROM seven").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(s, "SELECT count(*) FROM temp.sqlite_master WHERE name NOT LIKE 'ii%'"), 0);
    // The catalog views are made again when named, and see the tables as they are now.
    ASSERT_EQ(s.exec("CREATE TABLE later (k integer)").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(s, "SELECT count(*) FROM iitables WHERE table_name = 'later'"), 1);
    ASSERT_EQ(s.exec("INSERT INTO parent VALUES (8)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
}

// A session that changed a setting of its connection or attached a file of its own leaves a
// connection no other session gets: the next one opens a new one, with the engine's settings.
TEST_F(KeptDatabase, AConnectionWithChangedSettingsIsNotKept) {
    const char* const changes[] = {"PRAGMA foreign_keys = OFF", "PRAGMA case_sensitive_like = ON"};
    for (const char* change : changes) {
        SCOPED_TRACE(change);
        iiapi::closeIdleDatabases();
        {
            Session s;
            ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
            ASSERT_EQ(s.exec(change).status, IIAPI_ST_SUCCESS);
        }
        EXPECT_EQ(iiapi::idleDatabaseCount(), 0u);
        Session s;
        ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
        // Foreign keys are enforced again.
        EXPECT_NE(s.exec("INSERT INTO child VALUES (99)").status, IIAPI_ST_SUCCESS);
        EXPECT_EQ(count(s, "SELECT count(*) FROM parent WHERE 'A' LIKE 'a'"), 0);
        ASSERT_EQ(s.rollback(), IIAPI_ST_SUCCESS);
    }
    iiapi::closeIdleDatabases();
    {
        Session s;
        ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
        const std::string other = pathOf(freshDatabase());
        ASSERT_EQ(s.exec("ATTACH DATABASE '" + other + "' AS other").status, IIAPI_ST_SUCCESS);
    }
    EXPECT_EQ(iiapi::idleDatabaseCount(), 0u);
}

// A database file replaced (removed and made again under its name) or removed: the kept
// connection, which still reads the old file, is not used.
TEST_F(KeptDatabase, AReplacedOrRemovedFileIsNotReadThroughAKeptConnection) {
    {
        Session s;
        ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("INSERT INTO parent VALUES (1)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    }
    ASSERT_EQ(iiapi::idleDatabaseCount(), 1u);
    const std::string path = pathOf(db);
    for (const char* suffix : {"", "-wal", "-shm"}) unlink((path + suffix).c_str());
    {
        Session s;
        std::vector<Msg> msgs;
        EXPECT_EQ(s.connect(environment(), db, "owner", nullptr, &msgs), IIAPI_ST_ERROR);
        ASSERT_FALSE(msgs.empty());
        EXPECT_EQ(msgs[0].sqlstate, "08004");
    }
    char err[256] = "";
    ASSERT_EQ(iiengine_createDatabase(db.c_str(), nullptr, nullptr, err, sizeof err), 0) << err;
    Session s;
    ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
    EXPECT_NE(s.exec("SELECT count(*) FROM parent").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("CREATE TABLE parent (k integer)").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(s, "SELECT count(*) FROM parent"), 0);
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.disconnect(), IIAPI_ST_SUCCESS);
    // Only the connection to the new file is kept.
    EXPECT_EQ(iiapi::idleDatabaseCount(), 1u);
}

// The file of separately locked tables made after a session left: the next session attaches it.
TEST_F(KeptDatabase, AFileOfSeparatelyLockedTablesMadeSinceIsAttached) {
    char err[256] = "";
    ASSERT_EQ(iiengine_createRowVersionTable(db.c_str(), err, sizeof err), 0) << err;
    Session s;
    ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(s, "SELECT count(*) FROM vovura"), 0);
}

// A wrong password is refused on a kept connection as on a new one, and the user's name is the
// session's own.
TEST_F(KeptDatabase, EachSessionLogsInAndIsItsOwnUser) {
    const std::string guarded = freshDatabase("keeper", "secret");
    {
        Session s;
        ASSERT_EQ(s.connect(environment(), guarded, "keeper", "secret"), IIAPI_ST_SUCCESS);
    }
    Session bad;
    std::vector<Msg> msgs;
    EXPECT_EQ(bad.connect(environment(), guarded, "keeper", "wrong", &msgs), IIAPI_ST_ERROR);
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs[0].sqlstate, "28000");
    for (const char* user : {"ann", "bob"}) {
        Session s;
        ASSERT_EQ(s.connect(environment(), db, user), IIAPI_ST_SUCCESS);
        Result r = s.exec("SELECT dbmsinfo('username')");
        ASSERT_EQ(r.rows.size(), 1u);
        EXPECT_EQ(trimmed(r.rows[0][0]), user);
    }
}

}  // namespace
