// Tracing: the header block, line prefix, levels, indentation, the standard
// output twin and appends from several processes at once.
#include "qz/qztrace.h"
#include "runtime/qztrace_internal.h"
#include "test_core_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using qztest::ScratchDir;
using qztest::splitLines;
using qztest::TraceCapture;

std::string pidPrefix(pid_t pid) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%011d ", static_cast<int>(pid));
    return buffer;
}

TEST(CoreTrace, FirstLineIsPrecededByTheHeaderBlock) {
    TraceCapture trace(3);
    QZ_Trace(0, "first %d", 1);
    QZ_Trace(3, "second %s", "x");
    const std::vector<std::string> lines = splitLines(trace.text());
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(=========== Trace start on \d{4}-\d\d-\d\d at \d\d:\d\d:\d\d\.)")))
        << lines[0];
    EXPECT_EQ(lines[1], "=========== \tTraceFile\t" + trace.tracePath());
    EXPECT_EQ(lines[2], "=========== \tTraceLevel\t3");
    EXPECT_EQ(lines[3], "=========== \tTraceTime\t0");
    EXPECT_EQ(lines[4], "=========== \tC/SQL routines version\t7_5_RC.040");
    EXPECT_EQ(lines[5], pidPrefix(getpid()) + "first 1");
    EXPECT_EQ(lines[6], pidPrefix(getpid()) + "second x");
}

TEST(CoreTrace, LevelsAboveTheConfiguredOneAreDropped) {
    {
        TraceCapture trace(0);
        QZ_Trace(1, "one");
        QZ_Trace(0, "zero");
        QZ_Trace(10, "ten");
        EXPECT_EQ(trace.messages(), std::vector<std::string>{"zero"});
        EXPECT_EQ(QZ_GetTraceLevel(), 0);
    }
    {
        TraceCapture trace(-1);
        QZ_Trace(0, "zero");
        EXPECT_EQ(QZ_GetTraceLevel(), -1);
        EXPECT_FALSE(std::filesystem::exists(trace.tracePath())); // not even opened
    }
}

TEST(CoreTrace, TimeOfDayFollowsThePrefixWhenAsked) {
    TraceCapture trace(0, 1);
    QZ_Trace(0, "timed");
    const std::vector<std::string> lines = splitLines(trace.text());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], "=========== \tTraceTime\t1");
    EXPECT_TRUE(std::regex_match(lines[5], std::regex(pidPrefix(getpid()) + R"(\d\d:\d\d:\d\d timed)"))) << lines[5];
}

TEST(CoreTrace, IndentationChangesAfterTheLine) {
    TraceCapture trace(0);
    QZ_TraceIndent(1, "enter");
    QZ_Trace(0, "inside");
    QZ_TraceIndent(1, "deeper");
    QZ_TraceIndent(-2, "leave");
    QZ_Trace(0, "outside");
    QZ_TraceIndent(-1, "below zero");
    QZ_Trace(0, "still flush");
    const std::vector<std::string> expected = {"enter",    "   inside", "   deeper", "      leave",
                                               "outside", "below zero", "still flush"};
    EXPECT_EQ(trace.messages(), expected);
}

TEST(CoreTrace, SettingsAreReadOnce) {
    TraceCapture trace(0);
    QZ_Trace(0, "before");
    trace.dir().write("qzcfg.ini", "[Trace]\nTrace=0\n");
    QZ_Trace(0, "after");
    EXPECT_EQ(trace.messages(), (std::vector<std::string>{"before", "after"}));
    QZ_TraceReset(); // forgets them: the new file turns tracing off
    QZ_Trace(0, "dropped");
    EXPECT_EQ(trace.messages(), (std::vector<std::string>{"before", "after"}));
}

TEST(CoreTrace, NegativeSwitchTurnsTracingOnOnce) {
    TraceCapture trace(0);
    trace.dir().write("qzcfg.ini", "[Trace]\nTrace=-1\nTraceFile=" + trace.tracePath() + "\n");
    QZ_TraceReset();
    QZ_Trace(0, "a");
    QZ_Trace(0, "b");
    EXPECT_EQ(splitLines(trace.text()).size(), 7u); // one header block, two lines
}

TEST(CoreTrace, WithoutConfigurationNothingIsWritten) {
    ScratchDir dir;
    unsetenv("QZCFG");
    QZ_TraceReset();
    QZ_Trace(0, "nothing");
    QZ_TraceAppendMessage("nothing");
    EXPECT_EQ(QZ_GetTraceLevel(), 0);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    QZ_TraceReset();
}

TEST(CoreTrace, UnopenableTraceFileDropsLinesUntilItOpens) {
    ScratchDir dir;
    unsetenv("QZCFG");
    const std::string path = dir.file("later/trace.log");
    dir.write("qzcfg.ini", "[Trace]\nTrace=1\nTraceFile=" + path + "\n");
    QZ_TraceReset();
    QZ_Trace(0, "lost");
    std::filesystem::create_directory(dir.file("later"));
    QZ_Trace(0, "kept");
    const std::vector<std::string> lines = splitLines(qztest::readFile(path));
    ASSERT_EQ(lines.size(), 6u); // the header comes with the first line that reaches the file
    EXPECT_EQ(lines[5], pidPrefix(getpid()) + "kept");
    QZ_TraceReset();
}

TEST(CoreTrace, LongMessagesAreWrittenWhole) {
    TraceCapture trace(0);
    const std::string big(100000, 'z');
    QZ_Trace(0, "<%s>", big.c_str());
    EXPECT_EQ(trace.messages(), std::vector<std::string>{"<" + big + ">"});
}

TEST(CoreTrace, PrintfWritesStandardOutputAndTracesAtLevelZero) {
    TraceCapture trace(0);
    testing::internal::CaptureStdout();
    const int result = QZ_Printf("report %d: %s", 7, "text");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "report 7: text");
    EXPECT_EQ(trace.messages(), std::vector<std::string>{"report 7: text"});
}

// Standard output gets the values as they are; the trace record keeps them on its line.
TEST(CoreTrace, PrintfTracesItsValuesEscaped) {
    TraceCapture trace(0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(QZ_Printf("SQLSTATE %s.\n", "42\n00000000001 x"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "SQLSTATE 42\n00000000001 x.\n");
    EXPECT_EQ(trace.text().substr(trace.text().find("SQLSTATE")), "SQLSTATE 42\\n00000000001 x.\n\n");
}

std::string formatted(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = qz::trace::FormatEscaped(format, args);
    va_end(args);
    return text;
}

std::string printed(const char *format, ...) {
    va_list args;
    va_start(args, format);
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// Values taken from requests, documents and servers are written with their
// control characters escaped: no line feed of theirs can start a record.
TEST(CoreTrace, ValuesCannotStartARecord) {
    TraceCapture trace(0);
    const pid_t other = getpid() + 1;
    const std::string forged = "x\n" + pidPrefix(other) + "forged\r\x1b[31m\x7f\tend\x01";
    QZ_Trace(0, "value=%s", forged.c_str());
    QZ_Trace(0, "char=%c%c", '\n', 'z');
    const std::vector<std::string> lines = splitLines(trace.text());
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[5], pidPrefix(getpid()) + "value=x\\n" + pidPrefix(other) + "forged\\r\\x1b[31m\\x7f\\tend\\x01");
    EXPECT_EQ(lines[6], pidPrefix(getpid()) + "char=\\nz");
}

// The line ends that some of the program's own messages carry in their format
// (the socket messages end in "\n\r") are written as they always were.
TEST(CoreTrace, TheFormatsOwnCharactersAreKept) {
    TraceCapture trace(0);
    QZ_Trace(0, "Socket %d opened.\n\r", 3);
    QZ_Trace(0, "\tName: %s.\n\r", "a\rb");
    const std::string text = trace.text();
    EXPECT_EQ(text.substr(text.find("Socket")), "Socket 3 opened.\n\r\n" + pidPrefix(getpid()) + "\tName: a\\rb.\n\r\n");
}

TEST(CoreTrace, ConversionsFormatAsPrintfDoes) {
    const char *text = "abcdef";
    EXPECT_EQ(formatted("%5.2f|%-4d|%*d|%.*s|%%|%lu|%llx|%hd|%hhu|%zu|%c|%e|%+05d|%#o|%10.3s|%-*s|.", 3.14159, 7, 6,
                        42, 3, text, 123456789ul, 0xabcdefull, static_cast<short>(-2), 300, size_t{9}, 'q', 1e10,
                        12, 8, text, -5, "ab"),
              printed("%5.2f|%-4d|%*d|%.*s|%%|%lu|%llx|%hd|%hhu|%zu|%c|%e|%+05d|%#o|%10.3s|%-*s|.", 3.14159, 7, 6, 42,
                      3, text, 123456789ul, 0xabcdefull, static_cast<short>(-2), 300, size_t{9}, 'q', 1e10, 12, 8,
                      text, -5, "ab"));
    EXPECT_EQ(formatted("%jd %td %Lf %p %s %.2s|%.*s|", intmax_t{-9}, ptrdiff_t{4}, 2.5L, static_cast<void *>(&errno),
                        static_cast<const char *>(nullptr), "xyz", -1, "all"),
              printed("%jd %td %Lf %p %s %.2s|%.*s|", intmax_t{-9}, ptrdiff_t{4}, 2.5L, static_cast<void *>(&errno),
                      static_cast<const char *>(nullptr), "xyz", -1, "all"));
    EXPECT_EQ(formatted("100%"), "100%");
    // Numbered arguments are formatted whole, and then everything is escaped.
    EXPECT_EQ(formatted("%2$s-%1$s\n", "a\n", "b"), "b-a\\n\\n");
    EXPECT_EQ(formatted("%ls", L"w\n"), "w\\n");
}

TEST(CoreTrace, TracingKeepsErrno) {
    TraceCapture trace(0);
    errno = ENOENT;
    QZ_Trace(0, "first line opens the file: %m");
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(trace.messages(), std::vector<std::string>{std::string("first line opens the file: ") + std::strerror(ENOENT)});
}

TEST(CoreTrace, AppendedMessagesAreOneLine) {
    TraceCapture trace(0);
    QZ_TraceAppendMessage("two\nlines");
    EXPECT_EQ(trace.text(), "two\\nlines\n");
}

TEST(CoreTrace, AppendMessageAddsTheBareTextAndALineFeed) {
    TraceCapture trace(0);
    QZ_Trace(0, "line");
    QZ_TraceAppendMessage("Application aborted.");
    QZ_Trace(0, "next");
    const std::vector<std::string> lines = splitLines(trace.text());
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[6], "Application aborted.");
    EXPECT_EQ(lines[7], pidPrefix(getpid()) + "next");
}

// Several processes append to one file at once: every line must arrive whole,
// each process's lines in order, and each process writes its own header block.
TEST(CoreTrace, ConcurrentProcessesNeverMixInsideALine) {
    TraceCapture trace(0);
    constexpr int kProcesses = 6;
    constexpr int kLines = 400;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            QZ_TraceReset();
            for (int i = 0; i < kLines; ++i) {
                // Lengths vary from a few bytes to several pages.
                const std::string payload(static_cast<size_t>((i * 997 + p * 131) % 9000), static_cast<char>('a' + p));
                QZ_Trace(0, "P%d L%d %s|", p, i, payload.c_str());
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    std::map<pid_t, int> processOf;
    for (int p = 0; p < kProcesses; ++p) processOf[children[static_cast<size_t>(p)]] = p;
    std::vector<int> nextLine(kProcesses, 0);
    int headerLines = 0;
    for (const std::string &line : splitLines(trace.text())) {
        if (line.rfind("=========== ", 0) == 0) {
            ++headerLines;
            continue;
        }
        // "<11-digit pid> P<p> L<i> <payload>|", parsed by hand: the payloads are long.
        int pid = 0;
        int p = 0;
        int i = 0;
        int consumed = 0;
        ASSERT_GT(line.size(), 12u);
        ASSERT_EQ(line[11], ' ') << line.substr(0, 80);
        ASSERT_EQ(std::sscanf(line.c_str(), "%11d P%d L%d %n", &pid, &p, &i, &consumed), 3) << line.substr(0, 80);
        ASSERT_EQ(processOf.at(pid), p);
        EXPECT_EQ(i, nextLine[static_cast<size_t>(p)]++);
        const std::string expected(static_cast<size_t>((i * 997 + p * 131) % 9000), static_cast<char>('a' + p));
        EXPECT_EQ(line.substr(static_cast<size_t>(consumed)), expected + "|") << line.substr(0, 80);
    }
    EXPECT_EQ(headerLines, kProcesses * 5);
    for (int p = 0; p < kProcesses; ++p) EXPECT_EQ(nextLine[static_cast<size_t>(p)], kLines);
}

} // namespace
