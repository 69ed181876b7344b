// ODBC-to-Ingres translation: escape clauses, literals, separators, markers, statement kind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <thread>
#include <algorithm>

#include "drv_ingii/i-sql.h"
#include "util/log.h"

namespace {

struct Translated {
    std::string source;
    std::string text;
    uint16_t markers;
    uint16_t kind;
    uint16_t flags;
};

Translated translate(const char* sql) {
    IngSqlText block{};
    EXPECT_EQ(IngTranslateSql(&block, sql), 0);
    Translated t{block.source ? block.source : "<null>", block.ingres ? block.ingres : "<null>", block.markers,
                 block.kind, block.markerFlags};
    IngSqlTextFree(&block);
    return t;
}

// Collects what the log facility writes while alive.
class LogCapture {
public:
    LogCapture() {
        channel_ = log_channel_open(&LogCapture::Write, nullptr, LOGL_DEBUG, 0xFFFFFFFFu, 0);
        channel_->user = this;
    }
    ~LogCapture() { log_close(channel_); }
    const std::vector<std::pair<int, std::string>>& lines() const { return lines_; }

private:
    static void Write(LOG_Channel* channel, int level, const char* text) {
        static_cast<LogCapture*>(channel->user)->lines_.emplace_back(level, text);
    }
    LOG_Channel* channel_;
    std::vector<std::pair<int, std::string>> lines_;
};

struct Case {
    const char* sql;
    const char* expected;
    uint16_t markers;
    uint16_t flags;
    uint16_t kind;
};

const Case kCases[] = {
    // Literals are copied untouched; markers outside them are counted.
    {"SELECT 'a{b}c', ? FROM t", "SELECT 'a{b}c', ? FROM t", 1, 2, 1},
    {"SELECT 'it''s {fn ucase(x)}' FROM t", "SELECT 'it''s {fn ucase(x)}' FROM t", 0, 0, 1},
    {"SELECT \"odd{name\" FROM t WHERE a = '?'", "SELECT \"odd{name\" FROM t WHERE a = '?'", 0, 0, 1},
    {"   \t select x from t", "select x from t", 0, 0, 1},
    // Scalar functions.
    {"{fn ucase(name)}", " uppercase(name)", 0, 0, 3},
    {"SELECT {fn UCASE(name)} FROM t", "SELECT  uppercase(name) FROM t", 0, 0, 1},
    {"{fn lcase (name)}", " lowercase (name)", 0, 0, 3},
    {"{fn locate('x', col, 3)}", " locate( col, 3,'x')", 0, 0, 3},
    {"{fn locate('a,b', f(c, d))}", " locate( f(c, d),'a,b')", 0, 0, 3},
    {"{fn locate(x)}", " locate(x)", 0, 0, 3},
    {"{fn pi()}", " 3.14159265358979", 0, 0, 3},
    {"{fn curdate()}", " date('today')", 0, 0, 3},
    {"{fn now()}", " date('now')", 0, 0, 3},
    {"{fn curtime()}", " _time(int4(dbmsinfo('_bintim')))", 0, 0, 3},
    {"{fn user()}", " dbmsinfo('username')", 0, 0, 3},
    {"{fn database()}", " dbmsinfo('database')", 0, 0, 3},
    {"{fn bit_length(x)}", " length((x))*8", 0, 0, 3},
    {"{fn log10(x)}", " log((x))/log(10)", 0, 0, 3},
    {"{fn week(d)}", " date_part('wk',(d))+1", 0, 0, 3},
    {"{fn quarter(d)}", " date_part('qtr',(d))", 0, 0, 3},
    {"{fn mod(a, ?)}", " mod(a, ?)", 1, 2, 3},
    {"{fn foo(1)}", " foo(1)", 0, 0, 3},
    // CONVERT and EXTRACT.
    {"{fn CONVERT(x, SQL_WHATEVER)}", "x", 0, 0, 3},
    {"{fn CONVERT(x, SQL_INTEGER)}", "int4(x)", 0, 0, 3},
    {"{fn convert( a+b ,  sql_varchar )}", "varchar( a+b )", 0, 0, 3},
    {"{fn CONVERT(substr(a, 1, 2), SQL_CHAR)}", "char(substr(a, 1, 2))", 0, 0, 3},
    {"{fn CONVERT(x, SQL_DECIMAL)}", "x", 0, 0, 3},
    {"{fn CONVERT(x, SQL_TIME)}", "x", 0, 0, 3},
    {"{fn CONVERT(x, SQL_TIMESTAMP)}", "date(x)", 0, 0, 3},
    {"{fn CONVERT(x)}", "", 0, 0, 3},
    {"{fn CONVERT(x, )}", "", 0, 0, 3},
    {"{fn EXTRACT(YEAR FROM d)}", " date_part('yr', ( d))", 0, 0, 3},
    {"{fn extract(month from ?)}", " date_part('mo', ( ?))", 1, 2, 3},
    {"{fn EXTRACT(YEAR d)}", "", 0, 0, 3},
    // Date, time and timestamp literals.
    {"{d '2024-01-15'}", "date('01/15/2024')", 0, 0, 3},
    {"{d '2024/1/5'}", "date('01/05/2024')", 0, 0, 3},
    {"{t '10:20:30'}", "date('10:20:30')", 0, 0, 3},
    {"{t '7:05'}", "date('07:05:00')", 0, 0, 3},
    {"{ts '2024-01-15 10:20:30.5'}", "date('01/15/2024 10:20:30')", 0, 0, 3},
    {"{ts '2024-01-15'}", "date('01/15/2024 00:00:00')", 0, 0, 3},
    {"INSERT INTO t VALUES ({d '1999-12-31'}, ?)", "INSERT INTO t VALUES (date('12/31/1999'), ?)", 1, 2, 2},
    // Outer joins.
    {"{oj a LEFT OUTER JOIN b ON a.x=b.x}", " (a LEFT JOIN b ON a.x=b.x) ", 0, 0, 3},
    {"SELECT * FROM {oj t1 right outer join t2 on t1.k = t2.k}", "SELECT * FROM  (t1 RIGHT JOIN t2 ON t1.k = t2.k) ", 0,
     0, 1},
    {"{oj a FULL OUTER JOIN b ON a.x=b.x}", " (a FULL JOIN b ON a.x=b.x) ", 0, 0, 3},
    {"{oj a INNER JOIN b ON a.x=b.x}", " (a INNER JOIN b ON a.x=b.x) ", 0, 0, 3},
    {"{oj a LEFT OUTER JOIN b}", "", 0, 0, 3},
    {"{oj a, b}", "", 0, 0, 3},
    // Procedure calls.
    {"{call p(?,?)}", "p", 2, 2 | 4, 3},
    {"{?=call p(?)}", "p", 2, 2 | 4 | 8, 3},
    {"{ ? = CALL owner.proc }", "owner.proc", 1, 2 | 4 | 8, 3},
    {"{call p ('?')}", "p", 0, 4, 3},
    {"{callx p}", "", 0, 0, 3},
    // ESCAPE and unknown clauses.
    {"SELECT a FROM t WHERE a LIKE 'x\\_%' {escape '\\'}", "SELECT a FROM t WHERE a LIKE 'x\\_%' ESCAPE '\\'", 0, 0, 1},
    {"SELECT {zz 1} FROM t", "SELECT  FROM t", 0, 0, 1},
    // Nesting and the vendor form.
    {"{fn ucase({fn lcase(x)})}", " uppercase( lowercase(x))", 0, 0, 3},
    {"--*(Vendor(Microsoft),Product(ODBC), fn ucase(x)--*)", " uppercase(x)", 0, 0, 3},
    {"--*(vendor(Microsoft),product(ODBC),fn lcase(x)--*)", " lowercase(x)", 0, 0, 3},
    {"--*(Vendor(Microsoft) fn ucase(x)--*)", "", 0, 0, 3},
    {"SELECT --*(fn lcase(?)--*) FROM t", "SELECT  lowercase(?) FROM t", 1, 2, 1},
    {"{fn ucase(--*(fn lcase(x)--*))}", " uppercase( lowercase(x))", 0, 0, 3},
    {"--*(fn ucase({fn lcase(x)})--*)", " uppercase( lowercase(x))", 0, 0, 3},
    {"a --*x b", "a --*x b", 0, 0, 3},
    {"a } b --*) c", "a } b --*) c", 0, 0, 3},
    {"SELECT {fn ucase(x) FROM t", "SELECT {fn ucase(x) FROM t", 0, 0, 1},
    {"SELECT --*(fn ucase(x) FROM t", "SELECT --*(fn ucase(x) FROM t", 0, 0, 1},
    // Separators and control characters.
    {"a;  ", "a", 0, 0, 3},
    {"a; b", "a;\nb", 0, 0, 3},
    {"a;\n\t b; ", "a;\nb", 0, 0, 3},
    {"a; {fn ucase(x)}", "a;\n uppercase(x)", 0, 0, 3},
    {"a; 'x;y'", "a;\n'x;y'", 0, 0, 3},
    {"SELECT a,\tb\r\nFROM t\x01", "SELECT a, b\n\nFROM t ", 0, 0, 1},
    {"SELECT '\ta' FROM t", "SELECT '\ta' FROM t", 0, 0, 1},
    // Comments are the server's: quotes, braces and markers in them are not read.
    {"SELECT a -- what about ?\nFROM t WHERE b = ?", "SELECT a -- what about ?\nFROM t WHERE b = ?", 1, 2, 1},
    {"SELECT a -- that's {fn ucase(x)}\nFROM t WHERE b = {fn ucase(?)}",
     "SELECT a -- that's {fn ucase(x)}\nFROM t WHERE b =  uppercase(?)", 1, 2, 1},
    {"SELECT /* it's ? */ a FROM t WHERE b = ?", "SELECT /* it's ? */ a FROM t WHERE b = ?", 1, 2, 1},
    {"SELECT /* a\tb\r\n? */ 1", "SELECT /* a b\n\n? */ 1", 0, 0, 1},
    {"SELECT 1 /* open ? 'x", "SELECT 1 /* open ? 'x", 0, 0, 1},
    {"SELECT 1 -- ?; DROP TABLE t", "SELECT 1 -- ?; DROP TABLE t", 0, 0, 1},
    {"SELECT '--', ? FROM t", "SELECT '--', ? FROM t", 1, 2, 1},
    {"SELECT 1 - -? FROM t", "SELECT 1 - -? FROM t", 1, 2, 1},
    {"SELECT 2/ *? FROM t", "SELECT 2/ *? FROM t", 1, 2, 1},
    {"SELECT --*(fn lcase(?)--*) -- ?\nFROM t", "SELECT  lowercase(?) -- ?\nFROM t", 1, 2, 1},
    // Statement kinds.
    {"UPDATE t SET a = ? WHERE b = ?", "UPDATE t SET a = ? WHERE b = ?", 2, 2, 2},
    {"delete from t", "delete from t", 0, 0, 2},
    {"((select 1))", "((select 1))", 0, 0, 1},
    {"( ( select 1))", "( ( select 1))", 0, 0, 1},
    {"CREATE TABLE t (a int)", "CREATE TABLE t (a int)", 0, 0, 3},
    {"selectx from t", "selectx from t", 0, 0, 3},
    {"", "", 0, 0, 3},
};

TEST(SqlTranslate, CaseTable) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.sql);
        Translated t = translate(c.sql);
        EXPECT_EQ(t.text, c.expected);
        EXPECT_EQ(t.markers, c.markers);
        EXPECT_EQ(t.flags, c.flags);
        EXPECT_EQ(t.kind, c.kind);
    }
}

TEST(SqlTranslate, SourceKeepsTextFromFirstNonBlank) {
    Translated t = translate("  \n{fn ucase(x)} ;  ");
    EXPECT_EQ(t.source, "{fn ucase(x)} ;  ");
    EXPECT_EQ(t.text, " uppercase(x) ");
    Translated empty = translate(nullptr);
    EXPECT_EQ(empty.source, "");
    EXPECT_EQ(empty.text, "");
    EXPECT_EQ(empty.kind, 3);
}

TEST(SqlTranslate, RetranslationReplacesTextsAndKeepsOwnerFlags) {
    IngSqlText block{};
    IngTranslateSql(&block, "{call p(?)}");
    EXPECT_EQ(block.markerFlags, 2 | 4);
    // The owner clears the flags before a new text; the translation only adds to them.
    IngTranslateSql(&block, "SELECT 1");
    EXPECT_STREQ(block.ingres, "SELECT 1");
    EXPECT_EQ(block.markerFlags, 2 | 4);
    EXPECT_EQ(block.markers, 0);
    block.markerFlags = 0;
    IngTranslateSql(&block, "SELECT 1");
    EXPECT_EQ(block.markerFlags, 0);
    IngSqlTextFree(&block);
    EXPECT_EQ(block.source, nullptr);
    EXPECT_EQ(block.ingres, nullptr);
    IngSqlTextFree(&block);
    IngSqlTextFree(nullptr);
    EXPECT_EQ(IngTranslateSql(nullptr, "x"), 0);
}

TEST(SqlTranslate, NestedCallSetsNoFlagsButCountsMarkers) {
    Translated t = translate("{fn ucase({call p(?)})}");
    EXPECT_EQ(t.text, " uppercase(p)");
    EXPECT_EQ(t.markers, 1);
    EXPECT_EQ(t.flags, 2);
}

TEST(SqlTranslate, UnknownClausesAreLogged) {
    LogCapture log;
    EXPECT_EQ(translate("SELECT {zz 1 2} FROM t").text, "SELECT  FROM t");
    EXPECT_EQ(translate("{fn foo(1)}").text, " foo(1)");
    EXPECT_EQ(translate("{fn ucase(x)}").text, " uppercase(x)");
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0].first, LOGL_WARNING);
    EXPECT_NE(log.lines()[0].second.find("unknown escape sequence zz 1 2"), std::string::npos);
    EXPECT_EQ(log.lines()[1].first, LOGL_WARNING);
    EXPECT_NE(log.lines()[1].second.find("unknown escape function foo called"), std::string::npos);
}

class SqlTranslateDateFormat : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = getenv("II_DATE_FORMAT");
        had_ = old != nullptr;
        if (had_) old_ = old;
    }
    void TearDown() override {
        if (had_)
            setenv("II_DATE_FORMAT", old_.c_str(), 1);
        else
            unsetenv("II_DATE_FORMAT");
    }
    bool had_ = false;
    std::string old_;
};

TEST_F(SqlTranslateDateFormat, MultinationalPutsDayFirst) {
    setenv("II_DATE_FORMAT", "multinational4", 1);
    EXPECT_EQ(translate("{d '2024-01-15'}").text, "date('15/01/2024')");
    EXPECT_EQ(translate("{ts '2024-01-15 10:20:30.5'}").text, "date('15/01/2024 10:20:30')");
    EXPECT_EQ(translate("{t '10:20:30'}").text, "date('10:20:30')");
    setenv("II_DATE_FORMAT", "US", 1);
    EXPECT_EQ(translate("{d '2024-01-15'}").text, "date('01/15/2024')");
    setenv("II_DATE_FORMAT", "MULTI", 1);
    EXPECT_EQ(translate("{d '2024-01-15'}").text, "date('01/15/2024')");
}

TEST(SqlTranslate, DeepNestingIsBoundedAndKeepsTheRestAsText) {
    std::string sql;
    const int levels = 40;
    for (int i = 0; i < levels; ++i) sql += "{fn ucase(";
    sql += "?";
    for (int i = 0; i < levels; ++i) sql += ")}";
    Translated t = translate(sql.c_str());
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = t.text.find(what); at != std::string::npos; at = t.text.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count(" uppercase("), 32u);
    EXPECT_EQ(count("{fn ucase("), 8u);
    EXPECT_EQ(t.markers, 1);
}

TEST(SqlTranslate, HugeInputIsHandled) {
    std::string sql = "SELECT ";
    for (int i = 0; i < 20000; ++i) sql += "{fn ucase(?)},";
    sql += "1 FROM t";
    Translated t = translate(sql.c_str());
    EXPECT_EQ(t.markers, 20000);
    EXPECT_EQ(t.text.size(), 7 + 20000 * std::strlen(" uppercase(?),") + 8);
}

TEST(SqlTranslate, MarkerCountSaturates) {
    std::string sql(70000, '?');
    Translated t = translate(sql.c_str());
    EXPECT_EQ(t.markers, 0xFFFF);
    EXPECT_EQ(t.flags, 2);
}

TEST(SqlTranslate, MapsAreSortedForBinarySearch) {
    EXPECT_TRUE(SqlMapsAreSorted());
    EXPECT_STREQ(SqlScalarFunctionForm("UCASE", 5), "uppercase%");
    EXPECT_STREQ(SqlScalarFunctionForm("Character_Length", 16), "length%");
    EXPECT_EQ(SqlScalarFunctionForm("ucas", 4), nullptr);
    EXPECT_EQ(SqlScalarFunctionForm("ucasex", 6), nullptr);
    EXPECT_STREQ(SqlConvertTypeForm("sql_bigint", 10), "int8(%)");
    EXPECT_STREQ(SqlConvertTypeForm("sql_bigint", 10, false), "int4(%)");
    EXPECT_STREQ(SqlConvertTypeForm("SQL_INTEGER", 11, false), "int4(%)");
    EXPECT_STREQ(SqlConvertTypeForm("SQL_VARBINARY", 13), "");
    EXPECT_EQ(SqlConvertTypeForm("SQL_WCHAR", 9), nullptr);
}

// CONVERT to SQL_BIGINT is an INTEGER8 where the owner says the server has one, nested clauses
// and SQLNativeSql included; else the widest integer there is, int4.
TEST(SqlTranslate, ConvertToBigintFollowsTheServersIntegers) {
    const struct {
        const char* sql;
        const char* with8;
        const char* without8;
    } cases[] = {
        {"{fn CONVERT(x, SQL_BIGINT)}", "int8(x)", "int4(x)"},
        {"select {fn ucase({fn convert(a, sql_bigint)})} from t", "select  uppercase(int8(a)) from t",
         "select  uppercase(int4(a)) from t"},
        {"{fn CONVERT(x, SQL_INTEGER)}", "int4(x)", "int4(x)"},
    };
    for (const auto& c : cases) {
        for (bool has8 : {true, false}) {
            SCOPED_TRACE(std::string(c.sql) + (has8 ? " with INTEGER8" : " without"));
            IngSqlText block{};
            block.hasInteger8 = has8;
            IngTranslateSql(&block, c.sql);
            EXPECT_STREQ(block.ingres, has8 ? c.with8 : c.without8);
            // A second text on the same block keeps the owner's setting.
            IngTranslateSql(&block, c.sql);
            EXPECT_STREQ(block.ingres, has8 ? c.with8 : c.without8);
            IngSqlTextFree(&block);
            char out[100];
            uint16_t len = 0;
            EXPECT_EQ(IngNativeSqlText(c.sql, out, sizeof out, &len, has8), 0);
            EXPECT_STREQ(out, has8 ? c.with8 : c.without8);
        }
    }
}

TEST(SqlTranslate, FindTopLevelSkipsQuotesAndParentheses) {
    const char* text = "f(a, b), 'x,y', c";
    EXPECT_EQ(SqlFindTopLevel(text, ','), text + 7);
    EXPECT_EQ(SqlFindTopLevel("'a,b'", ','), nullptr);
    EXPECT_EQ(SqlFindTopLevel(nullptr, ','), nullptr);
}

TEST(SqlNativeSql, CopiesWithTruncationAndFullLength) {
    char out[64];
    uint16_t len = 999;
    EXPECT_EQ(IngNativeSqlText("{fn ucase(x)}", out, sizeof out, &len), 0);
    EXPECT_STREQ(out, " uppercase(x)");
    EXPECT_EQ(len, 13);

    char small[6];
    len = 0;
    EXPECT_EQ(IngNativeSqlText("{fn ucase(x)}", small, sizeof small, &len), 19);
    EXPECT_STREQ(small, " uppe");
    EXPECT_EQ(len, 13);

    len = 7;
    EXPECT_EQ(IngNativeSqlText("{d '2024-01-15'}", nullptr, 0, &len), 0);
    EXPECT_EQ(len, std::strlen("date('01/15/2024')"));

    EXPECT_EQ(IngNativeSqlText("SELECT 1", out, 0, &len), 19);
    EXPECT_EQ(IngNativeSqlText("SELECT 1", out, sizeof out, nullptr), 0);
    EXPECT_STREQ(out, "SELECT 1");
    EXPECT_EQ(IngNativeSqlText(nullptr, out, sizeof out, &len), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(len, 0);
}

}  // namespace

namespace {

// Translations on different connections run at once; each keeps its own state.
TEST(SqlTranslate, ConcurrentTranslationsKeepTheirOwnState) {
    const std::vector<std::pair<std::string, std::string>> work = {
        {"{fn ucase({fn lcase(?)})}", " uppercase( lowercase(?))"},
        {"SELECT {d '2024-01-15'}, ? FROM t WHERE a = ?", "SELECT date('01/15/2024'), ? FROM t WHERE a = ?"},
        {"{?=call p(?, ?)}", "p"},
        {"{fn EXTRACT(YEAR FROM ?)}", " date_part('yr', ( ?))"},
    };
    std::vector<int> failures(work.size(), 0);
    std::vector<std::thread> threads;
    for (size_t w = 0; w < work.size(); ++w) {
        threads.emplace_back([&, w] {
            for (int i = 0; i < 300; ++i) {
                IngSqlText block{};
                IngTranslateSql(&block, work[w].first.c_str());
                uint16_t expected_markers =
                    static_cast<uint16_t>(std::count(work[w].first.begin(), work[w].first.end(), '?'));
                if (work[w].second != block.ingres || block.markers != expected_markers) ++failures[w];
                IngSqlTextFree(&block);
            }
        });
    }
    for (auto& t : threads) t.join();
    for (size_t w = 0; w < work.size(); ++w) EXPECT_EQ(failures[w], 0) << work[w].first;
}

}  // namespace
