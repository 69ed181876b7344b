// The Ingres SQL dialect: statements, names, functions and result types the driver relies on.
#include "tests/iiapi/api_fixture.h"

#include <cctype>
#include <clocale>
#include <string>

using namespace apitest;

namespace {

class Dialect : public SampleDatabase {
protected:
    // One value of a one-row query.
    std::string one(const std::string& sql) {
        Result r = s.run(sql, {}, IIAPI_QT_SELECT_SINGLE);
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << sql << ": " << firstMessage(r.msgs);
        if (r.rows.size() != 1 || r.rows[0].empty()) return "<no row>";
        return trimmed(r.rows[0][0]);
    }
};

TEST_F(Dialect, TextPlusIsConcatenation) {
    EXPECT_EQ(one("SELECT 'a' + 'b' FROM dept WHERE deptno = 10"), "ab");
    EXPECT_EQ(one("SELECT dname + '/' + loc FROM dept WHERE deptno = 10"), "Accounting/New York");
    EXPECT_EQ(one("SELECT deptno + 1 FROM dept WHERE deptno = 10"), "11");
    EXPECT_EQ(one("SELECT system_use + table_type FROM iitables WHERE table_name = 'emp'"), "UT");
    EXPECT_EQ(one("SELECT charextract('YN', (mod(3, 2)) +1)+' ' FROM dept WHERE deptno = 10"), "N");
}

TEST_F(Dialect, OwnerQualifiedNamesAndUnions) {
    EXPECT_EQ(one("SELECT count(*) FROM owner.emp"), "6");
    EXPECT_EQ(one("SELECT count(*) FROM \"owner\".\"emp\" e, owner.dept d WHERE e.deptno = d.deptno"), "6");
    EXPECT_EQ(one("SELECT owner.emp.ename FROM owner.emp WHERE empno = 7839"), "King");
    Result u = s.exec(
        "(SELECT ename FROM emp WHERE deptno = 10) UNION (SELECT dname FROM dept WHERE deptno = 10) "
        "ORDER BY 1");
    ASSERT_EQ(u.status, IIAPI_ST_SUCCESS) << firstMessage(u.msgs);
    ASSERT_EQ(u.rows.size(), 2u);
    EXPECT_EQ(trimmed(u.rows[0][0]), "Accounting");
    EXPECT_EQ(one("SELECT count(*) FROM (SELECT empno FROM emp) x"), "6");
    Result upd = s.exec("UPDATE owner.emp SET job = 'x' WHERE empno = 7369");
    EXPECT_EQ(upd.rowCount, 1);
    Result del = s.exec("DELETE FROM owner.emp WHERE empno = 7369");
    EXPECT_EQ(del.rowCount, 1);
    Result ins = s.exec("INSERT INTO owner.dept VALUES (40, 'Ops', 'Boston')");
    EXPECT_EQ(ins.rowCount, 1);
}

TEST_F(Dialect, DdlClausesAndTypeNames) {
    ASSERT_EQ(s.exec("CREATE TABLE Mixed (A integer1 NOT NULL WITH DEFAULT, b int2 WITH NULL, c int4 NOT NULL,"
                     " d int8, e float4, f float8, g c(3) NOT NULL WITH DEFAULT, h text(5), i char, j varchar(4),"
                     " k byte(2), l byte varying(3), m long varchar, n long byte, o nchar(2), p nvarchar(3),"
                     " q long nvarchar, r decimal(7,3), s money, t date, u ingresdate, v ansidate, w time,"
                     " x timestamp, y interval year to month, z interval day to second, aa boolean,"
                     " ab tinyint, ac smallint, ad integer, ae bigint, af float, ag real, ah double precision,"
                     " ai numeric(5,1), aj character varying(6), ak time with time zone,"
                     " al timestamp with local time zone, am character(2)) WITH JOURNALING")
                  .status,
              IIAPI_ST_SUCCESS);
    Result r = s.exec("SELECT * FROM mixed");
    ASSERT_EQ(r.desc.size(), 39u);
    const int16_t types[] = {30, 30, 30, 30, 31, 31, 32, 37, 20, 21, 23, 24, 22, 25, 26, 27, 28, 10, 5, 3,
                             3,  4,  6,  9,  33, 34, 38, 30, 30, 30, 30, 31, 31, 31, 10, 21, 7,  19, 20};
    const uint16_t lengths[] = {1,  2,  4,  8,  4,  8,  3, 7, 1, 6, 2, 5, 8192, 8192, 4, 8, 8192, 4,  8, 12,
                                12, 12, 12, 12, 12, 12, 1, 1, 2, 4, 8, 8, 4,    8,    3, 8, 12,   12, 2};
    for (size_t k = 0; k < r.desc.size(); ++k) {
        SCOPED_TRACE(r.names[k]);
        EXPECT_EQ(r.desc[k].ds_dataType, types[k]);
        EXPECT_EQ(r.desc[k].ds_length, lengths[k]);
    }
    EXPECT_EQ(r.names[0], "a");  // unquoted names fold to lower case
    EXPECT_FALSE(r.desc[0].ds_nullable);
    EXPECT_TRUE(r.desc[1].ds_nullable);
    // WITH DEFAULT supplies the type's default.
    ASSERT_EQ(s.exec("INSERT INTO mixed (c) VALUES (5)").status, IIAPI_ST_SUCCESS);
    Result d = s.exec("SELECT a, g, c FROM mixed");
    ASSERT_EQ(d.rows.size(), 1u);
    EXPECT_EQ(trimmed(d.rows[0][0]), "0");
    EXPECT_EQ(*d.rows[0][1], "   ");
    EXPECT_EQ(s.exec("INSERT INTO mixed (a) VALUES (1)").msgs.at(0).sqlstate, "23000");  // c is NOT NULL
    ASSERT_EQ(s.exec("CREATE INDEX mx ON mixed (c) WITH STRUCTURE = BTREE, KEY = (c)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("MODIFY mixed TO BTREE").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("DROP TABLE mixed").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(s.exec("SELECT * FROM mixed").msgs.at(0).sqlstate, "42S02");
}

TEST_F(Dialect, SessionStatementsAndFirst) {
    for (const char* sql : {"SET LOCKMODE SESSION WHERE LEVEL = PAGE, READLOCK = NOLOCK",
                            "SET SESSION READ WRITE , ISOLATION LEVEL SERIALIZABLE", "SET AUTOCOMMIT OFF"}) {
        Result r = s.exec(sql);
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << sql;
    }
    ASSERT_EQ(s.exec("SET SESSION READ ONLY , ISOLATION LEVEL READ COMMITTED").status, IIAPI_ST_SUCCESS);
    Result w = s.exec("DELETE FROM emp");
    EXPECT_EQ(w.status, IIAPI_ST_ERROR);
    EXPECT_EQ(one("SELECT count(*) FROM emp"), "6");
    ASSERT_EQ(s.exec("SET SESSION READ WRITE , ISOLATION LEVEL READ COMMITTED").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(s.exec("DELETE FROM emp WHERE empno = 7369").rowCount, 1);
    Result f = s.exec("SELECT FIRST 2 empno FROM emp ORDER BY empno");
    ASSERT_EQ(f.rows.size(), 2u);
    EXPECT_EQ(trimmed(f.rows[1][0]), "7566");
    Result fu = s.exec("SELECT empno FROM emp WHERE empno > 7800 ORDER BY empno FOR UPDATE OF ename");
    EXPECT_EQ(fu.rows.size(), 2u);
    Result ro = s.exec("SELECT empno FROM emp FOR READONLY");
    EXPECT_EQ(ro.rows.size(), 5u);
}

TEST_F(Dialect, DoubleQuotesNameIdentifiersOnly) {
    Result bad = s.exec("SELECT ename FROM emp WHERE ename = \"King\"");
    EXPECT_EQ(bad.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(bad.msgs.empty());
    EXPECT_EQ(bad.msgs[0].sqlstate, "42S22");
    EXPECT_EQ(one("SELECT \"ename\" FROM \"emp\" WHERE empno = 7839"), "King");
}

TEST_F(Dialect, QuotesDoubledInsideStandForThemselves) {
    EXPECT_EQ(one("SELECT 'it''s' FROM emp WHERE empno = 7839"), "it's");
    EXPECT_EQ(one("SELECT '''' FROM emp WHERE empno = 7839"), "'");
    Result named = s.exec("SELECT ename AS \"a\"\"b\" FROM emp WHERE empno = 7839");
    ASSERT_EQ(named.status, IIAPI_ST_SUCCESS) << firstMessage(named.msgs);
    ASSERT_EQ(named.names.size(), 1u);
    EXPECT_EQ(named.names[0], "a\"b");
    const struct {
        const char* sql;
        const char* message;
    } unterminated[] = {
        {"SELECT 'abc FROM emp", "unterminated string"},
        {"SELECT 'it''s FROM emp", "unterminated string"},
        {"SELECT '", "unterminated string"},
        {"SELECT ename AS \"abc FROM emp", "unterminated identifier"},
        {"SELECT ename AS \"a\"\" FROM emp", "unterminated identifier"},
    };
    for (const auto& c : unterminated) {
        Result r = s.exec(c.sql);
        EXPECT_EQ(r.status, IIAPI_ST_ERROR) << c.sql;
        ASSERT_FALSE(r.msgs.empty()) << c.sql;
        EXPECT_EQ(r.msgs[0].sqlstate, "42000") << c.sql;
        EXPECT_NE(r.msgs[0].text.find(c.message), std::string::npos) << c.sql << ": " << r.msgs[0].text;
    }
}

TEST_F(Dialect, GrantRecordsPermits) {
    ASSERT_EQ(s.exec("GRANT INSERT, DELETE ON TABLE emp TO alice, bob").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(one("SELECT count(*) FROM iipermits WHERE object_name = 'emp'"), "5");
    ASSERT_EQ(s.exec("REVOKE DELETE ON emp FROM bob").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(one("SELECT count(*) FROM iipermits WHERE object_name = 'emp'"), "4");
    EXPECT_EQ(s.exec("GRANT SELECT ON nosuch TO public").msgs.at(0).sqlstate, "42S02");
    EXPECT_EQ(s.exec("GRANT SELECT emp").status, IIAPI_ST_ERROR);
}

TEST_F(Dialect, TranslatedScalarFunctions) {
    struct Case {
        const char* expr;
        const char* value;
    } cases[] = {
        {" uppercase(ename)", "KING"},
        {" lowercase(ename)", "king"},
        {" locate( ename,'n')", "3"},
        {" locate( ename,'z')", "5"},
        {" left(ename, 2)", "Ki"},
        {" right(ename, 2)", "ng"},
        {" concat(ename, 'X')", "KingX"},
        {" length(ename)", "4"},
        {" abs(-3)", "3"},
        {" mod(17, 5)", "2"},
        {" ifnull(mgr, -1)", "-1"},
        {" dbmsinfo('username')", "owner"},
        {" dbmsinfo('database')", nullptr},
        {"int4(sal)", "5000"},
        {"int2(7)", "7"},
        {"int1(7)", "7"},
        {"float8(2)", "2"},
        {"char(empno)", "7839"},
        {"varchar(empno)", "7839"},
        {" date_part('yr',hiredate)", "1981"},
        {" date_part('mo',hiredate)", "11"},
        {" date_part('day',hiredate)", "17"},
        {" date_part('qtr',hiredate)", "4"},
        {" date_part('hr',date('01/15/2024 10:20:30'))", "10"},
        {" date_part('min',date('01/15/2024 10:20:30'))", "20"},
        {" date_part('sec',date('01/15/2024 10:20:30'))", "30"},
        {" date_part('wk',date('01/15/2024'))+1", "4"},
        {"date('01/15/2024')", "2024-01-15"},
        {"date('10:20:30')", "10:20:30"},
        {" squeeze('  a   b  ')", "a b"},
        {" trim('ab   ')", "ab"},
        {"charextract('YN', 2)", "N"},
        {" sqrt(16)", "4"},
        {" exp(0)", "1"},
        {" log(1)", "0"},
        {" sin(0)", "0"},
        {" cos(0)", "1"},
        {" atan(0)", "0"},
        {" length(ename)*8", "32"},
        {" log(100)/log(10)", "2"},
        {"money(12.345)", "$12.35"},
        {"iitypename(30)", "integer"},
        {"ii_ext_length(21, 22)", "20"},
        {"iiuserlen(30, 4*65536)", "10"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.expr);
        std::string v = one(std::string("SELECT ") + c.expr + " FROM emp WHERE empno = 7839");
        if (c.value)
            EXPECT_EQ(v, c.value);
        else
            EXPECT_EQ(v, db);
    }
    // Values of the clock.
    std::string today = one("SELECT date('today') FROM dept WHERE deptno = 10");
    EXPECT_EQ(today.size(), 10u);
    std::string now = one("SELECT date('now') FROM dept WHERE deptno = 10");
    EXPECT_EQ(now.size(), 19u);
    std::string t = one("SELECT _time(int4(dbmsinfo('_bintim'))) FROM dept WHERE deptno = 10");
    EXPECT_EQ(t.size(), 8u);
    EXPECT_EQ(t[2], ':');
    // Outer joins and escapes as the driver writes them.
    Result oj = s.exec(
        "SELECT d.dname, e.ename FROM  (dept d LEFT JOIN emp e ON d.deptno = e.deptno)  "
        "WHERE d.deptno = 30 OR e.ename IS NULL ORDER BY 2");
    ASSERT_EQ(oj.status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(oj.rows.size(), 2u);
    EXPECT_EQ(one("SELECT count(*) FROM emp WHERE ename LIKE 'K\\%%' ESCAPE '\\'"), "0");
    EXPECT_EQ(one("SELECT count(*) FROM emp WHERE ename LIKE 'K%' ESCAPE '\\'"), "1");
    EXPECT_EQ(one("SELECT count(*) FROM emp WHERE ename LIKE '\\[A-C\\]%' ESCAPE '\\'"), "2");
    EXPECT_EQ(one("SELECT count(*) FROM emp WHERE ename LIKE 'k%'"), "0");  // case matters
}

TEST_F(Dialect, FunctionErrorsCarrySqlstates) {
    struct Case {
        const char* sql;
        const char* state;
    } cases[] = {
        {"SELECT int1(300) FROM dept WHERE deptno = 10", "22003"},
        {"SELECT int2(empno * 10) FROM emp WHERE empno = 7839", "22003"},
        {"SELECT mod(1, 0) FROM dept WHERE deptno = 10", "22012"},
        {"SELECT date('not a date') FROM dept WHERE deptno = 10", "22007"},
        {"SELECT int4('abc') FROM dept WHERE deptno = 10", "22005"},
        {"SELECT nosuchfunction(1) FROM dept", "42000"},
    };
    for (auto& c : cases) {
        Result r = s.exec(c.sql);
        EXPECT_EQ(r.status, IIAPI_ST_ERROR) << c.sql;
        ASSERT_FALSE(r.msgs.empty()) << c.sql;
        EXPECT_EQ(r.msgs[0].sqlstate, c.state) << c.sql << ": " << r.msgs[0].text;
    }
}

TEST_F(Dialect, ResultColumnsAreDescribedByTheirIngresTypes) {
    Result r = s.exec(
        "SELECT count(*), int2(empno), int1(1), varchar(ename), ename, sal, 'lit', 12, 1.5, "
        "date('today'), float8(1), dbmsinfo('username') AS who, hiredate, comm FROM emp "
        "WHERE empno = 7839");
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    const int16_t types[] = {30, 30, 30, 21, 21, 10, 21, 30, 10, 3, 31, 21, 4, 5};
    const uint16_t lengths[] = {4, 2, 1, 2002, 32, 5, 5, 4, 2, 12, 8, 258, 12, 8};
    ASSERT_EQ(r.desc.size(), std::size(types));
    for (size_t k = 0; k < r.desc.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(r.desc[k].ds_dataType, types[k]);
        EXPECT_EQ(r.desc[k].ds_length, lengths[k]);
    }
    EXPECT_EQ(r.names[11], "who");
    EXPECT_EQ(r.names[4], "ename");
    EXPECT_EQ(r.names[0], "col1");
    EXPECT_EQ(r.names[6], "col7");
    // A value the described type cannot hold is an error.
    Result big = s.exec("SELECT int2(70000) FROM emp");
    EXPECT_EQ(big.status, IIAPI_ST_ERROR);
}

// A division with a decimal operand is a decimal of scale 31 - p1 + s1 - s2, wherever it stands;
// integers still divide as integers.
TEST_F(Dialect, DecimalDivisionIsDecimal) {
    struct Case {
        const char* expr;
        int16_t type;
        int16_t scale;
        const char* value;  // its first characters
        int16_t precision = 31;
    } cases[] = {
        {"sal / 3", IIAPI_DEC_TYPE, 24, "1666.6666666666"},
        {"e.sal / 8", IIAPI_DEC_TYPE, 24, "625.0000"},
        {"3 / sal", IIAPI_DEC_TYPE, 19, "0.00060000"},
        {"sal / 3 / 2", IIAPI_DEC_TYPE, 24, "833.3333333"},
        // sal + 1 is DECIMAL(13,2).
        {"(sal + 1) / 2", IIAPI_DEC_TYPE, 20, "2500.50"},
        {"sal / (2 + 2)", IIAPI_DEC_TYPE, 24, "1250.000"},
        {"abs(sal) / 2", IIAPI_DEC_TYPE, 24, "2500.000"},
        {"sal / 2.5", IIAPI_DEC_TYPE, 23, "2000.000"},
        {"7 / 2", IIAPI_INT_TYPE, 0, "3"},
        {"7 / 2 * sal", IIAPI_DEC_TYPE, 2, "15000.00", 19},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expr);
        Result r = s.exec(std::string("SELECT ") + c.expr + " FROM emp e WHERE empno = 7839");
        ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
        ASSERT_EQ(r.desc.size(), 1u);
        EXPECT_EQ(std::abs(r.desc[0].ds_dataType), c.type);
        if (c.type == IIAPI_DEC_TYPE) {
            EXPECT_EQ(r.desc[0].ds_precision, c.precision);
            EXPECT_EQ(r.desc[0].ds_scale, c.scale);
        }
        ASSERT_EQ(r.rows.size(), 1u);
        EXPECT_EQ(trimmed(r.rows[0][0]).substr(0, std::strlen(c.value)), c.value);
    }
    // The quotient compares as a number, not as the integers' quotient.
    EXPECT_EQ(one("SELECT count(*) FROM emp WHERE sal / 3 > 1666 AND empno = 7839"), "1");
    EXPECT_EQ(one("SELECT count(*) FROM emp WHERE sal / 3 >= 1667 AND empno = 7839"), "0");
    Result zero = s.exec("SELECT sal / (empno - empno) FROM emp");
    EXPECT_EQ(zero.status, IIAPI_ST_ERROR);
}

TEST_F(Dialect, StrictOrderByNamesTheMissingColumn) {
    ASSERT_EQ(iiengine_setControl(IIENGINE_ORDER_BY, "strict"), 0);
    Session old;
    IIAPI_STATUS st = old.connect(environment(), db, "owner");
    iiengine_setControl(IIENGINE_ORDER_BY, nullptr);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    Result bad = old.exec("prepare s1 into sqlda from SELECT ename FROM emp ORDER BY emp.sal");
    EXPECT_EQ(bad.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(bad.msgs.empty());
    EXPECT_EQ(bad.msgs[0].sqlstate, "42501");
    EXPECT_EQ(bad.msgs[0].native, 2161);
    std::string m = bad.msgs[0].text;
    size_t q1 = m.find('\''), q2 = m.find('\'', q1 + 1);
    ASSERT_NE(q2, std::string::npos);
    EXPECT_EQ(m.substr(q1 + 1, q2 - q1 - 1), "sal");
    // The repaired statement carries the column as the last select-list item.
    Result fixed = old.exec("prepare s1 into sqlda from SELECT ename, emp.\"sal\" FROM emp ORDER BY emp.sal");
    EXPECT_EQ(fixed.status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(old.exec("SELECT ename FROM emp ORDER BY 1").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(old.exec("SELECT ename AS n FROM emp ORDER BY n").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(old.exec("SELECT * FROM emp ORDER BY sal").status, IIAPI_ST_SUCCESS);
    // The default session accepts it.
    EXPECT_EQ(s.exec("SELECT ename FROM emp ORDER BY emp.sal").status, IIAPI_ST_SUCCESS);
}

}  // namespace

namespace {

TEST_F(Dialect, CreatorOwnsTablesAndViews) {
    Session other;
    ASSERT_EQ(other.connect(environment(), db, "zoe"), IIAPI_ST_SUCCESS);
    ASSERT_EQ(other.exec("CREATE TABLE zt (k integer)").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(other.exec("CREATE VIEW zv AS SELECT k FROM zt").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(other.commit(), IIAPI_ST_SUCCESS);
    Result r = s.exec("SELECT table_name, table_owner, table_type FROM iitables WHERE table_name LIKE 'z%' ORDER BY 1");
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(trimmed(r.rows[0][1]), "zoe");
    EXPECT_EQ(trimmed(r.rows[1][1]), "zoe");
    EXPECT_EQ(trimmed(r.rows[1][2]), "V");
    EXPECT_EQ(one("SELECT count(*) FROM zoe.zv"), "0");
    ASSERT_EQ(s.exec("DROP VIEW zv").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(one("SELECT count(*) FROM iitables WHERE table_name = 'zv'"), "0");
}

}  // namespace

// The application's character classes for a test: a single-byte locale, named two ways; the one
// before comes back at the end.
class CtypeLocale {
public:
    CtypeLocale(const char* name, const char* other) {
        const char* current = std::setlocale(LC_CTYPE, nullptr);
        saved_ = current ? current : "C";
        on_ = std::setlocale(LC_CTYPE, name) || std::setlocale(LC_CTYPE, other);
    }
    ~CtypeLocale() { std::setlocale(LC_CTYPE, saved_.c_str()); }
    bool on() const { return on_; }

private:
    std::string saved_;
    bool on_ = false;
};

// An application may run under a single-byte locale, where the C library would lower the bytes
// of a UTF-8 name one by one into other characters.
TEST_F(Dialect, NamesOutsideAsciiKeepTheirBytesUnderASingleByteLocale) {
    CtypeLocale latin1("de_DE.ISO-8859-1", "de_DE.iso88591");
    if (!latin1.on()) GTEST_SKIP() << "no de_DE.ISO-8859-1 locale installed";
    ASSERT_NE(std::tolower(0xC3), 0xC3);  // the locale really lowers the lead byte of "Ä"
    Result made = s.exec("CREATE TABLE t\xC3\x84 (gr\xC3\x96SSE integer, note varchar(10))");
    Result put = s.exec("INSERT INTO t\xC3\x84 VALUES (7, 'x')");
    Result got = s.exec("SELECT gr\xC3\x96SSE + 1 FROM T\xC3\x84");
    Result cols = s.exec("SELECT column_name FROM iicolumns WHERE table_name = 't\xC3\x84' ORDER BY column_sequence");
    ASSERT_EQ(made.status, IIAPI_ST_SUCCESS) << firstMessage(made.msgs);
    ASSERT_EQ(put.status, IIAPI_ST_SUCCESS) << firstMessage(put.msgs);
    ASSERT_EQ(got.status, IIAPI_ST_SUCCESS) << firstMessage(got.msgs);
    ASSERT_EQ(got.rows.size(), 1u);
    EXPECT_EQ(trimmed(got.rows[0][0]), "8");
    ASSERT_EQ(cols.status, IIAPI_ST_SUCCESS) << firstMessage(cols.msgs);
    ASSERT_EQ(cols.rows.size(), 2u);
    EXPECT_EQ(trimmed(cols.rows[0][0]), "gr\xC3\x96sse");
}

// Under a Turkish single-byte locale the C library lowers "I" to a dotless i: keywords and type
// names with an I in them are still what they are.
TEST_F(Dialect, KeywordsStayKeywordsUnderATurkishLocale) {
    CtypeLocale turkish("tr_TR.ISO-8859-9", "tr_TR.iso88599");
    if (!turkish.on()) GTEST_SKIP() << "no tr_TR.ISO-8859-9 locale installed";
    ASSERT_NE(std::tolower('I'), 'i');  // the locale really lowers "I" otherwise
    Result made = s.exec("CREATE TABLE TI (I INTEGER, B BIGINT)");
    Result bad = s.exec("INSERT INTO TI VALUES ('abc', 1)");
    Result good = s.exec("INSERT INTO TI VALUES (41, 2)");
    Result got = s.exec("SELECT I + 1, B FROM TI WHERE I IS NOT NULL");
    ASSERT_EQ(made.status, IIAPI_ST_SUCCESS) << firstMessage(made.msgs);
    EXPECT_EQ(bad.status, IIAPI_ST_ERROR);
    ASSERT_EQ(good.status, IIAPI_ST_SUCCESS) << firstMessage(good.msgs);
    ASSERT_EQ(got.status, IIAPI_ST_SUCCESS) << firstMessage(got.msgs);
    ASSERT_EQ(got.rows.size(), 1u);
    EXPECT_EQ(trimmed(got.rows[0][0]), "42");
    EXPECT_EQ(trimmed(got.rows[0][1]), "2");
}
