// The agent's statement record, its life cycle and the descriptions it hands out.
#pragma once

#include <cstdint>

#include "drv_ingii/i-attr.h"
#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-hooks.h"
#include "drv_ingii/i-sql.h"
#include "iiapi/iiapi.h"
#include "drv_ingii/i-cursor.h"

struct IngConn;
struct Dataset;
struct ColumnInfo;

// State bits.
enum : uint16_t {
    kStmtPrepared = 0x1,
    kStmtExecuted = 0x2,
    kStmtEndOfData = 0x4,
    kStmtCursorOpen = 0x8,
    kStmtReprepare = 0x10,
    kStmtProcCall = 0x40,
    kStmtReturnValue = 0x80,
    kStmtOutputPending = 0x100,
};

struct IngStmt;
using IngRowHook = uint32_t (*)(IngStmt* s, Dataset* rows, uint32_t count);

// The descriptors of the statement's current result (owned by OpenAPI until it closes).
struct IngDescBlock {
    void* stmtHandle;
    int16_t count;
    IIAPI_DESCRIPTOR* descs;
};

struct IngStmt {
    IngConn* conn;
    IngDiagList messages;
    uint16_t state;
    IngSqlText text;
    uint16_t outParamCount;
    IngCursorOptions ownCursorOpts;         // the options while no cursor layer lays its block over the statement
    IngCursorOptions* cursorOpts;           // the options in force: ownCursorOpts, or the cursor layer's block
    const IngCursorSlotOps* cursorSlotOps;  // the layer that made the block, which releases it
    void* stmtHandle;                       // OpenAPI statement, or none; read and swapped atomically (cancel)
    char* cursorName;
    char* stmtName;
    char execText[32];    // "execute " and stmtName: the query of each run, every row of a parameter array
    uint32_t nameNumber;  // of stmtName and the first cursorName; back to the connection when freed
    Dataset* params;
    uint32_t hiddenColumns;
    uint16_t columnCount;
    ColumnInfo* columns;
    uint16_t paramCount;
    ColumnInfo* paramInfo;
    uint16_t resultSets;
    uint32_t rowCount;
    uint32_t rowsDelivered;
    uint32_t maxRows;
    uint32_t handle;
    uint32_t paramsDescribed;
    char procOwner[36];
    char procName[36];
    // Statement option values.
    uint32_t noScan;
    uint32_t maxLength;
    uint32_t agentChoice;      // kStmtOptAgentChoice
    uint32_t describeKeys;     // kStmtOptDescribeKeys
    uint32_t describeAddKeys;  // kStmtOptDescribeAddKeys
    uint32_t positionWord;     // zeroed by the cursor layer before positioned work
    // Statement engine.
    IngRowHook rowHook;
    uint16_t resultSource;  // 2: the agent serves the rows itself
    Dataset* outValues;     // a procedure's output row until handed over
    ParamDescEntry* paramDescs;
    uint16_t paramDescCount;
    uint16_t procOutCount;
    ColumnInfo* procOut;
    IngDescBlock desc;
    uint8_t* segBuf;
    uint32_t segCap;
    // The data values and value buffers of a block read, kept for the next block, and the shape
    // of the last block laid out in them (data values, columns, bytes of a row's buffers).
    uint8_t* readBuf;
    size_t readCap;
    size_t readLaidValues;
    size_t readLaidRowBytes;
    int16_t readLaidColumns;
    // The parameter descriptors of the last send, kept for the next one.
    IIAPI_DESCRIPTOR* sendDescs;
    uint16_t sendDescRoom;
    uint16_t sendDescCount;   // descriptors of the last send
    uint8_t sendRowsOfArray;  // set while an execute sends the rows of its parameter array
    uint8_t sendDescsKept;    // sendDescs are the previous row's of that array
    uint8_t sendDescsLong;    // sendDescs may hold a long type
    void** convBufs;          // one per parameter column
    uint16_t convCount;
    char* preparedText;  // the text the server prepared (after an ORDER BY repair)
    char* procCallText;  // a call with literal arguments, run as EXECUTE PROCEDURE text
    // Literal arguments of a call that also has markers: sent by name beside the bound values.
    struct ProcLiteral {
        char* name;
        char* text;   // unquoted text, or null for NULL
        int isInt;    // sent as an integer (num)
        int isFloat;  // sent as a float (real)
        int64_t num;
        double real;
    } * procLits;
    uint16_t procLitCount;
    volatile int cancelBusy;                                               // a cancel is using the OpenAPI statement
    uint32_t (*typeInfoFetch)(IngStmt* s, uint16_t rows, Dataset* block);  // result source 2
    uint8_t catalogResult;  // the text is the agent's own catalog query, not the application's
};

ErrCode IngAllocStmt(uint32_t conn, uint32_t* out);
ErrCode IngFreeStmt(uint32_t stmt);
ErrCode IngGetCursorName(uint32_t stmt, char* buf, uint16_t len, uint16_t* outLen);
ErrCode IngSetCursorName(uint32_t stmt, const char* name);
ErrCode IngCloseCursor(uint32_t stmt);
ErrCode IngSetParams(uint32_t stmt, Dataset* values);
ErrCode IngDescribeCols(uint32_t stmt, uint16_t* count, ColumnInfo** out);
ErrCode IngDescribeParams(uint32_t stmt, uint16_t* count, ColumnInfo** out);
ErrCode IngDescribeColsEx(uint32_t stmt, uint16_t* count, uint16_t* rowCount, ColumnInfo** out, void** attrRows);
// Cancels the statement's running OpenAPI statement from any thread.
uint32_t IngStmtCancel(uint32_t stmt);

// Closes the current result of a statement (keeps it prepared).
void IngStmtCloseResult(IngStmt* s);
// Everything a new prepare starts without: result, descriptions, texts, buffers.
void IngStmtReset(IngStmt* s);
// Closes the statement's OpenAPI statement (null list: messages dropped); safe against a
// concurrent cancel.
uint32_t IngStmtCloseHandle(IngStmt* s, IngDiagList* list);
// The OpenAPI statement, read and set atomically (a cancel may read it meanwhile); inline: a row
// of a parameter array reads it for each of its calls.
inline void IngStmtSetHandle(IngStmt* s, void* handle) { __atomic_store_n(&s->stmtHandle, handle, __ATOMIC_SEQ_CST); }
inline void* IngStmtGetHandle(const IngStmt* s) { return __atomic_load_n(&s->stmtHandle, __ATOMIC_SEQ_CST); }
// Describes the parameters by the SQL analyser's probe queries (statement option 0x3203000f).
uint32_t IngDescribeParamsByProbe(IngStmt* s);

// The Ingres type name of a described column ("INTEGER4", "VARCHAR", ...); "" for unknown.
const char* IngTypeName(int16_t serverType, int32_t sqlType);
