#pragma once
// The static API call records, one per exported name (and handle kind), and the
// implementations they name.
#include "odbc/gateway.h"

SQLRETURN ImplAllocConnect(HandleBase* record, SQLHDBC* out);
SQLRETURN ImplAllocDesc(HandleBase* record, SQLHDESC* out);
SQLRETURN ImplAllocEnv(HandleBase* record, SQLHENV* out);
SQLRETURN ImplAllocHandleEnv(HandleBase* record, SQLHENV* out);
SQLRETURN ImplAllocStmt(HandleBase* record, SQLHSTMT* out);
SQLRETURN ImplBindCol(HandleBase* record, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target, SQLLEN max,
                      SQLLEN* ind);
SQLRETURN ImplBindParameter(HandleBase* record, SQLUSMALLINT number, SQLSMALLINT direction, SQLSMALLINT cType,
                            SQLSMALLINT sqlType, SQLULEN columnSize, SQLSMALLINT digits, SQLPOINTER value,
                            SQLLEN bufferLength, SQLLEN* lenInd);
SQLRETURN ImplBulkOperations(HandleBase* record, SQLSMALLINT operation);
SQLRETURN ImplCloseCursor(HandleBase* record);
SQLRETURN ImplColAttribute(HandleBase* record, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER buf,
                           SQLSMALLINT bufLen, SQLSMALLINT* lenOut, SQLLEN* num, TextMode mode);
SQLRETURN ImplColAttributes(HandleBase* record, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER buf,
                            SQLSMALLINT bufLen, SQLSMALLINT* lenOut, SQLLEN* num, TextMode mode);
SQLRETURN ImplColumnPrivileges(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                               SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* column,
                               SQLSMALLINT columnLen);
SQLRETURN ImplColumns(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                      SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* column,
                      SQLSMALLINT columnLen);
SQLRETURN ImplConnect(HandleBase* record, const void* dsn, SQLSMALLINT dsnLen, const void* uid, SQLSMALLINT uidLen,
                      const void* pwd, SQLSMALLINT pwdLen, TextMode mode);
SQLRETURN ImplCopyDesc(HandleBase* record, SQLHDESC target);
SQLRETURN ImplDescribeCol(HandleBase* record, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT max, SQLSMALLINT* nameLen,
                          SQLSMALLINT* sqlType, SQLULEN* colSize, SQLSMALLINT* scale, SQLSMALLINT* nullable);
SQLRETURN ImplDescribeParam(HandleBase* record, SQLUSMALLINT number, SQLSMALLINT* sqlType, SQLULEN* columnSize,
                            SQLSMALLINT* digits, SQLSMALLINT* nullable);
SQLRETURN ImplDisconnect(HandleBase* record);
SQLRETURN ImplDriverConnect(HandleBase* record, SQLHWND window, const void* in, SQLSMALLINT inLen, void* out,
                            SQLSMALLINT outMax, SQLSMALLINT* outLen, SQLUSMALLINT completion, TextMode mode);
SQLRETURN ImplError(HandleBase* record, SQLCHAR* state, SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT max,
                    SQLSMALLINT* len);
SQLRETURN ImplExecDirect(HandleBase* record, SQLCHAR* text, SQLINTEGER len);
SQLRETURN ImplExecute(HandleBase* record);
SQLRETURN ImplExtendedFetch(HandleBase* record, SQLUSMALLINT orientation, SQLLEN offset, SQLULEN* rows,
                            SQLUSMALLINT* statuses);
SQLRETURN ImplFetch(HandleBase* record);
SQLRETURN ImplFetchScroll(HandleBase* record, SQLSMALLINT orientation, SQLLEN offset);
SQLRETURN ImplForeignKeys(HandleBase* record, SQLCHAR* pkCatalog, SQLSMALLINT pkCatalogLen, SQLCHAR* pkSchema,
                          SQLSMALLINT pkSchemaLen, SQLCHAR* pkTable, SQLSMALLINT pkTableLen, SQLCHAR* fkCatalog,
                          SQLSMALLINT fkCatalogLen, SQLCHAR* fkSchema, SQLSMALLINT fkSchemaLen, SQLCHAR* fkTable,
                          SQLSMALLINT fkTableLen);
SQLRETURN ImplFreeConnect(HandleBase* record);
SQLRETURN ImplFreeDesc(HandleBase* record);
SQLRETURN ImplFreeEnv(HandleBase* record);
SQLRETURN ImplFreeStmt(HandleBase* record, SQLUSMALLINT option);
SQLRETURN ImplFreeStmtHandle(HandleBase* record);
SQLRETURN ImplGetConnectAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER max, SQLINTEGER* len,
                             TextMode mode);
SQLRETURN ImplGetConnectOption(HandleBase* record, SQLUSMALLINT option, SQLPOINTER value, TextMode mode);
SQLRETURN ImplGetCursorName(HandleBase* record, SQLCHAR* buf, SQLSMALLINT max, SQLSMALLINT* len);
SQLRETURN ImplGetData(HandleBase* record, SQLUSMALLINT column, SQLSMALLINT cType, SQLPOINTER target, SQLLEN max,
                      SQLLEN* ind);
SQLRETURN ImplGetDescField(HandleBase* record, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value, SQLINTEGER bufLen,
                           SQLINTEGER* lenPtr, TextMode mode);
SQLRETURN ImplGetDescRec(HandleBase* record, SQLSMALLINT rec, void* name, SQLSMALLINT bufLen, SQLSMALLINT* nameLen,
                         SQLSMALLINT* type, SQLSMALLINT* subType, SQLLEN* length, SQLSMALLINT* precision,
                         SQLSMALLINT* scale, SQLSMALLINT* nullable, TextMode mode);
SQLRETURN ImplGetDiagField(HandleBase* record, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER value, SQLSMALLINT max,
                           SQLSMALLINT* len, TextMode mode);
SQLRETURN ImplGetDiagRec(HandleBase* record, SQLSMALLINT rec, SQLCHAR* state, SQLINTEGER* native, SQLCHAR* msg,
                         SQLSMALLINT max, SQLSMALLINT* len);
SQLRETURN ImplGetEnvAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER max, SQLINTEGER* len);
SQLRETURN ImplGetFunctions(HandleBase* record, SQLUSMALLINT id, SQLUSMALLINT* out);
SQLRETURN ImplGetInfo(HandleBase* record, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* len,
                      TextMode mode);
SQLRETURN ImplGetStmtAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER bufLen, SQLINTEGER* len);
SQLRETURN ImplGetStmtOption(HandleBase* record, SQLUSMALLINT option, SQLPOINTER value);
SQLRETURN ImplGetTypeInfo(HandleBase* record, SQLSMALLINT sqlType);
SQLRETURN ImplMoreResults(HandleBase* record);
SQLRETURN ImplNativeSql(HandleBase* record, SQLCHAR* in, SQLINTEGER inLen, SQLCHAR* out, SQLINTEGER outMax,
                        SQLINTEGER* outLen);
SQLRETURN ImplNumParams(HandleBase* record, SQLSMALLINT* count);
SQLRETURN ImplNumResultCols(HandleBase* record, SQLSMALLINT* count);
SQLRETURN ImplParamData(HandleBase* record, SQLPOINTER* valueOut);
SQLRETURN ImplParamOptions(HandleBase* record, SQLULEN crow, SQLULEN* pirow);
SQLRETURN ImplPrepare(HandleBase* record, SQLCHAR* text, SQLINTEGER len);
SQLRETURN ImplPrimaryKeys(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                          SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen);
SQLRETURN ImplProcedureColumns(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                               SQLSMALLINT schemaLen, SQLCHAR* procedure, SQLSMALLINT procedureLen, SQLCHAR* column,
                               SQLSMALLINT columnLen);
SQLRETURN ImplProcedures(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                         SQLSMALLINT schemaLen, SQLCHAR* procedure, SQLSMALLINT procedureLen);
SQLRETURN ImplPutData(HandleBase* record, SQLPOINTER data, SQLLEN length);
SQLRETURN ImplRowCount(HandleBase* record, SQLLEN* count);
SQLRETURN ImplSetConnectAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length, TextMode mode);
SQLRETURN ImplSetConnectOption(HandleBase* record, SQLUSMALLINT option, SQLULEN value, TextMode mode);
SQLRETURN ImplSetCursorName(HandleBase* record, SQLCHAR* name, SQLSMALLINT len);
SQLRETURN ImplSetDescField(HandleBase* record, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value, SQLINTEGER len,
                           TextMode mode);
SQLRETURN ImplSetDescRec(HandleBase* record, SQLSMALLINT rec, SQLSMALLINT type, SQLSMALLINT subType, SQLLEN length,
                         SQLSMALLINT precision, SQLSMALLINT scale, SQLPOINTER data, SQLLEN* octPtr, SQLLEN* indPtr);
SQLRETURN ImplSetEnvAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length);
SQLRETURN ImplSetParam(HandleBase* record, SQLUSMALLINT number, SQLSMALLINT cType, SQLSMALLINT sqlType,
                       SQLULEN columnSize, SQLSMALLINT digits, SQLPOINTER value, SQLLEN* lenInd);
SQLRETURN ImplSetPos(HandleBase* record, SQLSETPOSIROW row, SQLUSMALLINT operation, SQLUSMALLINT lock);
SQLRETURN ImplSetStmtAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len, TextMode mode);
SQLRETURN ImplSetStmtOption(HandleBase* record, SQLUSMALLINT option, SQLULEN value);
SQLRETURN ImplSpecialColumns(HandleBase* record, SQLUSMALLINT colType, SQLCHAR* catalog, SQLSMALLINT catalogLen,
                             SQLCHAR* schema, SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen,
                             SQLUSMALLINT scope, SQLUSMALLINT nullable);
SQLRETURN ImplStatistics(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                         SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLUSMALLINT unique,
                         SQLUSMALLINT accuracy);
SQLRETURN ImplTablePrivileges(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                              SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen);
SQLRETURN ImplTables(HandleBase* record, SQLCHAR* catalog, SQLSMALLINT catalogLen, SQLCHAR* schema,
                     SQLSMALLINT schemaLen, SQLCHAR* table, SQLSMALLINT tableLen, SQLCHAR* type, SQLSMALLINT typeLen);
SQLRETURN ImplTransact(HandleBase* record, SQLUSMALLINT type);

extern const ApiCallOf<ImplAllocConnect> kRecAllocConnect;
extern const ApiCallOf<ImplAllocEnv> kRecAllocEnv;
extern const ApiCallOf<ImplAllocStmt> kRecAllocStmt;
extern const ApiCallOf<ImplBindCol> kRecBindCol;
extern const ApiCallOf<ImplBindParameter> kRecBindParameter;
extern const ApiCallOf<ImplBulkOperations> kRecBulkOperations;
extern const ApiCallOf<ImplCloseCursor> kRecCloseCursor;
extern const ApiCallOf<ImplColAttribute> kRecColAttribute;
extern const ApiCallOf<ImplColAttribute> kRecColAttributeW;
extern const ApiCallOf<ImplColAttributes> kRecColAttributes;
extern const ApiCallOf<ImplColAttributes> kRecColAttributesW;
extern const ApiCallOf<ImplColumnPrivileges> kRecColumnPrivileges;
extern const ApiCallOf<ImplColumnPrivileges> kRecColumnPrivilegesW;
extern const ApiCallOf<ImplColumns> kRecColumns;
extern const ApiCallOf<ImplColumns> kRecColumnsW;
extern const ApiCallOf<ImplConnect> kRecConnect;
extern const ApiCallOf<ImplConnect> kRecConnectW;
extern const ApiCallOf<ImplCopyDesc> kRecCopyDesc;
extern const ApiCallOf<ImplDescribeCol> kRecDescribeCol;
extern const ApiCallOf<ImplDescribeCol> kRecDescribeColW;
extern const ApiCallOf<ImplDescribeParam> kRecDescribeParam;
extern const ApiCallOf<ImplDisconnect> kRecDisconnect;
extern const ApiCallOf<ImplDriverConnect> kRecDriverConnect;
extern const ApiCallOf<ImplDriverConnect> kRecDriverConnectW;
extern const ApiCallOf<ImplError> kRecErrorEnv;
extern const ApiCallOf<ImplError> kRecErrorDbc;
extern const ApiCallOf<ImplError> kRecErrorStmt;
extern const ApiCallOf<ImplError> kRecErrorWEnv;
extern const ApiCallOf<ImplError> kRecErrorWDbc;
extern const ApiCallOf<ImplError> kRecErrorWStmt;
extern const ApiCallOf<ImplExecDirect> kRecExecDirect;
extern const ApiCallOf<ImplExecDirect> kRecExecDirectW;
extern const ApiCallOf<ImplPrepare> kRecPrepare;
extern const ApiCallOf<ImplPrepare> kRecPrepareW;
extern const ApiCallOf<ImplExecute> kRecExecute;
extern const ApiCallOf<ImplFetch> kRecFetch;
extern const ApiCallOf<ImplMoreResults> kRecMoreResults;
extern const ApiCallOf<ImplExtendedFetch> kRecExtendedFetch;
extern const ApiCallOf<ImplFetchScroll> kRecFetchScroll;
extern const ApiCallOf<ImplForeignKeys> kRecForeignKeys;
extern const ApiCallOf<ImplForeignKeys> kRecForeignKeysW;
extern const ApiCallOf<ImplFreeConnect> kRecFreeConnect;
extern const ApiCallOf<ImplFreeEnv> kRecFreeEnv;
extern const ApiCallOf<ImplFreeStmt> kRecFreeStmt;
extern const ApiCallOf<ImplGetConnectAttr> kRecGetConnectAttr;
extern const ApiCallOf<ImplGetConnectAttr> kRecGetConnectAttrW;
extern const ApiCallOf<ImplGetConnectOption> kRecGetConnectOption;
extern const ApiCallOf<ImplGetConnectOption> kRecGetConnectOptionW;
extern const ApiCallOf<ImplGetCursorName> kRecGetCursorName;
extern const ApiCallOf<ImplGetCursorName> kRecGetCursorNameW;
extern const ApiCallOf<ImplGetData> kRecGetData;
extern const ApiCallOf<ImplGetDescField> kRecGetDescField;
extern const ApiCallOf<ImplGetDescField> kRecGetDescFieldW;
extern const ApiCallOf<ImplGetDescRec> kRecGetDescRec;
extern const ApiCallOf<ImplGetDescRec> kRecGetDescRecW;
extern const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldEnv;
extern const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldDbc;
extern const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldStmt;
extern const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldDesc;
extern const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWEnv;
extern const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWDbc;
extern const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWStmt;
extern const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWDesc;
extern const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecEnv;
extern const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecDbc;
extern const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecStmt;
extern const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecDesc;
extern const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWEnv;
extern const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWDbc;
extern const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWStmt;
extern const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWDesc;
extern const ApiCallOf<ImplGetEnvAttr> kRecGetEnvAttr;
extern const ApiCallOf<ImplGetFunctions> kRecGetFunctions;
extern const ApiCallOf<ImplGetInfo> kRecGetInfo;
extern const ApiCallOf<ImplGetInfo> kRecGetInfoW;
extern const ApiCallOf<ImplGetStmtAttr> kRecGetStmtAttr;
extern const ApiCallOf<ImplGetStmtAttr> kRecGetStmtAttrW;
extern const ApiCallOf<ImplGetStmtOption> kRecGetStmtOption;
extern const ApiCallOf<ImplGetTypeInfo> kRecGetTypeInfo;
extern const ApiCallOf<ImplGetTypeInfo> kRecGetTypeInfoW;
extern const ApiCallOf<ImplNativeSql> kRecNativeSql;
extern const ApiCallOf<ImplNativeSql> kRecNativeSqlW;
extern const ApiCallOf<ImplNumParams> kRecNumParams;
extern const ApiCallOf<ImplNumResultCols> kRecNumResultCols;
extern const ApiCallOf<ImplParamData> kRecParamData;
extern const ApiCallOf<ImplParamOptions> kRecParamOptions;
extern const ApiCallOf<ImplPrimaryKeys> kRecPrimaryKeys;
extern const ApiCallOf<ImplPrimaryKeys> kRecPrimaryKeysW;
extern const ApiCallOf<ImplTablePrivileges> kRecTablePrivileges;
extern const ApiCallOf<ImplTablePrivileges> kRecTablePrivilegesW;
extern const ApiCallOf<ImplProcedureColumns> kRecProcedureColumns;
extern const ApiCallOf<ImplProcedureColumns> kRecProcedureColumnsW;
extern const ApiCallOf<ImplProcedures> kRecProcedures;
extern const ApiCallOf<ImplProcedures> kRecProceduresW;
extern const ApiCallOf<ImplPutData> kRecPutData;
extern const ApiCallOf<ImplRowCount> kRecRowCount;
extern const ApiCallOf<ImplSetConnectAttr> kRecSetConnectAttr;
extern const ApiCallOf<ImplSetConnectAttr> kRecSetConnectAttrW;
extern const ApiCallOf<ImplSetConnectOption> kRecSetConnectOption;
extern const ApiCallOf<ImplSetConnectOption> kRecSetConnectOptionW;
extern const ApiCallOf<ImplSetCursorName> kRecSetCursorName;
extern const ApiCallOf<ImplSetCursorName> kRecSetCursorNameW;
extern const ApiCallOf<ImplSetDescField> kRecSetDescField;
extern const ApiCallOf<ImplSetDescField> kRecSetDescFieldW;
extern const ApiCallOf<ImplSetDescRec> kRecSetDescRec;
extern const ApiCallOf<ImplSetEnvAttr> kRecSetEnvAttr;
extern const ApiCallOf<ImplSetParam> kRecSetParam;
extern const ApiCallOf<ImplSetPos> kRecSetPos;
extern const ApiCallOf<ImplSetStmtAttr> kRecSetStmtAttr;
extern const ApiCallOf<ImplSetStmtAttr> kRecSetStmtAttrW;
extern const ApiCallOf<ImplSetStmtOption> kRecSetStmtOption;
extern const ApiCallOf<ImplSpecialColumns> kRecSpecialColumns;
extern const ApiCallOf<ImplSpecialColumns> kRecSpecialColumnsW;
extern const ApiCallOf<ImplStatistics> kRecStatistics;
extern const ApiCallOf<ImplStatistics> kRecStatisticsW;
extern const ApiCallOf<ImplTables> kRecTables;
extern const ApiCallOf<ImplTables> kRecTablesW;
extern const ApiCallOf<ImplTransact> kRecTransactEnv;
extern const ApiCallOf<ImplTransact> kRecTransactDbc;
extern const ApiCallOf<ImplAllocHandleEnv> kRecAllocHandle1;
extern const ApiCallOf<ImplAllocConnect> kRecAllocHandle2;
extern const ApiCallOf<ImplAllocStmt> kRecAllocHandle3;
extern const ApiCallOf<ImplAllocDesc> kRecAllocHandle4;
extern const ApiCallOf<ImplFreeEnv> kRecFreeHandle1;
extern const ApiCallOf<ImplFreeConnect> kRecFreeHandle2;
extern const ApiCallOf<ImplFreeStmtHandle> kRecFreeHandle3;
extern const ApiCallOf<ImplFreeDesc> kRecFreeHandle4;

// The record of a diagnostics call for the handle type, or null for an unknown type.
template <class Record>
const Record* DiagCallRecord(SQLSMALLINT type, const Record& env, const Record& dbc, const Record& stmt,
                             const Record& desc) {
    switch (type) {
        case SQL_HANDLE_ENV:
            return &env;
        case SQL_HANDLE_DBC:
            return &dbc;
        case SQL_HANDLE_STMT:
            return &stmt;
        case SQL_HANDLE_DESC:
            return &desc;
        default:
            return nullptr;
    }
}

// Every record, for tests and the trace.
extern const ApiCallRecord* const kAllApiRecords[];
extern const unsigned kApiRecordCount;
