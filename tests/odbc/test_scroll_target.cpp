// The scroll fetch's target on the ODBC side's cursor record: the start and the rowset class of
// each orientation.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <sqlext.h>

#include "odbc/cursor_state.h"

namespace {

struct TargetCase {
    const char* what;
    uint16_t orientation;
    int64_t offset, cur, n, p, total;
    int64_t start;
    int32_t cls;
};

class ScrollTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(ScrollTarget, GivesTheStartAndClass) {
    const TargetCase& t = GetParam();
    int64_t start = -999;
    EXPECT_EQ(t.cls, CursorScrollTarget(t.orientation, t.offset, t.cur, t.n, t.p, t.total, &start)) << t.what;
    EXPECT_EQ(t.start, start) << t.what;
}

// Ten rows in rowsets of four unless said otherwise; -1 is a row count not yet known.
INSTANTIATE_TEST_SUITE_P(
    Orientations, ScrollTarget,
    ::testing::Values(
        TargetCase{"next inside", SQL_FETCH_NEXT, 0, 1, 4, 4, 10, 5, kCursorClassInside},
        TargetCase{"next onto a partial end", SQL_FETCH_NEXT, 0, 5, 4, 4, 10, 9, kCursorClassOverlapsEnd},
        TargetCase{"next past the end", SQL_FETCH_NEXT, 0, 9, 4, 4, 10, 13, kCursorClassAfter},
        TargetCase{"next by the previous size", SQL_FETCH_NEXT, 0, 1, 4, 2, 10, 3, kCursorClassInside},
        TargetCase{"next, rows not yet counted", SQL_FETCH_NEXT, 0, 1, 4, 4, -1, 5, kCursorClassUncounted},
        TargetCase{"first", SQL_FETCH_FIRST, 0, 7, 4, 4, 10, 1, kCursorClassInside},
        TargetCase{"last", SQL_FETCH_LAST, 0, 1, 4, 4, 10, 7, kCursorClassInside},
        TargetCase{"last of fewer rows than a rowset", SQL_FETCH_LAST, 0, 1, 4, 4, 2, 1, kCursorClassInside},
        TargetCase{"last, rows not yet counted", SQL_FETCH_LAST, 0, 0, 4, 4, -1, 0, kCursorClassInside},
        TargetCase{"prior inside", SQL_FETCH_PRIOR, 0, 7, 4, 4, 10, 3, kCursorClassInside},
        TargetCase{"prior overlapping the start", SQL_FETCH_PRIOR, 0, 3, 4, 4, 10, -1, kCursorClassOverlapsStart},
        TargetCase{"prior from the first row", SQL_FETCH_PRIOR, 0, 1, 4, 4, 10, -3, kCursorClassBefore},
        TargetCase{"absolute 0", SQL_FETCH_ABSOLUTE, 0, 5, 4, 4, 10, 0, kCursorClassBefore},
        TargetCase{"absolute 3", SQL_FETCH_ABSOLUTE, 3, 5, 4, 4, 10, 3, kCursorClassInside},
        TargetCase{"absolute -1", SQL_FETCH_ABSOLUTE, -1, 5, 4, 4, 10, 10, kCursorClassOverlapsEnd},
        TargetCase{"absolute -11", SQL_FETCH_ABSOLUTE, -11, 5, 4, 4, 10, 0, kCursorClassBefore},
        TargetCase{"absolute -3 of two rows", SQL_FETCH_ABSOLUTE, -3, 1, 4, 4, 2, 0, kCursorClassOverlapsEnd},
        TargetCase{"absolute -3, rows not yet counted", SQL_FETCH_ABSOLUTE, -3, 1, 4, 4, -1, -3, kCursorClassUncounted},
        TargetCase{"absolute 11", SQL_FETCH_ABSOLUTE, 11, 1, 4, 4, 10, 11, kCursorClassAfter},
        TargetCase{"relative -2 from the first row", SQL_FETCH_RELATIVE, -2, 1, 4, 4, 10, -1,
                   kCursorClassOverlapsStart},
        TargetCase{"relative -8 from row 3", SQL_FETCH_RELATIVE, -8, 3, 4, 4, 10, -5, kCursorClassBefore},
        TargetCase{"relative 3", SQL_FETCH_RELATIVE, 3, 2, 4, 4, 10, 5, kCursorClassInside},
        TargetCase{"resume is not a target", uint16_t(7), 0, 2, 4, 4, 10, 0, kCursorClassUncounted}),
    [](const auto& info) {
        std::string n;
        for (const char* p = info.param.what; *p; ++p) n += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return n;
    });

}  // namespace
