// A scripted socket server for the HTTP client tests: it answers what no
// real server answers on purpose and records the request bytes.
#ifndef QZ_TESTS_TEST_HTTPCLIENT_SERVER_H
#define QZ_TESTS_TEST_HTTPCLIENT_SERVER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qz_test {

// Answers connection i with replies[min(i, last)]; an answer "" means: send
// nothing and hold the connection for holdSeconds. Records each request.
class ScriptServer {
public:
    explicit ScriptServer(std::vector<std::string> replies, int holdSeconds = 3)
        : replies_(std::move(replies)), hold_(holdSeconds) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len);
        port_ = ntohs(a.sin_port);
        ::listen(fd_, 8);
        thread_ = std::thread([this] { Run(); });
    }
    ~ScriptServer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    uint16_t port() const { return port_; }
    // Answers after the first bytes of a request instead of its whole head
    // (for clients that speak something else, such as a TLS handshake).
    void AnswerAtOnce() { atOnce_ = true; }
    // Replaces the answers before the first connection (an answer may need
    // the server's own port).
    void SetReplies(std::vector<std::string> replies) {
        std::lock_guard<std::mutex> lock(mutex_);
        replies_ = std::move(replies);
    }
    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void Run() {
        for (size_t i = 0; !stop_; ++i) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            std::string got = ReadRequest(c, atOnce_);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(got);
            }
            std::string reply;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                reply = replies_[std::min(i, replies_.size() - 1)];
            }
            if (reply.empty()) {
                for (int t = 0; t < hold_ * 10 && !stop_; ++t) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            } else {
                size_t off = 0;
                while (off < reply.size()) {
                    const ssize_t n = ::send(c, reply.data() + off, reply.size() - off, MSG_NOSIGNAL);
                    if (n <= 0) break;
                    off += static_cast<size_t>(n);
                }
            }
            ::close(c);
        }
    }
    static std::string ReadRequest(int c, bool atOnce) {
        std::string data;
        char buf[4096];
        size_t want = std::string::npos;
        while (data.size() < want) {
            const ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            data.append(buf, static_cast<size_t>(n));
            if (atOnce) break;
            const size_t blank = data.find("\r\n\r\n");
            if (blank != std::string::npos && want == std::string::npos) {
                const size_t cl = data.find("Content-length: ");
                const size_t length = cl != std::string::npos ? std::stoul(data.substr(cl + 16)) : 0;
                want = blank + 4 + length;
            }
        }
        return data;
    }
    std::vector<std::string> replies_;
    int hold_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> atOnce_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace qz_test

#endif
