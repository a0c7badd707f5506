// The plain path: an HTTP/1.0 request written on a TCP socket, the response
// head and body read from it, redirects followed and one authentication
// challenge answered.

#include "http/qzhttpcore_internal.h"
#include "http/qzhttpsecure_stream.h"

#include "qz/qzhttpauth.h"
#include "qz/qzhttpclient.h"
#include "qz/qzsocket.h"
#include "qz/qztrace.h"
#include "qz/qzurl.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <string>

using namespace qz_httpclient;

namespace {

constexpr int16_t kRedirectBudget = 6;

void Append(QZ_CStr *s, std::string_view text) { appendGrow(s, text); }

bool StartsLikeHttp(std::string_view data) {
    static constexpr std::string_view kHttp = "http";
    for (size_t i = 0; i < std::min(data.size(), kHttp.size()); ++i)
        if (std::tolower(static_cast<unsigned char>(data[i])) != kHttp[i]) return false;
    return true;
}

// One exchange's state on the plain path.
struct Exchange {
    std::string host;
    std::string path;
    int32_t portNumber = 80;
    std::string portText = "80";
    char credentials[QZHTTP_CREDENTIALS_MAX + 1] = {};
    std::string method;
    // Where the exchange began: the only place whose challenges are answered.
    Origin origin;
};

void SetPort(Exchange &x, int32_t port, int32_t standard = 80) {
    x.portNumber = port < 1 ? standard : port;
    x.portText = std::to_string(x.portNumber);
}

// The request text, in the fixed order the servers of this system expect.
void BuildRequestText(QZ_HTTP_Request *request, const Exchange &x, std::string_view proxyHost) {
    QZ_CStr *text = &request->requestText;
    AppendOneLine(text, x.method);
    Append(text, " ");
    if (!proxyHost.empty()) {
        Append(text, "http://");
        AppendOneLine(text, x.host);
        Append(text, ":");
        Append(text, x.portText);
    }
    if (x.path.empty() || x.path[0] != '/') Append(text, "/");
    AppendOneLine(text, x.path);
    Append(text, " HTTP/1.0\r\n");
    Append(text, TextOf(request->headers));
    if (x.credentials[0] != '\0') {
        Append(text, "Authorization: ");
        // One line, whatever a credential or a challenge held.
        AppendOneLine(text, x.credentials);
        Append(text, "\r\n");
    }
    Append(text, "Connection: close\r\n");
    Append(text, "Host: ");
    AppendOneLine(text, x.host);
    Append(text, "\r\n");
    // The body is text: its length is that of the text, which is exactly what
    // goes out after the blank line.
    const std::string_view content = TextOf(request->content);
    Append(text, "Content-length: " + std::to_string(content.size()) + "\r\n");
    Append(text, "\r\n");
    Append(text, content);
}

bool Connect(QZ_HTTP_Request *request, const std::string &host, int32_t port, uint32_t timeoutSeconds) {
    if (request->connected == 1) QZ_HTTP_Request_Close(request);
    if (port < 1) port = 80;
    const bool ok = port <= 65535 &&
                    QZ_connectTCPTimeout(request, host.c_str(), static_cast<uint16_t>(port), timeoutSeconds) != 0;
    request->connected = ok ? 1 : 0;
    return ok;
}

// Follows a Location (ResolveLocation): an absolute URL gives host, path and
// port; a relative one keeps host and port.
Redirect::Hop FollowLocation(Exchange &x, const char *value, uint32_t length) {
    const Redirect to = ResolveLocation(std::string_view(value, length), x.path);
    if (to.hop == Redirect::Hop::Refused) return to.hop;
    if (to.absolute) {
        x.host = to.host;
        SetPort(x, to.port);
    }
    x.path = to.path;
    return to.hop;
}

bool AtOrigin(const Exchange &x) { return SameOrigin(MakeOrigin("http", x.host, x.portNumber), x.origin); }

// The path as it stands in the request line: the uri of a Digest answer must
// be that Request-URI, or the server refuses it.
std::string RequestUri(const Exchange &x) {
    return (x.path.empty() || x.path[0] != '/') ? "/" + x.path : x.path;
}

// The plain path's verdict on an answer that came over the secure path: a
// 2xx answer (and a redirect without Location) is read on; a 401 left is an
// authentication error; every other status a receive error.
int32_t JudgeSecureAnswer(QZ_HTTP_Request *request, int32_t result) {
    if (result == QZHTTP_ERR_OK) {
        const int16_t status = qz_HTTP_Request_Get_Status_Code(request);
        if (status == 401)
            result = QZHTTP_ERR_AUTHENTICATION;
        else if (!((status >= 200 && status <= 299) || (status >= 300 && status <= 399)))
            result = QZHTTP_ERR_RECEIVE;
    }
    if (result != QZHTTP_ERR_OK) SecureClose(request);
    return result;
}

int32_t GoOnSecure(QZ_HTTP_Request *request, const Exchange &x, const std::string &proxy, int32_t proxyPort,
                   QZ_List *credentials, uint32_t timeoutSeconds, int16_t redirectsLeft) {
    SecureTarget target;
    target.host = x.host;
    target.port = x.portNumber;
    target.path = RequestUri(x);
    target.method = x.method;
    target.proxyHost = proxy;
    target.proxyPort = proxyPort;
    target.credentials = credentials;
    target.origin = x.origin;
    target.timeoutSeconds = timeoutSeconds;
    target.maxRedirects = redirectsLeft;
    return JudgeSecureAnswer(request, SecureOpen(request, target));
}

}  // namespace

extern "C" {

void QZ_HTTP_Request_Close(QZ_HTTP_Request *request) {
    if (request == nullptr) return;
    SecureClose(request);
    if (request->connected == 1) QZ_disconnectTCP(request);
    request->connected = 0;
}

int32_t QZ_HTTP_Request_Init_Request(QZ_HTTP_Request *request, const char *method, const char *host, int32_t port,
                                     const char *path, const char *proxyHost, int32_t proxyPort,
                                     QZ_List *credentials, uint32_t timeoutSeconds) {
    QZ_Trace(2, "Start QZ_HTTP_Request_Init_Request");
    if (request == nullptr) return QZHTTP_ERR_CONNECTION;
    Exchange x;
    x.host = std::string(Cut(Text(host), QZHTTP_URL_MAX));
    x.path = std::string(Cut(Text(path), QZHTTP_URL_MAX));
    SetPort(x, port);
    x.method = method != nullptr ? method : "GET";
    x.origin = MakeOrigin("http", x.host, x.portNumber);
    const std::string proxy(Text(proxyHost));
    SecureClose(request);  // a record carries one exchange at a time
    int16_t budget = kRedirectBudget;
    QZ_Flag goOn = 0;
    int32_t result = QZHTTP_ERR_RECEIVE;
    int16_t status = 0;

    do {
        Clear(&request->responseBody);
        Clear(&request->requestText);
        BuildRequestText(request, x, proxy);

        const bool connected = proxy.empty() ? Connect(request, x.host, x.portNumber, timeoutSeconds)
                                             : Connect(request, proxy, proxyPort, timeoutSeconds);
        if (!connected) {
            QZ_Trace(2, "Error QZ_HTTP_Request_Init_Request: Ret = QZHTTP_ERR_CONNECTION");
            return QZHTTP_ERR_CONNECTION;
        }
        QZ_Trace(2, "QZ_HTTP_Request_Init_Request: Requesting Data From Server '%s'", x.host.c_str());
        if (QZ_sendTCP(request->socket, request->requestText.data) == 0) {
            QZ_HTTP_Request_Close(request);
            QZ_Trace(2, "Error QZ_HTTP_Request_Init_Request: Ret = QZHTTP_ERR_SEND");
            return QZHTTP_ERR_SEND;
        }
        goOn = QZ_HTTP_Request_Read_Header(request, timeoutSeconds);
        if (goOn == 0) break;

        status = qz_HTTP_Request_Get_Status_Code(request);
        if (status == 401) {
            if (x.credentials[0] != '\0') {
                // They were sent and refused.
                goOn = 0;
                result = QZHTTP_ERR_AUTHENTICATION;
            } else if (!AtOrigin(x)) {
                // A redirect led here: the credentials are not for this host.
                QZ_Trace(2, "QZ_HTTP_Request_Init_Request: no credentials for a host a redirect led to");
                goOn = 0;
                result = QZHTTP_ERR_AUTHENTICATION;
            } else {
                char challenges[QZHTTP_CHALLENGES_MAX + 1] = {};
                qz_HTTP_Request_Get_Header_Values(request, "WWW-Authenticate", challenges, QZHTTP_CHALLENGES_MAX);
                const std::string uri = RequestUri(x);
                // qop auth-int hashes the body this request carries.
                const std::string_view content = TextOf(request->content);
                if (QZ_HTTP_AuthorizationBody(credentials, challenges, uri.c_str(), x.method.c_str(), content.data(),
                                              content.size(), x.credentials, QZHTTP_CREDENTIALS_MAX) == 0 ||
                    x.credentials[0] == '\0') {
                    x.credentials[0] = '\0';
                    goOn = 0;
                    result = QZHTTP_ERR_AUTHENTICATION;
                }
            }
            QZ_HTTP_Request_Close(request);
        } else if (status >= 300 && status <= 399) {
            x.credentials[0] = '\0';
            uint32_t length = 0;
            const char *location = qz_HTTP_Request_Get_Header_Field(request, "Location", &length);
            if (location == nullptr) {
                // The answer stands as the final response; Execute reads its body.
                goOn = 0;
                result = QZHTTP_ERR_OK;
            } else {
                const Redirect::Hop hop = FollowLocation(x, location, length);
                QZ_HTTP_Request_Close(request);
                x.method = "GET";
                --budget;
                if (hop == Redirect::Hop::Refused) {
                    QZ_Trace(2, "QZ_HTTP_Request_Init_Request: redirect to another scheme refused");
                    goOn = 0;
                } else if (hop == Redirect::Hop::Secure && budget > 0) {
                    // https goes on over the secure path, with the redirects
                    // that are left; the credentials stay behind.
                    result = GoOnSecure(request, x, proxy, proxyPort, credentials, timeoutSeconds, budget - 1);
                    if (result == QZHTTP_ERR_OK)
                        QZ_Trace(2, "Success QZ_HTTP_Request_Init_Request: Ret = QZHTTP_ERR_OK");
                    else
                        QZ_Trace(2, "Error QZ_HTTP_Request_Init_Request: Ret = %d", static_cast<int>(result));
                    return result;
                }
            }
        }
    } while (goOn != 0 && budget > 0 && ((status >= 300 && status <= 399) || status == 401));

    if (goOn != 0 && budget != 0 && ((status >= 200 && status <= 299) || status == 0)) {
        QZ_Trace(2, "Success QZ_HTTP_Request_Init_Request: Ret = QZHTTP_ERR_OK");
        return QZHTTP_ERR_OK;
    }
    // A final answer that is not read further does not keep its socket.
    if (result != QZHTTP_ERR_OK) QZ_HTTP_Request_Close(request);
    QZ_Trace(2, "Error QZ_HTTP_Request_Init_Request: Ret = %d", static_cast<int>(result));
    return result;
}

QZ_Flag QZ_HTTP_Request_Read_Header(QZ_HTTP_Request *request, uint32_t timeoutSeconds) {
    if (request == nullptr) return 0;
    Clear(&request->responseHead);
    Clear(&request->responseBody);
    QZ_CStr *received = &request->responseBody;  // the accumulator
    using Clock = std::chrono::steady_clock;
    // The head as a whole must arrive within the time-out: a server that
    // sends it a byte at a time cannot hold the exchange for ever.
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    QZ_Flag flag = 0;
    bool headless = false;
    bool found = false;
    while (request->connected == 1) {
        uint32_t wait = timeoutSeconds;
        if (timeoutSeconds > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                QZ_Trace(2, "QZ_HTTP_Request_Read_Header: no complete head after %u seconds",
                         static_cast<unsigned>(timeoutSeconds));
                flag = 0;
                break;
            }
            wait = static_cast<uint32_t>(std::min<long long>((left + 999) / 1000, timeoutSeconds));
        }
        if (!reserveMore(received, QZHTTP_PLAIN_BLOCK + 1)) {
            flag = 0;
            break;
        }
        uint32_t count = 0;
        const uint32_t before = received->length;
        flag = QZ_receiveTCP(request->socket, received->data + before, QZHTTP_PLAIN_BLOCK, &count, wait);
        if (flag == 0 || count == 0) break;
        received->length += count;
        const std::string_view data(received->data, received->length);
        // The first bytes decide: an answer that does not begin with "http"
        // (any case) has no head and is all body.  A first block shorter
        // than four bytes that could still begin so waits for more.
        if (!StartsLikeHttp(data)) {
            headless = true;
            break;
        }
        if (data.size() < 4) continue;
        const size_t blank = data.find("\r\n\r\n", before >= 3 ? before - 3 : 0);
        if (blank != std::string_view::npos) {
            QZ_CStr_Set(&request->responseHead, data.data(), static_cast<uint32_t>(blank));
            if (request->responseHead.length != blank) {
                // Out of memory: without its head the answer would pass for
                // a headless one, and a refusal for success.
                QZ_Trace(2, "QZ_HTTP_Request_Read_Header: Can not allocate memory");
                flag = 0;
                break;
            }
            const uint32_t rest = received->length - static_cast<uint32_t>(blank) - 4;
            std::memmove(received->data, received->data + blank + 4, rest);
            received->length = rest;
            received->data[rest] = '\0';
            found = true;
            break;
        }
        if (received->length > kHeadMax) {
            QZ_Trace(2, "QZ_HTTP_Request_Read_Header: head longer than %u bytes", static_cast<unsigned>(kHeadMax));
            flag = 0;
            break;
        }
    }
    // Fewer than four bytes before the peer closed cannot begin with "http".
    if (!found && !headless && received->length > 0 && received->length < 4) headless = true;
    // Without a blank line the head stays empty and what came is the body.
    const long headerBytes = headless ? 0 : static_cast<long>(found ? request->responseHead.length + 4 + received->length
                                                                     : received->length);
    QZ_Trace(2, "QZ_HTTP_Request_Read_Header: %ld Header Bytes readed", headerBytes);
    return flag;
}

QZ_Flag QZ_HTTP_Read_Result(QZ_HTTP_Request *request, uint32_t timeoutSeconds) {
    QZ_Trace(2, "QZ_HTTP_Read_Result: TimeOut = %d Seconds", static_cast<int>(timeoutSeconds));
    if (request == nullptr) return 0;
    QZ_CStr *body = &request->responseBody;
    if (SecureIsOpen(request)) {
        // A redirect led to https: the rest of the body comes over TLS.
        SecureDrain(request, [](uint32_t bytes) {
            QZ_Trace(2, "QZ_HTTP_Read_Result: %d Bytes chunk readed", static_cast<int>(bytes));
        });
        QZ_Trace(2, "QZ_HTTP_Read_Result: %ld Total Bytes readed", static_cast<long>(body->length));
        QZ_HTTP_Request_Close(request);
        return body->length > 0 ? 1 : 0;
    }
    const uint32_t initial = body->length;
    uint64_t read = 0;
    // The body is taken in blocks of 1024 bytes, received straight into the
    // body's own block.  Unless the transcript of level 3 shows every receive,
    // one system call fetches up to kReadAhead bytes, which are then taken
    // (and traced) as the 1024-byte blocks they hold: a system call per
    // kilobyte would cost more than all the rest of a long download.  The
    // connection is closed below, so nothing read ahead outlives this loop.
    // A receive fills at most the room the body's block has (which doubles
    // as the body grows), so that a short answer keeps a short block.
    const int16_t level = QZ_GetTraceLevel();
    const uint32_t most = level >= 3 ? QZHTTP_PLAIN_BLOCK : kReadAhead;
    while (request->connected == 1) {
        if (!reserveMore(body, QZHTTP_PLAIN_BLOCK + 1)) break;  // out of memory: the body ends here
        const uint32_t receive = std::min(most, body->capacity - body->length - 1);
        uint32_t count = 0;
        if (QZ_receiveTCP(request->socket, body->data + body->length, receive, &count, timeoutSeconds) == 0 ||
            count == 0)
            break;
        body->length += count;
        read += count;
        if (level >= 2) {
            for (uint32_t left = count; left > 0;) {
                const uint32_t block = std::min<uint32_t>(left, QZHTTP_PLAIN_BLOCK);
                QZ_Trace(2, "QZ_HTTP_Read_Result: %d Bytes chunk readed", static_cast<int>(block));
                left -= block;
            }
        }
    }
    const uint64_t total = initial + read;
    QZ_Trace(2, "QZ_HTTP_Read_Result: %ld Total Bytes readed", static_cast<long>(total));
    QZ_HTTP_Request_Close(request);
    return total > 0 ? 1 : 0;
}

// The result is one of the error codes 0 to 5, so 16 bits carry it; the XML
// reader calls this through a declaration of its own with that width.
int16_t QZ_HTTP_Request_Open_Url(QZ_HTTP_Request *request, const char *method, const char *url,
                                 const char *proxyHost, int32_t proxyPort, QZ_List *credentials) {
    const char *target = url != nullptr ? url : "";
    char host[QZHTTP_URL_MAX + 1];
    char path[QZHTTP_URL_MAX + 1];
    QZ_HTTP_UrlGetHost(host, target, QZHTTP_URL_MAX);
    QZ_HTTP_UrlGetPath(path, target, QZHTTP_URL_MAX);
    // An https document goes over the secure path (certificates verified),
    // so that neither it nor the credentials answering for it travel in the
    // clear; its body is then read block by block as it arrives.
    const bool secure = SchemeOf(target) == "https";
    int32_t port = UrlPort(target);
    if (port < 1) port = secure ? 443 : 80;
    if (!secure)
        return static_cast<int16_t>(
            QZ_HTTP_Request_Init_Request(request, method, host, port, path, proxyHost, proxyPort, credentials, 60));
    if (request == nullptr) return QZHTTP_ERR_CONNECTION;
    QZ_HTTP_Request_Close(request);
    Clear(&request->responseBody);
    Clear(&request->responseHead);
    Exchange x;
    x.host = host;
    x.path = path;
    SetPort(x, port, 443);
    x.method = method != nullptr && *method != '\0' ? method : "GET";
    x.origin = MakeOrigin("https", x.host, x.portNumber);
    return static_cast<int16_t>(
        GoOnSecure(request, x, std::string(Text(proxyHost)), proxyPort, credentials, 60, kRedirectBudget - 1));
}

QZ_Flag QZ_HTTP_Request_Read_Buf(QZ_HTTP_Request *request, char *buffer, int32_t size, uint32_t *count) {
    if (count != nullptr) *count = 0;
    if (request == nullptr || buffer == nullptr || size < 0) return 0;
    const auto room = static_cast<uint32_t>(size);
    uint32_t used = 0;
    QZ_Flag flag = 0;
    buffer[0] = '\0';
    if (SecureIsOpen(request)) {
        const bool fine = SecureRead(request, buffer, room, &used);
        if (count != nullptr) *count = used;
        return fine ? 1 : 0;
    }
    QZ_CStr *body = &request->responseBody;
    if (body->length > 0) {
        // The bytes that came with the head go first.
        used = std::min(body->length, room);
        std::memcpy(buffer, body->data, used);
        buffer[used] = '\0';
        std::memmove(body->data, body->data + used, body->length - used);
        body->length -= used;
        body->data[body->length] = '\0';
        flag = 1;
    }
    while (used < room && request->connected == 1) {
        uint32_t got = 0;
        flag = QZ_receiveTCP(request->socket, buffer + used, room - used, &got, 60);
        if (flag == 0 || got == 0) break;
        used += got;
        QZ_Trace(2, "QZ_HTTP_Request_Read_Buf: %d Bytes chunk readed", static_cast<int>(got));
    }
    // Every byte placed in the buffer is counted, those that came with the
    // head as well: the caller goes by this count.
    if (count != nullptr) *count = used;
    return flag;
}

QZ_Flag QZ_HTTP_Init_ArrParam(QZ_HTTP_Request *request, const char *name) {
    QZ_Trace(2, "QZ_HTTP_Init_ArrParam: Parameter '%s'", name != nullptr ? name : "");
    if (request == nullptr || request->connected != 1) return 0;
    return QZ_sendTCP(request->socket, name != nullptr ? name : "") != 0 && QZ_sendTCP(request->socket, "=") != 0 ? 1
                                                                                                                 : 0;
}

QZ_Flag QZ_HTTP_Set_ArrParam(QZ_HTTP_Request *request, const char *value) {
    QZ_Trace(2, "QZ_HTTP_Set_ArrParam: Value '%s'", value != nullptr ? value : "");
    if (request == nullptr || request->connected != 1) return 0;
    QZ_CStr encoded;
    QZ_CStr_Init(&encoded);
    QZ_HTTP_EncodeFormValue(&encoded, value != nullptr ? value : "");
    const bool ok = QZ_sendTCP(request->socket, encoded.data) != 0 && QZ_sendTCP(request->socket, "&") != 0;
    QZ_CStr_Free(&encoded);
    return ok ? 1 : 0;
}

}  // extern "C"
