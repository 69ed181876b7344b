#pragma once
// Password scrambling: a printable, reversible obfuscation (fixed keystream, not encryption)
// for passwords kept in configuration entries. Scrambled text is '1' followed by two upper-case
// hexadecimal digits per UTF-8 byte of the password. Results are malloc'ed (free them with
// free()); null for null input, malformed scrambled text or no memory.
#include <sql.h>
#include <sqlucode.h>

#include <cstddef>

// Narrow forms (text in the ANSI code page, UTF-8 here) and UTF-16 forms.
char* PwdScramble(const char* password);
SQLWCHAR* PwdScramble(const SQLWCHAR* password);
char* PwdUnscramble(const char* scrambled);
SQLWCHAR* PwdUnscrambleW(const SQLWCHAR* scrambled);

// Helpers, exposed for their tests.
int PwdHexDigit(char c);  // value of a hexadecimal digit; 0 for anything else
// Decodes n hex characters into n / 2 bytes (an odd last character is ignored); returns the bytes.
std::size_t PwdHexToBytes(const char* hex, std::size_t n, unsigned char* out);
