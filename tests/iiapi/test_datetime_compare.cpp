// Date, time and timestamp values meet as the times they stand for: a parameter or a literal in
// any spelling the server reads, with more or fewer fraction digits than the column keeps,
// finds the row; ordering, IN, BETWEEN, joins, grouping and DISTINCT agree with equality.
#include "tests/iiapi/api_fixture.h"

using namespace apitest;

namespace {

// However the table got its columns, and read through a view, it compares the same way: declared
// with them, made by CREATE TABLE AS (its rows copied, one inserted after), given them by ALTER
// TABLE ADD.
struct Making {
    const char* name;
    std::vector<std::string> statements;  // before rows 1 to 3 go into `into`
    const char* into;
};
const char* const kColumns = "ts timestamp(6), t0 timestamp(0), da ansidate, ig date, tm time, t3 time(3)";
const char* const kRows[] = {
    "VALUES (1, '2024-01-15 10:20:30.123456', '2024-01-15 10:20:30', '2024-01-15', '2024-01-15', '10:20:30', "
    "'10:20:30.5')",
    "VALUES (2, '2024-01-16 00:00:00', '2024-01-16 00:00:00', '2024-01-16', '2024-01-16 08:00:00', '11:00:00', "
    "'11:00:00')",
    "VALUES (3, '2024-01-15 10:20:30.123456', '2024-01-15 10:20:30', '2024-01-15', '2024-01-15', '10:20:30', "
    "'10:20:30.5')"};
const Making kMakings[] = {
    {"Declared", {std::string("CREATE TABLE d (n integer, ") + kColumns + ")"}, "d"},
    {"CreatedAsSelect",
     {std::string("CREATE TABLE d0 (n integer, ") + kColumns + ")", std::string("INSERT INTO d0 ") + kRows[0],
      std::string("INSERT INTO d0 ") + kRows[1], "CREATE TABLE d AS SELECT * FROM d0 WHERE n <= 2"},
     "d"},
    {"ViewOfCreatedAsSelect",
     {std::string("CREATE TABLE d0 (n integer, ") + kColumns + ")", std::string("INSERT INTO d0 ") + kRows[0],
      std::string("INSERT INTO d0 ") + kRows[1], "CREATE TABLE d1 AS SELECT * FROM d0",
      "CREATE VIEW d AS SELECT * FROM d1"},
     "d1"},
    {"AlteredToAdd",
     {"CREATE TABLE d (n integer)", "ALTER TABLE d ADD COLUMN ts timestamp(6)", "ALTER TABLE d ADD t0 timestamp(0)",
      "ALTER TABLE d ADD da ansidate", "ALTER TABLE d ADD COLUMN ig date", "ALTER TABLE d ADD tm time",
      "ALTER TABLE d ADD t3 time(3)"},
     "d"},
};

void PrintTo(const Making& m, std::ostream* os) { *os << m.name; }

class DateCompare : public ::testing::TestWithParam<Making> {
protected:
    void SetUp() override {
        db = freshDatabase();
        ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
        for (const std::string& sql : GetParam().statements) Must(sql);
        // Row 1 and 3 hold the same instant; row 2 a later one. Rows the making copied are there.
        for (const char* row : kRows) {
            const std::string n(1, row[8]);
            if (Column(std::string("SELECT n FROM ") + GetParam().into + " WHERE n = " + n).empty())
                Must(std::string("INSERT INTO ") + GetParam().into + " " + row);
        }
        ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    }
    void Must(const std::string& sql) {
        Result r = s.exec(sql);
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << sql << ": " << firstMessage(r.msgs);
    }
    // The first column of every row, as trimmed text.
    std::vector<std::string> Column(const std::string& sql, const std::vector<Param>& params = {}) {
        Result r = s.run(sql, params);
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << sql << ": " << firstMessage(r.msgs);
        std::vector<std::string> out;
        for (auto& row : r.rows) out.push_back(trimmed(row.at(0)));
        return out;
    }
    using Ns = std::vector<std::string>;
    std::string db;
    Session s;
};

// A value compared with a column is taken at its value, whatever its text: the driver's
// "yyyy_mm_dd hh:mm:ss.fffffffff", other date orders, the ISO form with fewer digits.
TEST_P(DateCompare, ParametersMatchWhateverTheirSpellingOrDigits) {
    struct Case {
        const char* where;
        Param value;
        Ns rows;
    };
    const std::vector<Case> cases = {
        {"ts = ?", pChar("2024_01_15 10:20:30.123456000"), {"1", "3"}},
        {"ts = ?", pChar("2024-01-15 10:20:30.123456"), {"1", "3"}},
        {"ts = ?", pChar("2024_01_15 10:20:30.123457000"), {}},
        {"ts = ?", pChar("2024_01_16 00:00:00"), {"2"}},
        {"ts = ?", pChar("2024_01_16"), {"2"}},
        {"ts = ?", pDate(IIAPI_TSWO_TYPE, "2024-01-15 10:20:30.123456"), {"1", "3"}},
        {"t0 = ?", pChar("2024_01_15 10:20:30.000000000"), {"1", "3"}},
        {"t0 = ?", pChar("01/15/2024 10:20:30"), {"1", "3"}},
        {"t0 = ?", pChar("15-jan-2024 10:20:30"), {"1", "3"}},
        {"t0 = ?", pChar("2024_01_15 10:20:30.5"), {}},
        {"da = ?", pChar("2024_01_15"), {"1", "3"}},
        {"da = ?", pDate(IIAPI_ADATE_TYPE, "2024-01-15"), {"1", "3"}},
        {"ig = ?", pChar("2024_01_15"), {"1", "3"}},
        {"ig = ?", pChar("2024_01_16 08:00:00.000000000"), {"2"}},
        {"tm = ?", pChar("10:20:30"), {"1", "3"}},
        {"tm = ?", pChar("10:20:30.000000000"), {"1", "3"}},
        {"t3 = ?", pChar("10:20:30.500000000"), {"1", "3"}},
        {"t3 = ?", pChar("10:20:30"), {}},
        {"ts > ?", pChar("2024_01_15 10:20:30.123456000"), {"2"}},
        {"ts <= ?", pChar("2024-01-15 10:20:30.123456001"), {"1", "3"}},
        {"? < ts", pChar("2024_01_15 23:59:59.999999999"), {"2"}},
    };
    for (const Case& c : cases) {
        const std::string sql = std::string("SELECT n FROM d WHERE ") + c.where + " ORDER BY n";
        EXPECT_EQ(Column(sql, {c.value}), c.rows) << c.where << " with " << c.value.bytes;
    }
}

TEST_P(DateCompare, LiteralsInIngresAndAnsiFormsAreTakenAtTheirValue) {
    const std::vector<std::pair<const char*, Ns>> cases = {
        {"ts = '2024_01_15 10:20:30.123456'", {"1", "3"}},
        {"ts = '2024-01-15 10:20:30.123456000'", {"1", "3"}},
        {"ts = TIMESTAMP '2024-01-15 10:20:30.123456'", {"1", "3"}},
        {"ts = TIMESTAMP '2024-01-16 00:00:00'", {"2"}},
        {"ts = DATE '2024-01-16'", {"2"}},
        {"t0 = '15-jan-2024 10:20:30'", {"1", "3"}},
        {"t0 = TIMESTAMP '2024-01-15 10:20:30.000'", {"1", "3"}},
        // Not cut to the column's precision: a later instant is another value.
        {"t0 = '2024-01-15 10:20:30.7'", {}},
        {"da = DATE '2024-01-15'", {"1", "3"}},
        {"da = '01/15/2024'", {"1", "3"}},
        {"ig = DATE '2024-01-15'", {"1", "3"}},
        {"ig = '16-jan-2024 08:00:00'", {"2"}},
        {"tm = TIME '10:20:30'", {"1", "3"}},
        {"t3 = TIME '10:20:30.5'", {"1", "3"}},
        {"t3 = '10:20:30.50'", {"1", "3"}},
        {"ts IN ('2024_01_16', '2024-01-15 10:20:30.1234560')", {"1", "2", "3"}},
        {"ts BETWEEN '2024_01_15 10:20:30.123456' AND '2024-01-15 23:00'", {"1", "3"}},
        {"ts BETWEEN TIMESTAMP '2024-01-15 10:20:30.123457' AND TIMESTAMP '2024-01-16 00:00:00'", {"2"}},
        {"tm NOT IN ('10:20:30.000')", {"2"}},
    };
    for (const auto& [where, rows] : cases) {
        const std::string sql = std::string("SELECT n FROM d WHERE ") + where + " ORDER BY n";
        EXPECT_EQ(Column(sql), rows) << where;
    }
}

// Joins across precisions and kinds, ordering, grouping, DISTINCT and MIN/MAX agree with the
// equality above.
TEST_P(DateCompare, JoinsOrderingAndGroupingAgree) {
    Must("CREATE TABLE e (k integer, t9 timestamp(9), t2 timestamp(2), dd ansidate)");
    Must("INSERT INTO e VALUES (1, '2024-01-15 10:20:30.123456000', '2024-01-15 10:20:30.12', '2024-01-16')");
    Must("INSERT INTO e VALUES (2, '2024-01-15 10:20:30.123456001', '2024-01-15 10:20:30', '2024-01-15')");
    EXPECT_EQ(Column("SELECT d.n FROM d, e WHERE d.ts = e.t9 ORDER BY d.n"), (Ns{"1", "3"}));
    EXPECT_EQ(Column("SELECT e.k FROM e JOIN d ON e.t9 = d.ts WHERE d.n = 1"), (Ns{"1"}));
    EXPECT_EQ(Column("SELECT e.k FROM d JOIN e ON d.t0 = e.t2 WHERE d.n = 1"), (Ns{"2"}));
    // A date meets a timestamp at its midnight.
    EXPECT_EQ(Column("SELECT d.n FROM d, e WHERE d.ts = e.dd ORDER BY d.n"), (Ns{"2"}));
    EXPECT_EQ(Column("SELECT e.k FROM e, d WHERE e.dd = d.ig AND d.n = 1"), (Ns{"2"}));
    // Rows kept with other digits and spellings order as the times.
    Must("CREATE TABLE o (k integer, t timestamp(6), ig date)");
    const char* stamps[] = {"2024-01-15 10:20:30.5", "2024-01-15 10:20:30", "2024-01-15 10:20:29.999999",
                            "2024-01-14 23:00:00"};
    int k = 0;
    for (const char* st : stamps)
        ASSERT_EQ(s.run("INSERT INTO o VALUES (?, ?, ?)", {pInt(++k), pChar(st), pChar(st)}).status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("INSERT INTO o VALUES (5, NULL, '2024-01-15')").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(Column("SELECT k FROM o WHERE t IS NOT NULL ORDER BY t"), (Ns{"4", "3", "2", "1"}));
    EXPECT_EQ(Column("SELECT k FROM o ORDER BY ig DESC, k"), (Ns{"1", "2", "3", "5", "4"}));
    EXPECT_EQ(Column("SELECT max(t) FROM o"), (Ns{"2024-01-15 10:20:30.500000"}));
    // Equal values group together and are one under DISTINCT, whichever digits came in.
    EXPECT_EQ(Column("SELECT count(*) FROM d GROUP BY ts ORDER BY 1"), (Ns{"1", "2"}));
    EXPECT_EQ(Column("SELECT count(DISTINCT ts) FROM d"), (Ns{"2"}));
    EXPECT_EQ(Column("SELECT count(*) FROM (SELECT DISTINCT t9 FROM e UNION SELECT ts FROM d) x"), (Ns{"3"}));
}

// An index on a date column finds rows by value too, and a unique one refuses a second spelling
// of a stored value.
TEST_P(DateCompare, IndexesFindAndRefuseByValue) {
    Must("CREATE TABLE u (t timestamp(6) NOT NULL, v integer)");
    Must("CREATE UNIQUE INDEX u_t ON u (t)");
    Must("INSERT INTO u VALUES ('2024-01-15 10:20:30.1', 1)");
    EXPECT_EQ(Column("SELECT v FROM u WHERE t = ?", {pChar("2024_01_15 10:20:30.100000000")}), (Ns{"1"}));
    Result dup = s.run("INSERT INTO u VALUES (?, 2)", {pChar("2024_01_15 10:20:30.100000000")});
    EXPECT_EQ(dup.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(dup.msgs.empty());
    EXPECT_EQ(dup.msgs[0].sqlstate, "23000") << dup.msgs[0].text;
}

// A literal compared with a date column that is no date of its kind is the server's error.
TEST_P(DateCompare, ComparedLiteralThatIsNoDateIsRefused) {
    Result r = s.exec("SELECT n FROM d WHERE ts = '2024-02-30 10:00:00'");
    EXPECT_EQ(r.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(r.msgs.empty());
    EXPECT_EQ(r.msgs[0].sqlstate, "22007") << r.msgs[0].text;
}

INSTANTIATE_TEST_SUITE_P(Makings, DateCompare, ::testing::ValuesIn(kMakings),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
