// Growing receive of a long reply: QZ_receiveTCPBig (pool block, fixed visible
// step) against the peer, a plain recv loop appending to a std::string, over
// the same kind of socket pair fed by a thread with the same bytes. The peer
// receives in the same pieces as the runtime's step. Project and peer
// alternate (ABAB) for every size and initial block, and the report is the
// median ratio with its spread (no goal, for information). Both sides must
// end holding the whole reply, byte for byte.
//
// The growth with the size is reported too: the runtime's time for 64 MiB over
// its time for 4 MiB, against the same figure of the peer.
//
//   bash bench/run.sh net_receive
//   build/release/bench/bench_net_receive [runs]     (default 7 runs, at least 5)

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_abab.h"
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

[[noreturn]] void Fail(const char *what) {
    std::fprintf(stderr, "bench_net_receive: %s\n", what);
    std::exit(1);
}

double TimeRuntime(const std::string &reply, uint32_t initialSize) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) Fail("no socket pair");
    std::thread feeder(Feed, fds[1], std::cref(reply));
    QZ_TCPBigBuffer buffer{static_cast<char *>(QZ_malloc(nullptr, initialSize, "bench", __LINE__)),
                           initialSize};
    QZ_MailErrorRecord error{};
    const double start = qzbench::WallSeconds();
    const int16_t code = QZ_receiveTCPBig(fds[0], &buffer, "+OK", "\r\n.\r\n", 30, &error);
    const double seconds = qzbench::WallSeconds() - start;
    feeder.join();
    if (code != 0) {
        std::fprintf(stderr, "receive failed: %d %s\n", code, error.text);
        Fail("QZ_receiveTCPBig did not receive the reply");
    }
    if (buffer.size < reply.size() || std::memcmp(buffer.data, reply.data(), reply.size()) != 0) {
        Fail("QZ_receiveTCPBig's block does not hold the reply");
    }
    QZ_free(nullptr, buffer.data);
    close(fds[0]);
    close(fds[1]);
    return seconds;
}

double TimePeer(const std::string &reply, size_t chunk) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) Fail("no socket pair");
    std::thread feeder(Feed, fds[1], std::cref(reply));
    std::string received;
    std::string piece(chunk, '\0');
    const double start = qzbench::WallSeconds();
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
    const double seconds = qzbench::WallSeconds() - start;
    feeder.join();
    if (received != reply) Fail("the recv loop did not receive the reply");
    close(fds[0]);
    close(fds[1]);
    return seconds;
}

}  // namespace

int main(int argc, char **argv) {
    const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
    constexpr size_t kMegabytes[] = {4, 16, 64};
    constexpr uint32_t kInitial[] = {4096, 65536};
    for (uint32_t initial : kInitial) {
        std::vector<std::vector<double>> ours, peer;
        for (size_t megabytes : kMegabytes) {
            const std::string reply = MakeReply(megabytes << 20);
            TimeRuntime(reply, initial);  // one of each first: the pages of both sides are touched once
            TimePeer(reply, initial / 2);
            ours.emplace_back();
            peer.emplace_back();
            for (int r = 0; r < runs; ++r) {
                ours.back().push_back(TimeRuntime(reply, initial));
                peer.back().push_back(TimePeer(reply, initial / 2));
            }
            qzbench::Report("QZ_receiveTCPBig " + std::to_string(megabytes) + " MiB, initial block " +
                                std::to_string(initial),
                            "recv loop, std::string, " + std::to_string(initial / 2) + " B",
                            ours.back(), peer.back(), 0.0);
        }
        // Growth with the size, 4 MiB to 64 MiB, run by run. Both sides grow by more than the
        // sixteen-fold of the bytes once the reply no longer fits in the caches, so the
        // runtime's growth is judged against the peer's (1.0: it grows as the recv loop does).
        std::vector<double> growth, peerGrowth;
        for (size_t r = 0; r < ours.front().size(); ++r) {
            growth.push_back(ours.back()[r] / ours.front()[r]);
            peerGrowth.push_back(peer.back()[r] / peer.front()[r]);
        }
        std::printf("  initial block %u: 4 MiB to 64 MiB, runtime %.1fx, recv loop %.1fx (16x is linear)\n", initial,
                    qzbench::Median(growth), qzbench::Median(peerGrowth));
        qzbench::Report("QZ_receiveTCPBig growth 4 to 64 MiB, initial " + std::to_string(initial),
                        "recv loop growth, " + std::to_string(initial / 2) + " B", growth, peerGrowth, 0.0);
    }
    return 0;
}
