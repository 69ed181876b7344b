// Statements: every type through parameters and results, prepared statements, cursors, blocks,
// partial rows, long values in segments and row counts.
#include "tests/iiapi/api_fixture.h"

#include <sqlite3.h>

using namespace apitest;

namespace {

class Query : public ::testing::Test {
protected:
    void SetUp() override {
        db = freshDatabase();
        ASSERT_EQ(s.connect(environment(), db, "tester"), IIAPI_ST_SUCCESS);
    }
    std::string db;
    Session s;
};

const char* kAllTypes =
    "CREATE TABLE alltypes ("
    " i1 integer1, i2 smallint, i4 integer NOT NULL WITH DEFAULT, i8 bigint,"
    " f4 float4, f8 float,"
    " ch char(5), cc c(4), vc varchar(20) WITH NULL, tx text(10),"
    " by byte(3), vb byte varying(6),"
    " nc nchar(3), nv nvarchar(10),"
    " lv long varchar, lb long byte, ln long nvarchar,"
    " de decimal(20,4), mo money,"
    " da date, ad ansidate, ti time, ts timestamp, iv interval day to second,"
    " bo boolean)";

struct TypeRow {
    const char* column;
    int16_t type;
    uint16_t length;
    int16_t precision;
    int16_t scale;
};

TEST_F(Query, TableOfEveryTypeIsDescribedByItsDeclaredTypes) {
    ASSERT_EQ(s.exec(kAllTypes).status, IIAPI_ST_SUCCESS);
    Result r = s.exec("SELECT * FROM alltypes");
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    const TypeRow expect[] = {
        {"i1", IIAPI_INT_TYPE, 1, 0, 0},      {"i2", IIAPI_INT_TYPE, 2, 0, 0},      {"i4", IIAPI_INT_TYPE, 4, 0, 0},
        {"i8", IIAPI_INT_TYPE, 8, 0, 0},      {"f4", IIAPI_FLT_TYPE, 4, 7, 0},      {"f8", IIAPI_FLT_TYPE, 8, 15, 0},
        {"ch", IIAPI_CHA_TYPE, 5, 0, 0},      {"cc", IIAPI_CHR_TYPE, 4, 0, 0},      {"vc", IIAPI_VCH_TYPE, 22, 0, 0},
        {"tx", IIAPI_TXT_TYPE, 12, 0, 0},     {"by", IIAPI_BYTE_TYPE, 3, 0, 0},     {"vb", IIAPI_VBYTE_TYPE, 8, 0, 0},
        {"nc", IIAPI_NCHA_TYPE, 6, 0, 0},     {"nv", IIAPI_NVCH_TYPE, 22, 0, 0},    {"lv", IIAPI_LVCH_TYPE, 8192, 0, 0},
        {"lb", IIAPI_LBYTE_TYPE, 8192, 0, 0}, {"ln", IIAPI_LNVCH_TYPE, 8192, 0, 0}, {"de", IIAPI_DEC_TYPE, 11, 20, 4},
        {"mo", IIAPI_MNY_TYPE, 8, 14, 2},     {"da", IIAPI_DATE_TYPE, 12, 0, 0},    {"ad", IIAPI_ADATE_TYPE, 12, 0, 0},
        {"ti", IIAPI_TMWO_TYPE, 12, 0, 0},    {"ts", IIAPI_TSWO_TYPE, 12, 6, 0},    {"iv", IIAPI_INTDS_TYPE, 12, 0, 0},
        {"bo", IIAPI_BOOL_TYPE, 1, 0, 0},
    };
    ASSERT_EQ(r.desc.size(), std::size(expect));
    for (size_t i = 0; i < r.desc.size(); ++i) {
        SCOPED_TRACE(expect[i].column);
        EXPECT_EQ(r.names[i], expect[i].column);
        EXPECT_EQ(r.desc[i].ds_dataType, expect[i].type);
        EXPECT_EQ(r.desc[i].ds_length, expect[i].length);
        EXPECT_EQ(r.desc[i].ds_precision, expect[i].precision);
        EXPECT_EQ(r.desc[i].ds_scale, expect[i].scale);
        EXPECT_EQ(r.desc[i].ds_columnType, IIAPI_COL_TUPLE);
        EXPECT_EQ(r.desc[i].ds_nullable != 0, std::string(expect[i].column) != "i4");
    }
}

// A table made from a select has the select's column types, as the server gives it: described,
// in the catalogs, and for its later rows; its rows come from the statement's parameters; a
// statement that fails leaves no table behind.
TEST_F(Query, TableMadeFromASelectTakesItsColumnTypes) {
    ASSERT_EQ(s.exec(kAllTypes).status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.run("INSERT INTO alltypes (i4, ts, vc) VALUES (?, ?, ?)",
                    {pInt(1), pChar("2024-01-15 10:20:30.5"), pChar("one")})
                  .status,
              IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.run("INSERT INTO alltypes (i4, ts, vc) VALUES (2, '2024-01-16', 'two')").status, IIAPI_ST_SUCCESS);
    Result made = s.run("CREATE TABLE copy AS SELECT * FROM alltypes WHERE i4 = ?", {pInt(1)});
    ASSERT_EQ(made.status, IIAPI_ST_SUCCESS) << firstMessage(made.msgs);
    Result from = s.exec("SELECT * FROM alltypes");
    Result copy = s.exec("SELECT * FROM copy");
    ASSERT_EQ(copy.status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(copy.desc.size(), from.desc.size());
    for (size_t i = 0; i < copy.desc.size(); ++i) {
        SCOPED_TRACE(from.names[i]);
        EXPECT_EQ(copy.names[i], from.names[i]);
        EXPECT_EQ(copy.desc[i].ds_dataType, from.desc[i].ds_dataType);
        EXPECT_EQ(copy.desc[i].ds_length, from.desc[i].ds_length);
        EXPECT_EQ(copy.desc[i].ds_precision, from.desc[i].ds_precision);
        EXPECT_EQ(copy.desc[i].ds_scale, from.desc[i].ds_scale);
        EXPECT_EQ(copy.desc[i].ds_nullable, from.desc[i].ds_nullable);
    }
    ASSERT_EQ(copy.rows.size(), 1u);
    Result types = s.exec("SELECT column_datatype FROM iicolumns WHERE table_name = 'copy' AND column_name = 'ts'");
    ASSERT_EQ(types.rows.size(), 1u);
    EXPECT_EQ(trimmed(types.rows[0].at(0)), "TIMESTAMP WITHOUT TIME ZONE");
    // Its own rows are kept as dates too: another spelling of a stored instant is that instant.
    ASSERT_EQ(s.exec("INSERT INTO copy (i4, ts) VALUES (3, '2024_01_15 10:20:30.500000000')").status, IIAPI_ST_SUCCESS);
    Result same = s.exec("SELECT i4 FROM copy WHERE ts = TIMESTAMP '2024-01-15 10:20:30.5' ORDER BY i4");
    ASSERT_EQ(same.rows.size(), 2u);
    // Expressions are named as the select names them, typed as the select types them.
    ASSERT_EQ(s.exec("CREATE TABLE sums AS SELECT i4 + 1 AS next, ts FROM alltypes").status, IIAPI_ST_SUCCESS);
    Result sums = s.exec("SELECT next FROM sums WHERE ts = '2024-01-16 00:00:00.000' ");
    ASSERT_EQ(sums.rows.size(), 1u);
    EXPECT_EQ(trimmed(sums.rows[0].at(0)), "3");
    EXPECT_EQ(sums.desc[0].ds_dataType, IIAPI_INT_TYPE);
    // All or nothing: a row the select cannot make leaves no table.
    Result failed = s.exec("CREATE TABLE broken AS SELECT i4 / 0 AS q FROM alltypes");
    EXPECT_EQ(failed.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(failed.msgs.empty());
    EXPECT_EQ(failed.msgs[0].sqlstate, "22012");
    EXPECT_TRUE(s.exec("SELECT table_name FROM iitables WHERE table_name = 'broken'").rows.empty());
    EXPECT_EQ(s.exec("SELECT * FROM broken").status, IIAPI_ST_ERROR);
}

// Columns added to a table are declared as those it was made with (a date compares as a date),
// and one dropped goes with its catalog entry, the table's other dates still kept as dates.
TEST_F(Query, ColumnsAddedAndDroppedKeepTheTableTyped) {
    ASSERT_EQ(s.exec("CREATE TABLE grow (k integer, d ansidate)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("INSERT INTO grow VALUES (1, '2024-01-15')").status, IIAPI_ST_SUCCESS);
    for (const char* sql : {"ALTER TABLE grow ADD COLUMN ts timestamp(3)", "ALTER TABLE grow ADD v varchar(8)",
                            "ALTER TABLE grow ADD t time WITH NULL"})
        ASSERT_EQ(s.exec(sql).status, IIAPI_ST_SUCCESS) << sql;
    ASSERT_EQ(s.run("INSERT INTO grow VALUES (2, '01/16/2024', ?, 'x', '10:20:30')", {pChar("2024-01-16 10:20:30.25")})
                  .status,
              IIAPI_ST_SUCCESS);
    Result r = s.exec(
        "SELECT k FROM grow WHERE ts = TIMESTAMP '2024-01-16 10:20:30.250' AND d = DATE '2024-01-16'"
        " AND t = '10:20:30.000'");
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(trimmed(r.rows[0].at(0)), "2");
    Result described = s.exec("SELECT ts, v FROM grow");
    ASSERT_EQ(described.desc.size(), 2u);
    EXPECT_EQ(described.desc[0].ds_dataType, IIAPI_TSWO_TYPE);
    EXPECT_EQ(described.desc[1].ds_dataType, IIAPI_VCH_TYPE);
    EXPECT_EQ(described.desc[1].ds_length, 10);
    // Dropping a date column (RESTRICT as the server asks for it) leaves the others working.
    for (const char* sql : {"ALTER TABLE grow DROP COLUMN ts RESTRICT", "ALTER TABLE grow DROP v CASCADE"})
        ASSERT_EQ(s.exec(sql).status, IIAPI_ST_SUCCESS) << sql;
    ASSERT_EQ(s.exec("INSERT INTO grow VALUES (3, '17-jan-2024', '11:00:00')").status, IIAPI_ST_SUCCESS);
    Result later = s.exec("SELECT k FROM grow WHERE d = '2024-01-17' AND t = TIME '11:00:00'");
    ASSERT_EQ(later.rows.size(), 1u);
    EXPECT_EQ(trimmed(later.rows[0].at(0)), "3");
    Result cols = s.exec("SELECT column_name FROM iicolumns WHERE table_name = 'grow' ORDER BY column_sequence");
    std::vector<std::string> names;
    for (auto& row : cols.rows) names.push_back(trimmed(row.at(0)));
    EXPECT_EQ(names, (std::vector<std::string>{"k", "d", "t"}));
}

TEST_F(Query, ParametersOfEveryTypeRoundTrip) {
    ASSERT_EQ(s.exec(kAllTypes).status, IIAPI_ST_SUCCESS);
    std::string longText(20000, 'x');
    for (size_t i = 0; i < longText.size(); i += 7) longText[i] = char('a' + i % 26);
    std::string longBytes;
    for (int i = 0; i < 9000; ++i) longBytes.push_back(char(i % 251));
    std::u16string longWide(5000, u'\u00e9');
    std::string longWideBytes(reinterpret_cast<const char*>(longWide.data()), longWide.size() * 2);
    std::vector<Param> params = {
        pInt(-5, 1),
        pInt(-300, 2),
        pInt(70000, 4),
        pInt(5000000000LL, 8),
        pFloat(1.5, 4),
        pFloat(-2.25, 8),
        pChar("ab"),
        pChar("xyz"),
        pVarchar("hello", 20),
        pVarchar("text!"),
        pByte(std::string("\x01\x02\x03", 3)),
        pVarbyte(std::string("\x00\xff", 2)),
        pNChar(u"\u00e9a"),
        pNVarchar(u"\u4e2d\u6587"),
        pLong(IIAPI_LVCH_TYPE, longText),
        pLong(IIAPI_LBYTE_TYPE, longBytes),
        pLong(IIAPI_LNVCH_TYPE, longWideBytes),
        pDecimal("1234567890123456.7891", 20, 4),
        pMoney(12.5),
        pDate(IIAPI_DATE_TYPE, "2024-02-29 13:45:10"),
        pDate(IIAPI_ADATE_TYPE, "2024-02-29"),
        pDate(IIAPI_TMWO_TYPE, "13:45:10"),
        pDate(IIAPI_TSWO_TYPE, "2024-02-29 13:45:10.123456"),
        pDate(IIAPI_INTDS_TYPE, "3 days 04:05:06"),
        pBool(true),
    };
    std::string sql = "INSERT INTO alltypes VALUES (";
    for (size_t i = 0; i < params.size(); ++i) sql += i ? ", ?" : "?";
    sql += ")";
    Result ins = s.run(sql, params);
    ASSERT_EQ(ins.status, IIAPI_ST_SUCCESS) << firstMessage(ins.msgs);
    EXPECT_EQ(ins.rowCount, 1);
    Result r = s.exec("SELECT * FROM alltypes");
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    ASSERT_EQ(r.rows.size(), 1u);
    auto& row = r.rows[0];
    EXPECT_EQ(row[0], "-5");
    EXPECT_EQ(row[1], "-300");
    EXPECT_EQ(row[2], "70000");
    EXPECT_EQ(row[3], "5000000000");
    EXPECT_EQ(row[4], "1.5");
    EXPECT_EQ(row[5], "-2.25");
    EXPECT_EQ(row[6], "ab   ");
    EXPECT_EQ(row[7], "xyz ");
    EXPECT_EQ(row[8], "hello");
    EXPECT_EQ(row[9], "text!");
    EXPECT_EQ(row[10], std::string("\x01\x02\x03", 3));
    EXPECT_EQ(row[11], std::string("\x00\xff", 2));
    EXPECT_EQ(row[12],
              "\xc3\xa9"
              "a ");
    EXPECT_EQ(row[13], "\xe4\xb8\xad\xe6\x96\x87");
    EXPECT_EQ(row[14], longText);
    EXPECT_EQ(row[15], longBytes);
    EXPECT_EQ(row[16], longWideBytes);
    EXPECT_EQ(row[17], "1234567890123456.7891");
    EXPECT_EQ(row[18], "$12.50");
    EXPECT_EQ(row[19], "2024-02-29 13:45:10");
    EXPECT_EQ(row[20], "2024-02-29");
    EXPECT_EQ(row[21], "13:45:10");
    EXPECT_EQ(row[22], "2024-02-29 13:45:10.123456");
    EXPECT_EQ(row[23], "3 04:05:06");
    EXPECT_EQ(row[24], "TRUE");
}

TEST_F(Query, NullParametersGiveNullValues) {
    ASSERT_EQ(s.exec("CREATE TABLE n (a integer, b varchar(5), c long varchar, d decimal(5,2))").status,
              IIAPI_ST_SUCCESS);
    Result ins = s.run("INSERT INTO n VALUES (?, ?, ?, ?)", {pNull(IIAPI_INT_TYPE, 4), pNull(IIAPI_VCH_TYPE, 7),
                                                             pNull(IIAPI_LVCH_TYPE, 2000), pNull(IIAPI_DEC_TYPE, 3)});
    ASSERT_EQ(ins.status, IIAPI_ST_SUCCESS);
    Result r = s.exec("SELECT a, b, c, d FROM n");
    ASSERT_EQ(r.rows.size(), 1u);
    for (auto& v : r.rows[0]) EXPECT_FALSE(v.has_value());
}

TEST_F(Query, ExactDecimalsKeepEveryDigit) {
    ASSERT_EQ(s.exec("CREATE TABLE d (small decimal(7,2), wide decimal(31,10))").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.run("INSERT INTO d VALUES (?, ?)",
                    {pDecimal("-12345.67", 7, 2), pDecimal("123456789012345678901.0123456789", 31, 10)})
                  .status,
              IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("INSERT INTO d VALUES (1.5, '0.0000000001')").status, IIAPI_ST_SUCCESS);
    Result r = s.exec("SELECT small, wide FROM d ORDER BY small");
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0][0], "-12345.67");
    EXPECT_EQ(r.rows[0][1], "123456789012345678901.0123456789");
    EXPECT_EQ(r.rows[1][0], "1.50");
    EXPECT_EQ(r.rows[1][1], "0.0000000001");
}

TEST_F(Query, ValuesThatDoNotFitTheTypeAreErrors) {
    ASSERT_EQ(s.exec("CREATE TABLE f (a smallint, b char(3), c decimal(4,1))").status, IIAPI_ST_SUCCESS);
    // A string too long for its column is refused where it is written.
    Result w = s.exec("INSERT INTO f VALUES (1, 'abcdef', 1)");
    EXPECT_EQ(w.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(w.msgs.empty());
    EXPECT_EQ(w.msgs[0].sqlstate, "22001");
    // So are numbers out of their column's range, and a string too long for a column added later.
    ASSERT_EQ(s.exec("ALTER TABLE f ADD COLUMN d char(3)").status, IIAPI_ST_SUCCESS);
    const struct {
        const char *row, *state;
    } refused[] = {{"(100000, 'abc', 1, 'abc')", "22003"},
                   {"(1, 'abc', 12345, 'abc')", "22003"},
                   {"(1, 'abc', 1, 'abcdef')", "22001"}};
    for (const auto& r : refused) {
        Result w2 = s.exec(std::string("INSERT INTO f VALUES ") + r.row);
        EXPECT_EQ(w2.status, IIAPI_ST_ERROR) << r.row;
        ASSERT_FALSE(w2.msgs.empty());
        EXPECT_EQ(w2.msgs[0].sqlstate, r.state) << r.row;
    }
    // What a table holds from before these checks (written here with them off) is refused when it
    // is read as the declared type, never cut.
    ASSERT_EQ(s.exec("PRAGMA ignore_check_constraints = 1").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("INSERT INTO f VALUES (100000, 'abc', 123, 'abcdef')").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("PRAGMA ignore_check_constraints = 0").status, IIAPI_ST_SUCCESS);
    Result a = s.exec("SELECT a FROM f");
    EXPECT_EQ(a.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(a.msgs.empty());
    EXPECT_EQ(a.msgs[0].sqlstate, "22003");
    Result b = s.exec("SELECT d FROM f");
    EXPECT_EQ(b.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(b.msgs.empty());
    EXPECT_EQ(b.msgs[0].sqlstate, "22001");
    // A decimal is checked where it is written (a decimal of a table made before that check, read
    // as its type, is the Decimals suite's).
    Result c = s.exec("INSERT INTO f (c) VALUES (12345)");
    EXPECT_EQ(c.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(c.msgs.empty());
    EXPECT_EQ(c.msgs[0].sqlstate, "22003");
}

TEST_F(Query, PreparedStatementsExecuteAndOpenCursors) {
    ASSERT_EQ(s.exec("CREATE TABLE p (k integer, v varchar(10))").status, IIAPI_ST_SUCCESS);
    Result prep = s.exec("prepare s1 into sqlda from INSERT INTO p VALUES (?, ?)");
    ASSERT_EQ(prep.status, IIAPI_ST_SUCCESS);
    EXPECT_TRUE(prep.desc.empty());
    for (int k = 1; k <= 5; ++k) {
        Result e = s.run("execute s1", {pInt(k), pVarchar("v" + std::to_string(k))}, IIAPI_QT_EXEC);
        ASSERT_EQ(e.status, IIAPI_ST_SUCCESS);
        EXPECT_EQ(e.rowCount, 1);
    }
    Result sel = s.exec("prepare s2 into sqlda from SELECT k, v FROM p WHERE k > ? ORDER BY k");
    ASSERT_EQ(sel.status, IIAPI_ST_SUCCESS) << firstMessage(sel.msgs);
    ASSERT_EQ(sel.desc.size(), 2u);
    EXPECT_EQ(sel.desc[0].ds_dataType, IIAPI_INT_TYPE);
    EXPECT_EQ(sel.desc[1].ds_dataType, IIAPI_VCH_TYPE);
    EXPECT_TRUE(sel.rows.empty());
    Result cur = s.run("s2 for readonly", {pService("cn1"), pInt(2)}, IIAPI_QT_OPEN, 2);
    ASSERT_EQ(cur.status, IIAPI_ST_SUCCESS) << firstMessage(cur.msgs);
    ASSERT_EQ(cur.rows.size(), 3u);
    EXPECT_EQ(cur.rows[0][0], "3");
    EXPECT_EQ(cur.rows[2][1], "v5");
    EXPECT_EQ(cur.rowCount, 3);
    // A new statement of the same name replaces the old one.
    ASSERT_EQ(s.exec("prepare s2 into sqlda from SELECT v FROM p WHERE k = ?").status, IIAPI_ST_SUCCESS);
    Result cur2 = s.run("s2 for readonly", {pService("cn2"), pInt(4)}, IIAPI_QT_OPEN);
    ASSERT_EQ(cur2.rows.size(), 1u);
    ASSERT_EQ(cur2.desc.size(), 1u);
    EXPECT_EQ(cur2.rows[0][0], "v4");
    // Unknown names and cursors over non-SELECTs fail.
    Result bad = s.run("execute nosuch", {}, IIAPI_QT_EXEC);
    EXPECT_EQ(bad.status, IIAPI_ST_ERROR);
    Result bad2 = s.run("s1 for readonly", {pService("cn3"), pInt(1), pVarchar("x")}, IIAPI_QT_OPEN);
    EXPECT_EQ(bad2.status, IIAPI_ST_ERROR);
}

// The statement an EXECUTE or OPEN names is read from each text, the same text sent again and
// again (a parameter array's rows) included: a changed text, or the same text as the other query
// type, names what it says, a text that is no UTF-8 is refused after a good one, and a name
// prepared again names its new statement.
TEST_F(Query, RepeatedExecuteTextsNameTheStatementEachSays) {
    ASSERT_EQ(s.exec("CREATE TABLE p (k integer)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("CREATE TABLE q (k integer)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("prepare s1 into sqlda from INSERT INTO p VALUES (?)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("prepare s2 into sqlda from INSERT INTO q VALUES (?)").status, IIAPI_ST_SUCCESS);
    struct Case {
        long type;
        const char* text;
        const char* sqlstate;  // null: runs
    };
    const Case cases[] = {
        {IIAPI_QT_EXEC, "execute s1", nullptr},
        {IIAPI_QT_EXEC, "execute s1", nullptr},
        {IIAPI_QT_EXEC, "execute s2", nullptr},
        {IIAPI_QT_EXEC, "EXECUTE S1", nullptr},
        {IIAPI_QT_EXEC, "s2", nullptr},
        {IIAPI_QT_OPEN, "s2", "24000"},  // a cursor over s2: not a SELECT
        {IIAPI_QT_EXEC, "execute s1", nullptr},
        {IIAPI_QT_OPEN, "execute s1", "42000"},          // as a cursor's text: no name
        {IIAPI_QT_EXEC, "execute s1\xC0\xA7", "22018"},  // an overlong quote
        {IIAPI_QT_EXEC, "execute nosuch", "S1010"},
        {IIAPI_QT_EXEC, "execute  s1", nullptr},
    };
    int p = 0, q = 0, k = 0;
    for (const Case& c : cases) {
        std::vector<Param> params{pInt(++k)};
        if (c.type == IIAPI_QT_OPEN) params.insert(params.begin(), pService("cur"));
        Result r = s.run(c.text, params, c.type);
        if (!c.sqlstate) {
            ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << c.text << ": " << firstMessage(r.msgs);
            EXPECT_EQ(r.rowCount, 1) << c.text;
            (std::string(c.text).find("s2") != std::string::npos ? q : p) += k;
        } else {
            EXPECT_EQ(r.status, IIAPI_ST_ERROR) << c.text;
            ASSERT_FALSE(r.msgs.empty()) << c.text;
            EXPECT_EQ(r.msgs[0].sqlstate, c.sqlstate) << c.text << ": " << r.msgs[0].text;
        }
    }
    // Prepared again under its name, s1 is the new statement from its next EXECUTE on.
    ASSERT_EQ(s.exec("prepare s1 into sqlda from INSERT INTO q VALUES (?)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.run("execute s1", {pInt(100)}, IIAPI_QT_EXEC).status, IIAPI_ST_SUCCESS);
    q += 100;
    // Named before it is prepared: refused until it is, then run.
    for (int twice = 0; twice < 2; ++twice)
        EXPECT_EQ(s.run("execute s3", {pInt(1)}, IIAPI_QT_EXEC).status, IIAPI_ST_ERROR);
    ASSERT_EQ(s.exec("prepare s3 into sqlda from INSERT INTO p VALUES (?)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.run("execute s3", {pInt(1000)}, IIAPI_QT_EXEC).status, IIAPI_ST_SUCCESS);
    p += 1000;
    // Prepared again while an EXECUTE of it waits for its values: that EXECUTE runs the new one.
    IIAPI_QUERYPARM qy{};
    qy.qy_connHandle = s.conn;
    qy.qy_queryType = IIAPI_QT_EXEC;
    qy.qy_queryText = const_cast<char*>("execute s3");
    qy.qy_parameters = II_TRUE;
    qy.qy_tranHandle = s.tran;
    IIapi_query(&qy);
    ASSERT_EQ(finish(qy.qy_genParm), IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("prepare s3 into sqlda from INSERT INTO q VALUES (?)").status, IIAPI_ST_SUCCESS);
    Param v = pInt(10000);
    IIAPI_SETDESCRPARM sd{};
    sd.sd_stmtHandle = qy.qy_stmtHandle;
    sd.sd_descriptorCount = 1;
    sd.sd_descriptor = &v.d;
    IIapi_setDescriptor(&sd);
    ASSERT_EQ(finish(sd.sd_genParm), IIAPI_ST_SUCCESS);
    IIAPI_DATAVALUE dv{};
    dv.dv_length = uint16_t(v.bytes.size());
    dv.dv_value = v.bytes.data();
    IIAPI_PUTPARMPARM pp{};
    pp.pp_stmtHandle = qy.qy_stmtHandle;
    pp.pp_parmCount = 1;
    pp.pp_parmData = &dv;
    IIapi_putParms(&pp);
    ASSERT_EQ(finish(pp.pp_genParm), IIAPI_ST_SUCCESS);
    ASSERT_EQ(Session::close(qy.qy_stmtHandle), IIAPI_ST_SUCCESS);
    q += 10000;
    for (auto [table, sum] : {std::pair{"p", p}, std::pair{"q", q}}) {
        Result r = s.exec(std::string("SELECT sum(k) FROM ") + table);
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(r.rows.size(), 1u);
        EXPECT_EQ(r.rows[0][0], std::to_string(sum)) << table;
    }
}

// A prepare under a name the session already holds replaces that statement (the one an EXECUTE
// used last among them included): the session keeps one statement a name, and the session's
// count of them says so.
TEST_F(Query, PrepareUnderAHeldNameReplacesIt) {
    ASSERT_EQ(s.exec("CREATE TABLE p (k integer, j integer)").status, IIAPI_ST_SUCCESS);
    auto prepared = [&] {
        Result r = s.exec("SELECT dbmsinfo('_prepared_cnt')");
        return r.rows.size() == 1 && r.rows[0][0] ? *r.rows[0][0] : std::string("?");
    };
    ASSERT_EQ(s.exec("prepare s1 into sqlda from INSERT INTO p VALUES (?, 0)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("prepare s2 into sqlda from INSERT INTO p VALUES (?, 0)").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ("2", prepared());
    ASSERT_EQ(s.run("execute s1", {pInt(1)}, IIAPI_QT_EXEC).status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("prepare s1 into sqlda from INSERT INTO p VALUES (0, ?)").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ("2", prepared());
    ASSERT_EQ(s.run("execute s1", {pInt(2)}, IIAPI_QT_EXEC).status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.run("execute s2", {pInt(3)}, IIAPI_QT_EXEC).status, IIAPI_ST_SUCCESS);
    Result r = s.exec("SELECT sum(k), sum(j) FROM p");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "4");
    EXPECT_EQ(r.rows[0][1], "2");
}

TEST_F(Query, SeveralCursorsOpenAtOnce) {
    ASSERT_EQ(s.exec("CREATE TABLE m (k integer)").status, IIAPI_ST_SUCCESS);
    for (int k = 0; k < 4; ++k) s.run("INSERT INTO m VALUES (?)", {pInt(k)});
    IIAPI_STATUS st1, st2;
    II_PTR a = s.open("SELECT k FROM m ORDER BY k", {}, IIAPI_QT_QUERY, st1);
    II_PTR b = s.open("SELECT k FROM m ORDER BY k DESC", {}, IIAPI_QT_QUERY, st2);
    ASSERT_EQ(st1, IIAPI_ST_SUCCESS);
    ASSERT_EQ(st2, IIAPI_ST_SUCCESS);
    std::vector<IIAPI_DESCRIPTOR> d;
    std::vector<std::string> n;
    ASSERT_EQ(descriptors(a, d, n), IIAPI_ST_SUCCESS);
    ASSERT_EQ(descriptors(b, d, n), IIAPI_ST_SUCCESS);
    auto one = [&](II_PTR h) {
        int32_t v = -1;
        EXPECT_EQ(fetchOne(h, &v), IIAPI_ST_SUCCESS);
        return v;
    };
    EXPECT_EQ(one(a), 0);
    EXPECT_EQ(one(b), 3);
    EXPECT_EQ(one(a), 1);
    EXPECT_EQ(one(b), 2);
    Session::close(a);
    Session::close(b);
}

TEST_F(Query, BlocksPartialRowsAndLongValueInSegments) {
    ASSERT_EQ(s.exec("CREATE TABLE big (id integer, name varchar(8), body long varchar, tail integer)").status,
              IIAPI_ST_SUCCESS);
    std::string body(100000, ' ');
    for (size_t i = 0; i < body.size(); ++i) body[i] = char('A' + i % 23);
    ASSERT_EQ(
        s.run("INSERT INTO big VALUES (?, ?, ?, ?)", {pInt(1), pVarchar("one"), pLong(IIAPI_LVCH_TYPE, body), pInt(11)})
            .status,
        IIAPI_ST_SUCCESS);
    ASSERT_EQ(
        s.run("INSERT INTO big VALUES (?, ?, ?, ?)", {pInt(2), pVarchar("two"), pNull(IIAPI_LVCH_TYPE, 2000), pInt(22)})
            .status,
        IIAPI_ST_SUCCESS);
    IIAPI_STATUS st;
    II_PTR h = s.open("SELECT id, name, body, tail FROM big ORDER BY id", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    std::vector<IIAPI_DESCRIPTOR> d;
    std::vector<std::string> n;
    ASSERT_EQ(descriptors(h, d, n), IIAPI_ST_SUCCESS);
    ASSERT_EQ(d.size(), 4u);
    ASSERT_EQ(d[2].ds_dataType, IIAPI_LVCH_TYPE);
    auto getCols = [&](int count, IIAPI_DATAVALUE* dv, II_BOOL* more = nullptr) {
        IIAPI_GETCOLPARM gc{};
        gc.gc_stmtHandle = h;
        gc.gc_rowCount = 1;
        gc.gc_columnCount = int16_t(count);
        gc.gc_columnData = dv;
        IIapi_getColumns(&gc);
        IIAPI_STATUS r = finish(gc.gc_genParm);
        if (more) *more = gc.gc_moreSegments;
        return r;
    };
    for (int row = 1; row <= 2; ++row) {
        int32_t id = 0;
        char name[10] = {};
        IIAPI_DATAVALUE dv[2] = {};
        dv[0].dv_value = &id;
        dv[1].dv_value = name;
        ASSERT_EQ(getCols(2, dv), IIAPI_ST_SUCCESS);
        EXPECT_EQ(id, row);
        std::string got;
        int segments = 0;
        bool isNull = false;
        std::vector<char> seg(d[2].ds_length);
        for (;;) {
            IIAPI_DATAVALUE lv{};
            lv.dv_value = seg.data();
            II_BOOL more = II_FALSE;
            ASSERT_EQ(getCols(1, &lv, &more), IIAPI_ST_SUCCESS);
            if (lv.dv_null) {
                isNull = true;
                break;
            }
            uint16_t len;
            std::memcpy(&len, seg.data(), 2);
            ASSERT_LE(len, d[2].ds_length - 2);
            got.append(seg.data() + 2, len);
            ++segments;
            if (!more) break;
        }
        if (row == 1) {
            EXPECT_EQ(got, body);
            EXPECT_GE(segments, 100000 / 8190);
        } else {
            EXPECT_TRUE(isNull);
        }
        int32_t tail = 0;
        IIAPI_DATAVALUE tv{};
        tv.dv_value = &tail;
        ASSERT_EQ(getCols(1, &tv), IIAPI_ST_SUCCESS);
        EXPECT_EQ(tail, row * 11);
    }
    int32_t none = 0;
    IIAPI_DATAVALUE nv{};
    nv.dv_value = &none;
    EXPECT_EQ(getCols(2, &nv), IIAPI_ST_NO_DATA);
    Session::close(h);
}

TEST_F(Query, BlockFetchDeliversRowsAndNoDataOnlyWhenEmpty) {
    ASSERT_EQ(s.exec("CREATE TABLE b (k integer, t varchar(4))").status, IIAPI_ST_SUCCESS);
    for (int k = 0; k < 7; ++k) ASSERT_EQ(s.run("INSERT INTO b VALUES (?, 'r')", {pInt(k)}).status, IIAPI_ST_SUCCESS);
    IIAPI_STATUS st;
    II_PTR h = s.open("SELECT k, t FROM b ORDER BY k", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    std::vector<IIAPI_DESCRIPTOR> d;
    std::vector<std::string> n;
    ASSERT_EQ(descriptors(h, d, n), IIAPI_ST_SUCCESS);
    std::vector<int> sizes;
    std::vector<int> keys;
    for (;;) {
        int32_t k[3];
        char t[3][8];
        IIAPI_DATAVALUE dv[6] = {};
        for (int r = 0; r < 3; ++r) {
            dv[2 * r].dv_value = &k[r];
            dv[2 * r + 1].dv_value = t[r];
        }
        IIAPI_GETCOLPARM gc{};
        gc.gc_stmtHandle = h;
        gc.gc_rowCount = 3;
        gc.gc_columnCount = 2;
        gc.gc_columnData = dv;
        IIapi_getColumns(&gc);
        IIAPI_STATUS r = finish(gc.gc_genParm);
        if (r == IIAPI_ST_NO_DATA) {
            EXPECT_EQ(gc.gc_rowsReturned, 0);
            break;
        }
        ASSERT_EQ(r, IIAPI_ST_SUCCESS);
        sizes.push_back(gc.gc_rowsReturned);
        for (int i = 0; i < gc.gc_rowsReturned; ++i) keys.push_back(k[i]);
    }
    EXPECT_EQ(sizes, (std::vector<int>{3, 3, 1}));
    EXPECT_EQ(keys, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    IIAPI_GETQINFOPARM gq{};
    gq.gq_stmtHandle = h;
    IIapi_getQueryInfo(&gq);
    ASSERT_EQ(finish(gq.gq_genParm), IIAPI_ST_SUCCESS);
    EXPECT_TRUE(gq.gq_mask & IIAPI_GQ_ROW_COUNT);
    EXPECT_EQ(gq.gq_rowCount, 7);
    EXPECT_TRUE(gq.gq_flags & IIAPI_GQF_END_OF_DATA);
    Session::close(h);
}

TEST_F(Query, RowCountsOfChanges) {
    ASSERT_EQ(s.exec("CREATE TABLE rc (k integer)").status, IIAPI_ST_SUCCESS);
    for (int k = 0; k < 5; ++k) s.run("INSERT INTO rc VALUES (?)", {pInt(k)});
    Result u = s.exec("UPDATE rc SET k = k + 10 WHERE k >= 2");
    ASSERT_EQ(u.status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(u.rowCount, 3);
    Result d = s.exec("DELETE FROM rc WHERE k < 100");
    EXPECT_EQ(d.rowCount, 5);
    Result none = s.exec("DELETE FROM rc");
    EXPECT_EQ(none.rowCount, 0);
}

TEST_F(Query, ErrorsCarryTheirSqlstates) {
    ASSERT_EQ(s.exec("CREATE TABLE e (k integer NOT NULL PRIMARY KEY, v varchar(5))").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("INSERT INTO e VALUES (1, 'a')").status, IIAPI_ST_SUCCESS);
    struct Case {
        const char* sql;
        const char* state;
    } cases[] = {
        {"SELECT * FROM nosuchtable", "42S02"},
        {"SELECT nosuchcolumn FROM e", "42S22"},
        {"CREATE TABLE e (x integer)", "42S01"},
        {"INSERT INTO e VALUES (1, 'b')", "23000"},
        {"INSERT INTO e VALUES (NULL, 'b')", "23000"},
        {"SELEKT 1", "42000"},
        {"SELECT \"k\" FROM e WHERE v = \"a\"", "42S22"},
        {"CREATE TABLE g (x nosuchtype)", "42000"},
        {"SELECT 1; SELECT 2", "42000"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.sql);
        Result r = s.exec(c.sql);
        EXPECT_EQ(r.status, IIAPI_ST_ERROR);
        ASSERT_FALSE(r.msgs.empty());
        EXPECT_EQ(r.msgs[0].sqlstate, c.state) << r.msgs[0].text;
        EXPECT_FALSE(r.msgs[0].text.empty());
        EXPECT_NE(r.msgs[0].native, 0);
        for (char ch : r.msgs[0].text) EXPECT_TRUE(ch >= 0x20 && ch < 0x7f);
    }
}

TEST_F(Query, SequenceErrorsAreReportedNotCrashed) {
    IIAPI_STATUS st;
    II_PTR h = s.open("INSERT INTO nowhere VALUES (?)", {}, IIAPI_QT_QUERY, st);
    EXPECT_EQ(st, IIAPI_ST_ERROR);
    // Columns of a failed statement.
    EXPECT_EQ(fetchOne(h, nullptr), IIAPI_ST_ERROR);
    Session::close(h);
    // Parameters for a statement that takes none, and bad counts.
    ASSERT_EQ(s.exec("CREATE TABLE sq (k integer)").status, IIAPI_ST_SUCCESS);
    Result r = s.run("INSERT INTO sq VALUES (1)", {pInt(1)});
    EXPECT_EQ(r.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(r.msgs.empty());
    EXPECT_EQ(r.msgs[0].sqlstate, "07001");
    h = s.open("SELECT k FROM sq", {}, IIAPI_QT_QUERY, st);
    IIAPI_DATAVALUE dv{};
    IIAPI_GETCOLPARM bad{};
    bad.gc_stmtHandle = h;
    bad.gc_rowCount = 0;
    bad.gc_columnCount = 1;
    bad.gc_columnData = &dv;
    IIapi_getColumns(&bad);
    EXPECT_EQ(finish(bad.gc_genParm), IIAPI_ST_ERROR);
    bad.gc_rowCount = 1;
    bad.gc_columnCount = 5;
    IIapi_getColumns(&bad);
    EXPECT_EQ(finish(bad.gc_genParm), IIAPI_ST_ERROR);
    bad.gc_columnCount = 1;
    bad.gc_columnData = nullptr;
    IIapi_getColumns(&bad);
    EXPECT_EQ(finish(bad.gc_genParm), IIAPI_ST_ERROR);
    IIAPI_PUTPARMPARM pp{};
    pp.pp_stmtHandle = h;
    pp.pp_parmCount = 1;
    pp.pp_parmData = &dv;
    IIapi_putParms(&pp);
    EXPECT_EQ(finish(pp.pp_genParm), IIAPI_ST_ERROR);
    Session::close(h);
}

TEST_F(Query, TablesMadeByOtherProgramsAreRead) {
    // Plain SQLite declarations without the engine's metadata.
    ASSERT_EQ(s.exec("CREATE TABLE t0 (a integer)").status, IIAPI_ST_SUCCESS);  // metadata table exists
    IIAPI_STATUS st;
    II_PTR h = s.open("SELECT 1", {}, IIAPI_QT_QUERY, st);
    Session::close(h);
    Result r = s.exec("SELECT 42, 'abc', 1.25, 2.5e0, count(*) FROM t0");
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(r.desc.size(), 5u);
    EXPECT_EQ(r.desc[0].ds_dataType, IIAPI_INT_TYPE);
    EXPECT_EQ(r.desc[0].ds_length, 4);
    EXPECT_EQ(r.desc[1].ds_dataType, IIAPI_VCH_TYPE);
    EXPECT_EQ(r.desc[2].ds_dataType, IIAPI_DEC_TYPE);
    EXPECT_EQ(r.desc[3].ds_dataType, IIAPI_FLT_TYPE);
    EXPECT_EQ(r.desc[4].ds_dataType, IIAPI_INT_TYPE);
    EXPECT_EQ(r.desc[4].ds_length, 4);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "42");
    EXPECT_EQ(r.rows[0][1], "abc");
    EXPECT_EQ(r.rows[0][2], "1.25");
    EXPECT_EQ(r.rows[0][3], "2.5");
    EXPECT_EQ(r.rows[0][4], "0");
}

TEST_F(Query, SelectFirstLimitsRows) {
    ASSERT_EQ(s.exec("CREATE TABLE ff (k integer)").status, IIAPI_ST_SUCCESS);
    for (int k = 0; k < 5; ++k) s.run("INSERT INTO ff VALUES (?)", {pInt(k)});
    Result r = s.exec("SELECT FIRST 2 k FROM ff ORDER BY k DESC");
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0][0], "4");
}

}  // namespace

namespace {

TEST(Foreign, PlainSqliteFilesAreReadWithoutAddingMetadata) {
    environment();
    char path[512];
    std::string name = freshDatabase() + "_foreign";
    ASSERT_EQ(iiengine_databasePath(name.c_str(), path, sizeof path), 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path, &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db,
                     "CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, price REAL, data BLOB, code VARCHAR(5));"
                     "INSERT INTO items VALUES (1, 'pen', 1.25, x'0102', 'A1');"
                     "INSERT INTO items VALUES (5000000000, NULL, NULL, NULL, 'B2');",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    {
        Session s;
        ASSERT_EQ(s.connect(environment(), name), IIAPI_ST_SUCCESS);
        Result r = s.exec("SELECT id, name, price, data, code FROM items ORDER BY id");
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
        ASSERT_EQ(r.desc.size(), 5u);
        EXPECT_EQ(r.desc[0].ds_dataType, IIAPI_INT_TYPE);
        EXPECT_EQ(r.desc[0].ds_length, 8);
        EXPECT_EQ(r.desc[1].ds_dataType, IIAPI_LVCH_TYPE);
        EXPECT_EQ(r.desc[2].ds_dataType, IIAPI_FLT_TYPE);
        EXPECT_EQ(r.desc[2].ds_length, 8);
        EXPECT_EQ(r.desc[3].ds_dataType, IIAPI_LBYTE_TYPE);
        EXPECT_EQ(r.desc[4].ds_dataType, IIAPI_VCH_TYPE);
        ASSERT_EQ(r.rows.size(), 2u);
        EXPECT_EQ(r.rows[0][1], "pen");
        EXPECT_EQ(r.rows[1][0], "5000000000");
        Result cat = s.exec(
            "SELECT column_name, column_ingdatatype FROM iicolumns WHERE table_name = 'items' "
            "ORDER BY column_sequence");
        ASSERT_EQ(cat.rows.size(), 5u);
        EXPECT_EQ(cat.rows[0][1], "-30");
        s.rollback();
    }
    // Reading added nothing to the file.
    ASSERT_EQ(sqlite3_open(path, &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master WHERE name LIKE 'iiapi%'", -1, &st, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

TEST(Foreign, DatesSentAsClientTextAreStoredAsDates) {
    std::string db = freshDatabase();
    Session s;
    ASSERT_EQ(s.connect(environment(), db), IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("CREATE TABLE dd (d ansidate, t date)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.run("INSERT INTO dd VALUES (?, ?)", {pChar("2024_02_29"), pChar("2024_02_29 10:11:12")}).status,
              IIAPI_ST_SUCCESS);
    Result r = s.run("SELECT count(*) FROM dd WHERE d = ? AND t = '2024-02-29 10:11:12'", {pChar("2024_02_29")});
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "1");
}

}  // namespace
