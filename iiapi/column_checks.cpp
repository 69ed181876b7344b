// What a column refuses when a row is written: the constraints CREATE TABLE and ALTER TABLE ADD
// give each column, so that no statement (a literal, a parameter, INSERT ... SELECT, UPDATE ...
// SET) stores a value its type cannot hold, and the function the few that SQL alone cannot
// decide call.
#include "iiapi/dialect.h"

#include <cstdio>
#include <memory>

namespace iiapi {

namespace {

// A constraint name as SQL quotes it: the prefix that tells the failure, and the column.
std::string constraintName(const char* prefix, const std::string& col) {
    std::string name = "\"";
    for (char ch : std::string(prefix) + col) name += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return name + "\"";
}

std::string check(const char* prefix, const std::string& col, const std::string& condition) {
    return " CONSTRAINT " + constraintName(prefix, col) + " CHECK (" + condition + ")";
}

// The column's store compares numbers before every text and blob: "v < ''" holds for a number
// (what the column's affinity made of a numeric text too) and fails for anything else, without a
// function call per row; NULL passes every check.
std::string isNumber(const std::string& v) { return v + " < ''"; }

// Within two bounds (exclusive unless the low one is `from`), or no number at all (which the
// check above refuses).
std::string within(const std::string& v, const std::string& low, const std::string& high, bool from = false) {
    return "(" + v + (from ? " >= " : " > ") + low + " AND " + v + " < " + high + ") OR " + v + " >= ''";
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char ch : text) out += ch == '\'' ? std::string("''") : std::string(1, ch);
    return out + "'";
}

}  // namespace

namespace dialect {

std::string storeChecks(const std::string& col, const std::string& v, const IngType& t) {
    std::string number, range, fit;
    switch (t.type) {
        case IIAPI_INT_TYPE: {
            number = isNumber(v);
            static const char* const lows[] = {"-129", "-32769", "-2147483649", "-9223372036854775808"};
            static const char* const highs[] = {"128", "32768", "2147483648", "9223372036854775808.0"};
            const size_t k = t.length == 1 ? 0 : t.length == 2 ? 1 : t.length == 4 ? 2 : 3;
            // A fraction goes when the number is read as the integer: it is within as its integer is.
            range = within(v, lows[k], highs[k], k == 3);
            break;
        }
        case IIAPI_FLT_TYPE:
            number = isNumber(v);
            if (t.length == 4) range = within(v, "-3.4028234663852886e38", "3.4028234663852886e38");
            break;
        case IIAPI_MNY_TYPE:
            number = isNumber(v);
            range = within(v, "-999999999999.995", "999999999999.995");
            break;
        case IIAPI_DEC_TYPE:
            // Checked, and rounded to the scale, by the trigger that keeps its stored form.
            break;
        case IIAPI_BOOL_TYPE:
            number = v + " IN (0, 1) OR lower(" + v + ") IN ('true', 'false')";
            break;
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE:
            // Trailing blanks of a fixed-length string are padding and may go.
            fit = "length(CAST(rtrim(" + v + ", ' ') AS BLOB)) <= " + std::to_string(t.length);
            break;
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
        case IIAPI_VBYTE_TYPE:
            fit = "length(CAST(" + v + " AS BLOB)) <= " + std::to_string(t.length > 2 ? t.length - 2u : 0u);
            break;
        case IIAPI_BYTE_TYPE:
            fit = "length(CAST(" + v + " AS BLOB)) <= " + std::to_string(t.length);
            break;
        case IIAPI_NCHA_TYPE:
        case IIAPI_NVCH_TYPE: {
            // UTF-16 units: never more than the UTF-8 bytes, which SQL counts; only a value with
            // more bytes than room is counted by the function.
            const bool fixed = t.type == IIAPI_NCHA_TYPE;
            const size_t room = fixed ? t.length / 2u : (t.length > 2 ? (t.length - 2u) / 2u : 0u);
            const std::string value = fixed ? "rtrim(" + v + ", ' ')" : v;
            fit = "length(CAST(" + value + " AS BLOB)) <= " + std::to_string(room) + " OR ii_value_fits(" + value +
                  ", " + quoted(t.decl) + ") > 0";
            break;
        }
        default:
            break;
    }
    std::string out;
    if (!number.empty()) out += check(kNumberCheckPrefix, col, number);
    if (!range.empty()) out += check(kRangeCheckPrefix, col, range);
    if (!fit.empty()) out += check(kFitCheckPrefix, col, fit);
    return out;
}

}  // namespace dialect

namespace {

int32_t utf16Units(std::string_view s) {
    int32_t n = 0;
    for (unsigned char ch : s) n += (ch & 0xC0) != 0x80 ? (ch >= 0xF0 ? 2 : 1) : 0;
    return n;
}

// Whether a value fits a column of the type: 1 it does, 0 it is no value of the type, -1 it is
// one beyond the type's range or length.
int valueFits(sqlite3_value* v, const IngType& t) {
    switch (t.type) {
        case IIAPI_NCHA_TYPE:
        case IIAPI_NVCH_TYPE: {
            const unsigned char* s = sqlite3_value_text(v);
            const std::string_view text(s ? reinterpret_cast<const char*>(s) : "", size_t(sqlite3_value_bytes(v)));
            const int32_t room = t.type == IIAPI_NCHA_TYPE ? t.length / 2 : (t.length - 2) / 2;
            return utf16Units(text) <= room ? 1 : -1;
        }
        default:
            return 1;
    }
}

void freeType(void* p) { delete static_cast<IngType*>(p); }

// ii_value_fits(value, 'type'): valueFits of the value, NULL for NULL.
void fnValueFits(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    auto* t = static_cast<IngType*>(sqlite3_get_auxdata(ctx, 1));
    IngType parsed;
    if (!t) {
        const unsigned char* decl = sqlite3_value_text(argv[1]);
        if (!decl || !parseTypeText(reinterpret_cast<const char*>(decl), parsed, 32000))
            return sqlite3_result_error(ctx, "unknown type in a column check (syntax error)", -1);
        sqlite3_set_auxdata(ctx, 1, new IngType(parsed), freeType);
        t = &parsed;
    }
    sqlite3_result_int(ctx, valueFits(argv[0], *t));
}

}  // namespace

void registerColumnChecks(sqlite3* db) {
    sqlite3_create_function(db, "ii_value_fits", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, fnValueFits, nullptr,
                            nullptr);
}

}  // namespace iiapi
