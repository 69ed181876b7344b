// Twelve processes connect at once to a database just made, while another program holds its
// file: every step of opening the database waits for the lock as a statement does (up to the
// lock timeout), so all of them connect once the file is free, none fails at once with 40001.
#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "connect_fixture.h"
#include "iiapi/iiapi.h"
#include "tests/support/diag_text_fixture.h"
#include "tests/support/temp_dirs_fixture.h"

extern char** environ;

namespace connecttest {
namespace {

constexpr int kProcesses = 12;

class ConnectRace : public ConnectThroughDriverManager {};

TEST_P(ConnectRace, ConnectsAtOnceWaitForTheFile) {
    // A database as iicreatedb -s makes it: with the row-version file beside it.
    const std::string name = "race_" + BuildName(GetParam());
    std::string why;
    ASSERT_TRUE(tvtest::CreateDatabase(name, &why)) << why;
    char err[256] = {};
    ASSERT_EQ(0, iiengine_createRowVersionTable(name.c_str(), err, sizeof err)) << err;
    char path[1024] = {};
    ASSERT_EQ(0, iiengine_databasePath(name.c_str(), path, sizeof path));

    // Another program holds the file, as one checkpointing or closing it last would.
    sqlite3* holder = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open_v2(path, &holder, SQLITE_OPEN_READWRITE, nullptr));
    ASSERT_EQ(SQLITE_OK,
              sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr))
        << sqlite3_errmsg(holder);

    // The children wait on the pipe until this process closes it: then they connect together.
    int go[2];
    ASSERT_EQ(0, pipe(go));
    ASSERT_EQ(0, fcntl(go[1], F_SETFD, FD_CLOEXEC));
    const std::string conn = "DRIVER={" + DriverName() + "};DSN=" + name;
    setenv("TV_RACE_CONN", conn.c_str(), 1);
    setenv("TV_RACE_GO", std::to_string(go[0]).c_str(), 1);
    // The child's own set-up points the engine elsewhere: it is told where the databases are.
    setenv("TV_RACE_DATA", std::getenv("II_DATABASE_DIR"), 1);
    std::string filter = "--gtest_filter=ConnectRaceChild.Run";
    char self[] = "/proc/self/exe";
    char* argv[] = {self, filter.data(), nullptr};
    std::vector<pid_t> children;
    for (int i = 0; i < kProcesses; ++i) {
        pid_t pid = 0;
        if (posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ) == 0) children.push_back(pid);
    }
    for (const char* v : {"TV_RACE_CONN", "TV_RACE_GO", "TV_RACE_DATA"}) unsetenv(v);
    close(go[0]);
    close(go[1]);
    // Long enough for every child to meet the lock, well within the lock timeout.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr));
    sqlite3_close(holder);
    int connected = 0;
    for (pid_t pid : children) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) ++connected;
    }
    EXPECT_EQ(kProcesses, connected) << "the children's diagnostics are in this test's output";
}

INSTANTIATE_TEST_SUITE_P(Builds, ConnectRace, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace connecttest

// One child of ConnectsAtOnceWaitForTheFile: connects when the parent lets it go.
TEST(ConnectRaceChild, Run) {
    const char* conn = std::getenv("TV_RACE_CONN");
    const char* go = std::getenv("TV_RACE_GO");
    const char* data = std::getenv("TV_RACE_DATA");
    if (conn == nullptr || go == nullptr || data == nullptr) GTEST_SKIP() << "runs as a child process only";
    setenv("II_DATABASE_DIR", data, 1);
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    char byte = 0;
    while (read(std::atoi(go), &byte, 1) > 0) {
    }
    const SQLRETURN rc =
        SQLDriverConnect(dbc, nullptr, (SQLCHAR*)conn, SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
    if (SQL_SUCCEEDED(rc)) SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}
