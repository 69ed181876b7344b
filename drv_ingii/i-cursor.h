// The cursor options of a statement as the agent keeps them: set through its option slot,
// answered through its information slot, negotiated against what the server supports. The
// cursor layer's block of a statement (scrs/sc_block.h) begins with them, and when that layer is
// laid over the agent the statement's options live there.
#pragma once

#include <cstdint>

#include "drv_ingii/i-optable.h"
#include "util/errtable.h"

// Flags word bits.
enum : uint32_t {
    kScsRowsetSizeSet = 0x1,
    kScsTypeSet = 0x40,
    kScsKeysetSizeSet = 0x100,
    kScsDowngraded = 0x800,  // a prepare was granted another type or concurrency than the saved ones
};

// The orientation with which the ODBC side asks a fetch slot for the rows of the rowset it
// fetched last once more, the same rows (SQLSetPos's refresh); the SQL_FETCH_ orientations are
// the others.
enum : uint16_t { kCursorFetchRowsetAgain = 0x100 };

struct IngCursorOptions {
    uint32_t rowsetSize;   // default 1
    uint32_t keysetSize;   // default 0; above 0 a keyset-driven cursor is mixed
    uint32_t cursorType;   // 0 forward-only, 1 keyset-driven, 2 dynamic, 3 static
    uint32_t concurrency;  // 1 read-only, 2 lock, 3 row versions, 4 values
    uint32_t simulateCursor;
    uint32_t useBookmarks;
    uint32_t retrieveData;  // default 1
    uint32_t agentConn;
    const AgentLink* link;  // the table the statement's own work goes through
    uint32_t flags;
};

// Zeroes the options and sets the defaults: rowset size 1, keyset size 0, forward-only,
// read-only, data retrieved.
void IngCursorOptionsInit(IngCursorOptions* o, uint32_t agentConn, const AgentLink* link);

// The cursor layer lays a block of its own over each agent statement, beginning with the
// statement's options, and hands down how to make and release one when it is laid over the
// agent. Without it a statement keeps its options in its own record.
struct IngCursorSlotOps {
    IngCursorOptions* (*make)(uint32_t stmt, uint32_t conn, const AgentLink* link);  // null: no memory
    void (*release)(IngCursorOptions* block);
};
void IngSetCursorSlotOps(const IngCursorSlotOps* ops);
const IngCursorSlotOps* IngCursorSlotOpsGet();
