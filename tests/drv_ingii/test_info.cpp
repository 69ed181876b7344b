// Information types, capability items, statement options and their negotiation.
#include <cstring>
#include <set>

#include "tests/support/agent_fixture.h"
#include "drv_ingii/i-cursors.h"
#include "resources/flavor.h"

namespace agenttest {
namespace {

class InfoTest : public AgentTest {
protected:
    uint32_t conn = 0;
    void SetUp() override {
        AgentTest::SetUp();
        ASSERT_EQ(Connect(&conn), 0u);
    }
    ErrCode AllocStmt() {
        uint32_t s = 0;
        EXPECT_EQ(AgentCall<DRV_AllocStmt>(&link, conn, &s), 0u);
        return ErrCode(s);
    }
};

struct IntInfo {
    uint16_t type;
    uint32_t value;
};

struct TextInfo {
    uint16_t type;
    const char* text;
};

// Every fixed answer of the information types.
const IntInfo kAllFixedInts[] = {
    {0, 0},         {1, 0},         {3, 0},         {4, 0},         {5, 0},         {22, 0},        {54, 0},
    {63, 0},        {66, 0},        {69, 0},        {71, 0},        {76, 0},        {80, 0},        {84, 0},
    {86, 0},        {92, 0},        {102, 0},       {105, 0},       {109, 0},       {110, 0},       {114, 0},
    {117, 0},       {119, 0},       {120, 0},       {121, 0},       {123, 0},       {124, 0},       {127, 0},
    {128, 0},       {129, 0},       {130, 0},       {133, 0},       {135, 0},       {136, 0},       {137, 0},
    {138, 0},       {139, 0},       {140, 0},       {142, 0},       {148, 0},       {149, 0},       {155, 0},
    {156, 0},       {157, 0},       {159, 0},       {161, 0},       {164, 0},       {165, 0},       {166, 0},
    {10001, 0},     {10022, 0},     {9, 1},         {12, 1},        {23, 1},        {24, 1},        {48, 1},
    {74, 1},        {75, 1},        {85, 1},        {116, 1},       {118, 1},       {141, 1},       {143, 1},
    {152, 1},       {154, 1},       {15, 2},        {88, 2},        {153, 2},       {10021, 2},     {96, 3},
    {131, 3},       {134, 3},       {170, 3},       {51, 7},        {81, 7},        {172, 7},       {163, 9},
    {106, 15},      {107, 18},      {10005, 30},    {169, 64},      {82, 74},       {8, 191},       {97, 16},
    {98, 16},       {99, 16},       {91, 31},       {95, 31},       {30, 32},       {31, 32},       {32, 32},
    {33, 32},       {34, 32},       {35, 32},       {100, 127},     {101, 127},     {115, 127},     {65003, 127},
    {104, 2000},    {108, 2000},    {112, 2000},    {49, 0x96D49},  {50, 0x791255}, {52, 0x1E1FE7}, {56, 0xE2F3F9},
    {62, 0xE2F3F9}, {70, 0xE2F3F9}, {53, 0xA073F9}, {55, 0xA073F9}, {58, 0xA073F9}, {59, 0xA073F9}, {60, 0xA073F9},
    {61, 0xA073F9}, {64, 0xA073F9}, {65, 0xA073F9}, {68, 0xA073F9}, {57, 0xA28301}, {67, 0xA28301}, {132, 0x3601},
    {158, 0x1F70},  {160, 0x1E07},  {162, 0x7DB0},
};
const TextInfo kAllFixedTexts[] = {
    {21, "Y"},  {27, "Y"},    {36, "Y"},    {38, "Y"}, {87, "Y"},   {90, "Y"},   {111, "Y"},
    {113, "Y"}, {10002, "Y"}, {10003, "N"}, {11, "N"}, {19, "N"},   {20, "N"},   {37, "N"},
    {73, "N"},  {103, "N"},   {42, ""},     {89, ""},  {10000, ""}, {10004, ""},
};

// Types answered from the session or the data source.
const uint16_t kComputedTypes[] = {6,   16, 17, 18, 25, 26,  28,  44,  46,  47,  72,  93,  122, 125,
                                   126, 43, 78, 79, 83, 144, 145, 146, 147, 150, 151, 167, 168};
const uint16_t kOtherTextTypes[] = {2, 7, 10, 13, 14, 29, 39, 40, 41, 45, 77, 94};

TEST_F(InfoTest, EveryFixedAnswer) {
    for (const IntInfo& c : kAllFixedInts) {
        uint32_t v;
        ASSERT_EQ(GetInt(conn, 0x22040000u | c.type, &v), 0u) << c.type;
        EXPECT_EQ(v, c.value) << "type " << c.type;
    }
    for (const TextInfo& c : kAllFixedTexts) {
        std::string s = "?";
        ASSERT_EQ(GetText(conn, 0x21040000u | c.type, &s), 0u) << c.type;
        EXPECT_EQ(s, c.text) << "type " << c.type;
    }
}

TEST_F(InfoTest, TypesWithoutAnAnswerAreUnknown) {
    std::set<uint16_t> answered;
    for (const IntInfo& c : kAllFixedInts) answered.insert(c.type);
    for (const TextInfo& c : kAllFixedTexts) answered.insert(c.type);
    for (uint16_t t : kComputedTypes) answered.insert(t);
    for (uint16_t t : kOtherTextTypes) answered.insert(t);
    for (uint32_t t = 0; t <= 10030; ++t) {
        if (t > 200 && t < 9990) continue;
        uint32_t v;
        uint32_t rc = GetInt(conn, 0x22040000u | t, &v);
        if (answered.count(uint16_t(t)))
            EXPECT_EQ(rc, 0u) << t;
        else
            EXPECT_EQ(rc, 1u) << t;
    }
}

TEST_F(InfoTest, FixedIntegerInformationTypes) {
    const IntInfo cases[] = {
        {0, 0},         {1, 0},         {22, 0},        {80, 0},        {10001, 0},     {10022, 0},     {9, 1},
        {23, 1},        {24, 1},        {154, 1},       {15, 2},        {88, 2},        {10021, 2},     {96, 3},
        {170, 3},       {51, 7},        {81, 7},        {172, 7},       {163, 9},       {106, 15},      {107, 18},
        {10005, 30},    {169, 64},      {82, 74},       {8, 191},       {97, 16},       {99, 16},       {95, 31},
        {30, 32},       {35, 32},       {100, 127},     {115, 127},     {65003, 127},   {104, 2000},    {112, 2000},
        {49, 0x96D49},  {50, 0x791255}, {52, 0x1E1FE7}, {56, 0xE2F3F9}, {70, 0xE2F3F9}, {53, 0xA073F9}, {68, 0xA073F9},
        {57, 0xA28301}, {67, 0xA28301}, {132, 0x3601},  {158, 0x1F70},  {160, 0x1E07},  {162, 0x7DB0},  {26, 1},
        {46, 1},        {72, 15},       {122, 0},       {125, 0},
    };
    for (const IntInfo& c : cases) {
        uint32_t v;
        ASSERT_EQ(GetInt(conn, 0x22040000u | c.type, &v), 0u) << c.type;
        EXPECT_EQ(v, c.value) << "type " << c.type;
    }
}

// Forward-only, static, keyset-driven, mixed and dynamic cursors are built, with row operations on
// static, keyset-driven and mixed ones (dynamic cursors read only): nothing else is advertised, so
// that what an application is told it can have also works.
TEST_F(InfoTest, CursorAnswersNameOnlyWhatIsBuilt) {
    ASSERT_TRUE(kIngBuiltCursors.keysetDriven && kIngBuiltCursors.dynamic && kIngBuiltCursors.rowOperations)
        << "a cursor kind was switched on or off: these answers change with it";
    const IntInfo cases[] = {
        {44, 0x1F},  // forward-only, keyset-driven, dynamic, mixed and static
        {43, 0xB},   // SQL_SCCO_READ_ONLY | SQL_SCCO_LOCK | SQL_SCCO_OPT_VALUES
        {78, 0x1},   // SQL_LCK_NO_CHANGE
        {79, 0x1F},  // SQL_POS_POSITION, REFRESH, UPDATE, DELETE, ADD
        {80, 0},
        {83, 0x6},       // own deletions and updates show when fetched again
        {144, 0x1E45},   // next and relative (rows of a dynamic cursor have no numbers); lock no
                         // change, SetPos position, update, delete, refresh; no bulk operations
        {145, 0x407B},   // read-only, lock and values concurrency; others' additions, deletions
                         // and updates show; changes may touch more rows
        {150, 0xF1E4F},  // orientations, bookmark; lock no change, SetPos position, update, delete,
                         // refresh; bulk add, update, delete and fetch by bookmark
        {151, 0x40EB},   // read-only, lock and values concurrency; others' deletions and updates
                         // show; maximum rows; no exact row count; changes may touch more rows
        {146, 0x1},      // SQL_CA1_NEXT
        {147, 0x81},     // read-only, maximum rows of a SELECT; the row count is known only at the end
        {167, 0xF1E4F},  // as keyset-driven cursors
        {168, 0x508B},   // read-only, lock and values concurrency; maximum rows; exact row count
    };
    for (const IntInfo& c : cases) {
        uint32_t v;
        ASSERT_EQ(GetInt(conn, 0x22040000u | c.type, &v), 0u) << c.type;
        EXPECT_EQ(v, c.value) << "type " << c.type;
    }
}

TEST_F(InfoTest, FixedTextInformationTypes) {
    const TextInfo cases[] = {
        {21, "Y"},
        {27, "Y"},
        {36, "Y"},
        {111, "Y"},
        {10002, "Y"},
        {10003, "N"},
        {11, "N"},
        {20, "N"},
        {103, "N"},
        {42, ""},
        {89, ""},
        {10000, ""},
        {10004, ""},
        {2, " "},
        {7, "1.5"},
        {10, "03.50.0000"},
        {13, "Ingres II"},
        {14, "\\"},
        {29, "\""},
        {39, "Owner"},
        {40, "Stored Procedure"},
        {41, ""},
        {45, "Table"},
        {77, "03.50"},
        {25, "N"},
        {94, "&*@:,#$\"=/<>()-%.+?;' _|"},
    };
    for (const TextInfo& c : cases) {
        std::string s;
        ASSERT_EQ(GetText(conn, 0x21040000u | c.type, &s), 0u) << c.type;
        EXPECT_EQ(s, c.text) << "type " << c.type;
    }
    std::string special;
    GetText(conn, 0x21040000u | 94, &special);
    EXPECT_EQ(special.size(), 24u);
    std::string driver;
    ASSERT_EQ(GetText(conn, 0x21040000u | 6, &driver), 0u);
    EXPECT_EQ(driver, tv_library_name);
}

TEST_F(InfoTest, UnknownTypesAnswerNotSupported) {
    for (uint16_t type : {uint16_t(171), uint16_t(173), uint16_t(5000), uint16_t(9999), uint16_t(10006),
                          uint16_t(10020), uint16_t(65002)}) {
        uint32_t v;
        EXPECT_EQ(GetInt(conn, 0x22040000u | type, &v), 1u) << type;
    }
    uint32_t v;
    EXPECT_EQ(GetInt(conn, 0x22050000u, &v), 1u);      // unknown class
    EXPECT_EQ(GetInt(conn, 0x23040000u | 9, &v), 1u);  // value kind 3
    EXPECT_EQ(GetInt(conn, 0x2201000Cu, &v), 1u);      // settable only
    EXPECT_EQ(GetInt(conn, 0x22010019u, &v), 1u);
    EXPECT_EQ(GetInt(conn, 0x42040000u | 9, &v), 1u);  // unknown handle kind
}

TEST_F(InfoTest, OtherValueKindGivesZeroOrEmptyText) {
    uint32_t v;
    ASSERT_EQ(GetInt(conn, 0x22040000u | 13, &v), 0u);  // a text type asked as integer
    EXPECT_EQ(v, 0u);
    std::string s = "x";
    ASSERT_EQ(GetText(conn, 0x21040000u | 8, &s), 0u);  // an integer type asked as text
    EXPECT_EQ(s, "");
}

TEST_F(InfoTest, TextIsCutAndStillTerminated) {
    std::string s;
    ASSERT_EQ(GetText(conn, 0x21040000u | 40, &s, 4), 0u);
    EXPECT_EQ(s, "Sto");
    uint16_t len = 99;
    EXPECT_EQ(AgentCall<DRV_GetInfo>(&link, conn, 0x21040000u | 40, static_cast<void*>(nullptr), uint16_t(0), &len),
              0u);
    EXPECT_EQ(len, 0u);
}

TEST_F(InfoTest, CapabilityItems) {
    const IntInfo cases[] = {{0x01, 0x2FDEC}, {0x02, 1},   {0x03, 1}, {0x04, 1}, {0x05, 1}, {0x06, 1},      {0x07, 1},
                             {0x08, 1},       {0x09, 100}, {0x0A, 0}, {0x0B, 0}, {0x0E, 1}, {0x11, 0x359F}, {0x12, 1},
                             {0x13, 0},       {0x14, 1},   {0x15, 1}, {0x17, 0}, {0x18, 1}};
    for (const IntInfo& c : cases) {
        uint32_t v;
        ASSERT_EQ(GetInt(conn, 0x22010000u | c.type, &v), 0u) << c.type;
        EXPECT_EQ(v, c.value) << "item " << c.type;
    }
    std::string s = "x";
    ASSERT_EQ(GetText(conn, 0x2101000Du, &s), 0u);
    EXPECT_EQ(s, "");
    EXPECT_EQ(Conn(conn)->capsAsked, 1u);
    EXPECT_EQ(Conn(conn)->paramNames, 1u);
}

TEST_F(InfoTest, DynamicCursorSensitivityShapesAnswers) {
    settings.dynCursSensitivity = 2;
    uint32_t disabled;
    ASSERT_EQ(Connect(&disabled), 0u);
    settings.dynCursSensitivity = 1;
    uint32_t high;
    ASSERT_EQ(Connect(&high), 0u);
    uint32_t v;
    ASSERT_EQ(GetInt(disabled, 0x22040000u | 44, &v), 0u);
    EXPECT_EQ(v, 17u);
    // HIGH offers keyset-driven, mixed and dynamic cursors beyond DISABLED.
    ASSERT_EQ(GetInt(high, 0x22040000u | 44, &v), 0u);
    EXPECT_EQ(v, 0x1Fu);
    ASSERT_EQ(GetInt(high, 0x2201000Bu, &v), 0u);
    EXPECT_EQ(v, 1u);
}

TEST_F(InfoTest, OdbcVersionAndUnknownConnectionOptions) {
    EXPECT_EQ(SetInt(conn, 0x2201000Cu, 3), 0u);
    EXPECT_EQ(Conn(conn)->odbcVersion, 3u);
    EXPECT_EQ(SetInt(conn, 0x2201000Cu, 2), 0u);
    EXPECT_EQ(Conn(conn)->odbcVersion, 2u);
    EXPECT_EQ(SetInt(conn, 0x22030005u, 1), 43u);
    EXPECT_EQ(SetInt(conn, 0x22010002u, 1), 43u);
    EXPECT_EQ(AgentCall<DRV_SetOption>(&link, conn, 0x22030000u, static_cast<void*>(nullptr)), 21u);
    EXPECT_EQ(SetInt(0xBBBB7777u, 0x22030000u, 1), 21u);
}

TEST_F(InfoTest, OperatorTable) {
    AgentOpRequest req{1, 0, nullptr};
    ASSERT_EQ(AgentCall<DRV_GetOpTable>(&link, conn, &req), 0u);
    ASSERT_EQ(req.count, 8u);
    auto* rows = static_cast<const IngOperatorRow*>(req.rows);
    EXPECT_EQ(rows[0].sqlType, 1);
    EXPECT_EQ(rows[0].value, 32767u);
    EXPECT_EQ(rows[0].mask, 0x2A31ECu);
    EXPECT_EQ(rows[6].sqlType, -2);
    EXPECT_EQ(rows[6].value, 65533u);
    EXPECT_EQ(rows[7].mask, 0x282800u);
    AgentOpRequest two{2, 0, nullptr};
    EXPECT_EQ(AgentCall<DRV_GetOpTable>(&link, conn, &two), 43u);
    EXPECT_EQ(AgentCall<DRV_GetOpTable>(&link, conn, static_cast<AgentOpRequest*>(nullptr)), 21u);
}

TEST_F(InfoTest, AgentInfoItemThroughTheLink) {
    uint32_t v = 0;
    uint16_t len = 0;
    EXPECT_EQ(AgentInfoItem(&link, conn, 8, &v, 4, &len), 0u);
    EXPECT_EQ(v, 191u);
    EXPECT_EQ(len, 4u);
    EXPECT_EQ(AgentInfoItem(&link, conn, 8, &v, 3, &len), 21u);
    char buf[4];
    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(AgentInfoItem(&link, conn, 17, buf, 4, &len), 19u);
    EXPECT_EQ(len, 6u);
    EXPECT_STREQ(buf, "ING");
    char exact[6];
    EXPECT_EQ(AgentInfoItem(&link, conn, 17, exact, 6, &len), 19u);
    EXPECT_STREQ(exact, "INGRE");
    EXPECT_EQ(len, 6u);
    EXPECT_EQ(AgentInfoItem(&link, conn, 17, exact, 0, &len), 19u);
    EXPECT_EQ(AgentInfoItem(&link, conn, 17, nullptr, 0, &len), 19u);
    EXPECT_EQ(len, 6u);
    char whole[16];
    EXPECT_EQ(AgentInfoItem(&link, conn, 17, whole, 16, &len), 0u);
    EXPECT_STREQ(whole, "INGRES");
    EXPECT_EQ(AgentInfoItem(&link, conn, 2, whole, 16, &len), 27u);
    EXPECT_EQ(AgentInfoItem(&link, 0xBBBB7777u, 8, &v, 4, &len), 21u);
}

TEST_F(InfoTest, NativeSqlTranslatesOnAKnownConnection) {
    char out[64];
    uint16_t len = 0;
    ASSERT_EQ(AgentCall<DRV_NativeSql>(&link, conn, "select {d '2001-02-03'} from t", out, uint16_t(sizeof out), &len),
              0u);
    EXPECT_EQ(len, std::strlen(out));
    EXPECT_EQ(std::string(out).find("{d"), std::string::npos);
    EXPECT_EQ(AgentCall<DRV_NativeSql>(&link, 0xBBBB7777u, "select 1", out, uint16_t(sizeof out), &len), 21u);
    EXPECT_EQ(len, 0u);
}

TEST_F(InfoTest, UserNameFollowsTheNameCase) {
    std::string s;
    ASSERT_EQ(GetText(conn, 0x21040000u | 47, &s), 0u);
    IngConn* c = Conn(conn);
    for (char ch : s) {
        if (c->nameCase == 1) {
            EXPECT_FALSE(ch >= 'a' && ch <= 'z');
        } else {
            EXPECT_FALSE(ch >= 'A' && ch <= 'Z');
        }
    }
    uint32_t v;
    ASSERT_EQ(GetInt(conn, 0x22040000u | 28, &v), 0u);
    EXPECT_EQ(v, c->nameCase);
    ASSERT_EQ(GetInt(conn, 0x22040000u | 93, &v), 0u);
    EXPECT_EQ(v, c->delimitedCase);
}

TEST_F(InfoTest, StatementRecordAndCursorNames) {
    uint32_t s = AllocStmt();
    ASSERT_NE(s, 0u);
    char name[64];
    uint16_t len = 0;
    ASSERT_EQ(AgentCall<DRV_GetCursorName>(&link, s, name, uint16_t(sizeof name), &len), 0u);
    EXPECT_EQ(std::string(name, 2), "CN");
    EXPECT_EQ(len, std::strlen(name));
    ASSERT_EQ(AgentCall<DRV_SetCursorName>(&link, s, "c1"), 0u);
    EXPECT_EQ(AgentCall<DRV_GetCursorName>(&link, s, name, uint16_t(2), &len), 19u);
    EXPECT_STREQ(name, "c");
    EXPECT_EQ(len, 2u);
    uint32_t v;
    ASSERT_EQ(GetInt(s, 0x32010000u, &v), 0u);
    EXPECT_EQ(v, 0xFFFFFFFFu);
    EXPECT_EQ(AgentCall<DRV_CloseCursor>(&link, s), 0u);
    EXPECT_EQ(AgentCall<DRV_Cancel>(&link, s), 0u);
    // A statement handle is not a connection handle.
    EXPECT_EQ(GetInt(s, 0x22030000u, &v), 21u);
    EXPECT_EQ(AgentCall<DRV_FreeStmt>(&link, s), 0u);
    EXPECT_EQ(AgentCall<DRV_FreeStmt>(&link, s), 21u);
    EXPECT_EQ(AgentCall<DRV_AllocStmt>(&link, 0xBBBB7777u, &s), 21u);
}

TEST_F(InfoTest, LiveStatementsHaveDistinctNames) {
    std::set<std::string> cursors, statements;
    std::vector<uint32_t> handles;
    for (int i = 0; i < 50; ++i) {
        uint32_t s = AllocStmt();
        handles.push_back(s);
        IngStmt* st = IngStmtFind(s);
        ASSERT_NE(st, nullptr);
        EXPECT_EQ(std::string(st->cursorName, 2), "CN");
        EXPECT_EQ(std::string(st->stmtName, 2), "ST");
        EXPECT_TRUE(cursors.insert(st->cursorName).second);
        EXPECT_TRUE(statements.insert(st->stmtName).second);
        // Free every other one so addresses and names get reused.
        if (i % 2) {
            IngStmt* freed = IngStmtFind(handles[size_t(i - 1)]);
            ASSERT_NE(freed, nullptr);
            cursors.erase(freed->cursorName);
            statements.erase(freed->stmtName);
            AgentCall<DRV_FreeStmt>(&link, handles[size_t(i - 1)]);
        }
    }
    for (size_t i = 1; i < handles.size(); i += 2) AgentCall<DRV_FreeStmt>(&link, handles[i]);
}

TEST_F(InfoTest, DisconnectReleasesStatementsLeftOnTheConnection) {
    uint32_t s = AllocStmt();
    ASSERT_NE(IngStmtFind(s), nullptr);
    ASSERT_EQ(Disconnect(conn), 0u);
    EXPECT_EQ(IngStmtFind(s), nullptr);
    uint32_t v;
    EXPECT_EQ(GetInt(s, 0x32030009u, &v), 21u);
    EXPECT_EQ(SetInt(s, 0x32030009u, 5), 21u);
    EXPECT_EQ(AgentCall<DRV_FreeStmt>(&link, s), 21u);
}

TEST_F(InfoTest, RowsetSizeIsCappedUnlessTheDataSourceLiftsTheLimit) {
    uint32_t s = AllocStmt();
    EXPECT_EQ(SetInt(s, 0x32030009u, 500), 75u);
    uint32_t v;
    ASSERT_EQ(GetInt(s, 0x32030009u, &v), 0u);
    EXPECT_EQ(v, 100u);
    settings.noRowsetSizeLimit = 1;
    uint32_t other;
    ASSERT_EQ(Connect(&other), 0u);
    uint32_t s2 = 0;
    ASSERT_EQ(AgentCall<DRV_AllocStmt>(&link, other, &s2), 0u);
    EXPECT_EQ(SetInt(s2, 0x32030009u, 500), 0u);
    ASSERT_EQ(GetInt(s2, 0x32030009u, &v), 0u);
    EXPECT_EQ(v, 500u);
    AgentCall<DRV_FreeStmt>(&link, s2);
    AgentCall<DRV_FreeStmt>(&link, s);
}

TEST_F(InfoTest, MaxRowsFollowsTheDataSourceCap) {
    settings.maxRows = 1000;
    uint32_t capped;
    ASSERT_EQ(Connect(&capped), 0u);
    uint32_t s = 0;
    ASSERT_EQ(AgentCall<DRV_AllocStmt>(&link, capped, &s), 0u);
    uint32_t v;
    ASSERT_EQ(GetInt(s, 0x32030001u, &v), 0u);
    EXPECT_EQ(v, 1000u);
    EXPECT_EQ(SetInt(s, 0x32030001u, 0), 75u);
    ASSERT_EQ(GetInt(s, 0x32030001u, &v), 0u);
    EXPECT_EQ(v, 1000u);
    EXPECT_EQ(SetInt(s, 0x32030001u, 50), 0u);
    ASSERT_EQ(GetInt(s, 0x32030001u, &v), 0u);
    EXPECT_EQ(v, 50u);
    EXPECT_EQ(SetInt(s, 0x32030001u, 5000), 75u);
    AgentCall<DRV_FreeStmt>(&link, s);
}

TEST_F(InfoTest, KeysetSizeNeedsTheCapabilitiesAsked) {
    uint32_t s = AllocStmt();
    uint32_t v;
    EXPECT_EQ(SetInt(s, 0x32030008u, 10), 75u);
    ASSERT_EQ(GetInt(s, 0x32030008u, &v), 0u);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(SetInt(s, 0x32030008u, 0), 0u);
    ASSERT_EQ(GetInt(conn, 0x22010011u, &v), 0u);  // what the driver asks at every connect
    EXPECT_EQ(SetInt(s, 0x32030008u, 10000), 0u);
    ASSERT_EQ(GetInt(s, 0x32030008u, &v), 0u);
    EXPECT_EQ(v, 5000u);
    EXPECT_NE(IngStmtFind(s)->cursorOpts->flags & kScsKeysetSizeSet, 0u);
    AgentCall<DRV_FreeStmt>(&link, s);
}

struct NegotiationCase {
    uint32_t sensitivity;  // 2 disables dynamic and keyset cursors
    bool askCaps;
    uint32_t option;
    uint32_t requested;
    uint32_t rc;
    uint32_t granted;
};

class NegotiationTest : public InfoTest, public ::testing::WithParamInterface<NegotiationCase> {
protected:
    void SetUp() override {
        InfoTest::SetUp();
        ASSERT_EQ(Disconnect(conn), 0u);
        settings.dynCursSensitivity = GetParam().sensitivity;
        ASSERT_EQ(Connect(&conn), 0u);
    }
};

TEST_P(NegotiationTest, GrantsTheNearestSupportedValue) {
    const NegotiationCase& nc = GetParam();
    uint32_t v;
    if (nc.askCaps) {
        ASSERT_EQ(GetInt(conn, 0x22010011u, &v), 0u);
    }
    uint32_t s = AllocStmt();
    EXPECT_EQ(SetInt(s, 0x32030000u | nc.option, nc.requested), nc.rc);
    ASSERT_EQ(GetInt(s, 0x32030000u | nc.option, &v), 0u);
    EXPECT_EQ(v, nc.granted);
    AgentCall<DRV_FreeStmt>(&link, s);
}

INSTANTIATE_TEST_SUITE_P(CursorOptions, NegotiationTest,
                         ::testing::Values(
                             // Cursor type: forward-only, static and keyset-driven are built; a dynamic request gets
                             // keyset-driven, and with the sensitivity DISABLED both get static.
                             NegotiationCase{0, true, 6, 2, 0, 2}, NegotiationCase{0, false, 6, 2, 75, 1},
                             NegotiationCase{0, true, 6, 1, 0, 1}, NegotiationCase{2, true, 6, 2, 75, 3},
                             NegotiationCase{2, true, 6, 1, 75, 3}, NegotiationCase{2, true, 6, 3, 0, 3},
                             NegotiationCase{2, true, 6, 0, 0, 0}, NegotiationCase{0, true, 6, 7, 43, 0},
                             // Concurrency: read-only, lock and values are built; row versions get values.
                             NegotiationCase{0, true, 7, 1, 0, 1}, NegotiationCase{0, true, 7, 2, 0, 2},
                             NegotiationCase{0, true, 7, 3, 75, 4}, NegotiationCase{0, true, 7, 4, 0, 4},
                             NegotiationCase{0, true, 7, 9, 43, 1}));

// A static cursor takes lock and values concurrency as a keyset-driven one does.
TEST_F(InfoTest, StaticCursorsTakeLockAndValues) {
    const struct { uint32_t asked, rc, granted; } cases[] = {{2, 0, 2}, {3, 75, 4}, {4, 0, 4}};
    for (const auto& k : cases) {
        uint32_t s = AllocStmt();
        ASSERT_EQ(SetInt(s, 0x32030006u, 3), 0u);
        EXPECT_EQ(SetInt(s, 0x32030007u, k.asked), k.rc) << k.asked;
        uint32_t v = 0;
        ASSERT_EQ(GetInt(s, 0x32030007u, &v), 0u);
        EXPECT_EQ(v, k.granted) << k.asked;
        AgentCall<DRV_FreeStmt>(&link, s);
    }
}

TEST_F(InfoTest, CursorTypeSetRaisesTheTypeFlag) {
    uint32_t s = AllocStmt();
    IngStmt* st = IngStmtFind(s);
    EXPECT_EQ(st->cursorOpts->flags & kScsTypeSet, 0u);
    EXPECT_EQ(SetInt(s, 0x32030006u, 3), 0u);
    EXPECT_NE(st->cursorOpts->flags & kScsTypeSet, 0u);
    EXPECT_EQ(SetInt(s, 0x32030009u, 10), 0u);
    EXPECT_EQ(st->cursorOpts->rowsetSize, 10u);
    AgentCall<DRV_FreeStmt>(&link, s);
}

TEST_F(InfoTest, PlainStatementOptions) {
    uint32_t s = AllocStmt();
    uint32_t v;
    EXPECT_EQ(SetInt(s, 0x32030000u, 30), 0u);  // query timeout: accepted, ignored
    EXPECT_EQ(GetInt(s, 0x32030000u, &v), 1u);
    EXPECT_EQ(SetInt(s, 0x32030002u, 7), 0u);
    ASSERT_EQ(GetInt(s, 0x32030002u, &v), 0u);
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(SetInt(s, 0x32030003u, 4096), 0u);
    ASSERT_EQ(GetInt(s, 0x32030003u, &v), 0u);
    EXPECT_EQ(v, 4096u);
    EXPECT_EQ(SetInt(s, 0x32030004u, 1), 43u);
    EXPECT_EQ(GetInt(s, 0x32030005u, &v), 1u);
    for (uint32_t item : {0x0Au, 0x0Bu, 0x0Cu, 0x41Cu, 0x41Eu}) {
        EXPECT_EQ(SetInt(s, 0x32030000u | item, 2), 0u);
        ASSERT_EQ(GetInt(s, 0x32030000u | item, &v), 0u);
        EXPECT_EQ(v, 2u) << item;
    }
    ASSERT_EQ(GetInt(s, 0x3203000Du, &v), 0u);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(SetInt(s, 0x3203000Eu, 1), 43u);
    EXPECT_EQ(SetInt(s, 0x3203041Au, 3), 21u);
    EXPECT_EQ(SetInt(s, 0x3203041Au, 2), 0u);
    EXPECT_EQ(SetInt(s, 0x32010000u, 1), 43u);
    EXPECT_EQ(SetInt(s, 0x320300FFu, 1), 43u);
    EXPECT_EQ(GetInt(s, 0x320300FFu, &v), 1u);
    // Describing parameters automatically needs a prepared statement.
    EXPECT_EQ(SetInt(s, 0x3203000Fu, 1), 22u);
    EXPECT_EQ(SetInt(s, 0x3203000Fu, 0), 0u);
    AgentCall<DRV_FreeStmt>(&link, s);
}

}  // namespace
}  // namespace agenttest

namespace agenttest {
namespace {

TEST_F(InfoTest, NullPointersAreRefusedNotFollowed) {
    uint32_t s = AllocStmt();
    EXPECT_EQ(
        AgentCall<DRV_Connect>(&link, server, static_cast<IngConnectParams*>(nullptr), static_cast<uint32_t*>(nullptr)),
        21u);
    EXPECT_EQ(AgentCall<DRV_AllocStmt>(&link, conn, static_cast<uint32_t*>(nullptr)), 21u);
    EXPECT_EQ(AgentCall<DRV_SetCursorName>(&link, s, static_cast<const char*>(nullptr)), 21u);
    uint16_t len = 0;
    EXPECT_EQ(AgentCall<DRV_GetCursorName>(&link, s, static_cast<char*>(nullptr), uint16_t(0), &len), 19u);
    EXPECT_GT(len, 2u);
    EXPECT_EQ(AgentCall<DRV_SetOption>(&link, s, 0x32030009u, static_cast<void*>(nullptr)), 21u);
    EXPECT_EQ(AgentCall<DRV_GetInfo>(&link, conn, 0x22040000u | 8, static_cast<void*>(nullptr), uint16_t(0),
                                     static_cast<uint16_t*>(nullptr)),
              0u);
    EXPECT_EQ(AgentCall<DRV_GetErrors>(&link, conn, static_cast<AgentErrors*>(nullptr)), 21u);
    EXPECT_EQ(AgentCall<DRV_Savepoint>(&link, conn, 0u, static_cast<const char*>(nullptr)), 21u);
    EXPECT_EQ(AgentCall<DRV_NativeSql>(&link, conn, static_cast<const char*>(nullptr), static_cast<char*>(nullptr),
                                       uint16_t(0), &len),
              0u);
    EXPECT_EQ(AgentCall<DRV_FreeStmt>(&link, s), 0u);
}

}  // namespace
}  // namespace agenttest
