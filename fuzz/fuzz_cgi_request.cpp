// Fuzzes the whole request read: the input is split at the first two NUL
// bytes into environment lines ("NAME=value" separated by line feeds), a
// query string override and the body, which is fed as standard input. The
// environment lines are the whole environment of the run. Tracing is on at
// every level (into /dev/null), so that every value the request traces passes
// the trace record formatting.

#include "qz/qzhttprequest.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

extern "C" char **environ;

namespace {

// The directory of a qzcfg.ini that turns tracing on at every level into /dev/null.
const std::string &traceConfigDir() {
    static const std::string dir = [] {
        char pattern[] = "/tmp/qzfuzzcgi.XXXXXX";
        if (mkdtemp(pattern) == nullptr) std::abort();
        const std::string config = std::string(pattern) + "/qzcfg.ini";
        FILE *f = std::fopen(config.c_str(), "w");
        if (f == nullptr) std::abort();
        std::fputs("[Trace]\nTrace=1\nTraceLevel=10\nTraceFile=/dev/null\n", f);
        std::fclose(f);
        return std::string(pattern);
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find('\0');
    const std::string_view envText = input.substr(0, split);
    const std::string body(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));
    // The environment of this run alone, in place of the process's (setenv
    // would keep every name and value of every run).
    std::vector<std::string> entries;
    size_t at = 0;
    while (at <= envText.size()) {
        const size_t end = std::min(envText.find('\n', at), envText.size());
        const std::string line(envText.substr(at, end - at));
        const size_t eq = line.find('=');
        if (eq != std::string::npos && eq > 0) entries.push_back(line);
        at = end + 1;
    }
    entries.push_back("QZCFG=" + traceConfigDir());
    std::vector<char *> envp;
    for (std::string &entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    char **savedEnviron = environ;
    environ = envp.data();
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
    environ = savedEnviron;
    return 0;
}
