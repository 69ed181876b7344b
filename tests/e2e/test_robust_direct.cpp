// Bad input straight into the driver library, as a Driver Manager that screens nothing would pass
// it: null, forged, stale and wrong-type handles for every handle-taking export, and the arguments
// unixODBC refuses before the driver would see them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "connect_fixture.h"
#include "tests/e2e/e2e_fixture.h"
#include "xa/xa_agent.h"
#include "odbc/xa_switch.h"

namespace {

using P = SQLPOINTER;
using H = SQLHANDLE;

// Strings travel as plain pointers: the narrow and wide forms differ only in their element type.
struct Lib {
    void* so = nullptr;
    bool wide = false;
    void* Sym(const std::string& name, bool stringFn) const {
        return dlsym(so, (stringFn && wide ? name + "W" : name).c_str());
    }
};

// Buffers the calls may be given; large enough for any answer.
struct Bufs {
    alignas(16) char text[1024];
    alignas(16) char text2[1024];
    SQLSMALLINT s;
    SQLINTEGER i;
    SQLLEN len;
    SQLULEN ul;
    SQLUSMALLINT us[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE];
    H out;
};

// One export: how to call it with a given handle in its handle place. Every other argument is sane.
struct HandleCall {
    const char* name;
    bool stringFn;
    SQLSMALLINT kind;  // the handle type the function wants
    std::function<SQLRETURN(void*, H, Bufs&)> call;
};

#define F(...) reinterpret_cast<SQLRETURN (*)(__VA_ARGS__)>(fn)

const std::vector<HandleCall>& HandleCalls() {
    static const std::vector<HandleCall> calls = {
        {"SQLAllocConnect", false, SQL_HANDLE_ENV, [](void* fn, H h, Bufs& b) { return F(H, H*)(h, &b.out); }},
        {"SQLAllocStmt", false, SQL_HANDLE_DBC, [](void* fn, H h, Bufs& b) { return F(H, H*)(h, &b.out); }},
        {"SQLAllocHandle", false, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs& b) { return F(SQLSMALLINT, H, H*)(SQL_HANDLE_STMT, h, &b.out); }},
        {"SQLFreeConnect", false, SQL_HANDLE_DBC, [](void* fn, H h, Bufs&) { return F(H)(h); }},
        {"SQLFreeEnv", false, SQL_HANDLE_ENV, [](void* fn, H h, Bufs&) { return F(H)(h); }},
        {"SQLFreeHandle", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) { return F(SQLSMALLINT, H)(SQL_HANDLE_STMT, h); }},
        {"SQLFreeStmt", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) { return F(H, SQLUSMALLINT)(h, SQL_CLOSE); }},
        {"SQLBindCol", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLUSMALLINT, SQLSMALLINT, P, SQLLEN, SQLLEN*)(h, 1, SQL_C_CHAR, b.text, 10, &b.len);
         }},
        {"SQLBindParameter", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN, SQLSMALLINT, P, SQLLEN,
                      SQLLEN*)(h, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &b.i, 0, &b.len);
         }},
        {"SQLSetParam", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN, SQLSMALLINT, P, SQLLEN*)(
                 h, 1, SQL_C_LONG, SQL_INTEGER, 0, 0, &b.i, &b.len);
         }},
        {"SQLBulkOperations", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) { return F(H, SQLSMALLINT)(h, SQL_ADD); }},
        {"SQLCancel", false, SQL_HANDLE_STMT, [](void* fn, H h, Bufs&) { return F(H)(h); }},
        {"SQLCloseCursor", false, SQL_HANDLE_STMT, [](void* fn, H h, Bufs&) { return F(H)(h); }},
        {"SQLCopyDesc", false, SQL_HANDLE_DESC, [](void* fn, H h, Bufs&) { return F(H, H)(h, h); }},
        {"SQLDescribeParam", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLUSMALLINT, SQLSMALLINT*, SQLULEN*, SQLSMALLINT*, SQLSMALLINT*)(h, 1, &b.s, &b.ul, &b.s,
                                                                                       &b.s);
         }},
        {"SQLDisconnect", false, SQL_HANDLE_DBC, [](void* fn, H h, Bufs&) { return F(H)(h); }},
        {"SQLEndTran", false, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs&) { return F(SQLSMALLINT, H, SQLSMALLINT)(SQL_HANDLE_DBC, h, SQL_COMMIT); }},
        {"SQLTransact", false, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs&) { return F(H, H, SQLUSMALLINT)(SQL_NULL_HENV, h, SQL_COMMIT); }},
        {"SQLExecute", false, SQL_HANDLE_STMT, [](void* fn, H h, Bufs&) { return F(H)(h); }},
        {"SQLExtendedFetch", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLUSMALLINT, SQLLEN, SQLULEN*, SQLUSMALLINT*)(h, SQL_FETCH_NEXT, 0, &b.ul, b.us);
         }},
        {"SQLFetch", false, SQL_HANDLE_STMT, [](void* fn, H h, Bufs&) { return F(H)(h); }},
        {"SQLFetchScroll", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) { return F(H, SQLSMALLINT, SQLLEN)(h, SQL_FETCH_NEXT, 0); }},
        {"SQLGetData", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLUSMALLINT, SQLSMALLINT, P, SQLLEN, SQLLEN*)(h, 1, SQL_C_CHAR, b.text, 100, &b.len);
         }},
        {"SQLGetEnvAttr", false, SQL_HANDLE_ENV,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*)(h, SQL_ATTR_ODBC_VERSION, &b.i, 0, &b.i);
         }},
        {"SQLSetEnvAttr", false, SQL_HANDLE_ENV,
         [](void* fn, H h, Bufs&) {
             return F(H, SQLINTEGER, P, SQLINTEGER)(h, SQL_ATTR_ODBC_VERSION, P(SQL_OV_ODBC3), 0);
         }},
        {"SQLGetFunctions", false, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs& b) { return F(H, SQLUSMALLINT, SQLUSMALLINT*)(h, SQL_API_ALL_FUNCTIONS, b.us); }},
        {"SQLGetStmtOption", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) { return F(H, SQLUSMALLINT, P)(h, SQL_ROWSET_SIZE, &b.ul); }},
        {"SQLSetStmtOption", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) { return F(H, SQLUSMALLINT, SQLULEN)(h, SQL_ROWSET_SIZE, 1); }},
        {"SQLMoreResults", false, SQL_HANDLE_STMT, [](void* fn, H h, Bufs&) { return F(H)(h); }},
        {"SQLNumParams", false, SQL_HANDLE_STMT, [](void* fn, H h, Bufs& b) { return F(H, SQLSMALLINT*)(h, &b.s); }},
        {"SQLNumResultCols", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) { return F(H, SQLSMALLINT*)(h, &b.s); }},
        {"SQLParamData", false, SQL_HANDLE_STMT, [](void* fn, H h, Bufs& b) { return F(H, P*)(h, &b.out); }},
        {"SQLParamOptions", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) { return F(H, SQLULEN, SQLULEN*)(h, 1, &b.ul); }},
        {"SQLPutData", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) { return F(H, P, SQLLEN)(h, b.text, 1); }},
        {"SQLRowCount", false, SQL_HANDLE_STMT, [](void* fn, H h, Bufs& b) { return F(H, SQLLEN*)(h, &b.len); }},
        {"SQLSetDescRec", false, SQL_HANDLE_DESC,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLLEN, SQLSMALLINT, SQLSMALLINT, P, SQLLEN*,
                      SQLLEN*)(h, 1, SQL_C_CHAR, 0, 10, 0, 0, b.text, &b.len, &b.len);
         }},
        {"SQLSetPos", false, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) {
             return F(H, SQLSETPOSIROW, SQLUSMALLINT, SQLUSMALLINT)(h, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE);
         }},
        // The string functions.
        {"SQLColAttribute", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLUSMALLINT, SQLUSMALLINT, P, SQLSMALLINT, SQLSMALLINT*, SQLLEN*)(
                 h, 1, SQL_DESC_NAME, b.text, 100, &b.s, &b.len);
         }},
        {"SQLColumnPrivileges", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) {
             return F(H, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT)(h, nullptr, 0, nullptr, 0,
                                                                                       nullptr, 0, nullptr, 0);
         }},
        {"SQLColumns", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) {
             return F(H, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT)(h, nullptr, 0, nullptr, 0,
                                                                                       nullptr, 0, nullptr, 0);
         }},
        {"SQLConnect", true, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs& b) {
             return F(H, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT)(h, b.text2, 0, nullptr, 0, nullptr, 0);
         }},
        {"SQLDescribeCol", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLUSMALLINT, P, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*, SQLULEN*, SQLSMALLINT*,
                      SQLSMALLINT*)(h, 1, b.text, 100, &b.s, &b.s, &b.ul, &b.s, &b.s);
         }},
        {"SQLDriverConnect", true, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLHWND, P, SQLSMALLINT, P, SQLSMALLINT, SQLSMALLINT*, SQLUSMALLINT)(
                 h, nullptr, b.text2, 0, b.text, 100, &b.s, SQL_DRIVER_NOPROMPT);
         }},
        {"SQLExecDirect", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) { return F(H, P, SQLINTEGER)(h, b.text2, 0); }},
        {"SQLForeignKeys", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT, P,
                      SQLSMALLINT)(h, nullptr, 0, nullptr, 0, b.text2, 0, nullptr, 0, nullptr, 0, nullptr, 0);
         }},
        {"SQLGetConnectAttr", true, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*)(h, SQL_ATTR_AUTOCOMMIT, &b.ul, 0, &b.i);
         }},
        {"SQLGetConnectOption", true, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs& b) { return F(H, SQLUSMALLINT, P)(h, SQL_AUTOCOMMIT, &b.ul); }},
        {"SQLGetCursorName", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) { return F(H, P, SQLSMALLINT, SQLSMALLINT*)(h, b.text, 100, &b.s); }},
        {"SQLGetDescField", true, SQL_HANDLE_DESC,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLSMALLINT, SQLSMALLINT, P, SQLINTEGER, SQLINTEGER*)(h, 0, SQL_DESC_COUNT, &b.s, 0, &b.i);
         }},
        {"SQLGetDescRec", true, SQL_HANDLE_DESC,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLSMALLINT, P, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*, SQLSMALLINT*, SQLLEN*, SQLSMALLINT*,
                      SQLSMALLINT*, SQLSMALLINT*)(h, 1, b.text, 100, &b.s, &b.s, &b.s, &b.len, &b.s, &b.s, &b.s);
         }},
        {"SQLGetDiagField", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(SQLSMALLINT, H, SQLSMALLINT, SQLSMALLINT, P, SQLSMALLINT, SQLSMALLINT*)(
                 SQL_HANDLE_STMT, h, 0, SQL_DIAG_NUMBER, &b.i, 0, &b.s);
         }},
        {"SQLGetDiagRec", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(SQLSMALLINT, H, SQLSMALLINT, P, SQLINTEGER*, P, SQLSMALLINT, SQLSMALLINT*)(
                 SQL_HANDLE_STMT, h, 1, b.text2, &b.i, b.text, 100, &b.s);
         }},
        {"SQLError", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, H, H, P, SQLINTEGER*, P, SQLSMALLINT, SQLSMALLINT*)(SQL_NULL_HENV, SQL_NULL_HDBC, h, b.text2,
                                                                              &b.i, b.text, 100, &b.s);
         }},
        {"SQLGetInfo", true, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLUSMALLINT, P, SQLSMALLINT, SQLSMALLINT*)(h, SQL_DRIVER_ODBC_VER, b.text, 100, &b.s);
         }},
        {"SQLGetStmtAttr", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*)(h, SQL_ATTR_ROW_ARRAY_SIZE, &b.ul, 0, &b.i);
         }},
        {"SQLGetTypeInfo", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) { return F(H, SQLSMALLINT)(h, SQL_ALL_TYPES); }},
        {"SQLNativeSql", true, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs& b) {
             return F(H, P, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*)(h, b.text2, 0, b.text, 100, &b.i);
         }},
        {"SQLPrepare", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) { return F(H, P, SQLINTEGER)(h, b.text2, 0); }},
        {"SQLPrimaryKeys", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT)(h, nullptr, 0, nullptr, 0, b.text2, 0);
         }},
        {"SQLProcedureColumns", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) {
             return F(H, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT)(h, nullptr, 0, nullptr, 0,
                                                                                       nullptr, 0, nullptr, 0);
         }},
        {"SQLProcedures", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) {
             return F(H, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT)(h, nullptr, 0, nullptr, 0, nullptr, 0);
         }},
        {"SQLSetConnectAttr", true, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs&) {
             return F(H, SQLINTEGER, P, SQLINTEGER)(h, SQL_ATTR_AUTOCOMMIT, P(SQL_AUTOCOMMIT_ON), 0);
         }},
        {"SQLSetConnectOption", true, SQL_HANDLE_DBC,
         [](void* fn, H h, Bufs&) { return F(H, SQLUSMALLINT, SQLULEN)(h, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON); }},
        {"SQLSetCursorName", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) { return F(H, P, SQLSMALLINT)(h, b.text2, 0); }},
        {"SQLSetDescField", true, SQL_HANDLE_DESC,
         [](void* fn, H h, Bufs&) {
             return F(H, SQLSMALLINT, SQLSMALLINT, P, SQLINTEGER)(h, 0, SQL_DESC_ARRAY_SIZE, P(1), 0);
         }},
        {"SQLSetStmtAttr", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) { return F(H, SQLINTEGER, P, SQLINTEGER)(h, SQL_ATTR_ROW_ARRAY_SIZE, P(1), 0); }},
        {"SQLSpecialColumns", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, SQLUSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT, SQLUSMALLINT, SQLUSMALLINT)(
                 h, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, b.text2, 0, SQL_SCOPE_SESSION, SQL_NULLABLE);
         }},
        {"SQLStatistics", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs& b) {
             return F(H, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT, SQLUSMALLINT, SQLUSMALLINT)(
                 h, nullptr, 0, nullptr, 0, b.text2, 0, SQL_INDEX_ALL, SQL_QUICK);
         }},
        {"SQLTablePrivileges", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) {
             return F(H, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT)(h, nullptr, 0, nullptr, 0, nullptr, 0);
         }},
        {"SQLTables", true, SQL_HANDLE_STMT,
         [](void* fn, H h, Bufs&) {
             return F(H, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT)(h, nullptr, 0, nullptr, 0,
                                                                                       nullptr, 0, nullptr, 0);
         }},
    };
    return calls;
}

using AllocHandleFn = SQLRETURN(SQLSMALLINT, H, H*);
using FreeHandleFn = SQLRETURN(SQLSMALLINT, H);
using SetEnvAttrFn = SQLRETURN(H, SQLINTEGER, P, SQLINTEGER);
using DriverConnectFn = SQLRETURN(H, SQLHWND, P, SQLSMALLINT, P, SQLSMALLINT, SQLSMALLINT*, SQLUSMALLINT);
using DisconnectFn = SQLRETURN(H);
using GetDiagRecFn = SQLRETURN(SQLSMALLINT, H, SQLSMALLINT, P, SQLINTEGER*, P, SQLSMALLINT, SQLSMALLINT*);
using GetStmtAttrFn = SQLRETURN(H, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*);

class DirectBadInput : public ::testing::TestWithParam<DriverBuild> {
protected:
    Lib lib;
    H env = SQL_NULL_HANDLE, dbc = SQL_NULL_HANDLE, stmt = SQL_NULL_HANDLE, desc = SQL_NULL_HANDLE;
    bool connected = false;
    AllocHandleFn* alloc = nullptr;
    FreeHandleFn* freeH = nullptr;

    void SetUp() override {
        lib.wide = GetParam().wide;
        lib.so = dlopen(LibraryPath(GetParam()).c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, lib.so) << dlerror();
        alloc = reinterpret_cast<AllocHandleFn*>(lib.Sym("SQLAllocHandle", false));
        freeH = reinterpret_cast<FreeHandleFn*>(lib.Sym("SQLFreeHandle", false));
        ASSERT_TRUE(alloc && freeH);
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        auto* setEnv = reinterpret_cast<SetEnvAttrFn*>(lib.Sym("SQLSetEnvAttr", false));
        ASSERT_EQ(SQL_SUCCESS, setEnv(env, SQL_ATTR_ODBC_VERSION, P(SQL_OV_ODBC3), 0));
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    }
    void TearDown() override {
        if (stmt) freeH(SQL_HANDLE_STMT, stmt);
        if (connected) reinterpret_cast<DisconnectFn*>(lib.Sym("SQLDisconnect", false))(dbc);
        if (dbc) freeH(SQL_HANDLE_DBC, dbc);
        if (env) freeH(SQL_HANDLE_ENV, env);
        if (lib.so) dlclose(lib.so);
    }
    // A text in the form the build's string functions take, kept alive by the caller.
    std::vector<char> Text(const std::string& s) const {
        std::vector<char> out;
        for (char c : s) {
            out.push_back(c);
            if (lib.wide) out.push_back(0);
        }
        out.resize(out.size() + 4, 0);
        return out;
    }
    void Connect() {
        connecttest::EnsureDatabases();
        std::string dsn = GetParam().wide ? "cw_wide" : "cw_narrow";
        std::vector<char> in = Text("DSN=" + dsn + ";UID=tvuser;PWD=secret");
        auto* dc = reinterpret_cast<DriverConnectFn*>(lib.Sym("SQLDriverConnect", true));
        SQLRETURN rc = dc(dbc, nullptr, in.data(), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << State(SQL_HANDLE_DBC, dbc);
        connected = true;
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stmt));
        auto* getAttr = reinterpret_cast<GetStmtAttrFn*>(lib.Sym("SQLGetStmtAttr", true));
        ASSERT_EQ(SQL_SUCCESS, getAttr(stmt, SQL_ATTR_APP_ROW_DESC, &desc, 0, nullptr));
    }
    // The first record's SQLSTATE, read from the driver itself.
    std::string State(SQLSMALLINT type, H h) const {
        auto* rec = reinterpret_cast<GetDiagRecFn*>(lib.Sym("SQLGetDiagRec", true));
        char state[16] = {}, msg[600];
        SQLINTEGER native;
        SQLSMALLINT len;
        if (!SQL_SUCCEEDED(rec(type, h, 1, state, &native, msg, 300, &len))) return "(none)";
        std::string out;
        for (int i = 0; i < 5; ++i) out.push_back(state[lib.wide ? 2 * i : i]);
        return out;
    }
    H HandleOf(SQLSMALLINT kind) const {
        switch (kind) {
            case SQL_HANDLE_ENV:
                return env;
            case SQL_HANDLE_DBC:
                return dbc;
            case SQL_HANDLE_STMT:
                return stmt;
            default:
                return desc;
        }
    }
};

// Every handle-taking export refuses what is not a live handle of its kind, touching nothing.
TEST_P(DirectBadInput, EveryExportRefusesHandlesThatAreNotLiveOnesOfItsKind) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    // A statement freed again, and a descriptor of it.
    H stale = SQL_NULL_HANDLE, staleDesc = SQL_NULL_HANDLE;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &stale));
    auto* getAttr = reinterpret_cast<GetStmtAttrFn*>(lib.Sym("SQLGetStmtAttr", true));
    ASSERT_EQ(SQL_SUCCESS, getAttr(stale, SQL_ATTR_IMP_PARAM_DESC, &staleDesc, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, freeH(SQL_HANDLE_STMT, stale));
    const uintptr_t hi = uintptr_t(1) << 32;
    int checked = 0;
    for (const HandleCall& c : HandleCalls()) {
        SCOPED_TRACE(c.name);
        void* fn = lib.Sym(c.name, c.stringFn);
        ASSERT_NE(nullptr, fn);
        H live = HandleOf(c.kind);
        std::vector<std::pair<const char*, H>> bad = {
            {"null", SQL_NULL_HANDLE},
            {"forged", H(uintptr_t(0x12345678))},
            {"all ones", H(~uintptr_t(0))},
            {"live with a bit above 32", H(reinterpret_cast<uintptr_t>(live) | hi)},
            {"live with the top bit", H(reinterpret_cast<uintptr_t>(live) | (uintptr_t(1) << 63))},
            {"slot beyond the table", H(reinterpret_cast<uintptr_t>(live) + 0x7FFF)},
            {"stale", c.kind == SQL_HANDLE_DESC   ? staleDesc
                      : c.kind == SQL_HANDLE_STMT ? stale
                                                  : H(uintptr_t(0x3FFFF))},
            {"wrong kind", c.kind == SQL_HANDLE_ENV ? stmt : env},
        };
        if (c.kind == SQL_HANDLE_STMT || c.kind == SQL_HANDLE_DESC) bad.push_back({"connection", dbc});
        if (c.kind == SQL_HANDLE_DBC) bad.push_back({"statement", stmt});
        for (auto& [what, h] : bad) {
            Bufs b;
            memset(&b, 0x5A, sizeof b);
            Bufs before;
            strcpy(b.text2, "");  // an empty text in either width
            memcpy(&before, &b, sizeof b);
            SQLRETURN rc = c.call(fn, h, b);
            EXPECT_EQ(SQL_INVALID_HANDLE, rc) << what;
            EXPECT_EQ(0, memcmp(&b, &before, sizeof b)) << what << ": an output was written";
            ++checked;
        }
    }
    EXPECT_GE(checked, int(HandleCalls().size()) * 8);
    // The live handles still work.
    SQLSMALLINT cols = -1;
    auto* exec = reinterpret_cast<SQLRETURN (*)(H, P, SQLINTEGER)>(lib.Sym("SQLExecDirect", true));
    std::vector<char> q = Text("select 1");
    EXPECT_EQ(SQL_SUCCESS, exec(stmt, q.data(), SQL_NTS)) << State(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(SQL_SUCCESS,
              reinterpret_cast<SQLRETURN (*)(H, SQLSMALLINT*)>(lib.Sym("SQLNumResultCols", false))(stmt, &cols));
    EXPECT_EQ(1, cols);
}

// Arguments unixODBC screens out before the driver sees them: the driver's own answer, never a
// success, never a crash.
struct ArgCase {
    const char* name;
    bool needsStmt;
    std::function<SQLRETURN(const Lib&, H env, H dbc, H stmt, Bufs&)> call;
    SQLRETURN rc;
    std::set<std::string> states;  // empty: not read
    SQLSMALLINT diagOn;
};

#define G(name, str, ...) reinterpret_cast<SQLRETURN (*)(__VA_ARGS__)>(l.Sym(name, str))

TEST_P(DirectBadInput, ArgumentsTheDriverManagerWouldScreen) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    const std::set<std::string> kNull = {"HY009"};
    const std::set<std::string> kLen = {"HY090"};
    const std::vector<ArgCase> cases = {
        {"alloc handle with no output", false,
         [](const Lib& l, H, H dbc, H, Bufs&) { return G("SQLAllocHandle", false, SQLSMALLINT, H, H*)(SQL_HANDLE_STMT, dbc, nullptr); },
         SQL_ERROR, {}, SQL_HANDLE_DBC},
        {"alloc handle of type 99", false,
         [](const Lib& l, H, H dbc, H, Bufs& b) { return G("SQLAllocHandle", false, SQLSMALLINT, H, H*)(99, dbc, &b.out); },
         SQL_INVALID_HANDLE, {}, SQL_HANDLE_DBC},
        {"alloc connect with no output", false,
         [](const Lib& l, H env, H, H, Bufs&) { return G("SQLAllocConnect", false, H, H*)(env, nullptr); }, SQL_ERROR,
         {}, SQL_HANDLE_ENV},
        {"alloc stmt with no output", false,
         [](const Lib& l, H, H dbc, H, Bufs&) { return G("SQLAllocStmt", false, H, H*)(dbc, nullptr); }, SQL_ERROR, {},
         SQL_HANDLE_DBC},
        {"free handle of type 99", false,
         [](const Lib& l, H, H dbc, H, Bufs&) { return G("SQLFreeHandle", false, SQLSMALLINT, H)(99, dbc); },
         SQL_INVALID_HANDLE, {}, SQL_HANDLE_DBC},
        {"freestmt option 99", true,
         [](const Lib& l, H, H, H s, Bufs&) { return G("SQLFreeStmt", false, H, SQLUSMALLINT)(s, 99); }, SQL_ERROR,
         {"HY092"}, SQL_HANDLE_STMT},
        {"exec direct null text", true,
         [](const Lib& l, H, H, H s, Bufs&) { return G("SQLExecDirect", true, H, P, SQLINTEGER)(s, nullptr, SQL_NTS); },
         SQL_ERROR, {"HY009", "HY090"}, SQL_HANDLE_STMT},
        {"exec direct length -5", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             strcpy(b.text, "s");
             return G("SQLExecDirect", true, H, P, SQLINTEGER)(s, b.text, -5);
         },
         SQL_ERROR, kLen, SQL_HANDLE_STMT},
        {"prepare null text", true,
         [](const Lib& l, H, H, H s, Bufs&) { return G("SQLPrepare", true, H, P, SQLINTEGER)(s, nullptr, 4); },
         SQL_ERROR, {"HY009", "HY090"}, SQL_HANDLE_STMT},
        {"execute unprepared", true, [](const Lib& l, H, H, H s, Bufs&) { return G("SQLExecute", false, H)(s); },
         SQL_ERROR, {"HY010"}, SQL_HANDLE_STMT},
        {"fetch unexecuted", true, [](const Lib& l, H, H, H s, Bufs&) { return G("SQLFetch", false, H)(s); },
         SQL_ERROR, {"HY010", "24000", "07005"}, SQL_HANDLE_STMT},
        {"fetch scroll orientation 99", true,
         [](const Lib& l, H, H, H s, Bufs&) { return G("SQLFetchScroll", false, H, SQLSMALLINT, SQLLEN)(s, 99, 0); },
         SQL_ERROR, {}, SQL_HANDLE_STMT},
        {"getdata unexecuted", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             return G("SQLGetData", false, H, SQLUSMALLINT, SQLSMALLINT, P, SQLLEN, SQLLEN*)(s, 1, SQL_C_CHAR, b.text,
                                                                                            10, &b.len);
         },
         SQL_ERROR, {}, SQL_HANDLE_STMT},
        {"putdata unprepared", true,
         [](const Lib& l, H, H, H s, Bufs& b) { return G("SQLPutData", false, H, P, SQLLEN)(s, b.text, 1); }, SQL_ERROR,
         {"HY010"}, SQL_HANDLE_STMT},
        {"paramdata unprepared", true,
         [](const Lib& l, H, H, H s, Bufs& b) { return G("SQLParamData", false, H, P*)(s, &b.out); }, SQL_ERROR,
         {"HY010"}, SQL_HANDLE_STMT},
        {"bindcol length -1", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             return G("SQLBindCol", false, H, SQLUSMALLINT, SQLSMALLINT, P, SQLLEN, SQLLEN*)(s, 1, SQL_C_CHAR, b.text,
                                                                                            -1, &b.len);
         },
         SQL_ERROR, kLen, SQL_HANDLE_STMT},
        {"bindparameter direction 99", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             return G("SQLBindParameter", false, H, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN,
                      SQLSMALLINT, P, SQLLEN, SQLLEN*)(s, 1, 99, SQL_C_LONG, SQL_INTEGER, 0, 0, &b.i, 0, &b.len);
         },
         SQL_ERROR, {"HY105", "HY009"}, SQL_HANDLE_STMT},
        {"bindparameter number 0", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             return G("SQLBindParameter", false, H, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN,
                      SQLSMALLINT, P, SQLLEN, SQLLEN*)(s, 0, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &b.i, 0,
                                                        &b.len);
         },
         SQL_ERROR, {}, SQL_HANDLE_STMT},
        {"setpos operation 99", true,
         [](const Lib& l, H, H, H s, Bufs&) {
             return G("SQLSetPos", false, H, SQLSETPOSIROW, SQLUSMALLINT, SQLUSMALLINT)(s, 1, 99, SQL_LOCK_NO_CHANGE);
         },
         SQL_ERROR, {}, SQL_HANDLE_STMT},
        {"endtran completion 99", false,
         [](const Lib& l, H, H dbc, H, Bufs&) {
             return G("SQLEndTran", false, SQLSMALLINT, H, SQLSMALLINT)(SQL_HANDLE_DBC, dbc, 99);
         },
         SQL_ERROR, {"HY012"}, SQL_HANDLE_DBC},
        // The driver's deliberate answers where unixODBC refuses first: a transaction end of another
        // handle kind does nothing, a null answer pointer of SQLGetFunctions is left alone, an id past
        // the function bitmap is not supported, record numbers below 1 read record 1, unknown
        // diagnostic fields and environment attributes are ignored, a null cursor name is empty.
        {"endtran on a statement handle", true,
         [](const Lib& l, H, H, H s, Bufs&) {
             return G("SQLEndTran", false, SQLSMALLINT, H, SQLSMALLINT)(SQL_HANDLE_STMT, s, SQL_COMMIT);
         },
         SQL_SUCCESS, {}, SQL_HANDLE_STMT},
        {"getfunctions null output", false,
         [](const Lib& l, H, H dbc, H, Bufs&) {
             return G("SQLGetFunctions", false, H, SQLUSMALLINT, SQLUSMALLINT*)(dbc, SQL_API_SQLFETCH, nullptr);
         },
         SQL_SUCCESS, {}, SQL_HANDLE_DBC},
        {"getfunctions id 9999", false,
         [](const Lib& l, H, H dbc, H, Bufs& b) {
             return G("SQLGetFunctions", false, H, SQLUSMALLINT, SQLUSMALLINT*)(dbc, 9999, b.us) == SQL_SUCCESS && b.us[0] == SQL_FALSE ? SQL_SUCCESS : SQL_ERROR;
         },
         SQL_SUCCESS, {}, SQL_HANDLE_DBC},
        {"getinfo 9999", false,
         [](const Lib& l, H, H dbc, H, Bufs& b) {
             return G("SQLGetInfo", true, H, SQLUSMALLINT, P, SQLSMALLINT, SQLSMALLINT*)(dbc, 9999, b.text, 100, &b.s);
         },
         SQL_ERROR, {"HY096"}, SQL_HANDLE_DBC},
        {"getinfo text length -1", false,
         [](const Lib& l, H, H dbc, H, Bufs& b) {
             return G("SQLGetInfo", true, H, SQLUSMALLINT, P, SQLSMALLINT, SQLSMALLINT*)(dbc, SQL_DBMS_NAME, b.text,
                                                                                       -1, &b.s);
         },
         SQL_ERROR, kLen, SQL_HANDLE_DBC},
        {"getdiagrec length -1", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             G("SQLFetch", false, H)(s);
             return G("SQLGetDiagRec", true, SQLSMALLINT, H, SQLSMALLINT, P, SQLINTEGER*, P, SQLSMALLINT,
                      SQLSMALLINT*)(SQL_HANDLE_STMT, s, 1, b.text2, &b.i, b.text, -1, &b.s);
         },
         SQL_ERROR, {}, SQL_HANDLE_STMT},
        {"getdiagrec record 0", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             G("SQLFetch", false, H)(s);
             return G("SQLGetDiagRec", true, SQLSMALLINT, H, SQLSMALLINT, P, SQLINTEGER*, P, SQLSMALLINT,
                      SQLSMALLINT*)(SQL_HANDLE_STMT, s, 0, b.text2, &b.i, b.text, 100, &b.s);
         },
         SQL_SUCCESS, {}, SQL_HANDLE_STMT},
        {"getdiagrec record -1", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             G("SQLFetch", false, H)(s);
             return G("SQLGetDiagRec", true, SQLSMALLINT, H, SQLSMALLINT, P, SQLINTEGER*, P, SQLSMALLINT,
                      SQLSMALLINT*)(SQL_HANDLE_STMT, s, -1, b.text2, &b.i, b.text, 100, &b.s);
         },
         SQL_SUCCESS, {}, SQL_HANDLE_STMT},
        {"getdiagrec of type 99", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             return G("SQLGetDiagRec", true, SQLSMALLINT, H, SQLSMALLINT, P, SQLINTEGER*, P, SQLSMALLINT,
                      SQLSMALLINT*)(99, s, 1, b.text2, &b.i, b.text, 100, &b.s);
         },
         SQL_INVALID_HANDLE, {}, SQL_HANDLE_STMT},
        {"getdiagfield id 9999", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             G("SQLFetch", false, H)(s);
             return G("SQLGetDiagField", true, SQLSMALLINT, H, SQLSMALLINT, SQLSMALLINT, P, SQLSMALLINT,
                      SQLSMALLINT*)(SQL_HANDLE_STMT, s, 1, 9999, b.text, 100, &b.s);
         },
         SQL_SUCCESS, {}, SQL_HANDLE_STMT},
        {"getdiagfield text length -1", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             G("SQLFetch", false, H)(s);
             return G("SQLGetDiagField", true, SQLSMALLINT, H, SQLSMALLINT, SQLSMALLINT, P, SQLSMALLINT,
                      SQLSMALLINT*)(SQL_HANDLE_STMT, s, 1, SQL_DIAG_MESSAGE_TEXT, b.text, -1, &b.s);
         },
         SQL_ERROR, {}, SQL_HANDLE_STMT},
        {"getdiagfield record 300", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             G("SQLFetch", false, H)(s);
             return G("SQLGetDiagField", true, SQLSMALLINT, H, SQLSMALLINT, SQLSMALLINT, P, SQLSMALLINT,
                      SQLSMALLINT*)(SQL_HANDLE_STMT, s, 300, SQL_DIAG_SQLSTATE, b.text, 100, &b.s);
         },
         SQL_NO_DATA, {}, SQL_HANDLE_STMT},
        {"error with no handles", false,
         [](const Lib& l, H, H, H, Bufs& b) {
             return G("SQLError", true, H, H, H, P, SQLINTEGER*, P, SQLSMALLINT, SQLSMALLINT*)(
                 nullptr, nullptr, nullptr, b.text2, &b.i, b.text, 100, &b.s);
         },
         SQL_INVALID_HANDLE, {}, SQL_HANDLE_DBC},
        {"set env attr 9999", false,
         [](const Lib& l, H env, H, H, Bufs&) {
             return G("SQLSetEnvAttr", false, H, SQLINTEGER, P, SQLINTEGER)(env, 9999, P(1), 0);
         },
         SQL_ERROR, {"HY092"}, SQL_HANDLE_ENV},
        {"set odbc version 7", false,
         [](const Lib& l, H env, H, H, Bufs& b) {
             // Refused, and the version stays.
             return G("SQLSetEnvAttr", false, H, SQLINTEGER, P, SQLINTEGER)(env, SQL_ATTR_ODBC_VERSION, P(7), 0) == SQL_ERROR &&
                            G("SQLGetEnvAttr", false, H, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*)(
                                env, SQL_ATTR_ODBC_VERSION, &b.i, 0, nullptr) == SQL_SUCCESS &&
                            b.i == SQL_OV_ODBC3
                        ? SQL_ERROR
                        : SQL_SUCCESS;
         },
         SQL_ERROR, {}, SQL_HANDLE_ENV},
        {"get env attr null value", false,
         [](const Lib& l, H env, H, H, Bufs&) {
             return G("SQLGetEnvAttr", false, H, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*)(env, SQL_ATTR_ODBC_VERSION,
                                                                                       nullptr, 0, nullptr);
         },
         SQL_SUCCESS, {}, SQL_HANDLE_ENV},
        {"native sql null text", false,
         [](const Lib& l, H, H dbc, H, Bufs& b) {
             return G("SQLNativeSql", true, H, P, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*)(dbc, nullptr, SQL_NTS, b.text,
                                                                                        100, &b.i);
         },
         SQL_ERROR, kNull, SQL_HANDLE_DBC},
        {"set cursor name null", true,
         [](const Lib& l, H, H, H s, Bufs&) {
             return G("SQLSetCursorName", true, H, P, SQLSMALLINT)(s, nullptr, SQL_NTS);
         },
         SQL_SUCCESS, {}, SQL_HANDLE_STMT},
        {"set cursor name length -7", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             memset(b.text, 'c', 8);
             return G("SQLSetCursorName", true, H, P, SQLSMALLINT)(s, b.text, -7);
         },
         SQL_ERROR, kLen, SQL_HANDLE_STMT},
        {"get cursor name length -1", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             return G("SQLGetCursorName", true, H, P, SQLSMALLINT, SQLSMALLINT*)(s, b.text, -1, &b.s);
         },
         SQL_ERROR, kLen, SQL_HANDLE_STMT},
        {"connect when connected", false,
         [](const Lib& l, H, H dbc, H, Bufs& b) {
             memset(b.text2, 0, 16);
             b.text2[0] = 'x';
             return G("SQLConnect", true, H, P, SQLSMALLINT, P, SQLSMALLINT, P, SQLSMALLINT)(dbc, b.text2, SQL_NTS,
                                                                                           nullptr, 0, nullptr, 0);
         },
         SQL_ERROR, {"08002"}, SQL_HANDLE_DBC},
        {"driver connect completion 99", false,
         [](const Lib& l, H, H dbc, H, Bufs& b) {
             memset(b.text2, 0, 16);
             return G("SQLDriverConnect", true, H, SQLHWND, P, SQLSMALLINT, P, SQLSMALLINT, SQLSMALLINT*,
                      SQLUSMALLINT)(dbc, nullptr, b.text2, SQL_NTS, b.text, 100, &b.s, 99);
         },
         SQL_ERROR, {}, SQL_HANDLE_DBC},
        {"copy desc onto an implementation row descriptor", true,
         [](const Lib& l, H, H, H s, Bufs& b) {
             H ard = nullptr, ird = nullptr;
             G("SQLGetStmtAttr", true, H, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*)(s, SQL_ATTR_APP_ROW_DESC, &ard, 0,
                                                                                 nullptr);
             G("SQLGetStmtAttr", true, H, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*)(s, SQL_ATTR_IMP_ROW_DESC, &ird, 0,
                                                                                 nullptr);
             (void)b;
             return G("SQLCopyDesc", false, H, H)(ard, ird);
         },
         SQL_ERROR, {"HY016"}, SQL_HANDLE_DESC},
    };
    auto* alloc2 = alloc;
    for (const ArgCase& c : cases) {
        SCOPED_TRACE(c.name);
        H s = SQL_NULL_HANDLE;
        ASSERT_EQ(SQL_SUCCESS, alloc2(SQL_HANDLE_STMT, dbc, &s));
        Bufs b;
        memset(&b, 0, sizeof b);
        SQLRETURN rc = c.call(lib, env, dbc, s, b);
        H on = c.diagOn == SQL_HANDLE_ENV ? env : c.diagOn == SQL_HANDLE_DBC ? dbc : s;
        if (c.diagOn == SQL_HANDLE_DESC) {
            on = nullptr;
            auto* ga = reinterpret_cast<GetStmtAttrFn*>(lib.Sym("SQLGetStmtAttr", true));
            ga(s, SQL_ATTR_IMP_ROW_DESC, &on, 0, nullptr);
        }
        EXPECT_EQ(c.rc, rc) << State(c.diagOn, on);
        if (!c.states.empty()) {
            EXPECT_TRUE(c.states.count(State(c.diagOn, on))) << State(c.diagOn, on);
        }
        EXPECT_EQ(SQL_SUCCESS, freeH(SQL_HANDLE_STMT, s));
    }
}

// Freeing a parent that still has children frees them too (the driver's deliberate answer where
// ODBC has HY010): afterwards every child handle is refused, never used after its release.
TEST_P(DirectBadInput, FreeingAParentTakesItsChildrenAndTheirHandlesDie) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    auto* fetch = reinterpret_cast<SQLRETURN (*)(H)>(lib.Sym("SQLFetch", false));
    auto* disconnect = reinterpret_cast<DisconnectFn*>(lib.Sym("SQLDisconnect", false));
    auto* freeConnect = reinterpret_cast<SQLRETURN (*)(H)>(lib.Sym("SQLFreeConnect", false));
    EXPECT_EQ(SQL_SUCCESS, freeConnect(dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, fetch(stmt));
    EXPECT_EQ(SQL_INVALID_HANDLE, disconnect(dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, freeH(SQL_HANDLE_DESC, desc));
    stmt = dbc = desc = SQL_NULL_HANDLE;
    connected = false;
    ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_EQ(SQL_SUCCESS, freeH(SQL_HANDLE_ENV, env));
    EXPECT_EQ(SQL_INVALID_HANDLE, fetch(stmt));
    EXPECT_EQ(SQL_INVALID_HANDLE, disconnect(dbc));
    EXPECT_EQ(SQL_INVALID_HANDLE, freeH(SQL_HANDLE_ENV, env));
    stmt = dbc = desc = env = SQL_NULL_HANDLE;
    connected = false;
}

// Several threads on one statement, and a statement freed while other threads use it: each call
// gets an answer of its own, never a crash or a use after release.
TEST_P(DirectBadInput, ThreadsRacingOnOneStatementAndItsRelease) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    auto* exec = reinterpret_cast<SQLRETURN (*)(H, P, SQLINTEGER)>(lib.Sym("SQLExecDirect", true));
    auto* fetch = reinterpret_cast<SQLRETURN (*)(H)>(lib.Sym("SQLFetch", false));
    auto* freeStmt = reinterpret_cast<SQLRETURN (*)(H, SQLUSMALLINT)>(lib.Sym("SQLFreeStmt", false));
    auto* getData =
        reinterpret_cast<SQLRETURN (*)(H, SQLUSMALLINT, SQLSMALLINT, P, SQLLEN, SQLLEN*)>(lib.Sym("SQLGetData", false));
    const std::vector<char> q = Text("select 1, 'two'");
    // A call on a connection that another thread is using is turned away: 2 (SQL_STILL_EXECUTING)
    // for the statement already under way, else an error.
    auto answerOk = [](SQLRETURN rc) {
        return rc == SQL_STILL_EXECUTING || rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR ||
               rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE;
    };
    for (int round = 0; round < 20; ++round) {
        H victim = SQL_NULL_HANDLE;
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_STMT, dbc, &victim));
        std::atomic<int> bad{0};
        SQLRETURN freed = SQL_ERROR;
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t)
            threads.emplace_back([&, t] {
                H target = t == 0 ? victim : stmt;
                for (int i = 0; i < 15; ++i) {
                    char buf[32];
                    SQLLEN len;
                    SQLRETURN rcs[] = {exec(target, const_cast<char*>(q.data()), SQL_NTS), fetch(target),
                                       getData(target, 2, SQL_C_CHAR, buf, sizeof buf, &len),
                                       freeStmt(target, SQL_CLOSE)};
                    for (SQLRETURN rc : rcs)
                        if (!answerOk(rc)) ++bad;
                }
            });
        threads.emplace_back([&] {
            freed = freeH(SQL_HANDLE_STMT, victim);
            if (!answerOk(freed)) ++bad;
        });
        for (auto& th : threads) th.join();
        EXPECT_EQ(0, bad.load()) << "round " << round;
        // Refused while busy, the statement is freed now that the others are done.
        if (freed != SQL_SUCCESS) {
            EXPECT_EQ(SQL_SUCCESS, freeH(SQL_HANDLE_STMT, victim));
        }
        EXPECT_EQ(SQL_INVALID_HANDLE, fetch(victim));
    }
    freeStmt(stmt, SQL_CLOSE);
    EXPECT_EQ(SQL_SUCCESS, exec(stmt, const_cast<char*>(q.data()), SQL_NTS)) << State(SQL_HANDLE_STMT, stmt);
}

// Text outputs with little room: each function writes within the length it is given (for the wide
// build an odd byte count too) and terminates what it writes, never past the end.
struct ShortCall {
    const char* name;
    bool stringFn;
    bool counted;  // the wide form counts the room in characters, not bytes
    int unit;      // bytes of a character of the output: 0 for the build's own width
    std::function<SQLRETURN(void* fn, H dbc, H stmt, H ird, char* out, SQLSMALLINT room)> call;
};

// The input of the SQLNativeSql case, in the width of the build under test.
P gNativeIn = nullptr;

#define FS(...) reinterpret_cast<SQLRETURN (*)(__VA_ARGS__)>(fn)

TEST_P(DirectBadInput, TextOutputsStayWithinTheRoomGiven) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    const std::vector<ShortCall> calls = {
        {"SQLGetInfo", true, false, 0,
         [](void* fn, H dbc, H, H, char* out, SQLSMALLINT room) {
             SQLSMALLINT len;
             return FS(H, SQLUSMALLINT, P, SQLSMALLINT, SQLSMALLINT*)(dbc, SQL_DBMS_NAME, out, room, &len);
         }},
        {"SQLGetConnectAttr", true, false, 0,
         [](void* fn, H dbc, H, H, char* out, SQLSMALLINT room) {
             SQLINTEGER len;
             return FS(H, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*)(dbc, SQL_ATTR_CURRENT_CATALOG, out, room, &len);
         }},
        {"SQLNativeSql", true, true, 0,
         [](void* fn, H dbc, H, H, char* out, SQLSMALLINT room) {
             SQLINTEGER len;
             return FS(H, P, SQLINTEGER, P, SQLINTEGER, SQLINTEGER*)(dbc, gNativeIn, SQL_NTS, out, room, &len);
         }},
        {"SQLGetCursorName", true, true, 0,
         [](void* fn, H, H stmt, H, char* out, SQLSMALLINT room) {
             SQLSMALLINT len;
             return FS(H, P, SQLSMALLINT, SQLSMALLINT*)(stmt, out, room, &len);
         }},
        {"SQLDescribeCol", true, true, 0,
         [](void* fn, H, H stmt, H, char* out, SQLSMALLINT room) {
             SQLSMALLINT len, type, digits, nullable;
             SQLULEN size;
             return FS(H, SQLUSMALLINT, P, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*, SQLULEN*, SQLSMALLINT*,
                       SQLSMALLINT*)(stmt, 1, out, room, &len, &type, &size, &digits, &nullable);
         }},
        {"SQLColAttribute", true, false, 0,
         [](void* fn, H, H stmt, H, char* out, SQLSMALLINT room) {
             SQLSMALLINT len;
             return FS(H, SQLUSMALLINT, SQLUSMALLINT, P, SQLSMALLINT, SQLSMALLINT*, SQLLEN*)(stmt, 1, SQL_DESC_NAME,
                                                                                             out, room, &len, nullptr);
         }},
        {"SQLGetDescField", true, false, 0,
         [](void* fn, H, H, H ird, char* out, SQLSMALLINT room) {
             SQLINTEGER len;
             return FS(H, SQLSMALLINT, SQLSMALLINT, P, SQLINTEGER, SQLINTEGER*)(ird, 1, SQL_DESC_NAME, out, room, &len);
         }},
        {"SQLGetDescRec", true, true, 0,
         [](void* fn, H, H, H ird, char* out, SQLSMALLINT room) {
             SQLSMALLINT len, type, sub, prec, scale, nullable;
             SQLLEN length;
             return FS(H, SQLSMALLINT, P, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*, SQLSMALLINT*, SQLLEN*, SQLSMALLINT*,
                       SQLSMALLINT*,
                       SQLSMALLINT*)(ird, 1, out, room, &len, &type, &sub, &length, &prec, &scale, &nullable);
         }},
        {"SQLGetData", false, false, 1,
         [](void* fn, H, H stmt, H, char* out, SQLSMALLINT room) {
             SQLLEN len;
             return FS(H, SQLUSMALLINT, SQLSMALLINT, P, SQLLEN, SQLLEN*)(stmt, 2, SQL_C_CHAR, out, room, &len);
         }},
        {"SQLGetData", false, false, 2,
         [](void* fn, H, H stmt, H, char* out, SQLSMALLINT room) {
             SQLLEN len;
             return FS(H, SQLUSMALLINT, SQLSMALLINT, P, SQLLEN, SQLLEN*)(stmt, 2, SQL_C_WCHAR, out, room, &len);
         }},
        {"SQLGetDiagRec", true, true, 0,
         [](void* fn, H, H stmt, H, char* out, SQLSMALLINT room) {
             char state[16];
             SQLINTEGER native;
             SQLSMALLINT len;
             return FS(SQLSMALLINT, H, SQLSMALLINT, P, SQLINTEGER*, P, SQLSMALLINT, SQLSMALLINT*)(
                 SQL_HANDLE_STMT, stmt, 1, state, &native, out, room, &len);
         }},
        {"SQLGetDiagField", true, false, 0,
         [](void* fn, H, H stmt, H, char* out, SQLSMALLINT room) {
             SQLSMALLINT len;
             return FS(SQLSMALLINT, H, SQLSMALLINT, SQLSMALLINT, P, SQLSMALLINT, SQLSMALLINT*)(
                 SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_MESSAGE_TEXT, out, room, &len);
         }},
    };
    using ExecFn = SQLRETURN(H, P, SQLINTEGER);
    auto* exec = reinterpret_cast<ExecFn*>(lib.Sym("SQLExecDirect", true));
    auto* fetch = reinterpret_cast<SQLRETURN (*)(H)>(lib.Sym("SQLFetch", false));
    auto* close = reinterpret_cast<SQLRETURN (*)(H, SQLUSMALLINT)>(lib.Sym("SQLFreeStmt", false));
    auto* getAttr = reinterpret_cast<GetStmtAttrFn*>(lib.Sym("SQLGetStmtAttr", true));
    const std::vector<char> q = Text("select 7 as a_rather_long_column_name, 'a value of some length' as second_one");
    const std::vector<char> bad = Text("selec nothing frm");
    const int buildUnit = lib.wide ? 2 : 1;
    std::vector<char> nativeIn = Text("select {fn ucase('abc')} from t");
    gNativeIn = nativeIn.data();
    for (const ShortCall& c : calls) {
        SCOPED_TRACE(c.name);
        void* fn = lib.Sym(c.name, c.stringFn);
        ASSERT_NE(nullptr, fn);
        const int unit = c.unit ? c.unit : buildUnit;
        for (SQLSMALLINT room : {0, 1, 2, 3, 5, 7, 8, 24}) {
            SCOPED_TRACE(room);
            close(stmt, SQL_CLOSE);
            // Read first: every call clears the statement's diagnostics.
            H ird = SQL_NULL_HANDLE;
            ASSERT_EQ(SQL_SUCCESS, getAttr(stmt, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr));
            if (std::string(c.name).find("Diag") != std::string::npos) {
                ASSERT_EQ(SQL_ERROR, exec(stmt, const_cast<char*>(bad.data()), SQL_NTS));
            } else {
                ASSERT_EQ(SQL_SUCCESS, exec(stmt, const_cast<char*>(q.data()), SQL_NTS))
                    << State(SQL_HANDLE_STMT, stmt);
                ASSERT_EQ(SQL_SUCCESS, fetch(stmt));
            }
            alignas(8) char area[64];
            memset(area, 0x5A, sizeof area);
            char* out = area + 8;
            SQLRETURN rc = c.call(fn, dbc, stmt, ird, out, room);
            EXPECT_TRUE(SQL_SUCCEEDED(rc) || (rc == SQL_ERROR && !c.counted && room < unit))
                << rc << " " << State(SQL_HANDLE_STMT, stmt);
            for (int i = 0; i < 8; ++i) EXPECT_EQ(0x5A, area[i]) << "written before the buffer at " << i - 8;
            const int bytes = c.counted ? room * unit : room;
            for (int i = bytes; i < 56; ++i) EXPECT_EQ(0x5A, out[i]) << "written past the room at " << i;
            if (SQL_SUCCEEDED(rc) && bytes >= unit) {
                // Terminated within the room, on a whole character.
                int end = -1;
                for (int i = 0; i + unit <= bytes; i += unit)
                    if (out[i] == 0 && (unit == 1 || out[i + 1] == 0)) {
                        end = i;
                        break;
                    }
                EXPECT_GE(end, 0) << "no terminator within the room";
            }
        }
    }
}

// Malformed text: a lone surrogate for the wide build, bytes that are no UTF-8 for the narrow one.
TEST_P(DirectBadInput, MalformedTextIsRefusedOrKeptNeverCrashes) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    std::vector<char> sql;
    auto add = [&](const std::string& ascii) {
        for (char c : ascii) {
            sql.push_back(c);
            if (lib.wide) sql.push_back(0);
        }
    };
    add("select '");
    if (lib.wide) {
        sql.push_back(char(0x00));
        sql.push_back(char(0xD8));  // a high surrogate with no low one after it
    } else {
        sql.push_back(char(0xFF));
        sql.push_back(char(0xC3));  // a lead byte cut short
    }
    add("x' ");
    sql.resize(sql.size() + 4, 0);
    auto* exec = reinterpret_cast<SQLRETURN (*)(H, P, SQLINTEGER)>(lib.Sym("SQLExecDirect", true));
    SQLRETURN rc = exec(stmt, sql.data(), SQL_NTS);
    if (rc == SQL_ERROR) return;  // refusing the text is a proper answer
    ASSERT_EQ(SQL_SUCCESS, rc) << State(SQL_HANDLE_STMT, stmt);
    ASSERT_EQ(SQL_SUCCESS, reinterpret_cast<SQLRETURN (*)(H)>(lib.Sym("SQLFetch", false))(stmt));
    unsigned char out[64] = {};
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, reinterpret_cast<SQLRETURN (*)(H, SQLUSMALLINT, SQLSMALLINT, P, SQLLEN, SQLLEN*)>(
                               lib.Sym("SQLGetData", false))(stmt, 1, SQL_C_BINARY, out, sizeof out, &len));
    if (lib.wide) {
        // The unpaired surrogate stands as one replacement character; what follows it is intact.
        ASSERT_EQ(2, len);
        EXPECT_EQ('?', out[0]);
        EXPECT_EQ('x', out[1]);
    } else {
        // Narrow text travels as the bytes it is.
        ASSERT_EQ(3, len);
        EXPECT_EQ(0xFF, out[0]);
        EXPECT_EQ(0xC3, out[1]);
        EXPECT_EQ('x', out[2]);
    }
}

// The exports without handles: set-up names, the XA hooks, the Windows entry points.
TEST_P(DirectBadInput, ExportsWithoutHandlesTakeNullAndShortBuffers) {
    using SetupFn = int(char*, int);
    for (const char* name : {"GetSetupDatabase", "GetSetupRegistry"}) {
        SCOPED_TRACE(name);
        auto* fn = reinterpret_cast<SetupFn*>(lib.Sym(name, false));
        ASSERT_NE(nullptr, fn);
        EXPECT_EQ(1, fn(nullptr, 100));
        EXPECT_EQ(1, fn(nullptr, -1));
        char buf[8];
        for (int len : {0, -1, -100, INT32_MIN}) {
            memset(buf, 'x', sizeof buf);
            EXPECT_EQ(1, fn(buf, len)) << len;
            EXPECT_EQ('x', buf[0]) << len << ": nothing may be written into no room";
        }
        memset(buf, 'x', sizeof buf);
        EXPECT_EQ(1, fn(buf, 1));
        EXPECT_EQ(0, buf[0]);
        EXPECT_EQ('x', buf[1]);
        memset(buf, 'x', sizeof buf);
        EXPECT_EQ(1, fn(buf, 4));
        EXPECT_EQ(3u, strlen(buf)) << "cut to the room given";
        EXPECT_EQ('x', buf[4]);
    }
    EXPECT_EQ(SQL_ERROR, reinterpret_cast<SQLRETURN (*)(H*)>(lib.Sym("SQLGetXaEnv", false))(nullptr));
    EXPECT_EQ(SQL_ERROR, reinterpret_cast<SQLRETURN (*)(H*)>(lib.Sym("SQLGetXaConnect", false))(nullptr));
    // No thread here holds an XA association.
    H h = H(uintptr_t(0x77));
    EXPECT_EQ(SQL_ERROR, reinterpret_cast<SQLRETURN (*)(H*)>(lib.Sym("SQLGetXaEnv", false))(&h));
    EXPECT_EQ(SQL_NULL_HANDLE, h);
    h = H(uintptr_t(0x77));
    EXPECT_EQ(SQL_ERROR, reinterpret_cast<SQLRETURN (*)(H*)>(lib.Sym("SQLGetXaConnect", false))(&h));
    EXPECT_EQ(SQL_NULL_HANDLE, h);
    auto* getSwitch = reinterpret_cast<int32_t (*)(uint32_t, void**)>(lib.Sym("GetXaSwitch", false));
    ASSERT_NE(nullptr, getSwitch);
    int32_t hr = getSwitch(0xFFFFFFFFu, nullptr);
    EXPECT_TRUE(hr == 0 || hr == int32_t(0x80004005u)) << hr;
}

// A failed prepare leaves the statement allocated in the driver itself, as unixODBC's own state
// check would: whatever was prepared or executed before, SQLExecute and the describing calls
// refuse with HY010 and nothing runs; the next good prepare runs its own text.
TEST_P(DirectBadInput, AFailedPrepareLeavesNothingToRun) {
    ASSERT_NO_FATAL_FAILURE(Connect());
    auto* prepare = reinterpret_cast<SQLRETURN (*)(H, P, SQLINTEGER)>(lib.Sym("SQLPrepare", true));
    auto* execDirect = reinterpret_cast<SQLRETURN (*)(H, P, SQLINTEGER)>(lib.Sym("SQLExecDirect", true));
    auto* execute = reinterpret_cast<SQLRETURN (*)(H)>(lib.Sym("SQLExecute", false));
    auto* fetch = reinterpret_cast<SQLRETURN (*)(H)>(lib.Sym("SQLFetch", false));
    auto* closeCursor = reinterpret_cast<SQLRETURN (*)(H)>(lib.Sym("SQLCloseCursor", false));
    auto* numCols = reinterpret_cast<SQLRETURN (*)(H, SQLSMALLINT*)>(lib.Sym("SQLNumResultCols", false));
    auto* numParams = reinterpret_cast<SQLRETURN (*)(H, SQLSMALLINT*)>(lib.Sym("SQLNumParams", false));
    auto* describe =
        reinterpret_cast<SQLRETURN (*)(H, SQLUSMALLINT, P, SQLSMALLINT, SQLSMALLINT*, SQLSMALLINT*, SQLULEN*,
                                       SQLSMALLINT*, SQLSMALLINT*)>(lib.Sym("SQLDescribeCol", true));
    auto run = [&](auto* fn, const std::string& sql) {
        std::vector<char> text = Text(sql);
        return fn(stmt, text.data(), SQL_NTS);
    };
    const std::string t = lib.wide ? "prepfail_dw" : "prepfail_dn";
    run(execDirect, "drop table " + t);
    closeCursor(stmt);
    ASSERT_EQ(SQL_SUCCESS, run(execDirect, "create table " + t + " (a integer)")) << State(SQL_HANDLE_STMT, stmt);
    ASSERT_EQ(SQL_SUCCESS, run(execDirect, "insert into " + t + " values (7)")) << State(SQL_HANDLE_STMT, stmt);
    const std::string good = "select a from " + t;
    struct Case {
        const char* what;
        std::function<void()> before;
    };
    SQLINTEGER seven = 7;
    SQLLEN sevenInd = 0;
    const std::vector<Case> cases = {
        {"a prepared select", [&] { ASSERT_EQ(SQL_SUCCESS, run(prepare, good)) << State(SQL_HANDLE_STMT, stmt); }},
        {"a prepared select with a bound parameter",
         [&] {
             ASSERT_EQ(SQL_SUCCESS, run(prepare, good + " where a = ?")) << State(SQL_HANDLE_STMT, stmt);
             ASSERT_EQ(
                 SQL_SUCCESS,
                 reinterpret_cast<SQLRETURN (*)(H, SQLUSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLSMALLINT, SQLULEN,
                                                SQLSMALLINT, P, SQLLEN, SQLLEN*)>(lib.Sym("SQLBindParameter", false))(
                     stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &seven, 0, &sevenInd));
         }},
        {"a prepared select executed and closed",
         [&] {
             ASSERT_EQ(SQL_SUCCESS, run(prepare, good)) << State(SQL_HANDLE_STMT, stmt);
             ASSERT_EQ(SQL_SUCCESS, execute(stmt)) << State(SQL_HANDLE_STMT, stmt);
             ASSERT_EQ(SQL_SUCCESS, closeCursor(stmt));
         }},
        {"a direct select that returned rows",
         [&] {
             ASSERT_EQ(SQL_SUCCESS, run(execDirect, good)) << State(SQL_HANDLE_STMT, stmt);
             ASSERT_EQ(SQL_SUCCESS, fetch(stmt)) << State(SQL_HANDLE_STMT, stmt);
             ASSERT_EQ(SQL_SUCCESS, closeCursor(stmt));
         }},
    };
    const std::vector<std::pair<const char*, std::string>> failing = {
        {"prepare of an unknown column", "select nosuch from " + t},
        {"prepare that does not parse", "select a fromm " + t},
    };
    auto* setAttr = reinterpret_cast<SQLRETURN (*)(H, SQLINTEGER, P, SQLINTEGER)>(lib.Sym("SQLSetStmtAttr", true));
    // Through the cursor layer too: a scrollable cursor's prepare is analysed there.
    for (SQLULEN cursor : {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC}) {
        ASSERT_TRUE(SQL_SUCCEEDED(setAttr(stmt, SQL_ATTR_CURSOR_TYPE, P(cursor), 0)));
        for (const Case& c : cases) {
            for (const auto& [how, bad] : failing) {
                SCOPED_TRACE(std::string(c.what) + ", then a " + how + ", cursor type " + std::to_string(cursor));
                c.before();
                if (HasFatalFailure()) return;
                ASSERT_EQ(SQL_ERROR, run(prepare, bad));
                EXPECT_NE("HY010", State(SQL_HANDLE_STMT, stmt));
                SQLSMALLINT n = -1;
                EXPECT_EQ(SQL_ERROR, numCols(stmt, &n));
                EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, stmt));
                EXPECT_EQ(-1, n);
                EXPECT_EQ(SQL_ERROR, numParams(stmt, &n));
                EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, stmt));
                char name[64];
                SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
                SQLULEN size = 0;
                EXPECT_EQ(SQL_ERROR, describe(stmt, 1, name, 32, &nameLen, &type, &size, &digits, &nullable));
                EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, stmt));
                EXPECT_EQ(SQL_ERROR, execute(stmt)) << "the earlier statement ran";
                EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, stmt));
                EXPECT_NE(SQL_SUCCESS, fetch(stmt)) << "a row of the earlier statement";
            }
        }
    }
    // A direct execution that fails at its prepare leaves nothing to run either.
    ASSERT_EQ(SQL_SUCCESS, run(prepare, good)) << State(SQL_HANDLE_STMT, stmt);
    ASSERT_EQ(SQL_ERROR, run(execDirect, "select nosuch from " + t));
    EXPECT_EQ(SQL_ERROR, execute(stmt));
    EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, stmt));
    // A good prepare after the failed one runs its own text, and again after a close.
    ASSERT_EQ(SQL_SUCCESS, run(prepare, "select a + 1 from " + t)) << State(SQL_HANDLE_STMT, stmt);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(SQL_SUCCESS, execute(stmt)) << State(SQL_HANDLE_STMT, stmt);
        ASSERT_EQ(SQL_SUCCESS, fetch(stmt)) << State(SQL_HANDLE_STMT, stmt);
        SQLINTEGER v = 0;
        SQLLEN ind = 0;
        ASSERT_EQ(SQL_SUCCESS, reinterpret_cast<SQLRETURN (*)(H, SQLUSMALLINT, SQLSMALLINT, P, SQLLEN, SQLLEN*)>(
                                   lib.Sym("SQLGetData", false))(stmt, 1, SQL_C_LONG, &v, 0, &ind));
        EXPECT_EQ(8, v);
        ASSERT_EQ(SQL_SUCCESS, closeCursor(stmt));
    }
    run(execDirect, "drop table " + t);
}

// The XA switch taken before any xa_open and given nonsense: every entry but xa_close refuses with
// an XA error code, and nothing crashes.
TEST_P(DirectBadInput, XaSwitchRefusesNonsenseBeforeOpen) {
    auto* getSwitch = reinterpret_cast<xa_switch_t* (*)()>(lib.Sym("kiv_xa_switch", false));
    ASSERT_NE(nullptr, getSwitch);
    xa_switch_t* sw = getSwitch();
    ASSERT_NE(nullptr, sw);
    XID bad{};
    bad.formatID = 1;
    bad.gtrid_length = 200;  // beyond the 64 the standard allows
    bad.bqual_length = -3;
    XID fine{};
    fine.formatID = 7;
    fine.gtrid_length = 3;
    fine.bqual_length = 1;
    memcpy(fine.data, "abcd", 4);
    std::string longInfo(4 * MAXINFOSIZE, 'k');
    struct Entry {
        const char* name;
        std::function<int()> call;
    };
    const std::vector<Entry> entries = {
        {"open null info", [&] { return sw->xa_open_entry(nullptr, 0, TMNOFLAGS); }},
        {"open overlong info", [&] { return sw->xa_open_entry(longInfo.data(), 0, TMNOFLAGS); }},
        {"open unknown flags", [&] { return sw->xa_open_entry(const_cast<char*>(""), 0, 0x0F0F0F0L); }},
        {"start null xid", [&] { return sw->xa_start_entry(nullptr, 0, TMNOFLAGS); }},
        {"start bad xid", [&] { return sw->xa_start_entry(&bad, 0, TMNOFLAGS); }},
        {"start before open", [&] { return sw->xa_start_entry(&fine, 0, TMNOFLAGS); }},
        {"end null xid", [&] { return sw->xa_end_entry(nullptr, 0, TMSUCCESS); }},
        {"end unknown branch", [&] { return sw->xa_end_entry(&fine, 0, TMSUCCESS); }},
        {"prepare null xid", [&] { return sw->xa_prepare_entry(nullptr, 0, TMNOFLAGS); }},
        {"commit null xid", [&] { return sw->xa_commit_entry(nullptr, 0, TMNOFLAGS); }},
        {"commit bad xid", [&] { return sw->xa_commit_entry(&bad, 0, TMONEPHASE); }},
        {"rollback null xid", [&] { return sw->xa_rollback_entry(nullptr, 0, TMNOFLAGS); }},
        {"forget null xid", [&] { return sw->xa_forget_entry(nullptr, 0, TMNOFLAGS); }},
        {"recover into nothing", [&] { return sw->xa_recover_entry(nullptr, 5, 0, TMSTARTRSCAN); }},
        {"recover negative count", [&] { return sw->xa_recover_entry(&fine, -1, 0, TMSTARTRSCAN); }},
        {"complete nulls", [&] { return sw->xa_complete_entry(nullptr, nullptr, 0, TMNOFLAGS); }},
        {"start with a negative resource manager id", [&] { return sw->xa_start_entry(&fine, -77, TMNOFLAGS); }},
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.name);
        int rc = e.call();
        EXPECT_LT(rc, 0) << "an XA success for nonsense";
        EXPECT_GE(rc, -9) << "not an XA code";
    }
    int rc = sw->xa_close_entry(nullptr, 0, TMNOFLAGS);
    EXPECT_TRUE(rc == 0 || (rc < 0 && rc >= -9)) << rc;
}

INSTANTIATE_TEST_SUITE_P(Builds, DirectBadInput, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
