// Bound parameters of every C type into every SQL type family, read back as text, through the
// Driver Manager for both builds on the embedded engine.
#include <cstring>
#include <functional>
#include <vector>

#include "results_fixture.h"

namespace resultstest {
namespace {

class Params : public ResultsTest {
protected:
    std::string t;
    void SetUp() override {
        ResultsTest::SetUp();
        if (HasFatalFailure()) return;
        t = Table("ptypes");
    }
    void TearDown() override {
        if (stmt) {
            SQLFreeStmt(stmt, SQL_CLOSE);
            Exec("drop table " + t);
        }
        ResultsTest::TearDown();
    }

public:
    void Create(const std::string& decl) {
        Exec("drop table " + t);
        SQLFreeStmt(stmt, SQL_CLOSE);
        Must("create table " + t + " (k integer, v " + decl + ")");
    }
    // The text of v in row k, or "NULL".
    std::string ReadText(int k) {
        std::string sql = "select v from " + t + " where k = " + std::to_string(k);
        EXPECT_EQ(SQL_SUCCESS, Exec(sql)) << Diag();
        std::string out = "(no row)";
        if (SQLFetch(stmt) == SQL_SUCCESS) {
            char buf[256] = {};
            SQLLEN len = kPoison();
            SQLRETURN rc = SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &len);
            EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diag();
            out = len == SQL_NULL_DATA ? "NULL" : std::string(buf, size_t(len));
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return out;
    }
    std::u16string ReadWide(int k) {
        std::string sql = "select v from " + t + " where k = " + std::to_string(k);
        EXPECT_EQ(SQL_SUCCESS, Exec(sql)) << Diag();
        std::u16string out;
        if (SQLFetch(stmt) == SQL_SUCCESS) {
            SQLWCHAR buf[64] = {};
            SQLLEN len = kPoison();
            EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_WCHAR, buf, sizeof buf, &len))) << Diag();
            if (len >= 0) out.assign(reinterpret_cast<const char16_t*>(buf), size_t(len) / 2);
        }
        SQLFreeStmt(stmt, SQL_CLOSE);
        return out;
    }
    // Inserts row k with v bound by bind(), through SQLPrepare and SQLExecute.
    void Insert(int k, const std::function<void()>& bind) {
        const std::string sql = "insert into " + t + " values (" + std::to_string(k) + ", ?)";
        ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
        bind();
        SQLRETURN rc = SQLExecute(stmt);
        ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diag();
        SQLFreeStmt(stmt, SQL_CLOSE);
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    }
    SQLRETURN Bind(SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, void* v, SQLLEN buf,
                   SQLLEN* ind) {
        return SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, cType, sqlType, size, digits, v, buf, ind);
    }
};

TEST_P(Params, IntegersAndFloats) {
    struct Case {
        const char* decl;
        std::function<void(Params*)> bind;
        const char* text;
    };
    static SQLINTEGER i4;
    static SQLSMALLINT i2;
    static SQLSCHAR i1;
    static SQLBIGINT i8;
    static SQLUBIGINT u8;
    static double f8;
    static float f4;
    static SQLCHAR bit;
    static SQLLEN ind;
    const Case cases[] = {
        {"integer",
         [](Params* p) {
             i4 = -123456;
             p->Bind(SQL_C_LONG, SQL_INTEGER, 0, 0, &i4, 0, &ind);
         },
         "-123456"},
        {"smallint",
         [](Params* p) {
             i2 = 300;
             p->Bind(SQL_C_SHORT, SQL_SMALLINT, 0, 0, &i2, 0, &ind);
         },
         "300"},
        {"integer1",
         [](Params* p) {
             i1 = -7;
             p->Bind(SQL_C_STINYINT, SQL_TINYINT, 0, 0, &i1, 0, &ind);
         },
         "-7"},
        {"bigint",
         [](Params* p) {
             i8 = 5000000000ll;
             p->Bind(SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &i8, 0, &ind);
         },
         "5000000000"},
        {"bigint",
         [](Params* p) {
             i8 = -5;
             p->Bind(SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &i8, 0, &ind);
         },
         "-5"},
        {"bigint",
         [](Params* p) {
             u8 = 9000000000000000000ull;
             p->Bind(SQL_C_UBIGINT, SQL_BIGINT, 0, 0, &u8, 0, &ind);
         },
         "9000000000000000000"},
        {"varchar(30)",
         [](Params* p) {
             i8 = 5000000000ll;
             p->Bind(SQL_C_SBIGINT, SQL_VARCHAR, 30, 0, &i8, 0, &ind);
         },
         "5000000000"},
        {"float8",
         [](Params* p) {
             f8 = -2.25;
             p->Bind(SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &f8, 0, &ind);
         },
         "-2.25"},
        {"float4",
         [](Params* p) {
             f4 = 1.5f;
             p->Bind(SQL_C_FLOAT, SQL_REAL, 0, 0, &f4, 0, &ind);
         },
         "1.5"},
        {"integer1",
         [](Params* p) {
             bit = 1;
             p->Bind(SQL_C_BIT, SQL_BIT, 0, 0, &bit, 0, &ind);
         },
         "1"},
        {"bigint",
         [](Params* p) {
             static SQLUINTEGER u4 = 4000000000u;
             p->Bind(SQL_C_ULONG, SQL_BIGINT, 0, 0, &u4, 0, &ind);
         },
         "4000000000"},
        {"integer",
         [](Params* p) {
             static SQLUSMALLINT u2 = 65535;
             p->Bind(SQL_C_USHORT, SQL_INTEGER, 0, 0, &u2, 0, &ind);
         },
         "65535"},
        {"smallint",
         [](Params* p) {
             static SQLCHAR u1 = 200;
             p->Bind(SQL_C_UTINYINT, SQL_SMALLINT, 0, 0, &u1, 0, &ind);
         },
         "200"},
        {"varchar(20)",
         [](Params* p) {
             i4 = 77;
             p->Bind(SQL_C_SLONG, SQL_VARCHAR, 20, 0, &i4, 0, &ind);
         },
         "77"},
        {"float8",
         [](Params* p) {
             p->Bind(SQL_C_CHAR, SQL_DOUBLE, 0, 0, (void*)"-0.125", 0, &ind);
             ind = SQL_NTS;
         },
         "-0.125"},
        {"integer",
         [](Params* p) {
             i4 = 1;
             ind = SQL_NULL_DATA;
             p->Bind(SQL_C_LONG, SQL_INTEGER, 0, 0, &i4, 0, &ind);
         },
         "NULL"},
    };
    int k = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.decl) + " -> " + c.text);
        ind = 0;
        Create(c.decl);
        Insert(++k, [&] { c.bind(this); });
        EXPECT_EQ(c.text, ReadText(k));
    }
}

TEST_P(Params, TextDecimalsAndEscapes) {
    struct Case {
        const char* decl;
        SQLSMALLINT sqlType;
        SQLULEN size;
        SQLSMALLINT digits;
        const char* value;
        const char* text;
    } cases[] = {
        {"varchar(20)", SQL_VARCHAR, 20, 0, "hello", "hello"},
        {"varchar(20)", SQL_VARCHAR, 20, 0, "", ""},
        {"varchar(40)", SQL_VARCHAR, 40, 0, "it's \"quoted\" {fn x}", "it's \"quoted\" {fn x}"},
        {"varchar(40)", SQL_VARCHAR, 40, 0, "h\xc3\xa9 \xf0\x9f\x98\x80", "h\xc3\xa9 \xf0\x9f\x98\x80"},
        {"decimal(31,10)", SQL_DECIMAL, 31, 10, "-123456789012345678901.2345678901",
         "-123456789012345678901.2345678901"},
        {"integer", SQL_INTEGER, 0, 0, "42", "42"},
        {"ansidate", SQL_TYPE_DATE, 10, 0, "2024-02-29", "2024-02-29"},
        {"ansidate", SQL_TYPE_DATE, 10, 0, "{d '1999-12-31'}", "1999-12-31"},
        {"timestamp", SQL_TYPE_TIMESTAMP, 19, 0, "{ts '2001-02-03 04:05:06'}", "2001-02-03 04:05:06.000000"},
        {"timestamp(0)", SQL_TYPE_TIMESTAMP, 19, 0, "{ts '2001-02-03 04:05:06'}", "2001-02-03 04:05:06"},
    };
    int k = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.decl) + " <- " + c.value);
        Create(c.decl);
        SQLLEN len = SQL_NTS;
        Insert(++k, [&] { Bind(SQL_C_CHAR, c.sqlType, c.size, c.digits, (void*)c.value, 0, &len); });
        EXPECT_EQ(c.text, ReadText(k));
    }
}

TEST_P(Params, NumericStructureWithThirtyOneDigits) {
    Create("decimal(31,10)");
    SQL_NUMERIC_STRUCT num = NumericOf("1234567890123456789012345678901", 31, 10);
    SQLLEN ind = 0;
    Insert(1, [&] { Bind(SQL_C_NUMERIC, SQL_DECIMAL, 31, 10, &num, 0, &ind); });
    EXPECT_EQ("123456789012345678901.2345678901", ReadText(1));
}

TEST_P(Params, DatesTimestampsWithFractionsAndGuid) {
    Create("timestamp(6)");
    SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 14, 15, 123456000};
    SQLLEN ind = 0;
    Insert(1, [&] { Bind(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, &ts, 0, &ind); });
    {
        // Read as the structure: the fraction is what the parameter carried.
        std::string sql = "select v from " + t + " where k = 1";
        ASSERT_EQ(SQL_SUCCESS, Exec(sql)) << Diag();
        ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
        SQL_TIMESTAMP_STRUCT got{};
        SQLLEN l = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_TYPE_TIMESTAMP, &got, sizeof got, &l)) << Diag();
        EXPECT_EQ(2024, got.year);
        EXPECT_EQ(29, got.day);
        EXPECT_EQ(15, got.second);
        EXPECT_EQ(123456000u, got.fraction);
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    // As text the fraction is all there.
    EXPECT_EQ("2024-02-29 13:14:15.123456", ReadText(1));
    Create("ansidate");
    SQL_DATE_STRUCT d{1999, 12, 31};
    Insert(2, [&] { Bind(SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &d, 0, &ind); });
    EXPECT_EQ("1999-12-31", ReadText(2));
    Create("char(36)");
    SQLGUID g{0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    Insert(3, [&] { Bind(SQL_C_GUID, SQL_GUID, 36, 0, &g, 0, &ind); });
    EXPECT_EQ("01234567-89AB-CDEF-0123-456789ABCDEF", ReadText(3));
}

TEST_P(Params, BinaryAndHex) {
    Create("byte varying(20)");
    unsigned char bytes[4] = {0x00, 0x41, 0xff, 0x10};
    SQLLEN len = 4;
    Insert(1, [&] { Bind(SQL_C_BINARY, SQL_VARBINARY, 20, 0, bytes, 4, &len); });
    EXPECT_EQ("0041FF10", ReadText(1));
    SQLLEN nts = SQL_NTS;
    Insert(2, [&] { Bind(SQL_C_CHAR, SQL_VARBINARY, 20, 0, (void*)"0aff", 0, &nts); });
    EXPECT_EQ("0AFF", ReadText(2));
}

TEST_P(Params, LongValuesGoInSegments) {
    Create("long varchar");
    std::string text;
    for (int i = 0; i < 5000; ++i) text.push_back(char('a' + i % 26));
    SQLLEN len = SQLLEN(text.size());
    Insert(1, [&] { Bind(SQL_C_CHAR, SQL_LONGVARCHAR, text.size(), 0, (void*)text.data(), 0, &len); });
    ASSERT_EQ(SQL_SUCCESS, Exec("select v from " + t)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << Diag();
    std::vector<char> buf(text.size() + 1);
    SQLLEN got = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_CHAR, buf.data(), SQLLEN(buf.size()), &got)) << Diag();
    EXPECT_EQ(SQLLEN(text.size()), got);
    EXPECT_EQ(text, std::string(buf.data()));
    SQLFreeStmt(stmt, SQL_CLOSE);
}

TEST_P(Params, WideTextOutsideTheBasicPlane) {
    Create("nvarchar(20)");
    const SQLWCHAR w[] = {u'h', 0x00E9, 0xD83D, 0xDE00, u'!', 0};
    SQLLEN len = SQL_NTS;
    Insert(1, [&] { Bind(SQL_C_WCHAR, SQL_WVARCHAR, 20, 0, (void*)w, 0, &len); });
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(w)), ReadWide(1));
}

TEST_P(Params, ErrorsOfBindingAndExecution) {
    Create("integer");
    SQLINTEGER v = 1;
    SQLLEN ind = 0;
    EXPECT_EQ(SQL_ERROR,
              SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0, nullptr));
    EXPECT_EQ("HY009", FirstDiag(SQL_HANDLE_STMT, stmt).state);
    EXPECT_EQ(SQL_ERROR, SQLBindParameter(stmt, 0, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind));
    EXPECT_EQ("07009", FirstDiag(SQL_HANDLE_STMT, stmt).state);
    EXPECT_EQ(SQL_ERROR, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, -1,
                                          &v, 0, &ind));
    EXPECT_EQ("HY094", FirstDiag(SQL_HANDLE_STMT, stmt).state);
    EXPECT_EQ(SQL_ERROR,
              SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_INTERVAL_DAY, SQL_INTEGER, 0, 0, &v, 0, &ind));
    EXPECT_EQ("07006", FirstDiag(SQL_HANDLE_STMT, stmt).state);
    const std::string sql = "insert into " + t + " values (?, ?)";
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind));
    EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
    EXPECT_EQ("07001", FirstDiag(SQL_HANDLE_STMT, stmt).state);
}

INSTANTIATE_TEST_SUITE_P(Builds, Params, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
