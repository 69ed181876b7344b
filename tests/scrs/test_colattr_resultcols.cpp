// The result descriptions the cursor layer keeps of a scrollable SELECT: taken when the
// statement runs, kept across its executions, dropped when it is prepared again or serves a
// catalog result, and read by positioned changes.
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "scrs/sc_catalog.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_keyset.h"
#include "tests/support/agent_stmt_fixture.h"
#include "util/errtable.h"
#include "util/rowset.h"

using namespace stmttest;

namespace {

class ResultCols : public AgentSession {
protected:
    Rowset* rs = nullptr;
    void SetUp() override {
        Open(false, true);
        Exec("CREATE TABLE rc (id INTEGER NOT NULL PRIMARY KEY, b VARCHAR(20), c INTEGER)");
        Exec("INSERT INTO rc VALUES (1, 'one', 10)");
        Exec("INSERT INTO rc VALUES (2, 'two', 20)");
    }
    void TearDown() override {
        RowsetFree(&rs);
        AgentSession::TearDown();
    }
    uint32_t Cursor(uint32_t type, uint32_t concurrency) {
        const uint32_t s = Stmt();
        SCS_Cursor& c = (*SCS_StmtBlock(s));
        c.cursorType = type;
        c.concurrency = concurrency;
        c.rowsetSize = 2;
        return s;
    }
    static std::string Names(const SCS_Cursor& c) {
        std::string out;
        for (uint16_t i = 0; i < c.resultDescCount; ++i) out += std::string(i ? "," : "") + c.resultDescs[i].name;
        return out;
    }
};

TEST_F(ResultCols, TakenAtExecuteKeptAcrossExecutionsDroppedAtPrepare) {
    struct Case {
        uint32_t type, concurrency;
        bool kept;
    };
    const Case cases[] = {{SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, true},
                          {SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, true},
                          {SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, false}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.type);
        const uint32_t s = Cursor(k.type, k.concurrency);
        SCS_Cursor& c = (*SCS_StmtBlock(s));
        ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "SELECT id, b FROM rc ORDER BY id")) << Errors(s);
        EXPECT_EQ(nullptr, c.resultDescs);
        ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
        if (!k.kept) {
            EXPECT_EQ(nullptr, c.resultDescs);
            continue;
        }
        ASSERT_NE(nullptr, c.resultDescs);
        EXPECT_EQ("id,b", Names(c));
        EXPECT_EQ(SQL_INTEGER, c.resultDescs[0].sql_type);
        // Executed again (after its cursor was closed): the same descriptions, not asked again.
        const ColumnInfo* first = c.resultDescs;
        ASSERT_EQ(0u, AgentCall<DRV_CloseCursor>(&link, s));
        ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
        EXPECT_EQ(first, c.resultDescs);
        // Another statement on it describes its own result.
        ASSERT_EQ(0u, AgentCall<DRV_CloseCursor>(&link, s));
        ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "SELECT c, b, id FROM rc")) << Errors(s);
        EXPECT_EQ(nullptr, c.resultDescs);
        ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
        EXPECT_EQ("c,b,id", Names(c));
        // A catalog result is not the SELECT's.
        ASSERT_EQ(0u, AgentCall<DRV_CloseCursor>(&link, s));
        const IngTablesArgs args{"", "", "rc", "%"};
        ASSERT_EQ(0u, AgentCall<DRV_DDTables>(&link, s, &args)) << Errors(s);
        EXPECT_EQ(nullptr, c.resultDescs);
    }
}

TEST_F(ResultCols, ColumnLookUp) {
    const uint32_t s = Cursor(SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY);
    SCS_Cursor& c = (*SCS_StmtBlock(s));
    ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "SELECT id, b FROM rc")) << Errors(s);
    const ColumnInfo* ci = nullptr;
    EXPECT_EQ(uint32_t(kErrBadArg), scs_p_ResultColGet(&c, 1, nullptr));
    // Before the execution the look-up describes the prepared statement itself.
    ASSERT_EQ(0u, scs_p_ResultColGet(&c, 2, &ci));
    ASSERT_NE(nullptr, ci);
    EXPECT_STREQ("b", ci->name);
    EXPECT_EQ(uint32_t(kErrBadColumnNumber), scs_p_ResultColGet(&c, 0, &ci));
    EXPECT_EQ(nullptr, ci);
    EXPECT_EQ(uint32_t(kErrBadColumnNumber), scs_p_ResultColGet(&c, 3, &ci));
    const ColumnInfo* before = c.resultDescs;
    ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
    EXPECT_EQ(before, c.resultDescs);
}

// Positioned changes of a keyset-driven cursor name the SET list from the kept descriptions.
TEST_F(ResultCols, PositionedUpdateNamesItsColumnsFromThem) {
    const uint32_t s = Cursor(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK);
    ASSERT_EQ(0u, Run(s, "SELECT id, c, b FROM rc ORDER BY id")) << Errors(s);
    ASSERT_TRUE(SCS_KeysetReady(SCS_StmtBlock(s)));
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, AgentCall<DRV_ExtendedFetch>(&link, s, &rs, 1, &rows, &total, uint16_t(SQL_FETCH_ABSOLUTE)))
        << Errors(s);
    auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    ASSERT_EQ(0, DatasetInit(ds, 1));
    ds->col_count = 1;
    ds->cols[0].kind = DS_CHAR_REF;
    ds->cols[0].width = 16;
    ASSERT_EQ(0, DatasetAllocRows(ds, 1));
    ASSERT_EQ(0, DatasetSetRef(ds, 0, 0, "new", 3));
    ds->rows_used = 1;
    auto* cols = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t)));
    cols[0] = 3;
    uint16_t* st = nullptr;
    uint32_t processed = 0;
    EXPECT_EQ(0u, AgentCall<DRV_SetPos>(&link, s, 2u, uint16_t(SQL_UPDATE), uint16_t(0), &st, &processed, ds, cols,
                                        uint16_t(1)))
        << Errors(s);
    ASSERT_NE(nullptr, st);
    EXPECT_EQ(SQL_ROW_UPDATED, st[0]);
    std::free(st);
    const uint32_t q = Stmt();
    ASSERT_EQ(0u, Run(q, "SELECT b, c FROM rc WHERE id = 2")) << Errors(q);
    Dataset got{};
    ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, q, uint16_t(1), &got)) << Errors(q);
    ASSERT_EQ(1u, got.rows_used);
    EXPECT_STREQ("new", reinterpret_cast<const char*>(DatasetCell(&got.cols[0], 0)));
    EXPECT_EQ(20, *reinterpret_cast<const int32_t*>(DatasetCell(&got.cols[1], 0)));
    DatasetFree(&got);
}

}  // namespace
