#include "drv_ingii/i-template.h"

#include <cctype>
#include <cstring>

#include "util/mpl.h"
#include "util/utalloc.h"

namespace {

using Byte = unsigned char;

struct Expansion {
    MPL* pool;
    char** args;
    int count;
    bool quote;
    uint32_t raw_args;
};

// Argument n, or null when absent or out of range.
char* arg_at(const Expansion& x, int n) {
    if (n < 1 || n > x.count || !x.args) return nullptr;
    return x.args[n - 1];
}

bool evaluate(const Expansion& x, Byte test, int n) {
    char* arg = arg_at(x, n);
    bool in_range = n >= 1 && n <= x.count;
    char empty[] = "";
    if (!in_range) arg = empty;  // out of range tests as the empty text
    switch (test) {
        case SQLT_EMPTY:
            return SqlTemplateArgEmpty(arg);
        case SQLT_NOTEMPTY:
            return !SqlTemplateArgEmpty(arg);
        case SQLT_WILD:
            return SqlTemplateArgWild(arg);
        case SQLT_NOWILD:
            return !SqlTemplateArgWild(arg);
        default:
            return false;
    }
}

// Length of the control code at p (p[0] is 0xFF), or 0 when the template ends inside it.
size_t code_length(const Byte* p) {
    size_t len;
    switch (p[1]) {
        case SQLT_ARG:
        case SQLT_ELSE:
        case SQLT_END:
            len = 3;
            break;
        case SQLT_IF:
        case SQLT_ELSIF:
            len = 5;
            break;
        default:
            len = 2;
            break;
    }
    for (size_t i = 1; i < len; ++i)
        if (p[i] == 0) return 0;
    return len;
}

const Byte* template_end(const Byte* p) { return p + strlen(reinterpret_cast<const char*>(p)); }

// Walks the control codes from p: the position after the first one `stop` accepts, or the
// template's end when a code is malformed or none is accepted.
template <class Stop>
const Byte* skip_until(const Byte* p, Stop stop) {
    while (*p) {
        if (*p != SQLT_CTL) {
            ++p;
            continue;
        }
        size_t len = code_length(p);
        if (!len) return template_end(p);
        if (stop(p)) return p + len;
        p += len;
    }
    return p;
}

// After a failed test: the position to go on from (after the kept ELSE or ELSIF code, or after
// the END), or the template's end.
const Byte* skip_failed(const Expansion& x, const Byte* p, Byte id) {
    return skip_until(p, [&](const Byte* c) {
        if (c[2] != id) return false;
        if (c[1] == SQLT_ELSIF) return evaluate(x, c[3], c[4]);
        return c[1] == SQLT_ELSE || c[1] == SQLT_END;
    });
}

// After a kept section, at its ELSIF or ELSE: the position after the matching END.
const Byte* skip_to_end(const Byte* p, Byte id) {
    return skip_until(p, [&](const Byte* c) { return c[1] == SQLT_END && c[2] == id; });
}

void place(const Expansion& x, int n) {
    if (n < 1 || n > x.count) {
        mpl_grow(x.pool, "NULL", 4);
        return;
    }
    const char* arg = arg_at(x, n);
    if (!arg) return;
    bool raw = !x.quote || (n <= 32 && (x.raw_args >> (n - 1) & 1u));
    if (raw) {
        if (*arg) mpl_grow(x.pool, arg, strlen(arg));
        return;
    }
    for (const char* q; (q = strchr(arg, '\'')) != nullptr; arg = q + 1) {
        mpl_grow(x.pool, arg, static_cast<size_t>(q - arg) + 1);
        mpl_grow(x.pool, "'", 1);
    }
    if (*arg) mpl_grow(x.pool, arg, strlen(arg));
}

int expand(const Expansion& x, const char* tpl) {
    const Byte* p = reinterpret_cast<const Byte*>(tpl ? tpl : "");
    while (*p) {
        if (*p != SQLT_CTL) {
            const Byte* run = p;
            while (*p && *p != SQLT_CTL) ++p;
            mpl_grow(x.pool, run, static_cast<size_t>(p - run));
            continue;
        }
        size_t len = code_length(p);
        if (!len) break;
        switch (p[1]) {
            case SQLT_ARG:
                place(x, p[2]);
                p += len;
                break;
            case SQLT_IF:
                p = evaluate(x, p[3], p[4]) ? p + len : skip_failed(x, p + len, p[2]);
                break;
            case SQLT_ELSIF:
            case SQLT_ELSE:
                p = skip_to_end(p + len, p[2]);
                break;
            default:  // END, and codes this expander does not know
                p += len;
                break;
        }
    }
    mpl_grow(x.pool, "", 1);
    return 0;
}

struct TestName {
    const char* name;
    Byte test;
};
const TestName kTests[] = {
    {"NOTEMPTY", SQLT_NOTEMPTY}, {"EMPTY", SQLT_EMPTY}, {"NOWILD", SQLT_NOWILD}, {"WILD", SQLT_WILD}};

// Reads a decimal number 1..255 at p; returns the position after it or null.
const char* read_byte(const char* p, Byte* out) {
    unsigned v = 0;
    const char* s = p;
    while (isdigit(static_cast<unsigned char>(*p)) && v < 256) v = v * 10 + static_cast<unsigned>(*p++ - '0');
    if (p == s || v < 1 || v > 255) return nullptr;
    *out = static_cast<Byte>(v);
    return p;
}

// One notation code at p; appends its bytes and returns the position after it, or null.
const char* compile_code(const char* p, std::string* out) {
    Byte a, b, test = 0;
    if (*p == '{') {
        const char* q = read_byte(p + 1, &a);
        if (!q || *q != '}') return nullptr;
        out->append({static_cast<char>(SQLT_CTL), static_cast<char>(SQLT_ARG), static_cast<char>(a)});
        return q + 1;
    }
    bool is_if = strncmp(p, "[IF#", 4) == 0, is_elsif = strncmp(p, "[ELSIF#", 7) == 0;
    if (is_if || is_elsif) {
        const char* q = read_byte(p + (is_if ? 4 : 7), &a);
        if (!q || *q++ != ' ') return nullptr;
        for (const auto& t : kTests) {
            size_t n = strlen(t.name);
            if (strncmp(q, t.name, n) == 0 && q[n] == ' ') {
                test = t.test;
                q += n + 1;
                break;
            }
        }
        if (!test) return nullptr;
        q = read_byte(q, &b);
        if (!q || *q != ':') return nullptr;
        out->append({static_cast<char>(SQLT_CTL), static_cast<char>(is_if ? SQLT_IF : SQLT_ELSIF), static_cast<char>(a),
                     static_cast<char>(test), static_cast<char>(b)});
        return q + 1;
    }
    bool is_else = strncmp(p, "[ELSE#", 6) == 0, is_end = strncmp(p, "[END#", 5) == 0;
    if (is_else || is_end) {
        const char* q = read_byte(p + (is_else ? 6 : 5), &a);
        if (!q || *q != ']') return nullptr;
        out->append(
            {static_cast<char>(SQLT_CTL), static_cast<char>(is_else ? SQLT_ELSE : SQLT_END), static_cast<char>(a)});
        return q + 1;
    }
    return nullptr;
}

}  // namespace

int SqlTemplateExpand(MPL* pool, const char* tpl, char** args, int count) {
    if (!pool) return 0;
    return expand({pool, args, count < 0 ? 0 : count, false, 0}, tpl);
}

int SqlTemplateExpandQuoted(MPL* pool, const char* tpl, char** args, int count, uint32_t raw_args) {
    if (!pool) return 0;
    return expand({pool, args, count < 0 ? 0 : count, true, raw_args}, tpl);
}

bool SqlTemplateArgEmpty(const char* arg) {
    if (!arg || strcmp(arg, "%") == 0) return true;
    for (; *arg; ++arg)
        if (*arg != ' ') return false;
    return true;
}

bool SqlTemplateArgWild(char* arg) {
    if (!arg) return false;
    bool escaped = false;
    for (size_t i = 0; arg[i]; ++i) {
        if (arg[i] != '_' && arg[i] != '%') continue;
        if (i == 0 || arg[i - 1] != '\\') return true;
        escaped = true;
    }
    if (escaped) {
        char* w = arg;
        for (char* r = arg; *r; ++r) {
            if (*r == '\\' && (r[1] == '_' || r[1] == '%')) continue;
            *w++ = *r;
        }
        *w = '\0';
    }
    return false;
}

char* SqlQuoteDup(const char* text) {
    if (!text) return nullptr;
    size_t quotes = 0, len = 0;
    for (; text[len]; ++len) quotes += text[len] == '\'';
    char* out = static_cast<char*>(s_alloc(len + quotes + 1, 1));
    char* w = out;
    for (const char* r = text; *r; ++r) {
        *w++ = *r;
        if (*r == '\'') *w++ = '\'';
    }
    return out;
}

std::string SqlTemplateCompile(const char* notation) {
    std::string out;
    for (const char* p = notation ? notation : ""; *p;) {
        if (*p == '{' || *p == '[') {
            if (const char* next = compile_code(p, &out)) {
                p = next;
                continue;
            }
        }
        out += *p++;
    }
    return out;
}
