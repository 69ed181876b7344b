// The debug trace: file names, banners, the XA stream, the setup key's file name, files others
// planted, standard error, and whole lines from concurrent writers.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/setupkey.h"
#include "util/log.h"
#include "util/strutil.h"
#include "util/trace.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream s(text);
    std::string line;
    while (std::getline(s, line)) out.push_back(line);
    return out;
}

class Trace : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "trace_test_" + std::to_string(getpid()) + "/";
        mkdir(dir_.c_str(), 0755);
        ini_ = dir_ + "setup.ini";
        remove(ini_.c_str());
        setenv(kSetupIniEnv, ini_.c_str(), 1);
        unsetenv("KIV_DEBUGFILE");
    }
    void TearDown() override {
        DebugClose(0);
        DebugClose(1);
        unsetenv("KIV_DEBUGFILE");
        unsetenv(kSetupIniEnv);
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string dir_, ini_;
};

TEST_F(Trace, NameExpansion) {
    struct passwd* pw = getpwuid(geteuid());
    std::string user = pw ? pw->pw_name : "";
    std::string home = UserHomeDirectory();
    std::string pid = std::to_string(getpid());
    struct Case {
        const char* setting;
        int stream;
        std::string expect;
    } cases[] = {
        {"trace.log", 0, "trace.log"},
        {"trace.log", 1, "trace.log-xa"},
        {"a$$b", 0, "a$b"},
        {"a$xb$Zc", 0, "abc"},  // unknown letters drop both characters
        {"end$", 0, "end"},
        {"t-$P.log", 0, "t-" + pid + ".log"},
        {"t-$p", 1, "t-" + pid + "-xa"},
        {"$u.log", 0, user + ".log"},
        {"$H/x.log", 0, home + "/x.log"},
        {"$hx.log", 0, home + "/x.log"},
        {"", 0, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(DebugExpandName(c.setting, c.stream), c.expect) << c.setting;
    std::string timed = DebugExpandName("x-$T-$t", 0);
    EXPECT_TRUE(std::regex_match(timed, std::regex(R"(x-\d{8}-\d{6}-\d{8}-\d{6})"))) << timed;
}

TEST_F(Trace, FileTraceHasBannerLinesAndClosingLines) {
    std::string name = dir_ + "odbc-$P.log";
    setenv("KIV_DEBUGFILE", name.c_str(), 1);
    std::string path = dir_ + "odbc-" + std::to_string(getpid()) + ".log";
    {
        std::ofstream old(path);
        old << "stale content\n";
    }
    EXPECT_FALSE(DebugTraceOn());
    DebugOpen(0);
    ASSERT_TRUE(DebugStreamOpen(0));
    EXPECT_EQ(DebugTraceMode.load(), TRACE_FILE);
    DebugPrint("[%lX] SQL%s hStmt=%lX", 5L, "Prepare", 0x10003L);
    DebugClose(0);
    EXPECT_FALSE(DebugTraceOn());
    EXPECT_FALSE(DebugStreamOpen(0));
    DebugPrint("after close");  // goes nowhere

    std::vector<std::string> lines = Lines(ReadFile(path));
    ASSERT_EQ(lines.size(), 6u) << ReadFile(path);
    EXPECT_EQ(lines[0], std::string("** Corvanta ODBC Trace file for ") + GetProgramName() + " **");
    const std::regex stamp(R"(\w{3} \w{3} \d{2} \d{2}:\d{2}:\d{2} \d{4} \*\*)");
    EXPECT_EQ(lines[1].rfind("** started on ", 0), 0u);
    EXPECT_TRUE(std::regex_match(lines[1].substr(14), stamp)) << lines[1];
    EXPECT_EQ(lines[2], "[5] SQLPrepare hStmt=10003");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4].rfind("** finished on ", 0), 0u);
    EXPECT_TRUE(std::regex_match(lines[4].substr(15), stamp)) << lines[4];
    EXPECT_EQ(lines[5], "** normal end **");
    // The owner's alone, whatever the umask lets through.
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// What someone else may have put under the trace's name is neither followed nor truncated: the
// trace stays off and the other file keeps its bytes. A file of the owner's own is taken over,
// emptied and made private.
TEST_F(Trace, NamesPlantedByOthersAreRefusedAndOwnFilesMadePrivate) {
    const std::string victim = dir_ + "victim.txt";
    const std::string keep = "precious bytes\n";
    auto plant = [&](const std::string& path, const char* how) {
        {
            std::ofstream v(victim);
            v << keep;
        }
        if (std::string(how) == "symlink") return symlink(victim.c_str(), path.c_str()) == 0;
        if (std::string(how) == "hardlink") return link(victim.c_str(), path.c_str()) == 0;
        if (std::string(how) == "fifo") return mkfifo(path.c_str(), 0666) == 0;
        if (std::string(how) == "directory") return mkdir(path.c_str(), 0755) == 0;
        // Someone else's file: only a privileged test run can make one.
        std::ofstream(path) << keep;
        return geteuid() == 0 && chown(path.c_str(), 65534, 65534) == 0;
    };
    for (const char* how : {"symlink", "hardlink", "fifo", "directory", "foreign"}) {
        SCOPED_TRACE(how);
        const std::string path = dir_ + "planted-" + how + ".log";
        if (!plant(path, how)) continue;
        setenv("KIV_DEBUGFILE", path.c_str(), 1);
        DebugOpen(0);
        DebugOpen(1);  // the "-xa" name is free: only stream 0's is planted
        EXPECT_FALSE(DebugStreamOpen(0));
        DebugClose(1);
        EXPECT_EQ(ReadFile(victim), keep);
        if (std::string(how) == "foreign") {
            EXPECT_EQ(ReadFile(path), keep);
        }
    }
    // A file of the owner's, world-readable and full: emptied and made private.
    const std::string own = dir_ + "own.log";
    {
        std::ofstream o(own);
        o << "old trace of an earlier run\n";
    }
    chmod(own.c_str(), 0644);
    setenv("KIV_DEBUGFILE", own.c_str(), 1);
    DebugOpen(0);
    ASSERT_TRUE(DebugStreamOpen(0));
    DebugClose(0);
    struct stat st;
    ASSERT_EQ(stat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_THAT(ReadFile(own), ::testing::Not(::testing::HasSubstr("earlier run")));
    EXPECT_THAT(ReadFile(own), ::testing::HasSubstr("** normal end **"));
    // The XA trace is created as privately.
    ASSERT_EQ(stat((own + "-xa").c_str(), &st), -1);
    DebugOpen(1);
    ASSERT_TRUE(DebugStreamOpen(1));
    DebugClose(1);
    ASSERT_EQ(stat((own + "-xa").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Trace, XaStreamGoesToDashXaFileWithThreadIds) {
    std::string base = dir_ + "trace.log";
    setenv("KIV_DEBUGFILE", base.c_str(), 1);
    DebugOpen(0);
    DebugOpen(1);
    ASSERT_TRUE(DebugStreamOpen(1));
    XaTracePrint(1, "xa_open(%d)", 3);
    XaTracePrint(0, "plain");
    DebugPrint("odbc line");
    DebugClose(1);
    EXPECT_TRUE(DebugTraceOn());  // stream 0 still open
    DebugClose(0);
    EXPECT_FALSE(DebugTraceOn());

    std::vector<std::string> xa = Lines(ReadFile(base + "-xa"));
    ASSERT_GE(xa.size(), 8u) << ReadFile(base + "-xa");
    EXPECT_EQ(xa[0], "** Corvanta XA Trace File **");
    EXPECT_EQ(xa[1].rfind("** started on ", 0), 0u);
    EXPECT_EQ(xa[2], "");
    EXPECT_EQ(xa[3], "");
    EXPECT_EQ(xa[4], "[" + std::to_string(TraceThreadId()) + "] xa_open(3)");
    EXPECT_EQ(xa[5], "plain");
    EXPECT_EQ(xa.back(), "** normal end **");
    std::string odbc = ReadFile(base);
    EXPECT_THAT(odbc, ::testing::HasSubstr("odbc line\n"));
    EXPECT_THAT(odbc, ::testing::Not(::testing::HasSubstr("xa_open")));
    EXPECT_EQ(TraceThreadId(), static_cast<long>(gettid()));
}

TEST_F(Trace, SetupKeyValueNamesTheFileWhenVariableUnset) {
    std::string path = dir_ + "from-ini.log";
    {
        std::ofstream ini(ini_);
        ini << "[SOFTWARE\\Corvanta Software\\" TV_SETUP_NAME "\\ODBC]\nDebugFile=" << path << "\n";
    }
    DebugOpen(0);
    EXPECT_TRUE(DebugStreamOpen(0));
    DebugClose(0);
    EXPECT_THAT(ReadFile(path), ::testing::HasSubstr("** normal end **"));
    // The variable wins over the setup key.
    std::string env_path = dir_ + "from-env.log";
    setenv("KIV_DEBUGFILE", env_path.c_str(), 1);
    DebugOpen(0);
    DebugClose(0);
    EXPECT_THAT(ReadFile(env_path), ::testing::HasSubstr("** Corvanta ODBC Trace file"));
}

TEST_F(Trace, NoSettingOrUnwritablePathLeavesTracingOff) {
    DebugOpen(0);
    EXPECT_FALSE(DebugStreamOpen(0));
    EXPECT_FALSE(DebugTraceOn());
    setenv("KIV_DEBUGFILE", "", 1);
    DebugOpen(0);
    EXPECT_FALSE(DebugTraceOn());
    setenv("KIV_DEBUGFILE", "/nonexistent-dir/sub/trace.log", 1);
    DebugOpen(0);
    DebugOpen(1);
    EXPECT_FALSE(DebugStreamOpen(0));
    EXPECT_FALSE(DebugTraceOn());
    DebugPrint("nowhere %d", 1);
    XaTracePrint(1, "nowhere");
    DebugClose(0);
    DebugOpen(7);  // not a stream
    DebugClose(-1);
    EXPECT_FALSE(DebugStreamOpen(2));
}

TEST_F(Trace, StderrSettingWritesToStandardErrorWithoutBanner) {
    setenv("KIV_DEBUGFILE", "stderr", 1);
    ::testing::internal::CaptureStderr();
    DebugOpen(0);
    EXPECT_EQ(DebugTraceMode.load(), TRACE_STDERR);
    DebugPrint("line %d", 1);
    DebugClose(0);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("line 1\n", 0), 0u) << err;
    EXPECT_THAT(err, ::testing::HasSubstr("** normal end **"));
    EXPECT_EQ(DebugTraceMode.load(), TRACE_OFF);
    // Standard error was not closed.
    EXPECT_NE(fcntl(STDERR_FILENO, F_GETFD), -1);
    EXPECT_GE(fprintf(stderr, "%s", ""), 0);
}

TEST_F(Trace, LogChannelReachesTheTrace) {
    std::string path = dir_ + "log-into-trace.log";
    setenv("KIV_DEBUGFILE", path.c_str(), 1);
    DebugOpen(0);
    log_reset_for_testing();
    LOG_Channel* ch = DebugOpenLogChannel(7, LOGF_LEVEL | LOGF_SOURCE);
    ASSERT_NE(ch, nullptr);
    log_printf(LOGL_ERROR, "i-conn", 120, "connect failed: %s", "no server");
    DebugClose(0);
    log_printf(LOGL_ERROR, nullptr, 0, "after the trace closed");  // harmless
    log_close(ch);
    log_reset_for_testing();
    EXPECT_THAT(ReadFile(path), ::testing::HasSubstr("\nERROR (i-conn:120): connect failed: no server\n"));
    EXPECT_THAT(ReadFile(path), ::testing::Not(::testing::HasSubstr("after the trace")));
}

// Lines of several threads never mix, also while the XA stream opens and closes and log
// messages reach the trace (run under ThreadSanitizer too).
TEST_F(Trace, ConcurrentWritersKeepLinesWhole) {
    std::string path = dir_ + "threads.log";
    setenv("KIV_DEBUGFILE", path.c_str(), 1);
    DebugOpen(0);
    log_reset_for_testing();
    LOG_Channel* ch = DebugOpenLogChannel(7, 0);
    const std::string payload(300, 'p');
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &payload] {
            for (int i = 0; i < 150; ++i) {
                DebugPrint("T%d-%03d %s", t, i, payload.c_str());
                log_printf(LOGL_INFO, nullptr, 0, "L%d-%03d %s", t, i, payload.c_str());
                XaTracePrint(1, "x%d", i);
            }
        });
    threads.emplace_back([] {
        for (int i = 0; i < 20; ++i) {
            DebugOpen(1);
            DebugClose(1);
        }
    });
    for (auto& th : threads) th.join();
    log_close(ch);
    log_reset_for_testing();
    DebugClose(0);
    std::map<char, int> counts;
    for (const std::string& line : Lines(ReadFile(path))) {
        if (line.empty() || line[0] == '*') continue;
        ASSERT_EQ(line.size(), 307u) << line.substr(0, 60);
        ASSERT_TRUE((line[0] == 'T' || line[0] == 'L') && line[1] >= '0' && line[1] <= '3' && line[2] == '-' &&
                    line.compare(6, 301, " " + payload) == 0)
            << line.substr(0, 60);
        counts[line[0]]++;
    }
    EXPECT_EQ(counts['T'], 600);
    EXPECT_EQ(counts['L'], 600);
}

TEST_F(Trace, SetupKeyReader) {
    {
        std::ofstream ini(ini_);
        ini << "; comment\n"
               "[SOFTWARE\\Corvanta Software\\" TV_SETUP_NAME
               "]\n"
               "Root = top\n"
               "[software\\corvanta software\\" TV_SETUP_NAME
               "\\odbc]\n"
               "  debugfile =  \"/tmp/a b.log\"  \n"
               "# DebugFile = commented\n"
               "Empty=\n"
               "Long="
            << std::string(2000, 'L')
            << "\n"
               "[Other]\nDebugFile=other\n";
    }
    char buf[64];
    EXPECT_TRUE(SetupKeyGetString("ODBC", "DebugFile", buf, sizeof buf));
    EXPECT_STREQ(buf, "/tmp/a b.log");
    EXPECT_TRUE(SetupKeyGetString(nullptr, "root", buf, sizeof buf));
    EXPECT_STREQ(buf, "top");
    EXPECT_TRUE(SetupKeyGetString("ODBC", "Empty", buf, sizeof buf));
    EXPECT_STREQ(buf, "");
    strcpy(buf, "unchanged");
    EXPECT_FALSE(SetupKeyGetString("ODBC", "Missing", buf, sizeof buf));
    EXPECT_FALSE(SetupKeyGetString("Other", "DebugFile", buf, sizeof buf));
    EXPECT_FALSE(SetupKeyGetString("ODBC", "Long", buf, sizeof buf));  // does not fit
    EXPECT_STREQ(buf, "unchanged");
    char big[4096];
    EXPECT_TRUE(SetupKeyGetString("ODBC", "Long", big, sizeof big));
    EXPECT_EQ(strlen(big), 2000u);
    EXPECT_FALSE(SetupKeyGetString("ODBC", nullptr, buf, sizeof buf));
    EXPECT_FALSE(SetupKeyGetString("ODBC", "DebugFile", nullptr, 10));
    EXPECT_FALSE(SetupKeyGetString("ODBC", "DebugFile", buf, 0));

    EXPECT_EQ(GetSetupValue("ODBC", "DebugFile", "def", buf, sizeof buf), 13);  // size with the NUL
    EXPECT_STREQ(buf, "/tmp/a b.log");
    EXPECT_EQ(GetSetupValue("ODBC", "Missing", "default", buf, sizeof buf), 7);
    EXPECT_STREQ(buf, "default");
    EXPECT_EQ(GetSetupValue("ODBC", "Missing", "default", buf, 4), 3);
    EXPECT_STREQ(buf, "def");
    EXPECT_EQ(GetSetupValue("ODBC", "Missing", nullptr, buf, 4), 0);
    EXPECT_EQ(GetSetupValue("ODBC", "Missing", "x", nullptr, 4), 0);

    EXPECT_EQ(SetupIniPath(), ini_);
    unsetenv(kSetupIniEnv);
    EXPECT_EQ(SetupIniPath(), UserHomeDirectory() + (UserHomeDirectory().back() == '/' ? "" : "/") + ".telvarin.ini");
    setenv(kSetupIniEnv, (dir_ + "missing.ini").c_str(), 1);
    EXPECT_FALSE(SetupKeyGetString("ODBC", "DebugFile", buf, sizeof buf));
}

}  // namespace
