// Every Ingres column type through SQLBindCol and SQLGetData, NULLs included, and a long value
// read in pieces, through the Driver Manager for both builds.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

using Types = ResultsTest;

struct TypeCase {
    const char* decl;
    const char* literal;
    const char* asText;  // SQL_C_CHAR form of the value
};

const TypeCase kTypes[] = {
    {"integer1", "-7", "-7"},
    {"smallint", "300", "300"},
    {"integer", "70000", "70000"},
    {"bigint", "5000000000", "5000000000"},
    {"float4", "1.5", "1.5"},
    {"float8", "-2.25", "-2.25"},
    {"decimal(10,2)", "123.45", "123.45"},
    {"char(5)", "'ab'", "ab   "},
    {"varchar(10)", "'hello'", "hello"},
    {"nchar(4)", "'xy'", "xy  "},
    {"nvarchar(10)", "'wide'", "wide"},
    {"byte(2)", "X'4142'", "4142"},
    {"byte varying(4)", "X'0102'", "0102"},
    {"ansidate", "'2024-02-29'", "2024-02-29"},
    // As many fraction digits as declared (timestamp: 6).
    {"timestamp", "'2024-02-29 13:14:15'", "2024-02-29 13:14:15.000000"},
    {"timestamp(0)", "'2024-02-29 13:14:15'", "2024-02-29 13:14:15"},
    {"timestamp(3)", "'2024-02-29 13:14:15.5'", "2024-02-29 13:14:15.500"},
    {"long varchar", "'lv'", "lv"},
};

class AllTypes : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Table("alltypes");
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        std::string create = "create table " + t + " (k integer";
        std::string values = "insert into " + t + " values (1";
        std::string nulls = "insert into " + t + " values (2";
        for (size_t i = 0; i < std::size(kTypes); ++i) {
            create += ", c" + std::to_string(i) + " " + kTypes[i].decl;
            values += std::string(", ") + kTypes[i].literal;
            nulls += ", null";
        }
        Must(create + ")");
        Must(values + ")");
        Must(nulls + ")");
    }
    void TearDown() override {
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            Exec("drop table " + t);
        }
        ResultsTest::TearDown();
    }
};

TEST_P(AllTypes, EveryTypeReadsAsTextAndWideTextWithNulls) {
    ASSERT_EQ(SQL_SUCCESS, Exec("select * from " + t + " order by k")) << Diag();
    SQLSMALLINT cols = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &cols));
    ASSERT_EQ(SQLSMALLINT(std::size(kTypes) + 1), cols);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    for (size_t i = 0; i < std::size(kTypes); ++i) {
        char buf[64] = {};
        SQLLEN len = kPoison();
        SQLRETURN rc = SQLGetData(stmt, SQLUSMALLINT(i + 2), SQL_C_CHAR, buf, sizeof buf, &len);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << kTypes[i].decl << ": " << Diag();
        EXPECT_STREQ(kTypes[i].asText, buf) << kTypes[i].decl;
        EXPECT_EQ(SQLLEN(strlen(buf)), len) << kTypes[i].decl;
    }
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    for (size_t i = 0; i < std::size(kTypes); ++i) {
        SQLWCHAR w[32];
        SQLLEN len = kPoison();
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, SQLUSMALLINT(i + 2), SQL_C_WCHAR, w, sizeof w, &len))
            << kTypes[i].decl << ": " << Diag();
        EXPECT_EQ(SQL_NULL_DATA, len) << kTypes[i].decl;
    }
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
}

TEST_P(AllTypes, NaturalCTypesThroughColumnWiseBinding) {
    ASSERT_EQ(SQL_SUCCESS, Exec("select c0, c1, c2, c3, c4, c5, c8, c11, c13, c14 from " + t + " order by k"))
        << Diag();
    SQLSCHAR i1 = 0;
    SQLSMALLINT i2 = 0;
    SQLINTEGER i4 = 0;
    SQLBIGINT i8 = 0;
    SQLREAL f4 = 0;
    SQLDOUBLE f8 = 0;
    char vc[11];
    unsigned char by[2];
    SQL_DATE_STRUCT d{};
    SQL_TIMESTAMP_STRUCT ts{};
    SQLLEN ind[10];
    for (SQLLEN& x : ind) x = kPoison();
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_STINYINT, &i1, 0, &ind[0]));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_SSHORT, &i2, 0, &ind[1]));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 3, SQL_C_SLONG, &i4, 0, &ind[2]));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 4, SQL_C_SBIGINT, &i8, 0, &ind[3]));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 5, SQL_C_FLOAT, &f4, 0, &ind[4]));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 6, SQL_C_DOUBLE, &f8, 0, &ind[5]));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 7, SQL_C_CHAR, vc, sizeof vc, &ind[6]));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 8, SQL_C_BINARY, by, sizeof by, &ind[7]));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 9, SQL_C_TYPE_DATE, &d, 0, &ind[8]));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 10, SQL_C_TYPE_TIMESTAMP, &ts, 0, &ind[9]));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    EXPECT_EQ(-7, i1);
    EXPECT_EQ(300, i2);
    EXPECT_EQ(70000, i4);
    EXPECT_EQ(5000000000LL, i8);
    EXPECT_EQ(1.5f, f4);
    EXPECT_EQ(-2.25, f8);
    EXPECT_STREQ("hello", vc);
    EXPECT_EQ(0x41, by[0]);
    EXPECT_EQ(0x42, by[1]);
    EXPECT_EQ(2, ind[7]);
    EXPECT_EQ(2024, d.year);
    EXPECT_EQ(29, d.day);
    EXPECT_EQ(13, ts.hour);
    EXPECT_EQ(15, ts.second);
    EXPECT_EQ(4, ind[2]);
    EXPECT_EQ(8, ind[3]);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    for (int i = 0; i < 10; ++i) EXPECT_EQ(SQL_NULL_DATA, ind[i]) << i;
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
}

// {fn CONVERT(x, SQL_BIGINT)} keeps values beyond 2^31 where the server has INTEGER8 (OpenAPI
// level 3 and up); below that the widest integer is int4 and such a value overflows.
TEST_P(Types, ConvertToBigintIsAnEightByteInteger) {
    const std::string t = Make("cvbig", "v bigint, s varchar(20)");
    Must("insert into " + t + " values (5000000000, '-9000000000')");
    const std::string q =
        "select {fn CONVERT(v, SQL_BIGINT)}, {fn CONVERT(s, SQL_BIGINT)}, "
        "{fn CONVERT(v - 4999999999, SQL_INTEGER)} from " +
        t;
    char native[300] = {};
    SQLINTEGER nativeLen = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLNativeSql(dbc, (SQLCHAR*)q.c_str(), SQL_NTS, (SQLCHAR*)native, sizeof native, &nativeLen))
        << Diag(SQL_HANDLE_DBC, dbc);
    EXPECT_EQ("select int8(v), int8(s), int4(v - 4999999999) from " + t, std::string(native));
    ASSERT_EQ(SQL_SUCCESS, Exec(q)) << Diag();
    SQLCHAR name[32];
    SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, 1, name, sizeof name, &len, &type, &size, &digits, &nullable));
    EXPECT_EQ(SQL_BIGINT, type);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    SQLBIGINT big = 0, negative = 0;
    SQLINTEGER one = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_SBIGINT, &big, 0, nullptr)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_SBIGINT, &negative, 0, nullptr)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 3, SQL_C_SLONG, &one, 0, nullptr)) << Diag();
    EXPECT_EQ(5000000000LL, big);
    EXPECT_EQ(-9000000000LL, negative);
    EXPECT_EQ(1, one);
    SQLFreeStmt(stmt, SQL_CLOSE);

    // A server without INTEGER8.
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    stmt = SQL_NULL_HSTMT;
    SQLDisconnect(dbc);
    setenv("II_ENGINE_API_LEVEL", "2", 1);
    std::string dsn = Dsn();
    const SQLRETURN connected =
        SQLConnect(dbc, (SQLCHAR*)dsn.c_str(), SQL_NTS, (SQLCHAR*)kUser, SQL_NTS, (SQLCHAR*)kPassword, SQL_NTS);
    unsetenv("II_ENGINE_API_LEVEL");
    ASSERT_TRUE(SQL_SUCCEEDED(connected)) << Diag(SQL_HANDLE_DBC, dbc);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    ASSERT_EQ(SQL_SUCCESS,
              SQLNativeSql(dbc, (SQLCHAR*)q.c_str(), SQL_NTS, (SQLCHAR*)native, sizeof native, &nativeLen));
    EXPECT_EQ("select int4(v), int4(s), int4(v - 4999999999) from " + t, std::string(native));
}

TEST_P(Types, AHundredThousandByteValueReadsInThousandBytePieces) {
    const std::string t = Table("longv");
    Exec("drop table " + t);
    SQLFreeStmt(stmt, SQL_CLOSE);
    Must("create table " + t + " (v long varchar)");
    // Built up tenfold so the statement text stays short: 100, 1000, 10000, 100000 characters.
    std::string hundred;
    for (int i = 0; i < 10; ++i) hundred += "0123456789";
    Must("insert into " + t + " values ('" + hundred + "')");
    for (int i = 0; i < 3; ++i) Must("update " + t + " set v = v || v || v || v || v || v || v || v || v || v");
    for (int wide = 0; wide < 2; ++wide) {
        ASSERT_EQ(SQL_SUCCESS, Exec("select v from " + t)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
        size_t total = 0;
        SQLLEN len = 0;
        SQLRETURN rc;
        int pieces = 0;
        const size_t per = wide ? 499 : 999;  // characters per 1000-byte piece, terminator kept
        for (;;) {
            std::vector<char> buf(1000);
            len = kPoison();
            rc = SQLGetData(stmt, 1, wide ? SQL_C_WCHAR : SQL_C_CHAR, buf.data(), 1000, &len);
            if (rc != SQL_SUCCESS_WITH_INFO && rc != SQL_SUCCESS) break;
            const size_t chars = rc == SQL_SUCCESS ? size_t(len) / (wide ? 2 : 1) : per;
            if (pieces == 0) {
                EXPECT_EQ(SQLLEN(100000) * (wide ? 2 : 1), len);
            }
            // The value repeats 0..9: each piece starts where the previous one stopped.
            char first = wide ? char(reinterpret_cast<SQLWCHAR*>(buf.data())[0]) : buf[0];
            EXPECT_EQ(char('0' + total % 10), first) << pieces;
            total += chars;
            ++pieces;
            if (rc == SQL_SUCCESS) break;
        }
        EXPECT_EQ(SQL_SUCCESS, rc) << Diag();
        EXPECT_EQ(100000u, total);
        EXPECT_EQ(int((100000 + per - 1) / per), pieces);
        char rest[8];
        EXPECT_EQ(SQL_NO_DATA, SQLGetData(stmt, 1, wide ? SQL_C_WCHAR : SQL_C_CHAR, rest, sizeof rest, &len));
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    Must("drop table " + t);
}

INSTANTIATE_TEST_SUITE_P(Builds, AllTypes, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });
INSTANTIATE_TEST_SUITE_P(Builds, Types, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
