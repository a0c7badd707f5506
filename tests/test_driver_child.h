// Runs a piece of the program in a child process and collects what it wrote
// to standard output and how it ended: the driver's fatal paths end the
// process, so they cannot be watched from inside the test process.
#ifndef QZ_TESTS_TEST_DRIVER_CHILD_H
#define QZ_TESTS_TEST_DRIVER_CHILD_H

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace qztest {

struct ChildResult {
    std::string out;     // standard output, byte for byte
    int exitCode = -1;   // 0..255 when the child exited, -1 otherwise
    int signal = 0;      // the signal that ended it, 0 when it exited
};

// body returns the exit code; a body that ends the process itself (exit,
// a signal) is seen as such.
inline ChildResult RunChild(const std::function<int()> &body, const std::string &input = "") {
    int out[2], in[2];
    if (pipe(out) != 0 || pipe(in) != 0) std::abort();
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(in[0], 0);
        close(out[0]);
        close(out[1]);
        close(in[0]);
        close(in[1]);
        int code = body();
        std::fflush(stdout);
        _exit(code);
    }
    close(out[1]);
    close(in[0]);
    if (!input.empty()) (void)!write(in[1], input.data(), input.size());
    close(in[1]);
    ChildResult result;
    char block[4096];
    for (ssize_t n; (n = read(out[0], block, sizeof block)) > 0;) result.out.append(block, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

// A fresh working directory for one test, holding an optional qzcfg.ini;
// the previous directory comes back when it goes.
class ScratchDir {
public:
    explicit ScratchDir(const std::string &config = "") {
        char pattern[] = "/tmp/qz_driver_XXXXXX";
        path_ = mkdtemp(pattern);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
        if (!config.empty()) std::ofstream("qzcfg.ini") << config;
    }
    ~ScratchDir() {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_, previous_;
};

}  // namespace qztest

#endif
