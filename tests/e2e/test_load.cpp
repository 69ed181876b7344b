// Loading, unloading and handle checks of both builds, through unixODBC and by direct loading.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/e2e/e2e_fixture.h"

namespace {

class ThroughDriverManager : public ::testing::TestWithParam<DriverBuild> {
protected:
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    void SetUp() override {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        ASSERT_EQ(SQL_SUCCESS,
                  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    }
    void TearDown() override {
        if (dbc) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }
    SQLRETURN Connect() {
        return SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(const_cast<char*>(GetParam().dsn)), SQL_NTS, nullptr, 0,
                          nullptr, 0);
    }
};

// Connecting loads the driver and allocates its environment and connection; the driver's own
// diagnostic proves the calls reached it. With DontDLClose=0 the failed connect unloads it again.
TEST_P(ThroughDriverManager, DriverLoadsAnswersAndUnloadsRepeatedly) {
    ASSERT_FALSE(LibraryMapped(GetParam().library));
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(SQL_ERROR, Connect()) << "round " << round;
        Diag d = FirstDiag(SQL_HANDLE_DBC, dbc);
        EXPECT_EQ(SQL_SUCCESS, d.rc);
        EXPECT_EQ("08004", d.state);
        EXPECT_NE(std::string::npos, d.message.find("[Corvanta][ODBC][IngresII Server]Database '")) << d.message;
        EXPECT_FALSE(LibraryMapped(GetParam().library)) << "round " << round;
    }
}

// An ODBC 2 application: SQLAllocEnv without a version; the driver keeps ODBC 2 states.
TEST_P(ThroughDriverManager, OdbcTwoApplicationReadsOdbcTwoStatesThroughSqlError) {
    SQLHENV env2 = SQL_NULL_HENV;
    SQLHDBC dbc2 = SQL_NULL_HDBC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env2));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(env2, &dbc2));
    EXPECT_EQ(SQL_ERROR, SQLConnect(dbc2, reinterpret_cast<SQLCHAR*>(const_cast<char*>(GetParam().dsn)), SQL_NTS,
                                    nullptr, 0, nullptr, 0));
    SQLCHAR state[6] = {}, msg[300] = {};
    SQLINTEGER native = -1;
    SQLSMALLINT len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLError(env2, dbc2, SQL_NULL_HSTMT, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("08004", reinterpret_cast<char*>(state));
    EXPECT_NE(nullptr, strstr(reinterpret_cast<char*>(msg), "does not exist")) << msg;
    ASSERT_EQ(SQL_SUCCESS, SQLError(env2, dbc2, SQL_NULL_HSTMT, state, &native, msg, sizeof msg, &len));
    EXPECT_STREQ("08001", reinterpret_cast<char*>(state));
    EXPECT_NE(nullptr, strstr(reinterpret_cast<char*>(msg), "[Corvanta][ODBC]Unable to allocate connection handle"))
        << msg;
    EXPECT_EQ(0, native);
    EXPECT_EQ(SQL_SUCCESS, SQLFreeConnect(dbc2));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(env2));
}

// With the debug trace on, the driver's own trace shows the Driver Manager's calls arriving:
// the environment first, then the connection, and the connect that the driver refuses.
TEST_P(ThroughDriverManager, DriverTraceShowsTheEnvironmentAllocationArriving) {
    std::string path = ConfigDir() + "/trace-" + BuildName(GetParam()) + ".log";
    setenv("KIV_DEBUGFILE", path.c_str(), 1);
    EXPECT_EQ(SQL_ERROR, Connect());
    unsetenv("KIV_DEBUGFILE");
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    size_t env = text.find("] SQLAllocHandle\nhandleType=1");
    size_t conn = text.find("handleType=2");
    size_t connect = text.find(GetParam().wide ? "] SQLConnectW hDbc=" : "] SQLConnect hDbc=");
    EXPECT_NE(std::string::npos, env) << text;
    EXPECT_NE(std::string::npos, conn) << text;
    EXPECT_NE(std::string::npos, connect) << text;
    EXPECT_LT(env, conn);
    EXPECT_LT(conn, connect);
    EXPECT_NE(std::string::npos, text.find("** normal end **")) << "shut-down closes the trace";
}

TEST_P(ThroughDriverManager, DriverManagerRefusesBadHandles) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLAllocHandle(SQL_HANDLE_STMT, SQL_NULL_HDBC, &stmt));
    EXPECT_EQ(SQL_INVALID_HANDLE, SQLFreeHandle(SQL_HANDLE_STMT, SQL_NULL_HSTMT));
}

INSTANTIATE_TEST_SUITE_P(Builds, ThroughDriverManager, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

// The library loaded on its own, as the Driver Manager loads it, to reach checks the Driver
// Manager's own handle validation would otherwise hide.
class DirectLoad : public ::testing::TestWithParam<DriverBuild> {
protected:
    void* lib = nullptr;
    void SetUp() override {
        lib = dlopen(LibraryPath(GetParam()).c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, lib) << dlerror();
    }
    void TearDown() override {
        if (lib) dlclose(lib);
    }
    template <class F>
    F* Fn(const char* name) {
        void* p = dlsym(lib, name);
        EXPECT_NE(nullptr, p) << name;
        return reinterpret_cast<F*>(p);
    }
};

using AllocHandleFn = SQLRETURN(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using FreeHandleFn = SQLRETURN(SQLSMALLINT, SQLHANDLE);
using AllocEnvFn = SQLRETURN(SQLHENV*);
using AllocConnectFn = SQLRETURN(SQLHENV, SQLHDBC*);
using FreeFn = SQLRETURN(SQLHANDLE);
using SetEnvAttrFn = SQLRETURN(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER);
using GetEnvAttrFn = SQLRETURN(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER, SQLINTEGER*);
using SetupFn = int(char*, int);

TEST_P(DirectLoad, HandlesAre32BitNumbersAndForgedOnesAreRefused) {
    auto* alloc = Fn<AllocHandleFn>("SQLAllocHandle");
    auto* freeH = Fn<FreeHandleFn>("SQLFreeHandle");
    SQLHENV env = SQL_NULL_HENV;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    uintptr_t v = reinterpret_cast<uintptr_t>(env);
    EXPECT_EQ(0u, v >> 32);
    EXPECT_EQ(0x0001u, v >> 16);
    SQLHDBC dbc = SQL_NULL_HDBC;
    auto forged = reinterpret_cast<SQLHENV>(v | (uintptr_t(0xFF) << 32));
    EXPECT_EQ(SQL_INVALID_HANDLE, alloc(SQL_HANDLE_DBC, forged, &dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, alloc(SQL_HANDLE_DBC, reinterpret_cast<SQLHENV>(0x00020000), &dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, alloc(99, env, &dbc));
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    EXPECT_EQ(0x0002u, reinterpret_cast<uintptr_t>(dbc) >> 16);
    EXPECT_EQ(SQL_INVALID_HANDLE, freeH(SQL_HANDLE_ENV, dbc));
    EXPECT_EQ(SQL_SUCCESS, freeH(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, freeH(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, freeH(SQL_HANDLE_ENV, env));
    EXPECT_EQ(SQL_INVALID_HANDLE, freeH(SQL_HANDLE_ENV, env));
}

TEST_P(DirectLoad, UnloadAndReloadRestartsTheDriver) {
    auto* allocEnv = Fn<AllocEnvFn>("SQLAllocEnv");
    SQLHENV env = SQL_NULL_HENV;
    ASSERT_EQ(SQL_SUCCESS, allocEnv(&env));  // left for shut-down to free
    dlclose(lib);
    lib = nullptr;
    ASSERT_FALSE(LibraryMapped(GetParam().library));
    lib = dlopen(LibraryPath(GetParam()).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, lib);
    allocEnv = Fn<AllocEnvFn>("SQLAllocEnv");
    SQLHENV again = SQL_NULL_HENV;
    ASSERT_EQ(SQL_SUCCESS, allocEnv(&again));
    EXPECT_EQ(env, again);  // fresh tables: the first slot again
    EXPECT_EQ(SQL_SUCCESS, Fn<FreeFn>("SQLFreeEnv")(again));
}

TEST_P(DirectLoad, OdbcTwoAllocationFormsAndEnvironmentAttributes) {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ASSERT_EQ(SQL_SUCCESS, Fn<AllocEnvFn>("SQLAllocEnv")(&env));
    auto* getAttr = Fn<GetEnvAttrFn>("SQLGetEnvAttr");
    auto* setAttr = Fn<SetEnvAttrFn>("SQLSetEnvAttr");
    SQLINTEGER v = 0;
    ASSERT_EQ(SQL_SUCCESS, getAttr(env, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr));
    EXPECT_EQ(SQL_OV_ODBC2, v);
    EXPECT_EQ(SQL_SUCCESS, setAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(380), 0));
    ASSERT_EQ(SQL_SUCCESS, getAttr(env, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr));
    EXPECT_EQ(SQL_OV_ODBC3, v);
    ASSERT_EQ(SQL_SUCCESS, Fn<AllocConnectFn>("SQLAllocConnect")(env, &dbc));
    EXPECT_EQ(SQL_SUCCESS, Fn<FreeFn>("SQLFreeConnect")(dbc));
    EXPECT_EQ(SQL_SUCCESS, Fn<FreeFn>("SQLFreeEnv")(env));
    EXPECT_EQ(SQL_ERROR, Fn<AllocEnvFn>("SQLAllocEnv")(nullptr));
}

TEST_P(DirectLoad, SetupExportsNameTheSetupKey) {
    char buf[200];
    ASSERT_EQ(1, Fn<SetupFn>("GetSetupRegistry")(buf, sizeof buf));
    EXPECT_EQ(0, std::string(buf).rfind("SOFTWARE\\Corvanta Software\\", 0)) << buf;
    ASSERT_EQ(1, Fn<SetupFn>("GetSetupDatabase")(buf, sizeof buf));
    EXPECT_STRNE("", buf);
}

INSTANTIATE_TEST_SUITE_P(Builds, DirectLoad, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
