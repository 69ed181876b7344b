// Probe queries made for parameter markers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scrs/sc_parmdesc.h"

namespace {

struct ProbeCase {
    const char* sql;
    std::vector<std::string> probes;
    int32_t found;
    const char* map;  // null: no marker map
};

class Probes : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(Probes, Texts) {
    const ProbeCase& c = GetParam();
    SCS_ParmDesc pd;
    scs_ParmDescInit(&pd, "varchar(NULL)");
    ASSERT_EQ(SCS_DescribeParams(&pd, c.sql), 0u) << c.sql;
    std::vector<std::string> got(pd.probes, pd.probes + pd.probeCount);
    EXPECT_EQ(got, c.probes) << c.sql;
    EXPECT_EQ(pd.paramCount, c.found) << c.sql;
    if (c.map == nullptr) {
        EXPECT_EQ(pd.markerMap, nullptr);
    } else {
        ASSERT_NE(pd.markerMap, nullptr);
        EXPECT_STREQ(pd.markerMap, c.map);
    }
    scs_ParmDescFree(&pd);
    EXPECT_EQ(pd.probes, nullptr);
    EXPECT_EQ(pd.analysis.root, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Probes,
    ::testing::Values(
        ProbeCase{"SELECT * FROM t WHERE a = ? AND ? < b", {"SELECT a, b FROM t WHERE 1=0 "}, 2, nullptr},
        ProbeCase{"UPDATE t SET c = ? WHERE k = ?", {"SELECT t.c, t.k FROM t WHERE 1=0 "}, 2, nullptr},
        ProbeCase{"UPDATE t SET c = ? WHERE CURRENT OF c1", {"SELECT t.c FROM t WHERE 1=0 "}, 1, nullptr},
        ProbeCase{
            "UPDATE t SET c = 1, d = ? FROM u WHERE u.k = ?", {"SELECT t.d, u.k FROM t, u WHERE 1=0 "}, 2, nullptr},
        ProbeCase{"INSERT INTO t VALUES (1, ?, ?)", {"SELECT * FROM t WHERE 1=0 "}, 3, "X??"},
        ProbeCase{"INSERT INTO t (a, b) VALUES (?, ?)", {"SELECT a, b FROM t WHERE 1=0 "}, 2, nullptr},
        ProbeCase{"INSERT INTO t (a, b) VALUES ('x', ?)", {"SELECT b FROM t WHERE 1=0 "}, 1, nullptr},
        ProbeCase{"INSERT INTO t (a, b) SELECT ?, c FROM u WHERE d = ?",
                  {"SELECT a FROM t WHERE 1=0 ", "SELECT d FROM u WHERE 1=0 "},
                  2,
                  nullptr},
        ProbeCase{"SELECT a FROM t WHERE a = ? UNION SELECT b FROM u WHERE b = ?",
                  {"SELECT a FROM t WHERE 1=0 ", "SELECT b FROM u WHERE 1=0 "},
                  2,
                  nullptr},
        ProbeCase{"SELECT SUM(x) FROM t HAVING SUM(x) > ?", {"SELECT SUM( x ) FROM t WHERE 1=0 "}, 1, nullptr},
        ProbeCase{"SELECT a FROM t WHERE b = ? HAVING SUM(x) > ? AND COUNT(*) < ?",
                  {"SELECT b, (x), 1 FROM t WHERE 1=0 "},
                  3,
                  nullptr},
        ProbeCase{"SELECT a FROM t x WHERE x.b BETWEEN ? AND ? AND c LIKE ? AND ? IS NULL",
                  {"SELECT x.b, x.b, c, varchar(NULL) FROM t  x WHERE 1=0 "},
                  4,
                  nullptr},
        ProbeCase{
            "SELECT a FROM t WHERE b IN (?, 1, ?) AND ? IN (2, 3)", {"SELECT b, b, 2 FROM t WHERE 1=0 "}, 3, nullptr},
        ProbeCase{"SELECT a FROM t WHERE ? = ANY (SELECT b FROM u)", {}, 0, nullptr},
        ProbeCase{
            "SELECT a FROM t WHERE c = ? AND ? = (SELECT MAX(b) FROM u)", {"SELECT c FROM t WHERE 1=0 "}, 1, nullptr},
        ProbeCase{"DELETE FROM t WHERE a = ? OR b <> ?", {"SELECT a, b FROM t WHERE 1=0 "}, 2, nullptr},
        ProbeCase{"DELETE FROM t", {}, 0, nullptr}, ProbeCase{"SELECT a FROM t WHERE ? = ?", {}, 0, nullptr},
        ProbeCase{"{call p(?)}", {}, 0, nullptr}, ProbeCase{"CALL p(?)", {}, 0, nullptr},
        // A marker in arithmetic with a number takes the number: the other side of the innermost
        // operation, before the markers of WHERE.
        ProbeCase{"SELECT ? + 1", {"SELECT 1 WHERE 1=0 "}, 1, nullptr},
        ProbeCase{"SELECT 2 * ?, ? - 1.5 FROM t", {"SELECT 2, 1.5 FROM t WHERE 1=0 "}, 2, nullptr},
        ProbeCase{"SELECT a + ? * 2e0 AS x FROM t WHERE b = ?", {"SELECT 2e0, b FROM t WHERE 1=0 "}, 2, nullptr},
        ProbeCase{"SELECT (? + k) / 2 FROM t", {"SELECT k FROM t WHERE 1=0 "}, 1, nullptr},
        ProbeCase{"SELECT 1 + 2 + ? FROM t", {"SELECT 2 FROM t WHERE 1=0 "}, 1, nullptr},
        ProbeCase{"SELECT -? + a FROM t", {"SELECT a FROM t WHERE 1=0 "}, 1, nullptr},
        ProbeCase{"SELECT a FROM t WHERE a = ? UNION SELECT ? + 1 FROM u",
                  {"SELECT a FROM t WHERE 1=0 ", "SELECT 1 FROM u WHERE 1=0 "},
                  2,
                  nullptr},
        // Anywhere else the select list's markers stay undescribed (the whole statement then
        // keeps the default descriptions): alone, beside a marker, with a text, in a function.
        ProbeCase{"SELECT ? FROM t WHERE a = ?", {"SELECT a FROM t WHERE 1=0 "}, 1, nullptr},
        ProbeCase{"SELECT ? + ? FROM t", {}, 0, nullptr}, ProbeCase{"SELECT ? || 'x' FROM t", {}, 0, nullptr},
        ProbeCase{"SELECT ? + 'x' FROM t", {}, 0, nullptr},
        ProbeCase{"SELECT ABS(?) + 1, ? + 1 FROM t", {}, 0, nullptr},
        // An INSERT's select list fills its columns, arithmetic or not.
        ProbeCase{"INSERT INTO t (a) SELECT ? + 1 FROM u", {"SELECT a FROM t WHERE 1=0 "}, 1, nullptr}));

TEST(ProbeFailures, UnparsableStatementsMakeNoProbe) {
    SCS_ParmDesc pd;
    scs_ParmDescInit(&pd, "varchar(NULL)");
    EXPECT_EQ(SCS_DescribeParams(&pd, "SELECT a FROM t WHERE a = ?;"), 68u);
    EXPECT_EQ(pd.probeCount, 0u);
    EXPECT_NE(pd.analysis.message, nullptr);
    // Reused after a failure.
    EXPECT_EQ(SCS_DescribeParams(&pd, "DELETE FROM t WHERE a = ?"), 0u);
    EXPECT_EQ(pd.probeCount, 1u);
    scs_ParmDescFree(&pd);
    EXPECT_EQ(SCS_DescribeParams(nullptr, "x"), 21u);
}

TEST(ProbeFailures, BuilderFailureKeepsEarlierProbes) {
    SCS_ParmDesc pd;
    scs_ParmDescInit(&pd, "varchar(NULL)");
    // The second value has no column to take its type from.
    EXPECT_EQ(SCS_DescribeParams(&pd, "INSERT INTO t (a) VALUES (1, ?)"), 0u);
    EXPECT_EQ(pd.probeCount, 0u);
    EXPECT_EQ(pd.paramCount, 0);
    scs_ParmDescFree(&pd);
    scs_ParmDescInit(&pd, "varchar(NULL)");
    // A marker compared with a marker in an IN list.
    EXPECT_EQ(SCS_DescribeParams(&pd, "SELECT a FROM t WHERE b = ? UNION SELECT a FROM u WHERE ? IN (?, 1)"), 0u);
    ASSERT_EQ(pd.probeCount, 1u);
    EXPECT_STREQ(pd.probes[0], "SELECT b FROM t WHERE 1=0 ");
    scs_ParmDescFree(&pd);
}

}  // namespace
