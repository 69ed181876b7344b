// The binding to the ODBC installer loaded at run time: profile strings and file DSNs narrow and
// wide, the data-source list, a missing installer or function, and bad arguments.
#include "platform/installer.h"

#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/odbc/connect_files_fixture.h"
#include "odbc/conntext.h"

namespace {

struct Box {
    std::string title, text;
};
std::vector<Box> g_boxes;
void Capture(const char* title, const char* text) { g_boxes.push_back({title, text}); }

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestConfigFiles();
        g_boxes.clear();
        previous_ = InstSetMessageBox(Capture);
    }
    void TearDown() override {
        InstSetMessageBox(previous_);
        InstResetForTesting(nullptr);
    }
    InstMessageBoxFn previous_ = nullptr;
};

std::vector<SQLWCHAR> W(const char* s) { return conntext::Utf8ToUtf16(s); }

TEST_F(InstallerTest, ReadsProfileStringsThroughTheRealInstaller) {
    char buf[256];
    int n = InstGetPrivateProfileString("telvuid", "UID", "", buf, sizeof buf, "odbc.ini");
    EXPECT_EQ(n, 5);
    EXPECT_STREQ(buf, "alice");
    // System file entries are visible through "odbc.ini" as well.
    n = InstGetPrivateProfileString("sysonly", "UID", "", buf, sizeof buf, "odbc.ini");
    EXPECT_STREQ(buf, "sysuser");
    // Missing entries give the default.
    InstGetPrivateProfileString("telvuid", "NoSuchKey", "dflt", buf, sizeof buf, "odbc.ini");
    EXPECT_STREQ(buf, "dflt");
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(InstallerTest, WideProfileCallReturnsTheSameText) {
    auto sec = W("wide"), key = W("UID"), def = W(""), file = W("odbc.ini");
    SQLWCHAR buf[256] = {0};
    int n = InstGetPrivateProfileStringW(sec.data(), key.data(), def.data(), buf, 255, file.data());
    EXPECT_GT(n, 0);
    EXPECT_EQ(conntext::InstallerWideToUtf8(buf), "J\xC3\xBCrgen\xE2\x82\xAC");
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(InstallerTest, ReadsFileDsnNarrowAndWide) {
    const ConnectFiles& files = TestConfigFiles();
    char buf[256] = {0};
    unsigned short len = 0;
    EXPECT_EQ(InstReadFileDSN(files.fileDsn.c_str(), "ODBC", "FBS", buf, sizeof buf, &len), 1);
    EXPECT_STREQ(buf, "77");
    EXPECT_EQ(InstReadFileDSN(files.fileDsn.c_str(), "ODBC", "NOPE", buf, sizeof buf, &len), 0);
    auto file = W(files.fileDsn.c_str()), app = W("ODBC"), key = W("UID");
    SQLWCHAR wbuf[256] = {0};
    EXPECT_EQ(InstReadFileDSNW(file.data(), app.data(), key.data(), wbuf, 255, &len), 1);
    EXPECT_EQ(conntext::Utf16ToUtf8(wbuf), "fileuser");
}

TEST_F(InstallerTest, DataSourceListIsReadUserFileFirstThenSystemFile) {
    char buf[256];
    // Both files list "telv": the user's entry wins.
    EXPECT_GT(InstGetUserThenSystem("ODBC Data Sources", "telv", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "Telvarin Test Driver");
    // Only the system file lists "sysonly", though the user file has the section too.
    EXPECT_GT(InstGetUserThenSystem("ODBC Data Sources", "sysonly", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "System Only Driver");
    EXPECT_EQ(InstGetUserThenSystem("ODBC Data Sources", "nowhere", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    // The application's configuration mode is left as it was.
    unsigned short mode = 99;
    ASSERT_EQ(InstGetConfigMode(&mode), 1);
    EXPECT_EQ(mode, 0);  // ODBC_BOTH_DSN
}

TEST_F(InstallerTest, MissingInstallerShowsTheBoxOnEveryLookupAndReadsYieldNothing) {
    InstResetForTesting("libodbcinst-not-here.so.9");
    char buf[16] = "unchanged";
    EXPECT_EQ(InstGetPrivateProfileString("telvuid", "UID", "", buf, sizeof buf, "odbc.ini"), 0);
    EXPECT_STREQ(buf, "");
    unsigned short len = 7;
    EXPECT_EQ(InstReadFileDSN("x.dsn", "ODBC", "UID", buf, sizeof buf, &len), 0);
    EXPECT_EQ(InstProcLookup("SQLGetPrivateProfileString"), nullptr);
    ASSERT_EQ(g_boxes.size(), 3u);  // nothing is remembered: each look-up tries and tells again
    for (const Box& b : g_boxes) {
        EXPECT_EQ(b.title, "ODBC Installer Error");
        EXPECT_EQ(b.text, "The ODBC installer DLL (ODBCCP32.DLL) is not installed on this system.");
    }
    // Once the installer can be had again, reads work.
    InstResetForTesting(nullptr);
    EXPECT_EQ(InstGetPrivateProfileString("telvuid", "UID", "", buf, sizeof buf, "odbc.ini"), 5);
    EXPECT_EQ(g_boxes.size(), 3u);
}

TEST_F(InstallerTest, MissingFunctionNamesProgramFunctionAndInstaller) {
    EXPECT_EQ(InstProcLookup("SQLNoSuchInstallerCall"), nullptr);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].title, "ODBC Installer Error");
    char exe[4096] = {0};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    const std::string& text = g_boxes[0].text;
    std::string head = std::string("The program ") + exe +
                       ", or one of its DLLs attempted to call the function SQLNoSuchInstallerCall which is not "
                       "supported in the loaded ODBC installer DLL (";
    EXPECT_EQ(text.rfind(head, 0), 0u) << text;
    const std::string tail = ").  Press OK to proceed.";
    ASSERT_GE(text.size(), head.size() + tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    std::string library = text.substr(head.size(), text.size() - head.size() - tail.size());
    EXPECT_EQ(library.front(), '/') << library;  // the full path of the copy actually loaded
    EXPECT_NE(library.find("libodbcinst.so.2"), std::string::npos) << library;
}

TEST_F(InstallerTest, DriverDoesNotCarryTheInstallersNames) {
    // The driver's forwarding calls must never be what "SQLGetPrivateProfileString" resolves to.
    const char* names[] = {"SQLGetPrivateProfileString", "SQLGetPrivateProfileStringW", "SQLReadFileDSN",
                           "SQLReadFileDSNW"};
    for (const char* name : names) EXPECT_EQ(dlsym(RTLD_DEFAULT, name), nullptr) << name;
    void* fn = InstProcLookup("SQLGetPrivateProfileString");
    ASSERT_NE(fn, nullptr);
    Dl_info info{};
    ASSERT_NE(dladdr(fn, &info), 0);
    EXPECT_NE(std::string(info.dli_fname).find("libodbcinst"), std::string::npos) << info.dli_fname;
}

TEST_F(InstallerTest, BadArgumentsAreRefusedWithoutCallingTheInstaller) {
    char buf[8] = "x";
    EXPECT_EQ(InstGetPrivateProfileString("telvuid", "UID", "", buf, -1, "odbc.ini"), 0);
    EXPECT_EQ(InstGetPrivateProfileString("telvuid", "UID", "", nullptr, 10, "odbc.ini"), 0);
    EXPECT_EQ(InstGetPrivateProfileStringW(nullptr, nullptr, nullptr, nullptr, 10, nullptr), 0);
    EXPECT_EQ(InstReadFileDSN("x", "ODBC", "UID", nullptr, 10, nullptr), 0);
    EXPECT_EQ(InstGetUserThenSystem("s", "k", nullptr, 10), 0);
    EXPECT_EQ(InstProcLookup(nullptr), nullptr);
    EXPECT_TRUE(g_boxes.empty());
}

}  // namespace
