// Allocation and release of the four handle kinds, and the environment attributes.
#include <cstdint>

#include "odbc/api_records.h"
#include "odbc/conn.h"
#include "odbc/datapath.h"
#include "odbc/desc.h"
#include "odbc/env.h"
#include "odbc/globals.h"
#include "odbc/stmt.h"
#include "odbc/stmt_state.h"
#include "odbc/trace_link.h"
#include "util/errtable.h"

namespace {

// A read-only environment attribute of the driver's family; it always reads 2.
constexpr SQLINTEGER kEnvAttrFamilyConstant = 1056;

SQLRETURN AllocEnvironment(SQLHENV* out, uint32_t version, const char* who) {
    // No handle exists yet to carry a diagnostic, so a null output pointer is refused bare.
    if (!out) return SQL_ERROR;
    *out = SQL_NULL_HENV;
    EnvRecord* env = EnvCreate();
    if (!env) return SQL_ERROR;
    env->odbcVersion = version;
    EnvOpen(env);
    if (env->state != kEnvStateOpen) {
        if (GwTraceOn()) GwTrace("%s: EnvrOpen failed", who);
        EnvFree(env);
        return SQL_ERROR;
    }
    uint32_t handle = 0;
    if (DriverHandleAdd(&g_EnvTable, &handle, env) != 0) {
        EnvFree(env);
        return SQL_ERROR;
    }
    env->handle = handle;
    *out = HandleValue(handle);
    return SQL_SUCCESS;
}

bool ConnectedForChild(ConnRecord* conn, SQLHANDLE* out) {
    if (!out) {
        conn->lastError = kErrBadArg;
        return false;
    }
    *out = SQL_NULL_HANDLE;
    if (conn->state != kConnStateConnected) {
        conn->lastError = kErrNotOpen;
        return false;
    }
    return true;
}

}  // namespace

SQLRETURN ImplAllocEnv(HandleBase*, SQLHENV* out) { return AllocEnvironment(out, 2, "SQLAllocEnv"); }

SQLRETURN ImplAllocHandleEnv(HandleBase*, SQLHENV* out) {
    return AllocEnvironment(out, 3, "SQLAllocHandle (SQL_HANDLE_ENV)");
}

SQLRETURN ImplAllocConnect(HandleBase* record, SQLHDBC* out) {
    auto* env = static_cast<EnvRecord*>(record);
    if (!out) {
        env->lastError = kErrBadArg;
        return SQL_ERROR;
    }
    *out = SQL_NULL_HDBC;
    ConnRecord* conn = ConnCreate(env);
    if (!conn) return SQL_ERROR;
    uint32_t handle = 0;
    if (uint32_t code = DriverHandleAdd(&g_ConnTable, &handle, conn)) {
        ConnFree(conn);
        ConnRelease(conn);
        env->lastError = code;
        return SQL_ERROR;
    }
    conn->handle = handle;
    *out = HandleValue(handle);
    return SQL_SUCCESS;
}

SQLRETURN ImplAllocStmt(HandleBase* record, SQLHSTMT* out) {
    auto* conn = static_cast<ConnRecord*>(record);
    if (!ConnectedForChild(conn, out)) return SQL_ERROR;
    StmtRecord* stmt = StmtCreate(conn);
    if (!stmt) return SQL_ERROR;
    uint32_t handle = 0;
    if (uint32_t code = DriverHandleAdd(&g_StmtTable, &handle, stmt)) {
        StmtFree(stmt);
        conn->lastError = code;
        return SQL_ERROR;
    }
    stmt->handle = handle;
    *out = HandleValue(handle);
    return SQL_SUCCESS;
}

SQLRETURN ImplAllocDesc(HandleBase* record, SQLHDESC* out) {
    auto* conn = static_cast<ConnRecord*>(record);
    if (!ConnectedForChild(conn, out)) return SQL_ERROR;
    uint32_t code = 0;
    DescRecord* desc = DescCreate(conn, nullptr, 0, SQL_DESC_ALLOC_USER, &code);
    if (!desc) {
        conn->lastError = code;
        return SQL_ERROR;
    }
    *out = HandleValue(desc->handle);
    return SQL_SUCCESS;
}

SQLRETURN ImplFreeEnv(HandleBase* record) {
    auto* env = static_cast<EnvRecord*>(record);
    if (EnvHasBusyConnection(env)) {
        env->lastError = kErrSequence;
        return SQL_ERROR;
    }
    EnvClose(env);
    EnvFree(env);
    return SQL_SUCCESS;
}

SQLRETURN ImplFreeConnect(HandleBase* record) {
    auto* conn = static_cast<ConnRecord*>(record);
    if (uint32_t code = ConnDisconnect(conn)) {
        conn->lastError = code;
        return SQL_ERROR;
    }
    HandleLockGuard g;
    ConnFree(conn);  // the gateway releases the memory once the call is over
    return SQL_SUCCESS;
}

SQLRETURN ImplFreeStmtHandle(HandleBase* record) {
    auto* stmt = static_cast<StmtRecord*>(record);
    StmtCloseCursor(stmt);
    StmtFree(stmt);
    return SQL_SUCCESS;
}

SQLRETURN ImplFreeDesc(HandleBase* record) {
    auto* desc = static_cast<DescRecord*>(record);
    // A statement's own descriptor goes with the statement; freeing it here would leave the
    // statement pointing at freed memory.
    if (desc->allocKind != SQL_DESC_ALLOC_USER) {
        desc->lastError = kErrAutomaticDescriptor;
        return SQL_ERROR;
    }
    DescFree(desc);
    return SQL_SUCCESS;
}

SQLRETURN ImplFreeStmt(HandleBase* record, SQLUSMALLINT option) {
    auto* stmt = static_cast<StmtRecord*>(record);
    switch (option) {
        case SQL_CLOSE:
            StmtCloseCursor(stmt);
            break;
        case SQL_DROP:
            StmtCloseCursor(stmt);
            StmtFree(stmt);
            return SQL_SUCCESS;
        case SQL_UNBIND:
            StmtUnbindCols(stmt);
            break;
        case SQL_RESET_PARAMS:
            StmtResetParams(stmt);
            break;
        default:
            stmt->lastError = kErrOptionRange;
            return SQL_ERROR;
    }
    return stmt->lastError ? SQL_ERROR : SQL_SUCCESS;
}

SQLRETURN ImplSetEnvAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER valueArg, SQLINTEGER) {
    auto* env = static_cast<EnvRecord*>(record);
    auto value = reinterpret_cast<uintptr_t>(valueArg);
    auto refuse = [&](uint32_t code) {
        env->lastError = code;
        return SQL_ERROR;
    };
    constexpr uint32_t kUnknownAttr = 27;  // S1092
    constexpr uint32_t kBadValue = 138;    // S1024
    switch (attr) {
        case SQL_ATTR_ODBC_VERSION:
            if (value == SQL_OV_ODBC2 || value == SQL_OV_ODBC3)
                env->odbcVersion = uint32_t(value);
            else if (value == 380)
                env->odbcVersion = 3;  // ODBC 3.8 applications read ODBC 3 states
            else
                return refuse(kBadValue);
            break;
        case SQL_ATTR_CONNECTION_POOLING:
            if (value > 2) return refuse(kBadValue);
            env->pooling = uint32_t(value);
            break;
        case SQL_ATTR_CP_MATCH:
            if (value > 1) return refuse(kBadValue);
            env->poolMatch = uint32_t(value);
            break;
        case SQL_ATTR_OUTPUT_NTS:
            if (value > 1) return refuse(kBadValue);
            env->outputNts = uint32_t(value);
            break;
        default:
            return refuse(kUnknownAttr);
    }
    return SQL_SUCCESS;
}

SQLRETURN ImplGetEnvAttr(HandleBase* record, SQLINTEGER attr, SQLPOINTER valueArg, SQLINTEGER, SQLINTEGER*) {
    auto* env = static_cast<EnvRecord*>(record);
    auto* value = static_cast<SQLINTEGER*>(valueArg);
    SQLINTEGER v = 0;
    switch (attr) {
        case SQL_ATTR_ODBC_VERSION:
            v = SQLINTEGER(env->odbcVersion);
            break;
        case SQL_ATTR_CONNECTION_POOLING:
            v = SQLINTEGER(env->pooling);
            break;
        case SQL_ATTR_CP_MATCH:
            v = SQLINTEGER(env->poolMatch);
            break;
        case kEnvAttrFamilyConstant:
            v = 2;
            break;
        case SQL_ATTR_OUTPUT_NTS:
            v = env->outputNts ? 1 : 0;
            break;
        default:
            env->lastError = kErrOptionRange;
            return SQL_ERROR;
    }
    if (value) *value = v;
    return SQL_SUCCESS;
}

SQLRETURN ImplDisconnect(HandleBase* record) {
    auto* conn = static_cast<ConnRecord*>(record);
    if (conn->state != kConnStateConnected) {
        conn->lastError = kErrNotOpen;
        return SQL_ERROR;
    }
    uint32_t code = ConnDisconnect(conn);
    if (code) conn->lastError = code;
    return (code || conn->state != kConnStateAllocated) ? SQL_ERROR : SQL_SUCCESS;
}

SQLRETURN ImplCloseCursor(HandleBase* record) {
    auto* stmt = static_cast<StmtRecord*>(record);
    if (ErrCode refused = StmtMayCloseCursor(stmt)) return Fail(stmt, refused);
    StmtCloseCursor(stmt);
    return stmt->lastError ? SQL_ERROR : SQL_SUCCESS;
}
