// Agent message lists, their hand-out, and the error rows shared with the driver.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-errtab.h"

namespace {

struct ListGuard {
    IngDiagList list{};
    ~ListGuard() { IngDiagClear(&list); }
};

TEST(IngErrorTable, RowsMatchTheDriverRows) {
    struct Row {
        uint32_t code;
        const char* state;
        const char* text;
    } rows[] = {
        {1, "IM001", "Driver does not support this function"},
        {15, "S1000", "General error"},
        {21, "S1009", "Invalid argument value"},
        {43, "S1C00", "Driver not capable"},
        {53, "08004", "Connection rejected by data source"},
        {68, "37000", "Syntax error or access"},
        {75, "01S02", "Option Value Changed"},
        {124, "25S01", "Transaction state"},
        {170, "IM932", "Enlistment in DTC transaction failed "},
        {184, "IM501", "Failover aborted."},
        {78, "", ""},
        {0, "", ""},
    };
    for (const Row& r : rows) {
        EXPECT_STREQ(IngErrorState(r.code), r.state) << r.code;
        EXPECT_STREQ(IngErrorText(r.code), r.text) << r.code;
        EXPECT_STREQ(IngErrorTable[r.code].message, r.text);
    }
    EXPECT_STREQ(IngErrorState(185), "");
    EXPECT_STREQ(IngErrorText(100000), "");
}

TEST(IngErrorTable, SqlstateLookupTakesTheLowestRowAndSkipsTheLast) {
    EXPECT_EQ(IngErrorFindState("01004"), 19u);
    EXPECT_EQ(IngErrorFindState("42000"), 71u);
    EXPECT_EQ(IngErrorFindState("08004"), 53u);
    EXPECT_EQ(IngErrorFindState("S1000"), 15u);
    EXPECT_EQ(IngErrorFindState("IM500"), 183u);
    EXPECT_EQ(IngErrorFindState("IM501"), 0u);
    EXPECT_EQ(IngErrorFindState("ZZZZZ"), 0u);
    EXPECT_EQ(IngErrorFindState(nullptr), 0u);
}

TEST(AgentMessages, ServerMessageWithoutSqlstateIsGeneralError) {
    ListGuard g;
    uint32_t result = 0;
    IngDiagPostServer(&result, "", "boom", 17, &g.list);
    EXPECT_EQ(result, 15u);
    ASSERT_NE(g.list.first, nullptr);
    EXPECT_STREQ(g.list.first->sqlstate, "S1000");
    EXPECT_STREQ(g.list.first->text, "boom (17)");
    EXPECT_EQ(g.list.first->native, 17u);
    result = 0;
    IngDiagPostServer(&result, nullptr, "again", 1, &g.list);
    EXPECT_EQ(result, 15u);
}

TEST(AgentMessages, ControlBytesBecomeBlanksAndUtf8TextStaysAsItCame) {
    ListGuard g;
    uint32_t result = 0;
    IngDiagPostServer(&result, "42S02", "line1\nline2 caf\xC3\xA9 \xE6\x97\xA5", 2753, &g.list);
    EXPECT_EQ(result, 10u);
    EXPECT_STREQ(g.list.first->text, "line1 line2 caf\xC3\xA9 \xE6\x97\xA5 (2753)");
}

TEST(AgentMessages, LongMessageIsCutBetweenCharacters) {
    ListGuard g;
    std::string big = "x";
    while (big.size() < 3000) big += "\xE6\x97\xA5";  // 2028 is no character boundary here
    uint32_t result = 0;
    IngDiagPostServer(&result, "23000", big.c_str(), 4500, &g.list);
    const std::string text = g.list.first->text;
    EXPECT_EQ(text.size(), 2026u + std::strlen(" (4500)"));
    EXPECT_EQ(text.substr(0, 2026), big.substr(0, 2026));
}

TEST(AgentMessages, LongMessageIsCutAndKeepsItsCode) {
    ListGuard g;
    std::string big(5000, 'x');
    uint32_t result = 0;
    IngDiagPostServer(&result, "23000", big.c_str(), 4500, &g.list);
    std::string text = g.list.first->text;
    EXPECT_EQ(text.size(), 2028u + std::strlen(" (4500)"));
    EXPECT_EQ(text.substr(text.size() - 7), " (4500)");
    EXPECT_EQ(result, 63u);
}

TEST(AgentMessages, FirstMessageDecidesTheCodeAndBothAreHandedOutOldestFirst) {
    ListGuard g;
    g.list.keep = 1;
    uint32_t result = 0;
    IngDiagPostServer(&result, "40001", "deadlock", 4700, &g.list);
    IngDiagPostServer(&result, "42000", "syntax", 2500, &g.list);
    EXPECT_EQ(result, 70u);
    EXPECT_EQ(IngDiagCount(&g.list), 2u);
    // Without the keep flag a post replaces what the list held.
    g.list.keep = 0;
    uint32_t other = 0;
    IngDiagPostServer(&other, "42000", "alone", 1, &g.list);
    EXPECT_EQ(IngDiagCount(&g.list), 1u);
    EXPECT_EQ(other, 71u);
    // A server message with no list leaves the result alone.
    uint32_t untouched = 0;
    IngDiagPostServer(&untouched, "42000", "nowhere", 1, nullptr);
    EXPECT_EQ(untouched, 0u);
}

TEST(AgentMessages, PostCodeAndPostTextFormats) {
    ListGuard g;
    IngDiagPostCode(&g.list, 16);
    EXPECT_STREQ(g.list.first->text, "Memory allocation failure");
    EXPECT_STREQ(g.list.first->sqlstate, "S1001");
    EXPECT_EQ(g.list.first->native, 0u);
    IngDiagPostText(&g.list, "DBMS doesn't support Unicode connections", 15);
    EXPECT_EQ(IngDiagCount(&g.list), 1u);
    EXPECT_STREQ(g.list.first->text, "DBMS doesn't support Unicode connections (0)");
    EXPECT_STREQ(g.list.first->sqlstate, "S1000");
    g.list.keep = 1;
    IngDiagPostCode(&g.list, 124);
    EXPECT_EQ(IngDiagCount(&g.list), 2u);
    // Null arguments do nothing.
    IngDiagPostCode(nullptr, 15);
    IngDiagAppend(&g.list, nullptr);
    IngDiagAppend(nullptr, nullptr);
    EXPECT_EQ(IngDiagCount(&g.list), 2u);
}

// The driver's own account of a failure carries no server code; it replaces the list's messages
// unless they are kept, and is cut between characters like any other.
TEST(AgentMessages, DriverMessagesKeepTheirTextAndTheRowsState) {
    ListGuard g;
    IngDiagPostServer(nullptr, "42000", "earlier", 1, &g.list);
    IngDiagPostDriver(&g.list, "cannot create temporary file in '/x': No such file or directory", 15);
    ASSERT_EQ(IngDiagCount(&g.list), 1u);
    EXPECT_STREQ(g.list.first->text, "cannot create temporary file in '/x': No such file or directory");
    EXPECT_STREQ(g.list.first->sqlstate, "S1000");
    EXPECT_EQ(g.list.first->native, 0u);
    EXPECT_EQ(g.list.first->driver, 1u);
    g.list.keep = 1;
    IngDiagPostDriver(&g.list, nullptr, 16);
    ASSERT_EQ(IngDiagCount(&g.list), 2u);
    EXPECT_STREQ(g.list.first->next->text, "Memory allocation failure");
    EXPECT_STREQ(g.list.first->next->sqlstate, "S1001");
    std::string longText(3000, 'a');
    longText[2046] = '\xC3';
    longText[2047] = '\xA9';
    IngDiagPostDriver(&g.list, longText.c_str(), 15);
    EXPECT_EQ(std::strlen(g.list.first->next->next->text), 2046u);
    IngDiagPostDriver(nullptr, "nowhere", 15);
}

TEST(AgentMessages, SlotTwoOnUnknownHandleOrNullOutput) {
    AgentErrors e{};
    EXPECT_EQ(IngGetErrors(0x12340001u, &e), 21u);
    EXPECT_EQ(IngGetErrors(0x12340001u, nullptr), 21u);
}

}  // namespace
