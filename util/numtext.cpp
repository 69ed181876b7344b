// Numeric literals in text, read for an integer target.
#include "util/numtext.h"

#include "util/errtable.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

// A numeric literal read for an integer target ("1600.00", "2.5", "1.5E3", blanks around it):
// its sign and the magnitude of its integer part, which may not exceed negLimit when negative,
// posLimit otherwise. Gives 1 (01S07) when fraction digits other than zeros are dropped.
int NumericTextToInteger(const char* s, uint64_t len, uint64_t negLimit, uint64_t posLimit, bool* negative,
                         uint64_t* magnitude, uint32_t* err) {
    uint64_t i = 0;
    while (i < len && IsSpace(s[i])) ++i;
    bool neg = false;
    if (i < len && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    const uint64_t intAt = i;
    while (i < len && IsDigit(s[i])) ++i;
    const uint64_t intDigits = i - intAt;
    uint64_t fracAt = i, fracDigits = 0;
    if (i < len && s[i] == '.') {
        fracAt = ++i;
        while (i < len && IsDigit(s[i])) ++i;
        fracDigits = i - fracAt;
    }
    const bool any = intDigits + fracDigits > 0;
    int64_t exponent = 0;
    if (any && i < len && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool eneg = false;
        if (i < len && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
        const uint64_t expAt = i;
        for (; i < len && IsDigit(s[i]); ++i)
            if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
        if (i == expAt) i = len + 1;  // an exponent without digits is no number
        if (eneg) exponent = -exponent;
    }
    while (i < len && IsSpace(s[i])) ++i;
    if (i != len || !any) {
        *err = kErrAssignment;
        return -1;
    }
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
