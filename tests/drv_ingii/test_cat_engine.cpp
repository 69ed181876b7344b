// Catalog operations through the operation table on the embedded engine's sample database:
// the rows each one returns, after the description fix-ups and the row hooks.
#include <algorithm>
#include <map>

#include <sqlite3.h>

#include "drv_ingii/i-cat.h"
#include "tests/support/agent_stmt_fixture.h"

using namespace stmttest;

namespace {

using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

// A cell as text: "<null>", the number, or the text (wide cells narrowed; trailing blanks cut).
std::string Cell(const Dataset& ds, uint16_t c, uint32_t r) {
    const DatasetColumn& col = ds.cols[c];
    if (col.indicators[r] == DS_IND_NULL) return "<null>";
    const uint8_t* cell = DatasetCell(&col, r);
    std::string s;
    switch (col.kind) {
        case DS_SMALLINT: {
            int16_t v;
            std::memcpy(&v, cell, 2);
            return std::to_string(v);
        }
        case DS_INTEGER: {
            int32_t v;
            std::memcpy(&v, cell, 4);
            return std::to_string(v);
        }
        case DS_CHAR_NTS:
            s = reinterpret_cast<const char*>(cell);
            break;
        case DS_WCHAR_NTS:
            for (uint32_t i = 0; 2 * i + 1 < col.width; ++i) {
                uint16_t u;
                std::memcpy(&u, cell + 2 * i, 2);
                if (u == 0) break;
                s += u < 0x80 ? char(u) : '?';
            }
            break;
        default: {
            char buf[512] = {};
            uint32_t len = sizeof buf - 1;
            if (DatasetGetValue(&ds, r, c, buf, &len) != 0) return "(kind " + std::to_string(col.kind) + ")";
            s.assign(buf, len);
        }
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

class CatalogEngine : public AgentSession {
protected:
    void SetUp() override { Open(false, false, true); }

    // Runs a catalog call (on a new statement) and fetches every row, three at a time so hooks see
    // several blocks.
    template <class Call>
    Rows Run(Call&& call, uint16_t* columns, uint32_t expect) {
        uint32_t s = Stmt();
        uint32_t rc = call(s);
        EXPECT_EQ(rc, expect) << Errors(s);
        Rows rows;
        if (rc != 0) return rows;
        if (columns) *columns = IngStmtFind(s)->columnCount;
        for (int guard = 0; guard < 100; ++guard) {
            Block b;
            uint32_t f = AgentCall<DRV_FetchRows>(&link, s, uint16_t(3), &b.ds);
            if (f != 0 || b.ds.rows_used == 0) break;
            for (uint32_t r = 0; r < b.ds.rows_used; ++r) {
                Row row;
                for (uint16_t c = 0; c < b.ds.col_count; ++c) row.push_back(Cell(b.ds, c, r));
                rows.push_back(row);
            }
        }
        return rows;
    }
    template <int S, class R>
    Rows Catalog(const R* args, uint16_t* columns = nullptr, uint32_t expect = 0) {
        return Run([&](uint32_t s) { return AgentCall<S>(&link, s, args); }, columns, expect);
    }
    Rows Texts(int slot, std::vector<const char*> args, uint16_t* columns = nullptr, uint32_t expect = 0) {
        args.resize(6, nullptr);
        return Run([&](uint32_t s) { return AgentCatalogByNames(&link, slot, s, args.data()); }, columns, expect);
    }
    static Row Column(const Rows& rows, size_t c) {
        Row v;
        for (const Row& r : rows) v.push_back(r.at(c));
        return v;
    }
};

TEST_F(CatalogEngine, TablesOfTheSampleSchema) {
    uint16_t n = 0;
    // The user tables and views, ordered by owner, name, type.
    Rows t = Texts(DRV_DDTables, {"", "", "%", "'TABLE','VIEW'"}, &n);
    EXPECT_EQ(n, 5);
    EXPECT_EQ(Column(t, 2), (Row{"all_types", "dept", "emp", "emp_names"}));
    EXPECT_EQ(Column(t, 3), (Row{"TABLE", "TABLE", "TABLE", "VIEW"}));
    EXPECT_EQ(Column(t, 0), (Row{"<null>", "<null>", "<null>", "<null>"}));
    EXPECT_EQ(Column(t, 4), (Row{"<null>", "<null>", "<null>", "<null>"}));
    Rows own = Texts(DRV_DDTables, {"", "owner", "%", ""});
    EXPECT_EQ(Column(own, 2), (Row{"all_types", "dept", "emp", "emp_names"}));
    EXPECT_EQ(Column(own, 1), (Row{"owner", "owner", "owner", "owner"}));
    EXPECT_EQ(Column(Texts(DRV_DDTables, {"", "o%", "%", ""}), 2), (Row{"all_types", "dept", "emp", "emp_names"}));
    EXPECT_TRUE(Texts(DRV_DDTables, {"", "nobody", "%", ""}).empty());
    // Patterns: "%" and "_" match, an escaped "_" is a plain character.
    EXPECT_EQ(Column(Texts(DRV_DDTables, {"", "", "emp%", ""}), 2), (Row{"emp", "emp_names"}));
    EXPECT_EQ(Column(Texts(DRV_DDTables, {"", "", "d_pt", ""}), 2), (Row{"dept"}));
    EXPECT_EQ(Column(Texts(DRV_DDTables, {"", "", "emp\\_names", ""}), 2), (Row{"emp_names"}));
    EXPECT_TRUE(Texts(DRV_DDTables, {"", "", "emp\\_", ""}).empty());
    // Types as the entry points hand them over.
    EXPECT_EQ(Column(Texts(DRV_DDTables, {"", "", "%", "'VIEW'"}), 2), (Row{"emp_names"}));
    Rows sys = Texts(DRV_DDTables, {"", "", "ii%", "'SYSTEM TABLE','SYSTEM VIEW'"});
    ASSERT_FALSE(sys.empty());
    for (const Row& r : sys) EXPECT_EQ(r[3].rfind("SYSTEM ", 0), 0u) << r[2];
    // A name with a quote in it finds nothing and breaks nothing.
    EXPECT_TRUE(Texts(DRV_DDTables, {"", "", "emp' or 'a'='a", ""}).empty());
    EXPECT_TRUE(Texts(DRV_DDTables, {"", "", "x'%", ""}).empty());
}

TEST_F(CatalogEngine, SchemaTypeAndCatalogEnumerations) {
    Rows s = Texts(DRV_DDTables, {"", "%", "", ""});
    Row owners = Column(s, 1);
    ASSERT_GE(owners.size(), 2u);
    EXPECT_EQ(owners[0], "$ingres");
    EXPECT_EQ(owners[1], "owner");
    EXPECT_TRUE(std::is_sorted(owners.begin(), owners.end()));
    EXPECT_EQ(std::adjacent_find(owners.begin(), owners.end()), owners.end());
    for (const Row& r : s) EXPECT_EQ((Row{r[0], r[2], r[3], r[4]}), (Row{"<null>", "<null>", "<null>", "<null>"}));
    Rows t = Texts(DRV_DDTables, {"", "", "", "%"});
    EXPECT_EQ(Column(t, 3), (Row{"SYSTEM TABLE", "SYSTEM VIEW", "TABLE", "VIEW"}));
    for (const Row& r : t) EXPECT_EQ((Row{r[0], r[1], r[2], r[4]}), (Row{"<null>", "<null>", "<null>", "<null>"}));
    // The database has no catalogs: the enumeration is an empty list of SQLTables' five columns.
    uint16_t n = 0;
    EXPECT_TRUE(Texts(DRV_DDTables, {"%", "", "", ""}, &n).empty());
    EXPECT_EQ(n, 5);
}

TEST_F(CatalogEngine, JetReportsTablesAsViews) {
    IngConnFind(conn)->dsn.jet = 1;
    Rows t = Texts(DRV_DDTables, {"", "", "%", "'TABLE','VIEW','SYSTEM TABLE'"});
    ASSERT_FALSE(t.empty());
    for (const Row& r : t) {
        if (r[2].rfind("ii", 0) == 0)
            EXPECT_EQ(r[3], "SYSTEM TABLE") << r[2];
        else
            EXPECT_EQ(r[3], "VIEW") << r[2];
    }
    IngConnFind(conn)->dsn.jet = 0;
}

TEST_F(CatalogEngine, ColumnsWithOdbcTypes) {
    uint16_t n = 0;
    Rows c = Texts(DRV_DDColumns, {"", "owner", "emp", "%"}, &n);
    EXPECT_EQ(n, 18);
    EXPECT_EQ(Column(c, 3), (Row{"empno", "ename", "job", "mgr", "hiredate", "sal", "comm", "deptno", "active"}));
    IngConn* cn = IngConnFind(conn);
    const bool v3 = cn->odbcVersion == 3;
    EXPECT_EQ(Column(c, 4), (Row{"4", "12", "1", "4", v3 ? "91" : "9", "3", "3", "4", "-7"}));
    EXPECT_EQ(Column(c, 5),
              (Row{"INTEGER", "VARCHAR", "CHAR", "INTEGER", "ANSIDATE", "DECIMAL", "MONEY", "INTEGER", "BOOLEAN"}));
    EXPECT_EQ(Column(c, 10), (Row{"0", "0", "1", "1", "1", "1", "1", "1", "0"}));
    EXPECT_EQ(Column(c, 17), (Row{"NO", "NO", "YES", "YES", "YES", "YES", "YES", "YES", "NO"}));
    EXPECT_EQ(Column(c, 16), (Row{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    EXPECT_EQ(c[1][15], "30") << "character octet length of a varchar";
    EXPECT_EQ(c[0][15], "<null>");
    EXPECT_EQ(c[4][14], "1") << "date subcode";
    EXPECT_EQ(c[6][8], "2") << "money has two decimals";
    // Column pattern; the catalog argument is ignored.
    EXPECT_EQ(Column(Texts(DRV_DDColumns, {"nocat", "", "emp", "e%"}), 3), (Row{"empno", "ename"}));
}

TEST_F(CatalogEngine, KeysOfTheSampleTables) {
    Rows pk = Texts(DRV_DDPrimaryKeys, {"", "", "emp"});
    ASSERT_EQ(pk.size(), 1u);
    EXPECT_EQ(pk[0][3], "empno");
    EXPECT_EQ(pk[0][4], "1");
    EXPECT_EQ(pk[0][0], "<null>");
    Rows fk = Texts(DRV_DDForeignKeys, {"", "", "dept", "", "", ""});
    ASSERT_EQ(fk.size(), 1u);
    EXPECT_EQ((Row{fk[0][2], fk[0][3], fk[0][6], fk[0][7], fk[0][8]}), (Row{"dept", "deptno", "emp", "deptno", "1"}));
    EXPECT_EQ(Texts(DRV_DDForeignKeys, {"", "", "", "", "", "emp"}).size(), 1u);
    EXPECT_TRUE(Texts(DRV_DDForeignKeys, {"", "", "emp", "", "", ""}).empty());
}

TEST_F(CatalogEngine, StatisticsAndSpecialColumns) {
    IngStatisticsArgs all{"", "", "emp", 1, 0};
    Rows st = Catalog<DRV_DDStatistics>(&all);
    ASSERT_EQ(st.size(), 4u);
    EXPECT_EQ((Row{st[0][5], st[0][8], st[0][3]}), (Row{"emp", "empno", "0"}));
    IngStatisticsArgs unique{"", "", "emp", 0, 0};
    EXPECT_EQ(Catalog<DRV_DDStatistics>(&unique).size(), 3u);
    IngSpecialColumnsArgs best{"", "", "emp", 1, 0, 0};
    Rows sc = Catalog<DRV_DDSpecialColumns>(&best);
    ASSERT_EQ(sc.size(), 1u);
    EXPECT_EQ(sc[0][1], "tid");
    EXPECT_EQ(sc[0][2], "4");
    // Only an ordinary table's tuple id addresses a row: views, catalogs and tables without a
    // row id have none.
    // The engine's SQL cannot make a table without a row id; a database may hold one all the same.
    {
        sqlite3* raw = nullptr;
        const std::string path = std::string(std::getenv("II_DATABASE_DIR")) + "/" + db + ".db";
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK) << path;
        EXPECT_EQ(sqlite3_exec(raw, "CREATE TABLE norowid (k INTEGER PRIMARY KEY, v INTEGER) WITHOUT ROWID", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(raw);
    }
    for (const char* other : {"emp_names", "iitables", "norowid"}) {
        IngSpecialColumnsArgs a{"", "", other, 1, 0, 0};
        uint16_t cols = 0;
        EXPECT_TRUE(Catalog<DRV_DDSpecialColumns>(&a, &cols).empty()) << other;
        EXPECT_EQ(cols, 8) << other;
    }
    IngSpecialColumnsArgs version{"", "", "emp", 2, 0, 0};
    uint16_t n = 0;
    EXPECT_TRUE(Catalog<DRV_DDSpecialColumns>(&version, &n).empty());
    EXPECT_EQ(n, 7);
}

TEST_F(CatalogEngine, ProceduresAndTheirParameters) {
    EXPECT_EQ(Column(Texts(DRV_DDProcedures, {"", "%", "%"}), 2), (Row{"dept_count", "emps_of", "raise_salary"}));
    EXPECT_EQ(Column(Texts(DRV_DDProcedures, {"", "owner", "raise%"}), 2), (Row{"raise_salary"}));
    uint16_t n = 0;
    Rows pc = Texts(DRV_DDProcedureColumns, {"", "", "raise_salary", "%"}, &n);
    EXPECT_EQ(n, 19);
    EXPECT_EQ(Column(pc, 3), (Row{"p_empno", "p_pct", "p_newsal"}));
    EXPECT_EQ(Column(pc, 4), (Row{"1", "1", "2"}));
    EXPECT_EQ(Column(pc, 5), (Row{"4", "8", "3"}));
    EXPECT_EQ(Column(pc, 6), (Row{"INTEGER", "FLOAT", "DECIMAL"}));
    EXPECT_EQ(Column(pc, 11), (Row{"0", "0", "1"}));
    EXPECT_EQ(Column(pc, 18), (Row{"NO", "NO", "YES"}));
}

TEST_F(CatalogEngine, Privileges) {
    Rows tp = Texts(DRV_DDTablePrivileges, {"", "%", "%"});
    std::vector<std::string> got;
    for (const Row& r : tp) got.push_back(r[2] + ":" + r[5]);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"dept:SELECT", "dept:UPDATE", "emp:SELECT"}));
    uint16_t n = 0;
    EXPECT_TRUE(Texts(DRV_DDColumnPrivileges, {"", "", "emp", "%"}, &n).empty());
    EXPECT_EQ(n, 8);
}

TEST_F(CatalogEngine, TypeInfoNeedsNoQuery) {
    uint32_t s = Stmt();
    ASSERT_EQ(AgentCall<DRV_DDTypeInfo>(&link, s, uint16_t(4)), 0u);
    Block b;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, uint16_t(10), &b.ds), 0u);
    ASSERT_EQ(b.ds.rows_used, 1u);
    EXPECT_EQ(Cell(b.ds, 0, 0), "INTEGER");
}

class CatalogEngineWide : public CatalogEngine {
protected:
    void SetUp() override { Open(true, false, true); }
};

TEST_F(CatalogEngineWide, TextColumnsAreWideOnUnicodeConnections) {
    uint32_t s = Stmt();
    const IngTablesArgs args{"", "", "emp%", ""};
    ASSERT_EQ(AgentCall<DRV_DDTables>(&link, s, &args), 0u) << Errors(s);
    IngStmt* st = IngStmtFind(s);
    EXPECT_EQ(st->columns[2].sql_type, -9);
    Block b;
    ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, uint16_t(10), &b.ds), 0u);
    ASSERT_EQ(b.ds.rows_used, 2u);
    EXPECT_EQ(b.ds.cols[3].kind, uint32_t(DS_WCHAR_NTS));
    EXPECT_EQ(Cell(b.ds, 2, 1), "emp_names");
    EXPECT_EQ(Cell(b.ds, 3, 0), "TABLE");
    EXPECT_EQ(Cell(b.ds, 3, 1), "VIEW");
    Rows c = Texts(DRV_DDColumns, {"", "", "emp", "e%"});
    EXPECT_EQ(Column(c, 5), (Row{"INTEGER", "VARCHAR"}));
}

}  // namespace
