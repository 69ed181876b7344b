#include "odbc/api_records.h"

const ApiCallRecord kRecAllocConnect = {"AllocConnect", "phdbc=%08lX", 1, kApiEnv, ImplAllocConnect};
const ApiCallRecord kRecAllocEnv = {"AllocEnv", "phenv=%lX", 1, kApiNone, ImplAllocEnv};
const ApiCallRecord kRecAllocStmt = {"AllocStmt", "phstmt=%lX", 1, kApiConn, ImplAllocStmt};
const ApiCallRecord kRecBindCol = {"BindCol", "icol=%u fCType=%d rgbValue=%lX cbValueMax=%ld pcbValue=%lX", 1, kApiStmt, ImplBindCol};
const ApiCallRecord kRecBindParameter = {"BindParameter", "ipar=%u fParamType=%d fCType=%d fSqlType=%d cbColDef=%lu ibScale=%d rgbValue=%lX cbValueMax=%lu pcbValue=%lX", 1, kApiStmt, ImplBindParameter};
const ApiCallRecord kRecBulkOperations = {"BulkOperations", "op=%u", 1, kApiStmt, ImplBulkOperations};
const ApiCallRecord kRecCloseCursor = {"CloseCursor", "", 1, kApiStmt, ImplCloseCursor};
const ApiCallRecord kRecColAttribute = {"ColAttribute", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt, ImplColAttribute};
const ApiCallRecord kRecColAttributeW = {"ColAttributeW", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt, ImplColAttribute};
const ApiCallRecord kRecColAttributes = {"ColAttributes", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt, ImplColAttributes};
const ApiCallRecord kRecColAttributesW = {"ColAttributesW", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt, ImplColAttributes};
const ApiCallRecord kRecColumnPrivileges = {"ColumnPrivileges", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", 1, kApiStmt, ImplColumnPrivileges};
const ApiCallRecord kRecColumnPrivilegesW = {"ColumnPrivilegesW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", 1, kApiStmt, ImplColumnPrivileges};
const ApiCallRecord kRecColumns = {"Columns", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", 1, kApiStmt, ImplColumns};
const ApiCallRecord kRecColumnsW = {"ColumnsW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d", 1, kApiStmt, ImplColumns};
const ApiCallRecord kRecConnect = {"Connect", "szDSN=%lX cbDSN=%d szUID=%lX cbUID=%d szPWD=%lX cbPWD=%d", 1, kApiConn, ImplConnect};
const ApiCallRecord kRecConnectW = {"ConnectW", "szDSN=%lX cbDSN=%d szUID=%lX cbUID=%d szPWD=%lX cbPWD=%d", 1, kApiConn, ImplConnect};
const ApiCallRecord kRecCopyDesc = {"CopyDesc", "TargetDescHandle=%lX", 1, kApiDesc, ImplCopyDesc};
const ApiCallRecord kRecDescribeCol = {"DescribeCol", "icol=%u szColName=%lX cbColNameMax=%d pcbColName=%lX pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1, kApiStmt, ImplDescribeCol};
const ApiCallRecord kRecDescribeColW = {"DescribeColW", "icol=%u szColName=%lX cbColNameMax=%d pcbColName=%lX pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1, kApiStmt, ImplDescribeCol};
const ApiCallRecord kRecDescribeParam = {"DescribeParam", "ipar=%u pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1, kApiStmt, ImplDescribeParam};
const ApiCallRecord kRecDisconnect = {"Disconnect", "", 1, kApiConn, ImplDisconnect};
const ApiCallRecord kRecDriverConnect = {"DriverConnect", "HWND=%p szConnStrIn=%lX cbConnStrIn=%d szConnStrOut=%lX cbConnStrOutMax=%d pcbConnStrOutMax=%lX fDriverCompletion=%u", 1, kApiConn, ImplDriverConnect};
const ApiCallRecord kRecDriverConnectW = {"DriverConnectW", "HWND=%x szConnStrIn=%lX cbConnStrIn=%d szConnStrOut=%lX cbConnStrOutMax=%d pcbConnStrOutMax=%lX fDriverCompletion=%u", 1, kApiConn, ImplDriverConnect};
const ApiCallRecord kRecErrorEnv = {"Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 0, kApiEnv, ImplError};
const ApiCallRecord kRecErrorDbc = {"Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 0, kApiConn, ImplError};
const ApiCallRecord kRecErrorStmt = {"Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 0, kApiStmt, ImplError};
const ApiCallRecord kRecErrorWEnv = {"ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 0, kApiEnv, ImplError};
const ApiCallRecord kRecErrorWDbc = {"ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 0, kApiConn, ImplError};
const ApiCallRecord kRecErrorWStmt = {"ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", 0, kApiStmt, ImplError};
const ApiCallRecord kRecExecDirect = {"ExecDirect", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt, ImplExecDirect};
const ApiCallRecord kRecExecDirectW = {"ExecDirectW", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt, ImplExecDirect};
const ApiCallRecord kRecPrepare = {"Prepare", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt, ImplPrepare};
const ApiCallRecord kRecPrepareW = {"PrepareW", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt, ImplPrepare};
const ApiCallRecord kRecExecute = {"Execute", "", 1, kApiStmt, ImplExecute};
const ApiCallRecord kRecFetch = {"Fetch", "", 1, kApiStmt, ImplFetch};
const ApiCallRecord kRecMoreResults = {"MoreResults", "", 1, kApiStmt, ImplMoreResults};
const ApiCallRecord kRecExtendedFetch = {"ExtendedFetch", "fFetchType=%u irow=%ld pcrow=%lX rgfRowStatus=%lX", 1, kApiStmt, ImplExtendedFetch};
const ApiCallRecord kRecFetchScroll = {"FetchScroll", "fOrient=%d, fOffset=%ld", 1, kApiStmt, ImplFetchScroll};
const ApiCallRecord kRecForeignKeys = {"ForeignKeys", "szPkTQual=%lX cbPkTQual=%d szPkTOwn=%lX cbPkTOwn=%d szPkTName=%lX cbPkTName=%d szFkTQual=%lX cbFkTQual=%d szFkTOwn=%lX cbFkTOwn=%d szFkTName=%lX cbFkTName=%d", 1, kApiStmt, ImplForeignKeys};
const ApiCallRecord kRecForeignKeysW = {"ForeignKeysW", "szPkTQual=%lX cbPkTQual=%d szPkTOwn=%lX cbPkTOwn=%d szPkTName=%lX cbPkTName=%d szFkTQual=%lX cbFkTQual=%d szFkTOwn=%lX cbFkTOwn=%d szFkTName=%lX cbFkTName=%d", 1, kApiStmt, ImplForeignKeys};
const ApiCallRecord kRecFreeConnect = {"FreeConnect", "", 1, kApiConn, ImplFreeConnect};
const ApiCallRecord kRecFreeEnv = {"FreeEnv", "", 1, kApiEnv, ImplFreeEnv};
const ApiCallRecord kRecFreeStmt = {"FreeStmt", "fOption=%u", 1, kApiStmt, ImplFreeStmt};
const ApiCallRecord kRecGetConnectAttr = {"GetConnectAttr", "Attribute=%u ValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 1, kApiConn, ImplGetConnectAttr};
const ApiCallRecord kRecGetConnectAttrW = {"GetConnectAttrW", "Attribute=%u ValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 1, kApiConn, ImplGetConnectAttr};
const ApiCallRecord kRecGetConnectOption = {"GetConnectOption", "fOption=%u pvParam=%lX", 1, kApiConn, ImplGetConnectOption};
const ApiCallRecord kRecGetConnectOptionW = {"GetConnectOptionW", "fOption=%u pvParam=%lX", 1, kApiConn, ImplGetConnectOption};
const ApiCallRecord kRecGetCursorName = {"GetCursorName", "szCursor=%lX cbCursorMax=%d pcbCursor=%lX", 1, kApiStmt, ImplGetCursorName};
const ApiCallRecord kRecGetCursorNameW = {"GetCursorNameW", "szCursor=%lX cbCursorMax=%d pcbCursor=%lX", 1, kApiStmt, ImplGetCursorName};
const ApiCallRecord kRecGetData = {"GetData", "icol=%u fCType=%d rgbValue=%lX cbValueMax=%ld pcbValue=%lX", 1, kApiStmt, ImplGetData};
const ApiCallRecord kRecGetDescField = {"GetDescField", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 1, kApiDesc, ImplGetDescField};
const ApiCallRecord kRecGetDescFieldW = {"GetDescFieldW", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 1, kApiDesc, ImplGetDescField};
const ApiCallRecord kRecGetDescRec = {"GetDescRec", "RecNumber=%d\nName=%lX BufferLength=%d StringLengthPtr=%lX\nTypePtr=%lX SubTypePtr=%lX LengthPtr=%lX\nPrecisionPtr=%lX ScalePtr=%lX NullablePtr=%lX", 1, kApiDesc, ImplGetDescRec};
const ApiCallRecord kRecGetDescRecW = {"GetDescRecW", "RecNumber=%d\nName=%lX BufferLength=%d StringLengthPtr=%lX\nTypePtr=%lX SubTypePtr=%lX LengthPtr=%lX\nPrecisionPtr=%lX ScalePtr=%lX NullablePtr=%lX", 1, kApiDesc, ImplGetDescRec};
const ApiCallRecord kRecGetDiagFieldEnv = {"GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, kApiEnv, ImplGetDiagField};
const ApiCallRecord kRecGetDiagFieldDbc = {"GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, kApiConn, ImplGetDiagField};
const ApiCallRecord kRecGetDiagFieldStmt = {"GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, kApiStmt, ImplGetDiagField};
const ApiCallRecord kRecGetDiagFieldDesc = {"GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, kApiDesc, ImplGetDiagField};
const ApiCallRecord kRecGetDiagFieldWEnv = {"GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, kApiEnv, ImplGetDiagField};
const ApiCallRecord kRecGetDiagFieldWDbc = {"GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, kApiConn, ImplGetDiagField};
const ApiCallRecord kRecGetDiagFieldWStmt = {"GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, kApiStmt, ImplGetDiagField};
const ApiCallRecord kRecGetDiagFieldWDesc = {"GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX", 0, kApiDesc, ImplGetDiagField};
const ApiCallRecord kRecGetDiagRecEnv = {"GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, kApiEnv, ImplGetDiagRec};
const ApiCallRecord kRecGetDiagRecDbc = {"GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, kApiConn, ImplGetDiagRec};
const ApiCallRecord kRecGetDiagRecStmt = {"GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, kApiStmt, ImplGetDiagRec};
const ApiCallRecord kRecGetDiagRecDesc = {"GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, kApiDesc, ImplGetDiagRec};
const ApiCallRecord kRecGetDiagRecWEnv = {"GetDiagRecW", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, kApiEnv, ImplGetDiagRec};
const ApiCallRecord kRecGetDiagRecWDbc = {"GetDiagRecW", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, kApiConn, ImplGetDiagRec};
const ApiCallRecord kRecGetDiagRecWStmt = {"GetDiagRecW", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, kApiStmt, ImplGetDiagRec};
const ApiCallRecord kRecGetDiagRecWDesc = {"GetDiagRecW", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX", 0, kApiDesc, ImplGetDiagRec};
const ApiCallRecord kRecGetEnvAttr = {"GetEnvAttr", "Attribute=%ld ValuePtr=%lX BufferLength=%ld, StringLengthPtr=%lX", 1, kApiEnv, ImplGetEnvAttr};
const ApiCallRecord kRecGetFunctions = {"GetFunctions", "fFunction=%u pfExists=%lX", 1, kApiConn, ImplGetFunctions};
const ApiCallRecord kRecGetInfo = {"GetInfo", "fInfoType=%u rgbInfoValue=%lX cbInfoValueMax=%d pcbInfoValue=%lX", 1, kApiConn, ImplGetInfo};
const ApiCallRecord kRecGetInfoW = {"GetInfoW", "fInfoType=%u rgbInfoValue=%lX cbInfoValueMax=%d pcbInfoValue=%lX", 1, kApiConn, ImplGetInfo};
const ApiCallRecord kRecGetStmtAttr = {"GetStmtAttr", "Attribute=%ld ValuePtr=%08lX BufferLength=%ld StringLengthPtr=%08lX", 1, kApiStmt, ImplGetStmtAttr};
const ApiCallRecord kRecGetStmtAttrW = {"GetStmtAttrW", "Attribute=%ld ValuePtr=%08lX BufferLength=%ld StringLengthPtr=%08lX", 1, kApiStmt, ImplGetStmtAttr};
const ApiCallRecord kRecGetStmtOption = {"GetStmtOption", "fOption=%u pvParam=%08lX", 1, kApiStmt, ImplGetStmtOption};
const ApiCallRecord kRecGetTypeInfo = {"GetTypeInfo", "fSqlType=%d", 1, kApiStmt, ImplGetTypeInfo};
const ApiCallRecord kRecGetTypeInfoW = {"GetTypeInfoW", "fSqlType=%d", 1, kApiStmt, ImplGetTypeInfo};
const ApiCallRecord kRecNativeSql = {"NativeSql", "szSqlIn=%lX cbSqlIn=%ld szSqlStr=%lX cbSqlStrMax=%ld pcbSqlStr=%lX", 1, kApiConn, ImplNativeSql};
const ApiCallRecord kRecNativeSqlW = {"NativeSqlW", "szSqlIn=%lX cbSqlIn=%ld szSqlStr=%lX cbSqlStrMax=%ld pcbSqlStr=%lX", 1, kApiConn, ImplNativeSql};
const ApiCallRecord kRecNumParams = {"NumParams", "pcpar=%lX", 1, kApiStmt, ImplNumParams};
const ApiCallRecord kRecNumResultCols = {"NumResultCols", "pccol=%lX", 1, kApiStmt, ImplNumResultCols};
const ApiCallRecord kRecParamData = {"ParamData", "prgbValue=%lX", 1, kApiStmt, ImplParamData};
const ApiCallRecord kRecParamOptions = {"ParamOptions", "crow=%lu pirow=%lX", 1, kApiStmt, ImplParamOptions};
const ApiCallRecord kRecPrimaryKeys = {"PrimaryKeys", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1, kApiStmt, ImplPrimaryKeys};
const ApiCallRecord kRecPrimaryKeysW = {"PrimaryKeysW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1, kApiStmt, ImplPrimaryKeys};
const ApiCallRecord kRecTablePrivileges = {"TablePrivileges", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1, kApiStmt, ImplTablePrivileges};
const ApiCallRecord kRecTablePrivilegesW = {"TablePrivilegesW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1, kApiStmt, ImplTablePrivileges};
const ApiCallRecord kRecProcedureColumns = {"ProcedureColumns", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d szColumnName=%lX cbColumnName=%d", 1, kApiStmt, ImplProcedureColumns};
const ApiCallRecord kRecProcedureColumnsW = {"ProcedureColumnsW", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d szColumnName=%lX cbColumnName=%d", 1, kApiStmt, ImplProcedureColumns};
const ApiCallRecord kRecProcedures = {"Procedures", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d", 1, kApiStmt, ImplProcedures};
const ApiCallRecord kRecProceduresW = {"ProceduresW", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d", 1, kApiStmt, ImplProcedures};
const ApiCallRecord kRecPutData = {"PutData", "rgbValue=%lX cbValue=%ld", 1, kApiStmt, ImplPutData};
const ApiCallRecord kRecRowCount = {"RowCount", "pcrow=%lX", 1, kApiStmt, ImplRowCount};
const ApiCallRecord kRecSetConnectAttr = {"SetConnectAttr", "Attribute=%u ValuePtr=%lX StringLength=%d", 1, kApiConn, ImplSetConnectAttr};
const ApiCallRecord kRecSetConnectAttrW = {"SetConnectAttrW", "Attribute=%u ValuePtr=%lX StringLength=%d", 1, kApiConn, ImplSetConnectAttr};
const ApiCallRecord kRecSetConnectOption = {"SetConnectOption", "fOption=%u vParam=%lu", 1, kApiConn, ImplSetConnectOption};
const ApiCallRecord kRecSetConnectOptionW = {"SetConnectOptionW", "fOption=%u vParam=%lu", 1, kApiConn, ImplSetConnectOption};
const ApiCallRecord kRecSetCursorName = {"SetCursorName", "szCursor=%lX cbCursor=%d", 1, kApiStmt, ImplSetCursorName};
const ApiCallRecord kRecSetCursorNameW = {"SetCursorNameW", "szCursor=%lX cbCursor=%d", 1, kApiStmt, ImplSetCursorName};
const ApiCallRecord kRecSetDescField = {"SetDescField", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX StringLength=%d", 1, kApiDesc, ImplSetDescField};
const ApiCallRecord kRecSetDescFieldW = {"SetDescFieldW", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX StringLength=%d", 1, kApiDesc, ImplSetDescField};
const ApiCallRecord kRecSetDescRec = {"SetDescRec", "RecNumber=%d\nType=%d SubType=%d Length=%d Precision=%d Scale=%d\nDataPtr=%lX StringLengthPtr=%lX IndicatorPtr=%lX", 1, kApiDesc, ImplSetDescRec};
const ApiCallRecord kRecSetEnvAttr = {"SetEnvAttr", "Attribute=%ld ValuePtr=%lX StringLength=%ld", 1, kApiEnv, ImplSetEnvAttr};
const ApiCallRecord kRecSetParam = {"SetParam", "ipar=%u fCType=%d fSqlType=%d cbColDef=%lu ibScale=%d rgbValue=%lX pcbValue=%lX", 1, kApiStmt, ImplSetParam};
const ApiCallRecord kRecSetPos = {"SetPos", "irow=%u fOption=%u fLock=%u", 1, kApiStmt, ImplSetPos};
const ApiCallRecord kRecSetStmtAttr = {"SetStmtAttr", "Attribute=%ld ValuePtr=%08lX StringLength=%ld", 1, kApiStmt, ImplSetStmtAttr};
const ApiCallRecord kRecSetStmtAttrW = {"SetStmtAttrW", "Attribute=%ld ValuePtr=%08lX StringLength=%ld", 1, kApiStmt, ImplSetStmtAttr};
const ApiCallRecord kRecSetStmtOption = {"SetStmtOption", "fOption=%u vParam=%08lX", 1, kApiStmt, ImplSetStmtOption};
const ApiCallRecord kRecSpecialColumns = {"SpecialColumns", "fColType=%u szTableQual=%lX cbTableQual=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fScope=%u fNullable==%u", 1, kApiStmt, ImplSpecialColumns};
const ApiCallRecord kRecSpecialColumnsW = {"SpecialColumnsW", "fColType=%u szTableQual=%lX cbTableQual=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fScope=%u fNullable==%u", 1, kApiStmt, ImplSpecialColumns};
const ApiCallRecord kRecStatistics = {"Statistics", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fUnique=%u fAccuracy=%u", 1, kApiStmt, ImplStatistics};
const ApiCallRecord kRecStatisticsW = {"StatisticsW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d fUnique=%u fAccuracy=%u", 1, kApiStmt, ImplStatistics};
const ApiCallRecord kRecTables = {"Tables", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szTableType=%lX cbTableType=%d", 1, kApiStmt, ImplTables};
const ApiCallRecord kRecTablesW = {"TablesW", "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d szTableType=%lX cbTableType=%d", 1, kApiStmt, ImplTables};
const ApiCallRecord kRecTransactEnv = {"Transact", "fType=%u", 1, kApiEnv, ImplTransact};
const ApiCallRecord kRecTransactDbc = {"Transact", "fType=%u", 1, kApiConn, ImplTransact};
const ApiCallRecord kRecAllocHandle1 = {"AllocHandle", "handleType=1", 0, kApiNone, ImplAllocHandleEnv};
const ApiCallRecord kRecAllocHandle2 = {"AllocHandle", "handleType=2", 1, kApiEnv, ImplAllocConnect};
const ApiCallRecord kRecAllocHandle3 = {"AllocHandle", "handleType=3", 1, kApiConn, ImplAllocStmt};
const ApiCallRecord kRecAllocHandle4 = {"AllocHandle", "handleType=4", 1, kApiConn, ImplAllocDesc};
const ApiCallRecord kRecFreeHandle1 = {"FreeHandle", "handleType=1", 1, kApiEnv, ImplFreeEnv};
const ApiCallRecord kRecFreeHandle2 = {"FreeHandle", "handleType=2", 1, kApiConn, ImplFreeConnect};
const ApiCallRecord kRecFreeHandle3 = {"FreeHandle", "handleType=3", 1, kApiStmt, ImplFreeStmtHandle};
const ApiCallRecord kRecFreeHandle4 = {"FreeHandle", "handleType=4", 1, kApiDesc, ImplFreeDesc};

const ApiCallRecord* const kAllApiRecords[] = {
    &kRecAllocConnect,
    &kRecAllocEnv,
    &kRecAllocStmt,
    &kRecBindCol,
    &kRecBindParameter,
    &kRecBulkOperations,
    &kRecCloseCursor,
    &kRecColAttribute,
    &kRecColAttributeW,
    &kRecColAttributes,
    &kRecColAttributesW,
    &kRecColumnPrivileges,
    &kRecColumnPrivilegesW,
    &kRecColumns,
    &kRecColumnsW,
    &kRecConnect,
    &kRecConnectW,
    &kRecCopyDesc,
    &kRecDescribeCol,
    &kRecDescribeColW,
    &kRecDescribeParam,
    &kRecDisconnect,
    &kRecDriverConnect,
    &kRecDriverConnectW,
    &kRecErrorEnv,
    &kRecErrorDbc,
    &kRecErrorStmt,
    &kRecErrorWEnv,
    &kRecErrorWDbc,
    &kRecErrorWStmt,
    &kRecExecDirect,
    &kRecExecDirectW,
    &kRecPrepare,
    &kRecPrepareW,
    &kRecExecute,
    &kRecFetch,
    &kRecMoreResults,
    &kRecExtendedFetch,
    &kRecFetchScroll,
    &kRecForeignKeys,
    &kRecForeignKeysW,
    &kRecFreeConnect,
    &kRecFreeEnv,
    &kRecFreeStmt,
    &kRecGetConnectAttr,
    &kRecGetConnectAttrW,
    &kRecGetConnectOption,
    &kRecGetConnectOptionW,
    &kRecGetCursorName,
    &kRecGetCursorNameW,
    &kRecGetData,
    &kRecGetDescField,
    &kRecGetDescFieldW,
    &kRecGetDescRec,
    &kRecGetDescRecW,
    &kRecGetDiagFieldEnv,
    &kRecGetDiagFieldDbc,
    &kRecGetDiagFieldStmt,
    &kRecGetDiagFieldDesc,
    &kRecGetDiagFieldWEnv,
    &kRecGetDiagFieldWDbc,
    &kRecGetDiagFieldWStmt,
    &kRecGetDiagFieldWDesc,
    &kRecGetDiagRecEnv,
    &kRecGetDiagRecDbc,
    &kRecGetDiagRecStmt,
    &kRecGetDiagRecDesc,
    &kRecGetDiagRecWEnv,
    &kRecGetDiagRecWDbc,
    &kRecGetDiagRecWStmt,
    &kRecGetDiagRecWDesc,
    &kRecGetEnvAttr,
    &kRecGetFunctions,
    &kRecGetInfo,
    &kRecGetInfoW,
    &kRecGetStmtAttr,
    &kRecGetStmtAttrW,
    &kRecGetStmtOption,
    &kRecGetTypeInfo,
    &kRecGetTypeInfoW,
    &kRecNativeSql,
    &kRecNativeSqlW,
    &kRecNumParams,
    &kRecNumResultCols,
    &kRecParamData,
    &kRecParamOptions,
    &kRecPrimaryKeys,
    &kRecPrimaryKeysW,
    &kRecTablePrivileges,
    &kRecTablePrivilegesW,
    &kRecProcedureColumns,
    &kRecProcedureColumnsW,
    &kRecProcedures,
    &kRecProceduresW,
    &kRecPutData,
    &kRecRowCount,
    &kRecSetConnectAttr,
    &kRecSetConnectAttrW,
    &kRecSetConnectOption,
    &kRecSetConnectOptionW,
    &kRecSetCursorName,
    &kRecSetCursorNameW,
    &kRecSetDescField,
    &kRecSetDescFieldW,
    &kRecSetDescRec,
    &kRecSetEnvAttr,
    &kRecSetParam,
    &kRecSetPos,
    &kRecSetStmtAttr,
    &kRecSetStmtAttrW,
    &kRecSetStmtOption,
    &kRecSpecialColumns,
    &kRecSpecialColumnsW,
    &kRecStatistics,
    &kRecStatisticsW,
    &kRecTables,
    &kRecTablesW,
    &kRecTransactEnv,
    &kRecTransactDbc,
    &kRecAllocHandle1,
    &kRecAllocHandle2,
    &kRecAllocHandle3,
    &kRecAllocHandle4,
    &kRecFreeHandle1,
    &kRecFreeHandle2,
    &kRecFreeHandle3,
    &kRecFreeHandle4,
};
const unsigned kApiRecordCount = sizeof kAllApiRecords / sizeof kAllApiRecords[0];
