// Copy-out routines: the one place where truncation, NUL termination and reported lengths are
// decided for text and binary targets.
#include "odbc/convert.h"
#include "odbc/convert_utf.h"

#include <cstring>
#include <vector>

namespace {

// The length to report: the total when known, else what this copy holds.
SQLLEN ReportedLength(int64_t total, uint64_t n) {
    return total != 0 ? static_cast<SQLLEN>(total) : static_cast<SQLLEN>(n);
}

// Bytes of the UTF-8 sequence a lead byte starts (1 for a byte that starts none).
uint64_t SequenceLength(unsigned char b) {
    if ((b & 0xE0) == 0xC0) return 2;
    if ((b & 0xF0) == 0xE0) return 3;
    if ((b & 0xF8) == 0xF0) return 4;
    return 1;
}

bool MoreFollows(int64_t total, uint64_t available) {
    return total != SQL_NO_TOTAL && total > 0 && static_cast<uint64_t>(total) > available;
}

}  // namespace

const char* CTypeName(int cType) {
    switch (cType) {
        case SQL_C_CHAR:
            return "SQL_C_CHAR";
        case SQL_C_WCHAR:
            return "SQL_C_WCHAR";
        case SQL_C_BINARY:
            return "SQL_C_BINARY";
        case SQL_C_BIT:
            return "SQL_C_BIT";
        case SQL_C_TINYINT:
            return "SQL_C_TINYINT";
        case SQL_C_STINYINT:
            return "SQL_C_STINYINT";
        case SQL_C_UTINYINT:
            return "SQL_C_UTINYINT";
        case SQL_C_SHORT:
            return "SQL_C_SHORT";
        case SQL_C_SSHORT:
            return "SQL_C_SSHORT";
        case SQL_C_USHORT:
            return "SQL_C_USHORT";
        case SQL_C_LONG:
            return "SQL_C_LONG";
        case SQL_C_SLONG:
            return "SQL_C_SLONG";
        case SQL_C_ULONG:
            return "SQL_C_ULONG";
        case SQL_C_SBIGINT:
            return "SQL_C_SBIGINT";
        case SQL_C_UBIGINT:
            return "SQL_C_UBIGINT";
        case SQL_C_FLOAT:
            return "SQL_C_FLOAT";
        case SQL_C_DOUBLE:
            return "SQL_C_DOUBLE";
        case SQL_C_NUMERIC:
            return "SQL_C_NUMERIC";
        case SQL_C_GUID:
            return "SQL_C_GUID";
        case SQL_C_DATE:
            return "SQL_C_DATE";
        case SQL_C_TIME:
            return "SQL_C_TIME";
        case SQL_C_TIMESTAMP:
            return "SQL_C_TIMESTAMP";
        case SQL_C_TYPE_DATE:
            return "SQL_C_TYPE_DATE";
        case SQL_C_TYPE_TIME:
            return "SQL_C_TYPE_TIME";
        case SQL_C_TYPE_TIMESTAMP:
            return "SQL_C_TYPE_TIMESTAMP";
        default:
            return "(unknown type)";
    }
}

int CopyOutChar(const void* src, uint64_t n, uint64_t available, int64_t total, bool addNul, bool allowTrunc,
                void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed) {
    *err = cverr::None;
    if (consumed) *consumed = 0;
    if (lenPtr) *lenPtr = ReportedLength(total, n);
    if (bufLen <= 0) {
        *err = cverr::Truncated;
        return 1;
    }
    const uint64_t nul = addNul ? 1 : 0;
    const auto* s = static_cast<const unsigned char*>(src);
    const uint64_t room = static_cast<uint64_t>(bufLen);
    if (n + nul > room) {
        if (!allowTrunc) {
            *err = cverr::OutOfRange;
            return -1;
        }
        *err = cverr::Truncated;
        uint64_t cut = room - nul;
        if (addNul && cut < n && (s[cut] & 0xC0) == 0x80) {
            // Text: do not cut a UTF-8 character in two; step back to its lead byte.
            uint64_t j = cut;
            while (j > 0 && cut - j < 3 && (s[j] & 0xC0) == 0x80) --j;
            if (j + SequenceLength(s[j]) > cut) cut = j;
        }
        n = cut;
    } else if (MoreFollows(total, available)) {
        *err = cverr::Truncated;
    }
    if (n > 0 && !target) {
        *err = cverr::InvalidArgument;
        return -1;
    }
    if (n > 0) std::memcpy(target, s, n);
    if (addNul) static_cast<unsigned char*>(target)[n] = 0;
    if (consumed) *consumed = n;
    return *err == cverr::Truncated ? 1 : 0;
}

int CopyOutCharToWide(const char* src, uint64_t n, uint64_t available, int64_t total, bool addNul, bool allowTrunc,
                      void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed) {
    *err = cverr::None;
    if (consumed) *consumed = 0;
    if (lenPtr) {
        if (total == SQL_NO_TOTAL || (total > 0 && static_cast<uint64_t>(total) > available))
            *lenPtr = SQL_NO_TOTAL;  // the rest is not here: its UTF-16 size is unknown
        else
            *lenPtr = static_cast<SQLLEN>(2 * cvutf::Utf8ToUtf16Count(src, available));
    }
    if (bufLen <= 0) {
        *err = cverr::Truncated;
        return 1;
    }
    const uint64_t nulUnits = addNul ? 1 : 0;
    const uint64_t roomUnits = static_cast<uint64_t>(bufLen) / 2;
    const uint64_t need = cvutf::Utf8ToUtf16Count(src, n);
    uint64_t capUnits = need;
    if (need + nulUnits > roomUnits) {
        if (!allowTrunc) {
            *err = cverr::OutOfRange;
            return -1;
        }
        *err = cverr::Truncated;
        capUnits = roomUnits >= nulUnits ? roomUnits - nulUnits : 0;
    } else if (MoreFollows(total, available)) {
        *err = cverr::Truncated;
    }
    if (!target && (capUnits > 0 || (addNul && roomUnits > 0))) {
        *err = cverr::InvalidArgument;
        return -1;
    }
    auto* out = static_cast<unsigned char*>(target);
    uint64_t w = 0;
    cvutf::WalkStop stop = cvutf::WalkStop::None;
    const uint64_t used = cvutf::Utf8ToUtf16Walk(
        src, n, capUnits, &w,
        [&](const SQLWCHAR* u, size_t k) {
            std::memcpy(out, u, k * 2);
            out += k * 2;
        },
        &stop);
    // Bytes that are no UTF-8 (an overlong quote, a surrogate) are no character of any buffer; a
    // character cut by the end of what is here is whole once the rest comes.
    if (stop == cvutf::WalkStop::Malformed || (stop == cvutf::WalkStop::CutAtEnd && !MoreFollows(total, available))) {
        *err = cverr::CastValue;
        return -1;
    }
    if (addNul && roomUnits > 0) cvutf::StoreUnit(target, w, 0);
    if (consumed) *consumed = used;
    return *err == cverr::Truncated ? 1 : 0;
}

int CopyOutWideToChar(const SQLWCHAR* src, uint64_t n, uint64_t available, int64_t total, bool addNul, bool allowTrunc,
                      void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed) {
    *err = cverr::None;
    if (consumed) *consumed = 0;
    std::vector<SQLWCHAR> holder;
    const SQLWCHAR* text = cvutf::AlignedWide(src, available > n ? available : n, holder);
    if (lenPtr) {
        if (total == SQL_NO_TOTAL || (total > 0 && static_cast<uint64_t>(total) > available))
            *lenPtr = SQL_NO_TOTAL;
        else
            *lenPtr = static_cast<SQLLEN>(WideUtf8Length(text, static_cast<long>(available)));
    }
    if (bufLen <= 0) {
        *err = cverr::Truncated;
        return 1;
    }
    const uint64_t nul = addNul ? 1 : 0;
    const uint64_t room = static_cast<uint64_t>(bufLen);
    const uint64_t need = WideUtf8Length(text, static_cast<long>(n));
    uint64_t cap = need;
    if (need + nul > room) {
        if (!allowTrunc) {
            *err = cverr::OutOfRange;
            return -1;
        }
        *err = cverr::Truncated;
        cap = room - nul;
    } else if (MoreFollows(total, available)) {
        *err = cverr::Truncated;
    }
    if (!target && (cap > 0 || addNul)) {
        *err = cverr::InvalidArgument;
        return -1;
    }
    // A pair cut by the end of what is here is whole once the rest comes: its first half waits.
    uint64_t convertible = n;
    if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF && MoreFollows(total, n)) convertible = n - 1;
    auto* out = static_cast<char*>(target);
    size_t used = 0;
    const size_t w =
        convertible > 0 ? WideToUtf8N(text, out, static_cast<size_t>(convertible), static_cast<size_t>(cap), &used) : 0;
    // A lone surrogate is no character of any buffer.
    if (!WideTextValid(text, static_cast<long>(used))) {
        *err = cverr::CastValue;
        return -1;
    }
    if (addNul) out[w] = 0;
    if (consumed) *consumed = used;
    return *err == cverr::Truncated ? 1 : 0;
}

int CopyOutWide(const void* src, uint64_t n, uint64_t available, int64_t total, bool addNul, bool allowTrunc,
                void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed) {
    *err = cverr::None;
    if (consumed) *consumed = 0;
    if (lenPtr) *lenPtr = ReportedLength(total, n);
    if (bufLen <= 0) {
        *err = cverr::Truncated;
        return 1;
    }
    n &= ~uint64_t{1};
    const uint64_t nul = addNul ? 2 : 0;
    const uint64_t room = static_cast<uint64_t>(bufLen);
    if (n + nul > room) {
        if (!allowTrunc) {
            *err = cverr::OutOfRange;
            return -1;
        }
        *err = cverr::Truncated;
        uint64_t cut = room >= nul ? (room - nul) & ~uint64_t{1} : 0;
        // Keep a surrogate pair together.
        if (cut >= 2 && cut < n) {
            const SQLWCHAR last = cvutf::LoadUnit(src, cut / 2 - 1);
            const SQLWCHAR next = cvutf::LoadUnit(src, cut / 2);
            if (last >= 0xD800 && last <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) cut -= 2;
        }
        n = cut;
    } else if (MoreFollows(total, available)) {
        *err = cverr::Truncated;
    }
    const bool writesNul = addNul && room >= 2;
    if (!target && (n > 0 || writesNul)) {
        *err = cverr::InvalidArgument;
        return -1;
    }
    if (n > 0) std::memcpy(target, src, n);
    if (writesNul) cvutf::StoreUnit(target, n / 2, 0);
    if (consumed) *consumed = n;
    return *err == cverr::Truncated ? 1 : 0;
}
