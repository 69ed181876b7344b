// The result descriptions the cursor layer keeps of a scrollable SELECT: described once by the
// layer below when the statement runs, read by the layer's own work on the result (the column
// names of positioned changes) without asking again.
#include "scrs/sc_block.h"
#include "scrs/sc_catalog.h"
#include "scrs/sc_cursor.h"
#include "util/dataset.h"
#include "util/errtable.h"

uint32_t scs_p_ResultColsLoad(SCS_Cursor* c) {
    if (c == nullptr) return kErrBadArg;
    if (c->resultDescs != nullptr) return 0;
    uint16_t count = 0;
    ColumnInfo* cols = nullptr;
    const uint32_t rc = AgentCall<DRV_DescribeCols>(SCS_LowerLink(), c->agentStmt, &count, &cols);
    if (rc != 0 || count == 0) {
        if (cols != nullptr) ColumnInfoArrayFree(cols, count);
        return rc;
    }
    c->resultDescs = cols;
    c->resultDescCount = count;
    return 0;
}

uint32_t scs_p_ResultColGet(SCS_Cursor* c, uint16_t column, const ColumnInfo** out) {
    if (out == nullptr) return kErrBadArg;
    *out = nullptr;
    if (uint32_t rc = scs_p_ResultColsLoad(c)) return rc;
    if (column == 0 || column > c->resultDescCount) return kErrBadColumnNumber;
    *out = &c->resultDescs[column - 1];
    return 0;
}

void SCS_ResultColsFree(SCS_Cursor* c) {
    if (c == nullptr) return;
    if (c->resultDescs != nullptr) ColumnInfoArrayFree(c->resultDescs, c->resultDescCount);
    c->resultDescs = nullptr;
    c->resultDescCount = 0;
}
