// Text, decimal and date helpers shared by the type conversions.
#include "iiapi/internal.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace iiapi {

// ---- UTF-8 / UTF-16 ------------------------------------------------------------------------

std::u16string utf8ToUtf16(std::string_view s, bool* ok) {
    std::u16string out;
    out.reserve(s.size());
    bool good = true;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        uint32_t cp;
        size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            n = 4;
        } else {
            good = false;
            out.push_back(u'?');
            ++i;
            continue;
        }
        if (i + n > s.size()) {
            good = false;
            out.push_back(u'?');
            break;
        }
        bool bad = false;
        for (size_t k = 1; k < n; ++k) {
            unsigned char cc = s[i + k];
            if ((cc & 0xC0) != 0x80) bad = true;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // A value in more bytes than it needs, a surrogate half or a value past U+10FFFF is no
        // character: read as one it would pass for another (C0 A7 for a quote).
        static const uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (!bad && (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) bad = true;
        if (bad) {
            good = false;
            out.push_back(u'?');
            ++i;
            continue;
        }
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    if (ok) *ok = good;
    return out;
}

std::string utf16ToUtf8(const char16_t* s, size_t n, bool* ok) {
    std::string out;
    out.reserve(n);
    if (ok) *ok = true;
    for (size_t i = 0; i < n; ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = '?';
            if (ok) *ok = false;
        }
        if (cp < 0x80) {
            out.push_back(char(cp));
        } else if (cp < 0x800) {
            out.push_back(char(0xC0 | (cp >> 6)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(char(0xE0 | (cp >> 12)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string hexBytes(const void* p, size_t n, bool upper) {
    static const char kUpper[] = "0123456789ABCDEF", kLower[] = "0123456789abcdef";
    const char* digits = upper ? kUpper : kLower;
    const auto* b = static_cast<const unsigned char*>(p);
    std::string s;
    s.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        s.push_back(digits[b[i] >> 4]);
        s.push_back(digits[b[i] & 0xF]);
    }
    return s;
}

bool utf8Valid(std::string_view s) {
    bool ok = true;
    size_t i = 0;
    // ASCII runs are the common case (eight bytes at a time); only the rest goes through the
    // decoder.
    for (uint64_t word; i + 8 <= s.size(); i += 8) {
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ull) break;
    }
    // The last bytes of an ASCII text as one word too, read over the ones just checked.
    if (i < s.size() && s.size() >= 8 && i + 8 > s.size()) {
        uint64_t word;
        std::memcpy(&word, s.data() + s.size() - 8, 8);
        if (!(word & 0x8080808080808080ull)) return true;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    if (i < s.size()) utf8ToUtf16(s.substr(i), &ok);
    return ok;
}

size_t utf8Fit(std::string_view s, size_t maxBytes) {
    if (s.size() <= maxBytes) return s.size();
    size_t n = maxBytes;
    // Step back over continuation bytes so that no character is cut.
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return n;
}

// ---- Exact decimals ------------------------------------------------------------------------

bool parseDecimal(std::string_view s, Decimal& d) {
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    size_t end = s.size();
    while (end > i && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
    s = s.substr(i, end - i);
    d = Decimal{};
    if (s.empty()) return false;
    size_t pos = 0;
    if (s[0] == '+' || s[0] == '-') {
        d.negative = s[0] == '-';
        pos = 1;
    }
    std::string digits;
    int scale = 0;
    bool point = false, any = false;
    for (; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c >= '0' && c <= '9') {
            digits.push_back(c);
            any = true;
            if (point) ++scale;
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any) return false;
    int exp = 0;
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
        ++pos;
        bool eneg = false;
        if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) eneg = s[pos++] == '-';
        if (pos >= s.size()) return false;
        for (; pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])); ++pos) {
            exp = exp * 10 + (s[pos] - '0');
            if (exp > 400) return false;
        }
        if (eneg) exp = -exp;
    }
    if (pos != s.size()) return false;
    scale -= exp;
    if (scale < 0) {
        digits.append(size_t(-scale), '0');
        scale = 0;
    }
    size_t nz = digits.find_first_not_of('0');
    digits = nz == std::string::npos ? "0" : digits.substr(nz);
    // Keep at least scale + 1 digits so that the point has a digit before it.
    while (int(digits.size()) < scale + 1) digits.insert(digits.begin(), '0');
    d.digits = digits;
    d.scale = scale;
    if (d.digits.find_first_not_of('0') == std::string::npos) d.negative = false;
    return true;
}

bool decimalRescale(Decimal& d, int precision, int scale) {
    if (d.scale > scale) {
        int drop = d.scale - scale;
        std::string keep = d.digits.substr(0, d.digits.size() - size_t(drop));
        char first = d.digits[d.digits.size() - size_t(drop)];
        if (keep.empty()) keep = "0";
        if (first >= '5') {
            // Round half away from zero.
            int k = int(keep.size()) - 1;
            while (k >= 0) {
                if (keep[size_t(k)] == '9') {
                    keep[size_t(k)] = '0';
                    --k;
                } else {
                    ++keep[size_t(k)];
                    break;
                }
            }
            if (k < 0) keep.insert(keep.begin(), '1');
        }
        d.digits = keep;
        d.scale = scale;
    } else if (d.scale < scale) {
        d.digits.append(size_t(scale - d.scale), '0');
        d.scale = scale;
    }
    size_t nz = d.digits.find_first_not_of('0');
    d.digits = nz == std::string::npos ? "0" : d.digits.substr(nz);
    while (int(d.digits.size()) < d.scale + 1) d.digits.insert(d.digits.begin(), '0');
    if (d.digits.find_first_not_of('0') == std::string::npos) d.negative = false;
    int intDigits = int(d.digits.size()) - d.scale;
    if (intDigits == 1 && d.digits[0] == '0') intDigits = 0;
    return intDigits <= precision - scale;
}

std::string decimalText(const Decimal& d) {
    std::string out;
    if (d.negative) out.push_back('-');
    std::string digits = d.digits;
    while (int(digits.size()) < d.scale + 1) digits.insert(digits.begin(), '0');
    out += digits.substr(0, digits.size() - size_t(d.scale));
    if (d.scale > 0) {
        out.push_back('.');
        out += digits.substr(digits.size() - size_t(d.scale));
    }
    return out;
}

void decimalPack(const Decimal& d, int precision, uint8_t* out) {
    // precision digits plus a sign nibble, most significant first, in precision / 2 + 1 bytes.
    int nibbles = (precision / 2 + 1) * 2;
    std::vector<uint8_t> n(size_t(nibbles), 0);
    n[size_t(nibbles - 1)] = d.negative ? 0xD : 0xC;
    int pos = nibbles - 2;
    for (int i = int(d.digits.size()) - 1; i >= 0 && pos >= 0; --i, --pos)
        n[size_t(pos)] = uint8_t(d.digits[size_t(i)] - '0');
    for (int b = 0; b < nibbles / 2; ++b) out[b] = uint8_t((n[size_t(2 * b)] << 4) | n[size_t(2 * b + 1)]);
}

Decimal decimalUnpack(const uint8_t* in, int precision, int scale) {
    int bytes = precision / 2 + 1;
    Decimal d;
    std::string digits;
    for (int b = 0; b < bytes; ++b) {
        int hi = in[b] >> 4, lo = in[b] & 0xF;
        digits.push_back(char('0' + (hi > 9 ? 0 : hi)));
        if (b < bytes - 1)
            digits.push_back(char('0' + (lo > 9 ? 0 : lo)));
        else
            d.negative = lo == 0xD || lo == 0xB;
    }
    d.digits = digits;
    d.scale = scale;
    size_t nz = d.digits.find_first_not_of('0');
    d.digits = nz == std::string::npos ? "0" : d.digits.substr(nz);
    while (int(d.digits.size()) < d.scale + 1) d.digits.insert(d.digits.begin(), '0');
    if (d.digits.find_first_not_of('0') == std::string::npos) d.negative = false;
    return d;
}

// ---- Dates ---------------------------------------------------------------------------------

namespace {

bool readNum(std::string_view s, size_t& i, int maxDigits, int& v) {
    size_t start = i;
    v = 0;
    while (i < s.size() && i - start < size_t(maxDigits) && std::isdigit(static_cast<unsigned char>(s[i])))
        v = v * 10 + (s[i++] - '0');
    return i > start;
}

bool validDate(int y, int m, int d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    if (d <= days[m - 1]) return true;
    // Only the 29th of February needs the year: the date of every value read is checked here.
    return m == 2 && d == 29 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0);
}

int monthFromName(std::string_view s) {
    static const char* names = "janfebmaraprmayjunjulaugsepoctnovdec";
    if (s.size() < 3) return 0;
    char a[3];
    for (int k = 0; k < 3; ++k) a[k] = asciiLower(s[size_t(k)]);
    for (int m = 0; m < 12; ++m)
        if (std::memcmp(names + 3 * m, a, 3) == 0) return m + 1;
    return 0;
}

bool parseTime(std::string_view s, size_t& i, IIAPI_DATETIME& dt) {
    int h, mi, se = 0;
    if (!readNum(s, i, 2, h) || i >= s.size() || s[i] != ':') return false;
    ++i;
    if (!readNum(s, i, 2, mi)) return false;
    if (i < s.size() && s[i] == ':') {
        ++i;
        if (!readNum(s, i, 2, se)) return false;
        if (i < s.size() && s[i] == '.') {
            ++i;
            uint32_t ns = 0;
            int k = 0;
            while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
                if (k < 9) {
                    ns = ns * 10 + uint32_t(s[i] - '0');
                    ++k;
                }
                ++i;
            }
            while (k++ < 9) ns *= 10;
            dt.dt_nanosecond = ns;
        }
    }
    if (h > 23 || mi > 59 || se > 59) return false;
    dt.dt_hour = uint8_t(h);
    dt.dt_minute = uint8_t(mi);
    dt.dt_second = uint8_t(se);
    return true;
}

bool parseInterval(std::string_view s, IIAPI_DATETIME& dt) {
    // "N years N months N days N hours N minutes N seconds" with abbreviations, or "d hh:mm:ss".
    size_t i = 0;
    bool any = false, neg = false;
    long years = 0, months = 0, days = 0, hours = 0, minutes = 0, seconds = 0;
    {
        // "y-mm": years and months.
        size_t k = 0;
        bool minus = !s.empty() && s[0] == '-';
        if (minus) ++k;
        int y, m;
        size_t dash;
        if (readNum(s, k, 4, y) && k < s.size() && s[k] == '-' && (dash = k + 1, k = dash, readNum(s, k, 2, m)) &&
            k == s.size() && m < 12) {
            dt = IIAPI_DATETIME{};
            dt.dt_kind = minus && (y || m) ? IIAPI_DTK_NEG_INTERVAL : IIAPI_DTK_INTERVAL;
            dt.dt_year = int16_t(y);
            dt.dt_month = uint8_t(m);
            return true;
        }
    }
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        if (i >= s.size()) break;
        bool thisNeg = false;
        if (s[i] == '-' || s[i] == '+') thisNeg = s[i++] == '-';
        int v;
        size_t numStart = i;
        if (!readNum(s, i, 9, v)) return false;
        if (i < s.size() && s[i] == ':') {
            i = numStart;
            IIAPI_DATETIME t{};
            if (!parseTime(s, i, t)) return false;
            hours += t.dt_hour;
            minutes += t.dt_minute;
            seconds += t.dt_second;
            any = true;
            continue;
        }
        while (i < s.size() && s[i] == ' ') ++i;
        size_t w = i;
        while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
        std::string unit(s.substr(w, i - w));
        for (auto& ch : unit) ch = asciiLower(ch);
        long sv = thisNeg ? -long(v) : long(v);
        if (unit.rfind("y", 0) == 0)
            years += sv;
        else if (unit.rfind("mo", 0) == 0)
            months += sv;
        else if (unit.rfind("d", 0) == 0 || unit.empty())
            days += sv;
        else if (unit.rfind("h", 0) == 0)
            hours += sv;
        else if (unit.rfind("mi", 0) == 0)
            minutes += sv;
        else if (unit.rfind("s", 0) == 0)
            seconds += sv;
        else if (unit.rfind("w", 0) == 0)
            days += 7 * sv;
        else
            return false;
        any = true;
    }
    if (!any) return false;
    // One sign for the whole interval: the components count in the direction of the first.
    neg = false;
    {
        long total = ((years * 12 + months) * 31 + days) * 86400 + hours * 3600 + minutes * 60 + seconds;
        if (total < 0) {
            neg = true;
            years = -years;
            months = -months;
            days = -days;
            hours = -hours;
            minutes = -minutes;
            seconds = -seconds;
        }
        if (years < 0 || months < 0 || days < 0 || hours < 0 || minutes < 0 || seconds < 0) {
            // Mixed signs: normalise through the smallest unit that keeps the value exact.
            long secs = days * 86400 + hours * 3600 + minutes * 60 + seconds;
            long mons = years * 12 + months;
            if (mons < 0 || secs < 0) return false;
            years = mons / 12;
            months = mons % 12;
            days = secs / 86400;
            hours = secs % 86400 / 3600;
            minutes = secs % 3600 / 60;
            seconds = secs % 60;
        }
    }
    minutes += seconds / 60;
    seconds %= 60;
    hours += minutes / 60;
    minutes %= 60;
    days += hours / 24;
    hours %= 24;
    years += months / 12;
    months %= 12;
    if (years > 32767 || years < -32768 || days > 9999999) return false;
    dt = IIAPI_DATETIME{};
    dt.dt_kind = neg ? IIAPI_DTK_NEG_INTERVAL : IIAPI_DTK_INTERVAL;
    dt.dt_year = int16_t(years);
    dt.dt_month = uint8_t(months);
    dt.dt_day = uint8_t(days > 255 ? 255 : days);
    // The whole day count travels in the nanosecond word (intervals carry no fraction).
    dt.dt_nanosecond = uint32_t(days);
    dt.dt_hour = uint8_t(hours);
    dt.dt_minute = uint8_t(minutes);
    dt.dt_second = uint8_t(seconds);
    return true;
}

}  // namespace

namespace {

[[gnu::always_inline]] inline bool digitsAt(std::string_view s, size_t at, size_t n, int& v) {
    v = 0;
    for (size_t k = at; k < at + n; ++k) {
        const unsigned d = unsigned(static_cast<unsigned char>(s[k])) - '0';
        if (d > 9) return false;
        v = v * 10 + int(d);
    }
    return true;
}

// The fixed fields of a stored date or time (two or four digits): unrolled, as every row read
// decodes six or seven of them.
template <size_t N>
[[gnu::always_inline]] inline bool fixedDigits(std::string_view s, size_t at, int& v) {
    unsigned d[N];
    unsigned bad = 0;
    for (size_t k = 0; k < N; ++k) {
        d[k] = unsigned(static_cast<unsigned char>(s[at + k])) - '0';
        bad |= d[k] > 9 ? 1u : 0u;
    }
    if (bad) return false;
    unsigned x = 0;
    for (size_t k = 0; k < N; ++k) x = x * 10 + d[k];
    v = int(x);
    return true;
}

// "hh:mm:ss" at s[at], then nothing or '.' and at least one digit up to the end.
[[gnu::always_inline]] inline bool storedClock(std::string_view s, size_t at, IIAPI_DATETIME& dt) {
    int h, mi, se;
    if (s.size() < at + 8 || s[at + 2] != ':' || s[at + 5] != ':' || !fixedDigits<2>(s, at, h) ||
        !fixedDigits<2>(s, at + 3, mi) || !fixedDigits<2>(s, at + 6, se) || h > 23 || mi > 59 || se > 59)
        return false;
    static constexpr uint32_t kScale[10] = {1000000000, 100000000, 10000000, 1000000, 100000, 10000, 1000, 100, 10, 1};
    uint32_t ns = 0;
    size_t i = at + 8;
    if (i < s.size()) {
        if (s[i] != '.' || i + 1 == s.size()) return false;
        // Nanoseconds from the first nine digits; the others must be digits too.
        const size_t first = i + 1, kept = std::min<size_t>(s.size() - first, 9);
        int v;
        if (!digitsAt(s, first, kept, v)) return false;
        for (size_t k = first + kept; k < s.size(); ++k)
            if (unsigned(static_cast<unsigned char>(s[k])) - '0' > 9) return false;
        ns = uint32_t(v) * kScale[kept];
    }
    dt.dt_hour = uint8_t(h);
    dt.dt_minute = uint8_t(mi);
    dt.dt_second = uint8_t(se);
    dt.dt_nanosecond = ns;
    return true;
}

// The form the engine stores every date and time in ("yyyy-mm-dd", "yyyy-mm-dd hh:mm:ss[.f]",
// "hh:mm:ss[.f]"), read by position: it is decoded for every value of every row fetched. Any
// other text takes the general reading, which gives the same value for these.
bool storedDateTime(std::string_view s, IIAPI_DATETIME& dt) {
    if (s.size() >= 8 && s[2] == ':') {
        if (!storedClock(s, 0, dt)) return false;
        dt.dt_kind = IIAPI_DTK_TIME;
        return true;
    }
    int y, m, d;
    if (s.size() < 10 || s[4] != '-' || s[7] != '-' || !fixedDigits<4>(s, 0, y) || !fixedDigits<2>(s, 5, m) ||
        !fixedDigits<2>(s, 8, d) || !validDate(y, m, d))
        return false;
    dt.dt_year = int16_t(y);
    dt.dt_month = uint8_t(m);
    dt.dt_day = uint8_t(d);
    if (s.size() == 10) {
        dt.dt_kind = IIAPI_DTK_DATE;
        return true;
    }
    if (s[10] != ' ' || !storedClock(s, 11, dt)) return false;
    dt.dt_kind = IIAPI_DTK_DATETIME;
    return true;
}

// Eight characters of a stored value, the first in the low byte.
[[gnu::always_inline]] inline uint64_t chars8(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

constexpr uint64_t kOnes = 0x0101010101010101ull;

// A word of a stored text against its layout: digits where `digits` has 0xFF bytes, exactly the
// bytes of `fixed` elsewhere. `x` is the word less the layout: each digit's value in its byte,
// zero at the separators. Nonzero `miss` when a byte is not as laid out: a separator that differs
// or a digit whose high half is not 3 leaves bits outside a digit's low half; with every byte at
// most 15, adding 6 reaches 16 only from a low half above 9, and never carries.
struct Layout {
    uint64_t x, miss;
};
[[gnu::always_inline]] inline Layout layoutOf(uint64_t w, uint64_t digits, uint64_t fixed) {
    const uint64_t x = w ^ ((0x30 * kOnes & digits) | fixed);
    return {x, (x & (~digits | 0xF0 * kOnes)) | ((x + 6 * kOnes) & 0x10 * kOnes)};
}

// Byte k of the result: ten times the digit of byte k plus that of byte k + 1.
[[gnu::always_inline]] inline uint64_t digitPairs(uint64_t x) { return x * 10 + (x >> 8); }

[[gnu::always_inline]] inline unsigned byteAt(uint64_t w, unsigned k) { return unsigned(w >> (8 * k)) & 0xFF; }

// "yyyy-mm-dd hh:mm:ss" with no fraction or six digits of one, as the engine writes every
// timestamp it stores: checked and read eight characters at a time. False leaves dt untouched
// for the field-by-field reading, which accepts the same texts with the same values.
bool storedTimestamp(std::string_view s, IIAPI_DATETIME& dt) {
    if constexpr (std::endian::native != std::endian::little) return false;
    if (s.size() != 19 && s.size() != 26) return false;
    const char* p = s.data();
    // "yyyy-mm-", "dd hh:mm", "hh:mm:ss" (the day and the blank are all the second adds).
    const Layout a = layoutOf(chars8(p), 0x00FFFF00FFFFFFFFull, 0x2D00002D00000000ull);
    const Layout b = layoutOf(chars8(p + 8), 0xFFFF00FFFF00FFFFull, 0x00003A0000200000ull);
    const Layout c = layoutOf(chars8(p + 11), 0xFFFF00FFFF00FFFFull, 0x00003A00003A0000ull);
    uint64_t miss = a.miss | b.miss | c.miss, f = 0;
    if (s.size() == 26) {
        // "s.ffffff": the last second digit again, the point, six digits.
        const Layout e = layoutOf(chars8(p + 18), 0xFFFFFFFFFFFF00FFull, 0x0000000000002E00ull);
        miss |= e.miss;
        f = digitPairs(e.x);
    }
    if (miss) return false;
    const uint64_t da = digitPairs(a.x), db = digitPairs(b.x), dc = digitPairs(c.x);
    const int y = int(byteAt(da, 0) * 100 + byteAt(da, 2)), m = int(byteAt(da, 5)), d = int(byteAt(db, 0));
    const unsigned h = byteAt(dc, 0), mi = byteAt(dc, 3), se = byteAt(dc, 6);
    if (!validDate(y, m, d) || h > 23 || mi > 59 || se > 59) return false;
    dt.dt_year = int16_t(y);
    dt.dt_month = uint8_t(m);
    dt.dt_day = uint8_t(d);
    dt.dt_hour = uint8_t(h);
    dt.dt_minute = uint8_t(mi);
    dt.dt_second = uint8_t(se);
    dt.dt_kind = IIAPI_DTK_DATETIME;
    dt.dt_nanosecond = (byteAt(f, 2) * 10000 + byteAt(f, 4) * 100 + byteAt(f, 6)) * 1000;
    return true;
}

// Every text but a stored timestamp; apart, so that the stored one's reading saves no registers
// for it.
[[gnu::noinline]] bool parseOtherDateText(std::string_view s, IIAPI_DATETIME& dt) {
    if (storedDateTime(s, dt)) return true;
    dt = IIAPI_DATETIME{};
    size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == 0)) --e;
    s = s.substr(b, e - b);
    if (s.empty()) {
        dt.dt_kind = IIAPI_DTK_EMPTY;
        return true;
    }
    size_t i = 0;
    int a, m, d, y;
    // A time of day alone.
    if (s.size() >= 5 && s[2] == ':') {
        if (!parseTime(s, i, dt)) return false;
        while (i < s.size() && s[i] == ' ') ++i;
        dt.dt_kind = IIAPI_DTK_TIME;
        return i == s.size() || s.substr(i) == "+00:00" || s.substr(i) == "Z";
    }
    if (!readNum(s, i, 4, a)) return parseInterval(s, dt);
    size_t firstLen = i;
    char sep = i < s.size() ? s[i] : 0;
    if (firstLen == 4 && (sep == '-' || sep == '_' || sep == '.' || sep == '/')) {
        y = a;
        ++i;
        if (!readNum(s, i, 2, m) || i >= s.size() || s[i] != sep) return parseInterval(s, dt);
        ++i;
        if (!readNum(s, i, 2, d)) return false;
    } else if (firstLen <= 2 && sep == '-' && i + 1 < s.size() && std::isalpha(static_cast<unsigned char>(s[i + 1]))) {
        // dd-mmm-yyyy
        d = a;
        ++i;
        m = monthFromName(s.substr(i));
        if (!m) return false;
        while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
        if (i >= s.size() || s[i] != '-') return false;
        ++i;
        size_t ys = i;
        if (!readNum(s, i, 4, y)) return false;
        if (i - ys <= 2) y += y < 70 ? 2000 : 1900;
    } else if (firstLen <= 2 && (sep == '/' || sep == '-' || sep == '.')) {
        // Day-month order follows II_DATE_FORMAT: US (mm/dd/yyyy) unless a European format is asked.
        int b2;
        ++i;
        if (!readNum(s, i, 2, b2) || i >= s.size() || s[i] != sep) return parseInterval(s, dt);
        ++i;
        size_t ys = i;
        if (!readNum(s, i, 4, y)) return false;
        if (i - ys <= 2) y += y < 70 ? 2000 : 1900;
        const char* fmt = std::getenv("II_DATE_FORMAT");
        std::string f = fmt ? fmt : "US";
        for (auto& ch : f) ch = asciiUpper(ch);
        bool dayFirst = sep == '.' || f == "MULTINATIONAL" || f == "MULTINATIONAL4" || f == "GERMAN" || f == "DMY" ||
                        f == "FINLAND" || f == "SWEDEN";
        if (dayFirst) {
            d = a;
            m = b2;
        } else {
            m = a;
            d = b2;
        }
    } else {
        return parseInterval(s, dt);
    }
    if (!validDate(y, m, d)) return false;
    dt.dt_year = int16_t(y);
    dt.dt_month = uint8_t(m);
    dt.dt_day = uint8_t(d);
    dt.dt_kind = IIAPI_DTK_DATE;
    while (i < s.size() && (s[i] == ' ' || s[i] == 'T')) ++i;
    if (i < s.size()) {
        if (!parseTime(s, i, dt)) return false;
        dt.dt_kind = IIAPI_DTK_DATETIME;
        while (i < s.size() && s[i] == ' ') ++i;
        if (i < s.size() && s.substr(i) != "+00:00" && s.substr(i) != "Z" && s.substr(i) != "GMT") return false;
    }
    return true;
}

}  // namespace

bool parseDateText(std::string_view s, IIAPI_DATETIME& dt) {
    // A stored timestamp sets every field.
    if (storedTimestamp(s, dt)) return true;
    dt = IIAPI_DATETIME{};
    return parseOtherDateText(s, dt);
}

std::string formatDate(const IIAPI_DATETIME& dt, int16_t type) {
    char buf[96];
    auto dateOnly = [&] {
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", int(dt.dt_year), unsigned(dt.dt_month), unsigned(dt.dt_day));
        return std::string(buf);
    };
    auto timeOnly = [&] {
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", unsigned(dt.dt_hour), unsigned(dt.dt_minute),
                      unsigned(dt.dt_second));
        return std::string(buf);
    };
    if (dt.dt_kind == IIAPI_DTK_INTERVAL || dt.dt_kind == IIAPI_DTK_NEG_INTERVAL) {
        uint32_t days = dt.dt_nanosecond ? dt.dt_nanosecond : dt.dt_day;
        bool neg = dt.dt_kind == IIAPI_DTK_NEG_INTERVAL || dt.dt_year < 0;
        long years = dt.dt_year < 0 ? -long(dt.dt_year) : long(dt.dt_year);
        if (type == IIAPI_INTYM_TYPE) {
            std::snprintf(buf, sizeof buf, "%s%ld-%02u", neg ? "-" : "", years, unsigned(dt.dt_month));
            return buf;
        }
        if (type == IIAPI_INTDS_TYPE) {
            std::snprintf(buf, sizeof buf, "%s%u %02u:%02u:%02u", neg ? "-" : "", days, unsigned(dt.dt_hour),
                          unsigned(dt.dt_minute), unsigned(dt.dt_second));
            return buf;
        }
        std::string out = neg ? "-" : "";
        auto add = [&](long v, const char* unit) {
            if (!v) return;
            if (out.size() > 1 || (out.size() == 1 && out[0] != '-')) out.push_back(' ');
            out += std::to_string(v) + " " + unit;
        };
        add(years, "yrs");
        add(dt.dt_month, "mos");
        add(days, "days");
        add(dt.dt_hour, "hrs");
        add(dt.dt_minute, "mins");
        add(dt.dt_second, "secs");
        return out.empty() || out == "-" ? "0 days" : out;
    }
    switch (type) {
        case IIAPI_ADATE_TYPE:
            return dt.dt_kind == IIAPI_DTK_EMPTY || dt.dt_kind == IIAPI_DTK_TIME ? std::string() : dateOnly();
        case IIAPI_TMWO_TYPE:
        case IIAPI_TMTZ_TYPE:
        case IIAPI_TIME_TYPE:
            return dt.dt_kind == IIAPI_DTK_EMPTY ? std::string() : timeOnly();
        case IIAPI_TSWO_TYPE:
        case IIAPI_TSTZ_TYPE:
        case IIAPI_TS_TYPE: {
            if (dt.dt_kind == IIAPI_DTK_EMPTY) return std::string();
            std::string s = dateOnly() + " " + timeOnly();
            std::snprintf(buf, sizeof buf, ".%06u", unsigned(dt.dt_nanosecond / 1000));
            return s + buf;
        }
        default:
            if (dt.dt_kind == IIAPI_DTK_EMPTY) return std::string();
            if (dt.dt_kind == IIAPI_DTK_DATE) return dateOnly();
            if (dt.dt_kind == IIAPI_DTK_TIME) return timeOnly();
            return dateOnly() + " " + timeOnly();
    }
}

namespace {

// Text in one of the stored layouts whose byte order is the order of time: "yyyy-mm-dd..." or
// "hh:mm:ss...", then digits, blanks, ':' , '-' and '.' only.
bool isoLayout(std::string_view s) {
    auto digit = [&](size_t i) { return std::isdigit(static_cast<unsigned char>(s[i])) != 0; };
    if (s.size() >= 10 && s[4] == '-' && s[7] == '-') {
        for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
            if (!digit(i)) return false;
    } else if (s.size() >= 8 && s[2] == ':' && s[5] == ':') {
        for (size_t i : {0, 1, 3, 4, 6, 7})
            if (!digit(i)) return false;
    } else {
        return false;
    }
    return true;
}

// Days from 0001-01-01 of a proleptic Gregorian date.
int64_t dayNumber(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = y / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
}

// A date/time text as a point of one scale: its class (0 the empty date, 1 a day and a time of
// it, 2 a time of day, 3 an interval, 4 no date at all), then two magnitudes.
struct TimeKey {
    int kind = 4;
    int64_t major = 0, minor = 0;
};

TimeKey timeKey(std::string_view s) {
    TimeKey k;
    IIAPI_DATETIME dt;
    if (!parseDateText(s, dt)) return k;
    const int64_t clock =
        (int64_t(dt.dt_hour) * 3600 + int64_t(dt.dt_minute) * 60 + dt.dt_second) * 1000000000 + dt.dt_nanosecond;
    switch (dt.dt_kind) {
        case IIAPI_DTK_EMPTY:
            k.kind = 0;
            break;
        case IIAPI_DTK_DATE:
        case IIAPI_DTK_DATETIME:
            k.kind = 1;
            k.major = dayNumber(dt.dt_year, dt.dt_month, dt.dt_day);
            k.minor = dt.dt_kind == IIAPI_DTK_DATE ? 0 : clock;
            break;
        case IIAPI_DTK_TIME:
            k.kind = 2;
            k.minor = clock;
            break;
        default: {
            // Intervals carry their whole day count in the nanosecond word.
            const int64_t days = dt.dt_nanosecond ? dt.dt_nanosecond : dt.dt_day;
            const int64_t sign = dt.dt_kind == IIAPI_DTK_NEG_INTERVAL ? -1 : 1;
            k.kind = 3;
            k.major = sign * (int64_t(dt.dt_year) * 12 + dt.dt_month);
            k.minor = sign * (days * 86400 + int64_t(dt.dt_hour) * 3600 + int64_t(dt.dt_minute) * 60 + dt.dt_second);
            break;
        }
    }
    return k;
}

}  // namespace

int compareDateTimeTexts(std::string_view a, std::string_view b) {
    // Values of one column share one layout, in which bytes order as times do.
    if (a.size() == b.size() && isoLayout(a) && isoLayout(b)) {
        bool same = true;
        for (size_t i = 0; i < a.size() && same; ++i) {
            const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
            const bool db = std::isdigit(static_cast<unsigned char>(b[i])) != 0;
            same = da == db && (da || (a[i] == b[i] && std::strchr(" -:.", a[i]) != nullptr));
        }
        if (same) {
            const int r = a.compare(b);
            return r < 0 ? -1 : r > 0 ? 1 : 0;
        }
    }
    const TimeKey x = timeKey(a), y = timeKey(b);
    if (x.kind != y.kind) return x.kind < y.kind ? -1 : 1;
    if (x.kind == 4) {
        const int r = a.compare(b);
        return r < 0 ? -1 : r > 0 ? 1 : 0;
    }
    if (x.major != y.major) return x.major < y.major ? -1 : 1;
    if (x.minor != y.minor) return x.minor < y.minor ? -1 : 1;
    return 0;
}

bool canonicalDateTime(std::string_view in, const IngType& t, std::string& out) {
    IIAPI_DATETIME dt;
    if (!parseDateText(in, dt)) return false;
    const bool interval = dt.dt_kind == IIAPI_DTK_INTERVAL || dt.dt_kind == IIAPI_DTK_NEG_INTERVAL;
    const bool hasDate = dt.dt_kind == IIAPI_DTK_DATE || dt.dt_kind == IIAPI_DTK_DATETIME;
    int precision = std::clamp(int(t.precision), 0, 9);
    char buf[64];
    auto fraction = [&] {
        if (precision == 0) return std::string();
        std::snprintf(buf, sizeof buf, "%09u", unsigned(dt.dt_nanosecond));
        return "." + std::string(buf, size_t(precision));
    };
    auto clock = [&] {
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", unsigned(dt.dt_hour), unsigned(dt.dt_minute),
                      unsigned(dt.dt_second));
        return std::string(buf);
    };
    auto day = [&] {
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", int(dt.dt_year), unsigned(dt.dt_month), unsigned(dt.dt_day));
        return std::string(buf);
    };
    switch (t.type) {
        case IIAPI_ADATE_TYPE:
            if (!hasDate) return false;
            out = day();
            return true;
        case IIAPI_TMWO_TYPE:
        case IIAPI_TMTZ_TYPE:
        case IIAPI_TIME_TYPE:
            if (interval || dt.dt_kind == IIAPI_DTK_EMPTY || dt.dt_kind == IIAPI_DTK_DATE) return false;
            out = clock() + fraction();
            return true;
        case IIAPI_TSWO_TYPE:
        case IIAPI_TSTZ_TYPE:
        case IIAPI_TS_TYPE:
            if (!hasDate) return false;
            out = day() + " " + clock() + fraction();
            return true;
        case IIAPI_INTYM_TYPE:
        case IIAPI_INTDS_TYPE:
            if (!interval) return false;
            out = formatDate(dt, t.type);
            return true;
        default:
            // ingresdate: a date, a date and time to the second, a time, an interval or the empty date.
            out = formatDate(dt, IIAPI_DATE_TYPE);
            return true;
    }
}

}  // namespace iiapi
