// SQL functions of the Ingres dialect that SQLite lacks or defines differently.
#include "iiapi/dialect.h"
#include "iiapi/internal.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

namespace iiapi {

namespace {

Conn& session(sqlite3_context* ctx) { return *static_cast<OpenDatabase*>(sqlite3_user_data(ctx))->session; }

void resultText(sqlite3_context* ctx, const std::string& s) {
    sqlite3_result_text(ctx, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
}

std::string argText(sqlite3_value* v) {
    const unsigned char* t = sqlite3_value_text(v);
    return t ? std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_value_bytes(v))) : std::string();
}

bool anyNull(int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
    return false;
}

std::string upperAscii(std::string s) {
    for (auto& c : s) c = asciiUpper(c);
    return s;
}

// Byte offsets of the UTF-8 characters of s (plus the end).
// The shortest text that reads back as the same double.
std::string formatNumber(double d) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

std::vector<size_t> charStarts(const std::string& s) {
    std::vector<size_t> v;
    for (size_t i = 0; i < s.size(); ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) v.push_back(i);
    v.push_back(s.size());
    return v;
}

std::string metaValue(sqlite3* db, const char* key) {
    sqlite3_stmt* st = nullptr;
    std::string v;
    if (sqlite3_prepare_v2(db, "SELECT value FROM iiapi_meta WHERE key = ?", -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, key, -1, SQLITE_STATIC);
        if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
            v = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    return v;
}

void fnDbmsinfo(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Conn& c = session(ctx);
    std::string what = dialect::lower(argText(argv[0]));
    while (!what.empty() && what.back() == ' ') what.pop_back();
    std::string r;
    if (what == "database")
        r = c.dbname;
    else if (what == "username" || what == "session_user" || what == "effective_user")
        r = c.user;
    else if (what == "system_user" || what == "initial_user")
        r = c.loginUser;
    else if (what == "dba") {
        r = metaValue(c.db, "dba");
        if (r.empty()) r = c.user;
    } else if (what == "db_name_case" || what == "db_real_user_case")
        r = "LOWER";
    else if (what == "db_delimited_case")
        r = "MIXED";
    else if (what == "_version")
        r = c.settings.version;
    else if (what == "charset")
        r = c.settings.charset;
    else if (what == "unicode_level")
        r = c.settings.unicodeLevel;
    else if (what == "_bintim")
        r = std::to_string(static_cast<long long>(std::time(nullptr)));
    else if (what == "autocommit_state")
        r = c.autocommit ? "1" : "0";
    else if (what == "transaction_state")
        r = c.inTransaction ? "1" : "0";
    else if (what == "_prepared_cnt")
        r = std::to_string(c.prepared.size());  // the statements the session keeps prepared by name
    else if (what == "query_language")
        r = "sql";
    else if (what == "server_class")
        r = "INGRES";
    else if (what == "language")
        r = "english";
    else if (what == "group")
        r = c.group;
    else if (what == "role")
        r = c.role;
    // Unknown requests answer an empty text, as the server does.
    resultText(ctx, r);
}

// int1 .. int8: the value as an integer of that size; out of range is an error.
template <int Bytes>
void fnInt(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    if (sqlite3_value_type(v) == SQLITE_NULL) return sqlite3_result_null(ctx);
    int64_t x;
    if (sqlite3_value_type(v) == SQLITE_INTEGER) {
        x = sqlite3_value_int64(v);
    } else {
        double d;
        if (sqlite3_value_type(v) == SQLITE_FLOAT) {
            d = sqlite3_value_double(v);
        } else {
            std::string t = argText(v);
            char* end = nullptr;
            d = std::strtod(t.c_str(), &end);
            while (end && *end == ' ') ++end;
            if (t.find_first_not_of(' ') == std::string::npos || !end || *end) {
                return sqlite3_result_error(ctx, "invalid integer value (type mismatch)", -1);
            }
        }
        if (!(d >= -9.2233720368547758e18 && d < 9.2233720368547758e18))
            return sqlite3_result_error(ctx, "integer overflow", -1);
        x = int64_t(d);
    }
    int64_t lo = Bytes == 1 ? INT8_MIN : Bytes == 2 ? INT16_MIN : Bytes == 4 ? INT32_MIN : INT64_MIN;
    int64_t hi = Bytes == 1 ? INT8_MAX : Bytes == 2 ? INT16_MAX : Bytes == 4 ? INT32_MAX : INT64_MAX;
    if (x < lo || x > hi) return sqlite3_result_error(ctx, "integer overflow", -1);
    sqlite3_result_int64(ctx, x);
}

void fnFloat(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    if (sqlite3_value_type(v) == SQLITE_NULL) return sqlite3_result_null(ctx);
    if (sqlite3_value_type(v) == SQLITE_TEXT || sqlite3_value_type(v) == SQLITE_BLOB) {
        std::string t = argText(v);
        char* end = nullptr;
        double d = std::strtod(t.c_str(), &end);
        while (end && *end == ' ') ++end;
        if (!end || *end || t.find_first_not_of(' ') == std::string::npos)
            return sqlite3_result_error(ctx, "invalid float value (type mismatch)", -1);
        return sqlite3_result_double(ctx, d);
    }
    sqlite3_result_double(ctx, sqlite3_value_double(v));
}

void fnText(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    if (sqlite3_value_type(v) == SQLITE_NULL) return sqlite3_result_null(ctx);
    std::string t = argText(v);
    if (argc > 1) {
        int64_t n = sqlite3_value_int64(argv[1]);
        if (n < 0) n = 0;
        auto cs = charStarts(t);
        if (size_t(n) + 1 < cs.size()) t.resize(cs[size_t(n)]);
    }
    resultText(ctx, t);
}

void castTo(sqlite3_context* ctx, sqlite3_value* v, const IngType& t) {
    if (sqlite3_value_type(v) == SQLITE_NULL) return sqlite3_result_null(ctx);
    if (isDateTimeType(t.type)) {
        std::string out;
        if (!canonicalDateTime(argText(v), t, out))
            return sqlite3_result_error(ctx, "invalid date value (invalid datetime format)", -1);
        return resultText(ctx, out);
    }
    switch (t.type) {
        case IIAPI_INT_TYPE:
        case IIAPI_BOOL_TYPE: {
            sqlite3_value* one[1] = {v};
            switch (t.type == IIAPI_BOOL_TYPE ? 1 : t.length) {
                case 1:
                    return fnInt<1>(ctx, 1, one);
                case 2:
                    return fnInt<2>(ctx, 1, one);
                case 8:
                    return fnInt<8>(ctx, 1, one);
                default:
                    return fnInt<4>(ctx, 1, one);
            }
        }
        case IIAPI_FLT_TYPE: {
            sqlite3_value* one[1] = {v};
            return fnFloat(ctx, 1, one);
        }
        case IIAPI_MNY_TYPE:
        case IIAPI_DEC_TYPE: {
            Decimal d;
            std::string text =
                sqlite3_value_type(v) == SQLITE_FLOAT ? formatNumber(sqlite3_value_double(v)) : argText(v);
            while (!text.empty() && text.back() == ' ') text.pop_back();
            size_t b = text.find_first_not_of(' ');
            if (b != std::string::npos && text[b] == '$') text.erase(b, 1);
            if (!parseDecimal(text, d)) return sqlite3_result_error(ctx, kNotANumberMessage, -1);
            const int precision = t.type == IIAPI_MNY_TYPE ? 14 : t.precision;
            const int scale = t.type == IIAPI_MNY_TYPE ? 2 : t.scale;
            if (!decimalRescale(d, precision, scale))
                return sqlite3_result_error(ctx, "numeric value out of range", -1);
            const std::string exact = decimalText(d);
            // Money is a double, as its columns store it; a decimal keeps every digit in its text.
            if (t.type == IIAPI_MNY_TYPE) return sqlite3_result_double(ctx, std::strtod(exact.c_str(), nullptr));
            return resultText(ctx, exact);
        }
        case IIAPI_BYTE_TYPE:
        case IIAPI_VBYTE_TYPE:
        case IIAPI_LBYTE_TYPE:
            return sqlite3_result_blob(ctx, sqlite3_value_blob(v), sqlite3_value_bytes(v), SQLITE_TRANSIENT);
        default: {
            std::string text =
                sqlite3_value_type(v) == SQLITE_FLOAT ? formatNumber(sqlite3_value_double(v)) : argText(v);
            size_t limit = 0;
            if (t.type == IIAPI_VCH_TYPE || t.type == IIAPI_TXT_TYPE)
                limit = t.length > 2 ? t.length - 2u : 0;
            else if (t.type == IIAPI_CHA_TYPE || t.type == IIAPI_CHR_TYPE)
                limit = t.length;
            else if (t.type == IIAPI_NVCH_TYPE)
                limit = t.length > 2 ? (t.length - 2u) / 2 : 0;
            else if (t.type == IIAPI_NCHA_TYPE)
                limit = t.length / 2u;
            if (limit) {
                // National lengths count UTF-16 units: a character beyond the basic plane is two.
                const bool national = t.type == IIAPI_NVCH_TYPE || t.type == IIAPI_NCHA_TYPE;
                size_t units = 0, at = 0;
                for (; at < text.size(); ++at) {
                    const unsigned char b = static_cast<unsigned char>(text[at]);
                    if ((b & 0xC0) == 0x80) continue;
                    units += national && b >= 0xF0 ? 2 : 1;
                    if (units > limit) break;
                }
                text.resize(at);
            }
            return resultText(ctx, text);
        }
    }
}

void fnDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    if (sqlite3_value_type(v) == SQLITE_NULL) return sqlite3_result_null(ctx);
    std::string t = argText(v);
    std::string low = dialect::lower(t);
    while (!low.empty() && low.back() == ' ') low.pop_back();
    while (!low.empty() && low.front() == ' ') low.erase(low.begin());
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[64];
    if (low == "today") {
        std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
        return resultText(ctx, buf);
    }
    if (low == "now") {
        std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
        return resultText(ctx, buf);
    }
    IIAPI_DATETIME dt;
    if (!parseDateText(t, dt)) return sqlite3_result_error(ctx, "invalid date value (invalid datetime format)", -1);
    resultText(ctx, formatDate(dt, IIAPI_DATE_TYPE));
}

void freeType(void* p) { delete static_cast<IngType*>(p); }

// ii_cast(value, 'type'): the value as the Ingres type names it, which SQLite's CAST (numeric
// affinity for DATE, no scale for DECIMAL) does not give.
void fnCast(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* t = static_cast<IngType*>(sqlite3_get_auxdata(ctx, 1));
    if (!t) {
        auto fresh = std::make_unique<IngType>();
        if (!parseTypeText(argText(argv[1]), *fresh, 32000))
            return sqlite3_result_error(ctx, "unknown type in CAST (syntax error)", -1);
        sqlite3_set_auxdata(ctx, 1, fresh.release(), freeType);
        // SQLite may drop the cached copy at once; it is asked for again below.
        t = static_cast<IngType*>(sqlite3_get_auxdata(ctx, 1));
        if (!t) {
            IngType again;
            parseTypeText(argText(argv[1]), again, 32000);
            return castTo(ctx, argv[0], again);
        }
    }
    castTo(ctx, argv[0], *t);
}

void fnDatePart(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(2, argv)) return sqlite3_result_null(ctx);
    std::string unit = dialect::lower(argText(argv[0]));
    IIAPI_DATETIME dt;
    if (!parseDateText(argText(argv[1]), dt))
        return sqlite3_result_error(ctx, "invalid date value (invalid datetime format)", -1);
    int r;
    if (unit == "year" || unit == "yr" || unit == "yrs" || unit == "years")
        r = dt.dt_year;
    else if (unit == "month" || unit == "mo" || unit == "mos" || unit == "months")
        r = dt.dt_month;
    else if (unit == "day" || unit == "days")
        r = dt.dt_kind == IIAPI_DTK_INTERVAL || dt.dt_kind == IIAPI_DTK_NEG_INTERVAL ? int(dt.dt_nanosecond)
                                                                                     : dt.dt_day;
    else if (unit == "hour" || unit == "hr" || unit == "hrs" || unit == "hours")
        r = dt.dt_hour;
    else if (unit == "minute" || unit == "min" || unit == "mins" || unit == "minutes")
        r = dt.dt_minute;
    else if (unit == "second" || unit == "sec" || unit == "secs" || unit == "seconds")
        r = dt.dt_second;
    else if (unit == "quarter" || unit == "qtr" || unit == "qtrs")
        r = dt.dt_month ? (dt.dt_month - 1) / 3 + 1 : 0;
    else if (unit == "week" || unit == "wk" || unit == "wks" || unit == "iso-week") {
        std::tm tm{};
        tm.tm_year = dt.dt_year - 1900;
        tm.tm_mon = dt.dt_month - 1;
        tm.tm_mday = dt.dt_day;
        tm.tm_hour = 12;
        timegm(&tm);
        // Weeks start on Monday; days before the first Monday are week 0.
        int wday = (tm.tm_wday + 6) % 7;
        r = (tm.tm_yday + 7 - wday) / 7;
    } else if (unit == "microsecond")
        r = int(dt.dt_nanosecond / 1000);
    else
        return sqlite3_result_error(ctx, "invalid date_part unit (syntax error)", -1);
    sqlite3_result_int(ctx, r);
}

void fnTime(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(1, argv)) return sqlite3_result_null(ctx);
    std::time_t t = std::time_t(sqlite3_value_int64(argv[0]));
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
    resultText(ctx, buf);
}

void fnMoney(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(1, argv)) return sqlite3_result_null(ctx);
    double d;
    if (sqlite3_value_type(argv[0]) == SQLITE_TEXT) {
        std::string t = argText(argv[0]);
        for (auto& c : t)
            if (c == '$' || c == ',') c = ' ';
        char* end = nullptr;
        d = std::strtod(t.c_str(), &end);
    } else {
        d = sqlite3_value_double(argv[0]);
    }
    sqlite3_result_double(ctx, std::round(d * 100.0) / 100.0);
}

void fnDecimal(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    int p = argc > 1 ? sqlite3_value_int(argv[1]) : 15, s = argc > 2 ? sqlite3_value_int(argv[2]) : 0;
    std::string t;
    if (sqlite3_value_type(argv[0]) == SQLITE_FLOAT) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", sqlite3_value_double(argv[0]));
        t = buf;
    } else {
        t = argText(argv[0]);
    }
    Decimal d;
    if (!parseDecimal(t, d)) return sqlite3_result_error(ctx, kNotANumberMessage, -1);
    if (p < 1 || p > 39 || s < 0 || s > p || !decimalRescale(d, p, s))
        return sqlite3_result_error(ctx, "integer overflow in decimal conversion", -1);
    resultText(ctx, decimalText(d));
}

void fnUpper(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(1, argv)) return sqlite3_result_null(ctx);
    resultText(ctx, upperAscii(argText(argv[0])));
}

void fnLower(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(1, argv)) return sqlite3_result_null(ctx);
    resultText(ctx, dialect::lower(argText(argv[0])));
}

void fnSqueeze(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(1, argv)) return sqlite3_result_null(ctx);
    std::string t = argText(argv[0]), out;
    bool space = false;
    for (char c : t) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            space = !out.empty();
            continue;
        }
        if (space) out.push_back(' ');
        space = false;
        out.push_back(c);
    }
    resultText(ctx, out);
}

// Ingres trim removes trailing blanks only.
void fnTrim(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(1, argv)) return sqlite3_result_null(ctx);
    std::string t = argText(argv[0]);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.pop_back();
    resultText(ctx, t);
}

void fnCharextract(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(2, argv)) return sqlite3_result_null(ctx);
    std::string t = argText(argv[0]);
    int64_t n = sqlite3_value_int64(argv[1]);
    auto cs = charStarts(t);
    if (n < 1 || size_t(n) >= cs.size()) return resultText(ctx, " ");
    resultText(ctx, t.substr(cs[size_t(n - 1)], cs[size_t(n)] - cs[size_t(n - 1)]));
}

void fnMod(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(2, argv)) return sqlite3_result_null(ctx);
    if (sqlite3_value_numeric_type(argv[0]) == SQLITE_INTEGER &&
        sqlite3_value_numeric_type(argv[1]) == SQLITE_INTEGER) {
        int64_t a = sqlite3_value_int64(argv[0]), b = sqlite3_value_int64(argv[1]);
        if (b == 0) return sqlite3_result_error(ctx, "division by zero", -1);
        if (b == -1) return sqlite3_result_int64(ctx, 0);
        return sqlite3_result_int64(ctx, a % b);
    }
    double a = sqlite3_value_double(argv[0]), b = sqlite3_value_double(argv[1]);
    if (b == 0) return sqlite3_result_error(ctx, "division by zero", -1);
    sqlite3_result_double(ctx, std::fmod(a, b));
}

// ii_nonzero(divisor): the divisor, unless it is zero as SQLite's arithmetic reads it.
void fnNonzero(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    switch (sqlite3_value_numeric_type(v)) {
        case SQLITE_NULL:
            return sqlite3_result_null(ctx);
        case SQLITE_INTEGER:
            if (sqlite3_value_int64(v) == 0) return sqlite3_result_error(ctx, "division by zero", -1);
            break;
        default:
            if (sqlite3_value_double(v) == 0) return sqlite3_result_error(ctx, "division by zero", -1);
            break;
    }
    sqlite3_result_value(ctx, v);
}

// locate(string, pattern): position of pattern, or length(string) + 1 when it is absent.
// A three-argument call locate(string, start, pattern) searches from start.
void fnLocate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::string s = argText(argv[0]);
    std::string pat = argText(argv[argc == 3 ? 2 : 1]);
    int64_t start = argc == 3 ? sqlite3_value_int64(argv[1]) : 1;
    auto cs = charStarts(s);
    int64_t nchars = int64_t(cs.size()) - 1;
    if (start < 1) start = 1;
    if (start > nchars + 1) return sqlite3_result_int64(ctx, nchars + 1);
    size_t pos = s.find(pat, cs[size_t(start - 1)]);
    if (pos == std::string::npos) return sqlite3_result_int64(ctx, nchars + 1);
    int64_t chars = 0;
    while (size_t(chars) < cs.size() && cs[size_t(chars)] < pos) ++chars;
    sqlite3_result_int64(ctx, chars + 1);
}

void fnLeft(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(2, argv)) return sqlite3_result_null(ctx);
    std::string s = argText(argv[0]);
    int64_t n = sqlite3_value_int64(argv[1]);
    auto cs = charStarts(s);
    if (n < 0) n = 0;
    if (size_t(n) + 1 < cs.size()) s.resize(cs[size_t(n)]);
    resultText(ctx, s);
}

void fnRight(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(2, argv)) return sqlite3_result_null(ctx);
    std::string s = argText(argv[0]);
    int64_t n = sqlite3_value_int64(argv[1]);
    auto cs = charStarts(s);
    int64_t total = int64_t(cs.size()) - 1;
    if (n < 0) n = 0;
    if (n < total) s = s.substr(cs[size_t(total - n)]);
    resultText(ctx, s);
}

void fnConcat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::string r;
    for (int i = 0; i < argc; ++i) r += argText(argv[i]);
    resultText(ctx, r);
}

// Ingres's log is the natural logarithm.
void fnLog(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(1, argv)) return sqlite3_result_null(ctx);
    double d = sqlite3_value_double(argv[0]);
    if (d <= 0) return sqlite3_result_error(ctx, "invalid argument to log (numeric value out of range)", -1);
    sqlite3_result_double(ctx, std::log(d));
}

void fnSqrt(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(1, argv)) return sqlite3_result_null(ctx);
    double d = sqlite3_value_double(argv[0]);
    if (d < 0) return sqlite3_result_error(ctx, "invalid argument to sqrt (numeric value out of range)", -1);
    sqlite3_result_double(ctx, std::sqrt(d));
}

template <double (*F)(double)>
void fnMath(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(1, argv)) return sqlite3_result_null(ctx);
    sqlite3_result_double(ctx, F(sqlite3_value_double(argv[0])));
}

// Type names and lengths for the procedure-parameter catalog.
const char* typeNameOf(int code) {
    switch (code < 0 ? -code : code) {
        case IIAPI_DATE_TYPE:
            return "ingresdate";
        case IIAPI_ADATE_TYPE:
            return "ansidate";
        case IIAPI_MNY_TYPE:
            return "money";
        case IIAPI_TMWO_TYPE:
            return "time without time zone";
        case IIAPI_TMTZ_TYPE:
            return "time with time zone";
        case IIAPI_TIME_TYPE:
            return "time with local time zone";
        case IIAPI_TSWO_TYPE:
            return "timestamp without time zone";
        case IIAPI_DEC_TYPE:
            return "decimal";
        case IIAPI_TSTZ_TYPE:
            return "timestamp with time zone";
        case IIAPI_TS_TYPE:
            return "timestamp with local time zone";
        case IIAPI_CHA_TYPE:
            return "char";
        case IIAPI_VCH_TYPE:
            return "varchar";
        case IIAPI_LVCH_TYPE:
            return "long varchar";
        case IIAPI_BYTE_TYPE:
            return "byte";
        case IIAPI_VBYTE_TYPE:
            return "byte varying";
        case IIAPI_LBYTE_TYPE:
            return "long byte";
        case IIAPI_NCHA_TYPE:
            return "nchar";
        case IIAPI_NVCH_TYPE:
            return "nvarchar";
        case IIAPI_LNVCH_TYPE:
            return "long nvarchar";
        case IIAPI_INT_TYPE:
            return "integer";
        case IIAPI_FLT_TYPE:
            return "float";
        case IIAPI_CHR_TYPE:
            return "c";
        case IIAPI_INTYM_TYPE:
            return "interval year to month";
        case IIAPI_INTDS_TYPE:
            return "interval day to second";
        case IIAPI_TXT_TYPE:
            return "text";
        case IIAPI_BOOL_TYPE:
            return "boolean";
        default:
            return "unknown";
    }
}

void fnTypeName(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(1, argv)) return sqlite3_result_null(ctx);
    resultText(ctx, typeNameOf(sqlite3_value_int(argv[0])));
}

void fnExtType(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(1, argv)) return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, sqlite3_value_int(argv[0]));
}

// The length a user declares, from the stored length of a type.
int userLength(int code, int length) {
    switch (code < 0 ? -code : code) {
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
        case IIAPI_VBYTE_TYPE:
            return length >= 2 ? length - 2 : length;
        case IIAPI_NCHA_TYPE:
            return length / 2;
        case IIAPI_NVCH_TYPE:
            return length >= 2 ? (length - 2) / 2 : length;
        default:
            return length;
    }
}

void fnExtLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(2, argv)) return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, userLength(sqlite3_value_int(argv[0]), sqlite3_value_int(argv[1])));
}

// iiuserlen(type, length * 65536 + precision): the size a client shows for the type.
void fnUserLen(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (anyNull(2, argv)) return sqlite3_result_null(ctx);
    int code = sqlite3_value_int(argv[0]);
    int64_t packed = sqlite3_value_int64(argv[1]);
    int length = int(packed / 65536), precision = int(packed % 65536);
    int abs = code < 0 ? -code : code;
    if (abs == IIAPI_DEC_TYPE) return sqlite3_result_int(ctx, precision / 256 ? precision / 256 : precision);
    if (abs == IIAPI_INT_TYPE)
        return sqlite3_result_int(ctx, length == 1 ? 3 : length == 2 ? 5 : length == 4 ? 10 : 19);
    if (abs == IIAPI_FLT_TYPE) return sqlite3_result_int(ctx, length == 4 ? 7 : 15);
    sqlite3_result_int(ctx, length);
}

// LIKE as the server matches it: case-sensitive, with an optional escape character that also
// opens and closes character ranges (E[ ... E]).  A value counts as padded with blanks, as
// fixed-length names are, so patterns that expect a blank after the name still match.
bool likeMatch(const std::u32string& p, size_t pi, const std::u32string& v, size_t vi, char32_t esc, int depth) {
    if (depth > 2000) return false;
    while (pi < p.size()) {
        char32_t c = p[pi];
        if (esc && c == esc && pi + 1 < p.size()) {
            char32_t n = p[pi + 1];
            if (n == U'[') {
                // Range up to E].
                size_t end = pi + 2;
                std::u32string set;
                bool closed = false;
                while (end < p.size()) {
                    if (p[end] == esc && end + 1 < p.size() && p[end + 1] == U']') {
                        closed = true;
                        break;
                    }
                    set.push_back(p[end]);
                    ++end;
                }
                if (!closed) return false;
                char32_t ch = vi < v.size() ? v[vi] : U' ';
                bool in = false;
                for (size_t k = 0; k < set.size(); ++k) {
                    if (k + 2 < set.size() && set[k + 1] == U'-') {
                        if (ch >= set[k] && ch <= set[k + 2]) in = true;
                        k += 2;
                    } else if (set[k] == ch) {
                        in = true;
                    }
                }
                if (!in) return false;
                if (vi < v.size()) ++vi;
                pi = end + 2;
                continue;
            }
            // Escaped literal.
            char32_t ch = vi < v.size() ? v[vi] : U' ';
            if (ch != n) return false;
            if (vi < v.size()) ++vi;
            pi += 2;
            continue;
        }
        if (c == U'%') {
            while (pi < p.size() && p[pi] == U'%') ++pi;
            if (pi == p.size()) return true;
            for (size_t k = vi; k <= v.size(); ++k)
                if (likeMatch(p, pi, v, k, esc, depth + 1)) return true;
            return false;
        }
        if (c == U'_') {
            if (vi >= v.size()) return false;
            ++vi;
            ++pi;
            continue;
        }
        char32_t ch = vi < v.size() ? v[vi] : U' ';
        if (vi >= v.size() && c != U' ') return false;
        if (ch != c) return false;
        if (vi < v.size()) ++vi;
        ++pi;
    }
    return vi == v.size();
}

std::u32string toU32(const std::string& s) {
    std::u16string w = utf8ToUtf16(s);
    std::u32string out;
    for (size_t i = 0; i < w.size(); ++i) {
        char32_t c = w[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00);
            ++i;
        }
        out.push_back(c);
    }
    return out;
}

void fnLike(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    // SQLite passes like(pattern, value [, escape]).
    if (anyNull(argc, argv)) return sqlite3_result_null(ctx);
    std::u32string pat = toU32(argText(argv[0]));
    std::u32string val = toU32(argText(argv[1]));
    char32_t esc = 0;
    if (argc == 3) {
        std::u32string e = toU32(argText(argv[2]));
        if (e.size() != 1) return sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
        esc = e[0];
    }
    sqlite3_result_int(ctx, likeMatch(pat, 0, val, 0, esc, 0) ? 1 : 0);
}

// A view's column at position cid (from pragma_table_info), when table is a view the engine can
// describe.
const IngType* viewColumn(Conn& c, const std::string& table, const std::string& kind, int cid) {
    if (kind != "view" || cid < 0) return nullptr;
    const ViewColumns* cols = describeView(c, table);
    return cols && size_t(cid) < cols->types.size() ? &cols->types[size_t(cid)] : nullptr;
}

// ii_column_type(table, column, declared type, table kind, position): the Ingres type of a
// column: as declared to the engine; for a view, the type of the expression it comes from.
void fnColumnType(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Conn& c = session(ctx);
    std::string table = argText(argv[0]), column = argText(argv[1]), decl = argText(argv[2]);
    if (const IngType* v = viewColumn(c, table, argText(argv[3]), sqlite3_value_int(argv[4])); v && !v->decl.empty())
        return resultText(ctx, v->decl);
    sqlite3_stmt* st = nullptr;
    std::string found;
    if (sqlite3_prepare_v2(
            c.db, "SELECT ingres_type FROM iiapi_columns WHERE table_name = lower(?) AND column_name = lower(?)", -1,
            &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, column.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
            found = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    if (found.empty()) {
        std::string d = dialect::lower(decl);
        IngType t;
        if (d == "integer" || d == "int")
            found = "bigint";
        else if (d == "real" || d == "double" || d == "float")
            found = "float8";
        else if (!d.empty() && parseTypeText(d, t, c.maxSegment))
            found = t.decl;
        else
            found = "long varchar";
    }
    resultText(ctx, found);
}

// ii_column_notnull(table, table kind, position, declared not null): whether the column takes
// no NULL; a view's column as the expression it comes from.
void fnColumnNotNull(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Conn& c = session(ctx);
    if (const IngType* v = viewColumn(c, argText(argv[0]), argText(argv[1]), sqlite3_value_int(argv[2])))
        return sqlite3_result_int(ctx, v->nullable ? 0 : 1);
    sqlite3_result_int(ctx, sqlite3_value_int(argv[3]) != 0);
}

// Facts of a declared type: code (negative when nullable), length, scale, name.
void fnTypeFact(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    Conn& c = session(ctx);
    std::string what = argText(argv[0]);
    IngType t;
    if (!parseTypeText(argText(argv[1]), t, c.maxSegment)) return sqlite3_result_null(ctx);
    bool nullable = argc > 2 && sqlite3_value_int(argv[2]) != 0;
    if (what == "code") return sqlite3_result_int(ctx, nullable ? -t.type : t.type);
    if (what == "length") {
        int len;
        switch (t.type) {
            case IIAPI_DEC_TYPE:
                len = t.precision;
                break;
            case IIAPI_LVCH_TYPE:
            case IIAPI_LBYTE_TYPE:
            case IIAPI_LNVCH_TYPE:
                len = 0;
                break;
            default:
                len = userLength(t.type, t.length);
        }
        return sqlite3_result_int(ctx, len);
    }
    if (what == "storage") return sqlite3_result_int(ctx, t.length);
    if (what == "precision") return sqlite3_result_int(ctx, t.type == IIAPI_DEC_TYPE ? t.precision * 256 + t.scale : 0);
    // A timestamp's scale is its fraction digits, as the server's catalogs give it.
    if (what == "scale")
        return sqlite3_result_int(ctx, t.type == IIAPI_TSWO_TYPE || t.type == IIAPI_TSTZ_TYPE || t.type == IIAPI_TS_TYPE
                                           ? t.precision
                                           : t.scale);
    if (what == "name") {
        std::string n = upperAscii(typeNameOf(t.type));
        if (t.type == IIAPI_DATE_TYPE) n = "INGRESDATE";
        return resultText(ctx, n);
    }
    sqlite3_result_null(ctx);
}

void fnOwner(sqlite3_context* ctx, int, sqlite3_value** argv) {
    Conn& c = session(ctx);
    std::string table = dialect::lower(argText(argv[0]));
    // The engine's own tables and SQLite's belong to the system.
    if (table.rfind("iiapi_", 0) == 0 || table.rfind("sqlite_", 0) == 0) return resultText(ctx, "$ingres");
    sqlite3_stmt* st = nullptr;
    std::string owner;
    if (sqlite3_prepare_v2(c.db, "SELECT owner FROM iiapi_tables WHERE table_name = ?", -1, &st, nullptr) ==
        SQLITE_OK) {
        sqlite3_bind_text(st, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
            owner = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    }
    sqlite3_finalize(st);
    if (owner.empty()) owner = metaValue(c.db, "dba");
    if (owner.empty()) owner = c.user;
    resultText(ctx, owner);
}

struct Fn {
    const char* name;
    int args;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
    bool deterministic;
};

const Fn kFunctions[] = {
    {"dbmsinfo", 1, fnDbmsinfo, false},
    {"int1", 1, fnInt<1>, true},
    {"int2", 1, fnInt<2>, true},
    {"int4", 1, fnInt<4>, true},
    {"int8", 1, fnInt<8>, true},
    {"integer1", 1, fnInt<1>, true},
    {"integer2", 1, fnInt<2>, true},
    {"integer4", 1, fnInt<4>, true},
    {"integer8", 1, fnInt<8>, true},
    {"smallint", 1, fnInt<2>, true},
    {"integer", 1, fnInt<4>, true},
    {"bigint", 1, fnInt<8>, true},
    {"float4", 1, fnFloat, true},
    {"float8", 1, fnFloat, true},
    {"varchar", 1, fnText, true},
    {"varchar", 2, fnText, true},
    {"char", 1, fnText, true},
    {"char", 2, fnText, true},
    {"text", 1, fnText, true},
    {"c", 1, fnText, true},
    {"nvarchar", 1, fnText, true},
    {"nchar", 1, fnText, true},
    {"date", 1, fnDate, false},
    {"ingresdate", 1, fnDate, false},
    {"date_part", 2, fnDatePart, true},
    {"_time", 1, fnTime, true},
    {"money", 1, fnMoney, true},
    {"decimal", 1, fnDecimal, true},
    {"decimal", 2, fnDecimal, true},
    {"decimal", 3, fnDecimal, true},
    {"uppercase", 1, fnUpper, true},
    {"lowercase", 1, fnLower, true},
    {"upper", 1, fnUpper, true},
    {"lower", 1, fnLower, true},
    {"squeeze", 1, fnSqueeze, true},
    {"charextract", 2, fnCharextract, true},
    {"trim", 1, fnTrim, true},
    {"mod", 2, fnMod, true},
    // Not folded into a constant: a zero divisor fails only the rows that reach it.
    {kNonzeroGuard, 1, fnNonzero, false},
    {"locate", 2, fnLocate, true},
    {"locate", 3, fnLocate, true},
    {"left", 2, fnLeft, true},
    {"right", 2, fnRight, true},
    {"ii_left", 2, fnLeft, true},
    {"ii_right", 2, fnRight, true},
    {"concat", -1, fnConcat, true},
    {"log", 1, fnLog, true},
    {"ln", 1, fnLog, true},
    {"sqrt", 1, fnSqrt, true},
    {"exp", 1, fnMath<std::exp>, true},
    {"sin", 1, fnMath<std::sin>, true},
    {"cos", 1, fnMath<std::cos>, true},
    {"atan", 1, fnMath<std::atan>, true},
    {"iitypename", 1, fnTypeName, true},
    {"ii_ext_type", 2, fnExtType, true},
    {"ii_ext_length", 2, fnExtLength, true},
    {"iiuserlen", 2, fnUserLen, true},
    {"like", 2, fnLike, true},
    {"like", 3, fnLike, true},
    {"ii_column_type", 5, fnColumnType, false},
    {"ii_column_notnull", 4, fnColumnNotNull, false},
    {"ii_type_fact", 2, fnTypeFact, false},
    {"ii_type_fact", 3, fnTypeFact, false},
    {"ii_owner", 1, fnOwner, false},
    {"ii_cast", 2, fnCast, true},
};

int collateDateTimes(void*, int n1, const void* p1, int n2, const void* p2) {
    return compareDateTimeTexts(std::string_view(static_cast<const char*>(p1), size_t(n1)),
                                std::string_view(static_cast<const char*>(p2), size_t(n2)));
}

}  // namespace

void registerFunctions(sqlite3* db, OpenDatabase* od) {
    for (const Fn& f : kFunctions) {
        int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
        sqlite3_create_function(db, f.name, f.args, flags, od, f.fn, nullptr, nullptr);
    }
    registerDecimalFunctions(db);
    // Date and time columns compare, sort and group by it, so that a value meets the column's
    // stored one whatever its spelling or fraction digits.
    sqlite3_create_collation_v2(db, kDateTimeCollation, SQLITE_UTF8, nullptr, collateDateTimes, nullptr);
    registerColumnChecks(db);
    // The Bloom filters SQLite puts in front of a join's lookups hash a text by its bytes, so a
    // value equal under that collation but spelt otherwise (another count of fraction digits)
    // would be filtered out before the lookup; the session goes without them.
    constexpr unsigned kBloomFilter = 0x00080000, kBloomPulldown = 0x00100000;
    sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db, kBloomFilter | kBloomPulldown);
}

}  // namespace iiapi
