// SQLGetFunctions: which ODBC functions the driver implements. The answer is fixed; it flags
// every function the libraries export, the row operations (SQLSetPos, SQLBulkOperations) only
// while drv_ingii/i-cursors.h says they are built: unflagged, the Driver Manager answers them
// itself instead of passing them on.
#include <cstring>

#include "drv_ingii/i-cursors.h"
#include "odbc/api_records.h"
#include "odbc/getfunctions.h"

namespace {

constexpr SQLUSMALLINT kSupported[] = {
    SQL_API_SQLALLOCCONNECT,
    SQL_API_SQLALLOCENV,
    SQL_API_SQLALLOCSTMT,
    SQL_API_SQLBINDCOL,
    SQL_API_SQLCANCEL,
    SQL_API_SQLCOLATTRIBUTE,
    SQL_API_SQLCONNECT,
    SQL_API_SQLDESCRIBECOL,
    SQL_API_SQLDISCONNECT,
    SQL_API_SQLERROR,
    SQL_API_SQLEXECDIRECT,
    SQL_API_SQLEXECUTE,
    SQL_API_SQLFETCH,
    SQL_API_SQLFREECONNECT,
    SQL_API_SQLFREEENV,
    SQL_API_SQLFREESTMT,
    SQL_API_SQLGETCURSORNAME,
    SQL_API_SQLNUMRESULTCOLS,
    SQL_API_SQLPREPARE,
    SQL_API_SQLROWCOUNT,
    SQL_API_SQLSETCURSORNAME,
    SQL_API_SQLSETPARAM,
    SQL_API_SQLTRANSACT,
    SQL_API_SQLCOLUMNS,
    SQL_API_SQLDRIVERCONNECT,
    SQL_API_SQLGETCONNECTOPTION,
    SQL_API_SQLGETDATA,
    SQL_API_SQLGETFUNCTIONS,
    SQL_API_SQLGETINFO,
    SQL_API_SQLGETSTMTOPTION,
    SQL_API_SQLGETTYPEINFO,
    SQL_API_SQLPARAMDATA,
    SQL_API_SQLPUTDATA,
    SQL_API_SQLSETCONNECTOPTION,
    SQL_API_SQLSETSTMTOPTION,
    SQL_API_SQLSPECIALCOLUMNS,
    SQL_API_SQLSTATISTICS,
    SQL_API_SQLTABLES,
    SQL_API_SQLCOLUMNPRIVILEGES,
    SQL_API_SQLDESCRIBEPARAM,
    SQL_API_SQLEXTENDEDFETCH,
    SQL_API_SQLFOREIGNKEYS,
    SQL_API_SQLMORERESULTS,
    SQL_API_SQLNATIVESQL,
    SQL_API_SQLNUMPARAMS,
    SQL_API_SQLPARAMOPTIONS,
    SQL_API_SQLPRIMARYKEYS,
    SQL_API_SQLPROCEDURECOLUMNS,
    SQL_API_SQLPROCEDURES,
    SQL_API_SQLTABLEPRIVILEGES,
    SQL_API_SQLBINDPARAMETER,
    SQL_API_SQLALLOCHANDLE,
    SQL_API_SQLCLOSECURSOR,
    SQL_API_SQLCOPYDESC,
    SQL_API_SQLENDTRAN,
    SQL_API_SQLFREEHANDLE,
    SQL_API_SQLGETCONNECTATTR,
    SQL_API_SQLGETDESCFIELD,
    SQL_API_SQLGETDESCREC,
    SQL_API_SQLGETDIAGFIELD,
    SQL_API_SQLGETDIAGREC,
    SQL_API_SQLGETENVATTR,
    SQL_API_SQLGETSTMTATTR,
    SQL_API_SQLSETCONNECTATTR,
    SQL_API_SQLSETDESCFIELD,
    SQL_API_SQLSETDESCREC,
    SQL_API_SQLSETENVATTR,
    SQL_API_SQLSETSTMTATTR,
    SQL_API_SQLFETCHSCROLL,
};

constexpr SQLUSMALLINT kRowOperations[] = {SQL_API_SQLBULKOPERATIONS, SQL_API_SQLSETPOS};

struct FunctionTables {
    SQLUSMALLINT odbc2[kOdbc2FunctionCount] = {};
    SQLUSMALLINT odbc3[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
    constexpr FunctionTables() {
        for (SQLUSMALLINT id : kSupported) {
            if (id < kOdbc2FunctionCount) odbc2[id] = SQL_TRUE;
            odbc3[id >> 4] = SQLUSMALLINT(odbc3[id >> 4] | (1u << (id & 0xF)));
        }
        if (!kIngBuiltCursors.rowOperations) return;
        for (SQLUSMALLINT id : kRowOperations) {
            odbc2[id] = SQL_TRUE;
            odbc3[id >> 4] = SQLUSMALLINT(odbc3[id >> 4] | (1u << (id & 0xF)));
        }
    }
};

constexpr FunctionTables kTables{};

}  // namespace

bool FunctionSupported(unsigned id) {
    if (id >= SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16u) return false;
    return (kTables.odbc3[id >> 4] >> (id & 0xF)) & 1u;
}

SQLRETURN ImplGetFunctions(HandleBase*, SQLUSMALLINT id, SQLUSMALLINT* out) {
    if (!out) return SQL_SUCCESS;
    if (id == SQL_API_ALL_FUNCTIONS) {
        memcpy(out, kTables.odbc2, sizeof kTables.odbc2);
    } else if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
        memcpy(out, kTables.odbc3, sizeof kTables.odbc3);
    } else if (id < kOdbc2FunctionCount) {
        *out = kTables.odbc2[id];
    } else {
        // Ids past the bitmap name no function the driver has; they are simply not supported.
        *out = FunctionSupported(id) ? SQL_TRUE : SQL_FALSE;
    }
    return SQL_SUCCESS;
}
