// Result writing shared by the conversion family's source files.
#pragma once

#include "odbc/convert.h"

#include <cstring>

// Writes a fixed-size result (the application's buffer length does not limit it) and returns
// `result`; a null target is an invalid argument.
inline int FixedOut(const void* value, size_t size, void* target, SQLLEN* lenPtr, uint32_t* err, int result = 0) {
    if (!target) {
        *err = kErrBadArg;
        return -1;
    }
    std::memcpy(target, value, size);
    if (lenPtr) *lenPtr = static_cast<SQLLEN>(size);
    return result;
}
