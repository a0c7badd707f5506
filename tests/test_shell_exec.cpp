// Running real child programs: the arguments they receive, waiting or not,
// PATH search, and the EXC0001 report when a program cannot be started.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "qz/qzglobal.h"
#include "qz/qzshell.h"
#include "qz/qztrace.h"
#include "test_dates_support.h"

namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

const std::string kEcho = std::string(QZ_BINARY_DIR) + "/programs/dates_echo_args";

// Under valgrind a failed exec in the child is not reported back to
// posix_spawnp (valgrind cannot share the parent's memory with the child),
// so the start failures show only on a plain run.
bool UnderValgrind()
{
    const char *preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "vgpreload") != nullptr;
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Lines Split(const std::string &text)
{
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Each test gets its own directory, an output file for the child and a trace
// file at level 5.
class ShellExec : public ::testing::Test {
protected:
    void SetUp() override
    {
        out_ = cwd_.path("args.txt");
        trace_ = cwd_.path("trace.log");
        cwd_.WriteConfig("[Trace]\nTrace=1\nTraceLevel=5\nTraceFile=" + trace_ + "\n");
        QZ_TraceReset();
        setenv("DATES_ECHO_OUT", out_.c_str(), 1);
        unsetenv("DATES_ECHO_SLEEP_MS");
    }
    void TearDown() override
    {
        unsetenv("DATES_ECHO_OUT");
        unsetenv("DATES_ECHO_SLEEP_MS");
    }

    // The child's arguments from argv[1] on, as [text] lines.
    Lines Received() const
    {
        Lines lines = Split(ReadFile(out_));
        if (!lines.empty())
            lines.erase(lines.begin());
        return lines;
    }
    std::string ReceivedProgramName() const
    {
        const Lines lines = Split(ReadFile(out_));
        return lines.empty() ? "" : lines[0];
    }
    // Trace lines without the process-id prefix and the header.
    Lines TraceLines() const
    {
        Lines lines;
        for (const std::string &line : Split(ReadFile(trace_)))
            if (line.rfind("===========", 0) != 0 && line.size() > 12)
                lines.push_back(line.substr(12));
        return lines;
    }
    Lines Run(const std::string &parameters)
    {
        std::filesystem::remove(out_);
        EXPECT_EQ(QZ_ShellExecute((kEcho + " " + parameters).c_str(), QZ_SHELL_WAIT), 0);
        return Received();
    }

    datestest::TempCwd cwd_;
    std::string out_;
    std::string trace_;
};

TEST_F(ShellExec, ChildReceivesTheParametersWithoutTheirQuotes)
{
    EXPECT_EQ(Run("-a \"x y\" z"), (Lines{"[-a]", "[x y]", "[z]"}));
    EXPECT_EQ(ReceivedProgramName(), "[dates_echo_args]");

    const Lines trace = TraceLines();
    const Lines expected = {
        "Shell-Command:" + kEcho + " -a \"x y\" z",
        "Shell-ParmCount: 4",
        "Shell-Program:'" + kEcho + "'",
        "Shell-Param[0]:'dates_echo_args'",
        "Shell-Param[1]:'-a'",
        "Shell-Param[2]:'\"x y\"'",
        "Shell-Param[3]:'z'",
        "Shell-Return code: 0",
    };
    EXPECT_EQ(trace, expected);
}

TEST_F(ShellExec, QuotesAndBackslashesAsTheStartedProgramsRuntimeReadsThem)
{
    EXPECT_EQ(Run("\"a\\\"b\" \"x y\""), (Lines{"[a\"b]", "[x y]"}));
    EXPECT_EQ(Run("\"a\"\"b\""), (Lines{"[a\"b]"}));
    EXPECT_EQ(Run("\"\" x"), (Lines{"[]", "[x]"}));
    EXPECT_EQ(Run("C:\\dir\\file.txt \\\\server\\share"),
              (Lines{"[C:\\dir\\file.txt]", "[\\\\server\\share]"}));
    // Two backslashes before the closing quote stand for one.
    EXPECT_EQ(Run("\"C:\\dir\\\\\" next"), (Lines{"[C:\\dir\\]", "[next]"}));
    // An unquoted parameter with a lone quote opens a quoted run that the
    // next quote closes, joining the parameters between.
    EXPECT_EQ(Run("a\\\"b c d\\\""), (Lines{"[ab c d]"}));
    EXPECT_EQ(Run("  "), (Lines{}));
}

TEST_F(ShellExec, WaitModeWaitsAndOtherModesReturnAtOnce)
{
    setenv("DATES_ECHO_SLEEP_MS", "300", 1);
    EXPECT_EQ(QZ_ShellExecute((kEcho + " waited").c_str(), 1), 0);
    EXPECT_EQ(Received(), (Lines{"[waited]"})) << "the child has finished when the call returns";

    std::filesystem::remove(out_);
    setenv("DATES_ECHO_SLEEP_MS", "2500", 1);
    const auto start = Clock::now();
    EXPECT_EQ(QZ_ShellExecute((kEcho + " later").c_str(), 0), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_FALSE(std::filesystem::exists(out_)) << "the child still runs";
    while (!std::filesystem::exists(out_) && Clock::now() - start < std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Received(), (Lines{"[later]"}));
}

TEST_F(ShellExec, ProgramsAreLookedUpInPath)
{
    const std::string savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    setenv("PATH", (std::string(QZ_BINARY_DIR) + "/programs:" + savedPath).c_str(), 1);
    const int16_t result = QZ_Shell("dates_echo_args found", 1, nullptr);
    setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Received(), (Lines{"[found]"}));
}

TEST_F(ShellExec, ProgramNameWithBlanksStaysWhole)
{
    const std::filesystem::path dir = cwd_.path("dir with blank");
    std::filesystem::create_directory(dir);
    const std::filesystem::path copy = dir / "echo prog";
    std::filesystem::copy_file(kEcho, copy);
    EXPECT_EQ(QZ_ShellExecute(("\"" + copy.string() + "\" p").c_str(), 1), 0);
    EXPECT_EQ(ReceivedProgramName(), "[echo prog]");
    EXPECT_EQ(Received(), (Lines{"[p]"}));
}

TEST_F(ShellExec, ProgramsThatCannotStartGiveOneAndOneReport)
{
    if (UnderValgrind())
        GTEST_SKIP() << "exec failures are not reported under valgrind";
    EXPECT_EQ(QZ_ShellExecute("/nonexistent/dir/prog a b", 1), 1);
    const std::string script = cwd_.path("not-executable.sh");
    std::ofstream(script) << "#!/bin/sh\n";
    chmod(script.c_str(), 0644);
    EXPECT_EQ(QZ_ShellExecute(script.c_str(), 0), 1);
    EXPECT_EQ(QZ_ShellExecute("qz_no_such_program_anywhere", 1), 1);

    Lines reports;
    for (const std::string &line : TraceLines())
        if (line.rfind("EXC0001: '", 0) == 0)
            reports.push_back(line);
    const Lines expected = {
        "EXC0001: 'No such file or directory' error executing '/nonexistent/dir/prog'",
        "EXC0001: 'Permission denied' error executing '" + script + "'",
        "EXC0001: 'No such file or directory' error executing 'qz_no_such_program_anywhere'",
    };
    EXPECT_EQ(reports, expected);
    EXPECT_EQ(TraceLines().back(), "Shell-Return code: 1");
}

TEST_F(ShellExec, WhiteSpaceOnlyStartsNothing)
{
    EXPECT_EQ(QZ_ShellExecute(" \t ", 1), 0);
    EXPECT_EQ(QZ_ShellExecute(nullptr, 1), 0);
    // The tab of the command line is traced as a visible escape.
    EXPECT_EQ(TraceLines(), (Lines{"Shell-Command: \\t ", "Shell-Return code: 0",
                                   "Shell-Command:", "Shell-Return code: 0"}));
}

TEST_F(ShellExec, SpawnWithAVector)
{
    std::string name = "dates_echo_args", a = "\"one two\"", b = "three";
    char *argv[] = {name.data(), a.data(), b.data(), nullptr};
    EXPECT_EQ(QZ_ShellSpawn(kEcho.c_str(), argv, 1), 0);
    EXPECT_EQ(Received(), (Lines{"[one two]", "[three]"}));
    if (!UnderValgrind()) {
        EXPECT_EQ(QZ_ShellSpawn("/nonexistent/x", argv, 1), 1);
    }
}

// The children of this process, by process id, with their state letter
// from /proc ('Z' for a zombie).
std::map<pid_t, char> ChildrenOfThisProcess()
{
    std::map<pid_t, char> children;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string stat = ReadFile(entry.path().string() + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == getpid())
            children[static_cast<pid_t>(std::stoi(name))] = state;
    }
    return children;
}

// Children that were not there before, once every one of them has ended.
std::set<pid_t> NewChildrenOnceEnded(const std::map<pid_t, char> &before, size_t expected)
{
    const auto start = Clock::now();
    for (;;) {
        std::set<pid_t> ended;
        size_t fresh = 0;
        for (const auto &[pid, state] : ChildrenOfThisProcess()) {
            if (before.count(pid) != 0)
                continue;
            ++fresh;
            if (state == 'Z')
                ended.insert(pid);
        }
        if ((fresh >= expected && ended.size() == fresh) || Clock::now() - start > std::chrono::seconds(20))
            return ended;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

size_t StillZombies(const std::set<pid_t> &pids)
{
    size_t count = 0;
    const auto now = ChildrenOfThisProcess();
    for (pid_t pid : pids)
        count += now.count(pid) != 0 && now.at(pid) == 'Z' ? 1 : 0;
    return count;
}

// Children of runs that do not wait are waited for by the next shell run once
// they have ended, so that none stays a zombie.
TEST_F(ShellExec, ChildrenOfRunsThatDoNotWaitLeaveNoZombie)
{
    std::set<pid_t> ended;
    for (int i = 0; i < 3; ++i) {
        const auto before = ChildrenOfThisProcess();
        EXPECT_EQ(QZ_ShellExecute((kEcho + " quick").c_str(), 0), 0);
        const std::set<pid_t> child = NewChildrenOnceEnded(before, 1);
        ASSERT_EQ(child.size(), 1u);
        EXPECT_EQ(StillZombies(ended), 0u) << "the earlier children were waited for by this run";
        ended.insert(child.begin(), child.end());
    }
    EXPECT_EQ(QZ_ShellExecute((kEcho + " waited").c_str(), QZ_SHELL_WAIT), 0);
    EXPECT_EQ(StillZombies(ended), 0u);
}

// Between requests the end of the program context (or a direct call) waits for
// them as well; a child still running is left alone, and the caller's own
// children are never waited for.
TEST_F(ShellExec, OnlyTheRuntimesOwnChildrenAreWaitedFor)
{
    const pid_t own = fork();
    ASSERT_GE(own, 0);
    if (own == 0)
        _exit(7);
    setenv("DATES_ECHO_SLEEP_MS", "60000", 1);
    EXPECT_EQ(QZ_ShellExecute((kEcho + " long").c_str(), 0), 0);
    unsetenv("DATES_ECHO_SLEEP_MS");
    auto before = ChildrenOfThisProcess();
    EXPECT_EQ(QZ_ShellExecute((kEcho + " quick").c_str(), 0), 0);
    const std::set<pid_t> ended = NewChildrenOnceEnded(before, 1);
    ASSERT_EQ(ended.size(), 1u);

    QZ_PgmContext *ctx = QZ_PgmContext_New();
    ASSERT_NE(ctx, nullptr);
    QZ_PgmContext_Init(ctx);
    QZ_PgmContext_Free(ctx);
    QZ_PgmContext_Delete();
    EXPECT_EQ(StillZombies(ended), 0u);

    // The long child still runs and stays recorded; the caller's child is its own.
    pid_t running = 0;
    for (const auto &[pid, state] : ChildrenOfThisProcess())
        if (pid != own && before.count(pid) != 0 && state != 'Z' && ReadFile("/proc/" + std::to_string(pid) + "/cmdline").find("long") != std::string::npos)
            running = pid;
    ASSERT_NE(running, 0);
    int status = 0;
    ASSERT_EQ(waitpid(own, &status, 0), own);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);

    kill(running, SIGKILL);
    const auto start = Clock::now();
    while (StillZombies({running}) == 0 && Clock::now() - start < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    qz_Shell_ReapChildren();
    EXPECT_EQ(ChildrenOfThisProcess().count(running), 0u);
}

} // namespace
