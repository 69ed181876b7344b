// Row versions in VOVURA over the real agent and engine: stored on first sight, a changed row
// reported once, kept apart per cursor and per process, cleared at close, IM926 without the
// table, and the digest's column boundaries.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "drv_ingii/i-desc.h"
#include "drv_ingii/i-glob.h"
#include "odbc/globals.h"
#include "scrs/sc_cursor.h"
#include "scrs/sc_dynamic.h"
#include "scrs/sc_keyset.h"
#include "scrs/sc_rowver.h"
#include "tests/support/agent_stmt_fixture.h"
#include "tests/support/temp_dirs_fixture.h"
#include "util/dataset.h"
#include "util/rowset.h"

extern char** environ;

namespace {

using stmttest::Block;
using stmttest::ParamSet;

// An application connection through the whole stack on a database with (or without) VOVURA,
// holding the table t of three rows.
class RowVersions : public ::testing::Test {
public:
    AgentLink link{};
    uint32_t server = 0, conn = 0;
    std::string db;
    std::vector<uint32_t> stmts;
    std::deque<SCS_RowVerRef> refs;  // references stay valid as it grows
    IngDsnSettings settings{};       // the data source's settings for the next Connect, which takes their texts

    void SetUp() override { Connect(true); }
    void Connect(bool withTable, bool noAutocommit = false, const std::string& existing = "", bool wide = false) {
        db = existing.empty() ? stmttest::NewDatabase() : existing;
        if (withTable && existing.empty()) {
            char err[256] = {};
            ASSERT_EQ(iiengine_createRowVersionTable(db.c_str(), err, sizeof err), 0) << err;
        }
        AgentStackInstall(&link);
        ASSERT_EQ(AgentCall<DRV_ServerAlloc>(&link, nullptr, &server), 0u);
        IngConnectParams p{};
        p.marker = wide ? "W\x7F\x01\x01" : "";
        p.database = db.c_str();
        settings.noAutoCommit = noAutocommit ? 1 : 0;
        p.settings = &settings;
        uint32_t rc = AgentCall<DRV_Connect>(&link, server, &p, &conn);
        ASSERT_EQ(rc, 0u) << Errors(server);
        if (existing.empty()) {
            Exec("CREATE TABLE t (id integer NOT NULL PRIMARY KEY, a varchar(10), b varchar(10))");
            Exec("INSERT INTO t VALUES (1, 'one', 'x')");
            Exec("INSERT INTO t VALUES (2, 'two', NULL)");
            Exec("INSERT INTO t VALUES (3, 'three', '')");
            if (noAutocommit) {
                ASSERT_EQ(AgentCall<DRV_Commit>(&link, conn), 0u);
            }
        }
    }
    void TearDown() override {
        for (SCS_RowVerRef& r : refs) SCS_RowVerClose(&r);
        for (uint32_t s : stmts) AgentCall<DRV_FreeStmt>(&link, s);
        if (conn) AgentCall<DRV_Disconnect>(&link, conn);
        if (server) AgentCall<DRV_ServerFree>(&link, server);
        std::free(settings.initialSql);
        std::free(settings.sqlDbmsName);
        settings = IngDsnSettings{};
    }
    uint32_t Stmt() {
        uint32_t s = 0;
        EXPECT_EQ(AgentCall<DRV_AllocStmt>(&link, conn, &s), 0u);
        stmts.push_back(s);
        return s;
    }
    std::string Errors(uint32_t h) {
        AgentErrors e{};
        if (AgentCall<DRV_GetErrors>(&link, h, &e) != 0) return "";
        std::string out;
        for (uint32_t i = 0; i < e.count; ++i)
            if (e.texts[i]) out += std::string(e.texts[i]) + "\n";
        AgentErrorsFree(&e);
        return out;
    }
    void Exec(const char* sql) {
        uint32_t s = Stmt();
        uint32_t rc = AgentCall<DRV_Prepare>(&link, s, sql);
        if (rc == 0) rc = AgentCall<DRV_Execute>(&link, s);
        ASSERT_EQ(rc, 0u) << sql << "\n" << Errors(s);
    }
    // All rows of a query on the application's connection.
    void Fetch(const char* sql, Dataset* out) {
        uint32_t s = Stmt();
        uint32_t rc = AgentCall<DRV_Prepare>(&link, s, sql);
        if (rc == 0) rc = AgentCall<DRV_Execute>(&link, s);
        if (rc == 0) rc = AgentCall<DRV_FetchRows>(&link, s, uint16_t(100), out);
        AgentCall<DRV_CloseCursor>(&link, s);
        ASSERT_EQ(rc, 0u) << sql << "\n" << Errors(s);
    }
    // The cursor's VOVURA rows as the database holds them (committed ones).
    uint32_t Stored(const SCS_RowVerRef& r) {
        std::string sql =
            std::string("SELECT keyver FROM vovura WHERE hconn = '") + r.hconn + "' AND hcurs = '" + r.hcurs + "'";
        Block b;
        Fetch(sql.c_str(), &b.ds);
        return b.ds.rows_used;
    }
    SCS_RowVerRef& Open(uint32_t lowerStmt) {
        refs.push_back({});
        SCS_RowVerRef& r = refs.back();
        EXPECT_EQ(SCS_RowVerOpen(&r, SCS_LowerLink(), conn, lowerStmt, 0), 0u) << Errors(server);
        return r;
    }
    // Checks the current rows of t (keys and values) and gives the statuses.
    std::vector<uint16_t> Check(SCS_RowVerRef& r, uint32_t* rc = nullptr) {
        Block keys, values;
        Fetch("SELECT id FROM t ORDER BY id", &keys.ds);
        Fetch("SELECT id, a, b FROM t ORDER BY id", &values.ds);
        std::vector<uint16_t> st(values.ds.rows_used, 99);
        uint32_t got = SCS_RowVerCheck(&r, &keys.ds, &values.ds, st.data());
        if (rc)
            *rc = got;
        else
            EXPECT_EQ(got, 0u) << Errors(r.cursor);
        return st;
    }
};

using Statuses = std::vector<uint16_t>;

TEST_F(RowVersions, RowsSeenFirstAreStoredUnchangedAndFoundAgain) {
    SCS_RowVerRef& r = Open(Stmt());
    EXPECT_EQ(Check(r), (Statuses{0, 0, 0}));
    EXPECT_EQ(Stored(r), 3u);
    EXPECT_EQ(Check(r), (Statuses{0, 0, 0}));
    EXPECT_EQ(Stored(r), 3u);
}

// The private connection takes a copy of the cursor connection's settings, without the initial
// SQL, which is the application's: the cursor connection keeps its own texts.
TEST_F(RowVersions, OpenCopiesTheCursorConnectionsSettingsButNotItsInitialSql) {
    TearDown();
    stmts.clear();
    refs.clear();
    conn = server = 0;
    settings.initialSql = strdup("/nonexistent/initial.sql");
    settings.sqlDbmsName = strdup("STORED");
    Connect(true);
    ASSERT_FALSE(HasFatalFailure());
    const IngDsnSettings* mine = IngAskConnSettings(conn);
    ASSERT_NE(mine, nullptr);
    const char* initial = mine->initialSql;
    const char* dbms = mine->sqlDbmsName;
    ASSERT_NE(initial, nullptr);
    ASSERT_NE(dbms, nullptr);
    SCS_RowVerRef& r = Open(Stmt());
    EXPECT_EQ(mine->initialSql, initial);
    EXPECT_EQ(mine->sqlDbmsName, dbms);
    EXPECT_STREQ(mine->sqlDbmsName, "STORED");
    const IngStmt* own = IngStmtFind(r.privateStmt);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->conn->dsn.initialSql, nullptr);
    ASSERT_NE(own->conn->dsn.sqlDbmsName, nullptr);
    EXPECT_NE(own->conn->dsn.sqlDbmsName, dbms);
    EXPECT_STREQ(own->conn->dsn.sqlDbmsName, "STORED");
    // And the versions are still written (and seen by the application's connection).
    EXPECT_EQ(Check(r), (Statuses{0, 0, 0}));
    EXPECT_EQ(Stored(r), 3u);
}

// A dynamic cursor of high sensitivity reads versions through its fetches; a change the cursor
// itself made, stored through the positioned-change hook, is not reported as another user's,
// while one made behind its back is.
TEST_F(RowVersions, ADynamicCursorsOwnChangesAreNotOthersChanges) {
    IngConnFind(conn)->dsn.dynCursSensitivity = 1;
    const uint32_t s = Stmt();
    SCS_Cursor* st = SCS_StmtBlock(s);
    st->cursorType = SQL_CURSOR_DYNAMIC;
    st->rowsetSize = 3;
    ASSERT_EQ(AgentCall<DRV_Prepare>(&link, s, "SELECT id, a, b FROM t ORDER BY id"), 0u) << Errors(s);
    ASSERT_EQ(AgentCall<DRV_Execute>(&link, s), 0u) << Errors(s);
    Rowset* rs = nullptr;
    auto fetch = [&](uint16_t orientation) {
        uint32_t rows = 0, total = 0;
        RowsetFree(&rs);
        EXPECT_EQ(AgentCall<DRV_ExtendedFetch>(&link, s, &rs, 0, &rows, &total, orientation), 0u) << Errors(s);
        return rs ? Statuses(rs->statuses, rs->statuses + rows) : Statuses{};
    };
    EXPECT_EQ(fetch(SQL_FETCH_FIRST), (Statuses{0, 0, 0}));
    EXPECT_EQ(Stored(st->rowVer), 3u);
    // The cursor's own change, with the versions of the rows as they now are.
    Exec("UPDATE t SET a = 'mine' WHERE id = 2");
    Dataset* keys = nullptr;
    ASSERT_EQ(SCS_DynamicKeyColumns(st->dynState->keys, SCS_KsKeyCount(st), &keys), 0u);
    Block values;
    Fetch("SELECT id, a, b FROM t ORDER BY id", &values.ds);
    EXPECT_EQ(SCS_DynamicRowsChanged(st, keys, &values.ds), 0u) << Errors(s);
    DatasetDelete(keys);
    EXPECT_EQ(fetch(SQL_FETCH_RELATIVE), (Statuses{0, 0, 0}));
    // Another's change.
    Exec("UPDATE t SET a = 'theirs' WHERE id = 2");
    EXPECT_EQ(fetch(SQL_FETCH_RELATIVE), (Statuses{0, 2, 0}));
    RowsetFree(&rs);
}

TEST_F(RowVersions, RowChangedBetweenFetchesIsUpdatedOnce) {
    SCS_RowVerRef& r = Open(Stmt());
    ASSERT_EQ(Check(r), (Statuses{0, 0, 0}));
    struct Case {
        const char* change;
        Statuses expected;
    } cases[] = {
        {"UPDATE t SET a = 'deux' WHERE id = 2", {0, 2, 0}},
        // NULL and empty text are different contents.
        {"UPDATE t SET b = NULL WHERE id = 3", {0, 0, 2}},
        {"UPDATE t SET b = '' WHERE id = 2", {0, 2, 0}},
        // Moving a character across the column boundary changes the row.
        {"UPDATE t SET a = 'on', b = 'ex' WHERE id = 1", {2, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        Exec(c.change);
        EXPECT_EQ(Check(r), c.expected);
        EXPECT_EQ(Check(r), (Statuses{0, 0, 0}));
    }
    EXPECT_EQ(Stored(r), 3u);
}

TEST_F(RowVersions, AWideConnectionReadsTheStoredVersionsAsWritten) {
    TearDown();
    stmts.clear();
    refs.clear();
    conn = server = 0;
    Connect(true, false, "", true);
    ASSERT_FALSE(HasFatalFailure());
    SCS_RowVerRef& r = Open(Stmt());
    ASSERT_EQ(Check(r), (Statuses{0, 0, 0}));
    EXPECT_EQ(Check(r), (Statuses{0, 0, 0}));
    Exec("UPDATE t SET b = 'new' WHERE id = 1");
    EXPECT_EQ(Check(r), (Statuses{2, 0, 0}));
    EXPECT_EQ(Check(r), (Statuses{0, 0, 0}));
    EXPECT_EQ(Stored(r), 3u);
}

TEST_F(RowVersions, UpdateStoresNewVersionsAndMarksRowsItCannotFind) {
    SCS_RowVerRef& r = Open(Stmt());
    ASSERT_EQ(Check(r), (Statuses{0, 0, 0}));
    Exec("UPDATE t SET a = 'uno' WHERE id = 1");
    Block keys, values;
    Fetch("SELECT id FROM t ORDER BY id", &keys.ds);
    Fetch("SELECT id, a, b FROM t ORDER BY id", &values.ds);
    uint8_t keyVer[3 * 16], rowVer[3 * 16];
    for (uint32_t i = 0; i < 3; ++i) {
        ASSERT_EQ(SCS_RowVerDigest(&keys.ds, i, keyVer + 16 * i), 0u);
        ASSERT_EQ(SCS_RowVerDigest(&values.ds, i, rowVer + 16 * i), 0u);
    }
    keyVer[2 * 16] ^= 0xFF;  // a key the table does not hold
    Statuses st{2, 0, 2};
    EXPECT_EQ(SCS_RowVerUpdate(&r, keyVer, rowVer, st.data(), 3), 0u);
    EXPECT_EQ(st, (Statuses{2, 0, 5}));
    // The stored version is the new one: the next check finds the row unchanged.
    EXPECT_EQ(Check(r), (Statuses{0, 0, 0}));
    Statuses none{0, 0, 0};
    EXPECT_EQ(SCS_RowVerUpdate(&r, keyVer, rowVer, none.data(), 3), 0u);
    EXPECT_EQ(none, (Statuses{0, 0, 0}));
}

// Two stored versions of one row cannot both be the row's: the check fails and says why.
TEST_F(RowVersions, TwoStoredVersionsOfARowAreNamedAsTheCause) {
    SCS_RowVerRef& r = Open(Stmt());
    ASSERT_EQ(Check(r), (Statuses{0, 0, 0}));
    const std::string copy = std::string("INSERT INTO vovura SELECT hconn, hcurs, keyver, rowver FROM vovura WHERE ") +
                             "hconn = '" + r.hconn + "' AND hcurs = '" + r.hcurs + "'";
    Exec(copy.c_str());
    ASSERT_EQ(Stored(r), 6u);
    uint32_t rc = 0;
    Check(r, &rc);
    EXPECT_EQ(rc, 15u);
    EXPECT_EQ(Errors(r.cursor),
              "[Driver]the row-version table VOVURA holds two versions of one row of the cursor[SQLSTATE:S1000]\n");
}

TEST_F(RowVersions, ClosingTheCursorRemovesItsRowsAndPrivateConnection) {
    uint32_t lower = Stmt();
    SCS_RowVerRef& r = Open(lower);
    const uint32_t priv = r.privateStmt;
    IngStmt* ps = IngStmtFind(priv);
    ASSERT_NE(ps, nullptr);
    const uint32_t privConn = ps->conn->handle;
    EXPECT_NE(privConn, conn);
    ASSERT_EQ(Check(r), (Statuses{0, 0, 0}));
    ASSERT_EQ(Stored(r), 3u);
    // The statement's close: clear, then close.
    EXPECT_EQ(SCS_RowVerClear(&r), 0u);
    EXPECT_EQ(SCS_RowVerClose(&r), 0u);
    // (Before any new statement could take the freed handle numbers again.)
    EXPECT_EQ(IngStmtFind(priv), nullptr);
    EXPECT_EQ(IngConnFind(privConn), nullptr);
    EXPECT_EQ(Stored(r), 0u);
    EXPECT_EQ(r.privateStmt, 0u);
    // A second close is harmless.
    EXPECT_EQ(SCS_RowVerClose(&r), 0u);
}

TEST_F(RowVersions, TwoCursorsKeepSeparateRowsAndConnections) {
    SCS_RowVerRef& r1 = Open(Stmt());
    SCS_RowVerRef& r2 = Open(Stmt());
    EXPECT_STREQ(r1.hconn, r2.hconn);
    EXPECT_STRNE(r1.hcurs, r2.hcurs);
    EXPECT_NE(IngStmtFind(r1.privateStmt)->conn, IngStmtFind(r2.privateStmt)->conn);
    ASSERT_EQ(Check(r1), (Statuses{0, 0, 0}));
    Exec("UPDATE t SET a = 'changed' WHERE id = 3");
    // The second cursor sees the rows for the first time.
    ASSERT_EQ(Check(r2), (Statuses{0, 0, 0}));
    EXPECT_EQ(Check(r1), (Statuses{0, 0, 2}));
    EXPECT_EQ(SCS_RowVerClear(&r1), 0u);
    EXPECT_EQ(Stored(r1), 0u);
    EXPECT_EQ(Stored(r2), 3u);
    EXPECT_EQ(Check(r2), (Statuses{0, 0, 0}));
}

TEST_F(RowVersions, WorkBesideTheApplicationsWriteTransaction) {
    TearDown();
    stmts.clear();
    refs.clear();
    conn = server = 0;
    Connect(true, true);
    ASSERT_FALSE(HasFatalFailure());
    // The application's transaction holds changes to t; the private connection, opened while the
    // data source asks for manual commit, still commits each version as it writes it.
    Exec("INSERT INTO t VALUES (4, 'four', 'y')");
    SCS_RowVerRef& r = Open(Stmt());
    Block keys, values;
    Fetch("SELECT id FROM t ORDER BY id", &keys.ds);
    Fetch("SELECT id, a, b FROM t ORDER BY id", &values.ds);
    Statuses st(4, 99);
    ASSERT_EQ(SCS_RowVerCheck(&r, &keys.ds, &values.ds, st.data()), 0u) << Errors(r.cursor);
    EXPECT_EQ(st, (Statuses{0, 0, 0, 0}));
    // Committed: another session sees the versions while the application's work is pending.
    RowVersions* self = this;
    {
        AgentLink other{};
        AgentStackInstall(&other);
        uint32_t c2 = 0;
        IngConnectParams p{};
        p.marker = "";
        p.database = self->db.c_str();
        ASSERT_EQ(AgentCall<DRV_Connect>(&other, server, &p, &c2), 0u);
        uint32_t s2 = 0;
        ASSERT_EQ(AgentCall<DRV_AllocStmt>(&other, c2, &s2), 0u);
        std::string sql = std::string("SELECT keyver FROM vovura WHERE hcurs = '") + r.hcurs + "'";
        ASSERT_EQ(AgentCall<DRV_Prepare>(&other, s2, sql.c_str()), 0u);
        ASSERT_EQ(AgentCall<DRV_Execute>(&other, s2), 0u);
        Block seen;
        ASSERT_EQ(AgentCall<DRV_FetchRows>(&other, s2, uint16_t(10), &seen.ds), 0u);
        EXPECT_EQ(seen.ds.rows_used, 4u);
        AgentCall<DRV_CloseCursor>(&other, s2);
        AgentCall<DRV_FreeStmt>(&other, s2);
        AgentCall<DRV_Disconnect>(&other, c2);
    }
    EXPECT_EQ(SCS_RowVerClear(&r), 0u) << Errors(r.cursor);
    ASSERT_EQ(AgentCall<DRV_Commit>(&link, conn), 0u) << Errors(conn);
    EXPECT_EQ(Stored(r), 0u);
}

TEST_F(RowVersions, WithoutTheTableClearFailsWithIM926OnTheCursor) {
    TearDown();
    stmts.clear();
    refs.clear();
    conn = server = 0;
    Connect(false);
    ASSERT_FALSE(HasFatalFailure());
    uint32_t lower = Stmt();
    SCS_RowVerRef& r = Open(lower);
    EXPECT_NE(SCS_RowVerClear(&r), 0u);
    const std::string errors = Errors(lower);
    EXPECT_NE(errors.find("IM926"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Check that the table VOVURA exists"), std::string::npos) << errors;
    // The server's own message came along with it.
    EXPECT_NE(errors.find("42S02"), std::string::npos) << errors;
    uint32_t rc = 0;
    Check(r, &rc);
    EXPECT_NE(rc, 0u);
    EXPECT_NE(Errors(lower).find("42S02"), std::string::npos);
}

TEST_F(RowVersions, OpenRefusesAConnectionTheLayerDoesNotKnow) {
    SCS_RowVerRef r{};
    EXPECT_EQ(SCS_RowVerOpen(&r, SCS_LowerLink(), 0x7FFF1234u, 1, 0), 15u);
    EXPECT_EQ(SCS_RowVerOpen(nullptr, SCS_LowerLink(), conn, 1, 0), 15u);
    EXPECT_EQ(r.privateStmt, 0u);
    EXPECT_EQ(SCS_RowVerClear(&r), 15u);
    EXPECT_EQ(SCS_RowVerClose(&r), 0u);
}

TEST_F(RowVersions, StatementTextsNameTheCursor) {
    SCS_RowVerRef r{};
    std::strcpy(r.hconn, "0001ABCD");
    std::strcpy(r.hcurs, "FF000002");
    const char* expected[] = {
        "DELETE FROM VOVURA WHERE HCONN = '0001ABCD' AND HCURS = 'FF000002'",
        "SELECT ROWVER FROM VOVURA WHERE HCONN = '0001ABCD' AND HCURS = 'FF000002' AND KEYVER = ?",
        "UPDATE VOVURA SET ROWVER = ? WHERE HCONN = '0001ABCD' AND HCURS = 'FF000002' AND KEYVER = ?",
        "INSERT INTO VOVURA VALUES ( '0001ABCD', 'FF000002', ?, ?)",
    };
    for (int i = 0; i < 4; ++i) {
        char* t = SCS_RowVerText(&r, i);
        ASSERT_NE(t, nullptr);
        EXPECT_STREQ(t, expected[i]);
        std::free(t);
    }
    EXPECT_EQ(SCS_RowVerText(&r, 4), nullptr);
    // The values are 8 upper-case hex digits.
    SCS_RowVerRef& open = Open(Stmt());
    for (const char* v : {open.hconn, open.hcurs}) {
        ASSERT_EQ(std::strlen(v), 8u);
        for (const char* p = v; *p; ++p) EXPECT_TRUE((*p >= '0' && *p <= '9') || (*p >= 'A' && *p <= 'F')) << v;
    }
}

// A row of two text columns of the given values (null pointer: NULL).
std::vector<uint8_t> DigestOf(std::vector<const char*> cells, uint32_t kind = DS_CHAR_LEN2) {
    ParamSet ps({{kind, 10}, {kind, 10}}, 1);
    for (uint16_t c = 0; c < cells.size(); ++c) {
        if (cells[c] == nullptr) {
            ps.Null(c, 0);
            continue;
        }
        uint8_t* cell = ps.Cell(c, 0);
        const uint16_t n = uint16_t(std::strlen(cells[c]));
        if (kind == DS_CHAR_LEN2) {
            std::memcpy(cell, &n, 2);
            std::memcpy(cell + 2, cells[c], n);
        } else {
            std::memcpy(cell, cells[c], n + 1);
        }
    }
    std::vector<uint8_t> d(16);
    EXPECT_EQ(SCS_RowVerDigest(ps.ds, 0, d.data()), 0u);
    return d;
}

TEST(RowVersionDigest, ColumnBoundariesAndNullCount) {
    struct Case {
        std::vector<const char*> a, b;
        bool same;
    } cases[] = {
        {{"ab", "c"}, {"a", "bc"}, false},      {{"abc", ""}, {"", "abc"}, false},
        {{"", "x"}, {nullptr, "x"}, false},     {{nullptr, ""}, {"", nullptr}, false},
        {{nullptr, nullptr}, {"", ""}, false},  {{"ab", "c"}, {"ab", "c"}, true},
        {{nullptr, "c"}, {nullptr, "c"}, true},
    };
    for (uint32_t kind : {uint32_t(DS_CHAR_LEN2), uint32_t(DS_CHAR_NTS)}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message()
                         << "kind " << kind << " " << (c.a[0] ? c.a[0] : "NULL") << "|" << (c.a[1] ? c.a[1] : "NULL")
                         << " vs " << (c.b[0] ? c.b[0] : "NULL") << "|" << (c.b[1] ? c.b[1] : "NULL"));
            EXPECT_EQ(DigestOf(c.a, kind) == DigestOf(c.b, kind), c.same);
        }
    }
}

TEST(RowVersionDigest, LongValuesByReferenceTakeNoPartAndBadRowsFail) {
    ParamSet a({{DS_INTEGER, 4}, {DS_CHAR_REF, 0}}, 2);
    a.Put<int32_t>(0, 0, 7);
    a.Put<int32_t>(0, 1, 7);
    a.Ref(1, 0, "long one", 8);
    a.Ref(1, 1, "other", 5);
    uint8_t d0[16], d1[16];
    ASSERT_EQ(SCS_RowVerDigest(a.ds, 0, d0), 0u);
    ASSERT_EQ(SCS_RowVerDigest(a.ds, 1, d1), 0u);
    EXPECT_EQ(std::memcmp(d0, d1, 16), 0);
    a.Put<int32_t>(0, 1, 8);
    ASSERT_EQ(SCS_RowVerDigest(a.ds, 1, d1), 0u);
    EXPECT_NE(std::memcmp(d0, d1, 16), 0);
    EXPECT_EQ(SCS_RowVerDigest(a.ds, 2, d1), 15u);
    EXPECT_EQ(SCS_RowVerDigest(nullptr, 0, d1), 15u);
}

TEST(RowVersionHex, UpperCaseDigitsCutToWholeBytes) {
    const uint8_t bytes[] = {0x00, 0x9F, 0xA0, 0xFF};
    struct Case {
        uint32_t size;
        const char* text;
        uint32_t len;
    } cases[] = {{9, "009FA0FF", 8}, {100, "009FA0FF", 8}, {8, "009FA0", 6}, {7, "009FA0", 6},
                 {6, "009F", 4},     {3, "00", 2},         {2, "", 0},       {1, "", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        char out[128];
        std::memset(out, '#', sizeof out);
        uint32_t len = 99;
        SCS_HexUpper(bytes, 4, out, c.size, &len);
        EXPECT_STREQ(out, c.text);
        EXPECT_EQ(len, c.len);
        EXPECT_EQ(out[c.size], '#');  // nothing beyond the buffer
    }
    char out[4];
    SCS_HexUpper(bytes, 1, out, sizeof out, nullptr);
    EXPECT_STREQ(out, "00");
}

// ---- Two processes ----------------------------------------------------------------------

// Runs in a child process (started by the test below): a fresh process gets the same agent
// handle numbers as any other, opens a cursor's row versions on the database the parent made,
// checks the rows of t and writes what it saw; "clear" also clears its rows afterwards.
TEST(RowVersionChild, Run) {
    const char* out = std::getenv("TV_ROWVER_CHILD_OUT");
    const char* db = std::getenv("TV_ROWVER_CHILD_DB");
    const char* mode = std::getenv("TV_ROWVER_CHILD_MODE");
    if (out == nullptr || db == nullptr || mode == nullptr) GTEST_SKIP() << "runs as a child process only";
    struct Child : RowVersions {
        void TestBody() override {}
    } t;
    t.Connect(true, false, db);
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    SCS_RowVerRef& r = t.Open(t.Stmt());
    Statuses st = t.Check(r);
    std::ofstream f(out);
    f << t.conn << ' ' << r.cursor << ' ' << r.hconn << ' ' << r.hcurs << ' ' << t.Stored(r);
    for (uint16_t s : st) f << ' ' << s;
    if (std::string(mode) == "clear") {
        EXPECT_EQ(SCS_RowVerClear(&r), 0u);
        f << ' ' << t.Stored(r);
    }
    f << '\n';
    f.close();
    t.TearDown();
}

struct ChildReport {
    uint32_t conn = 0, cursor = 0;
    std::string hconn, hcurs;
    uint32_t stored = 0;
    Statuses statuses;
    uint32_t afterClear = 99;
};

ChildReport RunChild(const std::string& db, const std::string& mode) {
    ChildReport rep;
    std::string out = tvtest::MakeTempDir("tv-rowver-") + "/report";
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    env.push_back("TV_ROWVER_CHILD_OUT=" + out);
    env.push_back("TV_ROWVER_CHILD_DB=" + db);
    env.push_back("TV_ROWVER_CHILD_MODE=" + mode);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string exe = "/proc/self/exe", filter = "--gtest_filter=RowVersionChild.Run";
    char* argv[] = {exe.data(), filter.data(), nullptr};
    pid_t pid = 0;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    EXPECT_EQ(posix_spawn(&pid, exe.c_str(), &quiet, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&quiet);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child " << mode << " failed";
    std::ifstream f(out);
    std::string line;
    std::getline(f, line);
    std::istringstream in(line);
    in >> rep.conn >> rep.cursor >> rep.hconn >> rep.hcurs >> rep.stored;
    for (int i = 0; i < 3; ++i) {
        uint16_t s = 99;
        in >> s;
        rep.statuses.push_back(s);
    }
    if (mode == "clear") in >> rep.afterClear;
    return rep;
}

TEST_F(RowVersions, TwoProcessesKeepSeparateRows) {
    ChildReport first = RunChild(db, "keep");
    ChildReport second = RunChild(db, "clear");
    // The same handle numbers in both processes...
    ASSERT_NE(first.conn, 0u);
    EXPECT_EQ(first.conn, second.conn);
    EXPECT_EQ(first.cursor, second.cursor);
    // ...yet rows of their own: the second sees every row for the first time, stores its own and
    // clears only those.
    EXPECT_TRUE(first.hconn != second.hconn || first.hcurs != second.hcurs);
    EXPECT_EQ(first.statuses, (Statuses{0, 0, 0}));
    EXPECT_EQ(second.statuses, (Statuses{0, 0, 0}));
    EXPECT_EQ(first.stored, 3u);
    EXPECT_EQ(second.stored, 3u);
    EXPECT_EQ(second.afterClear, 0u);
    SCS_RowVerRef seen{};
    std::snprintf(seen.hconn, sizeof seen.hconn, "%s", first.hconn.c_str());
    std::snprintf(seen.hcurs, sizeof seen.hcurs, "%s", first.hcurs.c_str());
    EXPECT_EQ(Stored(seen), 3u);
    // And this process's own cursor with the same handle numbers is apart from both.
    SCS_RowVerRef& mine = Open(Stmt());
    EXPECT_TRUE(std::string(mine.hconn) != first.hconn || std::string(mine.hcurs) != first.hcurs);
}

}  // namespace
