// The levelled log facility: level and category masks, prefixes, the daily header, message
// formats and cuts, file and stream channels, and logging while channels change.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "util/log.h"
#include "util/strutil.h"

namespace {

struct Capture {
    std::mutex lock;
    std::vector<std::string> lines;
    std::vector<int> levels;
};

void capture_write(LOG_Channel* ch, int level, const char* text) {
    auto* cap = static_cast<Capture*>(ch->user);
    std::lock_guard<std::mutex> g(cap->lock);
    cap->lines.emplace_back(text);
    cap->levels.push_back(level);
}

// log_printf without the printf check, for formats using %F and %L.
int log_unchecked(int level, const char* file, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int r = log_vprint(level, file, line, 1, format, args);
    va_end(args);
    return r;
}

struct tm g_now;
void fixed_clock(struct tm* out) { *out = g_now; }

struct tm make_tm(int year, int month, int day, int hour, int min, int sec) {
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = min;
    t.tm_sec = sec;
    timegm(&t);  // fills the weekday
    return t;
}

class Log : public ::testing::Test {
protected:
    void SetUp() override {
        log_reset_for_testing();
        g_now = make_tm(2024, 5, 14, 10, 0, 0);
        log_set_clock(fixed_clock);
    }
    void TearDown() override {
        log_reset_for_testing();
        log_set_clock(nullptr);
        log_set_program_name(nullptr);
    }
    LOG_Channel* open(Capture& cap, int level, uint32_t mask, uint32_t flags) {
        LOG_Channel* ch = log_channel_open(capture_write, nullptr, level, mask, flags);
        EXPECT_NE(ch, nullptr);
        ch->user = &cap;
        return ch;
    }
};

TEST_F(Log, LevelMaskAdmitsLevelsUpToTheChannelLevel) {
    Capture cap;
    open(cap, 3, 1, 0);
    for (int level = 0; level <= 7; ++level) log_printf(level, nullptr, 0, "level %d", level);
    log_printf(9, nullptr, 0, "nine");    // counts as 7: not admitted
    log_printf(-4, nullptr, 0, "minus");  // counts as 0
    std::vector<std::string> expect = {"level 0\n", "level 1\n", "level 2\n", "level 3\n", "minus\n"};
    EXPECT_EQ(cap.lines, expect);
}

TEST_F(Log, OutOfRangeLevelIsClampedToDebug) {
    Capture cap;
    open(cap, 7, 1, LOGF_LEVEL);
    log_printf(9, nullptr, 0, "nine");
    ASSERT_EQ(cap.lines.size(), 1u);
    EXPECT_EQ(cap.lines[0], "DEBUG: nine\n");
    EXPECT_EQ(cap.levels[0], 7);
}

TEST_F(Log, CategoryMaskSelectsChannels) {
    Capture one, two;
    open(one, 7, 1, 0);
    LOG_Channel* ch2 = open(two, 7, 2, 0);
    log_print_masked(3, nullptr, 0, 2, "for two");
    log_print_masked(3, nullptr, 0, 0, "for all");
    log_print_masked(3, nullptr, 0, 3, "for both");
    EXPECT_EQ(one.lines, (std::vector<std::string>{"for all\n", "for both\n"}));
    EXPECT_EQ(two.lines, (std::vector<std::string>{"for two\n", "for all\n", "for both\n"}));
    log_set_level(ch2, 2, 2);  // levels 3..7 lose bit 2
    log_print_masked(3, nullptr, 0, 2, "dropped");
    log_print_masked(2, nullptr, 0, 2, "kept");
    EXPECT_EQ(two.lines.back(), "kept\n");
    EXPECT_EQ(two.lines.size(), 4u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(ch2->levels[i], i <= 2 ? 2u : 0u) << i;
    log_set_level_all(ch2, 20);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(ch2->levels[i], 0xFFFFFFFFu);
}

TEST_F(Log, ShorthandsWriteAtTheirLevels) {
    Capture cap;
    open(cap, 7, 1, LOGF_LEVEL | LOGF_SOURCE);
    log_error("e%d", 1);
    log_warning("w");
    log_info("i");
    log_debug("d");
    std::vector<std::string> expect = {"ERROR: e1\n", "WARNING: w\n", "INFO: i\n", "DEBUG: d\n"};
    EXPECT_EQ(cap.lines, expect);
}

struct PrefixCase {
    uint32_t flags;
    int level;
    const char* file;
    const char* expect;
};

TEST_F(Log, PrefixesFollowFlags) {
    const PrefixCase cases[] = {
        {0, 3, "i-conn", "text\n"},
        {LOGF_TIME, 3, "i-conn", "05/14/2024 10:00:00 text\n"},
        {LOGF_TIME | LOGF_LEVEL | LOGF_SOURCE, 3, "i-conn", "05/14/2024 10:00:00 ERROR (i-conn:120): text\n"},
        {LOGF_LEVEL, 4, nullptr, "WARNING: text\n"},
        {LOGF_SOURCE, 3, nullptr, "text\n"},  // no file, no location and nothing to mark
        {LOGF_SOURCE, 3, "x.c", "(x.c:120): text\n"},
        {LOGF_PROGRAM, 6, nullptr, "PROG: text\n"},
        {LOGF_LEVEL | LOGF_PROGRAM, 5, nullptr, "NOTICE PROG: text\n"},
    };
    log_set_program_name("PROG");
    for (const PrefixCase& c : cases) {
        log_reset_for_testing();
        Capture cap;
        open(cap, 7, 1, c.flags);
        log_printf(c.level, c.file, 120, "text");
        ASSERT_EQ(cap.lines.size(), 1u) << c.flags;
        EXPECT_EQ(cap.lines[0], c.expect) << c.flags;
    }
}

TEST_F(Log, DailyHeaderOncePerDayWithTimeOfDay) {
    Capture cap;
    open(cap, 7, 1, LOGF_DATE | LOGF_TIME);
    log_printf(3, nullptr, 0, "a");
    g_now = make_tm(2024, 5, 14, 23, 59, 59);
    log_printf(3, nullptr, 0, "b");
    g_now = make_tm(2024, 5, 15, 0, 0, 1);
    log_printf(3, nullptr, 0, "c");
    std::vector<std::string> expect = {"\n\t\tTue May 14 2024\n", "10:00:00 a\n", "23:59:59 b\n",
                                       "\n\t\tWed May 15 2024\n", "00:00:01 c\n"};
    EXPECT_EQ(cap.lines, expect);
}

TEST_F(Log, MessagesInListOrderNewestChannelFirst) {
    Capture cap;
    LOG_Channel* a = open(cap, 7, 1, LOGF_LEVEL);
    LOG_Channel* b = open(cap, 7, 1, 0);
    log_printf(3, nullptr, 0, "x");
    EXPECT_EQ(cap.lines, (std::vector<std::string>{"x\n", "ERROR: x\n"}));
    log_close(b);
    log_printf(3, nullptr, 0, "y");
    EXPECT_EQ(cap.lines.back(), "ERROR: y\n");
    log_close(a);
    log_printf(3, nullptr, 0, "z");
    EXPECT_EQ(cap.lines.size(), 3u);
}

struct ExpandCase {
    const char* format;
    const char* file;
    int line;
    int err;
    std::string expect;
};

TEST(LogFormat, ExpansionSubstitutesAndEscapes) {
    const ExpandCase cases[] = {
        {"open failed: %m (%F line %L)", "i-conn", 42, ENOENT,
         std::string("open failed: ") + ErrorText(ENOENT) + " (i-conn line 42)\n"},
        {"first\nsecond", nullptr, 0, 0, "first\n"},
        {"%d items %s", nullptr, 0, 0, "%d items %s\n"},
        {"100%", nullptr, 0, 0, "100%%\n"},  // lone "%" at the end stays literal
        {"50%%", nullptr, 0, 0, "50%%\n"},
        {"x %l", nullptr, 0, 0, "x %%l\n"},  // unfinished directive stays literal
        {"x %-08.3lf y", nullptr, 0, 0, "x %-08.3lf y\n"},
        {"a%nb", nullptr, 0, 0, "a%%nb\n"},                      // never a write through the arguments
        {"file %F", "dir%s/%n.c", 1, 0, "file dir%%s/%%n.c\n"},  // substituted text is literal
        {"%m", nullptr, 0, 99999, "Unknown error 99999\n"},
        {"", nullptr, 0, 0, "\n"},
    };
    for (const ExpandCase& c : cases) {
        char out[LOG_LINE_MAX];
        log_expand_format(c.format, c.file, c.line, c.err, out, sizeof out);
        EXPECT_EQ(std::string(out), c.expect) << c.format;
    }
}

TEST(LogFormat, LongFormatIsCutAndStillEndsWithNewline) {
    std::string format(3000, 'a');
    format[2045] = '%';
    format[2046] = 'd';  // a directive that would straddle the end is not cut in half
    char out[LOG_LINE_MAX];
    log_expand_format(format.c_str(), nullptr, 0, 0, out, sizeof out);
    size_t n = strlen(out);
    ASSERT_LT(n, sizeof out);
    EXPECT_EQ(out[n - 1], '\n');
    EXPECT_EQ(std::string(out, n - 1), std::string(2045, 'a'));
    char small[4];
    log_expand_format("ab%m", nullptr, 0, 2, small, sizeof small);
    EXPECT_STREQ(small, "ab\n");
}

TEST_F(Log, FormattedMessagesUseArgumentsAndErrno) {
    Capture cap;
    open(cap, 7, 1, 0);
    errno = EACCES;
    log_unchecked(3, "src/a.c", 9, "%s=%d %m at %F:%L, 100%%", "k", 5);
    ASSERT_EQ(cap.lines.size(), 1u);
    EXPECT_EQ(cap.lines[0], std::string("k=5 ") + ErrorText(EACCES) + " at src/a.c:9, 100%\n");
    EXPECT_EQ(errno, EACCES);  // the caller's error number survives
    log_unchecked(3, "a%sb", 1, "%F %s", "x");
    EXPECT_EQ(cap.lines[1], "a%sb x\n");
}

TEST_F(Log, OverlongLineIsCutWithNewline) {
    Capture cap;
    open(cap, 7, 1, LOGF_TIME);
    std::string arg(5000, 'y');
    log_printf(3, nullptr, 0, "%s", arg.c_str());
    ASSERT_EQ(cap.lines.size(), 1u);
    EXPECT_LT(cap.lines[0].size(), LOG_LINE_MAX);
    EXPECT_EQ(cap.lines[0].back(), '\n');
    EXPECT_EQ(cap.lines[0].rfind("05/14/2024 10:00:00 yyy", 0), 0u);
}

TEST_F(Log, StandardErrorBeforeFirstChannelNothingAfterLastClosed) {
    ::testing::internal::CaptureStderr();
    log_unchecked(3, "f.c", 3, "early %d (%F)", 7);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "early 7 (f.c)\n");
    Capture cap;
    LOG_Channel* ch = open(cap, 7, 1, 0);
    log_close(ch);
    ::testing::internal::CaptureStderr();
    log_printf(3, nullptr, 0, "late");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(cap.lines.empty());
}

// A library inside another program turns the early fallback off: nothing reaches standard
// error, and channels opened later still receive everything.
TEST_F(Log, WithoutTheFallbackEarlyMessagesGoNowhere) {
    log_set_stderr_fallback(false);
    ::testing::internal::CaptureStderr();
    log_printf(3, "f.c", 3, "early %d", 7);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    Capture cap;
    LOG_Channel* ch = open(cap, 7, 1, 0);
    log_printf(3, nullptr, 0, "kept");
    EXPECT_EQ(cap.lines, std::vector<std::string>{"kept\n"});
    log_close(ch);
    log_reset_for_testing();
    ::testing::internal::CaptureStderr();
    log_printf(3, nullptr, 0, "again");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "again\n");
}

TEST_F(Log, FileChannelAppendsAndClosesItsStream) {
    std::string path = ::testing::TempDir() + "log_file_channel.txt";
    remove(path.c_str());
    {
        std::ofstream pre(path);
        pre << "old\n";
    }
    LOG_Channel* ch = log_open_file(path.c_str(), 4, 1, LOGF_LEVEL);
    ASSERT_NE(ch, nullptr);
    log_printf(4, nullptr, 0, "warn");
    log_printf(6, nullptr, 0, "info");
    log_close(ch);
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    EXPECT_EQ(all.str(), "old\nWARNING: warn\n");
    EXPECT_EQ(log_open_file("/nonexistent-dir/x/log.txt", 7, 1, 0), nullptr);
    EXPECT_EQ(log_open_file(nullptr, 7, 1, 0), nullptr);
    remove(path.c_str());
}

TEST_F(Log, StreamChannelLeavesUnownedStreamOpen) {
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    LOG_Channel* ch = log_open_stream(f, 7, 1, 0);
    log_printf(1, nullptr, 0, "to stream");
    log_close(ch);
    rewind(f);  // still open
    char buf[64] = {};
    ASSERT_NE(fgets(buf, sizeof buf, f), nullptr);
    EXPECT_STREQ(buf, "to stream\n");
    fclose(f);
    LOG_Channel* null = log_open_null(7, 1, LOGF_TIME);
    ASSERT_NE(null, nullptr);
    log_printf(1, nullptr, 0, "nowhere");
    log_close_all();
}

TEST(LogLevels, ParseNamesIntoMask) {
    const LOG_LevelName table[] = {{"sql", 1}, {"api", 2}, {"conv", 4}, {"all", 7}};
    struct Case {
        const char* text;
        int result;
        uint32_t mask;
    } cases[] = {
        {"sql", 0, 1},   {"sql,conv", 0, 5}, {"api,api", 0, 2}, {"all", 0, 7},
        {"sql,", -1, 1}, {"", -1, 0},        {"SQL", -1, 0},    {"conv,bad,api", -1, 4},
    };
    for (const Case& c : cases) {
        uint32_t mask = 0xDEAD;
        EXPECT_EQ(log_parse_levels(c.text, table, 4, &mask), c.result) << c.text;
        EXPECT_EQ(mask, c.mask) << c.text;
    }
    uint32_t mask = 1;
    EXPECT_EQ(log_parse_levels(nullptr, table, 4, &mask), -1);
    EXPECT_EQ(log_parse_levels("sql", table, 4, nullptr), -1);
}

// Channels opened and closed while other threads log: no crash, no lost lines on the channel
// that stays open, no line interleaving (run under ThreadSanitizer too).
TEST_F(Log, ConcurrentLoggingAndChannelChanges) {
    Capture steady;
    open(steady, 7, 1, LOGF_LEVEL);
    std::atomic<bool> stop{false};
    FILE* sink = tmpfile();
    ASSERT_NE(sink, nullptr);
    std::thread churn([&] {
        while (!stop.load()) {
            LOG_Channel* ch = log_open_stream(sink, 7, 1, LOGF_TIME);
            log_close(ch);
            LOG_Channel* n = log_open_null(7, 1, 0);
            log_close(n);
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < 200; ++i) log_printf(3, "t.c", i, "thread %d line %d", t, i);
        });
    for (auto& w : writers) w.join();
    stop = true;
    churn.join();
    fclose(sink);
    EXPECT_EQ(steady.lines.size(), 800u);
    for (const std::string& line : steady.lines) EXPECT_EQ(line.rfind("ERROR: thread ", 0), 0u) << line;
}

}  // namespace
