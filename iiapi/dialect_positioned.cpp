// Cursors and positioned changes: what a cursor over a SELECT lets UPDATE and DELETE ... WHERE
// CURRENT OF do, and such a statement turned into one on the row id.
#include "iiapi/dialect.h"

namespace iiapi {

namespace dialect {

namespace {

bool isAggregateName(const std::string& w) {
    return w == "count" || w == "sum" || w == "avg" || w == "min" || w == "max";
}

// A word that ends the FROM item of a cursor's table, or joins another table to it.
bool endsTableItem(const std::vector<Tok>& t, size_t i) {
    return isClauseWord(t, i) || isWord(t, i, "join") || isWord(t, i, "outer") || isWord(t, i, "offset");
}

}  // namespace

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

}  // namespace dialect

}  // namespace iiapi
