/* HTTP authentication: credentials lists, challenge parsing, the Basic and
 * Digest (MD5) Authorization texts, and the MD5 and Base64 primitives they
 * stand on. */
#ifndef QZ_QZHTTPAUTH_H
#define QZ_QZHTTPAUTH_H

#include "qzdefs.h"
#include "qzcstr.h"
#include "qzlists.h"

QZ_BEGIN_DECLS

/* Scheme codes of QZ_HTTP_AuthList_AddByCode. */
#define QZ_HTTP_AUTH_SCHEME_BASIC 0
#define QZ_HTTP_AUTH_SCHEME_DIGEST 1

/* Limits inside one Authorization computation (characters, without the zero). */
#define QZ_HTTP_AUTH_SCHEME_MAX 99
#define QZ_HTTP_AUTH_REALM_MAX 1024
#define QZ_HTTP_AUTH_NONCE_MAX 512
#define QZ_HTTP_AUTH_QOP_MAX 127
#define QZ_HTTP_AUTH_OPAQUE_MAX 512

/* One registered credential. The scheme is "basic" or "digest" (lower case);
   the realm is compared exactly. */
typedef struct QZ_HTTP_AuthEntry {
    QZ_CStr scheme;
    QZ_CStr realm;
    QZ_CStr user;
    QZ_CStr password;
} QZ_HTTP_AuthEntry;

/* A credentials list is a QZ_List of QZ_HTTP_AuthEntry that owns its entries. */
QZ_EXPORT void QZ_HTTP_AuthList_Init(QZ_List *list);
/* Frees every entry and its strings, then the nodes. */
QZ_EXPORT void QZ_HTTP_AuthList_Free(QZ_List *list);
/* Appends a new entry (never replaces one: with two equal scheme/realm pairs
   the first wins).  Returns the new node, or NULL when memory ran out.  NULL
   texts count as empty. */
QZ_EXPORT QZ_ListNode *QZ_HTTP_AuthList_Add(QZ_List *list, const char *scheme, const char *realm,
                                            const char *user, const char *password);
/* Code 0 adds a "basic" entry, code 1 a "digest" entry, other codes nothing. */
QZ_EXPORT void QZ_HTTP_AuthList_AddByCode(QZ_List *list, int16_t schemeCode, const char *realm,
                                          const char *user, const char *password);
/* First entry whose scheme and realm equal the texts exactly: *user and
   *password point at its texts and the result is 1.  Otherwise both become
   NULL and the result is 0.  user and password may be NULL. */
QZ_EXPORT QZ_Flag QZ_HTTP_AuthList_Find(QZ_List *list, const char *scheme, const char *realm,
                                        const char **user, const char **password);
/* Frees the destination's entries, then appends a copy of every source entry. */
QZ_EXPORT void QZ_HTTP_AuthList_Copy(QZ_List *destination, QZ_List *source);

/* The text that follows "Authorization: " for the challenges of a 401 answer
   (all WWW-Authenticate values joined by ","), written into output, which
   holds maximum + 1 bytes.  The output is left untouched unless a text is
   produced.  Result 1 when a Basic text was made or a Digest challenge matched
   a credential; callers clear the output beforehand and go on only when it is
   not empty.  For qop "auth-int" the entity hash is that of an empty body;
   QZ_HTTP_AuthorizationBody hashes the given request body instead. */
QZ_EXPORT QZ_Flag QZ_HTTP_Authorization(QZ_List *list, const char *challenges, const char *uri,
                                        const char *method, char *output, size_t maximum);
QZ_EXPORT QZ_Flag QZ_HTTP_AuthorizationBody(QZ_List *list, const char *challenges,
                                            const char *uri, const char *method,
                                            const void *body, size_t bodyLength, char *output,
                                            size_t maximum);

/* Start of the challenge after the first one in text, or NULL. */
QZ_EXPORT const char *QZ_HTTP_AuthNextChallenge(const char *text);
/* Value of the quoted parameter name (case-insensitive) within the first
   length characters of challenge; at most maximum characters and a zero are
   written (output holds maximum + 1 bytes); empty when absent.  Returns output. */
QZ_EXPORT char *QZ_HTTP_AuthParam(const char *challenge, size_t length, const char *name,
                                  char *output, size_t maximum);
/* The leading token (up to a blank, "," or the end), at most maximum
   characters and a zero.  Returns output. */
QZ_EXPORT char *QZ_HTTP_AuthToken(const char *text, char *output, size_t maximum);

/* Digest computations (RFC 2617).  HA1, entity hashes and results are 32
   lower-case hexadecimal digits; output buffers hold 33 bytes.  algorithm
   "md5-sess" (any case) gives the session variant, anything else plain MD5.
   entityHash is read only for qop "auth-int" (any case); it may be NULL, which
   stands for the hash of an empty body. */
QZ_EXPORT void QZ_Digest_CalcHA1(const char *algorithm, const char *user, const char *realm,
                                 const char *password, const char *nonce, const char *cnonce,
                                 char *output);
QZ_EXPORT void QZ_Digest_CalcResponse(const char *ha1, const char *nonce, const char *nonceCount,
                                      const char *cnonce, const char *qop, const char *method,
                                      const char *uri, const char *entityHash, char *output);
/* The hexadecimal MD5 of a request body, for QZ_Digest_CalcResponse. */
QZ_EXPORT void QZ_Digest_CalcEntityHash(const void *body, size_t length, char *output);

/* MD5 (RFC 1321). */
typedef struct QZ_MD5Context {
    uint32_t state[4];
    uint32_t count[2]; /* number of bits, modulo 2^64, low word first */
    unsigned char buffer[64];
} QZ_MD5Context;

QZ_EXPORT void QZ_MD5Init(QZ_MD5Context *context);
QZ_EXPORT void QZ_MD5Update(QZ_MD5Context *context, const void *bytes, size_t length);
/* Writes the 16-byte digest and clears the context. */
QZ_EXPORT void QZ_MD5Final(unsigned char digest[16], QZ_MD5Context *context);

/* Base64 (RFC 4648, no line breaks).  Encode reads input's length bytes;
   decode skips white space and characters outside the alphabet.  Both empty
   the output first and return it. */
QZ_EXPORT QZ_CStr *QZ_Base64Encode(QZ_CStr *output, const QZ_CStr *input);
QZ_EXPORT QZ_CStr *QZ_Base64Decode(QZ_CStr *output, const char *text);

QZ_END_DECLS

#endif
