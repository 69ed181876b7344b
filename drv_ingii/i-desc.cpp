// The agent's statement record: allocation, release, names, closing the result, the
// descriptions it hands out and the parameter values it takes.
#include "drv_ingii/i-desc.h"

#include <sql.h>
#include <sqlext.h>

#include "drv_ingii/i-cat.h"
#include "util/dataset.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <sched.h>

#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-exec.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-value.h"
#include "drv_ingii/ingutil.h"
#include "util/errtable.h"

namespace {
// Fresh name numbers come from a process-wide counter: address bits repeat between live records
// on 64-bit systems, a counter does not (until 2^32 statements). A freed statement's number goes
// back to its connection for the next statement there: the server keeps what was prepared under
// a name until a prepare under that name replaces it, so a long-lived connection holds only as
// many prepared statements as it ever had statements at once.
std::atomic<uint32_t> g_nameCounter{0};

uint32_t TakeNameNumber(IngConn* c) {
    {
        std::lock_guard<std::mutex> guard(c->namesLock);
        if (!c->freeNames.empty()) {
            uint32_t n = c->freeNames.back();
            c->freeNames.pop_back();
            return n;
        }
    }
    return g_nameCounter.fetch_add(1) + 1u;
}

void GiveNameNumber(IngConn* c, uint32_t n) {
    std::lock_guard<std::mutex> guard(c->namesLock);
    try {
        c->freeNames.push_back(n);
    } catch (const std::bad_alloc&) {
        // Only the reuse is lost: the next statement takes a fresh name.
    }
}

std::atomic<IngColNamesFn> g_colNames{nullptr};

// Held while a cancel looks at a statement, and while a statement leaves the table, so that a
// cancel never works on a freed record.
std::mutex g_cancelLock;
}  // namespace

uint32_t IngStmtCloseHandle(IngStmt* s, IngDiagList* list) {
    void* h = __atomic_exchange_n(&s->stmtHandle, nullptr, __ATOMIC_SEQ_CST);
    if (h == nullptr) return 0;
    // A cancel that read the handle before it was taken finishes first.
    while (__atomic_load_n(&s->cancelBusy, __ATOMIC_SEQ_CST) != 0) sched_yield();
    s->desc.count = 0;
    s->desc.descs = nullptr;
    s->desc.stmtHandle = nullptr;
    return IICloseStmt(&h, list);
}

uint32_t IngStmtCancel(uint32_t stmt) {
    std::lock_guard<std::mutex> guard(g_cancelLock);
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    __atomic_add_fetch(&s->cancelBusy, 1, __ATOMIC_SEQ_CST);
    void* h = __atomic_load_n(&s->stmtHandle, __ATOMIC_SEQ_CST);
    uint32_t rc = 0;
    // The owner thread may be using the message list: a cancel's failure is not posted there.
    if (h != nullptr) rc = IICancel(&h, nullptr);
    __atomic_sub_fetch(&s->cancelBusy, 1, __ATOMIC_SEQ_CST);
    return rc;
}

ErrCode IngAllocStmt(uint32_t conn, uint32_t* out) {
    if (out == nullptr) return kErrBadArg;
    *out = 0;
    IngConn* c = IngConnFind(conn);
    if (c == nullptr) return kErrBadArg;
    auto* s = static_cast<IngStmt*>(std::calloc(1, sizeof(IngStmt)));
    if (s == nullptr) return kErrNoMemory;
    // Undoes what a failed allocation made so far.
    auto discard = [c, s](uint32_t rc) {
        std::free(s->cursorName);
        std::free(s->stmtName);
        GiveNameNumber(c, s->nameNumber);
        std::free(s);
        return ErrCode(rc);
    };
    char name[32];
    s->nameNumber = TakeNameNumber(c);
    std::snprintf(name, sizeof name, "CN%X", unsigned(s->nameNumber));
    s->cursorName = strdup(name);
    std::snprintf(name, sizeof name, "ST%X", unsigned(s->nameNumber));
    s->stmtName = strdup(name);
    std::snprintf(s->execText, sizeof s->execText, "execute %.20s", name);
    if (s->cursorName == nullptr || s->stmtName == nullptr) return discard(kErrNoMemory);
    s->conn = c;
    s->maxRows = c->dsn.maxRows > 0 ? uint32_t(c->dsn.maxRows) : 0;
    IngCursorOptionsInit(&s->ownCursorOpts, conn, IngStatementLink());
    s->cursorOpts = &s->ownCursorOpts;
    uint32_t h = 0;
    uint32_t rc = HandleTableAdd(&g_ingStmtTable, &h, s);
    if (rc != 0) return discard(rc);
    if (const IngCursorSlotOps* ops = IngCursorSlotOpsGet()) {
        IngCursorOptions* block = ops->make(h, conn, IngStatementLink());
        if (block == nullptr) {
            {
                std::lock_guard<std::mutex> guard(g_cancelLock);
                HandleTableRemove(&g_ingStmtTable, h);
            }
            return discard(kErrNoMemory);
        }
        s->cursorOpts = block;
        s->cursorSlotOps = ops;
    }
    s->handle = h;
    *out = h;
    return kErrNone;
}

void IngStmtCloseResult(IngStmt* s) {
    s->state &= uint16_t(~(kStmtExecuted | kStmtEndOfData | kStmtOutputPending));
    s->rowsDelivered = 0;
    s->resultSource = 0;
    if (s->state & kStmtCursorOpen) {
        IngStmtCloseHandle(s, &s->messages);
        s->state &= uint16_t(~kStmtCursorOpen);
    }
}

void IngStmtReset(IngStmt* s) {
    IngStmtCloseResult(s);
    IngStmtCloseHandle(s, nullptr);
    s->resultSets = 0;
    s->state &= uint16_t(~(kStmtPrepared | 0x20 | kStmtProcCall | kStmtReturnValue | kStmtOutputPending));
    s->hiddenColumns = 0;
    ColumnInfoArrayFree(s->columns, s->columnCount);
    s->columns = nullptr;
    s->columnCount = 0;
    ColumnInfoArrayFree(s->procOut, s->procOutCount);
    s->procOut = nullptr;
    s->procOutCount = 0;
    IngConvBufsFree(s);
    ColumnInfoArrayFree(s->paramInfo, s->paramCount);
    s->paramInfo = nullptr;
    s->paramCount = 0;
    s->outParamCount = 0;
    s->paramsDescribed = 0;
    std::free(s->segBuf);
    s->segBuf = nullptr;
    s->segCap = 0;
    std::free(s->readBuf);
    s->readBuf = nullptr;
    s->readCap = 0;
    s->readLaidValues = 0;
    std::free(s->sendDescs);
    s->sendDescs = nullptr;
    s->sendDescRoom = 0;
    s->sendDescsKept = 0;
    IngSqlTextFree(&s->text);
    s->text.markers = 0;
    s->text.kind = 0;
    s->text.markerFlags = 0;
    std::free(s->preparedText);
    s->preparedText = nullptr;
    std::free(s->procCallText);
    s->procCallText = nullptr;
    for (uint16_t i = 0; i < s->procLitCount; ++i) {
        std::free(s->procLits[i].name);
        std::free(s->procLits[i].text);
    }
    std::free(s->procLits);
    s->procLits = nullptr;
    s->procLitCount = 0;
    s->catalogResult = 0;
}

ErrCode IngFreeStmt(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    {
        std::lock_guard<std::mutex> guard(g_cancelLock);
        HandleTableRemove(&g_ingStmtTable, stmt);
    }
    IngStmtReset(s);
    GiveNameNumber(s->conn, s->nameNumber);
    IngCatalogStmtReset(s);
    std::free(s->cursorName);
    std::free(s->stmtName);
    if (s->params != nullptr) DatasetDelete(s->params);
    if (s->outValues != nullptr) DatasetDelete(s->outValues);
    std::free(s->paramDescs);
    IngDiagClear(&s->messages);
    if (s->cursorSlotOps != nullptr) s->cursorSlotOps->release(s->cursorOpts);
    std::free(s);
    return kErrNone;
}

ErrCode IngGetCursorName(uint32_t stmt, char* buf, uint16_t len, uint16_t* outLen) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    size_t n = std::strlen(s->cursorName);
    if (outLen) *outLen = uint16_t(n > 0xFFFF ? 0xFFFF : n);
    if (buf == nullptr || len == 0) return n == 0 ? kErrNone : kErrTruncated;
    if (n < len) {
        std::memcpy(buf, s->cursorName, n + 1);
        return kErrNone;
    }
    std::memcpy(buf, s->cursorName, len - 1u);
    buf[len - 1] = '\0';
    return kErrTruncated;
}

ErrCode IngSetCursorName(uint32_t stmt, const char* name) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr || name == nullptr) return kErrBadArg;
    char* copy = strdup(name);
    if (copy == nullptr) return kErrNoMemory;
    std::free(s->cursorName);
    s->cursorName = copy;
    return kErrNone;
}

ErrCode IngCloseCursor(uint32_t stmt) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    IngStmtCloseResult(s);
    return kErrNone;
}

ErrCode IngSetParams(uint32_t stmt, Dataset* values) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    if (s->params != nullptr && s->params != values) DatasetDelete(s->params);
    s->params = values;
    if (values != nullptr && values->col_count > 0) {
        IngConvBufsFree(s);
        s->convBufs = static_cast<void**>(std::calloc(values->col_count, sizeof(void*)));
        if (s->convBufs == nullptr) return kErrNoMemory;
        s->convCount = values->col_count;
    }
    return kErrNone;
}

namespace {
uint32_t VisibleColumns(const IngStmt* s) {
    return s->columnCount > s->hiddenColumns ? s->columnCount - s->hiddenColumns : 0;
}

uint32_t HandOut(const ColumnInfo* src, uint16_t n, uint16_t* count, ColumnInfo** out) {
    if (count) *count = n;
    if (out == nullptr) return 0;
    *out = nullptr;
    if (n == 0) return 0;
    *out = ColumnInfoArrayCopy(src, n);
    return *out ? kErrNone : kErrNoMemory;
}
}  // namespace

ErrCode IngDescribeCols(uint32_t stmt, uint16_t* count, ColumnInfo** out) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    uint16_t n = uint16_t(VisibleColumns(s));
    if (n == 0 && (s->state & kStmtProcCall) && !s->conn->paramNames)
        return ErrCode(HandOut(s->procOut, s->procOutCount, count, out));
    return ErrCode(HandOut(s->columns, n, count, out));
}

ErrCode IngDescribeParams(uint32_t stmt, uint16_t* count, ColumnInfo** out) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr) return kErrBadArg;
    uint32_t rc = HandOut(s->paramInfo, s->paramCount, count, out);
    if (rc == 0 && out != nullptr && *out != nullptr && !s->conn->paramNames) {
        for (uint16_t i = 0; i < s->paramCount; ++i) {
            std::free((*out)[i].column);
            (*out)[i].column = nullptr;
        }
    }
    return ErrCode(rc);
}

// ---------------------------------------------------------------------------------------------
// Extended descriptions.

const char* IngTypeName(int16_t serverType, int32_t sqlType) {
    switch (serverType) {
        case IIAPI_DATE_TYPE:
            return "DATE";
        case IIAPI_ADATE_TYPE:
            return "ANSIDATE";
        case IIAPI_MNY_TYPE:
            return "MONEY";
        case IIAPI_TMWO_TYPE:
            return "TIME WITHOUT TIME ZONE";
        case IIAPI_TMTZ_TYPE:
            return "TIME WITH TIME ZONE";
        case IIAPI_TIME_TYPE:
            return "TIME WITH LOCAL TIME ZONE";
        case IIAPI_TSWO_TYPE:
            return "TIMESTAMP WITHOUT TIME ZONE";
        case IIAPI_DEC_TYPE:
            return "DECIMAL";
        case IIAPI_LOGKEY_TYPE:
            return "OBJECT_KEY";
        case IIAPI_TABKEY_TYPE:
            return "TABLE KEY";
        case IIAPI_TSTZ_TYPE:
            return "TIMESTAMP WITH TIME ZONE";
        case IIAPI_TS_TYPE:
            return "TIMESTAMP WITH LOCAL TIME ZONE";
        case IIAPI_CHA_TYPE:
        case IIAPI_NCHA_TYPE:
            return "CHAR";
        case IIAPI_VCH_TYPE:
        case IIAPI_NVCH_TYPE:
            return "VARCHAR";
        case IIAPI_LVCH_TYPE:
        case IIAPI_LNVCH_TYPE:
            return "LONG VARCHAR";
        case IIAPI_BYTE_TYPE:
            return "BYTE";
        case IIAPI_VBYTE_TYPE:
            return "VARBYTE";
        case IIAPI_LBYTE_TYPE:
            return "LONG BYTE";
        case IIAPI_INT_TYPE:
            switch (sqlType) {
                case SQL_TINYINT:
                    return "INTEGER1";
                case SQL_SMALLINT:
                    return "INTEGER2";
                case SQL_INTEGER:
                    return "INTEGER4";
                case SQL_BIGINT:
                case SQL_NUMERIC:
                    return "INTEGER8";
                default:
                    return "";
            }
        case IIAPI_FLT_TYPE:
            return sqlType == SQL_REAL ? "FLOAT4" : sqlType == SQL_DOUBLE ? "FLOAT8" : "";
        case IIAPI_CHR_TYPE:
            return "C";
        case IIAPI_INTYM_TYPE:
            return "INTERVAL YEAR TO MONTH";
        case IIAPI_INTDS_TYPE:
            return "INTERVAL DAY TO SECOND";
        case IIAPI_TXT_TYPE:
            return "TEXT";
        case IIAPI_BOOL_TYPE:
            return "BOOLEAN";
        case IIAPI_LTXT_TYPE:
            return "LONG TEXT";
        default:
            return "";
    }
}

void IngAttrListFree(IngAttrList* list) {
    if (list == nullptr) return;
    for (uint32_t i = 0; list->rows != nullptr && i < list->count; ++i)
        if (list->rows[i].form == 0) std::free(list->rows[i].text);
    std::free(list->rows);
    std::free(list);
}

namespace {
bool In(int16_t t, std::initializer_list<int16_t> set) {
    for (int16_t x : set)
        if (x == t) return true;
    return false;
}

const int16_t kQuoted[] = {IIAPI_CHA_TYPE,   IIAPI_VCH_TYPE, IIAPI_LVCH_TYPE, IIAPI_NCHA_TYPE, IIAPI_NVCH_TYPE,
                           IIAPI_LNVCH_TYPE, IIAPI_CHR_TYPE, IIAPI_TXT_TYPE,  IIAPI_LTXT_TYPE};

bool Quoted(int16_t t) {
    for (int16_t x : kQuoted)
        if (x == t) return true;
    return false;
}

// The value of one attribute for a column (form, integer or text) and whether it is answered.
void ColumnAttr(int16_t attr, const ColumnInfo& ci, IngAttrRow* r) {
    const int16_t t = ci.server_type;
    r->form = 1;
    r->value = 0;
    switch (attr) {
        case SQL_DESC_AUTO_UNIQUE_VALUE:
            break;
        case SQL_DESC_CASE_SENSITIVE:
            r->value = In(t, {IIAPI_LOGKEY_TYPE, IIAPI_TABKEY_TYPE, IIAPI_CHA_TYPE, IIAPI_VCH_TYPE, IIAPI_LVCH_TYPE,
                              IIAPI_NCHA_TYPE, IIAPI_NVCH_TYPE, IIAPI_LNVCH_TYPE, IIAPI_CHR_TYPE, IIAPI_TXT_TYPE,
                              IIAPI_LTXT_TYPE})
                           ? 1
                           : 0;
            break;
        case -SQL_DESC_SEARCHABLE:
            r->value = In(t, {IIAPI_LOGKEY_TYPE, IIAPI_TABKEY_TYPE, IIAPI_CHA_TYPE, IIAPI_VCH_TYPE, IIAPI_NCHA_TYPE,
                              IIAPI_NVCH_TYPE, IIAPI_CHR_TYPE, IIAPI_TXT_TYPE, IIAPI_LTXT_TYPE})
                           ? SQL_SEARCHABLE
                       : In(t, {IIAPI_BYTE_TYPE, IIAPI_VBYTE_TYPE, IIAPI_LBYTE_TYPE}) ? SQL_PRED_NONE
                                                                                      : SQL_PRED_BASIC;
            break;
        case SQL_DESC_UPDATABLE:
            r->value = SQL_ATTR_READWRITE_UNKNOWN;
            break;
        case SQL_DESC_TYPE_NAME:
            r->form = 0;
            r->text = strdup(IngTypeName(t, ci.sql_type));
            break;
        case SQL_DESC_LITERAL_PREFIX:
            r->form = 0;
            r->text = strdup(Quoted(t)                                                      ? "'"
                             : In(t, {IIAPI_BYTE_TYPE, IIAPI_VBYTE_TYPE, IIAPI_LBYTE_TYPE}) ? "X'"
                                                                                            : "");
            break;
        case SQL_DESC_LITERAL_SUFFIX:
            r->form = 0;
            r->text = strdup(Quoted(t) ? "'" : "");
            break;
        case kColAttrKeyColumn:
        case kColAttrExpression:
            r->attribute = int16_t(-attr);
            break;
        case SQL_DESC_ROWVER:
            break;
    }
}
}  // namespace

ErrCode IngDescribeColsEx(uint32_t stmt, uint16_t* count, uint16_t* rowCount, ColumnInfo** out, void** attrRows) {
    IngStmt* s = IngStmtFind(stmt);
    if (s == nullptr || count == nullptr || rowCount == nullptr || out == nullptr || attrRows == nullptr)
        return kErrBadArg;
    *attrRows = nullptr;
    *rowCount = 0;
    uint32_t rc = IngDescribeCols(stmt, count, out);
    if (rc != 0) return ErrCode(rc);
    const uint16_t n = *count;
    // A negated identifier is not answered: searchability is left to the ODBC side's rule by type.
    static const int16_t kAttrs[10] = {SQL_DESC_AUTO_UNIQUE_VALUE, SQL_DESC_CASE_SENSITIVE, -SQL_DESC_SEARCHABLE,
                                       SQL_DESC_UPDATABLE,         SQL_DESC_TYPE_NAME,      SQL_DESC_LITERAL_PREFIX,
                                       SQL_DESC_LITERAL_SUFFIX,    kColAttrKeyColumn,       SQL_DESC_ROWVER,
                                       kColAttrExpression};
    auto* list = static_cast<IngAttrList*>(std::calloc(1, sizeof(IngAttrList)));
    auto* rows = static_cast<IngAttrRow*>(std::calloc(size_t(10) * (n + 1u), sizeof(IngAttrRow)));
    if (list == nullptr || rows == nullptr) {
        std::free(list);
        std::free(rows);
        ColumnInfoArrayFree(*out, n);
        *out = nullptr;
        return kErrNoMemory;
    }
    list->rows = rows;
    bool failed = false;
    for (int a = 0; a < 10; ++a) {
        const int16_t attr = kAttrs[a];
        IngAttrRow tmpl{};
        tmpl.attribute = attr;
        tmpl.form =
            (attr == SQL_DESC_TYPE_NAME || attr == SQL_DESC_LITERAL_PREFIX || attr == SQL_DESC_LITERAL_SUFFIX) ? 0 : 1;
        tmpl.value = attr == SQL_DESC_UPDATABLE ? SQL_ATTR_READWRITE_UNKNOWN : 0;
        if (tmpl.form == 0) {
            tmpl.text = strdup("");
            if (tmpl.text == nullptr) failed = true;
        }
        // The template row stands first; a column follows only where it differs from it.
        if (attr >= 0)
            rows[list->count++] = tmpl;
        else if (tmpl.form == 0)
            std::free(tmpl.text);
        for (uint16_t c = 0; c < n; ++c) {
            IngAttrRow r{};
            r.column = uint16_t(c + 1);
            r.attribute = attr;
            ColumnAttr(attr, (*out)[c], &r);
            if (r.form == 0 && r.text == nullptr) failed = true;
            bool keep =
                r.attribute >= 0 && (r.form == 0 ? (r.text != nullptr && r.text[0] != '\0') : r.value != tmpl.value);
            if (keep)
                rows[list->count++] = r;
            else if (r.form == 0)
                std::free(r.text);
        }
    }
    if (failed) {
        IngAttrListFree(list);
        ColumnInfoArrayFree(*out, n);
        *out = nullptr;
        return kErrNoMemory;
    }
    if (IngColNamesFn names = g_colNames.load(); names != nullptr && !s->catalogResult && s->resultSource == 0)
        (void)names(s->handle, n, *out, list);
    *rowCount = uint16_t(list->count > 0xFFFF ? 0xFFFF : list->count);
    *attrRows = list;
    return kErrNone;
}

void IngSetColNames(IngColNamesFn fn) { g_colNames.store(fn); }

// ---------------------------------------------------------------------------------------------
// Parameter description by probe queries.

namespace {
std::atomic<IngParamProbeFn> g_paramProbe{nullptr};
}  // namespace

void IngSetParamProbe(IngParamProbeFn fn) { g_paramProbe.store(fn); }

uint32_t IngDescribeParamsByProbe(IngStmt* s) {
    if (!(s->state & kStmtPrepared)) {
        IngLog(LOGL_WARNING, "execute without prior prepare");
        return kErrSequence;
    }
    if (s->state & kStmtExecuted) {
        IngLog(LOGL_WARNING, "Describe params work only before Execute");
        return 0;
    }
    if (s->text.markers == 0) return 0;
    IngParamProbeFn probe = g_paramProbe.load();
    return probe ? probe(s->handle) : 0;
}
