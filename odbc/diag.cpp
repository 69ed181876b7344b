// Reading diagnostics: SQLError, SQLGetDiagRec and SQLGetDiagField.
#include "odbc/diag.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>

#include "odbc/api_records.h"
#include "odbc/datapath.h"
#include "odbc/errtable.h"
#include "odbc/trace_link.h"
#include "util/utf.h"
#include "util/errtable.h"

namespace {

constexpr const char* kPrefix = "[Corvanta][ODBC]";
constexpr const char* kDriverPrefix = "[Corvanta][ODBC][Driver]";

EnvRecord* EnvOfHandle(const HandleBase* h) {
    switch (h->tag) {
        case kTagEnv:
            return const_cast<EnvRecord*>(static_cast<const EnvRecord*>(h));
        case kTagConn:
            return static_cast<const ConnRecord*>(h)->env;
        case kTagStmt: {
            const ConnRecord* c = static_cast<const StmtRecord*>(h)->conn;
            return c ? c->env : nullptr;
        }
        case kTagDesc: {
            const ConnRecord* c = DescOwnerConn(static_cast<const DescRecord*>(h));
            return c ? c->env : nullptr;
        }
        default:
            return nullptr;
    }
}

const ConnRecord* ConnOfHandle(const HandleBase* h) {
    switch (h->tag) {
        case kTagConn:
            return static_cast<const ConnRecord*>(h);
        case kTagStmt:
            return static_cast<const StmtRecord*>(h)->conn;
        case kTagDesc:
            return DescOwnerConn(static_cast<const DescRecord*>(h));
        default:
            return nullptr;
    }
}

// Copies text into a narrow buffer of size bytes; returns true when it was cut.
bool CopyOut(const std::string& text, SQLCHAR* dst, int64_t size) {
    if (!dst) return false;
    if (int64_t(text.size()) + 1 <= size) {
        memcpy(dst, text.c_str(), text.size() + 1);
        return false;
    }
    if (size > 0) {
        memcpy(dst, text.data(), size_t(size - 1));
        dst[size - 1] = 0;
    }
    return true;
}

}  // namespace

uint32_t DiagOdbcVersion(const HandleBase* h) {
    const EnvRecord* env = EnvOfHandle(h);
    return env ? env->odbcVersion : 3;
}

uint32_t DiagRecordCount(const HandleBase* h) {
    uint32_t n = DiagCount(h);
    return n ? n : 1;
}

uint32_t DiagFailoverScan(const HandleBase* h) {
    for (const DiagRecord* r = h->diags.head; r; r = r->next) {
        if (strstr(r->text, "Failover completed.")) return kErrFailoverCompleted;
        if (strstr(r->text, "Failover aborted.")) return kErrFailoverAborted;
    }
    return 0;
}

DiagResult DiagRead(HandleBase* h, int mode) {
    DiagResult out;
    bool byNumber = mode == 2 || h->tag == kTagDesc;
    char* text = nullptr;
    uint32_t native = 0;
    if (!byNumber) {
        text = DiagPop(h, &native);
    } else {
        int n = h->curDiagRec > 0 ? h->curDiagRec : 1;
        const DiagRecord* r = h->diags.head;
        for (int i = 1; r && i < n; ++i) r = r->next;
        if (r) {
            text = strdup(r->text);
            native = r->native;
        }
    }
    uint32_t code = 0;
    if (!text) code = h->lastError;
    if (!byNumber) h->lastError = 0;  // each code is reported once
    bool odbc3 = DiagOdbcVersion(h) == 3;

    if (text) {
        const char* t = text;
        while (*t == ' ') ++t;
        std::string body = t;
        const char* mark = strstr(t, "[SQLSTATE:");
        if (mark) {
            const char* s = mark + strlen("[SQLSTATE:");
            size_t i = 0;
            for (; i < 5 && s[i] && s[i] != ']'; ++i) out.state[i] = s[i];
            for (; i < 5; ++i) out.state[i] = ' ';
            body.resize(size_t(mark - t));
        } else {
            memcpy(out.state, "S1000", 6);
        }
        out.message = std::string(kPrefix) + body;
        out.native = native;
        out.found = true;
        free(text);
        if (GwTraceOn()) GwTrace("Returning %s", out.message.c_str());
    } else if (code) {
        if (const ErrorRow* row = ErrorRowOf(code)) {
            memcpy(out.state, row->state, 5);
            out.message = std::string(kDriverPrefix) + row->message;
        } else {
            memcpy(out.state, "S1000", 5);
            out.message = std::string(kDriverPrefix) + "Undefined errorcode (" + std::to_string(code) +
                          ").\nPlease install a newer client.";
        }
        out.found = true;
        if (GwTraceOn()) GwTrace("returning %s", out.message.c_str());
    } else {
        if (GwTraceOn()) GwTrace("returning NO_DATA_FOUND");
        return out;
    }
    if (odbc3) MapSqlStateToOdbc3(out.state);
    return out;
}

namespace {

// Writes one diagnostic into the application's buffers (SQLError and SQLGetDiagRec).
SQLRETURN DeliverRecord(const DiagResult& d, SQLCHAR* state, SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT max,
                        SQLSMALLINT* len) {
    if (len) *len = 0;
    if (!d.found) {
        if (state) memcpy(state, "00000", 6);
        if (native) *native = 0;
        if (msg && max > 0) msg[0] = 0;
        return SQL_NO_DATA;
    }
    if (state) {
        memcpy(state, d.state, 5);
        state[5] = 0;
    }
    if (native) *native = SQLINTEGER(d.native);
    if (len) *len = SQLSMALLINT(d.message.size() > 32767 ? 32767 : d.message.size());
    bool cut = CopyOut(d.message, msg, max);
    if (cut && GwTraceOn()) GwTrace("returning SUCCESS_WITH_INFO");
    return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

// String fields of SQLGetDiagField: narrow bytes or, for 'W', UTF-16 with lengths in bytes.
// States whose subclass ODBC defines rather than the SQL standard: class IM and the list ODBC
// gives for SQL_DIAG_SUBCLASS_ORIGIN.
bool OdbcDefinedSubclass(const char* state) {
    static const char* const kStates[] = {"01S00", "01S01", "01S02", "01S06", "01S07", "07S01", "08S01", "21S01",
                                          "21S02", "25S01", "25S02", "25S03", "42S01", "42S02", "42S11", "42S12",
                                          "42S21", "42S22", "HY095", "HY097", "HY098", "HY099", "HY100", "HY101",
                                          "HY105", "HY107", "HY109", "HY110", "HY111", "HYT00", "HYT01"};
    if (strncmp(state, "IM", 2) == 0) return true;
    for (const char* s : kStates)
        if (strncmp(state, s, 5) == 0) return true;
    return false;
}

SQLRETURN FieldText(const std::string& text, SQLPOINTER value, SQLSMALLINT max, SQLSMALLINT* len, char mode) {
    if (max < 0) return SQL_ERROR;  // never a copy size
    if (mode == 'W') {
        size_t units = 0;
        int r = Utf8ToWideBufBytes(text.c_str(), static_cast<SQLWCHAR*>(value), size_t(max), &units);
        if (len) *len = SQLSMALLINT(units * 2 > 32767 ? 32767 : units * 2);
        return (value && r != 0) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    }
    if (len) *len = SQLSMALLINT(text.size() > 32767 ? 32767 : text.size());
    return CopyOut(text, static_cast<SQLCHAR*>(value), max) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

template <class T>
SQLRETURN FieldInt(SQLPOINTER value, T v) {
    if (value) memcpy(value, &v, sizeof v);
    return SQL_SUCCESS;
}

}  // namespace

SQLRETURN ImplError(HandleBase* record, SQLCHAR* state, SQLINTEGER* native, SQLCHAR* msg, SQLSMALLINT max,
                    SQLSMALLINT* len) {
    if (len) *len = 0;
    if (max < 0) return SQL_ERROR;  // nothing popped, nothing stored
    DiagResult d = DiagRead(record, 1);
    return DeliverRecord(d, state, native, msg, max, len);
}

SQLRETURN ImplGetDiagRec(HandleBase* record, SQLSMALLINT rec, SQLCHAR* state, SQLINTEGER* native, SQLCHAR* msg,
                         SQLSMALLINT max, SQLSMALLINT* len) {
    if (rec > 0 && uint32_t(rec) > DiagRecordCount(record))
        return DeliverRecord(DiagResult(), state, native, msg, max, len);
    if (max < 0) return SQL_ERROR;
    record->curDiagRec = uint16_t(rec > 0 ? rec : 0);
    return DeliverRecord(DiagRead(record, 2), state, native, msg, max, len);
}

SQLRETURN ImplGetDiagField(HandleBase* record, SQLSMALLINT rec, SQLSMALLINT id, SQLPOINTER value, SQLSMALLINT max,
                           SQLSMALLINT* len, TextMode mode) {
    bool isStmt = record->tag == kTagStmt;
    auto* stmt = isStmt ? static_cast<StmtRecord*>(record) : nullptr;
    if (rec > 0 && uint32_t(rec) > DiagRecordCount(record)) return SQL_NO_DATA;

    if (rec <= 0) {  // header fields
        switch (id) {
            case SQL_DIAG_RETURNCODE:
                return SQL_SUCCESS;
            case SQL_DIAG_NUMBER:
                return FieldInt<SQLINTEGER>(value, SQLINTEGER(DiagRecordCount(record)));
            case SQL_DIAG_ROW_COUNT:
            case SQL_DIAG_CURSOR_ROW_COUNT: {
                if (!isStmt) return SQL_ERROR;
                SQLLEN count = 0;
                uint32_t code = StmtRowCount(stmt, &count);
                if (code) {
                    record->lastError = code;
                    return SQL_ERROR;
                }
                return FieldInt<SQLLEN>(value, count);
            }
            case SQL_DIAG_DYNAMIC_FUNCTION:
                if (!isStmt) return SQL_ERROR;
                return FieldText(stmt->selectFlag ? "SELECT CURSOR" : "", value, max, len, mode);
            case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
                if (!isStmt) return SQL_ERROR;
                return FieldInt<SQLINTEGER>(value, stmt->selectFlag ? 85 : 0);
            default:
                return SQL_ERROR;
        }
    }

    record->curDiagRec = uint16_t(rec);
    DiagResult d = DiagRead(record, 2);
    switch (id) {
        case SQL_DIAG_SQLSTATE:
            return FieldText(d.found ? d.state : "00000", value, max, len, mode);
        case SQL_DIAG_NATIVE:
            return FieldInt<SQLINTEGER>(value, SQLINTEGER(d.native));
        case SQL_DIAG_MESSAGE_TEXT:
            if (!d.found) return SQL_NO_DATA;
            return FieldText(d.message, value, max, len, mode);
        case SQL_DIAG_CLASS_ORIGIN:
            if (!d.found) return SQL_NO_DATA;
            return FieldText(strncmp(d.state, "IM", 2) == 0 ? "ODBC 3.0" : "ISO 9075", value, max, len, mode);
        case SQL_DIAG_SUBCLASS_ORIGIN:
            if (!d.found) return SQL_NO_DATA;
            return FieldText(OdbcDefinedSubclass(d.state) ? "ODBC 3.0" : "ISO 9075", value, max, len, mode);
        case SQL_DIAG_CONNECTION_NAME:
        case SQL_DIAG_SERVER_NAME: {
            const ConnRecord* c = ConnOfHandle(record);
            return FieldText(c && c->dsn ? c->dsn : "", value, max, len, mode);
        }
        case SQL_DIAG_ROW_NUMBER:
            if (!isStmt) return SQL_ERROR;
            return FieldInt<SQLLEN>(value, -2);
        case SQL_DIAG_COLUMN_NUMBER:
            if (!isStmt) return SQL_ERROR;
            return FieldInt<SQLINTEGER>(value, -2);
        default:
            return SQL_SUCCESS;
    }
}
