// Fuzzes the whole request read: the input is split at its first NUL byte
// into environment lines ("NAME=value" separated by line feeds) and the body,
// which is fed as standard input. The environment lines are the whole
// environment of the run. Tracing is on at every level (into /dev/null), so
// that every value the request traces passes the trace record formatting.
//
// After the read, and again after the program parameters are taken, every
// text the record holds must lie inside its block (the whole block the string
// claims is addressable and the terminator stands at its length), the form
// variable count must stay within the table, every slot's name must be
// terminated inside its slot and be found at that slot, and the parameter
// cursor must point into the query string. The copy-out calls must keep to
// the size they are given.

#include "qz/qzhttprequest.h"

#include "copy_check.h"

#include <sanitizer/asan_interface.h>

#include <cstdio>
#include <cstring>
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

[[noreturn]] void Fail(const char *what, const char *which) {
    std::fprintf(stderr, "fuzz_cgi_request invariant failed: %s (%s)\n", what, which);
    std::abort();
}

bool Addressable(const void *start, size_t size) { return __asan_region_is_poisoned(const_cast<void *>(start), size) == nullptr; }

void CheckString(const QZ_CStr &s, const char *which) {
    if (s.data == nullptr) Fail("a string without text", which);
    if (s.capacity == 0) {
        if (s.length != 0 || s.data[0] != '\0') Fail("a string without a block holds text", which);
        return;
    }
    if (s.length > s.capacity) Fail("a string is longer than its block", which);
    if (!Addressable(s.data, static_cast<size_t>(s.capacity) + 1)) Fail("a string's block is not all there", which);
    if (s.data[s.length] != '\0') Fail("a string is not terminated at its length", which);
}

void CheckRecord(QZ_HTTP_SrvReq *r, size_t bodySize) {
    const struct {
        const QZ_CStr *s;
        const char *which;
    } fields[] = {
        {&r->content, "content"}, {&r->serverSoftware, "serverSoftware"}, {&r->serverName, "serverName"},
        {&r->serverProtocol, "serverProtocol"}, {&r->serverAdmin, "serverAdmin"},
        {&r->gatewayInterface, "gatewayInterface"}, {&r->requestMethod, "requestMethod"},
        {&r->pathInfo, "pathInfo"}, {&r->pathTranslated, "pathTranslated"}, {&r->scriptName, "scriptName"},
        {&r->queryString, "queryString"}, {&r->remoteHost, "remoteHost"}, {&r->remoteAddr, "remoteAddr"},
        {&r->subscriberNo, "subscriberNo"}, {&r->contentType, "contentType"}, {&r->referer, "referer"},
        {&r->userAgent, "userAgent"}, {&r->accept, "accept"}, {&r->browserVersion, "browserVersion"},
    };
    for (const auto &f : fields) CheckString(*f.s, f.which);
    if (r->content.length > bodySize) Fail("the content is longer than the body sent", "content");
    if (r->browserVersion.length > r->userAgent.length) Fail("the browser version is longer than the user agent", "browserVersion");

    const char *cursor = r->paramCursor;
    if (cursor != QZ_EmptyString &&
        (cursor < r->queryString.data || cursor > r->queryString.data + r->queryString.length))
        Fail("the parameter cursor points outside the query string", "paramCursor");

    QZ_List &cookies = r->cookies;
    QZ_ListNode *node = cookies.first;
    uint32_t seen = 0;
    for (; seen < cookies.count && node != nullptr; ++seen, node = node->next) {
        const auto *c = static_cast<const QZ_HTTP_Cookie *>(node->data);
        CheckString(c->name, "cookie name");
        CheckString(c->value, "cookie value");
        if (c->name.length > QZ_HTTP_COOKIE_TEXT_MAX || c->value.length > QZ_URL_DECODE_MAX)
            Fail("a received cookie is longer than its limit", "cookies");
    }
    if (seen != cookies.count) Fail("the cookie list holds fewer records than its count", "cookies");

    QZ_HTTP_VarTable &t = r->variables;
    if (t.count > QZ_HTTP_VAR_MAX) Fail("the variable count is beyond the table", "variables");
    for (uint32_t i = 0; i < t.count; ++i) {
        const char *name = t.names[i];
        if (std::memchr(name, '\0', QZ_HTTP_VAR_NAME_MAX + 1) == nullptr) Fail("a name runs past its slot", "variables");
        if (name[0] == '\0') Fail("a variable without a name", "variables");
        const char *value = t.values[i];
        if (value == nullptr) Fail("a variable without a value", "variables");
        if (value != QZ_EmptyString && !Addressable(value, std::strlen(value) + 1))
            Fail("a value lies outside its block", "variables");
        if (QZ_HTTP_VarTable_Find(&t, name) != i) Fail("a name is not found at its own slot", "variables");
    }
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
    CheckRecord(request.get(), body.size());
    static const int32_t kSizes[] = {1024, 0, 5, 2048};
    for (const int32_t size : kSizes) {
        fuzzcheck::CheckOneCopy("QZ_HTTP_SrvReq_GetParameter", size,
                                [&](char *b, int32_t m) { QZ_HTTP_SrvReq_GetParameter(request.get(), b, m); });
    }
    QZ_HTTP_SrvReq_GetVariable(request.get(), "sCallerURL");
    CheckRecord(request.get(), body.size());
    char buffer[1024 + fuzzcheck::kGuard];
    std::memset(buffer, fuzzcheck::kCanary, sizeof buffer);
    uint32_t got = 0;
    qz_HTTP_SrvReq_ReadContent(request.get(), buffer, 1024, 0, &got);
    if (got > 1024) Fail("more content delivered than asked", "ReadContent");
    for (size_t i = 1024; i < sizeof buffer; ++i)
        if (static_cast<unsigned char>(buffer[i]) != fuzzcheck::kCanary) Fail("content written past the buffer", "ReadContent");
    QZ_HTTP_SrvReq_Free(request.get());
    stdin = saved;
    std::fclose(in);
    environ = savedEnviron;
    return 0;
}
