#include "util/strutil.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool is_space(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

const char* keyword_match(const char* keyword, const char* text, bool fold) {
    if (!keyword || !text) return nullptr;
    while (is_space(*text)) ++text;
    size_t i = 0;
    for (; keyword[i]; ++i) {
        char a = keyword[i], b = text[i];
        if (b == '\0') return nullptr;
        if (fold ? (AsciiUpper(a) != AsciiUpper(b)) : a != b) return nullptr;
    }
    const char* rest = text + i;
    if (*rest != '\0' && !is_space(*rest)) return nullptr;
    while (is_space(*rest)) ++rest;
    return rest;
}

// Length to copy for an ODBC length argument; -1 for a bad length.
long resolve_len(const char* text, long len) {
    if (!text) return 0;
    if (len == TV_NTS) return static_cast<long>(strlen(text));
    return len < 0 ? -1 : len;
}

char* dup_bytes(const char* text, size_t len) {
    char* out = static_cast<char*>(malloc(len + 1));
    if (!out) return nullptr;
    if (len) memcpy(out, text, len);
    out[len] = '\0';
    return out;
}

}  // namespace

const char* KeywordMatch(const char* keyword, const char* text) { return keyword_match(keyword, text, true); }
const char* KeywordMatchCase(const char* keyword, const char* text) { return keyword_match(keyword, text, false); }

const char* FindWordOutsideLiterals(const char* text, const char* word) {
    if (!text || !word || !*word) return nullptr;
    auto ident = [](char ch) { return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_'; };
    const size_t n = strlen(word);
    char quote = 0;
    for (const char* p = text; *p; ++p) {
        if (quote) {
            if (*p == quote) quote = 0;
            continue;
        }
        if (*p == '\'' || *p == '"') {
            quote = *p;
            continue;
        }
        if (AsciiCaseCompareN(p, word, n) == 0 && (p == text || !ident(p[-1])) && !ident(p[n])) return p;
    }
    return nullptr;
}

char* StrRTrim(char* text) {
    if (!text) return nullptr;
    size_t n = strlen(text);
    while (n > 0 && is_space(text[n - 1])) --n;
    text[n] = '\0';
    return n ? text + n - 1 : nullptr;
}

const char* StrLTrim(const char* text) {
    if (!text) return nullptr;
    while (is_space(*text)) ++text;
    return text;
}

int ListFindWord(const char* list, const char* word) {
    if (!list || !word) return 0;
    size_t wlen = strlen(word);
    int pos = 1;
    const char* p = list;
    for (;;) {
        while (is_space(*p)) ++p;
        if (strncmp(p, word, wlen) == 0 && (p[wlen] == ',' || p[wlen] == '\0')) return pos;
        const char* comma = strchr(p, ',');
        if (!comma) return 0;
        p = comma + 1;
        ++pos;
    }
}

char* QuoteIdent(const char* text, long len, int quote) {
    long n = resolve_len(text, len);
    if (n < 0) return nullptr;
    if (!text) text = "";
    if (quote == ' ') return dup_bytes(text, static_cast<size_t>(n));
    char* out = static_cast<char*>(malloc(static_cast<size_t>(n) + 3));
    if (!out) return nullptr;
    out[0] = static_cast<char>(quote);
    memcpy(out + 1, text, static_cast<size_t>(n));
    out[n + 1] = '\0';
    // An embedded NUL ends the text: the closing quote follows what a reader will see.
    size_t end = strlen(out);
    out[end] = static_cast<char>(quote);
    out[end + 1] = '\0';
    return out;
}

char* UnquoteIdent(const char* text, long len, int quote) {
    long n = resolve_len(text, len);
    if (n < 0) return nullptr;
    if (!text) text = "";
    if (quote != ' ' && n >= 2 && text[0] == static_cast<char>(quote) && text[n - 1] == static_cast<char>(quote))
        return dup_bytes(text + 1, static_cast<size_t>(n - 2));
    return dup_bytes(text, static_cast<size_t>(n));
}

int StrDupLen(char** out, const char* text, long len) {
    if (!out) return 0;
    long n = resolve_len(text, len);
    *out = n < 0 ? nullptr : dup_bytes(text ? text : "", static_cast<size_t>(n));
    return 0;
}

int StrDupUnquote(char** out, const char* text, long len) {
    if (!out) return 0;
    long n = resolve_len(text, len);
    if (n < 0) {
        *out = nullptr;
        return 0;
    }
    if (!text) text = "";
    if (n >= 2 && (text[0] == '\'' || text[0] == '"') && text[n - 1] == text[0])
        *out = dup_bytes(text + 1, static_cast<size_t>(n - 2));
    else
        *out = dup_bytes(text, static_cast<size_t>(n));
    return 0;
}

const char* StrIStr(const char* text, const char* pattern) {
    if (!text || !pattern) return nullptr;
    if (!*pattern) return text + strlen(text);
    size_t plen = strlen(pattern);
    char first = AsciiUpper(*pattern);
    for (const char* p = text; *p; ++p) {
        if (AsciiUpper(*p) == first && AsciiCaseCompareN(p, pattern, plen) == 0) return p;
    }
    return nullptr;
}

const char* PathSetExt(const char* path, const char* ext, int mode) {
    thread_local char buffer[PATH_SET_EXT_MAX];
    if (!path) return nullptr;
    size_t len = strlen(path);
    if (len >= sizeof buffer) return nullptr;
    memcpy(buffer, path, len + 1);
    size_t name = 0;
    for (size_t i = 0; i < len; ++i)
        if (buffer[i] == '/' || buffer[i] == '\\') name = i + 1;
    char* dot = strrchr(buffer + name, '.');
    bool has_ext = dot && dot != buffer + name;
    if (mode == 2 && has_ext) return buffer;
    if ((mode == 0 || mode == 1) && has_ext) {
        *dot = '\0';
        len = static_cast<size_t>(dot - buffer);
    }
    if ((mode == 1 || mode == 2) && ext) {
        size_t elen = strlen(ext);
        if (len + 1 + elen >= sizeof buffer) return nullptr;
        buffer[len] = '.';
        memcpy(buffer + len + 1, ext, elen + 1);
    }
    return buffer;
}

void ProgramNameFrom(const char* command_line, bool stop_at_blank, char* out, size_t out_size) {
    if (!out || out_size == 0) return;
    out[0] = '\0';
    const char* start = command_line ? command_line : "";
    for (const char* p = start; *p; ++p)
        if (*p == '/' || *p == '\\') start = p + 1;
    const char* end = strrchr(start, '.');
    if (!end && stop_at_blank) end = strchr(start, ' ');
    if (!end) end = start + strlen(start);
    size_t n = static_cast<size_t>(end - start);
    if (n > 254) n = 254;
    if (n > out_size - 1) n = out_size - 1;
    for (size_t i = 0; i < n; ++i) out[i] = AsciiUpper(start[i]);
    out[n] = '\0';
    if (strcmp(out, "KRNL386") == 0) snprintf(out, out_size, "WOW");
    if (out[0] == '\0') snprintf(out, out_size, "Unknown");
}

const char* GetProgramName() {
    static const char* const name = [] {
        static char stored[255];
        char exe[PATH_MAX + 1];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n > 0) {
            exe[n] = '\0';
            ProgramNameFrom(exe, false, stored, sizeof stored);
        } else {
            ProgramNameFrom(program_invocation_name, true, stored, sizeof stored);
        }
        return stored;
    }();
    return name;
}

char* StrCopyEnd(char* dest, const char* src) {
    if (!dest) return nullptr;
    if (!src) src = "";
    size_t n = strlen(src);
    memcpy(dest, src, n + 1);
    return dest + n;
}

const char* ErrorText(unsigned err) {
    thread_local char unknown[40];
    if (err <= static_cast<unsigned>(INT_MAX)) {
        const char* text = strerrordesc_np(static_cast<int>(err));
        if (text) return text;
    }
    snprintf(unknown, sizeof unknown, "Unknown error %u", err);
    return unknown;
}
