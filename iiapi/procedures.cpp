// Database procedures: CREATE PROCEDURE with a small body language, and their execution.
#include "iiapi/dialect.h"
#include "iiapi/internal.h"

#include <cctype>
#include <cstring>
#include <functional>

namespace iiapi {

namespace {

using dialect::lower;

// A minimal lexer for procedure texts: words, strings, numbers and punctuation, with offsets so
// that SQL pieces can be cut out of the original text.
struct PTok {
    enum T { Word, String, QuotedId, Number, Punct, End } t;
    std::string text;
    size_t begin, end;
};

bool lex(const std::string& s, std::vector<PTok>& out, Fault& f) {
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            while (i < s.size() && s[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            size_t e = s.find("*/", i + 2);
            if (e == std::string::npos) {
                f = makeFault("42000", native::kSyntax, "Syntax error in procedure: unterminated comment");
                return false;
            }
            i = e + 2;
            continue;
        }
        size_t b = i;
        if (c == '\'' || c == '"') {
            i = quotedEnd(s, i);
            if (i == std::string_view::npos) {
                f = makeFault("42000", native::kSyntax, "Syntax error in procedure: unterminated quote");
                return false;
            }
            out.push_back({c == '\'' ? PTok::String : PTok::QuotedId, s.substr(b, i - b), b, i});
        } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80) {
            while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_' || s[i] == '$' ||
                                    s[i] == '#' || static_cast<unsigned char>(s[i]) >= 0x80))
                ++i;
            out.push_back({PTok::Word, s.substr(b, i - b), b, i});
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
            out.push_back({PTok::Number, s.substr(b, i - b), b, i});
        } else {
            static const char* two[] = {"<>", "<=", ">=", "!=", "||"};
            size_t n = 1;
            for (const char* t : two)
                if (s.compare(i, 2, t) == 0) n = 2;
            i += n;
            out.push_back({PTok::Punct, s.substr(b, n), b, i});
        }
    }
    out.push_back({PTok::End, "", s.size(), s.size()});
    return true;
}

bool kw(const std::vector<PTok>& t, size_t i, const char* w) {
    return i < t.size() && t[i].t == PTok::Word && lower(t[i].text) == w;
}

struct Param {
    std::string name;
    std::string type;  // declared Ingres type text
    bool nullable = true;
    std::string mode = "IN";  // IN, OUT, INOUT
    std::string dflt;         // default expression text, empty for none
    bool hasDefault = false;
};

struct ProcDef {
    std::string name;
    std::vector<Param> params;
    std::vector<std::string> resultTypes;  // RESULT ROW (types)
    std::vector<Param> locals;
    std::string body;  // statements between BEGIN and END
};

// Reads a type text starting at token i up to a stop word or punctuation at depth 0.
std::string readType(const std::vector<PTok>& t, size_t& i, const std::string& src) {
    size_t b = t[i].begin, e = b;
    while (t[i].t != PTok::End) {
        if (t[i].t == PTok::Word) {
            std::string w = lower(t[i].text);
            if (w == "not" || w == "with" || w == "default") {
                if (w == "with" && (kw(t, i + 1, "time") || kw(t, i + 1, "local"))) {
                    e = t[i].end;
                    ++i;
                    continue;
                }
                break;
            }
            e = t[i].end;
            ++i;
        } else if (t[i].text == "(") {
            while (t[i].t != PTok::End && t[i].text != ")") ++i;
            if (t[i].t == PTok::End) break;
            e = t[i].end;
            ++i;
        } else {
            break;
        }
    }
    return src.substr(b, e - b);
}

// Reads "[IN|OUT|INOUT] name [=] type [NOT NULL] [WITH NULL|WITH DEFAULT|NOT DEFAULT|DEFAULT value]".
bool readParam(const std::vector<PTok>& t, size_t& i, const std::string& src, Param& p, int32_t seg, Fault& f) {
    if (kw(t, i, "in") || kw(t, i, "out") || kw(t, i, "inout")) {
        p.mode = lower(t[i].text) == "in" ? "IN" : lower(t[i].text) == "out" ? "OUT" : "INOUT";
        ++i;
    }
    if (t[i].t != PTok::Word) {
        f = makeFault("42000", native::kSyntax, "Syntax error in procedure: parameter name expected");
        return false;
    }
    p.name = lower(t[i].text);
    ++i;
    if (t[i].text == "=") ++i;
    p.type = lower(readType(t, i, src));
    IngType ty;
    if (p.type.empty() || !parseTypeText(p.type, ty, seg)) {
        f = makeFault("42000", native::kSyntax,
                      "Syntax error in procedure: unknown type '" + p.type + "' for " + p.name);
        return false;
    }
    p.type = ty.decl;
    while (t[i].t == PTok::Word) {
        if (kw(t, i, "not") && kw(t, i + 1, "null")) {
            p.nullable = false;
            i += 2;
        } else if (kw(t, i, "with") && kw(t, i + 1, "null")) {
            i += 2;
        } else if (kw(t, i, "with") && kw(t, i + 1, "default")) {
            p.hasDefault = true;
            p.dflt = (ty.type == IIAPI_INT_TYPE || ty.type == IIAPI_FLT_TYPE || ty.type == IIAPI_DEC_TYPE ||
                      ty.type == IIAPI_MNY_TYPE)
                         ? "0"
                         : "''";
            i += 2;
        } else if (kw(t, i, "not") && kw(t, i + 1, "default")) {
            i += 2;
        } else if (kw(t, i, "default")) {
            ++i;
            size_t b = t[i].begin, e = t[i].end;
            if (t[i].text == "-") {
                ++i;
                e = t[i].end;
            }
            ++i;
            p.dflt = src.substr(b, e - b);
            p.hasDefault = true;
        } else {
            break;
        }
    }
    return true;
}

bool parseProcedure(const std::string& src, ProcDef& d, int32_t seg, Fault& f) {
    std::vector<PTok> t;
    if (!lex(src, t, f)) return false;
    size_t i = 0;
    if (!kw(t, i, "create") || !kw(t, i + 1, "procedure")) {
        f = makeFault("42000", native::kSyntax, "Syntax error: CREATE PROCEDURE expected");
        return false;
    }
    i += 2;
    if (t[i].t != PTok::Word && t[i].t != PTok::QuotedId) {
        f = makeFault("42000", native::kSyntax, "Syntax error in CREATE PROCEDURE: name expected");
        return false;
    }
    d.name = t[i].t == PTok::Word ? lower(t[i].text) : t[i].text.substr(1, t[i].text.size() - 2);
    ++i;
    if (t[i].text == ".") {
        ++i;
        d.name = lower(t[i].text);
        ++i;
    }
    bool paren = t[i].text == "(";
    if (paren) ++i;
    if (!(paren && t[i].text == ")")) {
        while (t[i].t == PTok::Word && !(!paren && (kw(t, i, "as") || kw(t, i, "result")))) {
            Param p;
            if (!readParam(t, i, src, p, seg, f)) return false;
            for (auto& q : d.params)
                if (q.name == p.name) {
                    f = makeFault("42000", native::kSyntax, "Duplicate parameter " + p.name);
                    return false;
                }
            d.params.push_back(p);
            if (t[i].text == ",")
                ++i;
            else
                break;
        }
    }
    if (paren) {
        if (t[i].text != ")") {
            f = makeFault("42000", native::kSyntax,
                          "Syntax error in CREATE PROCEDURE: ')' expected near '" + t[i].text + "'");
            return false;
        }
        ++i;
    }
    if (kw(t, i, "result") && kw(t, i + 1, "row")) {
        i += 2;
        if (t[i].t == PTok::Word && t[i + 1].text == "(") ++i;
        if (t[i].text != "(") {
            f = makeFault("42000", native::kSyntax, "Syntax error in RESULT ROW");
            return false;
        }
        ++i;
        while (t[i].t != PTok::End && t[i].text != ")") {
            std::string ty = lower(readType(t, i, src));
            IngType it;
            if (!parseTypeText(ty, it, seg)) {
                f = makeFault("42000", native::kSyntax, "Syntax error in RESULT ROW: unknown type '" + ty + "'");
                return false;
            }
            d.resultTypes.push_back(it.decl);
            while (t[i].t == PTok::Word) ++i;  // NOT NULL and the like
            if (t[i].text == ",")
                ++i;
            else
                break;
        }
        if (t[i].text != ")") {
            f = makeFault("42000", native::kSyntax, "Syntax error in RESULT ROW: ')' expected");
            return false;
        }
        ++i;
    }
    if (!kw(t, i, "as")) {
        f = makeFault("42000", native::kSyntax,
                      "Syntax error in CREATE PROCEDURE: AS expected near '" + t[i].text + "'");
        return false;
    }
    ++i;
    if (kw(t, i, "declare")) {
        ++i;
        while (t[i].t == PTok::Word && !kw(t, i, "begin")) {
            Param p;
            if (!readParam(t, i, src, p, seg, f)) return false;
            d.locals.push_back(p);
            if (t[i].text == ";" || t[i].text == ",") ++i;
        }
    }
    if (!kw(t, i, "begin")) {
        f = makeFault("42000", native::kSyntax, "Syntax error in CREATE PROCEDURE: BEGIN expected");
        return false;
    }
    size_t bodyBegin = t[i].end;
    // The body ends at the last END.
    size_t last = t.size() - 1;
    while (last > i && t[last - 1].text == ";") --last;
    if (last == 0 || !kw(t, last - 1, "end")) {
        f = makeFault("42000", native::kSyntax, "Syntax error in CREATE PROCEDURE: END expected");
        return false;
    }
    d.body = src.substr(bodyBegin, t[last - 1].begin - bodyBegin);
    return true;
}

// ---- Execution ------------------------------------------------------------------------------

struct Var {
    sqlite3_value* v = nullptr;
    std::string type;
    bool nullable = true;
    Var() = default;
    Var(const Var&) = delete;
    Var& operator=(const Var&) = delete;
    ~Var() { sqlite3_value_free(v); }
    void set(sqlite3_value* nv) {
        sqlite3_value_free(v);
        v = nv ? sqlite3_value_dup(nv) : nullptr;
    }
};

struct Frame {
    Conn& c;
    std::map<std::string, std::unique_ptr<Var>> vars;
    std::vector<std::string> resultTypes;
    std::vector<std::vector<sqlite3_value*>> rows;  // RETURN ROW
    bool returned = false;
    int32_t returnValue = 0;
    int depth = 0;
    explicit Frame(Conn& cc) : c(cc) {}
    ~Frame() {
        for (auto& r : rows)
            for (auto* v : r) sqlite3_value_free(v);
    }
};

enum class Flow { Next, Return, Fail };

bool bindVars(Frame& fr, sqlite3_stmt* st, Fault& f) {
    int n = sqlite3_bind_parameter_count(st);
    for (int k = 1; k <= n; ++k) {
        const char* nm = sqlite3_bind_parameter_name(st, k);
        if (!nm || (nm[0] != ':' && nm[0] != '@' && nm[0] != '$')) {
            f = makeFault("42000", native::kSyntax, "Parameter markers are not allowed in a procedure");
            return false;
        }
        auto it = fr.vars.find(lower(nm + 1));
        if (it == fr.vars.end()) {
            f = makeFault("42000", native::kSyntax, std::string("Unknown variable ") + (nm + 1) + " in procedure");
            return false;
        }
        if (it->second->v)
            sqlite3_bind_value(st, k, it->second->v);
        else
            sqlite3_bind_null(st, k);
    }
    return true;
}

bool prepareIn(Frame& fr, const std::string& sql, sqlite3_stmt*& st, Fault& f) {
    if (!fr.c.catalogsCreated && mentionsCatalog(sql)) createCatalogs(fr.c);
    int rc = sqlite3_prepare_v2(fr.c.db, sql.c_str(), int(sql.size()), &st, nullptr);
    if (rc != SQLITE_OK) {
        f = faultFromSqlite(fr.c.db, rc);
        return false;
    }
    if (!st) {
        f = makeFault("42000", native::kSyntax, "Syntax error in procedure: empty statement");
        return false;
    }
    return bindVars(fr, st, f);
}

// Checks a value against the variable's declared type, as the server converts on assignment.
bool assign(Frame& fr, Var& var, sqlite3_value* v, const std::string& name, Fault& f) {
    if (!v || sqlite3_value_type(v) == SQLITE_NULL) {
        if (!var.nullable) {
            f = makeFault("23000", native::kConstraint, "NULL assigned to the NOT NULL variable " + name);
            return false;
        }
        var.set(nullptr);
        return true;
    }
    IngType t;
    if (parseTypeText(var.type, t, fr.c.maxSegment) && !t.isLong()) {
        std::vector<uint8_t> buf(size_t(t.length) + 8);
        uint16_t len = 0;
        if (!encodeValue(v, t, buf.data(), len, f)) {
            f.text += " (variable " + name + ")";
            return false;
        }
    }
    var.set(v);
    return true;
}

bool isTextVar(Frame& fr, const std::string& name) {
    auto it = fr.vars.find(name);
    if (it == fr.vars.end()) return false;
    IngType t;
    if (!parseTypeText(it->second->type, t, fr.c.maxSegment)) return false;
    return isTextType(t.type);
}

// In procedure expressions variables are named without a colon; SQLite needs one.  A "+" next to
// a text variable concatenates.
std::string varify(Frame& fr, const std::string& expr) {
    std::vector<PTok> t;
    Fault ignored;
    if (!lex(expr, t, ignored)) return expr;
    std::string out;
    size_t pos = 0;
    auto varAt = [&](size_t k) {
        if (k >= t.size() || t[k].t != PTok::Word) return std::string();
        bool colon = k > 0 && t[k - 1].text == ":";
        bool dotted = (k > 0 && t[k - 1].text == ".") || t[k + 1].text == "." || t[k + 1].text == "(";
        std::string n = lower(t[k].text);
        if (dotted || (!colon && !fr.vars.count(n))) return std::string();
        return fr.vars.count(n) ? n : std::string();
    };
    for (size_t k = 0; k + 1 < t.size(); ++k) {
        out += expr.substr(pos, t[k].begin - pos);
        pos = t[k].end;
        if (t[k].t == PTok::Word) {
            std::string n = varAt(k);
            bool colon = k > 0 && t[k - 1].text == ":";
            out += (!n.empty() && !colon ? ":" : "") + t[k].text;
        } else if (t[k].text == "+" && k > 0) {
            std::string l = varAt(k - 1), r = varAt(k + 1 < t.size() && t[k + 1].text == ":" ? k + 2 : k + 1);
            out += (!l.empty() && isTextVar(fr, l)) || (!r.empty() && isTextVar(fr, r)) ? "||" : "+";
        } else {
            out += t[k].text;
        }
    }
    out += expr.substr(pos);
    return out;
}

bool evalExpr(Frame& fr, const std::string& exprIn, sqlite3_value*& out, Fault& f) {
    Rewritten r;
    std::string expr = varify(fr, exprIn);
    if (!rewriteStatement(fr.c, "SELECT " + expr, r, f)) return false;
    sqlite3_stmt* st = nullptr;
    if (!prepareIn(fr, r.sql, st, f)) {
        sqlite3_finalize(st);
        return false;
    }
    int rc = sqlite3_step(st);
    if (rc != SQLITE_ROW) {
        f = faultFromSqlite(fr.c.db, rc);
        sqlite3_finalize(st);
        return false;
    }
    out = sqlite3_value_dup(sqlite3_column_value(st, 0));
    sqlite3_finalize(st);
    return true;
}

bool evalCond(Frame& fr, const std::string& cond, bool& truth, Fault& f) {
    sqlite3_value* v = nullptr;
    if (!evalExpr(fr, "CASE WHEN (" + cond + ") THEN 1 ELSE 0 END", v, f)) return false;
    truth = sqlite3_value_int(v) != 0;
    sqlite3_value_free(v);
    return true;
}

void setRowCount(Frame& fr, int64_t n) {
    auto& v = fr.vars["iirowcount"];
    if (!v) v = std::make_unique<Var>();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(fr.c.db, "SELECT ?", -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_int64(st, 1, n);
        if (sqlite3_step(st) == SQLITE_ROW) v->set(sqlite3_column_value(st, 0));
    }
    sqlite3_finalize(st);
}

struct Block {
    const std::string& src;
    const std::vector<PTok>& t;
};

Flow runBlock(Frame& fr, const Block& b, size_t& i, const std::vector<const char*>& stops, Fault& f);

// The text of a statement from token i to the next ";" at depth 0 (or a stop keyword).
size_t statementEnd(const std::vector<PTok>& t, size_t i, const std::vector<const char*>& stops) {
    int depth = 0;
    for (; t[i].t != PTok::End; ++i) {
        if (t[i].text == "(")
            ++depth;
        else if (t[i].text == ")")
            --depth;
        else if (depth == 0 && t[i].text == ";")
            return i;
        else if (depth == 0)
            for (const char* s : stops)
                if (kw(t, i, s)) return i;
    }
    return i;
}

std::string textOf(const Block& b, size_t from, size_t to) {
    if (from >= to) return std::string();
    return b.src.substr(b.t[from].begin, b.t[to - 1].end - b.t[from].begin);
}

// SELECT ... INTO :a, :b FROM ...: the select without INTO, and the variable names.
bool splitInto(const Block& b, size_t from, size_t to, std::string& sql, std::vector<std::string>& targets) {
    size_t into = to;
    int depth = 0;
    for (size_t k = from; k < to; ++k) {
        if (b.t[k].text == "(")
            ++depth;
        else if (b.t[k].text == ")")
            --depth;
        else if (depth == 0 && kw(b.t, k, "into")) {
            into = k;
            break;
        }
    }
    if (into == to) {
        sql = textOf(b, from, to);
        return false;
    }
    size_t k = into + 1;
    while (k < to && !kw(b.t, k, "from")) {
        if (b.t[k].t == PTok::Word) targets.push_back(lower(b.t[k].text));
        ++k;
    }
    sql = textOf(b, from, into) + " " + textOf(b, k, to);
    return true;
}

bool runSql(Frame& fr, const std::string& text, const std::vector<std::string>& targets, Fault& f,
            const std::function<Flow()>* perRow = nullptr, Flow* flow = nullptr) {
    Rewritten r;
    if (!rewriteStatement(fr.c, text, r, f)) return false;
    if (r.kind != Rewritten::Kind::Sql) {
        f = makeFault("42000", native::kSyntax, "Statement not allowed in a procedure: " + text);
        return false;
    }
    sqlite3_stmt* st = nullptr;
    if (!prepareIn(fr, r.sql, st, f) || (!sqlite3_stmt_readonly(st) && !xaWriteAllowed(fr.c, f))) {
        sqlite3_finalize(st);
        return false;
    }
    int rc;
    bool first = true;
    int64_t rows = 0;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        ++rows;
        if (!targets.empty() && (first || perRow)) {
            int n = sqlite3_column_count(st);
            if (int(targets.size()) != n) {
                f = makeFault("42000", native::kSyntax,
                              "SELECT INTO: the number of variables differs from the columns");
                sqlite3_finalize(st);
                return false;
            }
            for (int k = 0; k < n; ++k) {
                auto it = fr.vars.find(targets[size_t(k)]);
                if (it == fr.vars.end()) {
                    f = makeFault("42000", native::kSyntax, "Unknown variable " + targets[size_t(k)] + " in procedure");
                    sqlite3_finalize(st);
                    return false;
                }
                if (!assign(fr, *it->second, sqlite3_column_value(st, k), targets[size_t(k)], f)) {
                    sqlite3_finalize(st);
                    return false;
                }
            }
        }
        first = false;
        if (perRow) {
            Flow fl = (*perRow)();
            if (fl != Flow::Next) {
                *flow = fl;
                sqlite3_finalize(st);
                return fl != Flow::Fail;
            }
        }
    }
    if (rc != SQLITE_DONE) {
        f = faultFromSqlite(fr.c.db, rc);
        sqlite3_finalize(st);
        return false;
    }
    bool returnsRows = sqlite3_column_count(st) > 0;
    sqlite3_finalize(st);
    setRowCount(fr, returnsRows ? rows : sqlite3_changes64(fr.c.db));
    return true;
}

// RETURN [value] and RETURN ROW (values).
Flow runReturn(Frame& fr, const Block& b, size_t& i, Fault& f) {
    const auto& t = b.t;
    if (kw(t, i + 1, "row")) {
        size_t e = statementEnd(t, i + 2, {});
        std::string list = textOf(b, i + 2, e);
        if (list.size() >= 2 && list.front() == '(' && list.back() == ')') list = list.substr(1, list.size() - 2);
        Rewritten r;
        if (!rewriteStatement(fr.c, "SELECT " + list, r, f)) return Flow::Fail;
        sqlite3_stmt* st = nullptr;
        if (!prepareIn(fr, r.sql, st, f) || sqlite3_step(st) != SQLITE_ROW) {
            if (f.sqlstate.empty()) f = faultFromSqlite(fr.c.db, sqlite3_errcode(fr.c.db));
            sqlite3_finalize(st);
            return Flow::Fail;
        }
        int n = sqlite3_column_count(st);
        if (!fr.resultTypes.empty() && size_t(n) != fr.resultTypes.size()) {
            sqlite3_finalize(st);
            f = makeFault("42000", native::kSyntax, "RETURN ROW does not match the RESULT ROW of the procedure");
            return Flow::Fail;
        }
        std::vector<sqlite3_value*> row;
        for (int k = 0; k < n; ++k) row.push_back(sqlite3_value_dup(sqlite3_column_value(st, k)));
        sqlite3_finalize(st);
        fr.rows.push_back(std::move(row));
        i = e;
        return Flow::Next;
    }
    size_t e = statementEnd(t, i + 1, {"end", "endif", "else", "elseif", "endwhile", "endfor"});
    if (e > i + 1) {
        sqlite3_value* v = nullptr;
        if (!evalExpr(fr, textOf(b, i + 1, e), v, f)) return Flow::Fail;
        fr.returnValue = sqlite3_value_int(v);
        sqlite3_value_free(v);
    }
    fr.returned = true;
    i = e;
    return Flow::Return;
}

// IF cond THEN ... [ELSEIF cond THEN ...] [ELSE ...] ENDIF
Flow runIf(Frame& fr, const Block& b, size_t& i, Fault& f) {
    const auto& t = b.t;
    size_t k = i + 1;
    bool done = false;
    for (;;) {
        size_t th = k;
        int depth = 0;
        while (t[th].t != PTok::End && !(depth == 0 && kw(t, th, "then"))) {
            if (t[th].text == "(") ++depth;
            if (t[th].text == ")") --depth;
            ++th;
        }
        if (t[th].t == PTok::End) {
            f = makeFault("42000", native::kSyntax, "Syntax error in procedure: THEN expected");
            return Flow::Fail;
        }
        bool truth = false;
        if (!done && !evalCond(fr, textOf(b, k, th), truth, f)) return Flow::Fail;
        size_t p = th + 1;
        if (!done && truth) {
            Flow fl = runBlock(fr, b, p, {"elseif", "else", "endif"}, f);
            if (fl != Flow::Next) return fl;
            done = true;
        } else {
            // Skip the branch.
            int nest = 0;
            while (t[p].t != PTok::End) {
                if (kw(t, p, "if") && !(p > 0 && kw(t, p - 1, "end"))) ++nest;
                if (kw(t, p, "endif")) {
                    if (nest == 0) break;
                    --nest;
                }
                if (nest == 0 && (kw(t, p, "elseif") || kw(t, p, "else"))) break;
                ++p;
            }
        }
        // Move to the next ELSEIF/ELSE/ENDIF of this IF.
        int nest = 0;
        while (t[p].t != PTok::End) {
            if (kw(t, p, "if")) ++nest;
            if (kw(t, p, "endif")) {
                if (nest == 0) break;
                --nest;
            }
            if (nest == 0 && (kw(t, p, "elseif") || kw(t, p, "else"))) break;
            ++p;
        }
        if (kw(t, p, "elseif")) {
            k = p + 1;
            continue;
        }
        if (kw(t, p, "else")) {
            size_t q = p + 1;
            if (!done) {
                Flow fl = runBlock(fr, b, q, {"endif"}, f);
                if (fl != Flow::Next) return fl;
            } else {
                int n2 = 0;
                while (t[q].t != PTok::End) {
                    if (kw(t, q, "if")) ++n2;
                    if (kw(t, q, "endif")) {
                        if (n2 == 0) break;
                        --n2;
                    }
                    ++q;
                }
            }
            p = q;
        }
        if (!kw(t, p, "endif")) {
            f = makeFault("42000", native::kSyntax, "Syntax error in procedure: ENDIF expected");
            return Flow::Fail;
        }
        i = p + 1;
        return Flow::Next;
    }
}

// WHILE cond DO ... ENDWHILE
Flow runWhile(Frame& fr, const Block& b, size_t& i, Fault& f) {
    const auto& t = b.t;
    size_t d = i + 1;
    while (t[d].t != PTok::End && !kw(t, d, "do")) ++d;
    if (t[d].t == PTok::End) {
        f = makeFault("42000", native::kSyntax, "Syntax error in procedure: DO expected");
        return Flow::Fail;
    }
    std::string cond = textOf(b, i + 1, d);
    size_t endAt = 0;  // where the loop's ENDWHILE stands, once the condition fails
    for (int guardLoops = 0;; ++guardLoops) {
        if (guardLoops > 10000000) {
            f = makeFault("S1000", native::kGeneral, "Procedure loop does not end");
            return Flow::Fail;
        }
        if (fr.c.cancelRequested) {
            f = makeFault("S1008", native::kCancelled, "The query was cancelled");
            return Flow::Fail;
        }
        bool truth;
        if (!evalCond(fr, cond, truth, f)) return Flow::Fail;
        size_t p = d + 1;
        if (!truth) {
            int nest = 0;
            while (t[p].t != PTok::End) {
                if (kw(t, p, "while")) ++nest;
                if (kw(t, p, "endwhile")) {
                    if (nest == 0) break;
                    --nest;
                }
                ++p;
            }
            endAt = p;
            break;
        }
        Flow fl = runBlock(fr, b, p, {"endwhile"}, f);
        if (fl != Flow::Next) return fl;
    }
    if (!kw(t, endAt, "endwhile")) {
        f = makeFault("42000", native::kSyntax, "Syntax error in procedure: ENDWHILE expected");
        return Flow::Fail;
    }
    i = endAt + 1;
    return Flow::Next;
}

// FOR SELECT ... INTO :vars DO ... ENDFOR: the body once per row.
Flow runFor(Frame& fr, const Block& b, size_t& i, Fault& f) {
    const auto& t = b.t;
    size_t d = i + 1;
    int depth = 0;
    while (t[d].t != PTok::End && !(depth == 0 && kw(t, d, "do"))) {
        if (t[d].text == "(") ++depth;
        if (t[d].text == ")") --depth;
        ++d;
    }
    if (t[d].t == PTok::End) {
        f = makeFault("42000", native::kSyntax, "Syntax error in procedure: DO expected");
        return Flow::Fail;
    }
    std::string sql;
    std::vector<std::string> targets;
    splitInto(b, i + 1, d, sql, targets);
    // Find the matching ENDFOR first.
    size_t endAt = d + 1;
    int nest = 0;
    while (t[endAt].t != PTok::End) {
        if (kw(t, endAt, "for")) ++nest;
        if (kw(t, endAt, "endfor")) {
            if (nest == 0) break;
            --nest;
        }
        ++endAt;
    }
    if (!kw(t, endAt, "endfor")) {
        f = makeFault("42000", native::kSyntax, "Syntax error in procedure: ENDFOR expected");
        return Flow::Fail;
    }
    Flow result = Flow::Next;
    std::function<Flow()> body = [&]() {
        size_t p = d + 1;
        return runBlock(fr, b, p, {"endfor"}, f);
    };
    if (!runSql(fr, sql, targets, f, &body, &result)) return Flow::Fail;
    if (result != Flow::Next) return result;
    i = endAt + 1;
    return Flow::Next;
}

Flow runStatement(Frame& fr, const Block& b, size_t& i, Fault& f) {
    const auto& t = b.t;
    if (++fr.depth > 200) {
        f = makeFault("S1000", native::kGeneral, "Procedure nesting too deep");
        return Flow::Fail;
    }
    struct Guard {
        Frame& fr;
        ~Guard() { --fr.depth; }
    } guard{fr};
    if (kw(t, i, "return")) return runReturn(fr, b, i, f);
    if (kw(t, i, "if")) return runIf(fr, b, i, f);
    if (kw(t, i, "while")) return runWhile(fr, b, i, f);
    if (kw(t, i, "for")) return runFor(fr, b, i, f);
    if (kw(t, i, "message") || kw(t, i, "raise")) {
        if (kw(t, i, "raise") && kw(t, i + 1, "error")) {
            size_t e = statementEnd(t, i + 2, {});
            f = makeFault("S1000", native::kGeneral, "Procedure raised error: " + textOf(b, i + 2, e));
            return Flow::Fail;
        }
        i = statementEnd(t, i, {});
        return Flow::Next;
    }
    size_t e = statementEnd(t, i, {"end", "endif", "else", "elseif", "endwhile", "endfor"});
    if (e == i) return Flow::Next;
    // Assignment: [:]name = expr
    size_t n = i;
    if (t[n].text == ":") ++n;
    if (t[n].t == PTok::Word && t[n + 1].text == "=" && !kw(t, i, "update") && !kw(t, i, "select")) {
        std::string name = lower(t[n].text);
        auto it = fr.vars.find(name);
        if (it == fr.vars.end()) {
            f = makeFault("42000", native::kSyntax, "Unknown variable " + name + " in procedure");
            return Flow::Fail;
        }
        sqlite3_value* v = nullptr;
        if (!evalExpr(fr, textOf(b, n + 2, e), v, f)) return Flow::Fail;
        bool ok = assign(fr, *it->second, v, name, f);
        sqlite3_value_free(v);
        if (!ok) return Flow::Fail;
        i = e;
        return Flow::Next;
    }
    std::string sql;
    std::vector<std::string> targets;
    if (kw(t, i, "select"))
        splitInto(b, i, e, sql, targets);
    else
        sql = textOf(b, i, e);
    if (!runSql(fr, sql, targets, f)) return Flow::Fail;
    i = e;
    return Flow::Next;
}

Flow runBlock(Frame& fr, const Block& b, size_t& i, const std::vector<const char*>& stops, Fault& f) {
    const auto& t = b.t;
    for (;;) {
        while (t[i].text == ";") ++i;
        if (t[i].t == PTok::End) return Flow::Next;
        for (const char* s : stops)
            if (kw(t, i, s)) return Flow::Next;
        Flow fl = runStatement(fr, b, i, f);
        if (fl != Flow::Next) return fl;
    }
}

bool loadProcedure(Conn& c, const std::string& name, const std::string& owner, std::string& text, Fault& f) {
    if (!metadataPresent(c.db)) {
        f = makeFault("42000", native::kNoProcedure, "Procedure '" + name + "' not found");
        return false;
    }
    sqlite3_stmt* st = nullptr;
    bool found = false;
    if (sqlite3_prepare_v2(c.db, "SELECT text FROM iiapi_procedures WHERE name = lower(?) AND (? = '' OR owner = ?)",
                           -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, owner.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, owner.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0)) {
            text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
            found = true;
        }
    }
    sqlite3_finalize(st);
    if (!found) f = makeFault("42000", native::kNoProcedure, "Procedure '" + name + "' not found");
    return found;
}

}  // namespace

bool createProcedure(Conn& c, const std::string& text, Fault& f) {
    ProcDef d;
    if (!parseProcedure(text, d, c.maxSegment, f)) return false;
    // The body is checked for balanced structure now, not run.
    std::vector<PTok> bt;
    if (!lex(d.body, bt, f) || !ensureMetadata(c.db, f)) return false;
    refreshCatalogs(c);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c.db, "SELECT 1 FROM iiapi_procedures WHERE name = ?", -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, d.name.c_str(), -1, SQLITE_TRANSIENT);
        bool exists = sqlite3_step(st) == SQLITE_ROW;
        sqlite3_finalize(st);
        if (exists) {
            f = makeFault("42S01", native::kTableExists, "Procedure '" + d.name + "' already exists");
            return false;
        }
    }
    st = nullptr;
    int rc = sqlite3_prepare_v2(c.db,
                                "INSERT INTO iiapi_procedures(name, owner, id, text, body) VALUES(?, ?, "
                                "(SELECT ifnull(max(id), 0) + 1 FROM iiapi_procedures), ?, ?)",
                                -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        f = faultFromSqlite(c.db, rc);
        return false;
    }
    sqlite3_bind_text(st, 1, d.name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, c.user.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, text.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 4, d.body.c_str(), -1, SQLITE_TRANSIENT);
    rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        f = faultFromSqlite(c.db, rc);
        return false;
    }
    st = nullptr;
    rc = sqlite3_prepare_v2(
        c.db,
        "INSERT INTO iiapi_proc_params(proc_name, seq, name, ingres_type, nullable, mode, default_value)"
        " VALUES(?, ?, ?, ?, ?, ?, ?)",
        -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        f = faultFromSqlite(c.db, rc);
        return false;
    }
    int seq = 1;
    for (auto& p : d.params) {
        sqlite3_reset(st);
        sqlite3_bind_text(st, 1, d.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 2, seq++);
        sqlite3_bind_text(st, 3, p.name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, p.type.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 5, p.nullable ? 1 : 0);
        sqlite3_bind_text(st, 6, p.mode.c_str(), -1, SQLITE_TRANSIENT);
        if (p.hasDefault)
            sqlite3_bind_text(st, 7, p.dflt.c_str(), -1, SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(st, 7);
        if (sqlite3_step(st) != SQLITE_DONE) {
            f = faultFromSqlite(c.db, sqlite3_errcode(c.db));
            sqlite3_finalize(st);
            return false;
        }
    }
    sqlite3_finalize(st);
    return true;
}

bool dropProcedure(Conn& c, const std::string& name, Fault& f) {
    std::string text;
    if (!loadProcedure(c, lower(name), "", text, f)) return false;
    const std::string key = lower(name);
    for (const char* sql :
         {"DELETE FROM iiapi_proc_params WHERE proc_name = ?", "DELETE FROM iiapi_procedures WHERE name = ?",
          "DELETE FROM iiapi_permits WHERE object_type = 'P' AND object_name = ?"}) {
        OwnChange st = compileChange(c.db, sql, f);
        if (!st) return false;
        sqlite3_bind_text(st.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
        if (!runChange(c.db, st.get(), f)) return false;
    }
    return true;
}

bool executeProcedure(Conn& c, const ProcCall& call, ProcResult& res, Fault& f) {
    std::string text;
    if (!loadProcedure(c, lower(call.name), call.owner, text, f)) return false;
    ProcDef d;
    if (!parseProcedure(text, d, c.maxSegment, f)) return false;
    Frame fr(c);
    fr.resultTypes = d.resultTypes;
    std::vector<bool> given(d.params.size(), false);
    for (auto& p : d.params) {
        auto v = std::make_unique<Var>();
        v->type = p.type;
        v->nullable = p.nullable;
        fr.vars[p.name] = std::move(v);
    }
    for (auto& l : d.locals) {
        auto v = std::make_unique<Var>();
        v->type = l.type;
        v->nullable = l.nullable;
        fr.vars[l.name] = std::move(v);
    }
    fr.vars["iirowcount"] = std::make_unique<Var>();
    fr.vars["iierrornumber"] = std::make_unique<Var>();
    // Arguments by name.
    for (auto& a : call.args) {
        std::string nm = lower(a.name);
        size_t k = 0;
        while (k < d.params.size() && d.params[k].name != nm) ++k;
        if (k == d.params.size()) {
            f = makeFault("42000", native::kSyntax, "Procedure " + d.name + " has no parameter '" + a.name + "'");
            return false;
        }
        if (given[k]) {
            f = makeFault("42000", native::kSyntax, "Parameter '" + a.name + "' given twice");
            return false;
        }
        given[k] = true;
        if (!assign(fr, *fr.vars[nm], a.value, nm, f)) return false;
    }
    for (size_t k = 0; k < d.params.size(); ++k) {
        if (given[k]) continue;
        const Param& p = d.params[k];
        if (p.hasDefault) {
            sqlite3_value* v = nullptr;
            if (!evalExpr(fr, p.dflt, v, f)) return false;
            bool ok = assign(fr, *fr.vars[p.name], v, p.name, f);
            sqlite3_value_free(v);
            if (!ok) return false;
        } else if (!p.nullable && p.mode == "IN") {
            f = makeFault("07001", native::kGeneral, "Procedure " + d.name + " needs a value for '" + p.name + "'");
            return false;
        }
    }
    std::vector<PTok> bt;
    if (!lex(d.body, bt, f)) return false;
    Block b{d.body, bt};
    size_t i = 0;
    Flow fl = runBlock(fr, b, i, {}, f);
    if (fl == Flow::Fail) return false;
    if (fl == Flow::Next && bt[i].t != PTok::End) {
        f = makeFault("42000", native::kSyntax, "Syntax error in procedure near '" + bt[i].text + "'");
        return false;
    }
    res.returnValue = fr.returnValue;
    // Output values: the by-reference arguments, in the order they were given.
    for (auto& a : call.args) {
        if (!a.byRef) continue;
        std::string nm = lower(a.name);
        size_t k = 0;
        while (k < d.params.size() && d.params[k].name != nm) ++k;
        ProcResult::Out o;
        o.name = nm;
        o.type = d.params[k].type;
        o.nullable = d.params[k].nullable;
        o.value = fr.vars[nm]->v ? sqlite3_value_dup(fr.vars[nm]->v) : nullptr;
        res.outs.push_back(o);
    }
    res.resultTypes = fr.resultTypes;
    for (auto& row : fr.rows) {
        res.rows.push_back(row);
        row.clear();
    }
    if (res.resultTypes.empty() && !res.rows.empty()) {
        // Without RESULT ROW the row values describe themselves as text.
        for (size_t k = 0; k < res.rows[0].size(); ++k) res.resultTypes.push_back("varchar(2000)");
    }
    return true;
}

ProcResult::~ProcResult() {
    for (auto& o : outs) sqlite3_value_free(o.value);
    for (auto& r : rows)
        for (auto* v : r) sqlite3_value_free(v);
}

}  // namespace iiapi
