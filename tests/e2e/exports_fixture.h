#pragma once
// The dynamic exports each library must carry, exactly.

inline const char* const kStringFunctions[] = {
    "SQLColAttribute",   "SQLColumnPrivileges", "SQLColumns",
    "SQLConnect",        "SQLDescribeCol",      "SQLDriverConnect",
    "SQLError",          "SQLExecDirect",       "SQLForeignKeys",
    "SQLGetConnectAttr", "SQLGetConnectOption", "SQLGetCursorName",
    "SQLGetDescField",   "SQLGetDescRec",       "SQLGetDiagField",
    "SQLGetDiagRec",     "SQLGetInfo",          "SQLGetStmtAttr",
    "SQLGetTypeInfo",    "SQLNativeSql",        "SQLPrepare",
    "SQLPrimaryKeys",    "SQLProcedureColumns", "SQLProcedures",
    "SQLSetConnectAttr", "SQLSetConnectOption", "SQLSetCursorName",
    "SQLSetDescField",   "SQLSetStmtAttr",      "SQLSpecialColumns",
    "SQLStatistics",     "SQLTablePrivileges",  "SQLTables",
};

inline const char* const kCommonExports[] = {
    "SQLAllocConnect",   "SQLAllocEnv",
    "SQLAllocHandle",    "SQLAllocStmt",
    "SQLBindCol",        "SQLBindParameter",
    "SQLBulkOperations", "SQLCancel",
    "SQLCloseCursor",    "SQLCopyDesc",
    "SQLDescribeParam",  "SQLDisconnect",
    "SQLEndTran",        "SQLExecute",
    "SQLExtendedFetch",  "SQLFetch",
    "SQLFetchScroll",    "SQLFreeConnect",
    "SQLFreeEnv",        "SQLFreeHandle",
    "SQLFreeStmt",       "SQLGetData",
    "SQLGetEnvAttr",     "SQLGetFunctions",
    "SQLGetStmtOption",  "SQLMoreResults",
    "SQLNumParams",      "SQLNumResultCols",
    "SQLParamData",      "SQLParamOptions",
    "SQLPutData",        "SQLRowCount",
    "SQLSetDescRec",     "SQLSetEnvAttr",
    "SQLSetParam",       "SQLSetPos",
    "SQLSetStmtOption",  "SQLTransact",
    "GetXaSwitch",       "kiv_xa_switch",
    "SQLGetXaEnv",       "SQLGetXaConnect",
    "GetSetupDatabase",  "GetSetupRegistry",
    "LibMain",           "WEP",
};
