// The general rewrite of a statement SQLite runs: Ingres spellings of names, functions, typed
// literals and casts, "+" between texts and the server's division by zero; then its decimal
// arithmetic (dialect_decimals.cpp).
#include "iiapi/dialect.h"

#include <algorithm>
#include <cctype>

namespace iiapi {

namespace dialect {

// The columns called `name` (their tables and declared types): the one of the table a qualifier
// names (itself or by its correlation name) when it has one, else those in the tables the
// statement names when any of them has one, else those in every table.
std::vector<DeclaredColumn> declaredColumnsOf(Conn& c, const std::string& name, const std::string& qualifier) {
    std::string table = lower(qualifier);
    for (const auto& [alias, named] : c.typeAliases)
        if (alias == table) {
            table = named;
            break;
        }
    std::vector<DeclaredColumn> qualified, inScope, elsewhere;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c.db, "SELECT table_name, ingres_type FROM iiapi_columns WHERE column_name = ?", -1, &st,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW) {
            const unsigned char* holder = sqlite3_column_text(st, 0);
            const unsigned char* type = sqlite3_column_text(st, 1);
            if (!type) continue;
            DeclaredColumn d{holder ? reinterpret_cast<const char*>(holder) : "", reinterpret_cast<const char*>(type)};
            if (!table.empty() && d.table == table) qualified.push_back(d);
            const bool named = std::find(c.typeScope.begin(), c.typeScope.end(), d.table) != c.typeScope.end();
            (named ? inScope : elsewhere).push_back(std::move(d));
        }
    }
    sqlite3_finalize(st);
    return !qualified.empty() ? qualified : inScope.empty() ? elsewhere : inScope;
}

// The general rewrite without the decimal one, which reads the whole statement once it is done.
std::string rewriteSpellings(Conn& c, std::vector<Tok> t);

namespace {

// Names of text columns (qualified by a table or correlation name, if any), for telling
// concatenation from addition.
bool isTextColumnName(Conn& c, const std::string& name, const std::string& qualifier) {
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
    for (const DeclaredColumn& d : declaredColumnsOf(c, name, qualifier)) {
        IngType ty;
        if (parseTypeText(d.type, ty, c.maxSegment) && isTextType(ty.type)) return true;
    }
    return false;
}

// The qualifier of the name at t[i] (`q.name`), "" for none.
std::string qualifierBefore(const std::vector<Tok>& t, size_t i) {
    const size_t dot = prevSig(t, i);
    if (dot == std::string::npos || t[dot].text != ".") return "";
    const size_t q = prevSig(t, dot);
    return q != std::string::npos && (t[q].t == Tok::Word || t[q].t == Tok::QuotedId) ? identName(t[q]) : "";
}

bool isTextFunction(const std::string& fn) {
    static const char* names[] = {"varchar",   "char",      "text",      "c",           "nvarchar",   "nchar",
                                  "uppercase", "lowercase", "upper",     "lower",       "squeeze",    "trim",
                                  "left",      "right",     "concat",    "charextract", "iitypename", "dbmsinfo",
                                  "shift",     "pad",       "substring", "substr",      nullptr};
    for (const char** n = names; *n; ++n)
        if (fn == *n) return true;
    return false;
}

bool rightIsText(Conn& c, const std::vector<Tok>& t, size_t i);

// Whether the call of fn whose arguments open at t[open] gives text: a text function, or
// COALESCE and IFNULL of a text argument.
bool callIsText(Conn& c, const std::vector<Tok>& t, const std::string& fn, size_t open) {
    if (fn != "coalesce" && fn != "ifnull") return isTextFunction(fn);
    int depth = 0;
    for (size_t k = open; k < t.size(); ++k) {
        if (t[k].text == "(") {
            if (++depth == 1 && rightIsText(c, t, k + 1)) return true;
        } else if (t[k].text == ")") {
            if (--depth == 0) break;
        } else if (depth == 1 && t[k].text == "," && rightIsText(c, t, k + 1)) {
            return true;
        }
    }
    return false;
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
                return f != std::string::npos && t[f].t == Tok::Word && callIsText(c, t, lower(t[f].text), k);
            }
        }
        return false;
    }
    if (t[i].t == Tok::Word || t[i].t == Tok::QuotedId)
        return isTextColumnName(c, identName(t[i]), qualifierBefore(t, i));
    return false;
}

bool rightIsText(Conn& c, const std::vector<Tok>& t, size_t i) {
    i = skip(t, i);
    if (i >= t.size()) return false;
    if (t[i].t == Tok::String) return true;
    if (t[i].t != Tok::Word && t[i].t != Tok::QuotedId) return false;
    size_t n = skip(t, i + 1);
    if (n < t.size() && t[n].text == "(") return t[i].t == Tok::Word && callIsText(c, t, lower(t[i].text), n);
    // Qualified name: the column is the last part.
    while (n < t.size() && t[n].text == ".") {
        size_t m = skip(t, n + 1);
        if (m >= t.size()) return false;
        i = m;
        n = skip(t, m + 1);
    }
    return isTextColumnName(c, identName(t[i]), qualifierBefore(t, i));
}

}  // namespace

namespace {

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
        if (!columnTypeByName(c, identName(t[k]), ty, qualifierBefore(t, k)) || !isDateTimeType(ty.type)) return false;
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

// The type of CAST(expr AS type) whose '(' is t[n], in the engine's names of the SQL ones (AS
// and the closing parenthesis at as and close); false when it is no CAST the engine reads.
bool castType(const std::vector<Tok>& t, size_t n, std::string& decl, size_t& as, size_t& close) {
    if (n >= t.size() || t[n].text != "(") return false;
    int depth = 0;
    as = close = std::string::npos;
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
    decl.clear();
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
    return true;
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
    size_t as = 0, close = 0;
    std::string decl;
    if (w != "cast" || !castType(t, n, decl, as, close)) return false;
    IngType ty;
    if (decl.empty() || !parseTypeText(decl, ty, c.maxSegment)) return false;
    std::vector<Tok> expr(t.begin() + long(n + 1), t.begin() + long(as));
    out = "ii_cast(" + rewriteSpellings(c, expr) + ", '" + ty.decl + "')";
    last = close;
    return true;
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

// Parenthesised members of a UNION lose their parentheses.
void unwrapUnionMembers(std::vector<Tok>& t) {
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].text != "(") continue;
        size_t p = prevSig(t, i);
        bool head = p == std::string::npos || isWord(t, p, "union") || isWord(t, p, "all") ||
                    isWord(t, p, "intersect") || isWord(t, p, "except");
        if (!head || !isWord(t, skip(t, i + 1), "select")) continue;
        const size_t close = closingOf(t, i);
        if (close == std::string::npos) continue;
        size_t after = skip(t, close + 1);
        if (after < t.size() && !isWord(t, after, "union") && !isWord(t, after, "order") &&
            !isWord(t, after, "intersect") && !isWord(t, after, "except") && !isWord(t, after, "limit"))
            continue;
        t[i] = {Tok::Space, " "};
        t[close] = {Tok::Space, " "};
    }
}

// A trailing FOR UPDATE [OF ...] / FOR READONLY / FOR READ ONLY of a SELECT goes.
void dropForClause(std::vector<Tok>& t) {
    int depth = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].text == "(")
            ++depth;
        else if (t[i].text == ")")
            --depth;
        else if (depth == 0 && isWord(t, i, "for")) {
            size_t n = skip(t, i + 1);
            if (isWord(t, n, "update") || isWord(t, n, "readonly") || isWord(t, n, "read") || isWord(t, n, "direct") ||
                isWord(t, n, "deferred")) {
                t.resize(i);
                break;
            }
        }
    }
}

// SELECT FIRST n ... at t[i] becomes SELECT ... LIMIT n (at the end of that SELECT); false when
// the SELECT has no FIRST.
bool rewriteSelectFirst(Conn& c, const std::vector<Tok>& t, size_t& i, std::vector<Tok>& o) {
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
                } else if (depth == 0 &&
                           (isWord(t, k2, "union") || isWord(t, k2, "intersect") || isWord(t, k2, "except"))) {
                    end = k2;
                    break;
                }
            }
            std::vector<Tok> body(t.begin() + long(v + 1), t.begin() + long(end));
            std::string inner = rewriteSpellings(c, body);
            o.push_back(t[i]);
            o.push_back({Tok::Space, inner + " LIMIT " + t[v].text + " "});
            i = end - 1;
            return true;
        }
    }
    return false;
}

}  // namespace

// General rewrites of a statement SQLite runs: Ingres spellings that SQLite reads otherwise.
std::string rewriteSpellings(Conn& c, std::vector<Tok> t) {
    t = guardDivisors(std::move(t));
    unwrapUnionMembers(t);
    dropForClause(t);
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
            if (w == "select" && rewriteSelectFirst(c, t, i, o)) continue;
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

std::string rewriteGeneral(Conn& c, std::vector<Tok> t) {
    const bool decimals = mayHoldDecimals(t);
    std::string sql = rewriteSpellings(c, std::move(t));
    return decimals ? rewriteDecimals(c, sql) : sql;
}

bool checkCasts(Conn& c, const std::vector<Tok>& t, Fault& f) {
    for (size_t i = 0; i < t.size(); ++i) {
        std::string decl;
        size_t as = 0, close = 0;
        IngType ty;
        if (!isWord(t, i, "cast") || !castType(t, skip(t, i + 1), decl, as, close) || decl.empty() ||
            parseTypeText(decl, ty, c.maxSegment))
            continue;
        f = makeFault("42000", native::kSyntax, "Syntax error: CAST to the unknown type '" + decl + "'");
        return false;
    }
    return true;
}

}  // namespace dialect

}  // namespace iiapi
