// Key-column choice over the sample database: the three catalog strategies, their order,
// the description of index keys and the per-connection cache.
#include "tests/scrs/keys_fixture.h"

namespace {

using keystest::DescSession;

class Keys : public DescSession {
protected:
    void SetUp() override {
        DescSession::SetUp();
        Exec("CREATE TABLE kk (a integer NOT NULL, b decimal(8,3) NOT NULL, c integer, PRIMARY KEY (a, b))");
        ctx.keyCache = KS_KeyColCacheCreate();
    }
    std::vector<std::string> Keys_() const { return Columns(ctx.keyCols); }
};

TEST_F(Keys, SpecialColumnsGiveThePseudoColumnUnquoted) {
    ASSERT_EQ(Analyse("SELECT * FROM dept"), 0u);
    ResetCalls();
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    ASSERT_EQ(Keys_(), (std::vector<std::string>{"tid"}));
    EXPECT_NE(At(ctx.keyCols, 0)->sqlType, 0);
    EXPECT_STREQ(At(ctx.keyCols, 0)->table, "\"dept\"");
    EXPECT_EQ(calls[DRV_DDSpecialColumns], 1);
    EXPECT_EQ(calls[DRV_DDStatistics], 0);
    EXPECT_EQ(calls[DRV_DDColumns], 0);
    EXPECT_EQ(ctx.tableCount, 1);
}

TEST_F(Keys, NotCapableSpecialColumnsFallToTheUniqueIndex) {
    mode[DRV_DDSpecialColumns] = 1;
    ASSERT_EQ(Analyse("SELECT * FROM kk"), 0u);
    ResetCalls();
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    ASSERT_EQ(Keys_(), (std::vector<std::string>{"\"a\"", "\"b\""}));
    // Index keys are described through the columns catalog, one call each.
    EXPECT_EQ(calls[DRV_DDColumns], 2);
    EXPECT_EQ(At(ctx.keyCols, 0)->sqlType, 4);
    EXPECT_EQ(At(ctx.keyCols, 1)->sqlType, 3);
    EXPECT_EQ(At(ctx.keyCols, 1)->columnSize, 8u);
    EXPECT_EQ(At(ctx.keyCols, 1)->decimalDigits, 3);
    EXPECT_EQ(calls[DRV_DDPrimaryKeys], 0);
}

TEST_F(Keys, OnlyTheFirstUniqueIndexIsTaken) {
    mode[DRV_DDSpecialColumns] = 1;
    // emp has a unique primary key and a unique index (ename, empno).
    ASSERT_EQ(Analyse("SELECT * FROM emp"), 0u);
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    EXPECT_EQ(Keys_(), (std::vector<std::string>{"\"empno\""}));
}

TEST_F(Keys, EmptyStatisticsFallToThePrimaryKey) {
    mode[DRV_DDSpecialColumns] = 2;
    mode[DRV_DDStatistics] = 2;
    ASSERT_EQ(Analyse("SELECT * FROM kk"), 0u);
    ResetCalls();
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    EXPECT_EQ(Keys_(), (std::vector<std::string>{"\"a\"", "\"b\""}));
    EXPECT_EQ(calls[DRV_DDPrimaryKeys], 1);
    EXPECT_EQ(At(ctx.keyCols, 1)->sqlType, 3);
}

TEST_F(Keys, NoKeyAnywhereGivesNoKeyColumns) {
    mode[DRV_DDSpecialColumns] = 2;
    mode[DRV_DDStatistics] = 2;
    mode[DRV_DDPrimaryKeys] = 2;
    ASSERT_EQ(Analyse("SELECT * FROM kk"), 0u);
    EXPECT_EQ(KS_GetKeyColDescs(&ctx, tables), 84u);
    // Nothing is cached for a failed choice.
    mode[DRV_DDPrimaryKeys] = 0;
    ResetCalls();
    EXPECT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    EXPECT_EQ(calls[DRV_DDPrimaryKeys], 1);
}

TEST_F(Keys, OnlyTheTableWithoutSpecialColumnsIsAskedForStatistics) {
    mode[DRV_DDSpecialColumns] = 2;
    only = "kk";
    ASSERT_EQ(Analyse("SELECT * FROM dept, kk"), 0u);
    ResetCalls();
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    EXPECT_EQ(calls[DRV_DDSpecialColumns], 2);
    EXPECT_EQ(calls[DRV_DDStatistics], 1);
    EXPECT_EQ(Keys_(), (std::vector<std::string>{"tid", "\"a\"", "\"b\""}));
    EXPECT_EQ(ctx.tableCount, 2);
}

TEST_F(Keys, CatalogFailureIsReturnedAndLogged) {
    mode[DRV_DDSpecialColumns] = 2;
    ASSERT_EQ(Analyse("SELECT * FROM kk"), 0u);
    // A statistics call on a handle the agent does not know fails.
    ctx.auxStmt = 0x7FFF;
    EXPECT_NE(KS_GetKeyColDescs(&ctx, tables), 0u);
    EXPECT_TRUE(Logged("KS_GetKeyColDescs_SpCols: DRV_DDSpecialColumns failed."));
}

TEST_F(Keys, SecondChoiceOverTheSameTablesComesFromTheCache) {
    ASSERT_EQ(Analyse("SELECT * FROM dept, emp"), 0u);
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    std::vector<std::string> first = Keys_();
    ResetCalls();
    ASSERT_EQ(Analyse("SELECT dname FROM dept, emp WHERE dept.deptno = emp.deptno"), 0u);
    ResetCalls();
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    EXPECT_EQ(Keys_(), first);
    EXPECT_EQ(calls[DRV_DDSpecialColumns] + calls[DRV_DDStatistics] + calls[DRV_DDPrimaryKeys], 0);
    // The same tables in another order make their own entry.
    ASSERT_EQ(Analyse("SELECT * FROM emp, dept"), 0u);
    ResetCalls();
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    EXPECT_EQ(calls[DRV_DDSpecialColumns], 2);
}

TEST_F(Keys, CachedKeysHaveNoOrderPositions) {
    mode[DRV_DDSpecialColumns] = 1;
    ASSERT_EQ(Analyse("SELECT * FROM kk ORDER BY b"), 0u);
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    ASSERT_EQ(scs_p_OrderByAnalyse(&ctx), 0u);
    scs_p_MarkKeyOrderPositions(&ctx);
    EXPECT_EQ(At(ctx.keyCols, 1)->orderPosition, 1);
    ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
    EXPECT_EQ(At(ctx.keyCols, 1)->orderPosition, 0);
}

TEST_F(Keys, PrimaryKeysWithoutFlagsExamineEveryTable) {
    ASSERT_EQ(Analyse("SELECT * FROM kk, dept"), 0u);
    ctx.keyCols = SCR_ArrayCreate(sizeof(ColDesc));
    EXPECT_EQ(KS_GetKeyColDescs_PKeys(&ctx, tables, tables->count, nullptr), 0u);
    EXPECT_EQ(Keys_(), (std::vector<std::string>{"\"a\"", "\"b\"", "\"deptno\""}));
}

}  // namespace
