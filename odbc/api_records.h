#pragma once
// The static API call records, one per exported name (and handle kind), and the
// implementations they name. The records are constants each export sees: its call's handle kind
// and implementation are known where it is compiled.
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

inline constexpr ApiCallOf<ImplAllocConnect> kRecAllocConnect{"AllocConnect", "phdbc=%08lX", 1, kApiEnv,
                                                              ImplAllocConnect};
inline constexpr ApiCallOf<ImplAllocEnv> kRecAllocEnv{"AllocEnv", "phenv=%lX", 1, kApiNone, ImplAllocEnv};
inline constexpr ApiCallOf<ImplAllocStmt> kRecAllocStmt{"AllocStmt", "phstmt=%lX", 1, kApiConn, ImplAllocStmt};
inline constexpr ApiCallOf<ImplBindCol> kRecBindCol{
    "BindCol", "icol=%u fCType=%d rgbValue=%lX cbValueMax=%ld pcbValue=%lX", 1, kApiStmt, ImplBindCol};
inline constexpr ApiCallOf<ImplBindParameter> kRecBindParameter{
    "BindParameter",
    "ipar=%u fParamType=%d fCType=%d fSqlType=%d cbColDef=%lu ibScale=%d rgbValue=%lX cbValueMax=%lu pcbValue=%lX", 1,
    kApiStmt, ImplBindParameter};
inline constexpr ApiCallOf<ImplBulkOperations> kRecBulkOperations{"BulkOperations", "op=%u", 1, kApiStmt,
                                                                  ImplBulkOperations};
inline constexpr ApiCallOf<ImplCloseCursor> kRecCloseCursor{"CloseCursor", "", 1, kApiStmt, ImplCloseCursor};
inline constexpr ApiCallOf<ImplColAttribute> kRecColAttribute{
    "ColAttribute", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt,
    ImplColAttribute};
inline constexpr ApiCallOf<ImplColAttribute> kRecColAttributeW{
    "ColAttributeW", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt,
    ImplColAttribute};
inline constexpr ApiCallOf<ImplColAttributes> kRecColAttributes{
    "ColAttributes", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt,
    ImplColAttributes};
inline constexpr ApiCallOf<ImplColAttributes> kRecColAttributesW{
    "ColAttributesW", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt,
    ImplColAttributes};
inline constexpr ApiCallOf<ImplColumnPrivileges> kRecColumnPrivileges{
    "ColumnPrivileges",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d "
    "szColumnName=%lX cbColumnName=%d",
    1, kApiStmt, ImplColumnPrivileges};
inline constexpr ApiCallOf<ImplColumnPrivileges> kRecColumnPrivilegesW{
    "ColumnPrivilegesW",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d "
    "szColumnName=%lX cbColumnName=%d",
    1, kApiStmt, ImplColumnPrivileges};
inline constexpr ApiCallOf<ImplColumns> kRecColumns{
    "Columns",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d "
    "szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d",
    1, kApiStmt, ImplColumns};
inline constexpr ApiCallOf<ImplColumns> kRecColumnsW{
    "ColumnsW",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d "
    "szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d",
    1, kApiStmt, ImplColumns};
inline constexpr ApiCallOf<ImplConnect> kRecConnect{
    "Connect", "szDSN=%lX cbDSN=%d szUID=%lX cbUID=%d szPWD=%lX cbPWD=%d", 1, kApiConn, ImplConnect};
inline constexpr ApiCallOf<ImplConnect> kRecConnectW{
    "ConnectW", "szDSN=%lX cbDSN=%d szUID=%lX cbUID=%d szPWD=%lX cbPWD=%d", 1, kApiConn, ImplConnect};
inline constexpr ApiCallOf<ImplCopyDesc> kRecCopyDesc{"CopyDesc", "TargetDescHandle=%lX", kResetAnswersOnTarget,
                                                      kApiDesc, ImplCopyDesc};
inline constexpr ApiCallOf<ImplDescribeCol> kRecDescribeCol{
    "DescribeCol",
    "icol=%u szColName=%lX cbColNameMax=%d pcbColName=%lX pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1,
    kApiStmt, ImplDescribeCol};
inline constexpr ApiCallOf<ImplDescribeCol> kRecDescribeColW{
    "DescribeColW",
    "icol=%u szColName=%lX cbColNameMax=%d pcbColName=%lX pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1,
    kApiStmt, ImplDescribeCol};
inline constexpr ApiCallOf<ImplDescribeParam> kRecDescribeParam{
    "DescribeParam", "ipar=%u pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1, kApiStmt, ImplDescribeParam};
inline constexpr ApiCallOf<ImplDisconnect> kRecDisconnect{"Disconnect", "", 1, kApiConn, ImplDisconnect};
inline constexpr ApiCallOf<ImplDriverConnect> kRecDriverConnect{
    "DriverConnect",
    "HWND=%p szConnStrIn=%lX cbConnStrIn=%d szConnStrOut=%lX "
    "cbConnStrOutMax=%d pcbConnStrOutMax=%lX fDriverCompletion=%u",
    1, kApiConn, ImplDriverConnect};
inline constexpr ApiCallOf<ImplDriverConnect> kRecDriverConnectW{
    "DriverConnectW",
    "HWND=%x szConnStrIn=%lX cbConnStrIn=%d szConnStrOut=%lX "
    "cbConnStrOutMax=%d pcbConnStrOutMax=%lX fDriverCompletion=%u",
    1, kApiConn, ImplDriverConnect};
inline constexpr ApiCallOf<ImplError> kRecErrorEnv{
    "Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiEnv, ImplError};
inline constexpr ApiCallOf<ImplError> kRecErrorDbc{
    "Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiConn, ImplError};
inline constexpr ApiCallOf<ImplError> kRecErrorStmt{
    "Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiStmt, ImplError};
inline constexpr ApiCallOf<ImplError> kRecErrorWEnv{
    "ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiEnv, ImplError};
inline constexpr ApiCallOf<ImplError> kRecErrorWDbc{
    "ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiConn, ImplError};
inline constexpr ApiCallOf<ImplError> kRecErrorWStmt{
    "ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiStmt, ImplError};
inline constexpr ApiCallOf<ImplExecDirect> kRecExecDirect{"ExecDirect", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt,
                                                          ImplExecDirect};
inline constexpr ApiCallOf<ImplExecDirect> kRecExecDirectW{"ExecDirectW", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt,
                                                           ImplExecDirect};
inline constexpr ApiCallOf<ImplPrepare> kRecPrepare{"Prepare", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt, ImplPrepare};
inline constexpr ApiCallOf<ImplPrepare> kRecPrepareW{"PrepareW", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt, ImplPrepare};
inline constexpr ApiCallOf<ImplExecute> kRecExecute{"Execute", "", 1, kApiStmt, ImplExecute};
inline constexpr ApiCallOf<ImplFetch> kRecFetch{"Fetch", "", 1, kApiStmt, ImplFetch};
inline constexpr ApiCallOf<ImplMoreResults> kRecMoreResults{"MoreResults", "", 1, kApiStmt, ImplMoreResults};
inline constexpr ApiCallOf<ImplExtendedFetch> kRecExtendedFetch{
    "ExtendedFetch", "fFetchType=%u irow=%ld pcrow=%lX rgfRowStatus=%lX", 1, kApiStmt, ImplExtendedFetch};
inline constexpr ApiCallOf<ImplFetchScroll> kRecFetchScroll{"FetchScroll", "fOrient=%d, fOffset=%ld", 1, kApiStmt,
                                                            ImplFetchScroll};
inline constexpr ApiCallOf<ImplForeignKeys> kRecForeignKeys{
    "ForeignKeys",
    "szPkTQual=%lX cbPkTQual=%d szPkTOwn=%lX cbPkTOwn=%d szPkTName=%lX cbPkTName=%d szFkTQual=%lX cbFkTQual=%d "
    "szFkTOwn=%lX cbFkTOwn=%d szFkTName=%lX cbFkTName=%d",
    1, kApiStmt, ImplForeignKeys};
inline constexpr ApiCallOf<ImplForeignKeys> kRecForeignKeysW{
    "ForeignKeysW",
    "szPkTQual=%lX cbPkTQual=%d szPkTOwn=%lX cbPkTOwn=%d szPkTName=%lX cbPkTName=%d szFkTQual=%lX cbFkTQual=%d "
    "szFkTOwn=%lX cbFkTOwn=%d szFkTName=%lX cbFkTName=%d",
    1, kApiStmt, ImplForeignKeys};
inline constexpr ApiCallOf<ImplFreeConnect> kRecFreeConnect{"FreeConnect", "", 1, kApiConn, ImplFreeConnect};
inline constexpr ApiCallOf<ImplFreeEnv> kRecFreeEnv{"FreeEnv", "", 1, kApiEnv, ImplFreeEnv};
inline constexpr ApiCallOf<ImplFreeStmt> kRecFreeStmt{"FreeStmt", "fOption=%u", 1, kApiStmt, ImplFreeStmt};
inline constexpr ApiCallOf<ImplGetConnectAttr> kRecGetConnectAttr{
    "GetConnectAttr", "Attribute=%u ValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 1, kApiConn, ImplGetConnectAttr};
inline constexpr ApiCallOf<ImplGetConnectAttr> kRecGetConnectAttrW{
    "GetConnectAttrW", "Attribute=%u ValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 1, kApiConn,
    ImplGetConnectAttr};
inline constexpr ApiCallOf<ImplGetConnectOption> kRecGetConnectOption{"GetConnectOption", "fOption=%u pvParam=%lX", 1,
                                                                      kApiConn, ImplGetConnectOption};
inline constexpr ApiCallOf<ImplGetConnectOption> kRecGetConnectOptionW{"GetConnectOptionW", "fOption=%u pvParam=%lX", 1,
                                                                       kApiConn, ImplGetConnectOption};
inline constexpr ApiCallOf<ImplGetCursorName> kRecGetCursorName{
    "GetCursorName", "szCursor=%lX cbCursorMax=%d pcbCursor=%lX", 1, kApiStmt, ImplGetCursorName};
inline constexpr ApiCallOf<ImplGetCursorName> kRecGetCursorNameW{
    "GetCursorNameW", "szCursor=%lX cbCursorMax=%d pcbCursor=%lX", 1, kApiStmt, ImplGetCursorName};
inline constexpr ApiCallOf<ImplGetData> kRecGetData{
    "GetData", "icol=%u fCType=%d rgbValue=%lX cbValueMax=%ld pcbValue=%lX", 1, kApiStmt, ImplGetData};
inline constexpr ApiCallOf<ImplGetDescField> kRecGetDescField{
    "GetDescField", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 1, kApiDesc,
    ImplGetDescField};
inline constexpr ApiCallOf<ImplGetDescField> kRecGetDescFieldW{
    "GetDescFieldW", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 1, kApiDesc,
    ImplGetDescField};
inline constexpr ApiCallOf<ImplGetDescRec> kRecGetDescRec{
    "GetDescRec",
    "RecNumber=%d\nName=%lX BufferLength=%d StringLengthPtr=%lX\nTypePtr=%lX SubTypePtr=%lX "
    "LengthPtr=%lX\nPrecisionPtr=%lX ScalePtr=%lX NullablePtr=%lX",
    1, kApiDesc, ImplGetDescRec};
inline constexpr ApiCallOf<ImplGetDescRec> kRecGetDescRecW{
    "GetDescRecW",
    "RecNumber=%d\nName=%lX BufferLength=%d StringLengthPtr=%lX\nTypePtr=%lX SubTypePtr=%lX "
    "LengthPtr=%lX\nPrecisionPtr=%lX ScalePtr=%lX NullablePtr=%lX",
    1, kApiDesc, ImplGetDescRec};
inline constexpr ApiCallOf<ImplGetDiagField> kRecGetDiagFieldEnv{
    "GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiEnv, ImplGetDiagField};
inline constexpr ApiCallOf<ImplGetDiagField> kRecGetDiagFieldDbc{
    "GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiConn, ImplGetDiagField};
inline constexpr ApiCallOf<ImplGetDiagField> kRecGetDiagFieldStmt{
    "GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiStmt, ImplGetDiagField};
inline constexpr ApiCallOf<ImplGetDiagField> kRecGetDiagFieldDesc{
    "GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiDesc, ImplGetDiagField};
inline constexpr ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWEnv{
    "GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiEnv, ImplGetDiagField};
inline constexpr ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWDbc{
    "GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiConn, ImplGetDiagField};
inline constexpr ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWStmt{
    "GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiStmt, ImplGetDiagField};
inline constexpr ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWDesc{
    "GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiDesc, ImplGetDiagField};
inline constexpr ApiCallOf<ImplGetDiagRec> kRecGetDiagRecEnv{
    "GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiEnv, ImplGetDiagRec};
inline constexpr ApiCallOf<ImplGetDiagRec> kRecGetDiagRecDbc{
    "GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiConn, ImplGetDiagRec};
inline constexpr ApiCallOf<ImplGetDiagRec> kRecGetDiagRecStmt{
    "GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiStmt, ImplGetDiagRec};
inline constexpr ApiCallOf<ImplGetDiagRec> kRecGetDiagRecDesc{
    "GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiDesc, ImplGetDiagRec};
inline constexpr ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWEnv{
    "GetDiagRecW",
    "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiEnv, ImplGetDiagRec};
inline constexpr ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWDbc{
    "GetDiagRecW",
    "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiConn, ImplGetDiagRec};
inline constexpr ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWStmt{
    "GetDiagRecW",
    "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiStmt, ImplGetDiagRec};
inline constexpr ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWDesc{
    "GetDiagRecW",
    "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiDesc, ImplGetDiagRec};
inline constexpr ApiCallOf<ImplGetEnvAttr> kRecGetEnvAttr{
    "GetEnvAttr", "Attribute=%ld ValuePtr=%lX BufferLength=%ld, StringLengthPtr=%lX", 1, kApiEnv, ImplGetEnvAttr};
inline constexpr ApiCallOf<ImplGetFunctions> kRecGetFunctions{"GetFunctions", "fFunction=%u pfExists=%lX", 1, kApiConn,
                                                              ImplGetFunctions};
inline constexpr ApiCallOf<ImplGetInfo> kRecGetInfo{
    "GetInfo", "fInfoType=%u rgbInfoValue=%lX cbInfoValueMax=%d pcbInfoValue=%lX", 1, kApiConn, ImplGetInfo};
inline constexpr ApiCallOf<ImplGetInfo> kRecGetInfoW{
    "GetInfoW", "fInfoType=%u rgbInfoValue=%lX cbInfoValueMax=%d pcbInfoValue=%lX", 1, kApiConn, ImplGetInfo};
inline constexpr ApiCallOf<ImplGetStmtAttr> kRecGetStmtAttr{
    "GetStmtAttr", "Attribute=%ld ValuePtr=%08lX BufferLength=%ld StringLengthPtr=%08lX", 1, kApiStmt, ImplGetStmtAttr};
inline constexpr ApiCallOf<ImplGetStmtAttr> kRecGetStmtAttrW{
    "GetStmtAttrW", "Attribute=%ld ValuePtr=%08lX BufferLength=%ld StringLengthPtr=%08lX", 1, kApiStmt,
    ImplGetStmtAttr};
inline constexpr ApiCallOf<ImplGetStmtOption> kRecGetStmtOption{"GetStmtOption", "fOption=%u pvParam=%08lX", 1,
                                                                kApiStmt, ImplGetStmtOption};
inline constexpr ApiCallOf<ImplGetTypeInfo> kRecGetTypeInfo{"GetTypeInfo", "fSqlType=%d", 1, kApiStmt, ImplGetTypeInfo};
inline constexpr ApiCallOf<ImplGetTypeInfo> kRecGetTypeInfoW{"GetTypeInfoW", "fSqlType=%d", 1, kApiStmt,
                                                             ImplGetTypeInfo};
inline constexpr ApiCallOf<ImplNativeSql> kRecNativeSql{
    "NativeSql", "szSqlIn=%lX cbSqlIn=%ld szSqlStr=%lX cbSqlStrMax=%ld pcbSqlStr=%lX", 1, kApiConn, ImplNativeSql};
inline constexpr ApiCallOf<ImplNativeSql> kRecNativeSqlW{
    "NativeSqlW", "szSqlIn=%lX cbSqlIn=%ld szSqlStr=%lX cbSqlStrMax=%ld pcbSqlStr=%lX", 1, kApiConn, ImplNativeSql};
inline constexpr ApiCallOf<ImplNumParams> kRecNumParams{"NumParams", "pcpar=%lX", 1, kApiStmt, ImplNumParams};
inline constexpr ApiCallOf<ImplNumResultCols> kRecNumResultCols{"NumResultCols", "pccol=%lX", 1, kApiStmt,
                                                                ImplNumResultCols};
inline constexpr ApiCallOf<ImplParamData> kRecParamData{"ParamData", "prgbValue=%lX", 1, kApiStmt, ImplParamData};
inline constexpr ApiCallOf<ImplParamOptions> kRecParamOptions{"ParamOptions", "crow=%lu pirow=%lX", 1, kApiStmt,
                                                              ImplParamOptions};
inline constexpr ApiCallOf<ImplPrimaryKeys> kRecPrimaryKeys{
    "PrimaryKeys",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1,
    kApiStmt, ImplPrimaryKeys};
inline constexpr ApiCallOf<ImplPrimaryKeys> kRecPrimaryKeysW{
    "PrimaryKeysW",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1,
    kApiStmt, ImplPrimaryKeys};
inline constexpr ApiCallOf<ImplTablePrivileges> kRecTablePrivileges{
    "TablePrivileges",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1,
    kApiStmt, ImplTablePrivileges};
inline constexpr ApiCallOf<ImplTablePrivileges> kRecTablePrivilegesW{
    "TablePrivilegesW",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1,
    kApiStmt, ImplTablePrivileges};
inline constexpr ApiCallOf<ImplProcedureColumns> kRecProcedureColumns{
    "ProcedureColumns",
    "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d "
    "szColumnName=%lX cbColumnName=%d",
    1, kApiStmt, ImplProcedureColumns};
inline constexpr ApiCallOf<ImplProcedureColumns> kRecProcedureColumnsW{
    "ProcedureColumnsW",
    "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d "
    "szColumnName=%lX cbColumnName=%d",
    1, kApiStmt, ImplProcedureColumns};
inline constexpr ApiCallOf<ImplProcedures> kRecProcedures{
    "Procedures", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d",
    1, kApiStmt, ImplProcedures};
inline constexpr ApiCallOf<ImplProcedures> kRecProceduresW{
    "ProceduresW", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d",
    1, kApiStmt, ImplProcedures};
inline constexpr ApiCallOf<ImplPutData> kRecPutData{"PutData", "rgbValue=%lX cbValue=%ld", 1, kApiStmt, ImplPutData};
inline constexpr ApiCallOf<ImplRowCount> kRecRowCount{"RowCount", "pcrow=%lX", 1, kApiStmt, ImplRowCount};
inline constexpr ApiCallOf<ImplSetConnectAttr> kRecSetConnectAttr{
    "SetConnectAttr", "Attribute=%u ValuePtr=%lX StringLength=%d", 1, kApiConn, ImplSetConnectAttr};
inline constexpr ApiCallOf<ImplSetConnectAttr> kRecSetConnectAttrW{
    "SetConnectAttrW", "Attribute=%u ValuePtr=%lX StringLength=%d", 1, kApiConn, ImplSetConnectAttr};
inline constexpr ApiCallOf<ImplSetConnectOption> kRecSetConnectOption{"SetConnectOption", "fOption=%u vParam=%lu", 1,
                                                                      kApiConn, ImplSetConnectOption};
inline constexpr ApiCallOf<ImplSetConnectOption> kRecSetConnectOptionW{"SetConnectOptionW", "fOption=%u vParam=%lu", 1,
                                                                       kApiConn, ImplSetConnectOption};
inline constexpr ApiCallOf<ImplSetCursorName> kRecSetCursorName{"SetCursorName", "szCursor=%lX cbCursor=%d", 1,
                                                                kApiStmt, ImplSetCursorName};
inline constexpr ApiCallOf<ImplSetCursorName> kRecSetCursorNameW{"SetCursorNameW", "szCursor=%lX cbCursor=%d", 1,
                                                                 kApiStmt, ImplSetCursorName};
inline constexpr ApiCallOf<ImplSetDescField> kRecSetDescField{
    "SetDescField", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX StringLength=%d", 1, kApiDesc, ImplSetDescField};
inline constexpr ApiCallOf<ImplSetDescField> kRecSetDescFieldW{
    "SetDescFieldW", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX StringLength=%d", 1, kApiDesc, ImplSetDescField};
inline constexpr ApiCallOf<ImplSetDescRec> kRecSetDescRec{"SetDescRec",
                                                          "RecNumber=%d\nType=%d SubType=%d Length=%d Precision=%d "
                                                          "Scale=%d\nDataPtr=%lX StringLengthPtr=%lX IndicatorPtr=%lX",
                                                          1, kApiDesc, ImplSetDescRec};
inline constexpr ApiCallOf<ImplSetEnvAttr> kRecSetEnvAttr{"SetEnvAttr", "Attribute=%ld ValuePtr=%lX StringLength=%ld",
                                                          1, kApiEnv, ImplSetEnvAttr};
inline constexpr ApiCallOf<ImplSetParam> kRecSetParam{
    "SetParam", "ipar=%u fCType=%d fSqlType=%d cbColDef=%lu ibScale=%d rgbValue=%lX pcbValue=%lX", 1, kApiStmt,
    ImplSetParam};
inline constexpr ApiCallOf<ImplSetPos> kRecSetPos{"SetPos", "irow=%u fOption=%u fLock=%u", 1, kApiStmt, ImplSetPos};
inline constexpr ApiCallOf<ImplSetStmtAttr> kRecSetStmtAttr{
    "SetStmtAttr", "Attribute=%ld ValuePtr=%08lX StringLength=%ld", 1, kApiStmt, ImplSetStmtAttr};
inline constexpr ApiCallOf<ImplSetStmtAttr> kRecSetStmtAttrW{
    "SetStmtAttrW", "Attribute=%ld ValuePtr=%08lX StringLength=%ld", 1, kApiStmt, ImplSetStmtAttr};
inline constexpr ApiCallOf<ImplSetStmtOption> kRecSetStmtOption{"SetStmtOption", "fOption=%u vParam=%08lX", 1, kApiStmt,
                                                                ImplSetStmtOption};
inline constexpr ApiCallOf<ImplSpecialColumns> kRecSpecialColumns{
    "SpecialColumns",
    "fColType=%u szTableQual=%lX cbTableQual=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d "
    "fScope=%u fNullable==%u",
    1, kApiStmt, ImplSpecialColumns};
inline constexpr ApiCallOf<ImplSpecialColumns> kRecSpecialColumnsW{
    "SpecialColumnsW",
    "fColType=%u szTableQual=%lX cbTableQual=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d "
    "fScope=%u fNullable==%u",
    1, kApiStmt, ImplSpecialColumns};
inline constexpr ApiCallOf<ImplStatistics> kRecStatistics{
    "Statistics",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX "
    "cbTableOwner=%d szTableName=%lX cbTableName=%d fUnique=%u fAccuracy=%u",
    1, kApiStmt, ImplStatistics};
inline constexpr ApiCallOf<ImplStatistics> kRecStatisticsW{
    "StatisticsW",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d "
    "fUnique=%u fAccuracy=%u",
    1, kApiStmt, ImplStatistics};
inline constexpr ApiCallOf<ImplTables> kRecTables{
    "Tables",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d "
    "szTableName=%lX cbTableName=%d szTableType=%lX cbTableType=%d",
    1, kApiStmt, ImplTables};
inline constexpr ApiCallOf<ImplTables> kRecTablesW{
    "TablesW",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d "
    "szTableName=%lX cbTableName=%d szTableType=%lX cbTableType=%d",
    1, kApiStmt, ImplTables};
inline constexpr ApiCallOf<ImplTransact> kRecTransactEnv{"Transact", "fType=%u", 1, kApiEnv, ImplTransact};
inline constexpr ApiCallOf<ImplTransact> kRecTransactDbc{"Transact", "fType=%u", 1, kApiConn, ImplTransact};
inline constexpr ApiCallOf<ImplAllocHandleEnv> kRecAllocHandle1{"AllocHandle", "handleType=1", 0, kApiNone,
                                                                ImplAllocHandleEnv};
inline constexpr ApiCallOf<ImplAllocConnect> kRecAllocHandle2{"AllocHandle", "handleType=2", 1, kApiEnv,
                                                              ImplAllocConnect};
inline constexpr ApiCallOf<ImplAllocStmt> kRecAllocHandle3{"AllocHandle", "handleType=3", 1, kApiConn, ImplAllocStmt};
inline constexpr ApiCallOf<ImplAllocDesc> kRecAllocHandle4{"AllocHandle", "handleType=4", 1, kApiConn, ImplAllocDesc};
inline constexpr ApiCallOf<ImplFreeEnv> kRecFreeHandle1{"FreeHandle", "handleType=1", 1, kApiEnv, ImplFreeEnv};
inline constexpr ApiCallOf<ImplFreeConnect> kRecFreeHandle2{"FreeHandle", "handleType=2", 1, kApiConn, ImplFreeConnect};
inline constexpr ApiCallOf<ImplFreeStmtHandle> kRecFreeHandle3{"FreeHandle", "handleType=3", 1, kApiStmt,
                                                               ImplFreeStmtHandle};
inline constexpr ApiCallOf<ImplFreeDesc> kRecFreeHandle4{"FreeHandle", "handleType=4", 1, kApiDesc, ImplFreeDesc};

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
