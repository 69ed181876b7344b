// The byte layout of the dataset cache's files, round trips of every value kind, appends, and
// files that were cut short or damaged.
#include <unistd.h>

#include "scrs/dsc.h"
#include "tests/scrs/dsc_fixture.h"

using namespace dsc_test;

namespace {

struct Files {
    FILE* data = Scratch();
    FILE* index = Scratch();
    ~Files() {
        if (data) fclose(data);
        if (index) fclose(index);
    }
};

struct Owned {
    Dataset ds{};
    ~Owned() { DatasetFree(&ds); }
};

TEST(DscFileLayout, IntegerAndTextByReferenceRowTakesNineteenBytes) {
    Owned o;
    MakeColumns(&o.ds, {{DS_INTEGER, 4}, {DS_CHAR_REF, 16}}, 1);
    Put<int32_t>(&o.ds, 0, 0, 7);
    ASSERT_EQ(0, DatasetSetRef(&o.ds, 0, 1, "abc", 3));
    Files f;
    ASSERT_EQ(1, dsc_IoCache(kDscWrite, f.data, f.index, &o.ds, 0, 0));
    const std::vector<uint8_t> expect = {2, 0, 0, 0, 1, 0, 0, 0,                            // header: 2 columns, 1 row
                                         5, 0, 0, 0, 4, 0, 0, 0, 15, 0, 0, 0, 16, 0, 0, 0,  // descriptors
                                         0, 0, 0, 0, 7, 0, 0, 0, 0,  0, 0, 0, 3,  0, 0, 0, 'a', 'b', 'c'};
    EXPECT_EQ(expect, FileBytes(f.data));
    EXPECT_EQ((std::vector<uint8_t>{24, 0, 0, 0}), FileBytes(f.index));
}

TEST(DscFileLayout, NarrowValuesAreWidenedBySignOrZeroAndNullTakesFourBytes) {
    Owned o;
    MakeColumns(&o.ds, {{DS_TINYINT, 1}, {DS_BIT, 1}, {DS_SMALLINT, 2}, {DS_USMALLINT, 2}, {DS_INTEGER, 4}}, 1);
    Put<int8_t>(&o.ds, 0, 0, -2);
    Put<uint8_t>(&o.ds, 1, 0, 254);
    Put<int16_t>(&o.ds, 2, 0, -3);
    Put<uint16_t>(&o.ds, 3, 0, 65534);  // column 4 stays NULL
    Files f;
    ASSERT_EQ(1, dsc_IoCache(kDscWrite, f.data, f.index, &o.ds, 0, 0));
    auto b = FileBytes(f.data);
    const size_t row = 8 + 8 * 5;
    ASSERT_EQ(row + 4 * 8 + 4, b.size());
    EXPECT_EQ(0xFFFFFFFEu, Word(b, row + 4));
    EXPECT_EQ(0x000000FEu, Word(b, row + 12));
    EXPECT_EQ(0xFFFFFFFDu, Word(b, row + 20));
    EXPECT_EQ(0x0000FFFEu, Word(b, row + 28));
    EXPECT_EQ(0xFFFFFFFFu, Word(b, row + 32));  // the NULL: indicator alone
}

TEST(DscFileLayout, DateTimeAndTimestampTakeTwelveTwelveAndTwentyEightBytes) {
    struct Case {
        uint32_t kind, width;
        size_t valueBytes;
    };
    for (Case c : {Case{DS_DATE, 6, 12}, Case{DS_TIME, 6, 12}, Case{DS_TIMESTAMP, 16, 28}, Case{DS_DOUBLE, 8, 8},
                   Case{DS_CHAR_NTS, 10, 10}, Case{DS_WCHAR_NTS, 12, 12}, Case{DS_WCHAR_REF, 16, 4 + 6}}) {
        SCOPED_TRACE(c.kind);
        Owned o;
        MakeColumns(&o.ds, {{c.kind, c.width}}, 1);
        if (c.kind == DS_WCHAR_REF) {
            const uint16_t w[3] = {'x', 'y', 'z'};
            ASSERT_EQ(0, DatasetSetRef(&o.ds, 0, 0, w, 3));
        } else {
            o.ds.cols[0].indicators[0] = 0;
        }
        Files f;
        ASSERT_EQ(1, dsc_IoCache(kDscWrite, f.data, f.index, &o.ds, 0, 0));
        EXPECT_EQ(8u + 8 + 4 + c.valueBytes, FileBytes(f.data).size());
    }
}

// Every kind written and read back gives the same values, the fixed NUL-terminated elements
// including whatever follows their terminator.
TEST(DscFileRoundTrip, EveryKindComesBackAsItWent) {
    Owned o;
    MakeColumns(&o.ds,
                {{DS_CHAR, 5},        {DS_BIT, 1},         {DS_TINYINT, 1},     {DS_SMALLINT, 2},  {DS_INTEGER, 4},
                 {DS_UTINYINT, 1},    {DS_USMALLINT, 2},   {DS_UINTEGER, 4},    {DS_REAL, 4},      {DS_DOUBLE, 8},
                 {DS_DATE, 6},        {DS_TIME, 6},        {DS_TIMESTAMP, 16},  {DS_BINARY, 3},    {DS_CHAR_REF, 16},
                 {DS_BINARY_REF, 16}, {DS_CHAR_NTS, 8},    {DS_CHAR_LEN1, 6},   {DS_CHAR_LEN2, 7}, {DS_CHAR_LEN4, 9},
                 {DS_BINARY_LEN1, 4}, {DS_BINARY_LEN2, 5}, {DS_BINARY_LEN4, 7}, {DS_WCHAR, 4},     {DS_WCHAR_NTS, 6},
                 {DS_WCHAR_REF, 16},  {DS_WCHAR_LEN4, 10}},
                3);
    Dataset& d = o.ds;
    for (uint32_t r = 0; r < 2; ++r) {  // row 2 stays all NULL
        std::memcpy(DatasetCell(&d.cols[0], r), r ? "hello" : "abcde", 5);
        d.cols[0].indicators[r] = 0;
        Put<uint8_t>(&d, 1, r, uint8_t(200 + r));
        Put<int8_t>(&d, 2, r, int8_t(-100 - r));
        Put<int16_t>(&d, 3, r, int16_t(-30000 + r));
        Put<int32_t>(&d, 4, r, int32_t(-2000000000 + r));
        Put<uint8_t>(&d, 5, r, uint8_t(255 - r));
        Put<uint16_t>(&d, 6, r, uint16_t(65535 - r));
        Put<uint32_t>(&d, 7, r, 4000000000u + r);
        Put<float>(&d, 8, r, 1.5f + r);
        Put<double>(&d, 9, r, -2.25 * (r + 1));
        Put(&d, 10, r, DsDate{int16_t(-44 + r), 3, 15});
        Put(&d, 11, r, DsTime{23, 59, uint16_t(58 + r)});
        Put(&d, 12, r, DsTimestamp{2024, 2, 29, 12, 30, 45, 123456789u + r});
        std::memcpy(DatasetCell(&d.cols[13], r), "\x00\xff\x10", 3);
        d.cols[13].indicators[r] = 0;
        ASSERT_EQ(0, DatasetSetRef(&d, r, 14, r ? "" : "long text", r ? 0 : 9));
        ASSERT_EQ(0, DatasetSetRef(&d, r, 15, "\x01\x00\x02", r ? 0 : 3));
        std::memcpy(DatasetCell(&d.cols[16], r), "ab\0junk!", 8);
        d.cols[16].indicators[r] = 0;
        uint8_t* c = DatasetCell(&d.cols[17], r);
        c[0] = 3, std::memcpy(c + 1, "xyz", 3), d.cols[17].indicators[r] = 0;
        c = DatasetCell(&d.cols[18], r);
        uint16_t l2 = 5;
        std::memcpy(c, &l2, 2), std::memcpy(c + 2, "fives", 5), d.cols[18].indicators[r] = 0;
        c = DatasetCell(&d.cols[19], r);
        uint32_t l4 = 4;
        std::memcpy(c, &l4, 4), std::memcpy(c + 4, "four", 4), d.cols[19].indicators[r] = 0;
        c = DatasetCell(&d.cols[20], r);
        c[0] = 2, c[1] = 0, c[2] = 0xEE, d.cols[20].indicators[r] = 0;
        c = DatasetCell(&d.cols[21], r);
        l2 = 3, std::memcpy(c, &l2, 2), std::memcpy(c + 2, "\x09\x08\x07", 3), d.cols[21].indicators[r] = 0;
        c = DatasetCell(&d.cols[22], r);
        l4 = 0, std::memcpy(c, &l4, 4), d.cols[22].indicators[r] = 0;
        const uint16_t wide[3] = {0x41, 0x20AC, 0};
        std::memcpy(DatasetCell(&d.cols[23], r), wide, 4), d.cols[23].indicators[r] = 0;
        std::memcpy(DatasetCell(&d.cols[24], r), wide, 6), d.cols[24].indicators[r] = 0;
        ASSERT_EQ(0, DatasetSetRef(&d, r, 25, wide, 2));
        c = DatasetCell(&d.cols[26], r);
        l4 = 3, std::memcpy(c, &l4, 4), std::memcpy(c + 4, wide, 6), d.cols[26].indicators[r] = 0;
    }
    Files f;
    ASSERT_EQ(1, dsc_IoCache(kDscWrite, f.data, f.index, &d, 0, 0));
    Owned back;
    ASSERT_EQ(1, dsc_IoCache(kDscRead, f.data, f.index, &back.ds, 0, 0));
    ASSERT_EQ(d.col_count, back.ds.col_count);
    ASSERT_EQ(3u, back.ds.rows_used);
    for (uint16_t col = 0; col < d.col_count; ++col) {
        EXPECT_EQ(d.cols[col].kind, back.ds.cols[col].kind);
        EXPECT_EQ(d.cols[col].width, back.ds.cols[col].width);
    }
    for (uint32_t r = 0; r < 3; ++r) {
        int equal = 0;
        ASSERT_EQ(0, DatasetRowsEqual(&d, r, &back.ds, r, &equal));
        EXPECT_TRUE(equal) << "row " << r;
        for (uint16_t col = 0; col < d.col_count; ++col) {
            if (DatasetKindIsRef(d.cols[col].kind)) continue;
            EXPECT_EQ(0,
                      std::memcmp(DatasetCell(&d.cols[col], r), DatasetCell(&back.ds.cols[col], r), d.cols[col].width))
                << "row " << r << " column " << col;
        }
    }
    // The positioned reader gives the same rows, read fresh and read into the arrays of a window
    // of the same shape; it leaves the streams where they were.
    const off_t dataAt = ftello(f.data), indexAt = ftello(f.index);
    Owned runs[2];
    uint64_t size = 0;  // asked of the file by the first read, taken as given by the second
    for (Owned& run : runs) {
        uint32_t onFile = 0;
        ASSERT_EQ(1, dsc_ReadRun(f.data, f.index, &run.ds, 0, 0, &onFile, &size));
        EXPECT_EQ(3u, onFile);
        ASSERT_EQ(d.col_count, run.ds.col_count);
        ASSERT_EQ(3u, run.ds.rows_used);
        for (uint32_t r = 0; r < 3; ++r) {
            int equal = 0;
            ASSERT_EQ(0, DatasetRowsEqual(&back.ds, r, &run.ds, r, &equal));
            EXPECT_TRUE(equal) << "row " << r;
            for (uint16_t col = 0; col < d.col_count; ++col) {
                EXPECT_EQ(back.ds.cols[col].indicators[r], run.ds.cols[col].indicators[r])
                    << "row " << r << " column " << col;
                if (DatasetKindIsRef(d.cols[col].kind)) continue;
                EXPECT_EQ(0, std::memcmp(DatasetCell(&back.ds.cols[col], r), DatasetCell(&run.ds.cols[col], r),
                                         d.cols[col].width))
                    << "row " << r << " column " << col;
            }
        }
    }
    EXPECT_EQ(dataAt, ftello(f.data));
    EXPECT_EQ(indexAt, ftello(f.index));
    EXPECT_EQ(FileBytes(f.data).size(), size);
    // Fixed NUL-terminated elements keep the bytes after the terminator.
    EXPECT_EQ(0, std::memcmp(DatasetCell(&back.ds.cols[16], 0), "ab\0junk!", 8));
    // By-reference text is terminated; an empty binary value has no buffer.
    DsRef t = DatasetRefGet(DatasetCell(&back.ds.cols[14], 0));
    ASSERT_NE(nullptr, t.ptr);
    EXPECT_STREQ("long text", static_cast<const char*>(t.ptr));
    EXPECT_EQ(nullptr, DatasetRefGet(DatasetCell(&back.ds.cols[15], 1)).ptr);
    DsRef w = DatasetRefGet(DatasetCell(&back.ds.cols[25], 0));
    EXPECT_EQ(0, static_cast<const uint16_t*>(w.ptr)[2]);
    EXPECT_EQ(DS_IND_NULL, back.ds.cols[4].indicators[2]);
}

TEST(DscFileRoundTrip, ReadingFromARowGivesAtMostTheRowsLeft) {
    Owned o;
    MakeColumns(&o.ds, {{DS_INTEGER, 4}}, 10);
    for (int32_t r = 0; r < 10; ++r) Put<int32_t>(&o.ds, 0, uint32_t(r), r * 11);
    Files f;
    ASSERT_EQ(1, dsc_IoCache(kDscWrite, f.data, f.index, &o.ds, 0, 0));
    struct Case {
        int32_t first, most;
        uint32_t rows;
    };
    Owned reused;  // the positioned reader refills one Dataset from case to case
    for (Case c : {Case{9, 5, 1}, Case{3, 4, 4}, Case{0, 0, 10}, Case{4, 0, 6}, Case{2, 1, 1}, Case{8, 0, 2}}) {
        SCOPED_TRACE(c.first);
        Owned back;
        ASSERT_EQ(1, dsc_IoCache(kDscRead, f.data, f.index, &back.ds, c.first, c.most));
        ASSERT_EQ(1, dsc_ReadRun(f.data, f.index, &reused.ds, uint32_t(c.first), uint32_t(c.most), nullptr, nullptr));
        ASSERT_EQ(c.rows, back.ds.rows_used);
        ASSERT_EQ(c.rows, reused.ds.rows_used);
        for (uint32_t i = 0; i < c.rows; ++i) {
            int32_t v, w;
            std::memcpy(&v, DatasetCell(&back.ds.cols[0], i), 4);
            std::memcpy(&w, DatasetCell(&reused.ds.cols[0], i), 4);
            EXPECT_EQ((c.first + int32_t(i)) * 11, v);
            EXPECT_EQ(v, w);
        }
    }
    Owned past;
    EXPECT_EQ(0, dsc_IoCache(kDscRead, f.data, f.index, &past.ds, 10, 1));
    EXPECT_EQ(0, dsc_IoCache(kDscRead, f.data, f.index, &past.ds, -1, 1));
    // A start past the last row is refused before the rows in hand are touched.
    uint32_t onFile = 0;
    EXPECT_EQ(0, dsc_ReadRun(f.data, f.index, &reused.ds, 10, 1, &onFile, nullptr));
    EXPECT_EQ(10u, onFile);
    EXPECT_EQ(2u, reused.ds.rows_used);
    EXPECT_EQ(0, dsc_ReadRun(nullptr, f.index, &reused.ds, 0, 1, nullptr, nullptr));
    EXPECT_EQ(0, dsc_ReadRun(f.data, nullptr, &reused.ds, 0, 1, nullptr, nullptr));
    EXPECT_EQ(0, dsc_ReadRun(f.data, f.index, nullptr, 0, 1, nullptr, nullptr));
}

TEST(DscFileAppend, EmptyWriteFailsAndEmptyAppendChangesNothing) {
    Owned o;
    MakeColumns(&o.ds, {{DS_INTEGER, 4}}, 0);
    Files f;
    EXPECT_EQ(0, dsc_IoCache(kDscWrite, f.data, f.index, &o.ds, 0, 0));
    Owned one;
    MakeColumns(&one.ds, {{DS_INTEGER, 4}}, 1);
    Files g;
    ASSERT_EQ(1, dsc_IoCache(kDscWrite, g.data, g.index, &one.ds, 0, 0));
    auto before = FileBytes(g.data);
    auto beforeIdx = FileBytes(g.index);
    EXPECT_EQ(1, dsc_AppendRows(g.data, g.index, &o.ds));
    EXPECT_EQ(before, FileBytes(g.data));
    EXPECT_EQ(beforeIdx, FileBytes(g.index));
}

TEST(DscFileAppend, ThreeAppendsAfterFiftyTwoHundredRowsGiveFiftyEightHundred) {
    Owned big;
    MakeColumns(&big.ds, {{DS_INTEGER, 4}, {DS_CHAR_LEN1, 8}}, 5200);
    for (uint32_t r = 0; r < 5200; ++r) Put<int32_t>(&big.ds, 0, r, int32_t(r));
    Files f;
    ASSERT_EQ(1, dsc_IoCache(kDscWrite, f.data, f.index, &big.ds, 0, 0));
    for (int k = 0; k < 3; ++k) {
        Owned block;
        MakeColumns(&block.ds, {{DS_INTEGER, 4}, {DS_CHAR_LEN1, 8}}, 200);
        for (uint32_t r = 0; r < 200; ++r) {
            Put<int32_t>(&block.ds, 0, r, int32_t(5200 + k * 200 + r));
            uint8_t* c = DatasetCell(&block.ds.cols[1], r);
            c[0] = 2, c[1] = 'k', c[2] = char('0' + k);
            block.ds.cols[1].indicators[r] = 0;
        }
        ASSERT_EQ(1, dsc_AppendRows(f.data, f.index, &block.ds));
    }
    EXPECT_EQ(5800u, Word(FileBytes(f.data), 4));
    EXPECT_EQ(23200u, FileBytes(f.index).size());
    Owned back;
    ASSERT_EQ(1, dsc_IoCache(kDscRead, f.data, f.index, &back.ds, 5199, 3));
    ASSERT_EQ(3u, back.ds.rows_used);
    int32_t v;
    std::memcpy(&v, DatasetCell(&back.ds.cols[0], 2), 4);
    EXPECT_EQ(5201, v);
    EXPECT_EQ(0, std::memcmp(DatasetCell(&back.ds.cols[1], 2), "\x02k0", 3));
    EXPECT_EQ(DS_IND_NULL, back.ds.cols[1].indicators[0]);
}

TEST(DscFileAppend, RowsOfAnotherColumnCountAreRefused) {
    Owned one, two;
    MakeColumns(&one.ds, {{DS_INTEGER, 4}}, 1);
    MakeColumns(&two.ds, {{DS_INTEGER, 4}, {DS_INTEGER, 4}}, 1);
    Files f;
    ASSERT_EQ(1, dsc_IoCache(kDscWrite, f.data, f.index, &one.ds, 0, 0));
    EXPECT_EQ(0, dsc_AppendRows(f.data, f.index, &two.ds));
    EXPECT_EQ(1u, Word(FileBytes(f.data), 4));
}

// A row that would start beyond what a 32-bit index entry can name is refused instead of being
// indexed at a wrapped offset (the file is sparse, so this costs no disk).
TEST(DscFileAppend, RowsPastFourGibibytesAreRefusedNotWrapped) {
    Owned one;
    MakeColumns(&one.ds, {{DS_INTEGER, 4}}, 1);
    Files f;
    ASSERT_EQ(1, dsc_IoCache(kDscWrite, f.data, f.index, &one.ds, 0, 0));
    fflush(f.data);
    ASSERT_EQ(0, ftruncate(fileno(f.data), off_t(1) << 32));
    EXPECT_EQ(0, dsc_AppendRows(f.data, f.index, &one.ds));
    EXPECT_EQ(4u, FileBytes(f.index).size());
}

// Damaged files fail the read cleanly; nothing is read past a buffer or allocated from a wild length.
TEST(DscFileDamage, DamagedOrShortFilesFailTheRead) {
    auto fresh = [](Files& f) {
        Owned o;
        MakeColumns(&o.ds, {{DS_INTEGER, 4}, {DS_CHAR_LEN1, 4}, {DS_CHAR_REF, 16}}, 2);
        for (uint32_t r = 0; r < 2; ++r) {
            Put<int32_t>(&o.ds, 0, r, 1);
            uint8_t* c = DatasetCell(&o.ds.cols[1], r);
            c[0] = 3, std::memcpy(c + 1, "abc", 3), o.ds.cols[1].indicators[r] = 0;
            ASSERT_EQ(0, DatasetSetRef(&o.ds, r, 2, "hi", 2));
        }
        ASSERT_EQ(1, dsc_IoCache(kDscWrite, f.data, f.index, &o.ds, 0, 0));
    };
    // Offsets: header 8, descriptors 24 -> row 0 at 32: ind 32, int 36, ind 40, len1 44, "abc" 48,
    // ind 51, ref length 55.
    struct Case {
        const char* what;
        long at;
        std::vector<uint8_t> bytes;
        long cutTo;  // -1: keep length
    };
    const Case cases[] = {
        {"file cut inside a row", 0, {}, 45},
        {"file cut inside the header", 0, {}, 6},
        {"prefixed length beyond the element", 44, {4, 0, 0, 0}, -1},
        {"prefixed length beyond its prefix", 44, {0, 1, 0, 0}, -1},
        {"by-reference length beyond the file", 55, {0, 0, 0, 0x40}, -1},
        {"kind out of range", 16, {99, 0, 0, 0}, -1},
        {"fixed kind narrower than its value", 12, {1, 0, 0, 0}, -1},
        {"column count zero", 0, {0, 0, 0, 0}, -1},
        {"row count beyond the index", 4, {9, 0, 0, 0}, -1},
        {"huge width", 20, {0, 0, 0, 0x7F}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Files f;
        fresh(f);
        if (c.cutTo >= 0) {
            fflush(f.data);
            ASSERT_EQ(0, ftruncate(fileno(f.data), c.cutTo));
        } else {
            Overwrite(f.data, c.at, c.bytes);
        }
        Owned back, run;
        EXPECT_EQ(0, dsc_IoCache(kDscRead, f.data, f.index, &back.ds, 0, 0));
        EXPECT_GE(0, dsc_ReadRun(f.data, f.index, &run.ds, 0, 0, nullptr, nullptr));
    }
    Files f;
    fresh(f);
    Overwrite(f.index, 4, {0xFF, 0xFF, 0, 0});  // row 1 offset beyond the data file
    Owned back, run;
    EXPECT_EQ(0, dsc_IoCache(kDscRead, f.data, f.index, &back.ds, 1, 1));
    EXPECT_GE(0, dsc_ReadRun(f.data, f.index, &run.ds, 1, 1, nullptr, nullptr));
    // An index cut short of the rows asked.
    Files g;
    fresh(g);
    fflush(g.index);
    ASSERT_EQ(0, ftruncate(fileno(g.index), 6));
    EXPECT_GE(0, dsc_ReadRun(g.data, g.index, &run.ds, 0, 2, nullptr, nullptr));
    EXPECT_EQ(1, dsc_ReadRun(g.data, g.index, &run.ds, 0, 1, nullptr, nullptr));
}

TEST(DscFileBadArguments, NullArgumentsFail) {
    Owned o;
    MakeColumns(&o.ds, {{DS_INTEGER, 4}}, 1);
    Files f;
    EXPECT_EQ(0, dsc_IoCache(kDscWrite, nullptr, f.index, &o.ds, 0, 0));
    EXPECT_EQ(0, dsc_IoCache(kDscWrite, f.data, nullptr, &o.ds, 0, 0));
    EXPECT_EQ(0, dsc_IoCache(kDscWrite, f.data, f.index, nullptr, 0, 0));
    EXPECT_EQ(0, dsc_IoCache(7, f.data, f.index, &o.ds, 0, 0));
    EXPECT_EQ(0, dsc_AppendRows(nullptr, f.index, &o.ds));
    EXPECT_EQ(0, dsc_IoCell(nullptr, &o.ds.cols[0], 0));
    DSC_Stream s{kDscWrite, f.data, 0};
    EXPECT_EQ(0, dsc_IoRows(&s, &o.ds, 0, 2, f.index, 0));  // more rows than the Dataset has
}

}  // namespace
