#pragma once
// Numeric literals in text (ODBC's numeric-literal: a sign, digits with an optional point, an
// optional exponent; blanks around it), read the same way by the agent and the ODBC layer.
#include <bit>
#include <cstdint>
#include <cstring>

#include "util/errtable.h"

// A numeric literal read for an integer target ("1600.00", "2.5", "1.5E3", blanks around it):
// its sign and the magnitude of its integer part, which may not exceed negLimit when negative,
// posLimit otherwise (kErrNumericRange beyond). Gives 1 (kErrFractionalTruncation, 01S07) when
// fraction digits other than zeros are dropped, -1 with kErrAssignment for text that is no
// numeric literal.
int NumericTextToInteger(const char* s, uint64_t len, uint64_t negLimit, uint64_t posLimit, bool* negative,
                         uint64_t* magnitude, uint32_t* err);

// The significant digits of a numeric literal (blanks around it): those before the point (no
// leading zeros) and those after it (no trailing zeros), the exponent applied; "0012.3400" and
// "1.234E1" are 2 and 2, any zero 0 and 0. 0, or -1 with kErrAssignment for text that is no
// numeric literal.
int NumericTextDigits(const char* s, uint64_t len, uint64_t* wholeDigits, uint64_t* fractionDigits, uint32_t* err);

namespace numtext {

// The end of PlainInteger: the sign and the range of `value`, the digits of text s.
inline int PlainIntegerValue(const char* s, uint64_t at, uint64_t value, uint64_t negLimit, uint64_t posLimit,
                             bool* negative, uint64_t* magnitude, uint32_t* err) {
    const bool neg = at == 1 && s[0] == '-';
    if (value > (neg ? negLimit : posLimit)) {
        *err = kErrNumericRange;
        return -1;
    }
    *negative = neg && value != 0;
    *magnitude = value;
    *err = kErrNone;
    return 0;
}

// The value of the n (1 to 8) characters at s if all are decimal digits, read as one word from
// the 8 bytes at s (all of them readable; those past the n are not looked at).
inline bool DigitWord(const char* s, unsigned n, uint64_t* value) {
    constexpr uint64_t kOnes = 0x0101010101010101;
    uint64_t w;
    std::memcpy(&w, s, 8);
    // The first character is the lowest byte: the n digits move to the top, zeros come in below
    // them (leading zeros). A borrow from the bytes past the n leaves with them.
    const uint64_t d = (w - 0x30 * kOnes) << (8 * (8 - n));
    // A byte outside '0'..'9' (the lowest of them has no borrow from the digits below it) leaves
    // a high half-byte in d or in d + 6.
    if ((d | (d + 6 * kOnes)) & (0xF0 * kOnes)) return false;
    // Pairs, then the four pairs: 10a + b in every second byte, then a pair weighed by its place.
    const uint64_t pairs = d * 10 + (d >> 8);
    constexpr uint64_t kPairMask = 0x000000FF000000FF;
    *value =
        ((pairs & kPairMask) * (100 + (1000000ull << 32)) + ((pairs >> 16) & kPairMask) * (1 + (10000ull << 32))) >> 32;
    return true;
}

}  // namespace numtext

// NumericTextToInteger of the text most integers arrive as, a sign and at most 19 digits (too few to
// overflow) and nothing else, read in one pass; 2 when the text is not of that form.
inline int PlainInteger(const char* s, uint64_t len, uint64_t negLimit, uint64_t posLimit, bool* negative,
                        uint64_t* magnitude, uint32_t* err) {
    const uint64_t at = len > 0 && (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (len <= at || len - at > 19) return 2;
    uint64_t value = 0;
    for (uint64_t k = at; k < len; ++k) {
        const unsigned d = static_cast<unsigned>(static_cast<unsigned char>(s[k])) - '0';
        if (d > 9) return 2;
        value = value * 10 + d;
    }
    return numtext::PlainIntegerValue(s, at, value, negLimit, posLimit, negative, magnitude, err);
}

// PlainInteger of a text with `room` readable bytes from s (at least len), as a cell holds its
// text: up to 16 digits read eight at a time when the 8 bytes after the sign are readable.
inline int PlainIntegerIn(const char* s, uint64_t len, uint64_t room, uint64_t negLimit, uint64_t posLimit,
                          bool* negative, uint64_t* magnitude, uint32_t* err) {
    const uint64_t at = len > 0 && (s[0] == '-' || s[0] == '+') ? 1 : 0;
    const uint64_t n = len - at;
    if constexpr (std::endian::native == std::endian::little) {
        if (len > at && n <= 16 && room >= at + 8) {
            const char* digits = s + at;
            uint64_t value, low = 0;
            if (n <= 8) {
                if (!numtext::DigitWord(digits, unsigned(n), &value)) return 2;
            } else {
                if (!numtext::DigitWord(digits, unsigned(n - 8), &value) ||
                    !numtext::DigitWord(digits + n - 8, 8, &low))
                    return 2;
                value = value * 100000000 + low;
            }
            return numtext::PlainIntegerValue(s, at, value, negLimit, posLimit, negative, magnitude, err);
        }
    }
    return PlainInteger(s, len, negLimit, posLimit, negative, magnitude, err);
}
