// Prepare, execute and fetch through the operation table against the embedded engine.
#include "tests/support/agent_stmt_fixture.h"

#include "drv_ingii/i-exec.h"
#include "drv_ingii/i-info.h"

using namespace stmttest;

namespace {

class ExecTest : public AgentSession {
protected:
    uint32_t RowCount(uint32_t s) {
        uint32_t v = 0;
        uint16_t len = 0;
        EXPECT_EQ(AgentCall<DRV_GetInfo>(&link, s, 0x32010000u, &v, 4, &len), 0u);
        return v;
    }
    // Every row of the result, a block at a time: each into an empty header, or (handBack) into
    // the block before, handed back to be filled again.
    std::vector<std::string> FetchAll(uint32_t s, uint16_t block = 10, bool handBack = false) {
        std::vector<std::string> out;
        Block kept;
        for (;;) {
            Block fresh;
            Block& b = handBack ? kept : fresh;
            uint32_t rc = AgentCall<DRV_FetchRows>(&link, s, block, &b.ds);
            EXPECT_EQ(rc, 0u) << Errors(s);
            if (rc != 0 || b.ds.rows_used == 0) break;
            for (uint32_t r = 0; r < b.ds.rows_used; ++r) {
                std::string row;
                for (uint16_t c = 0; c < b.ds.col_count; ++c) {
                    if (c) row += "|";
                    const uint32_t kind = b.ds.cols[c].kind;
                    if (b.IsNull(c, r)) {
                        row += "NULL";
                    } else if (kind == DS_INTEGER) {
                        row += std::to_string(b.Get<int32_t>(c, r));
                    } else if (kind == DS_DOUBLE) {
                        char num[32];
                        std::snprintf(num, sizeof num, "%g", b.Get<double>(c, r));
                        row += num;
                    } else if (kind == DS_TIMESTAMP) {
                        const auto t = b.Get<DsTimestamp>(c, r);
                        row += std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day) +
                               " " + std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" +
                               std::to_string(t.second) + "." + std::to_string(t.fraction);
                    } else {
                        row += b.Text(c, r);
                    }
                }
                out.push_back(row);
            }
        }
        return out;
    }
};

TEST_F(ExecTest, SelectWithoutParametersFetchesInBlocks) {
    Exec("CREATE TABLE t1 (a INTEGER, b VARCHAR(20))");
    Exec("INSERT INTO t1 VALUES (1, 'one')");
    Exec("INSERT INTO t1 VALUES (2, 'two')");
    Exec("INSERT INTO t1 VALUES (3, NULL)");
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, "SELECT a, b FROM t1 ORDER BY a"), 0u) << Errors(s);
    uint16_t n = 0;
    ColumnInfo* cols = nullptr;
    ASSERT_EQ(AgentCall<DRV_DescribeCols>(&link, s, &n, &cols), 0u);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(cols[0].sql_type, 4);
    EXPECT_EQ(cols[1].sql_type, 12);
    EXPECT_EQ(cols[1].column_size, 20u);
    ColumnInfoArrayFree(cols, n);
    // No rows asked for: the columns alone.
    {
        Block none;
        ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 0, &none.ds), 0u);
        EXPECT_EQ(none.ds.col_count, 2);
        EXPECT_EQ(none.ds.rows_used, 0u);
    }
    EXPECT_EQ(FetchAll(s, 2), (std::vector<std::string>{"1|one", "2|two", "3|NULL"}));
    // After the last row a fetch gives no columns and no rows.
    Block b;
    EXPECT_EQ(AgentCall<DRV_FetchRows>(&link, s, 5, &b.ds), 0u);
    EXPECT_EQ(b.ds.col_count, 0);
    EXPECT_EQ(b.ds.rows_used, 0u);
}

// Each block of rows is read into the buffers the statement kept from the block before, sized
// for the widest rows it has seen: a shorter text, a NULL or a value after a NULL must come out
// as itself in every block, and a new result of other columns on the same statement as well.
TEST_F(ExecTest, EveryBlockHoldsItsOwnValuesWhateverTheBlockBeforeHeld) {
    Exec("CREATE TABLE bk (k INTEGER, c CHAR(6), v VARCHAR(12), b BIGINT, f FLOAT, ts TIMESTAMP(9), dc DECIMAL(7,2))");
    struct Row {
        const char* c;
        const char* v;
        const char* b;
        const char* ts;
        const char* dc;
    } rows[] = {
        {"'abcdef'", "'twelve chars'", "9223372036854775807", "'2024-02-29 13:45:10.123456789'", "12345.67"},
        {"'a'", "'x'", "-1", "'1999-12-31 23:59:59'", "-0.5"},
        {"NULL", "NULL", "NULL", "NULL", "NULL"},
        {"'bb'", "''", "0", "'2000-01-01 00:00:00.5'", "0"},
        {"'cccccc'", "'abc'", "42", "'2001-02-03 04:05:06.000000007'", "1.25"},
        {"NULL", "'after null'", "NULL", "'2002-03-04 05:06:07'", "NULL"},
        {"'d'", "NULL", "7", "NULL", "99999.99"},
    };
    for (int k = 0; k < int(std::size(rows)); ++k) {
        const Row& r = rows[k];
        // f: NULL in even rows, k + 0.5 in odd ones.
        const std::string f = k % 2 ? std::to_string(k + 1) + ".5" : "NULL";
        const std::string sql = "INSERT INTO bk VALUES (" + std::to_string(k) + ", " + r.c + ", " + r.v + ", " + r.b +
                                ", " + f + ", " + r.ts + ", " + r.dc + ")";
        Exec(sql.c_str());
    }
    // CHAR keeps its blanks (no trim character set).
    const std::vector<std::string> want = {
        "0|abcdef|twelve chars|9223372036854775807|NULL|2024-2-29 13:45:10.123456789|12345.67",
        "1|a     |x|-1|2.5|1999-12-31 23:59:59.0|-0.50",
        "2|NULL|NULL|NULL|NULL|NULL|NULL",
        "3|bb    ||0|4.5|2000-1-1 0:0:0.500000000|0.00",
        "4|cccccc|abc|42|NULL|2001-2-3 4:5:6.7|1.25",
        "5|NULL|after null|NULL|6.5|2002-3-4 5:6:7.0|NULL",
        "6|d     |NULL|7|NULL|NULL|99999.99",
    };
    uint32_t s = Stmt();
    for (const bool handBack : {false, true})
        for (uint16_t block : {3, 1, 7, 2}) {
            SCOPED_TRACE(testing::Message() << block << (handBack ? " handed back" : ""));
            ASSERT_EQ(Run(s, "SELECT k, c, v, b, f, ts, dc FROM bk ORDER BY k"), 0u) << Errors(s);
            EXPECT_EQ(FetchAll(s, block, handBack), want);
        }
    // Other columns, wider values, on the same statement and its kept buffers.
    ASSERT_EQ(Run(s, "SELECT v || v || v, k FROM bk WHERE v IS NOT NULL ORDER BY k DESC"), 0u) << Errors(s);
    EXPECT_EQ(FetchAll(s, 4), (std::vector<std::string>{"after nullafter nullafter null|5", "abcabcabc|4", "|3",
                                                        "xxx|1", "twelve charstwelve charstwelve chars|0"}));
}

// An empty date is NULL with its cell zeroed, as every NULL's is, also in a block filled again.
TEST_F(ExecTest, AnEmptyDateLeavesNoValueUnderItsNull) {
    Exec("CREATE TABLE he (k INTEGER, d INGRESDATE)");
    Exec("INSERT INTO he VALUES (1, '2020-01-15 10:00:00')");
    Exec("INSERT INTO he VALUES (2, '')");
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, "SELECT d FROM he ORDER BY k"), 0u) << Errors(s);
    Block b;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 1, &b.ds), 0u) << Errors(s);
    ASSERT_EQ(b.ds.rows_used, 1u);
    ASSERT_FALSE(b.IsNull(0, 0));
    const uint8_t* const data = b.ds.cols[0].data;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 1, &b.ds), 0u) << Errors(s);
    ASSERT_EQ(b.ds.rows_used, 1u);
    ASSERT_EQ(b.ds.cols[0].data, data);  // the same cell, where 2020-01-15 was
    EXPECT_TRUE(b.IsNull(0, 0));
    const DatasetColumn& col = b.ds.cols[0];
    EXPECT_EQ(std::vector<uint8_t>(col.width, 0), std::vector<uint8_t>(col.data, col.data + col.width));
}

// A block handed back to the statement's next fetch (the statement answers kPropFetchRefill
// with 1) is filled again in its own arrays when the new block has its shape: every row marked
// again, a NULL's cell zeroed, the rows past the new ones NULL; a block of another shape, or
// one the fetch has no rows for, is freed.
TEST_F(ExecTest, AHandedBackBlockIsFilledAgainInItsArraysOrFreed) {
    Exec("CREATE TABLE hb (k INTEGER, v VARCHAR(8), f FLOAT)");
    Exec("INSERT INTO hb VALUES (1, 'longtext', 1.5)");
    Exec("INSERT INTO hb VALUES (2, 'mid', 2.5)");
    Exec("INSERT INTO hb VALUES (3, 'x', NULL)");
    Exec("INSERT INTO hb VALUES (4, NULL, 4.5)");
    Exec("INSERT INTO hb VALUES (5, 'y', 5.5)");
    uint32_t s = Stmt();
    uint32_t refill = 0;
    uint16_t len = 0;
    ASSERT_EQ(AgentCall<DRV_GetInfo>(&link, s, uint32_t(kPropFetchRefill), &refill, 4, &len), 0u);
    EXPECT_EQ(refill, 1u);
    ASSERT_EQ(Run(s, "SELECT k, v, f FROM hb ORDER BY k"), 0u) << Errors(s);
    Block b;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 2, &b.ds), 0u) << Errors(s);
    ASSERT_EQ(b.ds.rows_used, 2u);
    const uint8_t* const data = b.ds.cols[2].data;
    const uint16_t* const indicators = b.ds.cols[2].indicators;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 2, &b.ds), 0u) << Errors(s);
    ASSERT_EQ(b.ds.rows_used, 2u);
    EXPECT_EQ(b.ds.cols[2].data, data);
    EXPECT_EQ(b.ds.cols[2].indicators, indicators);
    EXPECT_EQ(b.Get<int32_t>(0, 0), 3);
    EXPECT_EQ(b.Text(1, 0), "x");
    EXPECT_TRUE(b.IsNull(2, 0));
    EXPECT_EQ(b.Get<double>(2, 0), 0.0);  // where 1.5 was
    EXPECT_TRUE(b.IsNull(1, 1));
    EXPECT_EQ(b.Text(1, 1), "");  // where "mid" was
    EXPECT_EQ(b.Get<double>(2, 1), 4.5);
    // The last row: the row after it is NULL again, as in a new block.
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 2, &b.ds), 0u) << Errors(s);
    ASSERT_EQ(b.ds.rows_used, 1u);
    EXPECT_EQ(b.ds.cols[2].data, data);
    EXPECT_EQ(b.Text(1, 0), "y");
    for (uint16_t c = 0; c < b.ds.col_count; ++c) EXPECT_TRUE(b.IsNull(c, 1)) << c;
    // No more rows: the columns without rows, then no columns (the block goes).
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 2, &b.ds), 0u) << Errors(s);
    EXPECT_EQ(b.ds.col_count, 3);
    EXPECT_EQ(b.ds.rows_used, 0u);
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 2, &b.ds), 0u) << Errors(s);
    EXPECT_EQ(b.ds.col_count, 0);
    EXPECT_EQ(b.ds.cols, nullptr);
    // More rows wanted than the block holds, and other columns: new blocks.
    ASSERT_EQ(Run(s, "SELECT k, v, f FROM hb ORDER BY k"), 0u) << Errors(s);
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 1, &b.ds), 0u) << Errors(s);
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 3, &b.ds), 0u) << Errors(s);
    EXPECT_EQ(b.ds.rows_used, 3u);
    EXPECT_EQ(b.Text(1, 0), "mid");
    ASSERT_EQ(Run(s, "SELECT v, k FROM hb ORDER BY k DESC"), 0u) << Errors(s);
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 3, &b.ds), 0u) << Errors(s);
    EXPECT_EQ(b.ds.rows_used, 3u);
    EXPECT_EQ(b.Text(0, 0), "y");
    EXPECT_EQ(b.Get<int32_t>(1, 2), 3);
}

TEST_F(ExecTest, FetchBeforeExecuteAndExecuteBeforePrepareAreSequenceErrors) {
    uint32_t s = Stmt();
    EXPECT_EQ(AgentCall<DRV_Execute>(&link, s), 22u);
    Block b;
    EXPECT_EQ(AgentCall<DRV_FetchRows>(&link, s, 1, &b.ds), 22u);
    EXPECT_EQ(AgentCall<DRV_Execute>(&link, 12345u), 21u);
    EXPECT_EQ(AgentCall<DRV_Prepare>(&link, 0u, "SELECT 1"), 21u);
    EXPECT_EQ(AgentCall<DRV_FetchRows>(&link, s, 1, nullptr), 21u);
}

TEST_F(ExecTest, MarkersWithoutValuesGiveWrongNumberOfParameters) {
    Exec("CREATE TABLE t2 (a INTEGER)");
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "INSERT INTO t2 VALUES (?)"), 0u) << Errors(s);
    EXPECT_EQ(AgentCall<DRV_Execute>(&link, s), 48u);
}

TEST_F(ExecTest, ParameterArrayRunsOncePerRowAndSumsRowCounts) {
    Exec("CREATE TABLE t3 (a INTEGER NOT NULL PRIMARY KEY, b VARCHAR(10))");
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "INSERT INTO t3 VALUES (?, ?)"), 0u) << Errors(s);
    ParamSet p({{DS_INTEGER, 4}, {DS_CHAR_NTS, 10}}, 3);
    for (int r = 0; r < 3; ++r) {
        p.Put<int32_t>(0, uint32_t(r), r + 1);
        p.Text(1, uint32_t(r), "v" + std::to_string(r));
    }
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    EXPECT_EQ(RowCount(s), 3u);

    // A failure in the second row stops there and leaves its index as the row count.
    ParamSet q({{DS_INTEGER, 4}, {DS_CHAR_NTS, 10}}, 3);
    q.Put<int32_t>(0, 0, 10);
    q.Put<int32_t>(0, 1, 2);  // duplicate key
    q.Put<int32_t>(0, 2, 11);
    for (uint32_t r = 0; r < 3; ++r) q.Text(1, r, "x");
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, q.Give()), 0u);
    EXPECT_NE(AgentCall<DRV_Execute>(&link, s), 0u);
    EXPECT_EQ(IngStmtFind(s)->rowCount, 1u);
    EXPECT_NE(Errors(s), "");

    uint32_t sel = Stmt();
    ASSERT_EQ(Run(sel, "SELECT a, b FROM t3 ORDER BY a"), 0u);
    EXPECT_EQ(FetchAll(sel), (std::vector<std::string>{"1|v0", "2|v1", "3|v2", "10|x"}));
}

TEST_F(ExecTest, StatementWithoutMarkersRunsDirectlyOncePerRow) {
    Exec("CREATE TABLE t4 (a INTEGER)");
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, "INSERT INTO t4 VALUES (7)"), 0u) << Errors(s);
    EXPECT_EQ(RowCount(s), 1u);
    // Not sent for preparation: no result description, prepared flag set.
    EXPECT_EQ(IngStmtFind(s)->columnCount, 0);
    uint32_t sel = Stmt();
    ASSERT_EQ(Run(sel, "SELECT COUNT(*) FROM t4"), 0u);
    EXPECT_EQ(FetchAll(sel), (std::vector<std::string>{"1"}));
}

TEST_F(ExecTest, SelectForEachParameterRowIsReadThroughMoreResults) {
    Exec("CREATE TABLE t5 (a INTEGER)");
    Exec("INSERT INTO t5 VALUES (1)");
    Exec("INSERT INTO t5 VALUES (2)");
    Exec("INSERT INTO t5 VALUES (3)");
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "SELECT a FROM t5 WHERE a >= ? ORDER BY a"), 0u) << Errors(s);
    ParamSet p({{DS_INTEGER, 4}}, 3);
    p.Put<int32_t>(0, 0, 3);
    p.Put<int32_t>(0, 1, 1);
    p.Put<int32_t>(0, 2, 2);
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    EXPECT_EQ(FetchAll(s), (std::vector<std::string>{"3"}));
    ASSERT_EQ(AgentCall<DRV_MoreResults>(&link, s), 0u) << Errors(s);
    EXPECT_EQ(FetchAll(s), (std::vector<std::string>{"1", "2", "3"}));
    ASSERT_EQ(AgentCall<DRV_MoreResults>(&link, s), 0u);
    EXPECT_EQ(FetchAll(s), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(AgentCall<DRV_MoreResults>(&link, s), 73u);
}

TEST_F(ExecTest, MaxRowsCapsTheRowsDelivered) {
    Exec("CREATE TABLE t6 (a INTEGER)");
    for (int i = 0; i < 12; ++i) Exec(("INSERT INTO t6 VALUES (" + std::to_string(i) + ")").c_str());
    uint32_t s = Stmt();
    uint32_t cap = 10;
    ASSERT_EQ(AgentCall<DRV_SetOption>(&link, s, 0x32030001u, &cap), 0u);
    ASSERT_EQ(Run(s, "SELECT a FROM t6"), 0u);
    Block b1;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 8, &b1.ds), 0u);
    EXPECT_EQ(b1.ds.rows_used, 8u);
    Block b2;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 8, &b2.ds), 0u);
    EXPECT_EQ(b2.ds.rows_used, 2u);
    Block b3;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 8, &b3.ds), 0u);
    EXPECT_EQ(b3.ds.rows_used, 0u);
}

class ManualCommitTest : public ExecTest {
protected:
    void SetUp() override { Open(false, true); }
};

TEST_F(ManualCommitTest, FetchAfterCommitIsPrematureEofAndExecutePreparesAgain) {
    Exec("CREATE TABLE t7 (a INTEGER)");
    Exec("INSERT INTO t7 VALUES (1)");
    Exec("INSERT INTO t7 VALUES (2)");
    ASSERT_EQ(AgentCall<DRV_Commit>(&link, conn), 0u) << Errors(conn);
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, "SELECT a FROM t7 ORDER BY a"), 0u) << Errors(s);
    Block b;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 1, &b.ds), 0u);
    ASSERT_EQ(AgentCall<DRV_Commit>(&link, conn), 0u) << Errors(conn);
    Block after;
    EXPECT_EQ(AgentCall<DRV_FetchRows>(&link, s, 1, &after.ds), 70u);
    EXPECT_TRUE(IngStmtFind(s)->state & kStmtReprepare);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    EXPECT_FALSE(IngStmtFind(s)->state & kStmtReprepare);
    EXPECT_EQ(FetchAll(s), (std::vector<std::string>{"1", "2"}));
}

// Autocommit commits after each other statement; the open cursor of the first reads on.
TEST_F(ExecTest, AutocommitOfOtherStatementsLeavesAnOpenCursorReading) {
    Exec("CREATE TABLE t9 (a INTEGER)");
    for (const char* sql : {"INSERT INTO t9 VALUES (1)", "INSERT INTO t9 VALUES (2)", "INSERT INTO t9 VALUES (3)",
                            "INSERT INTO t9 VALUES (4)", "INSERT INTO t9 VALUES (5)"})
        Exec(sql);
    Exec("CREATE TABLE t9_side (a INTEGER)");
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, "SELECT a FROM t9 ORDER BY a"), 0u) << Errors(s);
    Block first;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 2, &first.ds), 0u);
    ASSERT_EQ(first.ds.rows_used, 2u);
    Exec("INSERT INTO t9_side VALUES (1)");
    Exec("UPDATE t9_side SET a = 2");
    EXPECT_FALSE(IngStmtFind(s)->state & kStmtReprepare);
    EXPECT_EQ(FetchAll(s), (std::vector<std::string>{"3", "4", "5"}));
}

TEST_F(ManualCommitTest, RollbackUndoesWorkOfStatements) {
    Exec("CREATE TABLE t8 (a INTEGER)");
    ASSERT_EQ(AgentCall<DRV_Commit>(&link, conn), 0u);
    Exec("INSERT INTO t8 VALUES (1)");
    ASSERT_EQ(AgentCall<DRV_Rollback>(&link, conn), 0u);
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, "SELECT COUNT(*) FROM t8"), 0u);
    EXPECT_EQ(FetchAll(s), (std::vector<std::string>{"0"}));
}

TEST_F(ExecTest, OrderByColumnMissingFromSelectListIsRepairedAndHidden) {
    ASSERT_EQ(iiengine_setControl(IIENGINE_ORDER_BY, "strict"), 0);
    TearDown();
    stmts.clear();
    Open();
    iiengine_setControl(IIENGINE_ORDER_BY, nullptr);
    Exec("CREATE TABLE t9 (a INTEGER, b INTEGER)");
    Exec("INSERT INTO t9 VALUES (1, 30)");
    Exec("INSERT INTO t9 VALUES (2, 10)");
    Exec("INSERT INTO t9 VALUES (3, 20)");
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, "SELECT a FROM t9 ORDER BY t9.b"), 0u) << Errors(s);
    EXPECT_EQ(IngStmtFind(s)->hiddenColumns, 1u);
    uint16_t n = 0;
    ASSERT_EQ(AgentCall<DRV_DescribeCols>(&link, s, &n, nullptr), 0u);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(FetchAll(s), (std::vector<std::string>{"2", "3", "1"}));

    // Unqualified, through a correlation name, and in both SELECTs of a UNION.
    uint32_t u = Stmt();
    ASSERT_EQ(Run(u, "SELECT x.a FROM t9 x WHERE x.a < 3 UNION SELECT y.a FROM t9 y WHERE y.a = 3 ORDER BY b"), 0u)
        << Errors(u);
    EXPECT_EQ(IngStmtFind(u)->hiddenColumns, 1u);
    EXPECT_EQ(FetchAll(u), (std::vector<std::string>{"2", "3", "1"}));

    // A statement the repair cannot mend keeps the server's refusal.
    uint32_t bad = Stmt();
    EXPECT_EQ(AgentCall<DRV_Prepare>(&link, bad, "SELECT a FROM t9 ORDER BY p.b, q.b"), 68u);
    EXPECT_NE(Errors(bad).find("42501"), std::string::npos);
}

TEST_F(ManualCommitTest, RepairedSelectIsPreparedAgainWithItsRepair) {
    ASSERT_EQ(iiengine_setControl(IIENGINE_ORDER_BY, "strict"), 0);
    TearDown();
    stmts.clear();
    Open(false, true);
    iiengine_setControl(IIENGINE_ORDER_BY, nullptr);
    Exec("CREATE TABLE t13 (a INTEGER, b INTEGER)");
    Exec("INSERT INTO t13 VALUES (1, 2)");
    Exec("INSERT INTO t13 VALUES (2, 1)");
    ASSERT_EQ(AgentCall<DRV_Commit>(&link, conn), 0u);
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, "SELECT a FROM t13 ORDER BY b"), 0u) << Errors(s);
    ASSERT_EQ(AgentCall<DRV_Commit>(&link, conn), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    EXPECT_EQ(FetchAll(s), (std::vector<std::string>{"2", "1"}));
}

TEST_F(ExecTest, ReadOnlyConnectionRefusesOtherStatements) {
    Exec("CREATE TABLE t10 (a INTEGER)");
    IngConnFind(conn)->readOnly = 1;
    uint32_t s = Stmt();
    EXPECT_EQ(AgentCall<DRV_Prepare>(&link, s, "INSERT INTO t10 VALUES (1)"), 95u);
    EXPECT_NE(Errors(s).find("IM916"), std::string::npos);
    EXPECT_EQ(AgentCall<DRV_Prepare>(&link, s, "SELECT a FROM t10"), 0u);
    IngConnFind(conn)->readOnly = 0;
}

TEST_F(ExecTest, SyntaxErrorGivesCode68WithServerMessages) {
    uint32_t s = Stmt();
    EXPECT_EQ(AgentCall<DRV_Prepare>(&link, s, "SELECT FROM WHERE"), 68u);
    EXPECT_NE(Errors(s), "");
}

TEST_F(ExecTest, CloseCursorLeavesStatementPreparedForAnotherExecute) {
    Exec("CREATE TABLE t11 (a INTEGER)");
    Exec("INSERT INTO t11 VALUES (5)");
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, "SELECT a FROM t11"), 0u);
    ASSERT_EQ(AgentCall<DRV_CloseCursor>(&link, s), 0u);
    Block b;
    EXPECT_EQ(AgentCall<DRV_FetchRows>(&link, s, 1, &b.ds), 22u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    EXPECT_EQ(FetchAll(s), (std::vector<std::string>{"5"}));
}

TEST_F(ExecTest, PrepareExecuteRunsTheSequence) {
    Exec("CREATE TABLE t12 (a INTEGER)");
    uint32_t s = Stmt();
    ParamSet p({{DS_INTEGER, 4}}, 2);
    p.Put<int32_t>(0, 0, 1);
    p.Put<int32_t>(0, 1, 2);
    ASSERT_EQ(AgentCall<DRV_PrepareExecute>(&link, s, "INSERT INTO t12 VALUES (?)", p.Give(), uint16_t(0), nullptr), 0u)
        << Errors(s);
    EXPECT_EQ(RowCount(s), 2u);
}

struct RepairCase {
    const char* text;
    const char* message;
    const char* expected;  // null: no repair
};

TEST(OrderByRepair, AddsTheColumnToEverySelectList) {
    const RepairCase cases[] = {
        {"SELECT a FROM t ORDER BY t.b", "column 'b' not in select list", "SELECT a, t.\"b\" FROM t ORDER BY t.b"},
        {"SELECT a FROM t ORDER BY b", "'b'", "SELECT a, t.\"b\" FROM t ORDER BY b"},
        {"SELECT a FROM t x ORDER BY b", "'b'", "SELECT a, x.\"b\" FROM t x ORDER BY b"},
        {"SELECT a FROM t AS x ORDER BY x.b", "'b'", "SELECT a, x.\"b\" FROM t AS x ORDER BY x.b"},
        {"SELECT a FROM own.t ORDER BY own.t.b", "'b'", "SELECT a, own.t.\"b\" FROM own.t ORDER BY own.t.b"},
        {"SELECT a FROM s, t y WHERE s.k = y.k ORDER BY y.b", "'b'",
         "SELECT a, y.\"b\" FROM s, t y WHERE s.k = y.k ORDER BY y.b"},
        {"SELECT a FROM t x UNION SELECT a FROM t z ORDER BY x.b", "'b'",
         "SELECT a, x.\"b\" FROM t x UNION SELECT a, z.\"b\" FROM t z ORDER BY x.b"},
        // Nothing to repair with.
        {"SELECT a FROM t", "'b'", nullptr},
        {"SELECT a FROM t ORDER BY b", "no quotes here", nullptr},
        {"SELECT a FROM t ORDER BY x.b, y.b", "'b'", nullptr},
        {"SELECT a FROM t ORDER BY q.b", "'b'", nullptr},
    };
    for (const RepairCase& c : cases) {
        char* out = IngOrderByRepair(c.text, c.message);
        if (c.expected == nullptr) {
            EXPECT_EQ(out, nullptr) << c.text << " gave " << out;
        } else {
            ASSERT_NE(out, nullptr) << c.text;
            EXPECT_STREQ(out, c.expected) << c.text;
        }
        std::free(out);
    }
    EXPECT_EQ(IngOrderByRepair(nullptr, "'b'"), nullptr);
    EXPECT_EQ(IngOrderByRepair("SELECT a FROM t ORDER BY b", nullptr), nullptr);
}

}  // namespace

namespace {
TEST_F(ExecTest, LargeBlockRequestsAreServedInPieces) {
    Exec("CREATE TABLE big (a INTEGER)");
    Exec("INSERT INTO big VALUES (0)");
    // Doubling: 2^16 rows.
    for (int n = 1; n < 65536; n *= 2) Exec(("INSERT INTO big SELECT a + " + std::to_string(n) + " FROM big").c_str());
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, "SELECT a FROM big ORDER BY a"), 0u);
    uint32_t total = 0;
    int32_t last = -1;
    for (;;) {
        Block b;
        ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, uint16_t(60000), &b.ds), 0u);
        if (b.ds.rows_used == 0) break;
        EXPECT_LE(b.ds.rows_used, 0x7FFFu);
        for (uint32_t r = 0; r < b.ds.rows_used; ++r) {
            EXPECT_EQ(b.Get<int32_t>(0, r), last + 1);
            last = b.Get<int32_t>(0, r);
        }
        total += b.ds.rows_used;
    }
    EXPECT_EQ(total, 65536u);
}
}  // namespace
