// Data transfer between the Dataset and OpenAPI.
#include "drv_ingii/i-value.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-types.h"
#include "drv_ingii/ingutil.h"
#include "util/utf.h"
#include "util/errtable.h"
#include "util/numtext.h"
#include "util/strutil.h"

namespace {
constexpr uint32_t kSegmentStart = 32768;

// "00" to "99": numbers are written two digits at a time.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

uint16_t U16(const void* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Converts one value with OpenAPI into a buffer of the target descriptor's length.
bool Convert(const IIAPI_DESCRIPTOR& sd, const IIAPI_DATAVALUE& sv, const IIAPI_DESCRIPTOR& dd, void* buf,
             uint16_t* outLen) {
    IIAPI_CONVERTPARM cv{};
    cv.cv_srcDesc = sd;
    cv.cv_srcValue = sv;
    cv.cv_dstDesc = dd;
    cv.cv_dstValue.dv_value = buf;
    IIapi_convertData(&cv);
    if (cv.cv_status != IIAPI_ST_SUCCESS) return false;
    if (outLen) *outLen = cv.cv_dstValue.dv_length;
    return true;
}

void RTrimWhite(std::string& t) {
    while (!t.empty() && std::isspace(static_cast<unsigned char>(t.back()))) t.pop_back();
}

std::string WideToUtf8String(const void* units, size_t count) {
    std::string out(count * 3 + 1, '\0');
    size_t consumed = 0;
    size_t n = WideToUtf8N(static_cast<const SQLWCHAR*>(units), out.data(), count, out.size(), &consumed);
    out.resize(n);
    return out;
}

// A text sent as a number is the whole of it: a numeric literal (blanks around it allowed),
// never the digits it starts with; for an integer its fraction digits go. 0 or the error, once
// per value and row of a parameter array.
uint32_t TextInteger(const char* p, size_t n, long long& out) {
    bool neg = false;
    uint64_t mag = 0;
    uint32_t err = kErrNone;
    int rc = PlainInteger(p, n, uint64_t(1) << 63, uint64_t(LLONG_MAX), &neg, &mag, &err);
    if (rc == 2) rc = NumericTextToInteger(p, n, uint64_t(1) << 63, uint64_t(LLONG_MAX), &neg, &mag, &err);
    if (rc < 0) return err;
    out = neg ? static_cast<long long>(0 - mag) : static_cast<long long>(mag);
    return kErrNone;
}
uint32_t TextNumber(const char* p, size_t n, double& out) {
    bool neg = false;
    uint64_t mag = 0;
    uint32_t err = kErrNone;
    NumericTextToInteger(p, n, UINT64_MAX, UINT64_MAX, &neg, &mag, &err);
    if (err == kErrAssignment) return err;
    std::string t(p, n);
    out = std::strtod(t.c_str(), nullptr);
    return kErrNone;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Single values.

uint32_t IngMoneyToDouble(const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v, double* out) {
    IIAPI_DESCRIPTOR dd{};
    dd.ds_dataType = IIAPI_FLT_TYPE;
    dd.ds_length = 8;
    dd.ds_precision = 15;
    double value = 0;
    if (!Convert(d, v, dd, &value, nullptr)) return kErrGeneral;
    *out = value;
    return 0;
}

uint32_t IngValueToText(const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v, char** text) {
    *text = nullptr;
    if (v.dv_null) return 0;
    const char* p = static_cast<const char*>(v.dv_value);
    std::string t;
    char num[64];
    switch (IngAbsType(d.ds_dataType)) {
        case IIAPI_DATE_TYPE:
        case IIAPI_ADATE_TYPE:
        case IIAPI_MNY_TYPE:
        case IIAPI_TMWO_TYPE:
        case IIAPI_TMTZ_TYPE:
        case IIAPI_TIME_TYPE:
        case IIAPI_TSWO_TYPE:
        case IIAPI_TSTZ_TYPE:
        case IIAPI_TS_TYPE:
        case IIAPI_DEC_TYPE:
        case IIAPI_INTYM_TYPE:
        case IIAPI_INTDS_TYPE: {
            IIAPI_DESCRIPTOR dd{};
            dd.ds_dataType = IIAPI_CHA_TYPE;
            dd.ds_length = 64;
            char buf[65] = {};
            uint16_t n = 0;
            if (Convert(d, v, dd, buf, &n))
                t.assign(buf, n > 64 ? 64 : n);
            else
                t = "(invalid type)";
            break;
        }
        case IIAPI_LOGKEY_TYPE:
        case IIAPI_TABKEY_TYPE:
            for (uint16_t i = 0; i < v.dv_length; ++i) {
                std::snprintf(num, sizeof num, "%02X ", static_cast<unsigned char>(p[i]));
                t += num;
            }
            break;
        case IIAPI_CHA_TYPE:
        case IIAPI_BYTE_TYPE:
        case IIAPI_CHR_TYPE:
            t.assign(p, v.dv_length);
            break;
        case IIAPI_VCH_TYPE:
        case IIAPI_LVCH_TYPE:
        case IIAPI_VBYTE_TYPE:
        case IIAPI_LBYTE_TYPE:
        case IIAPI_TXT_TYPE:
        case IIAPI_LTXT_TYPE: {
            uint16_t n = v.dv_length >= 2 ? U16(p) : 0;
            if (n + 2u > v.dv_length) n = v.dv_length >= 2 ? uint16_t(v.dv_length - 2) : 0;
            t.assign(p + 2, n);
            break;
        }
        case IIAPI_NCHA_TYPE:
            t = WideToUtf8String(p, v.dv_length / 2);
            break;
        case IIAPI_NVCH_TYPE:
        case IIAPI_LNVCH_TYPE: {
            uint16_t n = v.dv_length >= 2 ? U16(p) : 0;
            if (2u + 2u * n > v.dv_length) n = v.dv_length >= 2 ? uint16_t((v.dv_length - 2) / 2) : 0;
            t = WideToUtf8String(p + 2, n);
            break;
        }
        case IIAPI_INT_TYPE:
            switch (v.dv_length) {
                case 1:
                    std::snprintf(num, sizeof num, "%ld", long(int8_t(p[0])));
                    break;
                case 2: {
                    int16_t x;
                    std::memcpy(&x, p, 2);
                    std::snprintf(num, sizeof num, "%ld", long(x));
                    break;
                }
                case 4: {
                    int32_t x;
                    std::memcpy(&x, p, 4);
                    std::snprintf(num, sizeof num, "%ld", long(x));
                    break;
                }
                case 8: {
                    int64_t x;
                    std::memcpy(&x, p, 8);
                    std::snprintf(num, sizeof num, "%" PRId64, x);
                    break;
                }
                default:
                    std::snprintf(num, sizeof num, "invalid integer length");
            }
            t = num;
            break;
        case IIAPI_FLT_TYPE:
            if (v.dv_length == 4) {
                float x;
                std::memcpy(&x, p, 4);
                std::snprintf(num, sizeof num, "%f", double(x));
            } else if (v.dv_length == 8) {
                double x;
                std::memcpy(&x, p, 8);
                std::snprintf(num, sizeof num, "%f", x);
            } else
                std::snprintf(num, sizeof num, "invalid float length");
            t = num;
            break;
        case IIAPI_BOOL_TYPE:
            std::snprintf(num, sizeof num, "%ld", long(v.dv_length ? uint8_t(p[0]) : 0));
            t = num;
            break;
        default:
            t = "invalid type";
    }
    *text = strndup(t.data(), t.size());
    return *text ? kErrNone : kErrNoMemory;
}

uint32_t IngValueToWide(const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v, uint16_t* buf, uint32_t capacity) {
    if (buf == nullptr || capacity == 0) return 0;
    buf[0] = 0;
    char* t = nullptr;
    if (IngValueToText(d, v, &t) != 0) return kErrNoMemory;
    if (t != nullptr) Utf8ToWideBuf(t, reinterpret_cast<SQLWCHAR*>(buf), capacity, nullptr);
    std::free(t);
    return 0;
}

uint32_t IngNcharToChar(uint32_t sourceBytes, const void* source, uint32_t targetLength, char* target) {
    if (sourceBytes > 0xFFFF || targetLength > 0xFFFF || target == nullptr) return kErrGeneral;
    IIAPI_DESCRIPTOR sd{};
    sd.ds_dataType = IIAPI_NCHA_TYPE;
    sd.ds_length = uint16_t(sourceBytes);
    IIAPI_DATAVALUE sv{};
    sv.dv_length = uint16_t(sourceBytes);
    sv.dv_value = const_cast<void*>(source);
    IIAPI_DESCRIPTOR dd{};
    dd.ds_dataType = IIAPI_CHA_TYPE;
    dd.ds_length = uint16_t(targetLength);
    return Convert(sd, sv, dd, target, nullptr) ? kErrNone : kErrGeneral;
}

uint32_t IngNvarcharToVarchar(uint32_t sourceBytes, const void* source, uint32_t targetCapacity, void* target) {
    if (sourceBytes > 0xFFFF || targetCapacity > 0xFFFF || target == nullptr) return kErrGeneral;
    IIAPI_DESCRIPTOR sd{};
    sd.ds_dataType = IIAPI_NVCH_TYPE;
    sd.ds_length = uint16_t(sourceBytes);
    IIAPI_DATAVALUE sv{};
    sv.dv_length = uint16_t(sourceBytes);
    sv.dv_value = const_cast<void*>(source);
    IIAPI_DESCRIPTOR dd{};
    dd.ds_dataType = IIAPI_VCH_TYPE;
    dd.ds_length = uint16_t(targetCapacity);
    return Convert(sd, sv, dd, target, nullptr) ? kErrNone : kErrGeneral;
}

void IngParseTimeText(const char* p, size_t n, DsTime* t) {
    auto two = [&](size_t at) -> uint16_t {
        if (at + 2 > n || !std::isdigit(static_cast<unsigned char>(p[at])) ||
            !std::isdigit(static_cast<unsigned char>(p[at + 1])))
            return 0;
        return uint16_t((p[at] - '0') * 10 + (p[at + 1] - '0'));
    };
    t->hour = two(0);
    t->minute = two(3);
    t->second = two(6);
}

bool IngParseDateText(const char* p, size_t n, DsTimestamp* ts) {
    *ts = DsTimestamp{};
    while (n > 0 && (p[n - 1] == '\0')) --n;
    if (n == 0 || p[0] == ' ') return false;
    auto num = [&](size_t at, size_t digits) -> unsigned {
        unsigned v = 0;
        for (size_t i = 0; i < digits && at + i < n && std::isdigit(static_cast<unsigned char>(p[at + i])); ++i)
            v = v * 10 + unsigned(p[at + i] - '0');
        return v;
    };
    auto at = [&](size_t i) -> char { return i < n ? p[i] : '\0'; };
    size_t timeAt;
    if (at(2) == '-') {
        ts->day = uint16_t(num(0, 2));
        char mon[4] = {at(3), at(4), at(5), '\0'};
        for (char& ch : mon) ch = AsciiLower(ch);
        ts->month = uint16_t(MonthFromAbbrev(mon));
        ts->year = int16_t(num(7, 4));
        timeAt = 12;
    } else if (at(2) == '/') {
        ts->day = uint16_t(num(0, 2));
        ts->month = uint16_t(num(3, 2));
        if (at(8) == ' ' || n <= 8) {
            ts->year = int16_t(1900 + num(6, 2));
            timeAt = 9;
        } else {
            ts->year = int16_t(num(6, 4));
            timeAt = 11;
        }
    } else if (at(2) == '.') {
        ts->day = uint16_t(num(0, 2));
        ts->month = uint16_t(num(3, 2));
        ts->year = int16_t(num(6, 4));
        timeAt = 11;
    } else if (at(4) == '-') {
        ts->year = int16_t(num(0, 4));
        ts->month = uint16_t(num(5, 2));
        ts->day = uint16_t(num(8, 2));
        timeAt = 11;
    } else {
        ts->year = int16_t(1900 + num(0, 2));
        ts->month = uint16_t(num(2, 2));
        ts->day = uint16_t(num(4, 2));
        timeAt = 7;
    }
    // A missing time part, or one that begins with a blank, is midnight.
    if (timeAt >= n || p[timeAt] == ' ') return true;
    DsTime t{};
    IngParseTimeText(p + timeAt, n - timeAt, &t);
    ts->hour = t.hour;
    ts->minute = t.minute;
    ts->second = t.second;
    size_t f = timeAt + 8;
    if (f < n && p[f] == '.') {
        // The fraction is kept in nanoseconds whatever number of digits the text carries.
        uint32_t v = 0;
        int digits = 0;
        for (size_t i = f + 1; i < n && std::isdigit(static_cast<unsigned char>(p[i])); ++i) {
            if (digits < 9) {
                v = v * 10 + uint32_t(p[i] - '0');
                ++digits;
            }
        }
        while (digits++ < 9) v *= 10;
        ts->fraction = v;
    }
    return true;
}

namespace {
// Text into a narrow cell with `room` bytes before its NUL, cut to fit: once per text value and row.
inline void PutNarrowText(uint8_t* cell, uint32_t room, const uint8_t* from, size_t n) {
    if (n > room) n = room;
    if (n) std::memcpy(cell, from, n);
    cell[n] = '\0';
}

// One Ingres value on its way into a Dataset cell, with the writers of the kinds that take more
// than a copy.
struct CellWrite {
    IngStmt* s;
    const IIAPI_DESCRIPTOR& d;
    const IIAPI_DATAVALUE& v;
    DatasetColumn* col;
    uint32_t row;
    uint8_t* cell;
    int16_t type;  // sign dropped
    const uint8_t* p;
    uint16_t len;

    uint32_t DateTime() const;
    uint32_t Reference() const;
    uint32_t NarrowText() const;
    uint32_t LengthText() const;
    uint32_t WideText() const;
    uint32_t WideReference() const;
};

// A date, time or timestamp cell, from the engine's date layout or else from the value's text.
uint32_t CellWrite::DateTime() const {
    // A value in the engine's published date layout is read exactly: its text form keeps
    // only six digits of the fraction.
    if (len == sizeof(IIAPI_DATETIME) && d.ds_length == sizeof(IIAPI_DATETIME) && type != IIAPI_INTYM_TYPE &&
        type != IIAPI_INTDS_TYPE) {
        IIAPI_DATETIME dt;
        std::memcpy(&dt, p, sizeof dt);
        if (dt.dt_kind != IIAPI_DTK_INTERVAL) {
            if (dt.dt_kind == IIAPI_DTK_EMPTY) {
                // Zeroed as every NULL's cell is, also in a block filled again.
                col->indicators[row] = DS_IND_NULL;
                std::memset(cell, 0, col->width);
                return 0;
            }
            if (col->kind == DS_TIME) {
                DsTime tm{dt.dt_hour, dt.dt_minute, dt.dt_second};
                std::memcpy(cell, &tm, sizeof tm);
            } else if (col->kind == DS_DATE) {
                DsDate dd{dt.dt_year, dt.dt_month, dt.dt_day};
                std::memcpy(cell, &dd, sizeof dd);
            } else {
                DsTimestamp ts{dt.dt_year,
                               dt.dt_month,
                               dt.dt_day,
                               dt.dt_hour,
                               dt.dt_minute,
                               dt.dt_second,
                               dt.dt_kind == IIAPI_DTK_DATE ? 0u : dt.dt_nanosecond};
                if (dt.dt_kind == IIAPI_DTK_DATE) ts.hour = ts.minute = ts.second = 0;
                std::memcpy(cell, &ts, sizeof ts);
            }
            return 0;
        }
    }
    char* t = nullptr;
    if (IngValueToText(d, v, &t) != 0) return kErrNoMemory;
    size_t n = t ? std::strlen(t) : 0;
    if (col->kind == DS_TIME) {
        DsTime tm{};
        if (n == 0 || t[0] == ' ')
            col->indicators[row] = DS_IND_NULL;
        else
            IngParseTimeText(t, n, &tm);
        std::memcpy(cell, &tm, sizeof tm);
    } else {
        DsTimestamp ts{};
        if (!IngParseDateText(t ? t : "", n, &ts)) col->indicators[row] = DS_IND_NULL;
        if (col->kind == DS_DATE) {
            DsDate dt{ts.year, ts.month, ts.day};
            std::memcpy(cell, &dt, sizeof dt);
        } else {
            std::memcpy(cell, &ts, sizeof ts);
        }
    }
    std::free(t);
    return 0;
}

// A text or binary cell by reference: the cell owns a copy of the bytes.
uint32_t CellWrite::Reference() const {
    const uint8_t* src = p;
    uint32_t n = len;
    std::string conv;
    if (type == IIAPI_LNVCH_TYPE || type == IIAPI_NVCH_TYPE) {
        char* t = nullptr;
        if (IngValueToText(d, v, &t) != 0) return kErrNoMemory;
        conv = t ? t : "";
        std::free(t);
        src = reinterpret_cast<const uint8_t*>(conv.data());
        n = uint32_t(conv.size());
    } else if (type != IIAPI_CHA_TYPE && type != IIAPI_BYTE_TYPE && type != IIAPI_CHR_TYPE) {
        n = len >= 2 ? U16(p) : 0;
        src = p + 2;
    }
    void* copy = std::malloc(n + 1u);
    if (copy == nullptr) return kErrNoMemory;
    std::memcpy(copy, src, n);
    static_cast<char*>(copy)[n] = '\0';
    DsRef old = DatasetRefGet(cell);
    std::free(old.ptr);
    DatasetRefSet(cell, n, copy);
    return 0;
}

// A NUL-terminated text cell, cut to the column's width.
uint32_t CellWrite::NarrowText() const {
    const uint32_t room = col->width ? col->width - 1 : 0;
    std::string t;
    // Texts go straight from the value into the cell.
    auto put = [&](const uint8_t* from, size_t n) {
        PutNarrowText(cell, room, from, n);
        return 0u;
    };
    switch (type) {
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE: {
            size_t n = len;
            if (s->conn->dsn.rtrimChar)
                while (n > 0 && p[n - 1] == ' ') --n;
            return put(p, n);
        }
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
        case IIAPI_LTXT_TYPE: {
            uint16_t n = len >= 2 ? U16(p) : 0;
            if (n + 2u > len) n = len >= 2 ? uint16_t(len - 2) : 0;
            return put(p + 2, n);
        }
        default: {
            char* x = nullptr;
            if (IngValueToText(d, v, &x) != 0) return kErrNoMemory;
            t = x ? x : "";
            std::free(x);
            if (type != IIAPI_LOGKEY_TYPE && type != IIAPI_TABKEY_TYPE && type != IIAPI_NCHA_TYPE &&
                type != IIAPI_NVCH_TYPE)
                RTrimWhite(t);
        }
    }
    return put(reinterpret_cast<const uint8_t*>(t.data()), t.size());
}

// The decimal digits of u, as many as it takes, ending at end; where they begin.
template <typename U>
char* DigitsBefore(char* end, U u) {
    while (u >= 100) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * (u % 100), 2);
        u /= 100;
    }
    if (u >= 10) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * u, 2);
    } else {
        *--end = char('0' + u);
    }
    return end;
}

// A BIGINT's digits behind a u16 length (BIGINT's kind), cut to the room of the cell: written
// without the text round trip of other values (once per row, where std::to_chars lays its table
// of digit pairs out on the stack every time).
void PutBigintDigits(const uint8_t* p, const DatasetColumn* col, uint8_t* cell) {
    int64_t v;
    std::memcpy(&v, p, 8);
    constexpr size_t kMost = 20;  // "-9223372036854775808"
    // The digits end where zeros begin: a cell with room for any of them takes kMost bytes in
    // one fixed-size copy, its own zeros after the digits as before.
    char num[2 * kMost];
    char* const end = num + kMost;
    std::memset(end, 0, kMost);
    const uint64_t mag = v < 0 ? 0 - uint64_t(v) : uint64_t(v);
    // In 32 bits while it fits: the usual numbers divide faster so.
    char* b = mag <= UINT32_MAX ? DigitsBefore(end, uint32_t(mag)) : DigitsBefore(end, mag);
    if (v < 0) *--b = '-';
    const size_t room = col->width >= 2 ? col->width - 2 : 0;
    const uint16_t n = uint16_t(std::min<size_t>(size_t(end - b), room));
    std::memcpy(cell, &n, 2);
    if (room >= kMost)
        std::memcpy(cell + 2, b, kMost);
    else
        std::memcpy(cell + 2, b, n);
}

// A text cell behind a u16 length.
uint32_t CellWrite::LengthText() const {
    if (type == IIAPI_INT_TYPE && len == 8) {
        PutBigintDigits(p, col, cell);
        return 0;
    }
    char* x = nullptr;
    if (IngValueToText(d, v, &x) != 0) return kErrNoMemory;
    std::string t = x ? x : "";
    std::free(x);
    RTrimWhite(t);
    size_t room = col->width >= 2 ? col->width - 2 : 0;
    uint16_t n = uint16_t(t.size() < room ? t.size() : room);
    std::memcpy(cell, &n, 2);
    std::memcpy(cell + 2, t.data(), n);
    return 0;
}

// A NUL-terminated UTF-16 cell, cut to the column's width.
uint32_t CellWrite::WideText() const {
    const uint32_t room = col->width >= 2 ? col->width / 2 - 1 : 0;
    std::u16string w;
    if (type == IIAPI_NVCH_TYPE) {
        uint16_t n = len >= 2 ? U16(p) : 0;
        if (2u + 2u * n > len) n = len >= 2 ? uint16_t((len - 2) / 2) : 0;
        w.assign(reinterpret_cast<const char16_t*>(p + 2), n);
    } else if (type == IIAPI_NCHA_TYPE) {
        w.assign(reinterpret_cast<const char16_t*>(p), len / 2);
    } else if (type == IIAPI_CHA_TYPE || type == IIAPI_VCH_TYPE) {
        char* x = nullptr;
        if (IngValueToText(d, v, &x) != 0) return kErrNoMemory;
        SQLWCHAR* u = Utf8ToWideDupNts(x ? x : "");
        std::free(x);
        if (u == nullptr) return kErrNoMemory;
        w.assign(reinterpret_cast<const char16_t*>(u));
        std::free(u);
    } else {
        IngLog(LOGL_ERROR, "unsupported conversion for CTYPE_WVCHR");
        return 0;
    }
    size_t n = w.size() < room ? w.size() : room;
    std::memcpy(cell, w.data(), n * 2);
    std::memset(cell + n * 2, 0, 2);
    return 0;
}

// A UTF-16 cell by reference, from an NVARCHAR value.
uint32_t CellWrite::WideReference() const {
    uint16_t n = len >= 2 ? U16(p) : 0;
    if (2u + 2u * n > len) n = len >= 2 ? uint16_t((len - 2) / 2) : 0;
    void* copy = std::malloc(size_t(n) * 2 + 2);
    if (copy == nullptr) return kErrNoMemory;
    std::memcpy(copy, p + 2, size_t(n) * 2);
    std::memset(static_cast<uint8_t*>(copy) + size_t(n) * 2, 0, 2);
    DsRef old = DatasetRefGet(cell);
    std::free(old.ptr);
    DatasetRefSet(cell, n, copy);
    return 0;
}

}  // namespace

uint32_t IngValueToCell(IngStmt* s, const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v, DatasetColumn* col,
                        uint32_t row) {
    uint8_t* cell = DatasetCell(col, row);
    col->indicators[row] = DS_IND_VALUE;
    if (v.dv_null) {
        col->indicators[row] = DS_IND_NULL;
        return 0;
    }
    const int16_t type = IngAbsType(d.ds_dataType);
    const auto* p = static_cast<const uint8_t*>(v.dv_value);
    const uint16_t len = v.dv_length;
    const CellWrite w{s, d, v, col, row, cell, type, p, len};
    auto intLenBad = [&]() {
        IngLog(LOGL_ERROR, "unknown INT length %d", int(len));
        return 0u;
    };
    switch (col->kind) {
        case DS_BIT:
            cell[0] = len ? p[0] : 0;
            return 0;
        case DS_TINYINT:
            if (len != 1 && len != 2 && len != 4) return intLenBad();
            cell[0] = p[0];
            return 0;
        case DS_SMALLINT: {
            int16_t x;
            if (len == 1)
                x = int8_t(p[0]);
            else if (len == 2 || len == 4)
                std::memcpy(&x, p, 2);
            else
                return intLenBad();
            std::memcpy(cell, &x, 2);
            return 0;
        }
        case DS_INTEGER: {
            int32_t x;
            if (len == 1)
                x = int8_t(p[0]);
            else if (len == 2) {
                int16_t y;
                std::memcpy(&y, p, 2);
                x = y;
            } else if (len == 4)
                std::memcpy(&x, p, 4);
            else
                return intLenBad();
            std::memcpy(cell, &x, 4);
            return 0;
        }
        case DS_REAL:
            if (len != 4) {
                IngLog(LOGL_ERROR, "unknown FLT length %d", int(len));
                return 0;
            }
            std::memcpy(cell, p, 4);
            return 0;
        case DS_DOUBLE: {
            double x;
            if (type == IIAPI_MNY_TYPE) {
                if (IngMoneyToDouble(d, v, &x) != 0) return kErrGeneral;
            } else if (len == 8) {
                std::memcpy(&x, p, 8);
            } else {
                IngLog(LOGL_ERROR, "unknown FLT length %d", int(len));
                return 0;
            }
            std::memcpy(cell, &x, 8);
            return 0;
        }
        case DS_DATE:
        case DS_TIME:
        case DS_TIMESTAMP:
            return w.DateTime();
        case DS_CHAR_REF:
        case DS_BINARY_REF:
            return w.Reference();
        case DS_CHAR_NTS:
            return w.NarrowText();
        case DS_CHAR_LEN2:
            return w.LengthText();
        case DS_BINARY_LEN4: {
            uint32_t room = col->width >= 4 ? col->width - 4 : 0;
            const uint8_t* src = p;
            uint32_t n = len;
            if (type == IIAPI_VBYTE_TYPE || type == IIAPI_VCH_TYPE || type == IIAPI_TXT_TYPE) {
                n = len >= 2 ? U16(p) : 0;
                src = p + 2;
            }
            if (n > room) n = room;
            std::memcpy(cell, &n, 4);
            std::memcpy(cell + 4, src, n);
            return 0;
        }
        case DS_WCHAR_NTS:
            return w.WideText();
        case DS_WCHAR_REF:
            return w.WideReference();
        default:
            IngLog(LOGL_ERROR, "unknown data type %d", int(type));
            return 0;
    }
}

namespace {

// How a block's values of one column reach their cells. The usual pairs of an Ingres type and a
// cell kind have a writer of their own, chosen once per block; a writer that meets a value in
// another form than the usual one (another length, a date without a time) hands it to
// IngValueToCell, which takes every value of every other pair.
enum class CellPlan { General, Bytes1, Bytes2, Bytes4, Bytes8, BigintDigits, VaryingText, Timestamp };

CellPlan CellPlanOf(const IIAPI_DESCRIPTOR& d, const DatasetColumn& col) {
    const int16_t type = IngAbsType(d.ds_dataType);
    switch (col.kind) {
        case DS_TINYINT:
            return CellPlan::Bytes1;
        case DS_SMALLINT:
            return CellPlan::Bytes2;
        case DS_INTEGER:
        case DS_REAL:
            return CellPlan::Bytes4;
        case DS_DOUBLE:
            return type == IIAPI_MNY_TYPE ? CellPlan::General : CellPlan::Bytes8;
        case DS_CHAR_LEN2:
            return type == IIAPI_INT_TYPE ? CellPlan::BigintDigits : CellPlan::General;
        case DS_CHAR_NTS:
            return type == IIAPI_VCH_TYPE || type == IIAPI_TXT_TYPE || type == IIAPI_LTXT_TYPE ? CellPlan::VaryingText
                                                                                               : CellPlan::General;
        case DS_TIMESTAMP:
            return d.ds_length == sizeof(IIAPI_DATETIME) && type != IIAPI_INTYM_TYPE && type != IIAPI_INTDS_TYPE
                       ? CellPlan::Timestamp
                       : CellPlan::General;
        default:
            return CellPlan::General;
    }
}

// The values of one column (every stride-th data value) into rows 0.. of its cells: NULLs
// marked (their cells zeroed, as a new block's are, in a block filled again too), the rest
// written by put(bytes, length, cell) where it takes them.
template <class Put>
[[gnu::always_inline]] inline uint32_t WriteColumn(IngStmt* s, const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE* v,
                                                   size_t stride, uint32_t rows, DatasetColumn* col, Put put) {
    uint16_t* const ind = col->indicators;
    for (uint32_t r = 0; r < rows; ++r, v += stride) {
        if (v->dv_null) {
            ind[r] = DS_IND_NULL;
            std::memset(DatasetCell(col, r), 0, col->width);
            continue;
        }
        ind[r] = DS_IND_VALUE;
        if (put(static_cast<const uint8_t*>(v->dv_value), v->dv_length, DatasetCell(col, r))) continue;
        if (uint32_t rc = IngValueToCell(s, d, *v, col, r)) return rc;
    }
    return 0;
}

template <size_t N>
[[gnu::always_inline]] inline bool PutBytes(const uint8_t* p, uint16_t len, uint8_t* cell) {
    if (len != N) return false;
    std::memcpy(cell, p, N);
    return true;
}

// A date and time in the engine's date layout; anything else (a date alone, the empty date) is
// not the usual value.
[[gnu::always_inline]] inline bool PutTimestamp(const uint8_t* p, uint16_t len, uint8_t* cell) {
    IIAPI_DATETIME dt;
    if (len != sizeof dt) return false;
    std::memcpy(&dt, p, sizeof dt);
    if (dt.dt_kind != IIAPI_DTK_DATETIME) return false;
    const DsTimestamp ts{dt.dt_year, dt.dt_month, dt.dt_day, dt.dt_hour, dt.dt_minute, dt.dt_second, dt.dt_nanosecond};
    std::memcpy(cell, &ts, sizeof ts);
    return true;
}

}  // namespace

uint32_t IngColumnToCells(IngStmt* s, const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE* v, size_t stride, uint32_t rows,
                          DatasetColumn* col) {
    const auto general = [](const uint8_t*, uint16_t, uint8_t*) { return false; };
    switch (CellPlanOf(d, *col)) {
        case CellPlan::Bytes1:
            return WriteColumn(s, d, v, stride, rows, col, PutBytes<1>);
        case CellPlan::Bytes2:
            return WriteColumn(s, d, v, stride, rows, col, PutBytes<2>);
        case CellPlan::Bytes4:
            return WriteColumn(s, d, v, stride, rows, col, PutBytes<4>);
        case CellPlan::Bytes8:
            return WriteColumn(s, d, v, stride, rows, col, PutBytes<8>);
        case CellPlan::BigintDigits:
            return WriteColumn(s, d, v, stride, rows, col, [col](const uint8_t* p, uint16_t len, uint8_t* cell) {
                if (len != 8) return false;
                PutBigintDigits(p, col, cell);
                return true;
            });
        case CellPlan::VaryingText: {
            const uint32_t room = col->width ? col->width - 1 : 0;
            return WriteColumn(s, d, v, stride, rows, col, [room](const uint8_t* p, uint16_t len, uint8_t* cell) {
                if (len < 2) return false;
                const uint32_t n = U16(p);
                if (n + 2u > len) return false;
                PutNarrowText(cell, room, p + 2, n);
                return true;
            });
        }
        case CellPlan::Timestamp:
            return WriteColumn(s, d, v, stride, rows, col, PutTimestamp);
        case CellPlan::General:
            break;
    }
    return WriteColumn(s, d, v, stride, rows, col, general);
}

// ---------------------------------------------------------------------------------------------
// Reading rows.

namespace {
uint32_t ReadLong(IngStmt* s, const IIAPI_DESCRIPTOR& d, DatasetColumn* col, uint32_t* rowsRead) {
    if (col->kind != DS_CHAR_REF && col->kind != DS_BINARY_REF && col->kind != DS_WCHAR_REF) {
        IngLog(LOGL_ERROR, "Bad type of longdata");
        return kErrGeneral;
    }
    if (s->segBuf == nullptr) {
        s->segBuf = static_cast<uint8_t*>(std::malloc(kSegmentStart + 4));
        if (s->segBuf == nullptr) return kErrNoMemory;
        s->segCap = kSegmentStart;
    }
    const int16_t type = IngAbsType(d.ds_dataType);
    col->indicators[0] = DS_IND_VALUE;
    std::string narrow;  // a LONG NVARCHAR into a narrow column, as UTF-8
    uint32_t used = 0;
    const uint32_t segLen = d.ds_length ? d.ds_length : 8192;
    std::string seg(segLen + 2u, '\0');
    for (;;) {
        IIAPI_DATAVALUE dv{};
        dv.dv_value = seg.data();
        IIAPI_GETCOLPARM gc{};
        gc.gc_stmtHandle = IngStmtGetHandle(s);
        gc.gc_rowCount = 1;
        gc.gc_columnCount = 1;
        gc.gc_columnData = &dv;
        IIapi_getColumns(&gc);
        uint32_t rc = IIWaitCompletion(&gc.gc_genParm, &s->messages);
        if (rc == kErrNoData) {
            *rowsRead = 0;
            return 0;
        }
        if (rc != 0) return rc;
        *rowsRead = gc.gc_rowsReturned > 0 ? 1 : 0;
        if (dv.dv_null) {
            col->indicators[0] = DS_IND_NULL;
            DatasetRefSet(DatasetCell(col, 0), 0, nullptr);
            if (!gc.gc_moreSegments) return 0;
            continue;
        }
        const uint8_t* p = static_cast<const uint8_t*>(dv.dv_value);
        uint16_t count = dv.dv_length >= 2 ? U16(p) : 0;
        const uint8_t* bytes = p + 2;
        uint32_t nbytes = count;
        if (type == IIAPI_LNVCH_TYPE) {
            nbytes = 2u * count;
            if (nbytes + 2u > dv.dv_length) nbytes = dv.dv_length >= 2 ? (dv.dv_length - 2u) & ~1u : 0;
            if (col->kind != DS_WCHAR_REF) {
                narrow += WideToUtf8String(bytes, nbytes / 2);
                nbytes = 0;
            }
        } else if (nbytes + 2u > dv.dv_length) {
            nbytes = dv.dv_length >= 2 ? dv.dv_length - 2u : 0;
        }
        if (used + nbytes > s->segCap) {
            uint32_t grow = used + nbytes - s->segCap;
            if (grow < kSegmentStart) grow = kSegmentStart;
            auto* nb = static_cast<uint8_t*>(std::realloc(s->segBuf, size_t(s->segCap) + grow + 4));
            if (nb == nullptr) {
                IngLog(LOGL_ERROR, "_read_longdata: NO MORE MEMORY");
                return kErrNoMemory;
            }
            s->segBuf = nb;
            s->segCap += grow;
        }
        std::memcpy(s->segBuf + used, bytes, nbytes);
        used += nbytes;
        if (!gc.gc_moreSegments) break;
    }
    if (col->indicators[0] == DS_IND_NULL) return 0;
    uint8_t* cell = DatasetCell(col, 0);
    DsRef old = DatasetRefGet(cell);
    std::free(old.ptr);
    if (!narrow.empty() || (type == IIAPI_LNVCH_TYPE && col->kind != DS_WCHAR_REF)) {
        void* copy = std::malloc(narrow.size() + 1);
        if (copy == nullptr) return kErrNoMemory;
        std::memcpy(copy, narrow.data(), narrow.size());
        static_cast<char*>(copy)[narrow.size()] = '\0';
        DatasetRefSet(cell, uint32_t(narrow.size()), copy);
        col->indicators[0] = DS_IND_VALUE;
        return 0;
    }
    // The buffer passes to the Dataset; the next long value starts a new one.
    std::memset(s->segBuf + used, 0, 4);
    DatasetRefSet(cell, col->kind == DS_WCHAR_REF ? used / 2 : used, s->segBuf);
    col->indicators[0] = DS_IND_VALUE;
    s->segBuf = nullptr;
    s->segCap = 0;
    return 0;
}
}  // namespace

namespace {
// The room one value of a descriptor takes in a block read: its length, 4 spare bytes, 8-aligned.
size_t ValueRoom(const IIAPI_DESCRIPTOR& d) { return (size_t(d.ds_length) + 4u + 7u) & ~size_t(7); }
}  // namespace

uint32_t IngReadRows(IngStmt* s, uint16_t rows, Dataset* ds, uint32_t* rowsRead) {
    *rowsRead = 0;
    // OpenAPI counts rows in 16 signed bits.
    const uint32_t n = rows == 0 ? 1 : rows > 0x7FFF ? 0x7FFF : rows;
    // A procedure's output row holds the return value first; rows a procedure returns do not.
    const uint16_t off = (s->state & kStmtProcCall) && (s->state & kStmtReturnValue) &&
                                 ds->col_count == uint32_t(s->desc.count > 0 ? s->desc.count : 0) + 1
                             ? 1
                             : 0;
    const int16_t ndesc = s->desc.count;
    uint32_t got = n;
    bool anyRow = false;
    for (int16_t g = 0; g < ndesc;) {
        if (uint32_t(g + off) >= ds->col_count) break;
        if (IngIsLongType(IngAbsType(s->desc.descs[g].ds_dataType))) {
            uint32_t r = 0;
            uint32_t rc = ReadLong(s, s->desc.descs[g], &ds->cols[g + off], &r);
            if (rc != 0) return rc;
            if (r == 0) return 0;
            got = 1;
            anyRow = true;
            ++g;
            continue;
        }
        int16_t end = g;
        while (end < ndesc && !IngIsLongType(IngAbsType(s->desc.descs[end].ds_dataType)) &&
               uint32_t(end + off) < ds->col_count)
            ++end;
        const int16_t cols = int16_t(end - g);
        const uint32_t rowsAsk = anyRow ? 1 : got;
        size_t count = size_t(rowsAsk) * size_t(cols);
        // The data values and every value buffer of the block of rows (each with 4 spare bytes,
        // kept 8-aligned) lie in one buffer that the statement keeps from block to block. A value
        // is read only as far as its length, which the engine sets with the bytes it writes.
        size_t rowBytes = 0;
        for (int16_t c = 0; c < cols; ++c) rowBytes += ValueRoom(s->desc.descs[g + c]);
        const size_t need = count * sizeof(IIAPI_DATAVALUE) + size_t(rowsAsk) * rowBytes;
        if (need > s->readCap) {
            std::free(s->readBuf);
            s->readCap = 0;
            s->readLaidValues = 0;
            s->readBuf = static_cast<uint8_t*>(std::calloc(1, need));
            if (s->readBuf == nullptr) return kErrNoMemory;
            s->readCap = need;
        }
        auto* dv = reinterpret_cast<IIAPI_DATAVALUE*>(s->readBuf);
        uint8_t* block = s->readBuf + count * sizeof(IIAPI_DATAVALUE);
        uint32_t rc = kErrNone;
        {
            // One row's buffers are laid out as the first row's: the rows after it follow at
            // rowBytes apart. A block of the shape of the one before finds them in place (the
            // engine writes into the buffers, never the data values' pointers).
            bool laid = count == s->readLaidValues && cols == s->readLaidColumns && rowBytes == s->readLaidRowBytes;
            IIAPI_DATAVALUE* v = dv;
            uint8_t* at = block;
            for (int16_t c = 0; c < cols; ++c, ++v) {
                laid = laid && v->dv_value == at;
                v->dv_value = at;
                at += ValueRoom(s->desc.descs[g + c]);
            }
            if (!laid) {
                for (size_t k = size_t(cols); k < count; ++k)
                    dv[k].dv_value = static_cast<uint8_t*>(dv[k - size_t(cols)].dv_value) + rowBytes;
                s->readLaidValues = count;
                s->readLaidColumns = cols;
                s->readLaidRowBytes = rowBytes;
            }
        }
        uint32_t returned = 0;
        if (rc == 0) {
            IIAPI_GETCOLPARM gc{};
            gc.gc_stmtHandle = IngStmtGetHandle(s);
            gc.gc_rowCount = int16_t(rowsAsk);
            gc.gc_columnCount = cols;
            gc.gc_columnData = dv;
            IIapi_getColumns(&gc);
            rc = IIWaitCompletion(&gc.gc_genParm, &s->messages);
            returned = gc.gc_rowsReturned > 0 ? uint32_t(gc.gc_rowsReturned) : 0;
        }
        // Column by column: each column's writer is chosen once for the block.
        for (int16_t c = 0; c < cols && rc == 0; ++c)
            rc = IngColumnToCells(s, s->desc.descs[g + c], dv + c, size_t(cols), returned, &ds->cols[g + c + off]);
        if (rc == kErrNoData) return 0;
        if (rc != 0) return rc;
        if (returned == 0) return 0;
        got = returned;
        anyRow = true;
        g = end;
    }
    *rowsRead = anyRow ? got : 0;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Parameters.

void IngConvBufsFree(IngStmt* s) {
    for (uint16_t i = 0; s->convBufs != nullptr && i < s->convCount; ++i) std::free(s->convBufs[i]);
    std::free(s->convBufs);
    s->convBufs = nullptr;
    s->convCount = 0;
}

namespace {
// Keeps a converted value in the column's slot (the previous one is freed).
// Every copy takes at least this much, so that the copy a column holds takes the next row's
// number or short text in place: no allocation per value and row of a parameter array.
constexpr size_t kKeepLeast = 32;

// Keep when the column holds no slot that takes the value: a new copy in the slot.
void* KeepNew(IngStmt* s, uint16_t col, const void* bytes, size_t n) {
    void* copy = std::malloc(n + 1 > kKeepLeast ? n + 1 : kKeepLeast);
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, bytes, n);
    static_cast<char*>(copy)[n] = '\0';
    if (s->convBufs != nullptr && col < s->convCount) {
        std::free(s->convBufs[col]);
        s->convBufs[col] = copy;
    } else {
        // No slot for the column: keep it in a slot array grown to fit.
        uint16_t nc = uint16_t(col + 1);
        auto** arr = static_cast<void**>(std::realloc(s->convBufs, nc * sizeof(void*)));
        if (arr == nullptr) {
            std::free(copy);
            return nullptr;
        }
        for (uint16_t i = s->convCount; i < nc; ++i) arr[i] = nullptr;
        s->convBufs = arr;
        s->convCount = nc;
        s->convBufs[col] = copy;
    }
    return copy;
}

// Inline: the slot the column's last value took takes this one, for every row of an array.
[[gnu::always_inline]] inline void* Keep(IngStmt* s, uint16_t col, const void* bytes, size_t n) {
    if (n + 1 <= kKeepLeast && s->convBufs != nullptr && col < s->convCount && s->convBufs[col] != nullptr) {
        void* held = s->convBufs[col];
        std::memmove(held, bytes, n);
        static_cast<char*>(held)[n] = '\0';
        return held;
    }
    return KeepNew(s, col, bytes, n);
}

// Writes v as "%0*u" does (at least `width` digits, zero-padded): dates and times go out once per
// value and row of a parameter array, where formatted printing is the largest cost. Inline, so
// that each call's constant width unrolls its loop.
[[gnu::always_inline]] inline char* PutDigits(char* p, unsigned v, int width) {
    // The common widths (2, 4 and 9) in pairs of digits from the end.
    if ((width == 2 && v < 100) || (width == 4 && v < 10000) || (width == 9 && v < 1000000000)) {
        char* e = p + width;
        char* q = e;
        for (int k = width; k >= 2; k -= 2) {
            q -= 2;
            std::memcpy(q, kDigitPairs + 2 * (v % 100), 2);
            v /= 100;
        }
        if (width & 1) *--q = char('0' + v);
        return e;
    }
    char tmp[16];
    int n = 0;
    do {
        tmp[n++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0);
    for (int k = n; k < width; ++k) *p++ = '0';
    while (n > 0) *p++ = tmp[--n];
    return p;
}

enum class Target { Text, Int4, Int8, Float, Bool, Wide, Other };
Target TargetOf(const IIAPI_DESCRIPTOR* d) {
    switch (IngAbsType(d->ds_dataType)) {
        case IIAPI_CHA_TYPE:
        case IIAPI_LVCH_TYPE:
        case IIAPI_BYTE_TYPE:
        case IIAPI_LBYTE_TYPE:
            return Target::Text;
        case IIAPI_INT_TYPE:
            return d->ds_length == 8 ? Target::Int8 : Target::Int4;
        case IIAPI_FLT_TYPE:
            return Target::Float;
        case IIAPI_BOOL_TYPE:
            return Target::Bool;
        case IIAPI_NCHA_TYPE:
        case IIAPI_LNVCH_TYPE:
            return Target::Wide;
        default:
            return Target::Other;
    }
}

// The text of a DS_DATE, DS_TIME or DS_TIMESTAMP cell into b (room for 64), its length.
size_t WriteDateTimeText(uint32_t kind, const uint8_t* cell, char* b);

// One parameter value on its way from its Dataset cell to the Ingres value of the descriptor:
// first read from the cell as a number or a text, then put into the target's form.
struct ParamValue {
    ParamValue(IngStmt* st, uint16_t c, const DatasetColumn* dcol, const IIAPI_DESCRIPTOR* desc, const uint8_t* cl,
               Target t, uint32_t* len, void** val)
        : s(st), col(c), dc(dcol), d(desc), cell(cl), tg(t), length(len), value(val) {}
    IngStmt* s;
    uint16_t col;
    const DatasetColumn* dc;
    const IIAPI_DESCRIPTOR* d;
    const uint8_t* cell;
    Target tg;
    uint32_t* length;
    void** value;
    // Numbers: held as a 64-bit integer or a double, then put into the target.
    bool isInt = false, isFloat = false;
    long long iv = 0;
    unsigned long long uv = 0;
    bool isUnsigned = false;
    double fv = 0;
    const char* text = nullptr;  // text and its length when the value is one
    size_t textLen = 0;
    char made[80];  // written before it is read (madeLen)
    size_t madeLen = 0;

    uint32_t Unsupported() const;
    uint32_t Wide();
    uint32_t Read();
    void DateTimeText();
    uint32_t AsText();
    uint32_t AsInteger();
    uint32_t AsFloat();
};

uint32_t ParamValue::Unsupported() const {
    IngLog(LOGL_WARNING, "'Coldata2IIValue' doesn't support conversion from cType[%d] to IITYPE [%d]", int(dc->kind),
           int(d->ds_dataType));
    return kErrNotCapable;
}

// The wide kinds into a wide target, handed over as they stand in the cell.
uint32_t ParamValue::Wide() {
    if (tg != Target::Wide) return Unsupported();
    const uint8_t* src;
    size_t units;
    if (dc->kind == DS_WCHAR_REF) {
        DsRef r = DatasetRefGet(cell);
        src = static_cast<const uint8_t*>(r.ptr);
        units = r.ptr ? r.length : 0;
    } else {
        src = cell;
        units = dc->width / 2;
        if (dc->kind == DS_WCHAR_NTS) {
            size_t k = 0;
            while (k < units && (src[2 * k] | src[2 * k + 1]) != 0) ++k;
            units = k;
        }
    }
    *length = uint32_t(units * 2);
    *value = const_cast<uint8_t*>(src);
    return 0;
}

// The kinds other than the wide ones: a number, or a text in the cell or made from a date.
uint32_t ParamValue::Read() {
    switch (dc->kind) {
        case DS_CHAR:
            text = reinterpret_cast<const char*>(cell);
            textLen = dc->width;
            break;
        case DS_CHAR_NTS:
            text = reinterpret_cast<const char*>(cell);
            textLen = strnlen(text, dc->width);
            break;
        case DS_BIT:
        case DS_UTINYINT:
            uv = cell[0];
            isUnsigned = isInt = true;
            break;
        case DS_TINYINT:
            iv = int8_t(cell[0]);
            isInt = true;
            break;
        case DS_SMALLINT: {
            int16_t x;
            std::memcpy(&x, cell, 2);
            iv = x;
            isInt = true;
            break;
        }
        case DS_INTEGER: {
            int32_t x;
            std::memcpy(&x, cell, 4);
            iv = x;
            isInt = true;
            break;
        }
        case DS_USMALLINT: {
            uint16_t x;
            std::memcpy(&x, cell, 2);
            uv = x;
            isUnsigned = isInt = true;
            break;
        }
        case DS_UINTEGER: {
            uint32_t x;
            std::memcpy(&x, cell, 4);
            uv = x;
            isUnsigned = isInt = true;
            break;
        }
        case DS_REAL: {
            float x;
            std::memcpy(&x, cell, 4);
            fv = x;
            isFloat = true;
            break;
        }
        case DS_DOUBLE:
            std::memcpy(&fv, cell, 8);
            isFloat = true;
            break;
        case DS_DATE:
        case DS_TIME:
        case DS_TIMESTAMP:
            if (tg != Target::Text) return Unsupported();
            DateTimeText();
            break;
        case DS_BINARY:
            if (tg != Target::Text) return Unsupported();
            text = reinterpret_cast<const char*>(cell);
            textLen = dc->width;
            break;
        case DS_CHAR_REF:
        case DS_BINARY_REF: {
            if (dc->kind == DS_BINARY_REF && tg != Target::Text) return Unsupported();
            DsRef r = DatasetRefGet(cell);
            text = r.ptr ? static_cast<const char*>(r.ptr) : "";
            textLen = r.ptr ? r.length : 0;
            break;
        }
        case DS_CHAR_LEN2: {
            uint16_t n = U16(cell);
            if (dc->width >= 2 && n > dc->width - 2) n = uint16_t(dc->width - 2);
            text = reinterpret_cast<const char*>(cell + 2);
            textLen = n;
            if (tg == Target::Int4 || tg == Target::Int8 || tg == Target::Float)
                textLen = textLen > 127 ? 127 : textLen;
            break;
        }
        case DS_CHAR_LEN4:
            // Text in place: read as a text by reference is.
            text = reinterpret_cast<const char*>(cell + 4);
            textLen = IngLen4TextLength(*dc, cell);
            break;
        case DS_BINARY_LEN4: {
            if (tg != Target::Text) return Unsupported();
            uint32_t n;
            std::memcpy(&n, cell, 4);
            if (dc->width >= 4 && n > dc->width - 4) n = dc->width - 4;
            text = reinterpret_cast<const char*>(cell + 4);
            textLen = n;
            break;
        }
        default:
            IngLog(LOGL_WARNING, "unknown bind type [%d] in parameters", int(dc->kind));
            return kErrNotCapable;
    }
    if (madeLen != 0) {
        text = made;
        textLen = madeLen;
    }
    return 0;
}

// Dates and times are written here as text: once per value and row of a parameter array.
void ParamValue::DateTimeText() { madeLen = WriteDateTimeText(dc->kind, cell, made); }

size_t WriteDateTimeText(uint32_t kind, const uint8_t* cell, char* b) {
    char* e = b;
    switch (kind) {
        case DS_DATE: {
            DsDate x;
            std::memcpy(&x, cell, sizeof x);
            e = PutDigits(b, unsigned(x.year), 4);
            *e++ = '_';
            e = PutDigits(e, unsigned(x.month), 2);
            *e++ = '_';
            e = PutDigits(e, unsigned(x.day), 2);
            break;
        }
        case DS_TIME: {
            DsTime x;
            std::memcpy(&x, cell, sizeof x);
            e = PutDigits(b, unsigned(x.hour), 2);
            *e++ = ':';
            e = PutDigits(e, unsigned(x.minute), 2);
            *e++ = ':';
            e = PutDigits(e, unsigned(x.second), 2);
            break;
        }
        case DS_TIMESTAMP: {
            DsTimestamp x;
            std::memcpy(&x, cell, sizeof x);
            e = PutDigits(b, unsigned(x.year), 4);
            *e++ = '_';
            e = PutDigits(e, unsigned(x.month), 2);
            *e++ = '_';
            e = PutDigits(e, unsigned(x.day), 2);
            *e++ = ' ';
            e = PutDigits(e, unsigned(x.hour), 2);
            *e++ = ':';
            e = PutDigits(e, unsigned(x.minute), 2);
            *e++ = ':';
            e = PutDigits(e, unsigned(x.second), 2);
            // The fraction (nanoseconds) is sent too: dropping it would change the stored value.
            if (x.fraction != 0) {
                *e++ = '.';
                e = PutDigits(e, unsigned(x.fraction % 1000000000u), 9);
            }
            break;
        }
        default:
            break;
    }
    return size_t(e - b);
}

uint32_t ParamValue::AsText() {
    // A number's text is written here and copied by Keep: the record never points at it.
    char num[64];
    const char* t = text;
    size_t n = textLen;
    if (isInt) {
        // Once per value and row of a parameter array: no formatted printing.
        const auto r = isUnsigned ? std::to_chars(num, num + sizeof num, uv) : std::to_chars(num, num + sizeof num, iv);
        t = num;
        n = size_t(r.ptr - num);
    } else if (isFloat) {
        std::snprintf(num, sizeof num, "%.16g", fv);
        t = num;
        n = std::strlen(num);
    }
    if (t != nullptr && t != num && madeLen == 0) {
        // Straight from the Dataset: no copy needed.
        *value = const_cast<char*>(t);
        *length = uint32_t(n);
        return 0;
    }
    void* k = Keep(s, col, t ? t : "", n);
    if (k == nullptr) return kErrNoMemory;
    *value = k;
    *length = uint32_t(n);
    return 0;
}

// An integer in the form of an integer target (Int4, Int8, Bool), kept in the column's slot.
uint32_t PutInteger(IngStmt* s, uint16_t col, Target tg, long long x, uint32_t* length, void** value) {
    if (tg == Target::Int8) {
        int64_t y = x;
        *value = Keep(s, col, &y, 8);
        *length = 8;
    } else if (tg == Target::Bool) {
        uint8_t y = x ? 1 : 0;
        *value = Keep(s, col, &y, 1);
        *length = 1;
    } else {
        int32_t y = int32_t(x);
        *value = Keep(s, col, &y, 4);
        *length = 4;
    }
    return *value ? kErrNone : kErrNoMemory;
}

uint32_t ParamValue::AsInteger() {
    long long x = 0;
    if (isInt)
        x = isUnsigned ? (long long)uv : iv;
    else if (isFloat)
        x = (long long)fv;
    else if (text == nullptr)
        return Unsupported();
    else if (uint32_t err = TextInteger(text, textLen, x))
        return err;
    return PutInteger(s, col, tg, x, length, value);
}

uint32_t ParamValue::AsFloat() {
    double x = 0;
    if (isInt)
        x = isUnsigned ? double(uv) : double(iv);
    else if (isFloat)
        x = fv;
    else if (text == nullptr)
        return Unsupported();
    else if (uint32_t err = TextNumber(text, textLen, x))
        return err;
    *value = Keep(s, col, &x, 8);
    *length = 8;
    return *value ? kErrNone : kErrNoMemory;
}
}  // namespace

namespace {
// The general reader and writer of a parameter value. Out of line: the usual kinds pass beside it.
[[gnu::noinline]] uint32_t ConvertParam(IngStmt* s, uint16_t col, const DatasetColumn* dc, const IIAPI_DESCRIPTOR* d,
                                        const uint8_t* cell, uint32_t* length, void** value) {
    ParamValue pv{s, col, dc, d, cell, TargetOf(d), length, value};
    if (dc->kind == DS_WCHAR || dc->kind == DS_WCHAR_NTS || dc->kind == DS_WCHAR_REF) return pv.Wide();
    if (uint32_t rc = pv.Read()) return rc;
    switch (pv.tg) {
        case Target::Text:
            return pv.AsText();
        case Target::Int4:
        case Target::Int8:
        case Target::Bool:
            return pv.AsInteger();
        case Target::Float:
            return pv.AsFloat();
        default:
            return pv.Unsupported();
    }
}
}  // namespace

uint32_t Coldata2IIValue(IngStmt* s, uint16_t col, uint32_t row, const DatasetColumn* dc, const IIAPI_DESCRIPTOR* d,
                         uint32_t* length, void** value) {
    *length = 0;
    *value = nullptr;
    if (dc->indicators != nullptr && dc->indicators[row] == DS_IND_NULL) return 0;
    const uint8_t* cell = DatasetCell(dc, row);
    // The usual kinds in the form their descriptor asks for, without the general reader: once
    // per value and row of a parameter array. Each gives what the general path below gives.
    switch (dc->kind) {
        case DS_DOUBLE:
            if (IngAbsType(d->ds_dataType) == IIAPI_FLT_TYPE) {
                *value = const_cast<uint8_t*>(cell);
                *length = 8;
                return 0;
            }
            break;
        case DS_INTEGER:
            if (IngAbsType(d->ds_dataType) == IIAPI_INT_TYPE && d->ds_length == 4) {
                *value = const_cast<uint8_t*>(cell);
                *length = 4;
                return 0;
            }
            break;
        case DS_CHAR_REF:
            if (TargetOf(d) == Target::Text) {
                const DsRef r = DatasetRefGet(cell);
                *value = r.ptr ? r.ptr : const_cast<char*>("");
                *length = r.ptr ? r.length : 0;
                return 0;
            }
            break;
        case DS_CHAR_NTS:
            // A BIGINT (64-bit integers cross as their digits).
            if (TargetOf(d) == Target::Int8) {
                const char* text = reinterpret_cast<const char*>(cell);
                long long x = 0;
                if (uint32_t err = TextInteger(text, strnlen(text, dc->width), x)) return err;
                return PutInteger(s, col, Target::Int8, x, length, value);
            }
            break;
        case DS_CHAR_LEN4:
            if (TargetOf(d) == Target::Text) {
                *value = const_cast<uint8_t*>(cell + 4);
                *length = IngLen4TextLength(*dc, cell);
                return 0;
            }
            break;
        case DS_DATE:
        case DS_TIME:
        case DS_TIMESTAMP:
            if (TargetOf(d) == Target::Text) {
                char t[64];
                const size_t n = WriteDateTimeText(dc->kind, cell, t);
                char* held =
                    s->convBufs != nullptr && col < s->convCount ? static_cast<char*>(s->convBufs[col]) : nullptr;
                void* k;
                // Keep's in-place branch, copying the held buffer's whole size from t (which
                // has room for it) in one step instead of the text's length: this runs per row.
                if (held != nullptr && n + 1 <= kKeepLeast) {
                    std::memcpy(held, t, kKeepLeast);
                    held[n] = '\0';
                    k = held;
                } else {
                    k = Keep(s, col, t, n);
                    if (k == nullptr) return kErrNoMemory;
                }
                *value = k;
                *length = uint32_t(n);
                return 0;
            }
            break;
        default:
            break;
    }
    return ConvertParam(s, col, dc, d, cell, length, value);
}

char* IngQueryToClientCharset(const char* utf8) {
    if (utf8 == nullptr) return nullptr;
    std::string out;
    const size_t total = std::strlen(utf8);
    size_t at = 0;
    // Pieces of whole characters that fit the 16-bit counts of the conversion: a long text is
    // converted whole, never cut.
    constexpr size_t kPiece = 16000;
    while (at < total) {
        size_t n = total - at < kPiece ? total - at : kPiece;
        while (at + n < total && (static_cast<unsigned char>(utf8[at + n]) & 0xC0) == 0x80) --n;
        std::u16string w(n + 1, u'\0');
        size_t consumed = 0;
        size_t units = Utf8ToWideN(utf8 + at, reinterpret_cast<SQLWCHAR*>(w.data()), n, n, &consumed);
        if (consumed == 0) return nullptr;
        std::string src(2 + units * 2, '\0');
        uint16_t cnt = uint16_t(units);
        std::memcpy(src.data(), &cnt, 2);
        std::memcpy(src.data() + 2, w.data(), units * 2);
        IIAPI_DESCRIPTOR sd{};
        sd.ds_dataType = IIAPI_NVCH_TYPE;
        sd.ds_length = uint16_t(src.size());
        IIAPI_DATAVALUE sv{};
        sv.dv_length = uint16_t(src.size());
        sv.dv_value = src.data();
        IIAPI_DESCRIPTOR dd{};
        dd.ds_dataType = IIAPI_VCH_TYPE;
        dd.ds_length = uint16_t(units * 4 + 2);
        std::string dst(dd.ds_length + 2u, '\0');
        if (!Convert(sd, sv, dd, dst.data(), nullptr)) return nullptr;
        uint16_t got = U16(dst.data());
        if (got + 2u > dst.size()) return nullptr;
        out.append(dst.data() + 2, got);
        at += consumed;
    }
    return strdup(out.c_str());
}
