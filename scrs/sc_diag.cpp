// Messages of the cursor layer's statements: the auxiliary statements' messages reach the
// application with the statement's own.
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-diag.h"
#include "scrs/sc_bykeys.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_catalog.h"
#include "scrs/scr_analyse.h"
#include "util/errtable.h"

void SCS_StmtKeepDiags(uint32_t stmt, uint32_t flag) {
    if (IngDiagList* m = IngAskStmtMessages(stmt)) m->keep = flag ? 1 : 0;
}

void SCS_MoveDiags(IngDiagList* from, IngDiagList* to) {
    if (from == nullptr || to == nullptr || from == to) return;
    IngDiagEntry* moved = from->first;
    from->first = nullptr;
    IngDiagEntry** at = &to->first;
    while (*at) at = &(*at)->next;
    *at = moved;
}

namespace {

// The lower statements the layer runs for the cursor beside its own: catalog look-ups, key sets,
// fetches by keys, row changes and locks, fetches by bookmark, compared values, row versions.
// Unused ones are 0.
constexpr size_t kOwnStmts = 8;
void OwnStmts(const SCS_Cursor* c, uint32_t (&out)[kOwnStmts]) {
    static_assert(std::extent_v<decltype(SCS_Cursor::auxStmt)> == 2, "every auxiliary statement is listed");
    const SCS_KsState* st = c->ksState;
    out[0] = c->auxStmt[0];
    out[1] = c->auxStmt[1];
    out[2] = st ? st->aux1 : 0u;
    out[3] = st ? st->aux2 : 0u;
    out[4] = st ? st->aux3 : 0u;
    out[5] = st ? st->aux4 : 0u;
    out[6] = st ? st->aux5 : 0u;
    out[7] = c->rowVer.privateStmt;
}

}  // namespace

void SCS_StmtGatherDiags(SCS_Cursor* c) {
    if (c == nullptr) return;
    IngDiagList* owner = IngAskStmtMessages(c->agentStmt);
    uint32_t own[kOwnStmts];
    OwnStmts(c, own);
    for (uint32_t aux : own) {
        if (aux == 0 || aux == c->agentStmt) continue;
        IngDiagList* a = IngAskStmtMessages(aux);
        if (a == nullptr) continue;
        if (owner != nullptr)
            SCS_MoveDiags(a, owner);
        else
            IngDiagClear(a);
    }
}

void SCS_StmtQuietOwn(SCS_Cursor* c) {
    if (c == nullptr) return;
    uint32_t own[kOwnStmts];
    OwnStmts(c, own);
    for (uint32_t aux : own)
        if (aux != 0 && aux != c->agentStmt) IngDiagClear(IngAskStmtMessages(aux));
}

uint32_t SCS_StmtFailureCause(SCS_Cursor* c, uint32_t rc) {
    if (c == nullptr || rc == 0 || rc == kErrNoData) return rc;
    const IngDiagList* owner = IngAskStmtMessages(c->agentStmt);
    if (owner != nullptr && owner->first == nullptr) SCS_StmtGatherDiags(c);
    return rc;
}

void SCS_DropRowErrorDiag(SCS_Cursor* s) {
    IngDiagList* m = s != nullptr ? IngAskStmtMessages(s->agentStmt) : nullptr;
    if (m == nullptr || m->first == nullptr) return;
    IngDiagEntry** at = &m->first;
    while ((*at)->next) at = &(*at)->next;
    IngDiagEntry* last = *at;
    if (last->sqlstate == nullptr || std::strcmp(last->sqlstate, "01S01") != 0) return;
    *at = nullptr;
    std::free(last->sqlstate);
    std::free(last);
}

const ColDesc* SCS_ColDescFind(const ColDesc* descs, uint32_t count, const ColDesc* key, uint32_t* index) {
    if (descs == nullptr || key == nullptr) return nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        const ColDesc& d = descs[i];
        if (std::strcmp(d.column, key->column) != 0) continue;
        if (key->table[0] != 0 && std::strcmp(d.table, key->table) != 0) continue;
        if (key->owner[0] != 0 && std::strcmp(d.owner, key->owner) != 0) continue;
        if (index != nullptr) *index = i;
        return &d;
    }
    return nullptr;
}
