// Keys, indexes, procedures and privileges through unixODBC on the sample schema, both builds.
#include <algorithm>

#include "catalog_fixture.h"

namespace catalogtest {
namespace {

using CatalogKeys = CatalogTest;

TEST_P(CatalogKeys, PrimaryAndForeignKeys) {
    ASSERT_EQ(SQL_SUCCESS, SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS)) << Diag();
    SQLSMALLINT n = 0;
    Rows pk = ReadAll(&n);
    EXPECT_EQ(n, 6);
    ASSERT_EQ(pk.size(), 1u);
    EXPECT_EQ((Row{pk[0][1], pk[0][2], pk[0][3], pk[0][4]}), (Row{kUser, "emp", "empno", "1"}));
    // The table name is required.
    EXPECT_EQ(SQL_ERROR, SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, nullptr, 0));
    EXPECT_EQ(Diag().substr(0, 5), "HY009");

    ASSERT_EQ(SQL_SUCCESS,
              SQLForeignKeys(stmt, nullptr, 0, nullptr, 0, T("dept"), SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0))
        << Diag();
    Rows fk = ReadAll(&n);
    EXPECT_EQ(n, 14);
    ASSERT_EQ(fk.size(), 1u);
    EXPECT_EQ((Row{fk[0][2], fk[0][3], fk[0][6], fk[0][7], fk[0][8]}), (Row{"dept", "deptno", "emp", "deptno", "1"}));
    ASSERT_EQ(SQL_SUCCESS,
              SQLForeignKeys(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS));
    EXPECT_EQ(ReadAll().size(), 1u);
}

TEST_P(CatalogKeys, StatisticsAndSpecialColumns) {
    ASSERT_EQ(SQL_SUCCESS, SQLStatistics(stmt, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS, SQL_INDEX_ALL, 0)) << Diag();
    SQLSMALLINT n = 0;
    Rows st = ReadAll(&n);
    EXPECT_EQ(n, 14);
    ASSERT_EQ(st.size(), 4u);
    EXPECT_EQ((Row{st[0][3], st[0][5], st[0][8]}), (Row{"0", "emp", "empno"}));
    ASSERT_EQ(SQL_SUCCESS, SQLStatistics(stmt, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS, SQL_INDEX_UNIQUE, 0));
    EXPECT_EQ(ReadAll().size(), 3u);

    ASSERT_EQ(SQL_SUCCESS, SQLSpecialColumns(stmt, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS,
                                             SQL_SCOPE_SESSION, SQL_NULLABLE))
        << Diag();
    Rows sc = ReadAll(&n);
    EXPECT_EQ(n, 8);
    ASSERT_EQ(sc.size(), 1u);
    EXPECT_EQ((Row{sc[0][1], sc[0][2], sc[0][3], sc[0][7]}), (Row{"tid", "4", "integer", "2"}));
    ASSERT_EQ(SQL_SUCCESS, SQLSpecialColumns(stmt, SQL_ROWVER, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS,
                                             SQL_SCOPE_SESSION, SQL_NULLABLE));
    EXPECT_TRUE(ReadAll(&n).empty());
    EXPECT_EQ(n, 7);
}

TEST_P(CatalogKeys, ProceduresAndTheirColumns) {
    ASSERT_EQ(SQL_SUCCESS, SQLProcedures(stmt, nullptr, 0, nullptr, 0, nullptr, 0)) << Diag();
    SQLSMALLINT n = 0;
    Rows p = ReadAll(&n);
    EXPECT_EQ(n, 8);
    EXPECT_EQ(Column(p, 2), (Row{"dept_count", "emps_of", "raise_salary"}));
    ASSERT_EQ(SQL_SUCCESS, SQLProcedures(stmt, nullptr, 0, nullptr, 0, T("emp\\_of"), SQL_NTS));
    EXPECT_TRUE(ReadAll().empty());
    ASSERT_EQ(SQL_SUCCESS, SQLProcedures(stmt, nullptr, 0, nullptr, 0, T("emp_\\_of"), SQL_NTS));
    EXPECT_EQ(Column(ReadAll(), 2), (Row{"emps_of"}));
    ASSERT_EQ(SQL_SUCCESS, SQLProcedures(stmt, nullptr, 0, nullptr, 0, T("emps\\_of"), SQL_NTS));
    EXPECT_EQ(Column(ReadAll(), 2), (Row{"emps_of"}));

    ASSERT_EQ(SQL_SUCCESS, SQLProcedureColumns(stmt, nullptr, 0, nullptr, 0, T("raise_salary"), SQL_NTS, nullptr, 0))
        << Diag();
    Rows pc = ReadAll(&n);
    EXPECT_EQ(n, 19);
    EXPECT_EQ(Column(pc, 3), (Row{"p_empno", "p_pct", "p_newsal"}));
    EXPECT_EQ(Column(pc, 4), (Row{"1", "1", "2"}));
    EXPECT_EQ(Column(pc, 5), (Row{"4", "8", "3"}));
    EXPECT_EQ(Column(pc, 18), (Row{"NO", "NO", "YES"}));
    ASSERT_EQ(SQL_SUCCESS,
              SQLProcedureColumns(stmt, nullptr, 0, nullptr, 0, T("raise%"), SQL_NTS, T("p\\_n%"), SQL_NTS));
    EXPECT_EQ(Column(ReadAll(), 3), (Row{"p_newsal"}));
}

// A character parameter has neither decimal digits nor a radix; numeric ones keep both.
TEST_P(CatalogKeys, ProcedureColumnDigitsAndRadix) {
    ASSERT_EQ(SQL_SUCCESS, SQLProcedureColumns(stmt, nullptr, 0, nullptr, 0, T("dept_count"), SQL_NTS, nullptr, 0))
        << Diag();
    Rows pc = ReadAll();
    EXPECT_EQ(Column(pc, 3), (Row{"p_deptno", "p_names"}));
    EXPECT_EQ(Column(pc, 5), (Row{"4", "12"}));
    EXPECT_EQ(Column(pc, 9), (Row{"0", "<null>"}));
    EXPECT_EQ(Column(pc, 10), (Row{"10", "<null>"}));
    ASSERT_EQ(SQL_SUCCESS, SQLProcedureColumns(stmt, nullptr, 0, nullptr, 0, T("raise_salary"), SQL_NTS, nullptr, 0))
        << Diag();
    pc = ReadAll();
    EXPECT_EQ(Column(pc, 9), (Row{"0", "0", "2"}));
    EXPECT_EQ(Column(pc, 10), (Row{"10", "10", "10"}));
}

TEST_P(CatalogKeys, Privileges) {
    ASSERT_EQ(SQL_SUCCESS, SQLTablePrivileges(stmt, nullptr, 0, nullptr, 0, nullptr, 0)) << Diag();
    SQLSMALLINT n = 0;
    Rows tp = ReadAll(&n);
    EXPECT_EQ(n, 7);
    std::vector<std::string> got;
    for (const Row& r : tp) got.push_back(r[2] + ":" + r[4] + ":" + r[5]);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"dept:clerk:SELECT", "dept:clerk:UPDATE", "emp:public:SELECT"}));
    ASSERT_EQ(SQL_SUCCESS, SQLColumnPrivileges(stmt, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS, nullptr, 0)) << Diag();
    EXPECT_TRUE(ReadAll(&n).empty());
    EXPECT_EQ(n, 8);
}

TEST_P(CatalogKeys, StatementServesQueriesAndCatalogsInTurn) {
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, T("select ename from emp where empno = 7839"), SQL_NTS)) << Diag();
    EXPECT_EQ(ReadAll().size(), 1u);
    ASSERT_EQ(SQL_SUCCESS, SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, T("dept"), SQL_NTS)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    // The Driver Manager refuses a second catalog call on an open cursor; once closed it runs.
    EXPECT_EQ(SQL_ERROR, SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, T("dept"), SQL_NTS)) << Diag();
    Rows pk = ReadAll();
    ASSERT_EQ(pk.size(), 1u);
    EXPECT_EQ(pk[0][3], "deptno");
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, T("select dname from dept where deptno = 10"), SQL_NTS)) << Diag();
    EXPECT_EQ(ReadAll().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Builds, CatalogKeys, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& i) { return BuildName(i.param); });

}  // namespace
}  // namespace catalogtest
