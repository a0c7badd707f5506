// Allocation failures inside an HTTP exchange with Digest authentication:
// every allocation of the exchange is made to fail in turn, and each run must
// end with the client's own outcome (an error code and its text, or success),
// never a crash, and with every block given back to the pool.

#include "qz/qzhttpclient.h"
#include "qz/qzpgmmem.h"
#include "runtime/qzpgmmem_testing.h"

#include <gtest/gtest.h>

#include "test_httpclient_server.h"

#include <string>

namespace {

using qz_test::ScriptServer;

const std::string kChallenge =
    "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"wr\", nonce=\"n0\", opaque=\"o\", "
    "qop=\"auth-int\"\r\nContent-Length: 2\r\n\r\nno";
const std::string kAnswer = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nX-Seen: 1\r\n\r\nanswered";

struct Outcome {
    int32_t error = -1;
    int32_t status = 0;
    std::string description;
    std::string body;
    std::string seen;    // the answer's X-Seen header
    std::string reason;  // the answer's reason phrase
    size_t requests = 0;
};

// One whole exchange, from Init to Deinit, against a fresh scripted server.
Outcome Exchange() {
    ScriptServer server({kChallenge, kAnswer}, 1);
    Outcome outcome;
    QZ_HTTP_Client client;
    QZ_HTTP_Client_Init(&client);
    QZ_HTTP_ClientSetHost(&client, "127.0.0.1");
    QZ_HTTP_ClientSetPort(&client, server.port());
    QZ_HTTP_ClientSetTimeout(&client, 2);
    QZ_HTTP_ClientAddAuthentication(&client, QZ_HTTP_ClientAuthenticationDigest(&client), "wr", "user", "pw");
    QZ_HTTP_ClientAddHeader(&client, "X-Request", "7");
    QZ_HTTP_ClientAddVariable(&client, "name", "a b&c");
    QZ_HTTP_ClientExecute(&client, "POST", "/form");
    outcome.error = QZ_HTTP_ClientErrCode(&client);
    outcome.status = QZ_HTTP_ClientGetStatusCode(&client);
    char text[64];
    outcome.description = QZ_HTTP_ClientDescription(&client, text, 63);
    char header[16];
    outcome.seen = QZ_HTTP_ClientGetHeader(&client, header, 15, "X-Seen");
    outcome.reason = QZ_HTTP_ClientGetReasonLine(&client, header, 15);
    outcome.body = QZ_HTTP_ClientToString(&client);
    QZ_HTTP_Client_Deinit(&client);
    outcome.requests = server.requests().size();
    return outcome;
}

TEST(HttpClientAllocationFailure, EveryAllocationOfADigestExchange) {
    QZ_MemPool *pool = QZ_GetDefaultPool();
    ASSERT_NE(pool, nullptr);

    const uint32_t before = pool->count;
    qz_MemPool_FailAllocation(0);  // counts without failing
    const Outcome clean = Exchange();
    const int64_t allocations = qz_MemPool_AllocationsCounted();
    ASSERT_EQ(clean.error, QZHTTP_ERR_OK);
    ASSERT_EQ(clean.status, 200);
    ASSERT_EQ(clean.body, "answered");
    ASSERT_EQ(clean.seen, "1");
    ASSERT_EQ(clean.reason, "OK");
    ASSERT_EQ(clean.requests, 2u);
    ASSERT_EQ(pool->count, before);
    ASSERT_GT(allocations, 10);

    const char *const texts[] = {"No error", "Connection error", "Error sending data", "Error receiving data",
                                 "Authentication error", "Can not access file"};
    for (int64_t nth = 1; nth <= allocations; ++nth) {
        qz_MemPool_FailAllocation(nth);
        const Outcome run = Exchange();
        qz_MemPool_FailAllocation(0);
        ASSERT_GE(run.error, 0) << "allocation " << nth;
        ASSERT_LE(run.error, QZHTTP_ERR_FILE) << "allocation " << nth;
        EXPECT_EQ(run.description, texts[run.error]) << "allocation " << nth;
        // Success is success: the whole answer, never a part of it.
        if (run.error == QZHTTP_ERR_OK) {
            EXPECT_EQ(run.body, "answered") << "allocation " << nth;
            EXPECT_EQ(run.seen, "1") << "allocation " << nth;
            EXPECT_EQ(run.reason, "OK") << "allocation " << nth;
        }
        EXPECT_EQ(pool->count, before) << "allocation " << nth << " leaves blocks in the pool";
    }
}

}  // namespace
