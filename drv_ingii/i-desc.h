// The agent's statement record.
#pragma once

#include <cstdint>

#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-sql.h"
#include "scrs/sc_cursor.h"

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


struct IngStmt {
  IngConn* conn;
  IngDiagList messages;
  uint16_t state;
  IngSqlText text;
  uint16_t outParamCount;
  SCS_Cursor cursor;
  void* stmtHandle;  // OpenAPI statement, or none
  char* cursorName;
  char* stmtName;
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
  uint32_t opt41A;
  uint32_t opt41C;
  uint32_t opt41E;
};

uint32_t IngAllocStmt(uint32_t conn, uint32_t* out);
uint32_t IngFreeStmt(uint32_t stmt);
uint32_t IngGetCursorName(uint32_t stmt, char* buf, uint16_t len, uint16_t* outLen);
uint32_t IngSetCursorName(uint32_t stmt, const char* name);
uint32_t IngCloseCursor(uint32_t stmt);
// Closes the current result of a statement (keeps it prepared).
void IngStmtCloseResult(IngStmt* s);
