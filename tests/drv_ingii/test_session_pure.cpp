// Session-layer helpers that need no server.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drv_ingii/i-info.h"
#include "drv_ingii/i-initsql.h"
#include "drv_ingii/ingutil.h"
#include "util/rowset.h"
#include "scrs/sc_cursor.h"

namespace {

TEST(VersionNumber, ExamplesOfServerVersionTexts) {
    struct Case {
        const char* text;
        int32_t number;
    } cases[] = {
        {"II 2.6/0305 (su9.us5/00)", 2600305},
        {"OI 2.0/9712 (su4.us5/00)", 2009712},
        {"II 9.2.0 (a64.lnx/100)", 9000000},
        {"6.4/05 (su4.us5/00)", 640005},
        {"II 10.2.0 (a64.lnx/100)", 10000000},
        {"II 3.0.3 (int.lnx/102)", 3300000},
        {"no digits here", 0},
        {"", 0},
        {"II 1.2/01", 1200001},
    };
    for (const Case& c : cases) EXPECT_EQ(IngVersionNumber(c.text), c.number) << c.text;
    EXPECT_EQ(IngVersionNumber(nullptr), 0);
}

TEST(SessionHelpers, MonthAbbreviationsAreCaseSensitive) {
    EXPECT_EQ(MonthFromAbbrev("jan"), 1);
    EXPECT_EQ(MonthFromAbbrev("Jan"), 0);
    EXPECT_EQ(MonthFromAbbrev("dec"), 12);
    EXPECT_EQ(MonthFromAbbrev("september"), 9);
    EXPECT_EQ(MonthFromAbbrev("xyz"), 0);
    EXPECT_EQ(MonthFromAbbrev("ja"), 0);
    EXPECT_EQ(MonthFromAbbrev(nullptr), 0);
}

TEST(SessionHelpers, FoldIdentifier) {
    struct Case {
        const char* in;
        uint32_t quoted, plain;
        const char* out;
    } cases[] = {
        {"MyProc", 3, 2, "myproc"},
        {"MyProc", 3, 1, "MYPROC"},
        {"\"MyProc\"", 3, 2, "MyProc"},
        {"'MyProc'", 2, 1, "myproc"},
        {"", 1, 1, ""},
        {"Abc", 0, 0, "Abc"},
        {"\"", 1, 1, ""},
    };
    for (const Case& c : cases) {
        char buf[64];
        std::strcpy(buf, c.in);
        IIFoldIdentifier(buf, c.quoted, c.plain);
        EXPECT_STREQ(buf, c.out) << c.in;
    }
    IIFoldIdentifier(nullptr, 1, 1);
}

TEST(SessionHelpers, StatusNames) {
    EXPECT_STREQ(IIStatusName(0), "IIAPI_ST_SUCCESS");
    EXPECT_STREQ(IIStatusName(4), "IIAPI_ST_ERROR");
    EXPECT_STREQ(IIStatusName(8), "!!!Check your II_SYSTEM variable (IIAPI_ST_OUT_OF_MEMORY)");
    EXPECT_STREQ(IIStatusName(99), "(unknown status)");
}

TEST(InitialSql, FileNameGetsSqlExtensionWhenItHasNone) {
    EXPECT_EQ(IngInitialSqlPath("init"), "init.sql");
    EXPECT_EQ(IngInitialSqlPath("init.txt"), "init.txt");
    EXPECT_EQ(IngInitialSqlPath("/tmp/dir.d/init"), "/tmp/dir.d/init.sql");
    EXPECT_EQ(IngInitialSqlPath("C:\\dir.d\\init"), "C:\\dir.d\\init.sql");
    EXPECT_EQ(IngInitialSqlPath("/tmp/.init"), "/tmp/.init.sql");
    EXPECT_EQ(IngInitialSqlPath("/tmp/a.b/c.sql"), "/tmp/a.b/c.sql");
}

TEST(DynCursSensitivity, ParseAndName) {
    EXPECT_EQ(IngParseDynCursSens(nullptr), 0u);
    EXPECT_EQ(IngParseDynCursSens("disabled"), 2u);
    EXPECT_EQ(IngParseDynCursSens("High"), 1u);
    EXPECT_EQ(IngParseDynCursSens("LOW"), 0u);
    EXPECT_EQ(IngParseDynCursSens("whatever"), 0u);
    EXPECT_STREQ(IngDynCursSensName(0), "LOW");
    EXPECT_STREQ(IngDynCursSensName(1), "HIGH");
    EXPECT_STREQ(IngDynCursSensName(2), "DISABLED");
}

TEST(CursorBlock, InitResetAndPositions) {
    SCS_Cursor c;
    AgentLink link{2, nullptr};
    ASSERT_EQ(SCS_CursorInit(&c, 7, 9, &link), 0u);
    EXPECT_EQ(c.rowsetSize, 1u);
    EXPECT_EQ(c.keysetSize, 0u);
    EXPECT_EQ(c.window.resultRows(), -1);
    EXPECT_EQ(c.cursorType, 0u);
    EXPECT_EQ(c.concurrency, 1u);
    EXPECT_EQ(c.retrieveData, 1u);
    EXPECT_EQ(c.agentStmt, 7u);
    EXPECT_EQ(c.agentConn, 9u);
    EXPECT_EQ(c.link, &link);
    EXPECT_EQ(SCS_CursorSetPos(&c, 1000), 0u);
    c.window.SetResultRows(10);
    EXPECT_EQ(SCS_CursorSetPos(&c, 11), 39u);
    EXPECT_EQ(c.window.currentRow(), 1000);
    EXPECT_EQ(SCS_CursorSetPos(&c, 10), 0u);
    EXPECT_EQ(SCS_CursorSetPos(&c, -1), 39u);
    EXPECT_EQ(SCS_CursorSetPos(&c, -3), 0u);
    EXPECT_EQ(c.window.currentRow(), -3);
    EXPECT_EQ(c.window.rowsetStart(), -3);
    EXPECT_EQ(SCS_CursorSetPos(&c, -2), 0u);
    EXPECT_EQ(c.window.currentRow(), -2);
    EXPECT_EQ(c.window.rowsetStart(), -3);
    SCS_CursorReset(&c);
    EXPECT_EQ(c.window.resultRows(), -1);
    EXPECT_EQ(c.window.currentRow(), 0);
    EXPECT_EQ(SCS_CursorSetPos(&c, 1000), 0u);
}

}  // namespace
