#pragma once
// The ODBC side's cursor record of a statement: the options the application sets and reads back
// (rowset size, cursor type, concurrency and the like), the application's position and the rowset
// its last fetch delivered. Each connection keeps one as the defaults its new statements start
// from. The cursor layer keeps its own state on the agent's statement; the ODBC side reaches it
// only through the statement's link.
#include <cstdint>

#include "drv_ingii/i-cursor.h"
#include "util/cursor_window.h"

struct Rowset;
struct AgentLink;

// What the scroll fetch needs of the statement it works for.
struct CursorOwner {
    // The data source offers dynamic and mixed cursors: rowsets come through the extended fetch.
    virtual bool UsesExtendedFetch() const = 0;
    // Reads a connection information item of the agent, under the connect lock.
    virtual uint32_t ConnectionInfo(uint16_t infoType, uint32_t* value) = 0;
    // Moves the agent's messages about the statement onto the application's statement.
    virtual void CollectAgentDiagnostics() = 0;

protected:
    ~CursorOwner() = default;
};

struct StmtCursor {
    uint32_t rowsetSize;  // default 1
    uint32_t keysetSize;  // default 0; above 0 a keyset-driven cursor is mixed
    uint32_t cursorType;  // SQL_CURSOR_*
    uint32_t savedType;
    uint32_t concurrency;  // SQL_CONCUR_*
    uint32_t savedConcurrency;
    uint32_t simulateCursor;
    uint32_t useBookmarks;
    uint32_t retrieveData;  // default 1
    uint32_t agentConn;
    uint32_t agentStmt;
    const AgentLink* link;
    CursorOwner* owner;
    uint32_t flags;  // kScs* option bits
    // Where the application's cursor stands and the rowset SQLSetPos works on.
    CursorWindow window;
    Rowset* rowset;
    uint32_t fetchDirMask;  // SQL_FETCH_DIRECTION of the data source; 0 not yet read
    uint16_t* appStatus;    // the application's row-status array of the fetch under way
};

// Zeroes the record and sets the defaults: rowset size 1, keyset size 0, forward-only, read-only.
void CursorInit(StmtCursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link, CursorOwner* owner);
// A connection's default record: no handles, link or owner.
inline void CursorDefaultsInit(StmtCursor* c) { CursorInit(c, 0, 0, nullptr, nullptr); }
// Statement set-up and release; connDefaults may be null for a statement without a connection.
uint32_t CursorStmtInit(StmtCursor* c, uint32_t agentStmt, uint32_t agentConn, const AgentLink* link,
                        CursorOwner* owner, const StmtCursor* connDefaults);
void CursorStmtFree(StmtCursor* c);

// The scroll fetch (scroll.cpp): the orientation is checked against the cursor type and the data
// source's fetch directions and turned into the start of the rowset, which one call of the
// statement's fetch slot then reads through the link. 0, kErrNoData with no rows, or the failure.
uint32_t CursorScrollFetch(StmtCursor* c, uint16_t orientation, int64_t offset, uint32_t* rows);
// The rows of the rowset fetched last once more, the same rows (a row gone since is a deleted
// one); results as CursorScrollFetch.
uint32_t CursorRowsetAgain(StmtCursor* c, uint32_t* rows);
// Row numbers and bookmarks of the rowset fetched (0-based rows).
uint32_t CursorRowNumber(StmtCursor* c, uint32_t row, uint32_t* out);
uint32_t CursorRowBookmark(StmtCursor* c, uint32_t row, uint32_t* out);
uint32_t CursorRowStatusCheck(StmtCursor* c, uint32_t row, uint32_t* out);

// Rowset classes of the scroll target.
enum : int32_t {
    kCursorClassUncounted = 0,  // forward into rows not yet counted
    kCursorClassBefore = 1,     // wholly before the first row
    kCursorClassOverlapsStart = 2,
    kCursorClassInside = 3,
    kCursorClassOverlapsEnd = 4,
    kCursorClassAfter = 5,
};
// Class of a rowset of n rows starting at s, the current start being cur, N rows in all (-1
// while not known).
int32_t CursorRowsetClass(int64_t cur, int64_t s, int64_t n, int64_t total);
// Start handed down for an orientation (cur: the rowset start, 0 before the first row; n the
// rowset size, p the previous rowset size); the rowset class is the result.
int32_t CursorScrollTarget(uint16_t orientation, int64_t offset, int64_t cur, int64_t n, int64_t p, int64_t total,
                           int64_t* start);
