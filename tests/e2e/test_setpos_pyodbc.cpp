// pyodbc on a data source that offers positioned changes: the information answers it reads and
// its ordinary paths, for both builds (the Debian system Python with python3-pyodbc).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "connect_fixture.h"

namespace {

class PyodbcRowChanges : public connecttest::ConnectThroughDriverManager {};

TEST_P(PyodbcRowChanges, OrdinaryPathsWithTheRowChangeAnswers) {
    const char* python = "/usr/bin/python3";
    if (access(python, X_OK) != 0 || std::system("/usr/bin/python3 -c 'import pyodbc' 2>/dev/null") != 0)
        GTEST_SKIP() << "Debian's python3 with python3-pyodbc is not installed";
    const std::string table = GetParam().wide ? "pyrowchg_w" : "pyrowchg_n";
    int status = 0;
    const std::string out = RunCommand(InterpreterEnv(GetParam()) + python + " " + TV_SOURCE_DIR +
                                           "/tests/e2e/pyodbc_row_changes.py " + Dsn() + " " + table + " 2>&1",
                                       &status);
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(0, WEXITSTATUS(status)) << out;
    EXPECT_NE(std::string::npos, out.find("row changes ok")) << out;
}

INSTANTIATE_TEST_SUITE_P(Builds, PyodbcRowChanges, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
