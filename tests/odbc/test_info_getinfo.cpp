// SQLGetInfo and SQLGetInfoW against a recording stand-in for the agent's slot 0.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "drv_ingii/i-optable.h"
#include "odbc/conn.h"
#include "odbc/getinfo.h"
#include "tests/odbc/records_fixture.h"

namespace {

// What the stand-in agent answers, and how often it was asked, by coded property id.
struct FakeAgent {
    std::map<uint32_t, uint32_t> ints;
    std::map<uint32_t, std::string> texts;
    std::map<uint32_t, int> calls;
    uint32_t failCode = 0;
    uint32_t lastHandle = 0;
};
FakeAgent* g_fake = nullptr;

ErrCode FakeGetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen) {
    FakeAgent& f = *g_fake;
    f.calls[id]++;
    f.lastHandle = h;
    if (f.failCode) return ErrCode(f.failCode);
    if (auto it = f.ints.find(id); it != f.ints.end()) {
        EXPECT_EQ(4, len);
        memcpy(buf, &it->second, 4);
        if (outLen) *outLen = 4;
        return kErrNone;
    }
    if (auto it = f.texts.find(id); it != f.texts.end()) {
        EXPECT_EQ(4096, len);
        size_t n = std::min<size_t>(it->second.size(), len - 1);
        memcpy(buf, it->second.data(), n);
        static_cast<char*>(buf)[n] = 0;
        if (outLen) *outLen = uint16_t(n);
        return kErrNone;
    }
    return ErrCode(1);  // unknown
}

ErrCode FakeDisconnect(uint32_t) { return kErrNone; }

struct OpRow {
    int32_t sqlType;
    uint32_t maxLength;
    uint32_t mask;
};

std::string State(SQLHDBC dbc) {
    SQLCHAR state[6] = {};
    SQLINTEGER native;
    SQLCHAR msg[300];
    SQLSMALLINT len;
    SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, sizeof msg, &len);
    return reinterpret_cast<char*>(state);
}

constexpr uint32_t IntId(uint16_t t) { return 0x22040000u + t; }
constexpr uint32_t TextId(uint16_t t) { return 0x21040000u + t; }

class GetInfo : public ::testing::Test {
protected:
    FakeAgent fake;
    AgentFuncTable table{};
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ConnRecord* conn = nullptr;
    void SetUp() override {
        g_fake = &fake;
        table.DRV_GetInfo = FakeGetInfo;
        table.DRV_Disconnect = FakeDisconnect;  // disconnect reaches the agent
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
        conn = ConnOf(dbc);
        conn->link.word = 2;
        conn->link.table = &table;
        conn->agentConn = 0x20007;
    }
    void TearDown() override {
        if (conn) {
            conn->state = 1;
            conn->link.table = nullptr;
            conn->opTableRows = nullptr;
        }
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        g_fake = nullptr;
    }
    void Connect() {
        conn->state = 2;
        conn->agentConn = 0x20007;
    }
    uint32_t U32(uint16_t type, SQLRETURN expect = SQL_SUCCESS) {
        uint32_t v = 0xA5A5A5A5;
        SQLSMALLINT len = -1;
        EXPECT_EQ(expect, SQLGetInfo(dbc, type, &v, 0, &len)) << type;
        if (expect == SQL_SUCCESS) {
            EXPECT_EQ(4, len) << type;
        }
        return v;
    }
    uint32_t U32W(uint16_t type) {
        uint32_t v = 0xA5A5A5A5;
        SQLSMALLINT len = -1;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, type, &v, 0, &len)) << type;
        EXPECT_EQ(4, len);
        return v;
    }
    std::string Text(uint16_t type, SQLRETURN expect = SQL_SUCCESS) {
        char buf[300];
        memset(buf, 'x', sizeof buf);
        SQLSMALLINT len = -1;
        EXPECT_EQ(expect, SQLGetInfo(dbc, type, buf, sizeof buf, &len)) << type;
        if (expect != SQL_SUCCESS) return "";
        EXPECT_EQ(int(strlen(buf)), len);
        return buf;
    }
    std::u16string TextW(uint16_t type) {
        SQLWCHAR buf[300];
        SQLSMALLINT len = -1;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, type, buf, sizeof buf, &len)) << type;
        std::u16string s(reinterpret_cast<char16_t*>(buf));
        EXPECT_EQ(int(s.size() * 2), len);
        return s;
    }
};

TEST_F(GetInfo, DriverAnswersBeforeConnect) {
    EXPECT_EQ("03.50", Text(SQL_DRIVER_ODBC_VER));
    uint16_t api = 0;
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_ODBC_API_CONFORMANCE, &api, 0, &len));
    EXPECT_EQ(SQL_OAC_LEVEL1, api);
    EXPECT_EQ(2, len);
    EXPECT_EQ(uint32_t(SQL_DTC_ENLIST_EXPENSIVE | SQL_DTC_UNENLIST_EXPENSIVE), U32(SQL_DTC_TRANSITION_COST));
    EXPECT_EQ(0x000073FFu, U32(SQL_CONVERT_INTEGER));
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(GetInfo, AgentTypesNeedAConnection) {
    U32(SQL_SCROLL_OPTIONS, SQL_ERROR);
    EXPECT_EQ("08003", State(dbc));
    Text(SQL_DBMS_NAME, SQL_ERROR);
    EXPECT_EQ("08003", State(dbc));
    // An unknown type is refused for the connection first, for its range after.
    U32(200, SQL_ERROR);
    EXPECT_EQ("08003", State(dbc));
    EXPECT_TRUE(fake.calls.empty());
    Connect();
    for (uint16_t t : {uint16_t(200), uint16_t(SQL_DM_VER), uint16_t(173), uint16_t(1000), uint16_t(10006)}) {
        U32(t, SQL_ERROR);
        EXPECT_EQ("HY096", State(dbc)) << t;
    }
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(GetInfo, EachAgentAnswerIsAskedOnceAndCached) {
    Connect();
    fake.texts[TextId(SQL_DBMS_NAME)] = "INGRES";
    fake.ints[IntId(SQL_SCROLL_OPTIONS)] = 31;
    fake.ints[IntId(SQL_MAX_COLUMN_NAME_LEN)] = 32;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ("INGRES", Text(SQL_DBMS_NAME));
        EXPECT_EQ(31u, U32(SQL_SCROLL_OPTIONS));
        uint16_t v = 0;
        SQLSMALLINT len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_MAX_COLUMN_NAME_LEN, &v, 0, &len));
        EXPECT_EQ(32, v);
        EXPECT_EQ(2, len);
    }
    EXPECT_EQ(1, fake.calls[TextId(SQL_DBMS_NAME)]);
    EXPECT_EQ(1, fake.calls[IntId(SQL_SCROLL_OPTIONS)]);
    EXPECT_EQ(1, fake.calls[IntId(SQL_MAX_COLUMN_NAME_LEN)]);
    EXPECT_EQ(0x20007u, fake.lastHandle);
    // The wide form shares the cache.
    EXPECT_EQ(u"INGRES", TextW(SQL_DBMS_NAME));
    EXPECT_EQ(1, fake.calls[TextId(SQL_DBMS_NAME)]);
}

TEST_F(GetInfo, DatabaseNameIsAskedEveryTime) {
    Connect();
    fake.texts[TextId(SQL_DATABASE_NAME)] = "agentdb";
    EXPECT_EQ("agentdb", Text(SQL_DATABASE_NAME));
    fake.texts[TextId(SQL_DATABASE_NAME)] = "other";
    EXPECT_EQ("other", Text(SQL_DATABASE_NAME));
    EXPECT_EQ(2, fake.calls[TextId(SQL_DATABASE_NAME)]);
}

TEST_F(GetInfo, WideBitmasksAreKeptWhole) {
    Connect();
    fake.ints[IntId(SQL_STRING_FUNCTIONS)] = 0x791255;
    EXPECT_EQ(0x791255u, U32(SQL_STRING_FUNCTIONS));
    EXPECT_EQ(0x791255u, U32(SQL_STRING_FUNCTIONS));
    EXPECT_EQ(0x791255u, U32W(SQL_STRING_FUNCTIONS));
    EXPECT_EQ(1, fake.calls[IntId(SQL_STRING_FUNCTIONS)]);
}

TEST_F(GetInfo, OdbcTwoNumberOfOuterJoinCapabilitiesSharesTheEntry) {
    Connect();
    fake.ints[IntId(115)] = 127;
    EXPECT_EQ(127u, U32(115));
    EXPECT_EQ(127u, U32(65003));
    EXPECT_EQ(0, fake.calls[IntId(65003)]);
    EXPECT_EQ(1, fake.calls[IntId(115)]);
}

TEST_F(GetInfo, AgentFailureIsReportedAndNothingCached) {
    Connect();
    fake.ints[IntId(SQL_TXN_CAPABLE)] = 1;
    fake.failCode = 43;
    uint16_t v = 9;
    EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, SQL_TXN_CAPABLE, &v, 0, nullptr));
    EXPECT_EQ("HYC00", State(dbc));
    EXPECT_EQ(9, v);
    fake.failCode = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_TXN_CAPABLE, &v, 0, nullptr));
    EXPECT_EQ(1, v);
    EXPECT_EQ(2, fake.calls[IntId(SQL_TXN_CAPABLE)]);
    // Asked for a type the agent does not know: its own code comes back.
    U32(SQL_UNION, SQL_ERROR);
    EXPECT_EQ("IM001", State(dbc));
}

TEST_F(GetInfo, DisconnectEmptiesTheCache) {
    Connect();
    fake.texts[TextId(SQL_USER_NAME)] = "alice";
    fake.ints[IntId(SQL_UNION)] = 3;
    EXPECT_EQ("alice", Text(SQL_USER_NAME));
    EXPECT_EQ(3u, U32(SQL_UNION));
    ConnDisconnect(conn);
    Connect();
    fake.texts[TextId(SQL_USER_NAME)] = "bob";
    EXPECT_EQ("bob", Text(SQL_USER_NAME));
    EXPECT_EQ(3u, U32(SQL_UNION));
    EXPECT_EQ(2, fake.calls[TextId(SQL_USER_NAME)]);
    EXPECT_EQ(2, fake.calls[IntId(SQL_UNION)]);
}

TEST_F(GetInfo, TruncatedTextReportsTheFullLength) {
    Connect();
    fake.texts[TextId(SQL_KEYWORDS)] = "ABCDEFGHIJ";
    char small[6];
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfo(dbc, SQL_KEYWORDS, small, sizeof small, &len));
    EXPECT_STREQ("ABCDE", small);
    EXPECT_EQ(10, len);
    EXPECT_EQ("01004", State(dbc));
    SQLWCHAR wsmall[3];
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfoW(dbc, SQL_KEYWORDS, wsmall, sizeof wsmall, &len));
    EXPECT_EQ('A', wsmall[0]);
    EXPECT_EQ('B', wsmall[1]);
    EXPECT_EQ(0, wsmall[2]);
    EXPECT_EQ(20, len);
    // The cut answer was cached whole.
    EXPECT_EQ("ABCDEFGHIJ", Text(SQL_KEYWORDS));
    EXPECT_EQ(1, fake.calls[TextId(SQL_KEYWORDS)]);
    // Null buffer: only the length.
    len = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_KEYWORDS, nullptr, 0, &len));
    EXPECT_EQ(10, len);
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, SQL_KEYWORDS, nullptr, 0, &len));
    EXPECT_EQ(20, len);
}

TEST_F(GetInfo, WideTextCountsBytesOfUtf16) {
    Connect();
    fake.texts[TextId(SQL_SERVER_NAME)] = "Gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80";  // "Grüß 😀"
    std::u16string w = TextW(SQL_SERVER_NAME);
    EXPECT_EQ(u"Gr\u00FC\u00DF \U0001F600", w);
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, SQL_SERVER_NAME, nullptr, 0, &len));
    EXPECT_EQ(14, len);  // 7 UTF-16 units
}

TEST_F(GetInfo, NegativeBufferLengthIsRefusedForText) {
    Connect();
    fake.texts[TextId(SQL_DBMS_VER)] = "II 10.2";
    char buf[20];
    EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, SQL_DBMS_VER, buf, -2, nullptr));
    EXPECT_EQ("HY090", State(dbc));
    EXPECT_EQ(SQL_ERROR, SQLGetInfoW(dbc, SQL_DBMS_VER, buf, -2, nullptr));
    EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, SQL_DATA_SOURCE_NAME, buf, -1, nullptr));
    EXPECT_EQ(0, fake.calls[TextId(SQL_DBMS_VER)]);
    // Integer answers ignore the length.
    fake.ints[IntId(SQL_UNION)] = 3;
    uint32_t v = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_UNION, &v, -5, nullptr));
    EXPECT_EQ(3u, v);
}

TEST_F(GetInfo, DataSourceName) {
    char buf[40];
    SQLSMALLINT len = 77;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfo(dbc, SQL_DATA_SOURCE_NAME, buf, sizeof buf, &len));
    EXPECT_EQ("01004", State(dbc));
    EXPECT_EQ(77, len);  // nothing written
    conn->dsn = strdup("tv_narrow");
    EXPECT_EQ("tv_narrow", Text(SQL_DATA_SOURCE_NAME));
    EXPECT_EQ(u"tv_narrow", TextW(SQL_DATA_SOURCE_NAME));
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(GetInfo, IntegerWritersIgnoreANullValuePointer) {
    Connect();
    fake.ints[IntId(SQL_GROUP_BY)] = 2;
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_GROUP_BY, nullptr, 0, &len));
    EXPECT_EQ(2, len);
    EXPECT_EQ(1, fake.calls[IntId(SQL_GROUP_BY)]);
}

// Conversion types without the agent's conversion capability.
TEST_F(GetInfo, ConversionDefaultsFollowTheOperatorTable) {
    static const OpRow rowsV3[] = {{1, 32767, 0x2A31EC}, {91, 0, 0x200}, {92, 0, 0x0}, {93, 0, 0x800}, {-2, 65533, 1}};
    // No operator table: date, time, timestamp and binary are not convertible.
    EXPECT_EQ(0u, U32(SQL_CONVERT_DATE));
    EXPECT_EQ(0u, U32W(SQL_CONVERT_DATE));
    EXPECT_EQ(0u, U32(SQL_CONVERT_BINARY));
    EXPECT_EQ(0x000073FFu, U32(SQL_CONVERT_CHAR));
    EXPECT_EQ(0x00E073FFu, U32W(SQL_CONVERT_CHAR));
    EXPECT_EQ(0x00E073FFu, U32W(SQL_CONVERT_WVARCHAR));
    conn->opTableKind = 1;
    conn->opTableCount = 5;
    conn->opTableRows = rowsV3;
    EXPECT_EQ(0x00028301u, U32(SQL_CONVERT_DATE));  // ODBC 3: row 91
    EXPECT_EQ(0x00E28301u, U32W(SQL_CONVERT_DATE));
    EXPECT_EQ(0u, U32(SQL_CONVERT_TIME));  // row 92 has no bit 0x400
    EXPECT_EQ(0x00038301u, U32(SQL_CONVERT_TIMESTAMP));
    for (uint16_t t :
         {uint16_t(SQL_CONVERT_BINARY), uint16_t(SQL_CONVERT_VARBINARY), uint16_t(SQL_CONVERT_LONGVARBINARY)}) {
        EXPECT_EQ(0x00040F01u, U32(t));
    }
    // Under ODBC 2 the date test looks for SQL type 9, which this table lacks.
    EnvOf(env)->odbcVersion = 2;
    EXPECT_EQ(0u, U32(SQL_CONVERT_DATE));
    static const OpRow rowsV2[] = {{9, 0, 0x200}};
    conn->opTableRows = rowsV2;
    conn->opTableCount = 1;
    EXPECT_EQ(0x00028301u, U32(SQL_CONVERT_DATE));
    // A table not loaded is no table.
    conn->opTableKind = 0;
    EXPECT_EQ(0u, U32(SQL_CONVERT_DATE));
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(GetInfo, ConversionTypesFromTheAgentWhenItSaysSo) {
    Connect();
    conn->capConvInfo = 1;
    fake.ints[IntId(SQL_CONVERT_INTEGER)] = 0xA073F9;
    EXPECT_EQ(0xA073F9u, U32(SQL_CONVERT_INTEGER));
    EXPECT_EQ(0xA073F9u, U32W(SQL_CONVERT_INTEGER));
    EXPECT_EQ(1, fake.calls[IntId(SQL_CONVERT_INTEGER)]);
}

TEST(InfoTypes, KindsOfTheListedTypes) {
    EXPECT_EQ(InfoAnswerKind::Driver, InfoTypeKind(SQL_DRIVER_ODBC_VER));
    EXPECT_EQ(InfoAnswerKind::Driver, InfoTypeKind(SQL_CONVERT_WVARCHAR));
    EXPECT_EQ(InfoAnswerKind::Int16, InfoTypeKind(SQL_MAX_ASYNC_CONCURRENT_STATEMENTS));
    EXPECT_EQ(InfoAnswerKind::Int16, InfoTypeKind(SQL_ACTIVE_ENVIRONMENTS));
    EXPECT_EQ(InfoAnswerKind::Int32, InfoTypeKind(SQL_ASYNC_MODE));
    EXPECT_EQ(InfoAnswerKind::Int32, InfoTypeKind(65003));
    EXPECT_EQ(InfoAnswerKind::Text, InfoTypeKind(SQL_COLLATION_SEQ));
    EXPECT_EQ(InfoAnswerKind::Text, InfoTypeKind(SQL_DATABASE_NAME));
    EXPECT_EQ(InfoAnswerKind::Unknown, InfoTypeKind(SQL_DM_VER));
    EXPECT_EQ(InfoAnswerKind::Unknown, InfoTypeKind(SQL_CONVERT_GUID));
    int counts[5] = {};
    for (unsigned t = 0; t < 65536; ++t) counts[int(InfoTypeKind(uint16_t(t)))]++;
    EXPECT_EQ(4 + 22, counts[int(InfoAnswerKind::Driver)]);
    EXPECT_EQ(32, counts[int(InfoAnswerKind::Int16)]);
    EXPECT_EQ(88, counts[int(InfoAnswerKind::Int32)]);
    EXPECT_EQ(36, counts[int(InfoAnswerKind::Text)]);
}

}  // namespace
