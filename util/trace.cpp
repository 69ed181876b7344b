#include "util/trace.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/setupkey.h"
#include "util/strutil.h"

std::atomic<int> DebugTraceMode{TRACE_OFF};

namespace {

// Constant-initialised and trivially destroyed, so a thread may still trace while the process
// runs its exit handlers, and unloading the driver leaves nothing allocated behind.
std::mutex g_trace_lock;
std::mutex& trace_lock() { return g_trace_lock; }

FILE* g_stream[2] = {nullptr, nullptr};  // guarded by trace_lock()

bool valid(int stream) { return stream == 0 || stream == 1; }

std::string user_name() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd pw;
    struct passwd* result = nullptr;
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) != 0 || !result || !result->pw_name) return "";
    std::string name = result->pw_name;
    if (name.size() > 255) name.resize(255);
    return name;
}

std::string local_time(const char* format) {
    time_t now = time(nullptr);
    struct tm tm {};
    localtime_r(&now, &tm);
    char buf[128];
    size_t n = strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, n);
}

void write_line(FILE* f, bool with_thread, const char* format, va_list args) {
    if (with_thread) fprintf(f, "[%ld] ", TraceThreadId());
    vfprintf(f, format, args);
    fputc('\n', f);
    fflush(f);
}

void trace_channel_write(LOG_Channel*, int, const char* text) {
    if (!DebugTraceOn()) return;
    std::lock_guard<std::mutex> guard(trace_lock());
    if (g_stream[0]) {
        fputs(text, g_stream[0]);
        fflush(g_stream[0]);
    }
}

// The trace holds what the application sends (statements, values), and its name is often in a
// directory others write to: the file is the owner's alone (0600), and a name that someone else
// planted there (a link to another file, a file of theirs, a second name of a file, a pipe) is
// refused rather than followed or truncated.
int open_trace_file(const std::string& name) {
    int fd = open(name.c_str(), O_CREAT | O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat sb;
    if (fstat(fd, &sb) != 0 || !S_ISREG(sb.st_mode) || sb.st_uid != geteuid() || sb.st_nlink != 1 ||
        ftruncate(fd, 0) != 0 || fchmod(fd, 0600) != 0) {
        close(fd);
        return -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

}  // namespace

long TraceThreadId() { return static_cast<long>(syscall(SYS_gettid)); }

std::string DebugExpandName(const char* setting, int stream) {
    std::string out;
    if (!setting) return out;
    for (const char* p = setting; *p; ++p) {
        if (*p != '$') {
            out += *p;
            continue;
        }
        char c = p[1];
        if (c == '\0') break;  // a final "$" is dropped
        ++p;
        switch (c) {
            case '$':
                out += '$';
                break;
            case 'H':
            case 'h': {
                out += UserHomeDirectory();
                if (!out.empty() && out.back() != '/' && p[1] != '/' && p[1] != '\\') out += '/';
                break;
            }
            case 'P':
            case 'p':
                out += std::to_string(getpid());
                break;
            case 'T':
            case 't':
                out += local_time("%Y%m%d-%H%M%S");
                break;
            case 'U':
            case 'u':
                out += user_name();
                break;
            default:
                break;  // unknown: both characters go
        }
    }
    if (stream == 1 && !out.empty()) out += "-xa";
    return out;
}

void DebugOpen(int stream) {
    if (!valid(stream)) return;
    char setting[1024] = "";
    const char* env = getenv("KIV_DEBUGFILE");
    if (env) {
        snprintf(setting, sizeof setting, "%s", env);
    } else {
        GetSetupValue("ODBC", "DebugFile", "", setting, sizeof setting);
    }
    if (!setting[0]) return;
    {
        std::lock_guard<std::mutex> guard(trace_lock());
        if (g_stream[stream]) return;  // already open: keep it
        if (strcmp(setting, "stderr") == 0) {
            g_stream[stream] = stderr;
            int off = TRACE_OFF;
            DebugTraceMode.compare_exchange_strong(off, TRACE_STDERR);
            return;
        }
    }
    std::string name = DebugExpandName(setting, stream);
    if (name.empty()) return;
    int fd = open_trace_file(name);
    if (fd < 0) return;
    FILE* f = fdopen(fd, "w");
    if (!f) {
        close(fd);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(trace_lock());
        if (g_stream[stream]) {  // another thread opened it meanwhile
            fclose(f);
            return;
        }
        g_stream[stream] = f;
        DebugTraceMode.store(TRACE_FILE);
    }
    std::string started = local_time("** started on %a %b %d %H:%M:%S %Y **");
    if (stream == 0) {
        DebugPrint("** Corvanta ODBC Trace file for %s **", GetProgramName());
        DebugPrint("%s", started.c_str());
    } else {
        XaTracePrint(0, "** Corvanta XA Trace File **");
        XaTracePrint(0, "%s", started.c_str());
        XaTracePrint(0, "\n");
    }
}

void DebugClose(int stream) {
    if (!valid(stream)) return;
    if (!DebugStreamOpen(stream)) return;
    // The closing lines go to the stream being closed.
    std::string finished = local_time("\n** finished on %a %b %d %H:%M:%S %Y **");
    if (stream == 0) {
        DebugPrint("%s", finished.c_str());
        DebugPrint("** normal end **");
    } else {
        XaTracePrint(0, "%s", finished.c_str());
        XaTracePrint(0, "** normal end **");
    }
    std::lock_guard<std::mutex> guard(trace_lock());
    FILE* f = g_stream[stream];
    g_stream[stream] = nullptr;
    if (f && f != stderr) fclose(f);
    if (!g_stream[0] && !g_stream[1]) DebugTraceMode.store(TRACE_OFF);
}

void DebugVPrint(const char* format, va_list args) {
    if (!DebugTraceOn() || !format) return;
    std::lock_guard<std::mutex> guard(trace_lock());
    if (g_stream[0]) write_line(g_stream[0], false, format, args);
}

void DebugPrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    DebugVPrint(format, args);
    va_end(args);
}

void XaTraceVPrint(int with_thread, const char* format, va_list args) {
    if (!DebugTraceOn() || !format) return;
    std::lock_guard<std::mutex> guard(trace_lock());
    if (g_stream[1]) write_line(g_stream[1], with_thread != 0, format, args);
}

void XaTracePrint(int with_thread, const char* format, ...) {
    va_list args;
    va_start(args, format);
    XaTraceVPrint(with_thread, format, args);
    va_end(args);
}

bool DebugStreamOpen(int stream) {
    if (!valid(stream)) return false;
    std::lock_guard<std::mutex> guard(trace_lock());
    return g_stream[stream] != nullptr;
}

LOG_Channel* DebugOpenLogChannel(int level, uint32_t flags) {
    return log_channel_open(trace_channel_write, nullptr, level, 1, flags);
}
