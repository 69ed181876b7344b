// Connection options and attributes in their ODBC 2 and ODBC 3 forms, against a recording
// stand-in for the agent's property slots.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "drv_ingii/i-optable.h"
#include "odbc/connattr.h"
#include "tests/odbc/records_fixture.h"
#include "platform/msgbox.h"
#include "util/dataset.h"

namespace {

struct FakeAgent {
    std::map<uint32_t, uint32_t> ints;  // what a get answers, by id
    std::map<uint32_t, std::string> texts;
    std::map<uint32_t, uint32_t> setResult;  // what a set answers, by id (default 0)
    std::vector<std::pair<uint32_t, uint32_t>> sets;
    std::vector<std::pair<uint32_t, std::string>> textSets;
    std::vector<std::string> messages;  // handed out by the error slot
    int errorCalls = 0;
};
FakeAgent* g_fake = nullptr;

ErrCode FakeGetInfo(uint32_t, uint32_t id, void* buf, uint16_t len, uint16_t* outLen) {
    if (auto it = g_fake->ints.find(id); it != g_fake->ints.end()) {
        memcpy(buf, &it->second, 4);
        if (outLen) *outLen = 4;
        return kErrNone;
    }
    if (auto it = g_fake->texts.find(id); it != g_fake->texts.end()) {
        size_t n = std::min<size_t>(it->second.size(), len - 1);
        memcpy(buf, it->second.data(), n);
        static_cast<char*>(buf)[n] = 0;
        return kErrNone;
    }
    return ErrCode(1);
}

ErrCode FakeSetOption(uint32_t, uint32_t id, void* value) {
    if (((id >> 24) & 0xF) == 1) {
        g_fake->textSets.emplace_back(id, static_cast<const char*>(value));
    } else {
        uint32_t v;
        memcpy(&v, value, 4);
        g_fake->sets.emplace_back(id, v);
    }
    auto it = g_fake->setResult.find(id);
    uint32_t r = it == g_fake->setResult.end() ? 0 : it->second;
    // A substituted value is what a later get answers.
    if (r == 75) g_fake->ints[id] = 2;
    return ErrCode(r);
}

ErrCode FakeGetErrors(uint32_t, AgentErrors* out) {
    g_fake->errorCalls++;
    out->native = 77;
    out->count = uint32_t(g_fake->messages.size());
    out->texts = static_cast<char**>(calloc(out->count + 1, sizeof(char*)));
    for (uint32_t i = 0; i < out->count; ++i) out->texts[i] = strdup(g_fake->messages[i].c_str());
    g_fake->messages.clear();
    return kErrNone;
}

void FailoverSpy(int, void*, int) {}

// Statements on the scripted connection get agent handles of their own.
ErrCode FakeAllocStmt(uint32_t, uint32_t* stmt) {
    static uint32_t next = 0x30000;
    *stmt = ++next;
    return kErrNone;
}
ErrCode FakeFreeStmt(uint32_t) { return kErrNone; }

class ConnAttr : public ::testing::Test {
protected:
    FakeAgent fake;
    AgentFuncTable table{};
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    ConnRecord* conn = nullptr;
    void SetUp() override {
        g_fake = &fake;
        table.DRV_GetInfo = FakeGetInfo;
        table.DRV_SetOption = FakeSetOption;
        table.DRV_GetErrors = FakeGetErrors;
        table.DRV_AllocStmt = FakeAllocStmt;
        table.DRV_FreeStmt = FakeFreeStmt;
        table.DRV_CloseCursor = FakeFreeStmt;
    }
    void Open(uint32_t version) {
        if (version == 3) {
            ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        } else {
            ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env));
        }
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
        conn = ConnOf(dbc);
        conn->link.word = 2;
        conn->link.table = &table;
        conn->agentConn = 0x20003;
    }
    void Connect() { conn->state = 2; }
    void TearDown() override {
        if (conn) {
            conn->state = 1;
            conn->agentConn = 0;
            conn->link.table = nullptr;
        }
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
        g_fake = nullptr;
        g_MsgBoxOwner = -2;
    }
    std::string State() {
        SQLCHAR state[6] = {};
        SQLINTEGER native;
        SQLCHAR msg[300];
        SQLSMALLINT len;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, sizeof msg, &len))) return "";
        return reinterpret_cast<char*>(state);
    }
    uint32_t Option32(SQLUSMALLINT option) {
        uint32_t v = 0xA5A5A5A5;
        EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, option, &v)) << option;
        return v;
    }
    uint32_t Attr32(SQLINTEGER attr) {
        uint32_t v = 0xA5A5A5A5;
        EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, attr, &v, 0, nullptr)) << attr;
        return v;
    }
    SQLRETURN SetAttr(SQLINTEGER attr, intptr_t v) {
        return SQLSetConnectAttr(dbc, attr, reinterpret_cast<SQLPOINTER>(v), 0);
    }
};

TEST_F(ConnAttr, DefaultsOfAFreshConnection) {
    Open(3);
    EXPECT_EQ(uint32_t(SQL_AUTOCOMMIT_ON), Attr32(SQL_ATTR_AUTOCOMMIT));
    EXPECT_EQ(uint32_t(SQL_MODE_READ_WRITE), Attr32(SQL_ATTR_ACCESS_MODE));
    EXPECT_EQ(120u, Attr32(SQL_ATTR_LOGIN_TIMEOUT));
    EXPECT_EQ(4096u, Attr32(SQL_ATTR_PACKET_SIZE));
    EXPECT_EQ(0u, Attr32(SQL_ATTR_TRACE));
    EXPECT_EQ(0u, Attr32(SQL_ATTR_TXN_ISOLATION));
    EXPECT_EQ(0u, Attr32(SQL_ATTR_CONNECTION_DEAD));
    EXPECT_EQ(0u, Attr32(SQL_ATTR_AUTO_IPD));
    EXPECT_TRUE(fake.sets.empty());
}

TEST_F(ConnAttr, ClosedConnectionRecordsWithoutTheAgent) {
    Open(3);
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF));
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY));
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_TXN_ISOLATION, SQL_TXN_SERIALIZABLE));
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_LOGIN_TIMEOUT, 5));
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_TRANSLATE_OPTION, 9));
    EXPECT_EQ(uint32_t(SQL_AUTOCOMMIT_OFF), Attr32(SQL_ATTR_AUTOCOMMIT));
    EXPECT_EQ(uint32_t(SQL_MODE_READ_ONLY), Attr32(SQL_ATTR_ACCESS_MODE));
    EXPECT_EQ(uint32_t(SQL_TXN_SERIALIZABLE), Attr32(SQL_ATTR_TXN_ISOLATION));
    EXPECT_EQ(5u, Attr32(SQL_ATTR_LOGIN_TIMEOUT));
    EXPECT_EQ(9u, Attr32(SQL_ATTR_TRANSLATE_OPTION));
    EXPECT_TRUE(fake.sets.empty());
    // An access mode other than 0 or 1 is accepted and leaves the mode as it was.
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ACCESS_MODE, 5));
    EXPECT_EQ(uint32_t(SQL_MODE_READ_ONLY), Attr32(SQL_ATTR_ACCESS_MODE));
    // Driver options are accepted and kept nowhere; reading them writes nothing.
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, 1203, 1));
    uint32_t v = 0xA5A5A5A5;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, 1203, &v));
    EXPECT_EQ(0xA5A5A5A5u, v);
    EXPECT_TRUE(fake.sets.empty());
}

TEST_F(ConnAttr, OpenConnectionPassesOptionsToTheAgent) {
    Open(3);
    Connect();
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF));
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY));
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ACCESS_MODE, 5));  // agent told 1
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_TXN_ISOLATION, SQL_TXN_REPEATABLE_READ));
    std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {0x22030000, 0}, {0x22030001, 1}, {0x22030001, 1}, {0x2203006C, SQL_TXN_REPEATABLE_READ}};
    EXPECT_EQ(expected, fake.sets);
    EXPECT_EQ(uint32_t(SQL_TXN_REPEATABLE_READ), Attr32(SQL_ATTR_TXN_ISOLATION));
}

TEST_F(ConnAttr, AgentFailureKeepsTheValueAndCollectsMessages) {
    Open(3);
    Connect();
    fake.setResult[0x22030000] = 65;  // 25000
    fake.messages = {"[IngresII Server]no autocommit change inside a transaction"};
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF));
    EXPECT_EQ(1, fake.errorCalls);
    EXPECT_EQ(uint32_t(SQL_AUTOCOMMIT_ON), Attr32(SQL_ATTR_AUTOCOMMIT));
    fake.setResult[0x22030000] = 65;
    fake.messages = {"text"};
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF));
    SQLCHAR state[6], msg[300];
    SQLINTEGER native = 0;
    SQLSMALLINT len;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, &native, msg, sizeof msg, &len));
    EXPECT_NE(nullptr, strstr(reinterpret_cast<char*>(msg), "text"));
    EXPECT_EQ(77, native);
}

TEST_F(ConnAttr, SubstitutedIsolationIsReportedAndStored) {
    Open(3);
    Connect();
    fake.setResult[0x2203006C] = 75;
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SetAttr(SQL_ATTR_TXN_ISOLATION, SQL_TXN_SERIALIZABLE));
    EXPECT_EQ("01S02", State());
    EXPECT_EQ(2u, Attr32(SQL_ATTR_TXN_ISOLATION));  // what the agent took
}

TEST_F(ConnAttr, StatementOptionsAtTheConnection) {
    Open(2);
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_ROWSET_SIZE, 10));
    EXPECT_EQ(10u, conn->cursorDefaults.rowsetSize);
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_MAX_ROWS, 0x100000005ull));
    EXPECT_EQ(0x100000005ull, conn->defMaxRows);  // kept whole
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_CURSOR_TYPE, SQL_CURSOR_STATIC));
    EXPECT_EQ(3u, conn->cursorDefaults.cursorType);
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_QUERY_TIMEOUT, 30));
    uint32_t v = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_QUERY_TIMEOUT, &v, 0, nullptr));
    EXPECT_EQ(30u, v);
    // Not readable as connection options.
    EXPECT_EQ(SQL_ERROR, SQLGetConnectOption(dbc, SQL_ROWSET_SIZE, &v));
    EXPECT_EQ("S1092", State());
    // The ODBC 2 asynchronous option is a flag of its own.
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_ASYNC_ENABLE, 1));
    EXPECT_EQ(1u, Option32(SQL_ASYNC_ENABLE));
    // The ODBC 3 screen refuses the rowset size in any environment.
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ROWSET_SIZE, 5));
    EXPECT_EQ("S1092", State());
    EXPECT_EQ(10u, conn->cursorDefaults.rowsetSize);
}

TEST_F(ConnAttr, StatementOptionsAreRefusedUnderOdbc3) {
    Open(3);
    for (SQLUSMALLINT o : {SQL_QUERY_TIMEOUT, SQL_MAX_ROWS, SQL_ASYNC_ENABLE, SQL_ROWSET_SIZE, SQL_USE_BOOKMARKS}) {
        EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, o, 10)) << o;
        EXPECT_EQ("IM001", State()) << o;
    }
    EXPECT_EQ(1u, conn->cursorDefaults.rowsetSize);
    uint32_t v;
    EXPECT_EQ(SQL_ERROR, SQLGetConnectAttr(dbc, SQL_QUERY_TIMEOUT, &v, 0, nullptr));
    EXPECT_EQ("IM001", State());
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ROWSET_SIZE, 5));
    EXPECT_EQ("HY092", State());
}

TEST_F(ConnAttr, AsyncEnableOfBothForms) {
    Open(3);
    SQLHSTMT stmt;
    Connect();
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ASYNC_ENABLE, SQL_ASYNC_ENABLE_ON));
    uint64_t whole = 0xA5A5A5A5A5A5A5A5ull;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_ASYNC_ENABLE, &whole, 0, nullptr));
    EXPECT_EQ(1u, whole);  // written as 64 bits
    EXPECT_EQ(1u, StmtOf(stmt)->asyncEnable);
    EXPECT_EQ(0u, Option32(SQL_ASYNC_ENABLE));  // the ODBC 2 flag is separate
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

TEST_F(ConnAttr, QuietModeIsProcessWideAndWrittenWhole) {
    Open(3);
    uint64_t v = 0xA5A5A5A5A5A5A5A5ull;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, SQL_QUIET_MODE, &v));
    EXPECT_EQ(0u, v);
    intptr_t window = intptr_t(0x7F0012345678);
    EXPECT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_QUIET_MODE, window));
    EXPECT_EQ(window, g_MsgBoxOwner.load());
    v = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_QUIET_MODE, &v, 0, nullptr));
    EXPECT_EQ(uint64_t(window), v);
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_QUIET_MODE, 0));
    EXPECT_EQ(0, g_MsgBoxOwner.load());
    EXPECT_EQ(0, DriverMessageBox("not shown", 0));
    v = 0xA5A5A5A5A5A5A5A5ull;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_ODBC_CURSORS, &v, 0, nullptr));
    EXPECT_EQ(0u, v);
}

TEST_F(ConnAttr, TranslationLibraryName) {
    Open(3);
    char buf[64] = "unchanged";
    SQLINTEGER len = 0;
    EXPECT_EQ(SQL_NO_DATA, SQLGetConnectOption(dbc, SQL_TRANSLATE_DLL, buf));
    EXPECT_EQ(SQL_NO_DATA, SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, buf, sizeof buf, &len));
    EXPECT_STREQ("unchanged", buf);
    char name[] = "libtrans.so";
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, name, SQL_NTS));
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, buf, sizeof buf, &len));
    EXPECT_STREQ("libtrans.so", buf);
    EXPECT_EQ(11, len);
    // An explicit length takes only that many bytes of an unterminated text.
    char longer[] = {'l', 'i', 'b', 'x', 'y', 'z'};
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, longer, 4));
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, SQL_TRANSLATE_DLL, buf));
    EXPECT_STREQ("libx", buf);
    EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, longer, -7));
    EXPECT_EQ("HY090", State());
    // Truncated read: cut and terminated, full length reported.
    char small[3];
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, small, sizeof small, &len));
    EXPECT_STREQ("li", small);
    EXPECT_EQ(4, len);
    EXPECT_EQ("01004", State());
    EXPECT_EQ(SQL_ERROR, SQLGetConnectAttr(dbc, SQL_ATTR_TRANSLATE_LIB, small, -1, &len));
    EXPECT_EQ("HY090", State());
    EXPECT_EQ(SQL_ERROR, SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, nullptr, -4, &len));
    EXPECT_EQ("HY090", State());
    // An absent value clears it.
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_TRANSLATE_DLL, 0));
    EXPECT_EQ(SQL_NO_DATA, SQLGetConnectOption(dbc, SQL_TRANSLATE_DLL, buf));
}

TEST_F(ConnAttr, WideTextAttributesCountBytes) {
    Open(3);
    SQLWCHAR name[] = {'t', 'r', 0x00E4, 'n', 's', 0};
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, name, SQL_NTS));
    EXPECT_STREQ("tr\xC3\xA4ns", conn->translateDll);  // kept as UTF-8
    SQLWCHAR buf[10];
    SQLINTEGER len = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, buf, sizeof buf, &len));
    EXPECT_EQ(10, len);
    EXPECT_EQ(0, memcmp(name, buf, sizeof name));
    SQLWCHAR small[3];
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, small, sizeof small, &len));
    EXPECT_EQ('t', small[0]);
    EXPECT_EQ('r', small[1]);
    EXPECT_EQ(0, small[2]);
    EXPECT_EQ(10, len);
    // A byte length covers whole characters: 6 bytes are three of them.
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttrW(dbc, SQL_ATTR_TRANSLATE_LIB, name, 6));
    EXPECT_STREQ("tr\xC3\xA4", conn->translateDll);
    SQLWCHAR trace[4] = {1, 1, 1, 1};
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOptionW(dbc, SQL_OPT_TRACEFILE, trace));
    EXPECT_EQ(0, trace[0]);
    EXPECT_EQ(1, trace[1]);
}

TEST_F(ConnAttr, CurrentCatalog) {
    Open(3);
    char buf[64];
    SQLINTEGER len = -1;
    // Before any agent connection exists: an empty text; setting is ignored.
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, const_cast<char*>("db2"), SQL_NTS));
    EXPECT_TRUE(fake.textSets.empty());
    conn->agentConn = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buf, sizeof buf, &len));
    EXPECT_STREQ("", buf);
    EXPECT_EQ(0, len);
    conn->agentConn = 0x20003;
    Connect();
    fake.texts[0x2101000D] = "agentdb";
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buf, sizeof buf, &len));
    EXPECT_STREQ("agentdb", buf);
    char target[] = {'o', 't', 'h', 'e', 'r', 'X'};
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, target, 5));
    ASSERT_EQ(1u, fake.textSets.size());
    EXPECT_EQ(0x2103006Du, fake.textSets[0].first);
    EXPECT_EQ("other", fake.textSets[0].second);
    EXPECT_STREQ("other", conn->serverText);
    // The Ingres agent refuses it; the agent's code reaches the application.
    fake.setResult[0x2103006D] = 43;
    EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, target, 5));
    EXPECT_EQ("HYC00", State());
}

TEST_F(ConnAttr, CurrentCatalogWithACursorOpen) {
    Open(3);
    Connect();
    SQLHSTMT stmt;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    StmtOf(stmt)->flags |= 0x2;
    EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, const_cast<char*>("x"), SQL_NTS));
    EXPECT_EQ("24000", State());  // the same in ODBC 3: only describing maps it
    EXPECT_TRUE(fake.textSets.empty());
    StmtOf(stmt)->flags = 0;
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

TEST_F(ConnAttr, DriverOptionRange) {
    Open(2);
    Connect();
    fake.setResult[0x22030000 + 1203] = 43;
    EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, 1203, 1));
    EXPECT_EQ("S1092", State());
    EXPECT_EQ(0, fake.errorCalls);
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, 1215, 7));
    EXPECT_EQ((std::pair<uint32_t, uint32_t>(0x22030000 + 1215, 7)), fake.sets.back());
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, 1212, reinterpret_cast<SQLULEN>("grp")));
    EXPECT_EQ((std::pair<uint32_t, std::string>(0x21030000 + 1212, "grp")), fake.textSets.back());
    fake.ints[0x22030000 + 1215] = 7;
    EXPECT_EQ(7u, Option32(1215));
    fake.texts[0x21030000 + 1254] = "role";
    char text[300];
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, 1254, text));
    EXPECT_STREQ("role", text);
    // Unknown to the agent: out of range.
    uint32_t v;
    EXPECT_EQ(SQL_ERROR, SQLGetConnectOption(dbc, 1216, &v));
    EXPECT_EQ("S1092", State());
    // Outside the range, or not reachable through the ODBC 3 call.
    for (SQLUSMALLINT o : {1200, 1209, 1220, 1251, 1260, 1263, 14, 113}) {
        EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, o, 1)) << o;
        EXPECT_EQ("S1092", State()) << o;
    }
    EXPECT_EQ(SQL_ERROR, SetAttr(1215, 7));
    EXPECT_EQ("S1092", State());
}

TEST_F(ConnAttr, OutOfRangeAndUnsupportedAttributes) {
    Open(3);
    struct {
        SQLINTEGER attr;
        const char* state;
    } sets[] = {{13, "HY092"},
                {14, "HY092"},
                {50, "HY092"},
                {SQL_ATTR_ODBC_CURSORS, "HY092"},
                // Not supported (HYC00, never the Driver Manager's IM001); SQL_ATTR_AUTO_IPD is read-only.
                {SQL_ATTR_CONNECTION_TIMEOUT, "HYC00"},
                {SQL_ATTR_AUTO_IPD, "HY092"},
                {SQL_ATTR_METADATA_ID, "HYC00"},
                {SQL_ATTR_CONNECTION_DEAD, "HY092"},
                {5000, "HY092"},
                {-4, "HY092"}};
    for (auto& c : sets) {
        EXPECT_EQ(SQL_ERROR, SetAttr(c.attr, 1)) << c.attr;
        EXPECT_EQ(c.state, State()) << c.attr;
    }
    uint32_t v;
    SQLINTEGER len = 0;
    EXPECT_EQ(SQL_ERROR, SQLGetConnectAttr(dbc, SQL_MAX_ROWS, &v, 0, &len));
    EXPECT_EQ(SQL_NTS, len);
    EXPECT_EQ("HY092", State());
    // What they read is defined: no timeout, catalog arguments are patterns. The values that
    // say so can be set.
    for (SQLINTEGER a : {SQL_ATTR_CONNECTION_TIMEOUT, SQL_ATTR_METADATA_ID}) {
        v = 7;
        EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, a, &v, 0, nullptr)) << a;
        EXPECT_EQ(0u, v) << a;
        EXPECT_EQ(SQL_SUCCESS, SetAttr(a, 0)) << a;
    }
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_METADATA_ID, 2));
    EXPECT_EQ("HY024", State());
    for (SQLINTEGER a : {5, 100, 1207, 1215, 1280}) {
        EXPECT_EQ(SQL_ERROR, SQLGetConnectAttr(dbc, a, &v, 0, nullptr)) << a;
        EXPECT_EQ("HY092", State()) << a;
    }
}

TEST_F(ConnAttr, FailoverNotification) {
    Open(3);
    EXPECT_EQ(SQL_ERROR, SetAttr(1280, reinterpret_cast<intptr_t>(&FailoverSpy)));
    EXPECT_EQ("HY010", State());
    Connect();
    EXPECT_EQ(SQL_ERROR, SetAttr(1280, reinterpret_cast<intptr_t>(&FailoverSpy)));
    EXPECT_EQ("HYC00", State());
    EXPECT_EQ(SQL_ERROR, SetAttr(1281, 42));
    EXPECT_EQ("HYC00", State());
    EXPECT_EQ(nullptr, conn->failover);
    conn->capFailover = 1;
    fake.setResult[0x22030500] = 43;
    EXPECT_EQ(SQL_ERROR, SetAttr(1280, reinterpret_cast<intptr_t>(&FailoverSpy)));
    EXPECT_EQ(nullptr, conn->failover);
    fake.setResult.clear();
    EXPECT_EQ(SQL_SUCCESS, SetAttr(1280, reinterpret_cast<intptr_t>(&FailoverSpy)));
    EXPECT_EQ(SQL_SUCCESS, SetAttr(1281, 42));
    EXPECT_EQ(&FailoverSpy, conn->failover);
    EXPECT_EQ(reinterpret_cast<void*>(42), conn->failoverArg);
    EXPECT_EQ((std::pair<uint32_t, uint32_t>(0x22030500, 1)), fake.sets.back());
    conn->failover = nullptr;
}

TEST_F(ConnAttr, DtcEnlistment) {
    Open(3);
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_ENLIST_IN_DTC, SQL_DTC_DONE));
    EXPECT_EQ("IM001", State());  // not XA capable
    conn->capXa = 1;
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_ENLIST_IN_DTC, SQL_DTC_DONE));
    EXPECT_EQ("08003", State());
    Connect();
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_ENLIST_IN_DTC, SQL_DTC_DONE));
    EXPECT_EQ("25000", State());
    // The distributed-transaction layer cannot make a dispenser here: enlistment fails cleanly.
    int transaction = 0;
    EXPECT_EQ(SQL_ERROR, SetAttr(SQL_ATTR_ENLIST_IN_DTC, reinterpret_cast<intptr_t>(&transaction)));
    EXPECT_EQ("IM932", State());
    EXPECT_EQ(0u, conn->enlisted);
    EXPECT_EQ(nullptr, conn->dispenser);
}

TEST_F(ConnAttr, DtcNeedsOdbc3) {
    Open(2);
    conn->capXa = 1;
    Connect();
    EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(dbc, SQL_ATTR_ENLIST_IN_DTC, 1));
    EXPECT_EQ("IM001", State());
}

// Each connection option of the ODBC 2 calls, set and read back on an open connection.
TEST_F(ConnAttr, EveryOptionSetsAndReadsBack) {
    Open(2);
    Connect();
    fake.ints[0x22030000 + 1211] = 5;  // what the agent reads back for a driver option
    struct {
        SQLUSMALLINT option;
        SQLULEN value;
        uint32_t readBack;
    } cases[] = {
        {SQL_ASYNC_ENABLE, 1, 1},
        {SQL_ASYNC_ENABLE, 0, 0},
        {SQL_ACCESS_MODE, SQL_MODE_READ_ONLY, 1},
        {SQL_ACCESS_MODE, SQL_MODE_READ_WRITE, 0},
        {SQL_AUTOCOMMIT, 0, 0},
        {SQL_AUTOCOMMIT, 1, 1},
        {SQL_LOGIN_TIMEOUT, 33, 33},
        {SQL_OPT_TRACE, 1, 0},
        {SQL_TRANSLATE_OPTION, 0xFFFF0001, 0xFFFF0001},
        {SQL_TXN_ISOLATION, SQL_TXN_READ_COMMITTED, SQL_TXN_READ_COMMITTED},
        {SQL_PACKET_SIZE, 512, 4096},
        {1211, 9, 5},
    };
    for (auto& c : cases) {
        EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, c.option, c.value)) << c.option;
        EXPECT_EQ(c.readBack, Option32(c.option)) << c.option;
    }
    EXPECT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_OPT_TRACEFILE, reinterpret_cast<SQLULEN>("/tmp/x.log")));
    char text[300] = "x";
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, SQL_OPT_TRACEFILE, text));
    EXPECT_STREQ("", text);
    // Each number went to the agent as a 32-bit value under its property.
    std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {0x22030001, 1},       {0x22030001, 0}, {0x22030000, 0}, {0x22030000, 1}, {0x2203006C, SQL_TXN_READ_COMMITTED},
        {0x22030000 + 1211, 9}};
    EXPECT_EQ(expected, fake.sets);
}

TEST_F(ConnAttr, NullValueAddressesWriteNothing) {
    Open(3);
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, SQL_AUTOCOMMIT, nullptr));
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, nullptr, 0, nullptr));
    SQLINTEGER len = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_TRACEFILE, nullptr, 0, &len));
    EXPECT_EQ(0, len);
}

}  // namespace
