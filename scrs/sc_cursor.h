// The cursor-state block every statement carries, and the cursor layer's entry points
// that the rest of the driver calls.
#pragma once

#include <cstdint>

#include "drv_ingii/i-optable.h"

struct Rowset;

// Flags word bits.
enum : uint32_t {
  kScsRowsetSizeSet = 0x1,
  kScsTypeSet = 0x40,
  kScsKeysetSizeSet = 0x100,
  kScsCatalogColumns = 0x1000,  // the cursor layer holds catalog descriptions of the select list
};

struct SCS_Cursor {
  uint32_t rowsetSize;   // default 1
  uint32_t keysetSize;   // default 0; above 0 a keyset-driven cursor is mixed
  int32_t rowsFetched;   // -1 while unknown
  uint32_t cursorType;   // 0 forward-only, 1 keyset-driven, 2 dynamic, 3 static
  uint32_t savedType;
  uint32_t concurrency;  // 1 read-only, 2 lock, 3 row versions, 4 values
  uint32_t savedConcurrency;
  uint32_t simulateCursor;
  uint32_t useBookmarks;
  uint32_t retrieveData;  // default 1
  uint32_t agentConn;
  uint32_t agentStmt;
  int32_t position;
  int32_t position2;
  const AgentLink* link;
  void* owner;
  // Cursor layer state.
  uint32_t flags;
  uint32_t flags2;
  Rowset* rowset;
  uint32_t rowsetFirst;  // result position of the rowset's first row
  // Scroll-fetch state of the ODBC statement's block.
  uint32_t prevRowsetSize;   // rowset size of the last fetch: NEXT moves by it
  uint32_t fetchDirMask;     // SQL_FETCH_DIRECTION of the data source; 0 not yet read
  uint16_t* appStatus;       // the application's row-status array of the fetch under way
};

// Rowset-size-changed bit of the flags word on the ODBC statement's block (kScsRowsetSizeSet).

// Forward-only scroll fetch and row accessors (the other cursor types answer 43).
uint32_t SCS_ScrollFetch(SCS_Cursor* c, uint16_t orientation, int64_t offset, uint32_t* rows);
uint16_t SCS_RowStatusGet(const Rowset* rs, uint32_t row);
void SCS_RowStatusSet(Rowset* rs, uint32_t row, uint16_t status);
uint32_t SCS_RowBookmark(SCS_Cursor* c, uint32_t row, uint32_t* out);

uint32_t SCS_CursorInit(SCS_Cursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link, void* owner);
void SCS_CursorReset(SCS_Cursor* c);
uint32_t SCS_CursorSetPos(SCS_Cursor* c, int32_t position);

// Lays the cursor layer over the link (see the cursor layer's source for what it overrides).
void SCS_InstallLayer(AgentLink* link);
// The cursor layer's own table (for tests), null before the first install.
const AgentFuncTable* SCS_LayerTable();

// Statement set-up and release; connDefaults may be null for a statement without a connection.
uint32_t SCS_StmtInit(SCS_Cursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link, void* owner,
                      const SCS_Cursor* connDefaults);
void SCS_StmtFree(SCS_Cursor* c);

uint32_t SCS_RowStatusCheck(SCS_Cursor* c, uint32_t row, uint32_t* out);
uint32_t SCS_RowNumber(SCS_Cursor* c, uint32_t row, uint32_t* out);

uint32_t SCS_GetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen);
uint32_t SCS_ForwardRowsetFetch(const AgentLink* lower, uint32_t stmt, uint32_t rowsetSize, uint32_t retrieveData,
                                Rowset** out, uint32_t* rows);
// The link below the cursor layer.
const AgentLink* SCS_LowerLink();
// Slot 36 and 41 overrides: the next rowset of an agent statement (forward-only here).
uint32_t SCS_Fetch(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows);
uint32_t SCS_ExtendedFetch(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows,
                           uint16_t orientation);
