/* Running an operating-system command: the command line is split into the
   program and its parameters with the runtime's own quoting rules, and the
   program is started through posix_spawnp (PATH search), optionally waiting
   for its end. */
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "qz/qzshell.h"
#include "qz/qztrace.h"
#include "runtime/qzshell_internal.h"

extern char **environ;

namespace {

bool IsWhite(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

/* Collects a token into the caller's buffer; characters past the maximum
   are dropped, so a long token is cut but still read to its end (its rest
   must not turn into a token of its own). */
class TokenWriter {
public:
    TokenWriter(char *output, size_t maximum) : output_(output), maximum_(maximum) {}
    ~TokenWriter()
    {
        if (output_ != nullptr)
            output_[length_] = '\0';
    }
    TokenWriter(const TokenWriter &) = delete;
    TokenWriter &operator=(const TokenWriter &) = delete;

    void Put(char c)
    {
        if (output_ != nullptr && length_ < maximum_)
            output_[length_++] = c;
    }

private:
    char *output_;
    size_t maximum_;
    size_t length_ = 0;
};

/* Skips white space; NULL when nothing else is left. */
const char *SkipToToken(const char *text, char *output)
{
    if (output != nullptr)
        output[0] = '\0';
    if (text == nullptr)
        return nullptr;
    while (IsWhite(*text))
        ++text;
    return *text == '\0' ? nullptr : text;
}

bool EndsQuoted(const char *p)
{
    return p[0] == '"' && (p[1] == '\0' || IsWhite(p[1]));
}

/* A token without a leading quote: up to white space; \" and "" give one quote. */
const char *ReadPlainToken(const char *p, TokenWriter &out)
{
    while (*p != '\0' && !IsWhite(*p)) {
        if ((p[0] == '\\' || p[0] == '"') && p[1] == '"') {
            out.Put('"');
            p += 2;
        } else {
            out.Put(*p++);
        }
    }
    return p;
}

/* Splits a command line the way the C runtime of a program started on a
   platform that hands it one joined command line would: blanks and tabs
   delimit, double quotes group and are removed, 2k backslashes before a
   quote give k backslashes (the quote delimits), 2k + 1 give k and a literal
   quote, other backslashes are literal, and "" inside quotes is one quote. */
std::vector<std::string> SplitLikeStartedProgram(std::string_view line)
{
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = line.size();
    for (;;) {
        while (i < n && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= n)
            break;
        std::string arg;
        bool quoted = false;
        while (i < n) {
            const char c = line[i];
            if (!quoted && (c == ' ' || c == '\t'))
                break;
            if (c == '\\') {
                size_t j = i;
                while (j < n && line[j] == '\\')
                    ++j;
                const size_t count = j - i;
                if (j < n && line[j] == '"') {
                    arg.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        arg += '"';
                        ++j;
                    }
                } else {
                    arg.append(count, '\\');
                }
                i = j;
            } else if (c == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += c;
                ++i;
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::string ErrorText(int error)
{
    char buffer[256] = {0};
    /* Both flavours of strerror_r: the GNU one returns the text. */
    struct Pick {
        static const char *From(int rc, const char *b) { return rc == 0 ? b : "Unknown error"; }
        static const char *From(const char *r, const char *) { return r; }
    };
    return Pick::From(strerror_r(error, buffer, sizeof buffer), buffer);
}

std::string FileNameOf(const std::string &path)
{
    size_t cut = path.rfind('/');
    if (cut == std::string::npos)
        cut = path.rfind('\\');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

int16_t TraceCount(size_t count)
{
    return static_cast<int16_t>(count > INT16_MAX ? INT16_MAX : count);
}

} // namespace

extern "C" {

const char *QZ_ShellFirstToken(const char *text, char *output, size_t maximum)
{
    const char *p = SkipToToken(text, output);
    if (p == nullptr)
        return nullptr;
    TokenWriter out(output, maximum);
    if (*p != '"')
        return ReadPlainToken(p, out);
    ++p; /* the quotes are not part of the program */
    while (*p != '\0') {
        if ((p[0] == '\\' || p[0] == '"') && p[1] == '"') {
            out.Put('"');
            p += 2;
        } else if (EndsQuoted(p)) {
            return p + 1;
        } else {
            out.Put(*p++);
        }
    }
    return p;
}

const char *QZ_ShellNextToken(const char *text, char *output, size_t maximum)
{
    const char *p = SkipToToken(text, output);
    if (p == nullptr)
        return nullptr;
    TokenWriter out(output, maximum);
    if (*p != '"')
        return ReadPlainToken(p, out);
    /* A quoted parameter keeps its quotes and escapes as written, so that it
       stays one parameter once the vector is joined into a command line. */
    out.Put(*p++);
    while (*p != '\0') {
        if ((p[0] == '\\' || p[0] == '"') && p[1] == '"') {
            out.Put(p[0]);
            out.Put(p[1]);
            p += 2;
        } else if (EndsQuoted(p)) {
            out.Put(*p++);
            break;
        } else {
            out.Put(*p++);
        }
    }
    return p;
}

int16_t QZ_ShellSpawn(const char *programPath, char *const argv[], uint16_t mode)
{
    const char *path = programPath != nullptr ? programPath : "";
    /* The parameters are joined as the original process start joined them and
       split again as the started program's runtime split them, so that the
       program receives the arguments it always received; entry 0, the file
       name, is passed whole (a blank in it must not shift the arguments). */
    std::vector<std::string> args;
    args.emplace_back(argv != nullptr && argv[0] != nullptr ? argv[0] : path);
    if (argv != nullptr && argv[0] != nullptr) {
        std::string joined;
        for (size_t i = 1; argv[i] != nullptr; ++i) {
            if (i > 1)
                joined += ' ';
            joined += argv[i];
        }
        for (std::string &arg : SplitLikeStartedProgram(joined))
            args.push_back(std::move(arg));
    }
    std::vector<char *> childArgv;
    childArgv.reserve(args.size() + 1);
    for (std::string &arg : args)
        childArgv.push_back(arg.data());
    childArgv.push_back(nullptr);

    /* Children of earlier runs that have ended are waited for now. */
    qz_Shell_ReapChildren();
    /* What this process has buffered goes out before the child writes. */
    std::fflush(nullptr);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, path, nullptr, nullptr, childArgv.data(), environ);
    if (error != 0) {
        QZ_Trace(0, "EXC0001: '%s' error executing '%s'", ErrorText(error).c_str(), path);
        return QZ_SHELL_FAILED;
    }
    if (mode == QZ_SHELL_WAIT) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    } else {
        qz::shell::RecordChild(pid); /* waited for once it has ended */
    }
    return QZ_SHELL_STARTED;
}

int16_t QZ_Shell(const char *commandLine, uint16_t mode, const void *unused)
{
    (void)unused;
    const char *line = commandLine != nullptr ? commandLine : "";
    QZ_Trace(1, "Shell-Command:%s", line);
    int16_t result = QZ_SHELL_STARTED;

    std::vector<char> token(QZ_SHELL_TOKEN_MAX + 1);
    const char *rest = QZ_ShellFirstToken(line, token.data(), QZ_SHELL_TOKEN_MAX);
    if (rest != nullptr) {
        std::vector<std::string> entries;
        entries.emplace_back(token.data());
        size_t count = 1;
        for (const char *p = rest; (p = QZ_ShellNextToken(p, token.data(), QZ_SHELL_TOKEN_MAX));)
            ++count;
        QZ_Trace(5, "Shell-ParmCount: %hd", TraceCount(count));
        for (const char *p = rest; (p = QZ_ShellNextToken(p, token.data(), QZ_SHELL_TOKEN_MAX));)
            entries.emplace_back(token.data());

        const std::string programPath = entries[0];
        entries[0] = FileNameOf(programPath);
        if (QZ_GetTraceLevel() > 4) {
            QZ_Trace(0, "Shell-Program:'%s'", programPath.c_str());
            for (size_t i = 0; i < entries.size(); ++i)
                QZ_Trace(0, "Shell-Param[%hd]:'%s'", TraceCount(i), entries[i].c_str());
        }
        std::vector<char *> argv;
        argv.reserve(entries.size() + 1);
        for (std::string &entry : entries)
            argv.push_back(entry.data());
        argv.push_back(nullptr);
        result = QZ_ShellSpawn(programPath.c_str(), argv.data(), mode);
    }
    QZ_Trace(5, "Shell-Return code: %hd", result);
    return result;
}

int16_t QZ_ShellExecute(const char *commandLine, uint16_t mode)
{
    return QZ_Shell(commandLine, mode, nullptr);
}

} // extern "C"
