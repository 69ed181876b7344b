// Perl DBI (DBD::ODBC, Debian's libdbd-odbc-perl) reads the catalog methods by column name,
// both builds; skipped where the module is not installed.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "catalog_fixture.h"

namespace catalogtest {
namespace {

constexpr const char* kPerl = "/usr/bin/perl";

bool HaveDbdOdbc() {
    std::string cmd = std::string(kPerl) + " -MDBD::ODBC -e 1 >/dev/null 2>&1";
    return access(kPerl, X_OK) == 0 && std::system(cmd.c_str()) == 0;
}

std::string Line(const std::string& out, const std::string& label) {
    size_t at = out.find("\n" + label + " ");
    if (at == std::string::npos && out.rfind(label + " ", 0) == 0)
        at = 0;
    else if (at != std::string::npos)
        ++at;
    if (at == std::string::npos) return "(no line " + label + ")";
    size_t end = out.find('\n', at);
    return out.substr(at + label.size() + 1,
                      end == std::string::npos ? std::string::npos : end - at - label.size() - 1);
}

class CatalogPerl : public CatalogTest {
protected:
    void SetUp() override {
        ConnectThroughDriverManager::SetUp();
        if (HasFatalFailure()) return;
        EnsureSampleDatabases();
    }
};

TEST_P(CatalogPerl, DbiReadsEveryCatalogColumnByName) {
    if (!HaveDbdOdbc()) GTEST_SKIP() << "no DBD::ODBC for " << kPerl << " (scripts/deps.sh installs libdbd-odbc-perl)";
    std::string env = InterpreterEnv(GetParam());
    std::string script = std::string(TV_SOURCE_DIR) + "/tests/e2e/dbi_catalog.pl";
    std::string out = RunCommand(env + kPerl + " " + script + " '" + DriverName() + "' " + Database() + " 2>&1");
    ASSERT_NE(std::string::npos, out.find("\ndone\n")) << out;
    EXPECT_EQ(Line(out, "tables"),
              "<null>:tvuser:all_types:TABLE,<null>:tvuser:dept:TABLE,<null>:tvuser:emp:TABLE,"
              "<null>:tvuser:emp_names:VIEW")
        << out;
    // The database has no catalogs, and SQL_CATALOG_NAME says so.
    EXPECT_EQ(Line(out, "catalog_name"), "N") << out;
    EXPECT_EQ(Line(out, "columns"),
              "dept:deptno:4:INTEGER:10:0:0:1:NO,dept:dname:12:VARCHAR:20:<null>:0:2:NO,"
              "dept:loc:1:CHAR:10:<null>:1:3:YES")
        << out;
    EXPECT_EQ(Line(out, "primary"), "tvuser:emp:empno:1:$emp_pk") << out;
    // emp.deptno REFERENCES dept(deptno), no action either way, not deferrable.
    EXPECT_EQ(Line(out, "foreign"), "dept:deptno:emp:deptno:1:3:3:7") << out;
    // Unique indexes only: the table's key and emp_by_name.
    EXPECT_EQ(Line(out, "statistics"),
              "emp:0:emp:3:1:empno:A,emp:0:emp_by_name:3:1:ename:A,emp:0:emp_by_name:3:2:empno:A")
        << out;
}

INSTANTIATE_TEST_SUITE_P(Builds, CatalogPerl, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& i) { return BuildName(i.param); });

}  // namespace
}  // namespace catalogtest
