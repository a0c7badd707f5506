// Credentials lists and the Authorization texts for 401 challenges.

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "qz/qzhttpauth.h"
#include "qz/qzpgmmem.h"

namespace {

std::string Md5Hex(const std::string &data) {
    QZ_MD5Context context;
    QZ_MD5Init(&context);
    QZ_MD5Update(&context, data.data(), data.size());
    unsigned char digest[16];
    QZ_MD5Final(digest, &context);
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : digest) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

class Credentials : public ::testing::Test {
protected:
    void SetUp() override { QZ_HTTP_AuthList_Init(&list_); }
    void TearDown() override { QZ_HTTP_AuthList_Free(&list_); }

    // Runs the authorization with a cleared output; returns the text, "" when none.
    std::string Authorize(const char *challenges, const char *uri = "/x", const char *method = "GET",
                          size_t maximum = 2047, QZ_Flag *result = nullptr) {
        std::string out(maximum + 1, 'Z');
        out[0] = '\0';
        const QZ_Flag r = QZ_HTTP_Authorization(&list_, challenges, uri, method, out.data(), maximum);
        if (result != nullptr) {
            *result = r;
        }
        return std::string(out.c_str());
    }

    QZ_List list_;
};

TEST_F(Credentials, ListFindsTheFirstExactMatch) {
    ASSERT_NE(QZ_HTTP_AuthList_Add(&list_, "basic", "r1", "u1", "p1"), nullptr);
    QZ_HTTP_AuthList_Add(&list_, "basic", "r1", "u2", "p2");
    QZ_HTTP_AuthList_AddByCode(&list_, QZ_HTTP_AUTH_SCHEME_DIGEST, "r1", "du", "dp");
    QZ_HTTP_AuthList_AddByCode(&list_, 7, "r1", "no", "no");
    EXPECT_EQ(list_.count, 3u);

    const char *user = "x";
    const char *password = "x";
    ASSERT_EQ(QZ_HTTP_AuthList_Find(&list_, "basic", "r1", &user, &password), 1);
    EXPECT_STREQ(user, "u1");
    EXPECT_STREQ(password, "p1");
    ASSERT_EQ(QZ_HTTP_AuthList_Find(&list_, "digest", "r1", &user, &password), 1);
    EXPECT_STREQ(user, "du");
    EXPECT_EQ(QZ_HTTP_AuthList_Find(&list_, "basic", "R1", &user, &password), 0);
    EXPECT_EQ(user, nullptr);
    EXPECT_EQ(password, nullptr);
    EXPECT_EQ(QZ_HTTP_AuthList_Find(&list_, "Basic", "r1", &user, &password), 0);
}

TEST_F(Credentials, CopyReplacesTheDestinationAndFreesEverything) {
    QZ_HTTP_AuthList_Add(&list_, "basic", "r", "u", "p");
    QZ_HTTP_AuthList_Add(&list_, "digest", "s", "v", "q");
    QZ_List copy;
    QZ_HTTP_AuthList_Init(&copy);
    QZ_HTTP_AuthList_Add(&copy, "basic", "old", "o", "o");
    const uint32_t blocksBefore = QZ_GetDefaultPool()->count;
    QZ_HTTP_AuthList_Copy(&copy, &list_);
    EXPECT_EQ(copy.count, 2u);
    const char *user = nullptr;
    EXPECT_EQ(QZ_HTTP_AuthList_Find(&copy, "basic", "old", &user, nullptr), 0);
    EXPECT_EQ(QZ_HTTP_AuthList_Find(&copy, "digest", "s", &user, nullptr), 1);
    EXPECT_STREQ(user, "v");
    QZ_HTTP_AuthList_Copy(&copy, &copy);  // onto itself: nothing happens
    EXPECT_EQ(copy.count, 2u);
    QZ_HTTP_AuthList_Free(&copy);
    EXPECT_EQ(copy.count, 0u);
    EXPECT_LT(QZ_GetDefaultPool()->count, blocksBefore);
}

TEST_F(Credentials, BasicText) {
    QZ_HTTP_AuthList_Add(&list_, "basic", "r1", "Aladdin", "open sesame");
    QZ_Flag result = 0;
    EXPECT_EQ(Authorize("Basic realm=\"r1\"", "/x", "GET", 2047, &result),
              "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(Authorize("BASIC realm=\"r1\""), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(Authorize("Basic realm=\"R1\"", "/x", "GET", 2047, &result), "");
    EXPECT_EQ(result, 0);
    // The text must fit the maximum: 34 characters.
    EXPECT_EQ(Authorize("Basic realm=\"r1\"", "/x", "GET", 34), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ(Authorize("Basic realm=\"r1\"", "/x", "GET", 33, &result), "");
    EXPECT_EQ(result, 0);
}

TEST_F(Credentials, DigestIsPreferredWhenItComesLater) {
    const char *both = "Basic realm=\"r\", Digest realm=\"r\", nonce=\"n\", qop=\"auth\"";
    QZ_HTTP_AuthList_Add(&list_, "basic", "r", "u", "p");
    EXPECT_EQ(Authorize(both), "Basic dTpw");
    QZ_HTTP_AuthList_Add(&list_, "digest", "r", "u", "p");
    EXPECT_EQ(Authorize(both).rfind("Digest username=\"u\",", 0), 0u);
    // A later matching Basic challenge replaces an earlier Basic text.
    QZ_HTTP_AuthList_Add(&list_, "basic", "s", "v", "q");
    EXPECT_EQ(Authorize("Basic realm=\"r\", Basic realm=\"s\""), "Basic djpx");
}

TEST_F(Credentials, DigestTextCharacterForCharacter) {
    QZ_HTTP_AuthList_Add(&list_, "digest", "r", "u", "p");
    const std::string text = Authorize("Digest realm=\"r\", nonce=\"n\", qop=\"auth\"");
    const std::regex shape(
        "Digest username=\"u\",realm=\"r\",nonce=\"n\",uri=\"/x\",qop=\"auth\",nc=00000001,"
        "cnonce=\"([0-9a-f]{8}l)\",response=\"([0-9a-f]{32})\"");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, shape)) << text;
    const std::string ha1 = Md5Hex("u:r:p");
    const std::string ha2 = Md5Hex("GET:/x");
    EXPECT_EQ(m[2].str(), Md5Hex(ha1 + ":n:00000001:" + m[1].str() + ":auth:" + ha2));

    // Every answer has its own client nonce.
    std::smatch second;
    const std::string again = Authorize("Digest realm=\"r\", nonce=\"n\", qop=\"auth\"");
    ASSERT_TRUE(std::regex_match(again, second, shape));
    EXPECT_NE(second[1].str(), m[1].str());
}

TEST_F(Credentials, DigestOpaqueStandsBeforeTheResponse) {
    QZ_HTTP_AuthList_Add(&list_, "digest", "r", "u", "p");
    const std::string text =
        Authorize("Digest realm=\"r\", nonce=\"n\", opaque=\"op\", qop=\"auth\"", "/y", "POST");
    const std::regex shape(
        "Digest username=\"u\",realm=\"r\",nonce=\"n\",uri=\"/y\",qop=\"auth\",nc=00000001,"
        "cnonce=\"([0-9a-f]{8}l)\",opaque=\"op\",response=\"([0-9a-f]{32})\"");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, shape)) << text;
    EXPECT_EQ(m[2].str(), Md5Hex(Md5Hex("u:r:p") + ":n:00000001:" + m[1].str() + ":auth:" +
                                 Md5Hex("POST:/y")));
}

TEST_F(Credentials, DigestChallengeWithAnUnquotedAlgorithmBeforeTheNonce) {
    // The shape of lighttpd's challenge: algorithm=MD5 unquoted, nonce after it.
    QZ_HTTP_AuthList_Add(&list_, "digest", "r", "u", "p");
    const std::string text = Authorize(
        "Digest realm=\"r\", charset=\"UTF-8\", algorithm=MD5, nonce=\"6b18:39aa\", qop=\"auth\"");
    EXPECT_EQ(text.rfind("Digest username=\"u\",realm=\"r\",nonce=\"6b18:39aa\",uri=\"/x\",qop=\"auth\",", 0),
              0u)
        << text;
}

TEST_F(Credentials, DigestWithoutQopSendsAuthButNoClientNonce) {
    QZ_HTTP_AuthList_Add(&list_, "digest", "r", "u", "p");
    const std::string text = Authorize("Digest realm=\"r\", nonce=\"n\"");
    const std::string response =
        Md5Hex(Md5Hex("u:r:p") + ":n:00000001::auth:" + Md5Hex("GET:/x"));
    EXPECT_EQ(text, "Digest username=\"u\",realm=\"r\",nonce=\"n\",uri=\"/x\",qop=\"auth\","
                    "nc=00000001,response=\"" + response + "\"");
}

TEST_F(Credentials, DigestQopChoice) {
    QZ_HTTP_AuthList_Add(&list_, "digest", "r", "u", "p");
    EXPECT_NE(Authorize("Digest realm=\"r\", nonce=\"n\", qop=\"auth-int\"").find(",qop=\"auth-int\","),
              std::string::npos);
    EXPECT_NE(Authorize("Digest realm=\"r\", nonce=\"n\", qop=\"auth-int, auth\"").find(",qop=\"auth\","),
              std::string::npos);
    EXPECT_NE(Authorize("Digest realm=\"r\", nonce=\"n\", qop=\" auth ,auth-int\"").find(",qop=\"auth\","),
              std::string::npos);
    QZ_Flag result = 0;
    EXPECT_EQ(Authorize("Digest realm=\"r\", nonce=\"n\", qop=\"auth-conf\"", "/x", "GET", 2047, &result), "");
    EXPECT_EQ(result, 1);  // the credential matched, but nothing usable was offered
    // The list is read up to 127 characters: an "auth" past them is not seen.
    std::string padding;
    while (padding.size() < 130) padding += "auth-conf, ";
    const std::string late = "Digest realm=\"r\", nonce=\"n\", qop=\"" + padding + "auth\"";
    EXPECT_EQ(Authorize(late.c_str(), "/x", "GET", 2047, &result), "");
    const std::string early = "Digest realm=\"r\", nonce=\"n\", qop=\"auth-int, " + padding + "\"";
    EXPECT_NE(Authorize(early.c_str()).find(",qop=\"auth-int\","), std::string::npos);
    // A dropped challenge lets a later one answer.
    QZ_HTTP_AuthList_Add(&list_, "basic", "r", "u", "p");
    EXPECT_EQ(Authorize("Digest realm=\"r\", nonce=\"n\", qop=\"auth-conf\", Basic realm=\"r\""),
              "Basic dTpw");
}

TEST_F(Credentials, AuthIntHashesTheRequestBody) {
    QZ_HTTP_AuthList_Add(&list_, "digest", "r", "u", "p");
    const char *challenge = "Digest realm=\"r\", nonce=\"n\", qop=\"auth-int\"";
    const std::string body = "a=1&b=2";
    char out[2048] = "";
    ASSERT_EQ(QZ_HTTP_AuthorizationBody(&list_, challenge, "/form", "POST", body.data(), body.size(),
                                        out, 2047),
              1);
    const std::regex shape(".*cnonce=\"([0-9a-f]{8}l)\",response=\"([0-9a-f]{32})\"");
    std::cmatch m;
    ASSERT_TRUE(std::regex_match(out, m, shape)) << out;
    const std::string ha2 = Md5Hex("POST:/form:" + Md5Hex(body));
    EXPECT_EQ(m[2].str(), Md5Hex(Md5Hex("u:r:p") + ":n:00000001:" + m[1].str() + ":auth-int:" + ha2));

    // Without a body the entity is the empty body.
    const std::string plain = Authorize(challenge, "/form", "GET");
    ASSERT_TRUE(std::regex_match(plain.c_str(), m, shape)) << plain;
    EXPECT_EQ(m[2].str(), Md5Hex(Md5Hex("u:r:p") + ":n:00000001:" + m[1].str() + ":auth-int:" +
                                 Md5Hex("GET:/form:" + Md5Hex(""))));
}

// A hostile server's nonce, opaque or realm with line breaks must not put
// header lines (or a second request) into the next request.
TEST_F(Credentials, LineBreaksInChallengeValuesNeverReachTheText) {
    QZ_HTTP_AuthList_Add(&list_, "digest", "rX: 1", "u", "p");
    const std::string text = Authorize(
        "Digest realm=\"r\r\nX: 1\", nonce=\"n1\nGET /evil HTTP/1.0\r\n\", opaque=\"o\rp\", qop=\"auth\"");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
    const std::regex shape(
        "Digest username=\"u\",realm=\"rX: 1\",nonce=\"n1GET /evil HTTP/1.0\",uri=\"/x\",qop=\"auth\","
        "nc=00000001,cnonce=\"([0-9a-f]{8}l)\",opaque=\"op\",response=\"([0-9a-f]{32})\"");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, shape)) << text;
    // The digest covers the values as they are sent.
    EXPECT_EQ(m[2].str(), Md5Hex(Md5Hex("u:rX: 1:p") + ":n1GET /evil HTTP/1.0:00000001:" + m[1].str() +
                                 ":auth:" + Md5Hex("GET:/x")));
}

TEST_F(Credentials, TooLongDigestTextIsDropped) {
    QZ_HTTP_AuthList_Add(&list_, "digest", "r", "u", "p");
    const std::string full = Authorize("Digest realm=\"r\", nonce=\"n\"");
    ASSERT_FALSE(full.empty());
    EXPECT_EQ(Authorize("Digest realm=\"r\", nonce=\"n\"", "/x", "GET", full.size()), full);
    QZ_Flag result = 0;
    EXPECT_EQ(Authorize("Digest realm=\"r\", nonce=\"n\"", "/x", "GET", full.size() - 1, &result), "");
    EXPECT_EQ(result, 1);
}

TEST_F(Credentials, HugeAndMalformedChallengesStayInsideTheLimits) {
    QZ_HTTP_AuthList_Add(&list_, "digest", std::string(1024, 'R').c_str(), "u", "p");
    // Realm, nonce and opaque longer than their limits are cut, never overrun.
    const std::string realm = "Digest realm=\"" + std::string(5000, 'R') + "\", ";
    const std::string challenge = realm + "nonce=\"" + std::string(5000, 'N') + "\", opaque=\"" +
                                  std::string(5000, 'O') + "\", qop=\"auth\"";
    const std::string text = Authorize(challenge.c_str(), "/x", "GET", 4000);
    EXPECT_NE(text.find(",nonce=\"" + std::string(512, 'N') + "\","), std::string::npos) << text;
    EXPECT_NE(text.find(",opaque=\"" + std::string(512, 'O') + "\","), std::string::npos);
    // A qop list is cut at 127 characters: here "auth" is never seen.
    const std::string longQop = realm + "nonce=\"n\", qop=\"" + std::string(500, 'a') + ",auth\"";
    EXPECT_EQ(Authorize(longQop.c_str(), "/x", "GET", 4000), "");

    EXPECT_EQ(Authorize(""), "");
    EXPECT_EQ(Authorize(",,,,"), "");
    EXPECT_EQ(Authorize("Digest"), "");
    EXPECT_EQ(Authorize("Digest realm=\"unterminated"), "");
    EXPECT_EQ(QZ_HTTP_Authorization(&list_, nullptr, "/", "GET", nullptr, 10), 0);
}

}  // namespace
