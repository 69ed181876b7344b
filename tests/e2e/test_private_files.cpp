// Files the driver and the engine create: the debug trace, the database and its companions, and
// the owner's password in the database, through the Driver Manager for both builds.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "connect_fixture.h"

namespace connecttest {
namespace {

SQLCHAR* T(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

// Mode bits of a file, or -1 when it is not there.
int Mode(const std::string& path) {
    struct stat sb;
    return lstat(path.c_str(), &sb) == 0 ? int(sb.st_mode & 07777) : -1;
}

class PrivateFiles : public ConnectThroughDriverManager {
protected:
    std::string dir;
    void SetUp() override {
        ConnectThroughDriverManager::SetUp();
        dir = ConfigDir() + "/files-" + BuildName(GetParam());
        std::filesystem::remove_all(dir);
        // A directory others may read, as a shared trace or data directory is.
        ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
        chmod(dir.c_str(), 0755);
        umask(022);
    }
    void TearDown() override {
        unsetenv("KIV_DEBUGFILE");
        ConnectThroughDriverManager::TearDown();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    // Connects (the driver is loaded now and opens its trace) and writes a row; `during` runs
    // while the connection is open. Disconnecting lets the Driver Manager unload the driver.
    void Session(
        const std::string& connection, const std::function<void()>& during = [] {}) {
        SQLCHAR out[1024];
        SQLSMALLINT len = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLDriverConnect(dbc, nullptr, T(connection), SQL_NTS, out, sizeof out, &len, SQL_DRIVER_NOPROMPT)))
            << ::testing::PrintToString(States(SQL_HANDLE_DBC, dbc));
        SQLHSTMT st = SQL_NULL_HSTMT;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st));
        SQLExecDirect(st, T("drop table pf"), SQL_NTS);
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, T("create table pf (i integer)"), SQL_NTS)));
        EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(st, T("insert into pf values (1)"), SQL_NTS)));
        during();
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        ASSERT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
    }
    std::string Standard() const { return "DSN=" + Dsn() + ";UID=tvuser;PWD=secret"; }
};

// A trace name that is a link planted to another file: the driver neither follows it nor
// truncates the other file. Once the name is free the trace is created, readable by its owner
// alone.
TEST_P(PrivateFiles, TraceIsCreatedPrivateAndNeverThroughALink) {
    const std::string victim = dir + "/victim.txt";
    const std::string trace = dir + "/odbc.trc";
    {
        std::ofstream v(victim);
        v << "the victim's own bytes\n";
    }
    ASSERT_EQ(0, symlink(victim.c_str(), trace.c_str()));
    setenv("KIV_DEBUGFILE", trace.c_str(), 1);
    Session(Standard());
    EXPECT_EQ("the victim's own bytes\n", ReadFile(victim));
    ASSERT_EQ(0, unlink(trace.c_str()));
    Session(Standard());
    EXPECT_EQ(0600, Mode(trace));
    EXPECT_NE(std::string::npos, ReadFile(trace).find("SQLDriverConnect")) << ReadFile(trace);
    EXPECT_EQ("the victim's own bytes\n", ReadFile(victim));
}

// In a data directory others may read, a new database, its write-ahead log and shared-memory
// files and its row-version file are the owner's alone; the owner's password is kept as a
// salted hash, never as the text given.
TEST_P(PrivateFiles, DatabaseFilesArePrivateAndThePasswordIsHashed) {
    // The engine reads its data directory at each connect; the others' is put back however the
    // test ends.
    struct DataDir {
        std::string saved;
        explicit DataDir(const std::string& d) : saved(std::getenv("II_DATABASE_DIR")) {
            setenv("II_DATABASE_DIR", d.c_str(), 1);
        }
        ~DataDir() { setenv("II_DATABASE_DIR", saved.c_str(), 1); }
    } dataDir(dir);
    const std::string db = "pf_" + BuildName(GetParam());
    std::string tool = std::string(TV_BUILD_DIR) + "/bin/iicreatedb";
    if (const char* env = std::getenv("TV_BUILD_DIR"); env && *env) tool = std::string(env) + "/bin/iicreatedb";
    int status = -1;
    RunCommand("umask 022; " + tool + " -r -u tvuser -P 'pf secret' " + db + " >/dev/null 2>&1", &status);
    ASSERT_EQ(0, status);
    const std::string file = dir + "/" + db + ".db";
    Session("DRIVER={" + DriverName() + "};DSN=" + db + ";UID=tvuser;PWD=pf secret", [&] {
        // The log and shared-memory files exist while a session is open.
        for (const std::string& f : {file, file + ".rowver", file + "-wal", file + "-shm"}) {
            SCOPED_TRACE(f);
            EXPECT_EQ(0600, Mode(f));
        }
    });
    sqlite3* h = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(file.c_str(), &h, SQLITE_OPEN_READONLY, nullptr));
    sqlite3_stmt* q = nullptr;
    ASSERT_EQ(SQLITE_OK,
              sqlite3_prepare_v2(h, "SELECT password FROM iiapi_users WHERE name = 'tvuser'", -1, &q, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(q));
    const std::string stored = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
    sqlite3_finalize(q);
    sqlite3_close(h);
    EXPECT_EQ(std::string::npos, stored.find("pf secret")) << stored;
    EXPECT_EQ(0u, stored.find("pbkdf2-sha256$")) << stored;
    // Two databases with the same password keep different hashes: each has its salt.
    RunCommand(
        "umask 022; II_DATABASE_DIR=" + dir + " " + tool + " -u tvuser -P 'pf secret' " + db + "_2 >/dev/null 2>&1",
        &status);
    ASSERT_EQ(0, status);
    ASSERT_EQ(SQLITE_OK, sqlite3_open_v2((dir + "/" + db + "_2.db").c_str(), &h, SQLITE_OPEN_READONLY, nullptr));
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(h, "SELECT password FROM iiapi_users", -1, &q, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(q));
    EXPECT_NE(stored, reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
    sqlite3_finalize(q);
    sqlite3_close(h);
    EXPECT_EQ(0600, Mode(dir + "/" + db + "_2.db"));
}

INSTANTIATE_TEST_SUITE_P(Builds, PrivateFiles, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace connecttest
