// What a client of a real server can tell: read snapshots and locks, cursors that outlive the
// commits of other statements, the stored form of dates and times, typed CAST, aggregates and
// typed literals.
#include "tests/iiapi/api_fixture.h"

using namespace apitest;

namespace {

class Semantics : public ::testing::Test {
protected:
    void SetUp() override {
        db = freshDatabase();
        ASSERT_EQ(a.connect(environment(), db, "ann"), IIAPI_ST_SUCCESS);
        ASSERT_EQ(b.connect(environment(), db, "bea"), IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.exec("CREATE TABLE t (k integer, v varchar(10))").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.exec("CREATE TABLE u (k integer)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    }
    long count(Session& s, const char* table = "t") {
        Result r = s.run(std::string("SELECT count(*) FROM ") + table, {}, IIAPI_QT_SELECT_SINGLE);
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
        return r.rows.size() == 1 && r.rows[0][0] ? std::stol(*r.rows[0][0]) : -1;
    }
    void fill(int n) {
        for (int k = 0; k < n; ++k)
            ASSERT_EQ(a.run("INSERT INTO t VALUES (?, 'r')", {pInt(k)}).status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    }
    // Reads the rest of an open one-column integer cursor; the rows, and the final status.
    static int readRest(II_PTR h, IIAPI_STATUS& last) {
        int n = 0;
        int32_t v;
        while ((last = fetchOne(h, &v)) == IIAPI_ST_SUCCESS) ++n;
        return n;
    }
    std::string db;
    Session a, b;
};

// A session that only read holds no snapshot and no lock: it sees the other session's later
// commit and can write after it (the driver's autocommit commits only after changes).
TEST_F(Semantics, ReadsHoldNoSnapshotBetweenStatements) {
    EXPECT_EQ(count(a), 0);
    ASSERT_EQ(b.exec("INSERT INTO t VALUES (1, 'b')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 1);
    Result w = a.exec("INSERT INTO t VALUES (2, 'a')");
    ASSERT_EQ(w.status, IIAPI_ST_SUCCESS) << firstMessage(w.msgs);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(b), 2);
}

// A cursor read in part and closed leaves nothing behind either.
TEST_F(Semantics, ClosedCursorHoldsNothing) {
    fill(3);
    IIAPI_STATUS st;
    II_PTR h = a.open("SELECT k FROM t", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    int32_t v;
    ASSERT_EQ(fetchOne(h, &v), IIAPI_ST_SUCCESS);
    ASSERT_EQ(Session::close(h), IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.exec("INSERT INTO t VALUES (9, 'b')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    Result w = a.exec("INSERT INTO t VALUES (10, 'a')");
    ASSERT_EQ(w.status, IIAPI_ST_SUCCESS) << firstMessage(w.msgs);
    EXPECT_EQ(count(a), 5);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
}

// Repeatable read and serializable keep the transaction's snapshot.
TEST_F(Semantics, SerializableSessionKeepsItsSnapshot) {
    ASSERT_EQ(a.exec("SET SESSION ISOLATION LEVEL SERIALIZABLE").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 0);
    ASSERT_EQ(b.exec("INSERT INTO t VALUES (1, 'b')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 0);
    ASSERT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 1);
    ASSERT_EQ(a.exec("SET SESSION ISOLATION LEVEL READ COMMITTED").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.exec("INSERT INTO t VALUES (2, 'b')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 2);
}

// The access mode and the isolation level in one statement, as the agent sets them: both hold.
TEST_F(Semantics, IsolationSetWithTheAccessModeHolds) {
    ASSERT_EQ(a.exec("SET SESSION READ WRITE , ISOLATION LEVEL SERIALIZABLE").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 0);
    ASSERT_EQ(b.exec("INSERT INTO t VALUES (1, 'b')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 0);
    ASSERT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 1);
    ASSERT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("SET SESSION READ ONLY , ISOLATION LEVEL READ COMMITTED").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 1);
    ASSERT_EQ(b.exec("INSERT INTO t VALUES (2, 'b')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(a), 2);
    EXPECT_NE(a.exec("INSERT INTO u VALUES (2)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("SET SESSION READ WRITE").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(a.exec("INSERT INTO u VALUES (3)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.rollback(), IIAPI_ST_SUCCESS);
}

// A cursor opened before the transaction changed anything reads on through the commit of the
// session's later work; one opened after changes closes with them (CommitClosesOpenCursors).
TEST_F(Semantics, CursorOpenedBeforeTheChangesOutlivesTheirCommit) {
    fill(50);
    IIAPI_STATUS st;
    II_PTR h = a.open("SELECT k FROM t", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    int32_t v;
    for (int k = 0; k < 10; ++k) ASSERT_EQ(fetchOne(h, &v), IIAPI_ST_SUCCESS);
    for (int k = 0; k < 5; ++k) {
        Result w = a.run("INSERT INTO u VALUES (?)", {pInt(k)});
        ASSERT_EQ(w.status, IIAPI_ST_SUCCESS) << firstMessage(w.msgs);
        ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    }
    IIAPI_STATUS last;
    EXPECT_EQ(readRest(h, last), 40);
    EXPECT_EQ(last, IIAPI_ST_NO_DATA);
    EXPECT_EQ(Session::close(h), IIAPI_ST_SUCCESS);
    EXPECT_EQ(count(b, "u"), 5);
}

// The open cursor reads an older snapshot than another session's commit; the session still gets
// the write lock, and the cursor still returns every row it had to give.
TEST_F(Semantics, WriteAfterAnotherCommitWhileACursorIsOpen) {
    fill(30);
    IIAPI_STATUS st;
    II_PTR h = a.open("SELECT k FROM t", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    int32_t v;
    ASSERT_EQ(fetchOne(h, &v), IIAPI_ST_SUCCESS);
    EXPECT_EQ(v, 0);
    ASSERT_EQ(b.exec("INSERT INTO t VALUES (100, 'b')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(b.commit(), IIAPI_ST_SUCCESS);
    Result w = a.exec("INSERT INTO u VALUES (1)");
    ASSERT_EQ(w.status, IIAPI_ST_SUCCESS) << firstMessage(w.msgs);
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    int n = 0;
    int32_t last = -1;
    while (fetchOne(h, &v) == IIAPI_ST_SUCCESS) {
        EXPECT_EQ(v, last < 0 ? 1 : last + 1);
        last = v;
        ++n;
    }
    EXPECT_EQ(n, 29);  // the rows of its own snapshot, without b's later one
    EXPECT_EQ(Session::close(h), IIAPI_ST_SUCCESS);
}

// ---- Dates and times ------------------------------------------------------------------------

class Dates : public Semantics {
protected:
    void SetUp() override {
        Semantics::SetUp();
        ASSERT_EQ(a.exec("CREATE TABLE d (n integer, da ansidate, tm time, t0 timestamp(0), t3 timestamp(3), "
                         "t6 timestamp(6), ig date)")
                      .status,
                  IIAPI_ST_SUCCESS);
        ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
    }
    // The stored text of each date column of row n.
    std::vector<std::string> stored(int n) {
        Result r = a.run(
            "SELECT varchar(da), varchar(tm), varchar(t0), varchar(t3), varchar(t6), varchar(ig) "
            "FROM d WHERE n = " +
            std::to_string(n));
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
        std::vector<std::string> out;
        if (r.rows.size() == 1)
            for (auto& v : r.rows[0]) out.push_back(trimmed(v));
        return out;
    }
};

TEST_F(Dates, EveryInputSpellingIsStoredInOneFormCutToItsPrecision) {
    struct Case {
        const char* stamp;  // given to every timestamp column and, as far as it fits, the others
        const char *date, *time;
        std::vector<std::string> want;  // da, tm, t0, t3, t6, ig
    };
    const std::vector<Case> cases = {
        {"2024_02_29 23:59:58.500000000",
         "2024_02_29",
         "23:59:58.5",
         {"2024-02-29", "23:59:58", "2024-02-29 23:59:58", "2024-02-29 23:59:58.500", "2024-02-29 23:59:58.500000",
          "2024-02-29 23:59:58"}},
        {"2024-03-01 00:00:00.123456789",
         "2024-03-01",
         "00:00:00",
         {"2024-03-01", "00:00:00", "2024-03-01 00:00:00", "2024-03-01 00:00:00.123", "2024-03-01 00:00:00.123456",
          "2024-03-01 00:00:00"}},
        {"02/28/2024 07:05:04",
         "02/28/2024",
         "07:05",
         {"2024-02-28", "07:05:00", "2024-02-28 07:05:04", "2024-02-28 07:05:04.000", "2024-02-28 07:05:04.000000",
          "2024-02-28 07:05:04"}},
        {"1-feb-2024 12:00:00",
         "1-feb-2024",
         "12:00",
         {"2024-02-01", "12:00:00", "2024-02-01 12:00:00", "2024-02-01 12:00:00.000", "2024-02-01 12:00:00.000000",
          "2024-02-01 12:00:00"}},
        {"2024-02-10",
         "2024.02.10",
         "01:02:03.999",
         {"2024-02-10", "01:02:03", "2024-02-10 00:00:00", "2024-02-10 00:00:00.000", "2024-02-10 00:00:00.000000",
          "2024-02-10"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        ++n;
        std::string sql = "INSERT INTO d VALUES (" + std::to_string(n) + ", '" + c.date + "', '" + c.time + "', '" +
                          c.stamp + "', '" + c.stamp + "', '" + c.stamp + "', '" + c.stamp + "')";
        Result r = a.exec(sql);
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << sql << ": " << firstMessage(r.msgs);
        EXPECT_EQ(stored(n), c.want) << c.stamp;
    }
    // Parameters as the driver sends them: text in the Ingres input format, and typed values.
    ++n;
    Result r = a.run("INSERT INTO d (n, t0, t6) VALUES (?, ?, ?)", {pInt(n), pChar("2024_02_29 23:59:58.500000000"),
                                                                    pDate(IIAPI_TSWO_TYPE, "2024-02-29 23:59:58.25")});
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    std::vector<std::string> got = stored(n);
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[2], "2024-02-29 23:59:58");
    EXPECT_EQ(got[4], "2024-02-29 23:59:58.250000");
    // An update goes the same way.
    ASSERT_EQ(a.exec("UPDATE d SET t3 = '2025_01_02 03:04:05.67891' WHERE n = 1").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(stored(1)[3], "2025-01-02 03:04:05.678");
    ASSERT_EQ(a.commit(), IIAPI_ST_SUCCESS);
}

TEST_F(Dates, StoredValuesCompareAndSortAsTimes) {
    const char* stamps[] = {"2024_03_01 00:00:00",        "2024_02_29 23:59:58.500000000", "03/02/2024 10:00:00",
                            "2024-02-01 00:00:00.000001", "28-feb-2024 23:00:00",          "2024_03_01 00:00:00.1"};
    int n = 0;
    for (const char* s : stamps)
        ASSERT_EQ(a.run("INSERT INTO d (n, t6) VALUES (?, ?)", {pInt(++n), pChar(s)}).status, IIAPI_ST_SUCCESS) << s;
    EXPECT_EQ(a.run("SELECT count(*) FROM d WHERE t6 < '2024-03-01'", {}, IIAPI_QT_SELECT_SINGLE).rows.at(0).at(0),
              std::optional<std::string>("3"));
    Result r = a.run("SELECT n FROM d ORDER BY t6");
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    std::vector<std::string> order;
    for (auto& row : r.rows) order.push_back(trimmed(row[0]));
    EXPECT_EQ(order, (std::vector<std::string>{"4", "5", "2", "1", "6", "3"}));
}

TEST_F(Dates, ValuesThatAreNoDateAreRefused) {
    for (const char* bad : {"2024-02-30", "yesterday-ish", "25:00:00"}) {
        Result r = a.exec(std::string("INSERT INTO d (n, t6) VALUES (1, '") + bad + "')");
        EXPECT_EQ(r.status, IIAPI_ST_ERROR) << bad;
        ASSERT_FALSE(r.msgs.empty()) << bad;
        EXPECT_EQ(r.msgs[0].sqlstate, "22007") << bad;
    }
    EXPECT_EQ(count(a, "d"), 0);
}

// ---- Typed expressions ----------------------------------------------------------------------

TEST_F(Semantics, CastsAggregatesAndTypedLiteralsAreTyped) {
    ASSERT_EQ(
        a.exec("CREATE TABLE n (i integer, s smallint, dc decimal(10,2), f float, m money, ts timestamp(6))").status,
        IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO n VALUES (7, 2, 12.50, 1.5, 1234.56, '2024-02-29 10:00:00')").status,
              IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO n VALUES (5, 3, 0.25, 2.5, 0.01, '2024-03-01 10:00:00')").status, IIAPI_ST_SUCCESS);
    struct Case {
        const char* expr;
        int16_t type;
        uint16_t length;           // 0: not checked
        int16_t precision, scale;  // -1: not checked
        const char* value;         // as text through convertData
    };
    const std::vector<Case> cases = {
        {"CAST('2026-01-15' AS DATE)", IIAPI_DATE_TYPE, 12, -1, -1, "2026-01-15"},
        {"CAST('15-jan-2026' AS ANSIDATE)", IIAPI_ADATE_TYPE, 12, -1, -1, "2026-01-15"},
        {"CAST('2026_01_15 10:11:12.987' AS TIMESTAMP(0))", IIAPI_TSWO_TYPE, 12, 0, -1, "2026-01-15 10:11:12.000000"},
        {"CAST('12' AS INTEGER)", IIAPI_INT_TYPE, 4, -1, -1, "12"},
        {"CAST(3.7 AS SMALLINT)", IIAPI_INT_TYPE, 2, -1, -1, "3"},
        {"CAST(7 AS BIGINT)", IIAPI_INT_TYPE, 8, -1, -1, "7"},
        {"CAST('1.5' AS FLOAT)", IIAPI_FLT_TYPE, 8, -1, -1, nullptr},
        {"CAST(2.5 AS DECIMAL(5,2))", IIAPI_DEC_TYPE, 3, 5, 2, "2.50"},
        {"CAST(12345 AS VARCHAR(3))", IIAPI_VCH_TYPE, 5, -1, -1, "123"},
        {"CAST(1234.556 AS MONEY)", IIAPI_MNY_TYPE, 8, -1, -1, "$1234.56"},
        {"CAST(count(*) AS INTEGER)", IIAPI_INT_TYPE, 4, -1, -1, "2"},
        {"count(*)", IIAPI_INT_TYPE, 4, -1, -1, "2"},
        {"SUM(i)", IIAPI_INT_TYPE, 8, -1, -1, "12"},
        {"SUM(s)", IIAPI_INT_TYPE, 8, -1, -1, "5"},
        {"MAX(i)", IIAPI_INT_TYPE, 4, -1, -1, "7"},
        {"SUM(dc)", IIAPI_DEC_TYPE, 16, 31, 2, "12.75"},
        {"SUM(f)", IIAPI_FLT_TYPE, 8, -1, -1, nullptr},
        {"SUM(m)", IIAPI_MNY_TYPE, 8, -1, -1, "$1234.57"},
        {"MIN(ts)", IIAPI_TSWO_TYPE, 12, 6, -1, "2024-02-29 10:00:00.000000"},
        {"AVG(i)", IIAPI_FLT_TYPE, 8, -1, -1, nullptr},
        {"DATE '2024-02-29'", IIAPI_ADATE_TYPE, 12, -1, -1, "2024-02-29"},
        {"TIME '10:11:12'", IIAPI_TMWO_TYPE, 12, -1, -1, "10:11:12"},
        {"TIMESTAMP '2024-02-29 10:11:12.25'", IIAPI_TSWO_TYPE, 12, 2, -1, "2024-02-29 10:11:12.250000"},
    };
    for (const Case& c : cases) {
        Result r = a.run(std::string("SELECT ") + c.expr + " FROM n");
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << c.expr << ": " << firstMessage(r.msgs);
        ASSERT_EQ(r.desc.size(), 1u) << c.expr;
        const IIAPI_DESCRIPTOR& d = r.desc[0];
        EXPECT_EQ(d.ds_dataType, c.type) << c.expr;
        if (c.length) {
            EXPECT_EQ(d.ds_length, c.length) << c.expr;
        }
        if (c.precision >= 0) {
            EXPECT_EQ(d.ds_precision, c.precision) << c.expr;
        }
        if (c.scale >= 0) {
            EXPECT_EQ(d.ds_scale, c.scale) << c.expr;
        }
        ASSERT_FALSE(r.rows.empty()) << c.expr;
        if (c.value) {
            EXPECT_EQ(trimmed(r.rows[0][0]), c.value) << c.expr;
        }
    }
    // Typed literals compare as the values they stand for.
    EXPECT_EQ(a.run("SELECT count(*) FROM n WHERE ts < TIMESTAMP '2024-03-01 00:00:00'", {}, IIAPI_QT_SELECT_SINGLE)
                  .rows.at(0)
                  .at(0),
              std::optional<std::string>("1"));
    Result bad = a.exec("SELECT CAST('tomorrow-ish' AS DATE) FROM n");
    EXPECT_EQ(bad.status, IIAPI_ST_ERROR);
}

// A column named alike in another table, with another type, does not decide what an operator
// or a literal means here: '+' adds the integers of this table and concatenates the text of that.
TEST_F(Semantics, ColumnsAreTypedByTheTablesTheStatementNames) {
    ASSERT_EQ(a.exec("CREATE TABLE words (code varchar(10), at varchar(20))").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("CREATE TABLE nums (code integer, at date)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO words VALUES ('4', '2024-01-02')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO nums VALUES (4, '2024-01-02')").status, IIAPI_ST_SUCCESS);
    struct Case {
        const char* sql;
        const char* value;
    } cases[] = {
        {"SELECT code + 1 FROM nums", "5"},
        {"SELECT 1 + code FROM nums", "5"},
        {"SELECT n.code + 1 FROM nums n", "5"},
        {"SELECT code + '1' FROM words", "41"},
        {"SELECT count(*) FROM nums WHERE at = '2024-01-02'", "1"},
        {"SELECT count(*) FROM words WHERE at = '2024-01-02'", "1"},
    };
    for (const Case& c : cases) {
        Result r = a.run(c.sql);
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << c.sql << ": " << firstMessage(r.msgs);
        ASSERT_FALSE(r.rows.empty()) << c.sql;
        EXPECT_EQ(trimmed(r.rows[0][0]), c.value) << c.sql;
    }
}

TEST_F(Semantics, MoneyKeepsCents) {
    ASSERT_EQ(a.exec("CREATE TABLE m (m money)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.run("INSERT INTO m VALUES (?)", {pMoney(1234.5599999999999)}).status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(a.exec("INSERT INTO m VALUES (0.5)").status, IIAPI_ST_SUCCESS);
    Result r = a.run("SELECT m FROM m ORDER BY m");
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(trimmed(r.rows[0][0]), "$0.50");
    EXPECT_EQ(trimmed(r.rows[1][0]), "$1234.56");
}

}  // namespace
