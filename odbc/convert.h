// The conversion family: stored values (Dataset value kinds) into ODBC C types, the copy-out
// routines that carry every truncation rule, and the small value routines of the parameter side.
//
// Result convention of every converter: 0 success, 1 success with information (the error slot
// holds kErrTruncated or kErrFractionalTruncation), -1 error (the error slot holds the code).
// Error codes are rows of the driver's error table (ErrCode, util/errtable.h).
//
// Narrow text is UTF-8, wide text is UTF-16 (SQLWCHAR). The copy-out routines report through
// `consumed` how many source units (bytes of narrow text, bytes of wide text for CopyOutWide,
// UTF-16 units for CopyOutWideToChar) went into the buffer, so that a reader of a long value in
// pieces resumes exactly there. A truncated text piece fills the buffer: ODBC counts bytes, so a
// character may be split across two pieces (a `TextCarry` remembers how much of it went out when
// the source is in the other encoding).
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "util/errtable.h"
#include "util/numtext.h"

// Where a value read in pieces stands in its converted form (UTF-8 read as UTF-16 or the other
// way round), kept between the calls that read it, so that a piece costs what it converts.
struct TextCarry {
    int64_t outLeft = -1;   // bytes of the converted form not yet handed out; -1 until counted
    uint32_t charDone = 0;  // output units of the next source character already handed out
};

// Standard name of a C type, for traces; "(unknown type)" otherwise.
const char* CTypeName(int cType);

// ---- Copy-out routines ---------------------------------------------------------------------
// Arguments: source, n units to copy, units available here, total units of the whole value (0:
// unknown, SQL_NO_TOTAL allowed), add-NUL flag, allow-truncation flag, target, buffer length in
// bytes, length pointer (may be null), error slot, consumed source units out (may be null).
// Result 1 when the error slot holds Truncated afterwards, 0 otherwise, -1 on refusal.
int CopyOutChar(const void* src, uint64_t n, uint64_t available, int64_t total, bool addNul, bool allowTrunc,
                void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed = nullptr);
// CopyOutChar of a whole value that lies here (n units of n, NUL added, truncation allowed) into a
// target that is there: a value that fits is copied inline, without the general routine's checks.
inline int CopyOutWholeText(const char* src, uint64_t n, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err,
                            uint64_t* consumed) {
    if (bufLen <= 0 || n >= static_cast<uint64_t>(bufLen))
        return CopyOutChar(src, n, n, static_cast<int64_t>(n), true, true, target, bufLen, lenPtr, err, consumed);
    *err = kErrNone;
    if (lenPtr) *lenPtr = static_cast<SQLLEN>(n);
    std::memcpy(target, src, n);
    static_cast<char*>(target)[n] = 0;
    *consumed = n;
    return 0;
}
// UTF-8 bytes to UTF-16; the length reported is in bytes of UTF-16. With a carry, a character of
// two units may be split across pieces, and the converted length is counted once per value.
int CopyOutCharToWide(const char* src, uint64_t n, uint64_t available, int64_t total, bool addNul, bool allowTrunc,
                      void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed = nullptr,
                      TextCarry* carry = nullptr);
// UTF-16 to UTF-8; n, available and total in UTF-16 units, the length reported in bytes. With a
// carry, a character may be split across pieces, and the converted length is counted once.
int CopyOutWideToChar(const SQLWCHAR* src, uint64_t n, uint64_t available, int64_t total, bool addNul, bool allowTrunc,
                      void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed = nullptr,
                      TextCarry* carry = nullptr);
// UTF-16 to UTF-16, every count in bytes.
int CopyOutWide(const void* src, uint64_t n, uint64_t available, int64_t total, bool addNul, bool allowTrunc,
                void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed = nullptr);

// ---- Text parsers (locale-independent) ------------------------------------------------------
int CharToNumber(const char* text, uint64_t len, int32_t minimum, uint32_t maximum, int32_t* result, uint32_t* err);
int CharToNumber64(const char* text, uint64_t len, int64_t minimum, uint64_t maximum, int64_t* result, uint32_t* err);
int CharToDecimal(const char* text, uint64_t len, double* result, uint32_t* err);
int CharToNumeric(const char* text, uint64_t len, SQL_NUMERIC_STRUCT* result, int scale, int precision, uint32_t* err);
int CharToGuid(const char* text, uint64_t len, SQLGUID* result, uint32_t* err);
// Text a parameter binds to a numeric SQL type (IsNumberSqlType): 0 when it is a numeric literal
// (blanks around it aside) whose value the type holds, else the error ODBC's conversion of
// character data gives: kErrAssignment (no numeric literal: 22018), kErrRightTruncation (digits
// an exact type loses: 22001), kErrNumericRange (beyond an approximate type's or SQL_BIT's range).
// A DECIMAL or NUMERIC holds decimalDigits digits after the point and, when columnSize is given,
// columnSize - decimalDigits before it.
bool IsNumberSqlType(int sqlType);
uint32_t NumberTextError(const char* text, uint64_t len, int sqlType, uint64_t columnSize, int decimalDigits);
// The same on UTF-16 text of len units.
uint32_t WNumberTextError(const SQLWCHAR* text, uint64_t len, int sqlType, uint64_t columnSize, int decimalDigits);
int WCharToNumber(const SQLWCHAR* text, uint64_t len, int32_t minimum, uint32_t maximum, int32_t* result,
                  uint32_t* err);
int WCharToNumber64(const SQLWCHAR* text, uint64_t len, int64_t minimum, uint64_t maximum, int64_t* result,
                    uint32_t* err);
int WCharToDecimal(const SQLWCHAR* text, uint64_t len, double* result, uint32_t* err);
int WCharToNumeric(const SQLWCHAR* text, uint64_t len, SQL_NUMERIC_STRUCT* result, int scale, int precision,
                   uint32_t* err);

// ---- Converters ----------------------------------------------------------------------------
// Text sources: len bytes here, total bytes of the whole value.
int ConvertCHAR(const char* text, uint64_t len, int64_t total, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr,
                uint32_t* err, int scale, int precision, uint64_t* consumed = nullptr, TextCarry* carry = nullptr);
// The integer targets of ConvertCHAR (8 to 64 bits, signed or not), for a caller that knows the
// C type is one of them; 2 when it is not.
int ConvertCHARToInteger(const char* text, uint64_t len, int cType, void* target, SQLLEN* lenPtr, uint32_t* err);
int ConvertWCHAR(const void* text, uint64_t len, int64_t total, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr,
                 uint32_t* err, int scale, int precision, uint64_t* consumed = nullptr, TextCarry* carry = nullptr);
int ConvertBINARY(const void* bytes, uint64_t len, int64_t total, int cType, void* target, int64_t bufLen,
                  SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed = nullptr);

int ConvertBYTE(uint8_t value, bool isSigned, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err,
                int scale, int precision);
int ConvertSHORT(uint16_t value, bool isSigned, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err,
                 int scale, int precision);
int ConvertLONG(uint32_t value, bool isSigned, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err,
                int scale, int precision);
int ConvertFLOAT(float value, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, int scale,
                 int precision);
int ConvertDOUBLE(double value, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, int scale,
                  int precision);

int ConvertDATE(const SQL_DATE_STRUCT& value, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err);
int ConvertTIME(const SQL_TIME_STRUCT& value, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err);
// scale: digits of the fraction (clamped to 0..9; 65535 arrives for "no description").
int ConvertTIMESTAMP(const SQL_TIMESTAMP_STRUCT& value, int cType, void* target, int64_t bufLen, SQLLEN* lenPtr,
                     unsigned scale, uint32_t* err);

// Clears the target for a NULL value.
void ConvertNULL(void* target, int64_t bufLen, int cType);

// ---- NUMERIC helpers ------------------------------------------------------------------------
int DoubleToNumeric(double value, SQL_NUMERIC_STRUCT* result, int scale, int precision, uint32_t* err);
double DoublePow(double base, int32_t exponent);
void DoubleToMagnitude(double value, uint8_t magnitude[16]);
// "%.*g" of value, locale-independent; returns the length written (buffer of >= 32 bytes).
size_t FormatDouble(char* buffer, double value, int significantDigits);
void StripTrailingPoint(char* text);

// ---- Type tables ---------------------------------------------------------------------------
int DefaultCType(int sqlType, int odbcVersion);
int CTypeOctetSize(int cType);

// ---- Parameter side ------------------------------------------------------------------------
int HexDigitValue(int c);
// Decodes len / 2 bytes of hexadecimal text into dest (an odd last character is ignored).
void HexToBytes(void* dest, const char* hex, uint64_t len);

struct KindWidth {
    uint32_t kind;
    uint32_t width;
};
// Turns an ODBC "{d ...}", "{t ...}" or "{ts ...}" literal of len bytes into the date, time or
// timestamp structure for sqlType (0: taken from the literal) when dest holds len bytes and
// len is large enough; otherwise copies the text unchanged. out (may be null) receives the
// value kind and width written ({11,6}, {12,6}, {13,16}) and is left alone for a plain copy.
// Returns the number of bytes written to dest.
uint64_t ParseDateTimeEscape(void* dest, const char* text, uint64_t len, KindWidth* out, int sqlType);
// The same on UTF-16 text of len units; a plain copy copies the UTF-16 bytes.
uint64_t WParseDateTimeEscape(void* dest, const SQLWCHAR* text, uint64_t len, KindWidth* out, int sqlType);
void NumericToDouble(void* dest, const SQL_NUMERIC_STRUCT& value, uint64_t destLen);
// Writes the 36 characters of the GUID without a NUL.
void GuidToText(char* dest, const SQLGUID& value);
