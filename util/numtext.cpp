// Numeric literals in text, read for an integer target.
#include "util/numtext.h"

#include "util/errtable.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

namespace {

// The parts of a numeric literal: where its integer and fraction digits are and its exponent.
struct Literal {
    bool negative = false;
    uint64_t intAt = 0, intDigits = 0, fracAt = 0, fracDigits = 0;
    int64_t exponent = 0;
};

// False for text that is no numeric literal.
bool ReadLiteral(const char* s, uint64_t len, Literal* out) {
    Literal l;
    uint64_t i = 0;
    while (i < len && IsSpace(s[i])) ++i;
    if (i < len && (s[i] == '+' || s[i] == '-')) l.negative = s[i++] == '-';
    l.intAt = i;
    while (i < len && IsDigit(s[i])) ++i;
    l.intDigits = i - l.intAt;
    l.fracAt = i;
    if (i < len && s[i] == '.') {
        l.fracAt = ++i;
        while (i < len && IsDigit(s[i])) ++i;
        l.fracDigits = i - l.fracAt;
    }
    const bool any = l.intDigits + l.fracDigits > 0;
    if (any && i < len && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool eneg = false;
        if (i < len && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
        const uint64_t expAt = i;
        for (; i < len && IsDigit(s[i]); ++i)
            if (l.exponent < 100000) l.exponent = l.exponent * 10 + (s[i] - '0');
        if (i == expAt) return false;  // an exponent without digits is no number
        if (eneg) l.exponent = -l.exponent;
    }
    while (i < len && IsSpace(s[i])) ++i;
    if (i != len || !any) return false;
    *out = l;
    return true;
}

}  // namespace

int NumericTextDigits(const char* s, uint64_t len, uint64_t* wholeDigits, uint64_t* fractionDigits, uint32_t* err) {
    Literal l;
    if (!ReadLiteral(s, len, &l)) {
        *err = kErrAssignment;
        return -1;
    }
    const uint64_t count = l.intDigits + l.fracDigits;
    auto nonzero = [&](uint64_t k) {
        return (k < l.intDigits ? s[l.intAt + k] : s[l.fracAt + k - l.intDigits]) != '0';
    };
    uint64_t first = 0, last = count;
    while (first < count && !nonzero(first)) ++first;
    while (last > first && !nonzero(last - 1)) --last;
    *wholeDigits = *fractionDigits = 0;
    *err = kErrNone;
    if (first == count) return 0;
    // The point sits `point` digits into the literal's digits.
    const int64_t point = int64_t(l.intDigits) + l.exponent;
    if (point > int64_t(first)) *wholeDigits = uint64_t(point - int64_t(first));
    if (int64_t(last) > point) *fractionDigits = uint64_t(int64_t(last) - point);
    return 0;
}

// A numeric literal read for an integer target ("1600.00", "2.5", "1.5E3", blanks around it):
// its sign and the magnitude of its integer part, which may not exceed negLimit when negative,
// posLimit otherwise. Gives 1 (01S07) when fraction digits other than zeros are dropped.
int NumericTextToInteger(const char* s, uint64_t len, uint64_t negLimit, uint64_t posLimit, bool* negative,
                         uint64_t* magnitude, uint32_t* err) {
    Literal l;
    if (!ReadLiteral(s, len, &l)) {
        *err = kErrAssignment;
        return -1;
    }
    const bool neg = l.negative;
    const uint64_t intAt = l.intAt, intDigits = l.intDigits, fracAt = l.fracAt, fracDigits = l.fracDigits;
    const int64_t exponent = l.exponent;
    // The digits of the literal, integer then fraction, with the point `point` digits in.
    const uint64_t count = intDigits + fracDigits;
    auto digit = [&](uint64_t k) {
        return static_cast<unsigned>((k < intDigits ? s[intAt + k] : s[fracAt + k - intDigits]) - '0');
    };
    const int64_t point = static_cast<int64_t>(intDigits) + exponent;
    const uint64_t limit = neg ? negLimit : posLimit;
    uint64_t value = 0;
    bool over = false;
    auto push = [&](unsigned d) {
        if (over) return;
        if (value < limit / 10 || (value == limit / 10 && d <= limit % 10))
            value = value * 10 + d;
        else
            over = true;
    };
    const uint64_t whole = point <= 0 ? 0 : static_cast<uint64_t>(point);
    for (uint64_t k = 0; k < whole && k < count; ++k) push(digit(k));
    // Zeros an exponent adds: only a value other than zero can grow past the limit.
    for (uint64_t k = count; k < whole && !over && value != 0; ++k) push(0);
    bool dropped = false;
    for (uint64_t k = whole; k < count && !dropped; ++k) dropped = digit(k) != 0;
    if (over) {
        *err = kErrNumericRange;
        return -1;
    }
    *negative = neg && value != 0;
    *magnitude = value;
    *err = dropped ? kErrFractionalTruncation : kErrNone;
    return dropped ? 1 : 0;
}
