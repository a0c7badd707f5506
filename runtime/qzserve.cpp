// The program's entry point in both modes. Under CGI the request runs once.
// As a FastCGI application the process takes requests from its listening
// socket one after the other; each runs exactly as a CGI run would, with the
// request channel pointed at it, and the request scope ends it.
//
// A FastCGI start is a supervisor and its workers: the supervisor holds the
// listening socket and keeps [FastCGI] Processes workers running, starting a
// new one as soon as one ends (after an abort, a crash or its request count),
// so the socket never goes unserved and no connection is refused meanwhile.
// With Processes=0 the started process serves itself, and the web server that
// started it starts a new one when it ends.
#include "qz/qzserve.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "qz/qztrace.h"
#include "runtime/qzfastcgi.h"
#include "runtime/qzrequest_channel.h"
#include "runtime/qzserve_internal.h"
#include "runtime/qzsignal_internal.h"

namespace {

constexpr const char *kOption = "--fastcgi";
constexpr int kBacklog = 128;
// A worker that ends sooner than this after its start is started again only
// after the same pause, so that a program that cannot start does not spin.
constexpr long kRestartPauseMs = 200;

int16_t g_persistent = 0;
volatile sig_atomic_t g_stop = 0;
qz::fastcgi::Listener *g_listener = nullptr;

struct Settings {
    long maxRequests = 0;  // 0: never ends by itself
    long processes = 1;    // workers the supervisor keeps; 0: no supervisor
};

long ReadNumber(const char *key, long fallback) {
    char value[QZ_INI_VALUE_MAX + 1];
    if (QZ_ReadIniValue("QZCFG", "FastCGI", key, "qzcfg.ini", value) == 0) return fallback;
    long number = 0;
    const char *end = value + std::strlen(value);
    auto [stop, ec] = std::from_chars(value, end, number);
    if (ec != std::errc() || stop != end || number < 0) {
        std::fprintf(stderr, "qzcfg.ini [FastCGI] %s=%s is not a count; %ld is used\n", key, value, fallback);
        return fallback;
    }
    return number;
}

Settings ReadSettings() {
    Settings s;
    s.maxRequests = ReadNumber("MaxRequests", s.maxRequests);
    s.processes = ReadNumber("Processes", s.processes);
    return s;
}

bool IsListeningSocket(int fd) {
    int accepting = 0;
    socklen_t length = sizeof accepting;
    return getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) == 0 && accepting != 0;
}

// The "--fastcgi SOCKET" pair, taken out of the arguments the program sees.
bool TakeSocketOption(int &argc, char **argv, std::string &address, bool &given) {
    given = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], kOption) != 0) continue;
        if (i + 1 >= argc || argv[i + 1][0] == '\0') return false;
        given = true;
        address = argv[i + 1];
        for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
        argc -= 2;
        return true;
    }
    return true;
}

void OnTerminate(int) {
    g_stop = 1;
}

// Without SA_RESTART: the signal ends the wait it interrupts.
void StopOn(int signalNumber) {
    struct sigaction stop = {};
    stop.sa_handler = OnTerminate;
    sigemptyset(&stop.sa_mask);
    sigaction(signalNumber, &stop, nullptr);
}

void InstallStop() {
    qz_SetTerminationHandler(OnTerminate);
    StopOn(SIGTERM);
    // A client or server that goes away makes a write fail; it must not end the process.
    signal(SIGPIPE, SIG_IGN);
}

// An exit inside a request (the abort report, a fatal database report, a
// fatal signal) still delivers what the request wrote before the process goes.
void FinishOnExit() {
    if (g_listener != nullptr && g_listener->Active()) {
        std::fflush(g_listener->Out());
        g_listener->Finish();
    }
    qz_RequestChannel_Detach();
}

// Waits until a connection is ready or the process is told to stop.
bool WaitForConnection(int listenFd) {
    while (g_stop == 0) {
        pollfd ready = {listenFd, POLLIN, 0};
        const int n = poll(&ready, 1, -1);
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
    return false;
}

int ServeWorker(int listenFd, int argc, char **argv, QZ_RequestRun run, const Settings &settings) {
    InstallStop();
    // The loop waits itself (poll), and only when an accept found nothing: a
    // busy worker takes the next connection without a wait in between. An
    // accept that finds nothing (none waiting, or another worker took it)
    // returns at once.
    fcntl(listenFd, F_SETFL, fcntl(listenFd, F_GETFL) | O_NONBLOCK);
    qz::fastcgi::Listener listener(listenFd);
    g_listener = &listener;
    std::atexit(FinishOnExit);
    g_persistent = 1;
    long served = 0;
    int exitCode = 0;
    int refusedInARow = 0;
    while (g_stop == 0) {
        if (!listener.Accept()) {
            // Nothing waiting, another worker took the connection, or libfcgi
            // refused it. A socket that stays ready without a request to take
            // (no file descriptors left) is not polled at full speed.
            if (++refusedInARow >= 100) {
                const timespec pause = {0, 10 * 1000000L};
                nanosleep(&pause, nullptr);
            }
            if (!WaitForConnection(listenFd)) break;
            continue;
        }
        refusedInARow = 0;
        qz_RequestChannel_Attach(listener.Environment(), listener.In(), listener.Out());
        const int code = run(argc, argv);
        qz_RequestScope_End();
        std::fflush(listener.Out());
        if (listener.OutputFailed())
            std::fprintf(stderr, "%s: the response could not be delivered (the connection closed)\n", argv[0]);
        listener.Finish();
        qz_RequestChannel_Detach();
        ++served;
        if (code != 0) {
            exitCode = code;  // as the CGI run would have ended
            break;
        }
        if (settings.maxRequests > 0 && served >= settings.maxRequests) break;
    }
    g_listener = nullptr;
    return exitCode;
}

long MillisecondsSince(const timespec &start) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
}

struct Worker {
    pid_t pid = 0;
    timespec started{};
};

pid_t StartWorker(int listenFd, int argc, char **argv, QZ_RequestRun run, const Settings &settings,
                  pid_t supervisor) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // The worker goes when its supervisor goes, however that ends.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != supervisor) _exit(0);
    std::exit(ServeWorker(listenFd, argc, argv, run, settings));
}

int Supervise(int listenFd, int argc, char **argv, QZ_RequestRun run, const Settings &settings) {
    InstallStop();
    StopOn(SIGINT);
    const pid_t self = getpid();
    std::vector<Worker> workers(static_cast<size_t>(settings.processes));
    while (g_stop == 0) {
        for (Worker &w : workers) {
            if (w.pid != 0) continue;
            if (w.started.tv_sec != 0 && MillisecondsSince(w.started) < kRestartPauseMs) {
                const timespec pause = {0, kRestartPauseMs * 1000000L};
                nanosleep(&pause, nullptr);
            }
            clock_gettime(CLOCK_MONOTONIC, &w.started);
            w.pid = StartWorker(listenFd, argc, argv, run, settings, self);
            if (w.pid < 0) w.pid = 0;
        }
        int status = 0;
        const pid_t ended = waitpid(-1, &status, 0);
        if (ended < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (Worker &w : workers) {
            if (w.pid != ended) continue;
            w.pid = 0;
            if (WIFSIGNALED(status))
                std::fprintf(stderr, "%s: worker %d ended by signal %d; a new one starts\n", argv[0],
                             static_cast<int>(ended), WTERMSIG(status));
        }
    }
    for (const Worker &w : workers)
        if (w.pid != 0) kill(w.pid, SIGTERM);
    for (const Worker &w : workers)
        if (w.pid != 0) waitpid(w.pid, nullptr, 0);
    return 0;
}

}  // namespace

extern "C" {

int16_t QZ_ServePersistent(void) { return g_persistent; }

void qz_Serve_SetPersistent(int16_t on) { g_persistent = on != 0 ? 1 : 0; }

int QZ_Serve(int argc, char **argv, QZ_RequestRun run) {
    if (run == nullptr) return -1;
    std::string address;
    bool given = false;
    if (!TakeSocketOption(argc, argv, address, given)) {
        std::fprintf(stderr, "usage: %s %s SOCKET (a socket path, :PORT or HOST:PORT)\n", argv[0], kOption);
        return 2;
    }
    if (!given && !IsListeningSocket(0)) return run(argc, argv);  // CGI: one request, as ever

    int listenFd = 0;
    if (given) {
        listenFd = qz::fastcgi::OpenSocket(address, kBacklog);
        if (listenFd < 0) {
            std::fprintf(stderr, "%s: cannot listen on %s: %s\n", argv[0], address.c_str(), std::strerror(errno));
            return 1;
        }
    }
    std::string why;
    if (!qz::fastcgi::Load(why)) {
        std::fprintf(stderr, "%s: FastCGI mode needs libfcgi: %s\n", argv[0], why.c_str());
        return 1;
    }
    const Settings settings = ReadSettings();
    if (settings.processes == 0) return ServeWorker(listenFd, argc, argv, run, settings);
    return Supervise(listenFd, argc, argv, run, settings);
}

}  // extern "C"
