// Procedure calls in the call escape with literal arguments through unixODBC, both builds.
#include "catalog_fixture.h"

namespace catalogtest {
namespace {

using CallLiteral = CatalogTest;

TEST_P(CallLiteral, LiteralAndBoundArgumentGiveTheSameRows) {
    const Row want{"7369", "7566", "7902"};
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, T("{call emps_of(20)}"), SQL_NTS)) << Diag();
    EXPECT_EQ(Column(ReadAll(), 0), want);

    SQLINTEGER dept = 20;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &dept, 0, &ind));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, T("{call emps_of(?)}"), SQL_NTS)) << Diag();
    EXPECT_EQ(Column(ReadAll(), 0), want);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);

    // Prepared once, executed twice.
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, T("{call emps_of(10)}"), SQL_NTS)) << Diag();
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << Diag();
        EXPECT_EQ(Column(ReadAll(), 1), (Row{"King"}));
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, CallLiteral, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& i) { return BuildName(i.param); });

}  // namespace
}  // namespace catalogtest
