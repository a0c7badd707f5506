// Reading WWW-Authenticate challenges: where each challenge begins, parameter
// values and scheme tokens, including the malformed texts servers send.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qz/qzhttpauth.h"

namespace {

std::vector<std::string> Challenges(const char *text) {
    std::vector<std::string> starts;
    for (const char *c = text; c != nullptr; c = QZ_HTTP_AuthNextChallenge(c)) {
        starts.emplace_back(c);
        if (starts.size() > 100) {
            break;
        }
    }
    return starts;
}

std::string Param(const char *challenge, const char *name, size_t maximum = 200) {
    char out[256];
    std::memset(out, 'Z', sizeof out);
    return QZ_HTTP_AuthParam(challenge, std::strlen(challenge), name, out, maximum);
}

TEST(AuthChallenge, SplitsQuotedChallenges) {
    const auto list = Challenges("Basic realm=\"r\", Digest realm=\"r\", nonce=\"n\", qop=\"auth\"");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], "Digest realm=\"r\", nonce=\"n\", qop=\"auth\"");
}

TEST(AuthChallenge, SchemeWithoutParameters) {
    const auto list = Challenges("Negotiate,  Basic realm=\"x\"");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], "Basic realm=\"x\"");
    EXPECT_EQ(Challenges("Negotiate,   ").size(), 1u);
}

TEST(AuthChallenge, CommasAndBlanksInsideQuotesDoNotSplit) {
    const auto list =
        Challenges("Digest realm=\"a, b\", nonce=\"x y, Basic z\",   Basic realm=\"c\"");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], "Basic realm=\"c\"");
    // Blanks around "=" are allowed.
    EXPECT_EQ(Challenges("Digest realm = \"a\", Basic realm=\"b\"").size(), 2u);
}

TEST(AuthChallenge, UnquotedValueReadsOnToTheNextQuote) {
    // The Basic challenge after the unquoted stale=false is swallowed.
    const auto list = Challenges("Digest realm=\"r\", stale=false, Basic realm=\"b\"");
    EXPECT_EQ(list.size(), 1u);
    // With the unquoted value last, the next challenge is still found.
    const auto later = Challenges("Digest realm=\"r\", nonce=\"n\", Basic realm=\"b\", algorithm=MD5");
    ASSERT_EQ(later.size(), 2u);
    EXPECT_EQ(later[1], "Basic realm=\"b\", algorithm=MD5");
}

TEST(AuthChallenge, TokenAfterTheSchemeAlwaysMakesProgress) {
    // A token68 value ("Negotiate abc") followed by another scheme.
    const auto list = Challenges("Negotiate abc, Basic realm=\"x\"");
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(list.back(), "Basic realm=\"x\"");
    // Leading blanks, lone words, and texts without any structure end.
    EXPECT_LE(Challenges(" Basic realm=\"x\"").size(), 3u);
    EXPECT_LE(Challenges("a b c d e f").size(), 6u);
    EXPECT_EQ(Challenges("").size(), 1u);
    EXPECT_EQ(QZ_HTTP_AuthNextChallenge(nullptr), nullptr);
}

TEST(AuthChallenge, UnterminatedQuoteEndsTheWalk) {
    EXPECT_EQ(Challenges("Digest realm=\"open, Basic realm=\"x\"").size(), 1u);
    EXPECT_EQ(Challenges("Digest realm=\"").size(), 1u);
}

TEST(AuthParam, FindsQuotedValuesByNameWithoutCase) {
    const char *c = "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                    "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";
    EXPECT_EQ(Param(c, "realm"), "testrealm@host.com");
    EXPECT_EQ(Param(c, "REALM"), "testrealm@host.com");
    EXPECT_EQ(Param(c, "qop"), "auth,auth-int");
    EXPECT_EQ(Param(c, "nonce"), "dcd98b7102dd2f0e8b11d0f600bfb0c093");
    EXPECT_EQ(Param(c, "opaque"), "5ccc069c403ebaf9f0171e9517f40e41");
    EXPECT_EQ(Param(c, "stale"), "");
    EXPECT_EQ(Param(c, "non"), "");   // a name must match whole
    EXPECT_EQ(Param(c, "nonces"), "");
}

TEST(AuthParam, SkipsParametersUpToACommaOutsideQuotes) {
    EXPECT_EQ(Param("Digest a=\"x, realm=no\", realm=\"yes\"", "realm"), "yes");
    EXPECT_EQ(Param("Digest realm =  \"spaced\"", "realm"), "spaced");
    // An unquoted value reads on to the next double quote.
    EXPECT_EQ(Param("Digest algorithm=MD5, realm=\"r\"", "algorithm"), "r");
    EXPECT_EQ(Param("Digest algorithm=MD5, realm=\"r\"", "realm"), "r");
    EXPECT_EQ(Param("Digest algorithm=MD5", "algorithm"), "");
}

TEST(AuthParam, ReadsOnlyTheGivenLength) {
    const char *c = "Basic realm=\"a\", Digest realm=\"b\", nonce=\"n\"";
    char out[64];
    EXPECT_STREQ(QZ_HTTP_AuthParam(c, 15, "realm", out, 63), "a");
    EXPECT_STREQ(QZ_HTTP_AuthParam(c + 17, std::strlen(c + 17), "realm", out, 63), "b");
    EXPECT_STREQ(QZ_HTTP_AuthParam(c, 17, "nonce", out, 63), "");
    // A value cut by the length runs to the end of what may be read.
    EXPECT_STREQ(QZ_HTTP_AuthParam(c, 14, "realm", out, 63), "a");
    EXPECT_STREQ(QZ_HTTP_AuthParam(c, 13, "realm", out, 63), "");
    // A length beyond the text stops at its end.
    EXPECT_STREQ(QZ_HTTP_AuthParam("Basic realm=\"q\"", 100000, "realm", out, 63), "q");
}

TEST(AuthParam, NeverWritesPastTheMaximum) {
    const std::string value(5000, 'v');
    const std::string c = "Digest nonce=\"" + value + "\"";
    char out[16];
    std::memset(out, 'Z', sizeof out);
    EXPECT_EQ(QZ_HTTP_AuthParam(c.c_str(), c.size(), "nonce", out, 10), out);
    EXPECT_EQ(std::string(out), std::string(10, 'v'));
    EXPECT_EQ(out[11], 'Z');
    EXPECT_STREQ(QZ_HTTP_AuthParam(c.c_str(), c.size(), "nonce", out, 0), "");
}

TEST(AuthToken, CopiesTheLeadingToken) {
    char out[8];
    EXPECT_STREQ(QZ_HTTP_AuthToken("Digest realm=\"x\"", out, 7), "Digest");
    EXPECT_STREQ(QZ_HTTP_AuthToken("Negotiate,Basic", out, 7), "Negotia");
    EXPECT_STREQ(QZ_HTTP_AuthToken("Basic,", out, 7), "Basic");
    EXPECT_STREQ(QZ_HTTP_AuthToken(" Basic", out, 7), "");
    EXPECT_STREQ(QZ_HTTP_AuthToken(nullptr, out, 7), "");
}

}  // namespace
