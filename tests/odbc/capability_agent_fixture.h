#pragma once
// A second scripted agent: one that declares the capabilities the Ingres agent lacks (data at
// execution collected by the agent, parameter arrays, prepare-and-execute with named parameter
// descriptions, output parameters after the results, long values in pieces). It stands in for
// the whole agent stack through the installer seam, so connections open on it through the ODBC
// API as they open on the Ingres agent. It serves canned results and records what it receives.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-info.h"
#include "drv_ingii/i-optable.h"
#include "odbc/globals.h"
#include "tests/odbc/scripted_agent_fixture.h"
#include "util/dataset.h"
#include "util/rowset.h"

namespace capagent {

using fake::Cell;
using fake::Col;

// The capabilities the agent declares by default.
constexpr uint32_t kDefaultMask = kCapNeedBind | kCapMoreResults | kCapParamArrays | kCapV2DataAtExec |
                                  kCapSpOutDeferFetch | kCapExecute2 | kCapAutocommit | kCapNamedParams;

struct Script {
    fake::Result result;
    std::set<size_t> longCols;  // columns whose values stay with the agent until DRV_GetData
    fake::Result out;           // one row of output parameter values, when the statement has some
};

// One SQLPutData piece as it reached the agent.
struct Piece {
    uint16_t index;
    uint32_t row;
    uint32_t kind;
    uint16_t indicator;
    std::string bytes;
};

struct Stmt {
    std::string text;
    Script script;
    std::vector<std::string> params;
    bool open = false;
    size_t next = 0;
    size_t blockStart = 0;
    Dataset* sent = nullptr;  // a copy of the last parameter Dataset handed over
    Dataset* pendingSet = nullptr;
    std::vector<ParamDescEntry> descs;
    std::vector<std::optional<std::string>> names;
    std::vector<std::string> calls;
    std::vector<std::pair<uint16_t, uint32_t>> asks;  // values the agent still wants: index, row
    size_t askNext = 0;
    std::vector<Piece> pieces;
    bool outPending = false;
    uint16_t longCol = 0;
    size_t longRow = 0;
    size_t longOffset = 0;
    std::vector<uint64_t> wanted;  // bytes (characters for wide values) asked by each DRV_GetData
    // Scrollable cursors: the rowset size the data path set, and the last DRV_SetPos received.
    uint32_t rowsetSize = 1;
    bool inSetPos = false;
    uint32_t setPosRow = 0;
    uint16_t setPosOp = 0;
    std::vector<uint16_t> setPosColumns;
    uint16_t* setPosStatuses = nullptr;  // the array handed out (the data path frees it)
    uint32_t setPosStatusCount = 0;
};

struct Agent {
    uint32_t mask = kDefaultMask;
    uint32_t unicode = 1;        // answer to the Unicode item
    uint32_t linkWord = 0;       // bit 0: the data path frees the Datasets it hands over
    uint32_t executeResult = 0;  // the execution's result once every value is there
    int32_t rowCount = 0;        // the row value reported after an execution
    uint32_t failPutData = 0;
    bool nullAsNoData = false;  // a NULL long value answered 82 rather than 0 without a piece
    uint32_t setPosResult = 0;  // DRV_SetPos's answer once every value is there
    uint16_t setPosStatus = 0;  // the status of every row it reports (0: by operation)
    std::map<std::string, Script> scripts;
    std::vector<std::string> params;  // parameter description names of the next prepare
    std::vector<std::string> messages;
    std::map<uint32_t, Stmt> stmts;
    uint32_t nextHandle = 100;
};

inline Agent& A() {
    static Agent a;
    return a;
}

inline Stmt& S(uint32_t h) { return A().stmts[h]; }

// The one statement the test works on (the latest allocated).
inline Stmt& Last() { return A().stmts.rbegin()->second; }

inline void FreeStmtState(Stmt& s) {
    if (s.sent) DatasetDelete(s.sent);
    s.sent = nullptr;
    if (s.pendingSet && !(A().linkWord & kAgentLinkCallerFrees)) DatasetDelete(s.pendingSet);
    s.pendingSet = nullptr;
}

inline void Reset() {
    for (auto& [h, s] : A().stmts) FreeStmtState(s);
    A() = Agent{};
}

inline uint32_t Complete(Stmt& s) {
    s.open = !s.script.result.cols.empty();
    s.next = 0;
    s.outPending = !s.script.out.cols.empty();
    return A().executeResult;
}

// Takes a parameter Dataset: keeps a copy, frees the original unless the data path keeps it,
// and asks for every value marked as still to come, row by row.
inline uint32_t Run(Stmt& s, Dataset* ds) {
    if (s.sent) DatasetDelete(s.sent);
    s.sent = nullptr;
    s.asks.clear();
    s.askNext = 0;
    s.pieces.clear();
    if (ds) {
        DatasetClone(&s.sent, ds);
        if (!(A().linkWord & kAgentLinkCallerFrees)) DatasetDelete(ds);
        for (uint32_t r = 0; r < s.sent->rows_used; ++r)
            for (uint16_t c = 0; c < s.sent->col_count; ++c)
                if (s.sent->cols[c].indicators[r] == 0xFFFE) s.asks.emplace_back(c, r);
    }
    if (!s.asks.empty()) return 102;
    return Complete(s);
}

inline ErrCode GetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen) {
    if (len < 4) return ErrCode(21);
    uint32_t v = 0;
    if (id == 0x22010011u) {
        v = A().mask;
    } else if (id == 0x22010013u) {
        v = A().unicode;
    } else if (id == 0x22040008u) {
        v = 0x7F;  // SQL_FETCH_DIRECTION: every orientation
    } else if (id == 0x32010000u) {
        if (!A().stmts.count(h)) return ErrCode(21);
        v = uint32_t(A().rowCount);
    } else {
        return ErrCode(43);
    }
    std::memcpy(buf, &v, 4);
    if (outLen) *outLen = 4;
    return kErrNone;
}
inline ErrCode SetOption(uint32_t h, uint32_t id, void* value) {
    if (id == 0x32030009u && A().stmts.count(h)) std::memcpy(&S(h).rowsetSize, value, 4);
    return kErrNone;
}
inline ErrCode GetErrors(uint32_t, AgentErrors* out) {
    auto& m = A().messages;
    out->count = uint32_t(m.size());
    out->native = m.empty() ? 0 : 77;
    out->texts = m.empty() ? nullptr : static_cast<char**>(std::calloc(m.size(), sizeof(char*)));
    for (size_t i = 0; i < m.size(); ++i) out->texts[i] = strdup(m[i].c_str());
    m.clear();
    return kErrNone;
}
inline ErrCode ServerAlloc(void*, uint32_t* server) {
    *server = 5;
    return kErrNone;
}
inline ErrCode ServerFree(uint32_t) { return kErrNone; }
inline ErrCode Connect(uint32_t, IngConnectParams*, uint32_t* conn) {
    *conn = 7;
    return kErrNone;
}
inline ErrCode Disconnect(uint32_t) { return kErrNone; }
inline ErrCode EndTxn(uint32_t) { return kErrNone; }
inline ErrCode AllocStmt(uint32_t, uint32_t* out) {
    *out = A().nextHandle++;
    A().stmts[*out] = Stmt{};
    return kErrNone;
}
inline ErrCode FreeStmt(uint32_t h) {
    auto it = A().stmts.find(h);
    if (it == A().stmts.end()) return ErrCode(21);
    FreeStmtState(it->second);
    A().stmts.erase(it);
    return kErrNone;
}
inline ErrCode Prepare(uint32_t h, const char* text) {
    Stmt& s = S(h);
    s.calls.push_back("Prepare");
    s.text = text;
    auto it = A().scripts.find(text);
    s.script = it != A().scripts.end() ? it->second : Script{};
    s.params = A().params;
    s.open = false;
    return kErrNone;
}
inline ErrCode Describe(uint32_t h, uint16_t* count, ColumnInfo** out) {
    const fake::Result& r = S(h).script.result;
    *count = uint16_t(r.cols.size());
    *out = nullptr;
    if (!*count) return kErrNone;
    ColumnInfo* arr = ColumnInfoArrayAlloc(*count);
    for (uint16_t i = 0; i < *count; ++i) {
        std::strncpy(arr[i].name, r.cols[i].name.c_str(), 40);
        arr[i].sql_type = r.cols[i].sqlType;
        arr[i].value_kind = r.cols[i].kind;
        arr[i].length = r.cols[i].length;
        arr[i].column_size = r.cols[i].length;
        arr[i].nullable = 1;
    }
    *out = arr;
    return kErrNone;
}
inline ErrCode DescribeParams(uint32_t h, uint16_t* count, ColumnInfo** out) {
    Stmt& s = S(h);
    *count = uint16_t(s.params.size());
    *out = nullptr;
    if (!*count) return kErrNone;
    ColumnInfo* arr = ColumnInfoArrayAlloc(*count);
    for (uint16_t i = 0; i < *count; ++i) std::strncpy(arr[i].name, s.params[i].c_str(), 40);
    *out = arr;
    return kErrNone;
}
inline ErrCode SetParams(uint32_t h, Dataset* ds) {
    Stmt& s = S(h);
    s.calls.push_back("SetParams");
    if (s.pendingSet && !(A().linkWord & kAgentLinkCallerFrees)) DatasetDelete(s.pendingSet);
    s.pendingSet = ds;
    return kErrNone;
}
inline ErrCode SetParamDescs(uint32_t h, uint16_t n, ParamDescEntry* d) {
    Stmt& s = S(h);
    s.calls.push_back("SetParamDescs");
    s.descs.assign(d, d + n);
    s.names.assign(n, std::nullopt);
    return kErrNone;
}
inline ErrCode Execute(uint32_t h) {
    Stmt& s = S(h);
    s.calls.push_back("Execute");
    Dataset* ds = s.pendingSet;
    s.pendingSet = nullptr;
    return ErrCode(Run(s, ds));
}
inline ErrCode PrepareExecute(uint32_t h, const char*, Dataset* ds, uint16_t n, ParamDescEntry* d) {
    Stmt& s = S(h);
    s.calls.push_back("PrepareExecute");
    if (n) {
        s.descs.assign(d, d + n);
        s.names.assign(n, std::nullopt);
    }
    return ErrCode(Run(s, ds));
}
inline ErrCode PrepareExecuteEx(uint32_t h, const char*, Dataset* ds, uint16_t n, ScsNamedParamDesc* d) {
    Stmt& s = S(h);
    s.calls.push_back("PrepareExecuteEx");
    if (n) {
        s.descs.clear();
        s.names.clear();
        for (uint16_t i = 0; i < n; ++i) {
            s.descs.push_back(
                ParamDescEntry{d[i].sqlType, d[i].cType, d[i].columnSize, d[i].decimalDigits, d[i].paramType});
            s.names.push_back(d[i].name ? std::optional<std::string>(d[i].name) : std::nullopt);
        }
    }
    return ErrCode(Run(s, ds));
}
// Hands out the u16 index of the value wanted (0-based parameter), its u32 row and a u32 word.
inline ErrCode ParamData(uint32_t h, void* indexOut, void* rowOut, void* wordOut, void*) {
    Stmt& s = S(h);
    s.calls.push_back("ParamData");
    uint32_t row = s.sent && s.sent->rows_used ? s.sent->rows_used - 1 : 0;
    uint16_t index = 0;
    uint32_t rc;
    if (s.askNext < s.asks.size()) {
        index = s.asks[s.askNext].first;
        row = s.asks[s.askNext].second;
        ++s.askNext;
        rc = 102;
    } else if (s.inSetPos) {
        s.inSetPos = false;
        rc = A().setPosResult;
    } else {
        rc = Complete(s);
    }
    std::memcpy(indexOut, &index, 2);
    std::memcpy(rowOut, &row, 4);
    const uint32_t word = 9;
    std::memcpy(wordOut, &word, 4);
    return ErrCode(rc);
}
inline ErrCode PutData(uint32_t h, uint32_t kind, uint16_t indicator, void* buffer, uint32_t size) {
    Stmt& s = S(h);
    s.calls.push_back("PutData");
    if (A().failPutData) {
        A().messages.push_back("[Agent]value refused[SQLSTATE:22001]");
        return ErrCode(A().failPutData);
    }
    Piece p{};
    if (s.askNext > 0) {
        p.index = s.asks[s.askNext - 1].first;
        p.row = s.asks[s.askNext - 1].second;
    }
    p.kind = kind;
    p.indicator = indicator;
    if (buffer && size) p.bytes.assign(static_cast<const char*>(buffer), size);
    s.pieces.push_back(p);
    return kErrNone;
}
inline ErrCode FetchRows(uint32_t h, uint16_t n, Dataset* ds) {
    Stmt& s = S(h);
    s.calls.push_back("FetchRows");
    if (n == 0 && s.outPending) {
        s.outPending = false;
        fake::FillRows(ds, s.script.out, 0, 1);
        return kErrNone;
    }
    if (!s.open) return ErrCode(22);
    const fake::Result& r = s.script.result;
    size_t left = r.rows.size() - s.next;
    if (left == 0 || n == 0) {
        DatasetInit(ds, 0);
        return kErrNone;
    }
    uint32_t take = uint32_t(left < n ? left : n);
    for (const Col& c : r.cols)
        if (DatasetKindIsRef(c.kind)) take = 1;
    // Values that stay with the agent go as empty cells marked not fetched.
    fake::Result block{r.cols, {}};
    for (uint32_t k = 0; k < take; ++k) {
        std::vector<Cell> row = r.rows[s.next + k];
        for (size_t c : s.script.longCols) row[c] = std::string();
        block.rows.push_back(row);
    }
    fake::FillRows(ds, block, 0, take);
    for (uint32_t k = 0; k < take; ++k)
        for (size_t c : s.script.longCols) ds->cols[c].indicators[k] = DS_IND_NOT_FETCHED;
    s.blockStart = s.next;
    s.next += take;
    return kErrNone;
}
// Pieces of a long value: `wanted` bytes, characters for a wide column; total is what remains
// (bytes); 0xFFFFFFFF for NULL.
inline ErrCode GetData(uint32_t h, uint16_t column, uint32_t row, uint64_t wanted, void** piece, uint32_t* len,
                       uint32_t* kind, uint32_t* total) {
    Stmt& s = S(h);
    s.calls.push_back("GetData");
    s.wanted.push_back(wanted);
    *piece = nullptr;
    *len = 0;
    const size_t abs = s.blockStart + row;
    if (column == 0 || column > s.script.result.cols.size() || abs >= s.script.result.rows.size()) return ErrCode(21);
    if (column != s.longCol || abs != s.longRow) {
        s.longCol = column;
        s.longRow = abs;
        s.longOffset = 0;
    }
    const Cell& v = s.script.result.rows[abs][column - 1];
    const bool wide = s.script.result.cols[column - 1].kind == DS_WCHAR_REF;
    *kind = wide ? DS_WCHAR : DS_CHAR;
    if (!v) {
        *total = 0xFFFFFFFFu;
        return ErrCode(A().nullAsNoData ? 82 : 0);
    }
    const size_t units = v->size() - s.longOffset;
    *total = uint32_t(units * (wide ? 2 : 1));
    if (units == 0) return ErrCode(82);
    if (wanted == 0) return kErrNone;
    const size_t n = wanted < units ? size_t(wanted) : units;
    if (wide) {
        auto* w = static_cast<uint16_t*>(std::malloc(n * 2));
        for (size_t i = 0; i < n; ++i) w[i] = uint8_t((*v)[s.longOffset + i]);
        *piece = w;
        *len = uint32_t(n * 2);
    } else {
        void* p = std::malloc(n);
        std::memcpy(p, v->data() + s.longOffset, n);
        *piece = p;
        *len = uint32_t(n);
    }
    s.longOffset += n;
    return kErrNone;
}
inline ErrCode CloseCursor(uint32_t h) {
    S(h).open = false;
    return kErrNone;
}
// A scrollable fetch: the rowset from the 1-based start row (0 the last rowset, negative from
// the end) of the statement's result.
inline ErrCode Fetch(uint32_t h, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows) {
    Stmt& s = S(h);
    s.calls.push_back("Fetch");
    if (!s.open) return ErrCode(22);
    const fake::Result& r = s.script.result;
    const int64_t total = int64_t(r.rows.size()), n = s.rowsetSize ? s.rowsetSize : 1;
    int64_t first = start > 0 ? start : start == 0 ? (total - n + 1 > 1 ? total - n + 1 : 1) : total + start + 1;
    if (first < 1) first = 1;
    *resultRows = uint32_t(total);
    if (first > total) return ErrCode(82);
    const uint32_t take = uint32_t(total - first + 1 < n ? total - first + 1 : n);
    if (*out == nullptr ? RowsetCreate(out, int32_t(n)) != 0 : RowsetResize(*out, int32_t(n)) != 0) return ErrCode(16);
    DatasetFree((*out)->data);
    fake::FillRows((*out)->data, r, size_t(first - 1), take);
    for (uint32_t k = 0; k < take; ++k) (*out)->statuses[k] = 0;
    *rows = take;
    return kErrNone;
}
// Positioned operations: records what it gets, reports one status per row and asks for every
// value marked as still to come before it answers.
inline ErrCode SetPos(uint32_t h, uint32_t row, uint16_t op, uint16_t, uint16_t** statuses, uint32_t* processed,
                      Dataset* values, uint16_t* columns, uint16_t count) {
    Stmt& s = S(h);
    s.calls.push_back("SetPos");
    s.setPosRow = row;
    s.setPosOp = op;
    s.setPosColumns.assign(columns, columns + count);
    const uint32_t n = row == 0xFFFFFFFEu ? (s.rowsetSize ? s.rowsetSize : 1) : 1;
    const uint16_t st = A().setPosStatus ? A().setPosStatus : op == 4 ? 4 : op == 3 ? 1 : op == 2 ? 2 : 0;
    *statuses = static_cast<uint16_t*>(std::calloc(n, sizeof(uint16_t)));
    for (uint32_t i = 0; i < n; ++i) (*statuses)[i] = st;
    s.setPosStatuses = *statuses;
    s.setPosStatusCount = n;
    if (processed) *processed = n;
    if (s.sent) DatasetDelete(s.sent);
    s.sent = nullptr;
    s.asks.clear();
    s.askNext = 0;
    s.pieces.clear();
    if (values) {
        DatasetClone(&s.sent, values);
        for (uint32_t r = 0; r < s.sent->rows_used; ++r)
            for (uint16_t c = 0; c < s.sent->col_count; ++c)
                if (s.sent->cols[c].indicators[r] == 0xFFFE) s.asks.emplace_back(c, r);
    }
    // Without bit 0 of the link word what was handed over is the agent's.
    if (!(A().linkWord & kAgentLinkCallerFrees)) {
        if (values) DatasetDelete(values);
        std::free(columns);
    }
    if (!s.asks.empty()) {
        s.inSetPos = true;
        return ErrCode(102);
    }
    return ErrCode(A().setPosResult);
}
inline ErrCode Cancel(uint32_t h) {
    Stmt& s = S(h);
    s.calls.push_back("Cancel");
    s.inSetPos = false;
    s.asks.clear();
    s.askNext = 0;
    return kErrNone;
}
inline ErrCode MoreResults(uint32_t h) {
    Stmt& s = S(h);
    s.calls.push_back("MoreResults");
    if (s.outPending) return ErrCode(80);
    return ErrCode(73);
}

inline AgentFuncTable* Table() {
    static AgentFuncTable t = [] {
        AgentFuncTable x{};
        x.DRV_GetInfo = GetInfo;
        x.DRV_SetOption = SetOption;
        x.DRV_GetErrors = GetErrors;
        x.DRV_ServerAlloc = ServerAlloc;
        x.DRV_ServerFree = ServerFree;
        x.DRV_Connect = Connect;
        x.DRV_Disconnect = Disconnect;
        x.DRV_AllocStmt = AllocStmt;
        x.DRV_FreeStmt = FreeStmt;
        x.DRV_Prepare = Prepare;
        x.DRV_SetParams = SetParams;
        x.DRV_Execute = Execute;
        x.DRV_DescribeCols = Describe;
        x.DRV_DescribeParams = DescribeParams;
        x.DRV_SetParamDescs = SetParamDescs;
        x.DRV_FetchRows = FetchRows;
        x.DRV_CloseCursor = CloseCursor;
        x.DRV_Commit = EndTxn;
        x.DRV_Rollback = EndTxn;
        x.DRV_MoreResults = MoreResults;
        x.DRV_Cancel = Cancel;
        x.DRV_ParamData = ParamData;
        x.DRV_PutData = PutData;
        x.DRV_GetData = GetData;
        x.DRV_PrepareExecute = PrepareExecute;
        x.DRV_PrepareExecuteEx = PrepareExecuteEx;
        x.DRV_Fetch = Fetch;
        x.DRV_SetPos = SetPos;
        return x;
    }();
    return &t;
}

// The installer that puts this agent where the library's stack would go.
inline int Install(AgentLink* link) {
    link->word = A().linkWord;
    link->table = Table();
    return 0;
}

}  // namespace capagent
