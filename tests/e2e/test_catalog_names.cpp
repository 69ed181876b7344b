// What applications read by name and size buffers from: the names of catalog result columns in
// ODBC 3 and ODBC 2 form, the referential actions of foreign keys, and the sizes of timestamps
// as declared; both builds through unixODBC.
#include <cstring>

#include "catalog_fixture.h"

namespace catalogtest {
namespace {

using Names = std::vector<std::string>;

class CatalogNames : public CatalogTest {
protected:
    Names ResultNames() {
        Names names;
        SQLSMALLINT n = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &n)) << Diag();
        for (SQLSMALLINT c = 1; c <= n; ++c) {
            SQLCHAR name[64] = {};
            SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            EXPECT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, c, name, sizeof name, &len, &type, &size, &digits, &nullable));
            // The label an application reads through SQLColAttribute is the same name.
            SQLCHAR label[64] = {};
            EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_LABEL, label, sizeof label, &len, nullptr));
            EXPECT_STREQ((char*)name, (char*)label) << c;
            names.push_back((char*)name);
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return names;
    }
    // Each catalog function on the sample schema, with the names its result must carry.
    struct Call {
        const char* what;
        SQLRETURN (*run)(SQLHSTMT);
        Names odbc3, odbc2;
    };
    static std::vector<Call> Calls() {
        auto t = [](const char* s) { return (SQLCHAR*)s; };
        (void)t;
        const Names tables3 = {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"};
        const Names tables2 = {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "TABLE_TYPE", "REMARKS"};
        return {
            {"SQLTables", [](SQLHSTMT s) { return SQLTables(s, nullptr, 0, nullptr, 0, T("%"), SQL_NTS, nullptr, 0); },
             tables3, tables2},
            {"SQLTables catalogs",
             [](SQLHSTMT s) { return SQLTables(s, T(SQL_ALL_CATALOGS), SQL_NTS, T(""), 0, T(""), 0, nullptr, 0); },
             tables3, tables2},
            {"SQLColumns",
             [](SQLHSTMT s) { return SQLColumns(s, nullptr, 0, nullptr, 0, T("dept"), SQL_NTS, nullptr, 0); },
             {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "COLUMN_SIZE",
              "BUFFER_LENGTH", "DECIMAL_DIGITS", "NUM_PREC_RADIX", "NULLABLE", "REMARKS", "COLUMN_DEF", "SQL_DATA_TYPE",
              "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION", "IS_NULLABLE"},
             {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "PRECISION",
              "LENGTH", "SCALE", "RADIX", "NULLABLE", "REMARKS", "COLUMN_DEF", "SQL_DATA_TYPE", "SQL_DATETIME_SUB",
              "CHAR_OCTET_LENGTH", "ORDINAL_POSITION", "IS_NULLABLE"}},
            {"SQLPrimaryKeys",
             [](SQLHSTMT s) { return SQLPrimaryKeys(s, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS); },
             {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ", "PK_NAME"},
             {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ", "PK_NAME"}},
            {"SQLForeignKeys",
             [](SQLHSTMT s) {
                 return SQLForeignKeys(s, nullptr, 0, nullptr, 0, T("dept"), SQL_NTS, nullptr, 0, nullptr, 0, nullptr,
                                       0);
             },
             {"PKTABLE_CAT", "PKTABLE_SCHEM", "PKTABLE_NAME", "PKCOLUMN_NAME", "FKTABLE_CAT", "FKTABLE_SCHEM",
              "FKTABLE_NAME", "FKCOLUMN_NAME", "KEY_SEQ", "UPDATE_RULE", "DELETE_RULE", "FK_NAME", "PK_NAME",
              "DEFERRABILITY"},
             {"PKTABLE_QUALIFIER", "PKTABLE_OWNER", "PKTABLE_NAME", "PKCOLUMN_NAME", "FKTABLE_QUALIFIER",
              "FKTABLE_OWNER", "FKTABLE_NAME", "FKCOLUMN_NAME", "KEY_SEQ", "UPDATE_RULE", "DELETE_RULE", "FK_NAME",
              "PK_NAME", "DEFERRABILITY"}},
            {"SQLStatistics",
             [](SQLHSTMT s) { return SQLStatistics(s, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS, SQL_INDEX_ALL, 0); },
             {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "NON_UNIQUE", "INDEX_QUALIFIER", "INDEX_NAME", "TYPE",
              "ORDINAL_POSITION", "COLUMN_NAME", "ASC_OR_DESC", "CARDINALITY", "PAGES", "FILTER_CONDITION",
              "UNIQUE_RULE"},
             {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "NON_UNIQUE", "INDEX_QUALIFIER", "INDEX_NAME", "TYPE",
              "SEQ_IN_INDEX", "COLUMN_NAME", "COLLATION", "CARDINALITY", "PAGES", "FILTER_CONDITION", "UNIQUE_RULE"}},
            {"SQLSpecialColumns",
             [](SQLHSTMT s) {
                 return SQLSpecialColumns(s, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS,
                                          SQL_SCOPE_SESSION, SQL_NULLABLE);
             },
             {"SCOPE", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "COLUMN_SIZE", "BUFFER_LENGTH", "DECIMAL_DIGITS",
              "PSEUDO_COLUMN"},
             {"SCOPE", "COLUMN_NAME", "DATA_TYPE", "TYPE_NAME", "PRECISION", "LENGTH", "SCALE", "PSEUDO_COLUMN"}},
            {"SQLProcedures",
             [](SQLHSTMT s) { return SQLProcedures(s, nullptr, 0, nullptr, 0, nullptr, 0); },
             {"PROCEDURE_CAT", "PROCEDURE_SCHEM", "PROCEDURE_NAME", "NUM_INPUT_PARAMS", "NUM_OUTPUT_PARAMS",
              "NUM_RESULT_SETS", "REMARKS", "PROCEDURE_TYPE"},
             {"PROCEDURE_QUALIFIER", "PROCEDURE_OWNER", "PROCEDURE_NAME", "NUM_INPUT_PARAMS", "NUM_OUTPUT_PARAMS",
              "NUM_RESULT_SETS", "REMARKS", "PROCEDURE_TYPE"}},
            {"SQLProcedureColumns",
             [](SQLHSTMT s) { return SQLProcedureColumns(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
             {"PROCEDURE_CAT", "PROCEDURE_SCHEM", "PROCEDURE_NAME", "COLUMN_NAME", "COLUMN_TYPE", "DATA_TYPE",
              "TYPE_NAME", "COLUMN_SIZE", "BUFFER_LENGTH", "DECIMAL_DIGITS", "NUM_PREC_RADIX", "NULLABLE", "REMARKS",
              "COLUMN_DEF", "SQL_DATA_TYPE", "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION",
              "IS_NULLABLE"},
             {"PROCEDURE_QUALIFIER", "PROCEDURE_OWNER", "PROCEDURE_NAME", "COLUMN_NAME", "COLUMN_TYPE", "DATA_TYPE",
              "TYPE_NAME", "PRECISION", "LENGTH", "SCALE", "RADIX", "NULLABLE", "REMARKS", "COLUMN_DEF",
              "SQL_DATA_TYPE", "SQL_DATETIME_SUB", "CHAR_OCTET_LENGTH", "ORDINAL_POSITION", "IS_NULLABLE"}},
            {"SQLTablePrivileges",
             [](SQLHSTMT s) { return SQLTablePrivileges(s, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS); },
             {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "GRANTOR", "GRANTEE", "PRIVILEGE", "IS_GRANTABLE"},
             {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "GRANTOR", "GRANTEE", "PRIVILEGE", "IS_GRANTABLE"}},
            {"SQLColumnPrivileges",
             [](SQLHSTMT s) { return SQLColumnPrivileges(s, nullptr, 0, nullptr, 0, T("emp"), SQL_NTS, nullptr, 0); },
             {"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "COLUMN_NAME", "GRANTOR", "GRANTEE", "PRIVILEGE",
              "IS_GRANTABLE"},
             {"TABLE_QUALIFIER", "TABLE_OWNER", "TABLE_NAME", "COLUMN_NAME", "GRANTOR", "GRANTEE", "PRIVILEGE",
              "IS_GRANTABLE"}},
        };
    }
    // Reconnects under an ODBC 2 environment.
    SQLHENV env2 = SQL_NULL_HENV;
    void ReconnectAsOdbc2() {
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env2));
        ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env2, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC2, 0));
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        stmt = SQL_NULL_HSTMT;
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        dbc = SQL_NULL_HDBC;
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env2, &dbc));
        Connect();
    }
    void TearDown() override {
        CatalogTest::TearDown();
        if (env2) {
            dbc = SQL_NULL_HDBC;
            SQLFreeHandle(SQL_HANDLE_ENV, env2);
        }
    }
};

TEST_P(CatalogNames, Odbc3NamesInOdbcOrder) {
    for (const Call& c : Calls()) {
        ASSERT_EQ(SQL_SUCCESS, c.run(stmt)) << c.what << ": " << Diag();
        EXPECT_EQ(ResultNames(), c.odbc3) << c.what;
    }
}

TEST_P(CatalogNames, Odbc2NamesForAnOdbc2Application) {
    ReconnectAsOdbc2();
    if (HasFatalFailure()) return;
    for (const Call& c : Calls()) {
        ASSERT_EQ(SQL_SUCCESS, c.run(stmt)) << c.what << ": " << Diag();
        EXPECT_EQ(ResultNames(), c.odbc2) << c.what;
    }
}

// A database of its own per build, for tables this test makes.
class CatalogOwnTables : public CatalogTest {
protected:
    void SetUp() override {
        ConnectThroughDriverManager::SetUp();
        if (HasFatalFailure()) return;
        std::string tool = std::string(TV_BUILD_DIR) + "/bin/iicreatedb";
        if (const char* env = std::getenv("TV_BUILD_DIR"); env && *env) tool = std::string(env) + "/bin/iicreatedb";
        std::string cmd = tool + " -u " + kUser + " -P " + kPassword + " " + Own() + " >/dev/null 2>&1";
        std::system(cmd.c_str());  // an existing database is kept
        std::string in = "DRIVER={" + DriverName() + "};DSN=" + Own() + ";UID=" + kUser + ";PWD=" + kPassword;
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLDriverConnect(dbc, nullptr, T(in.c_str()), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
            << Diag(SQL_HANDLE_DBC, dbc);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    }
    std::string Own() const { return GetParam().wide ? "cat_own_w" : "cat_own_n"; }
    void Run(const std::string& sql) {
        SQLRETURN rc = SQLExecDirect(stmt, T(sql.c_str()), SQL_NTS);
        EXPECT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql << ": " << Diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    void Quiet(const std::string& sql) {
        SQLExecDirect(stmt, T(sql.c_str()), SQL_NTS);
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
};

// The rules the constraints were declared with, as ODBC numbers them, and a valid deferrability.
TEST_P(CatalogOwnTables, ForeignKeysReportTheirRules) {
    for (const char* t : {"fk_child", "fk_parent"}) Quiet(std::string("drop table ") + t);
    Run("create table fk_parent (id integer not null primary key, code integer not null unique)");
    Run("create table fk_child (id integer not null primary key,"
        " p1 integer references fk_parent(id) on delete cascade on update set null,"
        " p2 integer references fk_parent(id) on delete set default on update restrict,"
        " p3 integer references fk_parent(id))");
    ASSERT_EQ(SQL_SUCCESS, SQLForeignKeys(stmt, nullptr, 0, nullptr, 0, T("fk_parent"), SQL_NTS, nullptr, 0, nullptr, 0,
                                          T("fk_child"), SQL_NTS))
        << Diag();
    Rows fk = ReadAll();
    // Column 7 FKCOLUMN_NAME, 9 UPDATE_RULE, 10 DELETE_RULE, 13 DEFERRABILITY.
    Rows rules;
    for (const Row& r : fk) rules.push_back({r[7], r[9], r[10], r[13]});
    std::sort(rules.begin(), rules.end());
    const std::string cascade = std::to_string(SQL_CASCADE), restrict_ = std::to_string(SQL_RESTRICT),
                      setNull = std::to_string(SQL_SET_NULL), noAction = std::to_string(SQL_NO_ACTION),
                      setDefault = std::to_string(SQL_SET_DEFAULT), never = std::to_string(SQL_NOT_DEFERRABLE);
    EXPECT_EQ(rules, (Rows{{"p1", setNull, cascade, never},
                           {"p2", restrict_, setDefault, never},
                           {"p3", noAction, noAction, never}}));
    for (const char* t : {"fk_child", "fk_parent"}) Quiet(std::string("drop table ") + t);
}

// Column size and decimal digits of a timestamp follow its declared fraction: 19, or 20 plus
// the digits, alike in a result description and in SQLColumns.
TEST_P(CatalogOwnTables, TimestampSizesFollowTheDeclaredPrecision) {
    Quiet("drop table ts_sizes");
    Run("create table ts_sizes (t0 timestamp(0), t3 timestamp(3), t6 timestamp, t9 timestamp(9), d ingresdate)");
    Run("insert into ts_sizes values ('2024-05-06 07:08:09', '2024-05-06 07:08:09.123',"
        " '2024-05-06 07:08:09.123456', '2024-05-06 07:08:09.123456789', '2024-05-06 07:08:09')");
    struct {
        const char* column;
        SQLULEN size;
        SQLSMALLINT digits;
    } cases[] = {{"t0", 19, 0}, {"t3", 23, 3}, {"t6", 26, 6}, {"t9", 29, 9}, {"d", 19, 0}};
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, T("select t0, t3, t6, t9, d from ts_sizes"), SQL_NTS)) << Diag();
    for (SQLUSMALLINT c = 1; c <= std::size(cases); ++c) {
        SQLCHAR name[32];
        SQLSMALLINT len = 0, type = 0, digits = -1, nullable = 0;
        SQLULEN size = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, c, name, sizeof name, &len, &type, &size, &digits, &nullable));
        EXPECT_EQ(SQL_TYPE_TIMESTAMP, type) << cases[c - 1].column;
        EXPECT_EQ(cases[c - 1].size, size) << cases[c - 1].column;
        EXPECT_EQ(cases[c - 1].digits, digits) << cases[c - 1].column;
        SQLLEN display = 0, precision = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &display));
        ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c, SQL_DESC_PRECISION, nullptr, 0, nullptr, &precision));
        EXPECT_EQ(SQLLEN(cases[c - 1].size), display) << cases[c - 1].column;
        EXPECT_EQ(cases[c - 1].digits, precision) << cases[c - 1].column;
    }
    // A buffer of the described size plus its terminator holds the whole value.
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    char t9[30] = {};
    SQLLEN ind = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt, 4, SQL_C_CHAR, t9, sizeof t9, &ind)) << Diag();
    EXPECT_STREQ("2024-05-06 07:08:09.123456789", t9);
    SQLFreeStmt(stmt, SQL_CLOSE);

    ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, T("ts_sizes"), SQL_NTS, nullptr, 0)) << Diag();
    Rows rows = ReadAll();
    ASSERT_EQ(rows.size(), std::size(cases));
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][3], cases[i].column);
        EXPECT_EQ(rows[i][6], std::to_string(cases[i].size)) << cases[i].column;    // COLUMN_SIZE
        EXPECT_EQ(rows[i][8], std::to_string(cases[i].digits)) << cases[i].column;  // DECIMAL_DIGITS
    }
    Quiet("drop table ts_sizes");
}

// A view's columns carry the types of what they come from: a base column its declared type and
// nullability, an expression the type the engine gives it. SQLColumns says what a query of the
// view describes.
TEST_P(CatalogOwnTables, ViewColumnsCarryTheTypesOfTheirExpressions) {
    Quiet("drop view v_typed");
    Quiet("drop table v_base");
    Run("create table v_base (id integer not null, name varchar(24) not null, note char(6), amount decimal(9,2),"
        " big bigint, at timestamp(3))");
    Run("create view v_typed as select id, name, note, amount, big, at, id + 1 as nextid, uppercase(name) as shout"
        " from v_base");
    // DATA_TYPE, TYPE_NAME, COLUMN_SIZE, BUFFER_LENGTH, DECIMAL_DIGITS, NUM_PREC_RADIX, NULLABLE,
    // CHAR_OCTET_LENGTH and IS_NULLABLE of each row.
    auto facts = [](const Row& r) { return Row{r[4], r[5], r[6], r[7], r[8], r[9], r[10], r[15], r[17]}; };
    ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, T("v_base"), SQL_NTS, nullptr, 0)) << Diag();
    Rows base = ReadAll();
    ASSERT_EQ(base.size(), 6u);
    ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, T("v_typed"), SQL_NTS, nullptr, 0)) << Diag();
    Rows view = ReadAll();
    ASSERT_EQ(Column(view, 3), (Row{"id", "name", "note", "amount", "big", "at", "nextid", "shout"}));
    for (size_t i = 0; i < base.size(); ++i) EXPECT_EQ(facts(view[i]), facts(base[i])) << base[i][3];
    EXPECT_EQ((Row{base[0][5], base[1][5], base[1][6], base[4][5], base[5][8]}),
              (Row{"INTEGER", "VARCHAR", "24", "INTEGER8", "3"}));
    // The expressions: nullable, as every expression is, and typed as the same expressions are in
    // a query of the base table; the sum an integer.
    EXPECT_EQ((Row{view[6][4], view[6][5], view[6][6], view[6][17]}), (Row{"4", "INTEGER", "10", "YES"}));
    EXPECT_EQ(view[7][17], "YES");
    ASSERT_EQ(SQL_SUCCESS,
              SQLExecDirect(stmt, T("select id + 1 as nextid, uppercase(name) as shout from v_base"), SQL_NTS))
        << Diag();
    for (SQLUSMALLINT c = 1; c <= 2; ++c) {
        SQLCHAR name[32];
        SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, c, name, sizeof name, &len, &type, &size, &digits, &nullable));
        EXPECT_EQ((Row{std::to_string(type), std::to_string(size)}), (Row{view[5 + c][4], view[5 + c][6]})) << name;
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    // The same types as the view's own result describes.
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt, T("select * from v_typed"), SQL_NTS)) << Diag();
    for (SQLUSMALLINT c = 1; c <= view.size(); ++c) {
        SCOPED_TRACE(view[c - 1][3]);
        SQLCHAR name[32];
        SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, c, name, sizeof name, &len, &type, &size, &digits, &nullable));
        EXPECT_EQ(std::to_string(type), view[c - 1][4]);
        EXPECT_EQ(std::to_string(size), view[c - 1][6]);
        EXPECT_EQ(nullable == SQL_NO_NULLS ? "NO" : "YES", view[c - 1][17]);
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    Quiet("drop view v_typed");
    Quiet("drop table v_base");
}

INSTANTIATE_TEST_SUITE_P(Builds, CatalogNames, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& i) { return BuildName(i.param); });
INSTANTIATE_TEST_SUITE_P(Builds, CatalogOwnTables, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& i) { return BuildName(i.param); });

}  // namespace
}  // namespace catalogtest
