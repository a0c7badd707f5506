// The plain path against a scripted socket server: the request bytes, the
// answers no real server gives on purpose, and the limits.

#include "qz/qzhttpauth.h"
#include "qz/qzhttpclient.h"
#include "qz/qzxmlreader.h"
#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"
#include "http/qzhttp_internal.h"
#include "runtime/qzpgmmem_testing.h"

#include <gtest/gtest.h>

#include "test_httpclient_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using qz_test::ScriptServer;

class HttpClient : public ::testing::Test {
protected:
    void SetUp() override { QZ_HTTP_Client_Init(&c); }
    void TearDown() override { QZ_HTTP_Client_Deinit(&c); }
    void Target(const ScriptServer &s) {
        QZ_HTTP_ClientSetHost(&c, "127.0.0.1");
        QZ_HTTP_ClientSetPort(&c, s.port());
    }
    std::string Description() {
        char b[64];
        return QZ_HTTP_ClientDescription(&c, b, 63);
    }
    QZ_HTTP_Client c{};
};

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n0123456789";

TEST_F(HttpClient, FreshClientAndTheTextsOfTheApi) {
    EXPECT_EQ(QZ_HTTP_ClientGetPort(&c), 80);
    EXPECT_EQ(QZ_HTTP_ClientGetTimeout(&c), 60);
    EXPECT_EQ(QZ_HTTP_ClientGetSecure(&c), 0);
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    EXPECT_EQ(Description(), "No error");
    QZ_HTTP_ClientSetSocksHost(&c, "socks");
    EXPECT_STREQ(QZ_HTTP_ClientGetSocksHost(&c), "");

    QZ_HTTP_ClientAddVariable(&c, "a", "x y");
    QZ_HTTP_ClientAddVariable(&c, "b", "1&2");
    EXPECT_STREQ(c.request->content.data, "a=x+y&b=1%262&");
    QZ_HTTP_ClientAddHeader(&c, "X-A", "1");
    EXPECT_STREQ(c.request->headers.data, "X-A: 1\r\n");
    // A line break in a value cannot start a header line of its own.
    QZ_HTTP_ClientAddHeader(&c, "X-B", "2\r\nEvil: yes");
    EXPECT_STREQ(c.request->headers.data, "X-A: 1\r\nX-B: 2Evil: yes\r\n");

    char small[8];
    c.errorCode = 1;
    EXPECT_STREQ(QZ_HTTP_ClientDescription(&c, small, 5), "Conne");
    c.errorCode = 7;
    EXPECT_EQ(Description(), "Unknown");
    c.errorCode = -1;
    EXPECT_EQ(Description(), "Unknown");
    QZ_HTTP_ClientAddFile(&c, "/nonexistent/file");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_FILE);
    EXPECT_EQ(Description(), "Can not access file");

    QZ_HTTP_ClientSetHost(&c, "srv1");
    char host[8];
    EXPECT_STREQ(QZ_HTTP_ClientGetHost(&c, host, 3), "srv");
    EXPECT_STREQ(QZ_HTTP_ClientGetHost(&c, host, 0), "");
}

// Bodies, header texts and form values are built in small pieces: the
// shared append must grow its block geometrically, or a million one-byte
// appends cost thousands of reallocations (and quadratic copying).
TEST(HttpAppend, OneByteAppendsGrowGeometrically) {
    QZ_CStr s;
    QZ_CStr_Init(&s);
    qz_MemPool_FailAllocation(0);  // starts the count
    for (int i = 0; i < 1000000; ++i) qz::http::appendFast(&s, "x");
    const int64_t allocations = qz_MemPool_AllocationsCounted();
    EXPECT_EQ(s.length, 1000000u);
    EXPECT_EQ(std::string(s.data, 3), "xxx");
    EXPECT_EQ(s.data[s.length], '\0');
    EXPECT_LE(allocations, 40);
    QZ_CStr_Free(&s);

    // Pieces that end exactly on the capacity take the same route.
    QZ_CStr t;
    QZ_CStr_Init(&t);
    qz_MemPool_FailAllocation(0);
    for (int i = 0; i < 100000; ++i) qz::http::appendFast(&t, std::string(128, 'y'));
    EXPECT_EQ(t.length, 12800000u);
    EXPECT_LE(qz_MemPool_AllocationsCounted(), 40);
    QZ_CStr_Free(&t);
}

TEST_F(HttpClient, HeadReaders) {
    QZ_CStr_SetText(&c.request->responseHead, "HTTP/1.1 200 OK\r\nServer: x\r\nContent-Type: text/xml");
    char b[64];
    EXPECT_STREQ(QZ_HTTP_ClientGetHeader(&c, b, 63, "content-type"), "text/xml");
    EXPECT_STREQ(QZ_HTTP_ClientGetReasonLine(&c, b, 3), "OK");
    EXPECT_STREQ(QZ_HTTP_ClientGetReasonLine(&c, b, 1), "O");
    EXPECT_EQ(QZ_HTTP_ClientGetStatusCode(&c), 200);
    EXPECT_STREQ(QZ_HTTP_ClientGetHeader(&c, b, 63, "HTTP/1.1 200 OK"), "");

    QZ_CStr_SetText(&c.request->responseHead, "HTTP/1.0 404 Not Found\r\nName : v\r\nW: a\r\nw:  b c\r\nW:d");
    uint32_t length = 0;
    const char *reason = qz_HTTP_Request_Get_Status_Line(c.request, &length);
    EXPECT_EQ(std::string(reason, length), "Not Found");
    EXPECT_EQ(qz_HTTP_Request_Get_Header_Field(c.request, "Name", &length), nullptr);
    char all[16];
    qz_HTTP_Request_Get_Header_Values(c.request, "w", all, 15);
    EXPECT_STREQ(all, "a,b c,d");
    qz_HTTP_Request_Get_Header_Values(c.request, "w", all, 4);
    EXPECT_STREQ(all, "a,b ");

    // No reason phrase: nothing is taken from the header lines.
    QZ_CStr_SetText(&c.request->responseHead, "HTTP/1.0 200\r\nX: a b");
    EXPECT_STREQ(QZ_HTTP_ClientGetReasonLine(&c, b, 63), "");
}

TEST_F(HttpClient, RequestBytesAndAnswer) {
    ScriptServer s({kOk});
    Target(s);
    QZ_HTTP_ClientExecute(&c, "GET", "a/b.htm");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    EXPECT_EQ(QZ_HTTP_ClientGetStatusCode(&c), 200);
    EXPECT_STREQ(QZ_HTTP_ClientToString(&c), "0123456789");
    ASSERT_EQ(s.requests().size(), 1u);
    EXPECT_EQ(s.requests()[0],
              "GET /a/b.htm HTTP/1.0\r\nConnection: close\r\nHost: 127.0.0.1\r\nContent-length: 0\r\n\r\n");

    // Base URL, headers and a body; the content and headers are emptied.
    QZ_HTTP_ClientSetBaseURL(&c, "api/");
    QZ_HTTP_ClientAddHeader(&c, "X-A", "1");
    QZ_HTTP_ClientAddString(&c, "body");
    QZ_HTTP_ClientExecute(&c, "POST", "/x");
    EXPECT_EQ(s.requests()[1], "POST /api///x HTTP/1.0\r\nX-A: 1\r\nConnection: close\r\nHost: 127.0.0.1\r\n"
                               "Content-length: 4\r\n\r\nbody");
    EXPECT_EQ(c.request->content.length, 0u);
    EXPECT_EQ(c.request->headers.length, 0u);
}

TEST_F(HttpClient, ProxyForm) {
    ScriptServer proxy({kOk});
    QZ_HTTP_ClientSetHost(&c, "srv1");
    QZ_HTTP_ClientSetPort(&c, 0);
    QZ_HTTP_ClientSetProxyHost(&c, "127.0.0.1");
    QZ_HTTP_ClientSetProxyPort(&c, proxy.port());
    QZ_HTTP_ClientExecute(&c, "GET", "a/b.htm");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_EQ(proxy.requests()[0], "GET http://srv1:80/a/b.htm HTTP/1.0\r\nConnection: close\r\nHost: srv1\r\n"
                                   "Content-length: 0\r\n\r\n");
}

TEST_F(HttpClient, AnswersOfEveryKind) {
    {
        ScriptServer s({"<html>no head</html>"});
        Target(s);
        QZ_HTTP_ClientExecute(&c, "GET", "/");
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
        EXPECT_EQ(QZ_HTTP_ClientGetStatusCode(&c), 0);
        EXPECT_STREQ(QZ_HTTP_ClientToString(&c), "<html>no head</html>");
    }
    {
        ScriptServer s({"HTTP/1.0 200 OK\r\n\r\n"});
        Target(s);
        QZ_HTTP_ClientExecute(&c, "GET", "/");
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_RECEIVE);
    }
    {
        ScriptServer s({"HTTP/1.0 404 Not Found\r\n\r\nmissing"});
        Target(s);
        QZ_HTTP_ClientExecute(&c, "GET", "/");
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_RECEIVE);
        EXPECT_EQ(QZ_HTTP_ClientGetStatusCode(&c), 404);
        EXPECT_EQ(c.request->connected, 0);
    }
    {
        // A head without its blank line: all of it is the body.
        ScriptServer s({"HTTP/1.0 200 OK\r\nX: y\r\n"});
        Target(s);
        QZ_HTTP_ClientExecute(&c, "GET", "/");
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
        EXPECT_EQ(QZ_HTTP_ClientGetStatusCode(&c), 0);
        EXPECT_STREQ(QZ_HTTP_ClientToString(&c), "HTTP/1.0 200 OK\r\nX: y\r\n");
    }
    {
        // 302 without Location is the final answer.
        ScriptServer s({"HTTP/1.0 302 Found\r\n\r\nmoved"});
        Target(s);
        QZ_HTTP_ClientExecute(&c, "GET", "/");
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
        EXPECT_STREQ(QZ_HTTP_ClientToString(&c), "moved");
    }
}

TEST_F(HttpClient, Redirects) {
    ScriptServer second({kOk});
    const std::string to = "HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(second.port()) +
                           "/new?x=1\r\n\r\n";
    ScriptServer first({to});
    Target(first);
    QZ_HTTP_ClientAddString(&c, "k=v");
    QZ_HTTP_ClientExecute(&c, "POST", "/old");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    ASSERT_EQ(second.requests().size(), 1u);
    EXPECT_EQ(second.requests()[0],
              "GET /new?x=1 HTTP/1.0\r\nConnection: close\r\nHost: 127.0.0.1\r\nContent-length: 3\r\n\r\nk=v");

    // Six redirect answers in a row: six requests, then a receive error.
    ScriptServer loop({"HTTP/1.0 301 Moved\r\nLocation: /again\r\n\r\n"});
    Target(loop);
    QZ_HTTP_ClientExecute(&c, "GET", "/");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_RECEIVE);
    EXPECT_EQ(loop.requests().size(), 6u);
    EXPECT_EQ(loop.requests()[1].substr(0, 21), "GET /again HTTP/1.0\r\n");

    // A Location of 10,000 characters is cut, not overrun.
    ScriptServer huge({"HTTP/1.0 302 Found\r\nLocation: /" + std::string(10000, 'a') + "\r\n\r\n", kOk});
    Target(huge);
    QZ_HTTP_ClientExecute(&c, "GET", "/");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    ASSERT_EQ(huge.requests().size(), 2u);
    EXPECT_EQ(huge.requests()[1].find(" HTTP/1.0"), 4 + 2084u);
}

TEST_F(HttpClient, RedirectsToOtherSchemesAreRefused) {
    for (const char *to : {"ftp://127.0.0.1/x", "FILE:///etc/passwd", "gopher:x", "localhost:81/x", "http:/no-authority"}) {
        ScriptServer s({"HTTP/1.0 302 Found\r\nLocation: " + std::string(to) + "\r\n\r\nmoved"});
        Target(s);
        QZ_HTTP_ClientAddString(&c, "secret=1");
        QZ_HTTP_ClientExecute(&c, "POST", "/p");
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_RECEIVE) << to;
        EXPECT_EQ(QZ_HTTP_ClientGetStatusCode(&c), 302) << to;
        EXPECT_EQ(s.requests().size(), 1u) << to;
        EXPECT_EQ(c.request->connected, 0);
    }
}

TEST_F(HttpClient, HttpsRedirectNeverGoesOutInTheClear) {
    // The target speaks plain HTTP: a client that goes on in the clear sends
    // it the request line, the added header and the body; one that goes on
    // over TLS sends a handshake that this server cannot answer.
    ScriptServer clear({kOk}, 1);
    clear.AnswerAtOnce();
    const std::string to = "HTTP/1.0 302 Found\r\nLocation: https://127.0.0.1:" + std::to_string(clear.port()) +
                           "/next\r\n\r\n";
    ScriptServer first({to});
    Target(first);
    QZ_HTTP_ClientSetTimeout(&c, 20);
    QZ_HTTP_ClientAddHeader(&c, "X-Token", "t0k3n");
    QZ_HTTP_ClientAddString(&c, "secret=1");
    QZ_HTTP_ClientExecute(&c, "POST", "/p");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_CONNECTION);
    ASSERT_EQ(clear.requests().size(), 1u);
    const std::string sent = clear.requests()[0];
    EXPECT_EQ(sent.find("next"), std::string::npos);
    EXPECT_EQ(sent.find("t0k3n"), std::string::npos);
    EXPECT_EQ(sent.find("secret"), std::string::npos);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(static_cast<unsigned char>(sent[0]), 0x16u);  // a TLS handshake record
}

TEST_F(HttpClient, CredentialsStayWithTheirOrigin) {
    const std::string basic = "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r1\"\r\n\r\nno";
    QZ_HTTP_ClientAddAuthentication(&c, QZ_HTTP_ClientAuthenticationBasic(&c), "r1", "user", "pass");
    {
        // A redirect to another port: its challenge is not answered.
        ScriptServer other({basic, kOk});
        ScriptServer first({"HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(other.port()) +
                            "/x\r\n\r\n"});
        Target(first);
        QZ_HTTP_ClientExecute(&c, "GET", "/p");
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_AUTHENTICATION);
        EXPECT_EQ(QZ_HTTP_ClientGetStatusCode(&c), 401);
        ASSERT_EQ(other.requests().size(), 1u);
        EXPECT_EQ(other.requests()[0].find("Authorization"), std::string::npos);
    }
    {
        // Answered at the origin, then redirected away: the new host gets nothing.
        ScriptServer other({basic, kOk});
        ScriptServer first({basic, "HTTP/1.0 302 Found\r\nLocation: http://localhost:" +
                                       std::to_string(other.port()) + "/x\r\n\r\n"});
        Target(first);
        QZ_HTTP_ClientExecute(&c, "GET", "/p");
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_AUTHENTICATION);
        ASSERT_EQ(first.requests().size(), 2u);
        EXPECT_NE(first.requests()[1].find("Authorization: Basic dXNlcjpwYXNz\r\n"), std::string::npos);
        ASSERT_EQ(other.requests().size(), 1u);
        EXPECT_EQ(other.requests()[0].find("Authorization"), std::string::npos);
    }
    {
        // A redirect within the origin (absolute or relative) keeps them; a
        // host name differing in case only is the same host.
        ScriptServer same({basic, basic, kOk});
        same.SetReplies({"HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(same.port()) +
                             "/x\r\n\r\n",
                         basic, kOk});
        Target(same);
        QZ_HTTP_ClientExecute(&c, "GET", "/p");
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
        ASSERT_EQ(same.requests().size(), 3u);
        EXPECT_NE(same.requests()[2].find("Authorization: Basic dXNlcjpwYXNz\r\n"), std::string::npos);
    }
}

TEST_F(HttpClient, BasicChallengeAnsweredOnce) {
    const std::string challenge = "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r1\"\r\n\r\nno";
    ScriptServer s({challenge, kOk});
    Target(s);
    QZ_HTTP_ClientAddAuthentication(&c, QZ_HTTP_ClientAuthenticationBasic(&c), "r1", "user", "pass");
    QZ_HTTP_ClientAddHeader(&c, "X-A", "1");
    QZ_HTTP_ClientExecute(&c, "GET", "/p");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    ASSERT_EQ(s.requests().size(), 2u);
    EXPECT_EQ(s.requests()[1], "GET /p HTTP/1.0\r\nX-A: 1\r\nAuthorization: Basic dXNlcjpwYXNz\r\n"
                               "Connection: close\r\nHost: 127.0.0.1\r\nContent-length: 0\r\n\r\n");

    ScriptServer refuses({challenge});
    Target(refuses);
    QZ_HTTP_ClientExecute(&c, "GET", "/p");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_AUTHENTICATION);
    EXPECT_EQ(refuses.requests().size(), 2u);

    // A challenge with unquoted values and no matching credential.
    ScriptServer odd({"HTTP/1.0 401 No\r\nWWW-Authenticate: Digest realm=x, nonce=y, algorithm=MD5\r\n\r\n"});
    Target(odd);
    QZ_HTTP_ClientExecute(&c, "GET", "/p");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_AUTHENTICATION);
}

// The value of one parameter of the Authorization line sent.
std::string DigestField(const std::string &request, const char *name) {
    const size_t line = request.find("Digest ");
    if (line == std::string::npos) return {};
    const size_t end = request.find("\r\n", line);
    const std::string header = request.substr(line, end - line);
    char value[600] = {};
    QZ_HTTP_AuthParam(header.c_str(), header.size(), name, value, sizeof value - 1);
    return value;
}

TEST_F(HttpClient, DigestChallengeAnsweredOnce) {
    const std::string challenge =
        "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"r2\", nonce=\"n0nce\", qop=\"auth\"\r\n\r\n";
    ScriptServer s({challenge, kOk});
    Target(s);
    QZ_HTTP_ClientAddAuthentication(&c, QZ_HTTP_ClientAuthenticationDigest(&c), "r2", "user", "pass");
    QZ_HTTP_ClientExecute(&c, "GET", "d/x");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    ASSERT_EQ(s.requests().size(), 2u);
    const std::string again = s.requests()[1];
    EXPECT_EQ(again.substr(0, 22), "GET /d/x HTTP/1.0\r\nAut");
    EXPECT_EQ(DigestField(again, "username"), "user");
    EXPECT_EQ(DigestField(again, "realm"), "r2");
    // The uri must be the Request-URI of the request line, or servers refuse it.
    EXPECT_EQ(DigestField(again, "uri"), "/d/x");
    // The response digest is the one a server computes from what was sent.
    const std::string cnonce = DigestField(again, "cnonce");
    ASSERT_FALSE(cnonce.empty());
    const size_t nc = again.find("nc=");
    ASSERT_NE(nc, std::string::npos);
    const std::string count = again.substr(nc + 3, 8);
    char ha1[33];
    char expected[33];
    char entity[33];
    QZ_Digest_CalcEntityHash("", 0, entity);
    QZ_Digest_CalcHA1("MD5", "user", "r2", "pass", "n0nce", cnonce.c_str(), ha1);
    QZ_Digest_CalcResponse(ha1, "n0nce", count.c_str(), cnonce.c_str(), "auth", "GET", "/d/x", entity, expected);
    EXPECT_EQ(DigestField(again, "response"), expected);

    // The server refuses the answer: a second 401 ends the exchange.
    ScriptServer refuses({challenge});
    Target(refuses);
    QZ_HTTP_ClientExecute(&c, "GET", "d/x");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_AUTHENTICATION);
    EXPECT_EQ(refuses.requests().size(), 2u);
}

TEST_F(HttpClient, ChallengeCannotInjectHeaderLines) {
    // A bare LF inside the nonce and the opaque would otherwise end the
    // Authorization line and start a header line and a request of its own.
    const std::string challenge =
        "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"r2\", nonce=\"n\nX-Evil: 1\", "
        "opaque=\"o\n\nGET /second HTTP/1.0\", qop=\"auth\"\r\n\r\n";
    ScriptServer s({challenge, kOk});
    Target(s);
    QZ_HTTP_ClientAddAuthentication(&c, QZ_HTTP_ClientAuthenticationDigest(&c), "r2", "user", "pass");
    QZ_HTTP_ClientExecute(&c, "GET", "/d");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    ASSERT_EQ(s.requests().size(), 2u);
    const std::string again = s.requests()[1];
    EXPECT_EQ(again.find("\nX-Evil"), std::string::npos) << again;
    EXPECT_EQ(again.find("\nGET /second"), std::string::npos) << again;
    // Every line of the head ends in CR LF, and there are exactly five of them.
    const std::string head = again.substr(0, again.find("\r\n\r\n") + 2);
    size_t lines = 0;
    for (size_t i = 0; i < head.size(); ++i) {
        if (head[i] == '\n') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(head[i - 1], '\r');
            ++lines;
        }
    }
    EXPECT_EQ(lines, 5u) << again;
    EXPECT_EQ(DigestField(again, "nonce"), "nX-Evil: 1");
    EXPECT_EQ(DigestField(again, "opaque"), "oGET /second HTTP/1.0");
}

TEST_F(HttpClient, ReaderOnTheAnswerIgnoresExternalEntities) {
    ScriptServer s({"HTTP/1.0 200 OK\r\n\r\n<?xml version=\"1.0\"?><a>text</a>"});
    Target(s);
    QZ_HTTP_ClientExecute(&c, "GET", "/doc.xml");
    ASSERT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    QZ_XmlReader *reader = QZ_XMLReaderCreate();
    ASSERT_NE(reader, nullptr);
    QZ_XMLReaderSetExtEntEnabled(reader, 1);
    ASSERT_EQ(QZ_XMLReader_OpenHttpClient(reader, &c), 1);
    EXPECT_EQ(QZ_XMLReaderGetExtEntEnabled(reader), 0);
    ASSERT_NE(QZ_XMLReaderRead(reader), 0);
    EXPECT_STREQ(XMLReaderGetElementLocalName(reader), "a");
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader), 0);
    QZ_XMLReaderDestroy(reader);
}

TEST_F(HttpClient, TimeOutsAndBadPeers) {
    {
        ScriptServer silent({""}, 4);
        Target(silent);
        QZ_HTTP_ClientSetTimeout(&c, 1);
        const auto start = std::chrono::steady_clock::now();
        QZ_HTTP_ClientExecute(&c, "GET", "/");
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_RECEIVE);
        EXPECT_LT(took, std::chrono::milliseconds(2500));
    }
    {
        // Header lines without end are given up as a receive error.
        std::string endless = "HTTP/1.0 200 OK\r\n";
        while (endless.size() < 600 * 1024) endless += "X-Filler: 0123456789012345678901234567890123456789\r\n";
        ScriptServer s({endless});
        Target(s);
        QZ_HTTP_ClientExecute(&c, "GET", "/");
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_RECEIVE);
    }
    {
        ScriptServer closed({"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\ncut"});
        Target(closed);
        QZ_HTTP_ClientExecute(&c, "GET", "/");
        EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
        EXPECT_STREQ(QZ_HTTP_ClientToString(&c), "cut");
    }
    // Nobody listens: a connection error; a later success clears it.
    ScriptServer s({kOk});
    QZ_HTTP_ClientSetHost(&c, "127.0.0.1");
    QZ_HTTP_ClientSetPort(&c, 1);
    QZ_HTTP_ClientExecute(&c, "GET", "/");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_CONNECTION);
    Target(s);
    QZ_HTTP_ClientExecute(&c, "GET", "/");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
}

TEST_F(HttpClient, SecurePathGivesUpOnASilentServer) {
    // The TLS handshake never gets an answer: a connection error within the
    // time-out (libcurl is loaded on this first secure use).
    ScriptServer silent({""}, 4);
    Target(silent);
    QZ_HTTP_ClientSetSecure(&c, 1);
    QZ_HTTP_ClientSetTimeout(&c, 1);
    const auto start = std::chrono::steady_clock::now();
    QZ_HTTP_ClientExecute(&c, "GET", "/");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), QZHTTP_ERR_CONNECTION);
    EXPECT_EQ(QZ_HTTP_ClientGetStatusCode(&c), 0);
}

TEST_F(HttpClient, FileBodyAndStreamedVariables) {
    // A file larger than one read block goes out whole, as the body.
    const std::string name = ::testing::TempDir() + "qz_httpclient_body.txt";
    std::string text;
    for (int i = 0; i < 700; ++i) text += "line " + std::to_string(i) + "\n";
    ASSERT_GT(text.size(), 5120u);
    FILE *f = std::fopen(name.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
    ScriptServer s({kOk});
    Target(s);
    QZ_HTTP_ClientAddFile(&c, name.c_str());
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    QZ_HTTP_ClientExecute(&c, "POST", "/up");
    EXPECT_EQ(QZ_HTTP_ClientErrCode(&c), 0);
    ASSERT_EQ(s.requests().size(), 1u);
    const std::string sent = s.requests()[0];
    EXPECT_NE(sent.find("Content-length: " + std::to_string(text.size()) + "\r\n\r\n"), std::string::npos);
    EXPECT_EQ(sent.substr(sent.size() - text.size()), text);
    std::remove(name.c_str());

    // Form variables streamed on a connected record: encoded values, names as given.
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    QZ_HTTP_Request *r = QZ_HTTP_Request_Init();
    ASSERT_NE(r, nullptr);
    r->socket = pair[0];
    EXPECT_EQ(QZ_HTTP_Init_ArrParam(r, "a"), 0);  // not connected: refused
    r->connected = 1;
    EXPECT_EQ(QZ_HTTP_Init_ArrParam(r, "a"), 1);
    EXPECT_EQ(QZ_HTTP_Set_ArrParam(r, "x y&z"), 1);
    ::close(pair[0]);
    r->connected = 0;
    std::string streamed;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(pair[1], buffer, sizeof buffer)) > 0) streamed.append(buffer, static_cast<size_t>(n));
    ::close(pair[1]);
    EXPECT_EQ(streamed, "a=x+y%26z&");
    QZ_HTTP_Request_Free(r);
    QZ_free(nullptr, r);
}

TEST_F(HttpClient, OpenUrlAndBlockReads) {
    std::string body(5000, 'b');
    body[0] = 'a';
    ScriptServer s({"HTTP/1.0 200 OK\r\n\r\n" + body});
    QZ_HTTP_Request *r = QZ_HTTP_Request_Init();
    ASSERT_NE(r, nullptr);
    const std::string url = "http://127.0.0.1:" + std::to_string(s.port()) + "/doc.xml";
    ASSERT_EQ(QZ_HTTP_Request_Open_Url(r, "GET", url.c_str(), "", 0, nullptr), 0);
    std::string got;
    char buffer[1001];
    uint32_t count = 0;
    do {
        QZ_HTTP_Request_Read_Buf(r, buffer, 1000, &count);
        ASSERT_LE(count, 1000u);
        EXPECT_EQ(buffer[count], '\0');
        got.append(buffer, count);
    } while (count > 0);
    EXPECT_EQ(got, body);
    EXPECT_EQ(s.requests()[0].substr(0, 23), "GET /doc.xml HTTP/1.0\r\n");
    QZ_HTTP_Request_Close(r);
    QZ_HTTP_Request_Free(r);
    QZ_free(nullptr, r);
}

}  // namespace
