// Fuzzes the whole request read: the input is split at the first two NUL
// bytes into environment lines ("NAME=value" separated by line feeds), a
// query string override and the body, which is fed as standard input. Tracing
// is on at every level (into /dev/null), so that every value the request
// traces passes the trace record formatting.

#include "qz/qzhttprequest.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

void traceEverything() {
    static const bool done = [] {
        char dir[] = "/tmp/qzfuzzcgi.XXXXXX";
        if (mkdtemp(dir) == nullptr) return false;
        const std::string config = std::string(dir) + "/qzcfg.ini";
        FILE *f = std::fopen(config.c_str(), "w");
        if (f == nullptr) return false;
        std::fputs("[Trace]\nTrace=1\nTraceLevel=10\nTraceFile=/dev/null\n", f);
        std::fclose(f);
        setenv("QZCFG", dir, 1);
        return true;
    }();
    (void)done;
}

const char *kNames[] = {"REQUEST_METHOD", "CONTENT_LENGTH", "QUERY_STRING", "HTTP_COOKIE",
                        "HTTP_USER_AGENT", "HTTP_ACCEPT", "HTTPS", "SERVER_PORT_SECURE",
                        "SERVER_PORT", "SCRIPT_NAME", "SERVER_NAME"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    traceEverything();
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find('\0');
    const std::string_view envText = input.substr(0, split);
    const std::string body(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));
    for (const char *name : kNames) unsetenv(name);
    size_t at = 0;
    while (at <= envText.size()) {
        const size_t end = std::min(envText.find('\n', at), envText.size());
        const std::string line(envText.substr(at, end - at));
        const size_t eq = line.find('=');
        if (eq != std::string::npos && eq > 0) setenv(line.substr(0, eq).c_str(), line.c_str() + eq + 1, 1);
        at = end + 1;
    }
    FILE *in = fmemopen(const_cast<char *>(body.data()), body.size(), "rb");
    if (in == nullptr) in = std::fopen("/dev/null", "rb");
    FILE *saved = stdin;
    stdin = in;
    static auto request = std::make_unique<QZ_HTTP_SrvReq>();
    QZ_HTTP_SrvReq_Init(request.get());
    QZ_HTTP_SrvReq_Read(request.get(), 0);
    char buffer[1025];
    for (int i = 0; i < 4; ++i) QZ_HTTP_SrvReq_GetParameter(request.get(), buffer, 1024);
    QZ_HTTP_SrvReq_GetVariable(request.get(), "sCallerURL");
    uint32_t got = 0;
    qz_HTTP_SrvReq_ReadContent(request.get(), buffer, 1024, 0, &got);
    QZ_HTTP_SrvReq_Free(request.get());
    stdin = saved;
    std::fclose(in);
    return 0;
}
