// Dynamic cursors at the agent's level: the slot fetch seeks each rowset from the one it holds
// (over the statement's own parameters too), reads the keys again when a row goes between the
// key read and the row read (up to three times, IM920 after that), stands before the start or
// after the end when a move leaves the result, refuses ABSOLUTE, and releases its state at close.
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scrs/sc_cursor.h"
#include "scrs/sc_dynamic.h"
#include "scrs/sc_keyset.h"
#include "tests/support/agent_stmt_fixture.h"
#include "util/errtable.h"
#include "util/rowset.h"

using namespace stmttest;

namespace {

// The table below the cursor layer with an execute that, before each fetch by keys, deletes the
// row of the next id: another user's deletion between the key read and the row read.
struct Saboteur {
    static AgentFuncTable* real;
    static AgentFuncTable patched;
    static int left;
    static int nextId;
    static uint32_t scratch;
    static ErrCode Execute(uint32_t stmt) {
        IngStmt* s = IngStmtFind(stmt);
        const char* text = s && s->text.source ? s->text.source : "";
        // The fetch by keys compares the keys for equality; the seeks compare by order.
        const bool byKeys = std::strstr(text, " = ?") && !std::strstr(text, ">") && !std::strstr(text, "<");
        if (left > 0 && stmt != scratch && byKeys) {
            --left;
            std::string del = "DELETE FROM dt WHERE id = " + std::to_string(nextId++);
            EXPECT_EQ(0u, real->DRV_Prepare(scratch, del.c_str()));
            EXPECT_EQ(0u, real->DRV_Execute(scratch));
        }
        return real->DRV_Execute(stmt);
    }
};
AgentFuncTable* Saboteur::real = nullptr;
AgentFuncTable Saboteur::patched{};
int Saboteur::left = 0;
int Saboteur::nextId = 1;
uint32_t Saboteur::scratch = 0;

class DynamicSlot : public AgentSession {
protected:
    Rowset* rs = nullptr;
    AgentLink* lower = nullptr;
    void SetUp() override {
        Open(false, true);
        lower = const_cast<AgentLink*>(SCS_LowerLink());
    }
    void TearDown() override {
        if (Saboteur::real != nullptr) lower->table = Saboteur::real;
        Saboteur::real = nullptr;
        RowsetFree(&rs);
        AgentSession::TearDown();
    }
    void Table(uint32_t rows) {
        Exec("CREATE TABLE dt (id INTEGER NOT NULL PRIMARY KEY, b VARCHAR(20))");
        for (uint32_t r = 1; r <= rows; ++r)
            Exec(("INSERT INTO dt VALUES (" + std::to_string(r) + ", 'row" + std::to_string(r) + "')").c_str());
    }
    uint32_t Dynamic(uint32_t rowsetSize, const char* sql) {
        uint32_t s = Stmt();
        SCS_Cursor& c = (*SCS_StmtBlock(s));
        c.cursorType = SQL_CURSOR_DYNAMIC;
        c.rowsetSize = rowsetSize;
        EXPECT_EQ(0u, Run(s, sql)) << Errors(s);
        return s;
    }
    ErrCode Fetch(uint32_t s, uint16_t orientation, int32_t offset = 0) {
        uint32_t rows = 0, total = 0;
        return AgentCall<DRV_ExtendedFetch>(&link, s, &rs, offset, &rows, &total, orientation);
    }
    std::vector<int32_t> Ids() const {
        std::vector<int32_t> out;
        for (uint32_t i = 0; rs && rs->data->col_count && i < rs->data->rows_used; ++i)
            out.push_back(*reinterpret_cast<const int32_t*>(DatasetCell(&rs->data->cols[0], i)));
        return out;
    }
    void Sabotage(int deletions) {
        Saboteur::scratch = Stmt();
        Saboteur::left = deletions;
        Saboteur::nextId = 1;
        Saboteur::real = lower->table;
        Saboteur::patched = *lower->table;
        Saboteur::patched.DRV_Execute = Saboteur::Execute;
        lower->table = &Saboteur::patched;
    }
};

// Rows that go between the key read and the row read send the fetch back to the keys: two such
// losses are survived (the rows that remain are shown), a third in a row is IM920.
TEST_F(DynamicSlot, RowsLostBetweenKeysAndRowsAreTriedThreeTimes) {
    struct Case {
        int deletions;
        uint32_t rc;
        std::vector<int32_t> ids;
    } cases[] = {{0, 0, {1, 2}}, {1, 0, {2, 3}}, {2, 0, {3, 4}}, {3, kErrKeysetUpdates, {}}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.deletions);
        (void)Run(Stmt(), "DROP TABLE dt");
        Table(8);
        const uint32_t s = Dynamic(2, "SELECT id, b FROM dt ORDER BY id");
        Sabotage(k.deletions);
        EXPECT_EQ(k.rc, Fetch(s, SQL_FETCH_FIRST)) << Errors(s);
        lower->table = Saboteur::real;
        Saboteur::real = nullptr;
        EXPECT_EQ(k.ids, k.rc == 0 ? Ids() : std::vector<int32_t>{});
        RowsetFree(&rs);
    }
}

// Moves that leave the result: PRIOR from the first rowset stands before the start, a NEXT from
// there is the first rowset; RELATIVE past the end stands after it, PRIOR from there is the last
// rowset; the statement's own parameter rides along in every seek; ABSOLUTE is refused.
TEST_F(DynamicSlot, StandsBeforeTheStartAndAfterTheEnd) {
    Table(7);
    const uint32_t s = Stmt();
    SCS_Cursor& c = (*SCS_StmtBlock(s));
    c.cursorType = SQL_CURSOR_DYNAMIC;
    c.rowsetSize = 3;
    ASSERT_EQ(0u, AgentCall<DRV_Prepare>(&link, s, "SELECT id FROM dt WHERE id > ? ORDER BY id DESC")) << Errors(s);
    ParamSet ps({{DS_INTEGER, 4}}, 1);
    ps.Put<int32_t>(0, 0, 1);
    ASSERT_EQ(0u, AgentCall<DRV_SetParams>(&link, s, ps.Give())) << Errors(s);
    ASSERT_EQ(0u, AgentCall<DRV_Execute>(&link, s)) << Errors(s);
    ASSERT_EQ(0u, Fetch(s, SQL_FETCH_NEXT)) << Errors(s);
    EXPECT_EQ((std::vector<int32_t>{7, 6, 5}), Ids());
    EXPECT_EQ(uint32_t(kErrBeforeStart), Fetch(s, SQL_FETCH_PRIOR));
    ASSERT_EQ(0u, Fetch(s, SQL_FETCH_NEXT)) << Errors(s);
    EXPECT_EQ((std::vector<int32_t>{7, 6, 5}), Ids());
    ASSERT_EQ(0u, Fetch(s, SQL_FETCH_RELATIVE, 5)) << Errors(s);
    EXPECT_EQ((std::vector<int32_t>{2}), Ids());  // the parameter keeps row 1 out
    EXPECT_EQ(uint32_t(kErrBeyondEnd), Fetch(s, SQL_FETCH_RELATIVE, 1));
    ASSERT_EQ(0u, Fetch(s, SQL_FETCH_PRIOR)) << Errors(s);
    EXPECT_EQ((std::vector<int32_t>{4, 3, 2}), Ids());
    EXPECT_EQ(uint32_t(kErrFetchTypeRange), Fetch(s, SQL_FETCH_ABSOLUTE, 1));
    EXPECT_EQ(uint32_t(kErrNotCapable), Fetch(s, 0));
    // A closed cursor holds no keys; freed, no state at all.
    ASSERT_EQ(0u, AgentCall<DRV_CloseCursor>(&link, s));
    ASSERT_NE(nullptr, c.dynState);
    EXPECT_EQ(kDynBefore, c.dynState->where);
    EXPECT_EQ(0u, c.dynState->keys->col_count);
}

TEST(DynamicKeyColumns, KeepsTheLeadingKeyColumnsOfEveryRow) {
    Dataset* src = static_cast<Dataset*>(std::calloc(1, sizeof(Dataset)));
    ASSERT_EQ(0, DatasetInit(src, 3));
    for (uint16_t c = 0; c < 3; ++c) src->cols[c] = {DS_INTEGER, 4, nullptr, nullptr};
    src->col_count = 3;
    ASSERT_EQ(0, DatasetAllocRows(src, 2));
    src->rows_used = 2;
    for (uint32_t r = 0; r < 2; ++r)
        for (uint16_t c = 0; c < 3; ++c) {
            int32_t v = int32_t(10 * r + c);
            std::memcpy(DatasetCell(&src->cols[c], r), &v, 4);
            src->cols[c].indicators[r] = c == 1 && r == 1 ? DS_IND_NULL : DS_IND_VALUE;
        }
    Dataset* keys = nullptr;
    ASSERT_EQ(0u, SCS_DynamicKeyColumns(src, 2, &keys));
    ASSERT_EQ(2u, keys->col_count);
    ASSERT_EQ(2u, keys->rows_used);
    int32_t v = 0;
    std::memcpy(&v, DatasetCell(&keys->cols[0], 1), 4);
    EXPECT_EQ(10, v);
    EXPECT_EQ(DS_IND_NULL, keys->cols[1].indicators[1]);
    Dataset* none = nullptr;
    EXPECT_EQ(uint32_t(kErrGeneral), SCS_DynamicKeyColumns(src, 4, &none));
    EXPECT_EQ(nullptr, none);
    DatasetDelete(keys);
    DatasetDelete(src);
}

}  // namespace
