// Lock concurrency by the lower layer's answer to " FOR UPDATE": where it takes it, the rows read
// by their keys carry " FOR UPDATE" and no row-lock UPDATE runs; where it refuses it (the Ingres
// agent), the reads are plain and each live row of the rowset is locked by a no-op UPDATE of its
// keys. Keyset-driven, dynamic, mixed and static cursors alike; the fetch by bookmark follows.
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_ingii/i-info.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_keyset.h"
#include "scrs/sc_setpos.h"
#include "tests/support/agent_stmt_fixture.h"
#include "util/errtable.h"
#include "util/rowset.h"

using namespace stmttest;

namespace {

// The table below the cursor layer, answering the " FOR UPDATE" capability as scripted and
// recording every text prepared.
struct Scripted {
    static AgentFuncTable* real;
    static AgentFuncTable patched;
    static int answer;  // -1: the agent's own answer
    static std::vector<std::string> prepared;
    static ErrCode GetInfo(uint32_t h, uint32_t id, void* buf, uint16_t len, uint16_t* outLen) {
        if (id == 0x22010007u && answer >= 0 && buf != nullptr && len >= 4) {
            const uint32_t v = uint32_t(answer);
            std::memcpy(buf, &v, 4);
            if (outLen) *outLen = 4;
            return kErrNone;
        }
        return real->DRV_GetInfo(h, id, buf, len, outLen);
    }
    static ErrCode Prepare(uint32_t stmt, const char* text) {
        prepared.emplace_back(text ? text : "");
        return real->DRV_Prepare(stmt, text);
    }
};
AgentFuncTable* Scripted::real = nullptr;
AgentFuncTable Scripted::patched{};
int Scripted::answer = -1;
std::vector<std::string> Scripted::prepared;

struct Case {
    uint32_t cursorType;
    uint32_t keysetSize;
    const char* what;
};
const Case kCases[] = {
    {SQL_CURSOR_KEYSET_DRIVEN, 0, "keyset-driven"},
    {SQL_CURSOR_KEYSET_DRIVEN, 8, "mixed"},
    {SQL_CURSOR_DYNAMIC, 0, "dynamic"},
    {SQL_CURSOR_STATIC, 0, "static"},
};

class LockSwitch : public AgentSession, public ::testing::WithParamInterface<int> {
protected:
    Rowset* rs = nullptr;
    AgentLink* lower = nullptr;
    void SetUp() override {
        Open(false, false);
        lower = const_cast<AgentLink*>(SCS_LowerLink());
        Scripted::real = lower->table;
        Scripted::patched = *lower->table;
        Scripted::patched.DRV_GetInfo = Scripted::GetInfo;
        Scripted::patched.DRV_Prepare = Scripted::Prepare;
        Scripted::answer = GetParam();
        Scripted::prepared.clear();
        lower->table = &Scripted::patched;
        Exec("CREATE TABLE ls (id INTEGER NOT NULL PRIMARY KEY, b VARCHAR(20))");
        for (int r = 1; r <= 5; ++r)
            Exec(("INSERT INTO ls VALUES (" + std::to_string(r) + ", 'row" + std::to_string(r) + "')").c_str());
    }
    void TearDown() override {
        if (Scripted::real != nullptr) lower->table = Scripted::real;
        Scripted::real = nullptr;
        RowsetFree(&rs);
        AgentSession::TearDown();
    }
    // Texts prepared since the last call that contain `part`.
    int Prepared(const char* part) const {
        int n = 0;
        for (const std::string& t : Scripted::prepared) n += t.find(part) != std::string::npos;
        return n;
    }
    static std::string Texts() {
        std::string out;
        for (const std::string& t : Scripted::prepared) out += t + "\n";
        return out;
    }
    static bool IsLock(const std::string& t) {
        return t.rfind("UPDATE ", 0) == 0 && t.find(" SET ") != std::string::npos;
    }
    int Locks() const {
        int n = 0;
        for (const std::string& t : Scripted::prepared) n += IsLock(t);
        return n;
    }
    int ReadsForUpdate() const {
        int n = 0;
        for (const std::string& t : Scripted::prepared)
            n += t.rfind("SELECT", 0) == 0 && t.size() > 11 && t.compare(t.size() - 11, 11, " FOR UPDATE") == 0;
        return n;
    }
};

TEST_P(LockSwitch, LocksFollowTheLowerLayersAnswer) {
    const bool byUpdate = GetParam() != 0;
    // Locks that hold: a static cursor takes none with autocommit on (below).
    uint32_t off = 0;
    ASSERT_EQ(0u, AgentCall<DRV_SetOption>(&link, conn, kPropAutocommit, &off));
    if (GetParam() < 0) {
        // The Ingres agent itself refuses " FOR UPDATE".
        uint32_t v = 0;
        uint16_t len = 0;
        ASSERT_EQ(0u, Scripted::real->DRV_GetInfo(conn, 0x22010007u, &v, 4, &len));
        EXPECT_EQ(1u, v);
    }
    for (const Case& k : kCases) {
        SCOPED_TRACE(k.what);
        for (uint32_t conc : {uint32_t(SQL_CONCUR_LOCK), uint32_t(SQL_CONCUR_VALUES)}) {
            SCOPED_TRACE(conc);
            uint32_t s = Stmt();
            SCS_Cursor& c = (*SCS_StmtBlock(s));
            EXPECT_EQ(byUpdate ? 1u : 0u, c.lockByUpdate);
            c.cursorType = k.cursorType;
            c.keysetSize = k.keysetSize;
            c.concurrency = conc;
            c.rowsetSize = 2;
            Scripted::prepared.clear();
            ASSERT_EQ(0u, Run(s, "SELECT id, b FROM ls ORDER BY id")) << Errors(s);
            ASSERT_EQ(conc, c.concurrency);
            uint32_t rows = 0, total = 0;
            const bool byStart = k.cursorType == SQL_CURSOR_STATIC || k.keysetSize == 0;
            const uint16_t orientation =
                k.cursorType != SQL_CURSOR_DYNAMIC && byStart ? uint16_t(SQL_FETCH_ABSOLUTE) : uint16_t(SQL_FETCH_NEXT);
            const int32_t offset = orientation == SQL_FETCH_ABSOLUTE ? 1 : 0;
            ASSERT_EQ(0u, AgentCall<DRV_ExtendedFetch>(&link, s, &rs, offset, &rows, &total, orientation))
                << Errors(s) << Texts();
            ASSERT_EQ(2u, rows);
            EXPECT_EQ(1, *reinterpret_cast<const int32_t*>(DatasetCell(&rs->data->cols[0], 0)));
            EXPECT_EQ(2, *reinterpret_cast<const int32_t*>(DatasetCell(&rs->data->cols[0], 1)));
            EXPECT_EQ(SQL_ROW_SUCCESS, rs->statuses[0]);
            EXPECT_EQ(SQL_ROW_SUCCESS, rs->statuses[1]);
            const bool lock = conc == SQL_CONCUR_LOCK;
            // Values concurrency neither locks nor reads for update.
            EXPECT_EQ(lock && byUpdate, Locks() > 0);
            EXPECT_EQ(lock && !byUpdate, ReadsForUpdate() > 0);
            if (!lock || byUpdate) {
                EXPECT_EQ(0, Prepared("FOR UPDATE"));
            }
            // The fetch by bookmark reads for update as the fetch does.
            SCS_RowChange change{};
            ASSERT_EQ(0u, SCS_KeysetRowChange(SCS_StmtBlock(s), &change));
            EXPECT_EQ(lock && !byUpdate ? 1 : 0, change.forUpdate);
            (void)AgentCall<DRV_CloseCursor>(&link, s);
        }
    }
}

// With autocommit on a lock ends with its own statement: a static cursor, which would lock every
// row of its snapshot at execute, locks none; a keyset-driven one still locks its rowset's rows.
TEST_P(LockSwitch, StaticCursorsTakeNoLockThatWouldEndAtOnce) {
    const bool byUpdate = GetParam() != 0;
    for (uint32_t type : {uint32_t(SQL_CURSOR_STATIC), uint32_t(SQL_CURSOR_KEYSET_DRIVEN)}) {
        SCOPED_TRACE(type);
        uint32_t s = Stmt();
        SCS_Cursor& c = (*SCS_StmtBlock(s));
        c.cursorType = type;
        c.concurrency = SQL_CONCUR_LOCK;
        c.rowsetSize = 2;
        Scripted::prepared.clear();
        ASSERT_EQ(0u, Run(s, "SELECT id, b FROM ls ORDER BY id")) << Errors(s);
        uint32_t rows = 0, total = 0;
        ASSERT_EQ(0u, AgentCall<DRV_ExtendedFetch>(&link, s, &rs, 1, &rows, &total, uint16_t(SQL_FETCH_ABSOLUTE)))
            << Errors(s) << Texts();
        ASSERT_EQ(2u, rows);
        EXPECT_EQ(type != SQL_CURSOR_STATIC && byUpdate, Locks() > 0) << Texts();
        (void)AgentCall<DRV_CloseCursor>(&link, s);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, LockSwitch, ::testing::Values(-1, 0, 1), [](const auto& info) {
    return info.param < 0 ? std::string("agent") : info.param ? std::string("refused") : std::string("taken");
});

}  // namespace
