// The agent statement record: names, descriptions, parameter values and cancel.
#include "tests/support/agent_stmt_fixture.h"

#include <algorithm>
#include <set>
#include <thread>

#include "drv_ingii/i-exec.h"

using namespace stmttest;

namespace {

class StmtRecordTest : public AgentSession {};

TEST_F(StmtRecordTest, NamesAreUniqueAmongLiveStatements) {
    std::set<std::string> names;
    for (int i = 0; i < 50; ++i) {
        uint32_t s = Stmt();
        char buf[64];
        uint16_t len = 0;
        ASSERT_EQ(AgentCall<DRV_GetCursorName>(&link, s, buf, uint16_t(sizeof buf), &len), 0u);
        std::string cn(buf, len);
        ASSERT_EQ(cn.rfind("CN", 0), 0u);
        EXPECT_EQ(cn.find_first_not_of("0123456789ABCDEF", 2), std::string::npos) << cn;
        EXPECT_TRUE(names.insert(cn).second) << cn;
        std::string sn = IngStmtFind(s)->stmtName;
        ASSERT_EQ(sn.rfind("ST", 0), 0u);
        EXPECT_TRUE(names.insert(sn).second) << sn;
    }
}

TEST_F(StmtRecordTest, CursorNameIsCutWithItsFullLength) {
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_SetCursorName>(&link, s, "c1"), 0u);
    char buf[2] = {'x', 'x'};
    uint16_t len = 0;
    EXPECT_EQ(AgentCall<DRV_GetCursorName>(&link, s, buf, uint16_t(2), &len), 19u);
    EXPECT_STREQ(buf, "c");
    EXPECT_EQ(len, 2);
    EXPECT_EQ(AgentCall<DRV_SetCursorName>(&link, s, nullptr), 21u);
    EXPECT_EQ(AgentCall<DRV_GetCursorName>(&link, 77u, buf, uint16_t(2), &len), 21u);
}

TEST_F(StmtRecordTest, UnknownHandlesAreRefused) {
    EXPECT_EQ(AgentCall<DRV_FreeStmt>(&link, 99u), 21u);
    EXPECT_EQ(AgentCall<DRV_CloseCursor>(&link, 99u), 21u);
    EXPECT_EQ(AgentCall<DRV_SetParams>(&link, 99u, nullptr), 21u);
    uint16_t n;
    EXPECT_EQ(AgentCall<DRV_DescribeCols>(&link, 99u, &n, nullptr), 21u);
    EXPECT_EQ(AgentCall<DRV_DescribeParams>(&link, 99u, &n, nullptr), 21u);
    EXPECT_EQ(AgentCall<DRV_MoreResults>(&link, 99u), 21u);
    EXPECT_EQ(AgentCall<DRV_SetParamDescs>(&link, 99u, uint16_t(0), nullptr), 21u);
    EXPECT_EQ(AgentCall<DRV_Cancel>(&link, 99u), 21u);
    uint32_t out = 5;
    EXPECT_EQ(AgentCall<DRV_AllocStmt>(&link, 99u, &out), 21u);
    EXPECT_EQ(out, 0u);
}

TEST_F(StmtRecordTest, ParameterDescriptionsDefaultToVarchar) {
    Exec("CREATE TABLE p1 (a INTEGER, b VARCHAR(5))");
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "INSERT INTO p1 VALUES (?, ?)"), 0u) << Errors(s);
    uint16_t n = 0;
    ColumnInfo* d = nullptr;
    ASSERT_EQ(AgentCall<DRV_DescribeParams>(&link, s, &n, &d), 0u);
    ASSERT_EQ(n, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(d[i].sql_type, 12);
        EXPECT_EQ(d[i].column_size, 255u);
        EXPECT_EQ(d[i].value_kind, DS_CHAR_NTS);
        EXPECT_EQ(d[i].nullable, 2u);
        EXPECT_EQ(d[i].server_type, -9999);
    }
    ColumnInfoArrayFree(d, n);
    // Asking for automatic descriptions describes them from the table's columns.
    uint32_t on = 1;
    EXPECT_EQ(AgentCall<DRV_SetOption>(&link, s, 0x3203000Fu, &on), 0u);
    EXPECT_EQ(IngStmtFind(s)->paramsDescribed, 1u);
    ASSERT_EQ(AgentCall<DRV_DescribeParams>(&link, s, &n, &d), 0u);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(d[0].sql_type, 4);
    EXPECT_EQ(d[1].sql_type, 12);
    EXPECT_EQ(d[1].column_size, 5u);
    ColumnInfoArrayFree(d, n);
}

TEST_F(StmtRecordTest, ExtendedDescriptionsCarryAttributeRows) {
    Exec("CREATE TABLE x1 (a INTEGER, b VARCHAR(10))");
    uint32_t s = Stmt();
    ASSERT_EQ(Run(s, "SELECT a, b FROM x1"), 0u);
    uint16_t n = 0, rows = 0;
    ColumnInfo* cols = nullptr;
    void* attr = nullptr;
    ASSERT_EQ(AgentCall<DRV_DescribeColsEx>(&link, s, &n, &rows, &cols, &attr), 0u);
    ASSERT_EQ(n, 2);
    auto* list = static_cast<IngAttrList*>(attr);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(rows, list->count);
    auto find = [&](int16_t id, uint16_t col) -> const IngAttrRow* {
        for (uint32_t i = 0; i < list->count; ++i)
            if (list->rows[i].attribute == id && list->rows[i].column == col) return &list->rows[i];
        return nullptr;
    };
    // Case sensitivity: the default row says 0, only the VARCHAR column differs.
    ASSERT_NE(find(12, 0), nullptr);
    EXPECT_EQ(find(12, 0)->value, 0);
    EXPECT_EQ(find(12, 1), nullptr);
    ASSERT_NE(find(12, 2), nullptr);
    EXPECT_EQ(find(12, 2)->value, 1);
    // Type names and literal quotes.
    ASSERT_NE(find(14, 1), nullptr);
    EXPECT_STREQ(find(14, 1)->text, "INTEGER4");
    EXPECT_STREQ(find(14, 2)->text, "VARCHAR");
    ASSERT_NE(find(27, 2), nullptr);
    EXPECT_STREQ(find(27, 2)->text, "'");
    EXPECT_EQ(find(27, 1), nullptr);
    // Searchable and the cursor layer's attributes have no rows of their own.
    for (uint32_t i = 0; i < list->count; ++i) {
        EXPECT_GE(list->rows[i].attribute, 0);
        EXPECT_FALSE((list->rows[i].attribute == 1053 || list->rows[i].attribute == 1055) && list->rows[i].column != 0);
    }
    ASSERT_NE(find(10, 0), nullptr);
    EXPECT_EQ(find(10, 0)->value, 2);
    IngAttrListFree(list);
    ColumnInfoArrayFree(cols, n);
    EXPECT_EQ(AgentCall<DRV_DescribeColsEx>(&link, s, &n, &rows, &cols, nullptr), 21u);
}

TEST_F(StmtRecordTest, CancelFromAnotherThreadWhileTheStatementCloses) {
    Exec("CREATE TABLE c1 (a INTEGER)");
    for (int i = 0; i < 20; ++i) Exec(("INSERT INTO c1 VALUES (" + std::to_string(i) + ")").c_str());
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "SELECT a FROM c1"), 0u);
    std::atomic<bool> stop{false};
    std::atomic<int> cancels{0};
    std::thread canceller([&] {
        while (!stop.load()) {
            uint32_t rc = AgentCall<DRV_Cancel>(&link, s);
            (void)rc;
            cancels.fetch_add(1);
        }
    });
    for (int round = 0; round < 200; ++round) {
        uint32_t rc = AgentCall<DRV_Execute>(&link, s);
        if (rc == 0) {
            Block b;
            AgentCall<DRV_FetchRows>(&link, s, 5, &b.ds);
        }
        AgentCall<DRV_CloseCursor>(&link, s);
    }
    // The statement goes away while the canceller still runs.
    EXPECT_EQ(AgentCall<DRV_FreeStmt>(&link, s), 0u);
    stmts.erase(std::find(stmts.begin(), stmts.end(), s));
    while (cancels.load() < 10) std::this_thread::yield();
    stop.store(true);
    canceller.join();
    EXPECT_EQ(AgentCall<DRV_Cancel>(&link, s), 21u);
    // Nothing running: cancel answers 0.
    uint32_t idle = Stmt();
    EXPECT_EQ(AgentCall<DRV_Cancel>(&link, idle), 0u);
}

TEST_F(StmtRecordTest, SlotFourteenIsNotCapable) {
    uint32_t s = Stmt();
    EXPECT_EQ(AgentCall<DRV_UnsupportedStmtOp>(&link, s), 43u);
}

TEST_F(StmtRecordTest, ProcedureCallOfAnUnknownProcedureIsRefused) {
    uint32_t s = Stmt();
    uint32_t rc = AgentCall<DRV_Prepare>(&link, s, "{call nosuchproc(?)}");
    EXPECT_NE(rc, 0u);
    EXPECT_TRUE(IngStmtFind(s)->state & kStmtProcCall);
    EXPECT_FALSE(IngStmtFind(s)->state & kStmtPrepared);
}

}  // namespace
