// OpenAPI session layer: every asynchronous call is completed by polling IIapi_wait.
#include "drv_ingii/ingutil.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "util/errtable.h"
#include "util/strutil.h"

void IngStringRowFree(IngStringRow* row) {
    if (row == nullptr) return;
    for (uint32_t i = 0; row->values && i < row->count; ++i) std::free(row->values[i]);
    std::free(row->values);
    row->values = nullptr;
    row->count = 0;
}

const char* IIStatusName(IIAPI_STATUS status) {
    switch (status) {
        case IIAPI_ST_SUCCESS:
            return "IIAPI_ST_SUCCESS";
        case IIAPI_ST_MESSAGE:
            return "IIAPI_ST_MESSAGE";
        case IIAPI_ST_WARNING:
            return "IIAPI_ST_WARNING";
        case IIAPI_ST_NO_DATA:
            return "IIAPI_ST_NO_DATA";
        case IIAPI_ST_ERROR:
            return "IIAPI_ST_ERROR";
        case IIAPI_ST_FAILURE:
            return "IIAPI_ST_FAILURE";
        case IIAPI_ST_NOT_INITIALIZED:
            return "IIAPI_ST_NOT_INITIALIZED";
        case IIAPI_ST_INVALID_HANDLE:
            return "IIAPI_ST_INVALID_HANDLE";
        case IIAPI_ST_OUT_OF_MEMORY:
            return "!!!Check your II_SYSTEM variable (IIAPI_ST_OUT_OF_MEMORY)";
        default:
            return "(unknown status)";
    }
}

uint32_t IIInitialize(void** envCell) {
    IIAPI_INITPARM in{};
    in.in_version = IIAPI_VERSION_8;
    in.in_timeout = -1;
    IIapi_initialize(&in);
    if (in.in_status != IIAPI_ST_SUCCESS) {
        IngLog(LOGL_ALERT, "Error in IIapi_initialize: in_status = %s", IIStatusName(in.in_status));
        return kErrGeneral;
    }
    *envCell = in.in_envHandle;
    IIAPI_SETENVPRMPARM se{};
    II_LONG segment = 8192;
    se.se_envHandle = in.in_envHandle;
    se.se_paramID = IIAPI_EP_MAX_SEGMENT_LEN;
    se.se_paramValue = &segment;
    IIapi_setEnvParam(&se);
    return 0;
}

uint32_t IITerminate(void** envCell) {
    IIAPI_RELENVPARM re{};
    re.re_envHandle = *envCell;
    IIapi_releaseEnv(&re);
    *envCell = nullptr;
    IIAPI_TERMPARM tm{};
    IIapi_terminate(&tm);
    return tm.tm_status == IIAPI_ST_SUCCESS ? kErrNone : kErrGeneral;
}

uint32_t IIDrainErrors(void* errorHandle, IngDiagList* list) {
    uint32_t result = 0;
    for (;;) {
        IIAPI_GETEINFOPARM ge{};
        ge.ge_errorHandle = errorHandle;
        IIapi_getErrorInfo(&ge);
        if (ge.ge_status != IIAPI_ST_SUCCESS) break;
        IngDiagPostServer(&result, ge.ge_SQLSTATE, ge.ge_message ? ge.ge_message : "NULL", ge.ge_errorCode, list);
    }
    return result;
}

uint32_t IIWaitCompletionSlow(IIAPI_GENPARM* header, IngDiagList* list) {
    while (!header->gp_completed) {
        IIAPI_WAITPARM wt{};
        wt.wt_timeout = 100000;
        IIapi_wait(&wt);
    }
    switch (header->gp_status) {
        case IIAPI_ST_SUCCESS:
        case IIAPI_ST_MESSAGE:
        case IIAPI_ST_WARNING:
            return 0;
        case IIAPI_ST_NO_DATA:
            return kErrNoData;
        default:
            break;
    }
    if (header->gp_errorHandle != nullptr && list != nullptr)
        if (uint32_t code = IIDrainErrors(header->gp_errorHandle, list)) return code;
    // A failure the interface gave no message for is named by its status.
    const bool memory = header->gp_status == IIAPI_ST_OUT_OF_MEMORY;
    const uint32_t code = memory ? kErrNoMemory : kErrGeneral;
    if (list != nullptr) {
        char text[96];
        std::snprintf(text, sizeof text, "the OpenAPI call failed with %s and no message",
                      memory ? "IIAPI_ST_OUT_OF_MEMORY" : IIStatusName(header->gp_status));
        IngDiagPostDriver(list, text, code);
    }
    return code;
}

uint32_t IISetConnParam(void** connCell, II_LONG paramId, const char* value, IngDiagList* list) {
    IIAPI_SETCONPRMPARM sc{};
    sc.sc_connHandle = *connCell;
    sc.sc_paramID = paramId;
    sc.sc_paramValue = const_cast<char*>(value);
    IIapi_setConnectParam(&sc);
    uint32_t rc = IIWaitCompletion(&sc.sc_genParm, list);
    if (rc == 0) *connCell = sc.sc_connHandle;
    return rc;
}

uint32_t IIDisconnect(IngConn* c) {
    IIAPI_DISCONNPARM dc{};
    dc.dc_connHandle = c->connHandle;
    IIapi_disconnect(&dc);
    uint32_t rc = IIWaitCompletion(&dc.dc_genParm, &c->messages);
    if (rc == 0) c->connHandle = nullptr;
    return rc;
}

uint32_t IICommit(IngConn* c) {
    if (c->tranHandle == nullptr) return 0;
    IIAPI_COMMITPARM cm{};
    cm.cm_tranHandle = c->tranHandle;
    IIapi_commit(&cm);
    uint32_t rc = IIWaitCompletion(&cm.cm_genParm, &c->messages);
    if (rc == 0) c->tranHandle = nullptr;
    return rc;
}

uint32_t IIRollback(IngConn* c) {
    if (c->tranHandle == nullptr) return 0;
    IIAPI_ROLLBACKPARM rb{};
    rb.rb_tranHandle = c->tranHandle;
    IIapi_rollback(&rb);
    uint32_t rc = IIWaitCompletion(&rb.rb_genParm, &c->messages);
    if (rc == 0) c->tranHandle = nullptr;
    return rc;
}

uint32_t IICloseStmt(void** stmtCell, IngDiagList* list) {
    if (stmtCell == nullptr || *stmtCell == nullptr) return 0;
    IIAPI_CLOSEPARM cl{};
    cl.cl_stmtHandle = *stmtCell;
    IIapi_close(&cl);
    uint32_t rc = IIWaitCompletion(&cl.cl_genParm, list);
    // The engine releases the statement also when it had failed.
    *stmtCell = nullptr;
    return rc;
}

uint32_t IICancel(void** stmtCell, IngDiagList* list) {
    if (stmtCell == nullptr || *stmtCell == nullptr) return 0;
    IIAPI_CANCELPARM cn{};
    cn.cn_stmtHandle = *stmtCell;
    IIapi_cancel(&cn);
    return IIWaitCompletion(&cn.cn_genParm, list);
}

uint32_t IIGetDescriptor(IIAPI_GETDESCRPARM* out, void* stmtHandle, IngDiagList* list) {
    if (out == nullptr) return kErrBadArg;
    *out = IIAPI_GETDESCRPARM{};
    out->gd_stmtHandle = stmtHandle;
    IIapi_getDescriptor(out);
    uint32_t rc = IIWaitCompletion(&out->gd_genParm, list);
    if (rc == kErrNoData) {
        out->gd_descriptorCount = 0;
        out->gd_descriptor = nullptr;
        return 0;
    }
    return rc;
}

uint32_t IIGetQueryInfo(void* stmtHandle, uint32_t* rowCount, int32_t* procReturn, IngDiagList* list) {
    IIAPI_GETQINFOPARM gq{};
    gq.gq_stmtHandle = stmtHandle;
    IIapi_getQueryInfo(&gq);
    uint32_t rc = IIWaitCompletion(&gq.gq_genParm, list);
    if (rowCount) *rowCount = (gq.gq_mask & IIAPI_GQ_ROW_COUNT) ? uint32_t(gq.gq_rowCount) : 0;
    if (procReturn) *procReturn = (gq.gq_mask & IIAPI_GQ_PROCEDURE_RET) ? gq.gq_procedureReturn : 0;
    return rc;
}

namespace {
std::atomic<IngQueryHookFn> g_queryHook{nullptr};
}

void IngSetQueryHook(IngQueryHookFn hook) { g_queryHook.store(hook); }

uint32_t IIExecImmediate(void** connCell, void** tranCell, const char* text, uint32_t* rowCount, IngDiagList* list) {
    if (IngQueryHookFn hook = g_queryHook.load()) hook(text);
    IIAPI_QUERYPARM qy{};
    qy.qy_connHandle = *connCell;
    qy.qy_queryType = IIAPI_QT_QUERY;
    qy.qy_queryText = const_cast<char*>(text);
    qy.qy_parameters = II_FALSE;
    qy.qy_tranHandle = *tranCell;
    IIapi_query(&qy);
    uint32_t rc = IIWaitCompletion(&qy.qy_genParm, list);
    void* stmt = qy.qy_stmtHandle;
    if (rc == 0) {
        *tranCell = qy.qy_tranHandle;
        rc = IIGetQueryInfo(stmt, rowCount, nullptr, list);
    }
    IICloseStmt(&stmt, nullptr);
    return rc;
}

uint32_t IISetLockMode(IngConn* c, const char* lockWord) {
    char text[128];
    std::snprintf(text, sizeof text, "SET LOCKMODE SESSION WHERE LEVEL = PAGE, READLOCK = %.16s", lockWord);
    return IIExecImmediate(&c->connHandle, &c->tranHandle, text, nullptr, &c->messages);
}

uint32_t IISetSession(IngConn* c, const char* isolationText) {
    std::string text = "SET SESSION ";
    text += c->readOnlyConnected ? "READ ONLY " : "READ WRITE ";
    text += ", ";
    text += isolationText;
    return IIExecImmediate(&c->connHandle, &c->tranHandle, text.c_str(), nullptr, &c->messages);
}

// One value as text; null when memory runs short.
static char* ValueToText(const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v) {
    if (v.dv_null) return strdup("");
    const char* p = static_cast<const char*>(v.dv_value);
    char num[64];
    switch (d.ds_dataType) {
        case IIAPI_CHA_TYPE:
        case IIAPI_CHR_TYPE:
            return strndup(p, v.dv_length);
        case IIAPI_VCH_TYPE:
        case IIAPI_TXT_TYPE:
        case IIAPI_LTXT_TYPE: {
            uint16_t n = 0;
            if (v.dv_length >= 2) std::memcpy(&n, p, 2);
            if (n > v.dv_length - 2) n = uint16_t(v.dv_length >= 2 ? v.dv_length - 2 : 0);
            return strndup(p + 2, n);
        }
        case IIAPI_INT_TYPE: {
            long long x = 0;
            if (v.dv_length == 1)
                x = *reinterpret_cast<const int8_t*>(p);
            else if (v.dv_length == 2) {
                int16_t t;
                std::memcpy(&t, p, 2);
                x = t;
            } else if (v.dv_length == 4) {
                int32_t t;
                std::memcpy(&t, p, 4);
                x = t;
            } else if (v.dv_length == 8) {
                int64_t t;
                std::memcpy(&t, p, 8);
                x = t;
            }
            std::snprintf(num, sizeof num, "%lld", x);
            return strdup(num);
        }
        case IIAPI_FLT_TYPE: {
            double x = 0;
            if (v.dv_length == 4) {
                float t;
                std::memcpy(&t, p, 4);
                x = t;
            } else if (v.dv_length == 8)
                std::memcpy(&x, p, 8);
            std::snprintf(num, sizeof num, "%.15g", x);
            return strdup(num);
        }
        default:
            break;
    }
    // Anything else through the engine's conversion to VARCHAR.
    const uint16_t cap = 4002;
    char* buf = static_cast<char*>(std::malloc(cap));
    if (buf == nullptr) return nullptr;
    IIAPI_CONVERTPARM cv{};
    cv.cv_srcDesc = d;
    cv.cv_srcValue = v;
    cv.cv_dstDesc.ds_dataType = IIAPI_VCH_TYPE;
    cv.cv_dstDesc.ds_length = cap;
    cv.cv_dstValue.dv_value = buf;
    IIapi_convertData(&cv);
    char* out = nullptr;
    if (cv.cv_status == IIAPI_ST_SUCCESS && cv.cv_dstValue.dv_length >= 2) {
        uint16_t n;
        std::memcpy(&n, buf, 2);
        if (n > cap - 2) n = cap - 2;
        out = strndup(buf + 2, n);
    } else {
        out = strdup("");
    }
    std::free(buf);
    return out;
}

namespace {
// A singleton select with its descriptors and one row of values.
struct SingleRow {
    void* stmt = nullptr;
    int16_t count = 0;
    IIAPI_DESCRIPTOR* desc = nullptr;
    IIAPI_DATAVALUE* values = nullptr;
    ~SingleRow() {
        for (int i = 0; values && i < count; ++i) std::free(values[i].dv_value);
        std::free(values);
        IICloseStmt(&stmt, nullptr);
    }
};

// Runs the singleton select up to its descriptors.
uint32_t OpenSingle(void** connCell, void** tranCell, const char* text, SingleRow& r, IngDiagList* list) {
    IIAPI_QUERYPARM qy{};
    qy.qy_connHandle = *connCell;
    qy.qy_queryType = IIAPI_QT_SELECT_SINGLE;
    qy.qy_queryText = const_cast<char*>(text);
    qy.qy_tranHandle = *tranCell;
    IIapi_query(&qy);
    r.stmt = qy.qy_stmtHandle;
    uint32_t rc = IIWaitCompletion(&qy.qy_genParm, list);
    if (rc) return rc;
    *tranCell = qy.qy_tranHandle;
    IIAPI_GETDESCRPARM gd{};
    rc = IIGetDescriptor(&gd, r.stmt, list);
    if (rc) return rc;
    r.count = gd.gd_descriptorCount;
    r.desc = gd.gd_descriptor;
    return 0;
}

// Fetches the row: the wait's code (82 when there is none), 15 when more than one came.
uint32_t FetchSingle(SingleRow& r, IngDiagList* list) {
    r.values = static_cast<IIAPI_DATAVALUE*>(std::calloc(size_t(r.count), sizeof(IIAPI_DATAVALUE)));
    if (r.values == nullptr) return kErrNoMemory;
    for (int i = 0; i < r.count; ++i) {
        r.values[i].dv_value = std::calloc(1, r.desc[i].ds_length + 1u);
        if (r.values[i].dv_value == nullptr) return kErrNoMemory;
    }
    IIAPI_GETCOLPARM gc{};
    gc.gc_stmtHandle = r.stmt;
    gc.gc_rowCount = 1;
    gc.gc_columnCount = r.count;
    gc.gc_columnData = r.values;
    IIapi_getColumns(&gc);
    uint32_t rc = IIWaitCompletion(&gc.gc_genParm, list);
    if (rc) return rc;
    if (gc.gc_rowsReturned > 1) return kErrGeneral;
    if (gc.gc_rowsReturned < 1) return kErrNoData;
    return 0;
}
}  // namespace

uint32_t IISelectStrings(void** connCell, void** tranCell, const char* text, IngStringRow* row, IngDiagList* list) {
    row->count = 0;
    row->values = nullptr;
    SingleRow r;
    uint32_t rc = OpenSingle(connCell, tranCell, text, r, list);
    if (rc) return rc;
    if (r.count <= 0) return kErrNoData;
    rc = FetchSingle(r, list);
    if (rc) return rc;
    char** values = static_cast<char**>(std::calloc(size_t(r.count), sizeof(char*)));
    if (values == nullptr) return kErrNoMemory;
    for (int i = 0; i < r.count; ++i) {
        values[i] = ValueToText(r.desc[i], r.values[i]);
        if (values[i] == nullptr) {
            for (int k = 0; k < i; ++k) std::free(values[k]);
            std::free(values);
            return kErrNoMemory;
        }
    }
    row->count = uint32_t(r.count);
    row->values = values;
    rc = IIGetQueryInfo(r.stmt, nullptr, nullptr, list);
    if (rc) IngStringRowFree(row);
    return rc;
}

uint32_t IISelectCount(void** connCell, void** tranCell, const char* text, uint32_t* out, IngDiagList* list) {
    *out = 0;
    SingleRow r;
    uint32_t rc = OpenSingle(connCell, tranCell, text, r, list);
    if (rc) return rc;
    if (r.count != 1) return kErrNoData;
    rc = FetchSingle(r, list);
    if (rc == kErrNoData) return kErrGeneral;
    if (rc) return rc;
    const IIAPI_DATAVALUE& v = r.values[0];
    if (r.desc[0].ds_dataType == IIAPI_INT_TYPE && !v.dv_null) {
        const char* p = static_cast<const char*>(v.dv_value);
        if (v.dv_length == 1)
            *out = uint32_t(int32_t(*reinterpret_cast<const int8_t*>(p)));
        else if (v.dv_length == 2) {
            int16_t t;
            std::memcpy(&t, p, 2);
            *out = uint32_t(int32_t(t));
        } else if (v.dv_length == 4) {
            int32_t t;
            std::memcpy(&t, p, 4);
            *out = uint32_t(t);
        }
    }
    return IIGetQueryInfo(r.stmt, nullptr, nullptr, list);
}

void IIFoldIdentifier(char* text, uint32_t quotedCase, uint32_t plainCase) {
    if (text == nullptr || text[0] == '\0') return;
    uint32_t how = plainCase;
    if (text[0] == '\'' || text[0] == '"') {
        size_t n = std::strlen(text);
        // Drop the quotes; a lone quote leaves an empty text.
        if (n >= 2) {
            std::memmove(text, text + 1, n - 2);
            text[n - 2] = '\0';
        } else {
            text[0] = '\0';
        }
        how = quotedCase;
    }
    for (char* p = text; *p; ++p) {
        if (how == 1)
            *p = AsciiUpper(*p);
        else if (how == 2)
            *p = AsciiLower(*p);
    }
}

int MonthFromAbbrev(const char* text) {
    static const char months[] = "janfebmaraprmayjunjulaugsepoctnovdec";
    if (text == nullptr) return 0;
    for (int m = 0; m < 12; ++m)
        if (std::strncmp(text, months + 3 * m, 3) == 0) return m + 1;
    return 0;
}

int32_t IngVersionNumber(const char* versionText) {
    if (versionText == nullptr) return 0;
    std::string text = versionText;
    size_t pos = 0;
    if (!text.empty() && text[0] == '6') {
        if (text.size() > 1) text[1] = '6';
        text[0] = '.';
    } else {
        // Skip whole words until one begins with a digit.
        while (pos < text.size()) {
            while (pos < text.size() && text[pos] == ' ') ++pos;
            if (pos >= text.size() || std::isdigit(static_cast<unsigned char>(text[pos]))) break;
            while (pos < text.size() && text[pos] != ' ') ++pos;
        }
    }
    char major[3] = "0", minor[3] = "0", level[5] = "0";
    char* field = major;
    size_t room = 2, at = 0;
    for (; pos < text.size(); ++pos) {
        char ch = text[pos];
        if (ch == ' ' || ch == '(') break;
        if (ch == '.') {
            field = minor, room = 2, at = 0;
        } else if (ch == '/') {
            field = level, room = 4, at = 0;
        } else if (std::isdigit(static_cast<unsigned char>(ch)) && at < room) {
            field[at++] = ch;
        }
    }
    char digits[9] = "00000000";
    size_t lm = std::strlen(major), ln = std::strlen(minor), ll = std::strlen(level);
    std::memcpy(digits + 2 - lm, major, lm);
    std::memcpy(digits + 2, minor, ln);
    std::memcpy(digits + 8 - ll, level, ll);
    return int32_t(std::strtol(digits, nullptr, 10));
}

static const char kProbeQuery[] =
    "SELECT dbmsinfo('database'), dbmsinfo('username'),  dbmsinfo('db_name_case'), "
    "dbmsinfo('db_delimited_case'),  dbmsinfo('_version'), dbmsinfo('charset'),  dbmsinfo('unicode_level')";

int32_t IIConnect(IngConn* c, const XID* xid) {
    const bool withXid = xid != nullptr;
    if (c->group) IISetConnParam(&c->connHandle, IIAPI_CP_GROUP_ID, c->group, &c->messages);
    if (c->effectiveUser) IISetConnParam(&c->connHandle, IIAPI_CP_EFFECTIVE_USER, c->effectiveUser, &c->messages);
    if (c->dbmsPassword) IISetConnParam(&c->connHandle, IIAPI_CP_DBMS_PASSWORD, c->dbmsPassword, &c->messages);
    if (c->role) IISetConnParam(&c->connHandle, IIAPI_CP_ROLE_ID, c->role, &c->messages);
    IISetConnParam(&c->connHandle, IIAPI_CP_DECIMAL_CHAR, ".", &c->messages);

    void* tranId = nullptr;
    if (withXid && IIRegisterXid(xid, &tranId) != 0) return -4;

    IIAPI_CONNPARM co{};
    co.co_target = c->database;
    co.co_username = c->user;
    co.co_password = c->password;
    co.co_timeout = -1;
    co.co_connHandle = c->connHandle;
    co.co_tranHandle = tranId;
    co.co_type = IIAPI_CT_SQL;
    IIapi_connect(&co);
    uint32_t rc = IIWaitCompletion(&co.co_genParm, &c->messages);
    if (rc != 0) {
        // A refused session may still have handed back a handle to release.
        void* env = c->server ? c->server->env : nullptr;
        if (co.co_connHandle != nullptr && co.co_connHandle != env) {
            IIAPI_DISCONNPARM dc{};
            dc.dc_connHandle = co.co_connHandle;
            IIapi_disconnect(&dc);
            IIWaitCompletion(&dc.dc_genParm, nullptr);
            c->connHandle = env;
        }
        if (withXid) IIReleaseXid(xid, &tranId);
        return withXid ? -4 : int32_t(rc);
    }
    c->connHandle = co.co_connHandle;
    c->tranHandle = co.co_tranHandle;
    c->sizeAdvise = co.co_sizeAdvise;
    c->apiLevel = co.co_apiLevel;

    auto fail = [&](int32_t code) {
        if (withXid) IIReleaseXid(xid, &tranId);
        c->tranHandle = nullptr;
        IIDisconnect(c);
        return withXid ? -3 : code;
    };
    if (c->apiLevel < 1) {
        IngLog(LOGL_WARNING, "The connection doesn't support IIAPI_LEVEL_1 and higher");
        char text[96];
        std::snprintf(text, sizeof text, "the server's OpenAPI level is %d: the driver needs level 1 or higher",
                      int(c->apiLevel));
        IngDiagPostDriver(&c->messages, text, kErrGeneral);
        return fail(kErrGeneral);
    }
    IngStringRow row{};
    rc = IISelectStrings(&c->connHandle, &c->tranHandle, kProbeQuery, &row, &c->messages);
    if (rc != 0 || row.count < 7) {
        IngStringRowFree(&row);
        return fail(kErrGeneral);
    }
    c->probed = 1;
    std::free(c->dbName);
    std::free(c->userName);
    std::free(c->versionText);
    c->dbName = strdup(row.values[0]);
    c->userName = strdup(row.values[1]);
    c->versionText = strdup(row.values[4]);
    c->nameCase = AsciiCaseCompare(row.values[2], "UPPER") == 0 ? 1 : 2;
    c->delimitedCase = AsciiCaseCompare(row.values[3], "MIXED") == 0 ? 3 : 2;
    c->versionNumber = IngVersionNumber(row.values[4]);
    c->maxStringLen = c->maxCharLen = c->versionNumber < kIngVersionLargeStrings ? 2000 : 32000;
    if (AsciiCaseCompare(row.values[5], "UTF8") == 0 && c->versionNumber >= kIngVersionLargeStrings) c->maxCharLen /= 2;
    c->unicodeSupported = std::strcmp(row.values[6], "1") == 0 && c->apiLevel >= 2;
    IngStringRowFree(&row);
    if (c->dbName == nullptr || c->userName == nullptr || c->versionText == nullptr) {
        IngDiagPostDriver(&c->messages, nullptr, kErrNoMemory);
        return fail(kErrNoMemory);
    }
    return 0;
}

static void RTrim(char* s) {
    size_t n = std::strlen(s);
    while (n > 0 && s[n - 1] == ' ') s[--n] = '\0';
}

// Doubles every single quote so a name can stand inside a quoted literal.
static std::string QuoteLiteral(const char* s) {
    std::string out;
    for (; *s; ++s) {
        out += *s;
        if (*s == '\'') out += '\'';
    }
    return out;
}

uint32_t IIProcedureExists(IngStmt* s, const char* name) {
    IngConn* c = s->conn;
    if (name == nullptr) name = "";
    const char* dot = std::strchr(name, '.');
    if (dot != nullptr) {
        std::snprintf(s->procOwner, sizeof s->procOwner, "%.*s", int(dot - name < 35 ? dot - name : 35), name);
        std::snprintf(s->procName, sizeof s->procName, "%.35s", dot + 1);
    } else {
        s->procOwner[0] = '\0';
        std::snprintf(s->procName, sizeof s->procName, "%.35s", name);
    }
    RTrim(s->procName);
    RTrim(s->procOwner);
    IIFoldIdentifier(s->procName, c->delimitedCase, c->nameCase);
    IIFoldIdentifier(s->procOwner, c->delimitedCase, c->nameCase);
    std::string q;
    if (s->procOwner[0] != '\0')
        q = "select count(*) from iiprocedure where dbp_owner='" + QuoteLiteral(s->procOwner) + "' AND dbp_name='" +
            QuoteLiteral(s->procName) + "'";
    else
        q = "select count(*) from iiprocedure where dbp_name='" + QuoteLiteral(s->procName) + "'";
    uint32_t count = 0;
    uint32_t rc = IISelectCount(&c->connHandle, &c->tranHandle, q.c_str(), &count, &s->messages);
    if (rc == 0 && count == 0) {
        IngDiagPostText(&s->messages, "Can't find procedure", kErrSyntax);
        return kErrSyntax;
    }
    return rc;
}
