// ORDER BY analysis, key order positions, select-column completion, added key columns and the
// key and expression column attributes.
#include <cstdlib>
#include <cstring>

#include "drv_ingii/i-desc.h"
#include "tests/scrs/keys_fixture.h"

namespace {

using keystest::DescSession;

class KeySelect : public DescSession {
protected:
    SCR_Array* items = nullptr;
    void SetUp() override {
        DescSession::SetUp();
        Exec("CREATE TABLE kk (a integer NOT NULL, b integer NOT NULL, c varchar(10), PRIMARY KEY (a, b))");
        Exec("INSERT INTO kk VALUES (1, 2, 'x')");
        mode[DRV_DDSpecialColumns] = 1;  // keys from the unique index: a, b
    }
    void TearDown() override {
        SCR_ArrayFree(&items, nullptr);
        DescSession::TearDown();
    }
    // The forward-only describe path: keys, table columns, select columns, completion, rewrite.
    ErrCode Describe(const char* sql, uint32_t option, int* changed) {
        EXPECT_EQ(Analyse(sql), 0u);
        ctx.attrOption = option;
        uint32_t rc = KS_GetKeyColDescs(&ctx, tables);
        if (rc != 0) return ErrCode(rc);
        SCR_ArrayFree(&ctx.tableCols, nullptr);
        ctx.tableCols = SCR_ArrayCreate(sizeof(ColDesc));
        rc = scs_p_GetTblColDescs(&ctx, tables, tables->count, 0, ctx.tableCols);
        if (rc != 0) return ErrCode(rc);
        SCR_ArrayFree(&ctx.selectCols, nullptr);
        SCR_ArrayFree(&items, nullptr);
        ctx.selectCols = SCR_ArrayCreate(sizeof(ColDesc));
        rc = scs_p_SelectColsGet(&ctx, ctx.selectCols, &items);
        if (rc != 0) return ErrCode(rc);
        scs_p_SelectCol_ColDescComplete(&ctx);
        rc = scs_p_SelListAddKeysnXpandWC(&ctx, items, changed);
        if (rc == 0) ctx.flags |= kScsDescKeysDone;
        return ErrCode(rc);
    }
    std::string Text() const { return an.text ? an.text : ""; }
};

TEST_F(KeySelect, PositionBeyondTheSelectListIsASyntaxError) {
    ASSERT_EQ(Analyse("SELECT a, b FROM kk ORDER BY 3"), 0u);
    EXPECT_EQ(scs_p_OrderByAnalyse(&ctx), 68u);
}

TEST_F(KeySelect, PositionOnAnExpressionIsRefused) {
    ASSERT_EQ(Analyse("SELECT a + 1, b FROM kk ORDER BY 1"), 0u);
    EXPECT_EQ(scs_p_OrderByAnalyse(&ctx), 99u);
}

TEST_F(KeySelect, PositionTakesTheSelectColumn) {
    ASSERT_EQ(Analyse("SELECT c, k.b FROM kk k, dept ORDER BY 2 DESC"), 0u);
    ASSERT_EQ(scs_p_OrderByAnalyse(&ctx), 0u);
    ASSERT_EQ(ctx.orderBy->count, 1u);
    auto* it = static_cast<const OrderByItem*>(SCR_ArrayAt(ctx.orderBy, 0));
    EXPECT_STREQ(it->column, "\"b\"");
    EXPECT_STREQ(it->alias, "k");
    EXPECT_STREQ(it->text, "k.b");  // two tables: qualified
    EXPECT_EQ(it->descending, 1u);
    EXPECT_TRUE(ctx.shapeFlags & SCR_F_ORDERPOS);
}

struct OrderCase {
    const char* sql;
    uint8_t a, b;
};
class KeyOrder : public KeySelect, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(KeyOrder, Positions) {
    ASSERT_EQ(Analyse(GetParam().sql), 0u);
    ASSERT_EQ(scs_p_OrderByAnalyse(&ctx), 0u);
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    scs_p_MarkKeyOrderPositions(&ctx);
    ASSERT_EQ(ctx.keyCols->count, 2u);
    EXPECT_EQ(At(ctx.keyCols, 0)->orderPosition, GetParam().a) << GetParam().sql;
    EXPECT_EQ(At(ctx.keyCols, 1)->orderPosition, GetParam().b) << GetParam().sql;
}

INSTANTIATE_TEST_SUITE_P(Orders, KeyOrder,
                         ::testing::Values(OrderCase{"SELECT * FROM kk ORDER BY a, b", 1, 2},
                                           OrderCase{"SELECT * FROM kk ORDER BY b", 0, 1},
                                           OrderCase{"SELECT * FROM kk ORDER BY c, B DESC, a", 3, 2},
                                           OrderCase{"SELECT * FROM kk k ORDER BY k.a", 1, 0},
                                           OrderCase{"SELECT * FROM kk ORDER BY kk.b", 0, 1},
                                           OrderCase{"SELECT * FROM kk ORDER BY \"b\"", 0, 1},
                                           OrderCase{"SELECT a, b FROM kk ORDER BY 2, 1", 2, 1},
                                           OrderCase{"SELECT * FROM kk ORDER BY dept.a", 0, 0}));

TEST_F(KeySelect, MissingKeysAreAddedAndTheTextRuns) {
    int changed = 0;
    ASSERT_EQ(Describe("SELECT c FROM kk WHERE c = 'x'", 1054, &changed), 0u);
    EXPECT_EQ(changed, 1);
    EXPECT_NE(Text().find("\"c\", \"a\", \"b\""), std::string::npos) << Text();
    EXPECT_NE(Text().find("WHERE"), std::string::npos) << Text();
    ASSERT_EQ(ctx.selectCols->count, 3u);
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, Text().c_str()), 0u) << Errors(s);
    uint16_t n = 0;
    ColumnInfo* ci = nullptr;
    ASSERT_EQ(AgentCall<DRV_DescribeCols>(&link, s, &n, &ci), 0u);
    EXPECT_EQ(n, 3);
    ColumnInfoArrayFree(ci, n);
}

TEST_F(KeySelect, WildcardIsExpandedWithoutAddingKeysTwice) {
    int changed = 0;
    ASSERT_EQ(Describe("SELECT * FROM kk", 1054, &changed), 0u);
    EXPECT_EQ(changed, 1);
    EXPECT_NE(Text().find("\"a\", \"b\", \"c\""), std::string::npos) << Text();
    EXPECT_EQ(ctx.selectCols->count, 3u);
}

TEST_F(KeySelect, KeysAlreadySelectedLeaveTheTextAlone) {
    int changed = 1;
    ASSERT_EQ(Describe("SELECT b, c, a FROM kk", 1054, &changed), 0u);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(Text().find('"'), std::string::npos) << Text();
}

TEST_F(KeySelect, DescribeKeysOnlyAddsNothing) {
    int changed = 1;
    ASSERT_EQ(Describe("SELECT c FROM kk", 1052, &changed), 0u);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(ctx.selectCols->count, 1u);
}

TEST_F(KeySelect, TwoTablesGetQualifiedReferences) {
    int changed = 0;
    mode[DRV_DDSpecialColumns] = 1;
    ASSERT_EQ(Describe("SELECT k.c, d.dname FROM kk k, dept d", 1054, &changed), 0u);
    EXPECT_EQ(changed, 1);
    EXPECT_NE(Text().find("k.\"a\", k.\"b\", d.\"deptno\""), std::string::npos) << Text();
    uint32_t s = Stmt();
    EXPECT_EQ(Run(s, Text().c_str()), 0u) << Text() << Errors(s);
}

TEST_F(KeySelect, ColumnAttributesAnswerKeysAndExpressions) {
    int changed = 0;
    ASSERT_EQ(Analyse("SELECT a, c || 'y' FROM kk"), 0u);
    // Before the key analysis the agent's negative identifiers stay.
    std::vector<IngAttrRow> rows(4);
    auto fill = [&] {
        for (uint32_t b = 0; b < 2; ++b)
            for (uint16_t c = 0; c < 2; ++c) {
                rows[b * 2 + c] = {};
                rows[b * 2 + c].column = uint16_t(c + 1);
                rows[b * 2 + c].attribute = b == 0 ? -1053 : -1055;
                rows[b * 2 + c].form = 1;
            }
    };
    fill();
    scs_p_ColAttribute(&ctx, 1, nullptr, 0, 2, 2, rows.data());
    EXPECT_EQ(rows[0].attribute, -1053);
    ASSERT_EQ(Describe("SELECT a, c || 'y' FROM kk", 1052, &changed), 0u);
    ColumnInfo info[2]{};
    for (uint16_t col = 1; col <= 2; ++col) scs_p_ColAttribute(&ctx, col, &info[col - 1], 0x3, 2, 2, rows.data());
    EXPECT_EQ(rows[0].attribute, 1053);
    EXPECT_EQ(rows[0].value, 1);  // a is a key
    EXPECT_EQ(rows[1].value, 0);
    EXPECT_EQ(rows[2].attribute, 1055);
    EXPECT_EQ(rows[2].value, 0);
    EXPECT_EQ(rows[3].value, 1);  // the concatenation is an expression
    ASSERT_NE(info[0].table, nullptr);
    EXPECT_STREQ(info[0].table, "\"kk\"");
    EXPECT_STREQ(info[0].column, "\"a\"");
    EXPECT_EQ(info[0].schema, nullptr);  // not asked for by the mask
    ASSERT_NE(info[1].table, nullptr);
    EXPECT_STREQ(info[1].table, "");  // an expression has no base table
    // Out of range column numbers change nothing.
    fill();
    scs_p_ColAttribute(&ctx, 3, nullptr, 0, 2, 2, rows.data());
    scs_p_ColAttribute(&ctx, 0, nullptr, 0, 2, 2, rows.data());
    EXPECT_EQ(rows[0].attribute, -1053);
    for (auto& i : info) {
        std::free(i.table);
        std::free(i.column);
    }
}

TEST(QuotableName, RowidOnOracleOnly) {
    EXPECT_EQ(scs_p_IsQuotableName("ROWID", "Oracle8"), 0);
    EXPECT_EQ(scs_p_IsQuotableName("my_rownum", "ORACLE"), 0);
    EXPECT_EQ(scs_p_IsQuotableName("ROWID", "INGRES"), 1);
    EXPECT_EQ(scs_p_IsQuotableName("name", "Oracle"), 1);
}

}  // namespace
