#include "drv_ingii/i-sql.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "util/dataset.h"
#include "util/log.h"
#include "util/mpl.h"
#include "util/strutil.h"
#include "util/utalloc.h"

namespace {

constexpr int kMaxEscapeDepth = 32;
// EXTRACT asks for one more pass; each pass removes an EXTRACT, so this only guards odd input.
constexpr int kMaxClausePasses = 8;
constexpr uint32_t kMaxMarkers = 0xFFFF;

bool is_space(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }
bool is_name_char(char c) { return isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

const char* skip_space(const char* p) {
    while (is_space(*p)) ++p;
    return p;
}

void put(MPL* pool, const char* text, size_t n) {
    if (n) mpl_grow(pool, text, n);
}
void put(MPL* pool, const char* text) { put(pool, text, strlen(text)); }
void put(MPL* pool, std::string_view text) { put(pool, text.data(), text.size()); }
void put_char(MPL* pool, char c) { mpl_grow(pool, &c, 1); }

// Text between first and last with blanks cut from both ends.
std::string_view trimmed(const char* first, const char* last) {
    while (first < last && is_space(*first)) ++first;
    while (last > first && is_space(last[-1])) --last;
    return {first, static_cast<size_t>(last - first)};
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && AsciiCaseCompareN(text.data(), prefix.data(), prefix.size()) == 0;
}

struct MapRow {
    const char* name;
    const char* form;
};

// Sorted by name, case-insensitively; searched by binary search.
const MapRow kScalarFunctions[] = {
    {"abs", "abs%"},
    {"atan", "atan%"},
    {"bit_length", "length(%)*8"},
    {"char_length", "length%"},
    {"character_length", "length%"},
    {"concat", "concat%"},
    {"cos", "cos%"},
    {"curdate", "date('today')"},
    {"current_date", "date('today')"},
    {"current_time", "_time(int4(dbmsinfo('_bintim')))"},
    {"current_timestamp", "date('now')"},
    {"curtime", "_time(int4(dbmsinfo('_bintim')))"},
    {"database", "dbmsinfo('database')"},
    {"day", "date_part('day',%)"},
    {"dayofmonth", "date_part('day',%)"},
    {"exp", "exp%"},
    {"hour", "date_part('hr',%)"},
    {"ifnull", "ifnull%"},
    {"lcase", "lowercase%"},
    {"left", "left%"},
    {"length", "length%"},
    {"locate", "#locate%"},
    {"log", "log%"},
    {"log10", "log(%)/log(10)"},
    {"minute", "date_part('min',%)"},
    {"mod", "mod%"},
    {"month", "date_part('mo',%)"},
    {"now", "date('now')"},
    {"octet_length", "length%"},
    {"pi", "3.14159265358979"},
    {"quarter", "date_part('qtr',%)"},
    {"right", "right%"},
    {"second", "date_part('sec',%)"},
    {"sin", "sin%"},
    {"sqrt", "sqrt%"},
    {"ucase", "uppercase%"},
    {"user", "dbmsinfo('username')"},
    {"week", "date_part('wk',%)+1"},
    {"year", "date_part('yr',%)"},
};
static_assert(sizeof(kScalarFunctions) / sizeof(kScalarFunctions[0]) == 39);

// Types without an Ingres form keep the bare expression, as a type missing from the map does:
// a cast to a guessed precision or to a byte type could change or cut the value.
const MapRow kConvertTypes[] = {
    {"SQL_BIGINT", "int8(%)"},
    {"SQL_BINARY", ""},
    {"SQL_BIT", "int1(%)"},
    {"SQL_CHAR", "char(%)"},
    {"SQL_DATE", "date(%)"},
    {"SQL_DECIMAL", ""},
    {"SQL_DOUBLE", "float8(%)"},
    {"SQL_FLOAT", "float8(%)"},
    {"SQL_INTEGER", "int4(%)"},
    {"SQL_LONGVARBINARY", ""},
    {"SQL_LONGVARCHAR", "varchar(%)"},
    {"SQL_NUMERIC", ""},
    {"SQL_REAL", "float8(%)"},
    {"SQL_SMALLINT", "int2(%)"},
    {"SQL_TIME", ""},
    {"SQL_TIMESTAMP", "date(%)"},
    {"SQL_TINYINT", "int1(%)"},
    {"SQL_VARBINARY", ""},
    {"SQL_VARCHAR", "varchar(%)"},
};
static_assert(sizeof(kConvertTypes) / sizeof(kConvertTypes[0]) == 19);

// Case-insensitive compare of a counted name with a NUL-terminated map name, in the order of
// strcasecmp (lower case: "_" sorts before letters).
int compare_name(const char* name, size_t len, const char* row) {
    for (size_t i = 0; i < len; ++i) {
        int a = static_cast<unsigned char>(AsciiLower(name[i]));
        int b = static_cast<unsigned char>(AsciiLower(row[i]));
        if (b == 0) return 1;
        if (a != b) return a - b;
    }
    return row[len] ? -1 : 0;
}

template <size_t N>
const char* map_find(const MapRow (&map)[N], const char* name, size_t len) {
    size_t lo = 0, hi = N;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        int c = compare_name(name, len, map[mid].name);
        if (c == 0) return map[mid].form;
        if (c < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return nullptr;
}

template <size_t N>
bool map_sorted(const MapRow (&map)[N]) {
    for (size_t i = 1; i < N; ++i)
        if (AsciiCaseCompare(map[i - 1].name, map[i].name) >= 0) return false;
    for (size_t i = 0; i < N; ++i)
        if (map_find(map, map[i].name, strlen(map[i].name)) != map[i].form) return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Date and time literals

// Reads leading digits (0 when none) and moves p to the first character of stop, or the end.
unsigned read_field(const char*& p, const char* stop) {
    unsigned value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value < 100000000u) value = value * 10 + static_cast<unsigned>(*p - '0');
        ++p;
    }
    while (*p && !strchr(stop, *p)) ++p;
    if (*p) ++p;
    return value;
}

bool day_first() {
    const char* format = getenv("II_DATE_FORMAT");
    return format && AsciiCaseCompareN(format, "MULTINATIONAL", 13) == 0;
}

void write_date(MPL* out, const char* arg, bool with_time) {
    const char* p = arg;
    if (*p == '\'') ++p;
    unsigned year = read_field(p, "-/");
    unsigned month = read_field(p, "-/");
    unsigned day = with_time ? read_field(p, "-/ ") : read_field(p, "-/");
    char text[96];
    unsigned first = month, second = day;
    if (day_first()) first = day, second = month;
    if (with_time) {
        unsigned hour = read_field(p, ":");
        unsigned minute = read_field(p, ":");
        unsigned sec = read_field(p, ":.");
        snprintf(text, sizeof text, "date('%02u/%02u/%04u %02u:%02u:%02u')", first, second, year, hour, minute, sec);
    } else {
        snprintf(text, sizeof text, "date('%02u/%02u/%04u')", first, second, year);
    }
    put(out, text);
}

void write_time(MPL* out, const char* arg) {
    const char* p = arg;
    if (*p == '\'') ++p;
    unsigned hour = read_field(p, ":");
    unsigned minute = read_field(p, ":");
    unsigned sec = read_field(p, ":");
    char text[64];
    snprintf(text, sizeof text, "date('%02u:%02u:%02u')", hour, minute, sec);
    put(out, text);
}

// ---------------------------------------------------------------------------------------------
// Escape clauses

void unknown_sequence(const char* keyword) {
    log_printf(LOGL_WARNING, "drv_ingii/i-sql", __LINE__, "unknown escape sequence %s", keyword);
}

// The text after a function name must read "(" ... ")" once trimmed; gives what is inside.
bool parenthesised(const char* rest, std::string_view* inner) {
    std::string_view t = trimmed(rest, rest + strlen(rest));
    if (t.size() < 2 || t.front() != '(' || t.back() != ')') return false;
    *inner = t.substr(1, t.size() - 2);
    return true;
}

// Position of the first ch outside quotes and parentheses in a counted text, or npos.
size_t find_top_level(std::string_view text, char ch, bool fold = false) {
    char quote = 0;
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth) --depth;
        } else if (depth == 0 && (c == ch || (fold && AsciiUpper(c) == AsciiUpper(ch)))) {
            return i;
        }
    }
    return std::string_view::npos;
}

void function_call(MPL* out, MPL* clause_pool, const char* args, SqlScanState* state, char** again) {
    const char* name = args;
    const char* rest = name;
    while (is_name_char(*rest)) ++rest;
    size_t name_len = static_cast<size_t>(rest - name);
    std::string_view inner;

    if (const char* form = SqlScalarFunctionForm(name, static_cast<unsigned>(name_len))) {
        if (form[0] != '#') {
            put_char(out, ' ');
            const char* pct = strchr(form, '%');
            if (!pct) {
                put(out, form);
            } else {
                put(out, form, static_cast<size_t>(pct - form));
                put(out, rest);
                put(out, pct + 1);
            }
            return;
        }
        // The first argument goes behind the others: locate(a, b) is Ingres locate(b, a).
        if (!parenthesised(rest, &inner)) return unknown_sequence(args);
        const char* pct = strchr(form, '%');
        const char* after = pct ? pct + 1 : "";
        if (!pct) pct = form + strlen(form);
        size_t comma = find_top_level(inner, ',');
        put_char(out, ' ');
        put(out, form + 1, static_cast<size_t>(pct - form - 1));
        put_char(out, '(');
        if (comma != std::string_view::npos) {
            put(out, inner.substr(comma + 1));
            put_char(out, ',');
            put(out, inner.substr(0, comma));
        } else {
            put(out, inner);
        }
        put(out, after);
        put_char(out, ')');
        return;
    }

    if (name_len == 7 && AsciiCaseCompareN(name, "CONVERT", 7) == 0) {
        if (!parenthesised(rest, &inner)) return unknown_sequence(args);
        size_t comma = inner.rfind(',');
        if (comma == std::string_view::npos) return unknown_sequence(args);
        std::string_view type = trimmed(inner.data() + comma + 1, inner.data() + inner.size());
        if (type.empty()) return unknown_sequence(args);
        std::string_view expr = inner.substr(0, comma);
        const char* form = SqlConvertTypeForm(type.data(), static_cast<unsigned>(type.size()), state->hasInteger8);
        const char* pct = form ? strchr(form, '%') : nullptr;
        if (!pct) {
            put(out, expr);
        } else {
            put(out, form, static_cast<size_t>(pct - form));
            put(out, expr);
            put(out, pct + 1);
        }
        return;
    }

    if (name_len == 7 && AsciiCaseCompareN(name, "EXTRACT", 7) == 0) {
        // EXTRACT(field FROM expr) is the scalar function named by field, applied to expr.
        if (!parenthesised(rest, &inner)) return unknown_sequence(args);
        size_t f = find_top_level(inner, 'F', true);
        if (f == std::string_view::npos || !starts_with_nocase(inner.substr(f), "FROM") || f + 4 >= inner.size() ||
            !is_space(inner[f + 4]))
            return unknown_sequence(args);
        std::string next = "fn ";
        next.append(inner.substr(0, f));
        next += '(';
        next.append(inner.substr(f + 4));
        next += ')';
        mpl_free_to(clause_pool, nullptr);
        mpl_grow(clause_pool, next.c_str(), next.size() + 1);
        *again = static_cast<char*>(mpl_finish(clause_pool));
        state->again = true;
        return;
    }

    log_printf(LOGL_WARNING, "drv_ingii/i-sql", __LINE__, "unknown escape function %.*s called",
               static_cast<int>(name_len), name);
    put_char(out, ' ');
    put(out, name);
}

// Finds the first of several keywords (case-insensitive) in preference order.
const char* find_join(const char* text, const char** keyword) {
    static const char* const kJoins[] = {"LEFT JOIN ", "RIGHT JOIN ", "FULL JOIN ", "INNER JOIN "};
    for (const char* k : kJoins) {
        if (const char* at = StrIStr(text, k)) {
            *keyword = k;
            return at;
        }
    }
    return nullptr;
}

void outer_join(MPL* out, const char* args, const char* keyword) {
    std::string text;
    for (const char* p = args; *p;) {
        if (AsciiCaseCompareN(p, "OUTER JOIN ", 11) == 0) {
            text.append(p + 6, 5);
            p += 11;
        } else {
            text += *p++;
        }
    }
    const char* join = nullptr;
    const char* at = find_join(text.c_str(), &join);
    if (!at) return unknown_sequence(keyword);
    size_t left_len = static_cast<size_t>(at - text.c_str());
    if (left_len) --left_len;  // the blank before the join keyword
    const char* right = skip_space(at + strlen(join));
    const char* on = StrIStr(right, " ON ");
    if (!on) return unknown_sequence(keyword);
    put(out, " (");
    put(out, text.c_str(), left_len);
    put_char(out, ' ');
    put(out, join);
    put(out, right, static_cast<size_t>(on - right));
    put(out, " ON ");
    put(out, on + 4);
    put(out, ") ");
}

// Procedure name of a call escape: up to the first "(" (the arguments are not sent).
void call_escape(MPL* out, const char* rest) {
    const char* end = strchr(rest, '(');
    if (!end) end = rest + strlen(rest);
    while (end > rest && is_space(end[-1])) --end;
    put(out, rest, static_cast<size_t>(end - rest));
}

// Translates the scanned text of one clause. Returns the next pass's text when it asks for one.
char* translate_clause(MPL* out, MPL* clause_pool, const char* text, bool vendor, SqlScanState* state,
                       IngSqlText* block) {
    const char* s = skip_space(text);
    if (vendor && AsciiCaseCompareN(s, "Vendor", 6) == 0) {
        const char* comma = strchr(s, ',');
        if (comma) comma = strchr(comma + 1, ',');
        if (comma) s = skip_space(comma + 1);
    }
    const char* keyword = s;
    const char* args = s;
    while (*args && !is_space(*args)) ++args;
    args = skip_space(args);
    char* again = nullptr;

    switch (AsciiUpper(keyword[0])) {
        case '?':
        case 'C': {
            bool with_return = keyword[0] == '?';
            const char* call = keyword;
            if (with_return) {
                const char* eq = strchr(keyword, '=');
                if (!eq) break;
                call = eq + 1;
            }
            const char* rest = KeywordMatch("CALL", call);
            if (!rest) break;
            if (block) block->markerFlags |= with_return ? ING_SQL_CALL | ING_SQL_CALL_RETURN : ING_SQL_CALL;
            call_escape(out, rest);
            return nullptr;
        }
        case 'D':
            if (AsciiUpper(keyword[1]) == 'T') return write_date(out, args, true), nullptr;
            if (is_space(keyword[1])) return write_date(out, args, false), nullptr;
            break;
        case 'T':
            if (AsciiUpper(keyword[1]) == 'S') return write_date(out, args, true), nullptr;
            if (is_space(keyword[1])) return write_time(out, args), nullptr;
            break;
        case 'E':
            if (const char* rest = KeywordMatch("ESCAPE", keyword)) {
                put(out, "ESCAPE ");
                put(out, rest);
                return nullptr;
            }
            break;
        case 'F':
            if (AsciiUpper(keyword[1]) == 'N' && is_space(keyword[2])) {
                function_call(out, clause_pool, args, state, &again);
                return again;
            }
            break;
        case 'O':
            if (AsciiUpper(keyword[1]) == 'J' && is_space(keyword[2])) return outer_join(out, args, keyword), nullptr;
            break;
        default:
            break;
    }
    unknown_sequence(keyword);
    return nullptr;
}

// Translates a gathered clause, with the further passes it asks for, and releases its pool.
void run_clause(MPL* out, MPL* clause_pool, bool vendor, SqlScanState* state, IngSqlText* block, int level) {
    put_char(clause_pool, '\0');
    char* clause = static_cast<char*>(mpl_finish(clause_pool));
    bool counting = state->count_markers;
    for (int pass = 0; clause && pass < kMaxClausePasses; ++pass) {
        state->again = false;
        clause = SqlEscapeClause(out, clause_pool, clause, vendor, state, block, level);
        vendor = false;
        // The next pass sees text already scanned once: its markers were counted.
        state->count_markers = false;
    }
    state->count_markers = counting;
    state->again = false;
    mpl_destroy(clause_pool);
}

bool at(const char* p, const char* token) { return strncmp(p, token, strlen(token)) == 0; }

// ---------------------------------------------------------------------------------------------
// OR-chain rewrite
//
// A SELECT whose WHERE clause is a long chain of identical OR terms with markers ("k = ? OR k = ?
// ...") is split into a UNION of SELECTs with at most ten markers each. UNION removes duplicate
// rows and every branch must keep the whole condition, so the rewrite is done only where the
// result is the same:
//  - the statement is "SELECT DISTINCT" (a set already, so UNION drops nothing it keeps);
//  - its select list holds column references only (no aggregate or other expression whose value
//    would depend on how rows are grouped into branches), no FIRST/TOP;
//  - the FROM list holds no markers and no clause keyword at top level;
//  - the WHERE clause is the chain alone, or "( chain )" followed by "AND" and a condition without
//    markers or a top-level OR (that condition is repeated in every branch);
//  - the terms are identical texts, each with the same markers, so the markers keep their order;
//  - nothing follows but ORDER BY over result columns: their names, their numbers, or columns
//    of the select list written with their table (which a UNION cannot order by: these are
//    written as the item's number);
//  - no GROUP BY, HAVING, UNION, FOR UPDATE or similar clause anywhere at top level.
// Anything else is left as it stands.

// Walks a text outside quotes, tracking the parenthesis depth.
struct TopLevelWord {
    size_t pos;
    size_t len;
};

// Words (runs of name characters) at parenthesis depth 0 and outside quotes; false when the
// parentheses do not balance or a quote is not closed.
bool top_level_words(std::string_view text, std::vector<TopLevelWord>* words) {
    char quote = 0;
    int depth = 0;
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
            ++i;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            ++i;
        } else if (c == '(') {
            ++depth;
            ++i;
        } else if (c == ')') {
            if (--depth < 0) return false;
            ++i;
        } else if (is_name_char(c)) {
            size_t start = i;
            while (i < text.size() && is_name_char(text[i])) ++i;
            if (depth == 0 && words) words->push_back({start, i - start});
        } else {
            ++i;
        }
    }
    return quote == 0 && depth == 0;
}

bool word_is(std::string_view text, const TopLevelWord& w, const char* keyword) {
    return w.len == strlen(keyword) && AsciiCaseCompareN(text.data() + w.pos, keyword, w.len) == 0;
}

unsigned count_markers(std::string_view text) {
    unsigned n = 0;
    char quote = 0;
    for (char c : text) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?') {
            ++n;
        }
    }
    return n;
}

const char* const kClauseWords[] = {"UNION",  "INTERSECT", "EXCEPT", "GROUP", "HAVING", "FOR", "LIMIT",
                                    "OFFSET", "FETCH",     "WITH",   "FIRST", "TOP",    "INTO"};

bool has_clause_word(std::string_view text, const std::vector<TopLevelWord>& words) {
    for (const auto& w : words)
        for (const char* k : kClauseWords)
            if (word_is(text, w, k)) return true;
    return false;
}

// Top-level terms of a disjunction, split at the word OR; false when unbalanced.
bool split_or(std::string_view text, std::vector<std::string_view>* terms) {
    std::vector<TopLevelWord> words;
    if (!top_level_words(text, &words)) return false;
    size_t start = 0;
    for (const auto& w : words) {
        if (!word_is(text, w, "OR")) continue;
        terms->push_back(trimmed(text.data() + start, text.data() + w.pos));
        start = w.pos + w.len;
    }
    terms->push_back(trimmed(text.data() + start, text.data() + text.size()));
    return true;
}

// Index of the parenthesis closing the one at open, or npos.
size_t closing_paren(std::string_view text, size_t open) {
    char quote = 0;
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

// Column references of select lists and ORDER BY lists: names (plain or in double quotes)
// joined by ".", "*", numbers.
struct NameToken {
    std::string text;
    bool quoted;
    char punct;  // '.' or '*' for punctuation, 0 for a name
};

bool same_name(const NameToken& a, const NameToken& b) {
    return a.quoted == b.quoted &&
           (a.quoted ? a.text == b.text : AsciiCaseCompare(a.text.c_str(), b.text.c_str()) == 0);
}

bool is_word(const NameToken& t, const char* word) {
    return !t.punct && !t.quoted && AsciiCaseCompare(t.text.c_str(), word) == 0;
}

bool is_number(const NameToken& t) {
    return !t.punct && !t.quoted && !t.text.empty() && t.text.find_first_not_of("0123456789") == std::string::npos;
}

// Tokens of one list item, up to the next "," or the end; false on anything else (operators,
// parentheses, literals).
bool read_item(std::string_view list, size_t& i, std::vector<NameToken>* tokens) {
    for (;;) {
        while (i < list.size() && is_space(list[i])) ++i;
        if (i >= list.size() || list[i] == ',') return !tokens->empty();
        char c = list[i];
        if (c == '"') {
            size_t end = list.find('"', i + 1);
            if (end == std::string_view::npos || end == i + 1) return false;
            tokens->push_back({std::string(list.substr(i + 1, end - i - 1)), true, 0});
            i = end + 1;
        } else if (c == '.' || c == '*') {
            tokens->push_back({std::string(1, c), false, c});
            ++i;
        } else if (is_name_char(c)) {
            size_t start = i;
            while (i < list.size() && is_name_char(list[i])) ++i;
            tokens->push_back({std::string(list.substr(start, i - start)), false, 0});
        } else {
            return false;
        }
    }
}

// name ( "." name )*
bool read_ref(const std::vector<NameToken>& t, size_t& k, std::vector<NameToken>* ref) {
    if (k >= t.size() || t[k].punct) return false;
    ref->push_back(t[k++]);
    while (k + 1 < t.size() && t[k].punct == '.' && !t[k + 1].punct) {
        ref->push_back(t[k + 1]);
        k += 2;
    }
    return true;
}

struct SelectItem {
    std::vector<NameToken> ref;  // the column reference (empty for "*")
    NameToken name;              // result name: the alias, else the column
};

// A select list of column references ("a", "t.a", "a AS b", "a b", quoted names, "*",
// "t.*"); false when an item is anything else (expressions, aggregates, literals, FIRST n).
bool read_select_list(std::string_view list, std::vector<SelectItem>* items, bool* star) {
    size_t i = 0;
    for (;;) {
        std::vector<NameToken> t;
        if (!read_item(list, i, &t)) return false;
        SelectItem item{};
        size_t k = 0;
        if (t.back().punct == '*') {
            // "*" or "name.*"
            if (t.size() != 1 && !(t.size() == 3 && !t[0].punct && t[1].punct == '.')) return false;
            *star = true;
        } else {
            if (!read_ref(t, k, &item.ref)) return false;
            if (isdigit(static_cast<unsigned char>(item.ref[0].text[0])) && !item.ref[0].quoted) return false;
            item.name = item.ref.back();
            if (k < t.size() && is_word(t[k], "AS")) ++k;
            if (k < t.size() && !t[k].punct) item.name = t[k++];
            if (k != t.size()) return false;
        }
        items->push_back(item);
        if (i >= list.size()) return true;
        ++i;  // the comma
    }
}

// Checks an ORDER BY list against the select list and gives the list to put after the UNION:
// unqualified result names and column numbers stay; a qualified column, which a UNION cannot
// order by, becomes the number of the select item that names the same column. False when an
// item cannot be shown to order by the same column.
bool order_by_for_union(std::string_view list, const std::vector<SelectItem>& items, bool star, std::string* out) {
    size_t i = 0;
    bool changed = false;
    std::string rebuilt;
    for (;;) {
        size_t start = i;
        std::vector<NameToken> t;
        if (!read_item(list, i, &t)) return false;
        size_t k = 0;
        bool replaced = false;
        std::string text(trimmed(list.data() + start, list.data() + i));
        if (is_number(t[0])) {
            unsigned long n = strtoul(t[0].text.c_str(), nullptr, 10);
            if (n < 1 || (!star && n > items.size())) return false;
            ++k;
        } else {
            std::vector<NameToken> ref;
            if (!read_ref(t, k, &ref)) return false;
            if (ref.size() > 1) {
                if (star) return false;
                size_t pos = 0;
                for (size_t j = 0; j < items.size() && !pos; ++j) {
                    if (items[j].ref.size() != ref.size()) continue;
                    bool same = true;
                    for (size_t r = 0; r < ref.size(); ++r) same = same && same_name(items[j].ref[r], ref[r]);
                    if (same) pos = j + 1;
                }
                if (!pos) return false;
                text = std::to_string(pos);
                replaced = true;
            } else if (!star) {
                bool found = false;
                for (const auto& item : items) found = found || same_name(item.name, ref[0]);
                if (!found) return false;
            }
        }
        if (k < t.size() && (is_word(t[k], "ASC") || is_word(t[k], "DESC"))) {
            if (replaced) text += " " + t[k].text;
            ++k;
        }
        if (k != t.size()) return false;
        changed = changed || replaced;
        if (!rebuilt.empty()) rebuilt += ", ";
        rebuilt += text;
        if (i >= list.size()) break;
        ++i;  // the comma
    }
    if (changed) *out = "ORDER BY " + rebuilt;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

const char* SqlScalarFunctionForm(const char* name, unsigned name_len) {
    return name ? map_find(kScalarFunctions, name, name_len) : nullptr;
}

const char* SqlConvertTypeForm(const char* name, unsigned name_len, bool hasInteger8) {
    const char* form = name ? map_find(kConvertTypes, name, name_len) : nullptr;
    // A server without INTEGER8 has no wider integer than int4.
    if (form && !hasInteger8 && std::strcmp(form, "int8(%)") == 0) return "int4(%)";
    return form;
}

bool SqlMapsAreSorted() { return map_sorted(kScalarFunctions) && map_sorted(kConvertTypes); }

const char* SqlFindTopLevel(const char* text, char ch) {
    if (!text) return nullptr;
    size_t at = find_top_level(text, ch);
    return at == std::string_view::npos ? nullptr : text + at;
}

char* SqlEscapeClause(MPL* out, MPL* clause_pool, char* clause, bool vendor, SqlScanState* state, IngSqlText* block,
                      int level) {
    // Nested clauses first: scan the gathered text into a new object of the same pool.
    SqlScanText(clause_pool, clause, nullptr, state, level + 1);
    put_char(clause_pool, '\0');
    const char* scanned = static_cast<const char*>(mpl_finish(clause_pool));
    return translate_clause(out, clause_pool, scanned, vendor, state, block);
}

namespace {

// Copies a "--" comment up to its line end (left for the caller) or a bracketed comment through
// its "*/" (or to the end of an unclosed one); control bytes as outside comments.
const char* copy_comment(MPL* pool, const char* p) {
    const bool bracketed = p[0] == '/';
    put(pool, p, 2);
    p += 2;
    while (*p) {
        if (bracketed && at(p, "*/")) {
            put(pool, p, 2);
            return p + 2;
        }
        if (!bracketed && (*p == '\n' || *p == '\r')) return p;
        unsigned char u = static_cast<unsigned char>(*p);
        put_char(pool, u >= 1 && u <= 31 ? (*p == '\n' || *p == '\r' ? '\n' : ' ') : *p);
        ++p;
    }
    return p;
}

}  // namespace

void SqlScanText(MPL* pool, const char* text, IngSqlText* block, SqlScanState* state, int level) {
    const int max_depth = level >= kMaxEscapeDepth ? 0 : kMaxEscapeDepth - level;
    enum : char { kBrace = 'B', kVendor = 'V' };
    char kinds[kMaxEscapeDepth];
    int depth = 0;
    int overflow = 0;  // openers beyond the depth limit, kept as text inside the clause
    char quote = 0;
    MPL clause;
    mpl_init(&clause);

    auto count_marker = [state] {
        if (!state->count_markers) return;
        if (state->markers < kMaxMarkers) ++state->markers;
        state->flags |= ING_SQL_HAS_MARKERS;
    };

    const char* p = text ? text : "";
    while (*p) {
        char c = *p;
        if (depth == 0 && quote) {
            put_char(pool, c);
            ++p;
            if (c == quote) {
                if (*p == quote) {
                    put_char(pool, c);
                    ++p;
                } else {
                    quote = 0;
                }
            }
            continue;
        }
        if (depth == 0 && (c == '\'' || c == '"')) {
            quote = c;
            put_char(pool, c);
            ++p;
            continue;
        }
        bool brace_open = c == '{';
        bool vendor_open = at(p, "--*(");
        if ((brace_open || vendor_open) && max_depth > 0) {
            size_t n = vendor_open ? 4 : 1;
            if (depth == 0) {
                mpl_free_to(&clause, nullptr);
                kinds[depth++] = vendor_open ? kVendor : kBrace;
            } else {
                if (depth < max_depth)
                    kinds[depth++] = vendor_open ? kVendor : kBrace;
                else
                    ++overflow;
                put(&clause, p, n);
            }
            p += n;
            continue;
        }
        // A comment is the server's to skip: a quote, brace or marker in it opens nothing.
        if (depth == 0 && (at(p, "--") || at(p, "/*"))) {
            p = copy_comment(pool, p);
            state->comments = true;
            continue;
        }
        bool brace_close = c == '}';
        bool vendor_close = at(p, "--*)");
        if ((brace_close || vendor_close) && depth > 0) {
            size_t n = vendor_close ? 4 : 1;
            if (overflow > 0) {
                --overflow;
                put(&clause, p, n);
                p += n;
                continue;
            }
            if (kinds[depth - 1] == (vendor_close ? kVendor : kBrace)) {
                p += n;
                if (--depth == 0) {
                    run_clause(pool, &clause, vendor_close, state, block, level);
                    mpl_init(&clause);
                } else {
                    put(&clause, p - n, n);
                }
                continue;
            }
            // A closer of the other kind is text of the clause.
        }
        if (depth > 0) {
            put_char(&clause, c);
            ++p;
            continue;
        }
        // Depth 0, outside literals.
        unsigned char u = static_cast<unsigned char>(c);
        if (c == ';') {
            const char* next = skip_space(p + 1);
            if (!*next) break;  // a trailing separator is dropped
            put(pool, ";\n", 2);
            p = next;
            continue;
        }
        if (u >= 1 && u <= 31) {
            put_char(pool, (c == '\n' || c == '\r') ? '\n' : ' ');
        } else {
            if (c == '?') count_marker();
            put_char(pool, c);
        }
        ++p;
    }

    if (depth > 0) {
        // An escape left open is passed on as written.
        put(pool, kinds[0] == kVendor ? "--*(" : "{");
        put(pool, static_cast<const char*>(clause.base), mpl_object_size(&clause));
    }
    mpl_destroy(&clause);
}

int IngTranslateSql(IngSqlText* block, const char* text) {
    if (!block) return 0;
    IngSqlTextFree(block);
    const char* s = skip_space(text ? text : "");
    block->source = s_strdup(s);
    block->kind = 0;

    MPL pool;
    mpl_init(&pool);
    SqlScanState state{};
    state.count_markers = true;
    state.hasInteger8 = block->hasInteger8;
    SqlScanText(&pool, s, block, &state, 0);
    put_char(&pool, '\0');
    block->ingres = s_strdup(static_cast<const char*>(mpl_finish(&pool)));
    mpl_destroy(&pool);
    block->markers = static_cast<uint16_t>(state.markers);
    block->markerFlags |= state.flags;

    if (block->markers > 10 && !state.comments && KeywordMatch("SELECT", block->ingres)) {
        if (char* rewritten = SqlOrChainToUnion(block->ingres)) {
            free(block->ingres);
            block->ingres = rewritten;
        }
    }

    const char* t = block->ingres;
    while (*t == '(' || is_space(*t)) ++t;
    if (KeywordMatch("SELECT", t))
        block->kind = ING_SQL_KIND_SELECT;
    else if (KeywordMatch("INSERT", t) || KeywordMatch("DELETE", t) || KeywordMatch("UPDATE", t))
        block->kind = ING_SQL_KIND_DML;
    else
        block->kind = ING_SQL_KIND_OTHER;
    return 0;
}

void IngSqlTextFree(IngSqlText* block) {
    if (!block) return;
    free(block->source);
    free(block->ingres);
    block->source = nullptr;
    block->ingres = nullptr;
}

int IngNativeSqlText(const char* text, char* out, uint16_t size, uint16_t* length, bool hasInteger8) {
    if (length) *length = 0;
    IngSqlText local{};
    local.hasInteger8 = hasInteger8;
    IngTranslateSql(&local, text);
    int rc = StrCopyOutLen(local.ingres, out, size, length);
    IngSqlTextFree(&local);
    return (rc != 0 && out) ? 19 : 0;
}

char* SqlOrChainToUnion(const char* text) {
    if (!text) return nullptr;
    std::string_view all(text);
    std::vector<TopLevelWord> words;
    if (!top_level_words(all, &words)) return nullptr;
    if (words.size() < 4 || !word_is(all, words[0], "SELECT") || !word_is(all, words[1], "DISTINCT")) return nullptr;
    if (!trimmed(text, text + words[0].pos).empty()) return nullptr;

    // Clause positions at top level: FROM, WHERE, ORDER BY, each once and in that order.
    size_t from = 0, where = 0, order = 0;
    for (size_t i = 2; i < words.size(); ++i) {
        const auto& w = words[i];
        if (word_is(all, w, "FROM") && !from) {
            from = i;
        } else if (word_is(all, w, "WHERE") && from && !where) {
            where = i;
        } else if (word_is(all, w, "ORDER") && where && !order && i + 1 < words.size() &&
                   word_is(all, words[i + 1], "BY")) {
            order = i;
        } else if (word_is(all, w, "FROM") || word_is(all, w, "WHERE") || word_is(all, w, "ORDER") ||
                   word_is(all, w, "SELECT") || word_is(all, w, "DISTINCT")) {
            return nullptr;
        }
    }
    if (!from || !where) return nullptr;
    std::vector<TopLevelWord> rest(words.begin() + 2, words.end());
    if (has_clause_word(all, rest)) return nullptr;

    const char* list_begin = text + words[1].pos + words[1].len;
    const char* from_begin = text + words[from].pos;
    const char* where_end = text + words[where].pos + words[where].len;
    const char* cond_end = order ? text + words[order].pos : text + all.size();

    std::vector<SelectItem> items;
    bool star = false;
    if (!read_select_list(trimmed(list_begin, from_begin), &items, &star)) return nullptr;
    if (count_markers(std::string_view(from_begin, static_cast<size_t>(where_end - from_begin)))) return nullptr;

    std::string order_text;
    if (order) {
        order_text = trimmed(text + words[order].pos, text + all.size());
        const char* list = text + words[order + 1].pos + words[order + 1].len;
        if (!order_by_for_union(trimmed(list, text + all.size()), items, star, &order_text)) return nullptr;
    }

    // The chain, bare or in parentheses with an optional AND condition after it.
    std::string_view cond = trimmed(where_end, cond_end);
    std::vector<std::string_view> terms;
    std::string_view tail;
    bool grouped = false;
    if (!split_or(cond, &terms)) return nullptr;
    if (terms.size() < 3) {
        if (cond.empty() || cond.front() != '(') return nullptr;
        size_t close = closing_paren(cond, 0);
        if (close == std::string_view::npos) return nullptr;
        tail = trimmed(cond.data() + close + 1, cond.data() + cond.size());
        if (!tail.empty()) {
            std::vector<TopLevelWord> tail_words;
            if (!top_level_words(tail, &tail_words) || tail_words.empty() || tail_words[0].pos != 0 ||
                !word_is(tail, tail_words[0], "AND") || count_markers(tail))
                return nullptr;
            for (const auto& w : tail_words)
                if (word_is(tail, w, "OR")) return nullptr;
        }
        terms.clear();
        if (!split_or(cond.substr(1, close - 1), &terms)) return nullptr;
        grouped = true;
    }
    size_t n = terms.size();
    if (n < 3 || n > 100) return nullptr;
    for (const auto& t : terms)
        if (t != terms[0]) return nullptr;
    unsigned per_term = count_markers(terms[0]);
    if (per_term == 0) return nullptr;
    size_t per_branch = 10 / per_term;
    if (per_branch < 1 || n <= per_branch) return nullptr;

    std::string prefix(text, static_cast<size_t>(where_end - text));
    std::string result;
    for (size_t done = 0; done < n;) {
        size_t take = std::min(per_branch, n - done);
        if (done) result += " UNION ";
        result += prefix;
        result += ' ';
        if (grouped) result += '(';
        for (size_t j = 0; j < take; ++j) {
            if (j) result += " OR ";
            if (grouped) result += '(';
            result.append(terms[done + j]);
            if (grouped) result += ')';
        }
        if (grouped) result += ')';
        if (!tail.empty()) {
            result += ' ';
            result.append(tail);
        }
        done += take;
    }
    if (!order_text.empty()) {
        result += ' ';
        result.append(order_text);
    }
    return s_strdup(result.c_str());
}
