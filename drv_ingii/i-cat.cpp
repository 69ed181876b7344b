// Catalog operations: templates over the Ingres system catalogs, the runner that prepares and
// executes them on the catalog call's own statement, the description fix-ups, the row hooks
// and the type-information result.
#include "drv_ingii/i-cat.h"

#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>
#include <algorithm>
#include <type_traits>

#include "drv_ingii/i-template.h"
#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-typeinfo.h"
#include "drv_ingii/i-value.h"
#include "resources/flavor.h"
#include "util/dataset.h"
#include "util/mpl.h"
#include "util/utf.h"
#include "util/errtable.h"
#include "util/strutil.h"

namespace {

// ---- per-statement catalog state ------------------------------------------------------------
// Kept beside the agent's statement record: the hook and the served type-information result.

struct CatState {
    IngTypeInfoScope scope{};
    uint32_t pos = 0;
};

std::mutex g_stateLock;
std::unordered_map<const IngStmt*, CatState>& States() {
    static std::unordered_map<const IngStmt*, CatState> m;
    return m;
}

// ---- templates ------------------------------------------------------------------------------

#define PATTERN(n, column)                                                                                          \
    "[IF#1 NOTEMPTY " #n ": [IF#2 WILD " #n ": " column " like '{" #n "}\\[ \\]%' escape '\\' and [ELSE#2] " column \
    " = '{" #n "}' and [END#2] [END#1] "
#define PATTERN_UC(n, column)                                                                                       \
    "[IF#1 NOTEMPTY " #n ": [IF#2 WILD " #n ": " column " LIKE '{" #n "}\\[ \\]%' ESCAPE '\\' AND [ELSE#2] " column \
    " = '{" #n "}' AND [END#2] [END#1] "

const char* const kTablesTpl =
    " select null as table_cat, varchar(table_owner) as table_schem, varchar(table_name) as table_name, "
    "system_use + table_type as table_type, null as remarks from iitables where " PATTERN(2, "table_owner")
        PATTERN(3, "table_name") "[IF#1 NOTEMPTY 4: [IF#2 NOWILD 4: system_use + table_type in ({4}) AND [END#2] "
                                 "[END#1] table_type in ('T', 'V') order by 2,3,4 ";

const char* const kSchemasTpl =
    " select distinct null as table_cat, varchar(table_owner) as table_schem, null as table_name, null as "
    "table_type, null as remarks from iitables where table_type in ('T', 'V') order by 2 ";

const char* const kTypesTpl =
    " select distinct null as table_cat, null as table_schem, null as table_name, system_use + table_type as "
    "table_type, null as remarks from iitables where table_type in ('T','V') order by 4 ";

// The database has no catalogs: the enumeration is an empty list.
const char* const kCatalogsTpl =
    " select distinct null as table_cat, null as table_schem, null as table_name, null as table_type, null as "
    "remarks from iitables where table_name = '$$' ";

const char* const kColumnPrivilegesTpl =
    " select varchar(' ') as table_cat, varchar(' ') as table_scheme, varchar(' ') as table_name, varchar(' ') as "
    "column_name, varchar(' ') as grantor, varchar(' ') as grantee, varchar(' ') as privilege, varchar(' ') as "
    "isgrantable from iitables where table_name = '$$' ";

const char* const kColumnsTpl =
    " SELECT NULL as table_cat, varchar(table_owner) as table_schem, varchar(table_name) as table_name, "
    "varchar(column_name) as column_name, column_ingdatatype as data_type, varchar(column_datatype) as type_name, "
    "column_length as column_size, column_length as buffer_length, int2(column_scale) as decimal_digits, 10 as "
    "num_prec_radix, 0 as nullable, NULL as remarks, varchar(column_default_val) as column_def, "
    "column_ingdatatype as sql_data_type, int2(NULL) as sql_datetime_sub, int4(NULL) as char_octet_length, "
    "column_sequence as ordinal_position, varchar(column_nulls) as is_nullable FROM iicolumns col WHERE " PATTERN_UC(
        1, "table_owner") PATTERN_UC(2, "table_name") PATTERN_UC(3, "column_name") "1 = 1 order by 2, 3, 17 ";

const char* const kPrimaryKeysTpl =
    " select varchar(null) as table_cat, varchar(iikeys.schema_name) as table_schem, varchar(iikeys.table_name) as "
    "table_name, varchar(iikeys.column_name) as column_name, iikeys.key_position as key_seq, "
    "varchar(iikeys.constraint_name) as pk_name from iikeys, iiconstraints where " PATTERN(2, "iikeys.schema_name")
        PATTERN(3, "iikeys.table_name") "iikeys.key_position > 0 and iiconstraints.constraint_type = 'P' and "
                                        "iikeys.constraint_name = iiconstraints.constraint_name order by 2, 3, 5 ";

// The referential action as ODBC numbers it (SQL_CASCADE 0 ... SQL_SET_DEFAULT 4); the engine's
// constraints are never deferrable (SQL_NOT_DEFERRABLE 7).
#define FK_RULE(column)                                                     \
    "int2(case iiref_constraints." column                                   \
    " when 'CASCADE' then 0 when 'RESTRICT' then 1 when 'SET NULL' then 2 " \
    "when 'SET DEFAULT' then 4 else 3 end)"

const char* const kForeignKeysTpl =
    " select distinct varchar(null) as pktable_cat, varchar(PKiikeys.schema_name) as pktable_schem, "
    "varchar(PKiikeys.table_name) as pktable_name, varchar(PKiikeys.column_name) as pkcolumn_name, varchar(null) as "
    "fktable_cat, varchar(FKiikeys.schema_name) as fktable_schem, varchar(FKiikeys.table_name) as fktable_name, "
    "varchar(FKiikeys.column_name) as fkcolumn_name, FKiikeys.key_position as key_seq, " FK_RULE("update_rule") " as update_rule, "
    FK_RULE("delete_rule") " as delete_rule, varchar(FKiikeys.constraint_name) as fk_name, "
    "varchar(PKiikeys.constraint_name) as pk_name, int2(7) as deferrability from iikeys PKiikeys, iiconstraints, iiref_constraints, iikeys FKiikeys "
    "where [IF#1 NOTEMPTY 2: PKiikeys.schema_name = '{2}' and [END#1] [IF#1 NOTEMPTY 3: PKiikeys.table_name = "
    "'{3}' and [END#1] [IF#1 NOTEMPTY 5: FKiikeys.schema_name = '{5}' and [END#1] [IF#1 NOTEMPTY 6: "
    "FKiikeys.table_name = '{6}' and [END#1] iiconstraints.constraint_type = 'R' and "
    "iiconstraints.constraint_name = iiref_constraints.ref_constraint_name and PKiikeys.constraint_name = "
    "iiref_constraints.unique_constraint_name and FKiikeys.constraint_name = iiref_constraints.ref_constraint_name "
    "and PKiikeys.key_position = FKiikeys.key_position order by 2,3,9 ";

const char* const kProceduresTpl =
    " select varchar(NULL) as procedure_cat, varchar(procedure_owner) as procedure_schem, varchar(procedure_name) "
    "as procedure_name, int2(NULL) as num_input_params, int2(NULL) as num_output_params, int2(NULL) as "
    "num_result_sets, varchar(NULL) as remarks, int2(0) as procedure_type from iiprocedures p where " PATTERN(
        2, "p.procedure_owner") PATTERN(3, "p.procedure_name") "text_sequence = 1 order by 2, 3 ";

#define PROC_LEN                                                                                              \
    "iiuserlen(ii_ext_type(p2.pp_datatype, p2.pp_length),(ii_ext_length(p2.pp_datatype, p2.pp_length)*65536)" \
    "+p2.pp_precision)"
#define PROC_COLUMNS_SELECT                                                                                          \
    " select NULL as procedure_cat, varchar(p1.dbp_owner) as procedure_schem, varchar(p1.dbp_name) as "              \
    "procedure_name, varchar(p2.pp_name) as column_name, int2(1 + mod(p2.pp_flags / 2, 2)) as column_type, "         \
    "p2.pp_datatype as data_type, "                                                                                  \
    "uppercase(iitypename(ii_ext_type(p2.pp_datatype,p2.pp_length))) as type_name, " PROC_LEN                        \
    " as column_size, " PROC_LEN                                                                                     \
    " as buffer_length, int4(mod(p2.pp_precision, (256))) as decimal_digits, 10 as num_prec_radix, 0 as "            \
    "nullable, NULL as remarks, squeeze(d.defvalue) as column_def, p2.pp_datatype as sql_data_type, p2.pp_datatype " \
    "as sql_datetime_sub, " PROC_LEN                                                                                 \
    " as char_octet_length, p2.pp_number as ordinal_position, charextract('YN', "                                    \
    "(mod(p2.pp_flags, 2)) +1)+' ' as is_nullable from iiprocedure p1, iiprocedure_parameter p2, iidefault d"
#define PROC_COLUMNS_WHERE \
    " where " PATTERN(2, "p1.dbp_owner") PATTERN(3, "p1.dbp_name") PATTERN(4, "p2.pp_name")                    \
      "p2.pp_procid1=p1.dbp_id and p2.pp_procid2=p1.dbp_idx and p2.pp_defid1=d.defid1 and "                  \
      "p2.pp_defid2=d.defid2"

const char* const kProcColumnsOldTpl = PROC_COLUMNS_SELECT PROC_COLUMNS_WHERE " order by 2, 3, 18 ";
const char* const kProcColumnsNewTpl = PROC_COLUMNS_SELECT
    ", iiproc_params pp" PROC_COLUMNS_WHERE
    " and p1.dbp_owner = pp.procedure_owner and p1.dbp_name = pp.procedure_name and p2.pp_name = pp.param_name"
    " order by 2, 3, 18 ";

const char* const kSpecialBestRowTpl =
    " select int2(0) as scope, varchar('tid') as column_name, int2(4) as data_type, varchar('integer') as "
    "type_name, 10 as column_size, 4 as buffer_length, 0 as decimal_digits, int2(2) as pseudo_column from "
    "iitables where table_name = '{1}' and table_type = 'T' and table_subtype = 'N' and system_use = 'U' ";

const char* const kSpecialNoneTpl =
    " select 0 as scope, varchar(' ') as column_name, 0 as data_type, varchar(' ') as type_name, 0 as column_size, "
    "0 as buffer_length, 0 as decimal_digits from iitables where table_name = '$$' ";

const char* const kStatisticsTpl =
    " (select varchar(NULL) as table_cat, varchar(i.table_owner) as table_schem, varchar(i.table_name) as "
    "table_name, 0 as non_unique, varchar(i.table_owner) as index_qualifier, varchar(i.table_name) as index_name, "
    "3 as type, i.key_sequence as seq_in_index, varchar(i.column_name) as column_name, i.sort_direction as "
    "collation, 0 as cardinality, 0 as pages, varchar(NULL) as filter_condition, 'U' as unique_rule from iicolumns "
    "i where " PATTERN(1, "i.table_owner") PATTERN(2, "i.table_name")
    "key_sequence > 0 ) union all ( select varchar(NULL) as table_cat, varchar(x.index_owner) as table_schem, "
    "varchar(x.base_name) as table_name, 1 as non_unique, varchar(x.index_owner) as index_qualifier, "
    "varchar(x.index_name) as index_name, 3 as type, i.key_sequence as seq_in_index, varchar(i.column_name) as "
    "column_name, i.sort_direction as collation, 0 as cardinality, 0 as pages, varchar(NULL) as "
    "filter_condition, x.unique_rule from iiindexes x, iiindex_columns i where " PATTERN(1, "x.base_owner")
        PATTERN(2, "x.base_name") "[IF#1 NOTEMPTY 3: x.unique_rule = 'U' and [END#1] i.index_name = x.index_name "
                                  "and i.index_owner = x.index_owner ) order by 13, 5, 6, 8 ";

const char* const kTablePrivilegesTpl =
    " SELECT NULL as table_cat, varchar(object_owner) as table_schem, varchar(object_name) as table_name, "
    "varchar(permit_grantor) as grantor, varchar(ifnull(permit_user,'')) as grantee, text_segment as privilege, "
    "NULL as is_grantable from iipermits where " PATTERN(2, "object_owner")
        PATTERN(3, "object_name") "object_type = 'T' ";

#undef PATTERN
#undef PATTERN_UC
#undef FK_RULE
#undef PROC_LEN
#undef PROC_COLUMNS_SELECT
#undef PROC_COLUMNS_WHERE

const char* Notation(IngCatalogOp op) {
    switch (op) {
        case IngCatalogOp::TableQuery:
            return kTablesTpl;
        case IngCatalogOp::SchemaList:
            return kSchemasTpl;
        case IngCatalogOp::TypeList:
            return kTypesTpl;
        case IngCatalogOp::CatalogList:
            return kCatalogsTpl;
        case IngCatalogOp::Columns:
            return kColumnsTpl;
        case IngCatalogOp::PrimaryKeys:
            return kPrimaryKeysTpl;
        case IngCatalogOp::ForeignKeys:
            return kForeignKeysTpl;
        case IngCatalogOp::Procedures:
            return kProceduresTpl;
        case IngCatalogOp::ProcedureColumnsOld:
            return kProcColumnsOldTpl;
        case IngCatalogOp::ProcedureColumnsNew:
            return kProcColumnsNewTpl;
        case IngCatalogOp::SpecialBestRow:
            return kSpecialBestRowTpl;
        case IngCatalogOp::SpecialNone:
            return kSpecialNoneTpl;
        case IngCatalogOp::Statistics:
            return kStatisticsTpl;
        case IngCatalogOp::TablePrivileges:
            return kTablePrivilegesTpl;
        case IngCatalogOp::ColumnPrivileges:
            return kColumnPrivilegesTpl;
    }
    return "";
}

constexpr int kOpCount = int(IngCatalogOp::ColumnPrivileges) + 1;

bool Given(const char* a) { return a != nullptr && *a != 0; }
bool All(const char* a) { return a != nullptr && std::strcmp(a, "%") == 0; }

// ---- cells ----------------------------------------------------------------------------------

bool IsTextKind(uint32_t kind, bool unicode) {
    return kind == DS_CHAR || kind == DS_CHAR_NTS || (unicode && (kind == DS_WCHAR || kind == DS_WCHAR_NTS));
}

bool CellNull(const DatasetColumn* c, uint32_t row) { return c->indicators[row] >= DS_IND_NOT_FETCHED; }

// The text of a cell as UTF-8.
bool ReadText(const DatasetColumn* c, uint32_t row, std::string* out) {
    out->clear();
    const uint8_t* cell = DatasetCell(c, row);
    switch (c->kind) {
        case DS_CHAR:
            out->assign(reinterpret_cast<const char*>(cell), c->width);
            return true;
        case DS_CHAR_NTS:
            out->assign(reinterpret_cast<const char*>(cell), strnlen(reinterpret_cast<const char*>(cell), c->width));
            return true;
        case DS_WCHAR:
        case DS_WCHAR_NTS: {
            size_t units = c->width / 2;
            std::vector<SQLWCHAR> w(units + 1, 0);
            for (size_t i = 0; i < units; ++i) {
                uint16_t u;
                std::memcpy(&u, cell + 2 * i, 2);
                w[i] = u;
                if (u == 0 && c->kind == DS_WCHAR_NTS) break;
            }
            std::vector<char> buf(units * 3 + 1, 0);
            WideToUtf8(w.data(), buf.data(), buf.size());
            out->assign(buf.data());
            return true;
        }
        default:
            return false;
    }
}

// Writes UTF-8 text into a text cell (UTF-16 in wide cells), cut to its width.
void WriteText(DatasetColumn* c, uint32_t row, const std::string& text) {
    uint8_t* cell = DatasetCell(c, row);
    switch (c->kind) {
        case DS_CHAR: {
            size_t n = std::min<size_t>(text.size(), c->width);
            std::memcpy(cell, text.data(), n);
            std::memset(cell + n, ' ', c->width - n);
            break;
        }
        case DS_CHAR_NTS: {
            if (c->width == 0) return;
            size_t n = std::min<size_t>(text.size(), c->width - 1);
            // Never half a character.
            while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
            std::memcpy(cell, text.data(), n);
            std::memset(cell + n, 0, c->width - n);
            break;
        }
        case DS_WCHAR:
        case DS_WCHAR_NTS: {
            size_t units = c->width / 2;
            size_t room = c->kind == DS_WCHAR_NTS ? (units ? units - 1 : 0) : units;
            std::vector<SQLWCHAR> w(room + 1, 0);
            size_t consumed = 0;
            size_t n = Utf8ToWideN(text.data(), w.data(), text.size(), room, &consumed);
            for (size_t i = 0; i < units; ++i) {
                uint16_t u = i < n ? uint16_t(w[i]) : (c->kind == DS_WCHAR ? ' ' : 0);
                std::memcpy(cell + 2 * i, &u, 2);
            }
            break;
        }
        default:
            return;
    }
    c->indicators[row] = DS_IND_VALUE;
}

bool ReadInt(const DatasetColumn* c, uint32_t row, int64_t* v) {
    const uint8_t* cell = DatasetCell(c, row);
    switch (c->kind) {
        case DS_SMALLINT: {
            int16_t x;
            std::memcpy(&x, cell, 2);
            *v = x;
            return true;
        }
        case DS_USMALLINT: {
            uint16_t x;
            std::memcpy(&x, cell, 2);
            *v = x;
            return true;
        }
        case DS_INTEGER: {
            int32_t x;
            std::memcpy(&x, cell, 4);
            *v = x;
            return true;
        }
        case DS_UINTEGER: {
            uint32_t x;
            std::memcpy(&x, cell, 4);
            *v = x;
            return true;
        }
        case DS_TINYINT: {
            int8_t x;
            std::memcpy(&x, cell, 1);
            *v = x;
            return true;
        }
        case DS_BIT:
        case DS_UTINYINT:
            *v = *cell;
            return true;
        default:
            return false;
    }
}

bool WriteInt(DatasetColumn* c, uint32_t row, int64_t v) {
    uint8_t* cell = DatasetCell(c, row);
    switch (c->kind) {
        case DS_SMALLINT:
        case DS_USMALLINT: {
            int16_t x = int16_t(v);
            std::memcpy(cell, &x, 2);
            break;
        }
        case DS_INTEGER:
        case DS_UINTEGER: {
            int32_t x = int32_t(v);
            std::memcpy(cell, &x, 4);
            break;
        }
        case DS_TINYINT:
        case DS_BIT:
        case DS_UTINYINT:
            *cell = uint8_t(v);
            break;
        default:
            return false;
    }
    c->indicators[row] = DS_IND_VALUE;
    return true;
}

std::string Upper(std::string s) {
    for (char& ch : s) ch = AsciiUpper(ch);
    return s;
}

// ---- hooks bound to a statement -------------------------------------------------------------

bool Unicode(IngStmt* s) { return s && s->conn && s->conn->unicodeConn; }
uint32_t OdbcVersion(IngStmt* s) { return s && s->conn ? s->conn->odbcVersion : 2; }

uint32_t TableTypeHook(IngStmt* s, Dataset* b, uint32_t rows) {
    IngCatalogTableTypeRows(b, rows, Unicode(s), s && s->conn && s->conn->dsn.jet);
    return 0;
}
uint32_t SchemaHook(IngStmt*, Dataset* b, uint32_t rows) {
    if (b && b->col_count >= 5) IngCatalogNullColumns(b, rows, 0x1 | 0x4 | 0x8 | 0x10);
    return 0;
}
uint32_t TypeListHook(IngStmt* s, Dataset* b, uint32_t rows) {
    if (!b || b->col_count < 5) return 0;
    TableTypeHook(s, b, rows);
    IngCatalogNullColumns(b, rows, 0x1 | 0x2 | 0x4 | 0x10);
    return 0;
}
uint32_t ColumnsHook(IngStmt* s, Dataset* b, uint32_t rows) {
    IngCatalogColumnRows(b, rows, OdbcVersion(s), Unicode(s), false);
    return 0;
}
uint32_t ProcColumnsHook(IngStmt* s, Dataset* b, uint32_t rows) {
    IngCatalogColumnRows(b, rows, OdbcVersion(s), Unicode(s), true);
    return 0;
}
uint32_t StatisticsHook(IngStmt* s, Dataset* b, uint32_t rows) {
    IngCatalogStatisticsRows(b, rows, Unicode(s));
    return 0;
}
uint32_t PrivilegeHook(IngStmt* s, Dataset* b, uint32_t rows) {
    IngCatalogPrivilegeRows(b, rows, Unicode(s));
    return 0;
}

// Rows of a type-information statement, at the fetch.
uint32_t ServeTypeInfo(IngStmt* s, uint16_t rows, Dataset* block) {
    IngTypeInfoScope scope;
    uint32_t pos;
    {
        std::lock_guard<std::mutex> g(g_stateLock);
        auto it = States().find(s);
        if (it == States().end()) return kErrSequence;
        scope = it->second.scope;
        pos = it->second.pos;
    }
    // A statement serves one call at a time: the position is written back unchallenged.
    uint32_t rc = IngTypeInfoServe(scope, &pos, rows, block);
    std::lock_guard<std::mutex> g(g_stateLock);
    auto it = States().find(s);
    if (it != States().end()) it->second.pos = pos;
    if (rc == 0) {
        s->rowCount = block->rows_used;
        s->rowsDelivered += block->rows_used;
    }
    return rc;
}

}  // namespace

// ---- statement state ------------------------------------------------------------------------

void IngCatalogStmtReset(IngStmt* s) {
    std::lock_guard<std::mutex> g(g_stateLock);
    States().erase(s);
}

// ---- machinery ------------------------------------------------------------------------------

const std::string& IngCatalogTemplate(IngCatalogOp op) {
    static const std::vector<std::string> compiled = [] {
        std::vector<std::string> a;
        for (int i = 0; i < kOpCount; ++i) a.push_back(SqlTemplateCompile(Notation(IngCatalogOp(i))));
        return a;
    }();
    return compiled[size_t(op)];
}

uint32_t IngCatalogQuery(uint32_t stmt, const char* tpl, char** args, int count, uint32_t rawArgs) {
    MPL pool;
    mpl_init(&pool);
    SqlTemplateExpandQuoted(&pool, tpl, args, count, rawArgs);
    const char* text = static_cast<const char*>(mpl_finish(&pool));
    // The agent's own operations: the catalog query is already below every layer.
    const AgentFuncTable* table = IngAgentOpTable();
    auto prepare = AgentSlotGet<DRV_Prepare>(table);
    uint32_t rc = prepare ? prepare(stmt, text) : kErrNotCapable;
    mpl_destroy(&pool);
    if (rc != 0) return rc;
    if (IngStmt* s = IngStmtFind(stmt)) s->catalogResult = 1;
    auto execute = AgentSlotGet<DRV_Execute>(table);
    return execute ? execute(stmt) : kErrNotCapable;
}

void IngCatalogSetColumn(IngStmt* s, uint16_t col, int32_t sqlType, uint32_t length) {
    if (s == nullptr || col == 0 || col > s->columnCount || s->columns == nullptr) return;
    ColumnInfo& c = s->columns[col - 1];
    c.sql_type = sqlType;
    c.scale = 0;
    c.nullable = (c.nullable & ~0xFu) | 2u;
    auto textSize = [&](uint32_t kind, int16_t code) {
        c.value_kind = kind;
        c.server_type = code;
        if (length != 0) {
            c.column_size = length;
            c.display_size = length;
            c.length = length;
        }
    };
    switch (sqlType) {
        case SQL_WVARCHAR:
            textSize(DS_WCHAR_NTS, IIAPI_NVCH_TYPE);
            break;
        case SQL_WCHAR:
            textSize(DS_WCHAR_NTS, IIAPI_NCHA_TYPE);
            break;
        case SQL_CHAR:
            textSize(DS_CHAR_NTS, IIAPI_CHA_TYPE);
            break;
        case SQL_VARCHAR:
            textSize(DS_CHAR_NTS, IIAPI_VCH_TYPE);
            break;
        case SQL_INTEGER:
            c.value_kind = DS_INTEGER;
            c.length = 4;
            c.column_size = 10;
            c.display_size = 11;
            break;
        case SQL_SMALLINT:
            c.value_kind = DS_SMALLINT;
            c.length = 2;
            c.column_size = 5;
            c.display_size = 6;
            break;
        default:
            break;
    }
}

IngCatalogOp IngCatalogTablesKind(const char* catalog, const char* schema, const char* table, const char* types) {
    if (All(types)) {
        return !Given(catalog) && !Given(schema) && !Given(table) ? IngCatalogOp::TypeList : IngCatalogOp::TableQuery;
    }
    if (All(catalog) && !Given(schema) && !Given(table)) return IngCatalogOp::CatalogList;
    if (All(schema) && !Given(catalog) && !Given(table)) return IngCatalogOp::SchemaList;
    return IngCatalogOp::TableQuery;
}

std::string IngCatalogTypeCodes(const char* types) {
    std::string out;
    if (types == nullptr) return out;
    const char* p = types;
    while (true) {
        while (*p == ' ' || *p == '\t') ++p;
        const char* end = std::strchr(p, ',');
        std::string item = end ? std::string(p, size_t(end - p)) : std::string(p);
        const char* code = item == "'VIEW'"           ? "'UV'"
                           : item == "'TABLE'"        ? "'UT'"
                           : item == "'SYSTEM VIEW'"  ? "'SV'"
                           : item == "'SYSTEM TABLE'" ? "'ST'"
                                                      : nullptr;
        if (code) {
            if (!out.empty()) out += ',';
            out += code;
        }
        if (end == nullptr) break;
        p = end + 1;
    }
    return out;
}

// ---- hooks ----------------------------------------------------------------------------------

void IngCatalogTableTypeRows(Dataset* b, uint32_t rows, bool unicode, bool jet) {
    if (b == nullptr || b->col_count < 4) return;
    DatasetColumn* c = &b->cols[3];
    if (!IsTextKind(c->kind, unicode)) return;
    for (uint32_t r = 0; r < rows && r < b->rows_alloc; ++r) {
        if (CellNull(c, r)) continue;
        std::string code;
        if (!ReadText(c, r, &code)) continue;
        std::string name = !code.empty() && code[0] == 'S' ? "SYSTEM " : "";
        name += code.size() > 1 && code[1] == 'V' ? "VIEW" : "TABLE";
        if (jet && name == "TABLE") name = "VIEW";
        WriteText(c, r, name);
    }
}

void IngCatalogNullColumns(Dataset* b, uint32_t rows, uint32_t mask) {
    if (b == nullptr) return;
    for (uint16_t col = 0; col < b->col_count && col < 32; ++col) {
        if (!(mask & (1u << col))) continue;
        for (uint32_t r = 0; r < rows && r < b->rows_alloc; ++r) b->cols[col].indicators[r] = DS_IND_NULL;
    }
}

namespace {

// The query reports a scale and radix 10 for every column; applications take a radix as telling
// whether COLUMN_SIZE counts digits or bits, so types without either must read NULL.
bool CharOrBinary(int16_t t) {
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR || t == SQL_WVARCHAR ||
           t == SQL_WLONGVARCHAR || t == SQL_BINARY || t == SQL_VARBINARY || t == SQL_LONGVARBINARY;
}
bool DateTimeOrInterval(int16_t t) { return (t >= 9 && t <= 11) || (t >= 91 && t <= 93) || (t >= 101 && t <= 113); }

}  // namespace

void IngCatalogColumnRows(Dataset* b, uint32_t rows, uint32_t odbcVersion, bool unicode, bool procedures) {
    // 1-based cells: DATA_TYPE, TYPE_NAME, COLUMN_SIZE, BUFFER_LENGTH, DECIMAL_DIGITS, NULLABLE,
    // SQL_DATA_TYPE, SQL_DATETIME_SUB, CHAR_OCTET_LENGTH, IS_NULLABLE.
    static const uint16_t kColumns[10] = {5, 6, 7, 8, 9, 11, 14, 15, 16, 18};
    static const uint16_t kProcColumns[10] = {6, 7, 8, 9, 10, 12, 15, 16, 17, 19};
    const uint16_t* at = procedures ? kProcColumns : kColumns;
    if (b == nullptr || b->col_count < at[9]) return;
    DatasetColumn* col[10];
    for (int i = 0; i < 10; ++i) col[i] = &b->cols[at[i] - 1];
    DatasetColumn* radix = &b->cols[at[4]];  // NUM_PREC_RADIX follows DECIMAL_DIGITS
    for (uint32_t r = 0; r < rows && r < b->rows_alloc; ++r) {
        DatasetColumn* isNull = col[9];
        std::string yn;
        if (!CellNull(isNull, r) && ReadText(isNull, r, &yn)) {
            WriteText(isNull, r, yn.empty() ? "" : yn[0] == 'N' ? "NO" : yn[0] == 'Y' ? "YES" : "");
        }
        int64_t v[9] = {};
        if (CellNull(col[0], r) || !ReadInt(col[0], r, &v[0])) continue;
        for (int i = 2; i < 9; ++i) {
            if (!CellNull(col[i], r)) ReadInt(col[i], r, &v[i]);
        }
        int16_t dataType = int16_t(v[0]);
        uint32_t columnSize = uint32_t(v[2]), bufferLength = uint32_t(v[3]), octet = uint32_t(v[8]);
        uint16_t digits = uint16_t(v[4]), nullable = uint16_t(v[5]), sqlType = uint16_t(v[6]), sub = uint16_t(v[7]);
        DatasetColumn* name = col[1];
        const bool nameOk = IsTextKind(name->kind, true) && name->kind != DS_CHAR && name->kind != DS_WCHAR;
        const bool wideName = name->kind == DS_WCHAR_NTS;
        IngTypeCells cells{&dataType,
                           nameOk ? DatasetCell(name, r) : nullptr,
                           nameOk ? name->width : 0,
                           wideName,
                           &columnSize,
                           &bufferLength,
                           &digits,
                           &nullable,
                           &sqlType,
                           &sub,
                           &octet};
        IngCatalogTypeFixup(cells, odbcVersion, unicode);
        if (nameOk) name->indicators[r] = DS_IND_VALUE;
        WriteInt(col[0], r, dataType);
        WriteInt(col[2], r, columnSize);
        WriteInt(col[3], r, bufferLength);
        if (CharOrBinary(dataType))
            col[4]->indicators[r] = DS_IND_NULL;
        else
            WriteInt(col[4], r, digits);
        if (CharOrBinary(dataType) || DateTimeOrInterval(dataType)) radix->indicators[r] = DS_IND_NULL;
        WriteInt(col[5], r, nullable);
        WriteInt(col[6], r, int16_t(sqlType));
        if (sub != 65535)
            WriteInt(col[7], r, int16_t(sub));
        else
            col[7]->indicators[r] = DS_IND_NULL;
        if (octet != 0xFFFFFFFFu)
            WriteInt(col[8], r, int32_t(octet));
        else
            col[8]->indicators[r] = DS_IND_NULL;
    }
}

void IngCatalogStatisticsRows(Dataset* b, uint32_t rows, bool unicode) {
    if (b == nullptr || b->col_count < 14) return;
    DatasetColumn* rule = &b->cols[13];
    DatasetColumn* nonUnique = &b->cols[3];
    if (!IsTextKind(rule->kind, unicode)) return;
    for (uint32_t r = 0; r < rows && r < b->rows_alloc; ++r) {
        std::string text;
        if (CellNull(rule, r) || !ReadText(rule, r, &text)) continue;
        if (!text.empty() && text[0] == 'U') WriteInt(nonUnique, r, 0);
    }
}

void IngCatalogPrivilegeRows(Dataset* b, uint32_t rows, bool unicode) {
    if (b == nullptr || b->col_count < 7) return;
    DatasetColumn* c = &b->cols[5];
    if (!IsTextKind(c->kind, unicode)) return;
    for (uint32_t r = 0; r < rows && r < b->rows_alloc; ++r) {
        std::string text;
        if (CellNull(c, r) || !ReadText(c, r, &text)) continue;
        size_t i = 0;
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        bool grant = text.size() >= i + 6 && Upper(text.substr(i, 5)) == "GRANT" &&
                     std::isspace(static_cast<unsigned char>(text[i + 5]));
        if (!grant) {
            c->indicators[r] = DS_IND_NULL;
            continue;
        }
        i += 5;
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        size_t end = i;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
        WriteText(c, r, Upper(text.substr(i, end - i)));
    }
}

// ---- operations -----------------------------------------------------------------------------

namespace {

struct ColumnFix {
    uint16_t col;
    int32_t sqlType;  // 0: the connection's text type
    uint32_t length;
};
constexpr int32_t kText = 0;

// What one catalog call runs: the template, its arguments (absent ones as null), the arguments
// placed without quoting, the description fix-ups and the hook.
struct Plan {
    uint32_t refuse = 0;
    IngCatalogOp op = IngCatalogOp::CatalogList;
    std::vector<std::string> args;
    std::vector<bool> present;
    uint32_t raw = 0;
    std::vector<ColumnFix> fixes;
    IngRowHook hook = nullptr;

    void Args(std::initializer_list<const char*> texts) {
        for (const char* t : texts) {
            args.emplace_back(t ? t : "");
            present.push_back(t != nullptr);
        }
    }
};

// What a slot was given: the names of its record in order, or one of the two records with numbers.
struct SlotArgs {
    const char* names[6] = {};
    const IngSpecialColumnsArgs* special = nullptr;
    const IngStatisticsArgs* statistics = nullptr;
};

SlotArgs From(const IngTablesArgs* a) { return a ? SlotArgs{{a->catalog, a->schema, a->table, a->types}} : SlotArgs{}; }
SlotArgs From(const IngColumnsArgs* a) {
    return a ? SlotArgs{{a->catalog, a->schema, a->table, a->column}} : SlotArgs{};
}
SlotArgs From(const IngColumnPrivilegesArgs* a) {
    return a ? SlotArgs{{a->catalog, a->schema, a->table, a->column}} : SlotArgs{};
}
SlotArgs From(const IngForeignKeysArgs* a) {
    return a ? SlotArgs{{a->pkCatalog, a->pkSchema, a->pkTable, a->fkCatalog, a->fkSchema, a->fkTable}} : SlotArgs{};
}
SlotArgs From(const IngPrimaryKeysArgs* a) { return a ? SlotArgs{{a->catalog, a->schema, a->table}} : SlotArgs{}; }
SlotArgs From(const IngProceduresArgs* a) { return a ? SlotArgs{{a->catalog, a->schema, a->procedure}} : SlotArgs{}; }
SlotArgs From(const IngProcedureColumnsArgs* a) {
    return a ? SlotArgs{{a->catalog, a->schema, a->procedure, a->column}} : SlotArgs{};
}
SlotArgs From(const IngTablePrivilegesArgs* a) { return a ? SlotArgs{{a->catalog, a->schema, a->table}} : SlotArgs{}; }
SlotArgs From(const IngSpecialColumnsArgs* a) {
    SlotArgs s;
    s.special = a;
    return s;
}
SlotArgs From(const IngStatisticsArgs* a) {
    SlotArgs s;
    s.statistics = a;
    return s;
}

template <class R>
constexpr int SlotOf() {
    if constexpr (std::is_same_v<R, IngTablesArgs>)
        return DRV_DDTables;
    else if constexpr (std::is_same_v<R, IngColumnsArgs>)
        return DRV_DDColumns;
    else if constexpr (std::is_same_v<R, IngColumnPrivilegesArgs>)
        return DRV_DDColumnPrivileges;
    else if constexpr (std::is_same_v<R, IngForeignKeysArgs>)
        return DRV_DDForeignKeys;
    else if constexpr (std::is_same_v<R, IngPrimaryKeysArgs>)
        return DRV_DDPrimaryKeys;
    else if constexpr (std::is_same_v<R, IngProceduresArgs>)
        return DRV_DDProcedures;
    else if constexpr (std::is_same_v<R, IngProcedureColumnsArgs>)
        return DRV_DDProcedureColumns;
    else if constexpr (std::is_same_v<R, IngTablePrivilegesArgs>)
        return DRV_DDTablePrivileges;
    else if constexpr (std::is_same_v<R, IngSpecialColumnsArgs>)
        return DRV_DDSpecialColumns;
    else
        return DRV_DDStatistics;
}

const char* Arg(const SlotArgs& args, int i) { return args.names[i]; }

bool MakePlan(int slot, const SlotArgs& in, int32_t serverVersion, Plan* p) {
    switch (slot) {
        case DRV_DDTables: {
            const char *cat = Arg(in, 0), *schema = Arg(in, 1), *table = Arg(in, 2), *types = Arg(in, 3);
            p->op = IngCatalogTablesKind(cat, schema, table, types);
            if (p->op == IngCatalogOp::CatalogList) {
                p->fixes = {{1, kText, 2}, {2, kText, 2}, {3, kText, 2}, {4, kText, 24}, {5, kText, 2}};
            } else if (p->op == IngCatalogOp::SchemaList) {
                p->fixes = {{1, kText, 2}, {3, kText, 2}, {4, kText, 24}, {5, kText, 2}};
                p->hook = SchemaHook;
            } else if (p->op == IngCatalogOp::TypeList) {
                p->fixes = {{1, kText, 2}, {2, kText, 2}, {3, kText, 2}, {4, kText, 24}, {5, kText, 2}};
                p->hook = TypeListHook;
            } else {
                std::string codes = IngCatalogTypeCodes(types);
                // The code list is made of fixed texts and goes in as it stands.
                p->Args({cat, schema, table, Given(types) ? codes.c_str() : nullptr, "", "", ""});
                p->raw = 1u << 3;
                p->fixes = {{1, kText, 2}, {2, kText, 0}, {3, kText, 0}, {4, kText, 24}, {5, kText, 2}};
                p->hook = TableTypeHook;
            }
            return true;
        }
        case DRV_DDColumnPrivileges:
            p->op = IngCatalogOp::ColumnPrivileges;
            return true;
        case DRV_DDColumns:
            p->op = IngCatalogOp::Columns;
            p->Args({Arg(in, 1), Arg(in, 2), Arg(in, 3)});
            p->fixes = {{1, kText, 2},  {2, kText, 0}, {3, kText, 0}, {4, kText, 0}, {5, 5, 0},     {6, kText, 32},
                        {7, 4, 0},      {8, 4, 0},     {9, 5, 0},     {10, 5, 0},    {11, 5, 0},    {12, kText, 2},
                        {13, kText, 0}, {14, 5, 0},    {15, 5, 0},    {16, 4, 0},    {18, kText, 3}};
            p->hook = ColumnsHook;
            return true;
        case DRV_DDPrimaryKeys:
            p->op = IngCatalogOp::PrimaryKeys;
            p->Args({Arg(in, 0), Arg(in, 1), Arg(in, 2)});
            p->fixes = {{1, kText, 2}, {2, kText, 0}, {3, kText, 0}, {4, kText, 0}, {5, 5, 0}, {6, kText, 0}};
            return true;
        case DRV_DDForeignKeys:
            p->op = IngCatalogOp::ForeignKeys;
            p->Args({Arg(in, 0), Arg(in, 1), Arg(in, 2), Arg(in, 3), Arg(in, 4), Arg(in, 5)});
            p->fixes = {{1, kText, 2}, {2, kText, 0},  {3, kText, 0},  {4, kText, 0}, {5, kText, 2},
                        {6, kText, 0}, {7, kText, 0},  {8, kText, 0},  {9, 5, 0},     {10, 5, 0},
                        {11, 5, 0},    {12, kText, 0}, {13, kText, 0}, {14, 5, 0}};
            return true;
        case DRV_DDProcedures:
            p->op = IngCatalogOp::Procedures;
            p->Args({Arg(in, 0), Arg(in, 1), Arg(in, 2)});
            p->fixes = {{1, kText, 2}, {2, kText, 0}, {3, kText, 0}, {4, 5, 0},
                        {5, 5, 0},     {6, 5, 0},     {7, kText, 2}, {8, 5, 0}};
            return true;
        case DRV_DDProcedureColumns:
            p->op = serverVersion >= kIngVersionLargeStrings ? IngCatalogOp::ProcedureColumnsNew
                                                             : IngCatalogOp::ProcedureColumnsOld;
            p->Args({Arg(in, 0), Arg(in, 1), Arg(in, 2), Arg(in, 3)});
            p->fixes = {{1, kText, 2},  {2, kText, 32}, {3, kText, 32}, {4, kText, 32}, {5, 5, 0},     {6, 5, 0},
                        {7, kText, 32}, {8, 4, 0},      {9, 4, 0},      {10, 5, 0},     {11, 5, 0},    {12, 5, 0},
                        {15, 5, 0},     {16, 5, 0},     {17, 4, 0},     {18, 4, 0},     {19, kText, 4}};
            p->hook = ProcColumnsHook;
            return true;
        case DRV_DDSpecialColumns: {
            const IngSpecialColumnsArgs* rec = in.special;
            if (rec == nullptr) return false;
            p->op = rec->identifierType == 1 ? IngCatalogOp::SpecialBestRow : IngCatalogOp::SpecialNone;
            p->Args({rec->table});
            p->fixes = {{1, 5, 0}, {2, kText, 0}, {3, 5, 0}, {4, kText, 32}, {8, 5, 0}};
            return true;
        }
        case DRV_DDStatistics: {
            const IngStatisticsArgs* rec = in.statistics;
            if (rec == nullptr) return false;
            p->op = IngCatalogOp::Statistics;
            p->Args({rec->schema, rec->table, rec->unique == 0 ? "U" : ""});
            p->fixes = {{2, kText, 32}, {3, kText, 0}, {5, kText, 0}, {6, kText, 0}, {7, 5, 0},
                        {8, 5, 0},      {9, 12, 0},    {12, 4, 0},    {13, kText, 0}};
            p->hook = StatisticsHook;
            return true;
        }
        case DRV_DDTablePrivileges:
            p->op = IngCatalogOp::TablePrivileges;
            p->Args({Arg(in, 0), Arg(in, 1), Arg(in, 2)});
            p->fixes = {{1, kText, 1},  {2, kText, 32}, {3, kText, 32}, {4, kText, 32},
                        {5, kText, 32}, {6, kText, 32}, {7, kText, 3}};
            p->hook = PrivilegeHook;
            return true;
        default:
            return false;
    }
}

// ---- result column names --------------------------------------------------------------------
// Applications read catalog results by name, with the names their ODBC version gives; where
// ODBC 2 named a column differently its name follows after a '|'.

const char* const kTableNames[] = {"TABLE_CAT|TABLE_QUALIFIER", "TABLE_SCHEM|TABLE_OWNER", "TABLE_NAME", "TABLE_TYPE",
                                   "REMARKS"};
const char* const kColumnNames[] = {"TABLE_CAT|TABLE_QUALIFIER",
                                    "TABLE_SCHEM|TABLE_OWNER",
                                    "TABLE_NAME",
                                    "COLUMN_NAME",
                                    "DATA_TYPE",
                                    "TYPE_NAME",
                                    "COLUMN_SIZE|PRECISION",
                                    "BUFFER_LENGTH|LENGTH",
                                    "DECIMAL_DIGITS|SCALE",
                                    "NUM_PREC_RADIX|RADIX",
                                    "NULLABLE",
                                    "REMARKS",
                                    "COLUMN_DEF",
                                    "SQL_DATA_TYPE",
                                    "SQL_DATETIME_SUB",
                                    "CHAR_OCTET_LENGTH",
                                    "ORDINAL_POSITION",
                                    "IS_NULLABLE"};
const char* const kPrimaryKeyNames[] = {
    "TABLE_CAT|TABLE_QUALIFIER", "TABLE_SCHEM|TABLE_OWNER", "TABLE_NAME", "COLUMN_NAME", "KEY_SEQ", "PK_NAME"};
const char* const kForeignKeyNames[] = {"PKTABLE_CAT|PKTABLE_QUALIFIER",
                                        "PKTABLE_SCHEM|PKTABLE_OWNER",
                                        "PKTABLE_NAME",
                                        "PKCOLUMN_NAME",
                                        "FKTABLE_CAT|FKTABLE_QUALIFIER",
                                        "FKTABLE_SCHEM|FKTABLE_OWNER",
                                        "FKTABLE_NAME",
                                        "FKCOLUMN_NAME",
                                        "KEY_SEQ",
                                        "UPDATE_RULE",
                                        "DELETE_RULE",
                                        "FK_NAME",
                                        "PK_NAME",
                                        "DEFERRABILITY"};
const char* const kProcedureNames[] = {"PROCEDURE_CAT|PROCEDURE_QUALIFIER",
                                       "PROCEDURE_SCHEM|PROCEDURE_OWNER",
                                       "PROCEDURE_NAME",
                                       "NUM_INPUT_PARAMS",
                                       "NUM_OUTPUT_PARAMS",
                                       "NUM_RESULT_SETS",
                                       "REMARKS",
                                       "PROCEDURE_TYPE"};
const char* const kProcColumnNames[] = {"PROCEDURE_CAT|PROCEDURE_QUALIFIER",
                                        "PROCEDURE_SCHEM|PROCEDURE_OWNER",
                                        "PROCEDURE_NAME",
                                        "COLUMN_NAME",
                                        "COLUMN_TYPE",
                                        "DATA_TYPE",
                                        "TYPE_NAME",
                                        "COLUMN_SIZE|PRECISION",
                                        "BUFFER_LENGTH|LENGTH",
                                        "DECIMAL_DIGITS|SCALE",
                                        "NUM_PREC_RADIX|RADIX",
                                        "NULLABLE",
                                        "REMARKS",
                                        "COLUMN_DEF",
                                        "SQL_DATA_TYPE",
                                        "SQL_DATETIME_SUB",
                                        "CHAR_OCTET_LENGTH",
                                        "ORDINAL_POSITION",
                                        "IS_NULLABLE"};
const char* const kSpecialNames[] = {"SCOPE",
                                     "COLUMN_NAME",
                                     "DATA_TYPE",
                                     "TYPE_NAME",
                                     "COLUMN_SIZE|PRECISION",
                                     "BUFFER_LENGTH|LENGTH",
                                     "DECIMAL_DIGITS|SCALE",
                                     "PSEUDO_COLUMN"};
// The fourteenth column, the driver's own, stays after ODBC's thirteen.
const char* const kStatisticsNames[] = {"TABLE_CAT|TABLE_QUALIFIER",
                                        "TABLE_SCHEM|TABLE_OWNER",
                                        "TABLE_NAME",
                                        "NON_UNIQUE",
                                        "INDEX_QUALIFIER",
                                        "INDEX_NAME",
                                        "TYPE",
                                        "ORDINAL_POSITION|SEQ_IN_INDEX",
                                        "COLUMN_NAME",
                                        "ASC_OR_DESC|COLLATION",
                                        "CARDINALITY",
                                        "PAGES",
                                        "FILTER_CONDITION",
                                        "UNIQUE_RULE"};
const char* const kTablePrivilegeNames[] = {"TABLE_CAT|TABLE_QUALIFIER",
                                            "TABLE_SCHEM|TABLE_OWNER",
                                            "TABLE_NAME",
                                            "GRANTOR",
                                            "GRANTEE",
                                            "PRIVILEGE",
                                            "IS_GRANTABLE"};
const char* const kColumnPrivilegeNames[] = {"TABLE_CAT|TABLE_QUALIFIER",
                                             "TABLE_SCHEM|TABLE_OWNER",
                                             "TABLE_NAME",
                                             "COLUMN_NAME",
                                             "GRANTOR",
                                             "GRANTEE",
                                             "PRIVILEGE",
                                             "IS_GRANTABLE"};

struct NameList {
    const char* const* names;
    size_t count;
};
template <size_t N>
constexpr NameList List(const char* const (&a)[N]) {
    return {a, N};
}

NameList ResultNames(IngCatalogOp op) {
    switch (op) {
        case IngCatalogOp::TableQuery:
        case IngCatalogOp::SchemaList:
        case IngCatalogOp::TypeList:
        case IngCatalogOp::CatalogList:
            return List(kTableNames);
        case IngCatalogOp::Columns:
            return List(kColumnNames);
        case IngCatalogOp::PrimaryKeys:
            return List(kPrimaryKeyNames);
        case IngCatalogOp::ForeignKeys:
            return List(kForeignKeyNames);
        case IngCatalogOp::Procedures:
            return List(kProcedureNames);
        case IngCatalogOp::ProcedureColumnsOld:
        case IngCatalogOp::ProcedureColumnsNew:
            return List(kProcColumnNames);
        case IngCatalogOp::SpecialBestRow:
        case IngCatalogOp::SpecialNone:
            return List(kSpecialNames);
        case IngCatalogOp::Statistics:
            return List(kStatisticsNames);
        case IngCatalogOp::TablePrivileges:
            return List(kTablePrivilegeNames);
        case IngCatalogOp::ColumnPrivileges:
            return List(kColumnPrivilegeNames);
    }
    return {nullptr, 0};
}

void NameColumns(IngStmt* s, IngCatalogOp op) {
    NameList l = ResultNames(op);
    const bool odbc2 = OdbcVersion(s) < 3;
    for (uint16_t i = 0; i < s->columnCount && i < l.count; ++i) {
        std::string name = l.names[i];
        size_t bar = name.find('|');
        if (bar != std::string::npos) name = odbc2 ? name.substr(bar + 1) : name.substr(0, bar);
        char* copy = strdup(name.c_str());
        if (copy == nullptr) continue;
        ColumnInfo& c = s->columns[i];
        std::snprintf(c.name, sizeof c.name, "%s", copy);
        std::free(c.column);
        c.column = copy;
    }
}

// Writable copies of a plan's arguments (the wildcard test may strip escapes in place).
struct PlanArgs {
    std::vector<char*> v;
    explicit PlanArgs(const Plan& p) {
        for (size_t i = 0; i < p.args.size(); ++i) v.push_back(p.present[i] ? strdup(p.args[i].c_str()) : nullptr);
    }
    ~PlanArgs() {
        for (char* c : v) std::free(c);
    }
    PlanArgs(const PlanArgs&) = delete;
    PlanArgs& operator=(const PlanArgs&) = delete;
};

uint32_t RunSlot(int slot, uint32_t stmt, const SlotArgs& args) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    Plan p;
    if (!MakePlan(slot, args, s->conn ? s->conn->versionNumber : 0, &p)) return kErrBadArg;
    if (p.refuse) return p.refuse;
    PlanArgs a(p);
    if (Unicode(s)) {
        // The prepare converts the whole text to the server's character set; a name that cannot
        // be converted drops its filter instead of failing the call.
        for (size_t i = 0; i < a.v.size(); ++i) {
            if (a.v[i] == nullptr || (p.raw & (1u << i))) continue;
            char* converted = IngQueryToClientCharset(a.v[i]);
            if (converted == nullptr) {
                std::free(a.v[i]);
                a.v[i] = nullptr;
            }
            std::free(converted);
        }
    }
    uint32_t rc = IngCatalogQuery(stmt, IngCatalogTemplate(p.op).c_str(), a.v.data(), int(a.v.size()), p.raw);
    if (rc != 0) return rc;
    const int32_t text = Unicode(s) ? -9 : 12;
    for (const ColumnFix& f : p.fixes) IngCatalogSetColumn(s, f.col, f.sqlType == kText ? text : f.sqlType, f.length);
    if (s->columns) NameColumns(s, p.op);
    if (p.hook) s->rowHook = p.hook;
    return 0;
}

}  // namespace

namespace {
std::string SlotText(int slot, const SlotArgs& args, int32_t serverVersion, uint32_t* refused) {
    Plan p;
    if (refused) *refused = 0;
    if (!MakePlan(slot, args, serverVersion, &p)) {
        if (refused) *refused = kErrBadArg;
        return std::string();
    }
    if (p.refuse) {
        if (refused) *refused = p.refuse;
        return std::string();
    }
    PlanArgs a(p);
    MPL pool;
    mpl_init(&pool);
    SqlTemplateExpandQuoted(&pool, IngCatalogTemplate(p.op).c_str(), a.v.data(), int(a.v.size()), p.raw);
    std::string text = static_cast<const char*>(mpl_finish(&pool));
    mpl_destroy(&pool);
    return text;
}

}  // namespace

std::string IngCatalogSlotText(const IngTablesArgs* args, int32_t serverVersion, uint32_t* refused) {
    return SlotText(SlotOf<IngTablesArgs>(), From(args), serverVersion, refused);
}
std::string IngCatalogSlotText(const IngColumnsArgs* args, int32_t serverVersion, uint32_t* refused) {
    return SlotText(SlotOf<IngColumnsArgs>(), From(args), serverVersion, refused);
}
std::string IngCatalogSlotText(const IngColumnPrivilegesArgs* args, int32_t serverVersion, uint32_t* refused) {
    return SlotText(SlotOf<IngColumnPrivilegesArgs>(), From(args), serverVersion, refused);
}
std::string IngCatalogSlotText(const IngForeignKeysArgs* args, int32_t serverVersion, uint32_t* refused) {
    return SlotText(SlotOf<IngForeignKeysArgs>(), From(args), serverVersion, refused);
}
std::string IngCatalogSlotText(const IngPrimaryKeysArgs* args, int32_t serverVersion, uint32_t* refused) {
    return SlotText(SlotOf<IngPrimaryKeysArgs>(), From(args), serverVersion, refused);
}
std::string IngCatalogSlotText(const IngProceduresArgs* args, int32_t serverVersion, uint32_t* refused) {
    return SlotText(SlotOf<IngProceduresArgs>(), From(args), serverVersion, refused);
}
std::string IngCatalogSlotText(const IngProcedureColumnsArgs* args, int32_t serverVersion, uint32_t* refused) {
    return SlotText(SlotOf<IngProcedureColumnsArgs>(), From(args), serverVersion, refused);
}
std::string IngCatalogSlotText(const IngTablePrivilegesArgs* args, int32_t serverVersion, uint32_t* refused) {
    return SlotText(SlotOf<IngTablePrivilegesArgs>(), From(args), serverVersion, refused);
}
std::string IngCatalogSlotText(const IngSpecialColumnsArgs* args, int32_t serverVersion, uint32_t* refused) {
    return SlotText(SlotOf<IngSpecialColumnsArgs>(), From(args), serverVersion, refused);
}
std::string IngCatalogSlotText(const IngStatisticsArgs* args, int32_t serverVersion, uint32_t* refused) {
    return SlotText(SlotOf<IngStatisticsArgs>(), From(args), serverVersion, refused);
}

ErrCode IngDDTables(uint32_t stmt, const IngTablesArgs* args) {
    return ErrCode(RunSlot(SlotOf<IngTablesArgs>(), stmt, From(args)));
}
ErrCode IngDDColumns(uint32_t stmt, const IngColumnsArgs* args) {
    return ErrCode(RunSlot(SlotOf<IngColumnsArgs>(), stmt, From(args)));
}
ErrCode IngDDColumnPrivileges(uint32_t stmt, const IngColumnPrivilegesArgs* args) {
    return ErrCode(RunSlot(SlotOf<IngColumnPrivilegesArgs>(), stmt, From(args)));
}
ErrCode IngDDForeignKeys(uint32_t stmt, const IngForeignKeysArgs* args) {
    return ErrCode(RunSlot(SlotOf<IngForeignKeysArgs>(), stmt, From(args)));
}
ErrCode IngDDPrimaryKeys(uint32_t stmt, const IngPrimaryKeysArgs* args) {
    return ErrCode(RunSlot(SlotOf<IngPrimaryKeysArgs>(), stmt, From(args)));
}
ErrCode IngDDProcedures(uint32_t stmt, const IngProceduresArgs* args) {
    return ErrCode(RunSlot(SlotOf<IngProceduresArgs>(), stmt, From(args)));
}
ErrCode IngDDProcedureColumns(uint32_t stmt, const IngProcedureColumnsArgs* args) {
    return ErrCode(RunSlot(SlotOf<IngProcedureColumnsArgs>(), stmt, From(args)));
}
ErrCode IngDDTablePrivileges(uint32_t stmt, const IngTablePrivilegesArgs* args) {
    return ErrCode(RunSlot(SlotOf<IngTablePrivilegesArgs>(), stmt, From(args)));
}
ErrCode IngDDSpecialColumns(uint32_t stmt, const IngSpecialColumnsArgs* args) {
    return ErrCode(RunSlot(SlotOf<IngSpecialColumnsArgs>(), stmt, From(args)));
}
ErrCode IngDDStatistics(uint32_t stmt, const IngStatisticsArgs* args) {
    return ErrCode(RunSlot(SlotOf<IngStatisticsArgs>(), stmt, From(args)));
}

ErrCode IngDDTypeInfo(uint32_t stmt, uint16_t sqlType) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    IngStmtReset(s);
    s->rowHook = nullptr;
    ColumnInfo* cols = ColumnInfoArrayCopy(IngTypeInfoDescriptions(), kTypeInfoColumns);
    if (cols == nullptr) return kErrNoMemory;
    s->columns = cols;
    s->columnCount = kTypeInfoColumns;
    CatState st;
    st.scope.sqlType = int16_t(sqlType);
    st.scope.serverVersion = s->conn ? s->conn->versionNumber : 0;
    st.scope.apiLevel = s->conn ? s->conn->apiLevel : 1;
    st.scope.odbcVersion = s->conn ? s->conn->odbcVersion : 2;
    st.scope.wideBuild = tv_wide_build;
    st.scope.maxCharLen = s->conn ? s->conn->maxCharLen : 0;
    {
        std::lock_guard<std::mutex> g(g_stateLock);
        States()[s] = st;
    }
    s->resultSource = 2;
    s->typeInfoFetch = ServeTypeInfo;
    s->rowsDelivered = 0;
    s->state |= kStmtExecuted;
    return kErrNone;
}
