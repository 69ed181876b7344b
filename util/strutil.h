#pragma once
// Small string utilities shared by the agent, the ODBC layer and the cursor layer.
// Heap results come from malloc and are released with free; null means no memory.
// Lengths follow ODBC: TV_NTS (-3, SQL_NTS) means up to the terminating NUL.
#include <cstddef>

constexpr long TV_NTS = -3;

// SQL's keywords and names, ODBC's keywords and the driver's own words are folded and compared
// as ASCII: the application's locale (a Turkish one maps "I" to a dotless i, a Latin-1 one changes
// the bytes of UTF-8 text) never reaches them.
inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
inline char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - ('a' - 'A')) : c; }
// strncasecmp's answer, ASCII only: the difference of the first differing bytes in lower case.
inline int AsciiCaseCompareN(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const int x = static_cast<unsigned char>(AsciiLower(a[i])), y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y || x == 0) return x - y;
    }
    return 0;
}
inline int AsciiCaseCompare(const char* a, const char* b) { return AsciiCaseCompareN(a, b, static_cast<size_t>(-1)); }

// Skips leading white space in text and matches keyword (ASCII case-insensitive) followed by
// the end of the text or white space; returns the text after the keyword and the white space
// that follows it, or null.
const char* KeywordMatch(const char* keyword, const char* text);
const char* KeywordMatchCase(const char* keyword, const char* text);
inline char* KeywordMatch(const char* keyword, char* text) {
    return const_cast<char*>(KeywordMatch(keyword, const_cast<const char*>(text)));
}
inline char* KeywordMatchCase(const char* keyword, char* text) {
    return const_cast<char*>(KeywordMatchCase(keyword, const_cast<const char*>(text)));
}

// The first place in text where word (ASCII case-insensitive) stands whole (no letter, digit or
// "_" next to it) outside ' and " literals; null when absent or an argument is null.
const char* FindWordOutsideLiterals(const char* text, const char* word);

// Removes trailing white space in place; returns the last remaining character, or null when the
// text is null, empty or all white space.
char* StrRTrim(char* text);
// The text after its leading white space (null for null).
const char* StrLTrim(const char* text);
inline char* StrLTrim(char* text) { return const_cast<char*>(StrLTrim(const_cast<const char*>(text))); }

// 1-based position of word in a comma-separated list (leading white space of each item is
// skipped; the item must end right after the word); 0 when absent or an argument is null.
int ListFindWord(const char* list, const char* word);

// New copy wrapped in quote (blank: plain copy); null text counts as "". Null for a negative
// length other than TV_NTS or when memory runs out.
char* QuoteIdent(const char* text, long len, int quote);
// New copy without one pair of surrounding quote characters (quote not blank, length >= 2,
// both ends equal quote); otherwise a plain copy ("" for null).
char* UnquoteIdent(const char* text, long len, int quote);

// Stores a new terminated copy of len bytes (TV_NTS: whole text; null text: "") in *out; *out is
// null when memory runs out or the length is bad. Always returns 0.
int StrDupLen(char** out, const char* text, long len);
// As StrDupLen, dropping one pair of surrounding ' or " quotes.
int StrDupUnquote(char** out, const char* text, long len);

// First occurrence of pattern in text ignoring ASCII case; an empty pattern finds the
// terminating NUL; null when absent or an argument is null.
const char* StrIStr(const char* text, const char* pattern);
inline char* StrIStr(char* text, const char* pattern) {
    return const_cast<char*>(StrIStr(const_cast<const char*>(text), pattern));
}

// Changes a path's extension (the part after the last "." of the file name, the name starting
// after the last "/" or "\"; a leading dot is no extension). mode 0 strips it, 1 replaces it with
// ext, 2 adds ext only when there is none. Returns a per-thread buffer, or null when the path is
// null or the result does not fit PATH_SET_EXT_MAX bytes.
constexpr size_t PATH_SET_EXT_MAX = 4096 + 16;
const char* PathSetExt(const char* path, const char* ext, int mode);

// Upper-case name of the running program (from /proc/self/exe), computed once; "Unknown" when
// it cannot be found.
const char* GetProgramName();
// The naming rule on its own: name after the last "/" or "\" up to the last "." (without one,
// up to the first blank when stop_at_blank), at most 254 characters, upper-cased ASCII,
// "KRNL386" becomes "WOW", empty gives "Unknown". out_size must be at least 8.
void ProgramNameFrom(const char* command_line, bool stop_at_blank, char* out, size_t out_size);

// Copies src with its terminator; returns the position of the terminator in dest.
char* StrCopyEnd(char* dest, const char* src);

// Message of an error number; "Unknown error %u" for numbers the C library does not know.
// Thread-safe (the unknown-number text lives in a per-thread buffer).
const char* ErrorText(unsigned err);
