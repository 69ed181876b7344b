// The session's cache of compiled statements: a text run again is reused only while that is
// invisible to the client (schema changes, rollbacks, cursors open on the same text, cancel).
#include "tests/iiapi/api_fixture.h"

using namespace apitest;

namespace {

class StatementCache : public ::testing::Test {
protected:
    void SetUp() override {
        db = freshDatabase();
        ASSERT_EQ(s.connect(environment(), db, "tester"), IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE TABLE c (k integer NOT NULL PRIMARY KEY, v varchar(10))").status, IIAPI_ST_SUCCESS);
    }
    std::vector<std::string> keys(const std::string& sql) {
        Result r = s.exec(sql);
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
        std::vector<std::string> out;
        for (auto& row : r.rows) out.push_back(trimmed(row[0]));
        return out;
    }
    // The next value of a one-column cursor: 0 at its end, -1 on a failure.
    static int32_t next(II_PTR h) {
        int32_t v = -1;
        IIAPI_STATUS st = fetchOne(h, &v);
        return st == IIAPI_ST_SUCCESS ? v : (st == IIAPI_ST_NO_DATA ? 0 : -1);
    }
    std::vector<std::string> columnNames(const std::string& sql) {
        Result r = s.exec(sql);
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
        return r.names;
    }
    std::string db;
    Session s;
};

TEST_F(StatementCache, RepeatedInsertTakesNewValuesEachTimeAndSurvivesAFailure) {
    const std::string ins = "INSERT INTO c VALUES (?, ?)";
    for (int k = 1; k <= 5; ++k)
        ASSERT_EQ(s.run(ins, {pInt(k), pVarchar("v" + std::to_string(k))}).status, IIAPI_ST_SUCCESS);
    // A duplicate key fails; the same text then works again with good values.
    Result dup = s.run(ins, {pInt(3), pVarchar("dup")});
    EXPECT_EQ(dup.status, IIAPI_ST_ERROR);
    ASSERT_EQ(s.run(ins, {pInt(6), pVarchar("v6")}).status, IIAPI_ST_SUCCESS);
    // A wrong parameter count is refused each time and leaves the text usable.
    EXPECT_EQ(s.run(ins, {pInt(7)}).status, IIAPI_ST_ERROR);
    ASSERT_EQ(s.run(ins, {pInt(7), pNull(IIAPI_VCH_TYPE, 12)}).status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(keys("SELECT v FROM c ORDER BY k"),
              (std::vector<std::string>{"v1", "v2", "v3", "v4", "v5", "v6", "<null>"}));
}

// Each run of a text takes its values whole into the buffers the run before left: shorter and
// longer texts, NULLs, empty values and long values in segments all read back as they were sent.
TEST_F(StatementCache, EachRunsValuesReplaceTheLastRunsWhole) {
    ASSERT_EQ(s.exec("CREATE TABLE w (k integer, v varchar(40), f float, lv long varchar)").status, IIAPI_ST_SUCCESS);
    struct Row {
        std::optional<std::string> v;
        std::optional<double> f;
        std::optional<std::string> lv;
    };
    const std::vector<Row> rows = {
        {"a first value of some length", 1.5, std::string(3000, 'x')},
        {"ab", std::nullopt, std::string("yy")},
        {std::nullopt, 2.25, std::nullopt},
        {"a value longer than the first one was", 3.0, std::string(9000, 'z')},
        {std::string(), 4.0, std::string()},
        {"c", -0.5, std::string(5, 'q')},
    };
    const std::string ins = "INSERT INTO w VALUES (?, ?, ?, ?)";
    for (size_t k = 0; k < rows.size(); ++k) {
        const Row& r = rows[k];
        Result res = s.run(ins, {pInt(long(k)), r.v ? pVarchar(*r.v, 40) : pNull(IIAPI_VCH_TYPE, 42),
                                 r.f ? pFloat(*r.f) : pNull(IIAPI_FLT_TYPE, 8),
                                 r.lv ? pLong(IIAPI_LVCH_TYPE, *r.lv) : pNull(IIAPI_LVCH_TYPE, 2000)});
        ASSERT_EQ(res.status, IIAPI_ST_SUCCESS) << k << ": " << firstMessage(res.msgs);
    }
    Result got = s.exec("SELECT v, f, lv FROM w ORDER BY k");
    ASSERT_EQ(got.status, IIAPI_ST_SUCCESS) << firstMessage(got.msgs);
    ASSERT_EQ(got.rows.size(), rows.size());
    for (size_t k = 0; k < rows.size(); ++k) {
        EXPECT_EQ(got.rows[k][0], rows[k].v) << k;
        EXPECT_EQ(got.rows[k][1].has_value(), rows[k].f.has_value()) << k;
        if (rows[k].f && got.rows[k][1]) {
            EXPECT_DOUBLE_EQ(std::stod(*got.rows[k][1]), *rows[k].f) << k;
        }
        EXPECT_EQ(got.rows[k][2], rows[k].lv) << k;
    }
}

TEST_F(StatementCache, SelectRunAgainStartsFromTheFirstRow) {
    for (int k = 1; k <= 3; ++k) ASSERT_EQ(s.run("INSERT INTO c VALUES (?, 'x')", {pInt(k)}).status, IIAPI_ST_SUCCESS);
    const std::string sel = "SELECT k FROM c WHERE k >= ? ORDER BY k";
    // Closed after one row: the next run of the text must not continue where this one stopped.
    IIAPI_STATUS st;
    II_PTR h = s.open(sel, {pInt(1)}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    int32_t v = -1;
    ASSERT_EQ(fetchOne(h, &v), IIAPI_ST_SUCCESS);
    EXPECT_EQ(v, 1);
    Session::close(h);
    Result r = s.run(sel, {pInt(2)});
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(trimmed(r.rows[0][0]), "2");
    EXPECT_EQ(trimmed(r.rows[1][0]), "3");
}

TEST_F(StatementCache, TwoCursorsOnTheSameTextAreIndependent) {
    for (int k = 1; k <= 4; ++k) ASSERT_EQ(s.run("INSERT INTO c VALUES (?, 'x')", {pInt(k)}).status, IIAPI_ST_SUCCESS);
    const std::string sel = "SELECT k FROM c WHERE k > ? ORDER BY k";
    // Once run and closed, so that the text is in the cache before both cursors open.
    ASSERT_EQ(s.run(sel, {pInt(0)}).status, IIAPI_ST_SUCCESS);
    IIAPI_STATUS st1, st2;
    II_PTR a = s.open(sel, {pInt(0)}, IIAPI_QT_QUERY, st1);
    II_PTR b = s.open(sel, {pInt(2)}, IIAPI_QT_QUERY, st2);
    ASSERT_EQ(st1, IIAPI_ST_SUCCESS);
    ASSERT_EQ(st2, IIAPI_ST_SUCCESS);
    EXPECT_EQ(next(a), 1);
    EXPECT_EQ(next(b), 3);
    EXPECT_EQ(next(a), 2);
    EXPECT_EQ(next(b), 4);
    EXPECT_EQ(next(b), 0);
    EXPECT_EQ(next(a), 3);
    Session::close(b);
    // The closed cursor's statement goes back to the cache; a third cursor must not disturb a.
    II_PTR c3 = s.open(sel, {pInt(3)}, IIAPI_QT_QUERY, st1);
    ASSERT_EQ(st1, IIAPI_ST_SUCCESS);
    EXPECT_EQ(next(c3), 4);
    EXPECT_EQ(next(a), 4);
    EXPECT_EQ(next(a), 0);
    Session::close(c3);
    Session::close(a);
}

// A cursor's parameter values are bound where the engine holds them, without a copy: the
// statements run and closed while it is open (whose buffers the next statements take over) must
// leave the values it compares with as they were sent.
TEST_F(StatementCache, OpenCursorKeepsItsTextParameterWhileOtherStatementsComeAndGo) {
    for (int k = 1; k <= 6; ++k)
        ASSERT_EQ(s.run("INSERT INTO c VALUES (?, ?)", {pInt(k), pChar(k % 2 ? "odd-value" : "even-value")}).status,
                  IIAPI_ST_SUCCESS);
    const std::string sel = "SELECT k FROM c WHERE v = ? AND k > ? ORDER BY k";
    IIAPI_STATUS st;
    II_PTR a = s.open(sel, {pChar("odd-value"), pInt(0)}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    EXPECT_EQ(next(a), 1);
    // Other texts of other lengths, the same text with other values, and a failing statement.
    for (int k = 10; k < 40; ++k)
        ASSERT_EQ(s.run("INSERT INTO c VALUES (?, ?)", {pInt(k), pVarchar(std::string(size_t(k % 9), 'z'))}).status,
                  IIAPI_ST_SUCCESS);
    EXPECT_EQ(s.run("INSERT INTO c VALUES (?, ?)", {pInt(10), pChar("duplicate")}).status, IIAPI_ST_ERROR);
    EXPECT_EQ(s.run(sel, {pChar("even-value"), pInt(0)}).rows.size(), 3u);
    EXPECT_EQ(next(a), 3);
    ASSERT_EQ(s.run("INSERT INTO c VALUES (?, ?)", {pInt(7), pChar("odd-value")}).status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(next(a), 5);
    EXPECT_EQ(next(a), 7);
    EXPECT_EQ(next(a), 0);
    Session::close(a);
    EXPECT_EQ(keys("SELECT count(*) FROM c WHERE v = 'odd-value'"), (std::vector<std::string>{"4"}));
}

// A closed statement's record serves the session's next query: nothing of the old one (its
// messages, its place in a result, its end of data) shows there, and the old handle stays dead.
TEST_F(StatementCache, NextStatementStartsCleanAndTheClosedHandleStaysInvalid) {
    for (int k = 1; k <= 3; ++k) ASSERT_EQ(s.run("INSERT INTO c VALUES (?, 'x')", {pInt(k)}).status, IIAPI_ST_SUCCESS);
    IIAPI_STATUS st;
    std::vector<Msg> msgs;
    II_PTR failed = s.open("SELECT nosuch FROM c", {}, IIAPI_QT_QUERY, st, &msgs);
    EXPECT_EQ(st, IIAPI_ST_ERROR);
    EXPECT_FALSE(msgs.empty());
    if (failed) Session::close(failed);
    II_PTR partly = s.open("SELECT k FROM c ORDER BY k", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    int32_t v = -1;
    ASSERT_EQ(fetchOne(partly, &v), IIAPI_ST_SUCCESS);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(Session::close(partly), IIAPI_ST_SUCCESS);
    II_PTR done = s.open("SELECT k FROM c WHERE k > 9", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    EXPECT_EQ(fetchOne(done, &v), IIAPI_ST_NO_DATA);
    ASSERT_EQ(Session::close(done), IIAPI_ST_SUCCESS);

    II_PTR next = s.open("SELECT k FROM c WHERE k >= 2 ORDER BY k", {}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    IIAPI_GETEINFOPARM ge{};
    ge.ge_errorHandle = next;
    IIapi_getErrorInfo(&ge);
    EXPECT_EQ(ge.ge_status, IIAPI_ST_NO_DATA);
    std::vector<int32_t> got;
    while (fetchOne(next, &v) == IIAPI_ST_SUCCESS) got.push_back(v);
    EXPECT_EQ(got, (std::vector<int32_t>{2, 3}));
    for (II_PTR old : {partly, done}) {
        EXPECT_NE(old, next);
        EXPECT_EQ(fetchOne(old, &v), IIAPI_ST_INVALID_HANDLE);
        EXPECT_EQ(Session::close(old), IIAPI_ST_INVALID_HANDLE);
    }
    ASSERT_EQ(Session::close(next), IIAPI_ST_SUCCESS);
}

TEST_F(StatementCache, SchemaChangeBetweenRunsIsSeen) {
    ASSERT_EQ(s.run("INSERT INTO c VALUES (1, 'a')").status, IIAPI_ST_SUCCESS);
    const std::string sel = "SELECT * FROM c";
    EXPECT_EQ(columnNames(sel), (std::vector<std::string>{"k", "v"}));
    ASSERT_EQ(s.exec("ALTER TABLE c ADD COLUMN w integer").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(columnNames(sel), (std::vector<std::string>{"k", "v", "w"}));
    // Dropped and made again with other columns through the engine's own DDL.
    ASSERT_EQ(s.exec("DROP TABLE c").status, IIAPI_ST_SUCCESS);
    Result gone = s.exec(sel);
    EXPECT_EQ(gone.status, IIAPI_ST_ERROR);
    ASSERT_FALSE(gone.msgs.empty());
    EXPECT_EQ(gone.msgs[0].sqlstate, "42S02");
    ASSERT_EQ(s.exec("CREATE TABLE c (z float, y varchar(3))").status, IIAPI_ST_SUCCESS);
    Result r = s.exec(sel);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(r.names, (std::vector<std::string>{"z", "y"}));
    EXPECT_EQ(r.desc[0].ds_dataType, IIAPI_FLT_TYPE);
    // An insert compiled for the old table runs against the new one.
    EXPECT_EQ(s.run("INSERT INTO c VALUES (?, ?)", {pFloat(1.5), pVarchar("abc")}).status, IIAPI_ST_SUCCESS);
}

TEST_F(StatementCache, SchemaChangedByAnotherSessionIsSeen) {
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    const std::string sel = "SELECT * FROM c";
    EXPECT_EQ(columnNames(sel).size(), 2u);
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    Session other;
    ASSERT_EQ(other.connect(environment(), db, "tester"), IIAPI_ST_SUCCESS);
    ASSERT_EQ(other.exec("ALTER TABLE c ADD COLUMN extra integer").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(other.commit(), IIAPI_ST_SUCCESS);
    // The kept statement was compiled before the change; the transaction has read the table.
    ASSERT_EQ(s.exec("SELECT count(*) FROM c").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(columnNames(sel), (std::vector<std::string>{"k", "v", "extra"}));
}

TEST_F(StatementCache, RolledBackSchemaChangeIsForgotten) {
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    const std::string sel = "SELECT * FROM c";
    ASSERT_EQ(s.exec("ALTER TABLE c ADD COLUMN b integer").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(columnNames(sel), (std::vector<std::string>{"k", "v", "b"}));
    ASSERT_EQ(s.rollback(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(columnNames(sel), (std::vector<std::string>{"k", "v"}));
    // The schema version is the same again after this change as it was with column b.
    ASSERT_EQ(s.exec("ALTER TABLE c ADD COLUMN other varchar(4)").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(columnNames(sel), (std::vector<std::string>{"k", "v", "other"}));
    // Within a savepoint.
    ASSERT_EQ(s.exec("SAVEPOINT sp").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("ALTER TABLE c ADD COLUMN inner1 integer").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(columnNames(sel).size(), 4u);
    ASSERT_EQ(s.exec("ROLLBACK TO sp").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(columnNames(sel), (std::vector<std::string>{"k", "v", "other"}));
}

TEST_F(StatementCache, CancelledStatementLeavesItsTextUsable) {
    for (int k = 1; k <= 3; ++k) ASSERT_EQ(s.run("INSERT INTO c VALUES (?, 'x')", {pInt(k)}).status, IIAPI_ST_SUCCESS);
    const std::string sel = "SELECT k FROM c WHERE k > ? ORDER BY k";
    IIAPI_STATUS st;
    II_PTR h = s.open(sel, {pInt(0)}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    int32_t v = -1;
    ASSERT_EQ(fetchOne(h, &v), IIAPI_ST_SUCCESS);
    IIAPI_CANCELPARM cn{};
    cn.cn_stmtHandle = h;
    IIapi_cancel(&cn);
    ASSERT_EQ(finish(cn.cn_genParm), IIAPI_ST_SUCCESS);
    EXPECT_EQ(fetchOne(h, &v), IIAPI_ST_ERROR);
    Session::close(h);
    Result r = s.run(sel, {pInt(0)});
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(r.rows.size(), 3u);

    // Cancelled while its parameters were still coming: the insert does not run, the next one does.
    const std::string ins = "INSERT INTO c VALUES (?, ?)";
    ASSERT_EQ(s.run(ins, {pInt(10), pVarchar("a")}).status, IIAPI_ST_SUCCESS);
    IIAPI_QUERYPARM q{};
    q.qy_connHandle = s.conn;
    q.qy_queryType = IIAPI_QT_QUERY;
    q.qy_queryText = const_cast<char*>(ins.c_str());
    q.qy_parameters = II_TRUE;
    q.qy_tranHandle = s.tran;
    IIapi_query(&q);
    ASSERT_EQ(finish(q.qy_genParm), IIAPI_ST_SUCCESS);
    cn = {};
    cn.cn_stmtHandle = q.qy_stmtHandle;
    IIapi_cancel(&cn);
    ASSERT_EQ(finish(cn.cn_genParm), IIAPI_ST_SUCCESS);
    std::vector<Param> ps = {pInt(11), pVarchar("b")};
    std::vector<IIAPI_DESCRIPTOR> d;
    std::vector<IIAPI_DATAVALUE> dv;
    for (auto& p : ps) {
        d.push_back(p.d);
        IIAPI_DATAVALUE x{};
        x.dv_null = II_FALSE;
        x.dv_length = uint16_t(p.bytes.size());
        x.dv_value = p.bytes.data();
        dv.push_back(x);
    }
    IIAPI_SETDESCRPARM sd{};
    sd.sd_stmtHandle = q.qy_stmtHandle;
    sd.sd_descriptorCount = int16_t(d.size());
    sd.sd_descriptor = d.data();
    IIapi_setDescriptor(&sd);
    ASSERT_EQ(finish(sd.sd_genParm), IIAPI_ST_SUCCESS);
    IIAPI_PUTPARMPARM pp{};
    pp.pp_stmtHandle = q.qy_stmtHandle;
    pp.pp_parmCount = int16_t(dv.size());
    pp.pp_parmData = dv.data();
    IIapi_putParms(&pp);
    EXPECT_EQ(finish(pp.pp_genParm), IIAPI_ST_ERROR);
    Session::close(q.qy_stmtHandle);
    ASSERT_EQ(s.run(ins, {pInt(12), pVarchar("c")}).status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(keys("SELECT k FROM c WHERE k >= 10 ORDER BY k"), (std::vector<std::string>{"10", "12"}));
}

// The statement given back right after it was taken (each row of a parameter array) is idle
// again where it was; taken and given back around others, a cursor's open on the same text
// among them, or left out when the session ends, each text still runs its own statement.
TEST_F(StatementCache, StatementTakenLastServesItsTextAgainWhateverCameBetween) {
    const std::string ins = "INSERT INTO c VALUES (?, ?)";
    const std::string sel = "SELECT k FROM c WHERE k > ? ORDER BY k";
    for (int k = 1; k <= 3; ++k)
        ASSERT_EQ(s.run(ins, {pInt(k), pVarchar("v" + std::to_string(k))}).status, IIAPI_ST_SUCCESS);
    IIAPI_STATUS st;
    II_PTR a = s.open(sel, {pInt(0)}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    EXPECT_EQ(next(a), 1);
    // The same text as the open cursor's, run to its end and given back while the cursor is out.
    EXPECT_EQ(s.run(sel, {pInt(1)}).rows.size(), 2u);
    for (int k = 4; k <= 6; ++k)
        ASSERT_EQ(s.run(ins, {pInt(k), pVarchar("v" + std::to_string(k))}).status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(next(a), 2);
    II_PTR b = s.open(sel, {pInt(4)}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    ASSERT_EQ(Session::close(a), IIAPI_ST_SUCCESS);  // given back while b is out
    EXPECT_EQ(next(b), 5);
    ASSERT_EQ(s.run(ins, {pInt(7), pVarchar("v7")}).status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(next(b), 6);
    EXPECT_EQ(next(b), 7);
    EXPECT_EQ(s.run(sel, {pInt(5)}).rows.size(), 2u);
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    // Left out at the end of the session: the next session on the file runs both texts afresh.
    II_PTR left = s.open(sel, {pInt(0)}, IIAPI_QT_QUERY, st);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS);
    EXPECT_EQ(next(left), 1);
    ASSERT_EQ(s.disconnect(), IIAPI_ST_SUCCESS);
    Session again;
    ASSERT_EQ(again.connect(environment(), db, "tester"), IIAPI_ST_SUCCESS);
    ASSERT_EQ(again.run(ins, {pInt(8), pVarchar("v8")}).status, IIAPI_ST_SUCCESS);
    Result r = again.run(sel, {pInt(6)});
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    std::vector<std::string> got;
    for (auto& row : r.rows) got.push_back(trimmed(row[0]));
    EXPECT_EQ(got, (std::vector<std::string>{"7", "8"}));
    ASSERT_EQ(again.commit(), IIAPI_ST_SUCCESS);
}

TEST_F(StatementCache, ManyDistinctTextsThenTheFirstAgain) {
    // More texts than the cache keeps: the oldest are dropped, and still run when sent again.
    for (int k = 0; k < 80; ++k)
        ASSERT_EQ(s.run("INSERT INTO c VALUES (?, '" + std::to_string(k) + "')", {pInt(k)}).status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.run("INSERT INTO c VALUES (?, '0')", {pInt(100)}).status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(keys("SELECT count(*) FROM c"), (std::vector<std::string>{"81"}));
}

TEST_F(StatementCache, PreparedStatementExecutedAfterTheTableChanged) {
    ASSERT_EQ(s.exec("prepare p1 from SELECT * FROM c").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.run("INSERT INTO c VALUES (1, 'a')").status, IIAPI_ST_SUCCESS);
    Result r = s.run("execute p1", {}, IIAPI_QT_EXEC);
    EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    ASSERT_EQ(s.exec("DROP TABLE c").status, IIAPI_ST_SUCCESS);
    Result gone = s.run("p1", {pService("cur")}, IIAPI_QT_OPEN);
    EXPECT_EQ(gone.status, IIAPI_ST_ERROR);
}

}  // namespace

namespace {

// A kept statement's result columns are described once for each set of parameter types: an
// expression with a marker takes the type of the value sent for it each time.
TEST_F(StatementCache, KeptDescriptionFollowsTheParameterTypes) {
    ASSERT_EQ(s.run("INSERT INTO c VALUES (1, 'a')").status, IIAPI_ST_SUCCESS);
    const std::string sel = "SELECT k, k + ? FROM c";
    for (int round = 0; round < 2; ++round) {
        Result i = s.run(sel, {pInt(7)});
        ASSERT_EQ(i.status, IIAPI_ST_SUCCESS) << firstMessage(i.msgs);
        ASSERT_EQ(i.desc.size(), 2u);
        EXPECT_EQ(i.desc[1].ds_dataType, IIAPI_INT_TYPE);
        Result d = s.run(sel, {pFloat(1.5)});
        ASSERT_EQ(d.status, IIAPI_ST_SUCCESS) << firstMessage(d.msgs);
        ASSERT_EQ(d.desc.size(), 2u);
        EXPECT_EQ(d.desc[1].ds_dataType, IIAPI_FLT_TYPE);
        EXPECT_EQ(d.desc[0].ds_dataType, IIAPI_INT_TYPE);
    }
}

}  // namespace
