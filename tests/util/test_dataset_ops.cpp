// Row and column operations on datasets: cell bytes, inserted, copied, moved and compared rows,
// clones, and failures half-way that never leave a cell owning what it does not.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "util/dataset.h"
#include "util/trymem.h"
#include "util/utf.h"

namespace {

struct DsDeleter {
    void operator()(Dataset* d) const { DatasetDelete(d); }
};
using DsPtr = std::unique_ptr<Dataset, DsDeleter>;

struct FailGuard {
    ~FailGuard() { TryMemFailAfter(-1); }
};

struct ColSpec {
    uint32_t kind;
    uint32_t length;
};

Dataset* Make(std::vector<ColSpec> cols, uint32_t rows) {
    auto* d = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    EXPECT_EQ(DatasetInit(d, static_cast<uint16_t>(cols.size())), DS_OK);
    for (size_t i = 0; i < cols.size(); ++i) {
        d->cols[i].kind = cols[i].kind;
        d->cols[i].width = DatasetWidth(cols[i].kind, cols[i].length);
    }
    d->col_count = static_cast<uint16_t>(cols.size());
    EXPECT_EQ(DatasetAllocRows(d, rows), DS_OK);
    return d;
}

void PutInt(Dataset* d, uint32_t row, uint16_t col, int32_t v) {
    std::memcpy(DatasetCell(&d->cols[col], row), &v, 4);
    d->cols[col].indicators[row] = DS_IND_VALUE;
}
int32_t GetInt(const Dataset* d, uint32_t row, uint16_t col) {
    int32_t v;
    std::memcpy(&v, DatasetCell(&d->cols[col], row), 4);
    return v;
}
void PutNts(Dataset* d, uint32_t row, uint16_t col, const char* s) {
    std::memcpy(DatasetCell(&d->cols[col], row), s, std::strlen(s) + 1);
    d->cols[col].indicators[row] = DS_IND_VALUE;
}
void PutRef(Dataset* d, uint32_t row, uint16_t col, const std::string& s) {
    ASSERT_EQ(DatasetSetRef(d, row, col, s.data(), static_cast<uint32_t>(s.size())), DS_OK);
}
void PutWideNts(Dataset* d, uint32_t row, uint16_t col, const std::u16string& s) {
    std::memcpy(DatasetCell(&d->cols[col], row), s.c_str(), 2 * (s.size() + 1));
    d->cols[col].indicators[row] = DS_IND_VALUE;
}
void PutPrefixed4(Dataset* d, uint32_t row, uint16_t col, const void* bytes, uint32_t count, size_t unit) {
    uint8_t* cell = DatasetCell(&d->cols[col], row);
    std::memcpy(cell, &count, 4);
    std::memcpy(cell + 4, bytes, count * unit);
    d->cols[col].indicators[row] = DS_IND_VALUE;
}
std::string RefText(const Dataset* d, uint32_t row, uint16_t col) {
    DsRef r = DatasetRefGet(DatasetCell(&d->cols[col], row));
    if (!r.ptr) return "<null>";
    return std::string(static_cast<const char*>(r.ptr), DatasetRefBytes(d->cols[col].kind, r.length));
}
std::string Value(const Dataset* d, uint32_t row, uint16_t col) {
    char buf[512];
    uint32_t len = sizeof buf;
    EXPECT_EQ(DatasetGetValue(d, row, col, buf, &len), DS_OK);
    return std::string(buf, len);
}

// A dataset of rows (i, "text i", ref "ref i") for i in 0..n-1.
Dataset* Sample(uint32_t rowsAlloc, uint32_t n) {
    Dataset* d = Make({{DS_INTEGER, 0}, {DS_CHAR_NTS, 10}, {DS_CHAR_REF, 0}}, rowsAlloc);
    for (uint32_t i = 0; i < n; ++i) {
        PutInt(d, i, 0, static_cast<int32_t>(i));
        PutNts(d, i, 1, ("text " + std::to_string(i)).c_str());
        PutRef(d, i, 2, "ref " + std::to_string(i));
    }
    d->rows_used = n;
    return d;
}

// ---------------------------------------------------------------------------

TEST(DatasetCellBytes, PrefixesAndTerminatorsNeverReachPastTheCell) {
    const struct {
        uint32_t kind;
        uint32_t width;
        std::vector<uint8_t> cell;
        size_t offset;
        size_t size;
    } cases[] = {
        {DS_CHAR, 4, {'a', 'b', 0, 0}, 0, 4},
        {DS_INTEGER, 4, {1, 0, 0, 0}, 0, 4},
        {DS_CHAR_NTS, 6, {'a', 'b', 'c', 0, 'x', 'x'}, 0, 3},
        {DS_CHAR_NTS, 6, {'a', 'b', 'c', 'd', 'e', 'f'}, 0, 6},
        {DS_WCHAR_NTS, 7, {'a', 0, 'b', 0, 0, 0, 'x'}, 0, 4},
        {DS_WCHAR_NTS, 7, {'a', 0, 'b', 0, 'c', 0, 'x'}, 0, 6},
        {DS_CHAR_LEN1, 5, {3, 'a', 'b', 'c', 'x'}, 1, 3},
        {DS_CHAR_LEN1, 3, {200, 'a', 'b'}, 1, 2},
        {DS_BINARY_LEN2, 6, {4, 0, 1, 2, 3, 4}, 2, 4},
        {DS_CHAR_LEN2, 6, {9, 0, 'a', 'b', 'c', 'd'}, 2, 4},
        {DS_CHAR_LEN4, 6, {1, 0, 0, 0, 'a', 'b'}, 4, 1},
        {DS_CHAR_LEN4, 6, {0, 1, 0, 0, 'a', 'b'}, 4, 2},
        {DS_CHAR_LEN4, 2, {5, 0}, 0, 0},
        {DS_WCHAR_LEN4, 12, {3, 0, 0, 0, 'a', 0, 'b', 0, 'c', 0, 0, 0}, 4, 6},
        {DS_WCHAR_LEN4, 9, {3, 0, 0, 0, 'a', 0, 'b', 0, 'c'}, 4, 4},
        {DS_WCHAR_LEN4, 3, {3, 0, 0}, 0, 0},
        {DS_CHAR_REF, 8, {0, 0, 0, 0, 0, 0, 0, 0}, 0, 0},  // narrower than a reference
    };
    for (const auto& c : cases) {
        DatasetColumn col{};
        col.kind = c.kind;
        col.width = c.width;
        ASSERT_EQ(c.cell.size(), c.width);
        const DsBytes v = DatasetCellBytes(&col, c.cell.data());
        EXPECT_EQ(v.bytes, c.cell.data() + c.offset) << c.kind << "/" << c.width;
        EXPECT_EQ(v.size, c.size) << c.kind << "/" << c.width;
    }
}

TEST(DatasetCellBytes, ReferencesPointAtTheirBuffer) {
    DsPtr d(Make({{DS_CHAR_REF, 0}, {DS_WCHAR_REF, 0}}, 2));
    d->rows_used = 2;
    PutRef(d.get(), 0, 0, "abc");
    const char16_t w[] = u"xyz";
    ASSERT_EQ(DatasetSetRef(d.get(), 0, 1, w, 3), DS_OK);
    const uint8_t* cell = DatasetCell(&d->cols[0], 0);
    DsBytes v = DatasetCellBytes(&d->cols[0], cell);
    EXPECT_EQ(v.bytes, DatasetRefGet(cell).ptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(v.bytes), v.size), "abc");
    cell = DatasetCell(&d->cols[1], 0);
    v = DatasetCellBytes(&d->cols[1], cell);
    EXPECT_EQ(v.size, 6u);
    EXPECT_EQ(std::memcmp(v.bytes, w, 6), 0);
    // A reference without a buffer is empty, at the cell.
    cell = DatasetCell(&d->cols[0], 1);
    v = DatasetCellBytes(&d->cols[0], cell);
    EXPECT_EQ(v.bytes, cell);
    EXPECT_EQ(v.size, 0u);
}

TEST(DatasetInsertRow, RefusesFullDatasetBadIndexAndNoColumns) {
    DsPtr d(Sample(3, 3));
    EXPECT_EQ(DatasetInsertRow(d.get(), 0), DS_EINVAL);  // rows used == rows allocated
    d->rows_used = 2;
    EXPECT_EQ(DatasetInsertRow(d.get(), 3), DS_EINVAL);  // beyond rows used
    EXPECT_EQ(DatasetInsertRow(nullptr, 0), DS_EINVAL);
    DsPtr e(Make({}, 0));
    EXPECT_EQ(DatasetInsertRow(e.get(), 0), DS_EINVAL);
}

TEST(DatasetInsertRow, AtRowsUsedAppendsNullRow) {
    DsPtr d(Sample(4, 2));
    ASSERT_EQ(DatasetInsertRow(d.get(), 2), DS_OK);
    EXPECT_EQ(d->rows_used, 3u);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(d->cols[c].indicators[2], DS_IND_NULL);
    EXPECT_EQ(GetInt(d.get(), 1, 0), 1);
    EXPECT_EQ(RefText(d.get(), 1, 2), "ref 1");
}

TEST(DatasetInsertRow, InMiddleMovesLaterRowsWithTheirBuffers) {
    DsPtr d(Sample(5, 3));
    ASSERT_EQ(DatasetInsertRow(d.get(), 1), DS_OK);
    EXPECT_EQ(d->rows_used, 4u);
    EXPECT_EQ(GetInt(d.get(), 0, 0), 0);
    EXPECT_EQ(d->cols[0].indicators[1], DS_IND_NULL);
    EXPECT_EQ(GetInt(d.get(), 1, 0), 0);  // zero-filled
    EXPECT_EQ(GetInt(d.get(), 2, 0), 1);
    EXPECT_EQ(GetInt(d.get(), 3, 0), 2);
    EXPECT_EQ(Value(d.get(), 3, 1), "text 2");
    EXPECT_EQ(RefText(d.get(), 1, 2), "<null>");
    EXPECT_EQ(RefText(d.get(), 2, 2), "ref 1");
    EXPECT_EQ(RefText(d.get(), 3, 2), "ref 2");
}

// ---------------------------------------------------------------------------

TEST(DatasetRowsEqual, ComparesValuesNotIndicators) {
    DsPtr a(Sample(3, 3));
    DsPtr b(Sample(3, 3));
    int eq = -1;
    ASSERT_EQ(DatasetRowsEqual(a.get(), 1, b.get(), 1, &eq), DS_OK);
    EXPECT_EQ(eq, 1);
    b->cols[2].indicators[1] = DS_IND_NOT_FETCHED;
    ASSERT_EQ(DatasetRowsEqual(a.get(), 1, b.get(), 1, &eq), DS_OK);
    EXPECT_EQ(eq, 1);
    ASSERT_EQ(DatasetRowsEqual(a.get(), 1, b.get(), 2, &eq), DS_OK);
    EXPECT_EQ(eq, 0);
    // Same length, different referenced bytes.
    PutRef(b.get(), 0, 2, "ref X");
    ASSERT_EQ(DatasetRowsEqual(a.get(), 0, b.get(), 0, &eq), DS_OK);
    EXPECT_EQ(eq, 0);
}

TEST(DatasetRowsEqual, ShapeAndRangeMismatchesAreInvalid) {
    DsPtr a(Sample(3, 3));
    DsPtr b(Sample(3, 3));
    int eq = 7;
    EXPECT_EQ(DatasetRowsEqual(a.get(), 3, b.get(), 0, &eq), DS_EINVAL);
    EXPECT_EQ(DatasetRowsEqual(a.get(), 0, b.get(), 0, nullptr), DS_EINVAL);
    b->cols[1].width += 1;
    EXPECT_EQ(DatasetRowsEqual(a.get(), 0, b.get(), 0, &eq), DS_EINVAL);
    b->cols[1].width -= 1;
    b->cols[0].kind = DS_UINTEGER;
    EXPECT_EQ(DatasetRowsEqual(a.get(), 0, b.get(), 0, &eq), DS_EINVAL);
    DsPtr c(Make({{DS_INTEGER, 0}}, 3));
    c->rows_used = 1;
    EXPECT_EQ(DatasetRowsEqual(a.get(), 0, c.get(), 0, &eq), DS_EINVAL);
    EXPECT_EQ(eq, 7);
}

// ---------------------------------------------------------------------------

TEST(DatasetClone, DeepCopiesEveryReference) {
    DsPtr src(Sample(8, 3));
    src->cols[2].indicators[1] = DS_IND_NULL;  // a NULL cell keeps its buffer: still copied
    Dataset* raw = nullptr;
    ASSERT_EQ(DatasetClone(&raw, src.get()), DS_OK);
    DsPtr cl(raw);
    EXPECT_EQ(cl->rows_alloc, 3u);
    EXPECT_EQ(cl->rows_used, 3u);
    EXPECT_EQ(cl->col_count, 3);
    for (uint32_t r = 0; r < 3; ++r) {
        int eq = 0;
        ASSERT_EQ(DatasetRowsEqual(src.get(), r, cl.get(), r, &eq), DS_OK);
        EXPECT_EQ(eq, 1) << r;
        EXPECT_NE(DatasetRefGet(DatasetCell(&cl->cols[2], r)).ptr, DatasetRefGet(DatasetCell(&src->cols[2], r)).ptr);
    }
    src.reset();  // the clone must not share a buffer with it (ASan would see a double free)
    EXPECT_EQ(RefText(cl.get(), 2, 2), "ref 2");
}

TEST(DatasetClone, EmptySourceGivesCapacityOnly) {
    DsPtr src(Make({{DS_INTEGER, 0}, {DS_CHAR_REF, 0}}, 5));
    Dataset* raw = nullptr;
    ASSERT_EQ(DatasetClone(&raw, src.get()), DS_OK);
    DsPtr cl(raw);
    EXPECT_EQ(cl->cols_alloc, 2);
    EXPECT_EQ(cl->col_count, 0);
    EXPECT_EQ(cl->rows_alloc, 0u);
    EXPECT_EQ(DatasetClone(nullptr, src.get()), DS_EINVAL);
}

TEST(DatasetClone, FailureAtEveryAllocationNeverFreesTheSourcesBuffers) {
    DsPtr src(Sample(4, 4));
    FailGuard g;
    for (long fail = 0; fail < 20; ++fail) {
        Dataset* raw = nullptr;
        TryMemFailAfter(fail);
        int rc = DatasetClone(&raw, src.get());
        TryMemFailAfter(-1);
        if (rc == DS_OK) {
            DatasetDelete(raw);
            break;
        }
        EXPECT_EQ(rc, DS_ENOMEM);
        EXPECT_EQ(raw, nullptr);
        // The source is intact and still owns its buffers.
        for (uint32_t r = 0; r < 4; ++r) EXPECT_EQ(RefText(src.get(), r, 2), "ref " + std::to_string(r));
    }
}

// ---------------------------------------------------------------------------

TEST(DatasetCopyRow, PastRowsUsedAppendsAtRowsUsed) {
    DsPtr src(Sample(3, 3));
    DsPtr dst(Sample(20, 3));
    ASSERT_EQ(DatasetCopyRow(dst.get(), src.get(), 10, 2, 0), DS_OK);
    EXPECT_EQ(dst->rows_used, 4u);
    EXPECT_EQ(GetInt(dst.get(), 3, 0), 2);
    EXPECT_EQ(RefText(dst.get(), 3, 2), "ref 2");
    EXPECT_EQ(RefText(src.get(), 2, 2), "ref 2");  // copied, not moved
    EXPECT_EQ(DatasetCopyRow(dst.get(), src.get(), 20, 0, 0), DS_EINVAL);
    EXPECT_EQ(dst->rows_used, 4u);
}

TEST(DatasetCopyRow, MoveHandsTheBufferOver) {
    DsPtr src(Sample(3, 3));
    DsPtr dst(Sample(3, 3));
    void* p = DatasetRefGet(DatasetCell(&src->cols[2], 1)).ptr;
    ASSERT_EQ(DatasetCopyRow(dst.get(), src.get(), 0, 1, 1), DS_OK);  // frees dst's "ref 0"
    EXPECT_EQ(DatasetRefGet(DatasetCell(&dst->cols[2], 0)).ptr, p);
    EXPECT_EQ(DatasetRefGet(DatasetCell(&src->cols[2], 1)).ptr, nullptr);
    EXPECT_EQ(src->cols[2].indicators[1], DS_IND_VALUE);  // indicators stay
    EXPECT_EQ(Value(dst.get(), 0, 1), "text 1");
}

TEST(DatasetCopyRow, NullSourceCellClearsTheDestination) {
    DsPtr src(Make({{DS_CHAR_REF, 0}}, 2));
    src->rows_used = 2;
    DsPtr dst(Sample(3, 3));
    DsPtr dst1(Make({{DS_CHAR_REF, 0}}, 2));
    PutRef(dst1.get(), 0, 0, "old");
    dst1->rows_used = 1;
    ASSERT_EQ(DatasetCopyRow(dst1.get(), src.get(), 0, 1, 0), DS_OK);
    EXPECT_EQ(dst1->cols[0].indicators[0], DS_IND_NULL);
    EXPECT_EQ(RefText(dst1.get(), 0, 0), "<null>");
}

TEST(DatasetCopyRow, ShapeMismatchChangesNothing) {
    DsPtr src(Sample(3, 3));
    DsPtr dst(Sample(5, 3));
    dst->cols[2].kind = DS_BINARY_REF;
    EXPECT_EQ(DatasetCopyRow(dst.get(), src.get(), 0, 1, 0), DS_EINVAL);
    EXPECT_EQ(GetInt(dst.get(), 0, 0), 0);
    EXPECT_EQ(dst->rows_used, 3u);
    DsPtr narrow(Make({{DS_INTEGER, 0}}, 3));
    EXPECT_EQ(DatasetCopyRow(narrow.get(), src.get(), 0, 0, 0), DS_EINVAL);
    EXPECT_EQ(DatasetCopyRow(dst.get(), src.get(), 0, 3, 0), DS_EINVAL);
    DsPtr empty(Make({{DS_INTEGER, 0}, {DS_CHAR_NTS, 10}, {DS_CHAR_REF, 0}}, 3));
    EXPECT_EQ(DatasetCopyRow(dst.get(), empty.get(), 0, 0, 0), DS_EINVAL);
}

TEST(DatasetCopyRow, FailedCopyLeavesNoSharedBuffer) {
    DsPtr src(Make({{DS_CHAR_REF, 0}, {DS_BINARY_REF, 0}, {DS_WCHAR_REF, 0}}, 1));
    PutRef(src.get(), 0, 0, "alpha");
    PutRef(src.get(), 0, 1, "beta");
    const char16_t w[] = u"gamma";
    ASSERT_EQ(DatasetSetRef(src.get(), 0, 2, w, 5), DS_OK);
    src->rows_used = 1;
    FailGuard g;
    for (long fail = 0; fail < 3; ++fail) {
        for (int append = 0; append < 2; ++append) {
            DsPtr dst(Make({{DS_CHAR_REF, 0}, {DS_BINARY_REF, 0}, {DS_WCHAR_REF, 0}}, 2));
            PutRef(dst.get(), 0, 0, "x");
            dst->rows_used = 1;
            TryMemFailAfter(fail);
            EXPECT_EQ(DatasetCopyRow(dst.get(), src.get(), append ? 1 : 0, 0, 0), DS_ENOMEM);
            TryMemFailAfter(-1);
            EXPECT_EQ(dst->rows_used, 1u);
            // dst is freed at scope end: a pointer into src would be freed twice.
        }
    }
    EXPECT_EQ(RefText(src.get(), 0, 1), "beta");
}

// ---------------------------------------------------------------------------

TEST(DatasetAppendRows, TakesOverBuffersAndGrows) {
    DsPtr dst(Sample(5, 2));
    DsPtr src(Sample(3, 3));
    ASSERT_EQ(DatasetAppendRows(dst.get(), src.get()), DS_OK);
    EXPECT_EQ(dst->rows_used, 5u);
    EXPECT_EQ(dst->rows_alloc, 5u);
    EXPECT_EQ(GetInt(dst.get(), 1, 0), 1);
    EXPECT_EQ(GetInt(dst.get(), 4, 0), 2);
    EXPECT_EQ(RefText(dst.get(), 1, 2), "ref 1");
    EXPECT_EQ(RefText(dst.get(), 4, 2), "ref 2");
    EXPECT_EQ(Value(dst.get(), 3, 1), "text 1");
    // The source keeps rows and indicators but no buffers.
    EXPECT_EQ(src->rows_used, 3u);
    EXPECT_EQ(src->cols[2].indicators[0], DS_IND_VALUE);
    for (uint32_t r = 0; r < 3; ++r) EXPECT_EQ(DatasetRefGet(DatasetCell(&src->cols[2], r)).ptr, nullptr);
}

TEST(DatasetAppendRows, EmptySourceIsNoOpAndMismatchIsRefused) {
    DsPtr dst(Sample(5, 2));
    DsPtr empty(Make({{DS_INTEGER, 0}}, 0));
    EXPECT_EQ(DatasetAppendRows(dst.get(), empty.get()), DS_OK);
    DsPtr other(Make({{DS_INTEGER, 0}}, 2));
    other->rows_used = 1;
    EXPECT_EQ(DatasetAppendRows(dst.get(), other.get()), DS_EINVAL);
    EXPECT_EQ(DatasetAppendRows(dst.get(), dst.get()), DS_EINVAL);
    EXPECT_EQ(dst->rows_used, 2u);
}

TEST(DatasetAppendRows, OneRowAtATimeKeepsEveryRowAndSpareRoomIsReused) {
    DsPtr dst(Sample(1, 0));
    for (uint32_t i = 0; i < 200; ++i) {
        DsPtr one(Make({{DS_INTEGER, 0}, {DS_CHAR_NTS, 10}, {DS_CHAR_REF, 0}}, 1));
        PutInt(one.get(), 0, 0, int32_t(i));
        PutNts(one.get(), 0, 1, "t");
        PutRef(one.get(), 0, 2, "ref " + std::to_string(i));
        one->rows_used = 1;
        ASSERT_EQ(DatasetAppendRows(dst.get(), one.get()), DS_OK);
    }
    ASSERT_EQ(dst->rows_used, 200u);
    EXPECT_GE(dst->rows_alloc, 200u);
    for (uint32_t i = 0; i < 200; ++i) {
        EXPECT_EQ(GetInt(dst.get(), i, 0), int32_t(i));
        EXPECT_EQ(RefText(dst.get(), i, 2), "ref " + std::to_string(i));
    }
    // A cell past the rows in use that still owns a buffer gives it up when a row lands on it.
    DsPtr room(Sample(4, 3));
    room->rows_used = 1;
    DsPtr src(Sample(2, 2));
    ASSERT_EQ(DatasetAppendRows(room.get(), src.get()), DS_OK);
    EXPECT_EQ(room->rows_used, 3u);
    EXPECT_EQ(room->rows_alloc, 4u);
    EXPECT_EQ(RefText(room.get(), 0, 2), "ref 0");
    EXPECT_EQ(RefText(room.get(), 2, 2), "ref 1");
}

TEST(DatasetAppendRows, FailureLeavesBothDatasetsWhole) {
    FailGuard g;
    for (long fail = 0; fail < 16; ++fail) {
        DsPtr dst(Sample(5, 2));
        DsPtr src(Sample(3, 3));
        TryMemFailAfter(fail);
        int rc = DatasetAppendRows(dst.get(), src.get());
        TryMemFailAfter(-1);
        if (rc == DS_OK) break;
        EXPECT_EQ(rc, DS_ENOMEM);
        EXPECT_EQ(dst->rows_used, 2u);
        EXPECT_EQ(dst->rows_alloc, 5u);
        EXPECT_EQ(RefText(dst.get(), 1, 2), "ref 1");
        EXPECT_EQ(RefText(src.get(), 2, 2), "ref 2");
        // dst can still take rows up to its old allocation.
        ASSERT_EQ(DatasetCopyRow(dst.get(), src.get(), 4, 0, 0), DS_OK);
    }
}

// ---------------------------------------------------------------------------

TEST(DatasetJoinColumns, PutsBsColumnsFirstAndEmptiesB) {
    DsPtr a(Sample(3, 3));
    DsPtr b(Make({{DS_DOUBLE, 0}, {DS_CHAR_REF, 0}}, 3));
    for (uint32_t r = 0; r < 3; ++r) {
        double v = r + 0.5;
        std::memcpy(DatasetCell(&b->cols[0], r), &v, 8);
        b->cols[0].indicators[r] = 0;
        PutRef(b.get(), r, 1, "b" + std::to_string(r));
    }
    b->rows_used = 3;
    ASSERT_EQ(DatasetJoinColumns(a.get(), b.get()), DS_OK);
    EXPECT_EQ(a->col_count, 5);
    EXPECT_EQ(a->cols_alloc, 5);
    EXPECT_EQ(a->cols[0].kind, DS_DOUBLE);
    EXPECT_EQ(a->cols[2].kind, DS_INTEGER);
    EXPECT_EQ(RefText(a.get(), 2, 1), "b2");
    EXPECT_EQ(RefText(a.get(), 2, 4), "ref 2");
    EXPECT_EQ(b->col_count, 2);
    EXPECT_EQ(b->cols[1].data, nullptr);
}

TEST(DatasetJoinColumns, RowCountsMustAgree) {
    DsPtr a(Sample(3, 3));
    DsPtr b(Sample(3, 2));
    EXPECT_EQ(DatasetJoinColumns(a.get(), b.get()), DS_EINVAL);
    EXPECT_EQ(DatasetJoinColumns(a.get(), a.get()), DS_EINVAL);
    EXPECT_EQ(DatasetJoinColumns(nullptr, b.get()), DS_EINVAL);
    EXPECT_EQ(a->col_count, 3);
}

// ---------------------------------------------------------------------------

TEST(DatasetCreateLike, BuildsNewAndRebuildsExisting) {
    DsPtr model(Sample(3, 3));
    Dataset* raw = nullptr;
    ASSERT_EQ(DatasetCreateLike(&raw, model.get(), 7), DS_OK);
    DsPtr like(raw);
    EXPECT_EQ(like->col_count, 3);
    EXPECT_EQ(like->rows_alloc, 7u);
    EXPECT_EQ(like->rows_used, 0u);
    EXPECT_EQ(like->cols[1].width, model->cols[1].width);
    EXPECT_EQ(like->cols[2].indicators[6], DS_IND_NULL);
    // Reuse: the old contents are released.
    Dataset* again = like.get();
    ASSERT_EQ(DatasetCopyRow(again, model.get(), 0, 0, 0), DS_OK);
    ASSERT_EQ(DatasetCreateLike(&again, model.get(), 2), DS_OK);
    EXPECT_EQ(again, like.get());
    EXPECT_EQ(like->rows_alloc, 2u);
    EXPECT_EQ(like->rows_used, 0u);
    EXPECT_EQ(DatasetCreateLike(nullptr, model.get(), 2), DS_EINVAL);
    Dataset* self = model.get();
    EXPECT_EQ(DatasetCreateLike(&self, model.get(), 2), DS_EINVAL);
}

TEST(DatasetCreateLike, FailureReleasesWhatItBuilt) {
    DsPtr model(Sample(3, 3));
    FailGuard g;
    for (long fail = 0; fail < 16; ++fail) {
        Dataset* raw = nullptr;
        TryMemFailAfter(fail);
        int rc = DatasetCreateLike(&raw, model.get(), 4);
        TryMemFailAfter(-1);
        if (rc == DS_OK) {
            DatasetDelete(raw);
            break;
        }
        EXPECT_EQ(rc, DS_ENOMEM);
        EXPECT_EQ(raw, nullptr);
    }
}

// ---------------------------------------------------------------------------

TEST(DatasetReverseRows, ReversesAndCopiesBuffers) {
    Dataset* d = Sample(4, 3);
    ASSERT_EQ(DatasetReverseRows(&d), DS_OK);
    DsPtr holder(d);
    EXPECT_EQ(d->rows_used, 3u);
    EXPECT_EQ(d->rows_alloc, 4u);
    for (uint32_t r = 0; r < 3; ++r) {
        EXPECT_EQ(GetInt(d, r, 0), static_cast<int32_t>(2 - r));
        EXPECT_EQ(RefText(d, r, 2), "ref " + std::to_string(2 - r));
    }
    Dataset* e = Make({{DS_INTEGER, 0}}, 0);
    ASSERT_EQ(DatasetReverseRows(&e), DS_OK);
    EXPECT_EQ(e->rows_used, 0u);
    DatasetDelete(e);
    EXPECT_EQ(DatasetReverseRows(nullptr), DS_EINVAL);
}

TEST(DatasetReverseRows, FailureKeepsTheOldDataset) {
    FailGuard g;
    for (long fail = 0; fail < 20; ++fail) {
        Dataset* d = Sample(3, 3);
        Dataset* before = d;
        TryMemFailAfter(fail);
        int rc = DatasetReverseRows(&d);
        TryMemFailAfter(-1);
        DsPtr holder(d);
        if (rc == DS_OK) break;
        EXPECT_EQ(rc, DS_ENOMEM);
        EXPECT_EQ(d, before);
        EXPECT_EQ(RefText(d, 0, 2), "ref 0");
    }
}

// ---------------------------------------------------------------------------

TEST(DatasetRemoveColumn, LastAndFirst) {
    DsPtr d(Sample(3, 3));
    ASSERT_EQ(DatasetRemoveColumn(d.get(), 2), DS_OK);
    EXPECT_EQ(d->col_count, 2);
    EXPECT_EQ(d->cols_alloc, 3);
    EXPECT_EQ(d->cols[2].data, nullptr);
    DsPtr e(Sample(3, 3));
    ASSERT_EQ(DatasetRemoveColumn(e.get(), 0), DS_OK);
    EXPECT_EQ(e->col_count, 2);
    EXPECT_EQ(e->cols[0].kind, DS_CHAR_NTS);
    EXPECT_EQ(e->cols[1].kind, DS_CHAR_REF);
    EXPECT_EQ(RefText(e.get(), 1, 1), "ref 1");
    EXPECT_EQ(DatasetRemoveColumn(e.get(), 2), DS_EINVAL);
}

TEST(DatasetColumnType, ReportsKindAndWidth) {
    DsPtr d(Sample(3, 3));
    uint32_t k = 0, w = 0;
    ASSERT_EQ(DatasetColumnType(d.get(), 1, &k, &w), DS_OK);
    EXPECT_EQ(k, DS_CHAR_NTS);
    EXPECT_EQ(w, 11u);
    EXPECT_EQ(DatasetColumnType(d.get(), 3, &k, &w), DS_EINVAL);
    EXPECT_EQ(DatasetColumnType(d.get(), 0, nullptr, &w), DS_EINVAL);
}

TEST(DatasetInsertColumn, EmptyColumnAtIndexWritableToRowsAllocated) {
    DsPtr d(Sample(6, 3));
    ASSERT_EQ(DatasetInsertColumn(d.get(), 1, DS_SMALLINT, 2), DS_OK);
    EXPECT_EQ(d->col_count, 4);
    EXPECT_EQ(d->cols_alloc, 4);
    EXPECT_EQ(d->cols[1].kind, DS_SMALLINT);
    EXPECT_EQ(d->cols[2].kind, DS_CHAR_NTS);
    for (uint32_t r = 0; r < 6; ++r) EXPECT_EQ(d->cols[1].indicators[r], DS_IND_NULL);
    // A row can be appended across all columns (the new one holds rows allocated rows).
    DsPtr src(Make({{DS_INTEGER, 0}, {DS_SMALLINT, 0}, {DS_CHAR_NTS, 10}, {DS_CHAR_REF, 0}}, 1));
    src->rows_used = 1;
    for (int i = 0; i < 3; ++i) ASSERT_EQ(DatasetCopyRow(d.get(), src.get(), 5, 0, 0), DS_OK);
    EXPECT_EQ(d->rows_used, 6u);
    EXPECT_EQ(DatasetInsertColumn(d.get(), 5, DS_INTEGER, 4), DS_EINVAL);
}

TEST(DatasetInsertColumn, FailureChangesNothing) {
    FailGuard g;
    for (long fail = 0; fail < 3; ++fail) {
        DsPtr d(Sample(4, 2));
        TryMemFailAfter(fail);
        EXPECT_EQ(DatasetInsertColumn(d.get(), 0, DS_INTEGER, 4), DS_ENOMEM);
        TryMemFailAfter(-1);
        EXPECT_EQ(d->col_count, 3);
        EXPECT_EQ(d->cols[0].kind, DS_INTEGER);
        EXPECT_EQ(RefText(d.get(), 1, 2), "ref 1");
    }
}

// ---------------------------------------------------------------------------

TEST(DatasetCopyColumn, DeepCopyBetweenDatasets) {
    DsPtr src(Sample(3, 3));
    DsPtr dst(Sample(3, 3));
    PutRef(src.get(), 0, 2, "changed");
    ASSERT_EQ(DatasetCopyColumn(dst.get(), src.get(), 2, 2), DS_OK);
    EXPECT_EQ(RefText(dst.get(), 0, 2), "changed");
    src.reset();
    EXPECT_EQ(RefText(dst.get(), 2, 2), "ref 2");
}

TEST(DatasetCopyColumn, IntoEmptyDestinationTakesTheSourceRows) {
    DsPtr src(Sample(5, 3));
    DsPtr dst(Make({{DS_CHAR_REF, 0}, {DS_INTEGER, 0}}, 0));
    ASSERT_EQ(DatasetCopyColumn(dst.get(), src.get(), 0, 2), DS_OK);
    ASSERT_EQ(DatasetCopyColumn(dst.get(), src.get(), 1, 0), DS_OK);
    EXPECT_EQ(dst->rows_used, 3u);
    EXPECT_EQ(dst->rows_alloc, 3u);
    EXPECT_EQ(RefText(dst.get(), 2, 0), "ref 2");
    EXPECT_EQ(GetInt(dst.get(), 2, 1), 2);
}

TEST(DatasetCopyColumn, RefusesSameColumnRowMismatchAndShapeMismatch) {
    DsPtr d(Sample(3, 3));
    EXPECT_EQ(DatasetCopyColumn(d.get(), d.get(), 1, 1), DS_EINVAL);
    EXPECT_EQ(DatasetCopyColumn(d.get(), d.get(), 1, 2), DS_EINVAL);  // kinds differ
    DsPtr e(Sample(3, 2));
    EXPECT_EQ(DatasetCopyColumn(d.get(), e.get(), 0, 0), DS_EINVAL);  // rows used differ
    EXPECT_EQ(DatasetCopyColumn(d.get(), e.get(), 3, 0), DS_EINVAL);
    DsPtr empty(Sample(3, 0));
    EXPECT_EQ(DatasetCopyColumn(d.get(), empty.get(), 0, 0), DS_EINVAL);
    EXPECT_EQ(DatasetCopyColumn(empty.get(), e.get(), 0, 0), DS_OK);
    EXPECT_EQ(empty->rows_used, 2u);
}

TEST(DatasetCopyColumn, FailureLeavesDestinationWhole) {
    FailGuard g;
    DsPtr src(Sample(3, 3));
    for (long fail = 0; fail < 16; ++fail) {
        DsPtr dst(Make({{DS_CHAR_REF, 0}, {DS_INTEGER, 0}}, 4));
        TryMemFailAfter(fail);
        int rc = DatasetCopyColumn(dst.get(), src.get(), 0, 2);
        TryMemFailAfter(-1);
        if (rc == DS_OK) break;
        EXPECT_EQ(rc, DS_ENOMEM);
        EXPECT_EQ(dst->rows_used, 0u);
        EXPECT_EQ(dst->rows_alloc, 4u);
        EXPECT_NE(dst->cols[1].data, nullptr);
    }
}

// ---------------------------------------------------------------------------

TEST(DatasetWidenColumn, FixedTextBecomesCounted) {
    for (int measure = 0; measure < 2; ++measure) {
        DsPtr d(Make({{DS_CHAR, 6}}, 3));
        std::memcpy(DatasetCell(&d->cols[0], 0), "ab\0\0\0\0", 6);
        d->cols[0].indicators[0] = 0;
        std::memcpy(DatasetCell(&d->cols[0], 2), "abcdef", 6);
        d->cols[0].indicators[2] = 0;
        d->rows_used = 3;
        EXPECT_EQ(DatasetWidenColumn(d.get(), 0, 6, measure), DS_OK);  // fits: nothing
        EXPECT_EQ(d->cols[0].kind, DS_CHAR);
        ASSERT_EQ(DatasetWidenColumn(d.get(), 0, 10, measure), DS_OK);
        EXPECT_EQ(d->cols[0].kind, DS_CHAR_LEN4);
        EXPECT_EQ(d->cols[0].width, 16u);
        EXPECT_EQ(Value(d.get(), 0, 0), measure ? std::string("ab") : std::string("ab\0\0\0\0", 6));
        EXPECT_EQ(d->cols[0].indicators[1], DS_IND_NULL);
        uint32_t count = 99;
        std::memcpy(&count, DatasetCell(&d->cols[0], 1), 4);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(Value(d.get(), 2, 0), "abcdef");
    }
}

TEST(DatasetWidenColumn, BinaryAndWideFixedKinds) {
    DsPtr b(Make({{DS_BINARY, 3}}, 1));
    std::memcpy(DatasetCell(&b->cols[0], 0), "\0\1\2", 3);
    b->cols[0].indicators[0] = 0;
    b->rows_used = 1;
    ASSERT_EQ(DatasetWidenColumn(b.get(), 0, 8, 1), DS_OK);
    EXPECT_EQ(b->cols[0].kind, DS_BINARY_LEN4);
    EXPECT_EQ(Value(b.get(), 0, 0), std::string("\0\1\2", 3));

    DsPtr w(Make({{DS_WCHAR, 4}}, 1));
    const char16_t t[4] = {u'h', u'i', 0, 0};
    std::memcpy(DatasetCell(&w->cols[0], 0), t, 8);
    w->cols[0].indicators[0] = 0;
    w->rows_used = 1;
    EXPECT_EQ(DatasetWidenColumn(w.get(), 0, 2, 1), DS_OK);  // width 8 fits: nothing
    EXPECT_EQ(w->cols[0].kind, DS_WCHAR);
    ASSERT_EQ(DatasetWidenColumn(w.get(), 0, 10, 1), DS_OK);
    EXPECT_EQ(w->cols[0].kind, DS_WCHAR_LEN4);
    EXPECT_EQ(w->cols[0].width, 24u);
    EXPECT_EQ(Value(w.get(), 0, 0), std::string("h\0i\0", 4));
}

TEST(DatasetWidenColumn, WideFixedCellNeverOverrunsASmallNewCell) {
    // Two characters (width 4) widened to length 1: a 4-byte count leaves room for 2 bytes only.
    DsPtr w(Make({{DS_WCHAR, 2}}, 1));
    const char16_t t[2] = {u'x', u'y'};
    std::memcpy(DatasetCell(&w->cols[0], 0), t, 4);
    w->cols[0].indicators[0] = 0;
    w->rows_used = 1;
    ASSERT_EQ(DatasetWidenColumn(w.get(), 0, 1, 0), DS_OK);
    EXPECT_EQ(w->cols[0].width, 8u);
    EXPECT_EQ(Value(w.get(), 0, 0), std::string("x\0y\0", 4));
}

TEST(DatasetWidenColumn, PrefixedKindsKeepKindAndValues) {
    DsPtr d(Make({{DS_CHAR_NTS, 3}, {DS_CHAR_LEN2, 3}}, 2));
    PutNts(d.get(), 0, 0, "abc");
    uint8_t* cell = DatasetCell(&d->cols[1], 0);
    uint16_t n = 3;
    std::memcpy(cell, &n, 2);
    std::memcpy(cell + 2, "xyz", 3);
    d->cols[1].indicators[0] = 0;
    d->rows_used = 2;
    ASSERT_EQ(DatasetWidenColumn(d.get(), 0, 30, 0), DS_OK);
    ASSERT_EQ(DatasetWidenColumn(d.get(), 1, 30, 0), DS_OK);
    EXPECT_EQ(d->cols[0].kind, DS_CHAR_NTS);
    EXPECT_EQ(d->cols[0].width, 31u);
    EXPECT_EQ(d->cols[1].width, 32u);
    EXPECT_EQ(Value(d.get(), 0, 0), "abc");
    EXPECT_EQ(Value(d.get(), 0, 1), "xyz");
    EXPECT_EQ(d->cols[0].indicators[1], DS_IND_NULL);
}

TEST(DatasetWidenColumn, ReferenceCellsGetBuffersOfTheLength) {
    DsPtr d(Make({{DS_BINARY_REF, 0}, {DS_WCHAR_REF, 0}}, 2));
    PutRef(d.get(), 0, 0, "ab");
    d->rows_used = 1;
    ASSERT_EQ(DatasetWidenColumn(d.get(), 0, 100, 0), DS_OK);
    ASSERT_EQ(DatasetWidenColumn(d.get(), 1, 50, 0), DS_OK);
    for (uint32_t r = 0; r < 2; ++r) {
        DsRef ref = DatasetRefGet(DatasetCell(&d->cols[0], r));
        ASSERT_NE(ref.ptr, nullptr);
        static_cast<char*>(ref.ptr)[99] = 'z';  // the whole length is writable (ASan)
        DsRef w = DatasetRefGet(DatasetCell(&d->cols[1], r));
        ASSERT_NE(w.ptr, nullptr);
        static_cast<char*>(w.ptr)[99] = 'z';
    }
    EXPECT_EQ(RefText(d.get(), 0, 0), "ab");  // stored length unchanged
    EXPECT_EQ(DatasetWidenColumn(d.get(), 2, 10, 0), DS_EINVAL);
}

// ---------------------------------------------------------------------------

TEST(DatasetGetValue, EachKindYieldsItsOwnBytes) {
    DsPtr d(Make({{DS_CHAR_NTS, 8},
                  {DS_CHAR_LEN1, 8},
                  {DS_BINARY_LEN2, 8},
                  {DS_WCHAR_NTS, 4},
                  {DS_WCHAR_LEN4, 4},
                  {DS_WCHAR_REF, 0},
                  {DS_INTEGER, 0}},
                 2));
    PutNts(d.get(), 0, 0, "hello");
    uint8_t* c1 = DatasetCell(&d->cols[1], 0);
    c1[0] = 3;
    std::memcpy(c1 + 1, "abc", 3);
    d->cols[1].indicators[0] = 0;
    uint8_t* c2 = DatasetCell(&d->cols[2], 0);
    uint16_t two = 2;
    std::memcpy(c2, &two, 2);
    std::memcpy(c2 + 2, "\xff\x00", 2);
    d->cols[2].indicators[0] = 0;
    PutWideNts(d.get(), 0, 3, u"ab");
    const char16_t w[] = u"xyz";
    PutPrefixed4(d.get(), 0, 4, w, 3, 2);
    ASSERT_EQ(DatasetSetRef(d.get(), 0, 5, w, 2), DS_OK);
    PutInt(d.get(), 0, 6, 0x01020304);
    d->rows_used = 2;

    EXPECT_EQ(Value(d.get(), 0, 0), "hello");
    EXPECT_EQ(Value(d.get(), 0, 1), "abc");
    EXPECT_EQ(Value(d.get(), 0, 2), std::string("\xff\x00", 2));
    EXPECT_EQ(Value(d.get(), 0, 3), std::string("a\0b\0", 4));
    EXPECT_EQ(Value(d.get(), 0, 4), std::string("x\0y\0z\0", 6));
    EXPECT_EQ(Value(d.get(), 0, 5), std::string("x\0y\0", 4));
    EXPECT_EQ(Value(d.get(), 0, 6), std::string("\x04\x03\x02\x01", 4));
    for (uint16_t c = 0; c < 7; ++c) EXPECT_EQ(Value(d.get(), 1, c), "") << c;  // NULL cells
}

TEST(DatasetGetValue, ShortBufferZeroLengthAndBadArguments) {
    DsPtr d(Sample(2, 2));
    char buf[4] = {'#', '#', '#', '#'};
    uint32_t len = 3;
    ASSERT_EQ(DatasetGetValue(d.get(), 1, 1, buf, &len), DS_OK);
    EXPECT_EQ(len, 3u);
    EXPECT_EQ(std::string(buf, 4), "tex#");
    len = 0;
    ASSERT_EQ(DatasetGetValue(d.get(), 1, 1, buf, &len), DS_OK);
    EXPECT_EQ(len, 0u);
    len = 4;
    EXPECT_EQ(DatasetGetValue(d.get(), 2, 1, buf, &len), DS_EINVAL);
    EXPECT_EQ(DatasetGetValue(d.get(), 0, 3, buf, &len), DS_EINVAL);
    EXPECT_EQ(DatasetGetValue(d.get(), 0, 0, nullptr, &len), DS_EINVAL);
    EXPECT_EQ(DatasetGetValue(d.get(), 0, 0, buf, nullptr), DS_EINVAL);
}

TEST(DatasetGetValue, CorruptCellsAreNeverReadPastTheirWidth) {
    DsPtr d(Make({{DS_CHAR_NTS, 3}, {DS_CHAR_LEN1, 2}, {DS_WCHAR_LEN4, 1}, {DS_WCHAR_NTS, 1}}, 1));
    std::memset(DatasetCell(&d->cols[0], 0), 'x', 4);  // no terminator in the cell
    DatasetCell(&d->cols[1], 0)[0] = 200;              // prefix beyond the cell
    uint32_t big = 1000;
    std::memcpy(DatasetCell(&d->cols[2], 0), &big, 4);
    std::memset(DatasetCell(&d->cols[3], 0), 'y', 4);
    for (int c = 0; c < 4; ++c) d->cols[c].indicators[0] = 0;
    d->rows_used = 1;
    EXPECT_EQ(Value(d.get(), 0, 0), "xxxx");
    EXPECT_EQ(Value(d.get(), 0, 1).size(), 2u);
    EXPECT_EQ(Value(d.get(), 0, 2).size(), 4u);  // width 8: 4 bytes of count, 2 characters
    EXPECT_EQ(Value(d.get(), 0, 3).size(), 4u);
}

// ---------------------------------------------------------------------------

TEST(DatasetNarrowColumns, NulTerminatedWideWithNullRowsBetween) {
    DsPtr d(Make({{DS_WCHAR_NTS, 5}, {DS_INTEGER, 0}}, 4));
    PutWideNts(d.get(), 0, 0, u"one");
    PutWideNts(d.get(), 2, 0, u"three");
    d->rows_used = 4;
    ASSERT_EQ(DatasetNarrowColumns(d.get()), DS_OK);
    EXPECT_EQ(d->cols[0].kind, DS_CHAR_NTS);
    EXPECT_EQ(d->cols[0].width, 12u);
    EXPECT_EQ(Value(d.get(), 0, 0), "one");
    EXPECT_EQ(d->cols[0].indicators[1], DS_IND_NULL);
    EXPECT_EQ(Value(d.get(), 2, 0), "three");
    EXPECT_EQ(d->cols[0].indicators[3], DS_IND_NULL);
    EXPECT_EQ(d->cols[1].kind, DS_INTEGER);
}

TEST(DatasetNarrowColumns, EveryWideKindConverts) {
    DsPtr d(Make({{DS_WCHAR, 3}, {DS_WCHAR_REF, 0}, {DS_WCHAR_LEN4, 4}}, 1));
    const char16_t fixed[3] = {u'a', u'b', u'c'};  // full, not terminated
    std::memcpy(DatasetCell(&d->cols[0], 0), fixed, 6);
    d->cols[0].indicators[0] = 0;
    const char16_t w[] = u"Zürich";
    ASSERT_EQ(DatasetSetRef(d.get(), 0, 1, w, 6), DS_OK);
    PutPrefixed4(d.get(), 0, 2, u"wxyz", 4, 2);
    d->rows_used = 1;
    ASSERT_EQ(DatasetNarrowColumns(d.get()), DS_OK);
    EXPECT_EQ(d->cols[0].kind, DS_CHAR_NTS);
    EXPECT_EQ(d->cols[1].kind, DS_CHAR_REF);
    EXPECT_EQ(d->cols[2].kind, DS_CHAR_LEN4);
    EXPECT_EQ(d->cols[0].width, 6u);
    EXPECT_EQ(d->cols[2].width, 12u);
    EXPECT_EQ(Value(d.get(), 0, 0), "abc");
    EXPECT_EQ(Value(d.get(), 0, 1), "Zürich");  // stored length now counts UTF-8 bytes
    EXPECT_EQ(DatasetRefGet(DatasetCell(&d->cols[1], 0)).length, 7u);
    EXPECT_EQ(Value(d.get(), 0, 2), "wxyz");
}

TEST(DatasetNarrowColumns, TextLongerInUtf8GrowsTheCellInsteadOfOverrunningIt) {
    // Two CJK characters: 6 bytes of UTF-16 with terminator, 7 of UTF-8.
    DsPtr d(Make({{DS_WCHAR_NTS, 2}, {DS_WCHAR_LEN4, 2}}, 2));
    PutWideNts(d.get(), 1, 0, u"日本");
    PutPrefixed4(d.get(), 1, 1, u"日本", 2, 2);
    d->rows_used = 2;
    ASSERT_EQ(DatasetNarrowColumns(d.get()), DS_OK);
    EXPECT_GE(d->cols[0].width, 7u);
    EXPECT_EQ(d->cols[1].width % 4, 0u);
    EXPECT_GE(d->cols[1].width, 10u);
    EXPECT_EQ(Value(d.get(), 1, 0), "日本");
    EXPECT_EQ(Value(d.get(), 1, 1), "日本");
}

TEST(DatasetNarrowColumns, SurrogatePairsBecomeFourByteSequences) {
    DsPtr d(Make({{DS_WCHAR_NTS, 4}}, 1));
    PutWideNts(d.get(), 0, 0, u"a\U0001F600");
    d->rows_used = 1;
    ASSERT_EQ(DatasetNarrowColumns(d.get()), DS_OK);
    EXPECT_EQ(Value(d.get(), 0, 0), "a\xF0\x9F\x98\x80");
}

TEST(DatasetNarrowColumns, AgreesWithTheTextConversions) {
    const std::u16string samples[] = {u"plain", u"\u00e9t\u00e9", u"\U0001F600x",
                                      std::u16string(1, char16_t(0xD800)) + u"a",
                                      u"z" + std::u16string(1, char16_t(0xDC00))};
    for (const std::u16string& s : samples) {
        DsPtr d(Make({{DS_WCHAR_NTS, 8}}, 1));
        PutWideNts(d.get(), 0, 0, s);
        d->rows_used = 1;
        ASSERT_EQ(DatasetNarrowColumns(d.get()), DS_OK);
        char* expect = WideToUtf8Dup(reinterpret_cast<const SQLWCHAR*>(s.c_str()), static_cast<long>(s.size()));
        ASSERT_NE(expect, nullptr);
        EXPECT_EQ(Value(d.get(), 0, 0), std::string(expect));
        std::free(expect);
    }
}

TEST(DatasetNarrowColumns, FailureLeavesWideColumnIntact) {
    FailGuard g;
    for (long fail = 0; fail < 6; ++fail) {
        DsPtr d(Make({{DS_WCHAR_REF, 0}, {DS_WCHAR_NTS, 4}}, 2));
        ASSERT_EQ(DatasetSetRef(d.get(), 0, 0, u"ab", 2), DS_OK);
        ASSERT_EQ(DatasetSetRef(d.get(), 1, 0, u"cd", 2), DS_OK);
        PutWideNts(d.get(), 0, 1, u"ef");
        d->rows_used = 2;
        TryMemFailAfter(fail);
        int rc = DatasetNarrowColumns(d.get());
        TryMemFailAfter(-1);
        if (rc == DS_OK) break;
        EXPECT_EQ(rc, DS_ENOMEM);
        EXPECT_EQ(Value(d.get(), 1, 0), d->cols[0].kind == DS_WCHAR_REF ? std::string("c\0d\0", 4) : "cd");
        EXPECT_EQ(Value(d.get(), 0, 1), d->cols[1].kind == DS_WCHAR_NTS ? std::string("e\0f\0", 4) : "ef");
    }
}

// ---------------------------------------------------------------------------

TEST(DatasetApplyMaxLength, FixedTextBecomesCountedAndCut) {
    DsPtr d(Make({{DS_CHAR, 10}}, 3));
    std::memcpy(DatasetCell(&d->cols[0], 0), "abcdefghij", 10);
    std::memcpy(DatasetCell(&d->cols[0], 2), "0123456789", 10);
    d->cols[0].indicators[0] = d->cols[0].indicators[2] = 0;
    d->rows_used = 3;
    ASSERT_EQ(DatasetApplyMaxLength(d.get(), 5), DS_OK);
    EXPECT_EQ(d->cols[0].kind, DS_CHAR_LEN4);
    EXPECT_EQ(Value(d.get(), 0, 0), "abcde");
    EXPECT_EQ(Value(d.get(), 2, 0), "01234");
    uint32_t count = 9;
    std::memcpy(&count, DatasetCell(&d->cols[0], 1), 4);
    EXPECT_EQ(count, 0u);
}

TEST(DatasetApplyMaxLength, NulTerminatedWithinLimitIsUntouched) {
    DsPtr d(Make({{DS_CHAR_NTS, 5}, {DS_CHAR_NTS, 19}, {DS_WCHAR_NTS, 9}}, 1));
    PutNts(d.get(), 0, 0, "abcde");
    PutNts(d.get(), 0, 1, "abcdefghij");
    PutWideNts(d.get(), 0, 2, u"abcdefgh");
    d->rows_used = 1;
    ASSERT_EQ(DatasetApplyMaxLength(d.get(), 5), DS_OK);
    EXPECT_EQ(d->cols[0].width, 6u);
    EXPECT_EQ(Value(d.get(), 0, 0), "abcde");
    EXPECT_EQ(Value(d.get(), 0, 1), "abcde");
    EXPECT_EQ(Value(d.get(), 0, 2), std::string("a\0b\0c\0d\0e\0", 10));
}

TEST(DatasetApplyMaxLength, LengthWordsAreLowered) {
    DsPtr d(Make({{DS_BINARY_REF, 0}, {DS_CHAR_LEN1, 9}, {DS_BINARY_LEN2, 9}, {DS_WCHAR_LEN4, 9}, {DS_WCHAR, 8}}, 1));
    PutRef(d.get(), 0, 0, "123456789");
    uint8_t* c1 = DatasetCell(&d->cols[1], 0);
    c1[0] = 9;
    std::memcpy(c1 + 1, "abcdefghi", 9);
    uint8_t* c2 = DatasetCell(&d->cols[2], 0);
    uint16_t nine = 9;
    std::memcpy(c2, &nine, 2);
    std::memcpy(c2 + 2, "ABCDEFGHI", 9);
    PutPrefixed4(d.get(), 0, 3, u"uvwxyz", 6, 2);
    std::memcpy(DatasetCell(&d->cols[4], 0), u"qrstuvwx", 16);
    for (int c = 0; c < 5; ++c) d->cols[c].indicators[0] = 0;
    d->rows_used = 1;
    ASSERT_EQ(DatasetApplyMaxLength(d.get(), 4), DS_OK);
    EXPECT_EQ(RefText(d.get(), 0, 0), "1234");
    EXPECT_EQ(Value(d.get(), 0, 1), "abcd");
    EXPECT_EQ(Value(d.get(), 0, 2), "ABCD");
    EXPECT_EQ(Value(d.get(), 0, 3), std::string("u\0v\0w\0x\0", 8));
    EXPECT_EQ(d->cols[4].kind, DS_WCHAR_LEN4);
    EXPECT_EQ(Value(d.get(), 0, 4), std::string("q\0r\0s\0t\0", 8));
}

TEST(DatasetApplyMaxLength, NarrowTextIsNeverCutInsideACharacter) {
    DsPtr d(Make({{DS_CHAR_NTS, 20}, {DS_CHAR_REF, 0}}, 1));
    PutNts(d.get(), 0, 0, "aé日b");  // a, 2 bytes, 3 bytes, b
    PutRef(d.get(), 0, 1, "aé日b");
    d->rows_used = 1;
    ASSERT_EQ(DatasetApplyMaxLength(d.get(), 5), DS_OK);
    EXPECT_EQ(Value(d.get(), 0, 0), "aé");
    EXPECT_EQ(Value(d.get(), 0, 1), "aé");
}

}  // namespace
