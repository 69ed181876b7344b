// The wide (W) exported functions. Input text becomes UTF-8 copies; output text is either
// written by the implementation ('W' passed last) or converted here from a UTF-8 work buffer.
#include <tuple>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "odbc/api_records.h"
#include "odbc/connattr.h"
#include "odbc/desc_field.h"
#include "odbc/export.h"
#include "odbc/gateway.h"
#include "util/errtable.h"
#include "util/utf.h"

#define API TV_EXPORT SQLRETURN SQL_API

// unixODBC declares no SQLGetTypeInfoW; the declaration here keeps the definition checked.
extern "C" SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT hstmt, SQLSMALLINT type);

namespace {

constexpr TextMode kWide = kTextWide;

// Input texts of the call under way on this thread that are not UTF-16 (a lone surrogate): the
// call is refused with 22018 before anything reads them, rather than run on a text rewritten.
thread_local int tInvalidTexts = 0;

// Checks one input text argument for the call under way; counted while it lives.
struct TextCheck {
    bool invalid = false;
    TextCheck(const SQLWCHAR* w, int64_t wlen) {
        if (w && (wlen >= 0 || wlen == SQL_NTS) && !WideTextValid(w, long(wlen))) {
            invalid = true;
            ++tInvalidTexts;
        }
    }
    ~TextCheck() {
        if (invalid) --tInvalidTexts;
    }
    TextCheck(const TextCheck&) = delete;
    TextCheck& operator=(const TextCheck&) = delete;
};

// Checks the value of an attribute or field that takes text (its length counts bytes); other
// values are numbers and pointers, never read as text.
struct AttrTextCheck : TextCheck {
    AttrTextCheck(bool text, const void* value, int64_t bytes)
        : TextCheck(text ? static_cast<const SQLWCHAR*>(value) : nullptr, bytes >= 0 ? bytes / 2 : bytes) {}
};

// A UTF-8 copy of one input text argument, with the length the implementation is to see.
struct InText {
    TextCheck check;
    char* text = nullptr;
    int64_t len = SQL_NTS;
    InText(const SQLWCHAR* w, int64_t wlen) : check(w, wlen) {
        if (!w) return;  // absent text: null with SQL_NTS
        if (wlen < 0 && wlen != SQL_NTS) {
            // A bad length stays bad, so the implementation reports it; the text is not read.
            text = strdup("");
            len = wlen;
            return;
        }
        // Not text: nothing is converted, the call is refused.
        text = check.invalid ? strdup("") : WideToUtf8Dup(w, long(wlen));
    }
    ~InText() { free(text); }
    InText(const InText&) = delete;
    InText& operator=(const InText&) = delete;
    SQLCHAR* p() const { return reinterpret_cast<SQLCHAR*>(text); }
    bool failed(const SQLWCHAR* w) const { return w && !text; }
    SQLSMALLINT s() const { return SQLSMALLINT(len); }
    SQLINTEGER i() const { return SQLINTEGER(len); }
};

// The UTF-8 work buffer of an output text argument counted in UTF-16 characters. It is made
// large enough for the whole text, so the length reported back counts characters exactly.
struct OutText {
    char* buf = nullptr;
    int64_t bytes = 0;
    bool failed = false;
    OutText(int64_t chars, int64_t workBytes) { reset(chars, workBytes); }
    void reset(int64_t chars, int64_t workBytes) {
        free(buf);
        buf = nullptr;
        if (chars < 0) {  // passed on so the implementation rejects it
            bytes = chars;
            return;
        }
        bytes = workBytes;
        buf = static_cast<char*>(calloc(size_t(workBytes) + 1, 1));
        failed = !buf;
    }
    ~OutText() { free(buf); }
    OutText(const OutText&) = delete;
    OutText& operator=(const OutText&) = delete;
    SQLCHAR* p() const { return reinterpret_cast<SQLCHAR*>(buf); }
    // Whether the implementation had to cut the text it wrote here.
    bool short_of(int64_t fullBytes) const { return buf && fullBytes > int64_t(strlen(buf)); }

    // Converts into the caller's buffer; returns true when the text was cut there.
    bool deliver(SQLWCHAR* dst, int64_t chars, int64_t* outLen) const {
        *outLen = 0;
        if (!buf) return false;
        *outLen = int64_t(Utf8CharCount(buf, TV_NTS));
        if (!dst) return false;
        if (chars <= 0) return *outLen > 0;
        size_t written = 0;
        return Utf8ToWideBuf(buf, dst, size_t(chars), &written) != 0;
    }
};

// The call through the gateway, or its refusal there (handle checks, diagnostics reset and trace
// as for the call itself) when an input text was no UTF-16.
template <class... P, class... A>
SQLRETURN CallW(const ApiCall<P...>& rec, SQLHANDLE handle, A... a) {
    if (tInvalidTexts == 0) return CallODBC(rec, handle, a...);
    static_assert(sizeof...(A) == sizeof...(P), "the call passes what the implementation takes");
    const std::tuple<A...> args{a...};
    return GatewayCall(
        rec, handle, sizeof...(P),
        [](const void* call, [[maybe_unused]] ApiArg* list) {
            std::apply(
                [&](const A&... v) {
                    [[maybe_unused]] unsigned i = 0;
                    ((list[i++] = MakeApiArg<P>(v)), ...);
                },
                *static_cast<const std::tuple<A...>*>(call));
        },
        [](const void*, HandleBase* record) -> SQLRETURN {
            if (record) record->lastError = kErrCastValue;
            return SQL_ERROR;
        },
        &args);
}

SQLRETURN Upgrade(SQLRETURN rc, bool cut) { return (rc == SQL_SUCCESS && cut) ? SQL_SUCCESS_WITH_INFO : rc; }

void StateOut(const SQLCHAR* narrow, SQLWCHAR* wide) {
    if (!wide) return;
    for (int i = 0; i < 6; ++i) wide[i] = SQLWCHAR(narrow[i]);
    wide[5] = 0;
}

// SQLErrorW and SQLGetDiagRecW share the conversion of state and message.
template <class Call>
SQLRETURN DiagOutW(SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* msg, SQLSMALLINT max, SQLSMALLINT* len, Call call) {
    OutText m(max, SHRT_MAX);
    if (m.failed) return SQL_ERROR;
    SQLCHAR st[6] = {};
    SQLSMALLINT narrowLen = 0;
    SQLRETURN rc = call(state ? st : nullptr, native, m.p(), SQLSMALLINT(m.bytes), &narrowLen);
    // A refused handle leaves the application's buffers as they were.
    if (rc == SQL_INVALID_HANDLE) return rc;
    StateOut(st, state);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
    int64_t total = 0;
    bool cut = m.deliver(msg, max, &total);
    if (len) *len = SQLSMALLINT(total > SHRT_MAX ? SHRT_MAX : total);
    return Upgrade(rc, cut);
}

}  // namespace

API SQLColAttributeW(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT field, SQLPOINTER charAttr, SQLSMALLINT max,
                     SQLSMALLINT* len, SQLLEN* numAttr) {
    return CallW(kRecColAttributeW, hstmt, icol, field, charAttr, max, len, numAttr, kWide);
}

API SQLColAttributesW(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLUSMALLINT field, SQLPOINTER desc, SQLSMALLINT max,
                      SQLSMALLINT* len, SQLLEN* numAttr) {
    return CallW(kRecColAttributesW, hstmt, icol, field, desc, max, len, numAttr, kWide);
}

#define IN_TEXT(var, w, l) \
    InText var(w, l);      \
    if (var.failed(w)) return SQL_ERROR

API SQLColumnPrivilegesW(SQLHSTMT hstmt, SQLWCHAR* cat, SQLSMALLINT cbCat, SQLWCHAR* schema, SQLSMALLINT cbSchema,
                         SQLWCHAR* table, SQLSMALLINT cbTable, SQLWCHAR* column, SQLSMALLINT cbColumn) {
    IN_TEXT(a, cat, cbCat);
    IN_TEXT(b, schema, cbSchema);
    IN_TEXT(c, table, cbTable);
    IN_TEXT(d, column, cbColumn);
    return CallW(kRecColumnPrivilegesW, hstmt, a.p(), a.s(), b.p(), b.s(), c.p(), c.s(), d.p(), d.s());
}

API SQLColumnsW(SQLHSTMT hstmt, SQLWCHAR* cat, SQLSMALLINT cbCat, SQLWCHAR* schema, SQLSMALLINT cbSchema,
                SQLWCHAR* table, SQLSMALLINT cbTable, SQLWCHAR* column, SQLSMALLINT cbColumn) {
    IN_TEXT(a, cat, cbCat);
    IN_TEXT(b, schema, cbSchema);
    IN_TEXT(c, table, cbTable);
    IN_TEXT(d, column, cbColumn);
    return CallW(kRecColumnsW, hstmt, a.p(), a.s(), b.p(), b.s(), c.p(), c.s(), d.p(), d.s());
}

API SQLConnectW(SQLHDBC hdbc, SQLWCHAR* dsn, SQLSMALLINT cbDsn, SQLWCHAR* uid, SQLSMALLINT cbUid, SQLWCHAR* pwd,
                SQLSMALLINT cbPwd) {
    TextCheck a(dsn, cbDsn), b(uid, cbUid), c(pwd, cbPwd);
    return CallW(kRecConnectW, hdbc, dsn, cbDsn, uid, cbUid, pwd, cbPwd, kWide);
}

API SQLDescribeColW(SQLHSTMT hstmt, SQLUSMALLINT icol, SQLWCHAR* name, SQLSMALLINT max, SQLSMALLINT* len,
                    SQLSMALLINT* sqltype, SQLULEN* colsize, SQLSMALLINT* scale, SQLSMALLINT* nullable) {
    OutText n(max, SHRT_MAX);
    if (n.failed) return SQL_ERROR;
    SQLSMALLINT narrowLen = 0;
    SQLRETURN rc = CallW(kRecDescribeColW, hstmt, icol, n.p(), SQLSMALLINT(n.bytes), &narrowLen, sqltype, colsize,
                         scale, nullable);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
    int64_t total = 0;
    bool cut = n.deliver(name, max, &total);
    if (len) *len = SQLSMALLINT(total > SHRT_MAX ? SHRT_MAX : total);
    return Upgrade(rc, cut);
}

API SQLDriverConnectW(SQLHDBC hdbc, SQLHWND hwnd, SQLWCHAR* in, SQLSMALLINT cbIn, SQLWCHAR* out, SQLSMALLINT cbOutMax,
                      SQLSMALLINT* pcbOut, SQLUSMALLINT completion) {
    TextCheck check(in, cbIn);
    return CallW(kRecDriverConnectW, hdbc, hwnd, in, cbIn, out, cbOutMax, pcbOut, completion, kWide);
}

API SQLErrorW(SQLHENV henv, SQLHDBC hdbc, SQLHSTMT hstmt, SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* msg,
              SQLSMALLINT max, SQLSMALLINT* len) {
    const ApiCallOf<ImplError>* rec;
    SQLHANDLE h;
    if (hstmt) {
        rec = &kRecErrorWStmt;
        h = hstmt;
    } else if (hdbc) {
        rec = &kRecErrorWDbc;
        h = hdbc;
    } else if (henv) {
        rec = &kRecErrorWEnv;
        h = henv;
    } else {
        return SQL_INVALID_HANDLE;
    }
    return DiagOutW(state, native, msg, max, len,
                    [&](SQLCHAR* st, SQLINTEGER* nat, SQLCHAR* m, SQLSMALLINT mx, SQLSMALLINT* l) {
                        return CallW(*rec, h, st, nat, m, mx, l);
                    });
}

API SQLExecDirectW(SQLHSTMT hstmt, SQLWCHAR* sql, SQLINTEGER len) {
    IN_TEXT(s, sql, len);
    return CallW(kRecExecDirectW, hstmt, s.p(), s.i());
}

API SQLForeignKeysW(SQLHSTMT hstmt, SQLWCHAR* pkCat, SQLSMALLINT cbPkCat, SQLWCHAR* pkSchema, SQLSMALLINT cbPkSchema,
                    SQLWCHAR* pkTable, SQLSMALLINT cbPkTable, SQLWCHAR* fkCat, SQLSMALLINT cbFkCat, SQLWCHAR* fkSchema,
                    SQLSMALLINT cbFkSchema, SQLWCHAR* fkTable, SQLSMALLINT cbFkTable) {
    IN_TEXT(a, pkCat, cbPkCat);
    IN_TEXT(b, pkSchema, cbPkSchema);
    IN_TEXT(c, pkTable, cbPkTable);
    IN_TEXT(d, fkCat, cbFkCat);
    IN_TEXT(e, fkSchema, cbFkSchema);
    IN_TEXT(f, fkTable, cbFkTable);
    return CallW(kRecForeignKeysW, hstmt, a.p(), a.s(), b.p(), b.s(), c.p(), c.s(), d.p(), d.s(), e.p(), e.s(), f.p(),
                 f.s());
}

API SQLGetConnectAttrW(SQLHDBC hdbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER max, SQLINTEGER* len) {
    return CallW(kRecGetConnectAttrW, hdbc, attr, value, max, len, kWide);
}

API SQLGetConnectOptionW(SQLHDBC hdbc, SQLUSMALLINT option, SQLPOINTER value) {
    return CallW(kRecGetConnectOptionW, hdbc, option, value, kWide);
}

API SQLGetCursorNameW(SQLHSTMT hstmt, SQLWCHAR* cursor, SQLSMALLINT max, SQLSMALLINT* len) {
    OutText c(max, SHRT_MAX);
    if (c.failed) return SQL_ERROR;
    SQLSMALLINT narrowLen = 0;
    SQLRETURN rc = CallW(kRecGetCursorNameW, hstmt, c.p(), SQLSMALLINT(c.bytes), &narrowLen);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
    int64_t total = 0;
    bool cut = c.deliver(cursor, max, &total);
    if (len) *len = SQLSMALLINT(total > SHRT_MAX ? SHRT_MAX : total);
    return Upgrade(rc, cut);
}

API SQLGetDescFieldW(SQLHDESC hdesc, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value, SQLINTEGER max,
                     SQLINTEGER* len) {
    return CallW(kRecGetDescFieldW, hdesc, rec, field, value, max, len, kWide);
}

API SQLGetDescRecW(SQLHDESC hdesc, SQLSMALLINT rec, SQLWCHAR* name, SQLSMALLINT max, SQLSMALLINT* len,
                   SQLSMALLINT* type, SQLSMALLINT* subtype, SQLLEN* length, SQLSMALLINT* precision, SQLSMALLINT* scale,
                   SQLSMALLINT* nullable) {
    return CallW(kRecGetDescRecW, hdesc, rec, name, max, len, type, subtype, length, precision, scale, nullable, kWide);
}

API SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER info,
                     SQLSMALLINT max, SQLSMALLINT* len) {
    const auto* r =
        DiagCallRecord(type, kRecGetDiagFieldWEnv, kRecGetDiagFieldWDbc, kRecGetDiagFieldWStmt, kRecGetDiagFieldWDesc);
    if (!r) return SQL_INVALID_HANDLE;
    return CallW(*r, handle, rec, id, info, max, len, kWide);
}

API SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT rec, SQLWCHAR* state, SQLINTEGER* native,
                   SQLWCHAR* msg, SQLSMALLINT max, SQLSMALLINT* len) {
    const auto* r =
        DiagCallRecord(type, kRecGetDiagRecWEnv, kRecGetDiagRecWDbc, kRecGetDiagRecWStmt, kRecGetDiagRecWDesc);
    if (!r) return SQL_INVALID_HANDLE;
    return DiagOutW(state, native, msg, max, len,
                    [&](SQLCHAR* st, SQLINTEGER* nat, SQLCHAR* m, SQLSMALLINT mx, SQLSMALLINT* l) {
                        return CallW(*r, handle, rec, st, nat, m, mx, l);
                    });
}

API SQLGetInfoW(SQLHDBC hdbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* len) {
    return CallW(kRecGetInfoW, hdbc, type, value, max, len, kWide);
}

API SQLGetStmtAttrW(SQLHSTMT hstmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER max, SQLINTEGER* len) {
    return CallW(kRecGetStmtAttrW, hstmt, attr, value, max, len);
}

API SQLGetTypeInfoW(SQLHSTMT hstmt, SQLSMALLINT type) { return CallW(kRecGetTypeInfoW, hstmt, type); }

API SQLNativeSqlW(SQLHDBC hdbc, SQLWCHAR* in, SQLINTEGER cbIn, SQLWCHAR* out, SQLINTEGER max, SQLINTEGER* len) {
    IN_TEXT(s, in, cbIn);
    int64_t work = max > 0 ? int64_t(max) * 4 : 256;
    if (work > INT_MAX - 1) work = INT_MAX - 1;
    OutText o(max, work);
    if (o.failed) return SQL_ERROR;
    SQLINTEGER narrowLen = 0;
    SQLRETURN rc = CallW(kRecNativeSqlW, hdbc, s.p(), s.i(), o.p(), SQLINTEGER(o.bytes), &narrowLen);
    if ((rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) && o.short_of(narrowLen) && narrowLen < INT_MAX - 1) {
        // Translation has no side effects: ask again with room for the whole text.
        o.reset(max, narrowLen);
        if (o.failed) return SQL_ERROR;
        rc = CallW(kRecNativeSqlW, hdbc, s.p(), s.i(), o.p(), SQLINTEGER(o.bytes), &narrowLen);
    }
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
    int64_t total = 0;
    bool cut = o.deliver(out, max, &total);
    if (len) *len = SQLINTEGER(total > INT_MAX ? INT_MAX : total);
    return Upgrade(rc, cut);
}

API SQLPrepareW(SQLHSTMT hstmt, SQLWCHAR* sql, SQLINTEGER len) {
    IN_TEXT(s, sql, len);
    return CallW(kRecPrepareW, hstmt, s.p(), s.i());
}

API SQLPrimaryKeysW(SQLHSTMT hstmt, SQLWCHAR* cat, SQLSMALLINT cbCat, SQLWCHAR* schema, SQLSMALLINT cbSchema,
                    SQLWCHAR* table, SQLSMALLINT cbTable) {
    IN_TEXT(a, cat, cbCat);
    IN_TEXT(b, schema, cbSchema);
    IN_TEXT(c, table, cbTable);
    return CallW(kRecPrimaryKeysW, hstmt, a.p(), a.s(), b.p(), b.s(), c.p(), c.s());
}

API SQLProcedureColumnsW(SQLHSTMT hstmt, SQLWCHAR* cat, SQLSMALLINT cbCat, SQLWCHAR* schema, SQLSMALLINT cbSchema,
                         SQLWCHAR* proc, SQLSMALLINT cbProc, SQLWCHAR* column, SQLSMALLINT cbColumn) {
    IN_TEXT(a, cat, cbCat);
    IN_TEXT(b, schema, cbSchema);
    IN_TEXT(c, proc, cbProc);
    IN_TEXT(d, column, cbColumn);
    return CallW(kRecProcedureColumnsW, hstmt, a.p(), a.s(), b.p(), b.s(), c.p(), c.s(), d.p(), d.s());
}

API SQLProceduresW(SQLHSTMT hstmt, SQLWCHAR* cat, SQLSMALLINT cbCat, SQLWCHAR* schema, SQLSMALLINT cbSchema,
                   SQLWCHAR* proc, SQLSMALLINT cbProc) {
    IN_TEXT(a, cat, cbCat);
    IN_TEXT(b, schema, cbSchema);
    IN_TEXT(c, proc, cbProc);
    return CallW(kRecProceduresW, hstmt, a.p(), a.s(), b.p(), b.s(), c.p(), c.s());
}

API SQLSetConnectAttrW(SQLHDBC hdbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
    AttrTextCheck check(ConnOptionTakesText(attr), value, len);
    return CallW(kRecSetConnectAttrW, hdbc, attr, value, len, kWide);
}

API SQLSetConnectOptionW(SQLHDBC hdbc, SQLUSMALLINT option, SQLULEN value) {
    AttrTextCheck check(ConnOptionTakesText(option), reinterpret_cast<const void*>(uintptr_t(value)), SQL_NTS);
    return CallW(kRecSetConnectOptionW, hdbc, option, value, kWide);
}

API SQLSetCursorNameW(SQLHSTMT hstmt, SQLWCHAR* cursor, SQLSMALLINT len) {
    IN_TEXT(c, cursor, len);
    return CallW(kRecSetCursorNameW, hstmt, c.p(), c.s());
}

API SQLSetDescFieldW(SQLHDESC hdesc, SQLSMALLINT rec, SQLSMALLINT field, SQLPOINTER value, SQLINTEGER len) {
    AttrTextCheck check(DescFieldTakesText(field), value, len);
    return CallW(kRecSetDescFieldW, hdesc, rec, field, value, len, kWide);
}

// No statement attribute takes text: every value is a number or a pointer.
API SQLSetStmtAttrW(SQLHSTMT hstmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER len) {
    return CallW(kRecSetStmtAttrW, hstmt, attr, value, len, kWide);
}

API SQLSpecialColumnsW(SQLHSTMT hstmt, SQLUSMALLINT coltype, SQLWCHAR* cat, SQLSMALLINT cbCat, SQLWCHAR* schema,
                       SQLSMALLINT cbSchema, SQLWCHAR* table, SQLSMALLINT cbTable, SQLUSMALLINT scope,
                       SQLUSMALLINT nullable) {
    IN_TEXT(a, cat, cbCat);
    IN_TEXT(b, schema, cbSchema);
    IN_TEXT(c, table, cbTable);
    return CallW(kRecSpecialColumnsW, hstmt, coltype, a.p(), a.s(), b.p(), b.s(), c.p(), c.s(), scope, nullable);
}

API SQLStatisticsW(SQLHSTMT hstmt, SQLWCHAR* cat, SQLSMALLINT cbCat, SQLWCHAR* schema, SQLSMALLINT cbSchema,
                   SQLWCHAR* table, SQLSMALLINT cbTable, SQLUSMALLINT unique, SQLUSMALLINT accuracy) {
    IN_TEXT(a, cat, cbCat);
    IN_TEXT(b, schema, cbSchema);
    IN_TEXT(c, table, cbTable);
    return CallW(kRecStatisticsW, hstmt, a.p(), a.s(), b.p(), b.s(), c.p(), c.s(), unique, accuracy);
}

API SQLTablePrivilegesW(SQLHSTMT hstmt, SQLWCHAR* cat, SQLSMALLINT cbCat, SQLWCHAR* schema, SQLSMALLINT cbSchema,
                        SQLWCHAR* table, SQLSMALLINT cbTable) {
    IN_TEXT(a, cat, cbCat);
    IN_TEXT(b, schema, cbSchema);
    IN_TEXT(c, table, cbTable);
    return CallW(kRecTablePrivilegesW, hstmt, a.p(), a.s(), b.p(), b.s(), c.p(), c.s());
}

API SQLTablesW(SQLHSTMT hstmt, SQLWCHAR* cat, SQLSMALLINT cbCat, SQLWCHAR* schema, SQLSMALLINT cbSchema,
               SQLWCHAR* table, SQLSMALLINT cbTable, SQLWCHAR* type, SQLSMALLINT cbType) {
    IN_TEXT(a, cat, cbCat);
    IN_TEXT(b, schema, cbSchema);
    IN_TEXT(c, table, cbTable);
    IN_TEXT(d, type, cbType);
    return CallW(kRecTablesW, hstmt, a.p(), a.s(), b.p(), b.s(), c.p(), c.s(), d.p(), d.s());
}
