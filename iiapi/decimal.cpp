// Exact decimal arithmetic, as the server computes DECIMAL: values of up to 31 digits added,
// subtracted, multiplied, divided, summed and compared without a double in between, as the SQL
// functions and the collation the dialect's rewrite hands such expressions to.
#include "iiapi/internal.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace iiapi {

namespace {

using u128 = unsigned __int128;

// 10^0 .. 10^38, the most a 128-bit coefficient holds.
constexpr int kMaxCoefficientDigits = 38;
struct Powers {
    u128 p[kMaxCoefficientDigits + 1];
    constexpr Powers() : p() {
        p[0] = 1;
        for (int i = 1; i <= kMaxCoefficientDigits; ++i) p[i] = p[i - 1] * 10;
    }
};
constexpr Powers kPowers;
constexpr u128 pow10(int n) { return kPowers.p[n]; }
constexpr uint64_t kChunk = 10000000000000000000ull;  // 10^19, the most a 64-bit word holds

// A 256-bit magnitude: products and scaled operands before they are checked against 31 digits.
struct Wide {
    u128 hi = 0, lo = 0;
};

Wide multiply(u128 a, u128 b) {
    const u128 a0 = uint64_t(a), a1 = a >> 64, b0 = uint64_t(b), b1 = b >> 64;
    const u128 p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const u128 mid = (p00 >> 64) + uint64_t(p01) + uint64_t(p10);
    Wide w;
    w.lo = u128(uint64_t(p00)) | (mid << 64);
    w.hi = p11 + (p01 >> 64) + (p10 >> 64) + (mid >> 64);
    return w;
}

int compare(const Wide& a, const Wide& b) {
    if (a.hi != b.hi) return a.hi < b.hi ? -1 : 1;
    if (a.lo != b.lo) return a.lo < b.lo ? -1 : 1;
    return 0;
}

Wide add(const Wide& a, const Wide& b) {
    Wide w;
    w.lo = a.lo + b.lo;
    w.hi = a.hi + b.hi + (w.lo < a.lo ? 1 : 0);
    return w;
}

Wide subtract(const Wide& a, const Wide& b) {  // a >= b
    Wide w;
    w.lo = a.lo - b.lo;
    w.hi = a.hi - b.hi - (a.lo < b.lo ? 1 : 0);
    return w;
}

// w / d, the remainder in rem.
Wide divide(const Wide& w, uint64_t d, uint64_t& rem) {
    const uint64_t limbs[4] = {uint64_t(w.hi >> 64), uint64_t(w.hi), uint64_t(w.lo >> 64), uint64_t(w.lo)};
    uint64_t q[4];
    u128 r = 0;
    for (int i = 0; i < 4; ++i) {
        const u128 cur = (r << 64) | limbs[i];
        q[i] = uint64_t(cur / d);
        r = cur % d;
    }
    rem = uint64_t(r);
    return {(u128(q[0]) << 64) | q[1], (u128(q[2]) << 64) | q[3]};
}

// w / 10^n rounded half away from zero.
Wide dropDigits(Wide w, int n) {
    if (n <= 0) return w;
    uint64_t rem = 0;
    for (int left = n - 1; left > 0;) {
        const int step = left > 19 ? 19 : left;
        w = divide(w, uint64_t(pow10(step)), rem);
        left -= step;
    }
    w = divide(w, 10, rem);
    return rem >= 5 ? add(w, Wide{0, 1}) : w;
}

// Whether w holds at most 31 digits, and then its value.
bool fitsResult(const Wide& w, u128& out) {
    if (w.hi != 0 || w.lo >= pow10(kDecimalResultDigits)) return false;
    out = w.lo;
    return true;
}

// The digits of a coefficient, most significant first, without leading zeros ("0" for zero).
size_t coefficientDigits(u128 c, char* out) {
    const uint64_t high = uint64_t(c / kChunk), low = uint64_t(c % kChunk);
    char tmp[48];
    size_t n = 0;
    if (high != 0) {
        n = size_t(std::snprintf(tmp, sizeof tmp, "%llu%019llu", static_cast<unsigned long long>(high),
                                 static_cast<unsigned long long>(low)));
    } else {
        n = size_t(std::snprintf(tmp, sizeof tmp, "%llu", static_cast<unsigned long long>(low)));
    }
    std::memcpy(out, tmp, n);
    return n;
}

}  // namespace

DecimalFault exactParse(std::string_view s, ExactDecimal& out) {
    out = ExactDecimal{};
    size_t i = 0, n = s.size();
    while (i < n && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    while (n > i && std::isspace(static_cast<unsigned char>(s[n - 1]))) --n;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    const size_t start = i;
    size_t point = std::string_view::npos;
    long intDigits = 0, fracDigits = 0;
    for (; i < n; ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9')
            ++(point == std::string_view::npos ? intDigits : fracDigits);
        else if ((c == '.' || c == ',') && point == std::string_view::npos)
            point = i;
        else
            break;
    }
    const long total = intDigits + fracDigits;
    if (total == 0) return DecimalFault::NotANumber;
    long exponent = 0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool down = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) down = s[i++] == '-';
        if (i >= n || !std::isdigit(static_cast<unsigned char>(s[i]))) return DecimalFault::NotANumber;
        for (; i < n && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
            if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
        if (down) exponent = -exponent;
    }
    if (i != n) return DecimalFault::NotANumber;
    // The mantissa's k-th digit, the point stepped over.
    auto digit = [&](long k) {
        const size_t at = start + size_t(k);
        return s[point != std::string_view::npos && at >= point ? at + 1 : at] - '0';
    };
    long first = 0;
    while (first < total && digit(first) == 0) ++first;
    long scale = fracDigits - exponent;  // value = mantissa * 10^-scale
    long append = 0, drop = 0;
    if (scale < 0) {
        append = -scale;
        scale = 0;
    } else if (scale > kDecimalResultDigits) {
        drop = scale - kDecimalResultDigits;
        scale = kDecimalResultDigits;
    }
    out.scale = int(scale);
    if (first == total) return DecimalFault::None;  // zero
    const long kept = total - first - drop;
    if (kept + append > kMaxCoefficientDigits) return DecimalFault::Overflow;
    u128 c = 0;
    for (long k = first; k < total - drop; ++k) c = c * 10 + u128(digit(k));
    if (drop > 0 && total - drop >= first && digit(total - drop) >= 5) {
        ++c;
        if (c >= pow10(kMaxCoefficientDigits)) return DecimalFault::Overflow;
    }
    for (long k = 0; k < append; ++k) c *= 10;
    out.coefficient = c;
    out.negative = negative && c != 0;
    return DecimalFault::None;
}

size_t exactFormat(const ExactDecimal& d, char* out) {
    char digits[48];
    size_t n = coefficientDigits(d.coefficient, digits);
    char* p = out;
    if (d.negative && d.coefficient != 0) *p++ = '-';
    const size_t scale = size_t(d.scale);
    if (n <= scale) {
        // 0.00ddd: zeros between the point and the digits.
        *p++ = '0';
        *p++ = '.';
        for (size_t k = n; k < scale; ++k) *p++ = '0';
        std::memcpy(p, digits, n);
        p += n;
    } else {
        std::memcpy(p, digits, n - scale);
        p += n - scale;
        if (scale > 0) {
            *p++ = '.';
            std::memcpy(p, digits + n - scale, scale);
            p += scale;
        }
    }
    *p = '\0';
    return size_t(p - out);
}

std::string exactText(const ExactDecimal& d) {
    char buf[kExactTextSize];
    return std::string(buf, exactFormat(d, buf));
}

DecimalFault exactAdd(const ExactDecimal& a, const ExactDecimal& b, ExactDecimal& out) {
    const int scale = std::max(a.scale, b.scale);
    const Wide x = multiply(a.coefficient, pow10(scale - a.scale));
    const Wide y = multiply(b.coefficient, pow10(scale - b.scale));
    Wide sum;
    bool negative = a.negative;
    if (a.negative == b.negative) {
        sum = add(x, y);
    } else if (compare(x, y) >= 0) {
        sum = subtract(x, y);
    } else {
        sum = subtract(y, x);
        negative = b.negative;
    }
    ExactDecimal r;
    if (!fitsResult(sum, r.coefficient)) return DecimalFault::Overflow;
    r.scale = scale;
    r.negative = negative && r.coefficient != 0;
    out = r;
    return DecimalFault::None;
}

DecimalFault exactSubtract(const ExactDecimal& a, const ExactDecimal& b, ExactDecimal& out) {
    ExactDecimal minus = b;
    minus.negative = !b.negative && b.coefficient != 0;
    return exactAdd(a, minus, out);
}

// The product's scale is the sum of the operands' scales, at most 31 (the further digits
// rounded away), as the server types it; more than 31 digits overflow.
DecimalFault exactMultiply(const ExactDecimal& a, const ExactDecimal& b, ExactDecimal& out) {
    int scale = a.scale + b.scale;
    Wide product = multiply(a.coefficient, b.coefficient);
    if (scale > kDecimalResultDigits) {
        product = dropDigits(product, scale - kDecimalResultDigits);
        scale = kDecimalResultDigits;
    }
    ExactDecimal r;
    if (!fitsResult(product, r.coefficient)) return DecimalFault::Overflow;
    r.scale = scale;
    r.negative = a.negative != b.negative && r.coefficient != 0;
    out = r;
    return DecimalFault::None;
}

// a / b to `scale` fraction digits, rounded half away from zero: long division a digit at a
// time, the remainder staying below the divisor (below 10^37, so ten of it fit 128 bits).
DecimalFault exactDivide(const ExactDecimal& a, const ExactDecimal& b, int scale, ExactDecimal& out) {
    if (b.coefficient == 0) return DecimalFault::DivisionByZero;
    if (b.coefficient >= pow10(kMaxCoefficientDigits - 1)) return DecimalFault::Overflow;
    scale = std::clamp(scale, 0, kDecimalResultDigits);
    // quotient digits = a * 10^shift / b, with one digit more than the scale for the rounding
    const int shift = scale + b.scale - a.scale + 1;
    u128 dividend = a.coefficient;
    int zeros = shift;
    if (shift < 0) {
        dividend /= pow10(std::min(-shift, kMaxCoefficientDigits));
        zeros = 0;
    }
    char digits[48];
    const size_t n = coefficientDigits(dividend, digits);
    const u128 limit = pow10(kDecimalResultDigits + 1);
    u128 q = 0, rem = 0;
    for (size_t k = 0; k < n + size_t(zeros); ++k) {
        rem = rem * 10 + u128(k < n ? digits[k] - '0' : 0);
        q = q * 10 + rem / b.coefficient;
        rem %= b.coefficient;
        if (q >= limit) return DecimalFault::Overflow;
    }
    const bool up = q % 10 >= 5;
    q = q / 10 + (up ? 1 : 0);
    if (q >= pow10(kDecimalResultDigits)) return DecimalFault::Overflow;
    out.coefficient = q;
    out.scale = scale;
    out.negative = a.negative != b.negative && q != 0;
    return DecimalFault::None;
}

int exactCompare(const ExactDecimal& a, const ExactDecimal& b) {
    const bool an = a.negative && a.coefficient != 0, bn = b.negative && b.coefficient != 0;
    if (an != bn) return an ? -1 : 1;
    const int scale = std::max(a.scale, b.scale);
    const int m =
        compare(multiply(a.coefficient, pow10(scale - a.scale)), multiply(b.coefficient, pow10(scale - b.scale)));
    return an ? -m : m;
}

namespace {

// A number written plainly ([sign] digits [point digits]): its sign and its significant integer
// and fraction digits (no leading, no trailing zeros), read in place.
struct PlainNumber {
    bool negative = false;
    std::string_view whole, fraction;
};

bool readPlain(std::string_view s, PlainNumber& p) {
    size_t i = 0, n = s.size();
    while (i < n && s[i] == ' ') ++i;
    while (n > i && s[n - 1] == ' ') --n;
    if (i < n && (s[i] == '+' || s[i] == '-')) p.negative = s[i++] == '-';
    size_t ws = i;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
    const size_t we = i;
    size_t fs = i, fe = i;
    if (i < n && s[i] == '.') {
        fs = ++i;
        while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
        fe = i;
    }
    if (i != n || (we == ws && fe == fs)) return false;
    while (ws < we && s[ws] == '0') ++ws;
    p.whole = s.substr(ws, we - ws);
    while (fe > fs && s[fe - 1] == '0') --fe;
    p.fraction = s.substr(fs, fe - fs);
    if (p.whole.empty() && p.fraction.empty()) p.negative = false;
    return true;
}

int comparePlain(const PlainNumber& a, const PlainNumber& b) {
    if (a.negative != b.negative) return a.negative ? -1 : 1;
    int m;
    if (a.whole.size() != b.whole.size()) {
        m = a.whole.size() < b.whole.size() ? -1 : 1;
    } else if (int w = a.whole.compare(b.whole); w != 0) {
        m = w < 0 ? -1 : 1;
    } else {
        const int f = a.fraction.compare(b.fraction);  // no trailing zeros: the shorter is less
        m = f < 0 ? -1 : f > 0 ? 1 : 0;
    }
    return a.negative ? -m : m;
}

}  // namespace

int compareDecimalTexts(std::string_view a, std::string_view b) {
    PlainNumber pa, pb;
    if (readPlain(a, pa) && readPlain(b, pb)) return comparePlain(pa, pb);
    ExactDecimal da, db;
    const bool na = exactParse(a, da) == DecimalFault::None, nb = exactParse(b, db) == DecimalFault::None;
    if (na && nb) return exactCompare(da, db);
    // What is no number orders after every number, by its bytes.
    if (na != nb) return na ? -1 : 1;
    const int m = a.compare(b);
    return m < 0 ? -1 : m > 0 ? 1 : 0;
}

// ---- The SQL functions -----------------------------------------------------------------------

namespace {

void resultFault(sqlite3_context* ctx, DecimalFault f) {
    switch (f) {
        case DecimalFault::NotANumber:
            return sqlite3_result_error(ctx, kNotANumberMessage, -1);
        case DecimalFault::Overflow:
            return sqlite3_result_error(ctx, "numeric value out of range (decimal overflow)", -1);
        case DecimalFault::DivisionByZero:
            return sqlite3_result_error(ctx, "division by zero", -1);
        case DecimalFault::None:
            return;
    }
}

// The decimal a value stands for: an integer, a double by its 15 significant digits (as every
// decimal a REAL column was given has at most those), a text or the text of a blob.
DecimalFault valueToExact(sqlite3_value* v, ExactDecimal& d) {
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER: {
            const int64_t i = sqlite3_value_int64(v);
            d = ExactDecimal{};
            d.negative = i < 0;
            d.coefficient = i < 0 ? u128(uint64_t(-(i + 1))) + 1 : u128(uint64_t(i));
            return DecimalFault::None;
        }
        case SQLITE_FLOAT: {
            const double x = sqlite3_value_double(v);
            if (!std::isfinite(x)) return DecimalFault::Overflow;
            char buf[40];
            const int n = std::snprintf(buf, sizeof buf, "%.15g", x);
            return exactParse(std::string_view(buf, size_t(n)), d);
        }
        default: {
            const auto* t = reinterpret_cast<const char*>(sqlite3_value_text(v));
            return exactParse(t ? std::string_view(t, size_t(sqlite3_value_bytes(v))) : std::string_view(), d);
        }
    }
}

// The arguments' decimals; false when one is NULL (the result is then NULL) or is no decimal
// (the context holds the error).
bool arguments(sqlite3_context* ctx, int n, sqlite3_value** argv, ExactDecimal* out) {
    for (int i = 0; i < n; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            sqlite3_result_null(ctx);
            return false;
        }
    for (int i = 0; i < n; ++i)
        if (DecimalFault f = valueToExact(argv[i], out[i]); f != DecimalFault::None) {
            resultFault(ctx, f);
            return false;
        }
    return true;
}

void resultExact(sqlite3_context* ctx, DecimalFault f, const ExactDecimal& d) {
    if (f != DecimalFault::None) return resultFault(ctx, f);
    char buf[kExactTextSize];
    const size_t n = exactFormat(d, buf);
    sqlite3_result_text(ctx, buf, int(n), SQLITE_TRANSIENT);
}

template <DecimalFault (*Op)(const ExactDecimal&, const ExactDecimal&, ExactDecimal&)>
void fnBinary(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ExactDecimal x[2], r;
    if (arguments(ctx, 2, argv, x)) resultExact(ctx, Op(x[0], x[1], r), r);
}

void fnNegate(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ExactDecimal x;
    if (!arguments(ctx, 1, argv, &x)) return;
    x.negative = !x.negative && x.coefficient != 0;
    resultExact(ctx, DecimalFault::None, x);
}

// ii_decdiv(dividend, divisor, scale): the quotient to the scale the rewrite typed it with.
void fnDivide(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ExactDecimal x[2], r;
    if (arguments(ctx, 2, argv, x)) resultExact(ctx, exactDivide(x[0], x[1], sqlite3_value_int(argv[2]), r), r);
}

void fnCompare(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ExactDecimal x[2];
    if (arguments(ctx, 2, argv, x)) sqlite3_result_int(ctx, exactCompare(x[0], x[1]));
}

// ii_dec_between(x, low, high): x BETWEEN low AND high, NULL as SQL has it (false when either
// bound alone rules x out).
void fnBetween(sqlite3_context* ctx, int, sqlite3_value** argv) {
    ExactDecimal x[3];
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    int known[2] = {-1, -1};  // -1 NULL, else 0 or 1
    for (int i = 0; i < 3; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) continue;
        if (DecimalFault f = valueToExact(argv[i], x[i]); f != DecimalFault::None) return resultFault(ctx, f);
    }
    for (int i = 1; i < 3; ++i)
        if (sqlite3_value_type(argv[i]) != SQLITE_NULL)
            known[i - 1] = i == 1 ? exactCompare(x[0], x[1]) >= 0 : exactCompare(x[0], x[2]) <= 0;
    if (known[0] == 0 || known[1] == 0) return sqlite3_result_int(ctx, 0);
    if (known[0] < 0 || known[1] < 0) return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, 1);
}

// The running sum, copied in and out of SQLite's aggregate memory (zeroed at the first row, and
// aligned to 8 bytes only).
struct Sum {
    ExactDecimal total;
    bool any = false;
};

void sumStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
    void* at = sqlite3_aggregate_context(ctx, sizeof(Sum));
    if (!at) return sqlite3_result_error_nomem(ctx);
    Sum s;
    std::memcpy(static_cast<void*>(&s), at, sizeof s);
    ExactDecimal x;
    DecimalFault f = valueToExact(argv[0], x);
    if (f == DecimalFault::None) f = exactAdd(s.total, x, s.total);
    if (f != DecimalFault::None) return resultFault(ctx, f);
    s.any = true;
    std::memcpy(at, static_cast<const void*>(&s), sizeof s);
}

void sumFinal(sqlite3_context* ctx) {
    void* at = sqlite3_aggregate_context(ctx, 0);
    Sum s;
    if (at) std::memcpy(static_cast<void*>(&s), at, sizeof s);
    if (!s.any) return sqlite3_result_null(ctx);
    resultExact(ctx, DecimalFault::None, s.total);
}

int collateDecimals(void*, int n1, const void* p1, int n2, const void* p2) {
    return compareDecimalTexts(std::string_view(static_cast<const char*>(p1), size_t(n1)),
                               std::string_view(static_cast<const char*>(p2), size_t(n2)));
}

struct DecimalFunction {
    const char* name;
    int args;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
};

const DecimalFunction kDecimalFunctions[] = {
    {kDecimalAdd, 2, fnBinary<exactAdd>},
    {kDecimalSubtract, 2, fnBinary<exactSubtract>},
    {kDecimalMultiply, 2, fnBinary<exactMultiply>},
    {kDecimalNegate, 1, fnNegate},
    {kDecimalDivide, 3, fnDivide},
    {kDecimalCompare, 2, fnCompare},
    {kDecimalBetween, 3, fnBetween},
};

}  // namespace

void registerDecimalFunctions(sqlite3* db) {
    for (const DecimalFunction& f : kDecimalFunctions)
        sqlite3_create_function(db, f.name, f.args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, f.fn, nullptr,
                                nullptr);
    sqlite3_create_function(db, kDecimalSum, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr, sumStep,
                            sumFinal);
    // Decimal columns keep their values as text: compared, sorted, grouped and indexed as the
    // numbers they are.
    sqlite3_create_collation_v2(db, kDecimalCollation, SQLITE_UTF8, nullptr, collateDecimals, nullptr);
}

}  // namespace iiapi
