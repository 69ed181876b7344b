// A user's own install: `cmake --install` of this build into a fresh prefix, the drivers
// registered from the installed odbcinst.ini with odbcinst, a database made with the installed
// tool, and connections through unixODBC that reach only the installed files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>

#include "tests/support/diag_text.h"
#include "tests/support/mapped_libs.h"
#include "tests/support/temp_dirs.h"

namespace {

constexpr const char* kUser = "tvuser";
constexpr const char* kPassword = "secret";

std::string BuildDir() {
    const char* env = std::getenv("TV_BUILD_DIR");
    return env && *env ? env : TV_BUILD_DIR;
}

// What a shell command printed on stdout and stderr; `status` gets its exit status.
std::string Run(const std::string& cmd, int* status) {
    std::string out;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) {
        *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int rc = pclose(p);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

// A directory of the install: under the prefix unless the build was configured with an absolute one.
std::string Under(const std::string& prefix, const char* dir) {
    return dir[0] == '/' ? std::string(dir) : prefix + "/" + dir;
}

// Installed once per process, before the process's first Driver Manager call, which then reads
// only the private configuration made here.
struct Installation {
    std::string prefix;
    std::string driverDir;
    std::string failure;  // empty when every step worked
    std::string log;

    Installation() {
        prefix = tvtest::MakeTempDir("tv_prefix_");
        if (prefix.empty()) {
            failure = "no temporary directory";
            return;
        }
        driverDir = Under(prefix, TV_INSTALL_DRIVERDIR);
        if (!Step(std::string("'") + TV_CMAKE_COMMAND + "' --install '" + BuildDir() + "' --prefix '" + prefix + "'"))
            return;
        // A data source of each driver, by the name the installed odbcinst.ini gives it; the data
        // source's name is its database's.
        tvtest::UsePrivateIni("[inst_n]\nDriver = Telvarin\n\n[inst_w]\nDriver = Telvarin Unicode\n");
        setenv("ODBCINSTINI", "odbcinst.ini", 1);
        setenv("II_DATABASE_DIR", tvtest::MakeTempDir("tv_instdata_").c_str(), 1);
        // The lines a user types; odbcinst writes the drivers into $ODBCSYSINI/odbcinst.ini.
        if (!Step("odbcinst -i -d -f '" + Under(prefix, TV_INSTALL_DATADIR) + "/telvarin/odbcinst.ini'")) return;
        const std::string createdb = "'" + Under(prefix, TV_INSTALL_BINDIR) + "/iicreatedb' -u " + kUser + " -P " +
                                     kPassword + " ";
        for (const char* db : {"inst_n", "inst_w", "Default"})
            if (!Step(createdb + db)) return;
    }
    bool Step(const std::string& cmd) {
        int status = 0;
        log += "$ " + cmd + "\n" + Run(cmd, &status);
        if (status != 0) failure = "failed (" + std::to_string(status) + "): " + cmd;
        return status == 0;
    }
};

const Installation& TheInstallation() {
    static const Installation installation;
    return installation;
}

struct InstalledDriver {
    const char* name;     // as the installed odbcinst.ini registers it
    const char* library;  // its file in the driver directory
    const char* dsn;      // its data source in the private odbc.ini
};
void PrintTo(const InstalledDriver& d, std::ostream* os) { *os << d.library; }

class Installed : public ::testing::TestWithParam<InstalledDriver> {
protected:
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;

    void SetUp() override {
        const Installation& inst = TheInstallation();
        ASSERT_EQ("", inst.failure) << inst.log;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    }
    void TearDown() override {
        if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        if (dbc) {
            SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
        unsetenv("KIV_LOGIN_SCRIPT");
    }
    SQLRETURN DriverConnect(const std::string& in, SQLUSMALLINT completion) {
        SQLCHAR out[1024] = {};
        SQLSMALLINT outLen = 0;
        // The Driver Manager wants a window handle wherever the driver may prompt.
        SQLHWND window = completion == SQL_DRIVER_NOPROMPT ? nullptr : reinterpret_cast<SQLHWND>(uintptr_t(1));
        return SQLDriverConnect(dbc, window, reinterpret_cast<SQLCHAR*>(const_cast<char*>(in.c_str())), SQL_NTS,
                                out, sizeof out, &outLen, completion);
    }
    void Exec(const std::string& sql) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                                                SQL_NTS)))
            << sql << ": " << tvtest::FirstDiagText(SQL_HANDLE_STMT, stmt);
    }
    // The library was loaded from the installed driver directory, not from the build tree.
    void ExpectMappedFromInstall(const char* library) {
        EXPECT_EQ(TheInstallation().driverDir + "/" + library, tvtest::MappedLibraryPath(library));
    }
};

// By the driver's registered name alone, without a data source: the database "Default".
TEST_P(Installed, ConnectsByTheRegisteredNameAndRunsStatements) {
    const std::string in = std::string("DRIVER={") + GetParam().name + "};UID=" + kUser + ";PWD=" + kPassword;
    ASSERT_EQ(SQL_SUCCESS, DriverConnect(in, SQL_DRIVER_NOPROMPT)) << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
    ExpectMappedFromInstall(GetParam().library);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    const std::string table = std::string("t_") + GetParam().dsn;
    Exec("create table " + table + " (id integer not null, name varchar(20))");
    Exec("insert into " + table + " values (1, 'one'), (2, 'two')");
    Exec("select name from " + table + " where id = 2");
    SQLCHAR name[21] = {};
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << tvtest::FirstDiagText(SQL_HANDLE_STMT, stmt);
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_CHAR, name, sizeof name, &len));
    EXPECT_STREQ("two", reinterpret_cast<char*>(name));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
}

// SQLConnect to a data source that names the driver only by its registered name.
TEST_P(Installed, DataSourceNamingTheRegisteredDriverConnects) {
    ASSERT_EQ(SQL_SUCCESS, SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(const_cast<char*>(GetParam().dsn)), SQL_NTS,
                                      reinterpret_cast<SQLCHAR*>(const_cast<char*>(kUser)), SQL_NTS,
                                      reinterpret_cast<SQLCHAR*>(const_cast<char*>(kPassword)), SQL_NTS))
        << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
    ExpectMappedFromInstall(GetParam().library);
}

// The prompt for a missing password goes through the login library installed beside the driver;
// without it the connect fails with IM008.
TEST_P(Installed, LoginPromptUsesTheInstalledLoginLibrary) {
    setenv("KIV_LOGIN_SCRIPT", (std::string("PWD=") + kPassword).c_str(), 1);
    const std::string in = std::string("DSN=") + GetParam().dsn + ";UID=" + kUser;
    ASSERT_EQ(SQL_SUCCESS, DriverConnect(in, SQL_DRIVER_COMPLETE)) << tvtest::FirstDiagText(SQL_HANDLE_DBC, dbc);
    ExpectMappedFromInstall(GetParam().library);
    ExpectMappedFromInstall("libpramlogw.so");
}

INSTANTIATE_TEST_SUITE_P(Builds, Installed,
                         ::testing::Values(InstalledDriver{"Telvarin", "telvarin.so", "inst_n"},
                                           InstalledDriver{"Telvarin Unicode", "telvarinu.so", "inst_w"}));

}  // namespace
