// Database procedures through the operation table: return values, output parameters, rows.
#include "tests/support/agent_stmt_fixture.h"

using namespace stmttest;

namespace {

// A session on the sample database, whose procedures these tests call.
class ProcedureExecTest : public AgentSession {
protected:
    void SetUp() override { Open(false, false, true); }
    // The names (second column) of every row the statement's result still holds.
    std::vector<std::string> Names(uint32_t s) {
        std::vector<std::string> out;
        for (;;) {
            Block b;
            EXPECT_EQ(AgentCall<DRV_FetchRows>(&link, s, 10, &b.ds), 0u) << Errors(s);
            if (b.ds.rows_used == 0) break;
            for (uint32_t r = 0; r < b.ds.rows_used; ++r) out.push_back(b.Text(1, r));
        }
        return out;
    }
};

TEST_F(ProcedureExecTest, ReturnValueAndOutputParametersArePending) {
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "{? = call raise_salary(?, ?, ?)}"), 0u) << Errors(s);
    IngStmt* st = IngStmtFind(s);
    EXPECT_TRUE(st->state & kStmtProcCall);
    EXPECT_TRUE(st->state & kStmtReturnValue);
    EXPECT_STREQ(st->procName, "raise_salary");
    // Descriptions: the return value, then the catalog's parameters with their directions.
    uint16_t n = 0;
    ColumnInfo* d = nullptr;
    IngConnFind(conn)->paramNames = 1;
    ASSERT_EQ(AgentCall<DRV_DescribeParams>(&link, s, &n, &d), 0u);
    IngConnFind(conn)->paramNames = 0;
    ASSERT_EQ(n, 4);
    EXPECT_STREQ(d[0].column, "iiret");
    EXPECT_STREQ(d[1].name, "*I");
    EXPECT_STREQ(d[1].column, "p_empno");
    EXPECT_STREQ(d[2].name, "*I");
    EXPECT_STREQ(d[3].name, "*B");
    EXPECT_STREQ(d[3].column, "p_newsal");
    EXPECT_EQ(d[1].sql_type, 4);
    ColumnInfoArrayFree(d, n);
    EXPECT_EQ(st->outParamCount, 1);

    ParamSet p({{DS_INTEGER, 4}, {DS_INTEGER, 4}, {DS_DOUBLE, 8}, {DS_CHAR_NTS, 20}}, 1);
    p.Null(0, 0);
    p.Put<int32_t>(1, 0, 7369);
    p.Put<double>(2, 0, 10.0);
    p.Null(3, 0);
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 80u) << Errors(s);
    Block out;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 0, &out.ds), 0u) << Errors(s);
    ASSERT_EQ(out.ds.rows_used, 1u);
    ASSERT_EQ(out.ds.col_count, 2);
    ASSERT_EQ(out.ds.cols[0].kind, DS_INTEGER);
    EXPECT_EQ(out.Get<int32_t>(0, 0), 1);  // rows the procedure updated
    EXPECT_EQ(out.Text(1, 0), "880.00");
    // Handed over once.
    EXPECT_FALSE(IngStmtFind(s)->state & kStmtOutputPending);

    uint32_t check = Stmt();
    ASSERT_EQ(Run(check, "SELECT sal FROM emp WHERE empno = 7369"), 0u);
    Block b;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, check, 1, &b.ds), 0u);
    EXPECT_EQ(b.Text(0, 0), "880.00");
}

TEST_F(ProcedureExecTest, OutputParameterWithoutReturnValue) {
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "{call dept_count(?, ?)}"), 0u) << Errors(s);
    ParamSet p({{DS_INTEGER, 4}, {DS_CHAR_NTS, 200}}, 1);
    p.Put<int32_t>(0, 0, 20);
    p.Null(1, 0);
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 80u) << Errors(s);
    // With no result columns the description is that of the output row.
    uint16_t n = 0;
    ColumnInfo* oc = nullptr;
    ASSERT_EQ(AgentCall<DRV_DescribeCols>(&link, s, &n, &oc), 0u);
    ASSERT_EQ(n, 1);
    EXPECT_STREQ(oc[0].name, "*B");
    EXPECT_STREQ(oc[0].column, "p_names");
    ColumnInfoArrayFree(oc, n);
    Block out;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 0, &out.ds), 0u);
    ASSERT_EQ(out.ds.rows_used, 1u);
    EXPECT_EQ(out.Text(0, 0), "Ford,Jones,Smith");
}

TEST_F(ProcedureExecTest, ProcedureRowsAreFetchedAndEachParameterRowIsAResult) {
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "{call emps_of(?)}"), 0u) << Errors(s);
    ParamSet p({{DS_INTEGER, 4}}, 2);
    p.Put<int32_t>(0, 0, 10);
    p.Put<int32_t>(0, 1, 30);
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    auto rows = [&] {
        std::vector<std::string> out;
        for (;;) {
            Block b;
            EXPECT_EQ(AgentCall<DRV_FetchRows>(&link, s, 10, &b.ds), 0u) << Errors(s);
            if (b.ds.rows_used == 0) break;
            for (uint32_t r = 0; r < b.ds.rows_used; ++r) out.push_back(b.Text(1, r));
        }
        return out;
    };
    EXPECT_EQ(rows(), (std::vector<std::string>{"King"}));
    ASSERT_EQ(AgentCall<DRV_MoreResults>(&link, s), 0u) << Errors(s);
    EXPECT_EQ(rows(), (std::vector<std::string>{"Allen", "Blake"}));
    EXPECT_EQ(AgentCall<DRV_MoreResults>(&link, s), 73u);
}

TEST_F(ProcedureExecTest, UnknownProcedureIsASyntaxError) {
    uint32_t s = Stmt();
    EXPECT_EQ(AgentCall<DRV_Prepare>(&link, s, "{call no_such_proc(?)}"), 68u);
    EXPECT_NE(Errors(s).find("Can't find procedure"), std::string::npos);
}

}  // namespace

namespace {
TEST_F(ProcedureExecTest, ReturnValueAloneIsNotLost) {
    Exec("CREATE PROCEDURE twice (p integer) AS BEGIN RETURN p * 2; END");
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "{?=call twice(?)}"), 0u) << Errors(s);
    ParamSet p({{DS_INTEGER, 4}, {DS_INTEGER, 4}}, 2);
    p.Null(0, 0);
    p.Null(0, 1);
    p.Put<int32_t>(1, 0, 21);
    p.Put<int32_t>(1, 1, 50);
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 80u) << Errors(s);
    Block first;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 0, &first.ds), 0u);
    ASSERT_EQ(first.ds.rows_used, 1u);
    EXPECT_EQ(first.Get<int32_t>(0, 0), 42);
    // The next parameter row runs the procedure again.
    ASSERT_EQ(AgentCall<DRV_MoreResults>(&link, s), 80u) << Errors(s);
    Block second;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 0, &second.ds), 0u);
    ASSERT_EQ(second.ds.rows_used, 1u);
    EXPECT_EQ(second.Get<int32_t>(0, 0), 100);
    EXPECT_EQ(AgentCall<DRV_MoreResults>(&link, s), 73u);
}
}  // namespace

namespace {
TEST_F(ProcedureExecTest, RowsOfAProcedureCalledWithAReturnValue) {
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "{?=call emps_of(?)}"), 0u) << Errors(s);
    ParamSet p({{DS_INTEGER, 4}, {DS_INTEGER, 4}}, 1);
    p.Null(0, 0);
    p.Put<int32_t>(1, 0, 20);
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    Block b;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 10, &b.ds), 0u) << Errors(s);
    ASSERT_EQ(b.ds.rows_used, 3u);
    ASSERT_EQ(b.ds.col_count, 2);
    EXPECT_EQ(b.Get<int32_t>(0, 0), 7369);
    EXPECT_EQ(b.Text(1, 2), "Ford");
}
}  // namespace

namespace {

using ProcedureLiteralArgs = ProcedureExecTest;

TEST_F(ProcedureLiteralArgs, LiteralArgumentReachesTheProcedure) {
    for (const char* sql : {"{call emps_of(20)}", "{ call emps_of ( 20 ) }", "{call emps_of(10)}"}) {
        uint32_t s = Stmt();
        ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, sql), 0u) << sql << "\n" << Errors(s);
        ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << sql << "\n" << Errors(s);
        std::vector<std::string> want = std::strstr(sql, "10") ? std::vector<std::string>{"King"}
                                                               : std::vector<std::string>{"Smith", "Jones", "Ford"};
        EXPECT_EQ(Names(s), want) << sql;
    }
}

TEST_F(ProcedureLiteralArgs, QuotedLiteralIsConvertedByTheServer) {
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "{call emps_of('20')}"), 0u) << Errors(s);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    EXPECT_EQ(Names(s), (std::vector<std::string>{"Smith", "Jones", "Ford"}));
}

TEST_F(ProcedureLiteralArgs, MoreArgumentsThanParametersIsASyntaxError) {
    uint32_t s = Stmt();
    EXPECT_EQ(AgentCall<DRV_Prepare>(&link, s, "{call emps_of(20, 30)}"), 68u);
    EXPECT_NE(Errors(s).find("Too many arguments"), std::string::npos);
}

TEST_F(ProcedureLiteralArgs, EmptyArgumentListCallsWithoutArguments) {
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "{call emps_of()}"), 0u) << Errors(s);
    EXPECT_EQ(IngStmtFind(s)->procCallText, nullptr);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    EXPECT_TRUE(Names(s).empty());
}

}  // namespace

namespace {

// Markers and literals in one call: each argument reaches the parameter at its position.
using ProcedureMixedArgs = ProcedureExecTest;

TEST_F(ProcedureMixedArgs, MarkerThenLiteral) {
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "{call raise_salary(?, 10)}"), 0u) << Errors(s);
    ParamSet p({{DS_INTEGER, 4}}, 1);
    p.Put<int32_t>(0, 0, 7369);
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    uint32_t check = Stmt();
    ASSERT_EQ(Run(check, "SELECT sal FROM emp WHERE empno = 7369"), 0u);
    Block b;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, check, 1, &b.ds), 0u);
    EXPECT_EQ(b.Text(0, 0), "880.00");
}

TEST_F(ProcedureMixedArgs, LiteralThenOutputMarker) {
    for (const char* sql : {"{call dept_count(20, ?)}", "{call dept_count('20', ?)}"}) {
        uint32_t s = Stmt();
        ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, sql), 0u) << sql << Errors(s);
        uint16_t n = 0;
        ColumnInfo* d = nullptr;
        IngConnFind(conn)->paramNames = 1;
        ASSERT_EQ(AgentCall<DRV_DescribeParams>(&link, s, &n, &d), 0u);
        IngConnFind(conn)->paramNames = 0;
        ASSERT_EQ(n, 1);
        EXPECT_STREQ(d[0].column, "p_names");
        EXPECT_STREQ(d[0].name, "*B");
        ColumnInfoArrayFree(d, n);
        ParamSet p({{DS_CHAR_NTS, 200}}, 1);
        p.Null(0, 0);
        ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
        ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 80u) << sql << Errors(s);
        Block out;
        ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 0, &out.ds), 0u);
        ASSERT_EQ(out.ds.rows_used, 1u);
        EXPECT_EQ(out.Text(0, 0), "Ford,Jones,Smith") << sql;
    }
}

TEST_F(ProcedureMixedArgs, ReturnValueWithLiteralArgument) {
    for (auto [sql, want] : {std::pair{"{?=call dept_count(30)}", 2}, std::pair{"{? = call dept_count(20)}", 3}}) {
        uint32_t s = Stmt();
        ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, sql), 0u) << sql << Errors(s);
        ParamSet p({{DS_INTEGER, 4}}, 1);
        p.Null(0, 0);
        ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
        ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 80u) << sql << Errors(s);
        Block out;
        ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 0, &out.ds), 0u);
        ASSERT_EQ(out.ds.rows_used, 1u);
        EXPECT_EQ(out.Get<int32_t>(0, 0), want) << sql;
    }
}

TEST_F(ProcedureMixedArgs, LiteralsAroundAnInOutMarkerWithReturnValue) {
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "{?=call raise_salary(7369, 10, ?)}"), 0u) << Errors(s);
    EXPECT_EQ(IngStmtFind(s)->outParamCount, 1);
    ParamSet p({{DS_INTEGER, 4}, {DS_CHAR_NTS, 20}}, 1);
    p.Null(0, 0);
    p.Null(1, 0);
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 80u) << Errors(s);
    Block out;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 0, &out.ds), 0u) << Errors(s);
    ASSERT_EQ(out.ds.rows_used, 1u);
    ASSERT_EQ(out.ds.col_count, 2);
    EXPECT_EQ(out.Get<int32_t>(0, 0), 1);
    EXPECT_EQ(out.Text(1, 0), "880.00");
}

TEST_F(ProcedureMixedArgs, ExpressionArgumentIsASyntaxError) {
    for (const char* sql :
         {"{call dept_count(10 + 10, ?)}", "{call dept_count(0x14, ?)}", "{call dept_count(inf, ?)}"}) {
        uint32_t s = Stmt();
        EXPECT_EQ(AgentCall<DRV_Prepare>(&link, s, sql), 68u) << sql;
        EXPECT_NE(Errors(s).find("neither a marker nor a literal"), std::string::npos) << sql;
    }
}

TEST_F(ProcedureMixedArgs, TooManyArgumentsIsASyntaxError) {
    uint32_t s = Stmt();
    EXPECT_EQ(AgentCall<DRV_Prepare>(&link, s, "{call emps_of(?, 30)}"), 68u);
    EXPECT_NE(Errors(s).find("Too many arguments"), std::string::npos);
}

}  // namespace
