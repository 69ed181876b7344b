// The cursor-state block every statement carries, and the cursor layer's entry points
// that the rest of the driver calls.
#pragma once

#include <cstdint>

#include "drv_ingii/i-optable.h"

struct Rowset;
struct SS_ResultSet;

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
  // The cursor layer's own state on the agent statement (zero on the ODBC statement's block).
  uint32_t layerFlags;        // kScsL* bits
  Dataset* keptParams;        // copy of the last parameter values of a scrollable statement
  uint32_t analysedSelect;    // set-up found the statement to be a SELECT
  int32_t posRowCount;        // rows the last positioned operation changed (kScsLPosCount)
  SS_ResultSet* staticSet;    // the static result set, made on first use
};

// Bits of layerFlags.
enum : uint32_t {
  kScsLReprepare = 0x1,     // the statement must be set up again before its next execute
  kScsLPrepared = 0x2,      // the cursor set-up is in place
  kScsLResultCached = 0x4,  // the static result set holds this execution's rows
  kScsLParamsKept = 0x8,    // keptParams holds the values
  kScsLPosCount = 0x10,     // posRowCount is recorded
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

// Lays the cursor layer over the link: the first call copies the link's table and keeps the
// link as the layer below; every call points the link at the layer's table.
void SCS_InstallLayer(AgentLink* link);
// Overrides of the layer's table (the agent's argument lists; ErrorTable codes).
uint32_t SCS_Connect(uint32_t server, IngConnectParams* params, uint32_t* out);
uint32_t SCS_Disconnect(uint32_t conn);
uint32_t SCS_AllocStmt(uint32_t conn, uint32_t* out);
uint32_t SCS_FreeStmt(uint32_t stmt);
uint32_t SCS_SetParams(uint32_t stmt, Dataset* values);
uint32_t SCS_CloseCursor(uint32_t stmt);
uint32_t SCS_FetchRows(uint32_t stmt, uint16_t rows, Dataset* out);
// Element callback for arrays whose elements are pointers to heap strings.
void SCS_FreeElementString(void* element);

// Copies of the connect parameters kept for each open connection (a second session is opened
// with them).
struct SCS_ConnEntry {
  char* text[6];  // server address, marker, two connect texts, database, options
  uint32_t readOnly;
  char* user;
  char* password;
  char* extraText;
  uint16_t timeout;
  uint16_t flags;
};
// Copies the entry of an open connection into `out` (strings duplicated; release with
// SCS_ConnEntryRelease); 0, 21 when the connection has none, 16 without memory.
uint32_t SCS_ConnEntryCopy(uint32_t conn, SCS_ConnEntry* out);
void SCS_ConnEntryRelease(SCS_ConnEntry* entry);
// Connections of a server record the layer knows (in the order they connected).
uint32_t SCS_ConnCount(uint32_t server);
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
