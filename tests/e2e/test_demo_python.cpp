// The pyodbc example (examples/pyodbc_demo.py) run by Debian's own Python against each built
// driver, through this process's private Driver Manager configuration, on a fresh sample database.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/e2e/e2e_fixture.h"

namespace {

constexpr const char* kPython = "/usr/bin/python3";

class DemoPython : public ::testing::TestWithParam<DriverBuild> {};

TEST_P(DemoPython, ExampleRunsAndReadsBackWhatItWrote) {
    ASSERT_EQ(0, access(kPython, X_OK)) << kPython << " missing (scripts/deps.sh installs python3-pyodbc)";
    int status = 0;
    RunCommand(std::string(kPython) + " -c 'import pyodbc' 2>&1", &status);
    ASSERT_EQ(0, status) << "pyodbc missing for " << kPython;

    // A database of the example's own per build; the example drops its table at the end, so
    // a second run in the same directory starts the same way.
    const std::string db = GetParam().wide ? "pydemo_w" : "pydemo_n";
    RunCommand(BuildDir() + "/bin/iicreatedb -s " + db + " 2>&1", &status);
    const std::string driver = GetParam().wide ? "Telvarin Unicode" : "Telvarin ANSI";
    const std::string conn = "DRIVER={" + driver + "};DSN=" + db;
    const std::string script = std::string(TV_SOURCE_DIR) + "/examples/pyodbc_demo.py";
    std::string out = RunCommand(InterpreterEnv(GetParam()) + kPython + " " + script + " '" + conn + "' 2>&1", &status);
    ASSERT_EQ(0, status) << out;
    // Every step printed its result: the example itself asserts the rows it read back.
    for (const char* line :
         {"connected to INGRES", "inserted 500 rows with fast_executemany", "rows with qty 3: 72",
          "(3, 'item 3', 3, Decimal('3.03'), datetime.datetime(2024, 1, 4, 3, 3, 3))", "count 500 total qty 1497",
          "after raise_salary(7369, 10): 880.00", "emps_of(20): [(7369, 'Smith'), (7566, 'Jones'), (7902, 'Ford')]",
          "tables: ['all_types', 'dept', 'emp', 'py_orders']",
          "columns of dept: [('deptno', 'INTEGER'), ('dname', 'VARCHAR'), ('loc', 'CHAR')]", "\ndone\n"})
        EXPECT_NE(std::string::npos, out.find(line)) << "missing: " << line << "\n" << out;
    // The procedure's change was rolled back and the example's table is gone.
    out = RunCommand(BuildDir() + "/bin/iisql " + db + " 'SELECT sal FROM emp WHERE empno = 7369' " +
                         "'SELECT COUNT(*) FROM iitables WHERE table_name = '\\''py_orders'\\''' 2>&1",
                     &status);
    EXPECT_EQ(0, status) << out;
    EXPECT_NE(std::string::npos, out.find("800.00")) << out;
    EXPECT_NE(std::string::npos, out.find("\n0\n")) << out;
}

INSTANTIATE_TEST_SUITE_P(Builds, DemoPython, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
