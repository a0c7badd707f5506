// Pieces shared by the HTTP client's modules (not a public header).
#ifndef QZ_HTTP_QZHTTPCORE_INTERNAL_H
#define QZ_HTTP_QZHTTPCORE_INTERNAL_H

#include "qz/qzcstr.h"
#include "qz/qzhttpclient.h"
#include "http/qzhttp_internal.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qz_httpclient {

// Source tag of every allocation of the client.
inline constexpr const char *kTag = "qzhttpcore";
inline constexpr int32_t kRequestLine = 246;     // the exchange record
inline constexpr int32_t kSecureHeadLine = 430;  // a secure head larger than its buffer
inline constexpr int32_t kFileBlockLine = 1309;  // QZ_HTTP_ClientAddFile's block

// The longest response head (status line and header lines) the plain path
// accepts before it gives up on an answer as a receive error: a server that
// sends header lines without end must not exhaust the memory.
inline constexpr uint32_t kHeadMax = 256 * 1024;


// The growing appends shared with the CGI side (http/qzhttp_internal.h).
using qz::http::appendGrow;
using qz::http::reserveMore;
// The most one system call fetches while a body streams in on the plain
// path; it is taken as the 1024-byte blocks it holds (a multiple of them).
inline constexpr uint32_t kReadAhead = 64 * QZHTTP_PLAIN_BLOCK;

// Appends the text with carriage returns and line feeds dropped, so that a
// value can never end a request line or a header line early.
void AppendOneLine(QZ_CStr *s, std::string_view text);
// Empties a string and releases its block.
inline void Clear(QZ_CStr *s) { QZ_CStr_Free(s); }

// Scheme, host and port: where an exchange began, and so the only place its
// credentials go (as curl does): a challenge from a host that a redirect led
// to is not answered.
struct Origin {
    std::string scheme;  // lower case
    std::string host;    // lower case
    int32_t port = 0;
};
Origin MakeOrigin(std::string_view scheme, std::string_view host, int32_t port);
// The origin of an absolute URL "scheme://host[:port]...", the port defaulting
// to the scheme's (80 for http, 443 for https); an empty origin otherwise.
Origin OriginOfUrl(std::string_view url);
// Equal scheme, host and port; an empty origin equals none.
bool SameOrigin(const Origin &a, const Origin &b);

// The URL's port read as an unsigned 16-bit number: ports above 32767 are
// as real as the others (a signed 16-bit reading would send the request to
// port 80).  0 when the URL has none.
int32_t UrlPort(const char *url);

// The scheme a URL or Location begins with (RFC 3986: a letter, then letters,
// digits, "+", "-" or ".", then ":"), in lower case; empty for a relative
// reference.
std::string SchemeOf(std::string_view text);

// Where a redirect leads: on over the plain path, on over the secure path
// (https), or nowhere (any other scheme, which would carry the request and
// its body to a place the program never named, or in the clear).
struct Redirect {
    enum class Hop { Plain, Secure, Refused };
    Hop hop = Hop::Refused;
    bool absolute = false;  // host and port are given (else they stay)
    std::string host;
    std::string path;
    int32_t port = 0;       // of an absolute URL, the scheme's default when it names none
};
// The target of a Location header value: leading blanks, CR and LF skipped,
// cut at the first CR, LF or zero and at QZHTTP_URL_MAX characters.  A
// relative reference is taken against the directory of currentPath.
Redirect ResolveLocation(std::string_view location, std::string_view currentPath);

// The text up to its first zero byte: response and request bodies are texts.
inline std::string_view TextOf(const QZ_CStr &s) {
    return {s.data, std::char_traits<char>::length(s.data)};
}
inline std::string_view Text(const char *text) {
    return text != nullptr ? std::string_view(text) : std::string_view();
}

// Copies at most n characters of text, zero-padded up to n, and a zero at
// buffer[n]; n < 1 gives an empty buffer.  Returns buffer.
char *CopyPadded(char *buffer, int32_t n, std::string_view text);
// Copies min(length, n) characters and a zero after them.  Returns buffer.
char *CopyCut(char *buffer, uint32_t n, std::string_view text);

// The text cut at `max` characters.
inline std::string_view Cut(std::string_view text, size_t max) { return text.substr(0, max); }

}  // namespace qz_httpclient

#endif
