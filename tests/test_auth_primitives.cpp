// MD5 and Base64, checked against the vectors of their standards, and the
// Digest computations against the worked example of RFC 2617.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qz/qzcstr.h"
#include "qz/qzhttpauth.h"
#include "runtime/qzpgmmem_testing.h"

namespace {

std::string Md5Hex(const std::string &data, size_t pieceLength = 0) {
    QZ_MD5Context context;
    QZ_MD5Init(&context);
    if (pieceLength == 0) {
        QZ_MD5Update(&context, data.data(), data.size());
    } else {
        for (size_t i = 0; i < data.size(); i += pieceLength) {
            QZ_MD5Update(&context, data.data() + i, std::min(pieceLength, data.size() - i));
        }
    }
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

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5Hex("1234567890123456789012345678901234567890"
                     "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PiecesAndBlockBoundariesGiveTheSameDigest) {
    // Lengths around the 56-byte padding limit and the 64-byte block.
    for (size_t length : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        const std::string data(length, 'x');
        const std::string whole = Md5Hex(data);
        for (size_t piece : {1u, 3u, 63u, 64u}) {
            EXPECT_EQ(Md5Hex(data, piece), whole) << length << "/" << piece;
        }
    }
    EXPECT_EQ(Md5Hex(std::string(1000000, 'a'), 4096), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, FinalClearsTheContext) {
    QZ_MD5Context context;
    QZ_MD5Init(&context);
    QZ_MD5Update(&context, "secret", 6);
    unsigned char digest[16];
    QZ_MD5Final(digest, &context);
    const unsigned char *raw = reinterpret_cast<const unsigned char *>(&context);
    for (size_t i = 0; i < sizeof context; ++i) {
        ASSERT_EQ(raw[i], 0) << i;
    }
}

std::string Encode(const std::string &data) {
    QZ_CStr in, out;
    QZ_CStr_Init(&in);
    QZ_CStr_Init(&out);
    QZ_CStr_Set(&in, data.data(), static_cast<uint32_t>(data.size()));
    EXPECT_EQ(QZ_Base64Encode(&out, &in), &out);
    std::string result(out.data, out.length);
    QZ_CStr_Free(&in);
    QZ_CStr_Free(&out);
    return result;
}

std::string Decode(const char *text) {
    QZ_CStr out;
    QZ_CStr_Init(&out);
    QZ_CStr_SetText(&out, "leftover");
    EXPECT_EQ(QZ_Base64Decode(&out, text), &out);
    std::string result(out.data, out.length);
    QZ_CStr_Free(&out);
    return result;
}

TEST(Base64, Rfc4648Vectors) {
    const char *plain[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
    const char *coded[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(Encode(plain[i]), coded[i]) << plain[i];
        EXPECT_EQ(Decode(coded[i]), plain[i]) << coded[i];
    }
    EXPECT_EQ(Encode("a"), "YQ==");
    EXPECT_EQ(Encode("ab"), "YWI=");
    EXPECT_EQ(Encode("Aladdin:open sesame"), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST(Base64, BinaryAndLongInputHaveNoLineBreaks) {
    const std::string binary("\x00\xFF\xFE\x80\x7F", 5);
    EXPECT_EQ(Encode(binary), "AP/+gH8=");
    EXPECT_EQ(Decode("AP/+gH8="), binary);
    const std::string encoded = Encode(std::string(3000, 'z'));
    EXPECT_EQ(encoded.size(), 4000u);
    EXPECT_EQ(encoded.find('\n'), std::string::npos);
    EXPECT_EQ(Decode(encoded.c_str()), std::string(3000, 'z'));
}

TEST(Base64, LongDecodeGrowsItsOutputGeometrically) {
    const std::string encoded = Encode(std::string(3000000, 'q'));
    QZ_CStr out;
    QZ_CStr_Init(&out);
    qz_MemPool_FailAllocation(0);  // starts the count
    EXPECT_EQ(QZ_Base64Decode(&out, encoded.c_str()), &out);
    EXPECT_LE(qz_MemPool_AllocationsCounted(), 40);
    EXPECT_EQ(std::string(out.data, out.length), std::string(3000000, 'q'));
    QZ_CStr_Free(&out);
}

TEST(Base64, DecodeSkipsForeignCharactersAndKeepsIncompleteGroups) {
    EXPECT_EQ(Decode("Zm9v\r\nYmFy"), "foobar");
    EXPECT_EQ(Decode(" Z m 9 v "), "foo");
    EXPECT_EQ(Decode("Zm9v!!YmFy??"), "foobar");
    EXPECT_EQ(Decode("Zm9vYg"), "foob");   // no padding: the bytes the characters hold
    EXPECT_EQ(Decode("Zm9vYmE"), "fooba");
    EXPECT_EQ(Decode("Z"), "");            // one character holds no whole byte
    EXPECT_EQ(Decode("YQ==YWI="), "aab");
    EXPECT_EQ(Decode(nullptr), "");
}

TEST(Digest, Rfc2617WorkedExample) {
    char ha1[33];
    QZ_Digest_CalcHA1("md5", "Mufasa", "testrealm@host.com", "Circle Of Life",
                      "dcd98b7102dd2f0e8b11d0f600bfb0c093", "0a4f113b", ha1);
    EXPECT_STREQ(ha1, "939e7578ed9e3c518a452acee763bce9");
    char response[33];
    QZ_Digest_CalcResponse(ha1, "dcd98b7102dd2f0e8b11d0f600bfb0c093", "00000001", "0a4f113b",
                           "auth", "GET", "/dir/index.html", nullptr, response);
    EXPECT_STREQ(response, "6629fae49393a05397450978507c4ef1");
}

TEST(Digest, WithoutQopAndWithAuthInt) {
    char ha1[33];
    QZ_Digest_CalcHA1("MD5", "u", "r", "p", "n", "", ha1);
    EXPECT_EQ(ha1, Md5Hex("u:r:p"));

    char response[33];
    // No qop: RFC 2069 style, HA1:nonce:HA2.
    QZ_Digest_CalcResponse(ha1, "n", "00000001", "c", "", "GET", "/x", nullptr, response);
    EXPECT_EQ(response, Md5Hex(std::string(ha1) + ":n:" + Md5Hex("GET:/x")));

    // auth-int hashes the entity hash into HA2.
    char bodyHash[33];
    QZ_Digest_CalcEntityHash("a=1", 3, bodyHash);
    EXPECT_EQ(bodyHash, Md5Hex("a=1"));
    QZ_Digest_CalcResponse(ha1, "n", "00000001", "c", "auth-int", "POST", "/x", bodyHash, response);
    EXPECT_EQ(response, Md5Hex(std::string(ha1) + ":n:00000001:c:auth-int:" +
                               Md5Hex("POST:/x:" + Md5Hex("a=1"))));

    // Without an entity hash, the empty body's hash stands for it.
    QZ_Digest_CalcResponse(ha1, "n", "00000001", "c", "auth-int", "GET", "/x", nullptr, response);
    EXPECT_EQ(response, Md5Hex(std::string(ha1) + ":n:00000001:c:auth-int:" +
                               Md5Hex("GET:/x:d41d8cd98f00b204e9800998ecf8427e")));

    // An entity hash is always its 32 bytes, whatever they hold: 32 zero
    // bytes are not an empty hash.
    const char zeros[32] = {};
    QZ_Digest_CalcResponse(ha1, "n", "00000001", "c", "auth-int", "POST", "/x", zeros, response);
    EXPECT_EQ(response, Md5Hex(std::string(ha1) + ":n:00000001:c:auth-int:" +
                               Md5Hex("POST:/x:" + std::string(32, '\0'))));
    char cut[33] = "0123456789abcdef";  // a zero in the middle, then more bytes
    std::memcpy(cut + 17, "0123456789abcde", 15);
    QZ_Digest_CalcResponse(ha1, "n", "00000001", "c", "auth-int", "POST", "/x", cut, response);
    EXPECT_EQ(response, Md5Hex(std::string(ha1) + ":n:00000001:c:auth-int:" +
                               Md5Hex("POST:/x:" + std::string(cut, 32))));

    // md5-sess folds both nonces into HA1.
    char session[33];
    QZ_Digest_CalcHA1("MD5-sess", "u", "r", "p", "n", "c", session);
    EXPECT_EQ(session, Md5Hex(Md5Hex("u:r:p") + ":n:c"));
}

}  // namespace
