// Rows of a lower statement's result read into one Dataset, block by block.
#include "scrs/sc_fetchrows.h"

#include "drv_ingii/i-optable.h"
#include "util/dataset.h"

uint32_t scs_p_AppendRows(Dataset* all, Dataset* part) {
    if (all->col_count == 0) {
        DatasetFree(all);
        *all = *part;
        *part = Dataset{};
        return 0;
    }
    const int rc = part->rows_used ? DatasetAppendRows(all, part) : 0;
    DatasetFree(part);
    return uint32_t(rc);
}

uint32_t scs_p_FetchBlock(const AgentLink* lower, uint32_t stmt, uint32_t want, Dataset* out, uint32_t* got) {
    *got = 0;
    Dataset more{};
    uint32_t rc = AgentCall<DRV_FetchRows>(lower, stmt, uint16_t(want > 0xFFFF ? 0xFFFF : want), &more);
    if (rc != 0) {
        DatasetFree(&more);
        return rc;
    }
    *got = more.rows_used;
    return scs_p_AppendRows(out, &more);
}

uint32_t scs_p_FetchRows(const AgentLink* lower, uint32_t stmt, uint32_t block, uint32_t most, bool shortEnds,
                         Dataset* out, uint32_t* fetched) {
    uint32_t have = 0;
    uint32_t rc = 0;
    while (have < most) {
        uint32_t want = most - have;
        if (block != 0 && block < want) want = block;
        uint32_t got = 0;
        rc = scs_p_FetchBlock(lower, stmt, want, out, &got);
        have += got;
        if (rc != 0 || got == 0 || (shortEnds && got < want)) break;
    }
    if (fetched) *fetched = have;
    return rc;
}
