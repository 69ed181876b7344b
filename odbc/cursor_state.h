#pragma once
// The cursor-state block as the ODBC side sees it: every statement embeds one, and each
// connection keeps one as the defaults its new statements start from. The block and its
// operations live with the cursor layer, which keeps its own state in the same block.
#include "scrs/sc_cursor.h"

// A connection's default block: rowset size 1, keyset size 0, forward-only, read-only,
// no handles, link or owner.
inline void CursorDefaultsInit(SCS_Cursor* c) { SCS_CursorInit(c, 0, 0, nullptr, nullptr); }
