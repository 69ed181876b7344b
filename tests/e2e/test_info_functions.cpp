// SQLGetFunctions of each library against what the library exports: the Driver Manager turns
// off every function whose bit is clear, so each exported ODBC function must be reported.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "drv_ingii/i-cursors.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

// The ODBC functions by name, numbered as the standard headers number them.
const std::map<std::string, int> kApiIds = {
    {"SQLAllocConnect", SQL_API_SQLALLOCCONNECT},
    {"SQLAllocEnv", SQL_API_SQLALLOCENV},
    {"SQLAllocHandle", SQL_API_SQLALLOCHANDLE},
    {"SQLAllocStmt", SQL_API_SQLALLOCSTMT},
    {"SQLBindCol", SQL_API_SQLBINDCOL},
    {"SQLBindParam", SQL_API_SQLBINDPARAM},
    {"SQLBindParameter", SQL_API_SQLBINDPARAMETER},
    {"SQLBrowseConnect", SQL_API_SQLBROWSECONNECT},
    {"SQLBulkOperations", SQL_API_SQLBULKOPERATIONS},
    {"SQLCancel", SQL_API_SQLCANCEL},
    {"SQLCloseCursor", SQL_API_SQLCLOSECURSOR},
    {"SQLColAttribute", SQL_API_SQLCOLATTRIBUTE},
    {"SQLColAttributes", SQL_API_SQLCOLATTRIBUTES},
    {"SQLColumnPrivileges", SQL_API_SQLCOLUMNPRIVILEGES},
    {"SQLColumns", SQL_API_SQLCOLUMNS},
    {"SQLConnect", SQL_API_SQLCONNECT},
    {"SQLCopyDesc", SQL_API_SQLCOPYDESC},
    {"SQLDataSources", SQL_API_SQLDATASOURCES},
    {"SQLDescribeCol", SQL_API_SQLDESCRIBECOL},
    {"SQLDescribeParam", SQL_API_SQLDESCRIBEPARAM},
    {"SQLDisconnect", SQL_API_SQLDISCONNECT},
    {"SQLDriverConnect", SQL_API_SQLDRIVERCONNECT},
    {"SQLDrivers", SQL_API_SQLDRIVERS},
    {"SQLEndTran", SQL_API_SQLENDTRAN},
    {"SQLError", SQL_API_SQLERROR},
    {"SQLExecDirect", SQL_API_SQLEXECDIRECT},
    {"SQLExecute", SQL_API_SQLEXECUTE},
    {"SQLExtendedFetch", SQL_API_SQLEXTENDEDFETCH},
    {"SQLFetch", SQL_API_SQLFETCH},
    {"SQLFetchScroll", SQL_API_SQLFETCHSCROLL},
    {"SQLForeignKeys", SQL_API_SQLFOREIGNKEYS},
    {"SQLFreeConnect", SQL_API_SQLFREECONNECT},
    {"SQLFreeEnv", SQL_API_SQLFREEENV},
    {"SQLFreeHandle", SQL_API_SQLFREEHANDLE},
    {"SQLFreeStmt", SQL_API_SQLFREESTMT},
    {"SQLGetConnectAttr", SQL_API_SQLGETCONNECTATTR},
    {"SQLGetConnectOption", SQL_API_SQLGETCONNECTOPTION},
    {"SQLGetCursorName", SQL_API_SQLGETCURSORNAME},
    {"SQLGetData", SQL_API_SQLGETDATA},
    {"SQLGetDescField", SQL_API_SQLGETDESCFIELD},
    {"SQLGetDescRec", SQL_API_SQLGETDESCREC},
    {"SQLGetDiagField", SQL_API_SQLGETDIAGFIELD},
    {"SQLGetDiagRec", SQL_API_SQLGETDIAGREC},
    {"SQLGetEnvAttr", SQL_API_SQLGETENVATTR},
    {"SQLGetFunctions", SQL_API_SQLGETFUNCTIONS},
    {"SQLGetInfo", SQL_API_SQLGETINFO},
    {"SQLGetStmtAttr", SQL_API_SQLGETSTMTATTR},
    {"SQLGetStmtOption", SQL_API_SQLGETSTMTOPTION},
    {"SQLGetTypeInfo", SQL_API_SQLGETTYPEINFO},
    {"SQLMoreResults", SQL_API_SQLMORERESULTS},
    {"SQLNativeSql", SQL_API_SQLNATIVESQL},
    {"SQLNumParams", SQL_API_SQLNUMPARAMS},
    {"SQLNumResultCols", SQL_API_SQLNUMRESULTCOLS},
    {"SQLParamData", SQL_API_SQLPARAMDATA},
    {"SQLParamOptions", SQL_API_SQLPARAMOPTIONS},
    {"SQLPrepare", SQL_API_SQLPREPARE},
    {"SQLPrimaryKeys", SQL_API_SQLPRIMARYKEYS},
    {"SQLProcedureColumns", SQL_API_SQLPROCEDURECOLUMNS},
    {"SQLProcedures", SQL_API_SQLPROCEDURES},
    {"SQLPutData", SQL_API_SQLPUTDATA},
    {"SQLRowCount", SQL_API_SQLROWCOUNT},
    {"SQLSetConnectAttr", SQL_API_SQLSETCONNECTATTR},
    {"SQLSetConnectOption", SQL_API_SQLSETCONNECTOPTION},
    {"SQLSetCursorName", SQL_API_SQLSETCURSORNAME},
    {"SQLSetDescField", SQL_API_SQLSETDESCFIELD},
    {"SQLSetDescRec", SQL_API_SQLSETDESCREC},
    {"SQLSetEnvAttr", SQL_API_SQLSETENVATTR},
    {"SQLSetParam", SQL_API_SQLSETPARAM},
    {"SQLSetPos", SQL_API_SQLSETPOS},
    {"SQLSetScrollOptions", SQL_API_SQLSETSCROLLOPTIONS},
    {"SQLSetStmtAttr", SQL_API_SQLSETSTMTATTR},
    {"SQLSetStmtOption", SQL_API_SQLSETSTMTOPTION},
    {"SQLSpecialColumns", SQL_API_SQLSPECIALCOLUMNS},
    {"SQLStatistics", SQL_API_SQLSTATISTICS},
    {"SQLTablePrivileges", SQL_API_SQLTABLEPRIVILEGES},
    {"SQLTables", SQL_API_SQLTABLES},
    {"SQLTransact", SQL_API_SQLTRANSACT},
};

// Exported ODBC function names, the wide suffix taken off; the XA exports are not ODBC functions.
std::set<std::string> ExportedOdbcFunctions(const std::string& lib) {
    std::set<std::string> names;
    std::string cmd = "nm -D --defined-only '" + lib + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return names;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        char addr[64], type[8], name[400];
        if (sscanf(line, "%63s %7s %399s", addr, type, name) != 3) continue;
        std::string n = name;
        if (n.rfind("SQL", 0) != 0 || n.rfind("SQLGetXa", 0) == 0) continue;
        if (!kApiIds.count(n) && n.back() == 'W') n.pop_back();
        names.insert(n);
    }
    pclose(p);
    return names;
}

using AllocHandleFn = SQLRETURN(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
using FreeHandleFn = SQLRETURN(SQLSMALLINT, SQLHANDLE);
using GetFunctionsFn = SQLRETURN(SQLHDBC, SQLUSMALLINT, SQLUSMALLINT*);

class FunctionsOfTheLibrary : public ::testing::TestWithParam<DriverBuild> {
protected:
    void* lib = nullptr;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    GetFunctionsFn* getFunctions = nullptr;
    void SetUp() override {
        lib = dlopen(LibraryPath(GetParam()).c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, lib) << dlerror();
        auto* alloc = reinterpret_cast<AllocHandleFn*>(dlsym(lib, "SQLAllocHandle"));
        getFunctions = reinterpret_cast<GetFunctionsFn*>(dlsym(lib, "SQLGetFunctions"));
        ASSERT_TRUE(alloc && getFunctions);
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
    }
    void TearDown() override {
        if (lib) {
            if (env) reinterpret_cast<FreeHandleFn*>(dlsym(lib, "SQLFreeHandle"))(SQL_HANDLE_ENV, env);
            dlclose(lib);
        }
    }
};

// Exported row operations are offered once built (drv_ingii/i-cursors.h); until then the Driver
// Manager answers them.
bool RowOperation(const std::string& name) {
    return !kIngBuiltCursors.rowOperations && (name == "SQLSetPos" || name == "SQLBulkOperations");
}

TEST_P(FunctionsOfTheLibrary, EveryExportedFunctionIsReported) {
    std::set<std::string> exported = ExportedOdbcFunctions(LibraryPath(GetParam()));
    ASSERT_GE(exported.size(), 70u);
    SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
    SQLUSMALLINT odbc2[100] = {};
    ASSERT_EQ(SQL_SUCCESS, getFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bits));
    ASSERT_EQ(SQL_SUCCESS, getFunctions(dbc, SQL_API_ALL_FUNCTIONS, odbc2));
    std::set<int> exportedIds;
    for (const auto& name : exported) {
        auto it = kApiIds.find(name);
        ASSERT_NE(kApiIds.end(), it) << "export " << name << " is no ODBC function";
        if (RowOperation(name)) {
            EXPECT_FALSE(SQL_FUNC_EXISTS(bits, it->second)) << name;
            EXPECT_EQ(SQL_FALSE, odbc2[it->second]) << name;
            continue;
        }
        exportedIds.insert(it->second);
        EXPECT_TRUE(SQL_FUNC_EXISTS(bits, it->second)) << name;
        if (it->second < 100) {
            EXPECT_EQ(SQL_TRUE, odbc2[it->second]) << name;
        }
    }
    // And nothing is reported that the library does not export (SQLColAttributes shares its id
    // with the exported SQLColAttribute).
    for (const auto& [name, id] : kApiIds) {
        if (!exportedIds.count(id)) {
            EXPECT_FALSE(SQL_FUNC_EXISTS(bits, id)) << name;
        }
    }
}

TEST_P(FunctionsOfTheLibrary, IdsBeyondTheBitmapAreNotSupported) {
    SQLUSMALLINT v = 7;
    EXPECT_EQ(SQL_SUCCESS, getFunctions(dbc, 4000, &v));
    EXPECT_EQ(SQL_FALSE, v);
    v = 7;
    EXPECT_EQ(SQL_SUCCESS, getFunctions(dbc, 65535, &v));
    EXPECT_EQ(SQL_FALSE, v);
}

INSTANTIATE_TEST_SUITE_P(Builds, FunctionsOfTheLibrary, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
