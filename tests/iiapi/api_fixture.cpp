#include "tests/iiapi/api_fixture.h"

#include "iiapi/session.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

namespace apitest {

namespace {

struct DataDir {
    std::string path;
    pid_t owner = getpid();  // a forked child that ends normally leaves the directory to its parent
    DataDir() {
        char tmpl[] = "/tmp/iiapi-test-XXXXXX";
        const char* d = mkdtemp(tmpl);
        path = d ? d : "/tmp";
        setenv("II_DATABASE_DIR", path.c_str(), 1);
    }
    ~DataDir() {
        std::error_code ec;
        if (getpid() == owner && path.rfind("/tmp/iiapi-test-", 0) == 0) std::filesystem::remove_all(path, ec);
    }
};

DataDir& dataDir() {
    static DataDir d;
    return d;
}

void putU16(std::string& s, uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); }

// The value of a text in the parameter's type, through the engine's own conversion as a client
// would make it.
std::string converted(const IIAPI_DESCRIPTOR& d, const std::string& text) {
    IIAPI_CONVERTPARM cv{};
    cv.cv_srcDesc.ds_dataType = IIAPI_CHA_TYPE;
    cv.cv_srcDesc.ds_length = uint16_t(text.size());
    cv.cv_srcValue.dv_length = uint16_t(text.size());
    cv.cv_srcValue.dv_value = const_cast<char*>(text.data());
    cv.cv_dstDesc = d;
    std::string buf(d.ds_length, '\0');
    cv.cv_dstValue.dv_value = buf.data();
    IIapi_convertData(&cv);
    EXPECT_EQ(cv.cv_status, IIAPI_ST_SUCCESS) << text;
    return buf.substr(0, cv.cv_dstValue.dv_length);
}

}  // namespace

std::vector<Msg> drain(II_PTR errorHandle) {
    std::vector<Msg> out;
    if (!errorHandle) return out;
    for (int guard = 0; guard < 100; ++guard) {
        IIAPI_GETEINFOPARM g{};
        g.ge_errorHandle = errorHandle;
        IIapi_getErrorInfo(&g);
        if (g.ge_status != IIAPI_ST_SUCCESS) break;
        out.push_back({g.ge_SQLSTATE, long(g.ge_errorCode), g.ge_message ? g.ge_message : ""});
    }
    return out;
}

IIAPI_STATUS finish(IIAPI_GENPARM& gp) {
    for (int guard = 0; !gp.gp_completed && guard < 1000; ++guard) {
        IIAPI_WAITPARM w{};
        w.wt_timeout = 100000;
        IIapi_wait(&w);
        if (w.wt_status != IIAPI_ST_SUCCESS) break;
    }
    EXPECT_TRUE(gp.gp_completed);
    return gp.gp_status;
}

static Param base(int16_t type, uint16_t len) {
    Param p;
    p.d.ds_dataType = type;
    p.d.ds_length = len;
    p.d.ds_columnType = IIAPI_COL_QPARM;
    return p;
}

Param pInt(long long v, int len) {
    Param p = base(IIAPI_INT_TYPE, uint16_t(len));
    if (len == 1) {
        int8_t x = int8_t(v);
        p.bytes.assign(reinterpret_cast<char*>(&x), 1);
    } else if (len == 2) {
        int16_t x = int16_t(v);
        p.bytes.assign(reinterpret_cast<char*>(&x), 2);
    } else if (len == 4) {
        int32_t x = int32_t(v);
        p.bytes.assign(reinterpret_cast<char*>(&x), 4);
    } else {
        int64_t x = v;
        p.bytes.assign(reinterpret_cast<char*>(&x), 8);
    }
    return p;
}

Param pFloat(double v, int len) {
    Param p = base(IIAPI_FLT_TYPE, uint16_t(len));
    if (len == 4) {
        float x = float(v);
        p.bytes.assign(reinterpret_cast<char*>(&x), 4);
    } else
        p.bytes.assign(reinterpret_cast<char*>(&v), 8);
    return p;
}

Param pChar(const std::string& s) {
    Param p = base(IIAPI_CHA_TYPE, uint16_t(s.size()));
    p.bytes = s;
    return p;
}

Param pVarchar(const std::string& s, int declared) {
    Param p = base(IIAPI_VCH_TYPE, uint16_t((declared ? declared : int(s.size())) + 2));
    putU16(p.bytes, uint16_t(s.size()));
    p.bytes += s;
    return p;
}

Param pNChar(const std::u16string& s) {
    Param p = base(IIAPI_NCHA_TYPE, uint16_t(s.size() * 2));
    p.bytes.assign(reinterpret_cast<const char*>(s.data()), s.size() * 2);
    return p;
}

Param pNVarchar(const std::u16string& s) {
    Param p = base(IIAPI_NVCH_TYPE, uint16_t(s.size() * 2 + 2));
    putU16(p.bytes, uint16_t(s.size()));
    p.bytes.append(reinterpret_cast<const char*>(s.data()), s.size() * 2);
    return p;
}

Param pByte(const std::string& s) {
    Param p = base(IIAPI_BYTE_TYPE, uint16_t(s.size()));
    p.bytes = s;
    return p;
}

Param pVarbyte(const std::string& s) {
    Param p = base(IIAPI_VBYTE_TYPE, uint16_t(s.size() + 2));
    putU16(p.bytes, uint16_t(s.size()));
    p.bytes += s;
    return p;
}

Param pLong(int16_t type, const std::string& bytes) {
    Param p = base(type, 2000);
    p.bytes = bytes;
    return p;
}

Param pDecimal(const std::string& text, int precision, int scale) {
    Param p = base(IIAPI_DEC_TYPE, uint16_t(precision / 2 + 1));
    p.d.ds_precision = int16_t(precision);
    p.d.ds_scale = int16_t(scale);
    p.bytes = converted(p.d, text);
    return p;
}

Param pMoney(double v) {
    Param p = base(IIAPI_MNY_TYPE, 8);
    p.bytes.assign(reinterpret_cast<char*>(&v), 8);
    return p;
}

Param pDate(int16_t type, const std::string& text) {
    Param p = base(type, 12);
    p.bytes = converted(p.d, text);
    return p;
}

Param pBool(bool v) {
    Param p = base(IIAPI_BOOL_TYPE, 1);
    p.bytes.assign(1, v ? '\1' : '\0');
    return p;
}

Param pNull(int16_t type, int len) {
    Param p = base(type, uint16_t(len));
    p.null = true;
    p.d.ds_nullable = II_TRUE;
    return p;
}

Param pService(const std::string& s) {
    Param p = pChar(s);
    p.d.ds_columnType = IIAPI_COL_SVCPARM;
    return p;
}

II_PTR environment() {
    static II_PTR env = [] {
        dataDir();
        II_PTR env = IIEngineInitialize();
        EXPECT_NE(env, nullptr);
        II_LONG seg = 8192;
        IIAPI_SETENVPRMPARM se{};
        se.se_envHandle = env;
        se.se_paramID = IIAPI_EP_MAX_SEGMENT_LEN;
        se.se_paramValue = &seg;
        IIapi_setEnvParam(&se);
        EXPECT_EQ(se.se_status, IIAPI_ST_SUCCESS);
        return env;
    }();
    return env;
}

std::string freshDatabase(const char* user, const char* password) {
    environment();
    static std::atomic<int> n{0};
    std::string name = "db" + std::to_string(getpid()) + "_" + std::to_string(++n);
    char err[256] = "";
    EXPECT_EQ(iiengine_createDatabase(name.c_str(), user, password, err, sizeof err), 0) << err;
    // The suites run once more with the separately locked row-version table beside every
    // database: the engine's semantics must not change with it.
    if (const char* v = std::getenv("TV_TEST_ROWVER_TABLE"); v && *v == '1') {
        EXPECT_EQ(iiengine_createRowVersionTable(name.c_str(), err, sizeof err), 0) << err;
    }
    return name;
}

std::string firstMessage(const std::vector<Msg>& msgs) { return msgs.empty() ? "" : msgs[0].text; }

IIAPI_STATUS fetchOne(II_PTR stmt, void* value, std::vector<Msg>* msgs) {
    IIAPI_DATAVALUE dv{};
    dv.dv_value = value;
    IIAPI_GETCOLPARM gc{};
    gc.gc_stmtHandle = stmt;
    gc.gc_rowCount = 1;
    gc.gc_columnCount = 1;
    gc.gc_columnData = &dv;
    IIapi_getColumns(&gc);
    IIAPI_STATUS st = finish(gc.gc_genParm);
    if (msgs) *msgs = drain(gc.gc_genParm.gp_errorHandle);
    return st;
}

void SampleDatabase::SetUp() {
    db = freshDatabase("owner");
    char err[512] = "";
    ASSERT_EQ(iiengine_loadSample(db.c_str(), "owner", nullptr, err, sizeof err), 0) << err;
    ASSERT_EQ(s.connect(environment(), db, "owner"), IIAPI_ST_SUCCESS);
}

std::string trimmed(const std::optional<std::string>& v) {
    if (!v) return "<null>";
    std::string s = *v;
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

Session::~Session() {
    if (conn) disconnect();
}

IIAPI_STATUS Session::connect(II_PTR env, const std::string& target, const char* user, const char* password,
                              std::vector<Msg>* msgs) {
    IIAPI_SETCONPRMPARM sc{};
    sc.sc_connHandle = env;
    sc.sc_paramID = IIAPI_CP_DECIMAL_CHAR;
    sc.sc_paramValue = const_cast<char*>(".");
    IIapi_setConnectParam(&sc);
    EXPECT_EQ(finish(sc.sc_genParm), IIAPI_ST_SUCCESS);
    IIEngineSession session;
    IIAPI_STATUS st = IIEngineConnect(&session, sc.sc_connHandle, target.c_str(), user, password);
    if (msgs) *msgs = drain(session.errorHandle);
    if (st == IIAPI_ST_SUCCESS) {
        conn = session.conn;
        tran = session.tran;
        sizeAdvise = session.sizeAdvise;
        apiLevel = session.apiLevel;
    }
    return st;
}

IIAPI_STATUS Session::disconnect() {
    IIEngineSession session;
    session.conn = conn;
    session.tran = tran;
    conn = tran = nullptr;
    return IIEngineClose(&session, false);
}

IIAPI_STATUS Session::commit(std::vector<Msg>* msgs) {
    if (!tran) return IIAPI_ST_SUCCESS;
    IIAPI_COMMITPARM cm{};
    cm.cm_tranHandle = tran;
    IIapi_commit(&cm);
    IIAPI_STATUS st = finish(cm.cm_genParm);
    if (msgs) *msgs = drain(cm.cm_genParm.gp_errorHandle);
    tran = nullptr;
    return st;
}

IIAPI_STATUS Session::rollback() {
    if (!tran) return IIAPI_ST_SUCCESS;
    IIAPI_ROLLBACKPARM rb{};
    rb.rb_tranHandle = tran;
    IIapi_rollback(&rb);
    IIAPI_STATUS st = finish(rb.rb_genParm);
    tran = nullptr;
    return st;
}

static IIAPI_STATUS sendParams(II_PTR stmt, const std::vector<Param>& params, std::vector<Msg>* msgs) {
    std::vector<IIAPI_DESCRIPTOR> desc;
    for (auto& p : params) {
        IIAPI_DESCRIPTOR d = p.d;
        d.ds_columnName = p.name.empty() ? nullptr : const_cast<char*>(p.name.c_str());
        desc.push_back(d);
    }
    IIAPI_SETDESCRPARM sd{};
    sd.sd_stmtHandle = stmt;
    sd.sd_descriptorCount = int16_t(desc.size());
    sd.sd_descriptor = desc.data();
    IIapi_setDescriptor(&sd);
    IIAPI_STATUS st = finish(sd.sd_genParm);
    if (st != IIAPI_ST_SUCCESS) {
        if (msgs) *msgs = drain(sd.sd_genParm.gp_errorHandle);
        return st;
    }
    for (auto& p : params) {
        bool isLong = p.d.ds_dataType == IIAPI_LVCH_TYPE || p.d.ds_dataType == IIAPI_LBYTE_TYPE ||
                      p.d.ds_dataType == IIAPI_LNVCH_TYPE;
        if (!isLong || p.null) {
            IIAPI_DATAVALUE dv{};
            dv.dv_null = p.null ? II_TRUE : II_FALSE;
            dv.dv_length = uint16_t(p.bytes.size());
            dv.dv_value = const_cast<char*>(p.bytes.data());
            IIAPI_PUTPARMPARM pp{};
            pp.pp_stmtHandle = stmt;
            pp.pp_parmCount = 1;
            pp.pp_parmData = &dv;
            IIapi_putParms(&pp);
            st = finish(pp.pp_genParm);
            if (st != IIAPI_ST_SUCCESS) {
                if (msgs) *msgs = drain(pp.pp_genParm.gp_errorHandle);
                return st;
            }
            continue;
        }
        // Segments of at most (descriptor length - 2) bytes behind a u16 length.
        size_t seg = p.d.ds_length - 2u;
        size_t off = 0;
        do {
            size_t n = std::min(seg, p.bytes.size() - off);
            std::string buf;
            uint16_t prefix = uint16_t(p.d.ds_dataType == IIAPI_LNVCH_TYPE ? n / 2 : n);
            buf.append(reinterpret_cast<const char*>(&prefix), 2);
            buf.append(p.bytes, off, n);
            off += n;
            IIAPI_DATAVALUE dv{};
            dv.dv_length = uint16_t(buf.size());
            dv.dv_value = buf.data();
            IIAPI_PUTPARMPARM pp{};
            pp.pp_stmtHandle = stmt;
            pp.pp_parmCount = 1;
            pp.pp_parmData = &dv;
            pp.pp_moreSegments = off < p.bytes.size();
            IIapi_putParms(&pp);
            st = finish(pp.pp_genParm);
            if (st != IIAPI_ST_SUCCESS) {
                if (msgs) *msgs = drain(pp.pp_genParm.gp_errorHandle);
                return st;
            }
        } while (off < p.bytes.size());
    }
    return IIAPI_ST_SUCCESS;
}

II_PTR Session::open(const std::string& text, const std::vector<Param>& params, long queryType, IIAPI_STATUS& st,
                     std::vector<Msg>* msgs) {
    IIAPI_QUERYPARM q{};
    q.qy_connHandle = conn;
    q.qy_queryType = queryType;
    q.qy_queryText = text.empty() ? nullptr : const_cast<char*>(text.c_str());
    q.qy_parameters = !params.empty();
    q.qy_tranHandle = tran;
    IIapi_query(&q);
    st = finish(q.qy_genParm);
    tran = q.qy_tranHandle;
    if (st != IIAPI_ST_SUCCESS) {
        if (msgs) *msgs = drain(q.qy_genParm.gp_errorHandle);
        return q.qy_stmtHandle;
    }
    if (!params.empty()) st = sendParams(q.qy_stmtHandle, params, msgs);
    return q.qy_stmtHandle;
}

IIAPI_STATUS Session::close(II_PTR stmt) {
    IIAPI_CLOSEPARM cl{};
    cl.cl_stmtHandle = stmt;
    IIapi_close(&cl);
    return finish(cl.cl_genParm);
}

IIAPI_STATUS descriptors(II_PTR stmt, std::vector<IIAPI_DESCRIPTOR>& desc, std::vector<std::string>& names,
                         std::vector<Msg>* msgs) {
    IIAPI_GETDESCRPARM gd{};
    gd.gd_stmtHandle = stmt;
    IIapi_getDescriptor(&gd);
    IIAPI_STATUS st = finish(gd.gd_genParm);
    desc.clear();
    names.clear();
    if (st == IIAPI_ST_SUCCESS) {
        for (int i = 0; i < gd.gd_descriptorCount; ++i) {
            desc.push_back(gd.gd_descriptor[i]);
            names.push_back(gd.gd_descriptor[i].ds_columnName ? gd.gd_descriptor[i].ds_columnName : "");
        }
    } else if (msgs && st != IIAPI_ST_NO_DATA) {
        *msgs = drain(gd.gd_genParm.gp_errorHandle);
    }
    return st;
}

std::optional<std::string> toText(const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v) {
    if (v.dv_null) return std::nullopt;
    IIAPI_CONVERTPARM cv{};
    cv.cv_srcDesc = d;
    cv.cv_srcValue = v;
    cv.cv_dstDesc.ds_dataType = IIAPI_VCH_TYPE;
    cv.cv_dstDesc.ds_length = 32002;
    std::string buf(32002, '\0');
    cv.cv_dstValue.dv_value = buf.data();
    IIapi_convertData(&cv);
    if (cv.cv_status != IIAPI_ST_SUCCESS) return std::string("(conversion failed)");
    uint16_t n;
    std::memcpy(&n, buf.data(), 2);
    return buf.substr(2, n);
}

static bool isLongType(int t) { return t == IIAPI_LVCH_TYPE || t == IIAPI_LBYTE_TYPE || t == IIAPI_LNVCH_TYPE; }

Result Session::run(const std::string& text, const std::vector<Param>& params, long queryType, int block) {
    Result r;
    r.stmt = open(text, params, queryType, r.status, &r.msgs);
    if (r.status != IIAPI_ST_SUCCESS) {
        if (r.stmt) close(r.stmt);
        return r;
    }
    IIAPI_STATUS st = descriptors(r.stmt, r.desc, r.names, &r.msgs);
    if (st != IIAPI_ST_SUCCESS && st != IIAPI_ST_NO_DATA) r.status = st;
    bool anyLong = false;
    for (auto& d : r.desc) anyLong = anyLong || isLongType(d.ds_dataType);
    if (anyLong) block = 1;
    const size_t ncols = r.desc.size();
    bool more = ncols > 0 && r.status == IIAPI_ST_SUCCESS;
    // After a getColumns call: whether the rows ended or the call failed (recorded in r).
    auto stopped = [&](IIAPI_GETCOLPARM& gc) {
        st = finish(gc.gc_genParm);
        if (st == IIAPI_ST_SUCCESS) return false;
        if (st != IIAPI_ST_NO_DATA) {
            r.status = st;
            r.msgs = drain(gc.gc_genParm.gp_errorHandle);
        }
        return true;
    };
    while (more) {
        // Groups as a client reads them: runs of short columns, and each long column alone.
        using Row = std::vector<std::optional<std::string>>;
        std::vector<Row> rows(static_cast<size_t>(block), Row(ncols));
        int got = block;
        size_t col = 0;
        while (col < ncols) {
            size_t end = col;
            if (isLongType(r.desc[col].ds_dataType)) {
                end = col + 1;
                std::string value;
                bool isNull = false;
                std::vector<char> buf(r.desc[col].ds_length + 2u);
                for (;;) {
                    IIAPI_DATAVALUE dv{};
                    dv.dv_value = buf.data();
                    IIAPI_GETCOLPARM gc{};
                    gc.gc_stmtHandle = r.stmt;
                    gc.gc_rowCount = 1;
                    gc.gc_columnCount = 1;
                    gc.gc_columnData = &dv;
                    IIapi_getColumns(&gc);
                    if (stopped(gc)) {
                        got = 0;
                        break;
                    }
                    if (dv.dv_null) {
                        isNull = true;
                        break;
                    }
                    uint16_t n;
                    std::memcpy(&n, buf.data(), 2);
                    size_t bytes = r.desc[col].ds_dataType == IIAPI_LNVCH_TYPE ? size_t(n) * 2 : n;
                    EXPECT_EQ(dv.dv_length, bytes + 2);
                    value.append(buf.data() + 2, bytes);
                    if (!gc.gc_moreSegments) break;
                }
                if (got == 0) break;
                if (isNull)
                    rows[0][col] = std::nullopt;
                else
                    rows[0][col] = value;
                got = 1;
            } else {
                while (end < ncols && !isLongType(r.desc[end].ds_dataType)) ++end;
                size_t width = end - col;
                std::vector<std::vector<char>> bufs(size_t(block) * width);
                std::vector<IIAPI_DATAVALUE> dvs(size_t(block) * width);
                for (size_t k = 0; k < dvs.size(); ++k) {
                    bufs[k].assign(r.desc[col + k % width].ds_length + 1u, '\0');
                    dvs[k].dv_value = bufs[k].data();
                }
                IIAPI_GETCOLPARM gc{};
                gc.gc_stmtHandle = r.stmt;
                gc.gc_rowCount = int16_t(block);
                gc.gc_columnCount = int16_t(width);
                gc.gc_columnData = dvs.data();
                IIapi_getColumns(&gc);
                if (stopped(gc)) {
                    got = 0;
                    break;
                }
                got = gc.gc_rowsReturned;
                for (int rr = 0; rr < got; ++rr)
                    for (size_t k = 0; k < width; ++k)
                        rows[size_t(rr)][col + k] = toText(r.desc[col + k], dvs[size_t(rr) * width + k]);
            }
            col = end;
        }
        for (int rr = 0; rr < got; ++rr) r.rows.push_back(rows[size_t(rr)]);
        if (got < block || r.status != IIAPI_ST_SUCCESS) more = false;
    }
    IIAPI_GETQINFOPARM gq{};
    gq.gq_stmtHandle = r.stmt;
    IIapi_getQueryInfo(&gq);
    if (finish(gq.gq_genParm) == IIAPI_ST_SUCCESS) {
        if (gq.gq_mask & IIAPI_GQ_ROW_COUNT) r.rowCount = gq.gq_rowCount;
        if (gq.gq_mask & IIAPI_GQ_PROCEDURE_RET) {
            r.hasProcReturn = true;
            r.procReturn = gq.gq_procedureReturn;
        }
    }
    close(r.stmt);
    return r;
}

void expectOneValue(const Result& r, const std::string& what, int16_t type, int16_t precision, int16_t scale,
                    const char* value) {
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << what << ": " << firstMessage(r.msgs);
    ASSERT_EQ(r.desc.size(), 1u) << what;
    EXPECT_EQ(r.desc[0].ds_dataType, type) << what;
    if (type == IIAPI_DEC_TYPE) {
        EXPECT_EQ(r.desc[0].ds_precision, precision) << what;
        EXPECT_EQ(r.desc[0].ds_scale, scale) << what;
        EXPECT_EQ(r.desc[0].ds_length, precision / 2 + 1) << what;
    }
    ASSERT_EQ(r.rows.size(), 1u) << what;
    if (value) {
        EXPECT_EQ(trimmed(r.rows[0][0]), value) << what;
    }
}

}  // namespace apitest
