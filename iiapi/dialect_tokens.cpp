// The SQL the clients send as tokens, and what the rewrites read off them: words, names, the
// next and previous token, the tables a statement names.
#include "iiapi/dialect.h"

#include <algorithm>

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

namespace dialect {

namespace {
// Bytes of UTF-8 text classed as SQL classes them, whatever locale the application set.
bool isSpaceAscii(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigitAscii(char c) { return c >= '0' && c <= '9'; }
bool isAlphaAscii(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
}  // namespace

std::string lower(std::string_view s) {
    std::string o(s);
    for (auto& c : o) c = asciiLower(c);
    return o;
}

bool tokenize(std::string_view s, std::vector<Tok>& out, Fault& f) {
    // About a token and its space every six characters, up to a long statement's count: a long
    // literal is one token, and would reserve thirteen bytes for each of its own.
    out.reserve(out.size() + std::min<size_t>(s.size() / 3, 4096));
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        size_t st = i;
        if (isSpaceAscii(c)) {
            while (i < s.size() && isSpaceAscii(s[i])) ++i;
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
        } else if (isDigitAscii(c) || (c == '.' && i + 1 < s.size() && isDigitAscii(s[i + 1]))) {
            while (i < s.size() && (isDigitAscii(s[i]) || s[i] == '.')) ++i;
            if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
                size_t k = i + 1;
                if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
                if (k < s.size() && isDigitAscii(s[k])) {
                    i = k;
                    while (i < s.size() && isDigitAscii(s[i])) ++i;
                }
            }
            out.push_back({Tok::Number, std::string(s.substr(st, i - st))});
        } else if (isAlphaAscii(c) || c == '_' || c == '$' || c == '#' || (static_cast<unsigned char>(c) >= 0x80)) {
            while (i < s.size() && ((isAlphaAscii(s[i]) || isDigitAscii(s[i])) || s[i] == '_' || s[i] == '$' ||
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

bool isWord(const std::vector<Tok>& t, size_t i, const char* w) { return i < t.size() && wordIs(t[i], w); }

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

// Index of the previous / next non-space token, or npos.
size_t prevSig(const std::vector<Tok>& t, size_t i) {
    while (i > 0) {
        --i;
        if (t[i].t != Tok::Space) return i;
    }
    return std::string::npos;
}

bool isClauseWord(const std::vector<Tok>& t, size_t i) {
    static constexpr std::string_view words[] = {"where",  "group", "order",  "having",    "union",  "on",    "set",
                                                 "values", "limit", "select", "intersect", "except", "using", "natural",
                                                 "left",   "right", "inner",  "full",      "cross",  "for"};
    if (i >= t.size() || t[i].t != Tok::Word) return false;
    for (std::string_view w : words)
        if (equalsLower(t[i].text, w)) return true;
    return false;
}

// The tables a statement names after FROM, JOIN, UPDATE and INTO and in a FROM list, and the
// correlation names it gives them (alias, table; a derived table's alias names no table).
std::vector<std::string> statementTables(const std::vector<Tok>& t,
                                         std::vector<std::pair<std::string, std::string>>* aliases) {
    std::vector<std::string> out;
    auto named = [&](size_t k) { return k < t.size() && (t[k].t == Tok::Word || t[k].t == Tok::QuotedId); };
    auto takeName = [&](size_t i) {
        size_t j = skip(t, i + 1);
        if (!named(j)) return;
        std::string name = identName(t[j]);
        // owner.table: the table is the last part.
        size_t n = skip(t, j + 1);
        while (n < t.size() && t[n].text == ".") {
            size_t m = skip(t, n + 1);
            if (!named(m)) break;
            name = identName(t[m]);
            n = skip(t, m + 1);
        }
        out.push_back(lower(name));
        if (!aliases) return;
        if (isWord(t, n, "as")) n = skip(t, n + 1);
        if (named(n) && !isClauseWord(t, n) && !isWord(t, n, "join"))
            aliases->emplace_back(lower(identName(t[n])), out.back());
    };
    bool inFrom = false;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].t == Tok::Word) {
            const bool from = equalsLower(t[i].text, "from") || equalsLower(t[i].text, "join");
            if (from || equalsLower(t[i].text, "update") || equalsLower(t[i].text, "into")) {
                takeName(i);
                inFrom = from;
            } else if (isClauseWord(t, i)) {
                inFrom = false;
            }
        } else if (inFrom && t[i].text == ",") {
            takeName(i);
        }
    }
    return out;
}

}  // namespace dialect

}  // namespace iiapi
