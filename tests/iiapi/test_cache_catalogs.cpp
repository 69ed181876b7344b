// Catalog views are made on a session's first statement that names one: they must be there for
// any spelling, after a rollback that took them away, and per session.
#include "tests/iiapi/api_fixture.h"

using namespace apitest;

namespace {

class LazyCatalogs : public ::testing::Test {
protected:
    void SetUp() override {
        db = freshDatabase();
        ASSERT_EQ(s.connect(environment(), db, "tester"), IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.exec("CREATE TABLE lc (k integer)").status, IIAPI_ST_SUCCESS);
        ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    }
    // Tables of the user "lc" as listed by the catalog; empty on failure (with a test failure).
    std::vector<std::string> listed(Session& on, const std::string& sql) {
        Result r = on.exec(sql);
        EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << sql << ": " << firstMessage(r.msgs);
        std::vector<std::string> out;
        for (auto& row : r.rows) out.push_back(trimmed(row[0]));
        return out;
    }
    std::string db;
    Session s;
};

const char* kTables = "SELECT table_name FROM iitables WHERE table_name = 'lc'";

TEST_F(LazyCatalogs, FirstUseInAnySpellingFindsTheViews) {
    EXPECT_EQ(listed(s, "SELECT table_name FROM IITables WHERE table_name = 'lc'"), std::vector<std::string>{"lc"});
    Session other;
    ASSERT_EQ(other.connect(environment(), db, "tester"), IIAPI_ST_SUCCESS);
    // A view that reads another view, as the first catalog statement of its session.
    Result r = other.exec("SELECT DISTINCT constraint_type FROM iiconstraints");
    EXPECT_EQ(r.status, IIAPI_ST_SUCCESS) << firstMessage(r.msgs);
}

TEST_F(LazyCatalogs, ViewsMadeInsideARolledBackTransactionAreMadeAgain) {
    EXPECT_EQ(listed(s, kTables), std::vector<std::string>{"lc"});
    ASSERT_EQ(s.rollback(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(listed(s, kTables), std::vector<std::string>{"lc"});
    EXPECT_EQ(listed(s, "SELECT column_name FROM iicolumns WHERE table_name = 'lc'"), std::vector<std::string>{"k"});
    ASSERT_EQ(s.commit(), IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.rollback(), IIAPI_ST_SUCCESS);
    EXPECT_EQ(listed(s, kTables), std::vector<std::string>{"lc"});
}

TEST_F(LazyCatalogs, ViewsMadeAfterASavepointSurviveRollbackToIt) {
    ASSERT_EQ(s.exec("SAVEPOINT sp1").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(listed(s, kTables), std::vector<std::string>{"lc"});
    ASSERT_EQ(s.exec("ROLLBACK TO sp1").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(listed(s, kTables), std::vector<std::string>{"lc"});
    // A catalog statement that inserts rather than returns rows.
    ASSERT_EQ(s.exec("CREATE TABLE names (n varchar(64))").status, IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.rollback(), IIAPI_ST_SUCCESS);
    ASSERT_EQ(s.exec("CREATE TABLE names (n varchar(64))").status, IIAPI_ST_SUCCESS);
    Result ins = s.exec("INSERT INTO names SELECT table_name FROM iitables WHERE table_name = 'lc'");
    ASSERT_EQ(ins.status, IIAPI_ST_SUCCESS) << firstMessage(ins.msgs);
    EXPECT_EQ(listed(s, "SELECT n FROM names"), std::vector<std::string>{"lc"});
}

TEST_F(LazyCatalogs, EachSessionSeesItsOwnUser) {
    Session other;
    ASSERT_EQ(other.connect(environment(), db, "someone"), IIAPI_ST_SUCCESS);
    EXPECT_EQ(listed(s, "SELECT user_name FROM iidbconstants"), std::vector<std::string>{"tester"});
    EXPECT_EQ(listed(other, "SELECT user_name FROM iidbconstants"), std::vector<std::string>{"someone"});
}

TEST_F(LazyCatalogs, TablesMadeAfterTheViewsAreListed) {
    EXPECT_EQ(listed(s, kTables), std::vector<std::string>{"lc"});
    ASSERT_EQ(s.exec("CREATE TABLE later (x integer)").status, IIAPI_ST_SUCCESS);
    EXPECT_EQ(listed(s, "SELECT table_name FROM iitables WHERE table_name = 'later'"),
              std::vector<std::string>{"later"});
}

}  // namespace
