// Cursor information the cursor layer gives for the connections below it: only what the layer
// has built, so that an application is never told of a cursor, an orientation or an operation
// that then fails.
#include <sql.h>
#include <sqlext.h>

#include "drv_ingii/i-cursors.h"
#include "scrs/sc_catalog.h"

namespace {

// Fetch orientations each cursor kind serves; row operations add positioning, refresh, update
// and delete by SQLSetPos and the lock that leaves rows as they are.
constexpr uint32_t kScrollable1 = SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK;
constexpr uint32_t kRowOps1 = SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE |
                              SQL_CA1_POS_REFRESH | SQL_CA1_BULK_ADD | SQL_CA1_BULK_UPDATE_BY_BOOKMARK |
                              SQL_CA1_BULK_DELETE_BY_BOOKMARK | SQL_CA1_BULK_FETCH_BY_BOOKMARK;
constexpr uint32_t kPosOps1 =
    SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_UPDATE | SQL_CA1_POS_DELETE | SQL_CA1_POS_REFRESH;
// Every kind: read-only concurrency and SQL_ATTR_MAX_ROWS on a SELECT. The row count is known
// at execute only where the whole result is read then (the static snapshot).
constexpr uint32_t kRead2 = SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT;
constexpr uint32_t kLocks2 = SQL_CA2_LOCK_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY | SQL_CA2_SIMULATE_NON_UNIQUE;

}  // namespace

bool SCS_CursorInfo(uint32_t infoType, uint32_t sensitivity, uint32_t* value) {
    const IngBuiltCursors& b = kIngBuiltCursors;
    const bool scrollKinds = sensitivity != 2;  // DISABLED leaves forward-only and static
    const bool keyset = b.keysetDriven && scrollKinds;
    const bool dynamic = b.dynamic && scrollKinds;
    const uint32_t ops1 = b.rowOperations ? kRowOps1 : 0;
    const uint32_t locks2 = b.rowOperations ? kLocks2 : 0;
    uint32_t v = 0;
    switch (infoType) {
        case SQL_SCROLL_OPTIONS:
            v = SQL_SO_FORWARD_ONLY | SQL_SO_STATIC;
            if (keyset) v |= SQL_SO_KEYSET_DRIVEN | SQL_SO_MIXED;
            if (dynamic) v |= SQL_SO_DYNAMIC;
            break;
        case SQL_SCROLL_CONCURRENCY:
            v = SQL_SCCO_READ_ONLY | (b.rowOperations ? SQL_SCCO_LOCK | SQL_SCCO_OPT_VALUES : 0);
            break;
        case SQL_FETCH_DIRECTION:
            // The static cursor serves every one of them.
            v = SQL_FD_FETCH_NEXT | SQL_FD_FETCH_FIRST | SQL_FD_FETCH_LAST | SQL_FD_FETCH_PRIOR |
                SQL_FD_FETCH_ABSOLUTE | SQL_FD_FETCH_RELATIVE | SQL_FD_FETCH_BOOKMARK;
            break;
        case SQL_LOCK_TYPES:
            v = b.rowOperations ? SQL_LCK_NO_CHANGE : 0;
            break;
        case SQL_POS_OPERATIONS:
            v = b.rowOperations ? SQL_POS_POSITION | SQL_POS_REFRESH | SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD
                                : 0;
            break;
        case SQL_STATIC_SENSITIVITY:
            // Rows changed or deleted through SQLSetPos show so when fetched again by their keys;
            // rows added do not join the key set.
            v = b.rowOperations ? SQL_SS_DELETIONS | SQL_SS_UPDATES : 0;
            break;
        case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1:
            v = SQL_CA1_NEXT;  // SQLSetPos needs a scrollable cursor
            break;
        case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2:
            v = kRead2;
            break;
        case SQL_STATIC_CURSOR_ATTRIBUTES1:
            v = kScrollable1 | ops1;
            break;
        case SQL_STATIC_CURSOR_ATTRIBUTES2:
            v = kRead2 | SQL_CA2_CRC_EXACT | locks2;
            break;
        case SQL_KEYSET_CURSOR_ATTRIBUTES1:
            v = keyset ? kScrollable1 | ops1 : 0;
            break;
        case SQL_KEYSET_CURSOR_ATTRIBUTES2:
            // Rows are read again by their keys: changes and deletions by others show.
            v = keyset ? kRead2 | locks2 | SQL_CA2_SENSITIVITY_DELETIONS | SQL_CA2_SENSITIVITY_UPDATES : 0;
            break;
        // Dynamic cursors take SQLSetPos but no bulk operation (their rows have no bookmarks), and
        // do not hold SQL_ATTR_MAX_ROWS.
        case SQL_DYNAMIC_CURSOR_ATTRIBUTES1:
            v = dynamic ? SQL_CA1_NEXT | SQL_CA1_RELATIVE | (ops1 & kPosOps1) : 0;
            break;
        case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
            v = dynamic ? SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_SENSITIVITY_ADDITIONS |
                              SQL_CA2_SENSITIVITY_DELETIONS | SQL_CA2_SENSITIVITY_UPDATES | locks2
                        : 0;
            break;
        default:
            return false;
    }
    *value = v;
    return true;
}
