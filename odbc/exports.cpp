// The exported ODBC functions of both libraries: the string-free ones and the narrow forms.
// Each hands its record and arguments to the gateway; 'A' marks narrow text output.
#include <sql.h>
#include <sqlext.h>

#include "odbc/api_records.h"
#include "odbc/export.h"
#include "odbc/exports_internal.h"
#include "odbc/gateway.h"
#include "odbc/globals.h"
#include "odbc/fetch_row.h"
#include "odbc/getdata_read.h"

#define API TV_EXPORT SQLRETURN SQL_API

namespace {
constexpr TextMode kNarrow = kTextNarrow;
}

// Handles of SQLTransact/SQLEndTran are checked against their table before a record is chosen.
bool HandleRegistered(HandleTable* table, SQLHANDLE h, uint32_t tag) {
    uint32_t n;
    if (!h || !HandleNumber(h, &n)) return false;
    HandleLockGuard g;
    auto* rec = static_cast<HandleBase*>(HandleTablePeek(table, n));
    return rec && rec->tag == tag;
}

const ApiCallOf<ImplAllocConnect>* AllocHandleRecord(SQLSMALLINT type) {
    switch (type) {
        case SQL_HANDLE_ENV:
            return &kRecAllocHandle1;
        case SQL_HANDLE_DBC:
            return &kRecAllocHandle2;
        case SQL_HANDLE_STMT:
            return &kRecAllocHandle3;
        case SQL_HANDLE_DESC:
            return &kRecAllocHandle4;
        default:
            return nullptr;
    }
}

SQLRETURN ApiAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    const auto* rec = AllocHandleRecord(type);
    if (!rec) return SQL_INVALID_HANDLE;
    return CallODBC(*rec, type == SQL_HANDLE_ENV ? nullptr : input, output);
}

SQLRETURN ApiFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    switch (type) {
        case SQL_HANDLE_ENV:
            return CallODBC(kRecFreeHandle1, handle);
        case SQL_HANDLE_DBC:
            return CallODBC(kRecFreeHandle2, handle);
        case SQL_HANDLE_STMT:
            return CallODBC(kRecFreeHandle3, handle);
        case SQL_HANDLE_DESC:
            return CallODBC(kRecFreeHandle4, handle);
        default:
            return SQL_INVALID_HANDLE;
    }
}

SQLRETURN ApiSetEnvAttr(SQLHENV henv, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
    return CallODBC(kRecSetEnvAttr, henv, attr, value, len);
}

SQLRETURN ApiDisconnect(SQLHDBC hdbc) { return CallODBC(kRecDisconnect, hdbc); }

SQLRETURN ApiDriverConnect(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR* in, SQLSMALLINT cbIn, SQLCHAR* out,
                           SQLSMALLINT cbOutMax, SQLSMALLINT* pcbOut, SQLUSMALLINT completion) {
    return CallODBC(kRecDriverConnect, hdbc, hwnd, in, cbIn, out, cbOutMax, pcbOut, completion, kNarrow);
}

API SQLAllocConnect(SQLHENV henv, SQLHDBC* phdbc) { return CallODBC(kRecAllocConnect, henv, phdbc); }

API SQLAllocEnv(SQLHENV* phenv) { return CallODBC(kRecAllocEnv, nullptr, phenv); }

API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) { return ApiAllocHandle(type, input, output); }

API SQLAllocStmt(SQLHDBC hdbc, SQLHSTMT* phstmt) { return CallODBC(kRecAllocStmt, hdbc, phstmt); }

API SQLBindCol(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLSMALLINT ctype, SQLPOINTER value, SQLLEN max, SQLLEN* ind) {
    return CallODBC(kRecBindCol, hstmt, icol, ctype, value, max, ind);
}

API SQLBindParameter(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT ptype, SQLSMALLINT ctype, SQLSMALLINT sqltype,
                     SQLULEN colsize, SQLSMALLINT scale, SQLPOINTER value, SQLLEN max, SQLLEN* ind) {
    return CallODBC(kRecBindParameter, hstmt, ipar, ptype, ctype, sqltype, colsize, scale, value, max, ind);
}

API SQLBulkOperations(SQLHSTMT hstmt, SQLSMALLINT op) { return CallODBC(kRecBulkOperations, hstmt, op); }

API SQLCancel(SQLHSTMT hstmt) { return CancelStatement(hstmt); }

API SQLCloseCursor(SQLHSTMT hstmt) { return CallODBC(kRecCloseCursor, hstmt); }

API SQLColAttribute(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT field, SQLPOINTER charAttr, SQLSMALLINT max,
                    SQLSMALLINT* len, SQLLEN* numAttr) {
    return CallODBC(kRecColAttribute, hstmt, icol, field, charAttr, max, len, numAttr, kNarrow);
}

API SQLColAttributes(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT field, SQLPOINTER desc, SQLSMALLINT max,
                     SQLSMALLINT* len, SQLLEN* numAttr) {
    return CallODBC(kRecColAttributes, hstmt, icol, field, desc, max, len, numAttr, kNarrow);
}

API SQLColumnPrivileges(SQLHSTMT hstmt, SQLCHAR* cat, SQLSMALLINT cbCat, SQLCHAR* schema, SQLSMALLINT cbSchema,
                        SQLCHAR* table, SQLSMALLINT cbTable, SQLCHAR* column, SQLSMALLINT cbColumn) {
    return CallODBC(kRecColumnPrivileges, hstmt, cat, cbCat, schema, cbSchema, table, cbTable, column, cbColumn);
}

API SQLColumns(SQLHSTMT hstmt, SQLCHAR* cat, SQLSMALLINT cbCat, SQLCHAR* schema, SQLSMALLINT cbSchema, SQLCHAR* table,
               SQLSMALLINT cbTable, SQLCHAR* column, SQLSMALLINT cbColumn) {
    return CallODBC(kRecColumns, hstmt, cat, cbCat, schema, cbSchema, table, cbTable, column, cbColumn);
}

API SQLConnect(SQLHDBC hdbc, SQLCHAR* dsn, SQLSMALLINT cbDsn, SQLCHAR* uid, SQLSMALLINT cbUid, SQLCHAR* pwd,
               SQLSMALLINT cbPwd) {
    return CallODBC(kRecConnect, hdbc, dsn, cbDsn, uid, cbUid, pwd, cbPwd, kNarrow);
}

API SQLCopyDesc(SQLHDESC source, SQLHDESC target) { return CallODBC(kRecCopyDesc, source, target); }

API SQLDescribeCol(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLCHAR* name, SQLSMALLINT max, SQLSMALLINT* len,
                   SQLSMALLINT* sqltype, SQLULEN* colsize, SQLSMALLINT* scale, SQLSMALLINT* nullable) {
    return CallODBC(kRecDescribeCol, hstmt, icol, name, max, len, sqltype, colsize, scale, nullable);
}

API SQLDescribeParam(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT* sqltype, SQLULEN* colsize, SQLSMALLINT* scale,
                     SQLSMALLINT* nullable) {
    return CallODBC(kRecDescribeParam, hstmt, ipar, sqltype, colsize, scale, nullable);
}

API SQLDisconnect(SQLHDBC hdbc) { return ApiDisconnect(hdbc); }

API SQLDriverConnect(SQLHDBC hdbc, SQLHWND hwnd, SQLCHAR* in, SQLSMALLINT cbIn, SQLCHAR* out, SQLSMALLINT cbOutMax,
                     SQLSMALLINT* pcbOut, SQLUSMALLINT completion) {
    return ApiDriverConnect(hdbc, hwnd, in, cbIn, out, cbOutMax, pcbOut, completion);
}

API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
    if (type != SQL_HANDLE_ENV && type != SQL_HANDLE_DBC) return SQL_SUCCESS;
    if (!g_Ready.load()) return SQL_ERROR;
    if (type == SQL_HANDLE_ENV) {
        if (!HandleRegistered(&g_EnvTable, handle, kTagEnv)) return SQL_INVALID_HANDLE;
        return CallODBC(kRecTransactEnv, handle, SQLUSMALLINT(completion));
    }
    if (!HandleRegistered(&g_ConnTable, handle, kTagConn)) return SQL_INVALID_HANDLE;
    return CallODBC(kRecTransactDbc, handle, SQLUSMALLINT(completion));
}

API SQLError(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLCHAR* state, SQLINTEGER* native, SQLCHAR* msg,
             SQLSMALLINT max, SQLSMALLINT* len) {
    if (hstmt) return CallODBC(kRecErrorStmt, hstmt, state, native, msg, max, len);
    if (hdbc) return CallODBC(kRecErrorDbc, hdbc, state, native, msg, max, len);
    if (henv) return CallODBC(kRecErrorEnv, henv, state, native, msg, max, len);
    return SQL_INVALID_HANDLE;
}

API SQLExecDirect(SQLHSTMT hstmt, SQLCHAR* sql, SQLINTEGER len) { return CallODBC(kRecExecDirect, hstmt, sql, len); }

API SQLExecute(SQLHSTMT hstmt) { return CallODBC(kRecExecute, hstmt); }

API SQLExtendedFetch(SQLHSTMT hstmt, SQLUSMALLINT type, SQLLEN irow, SQLULEN* pcrow, SQLUSMALLINT* status) {
    return CallODBC(kRecExtendedFetch, hstmt, type, irow, pcrow, status);
}

API SQLFetch(SQLHSTMT hstmt) { return CallODBCInline<FetchImpl>(kRecFetch, hstmt); }

API SQLFetchScroll(SQLHSTMT hstmt, SQLSMALLINT orient, SQLLEN offset) {
    return CallODBC(kRecFetchScroll, hstmt, orient, offset);
}

API SQLForeignKeys(SQLHSTMT hstmt, SQLCHAR* pkCat, SQLSMALLINT cbPkCat, SQLCHAR* pkSchema, SQLSMALLINT cbPkSchema,
                   SQLCHAR* pkTable, SQLSMALLINT cbPkTable, SQLCHAR* fkCat, SQLSMALLINT cbFkCat, SQLCHAR* fkSchema,
                   SQLSMALLINT cbFkSchema, SQLCHAR* fkTable, SQLSMALLINT cbFkTable) {
    return CallODBC(kRecForeignKeys, hstmt, pkCat, cbPkCat, pkSchema, cbPkSchema, pkTable, cbPkTable, fkCat, cbFkCat,
                    fkSchema, cbFkSchema, fkTable, cbFkTable);
}

API SQLFreeConnect(SQLHDBC hdbc) { return CallODBC(kRecFreeConnect, hdbc); }

API SQLFreeEnv(SQLHENV henv) { return CallODBC(kRecFreeEnv, henv); }

API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) { return ApiFreeHandle(type, handle); }

API SQLFreeStmt(SQLHSTMT hstmt, SQLUSMALLINT option) { return CallODBC(kRecFreeStmt, hstmt, option); }

API SQLGetConnectAttr(SQLHDBC hdbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER max, SQLINTEGER* len) {
    return CallODBC(kRecGetConnectAttr, hdbc, attr, value, max, len, kNarrow);
}

API SQLGetConnectOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value) {
    return CallODBC(kRecGetConnectOption, hdbc, option, value, kNarrow);
}

API SQLGetCursorName(SQLHSTMT hstmt, SQLCHAR* cursor, SQLSMALLINT max, SQLSMALLINT* len) {
    return CallODBC(kRecGetCursorName, hstmt, cursor, max, len);
}

API SQLGetData(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLSMALLINT ctype, SQLPOINTER value, SQLLEN max, SQLLEN* ind) {
    return CallODBCInline<GetDataImpl>(kRecGetData, hstmt, icol, ctype, value, max, ind);
}

API SQLGetDescField(SQLHDESC hdesc, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value, SQLINTEGER max,
                    SQLINTEGER* len) {
    return CallODBC(kRecGetDescField, hdesc, rec, field, value, max, len, kNarrow);
}

API SQLGetDescRec(SQLHDESC hdesc, SQLSMALLINT rec, SQLCHAR* name, SQLSMALLINT max, SQLSMALLINT* len, SQLSMALLINT* type,
                  SQLSMALLINT* subtype, SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                  SQLSMALLINT* nullable) {
    return CallODBC(kRecGetDescRec, hdesc, rec, name, max, len, type, subtype, length, precision, scale, nullable,
                    kNarrow);
}

API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER info,
                    SQLSMALLINT max, SQLSMALLINT* len) {
    const auto* r =
        DiagCallRecord(type, kRecGetDiagFieldEnv, kRecGetDiagFieldDbc, kRecGetDiagFieldStmt, kRecGetDiagFieldDesc);
    if (!r) return SQL_INVALID_HANDLE;
    return CallODBC(*r, handle, rec, id, info, max, len, kNarrow);
}

API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLCHAR* state, SQLINTEGER* native, SQLCHAR* msg,
                  SQLSMALLINT max, SQLSMALLINT* len) {
    const auto* r = DiagCallRecord(type, kRecGetDiagRecEnv, kRecGetDiagRecDbc, kRecGetDiagRecStmt, kRecGetDiagRecDesc);
    if (!r) return SQL_INVALID_HANDLE;
    return CallODBC(*r, handle, rec, state, native, msg, max, len);
}

API SQLGetEnvAttr(SQLHENV henv, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER max, SQLINTEGER* len) {
    return CallODBC(kRecGetEnvAttr, henv, attr, value, max, len);
}

API SQLGetFunctions(SQLHDBC hdbc, SQLUSMALLINT fn, SQLUSMALLINT* exists) {
    return CallODBC(kRecGetFunctions, hdbc, fn, exists);
}

API SQLGetInfo(SQLHDBC hdbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* len) {
    return CallODBC(kRecGetInfo, hdbc, type, value, max, len, kNarrow);
}

API SQLGetStmtAttr(SQLHSTMT hstmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER max, SQLINTEGER* len) {
    return CallODBC(kRecGetStmtAttr, hstmt, attr, value, max, len);
}

API SQLGetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT option, SQLPOINTER value) {
    return CallODBC(kRecGetStmtOption, hstmt, option, value);
}

API SQLGetTypeInfo(SQLHSTMT hstmt, SQLSMALLINT type) { return CallODBC(kRecGetTypeInfo, hstmt, type); }

API SQLMoreResults(SQLHSTMT hstmt) { return CallODBC(kRecMoreResults, hstmt); }

API SQLNativeSql(SQLHDBC hdbc, SQLCHAR* in, SQLINTEGER cbIn, SQLCHAR* out, SQLINTEGER max, SQLINTEGER* len) {
    return CallODBC(kRecNativeSql, hdbc, in, cbIn, out, max, len);
}

API SQLNumParams(SQLHSTMT hstmt, SQLSMALLINT* count) { return CallODBC(kRecNumParams, hstmt, count); }

API SQLNumResultCols(SQLHSTMT hstmt, SQLSMALLINT* count) { return CallODBC(kRecNumResultCols, hstmt, count); }

API SQLParamData(SQLHSTMT hstmt, SQLPOINTER* value) { return CallODBC(kRecParamData, hstmt, value); }

API SQLParamOptions(SQLHSTMT hstmt, SQLULEN crow, SQLULEN* pirow) {
    return CallODBC(kRecParamOptions, hstmt, crow, pirow);
}

API SQLPrepare(SQLHSTMT hstmt, SQLCHAR* sql, SQLINTEGER len) { return CallODBC(kRecPrepare, hstmt, sql, len); }

API SQLPrimaryKeys(SQLHSTMT hstmt, SQLCHAR* cat, SQLSMALLINT cbCat, SQLCHAR* schema, SQLSMALLINT cbSchema,
                   SQLCHAR* table, SQLSMALLINT cbTable) {
    return CallODBC(kRecPrimaryKeys, hstmt, cat, cbCat, schema, cbSchema, table, cbTable);
}

API SQLProcedureColumns(SQLHSTMT hstmt, SQLCHAR* cat, SQLSMALLINT cbCat, SQLCHAR* schema, SQLSMALLINT cbSchema,
                        SQLCHAR* proc, SQLSMALLINT cbProc, SQLCHAR* column, SQLSMALLINT cbColumn) {
    return CallODBC(kRecProcedureColumns, hstmt, cat, cbCat, schema, cbSchema, proc, cbProc, column, cbColumn);
}

API SQLProcedures(SQLHSTMT hstmt, SQLCHAR* cat, SQLSMALLINT cbCat, SQLCHAR* schema, SQLSMALLINT cbSchema, SQLCHAR* proc,
                  SQLSMALLINT cbProc) {
    return CallODBC(kRecProcedures, hstmt, cat, cbCat, schema, cbSchema, proc, cbProc);
}

API SQLPutData(SQLHSTMT hstmt, SQLPOINTER data, SQLLEN len) { return CallODBC(kRecPutData, hstmt, data, len); }

API SQLRowCount(SQLHSTMT hstmt, SQLLEN* count) { return CallODBC(kRecRowCount, hstmt, count); }

API SQLSetConnectAttr(SQLHDBC hdbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
    return CallODBC(kRecSetConnectAttr, hdbc, attr, value, len, kNarrow);
}

API SQLSetConnectOption(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value) {
    return CallODBC(kRecSetConnectOption, hdbc, option, value, kNarrow);
}

API SQLSetCursorName(SQLHSTMT hstmt, SQLCHAR* cursor, SQLSMALLINT len) {
    return CallODBC(kRecSetCursorName, hstmt, cursor, len);
}

API SQLSetDescField(SQLHDESC hdesc, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value, SQLINTEGER len) {
    return CallODBC(kRecSetDescField, hdesc, rec, field, value, len, kNarrow);
}

API SQLSetDescRec(SQLHDESC hdesc, SQLSMALLINT rec, SQLSMALLINT type, SQLSMALLINT subtype, SQLLEN length,
                  SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data, SQLLEN* strlen, SQLLEN* ind) {
    return CallODBC(kRecSetDescRec, hdesc, rec, type, subtype, length, precision, scale, data, strlen, ind);
}

API SQLSetEnvAttr(SQLHENV henv, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
    return ApiSetEnvAttr(henv, attr, value, len);
}

API SQLSetParam(SQLHSTMT hstmt, SQLUSMALLINT ipar, SQLSMALLINT ctype, SQLSMALLINT sqltype, SQLULEN colsize,
                SQLSMALLINT scale, SQLPOINTER value, SQLLEN* ind) {
    return CallODBC(kRecSetParam, hstmt, ipar, ctype, sqltype, colsize, scale, value, ind);
}

API SQLSetPos(SQLHSTMT hstmt, SQLSETPOSIROW irow, SQLUSMALLINT op, SQLUSMALLINT lock) {
    return CallODBC(kRecSetPos, hstmt, irow, op, lock);
}

API SQLSetStmtAttr(SQLHSTMT hstmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
    return CallODBC(kRecSetStmtAttr, hstmt, attr, value, len, kNarrow);
}

API SQLSetStmtOption(SQLHSTMT hstmt, SQLUSMALLINT option, SQLULEN value) {
    return CallODBC(kRecSetStmtOption, hstmt, option, value);
}

API SQLSpecialColumns(SQLHSTMT hstmt, SQLUSMALLINT coltype, SQLCHAR* cat, SQLSMALLINT cbCat, SQLCHAR* schema,
                      SQLSMALLINT cbSchema, SQLCHAR* table, SQLSMALLINT cbTable, SQLUSMALLINT scope,
                      SQLUSMALLINT nullable) {
    return CallODBC(kRecSpecialColumns, hstmt, coltype, cat, cbCat, schema, cbSchema, table, cbTable, scope, nullable);
}

API SQLStatistics(SQLHSTMT hstmt, SQLCHAR* cat, SQLSMALLINT cbCat, SQLCHAR* schema, SQLSMALLINT cbSchema,
                  SQLCHAR* table, SQLSMALLINT cbTable, SQLUSMALLINT unique, SQLUSMALLINT accuracy) {
    return CallODBC(kRecStatistics, hstmt, cat, cbCat, schema, cbSchema, table, cbTable, unique, accuracy);
}

API SQLTablePrivileges(SQLHSTMT hstmt, SQLCHAR* cat, SQLSMALLINT cbCat, SQLCHAR* schema, SQLSMALLINT cbSchema,
                       SQLCHAR* table, SQLSMALLINT cbTable) {
    return CallODBC(kRecTablePrivileges, hstmt, cat, cbCat, schema, cbSchema, table, cbTable);
}

API SQLTables(SQLHSTMT hstmt, SQLCHAR* cat, SQLSMALLINT cbCat, SQLCHAR* schema, SQLSMALLINT cbSchema, SQLCHAR* table,
              SQLSMALLINT cbTable, SQLCHAR* type, SQLSMALLINT cbType) {
    return CallODBC(kRecTables, hstmt, cat, cbCat, schema, cbSchema, table, cbTable, type, cbType);
}

API SQLTransact(SQLHENV henv, SQLHDBC hdbc, SQLUSMALLINT type) {
    if (!g_Ready.load()) return SQL_ERROR;
    if (HandleRegistered(&g_ConnTable, hdbc, kTagConn)) return CallODBC(kRecTransactDbc, hdbc, type);
    return CallODBC(kRecTransactEnv, henv, type);
}
