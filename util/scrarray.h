// Growable array of fixed-size elements stored by value. It does not lock.
#pragma once

#include <cstddef>
#include <cstdint>

struct SCR_Array {
    uint32_t count;     // read directly by callers
    uint32_t capacity;  // 10 at creation, +10 per growth
    void* data;         // capacity * elem_size bytes, zero-filled when allocated
    uint32_t elem_size;
};

using SCR_ArrayFunc = void (*)(void* element);

// Null for an element size of 0 or when memory runs out.
SCR_Array* SCR_ArrayCreate(uint32_t elemSize);
// Copies one element in; 1, or 0 for a null argument or no memory (the array is unchanged).
int SCR_ArrayAppend(SCR_Array* array, const void* element);
// 0 when the element sizes differ or memory runs out (nothing appended then).
int SCR_ArrayAppendAll(SCR_Array* dest, const SCR_Array* src);
// Calls fn(element) when given, closes the gap; 1, or 0 for an index not below the count.
int SCR_ArrayRemove(SCR_Array* array, uint32_t index, SCR_ArrayFunc fn);
// Calls fn for every element, frees the array and clears the pointer; null is ignored.
void SCR_ArrayFree(SCR_Array** array, SCR_ArrayFunc fn);
// Capacity + 10 elements; 1, or 0 when memory runs out.
int SCR_ArrayGrow(SCR_Array* array);
// Address of element index, or null past the count.
void* SCR_ArrayAt(const SCR_Array* array, uint32_t index);
