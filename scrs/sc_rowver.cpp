// Row versions of dynamic cursors in the table VOVURA. Each cursor reads and writes the table
// through a private connection of its own, opened with the connect parameters of the cursor's
// connection and driven through the table below the cursor layer, so that this bookkeeping never
// runs on the application's statements nor in its transaction.
#include "scrs/sc_rowver.h"

#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "drv_ingii/i-ask.h"
#include "drv_ingii/i-attr.h"
#include "drv_ingii/i-connparams.h"
#include "drv_ingii/i-diag.h"
#include "drv_ingii/i-log.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "scrs/sc_cursor.h"
#include "util/dataset.h"
#include "util/errtable.h"
#include "util/md5.h"
#include "util/trymem.h"

namespace {

constexpr uint32_t kHexDigits = 32;
constexpr uint32_t kParamWidth = 36;  // 2-byte length and the 32 digits, rounded

// The row-version fields of a server record (reserved there for the cursor layer).
const AgentLink* ListLower(IngServerLayerWords* sv) { return static_cast<const AgentLink*>(sv->rvLowerLink); }
SCS_RowVerConn** ListHead(IngServerLayerWords* sv) { return reinterpret_cast<SCS_RowVerConn**>(&sv->rvFirst); }

// Handle numbers repeat in every process, so rows written under them alone would be shared by
// the cursors of all processes that happen to get the same numbers: each process mixes a tag of
// its own into both values (a bijection, so they stay distinct within the process). A forked
// child draws a new tag.
struct ProcessTag {
    uint32_t conn;
    uint32_t curs;
};

ProcessTag CurrentTag() {
    static std::mutex lock;
    static pid_t owner = 0;
    static ProcessTag tag{};
    std::lock_guard<std::mutex> guard(lock);
    const pid_t pid = getpid();
    if (owner != pid) {
        uint64_t seed = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                        (uint64_t(uint32_t(pid)) << 32) ^
                        uint64_t(std::chrono::system_clock::now().time_since_epoch().count());
        try {
            std::random_device rd;
            seed ^= (uint64_t(rd()) << 32) | rd();
        } catch (...) {
            // Time and process id alone then.
        }
        std::mt19937_64 mix(seed);
        const uint64_t v = mix();
        tag = {uint32_t(v >> 32), uint32_t(v)};
        owner = pid;
    }
    return tag;
}

// A one-row parameter Dataset of n text columns (the caller fills them with SetHex).
Dataset* ParamRow(uint16_t n) {
    auto* ds = static_cast<Dataset*>(TryCalloc(1, sizeof(Dataset)));
    if (ds == nullptr) return nullptr;
    if (DatasetInit(ds, n) != 0) {
        TryFree(ds);
        return nullptr;
    }
    for (uint16_t c = 0; c < n; ++c) {
        ds->cols[c].kind = DS_CHAR_LEN2;
        ds->cols[c].width = kParamWidth;
    }
    ds->col_count = n;
    if (DatasetAllocRows(ds, 1) != 0) {
        DatasetDelete(ds);
        return nullptr;
    }
    ds->rows_used = 1;
    return ds;
}

void SetHex(Dataset* ds, uint16_t col, const uint8_t digest[16]) {
    char hex[kHexDigits + 1];
    SCS_HexUpper(digest, 16, hex, sizeof hex, nullptr);
    uint8_t* cell = DatasetCell(&ds->cols[col], 0);
    const uint16_t n = kHexDigits;
    std::memcpy(cell, &n, 2);
    std::memcpy(cell + 2, hex, kHexDigits);
    ds->cols[col].indicators[0] = DS_IND_VALUE;
}

// The list's lower link and parameter-description flag; false when the reference is not open.
bool ListOf(const SCS_RowVerRef* ref, const AgentLink** lower, uint32_t* paramDescs) {
    if (ref == nullptr || ref->context == nullptr || ref->privateStmt == 0) return false;
    auto* sv = static_cast<IngServerLayerWords*>(ref->context);
    std::lock_guard<std::mutex> guard(SCS_CursorListLock());
    *lower = ListLower(sv);
    *paramDescs = sv->rvParamDescs;
    return *lower != nullptr;
}

// One execution of the prepared private statement with a fresh copy of the parameter row.
uint32_t ExecuteWith(const AgentLink* lower, uint32_t paramDescs, uint32_t stmt, const Dataset* params) {
    if (params != nullptr) {
        Dataset* copy = nullptr;
        if (int rc = DatasetClone(&copy, params)) return uint32_t(rc);
        uint32_t rc = AgentCall<DRV_SetParams>(lower, stmt, copy);
        // The agent keeps the values unless the link asks the caller to free them.
        if (AgentLinkCallerFrees(lower)) DatasetDelete(copy);
        if (rc != 0) return rc;
        if (paramDescs) {
            ParamDescEntry descs[2];
            for (ParamDescEntry& d : descs) d = {SQL_CHAR, SQL_C_CHAR, kHexDigits, 0, SQL_PARAM_INPUT};
            rc = AgentCall<DRV_SetParamDescs>(lower, stmt, params->col_count, descs);
            if (rc != 0) return rc;
        }
    }
    return AgentCall<DRV_Execute>(lower, stmt);
}

ErrCode Prepare(const AgentLink* lower, const SCS_RowVerRef* ref, int which) {
    char* text = SCS_RowVerText(ref, which);
    if (text == nullptr) return kErrNoMemory;
    uint32_t rc = AgentCall<DRV_Prepare>(lower, ref->privateStmt, text);
    std::free(text);
    return ErrCode(rc);
}

// The first 32 characters of a fetched ROWVER value (wide text taken character by character).
bool StoredVersion(const Dataset& rows, char out[kHexDigits + 1]) {
    std::memset(out, 0, kHexDigits + 1);
    if (rows.col_count < 1 || rows.rows_used < 1) return false;
    const DatasetColumn& col = rows.cols[0];
    if (col.indicators == nullptr || col.indicators[0] == DS_IND_NULL) return true;
    const DsBytes v = DatasetCellBytes(&col, DatasetCell(&col, 0));
    const size_t step = DatasetKindIsWideText(col.kind) ? 2 : 1;
    for (size_t i = 0, o = 0; i + step <= v.size && o < kHexDigits; i += step, ++o) out[o] = char(v.bytes[i]);
    return true;
}

void MoveList(IngDiagList* from, IngDiagList* to) {
    IngDiagEntry* e = from->first;
    from->first = nullptr;
    while (e != nullptr) {
        IngDiagEntry* next = e->next;
        IngDiagAppend(to, e);
        e = next;
    }
}

}  // namespace

void SCS_HexUpper(const uint8_t* bytes, uint32_t count, char* out, uint32_t outSize, uint32_t* outLen) {
    static const char kDigits[] = "0123456789ABCDEF";
    uint32_t n = count;
    if (out == nullptr || outSize == 0) {
        if (outLen) *outLen = 0;
        return;
    }
    if (uint64_t(outSize) < uint64_t(count) * 2 + 1) n = (outSize - 1) / 2;
    for (uint32_t i = 0; i < n; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 0xF];
    }
    out[2 * n] = '\0';
    if (outLen) *outLen = 2 * n;
}

// Every column but the long values held by reference, each as a flag (NULL or not), its length
// and its bytes: without the flag and the length, ('ab', 'c') would be ('a', 'bc'), and NULL an
// empty text.
uint32_t SCS_RowVerDigest(const Dataset* ds, uint32_t row, uint8_t out[16]) {
    if (ds == nullptr || out == nullptr || row >= ds->rows_used || (ds->col_count && ds->cols == nullptr))
        return kErrGeneral;
    uint32_t widest = 1;
    for (uint16_t c = 0; c < ds->col_count; ++c)
        if (!DatasetKindIsRef(ds->cols[c].kind) && ds->cols[c].width > widest) widest = ds->cols[c].width;
    auto* value = static_cast<uint8_t*>(TryMalloc(widest));
    if (value == nullptr) return kErrNoMemory;
    MD5Context md5;
    MD5Init(&md5);
    for (uint16_t c = 0; c < ds->col_count; ++c) {
        const DatasetColumn& col = ds->cols[c];
        if (DatasetKindIsRef(col.kind)) continue;
        uint32_t len = widest;
        if (int rc = DatasetGetValue(ds, row, c, value, &len)) {
            TryFree(value);
            return uint32_t(rc);
        }
        const uint8_t isNull = col.indicators[row] == DS_IND_NULL ? 0 : 1;
        uint8_t head[5] = {isNull, uint8_t(len), uint8_t(len >> 8), uint8_t(len >> 16), uint8_t(len >> 24)};
        MD5Update(&md5, head, sizeof head);
        if (len) MD5Update(&md5, value, len);
    }
    MD5Final(out, &md5);
    TryFree(value);
    return 0;
}

char* SCS_RowVerText(const SCS_RowVerRef* ref, int which) {
    if (ref == nullptr) return nullptr;
    char text[256];
    const char* h = ref->hconn;
    const char* k = ref->hcurs;
    switch (which) {
        case 0:
            std::snprintf(text, sizeof text, "DELETE FROM VOVURA WHERE HCONN = '%s' AND HCURS = '%s'", h, k);
            break;
        case 1:
            std::snprintf(text, sizeof text,
                          "SELECT ROWVER FROM VOVURA WHERE HCONN = '%s' AND HCURS = '%s' AND KEYVER = ?", h, k);
            break;
        case 2:
            std::snprintf(text, sizeof text,
                          "UPDATE VOVURA SET ROWVER = ? WHERE HCONN = '%s' AND HCURS = '%s' AND KEYVER = ?", h, k);
            break;
        case 3:
            std::snprintf(text, sizeof text, "INSERT INTO VOVURA VALUES ( '%s', '%s', ?, ?)", h, k);
            break;
        default:
            return nullptr;
    }
    return TryStrdup(text);
}

uint32_t SCS_RowVerOpen(SCS_RowVerRef* ref, const AgentLink* lower, uint32_t conn, uint32_t lowerStmt,
                        uint32_t paramDescs) {
    if (ref == nullptr || lower == nullptr) return kErrGeneral;
    const uint32_t server = IngAskConnServer(conn);
    IngServerLayerWords* sv = IngAskServerLayerWords(server);
    const IngDsnSettings* settings = IngAskConnSettings(conn);
    if (sv == nullptr || settings == nullptr) return kErrGeneral;
    // The cursor connection's settings, but no initial SQL, which is the application's; the
    // connect takes over the copy's text.
    IngDsnSettings own = *settings;
    own.initialSql = nullptr;
    own.sqlDbmsName = settings->sqlDbmsName ? TryStrdup(settings->sqlDbmsName) : nullptr;
    if (settings->sqlDbmsName != nullptr && own.sqlDbmsName == nullptr) return kErrNoMemory;
    SCS_ConnEntry entry{};
    if (uint32_t rc = SCS_ConnEntryCopy(conn, &entry)) {
        TryFree(own.sqlDbmsName);
        return rc == kErrNoMemory ? rc : kErrGeneral;
    }
    auto* rv = static_cast<SCS_RowVerConn*>(TryCalloc(1, sizeof(SCS_RowVerConn)));
    if (rv == nullptr || (entry.text[3] != nullptr && (rv->connText = TryStrdup(entry.text[3])) == nullptr)) {
        TryFree(rv);
        TryFree(own.sqlDbmsName);
        SCS_ConnEntryRelease(&entry);
        return kErrNoMemory;
    }
    // The list lock is not held across the lower calls: a connect may take long, and the lock
    // guards every connection's records.
    IngConnectParams p{};
    p.serverAddress = entry.text[0];
    p.marker = entry.text[1];
    p.reservedText1 = entry.text[2];
    p.reservedText2 = entry.text[3];
    p.database = entry.text[4];
    p.options = entry.text[5];
    p.readOnly = entry.readOnly;
    p.user = entry.user;
    p.password = entry.password;
    p.extraText = entry.extraText;
    p.timeout = entry.timeout;
    p.flags = entry.flags;
    p.settings = &own;
    uint32_t rc = AgentCall<DRV_Connect>(lower, server, &p, &rv->conn);
    TryFree(own.sqlDbmsName);  // null once the connect took it over
    SCS_ConnEntryRelease(&entry);
    // The versions are committed as they are written: in a transaction left open they would hold
    // the table's lock against every other cursor and vanish at the disconnect.
    uint32_t on = 1;
    if (rc == 0) rc = AgentCall<DRV_SetOption>(lower, rv->conn, kPropAutocommit, static_cast<void*>(&on));
    if (rc == 0) rc = AgentCall<DRV_AllocStmt>(lower, rv->conn, &rv->stmt);
    if (rc != 0) {
        if (rv->conn != 0) (void)AgentCall<DRV_Disconnect>(lower, rv->conn);
        TryFree(rv->connText);
        TryFree(rv);
        return rc;
    }
    rv->users = 1;
    {
        std::lock_guard<std::mutex> guard(SCS_CursorListLock());
        SCS_RowVerConn** at = ListHead(sv);
        if (*at == nullptr) {
            sv->rvLowerLink = const_cast<AgentLink*>(lower);
            sv->rvParamDescs = paramDescs;
        }
        while (*at) at = &(*at)->next;
        *at = rv;
    }
    const ProcessTag tag = CurrentTag();
    ref->context = sv;
    ref->connection = conn;
    ref->cursor = lowerStmt;
    ref->privateStmt = rv->stmt;
    std::snprintf(ref->hconn, sizeof ref->hconn, "%08X", unsigned(conn ^ tag.conn));
    std::snprintf(ref->hcurs, sizeof ref->hcurs, "%08X", unsigned(lowerStmt ^ tag.curs));
    return 0;
}

uint32_t SCS_RowVerClear(SCS_RowVerRef* ref) {
    const AgentLink* lower = nullptr;
    uint32_t paramDescs = 0;
    if (!ListOf(ref, &lower, &paramDescs)) return kErrGeneral;
    uint32_t rc = Prepare(lower, ref, 0);
    if (rc == 0) rc = ExecuteWith(lower, paramDescs, ref->privateStmt, nullptr);
    if (rc == 0) return 0;
    if (IngDiagList* m = IngAskStmtMessages(ref->cursor)) {
        m->keep = 1;
        SCS_RowVerMoveDiags(ref);
        IngDiagPostCode(m, kErrNoVovura);
        m->keep = 0;
    }
    return rc;
}

uint32_t SCS_RowVerUpdate(SCS_RowVerRef* ref, const uint8_t* keyVersions, const uint8_t* rowVersions,
                          uint16_t* statuses, uint32_t rows) {
    const AgentLink* lower = nullptr;
    uint32_t paramDescs = 0;
    if (!ListOf(ref, &lower, &paramDescs) || keyVersions == nullptr || rowVersions == nullptr || statuses == nullptr)
        return kErrGeneral;
    uint32_t rc = Prepare(lower, ref, 2);
    if (rc != 0) return rc;
    Dataset* params = ParamRow(2);
    if (params == nullptr) return kErrNoMemory;
    uint32_t last = 0;
    for (uint32_t i = 0; i < rows; ++i) {
        if (statuses[i] != SQL_ROW_UPDATED) continue;
        SetHex(params, 0, rowVersions + 16 * i);
        SetHex(params, 1, keyVersions + 16 * i);
        last = ExecuteWith(lower, paramDescs, ref->privateStmt, params);
        int32_t affected = 0;
        uint16_t len = 0;
        if (last == 0)
            last = AgentCall<DRV_GetInfo>(lower, ref->privateStmt, kPropRowCount, &affected, uint16_t(4), &len);
        if (last != 0 || affected < 1) statuses[i] = SQL_ROW_ERROR;
    }
    DatasetDelete(params);
    return last;
}

uint32_t SCS_RowVerCheck(SCS_RowVerRef* ref, const Dataset* keyValues, const Dataset* values, uint16_t* statuses) {
    const AgentLink* lower = nullptr;
    uint32_t paramDescs = 0;
    if (values == nullptr) return kErrGeneral;
    const uint32_t n = values->rows_used;
    if (n == 0) return 0;
    if (!ListOf(ref, &lower, &paramDescs) || keyValues == nullptr || statuses == nullptr || keyValues->rows_used < n)
        return kErrGeneral;
    auto* keyVer = static_cast<uint8_t*>(TryCalloc(n, 16));
    auto* rowVer = static_cast<uint8_t*>(TryCalloc(n, 16));
    Dataset* params = ParamRow(1);
    uint32_t rc = keyVer && rowVer && params ? 0u : uint32_t(kErrNoMemory);
    if (rc == 0) rc = Prepare(lower, ref, 1);
    bool changed = false, missing = false;
    for (uint32_t i = 0; rc == 0 && i < n; ++i) {
        if ((rc = SCS_RowVerDigest(keyValues, i, keyVer + 16 * i)) != 0) break;
        if ((rc = SCS_RowVerDigest(values, i, rowVer + 16 * i)) != 0) break;
        SetHex(params, 0, keyVer + 16 * i);
        if ((rc = ExecuteWith(lower, paramDescs, ref->privateStmt, params)) != 0) break;
        Dataset found{};
        rc = AgentCall<DRV_FetchRows>(lower, ref->privateStmt, uint16_t(2), &found);
        (void)AgentCall<DRV_CloseCursor>(lower, ref->privateStmt);
        if (rc == 0 && found.rows_used >= 2)
            rc = IngTellStmtCause(ref->privateStmt, kErrGeneral,
                                  "the row-version table VOVURA holds two versions of one row of the cursor");
        if (rc == 0 && found.rows_used == 1) {
            char stored[kHexDigits + 1];
            char fresh[kHexDigits + 1];
            StoredVersion(found, stored);
            SCS_HexUpper(rowVer + 16 * i, 16, fresh, sizeof fresh, nullptr);
            if (std::strncmp(stored, fresh, kHexDigits) != 0) {
                statuses[i] = SQL_ROW_UPDATED;
                changed = true;
            } else {
                statuses[i] = SQL_ROW_SUCCESS;
            }
        } else if (rc == 0) {
            statuses[i] = SQL_ROW_ADDED;  // not yet known
            missing = true;
        }
        DatasetFree(&found);
    }
    if (rc == 0 && changed) rc = SCS_RowVerUpdate(ref, keyVer, rowVer, statuses, n);
    if (rc == 0 && missing) {
        DatasetDelete(params);
        params = ParamRow(2);
        rc = params ? Prepare(lower, ref, 3) : uint32_t(kErrNoMemory);
        for (uint32_t i = 0; rc == 0 && i < n; ++i) {
            if (statuses[i] != SQL_ROW_ADDED) continue;
            statuses[i] = SQL_ROW_ERROR;
            SetHex(params, 0, keyVer + 16 * i);
            SetHex(params, 1, rowVer + 16 * i);
            if ((rc = ExecuteWith(lower, paramDescs, ref->privateStmt, params)) == 0) statuses[i] = SQL_ROW_SUCCESS;
        }
    }
    if (params) DatasetDelete(params);
    TryFree(keyVer);
    TryFree(rowVer);
    if (rc != 0) SCS_RowVerMoveDiags(ref);
    return rc;
}

void SCS_RowVerMoveDiags(SCS_RowVerRef* ref) {
    if (ref == nullptr || ref->context == nullptr || ref->privateStmt == 0) return;
    auto* sv = static_cast<IngServerLayerWords*>(ref->context);
    uint32_t privateConn = 0;
    {
        std::lock_guard<std::mutex> guard(SCS_CursorListLock());
        for (SCS_RowVerConn* e = *ListHead(sv); e; e = e->next)
            if (e->stmt == ref->privateStmt) privateConn = e->conn;
    }
    IngDiagList* to = IngAskStmtMessages(ref->cursor);
    IngDiagList* fromStmt = IngAskStmtMessages(ref->privateStmt);
    IngDiagList* fromConn = privateConn ? IngAskConnMessages(privateConn) : nullptr;
    if (to == nullptr || fromStmt == nullptr || fromConn == nullptr) return;
    MoveList(fromStmt, to);
    MoveList(fromConn, to);
}

uint32_t SCS_RowVerClose(SCS_RowVerRef* ref) {
    if (ref == nullptr || ref->context == nullptr || ref->privateStmt == 0) return 0;
    auto* sv = static_cast<IngServerLayerWords*>(ref->context);
    SCS_RowVerConn* gone = nullptr;
    const AgentLink* lower = nullptr;
    {
        std::lock_guard<std::mutex> guard(SCS_CursorListLock());
        lower = ListLower(sv);
        for (SCS_RowVerConn** at = ListHead(sv); *at; at = &(*at)->next) {
            if ((*at)->stmt != ref->privateStmt) continue;
            if (--(*at)->users == 0) {
                gone = *at;
                *at = gone->next;
            }
            break;
        }
    }
    ref->privateStmt = 0;
    if (gone != nullptr) {
        (void)AgentCall<DRV_FreeStmt>(lower, gone->stmt);
        (void)AgentCall<DRV_Disconnect>(lower, gone->conn);
        TryFree(gone->connText);
        TryFree(gone);
    }
    return 0;
}
