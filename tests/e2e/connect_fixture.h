#pragma once
// Connecting through the Driver Manager to databases of the embedded engine: the data sources
// cw_wide and cw_narrow (odbc.ini of the end-to-end environment) name databases of the same
// names owned by tvuser with password "secret"; "Default" is a database without a password.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/e2e_fixture.h"

namespace connecttest {

constexpr const char* kUser = "tvuser";
constexpr const char* kPassword = "secret";

// Creates the databases once per process with the engine's own tool.
inline void EnsureDatabases() {
    static const bool made = [] {
        std::string tool = std::string(TV_BUILD_DIR) + "/bin/iicreatedb";
        if (const char* env = std::getenv("TV_BUILD_DIR"); env && *env) tool = std::string(env) + "/bin/iicreatedb";
        for (const char* db : {"cw_wide", "cw_narrow"}) {
            std::string cmd = tool + " -u " + kUser + " -P " + kPassword + " " + db + " >/dev/null";
            if (std::system(cmd.c_str()) != 0) return false;
        }
        return std::system((tool + " Default >/dev/null").c_str()) == 0;
    }();
    ASSERT_TRUE(made) << "iicreatedb failed";
}

// The login library's scripted answer for one test; the prompt never waits on a terminal.
class LoginScript {
public:
    explicit LoginScript(const char* answer) { setenv("KIV_LOGIN_SCRIPT", answer, 1); }
    ~LoginScript() { setenv("KIV_LOGIN_SCRIPT", "CANCEL", 1); }
};

inline std::vector<SQLWCHAR> W(const std::string& s) {
    std::vector<SQLWCHAR> out;
    for (unsigned char c : s) out.push_back(SQLWCHAR(c));  // test texts are ASCII
    // The Driver Manager's own conversion for a narrow driver reads a little past the
    // terminator, so the text carries spare ones.
    out.resize(out.size() * 4 + 16, 0);
    return out;
}
inline std::string Narrow(const SQLWCHAR* w) {
    std::string s;
    for (; *w; ++w) s.push_back(char(*w));
    return s;
}

// All SQLSTATEs of a handle's diagnostic records.
inline std::vector<std::string> States(SQLSMALLINT type, SQLHANDLE h) {
    std::vector<std::string> out;
    for (SQLSMALLINT i = 1; i < 20; ++i) {
        SQLCHAR state[6] = {}, msg[1024];
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, i, state, &native, msg, sizeof msg, &len))) break;
        out.emplace_back(reinterpret_cast<char*>(state));
    }
    return out;
}
inline bool HasState(SQLSMALLINT type, SQLHANDLE h, const std::string& state) {
    for (const std::string& s : States(type, h))
        if (s == state) return true;
    return false;
}

class ConnectThroughDriverManager : public ::testing::TestWithParam<DriverBuild> {
protected:
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    // A window handle for SQL_DRIVER_PROMPT, which the Driver Manager refuses with none.
    SQLHWND window = reinterpret_cast<SQLHWND>(uintptr_t(0x1));

    void SetUp() override {
        setenv("KIV_LOGIN_SCRIPT", "CANCEL", 1);
        EnsureDatabases();
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    }
    void TearDown() override {
        if (dbc) {
            SQLDisconnect(dbc);
            SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        }
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    std::string Dsn() const { return GetParam().wide ? "cw_wide" : "cw_narrow"; }
    std::string DriverName() const { return GetParam().wide ? "Telvarin Unicode" : "Telvarin ANSI"; }
};

}  // namespace connecttest
