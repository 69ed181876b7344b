// The pieces keyset-driven and mixed cursors are built from: blocks of keys per statement, where
// generated markers go among the statement's own, parameter rows spliced at a marker, rows
// matched to their keys by value, and the keyset record's window over a spilled key set.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/scrs/dsc_fixture.h"
#include "scrs/sc_keyset.h"
#include "scrs/scr_analyse.h"
#include "util/dataset.h"
#include "util/errtable.h"

namespace {

using dsc_test::MakeColumns;
using dsc_test::Put;

int32_t Int(const Dataset* ds, uint16_t col, uint32_t row) {
    int32_t v = 0;
    std::memcpy(&v, DatasetCell(&ds->cols[col], row), sizeof v);
    return v;
}

bool IsNull(const Dataset* ds, uint16_t col, uint32_t row) { return ds->cols[col].indicators[row] == DS_IND_NULL; }

TEST(KeysetPageCount, BlocksFollowTheParameterLimit) {
    struct Case {
        uint32_t limit, own, keys, rows;
        uint32_t rc, blocks, last, per;
    } cases[] = {
        {100, 0, 1, 10, 0, 1, 10, 10},  // one block holds the rowset
        {100, 0, 1, 100, 0, 1, 100, 100},
        {100, 0, 3, 100, 0, 4, 1, 33},  // 33 rows of three keys per statement
        {100, 4, 2, 50, 0, 2, 2, 48},   // the statement's own markers take their room first
        {100, 1, 1, 99, 0, 1, 99, 99},
        {10, 10, 1, 5, kErrGeneral, 0, 0, 0},  // own markers leave no room: nothing fits
        {10, 12, 1, 5, kErrGeneral, 0, 0, 0},  // more own markers than the limit: never negative
        {10, 0, 11, 5, kErrGeneral, 0, 0, 0},  // one key row needs more than the limit
        {100, 0, 0, 5, kErrGeneral, 0, 0, 0},
    };
    for (const Case& c : cases) {
        uint32_t blocks = 9, last = 9, per = 9;
        EXPECT_EQ(c.rc, SCS_PageCount(c.limit, c.own, c.keys, c.rows, &blocks, &last, &per))
            << c.limit << " " << c.own << " " << c.keys;
        EXPECT_EQ(c.blocks, blocks) << c.own << " " << c.keys << " " << c.rows;
        EXPECT_EQ(c.last, last) << c.own << " " << c.keys << " " << c.rows;
        EXPECT_EQ(c.per, per) << c.own << " " << c.keys << " " << c.rows;
        EXPECT_EQ(c.rc == 0, SCS_KeysPerStatement(c.limit, c.own, c.keys) > 0);
    }
}

// The markers of a statement that stand before the cursor layer's condition: those of the select
// list, a JOIN ... ON and a derived table come before it, those of the statement's own WHERE
// after; literals and comments hold none.
TEST(KeysetMarkers, CountedUpToTheEditMarkerOutsideLiterals) {
    struct Case {
        const char* sql;
        uint32_t before;
    } cases[] = {
        {"SELECT id FROM t WHERE a = ?", 0},
        {"SELECT id, ? FROM t WHERE a = ?", 1},
        {"SELECT t.id FROM t INNER JOIN u ON u.k = t.id AND u.v = ? WHERE t.a = ?", 1},
        {"SELECT d.id FROM (SELECT id FROM t WHERE b = ? OR b = ?) d WHERE d.id > ?", 2},
        {"SELECT id FROM t WHERE a = '?' AND b = ?", 0},
        {"SELECT id, 'it''s ?' FROM t", 0},
        {"SELECT id FROM t", 0},
    };
    for (const Case& c : cases) {
        SCR_Analysis a;
        SCR_AnalysisInit(&a);
        ASSERT_EQ(0u, SCR_AnalyseSQL(&a, c.sql, 1, 0)) << c.sql;
        ASSERT_EQ(0u, SCR_AddWhereCond(&a)) << c.sql;
        EXPECT_EQ(int32_t(c.before), SCS_MarkersBeforeEdit(SCR_AnalysisText(&a)))
            << c.sql << " | " << SCR_AnalysisText(&a);
        SCR_AnalysisFree(&a);
    }
    EXPECT_EQ(-1, SCS_MarkersBeforeEdit("SELECT ? FROM t"));
    EXPECT_EQ(-1, SCS_MarkersBeforeEdit(nullptr));
    EXPECT_EQ(1, SCS_MarkersBeforeEdit("SELECT ? /* ? */ -- ?\n, \"a?\" FROM t \x01\x01\x01 ?"));
}

// Own values [10, 20, 30], two generated ones [1, 2] put after the first own value.
TEST(KeysetParams, SplicedWhereTheMarkersStand) {
    for (uint32_t before : {0u, 1u, 3u, 7u}) {
        Dataset own{};
        MakeColumns(&own, {{DS_INTEGER, 4}, {DS_INTEGER, 4}, {DS_INTEGER, 4}}, 1);
        Put(&own, 0, 0, int32_t(10));
        Put(&own, 1, 0, int32_t(20));
        Put(&own, 2, 0, int32_t(30));
        auto* gen = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
        MakeColumns(gen, {{DS_INTEGER, 4}, {DS_INTEGER, 4}}, 1);
        Put(gen, 0, 0, int32_t(1));
        Put(gen, 1, 0, int32_t(2));
        Dataset* out = nullptr;
        ASSERT_EQ(0u, SCS_SpliceParams(&own, before, gen, &out));
        ASSERT_EQ(5, out->col_count);
        const uint32_t at = before > 3 ? 3 : before;
        std::vector<int32_t> want = {10, 20, 30};
        want.insert(want.begin() + at, {1, 2});
        for (uint16_t c = 0; c < 5; ++c) EXPECT_EQ(want[c], Int(out, c, 0)) << "before " << before << " col " << c;
        // The statement's own values are copied, not taken.
        EXPECT_EQ(20, Int(&own, 1, 0));
        DatasetDelete(out);
        DatasetDelete(gen);
        DatasetFree(&own);
    }
    auto* gen = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    MakeColumns(gen, {{DS_INTEGER, 4}}, 1);
    Put(gen, 0, 0, int32_t(5));
    Dataset* out = nullptr;
    ASSERT_EQ(0u, SCS_SpliceParams(nullptr, 0, gen, &out));
    EXPECT_EQ(1, out->col_count);
    EXPECT_EQ(5, Int(out, 0, 0));
    DatasetDelete(out);
    DatasetDelete(gen);
}

// Rows come back by key blocks in whatever order the back end likes, and rows of keys another
// user deleted do not come back at all: each row goes to its own key, the gone keys get an empty
// row marked deleted, and the keys appended for the matching are taken off again.
TEST(KeysetMatch, RowsFollowTheirKeysNotTheirPlace) {
    Dataset keys{};
    MakeColumns(&keys, {{DS_INTEGER, 4}}, 6);
    for (uint32_t r = 0; r < 6; ++r) Put(&keys, 0, r, int32_t(100 + r));
    // Rowset = key rows 1..4 (keys 101..104); key 102 is gone, the rest arrive shuffled.
    Dataset rows{};
    MakeColumns(&rows, {{DS_INTEGER, 4}, {DS_CHAR_NTS, 8}, {DS_INTEGER, 4}}, 3);
    const int32_t order[3] = {104, 101, 103};
    for (uint32_t r = 0; r < 3; ++r) {
        Put(&rows, 0, r, int32_t(order[r] * 10));
        std::snprintf(reinterpret_cast<char*>(DatasetCell(&rows.cols[1], r)), 8, "r%d", order[r]);
        rows.cols[1].indicators[r] = 0;
        Put(&rows, 2, r, order[r]);
    }
    uint16_t statuses[4] = {9, 9, 9, 9};
    ASSERT_EQ(0u, scs_p_MarkVanishedRows(&rows, 1, &keys, 1, 4, statuses));
    EXPECT_EQ(2, rows.col_count);
    ASSERT_EQ(4u, rows.rows_used);
    const uint16_t want[4] = {SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_SUCCESS, SQL_ROW_SUCCESS};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(want[i], statuses[i]) << i;
    EXPECT_EQ(1010, Int(&rows, 0, 0));
    EXPECT_TRUE(IsNull(&rows, 0, 1));
    EXPECT_TRUE(IsNull(&rows, 1, 1));
    EXPECT_EQ(1030, Int(&rows, 0, 2));
    EXPECT_STREQ("r103", reinterpret_cast<const char*>(DatasetCell(&rows.cols[1], 2)));
    EXPECT_EQ(1040, Int(&rows, 0, 3));
    DatasetFree(&rows);

    // Nothing came back: every key of the rowset is gone.
    Dataset none{};
    uint16_t st2[2] = {0, 0};
    ASSERT_EQ(0u, scs_p_MarkVanishedRows(&none, 1, &keys, 4, 2, st2));
    EXPECT_EQ(SQL_ROW_DELETED, st2[0]);
    EXPECT_EQ(SQL_ROW_DELETED, st2[1]);
    // Keys beyond the key rows held are refused.
    EXPECT_EQ(uint32_t(kErrGeneral), scs_p_MarkVanishedRows(&none, 1, &keys, 5, 2, st2));
    DatasetFree(&keys);
}

// Two key columns, one of them NULL: a NULL matches only a NULL.
TEST(KeysetMatch, CompositeKeysWithNulls) {
    Dataset keys{};
    MakeColumns(&keys, {{DS_INTEGER, 4}, {DS_INTEGER, 4}}, 2);
    Put(&keys, 0, 0, int32_t(1));
    keys.cols[1].indicators[0] = DS_IND_NULL;
    Put(&keys, 0, 1, int32_t(1));
    Put(&keys, 1, 1, int32_t(2));
    Dataset rows{};
    MakeColumns(&rows, {{DS_INTEGER, 4}, {DS_INTEGER, 4}, {DS_INTEGER, 4}}, 2);
    Put(&rows, 0, 0, int32_t(12));
    Put(&rows, 1, 0, int32_t(1));
    Put(&rows, 2, 0, int32_t(2));
    Put(&rows, 0, 1, int32_t(10));
    Put(&rows, 1, 1, int32_t(1));
    rows.cols[2].indicators[1] = DS_IND_NULL;
    uint16_t st[2] = {};
    ASSERT_EQ(0u, scs_p_MarkVanishedRows(&rows, 2, &keys, 0, 2, st));
    EXPECT_EQ(10, Int(&rows, 0, 0));
    EXPECT_EQ(12, Int(&rows, 0, 1));
    EXPECT_EQ(SQL_ROW_SUCCESS, st[0]);
    EXPECT_EQ(SQL_ROW_SUCCESS, st[1]);
    DatasetFree(&rows);
    DatasetFree(&keys);
}

TEST(KeysetBounds, FirstAndLastKeyRows) {
    Dataset keys{};
    MakeColumns(&keys, {{DS_INTEGER, 4}, {DS_INTEGER, 4}}, 5);
    for (uint32_t r = 0; r < 5; ++r) {
        Put(&keys, 0, r, int32_t(r));
        Put(&keys, 1, r, int32_t(r * r));
    }
    Dataset* b = nullptr;
    ASSERT_EQ(0u, SCS_RowsetKeyBounds(&keys, 1, 3, &b));
    ASSERT_EQ(2u, b->rows_used);
    ASSERT_EQ(2, b->col_count);
    EXPECT_EQ(1, Int(b, 0, 0));
    EXPECT_EQ(9, Int(b, 1, 1));
    DatasetDelete(b);
    EXPECT_EQ(uint32_t(kErrBadArg), SCS_RowsetKeyBounds(&keys, 1, 5, &b));
    DatasetFree(&keys);
}

// A key set of 12 000 rows spilled to the cache files: any run of key rows is brought into the
// window whole, wherever it lies.
TEST(KeysetRecord, WindowOverSpilledKeys) {
    KS_KeysetRecord* ks = nullptr;
    ASSERT_EQ(0u, KS_KeysetInit(&ks));
    constexpr uint32_t kRows = 12000;
    ASSERT_EQ(0u, dsc_Open(&ks->cache));
    Dataset all{};
    MakeColumns(&all, {{DS_INTEGER, 4}}, kRows);
    for (uint32_t r = 0; r < kRows; ++r) Put(&all, 0, r, int32_t(r * 3));
    ASSERT_EQ(1, dsc_IoCache(kDscWrite, ks->cache.data, ks->cache.index, &all, 0, 0));
    DatasetFree(&all);
    ks->cache.state = kDscOnFile;
    ks->count = kRows;
    ks->origin = -1;
    for (uint32_t first : {0u, 7000u, 11990u, 4990u, 100u}) {
        uint32_t row0 = 0;
        ASSERT_EQ(0u, KS_KeysetRows(ks, first, 10, &row0)) << first;
        for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(int32_t((first + i) * 3), Int(ks->keys, 0, row0 + i)) << first;
    }
    uint32_t row0 = 0;
    EXPECT_EQ(uint32_t(kErrGeneral), KS_KeysetRows(ks, 11995, 10, &row0));
    KS_KeysetClear(ks);
    EXPECT_EQ(0u, ks->count);
    EXPECT_EQ(uint32_t(kDscMemory), ks->cache.state);
    KS_KeysetFree(&ks);
    EXPECT_EQ(nullptr, ks);
}

}  // namespace
