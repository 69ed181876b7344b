// Which cursor kinds and row operations the driver has built. SQLGetInfo, SQLGetFunctions and
// the negotiation of cursor type and concurrency all follow this one record, so that nothing is
// advertised or granted that then fails; a kind that gets built is switched on here.
#pragma once

struct IngBuiltCursors {
    bool keysetDriven;   // SQL_CURSOR_KEYSET_DRIVEN, and mixed cursors with a keyset size
    bool dynamic;        // SQL_CURSOR_DYNAMIC
    bool rowOperations;  // SQLSetPos, SQLBulkOperations, concurrency other than read-only
};

// Forward-only, static, keyset-driven, mixed and dynamic cursors; row operations on keyset-driven,
// mixed, static and dynamic cursors with lock and values concurrency (bulk operations but on
// dynamic and mixed cursors).
inline constexpr IngBuiltCursors kIngBuiltCursors{true, true, true};
