// Small string utilities: keyword and word search, trims, quoting, copies, paths and the
// program name, and the per-thread error text.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "util/strutil.h"

namespace {

struct KeywordCase {
    const char* keyword;
    const char* text;
    bool fold;
    const char* rest;  // null: no match
};

TEST(StrUtil, KeywordMatch) {
    const KeywordCase cases[] = {
        {"SELECT", "  select  * from t", true, "* from t"},
        {"SELECT", "selectx", true, nullptr},
        {"SELECT", "SELECT", true, ""},
        {"SELECT", "\tSelect\n", true, ""},
        {"SELECT", "sel", true, nullptr},
        {"SELECT", "select *", false, nullptr},
        {"SELECT", "SELECT *", false, "*"},
        {"", "  abc", true, nullptr},  // empty keyword must still be followed by a blank or the end
        {"", "   ", true, ""},
    };
    for (const KeywordCase& c : cases) {
        const char* r = c.fold ? KeywordMatch(c.keyword, c.text) : KeywordMatchCase(c.keyword, c.text);
        if (!c.rest) {
            EXPECT_EQ(r, nullptr) << c.text;
        } else {
            ASSERT_NE(r, nullptr) << c.text;
            EXPECT_STREQ(r, c.rest);
            EXPECT_GE(r, c.text);
            EXPECT_LE(r, c.text + strlen(c.text));
        }
    }
    EXPECT_EQ(KeywordMatch(nullptr, "x"), nullptr);
    EXPECT_EQ(KeywordMatch("x", static_cast<const char*>(nullptr)), nullptr);
}

TEST(StrUtil, Trims) {
    struct Case {
        const char* in;
        const char* out;
        bool null_result;
    } cases[] = {
        {"abc  \t\n", "abc", false}, {"   ", "", true}, {"", "", true}, {"x", "x", false}, {" a b ", " a b", false}};
    for (const Case& c : cases) {
        std::string buf(c.in);
        char* last = StrRTrim(buf.data());
        EXPECT_STREQ(buf.c_str(), c.out);
        if (c.null_result) {
            EXPECT_EQ(last, nullptr);
        } else {
            ASSERT_NE(last, nullptr);
            EXPECT_EQ(last[1], '\0');
            EXPECT_EQ(*last, c.out[strlen(c.out) - 1]);
        }
    }
    EXPECT_EQ(StrRTrim(nullptr), nullptr);
    EXPECT_STREQ(StrLTrim("  \tab "), "ab ");
    EXPECT_EQ(StrLTrim(static_cast<const char*>(nullptr)), nullptr);
}

TEST(StrUtil, ListFindWord) {
    struct Case {
        const char* list;
        const char* word;
        int pos;
    } cases[] = {
        {"a, bb ,c", "bb", 0}, {"a, bb,c", "bb", 2}, {"a,bb,c", "c", 3}, {"a,bb,c", "b", 0},  {"abc", "abc", 1},
        {"a,  x", "x", 2},     {"", "a", 0},         {"a,,b", "", 2},    {"bbb,bb", "bb", 2},
    };
    for (const Case& c : cases) EXPECT_EQ(ListFindWord(c.list, c.word), c.pos) << c.list << " / " << c.word;
    EXPECT_EQ(ListFindWord(nullptr, "a"), 0);
    EXPECT_EQ(ListFindWord("a", nullptr), 0);
}

TEST(StrUtil, FindWordOutsideLiterals) {
    const char* text = "update t set s = 'current of' where \"current\" = 1 and current of c";
    const char* at = FindWordOutsideLiterals(text, "CURRENT");
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(std::string(at), "current of c");
    EXPECT_EQ(FindWordOutsideLiterals("{call p(1)}", "call") - "{call p(1)}", 1);
    EXPECT_EQ(FindWordOutsideLiterals("recall calls call_x xcall", "call"), nullptr);
    EXPECT_EQ(FindWordOutsideLiterals("'it''s call' x", "call"), nullptr);
    EXPECT_EQ(FindWordOutsideLiterals("'open call", "call"), nullptr);
    EXPECT_EQ(FindWordOutsideLiterals(nullptr, "call"), nullptr);
    EXPECT_EQ(FindWordOutsideLiterals("call", nullptr), nullptr);
    EXPECT_EQ(FindWordOutsideLiterals("call", ""), nullptr);
}

TEST(StrUtil, QuoteAndUnquote) {
    struct Case {
        const char* text;
        long len;
        int quote;
        const char* quoted;
        const char* unquoted;
    } cases[] = {
        {"name", TV_NTS, '"', "\"name\"", "name"}, {"name", 2, '"', "\"na\"", "na"},
        {"\"q\"", TV_NTS, '"', "\"\"q\"\"", "q"},  {"'q'", TV_NTS, '"', "\"'q'\"", "'q'"},
        {"\"q\"", TV_NTS, ' ', "\"q\"", "\"q\""},  {nullptr, TV_NTS, '"', "\"\"", ""},
        {"\"", TV_NTS, '"', "\"\"\"", "\""},       {"x", 0, '\'', "''", ""},
    };
    for (const Case& c : cases) {
        char* q = QuoteIdent(c.text, c.len, c.quote);
        char* u = UnquoteIdent(c.text, c.len, c.quote);
        ASSERT_NE(q, nullptr);
        ASSERT_NE(u, nullptr);
        EXPECT_STREQ(q, c.quoted) << (c.text ? c.text : "(null)");
        EXPECT_STREQ(u, c.unquoted) << (c.text ? c.text : "(null)");
        free(q);
        free(u);
    }
    // An explicit length over an embedded NUL: the closing quote follows the first NUL.
    char* q = QuoteIdent("ab\0cd", 5, '"');
    EXPECT_STREQ(q, "\"ab\"");
    free(q);
    EXPECT_EQ(QuoteIdent("x", -5, '"'), nullptr);
    EXPECT_EQ(UnquoteIdent("x", -1, '"'), nullptr);
}

TEST(StrUtil, DupLenAndDupUnquote) {
    struct Case {
        const char* text;
        long len;
        const char* dup;
        const char* unquoted;
    } cases[] = {
        {"hello", TV_NTS, "hello", "hello"},
        {"hello", 3, "hel", "hel"},
        {nullptr, 4, "", ""},
        {"'abc'", TV_NTS, "'abc'", "abc"},
        {"\"abc\"", TV_NTS, "\"abc\"", "abc"},
        {"'abc\"", TV_NTS, "'abc\"", "'abc\""},
        {"''", TV_NTS, "''", ""},
        {"'", TV_NTS, "'", "'"},
    };
    for (const Case& c : cases) {
        char* out = reinterpret_cast<char*>(1);
        EXPECT_EQ(StrDupLen(&out, c.text, c.len), 0);
        ASSERT_NE(out, nullptr);
        EXPECT_STREQ(out, c.dup);
        free(out);
        EXPECT_EQ(StrDupUnquote(&out, c.text, c.len), 0);
        ASSERT_NE(out, nullptr);
        EXPECT_STREQ(out, c.unquoted);
        free(out);
    }
    char* out = reinterpret_cast<char*>(1);
    StrDupLen(&out, "abc", -8);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(StrDupLen(nullptr, "x", 1), 0);
}

TEST(StrUtil, StrIStr) {
    const char* text = "Select * FROM Tab";
    EXPECT_EQ(StrIStr(text, "from"), text + 9);
    EXPECT_EQ(StrIStr(text, "TAB"), text + 14);
    EXPECT_EQ(StrIStr(text, "tabs"), nullptr);
    EXPECT_EQ(StrIStr(text, ""), text + strlen(text));
    EXPECT_EQ(StrIStr("aaab", "AAB"), static_cast<const char*>("aaab") + 1);
    EXPECT_EQ(StrIStr(static_cast<const char*>(nullptr), "a"), nullptr);
    EXPECT_EQ(StrIStr(text, nullptr), nullptr);
}

TEST(StrUtil, PathSetExt) {
    struct Case {
        const char* path;
        const char* ext;
        int mode;
        const char* out;
    } cases[] = {
        {"dir.x\\name", "ini", 1, "dir.x\\name.ini"},
        {"dir.x/name", "ini", 1, "dir.x/name.ini"},
        {"name.txt", "ini", 2, "name.txt"},
        {"name", "ini", 2, "name.ini"},
        {".profile", "", 0, ".profile"},
        {"/home/u/.profile", "bak", 2, "/home/u/.profile.bak"},
        {"a/b.c.d", nullptr, 0, "a/b.c"},
        {"a/b.c", "ini", 1, "a/b.ini"},
        {"a.b/c", "x", 0, "a.b/c"},
    };
    for (const Case& c : cases) {
        const char* r = PathSetExt(c.path, c.ext, c.mode);
        ASSERT_NE(r, nullptr);
        EXPECT_STREQ(r, c.out) << c.path << " mode " << c.mode;
    }
    std::string longest(PATH_SET_EXT_MAX - 1, 'p');
    EXPECT_EQ(PathSetExt(longest.c_str(), "ini", 1), nullptr);  // too long: refused, not overrun
    EXPECT_EQ(PathSetExt(std::string(PATH_SET_EXT_MAX + 100, 'p').c_str(), "", 0), nullptr);
    EXPECT_NE(PathSetExt(std::string(PATH_SET_EXT_MAX - 6, 'p').c_str(), "ini", 1), nullptr);
    EXPECT_EQ(PathSetExt(nullptr, "x", 1), nullptr);
}

TEST(StrUtil, ProgramNameRules) {
    struct Case {
        const char* line;
        bool stop_at_blank;
        const char* name;
    } cases[] = {
        {"C:\\apps\\tool.exe -x", true, "TOOL"},
        {"c:\\windows\\system\\krnl386.exe", true, "WOW"},
        {"/usr/local/bin/isql", false, "ISQL"},
        {"/opt/my app/run.sh", false, "RUN"},
        {"/opt/my tool", false, "MY TOOL"},
        {"prog -v", true, "PROG"},
        {"", true, "Unknown"},
        {nullptr, true, "Unknown"},
        {"/usr/bin/", false, "Unknown"},
    };
    for (const Case& c : cases) {
        char out[255];
        ProgramNameFrom(c.line, c.stop_at_blank, out, sizeof out);
        EXPECT_STREQ(out, c.name) << (c.line ? c.line : "(null)");
    }
    char out[255];
    std::string very_long = "/x/" + std::string(400, 'n');
    ProgramNameFrom(very_long.c_str(), false, out, sizeof out);
    EXPECT_EQ(strlen(out), 254u);
}

TEST(StrUtil, GetProgramNameIsTheTestBinaryAndStable) {
    const char* name = GetProgramName();
    EXPECT_STREQ(name, "TEST_UTIL");
    std::vector<std::thread> threads;
    std::vector<const char*> seen(4);
    for (int i = 0; i < 4; ++i) threads.emplace_back([&seen, i] { seen[i] = GetProgramName(); });
    for (auto& t : threads) t.join();
    for (const char* s : seen) EXPECT_EQ(s, name);
}

TEST(StrUtil, StrCopyEnd) {
    char buf[16];
    char* end = StrCopyEnd(buf, "abc");
    EXPECT_EQ(end, buf + 3);
    end = StrCopyEnd(end, "de");
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(*end, '\0');
    EXPECT_EQ(StrCopyEnd(nullptr, "x"), nullptr);
}

TEST(StrUtil, ErrorTextKnownUnknownAndPerThread) {
    EXPECT_STREQ(ErrorText(ENOENT), "No such file or directory");
    EXPECT_STREQ(ErrorText(0), "Success");
    EXPECT_STREQ(ErrorText(4000000000u), "Unknown error 4000000000");
    // Unknown-number texts of different threads do not overwrite each other.
    const char* mine = ErrorText(77777);
    std::string other;
    std::thread t([&] { other = ErrorText(88888); });
    t.join();
    EXPECT_STREQ(mine, "Unknown error 77777");
    EXPECT_EQ(other, "Unknown error 88888");
}

}  // namespace
