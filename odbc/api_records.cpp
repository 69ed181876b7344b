#include "odbc/api_records.h"

const ApiCallOf<ImplAllocConnect> kRecAllocConnect{"AllocConnect", "phdbc=%08lX", 1, kApiEnv, ImplAllocConnect};
const ApiCallOf<ImplAllocEnv> kRecAllocEnv{"AllocEnv", "phenv=%lX", 1, kApiNone, ImplAllocEnv};
const ApiCallOf<ImplAllocStmt> kRecAllocStmt{"AllocStmt", "phstmt=%lX", 1, kApiConn, ImplAllocStmt};
const ApiCallOf<ImplBindCol> kRecBindCol{"BindCol", "icol=%u fCType=%d rgbValue=%lX cbValueMax=%ld pcbValue=%lX", 1,
                                         kApiStmt, ImplBindCol};
const ApiCallOf<ImplBindParameter> kRecBindParameter{
    "BindParameter",
    "ipar=%u fParamType=%d fCType=%d fSqlType=%d cbColDef=%lu ibScale=%d rgbValue=%lX cbValueMax=%lu pcbValue=%lX", 1,
    kApiStmt, ImplBindParameter};
const ApiCallOf<ImplBulkOperations> kRecBulkOperations{"BulkOperations", "op=%u", 1, kApiStmt, ImplBulkOperations};
const ApiCallOf<ImplCloseCursor> kRecCloseCursor{"CloseCursor", "", 1, kApiStmt, ImplCloseCursor};
const ApiCallOf<ImplColAttribute> kRecColAttribute{
    "ColAttribute", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt,
    ImplColAttribute};
const ApiCallOf<ImplColAttribute> kRecColAttributeW{
    "ColAttributeW", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt,
    ImplColAttribute};
const ApiCallOf<ImplColAttributes> kRecColAttributes{
    "ColAttributes", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt,
    ImplColAttributes};
const ApiCallOf<ImplColAttributes> kRecColAttributesW{
    "ColAttributesW", "icol=%u fDescType=%u rgbDesc=%08lX cbDescMax=%u pcbDesc=%08lX pfDesc=%08lX", 1, kApiStmt,
    ImplColAttributes};
const ApiCallOf<ImplColumnPrivileges> kRecColumnPrivileges{
    "ColumnPrivileges",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d "
    "szColumnName=%lX cbColumnName=%d",
    1, kApiStmt, ImplColumnPrivileges};
const ApiCallOf<ImplColumnPrivileges> kRecColumnPrivilegesW{
    "ColumnPrivilegesW",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d "
    "szColumnName=%lX cbColumnName=%d",
    1, kApiStmt, ImplColumnPrivileges};
const ApiCallOf<ImplColumns> kRecColumns{"Columns",
                                         "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d "
                                         "szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d",
                                         1, kApiStmt, ImplColumns};
const ApiCallOf<ImplColumns> kRecColumnsW{"ColumnsW",
                                          "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d "
                                          "szTableName=%lX cbTableName=%d szColumnName=%lX cbColumnName=%d",
                                          1, kApiStmt, ImplColumns};
const ApiCallOf<ImplConnect> kRecConnect{"Connect", "szDSN=%lX cbDSN=%d szUID=%lX cbUID=%d szPWD=%lX cbPWD=%d", 1,
                                         kApiConn, ImplConnect};
const ApiCallOf<ImplConnect> kRecConnectW{"ConnectW", "szDSN=%lX cbDSN=%d szUID=%lX cbUID=%d szPWD=%lX cbPWD=%d", 1,
                                          kApiConn, ImplConnect};
const ApiCallOf<ImplCopyDesc> kRecCopyDesc{"CopyDesc", "TargetDescHandle=%lX", kResetAnswersOnTarget, kApiDesc,
                                           ImplCopyDesc};
const ApiCallOf<ImplDescribeCol> kRecDescribeCol{
    "DescribeCol",
    "icol=%u szColName=%lX cbColNameMax=%d pcbColName=%lX pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1,
    kApiStmt, ImplDescribeCol};
const ApiCallOf<ImplDescribeCol> kRecDescribeColW{
    "DescribeColW",
    "icol=%u szColName=%lX cbColNameMax=%d pcbColName=%lX pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1,
    kApiStmt, ImplDescribeCol};
const ApiCallOf<ImplDescribeParam> kRecDescribeParam{
    "DescribeParam", "ipar=%u pfSqlType=%lX pcbColDef=%lX pibScale=%lX pfNullable=%lX", 1, kApiStmt, ImplDescribeParam};
const ApiCallOf<ImplDisconnect> kRecDisconnect{"Disconnect", "", 1, kApiConn, ImplDisconnect};
const ApiCallOf<ImplDriverConnect> kRecDriverConnect{"DriverConnect",
                                                     "HWND=%p szConnStrIn=%lX cbConnStrIn=%d szConnStrOut=%lX "
                                                     "cbConnStrOutMax=%d pcbConnStrOutMax=%lX fDriverCompletion=%u",
                                                     1, kApiConn, ImplDriverConnect};
const ApiCallOf<ImplDriverConnect> kRecDriverConnectW{"DriverConnectW",
                                                      "HWND=%x szConnStrIn=%lX cbConnStrIn=%d szConnStrOut=%lX "
                                                      "cbConnStrOutMax=%d pcbConnStrOutMax=%lX fDriverCompletion=%u",
                                                      1, kApiConn, ImplDriverConnect};
const ApiCallOf<ImplError> kRecErrorEnv{
    "Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiEnv, ImplError};
const ApiCallOf<ImplError> kRecErrorDbc{
    "Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiConn, ImplError};
const ApiCallOf<ImplError> kRecErrorStmt{
    "Error", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiStmt, ImplError};
const ApiCallOf<ImplError> kRecErrorWEnv{
    "ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiEnv, ImplError};
const ApiCallOf<ImplError> kRecErrorWDbc{
    "ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiConn, ImplError};
const ApiCallOf<ImplError> kRecErrorWStmt{
    "ErrorW", "szSqlState=%lX pfNativeError=%lX\nszErrorMsg=%lX cbErrorMsgMax=%d pcbErrorMsg=%lX", kReadsDiagnostics,
    kApiStmt, ImplError};
const ApiCallOf<ImplExecDirect> kRecExecDirect{"ExecDirect", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt, ImplExecDirect};
const ApiCallOf<ImplExecDirect> kRecExecDirectW{"ExecDirectW", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt,
                                                ImplExecDirect};
const ApiCallOf<ImplPrepare> kRecPrepare{"Prepare", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt, ImplPrepare};
const ApiCallOf<ImplPrepare> kRecPrepareW{"PrepareW", "szSqlStr=%lX cbSqlStr=%ld", 1, kApiStmt, ImplPrepare};
const ApiCallOf<ImplExecute> kRecExecute{"Execute", "", 1, kApiStmt, ImplExecute};
const ApiCallOf<ImplFetch> kRecFetch{"Fetch", "", 1, kApiStmt, ImplFetch};
const ApiCallOf<ImplMoreResults> kRecMoreResults{"MoreResults", "", 1, kApiStmt, ImplMoreResults};
const ApiCallOf<ImplExtendedFetch> kRecExtendedFetch{
    "ExtendedFetch", "fFetchType=%u irow=%ld pcrow=%lX rgfRowStatus=%lX", 1, kApiStmt, ImplExtendedFetch};
const ApiCallOf<ImplFetchScroll> kRecFetchScroll{"FetchScroll", "fOrient=%d, fOffset=%ld", 1, kApiStmt,
                                                 ImplFetchScroll};
const ApiCallOf<ImplForeignKeys> kRecForeignKeys{
    "ForeignKeys",
    "szPkTQual=%lX cbPkTQual=%d szPkTOwn=%lX cbPkTOwn=%d szPkTName=%lX cbPkTName=%d szFkTQual=%lX cbFkTQual=%d "
    "szFkTOwn=%lX cbFkTOwn=%d szFkTName=%lX cbFkTName=%d",
    1, kApiStmt, ImplForeignKeys};
const ApiCallOf<ImplForeignKeys> kRecForeignKeysW{
    "ForeignKeysW",
    "szPkTQual=%lX cbPkTQual=%d szPkTOwn=%lX cbPkTOwn=%d szPkTName=%lX cbPkTName=%d szFkTQual=%lX cbFkTQual=%d "
    "szFkTOwn=%lX cbFkTOwn=%d szFkTName=%lX cbFkTName=%d",
    1, kApiStmt, ImplForeignKeys};
const ApiCallOf<ImplFreeConnect> kRecFreeConnect{"FreeConnect", "", 1, kApiConn, ImplFreeConnect};
const ApiCallOf<ImplFreeEnv> kRecFreeEnv{"FreeEnv", "", 1, kApiEnv, ImplFreeEnv};
const ApiCallOf<ImplFreeStmt> kRecFreeStmt{"FreeStmt", "fOption=%u", 1, kApiStmt, ImplFreeStmt};
const ApiCallOf<ImplGetConnectAttr> kRecGetConnectAttr{
    "GetConnectAttr", "Attribute=%u ValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 1, kApiConn, ImplGetConnectAttr};
const ApiCallOf<ImplGetConnectAttr> kRecGetConnectAttrW{"GetConnectAttrW",
                                                        "Attribute=%u ValuePtr=%lX BufferLength=%d StringLengthPtr=%lX",
                                                        1, kApiConn, ImplGetConnectAttr};
const ApiCallOf<ImplGetConnectOption> kRecGetConnectOption{"GetConnectOption", "fOption=%u pvParam=%lX", 1, kApiConn,
                                                           ImplGetConnectOption};
const ApiCallOf<ImplGetConnectOption> kRecGetConnectOptionW{"GetConnectOptionW", "fOption=%u pvParam=%lX", 1, kApiConn,
                                                            ImplGetConnectOption};
const ApiCallOf<ImplGetCursorName> kRecGetCursorName{"GetCursorName", "szCursor=%lX cbCursorMax=%d pcbCursor=%lX", 1,
                                                     kApiStmt, ImplGetCursorName};
const ApiCallOf<ImplGetCursorName> kRecGetCursorNameW{"GetCursorNameW", "szCursor=%lX cbCursorMax=%d pcbCursor=%lX", 1,
                                                      kApiStmt, ImplGetCursorName};
const ApiCallOf<ImplGetData> kRecGetData{"GetData", "icol=%u fCType=%d rgbValue=%lX cbValueMax=%ld pcbValue=%lX", 1,
                                         kApiStmt, ImplGetData};
const ApiCallOf<ImplGetDescField> kRecGetDescField{
    "GetDescField", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 1, kApiDesc,
    ImplGetDescField};
const ApiCallOf<ImplGetDescField> kRecGetDescFieldW{
    "GetDescFieldW", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX BufferLength=%d StringLengthPtr=%lX", 1, kApiDesc,
    ImplGetDescField};
const ApiCallOf<ImplGetDescRec> kRecGetDescRec{
    "GetDescRec",
    "RecNumber=%d\nName=%lX BufferLength=%d StringLengthPtr=%lX\nTypePtr=%lX SubTypePtr=%lX "
    "LengthPtr=%lX\nPrecisionPtr=%lX ScalePtr=%lX NullablePtr=%lX",
    1, kApiDesc, ImplGetDescRec};
const ApiCallOf<ImplGetDescRec> kRecGetDescRecW{
    "GetDescRecW",
    "RecNumber=%d\nName=%lX BufferLength=%d StringLengthPtr=%lX\nTypePtr=%lX SubTypePtr=%lX "
    "LengthPtr=%lX\nPrecisionPtr=%lX ScalePtr=%lX NullablePtr=%lX",
    1, kApiDesc, ImplGetDescRec};
const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldEnv{
    "GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiEnv, ImplGetDiagField};
const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldDbc{
    "GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiConn, ImplGetDiagField};
const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldStmt{
    "GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiStmt, ImplGetDiagField};
const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldDesc{
    "GetDiagField", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiDesc, ImplGetDiagField};
const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWEnv{
    "GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiEnv, ImplGetDiagField};
const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWDbc{
    "GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiConn, ImplGetDiagField};
const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWStmt{
    "GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiStmt, ImplGetDiagField};
const ApiCallOf<ImplGetDiagField> kRecGetDiagFieldWDesc{
    "GetDiagFieldW", "RecNumber=%d DiagIdentifier=%d\nDiagInfoPtr=%lX BufferLength=%d StringLengthPtr=%lX",
    kReadsDiagnostics, kApiDesc, ImplGetDiagField};
const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecEnv{
    "GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiEnv, ImplGetDiagRec};
const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecDbc{
    "GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiConn, ImplGetDiagRec};
const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecStmt{
    "GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiStmt, ImplGetDiagRec};
const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecDesc{
    "GetDiagRec", "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiDesc, ImplGetDiagRec};
const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWEnv{
    "GetDiagRecW",
    "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiEnv, ImplGetDiagRec};
const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWDbc{
    "GetDiagRecW",
    "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiConn, ImplGetDiagRec};
const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWStmt{
    "GetDiagRecW",
    "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiStmt, ImplGetDiagRec};
const ApiCallOf<ImplGetDiagRec> kRecGetDiagRecWDesc{
    "GetDiagRecW",
    "RecNumber=%d, SqlState=%lX, NativeErrorPtr=%lX, MessageText=%lX, BufferLength=%d, TextLengthPtr=%lX",
    kReadsDiagnostics, kApiDesc, ImplGetDiagRec};
const ApiCallOf<ImplGetEnvAttr> kRecGetEnvAttr{
    "GetEnvAttr", "Attribute=%ld ValuePtr=%lX BufferLength=%ld, StringLengthPtr=%lX", 1, kApiEnv, ImplGetEnvAttr};
const ApiCallOf<ImplGetFunctions> kRecGetFunctions{"GetFunctions", "fFunction=%u pfExists=%lX", 1, kApiConn,
                                                   ImplGetFunctions};
const ApiCallOf<ImplGetInfo> kRecGetInfo{"GetInfo", "fInfoType=%u rgbInfoValue=%lX cbInfoValueMax=%d pcbInfoValue=%lX",
                                         1, kApiConn, ImplGetInfo};
const ApiCallOf<ImplGetInfo> kRecGetInfoW{
    "GetInfoW", "fInfoType=%u rgbInfoValue=%lX cbInfoValueMax=%d pcbInfoValue=%lX", 1, kApiConn, ImplGetInfo};
const ApiCallOf<ImplGetStmtAttr> kRecGetStmtAttr{
    "GetStmtAttr", "Attribute=%ld ValuePtr=%08lX BufferLength=%ld StringLengthPtr=%08lX", 1, kApiStmt, ImplGetStmtAttr};
const ApiCallOf<ImplGetStmtAttr> kRecGetStmtAttrW{"GetStmtAttrW",
                                                  "Attribute=%ld ValuePtr=%08lX BufferLength=%ld StringLengthPtr=%08lX",
                                                  1, kApiStmt, ImplGetStmtAttr};
const ApiCallOf<ImplGetStmtOption> kRecGetStmtOption{"GetStmtOption", "fOption=%u pvParam=%08lX", 1, kApiStmt,
                                                     ImplGetStmtOption};
const ApiCallOf<ImplGetTypeInfo> kRecGetTypeInfo{"GetTypeInfo", "fSqlType=%d", 1, kApiStmt, ImplGetTypeInfo};
const ApiCallOf<ImplGetTypeInfo> kRecGetTypeInfoW{"GetTypeInfoW", "fSqlType=%d", 1, kApiStmt, ImplGetTypeInfo};
const ApiCallOf<ImplNativeSql> kRecNativeSql{
    "NativeSql", "szSqlIn=%lX cbSqlIn=%ld szSqlStr=%lX cbSqlStrMax=%ld pcbSqlStr=%lX", 1, kApiConn, ImplNativeSql};
const ApiCallOf<ImplNativeSql> kRecNativeSqlW{
    "NativeSqlW", "szSqlIn=%lX cbSqlIn=%ld szSqlStr=%lX cbSqlStrMax=%ld pcbSqlStr=%lX", 1, kApiConn, ImplNativeSql};
const ApiCallOf<ImplNumParams> kRecNumParams{"NumParams", "pcpar=%lX", 1, kApiStmt, ImplNumParams};
const ApiCallOf<ImplNumResultCols> kRecNumResultCols{"NumResultCols", "pccol=%lX", 1, kApiStmt, ImplNumResultCols};
const ApiCallOf<ImplParamData> kRecParamData{"ParamData", "prgbValue=%lX", 1, kApiStmt, ImplParamData};
const ApiCallOf<ImplParamOptions> kRecParamOptions{"ParamOptions", "crow=%lu pirow=%lX", 1, kApiStmt, ImplParamOptions};
const ApiCallOf<ImplPrimaryKeys> kRecPrimaryKeys{
    "PrimaryKeys",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1,
    kApiStmt, ImplPrimaryKeys};
const ApiCallOf<ImplPrimaryKeys> kRecPrimaryKeysW{
    "PrimaryKeysW",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1,
    kApiStmt, ImplPrimaryKeys};
const ApiCallOf<ImplTablePrivileges> kRecTablePrivileges{
    "TablePrivileges",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1,
    kApiStmt, ImplTablePrivileges};
const ApiCallOf<ImplTablePrivileges> kRecTablePrivilegesW{
    "TablePrivilegesW",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d", 1,
    kApiStmt, ImplTablePrivileges};
const ApiCallOf<ImplProcedureColumns> kRecProcedureColumns{
    "ProcedureColumns",
    "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d "
    "szColumnName=%lX cbColumnName=%d",
    1, kApiStmt, ImplProcedureColumns};
const ApiCallOf<ImplProcedureColumns> kRecProcedureColumnsW{
    "ProcedureColumnsW",
    "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d "
    "szColumnName=%lX cbColumnName=%d",
    1, kApiStmt, ImplProcedureColumns};
const ApiCallOf<ImplProcedures> kRecProcedures{
    "Procedures", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d",
    1, kApiStmt, ImplProcedures};
const ApiCallOf<ImplProcedures> kRecProceduresW{
    "ProceduresW", "szProcQualifier=%lX cbProcQualifier=%d szProcOwner=%lX cbProcOwner=%d szProcName=%lX cbProcName=%d",
    1, kApiStmt, ImplProcedures};
const ApiCallOf<ImplPutData> kRecPutData{"PutData", "rgbValue=%lX cbValue=%ld", 1, kApiStmt, ImplPutData};
const ApiCallOf<ImplRowCount> kRecRowCount{"RowCount", "pcrow=%lX", 1, kApiStmt, ImplRowCount};
const ApiCallOf<ImplSetConnectAttr> kRecSetConnectAttr{"SetConnectAttr", "Attribute=%u ValuePtr=%lX StringLength=%d", 1,
                                                       kApiConn, ImplSetConnectAttr};
const ApiCallOf<ImplSetConnectAttr> kRecSetConnectAttrW{"SetConnectAttrW", "Attribute=%u ValuePtr=%lX StringLength=%d",
                                                        1, kApiConn, ImplSetConnectAttr};
const ApiCallOf<ImplSetConnectOption> kRecSetConnectOption{"SetConnectOption", "fOption=%u vParam=%lu", 1, kApiConn,
                                                           ImplSetConnectOption};
const ApiCallOf<ImplSetConnectOption> kRecSetConnectOptionW{"SetConnectOptionW", "fOption=%u vParam=%lu", 1, kApiConn,
                                                            ImplSetConnectOption};
const ApiCallOf<ImplSetCursorName> kRecSetCursorName{"SetCursorName", "szCursor=%lX cbCursor=%d", 1, kApiStmt,
                                                     ImplSetCursorName};
const ApiCallOf<ImplSetCursorName> kRecSetCursorNameW{"SetCursorNameW", "szCursor=%lX cbCursor=%d", 1, kApiStmt,
                                                      ImplSetCursorName};
const ApiCallOf<ImplSetDescField> kRecSetDescField{
    "SetDescField", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX StringLength=%d", 1, kApiDesc, ImplSetDescField};
const ApiCallOf<ImplSetDescField> kRecSetDescFieldW{
    "SetDescFieldW", "RecNumber=%d FieldIdentifier=%d\nValuePtr=%lX StringLength=%d", 1, kApiDesc, ImplSetDescField};
const ApiCallOf<ImplSetDescRec> kRecSetDescRec{"SetDescRec",
                                               "RecNumber=%d\nType=%d SubType=%d Length=%d Precision=%d "
                                               "Scale=%d\nDataPtr=%lX StringLengthPtr=%lX IndicatorPtr=%lX",
                                               1, kApiDesc, ImplSetDescRec};
const ApiCallOf<ImplSetEnvAttr> kRecSetEnvAttr{"SetEnvAttr", "Attribute=%ld ValuePtr=%lX StringLength=%ld", 1, kApiEnv,
                                               ImplSetEnvAttr};
const ApiCallOf<ImplSetParam> kRecSetParam{
    "SetParam", "ipar=%u fCType=%d fSqlType=%d cbColDef=%lu ibScale=%d rgbValue=%lX pcbValue=%lX", 1, kApiStmt,
    ImplSetParam};
const ApiCallOf<ImplSetPos> kRecSetPos{"SetPos", "irow=%u fOption=%u fLock=%u", 1, kApiStmt, ImplSetPos};
const ApiCallOf<ImplSetStmtAttr> kRecSetStmtAttr{"SetStmtAttr", "Attribute=%ld ValuePtr=%08lX StringLength=%ld", 1,
                                                 kApiStmt, ImplSetStmtAttr};
const ApiCallOf<ImplSetStmtAttr> kRecSetStmtAttrW{"SetStmtAttrW", "Attribute=%ld ValuePtr=%08lX StringLength=%ld", 1,
                                                  kApiStmt, ImplSetStmtAttr};
const ApiCallOf<ImplSetStmtOption> kRecSetStmtOption{"SetStmtOption", "fOption=%u vParam=%08lX", 1, kApiStmt,
                                                     ImplSetStmtOption};
const ApiCallOf<ImplSpecialColumns> kRecSpecialColumns{
    "SpecialColumns",
    "fColType=%u szTableQual=%lX cbTableQual=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d "
    "fScope=%u fNullable==%u",
    1, kApiStmt, ImplSpecialColumns};
const ApiCallOf<ImplSpecialColumns> kRecSpecialColumnsW{
    "SpecialColumnsW",
    "fColType=%u szTableQual=%lX cbTableQual=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d "
    "fScope=%u fNullable==%u",
    1, kApiStmt, ImplSpecialColumns};
const ApiCallOf<ImplStatistics> kRecStatistics{"Statistics",
                                               "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX "
                                               "cbTableOwner=%d szTableName=%lX cbTableName=%d fUnique=%u fAccuracy=%u",
                                               1, kApiStmt, ImplStatistics};
const ApiCallOf<ImplStatistics> kRecStatisticsW{
    "StatisticsW",
    "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d szTableName=%lX cbTableName=%d "
    "fUnique=%u fAccuracy=%u",
    1, kApiStmt, ImplStatistics};
const ApiCallOf<ImplTables> kRecTables{"Tables",
                                       "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d "
                                       "szTableName=%lX cbTableName=%d szTableType=%lX cbTableType=%d",
                                       1, kApiStmt, ImplTables};
const ApiCallOf<ImplTables> kRecTablesW{"TablesW",
                                        "szTableQualifier=%lX cbTableQualifier=%d szTableOwner=%lX cbTableOwner=%d "
                                        "szTableName=%lX cbTableName=%d szTableType=%lX cbTableType=%d",
                                        1, kApiStmt, ImplTables};
const ApiCallOf<ImplTransact> kRecTransactEnv{"Transact", "fType=%u", 1, kApiEnv, ImplTransact};
const ApiCallOf<ImplTransact> kRecTransactDbc{"Transact", "fType=%u", 1, kApiConn, ImplTransact};
const ApiCallOf<ImplAllocHandleEnv> kRecAllocHandle1{"AllocHandle", "handleType=1", 0, kApiNone, ImplAllocHandleEnv};
const ApiCallOf<ImplAllocConnect> kRecAllocHandle2{"AllocHandle", "handleType=2", 1, kApiEnv, ImplAllocConnect};
const ApiCallOf<ImplAllocStmt> kRecAllocHandle3{"AllocHandle", "handleType=3", 1, kApiConn, ImplAllocStmt};
const ApiCallOf<ImplAllocDesc> kRecAllocHandle4{"AllocHandle", "handleType=4", 1, kApiConn, ImplAllocDesc};
const ApiCallOf<ImplFreeEnv> kRecFreeHandle1{"FreeHandle", "handleType=1", 1, kApiEnv, ImplFreeEnv};
const ApiCallOf<ImplFreeConnect> kRecFreeHandle2{"FreeHandle", "handleType=2", 1, kApiConn, ImplFreeConnect};
const ApiCallOf<ImplFreeStmtHandle> kRecFreeHandle3{"FreeHandle", "handleType=3", 1, kApiStmt, ImplFreeStmtHandle};
const ApiCallOf<ImplFreeDesc> kRecFreeHandle4{"FreeHandle", "handleType=4", 1, kApiDesc, ImplFreeDesc};

const ApiCallRecord* const kAllApiRecords[] = {
    &kRecAllocConnect,      &kRecAllocEnv,          &kRecAllocStmt,         &kRecBindCol,
    &kRecBindParameter,     &kRecBulkOperations,    &kRecCloseCursor,       &kRecColAttribute,
    &kRecColAttributeW,     &kRecColAttributes,     &kRecColAttributesW,    &kRecColumnPrivileges,
    &kRecColumnPrivilegesW, &kRecColumns,           &kRecColumnsW,          &kRecConnect,
    &kRecConnectW,          &kRecCopyDesc,          &kRecDescribeCol,       &kRecDescribeColW,
    &kRecDescribeParam,     &kRecDisconnect,        &kRecDriverConnect,     &kRecDriverConnectW,
    &kRecErrorEnv,          &kRecErrorDbc,          &kRecErrorStmt,         &kRecErrorWEnv,
    &kRecErrorWDbc,         &kRecErrorWStmt,        &kRecExecDirect,        &kRecExecDirectW,
    &kRecPrepare,           &kRecPrepareW,          &kRecExecute,           &kRecFetch,
    &kRecMoreResults,       &kRecExtendedFetch,     &kRecFetchScroll,       &kRecForeignKeys,
    &kRecForeignKeysW,      &kRecFreeConnect,       &kRecFreeEnv,           &kRecFreeStmt,
    &kRecGetConnectAttr,    &kRecGetConnectAttrW,   &kRecGetConnectOption,  &kRecGetConnectOptionW,
    &kRecGetCursorName,     &kRecGetCursorNameW,    &kRecGetData,           &kRecGetDescField,
    &kRecGetDescFieldW,     &kRecGetDescRec,        &kRecGetDescRecW,       &kRecGetDiagFieldEnv,
    &kRecGetDiagFieldDbc,   &kRecGetDiagFieldStmt,  &kRecGetDiagFieldDesc,  &kRecGetDiagFieldWEnv,
    &kRecGetDiagFieldWDbc,  &kRecGetDiagFieldWStmt, &kRecGetDiagFieldWDesc, &kRecGetDiagRecEnv,
    &kRecGetDiagRecDbc,     &kRecGetDiagRecStmt,    &kRecGetDiagRecDesc,    &kRecGetDiagRecWEnv,
    &kRecGetDiagRecWDbc,    &kRecGetDiagRecWStmt,   &kRecGetDiagRecWDesc,   &kRecGetEnvAttr,
    &kRecGetFunctions,      &kRecGetInfo,           &kRecGetInfoW,          &kRecGetStmtAttr,
    &kRecGetStmtAttrW,      &kRecGetStmtOption,     &kRecGetTypeInfo,       &kRecGetTypeInfoW,
    &kRecNativeSql,         &kRecNativeSqlW,        &kRecNumParams,         &kRecNumResultCols,
    &kRecParamData,         &kRecParamOptions,      &kRecPrimaryKeys,       &kRecPrimaryKeysW,
    &kRecTablePrivileges,   &kRecTablePrivilegesW,  &kRecProcedureColumns,  &kRecProcedureColumnsW,
    &kRecProcedures,        &kRecProceduresW,       &kRecPutData,           &kRecRowCount,
    &kRecSetConnectAttr,    &kRecSetConnectAttrW,   &kRecSetConnectOption,  &kRecSetConnectOptionW,
    &kRecSetCursorName,     &kRecSetCursorNameW,    &kRecSetDescField,      &kRecSetDescFieldW,
    &kRecSetDescRec,        &kRecSetEnvAttr,        &kRecSetParam,          &kRecSetPos,
    &kRecSetStmtAttr,       &kRecSetStmtAttrW,      &kRecSetStmtOption,     &kRecSpecialColumns,
    &kRecSpecialColumnsW,   &kRecStatistics,        &kRecStatisticsW,       &kRecTables,
    &kRecTablesW,           &kRecTransactEnv,       &kRecTransactDbc,       &kRecAllocHandle1,
    &kRecAllocHandle2,      &kRecAllocHandle3,      &kRecAllocHandle4,      &kRecFreeHandle1,
    &kRecFreeHandle2,       &kRecFreeHandle3,       &kRecFreeHandle4,
};
const unsigned kApiRecordCount = sizeof kAllApiRecords / sizeof kAllApiRecords[0];
