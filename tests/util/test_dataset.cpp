// The column-wise value buffer: element widths, columns and rows made and freed, references,
// column descriptions, and out of memory at each step.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "util/dataset.h"
#include "util/trymem.h"

namespace {

struct FailGuard {
    ~FailGuard() { TryMemFailAfter(-1); }
};

// ---------------------------------------------------------------------------
// Widths

struct WidthCase {
    uint32_t kind;
    uint32_t length;
    uint32_t width;
};

class DatasetWidthTest : public ::testing::TestWithParam<WidthCase> {};

TEST_P(DatasetWidthTest, WidthFollowsKindAndAlignment) {
    const WidthCase& c = GetParam();
    EXPECT_EQ(DatasetWidth(c.kind, c.length), c.width) << "kind " << c.kind << " L " << c.length;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DatasetWidthTest,
    ::testing::Values(WidthCase{DS_CHAR, 7, 7}, WidthCase{DS_BIT, 99, 1}, WidthCase{DS_TINYINT, 0, 1},
                      WidthCase{DS_SMALLINT, 9, 2}, WidthCase{DS_INTEGER, 9, 4}, WidthCase{DS_UTINYINT, 5, 1},
                      WidthCase{DS_USMALLINT, 5, 2}, WidthCase{DS_UINTEGER, 5, 4}, WidthCase{DS_REAL, 5, 4},
                      WidthCase{DS_DOUBLE, 5, 8}, WidthCase{DS_DATE, 5, 6}, WidthCase{DS_TIME, 5, 6},
                      WidthCase{DS_TIMESTAMP, 5, 16}, WidthCase{DS_TIMESTAMP, 1000, 16}, WidthCase{DS_BINARY, 3, 3},
                      WidthCase{DS_CHAR_REF, 100, 16}, WidthCase{DS_BINARY_REF, 0, 16}, WidthCase{DS_WCHAR_REF, 5, 16},
                      WidthCase{DS_CHAR_NTS, 5, 6}, WidthCase{DS_CHAR_LEN1, 5, 6}, WidthCase{DS_CHAR_LEN2, 5, 8},
                      WidthCase{DS_CHAR_LEN2, 6, 8}, WidthCase{DS_CHAR_LEN4, 5, 12}, WidthCase{DS_CHAR_LEN4, 4, 8},
                      WidthCase{DS_BINARY_LEN1, 5, 6}, WidthCase{DS_BINARY_LEN2, 5, 8},
                      WidthCase{DS_BINARY_LEN4, 5, 12}, WidthCase{DS_WCHAR, 3, 6}, WidthCase{DS_WCHAR_NTS, 3, 8},
                      WidthCase{DS_WCHAR_LEN4, 3, 12}, WidthCase{DS_WCHAR_LEN4, 2, 8}, WidthCase{0, 9, 9},
                      WidthCase{99, 9, 9}));

TEST(DatasetWidth, HugeLengthsSaturateInsteadOfWrapping) {
    // 2 * L + 4 wraps to a tiny number in 32 bits.
    EXPECT_GE(DatasetWidth(DS_WCHAR_LEN4, 0x80000000u), 0xFFFFFFF0u);
    EXPECT_GE(DatasetWidth(DS_CHAR_LEN4, 0xFFFFFFFEu), 0xFFFFFFF0u);
    EXPECT_EQ(DatasetWidth(DS_CHAR_LEN4, 0xFFFFFFFEu) % 4, 0u);
}

// ---------------------------------------------------------------------------
// Init, allocation, free

TEST(DatasetInit, ZeroColumnsLeavesNullArrayAndFreeOnlyZeroes) {
    Dataset ds;
    std::memset(&ds, 0xAB, sizeof ds);
    ASSERT_EQ(DatasetInit(&ds, 0), DS_OK);
    EXPECT_EQ(ds.cols, nullptr);
    EXPECT_EQ(ds.cols_alloc, 0);
    EXPECT_EQ(ds.col_count, 0);
    EXPECT_EQ(ds.rows_alloc, 0u);
    EXPECT_EQ(ds.rows_used, 0u);
    ds.rows_used = 3;  // counts only: nothing to free
    DatasetFree(&ds);
    EXPECT_EQ(ds.rows_used, 0u);
}

TEST(DatasetInit, GivesZeroedColumnsAndReportsOutOfMemory) {
    Dataset ds;
    ASSERT_EQ(DatasetInit(&ds, 3), DS_OK);
    ASSERT_NE(ds.cols, nullptr);
    EXPECT_EQ(ds.cols_alloc, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ds.cols[i].kind, 0u);
        EXPECT_EQ(ds.cols[i].data, nullptr);
    }
    DatasetFree(&ds);

    FailGuard g;
    TryMemFailAfter(0);
    Dataset ds2{};
    EXPECT_EQ(DatasetInit(&ds2, 3), DS_ENOMEM);
    EXPECT_EQ(DatasetInit(nullptr, 3), DS_EINVAL);
}

Dataset MakeDataset(std::initializer_list<std::pair<uint32_t, uint32_t>> kindLen, uint32_t rows) {
    Dataset ds{};
    EXPECT_EQ(DatasetInit(&ds, static_cast<uint16_t>(kindLen.size())), DS_OK);
    uint16_t i = 0;
    for (auto [k, l] : kindLen) {
        ds.cols[i].kind = k;
        ds.cols[i].width = DatasetWidth(k, l);
        ++i;
    }
    ds.col_count = i;
    EXPECT_EQ(DatasetAllocRows(&ds, rows), DS_OK);
    return ds;
}

TEST(DatasetAllocRows, NewColumnIsNullZeroFilledWithSpareByte) {
    Dataset ds = MakeDataset({{DS_INTEGER, 0}, {DS_CHAR_NTS, 10}}, 4);
    EXPECT_EQ(ds.rows_alloc, 4u);
    EXPECT_EQ(ds.rows_used, 0u);
    for (int c = 0; c < 2; ++c) {
        const DatasetColumn& col = ds.cols[c];
        ASSERT_NE(col.data, nullptr);
        for (uint32_t r = 0; r < 4; ++r) EXPECT_EQ(col.indicators[r], DS_IND_NULL);
        // rows * width data bytes and one spare byte, all zero (read under ASan: in bounds).
        size_t bytes = 4u * col.width + 1;
        for (size_t b = 0; b < bytes; ++b) ASSERT_EQ(col.data[b], 0) << "col " << c << " byte " << b;
    }
    DatasetFree(&ds);
    EXPECT_EQ(ds.cols, nullptr);
    EXPECT_EQ(ds.cols_alloc, 0);
}

TEST(DatasetAllocRows, ZeroRowsAllocatesNothing) {
    Dataset ds = MakeDataset({{DS_INTEGER, 0}}, 0);
    EXPECT_EQ(ds.rows_alloc, 0u);
    EXPECT_EQ(ds.cols[0].data, nullptr);
    EXPECT_EQ(ds.cols[0].indicators, nullptr);
    DatasetFree(&ds);
}

TEST(DatasetAllocRows, CountAboveAllocatedIsRefusedUnchanged) {
    Dataset ds{};
    ASSERT_EQ(DatasetInit(&ds, 1), DS_OK);
    ds.cols[0].kind = DS_INTEGER;
    ds.cols[0].width = 4;
    ds.col_count = 2;
    EXPECT_EQ(DatasetAllocRows(&ds, 5), DS_ENOMEM);
    EXPECT_EQ(ds.rows_alloc, 0u);
    EXPECT_EQ(ds.cols[0].data, nullptr);
    ds.col_count = 1;
    DatasetFree(&ds);
}

TEST(DatasetAllocRows, OversizedRequestIsOutOfMemoryNotAWrappedBuffer) {
    // 0x10000 rows of a 0x10000-wide column: 2^32 bytes, which wraps to 0 (+1) in 32 bits.
    Dataset ds{};
    ASSERT_EQ(DatasetInit(&ds, 1), DS_OK);
    ds.cols[0].kind = DS_CHAR;
    ds.cols[0].width = 0xFFFFFFFFu;
    ds.col_count = 1;
    EXPECT_EQ(DatasetAllocRows(&ds, 0xFFFFFFFFu), DS_ENOMEM);
    EXPECT_EQ(ds.cols[0].data, nullptr);
    EXPECT_EQ(ds.rows_alloc, 0u);
    DatasetFree(&ds);
}

TEST(DatasetAllocRows, FailureAtAnyColumnLeavesHeaderFreeable) {
    FailGuard g;
    for (long fail = 0; fail < 6; ++fail) {
        Dataset ds{};
        ASSERT_EQ(DatasetInit(&ds, 3), DS_OK);
        for (int c = 0; c < 3; ++c) {
            ds.cols[c].kind = DS_CHAR_REF;
            ds.cols[c].width = 16;
        }
        ds.col_count = 3;
        TryMemFailAfter(fail);
        int rc = DatasetAllocRows(&ds, 8);
        TryMemFailAfter(-1);
        EXPECT_EQ(rc, DS_ENOMEM) << fail;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(ds.cols[c].data, nullptr);
        DatasetFree(&ds);  // leak checker: nothing left behind
    }
}

TEST(DatasetAllocRows, RefusesColumnsThatAlreadyHoldArrays) {
    Dataset ds = MakeDataset({{DS_INTEGER, 0}}, 2);
    EXPECT_EQ(DatasetAllocRows(&ds, 4), DS_EINVAL);
    EXPECT_EQ(ds.rows_alloc, 2u);
    DatasetFree(&ds);
}

TEST(DatasetColumnFree, ReleasesEveryReferencedBuffer) {
    Dataset ds = MakeDataset({{DS_CHAR_REF, 0}, {DS_BINARY_REF, 0}, {DS_WCHAR_REF, 0}}, 3);
    const char16_t w[] = u"héllo";
    for (uint32_t r = 0; r < 3; ++r) {
        ASSERT_EQ(DatasetSetRef(&ds, r, 0, "abc", 3), DS_OK);
        if (r != 1) {
            ASSERT_EQ(DatasetSetRef(&ds, r, 1, "\x00\x01", 2), DS_OK);
        }
        ASSERT_EQ(DatasetSetRef(&ds, r, 2, w, 5), DS_OK);
    }
    ds.rows_used = 3;
    DsRef ref = DatasetRefGet(DatasetCell(&ds.cols[2], 1));
    EXPECT_EQ(ref.length, 5u);
    EXPECT_EQ(std::memcmp(ref.ptr, w, 10), 0);
    EXPECT_EQ(ds.cols[1].indicators[1], DS_IND_NULL);
    // Replacing a value frees the old buffer (leak checker).
    ASSERT_EQ(DatasetSetRef(&ds, 0, 0, "xy", 2), DS_OK);
    DatasetColumnFree(&ds.cols[0], ds.rows_alloc);
    EXPECT_EQ(ds.cols[0].data, nullptr);
    EXPECT_EQ(ds.cols[0].kind, DS_CHAR_REF);
    DatasetFree(&ds);
}

TEST(DatasetSetRef, RejectsBadTargets) {
    Dataset ds = MakeDataset({{DS_INTEGER, 0}, {DS_CHAR_REF, 0}}, 2);
    EXPECT_EQ(DatasetSetRef(&ds, 0, 0, "a", 1), DS_EINVAL);  // not by reference
    EXPECT_EQ(DatasetSetRef(&ds, 2, 1, "a", 1), DS_EINVAL);  // row past allocation
    EXPECT_EQ(DatasetSetRef(&ds, 0, 2, "a", 1), DS_EINVAL);  // column past count
    EXPECT_EQ(DatasetSetRef(&ds, 0, 1, nullptr, 1), DS_EINVAL);
    EXPECT_EQ(DatasetSetRef(nullptr, 0, 1, "a", 1), DS_EINVAL);
    FailGuard g;
    TryMemFailAfter(0);
    EXPECT_EQ(DatasetSetRef(&ds, 0, 1, "a", 1), DS_ENOMEM);
    EXPECT_EQ(ds.cols[1].indicators[0], DS_IND_NULL);
    DatasetFree(&ds);
}

// Every text or binary kind is in exactly one of the three classes, every other kind in none;
// the varying kinds are those that end at a terminator or a length prefix.
TEST(DatasetKinds, ClassesPartitionTheKinds) {
    for (uint32_t k = DS_CHAR; k <= DS_WCHAR_LEN4; ++k) {
        const int classes =
            int(DatasetKindIsNarrowText(k)) + int(DatasetKindIsWideText(k)) + int(DatasetKindIsBinary(k));
        const bool string = k == DS_CHAR || k == DS_BINARY || k >= DS_CHAR_REF;
        EXPECT_EQ(classes, string ? 1 : 0) << k;
        EXPECT_EQ(DatasetKindIsString(k), string) << k;
        const bool varying = k == DS_CHAR_NTS || k == DS_WCHAR_NTS || k == DS_CHAR_LEN1 || k == DS_CHAR_LEN2 ||
                             k == DS_CHAR_LEN4 || k == DS_BINARY_LEN1 || k == DS_BINARY_LEN2 || k == DS_BINARY_LEN4 ||
                             k == DS_WCHAR_LEN4;
        EXPECT_EQ(DatasetKindIsVarying(k), varying) << k;
    }
    EXPECT_TRUE(DatasetKindIsNarrowText(DS_CHAR_REF));
    EXPECT_TRUE(DatasetKindIsWideText(DS_WCHAR_REF));
    EXPECT_TRUE(DatasetKindIsBinary(DS_BINARY_REF));
    EXPECT_FALSE(DatasetKindIsString(0));
}

// ---------------------------------------------------------------------------
// ColumnInfo

TEST(ColumnInfo, AllocZeroedAndOneRecordForZero) {
    ColumnInfo* a = ColumnInfoArrayAlloc(0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a[0].catalog, nullptr);
    ColumnInfoArrayFree(a, 0);
    ColumnInfo* b = ColumnInfoArrayAlloc(4);
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(b[i].name[0], '\0');
        EXPECT_EQ(b[i].value_kind, 0u);
    }
    ColumnInfoArrayFree(b, 4);
    ColumnInfoArrayFree(nullptr, 3);
}

// A procedure parameter's mark is "*" and one direction letter, nothing more: a name that only
// begins so ("*Out", a delimited alias) is a plain column's.
TEST(ColumnInfo, ProcedureMarksAreAStarAndOneDirectionLetter) {
    const struct {
        const char* name;
        ProcParamMark mark;
    } cases[] = {
        {"*I", kProcMarkInput}, {"*O", kProcMarkOutput}, {"*B", kProcMarkInOut}, {"*U", kProcMarkUnknown},
        {"", kProcMarkNone},    {"*", kProcMarkNone},    {"*X", kProcMarkNone},  {"*Out", kProcMarkNone},
        {"I", kProcMarkNone},   {"O*", kProcMarkNone},   {"*i", kProcMarkNone},
    };
    for (const auto& c : cases) {
        ColumnInfo ci{};
        std::strcpy(ci.name, c.name);
        EXPECT_EQ(ColumnProcMark(ci), c.mark) << '"' << c.name << '"';
    }
    for (ProcParamMark m : {kProcMarkInput, kProcMarkOutput, kProcMarkInOut, kProcMarkUnknown}) {
        ColumnInfo ci{};
        std::strcpy(ci.name, "long column name");
        ColumnSetProcMark(ci, m);
        EXPECT_EQ(ColumnProcMark(ci), m);
        EXPECT_EQ(std::strlen(ci.name), 2u);
    }
}

TEST(ColumnInfo, FreeReleasesAllFourOwnedStringsAndCopyDuplicatesThem) {
    ColumnInfo* a = ColumnInfoArrayAlloc(2);
    ASSERT_NE(a, nullptr);
    for (int i = 0; i < 2; ++i) {
        std::strcpy(a[i].name, "C");
        a[i].catalog = strdup("cat");
        a[i].schema = strdup("sch");
        a[i].table = strdup("tab");
        a[i].column = i ? strdup("column_full_name") : nullptr;
        a[i].sql_type = 12;
        a[i].value_kind = DS_CHAR_NTS;
        a[i].length = 20;
    }
    ColumnInfo* c = ColumnInfoArrayCopy(a, 2);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c[0].catalog, a[0].catalog);
    EXPECT_STREQ(c[1].column, "column_full_name");
    EXPECT_EQ(c[0].column, nullptr);
    EXPECT_EQ(c[1].length, 20u);
    ColumnInfoArrayFree(a, 2);  // double frees or leaks are caught by ASan
    EXPECT_STREQ(c[1].table, "tab");
    ColumnInfoArrayFree(c, 2);
}

TEST(ColumnInfo, CopyFailingPartWayLeaksNothing) {
    ColumnInfo* a = ColumnInfoArrayAlloc(3);
    for (int i = 0; i < 3; ++i) {
        a[i].catalog = strdup("a");
        a[i].table = strdup("b");
    }
    FailGuard g;
    for (long fail = 0; fail < 7; ++fail) {
        TryMemFailAfter(fail);
        ColumnInfo* c = ColumnInfoArrayCopy(a, 3);
        TryMemFailAfter(-1);
        EXPECT_EQ(c, nullptr) << fail;
    }
    ColumnInfo* ok = ColumnInfoArrayCopy(a, 3);
    EXPECT_NE(ok, nullptr);
    ColumnInfoArrayFree(ok, 3);
    ColumnInfoArrayFree(a, 3);
}

TEST(ColumnInfo, DatasetFromColumnInfosShapesColumns) {
    ColumnInfo* a = ColumnInfoArrayAlloc(3);
    a[0].value_kind = DS_INTEGER;
    a[1].value_kind = DS_CHAR_LEN2;
    a[1].length = 5;
    a[2].value_kind = DS_WCHAR_NTS;
    a[2].length = 3;
    Dataset ds{};
    ASSERT_EQ(DatasetFromColumnInfos(a, 3, 10, &ds), DS_OK);
    EXPECT_EQ(ds.col_count, 3);
    EXPECT_EQ(ds.rows_alloc, 10u);
    EXPECT_EQ(ds.cols[0].width, 4u);
    EXPECT_EQ(ds.cols[1].kind, DS_CHAR_LEN2);
    EXPECT_EQ(ds.cols[1].width, 8u);
    EXPECT_EQ(ds.cols[2].width, 8u);
    DatasetFree(&ds);
    FailGuard g;
    TryMemFailAfter(0);
    Dataset ds2{};
    EXPECT_EQ(DatasetFromColumnInfos(a, 3, 10, &ds2), DS_ENOMEM);
    ColumnInfoArrayFree(a, 3);
}

// A block filled again takes the arrays it holds only for the shape DatasetFromColumnInfos would
// give it; any other shape leaves it as it was.
TEST(ColumnInfo, RefillKeepsTheArraysOfTheSameShapeOnly) {
    ColumnInfo a[2]{};
    a[0].value_kind = DS_INTEGER;
    a[1].value_kind = DS_CHAR_NTS;
    a[1].length = 5;
    Dataset ds{};
    ASSERT_EQ(DatasetFromColumnInfos(a, 2, 4, &ds), DS_OK);
    const int32_t seven = 7;
    std::memcpy(DatasetCell(&ds.cols[0], 1), &seven, 4);
    for (uint32_t r = 0; r < 4; ++r) ds.cols[0].indicators[r] = ds.cols[1].indicators[r] = DS_IND_VALUE;
    ds.rows_used = 3;
    ds.col_count = 1;  // a hidden column
    struct Case {
        const char* what;
        uint32_t kind0, length1;
        uint16_t n;
        uint32_t rows;
    };
    const Case refused[] = {
        {"another kind", DS_SMALLINT, 5, 2, 4}, {"another width", DS_INTEGER, 6, 2, 4},
        {"fewer columns", DS_INTEGER, 5, 1, 4}, {"more rows than the arrays hold", DS_INTEGER, 5, 2, 5},
        {"no rows", DS_INTEGER, 5, 2, 0},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        ColumnInfo b[2] = {a[0], a[1]};
        b[0].value_kind = c.kind0;
        b[1].length = c.length1;
        const Dataset before = ds;
        EXPECT_EQ(DatasetRefillFromColumnInfos(b, c.n, c.rows, &ds), DS_EINVAL);
        EXPECT_EQ(before.cols, ds.cols);
        EXPECT_EQ(before.col_count, ds.col_count);
        EXPECT_EQ(before.rows_used, ds.rows_used);
        EXPECT_EQ(before.rows_alloc, ds.rows_alloc);
        EXPECT_EQ(ds.cols[0].indicators[0], DS_IND_VALUE);
    }
    ColumnInfo ref[2] = {a[0], a[1]};
    ref[1].value_kind = DS_CHAR_REF;
    Dataset byRef{};
    ASSERT_EQ(DatasetFromColumnInfos(ref, 2, 4, &byRef), DS_OK);
    EXPECT_EQ(DatasetRefillFromColumnInfos(ref, 2, 4, &byRef), DS_EINVAL);
    DatasetFree(&byRef);
    Dataset empty{};
    EXPECT_EQ(DatasetRefillFromColumnInfos(a, 2, 4, &empty), DS_EINVAL);
    // The same shape, fewer rows than the arrays hold: every row NULL again, the cells as they were.
    const uint8_t* data = ds.cols[0].data;
    ASSERT_EQ(DatasetRefillFromColumnInfos(a, 2, 3, &ds), DS_OK);
    EXPECT_EQ(ds.cols[0].data, data);
    EXPECT_EQ(ds.col_count, 2);
    EXPECT_EQ(ds.rows_used, 0u);
    EXPECT_EQ(ds.rows_alloc, 4u);
    for (uint16_t c = 0; c < 2; ++c)
        for (uint32_t r = 0; r < 4; ++r) EXPECT_EQ(ds.cols[c].indicators[r], DS_IND_NULL) << c << " " << r;
    int32_t cell = 0;
    std::memcpy(&cell, DatasetCell(&ds.cols[0], 1), 4);
    EXPECT_EQ(cell, 7);
    DatasetFree(&ds);
}

// ---------------------------------------------------------------------------
// Bounded copies

TEST(StrCopyOut, FitsCutsAndRefuses) {
    char buf[16];
    uint16_t len = 999;
    // size = length + 1: fits.
    EXPECT_EQ(StrCopyOut("hello", buf, 6, &len), 0);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(len, 5);
    // size = length: cut by one, terminated.
    EXPECT_EQ(StrCopyOut("hello", buf, 5, &len), -1);
    EXPECT_STREQ(buf, "hell");
    EXPECT_EQ(len, 4);
    // size 0: nothing stored.
    len = 77;
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(StrCopyOut("hello", buf, 0, &len), -1);
    EXPECT_EQ(len, 77);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(StrCopyOut(nullptr, buf, 5, &len), -1);
    EXPECT_EQ(StrCopyOut("a", nullptr, 5, &len), -1);
    EXPECT_EQ(StrCopyOut("abc", buf, 4, nullptr), 0);
}

TEST(StrCopyOut, LongTextDoesNotWrapIntoAFit) {
    // A 65536-byte text: its length + 1 wraps to 1 in 16 bits and would pass as fitting.
    std::string big(65536, 'a');
    char buf[8];
    uint16_t len = 0;
    EXPECT_EQ(StrCopyOut(big.c_str(), buf, 8, &len), -1);
    EXPECT_EQ(len, 7);
    EXPECT_EQ(std::strlen(buf), 7u);
    std::string big2(65535, 'b');
    std::string out(65535, '\0');
    EXPECT_EQ(StrCopyOut(big2.c_str(), out.data(), 65535, &len), -1);
    EXPECT_EQ(len, 65534);
}

TEST(StrCopyOutLen, ReportsFullLengthAndCopiesLikeStrCopyOut) {
    char buf[4];
    uint16_t len = 0;
    EXPECT_EQ(StrCopyOutLen("abcdef", nullptr, 0, &len), 0);
    EXPECT_EQ(len, 6);
    EXPECT_EQ(StrCopyOutLen("abcdef", buf, 4, &len), -1);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(len, 6);
    EXPECT_EQ(StrCopyOutLen("abc", buf, 4, &len), 0);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(len, 3);
    EXPECT_EQ(StrCopyOutLen("abc", buf, 0, &len), -1);
    EXPECT_EQ(len, 3);
    EXPECT_EQ(StrCopyOutLen(nullptr, buf, 4, &len), -1);
    std::string big(70000, 'z');
    EXPECT_EQ(StrCopyOutLen(big.c_str(), buf, 4, &len), -1);
    EXPECT_EQ(len, 0xFFFF);  // saturated, not 70000 mod 65536
}

TEST(AgentRecords, ReleaseFunctionsFreeAndClear) {
    AgentErrors e{42, 2, static_cast<char**>(std::malloc(2 * sizeof(char*)))};
    e.texts[0] = strdup("one");
    e.texts[1] = strdup("two");
    AgentErrorsFree(&e);
    EXPECT_EQ(e.count, 0u);
    EXPECT_EQ(e.texts, nullptr);
    AgentErrorsFree(&e);  // again: nothing to do
    PtrPair p{strdup("select"), nullptr};
    PtrPairFree(&p);
    EXPECT_EQ(p.first, nullptr);
    EXPECT_EQ(p.second, nullptr);
}

}  // namespace
