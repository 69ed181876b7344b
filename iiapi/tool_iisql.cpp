// iisql: runs SQL statements against a database of the embedded engine and prints the results.
#include "iiapi/iiapi.h"
#include "iiapi/session.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

int usage(const char* prog) {
    std::fprintf(stderr,
                 "usage: %s [-u user] [-P password] database [statement ...]\n"
                 "  Runs each statement (or the statements read from standard input, each ended by ';'\n"
                 "  at the end of a line) in one transaction, printing rows separated by tabs.\n"
                 "  The transaction is committed when every statement succeeded, else rolled back.\n",
                 prog);
    return 2;
}

std::string message(II_PTR h) {
    std::string all;
    for (int guard = 0; guard < 50; ++guard) {
        IIAPI_GETEINFOPARM g{};
        g.ge_errorHandle = h;
        IIapi_getErrorInfo(&g);
        if (g.ge_status != IIAPI_ST_SUCCESS) break;
        if (!all.empty()) all += "\n";
        all += std::string("[") + g.ge_SQLSTATE + "] " + (g.ge_message ? g.ge_message : "");
    }
    return all.empty() ? "failed" : all;
}

std::string text(const IIAPI_DESCRIPTOR& d, const IIAPI_DATAVALUE& v) {
    if (v.dv_null) return "NULL";
    if (d.ds_dataType == IIAPI_BYTE_TYPE || d.ds_dataType == IIAPI_VBYTE_TYPE || d.ds_dataType == IIAPI_LBYTE_TYPE) {
        // Bytes are shown in hexadecimal.
        const auto* p = static_cast<const unsigned char*>(v.dv_value);
        size_t n = v.dv_length, off = 0;
        if (d.ds_dataType != IIAPI_BYTE_TYPE && n >= 2) {
            uint16_t len;
            std::memcpy(&len, p, 2);
            off = 2;
            n = std::min<size_t>(len, n - 2);
        }
        std::string out = "X'";
        char hex[3];
        for (size_t i = 0; i < n; ++i) {
            std::snprintf(hex, sizeof hex, "%02x", p[off + i]);
            out += hex;
        }
        return out + "'";
    }
    IIAPI_CONVERTPARM cv{};
    cv.cv_srcDesc = d;
    cv.cv_srcValue = v;
    cv.cv_dstDesc.ds_dataType = IIAPI_VCH_TYPE;
    cv.cv_dstDesc.ds_length = 32002;
    std::vector<char> buf(32002);
    cv.cv_dstValue.dv_value = buf.data();
    IIapi_convertData(&cv);
    if (cv.cv_status != IIAPI_ST_SUCCESS) return "?";
    uint16_t n;
    std::memcpy(&n, buf.data(), 2);
    return std::string(buf.data() + 2, n);
}

bool isLong(int t) { return t == IIAPI_LVCH_TYPE || t == IIAPI_LBYTE_TYPE || t == IIAPI_LNVCH_TYPE; }

bool run(II_PTR conn, II_PTR& tran, const std::string& sql) {
    IIAPI_QUERYPARM q{};
    q.qy_connHandle = conn;
    q.qy_queryType = IIAPI_QT_QUERY;
    q.qy_queryText = const_cast<char*>(sql.c_str());
    q.qy_tranHandle = tran;
    IIapi_query(&q);
    tran = q.qy_tranHandle;
    bool ok = q.qy_genParm.gp_status == IIAPI_ST_SUCCESS;
    if (!ok) std::fprintf(stderr, "%s\n", message(q.qy_genParm.gp_errorHandle).c_str());
    IIAPI_GETDESCRPARM gd{};
    gd.gd_stmtHandle = q.qy_stmtHandle;
    if (ok) IIapi_getDescriptor(&gd);
    if (ok && gd.gd_genParm.gp_status == IIAPI_ST_SUCCESS && gd.gd_descriptorCount > 0) {
        std::vector<IIAPI_DESCRIPTOR> desc(gd.gd_descriptor, gd.gd_descriptor + gd.gd_descriptorCount);
        for (size_t i = 0; i < desc.size(); ++i)
            std::printf("%s%s", i ? "\t" : "", desc[i].ds_columnName ? desc[i].ds_columnName : "");
        std::printf("\n");
        long rows = 0;
        for (bool more = true; more && ok;) {
            std::string line;
            for (size_t i = 0; i < desc.size() && more; ++i) {
                std::vector<char> buf(desc[i].ds_length + 2u);
                std::string value;
                for (;;) {
                    IIAPI_DATAVALUE dv{};
                    dv.dv_value = buf.data();
                    IIAPI_GETCOLPARM gc{};
                    gc.gc_stmtHandle = q.qy_stmtHandle;
                    gc.gc_rowCount = 1;
                    gc.gc_columnCount = 1;
                    gc.gc_columnData = &dv;
                    IIapi_getColumns(&gc);
                    if (gc.gc_genParm.gp_status == IIAPI_ST_NO_DATA) {
                        more = false;
                        break;
                    }
                    if (gc.gc_genParm.gp_status != IIAPI_ST_SUCCESS) {
                        std::fprintf(stderr, "%s\n", message(gc.gc_genParm.gp_errorHandle).c_str());
                        ok = false;
                        more = false;
                        break;
                    }
                    if (isLong(desc[i].ds_dataType) && !dv.dv_null) {
                        uint16_t n;
                        std::memcpy(&n, buf.data(), 2);
                        IIAPI_DESCRIPTOR seg = desc[i];
                        seg.ds_dataType = desc[i].ds_dataType == IIAPI_LNVCH_TYPE   ? IIAPI_NVCH_TYPE
                                          : desc[i].ds_dataType == IIAPI_LBYTE_TYPE ? IIAPI_VBYTE_TYPE
                                                                                    : IIAPI_VCH_TYPE;
                        value += text(seg, dv);
                        if (gc.gc_moreSegments) continue;
                    } else {
                        value = text(desc[i], dv);
                    }
                    break;
                }
                if (more) line += (i ? "\t" : "") + value;
            }
            if (more) {
                std::printf("%s\n", line.c_str());
                ++rows;
            }
        }
        std::printf("(%ld row%s)\n", rows, rows == 1 ? "" : "s");
    } else if (ok) {
        IIAPI_GETQINFOPARM gq{};
        gq.gq_stmtHandle = q.qy_stmtHandle;
        IIapi_getQueryInfo(&gq);
        if (gq.gq_mask & IIAPI_GQ_ROW_COUNT)
            std::printf("(%ld row%s)\n", long(gq.gq_rowCount), gq.gq_rowCount == 1 ? "" : "s");
        if (gq.gq_mask & IIAPI_GQ_PROCEDURE_RET) std::printf("(return value %ld)\n", long(gq.gq_procedureReturn));
    }
    IIAPI_CLOSEPARM cl{};
    cl.cl_stmtHandle = q.qy_stmtHandle;
    IIapi_close(&cl);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const char *user = nullptr, *password = nullptr, *target = nullptr;
    std::vector<std::string> statements;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-u" && i + 1 < argc)
            user = argv[++i];
        else if (a == "-P" && i + 1 < argc)
            password = argv[++i];
        else if (a == "-h" || a == "--help")
            return usage(argv[0]);
        else if (!target && !a.empty() && a[0] == '-')
            return usage(argv[0]);
        else if (!target)
            target = argv[i];
        else
            statements.push_back(a);
    }
    if (!target) return usage(argv[0]);
    if (statements.empty()) {
        std::string cur, line;
        while (std::getline(std::cin, line)) {
            cur += line + "\n";
            size_t e = line.find_last_not_of(" \t\r");
            if (e != std::string::npos && line[e] == ';') {
                statements.push_back(cur);
                cur.clear();
            }
        }
        if (cur.find_first_not_of(" \t\r\n") != std::string::npos) statements.push_back(cur);
    }
    IIEngineSession session;
    session.env = IIEngineInitialize();
    if (IIEngineConnect(&session, session.env, target, user, password) != IIAPI_ST_SUCCESS) {
        std::fprintf(stderr, "%s: %s\n", argv[0], message(session.errorHandle).c_str());
        return 1;
    }
    bool ok = true;
    for (auto& s : statements)
        if (!run(session.conn, session.tran, s)) {
            ok = false;
            break;
        }
    if (ok && IIEngineEndTransaction(&session, true) != IIAPI_ST_SUCCESS) {
        std::fprintf(stderr, "%s\n", message(session.errorHandle).c_str());
        ok = false;
    }
    IIEngineClose(&session, true);
    return ok ? 0 : 1;
}
