// The FastCGI protocol, from Debian's libfcgi (its FCGX_ stream interface),
// behind the few operations the serving loop needs. The library is loaded
// with dlopen when the persistent mode is detected, so that a CGI run never
// maps it. Internal to the runtime.
#ifndef QZ_RUNTIME_QZFASTCGI_H
#define QZ_RUNTIME_QZFASTCGI_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace qz::fastcgi {

// Loads libfcgi and initialises it; false with the reason when it cannot.
bool Load(std::string &why);

// Opens a listening socket: a path for a local socket (one that starts with
// "/" or ".", or has no ":"), ":PORT" or "HOST:PORT" for TCP. Returns the descriptor, or -1 with errno.
int OpenSocket(const std::string &address, int backlog);

// One accepted request at a time on a listening socket.
class Listener {
public:
    explicit Listener(int listenFd);
    ~Listener();
    Listener(const Listener &) = delete;
    Listener &operator=(const Listener &) = delete;

    // Takes the next request; false when there was none to take or it was
    // refused (libfcgi reads and checks the records). The serving loop keeps
    // the listening socket non-blocking, so that libfcgi comes back after a
    // refused request instead of waiting inside for the next connection.
    bool Accept();
    // The accepted request's parameters ("NAME=value", ended by NULL), its
    // body and its output as stdio streams. Valid until Finish.
    char **Environment() const;
    FILE *In() const { return in_; }
    FILE *Out() const { return out_; }
    // Whether writing the output failed (the client or the server went away).
    bool OutputFailed() const;
    // Flushes the output, ends the request and closes its connection.
    void Finish();
    bool Active() const { return active_; }

private:
    struct Request;
    std::unique_ptr<Request> request_;
    std::vector<char *> environment_;
    FILE *in_ = nullptr;
    FILE *out_ = nullptr;
    bool active_ = false;
};

}  // namespace qz::fastcgi

#endif
