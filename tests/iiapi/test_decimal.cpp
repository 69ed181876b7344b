// DECIMAL as the server computes and stores it: the engine's exact decimal arithmetic (parse,
// text, + - * /, comparison, the collation's order), the SQL that reaches it (results keep all
// 31 digits, overflow is 22003 and division by zero 22012, comparisons and sorting go by the
// number), values checked where they are written, and tables made before all this still read.
#include <sqlite3.h>

#include "iiapi/internal.h"
#include "tests/iiapi/api_fixture.h"

using namespace apitest;
using iiapi::DecimalFault;
using iiapi::ExactDecimal;

namespace {

ExactDecimal exact(const std::string& text) {
    ExactDecimal d;
    EXPECT_EQ(iiapi::exactParse(text, d), DecimalFault::None) << text;
    return d;
}

TEST(ExactDecimals, ReadAndWriteTheirText) {
    struct Case {
        const char* in;
        DecimalFault fault;
        const char* text;  // with the digits kept
    };
    const std::vector<Case> cases = {
        {"12345678901234567890123456.78", DecimalFault::None, "12345678901234567890123456.78"},
        {"  -0.50 ", DecimalFault::None, "-0.50"},
        {"+7", DecimalFault::None, "7"},
        {".5", DecimalFault::None, "0.5"},
        {"1,25", DecimalFault::None, "1.25"},
        {"-0.000", DecimalFault::None, "0.000"},
        {"1e3", DecimalFault::None, "1000"},
        {"1.5E-2", DecimalFault::None, "0.015"},
        {"1.23456789012346e+25", DecimalFault::None, "12345678901234600000000000"},
        {"00000000000000000000000000000000000000000000000001.5", DecimalFault::None, "1.5"},
        // More than 31 fraction digits are rounded off, half away from zero.
        {"0.12345678901234567890123456789015", DecimalFault::None, "0.1234567890123456789012345678902"},
        {"-0.00000000000000000000000000000000004", DecimalFault::None, "0.0000000000000000000000000000000"},
        // 38 digits are the most a coefficient holds.
        {"99999999999999999999999999999999999999", DecimalFault::None, "99999999999999999999999999999999999999"},
        {"999999999999999999999999999999999999999", DecimalFault::Overflow, nullptr},
        {"1e40", DecimalFault::Overflow, nullptr},
        {"", DecimalFault::NotANumber, nullptr},
        {"x1", DecimalFault::NotANumber, nullptr},
        {"1x", DecimalFault::NotANumber, nullptr},
        {"1e", DecimalFault::NotANumber, nullptr},
        {"1.2.3", DecimalFault::NotANumber, nullptr},
        {"-", DecimalFault::NotANumber, nullptr},
    };
    for (const Case& c : cases) {
        ExactDecimal d;
        EXPECT_EQ(iiapi::exactParse(c.in, d), c.fault) << c.in;
        if (c.text) {
            EXPECT_EQ(iiapi::exactText(d), c.text) << c.in;
        }
    }
}

TEST(ExactDecimals, ComputeEveryDigit) {
    enum Op { Add, Sub, Mul, Div };
    struct Case {
        Op op;
        const char *a, *b;
        int scale;  // of a quotient
        DecimalFault fault;
        const char* result;
    };
    const std::vector<Case> cases = {
        {Add, "12345678901234567890123456.78", "1", 0, DecimalFault::None, "12345678901234567890123457.78"},
        {Add, "12345678901234567890123456.78", "0", 0, DecimalFault::None, "12345678901234567890123456.78"},
        {Sub, "99999999999999999.99", "0.01", 0, DecimalFault::None, "99999999999999999.98"},
        {Add, "-1.5", "1.25", 0, DecimalFault::None, "-0.25"},
        {Sub, "1.5", "1.50", 0, DecimalFault::None, "0.00"},
        {Sub, "-2", "-2.5", 0, DecimalFault::None, "0.5"},
        // A result of more than 31 digits overflows.
        {Add, "9999999999999999999999999999999", "1", 0, DecimalFault::Overflow, nullptr},
        {Add, "99999999999999999999999999999.99", "0.01", 0, DecimalFault::Overflow, nullptr},
        {Mul, "1600.25", "1.125", 0, DecimalFault::None, "1800.28125"},
        {Mul, "12345678901234567890123456.78", "0.5", 0, DecimalFault::None, "6172839450617283945061728.390"},
        {Mul, "1234567890123.45", "9876543210.12", 0, DecimalFault::None, "12193263112630934306089.3140"},
        {Mul, "-3", "0.5", 0, DecimalFault::None, "-1.5"},
        {Mul, "-3", "0", 0, DecimalFault::None, "0"},
        // A product's scale is at most 31: the further digits are rounded, and what is left must
        // fit 31 digits.
        {Mul, "0.1000000000000000000000000001", "0.5005", 0, DecimalFault::None, "0.0500500000000000000000000000501"},
        {Mul, "1.0000000000000000000000000001", "1.0005", 0, DecimalFault::Overflow, nullptr},
        {Mul, "100000000000000000000", "100000000000000000000", 0, DecimalFault::Overflow, nullptr},
        {Div, "1", "3", 5, DecimalFault::None, "0.33333"},
        {Div, "2", "3", 2, DecimalFault::None, "0.67"},
        {Div, "-2", "3", 2, DecimalFault::None, "-0.67"},
        {Div, "1600.25", "3", 25, DecimalFault::None, "533.4166666666666666666666667"},
        {Div, "12345678901234567890123456.78", "7", 2, DecimalFault::None, "1763668414462081127160493.83"},
        {Div, "10", "0.25", 0, DecimalFault::None, "40"},
        {Div, "1", "0.00", 2, DecimalFault::DivisionByZero, nullptr},
        {Div, "1000000000000000000000000000000", "0.001", 0, DecimalFault::Overflow, nullptr},
    };
    for (const Case& c : cases) {
        const ExactDecimal a = exact(c.a), b = exact(c.b);
        ExactDecimal r;
        DecimalFault f = DecimalFault::None;
        switch (c.op) {
            case Add:
                f = iiapi::exactAdd(a, b, r);
                break;
            case Sub:
                f = iiapi::exactSubtract(a, b, r);
                break;
            case Mul:
                f = iiapi::exactMultiply(a, b, r);
                break;
            case Div:
                f = iiapi::exactDivide(a, b, c.scale, r);
                break;
        }
        const std::string what = std::string(c.a) + " " + "+-*/"[c.op] + " " + c.b;
        EXPECT_EQ(f, c.fault) << what;
        if (c.result) {
            EXPECT_EQ(iiapi::exactText(r), c.result) << what;
        }
    }
}

TEST(ExactDecimals, CompareAsNumbers) {
    struct Case {
        const char *a, *b;
        int order;
    };
    const std::vector<Case> cases = {
        {"1.50", "1.5", 0},
        {"-2", "1", -1},
        {"10.00", "9.5", 1},
        {"-10", "-9.5", -1},
        {"12345678901234567890123456.78", "12345678901234567890123456.79", -1},
        {"0.000", "-0", 0},
        {"007", "7.0", 0},
        {"1e2", "100", 0},
        {"2.5", "25e-1", 0},
        // Texts that are no numbers order after the numbers, by their bytes.
        {"abc", "99999", 1},
        {"abc", "abd", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(iiapi::compareDecimalTexts(c.a, c.b), c.order) << c.a << " " << c.b;
        EXPECT_EQ(iiapi::compareDecimalTexts(c.b, c.a), -c.order) << c.b << " " << c.a;
        ExactDecimal a, b;
        if (iiapi::exactParse(c.a, a) == DecimalFault::None && iiapi::exactParse(c.b, b) == DecimalFault::None) {
            EXPECT_EQ(iiapi::exactCompare(a, b), c.order) << c.a << " " << c.b;
        }
    }
}

class Decimals : public SampleDatabase {
protected:
    void SetUp() override {
        SampleDatabase::SetUp();
        if (HasFatalFailure()) return;
        Must("CREATE TABLE d (k integer, w decimal(31,2), e decimal(5,2), f float)");
        Must("INSERT INTO d VALUES (1, 12345678901234567890123456.78, 1.25, 0.5)");
        Must("INSERT INTO d VALUES (2, 12345678901234567890123456.79, 2.00, 0.5)");
        Must("INSERT INTO d VALUES (3, -0.01, 2.00, 0.5)");
    }
    void Must(const std::string& sql, const std::vector<Param>& params = {}) {
        Result r = s.run(sql, params);
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << sql << ": " << firstMessage(r.msgs);
    }
    // The first column of every row of sql.
    std::vector<std::string> Column(const std::string& sql, const std::vector<Param>& params = {}) {
        Result r = s.run(sql, params);
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << sql << ": " << firstMessage(r.msgs);
        std::vector<std::string> out;
        for (const auto& row : r.rows) out.push_back(trimmed(row[0]));
        return out;
    }
    // The SQLSTATE sql fails with ("" when it succeeds).
    std::string State(const std::string& sql, const std::vector<Param>& params = {}) {
        Result r = s.run(sql, params);
        if (r.status == IIAPI_ST_SUCCESS) return "";
        return r.msgs.empty() ? "?" : r.msgs[0].sqlstate;
    }
};

TEST_F(Decimals, ResultsKeepEveryDigitWithIngresTypes) {
    struct Case {
        const char* expr;
        int16_t type, precision, scale;  // precision and scale of decimals
        const char* value;
    };
    const std::vector<Case> cases = {
        {"w + 1", IIAPI_DEC_TYPE, 31, 2, "12345678901234567890123457.78"},
        {"w + 0", IIAPI_DEC_TYPE, 31, 2, "12345678901234567890123456.78"},
        {"1 + w", IIAPI_DEC_TYPE, 31, 2, "12345678901234567890123457.78"},
        {"w - e", IIAPI_DEC_TYPE, 31, 2, "12345678901234567890123455.53"},
        {"w * 2", IIAPI_DEC_TYPE, 31, 2, "24691357802469135780246913.56"},
        {"w * e", IIAPI_DEC_TYPE, 31, 4, "15432098626543209862654320.9750"},
        {"w / 7", IIAPI_DEC_TYPE, 31, 2, "1763668414462081127160493.83"},
        {"e / 3", IIAPI_DEC_TYPE, 31, 28, "0.4166666666666666666666666667"},
        {"-w", IIAPI_DEC_TYPE, 31, 2, "-12345678901234567890123456.78"},
        {"(w - 0.78) * 1 + e", IIAPI_DEC_TYPE, 31, 2, "12345678901234567890123457.25"},
        {"e + k", IIAPI_DEC_TYPE, 13, 2, "2.25"},
        {"e + ?", IIAPI_DEC_TYPE, 13, 2, "6.25"},
        {"99999999999999999.99 - 0.01", IIAPI_DEC_TYPE, 20, 2, "99999999999999999.98"},
        {"12345678901234567890123456.78", IIAPI_DEC_TYPE, 28, 2, "12345678901234567890123456.78"},
        {"-12345678901234567890123456.78 + 0", IIAPI_DEC_TYPE, 29, 2, "-12345678901234567890123456.78"},
        {"123456789012345678901234", IIAPI_DEC_TYPE, 24, 0, "123456789012345678901234"},
        {"cast(w as decimal(31,4))", IIAPI_DEC_TYPE, 31, 4, "12345678901234567890123456.7800"},
        {"cast('12345678901234567890123456.785' as decimal(31,2))", IIAPI_DEC_TYPE, 31, 2,
         "12345678901234567890123456.79"},
        // A float operand makes a float.
        {"e * f", IIAPI_FLT_TYPE, 0, 0, "0.625"},
    };
    for (const Case& c : cases) {
        std::vector<Param> params;
        if (std::string(c.expr).find('?') != std::string::npos) params.push_back(pInt(5));
        expectOneValue(s.run(std::string("SELECT ") + c.expr + " FROM d WHERE k = 1", params), c.expr, c.type,
                       c.precision, c.scale, c.value);
    }
}

TEST_F(Decimals, AggregatesAreExact) {
    Must("CREATE TABLE a (g integer, x decimal(10,2))");
    for (const char* v : {"(1, 1.00)", "(1, 2.00)", "(1, 2.00)", "(2, 0.10)", "(2, 0.20)", "(2, NULL)"})
        Must(std::string("INSERT INTO a VALUES ") + v);
    Result r = s.exec("SELECT sum(x), avg(x), min(x), max(x) FROM a WHERE g = 1");
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    ASSERT_EQ(r.desc.size(), 4u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(r.desc[i].ds_dataType, IIAPI_DEC_TYPE) << i;
        EXPECT_EQ(r.desc[i].ds_precision, 31) << i;
        EXPECT_EQ(r.desc[i].ds_scale, 2) << i;
    }
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(trimmed(r.rows[0][0]), "5.00");
    EXPECT_EQ(trimmed(r.rows[0][1]), "1.67");
    EXPECT_EQ(trimmed(r.rows[0][2]), "1.00");
    EXPECT_EQ(trimmed(r.rows[0][3]), "2.00");
    // Sums of the 31-digit column and of an expression; NULLs count for nothing.
    EXPECT_EQ(Column("SELECT sum(w) FROM d WHERE k < 3"), (std::vector<std::string>{"24691357802469135780246913.57"}));
    EXPECT_EQ(Column("SELECT sum(w + 1) FROM d WHERE k < 3"),
              (std::vector<std::string>{"24691357802469135780246915.57"}));
    EXPECT_EQ(Column("SELECT avg(x) FROM a WHERE g = 2"), (std::vector<std::string>{"0.15"}));
    EXPECT_EQ(Column("SELECT sum(DISTINCT x) FROM a WHERE g = 1"), (std::vector<std::string>{"3.00"}));
    EXPECT_EQ(Column("SELECT sum(x) FROM a WHERE g = 3"), (std::vector<std::string>{"<null>"}));
    // By group, in the order of the sums, and a condition on one.
    EXPECT_EQ(Column("SELECT g FROM a GROUP BY g HAVING sum(x) > 0.25 ORDER BY sum(x)"),
              (std::vector<std::string>{"2", "1"}));
    EXPECT_EQ(Column("SELECT g FROM a GROUP BY g HAVING avg(x) = 1.67"), (std::vector<std::string>{"1"}));
    // A sum past 31 digits overflows.
    Must("INSERT INTO d VALUES (4, 99999999999999999999999999999.99, 0, 0)");
    EXPECT_EQ(State("SELECT sum(w) FROM d"), "22003");
}

TEST_F(Decimals, OverflowAndDivisionByZeroFail) {
    struct Case {
        const char* expr;
        std::vector<Param> params;
        const char* state;
    };
    const std::vector<Case> cases = {
        {"w * 100000", {}, "22003"},
        {"w * w", {}, "22003"},
        {"w + 99999999999999999999999999999.99", {}, "22003"},
        {"w / 0", {}, "22012"},
        {"e / (k - 1)", {}, "22012"},
        {"w / 0.00", {}, "22012"},
        {"w / ?", {pDecimal("0.00", 3, 2)}, "22012"},
        {"w + ?", {pVarchar("x1")}, "22018"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(State(std::string("SELECT ") + c.expr + " FROM d WHERE k = 1", c.params), c.state) << c.expr;
}

TEST_F(Decimals, ComparisonsAndOrderGoByTheNumber) {
    struct Case {
        const char* where;
        std::vector<std::string> keys;
    };
    const std::vector<Case> cases = {
        {"w = 12345678901234567890123456.78", {"1"}},
        {"w = 12345678901234567890123456.780", {"1"}},
        {"w > 12345678901234567890123456.78", {"2"}},
        {"w <> 12345678901234567890123456.78", {"2", "3"}},
        {"w + 0 = 12345678901234567890123456.79", {"2"}},
        {"w - 0.01 >= 12345678901234567890123456.78", {"2"}},
        {"w BETWEEN 0 AND 12345678901234567890123456.78", {"1"}},
        {"w + 0 BETWEEN -1 AND 12345678901234567890123456.78", {"1", "3"}},
        {"w + 0 NOT BETWEEN -1 AND 12345678901234567890123456.78", {"2"}},
        {"w < 0", {"3"}},
        {"e = 2", {"2", "3"}},
        {"e = 2.0", {"2", "3"}},
        {"e * 2 = 4", {"2", "3"}},
        {"e = k", {"2"}},
        {"e < '1.5'", {"1"}},
        {"w = (SELECT max(w) FROM d)", {"2"}},
        {"cast(w as decimal(31,1)) = 12345678901234567890123456.8", {"1", "2"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Column(std::string("SELECT k FROM d WHERE ") + c.where + " ORDER BY k"), c.keys) << c.where;
    // A decimal parameter meets the column at its value.
    EXPECT_EQ(Column("SELECT k FROM d WHERE w = ?", {pDecimal("12345678901234567890123456.790", 31, 3)}),
              (std::vector<std::string>{"2"}));
    EXPECT_EQ(Column("SELECT k FROM d WHERE w + ? > ? ORDER BY k",
                     {pInt(1), pDecimal("12345678901234567890123457.78", 31, 2)}),
              (std::vector<std::string>{"2"}));
    // Sorted, grouped and taken as the least and greatest by the number, not the text.
    Must("INSERT INTO d VALUES (4, 9.5, 10.00, 0)");
    EXPECT_EQ(Column("SELECT k FROM d ORDER BY w"), (std::vector<std::string>{"3", "4", "1", "2"}));
    EXPECT_EQ(Column("SELECT k FROM d ORDER BY w + 1 DESC"), (std::vector<std::string>{"2", "1", "4", "3"}));
    EXPECT_EQ(Column("SELECT k FROM d ORDER BY e, k"), (std::vector<std::string>{"1", "2", "3", "4"}));
    EXPECT_EQ(Column("SELECT e * 1 FROM d GROUP BY e * 1 ORDER BY 1"),
              (std::vector<std::string>{"1.25", "2.00", "10.00"}));
    EXPECT_EQ(Column("SELECT max(e + 0) FROM d"), (std::vector<std::string>{"10.00"}));
    EXPECT_EQ(Column("SELECT min(w) FROM d"), (std::vector<std::string>{"-0.01"}));
    EXPECT_EQ(Column("SELECT count(DISTINCT e) FROM d"), (std::vector<std::string>{"3"}));
    // A join on decimal columns, and a unique index that finds 2.0 the same as 2.00.
    Must("CREATE TABLE j (v decimal(6,1))");
    Must("INSERT INTO j VALUES (2.0)");
    EXPECT_EQ(Column("SELECT k FROM d, j WHERE d.e = j.v ORDER BY k"), (std::vector<std::string>{"2", "3"}));
    Must("CREATE UNIQUE INDEX ju ON j (v)");
    EXPECT_EQ(State("INSERT INTO j VALUES (2)"), "23000");
}

TEST_F(Decimals, ValuesAreCheckedWhereTheyAreWritten) {
    Must("CREATE TABLE c (k integer, v decimal(5,2))");
    Must("CREATE TABLE src (k integer, t varchar(10), n decimal(10,1))");
    Must("INSERT INTO src VALUES (1, 'x1', 123456.7)");
    struct Case {
        const char* what;
        std::string sql;
        std::vector<Param> params;
        const char* state;
    };
    const std::vector<Case> cases = {
        {"a literal out of range", "INSERT INTO c VALUES (1, 123456.7)", {}, "22003"},
        {"a literal that is no number", "INSERT INTO c VALUES (1, 'x1')", {}, "22018"},
        {"a decimal parameter", "INSERT INTO c VALUES (1, ?)", {pDecimal("123456.7", 7, 1)}, "22003"},
        {"a text parameter", "INSERT INTO c VALUES (1, ?)", {pVarchar("x1")}, "22018"},
        {"a float parameter", "INSERT INTO c VALUES (1, ?)", {pFloat(1e6)}, "22003"},
        {"insert ... select of a number", "INSERT INTO c SELECT k, n FROM src", {}, "22003"},
        {"insert ... select of a text", "INSERT INTO c SELECT k, t FROM src", {}, "22018"},
        {"an update by an expression", "UPDATE c SET v = v * 1000", {}, "22003"},
        {"an update to a text", "UPDATE c SET v = 'abc'", {}, "22018"},
    };
    Must("INSERT INTO c VALUES (0, 999.99)");
    for (const Case& c : cases) EXPECT_EQ(State(c.sql, c.params), c.state) << c.what;
    // Nothing of it was written; what fits is stored at the column's scale, rounded.
    EXPECT_EQ(Column("SELECT v FROM c"), (std::vector<std::string>{"999.99"}));
    Must("INSERT INTO c VALUES (1, 1.005)");
    Must("INSERT INTO c VALUES (2, ?)", {pVarchar(" -2.5 ")});
    Must("INSERT INTO c VALUES (3, ?)", {pInt(7)});
    Must("UPDATE c SET v = v / 3 WHERE k = 3");
    EXPECT_EQ(Column("SELECT v FROM c WHERE k > 0 ORDER BY k"), (std::vector<std::string>{"1.01", "-2.50", "2.33"}));
    EXPECT_EQ(Column("SELECT k FROM c WHERE v = 1.01"), (std::vector<std::string>{"1"}));
    // An added decimal column is checked the same way.
    Must("ALTER TABLE c ADD COLUMN z decimal(3,1)");
    EXPECT_EQ(State("UPDATE c SET z = 100 WHERE k = 1"), "22003");
    Must("UPDATE c SET z = 1.25 WHERE k = 1");
    EXPECT_EQ(Column("SELECT z FROM c WHERE k = 1"), (std::vector<std::string>{"1.3"}));
    // CREATE TABLE ... AS SELECT makes decimal columns that keep every digit.
    Must("CREATE TABLE copy AS SELECT k, w + 1 AS w1 FROM d WHERE k = 1");
    EXPECT_EQ(Column("SELECT w1 + 1 FROM copy"), (std::vector<std::string>{"12345678901234567890123458.78"}));
}

// A table of an engine that stored decimals as SQLite's numbers (NUMERIC up to 15 digits, BLOB
// past them, the literal a double) reads as before and computes exactly with what it holds.
TEST_F(Decimals, TablesMadeBeforeStillRead) {
    Must("CREATE TABLE old (k integer, n decimal(8,2), w decimal(31,2))");
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    char path[512];
    ASSERT_EQ(iiengine_databasePath(db.c_str(), path, sizeof path), 0);
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path, &raw), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(raw,
                           "DROP TABLE old; CREATE TABLE old (k INT, n NUMERIC, w BLOB);"
                           "INSERT INTO old VALUES (1, 1600.25, '12345678901234567890123456.78');"
                           "INSERT INTO old VALUES (2, 2.5, 3.25);"
                           "INSERT INTO old VALUES (3, 1600, 12345678901234567890123456.78);",
                           nullptr, nullptr, &err),
              SQLITE_OK)
        << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(raw);
    EXPECT_EQ(Column("SELECT n FROM old ORDER BY k"), (std::vector<std::string>{"1600.25", "2.50", "1600.00"}));
    EXPECT_EQ(Column("SELECT w FROM old ORDER BY k"),
              (std::vector<std::string>{"12345678901234567890123456.78", "3.25", "12345678901234600000000000.00"}));
    EXPECT_EQ(Column("SELECT n + 1 FROM old ORDER BY k"), (std::vector<std::string>{"1601.25", "3.50", "1601.00"}));
    EXPECT_EQ(Column("SELECT w + 1 FROM old WHERE k = 1"), (std::vector<std::string>{"12345678901234567890123457.78"}));
    EXPECT_EQ(Column("SELECT sum(n) FROM old"), (std::vector<std::string>{"3202.75"}));
    EXPECT_EQ(Column("SELECT k FROM old WHERE n = 1600.25"), (std::vector<std::string>{"1"}));
    EXPECT_EQ(Column("SELECT k FROM old WHERE n = ?", {pDecimal("2.50", 5, 2)}), (std::vector<std::string>{"2"}));
    EXPECT_EQ(Column("SELECT k FROM old WHERE w = 12345678901234567890123456.78"), (std::vector<std::string>{"1"}));
    EXPECT_EQ(Column("SELECT k FROM old WHERE w = 3.25"), (std::vector<std::string>{"2"}));
    // New rows go in as they always did, and a value it holds past its precision is 22003 when read.
    Must("INSERT INTO old VALUES (4, 12345678.9, 1)");
    EXPECT_EQ(State("SELECT n FROM old WHERE k = 4"), "22003");
}

}  // namespace
