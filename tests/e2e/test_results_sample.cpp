// The sample database through the Driver Manager: its table of every Ingres type read in every
// column, and unixODBC's own isql running a SELECT on it.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "results_fixture.h"

namespace resultstest {
namespace {

// Sample databases sample_w and sample_n, each with a data source of its own build.
void EnsureSample() {
    static const bool made = [] {
        std::string tool = std::string(TV_BUILD_DIR) + "/bin/iicreatedb";
        if (const char* env = std::getenv("TV_BUILD_DIR"); env && *env) tool = std::string(env) + "/bin/iicreatedb";
        std::ofstream ini(ConfigDir() + "/odbc.ini", std::ios::app);
        ini << "\n[sample_w]\nDriver = Telvarin Unicode\nLastUser = tvuser\n"
            << "\n[sample_n]\nDriver = Telvarin ANSI\nLastUser = tvuser\n";
        ini.close();
        for (const char* db : {"sample_w", "sample_n"}) {
            std::string cmd = tool + " -s -u tvuser -P secret " + db + " >/dev/null";
            if (std::system(cmd.c_str()) != 0) return false;
        }
        return true;
    }();
    ASSERT_TRUE(made) << "iicreatedb -s failed";
}

// A sanitized driver loaded into an uninstrumented tool needs the sanitizer runtimes first: the
// ones this test program runs with. The tool itself is not under test: its own string calls are
// not checked.
std::string SanitizerPreload() {
    std::string libs;
    for (const char* sym : {"__asan_init", "__ubsan_handle_add_overflow"}) {
        Dl_info info{};
        void* addr = dlsym(RTLD_DEFAULT, sym);
        if (addr && dladdr(addr, &info) && info.dli_fname && std::strstr(info.dli_fname, ".so")) {
            if (!libs.empty()) libs += ":";
            libs += info.dli_fname;
        }
    }
    return libs.empty() ? "" : "ASAN_OPTIONS=detect_leaks=0:replace_str=0:replace_intrin=0 LD_PRELOAD=" + libs + " ";
}

class Sample : public ::testing::TestWithParam<DriverBuild> {
protected:
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    std::string Dsn() const { return GetParam().wide ? "sample_w" : "sample_n"; }
    void SetUp() override {
        EnsureSample();
        if (HasFatalFailure()) return;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLConnect(dbc, (SQLCHAR*)Dsn().c_str(), SQL_NTS, (SQLCHAR*)kUser, SQL_NTS, (SQLCHAR*)kPassword, SQL_NTS)))
            << DiagText(SQL_HANDLE_DBC, dbc);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    }
    void TearDown() override {
        if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        if (dbc) {
            SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
};

TEST_P(Sample, EveryColumnOfAllTypesReadsAsTextAndNullsAsNull) {
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, (SQLCHAR*)"SELECT * FROM all_types ORDER BY id", SQL_NTS))
        << DiagText(SQL_HANDLE_STMT, stmt);
    SQLSMALLINT cols = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &cols));
    ASSERT_EQ(27, cols);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << DiagText(SQL_HANDLE_STMT, stmt);
    for (SQLUSMALLINT c = 1; c <= cols; ++c) {
        char buf[128] = {};
        SQLLEN len = kPoison();
        SQLRETURN rc = SQLGetData(stmt, c, SQL_C_CHAR, buf, sizeof buf, &len);
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << "column " << c << ": " << DiagText(SQL_HANDLE_STMT, stmt);
        EXPECT_GT(len, 0) << "column " << c;
        EXPECT_LT(len, 128) << "column " << c;
    }
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    for (SQLUSMALLINT c = 2; c <= cols; ++c) {
        SQLWCHAR buf[16];
        SQLLEN len = kPoison();
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, c, SQL_C_WCHAR, buf, sizeof buf, &len)) << "column " << c;
        EXPECT_EQ(SQL_NULL_DATA, len) << "column " << c;
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
}

TEST_P(Sample, IsqlRunsASelectAndPrintsTheRows) {
    const std::string tool = GetParam().wide ? "iusql" : "isql";
    const std::string cmd = "echo 'SELECT ename FROM emp ORDER BY empno' | " + SanitizerPreload() + tool + " -b " +
                            Dsn() + " " + kUser + " " + kPassword + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(nullptr, p);
    std::string out;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    const int status = pclose(p);
    EXPECT_EQ(0, status) << out;
    for (const char* name : {"Smith", "Allen", "Jones", "Blake", "King", "Ford"})
        EXPECT_NE(std::string::npos, out.find(name)) << name << " missing in:\n" << out;
    EXPECT_LT(out.find("Smith"), out.find("Ford")) << out;
}

INSTANTIATE_TEST_SUITE_P(Builds, Sample, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
