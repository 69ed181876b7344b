// Result typing: the Ingres types of a statement's result columns, from the recorded column types,
// the catalog views' columns and the expressions of the select list.
#include "iiapi/dialect.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace iiapi {

using namespace dialect;

namespace dialect {

namespace {

// The select-list items of the first SELECT of a statement (its tokens), as token ranges.
std::vector<std::vector<Tok>> selectItems(const std::vector<Tok>& t) {
    std::vector<std::vector<Tok>> items;
    size_t i = skip(t, 0);
    while (i < t.size() && t[i].text == "(") i = skip(t, i + 1);
    if (!isWord(t, i, "select")) return items;
    i = skip(t, i + 1);
    if (isWord(t, i, "distinct") || isWord(t, i, "all")) i = skip(t, i + 1);
    int depth = 0;
    int markers = 0;
    std::vector<Tok> cur;
    for (; i < t.size(); ++i) {
        if (t[i].text == "(") ++depth;
        if (t[i].text == ")") {
            if (depth == 0) break;
            --depth;
        }
        if (depth == 0 && (isWord(t, i, "from") || isWord(t, i, "limit") || isWord(t, i, "union") ||
                           isWord(t, i, "order") || isWord(t, i, "where") || isWord(t, i, "group"))) {
            break;
        }
        if (depth == 0 && t[i].text == ",") {
            items.push_back(std::move(cur));
            cur.clear();
            continue;
        }
        if (t[i].t == Tok::Param) {
            // The select list comes first in the text: its markers are the statement's first ones.
            cur.push_back({Tok::Param, "?" + std::to_string(++markers)});
            continue;
        }
        if (t[i].t != Tok::Space) cur.push_back(t[i]);
    }
    if (!cur.empty()) items.push_back(std::move(cur));
    return items;
}

// The literal NULL, which takes the type of what it stands beside.
bool isNullLiteral(const std::vector<Tok>& x) { return x.size() == 1 && wordIs(x[0], "null"); }

IngType varcharOf(int n) {
    IngType t;
    t.type = IIAPI_VCH_TYPE;
    if (n < 1) n = 1;
    if (n > 32000) n = 32000;
    t.length = uint16_t(n + 2);
    t.decl = "varchar(" + std::to_string(n) + ")";
    return t;
}

IngType intOf(int len) {
    IngType t;
    t.type = IIAPI_INT_TYPE;
    t.length = uint16_t(len);
    t.decl = "integer" + std::to_string(len);
    return t;
}

IngType decimalOf(int precision, int scale) {
    IngType t;
    t.type = IIAPI_DEC_TYPE;
    t.precision = int16_t(precision);
    t.scale = int16_t(scale);
    t.length = uint16_t(precision / 2 + 1);
    t.decl = "decimal(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    return t;
}

IngType floatOf() {
    IngType t;
    t.type = IIAPI_FLT_TYPE;
    t.length = 8;
    t.precision = 15;
    t.decl = "float";
    return t;
}

constexpr int kDefaultTextLength = 2000;

IngType charOf(int n) {
    IngType t;
    t.type = IIAPI_CHA_TYPE;
    t.length = uint16_t(n);
    t.decl = "char(" + std::to_string(n) + ")";
    return t;
}

// Types of the catalog columns, which the views compute.
bool catalogColumnType(const std::string& name, IngType& out) {
    static const char* names32[] = {"table_name",
                                    "table_owner",
                                    "column_name",
                                    "column_datatype",
                                    "schema_name",
                                    "constraint_name",
                                    "index_name",
                                    "index_owner",
                                    "base_name",
                                    "base_owner",
                                    "procedure_name",
                                    "procedure_owner",
                                    "dbp_name",
                                    "dbp_owner",
                                    "pp_name",
                                    "object_name",
                                    "object_owner",
                                    "permit_grantor",
                                    "permit_user",
                                    "ref_constraint_name",
                                    "ref_schema_name",
                                    "ref_table_name",
                                    "unique_constraint_name",
                                    "unique_schema_name",
                                    "unique_table_name",
                                    "param_name",
                                    "param_datatype",
                                    "column_internal_datatype",
                                    "user_name",
                                    "dba_name",
                                    "system_owner",
                                    nullptr};
    static const char* names1[] = {"table_type",
                                   "system_use",
                                   "column_nulls",
                                   "column_defaults",
                                   "sort_direction",
                                   "unique_rule",
                                   "constraint_type",
                                   "object_type",
                                   "table_subtype",
                                   "proc_subtype",
                                   "is_compressed",
                                   "param_nulls",
                                   "param_defaults",
                                   "column_system_maintained",
                                   nullptr};
    static const char* int2s[] = {"column_ingdatatype", "key_sequence", "key_position",        "pp_number",
                                  "pp_datatype",        "pp_precision", "param_datatype_code", "column_scale",
                                  "param_scale",        nullptr};
    static const char* int4s[] = {"column_length",
                                  "column_sequence",
                                  "pp_length",
                                  "pp_flags",
                                  "text_sequence",
                                  "dbp_id",
                                  "dbp_idx",
                                  "defid1",
                                  "defid2",
                                  "pp_procid1",
                                  "pp_procid2",
                                  "pp_defid1",
                                  "pp_defid2",
                                  "param_sequence",
                                  "param_length",
                                  "permit_number",
                                  "num_rows",
                                  "column_internal_length",
                                  "dbp_parameter_count",
                                  nullptr};
    static const std::pair<const char* const*, IngType> lists[] = {
        {names32, charOf(32)}, {names1, charOf(1)}, {int2s, intOf(2)}, {int4s, intOf(4)}};
    for (const auto& [names, type] : lists)
        for (const char* const* n = names; *n; ++n)
            if (name == *n) {
                out = type;
                return true;
            }
    if (name == "column_default_val" || name == "defvalue" || name == "param_default_val") {
        out = varcharOf(1501);
        return true;
    }
    if (name == "text_segment") {
        out = varcharOf(240);
        return true;
    }
    if (name == "storage_structure" || name == "param_mode") {
        out = charOf(16);
        return true;
    }
    return false;
}

bool typeExpression(Conn& c, const std::vector<Tok>& e, IngType& out, bool& hasAlias);

}  // namespace

// The declared type of a user column known by its name, and the table or correlation name that
// qualifies it, if any.
bool columnTypeByName(Conn& c, const std::string& name, IngType& out, const std::string& qualifier) {
    const std::vector<DeclaredColumn> found = declaredColumnsOf(c, name, qualifier);
    return !found.empty() && parseTypeText(found.front().type, out, c.maxSegment);
}

namespace {

// The qualifier of a column operand `q.name` (a table or correlation name), "" for a bare name.
std::string qualifierOf(const std::vector<Tok>& x) {
    return x.size() == 3 && x[1].text == "." && (x[0].t == Tok::Word || x[0].t == Tok::QuotedId) ? identName(x[0])
                                                                                                 : std::string();
}

}  // namespace

// Type of one operand of an arithmetic expression (no blanks among its tokens): a parenthesised
// expression, a literal, a function or a (qualified) column of the statement's tables.
bool typeOperand(Conn& c, const std::vector<Tok>& o, IngType& t) {
    bool alias;
    std::vector<Tok> inner = o;
    if (inner.size() >= 2 && inner.front().text == "(" && inner.back().text == ")")
        inner = std::vector<Tok>(o.begin() + 1, o.end() - 1);
    if (typeExpression(c, inner, t, alias) && !alias) return true;
    return (inner.size() == 1 || (inner.size() == 3 && inner[1].text == ".")) &&
           columnTypeByName(c, identName(inner.back()), t, qualifierOf(inner));
}

namespace {

// The digits of a decimal, or of an integer taken as the decimal it converts to.
int decimalDigits(const IngType& x) {
    if (x.type == IIAPI_DEC_TYPE) return x.precision;
    return x.length == 1 ? 3 : x.length == 2 ? 5 : x.length == 8 ? 19 : 10;
}

int decimalScale(const IngType& x) { return x.type == IIAPI_DEC_TYPE ? x.scale : 0; }

}  // namespace

// The type of a op b for numeric operands as Ingres types it: float (or money) wins; else a
// decimal operand makes the result a decimal, an integer one counting as a decimal of its digits
// (+ and -: the larger scale and the larger count of integral digits plus one; *: the sums of
// precisions and of scales; /: precision 31 and scale 31 - p1 + s1 - s2); else the wider integer,
// at least a 4-byte one.
IngType numericResult(const IngType& a, const std::string& op, const IngType& b) {
    auto floating = [](const IngType& x) { return x.type == IIAPI_FLT_TYPE || x.type == IIAPI_MNY_TYPE; };
    if (floating(a) || floating(b)) return floatOf();
    if (a.type != IIAPI_DEC_TYPE && b.type != IIAPI_DEC_TYPE) return intOf(std::max({4, int(a.length), int(b.length)}));
    const int p1 = decimalDigits(a), s1 = decimalScale(a), p2 = decimalDigits(b), s2 = decimalScale(b);
    int precision, scale;
    if (op == "*") {
        precision = p1 + p2;
        scale = s1 + s2;
    } else if (op == "/") {
        precision = kDecimalResultDigits;
        scale = kDecimalResultDigits - p1 + s1 - s2;
    } else {
        scale = std::max(s1, s2);
        precision = std::max(p1 - s1, p2 - s2) + scale + 1;
    }
    precision = std::clamp(precision, 1, kDecimalResultDigits);
    return decimalOf(precision, std::clamp(scale, 0, precision));
}

namespace {

bool isNumberType(const IngType& t);

// Characters of a text type (UTF-16 units for the national ones); -1 for the long types.
int textChars(const IngType& t) {
    switch (t.type) {
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE:
            return t.length;
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
            return t.length > 2 ? t.length - 2 : 0;
        case IIAPI_NCHA_TYPE:
            return t.length / 2;
        case IIAPI_NVCH_TYPE:
            return t.length > 2 ? (t.length - 2) / 2 : 0;
        default:
            return -1;
    }
}

// The characters a number takes as text.
int numberChars(const IngType& t) {
    if (t.type == IIAPI_DEC_TYPE) return t.precision + 2;
    if (t.type == IIAPI_INT_TYPE) return t.length == 1 ? 4 : t.length == 2 ? 6 : t.length == 8 ? 20 : 11;
    return 24;
}

}  // namespace

// The type of a column two values of types a and b share, as Ingres types a UNION's column or
// COALESCE: numbers as the wider number (a decimal with the larger count of integral digits and
// the larger scale; a float when either is one), strings as the longer string (national when
// either is, varying unless both are fixed), the same date type with the finer fraction; a
// number beside a string as a string that holds either.
IngType commonType(const IngType& a, const IngType& b, int32_t maxSegment) {
    IngType out = a;
    if (isNumberType(a) && isNumberType(b)) {
        auto floating = [](const IngType& x) { return x.type == IIAPI_FLT_TYPE; };
        if (floating(a) || floating(b)) {
            out = floatOf();
            if (floating(a) && floating(b) && a.length == 4 && b.length == 4) {
                out.length = 4;
                out.precision = 7;
                out.decl = "float4";
            }
        } else if (a.type == IIAPI_MNY_TYPE || b.type == IIAPI_MNY_TYPE) {
            out = a.type == IIAPI_MNY_TYPE ? a : b;
        } else if (a.type == IIAPI_INT_TYPE && b.type == IIAPI_INT_TYPE) {
            out = intOf(std::max(a.length, b.length));
        } else {
            const int s1 = decimalScale(a), s2 = decimalScale(b);
            const int scale = std::max(s1, s2);
            const int precision = std::max(decimalDigits(a) - s1, decimalDigits(b) - s2) + scale;
            out = decimalOf(std::min(precision, kDecimalResultDigits), std::min(scale, kDecimalResultDigits));
        }
    } else if (isTextType(a.type) || isTextType(b.type)) {
        const bool national = [&] {
            for (const IngType* x : {&a, &b})
                if (x->type == IIAPI_NCHA_TYPE || x->type == IIAPI_NVCH_TYPE || x->type == IIAPI_LNVCH_TYPE)
                    return true;
            return false;
        }();
        const int ca = isTextType(a.type) ? textChars(a) : numberChars(a);
        const int cb = isTextType(b.type) ? textChars(b) : numberChars(b);
        const bool fixed = (a.type == IIAPI_CHA_TYPE || a.type == IIAPI_NCHA_TYPE) &&
                           (b.type == IIAPI_CHA_TYPE || b.type == IIAPI_NCHA_TYPE);
        std::string decl;
        if (ca < 0 || cb < 0)
            decl = national ? "long nvarchar" : "long varchar";
        else
            decl = std::string(national ? (fixed ? "nchar" : "nvarchar") : (fixed ? "char" : "varchar")) + "(" +
                   std::to_string(std::clamp(std::max(ca, cb), 1, national ? 16000 : 32000)) + ")";
        parseTypeText(decl, out, maxSegment);
    } else if (a.type == b.type && isDateTimeType(a.type)) {
        out = a.precision >= b.precision ? a : b;
    }
    out.nullable = a.nullable || b.nullable;
    return out;
}

namespace {

// The types of the values bound to the markers of the statement being described, in order;
// null while they are not known (a prepare describes before any value is bound).
thread_local const std::vector<IngType>* t_markerTypes = nullptr;

bool isNumberType(const IngType& t) {
    return t.type == IIAPI_INT_TYPE || t.type == IIAPI_FLT_TYPE || t.type == IIAPI_DEC_TYPE || t.type == IIAPI_MNY_TYPE;
}

// The number a marker's value is bound as, when it is one: the select list's markers carry their
// position ("?3").
bool boundMarkerType(const Tok& marker, IngType& out) {
    if (t_markerTypes == nullptr || marker.text.size() < 2) return false;
    const size_t n = size_t(std::atoi(marker.text.c_str() + 1));
    if (n == 0 || n > t_markerTypes->size() || !isNumberType((*t_markerTypes)[n - 1])) return false;
    out = (*t_markerTypes)[n - 1];
    return true;
}

// The types of the values bound to the markers, in order (service parameters are no markers);
// a value that is no number is left a text, to be typed by its partners.
std::vector<IngType> markerTypesOf(const std::vector<IIAPI_DESCRIPTOR>& params) {
    std::vector<IngType> out;
    for (const IIAPI_DESCRIPTOR& d : params) {
        if (d.ds_columnType == IIAPI_COL_SVCPARM) continue;
        IngType t = varcharOf(1);
        if (d.ds_dataType == IIAPI_INT_TYPE &&
            (d.ds_length == 1 || d.ds_length == 2 || d.ds_length == 4 || d.ds_length == 8)) {
            t = intOf(d.ds_length);
        } else if (d.ds_dataType == IIAPI_FLT_TYPE) {
            t = floatOf();
            if (d.ds_length == 4) {
                t.length = 4;
                t.precision = 7;
            }
        } else if (d.ds_dataType == IIAPI_DEC_TYPE && d.ds_precision >= 1 && d.ds_precision <= kDecimalResultDigits) {
            t = decimalOf(d.ds_precision, std::clamp(int(d.ds_scale), 0, int(d.ds_precision)));
        } else if ((d.ds_dataType == IIAPI_CHA_TYPE || d.ds_dataType == IIAPI_VCH_TYPE) && d.ds_scale > 0 &&
                   d.ds_scale <= kDecimalResultDigits) {
            // An exact number with fraction digits travels as its text, with its digits beside.
            const int precision = std::clamp(int(d.ds_precision), int(d.ds_scale), kDecimalResultDigits);
            t = decimalOf(precision, d.ds_scale);
        } else if (d.ds_dataType == IIAPI_MNY_TYPE) {
            t = IngType{};
            t.type = IIAPI_MNY_TYPE;
            t.length = 8;
            t.precision = 14;
            t.scale = 2;
            t.decl = "money";
        }
        out.push_back(t);
    }
    return out;
}

// A marker combined with a number takes the number's type, as the server types the parameter:
// the operand it meets first ('*' and '/' bind before '+' and '-'), else the nearest typed one.
// False when no operand but markers has a type.
bool typeMarkersByPartners(const std::vector<std::string>& ops, const std::vector<size_t>& markers,
                           std::vector<IngType>& types) {
    std::vector<bool> typed(types.size(), true);
    for (size_t k : markers) typed[k] = false;
    auto binds = [&](size_t op) { return op < ops.size() && (ops[op] == "*" || ops[op] == "/"); };
    for (size_t k : markers) {
        const bool rightFirst = binds(k) && !(k > 0 && binds(k - 1));
        bool found = false;
        for (size_t d = 1; d < types.size() && !found; ++d) {
            for (int side = 0; side < 2 && !found; ++side) {
                const bool right = (side == 0) == rightFirst;
                if (!right && k < d) continue;
                const size_t at = right ? k + d : k - d;
                if (at >= types.size() || !typed[at]) continue;
                types[k] = types[at];
                found = true;
            }
        }
        if (!found) return false;
    }
    return true;
}

// Arithmetic of typed operands, '*' and '/' before '+' and '-'; any text operand or '||' makes
// the whole a text.
bool typeArithmetic(Conn& c, const std::vector<Tok>& x, IngType& out) {
    std::vector<std::vector<Tok>> operands;
    std::vector<std::string> ops;
    std::vector<Tok> cur;
    int depth = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const Tok& k = x[i];
        if (k.text == "(") ++depth;
        if (k.text == ")") --depth;
        bool binary = depth == 0 && k.t == Tok::Punct &&
                      (k.text == "+" || k.text == "-" || k.text == "*" || k.text == "/" || k.text == "||") &&
                      !cur.empty();
        if (binary) {
            operands.push_back(cur);
            ops.push_back(k.text);
            cur.clear();
            continue;
        }
        cur.push_back(k);
    }
    if (cur.empty() || ops.empty()) return false;
    operands.push_back(cur);
    std::vector<IngType> types;
    bool anyText = std::find(ops.begin(), ops.end(), "||") != ops.end();
    // Markers whose values are not numbers, or not known yet, are typed by their partners below.
    std::vector<size_t> untypedMarkers;
    for (auto& o : operands) {
        // A sign in front of an operand leaves its type.
        std::vector<Tok> v = o;
        if (v.size() > 1 && v[0].t == Tok::Punct && (v[0].text == "-" || v[0].text == "+")) v.erase(v.begin());
        IngType t;
        if (v.size() == 1 && v[0].t == Tok::Param) {
            if (!boundMarkerType(v[0], t)) {
                untypedMarkers.push_back(types.size());
                types.push_back(t);
                continue;
            }
        } else if (!typeOperand(c, v, t)) {
            return false;
        }
        if (isTextType(t.type))
            anyText = true;
        else if (t.type == IIAPI_BOOL_TYPE)
            t = intOf(1);
        else if (t.type != IIAPI_FLT_TYPE && t.type != IIAPI_MNY_TYPE && t.type != IIAPI_DEC_TYPE &&
                 t.type != IIAPI_INT_TYPE)
            return false;
        types.push_back(t);
    }
    if (!untypedMarkers.empty() && !typeMarkersByPartners(ops, untypedMarkers, types)) return false;
    if (anyText) {
        out = varcharOf(kDefaultTextLength);
        return true;
    }
    // Terms first: runs of '*' and '/' left to right, then the sum of the terms.
    std::vector<IngType> terms{types[0]};
    std::vector<std::string> termOps;
    for (size_t k = 0; k < ops.size(); ++k) {
        if (ops[k] == "*" || ops[k] == "/") {
            terms.back() = numericResult(terms.back(), ops[k], types[k + 1]);
        } else {
            terms.push_back(types[k + 1]);
            termOps.push_back(ops[k]);
        }
    }
    out = terms[0];
    for (size_t k = 0; k < termOps.size(); ++k) out = numericResult(out, termOps[k], terms[k + 1]);
    return true;
}

// Type of an expression from its tokens; false when the engine cannot tell.
// Words that end an expression and so never name it: "x IS NOT NULL" has no alias "NULL".
bool endsExpression(const Tok& k) {
    static constexpr std::string_view words[] = {"null", "end", "true", "false", "unknown", "asc", "desc"};
    if (k.t != Tok::Word) return false;
    for (std::string_view w : words)
        if (equalsLower(k.text, w)) return true;
    return false;
}

// The type of a literal.
bool typeLiteral(const Tok& k, IngType& out) {
    if (k.t == Tok::Number) {
        if (k.text.find_first_of("eE") != std::string::npos) {
            out = floatOf();
            return true;
        }
        if (k.text.find('.') != std::string::npos) {
            Decimal d;
            if (!parseDecimal(k.text, d)) return false;
            int p = int(d.digits.size());
            if (p < d.scale + 1) p = d.scale + 1;
            if (p > 39) {
                out = floatOf();
                return true;
            }
            out = IngType{};
            out.type = IIAPI_DEC_TYPE;
            out.precision = int16_t(p);
            out.scale = int16_t(d.scale);
            out.length = uint16_t(p / 2 + 1);
            out.decl = "decimal(" + std::to_string(p) + "," + std::to_string(d.scale) + ")";
            return true;
        }
        // An integer past 64 bits is a decimal of its digits (a float past 31 of them).
        const bool negative = !k.text.empty() && k.text[0] == '-';
        std::string digits = k.text.substr(negative ? 1 : 0);
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
        const char* limit = negative ? "9223372036854775808" : "9223372036854775807";
        if (digits.size() > 19 || (digits.size() == 19 && digits > limit)) {
            if (digits.size() > size_t(kDecimalResultDigits)) {
                out = floatOf();
                return true;
            }
            out = decimalOf(int(digits.size()), 0);
            return true;
        }
        const int64_t v = digits.size() > 10 ? 0 : std::stoll(k.text);
        out = intOf(digits.size() > 10 || v > INT32_MAX || v < INT32_MIN ? 8 : 4);
        return true;
    }
    if (k.t == Tok::String) {
        size_t n = 0;
        for (size_t i = 1; i + 1 < k.text.size(); ++i) {
            if (k.text[i] == '\'' && k.text[i + 1] == '\'') ++i;
            ++n;
        }
        out = varcharOf(int(n));
        return true;
    }
    return false;
}

// The type of a call of a function fn(...) that spans the whole expression x.
bool typeFunctionCall(Conn& c, const std::vector<Tok>& x, IngType& out) {
    std::string fn = lower(x[0].text);
    std::vector<Tok> arg(x.begin() + 2, x.end() - 1);
    bool dummy;
    if (fn == "count") {
        out = intOf(4);
        return true;
    }
    if (fn == "dbmsinfo") {
        out = varcharOf(256);
        return true;
    }
    if (fn == "int1" || fn == "int2" || fn == "int4" || fn == "int8" || fn == "integer1" || fn == "integer2" ||
        fn == "integer4" || fn == "integer8") {
        out = intOf(fn.back() - '0');
        return true;
    }
    if (fn == "length" || fn == "octet_length" || fn == "locate" || fn == "size" || fn == "iiuserlen" ||
        fn == "ii_ext_length") {
        out = intOf(fn == "length" ? 2 : 4);
        return true;
    }
    if (fn == "float8" || fn == "float4" || fn == "sqrt" || fn == "exp" || fn == "log" || fn == "ln" || fn == "sin" ||
        fn == "cos" || fn == "atan" || fn == "tan" || fn == "power" || fn == "avg") {
        out = floatOf();
        if (fn == "float4") {
            out.length = 4;
            out.precision = 7;
        }
        return true;
    }
    if ((fn == "nvarchar" || fn == "nchar") && arg.size() == 1 && arg[0].t == Tok::String) {
        // As many characters as the literal has UTF-16 units: one beyond the basic plane is two.
        const std::string& q = arg[0].text;
        int n = 0;
        for (size_t k = 1; k + 1 < q.size(); ++k) {
            if (q[k] == '\'' && q[k + 1] == '\'') ++k;
            const unsigned char b = static_cast<unsigned char>(q[k]);
            if ((b & 0xC0) != 0x80) n += b >= 0xF0 ? 2 : 1;
        }
        return parseTypeText(fn + "(" + std::to_string(std::clamp(n, 1, 16000)) + ")", out, c.maxSegment);
    }
    if (fn == kDecimalDivide && !arg.empty() && arg.back().t == Tok::Number) {
        out = decimalOf(31, std::atoi(arg.back().text.c_str()));
        out.nullable = true;
        return true;
    }
    if (fn == kNonzeroGuard || fn == kDecimalNegate) return typeOperand(c, arg, out);
    if (fn == kDecimalAdd || fn == kDecimalSubtract || fn == kDecimalMultiply) {
        // The arithmetic the call stands for, typed by its operands (a marker by its value).
        std::vector<Tok> expr;
        int depth = 0;
        size_t start = 0;
        const char* op = fn == kDecimalAdd ? "+" : fn == kDecimalSubtract ? "-" : "*";
        for (size_t i = 0; i <= arg.size(); ++i) {
            if (i < arg.size() && arg[i].text == "(") ++depth;
            if (i < arg.size() && arg[i].text == ")") --depth;
            if (i < arg.size() && !(depth == 0 && arg[i].text == ",")) continue;
            const bool grouped = i - start > 1;
            if (grouped) expr.push_back({Tok::Punct, "("});
            expr.insert(expr.end(), arg.begin() + long(start), arg.begin() + long(i));
            if (grouped) expr.push_back({Tok::Punct, ")"});
            if (i < arg.size()) expr.push_back({Tok::Punct, op});
            start = i + 1;
        }
        if (!typeArithmetic(c, expr, out)) return false;
        out.nullable = true;
        return true;
    }
    if (fn == kDecimalCompare || fn == kDecimalBetween) {
        out = intOf(4);
        return true;
    }
    if (fn == "ii_cast" && arg.size() >= 3 && arg.back().t == Tok::String && arg[arg.size() - 2].text == ",") {
        const std::string& q = arg.back().text;
        return parseTypeText(q.substr(1, q.size() - 2), out, c.maxSegment);
    }
    const bool sum = fn == "sum" || fn == kDecimalSum;
    if (sum || fn == "min" || fn == "max" || fn == "abs") {
        std::vector<Tok> a = arg;
        if (!a.empty() && (wordIs(a[0], "distinct") || wordIs(a[0], "all"))) a.erase(a.begin());
        bool known = typeExpression(c, a, out, dummy) && !dummy;
        // A plain column: its declared type.
        if (!known && (a.size() == 1 || (a.size() == 3 && a[1].text == ".")) &&
            (a.back().t == Tok::Word || a.back().t == Tok::QuotedId))
            known = columnTypeByName(c, identName(a.back()), out, qualifierOf(a));
        if (!known) return false;
        out.nullable = true;
        if (sum && (out.type == IIAPI_INT_TYPE || out.type == IIAPI_BOOL_TYPE))
            out = intOf(8);
        else if (sum && out.type == IIAPI_DEC_TYPE) {
            out.precision = 31;
            out.length = 16;
            out.decl = "decimal(31," + std::to_string(out.scale) + ")";
        } else if (sum && out.type == IIAPI_FLT_TYPE) {
            out = floatOf();
        }
        return true;
    }
    if (fn == "date" || fn == "ingresdate") {
        // A time of day alone ({t '04:05:06'} arrives so) is a time, not a date of year 0.
        IIAPI_DATETIME dt;
        if (arg.size() == 1 && arg[0].t == Tok::String && arg[0].text.size() >= 2 &&
            parseDateText(std::string_view(arg[0].text).substr(1, arg[0].text.size() - 2), dt) &&
            dt.dt_kind == IIAPI_DTK_TIME)
            return parseTypeText("time(0)", out, c.maxSegment);
        out = IngType{};
        out.type = IIAPI_DATE_TYPE;
        out.length = 12;
        out.decl = "ingresdate";
        return true;
    }
    if (fn == "money") {
        parseTypeText("money", out, c.maxSegment);
        return true;
    }
    if (fn == "coalesce" || fn == "ifnull") {
        // The type the arguments share; a NULL has none.
        bool typed = false;
        int depth = 0;
        std::vector<Tok> one;
        for (size_t k = 0; k <= arg.size(); ++k) {
            if (k < arg.size() && !(depth == 0 && arg[k].text == ",")) {
                if (arg[k].text == "(") ++depth;
                if (arg[k].text == ")") --depth;
                if (arg[k].t != Tok::Space) one.push_back(arg[k]);
                continue;
            }
            if (!isNullLiteral(one)) {
                IngType t;
                if (one.empty() || !typeOperand(c, one, t)) return false;
                out = typed ? commonType(out, t, c.maxSegment) : t;
                typed = true;
            }
            one.clear();
        }
        out.nullable = true;
        return typed;
    }
    if (fn == "uppercase" || fn == "lowercase" || fn == "upper" || fn == "lower" || fn == "trim" || fn == "squeeze" ||
        fn == "left" || fn == "right" || fn == "concat" || fn == "varchar" || fn == "char" || fn == "shift" ||
        fn == "charextract" || fn == "_time" || fn == "iitypename" || fn == "substring" || fn == "substr") {
        IngType a;
        if (fn != "varchar" && fn != "char" && fn != "concat" && typeExpression(c, arg, a, dummy) &&
            (a.type == IIAPI_VCH_TYPE || a.type == IIAPI_CHA_TYPE)) {
            out = varcharOf(a.type == IIAPI_VCH_TYPE ? a.length - 2 : a.length);
            return true;
        }
        out = varcharOf(kDefaultTextLength);
        return true;
    }
    return false;
}

bool typeExpression(Conn& c, const std::vector<Tok>& e, IngType& out, bool& hasAlias) {
    hasAlias = false;
    std::vector<Tok> x = e;
    // A collation leaves the type (the engine gives one to its decimal results).
    auto collated = [&] { return x.size() >= 3 && wordIs(x[x.size() - 2], "collate"); };
    if (x.size() >= 2 && wordIs(x[x.size() - 2], "as")) {
        x.resize(x.size() - 2);
        hasAlias = true;
    } else if (!collated() && x.size() >= 2 && (x.back().t == Tok::Word || x.back().t == Tok::QuotedId) &&
               !endsExpression(x.back()) &&
               (x[x.size() - 2].t == Tok::Word || x[x.size() - 2].t == Tok::QuotedId || x[x.size() - 2].text == ")" ||
                x[x.size() - 2].t == Tok::Number || x[x.size() - 2].t == Tok::String)) {
        x.pop_back();
        hasAlias = true;
    }
    if (collated()) x.resize(x.size() - 2);
    if (x.empty()) return false;
    if (x.size() == 2 && x[0].text == "-" && x[1].t == Tok::Number) x = {Tok{Tok::Number, "-" + x[1].text}};
    // A (qualified) column name of a catalog view.
    if ((x.size() == 1 || (x.size() == 3 && x[1].text == ".")) &&
        (x.back().t == Tok::Word || x.back().t == Tok::QuotedId)) {
        if (catalogColumnType(identName(x.back()), out)) return true;
    }
    if (isNullLiteral(x)) {
        out = varcharOf(1);
        return true;
    }
    if (x.size() == 1 && x[0].t == Tok::Word) {
        // The current date and time: a date, a time and a timestamp of whole seconds (the store
        // gives them without a zone).
        const std::string w = lower(x[0].text);
        const char* decl = w == "current_date"        ? "ansidate"
                           : w == "current_time"      ? "time(0)"
                           : w == "current_timestamp" ? "timestamp(0)"
                                                      : nullptr;
        if (decl) return parseTypeText(decl, out, c.maxSegment);
    }
    if (x.size() == 1) return typeLiteral(x[0], out);
    // name ( ... ) spanning the whole expression.
    size_t closeAt = 0;
    if (x[0].t == Tok::Word && x[1].text == "(" && x.back().text == ")") {
        int depth = 0;
        for (size_t i = 1; i < x.size(); ++i) {
            if (x[i].text == "(") ++depth;
            if (x[i].text == ")" && --depth == 0) {
                closeAt = i;
                break;
            }
        }
    }
    if (closeAt != 0 && closeAt == x.size() - 1) return typeFunctionCall(c, x, out);
    if (x.size() >= 2 && x.front().text == "(" && x.back().text == ")") {
        std::vector<Tok> inner(x.begin() + 1, x.end() - 1);
        bool alias;
        if (typeExpression(c, inner, out, alias) && !alias) return true;
    }
    return typeArithmetic(c, x, out);
}

// The SELECT in parentheses after FROM, JOIN or a FROM list's comma at the top level of a
// statement: its text, for each derived table, in order.
std::vector<std::string> derivedTableTexts(const std::vector<Tok>& t) {
    std::vector<std::string> out;
    bool inFrom = false;
    int depth = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].text == "(") {
            const size_t p = prevSig(t, i);
            const bool opens = depth == 0 && p != std::string::npos &&
                               (isWord(t, p, "from") || isWord(t, p, "join") || (inFrom && t[p].text == ","));
            if (opens && isWord(t, skip(t, i + 1), "select")) {
                int inner = 0;
                for (size_t k = i; k < t.size(); ++k) {
                    if (t[k].text == "(") ++inner;
                    if (t[k].text == ")" && --inner == 0) {
                        out.push_back(join(t, i + 1, k));
                        i = k;
                        break;
                    }
                }
                continue;
            }
            ++depth;
        } else if (t[i].text == ")") {
            --depth;
        } else if (depth == 0 && t[i].t == Tok::Word) {
            if (wordIs(t[i], "from") || wordIs(t[i], "join"))
                inFrom = true;
            else if (isClauseWord(t, i))  // UNION, INTERSECT and EXCEPT among them
                inFrom = false;
        }
    }
    return out;
}

// `t` is the statement's text as tokens; none when it has none the dialect reads.
void describeSelect(Conn& c, sqlite3_stmt* st, const std::vector<Tok>& t, std::vector<IngType>& cols,
                    std::vector<std::string>& names);
void typeCompoundBranches(Conn& c, std::string_view sql, const std::vector<Tok>& t, std::vector<IngType>& cols);

// A statement's text as tokens; none when it has none the dialect reads.
std::vector<Tok> tokensOf(std::string_view sql) {
    std::vector<Tok> t;
    Fault f;
    if (!tokenize(sql, t, f)) t.clear();
    return t;
}

// The columns of a SELECT text as a statement of it is described; false when it does not compile.
bool describeText(Conn& c, const std::string& text, ViewColumns& out) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c.db, text.c_str(), -1, &st, nullptr) != SQLITE_OK || !st) {
        sqlite3_finalize(st);
        return false;
    }
    const std::vector<Tok> t = tokensOf(text);
    describeSelect(c, st, t, out.types, out.names);
    sqlite3_finalize(st);
    typeCompoundBranches(c, text, t, out.types);
    return true;
}

// What a statement reads besides its tables, looked up once a column needs it: the names it
// reads from (some of them views) and its derived tables' columns.
struct Sources {
    explicit Sources(const std::vector<Tok>& t) : statement(t) {}
    const std::vector<Tok>& statement;  // its tokens
    bool known = false;
    std::vector<std::string> tables;
    std::vector<ViewColumns> derived;
};

// A result column that reads a column of a view the statement names or of one of its derived
// tables: the type of the expression that one gives it (SQLite tells the origin of their plain
// columns only). Taken when the select list has a star or the item is the column's own name.
bool sourceColumnByName(Conn& c, const std::vector<std::vector<Tok>>& items, size_t i, const std::string& name,
                        Sources& sources, IngType& out) {
    auto star = [](const std::vector<Tok>& it) { return !it.empty() && it.back().text == "*"; };
    bool byName = i >= items.size() || std::any_of(items.begin(), items.end(), star);
    if (!byName) {
        const std::vector<Tok>& it = items[i];
        byName = !it.empty() && (it.back().t == Tok::Word || it.back().t == Tok::QuotedId) &&
                 (it.size() == 1 || (it.size() == 3 && it[1].text == ".")) &&
                 lower(identName(it.back())) == lower(name);
    }
    if (!byName) return false;
    if (!sources.known) {
        sources.known = true;
        const std::vector<Tok>& t = sources.statement;
        if (!t.empty()) {
            sources.tables = statementTables(t);
            // Markers inside a derived table are not the select list's.
            const std::vector<IngType>* saved = t_markerTypes;
            t_markerTypes = nullptr;
            for (const std::string& text : derivedTableTexts(t)) {
                ViewColumns v;
                if (describeText(c, text, v)) sources.derived.push_back(std::move(v));
            }
            t_markerTypes = saved;
        }
    }
    const std::string wanted = lower(name);
    auto find = [&](const ViewColumns& v) {
        for (size_t k = 0; k < v.names.size() && k < v.types.size(); ++k)
            if (lower(v.names[k]) == wanted) {
                out = v.types[k];
                return true;
            }
        return false;
    };
    for (const std::string& table : sources.tables)
        if (const ViewColumns* v = describeView(c, table); v && find(*v)) return true;
    for (const ViewColumns& v : sources.derived)
        if (find(v)) return true;
    return false;
}

// An item of a select list that is the literal NULL, named or not.
bool isNullItem(const std::vector<Tok>& it) {
    if (it.empty() || !isNullLiteral({it[0]})) return false;
    return it.size() == 1 || (it.size() == 2 && it[1].t != Tok::Punct) || (it.size() == 3 && isWord(it, 1, "as"));
}

// The SELECTs of a compound statement (UNION, INTERSECT, EXCEPT at its top level) after the
// first, as texts, with the count of markers before each; none for a plain SELECT. A trailing
// ORDER BY or LIMIT belongs to the whole.
struct Branch {
    std::string text;
    size_t markersBefore = 0;
};
std::vector<Branch> laterBranches(const std::vector<Tok>& t) {
    std::vector<Branch> out;
    if (!isWord(t, skip(t, 0), "select")) return out;
    int depth = 0;
    size_t markers = 0, start = std::string::npos;
    auto close = [&](size_t end) {
        if (start != std::string::npos && start < end) out.back().text = join(t, start, end);
    };
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i].text == "(") ++depth;
        if (t[i].text == ")") --depth;
        if (t[i].t == Tok::Param) ++markers;
        if (depth != 0 || t[i].t != Tok::Word) continue;
        if (isWord(t, i, "union") || isWord(t, i, "intersect") || isWord(t, i, "except")) {
            close(i);
            size_t n = skip(t, i + 1);
            if (isWord(t, n, "all") || isWord(t, n, "distinct")) n = skip(t, n + 1);
            out.push_back({std::string(), markers});
            start = n;
            i = n - 1;
        } else if (!out.empty() && (isWord(t, i, "order") || isWord(t, i, "limit"))) {
            close(i);
            start = std::string::npos;
            break;
        }
    }
    close(t.size());
    return out;
}

// A compound statement's columns take the types every branch's values share: the first
// branch's alone may not hold the others' (a longer string, a wider number), and a branch of
// NULLs has none.
void typeCompoundBranches(Conn& c, std::string_view sql, const std::vector<Tok>& t, std::vector<IngType>& cols) {
    // Most statements are none: no tokens for them.
    bool maybe = false;
    for (const char* w : {"union", "intersect", "except"})
        maybe = maybe || std::search(sql.begin(), sql.end(), w, w + std::strlen(w),
                                     [](char x, char y) { return asciiLower(x) == y; }) != sql.end();
    if (!maybe) return;
    const std::vector<Branch> branches = laterBranches(t);
    if (branches.empty()) return;
    const std::vector<std::vector<Tok>> firstItems = selectItems(t);
    std::vector<bool> typed(cols.size(), true);
    for (size_t i = 0; i < cols.size() && firstItems.size() == cols.size(); ++i) typed[i] = !isNullItem(firstItems[i]);
    const std::vector<IngType>* all = t_markerTypes;
    for (const Branch& b : branches) {
        std::vector<IngType> markers;
        if (all && b.markersBefore < all->size()) markers.assign(all->begin() + long(b.markersBefore), all->end());
        t_markerTypes = all ? &markers : nullptr;
        ViewColumns v;
        const bool described = describeText(c, b.text, v) && v.types.size() == cols.size();
        t_markerTypes = all;
        if (!described) continue;
        const std::vector<std::vector<Tok>> items = selectItems(tokensOf(b.text));
        for (size_t i = 0; i < cols.size(); ++i) {
            if (items.size() == cols.size() && isNullItem(items[i])) {
                cols[i].nullable = true;
                continue;
            }
            cols[i] = typed[i] ? commonType(cols[i], v.types[i], c.maxSegment) : v.types[i];
            if (!typed[i]) cols[i].nullable = true;
            typed[i] = true;
        }
    }
}

void describeSelect(Conn& c, sqlite3_stmt* st, const std::vector<Tok>& t, std::vector<IngType>& cols,
                    std::vector<std::string>& names) {
    int n = sqlite3_column_count(st);
    cols.assign(size_t(n), IngType{});
    names.assign(size_t(n), std::string());
    std::vector<std::vector<Tok>> items = selectItems(t);
    // Items stand for the columns one by one unless the list has a star.
    const bool aligned = items.size() == size_t(n) && std::none_of(items.begin(), items.end(), [](const auto& it) {
                             return !it.empty() && it.back().text == "*";
                         });
    Sources sources(t);  // the statement's views and derived tables, once a column needs them
    // A database made by another SQLite program has no recorded types: the look-up is not
    // compiled (and fails) at every description then. The schema is the current one here.
    sqlite3_stmt* meta =
        sqlite3_table_column_metadata(c.db, nullptr, "iiapi_columns", "ingres_type", nullptr, nullptr, nullptr, nullptr,
                                      nullptr) == SQLITE_OK
            ? keptStatement(
                  c, c.cache.columnTypes,
                  "SELECT ingres_type FROM iiapi_columns WHERE table_name = lower(?) AND column_name = lower(?)")
            : nullptr;
    const bool haveMeta = meta != nullptr;
    for (int i = 0; i < n; ++i) {
        IngType& t = cols[size_t(i)];
        const char* nm = sqlite3_column_name(st, i);
        names[size_t(i)] = nm ? nm : "";
        const char* tbl = sqlite3_column_table_name(st, i);
        const char* orig = sqlite3_column_origin_name(st, i);
        bool typed = false;
        if (tbl && orig) {
            if (haveMeta) {
                sqlite3_reset(meta);
                sqlite3_bind_text(meta, 1, tbl, -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(meta, 2, orig, -1, SQLITE_TRANSIENT);
                if (sqlite3_step(meta) == SQLITE_ROW) {
                    const char* decl = reinterpret_cast<const char*>(sqlite3_column_text(meta, 0));
                    typed = decl && parseTypeText(decl, t, c.maxSegment);
                }
            }
            if (!typed && aligned) {
                bool alias = false;
                IngType ct;
                if (typeExpression(c, items[size_t(i)], ct, alias) &&
                    (ct.type == IIAPI_CHA_TYPE || ct.type == IIAPI_INT_TYPE || ct.type == IIAPI_VCH_TYPE)) {
                    // Only catalog columns are typed by name here.
                    std::vector<Tok>& it = items[size_t(i)];
                    size_t last = it.size();
                    if (alias)
                        last =
                            it.size() >= 2 && equalsLower(it[it.size() - 2].text, "as") ? it.size() - 2 : it.size() - 1;
                    IngType byName;
                    if (last >= 1 && (it[last - 1].t == Tok::Word || it[last - 1].t == Tok::QuotedId) &&
                        catalogColumnType(identName(it[last - 1]), byName) && (last == 1 || it[last - 2].text == ".")) {
                        t = byName;
                        typed = true;
                    }
                }
            }
            if (!typed) {
                // A table made by another SQLite program: its declared type, SQLite's meaning.
                const char* decl = sqlite3_column_decltype(st, i);
                std::string d = decl ? lower(decl) : std::string();
                if (d == "integer" || d == "int") {
                    t = intOf(8);
                    typed = true;
                } else if (d == "real" || d == "double" || d == "float") {
                    t = floatOf();
                    typed = true;
                } else if (!d.empty()) {
                    typed = parseTypeText(d, t, c.maxSegment);
                }
                if (!typed) {
                    parseTypeText("long varchar", t, c.maxSegment);
                    typed = true;
                }
            }
            int notnull = 0, pk = 0, autoinc = 0;
            const char *dtype = nullptr, *coll = nullptr;
            if (sqlite3_table_column_metadata(c.db, sqlite3_column_database_name(st, i), tbl, orig, &dtype, &coll,
                                              &notnull, &pk, &autoinc) == SQLITE_OK)
                t.nullable = !notnull;
        }
        if (!typed && sourceColumnByName(c, items, size_t(i), names[size_t(i)], sources, t)) typed = true;
        if (!typed && aligned) {
            bool alias = false;
            typed = typeExpression(c, items[size_t(i)], t, alias);
            if (typed) t.nullable = true;
            // An unnamed expression is called by its position, as the server names it.
            const std::vector<Tok>& it = items[size_t(i)];
            // NULL, TRUE and FALSE are values, not names.
            const bool constant =
                it.size() == 1 && (isWord(it, 0, "null") || isWord(it, 0, "true") || isWord(it, 0, "false"));
            bool plainName = !it.empty() && (it.back().t == Tok::Word || it.back().t == Tok::QuotedId) &&
                             (it.size() == 1 || (it.size() == 3 && it[1].text == ".")) && !constant;
            if (!alias && !plainName && !(tbl && orig)) names[size_t(i)] = "col" + std::to_string(i + 1);
        }
        if (!typed) {
            t = varcharOf(kDefaultTextLength);
            t.nullable = true;
        }
    }
    // Kept for the next description (each use above is reset, bound and read at once, so one
    // made inside another's, for a view, does not disturb it).
    if (meta) {
        sqlite3_reset(meta);
        sqlite3_clear_bindings(meta);
    }
}

}  // namespace

}  // namespace dialect

namespace {

// The columns of st, its parameter markers typed as `markers` says (none: untyped).
void describeWithMarkers(Conn& c, sqlite3_stmt* st, std::string_view sql, std::vector<IngType>& cols,
                         std::vector<std::string>& names, const std::vector<IngType>* markers) {
    struct MarkerTypes {
        const std::vector<IngType>* saved = t_markerTypes;
        ~MarkerTypes() { t_markerTypes = saved; }
    } scope;
    t_markerTypes = markers;
    // Columns named in expressions are typed from the statement's own tables, as when it was
    // rewritten, not from whichever table has a column of that name.
    std::vector<Tok> tokens;
    Fault ignored;
    const bool read = tokenize(sql, tokens, ignored);
    dialect::TypeScope tables(c, tokens);
    if (!read) tokens.clear();  // the rest reads no half of a text (tokensOf)
    describeSelect(c, st, tokens, cols, names);
    typeCompoundBranches(c, sql, tokens, cols);
}

}  // namespace

void describeColumnsKept(Conn& c, sqlite3_stmt* st, std::string_view sql, const std::vector<IIAPI_DESCRIPTOR>& params,
                         StatementCache::Description& kept, std::vector<IngType>& cols,
                         std::vector<std::string>& names) {
    std::vector<IngType> markers = markerTypesOf(params);
    if (kept.known && kept.maxSegment == c.maxSegment && kept.markers == markers) {
        cols = kept.columns;
        names = kept.names;
        return;
    }
    describeWithMarkers(c, st, sql, cols, names, &markers);
    kept = {true, c.maxSegment, std::move(markers), cols, names};
}

void describeColumns(Conn& c, sqlite3_stmt* st, std::string_view sql, std::vector<IngType>& cols,
                     std::vector<std::string>& names, const std::vector<IIAPI_DESCRIPTOR>* params) {
    if (!params) return describeWithMarkers(c, st, sql, cols, names, nullptr);
    const std::vector<IngType> markers = markerTypesOf(*params);
    describeWithMarkers(c, st, sql, cols, names, &markers);
}

}  // namespace iiapi
