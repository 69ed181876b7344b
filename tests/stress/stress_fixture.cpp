#include "tests/stress/stress_fixture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "iiapi/iiapi.h"

namespace stress {
namespace {

std::string& Dir() {
    static std::string dir;
    return dir;
}

// Written before main: nothing of the machine's own ODBC configuration or databases is seen.
struct PrivateConfig {
    PrivateConfig() {
        // In memory where the machine has it: the tests measure the driver, not the disk's syncs.
        char shm[] = "/dev/shm/tv_stress_XXXXXX";
        char tmp[] = "/tmp/tv_stress_XXXXXX";
        const char* d = access("/dev/shm", W_OK) == 0 ? mkdtemp(shm) : nullptr;
        if (d == nullptr) d = mkdtemp(tmp);
        if (d == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        Dir() = d;
        std::ofstream(Dir() + "/odbc.ini") << "";
        std::ofstream(Dir() + "/odbcinst.ini") << "";
        setenv("ODBCSYSINI", d, 1);
        setenv("ODBCINI", (Dir() + "/odbc.ini").c_str(), 1);
        setenv("II_DATABASE_DIR", d, 1);
        setenv("KIV_LOGIN_SCRIPT", "CANCEL", 1);
        unsetenv("KIV_DEBUGFILE");
    }
    ~PrivateConfig() {
        std::error_code ec;
        std::filesystem::remove_all(Dir(), ec);
    }
};
PrivateConfig g_config;

}  // namespace

void Database(const char* name) {
    static std::mutex lock;
    static std::set<std::string> made;
    std::lock_guard<std::mutex> g(lock);
    if (!made.insert(name).second) return;
    char err[256] = "";
    ASSERT_EQ(0, iiengine_createDatabase(name, nullptr, nullptr, err, sizeof err)) << name << ": " << err;
}

Diag FirstDiag(SQLSMALLINT type, SQLHANDLE h) {
    SQLCHAR state[6] = "";
    SQLCHAR text[512] = "";
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    Diag d;
    // On a connection another thread is using, reading diagnostics is refused like any other call
    // until the connection is free again.
    SQLRETURN rc = SQL_ERROR;
    for (int tries = 0; tries < 100000 && (rc == SQL_ERROR || rc == SQL_STILL_EXECUTING); ++tries) {
        rc = SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len);
        if (rc == SQL_ERROR || rc == SQL_STILL_EXECUTING) std::this_thread::yield();
    }
    if (Ok(rc)) {
        d.state = reinterpret_cast<char*>(state);
        d.message = reinterpret_cast<char*>(text);
    }
    return d;
}

std::string DiagText(SQLSMALLINT type, SQLHANDLE h) {
    Diag d = FirstDiag(type, h);
    return d.state + " " + d.message;
}

SQLRETURN Connect(SQLHENV* env, SQLHDBC* dbc, const char* database) {
    SQLRETURN rc;
    if (*env == SQL_NULL_HENV) {
        rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env);
        if (!Ok(rc)) return rc;
        rc = SQLSetEnvAttr(*env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        if (!Ok(rc)) return rc;
    }
    if (*dbc == SQL_NULL_HDBC) {
        rc = SQLAllocHandle(SQL_HANDLE_DBC, *env, dbc);
        if (!Ok(rc)) return rc;
    }
    SQLCHAR* name = reinterpret_cast<SQLCHAR*>(const_cast<char*>(database));
    SQLCHAR empty[] = "";
    return SQLConnect(*dbc, name, SQL_NTS, empty, SQL_NTS, empty, SQL_NTS);
}

Connection::Connection(const char* database) {
    Database(database);
    SQLRETURN rc = Connect(&env, &dbc, database);
    connected = Ok(rc);
    EXPECT_TRUE(connected) << database << ": " << (dbc ? DiagText(SQL_HANDLE_DBC, dbc) : "no connection handle");
}

Connection::~Connection() {
    if (connected) SQLDisconnect(dbc);
    if (dbc) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
}

SQLHSTMT Connection::Stmt() {
    SQLHSTMT s = SQL_NULL_HSTMT;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s))) return SQL_NULL_HSTMT;
    return s;
}

bool Connection::Exec(const char* text, std::string* why) {
    SQLHSTMT s = Stmt();
    if (s == SQL_NULL_HSTMT) {
        if (why) *why = DiagText(SQL_HANDLE_DBC, dbc);
        return false;
    }
    SQLRETURN rc = SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)), SQL_NTS);
    bool ok = Ok(rc) || rc == SQL_NO_DATA;
    if (!ok && why) *why = DiagText(SQL_HANDLE_STMT, s);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return ok;
}

uint64_t ResidentBytes() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    unsigned long size = 0, resident = 0;
    int n = std::fscanf(f, "%lu %lu", &size, &resident);
    std::fclose(f);
    return n == 2 ? uint64_t(resident) * uint64_t(sysconf(_SC_PAGESIZE)) : 0;
}

long Count(const char* variable, long fallback) {
    const char* v = std::getenv(variable);
    if (v == nullptr || *v == '\0') return fallback;
    long n = std::strtol(v, nullptr, 10);
    return n > 0 ? n : fallback;
}

}  // namespace stress
