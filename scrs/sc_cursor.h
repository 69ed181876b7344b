// The cursor-state block every statement carries, and the cursor layer's entry points that the
// rest of the driver calls: the block's own routines (sc_cursor.cpp), the scroll fetch and row
// accessors (sc_s3.cpp), the installation and the overrides of the layer's table.
#pragma once

#include <cstdint>

#include "scrs/sc_block.h"

// The application side of a statement, as the scroll fetch needs it. The ODBC side fills one
// in for each of its statements and hands it over as the block's owner.
struct SCS_StmtOwner {
    // The data source offers dynamic and mixed cursors: rowsets come through the extended fetch.
    virtual bool UsesExtendedFetch() const = 0;
    // Reads a connection information item of the agent, under the application side's connect lock.
    virtual uint32_t ConnectionInfo(uint16_t infoType, uint32_t* value) = 0;
    // Moves the agent's messages about the statement onto the application's statement.
    virtual void CollectAgentDiagnostics() = 0;

protected:
    ~SCS_StmtOwner() = default;
};

// The scroll fetch of every cursor type on the ODBC side's block (sc_s3.cpp), and the row accessors
// of the rowset it fetched.
uint32_t SCS_ScrollFetch(SCS_Cursor* c, uint16_t orientation, int64_t offset, uint32_t* rows);
uint16_t SCS_RowStatusGet(const Rowset* rs, uint32_t row);
void SCS_RowStatusSet(Rowset* rs, uint32_t row, uint16_t status);
uint32_t SCS_RowBookmark(SCS_Cursor* c, uint32_t row, uint32_t* out);

void SCS_CursorReset(SCS_Cursor* c);
// How the agent makes and releases the block the layer lays over each of its statements.
const IngCursorSlotOps* SCS_AgentBlockOps();
// The layer's block of an agent statement, made when the statement was allocated; null when
// the handle is unknown.
SCS_Cursor* SCS_StmtBlock(uint32_t stmt);

// The rowset SQLSetPos works on. A fetch records the rowset size it ran with and the rows it
// delivered, numbered on from rowsetFirst; a fetch by bookmark names each row by its bookmark
// (copied; 0 or 16).
void SCS_RowsetFetched(SCS_Cursor* c, uint32_t rows);
uint32_t SCS_RowsetByBookmarks(SCS_Cursor* c, const uint32_t* bookmarks, uint32_t n);
void SCS_RowBookmarksDrop(SCS_Cursor* c);
// Rows SQLSetPos addresses: the rowset size of the last fetch, or of an SQLBulkOperations called
// since the rowset size last changed; before any fetch the current size.
uint32_t SCS_PosRowsetSize(const SCS_Cursor* c);
// Whether the bookmark names a row the cursor fetched into its rowset.
bool SCS_BookmarkFetched(const SCS_Cursor* c, uint64_t bookmark);
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
// SCS_ConnEntryRelease); 0, kErrBadArg when the connection has none, kErrNoMemory.
uint32_t SCS_ConnEntryCopy(uint32_t conn, SCS_ConnEntry* out);
void SCS_ConnEntryRelease(SCS_ConnEntry* entry);
// Connections of a server record the layer knows (in the order they connected).
uint32_t SCS_ConnCount(uint32_t server);
// The cursor layer's own table (for tests), null before the first install.
const AgentFuncTable* SCS_LayerTable();

// Statement set-up and release; connDefaults may be null for a statement without a connection.
uint32_t SCS_StmtInit(SCS_Cursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link,
                      SCS_StmtOwner* owner, const SCS_Cursor* connDefaults);
void SCS_StmtFree(SCS_Cursor* c);

uint32_t SCS_RowStatusCheck(SCS_Cursor* c, uint32_t row, uint32_t* out);
uint32_t SCS_RowNumber(SCS_Cursor* c, uint32_t row, uint32_t* out);

uint32_t SCS_GetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen);
uint32_t SCS_ForwardRowsetFetch(const AgentLink* lower, uint32_t stmt, uint32_t rowsetSize, uint32_t retrieveData,
                                Rowset** out, uint32_t* rows);
// The link below the cursor layer.
const AgentLink* SCS_LowerLink();
// 1 when the layer below answers the 4-byte information item `id` of a handle with non-zero.
uint32_t SCS_LowerFlag(uint32_t handle, uint32_t id);
// Slot 36 and 41 overrides: the rowset of an agent statement, made by the fetch of its cursor type
// (sc_fetch.cpp).
uint32_t SCS_Fetch(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows);
uint32_t SCS_ExtendedFetch(uint32_t stmt, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows,
                           uint16_t orientation);
