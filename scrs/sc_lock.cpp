// Row locks of lock concurrency: each live row of a fetched rowset is touched by an UPDATE that
// sets its key columns to their own values, which holds the engine's lock until the transaction
// ends.
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>

#include "drv_ingii/i-info.h"
#include "drv_ingii/i-log.h"
#include "drv_ingii/i-optable.h"
#include "scrs/ks.h"
#include "scrs/sc_setpos.h"
#include "util/dataset.h"
#include "util/errtable.h"
#include "util/scrarray.h"

uint32_t scs_p_LockRows(SCS_RowChange* rc, uint32_t first, uint32_t count) {
    if (rc == nullptr || rc->desc == nullptr || rc->keyValues == nullptr || rc->keyStatus == nullptr ||
        rc->desc->keyCols == nullptr)
        return kErrGeneral;
    SCS_DescCtx* d = rc->desc;
    if (count == 0 || first >= rc->keysetRows) return 0;
    const uint64_t last64 = uint64_t(first) + count - 1;
    const uint32_t last = last64 > rc->keysetRows - 1 ? rc->keysetRows - 1 : uint32_t(last64);
    uint32_t m = 0;
    for (uint32_t r = first; r <= last; ++r)
        if (rc->keyStatus[r] == SQL_ROW_SUCCESS || rc->keyStatus[r] == SQL_ROW_UPDATED) {
            // A key set that holds a window has the keys of row r at r - origin: a row outside the
            // window has no keys here, and must not be read from beyond them.
            if (r < rc->keyOrigin || r - rc->keyOrigin >= rc->keyValues->rows_used) return kErrGeneral;
            ++m;
        }
    if (m == 0) return 0;
    const SCR_Array* keys = d->keyCols;
    if (d->paramDescsOn) {
        ParamDescsReset(d);
        for (int twice = 0; twice < 2; ++twice)
            if (uint32_t r = ParamDescsAppend(d, static_cast<const ColDesc*>(keys->data), keys->count, 0)) return r;
    }
    char* text = scs_p_LockRowsText(d);
    if (text == nullptr) return kErrNoMemory;
    uint32_t r = AgentCall<DRV_Prepare>(d->lower, rc->changeStmt, text);
    std::free(text);
    if (r != 0) return r;
    if (d->paramDescsOn &&
        (r = AgentCall<DRV_SetParamDescs>(d->lower, rc->changeStmt, d->paramDescCount, d->paramDescs)))
        return r;
    uint32_t locked = 0;
    for (uint32_t row = first; row <= last; ++row) {
        if (rc->keyStatus[row] != SQL_ROW_SUCCESS && rc->keyStatus[row] != SQL_ROW_UPDATED) continue;
        Dataset* params = nullptr;
        r = KS_KeyRowsToParams(rc->keyValues, row - rc->keyOrigin, 2, 1, &params, rc->nulRoom, 0, 0, nullptr, nullptr);
        if (r != 0) break;
        r = AgentCall<DRV_SetParams>(d->lower, rc->changeStmt, params);
        if (AgentLinkCallerFrees(d->lower)) DatasetDelete(params);
        if (r != 0) break;
        if (AgentCall<DRV_Execute>(d->lower, rc->changeStmt) != 0) break;
        int32_t affected = 0;
        uint16_t len = 0;
        r = AgentCall<DRV_GetInfo>(d->lower, rc->changeStmt, kPropRowCount, &affected, uint16_t(4), &len);
        if (r != 0 || affected < 1) break;
        ++locked;
    }
    if (locked < m) {
        IngLog(LOGL_ERROR, "scs_p_LockRows: Couldn't acquire row lock(s).");
        return kErrRowError;
    }
    return 0;
}
