// SQLTables and SQLColumns through unixODBC on the sample schema, both builds.
#include <algorithm>
#include <iterator>

#include "catalog_fixture.h"

namespace catalogtest {
namespace {

using CatalogTables = CatalogTest;

TEST_P(CatalogTables, UserTablesAndViews) {
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, nullptr, 0, T("%"), SQL_NTS, T("TABLE, VIEW"), SQL_NTS))
        << Diag();
    SQLSMALLINT n = 0;
    Rows t = ReadAll(&n);
    EXPECT_EQ(n, 5);
    Row names = Column(t, 2);
    EXPECT_EQ(names, (Row{"all_types", "dept", "emp", "emp_names"}));
    EXPECT_EQ(Column(t, 3), (Row{"TABLE", "TABLE", "TABLE", "VIEW"}));
    EXPECT_EQ(Column(t, 0), (Row{"<null>", "<null>", "<null>", "<null>"}));
    EXPECT_EQ(t.at(0).at(1), kUser);

    // Owner and name patterns, an escaped wildcard, a quoted name.
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, T("tv%"), SQL_NTS, T("e_p"), SQL_NTS, nullptr, 0)) << Diag();
    EXPECT_EQ(Column(ReadAll(), 2), (Row{"emp"}));
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, nullptr, 0, T("emp\\_names"), SQL_NTS, nullptr, 0));
    EXPECT_EQ(Column(ReadAll(), 2), (Row{"emp_names"}));
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, nullptr, 0, T("'dept'"), SQL_NTS, nullptr, 0));
    EXPECT_EQ(Column(ReadAll(), 2), (Row{"dept"}));
    // A name with a quote inside finds nothing and fails nothing.
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, nullptr, 0, T("x' or '1'='1"), SQL_NTS, nullptr, 0)) << Diag();
    EXPECT_TRUE(ReadAll().empty());
}

TEST_P(CatalogTables, SystemTablesAndEnumerations) {
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, nullptr, 0, T("iit%"), SQL_NTS, T("'SYSTEM VIEW'"), SQL_NTS));
    EXPECT_EQ(Column(ReadAll(), 3), (Row{"SYSTEM VIEW"}));
    // Schemas.
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, T(""), 0, T("%"), SQL_NTS, T(""), 0, nullptr, 0)) << Diag();
    Rows s = ReadAll();
    Row owners = Column(s, 1);
    EXPECT_NE(std::find(owners.begin(), owners.end(), kUser), owners.end());
    EXPECT_NE(std::find(owners.begin(), owners.end(), "$ingres"), owners.end());
    for (const Row& r : s) EXPECT_EQ(r[2], "<null>");
    // Table types.
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, T(""), 0, T(""), 0, T(""), 0, T("%"), SQL_NTS)) << Diag();
    EXPECT_EQ(Column(ReadAll(), 3), (Row{"SYSTEM TABLE", "SYSTEM VIEW", "TABLE", "VIEW"}));
    // Catalogs: the database has none, so the list is empty, in the columns of SQLTables.
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, T(SQL_ALL_CATALOGS), SQL_NTS, T(""), 0, T(""), 0, nullptr, 0)) << Diag();
    SQLSMALLINT n = 0;
    EXPECT_TRUE(ReadAll(&n).empty());
    EXPECT_EQ(n, 5);
}

TEST_P(CatalogTables, ColumnsOfATable) {
    ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS, nullptr, 0)) << Diag();
    SQLSMALLINT n = 0;
    Rows c = ReadAll(&n);
    EXPECT_EQ(n, 18);
    EXPECT_EQ(Column(c, 3), (Row{"empno", "ename", "job", "mgr", "hiredate", "sal", "comm", "deptno", "active"}));
    EXPECT_EQ(Column(c, 4), (Row{"4", "12", "1", "4", "91", "3", "3", "4", "-7"}));
    EXPECT_EQ(Column(c, 5),
              (Row{"INTEGER", "VARCHAR", "CHAR", "INTEGER", "ANSIDATE", "DECIMAL", "MONEY", "INTEGER", "BOOLEAN"}));
    EXPECT_EQ(Column(c, 17), (Row{"NO", "NO", "YES", "YES", "YES", "YES", "YES", "YES", "NO"}));
    EXPECT_EQ(Column(c, 16), (Row{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    // Column pattern.
    ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS, T("%no"), SQL_NTS));
    EXPECT_EQ(Column(ReadAll(), 3), (Row{"empno", "deptno"}));
}

// The sample view's columns read as the columns of emp and dept they come from.
TEST_P(CatalogTables, ColumnsOfAView) {
    ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, T("emp_names"), SQL_NTS, nullptr, 0)) << Diag();
    Rows v = ReadAll();
    ASSERT_EQ(Column(v, 3), (Row{"empno", "ename", "dname"}));
    EXPECT_EQ(Column(v, 4), (Row{"4", "12", "12"}));
    EXPECT_EQ(Column(v, 5), (Row{"INTEGER", "VARCHAR", "VARCHAR"}));
    EXPECT_EQ(Column(v, 6), (Row{"10", "30", "20"}));
    EXPECT_EQ(Column(v, 7), (Row{"4", "30", "20"}));
    EXPECT_EQ(Column(v, 17), (Row{"NO", "NO", "NO"}));
    ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS, T("e%"), SQL_NTS)) << Diag();
    Rows e = ReadAll();
    ASSERT_EQ(e.size(), 2u);
    for (size_t c : {4u, 5u, 6u, 7u, 8u, 10u, 17u}) {
        EXPECT_EQ(e[0][c], v[0][c]) << "empno, column " << c + 1;
        EXPECT_EQ(e[1][c], v[1][c]) << "ename, column " << c + 1;
    }
}

// DECIMAL_DIGITS and NUM_PREC_RADIX are NULL where they do not apply: applications read the
// radix to tell whether COLUMN_SIZE counts digits or bits.
TEST_P(CatalogTables, DigitsAndRadixOnlyWhereTheyApply) {
    struct Expect {
        const char* column;
        bool digitsNull;
        const char* radix;  // "<null>" for NULL
    } table[] = {
        {"id", false, "10"},     {"i1", false, "10"},      {"i2", false, "10"},     {"i4", false, "10"},
        {"i8", false, "10"},     {"f4", false, "10"},      {"f8", false, "10"},     {"dec", false, "10"},
        {"mon", false, "10"},    {"ch", true, "<null>"},   {"cc", true, "<null>"},  {"vc", true, "<null>"},
        {"tx", true, "<null>"},  {"nc", true, "<null>"},   {"nv", true, "<null>"},  {"bt", true, "<null>"},
        {"vb", true, "<null>"},  {"lv", true, "<null>"},   {"lb", true, "<null>"},  {"ln", true, "<null>"},
        {"da", false, "<null>"}, {"ad", false, "<null>"},  {"ti", false, "<null>"}, {"ts", false, "<null>"},
        {"iy", false, "<null>"}, {"id2", false, "<null>"}, {"bo", false, "10"},
    };
    ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, T("all_types"), SQL_NTS, nullptr, 0)) << Diag();
    Rows c = ReadAll();
    ASSERT_EQ(c.size(), std::size(table));
    for (size_t i = 0; i < c.size(); ++i) {
        SCOPED_TRACE(table[i].column);
        ASSERT_EQ(c[i][3], table[i].column);
        EXPECT_EQ(c[i][8] == "<null>", table[i].digitsNull) << c[i][8];
        EXPECT_EQ(c[i][9], table[i].radix);
    }
    // The scale survives where it applies.
    EXPECT_EQ(c[7][8], "10");
    EXPECT_EQ(c[8][8], "2");
    EXPECT_EQ(c[23][8], "6");
}

TEST_P(CatalogTables, OdbcTwoApplicationSeesOldDateCodes) {
    SQLHENV env2 = SQL_NULL_HENV;
    SQLHDBC dbc2 = SQL_NULL_HDBC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env2));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env2, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC2, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env2, &dbc2));
    std::swap(dbc, dbc2);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    stmt = SQL_NULL_HSTMT;
    Connect();
    ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS, T("hiredate"), SQL_NTS))
        << Diag();
    Rows c = ReadAll();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0][4], "9");
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    stmt = SQL_NULL_HSTMT;
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    dbc = dbc2;
    SQLFreeHandle(SQL_HANDLE_ENV, env2);
}

// The data source's include-views and include-all options widen the type list.
TEST_P(CatalogTables, IncludeViewsAndIncludeAll) {
    auto reconnect = [&](const std::string& extra) {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        stmt = SQL_NULL_HSTMT;
        SQLDisconnect(dbc);
        Connect(extra);
    };
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, nullptr, 0, T("emp%"), SQL_NTS, T("TABLE"), SQL_NTS));
    EXPECT_EQ(Column(ReadAll(), 2), (Row{"emp"}));
    reconnect(";IV=YES");
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, nullptr, 0, T("emp%"), SQL_NTS, T("TABLE"), SQL_NTS));
    EXPECT_EQ(Column(ReadAll(), 2), (Row{"emp", "emp_names"}));
    reconnect(";IA=YES");
    ASSERT_EQ(SQL_SUCCESS, SQLTables(stmt, nullptr, 0, nullptr, 0, T("ii%es"), SQL_NTS, T("VIEW"), SQL_NTS));
    // Every type, whatever list was given.
    Row types = Column(ReadAll(), 3);
    EXPECT_NE(std::find(types.begin(), types.end(), "SYSTEM TABLE"), types.end());
    EXPECT_NE(std::find(types.begin(), types.end(), "SYSTEM VIEW"), types.end());
}

// A JET data source sees its user tables as views.
TEST_P(CatalogTables, JetDataSource) {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    stmt = SQL_NULL_HSTMT;
    SQLDisconnect(dbc);
    Connect(";JET=YES");
    ASSERT_EQ(SQL_SUCCESS,
              SQLTables(stmt, nullptr, 0, nullptr, 0, T("%"), SQL_NTS, T("TABLE,VIEW,SYSTEM TABLE"), SQL_NTS))
        << Diag();
    Rows t = ReadAll();
    ASSERT_FALSE(t.empty());
    bool sawDept = false;
    for (const Row& r : t) {
        if (r[2] == "dept") sawDept = true;
        if (r[2].rfind("ii", 0) == 0)
            EXPECT_EQ(r[3], "SYSTEM TABLE") << r[2];
        else
            EXPECT_EQ(r[3], "VIEW") << r[2];
    }
    EXPECT_TRUE(sawDept);
}

INSTANTIATE_TEST_SUITE_P(Builds, CatalogTables, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& i) { return BuildName(i.param); });

}  // namespace
}  // namespace catalogtest
