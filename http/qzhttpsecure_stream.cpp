// The secure exchange on libcurl's multi interface: the request goes out, the
// head of the final answer is awaited, and the body is then taken as the
// caller asks for it, a block at a time or whole.

#include "http/qzhttpsecure_stream.h"

#include "http/qzhttpsecure_curl.h"

#include "qz/qzhttpauth.h"
#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

namespace qz_httpclient {

namespace {

constexpr int32_t kStreamLine = 300;  // the stream record
// How long one wait for the sockets lasts before libcurl's own timers (connect
// time-out, stalled answer) are looked at again.
constexpr int kPollMilliseconds = 1000;

struct Stream {
    QZ_HTTP_Request *request = nullptr;
    const CurlApi *curl = nullptr;
    CURL *easy = nullptr;
    CURLM *multi = nullptr;
    curl_slist *headers = nullptr;
    bool added = false;     // the easy handle is in the multi handle
    bool headDone = false;  // the head of the final answer is in the record
    bool finished = false;  // the transfer is over ...
    CURLcode code = CURLE_OK;  // ... with this outcome
    uint32_t taken = 0;     // body bytes a block reader has taken already
    Stream *next = nullptr;
};

// The open streams, one per exchange record that has one (a program has few).
Stream *g_streams = nullptr;

Stream *Find(const QZ_HTTP_Request *request) {
    for (Stream *s = g_streams; s != nullptr; s = s->next)
        if (s->request == request) return s;
    return nullptr;
}

void Unlink(Stream *stream) {
    for (Stream **at = &g_streams; *at != nullptr; at = &(*at)->next) {
        if (*at == stream) {
            *at = stream->next;
            return;
        }
    }
}

bool IsFinalHead(QZ_HTTP_Request *request) {
    const int16_t status = qz_HTTP_Request_Get_Status_Code(request);
    if (status >= 100 && status <= 199) return false;
    // A redirect that libcurl follows is followed by the head of the next answer.
    uint32_t length = 0;
    if (status >= 300 && status <= 399 && qz_HTTP_Request_Get_Header_Field(request, "Location", &length) != nullptr)
        return false;
    return true;
}

size_t CollectBody(char *bytes, size_t size, size_t count, void *user) {
    auto *stream = static_cast<Stream *>(user);
    const size_t n = size * count;
    stream->headDone = true;
    // The body is kept by byte count; the text views still end at a zero.
    return appendGrow(&stream->request->responseBody, {bytes, n}) ? n : 0;
}

// Every answer (a redirect, a 100 Continue) starts the head afresh, so that
// the head is that of the final answer: status line and header lines joined
// by CR LF, without the blank line, as on the plain path.
size_t CollectHead(char *bytes, size_t size, size_t count, void *user) {
    auto *stream = static_cast<Stream *>(user);
    QZ_HTTP_Request *request = stream->request;
    const size_t n = size * count;
    std::string_view line(bytes, n);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (line.substr(0, 5) == "HTTP/") Clear(&request->responseHead);
    if (line.empty()) {
        if (IsFinalHead(request)) stream->headDone = true;
        return n;
    }
    if (request->responseHead.length + line.size() > kHeadMax) return 0;
    if (request->responseHead.length > 0 && !appendGrow(&request->responseHead, "\r\n")) return 0;
    return appendGrow(&request->responseHead, line) ? n : 0;
}

bool HasHeader(std::string_view headers, std::string_view name) {
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find("\r\n", start);
        if (end == std::string_view::npos) end = headers.size();
        const std::string_view line = headers.substr(start, end - start);
        if (line.size() > name.size() && line[name.size()] == ':') {
            bool same = true;
            for (size_t i = 0; i < name.size() && same; ++i)
                same = std::tolower(static_cast<unsigned char>(line[i])) ==
                       std::tolower(static_cast<unsigned char>(name[i]));
            if (same) return true;
        }
        start = end + 2;
    }
    return false;
}

curl_slist *HeaderList(const CurlApi &curl, std::string_view headers, const std::string &authorization) {
    curl_slist *list = nullptr;
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find("\r\n", start);
        if (end == std::string_view::npos) end = headers.size();
        const std::string line(headers.substr(start, end - start));
        if (!line.empty()) list = curl.slistAppend(list, line.c_str());
        start = end + 2;
    }
    // No headers beyond those the caller added: no Accept, no Expect, and
    // no guessed Content-Type.
    list = curl.slistAppend(list, "Accept:");
    list = curl.slistAppend(list, "Expect:");
    if (!HasHeader(headers, "Content-Type")) list = curl.slistAppend(list, "Content-Type:");
    if (!authorization.empty()) {
        // One line, whatever a credential or a challenge held.
        std::string line = "Authorization: ";
        for (const char c : authorization)
            if (c != '\r' && c != '\n') line += c;
        list = curl.slistAppend(list, line.c_str());
    }
    return list;
}

int32_t ResultOfFailure(const CurlApi &curl, CURL *handle, CURLcode code) {
    switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL: {
        // A redirect that would leave https is refused like any redirect the
        // client does not follow; before any answer it is a connection error.
        long status = 0;
        curl.easyGetinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        return status >= 300 && status <= 399 ? QZHTTP_ERR_RECEIVE : QZHTTP_ERR_CONNECTION;
    }
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return QZHTTP_ERR_CONNECTION;
    case CURLE_SEND_ERROR:
        return QZHTTP_ERR_SEND;
    case CURLE_OPERATION_TIMEDOUT: {
        // A time-out before the connection stood is a connection error.
        curl_off_t connected = 0;
        curl.easyGetinfo(handle, CURLINFO_APPCONNECT_TIME_T, &connected);
        return connected == 0 ? QZHTTP_ERR_CONNECTION : QZHTTP_ERR_RECEIVE;
    }
    default:
        return QZHTTP_ERR_RECEIVE;
    }
}

// Where libcurl ended up (after its redirects): true when that is the origin
// the credentials belong to, with *uri the path a Digest answer must name.
bool AnsweringAtOrigin(const Stream &stream, const SecureTarget &target, std::string *uri) {
    char *url = nullptr;
    if (stream.curl->easyGetinfo(stream.easy, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || url == nullptr)
        return false;
    if (!SameOrigin(OriginOfUrl(url), target.origin)) return false;
    const char *scheme = std::strstr(url, "://");
    const char *path = scheme != nullptr ? std::strchr(scheme + 3, '/') : nullptr;
    *uri = path != nullptr ? std::string(path) : target.path;
    return true;
}

// One round: let libcurl move the transfer on, and note when it is over.
void Step(Stream &stream) {
    int running = 0;
    if (stream.curl->multiPerform(stream.multi, &running) != CURLM_OK) {
        stream.finished = true;
        stream.code = CURLE_OUT_OF_MEMORY;
        return;
    }
    int left = 0;
    while (CURLMsg *message = stream.curl->multiInfoRead(stream.multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == stream.easy) {
            stream.finished = true;
            stream.code = message->data.result;
        }
    }
}

// Moves the transfer on until done() holds or it is over.
template <typename Done>
void Until(Stream &stream, Done done) {
    for (;;) {
        Step(stream);
        // done() sees every round, the last one too.
        const bool satisfied = done();
        if (stream.finished || satisfied) return;
        stream.curl->multiPoll(stream.multi, nullptr, 0, kPollMilliseconds, nullptr);
    }
}

void Configure(Stream &stream, const SecureTarget &target, std::string_view content) {
    const auto set = stream.curl->easySetopt;
    CURL *handle = stream.easy;
    // The proxy is always set, to "" when there is none: libcurl must never
    // take one from the environment (under CGI, HTTP_PROXY comes from the
    // client's "Proxy:" request header).
    std::string_view proxy = target.proxyHost;
    while (!proxy.empty() && proxy.front() == ' ') proxy.remove_prefix(1);
    std::string proxyText(proxy);
    if (!proxyText.empty() && target.proxyPort >= 1) proxyText += ":" + std::to_string(target.proxyPort);
    const std::string url = "https://" + target.host + ":" + std::to_string(target.port) + target.path;
    char caFile[QZ_INI_VALUE_MAX + 1];
    const bool haveCaFile = QZ_ReadIniValue("QZCFG", "Http", "CAFile", "qzcfg.ini", caFile) != 0 && caFile[0] != '\0';

    set(handle, CURLOPT_URL, url.c_str());
    set(handle, CURLOPT_USERAGENT, "QZHttpClient");
    set(handle, CURLOPT_PROXY, proxyText.c_str());
    set(handle, CURLOPT_NOPROXY, "");
    set(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // A redirect never leaves TLS, so that neither the request nor its answer
    // travels in the clear.
    set(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    set(handle, CURLOPT_FOLLOWLOCATION, 1L);
    set(handle, CURLOPT_MAXREDIRS, target.maxRedirects);
    set(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(handle, CURLOPT_NOSIGNAL, 1L);
    set(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    set(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (haveCaFile) set(handle, CURLOPT_CAINFO, caFile);
    // The time-out is read in seconds, as on the plain path: for the
    // connection, and as the longest stall of the answer.
    set(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(target.timeoutSeconds));
    if (target.timeoutSeconds > 0) {
        set(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
        set(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(target.timeoutSeconds));
    }
    if (target.method == "HEAD") {
        set(handle, CURLOPT_NOBODY, 1L);
    } else {
        set(handle, CURLOPT_CUSTOMREQUEST, target.method.c_str());
        if (!content.empty() || target.method == "POST" || target.method == "PUT") {
            // libcurl keeps its own copy: the caller empties the content
            // while the body may still be on its way.
            set(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(content.size()));
            set(handle, CURLOPT_COPYPOSTFIELDS, content.data());
        }
    }
    set(handle, CURLOPT_WRITEFUNCTION, &CollectBody);
    set(handle, CURLOPT_WRITEDATA, &stream);
    set(handle, CURLOPT_HEADERFUNCTION, &CollectHead);
    set(handle, CURLOPT_HEADERDATA, &stream);
}

void StopAttempt(Stream &stream) {
    if (stream.added) stream.curl->multiRemoveHandle(stream.multi, stream.easy);
    stream.added = false;
}

bool StartAttempt(Stream &stream, const std::string &authorization) {
    StopAttempt(stream);
    QZ_HTTP_Request *request = stream.request;
    Clear(&request->responseBody);
    Clear(&request->responseHead);
    stream.taken = 0;
    stream.headDone = false;
    stream.finished = false;
    stream.code = CURLE_OK;
    curl_slist *headers = HeaderList(*stream.curl, TextOf(request->headers), authorization);
    stream.curl->easySetopt(stream.easy, CURLOPT_HTTPHEADER, headers);
    if (stream.headers != nullptr) stream.curl->slistFreeAll(stream.headers);
    stream.headers = headers;
    stream.added = stream.curl->multiAddHandle(stream.multi, stream.easy) == CURLM_OK;
    return stream.added;
}

// Drops the bytes a block reader has taken from the front of the body.
void DropTaken(Stream &stream) {
    QZ_CStr *body = &stream.request->responseBody;
    if (stream.taken == 0) return;
    const uint32_t rest = body->length - stream.taken;
    std::memmove(body->data, body->data + stream.taken, rest);
    body->length = rest;
    body->data[rest] = '\0';
    stream.taken = 0;
}

void Destroy(Stream *stream) {
    Unlink(stream);
    DropTaken(*stream);
    StopAttempt(*stream);
    const CurlApi &curl = *stream->curl;
    if (stream->easy != nullptr) curl.easyCleanup(stream->easy);
    if (stream->multi != nullptr) curl.multiCleanup(stream->multi);
    if (stream->headers != nullptr) curl.slistFreeAll(stream->headers);
    stream->~Stream();
    QZ_free(nullptr, stream);
}

}  // namespace

int32_t SecureOpen(QZ_HTTP_Request *request, const SecureTarget &target) {
    if (request == nullptr) return QZHTTP_ERR_CONNECTION;
    SecureClose(request);  // a record carries one exchange at a time
    const CurlApi *curl = Curl();
    if (curl == nullptr) return QZHTTP_ERR_CONNECTION;
    void *block = QZ_malloc(nullptr, sizeof(Stream), kTag, kStreamLine);
    if (block == nullptr) return QZHTTP_ERR_CONNECTION;
    auto *stream = new (block) Stream;
    stream->request = request;
    stream->curl = curl;
    stream->next = g_streams;
    g_streams = stream;
    stream->easy = curl->easyInit();
    stream->multi = curl->multiInit();
    if (stream->easy == nullptr || stream->multi == nullptr) {
        Destroy(stream);
        return QZHTTP_ERR_CONNECTION;
    }
    // What goes out as the body (a HEAD request carries none); qop auth-int
    // hashes exactly that.
    const std::string_view content = target.method == "HEAD" ? std::string_view() : TextOf(request->content);
    Configure(*stream, target, content);

    int32_t result = QZHTTP_ERR_OK;
    std::string authorization;
    for (int attempt = 0;; ++attempt) {
        if (!StartAttempt(*stream, authorization)) {
            result = QZHTTP_ERR_CONNECTION;
            break;
        }
        Until(*stream, [stream] { return stream->headDone; });
        if (stream->finished && stream->code != CURLE_OK) {
            result = ResultOfFailure(*curl, stream->easy, stream->code);
            QZ_Trace(2, "QZ_HTTP_Request_Win_Request: %s", curl->easyStrerror(stream->code));
            break;
        }
        long status = 0;
        curl->easyGetinfo(stream->easy, CURLINFO_RESPONSE_CODE, &status);
        if (status != 401 || attempt == 1) break;
        // The whole refusal is read: it stays readable when no answer can be given.
        Until(*stream, [] { return false; });
        std::string uri;
        char challenges[QZHTTP_CHALLENGES_MAX + 1] = {};
        char answer[QZHTTP_SECURE_CREDENTIALS_MAX + 1] = {};
        if (AnsweringAtOrigin(*stream, target, &uri)) {
            qz_HTTP_Request_Get_Header_Values(request, "WWW-Authenticate", challenges, QZHTTP_CHALLENGES_MAX);
            QZ_HTTP_AuthorizationBody(target.credentials, challenges, uri.c_str(), target.method.c_str(),
                                      content.data(), content.size(), answer, QZHTTP_SECURE_CREDENTIALS_MAX);
        }
        if (answer[0] == '\0') {
            result = QZHTTP_ERR_AUTHENTICATION;
            break;
        }
        authorization = answer;
    }
    if (result != QZHTTP_ERR_OK) Destroy(stream);
    return result;
}

bool SecureIsOpen(const QZ_HTTP_Request *request) { return g_streams != nullptr && Find(request) != nullptr; }

bool SecureRead(QZ_HTTP_Request *request, char *buffer, uint32_t room, uint32_t *count) {
    *count = 0;
    Stream *stream = Find(request);
    if (stream == nullptr) return false;
    QZ_CStr *body = &request->responseBody;
    uint32_t used = 0;
    while (used < room) {
        if (body->length > stream->taken) {
            const uint32_t n = std::min(room - used, body->length - stream->taken);
            std::memcpy(buffer + used, body->data + stream->taken, n);
            stream->taken += n;
            used += n;
            QZ_Trace(2, "QZ_HTTP_Request_Read_Buf: %d Bytes chunk readed", static_cast<int>(n));
            continue;
        }
        // Everything that came has been taken: the body string starts over,
        // so that it never holds more than one delivery of libcurl.
        if (body->length > 0) {
            body->length = 0;
            body->data[0] = '\0';
        }
        stream->taken = 0;
        if (stream->finished) break;
        Until(*stream, [body] { return body->length > 0; });
    }
    buffer[used] = '\0';
    *count = used;
    return !(stream->finished && stream->code != CURLE_OK);
}

int32_t SecureDrain(QZ_HTTP_Request *request, void (*chunk)(uint32_t bytes)) {
    Stream *stream = Find(request);
    if (stream == nullptr) return QZHTTP_ERR_OK;
    DropTaken(*stream);
    QZ_CStr *body = &request->responseBody;
    uint32_t before = body->length;
    Until(*stream, [&] {
        if (body->length > before && chunk != nullptr) chunk(body->length - before);
        before = body->length;
        return false;
    });
    if (stream->code == CURLE_OK) return QZHTTP_ERR_OK;
    QZ_Trace(2, "QZ_HTTP_Request_Win_Request: %s", stream->curl->easyStrerror(stream->code));
    return ResultOfFailure(*stream->curl, stream->easy, stream->code);
}

void SecureClose(QZ_HTTP_Request *request) {
    if (g_streams == nullptr) return;
    if (Stream *stream = Find(request)) Destroy(stream);
}

}  // namespace qz_httpclient
