// The Ingres SQL the clients send, turned into statements SQLite runs, and result typing.
#include "iiapi/internal.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace iiapi {

size_t quotedEnd(std::string_view s, size_t open) {
    const char q = s[open];
    for (size_t i = open + 1; i < s.size(); ++i) {
        if (s[i] != q) continue;
        if (i + 1 < s.size() && s[i + 1] == q) {
            ++i;  // a doubled quote stands for itself
            continue;
        }
        return i + 1;
    }
    return std::string_view::npos;
}

namespace {

struct Tok {
    enum T { Word, QuotedId, String, Number, Punct, Space, Param } t;
    std::string text;
};

std::string lower(std::string_view s) {
    std::string o(s);
    for (auto& c : o) c = char(std::tolower(static_cast<unsigned char>(c)));
    return o;
}

bool tokenize(std::string_view s, std::vector<Tok>& out, Fault& f) {
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        size_t st = i;
        if (std::isspace(static_cast<unsigned char>(c))) {
            while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
            out.push_back({Tok::Space, " "});
        } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            while (i < s.size() && s[i] != '\n') ++i;
            out.push_back({Tok::Space, " "});
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            size_t e = s.find("*/", i + 2);
            if (e == std::string_view::npos) {
                f = makeFault("42000", native::kSyntax, "Syntax error: unterminated comment");
                return false;
            }
            i = e + 2;
            out.push_back({Tok::Space, " "});
        } else if ((c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'') {
            // N'...' is a Unicode literal: the engine's nvarchar of the text.
            i = quotedEnd(s, i + 1);
            if (i == std::string_view::npos) {
                f = makeFault("42000", native::kSyntax, "Syntax error: unterminated string");
                return false;
            }
            out.push_back({Tok::Word, "nvarchar"});
            out.push_back({Tok::Punct, "("});
            out.push_back({Tok::String, std::string(s.substr(st + 1, i - st - 1))});
            out.push_back({Tok::Punct, ")"});
        } else if (c == '\'' || c == '"') {
            i = quotedEnd(s, i);
            if (i == std::string_view::npos) {
                f = makeFault(
                    "42000", native::kSyntax,
                    c == '\'' ? "Syntax error: unterminated string" : "Syntax error: unterminated identifier");
                return false;
            }
            out.push_back({c == '\'' ? Tok::String : Tok::QuotedId, std::string(s.substr(st, i - st))});
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
            if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
                size_t k = i + 1;
                if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
                if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
                    i = k;
                    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
                }
            }
            out.push_back({Tok::Number, std::string(s.substr(st, i - st))});
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#' ||
                   (static_cast<unsigned char>(c) >= 0x80)) {
            while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' || s[i] == '$' ||
                                    s[i] == '#' || s[i] == '@' || static_cast<unsigned char>(s[i]) >= 0x80))
                ++i;
            out.push_back({Tok::Word, std::string(s.substr(st, i - st))});
        } else if (c == '?') {
            ++i;
            out.push_back({Tok::Param, "?"});
        } else {
            // Two-character operators stay together.
            static const char* two[] = {"<>", "<=", ">=", "!=", "||", "::", "**"};
            bool done = false;
            for (const char* t : two) {
                if (s.substr(i, 2) == t) {
                    out.push_back({Tok::Punct, t});
                    i += 2;
                    done = true;
                    break;
                }
            }
            if (!done) {
                out.push_back({Tok::Punct, std::string(1, c)});
                ++i;
            }
        }
    }
    return true;
}

std::string join(const std::vector<Tok>& t, size_t b, size_t e) {
    std::string s;
    for (size_t i = b; i < e && i < t.size(); ++i) s += t[i].text;
    return s;
}

// Index of the next non-space token at or after i.
size_t skip(const std::vector<Tok>& t, size_t i) {
    while (i < t.size() && t[i].t == Tok::Space) ++i;
    return i;
}

bool isWord(const std::vector<Tok>& t, size_t i, const char* w) {
    return i < t.size() && t[i].t == Tok::Word && lower(t[i].text) == w;
}

std::string identName(const Tok& t) {
    if (t.t == Tok::QuotedId) {
        std::string s = t.text.substr(1, t.text.size() - 2);
        std::string o;
        for (size_t i = 0; i < s.size(); ++i) {
            o.push_back(s[i]);
            if (s[i] == '"' && i + 1 < s.size() && s[i + 1] == '"') ++i;
        }
        return o;
    }
    return lower(t.text);
}

std::string defaultFor(const IngType& t) {
    switch (t.type) {
        case IIAPI_INT_TYPE:
        case IIAPI_FLT_TYPE:
        case IIAPI_MNY_TYPE:
        case IIAPI_DEC_TYPE:
        case IIAPI_BOOL_TYPE:
            return "0";
        case IIAPI_BYTE_TYPE:
        case IIAPI_VBYTE_TYPE:
        case IIAPI_LBYTE_TYPE:
            return "X''";
        default:
            return "''";
    }
}

bool isDateTimeType(const IngType& t);
std::string rewriteGeneral(Conn& c, std::vector<Tok> t);

// One column definition (name, type, null and default clauses, constraints) as the store
// declares it.
struct ColumnDefinition {
    std::string name;  // as the catalogs keep it
    std::string text;  // as SQL names it (quoted when it was)
    IngType type;
    bool dated = false;  // a date or time: its collation and canonical form
    std::string sql;     // the SQLite column definition
};

// Reads the column definition of tokens [p, e) of a CREATE TABLE or ALTER TABLE (`what`).
bool columnDefinition(Conn& c, const std::vector<Tok>& t, size_t p, size_t e, const char* what, ColumnDefinition& out,
                      Fault& f) {
    out.name = identName(t[p]);
    // Unquoted names are kept in lower case, as the server folds them.
    out.text = t[p].t == Tok::Word ? out.name : t[p].text;
    // The type: words and one parenthesised argument list.
    size_t q = skip(t, p + 1);
    std::string typeText;
    static const char* stops[] = {"not",        "null",  "with",       "default", "primary", "unique",
                                  "references", "check", "constraint", "collate", nullptr};
    while (q < e) {
        if (t[q].t == Tok::Word) {
            std::string w = lower(t[q].text);
            bool stop = false;
            for (const char** s = stops; *s; ++s)
                if (w == *s) stop = true;
            if (w == "with" || w == "without") {
                // "time with time zone", "timestamp with local time zone"
                size_t n = skip(t, q + 1);
                if (isWord(t, n, "time") || isWord(t, n, "local")) stop = false;
            }
            if (stop) break;
            if (!typeText.empty() && typeText.back() != '(') typeText += " ";
            typeText += w;
            q = skip(t, q + 1);
        } else if (t[q].text == "(") {
            size_t r = q;
            while (r < e && t[r].text != ")") ++r;
            if (r >= e) {
                f = makeFault("42000", native::kSyntax, std::string("Syntax error in ") + what + ": ')' expected");
                return false;
            }
            typeText += join(t, q, r + 1);
            q = skip(t, r + 1);
        } else {
            break;
        }
    }
    IngType& ty = out.type;
    if (typeText.empty() || !parseTypeText(typeText, ty, c.maxSegment)) {
        f = makeFault(
            "42000", native::kSyntax,
            std::string("Syntax error in ") + what + ": unknown type '" + typeText + "' for column " + out.name);
        return false;
    }
    std::string rest;
    while (q < e) {
        q = skip(t, q);
        if (q >= e) break;
        if (isWord(t, q, "with") && isWord(t, skip(t, q + 1), "null")) {
            q = skip(t, q + 1) + 1;
        } else if (isWord(t, q, "with") && isWord(t, skip(t, q + 1), "default")) {
            rest += " DEFAULT " + defaultFor(ty);
            q = skip(t, q + 1) + 1;
        } else if (isWord(t, q, "not") && isWord(t, skip(t, q + 1), "default")) {
            q = skip(t, q + 1) + 1;
        } else if (isWord(t, q, "with") && isWord(t, skip(t, q + 1), "system_maintained")) {
            q = skip(t, q + 1) + 1;
        } else {
            rest += " " + t[q].text;
            ++q;
        }
    }
    out.dated = isDateTimeType(ty);
    out.sql =
        out.text + " " + sqliteDeclFor(ty) + (out.dated ? std::string(" COLLATE ") + kDateTimeCollation : "") + rest;
    return true;
}

// Dates and times arrive in many spellings (Ingres formats, date orders, fractions); the store
// keeps each in one form, cut to the declared precision, so that they compare, sort and read back
// as the values they are. The statements that make the triggers doing so for a table's date and
// time columns (their SQL names and declared types): first the two that drop the ones it had.
std::vector<std::string> dateTriggers(const std::string& table, const std::string& tableText,
                                      const std::vector<std::pair<std::string, std::string>>& dated) {
    std::string quotedTable;
    for (char ch : table) quotedTable += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    const std::string in = "\"ii_dates_in_" + quotedTable + "\"", up = "\"ii_dates_up_" + quotedTable + "\"";
    std::vector<std::string> out = {"DROP TRIGGER IF EXISTS " + in, "DROP TRIGGER IF EXISTS " + up};
    if (dated.empty()) return out;
    std::string when, set, cols;
    for (auto& [col, decl] : dated) {
        std::string canon = "ii_cast(" + col + ", '" + decl + "')";
        if (!when.empty()) when += " OR ", set += ", ", cols += ", ";
        // Byte for byte: the column's own collation finds every spelling of a value equal.
        when += "NEW." + col + " IS NOT ii_cast(NEW." + col + ", '" + decl + "') COLLATE BINARY";
        set += col + " = " + canon;
        cols += col;
    }
    std::string action =
        " FOR EACH ROW WHEN " + when + " BEGIN UPDATE " + tableText + " SET " + set + " WHERE rowid = NEW.rowid; END";
    out.push_back("CREATE TRIGGER " + in + " AFTER INSERT ON " + tableText + action);
    out.push_back("CREATE TRIGGER " + up + " AFTER UPDATE OF " + cols + " ON " + tableText + action);
    return out;
}

// CREATE TABLE name (columns) [WITH options]: Ingres types become SQLite declarations with the
// right affinity, the declared types are kept for the catalogs, Ingres null/default clauses
// become SQLite's.
// A column constraint that refuses a string or byte value longer than the column holds (the
// store itself keeps any length), with the name faultFromSqlite knows it by; "" for other types.
// Trailing blanks of a fixed-length string are padding and may go.
std::string fitCheck(const std::string& col, const std::string& colText, const IngType& ty) {
    std::string value = colText;
    size_t room = 0;
    switch (ty.type) {
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE:
            value = "rtrim(" + colText + ", ' ')";
            room = ty.length;
            break;
        case IIAPI_NCHA_TYPE:
            value = "rtrim(" + colText + ", ' ')";
            room = ty.length / 2u;
            break;
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
        case IIAPI_VBYTE_TYPE:
            room = ty.length > 2 ? ty.length - 2u : 0u;
            break;
        case IIAPI_NVCH_TYPE:
            room = ty.length > 2 ? (ty.length - 2u) / 2u : 0u;
            break;
        case IIAPI_BYTE_TYPE:
            room = ty.length;
            break;
        default:
            return "";
    }
    // Characters for the national types (a UTF-16 unit each, but for the rare pair), bytes else.
    const bool national = ty.type == IIAPI_NCHA_TYPE || ty.type == IIAPI_NVCH_TYPE;
    std::string name;
    for (char ch : std::string(kFitCheckPrefix) + col) name += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return " CONSTRAINT \"" + name + "\" CHECK (length(" + (national ? value : "CAST(" + value + " AS BLOB)") +
           ") <= " + std::to_string(room) + ")";
}

bool rewriteCreateTable(Conn& c, const std::vector<Tok>& t, size_t i, Rewritten& out, Fault& f) {
    i = skip(t, i);
    if (i >= t.size() || (t[i].t != Tok::Word && t[i].t != Tok::QuotedId)) {
        f = makeFault("42000", native::kSyntax, "Syntax error in CREATE TABLE: table name expected");
        return false;
    }
    size_t nameStart = i;
    std::string table = identName(t[i]);
    size_t j = skip(t, i + 1);
    if (j < t.size() && t[j].text == ".") {
        // owner.table: the owner part is dropped, the engine keeps one name space.
        j = skip(t, j + 1);
        if (j >= t.size()) {
            f = makeFault("42000", native::kSyntax, "Syntax error in CREATE TABLE");
            return false;
        }
        nameStart = j;
        table = identName(t[j]);
        j = skip(t, j + 1);
    }
    std::string tableText = t[nameStart].t == Tok::Word ? table : t[nameStart].text;
    if (j < t.size() && isWord(t, j, "as")) {
        // The columns are those of the SELECT with their types: declared once it can be described.
        out.kind = Rewritten::Kind::CreateTableAs;
        out.table = table;
        out.name = tableText;
        out.sql = rewriteGeneral(c, std::vector<Tok>(t.begin() + long(j) + 1, t.end()));
        return true;
    }
    if (j >= t.size() || t[j].text != "(") {
        f = makeFault("42000", native::kSyntax, "Syntax error in CREATE TABLE: '(' expected");
        return false;
    }
    // Split the element list at top-level commas.
    std::vector<std::pair<size_t, size_t>> elems;
    int depth = 0;
    size_t start = j + 1, k = j + 1;
    for (; k < t.size(); ++k) {
        if (t[k].text == "(")
            ++depth;
        else if (t[k].text == ")") {
            if (depth == 0) break;
            --depth;
        } else if (t[k].text == "," && depth == 0) {
            elems.emplace_back(start, k);
            start = k + 1;
        }
    }
    if (k >= t.size()) {
        f = makeFault("42000", native::kSyntax, "Syntax error in CREATE TABLE: ')' expected");
        return false;
    }
    elems.emplace_back(start, k);
    std::string body;
    std::vector<std::pair<std::string, std::string>> dated;  // date/time columns and their types
    for (auto [b, e] : elems) {
        size_t p = skip(t, b);
        if (p >= e) {
            f = makeFault("42000", native::kSyntax, "Syntax error in CREATE TABLE: empty column definition");
            return false;
        }
        std::string first = lower(t[p].text);
        if (!body.empty()) body += ", ";
        if (t[p].t == Tok::Word && (first == "constraint" || first == "primary" || first == "unique" ||
                                    first == "foreign" || first == "check")) {
            body += join(t, p, e);
            continue;
        }
        ColumnDefinition def;
        if (!columnDefinition(c, t, p, e, "CREATE TABLE", def, f)) return false;
        body += def.sql + fitCheck(def.name, def.text, def.type);
        out.declColumns.emplace_back(def.name, def.type.decl);
        if (def.dated) dated.emplace_back(def.text, def.type.decl);
    }
    size_t after = skip(t, k + 1);
    // Ingres storage options (WITH JOURNALING, WITH PAGE_SIZE = n ...) mean nothing here.
    if (after < t.size() && !isWord(t, after, "with")) {
        std::string tail = join(t, after, t.size());
        if (tail.find_first_not_of(" ;") != std::string::npos) {
            f = makeFault("42000", native::kSyntax, "Syntax error in CREATE TABLE near '" + tail + "'");
            return false;
        }
    }
    out.kind = Rewritten::Kind::CreateTable;
    out.table = table;
    out.sql = "CREATE TABLE " + tableText + " (" + body + ")";
    if (!dated.empty()) out.after = dateTriggers(table, tableText, dated);
    return true;
}

// A table's date and time columns as the catalogs know them (SQL names and declared types),
// leaving out the one called `without`.
std::vector<std::pair<std::string, std::string>> datedColumns(Conn& c, const std::string& table,
                                                              const std::string& without) {
    std::vector<std::pair<std::string, std::string>> dated;
    sqlite3_stmt* st = nullptr;
    if (metadataPresent(c.db) &&
        sqlite3_prepare_v2(c.db, "SELECT column_name, ingres_type FROM iiapi_columns WHERE table_name = ? ORDER BY seq",
                           -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW) {
            const char* name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            const char* decl = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
            IngType ty;
            if (!name || !decl || lower(name) == lower(without) || !parseTypeText(decl, ty, c.maxSegment) ||
                !isDateTimeType(ty))
                continue;
            std::string quoted = "\"";
            for (const char* p = name; *p; ++p) quoted += *p == '"' ? std::string("\"\"") : std::string(1, *p);
            dated.emplace_back(quoted + "\"", ty.decl);
        }
    }
    sqlite3_finalize(st);
    return dated;
}

// ALTER TABLE name ADD [COLUMN] definition: the column is declared as CREATE TABLE declares it,
// a date or time column with its collation. ALTER TABLE name DROP [COLUMN] column [RESTRICT |
// CASCADE]: the column goes with its catalog entry. Either way the table's date triggers are made
// anew for the columns it then has. Other changes (constraints, ALTER COLUMN, RENAME) are left to
// the general rewrite (`handled` false).
bool rewriteAlterTable(Conn& c, const std::vector<Tok>& t, size_t i, Rewritten& out, bool& handled, Fault& f) {
    handled = false;
    i = skip(t, i);
    if (i >= t.size() || (t[i].t != Tok::Word && t[i].t != Tok::QuotedId)) return true;
    size_t nameAt = i;
    size_t j = skip(t, i + 1);
    if (j < t.size() && t[j].text == ".") {
        nameAt = skip(t, j + 1);
        if (nameAt >= t.size() || (t[nameAt].t != Tok::Word && t[nameAt].t != Tok::QuotedId)) return true;
        j = skip(t, nameAt + 1);
    }
    const bool add = isWord(t, j, "add");
    if (!add && !isWord(t, j, "drop")) return true;
    size_t k = skip(t, j + 1);
    if (isWord(t, k, "column")) k = skip(t, k + 1);
    if (k >= t.size() || (t[k].t != Tok::Word && t[k].t != Tok::QuotedId)) return true;
    for (const char* w : {"constraint", "primary", "unique", "foreign", "check"})
        if (t[k].t == Tok::Word && isWord(t, k, w)) return true;
    handled = true;
    const std::string table = identName(t[nameAt]);
    const std::string tableText = t[nameAt].t == Tok::Word ? table : t[nameAt].text;
    out.table = table;
    std::vector<std::pair<std::string, std::string>> dated;
    if (add) {
        ColumnDefinition def;
        if (!columnDefinition(c, t, k, t.size(), "ALTER TABLE", def, f)) return false;
        out.kind = Rewritten::Kind::AlterTableAdd;
        out.sql = "ALTER TABLE " + tableText + " ADD COLUMN " + def.sql;
        out.declColumns.emplace_back(def.name, def.type.decl);
        if (!def.dated) return true;
        dated = datedColumns(c, table, def.name);
        dated.emplace_back(def.text, def.type.decl);
    } else {
        const std::string column = identName(t[k]);
        const std::string columnText = t[k].t == Tok::Word ? column : t[k].text;
        size_t end = skip(t, k + 1);
        // The server's RESTRICT and CASCADE: nothing here depends on a column but views, which
        // the store checks itself.
        if (isWord(t, end, "restrict") || isWord(t, end, "cascade")) end = skip(t, end + 1);
        if (end < t.size()) {
            f = makeFault("42000", native::kSyntax,
                          "Syntax error in ALTER TABLE near '" + join(t, end, t.size()) + "'");
            return false;
        }
        out.kind = Rewritten::Kind::AlterTableDrop;
        out.sql = "ALTER TABLE " + tableText + " DROP COLUMN " + columnText;
        out.declColumns.emplace_back(column, std::string());
        dated = datedColumns(c, table, column);
    }
    // The triggers name every date column: they go before the change and come back after it.
    std::vector<std::string> triggers = dateTriggers(table, tableText, dated);
    out.before.assign(triggers.begin(), triggers.begin() + 2);
    out.after.assign(triggers.begin() + 2, triggers.end());
    return true;
}

// The declared types of the columns called `name`: in the tables the statement names when any
// of them has one, else in every table.
std::vector<std::string> declaredTypesOf(Conn& c, const std::string& name) {
    std::vector<std::string> inScope, elsewhere;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c.db, "SELECT table_name, ingres_type FROM iiapi_columns WHERE column_name = ?", -1, &st,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* table = sqlite3_column_text(st, 0);
            const unsigned char* type = sqlite3_column_text(st, 1);
            if (!type) continue;
            const bool named = table && std::find(c.typeScope.begin(), c.typeScope.end(),
                                                  reinterpret_cast<const char*>(table)) != c.typeScope.end();
            (named ? inScope : elsewhere).emplace_back(reinterpret_cast<const char*>(type));
        }
    }
    sqlite3_finalize(st);
    return inScope.empty() ? elsewhere : inScope;
}

// Names of text columns, for telling concatenation from addition.
bool isTextColumnName(Conn& c, const std::string& name) {
    static const char* catalogText[] = {"table_name",     "table_owner",       "table_type",
                                        "system_use",     "column_name",       "column_datatype",
                                        "column_nulls",   "column_defaults",   "column_default_val",
                                        "schema_name",    "constraint_name",   "constraint_type",
                                        "index_name",     "index_owner",       "base_name",
                                        "base_owner",     "unique_rule",       "sort_direction",
                                        "procedure_name", "procedure_owner",   "dbp_name",
                                        "dbp_owner",      "pp_name",           "defvalue",
                                        "param_name",     "object_name",       "object_owner",
                                        "object_type",    "permit_grantor",    "permit_user",
                                        "text_segment",   "storage_structure", nullptr};
    for (const char** n = catalogText; *n; ++n)
        if (name == *n) return true;
    for (const std::string& d : declaredTypesOf(c, name)) {
        IngType ty;
        if (parseTypeText(d, ty, c.maxSegment) &&
            (ty.type == IIAPI_CHA_TYPE || ty.type == IIAPI_CHR_TYPE || ty.type == IIAPI_VCH_TYPE ||
             ty.type == IIAPI_TXT_TYPE || ty.type == IIAPI_LVCH_TYPE || ty.type == IIAPI_NCHA_TYPE ||
             ty.type == IIAPI_NVCH_TYPE || ty.type == IIAPI_LNVCH_TYPE))
            return true;
    }
    return false;
}

bool isTextFunction(const std::string& fn) {
    static const char* names[] = {"varchar",   "char",      "text",      "c",           "nvarchar",   "nchar",
                                  "uppercase", "lowercase", "upper",     "lower",       "squeeze",    "trim",
                                  "left",      "right",     "concat",    "charextract", "iitypename", "dbmsinfo",
                                  "shift",     "pad",       "substring", "substr",      "ifnull",     nullptr};
    for (const char** n = names; *n; ++n)
        if (fn == *n) return true;
    return false;
}

// Index of the previous / next non-space token, or npos.
size_t prevSig(const std::vector<Tok>& t, size_t i) {
    while (i > 0) {
        --i;
        if (t[i].t != Tok::Space) return i;
    }
    return std::string::npos;
}

// Whether the operand that ends at token i (left of a '+') is text.
bool leftIsText(Conn& c, const std::vector<Tok>& t, size_t i) {
    if (i == std::string::npos) return false;
    if (t[i].t == Tok::String) return true;
    if (t[i].text == ")") {
        int depth = 0;
        for (size_t k = i + 1; k-- > 0;) {
            if (t[k].text == ")")
                ++depth;
            else if (t[k].text == "(" && --depth == 0) {
                size_t f = prevSig(t, k);
                return f != std::string::npos && t[f].t == Tok::Word && isTextFunction(lower(t[f].text));
            }
        }
        return false;
    }
    if (t[i].t == Tok::Word || t[i].t == Tok::QuotedId) return isTextColumnName(c, identName(t[i]));
    return false;
}

bool rightIsText(Conn& c, const std::vector<Tok>& t, size_t i) {
    i = skip(t, i);
    if (i >= t.size()) return false;
    if (t[i].t == Tok::String) return true;
    if (t[i].t != Tok::Word && t[i].t != Tok::QuotedId) return false;
    size_t n = skip(t, i + 1);
    if (n < t.size() && t[n].text == "(") return t[i].t == Tok::Word && isTextFunction(lower(t[i].text));
    // Qualified name: the column is the last part.
    while (n < t.size() && t[n].text == ".") {
        size_t m = skip(t, n + 1);
        if (m >= t.size()) return false;
        i = m;
        n = skip(t, m + 1);
    }
    return isTextColumnName(c, identName(t[i]));
}

bool isClauseWord(const std::vector<Tok>& t, size_t i) {
    static const char* words[] = {"where",  "group", "order",  "having",    "union",  "on",    "set",
                                  "values", "limit", "select", "intersect", "except", "using", "natural",
                                  "left",   "right", "inner",  "full",      "cross",  "for",   nullptr};
    if (i >= t.size() || t[i].t != Tok::Word) return false;
    std::string w = lower(t[i].text);
    for (const char** n = words; *n; ++n)
        if (w == *n) return true;
    return false;
}

std::string rewriteGeneral(Conn& c, std::vector<Tok> t);
bool columnTypeByName(Conn& c, const std::string& name, IngType& out);

bool isDateTimeType(const IngType& t) {
    switch (t.type) {
        case IIAPI_DATE_TYPE:
        case IIAPI_ADATE_TYPE:
        case IIAPI_TMWO_TYPE:
        case IIAPI_TMTZ_TYPE:
        case IIAPI_TIME_TYPE:
        case IIAPI_TSWO_TYPE:
        case IIAPI_TSTZ_TYPE:
        case IIAPI_TS_TYPE:
        case IIAPI_INTYM_TYPE:
        case IIAPI_INTDS_TYPE:
            return true;
        default:
            return false;
    }
}

bool isComparison(const Tok& k) {
    return k.t == Tok::Punct && (k.text == "=" || k.text == "<" || k.text == ">" || k.text == "<=" || k.text == ">=" ||
                                 k.text == "<>" || k.text == "!=");
}

// The type a literal compared with a column of type t is read as: the column's kind with every
// fraction digit, so that the literal is taken at its value, not cut to the column's precision.
std::string comparandDecl(const IngType& t) {
    switch (t.type) {
        case IIAPI_TMWO_TYPE:
            return "time(9)";
        case IIAPI_TMTZ_TYPE:
            return "time(9) with time zone";
        case IIAPI_TIME_TYPE:
            return "time(9) with local time zone";
        case IIAPI_TSWO_TYPE:
            return "timestamp(9)";
        case IIAPI_TSTZ_TYPE:
            return "timestamp(9) with time zone";
        case IIAPI_TS_TYPE:
            return "timestamp(9) with local time zone";
        default:
            return t.decl;
    }
}

// The type of the date/time column that the string literal at i is compared with (col op 'x',
// 'x' op col, col BETWEEN 'x' AND 'y'): the literal is then read as a value of the column's kind
// (a text that is no such value is the server's error).
bool comparedDateColumn(Conn& c, const std::vector<Tok>& t, size_t i, std::string& decl) {
    auto named = [&](size_t k) {
        IngType ty;
        if (k == std::string::npos || k >= t.size() || (t[k].t != Tok::Word && t[k].t != Tok::QuotedId)) return false;
        if (!columnTypeByName(c, identName(t[k]), ty) || !isDateTimeType(ty)) return false;
        decl = comparandDecl(ty);
        return true;
    };
    size_t p = prevSig(t, i);
    if (p == std::string::npos) return false;
    if (isComparison(t[p])) return named(prevSig(t, p));
    if (isWord(t, p, "between")) return named(prevSig(t, p));
    if (isWord(t, p, "and")) {
        size_t lo = prevSig(t, p);
        size_t bw = lo == std::string::npos ? lo : prevSig(t, lo);
        if (lo != std::string::npos && t[lo].t == Tok::String && bw != std::string::npos && isWord(t, bw, "between"))
            return named(prevSig(t, bw));
        return false;
    }
    size_t n = skip(t, i + 1);
    if (n >= t.size() || !isComparison(t[n])) return false;
    size_t m = skip(t, n + 1);
    // alias.column: the column is the last part.
    while (m < t.size() && skip(t, m + 1) < t.size() && t[skip(t, m + 1)].text == ".") m = skip(t, skip(t, m + 1) + 1);
    if (m < t.size() && skip(t, m + 1) < t.size() && t[skip(t, m + 1)].text == "(") return false;
    return named(m);
}

// CAST(expr AS type) and the typed literals DATE '...', TIME '...', TIMESTAMP '...' starting at
// token i: the engine's typed conversion (SQLite's CAST knows only affinities). last is the
// final token used.
bool typedValue(Conn& c, const std::vector<Tok>& t, size_t i, std::string& out, size_t& last) {
    std::string w = lower(t[i].text);
    size_t n = skip(t, i + 1);
    if (n >= t.size()) return false;
    if ((w == "date" || w == "time" || w == "timestamp") && t[n].t == Tok::String) {
        std::string lit = t[n].text;
        std::string decl = w == "date" ? "ansidate" : w;
        if (w != "date") {
            // The literal's own fraction digits are its precision.
            size_t dot = lit.rfind('.');
            size_t digits = 0;
            if (dot != std::string::npos)
                while (dot + 1 + digits < lit.size() && std::isdigit(static_cast<unsigned char>(lit[dot + 1 + digits])))
                    ++digits;
            decl += "(" + std::to_string(std::min<size_t>(digits, 9)) + ")";
        }
        out = "ii_cast(" + lit + ", '" + decl + "')";
        last = n;
        return true;
    }
    if (w != "cast" || t[n].text != "(") return false;
    int depth = 0;
    size_t as = std::string::npos, close = std::string::npos;
    for (size_t k = n; k < t.size(); ++k) {
        if (t[k].text == "(")
            ++depth;
        else if (t[k].text == ")" && --depth == 0) {
            close = k;
            break;
        } else if (depth == 1 && isWord(t, k, "as")) {
            as = k;
        }
    }
    if (as == std::string::npos || close == std::string::npos) return false;
    std::string decl;
    for (size_t k = as + 1; k < close; ++k) {
        if (t[k].t == Tok::Space) {
            if (!decl.empty() && decl.back() != ' ') decl += ' ';
            continue;
        }
        if (t[k].t == Tok::String || t[k].t == Tok::QuotedId) return false;
        decl += lower(t[k].text);
    }
    while (!decl.empty() && decl.back() == ' ') decl.pop_back();
    while (!decl.empty() && decl.front() == ' ') decl.erase(decl.begin());
    if (decl == "int" || decl == "integer" || decl == "int4" || decl == "integer4")
        decl = "integer";
    else if (decl == "smallint" || decl == "int2")
        decl = "smallint";
    else if (decl == "tinyint" || decl == "int1")
        decl = "integer1";
    else if (decl == "bigint" || decl == "int8")
        decl = "bigint";
    else if (decl == "real" || decl == "float4")
        decl = "float4";
    else if (decl == "double" || decl == "double precision" || decl == "float8")
        decl = "float";
    IngType ty;
    if (decl.empty() || !parseTypeText(decl, ty, c.maxSegment)) return false;
    std::vector<Tok> expr(t.begin() + long(n + 1), t.begin() + long(as));
    out = "ii_cast(" + rewriteGeneral(c, expr) + ", '" + ty.decl + "')";
    last = close;
    return true;
}

bool typeOperand(Conn& c, const std::vector<Tok>& o, IngType& t);

// Index of the token that opens the bracket closed at i (or npos).
size_t openingOf(const std::vector<Tok>& t, size_t i) {
    int depth = 0;
    for (size_t k = i + 1; k-- > 0;) {
        if (t[k].text == ")") ++depth;
        if (t[k].text == "(" && --depth == 0) return k;
    }
    return std::string::npos;
}

size_t closingOf(const std::vector<Tok>& t, size_t i) {
    int depth = 0;
    for (size_t k = i; k < t.size(); ++k) {
        if (t[k].text == "(") ++depth;
        if (t[k].text == ")" && --depth == 0) return k;
    }
    return std::string::npos;
}

bool isNameTok(const Tok& k) { return k.t == Tok::Word || k.t == Tok::QuotedId; }

// The first token of the primary (literal, name, call or bracket) that ends at token i.
size_t primaryStart(const std::vector<Tok>& t, size_t i) {
    if (i == std::string::npos) return i;
    if (t[i].text == ")") {
        const size_t open = openingOf(t, i);
        if (open == std::string::npos) return open;
        const size_t fn = prevSig(t, open);
        return fn != std::string::npos && t[fn].t == Tok::Word && !isClauseWord(t, fn) && !isWord(t, fn, "and") &&
                       !isWord(t, fn, "or") && !isWord(t, fn, "not")
                   ? fn
                   : open;
    }
    if (t[i].t == Tok::Number || t[i].t == Tok::String || t[i].t == Tok::Param) return i;
    if (!isNameTok(t[i])) return std::string::npos;
    // owner.table.column
    size_t at = i;
    for (size_t dot = prevSig(t, at); dot != std::string::npos && t[dot].text == ".";) {
        const size_t name = prevSig(t, dot);
        if (name == std::string::npos || !isNameTok(t[name])) break;
        at = name;
        dot = prevSig(t, at);
    }
    return at;
}

// The last token of the primary that starts at the first non-blank token from i.
size_t primaryEnd(const std::vector<Tok>& t, size_t i) {
    i = skip(t, i);
    if (i >= t.size()) return std::string::npos;
    if (t[i].text == "(") return closingOf(t, i);
    if (t[i].t == Tok::Number || t[i].t == Tok::String || t[i].t == Tok::Param) return i;
    if (!isNameTok(t[i])) return std::string::npos;
    size_t at = i;
    for (size_t n = skip(t, at + 1); n < t.size();) {
        if (t[n].text == "(" && t[at].t == Tok::Word && at == i) return closingOf(t, n);
        if (t[n].text != ".") break;
        const size_t name = skip(t, n + 1);
        if (name >= t.size() || !isNameTok(t[name])) break;
        at = name;
        n = skip(t, at + 1);
    }
    return at;
}

std::vector<Tok> significant(const std::vector<Tok>& t, size_t b, size_t e) {
    std::vector<Tok> out;
    for (size_t k = b; k <= e; ++k)
        if (t[k].t != Tok::Space) out.push_back(t[k]);
    return out;
}

IngType numericResult(const IngType& a, const std::string& op, const IngType& b);

// Ingres divides decimals as decimals: DECIMAL(p1,s1) / DECIMAL(p2,s2) is DECIMAL(31, 31 - p1 +
// s1 - s2), an integer operand counting as a decimal of its digits. SQLite would divide the
// integers a decimal column stores (1600.00 / 3 gives 533): such a division becomes
// ii_decdiv(dividend, divisor, scale), which divides the numbers and whose type the describe
// reads from its scale.
std::vector<Tok> rewriteDecimalDivision(Conn& c, std::vector<Tok> t) {
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].t != Tok::Punct || t[i].text != "/") continue;
        // The dividend: primaries joined by '*' and '/' (left-associative), back from the '/'.
        size_t ls = primaryStart(t, prevSig(t, i));
        while (ls != std::string::npos) {
            const size_t op = prevSig(t, ls);
            if (op == std::string::npos || t[op].t != Tok::Punct || (t[op].text != "*" && t[op].text != "/")) break;
            const size_t more = primaryStart(t, prevSig(t, op));
            if (more == std::string::npos) break;
            ls = more;
        }
        const size_t re = primaryEnd(t, i + 1);
        if (ls == std::string::npos || re == std::string::npos) continue;
        const std::vector<Tok> left = significant(t, ls, i - 1), right = significant(t, i + 1, re);
        IngType lt, rt;
        if (left.empty() || right.empty() || !typeOperand(c, left, lt) || !typeOperand(c, right, rt)) continue;
        auto numeric = [](const IngType& x) { return x.type == IIAPI_DEC_TYPE || x.type == IIAPI_INT_TYPE; };
        if (!numeric(lt) || !numeric(rt) || (lt.type != IIAPI_DEC_TYPE && rt.type != IIAPI_DEC_TYPE)) continue;
        const int scale = numericResult(lt, "/", rt).scale;
        std::vector<Tok> call = {{Tok::Word, "ii_decdiv"}, {Tok::Punct, "("}};
        call.insert(call.end(), t.begin() + long(ls), t.begin() + long(i));
        call.push_back({Tok::Punct, ","});
        call.insert(call.end(), t.begin() + long(i + 1), t.begin() + long(re + 1));
        call.insert(call.end(), {{Tok::Punct, ","}, {Tok::Number, std::to_string(scale)}, {Tok::Punct, ")"}});
        const size_t resume = ls + 2 + (i - ls) + 1;  // at the divisor, which may hold divisions of its own
        t.erase(t.begin() + long(ls), t.begin() + long(re + 1));
        t.insert(t.begin() + long(ls), call.begin(), call.end());
        i = resume - 1;
    }
    return t;
}

// SQLite answers NULL to a division or remainder by zero; the server fails the statement. The
// divisor of every '/' and '%' left goes through ii_nonzero, which passes any other value on.
std::vector<Tok> guardDivisors(std::vector<Tok> t) {
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].t != Tok::Punct || (t[i].text != "/" && t[i].text != "%")) continue;
        size_t b = skip(t, i + 1);
        // A sign stays in front: a / -b divides by -(b).
        if (b < t.size() && t[b].t == Tok::Punct && (t[b].text == "-" || t[b].text == "+")) b = skip(t, b + 1);
        // CASE ... END and typed literals (DATE '...') are left as SQLite gives them.
        if (b >= t.size() || isWord(t, b, kNonzeroGuard) || isWord(t, b, "case") ||
            (isNameTok(t[b]) && skip(t, b + 1) < t.size() && t[skip(t, b + 1)].t == Tok::String))
            continue;
        const size_t e = primaryEnd(t, b);
        if (e == std::string::npos) continue;
        t.insert(t.begin() + long(e + 1), {Tok::Punct, ")"});
        t.insert(t.begin() + long(b), {{Tok::Word, kNonzeroGuard}, {Tok::Punct, "("}});
    }
    return t;
}

// General rewrites of a statement SQLite runs: Ingres spellings that SQLite reads otherwise.
std::string rewriteGeneral(Conn& c, std::vector<Tok> t) {
    t = guardDivisors(rewriteDecimalDivision(c, std::move(t)));
    // Parenthesised members of a UNION lose their parentheses.
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].text != "(") continue;
        size_t p = prevSig(t, i);
        bool head = p == std::string::npos || isWord(t, p, "union") || isWord(t, p, "all") ||
                    isWord(t, p, "intersect") || isWord(t, p, "except");
        if (!head || !isWord(t, skip(t, i + 1), "select")) continue;
        int depth = 0;
        size_t close = std::string::npos;
        for (size_t k = i; k < t.size(); ++k) {
            if (t[k].text == "(")
                ++depth;
            else if (t[k].text == ")" && --depth == 0) {
                close = k;
                break;
            }
        }
        if (close == std::string::npos) continue;
        size_t after = skip(t, close + 1);
        if (after < t.size() && !isWord(t, after, "union") && !isWord(t, after, "order") &&
            !isWord(t, after, "intersect") && !isWord(t, after, "except") && !isWord(t, after, "limit"))
            continue;
        t[i] = {Tok::Space, " "};
        t[close] = {Tok::Space, " "};
    }
    // A trailing FOR UPDATE [OF ...] / FOR READONLY / FOR READ ONLY of a SELECT.
    {
        int depth = 0;
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i].text == "(")
                ++depth;
            else if (t[i].text == ")")
                --depth;
            else if (depth == 0 && isWord(t, i, "for")) {
                size_t n = skip(t, i + 1);
                if (isWord(t, n, "update") || isWord(t, n, "readonly") || isWord(t, n, "read") ||
                    isWord(t, n, "direct") || isWord(t, n, "deferred")) {
                    t.resize(i);
                    break;
                }
            }
        }
    }
    std::vector<Tok> o;
    o.reserve(t.size());
    std::vector<bool> fromCtx(1, false);
    bool afterTableKeyword = false;
    for (size_t i = 0; i < t.size(); ++i) {
        const Tok& k = t[i];
        if (k.t == Tok::Space) {
            o.push_back(k);
            continue;
        }
        if (k.text == "(") {
            fromCtx.push_back(false);
            o.push_back(k);
            afterTableKeyword = false;
            continue;
        }
        if (k.text == ")") {
            if (fromCtx.size() > 1) fromCtx.pop_back();
            o.push_back(k);
            afterTableKeyword = false;
            continue;
        }
        if (k.t == Tok::Word) {
            std::string w = lower(k.text);
            if (w == "from" || w == "join" || w == "into" || w == "update" || w == "table") {
                if (w == "from" || w == "join") fromCtx.back() = true;
                afterTableKeyword = true;
                o.push_back(k);
                continue;
            }
            if (isClauseWord(t, i)) fromCtx.back() = false;
        }
        if (k.text == "," && fromCtx.back()) {
            afterTableKeyword = true;
            o.push_back(k);
            continue;
        }
        if (k.t == Tok::Word) {
            std::string typed;
            size_t last = 0;
            if (typedValue(c, t, i, typed, last)) {
                o.push_back({Tok::Space, typed});
                i = last;
                afterTableKeyword = false;
                continue;
            }
        }
        // Names: owner.table in table positions, owner.table.column anywhere.
        if (k.t == Tok::Word || k.t == Tok::QuotedId) {
            size_t d1 = skip(t, i + 1);
            bool dotted = d1 < t.size() && t[d1].text == ".";
            size_t n1 = dotted ? skip(t, d1 + 1) : std::string::npos;
            bool second = dotted && n1 < t.size() && (t[n1].t == Tok::Word || t[n1].t == Tok::QuotedId);
            size_t d2 = second ? skip(t, n1 + 1) : std::string::npos;
            bool third = second && d2 < t.size() && t[d2].text == "." && skip(t, d2 + 1) < t.size() &&
                         (t[skip(t, d2 + 1)].t == Tok::Word || t[skip(t, d2 + 1)].t == Tok::QuotedId);
            std::string w = lower(k.text);
            bool schemaName = w == "main" || w == "temp";
            if (second && !schemaName && (afterTableKeyword || third)) {
                // Drop "owner." and go on with the table name.
                afterTableKeyword = false;
                i = n1 - 1;
                continue;
            }
            afterTableKeyword = false;
            // LEFT and RIGHT are join keywords to SQLite; as functions they get other names.
            if (k.t == Tok::Word && (w == "left" || w == "right")) {
                size_t n = skip(t, i + 1);
                if (n < t.size() && t[n].text == "(") {
                    o.push_back({Tok::Word, "ii_" + w});
                    continue;
                }
            }
            // The tuple id is the row id.
            if (k.t == Tok::Word && w == "tid") {
                size_t n = skip(t, i + 1);
                if (n >= t.size() || t[n].text != "(") {
                    o.push_back({Tok::Word, "rowid"});
                    continue;
                }
            }
            // SELECT FIRST n ... becomes SELECT ... LIMIT n (at the end of that SELECT).
            if (w == "select") {
                size_t n = skip(t, i + 1);
                if (isWord(t, n, "first")) {
                    size_t v = skip(t, n + 1);
                    if (v < t.size() && t[v].t == Tok::Number) {
                        int depth = 0;
                        size_t end = t.size();
                        for (size_t k2 = v + 1; k2 < t.size(); ++k2) {
                            if (t[k2].text == "(")
                                ++depth;
                            else if (t[k2].text == ")") {
                                if (depth == 0) {
                                    end = k2;
                                    break;
                                }
                                --depth;
                            } else if (depth == 0 && (isWord(t, k2, "union") || isWord(t, k2, "intersect") ||
                                                      isWord(t, k2, "except"))) {
                                end = k2;
                                break;
                            }
                        }
                        std::vector<Tok> body(t.begin() + long(v + 1), t.begin() + long(end));
                        std::string inner = rewriteGeneral(c, body);
                        o.push_back(k);
                        o.push_back({Tok::Space, inner + " LIMIT " + t[v].text + " "});
                        i = end - 1;
                        continue;
                    }
                }
            }
            o.push_back(k);
            continue;
        }
        afterTableKeyword = false;
        if (k.t == Tok::String) {
            std::string decl;
            if (comparedDateColumn(c, t, i, decl)) {
                o.push_back({Tok::Space, "ii_cast(" + k.text + ", '" + decl + "')"});
                continue;
            }
        }
        if (k.text == "+") {
            // Text operands make "+" a concatenation.
            size_t p = prevSig(t, i);
            if (leftIsText(c, t, p) || rightIsText(c, t, i + 1)) {
                o.push_back({Tok::Punct, "||"});
                continue;
            }
        }
        o.push_back(k);
    }
    return join(o, 0, o.size());
}

// Older servers refuse an ORDER BY column that the select list lacks; the engine can do the same.
bool checkOrderBy(const std::vector<Tok>& t, Fault& f) {
    size_t i = skip(t, 0);
    while (i < t.size() && t[i].text == "(") i = skip(t, i + 1);
    if (!isWord(t, i, "select")) return true;
    // The first SELECT's list, and the top-level ORDER BY.
    std::vector<std::vector<Tok>> items;
    std::vector<Tok> cur;
    int depth = 0;
    size_t k = skip(t, i + 1);
    if (isWord(t, k, "distinct") || isWord(t, k, "all")) k = skip(t, k + 1);
    if (isWord(t, k, "first")) k = skip(t, skip(t, k + 1) + 1);
    for (; k < t.size(); ++k) {
        if (t[k].text == "(") ++depth;
        if (t[k].text == ")") --depth;
        if (depth == 0 && isWord(t, k, "from")) break;
        if (depth == 0 && t[k].text == ",") {
            items.push_back(cur);
            cur.clear();
            continue;
        }
        if (t[k].t != Tok::Space) cur.push_back(t[k]);
    }
    if (!cur.empty()) items.push_back(cur);
    size_t order = std::string::npos;
    depth = 0;
    for (size_t m = k; m < t.size(); ++m) {
        if (t[m].text == "(") ++depth;
        if (t[m].text == ")") --depth;
        if (depth == 0 && isWord(t, m, "order") && isWord(t, skip(t, m + 1), "by")) order = skip(t, m + 1) + 1;
    }
    if (order == std::string::npos) return true;
    std::vector<std::string> present;
    for (auto& it : items) {
        if (it.size() == 1 && it[0].text == "*") return true;
        if (it.size() >= 2 && it.back().text == "*") return true;
        // The item's own name and its alias both count.
        if (it.back().t == Tok::Word || it.back().t == Tok::QuotedId) present.push_back(identName(it.back()));
        for (size_t q = 0; q + 1 < it.size(); ++q)
            if (it[q + 1].text == "." || it.size() == 1) present.push_back(identName(it[q]));
        if (it[0].t == Tok::Word || it[0].t == Tok::QuotedId) present.push_back(identName(it[0]));
    }
    // ORDER BY items: name [. name] [ASC|DESC], separated by commas.
    std::vector<Tok> item;
    auto checkItem = [&](const std::vector<Tok>& x) {
        if (x.empty() || x[0].t == Tok::Number) return true;
        size_t n = x.size();
        while (n > 0 && x[n - 1].t == Tok::Word && (lower(x[n - 1].text) == "asc" || lower(x[n - 1].text) == "desc"))
            --n;
        if (n == 0 || (x[n - 1].t != Tok::Word && x[n - 1].t != Tok::QuotedId)) return true;
        if (n > 1 && x[n - 2].text != ".") return true;  // an expression: left to the store
        std::string col = identName(x[n - 1]);
        for (auto& p : present)
            if (p == col) return true;
        f = makeFault("42501", native::kOrderBy,
                      "ORDER BY column '" + col + "' must appear in the select list of this query");
        return false;
    };
    depth = 0;
    for (size_t m = order; m < t.size(); ++m) {
        if (t[m].text == "(") ++depth;
        if (t[m].text == ")") --depth;
        if (depth == 0 && t[m].text == ",") {
            if (!checkItem(item)) return false;
            item.clear();
            continue;
        }
        if (depth == 0 && (isWord(t, m, "limit") || isWord(t, m, "for"))) break;
        if (t[m].t != Tok::Space) item.push_back(t[m]);
    }
    return checkItem(item);
}

bool isAggregateName(const std::string& w) {
    return w == "count" || w == "sum" || w == "avg" || w == "min" || w == "max";
}

// A word that ends the FROM item of a cursor's table, or joins another table to it.
bool endsTableItem(const std::vector<Tok>& t, size_t i) {
    return isClauseWord(t, i) || isWord(t, i, "join") || isWord(t, i, "outer") || isWord(t, i, "offset");
}

// What a cursor over the SELECT at t[sel] lets positioned changes do. fromAt is the top-level
// FROM and qualAt the token that names the table's rows (its correlation name or the table).
void analyseCursorSelect(const std::vector<Tok>& t, size_t sel, CursorShape& sh, size_t& fromAt, size_t& qualAt) {
    constexpr size_t npos = std::string::npos;
    sh = CursorShape{};
    fromAt = qualAt = npos;
    auto refuse = [&](const char* why) {
        if (sh.why.empty()) sh.why = why;
    };
    size_t k = skip(t, sel + 1);
    if (isWord(t, k, "distinct")) refuse("its SELECT is DISTINCT");
    int depth = 0;
    std::vector<int> subqueries;  // depths at which a nested SELECT opened
    for (; k < t.size(); ++k) {
        if (t[k].text == "(") {
            ++depth;
            if (isWord(t, skip(t, k + 1), "select")) subqueries.push_back(depth);
            continue;
        }
        if (t[k].text == ")") {
            if (!subqueries.empty() && subqueries.back() == depth) subqueries.pop_back();
            --depth;
            continue;
        }
        if (depth == 0 && isWord(t, k, "from")) break;
        size_t n = skip(t, k + 1);
        if (subqueries.empty() && t[k].t == Tok::Word && isAggregateName(lower(t[k].text)) && n < t.size() &&
            t[n].text == "(")
            refuse("its SELECT has an aggregate");
    }
    if (k >= t.size()) {
        refuse("its SELECT reads no table");
    } else {
        fromAt = k;
        size_t name = skip(t, k + 1);
        auto isName = [&](size_t x) { return x < t.size() && (t[x].t == Tok::Word || t[x].t == Tok::QuotedId); };
        if (!isName(name) || endsTableItem(t, name)) {
            refuse("its SELECT reads no base table");
        } else {
            size_t after = skip(t, name + 1);
            if (after < t.size() && t[after].text == ".") {
                name = skip(t, after + 1);
                after = skip(t, name + 1);
            }
            if (!isName(name)) {
                refuse("its SELECT reads no base table");
            } else {
                sh.table = identName(t[name]);
                qualAt = name;
                if (isWord(t, after, "as")) after = skip(t, after + 1);
                if (isName(after) && !endsTableItem(t, after)) {
                    qualAt = after;
                    after = skip(t, after + 1);
                }
                if (after < t.size() &&
                    (t[after].text == "," || isWord(t, after, "join") || isWord(t, after, "inner") ||
                     isWord(t, after, "left") || isWord(t, after, "right") || isWord(t, after, "full") ||
                     isWord(t, after, "cross") || isWord(t, after, "natural")))
                    refuse("its SELECT joins tables");
                else if (after < t.size() && !endsTableItem(t, after))
                    refuse("its SELECT reads no base table");
            }
        }
    }
    depth = 0;
    for (size_t m = fromAt == npos ? t.size() : fromAt + 1; m < t.size(); ++m) {
        if (t[m].text == "(") ++depth;
        if (t[m].text == ")") --depth;
        if (depth != 0 || t[m].t != Tok::Word) continue;
        if (isWord(t, m, "group") || isWord(t, m, "having")) refuse("its SELECT groups rows");
        if (isWord(t, m, "union") || isWord(t, m, "intersect") || isWord(t, m, "except"))
            refuse("its SELECT is a UNION");
        if (!isWord(t, m, "for")) continue;
        size_t n = skip(t, m + 1);
        if (isWord(t, n, "readonly") || (isWord(t, n, "read") && isWord(t, skip(t, n + 1), "only"))) {
            sh.readOnly = true;
            break;
        }
        if (isWord(t, n, "deferred") || isWord(t, n, "direct")) n = skip(t, n + 1);
        if (!isWord(t, n, "update")) continue;
        sh.forUpdate = true;
        size_t o = skip(t, n + 1);
        if (isWord(t, o, "of"))
            for (size_t q = skip(t, o + 1); q < t.size(); q = skip(t, q + 1)) {
                if (t[q].t == Tok::Word || t[q].t == Tok::QuotedId)
                    sh.updateColumns.push_back(identName(t[q]));
                else if (t[q].text == "." && !sh.updateColumns.empty())
                    sh.updateColumns.pop_back();  // a qualifier: the column follows
                else if (t[q].text != ",")
                    break;
            }
        break;
    }
    sh.positionable = sh.why.empty();
}

// UPDATE t SET ... / DELETE FROM t, then WHERE CURRENT OF cursor as the end of the statement.
// Returns false with f on a malformed one; found tells whether the statement is one.
bool rewritePositioned(Conn& c, const std::vector<Tok>& t, size_t i, Rewritten& out, bool& found, Fault& f) {
    found = false;
    const bool del = isWord(t, i, "delete");
    int depth = 0;
    size_t where = std::string::npos;
    for (size_t k = i; k < t.size(); ++k) {
        if (t[k].text == "(") ++depth;
        if (t[k].text == ")") --depth;
        // A column may be called "current": only CURRENT OF makes the statement positioned.
        if (depth == 0 && isWord(t, k, "where") && isWord(t, skip(t, k + 1), "current") &&
            isWord(t, skip(t, skip(t, k + 1) + 1), "of")) {
            where = k;
            break;
        }
    }
    if (where == std::string::npos) return true;
    found = true;
    auto syntax = [&](const std::string& what) {
        f = makeFault("42000", native::kSyntax,
                      "Syntax error in " + std::string(del ? "DELETE" : "UPDATE") + " ... WHERE CURRENT OF: " + what);
        return false;
    };
    auto isName = [&](size_t x) { return x < t.size() && (t[x].t == Tok::Word || t[x].t == Tok::QuotedId); };
    size_t of = skip(t, skip(t, where + 1) + 1);
    size_t cursor = skip(t, of + 1);
    if (!isName(cursor)) return syntax("cursor name expected");
    if (skip(t, cursor + 1) < t.size()) return syntax("the cursor name ends the statement");
    PositionedChange& pc = out.positioned;
    pc = PositionedChange{};
    pc.present = true;
    pc.isDelete = del;
    pc.cursor = t[cursor].t == Tok::QuotedId ? identName(t[cursor]) : t[cursor].text;
    size_t name = skip(t, i + 1);
    if (del) {
        if (!isWord(t, name, "from")) return syntax("FROM expected");
        name = skip(t, name + 1);
    }
    if (!isName(name)) return syntax("table name expected");
    size_t after = skip(t, name + 1);
    if (after < t.size() && t[after].text == ".") {
        name = skip(t, after + 1);
        if (!isName(name)) return syntax("table name expected");
        after = skip(t, name + 1);
    }
    pc.table = identName(t[name]);
    if (del) {
        if (after != where) return syntax("WHERE CURRENT OF expected after the table");
    } else {
        if (!isWord(t, after, "set")) return syntax("SET expected after the table");
        for (size_t q = skip(t, after + 1); q < where;) {
            size_t eq = q;
            while (eq < where && t[eq].text != "=") ++eq;
            size_t col = prevSig(t, eq);
            if (eq >= where || col == std::string::npos || col < q || !isName(col))
                return syntax("column = value expected");
            pc.setColumns.push_back(identName(t[col]));
            int d = 0;
            size_t e = eq + 1;
            for (; e < where; ++e) {
                if (t[e].text == "(") ++d;
                if (t[e].text == ")") --d;
                if (d == 0 && t[e].text == ",") break;
            }
            q = e < where ? skip(t, e + 1) : where;
        }
        if (pc.setColumns.empty()) return syntax("column = value expected");
    }
    std::vector<Tok> body(t.begin(), t.begin() + long(where));
    for (Tok k : {Tok{Tok::Word, "WHERE"}, Tok{Tok::Space, " "}, Tok{Tok::Word, "rowid"}, Tok{Tok::Space, " "},
                  Tok{Tok::Punct, "="}, Tok{Tok::Space, " "}, Tok{Tok::Param, "?"}})
        body.push_back(k);
    out.kind = Rewritten::Kind::Positioned;
    out.sql = rewriteGeneral(c, body);
    return true;
}

}  // namespace

namespace {

// The tables a statement names after FROM, JOIN, UPDATE and INTO and in a FROM list (an alias
// may come along; it names no table and finds nothing).
std::vector<std::string> statementTables(const std::vector<Tok>& t) {
    std::vector<std::string> out;
    auto takeName = [&](size_t i) {
        size_t j = skip(t, i + 1);
        if (j >= t.size() || (t[j].t != Tok::Word && t[j].t != Tok::QuotedId)) return;
        std::string name = identName(t[j]);
        // owner.table: the table is the last part.
        for (size_t n = skip(t, j + 1); n < t.size() && t[n].text == ".";) {
            size_t m = skip(t, n + 1);
            if (m >= t.size() || (t[m].t != Tok::Word && t[m].t != Tok::QuotedId)) break;
            name = identName(t[m]);
            n = skip(t, m + 1);
        }
        out.push_back(lower(name));
    };
    bool inFrom = false;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].t == Tok::Word) {
            const std::string w = lower(t[i].text);
            if (w == "from" || w == "join" || w == "update" || w == "into") {
                takeName(i);
                inFrom = w == "from" || w == "join";
            } else if (isClauseWord(t, i)) {
                inFrom = false;
            }
        } else if (inFrom && t[i].text == ",") {
            takeName(i);
        }
    }
    return out;
}

struct TypeScope {
    Conn& c;
    std::vector<std::string> saved;
    TypeScope(Conn& conn, std::vector<std::string> tables) : c(conn), saved(std::move(conn.typeScope)) {
        c.typeScope = std::move(tables);
    }
    ~TypeScope() { c.typeScope = std::move(saved); }
};

}  // namespace

bool rewriteStatement(Conn& c, std::string_view text, Rewritten& out, Fault& f) {
    std::vector<Tok> t;
    if (!tokenize(text, t, f)) return false;
    TypeScope scope(c, statementTables(t));
    // Trailing semicolons and blanks are not part of the statement.
    while (!t.empty() && (t.back().t == Tok::Space || t.back().text == ";")) t.pop_back();
    size_t i = skip(t, 0);
    if (i >= t.size()) {
        f = makeFault("42000", native::kSyntax, "Syntax error: empty statement");
        return false;
    }
    out = Rewritten{};
    std::string w = t[i].t == Tok::Word ? lower(t[i].text) : std::string();
    size_t n = skip(t, i + 1);
    if (w == "prepare") {
        if (n >= t.size() || t[n].t != Tok::Word) {
            f = makeFault("42000", native::kSyntax, "Syntax error in PREPARE: statement name expected");
            return false;
        }
        out.name = lower(t[n].text);
        size_t p = skip(t, n + 1);
        if (isWord(t, p, "into")) {
            p = skip(t, p + 1);
            if (!isWord(t, p, "sqlda")) {
                f = makeFault("42000", native::kSyntax, "Syntax error in PREPARE: INTO SQLDA expected");
                return false;
            }
            p = skip(t, p + 1);
        }
        if (!isWord(t, p, "from")) {
            f = makeFault("42000", native::kSyntax, "Syntax error in PREPARE: FROM expected");
            return false;
        }
        Rewritten inner;
        if (!rewriteStatement(c, join(t, p + 1, t.size()), inner, f)) return false;
        if (inner.kind != Rewritten::Kind::Sql && inner.kind != Rewritten::Kind::Positioned) {
            f = makeFault("42000", native::kSyntax, "This statement cannot be prepared");
            return false;
        }
        out.kind = Rewritten::Kind::Prepare;
        out.sql = inner.sql;
        out.positioned = inner.positioned;
        // A cursor over a SELECT of one table may take positioned changes: its rows carry their
        // row id as a column the client never sees.
        std::vector<Tok> it(t.begin() + long(p + 1), t.end());
        size_t sel = skip(it, 0);
        if (inner.kind == Rewritten::Kind::Sql && isWord(it, sel, "select")) {
            size_t fromAt = 0, qualAt = 0;
            analyseCursorSelect(it, sel, out.shape, fromAt, qualAt);
            if (out.shape.positionable) {
                std::vector<Tok> withRowid(it.begin(), it.begin() + long(fromAt));
                for (Tok k : {Tok{Tok::Punct, ","}, Tok{Tok::Space, " "}, it[qualAt], Tok{Tok::Punct, "."},
                              Tok{Tok::Word, "rowid"}, Tok{Tok::Space, " "}})
                    withRowid.push_back(k);
                withRowid.insert(withRowid.end(), it.begin() + long(fromAt), it.end());
                out.rowidSql = rewriteGeneral(c, withRowid);
            }
        }
        return true;
    }
    if (w == "execute") {
        if (isWord(t, n, "immediate")) return rewriteStatement(c, join(t, n + 1, t.size()), out, f);
        if (isWord(t, n, "procedure")) {
            // EXECUTE PROCEDURE [owner.]name [(param = expr, ...)]
            size_t p = skip(t, n + 1);
            if (p >= t.size() || (t[p].t != Tok::Word && t[p].t != Tok::QuotedId)) {
                f = makeFault("42000", native::kSyntax, "Syntax error in EXECUTE PROCEDURE: name expected");
                return false;
            }
            out.name = identName(t[p]);
            p = skip(t, p + 1);
            if (p < t.size() && t[p].text == ".") {
                p = skip(t, p + 1);
                if (p >= t.size()) {
                    f = makeFault("42000", native::kSyntax, "Syntax error in EXECUTE PROCEDURE");
                    return false;
                }
                out.table = out.name;  // the owner
                out.name = identName(t[p]);
                p = skip(t, p + 1);
            }
            if (p < t.size()) {
                if (t[p].text != "(") {
                    f = makeFault("42000", native::kSyntax,
                                  "Syntax error in EXECUTE PROCEDURE near '" + t[p].text + "'");
                    return false;
                }
                size_t q = skip(t, p + 1);
                while (q < t.size() && t[q].text != ")") {
                    if (t[q].t != Tok::Word) {
                        f = makeFault("42000", native::kSyntax,
                                      "Syntax error in EXECUTE PROCEDURE: parameter name expected");
                        return false;
                    }
                    std::string pname = lower(t[q].text);
                    q = skip(t, q + 1);
                    if (q >= t.size() || t[q].text != "=") {
                        f = makeFault("42000", native::kSyntax, "Syntax error in EXECUTE PROCEDURE: '=' expected");
                        return false;
                    }
                    size_t b = q + 1;
                    int depth = 0;
                    for (q = b; q < t.size(); ++q) {
                        if (t[q].text == "(")
                            ++depth;
                        else if (t[q].text == ")") {
                            if (depth == 0) break;
                            --depth;
                        } else if (t[q].text == "," && depth == 0) {
                            break;
                        }
                    }
                    out.declColumns.emplace_back(pname, join(t, b, q));
                    if (q < t.size() && t[q].text == ",") q = skip(t, q + 1);
                }
                if (q >= t.size()) {
                    f = makeFault("42000", native::kSyntax, "Syntax error in EXECUTE PROCEDURE: ')' expected");
                    return false;
                }
            }
            out.kind = Rewritten::Kind::ExecuteProcedure;
            return true;
        }
        if (n >= t.size() || t[n].t != Tok::Word || skip(t, n + 1) < t.size()) {
            f = makeFault("42000", native::kSyntax, "Syntax error in EXECUTE");
            return false;
        }
        out.kind = Rewritten::Kind::Execute;
        out.name = lower(t[n].text);
        return true;
    }
    if (w == "commit") {
        out.kind = Rewritten::Kind::Commit;
        return true;
    }
    if (w == "rollback" || w == "abort") {
        size_t p = n;
        if (isWord(t, p, "work") || isWord(t, p, "transaction")) p = skip(t, p + 1);
        if (isWord(t, p, "to")) {
            p = skip(t, p + 1);
            if (isWord(t, p, "savepoint")) p = skip(t, p + 1);
            if (p >= t.size()) {
                f = makeFault("42000", native::kSyntax, "Syntax error in ROLLBACK TO: savepoint name expected");
                return false;
            }
            out.kind = Rewritten::Kind::RollbackTo;
            out.name = t[p].text;
            return true;
        }
        out.kind = Rewritten::Kind::Rollback;
        return true;
    }
    if (w == "savepoint") {
        if (n >= t.size() || (t[n].t != Tok::Word && t[n].t != Tok::Number)) {
            f = makeFault("42000", native::kSyntax, "Syntax error in SAVEPOINT: name expected");
            return false;
        }
        out.kind = Rewritten::Kind::Savepoint;
        out.name = t[n].text;
        return true;
    }
    if (w == "set") {
        if (isWord(t, n, "autocommit")) {
            size_t v = skip(t, n + 1);
            out.kind = Rewritten::Kind::SetAutocommit;
            out.flag = isWord(t, v, "on");
            return true;
        }
        // SET SESSION WITH XA_XID = 'branch' binds the session's transaction to an XA branch.
        if (isWord(t, n, "session") && isWord(t, skip(t, n + 1), "with") &&
            isWord(t, skip(t, skip(t, n + 1) + 1), "xa_xid")) {
            size_t p = skip(t, skip(t, skip(t, n + 1) + 1) + 1);
            if (p < t.size() && t[p].text == "=") p = skip(t, p + 1);
            if (p >= t.size() || t[p].t != Tok::String) {
                f = makeFault("42000", native::kSyntax,
                              "Syntax error in SET SESSION WITH XA_XID: branch text expected");
                return false;
            }
            out.kind = Rewritten::Kind::SetXaXid;
            out.name = t[p].text.substr(1, t[p].text.size() - 2);
            return true;
        }
        // SET SESSION READ ONLY / READ WRITE decide whether the session may change data.
        if (isWord(t, n, "session")) {
            for (size_t p = skip(t, n + 1); p < t.size(); p = skip(t, p + 1)) {
                if (isWord(t, p, "read")) {
                    size_t q = skip(t, p + 1);
                    if (isWord(t, q, "only") || isWord(t, q, "write")) {
                        out.kind = Rewritten::Kind::SetReadOnly;
                        out.flag = isWord(t, q, "only");
                        return true;
                    }
                }
            }
        }
        // Lock modes, isolation and other settings have no counterpart in the embedded store.
        out.kind = Rewritten::Kind::Ignore;
        return true;
    }
    if (w == "create" && isWord(t, n, "table")) return rewriteCreateTable(c, t, n + 1, out, f);
    if (w == "alter" && isWord(t, n, "table")) {
        bool handled = false;
        if (!rewriteAlterTable(c, t, n + 1, out, handled, f)) return false;
        if (handled) return true;
    }
    if (w == "create" && isWord(t, n, "procedure")) {
        out.kind = Rewritten::Kind::CreateProcedure;
        out.sql = std::string(text);
        return true;
    }
    if (w == "drop" && isWord(t, n, "procedure")) {
        size_t p = skip(t, n + 1);
        if (p >= t.size()) {
            f = makeFault("42000", native::kSyntax, "Syntax error in DROP PROCEDURE: name expected");
            return false;
        }
        size_t q = skip(t, p + 1);
        if (q < t.size() && t[q].text == ".") p = skip(t, q + 1);
        if (p >= t.size()) {
            f = makeFault("42000", native::kSyntax, "Syntax error in DROP PROCEDURE: name expected");
            return false;
        }
        out.kind = Rewritten::Kind::DropProcedure;
        out.name = identName(t[p]);
        return true;
    }
    if (w == "grant" || w == "revoke") {
        // GRANT privilege [, ...] ON [TABLE | PROCEDURE] name TO grantee [, ...]
        size_t p = n;
        std::string priv;
        while (p < t.size() && !isWord(t, p, "on")) {
            if (t[p].t == Tok::Word) {
                std::string x = lower(t[p].text);
                if (x == "privileges") {
                } else if (!priv.empty() && (x == "all")) {
                    priv = "all";
                } else {
                    if (!priv.empty()) out.privileges.push_back(priv);
                    priv = x;
                }
            } else if (t[p].text == "(") {
                while (p < t.size() && t[p].text != ")") ++p;
            }
            p = skip(t, p + 1);
        }
        if (!priv.empty()) out.privileges.push_back(priv);
        if (p >= t.size() || out.privileges.empty()) {
            f = makeFault("42000", native::kSyntax, "Syntax error in " + w + ": ON expected");
            return false;
        }
        p = skip(t, p + 1);
        out.flag = false;  // table
        if (isWord(t, p, "table"))
            p = skip(t, p + 1);
        else if (isWord(t, p, "procedure")) {
            out.flag = true;
            p = skip(t, p + 1);
        }
        if (p >= t.size() || (t[p].t != Tok::Word && t[p].t != Tok::QuotedId)) {
            f = makeFault("42000", native::kSyntax, "Syntax error in " + w + ": object name expected");
            return false;
        }
        out.table = identName(t[p]);
        p = skip(t, p + 1);
        if (p < t.size() && t[p].text == ".") {
            p = skip(t, p + 1);
            if (p >= t.size()) {
                f = makeFault("42000", native::kSyntax, "Syntax error in " + w);
                return false;
            }
            out.table = identName(t[p]);
            p = skip(t, p + 1);
        }
        if (!isWord(t, p, w == "grant" ? "to" : "from")) {
            f = makeFault("42000", native::kSyntax,
                          "Syntax error in " + w + ": " + (w == "grant" ? "TO" : "FROM") + " expected");
            return false;
        }
        for (p = skip(t, p + 1); p < t.size(); p = skip(t, p + 1)) {
            if (isWord(t, p, "with")) break;
            if (t[p].t == Tok::Word || t[p].t == Tok::QuotedId) out.grantees.push_back(identName(t[p]));
        }
        if (out.grantees.empty()) {
            f = makeFault("42000", native::kSyntax, "Syntax error in " + w + ": grantee expected");
            return false;
        }
        out.kind = w == "grant" ? Rewritten::Kind::Grant : Rewritten::Kind::Revoke;
        return true;
    }
    if (w == "create" && (isWord(t, n, "index") || (isWord(t, n, "unique") && isWord(t, skip(t, n + 1), "index")))) {
        // Storage clauses (WITH STRUCTURE = ..., KEY = ...) mean nothing here.
        int depth = 0;
        size_t end = t.size();
        for (size_t k = n; k < t.size(); ++k) {
            if (t[k].text == "(")
                ++depth;
            else if (t[k].text == ")")
                --depth;
            else if (depth == 0 && isWord(t, k, "with")) {
                end = k;
                break;
            }
        }
        out.kind = Rewritten::Kind::Sql;
        out.sql = rewriteGeneral(c, std::vector<Tok>(t.begin(), t.begin() + long(end)));
        return true;
    }
    if (w == "modify" || w == "comment" || (w == "create" && isWord(t, n, "statistics"))) {
        out.kind = Rewritten::Kind::Ignore;
        return true;
    }
    if (w == "create" && isWord(t, n, "view")) {
        // The view is recorded with its owner, like a table (without declared column types).
        size_t p = skip(t, n + 1);
        if (p < t.size() && (t[p].t == Tok::Word || t[p].t == Tok::QuotedId)) {
            size_t q = skip(t, p + 1);
            if (q < t.size() && t[q].text == ".") p = skip(t, q + 1);
            if (p < t.size()) out.table = identName(t[p]);
        }
        out.kind = Rewritten::Kind::CreateTable;
        out.sql = rewriteGeneral(c, t);
        return true;
    }
    if (w == "drop" && (isWord(t, n, "table") || isWord(t, n, "view"))) {
        size_t p = skip(t, n + 1);
        if (isWord(t, p, "if")) p = skip(t, skip(t, p + 1) + 1);
        if (p < t.size()) {
            size_t q = skip(t, p + 1);
            if (q < t.size() && t[q].text == ".") p = skip(t, q + 1);
            if (p < t.size()) out.table = identName(t[p]);
        }
        out.kind = Rewritten::Kind::DropTable;
        out.sql = rewriteGeneral(c, t);
        return true;
    }
    if (w == "update" || w == "delete") {
        bool found = false;
        if (!rewritePositioned(c, t, i, out, found, f)) return false;
        if (found) return true;
    }
    if (c.settings.strictOrderBy && !checkOrderBy(t, f)) return false;
    out.kind = Rewritten::Kind::Sql;
    out.sql = rewriteGeneral(c, t);
    return true;
}

// ---- Result typing ---------------------------------------------------------------------------

namespace {

// The select-list items of the first SELECT of a statement, as token ranges.
std::vector<std::vector<Tok>> selectItems(std::string_view sql) {
    std::vector<std::vector<Tok>> items;
    std::vector<Tok> t;
    Fault f;
    if (!tokenize(sql, t, f)) return items;
    size_t i = skip(t, 0);
    while (i < t.size() && t[i].text == "(") i = skip(t, i + 1);
    if (!isWord(t, i, "select")) return items;
    i = skip(t, i + 1);
    if (isWord(t, i, "distinct") || isWord(t, i, "all")) i = skip(t, i + 1);
    int depth = 0;
    int markers = 0;
    std::vector<Tok> cur;
    for (; i < t.size(); ++i) {
        if (t[i].text == "(") ++depth;
        if (t[i].text == ")") {
            if (depth == 0) break;
            --depth;
        }
        if (depth == 0 && (isWord(t, i, "from") || isWord(t, i, "limit") || isWord(t, i, "union") ||
                           isWord(t, i, "order") || isWord(t, i, "where") || isWord(t, i, "group"))) {
            break;
        }
        if (depth == 0 && t[i].text == ",") {
            items.push_back(cur);
            cur.clear();
            continue;
        }
        if (t[i].t == Tok::Param) {
            // The select list comes first in the text: its markers are the statement's first ones.
            cur.push_back({Tok::Param, "?" + std::to_string(++markers)});
            continue;
        }
        if (t[i].t != Tok::Space) cur.push_back(t[i]);
    }
    if (!cur.empty()) items.push_back(cur);
    return items;
}

IngType varcharOf(int n) {
    IngType t;
    t.type = IIAPI_VCH_TYPE;
    if (n < 1) n = 1;
    if (n > 32000) n = 32000;
    t.length = uint16_t(n + 2);
    t.decl = "varchar(" + std::to_string(n) + ")";
    return t;
}

IngType intOf(int len) {
    IngType t;
    t.type = IIAPI_INT_TYPE;
    t.length = uint16_t(len);
    t.decl = "integer" + std::to_string(len);
    return t;
}

IngType decimalOf(int precision, int scale) {
    IngType t;
    t.type = IIAPI_DEC_TYPE;
    t.precision = int16_t(precision);
    t.scale = int16_t(scale);
    t.length = uint16_t(precision / 2 + 1);
    t.decl = "decimal(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    return t;
}

IngType floatOf() {
    IngType t;
    t.type = IIAPI_FLT_TYPE;
    t.length = 8;
    t.precision = 15;
    t.decl = "float";
    return t;
}

constexpr int kDefaultTextLength = 2000;

IngType charOf(int n) {
    IngType t;
    t.type = IIAPI_CHA_TYPE;
    t.length = uint16_t(n);
    t.decl = "char(" + std::to_string(n) + ")";
    return t;
}

// Types of the catalog columns, which the views compute.
bool catalogColumnType(const std::string& name, IngType& out) {
    static const char* names32[] = {"table_name",
                                    "table_owner",
                                    "column_name",
                                    "column_datatype",
                                    "schema_name",
                                    "constraint_name",
                                    "index_name",
                                    "index_owner",
                                    "base_name",
                                    "base_owner",
                                    "procedure_name",
                                    "procedure_owner",
                                    "dbp_name",
                                    "dbp_owner",
                                    "pp_name",
                                    "object_name",
                                    "object_owner",
                                    "permit_grantor",
                                    "permit_user",
                                    "ref_constraint_name",
                                    "ref_schema_name",
                                    "ref_table_name",
                                    "unique_constraint_name",
                                    "unique_schema_name",
                                    "unique_table_name",
                                    "param_name",
                                    "param_datatype",
                                    "column_internal_datatype",
                                    "user_name",
                                    "dba_name",
                                    "system_owner",
                                    nullptr};
    static const char* names1[] = {"table_type",
                                   "system_use",
                                   "column_nulls",
                                   "column_defaults",
                                   "sort_direction",
                                   "unique_rule",
                                   "constraint_type",
                                   "object_type",
                                   "table_subtype",
                                   "proc_subtype",
                                   "is_compressed",
                                   "param_nulls",
                                   "param_defaults",
                                   "column_system_maintained",
                                   nullptr};
    static const char* int2s[] = {"column_ingdatatype", "key_sequence", "key_position",        "pp_number",
                                  "pp_datatype",        "pp_precision", "param_datatype_code", "column_scale",
                                  "param_scale",        nullptr};
    static const char* int4s[] = {"column_length",
                                  "column_sequence",
                                  "pp_length",
                                  "pp_flags",
                                  "text_sequence",
                                  "dbp_id",
                                  "dbp_idx",
                                  "defid1",
                                  "defid2",
                                  "pp_procid1",
                                  "pp_procid2",
                                  "pp_defid1",
                                  "pp_defid2",
                                  "param_sequence",
                                  "param_length",
                                  "permit_number",
                                  "num_rows",
                                  "column_internal_length",
                                  "dbp_parameter_count",
                                  nullptr};
    for (const char** n = names32; *n; ++n)
        if (name == *n) {
            out = charOf(32);
            return true;
        }
    for (const char** n = names1; *n; ++n)
        if (name == *n) {
            out = charOf(1);
            return true;
        }
    for (const char** n = int2s; *n; ++n)
        if (name == *n) {
            out = intOf(2);
            return true;
        }
    for (const char** n = int4s; *n; ++n)
        if (name == *n) {
            out = intOf(4);
            return true;
        }
    if (name == "column_default_val" || name == "defvalue" || name == "param_default_val") {
        out = varcharOf(1501);
        return true;
    }
    if (name == "text_segment") {
        out = varcharOf(240);
        return true;
    }
    if (name == "storage_structure" || name == "param_mode") {
        out = charOf(16);
        return true;
    }
    return false;
}

bool typeExpression(Conn& c, const std::vector<Tok>& e, IngType& out, bool& hasAlias);

// The declared type of a user column known by its name alone.
bool columnTypeByName(Conn& c, const std::string& name, IngType& out) {
    const std::vector<std::string> types = declaredTypesOf(c, name);
    return !types.empty() && parseTypeText(types.front(), out, c.maxSegment);
}

bool isTextType(const IngType& t) {
    return t.type == IIAPI_CHA_TYPE || t.type == IIAPI_CHR_TYPE || t.type == IIAPI_VCH_TYPE ||
           t.type == IIAPI_TXT_TYPE || t.type == IIAPI_LVCH_TYPE || t.type == IIAPI_NCHA_TYPE ||
           t.type == IIAPI_NVCH_TYPE || t.type == IIAPI_LNVCH_TYPE;
}

// Type of one operand of an arithmetic expression (no blanks among its tokens): a parenthesised
// expression, a literal, a function or a (qualified) column of the statement's tables.
bool typeOperand(Conn& c, const std::vector<Tok>& o, IngType& t) {
    bool alias;
    std::vector<Tok> inner = o;
    if (inner.size() >= 2 && inner.front().text == "(" && inner.back().text == ")")
        inner = std::vector<Tok>(o.begin() + 1, o.end() - 1);
    if (typeExpression(c, inner, t, alias) && !alias) return true;
    return (inner.size() == 1 || (inner.size() == 3 && inner[1].text == ".")) &&
           columnTypeByName(c, identName(inner.back()), t);
}

// The digits of a decimal, or of an integer taken as the decimal it converts to.
int decimalDigits(const IngType& x) {
    if (x.type == IIAPI_DEC_TYPE) return x.precision;
    return x.length == 1 ? 3 : x.length == 2 ? 5 : x.length == 8 ? 19 : 10;
}

int decimalScale(const IngType& x) { return x.type == IIAPI_DEC_TYPE ? x.scale : 0; }

constexpr int kMaxDecimalPrecision = 31;

// The type of a op b for numeric operands as Ingres types it: float (or money) wins; else a
// decimal operand makes the result a decimal, an integer one counting as a decimal of its digits
// (+ and -: the larger scale and the larger count of integral digits plus one; *: the sums of
// precisions and of scales; /: precision 31 and scale 31 - p1 + s1 - s2); else the wider integer,
// at least a 4-byte one.
IngType numericResult(const IngType& a, const std::string& op, const IngType& b) {
    auto floating = [](const IngType& x) { return x.type == IIAPI_FLT_TYPE || x.type == IIAPI_MNY_TYPE; };
    if (floating(a) || floating(b)) return floatOf();
    if (a.type != IIAPI_DEC_TYPE && b.type != IIAPI_DEC_TYPE) return intOf(std::max({4, int(a.length), int(b.length)}));
    const int p1 = decimalDigits(a), s1 = decimalScale(a), p2 = decimalDigits(b), s2 = decimalScale(b);
    int precision, scale;
    if (op == "*") {
        precision = p1 + p2;
        scale = s1 + s2;
    } else if (op == "/") {
        precision = kMaxDecimalPrecision;
        scale = kMaxDecimalPrecision - p1 + s1 - s2;
    } else {
        scale = std::max(s1, s2);
        precision = std::max(p1 - s1, p2 - s2) + scale + 1;
    }
    precision = std::clamp(precision, 1, kMaxDecimalPrecision);
    return decimalOf(precision, std::clamp(scale, 0, precision));
}

// The types of the values bound to the markers of the statement being described, in order;
// null while they are not known (a prepare describes before any value is bound).
thread_local const std::vector<IngType>* t_markerTypes = nullptr;

bool isNumberType(const IngType& t) {
    return t.type == IIAPI_INT_TYPE || t.type == IIAPI_FLT_TYPE || t.type == IIAPI_DEC_TYPE || t.type == IIAPI_MNY_TYPE;
}

// The number a marker's value is bound as, when it is one: the select list's markers carry their
// position ("?3").
bool boundMarkerType(const Tok& marker, IngType& out) {
    if (t_markerTypes == nullptr || marker.text.size() < 2) return false;
    const size_t n = size_t(std::atoi(marker.text.c_str() + 1));
    if (n == 0 || n > t_markerTypes->size() || !isNumberType((*t_markerTypes)[n - 1])) return false;
    out = (*t_markerTypes)[n - 1];
    return true;
}

// The types of the values bound to the markers, in order (service parameters are no markers);
// a value that is no number is left a text, to be typed by its partners.
std::vector<IngType> markerTypesOf(const std::vector<IIAPI_DESCRIPTOR>& params) {
    std::vector<IngType> out;
    for (const IIAPI_DESCRIPTOR& d : params) {
        if (d.ds_columnType == IIAPI_COL_SVCPARM) continue;
        IngType t = varcharOf(1);
        if (d.ds_dataType == IIAPI_INT_TYPE &&
            (d.ds_length == 1 || d.ds_length == 2 || d.ds_length == 4 || d.ds_length == 8)) {
            t = intOf(d.ds_length);
        } else if (d.ds_dataType == IIAPI_FLT_TYPE) {
            t = floatOf();
            if (d.ds_length == 4) {
                t.length = 4;
                t.precision = 7;
            }
        } else if (d.ds_dataType == IIAPI_DEC_TYPE && d.ds_precision >= 1 && d.ds_precision <= kMaxDecimalPrecision) {
            t = decimalOf(d.ds_precision, std::clamp(int(d.ds_scale), 0, int(d.ds_precision)));
        } else if ((d.ds_dataType == IIAPI_CHA_TYPE || d.ds_dataType == IIAPI_VCH_TYPE) && d.ds_scale > 0 &&
                   d.ds_scale <= kMaxDecimalPrecision) {
            // An exact number with fraction digits travels as its text, with its digits beside.
            const int precision = std::clamp(int(d.ds_precision), int(d.ds_scale), kMaxDecimalPrecision);
            t = decimalOf(precision, d.ds_scale);
        } else if (d.ds_dataType == IIAPI_MNY_TYPE) {
            t = IngType{};
            t.type = IIAPI_MNY_TYPE;
            t.length = 8;
            t.precision = 14;
            t.scale = 2;
            t.decl = "money";
        }
        out.push_back(t);
    }
    return out;
}

// A marker combined with a number takes the number's type, as the server types the parameter:
// the operand it meets first ('*' and '/' bind before '+' and '-'), else the nearest typed one.
// False when no operand but markers has a type.
bool typeMarkersByPartners(const std::vector<std::string>& ops, const std::vector<size_t>& markers,
                           std::vector<IngType>& types) {
    std::vector<bool> typed(types.size(), true);
    for (size_t k : markers) typed[k] = false;
    auto binds = [&](size_t op) { return op < ops.size() && (ops[op] == "*" || ops[op] == "/"); };
    for (size_t k : markers) {
        const bool rightFirst = binds(k) && !(k > 0 && binds(k - 1));
        bool found = false;
        for (size_t d = 1; d < types.size() && !found; ++d) {
            for (int side = 0; side < 2 && !found; ++side) {
                const bool right = (side == 0) == rightFirst;
                if (!right && k < d) continue;
                const size_t at = right ? k + d : k - d;
                if (at >= types.size() || !typed[at]) continue;
                types[k] = types[at];
                found = true;
            }
        }
        if (!found) return false;
    }
    return true;
}

// Arithmetic of typed operands, '*' and '/' before '+' and '-'; any text operand or '||' makes
// the whole a text.
bool typeArithmetic(Conn& c, const std::vector<Tok>& x, IngType& out) {
    std::vector<std::vector<Tok>> operands;
    std::vector<std::string> ops;
    std::vector<Tok> cur;
    int depth = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const Tok& k = x[i];
        if (k.text == "(") ++depth;
        if (k.text == ")") --depth;
        bool binary = depth == 0 && k.t == Tok::Punct &&
                      (k.text == "+" || k.text == "-" || k.text == "*" || k.text == "/" || k.text == "||") &&
                      !cur.empty();
        if (binary) {
            operands.push_back(cur);
            ops.push_back(k.text);
            cur.clear();
            continue;
        }
        cur.push_back(k);
    }
    if (cur.empty() || ops.empty()) return false;
    operands.push_back(cur);
    std::vector<IngType> types;
    bool anyText = std::find(ops.begin(), ops.end(), "||") != ops.end();
    // Markers whose values are not numbers, or not known yet, are typed by their partners below.
    std::vector<size_t> untypedMarkers;
    for (auto& o : operands) {
        // A sign in front of an operand leaves its type.
        std::vector<Tok> v = o;
        if (v.size() > 1 && v[0].t == Tok::Punct && (v[0].text == "-" || v[0].text == "+")) v.erase(v.begin());
        IngType t;
        if (v.size() == 1 && v[0].t == Tok::Param) {
            if (!boundMarkerType(v[0], t)) {
                untypedMarkers.push_back(types.size());
                types.push_back(t);
                continue;
            }
        } else if (!typeOperand(c, v, t)) {
            return false;
        }
        if (isTextType(t))
            anyText = true;
        else if (t.type == IIAPI_BOOL_TYPE)
            t = intOf(1);
        else if (t.type != IIAPI_FLT_TYPE && t.type != IIAPI_MNY_TYPE && t.type != IIAPI_DEC_TYPE &&
                 t.type != IIAPI_INT_TYPE)
            return false;
        types.push_back(t);
    }
    if (!untypedMarkers.empty() && !typeMarkersByPartners(ops, untypedMarkers, types)) return false;
    if (anyText) {
        out = varcharOf(kDefaultTextLength);
        return true;
    }
    // Terms first: runs of '*' and '/' left to right, then the sum of the terms.
    std::vector<IngType> terms{types[0]};
    std::vector<std::string> termOps;
    for (size_t k = 0; k < ops.size(); ++k) {
        if (ops[k] == "*" || ops[k] == "/") {
            terms.back() = numericResult(terms.back(), ops[k], types[k + 1]);
        } else {
            terms.push_back(types[k + 1]);
            termOps.push_back(ops[k]);
        }
    }
    out = terms[0];
    for (size_t k = 0; k < termOps.size(); ++k) out = numericResult(out, termOps[k], terms[k + 1]);
    return true;
}

// Type of an expression from its tokens; false when the engine cannot tell.
// Words that end an expression and so never name it: "x IS NOT NULL" has no alias "NULL".
bool endsExpression(const Tok& k) {
    static const char* words[] = {"null", "end", "true", "false", "unknown", "asc", "desc", nullptr};
    if (k.t != Tok::Word) return false;
    const std::string w = lower(k.text);
    for (const char** n = words; *n; ++n)
        if (w == *n) return true;
    return false;
}

bool typeExpression(Conn& c, const std::vector<Tok>& e, IngType& out, bool& hasAlias) {
    hasAlias = false;
    std::vector<Tok> x = e;
    if (x.size() >= 2 && x[x.size() - 2].t == Tok::Word && lower(x[x.size() - 2].text) == "as") {
        x.resize(x.size() - 2);
        hasAlias = true;
    } else if (x.size() >= 2 && (x.back().t == Tok::Word || x.back().t == Tok::QuotedId) && !endsExpression(x.back()) &&
               (x[x.size() - 2].t == Tok::Word || x[x.size() - 2].t == Tok::QuotedId || x[x.size() - 2].text == ")" ||
                x[x.size() - 2].t == Tok::Number || x[x.size() - 2].t == Tok::String)) {
        x.pop_back();
        hasAlias = true;
    }
    if (x.empty()) return false;
    if (x.size() == 2 && x[0].text == "-" && x[1].t == Tok::Number) x = {Tok{Tok::Number, "-" + x[1].text}};
    // A (qualified) column name of a catalog view.
    if ((x.size() == 1 || (x.size() == 3 && x[1].text == ".")) &&
        (x.back().t == Tok::Word || x.back().t == Tok::QuotedId)) {
        if (catalogColumnType(identName(x.back()), out)) return true;
    }
    if (x.size() == 1 && x[0].t == Tok::Word && lower(x[0].text) == "null") {
        out = varcharOf(1);
        return true;
    }
    if (x.size() == 1) {
        const Tok& k = x[0];
        if (k.t == Tok::Number) {
            if (k.text.find_first_of("eE") != std::string::npos) {
                out = floatOf();
                return true;
            }
            if (k.text.find('.') != std::string::npos) {
                Decimal d;
                if (!parseDecimal(k.text, d)) return false;
                int p = int(d.digits.size());
                if (p < d.scale + 1) p = d.scale + 1;
                if (p > 39) {
                    out = floatOf();
                    return true;
                }
                out = IngType{};
                out.type = IIAPI_DEC_TYPE;
                out.precision = int16_t(p);
                out.scale = int16_t(d.scale);
                out.length = uint16_t(p / 2 + 1);
                out.decl = "decimal(" + std::to_string(p) + "," + std::to_string(d.scale) + ")";
                return true;
            }
            int64_t v = 0;
            bool big = k.text.size() > 10;
            if (!big) v = std::stoll(k.text);
            out = intOf(big || v > INT32_MAX || v < INT32_MIN ? 8 : 4);
            return true;
        }
        if (k.t == Tok::String) {
            size_t n = 0;
            for (size_t i = 1; i + 1 < k.text.size(); ++i) {
                if (k.text[i] == '\'' && k.text[i + 1] == '\'') ++i;
                ++n;
            }
            out = varcharOf(int(n));
            return true;
        }
        return false;
    }
    // name ( ... ) spanning the whole expression.
    size_t closeAt = 0;
    if (x[0].t == Tok::Word && x[1].text == "(" && x.back().text == ")") {
        int depth = 0;
        for (size_t i = 1; i < x.size(); ++i) {
            if (x[i].text == "(") ++depth;
            if (x[i].text == ")" && --depth == 0) {
                closeAt = i;
                break;
            }
        }
    }
    if (closeAt != 0 && closeAt == x.size() - 1) {
        std::string fn = lower(x[0].text);
        std::vector<Tok> arg(x.begin() + 2, x.end() - 1);
        bool dummy;
        if (fn == "count") {
            out = intOf(4);
            return true;
        }
        if (fn == "dbmsinfo") {
            out = varcharOf(256);
            return true;
        }
        if (fn == "int1" || fn == "int2" || fn == "int4" || fn == "int8" || fn == "integer1" || fn == "integer2" ||
            fn == "integer4" || fn == "integer8") {
            out = intOf(fn.back() - '0');
            return true;
        }
        if (fn == "length" || fn == "octet_length" || fn == "locate" || fn == "size" || fn == "iiuserlen" ||
            fn == "ii_ext_length") {
            out = intOf(fn == "length" ? 2 : 4);
            return true;
        }
        if (fn == "float8" || fn == "float4" || fn == "sqrt" || fn == "exp" || fn == "log" || fn == "ln" ||
            fn == "sin" || fn == "cos" || fn == "atan" || fn == "tan" || fn == "power" || fn == "avg") {
            out = floatOf();
            if (fn == "float4") {
                out.length = 4;
                out.precision = 7;
            }
            return true;
        }
        if ((fn == "nvarchar" || fn == "nchar") && arg.size() == 1 && arg[0].t == Tok::String) {
            // As many characters as the literal has.
            const std::string& q = arg[0].text;
            int n = 0;
            for (size_t k = 1; k + 1 < q.size(); ++k) {
                if (q[k] == '\'' && q[k + 1] == '\'') ++k;
                if ((static_cast<unsigned char>(q[k]) & 0xC0) != 0x80) ++n;
            }
            return parseTypeText(fn + "(" + std::to_string(std::clamp(n, 1, 16000)) + ")", out, c.maxSegment);
        }
        if (fn == "ii_decdiv" && !arg.empty() && arg.back().t == Tok::Number) {
            out = decimalOf(31, std::atoi(arg.back().text.c_str()));
            out.nullable = true;
            return true;
        }
        if (fn == kNonzeroGuard) return typeOperand(c, arg, out);
        if (fn == "ii_cast" && arg.size() >= 3 && arg.back().t == Tok::String && arg[arg.size() - 2].text == ",") {
            const std::string& q = arg.back().text;
            return parseTypeText(q.substr(1, q.size() - 2), out, c.maxSegment);
        }
        if (fn == "sum" || fn == "min" || fn == "max" || fn == "abs") {
            std::vector<Tok> a = arg;
            if (!a.empty() && a[0].t == Tok::Word && (lower(a[0].text) == "distinct" || lower(a[0].text) == "all"))
                a.erase(a.begin());
            bool known = typeExpression(c, a, out, dummy) && !dummy;
            // A plain column: its declared type.
            if (!known && (a.size() == 1 || (a.size() == 3 && a[1].text == ".")) &&
                (a.back().t == Tok::Word || a.back().t == Tok::QuotedId))
                known = columnTypeByName(c, identName(a.back()), out);
            if (!known) return false;
            out.nullable = true;
            if (fn == "sum" && (out.type == IIAPI_INT_TYPE || out.type == IIAPI_BOOL_TYPE))
                out = intOf(8);
            else if (fn == "sum" && out.type == IIAPI_DEC_TYPE) {
                out.precision = 31;
                out.length = 16;
                out.decl = "decimal(31," + std::to_string(out.scale) + ")";
            } else if (fn == "sum" && out.type == IIAPI_FLT_TYPE) {
                out = floatOf();
            }
            return true;
        }
        if (fn == "date" || fn == "ingresdate") {
            // A time of day alone ({t '04:05:06'} arrives so) is a time, not a date of year 0.
            IIAPI_DATETIME dt;
            if (arg.size() == 1 && arg[0].t == Tok::String && arg[0].text.size() >= 2 &&
                parseDateText(std::string_view(arg[0].text).substr(1, arg[0].text.size() - 2), dt) &&
                dt.dt_kind == IIAPI_DTK_TIME)
                return parseTypeText("time(0)", out, c.maxSegment);
            out = IngType{};
            out.type = IIAPI_DATE_TYPE;
            out.length = 12;
            out.decl = "ingresdate";
            return true;
        }
        if (fn == "money") {
            parseTypeText("money", out, c.maxSegment);
            return true;
        }
        if (fn == "uppercase" || fn == "lowercase" || fn == "upper" || fn == "lower" || fn == "trim" ||
            fn == "squeeze" || fn == "left" || fn == "right" || fn == "concat" || fn == "varchar" || fn == "char" ||
            fn == "ifnull" || fn == "shift" || fn == "charextract" || fn == "_time" || fn == "iitypename" ||
            fn == "substring" || fn == "substr") {
            IngType a;
            if (fn != "varchar" && fn != "char" && fn != "concat" && typeExpression(c, arg, a, dummy) &&
                (a.type == IIAPI_VCH_TYPE || a.type == IIAPI_CHA_TYPE) && fn != "ifnull") {
                out = varcharOf(a.type == IIAPI_VCH_TYPE ? a.length - 2 : a.length);
                return true;
            }
            out = varcharOf(kDefaultTextLength);
            return true;
        }
        return false;
    }
    if (x.size() >= 2 && x.front().text == "(" && x.back().text == ")") {
        std::vector<Tok> inner(x.begin() + 1, x.end() - 1);
        bool alias;
        if (typeExpression(c, inner, out, alias) && !alias) return true;
    }
    return typeArithmetic(c, x, out);
}

// A result column that reads a column of a view the statement names: the type of the expression
// the view gives it (SQLite tells the origin of a view's plain columns only). Taken when the
// select list has a star or the item is the column's own name.
bool viewColumnByName(Conn& c, std::string_view sql, const std::vector<std::vector<Tok>>& items, size_t i,
                      const std::string& name, std::optional<std::vector<std::string>>& tables, IngType& out) {
    auto star = [](const std::vector<Tok>& it) { return !it.empty() && it.back().text == "*"; };
    bool byName = i >= items.size() || std::any_of(items.begin(), items.end(), star);
    if (!byName) {
        const std::vector<Tok>& it = items[i];
        byName = !it.empty() && (it.back().t == Tok::Word || it.back().t == Tok::QuotedId) &&
                 (it.size() == 1 || (it.size() == 3 && it[1].text == ".")) && lower(identName(it.back())) == lower(name);
    }
    if (!byName) return false;
    if (!tables) {
        std::vector<Tok> t;
        Fault f;
        tables = tokenize(sql, t, f) ? statementTables(t) : std::vector<std::string>();
    }
    const std::string wanted = lower(name);
    for (const std::string& table : *tables) {
        const ViewColumns* v = describeView(c, table);
        if (!v) continue;
        for (size_t k = 0; k < v->names.size() && k < v->types.size(); ++k)
            if (lower(v->names[k]) == wanted) {
                out = v->types[k];
                return true;
            }
    }
    return false;
}

}  // namespace

void describeColumns(Conn& c, sqlite3_stmt* st, std::string_view sql, std::vector<IngType>& cols,
                     std::vector<std::string>& names, const std::vector<IIAPI_DESCRIPTOR>* params) {
    std::vector<IngType> markers;
    if (params) markers = markerTypesOf(*params);
    struct MarkerTypes {
        const std::vector<IngType>* saved = t_markerTypes;
        ~MarkerTypes() { t_markerTypes = saved; }
    } scope;
    t_markerTypes = params ? &markers : nullptr;
    int n = sqlite3_column_count(st);
    cols.assign(size_t(n), IngType{});
    names.assign(size_t(n), std::string());
    std::vector<std::vector<Tok>> items = selectItems(sql);
    std::optional<std::vector<std::string>> viewTables;  // the statement's tables, once a column needs them
    // A database made by another SQLite program has no recorded types: the look-up is not
    // compiled (and fails) at every description then. The schema is the current one here.
    sqlite3_stmt* meta =
        sqlite3_table_column_metadata(c.db, nullptr, "iiapi_columns", "ingres_type", nullptr, nullptr, nullptr, nullptr,
                                      nullptr) == SQLITE_OK
            ? keptStatement(
                  c, c.cache.columnTypes,
                  "SELECT ingres_type FROM iiapi_columns WHERE table_name = lower(?) AND column_name = lower(?)")
            : nullptr;
    const bool haveMeta = meta != nullptr;
    for (int i = 0; i < n; ++i) {
        IngType& t = cols[size_t(i)];
        const char* nm = sqlite3_column_name(st, i);
        names[size_t(i)] = nm ? nm : "";
        const char* tbl = sqlite3_column_table_name(st, i);
        const char* orig = sqlite3_column_origin_name(st, i);
        bool typed = false;
        if (tbl && orig) {
            if (haveMeta) {
                sqlite3_reset(meta);
                sqlite3_bind_text(meta, 1, tbl, -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(meta, 2, orig, -1, SQLITE_TRANSIENT);
                if (sqlite3_step(meta) == SQLITE_ROW) {
                    const char* decl = reinterpret_cast<const char*>(sqlite3_column_text(meta, 0));
                    typed = decl && parseTypeText(decl, t, c.maxSegment);
                }
            }
            if (!typed && size_t(i) < items.size()) {
                bool alias = false;
                IngType ct;
                if (typeExpression(c, items[size_t(i)], ct, alias) &&
                    (ct.type == IIAPI_CHA_TYPE || ct.type == IIAPI_INT_TYPE || ct.type == IIAPI_VCH_TYPE)) {
                    // Only catalog columns are typed by name here.
                    std::vector<Tok>& it = items[size_t(i)];
                    size_t last = it.size();
                    if (alias)
                        last = it.size() >= 2 && lower(it[it.size() - 2].text) == "as" ? it.size() - 2 : it.size() - 1;
                    IngType byName;
                    if (last >= 1 && (it[last - 1].t == Tok::Word || it[last - 1].t == Tok::QuotedId) &&
                        catalogColumnType(identName(it[last - 1]), byName) && (last == 1 || it[last - 2].text == ".")) {
                        t = byName;
                        typed = true;
                    }
                }
            }
            if (!typed) {
                // A table made by another SQLite program: its declared type, SQLite's meaning.
                const char* decl = sqlite3_column_decltype(st, i);
                std::string d = decl ? lower(decl) : std::string();
                if (d == "integer" || d == "int") {
                    t = intOf(8);
                    typed = true;
                } else if (d == "real" || d == "double" || d == "float") {
                    t = floatOf();
                    typed = true;
                } else if (!d.empty()) {
                    typed = parseTypeText(d, t, c.maxSegment);
                }
                if (!typed) {
                    parseTypeText("long varchar", t, c.maxSegment);
                    typed = true;
                }
            }
            int notnull = 0, pk = 0, autoinc = 0;
            const char *dtype = nullptr, *coll = nullptr;
            if (sqlite3_table_column_metadata(c.db, sqlite3_column_database_name(st, i), tbl, orig, &dtype, &coll,
                                              &notnull, &pk, &autoinc) == SQLITE_OK)
                t.nullable = !notnull;
        }
        if (!typed && viewColumnByName(c, sql, items, size_t(i), names[size_t(i)], viewTables, t)) typed = true;
        if (!typed && size_t(i) < items.size()) {
            bool alias = false;
            typed = typeExpression(c, items[size_t(i)], t, alias);
            if (typed) t.nullable = true;
            // An unnamed expression is called by its position, as the server names it.
            const std::vector<Tok>& it = items[size_t(i)];
            bool plainName = !it.empty() && (it.back().t == Tok::Word || it.back().t == Tok::QuotedId) &&
                             (it.size() == 1 || (it.size() == 3 && it[1].text == "."));
            if (!alias && !plainName && !(tbl && orig)) names[size_t(i)] = "col" + std::to_string(i + 1);
        }
        if (!typed) {
            t = varcharOf(kDefaultTextLength);
            t.nullable = true;
        }
    }
    // Kept for the next description (each use above is reset, bound and read at once, so one
    // made inside another's, for a view, does not disturb it).
    if (meta) {
        sqlite3_reset(meta);
        sqlite3_clear_bindings(meta);
    }
}


namespace {

// The SELECT of a view's definition as the store keeps it: the text after its first AS outside
// parentheses (a column list may stand before it). Empty when there is none.
std::string viewSelect(const std::string& definition, std::vector<Tok>& selectTokens) {
    std::vector<Tok> t;
    Fault f;
    if (!tokenize(definition, t, f)) return std::string();
    int depth = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].text == "(") ++depth;
        if (t[i].text == ")") --depth;
        if (depth == 0 && isWord(t, i, "as")) {
            selectTokens.assign(t.begin() + long(i) + 1, t.end());
            return join(t, i + 1, t.size());
        }
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

}  // namespace

namespace {

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
    {
        std::vector<Tok> tokens;
        Fault ignored;
        tokenize(as.sql, tokens, ignored);
        TypeScope scope(c, statementTables(tokens));
        describeColumns(c, st, as.sql, types, names);
    }
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
    if (sqlite3_prepare_v2(c.db, "SELECT sql, name FROM main.sqlite_master WHERE type = 'view' AND lower(name) = ?",
                           -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0) && sqlite3_column_text(st, 1)) {
            definition = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        }
    }
    sqlite3_finalize(st);
    std::vector<Tok> tokens;
    const std::string select = viewSelect(definition, tokens);
    if (select.empty()) return nullptr;
    ViewColumns cols;
    st = nullptr;
    if (sqlite3_prepare_v2(c.db, select.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return nullptr;
    }
    {
        TypeScope scope(c, statementTables(tokens));
        describeColumns(c, st, select, cols.types, cols.names);
    }
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
