// The cursor layer's compound operations against the embedded engine: one call doing what the
// single steps do, batches, row-set execution, result shapes and long values in pieces.
#include <string>
#include <vector>

#include "util/rowset.h"
#include "scrs/sc_compound.h"
#include "scrs/sc_cursor.h"
#include "scrs/ss.h"
#include "tests/support/agent_stmt_fixture.h"

using namespace stmttest;

namespace {

class Compound : public AgentSession {
protected:
    std::vector<int32_t> Ints(const char* sql) {
        uint32_t s = Stmt();
        EXPECT_EQ(0u, Run(s, sql)) << Errors(s);
        Block b;
        EXPECT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(100), &b.ds)) << Errors(s);
        std::vector<int32_t> out;
        for (uint32_t r = 0; r < b.ds.rows_used; ++r) out.push_back(b.Get<int32_t>(0, r));
        return out;
    }
    static Dataset* OneInt(std::vector<int32_t> values) {
        ParamSet p({{DS_INTEGER, 4}}, uint32_t(values.size()));
        for (uint32_t r = 0; r < values.size(); ++r) p.Put<int32_t>(0, r, values[r]);
        return p.Give();
    }
    ErrCode PrepareExecute(uint32_t s, const char* text, Dataset* values, uint16_t n = 0,
                           ParamDescEntry* descs = nullptr) {
        return AgentCall<DRV_PrepareExecute>(&link, s, text, values, n, descs);
    }
};

TEST_F(Compound, TheLayerHoldsTheCompoundSlotsAndTheAgentsPrepareExecuteIsNotCalled) {
    const AgentFuncTable* t = SCS_LayerTable();
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(SCS_PrepareExecute, t->DRV_PrepareExecute);
    EXPECT_EQ(SCS_MoreResults, t->DRV_MoreResults);
    EXPECT_EQ(SCS_ExecuteBatch, t->DRV_ExecuteBatch);
    EXPECT_EQ(SCS_SetParamDescsEx, t->DRV_SetParamDescsEx);
}

// The same statements through the agent's own one-call execute and through the layer's give
// the same table and the same row counts.
TEST_F(Compound, ForwardOnlyResultsMatchTheAgentsOwnOneCallExecute) {
    Exec("CREATE TABLE viaagent (a INTEGER)");
    Exec("CREATE TABLE vialayer (a INTEGER)");
    const AgentLink agent{2, const_cast<AgentFuncTable*>(IngAgentOpTable())};
    struct Road {
        const AgentLink* l;
        const char* table;
    };
    std::vector<int32_t> counts[2];
    int k = 0;
    for (Road road : {Road{&agent, "viaagent"}, Road{&link, "vialayer"}}) {
        uint32_t s = Stmt();
        const std::string ins = std::string("INSERT INTO ") + road.table + " VALUES (?)";
        ParamDescEntry d{4, 4, 10, 0, 1};
        ASSERT_EQ(0u, AgentCall<DRV_PrepareExecute>(road.l, s, ins.c_str(), OneInt({1, 2, 3}), uint16_t(1), &d))
            << Errors(s);
        // Already prepared: values only, then nothing at all (the last values again).
        ASSERT_EQ(0u, AgentCall<DRV_PrepareExecute>(road.l, s, nullptr, OneInt({4}), uint16_t(0), nullptr));
        ASSERT_EQ(0u, AgentCall<DRV_PrepareExecute>(road.l, s, nullptr, nullptr, uint16_t(0), nullptr));
        const std::string upd = std::string("UPDATE ") + road.table + " SET a = a + 10 WHERE a < ?";
        ASSERT_EQ(0u, AgentCall<DRV_PrepareExecute>(road.l, s, upd.c_str(), OneInt({3}), uint16_t(0), nullptr));
        int32_t n = -9;
        uint16_t len = 0;
        ASSERT_EQ(0u, AgentCall<DRV_GetInfo>(&link, s, 0x32010000u, static_cast<void*>(&n), uint16_t(4), &len));
        counts[k++].push_back(n);
    }
    EXPECT_EQ(std::vector<int32_t>{2}, counts[1]);
    EXPECT_EQ(counts[0], counts[1]);
    EXPECT_EQ(Ints("SELECT a FROM viaagent ORDER BY a"), Ints("SELECT a FROM vialayer ORDER BY a"));
    EXPECT_EQ((std::vector<int32_t>{3, 4, 4, 11, 12}), Ints("SELECT a FROM vialayer ORDER BY a"));
}

TEST_F(Compound, ValuesGoThroughTheLayersOwnParameterStep) {
    Exec("CREATE TABLE kept (a INTEGER)");
    uint32_t s = Stmt();
    ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "INSERT INTO kept VALUES (?)"));
    SCS_Cursor& c = (*SCS_StmtBlock(s));
    c.cursorType = 3;  // a scrollable statement keeps a copy of what it is given
    ASSERT_EQ(0u, PrepareExecute(s, nullptr, OneInt({77}))) << Errors(s);
    ASSERT_NE(nullptr, c.keptParams);
    int32_t v = 0;
    std::memcpy(&v, DatasetCell(&c.keptParams->cols[0], 0), 4);
    EXPECT_EQ(77, v);
    EXPECT_EQ(std::vector<int32_t>{77}, Ints("SELECT a FROM kept"));
}

TEST_F(Compound, FailuresComeBackUnchangedAndHandedValuesAreNotLost) {
    // Unknown statement: refused before anything runs; the values are freed (the sanitiser checks).
    EXPECT_EQ(21u, PrepareExecute(0xBAD0u, "SELECT 1", OneInt({1})));
    const AgentLink agent{2, const_cast<AgentFuncTable*>(IngAgentOpTable())};
    // A prepare the server refuses, and an execute it refuses: the agent's codes, the messages on
    // the statement.
    for (const char* text : {"INSERT INTO ((( VALUES (?)", "INSERT INTO no_such_table VALUES (?)"}) {
        uint32_t s = Stmt();
        const uint32_t rc = PrepareExecute(s, text, OneInt({1}));
        EXPECT_NE(0u, rc) << text;
        EXPECT_FALSE(Errors(s).empty()) << text;
        EXPECT_EQ(AgentCall<DRV_PrepareExecute>(&agent, Stmt(), text, OneInt({1}), uint16_t(0), nullptr), rc) << text;
    }
    // Never prepared: the execute step answers.
    uint32_t fresh = Stmt();
    EXPECT_EQ(AgentCall<DRV_Execute>(SCS_LowerLink(), Stmt()), PrepareExecute(fresh, nullptr, nullptr));
}

TEST_F(Compound, MoreResultsPassesDownOnlyForForwardOnlyReadOnlyAndAlwaysResetsThePosition) {
    Exec("CREATE TABLE mr (a INTEGER)");
    Exec("INSERT INTO mr VALUES (1)");
    Exec("INSERT INTO mr VALUES (2)");
    uint32_t s = Stmt();
    // Two parameter rows give two results.
    ASSERT_EQ(0u, PrepareExecute(s, "SELECT a FROM mr WHERE a = ?", OneInt({1, 2}))) << Errors(s);
    SCS_Cursor& c = (*SCS_StmtBlock(s));
    c.window.SetResultRows(9);
    ASSERT_EQ(0u, c.window.SetPos(4));
    ASSERT_EQ(0u, AgentCall<DRV_MoreResults>(&link, s)) << Errors(s);
    EXPECT_EQ(0, c.window.currentRow());
    EXPECT_EQ(-1, c.window.resultRows());
    Block b;
    ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(10), &b.ds));
    ASSERT_EQ(1u, b.ds.rows_used);
    EXPECT_EQ(2, b.Get<int32_t>(0, 0));
    EXPECT_EQ(73u, AgentCall<DRV_MoreResults>(&link, s));

    struct Case {
        uint32_t type, concurrency;
        bool cached;
    };
    for (Case k : {Case{1, 1, false}, Case{2, 1, false}, Case{0, 2, false}, Case{3, 4, false}, Case{3, 1, true}}) {
        ASSERT_EQ(0u, PrepareExecute(s, nullptr, OneInt({1, 2}))) << Errors(s);
        c.cursorType = k.type;
        c.concurrency = k.concurrency;
        if (k.cached) c.layerFlags |= kScsLResultCached;
        ASSERT_EQ(0u, c.window.SetPos(3));
        // The agent would open the second result; the layer refuses and still resets.
        EXPECT_EQ(73u, AgentCall<DRV_MoreResults>(&link, s)) << k.type << "/" << k.concurrency;
        EXPECT_EQ(0, c.window.currentRow());
        EXPECT_FALSE(c.layerFlags & kScsLResultCached);
        c.cursorType = 0;
        c.concurrency = 1;
    }
    // A static read-only cursor without a cached result passes down.
    ASSERT_EQ(0u, PrepareExecute(s, nullptr, OneInt({1, 2}))) << Errors(s);
    c.cursorType = 3;
    EXPECT_EQ(0u, AgentCall<DRV_MoreResults>(&link, s)) << Errors(s);
    c.cursorType = 0;
    EXPECT_EQ(21u, AgentCall<DRV_MoreResults>(&link, 0xBAD1u));
}

TEST_F(Compound, NamedDescriptionsReachTheStatementAsPlainOnesWhenTheTableBelowHasNoNamedSlot) {
    Exec("CREATE TABLE named (a INTEGER, b VARCHAR(10))");
    ASSERT_EQ(nullptr, SCS_LowerLink()->table->DRV_SetParamDescsEx);
    using Fn = uint32_t (*)(uint32_t, const char*, Dataset*, uint16_t, ScsNamedParamDesc*);
    auto fn = reinterpret_cast<Fn>(link.table->DRV_PrepareExecuteEx);
    ASSERT_NE(nullptr, fn);
    ParamSet p({{DS_INTEGER, 4}, {DS_CHAR_NTS, 10}}, 1);
    p.Put<int32_t>(0, 0, 8);
    p.Text(1, 0, "eight");
    ScsNamedParamDesc d[2] = {{4, 4, 10, 0, 1, "a"}, {12, 1, 10, 0, 1, "b"}};
    uint32_t s = Stmt();
    ASSERT_EQ(0u, fn(s, "INSERT INTO named VALUES (?, ?)", p.Give(), 2, d)) << Errors(s);
    const IngStmt* st = IngStmtFind(s);
    ASSERT_EQ(2, st->paramDescCount);
    ASSERT_NE(nullptr, st->paramDescs);
    EXPECT_EQ(12, st->paramDescs[1].sqlType);
    EXPECT_EQ(10u, st->paramDescs[1].columnSize);
    EXPECT_EQ(4, st->paramDescs[0].cType);
    uint32_t c = Stmt();
    ASSERT_EQ(0u, Run(c, "SELECT a, b FROM named")) << Errors(c);
    Block b;
    ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, c, uint16_t(5), &b.ds));
    ASSERT_EQ(1u, b.ds.rows_used);
    EXPECT_EQ(8, b.Get<int32_t>(0, 0));
    EXPECT_EQ("eight", b.Text(1, 0));
    // Descriptions promised but not given; an unknown statement.
    auto ex = reinterpret_cast<uint32_t (*)(uint32_t, uint16_t, ScsNamedParamDesc*)>(link.table->DRV_SetParamDescsEx);
    EXPECT_EQ(21u, ex(s, 2, nullptr));
    EXPECT_EQ(21u, ex(0xBAD6u, 1, d));
    EXPECT_EQ(21u, fn(0xBAD6u, nullptr, OneInt({1}), 0, nullptr));
}

// The one-call execute runs the layer's own prepare and execute: a static, read-only SELECT
// takes its snapshot in that one call, and its parameters are kept for a later execution.
TEST_F(Compound, AStaticSelectRunInOneCallTakesItsSnapshot) {
    Exec("CREATE TABLE snap (a INTEGER)");
    for (const char* ins :
         {"INSERT INTO snap VALUES (1)", "INSERT INTO snap VALUES (2)", "INSERT INTO snap VALUES (3)"})
        Exec(ins);
    uint32_t s = Stmt();
    SCS_Cursor& c = (*SCS_StmtBlock(s));
    c.cursorType = 3;
    ASSERT_EQ(0u, PrepareExecute(s, "SELECT a FROM snap WHERE a >= ?", OneInt({2}))) << Errors(s);
    EXPECT_TRUE(c.layerFlags & kScsLResultCached);
    EXPECT_EQ(2, c.window.resultRows());
    ASSERT_NE(nullptr, c.keptParams);
    // A cached static result has nothing more to give; the snapshot goes.
    EXPECT_EQ(73u, AgentCall<DRV_MoreResults>(&link, s));
    EXPECT_FALSE(c.layerFlags & kScsLResultCached);
    EXPECT_EQ(-1, c.window.resultRows());
}

}  // namespace
