// UTF-16 helpers of the conversion family over the foundation's text conversion (util/utf.h).
//
// Application buffers and Dataset cells are not guaranteed to be aligned for 16-bit access, so
// units are loaded and stored through memcpy. The foundation's UTF-8 decoder stops at the first
// malformed byte; the walk below tells its caller what stopped it, so that text that is no text
// is refused (22018) rather than read as something else; where nobody asks, each malformed byte
// becomes U+FFFD, so that a count never stalls.
#pragma once

#include "util/utf.h"

#include <sqltypes.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace cvutf {

inline SQLWCHAR LoadUnit(const void* base, uint64_t index) {
    SQLWCHAR u;
    std::memcpy(&u, static_cast<const unsigned char*>(base) + index * 2, 2);
    return u;
}

inline void StoreUnit(void* base, uint64_t index, SQLWCHAR u) {
    std::memcpy(static_cast<unsigned char*>(base) + index * 2, &u, 2);
}

// The wide text as an aligned SQLWCHAR pointer: itself when aligned, else a copy in `holder`.
inline const SQLWCHAR* AlignedWide(const void* text, uint64_t units, std::vector<SQLWCHAR>& holder) {
    if ((reinterpret_cast<uintptr_t>(text) & (alignof(SQLWCHAR) - 1)) == 0) return static_cast<const SQLWCHAR*>(text);
    holder.resize(units);
    if (units) std::memcpy(holder.data(), text, units * 2);
    return holder.data();
}

// What ended a walk before its bytes did.
enum class WalkStop { None, Malformed, CutAtEnd };

// Whether the n bytes at s begin a UTF-8 sequence that the end of the bytes cuts short.
inline bool CutSequence(const unsigned char* s, uint64_t n) {
    const unsigned char b = s[0];
    const uint64_t need = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (need == 0 || n >= need) return false;
    for (uint64_t i = 1; i < n; ++i)
        if ((s[i] & 0xC0) != 0x80) return false;
    return true;
}

// Decodes n bytes of UTF-8 into at most maxUnits UTF-16 units, whole characters only, handing
// each decoded run to emit(const SQLWCHAR*, count). Returns the bytes consumed; *units gets the
// units produced. With stop given, the walk ends at bytes that are no character (Malformed) or at
// a character the end of the bytes cuts (CutAtEnd) and says so.
template <class Emit>
uint64_t Utf8ToUtf16Walk(const char* s, uint64_t n, uint64_t maxUnits, uint64_t* units, Emit emit,
                         WalkStop* stop = nullptr) {
    if (stop) *stop = WalkStop::None;
    SQLWCHAR chunk[256];
    uint64_t in = 0, out = 0;
    while (in < n && out < maxUnits) {
        const size_t budget = static_cast<size_t>(std::min<uint64_t>(256, maxUnits - out));
        size_t used = 0;
        const size_t got = Utf8ToWideN(s + in, chunk, static_cast<size_t>(n - in), budget, &used);
        if (got > 0) {
            emit(chunk, got);
            out += got;
            in += used;
            continue;
        }
        // Nothing decoded: either a character that needs two units where one is left, or a
        // malformed byte.
        SQLWCHAR pair[2];
        if (Utf8ToWideN(s + in, pair, static_cast<size_t>(n - in), 2, &used) > 0) break;
        if (stop) {
            *stop = CutSequence(reinterpret_cast<const unsigned char*>(s) + in, n - in) ? WalkStop::CutAtEnd
                                                                                        : WalkStop::Malformed;
            break;
        }
        const SQLWCHAR replacement = 0xFFFD;
        emit(&replacement, 1);
        ++out;
        ++in;
    }
    *units = out;
    return in;
}

// UTF-16 units that n bytes of UTF-8 become.
inline uint64_t Utf8ToUtf16Count(const char* s, uint64_t n) {
    uint64_t units = 0;
    Utf8ToUtf16Walk(s, n, UINT64_MAX, &units, [](const SQLWCHAR*, size_t) {});
    return units;
}

}  // namespace cvutf
