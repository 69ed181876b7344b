// The connection keyword table: its rows, parsing a connection string, the merge with the data
// source or a file DSN, the user entry's fallback, cuts of long and non-ASCII values, and no
// installer at all.
#include "odbc/keywords.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/odbc/connect_files_fixture.h"
#include "platform/installer.h"

namespace {

std::string V(int row) {
    const char* v = ConnKeywordValue(row);
    return v ? v : "<null>";
}

class KeywordTest : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override { TestConfigFiles(); }
    void TearDown() override { ConnKeywordParse(nullptr, GetParam()); }
    void Parse(const std::string& s) { ConnKeywordParse(s.c_str(), GetParam()); }
};

TEST_P(KeywordTest, TableHasTheKnownKeywordsInOrder) {
    const char* keywords[] = {"DSN",     "UID",         "READONLY",  "PWD",      "FBS",
                              "NLB",     "MAXROWS",     "NOAC",      "JET",      "INGSERVER",
                              "NRSSL",   "DRIVER",      "FDSN",      "INITSQL",  "DYN_CURS_SENSITIVITY",
                              "FILEDSN", "SQLDBMSNAME", "GROUP",     "ROLENAME", "ROLEPWD",
                              "EFFUID",  "DBMSPWD",     "RTRIMCHAR", "IV",       "IA"};
    ASSERT_EQ(sizeof keywords / sizeof keywords[0], static_cast<std::size_t>(KW_COUNT));
    for (int i = 0; i < KW_COUNT; ++i) EXPECT_STREQ(ConnKeywordTable[i].keyword, keywords[i]);
    for (int row : {KW_DSN, KW_DRIVER, KW_FILEDSN}) EXPECT_EQ(ConnKeywordTable[row].key, nullptr);
    for (int i = 0; i < KW_COUNT; ++i)
        EXPECT_EQ(ConnKeywordTable[i].traced, i == KW_PWD || i == KW_FDSN ? 0u : 1u) << keywords[i];
}

TEST_P(KeywordTest, KeysMatchInAnyCaseAndSupplyTheirRows) {
    Parse("dsn=telvuid;Uid=bob");
    EXPECT_EQ(V(KW_DSN), "telvuid");
    EXPECT_EQ(V(KW_UID), "bob");
    EXPECT_TRUE(ConnKeywordSupplied(KW_DSN));
    EXPECT_TRUE(ConnKeywordSupplied(KW_UID));
    // The other keyed rows come from the named data source.
    EXPECT_EQ(V(KW_PWD), "pw");
    EXPECT_FALSE(ConnKeywordSupplied(KW_PWD));
    EXPECT_EQ(V(KW_NLB), "Yes");
    EXPECT_EQ(V(KW_FBS), "");
    // Rows without an odbc.ini key only exist when the string gives them.
    EXPECT_EQ(V(KW_DRIVER), "<null>");
    EXPECT_EQ(V(KW_FILEDSN), "<null>");
}

TEST_P(KeywordTest, ParsingRules) {
    struct Case {
        const char* input;
        int row;
        const char* value;
        bool supplied;
    } cases[] = {
        // An empty UID at the end is supplied as empty: neither "UID" nor "LastUser" is read.
        {"DSN=telv;UID=", KW_UID, "", true},
        // The later of two values wins.
        {"DSN=telvuid;UID=a;UID=b", KW_UID, "b", true},
        // Segments without '=' and unknown keys are ignored.
        {"DSN=telvuid;garbage;FOO=bar;=x;UID=c", KW_UID, "c", true},
        // Nothing is trimmed: " UID" matches no keyword, so the data source supplies the user.
        {"DSN=telvuid; UID=bob", KW_UID, "alice", false},
        {"DSN=telvuid;UID= bob ", KW_UID, " bob ", true},
        // Further '=' signs belong to the value.
        {"DSN=telvuid;PWD=a=b", KW_PWD, "a=b", true},
        // A braced value runs to its closing brace, holds ';' and '=', and "}}" is one '}'; the
        // braces are not part of it. The rule holds for every keyword.
        {"DRIVER={Telvarin};DSN=telvuid", KW_DRIVER, "Telvarin", true},
        {"DSN=telvuid;PWD={a;b}", KW_PWD, "a;b", true},
        {"DSN=telvuid;PWD={a;b};UID=c", KW_UID, "c", true},
        {"DSN=telvuid;PWD={x}}y=z;};UID=d", KW_PWD, "x}y=z;", true},
        {"DSN=telvuid;UID={}", KW_UID, "", true},
        {"DSN={telvuid};UID={u v}", KW_UID, "u v", true},
        // Text after the closing brace up to the next ';' is dropped; an unclosed brace runs to the end.
        {"DSN=telvuid;PWD={ab}cd;UID=e", KW_PWD, "ab", true},
        {"DSN=telvuid;PWD={ab;UID=e", KW_PWD, "ab;UID=e", true},
        // A brace inside a value is an ordinary character.
        {"DSN=telvuid;PWD=a{b}", KW_PWD, "a{b}", true},
        // Empty segments are harmless.
        {";;DSN=telvuid;;", KW_DSN, "telvuid", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Parse(c.input);
        EXPECT_EQ(V(c.row), c.value);
        EXPECT_EQ(ConnKeywordSupplied(c.row), c.supplied);
    }
}

TEST_P(KeywordTest, EmptyUserFallsBackToLastUserOnlyForANamedDataSource) {
    Parse("DSN=telv");
    EXPECT_EQ(V(KW_UID), "lastbob");
    EXPECT_FALSE(ConnKeywordSupplied(KW_UID));
    // No DSN: the data source "Default" is read, and its LastUser is not.
    Parse("");
    EXPECT_EQ(V(KW_UID), "");
    EXPECT_EQ(V(KW_PWD), "defpwd");
    EXPECT_EQ(V(KW_JET), "true");
    EXPECT_EQ(V(KW_DSN), "<null>");
}

TEST_P(KeywordTest, SourceValuesAreCutStringValuesAreNot) {
    Parse("DSN=telv");
    EXPECT_EQ(V(KW_FBS), "1234");  // FetchBufferSize 123456, room for 4
    EXPECT_EQ(V(KW_READONLY), "yes");
    EXPECT_EQ(V(KW_INGSERVER), "srv1");
    Parse("DSN=telv;FBS=123456;GROUP=" + std::string(300, 'g'));
    EXPECT_EQ(V(KW_FBS), "123456");
    EXPECT_EQ(V(KW_GROUP), std::string(300, 'g'));
}

TEST_P(KeywordTest, NonAsciiValuesSurviveAndAreCutOnCharacterBoundaries) {
    Parse("DSN=wide");
    EXPECT_EQ(V(KW_UID), "J\xC3\xBCrgen\xE2\x82\xAC");
    EXPECT_EQ(V(KW_PWD), "p\xC3\xA4ss");
    EXPECT_EQ(V(KW_GROUP), "abcdefghijklmnopqrstuvwxyz01234");  // 31 bytes
    // 30 bytes and a 3-byte character do not fit 31 bytes: the character goes whole.
    EXPECT_EQ(V(KW_ROLENAME), "abcdefghijklmnopqrstuvwxyz0123");
    // A data-source name outside ASCII is found as well.
    Parse("DSN=J\xC3\xBCrgen");
    EXPECT_EQ(V(KW_UID), "j\xC3\xBCrgen");
}

TEST_P(KeywordTest, FileDsnIsReadUnderTheConnectionKeywords) {
    const std::string path = TestConfigFiles().fileDsn;
    Parse("FILEDSN=" + path);
    EXPECT_EQ(V(KW_FBS), "77");  // the entry "FBS", not "FetchBufferSize"
    EXPECT_EQ(V(KW_READONLY), "TRUE");
    EXPECT_EQ(V(KW_UID), "fileuser");
    EXPECT_EQ(V(KW_PWD), "");  // not in the file, and "Default" is not consulted
    EXPECT_EQ(V(KW_FILEDSN), path);
    // A data source beats the file DSN.
    Parse("DSN=telvuid;FILEDSN=" + path);
    EXPECT_EQ(V(KW_UID), "alice");
    EXPECT_EQ(V(KW_FBS), "");
    // A file DSN that does not exist yields empty values.
    Parse("FILEDSN=" + TestConfigFiles().dir + "/missing.dsn");
    EXPECT_EQ(V(KW_UID), "");
}

TEST_P(KeywordTest, ResetEmptiesTheTable) {
    Parse("DSN=telvuid;UID=bob;DRIVER=x");
    ConnKeywordParse(nullptr, GetParam());
    for (int i = 0; i < KW_COUNT; ++i) {
        EXPECT_EQ(ConnKeywordValue(i), nullptr) << i;
        EXPECT_FALSE(ConnKeywordSupplied(i)) << i;
    }
    EXPECT_EQ(ConnKeywordValue(-1), nullptr);
    EXPECT_EQ(ConnKeywordValue(KW_COUNT), nullptr);
    EXPECT_FALSE(ConnKeywordSet(KW_COUNT, "x", true));
}

TEST_P(KeywordTest, DriverNameComesFromTheDataSourceList) {
    struct {
        const char* input;
        const char* name;
    } cases[] = {{"DSN=telv", "Telvarin Test Driver"},
                 {"DSN=sysonly", "System Only Driver"},
                 {"DSN=telvuid", ""},
                 {"UID=x", ""}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.input);
        Parse(c.input);
        char* name = DsnDriverName();
        ASSERT_NE(name, nullptr);
        EXPECT_STREQ(name, c.name);
        std::free(name);
    }
}

TEST_P(KeywordTest, UserEntryWithoutLastUserFallback) {
    EXPECT_EQ(DsnReadUid("telvuid", GetParam()), "alice");
    EXPECT_EQ(DsnReadUid("nlbdsn", GetParam()), "");
    EXPECT_EQ(DsnReadUid("Default", GetParam()), "");
    EXPECT_EQ(DsnReadUid("wide", GetParam()), "J\xC3\xBCrgen\xE2\x82\xAC");
}

INSTANTIATE_TEST_SUITE_P(Modes, KeywordTest, ::testing::Values('A', 'W'),
                         [](const ::testing::TestParamInfo<char>& info) {
                             return std::string(info.param == 'W' ? "Wide" : "Narrow");
                         });

std::vector<std::string> g_boxes;
void Capture(const char*, const char* text) { g_boxes.push_back(text); }

TEST(KeywordWithoutInstaller, StringValuesStandAndConfigurationYieldsNothing) {
    TestConfigFiles();
    g_boxes.clear();
    InstMessageBoxFn previous = InstSetMessageBox(Capture);
    InstResetForTesting("libodbcinst-not-here.so.9");
    ConnKeywordParse("DSN=telv;UID=bob", 'A');
    EXPECT_EQ(V(KW_UID), "bob");
    EXPECT_EQ(V(KW_PWD), "");
    EXPECT_EQ(V(KW_READONLY), "");
    EXPECT_FALSE(g_boxes.empty());
    ConnKeywordParse(nullptr, 'A');
    InstResetForTesting(nullptr);
    InstSetMessageBox(previous);
}

}  // namespace
