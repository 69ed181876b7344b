// Parameter descriptions through the agent: probes run against the embedded engine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/agent_stmt_fixture.h"

namespace {

using stmttest::AgentSession;

class ParamDescAgent : public AgentSession {
protected:
    void SetUp() override {
        Open();
        Exec("CREATE TABLE pd (a INTEGER, b VARCHAR(12), c DECIMAL(10,2), d FLOAT, e CHAR(3))");
    }

    // Prepares, asks for automatic descriptions and returns them.
    std::vector<ColumnInfo> Describe(const char* sql, uint32_t* optRc = nullptr, uint32_t* described = nullptr) {
        uint32_t s = Stmt();
        EXPECT_EQ(AgentCall<DRV_Prepare>(&link, s, sql), 0u) << sql << "\n" << Errors(s);
        uint32_t on = 1;
        uint32_t rc = AgentCall<DRV_SetOption>(&link, s, 0x3203000Fu, &on);
        if (optRc) *optRc = rc;
        if (described) *described = IngStmtFind(s)->paramsDescribed;
        uint16_t n = 0;
        ColumnInfo* d = nullptr;
        EXPECT_EQ(AgentCall<DRV_DescribeParams>(&link, s, &n, &d), 0u);
        std::vector<ColumnInfo> out(d, d + n);
        ColumnInfoArrayFree(d, n);
        return out;
    }
};

TEST_F(ParamDescAgent, ComparedColumnsGiveTheirTypes) {
    uint32_t rc = 99, described = 0;
    auto d = Describe("SELECT * FROM pd WHERE a = ? AND ? < b", &rc, &described);
    EXPECT_EQ(rc, 0u);
    EXPECT_EQ(described, 1u);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].sql_type, 4);
    EXPECT_EQ(d[1].sql_type, 12);
    EXPECT_EQ(d[1].column_size, 12u);
}

TEST_F(ParamDescAgent, UpdateAssignmentsAndConditions) {
    auto d = Describe("UPDATE pd SET c = ? WHERE a = ? AND e LIKE ?");
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0].sql_type, 3);
    EXPECT_EQ(d[0].column_size, 10u);
    EXPECT_EQ(d[0].scale, 2);
    EXPECT_EQ(d[1].sql_type, 4);
    EXPECT_EQ(d[2].sql_type, 1);
    EXPECT_EQ(d[2].column_size, 3u);
}

TEST_F(ParamDescAgent, InsertWithoutColumnListTakesTheMarkedColumns) {
    auto d = Describe("INSERT INTO pd VALUES (1, ?, 2.5, ?, 'x')");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].sql_type, 12);
    EXPECT_EQ(d[1].sql_type, 8);
}

TEST_F(ParamDescAgent, InsertWithColumnListAndDelete) {
    auto d = Describe("INSERT INTO pd (e, a) VALUES (?, ?)");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].sql_type, 1);
    EXPECT_EQ(d[1].sql_type, 4);
    d = Describe("DELETE FROM pd WHERE d > ? OR c BETWEEN ? AND 5");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].sql_type, 8);
    EXPECT_EQ(d[1].sql_type, 3);
}

TEST_F(ParamDescAgent, UndescribableStatementsKeepTheDefaults) {
    // A marker alone in the select list, or in a function's arguments, has no partner: the count
    // differs and nothing changes.
    for (const char* sql : {"SELECT ? FROM pd WHERE a = ?", "SELECT ABS(?) FROM pd WHERE a = ?"}) {
        uint32_t rc = 99, described = 5;
        auto d = Describe(sql, &rc, &described);
        EXPECT_EQ(rc, 0u) << sql;
        EXPECT_EQ(described, 0u) << sql;
        ASSERT_EQ(d.size(), 2u) << sql;
        for (auto& c : d) EXPECT_EQ(c.sql_type, 12) << sql;
    }
}

TEST_F(ParamDescAgent, MarkersInArithmeticTakeTheNumbersTheyAreCombinedWith) {
    struct Case {
        const char* sql;
        std::vector<int32_t> types;
    };
    const Case cases[] = {
        {"SELECT a + ? FROM pd WHERE a = ?", {4, 4}},
        {"SELECT ? + 1", {4}},
        {"SELECT ? * c, d - ? FROM pd", {3, 8}},
        {"SELECT ? - 2.5, 2e0 * ? FROM pd WHERE b = ?", {3, 8, 12}},
    };
    for (const Case& c : cases) {
        uint32_t rc = 99, described = 0;
        auto d = Describe(c.sql, &rc, &described);
        EXPECT_EQ(rc, 0u) << c.sql;
        EXPECT_EQ(described, 1u) << c.sql;
        ASSERT_EQ(d.size(), c.types.size()) << c.sql;
        for (size_t i = 0; i < d.size(); ++i) EXPECT_EQ(d[i].sql_type, c.types[i]) << c.sql << " #" << i + 1;
    }
}

}  // namespace

namespace {

TEST_F(ParamDescAgent, NullTestTakesTheDefaultType) {
    uint32_t rc = 99, described = 0;
    auto d = Describe("SELECT a FROM pd WHERE a = ? OR ? IS NULL", &rc, &described);
    EXPECT_EQ(rc, 0u);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].sql_type, 4);
    EXPECT_EQ(d[1].sql_type, 12);
}

TEST_F(ParamDescAgent, FewerValuesThanColumns) {
    // The engine refuses such an INSERT, so the statement's text is swapped after a prepare:
    // the marker map is then shorter than the probe's column list.
    Exec("CREATE TABLE pw (a INTEGER, b VARCHAR(7), c INTEGER, d INTEGER, e INTEGER, f INTEGER)");
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "INSERT INTO pw VALUES (?, ?, 1, 2, 3, 4)"), 0u) << Errors(s);
    IngStmt* rec = IngStmtFind(s);
    std::free(rec->text.source);
    rec->text.source = strdup("INSERT INTO pw VALUES (?, ?)");
    uint32_t on = 1;
    EXPECT_EQ(AgentCall<DRV_SetOption>(&link, s, 0x3203000Fu, &on), 0u);
    uint16_t n = 0;
    ColumnInfo* d = nullptr;
    ASSERT_EQ(AgentCall<DRV_DescribeParams>(&link, s, &n, &d), 0u);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(d[0].sql_type, 4);
    EXPECT_EQ(d[1].sql_type, 12);
    EXPECT_EQ(d[1].column_size, 7u);
    ColumnInfoArrayFree(d, n);
}

}  // namespace
