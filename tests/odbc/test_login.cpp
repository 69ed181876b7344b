// The login library on its own: scripted answers, the controlling terminal, and no terminal.
#include "platform/pramlogw/pramlogw.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "tests/odbc/connect_files_fixture.h"

namespace {

using LoginFn = std::int32_t (*)(void*, const char*, const char*, char**, int);
using FreeFn = void (*)(char*);

class LoginLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = dlopen(LoginLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module_, nullptr) << "build the pramlogw target: " << dlerror();
        login_ = reinterpret_cast<LoginFn>(dlsym(module_, "KivLOGIN"));
        free_ = reinterpret_cast<FreeFn>(dlsym(module_, "KivLOGIN_Free"));
        ASSERT_NE(login_, nullptr);
        ASSERT_NE(free_, nullptr);
        unsetenv(KIV_LOGIN_SCRIPT_ENV);
    }
    void TearDown() override {
        unsetenv(KIV_LOGIN_SCRIPT_ENV);
        if (module_) dlclose(module_);
    }

    // Calls KivLOGIN; returns its code and the completed string ("<null>" when none).
    int Login(const char* connstr, std::string& out) {
        char* result = reinterpret_cast<char*>(1);
        int code = login_(nullptr, "Telvarin", connstr, &result, 'A');
        out = result ? result : "<null>";
        free_(result);
        return code;
    }

    struct Outcome {
        int code = -1;
        std::string result;
        std::string screen;  // everything the prompt wrote to the terminal
    };

    // Runs KivLOGIN in a child process that has its own session: with a pseudo-terminal as its
    // controlling terminal when user is given (user then plays the person at the keyboard),
    // else with no controlling terminal at all.
    Outcome RunInChild(const char* connstr, const std::function<void(int, std::string&)>& user) {
        Outcome outcome;
        int master = -1;
        std::string slave;
        if (user) {
            master = posix_openpt(O_RDWR | O_NOCTTY);
            EXPECT_GE(master, 0);
            EXPECT_EQ(grantpt(master), 0);
            EXPECT_EQ(unlockpt(master), 0);
            slave = ptsname(master);
        }
        int pipefd[2];
        EXPECT_EQ(pipe(pipefd), 0);
        pid_t pid = fork();
        if (pid == 0) {
            close(pipefd[0]);
            setsid();
            if (user) {
                close(master);
                int fd = open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
                if (fd < 0) _exit(3);
            }
            char* result = nullptr;
            int code = login_(nullptr, "Telvarin", connstr, &result, 'A');
            std::string msg = std::to_string(code) + "\n" + (result ? result : "<null>");
            free_(result);
            if (write(pipefd[1], msg.data(), msg.size()) < 0) _exit(4);
            _exit(0);
        }
        close(pipefd[1]);
        if (user) user(master, outcome.screen);
        std::string msg;
        char buf[512];
        ssize_t n;
        while ((n = read(pipefd[0], buf, sizeof buf)) > 0) msg.append(buf, static_cast<std::size_t>(n));
        close(pipefd[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        if (user) {
            // Collect what is left on the screen.
            ReadUntil(master, "", outcome.screen, 0);
            close(master);
        }
        std::size_t nl = msg.find('\n');
        if (nl != std::string::npos) {
            outcome.code = std::atoi(msg.substr(0, nl).c_str());
            outcome.result = msg.substr(nl + 1);
        }
        return outcome;
    }

    // Reads the terminal until the screen contains what; false if it never comes.
    static bool ReadUntil(int master, const std::string& what, std::string& screen, int waitMs = 20000) {
        for (;;) {
            if (!what.empty() && screen.find(what) != std::string::npos) return true;
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, waitMs) <= 0) return what.empty();
            char buf[256];
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) return what.empty();
            screen.append(buf, static_cast<std::size_t>(n));
        }
    }

    static void Type(int master, const std::string& keys) {
        ASSERT_EQ(write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }

    void* module_ = nullptr;
    LoginFn login_ = nullptr;
    FreeFn free_ = nullptr;
};

TEST_F(LoginLibrary, ScriptedAnswerIsLaidOverTheConnectionString) {
    struct {
        const char* script;
        const char* input;
        const char* expected;
    } cases[] = {
        {"UID=bob;PWD=pw", "DSN=telv;UID=x;PWD=y", "DSN=telv;UID=bob;PWD=pw"},
        {"uid=bob", "DSN=telv;UID=x", "DSN=telv;UID=bob"},  // keys match in any case
        {"PWD=new", "DSN=telv", "DSN=telv;PWD=new"},        // missing keys are added
        {"", "DSN=telv;UID=u", "DSN=telv;UID=u"},           // an empty answer confirms as is
        {"PWD=a=b", "", "PWD=a=b"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.script);
        setenv(KIV_LOGIN_SCRIPT_ENV, c.script, 1);
        std::string out;
        EXPECT_EQ(Login(c.input, out), 1);
        EXPECT_EQ(out, c.expected);
    }
}

TEST_F(LoginLibrary, ScriptedCancel) {
    for (const char* cancel : {"CANCEL", "cancel"}) {
        setenv(KIV_LOGIN_SCRIPT_ENV, cancel, 1);
        std::string out;
        EXPECT_EQ(Login("DSN=telv", out), 0);
        EXPECT_EQ(out, "<null>");
    }
    free_(nullptr);  // releasing nothing is harmless
    EXPECT_EQ(login_(nullptr, nullptr, nullptr, nullptr, 'A'), 0);
}

TEST_F(LoginLibrary, WithoutTerminalOrScriptItCancels) {
    Outcome o = RunInChild("DSN=telv", nullptr);
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.result, "<null>");
}

TEST_F(LoginLibrary, PromptsOnTheTerminalForMissingValues) {
    Outcome o = RunInChild("DSN=telv;UID=;PWD=", [](int master, std::string& screen) {
        ASSERT_TRUE(ReadUntil(master, "User name: ", screen));
        Type(master, "bob\n");
        ASSERT_TRUE(ReadUntil(master, "Password: ", screen));
        Type(master, "s3cret\n");
    });
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.result, "DSN=telv;UID=bob;PWD=s3cret");
    EXPECT_NE(o.screen.find("Login to Telvarin"), std::string::npos) << o.screen;
    EXPECT_NE(o.screen.find("bob"), std::string::npos) << o.screen;     // echoed
    EXPECT_EQ(o.screen.find("s3cret"), std::string::npos) << o.screen;  // not echoed
}

TEST_F(LoginLibrary, TerminalAsksOnlyWhatIsMissingAndKeepsDefaults) {
    Outcome o = RunInChild("DSN=telv;UID=carol", [](int master, std::string& screen) {
        ASSERT_TRUE(ReadUntil(master, "Password: ", screen));
        Type(master, "pw\n");
    });
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.result, "DSN=telv;UID=carol;PWD=pw");
    EXPECT_EQ(o.screen.find("User name"), std::string::npos) << o.screen;
    // Everything given: both are asked, an empty answer keeps the value.
    o = RunInChild("DSN=telv;UID=carol;PWD=old", [](int master, std::string& screen) {
        ASSERT_TRUE(ReadUntil(master, "User name [carol]: ", screen));
        Type(master, "\n");
        ASSERT_TRUE(ReadUntil(master, "Password: ", screen));
        Type(master, "\n");
    });
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.result, "DSN=telv;UID=carol;PWD=old");
}

TEST_F(LoginLibrary, EndOfInputOnTheTerminalCancels) {
    Outcome o = RunInChild("DSN=telv", [](int master, std::string& screen) {
        ASSERT_TRUE(ReadUntil(master, "User name: ", screen));
        Type(master, "\x04");  // end of input
    });
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.result, "<null>");
}

TEST_F(LoginLibrary, SemicolonInAnAnswerIsAskedAgain) {
    Outcome o = RunInChild("DSN=telv;PWD=p", [](int master, std::string& screen) {
        ASSERT_TRUE(ReadUntil(master, "User name: ", screen));
        Type(master, "a;b\n");
        ASSERT_TRUE(ReadUntil(master, "cannot contain ';'", screen));
        ASSERT_TRUE(ReadUntil(master, "User name: ", screen));
        Type(master, "ab\n");
    });
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.result, "DSN=telv;PWD=p;UID=ab");
}

}  // namespace
