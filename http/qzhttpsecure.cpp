// The secure path: libcurl carries the exchange over TLS; the runtime
// supplies method, path, headers, body, proxy and credentials and collects
// status, head and body.

#include "http/qzhttpcore_internal.h"
#include "http/qzhttpsecure_stream.h"

#include "qz/qzhttpclient.h"
#include "qz/qztrace.h"

#include <string>

using namespace qz_httpclient;

extern "C" int32_t QZ_HTTP_Request_Win_Request(QZ_HTTP_Request *request, const char *method, const char *host,
                                               int32_t port, const char *path, const char *proxyHost,
                                               int32_t proxyPort, QZ_List *credentials, uint32_t timeoutSeconds) {
    QZ_Trace(2, "Start QZ_HTTP_Request_Win_Request");
    if (request == nullptr) return QZHTTP_ERR_CONNECTION;
    SecureClose(request);
    Clear(&request->responseBody);
    Clear(&request->responseHead);

    SecureTarget target;
    target.host = std::string(Text(host));
    target.port = port < 1 ? 443 : port;
    target.path = std::string(Cut(Text(path), QZHTTP_URL_MAX));
    if (target.path.empty() || target.path[0] != '/') target.path.insert(0, "/");
    target.method = method != nullptr && *method != '\0' ? method : "GET";
    target.proxyHost = Text(proxyHost);
    target.proxyPort = proxyPort;
    target.credentials = credentials;
    target.origin = MakeOrigin("https", target.host, target.port);
    target.timeoutSeconds = timeoutSeconds;
    target.maxRedirects = 5;

    int32_t result = SecureOpen(request, target);
    // The status is not judged here: the whole answer is read, whatever it is.
    if (result == QZHTTP_ERR_OK) result = SecureDrain(request, nullptr);
    SecureClose(request);
    QZ_Trace(2, "QZ_HTTP_Request_Win_Request Return = %d", static_cast<int>(result));
    return result;
}
