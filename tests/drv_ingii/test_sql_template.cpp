// SQL template expander: arguments, conditional sections, argument tests, quoting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "drv_ingii/i-template.h"
#include "util/mpl.h"

namespace {

// Arguments as the caller owns them: writable copies, absent ones null.
class Args {
public:
    Args(std::initializer_list<std::optional<std::string>> values) {
        for (const auto& v : values) {
            store_.push_back(v ? std::vector<char>(v->begin(), v->end()) : std::vector<char>());
            if (v) store_.back().push_back('\0');
            present_.push_back(v.has_value());
        }
        for (size_t i = 0; i < store_.size(); ++i) ptrs_.push_back(present_[i] ? store_[i].data() : nullptr);
    }
    char** data() { return ptrs_.empty() ? nullptr : ptrs_.data(); }
    int count() const { return static_cast<int>(ptrs_.size()); }
    std::string at(size_t i) const { return ptrs_[i] ? ptrs_[i] : "<absent>"; }

private:
    std::vector<std::vector<char>> store_;
    std::vector<bool> present_;
    std::vector<char*> ptrs_;
};

std::string expand(const std::string& notation, Args& args, int count = -1, bool quoted = false, uint32_t raw = 0) {
    std::string tpl = SqlTemplateCompile(notation.c_str());
    MPL pool;
    mpl_init(&pool);
    int n = count < 0 ? args.count() : count;
    int rc = quoted ? SqlTemplateExpandQuoted(&pool, tpl.c_str(), args.data(), n, raw)
                    : SqlTemplateExpand(&pool, tpl.c_str(), args.data(), n);
    EXPECT_EQ(rc, 0);
    size_t len = 0;
    const char* text = static_cast<const char*>(mpl_finish_len(&pool, &len));
    EXPECT_GE(len, 1u);
    EXPECT_EQ(text[len - 1], '\0');  // the expansion ends with its NUL
    std::string out(text);
    EXPECT_EQ(out.size() + 1, len);
    mpl_destroy(&pool);
    return out;
}

TEST(SqlTemplate, CompileProducesControlCodes) {
    EXPECT_EQ(SqlTemplateCompile("a{1}b"), std::string("a\xFF\x01\x01") + "b");
    EXPECT_EQ(SqlTemplateCompile("[IF#2 WILD 3:x[ELSIF#2 NOTEMPTY 12:y[ELSE#2]z[END#2]"),
              std::string("\xFF\x02\x02\x03\x03x\xFF\x03\x02\x02\x0Cy\xFF\x04\x02z\xFF\x05\x02"));
    // Text that only looks like a code stays text.
    EXPECT_EQ(SqlTemplateCompile("{x} {0} [IF#1 BAD 1: \\[ \\]%"), "{x} {0} [IF#1 BAD 1: \\[ \\]%");
}

TEST(SqlTemplate, Arguments) {
    Args x{"x"};
    EXPECT_EQ(expand("a = '{1}'", x), "a = 'x'");
    EXPECT_EQ(expand("a = '{1}'", x, 0), "a = 'NULL'");
    Args absent{std::nullopt, "b"};
    EXPECT_EQ(expand("<{1}><{2}><{3}>", absent), "<><b><NULL>");
    Args none{};
    EXPECT_EQ(expand("select {1}", none), "select NULL");
    EXPECT_EQ(expand("", none), "");
}

TEST(SqlTemplate, NotEmptyDropsAbsentBlankAndMatchAll) {
    const std::string tpl = "[IF#1 NOTEMPTY 1:owner = '{1}' and [END#1]1=1";
    for (std::optional<std::string> arg : {std::optional<std::string>(), std::optional<std::string>(""),
                                           std::optional<std::string>("   "), std::optional<std::string>("%")}) {
        Args a{arg};
        EXPECT_EQ(expand(tpl, a), "1=1") << a.at(0);
    }
    Args given{"bob"};
    EXPECT_EQ(expand(tpl, given), "owner = 'bob' and 1=1");
    Args pct{"%%"};
    EXPECT_EQ(expand(tpl, pct), "owner = '%%' and 1=1");
    // An argument beyond the count tests as the empty text.
    EXPECT_EQ(expand("[IF#1 EMPTY 4:e[ELSE#1]n[END#1]", given), "e");
}

TEST(SqlTemplate, WildcardTestChoosesLikeOrEquals) {
    const std::string tpl = "[IF#2 WILD 1:like '{1}'[ELSE#2]= '{1}'[END#2]";
    Args escaped{"ab\\_c"};
    EXPECT_EQ(expand(tpl, escaped), "= 'ab_c'");
    EXPECT_EQ(escaped.at(0), "ab_c");  // the escapes are removed in place
    Args wild{"ab_c"};
    EXPECT_EQ(expand(tpl, wild), "like 'ab_c'");
    Args mixed{"\\_x%"};
    EXPECT_EQ(expand(tpl, mixed), "like '\\_x%'");
    EXPECT_EQ(mixed.at(0), "\\_x%");
    Args first{"%x"};
    EXPECT_EQ(expand(tpl, first), "like '%x'");
    Args plain{"a\\b"};
    EXPECT_EQ(expand(tpl, plain), "= 'a\\b'");
    EXPECT_EQ(plain.at(0), "a\\b");  // other backslashes stay
    Args absent{std::nullopt};
    EXPECT_EQ(expand(tpl, absent), "= ''");
}

TEST(SqlTemplate, StrippedPatternTestedAgainCountsAsWild) {
    Args a{"x\\_y"};
    EXPECT_EQ(expand("[IF#1 NOWILD 1:eq[END#1] [IF#2 WILD 1:like[ELSE#2]eq[END#2]", a), "eq like");
}

TEST(SqlTemplate, ElsifChainsAndNesting) {
    const std::string tpl =
        "[IF#1 EMPTY 1:none[ELSIF#1 WILD 1:like {1}[ELSIF#1 NOTEMPTY 2:two {2}[ELSE#1]else[END#1];"
        "[IF#3 NOTEMPTY 1:a[IF#4 NOTEMPTY 2:b{2}[ELSE#4]c[END#4]d[ELSE#3]e[IF#4 EMPTY 2:f[END#4][END#3]";
    Args a{"", "z"};
    EXPECT_EQ(expand(tpl, a), "none;e");
    Args b{"x%", "z"};
    EXPECT_EQ(expand(tpl, b), "like x%;abzd");
    Args c{"x", "z"};
    EXPECT_EQ(expand(tpl, c), "two z;abzd");
    Args d{"x", ""};
    EXPECT_EQ(expand(tpl, d), "else;acd");
    Args e{"", ""};
    EXPECT_EQ(expand(tpl, e), "none;ef");
}

TEST(SqlTemplate, UnknownTestFailsAndBrokenTemplatesStop) {
    Args a{"x"};
    std::string bad_test("\xFF\x02\x01\x09\x01kept?\xFF\x04\x01no\xFF\x05\x01!");
    MPL pool;
    mpl_init(&pool);
    SqlTemplateExpand(&pool, bad_test.c_str(), a.data(), 1);
    EXPECT_STREQ(static_cast<char*>(mpl_finish(&pool)), "no!");
    // Missing END: the expander stops at the template's end.
    SqlTemplateExpand(&pool, SqlTemplateCompile("a[IF#1 EMPTY 1:b").c_str(), a.data(), 1);
    EXPECT_STREQ(static_cast<char*>(mpl_finish(&pool)), "a");
    // A code cut by the end of the template.
    std::string cut("x\xFF\x02\x01");
    SqlTemplateExpand(&pool, cut.c_str(), a.data(), 1);
    EXPECT_STREQ(static_cast<char*>(mpl_finish(&pool)), "x");
    std::string lone("y\xFF");
    SqlTemplateExpand(&pool, lone.c_str(), a.data(), 1);
    EXPECT_STREQ(static_cast<char*>(mpl_finish(&pool)), "y");
    SqlTemplateExpand(&pool, nullptr, nullptr, 0);
    EXPECT_STREQ(static_cast<char*>(mpl_finish(&pool)), "");
    EXPECT_EQ(SqlTemplateExpand(nullptr, "x", nullptr, 0), 0);
    mpl_destroy(&pool);
}

TEST(SqlTemplate, QuotedExpansionDoublesEveryQuote) {
    const std::string tpl = "select * from t where [IF#1 NOTEMPTY 1:name = '{1}' and [END#1]kind in ({2})";
    Args a{"O'Brien' or 1=1 --", "'UT','UV'"};
    EXPECT_EQ(expand(tpl, a, -1, true, 1u << 1),
              "select * from t where name = 'O''Brien'' or 1=1 --' and kind in ('UT','UV')");
    // Without the raw bit the list is quoted as well; the plain expander places texts as they are.
    EXPECT_EQ(expand(tpl, a, -1, true, 0),
              "select * from t where name = 'O''Brien'' or 1=1 --' and kind in (''UT'',''UV'')");
    EXPECT_EQ(expand(tpl, a), "select * from t where name = 'O'Brien' or 1=1 --' and kind in ('UT','UV')");
    Args only{"''"};
    EXPECT_EQ(expand("'{1}'", only, -1, true), "''''''");
    // A pattern keeps its LIKE/= choice; the quotes are doubled after the escapes are removed.
    Args pat{"it\\_s'"};
    EXPECT_EQ(expand("[IF#2 WILD 1:like '{1}'[ELSE#2]= '{1}'[END#2]", pat, -1, true), "= 'it_s'''");
}

TEST(SqlTemplate, QuoteDup) {
    char* q = SqlQuoteDup("a'b''c'");
    EXPECT_STREQ(q, "a''b''''c''");
    free(q);
    q = SqlQuoteDup("");
    EXPECT_STREQ(q, "");
    free(q);
    EXPECT_EQ(SqlQuoteDup(nullptr), nullptr);
}

TEST(SqlTemplate, ArgumentTests) {
    EXPECT_TRUE(SqlTemplateArgEmpty(nullptr));
    EXPECT_TRUE(SqlTemplateArgEmpty(""));
    EXPECT_TRUE(SqlTemplateArgEmpty("  "));
    EXPECT_TRUE(SqlTemplateArgEmpty("%"));
    EXPECT_FALSE(SqlTemplateArgEmpty(" %"));
    EXPECT_FALSE(SqlTemplateArgEmpty("a"));
    char w[] = "a\\%b\\_c\\d";
    EXPECT_FALSE(SqlTemplateArgWild(w));
    EXPECT_STREQ(w, "a%b_c\\d");
    char u[] = "_";
    EXPECT_TRUE(SqlTemplateArgWild(u));
    EXPECT_FALSE(SqlTemplateArgWild(nullptr));
}

TEST(SqlTemplate, LongExpansionGrowsThePool) {
    std::string big(20000, 'x');
    Args a{big};
    std::string tpl;
    for (int i = 0; i < 5; ++i) tpl += "{1},";
    std::string out = expand(tpl, a);
    EXPECT_EQ(out.size(), 5 * (big.size() + 1));
}

}  // namespace
