// Copy-out routines: the one place where truncation, NUL termination and reported lengths are
// decided for text and binary targets.
#include "odbc/convert.h"
#include "odbc/convert_utf.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The length to report: the total when known, else what this copy holds.
SQLLEN ReportedLength(int64_t total, uint64_t n) {
    return total != 0 ? static_cast<SQLLEN>(total) : static_cast<SQLLEN>(n);
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
    *err = kErrNone;
    if (consumed) *consumed = 0;
    if (lenPtr) *lenPtr = ReportedLength(total, n);
    if (bufLen <= 0) {
        *err = kErrTruncated;
        return 1;
    }
    const uint64_t nul = addNul ? 1 : 0;
    const auto* s = static_cast<const unsigned char*>(src);
    const uint64_t room = static_cast<uint64_t>(bufLen);
    if (n + nul > room) {
        if (!allowTrunc) {
            *err = kErrNumericRange;
            return -1;
        }
        // Every byte of the buffer but the NUL's: a piece that stopped short of a character the
        // buffer cannot hold whole would never advance.
        *err = kErrTruncated;
        n = room - nul;
    } else if (MoreFollows(total, available)) {
        *err = kErrTruncated;
    }
    if (n > 0 && !target) {
        *err = kErrBadArg;
        return -1;
    }
    if (n > 0) std::memcpy(target, s, n);
    if (addNul) static_cast<unsigned char*>(target)[n] = 0;
    if (consumed) *consumed = n;
    return *err == kErrTruncated ? 1 : 0;
}

namespace {

bool RestIsHere(int64_t total, uint64_t available) {
    return total != SQL_NO_TOTAL && !(total > 0 && static_cast<uint64_t>(total) > available);
}

// Bytes of the converted form of what is left of a value: counted at the first piece only when
// a carry keeps the count, so that reading a long value costs what it converts.
template <class Count>
int64_t ConvertedLeft(TextCarry* carry, Count count) {
    if (carry && carry->outLeft >= 0) return carry->outLeft;
    const int64_t left = count() - (carry ? int64_t(carry->charDone) : 0);
    if (carry) carry->outLeft = left;
    return left;
}

void CarryOn(TextCarry* carry, uint32_t charDone, uint64_t written) {
    if (!carry) return;
    carry->charDone = charDone;
    if (carry->outLeft >= 0) carry->outLeft -= static_cast<int64_t>(written);
}

}  // namespace

int CopyOutCharToWide(const char* src, uint64_t n, uint64_t available, int64_t total, bool addNul, bool allowTrunc,
                      void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed,
                      TextCarry* carry) {
    *err = kErrNone;
    if (consumed) *consumed = 0;
    // 1 when the first unit of src's first character went out with the last piece.
    const uint32_t done = carry ? carry->charDone : 0;
    if (lenPtr) {
        if (!RestIsHere(total, available))
            *lenPtr = SQL_NO_TOTAL;  // the rest is not here: its UTF-16 size is unknown
        else
            *lenPtr = static_cast<SQLLEN>(
                ConvertedLeft(carry, [&] { return int64_t(2 * cvutf::Utf8ToUtf16Count(src, available)); }));
    }
    if (bufLen <= 0) {
        *err = kErrTruncated;
        return 1;
    }
    const uint64_t nulUnits = addNul ? 1 : 0;
    const uint64_t roomUnits = static_cast<uint64_t>(bufLen) / 2;
    const uint64_t capUnits = roomUnits >= nulUnits ? roomUnits - nulUnits : 0;
    if (!allowTrunc && cvutf::Utf8ToUtf16Count(src, n) - done > capUnits) {
        *err = kErrNumericRange;
        return -1;
    }
    if (!target && ((n > 0 && capUnits > 0) || (addNul && roomUnits > 0))) {
        *err = kErrBadArg;
        return -1;
    }
    auto* out = static_cast<unsigned char*>(target);
    uint64_t w = 0, in = 0;
    auto put = [&](const SQLWCHAR* u, size_t k) {
        std::memcpy(out + w * 2, u, k * 2);
        w += k;
    };
    uint32_t carryOut = done;
    SQLWCHAR pair[2];
    size_t used = 0;
    if (done && n > 0 && capUnits > 0) {
        if (Utf8ToWideN(src, pair, static_cast<size_t>(n), 2, &used) == 2) {
            put(pair + 1, 1);
            in = used;
        }
        carryOut = 0;
    }
    if (carryOut == 0 && w < capUnits) {
        uint64_t units = 0;
        cvutf::WalkStop stop = cvutf::WalkStop::None;
        in += cvutf::Utf8ToUtf16Walk(src + in, n - in, capUnits - w, &units, put, &stop);
        // Bytes that are no UTF-8 (an overlong quote, a surrogate) are no character of any buffer; a
        // character cut by the end of what is here is whole once the rest comes.
        if (stop == cvutf::WalkStop::Malformed ||
            (stop == cvutf::WalkStop::CutAtEnd && !MoreFollows(total, available))) {
            *err = kErrCastValue;
            return -1;
        }
        // Room for one unit only and a character of two: its first unit goes now, so that the
        // piece advances (a wider piece keeps the pair together, as CopyOutWide does).
        if (carry && in < n && w == 0 && capUnits == 1 &&
            Utf8ToWideN(src + in, pair, static_cast<size_t>(n - in), 2, &used) == 2) {
            put(pair, 1);
            carryOut = 1;
        }
    }
    if (in < n || carryOut)
        *err = kErrTruncated;
    else if (MoreFollows(total, available))
        *err = kErrTruncated;
    if (addNul && roomUnits > 0) cvutf::StoreUnit(target, w, 0);
    if (consumed) *consumed = in;
    CarryOn(carry, carryOut, 2 * w);
    return *err == kErrTruncated ? 1 : 0;
}

int CopyOutWideToChar(const SQLWCHAR* src, uint64_t n, uint64_t available, int64_t total, bool addNul, bool allowTrunc,
                      void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed,
                      TextCarry* carry) {
    *err = kErrNone;
    if (consumed) *consumed = 0;
    // Bytes of the UTF-8 form of src's first character that went out with the last piece.
    const uint32_t done = carry ? carry->charDone : 0;
    std::vector<SQLWCHAR> holder;
    if (lenPtr) {
        if (!RestIsHere(total, available))
            *lenPtr = SQL_NO_TOTAL;
        else
            *lenPtr = static_cast<SQLLEN>(ConvertedLeft(carry, [&] {
                const SQLWCHAR* all = cvutf::AlignedWide(src, available > n ? available : n, holder);
                return int64_t(WideUtf8Length(all, static_cast<long>(available)));
            }));
    }
    if (bufLen <= 0) {
        *err = kErrTruncated;
        return 1;
    }
    const uint64_t nul = addNul ? 1 : 0;
    const uint64_t room = static_cast<uint64_t>(bufLen);
    const uint64_t cap = room - nul;
    // Each unit gives at least one byte: a piece reads no more units than it has bytes of room,
    // and a few more for a character it splits.
    const uint64_t reach = std::min<uint64_t>(n, cap + 3);
    const SQLWCHAR* text = cvutf::AlignedWide(src, allowTrunc ? reach : n, holder);
    if (!allowTrunc && WideUtf8Length(text, static_cast<long>(n)) - done > cap) {
        *err = kErrNumericRange;
        return -1;
    }
    if (!target && ((cap > 0 && n > 0) || addNul)) {
        *err = kErrBadArg;
        return -1;
    }
    auto* out = static_cast<char*>(target);
    // A lone surrogate is no character of any buffer. A high half at the end of the units read here
    // may have its low half next, in this value or the next piece.
    uint64_t checked = reach;
    if (checked > 0 && text[checked - 1] >= 0xD800 && text[checked - 1] <= 0xDBFF &&
        (checked < n || MoreFollows(total, n)))
        --checked;
    if (!WideTextValid(text, static_cast<long>(checked))) {
        *err = kErrCastValue;
        return -1;
    }
    // A pair cut by the end of what is here goes out once its second half has come.
    const uint64_t stopAt = checked < reach && reach == n ? checked : reach;
    // The UTF-8 form of the character at unit `at`; its units in *units.
    char enc[4];
    auto encodeAt = [&](uint64_t at, size_t* units) {
        const bool pair = at + 1 < reach && text[at] >= 0xD800 && text[at] <= 0xDBFF && text[at + 1] >= 0xDC00 &&
                          text[at + 1] <= 0xDFFF;
        size_t used = 0;
        const size_t k = WideToUtf8N(text + at, enc, pair ? 2 : 1, sizeof enc, &used);
        *units = used;
        return k;
    };
    uint64_t w = 0, in = 0;
    uint32_t carryOut = done;
    if (done && n > 0 && cap > 0) {
        size_t units = 0;
        const size_t k = encodeAt(0, &units);
        const size_t take = std::min<uint64_t>(k > done ? k - done : 0, cap);
        std::memcpy(out, enc + done, take);
        w = take;
        if (done + take >= k) {
            in = units;
            carryOut = 0;
        } else {
            carryOut = static_cast<uint32_t>(done + take);
        }
    }
    if (carryOut == 0 && w < cap && in < n) {
        size_t used = 0;
        w += WideToUtf8N(text + in, out + w, static_cast<size_t>(stopAt - in), static_cast<size_t>(cap - w), &used);
        in += used;
        // The next character does not fit whole: what fits of it goes now, so the piece advances.
        if (carry && in < stopAt && w < cap) {
            size_t units = 0;
            const size_t k = encodeAt(in, &units);
            const size_t take = std::min<uint64_t>(cap - w, k);
            std::memcpy(out + w, enc, take);
            w += take;
            carryOut = static_cast<uint32_t>(take);
        }
    }
    if (in < n || carryOut)
        *err = kErrTruncated;
    else if (MoreFollows(total, available))
        *err = kErrTruncated;
    if (addNul) out[w] = 0;
    if (consumed) *consumed = in;
    CarryOn(carry, carryOut, w);
    return *err == kErrTruncated ? 1 : 0;
}

int CopyOutWide(const void* src, uint64_t n, uint64_t available, int64_t total, bool addNul, bool allowTrunc,
                void* target, int64_t bufLen, SQLLEN* lenPtr, uint32_t* err, uint64_t* consumed) {
    *err = kErrNone;
    if (consumed) *consumed = 0;
    if (lenPtr) *lenPtr = ReportedLength(total, n);
    if (bufLen <= 0) {
        *err = kErrTruncated;
        return 1;
    }
    n &= ~uint64_t{1};
    const uint64_t nul = addNul ? 2 : 0;
    const uint64_t room = static_cast<uint64_t>(bufLen);
    if (n + nul > room) {
        if (!allowTrunc) {
            *err = kErrNumericRange;
            return -1;
        }
        *err = kErrTruncated;
        uint64_t cut = room >= nul ? (room - nul) & ~uint64_t{1} : 0;
        // Keep a surrogate pair together while the piece still advances without it.
        if (cut >= 4 && cut < n) {
            const SQLWCHAR last = cvutf::LoadUnit(src, cut / 2 - 1);
            const SQLWCHAR next = cvutf::LoadUnit(src, cut / 2);
            if (last >= 0xD800 && last <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) cut -= 2;
        }
        n = cut;
    } else if (MoreFollows(total, available)) {
        *err = kErrTruncated;
    }
    const bool writesNul = addNul && room >= 2;
    if (!target && (n > 0 || writesNul)) {
        *err = kErrBadArg;
        return -1;
    }
    if (n > 0) std::memcpy(target, src, n);
    if (writesNul) cvutf::StoreUnit(target, n / 2, 0);
    if (consumed) *consumed = n;
    return *err == kErrTruncated ? 1 : 0;
}
