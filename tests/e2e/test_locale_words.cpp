// An application that set a single-byte locale whose case mapping is not ASCII's (a Turkish one
// lowers "I" to a dotless i and raises "i" to a dotted I): SQL keywords, statement kinds, escapes
// and names are still read as SQL reads them, through the Driver Manager for both builds.
#include <cctype>
#include <clocale>
#include <string>

#include "results_fixture.h"

namespace resultstest {
namespace {

class TurkishLocale : public ResultsTest {
protected:
    std::string saved;
    void SetUp() override {
        const char* current = std::setlocale(LC_CTYPE, nullptr);
        saved = current ? current : "C";
        if (!std::setlocale(LC_CTYPE, "tr_TR.ISO-8859-9") && !std::setlocale(LC_CTYPE, "tr_TR.iso88599"))
            GTEST_SKIP() << "no tr_TR.ISO-8859-9 locale installed";
        ASSERT_NE(std::toupper('i'), 'I');  // the locale really maps "i" otherwise
        ResultsTest::SetUp();
    }
    void TearDown() override {
        ResultsTest::TearDown();
        std::setlocale(LC_CTYPE, saved.c_str());
    }
};

TEST_P(TurkishLocale, StatementsWithAnIInTheirKeywordsAreWhatTheySay) {
    const std::string t = Make("trwords", "id integer not null, name varchar(10)");
    // An insert on a statement that asked for a scrollable cursor: a change, not a cursor.
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_STATIC, 0));
    ASSERT_EQ(SQL_SUCCESS, Exec("insert into " + t + " values (1, 'bir')")) << Diag();
    SQLLEN rows = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &rows));
    EXPECT_EQ(rows, 1);
    SQLFreeStmt(stmt, SQL_CLOSE);
    // A parameter array of an insert counts every row it wrote.
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_FORWARD_ONLY, 0));
    SQLINTEGER ids[3] = {2, 3, 4};
    SQLULEN processed = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, Exec("insert into " + t + " (id) values (?)")) << Diag();
    EXPECT_EQ(processed, 3u);
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &rows));
    EXPECT_EQ(rows, 3);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0));
    // Keywords, an escape and a function with an I, in lower case.
    EXPECT_EQ(ForwardIds("select {fn convert(id, sql_integer)} from " + t + " where id in (1, 3) order by id"),
              (std::vector<int>{1, 3}));
    EXPECT_EQ(ForwardIds("select id from " + t + " where name is not null"), (std::vector<int>{1}));
}

INSTANTIATE_TEST_SUITE_P(Builds, TurkishLocale, ::testing::ValuesIn(DriverBuilds()),
                         [](const ::testing::TestParamInfo<DriverBuild>& info) { return BuildName(info.param); });

}  // namespace
}  // namespace resultstest
