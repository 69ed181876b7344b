#pragma once
// Parameter bindings of a statement, data at execution and the execution steps that turn the
// bound values into the parameter Dataset handed to the agent.
#include <cstdint>
#include <cstdlib>

#include "drv_ingii/i-attr.h"
#include "odbc/handles.h"

// One bound parameter. Lengths and indicators are SQLLEN (8 bytes) as the application binds them.
struct ParamBinding {
    uint16_t number;  // 1-based; 0 marks an unused entry
    int16_t cType;
    int64_t elementSize;  // size of a fixed C type; -3 (SQL_NTS) for character, binary, wide
    int16_t sqlType;
    uint64_t columnSize;
    int16_t decimalDigits;
    void* value;  // effective pointers (bound pointer plus the APD bind offset)
    SQLLEN* octetLengthPtr;
    SQLLEN* indicatorPtr;
    int64_t bufferLength;
    uint16_t direction;  // 1 input, 2 input/output, 4 output
    void* boundValue;    // the pointers as bound; SQLParamData hands the value back as the token
    SQLLEN* boundOctetLengthPtr;
    SQLLEN* boundIndicatorPtr;
    // Data-at-execution values, one per row of the parameter set. A piece length of
    // SQL_NULL_DATA marks a row whose value was sent as NULL.
    uint32_t pieceCount;
    void** pieces;
    SQLLEN* pieceLengths;
    uint8_t piecesClear;  // 1: no row holds a piece since they were last emptied
};

// Frees the data-at-execution pieces a binding collected: a parameter's, or a column's that
// SQLSetPos sends.
template <class Binding>
void BindingPiecesFree(Binding& b) {
    if (b.pieces)
        for (uint32_t i = 0; i < b.pieceCount; ++i) std::free(b.pieces[i]);
    std::free(b.pieces);
    std::free(b.pieceLengths);
    b.pieces = nullptr;
    b.pieceLengths = nullptr;
    b.pieceCount = 0;
}

// The statement's binding store (hung on StmtRecord::paramBindings) with the data-at-execution
// position of a suspended execution.
struct ParamStore {
    ParamBinding* entries;      // indexed by parameter number - 1
    ParamDescEntry* summaries;  // one beside each entry
    uint16_t count;             // entries allocated
    uint16_t nextIndex;         // where the search for the next data-at-execution value resumes
    uint16_t curIndex;          // the parameter SQLPutData appends to
    uint32_t scanRow;
    uint32_t supplyRow;  // the row SQLPutData appends to
};

// The most parameter markers a statement may hold: prepare refuses more (42000), and
// SQLBindParameter refuses a number above it (07009).
constexpr uint16_t kMaxParamNumber = 1024;
// Need-data states of the parameter dialogue.
constexpr uint16_t kNeedDataParams = 1;
constexpr uint16_t kNeedDataLastParam = 7;

ParamStore* StmtParamStore(StmtRecord* stmt);
// Binding of parameter n (1-based); null when n is 0, beyond the store or never bound.
ParamBinding* ParamBindingAt(uint16_t n, StmtRecord* stmt);
// Stores a binding under its number: 0, or -1 with kErrBadParamNumber (S1093) or kErrNoMemory (S1001) in the last
// error.
int ParamBindingSet(StmtRecord* stmt, const ParamBinding& b);
uint32_t StmtResetParams(StmtRecord* stmt);

// SQLBindParameter's work (also called by descriptor writes): 0, or -1 with the code in the
// statement's last error.
SQLRETURN BindParameterCore(StmtRecord* stmt, uint16_t number, uint16_t direction, int16_t cType, int16_t sqlType,
                            uint64_t columnSize, int16_t digits, void* value, int64_t bufferLength,
                            SQLLEN* octetLengthPtr, SQLLEN* indicatorPtr);
// Drops the value pointer of parameter n's binding (a descriptor change left it unbound).
void ParamUnbind(StmtRecord* stmt, uint16_t number);
// Fixed size of a C type as a bound parameter, -3 for the variable types, 0 for one refused.
int64_t ParamCTypeSize(int cType, bool setParamForm);

uint32_t ParamPieceBuffersReset(StmtRecord* stmt);
// Appends one piece of a data-at-execution value: 0 or an error code.
uint32_t ParamPieceAppend(ParamBinding* b, const void* data, SQLLEN length, uint32_t row);
