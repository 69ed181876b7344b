// The engine's reading of the SQL the clients send, shared by the statement rewrite
// (dialect_*.cpp) and the result typing (result_types.cpp, view_columns.cpp): tokens, and the
// steps one of them takes for another.
#pragma once

#include "iiapi/internal.h"

#include <string>
#include <string_view>
#include <vector>

namespace iiapi::dialect {

struct Tok {
    enum T { Word, QuotedId, String, Number, Punct, Space, Param } t;
    std::string text;
};

// ---- Tokens (dialect_tokens.cpp) ------------------------------------------------------------

std::string lower(std::string_view s);
// Whether s is w in any case; w is in lower case.
inline bool equalsLower(std::string_view s, std::string_view w) {
    if (s.size() != w.size()) return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (asciiLower(s[i]) != w[i]) return false;
    return true;
}
// Whether the token is the word w (lower case) in any case.
inline bool wordIs(const Tok& t, std::string_view w) { return t.t == Tok::Word && equalsLower(t.text, w); }
bool tokenize(std::string_view s, std::vector<Tok>& out, Fault& f);
// The text of tokens [b, e).
std::string join(const std::vector<Tok>& t, size_t b, size_t e);
// Index of the next non-space token at or after i.
size_t skip(const std::vector<Tok>& t, size_t i);
bool isWord(const std::vector<Tok>& t, size_t i, const char* w);
// A name as the catalogs keep it: an unquoted one in lower case, a quoted one as written between
// its quotes.
std::string identName(const Tok& t);
// Index of the previous non-space token, or npos.
size_t prevSig(const std::vector<Tok>& t, size_t i);
// A word that opens a clause (WHERE, ORDER, a join ...) and so ends a table list.
bool isClauseWord(const std::vector<Tok>& t, size_t i);
// The tables a statement names after FROM, JOIN, UPDATE and INTO and in a FROM list, and, when
// asked for, the correlation names it gives them (alias, table).
std::vector<std::string> statementTables(const std::vector<Tok>& t,
                                         std::vector<std::pair<std::string, std::string>>* aliases = nullptr);

// The statement's tables and their correlation names, for finding a column's declared type by its
// (qualified) name, while it is rewritten or described.
struct TypeScope {
    Conn& c;
    std::vector<std::string> saved;
    std::vector<std::pair<std::string, std::string>> savedAliases;
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.Move): an enclosing scope moved it and refilled it at once
    TypeScope(Conn& conn, const std::vector<Tok>& t)
        : c(conn), saved(std::move(conn.typeScope)), savedAliases(std::move(conn.typeAliases)) {
        c.typeAliases.clear();
        c.typeScope = statementTables(t, &c.typeAliases);
    }
    ~TypeScope() {
        c.typeScope = std::move(saved);
        c.typeAliases = std::move(savedAliases);
    }
};

// ---- Rewrites (dialect_tables.cpp, dialect_expressions.cpp, dialect_positioned.cpp) ---------

bool rewriteCreateTable(Conn& c, const std::vector<Tok>& t, size_t i, Rewritten& out, Fault& f);
bool rewriteAlterTable(Conn& c, const std::vector<Tok>& t, size_t i, Rewritten& out, bool& handled, Fault& f);
struct DeclaredColumn {
    std::string table, type;
};
std::vector<DeclaredColumn> declaredColumnsOf(Conn& c, const std::string& name, const std::string& qualifier = "");
std::string rewriteGeneral(Conn& c, std::vector<Tok> t);
// The decimal part of the general rewrite (dialect_decimals.cpp): whether a statement's tokens may
// hold decimal arithmetic or comparisons, and the SQLite text with them handed to the engine's
// exact decimal functions.
bool mayHoldDecimals(const std::vector<Tok>& t);
std::string rewriteDecimals(Conn& c, const std::string& sql);
// Refuses (42000) a CAST to a type the server does not have (BIT): SQLite would take any word.
bool checkCasts(Conn& c, const std::vector<Tok>& t, Fault& f);
void analyseCursorSelect(const std::vector<Tok>& t, size_t sel, CursorShape& sh, size_t& fromAt, size_t& qualAt);
bool rewritePositioned(Conn& c, const std::vector<Tok>& t, size_t i, Rewritten& out, bool& found, Fault& f);

// ---- Column checks (column_checks.cpp) ------------------------------------------------------

// The constraints that refuse what a column of type t cannot hold (col: its name as the
// catalogs keep it; v: as SQL names it), to follow its definition; "" for types the store takes
// as they come.
std::string storeChecks(const std::string& col, const std::string& v, const IngType& t);

// ---- Result typing (result_types.cpp) -------------------------------------------------------

// The declared type of a user column known by its name alone.
bool columnTypeByName(Conn& c, const std::string& name, IngType& out, const std::string& qualifier = "");
bool typeOperand(Conn& c, const std::vector<Tok>& o, IngType& t);
IngType numericResult(const IngType& a, const std::string& op, const IngType& b);
// The type of a column values of types a and b share: a UNION's, COALESCE's.
IngType commonType(const IngType& a, const IngType& b, int32_t maxSegment);

}  // namespace iiapi::dialect
