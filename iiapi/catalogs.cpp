// The server's system catalogs, as views over the SQLite schema and the engine's own metadata.
#include "iiapi/internal.h"

namespace iiapi {

namespace {

bool hasTable(sqlite3* db, const char* name) {
    sqlite3_stmt* st = nullptr;
    bool found = false;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM main.sqlite_master WHERE type='table' AND name=?", -1, &st, nullptr) ==
        SQLITE_OK) {
        sqlite3_bind_text(st, 1, name, -1, SQLITE_STATIC);
        found = sqlite3_step(st) == SQLITE_ROW;
    }
    sqlite3_finalize(st);
    return found;
}

const char* kCatalogNames[] = {
    "iitables",      "iicolumns",       "iikeys",       "iiconstraints", "iiref_constraints",
    "iiindexes",     "iiindex_columns", "iiprocedures", "iiprocedure",   "iiprocedure_parameter",
    "iiproc_params", "iidefault",       "iipermits",    "iidbconstants", nullptr};

// User tables and views of the main schema.
const std::string kUserTables =
    "SELECT m.name AS tn, m.type AS ty FROM main.sqlite_master m WHERE m.type IN ('table', 'view')";

std::string systemUse(const char* col) {
    return std::string("CASE WHEN ") + col + " LIKE 'sqlite\\_%' ESCAPE '\\' OR " + col +
           " LIKE 'iiapi\\_%' ESCAPE '\\' THEN 'S' ELSE 'U' END";
}

std::string catalogSql(bool meta) {
    std::string s;
    std::string names;
    for (const char** n = kCatalogNames; *n; ++n) names += std::string(names.empty() ? "" : ", ") + "('" + *n + "')";

    s += "CREATE TEMP VIEW iitables AS "
         "SELECT u.tn AS table_name, ii_owner(u.tn) AS table_owner, "
         "CASE u.ty WHEN 'view' THEN 'V' ELSE 'T' END AS table_type, " +
         systemUse("u.tn") +
         // A table without a row id cannot be addressed by tid: it is not a native table.
         " AS system_use, CASE WHEN u.ty = 'table' AND EXISTS (SELECT 1 FROM pragma_table_list(u.tn) l "
         "WHERE l.wr AND l.schema = 'main') THEN 'I' ELSE 'N' END AS table_subtype, 'BTREE' AS storage_structure, 0 AS "
         "num_rows "
         "FROM (" +
         kUserTables +
         ") u "
         "UNION ALL SELECT column1, '$ingres', 'V', 'S', 'N', 'HEAP', 0 FROM (VALUES " +
         names + ");\n";

    s += "CREATE TEMP VIEW iicolumns AS "
         "SELECT x.tn AS table_name, ii_owner(x.tn) AS table_owner, x.name AS column_name, "
         "ii_type_fact('name', x.ct) AS column_datatype, ii_type_fact('length', x.ct) AS column_length, "
         "ii_type_fact('scale', x.ct) AS column_scale, "
         "CASE WHEN x.nn THEN 'N' ELSE 'Y' END AS column_nulls, "
         "CASE WHEN x.dflt_value IS NULL THEN 'N' ELSE 'Y' END AS column_defaults, "
         "x.cid + 1 AS column_sequence, x.pk AS key_sequence, 'A' AS sort_direction, "
         "ii_type_fact('code', x.ct, NOT x.nn) AS column_ingdatatype, "
         "x.dflt_value AS column_default_val, "
         "ii_type_fact('name', x.ct) AS column_internal_datatype, "
         "ii_type_fact('storage', x.ct) AS column_internal_length, 'N' AS column_system_maintained "
         "FROM (SELECT u.tn, p.*, ii_column_type(u.tn, p.name, p.type, u.ty, p.cid) AS ct, "
         "ii_column_notnull(u.tn, u.ty, p.cid, p.\"notnull\") AS nn "
         "FROM (" +
         kUserTables + ") u, pragma_table_info(u.tn, 'main') p) x;\n";

    // Keys: the primary key, unique constraints and referential constraints.
    s += "CREATE TEMP VIEW iikeys AS "
         "SELECT ii_owner(u.tn) AS schema_name, u.tn AS table_name, '$' || lower(u.tn) || '_pk' AS constraint_name, "
         "p.name AS column_name, p.pk AS key_position, 'P' AS constraint_type "
         "FROM (" +
         kUserTables +
         ") u, pragma_table_info(u.tn, 'main') p WHERE u.ty = 'table' AND p.pk > 0 "
         "UNION ALL "
         "SELECT ii_owner(u.tn), u.tn, '$' || lower(u.tn) || '_u' || il.seq, ii.name, ii.seqno + 1, 'U' "
         "FROM (" +
         kUserTables +
         ") u, pragma_index_list(u.tn, 'main') il, pragma_index_info(il.name, 'main') ii "
         "WHERE u.ty = 'table' AND il.origin = 'u' "
         "UNION ALL "
         "SELECT ii_owner(u.tn), u.tn, '$' || lower(u.tn) || '_r' || fk.id, fk.\"from\", fk.seq + 1, 'R' "
         "FROM (" +
         kUserTables + ") u, pragma_foreign_key_list(u.tn, 'main') fk WHERE u.ty = 'table';\n";

    s += "CREATE TEMP VIEW iiconstraints AS "
         "SELECT DISTINCT schema_name, table_name, constraint_name, "
         "constraint_type, 1 AS text_sequence, '' AS text_segment, 'U' AS system_use "
         "FROM iikeys;\n";

    s += "CREATE TEMP VIEW iiref_constraints AS "
         "SELECT DISTINCT '$' || lower(u.tn) || '_r' || fk.id AS ref_constraint_name, ii_owner(u.tn) AS "
         "ref_schema_name, "
         "u.tn AS ref_table_name, '$' || lower(fk.\"table\") || '_pk' AS unique_constraint_name, "
         "ii_owner(fk.\"table\") AS unique_schema_name, fk.\"table\" AS unique_table_name, "
         "upper(fk.on_update) AS update_rule, upper(fk.on_delete) AS delete_rule "
         "FROM (" +
         kUserTables + ") u, pragma_foreign_key_list(u.tn, 'main') fk WHERE u.ty = 'table';\n";

    s +=
        "CREATE TEMP VIEW iiindexes AS "
        "SELECT il.name AS index_name, ii_owner(u.tn) AS index_owner, u.tn AS base_name, ii_owner(u.tn) AS base_owner, "
        "'BTREE' AS storage_structure, 'N' AS is_compressed, CASE WHEN il.\"unique\" THEN 'U' ELSE 'D' END AS "
        "unique_rule, "
        "'U' AS system_use "
        "FROM (" +
        kUserTables + ") u, pragma_index_list(u.tn, 'main') il WHERE u.ty = 'table' AND il.origin IN ('c', 'u');\n";

    s += "CREATE TEMP VIEW iiindex_columns AS "
         "SELECT il.name AS index_name, ii_owner(u.tn) AS index_owner, x.name AS column_name, x.seqno + 1 AS "
         "key_sequence, "
         "CASE WHEN x.\"desc\" THEN 'D' ELSE 'A' END AS sort_direction "
         "FROM (" +
         kUserTables +
         ") u, pragma_index_list(u.tn, 'main') il, pragma_index_xinfo(il.name, 'main') x "
         "WHERE u.ty = 'table' AND il.origin IN ('c', 'u') AND x.key = 1 AND x.cid >= 0;\n";

    if (meta) {
        s += "CREATE TEMP VIEW iiprocedures AS "
             "SELECT p.name AS procedure_name, p.owner AS procedure_owner, 'N' AS proc_subtype, "
             "1 AS text_sequence, p.text AS text_segment, 'U' AS system_use FROM main.iiapi_procedures p;\n";
        s += "CREATE TEMP VIEW iiprocedure AS "
             "SELECT p.name AS dbp_name, p.owner AS dbp_owner, p.id AS dbp_id, 0 AS dbp_idx, "
             "(SELECT count(*) FROM main.iiapi_proc_params q WHERE q.proc_name = p.name) AS dbp_parameter_count "
             "FROM main.iiapi_procedures p;\n";
        s += "CREATE TEMP VIEW iiprocedure_parameter AS "
             "SELECT p.id AS pp_procid1, 0 AS pp_procid2, q.name AS pp_name, q.seq AS pp_number, "
             "ii_type_fact('storage', q.ingres_type) AS pp_length, "
             "ii_type_fact('code', q.ingres_type, q.nullable) AS pp_datatype, "
             "ii_type_fact('precision', q.ingres_type) AS pp_precision, "
             "(CASE WHEN q.nullable THEN 0 ELSE 1 END) + (CASE WHEN q.mode = 'IN' THEN 0 ELSE 2 END) AS pp_flags, "
             "p.id AS pp_defid1, q.seq AS pp_defid2 "
             "FROM main.iiapi_procedures p, main.iiapi_proc_params q WHERE q.proc_name = p.name;\n";
        s += "CREATE TEMP VIEW iidefault AS "
             "SELECT p.id AS defid1, q.seq AS defid2, q.default_value AS defvalue "
             "FROM main.iiapi_procedures p, main.iiapi_proc_params q WHERE q.proc_name = p.name;\n";
        s += "CREATE TEMP VIEW iiproc_params AS "
             "SELECT p.name AS procedure_name, p.owner AS procedure_owner, q.name AS param_name, q.seq AS "
             "param_sequence, "
             "ii_type_fact('name', q.ingres_type) AS param_datatype, "
             "ii_type_fact('code', q.ingres_type, q.nullable) AS param_datatype_code, "
             "ii_type_fact('length', q.ingres_type) AS param_length, ii_type_fact('scale', q.ingres_type) AS "
             "param_scale, "
             "CASE WHEN q.nullable THEN 'Y' ELSE 'N' END AS param_nulls, "
             "CASE WHEN q.default_value IS NULL THEN 'N' ELSE 'Y' END AS param_defaults, "
             "q.default_value AS param_default_val, q.mode AS param_mode "
             "FROM main.iiapi_procedures p, main.iiapi_proc_params q WHERE q.proc_name = p.name;\n";
        s += "CREATE TEMP VIEW iipermits AS "
             "SELECT object_name, object_owner, object_type, permit_grantor, permit_user, "
             "permit_number, text_sequence, text_segment FROM main.iiapi_permits;\n";
    } else {
        s +=
            "CREATE TEMP VIEW iiprocedures AS SELECT '' AS procedure_name, '' AS procedure_owner, 'N' AS proc_subtype, "
            "1 AS text_sequence, '' AS text_segment, 'U' AS system_use WHERE 0;\n";
        s += "CREATE TEMP VIEW iiprocedure AS SELECT '' AS dbp_name, '' AS dbp_owner, 0 AS dbp_id, 0 AS dbp_idx, "
             "0 AS dbp_parameter_count WHERE 0;\n";
        s += "CREATE TEMP VIEW iiprocedure_parameter AS SELECT 0 AS pp_procid1, 0 AS pp_procid2, '' AS pp_name, "
             "0 AS pp_number, 0 AS pp_length, 0 AS pp_datatype, 0 AS pp_precision, 0 AS pp_flags, 0 AS pp_defid1, "
             "0 AS pp_defid2 WHERE 0;\n";
        s += "CREATE TEMP VIEW iidefault AS SELECT 0 AS defid1, 0 AS defid2, '' AS defvalue WHERE 0;\n";
        s +=
            "CREATE TEMP VIEW iiproc_params AS SELECT '' AS procedure_name, '' AS procedure_owner, '' AS param_name, "
            "0 AS param_sequence, '' AS param_datatype, 0 AS param_datatype_code, 0 AS param_length, 0 AS param_scale, "
            "'Y' AS param_nulls, 'N' AS param_defaults, '' AS param_default_val, 'IN' AS param_mode WHERE 0;\n";
        s += "CREATE TEMP VIEW iipermits AS SELECT '' AS object_name, '' AS object_owner, 'T' AS object_type, "
             "'' AS permit_grantor, '' AS permit_user, 0 AS permit_number, 1 AS text_sequence, '' AS text_segment "
             "WHERE 0;\n";
    }
    s += "CREATE TEMP VIEW iidbconstants AS SELECT dbmsinfo('username') AS user_name, dbmsinfo('dba') AS dba_name, "
         "'$ingres' AS system_owner;\n";
    return s;
}

}  // namespace

bool ensureMetadata(sqlite3* db, Fault& f) {
    return execSimple(
        db,
        "CREATE TABLE IF NOT EXISTS iiapi_meta(key TEXT PRIMARY KEY, value TEXT);"
        "CREATE TABLE IF NOT EXISTS iiapi_tables(table_name TEXT PRIMARY KEY, owner TEXT);"
        "CREATE TABLE IF NOT EXISTS iiapi_columns(table_name TEXT, column_name TEXT, seq INT,"
        " ingres_type TEXT, PRIMARY KEY(table_name, column_name));"
        "CREATE TABLE IF NOT EXISTS iiapi_procedures(name TEXT PRIMARY KEY, owner TEXT, id INTEGER,"
        " text TEXT, body TEXT);"
        "CREATE TABLE IF NOT EXISTS iiapi_proc_params(proc_name TEXT, seq INT, name TEXT, ingres_type TEXT,"
        " nullable INT, mode TEXT, default_value TEXT, PRIMARY KEY(proc_name, seq));"
        "CREATE TABLE IF NOT EXISTS iiapi_permits(object_name TEXT, object_owner TEXT, object_type TEXT,"
        " permit_grantor TEXT, permit_user TEXT, permit_number INTEGER, text_sequence INT, text_segment TEXT);",
        f);
}

bool metadataPresent(sqlite3* db) {
    return hasTable(db, "iiapi_procedures") && hasTable(db, "iiapi_permits") && hasTable(db, "iiapi_proc_params");
}

void createCatalogs(Conn& c) {
    std::string drop;
    for (const char** n = kCatalogNames; *n; ++n) drop += std::string("DROP VIEW IF EXISTS temp.") + *n + ";";
    sqlite3_exec(c.db, drop.c_str(), nullptr, nullptr, nullptr);
    std::string sql = catalogSql(metadataPresent(c.db));
    sqlite3_exec(c.db, sql.c_str(), nullptr, nullptr, nullptr);
    c.catalogsWithMetadata = metadataPresent(c.db);
    c.catalogsCreated = true;
    c.catalogsInTransaction = !sqlite3_get_autocommit(c.db);
}

void refreshCatalogs(Conn& c) {
    if (c.catalogsCreated && !c.catalogsWithMetadata) createCatalogs(c);
}

void catalogsRolledBack(Conn& c) {
    if (c.catalogsInTransaction) c.catalogsCreated = false;
    c.catalogsInTransaction = false;
}

bool mentionsCatalog(std::string_view sql) {
    auto lower = [](char ch) { return ch >= 'A' && ch <= 'Z' ? char(ch - 'A' + 'a') : ch; };
    for (size_t i = 0; i + 1 < sql.size(); ++i) {
        if (lower(sql[i]) != 'i' || lower(sql[i + 1]) != 'i') continue;
        for (const char** n = kCatalogNames; *n; ++n) {
            std::string_view name(*n);
            if (sql.size() - i < name.size()) continue;
            size_t k = 2;
            while (k < name.size() && lower(sql[i + k]) == name[k]) ++k;
            if (k == name.size()) return true;
        }
    }
    return false;
}

bool isCatalogName(std::string_view name) {
    for (const char** n = kCatalogNames; *n; ++n)
        if (name == *n) return true;
    return false;
}

}  // namespace iiapi
