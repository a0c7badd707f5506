// Digest computations (RFC 2617, MD5) and the Authorization text for the
// challenges of a 401 answer.

#include "qz/qzhttpauth.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

#include "runtime/qztext_internal.h"

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr const char *kNonceCount = "00000001";

void ToHex(const unsigned char digest[16], char *output) {
    for (int i = 0; i < 16; ++i) {
        output[i * 2] = kHex[digest[i] >> 4];
        output[i * 2 + 1] = kHex[digest[i] & 0x0F];
    }
    output[32] = '\0';
}

bool EqualsNoCase(const char *a, const char *b) {
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(*a);
        unsigned char cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z') {
            ca = static_cast<unsigned char>(ca - 'A' + 'a');
        }
        if (cb >= 'A' && cb <= 'Z') {
            cb = static_cast<unsigned char>(cb - 'A' + 'a');
        }
        if (ca != cb) {
            return false;
        }
        if (ca == 0) {
            return true;
        }
    }
}

void Update(QZ_MD5Context *context, const char *text) {
    if (text != nullptr) {
        QZ_MD5Update(context, text, std::strlen(text));
    }
}

void UpdateColon(QZ_MD5Context *context) { QZ_MD5Update(context, ":", 1); }

// A client nonce that a server cannot predict: from the system's random
// source, falling back to /dev/urandom and, only when both fail, the clock.
uint32_t RandomNumber() {
    uint32_t value = 0;
    ssize_t got = -1;
    do {
        got = getrandom(&value, sizeof value, 0);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof value)) {
        return value;
    }
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const ssize_t n = read(fd, &value, sizeof value);
        close(fd);
        if (n == static_cast<ssize_t>(sizeof value)) {
            return value;
        }
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint32_t>(now.tv_sec) ^ static_cast<uint32_t>(now.tv_nsec) ^
           (static_cast<uint32_t>(getpid()) << 16);
}

// Growing text from the pool; allocation failures leave it shorter, and the
// length test of the caller then decides.
class PoolText {
public:
    PoolText() { QZ_CStr_Init(&text_); }
    ~PoolText() { QZ_CStr_Free(&text_); }
    PoolText(const PoolText &) = delete;
    PoolText &operator=(const PoolText &) = delete;

    void Add(const char *text) { QZ_CStr_AppendText(&text_, text != nullptr ? text : ""); }
    void AddQuoted(const char *name, const char *value) {
        Add(name);
        Add("=\"");
        Add(value);
        Add("\"");
    }
    size_t Length() const { return text_.length; }
    const char *Data() const { return text_.data; }
    QZ_CStr *Raw() { return &text_; }

private:
    QZ_CStr text_;
};

// The qop to answer with: "auth" at once, "auth-int" unless a later "auth"
// follows; nullptr when the list offers neither.
const char *ChooseQop(const char *list) {
    const char *chosen = nullptr;
    const char *p = list;
    while (*p != '\0') {
        while (*p == ' ' || *p == '\t') {
            ++p;
        }
        const char *start = p;
        while (*p != '\0' && *p != ',') {
            ++p;
        }
        const char *end = p;
        while (end > start && (end[-1] == ' ' || end[-1] == '\t')) {
            --end;
        }
        const size_t length = static_cast<size_t>(end - start);
        if (length == 4 && std::strncmp(start, "auth", 4) == 0) {
            return "auth";
        }
        if (length == 8 && std::strncmp(start, "auth-int", 8) == 0) {
            chosen = "auth-int";
        }
        if (*p == ',') {
            ++p;
        }
    }
    return chosen;
}

// Drops carriage returns and line feeds from a value taken from a challenge:
// it is copied into the next request, where a line break would end the
// Authorization line and let the server write header lines of its own.
void DropLineBreaks(char *value) {
    char *out = value;
    for (const char *in = value; *in != '\0'; ++in) {
        if (*in != '\r' && *in != '\n') {
            *out++ = *in;
        }
    }
    *out = '\0';
}

size_t ChallengeLength(const char *challenge, const char *next) {
    size_t length = next != nullptr ? static_cast<size_t>(next - challenge) : std::strlen(challenge);
    while (length > 0 && (challenge[length - 1] == ',' || challenge[length - 1] == ' ')) {
        --length;
    }
    return length;
}

}  // namespace

extern "C" {

void QZ_Digest_CalcHA1(const char *algorithm, const char *user, const char *realm,
                       const char *password, const char *nonce, const char *cnonce,
                       char *output) {
    QZ_MD5Context context;
    unsigned char digest[16];
    QZ_MD5Init(&context);
    Update(&context, user);
    UpdateColon(&context);
    Update(&context, realm);
    UpdateColon(&context);
    Update(&context, password);
    QZ_MD5Final(digest, &context);
    ToHex(digest, output);
    if (algorithm != nullptr && EqualsNoCase(algorithm, "md5-sess")) {
        // The session variant hashes the hexadecimal HA1 with both nonces.
        QZ_MD5Init(&context);
        QZ_MD5Update(&context, output, 32);
        UpdateColon(&context);
        Update(&context, nonce);
        UpdateColon(&context);
        Update(&context, cnonce);
        QZ_MD5Final(digest, &context);
        ToHex(digest, output);
    }
}

void QZ_Digest_CalcResponse(const char *ha1, const char *nonce, const char *nonceCount,
                            const char *cnonce, const char *qop, const char *method,
                            const char *uri, const char *entityHash, char *output) {
    QZ_MD5Context context;
    unsigned char digest[16];
    char ha2[33];

    QZ_MD5Init(&context);
    Update(&context, method);
    UpdateColon(&context);
    Update(&context, uri);
    if (qop != nullptr && EqualsNoCase(qop, "auth-int")) {
        char emptyBodyHash[33];
        if (entityHash == nullptr) {
            QZ_Digest_CalcEntityHash("", 0, emptyBodyHash);
            entityHash = emptyBodyHash;
        }
        UpdateColon(&context);
        // Always its 32 bytes: a hash holding zero bytes is not cut short.
        QZ_MD5Update(&context, entityHash, 32);
    }
    QZ_MD5Final(digest, &context);
    ToHex(digest, ha2);

    QZ_MD5Init(&context);
    QZ_MD5Update(&context, ha1, strnlen(ha1, 32));
    UpdateColon(&context);
    Update(&context, nonce);
    UpdateColon(&context);
    if (qop != nullptr && qop[0] != '\0') {
        Update(&context, nonceCount);
        UpdateColon(&context);
        Update(&context, cnonce);
        UpdateColon(&context);
        Update(&context, qop);
        UpdateColon(&context);
    }
    QZ_MD5Update(&context, ha2, 32);
    QZ_MD5Final(digest, &context);
    ToHex(digest, output);
}

void QZ_Digest_CalcEntityHash(const void *body, size_t length, char *output) {
    QZ_MD5Context context;
    unsigned char digest[16];
    QZ_MD5Init(&context);
    if (body != nullptr) {
        QZ_MD5Update(&context, body, length);
    }
    QZ_MD5Final(digest, &context);
    ToHex(digest, output);
}

QZ_Flag QZ_HTTP_AuthorizationBody(QZ_List *list, const char *challenges, const char *uri,
                                  const char *method, const void *body, size_t bodyLength,
                                  char *output, size_t maximum) {
    QZ_Flag result = 0;
    if (list == nullptr || challenges == nullptr || output == nullptr) {
        return result;
    }
    uri = uri != nullptr ? uri : "";
    method = method != nullptr ? method : "";

    for (const char *challenge = challenges; challenge != nullptr;) {
        const char *next = QZ_HTTP_AuthNextChallenge(challenge);
        const size_t length = ChallengeLength(challenge, next);

        char scheme[QZ_HTTP_AUTH_SCHEME_MAX + 1];
        QZ_HTTP_AuthToken(challenge, scheme, QZ_HTTP_AUTH_SCHEME_MAX);
        for (char *c = scheme; *c != '\0'; ++c) {
            if (*c >= 'A' && *c <= 'Z') {
                *c = static_cast<char>(*c - 'A' + 'a');
            }
        }
        char realm[QZ_HTTP_AUTH_REALM_MAX + 1];
        QZ_HTTP_AuthParam(challenge, length, "realm", realm, QZ_HTTP_AUTH_REALM_MAX);
        DropLineBreaks(realm);

        const char *user = nullptr;
        const char *password = nullptr;
        if (QZ_HTTP_AuthList_Find(list, scheme, realm, &user, &password) == 0) {
            challenge = next;
            continue;
        }

        if (std::strcmp(scheme, "basic") == 0) {
            PoolText plain;
            plain.Add(user);
            plain.Add(":");
            plain.Add(password);
            QZ_CStr encoded;
            QZ_CStr_Init(&encoded);
            QZ_Base64Encode(&encoded, plain.Raw());
            if (6 + static_cast<size_t>(encoded.length) <= maximum) {
                // A later matching challenge replaces this text.
                qz::CopyToBuffer(output, maximum, "Basic ");
                std::memcpy(output + 6, encoded.data, encoded.length);
                output[6 + encoded.length] = '\0';
                result = 1;
            }
            QZ_CStr_Free(&encoded);
        } else if (std::strcmp(scheme, "digest") == 0) {
            result = 1;
            char nonce[QZ_HTTP_AUTH_NONCE_MAX + 1];
            char qopList[QZ_HTTP_AUTH_QOP_MAX + 1];
            char opaque[QZ_HTTP_AUTH_OPAQUE_MAX + 1];
            QZ_HTTP_AuthParam(challenge, length, "nonce", nonce, QZ_HTTP_AUTH_NONCE_MAX);
            DropLineBreaks(nonce);
            QZ_HTTP_AuthParam(challenge, length, "qop", qopList, QZ_HTTP_AUTH_QOP_MAX);
            const bool offersQop = qopList[0] != '\0';
            const char *qop = offersQop ? ChooseQop(qopList) : "auth";
            if (qop == nullptr) {
                challenge = next;  // neither auth nor auth-int offered
                continue;
            }
            // Without a qop parameter no cnonce is sent and the hash uses an
            // empty one (the qop field is still sent as "auth").
            char cnonce[16] = "";
            if (offersQop) {
                std::snprintf(cnonce, sizeof cnonce, "%08xl", static_cast<unsigned>(RandomNumber()));
            }
            QZ_HTTP_AuthParam(challenge, length, "opaque", opaque, QZ_HTTP_AUTH_OPAQUE_MAX);
            DropLineBreaks(opaque);

            char ha1[33];
            char response[33];
            char entityHash[33];
            QZ_Digest_CalcHA1("md5", user, realm, password, nonce, cnonce, ha1);
            QZ_Digest_CalcEntityHash(body, body != nullptr ? bodyLength : 0, entityHash);
            QZ_Digest_CalcResponse(ha1, nonce, kNonceCount, cnonce, qop, method, uri, entityHash,
                                   response);

            PoolText text;
            text.Add("Digest ");
            text.AddQuoted("username", user);
            text.Add(",");
            text.AddQuoted("realm", realm);
            text.Add(",");
            text.AddQuoted("nonce", nonce);
            text.Add(",");
            text.AddQuoted("uri", uri);
            text.Add(",");
            text.AddQuoted("qop", qop);
            text.Add(",");
            text.Add("nc=");
            text.Add(kNonceCount);
            text.Add(",");
            if (offersQop) {
                text.AddQuoted("cnonce", cnonce);
                text.Add(",");
            }
            if (opaque[0] != '\0') {
                text.AddQuoted("opaque", opaque);
                text.Add(",");
            }
            text.AddQuoted("response", response);
            if (text.Length() <= maximum) {
                qz::CopyToBuffer(output, maximum, std::string_view(text.Data(), text.Length()));
                return result;
            }
        }
        challenge = next;
    }
    return result;
}

QZ_Flag QZ_HTTP_Authorization(QZ_List *list, const char *challenges, const char *uri,
                              const char *method, char *output, size_t maximum) {
    return QZ_HTTP_AuthorizationBody(list, challenges, uri, method, nullptr, 0, output, maximum);
}

}  // extern "C"
