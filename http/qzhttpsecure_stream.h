// A secure exchange whose body is read as it arrives (not a public header).
//
// libcurl's multi interface carries it, so that a caller can take the body a
// block at a time (the XML reader reads https documents so) as well as whole
// (QZ_HTTP_Request_Win_Request).  The stream belongs to one exchange record:
// the record's body string receives the bytes, the record's head string the
// head of the final answer.
#ifndef QZ_HTTP_QZHTTPSECURE_STREAM_H
#define QZ_HTTP_QZHTTPSECURE_STREAM_H

#include "http/qzhttpcore_internal.h"

#include "qz/qzhttpclient.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qz_httpclient {

// What one secure exchange asks for.  The request body and the added header
// lines are the record's content and headers.
struct SecureTarget {
    std::string host;
    int32_t port = 443;
    std::string path;  // the request path, with its leading "/"
    std::string method;
    std::string_view proxyHost;
    int32_t proxyPort = 0;
    QZ_List *credentials = nullptr;
    // Challenges are answered only when they come from here: credentials never
    // follow a redirect to another scheme, host or port.
    Origin origin;
    uint32_t timeoutSeconds = 60;
    long maxRedirects = 5;
};

// Sends the request over TLS (certificates verified), follows redirects that
// stay on https, answers one 401 and returns once the head of the final
// answer is in the record: 0 with the body still to come (SecureRead or
// SecureDrain, then SecureClose), or an error code of the client, with the
// stream closed and the head and body that came kept in the record.
int32_t SecureOpen(QZ_HTTP_Request *request, const SecureTarget &target);

bool SecureIsOpen(const QZ_HTTP_Request *request);

// Fills buffer with up to room body bytes, waiting for them until the answer
// ends; *count is what was placed.  false once the transfer has failed.
bool SecureRead(QZ_HTTP_Request *request, char *buffer, uint32_t room, uint32_t *count);

// Appends the rest of the body to the record's body, calling chunk with the
// size of every piece that arrives (for the traces); 0, or the error code of
// a transfer that failed.
int32_t SecureDrain(QZ_HTTP_Request *request, void (*chunk)(uint32_t bytes));

// Ends the stream of the record, if it has one; the body bytes not yet read
// stay in the record's body.
void SecureClose(QZ_HTTP_Request *request);

}  // namespace qz_httpclient

#endif
