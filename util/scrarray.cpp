#include "util/scrarray.h"

#include <cstring>

#include "util/trymem.h"

namespace {
constexpr uint32_t kStep = 10;

uint8_t* Elem(const SCR_Array* a, uint32_t i) {
    return static_cast<uint8_t*>(a->data) + static_cast<size_t>(i) * a->elem_size;
}

// Grows to at least `need` elements in steps of kStep.
bool Reserve(SCR_Array* a, uint32_t need) {
    if (need <= a->capacity) return true;
    uint64_t cap = a->capacity;
    while (cap < need) cap += kStep;
    if (cap > UINT32_MAX) return false;
    size_t bytes;
    if (!TryMulSize(static_cast<size_t>(cap), a->elem_size, &bytes)) return false;
    void* grown = TryRealloc(a->data, bytes);
    if (!grown) return false;
    size_t old = static_cast<size_t>(a->capacity) * a->elem_size;
    std::memset(static_cast<uint8_t*>(grown) + old, 0, bytes - old);
    a->data = grown;
    a->capacity = static_cast<uint32_t>(cap);
    return true;
}
}  // namespace

SCR_Array* SCR_ArrayCreate(uint32_t elemSize) {
    if (elemSize == 0) return nullptr;
    auto* a = static_cast<SCR_Array*>(TryCalloc(1, sizeof(SCR_Array)));
    if (!a) return nullptr;
    a->data = TryCalloc(kStep, elemSize);
    if (!a->data) {
        TryFree(a);
        return nullptr;
    }
    a->capacity = kStep;
    a->elem_size = elemSize;
    return a;
}

int SCR_ArrayGrow(SCR_Array* array) {
    if (!array || array->capacity > UINT32_MAX - kStep) return 0;
    return Reserve(array, array->capacity + kStep) ? 1 : 0;
}

int SCR_ArrayAppend(SCR_Array* array, const void* element) {
    if (!array || !element) return 0;
    if (array->count == UINT32_MAX) return 0;
    if (array->count >= array->capacity && !SCR_ArrayGrow(array)) return 0;
    std::memcpy(Elem(array, array->count), element, array->elem_size);
    array->count++;
    return 1;
}

int SCR_ArrayAppendAll(SCR_Array* dest, const SCR_Array* src) {
    if (!dest || !src || dest->elem_size != src->elem_size) return 0;
    const uint32_t n = src->count;  // read before growing: dest may be src
    if (n == 0) return 1;
    if (dest->count > UINT32_MAX - n || !Reserve(dest, dest->count + n)) return 0;
    std::memmove(Elem(dest, dest->count), src->data, static_cast<size_t>(n) * src->elem_size);
    dest->count += n;
    return 1;
}

int SCR_ArrayRemove(SCR_Array* array, uint32_t index, SCR_ArrayFunc fn) {
    if (!array || index >= array->count) return 0;
    if (fn) fn(Elem(array, index));
    const size_t tail = static_cast<size_t>(array->count - index - 1) * array->elem_size;
    if (tail) std::memmove(Elem(array, index), Elem(array, index + 1), tail);
    array->count--;
    std::memset(Elem(array, array->count), 0, array->elem_size);
    return 1;
}

void SCR_ArrayFree(SCR_Array** array, SCR_ArrayFunc fn) {
    if (!array || !*array) return;
    SCR_Array* a = *array;
    if (fn)
        for (uint32_t i = 0; i < a->count; ++i) fn(Elem(a, i));
    TryFree(a->data);
    TryFree(a);
    *array = nullptr;
}

void* SCR_ArrayAt(const SCR_Array* array, uint32_t index) {
    if (!array || index >= array->count) return nullptr;
    return Elem(array, index);
}
