#pragma once
// The scripted agent with the parameter slots: it keeps a copy of every parameter Dataset and
// description list the data path hands it, and answers executions as scripted.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "odbc/execute.h"
#include "odbc/param.h"
#include "stmt_fixture.h"

namespace pfake {

struct State {
    Dataset* last = nullptr;  // the agent's own Dataset (handed over by the data path)
    std::vector<ParamDescEntry> descs;
    uint32_t prepareExecuteCalls = 0;
    uint32_t setParamsCalls = 0;
    uint32_t executeCalls = 0;
    uint32_t result = 0;    // what the execution answers
    int32_t failedRow = 0;  // row value reported after a failure
    int32_t outValue = 0;   // value of the one output column
    bool outNull = false;
};

inline State& S() {
    static State s;
    return s;
}

inline void Reset() {
    if (S().last) DatasetDelete(S().last);
    S() = State{};
}

inline void Take(Dataset* ds) {
    if (S().last && S().last != ds) DatasetDelete(S().last);
    S().last = ds;
}

inline uint32_t Run(uint32_t h) {
    ++S().executeCalls;
    fake::A().stmts[h].rowCount = S().result ? S().failedRow : int32_t(S().last ? S().last->rows_used : 0);
    return S().result;
}

inline ErrCode PrepareExecute(uint32_t h, const char*, Dataset* ds, uint16_t n, ParamDescEntry* d) {
    ++S().prepareExecuteCalls;
    if (ds) Take(ds);
    if (n) S().descs.assign(d, d + n);
    return ErrCode(Run(h));
}
inline ErrCode SetParams(uint32_t, Dataset* ds) {
    ++S().setParamsCalls;
    Take(ds);
    return kErrNone;
}
inline ErrCode SetParamDescs(uint32_t, uint16_t n, ParamDescEntry* d) {
    S().descs.assign(d, d + n);
    return kErrNone;
}
inline ErrCode Execute(uint32_t h) { return ErrCode(Run(h)); }
// The output row of a procedure call: one integer column.
inline ErrCode FetchRows(uint32_t, uint16_t, Dataset* ds) {
    ColumnInfo ci{};
    ci.value_kind = DS_INTEGER;
    ci.length = 4;
    DatasetFromColumnInfos(&ci, 1, 1, ds);
    std::memcpy(DatasetCell(&ds->cols[0], 0), &S().outValue, 4);
    ds->cols[0].indicators[0] = S().outNull ? DS_IND_NULL : DS_IND_VALUE;
    ds->rows_used = 1;
    return kErrNone;
}

inline AgentFuncTable* Table() {
    static AgentFuncTable t = [] {
        AgentFuncTable x = *fake::Table();
        x.DRV_PrepareExecute = PrepareExecute;
        x.DRV_SetParams = SetParams;
        x.DRV_SetParamDescs = SetParamDescs;
        x.DRV_Execute = Execute;
        x.DRV_FetchRows = FetchRows;
        return x;
    }();
    return &t;
}

}  // namespace pfake

class ParamTest : public StmtTest {
protected:
    void SetUp() override {
        StmtTest::SetUp();
        pfake::Reset();
        conn->link.table = pfake::Table();
        conn->hasExecute2 = 1;
        conn->hasParamOp = 1;
    }
    void TearDown() override {
        StmtTest::TearDown();
        pfake::Reset();
    }
    // Prepares text whose parameter descriptions are the given names ("?" for an input).
    SQLRETURN Prepare(const std::string& text, std::vector<std::string> params) {
        fake::A().scriptParams = std::move(params);
        return SQLPrepare(hstmt, (SQLCHAR*)text.c_str(), SQL_NTS);
    }
    Dataset* Sent() { return pfake::S().last; }
    const DatasetColumn& Col(uint16_t c) { return Sent()->cols[c]; }
    // A narrow text as the agent reads it: by reference, or in place after its length.
    std::string SentText(uint16_t c, uint32_t row) {
        const DatasetColumn& col = Sent()->cols[c];
        const uint8_t* cell = DatasetCell(&col, row);
        if (col.kind == DS_CHAR_REF) {
            DsRef r = DatasetRefGet(cell);
            return std::string(static_cast<const char*>(r.ptr), r.length);
        }
        if (col.kind != DS_CHAR_LEN4) {
            ADD_FAILURE() << "column " << c << " has kind " << col.kind << ", no narrow text";
            return std::string();
        }
        uint32_t n;
        std::memcpy(&n, cell, 4);
        if (uint64_t(n) + 4 > col.width) {
            ADD_FAILURE() << "row " << row << " of column " << c << " holds " << n << " bytes in " << col.width;
            return std::string();
        }
        return std::string(reinterpret_cast<const char*>(cell + 4), n);
    }
    std::u16string RefWide(uint16_t c, uint32_t row) {
        DsRef r = DatasetRefGet(DatasetCell(&Sent()->cols[c], row));
        return std::u16string(static_cast<const char16_t*>(r.ptr), r.length);
    }
    std::string NtsText(uint16_t c, uint32_t row) {
        return std::string(reinterpret_cast<const char*>(DatasetCell(&Sent()->cols[c], row)));
    }
    std::vector<uint8_t> Len4(uint16_t c, uint32_t row) {
        const uint8_t* cell = DatasetCell(&Sent()->cols[c], row);
        uint32_t n;
        std::memcpy(&n, cell, 4);
        return std::vector<uint8_t>(cell + 4, cell + 4 + n);
    }
};

// Names a function of the parameter sources so the test program links them.
[[maybe_unused]] static SQLRETURN (*const kLinkParamSources)(StmtRecord*) = &ExecuteRun;
