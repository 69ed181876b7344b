// Which database a connection reaches: only names inside the engine's data directory, and the
// output connection string leads back to the same one.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "connect_fixture.h"

namespace connecttest {
namespace {

SQLCHAR* T(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class ConnectTarget : public ConnectThroughDriverManager {
protected:
    char out[2048] = {};
    SQLSMALLINT outLen = 0;
    SQLRETURN DriverConnect(const std::string& in) {
        std::memset(out, 0, sizeof out);
        return SQLDriverConnect(dbc, nullptr, T(in), SQL_NTS, reinterpret_cast<SQLCHAR*>(out), sizeof out, &outLen,
                                SQL_DRIVER_NOPROMPT);
    }
    std::string Driver() const { return "DRIVER={" + DriverName() + "}"; }
    std::string DatabaseName() {
        SQLHSTMT st = SQL_NULL_HSTMT;
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st));
        std::string name;
        if (SQL_SUCCEEDED(SQLExecDirect(st, T("SELECT dbmsinfo('database')"), SQL_NTS)) &&
            SQL_SUCCEEDED(SQLFetch(st))) {
            char buf[256] = {};
            SQLLEN len = 0;
            if (SQL_SUCCEEDED(SQLGetData(st, 1, SQL_C_CHAR, buf, sizeof buf, &len))) name = buf;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return name;
    }
};

// A plain SQLite file outside the data directory, in rollback-journal mode, and names that point
// at it or at other places by path: none is opened, none is switched to the write-ahead log.
TEST_P(ConnectTarget, DatabaseNamesThatArePathsAreRefusedWith08001) {
    const std::string dir = ConfigDir() + "/outside-" + BuildName(GetParam());
    mkdir(dir.c_str(), 0700);
    const std::string file = dir + "/victim.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file.c_str(), &db));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db, "CREATE TABLE IF NOT EXISTS v(x); INSERT INTO v VALUES (1)", nullptr,
                                      nullptr, nullptr));
    sqlite3_close(db);
    const std::string before = FileBytes(file);
    ASSERT_FALSE(before.empty());
    // A database of the same stem inside the data directory, which a path must not reach either.
    const std::string names[] = {file, dir + "/victim", "./victim", "../victim", ".victim", "node::" + file,
                                 "../data/cw_wide"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(SQL_ERROR, DriverConnect(Driver() + ";DSN=" + name + ";UID=tvuser;PWD=secret"));
        EXPECT_TRUE(HasState(SQL_HANDLE_DBC, dbc, "08001")) << ::testing::PrintToString(States(SQL_HANDLE_DBC, dbc));
        SQLDisconnect(dbc);
    }
    EXPECT_EQ(before, FileBytes(file));
    EXPECT_FALSE(Exists(file + "-wal"));
    EXPECT_FALSE(Exists(file + "-shm"));
    // Names still work.
    ASSERT_EQ(SQL_SUCCESS, DriverConnect(Driver() + ";DSN=" + Dsn() + ";UID=tvuser;PWD=secret"))
        << ::testing::PrintToString(States(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(Dsn(), DatabaseName());
}

// The long output form (a DRIVER keyword given) names the data source, so connecting again with
// it reaches the database the first connect reached, not "Default".
TEST_P(ConnectTarget, OutputStringWithADriverReconnectsToTheSameDatabase) {
    ASSERT_EQ(SQL_SUCCESS, DriverConnect(Driver() + ";DSN=" + Dsn() + ";UID=tvuser;PWD=secret"))
        << ::testing::PrintToString(States(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(Dsn(), DatabaseName());
    const std::string again = out;
    EXPECT_EQ(0u, again.find(Driver() + ";DSN=" + Dsn() + ";UID=tvuser;PWD=secret;")) << again;
    ASSERT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
    ASSERT_EQ(SQL_SUCCESS, DriverConnect(again)) << again;
    EXPECT_EQ(Dsn(), DatabaseName());
    EXPECT_EQ(again, std::string(out));
}

INSTANTIATE_TEST_SUITE_P(Builds, ConnectTarget, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace connecttest
