#pragma once
// Text conversion between UTF-16 (SQLWCHAR, 2-byte units) and UTF-8, Unicode case mapping.
//
// UTF-16: a valid surrogate pair is one character of two units and becomes one 4-byte UTF-8
// sequence; a lone surrogate becomes a 3-byte sequence of its own. UTF-8: 1- to 4-byte sequences
// decode to one unit or, above U+FFFF, to a surrogate pair; decoding stops quietly at the first
// invalid byte (stray continuation byte, 0xF8..0xFF lead, missing continuation, a value in more
// bytes than it needs, a surrogate value, a value above U+10FFFF). Bounded conversions never split
// a character: it is written only when all of its bytes or units fit. Unit counts of UTF-8 text
// count a 4-byte sequence as two units.
//
// Text an application hands over is checked with WideTextValid or Utf8TextValid first and refused
// (22018) when it is not text: the conversions never stand in for what is not there.
//
// The "ANSI code page" is UTF-8 on this platform: the Ansi* functions follow the same rules.
// Lengths: TV_NTS (-3) means up to the terminating NUL. Heap results come from malloc and are
// released with free; null means a null input or no memory.
#include <sqltypes.h>

#include <cstddef>
#include <cstdint>

#include "util/strutil.h"

// ---- Validation ----
// Whether the text (length in units or bytes, or TV_NTS) is well-formed: UTF-16 without a lone
// surrogate; UTF-8 of shortest sequences for values up to U+10FFFF that are not surrogates. A null
// text or a bad length is not text to check and counts as valid.
bool WideTextValid(const SQLWCHAR* text, long len);
bool Utf8TextValid(const char* text, long len);

// ---- UTF-16 to UTF-8 ----
// UTF-8 bytes needed for the text (an explicit length counts NUL units too); 0 for null or a
// bad length.
size_t WideUtf8Length(const SQLWCHAR* text, long len);
// Encodes up to a NUL unit or until the next character no longer fits; no terminator.
size_t WideToUtf8(const SQLWCHAR* text, char* dst, size_t dst_bytes);
// Encodes at most src_units units (NUL units included) while whole characters fit; stores the
// units consumed; returns bytes written.
size_t WideToUtf8N(const SQLWCHAR* text, char* dst, size_t src_units, size_t dst_bytes, size_t* consumed);
char* WideToUtf8DupNts(const SQLWCHAR* text);
char* WideToUtf8Dup(const SQLWCHAR* text, long len);
// 0 when text and terminator fit (written = bytes before the terminator); -1 for null arguments,
// size 0, or truncation (whole characters in size - 1 bytes, terminated).
int WideToUtf8Buf(const SQLWCHAR* text, char* dst, size_t dst_bytes, size_t* written);

// ---- UTF-8 to UTF-16 ----
// UTF-16 units the text needs at most (a byte that is not a continuation byte counts 1, a 4-byte
// lead counts 2); 0 when the text is null or begins with NUL.
size_t Utf8CharCount(const char* text, long len);
// Decodes at most max_units units; stops at NUL or invalid input; no terminator.
size_t Utf8ToWide(const char* text, SQLWCHAR* dst, size_t max_units);
// Decodes while bytes and units remain (NUL bytes included); stops at invalid input or a sequence
// crossing src_bytes; stores the bytes consumed; returns units written.
size_t Utf8ToWideN(const char* text, SQLWCHAR* dst, size_t src_bytes, size_t max_units, size_t* consumed);
SQLWCHAR* Utf8ToWideDupNts(const char* text);
SQLWCHAR* Utf8ToWideDup(const char* text, long len);
// Sizes in units; 0 when all fits with the terminator; -1 for null arguments, size 0 or truncation.
int Utf8ToWideBuf(const char* text, SQLWCHAR* dst, size_t size_units, size_t* written);
// Size in bytes; stores the full length in units first; null destination: 0.
int Utf8ToWideBufBytes(const char* text, SQLWCHAR* dst, size_t size_bytes, size_t* length);
SQLWCHAR* Utf8ToWideCopy(SQLWCHAR* dst, const char* text, size_t max_units);
SQLWCHAR* Utf8ToWideCopyNts(SQLWCHAR* dst, const char* text);

// ---- ANSI code page (UTF-8) and UTF-16 ----
char* WideToAnsiDup(const SQLWCHAR* text, long len);
char* WideToAnsiDupNts(const SQLWCHAR* text);
SQLWCHAR* AnsiToWideDup(const char* text, long len);
// Stores the text's length in bytes of UTF-16 (units x 2) first; size in bytes.
int AnsiToWideBufBytes(const char* text, SQLWCHAR* dst, size_t size_bytes, size_t* length_bytes);
// Converts and terminates when everything fits with the terminator; otherwise converts what fits
// (whole characters) without a terminator.
SQLWCHAR* AnsiToWideCopy(SQLWCHAR* dst, const char* text, size_t max_units);
SQLWCHAR* AnsiToWideCopyNts(SQLWCHAR* dst, const char* text);
char* WideToAnsiCopy(char* dst, const SQLWCHAR* text, size_t max_bytes);
// Copies whole characters of text into size - 1 bytes and terminates; nothing for size 0 or null.
char* AnsiToUtf8Buf(char* dst, const char* text, size_t size);

// Wide counterparts of StrCopyOut/StrCopyOutLen; sizes and lengths in units; a cut never
// separates a surrogate pair.
int WideCopyOut(const SQLWCHAR* text, SQLWCHAR* dst, uint16_t size, uint16_t* length);
int WideCopyOutLen(const SQLWCHAR* text, SQLWCHAR* dst, uint16_t size, uint16_t* length);
// Units before the NUL (0 for null).
size_t WideLen(const SQLWCHAR* text);

// ---- Single characters and cuts ----
// Writes the UTF-8 sequence of the code point (at most U+10FFFF; a surrogate value is encoded as
// 3 bytes like any other) to dst, which has room for 4 bytes; returns the bytes written.
size_t CodePointToUtf8(uint32_t cp, char* dst);
// Bytes of the longest prefix of text[0..len) that is at most max bytes and does not end inside a
// UTF-8 sequence.
size_t Utf8CutLength(const char* text, size_t len, size_t max);

// ---- Case mapping ----
struct CaseEntry {
    uint32_t code;  // code point
    int32_t delta;  // mapped code point minus code
};
extern const CaseEntry kUpperCaseTable[];
extern const size_t kUpperCaseTableCount;
extern const CaseEntry kLowerCaseTable[];
extern const size_t kLowerCaseTableCount;

// Delta of the entry for code in a sorted table, 0 when it has none.
int32_t CaseTableLookup(const CaseEntry* table, size_t count, uint32_t code);
// Simple case mapping of one unit; surrogate halves stay as they are.
SQLWCHAR WideCharToUpper(SQLWCHAR unit);
SQLWCHAR WideCharToLower(SQLWCHAR unit);
uint32_t CodePointToUpper(uint32_t code);
uint32_t CodePointToLower(uint32_t code);
// Maps the NUL-terminated UTF-8 text in buf in place, keeping whole characters within size - 1
// bytes; returns buf. The text is left as it was when no temporary copy can be made.
char* Utf8ToUpperDup(char* buf, size_t size);
char* Utf8ToLowerDup(char* buf, size_t size);
