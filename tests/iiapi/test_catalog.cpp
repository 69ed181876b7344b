// The system catalogs, queried with the driver's catalog templates verbatim on the sample schema.
#include "tests/iiapi/api_fixture.h"

#include <map>

using namespace apitest;

namespace {

// The driver's template notation: {n}, [IF#id TEST n: ... [ELSIF#id TEST n: ... [ELSE#id] ... [END#id].
bool emptyArg(const std::optional<std::string>& a) {
    return !a || *a == "%" || a->find_first_not_of(' ') == std::string::npos;
}

bool wildArg(std::optional<std::string>& a) {
    if (!a) return false;
    bool escaped = false;
    for (size_t i = 0; i < a->size(); ++i) {
        char c = (*a)[i];
        if ((c == '_' || c == '%') && (i == 0 || (*a)[i - 1] != '\\')) return true;
        if ((c == '_' || c == '%') && i > 0) escaped = true;
    }
    if (escaped) {
        std::string out;
        for (size_t i = 0; i < a->size(); ++i) {
            if ((*a)[i] == '\\' && i + 1 < a->size() && ((*a)[i + 1] == '_' || (*a)[i + 1] == '%')) continue;
            out.push_back((*a)[i]);
        }
        *a = out;
    }
    return false;
}

std::string expand(const std::string& tpl, std::vector<std::optional<std::string>> args) {
    std::string out;
    size_t i = 0;
    auto test = [&](const std::string& code) {
        // "NOTEMPTY 2:" and the like
        size_t sp = code.find(' ');
        std::string t = code.substr(0, sp);
        int n = std::stoi(code.substr(sp + 1));
        std::optional<std::string> none;
        std::optional<std::string>& a = n >= 1 && size_t(n) <= args.size() ? args[size_t(n - 1)] : none;
        if (t == "EMPTY") return emptyArg(a);
        if (t == "NOTEMPTY") return !emptyArg(a);
        if (t == "WILD") return wildArg(a);
        if (t == "NOWILD") return !wildArg(a);
        return false;
    };
    // Skips to the ELSE/ELSIF/END of identifier id; returns the position after it and what it was.
    auto skipTo = [&](const std::string& id, bool endOnly) {
        for (;;) {
            size_t b = tpl.find('[', i);
            if (b == std::string::npos) {
                i = tpl.size();
                return;
            }
            std::string rest = tpl.substr(b);
            if (rest.rfind("[END#" + id + "]", 0) == 0) {
                i = b + 6 + id.size();
                return;
            }
            if (!endOnly && rest.rfind("[ELSE#" + id + "]", 0) == 0) {
                i = b + 7 + id.size();
                return;
            }
            if (!endOnly && rest.rfind("[ELSIF#" + id + " ", 0) == 0) {
                size_t colon = tpl.find(':', b);
                std::string code = tpl.substr(b + 8 + id.size(), colon - (b + 8 + id.size()));
                i = colon + 1;
                if (test(code)) return;
                continue;
            }
            i = b + 1;
        }
    };
    while (i < tpl.size()) {
        char c = tpl[i];
        if (c == '{' && i + 2 < tpl.size() && isdigit(static_cast<unsigned char>(tpl[i + 1])) && tpl[i + 2] == '}') {
            int n = tpl[i + 1] - '0';
            if (n >= 1 && size_t(n) <= args.size()) {
                if (args[size_t(n - 1)]) out += *args[size_t(n - 1)];
            } else {
                out += "NULL";
            }
            i += 3;
            continue;
        }
        if (c == '[' && tpl.compare(i, 4, "[IF#") == 0) {
            size_t sp = tpl.find(' ', i);
            std::string id = tpl.substr(i + 4, sp - i - 4);
            size_t colon = tpl.find(':', i);
            std::string code = tpl.substr(sp + 1, colon - sp - 1);
            i = colon + 1;
            if (!test(code)) skipTo(id, false);
            continue;
        }
        if (c == '[' && (tpl.compare(i, 6, "[ELSE#") == 0 || tpl.compare(i, 7, "[ELSIF#") == 0)) {
            size_t h = tpl.find('#', i);
            size_t e = tpl.find_first_of("] ", h);
            std::string id = tpl.substr(h + 1, e - h - 1);
            skipTo(id, true);
            continue;
        }
        if (c == '[' && tpl.compare(i, 5, "[END#") == 0) {
            i = tpl.find(']', i) + 1;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

const char* kTables =
    R"( select null as table_cat, varchar(table_owner) as table_schem, varchar(table_name) as table_name, system_use + table_type as table_type, null as remarks from iitables where [IF#1 NOTEMPTY 2: [IF#2 WILD 2: table_owner like '{2}\[ \]%' escape '\' and [ELSE#2] table_owner = '{2}' and [END#2] [END#1] [IF#1 NOTEMPTY 3: [IF#2 WILD 3: table_name like '{3}\[ \]%' escape '\' and [ELSE#2] table_name = '{3}' and [END#2] [END#1] [IF#1 NOTEMPTY 4: [IF#2 NOWILD 4: system_use + table_type in ({4}) AND [END#2] [END#1] table_type in ('T', 'V') order by 2,3,4 )";

const char* kSchemas =
    " select distinct null as table_cat, varchar(table_owner) as table_schem, null as table_name, null as "
    "table_type, null as remarks from iitables where table_type in ('T', 'V') order by 2 ";

const char* kTableTypes =
    " select distinct null as table_cat, null as table_schem, null as table_name, system_use + table_type as "
    "table_type, null as remarks from iitables where table_type in ('T','V') order by 4 ";

const char* kColumnPrivileges =
    " select varchar(' ') as table_cat, varchar(' ') as table_scheme, varchar(' ') as table_name, varchar(' ') as "
    "column_name, varchar(' ') as grantor, varchar(' ') as grantee, varchar(' ') as privilege, varchar(' ') as "
    "isgrantable from iitables where table_name = '$$' ";

const char* kColumns =
    R"( SELECT NULL as table_cat, varchar(table_owner) as table_schem, varchar(table_name) as table_name, varchar(column_name) as column_name, column_ingdatatype as data_type, varchar(column_datatype) as type_name, column_length as column_size, column_length as buffer_length, int2(column_scale) as decimal_digits, 10 as num_prec_radix, 0 as nullable, NULL as remarks, varchar(column_default_val) as column_def, column_ingdatatype as sql_data_type, int2(NULL) as sql_datetime_sub, int4(NULL) as char_octet_length, column_sequence as ordinal_position, varchar(column_nulls) as is_nullable FROM iicolumns col WHERE [IF#1 NOTEMPTY 1: [IF#2 WILD 1: table_owner LIKE '{1}\[ \]%' ESCAPE '\' AND [ELSE#2] table_owner = '{1}' AND [END#2] [END#1] [IF#1 NOTEMPTY 2: [IF#2 WILD 2: table_name LIKE '{2}\[ \]%' ESCAPE '\' AND [ELSE#2] table_name = '{2}' AND [END#2] [END#1] [IF#1 NOTEMPTY 3: [IF#2 WILD 3: column_name LIKE '{3}\[ \]%' ESCAPE '\' AND [ELSE#2] column_name = '{3}' AND [END#2] [END#1] 1 = 1 order by 2, 3, 17 )";

const char* kPrimaryKeys =
    R"( select varchar(null) as table_cat, varchar(iikeys.schema_name) as table_schem, varchar(iikeys.table_name) as table_name, varchar(iikeys.column_name) as column_name, iikeys.key_position as key_seq, iikeys.constraint_name as pk_name from iikeys, iiconstraints where [IF#1 NOTEMPTY 2: [IF#2 WILD 2: iikeys.schema_name like '{2}\[ \]%' escape '\' and [ELSE#2] iikeys.schema_name = '{2}' and [END#2] [END#1] [IF#1 NOTEMPTY 3: [IF#2 WILD 3: iikeys.table_name like '{3}\[ \]%' escape '\' and [ELSE#2] iikeys.table_name = '{3}' and [END#2] [END#1] iikeys.key_position > 0 and iiconstraints.constraint_type = 'P' and iikeys.constraint_name = iiconstraints.constraint_name order by 2, 3, 5 )";

const char* kForeignKeys =
    R"( select distinct varchar(null) as pktable_cat, varchar(PKiikeys.schema_name) as pktable_schem, varchar(PKiikeys.table_name) as pktable_name, varchar(PKiikeys.column_name) as pkcolumn_name, varchar(null) as fktable_cat, varchar(FKiikeys.schema_name) as fktable_schem, varchar(FKiikeys.table_name) as fktable_name, varchar(FKiikeys.column_name) as fkcolumn_name, FKiikeys.key_position as key_seq, int2(0) as update_rule, int2(0) as delete_rule, varchar(FKiikeys.constraint_name) as fk_name, varchar(PKiikeys.constraint_name) as pk_name, int2(0) as deferrability from iikeys PKiikeys, iiconstraints, iiref_constraints, iikeys FKiikeys where [IF#1 NOTEMPTY 2: PKiikeys.schema_name = '{2}' and [END#1] [IF#1 NOTEMPTY 3: PKiikeys.table_name = '{3}' and [END#1] [IF#1 NOTEMPTY 5: FKiikeys.schema_name = '{5}' and [END#1] [IF#1 NOTEMPTY 6: FKiikeys.table_name = '{6}' and [END#1] iiconstraints.constraint_type = 'R' and iiconstraints.constraint_name = iiref_constraints.ref_constraint_name and PKiikeys.constraint_name = iiref_constraints.unique_constraint_name and FKiikeys.constraint_name = iiref_constraints.ref_constraint_name and PKiikeys.key_position = FKiikeys.key_position order by 2,3,9 )";

const char* kProcedures =
    R"( select varchar(NULL) as procedure_cat, varchar(procedure_owner) as procedure_schem, varchar(procedure_name) as procedure_name, int2(NULL) as num_input_params, int2(NULL) as num_output_params, int2(NULL) as num_result_sets, varchar(NULL) as remarks, int2(0) as procedure_type from iiprocedures p where [IF#1 NOTEMPTY 2: [IF#2 WILD 2: p.procedure_owner like '{2}\[ \]%' escape '\' and [ELSE#2] p.procedure_owner = '{2}' and [END#2] [END#1] [IF#1 NOTEMPTY 3: [IF#2 WILD 3: p.procedure_name like '{3}\[ \]%' escape '\' and [ELSE#2] p.procedure_name = '{3}' and [END#2] [END#1] text_sequence = 1 order by 2, 3 )";

std::string procedureColumns(bool newForm) {
    std::string s =
        " select NULL as procedure_cat, varchar(p1.dbp_owner) as procedure_schem, varchar(p1.dbp_name) as "
        "procedure_name, varchar(p2.pp_name) as column_name, 2 as column_type, p2.pp_datatype as data_type, "
        "uppercase(iitypename(ii_ext_type(p2.pp_datatype,p2.pp_length))) as type_name, "
        "iiuserlen(ii_ext_type(p2.pp_datatype, p2.pp_length),(ii_ext_length(p2.pp_datatype, "
        "p2.pp_length)*65536)+p2.pp_precision) as column_size, "
        "iiuserlen(ii_ext_type(p2.pp_datatype, p2.pp_length),(ii_ext_length(p2.pp_datatype, "
        "p2.pp_length)*65536)+p2.pp_precision) as buffer_length, int4(mod(p2.pp_precision, (256))) as "
        "decimal_digits, 10 as num_prec_radix, 0 as nullable, NULL as remarks, squeeze(d.defvalue) as column_def, "
        "p2.pp_datatype as sql_data_type, p2.pp_datatype as sql_datetime_sub, "
        "iiuserlen(ii_ext_type(p2.pp_datatype, p2.pp_length),(ii_ext_length(p2.pp_datatype, "
        "p2.pp_length)*65536)+p2.pp_precision) as char_octet_length, p2.pp_number as ordinal_position, "
        "charextract('YN', (mod(p2.pp_flags, 2)) +1)+' ' as is_nullable from iiprocedure p1, "
        "iiprocedure_parameter p2, iidefault d";
    if (newForm) s += ", iiproc_params pp";
    s +=
        R"( where [IF#1 NOTEMPTY 2: [IF#2 WILD 2: p1.dbp_owner like '{2}\[ \]%' escape '\' and [ELSE#2] p1.dbp_owner = '{2}' and [END#2] [END#1] [IF#1 NOTEMPTY 3: [IF#2 WILD 3: p1.dbp_name like '{3}\[ \]%' escape '\' and [ELSE#2] p1.dbp_name = '{3}' and [END#2] [END#1] [IF#1 NOTEMPTY 4: [IF#2 WILD 4: p2.pp_name like '{4}\[ \]%' escape '\' and [ELSE#2] p2.pp_name = '{4}' and [END#2] [END#1] p2.pp_procid1=p1.dbp_id and p2.pp_procid2=p1.dbp_idx and p2.pp_defid1=d.defid1 and p2.pp_defid2=d.defid2)";
    if (newForm)
        s +=
            " and p1.dbp_owner = pp.procedure_owner and p1.dbp_name = pp.procedure_name and p2.pp_name = pp.param_name";
    s += " order by 2, 3, 18 ";
    return s;
}

const char* kSpecialColumns =
    " select int2(0) as scope, varchar('tid') as column_name, int2(4) as data_type, varchar('integer') as type_name, "
    "10 as column_size, 4 as buffer_length, 0 as decimal_digits, int2(2) as pseudo_column from iitables where "
    "table_name = '{1}' ";

const char* kSpecialNone =
    " select 0 as scope, varchar(' ') as column_name, 0 as data_type, varchar(' ') as type_name, 0 as column_size, 0 "
    "as buffer_length, 0 as decimal_digits from iitables where table_name = '$$' ";

const char* kStatistics =
    R"( (select varchar(NULL) as table_cat, varchar(i.table_owner) as table_schem, varchar(i.table_name) as table_name, 0 as non_unique, varchar(i.table_owner) as index_qualifier, varchar(i.table_name) as index_name, 3 as type, i.key_sequence as seq_in_index, varchar(i.column_name) as column_name, i.sort_direction as collation, 0 as cardinality, 0 as pages, varchar(NULL) as filter_condition, 'U' as unique_rule from iicolumns i where [IF#1 NOTEMPTY 1: [IF#2 WILD 1: i.table_owner like '{1}\[ \]%' escape '\' and [ELSE#2] i.table_owner = '{1}' and [END#2] [END#1] [IF#1 NOTEMPTY 2: [IF#2 WILD 2: i.table_name like '{2}\[ \]%' escape '\' and [ELSE#2] i.table_name = '{2}' and [END#2] [END#1] key_sequence > 0 ) union all ( select varchar(NULL) as table_cat, varchar(x.index_owner) as table_schem, varchar(x.base_name) as table_name, 1 as non_unique, varchar(x.index_owner) as index_qualifier, varchar(x.index_name) as index_name, 3 as type, i.key_sequence as seq_in_index, varchar(i.column_name) as column_name, i.sort_direction as collation, 0 as cardinality, 0 as pages, varchar(NULL) as filter_condition, x.unique_rule from iiindexes x, iiindex_columns i where [IF#1 NOTEMPTY 1: [IF#2 WILD 1: x.base_owner like '{1}\[ \]%' escape '\' and [ELSE#2] x.base_owner = '{1}' and [END#2] [END#1] [IF#1 NOTEMPTY 2: [IF#2 WILD 2: x.base_name like '{2}\[ \]%' escape '\' and [ELSE#2] x.base_name = '{2}' and [END#2] [END#1] [IF#1 NOTEMPTY 3: x.unique_rule = 'U' and [END#1] i.index_name = x.index_name and i.index_owner = x.index_owner ) order by 13, 5, 6, 8 )";

const char* kTablePrivileges =
    R"( SELECT NULL as table_cat, varchar(object_owner) as table_schem, varchar(object_name) as table_name, varchar(permit_grantor) as grantor, varchar(ifnull(permit_user,'')) as grantee, text_segment as privilege, NULL as is_grantable from iipermits where [IF#1 NOTEMPTY 2: [IF#2 WILD 2: object_owner like '{2}\[ \]%' escape '\' and [ELSE#2] object_owner = '{2}' and [END#2] [END#1] [IF#1 NOTEMPTY 3: [IF#2 WILD 3: object_name like '{3}\[ \]%' escape '\' and [ELSE#2] object_name = '{3}' and [END#2] [END#1] object_type = 'T' )";

using A = std::vector<std::optional<std::string>>;

class Catalog : public SampleDatabase {
protected:
    Result q(const std::string& tpl, const A& args) {
        std::string sql = expand(tpl, args);
        Result r = s.run(sql, {}, IIAPI_QT_QUERY, 3);
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << sql << "\n" << firstMessage(r.msgs);
        return r;
    }
    std::vector<std::string> column(const Result& r, size_t c) {
        std::vector<std::string> v;
        for (auto& row : r.rows) v.push_back(trimmed(row.at(c)));
        return v;
    }
};

TEST(TemplateExpander, FollowsTheNotation) {
    EXPECT_EQ(expand("a = '{1}'", {"x"}), "a = 'x'");
    EXPECT_EQ(expand("a = '{1}'", {}), "a = 'NULL'");
    EXPECT_EQ(expand("[IF#1 NOTEMPTY 1:owner = '{1}' and [END#1]1=1", {"%"}), "1=1");
    EXPECT_EQ(expand("[IF#2 WILD 1:like '{1}'[ELSE#2]= '{1}'[END#2]", {"ab\\_c"}), "= 'ab_c'");
    EXPECT_EQ(expand("[IF#2 WILD 1:like '{1}'[ELSE#2]= '{1}'[END#2]", {"ab_c"}), "like 'ab_c'");
}

TEST_F(Catalog, TablesByPatternAndType) {
    Result r = q(kTables, {std::nullopt, "owner", "%", std::nullopt});
    ASSERT_EQ(r.desc.size(), 5u);
    EXPECT_EQ(column(r, 2), (std::vector<std::string>{"all_types", "dept", "emp", "emp_names"}));
    EXPECT_EQ(column(r, 3), (std::vector<std::string>{"UT", "UT", "UT", "UV"}));
    EXPECT_EQ(column(r, 1)[0], "owner");
    EXPECT_EQ(trimmed(r.rows[0][0]), "<null>");
    Result pat = q(kTables, {std::nullopt, std::nullopt, "emp%", std::nullopt});
    EXPECT_EQ(column(pat, 2), (std::vector<std::string>{"emp", "emp_names"}));
    // An escaped wildcard compares with "=".
    Result exact = q(kTables, {std::nullopt, std::nullopt, "emp\\_names", std::nullopt});
    EXPECT_EQ(column(exact, 2), (std::vector<std::string>{"emp_names"}));
    Result views = q(kTables, {std::nullopt, std::nullopt, std::nullopt, "'UV'"});
    EXPECT_EQ(column(views, 2), (std::vector<std::string>{"emp_names"}));
    Result sys = q(kTables, {std::nullopt, std::nullopt, "ii%", "'SV','ST'"});
    EXPECT_FALSE(sys.rows.empty());
    for (auto& t : column(sys, 3)) EXPECT_EQ(t[0], 'S');
    Result none = q(kTables, {std::nullopt, "nobody", std::nullopt, std::nullopt});
    EXPECT_TRUE(none.rows.empty());
}

TEST_F(Catalog, SchemaAndTableTypeEnumerations) {
    Result sch = q(kSchemas, {});
    EXPECT_EQ(column(sch, 1), (std::vector<std::string>{"$ingres", "owner"}));
    Result types = q(kTableTypes, {});
    EXPECT_EQ(column(types, 3), (std::vector<std::string>{"ST", "SV", "UT", "UV"}));
    Result cp = q(kColumnPrivileges, {});
    EXPECT_EQ(cp.desc.size(), 8u);
    EXPECT_TRUE(cp.rows.empty());
}

TEST_F(Catalog, ColumnsOfATable) {
    Result r = q(kColumns, {"owner", "emp", std::nullopt});
    ASSERT_EQ(r.desc.size(), 18u);
    EXPECT_EQ(r.desc[4].ds_dataType, IIAPI_INT_TYPE);  // data_type
    EXPECT_EQ(r.desc[4].ds_length, 2);
    EXPECT_EQ(r.desc[6].ds_length, 4);                  // column_size
    EXPECT_EQ(r.desc[8].ds_length, 2);                  // int2(column_scale)
    EXPECT_EQ(r.desc[16].ds_dataType, IIAPI_INT_TYPE);  // ordinal_position
    EXPECT_EQ(column(r, 3), (std::vector<std::string>{"empno", "ename", "job", "mgr", "hiredate", "sal", "comm",
                                                      "deptno", "active"}));
    // Codes are negative for nullable columns.
    EXPECT_EQ(column(r, 4), (std::vector<std::string>{"30", "21", "-32", "-30", "-4", "-10", "-5", "-30", "38"}));
    EXPECT_EQ(column(r, 5), (std::vector<std::string>{"INTEGER", "VARCHAR", "C", "INTEGER", "ANSIDATE", "DECIMAL",
                                                      "MONEY", "INTEGER", "BOOLEAN"}));
    EXPECT_EQ(column(r, 6), (std::vector<std::string>{"4", "30", "9", "4", "12", "9", "8", "4", "1"}));
    EXPECT_EQ(column(r, 8)[5], "2");
    EXPECT_EQ(column(r, 16), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    EXPECT_EQ(column(r, 17), (std::vector<std::string>{"N", "N", "Y", "Y", "Y", "Y", "Y", "Y", "N"}));
    Result one = q(kColumns, {std::nullopt, "all_types", "i%"});
    EXPECT_EQ(column(one, 3), (std::vector<std::string>{"id", "i1", "i2", "i4", "i8", "iy", "id2"}));
    EXPECT_EQ(column(one, 6)[1], "1");
    EXPECT_EQ(column(one, 6)[4], "8");
}

// A view's columns carry the types and nullability of what they come from, in the catalog as in
// a query of the view: views over views, a column list that renames, expressions.
TEST_F(Catalog, ColumnsOfViews) {
    Result r = q(kColumns, {std::nullopt, "emp_names", std::nullopt});
    EXPECT_EQ(column(r, 3), (std::vector<std::string>{"empno", "ename", "dname"}));
    EXPECT_EQ(column(r, 4), (std::vector<std::string>{"30", "21", "21"}));
    EXPECT_EQ(column(r, 5), (std::vector<std::string>{"INTEGER", "VARCHAR", "VARCHAR"}));
    EXPECT_EQ(column(r, 6), (std::vector<std::string>{"4", "30", "20"}));
    EXPECT_EQ(column(r, 17), (std::vector<std::string>{"N", "N", "N"}));
    for (const char* sql : {"CREATE VIEW pay (who, pay, twice) AS SELECT ename, sal, sal * 2 FROM emp",
                            "CREATE VIEW pay_of AS SELECT p.who, p.pay, p.twice, length(p.who) AS n FROM pay p"})
        ASSERT_EQ(s.exec(sql).status, IIAPI_ST_SUCCESS) << sql;
    Result pay = q(kColumns, {std::nullopt, "pay", std::nullopt});
    EXPECT_EQ(column(pay, 3), (std::vector<std::string>{"who", "pay", "twice"}));
    EXPECT_EQ(column(pay, 5), (std::vector<std::string>{"VARCHAR", "DECIMAL", "DECIMAL"}));
    EXPECT_EQ(column(pay, 17), (std::vector<std::string>{"N", "Y", "Y"}));
    Result of = q(kColumns, {std::nullopt, "pay_of", std::nullopt});
    // sal * 2: DECIMAL(9,2) times an integer is DECIMAL(19,2).
    EXPECT_EQ(column(of, 4), (std::vector<std::string>{"21", "-10", "-10", "-30"}));
    EXPECT_EQ(column(of, 6), (std::vector<std::string>{"30", "9", "19", "2"}));
    // A query of the view describes its columns alike.
    Result rows = s.exec("SELECT * FROM pay_of");
    ASSERT_EQ(rows.status, IIAPI_ST_SUCCESS) << firstMessage(rows.msgs);
    ASSERT_EQ(rows.desc.size(), 4u);
    EXPECT_EQ((std::vector<int>{rows.desc[0].ds_dataType, rows.desc[1].ds_dataType, rows.desc[2].ds_dataType,
                                rows.desc[3].ds_dataType}),
              (std::vector<int>{IIAPI_VCH_TYPE, IIAPI_DEC_TYPE, IIAPI_DEC_TYPE, IIAPI_INT_TYPE}));
    EXPECT_EQ(rows.desc[2].ds_precision, 19);
    EXPECT_EQ(rows.desc[2].ds_scale, 2);
    EXPECT_EQ(rows.desc[3].ds_length, 2);
    EXPECT_EQ(rows.names[3], "n");
    s.rollback();
}

TEST_F(Catalog, PrimaryAndForeignKeys) {
    Result pk = q(kPrimaryKeys, {std::nullopt, std::nullopt, "emp"});
    ASSERT_EQ(pk.rows.size(), 1u);
    EXPECT_EQ(trimmed(pk.rows[0][3]), "empno");
    EXPECT_EQ(trimmed(pk.rows[0][4]), "1");
    EXPECT_FALSE(trimmed(pk.rows[0][5]).empty());
    Result fk = q(kForeignKeys, {std::nullopt, std::nullopt, "dept", std::nullopt, std::nullopt, std::nullopt});
    ASSERT_EQ(fk.rows.size(), 1u);
    EXPECT_EQ(trimmed(fk.rows[0][2]), "dept");
    EXPECT_EQ(trimmed(fk.rows[0][3]), "deptno");
    EXPECT_EQ(trimmed(fk.rows[0][6]), "emp");
    EXPECT_EQ(trimmed(fk.rows[0][7]), "deptno");
    EXPECT_EQ(trimmed(fk.rows[0][8]), "1");
    // Only the foreign-key table given.
    Result fk2 = q(kForeignKeys, {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "emp"});
    EXPECT_EQ(fk2.rows.size(), 1u);
    Result none = q(kForeignKeys, {std::nullopt, std::nullopt, "emp", std::nullopt, std::nullopt, std::nullopt});
    EXPECT_TRUE(none.rows.empty());
}

// The referential actions a constraint was declared with are in the catalog.
TEST_F(Catalog, ReferentialConstraintsCarryTheirRules) {
    s.exec("CREATE TABLE rule_parent (id integer NOT NULL PRIMARY KEY)");
    s.exec(
        "CREATE TABLE rule_child (id integer NOT NULL PRIMARY KEY,"
        " a integer REFERENCES rule_parent(id) ON DELETE CASCADE ON UPDATE SET NULL,"
        " b integer REFERENCES rule_parent(id))");
    Result r = s.exec(
        "SELECT update_rule, delete_rule FROM iiref_constraints WHERE ref_table_name = 'rule_child'"
        " ORDER BY update_rule");
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(trimmed(r.rows[0][0]), "NO ACTION");
    EXPECT_EQ(trimmed(r.rows[0][1]), "NO ACTION");
    EXPECT_EQ(trimmed(r.rows[1][0]), "SET NULL");
    EXPECT_EQ(trimmed(r.rows[1][1]), "CASCADE");
}

TEST_F(Catalog, ProceduresAndTheirColumns) {
    Result p = q(kProcedures, {std::nullopt, std::nullopt, std::nullopt});
    EXPECT_EQ(column(p, 2), (std::vector<std::string>{"dept_count", "emps_of", "raise_salary"}));
    Result p2 = q(kProcedures, {std::nullopt, "owner", "raise%"});
    EXPECT_EQ(column(p2, 2), (std::vector<std::string>{"raise_salary"}));
    for (bool newForm : {false, true}) {
        SCOPED_TRACE(newForm);
        Result c = q(procedureColumns(newForm), {std::nullopt, std::nullopt, "raise_salary", std::nullopt});
        ASSERT_EQ(c.desc.size(), 19u);
        EXPECT_EQ(column(c, 3), (std::vector<std::string>{"p_empno", "p_pct", "p_newsal"}));
        EXPECT_EQ(column(c, 5), (std::vector<std::string>{"30", "31", "-10"}));
        EXPECT_EQ(column(c, 6), (std::vector<std::string>{"INTEGER", "FLOAT", "DECIMAL"}));
        EXPECT_EQ(column(c, 7), (std::vector<std::string>{"10", "15", "9"}));
        EXPECT_EQ(column(c, 9), (std::vector<std::string>{"0", "0", "2"}));
        EXPECT_EQ(column(c, 13), (std::vector<std::string>{"<null>", "0", "<null>"}));
        EXPECT_EQ(column(c, 18), (std::vector<std::string>{"N", "N", "Y"}));
    }
}

TEST_F(Catalog, SpecialColumnsStatisticsAndPrivileges) {
    Result sc = q(kSpecialColumns, {"emp"});
    ASSERT_EQ(sc.rows.size(), 1u);
    EXPECT_EQ(trimmed(sc.rows[0][1]), "tid");
    Result none = q(kSpecialNone, {});
    EXPECT_EQ(none.desc.size(), 7u);
    EXPECT_TRUE(none.rows.empty());
    Result st = q(kStatistics, {std::nullopt, "emp", std::nullopt});
    ASSERT_EQ(st.desc.size(), 14u);
    // The table's own key first, then the indexes.
    std::vector<std::string> idx = column(st, 5), cols = column(st, 8), nonUnique = column(st, 3);
    ASSERT_EQ(idx.size(), 4u);
    EXPECT_EQ(idx[0], "emp");
    EXPECT_EQ(cols[0], "empno");
    EXPECT_EQ(nonUnique[0], "0");
    std::map<std::string, std::vector<std::string>> byIndex;
    for (size_t k = 1; k < idx.size(); ++k) byIndex[idx[k]].push_back(cols[k]);
    EXPECT_EQ(byIndex["emp_by_dept"], (std::vector<std::string>{"deptno"}));
    EXPECT_EQ(byIndex["emp_by_name"], (std::vector<std::string>{"ename", "empno"}));
    Result uniq = q(kStatistics, {std::nullopt, "emp", "U"});
    EXPECT_EQ(uniq.rows.size(), 3u);
    Result tp = q(kTablePrivileges, {std::nullopt, std::nullopt, "%"});
    std::vector<std::string> texts = column(tp, 5);
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"grant select on dept to clerk", "grant select on emp to public",
                                               "grant update on dept to clerk"}));
}

TEST_F(Catalog, TidIsTheRowId) {
    Result r = s.exec("SELECT tid, ename FROM emp WHERE empno = 7839");
    ASSERT_EQ(r.rows.size(), 1u);
    std::string tid = trimmed(r.rows[0][0]);
    Result u = s.exec("UPDATE emp SET job = 'boss' WHERE tid = " + tid);
    EXPECT_EQ(u.rowCount, 1);
    Result back = s.exec("SELECT job FROM emp WHERE empno = 7839");
    EXPECT_EQ(trimmed(back.rows.at(0)[0]), "boss");
}

}  // namespace
