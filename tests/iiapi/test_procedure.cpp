// Database procedures through the raw interface: input, output and input/output parameters,
// return values and result rows.
#include "tests/iiapi/api_fixture.h"

using namespace apitest;

namespace {

class Proc : public SampleDatabase {
protected:
    static Param named(Param p, const char* name, int colType) {
        p.name = name;
        p.d.ds_columnType = int16_t(colType);
        return p;
    }
};

TEST_F(Proc, InputAndInOutParametersWithReturnValue) {
    Result r = s.run("",
                     {pService("raise_salary"), named(pInt(7369), "p_empno", IIAPI_COL_PROCINPARM),
                      named(pFloat(10), "p_pct", IIAPI_COL_PROCINPARM),
                      named(pNull(IIAPI_DEC_TYPE, 5), "p_newsal", IIAPI_COL_PROCBYREFPARM)},
                     IIAPI_QT_EXEC_PROCEDURE);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    ASSERT_EQ(r.desc.size(), 1u);
    EXPECT_EQ(r.names[0], "p_newsal");
    EXPECT_EQ(r.desc[0].ds_dataType, IIAPI_DEC_TYPE);
    EXPECT_EQ(r.desc[0].ds_columnType, IIAPI_COL_PROCBYREFPARM);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "880.00");
    EXPECT_TRUE(r.hasProcReturn);
    EXPECT_EQ(r.procReturn, 1);
    Result check = s.exec("SELECT sal FROM emp WHERE empno = 7369");
    ASSERT_EQ(check.rows.size(), 1u);
    EXPECT_EQ(check.rows[0][0], "880.00");
}

TEST_F(Proc, OwnerServiceParameterAndDefaults) {
    // The owner may follow the name; p_pct takes its default (0).
    Result r = s.run("",
                     {pService("raise_salary"), pService("owner"), named(pInt(7499), "p_empno", IIAPI_COL_PROCINPARM),
                      named(pNull(IIAPI_DEC_TYPE, 5), "p_newsal", IIAPI_COL_PROCBYREFPARM)},
                     IIAPI_QT_EXEC_PROCEDURE);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "1600.00");
    Result wrongOwner = s.run("", {pService("raise_salary"), pService("nobody"), named(pInt(1), "p_empno", 2)},
                              IIAPI_QT_EXEC_PROCEDURE);
    EXPECT_EQ(wrongOwner.status, IIAPI_ST_ERROR);
}

TEST_F(Proc, OutputParameterBuiltInALoop) {
    Result r = s.run("",
                     {pService("dept_count"), named(pInt(20), "p_deptno", IIAPI_COL_PROCINPARM),
                      named(pNull(IIAPI_VCH_TYPE, 202), "p_names", IIAPI_COL_PROCBYREFPARM)},
                     IIAPI_QT_EXEC_PROCEDURE);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "Ford,Jones,Smith");
    EXPECT_EQ(r.procReturn, 3);
}

TEST_F(Proc, ProcedureWithoutOutputsHasNoDescriptors) {
    IIAPI_STATUS st;
    std::vector<Msg> msgs;
    II_PTR h = s.open("", {pService("dept_count"), named(pInt(10), "p_deptno", IIAPI_COL_PROCINPARM)},
                      IIAPI_QT_EXEC_PROCEDURE, st, &msgs);
    ASSERT_EQ(st, IIAPI_ST_SUCCESS) << firstMessage(msgs);
    std::vector<IIAPI_DESCRIPTOR> d;
    std::vector<std::string> n;
    EXPECT_EQ(descriptors(h, d, n), IIAPI_ST_NO_DATA);
    IIAPI_GETQINFOPARM gq{};
    gq.gq_stmtHandle = h;
    IIapi_getQueryInfo(&gq);
    ASSERT_EQ(finish(gq.gq_genParm), IIAPI_ST_SUCCESS);
    EXPECT_TRUE(gq.gq_mask & IIAPI_GQ_PROCEDURE_RET);
    EXPECT_EQ(gq.gq_procedureReturn, 1);
    Session::close(h);
}

TEST_F(Proc, ResultRows) {
    Result r =
        s.run("", {pService("emps_of"), named(pInt(30), "p_deptno", IIAPI_COL_PROCINPARM)}, IIAPI_QT_EXEC_PROCEDURE);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    ASSERT_EQ(r.desc.size(), 2u);
    EXPECT_EQ(r.desc[0].ds_dataType, IIAPI_INT_TYPE);
    EXPECT_EQ(r.desc[1].ds_dataType, IIAPI_VCH_TYPE);
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(r.rows[0][0], "7499");
    EXPECT_EQ(r.rows[0][1], "Allen");
    EXPECT_EQ(r.rows[1][1], "Blake");
}

TEST_F(Proc, ExecuteProcedureStatement) {
    Result r = s.exec("EXECUTE PROCEDURE dept_count (p_deptno = 10 + 10)");
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    EXPECT_TRUE(r.hasProcReturn);
    EXPECT_EQ(r.procReturn, 3);
}

TEST_F(Proc, Failures) {
    struct Case {
        std::vector<Param> params;
        const char* state;
    } cases[] = {
        {{pService("no_such_proc")}, "42000"},
        {{pService("raise_salary"), named(pInt(1), "p_nosuch", 2)}, "42000"},
        {{pService("raise_salary"), named(pInt(1), "p_empno", 2), named(pInt(2), "p_empno", 2)}, "42000"},
        {{pService("raise_salary")}, "07001"},  // p_empno is NOT NULL
        {{pService("raise_salary"), named(pNull(IIAPI_INT_TYPE, 4), "p_empno", 2)}, "23000"},
        {{pService("raise_salary"), pInt(1)}, "07001"},  // unnamed parameter
    };
    for (auto& c : cases) {
        Result r = s.run("", c.params, IIAPI_QT_EXEC_PROCEDURE);
        EXPECT_EQ(r.status, IIAPI_ST_ERROR);
        ASSERT_FALSE(r.msgs.empty());
        EXPECT_EQ(r.msgs[0].sqlstate, c.state) << r.msgs[0].text;
    }
}

TEST_F(Proc, CreateRunAndDrop) {
    ASSERT_EQ(s.exec("CREATE PROCEDURE fact (n integer NOT NULL, OUT r bigint) AS DECLARE i integer; BEGIN"
                     " r = 1; i = 2; WHILE i <= n DO r = r * i; i = i + 1; ENDWHILE;"
                     " IF n < 0 THEN RETURN -1; ELSEIF n = 0 THEN RETURN 0; ELSE RETURN 1; ENDIF; END")
                  .status,
              IIAPI_ST_SUCCESS);
    Result r = s.run("",
                     {pService("fact"), named(pInt(10), "n", IIAPI_COL_PROCINPARM),
                      named(pNull(IIAPI_INT_TYPE, 8), "r", IIAPI_COL_PROCBYREFPARM)},
                     IIAPI_QT_EXEC_PROCEDURE);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "3628800");
    EXPECT_EQ(r.procReturn, 1);
    Result neg = s.run("", {pService("fact"), named(pInt(-3), "n", 2)}, IIAPI_QT_EXEC_PROCEDURE);
    EXPECT_EQ(neg.procReturn, -1);
    Result zero = s.run("", {pService("fact"), named(pInt(0), "n", 2)}, IIAPI_QT_EXEC_PROCEDURE);
    EXPECT_EQ(zero.procReturn, 0);
    EXPECT_EQ(s.exec("CREATE PROCEDURE fact (n integer) AS BEGIN RETURN 1; END").msgs.at(0).sqlstate, "42S01");
    ASSERT_EQ(s.exec("DROP PROCEDURE fact").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(s.run("", {pService("fact"), named(pInt(1), "n", 2)}, IIAPI_QT_EXEC_PROCEDURE).status, IIAPI_ST_ERROR);
    EXPECT_EQ(s.exec("CREATE PROCEDURE bad (n nosuchtype) AS BEGIN RETURN 1; END").status, IIAPI_ST_ERROR);
    EXPECT_EQ(s.exec("CREATE PROCEDURE bad2 (n integer) AS RETURN 1").status, IIAPI_ST_ERROR);
}

TEST_F(Proc, QuotedTextInTheBody) {
    ASSERT_EQ(s.exec("CREATE PROCEDURE qs (OUT r varchar(10)) AS BEGIN r = 'it''s'; RETURN 1; END").status,
              IIAPI_ST_SUCCESS);
    Result r = s.run("", {pService("qs"), named(pNull(IIAPI_VCH_TYPE, 12), "r", IIAPI_COL_PROCBYREFPARM)},
                     IIAPI_QT_EXEC_PROCEDURE);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.rows[0][0], "it's");
}

TEST_F(Proc, ProcedureLookupByTheDriversCount) {
    Result r = s.run("select count(*) from iiprocedure where dbp_owner='owner' AND dbp_name='raise_salary'", {},
                     IIAPI_QT_SELECT_SINGLE);
    ASSERT_EQ(r.status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(r.desc.size(), 1u);
    EXPECT_EQ(r.desc[0].ds_dataType, IIAPI_INT_TYPE);
    EXPECT_EQ(r.desc[0].ds_length, 4);
    EXPECT_EQ(r.rows.at(0)[0], "1");
    Result none = s.run("select count(*) from iiprocedure where dbp_name='nothing'", {}, IIAPI_QT_SELECT_SINGLE);
    EXPECT_EQ(none.rows.at(0)[0], "0");
}

}  // namespace
