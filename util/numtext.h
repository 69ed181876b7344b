#pragma once
// Numeric literals in text (ODBC's numeric-literal: a sign, digits with an optional point, an
// optional exponent; blanks around it), read the same way by the agent and the ODBC layer.
#include <cstdint>

// A numeric literal read for an integer target ("1600.00", "2.5", "1.5E3", blanks around it):
// its sign and the magnitude of its integer part, which may not exceed negLimit when negative,
// posLimit otherwise (kErrNumericRange beyond). Gives 1 (kErrFractionalTruncation, 01S07) when
// fraction digits other than zeros are dropped, -1 with kErrAssignment for text that is no
// numeric literal.
int NumericTextToInteger(const char* s, uint64_t len, uint64_t negLimit, uint64_t posLimit, bool* negative,
                         uint64_t* magnitude, uint32_t* err);
