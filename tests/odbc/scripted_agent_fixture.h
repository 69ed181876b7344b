#pragma once
// A scripted agent behind an operation table, for driving the ODBC side without a database:
// each statement answers prepare, describe, execute and block fetches from the result the test
// gave it, and records what the ODBC side asked.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-optable.h"
#include "util/rowset.h"
#include "scrs/sc_cursor.h"
#include "util/dataset.h"

namespace fake {

struct Col {
    std::string name;
    int32_t sqlType;
    uint32_t kind;  // DS_INTEGER, DS_DOUBLE, DS_CHAR_NTS, DS_CHAR_LEN2, DS_CHAR_REF, DS_WCHAR_REF
    uint32_t length;
};
using Cell = std::optional<std::string>;

struct Result {
    std::vector<Col> cols;
    std::vector<std::vector<Cell>> rows;
};

struct Stmt {
    std::string text;
    Result result;
    std::vector<Result> more;         // further results for MoreResults
    std::vector<std::string> params;  // parameter description names
    size_t next = 0;                  // next row to hand out
    bool open = false;
    int32_t rowCount = 0;
    std::string cursorName = "SQL_CUR1";
    uint32_t rowsetSize = 1;
    uint32_t fetchCalls = 0;
    std::vector<uint16_t> fetchAsks;  // rows asked by each block fetch
    uint32_t closeCalls = 0;
    uint32_t executeCalls = 0;
};

struct Agent {
    std::map<uint32_t, Stmt> stmts;
    std::map<std::string, Result> scripts;  // result for a statement text
    std::vector<std::string> scriptParams;
    uint32_t nextHandle = 100;
    uint32_t failPrepare = 0;  // code DRV_Prepare returns when not 0
    uint32_t failExecute = 0;
    uint32_t failFetch = 0;
    bool refillBlocks = false;  // takes back the block it filled last (information item 0x32010001)
    uint32_t bookmarks = 0;     // information item 82
    uint32_t allocFail = 0;
    std::vector<std::string> messages;  // handed out by DRV_GetErrors
    uint32_t getInfoCalls = 0;
    uint32_t grantType = 0xFFFFFFFF;  // cursor type granted at read-back, when set
    uint32_t setOptionCalls = 0;
    uint32_t outputPending = 0;  // MoreResults first answers 80 this many times
    uint32_t moreCalls = 0;
    std::vector<std::pair<uint32_t, uint32_t>> options;
};

inline Agent& A() {
    static Agent a;
    return a;
}

inline void FillRows(Dataset* ds, const Result& r, size_t from, uint32_t n) {
    std::vector<ColumnInfo> infos(r.cols.size());
    for (size_t i = 0; i < r.cols.size(); ++i) {
        infos[i] = ColumnInfo{};
        infos[i].value_kind = r.cols[i].kind;
        infos[i].length = r.cols[i].length;
    }
    DatasetFromColumnInfos(infos.data(), uint16_t(infos.size()), n, ds);
    for (uint32_t k = 0; k < n; ++k) {
        const auto& row = r.rows[from + k];
        for (size_t c = 0; c < r.cols.size(); ++c) {
            DatasetColumn& col = ds->cols[c];
            if (!row[c]) {
                col.indicators[k] = DS_IND_NULL;
                continue;
            }
            const std::string& v = *row[c];
            uint8_t* cell = DatasetCell(&col, k);
            switch (col.kind) {
                case DS_INTEGER: {
                    int32_t x = int32_t(std::strtol(v.c_str(), nullptr, 10));
                    std::memcpy(cell, &x, 4);
                    break;
                }
                case DS_DOUBLE: {
                    double x = std::strtod(v.c_str(), nullptr);
                    std::memcpy(cell, &x, 8);
                    break;
                }
                case DS_CHAR_NTS:
                    std::memcpy(cell, v.c_str(), v.size() + 1);
                    break;
                case DS_CHAR_LEN2: {  // the agent's BIGINT digits: cut to the cell, as it cuts them
                    const uint16_t n = uint16_t(std::min<size_t>(v.size(), col.width - 2));
                    std::memcpy(cell, &n, 2);
                    std::memcpy(cell + 2, v.data(), n);
                    break;
                }
                case DS_CHAR:
                    std::memset(cell, ' ', col.width);
                    std::memcpy(cell, v.data(), v.size() < col.width ? v.size() : col.width);
                    break;
                case DS_CHAR_REF:
                    DatasetSetRef(ds, k, uint16_t(c), v.data(), uint32_t(v.size()));
                    break;
                case DS_WCHAR_REF: {
                    std::vector<uint16_t> w(v.begin(), v.end());
                    DatasetSetRef(ds, k, uint16_t(c), w.data(), uint32_t(w.size()));
                    break;
                }
            }
            col.indicators[k] = DS_IND_VALUE;
        }
    }
    ds->rows_used = n;
}

inline ErrCode GetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen) {
    ++A().getInfoCalls;
    if (len < 4) return ErrCode(21);
    uint32_t v = 0;
    if (id == 0x32010000u) {
        auto it = A().stmts.find(h);
        if (it == A().stmts.end()) return ErrCode(21);
        v = uint32_t(it->second.rowCount);
    } else if (id == (0x22040000u | 8)) {
        v = 191;
    } else if (id == (0x22040000u | 82)) {
        v = A().bookmarks;
    } else if (id == 0x32030006u) {
        v = A().grantType;
    } else if (id == 0x32010001u && A().refillBlocks) {
        v = 1;
    } else {
        return ErrCode(43);
    }
    std::memcpy(buf, &v, 4);
    if (outLen) *outLen = 4;
    return kErrNone;
}
inline ErrCode SetOption(uint32_t, uint32_t id, void* value) {
    ++A().setOptionCalls;
    A().options.emplace_back(id, *static_cast<uint32_t*>(value));
    return kErrNone;
}
inline ErrCode GetErrors(uint32_t, AgentErrors* out) {
    auto& m = A().messages;
    out->count = uint32_t(m.size());
    out->native = m.empty() ? 0 : 4711;
    out->texts = m.empty() ? nullptr : static_cast<char**>(std::calloc(m.size(), sizeof(char*)));
    for (size_t i = 0; i < m.size(); ++i) out->texts[i] = strdup(m[i].c_str());
    m.clear();
    return kErrNone;
}
inline ErrCode Disconnect(uint32_t) { return kErrNone; }
inline ErrCode AllocStmt(uint32_t, uint32_t* out) {
    if (A().allocFail) return ErrCode(A().allocFail);
    *out = A().nextHandle++;
    A().stmts[*out] = Stmt{};
    return kErrNone;
}
inline ErrCode FreeStmt(uint32_t h) { return A().stmts.erase(h) ? kErrNone : kErrBadArg; }
inline ErrCode GetCursorName(uint32_t h, char* buf, uint16_t len, uint16_t* outLen) {
    const std::string& n = A().stmts[h].cursorName;
    if (outLen) *outLen = uint16_t(n.size());
    if (!buf || len == 0) return ErrCode(19);
    if (n.size() + 1 > len) {
        std::memcpy(buf, n.data(), len - 1u);
        buf[len - 1] = 0;
        return ErrCode(19);
    }
    std::memcpy(buf, n.c_str(), n.size() + 1);
    return kErrNone;
}
inline ErrCode SetCursorName(uint32_t h, const char* name) {
    A().stmts[h].cursorName = name;
    return kErrNone;
}
inline ErrCode Prepare(uint32_t h, const char* text) {
    if (A().failPrepare) {
        A().messages.push_back("[IngresII Server]syntax error[SQLSTATE:42000]");
        return ErrCode(A().failPrepare);
    }
    Stmt& s = A().stmts[h];
    s.text = text;
    auto it = A().scripts.find(text);
    s.result = it != A().scripts.end() ? it->second : Result{};
    s.params = A().scriptParams;
    s.next = 0;
    s.open = false;
    return kErrNone;
}
inline ErrCode Execute(uint32_t h) {
    Stmt& s = A().stmts[h];
    ++s.executeCalls;
    if (A().failExecute) return ErrCode(A().failExecute);
    s.open = !s.result.cols.empty();
    s.next = 0;
    s.rowCount = s.open ? -1 : 3;
    return kErrNone;
}
inline ErrCode Describe(uint32_t h, uint16_t* count, ColumnInfo** out) {
    Stmt& s = A().stmts[h];
    *count = uint16_t(s.result.cols.size());
    *out = nullptr;
    if (*count == 0) return kErrNone;
    ColumnInfo* arr = ColumnInfoArrayAlloc(*count);
    for (uint16_t i = 0; i < *count; ++i) {
        const Col& c = s.result.cols[i];
        std::strncpy(arr[i].name, c.name.c_str(), 40);
        arr[i].sql_type = c.sqlType;
        arr[i].value_kind = c.kind;
        arr[i].length = c.length;
        arr[i].column_size = c.length;
        arr[i].nullable = 1;
    }
    *out = arr;
    return kErrNone;
}
// The descriptions with one attribute row per column: attribute 14 (text "tab"), and one
// integer default for every column (column 0): attribute 10, value 2.
inline ErrCode DescribeEx(uint32_t h, uint16_t* count, uint16_t* rowCount, ColumnInfo** out, void** attrs) {
    uint32_t rc = Describe(h, count, out);
    auto* list = static_cast<IngAttrList*>(std::calloc(1, sizeof(IngAttrList)));
    list->count = uint32_t(*count) + 1;
    list->rows = static_cast<IngAttrRow*>(std::calloc(list->count, sizeof(IngAttrRow)));
    for (uint16_t i = 0; i < *count; ++i) {
        list->rows[i].column = uint16_t(i + 1);
        list->rows[i].attribute = 14;
        list->rows[i].form = 0;
        list->rows[i].text = strdup(("tab" + std::to_string(i + 1)).c_str());
    }
    list->rows[*count].column = 0;
    list->rows[*count].attribute = 10;
    list->rows[*count].form = 1;
    list->rows[*count].value = 2;
    *rowCount = uint16_t(list->count);
    *attrs = list;
    return ErrCode(rc);
}
inline ErrCode DescribeParams(uint32_t h, uint16_t* count, ColumnInfo** out) {
    Stmt& s = A().stmts[h];
    *count = uint16_t(s.params.size());
    *out = nullptr;
    if (!*count) return kErrNone;
    ColumnInfo* arr = ColumnInfoArrayAlloc(*count);
    for (uint16_t i = 0; i < *count; ++i) std::strncpy(arr[i].name, s.params[i].c_str(), 40);
    *out = arr;
    return kErrNone;
}
inline ErrCode NativeSql(uint32_t, const char* in, char* out, uint16_t len, uint16_t* outLen) {
    std::string t = std::string("native:") + in;
    if (outLen) *outLen = uint16_t(t.size());
    if (!out) return kErrNone;
    if (t.size() + 1 > len) {
        if (len) {
            std::memcpy(out, t.data(), len - 1u);
            out[len - 1] = 0;
        }
        return ErrCode(19);
    }
    std::memcpy(out, t.c_str(), t.size() + 1);
    return kErrNone;
}
inline ErrCode FetchRows(uint32_t h, uint16_t n, Dataset* ds) {
    Stmt& s = A().stmts[h];
    ++s.fetchCalls;
    s.fetchAsks.push_back(n);
    // Refused before the block is taken, as a layer on the way refuses: the handed-back block
    // comes back as it went.
    if (A().failFetch) {
        A().messages.push_back("[IngresII Server]fetch failed[SQLSTATE:40001]");
        return ErrCode(A().failFetch);
    }
    if (A().refillBlocks) DatasetFree(ds);  // filled anew below
    if (!s.open) return ErrCode(22);
    size_t left = s.result.rows.size() - s.next;
    if (left == 0) {
        DatasetInit(ds, 0);
        return kErrNone;
    }
    uint32_t take = uint32_t(left < n ? left : n);
    for (const Col& c : s.result.cols)
        if (DatasetKindIsRef(c.kind)) take = take ? 1 : 0;
    FillRows(ds, s.result, s.next, take);
    s.next += take;
    return kErrNone;
}
inline ErrCode CloseCursor(uint32_t h) {
    Stmt& s = A().stmts[h];
    ++s.closeCalls;
    s.open = false;
    return kErrNone;
}
inline ErrCode MoreResults(uint32_t h) {
    Stmt& s = A().stmts[h];
    ++A().moreCalls;
    if (A().outputPending) {
        --A().outputPending;
        return ErrCode(80);
    }
    if (s.more.empty()) return ErrCode(73);
    s.result = s.more.front();
    s.more.erase(s.more.begin());
    s.next = 0;
    s.open = true;
    return kErrNone;
}
AgentFuncTable* Table();
inline ErrCode ExtFetch(uint32_t h, Rowset** out, int32_t, uint32_t* rows, uint32_t* resultRows, uint16_t) {
    AgentLink self{2, Table()};
    *resultRows = 0xFFFFFFFF;
    return ErrCode(SCS_ForwardRowsetFetch(&self, h, A().stmts[h].rowsetSize, 1, out, rows));
}
inline ErrCode Fetch(uint32_t h, Rowset** out, int32_t start, uint32_t* rows, uint32_t* resultRows) {
    return ExtFetch(h, out, start, rows, resultRows, 0);
}

// The agent's state is one shared record, and its link claims concurrent calls as the real
// agent's does: once a connect has let calls on different connections run side by side, every
// entry must take this lock. Recursive, since a block fetch comes back in through the table.
inline std::recursive_mutex& AgentLock() {
    static std::recursive_mutex m;
    return m;
}
template <auto F>
struct Serialized;
template <class R, class... Args, R (*F)(Args...)>
struct Serialized<F> {
    static R Call(Args... args) {
        std::lock_guard<std::recursive_mutex> hold(AgentLock());
        return F(args...);
    }
};

inline AgentFuncTable* Table() {
    static AgentFuncTable t = [] {
        AgentFuncTable x{};
        x.DRV_GetInfo = Serialized<GetInfo>::Call;
        x.DRV_SetOption = Serialized<SetOption>::Call;
        x.DRV_GetErrors = Serialized<GetErrors>::Call;
        x.DRV_Disconnect = Serialized<Disconnect>::Call;
        x.DRV_AllocStmt = Serialized<AllocStmt>::Call;
        x.DRV_FreeStmt = Serialized<FreeStmt>::Call;
        x.DRV_GetCursorName = Serialized<GetCursorName>::Call;
        x.DRV_SetCursorName = Serialized<SetCursorName>::Call;
        x.DRV_Prepare = Serialized<Prepare>::Call;
        x.DRV_Execute = Serialized<Execute>::Call;
        x.DRV_DescribeCols = Serialized<Describe>::Call;
        x.DRV_DescribeParams = Serialized<DescribeParams>::Call;
        x.DRV_DescribeColsEx = Serialized<DescribeEx>::Call;
        x.DRV_NativeSql = Serialized<NativeSql>::Call;
        x.DRV_FetchRows = Serialized<FetchRows>::Call;
        x.DRV_CloseCursor = Serialized<CloseCursor>::Call;
        x.DRV_MoreResults = Serialized<MoreResults>::Call;
        x.DRV_Fetch = Serialized<Fetch>::Call;
        x.DRV_ExtendedFetch = Serialized<ExtFetch>::Call;
        return x;
    }();
    return &t;
}

inline void Reset() { A() = Agent{}; }

}  // namespace fake
