// Key-set, key-block, row-lock and concurrency-value statements built from analysed SELECTs,
// run on the embedded engine.
#include <cstdlib>
#include <cstring>

#include "tests/scrs/keys_fixture.h"
#include "scrs/sc_keyset.h"
#include "util/dataset.h"

namespace {

using keystest::DescSession;
using stmttest::Block;

class KeyStatements : public DescSession {
protected:
    SCR_Analysis ks{};
    void SetUp() override {
        DescSession::SetUp();
        SCR_AnalysisInit(&ks);
        Exec("CREATE TABLE kk (a integer NOT NULL, b varchar(8) NOT NULL, c varchar(10), PRIMARY KEY (a, b))");
        Exec("INSERT INTO kk VALUES (1, 'p', 'x')");
        Exec("INSERT INTO kk VALUES (2, 'q', 'y')");
        Exec("INSERT INTO kk VALUES (3, 'r', 'x')");
        Exec("INSERT INTO kk VALUES (4, 's', NULL)");
        mode[DRV_DDSpecialColumns] = 1;  // keys a, b from the unique index
    }
    void TearDown() override {
        SCR_AnalysisFree(&ks);
        DescSession::TearDown();
    }
    // The key-set statement of sql: ORDER BY extended by the keys, select list := the keys.
    std::string KeySetText(const char* sql, uint16_t maxOrder = 0) {
        EXPECT_EQ(Analyse(sql), 0u);
        EXPECT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
        uint32_t orderCount = 0;
        if (an.flags & SCR_F_ORDERBY) {
            EXPECT_EQ(scs_p_OrderByAnalyse(&ctx), 0u);
            scs_p_MarkKeyOrderPositions(&ctx);
            orderCount = ctx.orderBy->count;
        }
        EXPECT_EQ(KS_BuildKeyOrderBy(&an, ctx.keyCols, ctx.tableCount, orderCount, maxOrder), 0u);
        std::string ordered = an.text;
        EXPECT_EQ(SCR_AnalyseSQL(&ks, ordered.c_str(), 1, 0), 0u) << ordered;
        EXPECT_EQ(KS_BuildKeySelect(&ks, ctx.keyCols, ctx.tableCount), 0u);
        return ks.text;
    }
    // Runs text with optional parameters and returns all rows.
    void Fetch(const std::string& text, Dataset* params, Block* out) {
        uint32_t s = Stmt();
        ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, text.c_str()), 0u) << text << Errors(s);
        if (params) {
            ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, params), 0u);
        }
        ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << text << Errors(s);
        ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, uint16_t(100), &out->ds), 0u);
    }
};

std::string Squeeze(std::string s) {
    std::string out;
    for (char c : s) {
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        if (c == ',' && !out.empty() && out.back() == ' ') out.pop_back();
        out += c;
    }
    return out;
}

TEST_F(KeyStatements, KeySetSelectsTheKeysInKeyOrder) {
    std::string t = KeySetText("SELECT c FROM kk");
    EXPECT_NE(Squeeze(t).find("SELECT \"a\", \"b\" FROM kk"), std::string::npos) << t;
    EXPECT_NE(Squeeze(t).find("ORDER BY \"a\", \"b\""), std::string::npos) << t;
    Block rows;
    Fetch(t, nullptr, &rows);
    ASSERT_EQ(rows.ds.rows_used, 4u);
    EXPECT_EQ(rows.Get<int32_t>(0, 3), 4);
}

TEST_F(KeyStatements, KeysFollowTheStatementsOrder) {
    std::string t = KeySetText("SELECT c FROM kk WHERE a > 1 ORDER BY c DESC");
    EXPECT_NE(Squeeze(t).find("ORDER BY c DESC, \"a\", \"b\""), std::string::npos) << t;
    Block rows;
    Fetch(t, nullptr, &rows);
    ASSERT_EQ(rows.ds.rows_used, 3u);
}

TEST_F(KeyStatements, KeysNamedByTheOrderByAreNotAddedAgain) {
    std::string t = KeySetText("SELECT c FROM kk ORDER BY b");
    EXPECT_NE(Squeeze(t).find("ORDER BY b, \"a\""), std::string::npos) << t;
    EXPECT_EQ(Squeeze(t).find("\"b\" ORDER"), std::string::npos);
    EXPECT_EQ(t.find(", \"b\"", t.find("ORDER BY")), std::string::npos) << t;
}

TEST_F(KeyStatements, MaximumOrderColumnsStopsTheKeys) {
    std::string t = KeySetText("SELECT c FROM kk ORDER BY c, b", 2);
    EXPECT_NE(Squeeze(t).find("ORDER BY c, b"), std::string::npos) << t;
    EXPECT_EQ(t.find("\"a\"", t.find("ORDER BY")), std::string::npos) << t;
}

TEST_F(KeyStatements, KeyBlocksFetchRowsByKeys) {
    std::string keySet = KeySetText("SELECT c FROM kk WHERE c = 'x' OR c IS NULL");
    Block keys;
    Fetch(keySet, nullptr, &keys);
    ASSERT_EQ(keys.ds.rows_used, 3u);  // 1, 3, 4
    SCR_Analysis blk{};
    SCR_AnalysisInit(&blk);
    ASSERT_EQ(SCR_AnalyseSQL(&blk, "SELECT a, c FROM kk WHERE c = 'x' OR c IS NULL", 1, 0), 0u);
    ASSERT_EQ(KS_BuildKeyBlockWhere(&blk, ctx.keyCols, ctx.tableCount, 3), 0u);
    std::string text = blk.text;
    EXPECT_NE(
        Squeeze(text).find("WHERE ( \"a\" = ? AND \"b\" = ? OR \"a\" = ? AND \"b\" = ? OR \"a\" = ? AND \"b\" = ? ) "
                           "AND (c = 'x' OR c IS NULL)"),
        std::string::npos)
        << text;
    // A last block of two rows repeats its last key.
    Dataset* params = nullptr;
    ASSERT_EQ(KS_KeyRowsToParams(&keys.ds, 1, 3, 2, &params, 0, 0, 0, nullptr, nullptr), 0u);
    ASSERT_EQ(params->col_count, 6);
    EXPECT_EQ(std::memcmp(DatasetCell(&params->cols[2], 0), DatasetCell(&params->cols[4], 0), 4), 0);
    Block rows;
    Fetch(text, params, &rows);
    ASSERT_EQ(rows.ds.rows_used, 2u);
    EXPECT_EQ(rows.Get<int32_t>(0, 0) + rows.Get<int32_t>(0, 1), 3 + 4);
    SCR_AnalysisFree(&blk);
}

TEST_F(KeyStatements, KeyBlockWithoutWhereWritesItsOwn) {
    SCR_Analysis blk{};
    SCR_AnalysisInit(&blk);
    ASSERT_EQ(Analyse("SELECT c FROM kk"), 0u);
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    ASSERT_EQ(SCR_AnalyseSQL(&blk, "SELECT c FROM kk ORDER BY c", 1, 0), 0u);
    ASSERT_EQ(KS_BuildKeyBlockWhere(&blk, ctx.keyCols, ctx.tableCount, 1), 0u);
    EXPECT_NE(Squeeze(blk.text).find("FROM kk WHERE ( \"a\" = ? AND \"b\" = ? ) ORDER BY c"), std::string::npos)
        << blk.text;
    EXPECT_EQ(KS_BuildKeyBlockWhere(&blk, ctx.keyCols, ctx.tableCount, 0), 15u);
    SCR_AnalysisFree(&blk);
}

TEST_F(KeyStatements, RowLockUpdatesKeysToThemselves) {
    ASSERT_EQ(Analyse("SELECT c FROM kk"), 0u);
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    char* text = scs_p_LockRowsText(&ctx);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "UPDATE \"owner\".\"kk\" SET \"a\" = ?, \"b\" = ? WHERE \"a\" = ? AND \"b\" = ?");
    stmttest::ParamSet p({{DS_INTEGER, 4}, {DS_CHAR_NTS, 8}, {DS_INTEGER, 4}, {DS_CHAR_NTS, 8}}, 1);
    p.Put<int32_t>(0, 0, 2);
    p.Text(1, 0, "q");
    p.Put<int32_t>(2, 0, 2);
    p.Text(3, 0, "q");
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, text), 0u) << Errors(s);
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    int32_t affected = 0;
    uint16_t len = 0;
    ASSERT_EQ(AgentCall<DRV_GetInfo>(&link, s, 0x32010000u, &affected, uint16_t(4), &len), 0u);
    EXPECT_EQ(affected, 1);
    std::free(text);
}

TEST_F(KeyStatements, ValuesSelectListsEveryTableColumnThenTheKeys) {
    ASSERT_EQ(Analyse("SELECT c FROM kk"), 0u);
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    ctx.tableCols = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(scs_p_GetTblColDescs(&ctx, tables, 1, 0, ctx.tableCols), 0u);
    std::string t;
    uint32_t before = 99;
    ASSERT_EQ(scs_p_OptConcSelectBuild(ctx, "SELECT c FROM kk WHERE c = 'x' OR c IS NULL", 2, &t, &before), 0u);
    EXPECT_NE(Squeeze(t).find("SELECT \"a\", \"b\", \"c\", \"a\", \"b\" FROM kk WHERE ( \"a\" = ? AND \"b\" = ? OR "
                              "\"a\" = ? AND \"b\" = ? ) AND (c = 'x' OR c IS NULL)"),
              std::string::npos)
        << t;
    EXPECT_EQ(before, 0u);
    // Two key groups, rows 2 and 4: only row 4 meets the statement's own condition.
    stmttest::ParamSet p({{DS_INTEGER, 4}, {DS_CHAR_NTS, 8}, {DS_INTEGER, 4}, {DS_CHAR_NTS, 8}}, 1);
    p.Put<int32_t>(0, 0, 2);
    p.Text(1, 0, "q");
    p.Put<int32_t>(2, 0, 4);
    p.Text(3, 0, "s");
    Block rows;
    Fetch(t, p.Give(), &rows);
    ASSERT_EQ(rows.ds.rows_used, 1u);
    EXPECT_EQ(rows.ds.col_count, 5);
    EXPECT_EQ(rows.Get<int32_t>(0, 0), 4);
    EXPECT_TRUE(rows.IsNull(2, 0));
    // The statement's own markers before the key condition are counted for the values to follow.
    ASSERT_EQ(scs_p_OptConcSelectBuild(ctx, "SELECT c FROM kk k JOIN kk j ON j.a = ? WHERE k.c = ?", 1, &t, &before),
              0u);
    EXPECT_EQ(before, 1u) << t;
    EXPECT_NE(scs_p_OptConcSelectBuild(ctx, "SELECT FROM", 1, &t, &before), 0u);
    EXPECT_TRUE(Logged("SCR_AnalyseSQL failed: SELECT FROM"));
    SCR_ArrayFree(&ctx.tableCols, nullptr);
    EXPECT_EQ(scs_p_OptConcSelectBuild(ctx, "SELECT c FROM kk", 1, &t, &before), 15u);
}

}  // namespace
