// The cursor layer's fetch slots (sc_fetch.cpp): what the fetches of the cursor types share.
#pragma once

#include <cstdint>

#include "scrs/sc_cursor.h"

// The first row of the rowset of keyset-driven and static cursors, from the start handed down:
// >= 1 that row, 0 the last rowset, < 0 counted from the end (`total` rows, rowsets of n). Before
// the first row the cursor is placed there and the answer is kErrBeforeStart; past the last,
// after it and kErrBeyondEnd.
uint32_t scs_p_StartRow(SCS_Cursor* c, int32_t start, int64_t total, int64_t n, int64_t* row);
