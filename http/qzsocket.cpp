// TCP connections: name look-up, socket creation and connect, disconnect.

#include "qz/qzsocket.h"
#include "qz/qztrace.h"
#include "http/qzsocket_internal.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// Owns a descriptor until it is handed over, so that every failed step closes it.
class UniqueFd {
public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

struct AddrInfoDeleter {
    void operator()(addrinfo *info) const { freeaddrinfo(info); }
};

int32_t *SocketField(void *connection) { return static_cast<int32_t *>(connection); }

// Connects fd, giving up after timeoutSeconds (0: no limit).  0 or an errno value.
int ConnectWithin(int fd, const sockaddr_in &address, uint32_t timeoutSeconds) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        return errno;
    }
    int error = 0;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        error = errno;
        if (error == EINPROGRESS || error == EINTR) {
            const int ready = qz_net::WaitFor(fd, POLLOUT, timeoutSeconds);
            if (ready == 0) {
                error = ETIMEDOUT;
            } else if (ready < 0) {
                error = errno;
            } else {
                socklen_t length = sizeof error;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                    error = errno;
                }
            }
        }
    }
    // The rest of the layer works with blocking calls.
    if (error == 0 && fcntl(fd, F_SETFL, flags) < 0) {
        error = errno;
    }
    return error;
}

QZ_Flag Open(void *connection, const char *host, uint16_t portNetworkOrder,
             uint32_t timeoutSeconds) {
    if (connection == nullptr) {
        return 0;
    }
    int32_t *socketField = SocketField(connection);
    *socketField = -1;
    if (host == nullptr) {
        host = "";
    }

    QZ_Trace(1, "Searching host '%s' by name.\n\r", host);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo *found = nullptr;
    const int lookup = getaddrinfo(host, nullptr, &hints, &found);
    if (lookup != 0 || found == nullptr) {
        // The resolver's own code (negative EAI_ value), or errno for system errors.
        const int32_t error = lookup == EAI_SYSTEM ? errno : lookup;
        qz_net::RecordError(error);
        QZ_Trace(0, "Cannot resolve server name. ErrorCode = %ld\n\r", static_cast<long>(error));
        return 0;
    }
    const std::unique_ptr<addrinfo, AddrInfoDeleter> hostInfo(found);

    sockaddr_in address{};
    std::memcpy(&address, hostInfo->ai_addr, sizeof address);
    address.sin_family = static_cast<sa_family_t>(hostInfo->ai_family);
    address.sin_port = portNetworkOrder;
    const char *officialName = hostInfo->ai_canonname != nullptr ? hostInfo->ai_canonname : host;
    char dotted[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &address.sin_addr, dotted, sizeof dotted);

    UniqueFd fd(::socket(hostInfo->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) {
        qz_net::RecordError(errno);
        QZ_Trace(0, "Unable to create socket.\n\r");
        return 0;
    }

    QZ_Trace(2, "Socket %d opened.\n\r", fd.get());
    QZ_Trace(1, "Server information:\n\r");
    QZ_Trace(1, "\tName: %s (%s).\n\r", officialName, dotted);
    QZ_Trace(1, "\tPort: %hd (%hd).\n\r", static_cast<int16_t>(ntohs(portNetworkOrder)),
             static_cast<int16_t>(portNetworkOrder));
    QZ_Trace(1, "Connecting to server \"%s\" port %hd.\n\r", officialName,
             static_cast<int16_t>(portNetworkOrder));

    const int error = ConnectWithin(fd.get(), address, timeoutSeconds);
    if (error != 0) {
        // The socket is closed here (not left open for a record that its owner
        // then treats as not connected and never disconnects).
        qz_net::RecordError(error);
        QZ_Trace(0, "Connection failed: %ld.\n\r", static_cast<long>(error));
        return 0;
    }
    *socketField = fd.release();
    return 1;
}

}  // namespace

extern "C" {

QZ_Flag QZ_startTCP(void) { return 1; }

QZ_Flag QZ_openTCP(void *connection, const char *host, uint16_t portNetworkOrder) {
    return Open(connection, host, portNetworkOrder, 0);
}

QZ_Flag QZ_openTCPTimeout(void *connection, const char *host, uint16_t portNetworkOrder,
                          uint32_t timeoutSeconds) {
    return Open(connection, host, portNetworkOrder, timeoutSeconds);
}

QZ_Flag QZ_connectTCP(void *connection, const char *host, uint16_t port) {
    return QZ_connectTCPTimeout(connection, host, port, 0);
}

QZ_Flag QZ_connectTCPTimeout(void *connection, const char *host, uint16_t port,
                             uint32_t timeoutSeconds) {
    if (QZ_startTCP() == 0) {
        QZ_Trace(0, "Failed to initialize TCP.\n\r");
        return 0;
    }
    return Open(connection, host, htons(port), timeoutSeconds);
}

QZ_Flag QZ_connectTCPService(void *connection, const char *host, const char *service) {
    if (QZ_startTCP() == 0) {
        QZ_Trace(0, "Failed to initialize TCP.\n\r");
        return 0;
    }
    if (service == nullptr) {
        service = "";
    }
    QZ_Trace(1, "Searching service '%s' by name.\n\r", service);
    errno = 0;
    const servent *entry = getservbyname(service, "tcp");
    if (entry == nullptr) {
        const int32_t error = errno;
        qz_net::RecordError(error);
        QZ_Trace(0, "Cannot resolve service name. ErrorCode = %ld.\n\r", static_cast<long>(error));
        if (connection != nullptr) {
            *SocketField(connection) = -1;
        }
        return 0;
    }
    return Open(connection, host, static_cast<uint16_t>(entry->s_port), 0);
}

void QZ_disconnectTCP(void *connection) {
    if (connection == nullptr) {
        return;
    }
    int32_t *socketField = SocketField(connection);
    QZ_Trace(1, "Disconnecting from server.\n\r");
    const int32_t fd = *socketField;
    if (fd >= 0) {
        ::close(fd);
    }
    QZ_Trace(2, "Socket %d closed.\n\r", static_cast<int>(fd));
    *socketField = -1;
}

int32_t QZ_hostnameTCP(char *buffer, int32_t length) {
    if (buffer == nullptr || length <= 0) {
        return -1;
    }
    const int result = gethostname(buffer, static_cast<size_t>(length));
    buffer[length - 1] = '\0';  // a cut name is not terminated by gethostname
    if (result != 0) {
        qz_net::RecordError(errno);
    }
    return result;
}

int32_t QZ_lastErrorTCP(void) { return qz_net::LastError(); }

}  // extern "C"
