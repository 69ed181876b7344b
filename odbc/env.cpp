#include "odbc/env.h"

#include <new>

#include "odbc/conn.h"
#include "odbc/diag.h"
#include "odbc/globals.h"

EnvRecord* EnvCreate() {
    auto* env = RecordNew<EnvRecord>();
    if (!env) return nullptr;
    env->tag = kTagEnv;
    env->state = kEnvStateAllocated;
    env->serial = ++g_EnvCounter;
    env->next = g_EnvList;
    g_EnvList = env;
    return env;
}

void EnvOpen(EnvRecord* env) {
    if (env->state == kEnvStateAllocated) env->state = kEnvStateOpen;
}

void EnvClose(EnvRecord* env) {
    if (env->state != kEnvStateOpen) return;
    while (ConnRecord* conn = env->conns) {
        ConnDisconnect(conn);
        ConnFree(conn);  // unlinks it from env->conns
        ConnRelease(conn);
    }
    env->state = kEnvStateAllocated;
}

void EnvFree(EnvRecord* env) {
    for (EnvRecord** p = &g_EnvList; *p; p = &(*p)->next) {
        if (*p == env) {
            *p = env->next;
            break;
        }
    }
    DiagFreeAll(env);
    env->state = kEnvStateFreed;
    DriverHandleRemove(&g_EnvTable, env);
    RecordDelete(env);
}

bool EnvHasBusyConnection(const EnvRecord* env) {
    for (const ConnRecord* c = env->conns; c; c = c->next)
        if (c->busy.load()) return true;
    return false;
}
