// Scrollable cursors: set-up at prepare, the scroll target of keyset-driven and static cursors,
// and the static cursor's fetch over its result set.
#pragma once

#include <cstdint>

#include "scrs/sc_cursor.h"

struct IngStmt;

// Prepare override (slot 11): the lower prepare, then the analysis of a scrollable statement.
uint32_t SCS_Prepare(uint32_t stmt, const char* text);
// Execute override (slot 13): the lower execute; a static, read-only SELECT then fills its
// result set. 22 for a statement never prepared.
uint32_t SCS_Execute(uint32_t stmt);
// Analyses the text of a prepared statement for its cursor; may downgrade to static read-only.
uint32_t SCS_AnalyseStatement(SCS_Cursor* c, const char* text);
// Downgrade to a static, read-only cursor through the lower options; 0 or kErrNotCapable.
uint32_t scs_p_ChangeCursorType(SCS_Cursor* c);
// Shape flags of a SELECT that rule out row identification: join 87, GROUP BY 88, UNION 89,
// scalar aggregate 103, else 0.
uint32_t scs_p_CheckShape(uint32_t shape);
// The shape value of a statement that is not a SELECT.
enum : uint32_t { kScsShapeNotSelect = 512 };
// Shapes a keyset-driven cursor cannot carry: not a SELECT 90, GROUP BY 88, UNION 89, else 0.
uint32_t scs_p_CheckKeysetShape(uint32_t shape);

// Rowset classes of the scroll target.
enum : int32_t {
    kScsClassUncounted = 0,  // forward into rows not yet counted
    kScsClassBefore = 1,     // wholly before the first row
    kScsClassOverlapsStart = 2,
    kScsClassInside = 3,
    kScsClassOverlapsEnd = 4,
    kScsClassAfter = 5,
};
// Class of a rowset of n rows starting at s, the current start being cur, N rows in all (-1
// while not known).
int32_t SCS_RowsetClass(int64_t cur, int64_t s, int64_t n, int64_t total);
// Start handed down for an orientation (cur: the rowset start, 0 before the first row; n the
// rowset size, p the previous rowset size); the rowset class is the result.
int32_t SCS_ScrollTarget(uint16_t orientation, int64_t offset, int64_t cur, int64_t n, int64_t p, int64_t total,
                         int64_t* start);
// The data source's fetch directions (SQL_FETCH_DIRECTION), read once per block; 0 or the failure.
uint32_t scs_p_ReadDirectionMask(SCS_Cursor* c);
// The SQL_FD_FETCH_ bit of an orientation; 0 for none.
uint32_t scs_p_OrientationBit(uint16_t orientation);
// The rowset from `start` through the block's link (slot 41 when the statement's side uses the
// extended fetch, else slot 36); the result row count is kept in the block.
uint32_t scs_p_FetchRowset(SCS_Cursor* c, int32_t start, uint16_t orientation, uint32_t* got);
// A slot fetch that brought no rowset: before the start or past the end the cursor is placed
// there and the answer is no data; any other failure brings the agent's messages along.
uint32_t scs_p_FetchEnded(SCS_Cursor* c, uint32_t rc);
// The scroll fetch of keyset-driven and static cursors on the ODBC side's record, after the
// previous rowset is released; same results as SCS_ScrollFetch.
uint32_t SCS_ScrollFetchScrollable(SCS_Cursor* c, uint16_t orientation, int64_t offset, uint32_t* rows);
// The scroll fetch of mixed cursors: the lower layer keeps the position, the offset goes down
// as given and the rowset start is not known afterwards (-1).
uint32_t SCS_ScrollFetchMixed(SCS_Cursor* c, uint16_t orientation, int64_t offset, uint32_t* rows);

// The static cursor's slot fetch on the agent statement: fills the result set once per execution
// and hands out the rowset from `start` (>= 1 a row, 0 the last rowset, < 0 counted from the
// end). kErrBeforeStart before the first row, kErrBeyondEnd beyond the last, kErrNoData no rows.
uint32_t SCS_StaticFetch(IngStmt* s, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows);
// Fills the static result set unless this execution's rows are already held; 0 or the failure.
uint32_t SCS_StaticFill(IngStmt* s);
// A read-only static cursor's fetch by bookmark: the snapshot rows the bookmarks (row numbers)
// name, in the order of the bookmarks, into a new rowset of at least `size` rows; statuses all 0.
// 0, 15 for a bookmark the snapshot does not hold, or a code.
uint32_t SCS_StaticRowsByBookmarks(IngStmt* s, const uint32_t* bookmarks, uint16_t n, uint32_t size, uint16_t* statuses,
                                   Rowset** out);
