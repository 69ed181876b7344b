// CREATE TABLE and ALTER TABLE ADD / DROP COLUMN: Ingres column definitions as the store declares
// them, with the checks of what they hold and the triggers that keep dates and times in one form.
#include "iiapi/dialect.h"

namespace iiapi {

namespace dialect {

namespace {

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

// The collation of a column kept in one stored form (dates and times by the times they stand
// for, decimals by their numbers), or null.
const char* storedFormCollation(const IngType& t) {
    if (isDateTimeType(t.type)) return kDateTimeCollation;
    return t.type == IIAPI_DEC_TYPE ? kDecimalCollation : nullptr;
}

// One column definition (name, type, null and default clauses, constraints) as the store
// declares it.
struct ColumnDefinition {
    std::string name;  // as the catalogs keep it
    std::string text;  // as SQL names it (quoted when it was)
    IngType type;
    bool canonical = false;  // a date, time or decimal: its collation and one stored form
    std::string sql;         // the SQLite column definition
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
    const char* collation = storedFormCollation(ty);
    out.canonical = collation != nullptr;
    out.sql = out.text + " " + sqliteDeclFor(ty) + (collation ? std::string(" COLLATE ") + collation : "") + rest;
    return true;
}

// Dates and times arrive in many spellings (Ingres formats, date orders, fractions), decimals
// with any count of fraction digits; the store keeps each in one form, cut to the declared
// precision (a decimal rounded to its scale, refused when it is no number or does not fit), so
// that they compare, sort and read back as the values they are. The statements that make the
// triggers doing so for a table's date, time and decimal columns (their SQL names and declared
// types): first the two that drop the ones it had (named for the dates they first kept).
std::vector<std::string> storedFormTriggers(const std::string& table, const std::string& tableText,
                                            const std::vector<std::pair<std::string, std::string>>& kept) {
    std::string quotedTable;
    for (char ch : table) quotedTable += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    const std::string in = "\"ii_dates_in_" + quotedTable + "\"", up = "\"ii_dates_up_" + quotedTable + "\"";
    std::vector<std::string> out = {"DROP TRIGGER IF EXISTS " + in, "DROP TRIGGER IF EXISTS " + up};
    if (kept.empty()) return out;
    std::string when, set, cols;
    for (auto& [col, decl] : kept) {
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

}  // namespace

// CREATE TABLE name (columns) [WITH options]: Ingres types become SQLite declarations with the
// right affinity and the checks of what the column holds, the declared types are kept for the
// catalogs, Ingres null/default clauses become SQLite's.
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
    std::vector<std::pair<std::string, std::string>> kept;  // columns of one stored form, their types
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
        body += def.sql + storeChecks(def.name, def.text, def.type);
        out.declColumns.emplace_back(def.name, def.type.decl);
        if (def.canonical) kept.emplace_back(def.text, def.type.decl);
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
    if (!kept.empty()) out.after = storedFormTriggers(table, tableText, kept);
    return true;
}

namespace {

// A table's columns kept in one stored form, as the catalogs know them (SQL names and declared
// types), leaving out the one called `without`: its dates and times, and its decimals declared
// since decimals keep their exact text (older ones keep the numbers they were stored as).
std::vector<std::pair<std::string, std::string>> storedFormColumns(Conn& c, const std::string& table,
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
                !storedFormCollation(ty))
                continue;
            const char* collation = nullptr;
            if (ty.type == IIAPI_DEC_TYPE &&
                (sqlite3_table_column_metadata(c.db, "main", table.c_str(), name, nullptr, &collation, nullptr, nullptr,
                                               nullptr) != SQLITE_OK ||
                 !collation || lower(collation) != kDecimalCollation))
                continue;
            std::string quoted = "\"";
            for (const char* p = name; *p; ++p) quoted += *p == '"' ? std::string("\"\"") : std::string(1, *p);
            dated.emplace_back(quoted + "\"", ty.decl);
        }
    }
    sqlite3_finalize(st);
    return dated;
}

}  // namespace

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
        out.sql = "ALTER TABLE " + tableText + " ADD COLUMN " + def.sql + storeChecks(def.name, def.text, def.type);
        out.declColumns.emplace_back(def.name, def.type.decl);
        if (!def.canonical) return true;
        dated = storedFormColumns(c, table, def.name);
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
        dated = storedFormColumns(c, table, column);
    }
    // The triggers name every date column: they go before the change and come back after it.
    std::vector<std::string> triggers = storedFormTriggers(table, tableText, dated);
    out.before.assign(triggers.begin(), triggers.begin() + 2);
    out.after.assign(triggers.begin() + 2, triggers.end());
    return true;
}

}  // namespace dialect

}  // namespace iiapi
