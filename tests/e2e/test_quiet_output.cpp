// The driver lives in the application's process: an application that writes nothing itself
// (tests/e2e/quiet_app.py) must find its stdout and stderr empty after work that once made the
// driver print.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/e2e/e2e_fixture.h"

namespace {

constexpr const char* kPython = "/usr/bin/python3";

class QuietOutput : public ::testing::TestWithParam<DriverBuild> {};

TEST_P(QuietOutput, ApplicationStdoutAndStderrStayEmpty) {
    ASSERT_EQ(0, access(kPython, X_OK)) << kPython << " missing (scripts/deps.sh installs python3-pyodbc)";
    int status = 0;
    RunCommand(std::string(kPython) + " -c 'import pyodbc' 2>&1", &status);
    ASSERT_EQ(0, status) << "pyodbc missing for " << kPython;
    const std::string db = GetParam().wide ? "quiet_w" : "quiet_n";
    RunCommand(BuildDir() + "/bin/iicreatedb " + db + " 2>&1", &status);
    ASSERT_EQ(0, status) << "iicreatedb " << db;
    const std::string driver = GetParam().wide ? "Telvarin Unicode" : "Telvarin ANSI";
    const std::string conn = "DRIVER={" + driver + "};DSN=" + db;
    const std::string script = std::string(TV_SOURCE_DIR) + "/tests/e2e/quiet_app.py";
    char errName[] = "/tmp/tv_quiet_XXXXXX";
    int fd = mkstemp(errName);
    ASSERT_GE(fd, 0);
    close(fd);
    // Tracing is not asked for anywhere.
    const std::string out = RunCommand(
        "env -u KIV_DEBUGFILE " + InterpreterEnv(GetParam()) + kPython + " " + script + " '" + conn + "' 2>" + errName,
        &status);
    std::ifstream in(errName);
    std::stringstream err;
    err << in.rdbuf();
    unlink(errName);
    EXPECT_EQ(0, status) << err.str();
    EXPECT_EQ("", out);
    EXPECT_EQ("", err.str());
}

INSTANTIATE_TEST_SUITE_P(Builds, QuietOutput, ::testing::ValuesIn(DriverBuilds()),
                         [](const auto& info) { return BuildName(info.param); });

}  // namespace
