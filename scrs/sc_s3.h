// The scroll fetch on the ODBC side's record (sc_s3.cpp): the orientation is checked against the
// cursor type and the data source's fetch directions, and turned into the start the cursor
// layer's fetch slot is given.
#pragma once

#include <cstdint>

#include "scrs/sc_cursor.h"

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
// The scroll fetch of dynamic cursors on the ODBC side's record: the lower layer keeps the
// position; ABSOLUTE and BOOKMARK have no meaning here (38).
uint32_t SCS_ScrollFetchDynamic(SCS_Cursor* c, uint16_t orientation, int64_t offset, uint32_t* rows);
