// The login prompt. There is no window system to put a dialog on, so the prompt uses the
// controlling terminal when the process has one; tests answer through KIV_LOGIN_SCRIPT.
#include "platform/pramlogw/pramlogw.h"
#include "util/strutil.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Segment {
    std::string key;   // empty for a segment without '='
    std::string text;  // the whole segment
};

bool SameKey(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

std::vector<Segment> Split(const std::string& s) {
    std::vector<Segment> segments;
    std::size_t start = 0;
    while (start < s.size()) {
        std::size_t end = s.find(';', start);
        if (end == std::string::npos) end = s.size();
        Segment p;
        p.text = s.substr(start, end - start);
        std::size_t eq = p.text.find('=');
        if (eq != std::string::npos) p.key = p.text.substr(0, eq);
        if (!p.text.empty()) segments.push_back(p);
        start = end + 1;
    }
    return segments;
}

std::string Join(const std::vector<Segment>& segments) {
    std::string out;
    for (const auto& p : segments) {
        if (!out.empty()) out += ';';
        out += p.text;
    }
    return out;
}

// Sets key=value in the segments: every segment of that key, or a new one at the end.
void SetValue(std::vector<Segment>& segments, const std::string& key, const std::string& value) {
    bool found = false;
    for (auto& p : segments)
        if (!p.key.empty() && SameKey(p.key, key)) {
            p.text = p.key + "=" + value;
            found = true;
        }
    if (!found) segments.push_back({key, key + "=" + value});
}

// The last value of key, or null when the string has none.
const std::string* GetValue(const std::vector<Segment>& segments, const std::string& key, std::string& holder) {
    const std::string* found = nullptr;
    for (const auto& p : segments)
        if (!p.key.empty() && SameKey(p.key, key)) {
            holder = p.text.substr(p.key.size() + 1);
            found = &holder;
        }
    return found;
}

bool Missing(const std::string* v) { return !v || v->empty() || (*v)[0] == ' '; }

char* Dup(const std::string& s) {
    char* p = static_cast<char*>(std::malloc(s.size() + 1));
    if (p) std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

void Say(int fd, const std::string& s) {
    const char* p = s.data();
    std::size_t left = s.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n <= 0) return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

// One line from the terminal; false at end of input (the user gave up).
bool ReadLine(int fd, std::string& line) {
    line.clear();
    for (;;) {
        char c;
        ssize_t n = read(fd, &c, 1);
        if (n <= 0) return !line.empty();
        if (c == '\n') break;
        if (c != '\r') line += c;
    }
    return true;
}

// Asks for one value; keeps current on an empty answer. false when the user gave up.
bool Ask(int fd, const std::string& label, const std::string* current, bool secret, std::string& answer) {
    for (;;) {
        std::string prompt = label;
        if (current && !secret && !current->empty()) prompt += " [" + *current + "]";
        // Echo goes off before the prompt shows, so nothing typed after the prompt is echoed or lost.
        termios saved{};
        bool quiet = secret && tcgetattr(fd, &saved) == 0;
        if (quiet) {
            termios silent = saved;
            silent.c_lflag &= static_cast<tcflag_t>(~ECHO);
            tcsetattr(fd, TCSAFLUSH, &silent);
        }
        Say(fd, prompt + ": ");
        bool ok = ReadLine(fd, answer);
        if (quiet) {
            tcsetattr(fd, TCSANOW, &saved);
            Say(fd, "\n");
        }
        if (!ok) return false;
        if (answer.empty() && current) answer = *current;
        // The driver's connection strings cannot carry a ';' inside a value.
        if (answer.find(';') == std::string::npos) return true;
        Say(fd, "A value cannot contain ';'.\n");
    }
}

int PromptOnTerminal(const char* driver, std::vector<Segment>& segments) {
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return 0;
    std::string uidHolder, pwdHolder;
    const std::string* uid = GetValue(segments, "UID", uidHolder);
    const std::string* pwd = GetValue(segments, "PWD", pwdHolder);
    bool askUid = Missing(uid), askPwd = Missing(pwd);
    if (!askUid && !askPwd) askUid = askPwd = true;  // everything given: let the user confirm or change it
    Say(fd, std::string("Login") + (driver && *driver ? std::string(" to ") + driver : std::string()) +
                " (end of input cancels)\n");
    std::string answer;
    int code = 1;
    if (askUid) {
        if (Ask(fd, "User name", uid, false, answer))
            SetValue(segments, "UID", answer);
        else
            code = 0;
    }
    if (code == 1 && askPwd) {
        if (Ask(fd, "Password", pwd, true, answer))
            SetValue(segments, "PWD", answer);
        else
            code = 0;
    }
    if (code == 0) Say(fd, "\nLogin cancelled.\n");
    close(fd);
    return code;
}

}  // namespace

extern "C" std::int32_t KivLOGIN(void* window, const char* driver, const char* connstr, char** result, int mode) {
    (void)window;
    (void)mode;  // text is UTF-8 in both modes
    if (!result) return 0;
    *result = nullptr;
    std::vector<Segment> segments = Split(connstr ? connstr : "");
    const char* script = std::getenv(KIV_LOGIN_SCRIPT_ENV);
    int code;
    if (script) {
        if (SameKey(script, "CANCEL")) return 0;
        for (const auto& p : Split(script))
            if (!p.key.empty()) SetValue(segments, p.key, p.text.substr(p.key.size() + 1));
        code = 1;
    } else {
        code = PromptOnTerminal(driver, segments);
    }
    if (code != 1) return code;
    *result = Dup(Join(segments));
    return *result ? 1 : 0;
}

extern "C" void KivLOGIN_Free(char* result) { std::free(result); }
