// Positioned and bookmark row changes of the cursor layer on the embedded engine, over a cursor
// set up as a keyset-driven one is: its key set read by the key-set statement, its result columns
// described, its concurrency values read in key order.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sql.h>
#include <sqlext.h>

#include "tests/scrs/keys_fixture.h"
#include "drv_ingii/i-info.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_setpos.h"
#include "util/dataset.h"
#include "util/rowset.h"

namespace {

using keystest::DescSession;
using stmttest::Block;

class RowChanges : public DescSession {
protected:
    SCR_Analysis ks{};
    Block keys;
    Block valuesCache;
    ColumnInfo* cols = nullptr;
    uint16_t colCount = 0;
    uint16_t status[8] = {};
    SCS_RowChange rc{};
    std::string text;

    void SetUp() override {
        DescSession::SetUp();
        SCR_AnalysisInit(&ks);
        Exec(
            "CREATE TABLE pp (a integer NOT NULL, b varchar(8) NOT NULL, c varchar(10), d integer, PRIMARY KEY (a, "
            "b))");
        Exec("INSERT INTO pp VALUES (1, 'p', 'x', 10)");
        Exec("INSERT INTO pp VALUES (2, 'q', NULL, 20)");
        Exec("INSERT INTO pp VALUES (3, 'r', 'x', 30)");
        Exec("INSERT INTO pp VALUES (4, 's', 'y', NULL)");
        mode[DRV_DDSpecialColumns] = 1;  // keys a, b from the unique index
    }
    void TearDown() override {
        if (cols) ColumnInfoArrayFree(cols, colCount);
        SCR_AnalysisFree(&ks);
        DescSession::TearDown();
    }

    // Sets the cursor up over sql: keys, table and select columns, key set, result description.
    void Cursor(const char* sql, uint32_t concurrency) {
        text = sql;
        ASSERT_EQ(Analyse(sql), 0u);
        ASSERT_EQ(KS_GetKeyColDescs(&ctx, tables), 0u);
        ctx.tableCols = SCR_ArrayCreate(sizeof(ColDesc));
        ASSERT_EQ(scs_p_GetTblColDescs(&ctx, tables, tables->count, 0, ctx.tableCols), 0u);
        ctx.selectCols = SCR_ArrayCreate(sizeof(ColDesc));
        ASSERT_EQ(scs_p_SelectColsGet(&ctx, ctx.selectCols, nullptr), 0u);
        scs_p_SelectCol_ColDescComplete(&ctx);
        ASSERT_EQ(KS_BuildKeyOrderBy(&an, ctx.keyCols, ctx.tableCount, 0, 0), 0u);
        std::string ordered = an.text;
        ASSERT_EQ(SCR_AnalyseSQL(&ks, ordered.c_str(), 1, 0), 0u) << ordered;
        ASSERT_EQ(KS_BuildKeySelect(&ks, ctx.keyCols, ctx.tableCount), 0u);
        Fetch(ks.text, &keys);
        uint32_t s = Stmt();
        ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, sql), 0u);
        ASSERT_EQ(AgentCall<DRV_DescribeCols>(&link, s, &colCount, &cols), 0u);
        Fetch("SELECT a, b, c, d FROM pp ORDER BY a, b", &valuesCache);
        rc.desc = &ctx;
        rc.changeStmt = Stmt();
        rc.fetchStmt = Stmt();
        rc.resultCols = cols;
        rc.resultCount = colCount;
        rc.cursorType = SQL_CURSOR_KEYSET_DRIVEN;
        rc.concurrency = concurrency;
        rc.rowsetSize = 4;
        rc.rowsetOrigin = 1;
        rc.keyValues = &keys.ds;
        rc.keyStatus = status;
        rc.keysetRows = keys.ds.rows_used;
        rc.values = &valuesCache.ds;
        rc.stmtText = text.c_str();
    }
    void Fetch(const std::string& sql, Block* out) {
        uint32_t s = Stmt();
        ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, sql.c_str()), 0u) << sql << Errors(s);
        ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << sql << Errors(s);
        ASSERT_EQ(AgentCall<DRV_FetchRows>(&link, s, uint16_t(100), &out->ds), 0u);
        AgentCall<DRV_CloseCursor>(&link, s);
    }
    static std::string Cell(const Block& b, uint16_t c, uint32_t r) {
        if (b.ds.cols[c].indicators[r] == DS_IND_NULL) return "-";
        if (b.ds.cols[c].kind == DS_INTEGER) return std::to_string(b.Get<int32_t>(c, r));
        return b.Text(c, r);
    }
    // The table as another statement reads it: "a b c d" per row, in key order.
    std::vector<std::string> Table() {
        Block b;
        Fetch("SELECT a, b, c, d FROM pp ORDER BY a", &b);
        std::vector<std::string> out;
        for (uint32_t r = 0; r < b.ds.rows_used; ++r)
            out.push_back(Cell(b, 0, r) + " " + Cell(b, 1, r) + " " + Cell(b, 2, r) + " " + Cell(b, 3, r));
        return out;
    }
    // A row-values Dataset: one column per value (integers as DS_INTEGER, texts by reference; "-" NULL).
    static Dataset* Values(const std::vector<std::vector<std::string>>& rows, const std::vector<uint32_t>& kinds) {
        auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
        DatasetInit(ds, uint16_t(kinds.size()));
        ds->col_count = uint16_t(kinds.size());
        for (size_t c = 0; c < kinds.size(); ++c) {
            ds->cols[c].kind = kinds[c];
            ds->cols[c].width = kinds[c] == DS_INTEGER ? 4 : 16;
        }
        DatasetAllocRows(ds, uint32_t(rows.size()));
        for (uint32_t r = 0; r < rows.size(); ++r)
            for (uint16_t c = 0; c < kinds.size(); ++c) {
                const std::string& v = rows[r][c];
                if (v == "-") {
                    ds->cols[c].indicators[r] = DS_IND_NULL;
                } else if (kinds[c] == DS_INTEGER) {
                    int32_t n = std::atoi(v.c_str());
                    std::memcpy(DatasetCell(&ds->cols[c], r), &n, 4);
                    ds->cols[c].indicators[r] = 0;
                } else {
                    DatasetSetRef(ds, r, c, v.data(), uint32_t(v.size()));
                }
            }
        ds->rows_used = uint32_t(rows.size());
        return ds;
    }
    static uint16_t* Columns(std::vector<uint16_t> list) {
        auto* p = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * list.size()));
        std::memcpy(p, list.data(), sizeof(uint16_t) * list.size());
        return p;
    }
};

const std::vector<std::string> kStart = {"1 p x 10", "2 q - 20", "3 r x 30", "4 s y -"};

TEST_F(RowChanges, DeleteOneRowNamesItByItsKeys) {
    Cursor("SELECT c, d FROM pp", SQL_CONCUR_LOCK);
    uint16_t* st = nullptr;
    uint32_t processed = 0;
    EXPECT_EQ(scs_p_DeleteRows(&rc, 2, &st, &processed, nullptr), 0u) << Errors(rc.changeStmt);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st[0], SQL_ROW_DELETED);
    EXPECT_EQ(processed, 1u);
    EXPECT_EQ(status[1], SQL_ROW_DELETED);
    EXPECT_EQ(rc.rowsChanged, 1u);
    std::free(st);
    EXPECT_EQ(Table(), (std::vector<std::string>{"1 p x 10", "3 r x 30", "4 s y -"}));
}

TEST_F(RowChanges, DeletingEveryRowOfAShortLastRowsetSaysPartly) {
    Cursor("SELECT c FROM pp", SQL_CONCUR_LOCK);
    rc.rowsetSize = 6;
    rc.rowsetOrigin = 3;
    uint16_t* st = nullptr;
    EXPECT_EQ(scs_p_DeleteRows(&rc, 0xFFFFFFFEu, &st, nullptr, nullptr), uint32_t(kErrManyRowsChanged));
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(st, st + 6), (std::vector<uint16_t>{1, 1, 3, 3, 3, 3}));
    std::free(st);
    EXPECT_EQ(Table(), (std::vector<std::string>{"1 p x 10", "2 q - 20"}));
}

TEST_F(RowChanges, IgnoredRowsAreLeftAlone) {
    Cursor("SELECT c FROM pp", SQL_CONCUR_LOCK);
    Dataset* marks = Values({{"1"}, {"1"}, {"1"}, {"1"}}, {DS_INTEGER});
    marks->cols[0].indicators[1] = DS_IND_IGNORED;
    marks->cols[0].indicators[3] = DS_IND_IGNORED;
    uint16_t* st = nullptr;
    EXPECT_EQ(scs_p_DeleteRows(&rc, 0xFFFFFFFEu, &st, nullptr, marks), uint32_t(kErrManyRowsChanged));
    std::free(st);
    EXPECT_EQ(Table(), (std::vector<std::string>{"2 q - 20", "4 s y -"}));
}

TEST_F(RowChanges, UpdateWritesEachValueIntoItsBaseColumn) {
    // The labels swap the names: the values must still reach d and c.
    Cursor("SELECT d AS c, c AS d FROM pp", SQL_CONCUR_LOCK);
    uint16_t* st = nullptr;
    EXPECT_EQ(
        scs_p_UpdateRows(&rc, 1, &st, nullptr, Values({{"99", "zz"}}, {DS_INTEGER, DS_CHAR_REF}), Columns({1, 2})), 0u)
        << Errors(rc.changeStmt);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st[0], SQL_ROW_UPDATED);
    std::free(st);
    EXPECT_EQ(Table()[0], "1 p zz 99");
    std::string t;
    ASSERT_EQ(scs_p_UpdateText(&rc, std::vector<uint16_t>{1, 2}.data(), 2, &t), 0u);
    EXPECT_EQ(t, "UPDATE \"owner\".\"pp\" SET \"d\" = ?, \"c\" = ? WHERE \"a\" = ? AND \"b\" = ?") << t;
}

TEST_F(RowChanges, ExpressionColumnsAreNotWritten) {
    Cursor("SELECT d + 1 AS e, c FROM pp", SQL_CONCUR_LOCK);
    uint16_t* st = nullptr;
    EXPECT_EQ(scs_p_UpdateRows(&rc, 1, &st, nullptr, Values({{"5", "zz"}}, {DS_INTEGER, DS_CHAR_REF}), Columns({1, 2})),
              uint32_t(kErrGeneral));
    EXPECT_EQ(st, nullptr);
    EXPECT_EQ(Table(), kStart);
}

TEST_F(RowChanges, NamesWithQuotesAreDoubled) {
    Cursor("SELECT c, d FROM pp", SQL_CONCUR_LOCK);
    // Without select-list descriptions the result column's own name is used, quoted.
    SCR_Array* sel = ctx.selectCols;
    ctx.selectCols = nullptr;
    std::strcpy(cols[0].name, "we\"ird");
    std::free(cols[0].column);
    cols[0].column = nullptr;
    std::string name;
    EXPECT_EQ(scs_p_ChangeColumnName(&rc, 1, &name), 0u);
    EXPECT_EQ(name, "\"we\"\"ird\"");
    ctx.quote = 0;
    EXPECT_EQ(scs_p_ChangeColumnName(&rc, 1, &name), 0u);
    EXPECT_EQ(name, "we\"ird");
    EXPECT_EQ(scs_p_ChangeColumnName(&rc, 3, &name), uint32_t(kErrBadColumnNumber));
    ctx.selectCols = sel;
}

TEST_F(RowChanges, ValuesConcurrencyComparesNullsWithIsNull) {
    Cursor("SELECT c FROM pp", SQL_CONCUR_VALUES);
    uint16_t* st = nullptr;
    // Row 2 has c NULL, row 4 d NULL: both match through IS NULL; the rows between compare " = ?" again.
    EXPECT_EQ(scs_p_UpdateRows(&rc, 0xFFFFFFFEu, &st, nullptr, Values({{"n1"}, {"n2"}, {"n3"}, {"n4"}}, {DS_CHAR_REF}),
                               Columns({1})),
              0u)
        << Errors(rc.changeStmt);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(st, st + 4), (std::vector<uint16_t>{2, 2, 2, 2}));
    std::free(st);
    EXPECT_EQ(Table(), (std::vector<std::string>{"1 p n1 10", "2 q n2 20", "3 r n3 30", "4 s n4 -"}));
    const uint16_t nulls[4] = {0, 0, 1, 0};
    EXPECT_EQ(scs_p_ValuesCondition(&rc, "B", nulls), "B AND \"a\" = ? AND \"b\" = ? AND \"c\" IS NULL AND \"d\" = ?");
}

TEST_F(RowChanges, ValuesConcurrencyRefusesARowChangedByAnother) {
    Cursor("SELECT c FROM pp", SQL_CONCUR_VALUES);
    Exec("UPDATE pp SET d = 31 WHERE a = 3");
    uint16_t* st = nullptr;
    EXPECT_EQ(scs_p_UpdateRows(&rc, 3, &st, nullptr, Values({{"mine"}}, {DS_CHAR_REF}), Columns({1})),
              uint32_t(kErrNoRowsChanged));
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st[0], SQL_ROW_ERROR);
    std::free(st);
    EXPECT_EQ(Table()[2], "3 r x 31");
    // Deleting it fails alike; the row next to it goes. A static cursor keeps the values by
    // key-set row.
    st = nullptr;
    rc.cursorType = SQL_CURSOR_STATIC;
    rc.rowsetOrigin = 3;
    rc.rowsetSize = 2;
    EXPECT_EQ(scs_p_DeleteRows(&rc, 0xFFFFFFFEu, &st, nullptr, nullptr), uint32_t(kErrManyRowsChanged));
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(st, st + 2), (std::vector<uint16_t>{5, 1}));
    std::free(st);
    EXPECT_EQ(Table(), (std::vector<std::string>{"1 p x 10", "2 q - 20", "3 r x 31"}));
}

TEST_F(RowChanges, ReadOnlyRefusesDeleteAndUpdateButAdds) {
    Cursor("SELECT a, b, c FROM pp", SQL_CONCUR_READ_ONLY);
    uint16_t* st = nullptr;
    EXPECT_EQ(scs_p_DeleteRows(&rc, 1, &st, nullptr, nullptr), uint32_t(kErrBadArg));
    EXPECT_EQ(scs_p_UpdateRows(&rc, 1, &st, nullptr, Values({{"q"}}, {DS_CHAR_REF}), Columns({3})),
              uint32_t(kErrBadArg));
    EXPECT_EQ(st, nullptr);
    EXPECT_EQ(Table(), kStart);
    EXPECT_EQ(scs_p_AddRows(&rc, 1, &st, nullptr, Values({{"7", "t", "new"}}, {DS_INTEGER, DS_CHAR_REF, DS_CHAR_REF}),
                            Columns({1, 2, 3})),
              0u)
        << Errors(rc.changeStmt);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st[0], SQL_ROW_ADDED);
    std::free(st);
    EXPECT_EQ(Table().back(), "7 t new -");
}

TEST_F(RowChanges, AddingAllRowsReportsTheRowThatFailed) {
    Cursor("SELECT a, b FROM pp", SQL_CONCUR_LOCK);
    rc.rowsetSize = 2;
    uint16_t* st = nullptr;
    // The second row's key exists already.
    EXPECT_EQ(scs_p_AddRows(&rc, 0xFFFFFFFEu, &st, nullptr, Values({{"8", "u"}, {"1", "p"}}, {DS_INTEGER, DS_CHAR_REF}),
                            Columns({1, 2})),
              uint32_t(kErrRowError));
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(st, st + 2), (std::vector<uint16_t>{4, 5}));
    std::free(st);
    EXPECT_EQ(Table().size(), 5u);
}

TEST_F(RowChanges, LocksReadKeysFromTheWindow) {
    Cursor("SELECT c FROM pp", SQL_CONCUR_LOCK);
    // A key set whose Dataset holds key-set rows 2 and 3 only.
    Block window;
    Fetch("SELECT a, b FROM pp WHERE a > 2 ORDER BY a, b", &window);
    rc.keyValues = &window.ds;
    rc.keyOrigin = 2;
    EXPECT_EQ(scs_p_LockRows(&rc, 2, 2), 0u) << Errors(rc.changeStmt);
    // Rows outside the window have no keys here: refused, never read from beyond the Dataset.
    EXPECT_EQ(scs_p_LockRows(&rc, 0, 2), uint32_t(kErrGeneral));
    status[2] = SQL_ROW_DELETED;
    status[3] = SQL_ROW_DELETED;
    EXPECT_EQ(scs_p_LockRows(&rc, 2, 2), 0u);
    status[2] = SQL_ROW_SUCCESS;
    Exec("DELETE FROM pp WHERE a = 3");
    EXPECT_EQ(scs_p_LockRows(&rc, 2, 2), uint32_t(kErrRowError));
}

// Lock concurrency locks the live rows of a range (statuses 0 and 2) by a no-op UPDATE of their
// keys, whose descriptions name the keys twice; a row gone since fails the lock, and a range
// without live rows runs nothing.
TEST_F(RowChanges, LocksTouchTheLiveRowsOnly) {
    Cursor("SELECT c FROM pp", SQL_CONCUR_LOCK);
    const uint16_t mixed[4] = {SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_UPDATED, SQL_ROW_NOROW};
    std::memcpy(status, mixed, sizeof mixed);
    ctx.paramDescsOn = 1;
    EXPECT_EQ(scs_p_LockRows(&rc, 0, 9), 0u) << Errors(rc.changeStmt);
    EXPECT_EQ(ctx.paramDescCount, 4);
    ctx.paramDescsOn = 0;
    for (uint16_t& st : status) st = SQL_ROW_SUCCESS;
    Exec("DELETE FROM pp WHERE a = 3");
    EXPECT_EQ(scs_p_LockRows(&rc, 1, 3), uint32_t(kErrRowError));
    EXPECT_TRUE(Logged("scs_p_LockRows: Couldn't acquire row lock(s)."));
    // Nothing to lock: an unknown change statement would fail any call, and none is made.
    for (uint16_t& st : status) st = SQL_ROW_DELETED;
    rc.changeStmt = 0x7FFF;
    EXPECT_EQ(scs_p_LockRows(&rc, 0, 4), 0u);
    EXPECT_EQ(scs_p_LockRows(&rc, 7, 4), 0u);
    rc.keyValues = nullptr;
    EXPECT_EQ(scs_p_LockRows(&rc, 0, 4), uint32_t(kErrGeneral));
}

TEST_F(RowChanges, BookmarksOrderStablyAscending) {
    const uint32_t bm[5] = {7, 3, 5, 3, 1};
    uint32_t* order = nullptr;
    ASSERT_EQ(sc3_BookmarkOrder(bm, 5, &order), 0u);
    EXPECT_EQ(std::vector<uint32_t>(order, order + 5), (std::vector<uint32_t>{4, 1, 3, 2, 0}));
    std::free(order);
}

TEST_F(RowChanges, FetchByBookmarksOutOfOrderWithAMissingRow) {
    Cursor("SELECT a, c FROM pp", SQL_CONCUR_LOCK);
    Exec("DELETE FROM pp WHERE a = 1");
    // Read for update, the rows come one fetch at a time: all of them are read still.
    for (int forUpdate : {0, 1}) {
        SCOPED_TRACE(forUpdate);
        rc.forUpdate = forUpdate;
        uint32_t bm[3] = {4, 1, 3};
        uint16_t* st = nullptr;
        uint16_t processed = 0;
        Rowset* rs = nullptr;
        ASSERT_EQ(sc3_BulkByBookmark(&rc, SQL_FETCH_BY_BOOKMARK, bm, 3, nullptr, nullptr, &st, &processed, &rs), 0u)
            << Errors(rc.fetchStmt);
        ASSERT_NE(rs, nullptr);
        ASSERT_NE(st, nullptr);
        EXPECT_EQ(processed, 2u);
        EXPECT_EQ(std::vector<uint16_t>(st, st + 3), (std::vector<uint16_t>{0, 1, 0}));
        EXPECT_EQ(std::vector<uint16_t>(rs->statuses, rs->statuses + 3), (std::vector<uint16_t>{0, 1, 0}));
        ASSERT_EQ(rs->data->rows_used, 3u);
        Block view;
        view.ds = *rs->data;
        EXPECT_EQ(Cell(view, 0, 0), "4");
        EXPECT_EQ(Cell(view, 0, 1), "-");
        EXPECT_EQ(Cell(view, 0, 2), "3");
        view.ds = Dataset{};
        std::free(st);
        RowsetFree(&rs);
    }
}

TEST_F(RowChanges, DeleteAndUpdateByBookmark) {
    Cursor("SELECT c, d FROM pp", SQL_CONCUR_LOCK);
    uint32_t bm[2] = {3, 1};
    uint16_t* st = nullptr;
    uint16_t processed = 0;
    ASSERT_EQ(sc3_BulkByBookmark(&rc, SQL_UPDATE_BY_BOOKMARK, bm, 2,
                                 Values({{"three", "33"}, {"one", "11"}}, {DS_CHAR_REF, DS_INTEGER}), Columns({1, 2}),
                                 &st, &processed, nullptr),
              0u)
        << Errors(rc.changeStmt);
    EXPECT_EQ(std::vector<uint16_t>(st, st + 2), (std::vector<uint16_t>{2, 2}));
    EXPECT_EQ(processed, 2u);
    std::free(st);
    EXPECT_EQ(Table(), (std::vector<std::string>{"1 p one 11", "2 q - 20", "3 r three 33", "4 s y -"}));
    // A bookmark whose row went since gives that row an error and the others go.
    Exec("DELETE FROM pp WHERE a = 2");
    uint32_t del[3] = {4, 2, 1};
    st = nullptr;
    EXPECT_EQ(sc3_BulkByBookmark(&rc, SQL_DELETE_BY_BOOKMARK, del, 3, nullptr, nullptr, &st, &processed, nullptr),
              uint32_t(kErrManyRowsChanged));
    EXPECT_EQ(std::vector<uint16_t>(st, st + 3), (std::vector<uint16_t>{1, 5, 1}));
    std::free(st);
    EXPECT_EQ(Table(), (std::vector<std::string>{"3 r three 33"}));
    // A bookmark beyond the key set is refused before anything runs; the statuses say error.
    uint32_t far[1] = {9};
    st = nullptr;
    EXPECT_EQ(sc3_BulkByBookmark(&rc, SQL_DELETE_BY_BOOKMARK, far, 1, nullptr, nullptr, &st, &processed, nullptr),
              uint32_t(kErrGeneral));
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st[0], SQL_ROW_ERROR);
    std::free(st);
}

// The installed slots: the cursor layer finds the statement's row-change context through the
// source it was given, and without one refuses what would need a key set.
SCS_RowChange* g_context = nullptr;
uint32_t Source(SCS_Cursor*, SCS_RowChange* out) {
    if (g_context == nullptr) return kErrNotCapable;
    *out = *g_context;
    return 0;
}

class RowChangeSlots : public RowChanges {
protected:
    uint32_t cursor = 0;
    SCS_RowChangeSource installed = nullptr;
    void SetUp() override {
        RowChanges::SetUp();
        installed = scs_p_RowChangeSourceGet();
        SCS_SetRowChangeSource(Source);
        cursor = Stmt();
        uint32_t type = SQL_CURSOR_STATIC;
        ASSERT_EQ(AgentCall<DRV_SetOption>(&link, cursor, uint32_t(kPropCursorType), static_cast<void*>(&type)), 0u);
    }
    void TearDown() override {
        SCS_SetRowChangeSource(installed);
        g_context = nullptr;
        RowChanges::TearDown();
    }
    int32_t RowCount() {
        int32_t n = -9;
        uint16_t len = 0;
        EXPECT_EQ(
            AgentCall<DRV_GetInfo>(&link, cursor, uint32_t(kPropRowCount), static_cast<void*>(&n), uint16_t(4), &len),
            0u);
        return n;
    }
};

TEST_F(RowChangeSlots, SetPosSlotRunsTheChangeAndCountsIt) {
    Cursor("SELECT c, d FROM pp", SQL_CONCUR_LOCK);
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, cursor, "SELECT c, d FROM pp"), 0u) << Errors(cursor);
    g_context = &rc;
    uint16_t* st = nullptr;
    uint32_t processed = 0;
    EXPECT_EQ(AgentCall<DRV_SetPos>(&link, cursor, uint32_t(4), uint16_t(SQL_DELETE), uint16_t(0), &st, &processed,
                                    static_cast<Dataset*>(nullptr), static_cast<uint16_t*>(nullptr), uint16_t(0)),
              0u)
        << Errors(cursor);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st[0], SQL_ROW_DELETED);
    std::free(st);
    EXPECT_EQ(RowCount(), 1);
    EXPECT_EQ(Table().size(), 3u);
    // Positioning changes nothing and asks nothing of the source.
    g_context = nullptr;
    st = nullptr;
    EXPECT_EQ(AgentCall<DRV_SetPos>(&link, cursor, uint32_t(1), uint16_t(SQL_POSITION), uint16_t(0), &st, &processed,
                                    static_cast<Dataset*>(nullptr), static_cast<uint16_t*>(nullptr), uint16_t(0)),
              0u);
    EXPECT_EQ(st, nullptr);
}

TEST_F(RowChangeSlots, WithoutAKeySetNothingChanges) {
    Cursor("SELECT c, d FROM pp", SQL_CONCUR_LOCK);
    // Not prepared yet: no cursor.
    uint16_t* st = nullptr;
    uint32_t processed = 0;
    EXPECT_EQ(AgentCall<DRV_SetPos>(&link, cursor, uint32_t(1), uint16_t(SQL_DELETE), uint16_t(0), &st, &processed,
                                    static_cast<Dataset*>(nullptr), static_cast<uint16_t*>(nullptr), uint16_t(0)),
              uint32_t(kErrCursorState));
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, cursor, "SELECT c, d FROM pp"), 0u);
    EXPECT_EQ(AgentCall<DRV_SetPos>(&link, cursor, uint32_t(1), uint16_t(SQL_DELETE), uint16_t(0), &st, &processed,
                                    static_cast<Dataset*>(nullptr), static_cast<uint16_t*>(nullptr), uint16_t(0)),
              uint32_t(kErrBadArg));  // read-only, and nothing names the rows
    EXPECT_EQ(AgentCall<DRV_SetPos>(&link, cursor, uint32_t(1), uint16_t(SQL_REFRESH), uint16_t(0), &st, &processed,
                                    static_cast<Dataset*>(nullptr), static_cast<uint16_t*>(nullptr), uint16_t(0)),
              uint32_t(kErrNotCapable));
    // By bookmark: read-only, nothing is changed (21); under lock concurrency without a key set
    // nothing names the rows (15). The statuses say error either way.
    uint32_t bm[2] = {1, 2};
    for (uint32_t conc : {uint32_t(SQL_CONCUR_READ_ONLY), uint32_t(SQL_CONCUR_LOCK)}) {
        (*SCS_StmtBlock(cursor)).concurrency = conc;
        uint16_t* bst = nullptr;
        uint16_t done = 0;
        EXPECT_EQ(AgentCall<DRV_BulkOperations>(&link, cursor, uint16_t(SQL_DELETE_BY_BOOKMARK), bm, uint16_t(2),
                                                static_cast<Dataset*>(nullptr), static_cast<uint16_t*>(nullptr),
                                                uint16_t(0), &bst, &done, static_cast<Rowset**>(nullptr)),
                  conc == SQL_CONCUR_READ_ONLY ? uint32_t(kErrBadArg) : uint32_t(kErrGeneral));
        ASSERT_NE(bst, nullptr);
        EXPECT_EQ(std::vector<uint16_t>(bst, bst + 2), (std::vector<uint16_t>{5, 5}));
        std::free(bst);
    }
    EXPECT_EQ(Table(), kStart);
}

TEST_F(RowChangeSlots, BulkSlotDeletesByBookmark) {
    Cursor("SELECT c, d FROM pp", SQL_CONCUR_LOCK);
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, cursor, "SELECT c, d FROM pp"), 0u);
    g_context = &rc;
    uint32_t bm[2] = {4, 2};
    uint16_t* st = nullptr;
    uint16_t done = 0;
    EXPECT_EQ(AgentCall<DRV_BulkOperations>(&link, cursor, uint16_t(SQL_DELETE_BY_BOOKMARK), bm, uint16_t(2),
                                            static_cast<Dataset*>(nullptr), static_cast<uint16_t*>(nullptr),
                                            uint16_t(0), &st, &done, static_cast<Rowset**>(nullptr)),
              0u)
        << Errors(cursor);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(std::vector<uint16_t>(st, st + 2), (std::vector<uint16_t>{1, 1}));
    std::free(st);
    EXPECT_EQ(done, 2u);
    EXPECT_EQ(Table(), (std::vector<std::string>{"1 p x 10", "3 r x 30"}));
    EXPECT_EQ(AgentCall<DRV_BulkOperations>(&link, cursor, uint16_t(SQL_ADD), bm, uint16_t(2),
                                            static_cast<Dataset*>(nullptr), static_cast<uint16_t*>(nullptr),
                                            uint16_t(0), &st, &done, static_cast<Rowset**>(nullptr)),
              uint32_t(kErrGeneral));
}

}  // namespace
