// Static scrollable cursors at the agent's level: the set-up at prepare (analysis and
// downgrades), and the slot fetch serving rowsets from the snapshot by start row.
#include <sqlext.h>

#include "util/rowset.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_keyset.h"
#include "scrs/sc_s.h"
#include "scrs/sc_static.h"
#include "scrs/ss.h"
#include "drv_ingii/i-ask.h"
#include "tests/support/agent_stmt_fixture.h"

using namespace stmttest;

namespace {

class StaticSlot : public AgentSession {
protected:
    Rowset* rs = nullptr;
    void SetUp() override { Open(false, true); }
    void TearDown() override {
        RowsetFree(&rs);
        AgentSession::TearDown();
    }
    void Table(uint32_t rows) {
        Exec("CREATE TABLE sc (a INTEGER, b VARCHAR(20))");
        uint32_t s = Stmt();
        ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "INSERT INTO sc VALUES (?, ?)"));
        ParamSet p({{DS_INTEGER, 4}, {DS_CHAR_NTS, 20}}, rows);
        for (uint32_t r = 0; r < rows; ++r) {
            p.Put<int32_t>(0, r, int32_t(r + 1));
            p.Text(1, r, "row" + std::to_string(r + 1));
        }
        ASSERT_EQ(0u, AgentCall<DRV_SetParams>(&link, s, p.Give()));
        ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
    }
    uint32_t Select(uint32_t rowsetSize, uint32_t concurrency = 1, const char* sql = "SELECT a, b FROM sc ORDER BY a") {
        uint32_t s = Stmt();
        SCS_Cursor& c = (*SCS_StmtBlock(s));
        c.cursorType = 3;
        c.concurrency = concurrency;
        c.rowsetSize = rowsetSize;
        EXPECT_EQ(0u, Run(s, sql)) << Errors(s);
        return s;
    }
    ErrCode Fetch(uint32_t s, int32_t start, uint32_t* rows, uint32_t* total) {
        return AgentCall<DRV_ExtendedFetch>(&link, s, &rs, start, rows, total, uint16_t(SQL_FETCH_ABSOLUTE));
    }
    int32_t A(uint32_t row) const { return *reinterpret_cast<const int32_t*>(DatasetCell(&rs->data->cols[0], row)); }
};

TEST_F(StaticSlot, StartsCountFromEitherEndAndStopAtTheEdges) {
    Table(10);
    const uint32_t s = Select(3);
    struct Case {
        int32_t start;
        uint32_t rc, rows;
        int32_t firstA;
        int32_t position;  // agent's current row afterwards
    };
    const Case cases[] = {
        {1, 0, 3, 1, 1},    {9, 0, 2, 9, 1},    {0, 0, 3, 8, 1},  {-1, 0, 1, 10, 1}, {-4, 0, 3, 7, 1},
        {11, 86, 0, 0, -3}, {-11, 85, 0, 0, 0}, {-3, 0, 3, 8, 1}, {10, 0, 1, 10, 1}, {-13, 85, 0, 0, 0},
    };
    for (const Case& k : cases) {
        uint32_t rows = 99, total = 99;
        ASSERT_EQ(k.rc, Fetch(s, k.start, &rows, &total)) << "start " << k.start << "\n" << Errors(s);
        EXPECT_EQ(10u, total) << "start " << k.start;
        EXPECT_EQ(k.rows, rows) << "start " << k.start;
        const SCS_Cursor& c = (*SCS_StmtBlock(s));
        EXPECT_EQ(k.position, c.window.currentRow()) << "start " << k.start;
        if (k.rc != 0) continue;
        EXPECT_EQ(uint32_t(k.firstA), c.window.rowsetFirst()) << "start " << k.start;
        for (uint32_t r = 0; r < 3; ++r) {
            if (r < k.rows) {
                EXPECT_EQ(k.firstA + int32_t(r), A(r)) << "start " << k.start;
                EXPECT_EQ(0, RowsetStatusGet(rs, r + 1));
            } else {
                EXPECT_EQ(3, RowsetStatusGet(rs, r + 1)) << "start " << k.start;
            }
        }
    }
    // The rows-affected item answers the snapshot's row count for a scrollable SELECT.
    int32_t count = -1;
    uint16_t len = 0;
    ASSERT_EQ(0u, AgentCall<DRV_GetInfo>(&link, s, 0x32010000u, static_cast<void*>(&count), uint16_t(4), &len));
    EXPECT_EQ(10, count);
}

TEST_F(StaticSlot, FewerRowsThanARowsetCountedFromTheEndGiveTheFirstRowset) {
    Table(2);
    const uint32_t s = Select(4);
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, Fetch(s, -3, &rows, &total)) << Errors(s);
    EXPECT_EQ(2u, rows);
    EXPECT_EQ(1, A(0));
    EXPECT_EQ(85u, Fetch(s, -5, &rows, &total));
    EXPECT_EQ(0u, rows);
}

TEST_F(StaticSlot, WithoutRetrieveDataTheRowsAreCountedButNotHanded) {
    Table(5);
    const uint32_t s = Select(4);
    (*SCS_StmtBlock(s)).retrieveData = 0;
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, Fetch(s, 3, &rows, &total)) << Errors(s);
    EXPECT_EQ(3u, rows);
    EXPECT_EQ(0, rs->data->col_count);
    EXPECT_EQ(0, RowsetStatusGet(rs, 3));
    EXPECT_EQ(3, RowsetStatusGet(rs, 4));
}

TEST_F(StaticSlot, ExecutedAgainTheSnapshotIsReadAgain) {
    Table(4);
    const uint32_t s = Select(2);
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, Fetch(s, 0, &rows, &total));
    EXPECT_EQ(4u, total);
    Exec("INSERT INTO sc VALUES (5, 'row5')");
    ASSERT_EQ(0u, Fetch(s, 0, &rows, &total));
    EXPECT_EQ(4u, total) << "the snapshot holds";
    EXPECT_EQ(3, A(0));
    ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
    ASSERT_EQ(0u, Fetch(s, 0, &rows, &total));
    EXPECT_EQ(5u, total);
    EXPECT_EQ(4, A(0));
}

TEST_F(StaticSlot, ALargeSnapshotServesRowsetsAcrossItsFileWindows) {
    Table(6200);
    const uint32_t s = Select(100);
    for (int32_t start : {6101, 1, 5001, 4950, -1300, 0}) {
        uint32_t rows = 0, total = 0;
        ASSERT_EQ(0u, Fetch(s, start, &rows, &total)) << start << "\n" << Errors(s);
        ASSERT_EQ(6200u, total);
        const int32_t first = start > 0 ? start : start == 0 ? 6101 : 6200 + start + 1;
        ASSERT_EQ(100u, rows) << start;
        for (uint32_t r = 0; r < rows; ++r) ASSERT_EQ(first + int32_t(r), A(r)) << start << " row " << r;
    }
    EXPECT_EQ(kDscOnFile, (*SCS_StmtBlock(s)).staticSet->cache.state);
}

// A snapshot whose files cannot be made fails the execute with the cause, keeps nothing of the
// result (the lower cursor is closed, the rest unread) and lets the statement run again.
TEST_F(StaticSlot, ASnapshotWithoutItsFilesFailsAndHoldsNothing) {
    Table(5201);
    const char* old = getenv("TMPDIR");
    const std::string saved = old ? old : "";
    setenv("TMPDIR", "/nonexistent-tv-dir", 1);
    uint32_t s = Stmt();
    SCS_Cursor& c = (*SCS_StmtBlock(s));
    c.cursorType = 3;
    c.concurrency = 1;
    c.rowsetSize = 10;
    EXPECT_EQ(15u, Run(s, "SELECT a, b FROM sc ORDER BY a"));
    EXPECT_FALSE(IngAskStmtExecuted(s));
    EXPECT_EQ(-1, c.window.resultRows());
    EXPECT_EQ(nullptr, c.staticSet->cache.data);
    EXPECT_EQ(
        "[Driver]cannot create temporary file in '/nonexistent-tv-dir': No such file or directory"
        "[SQLSTATE:S1000]\n",
        Errors(s));
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ(0u, Run(s, "SELECT a, b FROM sc ORDER BY a")) << Errors(s);
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, Fetch(s, 5201, &rows, &total)) << Errors(s);
    EXPECT_EQ(5201u, total);
    EXPECT_EQ(5201, A(0));
}

TEST_F(StaticSlot, BadArgumentsAreRefused) {
    Table(1);
    const uint32_t s = Select(1);
    uint32_t rows = 0, total = 0;
    EXPECT_EQ(21u, Fetch(s, 1, nullptr, &total));
    EXPECT_EQ(21u, Fetch(s, 1, &rows, nullptr));
    EXPECT_EQ(21u, Fetch(0xDEAD, 1, &rows, &total));
    EXPECT_EQ(21u, SCS_StaticFetch(nullptr, &rs, 1, &rows, &total));
    EXPECT_EQ(21u, SCS_StaticFill(nullptr));
}

class Setup : public StaticSlot {};

TEST_F(Setup, AStaticSelectIsAnalysedAndAForwardOnlyOneIsNot) {
    Table(1);
    const uint32_t s = Select(1);
    const SCS_Cursor& c = (*SCS_StmtBlock(s));
    EXPECT_EQ(1u, c.analysedSelect);
    EXPECT_TRUE(c.layerFlags & kScsLPrepared);
    uint32_t f = Stmt();
    ASSERT_EQ(0u, Run(f, "SELECT a FROM sc")) << Errors(f);
    EXPECT_EQ(0u, (*SCS_StmtBlock(f)).analysedSelect);
    EXPECT_FALSE((*SCS_StmtBlock(f)).layerFlags & kScsLPrepared);
}

TEST_F(Setup, ALockingStaticCursorReadsItsSnapshotByItsKeys) {
    Table(3);
    const uint32_t s = Select(2, 2);
    const SCS_Cursor& c = (*SCS_StmtBlock(s));
    EXPECT_EQ(2u, c.concurrency);
    EXPECT_EQ(3u, c.cursorType);
    uint32_t conc = 0;
    uint16_t len = 0;
    ASSERT_EQ(0u, AgentCall<DRV_GetInfo>(&link, s, 0x32030007u, static_cast<void*>(&conc), uint16_t(4), &len));
    EXPECT_EQ(2u, conc);
    // The snapshot was read at execute, in the statement's order, one row per key.
    EXPECT_TRUE(SCS_KeysetStatic(SCS_StmtBlock(s)));
    EXPECT_EQ(3, c.window.resultRows());
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, Fetch(s, 2, &rows, &total)) << Errors(s);
    EXPECT_EQ(2u, rows);
    EXPECT_EQ(3u, total);
    EXPECT_EQ(2, A(0));
    EXPECT_EQ(3, A(1));
    EXPECT_EQ(SQL_ROW_SUCCESS, rs->statuses[0]);
}

TEST_F(Setup, AGroupedStaticSelectKeepsItsConcurrency) {
    Table(3);
    const uint32_t s = Select(2, 2, "SELECT a, COUNT(*) FROM sc GROUP BY a");
    const SCS_Cursor& c = (*SCS_StmtBlock(s));
    EXPECT_EQ(2u, c.concurrency);
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, Fetch(s, 0, &rows, &total)) << Errors(s);
    EXPECT_EQ(3u, total);
    EXPECT_EQ(2u, rows);
}

TEST_F(Setup, OtherStatementsRunOnAStaticCursorStatement) {
    Table(1);
    const uint32_t s = Stmt();
    (*SCS_StmtBlock(s)).cursorType = 3;
    for (const char* sql : {"INSERT INTO sc VALUES (9, 'x')", "UPDATE sc SET b = 'y' WHERE a = 9",
                            "DELETE FROM sc WHERE a = 9", "CREATE TABLE sc2 (c INTEGER)", "DROP TABLE sc2"}) {
        ASSERT_EQ(0u, AgentCall<DRV_CloseCursor>(&link, s));
        EXPECT_EQ(0u, Run(s, sql)) << sql << "\n" << Errors(s);
        EXPECT_EQ(0u, (*SCS_StmtBlock(s)).analysedSelect) << sql;
    }
}

TEST_F(Setup, AStaticReadOnlySelectTakesItsSnapshotWhenItRuns) {
    Table(6);
    const uint32_t s = Select(2);
    const SCS_Cursor& c = (*SCS_StmtBlock(s));
    EXPECT_TRUE(c.layerFlags & kScsLResultCached);
    int32_t count = -1;
    uint16_t len = 0;
    ASSERT_EQ(0u, AgentCall<DRV_GetInfo>(&link, s, 0x32010000u, static_cast<void*>(&count), uint16_t(4), &len));
    EXPECT_EQ(6, count) << "known before any fetch";
    // Rows added after the execute are not in the snapshot.
    Exec("INSERT INTO sc VALUES (7, 'row7')");
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, Fetch(s, 0, &rows, &total)) << Errors(s);
    EXPECT_EQ(6u, total);
    EXPECT_EQ(5, A(0));
}

TEST_F(Setup, ExecutingAStatementNeverPreparedIsAnOutOfSequenceCall) {
    const uint32_t s = Stmt();
    EXPECT_EQ(22u, AgentCall<DRV_Execute>(&link, s));
    EXPECT_EQ(21u, AgentCall<DRV_Execute>(&link, 0xDEADu));
}

TEST(SetupShape, RowIdentifyingShapesAreNamedByTheirFirstFault) {
    EXPECT_EQ(0u, scs_p_CheckShape(0));
    EXPECT_EQ(0u, scs_p_CheckShape(0x4 | 0x2));
    EXPECT_EQ(87u, scs_p_CheckShape(0x20 | 0x8 | 0x10 | 0x80));
    EXPECT_EQ(88u, scs_p_CheckShape(0x8 | 0x10 | 0x80));
    EXPECT_EQ(89u, scs_p_CheckShape(0x10 | 0x80));
    EXPECT_EQ(103u, scs_p_CheckShape(0x80));
}

}  // namespace
