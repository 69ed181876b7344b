// The cursor layer's compound operations: batches, row-set execution, allocation with prepare,
// result shapes without rows, and long values handed out in pieces.
#include <cstdlib>
#include <string>
#include <vector>

#include "util/rowset.h"
#include "scrs/sc_compound.h"
#include "scrs/sc_cursor.h"
#include "tests/support/agent_stmt_fixture.h"

using namespace stmttest;

namespace {

class CompoundMore : public AgentSession {
protected:
    static Dataset* OneInt(std::vector<int32_t> values) {
        ParamSet p({{DS_INTEGER, 4}}, uint32_t(values.size()));
        for (uint32_t r = 0; r < values.size(); ++r) p.Put<int32_t>(0, r, values[r]);
        return p.Give();
    }
    uint32_t Batch(uint32_t s, std::vector<ScsBatchEntry> entries, uint16_t* run, std::vector<int32_t>* counts) {
        int32_t* arr = nullptr;
        using Fn = uint32_t (*)(uint32_t, uint16_t, ScsBatchEntry*, uint16_t*, int32_t**);
        auto fn = reinterpret_cast<Fn>(link.table->DRV_ExecuteBatch);
        uint32_t rc = fn(s, uint16_t(entries.size()), entries.data(), run, &arr);
        counts->clear();
        if (arr != nullptr) counts->assign(arr, arr + entries.size());
        std::free(arr);
        return rc;
    }
    int32_t Count(const char* sql) {
        uint32_t s = Stmt();
        EXPECT_EQ(0u, Run(s, sql)) << Errors(s);
        Block b;
        EXPECT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(1), &b.ds));
        return b.ds.rows_used ? b.Get<int32_t>(0, 0) : -1;
    }
};

TEST_F(CompoundMore, ABatchRunsUntilASelectAndReportsEachRowCount) {
    Exec("CREATE TABLE bt (a INTEGER)");
    Exec("INSERT INTO bt VALUES (1)");
    Exec("INSERT INTO bt VALUES (2)");
    uint32_t s = Stmt();
    uint16_t run = 99;
    std::vector<int32_t> counts;
    ParamDescEntry d{4, 4, 10, 0, 1};
    const uint32_t rc = Batch(s,
                              {{"INSERT INTO bt VALUES (?)", 1, &d, OneInt({3, 4, 5})},
                               {"UPDATE bt SET a = a + 100 WHERE a > 1", 0, nullptr, nullptr},
                               {" (select a FROM bt)", 0, nullptr, nullptr},
                               {"DELETE FROM bt", 0, nullptr, OneInt({1})}},
                              &run, &counts);
    EXPECT_EQ(162u, rc);
    EXPECT_EQ(2, run);
    EXPECT_EQ((std::vector<int32_t>{3, 4, 0, 0}), counts);
    // The DELETE never ran.
    EXPECT_EQ(5, Count("SELECT COUNT(*) FROM bt"));
    EXPECT_EQ(4, Count("SELECT COUNT(*) FROM bt WHERE a > 100"));
}

TEST_F(CompoundMore, ABatchWithoutTextsRunsThePreparedStatementAndStopsAtAFailure) {
    Exec("CREATE TABLE bp (a INTEGER)");
    uint32_t s = Stmt();
    ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "INSERT INTO bp VALUES (?)"));
    uint16_t run = 0;
    std::vector<int32_t> counts;
    ASSERT_EQ(0u, Batch(s, {{nullptr, 0, nullptr, OneInt({1})}, {nullptr, 0, nullptr, OneInt({2, 3})}}, &run, &counts))
        << Errors(s);
    EXPECT_EQ(2, run);
    EXPECT_EQ((std::vector<int32_t>{1, 2}), counts);
    EXPECT_EQ(3, Count("SELECT COUNT(*) FROM bp"));
    // The second entry fails: its code, the count run 1, the third never runs (its values freed).
    const uint32_t rc = Batch(s,
                              {{"DELETE FROM bp WHERE a = 1", 0, nullptr, nullptr},
                               {"DELETE FROM no_such_table", 0, nullptr, nullptr},
                               {"DELETE FROM bp", 0, nullptr, OneInt({7})}},
                              &run, &counts);
    EXPECT_NE(0u, rc);
    EXPECT_NE(162u, rc);
    EXPECT_EQ(1, run);
    EXPECT_EQ(1, counts[0]);
    EXPECT_EQ(2, Count("SELECT COUNT(*) FROM bp"));
    // A statement prepared as a SELECT stops the batch before it runs.
    ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "SELECT a FROM bp"));
    EXPECT_EQ(162u, Batch(s, {{nullptr, 0, nullptr, nullptr}}, &run, &counts));
    EXPECT_EQ(0, run);
    EXPECT_EQ(21u, Batch(0xBAD2u, {{"DELETE FROM bp", 0, nullptr, OneInt({1})}}, &run, &counts));
    EXPECT_TRUE(counts.empty());
}

TEST_F(CompoundMore, ProcedureCallsRunInABatchUnlessTheyReturnRows) {
    Exec("CREATE TABLE pl (a INTEGER)");
    Exec("CREATE PROCEDURE addone (p integer) AS BEGIN INSERT INTO pl VALUES (:p); END");
    Exec(
        "CREATE PROCEDURE rowsof (p integer) RESULT ROW (integer) AS DECLARE x integer; BEGIN "
        "FOR SELECT a INTO :x FROM pl WHERE a >= :p DO RETURN ROW (:x); ENDFOR; END");
    uint32_t s = Stmt();
    uint16_t run = 0;
    std::vector<int32_t> counts;
    const uint32_t rc = Batch(s,
                              {{"{call addone(5)}", 0, nullptr, nullptr},
                               {"{call rowsof(1)}", 0, nullptr, nullptr},
                               {"INSERT INTO pl VALUES (9)", 0, nullptr, nullptr}},
                              &run, &counts);
    if (rc == 162u) {
        EXPECT_EQ(1, run);  // the rows procedure ran and stopped the batch
        EXPECT_EQ(1, Count("SELECT COUNT(*) FROM pl"));
    } else {
        // An engine without row-returning procedures refuses the second entry itself.
        EXPECT_EQ(1, run) << rc;
    }
}

TEST(CompoundWords, SelectAndCallAreFoundAtTheStartOnly) {
    struct Case {
        const char* text;
        int select, call;
    };
    for (Case c : {Case{"select 1", 1, 0}, Case{"  (SELECT a FROM t)", 1, 0}, Case{"\n\tSeLeCt\n*", 1, 0},
                   Case{"selection", 0, 0}, Case{"insert into t select 1", 0, 0}, Case{"{call p(?)}", 0, 1},
                   Case{"{?=call p}", 0, 1}, Case{"{ ? = CALL p(1)}", 0, 1}, Case{"CALL p", 0, 1}, Case{"callp", 0, 0},
                   Case{"", 0, 0}, Case{"(", 0, 0}}) {
        std::string a = c.text, b = c.text;
        EXPECT_EQ(c.select, scs_p_IsSelect(a.data())) << c.text;
        EXPECT_EQ(c.call, scs_p_IsCall(b.data())) << c.text;
    }
    EXPECT_EQ(0, scs_p_IsSelect(nullptr));
    EXPECT_EQ(0, scs_p_IsCall(nullptr));
}

TEST_F(CompoundMore, ExecuteRowsetDescribesResultAndParametersAndCountsRows) {
    Exec("CREATE TABLE er (a INTEGER, b VARCHAR(10))");
    Exec("INSERT INTO er VALUES (1, 'x')");
    Exec("INSERT INTO er VALUES (2, 'y')");
    using Fn = uint32_t (*)(uint32_t, const char*, Dataset*, uint16_t, ParamDescEntry*, uint32_t*, uint16_t*,
                            ColumnInfo**, uint16_t*, ColumnInfo**, int32_t*);
    auto fn = reinterpret_cast<Fn>(link.table->DRV_ExecuteRowset);
    uint32_t s = Stmt();
    uint32_t rowset = 5;
    uint16_t ncols = 0, nparams = 0;
    ColumnInfo *cols = nullptr, *params = nullptr;
    int32_t rows = -9;
    ASSERT_EQ(0u, fn(s, "SELECT a, b FROM er WHERE a >= ?", OneInt({1}), 0, nullptr, &rowset, &ncols, &cols, &nparams,
                     &params, &rows))
        << Errors(s);
    EXPECT_EQ(5u, rowset);  // forward-only: the size is not sent
    EXPECT_EQ(2, ncols);
    EXPECT_EQ(1, nparams);
    EXPECT_EQ(0, rows);  // a SELECT has no count yet; never negative
    ColumnInfoArrayFree(cols, ncols);
    ColumnInfoArrayFree(params, nparams);
    cols = params = nullptr;
    ASSERT_EQ(0u, fn(s, "UPDATE er SET b = 'z'", nullptr, 0, nullptr, &rowset, &ncols, &cols, &nparams, &params, &rows))
        << Errors(s);
    EXPECT_EQ(0, ncols);
    EXPECT_EQ(2, rows);
    ColumnInfoArrayFree(cols, ncols);
    ColumnInfoArrayFree(params, nparams);
    // A scrollable statement sends its rowset size; one above the agent's limit comes back cut.
    (*SCS_StmtBlock(s)).cursorType = 3;
    rowset = 500;
    cols = params = nullptr;
    ASSERT_EQ(0u, fn(s, "SELECT a FROM er", nullptr, 0, nullptr, &rowset, &ncols, &cols, &nparams, &params, &rows))
        << Errors(s);
    EXPECT_EQ(100u, rowset);
    EXPECT_EQ(100u, (*SCS_StmtBlock(s)).rowsetSize);
    ColumnInfoArrayFree(cols, ncols);
    ColumnInfoArrayFree(params, nparams);
    EXPECT_EQ(21u, fn(0xBAD3u, nullptr, OneInt({1}), 0, nullptr, &rowset, &ncols, &cols, &nparams, &params, &rows));
}

TEST_F(CompoundMore, AllocPrepareSetsOptionsOnlyForScrollableTypesAndHandsAFailedPreparesMessagesToTheConnection) {
    using Fn = uint32_t (*)(uint32_t, const char*, uint32_t, uint32_t, uint32_t*);
    auto fn = reinterpret_cast<Fn>(link.table->DRV_AllocPrepare);
    Exec("CREATE TABLE ap (a INTEGER)");
    uint32_t s = 0;
    ASSERT_EQ(0u, fn(conn, "SELECT a FROM ap", 2, 0, &s)) << Errors(conn);
    stmts.push_back(s);
    ASSERT_NE(nullptr, IngStmtFind(s));
    EXPECT_EQ(0u, (*SCS_StmtBlock(s)).cursorType);
    EXPECT_EQ(1u, (*SCS_StmtBlock(s)).concurrency);  // type 0: no option set
    EXPECT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
    uint32_t t = 0;
    ASSERT_EQ(0u, fn(conn, nullptr, 1, 3, &t));
    stmts.push_back(t);
    EXPECT_EQ(3u, (*SCS_StmtBlock(t)).cursorType);
    uint32_t bad = 7;
    const uint32_t rc = fn(conn, "{call no_such_proc(?)}", 1, 0, &bad);
    EXPECT_NE(0u, rc);
    EXPECT_EQ(0u, bad);
    // Read from the record: a statement may carry the connection's handle number.
    const IngDiagEntry* first = IngConnFind(conn)->messages.first;
    ASSERT_NE(nullptr, first);
    EXPECT_NE(nullptr, std::strstr(first->text, "Can't find procedure")) << first->text;
    EXPECT_EQ(21u, fn(0xBAD4u, "SELECT 1", 1, 0, &bad));
}

TEST_F(CompoundMore, FetchDescribeGivesTheResultShapeWithoutRows) {
    Exec("CREATE TABLE fd (a INTEGER, b VARCHAR(12))");
    Exec("INSERT INTO fd VALUES (1, 'x')");
    uint32_t s = Stmt();
    ASSERT_EQ(0u, Run(s, "SELECT a, b FROM fd")) << Errors(s);
    using Fn = uint32_t (*)(uint32_t, uint16_t*, ColumnInfo**, Dataset*);
    auto fn = reinterpret_cast<Fn>(link.table->DRV_FetchDescribe);
    Block b;
    uint16_t n = 0;
    ColumnInfo* info = nullptr;
    ASSERT_EQ(0u, fn(s, &n, &info, &b.ds)) << Errors(s);
    ASSERT_EQ(2, n);
    EXPECT_EQ(0u, b.ds.rows_used);
    ASSERT_NE(nullptr, info);
    for (uint16_t i = 0; i < n; ++i) {
        EXPECT_EQ(b.ds.cols[i].kind, info[i].value_kind);
        const uint32_t k = b.ds.cols[i].kind, w = b.ds.cols[i].width;
        const uint32_t want = (k == DS_WCHAR || k == DS_WCHAR_NTS) ? w / 2 : k == DS_WCHAR_LEN4 ? (w - 4) / 2 : w;
        EXPECT_EQ(want, info[i].length) << "kind " << k;
    }
    ColumnInfoArrayFree(info, n);
    // The rows are still there afterwards.
    Block rows;
    ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(5), &rows.ds));
    EXPECT_EQ(1u, rows.ds.rows_used);
    EXPECT_EQ(21u, fn(s, &n, &info, nullptr));
}

// A rowset Dataset of one by-reference column of `kind` holding values of the given byte sizes.
Dataset* LongRows(uint32_t kind, std::vector<uint32_t> bytes) {
    auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    DatasetInit(ds, 2);
    ds->col_count = 2;
    ds->cols[0] = DatasetColumn{DS_INTEGER, 4, nullptr, nullptr};
    ds->cols[1] = DatasetColumn{kind, 16, nullptr, nullptr};
    DatasetAllocRows(ds, uint32_t(bytes.size()));
    ds->rows_used = uint32_t(bytes.size());
    for (uint32_t r = 0; r < bytes.size(); ++r) {
        std::string v(bytes[r], 'a');
        for (uint32_t i = 0; i < bytes[r]; ++i) v[i] = char('a' + i % 26);
        const uint32_t len = kind == DS_WCHAR_REF ? bytes[r] / 2 : bytes[r];
        DatasetSetRef(ds, r, 1, v.data(), len);
    }
    return ds;
}

TEST(CompoundLongValues, OnlyValuesAbove60000BytesLeaveTheRowset) {
    Dataset* rows = LongRows(DS_CHAR_REF, {60000, 60001, 10});
    rows->cols[1].indicators[2] = DS_IND_NULL;
    Dataset longs{};
    ASSERT_EQ(0u, scs_p_SplitLongValues(rows, &longs));
    ASSERT_EQ(2, longs.col_count);
    ASSERT_EQ(3u, longs.rows_used);
    EXPECT_EQ(0u, longs.cols[0].width);
    for (uint32_t r = 0; r < 3; ++r) EXPECT_EQ(DS_IND_NULL, longs.cols[0].indicators[r]);
    EXPECT_EQ(DS_IND_VALUE, rows->cols[1].indicators[0]);
    EXPECT_EQ(60000u, DatasetRefGet(DatasetCell(&rows->cols[1], 0)).length);
    EXPECT_EQ(DS_IND_NULL, longs.cols[1].indicators[0]);
    EXPECT_EQ(DS_IND_NOT_FETCHED, rows->cols[1].indicators[1]);
    EXPECT_EQ(nullptr, DatasetRefGet(DatasetCell(&rows->cols[1], 1)).ptr);
    EXPECT_EQ(DS_IND_VALUE, longs.cols[1].indicators[1]);
    const DsRef moved = DatasetRefGet(DatasetCell(&longs.cols[1], 1));
    EXPECT_EQ(60001u, moved.length);
    EXPECT_EQ('a', static_cast<const char*>(moved.ptr)[0]);
    EXPECT_EQ(DS_IND_NULL, longs.cols[1].indicators[2]);
    DatasetFree(&longs);
    DatasetDelete(rows);
    // No by-reference column: nothing is made.
    Dataset* plain = LongRows(DS_CHAR_REF, {5});
    plain->cols[1].kind = DS_BINARY;
    plain->cols[1].width = 16;
    Dataset none{};
    ASSERT_EQ(0u, scs_p_SplitLongValues(plain, &none));
    EXPECT_EQ(0, none.col_count);
    EXPECT_EQ(nullptr, none.cols);
    plain->cols[1].kind = DS_CHAR_REF;
    DatasetDelete(plain);
}

class CompoundPieces : public AgentSession {};

TEST_F(CompoundPieces, ALongValueComesOutInPiecesAndEachCellStartsAtItsBeginning) {
    Exec("CREATE TABLE lv (k INTEGER, v LONG VARCHAR)");
    std::vector<std::string> values;
    for (uint32_t n : {100000u, 70000u, 60000u}) {
        std::string v(n, 'a');
        for (uint32_t i = 0; i < n; ++i) v[i] = char('a' + i % 26);
        values.push_back(v);
    }
    {
        uint32_t ins = Stmt();
        ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, ins, "INSERT INTO lv VALUES (?, ?)"));
        ParamSet p({{DS_INTEGER, 4}, {DS_CHAR_REF, 0}}, 3);
        for (uint32_t r = 0; r < 3; ++r) {
            p.Put<int32_t>(0, r, int32_t(r + 1));
            p.Ref(1, r, values[r].data(), uint32_t(values[r].size()));
        }
        ASSERT_EQ(0u, AgentCall<DRV_SetParams>(&link, ins, p.Give()));
        ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, ins)) << Errors(ins);
    }
    uint32_t s = Stmt();
    uint32_t three = 3;
    ASSERT_EQ(0u, AgentCall<DRV_SetOption>(&link, s, 0x32030009u, static_cast<void*>(&three)));
    ASSERT_EQ(0u, Run(s, "SELECT k, v FROM lv ORDER BY k")) << Errors(s);
    using Get = uint32_t (*)(uint32_t, uint32_t, uint32_t, uint32_t, void**, uint32_t*, uint32_t*, uint32_t*);
    auto get = reinterpret_cast<Get>(link.table->DRV_GetRowsetValue);
    void* piece = nullptr;
    uint32_t len = 0, kind = 0, left = 0;
    EXPECT_EQ(82u, get(s, 1, 1, 100, &piece, &len, &kind, &left));  // nothing fetched yet
    using Conv = uint32_t (*)(uint32_t, Rowset**, int32_t, uint32_t*, uint32_t*, uint16_t);
    auto conv = reinterpret_cast<Conv>(link.table->DRV_ExtendedFetchConvert);
    Rowset* rs = nullptr;
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, conv(s, &rs, 1, &rows, &total, 1)) << Errors(s);
    ASSERT_EQ(3u, rows);
    ASSERT_NE(nullptr, rs);
    const DatasetColumn& v = rs->data->cols[1];
    ASSERT_EQ(uint32_t(DS_CHAR_REF), v.kind);
    EXPECT_EQ(DS_IND_NOT_FETCHED, v.indicators[0]);
    EXPECT_EQ(DS_IND_NOT_FETCHED, v.indicators[1]);
    EXPECT_EQ(DS_IND_VALUE, v.indicators[2]);  // 60000 bytes stay in the rowset
    EXPECT_EQ(60000u, DatasetRefGet(DatasetCell(&v, 2)).length);
    std::vector<uint32_t> sizes, lefts;
    std::string got;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(0u, get(s, 2, 1, 40000, &piece, &len, &kind, &left));
        lefts.push_back(left);
        sizes.push_back(len);
        if (piece) {
            EXPECT_EQ(uint32_t(DS_CHAR), kind);
            got.append(static_cast<char*>(piece), len);
            std::free(piece);
            piece = nullptr;
        }
    }
    EXPECT_EQ((std::vector<uint32_t>{40000, 40000, 20000, 0}), sizes);
    EXPECT_EQ((std::vector<uint32_t>{100000, 60000, 20000, 0}), lefts);
    EXPECT_EQ(values[0], got);
    // Another cell starts from its beginning, and coming back starts the first again.
    ASSERT_EQ(0u, get(s, 2, 2, 40000, &piece, &len, &kind, &left));
    EXPECT_EQ(70000u, left);
    EXPECT_EQ(0, std::memcmp(piece, values[1].data(), len));
    std::free(piece);
    ASSERT_EQ(0u, get(s, 2, 1, 40000, &piece, &len, &kind, &left));
    EXPECT_EQ(100000u, left);
    std::free(piece);
    // Outside the rowset, a value left in the rowset, a column without long values.
    EXPECT_EQ(21u, get(s, 3, 1, 10, &piece, &len, &kind, &left));
    EXPECT_EQ(21u, get(s, 2, 4, 10, &piece, &len, &kind, &left));
    EXPECT_EQ(21u, get(s, 0, 1, 10, &piece, &len, &kind, &left));
    EXPECT_EQ(82u, get(s, 2, 3, 10, &piece, &len, &kind, &left));
    EXPECT_EQ(82u, get(s, 1, 1, 10, &piece, &len, &kind, &left));
    EXPECT_EQ(nullptr, piece);
    RowsetFree(&rs);
    // The next fetch drops the values of the last rowset.
    ASSERT_EQ(82u, conv(s, &rs, 1, &rows, &total, 1));
    EXPECT_EQ(82u, get(s, 2, 1, 10, &piece, &len, &kind, &left));
    RowsetFree(&rs);
    EXPECT_EQ(21u, conv(0xBAD5u, &rs, 1, &rows, &total, 1));
    EXPECT_EQ(21u, get(0xBAD5u, 2, 1, 10, &piece, &len, &kind, &left));
}

}  // namespace
