// Parse trees of the SQL analyser and the text regenerated from them.
#include <gtest/gtest.h>

#include <string>

#include "scrs/scr_analyse.h"
#include "scrs/scr_node.h"
#include "util/scrarray.h"
#include "util/trymem.h"

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

struct ParseCase {
    const char* sql;
    uint32_t rc;
    int32_t kind;
    const char* regenerated;  // blanks squeezed; null: not checked
};

class ParseCases : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCases, KindAndText) {
    const ParseCase& c = GetParam();
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    EXPECT_EQ(SCR_AnalyseSQL(&a, c.sql, 1, 0), c.rc) << c.sql;
    if (c.rc == 0) {
        EXPECT_EQ(a.kind, c.kind) << c.sql;
        if (c.regenerated) {
            EXPECT_EQ(Squeeze(SCR_AnalysisText(&a)), c.regenerated) << c.sql;
        }
        // Regeneration is stable.
        std::string first = SCR_AnalysisText(&a);
        ASSERT_EQ(SCR_Regenerate(a.root), 1);
        EXPECT_EQ(first, SCR_AnalysisText(&a));
    } else {
        EXPECT_EQ(a.root, nullptr);
        ASSERT_NE(a.message, nullptr);
    }
    SCR_AnalysisFree(&a);
    EXPECT_EQ(a.kind, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseCases,
    ::testing::Values(
        ParseCase{"select a from t", 0, 74, "SELECT a FROM t"},
        ParseCase{"SELECT DISTINCT a AS x, t.b, o.t.c FROM own.t tt WHERE a = 1 AND NOT (b < 2 OR c IS NULL)", 0, 74,
                  "SELECT DISTINCT a AS x, t.b, o.t.c FROM own.t tt WHERE a = 1 AND NOT ( b < 2 OR c IS NULL )"},
        ParseCase{"SELECT TOP 10 PERCENT WITH TIES a FROM t ORDER BY a", 0, 74,
                  "SELECT TOP 10 PERCENT WITH TIES a FROM t ORDER BY a"},
        ParseCase{"select count(*), sum(distinct x), max(y+1) from t group by z having count(*) > 1", 0, 74,
                  "SELECT COUNT (*), sum( DISTINCT x ), max( y + 1 ) FROM t GROUP BY z HAVING COUNT (*) > 1"},
        ParseCase{"select a from t1 left outer join t2 on t1.k = t2.k", 0, 74,
                  "SELECT a FROM t1 LEFT OUTER JOIN t2 ON t1.k = t2.k"},
        ParseCase{"select a from {oj t1 LEFT OUTER JOIN t2 ON t1.k = t2.k}", 0, 74,
                  "SELECT a FROM { oj t1 LEFT OUTER JOIN t2 ON t1.k = t2.k }"},
        ParseCase{"select {fn ucase(a)}, {d '2020-01-31'} from t", 0, 74,
                  "SELECT { fn ucase( a ) }, { d '2020-01-31' } FROM t"},
        ParseCase{"select a from t where b between ? and 3 and c like 'x%' escape '!' and d in (1, 'q', ?)", 0, 74,
                  "SELECT a FROM t WHERE b BETWEEN ? AND 3 AND c LIKE 'x%' escape '!' AND d IN ( 1, 'q', ? )"},
        ParseCase{"select a from t where exists (select * from u where u.k = t.k) and b > all (select c from v)", 0, 74,
                  "SELECT a FROM t WHERE EXISTS ( SELECT * FROM u WHERE u.k = t.k ) AND b > ALL ( SELECT c FROM v )"},
        ParseCase{"select a from t union all select b from u order by 1 desc", 0, 74,
                  "SELECT a FROM t UNION ALL SELECT b FROM u ORDER BY 1 DESC"},
        ParseCase{"select case when a = 1 then 'x' else 'y' end from t", 0, 74,
                  "SELECT CASE WHEN a = 1 THEN 'x' ELSE 'y' END FROM t"},
        ParseCase{"select 1", 0, 74, "SELECT 1"},
        ParseCase{"select t.*, o.t.* from o.t", 0, 74, "SELECT t.*, o.t.* FROM o.t"},
        ParseCase{"UPDATE t SET a = 1 WHERE CURRENT OF c1", 0, 96, "UPDATE t SET a = 1 WHERE CURRENT OF c1"},
        ParseCase{"DELETE FROM t WHERE CURRENT OF c1", 0, 18, "DELETE FROM t WHERE CURRENT OF c1"},
        ParseCase{"delete from t where a = ?", 0, 19, "DELETE FROM t WHERE a = ?"},
        ParseCase{"update t set a = ?, b <> null where k = 1", 0, 97, "UPDATE t SET a = ?, b = NULL WHERE k = 1"},
        ParseCase{"update t set a = u.a from u where u.k = t.k", 0, 97, "UPDATE t SET a = u.a FROM u WHERE u.k = t.k"},
        ParseCase{"insert into t (a, b) values (?, 'x')", 0, 28, "INSERT INTO t ( a, b ) VALUES ( ?, 'x' )"},
        ParseCase{"insert into t select * from u", 0, 28, "INSERT INTO t SELECT * FROM u"},
        ParseCase{"{call p(?)}", 0, 61, ""}, ParseCase{"EXECUTE PROCEDURE p", 0, 0, ""},
        ParseCase{"SELECT * FROM t;", 68, 0, nullptr}, ParseCase{"select a from", 68, 0, nullptr},
        ParseCase{"select a from {oj a LEFT OUTER JOIN b ON a.x = b.x AND a.y = b.y}", 68, 0, nullptr},
        ParseCase{"select a from t where b = 'open", 68, 0, nullptr}));

TEST(ParseTree, LeadingBlanksAreNotKept) {
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    ASSERT_EQ(SCR_AnalyseSQL(&a, "  \n select a from t", 0, 0), 0u);
    EXPECT_STREQ(a.text, "select a from t");
    SCR_AnalysisFree(&a);
}

TEST(ParseTree, SelectHeadAndJoinNodes) {
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    ASSERT_EQ(SCR_AnalyseSQL(&a, "SELECT TOP 10 PERCENT WITH TIES a FROM t ORDER BY a", 1, 0), 0u);
    SCR_Node* head = SCR_FindIn(a.root, 53);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(std::string(head->tpl), "\xFF\x01\x01 TOP \xFF\x01\x02 \xFF\x01\x03 \xFF\x01\x04");
    EXPECT_EQ(head->childCount, 4u);
    ASSERT_EQ(SCR_AnalyseSQL(&a, "SELECT a FROM t1 LEFT OUTER JOIN t2 ON t1.k = t2.k", 1, 0), 0u);
    SCR_Node* join = SCR_FindIn(a.root, 62);
    ASSERT_NE(join, nullptr);
    EXPECT_EQ(SCR_FindIn(a.root, 38), nullptr);
    ASSERT_EQ(SCR_AnalyseSQL(&a, "select a from {oj t1 LEFT OUTER JOIN t2 ON t1.k = t2.k}", 1, 0), 0u);
    EXPECT_NE(SCR_FindIn(a.root, 38), nullptr);
    // A subquery compared alone stands directly in the comparison.
    ASSERT_EQ(SCR_AnalyseSQL(&a, "select a from t where b = (select max(c) from u)", 1, 0), 0u);
    SCR_Node* cmp = SCR_FindIn(a.root, 14);
    ASSERT_NE(cmp, nullptr);
    EXPECT_EQ(SCR_NodeChild(cmp, 3)->kind, 85u);
    SCR_AnalysisFree(&a);
}

TEST(ParseTree, SyntaxErrorTextEchoesUpToTheToken) {
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    ASSERT_EQ(SCR_AnalyseSQL(&a, "select   a from t where ; b", 0, 0), 68u);
    ASSERT_NE(a.errText, nullptr);
    EXPECT_STREQ(a.errText, "select a from t where ;^");
    EXPECT_STREQ(a.message, "syntax error");
    EXPECT_EQ(a.root, nullptr);
    SCR_AnalysisFree(&a);
}

TEST(ParseTree, ReplacedLeafStandsInEveryAncestor) {
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    ASSERT_EQ(SCR_AnalyseSQL(&a, "select a from t where b = 1", 1, 0), 0u);
    SCR_Node* tbl = SCR_FindIn(a.root, 87);
    ASSERT_NE(tbl, nullptr);
    ASSERT_EQ(SCR_NodeSetText(tbl, "other"), 1);
    ASSERT_EQ(SCR_Regenerate(a.root), 1);
    EXPECT_EQ(Squeeze(SCR_AnalysisText(&a)), "SELECT a FROM other WHERE b = 1");
    SCR_AnalysisFree(&a);
}

TEST(ParseTree, HostileNestingFailsCleanly) {
    // Deeper than the parser's stacks: refused with "memory exhausted", no crash.
    std::string sql = "select a from t where ";
    for (int i = 0; i < 20000; ++i) sql += "(";
    sql += "a = 1";
    for (int i = 0; i < 20000; ++i) sql += ")";
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    EXPECT_EQ(SCR_AnalyseSQL(&a, sql.c_str(), 0, 0), 68u);
    ASSERT_NE(a.message, nullptr);
    EXPECT_STREQ(a.message, "memory exhausted");
    // Deep but within the stacks: parsed and regenerated without recursion.
    std::string ok = "select a from t where ";
    for (int i = 0; i < 2000; ++i) ok += "(";
    ok += "a = 1";
    for (int i = 0; i < 2000; ++i) ok += ")";
    EXPECT_EQ(SCR_AnalyseSQL(&a, ok.c_str(), 0, 0), 0u);
    SCR_AnalysisFree(&a);
    EXPECT_EQ(SCR_AnalyseSQL(nullptr, "select a from t", 0, 0), 15u);
}

// Memory running out in the symbol tables, at any point of a parse, is out of memory (16),
// not a statement that does not parse (68); with memory back the same statement parses.
TEST(ParseTree, OutOfMemoryIsNotASyntaxError) {
    const char* sql = "select a, b from t where c = 'x' and d in (1, 2) order by a";
    int noMemory = 0;
    for (long k = 0;; ++k) {
        ASSERT_LT(k, 1000);
        SCR_Analysis a;
        SCR_AnalysisInit(&a);
        long before = TryMemCalls();
        TryMemFailAfter(k);
        uint32_t rc = SCR_AnalyseSQL(&a, sql, 0, 0);
        TryMemFailAfter(-1);
        bool reached = TryMemCalls() - before > k;
        if (!reached) {
            EXPECT_EQ(rc, 0u);
            SCR_AnalysisFree(&a);
            break;
        }
        EXPECT_EQ(rc, 16u) << "allocation " << k << ": " << (a.message ? a.message : "");
        if (rc == 16) ++noMemory;
        SCR_AnalysisFree(&a);
        EXPECT_EQ(SCR_AnalyseSQL(&a, sql, 0, 0), 0u) << "after allocation " << k;
        SCR_AnalysisFree(&a);
    }
    EXPECT_GT(noMemory, 0);
}

TEST(ParseTree, WalksAndCollect) {
    SCR_Analysis a;
    SCR_AnalysisInit(&a);
    ASSERT_EQ(SCR_AnalyseSQL(&a, "select a, b from t where c = ? and d = ?", 1, 0), 0u);
    SCR_Array* arr = SCR_ArrayCreate(sizeof(SCR_Node*));
    ASSERT_EQ(SCR_CollectKind(a.root, 20, arr), 1);
    EXPECT_EQ(arr->count, 2u);
    SCR_ArrayFree(&arr, nullptr);
    arr = SCR_ArrayCreate(sizeof(SCR_Node*));
    ASSERT_EQ(SCR_CollectKindStop(a.root, 10, 101, arr), 1);  // not into the WHERE clause
    EXPECT_EQ(arr->count, 2u);
    SCR_ArrayFree(&arr, nullptr);
    SCR_Node* found = nullptr;
    SCR_FindKind(a.root, 10, &found);
    ASSERT_NE(found, nullptr);
    EXPECT_STREQ(found->text, "a");
    SCR_AnalysisFree(&a);
}

}  // namespace
