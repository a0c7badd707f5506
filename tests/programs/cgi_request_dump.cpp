// Reads the CGI request from its environment and standard input, as the
// driver does, and prints what it found in a fixed, escaped form, followed by
// the pool's live bytes and the time the read took. argv[1]: number of
// program parameters to take (default 4).

#include "qz/qzhttprequest.h"
#include "qz/qzpgmmem.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <time.h>

namespace {

std::string escaped(const char *text) {
    std::string out;
    for (const char *p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out;
}

// CPU time, so that a busy machine does not inflate what the read took.
double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

} // namespace

int main(int argc, char **argv) {
    const int params = argc > 1 ? std::atoi(argv[1]) : 4;
    auto *request = static_cast<QZ_HTTP_SrvReq *>(std::calloc(1, sizeof(QZ_HTTP_SrvReq)));
    QZ_HTTP_SrvReq_Init(request);
    const double start = CpuSeconds();
    QZ_HTTP_SrvReq_Read(request, 0);
    const double took = CpuSeconds() - start;
    std::printf("method=[%s] script=[%s] server=[%s] port=%d secure=%d length=%d\n",
                escaped(request->requestMethod.data).c_str(), escaped(request->scriptName.data).c_str(),
                escaped(request->serverName.data).c_str(), static_cast<int>(request->serverPort),
                request->secure, static_cast<int>(request->contentLength));
    std::printf("kind=%d version=[%s] markup=%d body=%u\n", request->browserKind,
                escaped(request->browserVersion.data).c_str(), request->deviceMarkup,
                request->content.length);
    const uint32_t count = request->variables.count;
    std::printf("vars=%u\n", count);
    for (uint32_t i = 0; i < count && i < 20; ++i)
        std::printf("var[%s]=[%s]\n", escaped(request->variables.names[i]).c_str(),
                    escaped(request->variables.values[i]).c_str());
    if (count > 20)
        std::printf("last[%s]=[%s]\n", escaped(request->variables.names[count - 1]).c_str(),
                    escaped(request->variables.values[count - 1]).c_str());
    for (int i = 0; i < params; ++i) {
        char buffer[1025];
        std::printf("param=[%s]\n", escaped(QZ_HTTP_SrvReq_GetParameter(request, buffer, 1024)).c_str());
    }
    std::printf("cookies=%u\n", request->cookies.count);
    QZ_ListNode *node = request->cookies.first;
    for (uint32_t i = 0; i < request->cookies.count && i < 20; ++i, node = node->next) {
        const auto *cookie = static_cast<const QZ_HTTP_Cookie *>(node->data);
        std::printf("cookie[%s]=[%s]\n", escaped(cookie->name.data).c_str(),
                    escaped(cookie->value.data).c_str());
    }
    const QZ_MemPool *pool = QZ_GetDefaultPool();
    std::printf("pool=%u\n", pool != nullptr ? pool->totalSize : 0u);
    std::printf("micros=%lld\n",
                static_cast<long long>(took * 1e6));
    QZ_HTTP_SrvReq_Free(request);
    std::free(request);
    std::printf("after=%u\n", pool != nullptr ? pool->totalSize : 0u);
    return 0;
}
