// Keyset-driven cursors at the agent's level: the set-up at prepare (keys chosen once per table
// list, downgrades), the key set read at execute, and the slot fetch by start row with rows
// another statement deleted marked at their keys.
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ingii/i-ask.h"
#include "scrs/ks.h"
#include "scrs/sc_bykeys.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_keyset.h"
#include "tests/support/agent_stmt_fixture.h"
#include "util/errtable.h"
#include "util/rowset.h"

using namespace stmttest;

namespace {

class KeysetSlot : public AgentSession {
protected:
    Rowset* rs = nullptr;
    void SetUp() override { Open(false, true); }
    void TearDown() override {
        RowsetFree(&rs);
        AgentSession::TearDown();
    }
    void Table(const char* name, uint32_t rows) {
        Exec((std::string("CREATE TABLE ") + name + " (id INTEGER NOT NULL PRIMARY KEY, b VARCHAR(20))").c_str());
        for (uint32_t r = 1; r <= rows; ++r)
            Exec((std::string("INSERT INTO ") + name + " VALUES (" + std::to_string(r) + ", 'row" + std::to_string(r) +
                  "')")
                     .c_str());
    }
    uint32_t Keyset(uint32_t rowsetSize, const char* sql, uint32_t* rc = nullptr) {
        uint32_t s = Stmt();
        SCS_Cursor& c = (*SCS_StmtBlock(s));
        c.cursorType = 1;
        c.rowsetSize = rowsetSize;
        uint32_t r = Run(s, sql);
        if (rc != nullptr)
            *rc = r;
        else
            EXPECT_EQ(0u, r) << Errors(s);
        return s;
    }
    ErrCode Fetch(uint32_t s, int32_t start, uint32_t* rows, uint32_t* total) {
        return AgentCall<DRV_ExtendedFetch>(&link, s, &rs, start, rows, total, uint16_t(SQL_FETCH_ABSOLUTE));
    }
    int32_t Id(uint32_t row) const { return *reinterpret_cast<const int32_t*>(DatasetCell(&rs->data->cols[0], row)); }
};

// The layer's own statements are made once; one that cannot be made answers the allocation's
// own code (memory, the limit on handles), not a general error.
TEST_F(KeysetSlot, TheLayersOwnStatementsKeepTheAllocationsCode) {
    uint32_t none = 0;
    const uint32_t refused = AgentCall<DRV_AllocStmt>(SCS_LowerLink(), 0x0DBCBBFFu, &none);
    ASSERT_NE(0u, refused);
    ASSERT_NE(uint32_t(kErrGeneral), refused);
    uint32_t aux = 0;
    EXPECT_EQ(refused, scs_bykeys::EnsureAux(0x0DBCBBFFu, &aux));
    EXPECT_EQ(0u, aux);
    const uint32_t conn = IngAskStmtConn(Stmt());
    ASSERT_EQ(0u, scs_bykeys::EnsureAux(conn, &aux));
    ASSERT_NE(0u, aux);
    const uint32_t made = aux;
    EXPECT_EQ(0u, scs_bykeys::EnsureAux(conn, &aux));
    EXPECT_EQ(made, aux);
    EXPECT_EQ(0u, AgentCall<DRV_FreeStmt>(SCS_LowerLink(), aux));
}

// The catalog is asked for a table list's keys once per connection: a second statement over
// the same tables makes no catalog call, another table list makes its own.
TEST_F(KeysetSlot, KeysAreChosenOncePerTableList) {
    Table("ka", 3);
    Table("kb", 3);
    const uint32_t before = KS_KeyCatalogCalls();
    const uint32_t s1 = Keyset(2, "SELECT id, b FROM ka ORDER BY id");
    const uint32_t first = KS_KeyCatalogCalls() - before;
    EXPECT_GT(first, 0u);
    EXPECT_EQ(1, (*SCS_StmtBlock(s1)).cursorType);
    EXPECT_TRUE(SCS_KeysetReady(SCS_StmtBlock(s1)));
    const uint32_t mid = KS_KeyCatalogCalls();
    const uint32_t s2 = Keyset(3, "SELECT b FROM ka WHERE id > 1 ORDER BY b DESC");
    EXPECT_EQ(mid, KS_KeyCatalogCalls());
    EXPECT_EQ(1, (*SCS_StmtBlock(s2)).cursorType);
    (void)Keyset(2, "SELECT ka.id FROM ka, kb WHERE ka.id = kb.id");
    EXPECT_GT(KS_KeyCatalogCalls(), mid);
    const uint32_t joined = KS_KeyCatalogCalls();
    (void)Keyset(2, "SELECT kb.id FROM ka, kb WHERE ka.id = kb.id");
    EXPECT_EQ(joined, KS_KeyCatalogCalls());
}

TEST_F(KeysetSlot, StartsCountFromEitherEndAndDeletedRowsKeepTheirPlace) {
    Table("kc", 10);
    const uint32_t s = Keyset(4, "SELECT id, b FROM kc ORDER BY id DESC");
    EXPECT_EQ(10, (*SCS_StmtBlock(s)).window.resultRows());
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, Fetch(s, 0, &rows, &total)) << Errors(s);  // the last rowset
    EXPECT_EQ(10u, total);
    EXPECT_EQ(4u, rows);
    EXPECT_EQ(4, Id(0));
    EXPECT_EQ(1, Id(3));
    ASSERT_EQ(0u, Fetch(s, -2, &rows, &total));
    EXPECT_EQ(2u, rows);
    EXPECT_EQ(2, Id(0));
    EXPECT_EQ(uint32_t(kErrBeyondEnd), Fetch(s, 11, &rows, &total));
    EXPECT_EQ(uint32_t(kErrBeforeStart), Fetch(s, -15, &rows, &total));
    Exec("DELETE FROM kc WHERE id = 8 OR id = 6");
    Exec("UPDATE kc SET b = 'new' WHERE id = 7");
    ASSERT_EQ(0u, Fetch(s, 2, &rows, &total)) << Errors(s);
    ASSERT_EQ(4u, rows);
    const uint16_t want[4] = {SQL_ROW_SUCCESS, SQL_ROW_DELETED, SQL_ROW_SUCCESS, SQL_ROW_DELETED};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(want[i], RowsetStatusGet(rs, i + 1)) << i;
    EXPECT_EQ(9, Id(0));
    EXPECT_EQ(7, Id(2));
    EXPECT_STREQ("new", reinterpret_cast<const char*>(DatasetCell(&rs->data->cols[1], 2)));
    // The deleted key stays deleted from another rowset.
    ASSERT_EQ(0u, Fetch(s, 3, &rows, &total));
    EXPECT_EQ(SQL_ROW_DELETED, RowsetStatusGet(rs, 1));
    EXPECT_EQ(SQL_ROW_SUCCESS, RowsetStatusGet(rs, 2));
}

// What a keyset cannot carry is prepared static and read-only (the ODBC side reads the type
// back and tells 01S02); an unparsable SELECT the back end describes too.
TEST_F(KeysetSlot, DowngradesAtPrepare) {
    Table("kd", 4);
    const char* sqls[] = {"SELECT b, COUNT(*) FROM kd GROUP BY b", "SELECT id FROM kd UNION SELECT id FROM kd",
                          "SELECT kd.id FROM kd LEFT JOIN kd k2 ON k2.id = kd.id",
                          "SELECT id FROM kd ORDER BY id LIMIT 2"};
    for (const char* sql : sqls) {
        uint32_t rc = 0;
        const uint32_t s = Keyset(2, sql, &rc);
        EXPECT_EQ(0u, rc) << sql << ": " << Errors(s);
        const SCS_Cursor& c = (*SCS_StmtBlock(s));
        EXPECT_EQ(3u, c.cursorType) << sql;
        EXPECT_EQ(1u, c.savedType) << sql;
        EXPECT_FALSE(SCS_KeysetReady(SCS_StmtBlock(s))) << sql;
        uint32_t rows = 0, total = 0;
        EXPECT_EQ(0u, Fetch(s, 1, &rows, &total)) << sql;
    }
    // No table at all: refused, not downgraded.
    uint32_t rc = 0;
    (void)Keyset(1, "SELECT 1", &rc);
    EXPECT_EQ(uint32_t(kErrPrepareCursorType), rc);
}

TEST_F(KeysetSlot, FetchNeedsTheSetUp) {
    Table("ke", 2);
    const uint32_t s = Keyset(1, "SELECT id FROM ke");
    ASSERT_EQ(0u, AgentCall<DRV_CloseCursor>(&link, s));
    uint32_t rows = 0, total = 0;
    EXPECT_EQ(uint32_t(kErrCursorState), Fetch(s, 1, &rows, &total));
    // Executed again after the close, it is prepared again and reads its keys again.
    Exec("INSERT INTO ke VALUES (3, 'x')");
    ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
    ASSERT_EQ(0u, Fetch(s, -1, &rows, &total)) << Errors(s);
    EXPECT_EQ(3u, total);
    EXPECT_EQ(3, Id(0));
}

// Rows are read by blocks of keys, as many blocks as the markers one statement may carry ask for:
// each row is placed at its key whatever order the keys are in, a key no row answers is a deleted
// row of NULLs, and the statement's own values follow the keys of every block.
TEST_F(KeysetSlot, RowsAreReadByBlocksOfKeys) {
    Table("kblk", 250);
    uint32_t s = Stmt();
    SCS_Cursor& c = (*SCS_StmtBlock(s));
    c.cursorType = 1;
    c.rowsetSize = 10;
    ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "SELECT id, b FROM kblk WHERE id <> ? ORDER BY id")) << Errors(s);
    ParamSet own({{DS_INTEGER, 4}}, 1);
    own.Put<int32_t>(0, 0, 200);
    ASSERT_EQ(0u, AgentCall<DRV_SetParams>(&link, s, own.Give())) << Errors(s);
    ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
    // Keys of every row (the table's row ids), the last row's first.
    const uint32_t k = Stmt();
    ASSERT_EQ(0u, Run(k, "SELECT tid FROM kblk ORDER BY id DESC")) << Errors(k);
    Dataset keys{};
    ASSERT_EQ(0u, AgentCall<DRV_FetchRows>(&link, k, uint16_t(300), &keys)) << Errors(k);
    EXPECT_EQ(250u, keys.rows_used);
    Exec("DELETE FROM kblk WHERE id = 7");
    ASSERT_EQ(0u, RowsetCreate(&rs, 250));
    ASSERT_EQ(0u, SCS_KsFetchByKeys(SCS_StmtBlock(s), &keys, 0, 250, rs)) << Errors(s);
    ASSERT_EQ(250u, rs->data->rows_used);
    for (uint32_t i = 0; i < 250; ++i) {
        const int32_t id = int32_t(250 - i);
        if (id == 7 || id == 200) {
            // Gone, or not among the statement's rows.
            EXPECT_EQ(SQL_ROW_DELETED, rs->statuses[i]) << id;
            EXPECT_EQ(DS_IND_NULL, rs->data->cols[0].indicators[i]) << id;
        } else {
            ASSERT_EQ(SQL_ROW_SUCCESS, rs->statuses[i]) << id << " " << Errors(s);
            ASSERT_EQ(id, Id(i));
        }
    }
    // A run of keys past the keys given is refused.
    EXPECT_EQ(uint32_t(kErrGeneral), SCS_KsFetchByKeys(SCS_StmtBlock(s), &keys, 245, 10, rs));
    DatasetFree(&keys);
}

}  // namespace

// Row changes of a keyset-driven cursor through the set-position slot: each row named by its
// keys, the key set keeping what the changes wrote for the rowsets fetched after them.
class KeysetRowChanges : public KeysetSlot {
protected:
    std::vector<std::string> Rows(const char* table) {
        uint32_t s = Stmt();
        EXPECT_EQ(0u, Run(s, (std::string("SELECT id, b FROM ") + table + " ORDER BY id").c_str())) << Errors(s);
        Dataset ds{};
        EXPECT_EQ(0u, AgentCall<DRV_FetchRows>(&link, s, uint16_t(100), &ds)) << Errors(s);
        std::vector<std::string> out;
        for (uint32_t r = 0; r < ds.rows_used; ++r)
            out.push_back(std::to_string(*reinterpret_cast<const int32_t*>(DatasetCell(&ds.cols[0], r))) + " " +
                          reinterpret_cast<const char*>(DatasetCell(&ds.cols[1], r)));
        DatasetFree(&ds);
        (void)AgentCall<DRV_CloseCursor>(&link, s);
        return out;
    }
    // One row of values: an integer id (when id >= 0) and a text.
    static Dataset* Values(int32_t id, const std::string& text) {
        auto* ds = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
        const uint16_t n = id >= 0 ? 2 : 1;
        DatasetInit(ds, n);
        ds->col_count = n;
        uint16_t c = 0;
        if (id >= 0) {
            ds->cols[0].kind = DS_INTEGER;
            ds->cols[0].width = 4;
            c = 1;
        }
        ds->cols[c].kind = DS_CHAR_REF;
        ds->cols[c].width = 16;
        DatasetAllocRows(ds, 1);
        if (id >= 0) {
            std::memcpy(DatasetCell(&ds->cols[0], 0), &id, 4);
            ds->cols[0].indicators[0] = 0;
        }
        DatasetSetRef(ds, 0, c, text.data(), uint32_t(text.size()));
        ds->rows_used = 1;
        return ds;
    }
    static uint16_t* Columns(std::vector<uint16_t> list) {
        auto* p = static_cast<uint16_t*>(std::malloc(sizeof(uint16_t) * list.size()));
        std::memcpy(p, list.data(), sizeof(uint16_t) * list.size());
        return p;
    }
    ErrCode SetPos(uint32_t s, uint32_t row, uint16_t op, Dataset* values, uint16_t* columns, uint16_t* status) {
        uint16_t* st = nullptr;
        uint32_t processed = 0;
        const uint16_t count = values ? values->col_count : 0;
        const uint32_t rc =
            AgentCall<DRV_SetPos>(&link, s, row, op, uint16_t(0), &st, &processed, values, columns, count);
        *status = st ? st[0] : uint16_t(0xFFFF);
        std::free(st);
        return ErrCode(rc);
    }
    uint32_t OpenCursor(uint32_t concurrency, const char* sql) {
        uint32_t s = Stmt();
        SCS_Cursor& c = (*SCS_StmtBlock(s));
        c.cursorType = SQL_CURSOR_KEYSET_DRIVEN;
        c.concurrency = concurrency;
        c.rowsetSize = 2;
        EXPECT_EQ(0u, Run(s, sql)) << Errors(s);
        return s;
    }
};

TEST_F(KeysetRowChanges, LockConcurrencyUpdatesDeletesAndAdds) {
    Table("kf", 4);
    const uint32_t s = OpenCursor(SQL_CONCUR_LOCK, "SELECT id, b FROM kf ORDER BY id");
    ASSERT_TRUE(SCS_KeysetReady(SCS_StmtBlock(s)));
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, Fetch(s, 2, &rows, &total)) << Errors(s);  // ids 2 and 3
    uint16_t status = 0;
    const std::string changed = "changed";
    EXPECT_EQ(0u, SetPos(s, 1, SQL_UPDATE, Values(-1, changed), Columns({2}), &status)) << Errors(s);
    EXPECT_EQ(SQL_ROW_UPDATED, status);
    EXPECT_EQ(0u, SetPos(s, 2, SQL_DELETE, nullptr, nullptr, &status)) << Errors(s);
    EXPECT_EQ(SQL_ROW_DELETED, status);
    const std::string added = "added";
    EXPECT_EQ(0u, SetPos(s, 1, SQL_ADD, Values(9, added), Columns({1, 2}), &status)) << Errors(s);
    EXPECT_EQ(SQL_ROW_ADDED, status);
    const std::vector<std::string> want{"1 row1", "2 changed", "4 row4", "9 added"};
    EXPECT_EQ(want, Rows("kf"));
    // Rows outside the rowset are refused and change nothing.
    for (uint32_t bad : {0u, 3u, 7u}) {
        EXPECT_EQ(uint32_t(kErrRowRange), SetPos(s, bad, SQL_DELETE, nullptr, nullptr, &status)) << bad;
        EXPECT_EQ(uint32_t(kErrRowRange), SetPos(s, bad, SQL_UPDATE, Values(-1, changed), Columns({2}), &status))
            << bad;
    }
    EXPECT_EQ(want, Rows("kf"));
    // The rowset fetched again tells what the changes did.
    ASSERT_EQ(0u, Fetch(s, 2, &rows, &total)) << Errors(s);
    EXPECT_EQ(SQL_ROW_UPDATED, RowsetStatusGet(rs, 1));
    EXPECT_EQ(SQL_ROW_DELETED, RowsetStatusGet(rs, 2));
    EXPECT_STREQ("changed", reinterpret_cast<const char*>(DatasetCell(&rs->data->cols[1], 0)));
}

// A read-only keyset cursor changes nothing: adding a row is refused as well.
TEST_F(KeysetRowChanges, ReadOnlyChangesNothing) {
    Table("kg", 3);
    const uint32_t s = OpenCursor(SQL_CONCUR_READ_ONLY, "SELECT id, b FROM kg");
    uint32_t rows = 0, total = 0;
    ASSERT_EQ(0u, Fetch(s, 1, &rows, &total)) << Errors(s);
    uint16_t status = 0;
    const std::string added = "added";
    EXPECT_NE(0u, SetPos(s, 1, SQL_ADD, Values(9, added), Columns({1, 2}), &status));
    EXPECT_NE(0u, SetPos(s, 1, SQL_DELETE, nullptr, nullptr, &status));
    EXPECT_EQ((std::vector<std::string>{"1 row1", "2 row2", "3 row3"}), Rows("kg"));
}
