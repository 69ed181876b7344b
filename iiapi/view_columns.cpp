// The columns of a view and of the table a CREATE TABLE ... AS SELECT makes, as the result typing
// describes their SELECT.
#include "iiapi/dialect.h"

#include <cctype>

namespace iiapi {

using namespace dialect;

namespace dialect {

namespace {

// The SELECT of a view's definition as the store keeps it: the text after its first AS outside
// parentheses (a column list may stand before it). Empty when there is none.
std::string viewSelect(const std::string& definition) {
    std::vector<Tok> t;
    Fault f;
    if (!tokenize(definition, t, f)) return std::string();
    int depth = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].text == "(") ++depth;
        if (t[i].text == ")") --depth;
        if (depth == 0 && isWord(t, i, "as")) return join(t, i + 1, t.size());
    }
    return std::string();
}

int64_t schemaVersion(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    int64_t v = -1;
    if (sqlite3_prepare_v2(db, "PRAGMA main.schema_version", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
}

// A result column's name as a column definition takes it: a plain name as the server folds it,
// any other (and one the definition would read as a keyword) quoted.
std::string columnDefinitionName(const std::string& name) {
    bool plain = !name.empty() && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_');
    for (char ch : name) plain = plain && (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_');
    static const char* keywords[] = {"constraint", "primary", "unique", "foreign", "check", nullptr};
    for (const char** k = keywords; plain && *k; ++k)
        if (lower(name) == *k) plain = false;
    if (plain) return lower(name);
    std::string quoted = "\"";
    for (char ch : name) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return quoted + "\"";
}

}  // namespace

}  // namespace dialect

bool declareTableAs(Conn& c, const Rewritten& as, Rewritten& out, Fault& f) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c.db, as.sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        f = faultFromSqlite(c.db, sqlite3_errcode(c.db));
        sqlite3_finalize(st);
        return false;
    }
    if (sqlite3_column_count(st) == 0) {
        sqlite3_finalize(st);
        f = makeFault("42000", native::kSyntax, "Syntax error in CREATE TABLE: a SELECT expected after AS");
        return false;
    }
    std::vector<IngType> types;
    std::vector<std::string> names;
    describeColumns(c, st, as.sql, types, names);
    sqlite3_finalize(st);
    std::string columns;
    for (size_t i = 0; i < types.size(); ++i) {
        IngType check;
        std::string decl = types[i].decl;
        if (decl.empty() || !parseTypeText(decl, check, c.maxSegment)) decl = "long varchar";
        if (!columns.empty()) columns += ", ";
        columns += columnDefinitionName(names[i]) + " " + decl + (types[i].nullable ? "" : " not null");
    }
    return rewriteStatement(c, "CREATE TABLE " + as.name + " (" + columns + ")", out, f);
}

const ViewColumns* describeView(Conn& c, const std::string& view) {
    const std::string key = lower(view);
    const int64_t version = schemaVersion(c.db);
    auto known = c.viewColumns.find(key);
    if (known != c.viewColumns.end() && known->second.first == version) return &known->second.second;
    std::string definition, name;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c.db, "SELECT sql, name FROM main.sqlite_master WHERE type = 'view' AND lower(name) = ?", -1,
                           &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0) && sqlite3_column_text(st, 1)) {
            definition = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        }
    }
    sqlite3_finalize(st);
    const std::string select = viewSelect(definition);
    if (select.empty()) return nullptr;
    ViewColumns cols;
    st = nullptr;
    if (sqlite3_prepare_v2(c.db, select.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return nullptr;
    }
    describeColumns(c, st, select, cols.types, cols.names);
    sqlite3_finalize(st);
    // The view's own names: a column list in its definition renames what the SELECT gives.
    st = nullptr;
    if (sqlite3_prepare_v2(c.db, "SELECT name FROM pragma_table_info(?, 'main') ORDER BY cid", -1, &st, nullptr) ==
        SQLITE_OK) {
        sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        for (size_t k = 0; k < cols.names.size() && sqlite3_step(st) == SQLITE_ROW; ++k)
            if (const unsigned char* n = sqlite3_column_text(st, 0)) cols.names[k] = reinterpret_cast<const char*>(n);
    }
    sqlite3_finalize(st);
    auto& entry = c.viewColumns[key];
    entry = {version, std::move(cols)};
    return &entry.second;
}

}  // namespace iiapi
