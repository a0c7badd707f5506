// Shared pieces of the TCP layer tests: a trace file that the tests read back
// message by message, and a listener on a free loopback port.
#ifndef QZ_TESTS_TEST_SOCKET_SUPPORT_H
#define QZ_TESTS_TEST_SOCKET_SUPPORT_H

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "qz/qztrace.h"

namespace qz_test {

// Tracing at a given level into a trace file of a fresh directory, which is
// also the current directory (so that its qzcfg.ini is the one read).
class TracedTest : public ::testing::Test {
protected:
    explicit TracedTest(int level = 3) : level_(level) {}

    void SetUp() override {
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        oldDir_ = cwd;
        char pattern[] = "/tmp/qz-net-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        tracePath_ = dir_ + "/trace.txt";
        std::ofstream ini(dir_ + "/qzcfg.ini");
        ini << "[Trace]\nTrace=1\nTraceLevel=" << level_ << "\nTraceFile=" << tracePath_ << "\n";
        ini.close();
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        QZ_TraceReset();
    }

    void TearDown() override {
        QZ_TraceReset();
        if (!oldDir_.empty()) {
            EXPECT_EQ(chdir(oldDir_.c_str()), 0);
        }
        std::remove(tracePath_.c_str());
        std::remove((dir_ + "/qzcfg.ini").c_str());
        rmdir(dir_.c_str());
    }

    // The messages traced so far, without the process prefix and the line feed
    // that the trace adds to every message.
    std::vector<std::string> Messages() const {
        std::ifstream in(tracePath_, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        const std::string text = content.str();
        char prefix[32];
        std::snprintf(prefix, sizeof prefix, "%011d ", static_cast<int>(getpid()));
        std::vector<std::string> messages;
        size_t at = text.find(prefix);
        while (at != std::string::npos) {
            const size_t start = at + std::string(prefix).size();
            const size_t next = text.find(prefix, start);
            std::string message = text.substr(start, next == std::string::npos ? std::string::npos
                                                                               : next - start);
            if (!message.empty() && message.back() == '\n') {
                message.pop_back();
            }
            messages.push_back(message);
            at = next;
        }
        return messages;
    }

    // Forgets what was traced so far.
    void ClearTrace() const {
        std::ofstream truncate(tracePath_, std::ios::trunc);
    }

    int level_;
    std::string oldDir_;
    std::string dir_;
    std::string tracePath_;
};

// A listening socket on 127.0.0.1 and a free port.
class Loopback {
public:
    explicit Loopback(int backlog = 8) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            listen(fd_, backlog) != 0) {
            ADD_FAILURE() << "cannot listen on the loopback interface";
        }
        socklen_t length = sizeof address;
        getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Loopback() { Close(); }
    Loopback(const Loopback &) = delete;
    Loopback &operator=(const Loopback &) = delete;

    uint16_t Port() const { return port_; }
    int Accept() const { return accept(fd_, nullptr, nullptr); }
    void Close() {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

inline bool SendAll(int fd, const std::string &data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

inline std::string ReadExactly(int fd, size_t length) {
    std::string data;
    char chunk[4096];
    while (data.size() < length) {
        const ssize_t n = recv(fd, chunk, std::min(sizeof chunk, length - data.size()), 0);
        if (n <= 0) {
            break;
        }
        data.append(chunk, static_cast<size_t>(n));
    }
    return data;
}

}  // namespace qz_test

#endif
