// Catalog queries: the text each slot sends for its arguments, the classification of table
// requests, the row hooks on blocks of fetched rows, and the description fix-ups.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/agent_fixture.h"
#include "drv_ingii/i-cat.h"
#include "util/dataset.h"
#include "util/utf.h"

namespace {

// Runs of blanks as one, ends trimmed: the templates' spacing is not the point of these tests.
std::string Squeeze(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// The text of a name-only slot for the names in the ODBC function's argument order.
std::string SlotText(int slot, std::vector<const char*> a, int32_t version, uint32_t* refused = nullptr) {
    a.resize(6, nullptr);
    switch (slot) {
        case DRV_DDTables: {
            const IngTablesArgs r{a[0], a[1], a[2], a[3]};
            return IngCatalogSlotText(&r, version, refused);
        }
        case DRV_DDColumns: {
            const IngColumnsArgs r{a[0], a[1], a[2], a[3]};
            return IngCatalogSlotText(&r, version, refused);
        }
        case DRV_DDColumnPrivileges: {
            const IngColumnPrivilegesArgs r{a[0], a[1], a[2], a[3]};
            return IngCatalogSlotText(&r, version, refused);
        }
        case DRV_DDForeignKeys: {
            const IngForeignKeysArgs r{a[0], a[1], a[2], a[3], a[4], a[5]};
            return IngCatalogSlotText(&r, version, refused);
        }
        case DRV_DDPrimaryKeys: {
            const IngPrimaryKeysArgs r{a[0], a[1], a[2]};
            return IngCatalogSlotText(&r, version, refused);
        }
        case DRV_DDProcedures: {
            const IngProceduresArgs r{a[0], a[1], a[2]};
            return IngCatalogSlotText(&r, version, refused);
        }
        case DRV_DDProcedureColumns: {
            const IngProcedureColumnsArgs r{a[0], a[1], a[2], a[3]};
            return IngCatalogSlotText(&r, version, refused);
        }
        case DRV_DDTablePrivileges: {
            const IngTablePrivilegesArgs r{a[0], a[1], a[2]};
            return IngCatalogSlotText(&r, version, refused);
        }
        default:
            ADD_FAILURE() << "slot " << slot << " takes no names";
            return std::string();
    }
}

std::string Text(int slot, std::vector<const char*> args, int32_t version = 10000000) {
    return Squeeze(SlotText(slot, args, version));
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(CatalogTables, Classification) {
    using K = IngCatalogOp;
    EXPECT_EQ(IngCatalogTablesKind("%", "", "", ""), K::CatalogList);
    EXPECT_EQ(IngCatalogTablesKind("%", nullptr, nullptr, nullptr), K::CatalogList);
    EXPECT_EQ(IngCatalogTablesKind("", "%", "", ""), K::SchemaList);
    EXPECT_EQ(IngCatalogTablesKind("", "", "", "%"), K::TypeList);
    EXPECT_EQ(IngCatalogTablesKind(nullptr, nullptr, nullptr, "%"), K::TypeList);
    EXPECT_EQ(IngCatalogTablesKind("", "%", "%", ""), K::TableQuery);
    EXPECT_EQ(IngCatalogTablesKind("", "", "T", "%"), K::TableQuery);
    EXPECT_EQ(IngCatalogTablesKind("%", "S", "", ""), K::TableQuery);
    uint32_t refused = 99;
    std::string text = Squeeze(SlotText(DRV_DDTables, {"%", "", "", ""}, 10000000, &refused));
    EXPECT_EQ(refused, 0u);
    EXPECT_TRUE(Has(text, "null as table_cat")) << text;
    EXPECT_TRUE(Has(text, "where table_name = '$$'")) << text;
}

TEST(CatalogTables, EnumerationsOfSchemasAndTypes) {
    std::string s = Text(DRV_DDTables, {"", "%", "", ""});
    EXPECT_EQ(s,
              "select distinct null as table_cat, varchar(table_owner) as table_schem, null as table_name, null as "
              "table_type, null as remarks from iitables where table_type in ('T', 'V') order by 2");
    std::string t = Text(DRV_DDTables, {"", "", "", "%"});
    EXPECT_TRUE(Has(t, "system_use + table_type as table_type")) << t;
    EXPECT_TRUE(Has(t, "order by 4")) << t;
}

TEST(CatalogTables, TableQueryWithPatternsAndTypes) {
    std::string q = Text(DRV_DDTables, {nullptr, "S%", "EMP\\_%", "'TABLE', 'VIEW'"});
    EXPECT_EQ(q,
              "select null as table_cat, varchar(table_owner) as table_schem, varchar(table_name) as table_name, "
              "system_use + table_type as table_type, null as remarks from iitables where table_owner like "
              "'S%\\[ \\]%' escape '\\' and table_name like 'EMP\\_%\\[ \\]%' escape '\\' and system_use + "
              "table_type in ('UT','UV') AND table_type in ('T', 'V') order by 2,3,4");
    // Only escaped wildcards: compared with "=" and the escapes gone.
    std::string eq = Text(DRV_DDTables, {"", "", "EMP\\_1", ""});
    EXPECT_TRUE(Has(eq, "table_name = 'EMP_1' and table_type in")) << eq;
    EXPECT_FALSE(Has(eq, "table_owner =")) << eq;
    EXPECT_FALSE(Has(eq, "table_owner like")) << eq;
    // Types without quotes match nothing and leave the type filter out.
    std::string none = Text(DRV_DDTables, {"", "", "T", "TABLE"});
    EXPECT_FALSE(Has(none, "system_use + table_type in")) << none;
}

TEST(CatalogTables, TypeCodes) {
    EXPECT_EQ(IngCatalogTypeCodes("'TABLE', 'VIEW'"), "'UT','UV'");
    EXPECT_EQ(IngCatalogTypeCodes("'SYSTEM TABLE','SYSTEM VIEW',  'VIEW'"), "'ST','SV','UV'");
    EXPECT_EQ(IngCatalogTypeCodes("TABLE,VIEW"), "");
    EXPECT_EQ(IngCatalogTypeCodes("'table'"), "");
    EXPECT_EQ(IngCatalogTypeCodes(""), "");
    EXPECT_EQ(IngCatalogTypeCodes(nullptr), "");
}

// A name with quotes, escapes and SQL in it can only ever be the literal it stands in.
TEST(CatalogQuoting, NamesNeverLeaveTheirLiteral) {
    const char* evil = "x' or '1'='1";
    std::string q = Text(DRV_DDTables, {"", "", evil, ""});
    EXPECT_TRUE(Has(q, "table_name = 'x'' or ''1''=''1' and")) << q;
    std::string c = Text(DRV_DDColumns, {"", "O'Neil", "t", "c'"});
    EXPECT_TRUE(Has(c, "table_owner = 'O''Neil' AND")) << c;
    EXPECT_TRUE(Has(c, "column_name = 'c''' AND")) << c;
    std::string f = Text(DRV_DDForeignKeys, {"", "", "a'b", "", "", "c'd"});
    EXPECT_TRUE(Has(f, "PKiikeys.table_name = 'a''b' and")) << f;
    EXPECT_TRUE(Has(f, "FKiikeys.table_name = 'c''d' and")) << f;
    IngSpecialColumnsArgs sc{"", "", "t'--", 1, 0, 0};
    std::string s = Squeeze(IngCatalogSlotText(&sc, 10000000));
    EXPECT_TRUE(Has(s, "where table_name = 't''--'")) << s;
    // Quoting happens once: an already doubled quote is doubled again, not left alone.
    std::string twice = Text(DRV_DDTables, {"", "", "a''b", ""});
    EXPECT_TRUE(Has(twice, "table_name = 'a''''b'")) << twice;
}

TEST(CatalogColumns, OwnerFilterByPattern) {
    EXPECT_TRUE(Has(Text(DRV_DDColumns, {"cat", "S%", "", ""}), "table_owner LIKE 'S%\\[ \\]%' ESCAPE '\\' AND"));
    for (const char* empty : {"", "%", "   "}) {
        std::string q = Text(DRV_DDColumns, {"", empty, "T", ""});
        EXPECT_FALSE(Has(q, "table_owner LIKE")) << q;
        EXPECT_FALSE(Has(q, "table_owner =")) << q;
        EXPECT_TRUE(Has(q, "table_name = 'T' AND 1 = 1 order by 2, 3, 17")) << q;
    }
    // The catalog argument never reaches the query.
    EXPECT_FALSE(Has(Text(DRV_DDColumns, {"mycat", "", "", ""}), "mycat"));
}

TEST(CatalogKeys, PrimaryAndForeignKeys) {
    std::string p = Text(DRV_DDPrimaryKeys, {"", "ing", "orders"});
    EXPECT_TRUE(Has(p, "iikeys.schema_name = 'ing' and iikeys.table_name = 'orders' and iikeys.key_position > 0")) << p;
    // Foreign keys with only the foreign-key table given.
    std::string f = Text(DRV_DDForeignKeys, {"", "", "", "", "", "lines"});
    EXPECT_TRUE(Has(f, "where FKiikeys.table_name = 'lines' and iiconstraints.constraint_type = 'R'")) << f;
    EXPECT_FALSE(Has(f, "PKiikeys.table_name =")) << f;
    // Foreign keys compare with "=" even for patterns.
    EXPECT_TRUE(Has(Text(DRV_DDForeignKeys, {"", "", "A%", "", "", ""}), "PKiikeys.table_name = 'A%' and"));
}

TEST(CatalogProcedures, FormsByServerVersion) {
    std::string p = Text(DRV_DDProcedures, {"", "%", "get\\_%"});
    EXPECT_TRUE(Has(p, "p.procedure_name like 'get\\_%\\[ \\]%' escape '\\' and text_sequence = 1")) << p;
    std::string oldForm = Text(DRV_DDProcedureColumns, {"", "", "p", "c"}, 299999);
    std::string newForm = Text(DRV_DDProcedureColumns, {"", "", "p", "c"}, 300000);
    EXPECT_FALSE(Has(oldForm, "iiproc_params")) << oldForm;
    EXPECT_TRUE(Has(newForm, "iidefault d, iiproc_params pp where")) << newForm;
    EXPECT_TRUE(Has(newForm, "and p2.pp_name = pp.param_name order by 2, 3, 18")) << newForm;
    EXPECT_TRUE(Has(oldForm, "p1.dbp_name = 'p' and p2.pp_name = 'c' and p2.pp_procid1=p1.dbp_id")) << oldForm;
}

TEST(CatalogSpecial, IdentifierTypes) {
    IngSpecialColumnsArgs best{"", "", "t", 1, 0, 0};
    IngSpecialColumnsArgs version{"", "", "t", 2, 0, 0};
    EXPECT_TRUE(Has(IngCatalogSlotText(&best, 0), "varchar('tid') as column_name"));
    std::string v = Squeeze(IngCatalogSlotText(&version, 0));
    EXPECT_TRUE(Has(v, "where table_name = '$$'")) << v;
    uint32_t refused = 0;
    EXPECT_EQ(IngCatalogSlotText(static_cast<const IngSpecialColumnsArgs*>(nullptr), 0, &refused), "");
    EXPECT_EQ(refused, 21u);
}

TEST(CatalogStatistics, UniqueFlag) {
    IngStatisticsArgs unique{"", "s", "t", 0, 0};
    IngStatisticsArgs all{"", "s", "t", 1, 0};
    std::string u = Squeeze(IngCatalogSlotText(&unique, 0));
    std::string a = Squeeze(IngCatalogSlotText(&all, 0));
    EXPECT_TRUE(Has(u, "x.unique_rule = 'U' and i.index_name = x.index_name")) << u;
    EXPECT_FALSE(Has(a, "x.unique_rule = 'U'")) << a;
    EXPECT_TRUE(Has(a, "i.table_owner = 's' and i.table_name = 't' and key_sequence > 0")) << a;
}

TEST(CatalogPrivileges, TableAndColumn) {
    std::string t = Text(DRV_DDTablePrivileges, {"", "%", "t%"});
    EXPECT_TRUE(Has(t, "where object_name like 't%\\[ \\]%' escape '\\' and object_type = 'T'")) << t;
    std::string c = Text(DRV_DDColumnPrivileges, {"", "s", "t'", "c"});
    EXPECT_TRUE(Has(c, "where table_name = '$$'")) << c;
    EXPECT_FALSE(Has(c, "t'")) << c;
}

// ---- hooks on blocks ----------------------------------------------------------------------

struct Block {
    Dataset ds{};
    Block(std::vector<std::pair<uint32_t, uint32_t>> cols, uint32_t rows) {
        EXPECT_EQ(DatasetInit(&ds, uint16_t(cols.size())), 0);
        for (size_t i = 0; i < cols.size(); ++i) {
            ds.cols[i].kind = cols[i].first;
            ds.cols[i].width = DatasetWidth(cols[i].first, cols[i].second);
        }
        ds.col_count = uint16_t(cols.size());
        EXPECT_EQ(DatasetAllocRows(&ds, rows), 0);
        ds.rows_used = rows;
    }
    ~Block() { DatasetFree(&ds); }
    void SetText(uint16_t col, uint32_t row, const char* t) {
        DatasetColumn& c = ds.cols[col];
        if (c.kind == DS_WCHAR_NTS) {
            std::memset(DatasetCell(&c, row), 0, c.width);
            std::vector<SQLWCHAR> w(c.width / 2 + 1, 0);
            size_t used = 0;
            size_t n = Utf8ToWideN(t, w.data(), std::strlen(t), c.width / 2 - 1, &used);
            for (size_t i = 0; i < n; ++i) {
                uint16_t u = uint16_t(w[i]);
                std::memcpy(DatasetCell(&c, row) + 2 * i, &u, 2);
            }
        } else {
            std::strncpy(reinterpret_cast<char*>(DatasetCell(&c, row)), t, c.width - 1);
        }
        c.indicators[row] = 0;
    }
    void SetInt(uint16_t col, uint32_t row, int32_t v) {
        DatasetColumn& c = ds.cols[col];
        if (c.kind == DS_SMALLINT) {
            int16_t s = int16_t(v);
            std::memcpy(DatasetCell(&c, row), &s, 2);
        } else {
            std::memcpy(DatasetCell(&c, row), &v, 4);
        }
        c.indicators[row] = 0;
    }
    void SetNull(uint16_t col, uint32_t row) { ds.cols[col].indicators[row] = DS_IND_NULL; }
    bool Null(uint16_t col, uint32_t row) const { return ds.cols[col].indicators[row] == DS_IND_NULL; }
    std::string GetText(uint16_t col, uint32_t row) const {
        const DatasetColumn& c = ds.cols[col];
        if (Null(col, row)) return "<null>";
        if (c.kind == DS_WCHAR_NTS) {
            std::vector<SQLWCHAR> w(c.width / 2 + 1, 0);
            for (size_t i = 0; 2 * i + 1 < c.width; ++i) {
                uint16_t u;
                std::memcpy(&u, DatasetCell(&c, row) + 2 * i, 2);
                w[i] = u;
                if (!u) break;
            }
            std::vector<char> buf(c.width * 2 + 1, 0);
            WideToUtf8(w.data(), buf.data(), buf.size() - 1);
            return std::string(buf.data());
        }
        return reinterpret_cast<const char*>(DatasetCell(&c, row));
    }
    int32_t GetInt(uint16_t col, uint32_t row) const {
        const DatasetColumn& c = ds.cols[col];
        if (c.kind == DS_SMALLINT) {
            int16_t s;
            std::memcpy(&s, DatasetCell(&c, row), 2);
            return s;
        }
        int32_t v;
        std::memcpy(&v, DatasetCell(&c, row), 4);
        return v;
    }
};

TEST(CatalogHooks, TableTypesReadAsOdbcNames) {
    for (uint32_t kind : {uint32_t(DS_CHAR_NTS), uint32_t(DS_WCHAR_NTS)}) {
        Block b({{DS_CHAR_NTS, 2}, {DS_CHAR_NTS, 32}, {DS_CHAR_NTS, 32}, {kind, 24}, {DS_CHAR_NTS, 2}}, 5);
        const char* codes[] = {"UT", "UV", "ST", "SV", nullptr};
        for (uint32_t r = 0; r < 5; ++r) codes[r] ? b.SetText(3, r, codes[r]) : b.SetNull(3, r);
        IngCatalogTableTypeRows(&b.ds, 5, kind == DS_WCHAR_NTS, false);
        EXPECT_EQ(b.GetText(3, 0), "TABLE");
        EXPECT_EQ(b.GetText(3, 1), "VIEW");
        EXPECT_EQ(b.GetText(3, 2), "SYSTEM TABLE");
        EXPECT_EQ(b.GetText(3, 3), "SYSTEM VIEW");
        EXPECT_TRUE(b.Null(3, 4));
        b.SetText(3, 0, "UT");
        b.SetText(3, 2, "ST");
        IngCatalogTableTypeRows(&b.ds, 3, kind == DS_WCHAR_NTS, true);
        EXPECT_EQ(b.GetText(3, 0), "VIEW") << "JET reports user tables as views";
        EXPECT_EQ(b.GetText(3, 2), "SYSTEM TABLE");
    }
}

TEST(CatalogHooks, TableTypeCutToTheCellAndShortBlocksPass) {
    Block narrow({{DS_CHAR_NTS, 2}, {DS_CHAR_NTS, 2}, {DS_CHAR_NTS, 2}, {DS_CHAR_NTS, 4}}, 1);
    narrow.SetText(3, 0, "SV");
    IngCatalogTableTypeRows(&narrow.ds, 1, false, false);
    EXPECT_EQ(narrow.GetText(3, 0), "SYST");
    Block shortBlock({{DS_CHAR_NTS, 2}, {DS_CHAR_NTS, 2}, {DS_CHAR_NTS, 2}}, 1);
    shortBlock.SetText(2, 0, "UT");
    IngCatalogTableTypeRows(&shortBlock.ds, 1, false, false);
    EXPECT_EQ(shortBlock.GetText(2, 0), "UT");
    IngCatalogTableTypeRows(nullptr, 1, false, false);
}

TEST(CatalogHooks, NullColumnsByMask) {
    Block b({{DS_CHAR_NTS, 2}, {DS_CHAR_NTS, 8}, {DS_CHAR_NTS, 2}, {DS_CHAR_NTS, 2}, {DS_CHAR_NTS, 2}}, 2);
    for (uint16_t c = 0; c < 5; ++c)
        for (uint32_t r = 0; r < 2; ++r) b.SetText(c, r, "x");
    IngCatalogNullColumns(&b.ds, 2, 0x1 | 0x4 | 0x8 | 0x10);
    for (uint32_t r = 0; r < 2; ++r) {
        EXPECT_TRUE(b.Null(0, r));
        EXPECT_EQ(b.GetText(1, r), "x");
        EXPECT_TRUE(b.Null(2, r) && b.Null(3, r) && b.Null(4, r));
    }
}

// The 18 columns of the Columns result as the fix-ups describe them.
std::vector<std::pair<uint32_t, uint32_t>> ColumnsShape(uint32_t text) {
    return {{text, 2},       {text, 32},       {text, 32},       {text, 32},       {DS_SMALLINT, 2}, {text, 32},
            {DS_INTEGER, 4}, {DS_INTEGER, 4},  {DS_SMALLINT, 2}, {DS_SMALLINT, 2}, {DS_SMALLINT, 2}, {text, 2},
            {text, 32},      {DS_SMALLINT, 2}, {DS_SMALLINT, 2}, {DS_INTEGER, 4},  {DS_INTEGER, 4},  {text, 3}};
}

TEST(CatalogHooks, ColumnsRowsGetOdbcTypes) {
    for (bool unicode : {false, true}) {
        Block b(ColumnsShape(unicode ? DS_WCHAR_NTS : DS_CHAR_NTS), 3);
        // row 0: nullable integer8; row 1: varchar(40) not null; row 2: ingresdate, IS_NULLABLE odd.
        int16_t codes[] = {-30, 21, 3};
        int32_t lens[] = {8, 40, 12};
        const char* nulls[] = {"Y", "N", "maybe"};
        for (uint32_t r = 0; r < 3; ++r) {
            b.SetInt(4, r, codes[r]);
            b.SetText(5, r, "ingres");
            b.SetInt(6, r, lens[r]);
            b.SetInt(7, r, lens[r]);
            b.SetInt(8, r, 0);
            b.SetInt(10, r, 0);
            b.SetInt(13, r, codes[r]);
            b.SetNull(14, r);
            b.SetNull(15, r);
            b.SetText(17, r, nulls[r]);
        }
        IngCatalogColumnRows(&b.ds, 3, 3, unicode, false);
        EXPECT_EQ(b.GetText(5, 0), "INTEGER8");
        EXPECT_EQ(b.GetInt(4, 0), -5);
        EXPECT_EQ(b.GetInt(6, 0), 19);
        EXPECT_EQ(b.GetInt(10, 0), 1);
        EXPECT_EQ(b.GetText(17, 0), "YES");
        EXPECT_TRUE(b.Null(14, 0));
        EXPECT_TRUE(b.Null(15, 0));
        EXPECT_EQ(b.GetText(5, 1), "VARCHAR");
        EXPECT_EQ(b.GetInt(4, 1), 12);
        EXPECT_EQ(b.GetInt(10, 1), 0);
        EXPECT_EQ(b.GetInt(15, 1), 40) << "character octet length from the buffer length";
        EXPECT_EQ(b.GetText(17, 1), "NO");
        EXPECT_EQ(b.GetText(5, 2), "DATE");
        EXPECT_EQ(b.GetInt(4, 2), 93);
        EXPECT_EQ(b.GetInt(13, 2), 9);
        EXPECT_EQ(b.GetInt(14, 2), 3);
        EXPECT_EQ(b.GetText(17, 2), "");
    }
}

// DECIMAL_DIGITS stays only where a scale applies and NUM_PREC_RADIX only for numbers, for both
// application versions (ODBC 2 date codes differ).
TEST(CatalogHooks, ColumnsDigitsAndRadixByType) {
    struct Case {
        int16_t code;
        int32_t len;
        bool digits, radix;
    } cases[] = {{30, 4, true, true},    {31, 8, true, true},    {10, 8, true, true},   {5, 8, true, true},
                 {20, 10, false, false}, {21, 40, false, false}, {22, 0, false, false}, {23, 4, false, false},
                 {25, 0, false, false},  {26, 10, false, false}, {28, 0, false, false}, {3, 12, true, false},
                 {4, 4, true, false},    {6, 4, true, false},    {9, 12, true, false},  {33, 4, true, false},
                 {34, 12, true, false},  {38, 1, true, true}};
    const uint32_t n = uint32_t(std::size(cases));
    for (uint32_t version : {2u, 3u}) {
        SCOPED_TRACE(version);
        Block b(ColumnsShape(DS_CHAR_NTS), n);
        for (uint32_t r = 0; r < n; ++r) {
            b.SetInt(4, r, cases[r].code);
            b.SetText(5, r, "ingres");
            b.SetInt(6, r, cases[r].len);
            b.SetInt(7, r, cases[r].len);
            b.SetInt(8, r, 0);
            b.SetInt(9, r, 10);
            b.SetInt(10, r, 0);
            b.SetInt(13, r, cases[r].code);
            b.SetNull(14, r);
            b.SetNull(15, r);
            b.SetText(17, r, "N");
        }
        IngCatalogColumnRows(&b.ds, n, version, false, false);
        for (uint32_t r = 0; r < n; ++r) {
            SCOPED_TRACE(cases[r].code);
            EXPECT_EQ(!b.Null(8, r), cases[r].digits);
            EXPECT_EQ(!b.Null(9, r), cases[r].radix);
            if (cases[r].radix) {
                EXPECT_EQ(b.GetInt(9, r), 10);
            }
        }
    }
}

TEST(CatalogHooks, ColumnsRowWithNullTypeIsLeftAndShortBlocksPass) {
    Block b(ColumnsShape(DS_CHAR_NTS), 1);
    b.SetNull(4, 0);
    b.SetText(5, 0, "keep");
    IngCatalogColumnRows(&b.ds, 1, 3, false, false);
    EXPECT_EQ(b.GetText(5, 0), "keep");
    auto shape = ColumnsShape(DS_CHAR_NTS);
    shape.pop_back();
    Block s(shape, 1);
    s.SetInt(4, 0, 30);
    IngCatalogColumnRows(&s.ds, 1, 3, false, false);
    EXPECT_EQ(s.GetInt(4, 0), 30);
}

TEST(CatalogHooks, StatisticsUniqueRule) {
    std::vector<std::pair<uint32_t, uint32_t>> shape(14, {DS_CHAR_NTS, 32});
    shape[3] = {DS_INTEGER, 4};
    Block b(shape, 3);
    const char* rules[] = {"U", "D", nullptr};
    for (uint32_t r = 0; r < 3; ++r) {
        b.SetInt(3, r, 1);
        rules[r] ? b.SetText(13, r, rules[r]) : b.SetNull(13, r);
    }
    IngCatalogStatisticsRows(&b.ds, 3, false);
    EXPECT_EQ(b.GetInt(3, 0), 0);
    EXPECT_EQ(b.GetInt(3, 1), 1);
    EXPECT_EQ(b.GetInt(3, 2), 1);
}

TEST(CatalogHooks, PrivilegeFromPermitText) {
    for (uint32_t kind : {uint32_t(DS_CHAR_NTS), uint32_t(DS_WCHAR_NTS)}) {
        std::vector<std::pair<uint32_t, uint32_t>> shape(7, {kind, 32});
        shape[5] = {kind, 64};
        Block b(shape, 6);
        const char* texts[] = {"grant select on t to public",
                               "GRANT\tupdate(c) on t",
                               "create permit x",
                               "granted all",
                               "  Grant insert",
                               "grant \xC3\xBC"
                               "ber on t"};
        for (uint32_t r = 0; r < 6; ++r) b.SetText(5, r, texts[r]);
        IngCatalogPrivilegeRows(&b.ds, 6, kind == DS_WCHAR_NTS);
        EXPECT_EQ(b.GetText(5, 0), "SELECT");
        EXPECT_EQ(b.GetText(5, 1), "UPDATE(C)");
        EXPECT_TRUE(b.Null(5, 2));
        EXPECT_TRUE(b.Null(5, 3));
        EXPECT_EQ(b.GetText(5, 4), "INSERT");
        EXPECT_EQ(b.GetText(5, 5),
                  "\xC3\xBC"
                  "BER")
            << "a non-ASCII letter survives the wide round trip";
    }
}

// ---- through the operation table -----------------------------------------------------------

class CatalogAgent : public agenttest::AgentTest {};

TEST_F(CatalogAgent, RefusalsBeforeAnyQuery) {
    uint32_t c = 0, s = 0;
    ASSERT_EQ(Connect(&c), 0u);
    ASSERT_EQ(AgentCall<DRV_AllocStmt>(&link, c, &s), 0u);
    const IngTablesArgs catalogs{"%", "", "", ""};
    const IngColumnsArgs columns{"%", "", "", ""};
    size_t before = QueryCount();
    EXPECT_EQ(AgentCall<DRV_DDTables>(&link, 0xBEEF0002u, &catalogs), 21u);
    EXPECT_EQ(AgentCall<DRV_DDColumns>(&link, 0xBEEF0002u, &columns), 21u);
    EXPECT_EQ(AgentCall<DRV_DDStatistics>(&link, s, static_cast<const IngStatisticsArgs*>(nullptr)), 21u);
    EXPECT_EQ(QueryCount(), before);
    EXPECT_EQ(AgentCall<DRV_FreeStmt>(&link, s), 0u);
}

TEST_F(CatalogAgent, SetColumnOverwritesDescriptions) {
    uint32_t c = 0, s = 0;
    ASSERT_EQ(Connect(&c), 0u);
    ASSERT_EQ(AgentCall<DRV_AllocStmt>(&link, c, &s), 0u);
    IngStmt* st = IngStmtFind(s);
    ASSERT_NE(st, nullptr);
    st->columns = ColumnInfoArrayAlloc(3);
    st->columnCount = 3;
    for (int i = 0; i < 3; ++i) {
        st->columns[i].column_size = 99;
        st->columns[i].length = 99;
        st->columns[i].nullable = 1;
        st->columns[i].scale = 4;
    }
    IngCatalogSetColumn(st, 1, -9, 24);
    IngCatalogSetColumn(st, 2, 12, 0);
    IngCatalogSetColumn(st, 3, 5, 0);
    IngCatalogSetColumn(st, 4, 4, 0);  // beyond the count: ignored
    IngCatalogSetColumn(st, 0, 4, 0);
    EXPECT_EQ(st->columns[0].value_kind, uint32_t(DS_WCHAR_NTS));
    EXPECT_EQ(st->columns[0].server_type, 27);
    EXPECT_EQ(st->columns[0].column_size, 24u);
    EXPECT_EQ(st->columns[0].nullable & 0xF, 2u);
    EXPECT_EQ(st->columns[0].scale, 0);
    EXPECT_EQ(st->columns[1].value_kind, uint32_t(DS_CHAR_NTS));
    EXPECT_EQ(st->columns[1].column_size, 99u);
    EXPECT_EQ(st->columns[2].value_kind, uint32_t(DS_SMALLINT));
    EXPECT_EQ(st->columns[2].length, 2u);
    EXPECT_EQ(st->columns[2].display_size, 6u);
    EXPECT_EQ(AgentCall<DRV_FreeStmt>(&link, s), 0u);
}

}  // namespace
