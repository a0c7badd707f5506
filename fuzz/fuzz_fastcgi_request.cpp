// Fuzzes the persistent mode's way in: the input is what a web server sends
// on one FastCGI connection. libfcgi reads the records, the binding hands the
// parameters and the body to the request channel, and the request is read
// from it as the driver reads it.

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "qz/qzhttprequest.h"
#include "runtime/qzfastcgi.h"
#include "runtime/qzrequest_channel.h"

namespace {

struct Server {
    std::string path = "/tmp/qz_fuzz_fastcgi_" + std::to_string(getpid()) + ".sock";
    int listenFd = -1;
    std::unique_ptr<qz::fastcgi::Listener> listener;
    Server() {
        std::string why;
        if (!qz::fastcgi::Load(why)) return;
        listenFd = qz::fastcgi::OpenSocket(path, 4);
        // A broken connection makes libfcgi wait for the next one: with a
        // non-blocking socket it gives up instead.
        if (listenFd >= 0) fcntl(listenFd, F_SETFL, O_NONBLOCK);
        listener = std::make_unique<qz::fastcgi::Listener>(listenFd);
    }
    ~Server() { unlink(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Server server;
    if (server.listenFd < 0 || size > 60000) return 0;
    const int client = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", server.path.c_str());
    const int buffer = 1 << 20;
    setsockopt(client, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    if (connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(client);
        return 0;
    }
    if (size > 0 && write(client, data, size) < 0) {
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
