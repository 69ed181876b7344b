// Arithmetic as the server types and checks it: the precision and scale of decimal results of
// + - * /, integers taken as decimals of their digits, float over decimal, and division or
// remainder by zero failing the statement instead of giving NULL.
#include "tests/iiapi/api_fixture.h"

using namespace apitest;

namespace {

class Arithmetic : public SampleDatabase {
protected:
    void SetUp() override {
        SampleDatabase::SetUp();
        if (HasFatalFailure()) return;
        Must(
            "CREATE TABLE a (k integer, i2 smallint, i4 integer, i8 bigint, d82 decimal(8,2), d53 decimal(5,3), "
            "d20 decimal(20,4), f float, r real)");
        Must("INSERT INTO a VALUES (1, 3, 4, 5, 1600.25, 1.125, 12345678901234.5678, 0.5, 2.0)");
    }
    void Must(const std::string& sql) {
        Result r = s.exec(sql);
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << sql << ": " << firstMessage(r.msgs);
    }
};

TEST_F(Arithmetic, DecimalResultsHaveIngresPrecisionAndScale) {
    struct Case {
        const char* expr;
        int16_t type;
        int16_t precision, scale;  // decimals only
        const char* value;         // nullptr: not checked
    };
    const std::vector<Case> cases = {
        // + and -: the larger scale, the larger count of integral digits, one digit more.
        {"d82 + d53", IIAPI_DEC_TYPE, 10, 3, "1601.375"},
        {"d82 - d53", IIAPI_DEC_TYPE, 10, 3, "1599.125"},
        {"d82 + 1", IIAPI_DEC_TYPE, 13, 2, "1601.25"},
        {"i2 + d53", IIAPI_DEC_TYPE, 9, 3, "4.125"},
        {"d82 + i8", IIAPI_DEC_TYPE, 22, 2, "1605.25"},
        {"d20 + d82", IIAPI_DEC_TYPE, 21, 4, nullptr},
        // *: the sums of the precisions and of the scales, at most 31 digits.
        {"d82 * 3", IIAPI_DEC_TYPE, 18, 2, "4800.75"},
        {"i2 * d82", IIAPI_DEC_TYPE, 13, 2, "4800.75"},
        {"d82 * d53", IIAPI_DEC_TYPE, 13, 5, "1800.28125"},
        {"d20 * d82", IIAPI_DEC_TYPE, 28, 6, nullptr},
        {"d20 * i8", IIAPI_DEC_TYPE, 31, 4, nullptr},
        {"d82 * 1.5", IIAPI_DEC_TYPE, 10, 3, "2400.375"},
        // /: precision 31, scale 31 - p1 + s1 - s2.
        {"d82 / 2", IIAPI_DEC_TYPE, 31, 25, nullptr},
        {"d82 / d53", IIAPI_DEC_TYPE, 31, 22, nullptr},
        // Precedence: d53 * 2 is DECIMAL(15,3), then + d82.
        {"d82 + d53 * 2", IIAPI_DEC_TYPE, 16, 3, "1602.500"},
        {"(d82 + d53) * 2", IIAPI_DEC_TYPE, 20, 3, "3202.750"},
        {"-d82 + 1", IIAPI_DEC_TYPE, 13, 2, "-1599.25"},
        // Float (or real) with a decimal is a float.
        {"d82 * f", IIAPI_FLT_TYPE, -1, -1, nullptr},
        {"d82 + r", IIAPI_FLT_TYPE, -1, -1, nullptr},
        {"f * 2", IIAPI_FLT_TYPE, -1, -1, nullptr},
        // Integers stay integers.
        {"i2 + i4", IIAPI_INT_TYPE, -1, -1, "7"},
        {"i4 * i8", IIAPI_INT_TYPE, -1, -1, "20"},
        {"i4 / 3", IIAPI_INT_TYPE, -1, -1, "1"},
    };
    for (const Case& c : cases)
        expectOneValue(s.exec(std::string("SELECT ") + c.expr + " FROM a"), c.expr, c.type, c.precision, c.scale,
                       c.value);
}

// SQLite answers NULL; the server fails the statement with 22012, for integers, floats,
// decimals, MOD and divisors of every form.
TEST_F(Arithmetic, DivisionOrRemainderByZeroFails) {
    const char* exprs[] = {
        "i4 / 0",
        "i4 / (k - 1)",
        "k / i4 / 0",
        "i8 / -(k - 1)",
        "f / 0",
        "float8(1) / 0.0",
        "d82 / 0",
        "mod(i4, 0)",
        "mod(i4, k - 1)",
        "mod(d82, k - 1)",
        "i4 % 0",
        "i4 / ?",
        "a.i4 / a.k * 0 / (i2 - 3)",
    };
    for (const char* e : exprs) {
        std::vector<Param> params;
        if (std::string(e).find('?') != std::string::npos) params.push_back(pInt(0));
        Result r = s.run(std::string("SELECT ") + e + " FROM a", params);
        EXPECT_EQ(r.status, IIAPI_ST_ERROR) << e;
        ASSERT_FALSE(r.msgs.empty()) << e;
        EXPECT_EQ(r.msgs[0].sqlstate, "22012") << e << ": " << r.msgs[0].text;
    }
    // In a condition and a change too; the row is left as it was.
    Result w = s.exec("SELECT k FROM a WHERE i4 / (k - 1) > 1");
    EXPECT_EQ(w.status, IIAPI_ST_ERROR);
    Result u = s.exec("UPDATE a SET i4 = i4 / (k - 1)");
    EXPECT_EQ(u.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(u.msgs.empty());
    EXPECT_EQ(u.msgs[0].sqlstate, "22012");
    Result left = s.exec("SELECT i4 FROM a");
    ASSERT_EQ(left.rows.size(), 1u);
    EXPECT_EQ(trimmed(left.rows[0][0]), "4");
    // Divisors that are not zero, NULL ones and text ones divide as before.
    const std::vector<std::pair<const char*, const char*>> fine = {
        {"i4 / 3", "1"},        {"i4 / -3", "-1"},       {"i8 / (k + 1)", "2"}, {"mod(i4, 3)", "1"},
        {"i4 % 3", "1"},        {"i4 / NULL", "<null>"}, {"i4 / '2'", "2"},     {"(i4 + 2) / 2 * 3", "9"},
        {"i4 / (i2 - 1)", "2"}, {"f / 2", nullptr},
    };
    for (const auto& [e, want] : fine) {
        Result r = s.exec(std::string("SELECT ") + e + " FROM a");
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << e << ": " << firstMessage(r.msgs);
        ASSERT_EQ(r.rows.size(), 1u) << e;
        if (want) {
            EXPECT_EQ(trimmed(r.rows[0][0]), want) << e;
        }
    }
}

}  // namespace
