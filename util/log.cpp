#include "util/log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "util/strutil.h"
#include "util/utf.h"

namespace {

const char* const kLevelNames[8] = {"EMERG", "ALERT", "CRIT", "ERROR", "WARNING", "NOTICE", "INFO", "DEBUG"};

// The list is walked while channels write, and a channel's write may log again: recursive.
std::recursive_mutex g_lock;
LOG_Channel g_head;            // circular list head; valid once g_opened
bool g_opened = false;         // a channel has been opened at least once
bool g_stderrFallback = true;  // messages before the first channel go to standard error
std::string* g_program = nullptr;
LOG_ClockFn g_clock = nullptr;

int clamp_level(int level) {
    if (level < 0) return 0;
    if (level > 7) return 7;
    return level;
}

void system_clock(struct tm* out) {
    time_t now = time(nullptr);
    localtime_r(&now, out);
}

void stream_write(LOG_Channel* channel, int, const char* text) {
    if (!channel->stream) return;
    fputs(text, channel->stream);
    fflush(channel->stream);
}

void stream_close_owned(LOG_Channel* channel) {
    if (channel->stream) fclose(channel->stream);
    channel->stream = nullptr;
}

void null_write(LOG_Channel*, int, const char*) {}
void null_close(LOG_Channel*) {}

// No "%n": a log line never writes through its arguments.
bool is_conversion(char c) { return c != '\0' && strchr("diouxXeEfFgGaAcsp", c) != nullptr; }

// Length of a complete printf directive starting at p[0] == '%', or 0 when it does not end
// before the end of the text or a newline (it is then taken as literal text).
size_t directive_length(const char* p) {
    size_t i = 1;
    while (p[i] && strchr("-+ #0'", p[i])) ++i;
    if (p[i] == '*')
        ++i;
    else
        while (p[i] >= '0' && p[i] <= '9') ++i;
    if (p[i] == '.') {
        ++i;
        if (p[i] == '*')
            ++i;
        else
            while (p[i] >= '0' && p[i] <= '9') ++i;
    }
    for (int k = 0; k < 2 && p[i] && strchr("hlLqjzt", p[i]); ++k) ++i;
    return is_conversion(p[i]) ? i + 1 : 0;
}

// Appends text so that it reads literally after printf formatting ("%" doubled); never cuts
// a doubled "%" in half. Returns false when the buffer is full.
bool put_literal(char* out, size_t& pos, size_t room, const char* text, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        size_t need = text[i] == '%' ? 2 : 1;
        if (pos + need > room) return false;
        out[pos++] = text[i];
        if (need == 2) out[pos++] = '%';
    }
    return true;
}

const char* program_name() {
    if (g_program) return g_program->c_str();
    return GetProgramName();
}

}  // namespace

void log_expand_format(const char* format, const char* file, int line, int err, char* out, size_t out_size) {
    if (!out || out_size < 2) {
        if (out && out_size) out[0] = '\0';
        return;
    }
    size_t room = out_size - 2;  // newline and NUL always fit
    size_t pos = 0;
    const char* p = format ? format : "";
    while (*p && *p != '\n') {
        if (*p != '%') {
            if (pos + 1 > room) break;
            out[pos++] = *p++;
            continue;
        }
        char c = p[1];
        if (c == 'F' || c == 'L' || c == 'm') {
            char number[16];
            const char* text;
            if (c == 'F') {
                text = file ? file : "";
            } else if (c == 'L') {
                snprintf(number, sizeof number, "%d", line);
                text = number;
            } else {
                text = ErrorText(static_cast<unsigned>(err));
            }
            if (!put_literal(out, pos, room, text, strlen(text))) break;
            p += 2;
            continue;
        }
        if (c == '%') {
            if (pos + 2 > room) break;
            out[pos++] = '%';
            out[pos++] = '%';
            p += 2;
            continue;
        }
        size_t n = directive_length(p);
        if (n == 0) {
            // An unfinished directive (a lone "%" at the end, for one) is shown as written.
            if (!put_literal(out, pos, room, "%", 1)) break;
            ++p;
            continue;
        }
        if (pos + n > room) break;
        memcpy(out + pos, p, n);
        pos += n;
        p += n;
    }
    out[pos++] = '\n';
    out[pos] = '\0';
}

int log_vprint(int level, const char* file, int line, uint32_t mask, const char* format, va_list args) {
    int saved_errno = errno;
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    char expanded[LOG_LINE_MAX];
    if (!g_opened) {
        if (!g_stderrFallback) {
            errno = saved_errno;
            return 0;
        }
        log_expand_format(format, file, line, saved_errno, expanded, sizeof expanded);
        va_list copy;
        va_copy(copy, args);
        vfprintf(stderr, expanded, copy);
        va_end(copy);
        errno = saved_errno;
        return 0;
    }
    level = clamp_level(level);
    struct tm now {};
    (g_clock ? g_clock : system_clock)(&now);
    bool have_message = false;
    char message[LOG_LINE_MAX];
    size_t message_len = 0;
    for (LOG_Channel* ch = g_head.next; ch != &g_head;) {
        LOG_Channel* next = ch->next;
        if (mask != 0 && (mask & ch->levels[level]) == 0) {
            ch = next;
            continue;
        }
        unsigned month = static_cast<unsigned>(now.tm_mon + 1), day = static_cast<unsigned>(now.tm_mday),
                 year = static_cast<unsigned>(now.tm_year + 1900);
        if ((ch->flags & LOGF_DATE) && (ch->last_month != month || ch->last_day != day || ch->last_year != year)) {
            char header[128];
            if (strftime(header, sizeof header, "\n\t\t%a %b %d %Y\n", &now) > 0 && ch->write)
                ch->write(ch, level, header);
            ch->last_month = month;
            ch->last_day = day;
            ch->last_year = year;
        }
        char buf[LOG_LINE_MAX];
        int len = 0;
        if (ch->flags & LOGF_TIME) {
            if (ch->flags & LOGF_DATE)
                len = snprintf(buf, sizeof buf, "%02u:%02u:%02u ", static_cast<unsigned>(now.tm_hour),
                               static_cast<unsigned>(now.tm_min), static_cast<unsigned>(now.tm_sec));
            else
                len = snprintf(buf, sizeof buf, "%02u/%02u/%04u %02u:%02u:%02u ", month, day, year,
                               static_cast<unsigned>(now.tm_hour), static_cast<unsigned>(now.tm_min),
                               static_cast<unsigned>(now.tm_sec));
        }
        auto append = [&](const char* text) {
            int room = static_cast<int>(sizeof buf) - len;
            if (room <= 1) return;
            int n = snprintf(buf + len, static_cast<size_t>(room), "%s", text);
            len += n < room ? n : room - 1;
        };
        if (ch->flags & LOGF_LEVEL) {
            append(kLevelNames[level]);
            append(" ");
        }
        if (ch->flags & LOGF_PROGRAM) {
            append(program_name());
            append(" ");
        }
        if ((ch->flags & LOGF_SOURCE) && file) {
            char where[LOG_LINE_MAX];
            snprintf(where, sizeof where, "(%s:%d) ", file, line);
            append(where);
        }
        if (len > 0 && (ch->flags & (LOGF_LEVEL | LOGF_PROGRAM | LOGF_SOURCE)) && buf[len - 1] == ' ' &&
            len + 1 < static_cast<int>(sizeof buf)) {
            buf[len - 1] = ':';
            buf[len++] = ' ';
            buf[len] = '\0';
        }
        if (!have_message) {
            log_expand_format(format, file, line, saved_errno, expanded, sizeof expanded);
            va_list copy;
            va_copy(copy, args);
            int n = vsnprintf(message, sizeof message, expanded, copy);
            va_end(copy);
            message_len =
                n < 0 ? 0 : (static_cast<size_t>(n) < sizeof message ? static_cast<size_t>(n) : sizeof message - 1);
            have_message = true;
        }
        // Prefix and message share one line; a cut line still ends with its newline.
        size_t room = sizeof buf - static_cast<size_t>(len) - 1;
        size_t take = message_len;
        if (take > room) {
            take = Utf8CutLength(message, message_len, room - 1);
            memcpy(buf + len, message, take);
            buf[static_cast<size_t>(len) + take] = '\n';
            buf[static_cast<size_t>(len) + take + 1] = '\0';
        } else {
            memcpy(buf + len, message, take);
            buf[static_cast<size_t>(len) + take] = '\0';
        }
        if (ch->write) ch->write(ch, level, buf);
        ch = next;
    }
    errno = saved_errno;
    return 0;
}

int log_printf(int level, const char* file, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    log_vprint(level, file, line, 1, format, args);
    va_end(args);
    return 0;
}

int log_print_masked(int level, const char* file, int line, uint32_t mask, const char* format, ...) {
    va_list args;
    va_start(args, format);
    log_vprint(level, file, line, mask, format, args);
    va_end(args);
    return 0;
}

#define TV_LOG_AT(fn, lvl)                            \
    int fn(const char* format, ...) {                 \
        va_list args;                                 \
        va_start(args, format);                       \
        log_vprint(lvl, nullptr, 0, 1, format, args); \
        va_end(args);                                 \
        return 0;                                     \
    }
TV_LOG_AT(log_error, LOGL_ERROR)
TV_LOG_AT(log_warning, LOGL_WARNING)
TV_LOG_AT(log_info, LOGL_INFO)
TV_LOG_AT(log_debug, LOGL_DEBUG)
#undef TV_LOG_AT

namespace {

// Builds a channel completely before it becomes visible to writers on other threads.
LOG_Channel* open_channel(LOG_WriteFn write, LOG_CloseFn close, int level, uint32_t mask, uint32_t flags,
                          FILE* stream) {
    auto* ch = static_cast<LOG_Channel*>(calloc(1, sizeof(LOG_Channel)));
    if (!ch) return nullptr;
    ch->write = write;
    ch->close = close;
    ch->flags = flags;
    ch->stream = stream;
    level = clamp_level(level);
    for (int i = 0; i <= level; ++i) ch->levels[i] = mask;
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (!g_opened) {
        g_head.next = g_head.prev = &g_head;
        g_opened = true;
    }
    ch->next = g_head.next;
    ch->prev = &g_head;
    g_head.next->prev = ch;
    g_head.next = ch;
    return ch;
}

}  // namespace

LOG_Channel* log_channel_open(LOG_WriteFn write, LOG_CloseFn close, int level, uint32_t mask, uint32_t flags) {
    return open_channel(write, close, level, mask, flags, nullptr);
}

LOG_Channel* log_open_stream(FILE* stream, int level, uint32_t mask, uint32_t flags) {
    return open_channel(stream_write, nullptr, level, mask, flags, stream);
}

LOG_Channel* log_open_stream_owned(FILE* stream, int level, uint32_t mask, uint32_t flags) {
    return open_channel(stream_write, stream_close_owned, level, mask, flags, stream);
}

LOG_Channel* log_open_file(const char* path, int level, uint32_t mask, uint32_t flags) {
    if (!path) return nullptr;
    FILE* f = fopen(path, "a");
    if (!f) return nullptr;
    LOG_Channel* ch = log_open_stream_owned(f, level, mask, flags);
    if (!ch) fclose(f);
    return ch;
}

LOG_Channel* log_open_null(int level, uint32_t mask, uint32_t flags) {
    return log_channel_open(null_write, null_close, level, mask, flags);
}

int log_set_level(LOG_Channel* channel, int level, uint32_t mask) {
    if (!channel) return 0;
    level = clamp_level(level);
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    for (int i = 0; i < 8; ++i) {
        if (i <= level)
            channel->levels[i] |= mask;
        else
            channel->levels[i] &= ~mask;
    }
    return 0;
}

int log_set_level_all(LOG_Channel* channel, int level) { return log_set_level(channel, level, 0xFFFFFFFFu); }

void log_close(LOG_Channel* channel) {
    if (!channel) return;
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    // Out of the list before its close hook runs: the hook cannot leave it linked once freed.
    if (channel->next && channel->prev) {
        channel->prev->next = channel->next;
        channel->next->prev = channel->prev;
    }
    if (channel->close) channel->close(channel);
    free(channel);
}

void log_close_all() {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    if (!g_opened) return;
    while (g_head.next != &g_head) {
        LOG_Channel* first = g_head.next;
        g_head.next = first->next;
        first->next->prev = &g_head;
        first->next = first->prev = nullptr;
        log_close(first);  // no longer listed: closed and freed
    }
}

int log_parse_levels(const char* text, const LOG_LevelName* table, int count, uint32_t* mask) {
    if (mask) *mask = 0;
    if (!text || !mask || (count > 0 && !table)) return -1;
    const char* p = text;
    for (;;) {
        const char* end = strchr(p, ',');
        size_t len = end ? static_cast<size_t>(end - p) : strlen(p);
        int found = -1;
        for (int i = 0; i < count; ++i) {
            if (table[i].name && strlen(table[i].name) == len && strncmp(table[i].name, p, len) == 0) {
                found = i;
                break;
            }
        }
        if (found < 0) return -1;
        *mask |= table[found].value;
        if (!end) return 0;
        p = end + 1;
    }
}

const char* log_level_name(int level) { return kLevelNames[clamp_level(level)]; }

void log_set_program_name(const char* name) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    delete g_program;
    g_program = name ? new std::string(name) : nullptr;
}

void log_set_clock(LOG_ClockFn clock) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_clock = clock;
}

void log_set_stderr_fallback(bool on) {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    g_stderrFallback = on;
}

void log_reset_for_testing() {
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    log_close_all();
    g_opened = false;
    g_stderrFallback = true;
}
