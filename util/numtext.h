#pragma once
// Numeric literals in text (ODBC's numeric-literal: a sign, digits with an optional point, an
// optional exponent; blanks around it), read the same way by the agent and the ODBC layer.
#include <cstdint>

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
