// Distributed transaction branches: sessions bound to an XA transaction id, prepared branches that
// outlive their session, and the master database's list of in-doubt branches.
#include "iiapi/internal.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace iiapi {

namespace {

struct Branch {
    std::shared_ptr<Conn> conn;  // keeps the prepared transaction's session alive
    std::string dbname;
    std::string text;  // the branch as the master database lists it
};

std::mutex gBranchMutex;
std::map<std::string, Branch> gPrepared;

std::string hexBytes(const unsigned char* p, size_t n) {
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", p[i]);
        s += b;
    }
    return s;
}

// The branch text: formatID in hex, lengths in decimal, the data in big-endian words of four
// bytes, then the branch sequence number and flags.
std::string branchText(long formatId, long glen, long blen, const unsigned char* data, long seq, long flag) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%08lX:%ld:%ld:", static_cast<unsigned long>(formatId) & 0xFFFFFFFFul, glen, blen);
    std::string s = buf;
    long n = glen + blen;
    for (long w = 0; w < (n + 3) / 4; ++w) {
        unsigned long v = 0;
        for (int k = 0; k < 4; ++k) {
            long idx = w * 4 + k;
            v = (v << 8) | (idx < n ? data[idx] : 0);
        }
        std::snprintf(buf, sizeof buf, "%08lX:", v);
        s += buf;
    }
    std::snprintf(buf, sizeof buf, "XA:%ld:%ld:EX", seq, flag);
    return s + buf;
}

}  // namespace

bool xaKeyFromTranId(const IIAPI_TRAN_ID& id, std::string& key, std::string& text) {
    if (id.ti_type != IIAPI_TI_XAXID) return false;
    const auto& x = id.ti_value.xaXID;
    if (x.xa_gtridLength < 1 || x.xa_gtridLength > 64 || x.xa_bqualLength < 0 || x.xa_bqualLength > 64) return false;
    const auto* data = reinterpret_cast<const unsigned char*>(x.xa_data);
    size_t n = size_t(x.xa_gtridLength + x.xa_bqualLength);
    char head[48];
    std::snprintf(head, sizeof head, "%lX:%ld:%ld:", static_cast<unsigned long>(x.xa_formatID) & 0xFFFFFFFFul,
                  long(x.xa_gtridLength), long(x.xa_bqualLength));
    key = head + hexBytes(data, n);
    text = branchText(x.xa_formatID, x.xa_gtridLength, x.xa_bqualLength, data, x.xa_branchSeqnum, x.xa_branchFlag);
    return true;
}

bool xaKeyFromText(std::string_view in, std::string& key, std::string& text) {
    // "formatID:gtrid_length:bqual_length:word:...:XA:seq:flag:EX", quotes allowed around it.
    std::string s(in);
    while (!s.empty() && (s.front() == '\'' || s.front() == ' ')) s.erase(s.begin());
    while (!s.empty() && (s.back() == '\'' || s.back() == ' ')) s.pop_back();
    std::vector<std::string> f;
    size_t pos = 0;
    while (pos <= s.size()) {
        size_t c = s.find(':', pos);
        f.push_back(s.substr(pos, c == std::string::npos ? std::string::npos : c - pos));
        if (c == std::string::npos) break;
        pos = c + 1;
    }
    if (f.size() < 4) return false;
    char* end = nullptr;
    unsigned long fmt = std::strtoul(f[0].c_str(), &end, 16);
    if (!end || *end || f[0].empty()) return false;
    long g = std::strtol(f[1].c_str(), &end, 10);
    if (!end || *end) return false;
    long b = std::strtol(f[2].c_str(), &end, 10);
    if (!end || *end) return false;
    if (g < 1 || g > 64 || b < 0 || b > 64) return false;
    long words = (g + b + 3) / 4;
    if (long(f.size()) < 3 + words) return false;
    std::vector<unsigned char> data;
    for (long w = 0; w < words; ++w) {
        const std::string& h = f[size_t(3 + w)];
        unsigned long v = std::strtoul(h.c_str(), &end, 16);
        if (!end || *end || h.empty()) return false;
        for (int k = 3; k >= 0; --k) data.push_back(static_cast<unsigned char>((v >> (8 * k)) & 0xFF));
    }
    long seq = 0, flag = 7;
    if (long(f.size()) >= 3 + words + 3 && f[size_t(3 + words)] == "XA") {
        seq = std::strtol(f[size_t(4 + words)].c_str(), nullptr, 10);
        flag = std::strtol(f[size_t(5 + words)].c_str(), nullptr, 10);
    }
    char head[48];
    std::snprintf(head, sizeof head, "%lX:%ld:%ld:", fmt & 0xFFFFFFFFul, g, b);
    key = head + hexBytes(data.data(), size_t(g + b));
    text = branchText(long(fmt), g, b, data.data(), seq, flag);
    return true;
}

bool xaPrepare(Conn& c, Fault& f) {
    if (c.xaKey.empty()) {
        f = makeFault("25000", native::kSequence, "The session has no distributed transaction to prepare");
        return false;
    }
    auto self = std::static_pointer_cast<Conn>(findObject(c.handle));
    if (!self) {
        f = makeFault("08003", native::kSequence, "The session is gone");
        return false;
    }
    std::lock_guard<std::mutex> lk(gBranchMutex);
    auto it = gPrepared.find(c.xaKey);
    if (it != gPrepared.end() && it->second.conn.get() != &c) {
        f = makeFault("25000", native::kSequence, "The transaction branch is prepared by another session");
        return false;
    }
    gPrepared[c.xaKey] = Branch{self, c.dbname, c.xaText};
    c.xaPrepared = true;
    return true;
}

std::shared_ptr<Conn> xaTakePrepared(const std::string& key, const std::string& dbname) {
    std::lock_guard<std::mutex> lk(gBranchMutex);
    auto it = gPrepared.find(key);
    if (it == gPrepared.end() || it->second.dbname != dbname) return nullptr;
    return it->second.conn;
}

void xaForget(const std::string& key) {
    std::shared_ptr<Conn> keep;  // released outside the lock
    std::lock_guard<std::mutex> lk(gBranchMutex);
    auto it = gPrepared.find(key);
    if (it == gPrepared.end()) return;
    keep = std::move(it->second.conn);
    gPrepared.erase(it);
}

bool xaIsPreparedElsewhere(const std::string& key, const Conn& c) {
    std::lock_guard<std::mutex> lk(gBranchMutex);
    auto it = gPrepared.find(key);
    return it != gPrepared.end() && it->second.conn.get() != &c;
}

// The master database's list of in-doubt branches, refreshed before each statement.
void xaRefreshMaster(Conn& c) {
    sqlite3_exec(c.db,
                 "CREATE TEMP TABLE IF NOT EXISTS lgmo_xa_dis_tran_ids(xa_dis_tran_id varchar(350),"
                 " xa_database_name varchar(32), xa_seqnum integer);"
                 "DELETE FROM temp.lgmo_xa_dis_tran_ids;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(c.db, "INSERT INTO temp.lgmo_xa_dis_tran_ids VALUES(?, ?, 0)", -1, &st, nullptr) !=
        SQLITE_OK)
        return;
    std::lock_guard<std::mutex> lk(gBranchMutex);
    for (auto& [key, b] : gPrepared) {
        sqlite3_reset(st);
        sqlite3_bind_text(st, 1, b.text.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, b.dbname.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
    }
    sqlite3_finalize(st);
}

// Ends the prepared branch a session adopted at connect.
bool xaFinishAdopted(Conn& c, bool commit, Fault& f) {
    std::shared_ptr<Conn> b = std::move(c.adopted);
    if (!b) return true;
    std::string key = b->xaKey;
    bool ok = true;
    {
        std::lock_guard<std::recursive_mutex> lk(b->callMutex);
        Fault ignored;
        ok = endTransaction(*b, commit, commit ? f : ignored);
        b->xaPrepared = false;
        b->xaKey.clear();
    }
    xaForget(key);
    if (!ok && commit) return false;
    return true;
}

}  // namespace iiapi
