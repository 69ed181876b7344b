#include "odbc/wtext.h"

#include <cstdlib>

namespace {

size_t EncodedSize(SQLWCHAR u) { return u < 0x80 ? 1 : u < 0x800 ? 2 : 3; }

// Decodes one character; returns bytes consumed, 0 at NUL or on an invalid sequence.
size_t Decode(const unsigned char* s, SQLWCHAR* out) {
    unsigned c = s[0];
    if (c == 0) return 0;
    if (c < 0x80) {
        *out = SQLWCHAR(c);
        return 1;
    }
    size_t n;
    unsigned v;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        v = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        v = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        v = c & 0x07;
    } else {
        return 0;
    }
    for (size_t i = 1; i < n; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        v = ((v << 6) | (s[i] & 0x3F)) & 0xFFFF;
    }
    *out = SQLWCHAR(v);
    return n;
}

}  // namespace

char* GwWideToUtf8Dup(const SQLWCHAR* text, int64_t len) {
    if (!text) return nullptr;
    if (len == SQL_NTS) {
        len = 0;
        while (text[len]) ++len;
    }
    if (len < 0) len = 0;
    size_t bytes = 0;
    for (int64_t i = 0; i < len; ++i) bytes += EncodedSize(text[i]);
    auto* out = static_cast<char*>(malloc(bytes + 1));
    if (!out) return nullptr;
    size_t o = 0;
    for (int64_t i = 0; i < len; ++i) {
        SQLWCHAR u = text[i];
        if (u < 0x80) {
            out[o++] = char(u);
        } else if (u < 0x800) {
            out[o++] = char(0xC0 | (u >> 6));
            out[o++] = char(0x80 | (u & 0x3F));
        } else {
            out[o++] = char(0xE0 | (u >> 12));
            out[o++] = char(0x80 | ((u >> 6) & 0x3F));
            out[o++] = char(0x80 | (u & 0x3F));
        }
    }
    out[o] = 0;
    return out;
}

int64_t GwUtf8CharCount(const char* text) {
    if (!text) return 0;
    int64_t n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        if ((*p & 0xC0) != 0x80) ++n;
    return n;
}

int GwUtf8ToWideBuf(const char* text, SQLWCHAR* dst, int64_t size, int64_t* written) {
    if (written) *written = 0;
    if (!text || !dst || size <= 0) return -1;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    int64_t n = 0;
    SQLWCHAR u;
    while (n < size - 1) {
        size_t used = Decode(p, &u);
        if (!used) break;
        dst[n++] = u;
        p += used;
    }
    dst[n] = 0;
    if (written) *written = n;
    SQLWCHAR dummy;
    return Decode(p, &dummy) ? -1 : 0;
}
