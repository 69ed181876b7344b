// Implementations that later work provides. Until then each answers "Driver not capable"
// (S1C00) on its handle; a strong definition elsewhere replaces the weak one here.
#include "odbc/api_records.h"

namespace {
SQLRETURN NotCapable(HandleBase* record) {
    if (record) record->lastError = 43;
    return SQL_ERROR;
}
}  // namespace

#define PENDING(name) \
    __attribute__((weak)) SQLRETURN name(HandleBase* record, ApiArgs&) { return NotCapable(record); }

PENDING(ImplBindCol)
PENDING(ImplBulkOperations)
PENDING(ImplColumnPrivileges)
PENDING(ImplColumns)
PENDING(ImplConnect)
PENDING(ImplDescribeCol)
PENDING(ImplDriverConnect)
PENDING(ImplExecDirect)
PENDING(ImplExecute)
PENDING(ImplExtendedFetch)
PENDING(ImplFetch)
PENDING(ImplFetchScroll)
PENDING(ImplForeignKeys)
PENDING(ImplGetConnectAttr)
PENDING(ImplGetConnectOption)
PENDING(ImplGetCursorName)
PENDING(ImplGetData)
PENDING(ImplGetFunctions)
PENDING(ImplGetInfo)
PENDING(ImplGetTypeInfo)
PENDING(ImplMoreResults)
PENDING(ImplNativeSql)
PENDING(ImplNumParams)
PENDING(ImplNumResultCols)
PENDING(ImplParamOptions)
PENDING(ImplPrepare)
PENDING(ImplPrimaryKeys)
PENDING(ImplProcedureColumns)
PENDING(ImplProcedures)
PENDING(ImplRowCount)
PENDING(ImplSetConnectAttr)
PENDING(ImplSetConnectOption)
PENDING(ImplSetCursorName)
PENDING(ImplSetPos)
PENDING(ImplSpecialColumns)
PENDING(ImplStatistics)
PENDING(ImplTablePrivileges)
PENDING(ImplTables)
PENDING(ImplTransact)
