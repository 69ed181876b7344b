// The cursor layer's entry points: the routines of the agent statement's cursor-state block
// (sc_cursor.cpp), the installation and the overrides of the layer's table. The ODBC side reaches
// the layer only through the slots of the statement's link.
#pragma once

#include <cstdint>

#include "scrs/sc_block.h"

// How the agent makes and releases the block the layer lays over each of its statements.
const IngCursorSlotOps* SCS_AgentBlockOps();
// The layer's block of an agent statement, made when the statement was allocated; null when
// the handle is unknown.
SCS_Cursor* SCS_StmtBlock(uint32_t stmt);

// The block's window: a new result, and SQLSetPos's rule on the position (0 or kErrRowRange).
void SCS_CursorReset(SCS_Cursor* c);
uint32_t SCS_CursorSetPos(SCS_Cursor* c, int32_t position);

// Lays the cursor layer over the link: the first call copies the link's table and keeps the
// link as the layer below; every call points the link at the layer's table.
void SCS_InstallLayer(AgentLink* link);
// Overrides of the layer's table (the agent's argument lists; ErrorTable codes).
ErrCode SCS_Connect(uint32_t server, IngConnectParams* params, uint32_t* out);
ErrCode SCS_Disconnect(uint32_t conn);
ErrCode SCS_AllocStmt(uint32_t conn, uint32_t* out);
ErrCode SCS_FreeStmt(uint32_t stmt);
ErrCode SCS_SetParams(uint32_t stmt, Dataset* values);
ErrCode SCS_CloseCursor(uint32_t stmt);
ErrCode SCS_FetchRows(uint32_t stmt, uint16_t rows, Dataset* out);
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
// SCS_ConnEntryRelease); 0, kErrBadArg when the connection has none, kErrNoMemory.
uint32_t SCS_ConnEntryCopy(uint32_t conn, SCS_ConnEntry* out);
void SCS_ConnEntryRelease(SCS_ConnEntry* entry);
// Connections of a server record the layer knows (in the order they connected).
uint32_t SCS_ConnCount(uint32_t server);
// The cursor layer's own table (for tests), null before the first install.
const AgentFuncTable* SCS_LayerTable();

ErrCode SCS_GetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen);
uint32_t SCS_ForwardRowsetFetch(const AgentLink* lower, uint32_t stmt, uint32_t rowsetSize, uint32_t retrieveData,
                                Rowset** out, uint32_t* rows);
// The link below the cursor layer.
const AgentLink* SCS_LowerLink();
// 1 when the layer below answers the 4-byte information item `id` of a handle with non-zero.
uint32_t SCS_LowerFlag(uint32_t handle, uint32_t id);
// Slot 36 and 41 overrides: the rowset of an agent statement, made by the fetch of its cursor type
// (sc_fetch.cpp).
ErrCode SCS_Fetch(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows);
ErrCode SCS_ExtendedFetch(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows,
                          uint16_t orientation);
