#pragma once
// A cursor's window on its result: how many rows the result has, where the cursor stands, where
// its rowset starts and which rows the last fetch delivered (the rows SQLSetPos works on). The
// ODBC side's cursor record and the cursor layer's block of the agent's statement each keep one
// and move it only through these members; Debug builds check after each move that its words
// agree (util/invariant.h). The options (rowset size, cursor type) stay with the records.
#include <cstdint>
#include <cstdlib>

#include "util/invariant.h"

// The special values of a cursor's current row and rowset start; positive values are rows.
enum CursorPosition : int32_t {
    kCursorBeforeFirst = 0,
    kCursorUnknown = -1,  // the rowset start, where the layer below keeps the position
    kCursorWholeRowset = -2,
    kCursorAfterLast = -3,
};

// Plain words without constructors, so that a zeroed record holds an empty window; Reset sets
// the defaults. A copy shares the bookmarks: only one of the two may drop them.
class CursorWindow {
public:
    // ---- reading ----------------------------------------------------------------------------

    // Rows of the result, -1 while not known (not a count of rows fetched).
    int32_t resultRows() const { return resultRows_; }
    // Before the first row, after the last, on every row of the rowset, or its 1-based row.
    int32_t currentRow() const { return currentRow_; }
    // The result row the rowset starts at: before the first row, after the last, unknown where
    // the layer below keeps the position (dynamic and mixed cursors), or the 1-based row.
    int32_t rowsetStart() const { return rowsetStart_; }
    // The result row of the rowset's first row as last fetched (0 before any); row numbers run
    // on from it whatever the rowset start says since.
    uint32_t rowsetFirst() const { return rowsetFirst_; }
    // The rowset size of the last fetch: NEXT moves on by it.
    uint32_t prevRowsetSize() const { return prevRowsetSize_; }
    // Rows the last fetch delivered.
    uint32_t fetchedRows() const { return fetchedRows_; }
    // After a fetch by bookmark the bookmark of each rowset row; null while the rows run on from
    // rowsetFirst.
    const uint32_t* rowBookmarks() const { return rowBookmarks_; }
    uint32_t rowBookmarkCount() const { return rowBookmarkCount_; }

    // Rows SQLSetPos addresses: the rowset size of the last fetch, or of an SQLBulkOperations
    // called since the rowset size last changed; before any fetch the current size.
    uint32_t PosRowsetSize(uint32_t rowsetSize) const {
        if (bulkRowsetSize_) return bulkRowsetSize_;
        if (posRowsetSize_) return posRowsetSize_;
        return rowsetSize ? rowsetSize : 1;
    }
    // Whether the bookmark names a row the last fetch delivered into the rowset.
    bool BookmarkFetched(uint64_t bookmark) const;

    // ---- moves ------------------------------------------------------------------------------

    // A new result: its size not known, the cursor before its first row, no rowset.
    void Reset() {
        resultRows_ = -1;
        currentRow_ = rowsetStart_ = kCursorBeforeFirst;
        ForgetRowset();
    }
    // No rowset of an earlier execution is this one's; the positions stay.
    void ForgetRowset() {
        DropBookmarks();
        posRowsetSize_ = 0;
        bulkRowsetSize_ = 0;
        fetchedRows_ = 0;
        Check();
    }
    void DropBookmarks() {
        if (rowBookmarks_ != nullptr) std::free(rowBookmarks_);
        rowBookmarks_ = nullptr;
        rowBookmarkCount_ = 0;
    }
    // A fetch at the rowset size in effect begins (rows 0) or delivered `rows` rows: SQLSetPos
    // addresses the rowset of that size.
    void Fetched(uint32_t rowsetSize, uint32_t rows) {
        DropBookmarks();
        posRowsetSize_ = rowsetSize ? rowsetSize : 1;
        bulkRowsetSize_ = 0;
        TV_INVARIANT(rows <= posRowsetSize_);  // no more rows than the rowset holds
        fetchedRows_ = rows;
        Check();
    }
    // The fetch under way, or a refresh of the rowset SQLSetPos addresses, delivered `rows` rows.
    void Delivered(uint32_t rows) {
        TV_INVARIANT(rows <= posRowsetSize_ || rows <= bulkRowsetSize_);
        fetchedRows_ = rows;
        Check();
    }
    // A fetch by bookmark made these rows the rowset (copied); 0, kErrBadArg or kErrNoMemory.
    uint32_t ByBookmarks(const uint32_t* bookmarks, uint32_t n);
    // SQLSetPos addresses `rows` rows: those of a fetch by bookmark.
    void PosRowsetIs(uint32_t rows) {
        posRowsetSize_ = rows;
        bulkRowsetSize_ = 0;
        Check();
    }
    // SQLSetPos takes the rows of an SQLBulkOperations until the rowset size changes (0: none).
    void BulkRowsetIs(uint32_t rows) {
        bulkRowsetSize_ = rows;
        Check();
    }
    // NEXT moves on by `size` rows.
    void NextMovesBy(uint32_t size) { prevRowsetSize_ = size; }
    void SetResultRows(int32_t rows) {
        resultRows_ = rows;
        Check();
    }
    // SQLSetPos's rule: before the first row and after the last move both positions, every row of
    // the rowset the current row alone; another negative value, or a row beyond a known result,
    // is out of range (kErrRowRange) and moves nothing.
    uint32_t SetPos(int32_t position);
    // The cursor stands on `row` (1-based) of the rowset SQLSetPos addresses.
    void PositionOn(int32_t row, uint32_t rowsetSize) {
        TV_INVARIANT(row >= 1 && uint32_t(row) <= PosRowsetSize(rowsetSize));
        currentRow_ = row;
        Check();
    }
    // A fetch delivered the rowset that starts at result row `start`; the cursor is on its first row.
    void RowsetFrom(uint32_t start) {
        TV_INVARIANT(start >= 1 && start <= uint32_t(INT32_MAX));
        currentRow_ = 1;
        rowsetStart_ = int32_t(start);
        rowsetFirst_ = start;
        Check();
    }
    // A fetch delivered a rowset where the layer below keeps the position; the cursor is on its
    // first row.
    void RowsetWhereKept() {
        currentRow_ = 1;
        rowsetStart_ = kCursorUnknown;
        Check();
    }
    // Names `n` rows from result row `first` on as the rowset, for a row change to address them
    // (a copy taken before puts the window back).
    void ViewRows(uint32_t first, uint32_t n) {
        rowsetFirst_ = first;
        rowsetStart_ = int32_t(first);
        posRowsetSize_ = n;
        Check();
    }

private:
    void Check() const {
        TV_INVARIANT(resultRows_ >= -1);
        TV_INVARIANT(currentRow_ >= 1 || currentRow_ == kCursorBeforeFirst || currentRow_ == kCursorWholeRowset ||
                     currentRow_ == kCursorAfterLast);
        TV_INVARIANT(rowsetStart_ >= 1 || rowsetStart_ == kCursorBeforeFirst || rowsetStart_ == kCursorUnknown ||
                     rowsetStart_ == kCursorAfterLast);
        // A rowset start at a row is where the rowset's rows are numbered from.
        TV_INVARIANT(rowsetStart_ < 1 || uint32_t(rowsetStart_) == rowsetFirst_);
        // A fetch by bookmark delivered one row per bookmark.
        TV_INVARIANT(rowBookmarks_ != nullptr || rowBookmarkCount_ == 0);
        TV_INVARIANT(rowBookmarks_ == nullptr || fetchedRows_ == rowBookmarkCount_);
    }

    int32_t resultRows_;
    int32_t currentRow_;
    int32_t rowsetStart_;
    uint32_t rowsetFirst_;
    uint32_t prevRowsetSize_;
    // What SQLSetPos works on.
    uint32_t posRowsetSize_;   // 0 before the first fetch
    uint32_t bulkRowsetSize_;  // 0 none
    uint32_t fetchedRows_;
    uint32_t* rowBookmarks_;
    uint32_t rowBookmarkCount_;
};
