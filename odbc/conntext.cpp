#include "odbc/conntext.h"
#include "util/strutil.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace conntext {

namespace {

// Decodes one UTF-8 sequence at s[i..n); returns the code point and advances i.
char32_t DecodeOne(const unsigned char* s, std::size_t n, std::size_t& i) {
    unsigned char b = s[i];
    int extra;
    char32_t cp;
    if (b < 0x80) {
        ++i;
        return b;
    } else if ((b & 0xE0) == 0xC0) {
        extra = 1;
        cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        extra = 2;
        cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        extra = 3;
        cp = b & 0x07;
    } else {
        ++i;
        return 0xFFFD;
    }
    std::size_t j = i + 1;
    for (int k = 0; k < extra; ++k, ++j) {
        if (j >= n || (s[j] & 0xC0) != 0x80) {
            i = j;
            return 0xFFFD;
        }
        cp = (cp << 6) | (s[j] & 0x3F);
    }
    i = j;
    static const char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
    return cp;
}

void Append(std::string& out, char32_t cp) {
    char bytes[4];
    out.append(bytes, CodePointToUtf8(cp, bytes));
}

}  // namespace

std::vector<SQLWCHAR> Utf8ToUtf16(const char* s, std::ptrdiff_t len) {
    std::vector<SQLWCHAR> out;
    if (s) {
        std::size_t n = len < 0 ? std::strlen(s) : static_cast<std::size_t>(len);
        const auto* u = reinterpret_cast<const unsigned char*>(s);
        out.reserve(n + 1);
        for (std::size_t i = 0; i < n;) {
            char32_t cp = DecodeOne(u, n, i);
            if (cp >= 0x10000) {
                cp -= 0x10000;
                out.push_back(static_cast<SQLWCHAR>(0xD800 | (cp >> 10)));
                out.push_back(static_cast<SQLWCHAR>(0xDC00 | (cp & 0x3FF)));
            } else {
                out.push_back(static_cast<SQLWCHAR>(cp));
            }
        }
    }
    out.push_back(0);
    return out;
}

std::string Utf16ToUtf8(const SQLWCHAR* s, std::ptrdiff_t len) {
    std::string out;
    if (!s) return out;
    std::size_t n = len < 0 ? WideLen(s) : static_cast<std::size_t>(len);
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // lone surrogate
        }
        Append(out, c);
    }
    return out;
}

bool IsAscii(const char* s) {
    if (s)
        for (; *s; ++s)
            if (static_cast<unsigned char>(*s) >= 0x80) return false;
    return true;
}

std::string InstallerWideToUtf8(const SQLWCHAR* s) {
    if (!s) return std::string();
    std::string bytes;
    bool widened = false;
    for (const SQLWCHAR* p = s; *p; ++p) {
        if (*p < 0x80) {
            bytes += static_cast<char>(*p);
        } else if (*p >= 0xFF80 || (*p >= 0x80 && *p <= 0xFF)) {
            bytes += static_cast<char>(*p & 0xFF);
            widened = true;
        } else {
            return Utf16ToUtf8(s);
        }
    }
    if (!widened) return bytes;
    const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t before = i;
        char32_t cp = DecodeOne(u, bytes.size(), i);
        if (cp == 0xFFFD && !(i - before == 3 && bytes.compare(before, 3, "\xEF\xBF\xBD") == 0)) return Utf16ToUtf8(s);
    }
    return bytes;
}

void CutUtf8(std::string& s, std::size_t max) { s.resize(Utf8CutLength(s.data(), s.size(), max)); }

bool EqualNoCase(const char* a, std::size_t alen, const char* b) {
    return alen == std::strlen(b) && AsciiCaseCompareN(a, b, alen) == 0;
}

char* HeapCopy(const std::string& s) {
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    if (p) std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

SQLWCHAR* HeapCopyW(const std::vector<SQLWCHAR>& s) {
    std::size_t n = s.empty() ? 1 : s.size();
    auto* p = static_cast<SQLWCHAR*>(std::malloc(n * sizeof(SQLWCHAR)));
    if (!p) return nullptr;
    if (s.empty())
        p[0] = 0;
    else
        std::memcpy(p, s.data(), n * sizeof(SQLWCHAR));
    return p;
}

}  // namespace conntext
