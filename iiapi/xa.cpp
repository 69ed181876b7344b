// Distributed transaction branches: sessions bound to an XA transaction id, prepared branches that
// outlive their session and their process, and the master database's list of in-doubt branches.
//
// A prepared branch is kept on disk beside its database ("<file>.xa/", one file a branch) until it
// is committed or rolled back: its identifier and, for a branch that changed rows, the changes as
// row images (captured while the branch ran). While the preparing session lives, its own open
// transaction holds the work and the database's write lock, and it holds a lock on the branch's
// file. When that session's process ends before the outcome, the file is all that is left: any
// session of any process lists it at recovery and finishes it, committing by writing the row images
// again. Until then writers of the database are refused, as the server's in-doubt transaction would
// keep its locks. A commit is marked in the database itself (iiapi_xa_done) in the transaction that
// makes it, so that a crash between the commit and the removal of the file never commits twice.
// The pre-update hook gives the row images; Debian's SQLite is built with it.
#define SQLITE_ENABLE_PREUPDATE_HOOK 1
#include "iiapi/internal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace iiapi {

namespace {

std::mutex gBranchMutex;
// Prepared branches whose session is alive in this process, by key.
struct LiveBranch {
    std::shared_ptr<Conn> conn;  // keeps the prepared transaction's session alive
    std::string dbname;
};
std::map<std::string, LiveBranch> gPrepared;

constexpr const char* kMagic = "TVXA 1\n";
constexpr const char* kDoneTable = "iiapi_xa_done";
constexpr size_t kTrailer = 8 + 64 + 1;  // "\nsha256 " + digest + "\n"

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

std::string quoteIdent(const std::string& name) {
    std::string q = "\"";
    for (char ch : name) {
        q += ch;
        if (ch == '"') q += '"';
    }
    return q + "\"";
}

int64_t schemaVersion(sqlite3* db, const char* schema) {
    sqlite3_stmt* st = nullptr;
    int64_t v = -1;
    std::string sql = std::string("PRAGMA ") + schema + ".schema_version";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
}

// ---- The branch's file ------------------------------------------------------------------------

std::string branchDir(const std::string& dbPath) { return dbPath + ".xa"; }
// The file's name: a digest of the key (which may be longer than a file name), ".w" for a branch
// that changed rows and holds the database's write lock, ".r" for one that only read.
std::string branchFileName(const std::string& key, bool writes) {
    return sha256Hex(key).substr(0, 40) + (writes ? ".w" : ".r");
}

void putU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}
void putU64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}
void putBytes(std::string& out, const std::string& s) {
    putU32(out, uint32_t(s.size()));
    out += s;
}

struct Reader {
    const std::string& s;
    size_t pos;
    bool ok = true;
    bool need(size_t n) {
        if (!ok || s.size() - pos < n) ok = false;
        return ok;
    }
    uint64_t u(int bytes) {
        if (!need(size_t(bytes))) return 0;
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) v |= uint64_t(static_cast<unsigned char>(s[pos + size_t(i)])) << (8 * i);
        pos += size_t(bytes);
        return v;
    }
    std::string bytes() {
        uint32_t n = uint32_t(u(4));
        if (!need(n)) return std::string();
        std::string out = s.substr(pos, n);
        pos += n;
        return out;
    }
    std::string line(const char* name) {
        const std::string want = std::string(name) + " ";
        size_t end = s.find('\n', pos);
        if (!ok || end == std::string::npos || s.compare(pos, want.size(), want) != 0) {
            ok = false;
            return std::string();
        }
        std::string v = s.substr(pos + want.size(), end - pos - want.size());
        pos = end + 1;
        return v;
    }
};

std::string encodeRecordText(const XaRecord& r) {
    std::string out = kMagic;
    out += "key " + r.key + "\n";
    out += "text " + r.text + "\n";
    out += "db " + r.dbname + "\n";
    out += "nonce " + r.nonce + "\n";
    out += "changes " + std::to_string(r.changes.size()) + "\n";
    for (const XaChange& c : r.changes) {
        out.push_back(c.op);
        putBytes(out, c.schema);
        putBytes(out, c.table);
        putU64(out, uint64_t(c.oldRowid));
        putU64(out, uint64_t(c.newRowid));
        putU32(out, uint32_t(c.values.size()));
        for (const XaValue& v : c.values) {
            out.push_back(char(v.type));
            if (v.type == SQLITE_INTEGER) {
                putU64(out, uint64_t(v.i));
            } else if (v.type == SQLITE_FLOAT) {
                uint64_t bits;
                std::memcpy(&bits, &v.d, 8);
                putU64(out, bits);
            } else if (v.type == SQLITE_TEXT || v.type == SQLITE_BLOB) {
                putBytes(out, v.bytes);
            }
        }
    }
    return out + "\nsha256 " + sha256Hex(out) + "\n";
}

// A damaged file (which the write-then-rename never leaves, but a disk may) is no branch.
bool decodeRecordText(const std::string& file, XaRecord& r) {
    if (file.size() < std::strlen(kMagic) + kTrailer || file.compare(0, std::strlen(kMagic), kMagic) != 0) return false;
    const std::string body = file.substr(0, file.size() - kTrailer);
    const std::string trailer = file.substr(file.size() - kTrailer);
    if (trailer != "\nsha256 " + sha256Hex(body) + "\n") return false;
    Reader in{body, std::strlen(kMagic)};
    r.key = in.line("key");
    r.text = in.line("text");
    r.dbname = in.line("db");
    r.nonce = in.line("nonce");
    const std::string count = in.line("changes");
    if (!in.ok) return false;
    char* end = nullptr;
    unsigned long long n = std::strtoull(count.c_str(), &end, 10);
    if (!end || *end) return false;
    r.changes.clear();
    for (unsigned long long k = 0; k < n && in.ok; ++k) {
        XaChange c;
        if (!in.need(1)) break;
        c.op = body[in.pos++];
        c.schema = in.bytes();
        c.table = in.bytes();
        c.oldRowid = int64_t(in.u(8));
        c.newRowid = int64_t(in.u(8));
        uint32_t cols = uint32_t(in.u(4));
        for (uint32_t i = 0; i < cols && in.ok; ++i) {
            XaValue v;
            if (!in.need(1)) break;
            v.type = static_cast<unsigned char>(body[in.pos++]);
            if (v.type == SQLITE_INTEGER) {
                v.i = int64_t(in.u(8));
            } else if (v.type == SQLITE_FLOAT) {
                uint64_t bits = in.u(8);
                std::memcpy(&v.d, &bits, 8);
            } else if (v.type == SQLITE_TEXT || v.type == SQLITE_BLOB) {
                v.bytes = in.bytes();
            } else if (v.type != SQLITE_NULL) {
                return false;
            }
            c.values.push_back(std::move(v));
        }
        if (c.op != 'I' && c.op != 'U' && c.op != 'D') return false;
        r.changes.push_back(std::move(c));
    }
    return in.ok && in.pos == body.size();
}

// Writes the record under its name in the database's branch directory, holding a lock on the file
// from before it bears its name: a file there whose lock nobody holds belongs to no live session.
bool writeBranchFile(const std::string& dbPath, const XaRecord& r, XaFile& out, Fault& f) {
    const std::string dir = branchDir(dbPath);
    const std::string name = branchFileName(r.key, !r.changes.empty());
    const std::string bytes = encodeRecordText(r);
    std::string why;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            why = std::strerror(errno);
            break;
        }
        const std::string temp = dir + "/." + name + ".tmp";
        int fd = ::open(temp.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            why = std::strerror(errno);
            if (errno == ENOENT) continue;  // the directory was removed as it emptied: make it again
            break;
        }
        if (flock(fd, LOCK_EX) != 0) {
            why = std::strerror(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            break;
        }
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) break;
            done += size_t(w);
        }
        if (done != bytes.size() || fsync(fd) != 0 || ::rename(temp.c_str(), (dir + "/" + name).c_str()) != 0 ||
            !syncDirectory(dir)) {
            why = std::strerror(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            ::unlink((dir + "/" + name).c_str());
            break;
        }
        out.fd = fd;
        out.dir = dir;
        out.name = name;
        return true;
    }
    f = makeFault("S1000", native::kGeneral, "The prepared branch cannot be kept on disk (" + dir + "): " + why);
    return false;
}

// Forgets the branch's file (it is gone from the name first, then its lock) and the directory
// when it has emptied. The removal needs no sync: should a crash undo it, the branch is listed
// again, and finishing it again changes nothing (a commit's mark is in the database).
void removeBranchFile(XaFile& file) {
    if (file.fd < 0 && file.name.empty()) return;
    if (!file.name.empty()) ::unlink((file.dir + "/" + file.name).c_str());
    const std::string dir = file.dir;
    file.close();
    if (!dir.empty()) ::rmdir(dir.c_str());
}

// Lets go of the file, which stays: the branch is in doubt for the next session to finish.
void releaseBranchFile(XaFile& file) { file.close(); }

struct FoundFile {
    std::string name;
    std::string path;
};

std::vector<FoundFile> branchFiles(const std::string& dir) {
    std::vector<FoundFile> out;
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() < 3 || n[0] == '.' ||
            (n.compare(n.size() - 2, 2, ".w") != 0 && n.compare(n.size() - 2, 2, ".r") != 0))
            continue;
        out.push_back({n, dir + "/" + n});
    }
    closedir(d);
    return out;
}

// Opens the file and takes its lock when nobody holds it: -1 when it is held (its session lives)
// or cannot be opened.
int lockUnheld(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    // Removed between the open and the lock: finished meanwhile.
    struct stat a, b;
    if (fstat(fd, &a) != 0 || stat(path.c_str(), &b) != 0 || a.st_ino != b.st_ino || a.st_dev != b.st_dev) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool committedAlready(sqlite3* db, const std::string& nonce) {
    sqlite3_stmt* st = nullptr;
    bool found = false;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM main.iiapi_xa_done WHERE nonce = ?", -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, nonce.c_str(), -1, SQLITE_TRANSIENT);
        found = sqlite3_step(st) == SQLITE_ROW;
    }
    sqlite3_finalize(st);
    return found;
}

bool markCommitted(sqlite3* db, const std::string& nonce, Fault& f) {
    if (!execSimple(db, "CREATE TABLE IF NOT EXISTS main.iiapi_xa_done (nonce TEXT PRIMARY KEY)", f)) return false;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, "INSERT INTO main.iiapi_xa_done (nonce) VALUES (?)", -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_text(st, 1, nonce.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(st);
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        f = faultFromSqlite(db, rc);
        return false;
    }
    return true;
}

// Once the file is gone, the mark has nothing left to guard; a failure leaves only a stale row.
void forgetCommitted(sqlite3* db, const std::string& nonce) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "DELETE FROM main.iiapi_xa_done WHERE nonce = ?", -1, &st, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(st, 1, nonce.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(st);
    }
    sqlite3_finalize(st);
}

std::string newNonce() {
    unsigned char b[16];
    size_t got = 0;
    while (got < sizeof b) {
        ssize_t r = getrandom(b + got, sizeof b - got, 0);
        if (r <= 0) break;
        got += size_t(r);
    }
    // Without randomness the time and the process still make a mark no other branch has.
    std::string extra =
        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ":" + std::to_string(getpid());
    return sha256Hex(std::string(reinterpret_cast<char*>(b), got) + extra).substr(0, 32);
}

// ---- Row images ---------------------------------------------------------------------------------

void captureChange(void* arg, sqlite3* db, int op, const char* schema, const char* table, sqlite3_int64 oldRowid,
                   sqlite3_int64 newRowid) {
    auto* c = static_cast<Conn*>(arg);
    if (!schema || !table || std::strcmp(schema, "temp") == 0 || std::strcmp(table, kDoneTable) == 0) return;
    XaChange ch;
    ch.op = op == SQLITE_INSERT ? 'I' : op == SQLITE_DELETE ? 'D' : 'U';
    ch.schema = schema;
    ch.table = table;
    ch.oldRowid = op == SQLITE_INSERT ? 0 : oldRowid;
    ch.newRowid = op == SQLITE_DELETE ? 0 : newRowid;
    if (op != SQLITE_DELETE) {
        const int n = sqlite3_preupdate_count(db);
        for (int i = 0; i < n; ++i) {
            sqlite3_value* v = nullptr;
            XaValue out;
            if (sqlite3_preupdate_new(db, i, &v) != SQLITE_OK || !v) {
                c->xa.incomplete = true;
                continue;
            }
            out.type = sqlite3_value_type(v);
            if (out.type == SQLITE_INTEGER) {
                out.i = sqlite3_value_int64(v);
            } else if (out.type == SQLITE_FLOAT) {
                out.d = sqlite3_value_double(v);
            } else if (out.type == SQLITE_TEXT) {
                const auto* t = sqlite3_value_text(v);
                out.bytes.assign(reinterpret_cast<const char*>(t ? t : reinterpret_cast<const unsigned char*>("")),
                                 size_t(sqlite3_value_bytes(v)));
            } else if (out.type == SQLITE_BLOB) {
                const void* b = sqlite3_value_blob(v);
                out.bytes.assign(b ? static_cast<const char*>(b) : "", size_t(sqlite3_value_bytes(v)));
            }
            ch.values.push_back(std::move(out));
        }
    }
    c->xa.changes.push_back(std::move(ch));
}

void startCapture(Conn& c) {
    c.xa.changes.clear();
    c.xa.incomplete = false;
    c.xa.schemaMain = schemaVersion(c.db, "main");
    c.xa.schemaSide = c.sideAttached ? schemaVersion(c.db, "iirowver") : -1;
    sqlite3_preupdate_hook(c.db, captureChange, &c);
    c.xa.capturing = true;
}

// Takes the images again after a prepare that could not keep the branch: it goes on as it was.
// The schema was the branch's own but for the table of commit marks the prepare may have made.
void resumeCapture(Conn& c) {
    c.xa.schemaMain = schemaVersion(c.db, "main");
    c.xa.schemaSide = c.sideAttached ? schemaVersion(c.db, "iirowver") : -1;
    sqlite3_preupdate_hook(c.db, captureChange, &c);
    c.xa.capturing = true;
}

void stopCapture(Conn& c) {
    if (c.xa.capturing && c.db) sqlite3_preupdate_hook(c.db, nullptr, nullptr);
    c.xa.capturing = false;
}

// Whether the row images are all the branch did, and can be written again by row id.
bool captureComplete(Conn& c, Fault& f) {
    auto refuse = [&](const std::string& why) {
        f = makeFault("25000", native::kSequence, "The transaction branch cannot be prepared: " + why);
        return false;
    };
    if (c.xa.incomplete) return refuse("it holds work done before the session was bound to it");
    if (schemaVersion(c.db, "main") != c.xa.schemaMain ||
        (c.sideAttached && schemaVersion(c.db, "iirowver") != c.xa.schemaSide))
        return refuse("it changed the schema");
    std::vector<std::pair<std::string, std::string>> seen;
    for (const XaChange& ch : c.xa.changes) {
        std::pair<std::string, std::string> t{ch.schema, ch.table};
        bool known = false;
        for (auto& s : seen) known = known || s == t;
        if (known) continue;
        seen.push_back(t);
        // A table without row ids has no key the images could be written back by.
        sqlite3_stmt* st = nullptr;
        std::string probe = "SELECT rowid FROM " + quoteIdent(ch.schema) + "." + quoteIdent(ch.table) + " LIMIT 0";
        bool ok = sqlite3_prepare_v2(c.db, probe.c_str(), -1, &st, nullptr) == SQLITE_OK;
        sqlite3_finalize(st);
        if (!ok) return refuse("table " + ch.table + " has no row ids");
    }
    return true;
}

// Writes the branch's row images again, in their order, inside the session's write transaction.
// Triggers and foreign-key actions are off: what they did is among the images.
bool applyChanges(sqlite3* db, const std::vector<XaChange>& changes, Fault& f) {
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> columns;
    for (const XaChange& ch : changes) {
        auto key = std::make_pair(ch.schema, ch.table);
        auto it = columns.find(key);
        if (it == columns.end()) {
            std::vector<std::string> names;
            sqlite3_stmt* st = nullptr;
            std::string q = "PRAGMA " + quoteIdent(ch.schema) + ".table_xinfo(" + quoteIdent(ch.table) + ")";
            if (sqlite3_prepare_v2(db, q.c_str(), -1, &st, nullptr) == SQLITE_OK)
                while (sqlite3_step(st) == SQLITE_ROW) {
                    // Generated columns (hidden 2 and 3) are not written; hidden 1 never occurs here.
                    if (sqlite3_column_int(st, 6) >= 2) continue;
                    names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
                }
            sqlite3_finalize(st);
            it = columns.emplace(key, std::move(names)).first;
        }
        const std::vector<std::string>& names = it->second;
        const std::string target = quoteIdent(ch.schema) + "." + quoteIdent(ch.table);
        std::string sql;
        if (ch.op == 'D') {
            sql = "DELETE FROM " + target + " WHERE rowid = ?";
        } else {
            if (names.empty() || names.size() != ch.values.size()) {
                f = makeFault("S1000", native::kGeneral,
                              "The prepared branch no longer fits table " + ch.table + " and cannot be committed");
                return false;
            }
            if (ch.op == 'I') {
                sql = "INSERT INTO " + target + " (rowid";
                for (const auto& n : names) sql += ", " + quoteIdent(n);
                sql += ") VALUES (?";
                for (size_t i = 0; i < names.size(); ++i) sql += ", ?";
                sql += ")";
            } else {
                sql = "UPDATE " + target + " SET rowid = ?";
                for (const auto& n : names) sql += ", " + quoteIdent(n) + " = ?";
                sql += " WHERE rowid = ?";
            }
        }
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        if (rc != SQLITE_OK) {
            f = faultFromSqlite(db, rc);
            sqlite3_finalize(st);
            return false;
        }
        int k = 1;
        if (ch.op == 'D') {
            sqlite3_bind_int64(st, k++, ch.oldRowid);
        } else {
            sqlite3_bind_int64(st, k++, ch.newRowid);
            for (const XaValue& v : ch.values) {
                switch (v.type) {
                    case SQLITE_INTEGER:
                        sqlite3_bind_int64(st, k++, v.i);
                        break;
                    case SQLITE_FLOAT:
                        sqlite3_bind_double(st, k++, v.d);
                        break;
                    case SQLITE_TEXT:
                        sqlite3_bind_text(st, k++, v.bytes.data(), int(v.bytes.size()), SQLITE_TRANSIENT);
                        break;
                    case SQLITE_BLOB:
                        sqlite3_bind_blob(st, k++, v.bytes.data(), int(v.bytes.size()), SQLITE_TRANSIENT);
                        break;
                    default:
                        sqlite3_bind_null(st, k++);
                        break;
                }
            }
            if (ch.op == 'U') sqlite3_bind_int64(st, k++, ch.oldRowid);
        }
        rc = sqlite3_step(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            f = faultFromSqlite(db, rc);
            return false;
        }
        // The row the image names must be there as the branch left it to the next image.
        if (ch.op != 'I' && sqlite3_changes(db) != 1) {
            f = makeFault("S1000", native::kGeneral,
                          "The prepared branch's row " + std::to_string(ch.oldRowid) + " of " + ch.table +
                              " is gone; the branch cannot be committed");
            return false;
        }
    }
    return true;
}

void setReplayMode(sqlite3* db, bool on) {
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, on ? 0 : 1, nullptr);
    sqlite3_exec(db, on ? "PRAGMA foreign_keys=OFF" : "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
}

bool fileForKey(const std::string& dbPath, const std::string& key, FoundFile& found) {
    const std::string dir = branchDir(dbPath);
    for (bool writes : {true, false}) {
        const std::string name = branchFileName(key, writes);
        struct stat sb;
        if (stat((dir + "/" + name).c_str(), &sb) == 0) {
            found = {name, dir + "/" + name};
            return true;
        }
    }
    return false;
}

}  // namespace

std::string xaEncodeRecord(const XaRecord& r) { return encodeRecordText(r); }
bool xaDecodeRecord(const std::string& bytes, XaRecord& r) { return decodeRecordText(bytes, r); }

XaFile::XaFile(XaFile&& o) noexcept : fd(o.fd), dir(std::move(o.dir)), name(std::move(o.name)) { o.fd = -1; }

XaFile& XaFile::operator=(XaFile&& o) noexcept {
    if (this != &o) {
        close();
        fd = o.fd;
        dir = std::move(o.dir);
        name = std::move(o.name);
        o.fd = -1;
    }
    return *this;
}

XaFile::~XaFile() { close(); }

void XaFile::close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    dir.clear();
    name.clear();
}

bool xaKeyFromTranId(const IIAPI_TRAN_ID& id, std::string& key, std::string& text) {
    if (id.ti_type != IIAPI_TI_XAXID) return false;
    const auto& x = id.ti_value.xaXID;
    if (x.xa_gtridLength < 1 || x.xa_gtridLength > 64 || x.xa_bqualLength < 0 || x.xa_bqualLength > 64) return false;
    const auto* data = reinterpret_cast<const unsigned char*>(x.xa_data);
    size_t n = size_t(x.xa_gtridLength + x.xa_bqualLength);
    char head[48];
    std::snprintf(head, sizeof head, "%lX:%ld:%ld:", static_cast<unsigned long>(x.xa_formatID) & 0xFFFFFFFFul,
                  long(x.xa_gtridLength), long(x.xa_bqualLength));
    key = head + hexBytes(data, n, true);
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
    key = head + hexBytes(data.data(), size_t(g + b), true);
    text = branchText(long(fmt), g, b, data.data(), seq, flag);
    return true;
}

bool xaBind(Conn& c, const std::string& key, const std::string& text, Fault& f) {
    if (!c.xaKey.empty() && c.xaKey != key) {
        f = makeFault("25000", native::kSequence, "The session is bound to another transaction branch");
        return false;
    }
    if (c.xaKey == key) return true;
    if (xaIsPreparedElsewhere(key, c)) {
        f = makeFault("25000", native::kSequence, "The transaction branch is prepared already");
        return false;
    }
    if (c.autocommit) {
        f = makeFault("25000", native::kSequence, "A session in autocommit takes part in no distributed transaction");
        return false;
    }
    // Work the session did before is in its transaction but not among the branch's images.
    const bool before = c.inTransaction && sqlite3_txn_state(c.db, nullptr) == SQLITE_TXN_WRITE;
    if (!ensureTransaction(c, f)) return false;
    c.xaKey = key;
    c.xaText = text;
    startCapture(c);
    c.xa.incomplete = before;
    return true;
}

bool xaPrepare(Conn& c, Fault& f) {
    if (c.xaKey.empty()) {
        f = makeFault("25000", native::kSequence, "The session has no distributed transaction to prepare");
        return false;
    }
    if (c.xaPrepared) {
        f = makeFault("25000", native::kSequence, "The transaction branch is prepared already");
        return false;
    }
    auto self = std::static_pointer_cast<Conn>(findObject(c.handle));
    if (!self) {
        f = makeFault("08003", native::kSequence, "The session is gone");
        return false;
    }
    if (xaIsPreparedElsewhere(c.xaKey, c)) {
        f = makeFault("25000", native::kSequence, "The transaction branch is prepared by another session");
        return false;
    }
    if (!captureComplete(c, f)) return false;
    XaRecord r;
    r.key = c.xaKey;
    r.text = c.xaText;
    r.dbname = c.dbname;
    r.nonce = newNonce();
    r.changes = c.xa.changes;
    const bool writes = !r.changes.empty();
    // The mark of the commit rides in the branch's own transaction; it is there only if the
    // branch commits.
    stopCapture(c);
    if (writes && !markCommitted(c.db, r.nonce, f)) {
        resumeCapture(c);
        return false;
    }
    XaFile file;
    if (!writeBranchFile(c.path, r, file, f)) {
        if (writes) forgetCommitted(c.db, r.nonce);
        resumeCapture(c);
        return false;
    }
    {
        std::lock_guard<std::mutex> lk(gBranchMutex);
        gPrepared[c.xaKey] = LiveBranch{self, c.dbname};
    }
    c.xa.file = std::move(file);
    c.xa.nonce = r.nonce;
    c.xa.writes = writes;
    c.xa.changes.clear();
    c.xa.changes.shrink_to_fit();
    c.xaPrepared = true;
    return true;
}

void xaBeforeEnd(Conn& c, bool commit) {
    stopCapture(c);
    if (!c.xaPrepared) return;
    if (!commit) {
        // Rolled back: the record goes first, so that a crash now leaves nothing to commit.
        removeBranchFile(c.xa.file);
    } else if (c.xa.writes) {
        sqlite3_exec(c.db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    }
}

void xaAfterEnd(Conn& c, bool commit, bool ok) {
    if (c.xaKey.empty()) return;
    if (c.xaPrepared) {
        if (commit && c.xa.writes) sqlite3_exec(c.db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        if (commit && ok) {
            removeBranchFile(c.xa.file);
            if (c.xa.writes) forgetCommitted(c.db, c.xa.nonce);
        } else if (commit) {
            // Not committed: the branch stays in doubt on disk for another session to finish.
            releaseBranchFile(c.xa.file);
        }
        xaForget(c.xaKey);
    }
    c.xaPrepared = false;
    c.xaKey.clear();
    c.xaText.clear();
    c.xa.changes.clear();
    c.xa.nonce.clear();
    c.xa.writes = false;
}

void xaSessionGone(Conn& c) {
    stopCapture(c);
    if (c.orphan) {
        releaseBranchFile(c.orphan->file);
        if (c.db) setReplayMode(c.db, false);
        c.orphan.reset();
    }
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
    {
        std::lock_guard<std::mutex> lk(gBranchMutex);
        auto it = gPrepared.find(key);
        if (it != gPrepared.end()) return it->second.conn.get() != &c;
    }
    if (c.orphan && c.orphan->record.key == key) return false;
    FoundFile found;
    return !c.path.empty() && fileForKey(c.path, key, found) && !(c.xaPrepared && c.xaKey == key);
}

bool xaAdopt(Conn& c, const std::string& key, Fault& f) {
    // A prepared branch whose session lives in this process is finished on that session.
    c.adopted = xaTakePrepared(key, c.dbname);
    if (c.adopted) return ensureTransaction(c, f);
    FoundFile found;
    if (!fileForKey(c.path, key, found)) {
        f = makeFault("08004", native::kSequence,
                      "No prepared transaction branch of that identifier in database '" + c.dbname + "'");
        return false;
    }
    // The file's lock is held while another session (of this process or another) finishes it or
    // still holds it prepared; that may end soon.
    int fd = -1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(c.settings.busyTimeoutMs);
    while ((fd = lockUnheld(found.path)) < 0) {
        struct stat sb;
        if (stat(found.path.c_str(), &sb) != 0) {
            f = makeFault("08004", native::kSequence, "The prepared transaction branch was finished meanwhile");
            return false;
        }
        if (std::chrono::steady_clock::now() >= until) {
            f = makeFault("40001", native::kDeadlock, "The prepared transaction branch is held by another session");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    auto orphan = std::make_unique<XaOrphan>();
    orphan->file.fd = fd;
    orphan->file.dir = branchDir(c.path);
    orphan->file.name = found.name;
    std::string bytes;
    if (!readWholeFile(found.path, bytes) || !decodeRecordText(bytes, orphan->record) || orphan->record.key != key) {
        f = makeFault("S1000", native::kGeneral,
                      "The prepared transaction branch's file " + found.path + " is damaged");
        return false;
    }
    if (!orphan->record.changes.empty()) {
        // Its images are written back under the database's write lock, with the session's own
        // triggers and foreign-key actions off.
        setReplayMode(c.db, true);
        if (!execSimple(c.db, "BEGIN IMMEDIATE", f)) {
            setReplayMode(c.db, false);
            return false;
        }
        c.setInTransaction(true);
    }
    c.orphan = std::move(orphan);
    return ensureTransaction(c, f, false);
}

// Ends the prepared branch a session adopted at connect.
bool xaFinishAdopted(Conn& c, bool commit, Fault& f) {
    if (c.orphan) {
        XaOrphan& o = *c.orphan;
        bool ok = true;
        if (commit && !o.record.changes.empty()) {
            if (committedAlready(c.db, o.record.nonce)) {
                ok = true;  // committed before a crash took away the rest
            } else {
                sqlite3_exec(c.db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
                ok = applyChanges(c.db, o.record.changes, f) && markCommitted(c.db, o.record.nonce, f) &&
                     execSimple(c.db, "COMMIT", f);
                sqlite3_exec(c.db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
            }
            if (!sqlite3_get_autocommit(c.db)) sqlite3_exec(c.db, "ROLLBACK", nullptr, nullptr, nullptr);
            c.setInTransaction(false);
        } else if (c.inTransaction) {
            sqlite3_exec(c.db, "ROLLBACK", nullptr, nullptr, nullptr);
            c.setInTransaction(false);
        }
        setReplayMode(c.db, false);
        if (ok) {
            removeBranchFile(o.file);
            if (commit && !o.record.changes.empty()) forgetCommitted(c.db, o.record.nonce);
        } else {
            releaseBranchFile(o.file);  // still in doubt
        }
        c.orphan.reset();
        return ok;
    }
    std::shared_ptr<Conn> b = std::move(c.adopted);
    if (!b) return true;
    bool ok = true;
    {
        std::lock_guard<QuickRecursiveMutex> lk(b->callMutex);
        Fault ignored;
        ok = endTransaction(*b, commit, commit ? f : ignored);
    }
    if (!ok && commit) return false;
    return true;
}

bool xaLookForBranches(Conn& c, Fault& f) {
    // A transaction that holds the database's write lock passed this check at its first change,
    // and no branch has prepared a change since: that would have needed the lock. (A parameter
    // array runs one statement per row.)
    // Once seen, the lock is held until the transaction ends: SQLite ends one behind the
    // session's back only by rolling it back, which leaves it in autocommit mode.
    if (c.inTransaction && !sqlite3_get_autocommit(c.db)) {
        if (sqlite3_txn_state(c.db, "main") == SQLITE_TXN_WRITE) {
            c.writeLockSeen = true;
            return true;
        }
    }
    const std::string dir = branchDir(c.path);
    struct stat sb;
    if (stat(dir.c_str(), &sb) != 0) return true;
    for (const FoundFile& ff : branchFiles(dir)) {
        if (ff.name.compare(ff.name.size() - 2, 2, ".w") != 0) continue;
        int fd = lockUnheld(ff.path);
        if (fd < 0) continue;  // its session lives and holds the write lock itself
        std::string bytes;
        XaRecord r;
        bool done = readWholeFile(ff.path, bytes) && decodeRecordText(bytes, r) && committedAlready(c.db, r.nonce);
        if (done) {
            // Committed before its session's end could remove it.
            XaFile stale;
            stale.fd = fd;
            stale.dir = dir;
            stale.name = ff.name;
            removeBranchFile(stale);
            continue;
        }
        ::close(fd);
        f = makeFault("40001", native::kDeadlock,
                      "Deadlock or lock timeout: the database is locked by a prepared distributed transaction in "
                      "doubt (" +
                          (r.text.empty() ? ff.name : r.text) + "); commit or roll it back first");
        return false;
    }
    return true;
}

// The master database's list of in-doubt branches, refreshed before each statement: every branch
// kept beside any database of the data directory.
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
    const std::string data = dataDirectory();
    std::vector<std::string> dirs;
    if (DIR* d = opendir(data.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string n = e->d_name;
            if (n.size() > 6 && n.compare(n.size() - 6, 6, ".db.xa") == 0) dirs.push_back(data + "/" + n);
        }
        closedir(d);
    }
    for (const std::string& dir : dirs) {
        for (const FoundFile& ff : branchFiles(dir)) {
            std::string bytes;
            XaRecord r;
            if (!readWholeFile(ff.path, bytes) || !decodeRecordText(bytes, r)) continue;
            sqlite3_reset(st);
            sqlite3_bind_text(st, 1, r.text.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, r.dbname.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(st);
        }
    }
    sqlite3_finalize(st);
}

}  // namespace iiapi
