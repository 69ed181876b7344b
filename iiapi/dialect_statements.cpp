// A statement the clients send, by its kind: the engine's own statements (PREPARE, EXECUTE,
// transactions, SET, procedures, permits) and the SQL SQLite runs once rewritten.
#include "iiapi/dialect.h"

namespace iiapi {

using namespace dialect;

namespace dialect {

namespace {

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
        while (n > 0 && (wordIs(x[n - 1], "asc") || wordIs(x[n - 1], "desc"))) --n;
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

bool rewritePrepare(Conn& c, const std::vector<Tok>& t, size_t n, Rewritten& out, Fault& f) {
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

bool rewriteExecuteProcedure(const std::vector<Tok>& t, size_t n, Rewritten& out, Fault& f) {
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
            f = makeFault("42000", native::kSyntax, "Syntax error in EXECUTE PROCEDURE near '" + t[p].text + "'");
            return false;
        }
        size_t q = skip(t, p + 1);
        while (q < t.size() && t[q].text != ")") {
            if (t[q].t != Tok::Word) {
                f = makeFault("42000", native::kSyntax, "Syntax error in EXECUTE PROCEDURE: parameter name expected");
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

bool rewriteExecute(Conn& c, const std::vector<Tok>& t, size_t n, Rewritten& out, Fault& f) {
    if (isWord(t, n, "immediate")) return rewriteStatement(c, join(t, n + 1, t.size()), out, f);
    if (isWord(t, n, "procedure")) return rewriteExecuteProcedure(t, n, out, f);
    if (n >= t.size() || t[n].t != Tok::Word || skip(t, n + 1) < t.size()) {
        f = makeFault("42000", native::kSyntax, "Syntax error in EXECUTE");
        return false;
    }
    out.kind = Rewritten::Kind::Execute;
    out.name = lower(t[n].text);
    return true;
}

bool rewriteRollback(const std::vector<Tok>& t, size_t n, Rewritten& out, Fault& f) {
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

bool rewriteSet(const std::vector<Tok>& t, size_t n, Rewritten& out, Fault& f) {
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
            f = makeFault("42000", native::kSyntax, "Syntax error in SET SESSION WITH XA_XID: branch text expected");
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

bool rewriteDropProcedure(const std::vector<Tok>& t, size_t n, Rewritten& out, Fault& f) {
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

bool rewritePermit(const std::vector<Tok>& t, size_t n, const std::string& w, Rewritten& out, Fault& f) {
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

bool rewriteCreateIndex(Conn& c, const std::vector<Tok>& t, size_t n, Rewritten& out) {
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

bool rewriteCreateView(Conn& c, const std::vector<Tok>& t, size_t n, Rewritten& out) {
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

bool rewriteDropTable(Conn& c, const std::vector<Tok>& t, size_t n, Rewritten& out) {
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
}  // namespace

}  // namespace dialect

bool rewriteStatement(Conn& c, std::string_view text, Rewritten& out, Fault& f) {
    std::vector<Tok> t;
    if (!tokenize(text, t, f) || !checkCasts(c, t, f)) return false;
    TypeScope scope(c, t);
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
    if (w == "prepare") return rewritePrepare(c, t, n, out, f);
    if (w == "execute") return rewriteExecute(c, t, n, out, f);
    if (w == "commit") {
        out.kind = Rewritten::Kind::Commit;
        return true;
    }
    if (w == "rollback" || w == "abort") return rewriteRollback(t, n, out, f);
    if (w == "savepoint") {
        if (n >= t.size() || (t[n].t != Tok::Word && t[n].t != Tok::Number)) {
            f = makeFault("42000", native::kSyntax, "Syntax error in SAVEPOINT: name expected");
            return false;
        }
        out.kind = Rewritten::Kind::Savepoint;
        out.name = t[n].text;
        return true;
    }
    if (w == "set") return rewriteSet(t, n, out, f);
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
    if (w == "drop" && isWord(t, n, "procedure")) return rewriteDropProcedure(t, n, out, f);
    if (w == "grant" || w == "revoke") return rewritePermit(t, n, w, out, f);
    if (w == "create" && (isWord(t, n, "index") || (isWord(t, n, "unique") && isWord(t, skip(t, n + 1), "index"))))
        return rewriteCreateIndex(c, t, n, out);
    if (w == "modify" || w == "comment" || (w == "create" && isWord(t, n, "statistics"))) {
        out.kind = Rewritten::Kind::Ignore;
        return true;
    }
    if (w == "create" && isWord(t, n, "view")) return rewriteCreateView(c, t, n, out);
    if (w == "drop" && (isWord(t, n, "table") || isWord(t, n, "view"))) return rewriteDropTable(c, t, n, out);
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

}  // namespace iiapi
