// Tracing: diagnostic lines appended to the trace file named in the "Trace"
// section of qzcfg.ini.
//
// Several processes may append to one trace file at the same time. The file is
// opened with O_APPEND and every line (and the header block) is handed to the
// kernel in one write(2), so lines of different processes never mix inside a line.
//
// A record is one line: the values of a message are written with their control
// characters escaped (see qztrace_format.cpp), so that no text taken from a
// request can start a line that reads like a record of its own.

#include "qz/qztrace.h"
#include "runtime/qzini_internal.h"
#include "runtime/qztrace_internal.h"

#include "runtime/qzrequest_channel.h"
#include "runtime/qzrequest_reset.h"
#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char *kConfigVariable = "QZCFG";
constexpr const char *kConfigFile = "qzcfg.ini";
constexpr const char *kSection = "Trace";
constexpr size_t kTraceFileMax = 255;
constexpr const char *kLibraryVersion = "7_5_RC.040";

struct TraceState {
    // Whether the settings were read is kept apart from the switch: a file
    // saying Trace=-1 (on) must not look unread and re-read at every line.
    bool read = false;
    int16_t on = -1; // -1 until the settings were read
    int16_t level = 0;
    int16_t time = 0;
    std::string file;
    int fd = -1;
    int16_t headerWritten = 0;
    int16_t depth = 0;
    int16_t closeAfterEachLine = 0; // no part of the system turns it on
};

TraceState g_trace;

class ErrnoKeeper {
public:
    ErrnoKeeper() : saved_(errno) {}
    ~ErrnoKeeper() { errno = saved_; }
    ErrnoKeeper(const ErrnoKeeper &) = delete;
    ErrnoKeeper &operator=(const ErrnoKeeper &) = delete;
    void restore() const { errno = saved_; }

private:
    int saved_;
};

int16_t readNumber(const char *key, int16_t fallback) {
    char value[QZ_INI_VALUE_MAX + 1];
    if (QZ_ReadIniValue(kConfigVariable, kSection, key, kConfigFile, value) == 0) return fallback;
    return static_cast<int16_t>(std::strtol(value, nullptr, 10));
}

int openAppend(const std::string &path) {
    if (path.empty()) return -1;
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
}

// One write(2) per piece; the loop only continues after a signal or a short write.
void writeAll(int fd, const std::string &text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        done += static_cast<size_t>(n);
    }
}

QZ_PRINTF(1, 0) std::string formatV(const char *format, va_list args) {
    if (format == nullptr) return {};
    va_list copy;
    va_copy(copy, args);
    char small[512];
    const int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) return {};
    if (static_cast<size_t>(needed) < sizeof small) return std::string(small, static_cast<size_t>(needed));
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}

struct Clock {
    char date[40];
    char time[40];
};

Clock now() {
    Clock c{};
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    std::snprintf(c.date, sizeof c.date, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    std::snprintf(c.time, sizeof c.time, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return c;
}

std::string header() {
    const Clock c = now();
    std::string h = "=========== Trace start on ";
    h += c.date;
    h += " at ";
    h += c.time;
    h += ".\n=========== \tTraceFile\t";
    h += g_trace.file;
    h += "\n=========== \tTraceLevel\t" + std::to_string(g_trace.level);
    h += "\n=========== \tTraceTime\t" + std::to_string(g_trace.time);
    h += "\n=========== \tC/SQL routines version\t";
    h += kLibraryVersion;
    h += '\n';
    return h;
}

} // namespace

extern "C" {

void QZ_ReadTraceConfig(void) {
    if (g_trace.read) return;
    g_trace.read = true;
    g_trace.on = 0;
    g_trace.headerWritten = 0;
    g_trace.on = readNumber("Trace", g_trace.on);
    g_trace.level = readNumber("TraceLevel", g_trace.level);
    g_trace.time = readNumber("TraceTime", g_trace.time);
    char value[QZ_INI_VALUE_MAX + 1];
    if (QZ_ReadIniValue(kConfigVariable, kSection, "TraceFile", kConfigFile, value) != 0) {
        g_trace.file.assign(value, std::min(std::strlen(value), kTraceFileMax));
    }
}

void qz_TraceV(int16_t level, int16_t change, const char *format, va_list args) {
    // Tracing never changes errno: callers trace between a failing call and
    // the moment they read its error number.
    const ErrnoKeeper keepErrno;
    QZ_ReadTraceConfig();
    if (g_trace.on == 0 || level > g_trace.level) return;
    if (g_trace.fd < 0) {
        g_trace.fd = openAppend(g_trace.file);
        if (g_trace.fd < 0) return; // dropped; the next line tries again
    }
    if (g_trace.headerWritten == 0) {
        writeAll(g_trace.fd, header());
        g_trace.headerWritten = 1;
    }

    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%011d ", static_cast<int>(::getpid()));
    std::string line = prefix;
    if (g_trace.time != 0) {
        line += now().time;
        line += ' ';
    }
    for (int16_t i = 0; i < g_trace.depth; ++i) line += "   ";
    keepErrno.restore(); // "%m" reads the caller's error
    line += qz::trace::FormatEscaped(format, args);
    g_trace.depth = static_cast<int16_t>(g_trace.depth + change);
    line += '\n';
    writeAll(g_trace.fd, line);

    if (g_trace.closeAfterEachLine == 1) {
        ::close(g_trace.fd);
        g_trace.fd = -1;
    }
}

void QZ_Trace(int16_t level, const char *format, ...) {
    va_list args;
    va_start(args, format);
    qz_TraceV(level, 0, format, args);
    va_end(args);
}

void QZ_TraceIndent(int16_t change, const char *format, ...) {
    va_list args;
    va_start(args, format);
    qz_TraceV(0, change, format, args);
    va_end(args);
}

int16_t QZ_GetTraceLevel(void) {
    QZ_ReadTraceConfig();
    return g_trace.level;
}

int QZ_Printf(const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list forTrace;
    va_copy(forTrace, args);
    const std::string text = formatV(format, args);
    va_end(args);
    std::fwrite(text.data(), 1, text.size(), qz_RequestOut());
    // The trace gets the same message through the same format, so that its
    // values are escaped there while standard output receives them unchanged.
    qz_TraceV(0, 0, format, forTrace);
    va_end(forTrace);
    return 0;
}

void QZ_TraceAppendMessage(const char *text) {
    QZ_ReadTraceConfig();
    if (g_trace.on == 0 || text == nullptr) return;
    const int fd = openAppend(g_trace.file);
    if (fd < 0) return;
    std::string line;
    qz::trace::AppendEscaped(line, text);
    line += '\n';
    writeAll(fd, line);
    ::close(fd);
}

void qz_TraceRequestEnd(void) { g_trace.depth = 0; }

void QZ_TraceReset(void) {
    if (g_trace.fd >= 0) ::close(g_trace.fd);
    g_trace = TraceState{};
    qz::ini::ForgetCopies(); // the next read sees the file as it is now
}

} // extern "C"
