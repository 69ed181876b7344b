// Prepared XA branches outlive the process that prepared them, as a server's in-doubt transactions
// outlive their client: a child process prepares a branch through the switch and is killed (or
// ends normally), and this process lists the branch, finds its rows held and commits or rolls it
// back. Also the XA connection's own statements outside branches, and outcomes for identifiers
// nobody prepared. The libraries are loaded directly, as a transaction manager loads them; rows
// are read through the Driver Manager.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "connect_fixture.h"
#include "tests/e2e/e2e_fixture.h"
#include "tests/e2e/xa_types_fixture.h"

extern char** environ;

namespace {

using xatypes::kTmEndScan;
using xatypes::kTmOnePhase;
using xatypes::kTmStartScan;
using xatypes::kTmSuccess;
using xatypes::SameXid;
using xatypes::XaSwitch;
using xatypes::Xid;
constexpr int kOk = xatypes::kXaOk, kNota = xatypes::kXaNota;

Xid MakeXid(const std::string& gtrid, const std::string& bqual) { return xatypes::MakeXid(gtrid, bqual, 0x5444); }

// The switch and the few exports of a library loaded directly, for the statements an application
// runs on the XA connection the library hands out.
struct XaLibrary {
    void* lib = nullptr;
    XaSwitch* sw = nullptr;
    SQLRETURN (*getXaConnect)(SQLHDBC*) = nullptr;
    SQLRETURN (*allocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*) = nullptr;
    SQLRETURN (*freeHandle)(SQLSMALLINT, SQLHANDLE) = nullptr;
    SQLRETURN (*execDirect)(SQLHSTMT, SQLCHAR*, SQLINTEGER) = nullptr;
    SQLRETURN (*execDirectW)(SQLHSTMT, SQLWCHAR*, SQLINTEGER) = nullptr;

    bool Load(const std::string& path, bool wide) {
        lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) return false;
        auto* kiv = reinterpret_cast<XaSwitch* (*)()>(dlsym(lib, "kiv_xa_switch"));
        getXaConnect = reinterpret_cast<SQLRETURN (*)(SQLHDBC*)>(dlsym(lib, "SQLGetXaConnect"));
        allocHandle = reinterpret_cast<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*)>(dlsym(lib, "SQLAllocHandle"));
        freeHandle = reinterpret_cast<SQLRETURN (*)(SQLSMALLINT, SQLHANDLE)>(dlsym(lib, "SQLFreeHandle"));
        if (wide)
            execDirectW =
                reinterpret_cast<SQLRETURN (*)(SQLHSTMT, SQLWCHAR*, SQLINTEGER)>(dlsym(lib, "SQLExecDirectW"));
        else
            execDirect = reinterpret_cast<SQLRETURN (*)(SQLHSTMT, SQLCHAR*, SQLINTEGER)>(dlsym(lib, "SQLExecDirect"));
        sw = kiv ? kiv() : nullptr;
        return sw && getXaConnect && allocHandle && freeHandle && (execDirect || execDirectW);
    }
    ~XaLibrary() {
        if (lib) dlclose(lib);
    }
    // Runs one statement on the calling thread's XA connection.
    SQLRETURN Exec(const std::string& sql) {
        SQLHDBC dbc = SQL_NULL_HDBC;
        if (getXaConnect(&dbc) != SQL_SUCCESS) return SQL_INVALID_HANDLE;
        SQLHSTMT st = SQL_NULL_HSTMT;
        SQLRETURN rc = allocHandle(SQL_HANDLE_STMT, dbc, &st);
        if (!SQL_SUCCEEDED(rc)) return rc;
        if (execDirectW) {
            std::vector<SQLWCHAR> w(sql.begin(), sql.end());
            w.push_back(0);
            rc = execDirectW(st, w.data(), SQL_NTS);
        } else {
            rc = execDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
        }
        freeHandle(SQL_HANDLE_STMT, st);
        return rc;
    }
};

std::string Info(const DriverBuild& b) {
    return std::string("DSN=") + (b.wide ? "cw_wide" : "cw_narrow") + ";UID=tvuser;PWD=secret";
}
std::string TableOf(const DriverBuild& b) { return b.wide ? "xadur_w" : "xadur_n"; }

class XaDurable : public connecttest::ConnectThroughDriverManager {
protected:
    XaLibrary x;
    void SetUp() override {
        ConnectThroughDriverManager::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(x.Load(LibraryPath(GetParam()), GetParam().wide)) << dlerror();
        ASSERT_TRUE(SQL_SUCCEEDED(SQLConnect(dbc, (SQLCHAR*)Dsn().c_str(), SQL_NTS, (SQLCHAR*)"tvuser", SQL_NTS,
                                             (SQLCHAR*)"secret", SQL_NTS)))
            << ::testing::PrintToString(connecttest::States(SQL_HANDLE_DBC, dbc));
        Plain("drop table " + TableOf(GetParam()));
        ASSERT_EQ(SQL_SUCCESS, Plain("create table " + TableOf(GetParam()) + " (k integer, v varchar(20))"));
        ASSERT_EQ(SQL_SUCCESS, Plain("insert into " + TableOf(GetParam()) + " values (1, 'one')"));
        ASSERT_EQ(SQL_SUCCESS, Plain("insert into " + TableOf(GetParam()) + " values (2, 'two')"));
    }
    // A statement through the Driver Manager on the plain (autocommit) connection.
    SQLRETURN Plain(const std::string& sql, std::string* state = nullptr) {
        SQLHSTMT st = SQL_NULL_HSTMT;
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st));
        SQLRETURN rc = SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS);
        if (state) {
            std::vector<std::string> states = connecttest::States(SQL_HANDLE_STMT, st);
            *state = states.empty() ? "" : states[0];
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return rc;
    }
    std::string Rows() {
        SQLHSTMT st = SQL_NULL_HSTMT;
        EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st));
        std::string out;
        std::string q = "select k, v from " + TableOf(GetParam()) + " order by k";
        EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(st, (SQLCHAR*)q.c_str(), SQL_NTS));
        while (SQLFetch(st) == SQL_SUCCESS) {
            SQLINTEGER k = 0;
            char v[32] = {};
            SQLLEN len = 0;
            SQLGetData(st, 1, SQL_C_SLONG, &k, 0, &len);
            SQLGetData(st, 2, SQL_C_CHAR, v, sizeof v, &len);
            out += std::to_string(k) + "=" + v + ";";
        }
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return out;
    }
    // Whether recovery through the switch lists the identifier.
    bool Listed(const Xid& xid, int rmid) {
        Xid found[16];
        int n = x.sw->recover(found, 16, rmid, kTmStartScan | kTmEndScan);
        EXPECT_GE(n, 0);
        bool listed = false;
        for (int i = 0; i < n; ++i) listed = listed || SameXid(found[i], xid);
        return listed;
    }
    // A child process (this program again) prepares a branch and ends as told, without an outcome.
    void PrepareInChild(const Xid& xid, const char* end) {
        const std::string mark = ConfigDir() + "/xa-child-" + BuildName(GetParam()) + ".done";
        unlink(mark.c_str());
        setenv("TV_XA_CHILD_LIB", LibraryPath(GetParam()).c_str(), 1);
        setenv("TV_XA_CHILD_WIDE", GetParam().wide ? "1" : "0", 1);
        setenv("TV_XA_CHILD_INFO", Info(GetParam()).c_str(), 1);
        setenv("TV_XA_CHILD_TABLE", TableOf(GetParam()).c_str(), 1);
        setenv("TV_XA_CHILD_GTRID", std::string(xid.data, size_t(xid.gtrid_length)).c_str(), 1);
        setenv("TV_XA_CHILD_END", end, 1);
        setenv("TV_XA_CHILD_MARK", mark.c_str(), 1);
        // The child's own set-up points the engine elsewhere: it is told where the databases are.
        setenv("TV_XA_CHILD_DATA", std::getenv("II_DATABASE_DIR"), 1);
        // A process that ends without closing what it opened is no leak to look for.
        const char* asan = std::getenv("ASAN_OPTIONS");
        const std::string keepAsan = asan ? asan : "";
        setenv("ASAN_OPTIONS", (keepAsan.empty() ? "detect_leaks=0" : keepAsan + ":detect_leaks=0").c_str(), 1);
        std::string filter = "--gtest_filter=XaDurableChild.Run";
        char self[] = "/proc/self/exe";
        char* argv[] = {self, filter.data(), nullptr};
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, "/proc/self/exe", nullptr, nullptr, argv, environ);
        if (asan)
            setenv("ASAN_OPTIONS", keepAsan.c_str(), 1);
        else
            unsetenv("ASAN_OPTIONS");
        ASSERT_EQ(0, spawned);
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        for (const char* v : {"TV_XA_CHILD_LIB", "TV_XA_CHILD_WIDE", "TV_XA_CHILD_INFO", "TV_XA_CHILD_TABLE",
                              "TV_XA_CHILD_GTRID", "TV_XA_CHILD_END", "TV_XA_CHILD_MARK", "TV_XA_CHILD_DATA"})
            unsetenv(v);
        if (std::string(end) == "kill") {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        std::ifstream done(mark);
        std::string word;
        done >> word;
        ASSERT_EQ("prepared", word) << "the child did not prepare its branch";
    }
};

// The child's branch: a row added, one changed, one removed; prepared, then no outcome.
constexpr const char* kBranchRows = "2=changed;3=three;";
constexpr const char* kBaseRows = "1=one;2=two;";

TEST_P(XaDurable, ABranchPreparedByAKilledProcessIsCommittedFromAnother) {
    Xid xid = MakeXid("killed-" + BuildName(GetParam()), "b1");
    PrepareInChild(xid, "kill");
    if (HasFatalFailure()) return;
    EXPECT_EQ(kBaseRows, Rows());
    // The branch's locks outlive its process: writers wait for its outcome.
    std::string state;
    EXPECT_EQ(SQL_ERROR, Plain("insert into " + TableOf(GetParam()) + " values (9, 'nine')", &state));
    EXPECT_EQ("40001", state);

    std::string info = Info(GetParam());
    ASSERT_EQ(kOk, x.sw->open(info.data(), 3, 0));
    EXPECT_TRUE(Listed(xid, 3));
    ASSERT_EQ(kOk, x.sw->commit(&xid, 3, 0));
    EXPECT_EQ(kBranchRows, Rows());
    EXPECT_FALSE(Listed(xid, 3));
    // Finished: nothing of that identifier is left to commit or roll back.
    EXPECT_EQ(kNota, x.sw->commit(&xid, 3, 0));
    EXPECT_EQ(kNota, x.sw->rollback(&xid, 3, 0));
    ASSERT_EQ(kOk, x.sw->close(info.data(), 3, 0));
    EXPECT_EQ(SQL_SUCCESS, Plain("insert into " + TableOf(GetParam()) + " values (9, 'nine')"));
}

TEST_P(XaDurable, ABranchOfAProcessThatEndedNormallyIsRolledBackFromAnother) {
    Xid xid = MakeXid("exited-" + BuildName(GetParam()), "b1");
    PrepareInChild(xid, "exit");
    if (HasFatalFailure()) return;
    EXPECT_EQ(kBaseRows, Rows());
    std::string info = Info(GetParam());
    ASSERT_EQ(kOk, x.sw->open(info.data(), 4, 0));
    EXPECT_TRUE(Listed(xid, 4));
    ASSERT_EQ(kOk, x.sw->rollback(&xid, 4, 0));
    EXPECT_FALSE(Listed(xid, 4));
    EXPECT_EQ(kBaseRows, Rows());
    EXPECT_EQ(kNota, x.sw->rollback(&xid, 4, 0));
    ASSERT_EQ(kOk, x.sw->close(info.data(), 4, 0));
    EXPECT_EQ(SQL_SUCCESS, Plain("insert into " + TableOf(GetParam()) + " values (9, 'nine')"));
}

// The application's own statements on the XA connection run right after the open and after each
// kind of commit or rollback, as they do after a two-phase commit.
TEST_P(XaDurable, StatementsOutsideBranchesRunAfterOpenAndAfterEveryOutcome) {
    std::string info = Info(GetParam());
    const std::string t = TableOf(GetParam());
    ASSERT_EQ(kOk, x.sw->open(info.data(), 5, 0));
    EXPECT_EQ(SQL_SUCCESS, x.Exec("select count(*) from " + t)) << "right after the open";
    struct Outcome {
        const char* name;
        long endFlags;
        bool prepare;
        bool commit;
    } outcomes[] = {{"two-phase commit", kTmSuccess, true, true},
                    {"one-phase commit of a parked branch", kTmSuccess, false, true},
                    {"one-phase commit of an ended branch", 0, false, true},
                    {"rollback of a parked branch", kTmSuccess, false, false},
                    {"rollback of a prepared branch", kTmSuccess, true, false}};
    int n = 0;
    for (const Outcome& o : outcomes) {
        SCOPED_TRACE(o.name);
        Xid xid = MakeXid("local-" + BuildName(GetParam()) + "-" + std::to_string(++n), "b");
        ASSERT_EQ(kOk, x.sw->start(&xid, 5, 0));
        ASSERT_EQ(SQL_SUCCESS, x.Exec("insert into " + t + " values (" + std::to_string(10 + n) + ", 'x')"));
        ASSERT_EQ(kOk, x.sw->end(&xid, 5, o.endFlags));
        if (o.prepare) {
            ASSERT_EQ(kOk, x.sw->prepare(&xid, 5, 0));
        }
        long flags = o.prepare ? 0 : kTmOnePhase;
        ASSERT_EQ(kOk, o.commit ? x.sw->commit(&xid, 5, flags) : x.sw->rollback(&xid, 5, 0));
        EXPECT_EQ(SQL_SUCCESS, x.Exec("select count(*) from " + t));
    }
    ASSERT_EQ(kOk, x.sw->close(info.data(), 5, 0));
    EXPECT_EQ("1=one;2=two;11=x;12=x;13=x;", Rows());
}

INSTANTIATE_TEST_SUITE_P(Builds, XaDurable, ::testing::ValuesIn(DriverBuilds()),
                         [](const ::testing::TestParamInfo<DriverBuild>& i) { return BuildName(i.param); });

}  // namespace

// The child of XaDurable: opens the switch, runs a branch and prepares it, then is killed or
// returns (the program then ends normally) without an outcome.
TEST(XaDurableChild, Run) {
    const char* lib = std::getenv("TV_XA_CHILD_LIB");
    const char* data = std::getenv("TV_XA_CHILD_DATA");
    const char* infoText = std::getenv("TV_XA_CHILD_INFO");
    const char* table = std::getenv("TV_XA_CHILD_TABLE");
    const char* gtrid = std::getenv("TV_XA_CHILD_GTRID");
    const char* end = std::getenv("TV_XA_CHILD_END");
    const char* mark = std::getenv("TV_XA_CHILD_MARK");
    if (!lib || !data || !infoText || !table || !gtrid || !end || !mark) GTEST_SKIP() << "runs as a child process only";
    setenv("II_DATABASE_DIR", data, 1);
    static XaLibrary x;  // never unloaded: the process ends with it loaded
    ASSERT_TRUE(x.Load(lib, std::string(std::getenv("TV_XA_CHILD_WIDE")) == "1"));
    std::string info = infoText;
    ASSERT_EQ(kOk, x.sw->open(info.data(), 1, 0));
    Xid xid = MakeXid(gtrid, "b1");
    ASSERT_EQ(kOk, x.sw->start(&xid, 1, 0));
    const std::string t = table;
    ASSERT_EQ(SQL_SUCCESS, x.Exec("insert into " + t + " values (3, 'three')"));
    ASSERT_EQ(SQL_SUCCESS, x.Exec("update " + t + " set v = 'changed' where k = 2"));
    ASSERT_EQ(SQL_SUCCESS, x.Exec("delete from " + t + " where k = 1"));
    ASSERT_EQ(kOk, x.sw->end(&xid, 1, kTmSuccess));
    ASSERT_EQ(kOk, x.sw->prepare(&xid, 1, 0));
    { std::ofstream(mark) << "prepared\n"; }
    if (std::string(end) == "kill") raise(SIGKILL);
}
