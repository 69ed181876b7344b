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
    ASSERT_EQ(SQLITE_OK,
              sqlite3_exec(db, "CREATE TABLE IF NOT EXISTS v(x); INSERT INTO v VALUES (1)", nullptr, nullptr, nullptr));
    sqlite3_close(db);
    const std::string before = FileBytes(file);
    ASSERT_FALSE(before.empty());
    // A database of the same stem inside the data directory, which a path must not reach either.
    const std::string names[] = {file,      dir + "/victim", "./victim",       "../victim",
                                 ".victim", "node::" + file, "../data/cw_wide"};
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

// Whatever makes a connect fail, record 1 is its cause and record 2 the driver's own 08001, for
// SQLConnect and SQLDriverConnect, ODBC 2 and ODBC 3 applications, and every way of reading them.
TEST_P(ConnectTarget, EveryFailedConnectReportsItsCauseFirst) {
    const std::string rejected = "[Corvanta][ODBC]Unable to allocate connection handle";
    struct Case {
        const char* what;
        std::string in;  // connection string, or the data source of SQLConnect when `connect`
        bool connect;
        const char* state;
        std::string text;  // the start of the cause's text after "[Corvanta][ODBC][IngresII Server]"
    };
    const std::string noDb = GetParam().dsn;
    const Case cases[] = {
        {"a database that does not exist", noDb, true, "08004", "Database '" + noDb + "' does not exist"},
        {"a data source the driver has no entry for", Driver() + ";DSN=nosuchdsn", false, "08004",
         "Database 'nosuchdsn' does not exist"},
        {"a database name that is a path", Driver() + ";DSN=../up;UID=tvuser;PWD=secret", false, "08001",
         "Invalid database name '../up'"},
        {"a data source name that is no database name", Driver() + ";DSN={a;b}", false, "08001",
         "Invalid database name 'a;b'"},
        {"a wrong password", Dsn(), true, "28000", "Login failed: invalid password for user 'tvuser'"},
        {"a wrong password in the string", Driver() + ";DSN=" + Dsn() + ";UID=tvuser;PWD=wrong", false, "28000",
         "Login failed: invalid password for user 'tvuser'"},
    };
    auto driverPart = [](const std::string& msg) {
        const size_t at = msg.find("[Corvanta]");
        return at == std::string::npos ? msg : msg.substr(at);
    };
    for (SQLINTEGER version : {SQL_OV_ODBC2, SQL_OV_ODBC3}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (version == SQL_OV_ODBC2 ? ", ODBC 2" : ", ODBC 3"));
            SQLHENV e = SQL_NULL_HENV;
            SQLHDBC d = SQL_NULL_HDBC;
            ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e));
            ASSERT_EQ(SQL_SUCCESS,
                      SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(intptr_t(version)), 0));
            ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, e, &d));
            SQLRETURN rc;
            if (c.connect) {
                rc = SQLConnect(d, T(c.in), SQL_NTS, T("tvuser"), SQL_NTS, T("wrong"), SQL_NTS);
            } else {
                SQLCHAR outText[512];
                SQLSMALLINT len = 0;
                rc = SQLDriverConnect(d, nullptr, T(c.in), SQL_NTS, outText, sizeof outText, &len, SQL_DRIVER_NOPROMPT);
            }
            EXPECT_EQ(SQL_ERROR, rc);
            const std::string cause = "[Corvanta][ODBC][IngresII Server]" + c.text;
            // By record number, narrow and wide.
            for (SQLSMALLINT rec : {1, 2}) {
                SCOPED_TRACE(rec);
                SQLCHAR state[6] = {}, msg[512] = {};
                SQLINTEGER native = 0;
                SQLSMALLINT len = 0;
                ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_DBC, d, rec, state, &native, msg, sizeof msg, &len));
                SQLWCHAR wstate[6] = {}, wmsg[512] = {};
                ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRecW(SQL_HANDLE_DBC, d, rec, wstate, &native, wmsg, 512, &len));
                std::string wide;
                for (int i = 0; wstate[i]; ++i) wide.push_back(char(wstate[i]));
                const std::string text = driverPart(reinterpret_cast<char*>(msg));
                if (rec == 1) {
                    EXPECT_STREQ(c.state, reinterpret_cast<char*>(state));
                    EXPECT_EQ(0u, text.find(cause)) << text;
                } else {
                    EXPECT_STREQ("08001", reinterpret_cast<char*>(state));
                    EXPECT_EQ(rejected, text);
                }
                EXPECT_EQ(reinterpret_cast<char*>(state), wide);
            }
            // SQLError hands them out in the same order.
            SQLCHAR state[6] = {}, msg[512] = {};
            SQLINTEGER native = 0;
            SQLSMALLINT len = 0;
            ASSERT_EQ(SQL_SUCCESS, SQLError(e, d, SQL_NULL_HSTMT, state, &native, msg, sizeof msg, &len));
            EXPECT_STREQ(c.state, reinterpret_cast<char*>(state));
            EXPECT_EQ(0u, driverPart(reinterpret_cast<char*>(msg)).find(cause)) << msg;
            SQLFreeHandle(SQL_HANDLE_DBC, d);
            SQLFreeHandle(SQL_HANDLE_ENV, e);
        }
    }
}

// A server below the lowest OpenAPI level the driver works with: the cause is the driver's own
// words, then the driver's 08001; the next connect to a server of today's level works.
TEST_P(ConnectTarget, AServerBelowOpenApiLevelOneIsTheCause) {
    const char* old = getenv("II_ENGINE_API_LEVEL");
    const std::string saved = old ? old : "";
    setenv("II_ENGINE_API_LEVEL", "0", 1);
    const SQLRETURN rc = DriverConnect(Driver() + ";DSN=" + Dsn() + ";UID=tvuser;PWD=secret");
    if (old)
        setenv("II_ENGINE_API_LEVEL", saved.c_str(), 1);
    else
        unsetenv("II_ENGINE_API_LEVEL");
    EXPECT_EQ(SQL_ERROR, rc);
    const struct {
        const char* state;
        const char* text;
    } records[] = {
        {"HY000", "[Corvanta][ODBC][Driver]the server's OpenAPI level is 0: the driver needs level 1 or higher"},
        {"08001", "[Corvanta][ODBC]Unable to allocate connection handle"},
    };
    for (SQLSMALLINT rec = 1; rec <= 2; ++rec) {
        SQLCHAR state[6] = {}, msg[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_DBC, dbc, rec, state, &native, msg, sizeof msg, &len));
        EXPECT_STREQ(records[rec - 1].state, reinterpret_cast<char*>(state)) << rec;
        const std::string text = reinterpret_cast<char*>(msg);
        EXPECT_EQ(records[rec - 1].text, text.substr(text.find("[Corvanta]"))) << rec;
    }
    ASSERT_EQ(SQL_SUCCESS, DriverConnect(Driver() + ";DSN=" + Dsn() + ";UID=tvuser;PWD=secret"))
        << ::testing::PrintToString(States(SQL_HANDLE_DBC, dbc));
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
