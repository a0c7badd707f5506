// Growing receive of a long reply: QZ_receiveTCPBig (pool block, fixed visible
// step) against the peer, a plain recv loop appending to a std::string, over
// the same socket pair.  Also shows that the time grows linearly with the size.

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "qz/qzpgmmem.h"
#include "qz/qzsocket.h"

namespace {

std::string MakeReply(size_t length) {
    std::string reply = "+OK ";
    reply.append(length - 9, 'q');
    reply += "\r\n.\r\n";
    return reply;
}

void Feed(int fd, const std::string &data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<size_t>(n);
    }
}

double TimeRuntime(const std::string &reply, uint32_t initialSize) {
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
    std::thread feeder(Feed, fds[1], std::cref(reply));
    QZ_TCPBigBuffer buffer{static_cast<char *>(QZ_malloc(nullptr, initialSize, "bench", __LINE__)),
                           initialSize};
    QZ_MailErrorRecord error{};
    const auto start = std::chrono::steady_clock::now();
    const int16_t code = QZ_receiveTCPBig(fds[0], &buffer, "+OK", "\r\n.\r\n", 30, &error);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    feeder.join();
    if (code != 0) {
        std::fprintf(stderr, "receive failed: %d\n", code);
    }
    QZ_free(nullptr, buffer.data);
    close(fds[0]);
    close(fds[1]);
    return seconds;
}

double TimePeer(const std::string &reply, size_t chunk) {
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
    std::thread feeder(Feed, fds[1], std::cref(reply));
    std::string received;
    std::string piece(chunk, '\0');
    const auto start = std::chrono::steady_clock::now();
    while (received.size() < reply.size()) {
        const ssize_t n = recv(fds[0], piece.data(), piece.size(), 0);
        if (n <= 0) {
            break;
        }
        received.append(piece.data(), static_cast<size_t>(n));
        if (received.size() >= 5 &&
            received.find("\r\n.\r\n", received.size() - static_cast<size_t>(n) -
                                           std::min<size_t>(4, received.size() - static_cast<size_t>(n))) !=
                std::string::npos) {
            break;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    feeder.join();
    close(fds[0]);
    close(fds[1]);
    return seconds;
}

}  // namespace

int main() {
    std::printf("%-10s %-8s %12s %12s %8s\n", "bytes", "initial", "runtime s", "peer s", "ratio");
    for (size_t megabytes : {4u, 16u, 64u}) {
        const std::string reply = MakeReply(megabytes << 20);
        for (uint32_t initial : {4096u, 65536u}) {
            // The peer receives in the same pieces as the runtime's step.
            const double runtime = TimeRuntime(reply, initial);
            const double peer = TimePeer(reply, initial / 2);
            std::printf("%-10zu %-8u %12.4f %12.4f %8.2f\n", reply.size(), initial, runtime, peer,
                        runtime / peer);
        }
    }
    return 0;
}
