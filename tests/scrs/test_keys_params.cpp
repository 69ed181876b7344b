// Key parameter rows and the seek helpers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "scrs/ks.h"
#include "util/dataset.h"

namespace {

// Three key rows (integer, NUL-terminated text, fixed text, text by reference).
struct Keys3 {
    Dataset ds{};
    Keys3() {
        DatasetInit(&ds, 4);
        ds.col_count = 4;
        ds.cols[0] = {DS_INTEGER, 4, nullptr, nullptr};
        ds.cols[1] = {DS_CHAR_NTS, 11, nullptr, nullptr};
        ds.cols[2] = {DS_CHAR, 6, nullptr, nullptr};
        ds.cols[3] = {DS_CHAR_REF, 16, nullptr, nullptr};
        DatasetAllocRows(&ds, 3);
        ds.rows_used = 3;
        for (uint32_t r = 0; r < 3; ++r) {
            int32_t v = int32_t(r + 1) * 10;
            std::memcpy(DatasetCell(&ds.cols[0], r), &v, 4);
            std::string t = "k" + std::to_string(r);
            std::memcpy(DatasetCell(&ds.cols[1], r), t.c_str(), t.size() + 1);
            std::memcpy(DatasetCell(&ds.cols[2], r), "ab    ", 6);
            for (int c = 0; c < 3; ++c) ds.cols[c].indicators[r] = DS_IND_VALUE;
            DatasetSetRef(&ds, r, 3, "ref", 3);
        }
    }
    ~Keys3() { DatasetFree(&ds); }
};

void Drop(Dataset* d) {
    DatasetFree(d);
    std::free(d);
}

TEST(KeyRowsToParams, GroupsRepeatTheLastRow) {
    Keys3 k;
    Dataset* p = nullptr;
    ASSERT_EQ(KS_KeyRowsToParams(&k.ds, 1, 3, 2, &p, 0, 0, 0, nullptr, nullptr), 0u);
    ASSERT_EQ(p->col_count, 12);
    ASSERT_EQ(p->rows_used, 1u);
    int32_t v[3];
    for (int g = 0; g < 3; ++g) std::memcpy(&v[g], DatasetCell(&p->cols[g * 4], 0), 4);
    EXPECT_EQ(v[0], 20);
    EXPECT_EQ(v[1], 30);
    EXPECT_EQ(v[2], 30);
    EXPECT_EQ(p->cols[1].width, 3u);  // "k1" and its NUL
    EXPECT_STREQ(reinterpret_cast<char*>(DatasetCell(&p->cols[1], 0)), "k1");
    // References are deep copies.
    DsRef a = DatasetRefGet(DatasetCell(&p->cols[3], 0));
    DsRef b = DatasetRefGet(DatasetCell(&k.ds.cols[3], 1));
    EXPECT_NE(a.ptr, b.ptr);
    EXPECT_EQ(std::string(static_cast<char*>(a.ptr), a.length), "ref");
    Drop(p);
}

TEST(KeyRowsToParams, TrimAndNulRoomOnFixedText) {
    Keys3 k;
    Dataset* p = nullptr;
    ASSERT_EQ(KS_KeyRowsToParams(&k.ds, 0, 1, 1, &p, 1, 1, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(p->cols[2].width, 3u);  // "ab" and room for a NUL
    EXPECT_EQ(std::memcmp(DatasetCell(&p->cols[2], 0), "ab\0", 3), 0);
    Drop(p);
    ASSERT_EQ(KS_KeyRowsToParams(&k.ds, 0, 1, 1, &p, 0, 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(p->cols[2].width, 6u);
    Drop(p);
}

TEST(KeyRowsToParams, NullAwareLeavesOutNullColumns) {
    Keys3 k;
    k.ds.cols[1].indicators[2] = DS_IND_NULL;
    Dataset* p = nullptr;
    uint16_t count = 0, flags[4] = {9, 9, 9, 9};
    ASSERT_EQ(KS_KeyRowsToParams(&k.ds, 0, 2, 2, &p, 0, 0, 1, &count, flags), 0u);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(p->col_count, 8);
    Drop(p);
    ASSERT_EQ(KS_KeyRowsToParams(&k.ds, 1, 2, 2, &p, 0, 0, 1, &count, flags), 0u);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(flags[1], 1);
    EXPECT_EQ(flags[0], 0);
    EXPECT_EQ(p->col_count, 6);
    Drop(p);
}

TEST(KeyRowsToParams, BadArguments) {
    Keys3 k;
    Dataset* p = nullptr;
    EXPECT_EQ(KS_KeyRowsToParams(&k.ds, 0, 2, 3, &p, 0, 0, 0, nullptr, nullptr), 15u);  // more rows than groups
    EXPECT_EQ(KS_KeyRowsToParams(&k.ds, 0, 2, 0, &p, 0, 0, 0, nullptr, nullptr), 15u);
    EXPECT_EQ(KS_KeyRowsToParams(&k.ds, 3, 1, 1, &p, 0, 0, 0, nullptr, nullptr), 15u);  // past the last row
    EXPECT_EQ(KS_KeyRowsToParams(nullptr, 0, 1, 1, &p, 0, 0, 0, nullptr, nullptr), 15u);
    EXPECT_EQ(KS_KeyRowsToParams(&k.ds, 0, 1, 1, nullptr, 0, 0, 0, nullptr, nullptr), 15u);
    EXPECT_EQ(p, nullptr);
    // A run past the source's end repeats its last row instead of reading beyond it.
    ASSERT_EQ(KS_KeyRowsToParams(&k.ds, 2, 3, 3, &p, 0, 0, 0, nullptr, nullptr), 0u);
    int32_t v;
    std::memcpy(&v, DatasetCell(&p->cols[8], 0), 4);
    EXPECT_EQ(v, 30);
    Drop(p);
}

TEST(Seek, Operators) {
    EXPECT_STREQ(KS_SeekOperator(1, 0, 0), ">");
    EXPECT_STREQ(KS_SeekOperator(1, 0, 1), "<");
    EXPECT_STREQ(KS_SeekOperator(4, 0, 0), "<");
    EXPECT_STREQ(KS_SeekOperator(4, 0, 1), ">");
    EXPECT_STREQ(KS_SeekOperator(1, 2, 0), ">=");
    EXPECT_STREQ(KS_SeekOperator(4, 3, 0), "<=");
    EXPECT_STREQ(KS_SeekOperator(1, 1, 0), ">");
}

TEST(Seek, BoundaryRows) {
    EXPECT_EQ(KS_BoundaryRow(1, 0), 1);
    EXPECT_EQ(KS_BoundaryRow(4, 0), 0);
    EXPECT_EQ(KS_BoundaryRow(1, 1), 0);
    EXPECT_EQ(KS_BoundaryRow(4, 3), 1);
    EXPECT_EQ(KS_BoundaryRow(2, 2), 0);
}

TEST(Seek, NullOrdering) {
    // High: NULLs after ascending values, before descending ones; PRIOR turns it round.
    EXPECT_EQ(KS_NullsAfter(1, 0, 0), 1);
    EXPECT_EQ(KS_NullsAfter(1, 1, 0), 0);
    EXPECT_EQ(KS_NullsAfter(4, 0, 0), 0);
    EXPECT_EQ(KS_NullsAfter(1, 0, 1), 0);
    EXPECT_EQ(KS_NullsAfter(1, 1, 1), 1);
    EXPECT_EQ(KS_NullsAfter(1, 0, 2), 0);
    EXPECT_EQ(KS_NullsAfter(1, 0, 4), 1);
    EXPECT_EQ(KS_NullPlacement(1, 0, 0), 1);
    EXPECT_EQ(KS_NullPlacement(1, 1, 0), 2);
    EXPECT_EQ(KS_NullPlacement(1, 0, 1), 2);
    EXPECT_EQ(KS_NullPlacement(1, 1, 1), 1);
    EXPECT_EQ(KS_NullPlacement(1, 0, 2), 2);
    EXPECT_EQ(KS_NullPlacement(1, 0, 4), 1);
    EXPECT_EQ(KS_NullPlacement(4, 0, 0), 2);
}

}  // namespace
