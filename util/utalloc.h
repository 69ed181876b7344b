#pragma once
// Allocation that never fails: running out of memory logs a message and ends the process
// with status 1. Blocks are released with free.
#include <cstddef>

// Zeroed block of count * size bytes (1 byte when either is 0).
void* s_alloc(size_t count, size_t size);
// Resizes block (a size of 0 keeps a 1-byte block).
void* s_realloc(void* block, size_t size);
// Copy of a NUL-terminated text; a null text gives "".
char* s_strdup(const char* text);

// Ends the process after an unrecoverable failure.
[[noreturn]] void tv_fatal_exit(int status);

// Makes every allocation of s_alloc, s_realloc and the memory pools fail (tests of the
// out-of-memory exit).
void s_alloc_fail_for_testing(bool fail);
bool s_alloc_failing();
