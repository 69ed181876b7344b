// Sending a statement with one parameter row through OpenAPI: execute the prepared statement,
// open a cursor for a SELECT, or run a database procedure.
#include "drv_ingii/i-send.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "drv_ingii/i-errtab.h"
#include "drv_ingii/i-glob.h"
#include "drv_ingii/i-types.h"
#include "drv_ingii/i-value.h"
#include "drv_ingii/ingutil.h"
#include "util/errtable.h"
#include "util/invariant.h"

uint32_t IngStmtFinish(IngStmt* s, int32_t* returnValue) {
    uint32_t rc = IIGetQueryInfo(IngStmtGetHandle(s), nullptr, returnValue, &s->messages);
    uint32_t rc2 = IngStmtCloseHandle(s, &s->messages);
    return rc ? rc : rc2;
}

namespace {
uint32_t PutParms(IngStmt* s, int16_t count, IIAPI_DATAVALUE* values, bool more) {
    IIAPI_PUTPARMPARM pp{};
    pp.pp_stmtHandle = IngStmtGetHandle(s);
    pp.pp_parmCount = count;
    pp.pp_parmData = values;
    pp.pp_moreSegments = more ? II_TRUE : II_FALSE;
    IIapi_putParms(&pp);
    return IIWaitCompletion(&pp.pp_genParm, &s->messages);
}

uint32_t SendLong(IngStmt* s, const IIAPI_DESCRIPTOR& d, const uint8_t* bytes, uint32_t len, bool isNull) {
    const bool wide = IngAbsType(d.ds_dataType) == IIAPI_LNVCH_TYPE;
    uint32_t room = d.ds_length > 2 ? d.ds_length - 2u : 1u;
    if (wide) room &= ~1u;
    if (room == 0) room = 2;
    std::string seg(room + 2u, '\0');
    uint32_t at = 0;
    do {
        uint32_t n = len - at < room ? len - at : room;
        uint16_t prefix = uint16_t(wide ? n / 2 : n);
        std::memcpy(seg.data(), &prefix, 2);
        if (n) std::memcpy(seg.data() + 2, bytes + at, n);
        at += n;
        IIAPI_DATAVALUE dv{};
        dv.dv_null = isNull ? II_TRUE : II_FALSE;
        dv.dv_length = isNull ? 0 : uint16_t(n + 2);
        dv.dv_value = isNull ? nullptr : seg.data();
        uint32_t rc = PutParms(s, 1, &dv, !isNull && at < len);
        if (rc != 0) return rc;
    } while (!isNull && at < len);
    return 0;
}

uint32_t SendParams(IngStmt* s, int queryType, uint32_t row) {
    IngParamDescs pd{};
    uint32_t svc = 0;
    uint32_t rc = IngBuildParamDescriptors(s, queryType, row, &pd, &svc);
    if (rc != 0) return rc;
    if (pd.count == 0) return 0;
    IIAPI_SETDESCRPARM sd{};
    sd.sd_stmtHandle = IngStmtGetHandle(s);
    sd.sd_descriptorCount = pd.count;
    sd.sd_descriptor = pd.descs;
    IIapi_setDescriptor(&sd);
    rc = IIWaitCompletion(&sd.sd_genParm, &s->messages);
    if (rc == 0 && svc > 0) {
        TV_INVARIANT(svc <= 2);  // the cursor name, or the procedure's name and owner
        IIAPI_DATAVALUE v[2]{};
        const char* texts[2] = {queryType == IIAPI_QT_OPEN ? s->cursorName : s->procName, s->procOwner};
        for (uint32_t i = 0; i < svc; ++i) {
            v[i].dv_length = uint16_t(std::strlen(texts[i]));
            v[i].dv_value = const_cast<char*>(texts[i]);
        }
        rc = PutParms(s, int16_t(svc), v, false);
    }
    const uint16_t first = IngFirstParamColumn(s);
    const int16_t lits = int16_t(queryType == IIAPI_QT_EXEC_PROCEDURE ? s->procLitCount : 0);
    const int16_t bound = int16_t(pd.count - lits);
    int16_t k = int16_t(svc);
    while (rc == 0 && k < bound) {
        const IIAPI_DESCRIPTOR& d = pd.descs[k];
        if (pd.mayHoldLong && IngIsLongType(IngAbsType(d.ds_dataType))) {
            uint16_t col = uint16_t(first + (k - int16_t(svc)));
            uint32_t len = 0;
            void* val = nullptr;
            rc = Coldata2IIValue(s, col, row, &s->params->cols[col], &d, &len, &val);
            // No value (a NULL) is no bytes, whatever length came with it.
            if (rc == 0)
                rc = SendLong(s, d, static_cast<const uint8_t*>(val), val ? len : 0, val == nullptr && d.ds_nullable);
            ++k;
            continue;
        }
        int16_t end = pd.mayHoldLong ? k : bound;
        while (end < bound && !IngIsLongType(IngAbsType(pd.descs[end].ds_dataType))) ++end;
        // A row's values go out in one call; a short group's data values stay on the stack.
        IIAPI_DATAVALUE few[16];
        std::vector<IIAPI_DATAVALUE> many;
        IIAPI_DATAVALUE* dv = few;
        if (end - k > int16_t(std::size(few))) {
            many.assign(size_t(end - k), IIAPI_DATAVALUE{});
            dv = many.data();
        }
        const DatasetColumn* cols = s->params->cols;
        for (int16_t i = k; i < end; ++i) {
            const uint16_t col = uint16_t(first + (i - int16_t(svc)));
            const IIAPI_DESCRIPTOR& di = pd.descs[i];
            uint32_t len = 0;
            void* val = nullptr;
            rc = Coldata2IIValue(s, col, row, &cols[col], &di, &len, &val);
            if (rc != 0) break;
            IIAPI_DATAVALUE& v = dv[i - k];
            v.dv_null = di.ds_nullable ? II_TRUE : II_FALSE;
            v.dv_length = uint16_t(len > 0xFFFF ? 0xFFFF : len);
            v.dv_value = val;
        }
        if (rc == 0) rc = PutParms(s, int16_t(end - k), dv, false);
        k = end;
    }
    if (rc == 0 && lits > 0) {
        // Literal arguments of the call, after the bound values.
        std::vector<IIAPI_DATAVALUE> dv(static_cast<size_t>(lits));
        std::vector<std::string> bytes(static_cast<size_t>(lits));
        for (int16_t i = 0; i < lits; ++i) {
            const IngStmt::ProcLiteral& lit = s->procLits[i];
            const IIAPI_DESCRIPTOR& d = pd.descs[bound + i];
            if (lit.text == nullptr) {
                dv[i].dv_null = II_TRUE;
                continue;
            }
            if (lit.isInt) {
                bytes[i].assign(8, '\0');
                std::memcpy(bytes[i].data(), &lit.num, 8);
            } else if (lit.isFloat) {
                bytes[i].assign(8, '\0');
                std::memcpy(bytes[i].data(), &lit.real, 8);
            } else {
                const uint16_t tl = uint16_t(d.ds_length - 2);
                bytes[i].assign(size_t(d.ds_length), '\0');
                std::memcpy(bytes[i].data(), &tl, 2);
                std::memcpy(bytes[i].data() + 2, lit.text, tl);
            }
            dv[i].dv_length = d.ds_length;
            dv[i].dv_value = bytes[i].data();
        }
        rc = PutParms(s, lits, dv.data(), false);
    }
    IngParamDescsKeep(s, &pd);
    return rc;
}
}  // namespace

uint32_t IngExecuteParam(IngStmt* s, uint32_t row, int queryType, uint32_t* rowCount) {
    if (rowCount) *rowCount = 0;
    char text[96];
    const char* query = text;
    bool params = true;
    switch (queryType) {
        case IIAPI_QT_EXEC:
            query = s->execText;
            params = s->text.markers != 0;
            break;
        case IIAPI_QT_OPEN:
            std::snprintf(text, sizeof text, "%.20s for readonly", s->stmtName);
            break;
        case IIAPI_QT_EXEC_PROCEDURE:
            text[0] = '\0';
            break;
        default:
            IngLog(LOGL_WARNING, "_execute_param doesn't support queryType=[%d]", queryType);
            return kErrNotCapable;
    }
    IngConn* c = s->conn;
    IIAPI_QUERYPARM qy{};
    qy.qy_connHandle = c->connHandle;
    qy.qy_queryType = queryType;
    qy.qy_queryText = queryType == IIAPI_QT_EXEC_PROCEDURE ? nullptr : const_cast<char*>(query);
    if (queryType == IIAPI_QT_EXEC_PROCEDURE && s->procCallText != nullptr) {
        // Literal arguments travel in the text; there is nothing to send beside it.
        qy.qy_queryType = IIAPI_QT_QUERY;
        qy.qy_queryText = s->procCallText;
        params = false;
    }
    qy.qy_parameters = params ? II_TRUE : II_FALSE;
    qy.qy_tranHandle = c->tranHandle;
    IIapi_query(&qy);
    uint32_t rc = IIWaitCompletion(&qy.qy_genParm, &s->messages);
    IngStmtSetHandle(s, qy.qy_stmtHandle);
    if (rc == 0) c->tranHandle = qy.qy_tranHandle;
    if (rc == 0 && params) rc = SendParams(s, queryType, row);
    if (rc == 0 && (queryType == IIAPI_QT_OPEN || queryType == IIAPI_QT_EXEC_PROCEDURE)) {
        rc = IIGetDescriptor(&s->desc, IngStmtGetHandle(s), &s->messages);
        if (rc == kErrNoData && queryType == IIAPI_QT_EXEC_PROCEDURE) {
            // A procedure without output parameters and without rows has no descriptors.
            s->desc.count = 0;
            s->desc.descs = nullptr;
            rc = 0;
        }
    }
    if (rc == 0 && queryType != IIAPI_QT_EXEC_PROCEDURE)
        rc = IIGetQueryInfo(IngStmtGetHandle(s), rowCount, nullptr, &s->messages);
    if (rc == 0 && queryType == IIAPI_QT_EXEC) return IngStmtCloseHandle(s, &s->messages);
    if (rc != 0) IngStmtCloseHandle(s, nullptr);
    return rc;
}
