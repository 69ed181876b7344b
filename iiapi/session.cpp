#include "iiapi/session.h"

namespace {

// The engine completes every call before returning; a remote server would not, so wait as
// a client would.
IIAPI_STATUS Finish(IIAPI_GENPARM& gp) {
    for (int guard = 0; !gp.gp_completed && guard < 1000; ++guard) {
        IIAPI_WAITPARM w{};
        w.wt_timeout = 100000;
        IIapi_wait(&w);
        if (w.wt_status != IIAPI_ST_SUCCESS) break;
    }
    return gp.gp_completed ? gp.gp_status : IIAPI_ST_FAILURE;
}

}  // namespace

II_PTR IIEngineInitialize() {
    IIAPI_INITPARM in{};
    in.in_version = IIAPI_VERSION_8;
    in.in_timeout = -1;
    IIapi_initialize(&in);
    return in.in_status == IIAPI_ST_SUCCESS ? in.in_envHandle : nullptr;
}

IIAPI_STATUS IIEngineConnect(IIEngineSession* s, II_PTR handle, const char* target, const char* user,
                             const char* password) {
    IIAPI_CONNPARM co{};
    co.co_target = const_cast<char*>(target);
    co.co_username = const_cast<char*>(user);
    co.co_password = const_cast<char*>(password);
    co.co_connHandle = handle;
    co.co_type = IIAPI_CT_SQL;
    co.co_timeout = -1;
    IIapi_connect(&co);
    IIAPI_STATUS st = Finish(co.co_genParm);
    s->errorHandle = co.co_genParm.gp_errorHandle;
    if (st == IIAPI_ST_SUCCESS) {
        s->conn = co.co_connHandle;
        s->tran = co.co_tranHandle;
        s->sizeAdvise = co.co_sizeAdvise;
        s->apiLevel = co.co_apiLevel;
    }
    return st;
}

IIAPI_STATUS IIEngineEndTransaction(IIEngineSession* s, bool commit) {
    if (!s->tran) return IIAPI_ST_SUCCESS;
    IIAPI_STATUS st;
    if (commit) {
        IIAPI_COMMITPARM cm{};
        cm.cm_tranHandle = s->tran;
        IIapi_commit(&cm);
        st = Finish(cm.cm_genParm);
        s->errorHandle = cm.cm_genParm.gp_errorHandle;
    } else {
        IIAPI_ROLLBACKPARM rb{};
        rb.rb_tranHandle = s->tran;
        IIapi_rollback(&rb);
        st = Finish(rb.rb_genParm);
        s->errorHandle = rb.rb_genParm.gp_errorHandle;
    }
    s->tran = nullptr;
    return st;
}

IIAPI_STATUS IIEngineClose(IIEngineSession* s, bool releaseEnv) {
    IIAPI_STATUS st = IIAPI_ST_SUCCESS;
    if (s->conn) {
        IIEngineEndTransaction(s, false);
        IIAPI_DISCONNPARM dc{};
        dc.dc_connHandle = s->conn;
        IIapi_disconnect(&dc);
        st = Finish(dc.dc_genParm);
        s->conn = nullptr;
    }
    if (releaseEnv && s->env) {
        IIAPI_RELENVPARM re{};
        re.re_envHandle = s->env;
        IIapi_releaseEnv(&re);
        IIAPI_TERMPARM tm{};
        IIapi_terminate(&tm);
        s->env = nullptr;
    }
    return st;
}
