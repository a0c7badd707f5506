/* URL splitting and URL encoding.
 *
 * The splitting is deliberately simple: it looks for the first ":" and "/"
 * characters and follows no URL standard.
 *   1. Scheme: up to the first ":" when that ":" comes before the first "/"
 *      (or there is no "/").  So "host:8080/x" has the scheme "host".
 *   2. Authority start: after the scheme's ":" (or the start of the URL), with
 *      every "/" there skipped.
 *   3. Host: up to the first ":" when a "/" follows it, else up to the first
 *      "/"; when no "/" follows the authority start there is no host
 *      ("http://srv" has no host, "http://srv/" has the host "srv").
 *   4. Port: the decimal digits after the host's ":".
 *   5. Path start: after the port's digits, else at the end of the host (the
 *      "/"), else at the authority start.
 *   6. Directory: from the path start to just after the last "/" before the
 *      first "?".
 *   7. File: from the end of the directory (or the path start) to the "?".
 *   8. Query: everything after that "?".
 *
 * The copying functions take a buffer that holds n + 1 bytes: they copy at
 * most n characters and a terminating zero.  A part that is not there gives
 * the empty text.
 */
#ifndef QZ_QZURL_H
#define QZ_QZURL_H

#include "qzdefs.h"
#include "qzcstr.h"

QZ_BEGIN_DECLS

/* Size of the static result buffers of QZ_UrlEncodeForm, QZ_UrlEncodePath and
   QZ_UrlDecodeHex, without the terminating zero. */
#define QZ_URL_STATIC_MAX 2048

/* Span functions: each returns the start of its part inside url (or NULL when
   the part is not there) and stores the end of the part (one past its last
   character) in *end when end is not NULL.  *end is set to NULL when the part
   is not there. */
QZ_EXPORT const char *QZ_HTTP_UrlProtocolSpan(const char *url, const char **end);
QZ_EXPORT const char *QZ_HTTP_UrlHostSpan(const char *url, const char **end);
/* The port's digits; an empty span (start == end) when the host ends at ":"
   without digits. */
QZ_EXPORT const char *QZ_HTTP_UrlPortSpan(const char *url, const char **end);
/* Where the path begins (never NULL for a non-NULL url); *end is the end of
   the URL. */
QZ_EXPORT const char *QZ_HTTP_UrlPathSpan(const char *url, const char **end);
QZ_EXPORT const char *QZ_HTTP_UrlDirectorySpan(const char *url, const char **end);
/* The file part always exists (it may be empty). */
QZ_EXPORT const char *QZ_HTTP_UrlFileSpan(const char *url, const char **end);
/* The query without its "?". */
QZ_EXPORT const char *QZ_HTTP_UrlQuerySpan(const char *url, const char **end);

/* Copying functions: buffer holds n + 1 bytes; each returns buffer. */
QZ_EXPORT char *QZ_HTTP_UrlGetProtocol(char *buffer, const char *url, size_t n);
QZ_EXPORT char *QZ_HTTP_UrlGetHost(char *buffer, const char *url, size_t n);
/* The path with file and query, from the path start to the end of the URL,
   when the URL has a directory; the empty text otherwise.  The buffer is
   zero-padded up to n. */
QZ_EXPORT char *QZ_HTTP_UrlGetPath(char *buffer, const char *url, size_t n);
QZ_EXPORT char *QZ_HTTP_UrlGetDirectory(char *buffer, const char *url, size_t n);
QZ_EXPORT char *QZ_HTTP_UrlGetFile(char *buffer, const char *url, size_t n);
QZ_EXPORT char *QZ_HTTP_UrlGetQuery(char *buffer, const char *url, size_t n);

/* The port as a signed 16-bit number; -1 when the URL has no host, no ":" after
   the host, no digit, or digits whose value does not fit (above 32767). */
QZ_EXPORT int16_t QZ_HTTP_UrlGetPort(const char *url);

/* Form encoding: letters, digits and "_-.*" are copied, a blank becomes "+",
   every other byte "%XX" (upper-case hexadecimal).
   QZ_HTTP_EncodeFormValue empties the string, appends the whole encoding and
   returns the string's text. */
QZ_EXPORT char *QZ_HTTP_EncodeFormValue(QZ_CStr *string, const char *text);

/* Form encoding into a static buffer of QZ_URL_STATIC_MAX characters; an
   escape is written only while at least 4 characters of the budget remain
   (otherwise that byte is dropped and the walk goes on).  The result stays
   valid until the next call. */
QZ_EXPORT const char *QZ_UrlEncodeForm(const char *text);

/* Path encoding into a static buffer: the part before the query is encoded
   (letters, digits and "_-\\/:?.*" copied, everything else "%XX"), trailing
   blanks of it are dropped, then "?" and the query are copied unchanged.  The
   result stays valid until the next call. */
QZ_EXPORT const char *QZ_UrlEncodePath(const char *text);

/* "%" followed by one or two hexadecimal digits gives that byte (the two
   characters after the "%" are consumed); everything else, "+" included, is
   copied.  Static buffer, valid until the next call. */
QZ_EXPORT const char *QZ_UrlDecodeHex(const char *text);

QZ_END_DECLS

#endif
