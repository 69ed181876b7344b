// SQLGetTypeInfo through unixODBC: all types and single types, ODBC 2 and 3 applications, the
// engine's OpenAPI levels and server generations, both builds.
#include <cstdlib>

#include "catalog_fixture.h"

namespace catalogtest {
namespace {

class CatalogTypeInfo : public CatalogTest {
protected:
    void SetUp() override {
        ConnectThroughDriverManager::SetUp();
        if (HasFatalFailure()) return;
        EnsureSampleDatabases();
    }
    void TearDown() override {
        unsetenv("II_ENGINE_API_LEVEL");
        unsetenv("II_ENGINE_VERSION");
        CatalogTest::TearDown();
    }
    // Connects with the engine answering at this OpenAPI level (and server version).
    void ConnectAt(const char* level, const char* version = nullptr) {
        setenv("II_ENGINE_API_LEVEL", level, 1);
        if (version) setenv("II_ENGINE_VERSION", version, 1);
        Connect();
    }
    Rows AllTypes() {
        EXPECT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_ALL_TYPES)) << Diag();
        return ReadAll();
    }
    // An ODBC 2 environment and connection in place of the fixture's.
    void UseOdbc2() {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
        ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC2, 0));
        ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    }
};

TEST_P(CatalogTypeInfo, AllTypesAtEachOpenApiLevel) {
    struct Level {
        const char* level;
        size_t wideRows, narrowRows;
    } levels[] = {{"1", 17, 17}, {"2", 20, 17}, {"3", 21, 18}};
    for (const Level& l : levels) {
        SCOPED_TRACE(l.level);
        // A wide connection needs the national types of level 2.
        if (GetParam().wide && l.level[0] < '2') continue;
        if (stmt) {
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
            stmt = SQL_NULL_HSTMT;
            SQLDisconnect(dbc);
        }
        ConnectAt(l.level);
        SQLSMALLINT n = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_ALL_TYPES)) << Diag();
        Rows all = ReadAll(&n);
        EXPECT_EQ(n, 19);
        EXPECT_EQ(all.size(), GetParam().wide ? l.wideRows : l.narrowRows);
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(all[0][0], "C");
        EXPECT_EQ(all[11][0], "DATE");
        EXPECT_EQ(all[11][1], "93");
        EXPECT_EQ(all.back()[0], l.level[0] >= '3'                      ? "INTEGER8"
                                 : l.level[0] == '2' && GetParam().wide ? "LONG NVARCHAR"
                                                                        : "BYTE");
    }
}

TEST_P(CatalogTypeInfo, ColumnNamesAndSingleTypes) {
    ConnectAt("5");
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_TYPE_TIMESTAMP)) << Diag();
    SQLCHAR name[64];
    SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, 1, name, sizeof name, &len, &type, &size, &digits, &nullable));
    EXPECT_STREQ((char*)name, "TYPE_NAME");
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, 18, name, sizeof name, &len, &type, &size, &digits, &nullable));
    EXPECT_STREQ((char*)name, "SQL_NUM_PREC_RADIX");
    EXPECT_EQ(type, SQL_INTEGER);
    Rows ts = ReadAll();
    ASSERT_EQ(ts.size(), 1u);
    EXPECT_EQ((Row{ts[0][0], ts[0][1], ts[0][2], ts[0][15], ts[0][16]}), (Row{"DATE", "93", "20", "9", "3"}));

    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_VARCHAR));
    Rows vc = ReadAll();
    ASSERT_EQ(vc.size(), 1u);
    EXPECT_EQ((Row{vc[0][0], vc[0][3], vc[0][4], vc[0][5]}), (Row{"VARCHAR", "'", "'", "maxlength"}));
    EXPECT_GT(std::atoi(vc[0][2].c_str()), 0);
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_BIGINT));
    EXPECT_EQ(Column(ReadAll(), 0), (Row{"INTEGER8"}));
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, 99));
    EXPECT_TRUE(ReadAll().empty());
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_WVARCHAR));
    EXPECT_EQ(Column(ReadAll(), 0), GetParam().wide ? Row{"NVARCHAR"} : Row{});
}

TEST_P(CatalogTypeInfo, BigintFallsBackToFloatBelowLevelThree) {
    ConnectAt("2");
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_BIGINT)) << Diag();
    Rows r = ReadAll();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ((Row{r[0][0], r[0][1]}), (Row{"FLOAT", "6"}));
}

TEST_P(CatalogTypeInfo, OldServerSizes) {
    ConnectAt("5", "unknown server");
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_BINARY)) << Diag();
    Rows r = ReadAll();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ((Row{r[0][0], r[0][2], r[0][3]}), (Row{"BYTE", "2000", "X'"}));
}

TEST_P(CatalogTypeInfo, OdbcTwoApplication) {
    UseOdbc2();
    ConnectAt("5");
    Rows all = AllTypes();
    ASSERT_GT(all.size(), 11u);
    EXPECT_EQ(all[11][0], "DATE");
    EXPECT_EQ(all[11][1], "11");
}

TEST_P(CatalogTypeInfo, BoundColumns) {
    ConnectAt("5");
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_ALL_TYPES)) << Diag();
    char name[40];
    SQLLEN nameInd = 0, typeInd = 0, radixInd = 0;
    SQLSMALLINT type = 0;
    SQLINTEGER radix = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_CHAR, name, sizeof name, &nameInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_SSHORT, &type, 0, &typeInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 18, SQL_C_SLONG, &radix, 0, &radixInd));
    std::vector<std::string> seen;
    for (int guard = 0; guard < 30; ++guard) {
        SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA) break;
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag();
        seen.push_back(std::string(name) + "/" + std::to_string(type) + "/" +
                       (radixInd == SQL_NULL_DATA ? "-" : std::to_string(radix)));
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    ASSERT_EQ(seen.size(), GetParam().wide ? 21u : 18u);
    EXPECT_EQ(seen[0], "C/1/-");
    EXPECT_EQ(seen[4], "INTEGER1/-6/10");
    EXPECT_EQ(seen[7], "FLOAT/6/2");
    EXPECT_EQ(seen[8], "FLOAT/8/2");
    EXPECT_EQ(seen.back(), "INTEGER8/-5/10");
}

// MINIMUM_SCALE, MAXIMUM_SCALE and the radix are NULL for character, binary and date types and
// present for numeric ones.
TEST_P(CatalogTypeInfo, ScaleAndRadixOnlyForNumbers) {
    ConnectAt("3");
    Rows all = AllTypes();
    ASSERT_EQ(all.size(), GetParam().wide ? 21u : 18u);
    for (const Row& r : all) {
        SCOPED_TRACE(r[0] + "/" + r[1]);
        const int type = std::atoi(r[1].c_str());
        const bool numeric = (type >= 2 && type <= 8) || type == -5 || type == -6;
        for (size_t c : {13u, 14u, 17u}) EXPECT_EQ(r[c] == "<null>", !numeric) << "column " << c + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, CatalogTypeInfo, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& i) { return BuildName(i.param); });

}  // namespace
}  // namespace catalogtest
