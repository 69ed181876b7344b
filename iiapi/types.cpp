// Ingres types: declared type texts, value layouts, binding and IIapi_convertData.
#include "iiapi/internal.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace iiapi {

namespace {

std::string lowerSquash(std::string_view s) {
    std::string out;
    bool space = false;
    for (char c : s) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            space = !out.empty();
            continue;
        }
        if (space && c != '(' && c != ')' && c != ',' && !out.empty() && out.back() != '(' && out.back() != ',')
            out.push_back(' ');
        space = false;
        out.push_back(asciiLower(c));
    }
    return out;
}

uint16_t u16at(const void* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// What a message calls a column of type t.
std::string typeName(const IngType& t) { return t.decl.empty() ? std::string("the column") : t.decl; }

// The type is named only when a message is made: values are encoded once per row and column.
Fault truncFault(const IngType& t) {
    return makeFault("22001", native::kTruncate, "String data right truncation: value does not fit " + typeName(t));
}

}  // namespace

Fault notTextFault(const std::string& what) {
    return makeFault("22018", native::kType,
                     "Invalid character value for cast specification: " + what + " is not well-formed Unicode text");
}

namespace {

Fault rangeFault(const IngType& t) {
    return makeFault("22003", native::kOverflow, "Numeric value out of range for " + typeName(t));
}

// The refusals of the encoders, out of their way.
[[gnu::noinline, gnu::cold]] bool outOfRange(const IngType& t, Fault& f) {
    f = rangeFault(t);
    return false;
}
[[gnu::noinline, gnu::cold]] bool doesNotFit(const IngType& t, Fault& f) {
    f = truncFault(t);
    return false;
}

bool textToInt(std::string_view s, int64_t& v) {
    std::string t(s);
    size_t b = t.find_first_not_of(" \t");
    if (b == std::string::npos) return false;
    t = t.substr(b);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
    errno = 0;
    char* end = nullptr;
    long long r = std::strtoll(t.c_str(), &end, 10);
    if (end && *end == 0 && errno == 0) {
        v = r;
        return true;
    }
    // "12.0" and the like: an exact decimal with no fraction.
    Decimal d;
    if (!parseDecimal(t, d)) return false;
    if (!decimalRescale(d, 19, 0)) return false;
    errno = 0;
    r = std::strtoll(decimalText(d).c_str(), &end, 10);
    if (errno) return false;
    v = r;
    return true;
}

bool textToDouble(std::string_view s, double& v) {
    std::string t(s);
    size_t b = t.find_first_not_of(" \t$");
    if (b == std::string::npos) return false;
    t = t.substr(b);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
    for (auto& c : t)
        if (c == ',') c = '.';
    char* end = nullptr;
    v = std::strtod(t.c_str(), &end);
    return end && *end == 0 && !t.empty();
}

// A value's bytes in place (a blob's, else its text's), valid until the value changes: a fetch
// copies each straight into the client's buffer.
std::string_view valueBytes(sqlite3_value* v, int vtype) {
    if (vtype == SQLITE_BLOB) {
        const void* b = sqlite3_value_blob(v);
        return b ? std::string_view(static_cast<const char*>(b), size_t(sqlite3_value_bytes(v))) : std::string_view();
    }
    const unsigned char* t = sqlite3_value_text(v);
    return t ? std::string_view(reinterpret_cast<const char*>(t), size_t(sqlite3_value_bytes(v))) : std::string_view();
}

std::string valueText(sqlite3_value* v) {
    const unsigned char* t = sqlite3_value_text(v);
    int n = sqlite3_value_bytes(v);
    return t ? std::string(reinterpret_cast<const char*>(t), size_t(n)) : std::string();
}

// Apart from the encoders, which read the usual SQLite type of their column themselves: with
// this inside, each would save and restore the registers of its strings for every value.
[[gnu::noinline]] bool valueInt(sqlite3_value* v, int vtype, int64_t& out, const IngType& what, Fault& f) {
    switch (vtype) {
        case SQLITE_INTEGER:
            out = sqlite3_value_int64(v);
            return true;
        case SQLITE_FLOAT: {
            double d = sqlite3_value_double(v);
            if (!(d >= -9.2233720368547758e18 && d < 9.2233720368547758e18)) {
                f = rangeFault(what);
                return false;
            }
            out = int64_t(d);
            return true;
        }
        default:
            if (!textToInt(valueText(v), out)) {
                f = makeFault("22005", native::kType, "Invalid integer value for " + typeName(what));
                return false;
            }
            return true;
    }
}

[[gnu::noinline]] bool valueDouble(sqlite3_value* v, int vtype, double& out, const IngType& what, Fault& f) {
    switch (vtype) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            out = sqlite3_value_double(v);
            return true;
        default:
            if (!textToDouble(valueText(v), out)) {
                f = makeFault("22005", native::kType, "Invalid numeric value for " + typeName(what));
                return false;
            }
            return true;
    }
}

bool valueDecimal(sqlite3_value* v, int vtype, Decimal& d, Fault& f) {
    std::string t;
    if (vtype == SQLITE_FLOAT) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", sqlite3_value_double(v));
        t = buf;
    } else {
        t = valueText(v);
    }
    if (!parseDecimal(t, d)) {
        f = makeFault("22005", native::kType, "Invalid decimal value '" + t + "'");
        return false;
    }
    return true;
}

// A declaration as its base name (with any words after the arguments: "time(3) with time zone" is
// "time with time zone") and its numeric arguments; false when they are no numbers.
bool splitTypeText(const std::string& d, std::string& base, std::vector<int>& args) {
    size_t paren = d.find('(');
    std::string after;
    if (paren != std::string::npos) {
        size_t close = d.find(')', paren);
        if (close == std::string::npos) return false;
        base = d.substr(0, paren);
        while (!base.empty() && base.back() == ' ') base.pop_back();
        std::string a = d.substr(paren + 1, close - paren - 1);
        size_t pos = 0;
        while (pos <= a.size()) {
            size_t comma = a.find(',', pos);
            std::string item = a.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
            int v = 0;
            bool any = false;
            for (char c : item) {
                if (c == ' ') continue;
                if (!std::isdigit(static_cast<unsigned char>(c))) return false;
                v = v * 10 + (c - '0');
                if (v > 100000) return false;
                any = true;
            }
            if (!any) return false;
            args.push_back(v);
            if (comma == std::string::npos) break;
            pos = comma + 1;
        }
        after = d.substr(close + 1);
        while (!after.empty() && after.front() == ' ') after.erase(after.begin());
        if (!after.empty()) base += " " + after;
    }
    return true;
}

}  // namespace

bool parseTypeText(std::string_view declIn, IngType& out, int32_t maxSegment) {
    std::string d = lowerSquash(declIn);
    out = IngType{};
    out.decl = d;
    std::string base = d;
    std::vector<int> args;
    if (!splitTypeText(d, base, args)) return false;
    auto arg = [&](size_t i, int dflt) { return i < args.size() ? args[i] : dflt; };
    auto setInt = [&](int len) {
        out.type = IIAPI_INT_TYPE;
        out.length = uint16_t(len);
        out.precision = 0;
    };
    auto setText = [&](int16_t type, int n, int maxN, int unit, int prefix) {
        if (n < 1 || n > maxN) return false;
        out.type = type;
        out.length = uint16_t(n * unit + prefix);
        return true;
    };
    auto setLong = [&](int16_t type) {
        out.type = type;
        out.length = uint16_t(maxSegment);
    };
    if (base == "integer1" || base == "int1" || base == "tinyint")
        setInt(1);
    else if (base == "integer2" || base == "int2" || base == "smallint")
        setInt(2);
    else if (base == "integer" || base == "int" || base == "integer4" || base == "int4")
        setInt(4);
    else if (base == "integer8" || base == "int8" || base == "bigint")
        setInt(8);
    else if (base == "float4" || base == "real") {
        out.type = IIAPI_FLT_TYPE;
        out.length = 4;
        out.precision = 7;
    } else if (base == "float8" || base == "double precision" || base == "double" || base == "float") {
        out.type = IIAPI_FLT_TYPE;
        out.length = base == "float" && !args.empty() && args[0] <= 24 ? 4 : 8;
        out.precision = out.length == 4 ? 7 : 15;
    } else if (base == "decimal" || base == "numeric" || base == "dec") {
        int p = arg(0, 5), s = arg(1, 0);
        if (p < 1 || p > 39 || s > p) return false;
        out.type = IIAPI_DEC_TYPE;
        out.precision = int16_t(p);
        out.scale = int16_t(s);
        out.length = uint16_t(p / 2 + 1);
    } else if (base == "money") {
        out.type = IIAPI_MNY_TYPE;
        out.length = 8;
        out.precision = 14;
        out.scale = 2;
    } else if (base == "char" || base == "character") {
        if (!setText(IIAPI_CHA_TYPE, arg(0, 1), 32000, 1, 0)) return false;
    } else if (base == "c") {
        if (!setText(IIAPI_CHR_TYPE, arg(0, 1), 32000, 1, 0)) return false;
    } else if (base == "varchar" || base == "character varying" || base == "char varying") {
        if (args.empty())
            setLong(IIAPI_LVCH_TYPE);
        else if (!setText(IIAPI_VCH_TYPE, args[0], 32000, 1, 2))
            return false;
    } else if (base == "text") {
        if (args.empty())
            setLong(IIAPI_LVCH_TYPE);
        else if (!setText(IIAPI_TXT_TYPE, args[0], 32000, 1, 2))
            return false;
    } else if (base == "long varchar" || base == "clob" || base == "character large object" || base == "long text") {
        setLong(IIAPI_LVCH_TYPE);
    } else if (base == "byte" || base == "binary") {
        if (!setText(IIAPI_BYTE_TYPE, arg(0, 1), 32000, 1, 0)) return false;
    } else if (base == "byte varying" || base == "varbyte" || base == "varbinary") {
        if (args.empty())
            setLong(IIAPI_LBYTE_TYPE);
        else if (!setText(IIAPI_VBYTE_TYPE, args[0], 32000, 1, 2))
            return false;
    } else if (base == "long byte" || base == "blob" || base == "binary large object") {
        setLong(IIAPI_LBYTE_TYPE);
    } else if (base == "nchar" || base == "national character") {
        if (!setText(IIAPI_NCHA_TYPE, arg(0, 1), 16000, 2, 0)) return false;
    } else if (base == "nvarchar" || base == "national character varying") {
        if (args.empty())
            setLong(IIAPI_LNVCH_TYPE);
        else if (!setText(IIAPI_NVCH_TYPE, args[0], 16000, 2, 2))
            return false;
    } else if (base == "long nvarchar" || base == "nclob") {
        setLong(IIAPI_LNVCH_TYPE);
    } else if (base == "date" || base == "ingresdate") {
        out.type = IIAPI_DATE_TYPE;
        out.length = 12;
    } else if (base == "ansidate") {
        out.type = IIAPI_ADATE_TYPE;
        out.length = 12;
    } else if (base == "time" || base == "time without time zone") {
        out.type = IIAPI_TMWO_TYPE;
        out.length = 12;
        out.precision = int16_t(arg(0, 0));
    } else if (base == "time with time zone") {
        out.type = IIAPI_TMTZ_TYPE;
        out.length = 12;
        out.precision = int16_t(arg(0, 0));
    } else if (base == "time with local time zone") {
        out.type = IIAPI_TIME_TYPE;
        out.length = 12;
        out.precision = int16_t(arg(0, 0));
    } else if (base == "timestamp" || base == "timestamp without time zone" || base == "datetime") {
        out.type = IIAPI_TSWO_TYPE;
        out.length = 12;
        out.precision = int16_t(arg(0, 6));
    } else if (base == "timestamp with time zone") {
        out.type = IIAPI_TSTZ_TYPE;
        out.length = 12;
        out.precision = int16_t(arg(0, 6));
    } else if (base == "timestamp with local time zone") {
        out.type = IIAPI_TS_TYPE;
        out.length = 12;
        out.precision = int16_t(arg(0, 6));
    } else if (base == "interval year to month") {
        out.type = IIAPI_INTYM_TYPE;
        out.length = 12;
    } else if (base == "interval day to second" || base == "interval") {
        out.type = IIAPI_INTDS_TYPE;
        out.length = 12;
    } else if (base == "boolean" || base == "bool") {
        out.type = IIAPI_BOOL_TYPE;
        out.length = 1;
    } else {
        return false;
    }
    return true;
}

std::string sqliteDeclFor(const IngType& t) {
    switch (t.type) {
        case IIAPI_INT_TYPE:
        case IIAPI_BOOL_TYPE:
            return "INT";  // not "INTEGER": that would make a primary key an alias of the row id
        case IIAPI_FLT_TYPE:
        case IIAPI_MNY_TYPE:
            return "REAL";
        case IIAPI_DEC_TYPE:
            // The exact text, under the decimal collation. (Tables made before it declared NUMERIC,
            // which keeps 15 significant digits, or BLOB past 15 digits; they still read.)
            return "TEXT";
        case IIAPI_BYTE_TYPE:
        case IIAPI_VBYTE_TYPE:
        case IIAPI_LBYTE_TYPE:
        case IIAPI_LOGKEY_TYPE:
        case IIAPI_TABKEY_TYPE:
            return "BLOB";
        default:
            return "TEXT";
    }
}

namespace {

// Integers as the client interface lays them out: native byte order, 1, 2, 4 or 8 bytes (any other
// width counts as 8 where the caller has checked it).
bool readNativeInt(const void* p, size_t len, int64_t& x) {
    if (len == 1) {
        x = *static_cast<const int8_t*>(p);
    } else if (len == 2) {
        int16_t y;
        std::memcpy(&y, p, 2);
        x = y;
    } else if (len == 4) {
        int32_t y;
        std::memcpy(&y, p, 4);
        x = y;
    } else if (len == 8) {
        std::memcpy(&x, p, 8);
    } else {
        return false;
    }
    return true;
}

bool fitsNativeInt(int64_t x, uint16_t length) {
    switch (length) {
        case 1:
            return x >= INT8_MIN && x <= INT8_MAX;
        case 2:
            return x >= INT16_MIN && x <= INT16_MAX;
        case 4:
            return x >= INT32_MIN && x <= INT32_MAX;
        default:
            return true;
    }
}

void writeNativeInt(int64_t x, uint16_t length, uint8_t* out) {
    if (length == 1) {
        int8_t y = int8_t(x);
        std::memcpy(out, &y, 1);
    } else if (length == 2) {
        int16_t y = int16_t(x);
        std::memcpy(out, &y, 2);
    } else if (length == 4) {
        int32_t y = int32_t(x);
        std::memcpy(out, &y, 4);
    } else {
        std::memcpy(out, &x, 8);
    }
}

// An integer of the column's width (T), refused when out of its range.
template <typename T>
[[gnu::noinline]] bool encodeInteger(sqlite3_value* v, int vtype, const IngType& t, uint8_t* buf, uint16_t& len,
                                     Fault& f) {
    int64_t x;
    if (vtype == SQLITE_INTEGER)
        x = sqlite3_value_int64(v);
    else if (!valueInt(v, vtype, x, t, f))
        return false;
    if (x < std::numeric_limits<T>::min() || x > std::numeric_limits<T>::max()) return outOfRange(t, f);
    const T y = T(x);
    std::memcpy(buf, &y, sizeof y);
    len = t.length;
    return true;
}

// A float or money (to the cent); a 4-byte float refuses what it cannot hold.
[[gnu::noinline]] bool encodeFloat(sqlite3_value* v, int vtype, const IngType& t, uint8_t* buf, uint16_t& len,
                                   Fault& f) {
    double x;
    if (vtype == SQLITE_FLOAT)
        x = sqlite3_value_double(v);
    else if (!valueDouble(v, vtype, x, t, f))
        return false;
    if (t.type == IIAPI_MNY_TYPE) x = std::round(x * 100.0) / 100.0;
    if (t.length == 4) {
        if (std::isfinite(x) && std::fabs(x) > std::numeric_limits<float>::max()) return outOfRange(t, f);
        float y = float(x);
        std::memcpy(buf, &y, 4);
        len = 4;
    } else {
        std::memcpy(buf, &x, 8);
        len = 8;
    }
    return true;
}

// A packed decimal of the column's precision and scale.
[[gnu::noinline]] bool encodeDecimal(sqlite3_value* v, int vtype, const IngType& t, uint8_t* buf, uint16_t& len,
                                     Fault& f) {
    Decimal d;
    if (!valueDecimal(v, vtype, d, f)) return false;
    if (!decimalRescale(d, t.precision, t.scale)) {
        f = rangeFault(t);
        return false;
    }
    decimalPack(d, t.precision, buf);
    len = t.length;
    return true;
}

// A boolean from a number or the words TRUE and FALSE.
[[gnu::noinline]] bool encodeBoolean(sqlite3_value* v, int vtype, const IngType& t, uint8_t* buf, uint16_t& len,
                                     Fault& f) {
    int64_t x = 0;
    if (vtype == SQLITE_TEXT) {
        std::string s = valueText(v);
        for (auto& c : s) c = asciiLower(c);
        if (s == "true")
            x = 1;
        else if (s == "false")
            x = 0;
        else if (!valueInt(v, vtype, x, t, f))
            return false;
    } else if (!valueInt(v, vtype, x, t, f)) {
        return false;
    }
    buf[0] = x ? 1 : 0;
    len = 1;
    return true;
}

[[gnu::noinline, gnu::cold]] bool notADate(std::string_view s, Fault& f) {
    f = makeFault("22007", native::kType, "Invalid date or time value '" + std::string(s) + "'");
    return false;
}

// A date, time, timestamp or interval from its text.
[[gnu::noinline]] bool encodeDateTime(sqlite3_value* v, int, const IngType&, uint8_t* buf, uint16_t& len, Fault& f) {
    IIAPI_DATETIME dt;
    // Read in place: a timestamp's text is longer than a short string holds, and this runs per row.
    const unsigned char* raw = sqlite3_value_text(v);
    std::string_view s =
        raw ? std::string_view(reinterpret_cast<const char*>(raw), size_t(sqlite3_value_bytes(v))) : std::string_view();
    if (!parseDateText(s, dt)) return notADate(s, f);
    std::memcpy(buf, &dt, sizeof dt);
    len = sizeof dt;
    return true;
}

// A fixed-length string or byte string, padded; only padding may be cut.
[[gnu::noinline]] bool encodeFixed(sqlite3_value* v, int vtype, const IngType& t, uint8_t* buf, uint16_t& len,
                                   Fault& f) {
    bool bytes = t.type != IIAPI_CHA_TYPE && t.type != IIAPI_CHR_TYPE;
    std::string_view s = valueBytes(v, vtype);
    char pad = bytes ? '\0' : ' ';
    if (s.size() > t.length) {
        // Only padding may be dropped.
        if (s.find_first_not_of(pad, t.length) != std::string_view::npos) {
            f = truncFault(t);
            return false;
        }
        s = s.substr(0, t.length);
    }
    if (!s.empty()) std::memcpy(buf, s.data(), s.size());
    std::memset(buf + s.size(), pad, t.length - s.size());
    len = t.length;
    return true;
}

// A varying-length string or byte string with its length in front.
[[gnu::noinline]] bool encodeVarying(sqlite3_value* v, int vtype, const IngType& t, uint8_t* buf, uint16_t& len,
                                     Fault& f) {
    const std::string_view s = valueBytes(v, vtype);
    size_t room = t.length >= 2 ? t.length - 2u : 0u;
    if (s.size() > room) return doesNotFit(t, f);
    uint16_t n = uint16_t(s.size());
    std::memcpy(buf, &n, 2);
    if (!s.empty()) std::memcpy(buf + 2, s.data(), s.size());
    len = uint16_t(2 + s.size());
    return true;
}

// A national string in UTF-16, fixed (padded) or varying.
[[gnu::noinline]] bool encodeNational(sqlite3_value* v, int, const IngType& t, uint8_t* buf, uint16_t& len, Fault& f) {
    bool ok = true;
    std::u16string w = utf8ToUtf16(valueText(v), &ok);
    if (!ok) {
        f = notTextFault("the value of " + typeName(t));
        return false;
    }
    bool fixed = t.type == IIAPI_NCHA_TYPE;
    size_t room = fixed ? t.length / 2u : (t.length >= 2 ? (t.length - 2u) / 2u : 0u);
    if (w.size() > room) {
        if (!fixed || w.find_first_not_of(u' ', room) != std::u16string::npos) {
            f = truncFault(t);
            return false;
        }
        w.resize(room);
    }
    if (fixed) {
        w.resize(room, u' ');
        std::memcpy(buf, w.data(), room * 2);
        len = uint16_t(room * 2);
    } else {
        uint16_t n = uint16_t(w.size());
        std::memcpy(buf, &n, 2);
        std::memcpy(buf + 2, w.data(), w.size() * 2);
        len = uint16_t(2 + w.size() * 2);
    }
    return true;
}

[[gnu::noinline]] bool longAsShort(sqlite3_value*, int, const IngType&, uint8_t*, uint16_t&, Fault& f) {
    f = makeFault("S1000", native::kType, "Long value read as a short value");
    return false;
}

}  // namespace

// The encoders stay functions of their own (never inlined into a caller): a fetch calls the one
// of each column for every row, and with them inside it would save and restore the registers of
// all of them.
Encoder encoderFor(const IngType& t) {
    if (isDateTimeType(t.type)) return encodeDateTime;
    switch (t.type) {
        case IIAPI_INT_TYPE:
            switch (t.length) {
                case 1:
                    return encodeInteger<int8_t>;
                case 2:
                    return encodeInteger<int16_t>;
                case 4:
                    return encodeInteger<int32_t>;
                default:
                    return encodeInteger<int64_t>;
            }
        case IIAPI_FLT_TYPE:
        case IIAPI_MNY_TYPE:
            return encodeFloat;
        case IIAPI_DEC_TYPE:
            return encodeDecimal;
        case IIAPI_BOOL_TYPE:
            return encodeBoolean;
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE:
        case IIAPI_BYTE_TYPE:
        case IIAPI_LOGKEY_TYPE:
        case IIAPI_TABKEY_TYPE:
            return encodeFixed;
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
        case IIAPI_LTXT_TYPE:
        case IIAPI_VBYTE_TYPE:
            return encodeVarying;
        case IIAPI_NCHA_TYPE:
        case IIAPI_NVCH_TYPE:
            return encodeNational;
        default:
            return longAsShort;
    }
}

bool encodeValue(sqlite3_value* v, const IngType& t, uint8_t* buf, uint16_t& len, Fault& f) {
    return encoderFor(t)(v, sqlite3_value_type(v), t, buf, len, f);
}

bool encodeLong(sqlite3_value* v, const IngType& t, std::string& out, Fault& f) {
    if (t.type == IIAPI_LNVCH_TYPE) {
        bool ok = true;
        std::u16string w = utf8ToUtf16(valueText(v), &ok);
        if (!ok) {
            f = notTextFault("a long nvarchar value");
            return false;
        }
        out.assign(reinterpret_cast<const char*>(w.data()), w.size() * 2);
        return true;
    }
    if (sqlite3_value_type(v) == SQLITE_BLOB) {
        const void* b = sqlite3_value_blob(v);
        out.assign(static_cast<const char*>(b ? b : ""), size_t(sqlite3_value_bytes(v)));
    } else {
        out = valueText(v);
    }
    return true;
}

// The form of a client's date text, checked eight bytes at a time.
namespace {

constexpr char kClientDate[] = "dddd_dd_dd dd:dd:dd.ddddddddd";
constexpr size_t kClientDateMax = sizeof kClientDate - 1;

// Per byte of the form: the bits that must match (a digit's high half, all of another byte),
// what they must be, and what makes a digit's low half carry into its high half when above 9;
// and 32 set bytes then 32 clear ones, whose 32 from 32 - n on keep the first n bytes of a run.
struct DateForm {
    uint8_t mask[32], want[32], carry[32], digit[32], keep[64];
};
constexpr DateForm makeDateForm() {
    DateForm f{};
    for (size_t i = 0; i < kClientDateMax; ++i) {
        const bool d = kClientDate[i] == 'd';
        f.mask[i] = d ? 0xF0 : 0xFF;
        f.want[i] = d ? 0x30 : uint8_t(kClientDate[i]);
        f.carry[i] = d ? 0x06 : 0x00;
        f.digit[i] = d ? 0xF0 : 0x00;
    }
    for (size_t i = 0; i < 32; ++i) f.keep[i] = 0xFF;
    return f;
}
constexpr DateForm kDateForm = makeDateForm();

uint64_t wordAt(const uint8_t* p, size_t word) {
    uint64_t w;
    std::memcpy(&w, p + 8 * word, 8);
    return w;
}

// Whether the n bytes at `at` (n <= 32, followed by at least 32 - n more) are the form's first n.
bool matchesDateForm(const uint8_t* at, size_t n) {
    const uint8_t* keep = kDateForm.keep + (32 - n);
    uint64_t differ = 0;
    for (size_t k = 0; k < 4; ++k) {
        const uint64_t w = wordAt(at, k), want = wordAt(kDateForm.want, k), digit = wordAt(kDateForm.digit, k);
        // A digit is 0x30 to 0x39: its high half is 3, and adding 6 leaves it 3.
        differ |= (((w & wordAt(kDateForm.mask, k)) ^ want) | (((w + wordAt(kDateForm.carry, k)) ^ want) & digit)) &
                  wordAt(keep, k);
    }
    return differ == 0;
}

}  // namespace

bool mendClientDate(std::string& b) {
    const size_t n = b.size();
    // A date, a date and time, or one with one to nine fraction digits.
    if ((n != 10 && n != 19 && (n < 21 || n > kClientDateMax)) || b[4] != '_') return false;
    // The bytes, with zeros for fraction digits not sent.
    uint8_t text[32];
    std::memset(text, '0', sizeof text);
    if (n == kClientDateMax)
        std::memcpy(text, b.data(), kClientDateMax);  // what the driver sends
    else
        std::memcpy(text, b.data(), n);
    if (!matchesDateForm(text, n)) return false;
    size_t keep = n == 10 ? 10 : 19;
    if (n > 19) {
        auto zeros = [&](size_t from, size_t to) {
            for (size_t k = from; k < to; ++k)
                if (text[k] != '0') return false;
            return true;
        };
        const bool micro = zeros(26, 29);
        if (!micro || !zeros(20, 26)) keep += micro ? 7 : 10;
    }
    // Fewer than six fraction digits grow the text.
    b.resize(keep);
    if (keep > 20) std::memcpy(&b[20], text + 20, keep - 20);
    b[4] = b[7] = '-';
    return true;
}

namespace {

// The value of a client parameter as text or bytes, for binding: in place in the value's bytes
// when they are that already, else in `made`.
bool clientValue(const IIAPI_DESCRIPTOR& d, const ParamValue& v, std::string_view& out, std::string& made, bool& blob,
                 Fault& f) {
    const std::string& b = v.bytes;
    blob = false;
    switch (d.ds_dataType) {
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE:
        case IIAPI_LVCH_TYPE:
            out = b;
            return true;
        case IIAPI_BYTE_TYPE:
        case IIAPI_LBYTE_TYPE:
        case IIAPI_LOGKEY_TYPE:
        case IIAPI_TABKEY_TYPE:
            out = b;
            blob = true;
            return true;
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
        case IIAPI_LTXT_TYPE:
        case IIAPI_VBYTE_TYPE: {
            if (b.size() < 2) {
                f = makeFault("22026", native::kType, "Parameter value shorter than its length prefix");
                return false;
            }
            size_t n = u16at(b.data());
            if (n > b.size() - 2) {
                f = makeFault("22026", native::kType, "Parameter length prefix exceeds the value");
                return false;
            }
            out = std::string_view(b).substr(2, n);
            blob = d.ds_dataType == IIAPI_VBYTE_TYPE;
            return true;
        }
        case IIAPI_NCHA_TYPE:
        case IIAPI_LNVCH_TYPE: {
            std::u16string w(b.size() / 2, u'\0');
            std::memcpy(w.data(), b.data(), w.size() * 2);
            bool ok = true;
            made = utf16ToUtf8(w.data(), w.size(), &ok);
            out = made;
            if (!ok) f = notTextFault("the parameter value");
            return ok;
        }
        case IIAPI_NVCH_TYPE: {
            if (b.size() < 2) {
                f = makeFault("22026", native::kType, "Parameter value shorter than its length prefix");
                return false;
            }
            size_t n = u16at(b.data());
            if (n * 2 > b.size() - 2) {
                f = makeFault("22026", native::kType, "Parameter length prefix exceeds the value");
                return false;
            }
            std::u16string w(n, u'\0');
            std::memcpy(w.data(), b.data() + 2, n * 2);
            bool ok = true;
            made = utf16ToUtf8(w.data(), n, &ok);
            out = made;
            if (!ok) f = notTextFault("the parameter value");
            return ok;
        }
        default:
            f = makeFault("S1C00", native::kType, "Unsupported parameter type " + std::to_string(d.ds_dataType));
            return false;
    }
}

// A character parameter is UTF-8 text, as the session's character set has it: anything else is
// refused, not stored for a later reader to decode as something else.
bool clientText(const IIAPI_DESCRIPTOR& d, const ParamValue& v, std::string_view& out, std::string& made, bool& blob,
                Fault& f) {
    if (!clientValue(d, v, out, made, blob, f)) return false;
    switch (d.ds_dataType) {
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE:
        case IIAPI_LVCH_TYPE:
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
        case IIAPI_LTXT_TYPE:
            if (!utf8Valid(out)) {
                f = notTextFault("the parameter value");
                return false;
            }
            return true;
        default:
            return true;
    }
}

}  // namespace

bool bindValue(sqlite3_stmt* st, int i, const IIAPI_DESCRIPTOR& d, ParamValue& v, Fault& f) {
    int rc = SQLITE_OK;
    if (v.null) {
        rc = sqlite3_bind_null(st, i);
    } else if (isDateTimeType(d.ds_dataType)) {
        const std::string& b = v.bytes;
        if (b.size() < sizeof(IIAPI_DATETIME)) {
            f = makeFault("22026", native::kType, "Date parameter of a wrong length");
            return false;
        }
        IIAPI_DATETIME dt;
        std::memcpy(&dt, b.data(), sizeof dt);
        std::string s = formatDate(dt, d.ds_dataType);
        rc = sqlite3_bind_text(st, i, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
    } else {
        const std::string& b = v.bytes;
        switch (d.ds_dataType) {
            case IIAPI_INT_TYPE: {
                int64_t x = 0;
                if (!readNativeInt(b.data(), b.size(), x)) {
                    f = makeFault("22026", native::kType, "Integer parameter of length " + std::to_string(b.size()));
                    return false;
                }
                rc = sqlite3_bind_int64(st, i, x);
                break;
            }
            case IIAPI_FLT_TYPE:
            case IIAPI_MNY_TYPE: {
                double x;
                if (b.size() == 4) {
                    float y;
                    std::memcpy(&y, b.data(), 4);
                    x = y;
                } else if (b.size() == 8)
                    std::memcpy(&x, b.data(), 8);
                else {
                    f = makeFault("22026", native::kType, "Float parameter of length " + std::to_string(b.size()));
                    return false;
                }
                rc = sqlite3_bind_double(st, i, x);
                break;
            }
            case IIAPI_BOOL_TYPE: {
                int64_t x = 0;
                for (char c : b) x |= static_cast<unsigned char>(c);
                rc = sqlite3_bind_int64(st, i, x ? 1 : 0);
                break;
            }
            case IIAPI_DEC_TYPE: {
                if (d.ds_precision < 1 || d.ds_precision > 39 || b.size() < size_t(d.ds_precision / 2 + 1)) {
                    f = makeFault("22026", native::kType, "Decimal parameter of a wrong length");
                    return false;
                }
                Decimal x = decimalUnpack(reinterpret_cast<const uint8_t*>(b.data()), d.ds_precision, d.ds_scale);
                std::string s = decimalText(x);
                rc = sqlite3_bind_text(st, i, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
                break;
            }
            case IIAPI_CHA_TYPE:
            case IIAPI_CHR_TYPE:
                // The text as it came (a date's in the store's form, and ASCII), bound where the
                // value lies, as any text is below.
                if (!mendClientDate(v.bytes) && !utf8Valid(v.bytes)) {
                    f = notTextFault("the parameter value");
                    return false;
                }
                rc = sqlite3_bind_text(st, i, v.bytes.data(), int(v.bytes.size()), SQLITE_STATIC);
                break;
            default: {
                std::string_view text;
                std::string made;
                bool blob;
                if (!clientText(d, v, text, made, blob, f)) return false;
                // The value's own bytes stay as they are while the statement holds the binding
                // (until its next run binds the marker again): bound without a copy, once per
                // text value and row of a parameter array.
                const auto keep = text.data() == made.data() ? SQLITE_TRANSIENT : SQLITE_STATIC;
                const char* at = text.data() ? text.data() : "";
                rc = blob ? sqlite3_bind_blob(st, i, at, int(text.size()), keep)
                          : sqlite3_bind_text(st, i, at, int(text.size()), keep);
                break;
            }
        }
    }
    if (rc != SQLITE_OK) {
        f = faultFromSqlite(sqlite3_db_handle(st), rc);
        return false;
    }
    return true;
}

// ---- convertData -----------------------------------------------------------------------------

bool valueToText(const IIAPI_DESCRIPTOR& d, const void* data, size_t len, std::string& out) {
    const auto* p = static_cast<const uint8_t*>(data);
    char buf[128];
    if (isDateTimeType(d.ds_dataType)) {
        if (len < sizeof(IIAPI_DATETIME)) return false;
        IIAPI_DATETIME dt;
        std::memcpy(&dt, p, sizeof dt);
        out = formatDate(dt, d.ds_dataType);
        return true;
    }
    switch (d.ds_dataType) {
        case IIAPI_INT_TYPE: {
            int64_t x;
            if (!readNativeInt(p, len, x)) return false;
            out = std::to_string(x);
            return true;
        }
        case IIAPI_FLT_TYPE: {
            double x;
            if (len == 4) {
                float y;
                std::memcpy(&y, p, 4);
                x = y;
                std::snprintf(buf, sizeof buf, "%.7g", x);
            } else if (len == 8) {
                std::memcpy(&x, p, 8);
                std::snprintf(buf, sizeof buf, "%.15g", x);
            } else
                return false;
            out = buf;
            return true;
        }
        case IIAPI_MNY_TYPE: {
            if (len != 8) return false;
            double x;
            std::memcpy(&x, p, 8);
            std::snprintf(buf, sizeof buf, "%s$%.2f", x < 0 ? "-" : "", std::fabs(x));
            out = buf;
            return true;
        }
        case IIAPI_DEC_TYPE: {
            if (d.ds_precision < 1 || d.ds_precision > 39 || len < size_t(d.ds_precision / 2 + 1)) return false;
            out = decimalText(decimalUnpack(p, d.ds_precision, d.ds_scale));
            return true;
        }
        case IIAPI_BOOL_TYPE:
            if (len < 1) return false;
            out = p[0] ? "TRUE" : "FALSE";
            return true;
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE:
        case IIAPI_BYTE_TYPE:
        case IIAPI_LVCH_TYPE:
        case IIAPI_LBYTE_TYPE:
        case IIAPI_LOGKEY_TYPE:
        case IIAPI_TABKEY_TYPE:
            out.assign(reinterpret_cast<const char*>(p), len);
            return true;
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
        case IIAPI_LTXT_TYPE:
        case IIAPI_VBYTE_TYPE: {
            if (len < 2) return false;
            size_t n = u16at(p);
            if (n > len - 2) return false;
            out.assign(reinterpret_cast<const char*>(p + 2), n);
            return true;
        }
        case IIAPI_NCHA_TYPE:
        case IIAPI_LNVCH_TYPE: {
            std::u16string w(len / 2, u'\0');
            std::memcpy(w.data(), p, w.size() * 2);
            bool ok = true;
            out = utf16ToUtf8(w.data(), w.size(), &ok);
            return ok;
        }
        case IIAPI_NVCH_TYPE: {
            if (len < 2) return false;
            size_t n = u16at(p);
            if (n * 2 > len - 2) return false;
            std::u16string w(n, u'\0');
            std::memcpy(w.data(), p + 2, n * 2);
            bool ok = true;
            out = utf16ToUtf8(w.data(), n, &ok);
            return ok;
        }
        default:
            return false;
    }
}

namespace {

bool isNumericType(int t) {
    return t == IIAPI_INT_TYPE || t == IIAPI_FLT_TYPE || t == IIAPI_MNY_TYPE || t == IIAPI_DEC_TYPE ||
           t == IIAPI_BOOL_TYPE;
}

// Into text: the source value as text, cut to the room of the destination (at a whole character).
IIAPI_STATUS convertToText(const IIAPI_DESCRIPTOR& sd, const void* src, size_t slen, const IIAPI_DESCRIPTOR& dd,
                           uint8_t* dst, size_t room, IIAPI_DATAVALUE& dv) {
    std::string text;
    if (!valueToText(sd, src, slen, text)) return IIAPI_ST_FAILURE;
    switch (dd.ds_dataType) {
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE:
        case IIAPI_LVCH_TYPE:
        case IIAPI_BYTE_TYPE: {
            size_t n = dd.ds_dataType == IIAPI_BYTE_TYPE ? std::min(text.size(), room) : utf8Fit(text, room);
            std::memcpy(dst, text.data(), n);
            if (dd.ds_dataType != IIAPI_LVCH_TYPE) {
                std::memset(dst + n, dd.ds_dataType == IIAPI_BYTE_TYPE ? 0 : ' ', room - n);
                n = room;
            }
            dv.dv_length = uint16_t(n);
            return IIAPI_ST_SUCCESS;
        }
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
        case IIAPI_LTXT_TYPE:
        case IIAPI_VBYTE_TYPE: {
            if (room < 2) return IIAPI_ST_FAILURE;
            size_t n = dd.ds_dataType == IIAPI_VBYTE_TYPE ? std::min(text.size(), room - 2) : utf8Fit(text, room - 2);
            uint16_t n16 = uint16_t(n);
            std::memcpy(dst, &n16, 2);
            std::memcpy(dst + 2, text.data(), n);
            dv.dv_length = uint16_t(n + 2);
            return IIAPI_ST_SUCCESS;
        }
        case IIAPI_NCHA_TYPE:
        case IIAPI_LNVCH_TYPE: {
            bool ok = true;
            std::u16string w = utf8ToUtf16(text, &ok);
            if (!ok) return IIAPI_ST_FAILURE;
            size_t n = std::min(w.size(), room / 2);
            if (n > 0 && n < w.size() && w[n - 1] >= 0xD800 && w[n - 1] < 0xDC00) --n;
            std::memcpy(dst, w.data(), n * 2);
            if (dd.ds_dataType == IIAPI_NCHA_TYPE) {
                for (size_t k = n; k < room / 2; ++k) {
                    char16_t sp = u' ';
                    std::memcpy(dst + 2 * k, &sp, 2);
                }
                n = room / 2;
            }
            dv.dv_length = uint16_t(n * 2);
            return IIAPI_ST_SUCCESS;
        }
        case IIAPI_NVCH_TYPE: {
            if (room < 2) return IIAPI_ST_FAILURE;
            bool ok = true;
            std::u16string w = utf8ToUtf16(text, &ok);
            if (!ok) return IIAPI_ST_FAILURE;
            size_t n = std::min(w.size(), (room - 2) / 2);
            if (n > 0 && n < w.size() && w[n - 1] >= 0xD800 && w[n - 1] < 0xDC00) --n;
            uint16_t n16 = uint16_t(n);
            std::memcpy(dst, &n16, 2);
            std::memcpy(dst + 2, w.data(), n * 2);
            dv.dv_length = uint16_t(2 + n * 2);
            return IIAPI_ST_SUCCESS;
        }
        default:
            return IIAPI_ST_FAILURE;
    }
}

// Into numbers and dates: through a temporary SQLite-like value.
IIAPI_STATUS convertToValue(const IIAPI_DESCRIPTOR& sd, const void* src, size_t slen, const IIAPI_DESCRIPTOR& dd,
                            uint8_t* dst, IIAPI_DATAVALUE& dv) {
    std::string text;
    if (!valueToText(sd, src, slen, text)) return IIAPI_ST_FAILURE;
    if (sd.ds_dataType == IIAPI_MNY_TYPE) {
        double x;
        std::memcpy(&x, src, 8);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", x);
        text = buf;
    } else if (sd.ds_dataType == IIAPI_BOOL_TYPE) {
        text = static_cast<const uint8_t*>(src)[0] ? "1" : "0";
    }
    IngType t;
    t.type = dd.ds_dataType;
    t.length = dd.ds_length;
    t.precision = dd.ds_precision;
    t.scale = dd.ds_scale;
    if (t.type == IIAPI_INT_TYPE && t.length != 1 && t.length != 2 && t.length != 4 && t.length != 8)
        return IIAPI_ST_FAILURE;
    if (t.type == IIAPI_FLT_TYPE && t.length != 4 && t.length != 8) return IIAPI_ST_FAILURE;
    if (t.type == IIAPI_MNY_TYPE && t.length != 8) return IIAPI_ST_FAILURE;
    if (t.type == IIAPI_DEC_TYPE && (t.precision < 1 || t.precision > 39 || t.length < t.precision / 2 + 1))
        return IIAPI_ST_FAILURE;
    if (isDateTimeType(t.type)) {
        if (t.length < sizeof(IIAPI_DATETIME)) return IIAPI_ST_FAILURE;
    } else if (!isNumericType(t.type)) {
        return IIAPI_ST_FAILURE;
    }
    uint16_t outLen = 0;
    bool ok = false;
    switch (t.type) {
        case IIAPI_INT_TYPE: {
            int64_t x;
            if (!textToInt(text, x)) {
                double dx;
                if (!textToDouble(text, dx) || !(dx >= -9.2233720368547758e18 && dx < 9.2233720368547758e18))
                    return IIAPI_ST_FAILURE;
                x = int64_t(dx);
            }
            if (!fitsNativeInt(x, t.length)) return IIAPI_ST_FAILURE;
            writeNativeInt(x, t.length, dst);
            outLen = t.length;
            ok = true;
            break;
        }
        case IIAPI_FLT_TYPE:
        case IIAPI_MNY_TYPE: {
            double x;
            if (!textToDouble(text, x)) return IIAPI_ST_FAILURE;
            if (t.length == 4) {
                float y = float(x);
                std::memcpy(dst, &y, 4);
            } else
                std::memcpy(dst, &x, 8);
            outLen = t.length;
            ok = true;
            break;
        }
        case IIAPI_DEC_TYPE: {
            Decimal dx;
            if (!parseDecimal(text, dx) || !decimalRescale(dx, t.precision, t.scale)) return IIAPI_ST_FAILURE;
            decimalPack(dx, t.precision, dst);
            outLen = uint16_t(t.precision / 2 + 1);
            ok = true;
            break;
        }
        case IIAPI_BOOL_TYPE: {
            int64_t x;
            std::string low = text;
            for (auto& c : low) c = asciiLower(c);
            if (low == "true")
                x = 1;
            else if (low == "false")
                x = 0;
            else if (!textToInt(text, x))
                return IIAPI_ST_FAILURE;
            dst[0] = x ? 1 : 0;
            outLen = 1;
            ok = true;
            break;
        }
        default: {
            IIAPI_DATETIME dt;
            if (!parseDateText(text, dt)) return IIAPI_ST_FAILURE;
            std::memcpy(dst, &dt, sizeof dt);
            outLen = sizeof dt;
            ok = true;
            break;
        }
    }
    if (!ok) return IIAPI_ST_FAILURE;
    dv.dv_length = outLen;
    return IIAPI_ST_SUCCESS;
}

}  // namespace

IIAPI_STATUS convert(IIAPI_CONVERTPARM& p) {
    const IIAPI_DESCRIPTOR& sd = p.cv_srcDesc;
    const IIAPI_DESCRIPTOR& dd = p.cv_dstDesc;
    IIAPI_DATAVALUE& dv = p.cv_dstValue;
    if (p.cv_srcValue.dv_null) {
        dv.dv_null = II_TRUE;
        dv.dv_length = 0;
        return IIAPI_ST_SUCCESS;
    }
    if (!dv.dv_value || (!p.cv_srcValue.dv_value && p.cv_srcValue.dv_length)) return IIAPI_ST_FAILURE;
    dv.dv_null = II_FALSE;
    const void* src = p.cv_srcValue.dv_value ? p.cv_srcValue.dv_value : "";
    size_t slen = p.cv_srcValue.dv_length;
    auto* dst = static_cast<uint8_t*>(dv.dv_value);
    size_t room = dd.ds_length;
    if (isTextType(dd.ds_dataType) || dd.ds_dataType == IIAPI_BYTE_TYPE || dd.ds_dataType == IIAPI_VBYTE_TYPE)
        return convertToText(sd, src, slen, dd, dst, room, dv);
    return convertToValue(sd, src, slen, dd, dst, dv);
}

}  // namespace iiapi

extern "C" void IIapi_convertData(IIAPI_CONVERTPARM* p) {
    if (!p) return;
    p->cv_status = iiapi::convert(*p);
}
