// Static result sets over the dataset cache: the record, its fill from the layer below, and its
// rows handed out from a given row or in sequence.
#include "scrs/ss.h"

#include "util/log.h"
#include "util/trymem.h"
#include "util/errtable.h"

uint32_t SCS_StaticSetCreate(SS_ResultSet** out) {
    if (out == nullptr) return kErrBadArg;
    auto* set = static_cast<SS_ResultSet*>(TryCalloc(1, sizeof(SS_ResultSet)));
    if (set == nullptr) return kErrNoMemory;
    set->rows = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
    if (set->rows == nullptr) {
        TryFree(set);
        return kErrNoMemory;
    }
    DSC_Init(&set->cache);
    *out = set;
    return 0;
}

void SCS_StaticSetReset(SS_ResultSet* set) {
    if (set == nullptr) return;
    DatasetFree(set->rows);
    DSC_Close(&set->cache);
    set->origin = 0;
    set->readPos = 0;
}

void SCS_StaticSetFree(SS_ResultSet** set) {
    if (set == nullptr || *set == nullptr) return;
    SCS_StaticSetReset(*set);
    DatasetDelete((*set)->rows);
    TryFree(*set);
    *set = nullptr;
}

uint32_t SS_GetRsltSet(SS_ResultSet* set, const AgentLink* lower, uint32_t stmt, uint32_t* total) {
    if (set == nullptr) return kErrGeneral;
    SCS_StaticSetReset(set);
    // The statement read is the application's: it hears why the cache failed.
    set->cache.owner = stmt;
    uint32_t rc = DSC_Fill(&set->cache, lower, stmt, set->rows, total);
    if (rc != 0) {
        log_printf(LOGL_ERROR, __FILE__, __LINE__, "SS_GetRsltSet: Could not fill dataset cache");
        // What was read stays out of reach: the record is left empty for the caller.
        SCS_StaticSetReset(set);
        return rc;
    }
    if (set->cache.state == kDscOnFile) set->origin = -1;
    return 0;
}

uint32_t SS_GetRows(SS_ResultSet* set, int32_t first, uint32_t n, Dataset** holder) {
    if (set == nullptr || holder == nullptr || first < -1) return kErrGeneral;
    const bool made = *holder == nullptr;
    // Only a sequential read stops at the end; a read from a given row still reaches its rows.
    if ((first == -1 && set->readPos == -2) || n == 0) {
        if (made) {
            *holder = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
            if (*holder == nullptr) return kErrNoMemory;
        } else {
            DatasetFree(*holder);
        }
        return 0;
    }
    const int32_t start = first == -1 ? set->readPos : first;
    // Rows kept in memory are the whole result: every request is answered from them. (The cache
    // itself would refuse a run reaching past its first window, though nothing needs loading.)
    if (set->cache.state != kDscMemory) {
        uint32_t origin = uint32_t(set->origin);
        if (uint32_t rc = DSC_GetRun(&set->cache, start, n, &origin, set->rows)) {
            set->origin = int32_t(origin);
            return rc;
        }
        set->origin = int32_t(origin);
    } else {
        set->origin = 0;
    }
    int64_t avail = int64_t(set->origin) + set->rows->rows_used - start;
    if (avail < 0) avail = 0;
    if (avail > int64_t(n)) avail = n;
    int rc = DatasetCreateLike(holder, set->rows, uint32_t(avail));
    if (rc != DS_OK) return uint32_t(rc);
    for (uint32_t i = 0; i < uint32_t(avail); ++i) {
        rc = DatasetCopyRow(*holder, set->rows, i, uint32_t(start - set->origin) + i, 0);
        if (rc != DS_OK) {
            if (made) {
                DatasetDelete(*holder);
                *holder = nullptr;
            } else {
                DatasetFree(*holder);
            }
            return uint32_t(rc);
        }
    }
    if (first != -1)
        set->readPos = first;
    else if (uint32_t(avail) == n)
        set->readPos = start + int32_t(n);
    else
        set->readPos = -2;
    return 0;
}
