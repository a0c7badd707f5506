// The libfcgi binding. Only the FCGX_ stream interface is used; the protocol
// (records, parameters, the end of a request) stays entirely in the library.
// The request's streams are wrapped in stdio streams (fopencookie), so the
// runtime's FILE*-based output and input code serves a FastCGI request as it
// serves standard output and standard input.
#include "runtime/qzfastcgi.h"

#include <dlfcn.h>
#include <fcgiapp.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

namespace qz::fastcgi {
namespace {

// Debian's package name of the library (libfcgi0ldbl).
constexpr const char *kLibrary = "libfcgi.so.0";

struct Api {
    decltype(&::FCGX_Init) init = nullptr;
    decltype(&::FCGX_InitRequest) initRequest = nullptr;
    decltype(&::FCGX_Accept_r) accept = nullptr;
    decltype(&::FCGX_Finish_r) finish = nullptr;
    decltype(&::FCGX_Free) free = nullptr;
    decltype(&::FCGX_GetStr) getStr = nullptr;
    decltype(&::FCGX_PutStr) putStr = nullptr;
    decltype(&::FCGX_GetError) getError = nullptr;
    decltype(&::FCGX_GetParam) getParam = nullptr;
};

Api g_api;
bool g_loaded = false;

template <typename Fn>
bool Resolve(void *library, const char *name, Fn &fn) {
    fn = reinterpret_cast<Fn>(dlsym(library, name));
    return fn != nullptr;
}

struct OutputStream {
    FCGX_Stream *stream = nullptr;
    bool adapt = false;  // the server reads headers as Apache's mod_proxy_fcgi does
    bool started = false;
    bool inHeaders = true;
    bool atLineStart = true;
    bool lastWasCr = false;
    bool lineEndedCrLf = false;
};

// stdio over the request's streams. The output stream is unbuffered on the
// stdio side: libfcgi buffers it already, and nothing may stay behind in a
// FILE buffer when the request ends or the process exits after an abort.
ssize_t ReadBody(void *cookie, char *buffer, size_t size) {
    auto *stream = static_cast<FCGX_Stream *>(cookie);
    const int want = size > 1u << 30 ? 1 << 30 : static_cast<int>(size);
    const int got = g_api.getStr(buffer, want, stream);
    return got < 0 ? -1 : got;
}

bool Put(FCGX_Stream *stream, const char *buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        const size_t left = size - done;
        const int piece = left > 1u << 30 ? 1 << 30 : static_cast<int>(left);
        if (g_api.putStr(buffer + done, piece, stream) != piece) return false;
        done += static_cast<size_t>(piece);
    }
    return true;
}

// Apache's mod_proxy_fcgi reads the headers of a response differently from a
// CGI server: it passes a "Location:" line alone on as 200 (a CGI server
// answers it with 302), and it does not see the end of the headers in a
// blank "\n" after a "\r\n" line (the Content-type line). For that server
// only, the request's output states the redirect's status and ends the
// headers with "\r\n"; every other server gets the bytes as a CGI run writes them.
constexpr std::string_view kLocation = "Location:";
constexpr std::string_view kRedirectStatus = "Status: 302 Found\n";

bool PutAdapted(OutputStream *out, const char *buffer, size_t size) {
    if (!out->started) {
        out->started = true;
        if (std::string_view(buffer, size).substr(0, kLocation.size()) == kLocation &&
            !Put(out->stream, kRedirectStatus.data(), kRedirectStatus.size()))
            return false;
    }
    size_t from = 0;
    for (size_t i = 0; i < size && out->inHeaders; ++i) {
        const char c = buffer[i];
        if (c == '\r') {
            out->lastWasCr = true;
            continue;
        }
        if (c == '\n') {
            if (out->atLineStart) {
                out->inHeaders = false;  // the blank line
                if (out->lineEndedCrLf && !out->lastWasCr) {
                    if (!Put(out->stream, buffer + from, i - from) || !Put(out->stream, "\r", 1)) return false;
                    from = i;
                }
            }
            out->lineEndedCrLf = out->lastWasCr;
            out->atLineStart = true;
        } else {
            out->atLineStart = false;
        }
        out->lastWasCr = false;
    }
    return Put(out->stream, buffer + from, size - from);
}

ssize_t WriteOutput(void *cookie, const char *buffer, size_t size) {
    auto *out = static_cast<OutputStream *>(cookie);
    const bool ok = out->adapt ? PutAdapted(out, buffer, size) : Put(out->stream, buffer, size);
    if (!ok) {
        errno = EPIPE;
        return -1;
    }
    return static_cast<ssize_t>(size);
}

FILE *OpenInput(FCGX_Stream *stream) {
    cookie_io_functions_t io = {};
    io.read = ReadBody;
    return fopencookie(stream, "r", io);
}

FILE *OpenOutput(OutputStream *stream) {
    cookie_io_functions_t io = {};
    io.write = WriteOutput;
    FILE *file = fopencookie(stream, "w", io);
    if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

}  // namespace

bool Load(std::string &why) {
    if (g_loaded) return true;
    void *library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *error = dlerror();
        why = error != nullptr ? error : kLibrary;
        return false;
    }
    Api api;
    if (!Resolve(library, "FCGX_Init", api.init) || !Resolve(library, "FCGX_InitRequest", api.initRequest) ||
        !Resolve(library, "FCGX_Accept_r", api.accept) || !Resolve(library, "FCGX_Finish_r", api.finish) ||
        !Resolve(library, "FCGX_Free", api.free) || !Resolve(library, "FCGX_GetStr", api.getStr) ||
        !Resolve(library, "FCGX_PutStr", api.putStr) || !Resolve(library, "FCGX_GetError", api.getError) ||
        !Resolve(library, "FCGX_GetParam", api.getParam)) {
        why = std::string(kLibrary) + " lacks an FCGX_ entry point";
        dlclose(library);
        return false;
    }
    if (api.init() != 0) {
        why = "FCGX_Init failed";
        return false;
    }
    g_api = api;
    g_loaded = true;  // the library stays mapped for the life of the process
    return true;
}

// libfcgi's own FCGX_OpenSocket ends the process when it cannot bind; the
// socket is opened here instead, so that the failure is the caller's to report.
int OpenSocket(const std::string &address, int backlog) {
    const size_t colon = address.rfind(':');
    int fd = -1;
    if (colon == std::string::npos || address[0] == '/' || address[0] == '.') {  // a local socket path
        sockaddr_un local{};
        local.sun_family = AF_UNIX;
        if (address.empty() || address.size() >= sizeof local.sun_path) {
            errno = ENAMETOOLONG;
            return -1;
        }
        std::memcpy(local.sun_path, address.c_str(), address.size() + 1);
        fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return -1;
        unlink(address.c_str());  // a socket left by an earlier process
        if (bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 || listen(fd, backlog) != 0) {
            const int error = errno;
            close(fd);
            errno = error;
            return -1;
        }
        return fd;
    }
    const std::string host = colon == 0 ? "0.0.0.0" : address.substr(0, colon);
    const std::string port = address.substr(colon + 1);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr) {
        errno = EADDRNOTAVAIL;
        return -1;
    }
    fd = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    const int yes = 1;
    if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (fd >= 0 && (bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, backlog) != 0)) {
        const int error = errno;
        close(fd);
        fd = -1;
        errno = error;
    }
    freeaddrinfo(found);
    return fd;
}

struct Listener::Request {
    FCGX_Request fcgx{};
    OutputStream out{};
};

Listener::Listener(int listenFd) : request_(std::make_unique<Request>()) {
    g_api.initRequest(&request_->fcgx, listenFd, 0);
}

Listener::~Listener() {
    if (active_) Finish();
    g_api.free(&request_->fcgx, 1);
}

bool Listener::Accept() {
    if (active_) Finish();
    if (g_api.accept(&request_->fcgx) < 0) {
        // A refused request leaves its parameter storage behind in libfcgi:
        // released here, and the request record made new for the next accept.
        const int listenFd = request_->fcgx.listen_sock;
        if (request_->fcgx.ipcFd >= 0) close(request_->fcgx.ipcFd);
        g_api.free(&request_->fcgx, 0);
        g_api.initRequest(&request_->fcgx, listenFd, 0);
        return false;
    }
    // The parameters are the request's environment as a CGI run would see
    // it: the role variable that libfcgi adds is its own, not the server's.
    environment_.clear();
    for (char **entry = request_->fcgx.envp; entry != nullptr && *entry != nullptr; ++entry)
        if ((*entry)[0] != 'F' || std::strncmp(*entry, "FCGI_ROLE=", 10) != 0) environment_.push_back(*entry);
    environment_.push_back(nullptr);
    in_ = OpenInput(request_->fcgx.in);
    request_->out = OutputStream{};
    request_->out.stream = request_->fcgx.out;
    const char *software = g_api.getParam("SERVER_SOFTWARE", request_->fcgx.envp);
    request_->out.adapt = software != nullptr && std::strncmp(software, "Apache", 6) == 0;
    out_ = OpenOutput(&request_->out);
    active_ = true;
    if (in_ == nullptr || out_ == nullptr) {
        Finish();
        return false;
    }
    return true;
}

char **Listener::Environment() const { return const_cast<char **>(environment_.data()); }

bool Listener::OutputFailed() const {
    return active_ && request_->fcgx.out != nullptr && g_api.getError(request_->fcgx.out) != 0;
}

void Listener::Finish() {
    if (!active_) return;
    active_ = false;
    if (out_ != nullptr) std::fclose(out_);
    if (in_ != nullptr) std::fclose(in_);
    out_ = nullptr;
    in_ = nullptr;
    g_api.finish(&request_->fcgx);
}

}  // namespace qz::fastcgi
