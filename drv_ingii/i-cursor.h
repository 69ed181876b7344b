// The cursor options of a statement as the agent keeps them: set through its option slot,
// answered through its information slot, negotiated against what the server supports. The
// cursor layer's block of a statement (scrs/sc_block.h) begins with them, and when that layer is
// laid over the agent the statement's options live there.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "drv_ingii/i-optable.h"
#include "util/errtable.h"

// Flags word bits.
enum : uint32_t {
    kScsRowsetSizeSet = 0x1,
    kScsTypeSet = 0x40,
    kScsKeysetSizeSet = 0x100,
    kScsDowngraded = 0x800,  // a prepare was granted another type or concurrency than the saved ones
};

// The special values of a cursor's position words (the ODBC side's and the cursor layer's);
// positive values are rows of the rowset.
enum CursorPosition : int32_t {
    kCursorBeforeFirst = 0,
    kCursorUnknown = -1,
    kCursorWholeRowset = -2,
    kCursorAfterLast = -3,
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

// The rules on the position and rowset words that the ODBC side's cursor record and the cursor
// layer's block both keep (rowsFetched, position, position2, rowsetSize, rowsetFirst,
// posRowsetSize, bulkRowsetSize, fetchedRows, rowBookmarks, rowBookmarkCount): once for both.
template <class C>
void CursorWindowDropBookmarks(C* c) {
    if (c == nullptr) return;
    std::free(c->rowBookmarks);
    c->rowBookmarks = nullptr;
    c->rowBookmarkCount = 0;
}

template <class C>
void CursorWindowReset(C* c) {
    if (c == nullptr) return;
    c->rowsFetched = -1;
    c->position = kCursorBeforeFirst;
    c->position2 = kCursorBeforeFirst;
    c->posRowsetSize = 0;
    c->bulkRowsetSize = 0;
    c->fetchedRows = 0;
    CursorWindowDropBookmarks(c);
}

// A fetch delivered `rows` rows of the rowset size in effect.
template <class C>
void CursorWindowFetched(C* c, uint32_t rows) {
    if (c == nullptr) return;
    CursorWindowDropBookmarks(c);
    c->posRowsetSize = c->rowsetSize ? c->rowsetSize : 1;
    c->bulkRowsetSize = 0;
    c->fetchedRows = rows;
}

// A fetch by bookmark made these rows the rowset.
template <class C>
uint32_t CursorWindowByBookmarks(C* c, const uint32_t* bookmarks, uint32_t n) {
    if (c == nullptr || (bookmarks == nullptr && n != 0)) return kErrBadArg;
    auto* copy = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * (n ? n : 1)));
    if (copy == nullptr) return kErrNoMemory;
    if (n) std::memcpy(copy, bookmarks, sizeof(uint32_t) * n);
    CursorWindowDropBookmarks(c);
    c->rowBookmarks = copy;
    c->rowBookmarkCount = n;
    c->fetchedRows = n;
    return 0;
}

// The rowset size SQLSetPos works on.
template <class C>
uint32_t CursorWindowPosRowsetSize(const C* c) {
    if (c == nullptr) return 1;
    if (c->bulkRowsetSize) return c->bulkRowsetSize;
    if (c->posRowsetSize) return c->posRowsetSize;
    return c->rowsetSize ? c->rowsetSize : 1;
}

template <class C>
uint32_t CursorWindowSetPos(C* c, int32_t position) {
    if (c == nullptr) return kErrBadArg;
    if (position == kCursorBeforeFirst || position == kCursorAfterLast) {
        c->position = c->position2 = position;
        return 0;
    }
    if (position == kCursorWholeRowset) {
        c->position = position;
        return 0;
    }
    if (position < 0) return kErrRowRange;
    if (c->rowsFetched != -1 && position > c->rowsFetched) return kErrRowRange;
    c->position = position;
    return 0;
}
