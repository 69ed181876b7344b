// A bare JOIN is an inner join: it parses like INNER JOIN, regenerates as written, names both
// tables, and a keyset-driven cursor over it stays keyset-driven.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "scrs/sc_cursor.h"
#include "scrs/sc_keyset.h"
#include "scrs/scr_analyse.h"
#include "scrs/scr_node.h"
#include "tests/support/agent_stmt_fixture.h"
#include "util/errtable.h"
#include "util/rowset.h"
#include "util/scrarray.h"

namespace {

std::string Squeeze(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

struct Analysed {
    SCR_Analysis a;
    Analysed() { SCR_AnalysisInit(&a); }
    ~Analysed() { SCR_AnalysisFree(&a); }
};

std::vector<std::string> Tables(SCR_Analysis* a) {
    std::vector<std::string> out;
    SCR_Array* t = SCR_ArrayCreate(sizeof(SCR_TableRef));
    if (SCR_TablesGet(a, t, 0) == 0)
        for (uint32_t i = 0; i < t->count; ++i) {
            auto* ref = static_cast<const SCR_TableRef*>(SCR_ArrayAt(t, i));
            out.push_back(std::string(ref->table) + (ref->alias[0] ? std::string(" ") + ref->alias : ""));
        }
    SCR_ArrayFree(&t, SCR_TableRefFree);
    return out;
}

struct JoinCase {
    const char* sql;
    uint16_t flags;
    std::vector<std::string> tables;
};

class BareJoin : public ::testing::TestWithParam<JoinCase> {};

TEST_P(BareJoin, ParsesAsAnInnerJoin) {
    const JoinCase& k = GetParam();
    Analysed x;
    ASSERT_EQ(0u, SCR_AnalyseSQL(&x.a, k.sql, 0, 0)) << k.sql << ": " << (x.a.message ? x.a.message : "");
    EXPECT_EQ(SCR_K_SELECT, x.a.kind) << k.sql;
    EXPECT_EQ(k.flags, x.a.flags) << k.sql;
    // The regenerated text is the statement as written.
    EXPECT_EQ(Squeeze(k.sql), Squeeze(SCR_AnalysisText(&x.a))) << k.sql;
    EXPECT_EQ(k.tables, Tables(&x.a)) << k.sql;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BareJoin,
    ::testing::Values(
        JoinCase{"SELECT a.x, b.y FROM t1 a JOIN t2 b ON a.k = b.k", 0x20, {"t1 a", "t2 b"}},
        JoinCase{"SELECT t1.x FROM t1 JOIN t2 ON t1.k = t2.k JOIN t3 ON t2.k = t3.k WHERE t1.x > ? ORDER BY t1.x",
                 0x20 | 0x4,
                 {"t1", "t2", "t3"}},
        JoinCase{
            "SELECT t1.x FROM t1 JOIN t2 ON t1.k = t2.k LEFT JOIN t3 ON t2.k = t3.k", 0x20 | 0x100, {"t1", "t2", "t3"}},
        JoinCase{"SELECT x FROM ( t1 JOIN t2 ON t1.k = t2.k )", 0x20, {"t1", "t2"}},
        JoinCase{"SELECT x FROM t1 INNER JOIN t2 ON t1.k = t2.k", 0x20, {"t1", "t2"}}));

// The clause edits of the cursor layer keep the join in the text they regenerate.
TEST(BareJoinEdits, WhereMarkerLandsAfterTheJoin) {
    Analysed x;
    ASSERT_EQ(0u, SCR_AnalyseSQL(&x.a, "SELECT t1.x FROM t1 JOIN t2 ON t1.k = t2.k WHERE t1.x > 1", 0, 0));
    ASSERT_EQ(0u, SCR_AddWhereCond(&x.a));
    const std::string text = SCR_AnalysisText(&x.a);
    const size_t join = text.find("JOIN t2 ON t1.k = t2.k");
    const size_t mark = text.find(SCR_EDIT_MARKER);
    ASSERT_NE(std::string::npos, join) << text;
    ASSERT_NE(std::string::npos, mark) << text;
    EXPECT_LT(join, mark) << text;
}

// A bare JOIN without its ON condition is still no statement.
TEST(BareJoinEdits, JoinNeedsItsCondition) {
    Analysed x;
    EXPECT_NE(0u, SCR_AnalyseSQL(&x.a, "SELECT x FROM t1 JOIN t2", 0, 0));
}

using namespace stmttest;

class BareJoinKeyset : public AgentSession {
protected:
    Rowset* rs = nullptr;
    void SetUp() override { Open(false, true); }
    void TearDown() override {
        RowsetFree(&rs);
        AgentSession::TearDown();
    }
};

// Through the cursor layer: the key set is read over both tables, rows come back by their keys,
// and a row the join no longer produces shows deleted at its place.
TEST_F(BareJoinKeyset, KeysetCursorOverABareJoin) {
    Exec("CREATE TABLE jna (id INTEGER NOT NULL PRIMARY KEY, a VARCHAR(10))");
    Exec("CREATE TABLE jnb (id INTEGER NOT NULL PRIMARY KEY, b VARCHAR(10))");
    for (int r = 1; r <= 4; ++r) {
        Exec(("INSERT INTO jna VALUES (" + std::to_string(r) + ", 'a" + std::to_string(r) + "')").c_str());
        Exec(("INSERT INTO jnb VALUES (" + std::to_string(r) + ", 'b" + std::to_string(r) + "')").c_str());
    }
    const uint32_t s = Stmt();
    SCS_Cursor& c = (*SCS_StmtBlock(s));
    c.cursorType = SQL_CURSOR_KEYSET_DRIVEN;
    c.rowsetSize = 4;
    ASSERT_EQ(0u, Run(s, "SELECT jna.id, jnb.b FROM jna JOIN jnb ON jna.id = jnb.id ORDER BY jna.id")) << Errors(s);
    EXPECT_EQ(uint32_t(SQL_CURSOR_KEYSET_DRIVEN), c.cursorType);
    EXPECT_TRUE(SCS_KeysetReady(SCS_StmtBlock(s)));
    EXPECT_EQ(0u, SCS_KeysetShape(SCS_StmtBlock(s)) & SCR_F_OUTERJOIN);
    Exec("DELETE FROM jnb WHERE id = 2");
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, AgentCall<DRV_ExtendedFetch>(&link, s, &rs, 1, &rows, &total, uint16_t(SQL_FETCH_ABSOLUTE)))
        << Errors(s);
    ASSERT_EQ(4u, rows);
    EXPECT_EQ(4u, total);
    const uint16_t want[4] = {SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_SUCCESS, SQL_ROW_SUCCESS};
    for (uint32_t r = 0; r < 4; ++r) EXPECT_EQ(want[r], RowsetStatusGet(rs, r + 1)) << r;
    EXPECT_EQ(3, *reinterpret_cast<const int32_t*>(DatasetCell(&rs->data->cols[0], 2)));
}

}  // namespace
