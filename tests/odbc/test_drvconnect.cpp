// Driver connect without the connection record: keyword values, when to prompt, the output
// connection string, file DSNs, the login prompt's answers and cancel, braced values, the length
// checks, the wide mode, and a trace without passwords.
#include "odbc/drvconnect.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/odbc/connect_files_fixture.h"
#include "odbc/conntext.h"
#include "odbc/keywords.h"
#include "platform/pramlogw/pramlogw.h"

namespace {

const SQLCHAR* S(const char* s) { return reinterpret_cast<const SQLCHAR*>(s); }

TEST(ConnectValues, YesNoValues) {
    struct {
        const char* text;
        bool value;
    } cases[] = {{"TRUE", true}, {"true", true}, {"Yes", true},   {"yES", true},   {"1", false},
                 {"", false},    {"no", false},  {" yes", false}, {"yes ", false}, {nullptr, false}};
    for (auto& c : cases) EXPECT_EQ(ConnIsTrue(c.text), c.value) << (c.text ? c.text : "<null>");
}

TEST(ConnectValues, DecimalNumbersAndSensitivity) {
    EXPECT_EQ(ConnDecimal("100"), 100);
    EXPECT_EQ(ConnDecimal(" 42x"), 42);
    EXPECT_EQ(ConnDecimal("-5"), -5);
    EXPECT_EQ(ConnDecimal("abc"), 0);
    EXPECT_EQ(ConnDecimal(nullptr), 0);
    EXPECT_GT(ConnDecimal("99999999999999999999999999"), 0);  // huge but no overflow
    EXPECT_EQ(ConnParseDynCursSens("Disabled"), 2);
    EXPECT_EQ(ConnParseDynCursSens("high"), 1);
    EXPECT_EQ(ConnParseDynCursSens("LOW"), 0);
    EXPECT_EQ(ConnParseDynCursSens("x"), 0);
    EXPECT_EQ(ConnParseDynCursSens(nullptr), 0);
    EXPECT_STREQ(ConnDynCursSensName(2), "DISABLED");
    EXPECT_STREQ(ConnDynCursSensName(1), "HIGH");
    EXPECT_STREQ(ConnDynCursSensName(0), "LOW");
}

TEST(ConnectValues, DriverNameForTheDialogLosesItsBraces) {
    struct {
        const char* value;
        const char* name;
    } cases[] = {{"{Telvarin Driver}", "Telvarin Driver"},
                 {"Telvarin", "Telvarin"},
                 {"{Open", "Open"},
                 {"x{In}y", "In"},
                 {"Close}", "Close"},
                 {"", ""}};
    for (auto& c : cases) EXPECT_EQ(ConnDriverNameFromValue(c.value), c.name) << c.value;
    EXPECT_EQ(ConnDriverNameFromValue(nullptr), "");
}

TEST(ConnectValues, WhenToPrompt) {
    struct {
        SQLUSMALLINT mode;
        const char* uid;
        const char* pwd;
        bool prompt;
    } cases[] = {
        {SQL_DRIVER_COMPLETE, "u", "p", false},
        {SQL_DRIVER_COMPLETE, "u", "", true},
        {SQL_DRIVER_COMPLETE, "u", " p", true},
        {SQL_DRIVER_COMPLETE, nullptr, "p", true},
        {SQL_DRIVER_COMPLETE_REQUIRED, " u", "p", true},
        {SQL_DRIVER_COMPLETE_REQUIRED, "u", "p", false},
        {SQL_DRIVER_PROMPT, "u", "p", true},
        {SQL_DRIVER_NOPROMPT, nullptr, nullptr, false},
        {7, nullptr, nullptr, false},
    };
    for (auto& c : cases) EXPECT_EQ(ConnWantsPrompt(c.mode, c.uid, c.pwd), c.prompt) << c.mode;
}

TEST(ConnectValues, OptionsText) {
    EXPECT_EQ(ConnOptionsText("grp", "eff", "dbp", "role", "rp"), " -Ggrp -ueff -Pdbp -Rrole/rp");
    EXPECT_EQ(ConnOptionsText("", nullptr, "", "role", ""), " -Rrole");
    EXPECT_EQ(ConnOptionsText(nullptr, nullptr, nullptr, "", "rp"), "");  // no role, no role password
    EXPECT_EQ(ConnOptionsText(nullptr, "eff", nullptr, nullptr, nullptr), " -ueff");
    // Not bounded: long values come through whole.
    std::string longGroup(2000, 'g');
    EXPECT_EQ(ConnOptionsText(longGroup.c_str(), nullptr, nullptr, nullptr, nullptr), " -G" + longGroup);
}

// The test configuration files and the built login library, with no login script set.
class WithLoginLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        TestConfigFiles();
        LoginSetLibraryForTesting(LoginLibraryPath().c_str());
        unsetenv(KIV_LOGIN_SCRIPT_ENV);
    }
    void TearDown() override {
        unsetenv(KIV_LOGIN_SCRIPT_ENV);
        LoginSetLibraryForTesting(nullptr);
    }
};

class DriverConnect : public WithLoginLibrary {
protected:
    int Prepare(const std::string& in, SQLUSMALLINT mode, ConnectPlan& plan, char wide = 'A') {
        int rc = DriverConnectPrepare(reinterpret_cast<void*>(0x1), S(in.c_str()), SQL_NTS, 256, mode, wide, plan);
        // The keyword table is empty after every connect.
        for (int i = 0; i < KW_COUNT; ++i) EXPECT_EQ(ConnKeywordValue(i), nullptr) << i;
        return rc;
    }
};

TEST_F(DriverConnect, ShortOutputStringWithoutDriver) {
    ConnectPlan plan;
    ASSERT_EQ(Prepare("DSN=telvuid;UID=u;PWD=p", SQL_DRIVER_NOPROMPT, plan), 0);
    EXPECT_EQ(plan.output, "DSN=telvuid;UID=u;PWD=p;JET=FALSE;FBS=60");
    EXPECT_EQ(plan.dsn, "telvuid");
    EXPECT_EQ(plan.user, "u");
    EXPECT_EQ(plan.password, "p");
    // No data source: "Default" is read and named.
    ASSERT_EQ(Prepare("", SQL_DRIVER_NOPROMPT, plan), 0);
    EXPECT_EQ(plan.output, "DSN=Default;UID=;PWD=defpwd;JET=TRUE;FBS=60");
    EXPECT_EQ(plan.dsn, "Default");
    EXPECT_TRUE(plan.jet);
}

TEST_F(DriverConnect, LongOutputStringWithDriver) {
    ConnectPlan plan;
    ASSERT_EQ(Prepare("DRIVER={Telvarin};DSN=telv;UID=u;PWD=p;MAXROWS=25;NOAC=yes;ROLENAME=r;ROLEPWD=rp;IV=TRUE",
                      SQL_DRIVER_NOPROMPT, plan),
              0);
    EXPECT_EQ(plan.output,
              "DRIVER={Telvarin};DSN=telv;UID=u;PWD=p;JET=FALSE;FBS=1234;READONLY=yes;NLB=;MAXROWS=25;NOAC=TRUE;"
              "INGSERVER=srv1;NRSSL=FALSE;DYN_CURS_SENSITIVITY=HIGH;SQLDBMSNAME=;GROUP=grp;ROLENAME=r;ROLEPWD=rp;"
              "EFFUID=;DBMSPWD=;RTRIMCHAR=FALSE;IV=TRUE;IA=;Server=Corvanta");
    EXPECT_EQ(plan.options, " -Ggrp -Rr/rp");
    EXPECT_EQ(plan.server, "srv1");
    EXPECT_EQ(plan.flags, kConnFlagReadOnly | kConnFlagIncludeViews);
    EXPECT_EQ(plan.fetchSize, 1234u);
    EXPECT_EQ(plan.maxRows, 25);
    EXPECT_TRUE(plan.noAutocommit);
    EXPECT_EQ(plan.dynCursSensitivity, 1);
    EXPECT_EQ(plan.initSql, "/tmp/init.sql");
    EXPECT_EQ(plan.dbmsName, "");
}

TEST_F(DriverConnect, FetchBufferSizeRules) {
    struct {
        const char* fbs;
        std::uint32_t size;
    } cases[] = {{"100", 100}, {"0", 60}, {"abc", 60}, {"", 60}, {"-5", 60}, {"99999999999", 60}};
    for (auto& c : cases) {
        ConnectPlan plan;
        ASSERT_EQ(Prepare(std::string("DSN=telvuid;FBS=") + c.fbs, SQL_DRIVER_NOPROMPT, plan), 0);
        EXPECT_EQ(plan.fetchSize, c.size) << c.fbs;
    }
}

TEST_F(DriverConnect, FileDsnOnlyOutputNamesTheFile) {
    ConnectPlan plan;
    std::string path = TestConfigFiles().fileDsn;
    ASSERT_EQ(Prepare("FILEDSN=" + path + ";PWD=p", SQL_DRIVER_NOPROMPT, plan), 0);
    EXPECT_EQ(plan.output, "FILEDSN=" + path + ";UID=fileuser;PWD=p;JET=FALSE;FBS=77");
    EXPECT_EQ(plan.flags, kConnFlagReadOnly);
    EXPECT_EQ(plan.dsn, "");
}

TEST_F(DriverConnect, CompleteWithEverythingGivenDoesNotPrompt) {
    setenv(KIV_LOGIN_SCRIPT_ENV, "CANCEL", 1);  // a prompt would cancel
    ConnectPlan plan;
    EXPECT_EQ(Prepare("DSN=telv;UID=u;PWD=p", SQL_DRIVER_COMPLETE, plan), 0);
    EXPECT_EQ(Prepare("DSN=telv;UID=u;PWD= p", SQL_DRIVER_COMPLETE, plan), kErrNoData);
    EXPECT_EQ(Prepare("DSN=telv;UID=u;PWD=", SQL_DRIVER_COMPLETE_REQUIRED, plan), kErrNoData);
    EXPECT_EQ(Prepare("DSN=telv;UID=u;PWD=p", SQL_DRIVER_NOPROMPT, plan), 0);
}

TEST_F(DriverConnect, PromptAnswerReplacesTheStringAndIsMergedAgain) {
    setenv(KIV_LOGIN_SCRIPT_ENV, "UID=scripted", 1);
    ConnectPlan plan;
    ASSERT_EQ(Prepare("DSN=telv;MAXROWS=7", SQL_DRIVER_PROMPT, plan), 0);
    EXPECT_EQ(plan.user, "scripted");
    EXPECT_EQ(plan.password, "secret");  // from the data source, merged after the dialog
    EXPECT_EQ(plan.maxRows, 7);          // the dialog handed the rest of the string back
    // The trace shows the string as the application gave it.
    EXPECT_EQ(plan.trace.front(), "connStr=[DSN]");
}

TEST_F(DriverConnect, CancelledPromptGivesNoDataAndLeavesNothing) {
    setenv(KIV_LOGIN_SCRIPT_ENV, "CANCEL", 1);
    ConnectPlan plan;
    plan.user = "untouched";
    EXPECT_EQ(Prepare("DSN=telv", SQL_DRIVER_PROMPT, plan), kErrNoData);
    EXPECT_EQ(plan.user, "untouched");
    // A login library that cannot be loaded is no cancel: the dialog failed.
    unsetenv(KIV_LOGIN_SCRIPT_ENV);
    LoginSetLibraryForTesting("/nonexistent/libpramlogw.so");
    EXPECT_EQ(Prepare("DSN=telv", SQL_DRIVER_PROMPT, plan), kErrDialogFailed);
    EXPECT_EQ(plan.user, "untouched");
}

TEST_F(DriverConnect, BracedValuesKeepTheirSemicolonsAndGoOutBraced) {
    ConnectPlan plan;
    ASSERT_EQ(Prepare("DSN=telvuid;UID={a;b=c};PWD={x}}y;z}", SQL_DRIVER_NOPROMPT, plan), 0);
    EXPECT_EQ(plan.user, "a;b=c");
    EXPECT_EQ(plan.password, "x}y;z");
    EXPECT_EQ(plan.output, "DSN=telvuid;UID={a;b=c};PWD={x}}y;z};JET=FALSE;FBS=60");
    // The output string reads back as the same values.
    ConnectPlan again;
    ASSERT_EQ(Prepare(plan.output, SQL_DRIVER_NOPROMPT, again), 0);
    EXPECT_EQ(again.user, plan.user);
    EXPECT_EQ(again.password, plan.password);
}

TEST_F(DriverConnect, NoLoginBoxNeverPromptsAndReadsTheUserEntry) {
    setenv(KIV_LOGIN_SCRIPT_ENV, "CANCEL", 1);
    ConnectPlan plan;
    ASSERT_EQ(Prepare("DSN=telvuid", SQL_DRIVER_PROMPT, plan), 0);
    EXPECT_EQ(plan.user, "alice");
    // The data source's UID is empty: its LastUser is not used here.
    ASSERT_EQ(Prepare("DSN=nlbdsn", SQL_DRIVER_PROMPT, plan), 0);
    EXPECT_EQ(plan.user, "");
    // An empty UID in the string is replaced, a given one is kept.
    ASSERT_EQ(Prepare("DSN=telvuid;UID=", SQL_DRIVER_COMPLETE, plan), 0);
    EXPECT_EQ(plan.user, "alice");
    ASSERT_EQ(Prepare("DSN=telvuid;UID=zed", SQL_DRIVER_PROMPT, plan), 0);
    EXPECT_EQ(plan.user, "zed");
    // NLB given in the string, any case.
    ASSERT_EQ(Prepare("DSN=telv;NLB=yEs", SQL_DRIVER_PROMPT, plan), 0);
    EXPECT_EQ(plan.user, "");  // telv's UID entry is empty; LastUser is not read in this step
}

TEST_F(DriverConnect, LengthsAreCheckedBeforeAnythingElse) {
    ConnectPlan plan;
    EXPECT_EQ(DriverConnectPrepare(nullptr, S("DSN=telvuid"), -5, 10, SQL_DRIVER_NOPROMPT, 'A', plan), kErrBadLength);
    EXPECT_EQ(DriverConnectPrepare(nullptr, S("DSN=telvuid"), SQL_NTS, -1, SQL_DRIVER_NOPROMPT, 'A', plan),
              kErrBadLength);
    // An explicit length takes only that much of the text.
    ASSERT_EQ(DriverConnectPrepare(nullptr, S("DSN=telvuid;UID=bob"), 11, 0, SQL_DRIVER_NOPROMPT, 'A', plan), 0);
    EXPECT_EQ(plan.dsn, "telvuid");
    EXPECT_EQ(plan.user, "alice");
    // No string at all reads "Default".
    ASSERT_EQ(DriverConnectPrepare(nullptr, nullptr, 0, 0, SQL_DRIVER_NOPROMPT, 'A', plan), 0);
    EXPECT_EQ(plan.dsn, "Default");
}

TEST_F(DriverConnect, WideModeGivesTheSameValues) {
    ConnectPlan narrow, wide;
    ASSERT_EQ(Prepare("DSN=wide", SQL_DRIVER_NOPROMPT, narrow, 'A'), 0);
    ASSERT_EQ(Prepare("DSN=wide", SQL_DRIVER_NOPROMPT, wide, 'W'), 0);
    EXPECT_EQ(wide.output, narrow.output);
    EXPECT_EQ(wide.user, "J\xC3\xBCrgen\xE2\x82\xAC");
}

TEST_F(DriverConnect, TraceHoldsNoPasswords) {
    ConnectPlan plan;
    ASSERT_EQ(
        Prepare("DSN=telv;UID=u;PWD=topsecret;DBMSPWD=dbsecret;ROLENAME=r;ROLEPWD=rsecret", SQL_DRIVER_NOPROMPT, plan),
        0);
    bool sawUser = false;
    for (const std::string& line : plan.trace) {
        EXPECT_EQ(line.find("secret"), std::string::npos) << line;
        sawUser |= line == "  key=[UID] data=[u] supplied=1";
    }
    EXPECT_TRUE(sawUser);
    EXPECT_NE(std::find(plan.trace.begin(), plan.trace.end(),
                        "cn_dbpath=[srv1] cn_dbopts=[ -Ggrp -P*** -Rr/***] cn_readonly=1"),
              plan.trace.end());
    // The options text itself carries the real values for the agent.
    EXPECT_EQ(plan.options, " -Ggrp -Pdbsecret -Rr/rsecret");
}

TEST(ConnectString, BuildsFromTheThreeTexts) {
    std::string out;
    std::string trace;
    ASSERT_EQ(ConnConnectString(S("telv"), SQL_NTS, S("bob"), 3, S("pwdXYZ"), 3, out, &trace), 0);
    EXPECT_EQ(out, "DSN=telv;UID=bob;PWD=pwd");
    EXPECT_EQ(trace, "DSN=telv;UID=bob;PWD=***");
    ASSERT_EQ(ConnConnectString(nullptr, SQL_NTS, nullptr, 0, nullptr, SQL_NTS, out), 0);
    EXPECT_EQ(out, "DSN=;UID=;PWD=");
    // A password with ';' or braces in it stays one value.
    ASSERT_EQ(ConnConnectString(S("telv"), SQL_NTS, S("bob"), SQL_NTS, S("p;w}d"), SQL_NTS, out, &trace), 0);
    EXPECT_EQ(out, "DSN=telv;UID=bob;PWD={p;w}}d}");
    EXPECT_EQ(trace, "DSN=telv;UID=bob;PWD=***");
    EXPECT_EQ(ConnConnectString(S("telv"), SQL_NTS, S("bob"), -5, S("p"), SQL_NTS, out), kErrBadLength);
    EXPECT_EQ(ConnConnectString(S("telv"), -1, S("bob"), SQL_NTS, S("p"), SQL_NTS, out), kErrBadLength);
    EXPECT_EQ(ConnConnectString(S("telv"), SQL_NTS, S("bob"), SQL_NTS, S("p"), -100, out), kErrBadLength);
}

TEST_F(DriverConnect, EmptyDataSourceNameFromConnectReadsDefault) {
    std::string in;
    ASSERT_EQ(ConnConnectString(S(""), SQL_NTS, S("u"), SQL_NTS, S(""), SQL_NTS, in), 0);
    ConnectPlan plan;
    ASSERT_EQ(Prepare(in, SQL_DRIVER_NOPROMPT, plan), 0);
    EXPECT_EQ(plan.dsn, "Default");
    EXPECT_EQ(plan.user, "u");
    EXPECT_EQ(plan.password, "");  // given empty: used as such
}

TEST(CopyOut, NarrowCutsWithTruncationCode) {
    std::string text = "DSN=telv;UID=u;PWD=p;JET=FALSE;FBS=60";
    SQLCHAR buf[64];
    SQLSMALLINT len = -1;
    EXPECT_EQ(ConnCopyOut(text, buf, 10, &len), kErrTruncated);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "DSN=telv;");
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(text.size()));
    EXPECT_EQ(ConnCopyOut(text, buf, sizeof buf, &len), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf)), text);
    EXPECT_EQ(ConnCopyOut(text, buf, static_cast<SQLSMALLINT>(text.size()), &len), kErrTruncated);
    buf[0] = 'x';
    EXPECT_EQ(ConnCopyOut(text, buf, 0, &len), kErrTruncated);
    EXPECT_EQ(buf[0], 'x');  // nothing written into a zero-length buffer
    EXPECT_EQ(ConnCopyOut(text, nullptr, 10, &len), 0);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(text.size()));
    EXPECT_EQ(ConnCopyOut(text, buf, -1, &len), kErrBadLength);
    EXPECT_EQ(ConnCopyOut(text, buf, 10, nullptr), kErrTruncated);
    // A character is never split.
    EXPECT_EQ(ConnCopyOut("a\xC3\xA9", buf, 3, &len), kErrTruncated);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "a");
    // Texts longer than a length can say: the length is capped, the copy still cut.
    std::string huge(40000, 'x');
    EXPECT_EQ(ConnCopyOut(huge, buf, sizeof buf, &len), kErrTruncated);
    EXPECT_EQ(len, SHRT_MAX);
}

TEST(CopyOut, WideCountsCharacters) {
    std::string text = "UID=J\xC3\xBCrgen;PWD=\xF0\x9F\x98\x80";  // ü and a character outside the BMP
    SQLWCHAR buf[64];
    SQLSMALLINT len = -1;
    EXPECT_EQ(ConnCopyOutW(text, buf, 64, &len), 0);
    EXPECT_EQ(len, 17);  // 15 characters, the last one two units
    EXPECT_EQ(conntext::Utf16ToUtf8(buf), text);
    EXPECT_EQ(ConnCopyOutW(text, buf, 10, &len), kErrTruncated);
    EXPECT_EQ(conntext::Utf16ToUtf8(buf), "UID=J\xC3\xBCrge");
    EXPECT_EQ(len, 17);
    // The surrogate pair goes whole or not at all.
    EXPECT_EQ(ConnCopyOutW(text, buf, 17, &len), kErrTruncated);
    EXPECT_EQ(conntext::Utf16ToUtf8(buf), "UID=J\xC3\xBCrgen;PWD=");
    EXPECT_EQ(ConnCopyOutW(text, buf, -2, &len), kErrBadLength);
    EXPECT_EQ(ConnCopyOutW(text, nullptr, 5, &len), 0);
}

}  // namespace

namespace {

// A stand-in for the connection record: records what driver connect hands it.
struct FakeConnection {
    bool connected = false;
    bool opens = true;  // whether ConnOpen succeeds
    int lastError = 0;
    int opened = 0;
    char openMode = 0;
    ConnectPlan stored;
    ConnectTarget Target() {
        return ConnectTarget{this, [](void* c) { return static_cast<FakeConnection*>(c)->connected; },
                             [](void* c, const ConnectPlan& p) { static_cast<FakeConnection*>(c)->stored = p; },
                             [](void* c, char mode) {
                                 auto* f = static_cast<FakeConnection*>(c);
                                 ++f->opened;
                                 f->openMode = mode;
                                 f->connected = f->opens;
                                 if (!f->opens) f->lastError = 53;
                             },
                             [](void* c, int code) { static_cast<FakeConnection*>(c)->lastError = code; }};
    }
};

class ConnectFlow : public WithLoginLibrary {};

TEST_F(ConnectFlow, DriverConnectStoresOpensAndCopiesOut) {
    FakeConnection conn;
    SQLCHAR out[256];
    SQLSMALLINT len = 0;
    EXPECT_EQ(DriverConnectCore(conn.Target(), nullptr, S("DSN=telvuid;UID=u;PWD=p"), SQL_NTS, out, sizeof out, &len,
                                SQL_DRIVER_NOPROMPT, 'W'),
              SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "DSN=telvuid;UID=u;PWD=p;JET=FALSE;FBS=60");
    EXPECT_EQ(len, 40);
    EXPECT_EQ(conn.opened, 1);
    EXPECT_EQ(conn.openMode, 'W');
    EXPECT_EQ(conn.stored.user, "u");
    // A second connect on the connected handle.
    EXPECT_EQ(DriverConnectCore(conn.Target(), nullptr, S("DSN=telvuid"), SQL_NTS, out, sizeof out, &len,
                                SQL_DRIVER_NOPROMPT, 'A'),
              SQL_ERROR);
    EXPECT_EQ(conn.lastError, kErrConnInUse);
    EXPECT_EQ(conn.opened, 1);
}

TEST_F(ConnectFlow, OutputCutGivesSuccessWithInfo) {
    FakeConnection conn;
    SQLCHAR out[10];
    SQLSMALLINT len = 0;
    EXPECT_EQ(DriverConnectCore(conn.Target(), nullptr, S("DSN=telvuid;UID=u;PWD=p"), SQL_NTS, out, sizeof out, &len,
                                SQL_DRIVER_NOPROMPT, 'A'),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(conn.lastError, kErrTruncated);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "DSN=telvu");
    EXPECT_EQ(len, 40);
    EXPECT_TRUE(conn.connected);
}

TEST_F(ConnectFlow, CancelLeavesTheHandleUnconnectedAndReusable) {
    setenv(KIV_LOGIN_SCRIPT_ENV, "CANCEL", 1);
    FakeConnection conn;
    EXPECT_EQ(DriverConnectCore(conn.Target(), reinterpret_cast<void*>(1), S("DSN=telv"), SQL_NTS, nullptr, 0, nullptr,
                                SQL_DRIVER_PROMPT, 'A'),
              SQL_NO_DATA);
    EXPECT_EQ(conn.opened, 0);
    EXPECT_EQ(conn.lastError, 0);
    EXPECT_EQ(conn.stored.user, "");
    setenv(KIV_LOGIN_SCRIPT_ENV, "UID=bob;PWD=pw", 1);
    EXPECT_EQ(DriverConnectCore(conn.Target(), reinterpret_cast<void*>(1), S("DSN=telv"), SQL_NTS, nullptr, 0, nullptr,
                                SQL_DRIVER_PROMPT, 'A'),
              SQL_SUCCESS);
    EXPECT_EQ(conn.stored.user, "bob");
    EXPECT_EQ(conn.stored.password, "pw");
}

TEST_F(ConnectFlow, UnloadableLoginLibraryIsAnError) {
    unsetenv(KIV_LOGIN_SCRIPT_ENV);
    LoginSetLibraryForTesting("/nonexistent/libpramlogw.so");
    FakeConnection conn;
    EXPECT_EQ(DriverConnectCore(conn.Target(), reinterpret_cast<void*>(1), S("DSN=telv"), SQL_NTS, nullptr, 0, nullptr,
                                SQL_DRIVER_PROMPT, 'A'),
              SQL_ERROR);
    LoginSetLibraryForTesting(nullptr);
    EXPECT_EQ(conn.lastError, kErrDialogFailed);
    EXPECT_EQ(conn.opened, 0);
}

TEST_F(ConnectFlow, FailedOpenIsAnError) {
    FakeConnection conn;
    conn.opens = false;
    SQLCHAR out[64] = "untouched";
    EXPECT_EQ(DriverConnectCore(conn.Target(), nullptr, S("DSN=telvuid"), SQL_NTS, out, sizeof out, nullptr,
                                SQL_DRIVER_NOPROMPT, 'A'),
              SQL_ERROR);
    EXPECT_EQ(conn.lastError, 53);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "untouched");
}

TEST_F(ConnectFlow, ConnectNeverPromptsAndChecksLengths) {
    setenv(KIV_LOGIN_SCRIPT_ENV, "CANCEL", 1);
    FakeConnection conn;
    EXPECT_EQ(ConnectCore(conn.Target(), S("telv"), SQL_NTS, S("u"), -5, S(""), SQL_NTS, 'A'), SQL_ERROR);
    EXPECT_EQ(conn.lastError, kErrBadLength);
    EXPECT_EQ(conn.opened, 0);
    std::vector<std::string> trace;
    EXPECT_EQ(ConnectCore(conn.Target(), S("telv"), SQL_NTS, S("u"), SQL_NTS, S(""), SQL_NTS, 'A', &trace),
              SQL_SUCCESS);
    EXPECT_EQ(conn.stored.password, "");  // empty, used as such: no prompt, no data-source value
    EXPECT_EQ(conn.stored.dsn, "telv");
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.front(), "DSN=telv;UID=u;PWD=***");
    EXPECT_EQ(ConnectCore(conn.Target(), S("telv"), SQL_NTS, S("u"), SQL_NTS, S("p"), SQL_NTS, 'A'), SQL_ERROR);
    EXPECT_EQ(conn.lastError, kErrConnInUse);
}

}  // namespace

namespace {

TEST_F(ConnectFlow, WideDriverConnectCountsCharacters) {
    FakeConnection conn;
    SQLWCHAR out[12];
    SQLSMALLINT len = 0;
    auto in = conntext::Utf8ToUtf16("DSN=wide;garbage");
    EXPECT_EQ(DriverConnectCoreW(conn.Target(), nullptr, in.data(), 8, out, 12, &len, SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(conn.lastError, kErrTruncated);
    EXPECT_EQ(conntext::Utf16ToUtf8(out), "DSN=wide;UI");
    // "DSN=wide;UID=Jürgen€;PWD=päss;JET=FALSE;FBS=60": every character one unit.
    EXPECT_EQ(len, 46);
    EXPECT_EQ(conn.openMode, 'W');
    FakeConnection again;
    SQLWCHAR big[128];
    EXPECT_EQ(DriverConnectCoreW(again.Target(), nullptr, in.data(), 8, big, 128, &len, SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS);
    EXPECT_EQ(conntext::Utf16ToUtf8(big), "DSN=wide;UID=J\xC3\xBCrgen\xE2\x82\xAC;PWD=p\xC3\xA4ss;JET=FALSE;FBS=60");
    FakeConnection bad;
    EXPECT_EQ(DriverConnectCoreW(bad.Target(), nullptr, in.data(), 8, big, -1, &len, SQL_DRIVER_NOPROMPT), SQL_ERROR);
    EXPECT_EQ(bad.lastError, kErrBadLength);
    EXPECT_EQ(DriverConnectCoreW(bad.Target(), nullptr, in.data(), -4, big, 10, &len, SQL_DRIVER_NOPROMPT), SQL_ERROR);
    EXPECT_EQ(bad.opened, 0);
}

TEST_F(ConnectFlow, WideConnect) {
    FakeConnection conn;
    auto dsn = conntext::Utf8ToUtf16("wide"), uid = conntext::Utf8ToUtf16("\xC3\xBCser"),
         pwd = conntext::Utf8ToUtf16("pw");
    EXPECT_EQ(ConnectCoreW(conn.Target(), dsn.data(), SQL_NTS, uid.data(), -5, pwd.data(), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(conn.lastError, kErrBadLength);
    std::vector<std::string> trace;
    EXPECT_EQ(ConnectCoreW(conn.Target(), dsn.data(), SQL_NTS, uid.data(), 5, pwd.data(), 1, &trace), SQL_SUCCESS);
    EXPECT_EQ(conn.stored.user, "\xC3\xBCser");
    EXPECT_EQ(conn.stored.password, "p");
    EXPECT_EQ(conn.stored.dsn, "wide");
    EXPECT_EQ(conn.openMode, 'W');
    EXPECT_EQ(trace.front(), "DSN=wide;UID=\xC3\xBCser;PWD=***");
}

}  // namespace
