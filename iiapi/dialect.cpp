// The Ingres SQL the clients send, turned into statements SQLite runs, and result typing.
#include "iiapi/internal.h"

#include <cctype>
#include <cstring>

namespace iiapi {

namespace {

struct Tok {
    enum T { Word, QuotedId, String, Number, Punct, Space, Param } t;
    std::string text;
};

std::string lower(std::string_view s) {
    std::string o(s);
    for (auto &c : o) c = char(std::tolower(static_cast<unsigned char>(c)));
    return o;
}

bool tokenize(std::string_view s, std::vector<Tok> &out, Fault &f) {
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
        } else if (c == '\'' || c == '"') {
            ++i;
            while (true) {
                if (i >= s.size()) {
                    f = makeFault("42000", native::kSyntax,
                                  c == '\'' ? "Syntax error: unterminated string" : "Syntax error: unterminated identifier");
                    return false;
                }
                if (s[i] == c) {
                    if (i + 1 < s.size() && s[i + 1] == c) {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
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
            static const char *two[] = {"<>", "<=", ">=", "!=", "||", "::", "**"};
            bool done = false;
            for (const char *t : two) {
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

std::string join(const std::vector<Tok> &t, size_t b, size_t e) {
    std::string s;
    for (size_t i = b; i < e && i < t.size(); ++i) s += t[i].text;
    return s;
}

// Index of the next non-space token at or after i.
size_t skip(const std::vector<Tok> &t, size_t i) {
    while (i < t.size() && t[i].t == Tok::Space) ++i;
    return i;
}

bool isWord(const std::vector<Tok> &t, size_t i, const char *w) {
    return i < t.size() && t[i].t == Tok::Word && lower(t[i].text) == w;
}

std::string identName(const Tok &t) {
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

std::string defaultFor(const IngType &t) {
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

// CREATE TABLE name (columns) [WITH options]: Ingres types become SQLite declarations with the
// right affinity, the declared types are kept for the catalogs, Ingres null/default clauses
// become SQLite's.
bool rewriteCreateTable(Conn &c, const std::vector<Tok> &t, size_t i, Rewritten &out, Fault &f) {
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
    std::string tableText = t[nameStart].text;
    if (j < t.size() && isWord(t, j, "as")) {
        out.kind = Rewritten::Kind::Sql;
        out.sql = "CREATE TABLE " + tableText + " AS " + join(t, j + 1, t.size());
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
        if (t[k].text == "(") ++depth;
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
        std::string col = identName(t[p]);
        std::string colText = t[p].text;
        // The type: words and one parenthesised argument list.
        size_t q = skip(t, p + 1);
        std::string typeText;
        static const char *stops[] = {"not", "null", "with", "default", "primary", "unique", "references",
                                      "check", "constraint", "collate", nullptr};
        while (q < e) {
            if (t[q].t == Tok::Word) {
                std::string w = lower(t[q].text);
                bool stop = false;
                for (const char **s = stops; *s; ++s)
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
                    f = makeFault("42000", native::kSyntax, "Syntax error in CREATE TABLE: ')' expected");
                    return false;
                }
                typeText += join(t, q, r + 1);
                q = skip(t, r + 1);
            } else {
                break;
            }
        }
        IngType ty;
        if (typeText.empty() || !parseTypeText(typeText, ty, c.maxSegment)) {
            f = makeFault("42000", native::kSyntax, "Syntax error in CREATE TABLE: unknown type '" + typeText +
                                                        "' for column " + col);
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
        body += colText + " " + sqliteDeclFor(ty) + rest;
        out.declColumns.emplace_back(col, ty.decl);
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
    return true;
}

// General rewrites of a statement SQLite runs.
std::string rewriteGeneral(const std::vector<Tok> &t) {
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        // SELECT FIRST n ... becomes SELECT ... LIMIT n.
        if (isWord(t, i, "select")) {
            size_t n = skip(t, i + 1);
            if (isWord(t, n, "first")) {
                size_t v = skip(t, n + 1);
                if (v < t.size() && t[v].t == Tok::Number) {
                    std::string rest;
                    std::vector<Tok> tail(t.begin() + long(v + 1), t.end());
                    out += t[i].text + rewriteGeneral(tail) + " LIMIT " + t[v].text;
                    return out;
                }
            }
        }
        out += t[i].text;
    }
    return out;
}

}  // namespace

void ensureMetadata(sqlite3 *db) {
    sqlite3_exec(db,
                 "CREATE TABLE IF NOT EXISTS iiapi_meta(key TEXT PRIMARY KEY, value TEXT);"
                 "CREATE TABLE IF NOT EXISTS iiapi_tables(table_name TEXT PRIMARY KEY, owner TEXT);"
                 "CREATE TABLE IF NOT EXISTS iiapi_columns(table_name TEXT, column_name TEXT, seq INT,"
                 " ingres_type TEXT, PRIMARY KEY(table_name, column_name));",
                 nullptr, nullptr, nullptr);
}

bool rewriteStatement(Conn &c, std::string_view text, Rewritten &out, Fault &f) {
    std::vector<Tok> t;
    if (!tokenize(text, t, f)) return false;
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
        if (inner.kind != Rewritten::Kind::Sql) {
            f = makeFault("42000", native::kSyntax, "This statement cannot be prepared");
            return false;
        }
        out.kind = Rewritten::Kind::Prepare;
        out.sql = inner.sql;
        return true;
    }
    if (w == "execute") {
        if (isWord(t, n, "immediate")) return rewriteStatement(c, join(t, n + 1, t.size()), out, f);
        if (isWord(t, n, "procedure")) {
            out.kind = Rewritten::Kind::ExecuteProcedure;
            out.sql = join(t, skip(t, n + 1), t.size());
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
        // Session, lock mode and other settings have no counterpart in the embedded store.
        out.kind = Rewritten::Kind::Ignore;
        return true;
    }
    if (w == "create" && isWord(t, n, "table")) return rewriteCreateTable(c, t, n + 1, out, f);
    if (w == "drop" && isWord(t, n, "table")) {
        size_t p = skip(t, n + 1);
        if (isWord(t, p, "if")) p = skip(t, skip(t, p + 1) + 1);
        if (p < t.size()) {
            size_t q = skip(t, p + 1);
            if (q < t.size() && t[q].text == ".") p = skip(t, q + 1);
            if (p < t.size()) out.table = identName(t[p]);
        }
        out.kind = Rewritten::Kind::DropTable;
        out.sql = rewriteGeneral(t);
        return true;
    }
    out.kind = Rewritten::Kind::Sql;
    out.sql = rewriteGeneral(t);
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

IngType floatOf() {
    IngType t;
    t.type = IIAPI_FLT_TYPE;
    t.length = 8;
    t.precision = 15;
    t.decl = "float";
    return t;
}

constexpr int kDefaultTextLength = 2000;

// Type of an expression from its tokens; false when the engine cannot tell.
bool typeExpression(Conn &c, const std::vector<Tok> &e, IngType &out, bool &hasAlias) {
    hasAlias = false;
    std::vector<Tok> x = e;
    if (x.size() >= 2 && x[x.size() - 2].t == Tok::Word && lower(x[x.size() - 2].text) == "as") {
        x.resize(x.size() - 2);
        hasAlias = true;
    } else if (x.size() >= 2 && (x.back().t == Tok::Word || x.back().t == Tok::QuotedId) &&
               (x[x.size() - 2].t == Tok::Word || x[x.size() - 2].t == Tok::QuotedId ||
                x[x.size() - 2].text == ")" || x[x.size() - 2].t == Tok::Number ||
                x[x.size() - 2].t == Tok::String)) {
        x.pop_back();
        hasAlias = true;
    }
    if (x.empty()) return false;
    if (x.size() == 2 && x[0].text == "-" && x[1].t == Tok::Number) x = {Tok{Tok::Number, "-" + x[1].text}};
    if (x.size() == 1) {
        const Tok &k = x[0];
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
    if (x[0].t == Tok::Word && x[1].text == "(" && x.back().text == ")") {
        int depth = 0;
        size_t closeAt = 0;
        for (size_t i = 1; i < x.size(); ++i) {
            if (x[i].text == "(") ++depth;
            if (x[i].text == ")" && --depth == 0) {
                closeAt = i;
                break;
            }
        }
        if (closeAt != x.size() - 1) return false;
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
        if (fn == "int1" || fn == "int2" || fn == "int4" || fn == "int8" || fn == "integer1" ||
            fn == "integer2" || fn == "integer4" || fn == "integer8") {
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
        if (fn == "sum" || fn == "min" || fn == "max" || fn == "abs") {
            if (typeExpression(c, arg, out, dummy)) {
                if (fn == "sum" && out.type == IIAPI_INT_TYPE) out = intOf(8);
                return true;
            }
            return false;
        }
        if (fn == "date" || fn == "ingresdate") {
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
            fn == "squeeze" || fn == "left" || fn == "right" || fn == "concat" || fn == "varchar" ||
            fn == "char" || fn == "ifnull" || fn == "shift" || fn == "charextract" || fn == "_time" ||
            fn == "iitypename" || fn == "substring" || fn == "substr") {
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
    return false;
}

}  // namespace

void describeColumns(Conn &c, sqlite3_stmt *st, std::string_view sql, std::vector<IngType> &cols,
                     std::vector<std::string> &names) {
    int n = sqlite3_column_count(st);
    cols.assign(size_t(n), IngType{});
    names.assign(size_t(n), std::string());
    std::vector<std::vector<Tok>> items = selectItems(sql);
    sqlite3_stmt *meta = nullptr;
    bool haveMeta = sqlite3_prepare_v2(c.db,
                                       "SELECT ingres_type FROM iiapi_columns WHERE table_name = lower(?) AND "
                                       "column_name = lower(?)",
                                       -1, &meta, nullptr) == SQLITE_OK;
    for (int i = 0; i < n; ++i) {
        IngType &t = cols[size_t(i)];
        const char *nm = sqlite3_column_name(st, i);
        names[size_t(i)] = nm ? nm : "";
        const char *tbl = sqlite3_column_table_name(st, i);
        const char *orig = sqlite3_column_origin_name(st, i);
        bool typed = false;
        if (tbl && orig) {
            if (haveMeta) {
                sqlite3_reset(meta);
                sqlite3_bind_text(meta, 1, tbl, -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(meta, 2, orig, -1, SQLITE_TRANSIENT);
                if (sqlite3_step(meta) == SQLITE_ROW) {
                    const char *decl = reinterpret_cast<const char *>(sqlite3_column_text(meta, 0));
                    typed = decl && parseTypeText(decl, t, c.maxSegment);
                }
            }
            if (!typed) {
                // A table made by another SQLite program: its declared type, SQLite's meaning.
                const char *decl = sqlite3_column_decltype(st, i);
                std::string d = decl ? lower(decl) : std::string();
                if (d == "integer" || d == "int") {
                    t = intOf(8);
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
        if (!typed && size_t(i) < items.size()) {
            bool alias = false;
            typed = typeExpression(c, items[size_t(i)], t, alias);
            if (typed) t.nullable = true;
        }
        if (!typed) {
            t = varcharOf(kDefaultTextLength);
            t.nullable = true;
        }
    }
    sqlite3_finalize(meta);
}

}  // namespace iiapi
