// ODBC escapes through the operation table: the text DRV_NativeSql gives, and the value the
// translated statement gives when the engine runs it.
#include "tests/support/agent_stmt_fixture.h"

using namespace stmttest;

namespace {

class TranslateExecTest : public AgentSession {
protected:
    void SetUp() override {
        Open();
        Exec("CREATE TABLE tr (k INTEGER, s VARCHAR(20), d DATE)");
        Exec("INSERT INTO tr VALUES (1, 'Abc', '2024-01-15 10:20:30')");
        Exec("INSERT INTO tr VALUES (2, 'x_y', '2023-12-31 00:00:00')");
    }
    std::string Native(const char* odbc) {
        char out[512] = {};
        uint16_t len = 0;
        EXPECT_EQ(AgentCall<DRV_NativeSql>(&link, conn, odbc, out, uint16_t(sizeof out), &len), 0u);
        return std::string(out, len);
    }
    // The first column of the first row as text.
    std::string Value(const char* odbc) {
        uint32_t s = Stmt();
        uint32_t rc = Run(s, odbc);
        if (rc != 0) return "error " + std::to_string(rc) + ": " + Errors(s);
        Block b;
        rc = AgentCall<DRV_FetchRows>(&link, s, 1, &b.ds);
        if (rc != 0 || b.ds.rows_used == 0) return "no row";
        if (b.IsNull(0, 0)) return "NULL";
        switch (b.ds.cols[0].kind) {
            case DS_TINYINT:
                return std::to_string(b.Get<int8_t>(0, 0));
            case DS_SMALLINT:
                return std::to_string(b.Get<int16_t>(0, 0));
            case DS_INTEGER:
                return std::to_string(b.Get<int32_t>(0, 0));
            case DS_DOUBLE: {
                char t[64];
                std::snprintf(t, sizeof t, "%.6f", b.Get<double>(0, 0));
                return t;
            }
            case DS_TIMESTAMP: {
                DsTimestamp ts = b.Get<DsTimestamp>(0, 0);
                char t[64];
                std::snprintf(t, sizeof t, "%04d-%02u-%02u %02u:%02u:%02u", ts.year, ts.month, ts.day, ts.hour,
                              ts.minute, ts.second);
                return t;
            }
            default:
                return b.Text(0, 0);
        }
    }
};

struct Case {
    const char* odbc;
    const char* ingres;  // DRV_NativeSql's text
    const char* value;   // the engine's answer to the statement; null: not run
};

TEST_F(TranslateExecTest, EscapesGiveIngresTextThatTheEngineRuns) {
    const Case cases[] = {
        {"SELECT {fn ucase(s)} FROM tr WHERE k = 1", "SELECT  uppercase(s) FROM tr WHERE k = 1", "ABC"},
        {"SELECT {fn lcase(s)} FROM tr WHERE k = 1", "SELECT  lowercase(s) FROM tr WHERE k = 1", "abc"},
        {"SELECT {fn length(s)} FROM tr WHERE k = 1", "SELECT  length(s) FROM tr WHERE k = 1", "3"},
        {"SELECT {fn abs(-5)} FROM tr WHERE k = 1", "SELECT  abs(-5) FROM tr WHERE k = 1", "5"},
        {"SELECT {fn mod(7, 3)} FROM tr WHERE k = 1", "SELECT  mod(7, 3) FROM tr WHERE k = 1", "1"},
        {"SELECT {fn left(s, 2)} FROM tr WHERE k = 1", "SELECT  left(s, 2) FROM tr WHERE k = 1", "Ab"},
        {"SELECT {fn right(s, 2)} FROM tr WHERE k = 1", "SELECT  right(s, 2) FROM tr WHERE k = 1", "bc"},
        {"SELECT {fn concat(s, 'z')} FROM tr WHERE k = 1", "SELECT  concat(s, 'z') FROM tr WHERE k = 1", "Abcz"},
        {"SELECT {fn locate('c', s)} FROM tr WHERE k = 1", "SELECT  locate( s,'c') FROM tr WHERE k = 1", "3"},
        {"SELECT {fn ifnull(NULL, 4)} FROM tr WHERE k = 1", "SELECT  ifnull(NULL, 4) FROM tr WHERE k = 1", "4"},
        {"SELECT {fn year(d)} FROM tr WHERE k = 1", "SELECT  date_part('yr',(d)) FROM tr WHERE k = 1", "2024"},
        {"SELECT {fn month(d)} FROM tr WHERE k = 1", "SELECT  date_part('mo',(d)) FROM tr WHERE k = 1", "1"},
        {"SELECT {fn hour(d)} FROM tr WHERE k = 1", "SELECT  date_part('hr',(d)) FROM tr WHERE k = 1", "10"},
        {"SELECT {fn EXTRACT(MINUTE FROM d)} FROM tr WHERE k = 1", nullptr, "20"},
        {"SELECT {fn CONVERT(k, SQL_VARCHAR)} FROM tr WHERE k = 1", "SELECT varchar(k) FROM tr WHERE k = 1", "1"},
        {"SELECT {fn ucase({fn lcase(s)})} FROM tr WHERE k = 1", nullptr, "ABC"},
        {"SELECT k FROM tr WHERE d = {ts '2024-01-15 10:20:30'}",
         "SELECT k FROM tr WHERE d = date('01/15/2024 10:20:30')", "1"},
        {"SELECT k FROM tr WHERE d < {d '2024-01-01'}", "SELECT k FROM tr WHERE d < date('01/01/2024')", "2"},
        {"SELECT k FROM tr WHERE s LIKE 'x\\_%' {escape '\\'}", nullptr, "2"},
        {"SELECT a.k FROM {oj tr a LEFT OUTER JOIN tr b ON a.k = b.k + 5} WHERE b.k IS NULL AND a.k = 2",
         "SELECT a.k FROM  (tr a LEFT JOIN tr b ON a.k = b.k + 5)  WHERE b.k IS NULL AND a.k = 2", "2"},
        {"SELECT 'a{b}c' FROM tr WHERE k = 1", "SELECT 'a{b}c' FROM tr WHERE k = 1", "a{b}c"},
        {"SELECT 'it''s' FROM tr WHERE k = 1", "SELECT 'it''s' FROM tr WHERE k = 1", "it's"},
        {"SELECT k {zz 1} FROM tr WHERE k = 1", nullptr, "1"},
        {"SELECT k FROM tr WHERE k = 1;  ", nullptr, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.odbc);
        if (c.ingres) {
            EXPECT_EQ(Native(c.odbc), c.ingres);
        }
        if (c.value) {
            EXPECT_EQ(Value(c.odbc), c.value);
        }
    }
}

TEST_F(TranslateExecTest, NativeSqlCutsWithItsFullLength) {
    char out[8] = {};
    uint16_t len = 0;
    EXPECT_EQ(AgentCall<DRV_NativeSql>(&link, conn, "SELECT {fn ucase(s)} FROM tr", out, uint16_t(sizeof out), &len),
              19u);
    EXPECT_EQ(len, std::strlen("SELECT  uppercase(s) FROM tr"));
    EXPECT_STREQ(out, "SELECT ");
    EXPECT_EQ(AgentCall<DRV_NativeSql>(&link, 4242u, "SELECT 1", out, uint16_t(sizeof out), &len), 21u);
}

TEST_F(TranslateExecTest, OrChainOfTwelveMarkersGivesTheSameRows) {
    for (int i = 3; i <= 30; ++i) Exec(("INSERT INTO tr VALUES (" + std::to_string(i) + ", 'r', NULL)").c_str());
    uint32_t s = Stmt();
    std::string q = "SELECT k FROM tr WHERE (";
    for (int i = 0; i < 12; ++i) q += i ? " OR k = ?" : "k = ?";
    q += ") ORDER BY k";
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, q.c_str()), 0u) << Errors(s);
    ParamSet p({{DS_INTEGER, 4},
                {DS_INTEGER, 4},
                {DS_INTEGER, 4},
                {DS_INTEGER, 4},
                {DS_INTEGER, 4},
                {DS_INTEGER, 4},
                {DS_INTEGER, 4},
                {DS_INTEGER, 4},
                {DS_INTEGER, 4},
                {DS_INTEGER, 4},
                {DS_INTEGER, 4},
                {DS_INTEGER, 4}},
               1);
    const int keys[12] = {30, 1, 5, 5, 7, 9, 11, 13, 15, 17, 19, 21};
    for (uint16_t c = 0; c < 12; ++c) p.Put<int32_t>(c, 0, keys[c]);
    ASSERT_EQ(AgentCall<DRV_SetParams>(&link, s, p.Give()), 0u);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    std::vector<int> got;
    for (;;) {
        Block b;
        ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, 20, &b.ds), 0u);
        if (b.ds.rows_used == 0) break;
        for (uint32_t r = 0; r < b.ds.rows_used; ++r) got.push_back(b.Get<int32_t>(0, r));
    }
    EXPECT_EQ(got, (std::vector<int>{1, 5, 7, 9, 11, 13, 15, 17, 19, 21, 30}));
}

}  // namespace
