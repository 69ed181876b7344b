#pragma once
// Levelled log facility: source-located messages go to every open channel whose level mask
// admits them; each channel writes its own prefix (date header, time, level, program, source).
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>

// Levels (names differ from <syslog.h> macros on purpose).
enum : int {
    LOGL_EMERG = 0,
    LOGL_ALERT = 1,
    LOGL_CRIT = 2,
    LOGL_ERROR = 3,
    LOGL_WARNING = 4,
    LOGL_NOTICE = 5,
    LOGL_INFO = 6,
    LOGL_DEBUG = 7,
};

// Channel flags.
enum : uint32_t {
    LOGF_DATE = 1,     // daily date header; the time prefix is then the time of day only
    LOGF_TIME = 2,     // time stamp
    LOGF_LEVEL = 4,    // level name
    LOGF_PROGRAM = 8,  // program name
    LOGF_SOURCE = 16,  // "(file:line) "
};

constexpr size_t LOG_LINE_MAX = 2048;

struct LOG_Channel;
using LOG_WriteFn = void (*)(LOG_Channel* channel, int level, const char* text);
using LOG_CloseFn = void (*)(LOG_Channel* channel);

struct LOG_Channel {
    LOG_Channel* next;
    LOG_Channel* prev;
    uint32_t levels[8];
    uint32_t flags;
    unsigned last_month, last_day, last_year;
    LOG_WriteFn write;
    LOG_CloseFn close;
    FILE* stream;
    void* user;  // free for the channel's owner (e.g. a custom write function)
};

struct LOG_LevelName {
    const char* name;
    uint32_t value;
};

int log_printf(int level, const char* file, int line, const char* format, ...) __attribute__((format(printf, 4, 5)));
int log_print_masked(int level, const char* file, int line, uint32_t mask, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
// The variadic forms are checked as printf formats, so "%F" and "%L" (source file and line) are
// reachable through log_vprint only; "%m" works everywhere.
int log_vprint(int level, const char* file, int line, uint32_t mask, const char* format, va_list args);
int log_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
int log_warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
int log_info(const char* format, ...) __attribute__((format(printf, 1, 2)));
int log_debug(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Channels are created linked into the process-wide list (at its front).
LOG_Channel* log_channel_open(LOG_WriteFn write, LOG_CloseFn close, int level, uint32_t mask, uint32_t flags);
LOG_Channel* log_open_stream(FILE* stream, int level, uint32_t mask, uint32_t flags);
LOG_Channel* log_open_stream_owned(FILE* stream, int level, uint32_t mask, uint32_t flags);
LOG_Channel* log_open_file(const char* path, int level, uint32_t mask, uint32_t flags);
LOG_Channel* log_open_null(int level, uint32_t mask, uint32_t flags);

int log_set_level(LOG_Channel* channel, int level, uint32_t mask);
int log_set_level_all(LOG_Channel* channel, int level);

// Calls the channel's close function, unlinks it and releases the record: the pointer is dead
// afterwards. A null channel is ignored.
void log_close(LOG_Channel* channel);
void log_close_all();

int log_parse_levels(const char* text, const LOG_LevelName* table, int count, uint32_t* mask);

// Name of a level (clamped), e.g. "ERROR".
const char* log_level_name(int level);

// Program name written under LOGF_PROGRAM; defaults to GetProgramName(). Null restores the default.
void log_set_program_name(const char* name);

// Clock for prefixes and date headers: fills the local broken-down time. Null restores the
// system clock. Meant for tests.
using LOG_ClockFn = void (*)(struct tm* out);
void log_set_clock(LOG_ClockFn clock);

// Expands %F, %L and %m of a format (see log.cpp) into out (a NUL-terminated text ending in a
// newline); exposed for tests.
void log_expand_format(const char* format, const char* file, int line, int err, char* out, size_t out_size);

// Whether messages logged before the first channel go to standard error (the default). A library
// living in another program's process turns it off: that stream is not its own.
void log_set_stderr_fallback(bool on);

// Forgets that a channel was ever opened (messages go to standard error again); tests only.
void log_reset_for_testing();
