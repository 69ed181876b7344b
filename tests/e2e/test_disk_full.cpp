// A full disk under the database: the statement (in autocommit) or the commit whose work cannot be
// written answers SQL_ERROR with the cause, nothing it acknowledged is missing, nothing it refused
// is there, and the connection goes on once there is room again. The data directory is a tmpfs of
// 8 MiB, mounted for each test (root only: elsewhere the tests are skipped and say why).
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "connect_fixture.h"
#include "tests/support/diag_text_fixture.h"
#include "tests/support/temp_dirs_fixture.h"

namespace connecttest {
namespace {

// Room left beside the filler: a few dozen rows of 4000 bytes.
constexpr uint64_t kRoom = 256 * 1024;
constexpr int kMostRows = 100000;

class DiskFull : public ConnectThroughDriverManager {
protected:
    std::string dir, filler, savedDataDir;
    bool mounted = false;
    SQLHSTMT stmt = SQL_NULL_HSTMT;

    void SetUp() override {
        ConnectThroughDriverManager::SetUp();
        if (HasFatalFailure()) return;
        dir = tvtest::MakeTempDir("tv-full-");
        ASSERT_FALSE(dir.empty());
        if (mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=8m,mode=0700") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs at " << dir << " (" << std::strerror(errno)
                         << "): the full-disk cases need root";
        mounted = true;
        if (const char* d = std::getenv("II_DATABASE_DIR")) savedDataDir = d;
        setenv("II_DATABASE_DIR", dir.c_str(), 1);
        const std::string name = "full_" + BuildName(GetParam());
        std::string why;
        ASSERT_TRUE(tvtest::CreateDatabase(name, &why)) << why;
        const std::string conn = "DRIVER={" + DriverName() + "};DSN=" + name;
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLDriverConnect(dbc, nullptr, (SQLCHAR*)conn.c_str(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
            << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
        Must("create table t (k integer, v varchar(4000))");
        filler = dir + "/filler";
        Fill();
    }
    void TearDown() override {
        if (ins) SQLFreeHandle(SQL_HANDLE_STMT, ins);
        if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        ConnectThroughDriverManager::TearDown();
        if (!mounted) return;
        if (savedDataDir.empty())
            unsetenv("II_DATABASE_DIR");
        else
            setenv("II_DATABASE_DIR", savedDataDir.c_str(), 1);
        // The engine may still hold the files open: the mount goes once they close.
        umount2(dir.c_str(), MNT_DETACH);
    }
    // Takes all the room but kRoom.
    void Fill() {
        struct statvfs vfs;
        ASSERT_EQ(0, statvfs(dir.c_str(), &vfs));
        const uint64_t free = uint64_t(vfs.f_bavail) * vfs.f_frsize;
        ASSERT_GT(free, 2 * kRoom);
        const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        std::vector<char> block(64 * 1024, 'f');
        for (uint64_t left = free - kRoom; left > 0;) {
            const size_t n = left < block.size() ? size_t(left) : block.size();
            const ssize_t put = write(fd, block.data(), n);
            ASSERT_GT(put, 0) << std::strerror(errno);
            left -= uint64_t(put);
        }
        close(fd);
    }
    void Must(const std::string& sql) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)))
            << sql << ": " << tvtest::FirstDiagText(SQL_HANDLE_STMT, stmt);
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    // The number of rows and the largest key, on a statement of its own.
    std::pair<long, long> CountAndLast() {
        SQLHSTMT h = SQL_NULL_HSTMT;
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h));
        std::pair<long, long> out{-1, -1};
        if (SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)"select count(*), max(k) from t", SQL_NTS)) &&
            SQL_SUCCEEDED(SQLFetch(h))) {
            SQLINTEGER n = 0, last = 0;
            SQLLEN ind = 0;
            SQLGetData(h, 1, SQL_C_SLONG, &n, 0, &ind);
            SQLGetData(h, 2, SQL_C_SLONG, &last, 0, &ind);
            out = {n, ind == SQL_NULL_DATA ? -1 : last};
        } else {
            ADD_FAILURE() << tvtest::FirstDiagText(SQL_HANDLE_STMT, h);
        }
        SQLFreeHandle(SQL_HANDLE_STMT, h);
        return out;
    }
    // The insert of 4000-byte rows, key k, prepared and bound on a statement of its own; in
    // manual commit when asked.
    SQLHSTMT ins = SQL_NULL_HSTMT;
    SQLINTEGER k = 0;
    std::string value = std::string(4000, 'x');
    void PrepareInsert(bool manualCommit) {
        const SQLULEN mode = manualCommit ? SQL_AUTOCOMMIT_OFF : SQL_AUTOCOMMIT_ON;
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(mode), SQL_IS_UINTEGER));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &ins));
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(ins, (SQLCHAR*)"insert into t values (?, ?)", SQL_NTS));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLBindParameter(ins, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &k, 0, nullptr));
        ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(ins, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 4000, 0, value.data(),
                                                SQLLEN(value.size() + 1), nullptr));
    }
    // The failure names the full disk.
    static void ExpectDiskFull(SQLSMALLINT type, SQLHANDLE h) {
        const std::string text = tvtest::FirstDiagText(type, h);
        EXPECT_EQ("HY000", text.substr(0, 5)) << text;
        EXPECT_NE(std::string::npos, text.find("Disk full")) << text;
    }
};

// Autocommit: the statement whose commit cannot be written fails with the cause; every row it
// acknowledged before is there, the refused one is not; reads go on; with room again the same
// statement and the connection's transaction calls succeed.
TEST_P(DiskFull, TheStatementWhoseCommitFailsSaysSoAndNothingAcknowledgedIsLost) {
    PrepareInsert(false);
    SQLRETURN rc = SQL_SUCCESS;
    for (k = 0; k < kMostRows; ++k)
        if ((rc = SQLExecute(ins)) != SQL_SUCCESS) break;
    ASSERT_EQ(SQL_ERROR, rc) << "the disk never filled";
    ExpectDiskFull(SQL_HANDLE_STMT, ins);
    const long acknowledged = k;
    EXPECT_EQ((std::pair<long, long>{acknowledged, acknowledged - 1}), CountAndLast());

    ASSERT_EQ(0, unlink(filler.c_str()));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(ins)) << tvtest::FirstDiagText(SQL_HANDLE_STMT, ins);
    EXPECT_EQ((std::pair<long, long>{acknowledged + 1, acknowledged}), CountAndLast());
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT)) << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK)) << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
}

// Manual commit: transactions of ten rows until one cannot be committed (or a statement of it
// fails); the commits that succeeded hold, the failed transaction left nothing, and once there is
// room the next transaction commits.
TEST_P(DiskFull, AFailedCommitLeavesOnlyTheCommittedTransactions) {
    PrepareInsert(true);
    long committed = 0;
    bool failed = false;
    for (k = 0; k < kMostRows && !failed;) {
        for (int n = 0; n < 10 && !failed; ++n, ++k) {
            if (SQLExecute(ins) != SQL_SUCCESS) {
                ExpectDiskFull(SQL_HANDLE_STMT, ins);
                failed = true;
            }
        }
        if (failed) break;
        if (SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT) != SQL_SUCCESS) {
            ExpectDiskFull(SQL_HANDLE_DBC, dbc);
            failed = true;
        } else {
            committed = k;
        }
    }
    ASSERT_TRUE(failed) << "the disk never filled";
    EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK)) << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ((std::pair<long, long>{committed, committed - 1}), CountAndLast());
    // Switching autocommit on commits too: as much as did not fit before fails the same way, and
    // the connection stays in manual commit.
    for (int n = 0; n < 10; ++n, ++k)
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(ins)) << tvtest::FirstDiagText(SQL_HANDLE_STMT, ins);
    EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                                           SQL_IS_UINTEGER));
    ExpectDiskFull(SQL_HANDLE_DBC, dbc);
    SQLULEN mode = 99;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &mode, 0, nullptr));
    EXPECT_EQ(SQLULEN(SQL_AUTOCOMMIT_OFF), mode);
    EXPECT_EQ((std::pair<long, long>{committed, committed - 1}), CountAndLast());

    ASSERT_EQ(0, unlink(filler.c_str()));
    k = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(ins)) << tvtest::FirstDiagText(SQL_HANDLE_STMT, ins);
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT)) << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ((std::pair<long, long>{committed + 1, committed > 0 ? committed - 1 : 0}), CountAndLast());
}

// Manual commit, one transaction larger than the memory that holds its changes: the statement that
// meets the full disk ends the whole transaction, and says so; what comes after it is a new
// transaction, which a rollback undoes.
TEST_P(DiskFull, AStatementThatEndsItsTransactionSaysSoAndTheNextOneStartsAnew) {
    PrepareInsert(true);
    for (k = 0; k < 5; ++k) ASSERT_EQ(SQL_SUCCESS, SQLExecute(ins)) << tvtest::FirstDiagText(SQL_HANDLE_STMT, ins);
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT)) << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
    // Arrays of 500 rows until the changes no longer fit in memory and must go to the full disk.
    constexpr SQLULEN kRows = 500;
    std::vector<SQLINTEGER> keys(kRows);
    std::vector<char> values(kRows * 4001, 'y');
    for (SQLULEN r = 0; r < kRows; ++r) values[r * 4001 + 4000] = '\0';
    SQLHSTMT big = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &big));
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(big, (SQLCHAR*)"insert into t values (?, ?)", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(big, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(kRows), 0));
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(big, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, keys.data(), 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(big, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 4000, 0, values.data(),
                                            4001, nullptr));
    SQLRETURN rc = SQL_SUCCESS;
    for (int round = 0; round < 20 && rc == SQL_SUCCESS; ++round) {
        for (SQLULEN r = 0; r < kRows; ++r) keys[r] = SQLINTEGER(1000 + round * kRows + r);
        rc = SQLExecute(big);
    }
    ASSERT_EQ(SQL_ERROR, rc) << "the changes never left memory";
    ExpectDiskFull(SQL_HANDLE_STMT, big);
    EXPECT_NE(std::string::npos, tvtest::FirstDiagText(SQL_HANDLE_STMT, big).find("rolled back"));
    SQLFreeHandle(SQL_HANDLE_STMT, big);
    EXPECT_EQ((std::pair<long, long>{5, 4}), CountAndLast());

    ASSERT_EQ(0, unlink(filler.c_str()));
    k = 100;
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(ins)) << tvtest::FirstDiagText(SQL_HANDLE_STMT, ins);
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK)) << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ((std::pair<long, long>{5, 4}), CountAndLast());
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(ins)) << tvtest::FirstDiagText(SQL_HANDLE_STMT, ins);
    ASSERT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT)) << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ((std::pair<long, long>{6, 100}), CountAndLast());
}

INSTANTIATE_TEST_SUITE_P(Builds, DiskFull, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace connecttest
