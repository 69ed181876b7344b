// Catalog wrappers of the cursor layer and its copy of the parameter descriptions.
#include "scrs/sc_catalog.h"

#include <cstring>

#include <sql.h>
#include <sqlext.h>

#include "drv_ingii/i-attr.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_keyset.h"
#include "scrs/ss.h"
#include "util/errtable.h"
#include "util/trymem.h"

namespace {

// A catalog result cannot be kept as a key set nor watched for changes: the statement runs it
// static and read-only, and keeps those options afterwards. Nothing is told to the layer below.
template <int S, class A>
ErrCode Wrap(uint32_t stmt, A arg) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) return kErrBadArg;
    SCS_Cursor& c = *s;
    if (c.cursorType == SQL_CURSOR_KEYSET_DRIVEN || c.cursorType == SQL_CURSOR_DYNAMIC) {
        c.cursorType = SQL_CURSOR_STATIC;
        c.concurrency = SQL_CONCUR_READ_ONLY;
    }
    // What the layer learnt or kept of an earlier SELECT on this statement says nothing of this
    // result, which is read whole and served as a snapshot.
    SCS_SelectNamesFree(&c);
    SCS_KeysetRelease(s);
    SCS_StaticSetReset(c.staticSet);
    SCS_CursorReset(&c);
    c.analysedSelect = 0;
    c.shapeFlags = 0;
    c.layerFlags &= ~(kScsLResultCached | kScsLReprepare);
    c.layerFlags |= kScsLPrepared;
    return AgentCall<S>(SCS_LowerLink(), stmt, arg);
}

}  // namespace

ErrCode SCS_DDColumnPrivileges(uint32_t stmt, const IngColumnPrivilegesArgs* args) {
    return Wrap<DRV_DDColumnPrivileges>(stmt, args);
}
ErrCode SCS_DDColumns(uint32_t stmt, const IngColumnsArgs* args) { return Wrap<DRV_DDColumns>(stmt, args); }
ErrCode SCS_DDForeignKeys(uint32_t stmt, const IngForeignKeysArgs* args) { return Wrap<DRV_DDForeignKeys>(stmt, args); }
ErrCode SCS_DDPrimaryKeys(uint32_t stmt, const IngPrimaryKeysArgs* args) { return Wrap<DRV_DDPrimaryKeys>(stmt, args); }
ErrCode SCS_DDProcedureColumns(uint32_t stmt, const IngProcedureColumnsArgs* args) {
    return Wrap<DRV_DDProcedureColumns>(stmt, args);
}
ErrCode SCS_DDProcedures(uint32_t stmt, const IngProceduresArgs* args) { return Wrap<DRV_DDProcedures>(stmt, args); }
ErrCode SCS_DDSpecialColumns(uint32_t stmt, const IngSpecialColumnsArgs* args) {
    return Wrap<DRV_DDSpecialColumns>(stmt, args);
}
ErrCode SCS_DDStatistics(uint32_t stmt, const IngStatisticsArgs* args) { return Wrap<DRV_DDStatistics>(stmt, args); }
ErrCode SCS_DDTablePrivileges(uint32_t stmt, const IngTablePrivilegesArgs* args) {
    return Wrap<DRV_DDTablePrivileges>(stmt, args);
}
ErrCode SCS_DDTables(uint32_t stmt, const IngTablesArgs* args) { return Wrap<DRV_DDTables>(stmt, args); }
ErrCode SCS_DDTypeInfo(uint32_t stmt, uint16_t sqlType) { return Wrap<DRV_DDTypeInfo>(stmt, sqlType); }

uint32_t SCS_KeepParamDescs(SCS_Cursor* c, uint16_t count, const ParamDescEntry* descs) {
    if (c == nullptr) return kErrBadArg;
    ParamDescEntry* copy = nullptr;
    if (count != 0 && descs != nullptr) {
        copy = static_cast<ParamDescEntry*>(TryMemdup(descs, size_t(count) * sizeof(ParamDescEntry)));
        if (copy == nullptr) return kErrNoMemory;
    }
    TryFree(c->keptDescs);
    c->keptDescs = copy;
    c->keptDescCount = copy ? count : 0;
    return 0;
}

ErrCode SCS_SetParamDescs(uint32_t stmt, uint16_t count, ParamDescEntry* descs) {
    SCS_Cursor* s = SCS_StmtBlock(stmt);
    if (s == nullptr) return kErrBadArg;
    if (uint32_t rc = SCS_KeepParamDescs(s, count, descs)) return ErrCode(rc);
    return AgentCall<DRV_SetParamDescs>(SCS_LowerLink(), stmt, count, descs);
}

void SCS_CatalogInstall(AgentFuncTable* t) {
    if (t == nullptr) return;
    t->DRV_SetParamDescs = SCS_SetParamDescs;
    t->DRV_DDColumnPrivileges = SCS_DDColumnPrivileges;
    t->DRV_DDColumns = SCS_DDColumns;
    t->DRV_DDForeignKeys = SCS_DDForeignKeys;
    t->DRV_DDPrimaryKeys = SCS_DDPrimaryKeys;
    t->DRV_DDProcedureColumns = SCS_DDProcedureColumns;
    t->DRV_DDProcedures = SCS_DDProcedures;
    t->DRV_DDSpecialColumns = SCS_DDSpecialColumns;
    t->DRV_DDStatistics = SCS_DDStatistics;
    t->DRV_DDTablePrivileges = SCS_DDTablePrivileges;
    t->DRV_DDTables = SCS_DDTables;
    t->DRV_DDTypeInfo = SCS_DDTypeInfo;
}
