// Runs one of the test programs as a CGI child: a given environment (and
// nothing else), the given bytes on standard input, standard output captured.
#ifndef QZ_TESTS_TEST_CGI_CHILD_H
#define QZ_TESTS_TEST_CGI_CHILD_H

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace cgitest {

struct ChildResult {
    int status = -1; // exit code, or -1 when it did not exit normally
    std::string out;
};

inline std::string programPath(const std::string &name) {
    return std::string(QZ_BINARY_DIR) + "/programs/" + name;
}

// The standard input comes from a temporary file, so that the child sees a
// plain end of input after the given bytes.
inline ChildResult runChild(const std::string &program, const std::map<std::string, std::string> &env,
                            const std::string &input, const std::vector<std::string> &args = {}) {
    ChildResult result;
    char inName[] = "/tmp/qz_cgi_stdin_XXXXXX";
    const int inFd = mkstemp(inName);
    if (inFd < 0) return result;
    unlink(inName);
    for (size_t done = 0; done < input.size();) {
        const ssize_t n = write(inFd, input.data() + done, input.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    lseek(inFd, 0, SEEK_SET);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return result;
    std::vector<std::string> envText;
    for (const auto &[k, v] : env) envText.push_back(k + "=" + v);
    std::vector<char *> envp;
    for (auto &e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = programPath(program);
    std::vector<std::string> argText{path};
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : argText) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(inFd, 0);
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        close(inFd);
        execve(path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(pipeFds[1]);
    close(inFd);
    char block[65536];
    ssize_t n = 0;
    while ((n = read(pipeFds[0], block, sizeof block)) > 0) result.out.append(block, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The number after "key=" in the child's report, or -1.
inline long long reportNumber(const std::string &out, const std::string &key) {
    const size_t at = out.find("\n" + key + "=");
    if (at == std::string::npos) return -1;
    return std::atoll(out.c_str() + at + key.size() + 2);
}

} // namespace cgitest

#endif
