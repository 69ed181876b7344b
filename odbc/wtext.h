#pragma once
// UTF-16 <-> UTF-8 at the wide entry points (each UTF-16 unit is one character).
#include <sql.h>

#include <cstdint>

// New NUL-terminated UTF-8 copy of len units (SQL_NTS: up to the NUL); null for null text or no memory.
char* GwWideToUtf8Dup(const SQLWCHAR* text, int64_t len);
// Characters in NUL-terminated UTF-8 text.
int64_t GwUtf8CharCount(const char* text);
// Decodes NUL-terminated UTF-8 into dst (size in units, terminator included); 0 when it fits,
// -1 when cut (or dst null / size not positive). *written gets the units written before the NUL.
int GwUtf8ToWideBuf(const char* text, SQLWCHAR* dst, int64_t size, int64_t* written);
