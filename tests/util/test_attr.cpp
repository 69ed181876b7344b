// Column attribute records and their de-duplicated lists, and the XA transaction identifier.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "util/attr.h"
#include "util/trymem.h"
#include "util/xid.h"

namespace {

AttrEntry IntRec(uint16_t col, int16_t attr, uint32_t v) {
    AttrEntry e{};
    e.column = col;
    e.attribute = attr;
    e.kind = ATTR_KIND_INT;
    e.value.u32 = v;
    return e;
}
AttrEntry TextRec(uint16_t col, int16_t attr, const char* s) {
    AttrEntry e{};
    e.column = col;
    e.attribute = attr;
    e.kind = ATTR_KIND_TEXT;
    e.value.ptr = const_cast<char*>(s);
    return e;
}
AttrEntry DblRec(uint16_t col, int16_t attr, double d) {
    AttrEntry e{};
    e.column = col;
    e.attribute = attr;
    e.kind = ATTR_KIND_DOUBLE;
    e.value.dbl = d;
    return e;
}

struct Table {
    HashTable* t = HashCreate(101, 4);
    ~Table() { HashDestroy(t); }
};

TEST(AttrLookup, FallsBackToTheColumnZeroDefault) {
    Table tb;
    AttrEntry def = IntRec(0, 5, 7);
    ASSERT_EQ(AttrTablePut(tb.t, &def), 1);
    uint32_t v = 0;
    EXPECT_EQ(AttrLookup(tb.t, 5, 3, &v, nullptr, nullptr), 1);
    EXPECT_EQ(v, 7u);
    AttrEntry own = IntRec(3, 5, 9);
    ASSERT_EQ(AttrTablePut(tb.t, &own), 1);
    EXPECT_EQ(AttrLookup(tb.t, 5, 3, &v, nullptr, nullptr), 1);
    EXPECT_EQ(v, 9u);
    EXPECT_EQ(AttrLookup(tb.t, 5, 4, &v, nullptr, nullptr), 1);
    EXPECT_EQ(v, 7u);
    EXPECT_EQ(AttrLookup(tb.t, 6, 3, &v, nullptr, nullptr), 0);
    EXPECT_EQ(AttrLookup(nullptr, 5, 3, &v, nullptr, nullptr), 0);
}

TEST(AttrLookup, KindDecidesTheOutput) {
    Table tb;
    AttrEntry text = TextRec(0, 1, "abc");
    AttrEntry dbl = DblRec(2, 2, 2.5);
    AttrEntry odd = IntRec(0, 3, 1);
    odd.kind = 9;
    AttrEntry two = IntRec(0, 4, 44);
    two.kind = ATTR_KIND_INT2;
    for (AttrEntry* e : {&text, &dbl, &odd, &two}) ASSERT_EQ(AttrTablePut(tb.t, e), 1);
    uint32_t v = 123;
    void* p = nullptr;
    double d = 0;
    EXPECT_EQ(AttrLookup(tb.t, 1, 5, &v, nullptr, nullptr), 0);  // integer of a text record
    EXPECT_EQ(v, 123u);
    EXPECT_EQ(AttrLookup(tb.t, 1, 5, nullptr, &p, nullptr), 1);
    EXPECT_STREQ(static_cast<char*>(p), "abc");
    EXPECT_EQ(AttrLookup(tb.t, 2, 2, nullptr, nullptr, &d), 1);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(AttrLookup(tb.t, 2, 1, nullptr, nullptr, &d), 0);  // no default for attribute 2
    EXPECT_EQ(AttrLookup(tb.t, 3, 0, &v, &p, &d), 0);            // unknown kind
    EXPECT_EQ(AttrLookup(tb.t, 4, 8, &v, nullptr, nullptr), 1);
    EXPECT_EQ(v, 44u);
}

TEST(AttrLookup, RecordsUnderAForeignKeyAreNotTrusted) {
    // A record stored under a key that does not describe it is refused.
    Table tb;
    AttrEntry wrongCol = IntRec(4, 5, 1);
    uint32_t key = AttrKey(5, 3);
    ASSERT_NE(HashPut(tb.t, &key, &wrongCol), nullptr);
    AttrEntry wrongAttr = IntRec(0, 6, 1);
    uint32_t key2 = AttrKey(7, 0);
    ASSERT_NE(HashPut(tb.t, &key2, &wrongAttr), nullptr);
    AttrEntry negative = IntRec(0, -8, 1);
    uint32_t key3 = AttrKey(0xFFF8, 0);
    ASSERT_NE(HashPut(tb.t, &key3, &negative), nullptr);
    uint32_t v = 0;
    EXPECT_EQ(AttrLookup(tb.t, 5, 3, &v, nullptr, nullptr), 0);
    EXPECT_EQ(AttrLookup(tb.t, 7, 1, &v, nullptr, nullptr), 0);
    EXPECT_EQ(AttrLookup(tb.t, 0xFFF8, 1, &v, nullptr, nullptr), 0);
    EXPECT_EQ(AttrTablePut(tb.t, &negative), 0);
}

TEST(AttrValueEqual, ByKind) {
    char a[] = "same", b[] = "same";
    AttrEntry ta = TextRec(0, 1, a), tb = TextRec(0, 1, b), ta2 = TextRec(1, 1, a);
    EXPECT_EQ(AttrValueEqual(&ta, &tb), 0);  // equal texts at different addresses
    EXPECT_EQ(AttrValueEqual(&ta, &ta2), 1);
    AttrEntry n1 = DblRec(0, 1, std::nan("")), n2 = DblRec(0, 1, std::nan(""));
    EXPECT_EQ(AttrValueEqual(&n1, &n2), 0);
    EXPECT_EQ(AttrValueEqual(&n1, &n1), 0);
    AttrEntry d1 = DblRec(0, 1, 1.5), d2 = DblRec(3, 1, 1.5);
    EXPECT_EQ(AttrValueEqual(&d1, &d2), 1);
    AttrEntry i1 = IntRec(0, 1, 5), i2 = IntRec(0, 1, 5), i3 = IntRec(0, 1, 6);
    EXPECT_EQ(AttrValueEqual(&i1, &i2), 1);
    EXPECT_EQ(AttrValueEqual(&i1, &i3), 0);
    EXPECT_EQ(AttrValueEqual(&i1, &d1), 0);  // kinds differ
    AttrEntry o1 = i1, o2 = i1;
    o1.kind = o2.kind = 7;
    EXPECT_EQ(AttrValueEqual(&o1, &o2), 0);
}

std::vector<std::tuple<int, int, uint32_t>> Triples(const AttrEntry* l, uint16_t n) {
    std::vector<std::tuple<int, int, uint32_t>> out;
    for (uint16_t i = 0; i < n; ++i) out.emplace_back(l[i].attribute, l[i].column, l[i].value.u32);
    return out;
}

TEST(AttrValueListBuild, KeepsDefaultsAndRecordsThatDiffer) {
    const AttrEntry in[] = {IntRec(0, 5, 7), IntRec(1, 5, 7), IntRec(2, 5, 8), IntRec(1, 6, 1)};
    uint16_t n = 99;
    AttrEntry* list = nullptr;
    ASSERT_EQ(AttrValueListBuild(4, in, &n, &list, 0), 0);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(Triples(list, n), (std::vector<std::tuple<int, int, uint32_t>>{{5, 0, 7}, {5, 2, 8}, {6, 1, 1}}));
    AttrValueListFree(list, n, 0);
}

TEST(AttrValueListBuild, GroupsSkipsAndColumnsBeforeTheirDefault) {
    // Column 1 comes before its group's default and is kept; a negative record is ignored and
    // does not split the group; a new group of attribute 5 again has no default.
    const AttrEntry in[] = {IntRec(1, 5, 7), IntRec(0, 5, 7), IntRec(3, -5, 7),
                            IntRec(2, 5, 7), IntRec(0, 6, 1), IntRec(1, 5, 7)};
    uint16_t n = 0;
    AttrEntry* list = nullptr;
    ASSERT_EQ(AttrValueListBuild(6, in, &n, &list, 0), 0);
    EXPECT_EQ(Triples(list, n),
              (std::vector<std::tuple<int, int, uint32_t>>{{5, 1, 7}, {5, 0, 7}, {6, 0, 1}, {5, 1, 7}}));
    AttrValueListFree(list, n, 0);
}

TEST(AttrValueListBuild, NothingToKeepGivesNothing) {
    const AttrEntry in[] = {IntRec(0, -1, 7), IntRec(1, -2, 7)};
    uint16_t n = 5;
    AttrEntry* list = reinterpret_cast<AttrEntry*>(1);
    EXPECT_EQ(AttrValueListBuild(2, in, &n, &list, 0), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(list, nullptr);
    list = reinterpret_cast<AttrEntry*>(1);
    EXPECT_EQ(AttrValueListBuild(0, in, &n, &list, 0), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(AttrValueListBuild(2, nullptr, &n, &list, 0), 0);
}

TEST(AttrValueListBuild, ModeTwoOwnsCopiesOfTheTexts) {
    char def[] = "default", other[] = "other";
    const AttrEntry in[] = {TextRec(0, 1, def), TextRec(1, 1, def), TextRec(2, 1, other), IntRec(0, 2, 3)};
    uint16_t n = 0;
    AttrEntry* list = nullptr;
    ASSERT_EQ(AttrValueListBuild(4, in, &n, &list, ATTR_COPY_STRINGS), 0);
    ASSERT_EQ(n, 3);
    EXPECT_NE(list[0].value.ptr, def);
    EXPECT_STREQ(static_cast<char*>(list[0].value.ptr), "default");
    EXPECT_STREQ(static_cast<char*>(list[1].value.ptr), "other");
    EXPECT_EQ(list[2].value.u32, 3u);
    AttrValueListFree(list, n, ATTR_COPY_STRINGS);  // leak checker: texts released
}

TEST(AttrValueListBuild, OutOfMemoryAtAnyPointLeaksNothing) {
    char a[] = "a", b[] = "b";
    const AttrEntry in[] = {TextRec(0, 1, a), TextRec(1, 1, b), TextRec(2, 1, a)};
    for (long fail = 0; fail < 5; ++fail) {
        uint16_t n = 9;
        AttrEntry* list = nullptr;
        TryMemFailAfter(fail);
        int rc = AttrValueListBuild(3, in, &n, &list, ATTR_COPY_STRINGS);
        TryMemFailAfter(-1);
        if (rc == 0) {
            EXPECT_EQ(n, 2);  // (2, a) repeats the default
            AttrValueListFree(list, n, ATTR_COPY_STRINGS);
            break;
        }
        EXPECT_EQ(rc, 16);
        EXPECT_EQ(n, 0);
        EXPECT_EQ(list, nullptr);
    }
}

TEST(AttrEntry, ClearAndFreeReleaseHeapTexts) {
    AttrEntry e = TextRec(0, 1, nullptr);
    e.value.ptr = strdup("owned");
    AttrEntryClear(&e);
    EXPECT_EQ(e.value.ptr, nullptr);
    AttrEntryClear(&e);
    AttrEntry i = IntRec(0, 1, 77);
    AttrEntryClear(&i);  // not a text: untouched
    EXPECT_EQ(i.value.u32, 77u);

    // A table of heap records emptied with HashForEach before HashDestroy.
    HashTable* t = HashCreate(101, 4);
    for (uint16_t c = 0; c < 5; ++c) {
        auto* r = static_cast<AttrEntry*>(std::calloc(1, sizeof(AttrEntry)));
        *r = TextRec(c, 9, nullptr);
        r->value.ptr = strdup("x");
        ASSERT_EQ(AttrTablePut(t, r), 1);
    }
    void* p = nullptr;
    EXPECT_EQ(AttrLookup(t, 9, 4, nullptr, &p, nullptr), 1);
    HashForEach(t, AttrEntryFree, nullptr);
    HashDestroy(t);
}

TEST(AttrRecordCopy, CopiesAndDuplicatesTextsInModeTwo) {
    char s[] = "txt";
    AttrEntry src = TextRec(3, 4, s), dst{};
    EXPECT_EQ(AttrRecordCopy(&dst, &src, 0), 0);
    EXPECT_EQ(dst.value.ptr, s);
    EXPECT_EQ(dst.column, 3);
    EXPECT_EQ(AttrRecordCopy(&dst, &src, ATTR_COPY_STRINGS), 0);
    EXPECT_NE(dst.value.ptr, s);
    EXPECT_STREQ(static_cast<char*>(dst.value.ptr), "txt");
    AttrEntryClear(&dst);
    TryMemFailAfter(0);
    EXPECT_EQ(AttrRecordCopy(&dst, &src, ATTR_COPY_STRINGS), 16);
    TryMemFailAfter(-1);
    EXPECT_EQ(dst.value.ptr, nullptr);
}

// ---------------------------------------------------------------------------

TEST(Xid, LayoutHasLongMembers) {
    static_assert(sizeof(long) != 8 || sizeof(XID) == 152, "152 bytes on LP64");
    EXPECT_EQ(offsetof(XID, data), 3 * sizeof(long));
    EXPECT_EQ(sizeof(XID().data), 128u);
}

TEST(Xid, CopiesOnlyTheUsedPart) {
    XID src{}, dst;
    std::memset(&dst, 0x5A, sizeof dst);
    src.formatID = 0x4B4956;
    src.gtrid_length = 64;
    src.bqual_length = 64;
    for (int i = 0; i < 128; ++i) src.data[i] = static_cast<char>(i);
    ASSERT_EQ(XidCopy(&dst, &src), 1);
    EXPECT_EQ(dst.formatID, src.formatID);
    EXPECT_EQ(std::memcmp(dst.data, src.data, 128), 0);

    std::memset(&dst, 0x5A, sizeof dst);
    src.gtrid_length = 3;
    src.bqual_length = 2;
    ASSERT_EQ(XidCopy(&dst, &src), 1);
    EXPECT_EQ(dst.gtrid_length, 3);
    EXPECT_EQ(dst.bqual_length, 2);
    EXPECT_EQ(std::memcmp(dst.data, src.data, 5), 0);
    EXPECT_EQ(dst.data[5], 0x5A);  // the rest is left alone

    src.gtrid_length = 0;
    src.bqual_length = 0;
    EXPECT_EQ(XidCopy(&dst, &src), 1);
}

TEST(Xid, LengthsOutsideTheirRangeAreRefused) {
    const long bad[][2] = {{65, 0}, {0, 65}, {-1, 0}, {0, -1}, {1L << 40, 0}};
    for (auto& b : bad) {
        XID src{}, dst{};
        dst.formatID = 99;
        src.gtrid_length = b[0];
        src.bqual_length = b[1];
        EXPECT_EQ(XidCopy(&dst, &src), 0) << b[0] << "," << b[1];
        EXPECT_EQ(dst.formatID, 99);
    }
    XID x{};
    EXPECT_EQ(XidCopy(nullptr, &x), 0);
    EXPECT_EQ(XidCopy(&x, nullptr), 0);
}

}  // namespace
