// Table and column descriptions from the catalog of the sample database, through the agent.
#include <cstring>

#include "tests/scrs/keys_fixture.h"

namespace {

using keystest::DescSession;

std::string FirstMessage(const IngDiagList& l) {
    return l.first != nullptr ? std::string(l.first->text) + (l.first->sqlstate ? l.first->sqlstate : "") : "";
}

TEST_F(DescSession, TableResolvesToCatalogOwnerAndNameQuoted) {
    ASSERT_EQ(Analyse("SELECT * FROM dept"), 0u);
    EXPECT_STREQ(Table(0)->owner, "\"owner\"");
    EXPECT_STREQ(Table(0)->table, "\"dept\"");
    EXPECT_STREQ(Table(0)->qualifier, "");
    EXPECT_EQ(calls[DRV_DDTables], 1);
}

TEST_F(DescSession, UpperCaseNameFollowsTheIdentifierCase) {
    ASSERT_EQ(Analyse("SELECT * FROM owner.DEPT d"), 0u);
    EXPECT_STREQ(Table(0)->table, "\"dept\"");
    EXPECT_STREQ(Table(0)->alias, "d");
}

TEST_F(DescSession, WithoutQuoteCharacterNamesStayPlain) {
    ctx.quote = 0;
    ASSERT_EQ(Analyse("SELECT * FROM emp"), 0u);
    EXPECT_STREQ(Table(0)->owner, "owner");
    EXPECT_STREQ(Table(0)->table, "emp");
}

TEST_F(DescSession, QuotedMixedCaseNameKeepsItsCase) {
    Exec("CREATE TABLE \"MixT\" (\"Col One\" integer, b integer)");
    ASSERT_EQ(Analyse("SELECT * FROM \"MixT\""), 0u) << FirstMessage(msgs);
    EXPECT_STREQ(Table(0)->table, "\"MixT\"");
    SCR_Array* cols = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(scs_p_GetTblColDescs(&ctx, tables, tables->count, 0, cols), 0u);
    EXPECT_EQ(Columns(cols), (std::vector<std::string>{"\"Col One\"", "\"b\""}));
    SCR_ArrayFree(&cols, nullptr);
}

TEST_F(DescSession, MissingTablePostsNotFound) {
    EXPECT_EQ(Analyse("SELECT * FROM nosuch"), 10u);
    EXPECT_NE(FirstMessage(msgs).find("42S02"), std::string::npos) << FirstMessage(msgs);
    EXPECT_TRUE(Logged("scs_p_GetTblDescs: Table nosuch does not exist."));
}

TEST_F(DescSession, UnderscoreInANameIsNoWildcard) {
    Exec("CREATE TABLE a_b (x integer)");
    Exec("CREATE TABLE axb (y integer)");
    ASSERT_EQ(Analyse("SELECT * FROM a_b"), 0u);
    EXPECT_STREQ(Table(0)->table, "\"a_b\"");
    SCR_Array* cols = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(scs_p_GetTblColDescs(&ctx, tables, 1, 0, cols), 0u);
    EXPECT_EQ(Columns(cols), (std::vector<std::string>{"\"x\""}));
    SCR_ArrayFree(&cols, nullptr);
}

TEST_F(DescSession, AmbiguousNameIsRetriedWithTheUserAsOwner) {
    mode[DRV_DDTables] = 3;
    ASSERT_EQ(Analyse("SELECT * FROM emp"), 0u);
    EXPECT_EQ(calls[DRV_DDTables], 2);
    EXPECT_STREQ(Table(0)->table, "\"emp\"");
    EXPECT_TRUE(Logged("Trying current username (owner) as owner qualifier."));
}

TEST_F(DescSession, AmbiguousOnTheRetryGivesDuplicateTableName) {
    mode[DRV_DDTables] = 4;
    EXPECT_EQ(Analyse("SELECT * FROM emp"), 97u);
    EXPECT_EQ(calls[DRV_DDTables], 2);
}

TEST_F(DescSession, AmbiguousWithAWrittenOwnerIsNotRetried) {
    mode[DRV_DDTables] = 4;
    EXPECT_EQ(Analyse("SELECT * FROM owner.emp"), 97u);
    EXPECT_EQ(calls[DRV_DDTables], 1);
}

TEST_F(DescSession, RetryUnderAnotherUserFindsNothing) {
    mode[DRV_DDTables] = 3;
    ctx.userName = "nobody";
    EXPECT_EQ(Analyse("SELECT * FROM emp"), 10u);
}

TEST_F(DescSession, ColumnsInCatalogOrderWithTypes) {
    ASSERT_EQ(Analyse("SELECT * FROM emp e"), 0u);
    SCR_Array* cols = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(scs_p_GetTblColDescs(&ctx, tables, 1, 0, cols), 0u);
    ASSERT_EQ(cols->count, 9u);
    const ColDesc* sal = At(cols, 5);
    EXPECT_STREQ(sal->column, "\"sal\"");
    EXPECT_EQ(sal->sqlType, 3);
    EXPECT_EQ(sal->columnSize, 9u);
    EXPECT_EQ(sal->decimalDigits, 2);
    EXPECT_EQ(sal->itemKind, 4u);
    EXPECT_STREQ(sal->alias, "e");
    EXPECT_STREQ(sal->owner, "\"owner\"");
    EXPECT_STREQ(sal->table, "\"emp\"");
    EXPECT_EQ(At(cols, 0)->decimalDigits, 0);
    SCR_ArrayFree(&cols, nullptr);
}

TEST_F(DescSession, SkipLongLeavesOutLongColumns) {
    ASSERT_EQ(Analyse("SELECT * FROM all_types"), 0u);
    SCR_Array* all = SCR_ArrayCreate(sizeof(ColDesc));
    SCR_Array* shortOnes = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(scs_p_GetTblColDescs(&ctx, tables, 1, 0, all), 0u);
    ASSERT_EQ(scs_p_GetTblColDescs(&ctx, tables, 1, 1, shortOnes), 0u);
    uint32_t longs = 0;
    for (uint32_t i = 0; i < all->count; ++i) {
        int16_t t = At(all, i)->sqlType;
        if (t == -1 || t == -4 || t == -10) ++longs;
    }
    EXPECT_GT(longs, 0u);
    EXPECT_EQ(shortOnes->count, all->count - longs);
    for (uint32_t i = 0; i < shortOnes->count; ++i) EXPECT_NE(At(shortOnes, i)->sqlType, -1);
    SCR_ArrayFree(&all, nullptr);
    SCR_ArrayFree(&shortOnes, nullptr);
}

TEST_F(DescSession, TenColumnsNeedASecondFetch) {
    Exec("CREATE TABLE ten (c1 int, c2 int, c3 int, c4 int, c5 int, c6 int, c7 int, c8 int, c9 int, c10 int)");
    ASSERT_EQ(Analyse("SELECT * FROM ten"), 0u);
    SCR_Array* cols = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(scs_p_GetTblColDescs(&ctx, tables, 1, 0, cols), 0u);
    ASSERT_EQ(cols->count, 10u);
    EXPECT_STREQ(At(cols, 9)->column, "\"c10\"");
    SCR_ArrayFree(&cols, nullptr);
}

TEST_F(DescSession, SelectListWithTableWildcardColumnAndExpression) {
    ASSERT_EQ(Analyse("SELECT d.*, e.ename, e.sal * 2 FROM dept d, emp e WHERE d.deptno = e.deptno"), 0u);
    SCR_Array* cols = SCR_ArrayCreate(sizeof(ColDesc));
    SCR_Array* items = nullptr;
    ASSERT_EQ(scs_p_SelectColsGet(&ctx, cols, &items), 0u);
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(items->count, 3u);
    ASSERT_EQ(cols->count, 5u);
    EXPECT_STREQ(At(cols, 0)->column, "\"deptno\"");
    EXPECT_STREQ(At(cols, 0)->alias, "d");
    EXPECT_EQ(At(cols, 3)->itemKind, 4u);
    EXPECT_STREQ(At(cols, 3)->column, "ename");
    EXPECT_EQ(At(cols, 4)->itemKind, 3u);
    SCR_ArrayFree(&items, nullptr);
    SCR_ArrayFree(&cols, nullptr);
}

TEST_F(DescSession, TableWildcardByTableName) {
    ASSERT_EQ(Analyse("SELECT dept.* FROM dept"), 0u);
    SCR_Array* cols = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(scs_p_SelectColsGet(&ctx, cols, nullptr), 0u);
    EXPECT_EQ(cols->count, 3u);
    SCR_ArrayFree(&cols, nullptr);
}

TEST_F(DescSession, BareWildcardOverTwoTables) {
    ASSERT_EQ(Analyse("SELECT * FROM dept, emp"), 0u);
    SCR_Array* cols = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(scs_p_SelectColsGet(&ctx, cols, nullptr), 0u);
    EXPECT_EQ(cols->count, 12u);
    SCR_ArrayFree(&cols, nullptr);
}

TEST_F(DescSession, UnknownTableWildcardFails) {
    ASSERT_EQ(Analyse("SELECT x.* FROM dept d"), 0u);
    SCR_Array* cols = SCR_ArrayCreate(sizeof(ColDesc));
    EXPECT_EQ(scs_p_SelectColsGet(&ctx, cols, nullptr), 15u);
    EXPECT_TRUE(Logged("scs_p_SelectColsGet: Unable to find descriptor for table/alias x"));
    SCR_ArrayFree(&cols, nullptr);
}

}  // namespace

namespace {

class DescSessionWide : public keystest::DescSession {
protected:
    void SetUp() override {
        unicode = true;
        DescSession::SetUp();
    }
};

TEST_F(DescSessionWide, WideCatalogTextIsReadAsUtf8) {
    Exec("CREATE TABLE \"t\xC3\xA9st\" (\"c\xC3\xB6l\" integer)");
    ASSERT_EQ(Analyse("SELECT * FROM \"t\xC3\xA9st\""), 0u);
    EXPECT_STREQ(Table(0)->table, "\"t\xC3\xA9st\"");
    SCR_Array* cols = SCR_ArrayCreate(sizeof(ColDesc));
    ASSERT_EQ(scs_p_GetTblColDescs(&ctx, tables, 1, 0, cols), 0u);
    EXPECT_EQ(Columns(cols), (std::vector<std::string>{"\"c\xC3\xB6l\""}));
    SCR_ArrayFree(&cols, nullptr);
    ctx.keyCols = nullptr;
    mode[DRV_DDSpecialColumns] = 1;
    Exec("CREATE TABLE wk (k integer NOT NULL PRIMARY KEY, v integer)");
    ASSERT_EQ(Analyse("SELECT v FROM wk"), 0u);
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    EXPECT_EQ(Columns(ctx.keyCols), (std::vector<std::string>{"\"k\""}));
    EXPECT_EQ(At(ctx.keyCols, 0)->sqlType, 4);
}

}  // namespace
