// Every allocation of a request read and of a response, made to fail one at a
// time: each run must end with what the request or response documents for a
// lack of memory (a value, cookie or header line left out whole, never cut or
// mixed up), the pool must hold afterwards what it held before, and nothing
// may crash. The sanitizer build checks the system allocator's side.

#include "qz/qzcookie.h"
#include "qz/qzhttp.h"
#include "qz/qzhttprequest.h"
#include "qz/qzpgmmem.h"
#include "runtime/qzpgmmem_testing.h"
#include "test_cgi_stdin.h"
#include "test_core_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char *kVariables[] = {"REQUEST_METHOD", "CONTENT_LENGTH", "QUERY_STRING", "HTTP_COOKIE",
                            "SERVER_NAME",    "SERVER_PORT",    "SCRIPT_NAME",  "HTTP_USER_AGENT"};

class AllocationWalk : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *name : kVariables) unsetenv(name);
    }
    void TearDown() override {
        qz_MemPool_FailAllocation(0);
        for (const char *name : kVariables) unsetenv(name);
    }

    // Runs `step` with the n-th allocation failing, for n = 1, 2, ... until a
    // run makes fewer than n allocations (every allocation has failed once).
    // Returns the number of allocations of a run without failures.
    template <typename Step>
    int64_t walk(Step step) {
        QZ_MemPool *pool = QZ_GetDefaultPool();
        const uint32_t liveBefore = pool->count;
        const uint32_t bytesBefore = pool->totalSize;
        for (int64_t n = 1;; ++n) {
            qz_MemPool_FailAllocation(n);
            step(n);
            const int64_t made = qz_MemPool_AllocationsCounted();
            qz_MemPool_FailAllocation(0);
            EXPECT_EQ(pool->count, liveBefore) << "blocks left after failing allocation " << n;
            EXPECT_EQ(pool->totalSize, bytesBefore) << "bytes left after failing allocation " << n;
            if (made < n || testing::Test::HasFailure()) return made;
        }
    }
};

struct Request {
    std::unique_ptr<QZ_HTTP_SrvReq> r = std::make_unique<QZ_HTTP_SrvReq>();
    Request() { QZ_HTTP_SrvReq_Init(r.get()); }
    ~Request() { QZ_HTTP_SrvReq_Free(r.get()); }
    QZ_HTTP_SrvReq *get() { return r.get(); }
    QZ_HTTP_SrvReq *operator->() { return r.get(); }
};

// What a request read gave: every field either whole or empty.
void expectWholeOrEmpty(const std::string &what, const std::string &got, const std::string &whole, int64_t n) {
    if (!got.empty()) EXPECT_EQ(got, whole) << what << " with allocation " << n << " failing";
}

std::string cookieOf(QZ_HTTP_SrvReq *r, const char *name) {
    char buffer[64] = {};
    return QZ_HTTP_GetCookie(nullptr, r, buffer, name, 63);
}

TEST_F(AllocationWalk, GetRequestWithParametersAndCookies) {
    setenv("REQUEST_METHOD", "GET", 1);
    setenv("QUERY_STRING", "5,6,7,abc%20def", 1);
    setenv("HTTP_COOKIE", ("a=1; b=x%20y; long=" + std::string(300, 'c')).c_str(), 1);
    setenv("SERVER_NAME", "srv", 1);
    setenv("HTTP_USER_AGENT", "Mozilla/5.0 (X11)", 1);
    const int64_t made = walk([](int64_t n) {
        Request req;
        QZ_HTTP_SrvReq_Read(req.get(), 0);
        char buffer[1025];
        const std::string whole[] = {"5", "6", "7", "abc def"};
        for (const std::string &w : whole)
            expectWholeOrEmpty("parameter", QZ_HTTP_SrvReq_GetParameter(req.get(), buffer, 1024), w, n);
        EXPECT_EQ(QZ_HTTP_SrvReq_GetParameter(req.get(), buffer, 1024), std::string());
        expectWholeOrEmpty("server name", QZ_HTTP_SrvReq_Get_ServerName(req.get()), "srv", n);
        expectWholeOrEmpty("cookie a", cookieOf(req.get(), "a"), "1", n);
        expectWholeOrEmpty("cookie b", cookieOf(req.get(), "b"), "x y", n);
        char big[400] = {};
        expectWholeOrEmpty("cookie long", QZ_HTTP_GetCookie(nullptr, req.get(), big, "long", 399),
                           std::string(300, 'c'), n);
        expectWholeOrEmpty("browser version", QZ_HTTP_SrvReq_Get_BrowserVersion(req.get()), "5.0", n);
    });
    EXPECT_GT(made, 10);
}

TEST_F(AllocationWalk, PostRequestWithFormVariablesAndCookies) {
    const std::string longValue(300, 'v'); // grows its value string past several steps
    const std::string body = "Name=J%F6rg+Smith&name=X&b=2&c=%0D%0A&long=" + longValue + "&Long=" + longValue +
                             "w&sCallerURL=http%3A%2F%2Fcaller%2Fx";
    setenv("REQUEST_METHOD", "POST", 1);
    setenv("CONTENT_LENGTH", std::to_string(body.size()).c_str(), 1);
    setenv("QUERY_STRING", "1,2", 1);
    setenv("HTTP_COOKIE", "sid=abc", 1);
    cgitest::StdinFrom input(body);
    const std::map<std::string, std::string> whole = {
        {"b", "2"}, {"c", "\n"}, {"sCallerURL", "http://caller/x"}};
    const int64_t made = walk([&](int64_t n) {
        input.rewind();
        Request req;
        QZ_HTTP_SrvReq_Read(req.get(), 0);
        for (const auto &[name, value] : whole)
            expectWholeOrEmpty(name, QZ_HTTP_SrvReq_GetVariable(req.get(), name.c_str()), value, n);
        // A duplicate whose new value could not be stored keeps its old one.
        const std::string name = QZ_HTTP_SrvReq_GetVariable(req.get(), "name");
        if (!name.empty()) EXPECT_TRUE(name == "X" || name == "J\xF6rg Smith") << name << " at " << n;
        const std::string longOne = QZ_HTTP_SrvReq_GetVariable(req.get(), "LONG");
        if (!longOne.empty()) EXPECT_TRUE(longOne == longValue || longOne == longValue + "w") << n;
        EXPECT_LE(req->variables.count, 5u);
        expectWholeOrEmpty("cookie sid", cookieOf(req.get(), "sid"), "abc", n);
        QZ_HTTP_SrvReq_UpdateVariable(req.get(), "b", "updated");
        expectWholeOrEmpty("updated b", QZ_HTTP_SrvReq_GetVariable(req.get(), "b"), "updated", n);
    });
    EXPECT_GT(made, 10);
}

// The response's bytes on a memory stream.
struct Output {
    char *data = nullptr;
    size_t size = 0;
    FILE *stream = open_memstream(&data, &size);
    ~Output() {
        std::fclose(stream);
        std::free(data);
    }
    std::string text() {
        std::fflush(stream);
        return std::string(data, size);
    }
};

Lines linesOf(const std::string &text) {
    Lines lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// Whether every line of `got` is a line of `whole`, in the same order.
bool isPartOf(const Lines &got, const Lines &whole) {
    size_t at = 0;
    for (const std::string &line : got) {
        while (at < whole.size() && whole[at] != line) ++at;
        if (at == whole.size()) return false;
        ++at;
    }
    return true;
}

// A head whose lines all end where they should: everything before the first
// empty line is a complete header line, and the body follows it.
void expectWellFormed(const std::string &out, const Lines &wholeHead, const std::string &wholeBody, int64_t n) {
    const size_t end = out.find("\n\n");
    ASSERT_NE(end, std::string::npos) << "no end of the head with allocation " << n << " failing:\n" << out;
    const Lines head = linesOf(out.substr(0, end));
    EXPECT_TRUE(isPartOf(head, wholeHead)) << "allocation " << n << ":\n" << out;
    EXPECT_EQ(out.substr(end + 2), wholeBody) << "allocation " << n;
}

TEST_F(AllocationWalk, RedirectWithoutCookies) {
    const int64_t made = walk([](int64_t n) {
        Output o;
        QZ_HTTP_Response response{};
        QZ_HTTP_Response_Init(&response, "text/html");
        QZ_HTTP_Response_SetCtrlBlock(&response, o.stream);
        QZ_HTTP_Response_AddHeader(&response, "pragma", "no-cache");
        QZ_HTTP_Response_Redirect(nullptr, &response, "https://www.example.com/main/Hwendle.aspx?5,6,7,abc");
        QZ_HTTP_Response_End(&response);
        EXPECT_EQ(o.text(), "Location: https://www.example.com/main/Hwendle.aspx?5,6,7,abc\n\n") << n;
    });
    EXPECT_GT(made, 2);
}

TEST_F(AllocationWalk, RedirectWithCookies) {
    const std::string page = "<head><title>Redirect w/cookies</title></head>\n"
                             "<body onLoad=\"location.replace('//srv:81/cgi-bin/next.exe?a,b');\"></body>\n";
    const Lines head = {"Status: 200 OK", "pragma: no-cache", "Content-type: text/html\r",
                        "Set-Cookie: sid=a+b; path=/;", "Set-Cookie: n=" + std::string(200, 'v') + ";"};
    Request req; // as read before the page runs
    QZ_CStr_SetText(&req->serverName, "srv");
    QZ_CStr_SetText(&req->scriptName, "/cgi-bin/hwendle.exe");
    req->serverPort = 81;
    const int64_t made = walk([&](int64_t n) {
        Output o;
        QZ_HTTP_Response response{};
        QZ_HTTP_Response_Init(&response, "text/html");
        QZ_HTTP_Response_SetCtrlBlock(&response, o.stream);
        QZ_HTTP_Response_AddHeader(&response, "pragma", "no-cache");
        QZ_HTTP_Response_SetCookie(&response, "sid", "a b", "/", 0, 0, "", 0);
        QZ_HTTP_Response_SetCookie(&response, "n", std::string(200, 'v').c_str(), "", 0, 0, "", 0);
        const uint32_t cookies = QZ_HTTP_Response_CookieCount(&response);
        QZ_HTTP_Response_Redirect(req.get(), &response, "next.exe?a,b");
        QZ_HTTP_Response_End(&response);
        const std::string out = o.text();
        if (cookies == 0) {
            // Neither cookie could be kept: the redirect without cookies.
            EXPECT_EQ(out, "Location: next.exe?a,b\n\n") << n;
        } else {
            expectWellFormed(out, head, page, n);
            EXPECT_NE(out.find("Set-Cookie: "), std::string::npos) << "allocation " << n << ":\n" << out;
        }
    });
    EXPECT_GT(made, 8);
}

// The content type that cannot be copied is the one failure the response
// reports itself.
TEST_F(AllocationWalk, ContentTypeWithoutMemoryIsReported) {
    qztest::TraceCapture trace(0);
    Output o;
    QZ_HTTP_Response response{};
    QZ_HTTP_Response_Init(&response, "text/html");
    QZ_HTTP_Response_SetCtrlBlock(&response, o.stream);
    qz_MemPool_FailAllocation(1);
    EXPECT_EQ(QZ_HTTP_Response_SetContentType(&response, "text/plain"), 2);
    qz_MemPool_FailAllocation(0);
    QZ_HTTP_Response_Write(&response, "x");
    QZ_HTTP_Response_End(&response);
    EXPECT_EQ(o.text(), "Status: 200 OK\nContent-type: text/html\r\n\nx");
    EXPECT_EQ(trace.messages(), Lines{"HTT0002: Not enough memory."});
}

} // namespace
