// Messages of the cursor layer's statements: the auxiliary statements' messages reach the
// application with the statement's own.
#include <cstdlib>
#include <cstring>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-diag.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_catalog.h"
#include "scrs/scr_analyse.h"

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

void SCS_StmtGatherDiags(SCS_Cursor* c) {
    if (c == nullptr) return;
    IngDiagList* owner = IngAskStmtMessages(c->agentStmt);
    for (uint32_t aux : c->auxStmt) {
        if (aux == 0) continue;
        IngDiagList* a = IngAskStmtMessages(aux);
        if (a == nullptr) continue;
        if (owner != nullptr)
            SCS_MoveDiags(a, owner);
        else
            IngDiagClear(a);
    }
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
