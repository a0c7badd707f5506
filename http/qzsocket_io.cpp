// Sending, waiting for and receiving data on a connected socket.

#include "qz/qzsocket.h"
#include "qz/qztrace.h"
#include "http/qzsocket_internal.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

namespace {

int32_t g_lastError = 0;

}  // namespace

namespace qz_net {

void RecordError(int32_t error) { g_lastError = error; }

int32_t LastError() { return g_lastError; }

int WaitFor(int fd, short events, uint32_t timeoutSeconds) {
    using Clock = std::chrono::steady_clock;
    const bool unlimited = timeoutSeconds == 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        int waitMs = -1;
        if (!unlimited) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) {
                return 0;
            }
            waitMs = left > INT_MAX ? INT_MAX : static_cast<int>(left);
        }
        pollfd entry{};
        entry.fd = fd;
        entry.events = events;
        const int ready = poll(&entry, 1, waitMs);
        if (ready < 0 && errno == EINTR) {
            continue;  // a signal: wait for the rest of the time
        }
        if (ready == 0 && !unlimited && Clock::now() < deadline) {
            continue;  // a long time-out is waited for in several pieces
        }
        return ready;
    }
}

long Receive(int fd, char *buffer, size_t length) {
    ssize_t received;
    do {
        received = recv(fd, buffer, length, 0);
    } while (received < 0 && errno == EINTR);
    return static_cast<long>(received);
}

long ReceiveWaiting(int fd, char *buffer, size_t length) {
    ssize_t received;
    do {
        received = recv(fd, buffer, length, MSG_DONTWAIT);
    } while (received < 0 && errno == EINTR);
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kNothingYet;
    return static_cast<long>(received);
}

void TraceData(const char *prefix, std::string_view data) {
    // Splitting costs time on large data: skip it when level 3 is not traced.
    if (QZ_GetTraceLevel() < 3) {
        return;
    }
    if (prefix == nullptr) {
        prefix = "";
    }
    size_t position = 0;
    while (position < data.size()) {
        const size_t lineEnd = data.find("\r\n", position);
        const bool crlf = lineEnd != std::string_view::npos;
        const size_t pieceEnd = crlf ? lineEnd : data.size();
        size_t length = pieceEnd - position;
        if (length > INT_MAX) {
            length = INT_MAX;
        }
        QZ_Trace(3, "%s%.*s%s\n\r", prefix, static_cast<int>(length), data.data() + position,
                 crlf ? "<CRLF>" : "");
        position = crlf ? lineEnd + 2 : data.size();
    }
}

}  // namespace qz_net

extern "C" {

void QZ_traceTCP(const char *prefix, const char *text) {
    if (text != nullptr) {
        qz_net::TraceData(prefix, std::string_view(text));
    }
}

QZ_Flag QZ_sendTCP(int32_t socket, const char *text) {
    if (text == nullptr) {
        text = "";
    }
    const size_t length = std::strlen(text);
    size_t sent = 0;
    // A blocking send may still take only part of the text (after a signal):
    // the rest is sent after it, so that nothing of a request is lost.  A peer
    // that has gone away gives an error, not a SIGPIPE that ends the process.
    do {
        const ssize_t result = send(socket, text + sent, length - sent, MSG_NOSIGNAL);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            qz_net::RecordError(errno);
            QZ_Trace(0, "QZ_sendTCP failed. Error number %ld.\n\r",
                     static_cast<long>(qz_net::LastError()));
            return 0;
        }
        sent += static_cast<size_t>(result);
    } while (sent < length);
    QZ_traceTCP("S:", text);
    return 1;
}

QZ_Flag QZ_waitTCP(int32_t socket, uint32_t timeoutSeconds) {
    if (socket < 0) {
        return 1;  // nothing to wait for: the receive that follows reports the error
    }
    return qz_net::WaitFor(socket, POLLIN, timeoutSeconds) != 0 ? 1 : 0;
}

QZ_Flag QZ_receiveTCP(int32_t socket, char *buffer, uint32_t length, uint32_t *count,
                      uint32_t timeoutSeconds) {
    if (count != nullptr) {
        *count = 0;
    }
    if (buffer == nullptr) {
        return 0;
    }
    // The receive is tried first and the wait comes only when nothing is
    // there yet: while data keeps coming, as in a long body, that halves
    // the system calls, and the time-out still holds for a silent peer.
    long received = qz_net::ReceiveWaiting(socket, buffer, length);
    if (received == qz_net::kNothingYet) {
        if (QZ_waitTCP(socket, timeoutSeconds) == 0) {
            QZ_Trace(0, "QZ_receiveTCP failed. No data in buffer after timeout (%ld).\n\r",
                     static_cast<long>(timeoutSeconds));
            return 0;
        }
        received = qz_net::Receive(socket, buffer, length);
    }
    if (received < 0) {
        buffer[0] = '\0';
        qz_net::RecordError(errno);
        QZ_Trace(0, "QZ_receiveTCP failed. Error number %ld.\n\r",
                 static_cast<long>(qz_net::LastError()));
        return 0;
    }
    const auto size = static_cast<size_t>(received);
    buffer[size] = '\0';  // the buffer holds length + 1 bytes
    if (count != nullptr) {
        *count = static_cast<uint32_t>(size);
    }
    if (QZ_GetTraceLevel() >= 3) {
        qz_net::TraceData("R:", std::string_view(buffer, strnlen(buffer, size)));
    }
    return 1;
}

QZ_Flag QZ_receiveTCPAny(int32_t socket, char *buffer, uint32_t length, uint32_t timeoutSeconds) {
    return QZ_receiveTCP(socket, buffer, length, nullptr, timeoutSeconds);
}

}  // extern "C"
