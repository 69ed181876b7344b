// Identifier normalising, quoting, comparison, catalog cell reading and parameter descriptions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_ingii/i-desc.h"
#include "scrs/sc_coldesc.h"
#include "util/dataset.h"

namespace {

struct NormCase {
    const char* in;
    uint32_t quotedCase, identCase;
    int requote;
    const char* out;
};

class Normalise : public ::testing::TestWithParam<NormCase> {};

TEST_P(Normalise, Result) {
    const NormCase& c = GetParam();
    char buf[509];
    std::snprintf(buf, sizeof buf, "%s", c.in);
    scs_p_NormaliseIdent(buf, '"', c.quotedCase, c.identCase, 0, c.requote);
    EXPECT_STREQ(buf, c.out) << c.in;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Normalise,
    ::testing::Values(NormCase{"", 3, 2, 1, ""}, NormCase{"Abc", 3, 2, 0, "abc"}, NormCase{"Abc", 3, 1, 0, "ABC"},
                      NormCase{"\"AbC\"", 3, 2, 0, "AbC"}, NormCase{"\"AbC\"", 2, 1, 1, "\"abc\""},
                      NormCase{"Abc", 3, 3, 1, "\"Abc\""},  // sensitive both ways: quoting keeps meaning
                      NormCase{"Abc", 1, 3, 1, "Abc"},      // sensitive but quoted names upper: stays plain
                      NormCase{"Abc", 1, 2, 1, "abc"},      // lower vs quoted upper: stays plain
                      NormCase{"Abc", 2, 1, 1, "ABC"}, NormCase{"Abc", 3, 2, 1, "\"abc\""},
                      NormCase{"\"a\"\"b\"", 3, 2, 1, "\"a\"\"b\""}, NormCase{"\"a\"\"b\"", 3, 2, 0, "a\"b"}));

TEST(QuoteName, DoublesQuotesInsideAndUndoesIt) {
    char q[509], back[509];
    scs_QuoteName("we\"ird", '"', q);
    EXPECT_STREQ(q, "\"we\"\"ird\"");
    scs_UnquoteName(q, '"', back);
    EXPECT_STREQ(back, "we\"ird");
    scs_QuoteName("plain", 0, q);
    EXPECT_STREQ(q, "plain");
    scs_UnquoteName("\"", '"', back);  // a lone quote is no quoted name
    EXPECT_STREQ(back, "\"");
}

TEST(QuoteName, LongNamesAreCutInsideTheQuotes) {
    std::string name(600, 'x');
    char q[509];
    scs_QuoteName(name.c_str(), '"', q);
    EXPECT_EQ(std::strlen(q), 508u);
    EXPECT_EQ(q[0], '"');
    EXPECT_EQ(q[507], '"');
    // A cut never leaves half of a doubled quote.
    std::string quotes(600, '"');
    scs_QuoteName(quotes.c_str(), '"', q);
    size_t n = std::strlen(q);
    EXPECT_LE(n, 508u);
    EXPECT_EQ((n - 2) % 2, 0u);
    char back[509];
    scs_UnquoteName(q, '"', back);
    EXPECT_EQ(std::string(back), std::string((n - 2) / 2, '"'));
}

TEST(EscapePattern, WildcardsEscaped) {
    char out[64];
    scs_EscapePattern("a_b%c", out, sizeof out);
    EXPECT_STREQ(out, "a\\_b\\%c");
    scs_EscapePattern("__", out, 4);  // bounded: never past the buffer
    EXPECT_LT(std::strlen(out), 4u);
}

struct EqCase {
    const char* a;
    const char* b;
    uint32_t quotedCase, identCase;
    int equal;
};
class IdentEqual : public ::testing::TestWithParam<EqCase> {};
TEST_P(IdentEqual, Result) {
    const EqCase& c = GetParam();
    EXPECT_EQ(scs_p_IdentEqual(c.a, c.b, '"', c.quotedCase, c.identCase, 0), c.equal) << c.a << " " << c.b;
}
INSTANTIATE_TEST_SUITE_P(Cases, IdentEqual,
                         ::testing::Values(EqCase{"abc", "ABC", 3, 2, 1}, EqCase{"\"abc\"", "ABC", 3, 2, 1},
                                           EqCase{"\"Abc\"", "abc", 3, 2, 0}, EqCase{"\"Abc\"", "ABC", 3, 4, 0},
                                           EqCase{"x", "X", 3, 4, 1}, EqCase{"x", "X", 3, 3, 0},
                                           EqCase{"", "", 3, 2, 0}, EqCase{"a", nullptr, 3, 2, 0}));

TEST(CatCellText, NarrowAndWideKindsCutAt508) {
    Dataset ds{};
    ASSERT_EQ(DatasetInit(&ds, 2), 0);
    ds.cols[0].kind = DS_CHAR_NTS;
    ds.cols[0].width = 701;
    ds.cols[1].kind = DS_WCHAR;
    ds.cols[1].width = 8;
    ds.col_count = 2;
    ASSERT_EQ(DatasetAllocRows(&ds, 2), 0);
    ds.rows_used = 2;
    std::memset(DatasetCell(&ds.cols[0], 0), 'n', 700);
    ds.cols[0].indicators[0] = 0;
    const uint16_t w[4] = {'a', 0xE9, 'c', 0};
    std::memcpy(DatasetCell(&ds.cols[1], 0), w, 8);
    ds.cols[1].indicators[0] = 0;
    char buf[509];
    ASSERT_EQ(scs_p_CatCellText(&ds, 0, 0, buf), 0u);
    EXPECT_EQ(std::strlen(buf), 508u);
    ASSERT_EQ(scs_p_CatCellText(&ds, 0, 1, buf), 0u);
    EXPECT_STREQ(buf,
                 "a\xC3\xA9"
                 "c");
    ASSERT_EQ(scs_p_CatCellText(&ds, 1, 0, buf), 0u);  // NULL
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(scs_p_CatCellText(&ds, 2, 0, buf), 15u);
    EXPECT_EQ(scs_p_CatCellText(&ds, 0, 2, buf), 15u);
    DatasetFree(&ds);
}

TEST(CatValueText, LengthPrefixNeverPastTheElement) {
    uint8_t cell[6] = {200, 'a', 'b', 'c', 'd', 'e'};
    const char* narrow;
    const uint16_t* wide;
    uint32_t n;
    ASSERT_EQ(scs_p_CatValueText(cell, DS_CHAR_LEN1, 6, &narrow, &wide, &n), 0u);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(scs_p_CatValueText(cell, DS_INTEGER, 4, &narrow, &wide, &n), 15u);
}

struct PdCase {
    int16_t sql;
    int32_t c;
};
class ParamFromCol : public ::testing::TestWithParam<PdCase> {};
TEST_P(ParamFromCol, CType) {
    ColDesc cd{};
    cd.sqlType = GetParam().sql;
    cd.columnSize = 12;
    cd.decimalDigits = 3;
    ParamDescEntry e{};
    ParamDescFromColDesc(&e, &cd);
    EXPECT_EQ(e.cType, GetParam().c);
    EXPECT_EQ(e.sqlType, GetParam().sql);
    EXPECT_EQ(e.columnSize, 12u);
    EXPECT_EQ(e.decimalDigits, 3);
    EXPECT_EQ(e.paramType, 1);
}
INSTANTIATE_TEST_SUITE_P(Types, ParamFromCol,
                         ::testing::Values(PdCase{-10, -8}, PdCase{-9, -8}, PdCase{-8, -8}, PdCase{-7, -7},
                                           PdCase{-6, -6}, PdCase{-4, -2}, PdCase{-3, -2}, PdCase{-2, -2}, PdCase{4, 4},
                                           PdCase{5, 5}, PdCase{6, 8}, PdCase{8, 8}, PdCase{7, 7}, PdCase{9, 9},
                                           PdCase{11, 11}, PdCase{91, 91}, PdCase{93, 93}, PdCase{-5, 1}, PdCase{-1, 1},
                                           PdCase{1, 1}, PdCase{2, 1}, PdCase{3, 1}, PdCase{12, 1}));

TEST(ParamDescs, KeysThenOwnDescriptions) {
    SCS_DescCtx ctx{};
    ParamDescEntry own[2] = {{12, 1, 5, 0, 1}, {4, 4, 10, 0, 1}};
    ctx.ownParams = own;
    ctx.ownParamCount = 2;
    ColDesc keys[2]{};
    keys[0].sqlType = 4;
    keys[1].sqlType = 3;
    ASSERT_EQ(ParamDescsAppend(&ctx, keys, 2, 0), 0u);
    ASSERT_EQ(ParamDescsAppend(&ctx, keys, 1, 1), 0u);
    ASSERT_EQ(ctx.paramDescCount, 5);
    EXPECT_EQ(ctx.paramDescs[0].sqlType, 4);
    EXPECT_EQ(ctx.paramDescs[1].cType, 1);
    EXPECT_EQ(ctx.paramDescs[2].sqlType, 4);
    EXPECT_EQ(ctx.paramDescs[3].sqlType, 12);
    EXPECT_EQ(ctx.paramDescs[4].columnSize, 10u);
    EXPECT_EQ(ParamDescsAppend(&ctx, nullptr, 3, 0), 15u);
    ParamDescsReset(&ctx);
    EXPECT_EQ(ctx.paramDescCount, 0);
    EXPECT_EQ(ctx.paramDescs, nullptr);
}

TEST(QualifyColName, ByTableCount) {
    ColDesc cd{};
    std::strcpy(cd.column, "c");
    std::strcpy(cd.table, "t");
    std::strcpy(cd.owner, "o");
    auto q = [&](uint32_t n) {
        char* s = scs_p_QualifyColName(n, &cd);
        std::string r = s;
        std::free(s);
        return r;
    };
    EXPECT_EQ(q(1), "c");
    EXPECT_EQ(q(2), "o.t.c");
    std::strcpy(cd.alias, "x");
    EXPECT_EQ(q(2), "x.c");
    cd.alias[0] = cd.owner[0] = 0;
    EXPECT_EQ(q(3), "t.c");
}

}  // namespace
