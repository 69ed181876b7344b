#include "util/utf.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kNts = SIZE_MAX;  // "up to the terminator" as a source length

bool is_high(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool is_surrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDFFF; }

size_t utf8_bytes(uint32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }
size_t wide_units(uint32_t cp) { return cp >= 0x10000 ? 2 : 1; }

// One character of UTF-16: a valid pair, or a single unit (lone surrogates included).
uint32_t read_wide(const SQLWCHAR* s, size_t avail, size_t* units) {
    uint32_t u = s[0];
    if (is_high(u) && avail >= 2 && is_low(s[1])) {
        *units = 2;
        return 0x10000 + ((u - 0xD800) << 10) + (s[1] - 0xDC00u);
    }
    *units = 1;
    return u;
}

void put_wide(uint32_t cp, SQLWCHAR* d) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        d[0] = static_cast<SQLWCHAR>(0xD800 + (cp >> 10));
        d[1] = static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF));
    } else {
        d[0] = static_cast<SQLWCHAR>(cp);
    }
}

// Encodes UTF-16 into UTF-8. With stop_at_nul the source ends at a NUL unit.
size_t encode(const SQLWCHAR* s, size_t src_units, bool stop_at_nul, char* dst, size_t dst_bytes, size_t* consumed) {
    size_t in = 0, out = 0;
    while (in < src_units) {
        if (stop_at_nul && s[in] == 0) break;
        size_t units;
        uint32_t cp = read_wide(s + in, src_units - in, &units);
        size_t n = utf8_bytes(cp);
        if (n > dst_bytes - out) break;
        CodePointToUtf8(cp, dst + out);
        out += n;
        in += units;
    }
    if (consumed) *consumed = in;
    return out;
}

// One UTF-8 sequence at s with avail bytes; returns its length, or 0 when it is invalid or
// crosses avail. A NUL can never pass as a continuation byte, so terminated texts are not
// read past their end.
size_t read_utf8(const unsigned char* s, size_t avail, uint32_t* cp) {
    unsigned char b = s[0];
    size_t n;
    uint32_t v;
    if (b < 0x80) {
        *cp = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        n = 2;
        v = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3;
        v = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4;
        v = b & 0x07;
    } else {
        return 0;
    }
    if (n > avail) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        v = (v << 6) | (s[i] & 0x3F);
    }
    // A value in more bytes than it needs (C0 A7 for a quote) or a surrogate half is no character:
    // reading it as one would let text pass every check made on its bytes.
    static const uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (v > 0x10FFFF || v < kLeast[n] || is_surrogate(v)) return 0;
    *cp = v;
    return n;
}

// Decodes UTF-8 into UTF-16. With stop_at_nul the source ends at a NUL byte.
size_t decode(const char* text, size_t src_bytes, bool stop_at_nul, SQLWCHAR* dst, size_t max_units, size_t* consumed) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t in = 0, out = 0;
    while (in < src_bytes && out < max_units) {
        if (stop_at_nul && s[in] == 0) break;
        uint32_t cp;
        size_t n = read_utf8(s + in, src_bytes - in, &cp);
        if (n == 0) break;
        size_t units = wide_units(cp);
        if (units > max_units - out) break;
        put_wide(cp, dst + out);
        out += units;
        in += n;
    }
    if (consumed) *consumed = in;
    return out;
}

size_t count_units(const char* text, size_t len, bool nts) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t count = 0;
    for (size_t i = 0; nts ? s[i] != 0 : i < len; ++i) {
        if ((s[i] & 0xC0) == 0x80) continue;
        count += (s[i] & 0xF8) == 0xF0 ? 2 : 1;
    }
    return count;
}

SQLWCHAR* alloc_wide(size_t units) { return static_cast<SQLWCHAR*>(calloc(units, sizeof(SQLWCHAR))); }

// Largest prefix of n units that does not end inside a surrogate pair.
size_t wide_cut(const SQLWCHAR* s, size_t n, size_t max) {
    if (n <= max) return n;
    if (max > 0 && is_high(s[max - 1]) && is_low(s[max])) return max - 1;
    return max;
}

}  // namespace

// ---- Validation ----

bool WideTextValid(const SQLWCHAR* text, long len) {
    if (!text || (len < 0 && len != TV_NTS)) return true;
    const size_t n = len == TV_NTS ? WideLen(text) : static_cast<size_t>(len);
    for (size_t i = 0; i < n; ++i) {
        const uint32_t u = text[i];
        if (is_low(u)) return false;
        if (is_high(u)) {
            if (i + 1 >= n || !is_low(text[i + 1])) return false;
            ++i;
        }
    }
    return true;
}

bool Utf8TextValid(const char* text, long len) {
    if (!text || (len < 0 && len != TV_NTS)) return true;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    const size_t n = len == TV_NTS ? strlen(text) : static_cast<size_t>(len);
    for (size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        uint32_t cp;
        const size_t k = read_utf8(s + i, n - i, &cp);
        if (k == 0) return false;
        i += k;
    }
    return true;
}

// ---- UTF-16 to UTF-8 ----

size_t WideUtf8Length(const SQLWCHAR* text, long len) {
    if (!text || (len < 0 && len != TV_NTS)) return 0;
    size_t total = 0;
    size_t n = len == TV_NTS ? WideLen(text) : static_cast<size_t>(len);
    for (size_t i = 0; i < n;) {
        size_t units;
        total += utf8_bytes(read_wide(text + i, n - i, &units));
        i += units;
    }
    return total;
}

size_t WideToUtf8(const SQLWCHAR* text, char* dst, size_t dst_bytes) {
    if (!text || !dst) return 0;
    return encode(text, kNts, true, dst, dst_bytes, nullptr);
}

size_t WideToUtf8N(const SQLWCHAR* text, char* dst, size_t src_units, size_t dst_bytes, size_t* consumed) {
    if (!text || !dst) {
        if (consumed) *consumed = 0;
        return 0;
    }
    return encode(text, src_units, false, dst, dst_bytes, consumed);
}

char* WideToUtf8DupNts(const SQLWCHAR* text) { return WideToUtf8Dup(text, TV_NTS); }

char* WideToUtf8Dup(const SQLWCHAR* text, long len) {
    if (!text || (len < 0 && len != TV_NTS)) return nullptr;
    size_t units = len == TV_NTS ? WideLen(text) : static_cast<size_t>(len);
    size_t bytes = WideUtf8Length(text, static_cast<long>(units));
    char* out = static_cast<char*>(malloc(bytes + 1));
    if (!out) return nullptr;
    size_t n = encode(text, units, false, out, bytes, nullptr);
    out[n] = '\0';
    return out;
}

int WideToUtf8Buf(const SQLWCHAR* text, char* dst, size_t dst_bytes, size_t* written) {
    if (!text || !dst || dst_bytes == 0) return -1;
    size_t need = WideUtf8Length(text, TV_NTS);
    bool fits = need + 1 <= dst_bytes;
    size_t n = encode(text, kNts, true, dst, fits ? need : dst_bytes - 1, nullptr);
    dst[n] = '\0';
    if (written) *written = n;
    return fits ? 0 : -1;
}

// ---- UTF-8 to UTF-16 ----

size_t Utf8CharCount(const char* text, long len) {
    if (!text || text[0] == '\0' || (len < 0 && len != TV_NTS)) return 0;
    return count_units(text, len == TV_NTS ? 0 : static_cast<size_t>(len), len == TV_NTS);
}

size_t Utf8ToWide(const char* text, SQLWCHAR* dst, size_t max_units) {
    if (!text || !dst) return 0;
    return decode(text, kNts, true, dst, max_units, nullptr);
}

size_t Utf8ToWideN(const char* text, SQLWCHAR* dst, size_t src_bytes, size_t max_units, size_t* consumed) {
    if (!text || !dst) {
        if (consumed) *consumed = 0;
        return 0;
    }
    return decode(text, src_bytes, false, dst, max_units, consumed);
}

SQLWCHAR* Utf8ToWideDupNts(const char* text) {
    if (!text) return nullptr;
    size_t n = Utf8CharCount(text, TV_NTS);
    SQLWCHAR* out = alloc_wide(n + 1);
    if (!out) return nullptr;
    decode(text, kNts, true, out, n, nullptr);
    return out;
}

SQLWCHAR* Utf8ToWideDup(const char* text, long len) {
    if (len == TV_NTS) return Utf8ToWideDupNts(text);
    if (!text || len < 0) return nullptr;
    size_t n = Utf8CharCount(text, len);
    SQLWCHAR* out = alloc_wide(n + 1);
    if (!out) return nullptr;
    decode(text, static_cast<size_t>(len), false, out, n, nullptr);
    return out;
}

int Utf8ToWideBuf(const char* text, SQLWCHAR* dst, size_t size_units, size_t* written) {
    if (!text || !dst || size_units == 0) return -1;
    size_t n = Utf8CharCount(text, TV_NTS);
    bool fits = size_units >= n + 1;
    size_t w = decode(text, kNts, true, dst, fits ? n : size_units - 1, nullptr);
    dst[w] = 0;
    if (written) *written = w;
    return fits ? 0 : -1;
}

int Utf8ToWideBufBytes(const char* text, SQLWCHAR* dst, size_t size_bytes, size_t* length) {
    if (!text) return -1;
    size_t n = Utf8CharCount(text, TV_NTS);
    if (length) *length = n;
    if (!dst) return 0;
    size_t cap = size_bytes / 2;
    if (cap == 0) return -1;
    bool fits = cap >= n + 1;
    size_t w = decode(text, kNts, true, dst, fits ? n : cap - 1, nullptr);
    dst[w] = 0;
    return fits ? 0 : -1;
}

SQLWCHAR* Utf8ToWideCopy(SQLWCHAR* dst, const char* text, size_t max_units) {
    if (!dst || !text || max_units == 0) return dst;
    size_t n = Utf8CharCount(text, TV_NTS);
    size_t w = decode(text, kNts, true, dst, max_units >= n + 1 ? n : max_units - 1, nullptr);
    dst[w] = 0;
    return dst;
}

SQLWCHAR* Utf8ToWideCopyNts(SQLWCHAR* dst, const char* text) {
    if (!dst) return dst;
    if (!text) text = "";
    size_t w = decode(text, kNts, true, dst, kNts, nullptr);
    dst[w] = 0;
    return dst;
}

// ---- ANSI code page (UTF-8) ----

char* WideToAnsiDup(const SQLWCHAR* text, long len) { return WideToUtf8Dup(text, len); }
char* WideToAnsiDupNts(const SQLWCHAR* text) { return WideToUtf8Dup(text, TV_NTS); }
SQLWCHAR* AnsiToWideDup(const char* text, long len) { return Utf8ToWideDup(text, len); }

int AnsiToWideBufBytes(const char* text, SQLWCHAR* dst, size_t size_bytes, size_t* length_bytes) {
    size_t units = 0;
    int r = Utf8ToWideBufBytes(text, dst, size_bytes, &units);
    if (text && length_bytes) *length_bytes = units * 2;
    return r;
}

SQLWCHAR* AnsiToWideCopy(SQLWCHAR* dst, const char* text, size_t max_units) {
    if (!dst || !text) return dst;
    size_t n = Utf8CharCount(text, TV_NTS);
    if (max_units >= n + 1) {
        size_t w = decode(text, kNts, true, dst, n, nullptr);
        dst[w] = 0;
    } else {
        decode(text, kNts, true, dst, max_units, nullptr);
    }
    return dst;
}

SQLWCHAR* AnsiToWideCopyNts(SQLWCHAR* dst, const char* text) { return Utf8ToWideCopyNts(dst, text); }

char* WideToAnsiCopy(char* dst, const SQLWCHAR* text, size_t max_bytes) {
    if (!dst || !text) return dst;
    size_t need = WideUtf8Length(text, TV_NTS);
    if (max_bytes >= need + 1) {
        size_t n = encode(text, kNts, true, dst, need, nullptr);
        dst[n] = '\0';
    } else {
        encode(text, kNts, true, dst, max_bytes, nullptr);
    }
    return dst;
}

char* AnsiToUtf8Buf(char* dst, const char* text, size_t size) {
    if (!dst || !text || size == 0) return dst;
    SQLWCHAR* wide = Utf8ToWideDupNts(text);
    if (!wide) {
        dst[0] = '\0';
        return dst;
    }
    size_t n = encode(wide, kNts, true, dst, size - 1, nullptr);
    dst[n] = '\0';
    free(wide);
    return dst;
}

int WideCopyOut(const SQLWCHAR* text, SQLWCHAR* dst, uint16_t size, uint16_t* length) {
    if (!text || !dst || size == 0) return -1;
    size_t n = WideLen(text);
    if (size >= n + 1) {
        memcpy(dst, text, (n + 1) * sizeof(SQLWCHAR));
        if (length) *length = static_cast<uint16_t>(n);
        return 0;
    }
    size_t k = wide_cut(text, n, size - 1u);
    memcpy(dst, text, k * sizeof(SQLWCHAR));
    dst[k] = 0;
    if (length) *length = static_cast<uint16_t>(k);
    return -1;
}

int WideCopyOutLen(const SQLWCHAR* text, SQLWCHAR* dst, uint16_t size, uint16_t* length) {
    if (!text) return -1;
    size_t n = WideLen(text);
    if (length) *length = static_cast<uint16_t>(n);
    if (!dst) return 0;
    if (size == 0) return -1;
    size_t k = wide_cut(text, n, size - 1u);
    memcpy(dst, text, k * sizeof(SQLWCHAR));
    dst[k] = 0;
    return k == n ? 0 : -1;
}

size_t WideLen(const SQLWCHAR* text) {
    if (!text) return 0;
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

size_t CodePointToUtf8(uint32_t cp, char* dst) {
    auto* o = reinterpret_cast<unsigned char*>(dst);
    if (cp < 0x80) {
        o[0] = static_cast<unsigned char>(cp);
    } else if (cp < 0x800) {
        o[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
        o[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        o[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
        o[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        o[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    } else {
        o[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
        o[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
        o[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
        o[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
    }
    return utf8_bytes(cp);
}

size_t Utf8CutLength(const char* text, size_t len, size_t max) {
    if (len <= max) return len;
    size_t cut = max;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

// ---- Case mapping ----

int32_t CaseTableLookup(const CaseEntry* table, size_t count, uint32_t code) {
    if (!table) return 0;
    size_t lo = 0, hi = count;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (table[mid].code == code) return table[mid].delta;
        if (table[mid].code < code)
            lo = mid + 1;
        else
            hi = mid;
    }
    return 0;
}

uint32_t CodePointToUpper(uint32_t code) {
    if (is_surrogate(code)) return code;
    return static_cast<uint32_t>(static_cast<int64_t>(code) +
                                 CaseTableLookup(kUpperCaseTable, kUpperCaseTableCount, code));
}

uint32_t CodePointToLower(uint32_t code) {
    if (is_surrogate(code)) return code;
    return static_cast<uint32_t>(static_cast<int64_t>(code) +
                                 CaseTableLookup(kLowerCaseTable, kLowerCaseTableCount, code));
}

SQLWCHAR WideCharToUpper(SQLWCHAR unit) {
    uint32_t r = CodePointToUpper(unit);
    return r > 0xFFFF ? unit : static_cast<SQLWCHAR>(r);
}

SQLWCHAR WideCharToLower(SQLWCHAR unit) {
    uint32_t r = CodePointToLower(unit);
    return r > 0xFFFF ? unit : static_cast<SQLWCHAR>(r);
}

namespace {

char* map_case(char* buf, size_t size, uint32_t (*map)(uint32_t)) {
    if (!buf || size == 0) return buf;
    SQLWCHAR* wide = Utf8ToWideDupNts(buf);
    if (!wide) return buf;
    size_t n = WideLen(wide);
    for (size_t i = 0; i < n;) {
        size_t units;
        uint32_t cp = read_wide(wide + i, n - i, &units);
        uint32_t mapped = map(cp);
        if (wide_units(mapped) == units) put_wide(mapped, wide + i);
        i += units;
    }
    size_t out = encode(wide, n, false, buf, size - 1, nullptr);
    buf[out] = '\0';
    free(wide);
    return buf;
}

}  // namespace

char* Utf8ToUpperDup(char* buf, size_t size) { return map_case(buf, size, CodePointToUpper); }
char* Utf8ToLowerDup(char* buf, size_t size) { return map_case(buf, size, CodePointToLower); }
