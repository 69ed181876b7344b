// Catalog entry points: what reaches the agent for the arguments an application gives, and the
// errors given before any agent call. The agent here is a table that records its arguments.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "drv_ingii/i-cat.h"
#include "drv_ingii/i-optable.h"
#include "drv_ingii/i-typeinfo.h"
#include "odbc/catalog.h"
#include "odbc/desc_field.h"
#include "util/dataset.h"
#include "util/trace.h"
#include "tests/odbc/records_fixture.h"

extern "C" SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT hstmt, SQLSMALLINT type);

namespace {

struct Seen {
    int slot = -1;
    uint32_t agentStmt = 0;
    std::vector<std::string> texts;
    uint16_t n1 = 0, n2 = 0, n3 = 0;
    int calls = 0;
};
Seen g_seen;
uint32_t g_answer = 0;
int g_collected = 0;
uint16_t g_flags = 0;

// The texts of each name-only record, in its order.
std::vector<const char*> Names(const IngTablesArgs* a) { return {a->catalog, a->schema, a->table, a->types}; }
std::vector<const char*> Names(const IngColumnsArgs* a) { return {a->catalog, a->schema, a->table, a->column}; }
std::vector<const char*> Names(const IngColumnPrivilegesArgs* a) {
    return {a->catalog, a->schema, a->table, a->column};
}
std::vector<const char*> Names(const IngPrimaryKeysArgs* a) { return {a->catalog, a->schema, a->table}; }
std::vector<const char*> Names(const IngTablePrivilegesArgs* a) { return {a->catalog, a->schema, a->table}; }
std::vector<const char*> Names(const IngForeignKeysArgs* a) {
    return {a->pkCatalog, a->pkSchema, a->pkTable, a->fkCatalog, a->fkSchema, a->fkTable};
}
std::vector<const char*> Names(const IngProceduresArgs* a) { return {a->catalog, a->schema, a->procedure}; }
std::vector<const char*> Names(const IngProcedureColumnsArgs* a) {
    return {a->catalog, a->schema, a->procedure, a->column};
}

template <int S, class R>
ErrCode RecordTexts(uint32_t stmt, const R* args) {
    g_seen.slot = S;
    g_seen.agentStmt = stmt;
    ++g_seen.calls;
    for (const char* t : Names(args)) g_seen.texts.emplace_back(t ? t : "<null>");
    return ErrCode(g_answer);
}

ErrCode RecordSpecial(uint32_t stmt, const IngSpecialColumnsArgs* a) {
    g_seen.slot = DRV_DDSpecialColumns;
    g_seen.agentStmt = stmt;
    ++g_seen.calls;
    g_seen.texts = {a->catalog, a->schema, a->table};
    g_seen.n1 = a->identifierType;
    g_seen.n2 = a->scope;
    g_seen.n3 = a->nullable;
    return ErrCode(g_answer);
}

ErrCode RecordStatistics(uint32_t stmt, const IngStatisticsArgs* a) {
    g_seen.slot = DRV_DDStatistics;
    g_seen.agentStmt = stmt;
    ++g_seen.calls;
    g_seen.texts = {a->catalog, a->schema, a->table};
    g_seen.n1 = a->unique;
    g_seen.n2 = a->accuracy;
    return ErrCode(g_answer);
}

ErrCode RecordTypeInfo(uint32_t stmt, uint16_t type) {
    g_seen.slot = DRV_DDTypeInfo;
    g_seen.agentStmt = stmt;
    ++g_seen.calls;
    g_seen.n1 = type;
    return ErrCode(g_answer);
}

AgentFuncTable MakeTable() {
    AgentFuncTable t{};
    t.DRV_DDTables = RecordTexts<DRV_DDTables>;
    t.DRV_DDColumns = RecordTexts<DRV_DDColumns>;
    t.DRV_DDColumnPrivileges = RecordTexts<DRV_DDColumnPrivileges>;
    t.DRV_DDPrimaryKeys = RecordTexts<DRV_DDPrimaryKeys>;
    t.DRV_DDTablePrivileges = RecordTexts<DRV_DDTablePrivileges>;
    t.DRV_DDForeignKeys = RecordTexts<DRV_DDForeignKeys>;
    t.DRV_DDProcedures = RecordTexts<DRV_DDProcedures>;
    t.DRV_DDProcedureColumns = RecordTexts<DRV_DDProcedureColumns>;
    t.DRV_DDSpecialColumns = RecordSpecial;
    t.DRV_DDStatistics = RecordStatistics;
    t.DRV_DDTypeInfo = RecordTypeInfo;
    return t;
}
AgentFuncTable g_table = MakeTable();
AgentLink g_link{2, &g_table};

class CatalogEntry : public ::testing::Test {
protected:
    ConnectedPair pair;
    SQLHSTMT hstmt = SQL_NULL_HSTMT;
    CatalogServices saved{};

    void SetUp() override {
        saved = g_CatalogServices;
        g_CatalogServices.stmtAgent = [](StmtRecord*, const AgentLink** link, uint32_t* h) {
            *link = &g_link;
            *h = 0x77;
            return true;
        };
        g_CatalogServices.collectAgentDiag = [](StmtRecord*) { ++g_collected; };
        g_CatalogServices.connFlags = [](ConnRecord*) { return g_flags; };
        g_seen = Seen{};
        g_answer = 0;
        g_collected = 0;
        g_flags = 0;
        hstmt = pair.stmt();
        ASSERT_NE(StmtOf(hstmt), nullptr);
    }
    void TearDown() override { g_CatalogServices = saved; }

    StmtRecord* stmt() { return StmtOf(hstmt); }
    SQLCHAR* T(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }
    using V = std::vector<std::string>;
};

TEST_F(CatalogEntry, ColumnsDefaultsForNullNames) {
    ASSERT_EQ(SQLColumns(hstmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(g_seen.slot, DRV_DDColumns);
    EXPECT_EQ(g_seen.agentStmt, 0x77u);
    EXPECT_EQ(g_seen.texts, (V{"", "%", "%", "%"}));
    EXPECT_EQ(stmt()->state, 2u);
    EXPECT_TRUE(stmt()->flags & 2);
}

TEST_F(CatalogEntry, RequiredTableNameRefusedBeforeTheAgent) {
    EXPECT_EQ(SQLPrimaryKeys(hstmt, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(stmt()->lastError, 21u);
    EXPECT_EQ(SQLStatistics(hstmt, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0), SQL_ERROR);
    EXPECT_EQ(SQLSpecialColumns(hstmt, 1, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0), SQL_ERROR);
    EXPECT_EQ(SQLColumnPrivileges(hstmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(g_seen.calls, 0);
    EXPECT_EQ(stmt()->state, 1u);
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLCHAR msg[256];
    ASSERT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, state, &native, msg, sizeof msg, &len), SQL_SUCCESS);
    EXPECT_TRUE(std::string(reinterpret_cast<char*>(state)) == "S1009" ||
                std::string(reinterpret_cast<char*>(state)) == "HY009")
        << state;
}

TEST_F(CatalogEntry, OnePairOfQuotesRemoved) {
    ASSERT_EQ(SQLPrimaryKeys(hstmt, nullptr, 0, nullptr, 0, T("'Orders'"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "", "Orders"}));
    g_seen = Seen{};
    // Given length: only that much is the name; double quotes too.
    ASSERT_EQ(SQLPrimaryKeys(hstmt, nullptr, 0, T("\"ing\"xyz"), 5, T("''"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "ing", ""}));
    g_seen = Seen{};
    ASSERT_EQ(SQLPrimaryKeys(hstmt, nullptr, 0, T("'"), SQL_NTS, T("'abc\""), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "'", "'abc\""}));
    g_seen = Seen{};
    ASSERT_EQ(SQLPrimaryKeys(hstmt, nullptr, 0, nullptr, 0, T("''x''"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "", "'x'"}));
}

TEST_F(CatalogEntry, BadLengthsRefusedExceptByTables) {
    EXPECT_EQ(SQLColumns(hstmt, nullptr, 0, T("s"), -5, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(stmt()->lastError, 21u);
    EXPECT_EQ(SQLForeignKeys(hstmt, nullptr, 0, nullptr, 0, nullptr, -1, nullptr, 0, nullptr, 0, nullptr, 0),
              SQL_ERROR);
    EXPECT_EQ(g_seen.calls, 0);
    // SQLTables reads a bad length as "up to the NUL".
    ASSERT_EQ(SQLTables(hstmt, nullptr, 0, nullptr, 0, T("emp"), -7, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "%", "emp", ""}));
}

TEST_F(CatalogEntry, ForeignKeysSixEmptyTexts) {
    ASSERT_EQ(SQLForeignKeys(hstmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0),
              SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "", "", "", "", ""}));
}

TEST_F(CatalogEntry, ProceduresAndPrivilegesDefaults) {
    ASSERT_EQ(SQLProcedures(hstmt, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "%", "%"}));
    g_seen = Seen{};
    ASSERT_EQ(SQLProcedureColumns(hstmt, nullptr, 0, nullptr, 0, T("p"), 1, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "%", "p", "%"}));
    g_seen = Seen{};
    ASSERT_EQ(SQLTablePrivileges(hstmt, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "%", "%"}));
    g_seen = Seen{};
    ASSERT_EQ(SQLColumnPrivileges(hstmt, nullptr, 0, nullptr, 0, T("t"), SQL_NTS, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "", "t", "%"}));
}

TEST_F(CatalogEntry, NumbersOfSpecialColumnsAndStatisticsPassUnchecked) {
    ASSERT_EQ(SQLSpecialColumns(hstmt, 2, nullptr, 0, T("s"), 1, T("t"), 1, 7, 9), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "s", "t"}));
    EXPECT_EQ(g_seen.n1, 2);
    EXPECT_EQ(g_seen.n2, 7);
    EXPECT_EQ(g_seen.n3, 9);
    g_seen = Seen{};
    ASSERT_EQ(SQLStatistics(hstmt, T("c"), 1, nullptr, 0, T("'t'"), 3, 0, 1), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"c", "", "t"}));
    EXPECT_EQ(g_seen.n1, 0);
    EXPECT_EQ(g_seen.n2, 1);
}

TEST_F(CatalogEntry, TableTypeListWithConnectionFlags) {
    struct Case {
        const char* list;
        uint16_t flags;
        const char* sent;
    } cases[] = {
        {"TABLE", kCatalogIncludeViews, "'TABLE','VIEW'"},
        {"'TABLE','VIEW'", kCatalogIncludeViews, "'TABLE','VIEW'"},
        {"table", kCatalogIncludeViews, "'table'"},
        {"TABLE, VIEW", 0, "'TABLE','VIEW'"},
        {"'TABLE', 'SYSTEM TABLE'", kCatalogIncludeAll, ""},
        {"%", 0, "%"},
        {"%,TABLE", kCatalogIncludeViews, "%"},
        {"", kCatalogIncludeViews, ""},
    };
    for (const Case& c : cases) {
        g_seen = Seen{};
        g_flags = c.flags;
        ASSERT_EQ(SQLTables(hstmt, nullptr, 0, nullptr, 0, nullptr, 0, T(c.list), SQL_NTS), SQL_SUCCESS) << c.list;
        ASSERT_EQ(g_seen.texts.size(), 4u);
        EXPECT_EQ(g_seen.texts[3], c.sent) << c.list;
    }
    // Names in SQLTables lose their quotes too; the type list keeps its own.
    g_seen = Seen{};
    g_flags = 0;
    ASSERT_EQ(SQLTables(hstmt, T("%"), SQL_NTS, T("'s'"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"%", "s", "%", ""}));
}

TEST(TableTypeList, Normalize) {
    EXPECT_EQ(TableTypeListNormalize("  TABLE  ", 0), "'TABLE'");
    EXPECT_EQ(TableTypeListNormalize("A,,B", 0), "'A','','B'");
    EXPECT_EQ(TableTypeListNormalize("\"X\", 'Y' ,Z", 0), "'\"X\"','Y','Z'");
    EXPECT_EQ(TableTypeListNormalize(nullptr, 0), "");
    EXPECT_EQ(TableTypeListNormalize(" 'VIEW', TABLE", kCatalogIncludeViews), "'VIEW','TABLE'");
    EXPECT_EQ(TableTypeListNormalize("TABLE,SYSTEM TABLE", kCatalogIncludeViews), "'TABLE','SYSTEM TABLE','VIEW'");
}

TEST(CatalogUnquoteText, Cases) {
    EXPECT_EQ(CatalogUnquote("'a'", SQL_NTS), "a");
    EXPECT_EQ(CatalogUnquote("\"a b\"", SQL_NTS), "a b");
    EXPECT_EQ(CatalogUnquote("'a\"", SQL_NTS), "'a\"");
    EXPECT_EQ(CatalogUnquote("'", SQL_NTS), "'");
    EXPECT_EQ(CatalogUnquote("'ab'cd", 4), "ab");
    EXPECT_EQ(CatalogUnquote("", SQL_NTS), "");
}

TEST_F(CatalogEntry, OpenResultClosedFirst) {
    stmt()->state = 2;
    ASSERT_EQ(SQLTables(hstmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(g_seen.calls, 1);
    EXPECT_EQ(stmt()->state, 2u);
}

TEST_F(CatalogEntry, AgentFailureLeavesTheStatementAllocated) {
    g_answer = 43;
    EXPECT_EQ(SQLTables(hstmt, T("%"), SQL_NTS, T(""), 0, T(""), 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(stmt()->lastError, 43u);
    EXPECT_EQ(stmt()->state, 1u);
    EXPECT_EQ(g_collected, 1);
    // No agent behind the statement: not capable, and nothing called.
    g_CatalogServices.stmtAgent = [](StmtRecord*, const AgentLink**, uint32_t*) { return false; };
    g_seen = Seen{};
    EXPECT_EQ(SQLColumns(hstmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(stmt()->lastError, 43u);
    EXPECT_EQ(g_seen.calls, 0);
}

TEST_F(CatalogEntry, WideEntriesHandOverUtf8) {
    const SQLWCHAR table[] = {'c', 0x00E9, 'l', 0};  // "cél"
    const SQLWCHAR quoted[] = {'\'', 'O', 'r', '\'', 0};
    ASSERT_EQ(SQLColumnsW(hstmt, nullptr, 0, const_cast<SQLWCHAR*>(quoted), 4, const_cast<SQLWCHAR*>(table), SQL_NTS,
                          nullptr, 0),
              SQL_SUCCESS);
    EXPECT_EQ(g_seen.texts, (V{"", "Or", "c\xC3\xA9l", "%"}));
    g_seen = Seen{};
    EXPECT_EQ(SQLColumnsW(hstmt, nullptr, 0, const_cast<SQLWCHAR*>(table), -9, nullptr, 0, nullptr, 0), SQL_ERROR);
    EXPECT_EQ(stmt()->lastError, 21u);
    EXPECT_EQ(g_seen.calls, 0);
}

TEST_F(CatalogEntry, GetTypeInfoAsksTheAgent) {
    ASSERT_EQ(SQLGetTypeInfo(hstmt, SQL_TYPE_TIMESTAMP), SQL_SUCCESS);
    EXPECT_EQ(g_seen.slot, DRV_DDTypeInfo);
    EXPECT_EQ(g_seen.n1, 93);
    EXPECT_EQ(stmt()->state, 2u);
    // On an open result: closed first, then asked again.
    ASSERT_EQ(SQLGetTypeInfoW(hstmt, SQL_ALL_TYPES), SQL_SUCCESS);
    EXPECT_EQ(g_seen.n1, 0);
    EXPECT_EQ(g_seen.calls, 2);
    g_answer = 16;
    EXPECT_EQ(SQLGetTypeInfo(hstmt, 1), SQL_ERROR);
    EXPECT_EQ(stmt()->lastError, 16u);
    EXPECT_EQ(stmt()->state, 1u);
}

TEST_F(CatalogEntry, LookupOnAClosedConnection) {
    ConnRecord* c = ConnOf(pair.dbc);
    c->state = 1;
    char buf[255];
    EXPECT_EQ(LookupTypeInfo(c, 1, 4, buf, sizeof buf), -1);
    EXPECT_EQ(c->lastError, 52u);
    c->state = 2;
}

// ---- the private type look-up over an agent that serves the type table ---------------------

uint32_t g_lookupFrees = 0;
ErrCode FakeAlloc(uint32_t, uint32_t* out) {
    *out = 0x55;
    return kErrNone;
}
uint16_t g_lookupType = 0;
ErrCode FakeTypeInfo(uint32_t, uint16_t type) {
    g_lookupType = type;
    return kErrNone;
}
ErrCode FakeFetch(uint32_t, uint16_t rows, Dataset* ds) {
    IngTypeInfoScope scope{int16_t(g_lookupType), 10000000, 3, 3, true, 0};
    uint32_t pos = 0;
    return ErrCode(IngTypeInfoServe(scope, &pos, rows, ds));
}
ErrCode FakeFree(uint32_t) {
    ++g_lookupFrees;
    return kErrNone;
}
AgentFuncTable MakeLookupTable() {
    AgentFuncTable t{};
    t.DRV_AllocStmt = FakeAlloc;
    t.DRV_DDTypeInfo = FakeTypeInfo;
    t.DRV_FetchRows = FakeFetch;
    t.DRV_FreeStmt = FakeFree;
    return t;
}
AgentFuncTable g_lookupTable = MakeLookupTable();

TEST_F(CatalogEntry, LookupReadsOneColumnOfTheTypeRow) {
    ConnRecord* c = ConnOf(pair.dbc);
    AgentLink saved = c->link;
    uint32_t savedConn = c->agentConn;
    c->link = AgentLink{2, &g_lookupTable};
    c->agentConn = 9;
    g_lookupFrees = 0;
    char buf[255];
    // The first row of the type: for an ODBC 3 timestamp the type that holds the whole value.
    ASSERT_EQ(LookupTypeInfo(c, 1, SQL_TYPE_TIMESTAMP, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "TIMESTAMP WITHOUT TIME ZONE");
    EXPECT_EQ(g_lookupType, 93);
    ASSERT_EQ(LookupTypeInfo(c, 4, SQL_TYPE_TIMESTAMP, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "'");
    ASSERT_EQ(LookupTypeInfo(c, 4, SQL_VARBINARY, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "X'");
    ASSERT_EQ(LookupTypeInfo(c, 5, SQL_CHAR, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "'");
    ASSERT_EQ(LookupTypeInfo(c, 4, SQL_INTEGER, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "") << "INTEGER has no literal prefix";
    ASSERT_EQ(LookupTypeInfo(c, 1, SQL_LONGVARCHAR, buf, 5), 0);
    EXPECT_STREQ(buf, "LONG") << "cut to the buffer";
    ASSERT_EQ(LookupTypeInfo(c, 1, 99, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(g_lookupFrees, 7u) << "the private statement is freed every time";
    c->link = saved;
    c->agentConn = savedConn;
}

TEST(CatalogTrace, CatalogCallsWriteTheirArguments) {
    std::string path = ::testing::TempDir() + "tv_cattrace_" + std::to_string(getpid()) + ".log";
    setenv("KIV_DEBUGFILE", path.c_str(), 1);
    DriverShutdown();
    ASSERT_EQ(1, DriverStartup(nullptr));
    ASSERT_TRUE(DebugTraceOn());
    CatalogServices saved = g_CatalogServices;
    g_CatalogServices.stmtAgent = [](StmtRecord*, const AgentLink** link, uint32_t* h) {
        *link = &g_link;
        *h = 0x77;
        return true;
    };
    {
        ConnectedPair pair;
        SQLHSTMT hstmt = pair.stmt();
        SQLCHAR table[] = "'emp'";
        EXPECT_EQ(SQL_SUCCESS, SQLColumns(hstmt, nullptr, 0, nullptr, 0, table, SQL_NTS, nullptr, 0));
        SQLFreeStmt(hstmt, SQL_CLOSE);
        EXPECT_EQ(SQL_SUCCESS, SQLStatistics(hstmt, nullptr, 0, nullptr, 0, table, SQL_NTS, 0, 1));
        SQLFreeStmt(hstmt, SQL_CLOSE);
        SQLCHAR types[] = "TABLE";
        EXPECT_EQ(SQL_SUCCESS, SQLTables(hstmt, nullptr, 0, nullptr, 0, nullptr, 0, types, SQL_NTS));
    }
    g_CatalogServices = saved;
    DriverShutdown();
    unsetenv("KIV_DEBUGFILE");
    ASSERT_EQ(1, DriverStartup(nullptr));
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    for (const char* expected :
         {"Qualifier='' Owner='%' Name='emp' Column='%'", "Qualifier='' Owner='' Name='emp' Unique=0 Accuracy=1",
          "Qualifier='' Owner='%' Name='%' Type='TABLE'"})
        EXPECT_NE(std::string::npos, text.find(expected)) << "missing: " << expected << "\nin:\n" << text;
    unlink(path.c_str());
}

}  // namespace
