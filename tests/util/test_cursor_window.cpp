// The cursor window both cursor records keep: its moves, the rows SQLSetPos addresses, the rows a
// fetch named, and the moves that break its words (stopped in Debug builds).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "util/cursor_window.h"
#include "util/errtable.h"

namespace {

// A window as a zeroed record holds it, with its defaults set.
CursorWindow Fresh() {
    CursorWindow w;
    std::memset(&w, 0, sizeof w);
    w.Reset();
    return w;
}

TEST(CursorWindow, FetchesSizeTheRowsetSetPosAddresses) {
    CursorWindow w = Fresh();
    EXPECT_EQ(-1, w.resultRows());
    EXPECT_EQ(kCursorBeforeFirst, w.currentRow());
    EXPECT_EQ(kCursorBeforeFirst, w.rowsetStart());
    EXPECT_EQ(7u, w.PosRowsetSize(7));  // before any fetch: the size in effect
    EXPECT_EQ(1u, w.PosRowsetSize(0));
    w.Fetched(4, 3);
    w.RowsetFrom(11);
    EXPECT_EQ(1, w.currentRow());
    EXPECT_EQ(11, w.rowsetStart());
    EXPECT_EQ(11u, w.rowsetFirst());
    EXPECT_EQ(4u, w.PosRowsetSize(9));  // the last fetch's, whatever the size says since
    w.BulkRowsetIs(6);
    EXPECT_EQ(6u, w.PosRowsetSize(9));
    w.BulkRowsetIs(0);
    EXPECT_EQ(4u, w.PosRowsetSize(9));
    // The rows delivered are the ones a bookmark may name.
    EXPECT_FALSE(w.BookmarkFetched(10));
    EXPECT_TRUE(w.BookmarkFetched(11));
    EXPECT_TRUE(w.BookmarkFetched(13));
    EXPECT_FALSE(w.BookmarkFetched(14));
    EXPECT_FALSE(w.BookmarkFetched(0));
    // Where the layer below keeps the position the rowset has no start of its own; row numbers
    // still run on from the first row fetched.
    w.RowsetWhereKept();
    EXPECT_EQ(kCursorUnknown, w.rowsetStart());
    EXPECT_EQ(11u, w.rowsetFirst());
    w.Reset();
    EXPECT_EQ(kCursorBeforeFirst, w.rowsetStart());
    EXPECT_EQ(0u, w.fetchedRows());
    EXPECT_EQ(9u, w.PosRowsetSize(9));
}

TEST(CursorWindow, AFetchByBookmarkNamesItsRowsUntilTheNextFetch) {
    CursorWindow w = Fresh();
    w.Fetched(3, 3);
    w.RowsetFrom(1);
    const uint32_t marks[] = {9, 4};
    ASSERT_EQ(0u, w.ByBookmarks(marks, 2));
    ASSERT_NE(nullptr, w.rowBookmarks());
    EXPECT_NE(marks, w.rowBookmarks());  // a copy
    EXPECT_EQ(2u, w.rowBookmarkCount());
    EXPECT_EQ(2u, w.fetchedRows());
    EXPECT_TRUE(w.BookmarkFetched(9));
    EXPECT_TRUE(w.BookmarkFetched(4));
    EXPECT_FALSE(w.BookmarkFetched(2));  // in the earlier rowset only
    EXPECT_EQ(kErrBadArg, w.ByBookmarks(nullptr, 1));
    EXPECT_EQ(2u, w.rowBookmarkCount());  // a refused one changes nothing
    w.PosRowsetIs(2);
    EXPECT_EQ(2u, w.PosRowsetSize(5));
    w.Fetched(5, 0);
    EXPECT_EQ(nullptr, w.rowBookmarks());
    EXPECT_EQ(0u, w.rowBookmarkCount());
}

TEST(CursorWindow, AViewOfOtherRowsIsPutBackByTheCopyTakenBefore) {
    CursorWindow w = Fresh();
    w.Fetched(2, 0);
    w.RowsetFrom(5);
    const CursorWindow before = w;
    w.ViewRows(40, 8);
    EXPECT_EQ(40u, w.rowsetFirst());
    EXPECT_EQ(8u, w.PosRowsetSize(2));
    w = before;
    EXPECT_EQ(5u, w.rowsetFirst());
    EXPECT_EQ(5, w.rowsetStart());
    EXPECT_EQ(2u, w.PosRowsetSize(2));
}

// A move that would leave the words disagreeing stops a Debug build where it is made.
TEST(CursorWindowDeathTest, MovesThatBreakTheWordsStopADebugBuild) {
#ifdef NDEBUG
    GTEST_SKIP() << "invariants are checked in Debug builds";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CursorWindow w = Fresh();
    w.Fetched(4, 2);
    EXPECT_DEATH(w.RowsetFrom(0), "");      // a rowset starts at a row
    EXPECT_DEATH(w.PositionOn(5, 4), "");   // past the rowset SQLSetPos addresses
    EXPECT_DEATH(w.PositionOn(0, 4), "");   // not a row
    EXPECT_DEATH(w.Fetched(4, 5), "");      // more rows than the rowset holds
    EXPECT_DEATH(w.Delivered(5), "");       // likewise
    EXPECT_DEATH(w.SetResultRows(-2), "");  // a count or not known
    w.PositionOn(4, 4);
    EXPECT_EQ(4, w.currentRow());
#endif
}

}  // namespace
