#pragma once
// The error table: every internal error code of the driver and of the agent is a row number.
// Both sides read the same rows (the agent calls them IngErrorTable, the ODBC side ErrorTable).
#include <cstdint>

// Internal error codes: the rows of the table, by name. 0 is no error; kErrNoMoreResults, kErrOutputValues, kErrNoData
// and kErrManyRowsChanged are signals their callers act on rather than failures.
enum ErrCode : uint32_t {
    kErrNone = 0,
    kErrNotSupported = 1,            // IM001 Driver does not support this function
    kErrNoDataSource = 2,            // IM002 Data source not found and no default driver specified
    kErrDriverNotLoaded = 3,         // IM003 Driver specified by data source could not be loaded
    kErrDriverAllocEnv = 4,          // IM004 Driver's SQLAllocEnv failed
    kErrDriverAllocConnect = 5,      // IM005 Driver's SQLAllocConnect failed
    kErrDriverSetConnectOption = 6,  // IM006 Driver's SQLSetConnectOption failed
    kErrNoDataSourceName = 7,        // IM007 No data source specified
    kErrTranslationDll = 8,          // IM009 Unable to load translation DLL
    kErrTableExists = 9,             // 42S01 Base table or view already exists
    kErrTableNotFound = 10,          // 42S02 Table or view not found
    kErrIndexExists = 11,            // 42S11 Index already exists
    kErrIndexNotFound = 12,          // 42S12 Index not found
    kErrColumnExists = 13,           // 42S21 Column already exists
    kErrColumnNotFound = 14,         // 42S22 Column not found
    kErrGeneral = 15,                // S1000 General error
    kErrNoMemory = 16,               // S1001 Memory allocation failure
    kErrBadColumnNumber = 17,        // S1002 Invalid column number
    kErrCTypeRange = 18,             // S1003 Program type out of range
    kErrTruncated = 19,              // 01004 Data was truncated
    kErrCancelled = 20,              // S1008 Operation cancelled
    kErrBadArg = 21,                 // S1009 Invalid argument value
    kErrSequence = 22,               // S1010 Function sequence error
    kErrTxnOpCode = 23,              // S1012 Invalid transaction operation code
    kErrNoCursorName = 24,           // S1015 No cursor name available
    kErrBadLength = 25,              // S1090 Invalid string or buffer length
    kErrDescTypeRange = 26,          // S1091 Descriptor type out of range
    kErrOptionRange = 27,            // S1092 Option type out of range
    kErrBadParamNumber = 28,         // S1093 Invalid parameter number
    kErrBadScale = 29,               // S1094 Invalid scale value
    kErrFunctionRange = 30,          // S1095 Function type out of range
    kErrInfoTypeRange = 31,          // S1096 Information type out of range
    kErrScopeRange = 32,             // S1098 Scope type out of range
    kErrNullableRange = 33,          // S1099 Nullable type out of range
    kErrUniqueRange = 34,            // S1100 Uniqueness option type out of range
    kErrAccuracyRange = 35,          // S1101 Accuracy option type out of range
    kErrTableTypeRange = 36,         // S1102 Table type out of range
    kErrDirectionRange = 37,         // S1103 Direction option out of range
    kErrFetchTypeRange = 38,         // S1106 Fetch type out of range
    kErrRowRange = 39,               // S1107 Row value out of range
    kErrConcurrencyRange = 40,       // S1108 Concurrency option out of range
    kErrCursorPosition = 41,         // S1109 Invalid cursor position
    kErrDriverCompletion = 42,       // S1110 Invalid driver completion
    kErrNotCapable = 43,             // S1C00 Driver not capable
    kErrDataPending = 44,            // S1DE0 No data at execution values pending
    kErrTimeout = 45,                // S1T00 Timeout expired
    kErrPrivilegeNotRevoked = 46,    // 01006 Privilege not revoked
    kErrConnStringAttr = 47,         // 01S00 Invalid connection string attribute
    kErrWrongParamCount = 48,        // 07001 Wrong number of parameters
    kErrRestrictedType = 49,         // 07006 Restricted datatype attribute violation
    kErrCannotConnect = 50,          // 08001 Unable to connect to data source
    kErrConnInUse = 51,              // 08002 Connection in use
    kErrNotOpen = 52,                // 08003 Connection not open
    kErrRejected = 53,               // 08004 Connection rejected by data source
    kErrLinkFailure = 54,            // 08S01 Communication link failure
    kErrInsertValueList = 55,        // 21S01 Insert value list does not match column list
    kErrDerivedDegree = 56,          // 21S02 Degree of derived table does not match column list
    kErrRightTruncation = 57,        // 22001 String data right truncation
    kErrNumericRange = 58,           // 22003 Numeric value out of range
    kErrAssignment = 59,             // 22005 Error in assignment
    kErrDateOverflow = 60,           // 22008 Date overflow
    kErrDivisionByZero = 61,         // 22012 Division by zero
    kErrLengthMismatch = 62,         // 22026 String length mismatch
    kErrIntegrity = 63,              // 23000 Integrity violation
    kErrCursorState = 64,            // 24000 Invalid cursor state
    kErrTxnState = 65,               // 25000 Invalid transaction state
    kErrAuthorization = 66,          // 28000 Invalid authorization specification
    kErrBadCursorName = 67,          // 34000 Invalid cursor name
    kErrSyntax = 68,                 // 37000 Syntax error or access
    kErrDuplicateCursorName = 69,    // 3C000 Duplicate cursor name
    kErrSerialization = 70,          // 40001 Serialization failure
    kErrAccessViolation = 71,        // 42000 Access violation
    kErrAborted = 72,                // 70100 Operation aborted
    kErrNoMoreResults = 73,          // IM901 No more results
    kErrCompletedWithWarning = 74,   // IM902 Datasource completed operation with warning
    kErrOptionChanged = 75,          // 01S02 Option Value Changed
    kErrClientInstall = 76,          // IM903 Client Installation Problem Detected. ReInstall.
    kErrInterfaceLibrary = 77,       // IM904 Specified Dynamic Interface Library Unavailable
    kErrCancelClosed = 79,           // 01S05 SQLCancel closed the statement
    kErrOutputValues = 80,           // IM906 Agent has output parameter values
    kErrRowError = 81,               // 01S01 Error in row
    kErrNoData = 82,                 // IM907 No data found
    kErrKeysetSize = 83,             // IM908 Invalid keyset size
    kErrNoKeys = 84,                 // IM909 No key columns found for table referenced by scrollable cursor.
    kErrBeforeStart = 85,            // IM910 Attempt to fetch before start of result set.
    kErrBeyondEnd = 86,              // IM911 Attempt to fetch beyond end of result set.
    kErrJoinResult = 87,             // IM912 Result set was created by a join condition.
    kErrGroupBy = 88,                // IM913 SELECT statement contains a GROUP BY clause.
    kErrUnion = 89,                  // IM914 SELECT statement contains a UNION clause.
    kErrNotSelect = 90,              // IM915 Result set was not generated by a SELECT statement.
    kErrNoRowsChanged = 91,          // 01S03 No rows updated or deleted.
    kErrManyRowsChanged = 92,        // 01S04 More than one row updated or deleted.
    kErrInvalidNow = 93,             // S1011 Operation invalid at this time.
    kErrBadBookmark = 94,            // S1111 Invalid bookmark value.
    kErrReadOnly = 95,               // IM916 Only SELECT statements are allowed during a read-only connection.
    kErrParamArrayPositioned = 96,   // IM917 Parameter arrays are not supported with positioned requests.
    kErrAmbiguousTable = 97,         // IM918 Duplicate table name. Require owner qualifier to resolve.
    kErrConnBusy = 98,               // IM921 Connection is busy with results for another hstmt.
    kErrOrderExpression = 99,        // IM919 Ordering on an expression is not supported.
    kErrBadDescIndex = 100,          // 07009 Invalid descriptor index
    kErrKeysetUpdates = 101,         // IM920 Too many updates by other users occurred whilst fetching keyset.
    kErrNeedsDataAtExec = 102,       // IM922 Agent needs DATA_AT_EXEC data.
    kErrScalarAggregate = 103,       // IM923 SELECT statement contains a scalar aggregate.
    kErrFractionalTruncation = 104,  // 01S07 Fractional truncation
    kErrGeneralWarning = 105,        // 01000 General warning
    kErrCursorConflict = 106,        // 01001 Cursor operation conflict
    kErrDisconnectError = 107,       // 01002 Disconnect error
    kErrNullEliminated = 108,        // 01003 NULL value eliminated in set function
    kErrStringTruncated = 109,       // 01004 String data, right truncated
    kErrPrivilegeNotGranted = 110,   // 01007 Privilege not granted
    kErrBeforeFirstRowset = 111,     // 01S06 Attempt to fetch before the resultset returned the first rowset
    kErrFileDsnSave = 112,           // 01S08 Error saving File DSN
    kErrBadKeyword = 113,            // 01S09 Invalid keyword
    kErrCountField = 114,            // 07002 COUNT field incorrect
    kErrNotCursorSpec = 115,         // 07005 the prepared statement returns no rows
    kErrDefaultParam = 116,          // 07S01 Invalid use of default parameter
    kErrTxnConnFailure = 117,        // 08007 Connection failure during transaction
    kErrIndicatorRequired = 118,     // 22002 Indicator variable required but not supplied
    kErrDatetimeFormat = 119,        // 22007 Invalid datetime format
    kErrIntervalOverflow = 120,      // 22015 Interval field overflow
    kErrCastValue = 121,             // 22018 Invalid character value for cast specification
    kErrEscapeCharacter = 122,       // 22019 Invalid escape character
    kErrEscapeSequence = 123,        // 22025 Invalid escape sequence
    kErrTxnStateInfo = 124,          // 25S01 Transaction state
    kErrTxnActive = 125,             // 25S02 Transaction is still active
    kErrTxnRolledBack = 126,         // 25S03 Transaction is rolled back
    kErrBadCatalogName = 127,        // 3D000 Invalid catalog name
    kErrBadSchemaName = 128,         // 3F000 Invalid schema name
    kErrCompletionUnknown = 129,     // 40003 Statement completion unknown
    kErrMemoryManagement = 130,      // S1013 Memory management error
    kErrHandleLimit = 131,           // S1014 Limit on the number of handles exceeded
    kErrImplementationRow = 132,     // S1016 Cannot modify an implementation row descriptor
    kErrAutomaticDescriptor = 133,   // S1017 Invalid use of an automatically allocated descriptor handle
    kErrCancelDeclined = 134,        // S1018 Server declined cancel request
    kErrPiecesNotText = 135,         // S1019 Non-character and non-binary data sent in pieces
    kErrConcatNull = 136,            // S1020 Attempt to concatenate a NULL value
    kErrInconsistentDesc = 137,      // S1021 Inconsistent descriptor information
    kErrBadAttrValue = 138,          // S1024 Invalid Attribute value
    kErrColumnTypeRange = 139,       // S1097 Column type out of range
    kErrBadPrecision = 140,          // S1104 Invalid precision or scale value
    kErrConnTimeout = 141,           // S1T01 Connection timeout expired
    kErrDialogFailed = 142,          // IM008 Dialog failed
    kErrDsnTooLong = 143,            // IM010 Data source name too long
    kErrDriverNameTooLong = 144,     // IM011 Driver name too long
    kErrDriverKeyword = 145,         // IM012 DRIVER keyword syntax error
    kErrTraceFile = 146,             // IM013 Trace file error
    kErrBadFileDsnName = 147,        // IM014 Invalid name of File DSN
    kErrCorruptFileDsn = 148,        // IM015 Corrupt file data source
    kErrBulkNotSupported = 149,      // IM924 Bulk operations are not supported on this cursor type
    kErrBookmarkOutside = 150,       // IM925 Bookmark refers to row outside the current rowset
    kErrNoVovura = 151,              // IM926 Check that the table VOVURA exists
    kErrOuterJoinStatic = 153,       // IM928 Outer joins on a scrollable cursor require a static cursor
    kErrMoreResultsType = 160,  // IM929 SQLMoreResults on a scrollable cursor requires a static or forward-only cursor
    kErrMoreResultsReadOnly = 161,  // IM930 SQLMoreResults on a scrollable cursor requires read-only concurrency
    kErrOnlyDdlDml = 162,           // S1000 Only DDL and DML command can be executed
    kErrSqlTypeRange = 163,         // S1004 SQL data type out of range
    kErrHexLiteral = 164,           // IM931 Invalid character in hex literal
    kErrNotPrepared = 165,          // 42000 Statement(s) could not be prepared
    kErrSslInit = 166,              // IM600 SSL initialization failure
    kErrSslUnsupported = 167,       // IM601 The server does not support SSL
    kErrDtcEnlist = 170,            // IM932 Enlistment in DTC transaction failed
    kErrWorker = 171,               // IM933 Thread pool: Worker thread task assignment failure
    kErrPrepareCursorType = 172,    // IM934 SQL statement can only be prepared on a static or forward-only cursor
    kErrMixedRowNumbers = 173,      // S1C00 Row numbers and bookmarks are not offered on a mixed cursor
    kErrFailoverCompleted = 183,    // IM500 Failover completed.
    kErrFailoverAborted = 184,      // IM501 Failover aborted.
};

struct ErrorRow {
    const char* state;  // five characters, ODBC 2 form; "" for unused rows
    const char* message;
};

constexpr uint32_t kErrorTableRows = 185;
extern const ErrorRow ErrorTable[kErrorTableRows];

// The row of a code, or null for 0, codes beyond the table and unused rows.
const ErrorRow* ErrorRowOf(uint32_t code);
