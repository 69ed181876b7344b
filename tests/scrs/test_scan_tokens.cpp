// Token streams of the SQL analyser's scanner.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scrs/scr_parse.h"

namespace {

std::vector<int> Scan(const char* sql, std::vector<std::string>* texts = nullptr) {
    ScsqlTokens t;
    int n = ScsqlScanAll(sql, &t);
    EXPECT_GE(n, 0);
    std::vector<int> out;
    for (int i = 0; i < n; ++i) {
        out.push_back(t.tokens[i]);
        if (texts) texts->push_back(t.texts[i]);
    }
    return out;
}

struct TokCase {
    const char* sql;
    std::vector<int> tokens;
};

class ScanTokens : public ::testing::TestWithParam<TokCase> {};

TEST_P(ScanTokens, Stream) { EXPECT_EQ(Scan(GetParam().sql), GetParam().tokens) << GetParam().sql; }

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanTokens,
    ::testing::Values(TokCase{"select * from t", {310, '*', 288, 258}},
                      TokCase{"SeLeCt a FROM t", {310, 258, 288, 258}}, TokCase{"call p", {306}},
                      TokCase{"{call p(?)}", {329}}, TokCase{"   EXECUTE PROCEDURE p", {306}},
                      TokCase{"select a from t ORDER BY a", {310, 258, 288, 258, 305, 281, 258}},
                      TokCase{"select order, inner from t", {310, 258, ',', 258, 288, 258}},
                      TokCase{"select a from t1 LEFT OUTER JOIN t2", {310, 258, 288, 258, 298, 304, 297, 258}},
                      TokCase{"select {d '2020-01-31'} from t", {310, 327, 266, 328, 288, 258}},
                      TokCase{"select {d '2020-1-31'} from t", {310, 327, 258, 259, 328, 288, 258}},
                      TokCase{"select {t '10:11:12'}, {ts '2020-01-31 10:11:12.5'} from t",
                              {310, 327, 267, 328, ',', 327, 268, 328, 288, 258}},
                      TokCase{"select a from t where a <> 1 and b >= 2.5 or c < 1e3",
                              {310, 258, 288, 258, 316, 258, 263, 260, 273, 258, 263, 261, 272, 258, 263, 262}},
                      TokCase{"select a||b, 0x1F, ? from t", {310, 258, 271, 258, ',', 269, ',', 307, 288, 258}},
                      TokCase{"select a from t where b *= c", {310, 258, 288, 258, 316, 258, 270, 258}},
                      TokCase{"select count(*) from t", {310, 264, '(', '*', ')', 288, 258}},
                      TokCase{"select a from t where b like 'x%' escape '\\'",
                              {310, 258, 288, 258, 316, 258, 299, 259, 265}},
                      TokCase{"select a-b from t", {310, 258, 288, 258}},
                      TokCase{"select \"my col\", `x` from t", {310, 258, ',', 258, 288, 258}},
                      TokCase{"select a from own.t@n", {310, 258, 288, 258, '.', 258, '@', 258}},
                      TokCase{"select a from x@12", {310, 258, 288, 258}}, TokCase{"select @@rowcount", {310, 258}},
                      TokCase{"select a from t;", {310, 258, 288, 258, ';'}},
                      TokCase{"select a from t where a != b", {310, 258, 288, 258, 316, 258, 263, 258}},
                      TokCase{"select a from t where b = 'it''s'", {310, 258, 288, 258, 316, 258, 263, 259}},
                      TokCase{"select a from t where b = 'open\n", {310, 258, 288, 258, 316, 258, 263, 258}},
                      TokCase{"select --(*vendor(Microsoft),product(ODBC) fn ucase(a)*)-- from t",
                              {310, 325, 287, 258, '(', 258, ')', 326, 288, 258}},
                      TokCase{"select a from {oj t1 LEFT OUTER JOIN t2 ON a.x = b.x AND a.y = b.y}",
                              {310, 258, 288, 327, 302, 258, 298, 304, 297, 258, 303, 258, '.', 258,
                               263, 258, '.', 258, 258, 258, '.', 258, 263, 258, '.', 258, 328}},
                      TokCase{"", {}}, TokCase{"!!!", {}}));

TEST(ScanTexts, WordsTakeTheirFirstSpellingLiteralsKeepTheirOwn) {
    std::vector<std::string> texts;
    Scan("select Col, COL from t where a = 'x' or a = 'X'", &texts);
    ASSERT_EQ(texts.size(), 14u);
    EXPECT_EQ(texts[1], "Col");
    EXPECT_EQ(texts[3], "Col");
    // Literals that differ in case are different values.
    EXPECT_EQ(texts[9], "'x'");
    EXPECT_EQ(texts[13], "'X'");
}

TEST(ScanTexts, ComparisonAndLiteralTexts) {
    std::vector<std::string> texts;
    Scan("select a from t where a <= 12 and b != 0x1f", &texts);
    ASSERT_EQ(texts.size(), 12u);
    EXPECT_EQ(texts[6], "<=");
    EXPECT_EQ(texts[7], "12");
    EXPECT_EQ(texts[10], "!=");
    EXPECT_EQ(texts[11], "0x1f");
}

TEST(ScanTexts, LongInputIsScannedWhole) {
    // Longer than one input buffer and than the echo.
    std::string sql = "select a from t where b in (";
    for (int i = 0; i < 6000; ++i) sql += (i ? ", " : "") + std::to_string(i);
    sql += ")";
    ScsqlTokens t;
    // Only the first 256 tokens are kept; the scan must still not fail.
    EXPECT_EQ(ScsqlScanAll(sql.c_str(), &t), 256);
    std::string word(50000, 'x');
    std::string sql2 = "select " + word + " from t";
    EXPECT_EQ(ScsqlScanAll(sql2.c_str(), &t), 4);
    EXPECT_EQ(ScsqlScanAll(nullptr, &t), -1);
}

}  // namespace
