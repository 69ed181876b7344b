// Allocation that may fail and reports it to the caller (the dataset, hash table, tree and
// array report out of memory as an error code instead of ending the process). Tests can make
// a chosen allocation fail to walk the clean-up paths.
#pragma once

#include <cstddef>

void* TryMalloc(size_t size);
void* TryCalloc(size_t count, size_t size);
void* TryRealloc(void* block, size_t size);
char* TryStrdup(const char* text);
void* TryMemdup(const void* bytes, size_t size);
void TryFree(void* block);

// count * size without wrapping; false when the product does not fit a size_t.
bool TryMulSize(size_t count, size_t size, size_t* out);

// Test hook: the allocation `after` calls from now fails (0 = the next one); a negative value
// switches failures off. Only the Try* functions above consult it.
void TryMemFailAfter(long after);
// Test hook: every allocation from the `after`-th on fails until switched off.
void TryMemFailFrom(long after);
// Number of Try* allocation calls made so far (lets a test enumerate every failure point).
long TryMemCalls();
