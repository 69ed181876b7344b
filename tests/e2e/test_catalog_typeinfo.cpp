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
    } levels[] = {{"1", 20, 20}, {"2", 23, 20}, {"3", 24, 21}};
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
        ASSERT_GT(all.size(), 15u);
        // The standard date and time types stand before the DATE row, in the order of their codes.
        EXPECT_EQ((Row{all[11][0], all[12][0], all[13][0], all[14][0], all[15][0]}),
                  (Row{"ANSIDATE", "TIME WITHOUT TIME ZONE", "TIMESTAMP WITHOUT TIME ZONE", "DATE", "DECIMAL"}));
        EXPECT_EQ((Row{all[11][1], all[12][1], all[13][1], all[14][1]}), (Row{"91", "92", "93", "93"}));
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
    ASSERT_EQ(ts.size(), 2u);
    EXPECT_EQ((Row{ts[1][0], ts[1][1], ts[1][2], ts[1][15], ts[1][16]}), (Row{"DATE", "93", "20", "9", "3"}));

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

// An ODBC 2 application keeps the DATE rows for dates and times, now with their quotes; for
// timestamps it gets the type with nine fraction digits first, under the ODBC 2 code, as Qt 5
// (ODBC 2 by default) sizes the fraction of its parameters from that first row.
TEST_P(CatalogTypeInfo, OdbcTwoApplication) {
    UseOdbc2();
    ConnectAt("5");
    Rows all = AllTypes();
    ASSERT_EQ(all.size(), GetParam().wide ? 22u : 19u);
    EXPECT_EQ((Row{all[11][0], all[11][1], all[11][2], all[11][14]}),
              (Row{"TIMESTAMP WITHOUT TIME ZONE", "11", "29", "9"}));
    EXPECT_EQ((Row{all[12][0], all[12][1], all[12][3], all[12][4]}), (Row{"DATE", "11", "'", "'"}));
    EXPECT_EQ(all[13][0], "DECIMAL");
    for (SQLSMALLINT t : {SQL_DATE, SQL_TIME}) {
        SCOPED_TRACE(t);
        ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, t)) << Diag();
        Rows one = ReadAll();
        ASSERT_EQ(one.size(), 1u);
        EXPECT_EQ((Row{one[0][0], one[0][1], one[0][3]}), (Row{"DATE", std::to_string(t), "'"}));
    }
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_TIMESTAMP)) << Diag();
    Rows ts = ReadAll();
    ASSERT_EQ(ts.size(), 2u);
    auto pick = [](const Row& r) { return Row{r[0], r[1], r[2], r[3], r[4], r[13], r[14], r[16]}; };
    EXPECT_EQ(pick(ts[0]), (Row{"TIMESTAMP WITHOUT TIME ZONE", "11", "29", "'", "'", "0", "9", "3"}));
    EXPECT_EQ(pick(ts[1]), (Row{"DATE", "11", "20", "'", "'", "<null>", "<null>", "3"}));
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
    ASSERT_EQ(seen.size(), GetParam().wide ? 24u : 21u);
    EXPECT_EQ(seen[0], "C/1/-");
    EXPECT_EQ(seen[4], "INTEGER1/-6/10");
    EXPECT_EQ(seen[7], "FLOAT/6/2");
    EXPECT_EQ(seen[8], "FLOAT/8/2");
    EXPECT_EQ(seen.back(), "INTEGER8/-5/10");
}

// The radix is present for numeric types only; MINIMUM_SCALE and MAXIMUM_SCALE for numeric types
// and for the timestamp, whose scale is its fraction digits.
TEST_P(CatalogTypeInfo, ScaleAndRadixOnlyForNumbersAndFractions) {
    ConnectAt("3");
    Rows all = AllTypes();
    ASSERT_EQ(all.size(), GetParam().wide ? 24u : 21u);
    for (const Row& r : all) {
        SCOPED_TRACE(r[0] + "/" + r[1]);
        const int type = std::atoi(r[1].c_str());
        const bool numeric = (type >= 2 && type <= 8) || type == -5 || type == -6;
        const bool fraction = r[0] == "TIMESTAMP WITHOUT TIME ZONE";
        for (size_t c : {13u, 14u}) EXPECT_EQ(r[c] == "<null>", !numeric && !fraction) << "column " << c + 1;
        EXPECT_EQ(r[17] == "<null>", !numeric) << "column 18";
    }
}

// What clients read to write dates and times: pyodbc and Qt take the fraction digits they send
// from the first SQL_TYPE_TIMESTAMP row's COLUMN_SIZE (Qt asks with the ODBC 2 code), and
// literal writers quote by the prefix and suffix. ODBC 3 applications get the type that holds the
// whole value first and the DATE row after it.
TEST_P(CatalogTypeInfo, DateAndTimeTypesForOdbcThreeApplications) {
    ConnectAt("5");
    const struct {
        std::vector<SQLSMALLINT> asked;  // the ODBC 3 code and the ODBC 2 one
        Row first, second;               // TYPE_NAME, DATA_TYPE, COLUMN_SIZE, prefix, suffix, scales, SUB
    } cases[] = {
        {{SQL_TYPE_TIMESTAMP, SQL_TIMESTAMP},
         {"TIMESTAMP WITHOUT TIME ZONE", "93", "29", "'", "'", "0", "9", "3"},
         {"DATE", "93", "20", "'", "'", "<null>", "<null>", "3"}},
        {{SQL_TYPE_DATE, SQL_DATE},
         {"ANSIDATE", "91", "10", "'", "'", "<null>", "<null>", "1"},
         {"DATE", "91", "10", "'", "'", "<null>", "<null>", "1"}},
        {{SQL_TYPE_TIME, SQL_TIME},
         {"TIME WITHOUT TIME ZONE", "92", "10", "'", "'", "<null>", "<null>", "2"},
         {"DATE", "92", "8", "'", "'", "<null>", "<null>", "2"}},
    };
    for (const auto& c : cases) {
        for (SQLSMALLINT asked : c.asked) {
            SCOPED_TRACE(asked);
            ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, asked)) << Diag();
            Rows rows = ReadAll();
            ASSERT_EQ(rows.size(), 2u);
            auto pick = [](const Row& r) { return Row{r[0], r[1], r[2], r[3], r[4], r[13], r[14], r[16]}; };
            EXPECT_EQ(pick(rows[0]), c.first);
            EXPECT_EQ(pick(rows[1]), c.second);
        }
    }
    // The first row's size read as pyodbc and Qt read it: column 3 as an integer after one fetch.
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_TYPE_TIMESTAMP)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    SQLINTEGER size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 3, SQL_C_SLONG, &size, sizeof size, nullptr)) << Diag();
    EXPECT_EQ(29, size);  // nine fraction digits
    SQLFreeStmt(stmt, SQL_CLOSE);
}

INSTANTIATE_TEST_SUITE_P(Builds, CatalogTypeInfo, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& i) { return BuildName(i.param); });

}  // namespace
}  // namespace catalogtest
