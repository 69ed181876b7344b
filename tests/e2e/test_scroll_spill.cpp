// Cursors whose results move to temporary files, through the Driver Manager, when those files
// cannot be made or written: the failure names the directory and the system's reason, nothing
// is left behind (no file, no space taken), and the statement works on afterwards.
#include <dirent.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "results_fixture.h"
#include "tests/support/temp_dirs_fixture.h"

namespace resultstest {
namespace {

// Open descriptors of this process on files in dir (removed files included).
int DescriptorsInto(const std::string& dir) {
    int n = 0;
    DIR* d = opendir("/proc/self/fd");
    if (d == nullptr) return -1;
    while (dirent* e = readdir(d)) {
        char target[PATH_MAX];
        const std::string link = std::string("/proc/self/fd/") + e->d_name;
        const ssize_t len = readlink(link.c_str(), target, sizeof target - 1);
        if (len <= 0) continue;
        target[len] = 0;
        if (std::strncmp(target, (dir + "/").c_str(), dir.size() + 1) == 0) ++n;
    }
    closedir(d);
    return n;
}

int EntriesIn(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) return -1;
    int n = 0;
    while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++n;
    closedir(d);
    return n;
}

class SpillFailures : public ResultsTest {
protected:
    std::string t;
    std::string tmp;  // a directory of this test, for TMPDIR
    std::string oldTmp;
    bool hadTmp = false;
    bool mounted = false;

    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        if (const char* v = getenv("TMPDIR")) {
            hadTmp = true;
            oldTmp = v;
        }
        tmp = tvtest::MakeTempDir("tv-spill-");
        ASSERT_FALSE(tmp.empty());
        // Wide rows, so that the files outgrow a small file system soon after the first write
        // (5200 rows of 136 bytes on file, of 8192).
        t = Make("spill", "id integer not null primary key, name varchar(130)");
        Must("insert into " + t + " values (1, '" + std::string(120, 'x') + "')");
        for (int have = 1; have < 8192; have *= 2)
            Must("insert into " + t + " select id + " + std::to_string(have) + ", name from " + t);
    }
    void TearDown() override {
        if (hadTmp)
            setenv("TMPDIR", oldTmp.c_str(), 1);
        else
            unsetenv("TMPDIR");
        if (stmt) SQLFreeStmt(stmt, SQL_CLOSE);
        if (mounted) umount2(tmp.c_str(), MNT_DETACH);
        ResultsTest::TearDown();
    }
    // A file system of 1 MiB at tmp: the first 5200 rows fit, the rest does not.
    bool MountSmall() {
        if (mount("tmpfs", tmp.c_str(), "tmpfs", 0, "size=1m,mode=0700") != 0) return false;
        mounted = true;
        return true;
    }
    uint64_t FreeBlocks() {
        struct statvfs v {};
        EXPECT_EQ(0, statvfs(tmp.c_str(), &v));
        return v.f_bfree;
    }
    void SetAttr(SQLINTEGER attr, SQLULEN v) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(stmt, attr, reinterpret_cast<SQLPOINTER>(v), 0))) << Diag();
    }
    // The first diagnostic's state and message.
    void FirstDiag(std::string* state, std::string* message) {
        SQLCHAR st[6] = {}, msg[1024] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, st, &native, msg, sizeof msg, &len));
        *state = reinterpret_cast<char*>(st);
        *message = reinterpret_cast<char*>(msg);
    }
    // Runs sql on a cursor of the type and expects the failure with the message.
    void ExpectFailure(SQLULEN cursorType, const std::string& sql, const std::string& message, const char* what) {
        SetAttr(SQL_ATTR_CURSOR_TYPE, cursorType);
        ASSERT_EQ(SQL_ERROR, Exec(sql)) << what;
        std::string state, text;
        FirstDiag(&state, &text);
        EXPECT_EQ("HY000", state) << what;
        EXPECT_EQ(message, text) << what;
        EXPECT_EQ(SQL_NO_DATA, SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 2, nullptr, nullptr, nullptr, 0, nullptr)) << what;
        EXPECT_EQ(0, EntriesIn(tmp)) << what;
        EXPECT_EQ(0, DescriptorsInto(tmp)) << what;
    }
    // Runs the ids of t up to `last` on a cursor of the type and reads the id of the row the fetch
    // lands on (0 when it fails); the cursor stays open.
    SQLINTEGER IdAt(SQLULEN cursorType, int last, SQLSMALLINT orientation, SQLLEN offset) {
        SetAttr(SQL_ATTR_CURSOR_TYPE, cursorType);
        const std::string sql = "select id from " + t + " where id <= " + std::to_string(last) + " order by id";
        SQLINTEGER id = 0;
        EXPECT_EQ(SQL_SUCCESS, Exec(sql)) << Diag();
        EXPECT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt, orientation, offset)) << Diag();
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_LONG, &id, 0, nullptr)) << Diag();
        return id;
    }
    // The statement goes on: closed, it runs a result that stays in memory, and scrolls it.
    void ExpectUsable(SQLULEN cursorType, const char* what) {
        EXPECT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE)) << what;
        EXPECT_EQ(10, IdAt(cursorType, 10, SQL_FETCH_LAST, 0)) << what;
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
};

TEST_P(SpillFailures, AMissingDirectoryIsNamedWithItsReason) {
    const std::string missing = tmp + "/missing";
    setenv("TMPDIR", missing.c_str(), 1);
    const std::string message =
        "[Corvanta][ODBC][Driver]cannot create temporary file in '" + missing + "': No such file or directory";
    struct Case {
        SQLULEN cursorType, concurrency;
        const char* what;
    };
    // The static cursor's snapshot (with the keys and values an updatable one keeps beside it) and
    // the keyset-driven cursor's keys all spill past 5000 rows.
    for (const Case& c : {Case{SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, "static, values concurrency"},
                          Case{SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, "static"},
                          Case{SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, "keyset-driven"}}) {
        SetAttr(SQL_ATTR_CONCURRENCY, c.concurrency);
        ExpectFailure(c.cursorType, "select id, name from " + t, message, c.what);
        ExpectUsable(c.cursorType, c.what);
    }
    SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY);
    // With the directory there, the large result works on the same statement.
    setenv("TMPDIR", tmp.c_str(), 1);
    EXPECT_EQ(8192, IdAt(SQL_CURSOR_STATIC, 8192, SQL_FETCH_LAST, 0));
    EXPECT_EQ(2, DescriptorsInto(tmp));
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ(0, DescriptorsInto(tmp));
}

TEST_P(SpillFailures, AFullDirectoryStopsTheSnapshotAndFreesWhatItWrote) {
    if (!MountSmall()) GTEST_SKIP() << "a tmpfs cannot be mounted here (" << std::strerror(errno) << ")";
    setenv("TMPDIR", tmp.c_str(), 1);
    const uint64_t before = FreeBlocks();
    const std::string full =
        "[Corvanta][ODBC][Driver]cannot write temporary file in '" + tmp + "': No space left on device";
    // An updatable snapshot fails alike; every block the files took is free again.
    SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_VALUES);
    ExpectFailure(SQL_CURSOR_STATIC, "select id, name from " + t, full, "static, values concurrency");
    EXPECT_EQ(before, FreeBlocks());
    SQLFreeStmt(stmt, SQL_CLOSE);
    SetAttr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY);
    ExpectFailure(SQL_CURSOR_STATIC, "select id, name from " + t, full, "static");
    EXPECT_EQ(before, FreeBlocks());
    ExpectUsable(SQL_CURSOR_STATIC, "static");
    // A result whose files fit the room goes on working there.
    EXPECT_EQ(7000, IdAt(SQL_CURSOR_STATIC, 8192, SQL_FETCH_ABSOLUTE, 7000));
    EXPECT_LT(FreeBlocks(), before);
    SQLFreeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ(before, FreeBlocks());
}

INSTANTIATE_TEST_SUITE_P(Builds, SpillFailures, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
