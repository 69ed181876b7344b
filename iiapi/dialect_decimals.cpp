// DECIMAL arithmetic as the server computes it: the expressions of a statement that the result
// typing finds to be decimals (+, -, *, / and signs over decimal columns, literals, casts, sums
// and averages, with integers and markers among them), and their comparisons, go to the engine's
// exact decimal functions instead of SQLite's doubles. Each decimal result carries the decimal
// collation, so that it sorts, groups and takes MIN and MAX by its number.
#include "iiapi/dialect.h"

#include <map>
#include <memory>

namespace iiapi {

namespace dialect {

namespace {

// A token with whether blanks stood before it.
struct Piece {
    Tok tok;
    bool spaced = false;
};
using Pieces = std::vector<Piece>;

// One element of an expression level: an operand (with what the rewrite knows of its value), an
// operator, a comparison, a keyword or anything else.
struct Unit {
    enum Kind : uint8_t { Operand, Op, Compare, Keyword, Other } kind = Other;
    enum Form : uint8_t { Expression, Marker, Name, Number, Text } form = Expression;
    Pieces pieces;
    std::string name;       // Name: the column as the catalogs keep it
    std::string qualifier;  // and the table or correlation name before it, if any
    bool typed = false, known = false;
    IngType type;
    bool hasMarker = false;
};

// How a decimal column keeps its values, which decides what SQLite compares right by itself:
// exact text under the decimal collation; numbers under NUMERIC affinity (at most 15 digits,
// tables made before the text); anything (a BLOB column of such a table).
enum class Style : uint8_t { Loose, Numeric, Exact };

struct ColumnFacts {
    bool found = false;
    IngType type;
    Style style = Style::Loose;
};

bool isDecimal(const IngType& t) { return t.type == IIAPI_DEC_TYPE; }

std::vector<Tok> tokensOf(const Pieces& p) {
    std::vector<Tok> t;
    t.reserve(p.size());
    for (const Piece& x : p) t.push_back(x.tok);
    return t;
}

class Pass {
public:
    explicit Pass(Conn& conn) : c(conn) {}
    Conn& c;
    bool changed = false;

    const ColumnFacts& column(const Unit& u) {
        const std::string& name = u.name;
        auto [it, fresh] = columns.try_emplace(u.qualifier + "." + name);
        if (!fresh) return it->second;
        ColumnFacts& f = it->second;
        const std::vector<DeclaredColumn> found = declaredColumnsOf(c, name, u.qualifier);
        if (found.empty() || !parseTypeText(found.front().type, f.type, c.maxSegment)) return f;
        f.found = true;
        if (!isDecimal(f.type)) return f;
        // The loosest of the tables that may hold it.
        f.style = Style::Exact;
        for (const DeclaredColumn& d : found) {
            IngType t;
            if (!parseTypeText(d.type, t, c.maxSegment) || !isDecimal(t)) continue;
            const char *decl = nullptr, *collation = nullptr;
            Style s = Style::Loose;
            if (sqlite3_table_column_metadata(c.db, nullptr, d.table.c_str(), name.c_str(), &decl, &collation, nullptr,
                                              nullptr, nullptr) == SQLITE_OK) {
                if (collation && lower(collation) == kDecimalCollation)
                    s = Style::Exact;
                else if (decl && lower(decl) == "numeric")
                    s = Style::Numeric;
            }
            f.style = std::min(f.style, s);
        }
        return f;
    }

    // Whether the operand's type is known (a marker's never is: it takes its partner's).
    bool typeOf(Unit& u) {
        if (u.typed) return u.known;
        u.typed = true;
        if (u.form == Unit::Marker) return u.known = false;
        if (u.form == Unit::Name) {
            const ColumnFacts& f = column(u);
            if (f.found) {
                u.type = f.type;
                return u.known = true;
            }
        }
        return u.known = typeOperand(c, tokensOf(u.pieces), u.type);
    }

private:
    std::map<std::string, ColumnFacts> columns;
};

bool isKeyword(const std::string& w) {
    static const char* words[] = {
        "select",    "from",    "where",      "and",    "or",        "not",        "on",      "group",     "by",
        "order",     "having",  "when",       "then",   "else",      "end",        "case",    "as",        "is",
        "null",      "like",    "glob",       "regexp", "match",     "in",         "between", "union",     "all",
        "distinct",  "limit",   "offset",     "values", "set",       "into",       "asc",     "desc",      "exists",
        "join",      "inner",   "left",       "right",  "full",      "outer",      "cross",   "natural",   "using",
        "insert",    "update",  "delete",     "create", "table",     "view",       "index",   "escape",    "collate",
        "default",   "primary", "references", "check",  "unique",    "constraint", "with",    "returning", "over",
        "partition", "filter",  "nulls",      "except", "intersect", "true",       "false",   "unknown",   "cast",
        "for",       "if",      nullptr};
    for (const char** k = words; *k; ++k)
        if (w == *k) return true;
    return false;
}

bool isArithmetic(const std::string& p) {
    return p == "+" || p == "-" || p == "*" || p == "/" || p == "%" || p == "||";
}
bool isComparison(const std::string& p) {
    return p == "=" || p == "<" || p == ">" || p == "<=" || p == ">=" || p == "<>" || p == "!=";
}

Piece word(const std::string& w, bool spaced = false) { return {{Tok::Word, w}, spaced}; }
Piece punct(const std::string& p, bool spaced = false) { return {{Tok::Punct, p}, spaced}; }

// name(arg, ...), wrapped as (name(...) COLLATE ii_decimal) when it gives a decimal.
Pieces call(const char* name, const std::vector<Pieces>& args, bool spaced, bool collated) {
    Pieces out;
    if (collated) out.push_back(punct("(", spaced));
    out.push_back(word(name, spaced && !collated));
    out.push_back(punct("("));
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) out.push_back(punct(","));
        for (size_t k = 0; k < args[i].size(); ++k) {
            Piece p = args[i][k];
            if (k == 0) p.spaced = i > 0;
            out.push_back(p);
        }
    }
    out.push_back(punct(")"));
    if (collated) {
        out.push_back(word("COLLATE", true));
        out.push_back(word(kDecimalCollation, true));
        out.push_back(punct(")"));
    }
    return out;
}

// An expression of operands joined by operators, as a tree with '*' '/' '%' before '+' '-'.
struct Node {
    char op = 0;  // 0 an operand, 'n' a sign '-', 'p' a sign '+', else the binary operator
    Unit* leaf = nullptr;
    const Piece* opPiece = nullptr;
    std::unique_ptr<Node> l, r;
    bool marker = false, known = false;
    IngType type, leftType, rightType;  // a binary node's operands as typed for it
};

bool numeric(const IngType& t) {
    return t.type == IIAPI_INT_TYPE || t.type == IIAPI_DEC_TYPE || t.type == IIAPI_FLT_TYPE || t.type == IIAPI_MNY_TYPE;
}

class Expression {
public:
    Expression(Pass& pass, std::vector<Unit>& units, size_t b, size_t e) : p(pass), u(units), at(b), end(e) {}

    std::unique_ptr<Node> parse() { return sum(); }

    // Types the tree from its operands: a marker takes the type of what it is combined with.
    void type(Node& n) {
        if (n.op == 0) {
            n.marker = n.leaf->form == Unit::Marker;
            n.known = !n.marker && p.typeOf(*n.leaf) && numeric(n.leaf->type);
            n.type = n.leaf->type;
            return;
        }
        if (!n.r) {
            type(*n.l);
            n.marker = n.l->marker;
            n.known = n.l->known;
            n.type = n.l->type;
            return;
        }
        type(*n.l);
        type(*n.r);
        if (n.op == '%') return;
        IngType lt = n.l->type, rt = n.r->type;
        bool lk = n.l->known, rk = n.r->known;
        if (n.l->marker && rk) lt = rt, lk = true;
        if (n.r->marker && lk) rt = lt, rk = true;
        if (!lk || !rk) return;
        n.known = true;
        n.type = numericResult(lt, std::string(1, n.op), rt);
        n.leftType = lt;
        n.rightType = rt;
    }

    Pieces emit(const Node& n) {
        if (n.op == 0) return n.leaf->pieces;
        if (!n.r) {
            const bool exact =
                n.op == 'n' && n.known && isDecimal(n.type) && !(n.l->op == 0 && n.l->leaf->form == Unit::Number);
            if (exact) {
                p.changed = true;
                return call(kDecimalNegate, {emit(*n.l)}, n.opPiece->spaced, true);
            }
            Pieces out{*n.opPiece};
            Pieces c = emit(*n.l);
            out.insert(out.end(), c.begin(), c.end());
            return out;
        }
        Pieces l = emit(*n.l), r = emit(*n.r);
        if (n.known && isDecimal(n.type)) {
            p.changed = true;
            const bool spaced = !l.empty() && l.front().spaced;
            switch (n.op) {
                case '+':
                    return call(kDecimalAdd, {l, r}, spaced, true);
                case '-':
                    return call(kDecimalSubtract, {l, r}, spaced, true);
                case '*':
                    return call(kDecimalMultiply, {l, r}, spaced, true);
                default: {
                    const int scale = numericResult(n.leftType, "/", n.rightType).scale;
                    return call(kDecimalDivide, {l, r, {{{Tok::Number, std::to_string(scale)}, false}}}, spaced, true);
                }
            }
        }
        l.push_back(*n.opPiece);
        l.insert(l.end(), r.begin(), r.end());
        return l;
    }

private:
    Pass& p;
    std::vector<Unit>& u;
    size_t at, end;

    bool opIs(const char* ops) const {
        if (at >= end || u[at].kind != Unit::Op) return false;
        const std::string& t = u[at].pieces.front().tok.text;
        return t.size() == 1 && std::string_view(ops).find(t[0]) != std::string_view::npos;
    }
    std::unique_ptr<Node> binary(char op, std::unique_ptr<Node> l, std::unique_ptr<Node> r, const Piece* piece) {
        auto n = std::make_unique<Node>();
        n->op = op;
        n->opPiece = piece;
        n->l = std::move(l);
        n->r = std::move(r);
        return n;
    }
    // Operands read by next, joined left to right by the operators in ops.
    template <class Next>
    std::unique_ptr<Node> chain(const char* ops, Next next) {
        auto n = next();
        while (opIs(ops)) {
            const Piece* piece = &u[at].pieces.front();
            ++at;
            n = binary(piece->tok.text[0], std::move(n), next(), piece);
        }
        return n;
    }
    std::unique_ptr<Node> sum() {
        return chain("+-", [this] { return term(); });
    }
    std::unique_ptr<Node> term() {
        return chain("*/%", [this] { return sign(); });
    }
    std::unique_ptr<Node> sign() {
        if (opIs("+-")) {
            auto n = std::make_unique<Node>();
            n->opPiece = &u[at].pieces.front();
            n->op = n->opPiece->tok.text == "-" ? 'n' : 'p';
            ++at;
            n->l = sign();
            return n;
        }
        auto n = std::make_unique<Node>();
        n->leaf = &u[at++];
        return n;
    }
};

// What stands before a group decides whether it is a call's argument list.
bool isCallName(const std::vector<Unit>& u) {
    return !u.empty() && u.back().kind == Unit::Operand && u.back().form == Unit::Name && u.back().pieces.size() == 1 &&
           u.back().pieces.front().tok.t == Tok::Word;
}

// A number SQLite would read as a double losing digits (more than 15 significant ones, or an
// integer past 64 bits): the exact text, cast to the decimal it is.
bool exactLiteral(Pass& p, Unit& u) {
    const std::string& text = u.pieces.front().tok.text;
    if (text.find_first_of("eE") != std::string::npos) return false;
    size_t digits = 0;
    bool lead = true;
    for (char ch : text) {
        if (ch == '.') continue;
        if (lead && ch == '0') continue;
        lead = false;
        ++digits;
    }
    if (digits <= 15 || !p.typeOf(u) || !isDecimal(u.type)) return false;
    const bool spaced = u.pieces.front().spaced;
    u.pieces =
        call("ii_cast", {{{{Tok::String, "'" + text + "'"}, false}}, {{{Tok::String, "'" + u.type.decl + "'"}, false}}},
             spaced, true);
    u.form = Unit::Expression;
    p.changed = true;
    return true;
}

class Level {
public:
    Level(Pass& pass, const Pieces& s) : p(pass), s(s) {}

    // The pieces of [b, e) rewritten; whole gets the level when it is one operand (after a
    // DISTINCT or ALL).
    Pieces run(size_t b, size_t e, Unit& whole) {
        std::vector<Unit> u = units(b, e);
        expressions(u);
        comparisons(u);
        Pieces out;
        for (const Unit& x : u) out.insert(out.end(), x.pieces.begin(), x.pieces.end());
        size_t first = 0;
        if (u.size() == 2 && u[0].kind == Unit::Keyword) {
            const std::string w = lower(u[0].pieces.front().tok.text);
            if (w == "distinct" || w == "all") first = 1;
        }
        whole = Unit{};
        if (u.size() == first + 1 && u[first].kind == Unit::Operand) whole = u[first];
        for (const Unit& x : u) whole.hasMarker = whole.hasMarker || x.hasMarker;
        return out;
    }

private:
    Pass& p;
    const Pieces& s;

    size_t closing(size_t open, size_t e) const {
        int depth = 0;
        for (size_t k = open; k < e; ++k) {
            if (s[k].tok.t != Tok::Punct) continue;
            if (s[k].tok.text == "(") ++depth;
            if (s[k].tok.text == ")" && --depth == 0) return k;
        }
        return std::string::npos;
    }

    std::vector<Unit> units(size_t b, size_t e) {
        std::vector<Unit> u;
        for (size_t k = b; k < e; ++k) {
            const Tok& t = s[k].tok;
            Unit x;
            x.pieces = {s[k]};
            if (t.t == Tok::Punct && t.text == "(") {
                const size_t close = closing(k, e);
                if (close == std::string::npos) {
                    u.push_back(x);
                    continue;
                }
                group(u, k, close);
                k = close;
                continue;
            }
            if (wordIs(t, "collate") && k + 1 < e && !u.empty()) {
                // x COLLATE name stays one operand.
                u.back().pieces.push_back(s[k]);
                u.back().pieces.push_back(s[++k]);
                continue;
            }
            if (t.t == Tok::Word && isKeyword(lower(t.text))) {
                x.kind = Unit::Keyword;
            } else if (t.t == Tok::Word || t.t == Tok::QuotedId) {
                // owner.table.column: the column is the last part; t.* is no operand.
                size_t last = k;
                while (last + 2 < e && s[last + 1].tok.text == "." &&
                       (s[last + 2].tok.t == Tok::Word || s[last + 2].tok.t == Tok::QuotedId))
                    last += 2;
                for (size_t m = k + 1; m <= last; ++m) x.pieces.push_back(s[m]);
                if (last + 2 < e && s[last + 1].tok.text == "." && s[last + 2].tok.text == "*") {
                    x.pieces.push_back(s[last + 1]);
                    x.pieces.push_back(s[last + 2]);
                    k = last + 2;
                } else {
                    x.kind = Unit::Operand;
                    x.form = Unit::Name;
                    x.name = identName(s[last].tok);
                    if (last > k) x.qualifier = identName(s[last - 2].tok);
                    k = last;
                }
            } else if (t.t == Tok::Number) {
                x.kind = Unit::Operand;
                x.form = Unit::Number;
                exactLiteral(p, x);
            } else if (t.t == Tok::String) {
                x.kind = Unit::Operand;
                x.form = Unit::Text;
            } else if (t.t == Tok::Param) {
                x.kind = Unit::Operand;
                x.form = Unit::Marker;
                x.hasMarker = true;
            } else if (t.t == Tok::Punct && isArithmetic(t.text)) {
                x.kind = Unit::Op;
            } else if (t.t == Tok::Punct && isComparison(t.text)) {
                x.kind = Unit::Compare;
            }
            u.push_back(std::move(x));
        }
        return u;
    }

    // The group [open, close]: a call's arguments when a name stands before it, else an operand.
    void group(std::vector<Unit>& u, size_t open, size_t close) {
        Unit inner;
        Pieces g{s[open]};
        Pieces in = Level(p, s).run(open + 1, close, inner);
        g.insert(g.end(), in.begin(), in.end());
        g.push_back(s[close]);
        if (!isCallName(u)) {
            Unit x = inner.kind == Unit::Operand ? inner : Unit{};
            x.kind = Unit::Operand;
            x.form = x.form == Unit::Marker ? Unit::Marker : Unit::Expression;
            x.pieces = std::move(g);
            x.hasMarker = inner.hasMarker;
            u.push_back(std::move(x));
            return;
        }
        Unit& f = u.back();
        const std::string fn = lower(f.pieces.front().tok.text);
        const bool spaced = f.pieces.front().spaced;
        f.form = Unit::Expression;
        f.hasMarker = inner.hasMarker;
        f.typed = false;
        f.pieces.insert(f.pieces.end(), g.begin(), g.end());
        const bool decimalArgument = inner.kind == Unit::Operand && p.typeOf(inner) && isDecimal(inner.type);
        if (fn == kNonzeroGuard && inner.kind == Unit::Operand) {
            f.typed = inner.typed;
            f.known = inner.known;
            f.type = inner.type;
        } else if ((fn == "sum" || (fn == "avg" && !inner.hasMarker)) && decimalArgument) {
            // The sum of decimals keeps their scale in 31 digits; the average is that sum over the
            // count, to the same scale.
            f.typed = true;
            f.known = parseTypeText(
                "decimal(" + std::to_string(kDecimalResultDigits) + "," + std::to_string(inner.type.scale) + ")",
                f.type, p.c.maxSegment);
            Pieces total = call(kDecimalSum, {in}, false, false);
            if (fn == "sum") {
                f.pieces = call(kDecimalSum, {in}, spaced, true);
            } else {
                Pieces count = {word("count")};
                count.push_back(punct("("));
                count.insert(count.end(), in.begin(), in.end());
                count.push_back(punct(")"));
                f.pieces =
                    call(kDecimalDivide, {total, count, {{{Tok::Number, std::to_string(inner.type.scale)}, false}}},
                         spaced, true);
            }
            p.changed = true;
        } else if (fn == "ii_cast" && (close + 1 >= s.size() || !equalsLower(s[close + 1].tok.text, "collate")) &&
                   p.typeOf(f) && isDecimal(f.type)) {
            // A cast to a decimal sorts by its number too.
            Pieces cast = f.pieces;
            cast.front().spaced = false;
            f.pieces = {punct("(", spaced)};
            f.pieces.insert(f.pieces.end(), cast.begin(), cast.end());
            for (Piece x : {word("COLLATE", true), word(kDecimalCollation, true), punct(")")}) f.pieces.push_back(x);
            p.changed = true;
        }
    }

    // Runs of operands and operators become one operand, their decimal parts rewritten.
    void expressions(std::vector<Unit>& u) {
        auto term = [&](size_t i) {
            while (i < u.size() && u[i].kind == Unit::Op &&
                   (u[i].pieces.front().tok.text == "+" || u[i].pieces.front().tok.text == "-"))
                ++i;
            return i < u.size() && u[i].kind == Unit::Operand ? i + 1 : std::string::npos;
        };
        for (size_t i = 0; i < u.size(); ++i) {
            const bool starts =
                u[i].kind == Unit::Operand || (u[i].kind == Unit::Op && (i == 0 || u[i - 1].kind != Unit::Operand));
            if (!starts) continue;
            size_t j = term(i);
            if (j == std::string::npos) continue;
            while (j < u.size() && u[j].kind == Unit::Op) {
                const size_t k = term(j + 1);
                if (k == std::string::npos) break;
                j = k;
            }
            bool concatenation = false, anyOp = false;
            for (size_t k = i; k < j; ++k)
                if (u[k].kind == Unit::Op) {
                    anyOp = true;
                    concatenation = concatenation || u[k].pieces.front().tok.text == "||";
                }
            // A concatenation is text; SQLite binds || before the others, so it is left whole.
            if (!anyOp || concatenation) {
                i = j - 1;
                continue;
            }
            Expression x(p, u, i, j);
            std::unique_ptr<Node> tree = x.parse();
            x.type(*tree);
            Unit r;
            r.kind = Unit::Operand;
            r.pieces = x.emit(*tree);
            r.typed = true;
            r.known = tree->known;
            r.type = tree->type;
            for (size_t k = i; k < j; ++k) r.hasMarker = r.hasMarker || u[k].hasMarker;
            u.erase(u.begin() + long(i), u.begin() + long(j));
            u.insert(u.begin() + long(i), std::move(r));
        }
    }

    // Whether SQLite's own comparison of a and b would miss digits: so unless one is a column
    // whose affinity and collation read the other as its number.
    bool needsExactComparison(Unit& a, Unit& b) {
        if ((a.form == Unit::Marker || b.form == Unit::Marker) &&
            (a.form == Unit::Name || b.form == Unit::Name || a.form == b.form))
            return false;
        p.typeOf(a);
        p.typeOf(b);
        const bool da = a.known && isDecimal(a.type), db = b.known && isDecimal(b.type);
        if (!da && !db) return false;
        auto exactKind = [](const Unit& x) {
            return x.form == Unit::Marker ||
                   (x.known && (x.type.type == IIAPI_INT_TYPE || x.type.type == IIAPI_DEC_TYPE));
        };
        if (!exactKind(a) || !exactKind(b)) return false;
        return !(safeColumn(a, b) || safeColumn(b, a));
    }

    bool safeColumn(Unit& column, Unit& other) {
        if (column.form != Unit::Name) return false;
        const ColumnFacts& f = p.column(column);
        const Style style = !f.found ? Style::Loose : isDecimal(f.type) ? f.style : Style::Numeric;
        switch (style) {
            case Style::Exact:
                // The column's text affinity and collation take any value but another column's.
                return other.form != Unit::Name || p.column(other).style == Style::Exact;
            case Style::Numeric:
                return other.form == Unit::Marker || other.form == Unit::Number;
            default:
                return false;
        }
    }

    void comparisons(std::vector<Unit>& u) {
        bool assignments = false;  // UPDATE ... SET a = b: no comparison
        for (size_t i = 0; i < u.size(); ++i) {
            if (u[i].kind == Unit::Keyword) {
                const std::string w = lower(u[i].pieces.front().tok.text);
                if (w == "set") assignments = true;
                if (w == "where" || w == "from") assignments = false;
                if (w == "between") between(u, i);
                continue;
            }
            if (u[i].kind != Unit::Compare || i == 0 || i + 1 >= u.size() || u[i - 1].kind != Unit::Operand ||
                u[i + 1].kind != Unit::Operand)
                continue;
            if (assignments && u[i].pieces.front().tok.text == "=") continue;
            if (!needsExactComparison(u[i - 1], u[i + 1])) continue;
            Unit r;
            r.kind = Unit::Operand;
            const bool spaced = u[i - 1].pieces.front().spaced;
            r.pieces = {punct("(", spaced)};
            Pieces cmp = call(kDecimalCompare, {u[i - 1].pieces, u[i + 1].pieces}, false, false);
            r.pieces.insert(r.pieces.end(), cmp.begin(), cmp.end());
            for (Piece x : {Piece{u[i].pieces.front().tok, true}, Piece{{Tok::Number, "0"}, true}, punct(")")})
                r.pieces.push_back(x);
            r.hasMarker = u[i - 1].hasMarker || u[i + 1].hasMarker;
            u.erase(u.begin() + long(i - 1), u.begin() + long(i + 2));
            u.insert(u.begin() + long(i - 1), std::move(r));
            p.changed = true;
            --i;
        }
    }

    // x [NOT] BETWEEN low AND high, at the BETWEEN at i.
    void between(std::vector<Unit>& u, size_t& i) {
        const bool negated =
            i >= 1 && u[i - 1].kind == Unit::Keyword && equalsLower(u[i - 1].pieces.front().tok.text, "not");
        if (i < (negated ? 2u : 1u)) return;
        const size_t x = negated ? i - 2 : i - 1;
        if (i + 3 >= u.size() || u[x].kind != Unit::Operand || u[i + 1].kind != Unit::Operand ||
            u[i + 2].kind != Unit::Keyword || !equalsLower(u[i + 2].pieces.front().tok.text, "and") ||
            u[i + 3].kind != Unit::Operand)
            return;
        if (!needsExactComparison(u[x], u[i + 1]) && !needsExactComparison(u[x], u[i + 3])) return;
        Unit r;
        r.kind = Unit::Operand;
        const bool spaced = u[x].pieces.front().spaced;
        if (negated) r.pieces.push_back(word("NOT", spaced));
        Pieces in = call(kDecimalBetween, {u[x].pieces, u[i + 1].pieces, u[i + 3].pieces}, negated || spaced, false);
        r.pieces.insert(r.pieces.end(), in.begin(), in.end());
        r.hasMarker = u[x].hasMarker || u[i + 1].hasMarker || u[i + 3].hasMarker;
        u.erase(u.begin() + long(x), u.begin() + long(i + 4));
        u.insert(u.begin() + long(x), std::move(r));
        p.changed = true;
        i = x;
    }
};

}  // namespace

bool mayHoldDecimals(const std::vector<Tok>& t) {
    for (const Tok& k : t) {
        if (k.t == Tok::Punct && (isArithmetic(k.text) || isComparison(k.text))) return true;
        if (k.t == Tok::Number && k.text.size() > 15) return true;
        if (wordIs(k, "sum") || wordIs(k, "avg") || wordIs(k, "cast") || wordIs(k, "between")) return true;
    }
    return false;
}

std::string rewriteDecimals(Conn& c, const std::string& sql) {
    std::vector<Tok> t;
    Fault f;
    if (!tokenize(sql, t, f)) return sql;
    Pieces s;
    s.reserve(t.size());
    bool spaced = false;
    for (Tok& k : t) {
        if (k.t == Tok::Space) {
            spaced = true;
            continue;
        }
        s.push_back({std::move(k), spaced});
        spaced = false;
    }
    Pass p(c);
    Unit whole;
    const Pieces out = Level(p, s).run(0, s.size(), whole);
    if (!p.changed) return sql;
    std::string text;
    for (const Piece& x : out) {
        if (x.spaced && !text.empty()) text += ' ';
        text += x.tok.text;
    }
    return text;
}

}  // namespace dialect

}  // namespace iiapi
