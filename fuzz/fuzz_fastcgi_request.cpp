// Fuzzes the persistent mode's way in: a request as a web server sends it on
// one FastCGI connection. The input is split like fuzz_cgi_request's: its
// first byte picks the record size and whether the connection closes before
// the body is complete, then environment lines ("NAME=value" separated by
// line feeds) up to a NUL byte, then the body. The harness writes them as
// FastCGI records; libfcgi reads them, the binding hands the parameters and
// the body to the request channel, and the request is read from it as the
// driver reads it. (The records are well formed: libfcgi's own reading of
// malformed ones is the library's; the server tests send those.)

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "qz/qzhttprequest.h"
#include "runtime/qzfastcgi.h"
#include "runtime/qzrequest_channel.h"

namespace {

// A local socket in the abstract namespace: it leaves no file behind when
// the fuzzer ends the process.
sockaddr_un Address() {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path + 1, sizeof address.sun_path - 1, "qz_fuzz_fastcgi_%d", static_cast<int>(getpid()));
    return address;
}

struct Server {
    int listenFd = -1;
    std::unique_ptr<qz::fastcgi::Listener> listener;
    Server() {
        std::string why;
        if (!qz::fastcgi::Load(why)) return;
        listenFd = socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un address = Address();
        if (bind(listenFd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
            listen(listenFd, 4) != 0) {
            close(listenFd);
            listenFd = -1;
            return;
        }
        // A connection that ends early makes libfcgi wait for the next one:
        // with a non-blocking socket it gives up instead (as the serving loop does).
        fcntl(listenFd, F_SETFL, O_NONBLOCK);
        listener = std::make_unique<qz::fastcgi::Listener>(listenFd);
    }
};

void Record(std::string &out, unsigned char type, std::string_view content, size_t piece) {
    do {
        const size_t n = content.size() < piece ? content.size() : piece;
        const unsigned char header[8] = {1, type, 0, 1, static_cast<unsigned char>(n >> 8),
                                         static_cast<unsigned char>(n & 0xFF), 0, 0};
        out.append(reinterpret_cast<const char *>(header), 8);
        out.append(content.substr(0, n));
        content.remove_prefix(n);
    } while (!content.empty());
}

void Length(std::string &out, size_t n) {
    if (n < 128) {
        out += static_cast<char>(n);
        return;
    }
    out += static_cast<char>(0x80 | ((n >> 24) & 0x7F));
    out += static_cast<char>((n >> 16) & 0xFF);
    out += static_cast<char>((n >> 8) & 0xFF);
    out += static_cast<char>(n & 0xFF);
}

std::string Connection(std::string_view input) {
    const unsigned char control = input.empty() ? 0 : static_cast<unsigned char>(input[0]);
    if (!input.empty()) input.remove_prefix(1);
    const size_t piece = 1 + (control & 0x3F) * 97;  // 1 to 6112 bytes a record
    const bool closesEarly = (control & 0x40) != 0;
    const size_t split = input.find('\0');
    const std::string_view env = input.substr(0, split);
    const std::string_view body = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    std::string params;
    size_t at = 0;
    while (at <= env.size()) {
        const size_t end = std::min(env.find('\n', at), env.size());
        const std::string_view line = env.substr(at, end - at);
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos && eq > 0) {
            Length(params, eq);
            Length(params, line.size() - eq - 1);
            params.append(line.substr(0, eq)).append(line.substr(eq + 1));
        }
        at = end + 1;
    }
    std::string out;
    const unsigned char begin[8] = {0, 1, 0, 0, 0, 0, 0, 0};  // role 1 (responder)
    Record(out, 1, std::string_view(reinterpret_cast<const char *>(begin), 8), 8);
    Record(out, 4, params, piece);
    Record(out, 4, "", piece);
    if (closesEarly) {
        out.append(body.substr(0, body.size() / 2));  // part of a record, then the end
        return out;
    }
    if (!body.empty()) Record(out, 5, body, piece);
    Record(out, 5, "", piece);
    return out;
}

}  // namespace

// libfcgi keeps the parameter storage of some connections that end early
// (48 bytes each, allocated and lost inside the library). That is the
// library's own; every leak that does not start in it is still reported.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfcgi.so"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Server server;
    if (server.listenFd < 0 || size > 60000) return 0;
    const std::string bytes = Connection(std::string_view(reinterpret_cast<const char *>(data), size));
    const int client = socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = Address();
    const int buffer = 1 << 20;
    setsockopt(client, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    if (connect(client, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        write(client, bytes.data(), bytes.size()) < 0) {
        close(client);
        return 0;
    }
    shutdown(client, SHUT_WR);
    if (server.listener->Accept()) {
        qz_RequestChannel_Attach(server.listener->Environment(), server.listener->In(), server.listener->Out());
        static auto request = std::make_unique<QZ_HTTP_SrvReq>();
        QZ_HTTP_SrvReq_Init(request.get());
        QZ_HTTP_SrvReq_Read(request.get(), 0);
        char parameter[1025];
        for (int i = 0; i < 4; ++i) QZ_HTTP_SrvReq_GetParameter(request.get(), parameter, 1024);
        std::fputs("Status: 200 OK\n\n", qz_RequestOut());
        QZ_HTTP_SrvReq_Free(request.get());
        qz_RequestChannel_Detach();
        server.listener->Finish();
    }
    close(client);
    return 0;
}
