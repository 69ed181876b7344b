// pyodbc's cursor.tables(), cursor.columns() and cursor.primaryKeys() on the sample schema,
// run by the system's Python in this process's Driver Manager configuration, both builds.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "catalog_fixture.h"

namespace catalogtest {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

const char* kScript = R"(import sys
import pyodbc
drv, db = sys.argv[1], sys.argv[2]
cn = pyodbc.connect("DRIVER={%s};DSN=%s;UID=tvuser;PWD=secret" % (drv, db), autocommit=True)
cur = cn.cursor()
def show(label, fn):
    try:
        print(label, fn())
    except pyodbc.Error as e:
        print(label, "error", e.args[0], e.args[1])
show("tables", lambda: sorted((r.table_name, r.table_type) for r in cur.tables(tableType="TABLE,VIEW")))
show("columns", lambda: [(r.column_name, r.data_type, r.type_name, r.is_nullable) for r in cur.columns(table="dept")])
show("pk", lambda: [(r.table_name, r.column_name, r.key_seq) for r in cur.primaryKeys("emp")])
)";

bool HavePyodbc() {
    std::string cmd = std::string(kPython) + " -c 'import pyodbc' >/dev/null 2>&1";
    return access(kPython, X_OK) == 0 && std::system(cmd.c_str()) == 0;
}

class CatalogPyodbc : public CatalogTest {
protected:
    void SetUp() override {
        ConnectThroughDriverManager::SetUp();
        if (HasFatalFailure()) return;
        EnsureSampleDatabases();
    }
};

TEST_P(CatalogPyodbc, ListsTheSampleTables) {
    if (!HavePyodbc()) GTEST_SKIP() << "no pyodbc for " << kPython;
    std::string script = ::testing::TempDir() + "tv_catalog_" + std::to_string(getpid()) + ".py";
    std::ofstream(script) << kScript;
    std::string env = InterpreterEnv(GetParam());
    std::string out = RunCommand(env + kPython + " " + script + " '" + DriverName() + "' " + Database() + " 2>&1");
    unlink(script.c_str());
    EXPECT_NE(std::string::npos, out.find("tables [('all_types', 'TABLE'), ('dept', 'TABLE'), ('emp', 'TABLE'), "
                                          "('emp_names', 'VIEW')]"))
        << out;
    EXPECT_NE(std::string::npos, out.find("columns [('deptno', 4, 'INTEGER', 'NO'), ('dname', 12, 'VARCHAR', ")) << out;
    EXPECT_NE(std::string::npos, out.find("pk [('emp', 'empno', 1)]")) << out;
}

INSTANTIATE_TEST_SUITE_P(Builds, CatalogPyodbc, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& i) { return BuildName(i.param); });

}  // namespace
}  // namespace catalogtest
