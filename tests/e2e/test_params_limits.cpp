// The parameter-marker limit and the lengths a data-at-execution piece may have, through the
// Driver Manager for both builds.
#include <cstring>

#include "results_fixture.h"

namespace resultstest {
namespace {

class ParamLimits : public ResultsTest {
protected:
    static std::string InList(int markers) {
        std::string q = "select k from " + std::string("plim") + " where k in (?";
        q.reserve(size_t(markers) * 2 + 64);
        for (int i = 1; i < markers; ++i) q += ",?";
        return q + ")";
    }
    std::string State() {
        SQLCHAR state[6] = {}, msg[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT len = 0;
        SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, msg, sizeof msg, &len);
        message = reinterpret_cast<char*>(msg);
        return reinterpret_cast<char*>(state);
    }
    std::string message;
};

// Up to the limit a statement prepares, counts and binds every marker; past it the prepare is
// refused, whatever the count (also counts that do not fit 16 bits), and nothing wraps.
TEST_P(ParamLimits, MoreMarkersThanTheLimitAreRefusedAtPrepare) {
    Make("plim", "k integer");
    std::string t = Table("plim");
    struct Case {
        int markers;
        bool prepares;
    } cases[] = {{1, true}, {1024, true}, {1025, false}, {10000, false}, {40000, false}, {70000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.markers);
        std::string q = InList(c.markers);
        q.replace(q.find("plim"), 4, t);
        SQLRETURN rc = SQLPrepare(stmt, (SQLCHAR*)q.c_str(), SQL_NTS);
        if (c.prepares) {
            ASSERT_EQ(SQL_SUCCESS, rc) << Diag();
            SQLSMALLINT n = -1;
            ASSERT_EQ(SQL_SUCCESS, SQLNumParams(stmt, &n));
            EXPECT_EQ(c.markers, n);
            SQLINTEGER v = 7;
            SQLLEN ind = 0;
            EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, SQLUSMALLINT(c.markers), SQL_PARAM_INPUT, SQL_C_LONG,
                                                    SQL_INTEGER, 0, 0, &v, 0, &ind))
                << Diag();
        } else {
            EXPECT_EQ(SQL_ERROR, rc);
            EXPECT_EQ("42000", State());
            EXPECT_NE(std::string::npos, message.find("at most 1024")) << message;
            // The statement holds nothing prepared: it cannot be executed.
            EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
        }
        SQLFreeStmt(stmt, SQL_RESET_PARAMS);
        SQLFreeStmt(stmt, SQL_CLOSE);
    }
    // A number beyond the limit is no parameter of any statement.
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)("select k from " + t + " where k = ?").c_str(), SQL_NTS));
    SQLINTEGER v = 1;
    SQLLEN ind = 0;
    EXPECT_EQ(SQL_ERROR, SQLBindParameter(stmt, 1025, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &ind));
    EXPECT_EQ("07009", State());
    // The same text run directly is refused as well.
    SQLFreeStmt(stmt, SQL_CLOSE);
    std::string q = InList(2000);
    q.replace(q.find("plim"), 4, t);
    EXPECT_EQ(SQL_ERROR, Exec(q));
    EXPECT_EQ("42000", State());
}

// A piece's length is its byte count, SQL_NTS or SQL_NULL_DATA; SQL_DEFAULT_PARAM and the other
// negative values are refused with HY090, which ends the dialogue: the statement executes again.
TEST_P(ParamLimits, PutDataRefusesLengthsThatAreNoPieceLengths) {
    std::string t = Make("pput", "k integer, v varchar(40)");
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)("insert into " + t + " values (1, ?)").c_str(), SQL_NTS));
    SQLLEN dae = SQL_DATA_AT_EXEC;
    char token[4] = "tok";
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, token, 0, &dae));
    SQLPOINTER which = nullptr;
    for (SQLLEN bad : {SQLLEN(SQL_DEFAULT_PARAM), SQLLEN(SQL_NO_TOTAL), SQLLEN(SQL_DATA_AT_EXEC), SQLLEN(-7),
                       SQLLEN(SQL_LEN_DATA_AT_EXEC(10))}) {
        SCOPED_TRACE(bad);
        ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt)) << Diag();
        ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &which));
        ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "zz", 2));
        EXPECT_EQ(SQL_ERROR, SQLPutData(stmt, (SQLPOINTER) "xx", bad));
        EXPECT_EQ("HY090", State());
    }
    ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt)) << Diag();
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &which));
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "ab", 2));
    ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "cd", SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &which)) << Diag();
    SQLFreeStmt(stmt, SQL_CLOSE);
    ASSERT_EQ(SQL_SUCCESS, Exec("select v from " + t + " where k = 1")) << Diag();
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    char buf[16] = {};
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_CHAR, buf, sizeof buf, &len));
    EXPECT_STREQ("abcd", buf);
}

INSTANTIATE_TEST_SUITE_P(Builds, ParamLimits, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
