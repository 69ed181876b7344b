// pyodbc's executemany with fast_executemany (parameter arrays bound row-wise) inserting 10 000
// rows through unixODBC, for both builds: runs the Debian system Python with python3-pyodbc.
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "connect_fixture.h"
#include "tests/support/mapped_libs_fixture.h"

namespace {

class PyodbcFastExecutemany : public connecttest::ConnectThroughDriverManager {};

TEST_P(PyodbcFastExecutemany, InsertsTenThousandRows) {
    const char* python = "/usr/bin/python3";
    if (access(python, X_OK) != 0 || std::system("/usr/bin/python3 -c 'import pyodbc' 2>/dev/null") != 0)
        GTEST_SKIP() << "Debian's python3 with python3-pyodbc is not installed";
    // A driver built with the sanitizers needs their run-times first in the Python process.
    std::string preload;
    for (const char* lib : {"libasan.so", "libubsan.so"}) {
        std::string p = tvtest::MappedLibraryPath(lib, true);
        if (!p.empty()) preload += (preload.empty() ? "" : " ") + p;
    }
    std::string cmd;
    if (!preload.empty()) cmd = "LD_PRELOAD='" + preload + "' ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 ";
    const std::string table = GetParam().wide ? "fastmany_w" : "fastmany_n";
    cmd += std::string(python) + " " + TV_SOURCE_DIR + "/tests/e2e/pyodbc_fast_executemany.py " + Dsn() + " " + table +
           " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(nullptr, p);
    std::string out;
    std::array<char, 512> buf;
    while (fgets(buf.data(), int(buf.size()), p)) out += buf.data();
    const int status = pclose(p);
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(0, WEXITSTATUS(status)) << out;
    EXPECT_NE(std::string::npos, out.find("10000 rows inserted and read back")) << out;
}

INSTANTIATE_TEST_SUITE_P(Builds, PyodbcFastExecutemany, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

// datetime values with microseconds go into TIMESTAMP(6) and come back unchanged, by execute,
// executemany and fast_executemany: pyodbc sends the fraction the type information allows.
class PyodbcTimestamps : public connecttest::ConnectThroughDriverManager {};

TEST_P(PyodbcTimestamps, MicrosecondsGoInAndComeBackUnchanged) {
    const char* python = "/usr/bin/python3";
    if (access(python, X_OK) != 0 || std::system("/usr/bin/python3 -c 'import pyodbc' 2>/dev/null") != 0)
        GTEST_SKIP() << "Debian's python3 with python3-pyodbc is not installed";
    const std::string table = GetParam().wide ? "pystamps_w" : "pystamps_n";
    int status = 0;
    const std::string out = RunCommand(InterpreterEnv(GetParam()) + python + " " + TV_SOURCE_DIR +
                                           "/tests/e2e/pyodbc_timestamps.py " + Dsn() + " " + table + " 2>&1",
                                       &status);
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(0, WEXITSTATUS(status)) << out;
    EXPECT_NE(std::string::npos, out.find("timestamps ok")) << out;
}

INSTANTIATE_TEST_SUITE_P(Builds, PyodbcTimestamps, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
