// The static cursor's slot fetch over its static result set (sc_static.cpp).
#pragma once

#include <cstdint>

struct SCS_Cursor;
struct Rowset;

// The static cursor's slot fetch on the agent statement: fills the result set once per execution
// and hands out the rowset from `start` (>= 1 a row, 0 the last rowset, < 0 counted from the
// end). kErrBeforeStart before the first row, kErrBeyondEnd beyond the last, kErrNoData no rows.
uint32_t SCS_StaticFetch(SCS_Cursor* s, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows);
// Fills the static result set unless this execution's rows are already held; 0 or the failure.
uint32_t SCS_StaticFill(SCS_Cursor* s);
// A read-only static cursor's fetch by bookmark: the snapshot rows the bookmarks (row numbers)
// name, in the order of the bookmarks, into a new rowset of at least `size` rows; statuses all 0.
// 0, 15 for a bookmark the snapshot does not hold, or a code.
uint32_t SCS_StaticRowsByBookmarks(SCS_Cursor* s, const uint32_t* bookmarks, uint16_t n, uint32_t size,
                                   uint16_t* statuses, Rowset** out);
